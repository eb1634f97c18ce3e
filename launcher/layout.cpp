#include "launcher/layout.h"

#include <cmath>

int32_t roundHalfEven(double value) {
    const double lower = std::floor(value);
    const double fraction = value - lower;
    double result = lower;
    if (fraction > 0.5) {
        result = lower + 1.0;
    } else if (fraction == 0.5) {
        result = std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
    }
    return static_cast<int32_t>(result);
}

LauncherLayout computeLayout(int32_t cx, int32_t cy) {
    LauncherLayout layout;
    const double sx = cx / kDesignWidth;
    const double sy = cy / kDesignHeight;
    layout.layoutScale = sy < sx ? sy : sx;
    layout.pictureWidth = roundHalfEven(kDesignWidth * layout.layoutScale);
    layout.pictureHeight = roundHalfEven(kDesignHeight * layout.layoutScale);
    // The differences are whole pixels; only their halves can be fractions.
    layout.marginX = roundHalfEven(static_cast<double>(cx - layout.pictureWidth) / 2.0);
    layout.marginY = roundHalfEven(static_cast<double>(cy - layout.pictureHeight) / 2.0);
    return layout;
}

TwipsRect placeControl(const LauncherLayout& layout, const DesignRect& design,
                       int32_t twipsPerPixelX, int32_t twipsPerPixelY) {
    const double scale = layout.layoutScale;
    TwipsRect rect;
    rect.width = static_cast<float>(design.width * scale * twipsPerPixelX);
    rect.height = static_cast<float>(design.height * scale * twipsPerPixelY);
    rect.left = static_cast<float>((layout.marginX + design.x * scale) * twipsPerPixelX);
    rect.top = static_cast<float>((layout.marginY + design.y * scale) * twipsPerPixelY);
    return rect;
}

bool cursorInside(const TwipsRect& control, int32_t px, int32_t py, int32_t originX,
                  int32_t originY, int32_t twipsPerPixelX, int32_t twipsPerPixelY) {
    const int32_t left = roundHalfEven(double(control.left) / twipsPerPixelX) + originX;
    const int32_t top = roundHalfEven(double(control.top) / twipsPerPixelY) + originY;
    const double width = double(control.width) / twipsPerPixelX;
    const double height = double(control.height) / twipsPerPixelY;
    return px > left && py > top && double(px) < double(left) + width &&
           double(py) < double(top) + height;
}

int16_t toggleChoice(int16_t fullScreenChoice) {
    return fullScreenChoice == 0 ? int16_t{1} : int16_t{0};
}

std::string demoCommandLine(int16_t fullScreenChoice) {
    return "demo " + std::to_string(fullScreenChoice);
}

PixelRect controlPixels(const TwipsRect& control, int32_t twipsPerPixelX, int32_t twipsPerPixelY) {
    PixelRect pixels;
    pixels.x = roundHalfEven(double(control.left) / twipsPerPixelX);
    pixels.y = roundHalfEven(double(control.top) / twipsPerPixelY);
    pixels.width =
        roundHalfEven((double(control.left) + double(control.width)) / twipsPerPixelX) - pixels.x;
    pixels.height =
        roundHalfEven((double(control.top) + double(control.height)) / twipsPerPixelY) - pixels.y;
    return pixels;
}
