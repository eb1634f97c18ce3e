#include <GL/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>

#include "demo/scenes/scenes.h"
#include "tests/demo/scenes/scene_pictures.h"

namespace {

using namespace pic;
using Selectors = std::array<int32_t, 5>;
constexpr Selectors kStart{6, 13, 16, 18, 20};
constexpr Selectors kFlipped{7, 14, 17, 19, 21};

class TiesScene : public OverlaySceneTest {};

Rgb mix(Rgb over, Rgb under, double alpha) {
    auto ch = [&](int o, int u) {
        return static_cast<int>(std::lround(alpha * o + (1 - alpha) * u));
    };
    return Rgb{ch(over.r, under.r), ch(over.g, under.g), ch(over.b, under.b)};
}

TEST_F(TiesScene, HallWithThePairThatFlipsAfterACueFrame) {
    runFrame(2014); // a cue of the list: the flip follows the drawing
    EXPECT_TRUE(near(at(320, 240), kHall));
    EXPECT_TRUE(near(at(100, 100), kTies1));
    EXPECT_EQ(state->flipSelectors, kFlipped);
    runFrame(2015);
    EXPECT_TRUE(near(at(100, 100), kTies2));
    EXPECT_TRUE(near(at(320, 240), kHall));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D)); // left on
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
}

// The label blinks with alpha sin(F x 0.125) over frames 2401-2849 only.
TEST_F(TiesScene, LabelBlinksOnlyInsideItsWindow) {
    state->frameCounter = 2396;
    int shown = 0;
    while (state->frameCounter <= 2853) {
        const int32_t f = state->frameCounter;
        ASSERT_EQ(runTimelineFrame(*state, false), TimelineStep::Running);
        const double alpha = std::sin(f * 0.125);
        const bool inWindow = f > 2400 && f < 2850;
        const Rgb want = inWindow && alpha > 0 ? mix(kLabel, kHall, alpha) : kHall;
        ASSERT_TRUE(near(at(380, 400), want, 4)) << "frame " << f;
        shown += inWindow && alpha > 0 ? 1 : 0;
    }
    EXPECT_GT(shown, 100);
}

TEST_F(TiesScene, LabelEdgesAndItsFirstShowing) {
    runFrame(2401); // drawn, but the sine is about -0.99
    EXPECT_TRUE(near(at(380, 400), kHall));
    runFrame(2412);
    EXPECT_TRUE(near(at(380, 400), kHall));
    runFrame(2413); // first frame with a positive sine
    EXPECT_FALSE(near(at(380, 400), kHall));

    runFrame(2420); // sine about 0.79
    const Rgb label = mix(kLabel, kHall, std::sin(2420 * 0.125));
    EXPECT_TRUE(near(at(280, 320), label, 4));
    EXPECT_TRUE(near(at(492, 479), label, 4));
    EXPECT_TRUE(near(at(279, 400), kHall));
    EXPECT_TRUE(near(at(493, 400), kHall));
    EXPECT_TRUE(near(at(380, 319), kHall));
}

// On 2400 and 2850 the sine is negative too, so the pixels can't tell a
// missing label from a hidden one; the colour the scene leaves behind can.
TEST_F(TiesScene, NoLabelQuadOutsideItsWindow) {
    auto alphaLeft = [] {
        GLfloat colour[4] = {0, 0, 0, 0};
        glGetFloatv(GL_CURRENT_COLOR, colour);
        return colour[3];
    };
    runFrame(2400);
    EXPECT_TRUE(near(at(380, 400), kHall));
    EXPECT_EQ(alphaLeft(), 1.0f);
    runFrame(2401);
    EXPECT_LE(alphaLeft(), 0.0f);
    runFrame(2849);
    EXPECT_LE(alphaLeft(), 0.0f);
    runFrame(2850);
    EXPECT_TRUE(near(at(380, 400), kHall));
    EXPECT_EQ(alphaLeft(), 1.0f);
    runFrame(2899); // neither label nor slide-in picture
    EXPECT_TRUE(near(at(380, 400), kHall));
    EXPECT_TRUE(near(at(300, 0), kHall));
}

