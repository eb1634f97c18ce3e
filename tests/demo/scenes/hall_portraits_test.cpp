#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "demo/scenes/scenes.h"
#include "tests/demo/scenes/scene_fixture.h"

namespace {

// Test pictures: a grey hall, two portraits that are cut-outs (left half
// opaque, right half clear), a black light layer (so it only halves what
// lies below), a blue right strip, a red left strip and a yellow card.
constexpr Rgb kHalvedHall{30, 30, 30};
constexpr Rgb kHalvedFirst{0, 100, 0};
constexpr Rgb kHalvedSecond{100, 0, 100};

class HallPortraits : public SceneTest {
  protected:
    void SetUp() override {
        SceneTest::SetUp();
        setSolid(3, 60, 60, 60);
        state->textures[6] = leftHalfCutOut(0, 200, 0);
        state->textures[7] = leftHalfCutOut(200, 0, 200);
        setSolid(4, 0, 0, 0);
        setSolid(5, 0, 0, 120);
        setSolid(9, 120, 0, 0);
        state->textures[10] = leftHalfCutOut(200, 200, 0);
    }
    // The opening as catch-up steps: nothing drawn, selectors untouched.
    void skipOpening() { runThrough(603, true); }
    static Rgb plus(Rgb a, Rgb b) { return Rgb{a.r + b.r, a.g + b.g, a.b + b.b}; }
};

class HallPortraitsSmall : public HallPortraits {
  protected:
    HallPortraitsSmall() {}
};

TEST_F(HallPortraits, FlipShowsOnItsOwnFrameAndOnAfterACatchUpStep) {
    const int32_t cue = flipTriggersA[0], next = flipTriggersA[1];
    skipOpening();
    runThrough(cue - 1);
    EXPECT_TRUE(near(gl.pixel(100, 240), kHalvedFirst));
    EXPECT_TRUE(near(gl.pixel(330, 240), kHalvedHall)); // the clear half of the cut-out
    step(false);                                        // a cue: the flip comes before the drawing
    EXPECT_TRUE(near(gl.pixel(100, 240), kHalvedSecond));
    step(false); // no further flip
    EXPECT_TRUE(near(gl.pixel(100, 240), kHalvedSecond));
    runThrough(next - 2, true);
    step(false);
    EXPECT_TRUE(near(gl.pixel(100, 240), kHalvedSecond));
    glClear(GL_COLOR_BUFFER_BIT);
    step(true); // the next cue, not drawn, but it flips
    EXPECT_TRUE(near(gl.pixel(100, 240), Rgb{0, 0, 0}));
    step(false);
    EXPECT_TRUE(near(gl.pixel(100, 240), kHalvedFirst));
    // The scene hands on blending and texturing switched off.
    EXPECT_EQ(glIsEnabled(GL_BLEND), GL_FALSE);
    EXPECT_EQ(glIsEnabled(GL_TEXTURE_2D), GL_FALSE);
}

TEST_F(HallPortraits, RightStripRisesOnDrawnFramesInWholeUnits) {
    const Rgb strip = plus(kHalvedHall, Rgb{0, 0, 120});
    skipOpening();
    step(false); // 604, first drawn: bottom -480, top 0, nothing on screen
    EXPECT_TRUE(near(gl.pixel(500, 0), kHalvedHall));
    EXPECT_EQ(state->rightStripY, -480.0f + 1.2f);
    EXPECT_EQ(state->leftStripY, -480.0f);
    runThrough(610, true); // catch-up steps leave it where it is
    EXPECT_EQ(state->rightStripY, -480.0f + 1.2f);

    step(false); // second drawn: bottom -478.8 -> -478, top 1.2 -> 1
    EXPECT_TRUE(near(gl.pixel(500, 0), strip));
    EXPECT_TRUE(near(gl.pixel(500, 1), kHalvedHall));
    EXPECT_TRUE(near(gl.pixel(356, 0), strip));
    EXPECT_TRUE(near(gl.pixel(639, 0), strip));
    EXPECT_TRUE(near(gl.pixel(355, 0), kHalvedHall));
    step(false); // third: top 2.4 -> 2
    step(false); // fourth: top 3.6 -> 3, so pixel row 3 stays uncovered
    EXPECT_TRUE(near(gl.pixel(500, 2), strip));
    EXPECT_TRUE(near(gl.pixel(500, 3), kHalvedHall));

    // The 400th drawn frame brings it to rest at 0.
    // The frames in between only move the strip: draw them into a
    // one-pixel scissor box to keep the test quick.
    glScissor(0, 0, 1, 1);
    glEnable(GL_SCISSOR_TEST);
    int drawn = 4;
    while (drawn < 399) {
        step(false);
        ++drawn;
    }
    glDisable(GL_SCISSOR_TEST);
    EXPECT_LT(state->rightStripY, 0.0f);
    step(false);
    EXPECT_EQ(state->rightStripY, 0.0f);
    step(false); // 401st: flush with the bottom, covering the whole side
    EXPECT_EQ(state->rightStripY, 0.0f);
    EXPECT_TRUE(near(gl.pixel(500, 0), strip));
    EXPECT_TRUE(near(gl.pixel(500, 479), strip));
    EXPECT_TRUE(near(gl.pixel(355, 479), kHalvedHall));
}

TEST_F(HallPortraits, LeftStripTakesOverOnFrame1150FromTheBottom) {
    skipOpening();
    runThrough(1148, true);
    state->rightStripY = -100.0f; // wherever the right strip got to
    step(false);                  // 1149: still the right strip
    EXPECT_EQ(state->rightStripY, -100.0f + 1.2f);
    EXPECT_EQ(state->leftStripY, -480.0f);
    step(false); // 1150: the left strip starts at -480
    EXPECT_EQ(state->rightStripY, -100.0f + 1.2f);
    EXPECT_EQ(state->leftStripY, -480.0f + 1.2f);
    // Nine cues so far: the second portrait shows.
    const Rgb strip = plus(kHalvedSecond, Rgb{120, 0, 0});
    EXPECT_TRUE(near(gl.pixel(100, 0), kHalvedSecond));
    step(false);
    EXPECT_TRUE(near(gl.pixel(0, 0), strip));
    EXPECT_TRUE(near(gl.pixel(283, 0), strip));
    EXPECT_TRUE(near(gl.pixel(284, 0), kHalvedSecond));
    EXPECT_TRUE(near(gl.pixel(100, 1), kHalvedSecond));
    EXPECT_TRUE(near(gl.pixel(500, 0), kHalvedHall)); // no right strip any more
    EXPECT_EQ(glIsEnabled(GL_TEXTURE_2D), GL_FALSE);
}

TEST_F(HallPortraits, LightLayersPulseInTheirColours) {
    setSolid(4, 255, 255, 255);
    skipOpening();
    // Right half of the screen over the hall (the cut-out is clear there,
    // the right strip still below the screen).
    auto lightOn = [](float tint) {
        const int v = static_cast<int>(std::lround(0.5 * 255.0 * std::max(tint, 0.0f) + 30.0));
        return v;
    };
    for (int32_t frame : {640, 660, 677}) { // dark, half, full red
        runThrough(frame - 1, true);
        step(false);
        const float tint = std::sin(static_cast<float>(frame) * 0.06666667f + 0.4f);
        EXPECT_TRUE(near(gl.pixel(330, 240), Rgb{lightOn(tint), 30, 30})) << frame;
    }
    // The left layer is blue and mirrored: a light picture white on its left
    // half and black on its right shows white on the screen's right half.
    state->textures[4] = makeTexture(2, 1, {255, 255, 255, 255, 0, 0, 0, 255});
    for (int32_t frame : {1205, 1208, 1211}) { // dark, half, full blue
        runThrough(frame - 1, true);
        step(false);
        const float tint = std::sin(static_cast<float>(frame) * 0.33333334f);
        EXPECT_TRUE(near(gl.pixel(500, 240), Rgb{30, 30, lightOn(tint)})) << frame;
        EXPECT_TRUE(near(gl.pixel(300, 240), kHalvedFirst)) << frame; // ten cues by now
    }
}

TEST_F(HallPortraits, SurpriseCardOnTheHallForThirtyFrames) {
    skipOpening();
    runThrough(1689, true);
    const float right = state->rightStripY;
    const float left = state->leftStripY;
    step(false); // 1690
    EXPECT_TRUE(near(gl.pixel(100, 240), Rgb{200, 200, 0}));
    EXPECT_TRUE(near(gl.pixel(500, 240), Rgb{60, 60, 60}));
    EXPECT_TRUE(near(gl.pixel(500, 0), Rgb{60, 60, 60}));
    EXPECT_EQ(glIsEnabled(GL_TEXTURE_2D), GL_TRUE); // left on for the next scene
    EXPECT_EQ(glIsEnabled(GL_BLEND), GL_FALSE);
    glClear(GL_COLOR_BUFFER_BIT);
    step(true); // 1691 skipped: nothing drawn
    EXPECT_TRUE(near(gl.pixel(100, 240), Rgb{0, 0, 0}));
    runThrough(1719);
    EXPECT_TRUE(near(gl.pixel(100, 240), Rgb{200, 200, 0}));
    EXPECT_EQ(state->rightStripY, right);
    EXPECT_EQ(state->leftStripY, left);
}

TEST_F(HallPortraits, SelectorOutsideTheTableDrawsUntextured) {
    skipOpening();
    state->flipSelectors[0] = 4000;
    step(false);
    // A white, opaque portrait over the whole screen, halved by the light.
    EXPECT_TRUE(near(gl.pixel(100, 240), Rgb{128, 128, 128}));
    EXPECT_TRUE(near(gl.pixel(500, 240), Rgb{128, 128, 128}));
}

} // namespace
