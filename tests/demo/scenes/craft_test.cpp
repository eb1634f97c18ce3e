#include <GL/gl.h>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "demo/scenes/scenes.h"
#include "demo/timeline/demo_state.h"
#include "demo/timeline/timeline.h"
#include "tests/demo/scenes/scene_textures.h"
#include "tests/support/gl_harness.h"

namespace {

const Rgb kBlue{0, 0, 255}, kRed{255, 0, 0}, kBlack{0, 0, 0}, kGreen{0, 255, 0};

class CraftScene : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(gl.ok());
        gl.applyStartupState();
        state->textures[22] = makeTestSpotTexture();
        state->textures[23] = GlHarness::solidTexture(0, 255, 0, 255);
    }
    // Runs the timeline from frame `from` up to and including `to`, all drawn.
    void run(int32_t from, int32_t to) {
        state->frameCounter = from;
        while (state->frameCounter <= to) {
            runTimelineFrame(*state, false);
        }
    }
    GlHarness gl;
    std::unique_ptr<DemoState> state = std::make_unique<DemoState>();
};

// Pixels drawn in the craft's flat colours; the trails never give pure blue or red.
std::vector<bool> craftMask(const std::vector<uint8_t>& rgb) {
    std::vector<bool> mask(rgb.size() / 3);
    for (size_t i = 0; i < mask.size(); ++i) {
        const uint8_t r = rgb[i * 3], g = rgb[i * 3 + 1], b = rgb[i * 3 + 2];
        mask[i] = g == 0 && ((r == 0 && b == 255) || (r == 255 && b == 0));
    }
    return mask;
}

int countDifferences(const std::vector<bool>& a, const std::vector<bool>& b) {
    int count = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        count += a[i] != b[i] ? 1 : 0;
    }
    return count;
}

// Counts, not pixels: a small window keeps the big early sparks quick.
TEST(CraftSceneSteps, AngleJumpsOnTenthFramesAlsoOnCatchUpSteps) {
    GlHarness gl(80, 60);
    ASSERT_TRUE(gl.ok());
    gl.applyStartupState();
    auto state = std::make_unique<DemoState>();
    state->textures[22] = makeTestSpotTexture();
    state->frameCounter = 4004;
    int drawn = 0;
    for (int32_t frame = 4004; frame <= 4031; ++frame) {
        const bool skip = frame % 3 != 0; // 4010 and 4030 are catch-up steps, 4020 is drawn
        runTimelineFrame(*state, skip);
        drawn += skip ? 0 : 1;
        const int jumps = frame >= 4030 ? 3 : frame >= 4020 ? 2 : frame >= 4010 ? 1 : 0;
        ASSERT_EQ(state->craftAngle, 45.0f * static_cast<float>(jumps)) << "frame " << frame;
    }
    EXPECT_EQ(state->frameCounter, 4032);
    // The trails' phase follows every call; the sparks shrink only on drawn ones.
    EXPECT_NEAR(state->trailPhase, 28 * 0.2f, 1e-4f);
    EXPECT_NEAR(state->sparkHalfSize, 2.0f - static_cast<float>(drawn) * 40 * 0.001f, 1e-3f);
}

TEST_F(CraftScene, FirstFrameShowsTheCraftFromAbove) {
    run(4004, 4004);
    EXPECT_EQ(state->craftAngle, 0.0f);
    EXPECT_TRUE(near(gl.pixel(320, 300), kBlue)) << "hull";
    EXPECT_TRUE(near(gl.pixel(320, 240), kRed)) << "middle nozzle";
    EXPECT_TRUE(near(gl.pixel(150, 150), kBlue)) << "left wing";
    EXPECT_TRUE(near(gl.pixel(490, 150), kBlue)) << "right wing";
    EXPECT_TRUE(near(gl.pixel(300, 80), kRed)) << "engine nozzle";
    EXPECT_TRUE(near(gl.pixel(335, 80), kRed)) << "engine nozzle";
    EXPECT_TRUE(near(gl.pixel(320, 410), kBlack)) << "windscreen";
    // The scene leaves the trails' state: depth test off, no texturing.
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST) == GL_FALSE);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D) == GL_FALSE);
    EXPECT_TRUE(glIsEnabled(GL_BLEND) == GL_FALSE);
}

TEST_F(CraftScene, KeepsItsPoseForTenFramesThenJumps) {
    state->sparkHalfSize = 0.25f;
    run(4011, 4011);
    const auto early = craftMask(gl.readPixels());
    run(4012, 4019);
    const auto late = craftMask(gl.readPixels());
    run(4020, 4020);
    const auto jumped = craftMask(gl.readPixels());
    EXPECT_LT(countDifferences(early, late), 50);
    EXPECT_GT(countDifferences(late, jumped), 5000);
}

TEST_F(CraftScene, TextOverlayFromFrame4401) {
    state->sparkHalfSize = 0.25f;
    run(4400, 4400);
    const auto before = gl.readPixels();
    int green = 0;
    for (size_t i = 0; i < before.size(); i += 3) {
        green += before[i] == 0 && before[i + 1] == 255 && before[i + 2] == 0 ? 1 : 0;
    }
    EXPECT_LT(green, 640 * 480 / 100) << "no overlay on frame 4400";

    run(4401, 4401);
    for (int y : {5, 240, 470}) {
        for (int x : {5, 320, 630}) {
            EXPECT_TRUE(near(gl.pixel(x, y), kGreen)) << x << "," << y;
        }
    }
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D) == GL_FALSE);
    EXPECT_TRUE(glIsEnabled(GL_BLEND) == GL_FALSE);
    GLint src = 0;
    glGetIntegerv(GL_BLEND_SRC, &src);
    EXPECT_EQ(src, GL_SRC_ALPHA) << "the next frame's first trail draws with these factors";
}

TEST_F(CraftScene, CatchUpStepDrawsNothing) {
    state->frameCounter = 4500;
    runTimelineFrame(*state, true);
    EXPECT_EQ(countLitPixels(gl.readPixels()), 0);
}

// A small window: this is about allocations, not pixels. The resident size
// is no measure here: llvmpipe's binning buffers swing by tens of megabytes
// from frame to frame even for one textured quad.
TEST(CraftSceneMemory, OneQuadricForTheWholeScene) {
    GlHarness gl(80, 60);
    ASSERT_TRUE(gl.ok());
    gl.applyStartupState();
    auto state = std::make_unique<DemoState>();
    state->textures[22] = makeTestSpotTexture();
    state->frameCounter = 4004;
    EXPECT_EQ(state->craftQuadric, nullptr);
    runTimelineFrame(*state, true);
    EXPECT_EQ(state->craftQuadric, nullptr) << "catch-up steps draw no quadric";
    runTimelineFrame(*state, false);
    GLUquadric* const quadric = state->craftQuadric;
    ASSERT_NE(quadric, nullptr);
    while (state->frameCounter <= 4300) {
        runTimelineFrame(*state, state->frameCounter % 4 == 0);
        ASSERT_EQ(state->craftQuadric, quadric);
    }
    EXPECT_EQ(state->towerQuadric, nullptr);
}

} // namespace
