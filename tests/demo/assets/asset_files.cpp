#include "tests/demo/assets/asset_files.h"

#include <FreeImage.h>
#include <GL/gl.h>
#include <vorbis/vorbisenc.h>
#include <zlib.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace fs = std::filesystem;

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "vemu-assets-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) {
        path_ = pattern;
    }
}

TempDir::~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) {
        fs::remove_all(path_, ignored);
    }
}

WorkingDirectory::WorkingDirectory(const fs::path& dir) : saved_(fs::current_path()) {
    fs::current_path(dir);
}

WorkingDirectory::~WorkingDirectory() {
    std::error_code ignored;
    fs::current_path(saved_, ignored);
}

namespace {

// FreeImage keeps rows bottom-up: scanline 0 is the picture's bottom row.
uint8_t* rowFromTop(FIBITMAP* dib, int height, int y) {
    return FreeImage_GetScanLine(dib, height - 1 - y);
}

bool save(FIBITMAP* dib, FREE_IMAGE_FORMAT format, const std::string& path, int flags) {
    const bool saved = FreeImage_Save(format, dib, path.c_str(), flags) != 0;
    FreeImage_Unload(dib);
    return saved;
}

void put16(std::vector<uint8_t>& out, unsigned value) {
    out.push_back(static_cast<uint8_t>(value & 0xff));
    out.push_back(static_cast<uint8_t>((value >> 8) & 0xff));
}
void put32(std::vector<uint8_t>& out, uint32_t value) {
    put16(out, value & 0xffff);
    put16(out, value >> 16);
}
void putBig32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<uint8_t>((value >> shift) & 0xff));
    }
}

void pngChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
    putBig32(out, static_cast<uint32_t>(data.size()));
    std::vector<uint8_t> typed(type, type + 4);
    typed.insert(typed.end(), data.begin(), data.end());
    out.insert(out.end(), typed.begin(), typed.end());
    putBig32(out, static_cast<uint32_t>(crc32(0L, typed.data(), static_cast<uInt>(typed.size()))));
}

void putText(std::vector<uint8_t>& out, const char* text) {
    out.insert(out.end(), text, text + std::strlen(text));
}

bool writeSamplesWav(const std::string& path, const std::vector<int16_t>& samples, int rate) {
    std::vector<uint8_t> out;
    const uint32_t dataSize = static_cast<uint32_t>(samples.size() * 2);
    putText(out, "RIFF");
    put32(out, 36 + dataSize);
    putText(out, "WAVEfmt ");
    put32(out, 16);
    put16(out, 1); // PCM
    put16(out, 1); // mono
    put32(out, static_cast<uint32_t>(rate));
    put32(out, static_cast<uint32_t>(rate * 2));
    put16(out, 2);
    put16(out, 16);
    putText(out, "data");
    put32(out, dataSize);
    for (int16_t s : samples) {
        put16(out, static_cast<uint16_t>(s));
    }
    return writeBytes(path, out);
}

std::vector<float> tone(float seconds, int rate) {
    std::vector<float> samples(static_cast<size_t>(seconds * static_cast<float>(rate)));
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = 0.5f * std::sin(2.0f * 3.14159265f * 440.0f * static_cast<float>(i) /
                                     static_cast<float>(rate));
    }
    return samples;
}

} // namespace

bool writePicture(const std::string& path, int width, int height, int bpp, SaveAs format,
                  const PixelFn& pixel) {
    FIBITMAP* dib = FreeImage_Allocate(width, height, bpp);
    if (dib == nullptr) {
        return false;
    }
    const int bytes = bpp / 8;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = rowFromTop(dib, height, y);
        for (int x = 0; x < width; ++x) {
            const Rgba c = pixel(x, y);
            uint8_t* p = row + x * bytes;
            p[FI_RGBA_RED] = c.r;
            p[FI_RGBA_GREEN] = c.g;
            p[FI_RGBA_BLUE] = c.b;
            if (bytes == 4) {
                p[FI_RGBA_ALPHA] = c.a;
            }
        }
    }
    switch (format) {
    case SaveAs::Bmp:
        return save(dib, FIF_BMP, path, 0);
    case SaveAs::Png:
        return save(dib, FIF_PNG, path, 0);
    case SaveAs::Jpeg:
        return save(dib, FIF_JPEG, path, JPEG_QUALITYSUPERB | JPEG_SUBSAMPLING_444);
    case SaveAs::Tga:
        return save(dib, FIF_TARGA, path, 0);
    }
    FreeImage_Unload(dib);
    return false;
}

