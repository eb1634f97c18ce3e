#include "demo/timeline/timeline.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "demo/scenes/scenes.h"
#include "demo/timeline/demo_state.h"
#include "tests/support/gl_harness.h"

namespace {

using Selectors = std::array<int32_t, 5>;
constexpr Selectors kStart{6, 13, 16, 18, 20};
constexpr Selectors kFlipped{7, 14, 17, 19, 21};

std::vector<int32_t> listOf(const int32_t* list) {
    std::vector<int32_t> frames;
    for (const int32_t* p = list; *p != -1; ++p) {
        frames.push_back(*p);
    }
    return frames;
}

TEST(Schedule, WindowsAndBoundaries) {
    EXPECT_EQ(sceneAt(0), SceneId::SpinningRecord);
    EXPECT_EQ(sceneAt(603), SceneId::SpinningRecord);
    EXPECT_EQ(sceneAt(604), SceneId::HallPortraits);
    EXPECT_EQ(sceneAt(1689), SceneId::HallPortraits);
    EXPECT_EQ(sceneAt(1690), SceneId::SurpriseCard);
    EXPECT_EQ(sceneAt(1719), SceneId::SurpriseCard);
    EXPECT_EQ(sceneAt(1720), SceneId::PhoneShake);
    EXPECT_EQ(sceneAt(1789), SceneId::PhoneShake);
    EXPECT_EQ(sceneAt(1790), SceneId::PhoneRise);
    EXPECT_EQ(sceneAt(1987), SceneId::PhoneRise);
    EXPECT_EQ(sceneAt(1988), SceneId::Ties);
    EXPECT_EQ(sceneAt(3080), SceneId::Ties);
    EXPECT_EQ(sceneAt(3081), SceneId::None);
    EXPECT_EQ(sceneAt(3217), SceneId::None);
    EXPECT_EQ(sceneAt(3218), SceneId::HardFlash);
    EXPECT_EQ(sceneAt(3947), SceneId::HardFlash);
    EXPECT_EQ(sceneAt(3948), SceneId::None);
    EXPECT_EQ(sceneAt(4003), SceneId::None);
    EXPECT_EQ(sceneAt(4004), SceneId::Craft);
    EXPECT_EQ(sceneAt(4802), SceneId::Craft);
    EXPECT_EQ(sceneAt(4803), SceneId::GridCredits);
    EXPECT_EQ(sceneAt(5560), SceneId::GridCredits);
    EXPECT_EQ(sceneAt(5561), SceneId::TileBurst);
    EXPECT_EQ(sceneAt(6394), SceneId::TileBurst);
    EXPECT_EQ(sceneAt(6395), SceneId::None); // the one black frame between windows
    EXPECT_EQ(sceneAt(6396), SceneId::QuadricTower);
    EXPECT_EQ(sceneAt(7125), SceneId::QuadricTower);
    EXPECT_EQ(sceneAt(7126), SceneId::ClosingPictures);
    EXPECT_EQ(sceneAt(7402), SceneId::ClosingPictures);
}

TEST(FlipTriggers, ListsAreTheChoreography) {
    EXPECT_EQ(listOf(flipTriggersA).size(), 22u);
    EXPECT_EQ(listOf(flipTriggersB).size(), 32u);
    for (const int32_t* list : {flipTriggersA, flipTriggersB}) {
        auto frames = listOf(list);
        for (size_t i = 1; i < frames.size(); ++i) {
            EXPECT_LT(frames[i - 1], frames[i]);
        }
    }
}

TEST(FlipTriggers, ToggleRules) {
    auto state = std::make_unique<DemoState>();
    toggleFlipFrames(*state);
    EXPECT_EQ(state->flipSelectors, kFlipped);
    toggleFlipFrames(*state);
    EXPECT_EQ(state->flipSelectors, kStart);
    // A value outside its pair goes to the pair's first slot.
    state->flipSelectors = {99, 14, 0, 18, -3};
    toggleFlipFrames(*state);
    EXPECT_EQ(state->flipSelectors, (Selectors{6, 13, 16, 19, 20}));
}

TEST(FlipTriggers, CheckFlipsOnlyOnListedFrames) {
    auto state = std::make_unique<DemoState>();
    for (int32_t f = 0; f < 4000; ++f) {
        state->frameCounter = f;
        const Selectors before = state->flipSelectors;
        checkFlipTriggers(*state, kFlipListA);
        bool listed = false;
        for (int32_t v : listOf(flipTriggersA)) {
            listed = listed || v == f;
        }
        EXPECT_EQ(state->flipSelectors != before, listed) << "frame " << f;
    }
    EXPECT_EQ(state->flipSelectors, kStart); // 22 flips: back at the start

    state->frameCounter = 2014; // in list B only
    checkFlipTriggers(*state, 2);
    checkFlipTriggers(*state, -1);
    EXPECT_EQ(state->flipSelectors, kStart);
    checkFlipTriggers(*state, kFlipListB);
    EXPECT_EQ(state->flipSelectors, kFlipped);
}

class TimelineRun : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(gl.ok());
        gl.applyStartupState();
        state = std::make_unique<DemoState>();
    }
    // Runs frames up to and including last; skipped frames as catch-up steps.
    void runThrough(int32_t last, bool skip = false) {
        while (state->frameCounter <= last) {
            ASSERT_EQ(runTimelineFrame(*state, skip), TimelineStep::Running);
        }
    }
    GlHarness gl{64, 48};
    std::unique_ptr<DemoState> state;
};

