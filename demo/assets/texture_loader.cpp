#include "demo/assets/texture_loader.h"

#include <FreeImage.h>
#include <GL/gl.h>
#include <GL/glu.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

namespace {

struct Decoder {
    const char* extension;
    FREE_IMAGE_FORMAT format;
    int flags;
};

// Matched in order, whole string, case-sensitive.
constexpr Decoder kDecoders[] = {
    {".bmp", FIF_BMP, 0},
    {".png", FIF_PNG, 0},
    {".jpeg", FIF_JPEG, JPEG_ACCURATE},
    {".jpg", FIF_JPEG, JPEG_ACCURATE},
    {".pcx", FIF_PCX, 0},
    {".tga", FIF_TARGA, 0},
    {".dds", FIF_DDS, 0},
};

const Decoder* decoderFor(const char* path) {
    const char* dot = std::strrchr(path, '.');
    if (dot == nullptr) {
        return nullptr; // no extension at all
    }
    for (const Decoder& decoder : kDecoders) {
        if (std::strcmp(dot, decoder.extension) == 0) {
            return &decoder;
        }
    }
    return nullptr;
}

struct BitmapDeleter {
    void operator()(FIBITMAP* bitmap) const { FreeImage_Unload(bitmap); }
};
using Bitmap = std::unique_ptr<FIBITMAP, BitmapDeleter>;

void ensureFreeImage() {
    // Debian's shared library initialises itself; a static build does not.
    // The call is reference counted, so one more is harmless.
    static const bool initialised = [] {
        FreeImage_Initialise(FALSE);
        return true;
    }();
    (void)initialised;
}

// Only regular, non-empty files reach the decoders: a directory opens for
// reading on Linux and would be handed to the plugins as a stream.
bool isReadableFile(const char* path) {
    struct stat info;
    return ::stat(path, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0;
}

bool sizeWithinCap(uint64_t width, uint64_t height) {
    return width > 0 && height > 0 && width <= kMaxTextureSide && height <= kMaxTextureSide &&
           width * height <= kMaxTexturePixels;
}

// FreeImage's DDS reader has no header-only mode, so the size comes from the
// header itself: "DDS ", then size, flags, height and width, little-endian.
bool ddsSizeAcceptable(const char* path) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        return false;
    }
    unsigned char header[20];
    const bool read = std::fread(header, 1, sizeof header, file) == sizeof header;
    std::fclose(file);
    if (!read || std::memcmp(header, "DDS ", 4) != 0) {
        return false;
    }
    auto le32 = [&](int at) {
        return static_cast<uint32_t>(header[at]) | static_cast<uint32_t>(header[at + 1]) << 8 |
               static_cast<uint32_t>(header[at + 2]) << 16 |
               static_cast<uint32_t>(header[at + 3]) << 24;
    };
    return sizeWithinCap(le32(16), le32(12));
}

// A header-only load first: a tiny file may declare a picture of gigabytes,
// and the full decode would allocate it before noticing the data is short.
bool declaredSizeAcceptable(const Decoder& decoder, const char* path) {
    if (!FreeImage_FIFSupportsNoPixels(decoder.format)) {
        return decoder.format == FIF_DDS && ddsSizeAcceptable(path);
    }
    Bitmap header(FreeImage_Load(decoder.format, path, decoder.flags | FIF_LOAD_NOPIXELS));
    return header != nullptr &&
           sizeWithinCap(FreeImage_GetWidth(header.get()), FreeImage_GetHeight(header.get()));
}

bool hasAlpha(FIBITMAP* bitmap) {
    const FREE_IMAGE_TYPE type = FreeImage_GetImageType(bitmap);
    if (type == FIT_RGBA16 || type == FIT_RGBAF) {
        return true;
    }
    return type == FIT_BITMAP && FreeImage_IsTransparent(bitmap);
}

// The raw-bits copy only handles 24 and 32 bits per pixel safely: it writes
// nothing for 16 bits per channel, and fewer bytes per pixel than the upload
// reads for palette and grey pictures. Everything else becomes 24 bits, or
// 32 where the picture has alpha. Null when no conversion exists.
Bitmap toTrueColour(Bitmap bitmap) {
    for (int step = 0; step < 2 && bitmap != nullptr; ++step) {
        const FREE_IMAGE_TYPE type = FreeImage_GetImageType(bitmap.get());
        const unsigned bpp = FreeImage_GetBPP(bitmap.get());
        if (type == FIT_BITMAP && (bpp == 24 || bpp == 32)) {
            return bitmap;
        }
        if (type == FIT_BITMAP || type == FIT_RGB16 || type == FIT_RGBA16 || type == FIT_RGBF ||
            type == FIT_RGBAF) {
            FIBITMAP* converted = hasAlpha(bitmap.get()) ? FreeImage_ConvertTo32Bits(bitmap.get())
                                                         : FreeImage_ConvertTo24Bits(bitmap.get());
            bitmap.reset(converted);
        } else if (type == FIT_UINT16) {
            // 16-bit grey: the high byte of each value, then once more
            // round the loop to 24 bits.
            bitmap.reset(FreeImage_ConvertTo8Bits(bitmap.get()));
        } else {
            // Other one-channel types, scaled into 8-bit grey.
            bitmap.reset(FreeImage_ConvertToStandardType(bitmap.get(), TRUE));
        }
    }
    if (bitmap != nullptr) {
        const unsigned bpp = FreeImage_GetBPP(bitmap.get());
        if (FreeImage_GetImageType(bitmap.get()) != FIT_BITMAP || (bpp != 24 && bpp != 32)) {
            bitmap.reset();
        }
    }
    return bitmap;
}