// The k-th drawn slide frame puts the picture's top edge at 18 (k - 1) until
// it rests flush at 0 from the 28th; flips come on drawn frames 1, 21, 41...
TEST_F(TiesScene, SlideInMovesAndFlipsOnDrawnFramesOnly) {
    state->frameCounter = 2900;
    int drawn = 0;
    while (state->frameCounter <= 2990) {
        const int32_t f = state->frameCounter;
        const bool skip = (f % 7 == 3) || (f >= 2940 && f < 2946);
        const Selectors before = state->flipSelectors;
        const float yBefore = state->slideInY;
        ASSERT_EQ(runTimelineFrame(*state, skip), TimelineStep::Running);
        if (skip) {
            EXPECT_EQ(state->flipSelectors, before) << f;
            EXPECT_EQ(state->slideInY, yBefore) << f;
            continue;
        }
        ++drawn;
        const Rgb picture = slotColour(before[2]);
        if (drawn <= 27) {
            const int top = 18 * (drawn - 1);
            if (top > 0) {
                EXPECT_TRUE(near(at(300, top - 1), picture)) << "frame " << f;
            }
            EXPECT_FALSE(near(at(300, top), picture)) << "frame " << f;
        } else {
            EXPECT_TRUE(near(at(300, 0), picture)) << "frame " << f;
            EXPECT_TRUE(near(at(300, 479), picture)) << "frame " << f;
        }
        const bool flips = (drawn - 1) % 20 == 0;
        EXPECT_EQ(state->flipSelectors != before, flips) << "frame " << f;
    }
    EXPECT_EQ(state->slideInCalls, drawn);
    EXPECT_EQ(state->slideInY, 0.0f);
    EXPECT_GT(drawn, 28);
}

TEST_F(TiesScene, FirstSlideFramesShowTheRisingEdge) {
    runFrame(2900); // bottom -480, top 0: not yet on screen
    EXPECT_TRUE(near(at(300, 0), kHall));
    EXPECT_EQ(state->flipSelectors, kFlipped); // flipped after the drawing
    runFrame(2901, true);                      // a skipped frame moves nothing
    EXPECT_EQ(state->slideInY, -462.0f);
    runFrame(2902); // second drawn slide frame: bottom -462, top 18
    EXPECT_TRUE(near(at(300, 17), kSlide2));
    EXPECT_TRUE(near(at(300, 18), kHall));
    EXPECT_EQ(state->flipSelectors, kFlipped);

    drawTiesScene(*state, true); // a direct catch-up call changes nothing
    EXPECT_EQ(state->slideInY, -444.0f);
    EXPECT_EQ(state->slideInCalls, 2);
}

// The pair the strobe scene shows first depends on how many of 2900-3080
// were drawn: one flip per 20 drawn slide frames, counting from the first.
TEST_F(TiesScene, SelectorsAtTheStrobeStartFollowTheDrawnFrameCount) {
    const std::function<bool(int32_t)> patterns[] = {
        [](int32_t) { return false; },                      // all drawn
        [](int32_t f) { return f % 3 == 0; },               // one in three skipped
        [](int32_t f) { return f >= 2950 && f < 2970; },    // a stall of 20 frames
        [](int32_t f) { return f % 2 == 1 || f % 5 == 0; }, // mostly skipped
    };
    bool sawEven = false, sawOdd = false;
    for (const auto& skip : patterns) {
        SetUp();
        state->frameCounter = 2900; // all flips of the lists before are paired
        int drawn = 0;
        for (int32_t f = 2900; f <= 3080; ++f) {
            drawn += skip(f) ? 0 : 1;
        }
        const int flips = (drawn + 19) / 20;
        runThrough(3218, [&](int32_t f) { return f <= 3080 ? skip(f) : f % 4 == 0; });
        const bool odd = flips % 2 == 1;
        sawOdd = sawOdd || odd;
        sawEven = sawEven || !odd;
        EXPECT_EQ(state->slideInCalls, drawn);
        EXPECT_EQ(state->flipSelectors, odd ? kFlipped : kStart) << drawn << " drawn";
        // Frame 3218 drawn: the strobe's top picture is the one the parity gives.
        EXPECT_TRUE(near(at(80, 240), odd ? kTop2 : kTop1)) << drawn << " drawn";
    }
    EXPECT_TRUE(sawEven && sawOdd);
}

TEST_F(TiesScene, TheStretchAfterTheSlideIsBlack) {
    runFrame(3080);
    for (int32_t f = 3081; f <= 3217; ++f) {
        ASSERT_EQ(runTimelineFrame(*state, false), TimelineStep::Running);
        for (auto [x, y] : {std::pair{0, 0}, {320, 240}, {639, 479}, {80, 400}}) {
            ASSERT_TRUE(near(at(x, y), kBlack, 0)) << "frame " << f;
        }
    }
    for (uint8_t v : gl.readPixels()) {
        ASSERT_EQ(v, 0);
    }
}

} // namespace
