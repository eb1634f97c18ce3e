#include "demo/runtime/main_loop.h"

#include <algorithm>

bool runCatchUpSteps(LoopHost& host, LoopStats& s) {
    // Advance the timeline without drawing while the clock is ahead of it,
    // so the pictures keep to the music on a slow machine.
    int64_t steps = 0;
    s.catchUpPending = false;
    for (;;) {
        const double target = static_cast<double>(host.frameCounter()) * kFrameMs;
        if (!(host.clockMs() > target)) {
            break;
        }
        if (!host.catchUpMayGoOn()) {
            s.catchUpPending = true;
            break;
        }
        if (!host.runFrame(true)) {
            host.endShow();
            return false;
        }
        ++s.catchUpSteps;
        ++steps;
        if (!(host.clockMs() > target)) {
            break;
        }
    }
    s.mostCatchUpInOnePass = std::max(s.mostCatchUpInOnePass, steps);
    return true;
}

bool runOnePass(LoopHost& host, LoopStats& s) {
    if (!host.runFrame(false)) {
        host.endShow();
        return false;
    }
    ++s.drawnFrames;
    host.swapBuffers();
    return runCatchUpSteps(host, s);
}

bool runRefreshPass(LoopHost& host, LoopStats& s) {
    if (s.catchUpPending && !s.lastPassUndrawn) {
        s.lastPassUndrawn = true;
        return runCatchUpSteps(host, s);
    }
    if (!s.catchUpPending && host.clockMs() < static_cast<double>(host.frameCounter()) * kFrameMs) {
        return true; // not due: the next refresh looks again
    }
    s.lastPassUndrawn = false;
    ++s.passes;
    return runOnePass(host, s);
}

int runMainLoop(LoopHost& host, LoopStats* stats) {
    LoopStats local;
    LoopStats& s = stats != nullptr ? *stats : local;
    for (;;) {
        ++s.passes;
        const PumpResult message = host.pumpOneMessage();
        if (message == PumpResult::Quit) {
            return 0;
        }
        if (message == PumpResult::Handled) {
            continue; // every waiting message is handled before the next frame
        }
        if (!host.isActive()) {
            continue; // minimized: the clock runs on, nothing is drawn
        }
        if (host.escapeHeld()) {
            return 0;
        }
        const double t0 = host.clockMs();
        if (!runOnePass(host, s)) {
            return 0;
        }
        // Busy-wait pacing: no sleep, so frames start on time.
        host.busyWaitUntil(t0 + kFrameMs);
    }
}
