#include <GL/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <memory>

#include "demo/scenes/scenes.h"
#include "demo/timeline/demo_state.h"
#include "tests/demo/scenes/scene_textures.h"
#include "tests/support/gl_harness.h"

namespace {

using Matrix = std::array<GLfloat, 16>;

Matrix modelview() {
    Matrix m{};
    glGetFloatv(GL_MODELVIEW_MATRIX, m.data());
    return m;
}

// What the sparks leave behind and the craft draws with.
void expectSparkState() {
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST) == GL_FALSE);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D) == GL_FALSE);
    GLint src = 0, dst = 0;
    glGetIntegerv(GL_BLEND_SRC, &src);
    glGetIntegerv(GL_BLEND_DST, &dst);
    EXPECT_EQ(src, GL_ONE);
    EXPECT_EQ(dst, GL_ONE);
}

// The GL state the first trail of a craft frame meets after the overlay.
void resetFrameState() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

class LightTrails : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(gl.ok());
        gl.applyStartupState();
        state->textures[22] = makeTestSpotTexture();
        state->frameCounter = 4500;
    }
    GlHarness gl;
    std::unique_ptr<DemoState> state = std::make_unique<DemoState>();
};

TEST_F(LightTrails, CatchUpStepOnlyAdvancesThePhase) {
    resetFrameState();
    glTranslatef(1.0f, 2.0f, -3.0f);
    const Matrix before = modelview();
    state->trailPhase = 3.0f;
    state->sparkHalfSize = 1.0f;
    state->random.state = 12345u;

    drawLightTrails(*state, true);

    EXPECT_FLOAT_EQ(state->trailPhase, 3.0f + 0.2f);
    EXPECT_EQ(state->random.state, 12345u) << "no reseed on a catch-up step";
    EXPECT_EQ(state->sparkHalfSize, 1.0f);
    EXPECT_EQ(modelview(), before);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST) == GL_TRUE);
    EXPECT_TRUE(glIsEnabled(GL_BLEND) == GL_FALSE);
    EXPECT_EQ(countLitPixels(gl.readPixels()), 0);
}

TEST_F(LightTrails, DrawnFrameReseedsAndRepeatsItsPicture) {
    // The generator runs through 13 draws per trail from seed 1 on every drawn frame.
    RandomGenerator reference;
    reference.seed(1);
    for (int i = 0; i < 13 * 40; ++i) {
        reference.next();
    }

    state->sparkHalfSize = 0.25f; // settled, so it does not change between the two frames
    resetFrameState();
    state->trailPhase = 10.0f;
    state->random.state = 777u; // whatever ran before must not matter
    drawLightTrails(*state, false);
    const auto first = gl.readPixels();
    EXPECT_EQ(state->random.state, reference.state);
    EXPECT_FLOAT_EQ(state->trailPhase, 10.2f);
    expectSparkState();
    EXPECT_TRUE(glIsEnabled(GL_BLEND) == GL_FALSE) << "trails end with blending off";

    resetFrameState();
    state->trailPhase = 10.0f;
    state->random.state = 99u;
    drawLightTrails(*state, false);
    const auto second = gl.readPixels();

    EXPECT_GT(countLitPixels(first), 10000) << "forty trails with sparks should show";
    EXPECT_LE(maxPixelDifference(first, second), 1);

    // A different phase moves the curves, so the picture is not just the sparks' blur.
    resetFrameState();
    state->trailPhase = 12.0f;
    drawLightTrails(*state, false);
    EXPECT_GT(countDifferentPixels(first, gl.readPixels()), 1000);
}

TEST_F(LightTrails, DrawnFrameLeavesTheCloudRotated) {
    resetFrameState();
    drawLightTrails(*state, false);
    const Matrix m = modelview();
    // Translated 5 back along the view axis; the rotations keep the distance.
    EXPECT_NEAR(m[14], -5.0f, 1e-5f);
    EXPECT_FALSE(m[0] == 1.0f && m[5] == 1.0f && m[10] == 1.0f) << "rotated by the frame";
}

// Counts calls, not pixels: a small window keeps the 44 frames of big sparks quick.
TEST(LightTrailSparks, ShrinkOnDrawnFramesOnlyAndStopAtTheirFinalSize) {
    GlHarness gl(80, 60);
    ASSERT_TRUE(gl.ok());
    gl.applyStartupState();
    auto state = std::make_unique<DemoState>();
    state->textures[22] = makeTestSpotTexture();
    state->frameCounter = 4004;

    float settled = 2.0f;
    while (settled > 0.25f) {
        settled -= 0.001f;
    }
    ASSERT_LE(settled, 0.25f);

    for (int frame = 0; frame < 43; ++frame) {
        resetFrameState();
        drawLightTrails(*state, frame % 2 == 1);
        ++state->frameCounter;
    }
    // 22 drawn frames of forty sparks each; the 21 catch-up steps shrink nothing.
    EXPECT_NEAR(state->sparkHalfSize, 2.0f - 22 * 40 * 0.001f, 1e-3f);

    int drawnFrames = 22;
    while (state->sparkHalfSize > 0.25f) {
        resetFrameState();
        drawLightTrails(*state, false);
        ++drawnFrames;
        ASSERT_LT(drawnFrames, 100);
    }
    EXPECT_EQ(drawnFrames, 44) << "1750 steps of 40 per frame end in the 44th drawn frame";
    EXPECT_EQ(state->sparkHalfSize, settled);

    for (int i = 0; i < 200; ++i) {
        drawSparkBillboard(*state, 0.0f, 0.0f);
    }
    EXPECT_EQ(state->sparkHalfSize, settled) << "never below the first value at or under 0.25";
}

TEST_F(LightTrails, SparkFacesTheCamera) {
    state->textures[22] = GlHarness::solidTexture(255, 255, 255);
    state->sparkHalfSize = 0.501f; // the call takes one step off: 0.5
    resetFrameState();
    glColor3f(1.0f, 1.0f, 1.0f);
    glTranslatef(0.0f, 0.0f, -5.0f);
    glRotatef(60.0f, 0.0f, 1.0f, 0.0f);
    glRotatef(30.0f, 1.0f, 0.0f, 0.0f);
    drawSparkBillboard(*state, 0.0f, 0.0f);
    EXPECT_FLOAT_EQ(state->sparkHalfSize, 0.501f - 0.001f);

    // Half an edge of 0.5 at distance 5 under a 45-degree view: about 58 pixels,
    // an upright square round the screen centre however the model is turned.
    const Rgb white{255, 255, 255}, black{0, 0, 0};
    EXPECT_TRUE(near(gl.pixel(320, 240), white));
    for (int dx : {-52, 52}) {
        for (int dy : {-52, 52}) {
            EXPECT_TRUE(near(gl.pixel(320 + dx, 240 + dy), white)) << dx << "," << dy;
        }
    }
    for (int d : {-64, 64}) {
        EXPECT_TRUE(near(gl.pixel(320 + d, 240), black)) << d;
        EXPECT_TRUE(near(gl.pixel(320, 240 + d), black)) << d;
    }
    expectSparkState();
    EXPECT_TRUE(glIsEnabled(GL_BLEND) == GL_TRUE) << "the spark leaves additive blending on";
}

} // namespace
