#pragma once
#include <cstdint>
#include <memory>

// Pictures beyond these are refused before they are decoded: a few bytes of
// header can declare gigabytes of pixels. The show's pictures are far below.
constexpr uint32_t kMaxTextureSide = 8192;
constexpr uint64_t kMaxTexturePixels = 32ull * 1024 * 1024; // 128 MB as RGBA

// Decodes a picture file (format chosen by its extension) into a new GL
// texture whose name goes into *outName. False, with *outName untouched, when
// the extension is unknown or the file cannot be decoded. Pictures of other
// than 24 or 32 bits per pixel are converted first (alpha kept).
bool loadTexture(const char* path, uint32_t* outName, bool mipmaps, int wrap);

// A 128 x 128 luminance cone of light, for sparks and glows.
void makeSpotTexture(uint32_t* outName);

// The two halves of loadTexture, so pictures can be decoded on worker
// threads (no GL there) while the thread that owns the context uploads them
// in the order it wants.
struct DecodedTexture {
    std::unique_ptr<uint8_t[]> pixels; // rows packed, red first; null when nothing decoded
    unsigned width = 0;
    unsigned height = 0;
    unsigned bytesPerPixel = 0; // 3 or 4
};
// No GL: safe on any thread. False (and out emptied) when loadTexture would
// refuse the file.
bool decodeTexture(const char* path, DecodedTexture& out);
// Needs the current GL context: the texture creation loadTexture does.
bool uploadTexture(const DecodedTexture& picture, uint32_t* outName, bool mipmaps, int wrap);