bool writePalettePng(const std::string& path, int width, int height, const PixelFn& pixel) {
    FIBITMAP* dib = FreeImage_Allocate(width, height, 8);
    if (dib == nullptr) {
        return false;
    }
    // Palette entries in order of first use; entry 1 is made transparent.
    RGBQUAD* palette = FreeImage_GetPalette(dib);
    int used = 0;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = rowFromTop(dib, height, y);
        for (int x = 0; x < width; ++x) {
            const Rgba c = pixel(x, y);
            int index = 0;
            while (index < used &&
                   !(palette[index].rgbRed == c.r && palette[index].rgbGreen == c.g &&
                     palette[index].rgbBlue == c.b)) {
                ++index;
            }
            if (index == used && used < 256) {
                palette[used].rgbRed = c.r;
                palette[used].rgbGreen = c.g;
                palette[used].rgbBlue = c.b;
                ++used;
            }
            row[x] = static_cast<uint8_t>(index);
        }
    }
    BYTE table[256];
    std::memset(table, 255, sizeof table);
    table[1] = 0;
    FreeImage_SetTransparencyTable(dib, table, 256);
    return save(dib, FIF_PNG, path, 0);
}

bool writeGreyPng(const std::string& path, int width, int height, const PixelFn& pixel) {
    FIBITMAP* dib = FreeImage_Allocate(width, height, 8);
    if (dib == nullptr) {
        return false;
    }
    RGBQUAD* palette = FreeImage_GetPalette(dib);
    for (int i = 0; i < 256; ++i) {
        palette[i].rgbRed = palette[i].rgbGreen = palette[i].rgbBlue = static_cast<BYTE>(i);
    }
    for (int y = 0; y < height; ++y) {
        uint8_t* row = rowFromTop(dib, height, y);
        for (int x = 0; x < width; ++x) {
            row[x] = pixel(x, y).r;
        }
    }
    return save(dib, FIF_PNG, path, 0);
}

bool writeDeepPng(const std::string& path, int width, int height, Deep kind, const PixelFn& pixel) {
    const FREE_IMAGE_TYPE type = kind == Deep::Rgb    ? FIT_RGB16
                                 : kind == Deep::Rgba ? FIT_RGBA16
                                                      : FIT_UINT16;
    FIBITMAP* dib = FreeImage_AllocateT(type, width, height);
    if (dib == nullptr) {
        return false;
    }
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<uint16_t*>(rowFromTop(dib, height, y));
        for (int x = 0; x < width; ++x) {
            const Rgba c = pixel(x, y);
            if (kind == Deep::Grey) {
                row[x] = static_cast<uint16_t>(c.r * 257);
                continue;
            }
            const int channels = kind == Deep::Rgba ? 4 : 3;
            uint16_t* p = row + x * channels; // FIRGB16: red, green, blue (alpha)
            p[0] = static_cast<uint16_t>(c.r * 257);
            p[1] = static_cast<uint16_t>(c.g * 257);
            p[2] = static_cast<uint16_t>(c.b * 257);
            if (channels == 4) {
                p[3] = static_cast<uint16_t>(c.a * 257);
            }
        }
    }
    return save(dib, FIF_PNG, path, 0);
}

