#include "demo/runtime/main_loop.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

// A loop host on a fake clock: time moves only by the cost of each frame,
// by waiting, and by passes spent minimized.
class FakeHost : public LoopHost {
  public:
    double now = 0.0;
    double drawCostMs = 5.0;
    double skipCostMs = 0.0;
    int64_t counter = 0;
    int64_t endFrame = 7402;
    bool active = true;
    bool escape = false;
    bool ended = false;
    int swaps = 0;
    double endedAtMs = -1.0;
    // Called on every pump; may change active/escape or ask to quit.
    std::function<PumpResult(FakeHost&)> script;

    PumpResult pumpOneMessage() override {
        if (!active) {
            now += 1.0; // the platform keeps pumping while minimized
        }
        return script ? script(*this) : PumpResult::NoMessage;
    }
    bool isActive() override { return active; }
    bool escapeHeld() override { return escape; }
    double clockMs() override { return now; }
    bool runFrame(bool skipDraw) override {
        now += skipDraw ? skipCostMs : drawCostMs;
        if (counter >= endFrame) {
            return false;
        }
        ++counter;
        return true;
    }
    int64_t frameCounter() override { return counter; }
    void swapBuffers() override { ++swaps; }
    void busyWaitUntil(double ms) override {
        if (now < ms) {
            now = ms;
        }
    }
    void endShow() override {
        ended = true;
        endedAtMs = now;
    }
    int stepsAllowed = -1; // catch-up steps until the host's time is up; -1: no limit
    bool catchUpMayGoOn() override { return stepsAllowed < 0 || stepsAllowed-- > 0; }
};

TEST(MainLoop, FastFramesArePacedAtFiftyPerSecondWithoutCatchUp) {
    FakeHost host;
    host.drawCostMs = 5.0;
    LoopStats stats;
    EXPECT_EQ(runMainLoop(host, &stats), 0);
    EXPECT_TRUE(host.ended);
    EXPECT_EQ(stats.catchUpSteps, 0);
    EXPECT_EQ(stats.drawnFrames, 7402); // frames 0 to 7401; the call for 7402 ends the show
    EXPECT_EQ(host.swaps, 7402);
    EXPECT_NEAR(host.endedAtMs, 7402 * 20.0 + 5.0, 0.001);
}

TEST(MainLoop, SlowFramesCatchUpAndTheShowStillEndsOnTime) {
    FakeHost host;
    host.drawCostMs = 45.0;
    host.skipCostMs = 0.5;
    LoopStats stats;
    EXPECT_EQ(runMainLoop(host, &stats), 0);
    EXPECT_TRUE(host.ended);
    EXPECT_EQ(stats.drawnFrames + stats.catchUpSteps, 7402);
    // Each pass draws one frame and runs one or two catch-up steps.
    EXPECT_GE(stats.catchUpSteps, stats.drawnFrames);
    EXPECT_LE(stats.catchUpSteps, 2 * stats.drawnFrames);
    EXPECT_LE(stats.mostCatchUpInOnePass, 2);
    // 7402 frames of 20 ms: the end lands at 148.04 s of clock time.
    EXPECT_NEAR(host.endedAtMs, 148040.0, 50.0);
}

TEST(MainLoop, TenSecondsMinimizedAreCaughtUpInOnePass) {
    FakeHost host;
    host.drawCostMs = 5.0;
    bool minimized = false;
    bool restored = false;
    int64_t counterWhenMinimized = 0;
    int64_t counterAfterRestore = -1;
    int drawnAfterRestore = 0;
    host.script = [&](FakeHost& h) {
        if (!minimized && h.now >= 2000.0) {
            minimized = true;
            h.active = false;
            counterWhenMinimized = h.counter;
            return PumpResult::Handled;
        }
        if (minimized && !restored && h.now >= 12000.0) {
            restored = true;
            h.active = true;
            drawnAfterRestore = h.swaps;
            return PumpResult::Handled;
        }
        if (restored && counterAfterRestore < 0 && h.swaps == drawnAfterRestore + 1) {
            counterAfterRestore = h.counter; // after the first pass since restoring
        }
        return PumpResult::NoMessage;
    };
    LoopStats stats;
    runMainLoop(host, &stats);
    ASSERT_TRUE(restored);
    EXPECT_EQ(counterWhenMinimized, 100);
    // One drawn frame, then about 500 catch-up steps in that same pass.
    EXPECT_GE(stats.mostCatchUpInOnePass, 495);
    EXPECT_LE(stats.mostCatchUpInOnePass, 505);
    EXPECT_NEAR(static_cast<double>(counterAfterRestore), 12000.0 / 20.0, 3.0);
    EXPECT_TRUE(host.ended);
}

