#pragma once
#include <functional>

struct DemoState;

// What the start-up sequence needs from the platform.
struct StartupHooks {
    // Shows the finished loading frame (the window's buffer swap).
    std::function<void()> swapBuffers;
    // Ends the process when the music cannot start; the default exits.
    std::function<void(int status, const char* reason)> fail;
};

// Fixed GL state, every picture into the texture table with the loading
// screen, the greeting tiles, then the music. Needs a current GL context.
bool startDemo(DemoState& state, const StartupHooks& hooks);

// One loading frame with the bar at percent (0 to 100), swapped to screen.
void drawLoadingScreen(const DemoState& state, float percent, const StartupHooks& hooks);
