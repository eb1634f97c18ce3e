#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "demo/scenes/scenes.h"
#include "tests/demo/scenes/scene_fixture.h"

namespace {

constexpr Rgb kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255}, kYellow{255, 255, 0};

// Where a point of the record's plane (z -2.2) or the sprites' (z -2.1)
// lands in a 640 x 480 window: 45 degree field of view, aspect 4:3.
struct Px {
    int x, y;
};
Px project(float x, float y, float depth) {
    const double halfH = depth * std::tan(22.5 * M_PI / 180.0);
    const double halfW = halfH * 640.0 / 480.0;
    return Px{static_cast<int>(320.0 + x / halfW * 320.0),
              static_cast<int>(240.0 + y / halfH * 240.0)};
}
Px rotated(float x, float y, float degrees, float depth) {
    const double a = degrees * M_PI / 180.0;
    return project(static_cast<float>(x * std::cos(a) - y * std::sin(a)),
                   static_cast<float>(x * std::sin(a) + y * std::cos(a)), depth);
}

// The per-frame turn, written from the schedule table rather than from the
// tests the scene runs. A burst frame is two single-precision steps (+5.0
// then -1.4), which is what its net +3.6 stands for.
float expectedAngleAfter(int32_t lastFrame, const std::set<int32_t>& skipped, int32_t* signOut) {
    float angle = 0.0f;
    int32_t sign = 1;
    const int32_t bursts[][2] = {{126, 134}, {139, 145}, {150, 156}, {161, 167}, {171, 178}};
    for (int32_t f = 0; f <= lastFrame; ++f) {
        bool burst = false;
        for (const auto& b : bursts) {
            burst = burst || (f >= b[0] && f <= b[1]);
        }
        if (burst) {
            angle += 5.0f;
            angle -= 1.4f;
        } else if (f == 179 || f == 203) {
            // neither step
        } else if (f >= 180 && f <= 202) {
            angle += sign > 0 ? 7.0f : -7.0f;
        } else {
            angle -= 1.4f;
        }
        if (!skipped.contains(f)) {
            sign = -sign;
        }
    }
    *signOut = sign;
    return angle;
}

// Record picture in four colours: red at its lower left (texture 0, 0),
// green lower right, blue upper left, yellow upper right.
uint32_t quadrantRecord() {
    return makeTexture(2, 2, {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 0, 255});
}

class SpinningRecord : public SceneTest {};

class SpinningRecordState : public SceneTest {
  protected:
    SpinningRecordState() : SceneTest(64, 48) {}
};

TEST_F(SpinningRecordState, SpecialFramesOfTheSchedule) {
    runThrough(125);
    int32_t sign = 0;
    EXPECT_EQ(state->recordAngle, expectedAngleAfter(125, {}, &sign));
    EXPECT_NEAR(state->recordAngle, -1.4 * 126, 1e-3); // the steady spin alone
    float before = state->recordAngle;
    step(false); // 126: burst and steady step together
    EXPECT_EQ(state->recordAngle, (before + 5.0f) - 1.4f);
    EXPECT_NEAR(state->recordAngle - before, 3.6f, 1e-4f);

    runThrough(178);
    before = state->recordAngle;
    step(false); // 179
    EXPECT_EQ(state->recordAngle, before);

    // All frames drawn: 180 flips so far, the shake starts upwards and
    // alternates, netting +7 over its 23 frames.
    EXPECT_EQ(state->shakeSign, 1);
    step(false); // 180
    EXPECT_NEAR(state->recordAngle - before, 7.0f, 1e-4f);
    step(false); // 181
    EXPECT_NEAR(state->recordAngle - before, 0.0f, 1e-4f);
    runThrough(202);
    EXPECT_NEAR(state->recordAngle - before, 7.0f, 1e-4f);
    before = state->recordAngle;
    step(false); // 203
    EXPECT_EQ(state->recordAngle, before);
    step(false); // 204: the steady spin again
    EXPECT_EQ(state->recordAngle, before - 1.4f);
}