// The browser's host stops a pass's catch-up when its time is up; the next
// call goes on from the frame it stopped at, without a drawn frame between.
TEST(MainLoop, AHostsTimeLimitCutsTheCatchUpShortAndTheNextCallGoesOn) {
    FakeHost host;
    host.skipCostMs = 0.5;
    host.now = 10000.0; // 500 frames behind
    host.stepsAllowed = 100;
    LoopStats stats;
    ASSERT_TRUE(runOnePass(host, stats));
    EXPECT_EQ(stats.drawnFrames, 1);
    EXPECT_EQ(stats.catchUpSteps, 100);
    EXPECT_TRUE(stats.catchUpPending);
    int calls = 0;
    while (stats.catchUpPending && calls < 100) {
        host.stepsAllowed = 100;
        ASSERT_TRUE(runCatchUpSteps(host, stats));
        ++calls;
    }
    EXPECT_FALSE(stats.catchUpPending);
    EXPECT_EQ(calls, 5); // 513 steps in all (the clock moves 0.5 ms a step): 100 a call
    EXPECT_EQ(stats.drawnFrames, 1);
    EXPECT_EQ(host.swaps, 1);
    EXPECT_FALSE(host.now > static_cast<double>(host.counter) * 20.0);
    EXPECT_LE(stats.mostCatchUpInOnePass, 100);
}

// The browser's refresh passes on a machine too slow to catch up (each step
// costs more than the frame it runs): a pass cut short by the host's time
// goes on catching up, and the next one draws. Once, every pass only caught
// up and the page stood on one picture to the show's end.
TEST(MainLoop, RefreshPassesDrawAtLeastEveryOtherPassWhileTheCatchUpCannotFinish) {
    FakeHost host;
    host.drawCostMs = 25.0;
    host.skipCostMs = 25.0;
    LoopStats stats;
    host.stepsAllowed = 1;
    ASSERT_TRUE(runRefreshPass(host, stats));
    ASSERT_EQ(stats.drawnFrames, 1);
    for (int pass = 0; pass < 100; ++pass) {
        host.stepsAllowed = 1;
        ASSERT_TRUE(runRefreshPass(host, stats));
        EXPECT_TRUE(stats.catchUpPending) << pass;
    }
    EXPECT_EQ(stats.drawnFrames, 51);
    EXPECT_EQ(stats.drawnFrames + stats.catchUpSteps, host.counter); // each frame run once

    // Keeping up again: nothing until the next frame's moment.
    FakeHost idle;
    LoopStats calm;
    ASSERT_TRUE(runRefreshPass(idle, calm));
    ASSERT_TRUE(runRefreshPass(idle, calm));
    EXPECT_EQ(calm.drawnFrames, 1);
    idle.now = 20.0;
    ASSERT_TRUE(runRefreshPass(idle, calm));
    EXPECT_EQ(calm.drawnFrames, 2);
    EXPECT_EQ(calm.catchUpSteps, 0);
}

TEST(MainLoop, EscapeWhileMinimizedWaitsForTheWindowToBeActive) {
    FakeHost host;
    int pumps = 0;
    host.script = [&](FakeHost& h) {
        ++pumps;
        if (pumps == 10) {
            h.active = false;
            h.escape = true;
        }
        if (pumps == 500) {
            h.active = true;
        }
        return PumpResult::NoMessage;
    };
    EXPECT_EQ(runMainLoop(host), 0);
    EXPECT_FALSE(host.ended);
    EXPECT_EQ(pumps, 500); // the loop ends on the first active pass
    EXPECT_EQ(host.counter, 9);
}

TEST(MainLoop, QuitMessageEndsTheLoopBeforeAnyFrame) {
    FakeHost host;
    host.script = [](FakeHost&) { return PumpResult::Quit; };
    EXPECT_EQ(runMainLoop(host), 0);
    EXPECT_EQ(host.counter, 0);
    EXPECT_EQ(host.swaps, 0);
}

TEST(MainLoop, WaitingMessagesAreAllHandledBeforeTheNextFrame) {
    FakeHost host;
    int pending = 5;
    host.script = [&](FakeHost& h) {
        if (h.counter == 3 && pending > 0) {
            --pending;
            return PumpResult::Handled;
        }
        if (h.counter == 4) {
            return PumpResult::Quit;
        }
        return PumpResult::NoMessage;
    };
    runMainLoop(host);
    EXPECT_EQ(pending, 0);
    EXPECT_EQ(host.counter, 4);
}

} // namespace
