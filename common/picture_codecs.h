#pragma once
// PNG and JPEG files in memory to 8-bit RGB or RGBA rows, top row first,
// through the reference decoders (libpng, libjpeg-turbo). Shared by the
// demo's texture loader and app.so's ReadPCX. Both decoders check the
// declared size against the caller's caps before a pixel is allocated, and
// report every failure as false: nothing is printed, nothing thrown.
#include <cstddef>
#include <cstdint>
#include <memory>

// A decoded picture: rows packed without gaps, top row first,
// red-green-blue(-alpha) byte order.
struct DecodedPicture {
    unsigned width = 0;
    unsigned height = 0;
    unsigned bytesPerPixel = 0; // 3 or 4
    std::unique_ptr<uint8_t[]> pixels;
    size_t size() const { return size_t(width) * height * bytesPerPixel; }
};

struct PictureLimits {
    uint32_t maxSide = 0;
    uint64_t maxPixels = 0;
    // PNGs of 16 bits per channel: kept as their high bytes, or refused.
    bool sixteenBitChannels = true;

    bool allows(uint64_t width, uint64_t height) const {
        return width > 0 && height > 0 && width <= maxSide && height <= maxSide &&
               width * height <= maxPixels;
    }
};

// Palette, grey and true-colour PNGs of every depth. Alpha is kept where the
// file has it, as an alpha channel or a tRNS chunk (a palette's table or a
// grey or RGB key colour): those come out as RGBA, the rest as RGB. Sixteen
// bits per channel keep their high byte. Interlaced files are read whole.
// Errors in any chunk refuse the file, as do CRC errors in critical chunks;
// damaged ancillary chunks are skipped.
bool decodePng(const uint8_t* data, size_t size, const PictureLimits& limits, DecodedPicture* out);

// Baseline, progressive and arithmetic-coded JPEGs, decoded with the slow,
// accurate integer DCT. Grey pictures become RGB; CMYK and YCCK (as Adobe
// writes them, inverted) are mixed to RGB by their black. A file that ends
// early decodes with the rest of the picture grey, as libjpeg does.
bool decodeJpeg(const uint8_t* data, size_t size, const PictureLimits& limits, DecodedPicture* out);
