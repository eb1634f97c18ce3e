#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

#include "common/picture_codecs.h"

// Pictures beyond these are refused before they are decoded: a few bytes of
// header can declare gigabytes of pixels. The show's pictures are far below.
constexpr uint32_t kMaxTextureSide = 8192;
constexpr uint64_t kMaxTexturePixels = 32ull * 1024 * 1024; // 128 MB as RGBA

// The file part of loadTexture, with no GL: the format comes from the
// extension table, the declared size is checked before anything is decoded,
// and other depths are converted to 24 or 32 bits (alpha kept). PNG and
// JPEG are read by libpng and libjpeg-turbo, BMP, PCX, TGA and DDS by
// FreeImage. False, with *out untouched, when the name or the file is
// refused.
bool decodePictureFile(const char* path, DecodedPicture* out);
