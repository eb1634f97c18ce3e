#pragma once
// Reading a finished frame out of the back buffer, in the layout each sink
// wants. Needs a current GL context.
#include <cstdint>
#include <vector>

struct FIBITMAP;

namespace democap {

// Into a 24-bit FreeImage bitmap of the same size: both keep the bottom row
// first with rows padded to 4 bytes, so no copy or flip is needed.
void readFrameInto(FIBITMAP* bitmap, int width, int height);

// Tight RGB rows, bottom row first (ffmpeg flips them).
void readFrameRows(std::vector<uint8_t>& rows, int width, int height);

} // namespace democap
