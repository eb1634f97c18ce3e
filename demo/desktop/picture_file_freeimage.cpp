#include "demo/assets/picture_file.h"

#include <FreeImage.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "common/picture_bytes.h"

namespace {

// PNG and JPEG, the show's own formats, go through their reference
// libraries; the others through FreeImage, behind the checks below.
enum class Library { Png, Jpeg, FreeImage };

struct Decoder {
    const char* extension;
    Library library;
    FREE_IMAGE_FORMAT format;
    int flags;
};

// Matched in order, whole string, case-sensitive. JPEGs are decoded at best
// quality (the accurate integer DCT, as JPEG_ACCURATE asked of FreeImage).
// clang-format off
constexpr Decoder kDecoders[] = {
    {".bmp",  Library::FreeImage, FIF_BMP,     0},
    {".png",  Library::Png,       FIF_UNKNOWN, 0},
    {".jpeg", Library::Jpeg,      FIF_UNKNOWN, 0},
    {".jpg",  Library::Jpeg,      FIF_UNKNOWN, 0},
    {".pcx",  Library::FreeImage, FIF_PCX,     0},
    {".tga",  Library::FreeImage, FIF_TARGA,   0},
    {".dds",  Library::FreeImage, FIF_DDS,     0},
};
// clang-format on

constexpr PictureLimits kTextureLimits{kMaxTextureSide, kMaxTexturePixels, true};

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
using Bytes = std::vector<uint8_t>;

// Far above any picture within the pixel cap (an uncompressed 32-bit BMP of
// kMaxTexturePixels is 128 MB); the whole file is read before decoding.
constexpr uint64_t kMaxPictureFileBytes = 256ull * 1024 * 1024;

void ensureFreeImage() {
    // Debian's shared library initialises itself; a static build does not.
    // The call is reference counted, so one more is harmless.
    static const bool initialised = [] {
        FreeImage_Initialise(FALSE);
        return true;
    }();
    (void)initialised;
}

bool sizeWithinCap(uint64_t width, uint64_t height) {
    return kTextureLimits.allows(width, height);
}

// FreeImage 3.18 is unmaintained upstream and some of its readers
// trust their headers. Where a reader is known to go wrong on a header that
// contradicts the file, the header is checked here before FreeImage sees it.
//
// TARGA: an image ID and colour map that reach past the end of the file make
// the reader's remaining-bytes count negative; its RLE path then fails an
// allocation of that size and hands back a bitmap it has already freed.
//
// Its run-length reader also reads through a cache of (bytes after the
// header) / height bytes and takes whole pixels from it: a cache smaller
// than one pixel is read past its end. And it checks a packet against the
// end of the picture without the rows' padding, so a packet that runs past
// the last pixel writes past the bitmap; at the end of the data it goes on
// decoding stale bytes. So every packet must lie within the picture and the
// data must cover it.
bool targaRunsFitPicture(const Bytes& file, uint64_t pixelsOffset, uint64_t pixelBytes) {
    const uint8_t* header = file.data();
    const uint64_t width = header[12] | (header[13] << 8);
    const uint64_t height = header[14] | (header[15] << 8);
    if (height == 0 || (file.size() - pixelsOffset) / height <= pixelBytes) {
        return false;
    }
    const uint64_t total = width * height;
    uint64_t done = 0;
    uint64_t pos = pixelsOffset;
    while (done < total) {
        if (pos >= file.size()) {
            return false;
        }
        const uint8_t code = file[pos++];
        const uint64_t count = (code & 0x7f) + 1u;
        const uint64_t bytes = (code & 0x80) != 0 ? pixelBytes : count * pixelBytes;
        if (done + count > total || pos + bytes > file.size()) {
            return false;
        }
        pos += bytes;
        done += count;
    }
    return true;
}

bool targaHeaderFitsFile(const Bytes& file) {
    if (file.size() < 18) {
        return false;
    }
    const uint8_t* header = file.data();
    const uint64_t idLength = header[0];
    const uint64_t colourMapType = header[1];
    const uint64_t colourMapLength = header[5] | (header[6] << 8);
    const uint64_t colourMapEntryBits = header[7];
    const uint64_t depth = header[16];
    // Where the reader starts on the pixels: past the ID and the colour map,
    // whose size it rounds to whole bytes per entry except for 8-bit pictures.
    const uint64_t colourMapBytes = colourMapType == 0 ? 0
                                    : depth == 8       ? colourMapLength * colourMapEntryBits / 8
                                                 : colourMapLength * ((colourMapEntryBits + 7) / 8);
    const uint64_t pixelsOffset = 18 + idLength + colourMapBytes;
    if (pixelsOffset >= file.size()) {
        return false;
    }
    if ((header[2] & 8) == 0) {
        return true; // not run-length coded
    }
    // The reader's pixel sizes by depth; it refuses any other depth itself.
    switch (depth) {
    case 8:
        return targaRunsFitPicture(file, pixelsOffset, 1);
    case 15:
    case 16:
        return targaRunsFitPicture(file, pixelsOffset, 2);
    case 24:
        return targaRunsFitPicture(file, pixelsOffset, 3);
    case 32:
        return targaRunsFitPicture(file, pixelsOffset, 4);
    default:
        return true;
    }
}

// PCX: the reader copies `width` pixels out of a line buffer of
// bytes-per-line x planes bytes, whatever the two say, and decodes from a
// read buffer that a short file leaves partly unwritten. So the line must
// hold the width, and the run-length data must fill every line the header
// declares.
bool pcxHeaderFitsFile(const Bytes& file) {
    if (file.size() <= 128 || file[0] != 0x0a) {
        return false;
    }
    auto le16 = [&](size_t at) { return static_cast<uint32_t>(file[at] | file[at + 1] << 8); };
    const uint32_t bitsPerPixel = file[3];
    const uint32_t xMin = le16(4), yMin = le16(6), xMax = le16(8), yMax = le16(10);
    const uint32_t planes = file[65];
    const uint32_t bytesPerLine = le16(66);
    if (xMax < xMin || yMax < yMin || planes == 0 || bytesPerLine == 0 || bitsPerPixel == 0) {
        return false;
    }
    const uint64_t width = xMax - xMin + 1;
    const uint64_t height = yMax - yMin + 1;
    if (!sizeWithinCap(width, height) || uint64_t(bytesPerLine) * 8 < width * bitsPerPixel) {
        return false;
    }
    const uint64_t needed = height * planes * bytesPerLine;
    const bool runLength = file[2] == 1;
    if (!runLength) {
        return file.size() - 128 >= needed;
    }
    uint64_t produced = 0;
    size_t pos = 128;
    while (produced < needed) {
        if (pos >= file.size()) {
            return false;
        }
        const uint8_t code = file[pos++];
        if (code >= 0xc0) {
            if (pos >= file.size()) {
                return false;
            }
            ++pos;
            produced += code & 0x3f;
        } else {
            ++produced;
        }
    }
    return true;
}

bool headerFitsFile(const Decoder& decoder, const Bytes& file) {
    if (decoder.format == FIF_TARGA) {
        return targaHeaderFitsFile(file);
    }
    if (decoder.format == FIF_PCX) {
        return pcxHeaderFitsFile(file);
    }
    return true;
}

// FreeImage's DDS reader has no header-only mode, so the size comes from the
// header itself: "DDS ", then size, flags, height and width, little-endian.
bool ddsSizeAcceptable(const Bytes& file) {
    if (file.size() < 20 || std::memcmp(file.data(), "DDS ", 4) != 0) {
        return false;
    }
    auto le32 = [&](size_t at) {
        return static_cast<uint32_t>(file[at]) | static_cast<uint32_t>(file[at + 1]) << 8 |
               static_cast<uint32_t>(file[at + 2]) << 16 |
               static_cast<uint32_t>(file[at + 3]) << 24;
    };
    return sizeWithinCap(le32(16), le32(12));
}

// FreeImage reads from our copy of the file; it never writes to it.
Bitmap loadFromMemory(const Decoder& decoder, Bytes& file, int flags) {
    FIMEMORY* memory = FreeImage_OpenMemory(file.data(), static_cast<DWORD>(file.size()));
    if (memory == nullptr) {
        return nullptr;
    }
    Bitmap bitmap(FreeImage_LoadFromMemory(decoder.format, memory, flags));
    FreeImage_CloseMemory(memory);
    return bitmap;
}

// A header-only load first: a tiny file may declare a picture of gigabytes,
// and the full decode would allocate it before noticing the data is short.
bool declaredSizeAcceptable(const Decoder& decoder, Bytes& file) {
    if (!FreeImage_FIFSupportsNoPixels(decoder.format)) {
        return decoder.format == FIF_DDS && ddsSizeAcceptable(file);
    }
    Bitmap header = loadFromMemory(decoder, file, decoder.flags | FIF_LOAD_NOPIXELS);
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
    Bytes file;
    if (!picture_bytes::readFile(path, kMaxPictureFileBytes, file)) {
        return false;
    }
    // The show needs pixels only: metadata never reaches a decoder.
    switch (decoder->library) {
    case Library::Png:
        picture_bytes::stripPngMetadata(file);
        return decodePng(file.data(), file.size(), kTextureLimits, out);
    case Library::Jpeg:
        picture_bytes::stripJpegMetadata(file);
        return decodeJpeg(file.data(), file.size(), kTextureLimits, out);
    case Library::FreeImage:
        break;
    }
    if (decoder->format == FIF_TARGA) {
        picture_bytes::stripTargaFooter(file);
    }
    ensureFreeImage();
    if (!headerFitsFile(*decoder, file) || !declaredSizeAcceptable(*decoder, file)) {
        return false;
    }
    Bitmap bitmap = loadFromMemory(*decoder, file, decoder->flags);
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
