#pragma once
// Reading a finished frame out of the back buffer. Needs a current GL
// context.
#include <cstdint>
#include <vector>

namespace democap {

// Tight RGB rows, bottom row first; the PNG writer and ffmpeg flip them.
void readFrameRows(std::vector<uint8_t>& rows, int width, int height);

} // namespace democap
