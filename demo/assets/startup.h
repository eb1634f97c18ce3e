#pragma once
#include <functional>

struct DemoState;

// What the start-up sequence needs from the platform.
struct StartupHooks {
    // Shows the finished loading frame (the window's buffer swap).
    std::function<void()> swapBuffers;
    // Ends the process when the sound cannot start or the music cannot load;
    // reason is one line saying which. Empty: print it and exit.
    std::function<void(int status, const char* reason)> fail;

    // A picture that is missing or does not decode: the show goes on and
    // draws it blank, and says so here (why: "missing" or "not a picture
    // it can read"). Empty: one line on stderr.
    std::function<void(const char* path, const char* why)> pictureMissing;

    // Optional observers, so the order of the sequence can be checked.
    // A picture (or the spot) went into slot; made says whether a texture
    // was made.
    std::function<void(int slot, bool made)> textureLoaded;
    // A loading frame at percent is drawn, just before its swap.
    std::function<void(float percent)> frameDrawn;
};

// Fixed GL state, every picture into the texture table with the loading
// screen, the greeting tiles, then the music. Needs a current GL context.
// Returns true; false only when hooks.fail came back instead of ending the
// process (tests).
bool startDemo(DemoState& state, const StartupHooks& hooks);
// The GL state the show runs in (shading, clear values, depth test), as the
// start-up sets it after its first clear; the tests' harness sets it too.
void applyStartupGlState();

// One loading frame with the bar at percent (0 to 100), swapped to screen,
// then the buffers cleared for the next.
void drawLoadingScreen(const DemoState& state, float percent, const StartupHooks& hooks);