// Rows are packed without gaps; GL's default unpack alignment of 4 would
// read past the end of each row (and of the buffer) when width x 3 is not a
// multiple of 4, so the upload runs at alignment 1 and puts it back after.
class UnpackAlignment {
  public:
    UnpackAlignment() {
        glGetIntegerv(GL_UNPACK_ALIGNMENT, &saved_);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    }
    ~UnpackAlignment() { glPixelStorei(GL_UNPACK_ALIGNMENT, saved_); }
    UnpackAlignment(const UnpackAlignment&) = delete;
    UnpackAlignment& operator=(const UnpackAlignment&) = delete;

  private:
    GLint saved_ = 4;
};

} // namespace

bool decodeTexture(const char* path, DecodedTexture& out) {
    out = DecodedTexture{};
    if (path == nullptr) {
        return false;
    }
    const Decoder* decoder = decoderFor(path);
    if (decoder == nullptr) {
        return false;
    }
    ensureFreeImage();
    if (!isReadableFile(path) || !declaredSizeAcceptable(*decoder, path)) {
        return false;
    }
    Bitmap bitmap(FreeImage_Load(decoder->format, path, decoder->flags));
    if (bitmap == nullptr) {
        return false;
    }
    bitmap = toTrueColour(std::move(bitmap));
    if (bitmap == nullptr) {
        return false;
    }

    const unsigned width = FreeImage_GetWidth(bitmap.get());
    const unsigned height = FreeImage_GetHeight(bitmap.get());
    const unsigned bitsPerPixel = FreeImage_GetBPP(bitmap.get());
    const unsigned bytesPerPixel = bitsPerPixel / 8;
    if (!sizeWithinCap(width, height)) {
        return false; // the full decode disagreed with its header
    }
    const size_t stride = static_cast<size_t>(width) * bytesPerPixel;
    const size_t size = stride * height;
    std::unique_ptr<uint8_t[]> pixels(new (std::nothrow) uint8_t[size]);
    if (pixels == nullptr) {
        return false;
    }
    FreeImage_ConvertToRawBits(pixels.get(), bitmap.get(), static_cast<int>(stride), bitsPerPixel,
                               0, 0, 0, TRUE);

    // FreeImage keeps blue-green-red in memory; GL wants red first.
    for (size_t row = 0; row < height; ++row) {
        uint8_t* pixel = pixels.get() + row * stride;
        for (unsigned x = 0; x < width; ++x, pixel += bytesPerPixel) {
            const uint8_t first = pixel[0];
            pixel[0] = pixel[2];
            pixel[2] = first;
        }
    }
    out.pixels = std::move(pixels);
    out.width = width;
    out.height = height;
    out.bytesPerPixel = bytesPerPixel;
    return true;
}

bool uploadTexture(const DecodedTexture& picture, uint32_t* outName, bool mipmaps, int wrap) {
    if (picture.pixels == nullptr || outName == nullptr) {
        return false;
    }
    const unsigned width = picture.width;
    const unsigned height = picture.height;
    const unsigned bytesPerPixel = picture.bytesPerPixel;
    const uint8_t* pixels = picture.pixels.get();
    glEnable(GL_TEXTURE_2D);
    GLuint name = 0;
    glGenTextures(1, &name);
    *outName = name;
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
    const GLenum format = bytesPerPixel == 4 ? GL_RGBA : GL_RGB;
    const UnpackAlignment packedRows;
    if (mipmaps) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        gluBuild2DMipmaps(GL_TEXTURE_2D, 4, static_cast<GLint>(width), static_cast<GLint>(height),
                          format, GL_UNSIGNED_BYTE, pixels);
    } else {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(format), static_cast<GLsizei>(width),
                     static_cast<GLsizei>(height), 0, format, GL_UNSIGNED_BYTE, pixels);
    }
    return true;
}

bool loadTexture(const char* path, uint32_t* outName, bool mipmaps, int wrap) {
    if (path == nullptr || outName == nullptr) {
        return false;
    }
    DecodedTexture picture;
    return decodeTexture(path, picture) && uploadTexture(picture, outName, mipmaps, wrap);
}

void makeSpotTexture(uint32_t* outName) {
    uint8_t spot[128 * 128] = {};
    for (int y = -64; y < 64; ++y) {
        for (int x = -64; x < 64; ++x) {
            const double d = std::sqrt(static_cast<double>(x * x + y * y));
            if (d < 60.0) {
                spot[(y + 64) * 128 + (x + 64)] = static_cast<uint8_t>(255.0 - 4.25 * d);
            }
        }
    }
    GLuint name = 0;
    glGenTextures(1, &name);
    *outName = name;
    glBindTexture(GL_TEXTURE_2D, name);
    const UnpackAlignment packedRows; // 128 is a multiple of 4 anyway
    glTexImage2D(GL_TEXTURE_2D, 0, 1, 128, 128, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE, spot);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
}
