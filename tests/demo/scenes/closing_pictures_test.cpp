#include <GL/gl.h>
#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "demo/scenes/scenes.h"
#include "demo/timeline/demo_state.h"
#include "demo/timeline/timeline.h"
#include "tests/support/gl_harness.h"

namespace {

const Rgb kWhite{255, 255, 255};
const std::map<int, Rgb> kSlotColours = {
    {45, {200, 30, 30}}, {46, {30, 200, 30}}, {47, {30, 30, 200}}, {48, {200, 200, 30}}};
// Cue frame -> slot, as the music's last bars place them.
const std::map<int, int> kCues = {{7192, 46}, {7211, 47}, {7229, 48}, {7245, 45}, {7263, 46},
                                  {7277, 47}, {7292, 48}, {7301, 45}, {7311, 46}, {7323, 47}};

class ClosingRender : public ::testing::Test {
  protected:
    GlHarness gl{160, 120};
    std::unique_ptr<DemoState> state;

    void SetUp() override {
        if (!gl.ok()) {
            GTEST_SKIP() << "no GL context";
        }
        gl.applyStartupState(); // depth test on, blending off, as the tower leaves them
        state = std::make_unique<DemoState>();
        for (const auto& [slot, c] : kSlotColours) {
            state->textures[static_cast<size_t>(slot)] = GlHarness::solidTexture(
                static_cast<uint8_t>(c.r), static_cast<uint8_t>(c.g), static_cast<uint8_t>(c.b));
        }
        state->frameCounter = 7126;
    }

    // The whole window shows one colour (four corners and the middle).
    bool shows(const Rgb& colour) const {
        for (auto [x, y] : {std::pair{1, 1}, std::pair{158, 1}, std::pair{1, 118},
                            std::pair{158, 118}, std::pair{80, 60}}) {
            if (!near(gl.pixel(x, y), colour)) {
                return false;
            }
        }
        return true;
    }
};

TEST_F(ClosingRender, CuesFlashesAndTheLastPictureToTheEnd) {
    EXPECT_EQ(state->closingSlot, 45);
    int slot = 45;
    int whiteFrames = 0;
    for (int frame = 7126; frame <= kLastFrame; ++frame) {
        if (auto cue = kCues.find(frame); cue != kCues.end()) {
            slot = cue->second;
        }
        // Catch-up steps switch too (on one pixel, unseen); every third
        // frame is one.
        const bool caughtUp = frame % 3 == 0;
        const TimelineStep step = runTimelineFrame(*state, caughtUp);
        EXPECT_EQ(step, frame == kLastFrame ? TimelineStep::ShowEnded : TimelineStep::Running);
        ASSERT_EQ(state->closingSlot, slot) << "frame " << frame;
        whiteFrames += frame % 10 == 0 ? 1 : 0;
        if (caughtUp) {
            continue;
        }
        if (frame % 10 == 0) {
            EXPECT_TRUE(shows(kWhite)) << "frame " << frame;
        } else {
            EXPECT_TRUE(shows(kSlotColours.at(slot))) << "frame " << frame << " slot " << slot;
        }
    }
    EXPECT_EQ(whiteFrames, 28); // 7130 ... 7400
    EXPECT_EQ(state->closingSlot, 47);
}

TEST_F(ClosingRender, FirstFrameShowsTheFirstPictureAndCueFramesSwitchAtOnce) {
    runTimelineFrame(*state, false);
    EXPECT_TRUE(shows(kSlotColours.at(45)));
    state->frameCounter = 7191;
    runTimelineFrame(*state, false);
    EXPECT_TRUE(shows(kSlotColours.at(45)));
    runTimelineFrame(*state, false); // 7192 is a cue: its picture shows on that frame
    EXPECT_TRUE(shows(kSlotColours.at(46)));
    runTimelineFrame(*state, false);
    EXPECT_TRUE(shows(kSlotColours.at(46)));
}

TEST_F(ClosingRender, FlashCoversThePictureWithDepthTestingOff) {
    // Whatever the previous scene left, the flash is drawn over the picture.
    glDisable(GL_DEPTH_TEST);
    state->frameCounter = 7140;
    runTimelineFrame(*state, false);
    EXPECT_TRUE(shows(kWhite));
}

} // namespace
