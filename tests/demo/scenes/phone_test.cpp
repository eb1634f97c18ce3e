#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>

#include "demo/scenes/scenes.h"
#include "tests/demo/scenes/scene_pictures.h"

namespace {

using namespace pic;

class PhoneScene : public OverlaySceneTest {};

bool screenIsBlack(const GlHarness& gl) {
    for (uint8_t v : gl.readPixels()) {
        if (v != 0) {
            return false;
        }
    }
    return true;
}

TEST_F(PhoneScene, CatchUpCallsDrawNothingAndOnlyTheRiseAdvances) {
    state->frameCounter = 1750;
    drawPhoneScene(*state, kPhoneShake, true);
    EXPECT_EQ(state->phoneScrollY, 0.0f);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D)); // untouched: still off from start-up
    EXPECT_TRUE(screenIsBlack(gl));

    state->frameCounter = 1800;
    drawPhoneScene(*state, kPhoneRise, true);
    EXPECT_EQ(state->phoneScrollY, 0.8f);
    drawPhoneScene(*state, kPhoneRise, true);
    EXPECT_EQ(state->phoneScrollY, 0.8f + 0.8f);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_TRUE(screenIsBlack(gl));

    // Any other mode neither draws nor moves the rise.
    drawPhoneScene(*state, 2, false);
    drawPhoneScene(*state, 2, true);
    EXPECT_EQ(state->phoneScrollY, 0.8f + 0.8f);
    EXPECT_TRUE(screenIsBlack(gl));
}

TEST_F(PhoneScene, RisingPictureStartsFullScreenAndOpensABandBelow) {
    runFrame(1789); // the last shaken frame leaves the rise alone
    EXPECT_EQ(state->phoneScrollY, 0.0f);

    runFrame(1790);
    for (int x : {0, 100, 639}) {
        EXPECT_TRUE(near(at(x, 0), kRising)) << x;
        EXPECT_TRUE(near(at(x, 479), kRising)) << x;
    }
    EXPECT_TRUE(near(at(320, 240), kPhoneTop)); // the second picture stays on top
    EXPECT_TRUE(near(at(100, 240), kRising));   // and shows the rising one where it is clear

    runFrame(1791); // bottom at 0.8, truncated to 0
    EXPECT_TRUE(near(at(100, 0), kRising));

    runFrame(1792); // bottom at 1.6, truncated to 1
    for (int x : {0, 100, 639}) {
        EXPECT_TRUE(near(at(x, 0), kBlack)) << x;
        EXPECT_TRUE(near(at(x, 1), kRising)) << x;
        EXPECT_TRUE(near(at(x, 479), kRising)) << x;
    }
    EXPECT_TRUE(near(at(320, 240), kPhoneTop));
}

TEST_F(PhoneScene, RiseKeepsToTheTimelineThroughCatchUpSteps) {
    runFrame(1790);
    // Every other frame skipped up to 1986, then 1987 drawn after 197 calls.
    runThrough(1986, [](int32_t f) { return f % 2 == 0; });
    runFrame(1987);
    // 197 x 0.8 = 157.6: the rising picture's bottom edge on row 157.
    EXPECT_TRUE(near(at(100, 156), kBlack));
    EXPECT_TRUE(near(at(100, 157), kRising));
    EXPECT_TRUE(near(at(100, 479), kRising));
    EXPECT_NEAR(state->phoneScrollY, 198 * 0.8f, 0.01f);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
}

// The shaken picture moves by 5 x sin(F); the uncovered sliver is black.
TEST_F(PhoneScene, ShakeUncoversASliverAtTheEdge) {
    int32_t left = 1720, right = 1720; // frames with sin(F) lowest and highest
    for (int32_t f = 1720; f <= 1789; ++f) {
        if (std::sin(f) < std::sin(left)) {
            left = f;
        }
        if (std::sin(f) > std::sin(right)) {
            right = f;
        }
    }
    ASSERT_LT(std::sin(left), -0.99);
    ASSERT_GT(std::sin(right), 0.99);

    runFrame(left);
    const double rightEdge = 640.0 + 5.0 * std::sin(left);
    for (int x = 630; x < 640; ++x) {
        const Rgb want = x + 0.5 < rightEdge ? kShaken : kBlack;
        EXPECT_TRUE(near(at(x, 240), want)) << "frame " << left << " x " << x;
    }
    EXPECT_TRUE(near(at(0, 240), kShaken));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D)); // left on for whoever follows

    runFrame(right);
    const double leftEdge = 5.0 * std::sin(right);
    for (int x = 0; x < 10; ++x) {
        const Rgb want = x + 0.5 > leftEdge ? kShaken : kBlack;
        EXPECT_TRUE(near(at(x, 240), want)) << "frame " << right << " x " << x;
    }
    EXPECT_TRUE(near(at(639, 240), kShaken));
}

} // namespace
