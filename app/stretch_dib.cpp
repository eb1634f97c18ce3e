#include "app/stretch_dib.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

constexpr uint32_t kOpaque = 0xFF000000u;
// Uncompressed rows; FreeImage's header on this platform does not name it.
constexpr DWORD kBiRgb = 0;

uint32_t packRgb(BYTE r, BYTE g, BYTE b) {
    return kOpaque | (uint32_t(r) << 16) | (uint32_t(g) << 8) | uint32_t(b);
}

// Source index for each destination step, sampling at the centre of the
// destination pixel: (2i + 1) * src / (2 * dest), exact in 64 bits.
int32_t sourceIndex(int64_t destOffset, int64_t destSize, int64_t srcSize) {
    return int32_t(((2 * destOffset + 1) * srcSize) / (2 * destSize));
}

} // namespace

bool stretchDibBits(const AppSurface& surface, int32_t destX, int32_t destY, int32_t destWidth,
                    int32_t destHeight, int32_t srcWidth, int32_t srcHeight, const BYTE* bits,
                    const BITMAPINFO* info) {
    if (info == nullptr || bits == nullptr || surface.pixels == nullptr) {
        return false;
    }
    const BITMAPINFOHEADER& header = info->bmiHeader;
    const int bitCount = header.biBitCount;
    if (header.biCompression != kBiRgb || header.biPlanes != 1) {
        return false;
    }
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24 && bitCount != 32) {
        return false;
    }
    if (srcWidth <= 0 || srcHeight <= 0 || header.biWidth != srcWidth ||
        std::abs(int64_t(header.biHeight)) != srcHeight) {
        return false;
    }
    const bool bottomUp = header.biHeight > 0;
    const int64_t stride = ((int64_t(srcWidth) * bitCount + 31) / 32) * 4;

    uint32_t palette[256] = {};
    if (bitCount <= 8) {
        const uint32_t full = 1u << bitCount;
        const uint32_t used =
            header.biClrUsed == 0 ? full : std::min<uint32_t>(header.biClrUsed, full);
        for (uint32_t i = 0; i < used; ++i) {
            const RGBQUAD& q = info->bmiColors[i];
            palette[i] = packRgb(q.rgbRed, q.rgbGreen, q.rgbBlue);
        }
        // Indices beyond the table draw black, as they stay zero here.
        for (uint32_t i = used; i < full; ++i) {
            palette[i] = kOpaque;
        }
    }

    if (destWidth <= 0 || destHeight <= 0 || surface.width <= 0 || surface.height <= 0) {
        return true;
    }
    const int64_t left = std::max<int64_t>(destX, 0);
    const int64_t right = std::min<int64_t>(int64_t(destX) + destWidth, surface.width);
    const int64_t top = std::max<int64_t>(destY, 0);
    const int64_t bottom = std::min<int64_t>(int64_t(destY) + destHeight, surface.height);
    if (left >= right || top >= bottom) {
        return true;
    }

    std::vector<int32_t> columns(size_t(right - left));
    for (int64_t x = left; x < right; ++x) {
        columns[size_t(x - left)] = sourceIndex(x - destX, destWidth, srcWidth);
    }

    for (int64_t y = top; y < bottom; ++y) {
        const int32_t srcRow = sourceIndex(y - destY, destHeight, srcHeight);
        const int64_t storedRow = bottomUp ? srcHeight - 1 - srcRow : srcRow;
        const BYTE* row = bits + storedRow * stride;
        auto* out = reinterpret_cast<uint32_t*>(reinterpret_cast<unsigned char*>(surface.pixels) +
                                                y * int64_t(surface.pitch));
        for (int64_t x = left; x < right; ++x) {
            const int32_t sx = columns[size_t(x - left)];
            uint32_t colour = kOpaque;
            switch (bitCount) {
            case 1:
                colour = palette[(row[sx >> 3] >> (7 - (sx & 7))) & 1];
                break;
            case 4:
                colour = palette[(row[sx >> 1] >> ((sx & 1) ? 0 : 4)) & 15];
                break;
            case 8:
                colour = palette[row[sx]];
                break;
            case 24: {
                const BYTE* p = row + int64_t(sx) * 3;
                colour = packRgb(p[FI_RGBA_RED], p[FI_RGBA_GREEN], p[FI_RGBA_BLUE]);
                break;
            }
            default: { // 32: the fourth byte is alpha, which a copy ignores
                const BYTE* p = row + int64_t(sx) * 4;
                colour = packRgb(p[FI_RGBA_RED], p[FI_RGBA_GREEN], p[FI_RGBA_BLUE]);
                break;
            }
            }
            out[x] = colour;
        }
    }
    return true;
}