TEST_F(TimelineRun, FlipsOfListAShowOnTheirFrameAndReturnToStart) {
    const int32_t cue = flipTriggersA[0];
    runThrough(cue - 1);
    EXPECT_EQ(state->flipSelectors, kStart);
    runThrough(cue);
    EXPECT_EQ(state->flipSelectors, kFlipped);
    runThrough(cue + 1);
    EXPECT_EQ(state->flipSelectors, kFlipped);
    runThrough(1689);
    EXPECT_EQ(state->flipSelectors, kStart);
}

TEST_F(TimelineRun, CatchUpStepsStillFlip) {
    runThrough(695);
    const Selectors before = state->flipSelectors;
    ASSERT_EQ(runTimelineFrame(*state, true), TimelineStep::Running); // frame 696, not drawn
    EXPECT_NE(state->flipSelectors, before);
}

TEST_F(TimelineRun, EveryTenthFrameOfTheStrobeWindowFlips) {
    runThrough(3217);
    const Selectors atStart = state->flipSelectors;
    int flips = 0;
    while (state->frameCounter <= 3947) {
        const Selectors before = state->flipSelectors;
        const int32_t frame = state->frameCounter;
        ASSERT_EQ(runTimelineFrame(*state, frame % 3 == 0), TimelineStep::Running);
        const bool flipped = state->flipSelectors != before;
        EXPECT_EQ(flipped, frame % 10 == 0) << "frame " << frame;
        flips += flipped ? 1 : 0;
    }
    EXPECT_EQ(flips, 73);
    EXPECT_NE(state->flipSelectors, atStart); // an odd number of flips
}

TEST_F(TimelineRun, EndsAtFrame7402) {
    runThrough(7401, true);
    EXPECT_EQ(state->frameCounter, 7402);
    EXPECT_EQ(runTimelineFrame(*state, false), TimelineStep::ShowEnded);
    EXPECT_EQ(state->frameCounter, 7402);
}

TEST_F(TimelineRun, BlackFramesBetweenScenesAreCleared) {
    state->frameCounter = 3100;
    glClearColor(0.0f, 0.0f, 0.0f, 0.5f);
    glColor3f(1, 1, 1);
    ASSERT_EQ(runTimelineFrame(*state, false), TimelineStep::Running);
    EXPECT_TRUE(near(gl.pixel(32, 24), Rgb{0, 0, 0}, 0));
}

