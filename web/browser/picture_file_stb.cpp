// The picture loader's file part in the browser: stb_image in place of
// FreeImage, keeping the loader's rules: the format from the extension
// table, the declared size checked before anything is decoded, rows top
// first in red-green-blue(-alpha) order, alpha kept where the file has it.
#include "demo/assets/picture_file.h"

#include <cstring>
#include <new>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_JPEG
#define STBI_ONLY_PNG
#define STBI_ONLY_BMP
#define STBI_ONLY_TGA
#define STBI_NO_STDIO_WARNINGS
#include <stb_image.h>

namespace {

// The desktop's table less PCX and DDS, which stb_image does not read: such
// a picture is refused, as an unknown extension is, and its slot stays empty.
constexpr const char* kExtensions[] = {".bmp", ".png", ".jpeg", ".jpg", ".tga"};

bool knownExtension(const char* path) {
    const char* dot = std::strrchr(path, '.');
    if (dot == nullptr) {
        return false;
    }
    for (const char* extension : kExtensions) {
        if (std::strcmp(dot, extension) == 0) {
            return true;
        }
    }
    return false;
}

} // namespace

bool decodePictureFile(const char* path, DecodedPicture* out) {
    if (path == nullptr || out == nullptr || !knownExtension(path)) {
        return false;
    }
    int width = 0, height = 0, channels = 0;
    if (stbi_info(path, &width, &height, &channels) == 0 || width < 1 || height < 1 ||
        static_cast<uint32_t>(width) > kMaxTextureSide ||
        static_cast<uint32_t>(height) > kMaxTextureSide ||
        static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > kMaxTexturePixels) {
        return false;
    }
    // Grey and grey-alpha pictures become RGB and RGBA, as the desktop's
    // conversion makes them.
    const int wanted = channels == 2 || channels == 4 ? 4 : 3;
    stbi_uc* pixels = stbi_load(path, &width, &height, &channels, wanted);
    if (pixels == nullptr) {
        return false;
    }
    const size_t size = static_cast<size_t>(width) * static_cast<size_t>(height) * wanted;
    std::unique_ptr<uint8_t[]> copy(new (std::nothrow) uint8_t[size]);
    if (copy == nullptr) {
        stbi_image_free(pixels);
        return false;
    }
    std::memcpy(copy.get(), pixels, size);
    stbi_image_free(pixels);
    out->width = static_cast<unsigned>(width);
    out->height = static_cast<unsigned>(height);
    out->bytesPerPixel = static_cast<unsigned>(wanted);
    out->pixels = std::move(copy);
    return true;
}
