#pragma once

// The launcher's arithmetic, kept apart from the window so it can be tested:
// the scale from the 1600 x 1200 design to the screen, the centring margins,
// the control rectangles in twips, the hover test, the toggle and the
// command line that starts the demo.

#include <cstdint>
#include <string>

constexpr double kDesignWidth = 1600.0;
constexpr double kDesignHeight = 1200.0;
// Twips per pixel on both axes (96 pixels per inch).
constexpr int32_t kTwipsPerPixel = 15;

// Nearest integer, ties to the even one: 2.5 -> 2, 1.5 -> 2, 0.5 -> 0.
int32_t roundHalfEven(double value);

struct LauncherLayout {
    double layoutScale = 0.0;
    int32_t pictureWidth = 0;  // W
    int32_t pictureHeight = 0; // H
    int32_t marginX = 0;
    int32_t marginY = 0;
};

// The activation step's layout for a screen of cx x cy pixels.
LauncherLayout computeLayout(int32_t cx, int32_t cy);

// A rectangle of the 1600 x 1200 design.
struct DesignRect {
    double x, y, width, height;
};

// A control's rectangle as the toolkit keeps it: twips, single precision.
struct TwipsRect {
    float left = 0, top = 0, width = 0, height = 0;
};

TwipsRect placeControl(const LauncherLayout& layout, const DesignRect& design,
                       int32_t twipsPerPixelX = kTwipsPerPixel,
                       int32_t twipsPerPixelY = kTwipsPerPixel);

// The hover test for one control: its top-left corner rounded to whole
// window pixels and moved to the screen by (originX, originY), its size
// unrounded; the cursor (px, py) is inside only strictly within the edges.
bool cursorInside(const TwipsRect& control, int32_t px, int32_t py, int32_t originX = 0,
                  int32_t originY = 0, int32_t twipsPerPixelX = kTwipsPerPixel,
                  int32_t twipsPerPixelY = kTwipsPerPixel);

// 1 when it was 0, 0 otherwise.
int16_t toggleChoice(int16_t fullScreenChoice);

// The program name, a blank and the choice as one decimal digit.
std::string demoCommandLine(int16_t fullScreenChoice);

// The design rectangles of the controls.
constexpr DesignRect kImage2Design{1020, 310, 100, 100}; // quit face
constexpr DesignRect kImage3Design{580, 655, 288, 68};   // start face
constexpr DesignRect kImage5Design{965, 500, 164, 139};  // display-mode toggle

// Whole window pixels a control covers when drawn: both edges rounded as
// the hover test rounds the corner.
struct PixelRect {
    int32_t x = 0, y = 0, width = 0, height = 0;
};
PixelRect controlPixels(const TwipsRect& control, int32_t twipsPerPixelX = kTwipsPerPixel,
                        int32_t twipsPerPixelY = kTwipsPerPixel);
