#pragma once
#include "demo/runtime/main_loop.h"

// The demo's one window and its GL context (over SDL), current and with its
// viewport set, ready for the start-up. False after a failure that has
// already been reported (box and stderr) and cleaned up.
bool openDemoWindow(const char* title, int width, int height, int bits, bool fullscreenRequested);
// True when opening failed because the user answered No to the windowed
// fallback question (a choice, not an error).
bool demoDeclinedWindowed();
// Restores the display mode and releases context and window.
void closeDemoWindow();

// Takes one waiting event and handles it as the window procedure would.
PumpResult pumpDemoMessage();
void swapDemoBuffers();

bool demoWindowActive();
// Escape held, or pressed while the window was active since the show began.
bool demoEscapeRequested();
// Held flag by Windows virtual-key code (0 to 255); false outside that range.
bool demoKeyHeld(int virtualKey);

// A display mode: size and bits per pixel (0 where the platform does not say).
struct ModeReading {
    int width;
    int height;
    int bitsPerPixel;
};
// Whether the display is in the fullscreen mode that was asked for.
bool fullscreenModeInForce(const ModeReading& requested, const ModeReading& current);

// Virtual-key code of an SDL key, or 0 for keys that have none.
int virtualKeyFromSdl(int sdlKeycode);

constexpr int kVirtualKeyEscape = 0x1B;
