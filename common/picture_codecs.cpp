#include "common/picture_codecs.h"

// Both libraries report errors by longjmp. Every frame a longjmp can cross
// holds plain values only; what the decode allocates belongs to a job
// record in the caller's frame, whose destructor frees it either way.
#include <jpeglib.h>
#include <png.h>

#include <csetjmp>
#include <cstring>
#include <new>

namespace {

uint8_t* allocatePixels(size_t size) {
    return new (std::nothrow) uint8_t[size];
}

// ---- PNG ----

struct PngSource {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

void pngRead(png_structp png, png_bytep out, size_t length) {
    auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
    if (length > source->size - source->pos) {
        png_error(png, "the file ends inside a chunk");
    }
    std::memcpy(out, source->data + source->pos, length);
    source->pos += length;
}

[[noreturn]] void pngError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}
void pngWarning(png_structp, png_const_charp) {}

struct PngJob {
    png_structp png = nullptr;
    png_infop info = nullptr;
    uint8_t* rows = nullptr;
    uint8_t* pixels = nullptr;
    unsigned width = 0;
    unsigned height = 0;
    unsigned bytesPerPixel = 0;
    PngJob() {
        png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, pngError, pngWarning);
        info = png != nullptr ? png_create_info_struct(png) : nullptr;
    }
    ~PngJob() {
        png_destroy_read_struct(&png, &info, nullptr);
        delete[] rows;
        delete[] pixels;
    }
    PngJob(const PngJob&) = delete;
    PngJob& operator=(const PngJob&) = delete;
};

// The rows as libpng hands them over, to RGB or RGBA bytes: 16-bit values
// keep their high byte, packed grey (one value a byte, 0 to 2^depth - 1)
// is stretched to 0 to 255.
void toPictureBytes(const uint8_t* rows, size_t count, unsigned channels, int sourceDepth,
                    bool packedGrey, uint8_t* out) {
    if (packedGrey) {
        const unsigned scale = 255u / ((1u << sourceDepth) - 1u);
        for (size_t i = 0; i < count; ++i, out += 3) {
            out[0] = out[1] = out[2] = uint8_t(rows[i] * scale);
        }
        return;
    }
    for (size_t i = 0; i < count * channels; ++i) {
        out[i] = rows[2 * i]; // big-endian: the high byte first
    }
}

bool runPng(PngJob& job, PngSource& source, const PictureLimits& limits) {
    png_structp png = job.png;
    png_infop info = job.info;
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    png_set_read_fn(png, &source, pngRead);
    png_read_info(png, info);
    png_uint_32 width = 0, height = 0;
    int depth = 0, colour = 0, interlace = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &colour, &interlace, nullptr, nullptr);
    if (!limits.allows(width, height)) {
        return false;
    }
    const bool deep = depth == 16;
    if (deep && !limits.sixteenBitChannels) {
        return false;
    }
    // A tRNS chunk (a palette's alphas, or a grey or RGB key) becomes alpha.
    const bool keyed = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    // A stated gamma (gAMA, or sRGB) is corrected for a display of gamma
    // 2.2, as it always has been: on grey and true colour, and on palettes
    // of 2 bits, which were expanded; the other palettes were drawn with
    // their entries as written.
    double fileGamma = 0;
    bool correctGamma = png_get_gAMA(png, info, &fileGamma) != 0;
    bool packedGrey = false;
    switch (colour) {
    case PNG_COLOR_TYPE_PALETTE:
        png_set_palette_to_rgb(png);
        correctGamma = correctGamma && depth == 2;
        break;
    case PNG_COLOR_TYPE_GRAY:
        if (depth == 2 || (depth < 8 && keyed)) {
            png_set_expand_gray_1_2_4_to_8(png);
            png_set_gray_to_rgb(png);
        } else if (depth < 8) {
            // 1 and 4 bits: corrected at their own depth, then stretched.
            png_set_packing(png);
            packedGrey = true;
        } else {
            png_set_gray_to_rgb(png);
        }
        break;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        png_set_gray_to_rgb(png);
        break;
    default:
        break;
    }
    if (keyed) {
        png_set_tRNS_to_alpha(png);
    }
    if (correctGamma) {
        png_set_gamma(png, 2.2, fileGamma);
    }
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const unsigned channels = png_get_channels(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);
    const unsigned bytesPerPixel = packedGrey ? 3 : channels;
    const size_t valueBytes = deep ? 2 : 1;
    if ((packedGrey ? channels != 1 : channels != 3 && channels != 4) ||
        rowBytes != size_t(width) * (packedGrey ? 1 : channels * valueBytes)) {
        return false;
    }
    const bool asIs = !deep && !packedGrey;
    job.rows = allocatePixels(rowBytes * height);
    if (job.rows == nullptr) {
        return false;
    }
    // Interlaced files are read over every pass; each pass fills in the rows.
    for (int pass = 0; pass < passes; ++pass) {
        for (png_uint_32 y = 0; y < height; ++y) {
            png_read_row(png, job.rows + y * rowBytes, nullptr);
        }
    }
    png_read_end(png, nullptr);
    if (asIs) {
        job.pixels = job.rows;
        job.rows = nullptr;
    } else {
        job.pixels = allocatePixels(size_t(width) * height * bytesPerPixel);
        if (job.pixels == nullptr) {
            return false;
        }
        toPictureBytes(job.rows, size_t(width) * height, channels, depth, packedGrey, job.pixels);
    }
    job.width = width;
    job.height = height;
    job.bytesPerPixel = bytesPerPixel;
    return true;
}

