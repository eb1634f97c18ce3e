// The export of app.so. Every call decodes the file afresh, draws it and
// frees the picture before it returns; nothing is kept between calls.

#include "app/app.h"
#include "app/stretch_dib.h"

#include <FreeImage.h>

#include <vector>

#include "common/picture_bytes.h"

namespace {

// A PNG may declare any size in its header, and FreeImage allocates what it
// declares before reading a single row. Beyond these, nothing is drawn.
constexpr unsigned kMaxSide = 16384;
constexpr unsigned long long kMaxPixels = 64ull * 1024 * 1024;

bool drawableHeader(FIBITMAP* header) {
    const unsigned width = FreeImage_GetWidth(header);
    const unsigned height = FreeImage_GetHeight(header);
    if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide ||
        static_cast<unsigned long long>(width) * height > kMaxPixels) {
        return false;
    }
    // 16 bits per channel decodes to FIT_UINT16, FIT_RGB16 or FIT_RGBA16,
    // which a device-independent bitmap cannot carry.
    if (FreeImage_GetImageType(header) != FIT_BITMAP) {
        return false;
    }
    const unsigned bpp = FreeImage_GetBPP(header);
    return bpp == 1 || bpp == 4 || bpp == 8 || bpp == 24 || bpp == 32;
}

// Far above any PNG within the pixel cap that a screen needs.
constexpr uint64_t kMaxFileBytes = 256ull * 1024 * 1024;

FIBITMAP* loadPng(std::vector<uint8_t>& file, int flags) {
    FIMEMORY* memory = FreeImage_OpenMemory(file.data(), static_cast<DWORD>(file.size()));
    if (memory == nullptr) {
        return nullptr;
    }
    FIBITMAP* bitmap = FreeImage_LoadFromMemory(FIF_PNG, memory, flags);
    FreeImage_CloseMemory(memory);
    return bitmap;
}

} // namespace

extern "C" __attribute__((visibility("default"))) int32_t
ReadPCX(const char* path, AppSurface* surface, int32_t destWidth, int32_t destHeight, int32_t destX,
        int32_t destY) {
    if (path == nullptr || surface == nullptr) {
        return 0;
    }
    // The file is read once; its text and EXIF chunks, which a picture on
    // screen does not need, never reach the decoder.
    std::vector<uint8_t> file;
    if (!picture_bytes::readFile(path, kMaxFileBytes, file)) {
        return 0;
    }
    // FreeImage compares the signature from a buffer it may not have filled.
    if (!picture_bytes::hasPngSignature(file)) {
        return 0;
    }
    picture_bytes::stripPngMetadata(file);
    // The format is fixed: only PNG content is decoded, whatever the name.
    FIBITMAP* header = loadPng(file, FIF_LOAD_NOPIXELS);
    if (header == nullptr) {
        return 0;
    }
    const bool drawable = drawableHeader(header);
    FreeImage_Unload(header);
    if (!drawable) {
        return 0;
    }

    FIBITMAP* picture = loadPng(file, 0);
    if (picture == nullptr) {
        return 0;
    }
    bool drawn = false;
    // The full decode may disagree with its header: check again.
    if (FreeImage_HasPixels(picture) && drawableHeader(picture)) {
        const auto width = static_cast<int32_t>(FreeImage_GetWidth(picture));
        const auto height = static_cast<int32_t>(FreeImage_GetHeight(picture));
        drawn = stretchDibBits(*surface, destX, destY, destWidth, destHeight, width, height,
                               FreeImage_GetBits(picture), FreeImage_GetInfo(picture));
    }
    FreeImage_Unload(picture);
    return drawn ? 1 : 0;
}
