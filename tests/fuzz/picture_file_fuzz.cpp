// The texture loader's file-to-pixels path on any bytes. The first byte
// picks the extension (so the decoder), the rest is the file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "demo/assets/picture_file.h"
#include "tests/fuzz/fuzz_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    const char* extension = kPictureFuzzExtensions[data[0] % kPictureFuzzExtensionCount];
    const std::string path = writeFuzzFile(extension, data + 1, size - 1);
    if (path.empty()) {
        return 0;
    }
    DecodedPicture picture;
    if (!decodePictureFile(path.c_str(), &picture)) {
        return 0;
    }
    // What the upload relies on: a size within the caps, 3 or 4 bytes per
    // pixel, and a buffer holding every row (read to the last byte, so the
    // address sanitizer sees a short one).
    if (picture.width == 0 || picture.height == 0 || picture.width > kMaxTextureSide ||
        picture.height > kMaxTextureSide ||
        uint64_t(picture.width) * picture.height > kMaxTexturePixels ||
        (picture.bytesPerPixel != 3 && picture.bytesPerPixel != 4) || picture.pixels == nullptr) {
        std::abort();
    }
    volatile uint8_t sink = 0;
    const size_t bytes = picture.size();
    for (size_t i = 0; i < bytes; i += 61) {
        sink = sink ^ picture.pixels[i];
    }
    sink = sink ^ picture.pixels[bytes - 1];
    return 0;
}
