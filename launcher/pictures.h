#pragma once

// The launcher's four embedded pictures, drawn by the program itself at
// start, and the nearest-neighbour stretch that puts a picture on the
// window (blending would leave near-red, opaque fringes around key-red).

#include <cstddef>
#include <cstdint>
#include <vector>

// A 24-bit picture, rows top first, pixels 0xFFRRGGBB.
struct Picture {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint32_t> pixels;

    uint32_t at(int32_t x, int32_t y) const {
        return pixels[size_t(y) * size_t(width) + size_t(x)];
    }
};

constexpr uint32_t kKeyRed = 0xFFFF0000u;

Picture makeQuitFace();     // Image2, 100 x 100: blue cross on a black disc, red around it
Picture makeStartFace();    // Image3, 288 x 68: green play triangle and START on dark grey
Picture makeToggleWindow(); // Image4(0), 162 x 139: "fullscreen" on a straight slant
Picture makeToggleFull();   // Image4(1), 162 x 139: "fullscreen" along a curve

// Stretches the whole picture onto x, y, width x height of a 32-bit pixel
// buffer (pitch in pixels), clipped to the buffer, replacing its pixels.
void drawStretched(uint32_t* target, int32_t targetWidth, int32_t targetHeight, int32_t pitch,
                   const Picture& picture, int32_t x, int32_t y, int32_t width, int32_t height);
