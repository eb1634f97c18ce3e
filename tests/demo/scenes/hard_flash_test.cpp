#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>

#include "demo/scenes/scenes.h"
#include "tests/demo/scenes/scene_pictures.h"

namespace {

using namespace pic;

class StrobeScene : public OverlaySceneTest {
  protected:
    bool wholeScreenIs(uint8_t value) const {
        for (uint8_t v : gl.readPixels()) {
            if (v != value) {
                return false;
            }
        }
        return true;
    }
    void expectHallAndPictures(int32_t f, Rgb top, Rgb bobbing) {
        EXPECT_TRUE(near(at(240, 240), kHall)) << "frame " << f;
        EXPECT_TRUE(near(at(80, 240), top)) << "frame " << f;
        EXPECT_TRUE(near(at(480, 240), bobbing)) << "frame " << f;
    }
};

TEST_F(StrobeScene, FlashFrameIsWhiteAndBothPairsSwitchAfterIt) {
    runFrame(3218); // not a flash frame
    expectHallAndPictures(3218, kTop1, kBobbing1);
    runFrame(3219);
    expectHallAndPictures(3219, kTop1, kBobbing1);
    runFrame(3220);
    EXPECT_TRUE(wholeScreenIs(255));
    runFrame(3221);
    expectHallAndPictures(3221, kTop2, kBobbing2);
    runFrame(3230);
    EXPECT_TRUE(wholeScreenIs(255));
    runFrame(3231);
    expectHallAndPictures(3231, kTop1, kBobbing1);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
}

TEST_F(StrobeScene, CatchUpCallDrawsNothing) {
    state->frameCounter = 3220;
    drawHardFlashScene(*state, true);
    EXPECT_TRUE(wholeScreenIs(0));
    runFrame(3220, true); // the timeline's flip still happens
    EXPECT_EQ(state->flipSelectors[3], 19);
    runFrame(3221);
    expectHallAndPictures(3221, kTop2, kBobbing2);
}

// The bobbing picture moves by 8 x cos(F / 3); the band it uncovers shows the hall.
TEST_F(StrobeScene, BobbingPictureUncoversABandOfUpToEightUnits) {
    int32_t up = 3221, down = 3221;
    for (int32_t f = 3218; f <= 3947; ++f) {
        if (f % 10 == 0) {
            continue;
        }
        const float c = std::cos(f * 0.33333334f);
        up = c > std::cos(up * 0.33333334f) ? f : up;
        down = c < std::cos(down * 0.33333334f) ? f : down;
    }
    const double upShift = 8.0 * std::cos(up * 0.33333334f);
    const double downShift = 8.0 * std::cos(down * 0.33333334f);
    ASSERT_GT(upShift, 7.9);
    ASSERT_LT(downShift, -7.9);

    runFrame(up);
    for (int y = 0; y < 12; ++y) {
        const Rgb want = y + 0.5 < upShift ? kHall : slotColour(state->flipSelectors[4]);
        EXPECT_TRUE(near(at(480, y), want)) << "frame " << up << " row " << y;
    }
    EXPECT_TRUE(near(at(480, 479), slotColour(state->flipSelectors[4])));
    EXPECT_TRUE(near(at(80, 0), slotColour(state->flipSelectors[3]))); // the top one stays

    runFrame(down);
    for (int y = 468; y < 480; ++y) {
        const Rgb want = y + 0.5 > 480 + downShift ? kHall : slotColour(state->flipSelectors[4]);
        EXPECT_TRUE(near(at(480, y), want)) << "frame " << down << " row " << y;
    }
    EXPECT_TRUE(near(at(480, 0), slotColour(state->flipSelectors[4])));
    EXPECT_TRUE(near(at(80, 479), slotColour(state->flipSelectors[3])));
}

// The flash hides the pictures only through the depth test left on since
// start-up; the scenes before must not have switched it off.
TEST_F(StrobeScene, FlashStillHidesThePicturesAfterTheEarlierScenes) {
    for (int32_t f : {1750, 1900, 2420, 2950, 3080, 3150}) {
        runFrame(f);
    }
    runFrame(3240);
    EXPECT_TRUE(wholeScreenIs(255));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    GLint func = 0;
    glGetIntegerv(GL_DEPTH_FUNC, &func);
    EXPECT_EQ(func, GL_LEQUAL);
}

} // namespace
