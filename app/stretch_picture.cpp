#include "app/stretch_picture.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

constexpr uint32_t kOpaque = 0xFF000000u;

// Source index for each destination step, sampling at the centre of the
// destination pixel: (2i + 1) * src / (2 * dest), exact in 64 bits.
int32_t sourceIndex(int64_t destOffset, int64_t destSize, int64_t srcSize) {
    return int32_t(((2 * destOffset + 1) * srcSize) / (2 * destSize));
}

} // namespace

bool stretchPicture(const AppSurface& surface, int32_t destX, int32_t destY, int32_t destWidth,
                    int32_t destHeight, const DecodedPicture& picture) {
    if (picture.pixels == nullptr || picture.width == 0 || picture.height == 0 ||
        (picture.bytesPerPixel != 3 && picture.bytesPerPixel != 4) || surface.pixels == nullptr) {
        return false;
    }
    if (destWidth <= 0 || destHeight <= 0 || surface.width <= 0 || surface.height <= 0) {
        return true;
    }
    // Rows that overlap, or run back from the first, are no surface: drawing
    // would write outside the pitch x height bytes the caller gave.
    if (int64_t(surface.pitch) < int64_t(surface.width) * 4) {
        return false;
    }
    const int64_t left = std::max<int64_t>(destX, 0);
    const int64_t right = std::min<int64_t>(int64_t(destX) + destWidth, surface.width);
    const int64_t top = std::max<int64_t>(destY, 0);
    const int64_t bottom = std::min<int64_t>(int64_t(destY) + destHeight, surface.height);
    if (left >= right || top >= bottom) {
        return true;
    }
    const int64_t srcWidth = picture.width;
    const int64_t srcHeight = picture.height;
    const size_t pixelBytes = picture.bytesPerPixel;
    const size_t stride = size_t(srcWidth) * pixelBytes;

    std::vector<size_t> columns(size_t(right - left));
    for (int64_t x = left; x < right; ++x) {
        columns[size_t(x - left)] =
            size_t(sourceIndex(x - destX, destWidth, srcWidth)) * pixelBytes;
    }
    for (int64_t y = top; y < bottom; ++y) {
        const int32_t srcRow = sourceIndex(y - destY, destHeight, srcHeight);
        const uint8_t* row = picture.pixels.get() + size_t(srcRow) * stride;
        auto* out = reinterpret_cast<uint32_t*>(reinterpret_cast<unsigned char*>(surface.pixels) +
                                                y * int64_t(surface.pitch));
        for (int64_t x = left; x < right; ++x) {
            const uint8_t* p = row + columns[size_t(x - left)];
            out[x] = kOpaque | (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | uint32_t(p[2]);
        }
    }
    return true;
}
