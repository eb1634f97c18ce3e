#include "demo/assets/picture_file.h"

#include <FreeImage.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

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
bool isReadableFile(const char* path, uint64_t* size) {
    struct stat info;
    if (::stat(path, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0) {
        return false;
    }
    *size = static_cast<uint64_t>(info.st_size);
    return true;
}

bool sizeWithinCap(uint64_t width, uint64_t height) {
    return width > 0 && height > 0 && width <= kMaxTextureSide && height <= kMaxTextureSide &&
           width * height <= kMaxTexturePixels;
}

// Debian's FreeImage 3.18 is unmaintained upstream and some of its readers
// trust their headers. Where a reader is known to go wrong on a header that
// contradicts the file, the header is checked here before FreeImage sees it.
//
// TARGA: an image ID and colour map that reach past the end of the file make
// the reader's remaining-bytes count negative; its RLE path then fails an
// allocation of that size and hands back a bitmap it has already freed.
bool targaHeaderFitsFile(const char* path, uint64_t fileSize) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        return false;
    }
    unsigned char header[18];
    const bool read = std::fread(header, 1, sizeof header, file) == sizeof header;
    std::fclose(file);
    if (!read) {
        return false;
    }
    const uint64_t idLength = header[0];
    const uint64_t colourMapType = header[1];
    const uint64_t colourMapLength = header[5] | (header[6] << 8);
    const uint64_t colourMapEntryBits = header[7];
    const uint64_t colourMapBytes =
        colourMapType == 0 ? 0 : colourMapLength * ((colourMapEntryBits + 7) / 8);
    return sizeof header + idLength + colourMapBytes < fileSize;
}

// JPEG: FreeImage's header-only load still starts libjpeg's decompressor,
// which for a progressive picture allocates and zeroes a coefficient buffer
// for the whole declared frame: 60000 x 60000 costs a minute and gigabytes
// before the size can be refused. So the frame header is read here: the
// markers from the start of the file up to the first SOFn, which holds the
// height and width.
bool jpegFrameWithinCap(const char* path) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        return false;
    }
    bool acceptable = false;
    unsigned char start[2];
    if (std::fread(start, 1, 2, file) == 2 && start[0] == 0xff && start[1] == 0xd8) {
        for (;;) {
            int marker = std::fgetc(file);
            if (marker != 0xff) {
                break; // garbage between segments
            }
            while (marker == 0xff) {
                marker = std::fgetc(file); // fill bytes
            }
            if (marker == EOF || marker == 0xd9 || marker == 0xda) {
                break; // the end, or scan data, before any frame header
            }
            if (marker == 0x01 || (marker >= 0xd0 && marker <= 0xd7)) {
                continue; // markers without a length
            }
            unsigned char length[2];
            if (std::fread(length, 1, 2, file) != 2) {
                break;
            }
            const long size = (length[0] << 8) | length[1];
            if (size < 2) {
                break;
            }
            const bool frame = marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 &&
                               marker != 0xc8 && marker != 0xcc;
            if (frame) {
                unsigned char header[5]; // precision, height, width
                if (size >= 7 && std::fread(header, 1, 5, file) == 5) {
                    acceptable =
                        sizeWithinCap((header[3] << 8) | header[4], (header[1] << 8) | header[2]);
                }
                break;
            }
            if (std::fseek(file, size - 2, SEEK_CUR) != 0) {
                break;
            }
        }
    }
    std::fclose(file);
    return acceptable;
}

bool headerFitsFile(const Decoder& decoder, const char* path, uint64_t fileSize) {
    if (decoder.format == FIF_TARGA) {
        return targaHeaderFitsFile(path, fileSize);
    }
    if (decoder.format == FIF_JPEG) {
        return jpegFrameWithinCap(path);
    }
    return true;
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

} // namespace

bool decodePictureFile(const char* path, DecodedPicture* out) {
    if (path == nullptr || out == nullptr) {
        return false;
    }
    const Decoder* decoder = decoderFor(path);
    if (decoder == nullptr) {
        return false;
    }
    ensureFreeImage();
    uint64_t fileSize = 0;
    if (!isReadableFile(path, &fileSize) || !headerFitsFile(*decoder, path, fileSize) ||
        !declaredSizeAcceptable(*decoder, path)) {
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
    out->width = width;
    out->height = height;
    out->bytesPerPixel = bytesPerPixel;
    out->pixels = std::move(pixels);
    return true;
}
