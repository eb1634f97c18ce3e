#pragma once
#include <cstdint>

#include "demo/timeline/cues.h"

enum class PumpResult { NoMessage, Handled, Quit };

// What the main loop needs from the window, the clock and the timeline.
// The demo plugs in the real ones; tests drive the loop with fakes.
class LoopHost {
  public:
    virtual ~LoopHost() = default;
    // Takes one waiting message, if any, and handles it.
    virtual PumpResult pumpOneMessage() = 0;
    virtual bool isActive() = 0;
    // Escape held now, or pressed while active even if already released.
    virtual bool escapeHeld() = 0;
    virtual double clockMs() = 0;
    // One timeline frame; false when the show has reached its end.
    virtual bool runFrame(bool skipDraw) = 0;
    // The timeline frame the next runFrame will run.
    virtual int64_t frameCounter() = 0;
    virtual void swapBuffers() = 0;
    // Waits, without sleeping, until the clock reaches ms (runMainLoop's
    // pacing; a host that runs refresh passes is never asked).
    virtual void busyWaitUntil(double ms) = 0;
    // The show is over. The demo ends the process here; a test host returns.
    virtual void endShow() = 0;
    // Asked before each catch-up step. A host that must hand control back
    // soon (the browser shows nothing until a pass returns) says no when
    // its time is up; runCatchUpSteps then goes on from there. The desktop
    // has no limit.
    virtual bool catchUpMayGoOn() { return true; }
};

struct LoopStats {
    int64_t passes = 0;
    int64_t drawnFrames = 0;
    int64_t catchUpSteps = 0;
    int64_t mostCatchUpInOnePass = 0;
    // The last catch-up was cut short by the host with the clock still ahead.
    bool catchUpPending = false;
    // The last refresh pass drew nothing (see runRefreshPass).
    bool lastPassUndrawn = false;
};

// The catch-up steps while the clock is ahead of the timeline, as long as
// the host lets them go on. False when the show ended (endShow was called).
bool runCatchUpSteps(LoopHost& host, LoopStats& stats);

// One pass's work without its wait: a drawn frame, then the catch-up steps
// while the clock is ahead. False when the show ended (endShow was called).
// The browser runs one on each animation frame that is due.
bool runOnePass(LoopHost& host, LoopStats& stats);

// One pass on a display refresh, for a host that hands control back after
// each (the browser). Nothing before the next frame's moment; a catch-up the
// host cut short goes on first, but a pass that only caught up is followed
// by one that draws, so a machine that cannot keep up still shows the show
// moving instead of standing on one picture. False when the show ended.
bool runRefreshPass(LoopHost& host, LoopStats& stats);

// Runs passes until a quit message, Escape while active, or the show's end.
// Returns the exit status of the loop (0).
int runMainLoop(LoopHost& host, LoopStats* stats = nullptr);
