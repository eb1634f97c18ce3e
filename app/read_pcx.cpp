// The export of app.so. Every call decodes the file afresh, draws it and
// frees the picture before it returns; nothing is kept between calls.

#include "app/app.h"
#include "app/stretch_picture.h"

#include <vector>

#include "common/picture_bytes.h"
#include "common/picture_codecs.h"

namespace {

// A PNG may declare any size in its header. Beyond these, nothing is drawn;
// nor is a PNG of 16 bits per channel, which a device bitmap cannot carry.
constexpr PictureLimits kDrawableLimits{16384, 64ull * 1024 * 1024, false};

// Far above any PNG within the pixel cap that a screen needs.
constexpr uint64_t kMaxFileBytes = 256ull * 1024 * 1024;

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
    // The format is fixed: only PNG content is decoded, whatever the name.
    picture_bytes::stripPngMetadata(file);
    DecodedPicture picture;
    if (!decodePng(file.data(), file.size(), kDrawableLimits, &picture)) {
        return 0;
    }
    return stretchPicture(*surface, destX, destY, destWidth, destHeight, picture) ? 1 : 0;
}