bool writeMonoPng(const std::string& path, int width, int height, const PixelFn& pixel) {
    FIBITMAP* dib = FreeImage_Allocate(width, height, 1);
    if (dib == nullptr) {
        return false;
    }
    RGBQUAD* palette = FreeImage_GetPalette(dib);
    palette[0] = RGBQUAD{0, 0, 0, 0};
    palette[1] = RGBQUAD{255, 255, 255, 0};
    for (int y = 0; y < height; ++y) {
        uint8_t* row = rowFromTop(dib, height, y);
        for (int x = 0; x < width; ++x) {
            if (pixel(x, y).r >= 128) {
                row[x / 8] = static_cast<uint8_t>(row[x / 8] | (0x80 >> (x % 8)));
            }
        }
    }
    return save(dib, FIF_PNG, path, 0);
}

bool writePcx(const std::string& path, int width, int height, const PixelFn& pixel) {
    std::vector<uint8_t> out;
    const int bytesPerLine = (width + 1) / 2 * 2; // even, as the format wants
    out.push_back(0x0a);                          // manufacturer
    out.push_back(5);                             // version
    out.push_back(1);                             // run-length coded
    out.push_back(8);                             // bits per pixel and plane
    put16(out, 0);
    put16(out, 0);
    put16(out, static_cast<unsigned>(width - 1));
    put16(out, static_cast<unsigned>(height - 1));
    put16(out, 72);
    put16(out, 72);
    out.resize(out.size() + 48, 0); // 16-colour palette, unused
    out.push_back(0);               // reserved
    out.push_back(3);               // planes: red, green, blue
    put16(out, static_cast<unsigned>(bytesPerLine));
    put16(out, 1); // colour
    put16(out, 0);
    put16(out, 0);
    out.resize(128, 0);
    // Top row first; each byte as a run of one, which is always valid.
    for (int y = 0; y < height; ++y) {
        for (int plane = 0; plane < 3; ++plane) {
            for (int x = 0; x < bytesPerLine; ++x) {
                const Rgba c = x < width ? pixel(x, y) : Rgba{};
                const uint8_t value = plane == 0 ? c.r : plane == 1 ? c.g : c.b;
                out.push_back(0xc1);
                out.push_back(value);
            }
        }
    }
    return writeBytes(path, out);
}

bool writeDds(const std::string& path, int width, int height, const PixelFn& pixel) {
    std::vector<uint8_t> out;
    putText(out, "DDS ");
    put32(out, 124);                            // header size
    put32(out, 0x1 | 0x2 | 0x4 | 0x8 | 0x1000); // caps, height, width, pitch, pixel format
    put32(out, static_cast<uint32_t>(height));
    put32(out, static_cast<uint32_t>(width));
    put32(out, static_cast<uint32_t>(width * 4)); // pitch
    put32(out, 0);                                // depth
    put32(out, 0);                                // mipmap count
    for (int i = 0; i < 11; ++i) {
        put32(out, 0);
    }
    put32(out, 32);          // pixel format size
    put32(out, 0x40 | 0x1);  // RGB with alpha
    put32(out, 0);           // no FourCC
    put32(out, 32);          // bits per pixel
    put32(out, 0x00ff0000u); // red mask
    put32(out, 0x0000ff00u); // green
    put32(out, 0x000000ffu); // blue
    put32(out, 0xff000000u); // alpha
    put32(out, 0x1000);      // caps: texture
    for (int i = 0; i < 4; ++i) {
        put32(out, 0);
    }
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Rgba c = pixel(x, y);
            out.push_back(c.b);
            out.push_back(c.g);
            out.push_back(c.r);
            out.push_back(c.a);
        }
    }
    return writeBytes(path, out);
}

bool writeHugePng(const std::string& path, uint32_t width, uint32_t height) {
    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    std::vector<uint8_t> header;
    putBig32(header, width);
    putBig32(header, height);
    header.insert(header.end(), {8, 2, 0, 0, 0}); // 8-bit RGB, no interlace
    pngChunk(out, "IHDR", header);
    pngChunk(out, "IDAT", {0x78, 0x9c, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01});
    pngChunk(out, "IEND", {});
    return writeBytes(path, out);
}

bool writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}

std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
}

