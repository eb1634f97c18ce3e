#pragma once
// Reading a finished frame out of the back buffer. Needs a current GL
// context.
#include <cstdint>
#include <vector>

#include "tools/democap/capture_plan.h"

namespace democap {

// Tight RGB rows, bottom row first; the PNG writer and ffmpeg flip them.
void readFrameRows(std::vector<uint8_t>& rows, int width, int height);

// The frame of frameWidth x frameHeight (tight RGB rows, bottom row first)
// with the show in its area and black around it. The show was drawn at
// factor times the area's size at the buffer's origin; each factor x factor
// block becomes one pixel, their mean. scratch holds the drawn picture.
void readShowFrame(std::vector<uint8_t>& frame, int frameWidth, int frameHeight,
                   const ShowArea& area, int factor, std::vector<uint8_t>& scratch);

// The box filter alone: drawn is (width * factor) x (height * factor) tight
// RGB; the result goes to out at (x, y) of rows outWidth pixels long.
void filterDown(const std::vector<uint8_t>& drawn, int width, int height, int factor,
                std::vector<uint8_t>& out, int outWidth, int x, int y);

} // namespace democap