// A catch-up step is never seen, so it draws on one pixel: every scene,
// those that draw in full on such a step among them, leaves the rest of the
// framebuffer as it was, and the host's viewport and scissor come back.
TEST_F(TimelineRun, CatchUpStepsDrawOnOnePixelAndGiveTheViewportBack) {
    const Rgb marker{51, 102, 153};
    for (SceneId scene :
         {SceneId::GridCredits, SceneId::QuadricTower, SceneId::ClosingPictures, SceneId::Craft}) {
        state->frameCounter = scheduleRowOf(scene).first + 40;
        for (const bool scissorOn : {false, true}) {
            SCOPED_TRACE(testing::Message() << "frame " << state->frameCounter << ", scissor "
                                            << (scissorOn ? "on" : "off"));
            glViewport(0, 0, 64, 48);
            glDisable(GL_SCISSOR_TEST);
            glClearColor(0.2f, 0.4f, 0.6f, 1.0f);
            glClear(GL_COLOR_BUFFER_BIT);
            glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
            glScissor(3, 4, 50, 40);
            if (scissorOn) {
                glEnable(GL_SCISSOR_TEST);
            }
            ASSERT_EQ(runTimelineFrame(*state, true), TimelineStep::Running);
            GLint viewport[4] = {}, box[4] = {};
            glGetIntegerv(GL_VIEWPORT, viewport);
            glGetIntegerv(GL_SCISSOR_BOX, box);
            EXPECT_EQ(std::vector<GLint>(viewport, viewport + 4),
                      (std::vector<GLint>{0, 0, 64, 48}));
            EXPECT_EQ(std::vector<GLint>(box, box + 4), (std::vector<GLint>{3, 4, 50, 40}));
            EXPECT_EQ(glIsEnabled(GL_SCISSOR_TEST) == GL_TRUE, scissorOn);
            glDisable(GL_SCISSOR_TEST);
            const std::vector<uint8_t> rgb = gl.readPixels(); // (0, 0) first
            int changed = 0;
            for (size_t i = 3; i + 2 < rgb.size(); i += 3) {
                changed += near(Rgb{rgb[i], rgb[i + 1], rgb[i + 2]}, marker, 1) ? 0 : 1;
            }
            EXPECT_EQ(changed, 0) << "pixels drawn beyond (0, 0)";
        }
    }
}

// A seek goes back to a snapshot and runs on from there: the values and the
// tiles it gets to must be those the show had the first time, in the
// greeting scene (whose tiles move on every call) as anywhere.
TEST_F(TimelineRun, ASnapshotTakesTheShowBackToExactlyWhereItStood) {
    initTileLists(*state);
    ASSERT_EQ(runUpTo(*state, 5800), TimelineStep::Running);
    const ShowSnapshot at5800 = takeSnapshot(*state);
    ASSERT_EQ(runUpTo(*state, 6100), TimelineStep::Running);
    const ShowSnapshot first = takeSnapshot(*state);
    restoreSnapshot(*state, at5800);
    EXPECT_EQ(state->frameCounter, 5800);
    ASSERT_EQ(runUpTo(*state, 6100), TimelineStep::Running);
    const ShowSnapshot again = takeSnapshot(*state);
    EXPECT_TRUE(again.values == first.values);
    ASSERT_EQ(again.tiles.size(), first.tiles.size());
    ASSERT_FALSE(first.tiles.empty());
    EXPECT_EQ(
        std::memcmp(again.tiles.data(), first.tiles.data(), first.tiles.size() * sizeof(Tile)), 0);
    EXPECT_NE(
        std::memcmp(at5800.tiles.data(), first.tiles.data(), first.tiles.size() * sizeof(Tile)), 0)
        << "the tiles moved on";
}

// Resident memory of the test process, in MB.
double residentMb() {
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (status == nullptr) {
        return 0.0;
    }
    char line[256];
    long kb = 0;
    while (std::fgets(line, sizeof line, status) != nullptr &&
           std::sscanf(line, "VmRSS: %ld", &kb) != 1) {
    }
    std::fclose(status);
    return static_cast<double>(kb) / 1024.0;
}

// A slow machine runs long stretches of catch-up steps between swaps, and
// the credit pages, tiles and tower draw even then. Without a flush the GL
// driver queued all of it: memory grew by hundreds of megabytes.
TEST(TimelineCatchUp, LongStretchesOfCatchUpStepsKeepMemoryBounded) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "AddressSanitizer holds freed memory in quarantine: no measure here";
#endif
    GlHarness gl(640, 480);
    ASSERT_TRUE(gl.ok());
    gl.applyStartupState();
    auto state = std::make_unique<DemoState>();
    state->frameCounter = 4803;
    ASSERT_EQ(runTimelineFrame(*state, true), TimelineStep::Running); // first-use set-up
    glFinish();
    const double before = residentMb();
    while (state->frameCounter <= 6900) {
        ASSERT_EQ(runTimelineFrame(*state, true), TimelineStep::Running);
    }
    glFinish();
    EXPECT_LT(residentMb() - before, 48.0) << "from " << before << " MB";
}

} // namespace