// ---- JPEG ----

struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

[[noreturn]] void jpegErrorExit(j_common_ptr common) {
    std::longjmp(reinterpret_cast<JpegErrors*>(common->err)->jump, 1);
}
// Warnings (corrupt data, a premature end) go on decoding, as libjpeg does.
void jpegMessage(j_common_ptr) {}

struct JpegJob {
    jpeg_decompress_struct decoder{};
    JpegErrors errors{};
    bool created = false;
    uint8_t* row = nullptr;
    uint8_t* pixels = nullptr;
    unsigned width = 0;
    unsigned height = 0;
    JpegJob() = default;
    ~JpegJob() {
        if (created) {
            jpeg_destroy_decompress(&decoder);
        }
        delete[] row;
        delete[] pixels;
    }
    JpegJob(const JpegJob&) = delete;
    JpegJob& operator=(const JpegJob&) = delete;
};

bool runJpeg(JpegJob& job, const uint8_t* data, size_t size, const PictureLimits& limits) {
    jpeg_decompress_struct* decoder = &job.decoder;
    decoder->err = jpeg_std_error(&job.errors.manager);
    job.errors.manager.error_exit = jpegErrorExit;
    job.errors.manager.output_message = jpegMessage;
    if (setjmp(job.errors.jump) != 0) {
        return false;
    }
    jpeg_create_decompress(decoder);
    job.created = true;
    jpeg_mem_src(decoder, data, static_cast<unsigned long>(size));
    jpeg_read_header(decoder, TRUE);
    // Before the decompressor starts: a progressive picture allocates its
    // whole coefficient buffer then.
    if (!limits.allows(decoder->image_width, decoder->image_height)) {
        return false;
    }
    switch (decoder->jpeg_color_space) {
    case JCS_GRAYSCALE:
        decoder->out_color_space = JCS_GRAYSCALE;
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        decoder->out_color_space = JCS_CMYK;
        break;
    case JCS_RGB:
    case JCS_YCbCr:
        decoder->out_color_space = JCS_RGB;
        break;
    default:
        return false; // two components, or more than four: no colour meaning
    }
    decoder->dct_method = JDCT_ISLOW;
    jpeg_start_decompress(decoder);
    const unsigned width = decoder->output_width;
    const unsigned height = decoder->output_height;
    const unsigned components = static_cast<unsigned>(decoder->output_components);
    if (!limits.allows(width, height) || (components != 1 && components != 3 && components != 4)) {
        return false;
    }
    const size_t stride = size_t(width) * 3;
    job.row = allocatePixels(size_t(width) * components);
    job.pixels = allocatePixels(stride * height);
    if (job.row == nullptr || job.pixels == nullptr) {
        return false;
    }
    while (decoder->output_scanline < height) {
        uint8_t* out = job.pixels + size_t(decoder->output_scanline) * stride;
        JSAMPROW rows[1] = {job.row};
        if (jpeg_read_scanlines(decoder, rows, 1) != 1) {
            return false;
        }
        const uint8_t* in = job.row;
        for (unsigned x = 0; x < width; ++x, out += 3, in += components) {
            if (components == 1) {
                out[0] = out[1] = out[2] = in[0];
            } else if (components == 3) {
                out[0] = in[0];
                out[1] = in[1];
                out[2] = in[2];
            } else {
                // Inverted CMYK: each channel scaled by the (inverted) black.
                const unsigned black = in[3];
                out[0] = uint8_t(black * in[0] / 255);
                out[1] = uint8_t(black * in[1] / 255);
                out[2] = uint8_t(black * in[2] / 255);
            }
        }
    }
    jpeg_finish_decompress(decoder);
    job.width = width;
    job.height = height;
    return true;
}

} // namespace

bool decodePng(const uint8_t* data, size_t size, const PictureLimits& limits, DecodedPicture* out) {
    if (data == nullptr || out == nullptr) {
        return false;
    }
    PngJob job;
    if (job.info == nullptr) {
        return false;
    }
    PngSource source{data, size, 0};
    if (!runPng(job, source, limits)) {
        return false;
    }
    out->width = job.width;
    out->height = job.height;
    out->bytesPerPixel = job.bytesPerPixel;
    out->pixels.reset(job.pixels);
    job.pixels = nullptr;
    return true;
}

bool decodeJpeg(const uint8_t* data, size_t size, const PictureLimits& limits,
                DecodedPicture* out) {
    if (data == nullptr || size == 0 || out == nullptr) {
        return false;
    }
    JpegJob job;
    if (!runJpeg(job, data, size, limits)) {
        return false;
    }
    out->width = job.width;
    out->height = job.height;
    out->bytesPerPixel = 3;
    out->pixels.reset(job.pixels);
    job.pixels = nullptr;
    return true;
}