TEST_F(SpinningRecordState, CatchUpStepsTurnButDoNotFlipTheShake) {
    std::set<int32_t> skipped;
    for (int32_t f = 150; f <= 160; ++f) {
        skipped.insert(f);
    }
    for (int32_t f = 190; f <= 195; ++f) {
        skipped.insert(f);
    }
    while (state->frameCounter <= 603) {
        const int32_t frame = state->frameCounter;
        const int32_t signBefore = state->shakeSign;
        const bool skip = skipped.contains(frame);
        step(skip);
        EXPECT_EQ(state->shakeSign, skip ? signBefore : -signBefore) << "frame " << frame;
    }
    int32_t sign = 0;
    const float expected = expectedAngleAfter(603, skipped, &sign);
    EXPECT_EQ(state->recordAngle, expected);
    EXPECT_EQ(state->shakeSign, sign);
    EXPECT_EQ(state->shakeSign, -1); // 587 drawn frames
    // By hand: the shake starts at -1 here (169 drawn frames before it);
    // 180-189 cancel, 190-195 all step -7, 196-202 net -7.
    int32_t unused = 0;
    const float at179 = expectedAngleAfter(179, skipped, &unused);
    const float at203 = expectedAngleAfter(203, skipped, &unused);
    EXPECT_NEAR(at203 - at179, -49.0f, 1e-3f);
    // The sprites ran on every frame from 441, drawn or not: 163 steps.
    float offset = 0.0f, alpha = 0.0f;
    for (int i = 0; i < 163; ++i) {
        offset += 0.01f;
        alpha += 0.007f;
    }
    EXPECT_EQ(state->slideOffset, offset);
    EXPECT_EQ(state->spriteAlpha, alpha);
}

TEST_F(SpinningRecordState, SpritesStartOnFrame441EvenWhenSkipped) {
    runThrough(440);
    EXPECT_EQ(state->slideOffset, 0.0f);
    EXPECT_EQ(state->spriteAlpha, 0.0f);
    step(true); // 441, a catch-up step
    EXPECT_EQ(state->slideOffset, 0.01f);
    EXPECT_EQ(state->spriteAlpha, 0.007f);
    step(false);
    EXPECT_EQ(state->slideOffset, 0.01f + 0.01f);
}

TEST_F(SpinningRecord, RecordTurnsOnScreenAndLeavesItsState) {
    state->textures[1] = quadrantRecord();
    step(false); // frame 0, angle 0: the picture upright
    EXPECT_TRUE(near(gl.pixel(188, 108), kRed));
    EXPECT_TRUE(near(gl.pixel(452, 108), kGreen));
    EXPECT_TRUE(near(gl.pixel(188, 372), kBlue));
    EXPECT_TRUE(near(gl.pixel(452, 372), kYellow));
    // The quad spans x -1 to 1: the screen's side edges stay black.
    EXPECT_TRUE(near(gl.pixel(20, 240), Rgb{0, 0, 0}));
    EXPECT_TRUE(near(gl.pixel(620, 240), Rgb{0, 0, 0}));
    EXPECT_EQ(glIsEnabled(GL_TEXTURE_2D), GL_FALSE);
    EXPECT_EQ(glIsEnabled(GL_BLEND), GL_FALSE);
    EXPECT_EQ(state->shakeSign, -1);

    // A quarter turn: the red corner is at the lower right now.
    state->frameCounter = 10;
    state->recordAngle = 90.0f;
    step(false);
    EXPECT_TRUE(near(gl.pixel(452, 108), kRed));
    EXPECT_TRUE(near(gl.pixel(452, 372), kGreen));
    EXPECT_EQ(state->recordAngle, 90.0f - 1.4f);

    // A catch-up step draws nothing and leaves the sign.
    glClear(GL_COLOR_BUFFER_BIT);
    step(true);
    EXPECT_TRUE(near(gl.pixel(452, 108), Rgb{0, 0, 0}));
    EXPECT_EQ(state->shakeSign, 1);
}