bool writeOggTone(const std::string& path, float seconds) {
    constexpr int kRate = 32000;
    const std::vector<float> samples = tone(seconds, kRate);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    vorbis_info info;
    vorbis_info_init(&info);
    if (vorbis_encode_init_vbr(&info, 1, kRate, 0.3f) != 0) {
        vorbis_info_clear(&info);
        std::fclose(file);
        return false;
    }
    vorbis_comment comment;
    vorbis_comment_init(&comment);
    vorbis_dsp_state dsp;
    vorbis_analysis_init(&dsp, &info);
    vorbis_block block;
    vorbis_block_init(&dsp, &block);
    ogg_stream_state stream;
    ogg_stream_init(&stream, 1);

    ogg_packet id, comm, code;
    vorbis_analysis_headerout(&dsp, &comment, &id, &comm, &code);
    ogg_stream_packetin(&stream, &id);
    ogg_stream_packetin(&stream, &comm);
    ogg_stream_packetin(&stream, &code);
    ogg_page page;
    while (ogg_stream_flush(&stream, &page) != 0) {
        std::fwrite(page.header, 1, static_cast<size_t>(page.header_len), file);
        std::fwrite(page.body, 1, static_cast<size_t>(page.body_len), file);
    }

    size_t done = 0;
    bool ended = false;
    while (!ended) {
        const size_t chunk = std::min<size_t>(1024, samples.size() - done);
        if (chunk == 0) {
            vorbis_analysis_wrote(&dsp, 0);
        } else {
            float** buffer = vorbis_analysis_buffer(&dsp, static_cast<int>(chunk));
            std::memcpy(buffer[0], samples.data() + done, chunk * sizeof(float));
            vorbis_analysis_wrote(&dsp, static_cast<int>(chunk));
            done += chunk;
        }
        while (vorbis_analysis_blockout(&dsp, &block) == 1) {
            vorbis_analysis(&block, nullptr);
            vorbis_bitrate_addblock(&block);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&dsp, &packet) != 0) {
                ogg_stream_packetin(&stream, &packet);
                while (ogg_stream_pageout(&stream, &page) != 0) {
                    std::fwrite(page.header, 1, static_cast<size_t>(page.header_len), file);
                    std::fwrite(page.body, 1, static_cast<size_t>(page.body_len), file);
                    if (ogg_page_eos(&page) != 0) {
                        ended = true;
                    }
                }
            }
        }
        if (chunk == 0) {
            ended = true;
        }
    }
    while (ogg_stream_flush(&stream, &page) != 0) {
        std::fwrite(page.header, 1, static_cast<size_t>(page.header_len), file);
        std::fwrite(page.body, 1, static_cast<size_t>(page.body_len), file);
    }
    ogg_stream_clear(&stream);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    return std::fclose(file) == 0;
}

bool writeWavTone(const std::string& path, float seconds) {
    constexpr int kRate = 22050;
    std::vector<int16_t> pcm;
    for (float s : tone(seconds, kRate)) {
        pcm.push_back(static_cast<int16_t>(s * 32767.0f));
    }
    return writeSamplesWav(path, pcm, kRate);
}

std::vector<Rgba> readBoundTexture(int* width, int* height) {
    GLint w = 0, h = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
    *width = w;
    *height = h;
    std::vector<Rgba> texels(static_cast<size_t>(w) * static_cast<size_t>(h));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    return texels;
}

PixelFn twoBands(int height, Rgba top, Rgba bottom) {
    return [=](int, int y) { return y < height / 2 ? top : bottom; };
}

bool nearColour(const Rgba& got, const Rgba& want, int tol) {
    return std::abs(got.r - want.r) <= tol && std::abs(got.g - want.g) <= tol &&
           std::abs(got.b - want.b) <= tol && std::abs(got.a - want.a) <= tol;
}

std::string describe(const Rgba& c) {
    char text[48];
    std::snprintf(text, sizeof text, "(%d, %d, %d, %d)", c.r, c.g, c.b, c.a);
    return text;
}
