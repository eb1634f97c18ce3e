#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

// Pictures beyond these are refused before they are decoded: a few bytes of
// header can declare gigabytes of pixels. The show's pictures are far below.
constexpr uint32_t kMaxTextureSide = 8192;
constexpr uint64_t kMaxTexturePixels = 32ull * 1024 * 1024; // 128 MB as RGBA

// A decoded picture as the upload wants it: rows packed without gaps, top
// row first, red-green-blue(-alpha) byte order.
struct DecodedPicture {
    unsigned width = 0;
    unsigned height = 0;
    unsigned bytesPerPixel = 0; // 3 or 4
    std::unique_ptr<uint8_t[]> pixels;
    size_t size() const { return size_t(width) * height * bytesPerPixel; }
};

// The file part of loadTexture, with no GL: the format comes from the
// extension table, the declared size is checked before anything is decoded,
// and other depths are converted to 24 or 32 bits (alpha kept). False, with
// *out untouched, when the name or the file is refused.
bool decodePictureFile(const char* path, DecodedPicture* out);