TEST_F(SpinningRecord, CornerFollowsTheAngleInTheShake) {
    state->textures[1] = quadrantRecord();
    runThrough(189, true);
    const float angle = state->recordAngle;
    step(false); // 190
    const Px red = rotated(-0.55f, -0.55f, angle, 2.2f);
    const Px yellow = rotated(0.45f, 0.45f, angle, 2.2f);
    EXPECT_TRUE(near(gl.pixel(red.x, red.y), kRed)) << angle;
    EXPECT_TRUE(near(gl.pixel(yellow.x, yellow.y), kYellow)) << angle;
}

TEST_F(SpinningRecord, SpritesAddTheirPictureFadingOut) {
    setSolid(1, 0, 0, 100); // record
    setSolid(2, 0, 200, 0); // sprites
    runThrough(440);
    // Before frame 441 no sprite is drawn.
    const auto pixels = gl.readPixels();
    for (size_t i = 1; i < pixels.size(); i += 3) {
        ASSERT_EQ(pixels[i], 0) << "green at byte " << i;
    }
    runThrough(499, true);
    const float offset = state->slideOffset;
    const float alpha = state->spriteAlpha;
    const float angle = state->recordAngle;
    step(false); // 500
    const int green = static_cast<int>(std::lround(200.0 * (1.0 - alpha)));
    const Rgb sprite{0, green, 100};
    const Px s2 = project(1.5f - offset, 0.0f, 2.1f);
    const Px s1 = project(offset - 1.5f, -0.5f, 2.1f);
    const Px s0 = rotated(offset - 1.5f, 0.5f, angle, 2.1f);
    EXPECT_TRUE(near(gl.pixel(s2.x, s2.y), sprite));
    EXPECT_TRUE(near(gl.pixel(s1.x, s1.y), sprite));
    EXPECT_TRUE(near(gl.pixel(s0.x, s0.y), sprite));
    EXPECT_TRUE(near(gl.pixel(320, 240), Rgb{0, 0, 100}));
    // Sprites done: identity back, blending and texturing off.
    GLfloat model[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, model);
    EXPECT_FLOAT_EQ(model[0], 1.0f);
    EXPECT_FLOAT_EQ(model[1], 0.0f);
    EXPECT_FLOAT_EQ(model[12], 0.0f);
    EXPECT_EQ(glIsEnabled(GL_BLEND), GL_FALSE);
    EXPECT_EQ(glIsEnabled(GL_TEXTURE_2D), GL_FALSE);
}

TEST_F(SpinningRecord, SpriteAtAlphaZeroAddsTheWholePicture) {
    setSolid(1, 0, 0, 100);
    setSolid(2, 0, 200, 0);
    state->frameCounter = 441;
    state->slideOffset = 1.5f; // all three at the centre column
    state->recordAngle = 90.0f;
    step(false);
    // Sprite 2 at the centre, sprite 1 below it, sprite 0 turned with the
    // record from above the centre to its left.
    EXPECT_TRUE(near(gl.pixel(320, 240), Rgb{0, 200, 100}));
    const Px s1 = project(0.0f, -0.5f, 2.1f);
    EXPECT_TRUE(near(gl.pixel(s1.x, s1.y), Rgb{0, 200, 100}));
    const Px s0 = project(-0.5f, 0.0f, 2.1f);
    EXPECT_TRUE(near(gl.pixel(s0.x, s0.y), Rgb{0, 200, 100}));
    const Px unturned = project(0.0f, 0.5f, 2.1f);
    EXPECT_TRUE(near(gl.pixel(unturned.x, unturned.y), Rgb{0, 0, 100}));

    // Past alpha 1 the quads add nothing.
    state->slideOffset = 1.5f;
    state->spriteAlpha = 1.05f;
    step(false);
    EXPECT_TRUE(near(gl.pixel(320, 240), Rgb{0, 0, 100}));
}

} // namespace
