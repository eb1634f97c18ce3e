#include "tests/demo/assets/bad_files.h"

#include <FreeImage.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <initializer_list>
#include <iterator>
#include <random>

#include "tests/demo/assets/asset_files.h"

namespace {

constexpr int kW = 24, kH = 17;

Rgba pattern(int x, int y) {
    return Rgba{static_cast<uint8_t>(x * 10), static_cast<uint8_t>(y * 15),
                static_cast<uint8_t>((x * y) & 0xff), static_cast<uint8_t>(x < kW / 2 ? 255 : 90)};
}

// Through FreeImage with save flags asset_files.h has no name for.
bool saveWithFlags(const std::string& path, FREE_IMAGE_FORMAT format, int bpp, int flags) {
    FIBITMAP* dib = FreeImage_Allocate(kW, kH, bpp);
    if (dib == nullptr) {
        return false;
    }
    if (bpp == 8) {
        RGBQUAD* palette = FreeImage_GetPalette(dib);
        for (int i = 0; i < 256; ++i) {
            palette[i] = RGBQUAD{static_cast<BYTE>(i), static_cast<BYTE>(255 - i),
                                 static_cast<BYTE>(i / 2), 0};
        }
    }
    for (int y = 0; y < kH; ++y) {
        BYTE* row = FreeImage_GetScanLine(dib, kH - 1 - y);
        for (int x = 0; x < kW; ++x) {
            const Rgba c = pattern(x, y);
            if (bpp == 8) {
                row[x] = static_cast<BYTE>(x / 4 * 16 + y / 4); // runs, for RLE
                continue;
            }
            BYTE* p = row + x * bpp / 8;
            p[FI_RGBA_RED] = c.r;
            p[FI_RGBA_GREEN] = c.g;
            p[FI_RGBA_BLUE] = c.b;
            if (bpp == 32) {
                p[FI_RGBA_ALPHA] = c.a;
            }
        }
    }
    const bool saved = FreeImage_Save(format, dib, path.c_str(), flags) != 0;
    FreeImage_Unload(dib);
    return saved;
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
}

// DXT1: 4 x 4 blocks of two RGB565 colours and 2-bit indices.
bool writeDxt1(const std::string& path) {
    std::vector<uint8_t> out = {'D', 'D', 'S', ' '};
    const uint32_t blocks = ((kW + 3) / 4) * ((kH + 3) / 4);
    put32(out, 124);
    put32(out, 0x1 | 0x2 | 0x4 | 0x1000 | 0x80000); // caps, height, width, format, linear size
    put32(out, kH);
    put32(out, kW);
    put32(out, blocks * 8);
    for (int i = 0; i < 13; ++i) {
        put32(out, 0); // depth, mipmaps, reserved
    }
    put32(out, 32);
    put32(out, 0x4); // FourCC
    out.insert(out.end(), {'D', 'X', 'T', '1'});
    for (int i = 0; i < 5; ++i) {
        put32(out, 0);
    }
    put32(out, 0x1000);
    for (int i = 0; i < 4; ++i) {
        put32(out, 0);
    }
    for (uint32_t b = 0; b < blocks; ++b) {
        out.insert(out.end(), {0x00, 0xf8, 0x1f, 0x00}); // red, blue
        put32(out, 0x1b1b1b1bu * (b % 3 + 1));
    }
    return writeBytes(path, out);
}

// 8-bit RLE by hand: FreeImage writes an end-of-line code after the last
// row, which its own reader then refuses.
bool writeBmpRle8(const std::string& path) {
    std::vector<uint8_t> data;
    for (int y = 0; y < kH; ++y) {
        for (int x = 0; x < kW; x += 8) {
            data.insert(data.end(), {8, static_cast<uint8_t>(x + y)}); // a run of 8
        }
        data.insert(data.end(), {0, static_cast<uint8_t>(y + 1 < kH ? 0 : 1)}); // line, bitmap end
    }
    const uint32_t offset = 14 + 40 + 256 * 4;
    std::vector<uint8_t> out = {'B', 'M'};
    put32(out, offset + static_cast<uint32_t>(data.size()));
    put32(out, 0);
    put32(out, offset);
    put32(out, 40);
    put32(out, kW);
    put32(out, kH);
    out.insert(out.end(), {1, 0, 8, 0}); // planes, bits per pixel
    put32(out, 1);                       // RLE8
    put32(out, static_cast<uint32_t>(data.size()));
    put32(out, 2835);
    put32(out, 2835);
    put32(out, 256);
    put32(out, 0);
    for (int i = 0; i < 256; ++i) {
        out.insert(out.end(), {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i),
                               static_cast<uint8_t>(i / 2), 0});
    }
    out.insert(out.end(), data.begin(), data.end());
    return writeBytes(path, out);
}

void setLe(std::vector<uint8_t>& b, size_t at, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
}
void setBe(std::vector<uint8_t>& b, size_t at, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        b[at + i] = static_cast<uint8_t>(v >> (8 * (bytes - 1 - i)));
    }
}

} // namespace

std::vector<SamplePicture> writeSamplePictures(const TempDir& dir) {
    std::vector<SamplePicture> samples;
    auto add = [&](const std::string& name, const std::string& extension, auto&& write) {
        const std::string path = dir.file("sample_" + name + extension);
        if (write(path)) {
            samples.push_back({name, extension, path});
        }
    };
    add("bmp24", ".bmp", [](auto& p) { return writePicture(p, kW, kH, 24, SaveAs::Bmp, pattern); });
    add("bmp8_rle", ".bmp", [](auto& p) { return writeBmpRle8(p); });
    add("png24", ".png", [](auto& p) { return writePicture(p, kW, kH, 24, SaveAs::Png, pattern); });
    add("png32", ".png", [](auto& p) { return writePicture(p, kW, kH, 32, SaveAs::Png, pattern); });
    add("png_palette", ".png", [](auto& p) { return writePalettePng(p, kW, kH, pattern); });
    add("png_grey16", ".png", [](auto& p) { return writeDeepPng(p, kW, kH, Deep::Grey, pattern); });
    add("png_interlaced", ".png",
        [](auto& p) { return saveWithFlags(p, FIF_PNG, 24, PNG_INTERLACED); });
    add("jpeg", ".jpeg",
        [](auto& p) { return writePicture(p, kW, kH, 24, SaveAs::Jpeg, pattern); });
    add("jpg_progressive", ".jpg", [](auto& p) {
        return saveWithFlags(p, FIF_JPEG, 24, JPEG_PROGRESSIVE | JPEG_QUALITYGOOD);
    });
    add("pcx24", ".pcx", [](auto& p) { return writePcx(p, kW, kH, pattern); });
    add("tga24", ".tga", [](auto& p) { return writePicture(p, kW, kH, 24, SaveAs::Tga, pattern); });
    add("tga32_rle", ".tga",
        [](auto& p) { return saveWithFlags(p, FIF_TARGA, 32, TARGA_SAVE_RLE); });
    add("dds_argb", ".dds", [](auto& p) { return writeDds(p, kW, kH, pattern); });
    add("dds_dxt1", ".dds", [](auto& p) { return writeDxt1(p); });
    return samples;
}

namespace {

// A TIFF directory as EXIF carries it: entries of tag, type, count and
// value (or offset), then the next directory's offset.
struct IfdEntry {
    uint16_t tag, type;
    uint32_t count, value;
};

std::vector<uint8_t> tiff(bool bigEndian, uint32_t ifdOffset, uint16_t declaredCount,
                          const std::vector<IfdEntry>& entries, uint32_t next) {
    std::vector<uint8_t> out;
    auto put = [&](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            const int shift = bigEndian ? 8 * (bytes - 1 - i) : 8 * i;
            out.push_back(static_cast<uint8_t>(v >> shift));
        }
    };
    const uint8_t order = bigEndian ? 'M' : 'I';
    out.push_back(order);
    out.push_back(order);
    put(42, 2);
    put(ifdOffset, 4);
    put(declaredCount, 2);
    for (const IfdEntry& e : entries) {
        put(e.tag, 2);
        put(e.type, 2);
        put(e.count, 4);
        put(e.value, 4);
    }
    put(next, 4);
    return out;
}

// The JPEG with one APP1 segment of `payload` after its SOI; `declared`
// overrides the segment's length field.
std::vector<uint8_t> withApp1(const std::vector<uint8_t>& jpeg, const std::vector<uint8_t>& payload,
                              int declared = -1) {
    const size_t length = declared >= 0 ? size_t(declared) : payload.size() + 8;
    std::vector<uint8_t> out;
    for (const uint8_t b :
         {uint8_t{0xff}, uint8_t{0xd8}, uint8_t{0xff}, uint8_t{0xe1},
          static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length & 0xff), uint8_t{'E'},
          uint8_t{'x'}, uint8_t{'i'}, uint8_t{'f'}, uint8_t{0}, uint8_t{0}}) {
        out.push_back(b);
    }
    for (const uint8_t b : payload) {
        out.push_back(b);
    }
    for (size_t i = 2; i < jpeg.size(); ++i) {
        out.push_back(jpeg[i]);
    }
    return out;
}

std::vector<uint8_t> pngChunk(const char* type, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> out(12 + data.size());
    setBe(out, 0, static_cast<uint32_t>(data.size()), 4);
    for (size_t i = 0; i < 4; ++i) {
        out[4 + i] = static_cast<uint8_t>(type[i]);
    }
    for (size_t i = 0; i < data.size(); ++i) {
        out[8 + i] = data[i];
    }
    setBe(out, 8 + data.size(),
          static_cast<uint32_t>(crc32(0L, out.data() + 4, static_cast<uInt>(4 + data.size()))), 4);
    return out;
}

// A zlib stream of one stored (uncompressed) block, as PNG's compressed
// chunks carry it.
std::vector<uint8_t> zlibStored(const std::vector<uint8_t>& data) {
    const auto n = static_cast<uint16_t>(data.size());
    std::vector<uint8_t> out = {0x78,
                                0x01,
                                0x01,
                                uint8_t(n & 0xff),
                                uint8_t(n >> 8),
                                uint8_t(~n & 0xff),
                                uint8_t((~n >> 8) & 0xff)};
    out.insert(out.end(), data.begin(), data.end());
    uint32_t a = 1, b = 0;
    for (const uint8_t byte : data) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    out.resize(out.size() + 4);
    setBe(out, out.size() - 4, (b << 16) | a, 4);
    return out;
}

} // namespace

std::vector<SamplePicture> writeMetadataCases(const TempDir& dir) {
    std::vector<SamplePicture> cases;
    const std::string cleanJpeg = dir.file("clean.jpg");
    const std::string cleanPng = dir.file("clean.png");
    if (!writePicture(cleanJpeg, kW, kH, 24, SaveAs::Jpeg, pattern) ||
        !writePicture(cleanPng, kW, kH, 24, SaveAs::Png, pattern)) {
        return cases;
    }
    cases.push_back({"clean", ".jpg", cleanJpeg});
    cases.push_back({"clean", ".png", cleanPng});
    const std::vector<uint8_t> jpeg = readBytes(cleanJpeg);
    auto add = [&](const std::string& name, const std::string& extension,
                   const std::vector<uint8_t>& bytes) {
        const std::string path = dir.file(name + extension);
        if (writeBytes(path, bytes)) {
            cases.push_back({name, extension, path});
        }
    };
    constexpr uint16_t kAscii = 2, kLong = 4, kRational = 5, kUndefined = 7;
    constexpr uint16_t kMake = 0x010f, kExifIfd = 0x8769, kGpsIfd = 0x8825, kInterop = 0xa005,
                       kMakerNote = 0x927c, kXResolution = 0x011a;
    for (const bool big : {false, true}) {
        const std::string order = big ? "_mm" : "_ii";
        std::vector<uint8_t> cut = tiff(big, 8, 0, {}, 0);
        cut.resize(6); // the directory offset cut in half
        add("jpeg_exif_truncated" + order, ".jpg", withApp1(jpeg, cut));
        add("jpeg_exif_ifd_past_segment" + order, ".jpg",
            withApp1(jpeg, tiff(big, 0x00100000, 0, {}, 0)));
        add("jpeg_exif_ifd_at_end" + order, ".jpg",
            withApp1(jpeg, tiff(big, 0xfffffff8, 0, {}, 0)));
        // 8 header bytes, 2 count bytes, one entry, 4 next bytes: 26 in all.
        add("jpeg_exif_ifd_at_last_byte" + order, ".jpg",
            withApp1(jpeg, tiff(big, 25, 1, {{kMake, kAscii, 4, 0x41424300}}, 0)));
        add("jpeg_exif_value_offset_wraps" + order, ".jpg",
            withApp1(jpeg, tiff(big, 8, 2,
                                {{kMake, kAscii, 0x20, 0xfffffff0},
                                 {kMakerNote, kUndefined, 0x100, 0xffffff80}},
                                0)));
        add("jpeg_exif_count_past_end" + order, ".jpg",
            withApp1(jpeg, tiff(big, 8, 0x0400, {{kMake, kAscii, 4, 0x41424300}}, 0)));
        add("jpeg_exif_values_outside" + order, ".jpg",
            withApp1(jpeg, tiff(big, 8, 5,
                                {{kMake, kAscii, 200, 0x7ffffff0},
                                 {kXResolution, kRational, 1, 0xfffffffc},
                                 {kMakerNote, kUndefined, 0x40000000, 0x20},
                                 {kExifIfd, kLong, 1, 0x0fffffff},
                                 {kGpsIfd, kLong, 1, 0xfffffff0}},
                                0)));
        add("jpeg_exif_loops" + order, ".jpg",
            withApp1(jpeg, tiff(big, 8, 2, {{kExifIfd, kLong, 1, 8}, {kInterop, kLong, 1, 8}}, 8)));
    }
    // The segment says it is longer than the rest of the file.
    add("jpeg_exif_segment_past_file", ".jpg", withApp1(jpeg, tiff(false, 8, 0, {}, 0), 0xfff0));

    // PNG chunks after the header: a text chunk without its separator, a
    // zTXt whose stream is not zlib, an iTXt cut short, and an EXIF chunk
    // whose directory lies outside it.
    const std::vector<uint8_t> png = readBytes(cleanPng);
    const size_t afterHeader = 8 + 25; // signature, IHDR
    if (png.size() > afterHeader) {
        std::vector<uint8_t> meta(png.begin(), png.begin() + afterHeader);
        for (const auto& chunk :
             {pngChunk("tEXt", {'C', 'o', 'm', 'm', 'e', 'n', 't'}),
              pngChunk("zTXt", {'T', 'i', 't', 'l', 'e', 0, 0, 0xde, 0xad, 0xbe, 0xef}),
              pngChunk("iTXt", {'X', 'M', 'L', 0, 1}),
              pngChunk("eXIf", tiff(false, 0x7fffff00, 0, {}, 0)),
              pngChunk("eXIf", tiff(true, 8, 0x0400, {{kMake, kAscii, 900, 0x10000}}, 0))}) {
            meta.insert(meta.end(), chunk.begin(), chunk.end());
        }
        meta.insert(meta.end(), png.begin() + afterHeader, png.end());
        add("png_meta_text_and_exif", ".png", meta);

        // ICC profiles stay (they are colour information): one that claims
        // more bytes than it has, one whose tag table points outside.
        for (const bool badTags : {false, true}) {
            std::vector<uint8_t> profile(132 + (badTags ? 12 : 0), 0);
            setBe(profile, 0, badTags ? uint32_t(profile.size()) : 0x7fffffffu, 4);
            std::copy_n("acsp", 4, profile.begin() + 36);
            setBe(profile, 128, badTags ? 1 : 1000, 4); // tag count
            if (badTags) {
                setBe(profile, 132, 0x72545243, 4); // 'rTRC'
                setBe(profile, 136, 0xfffffff0, 4); // offset
                setBe(profile, 140, 0x40, 4);       // size
            }
            std::vector<uint8_t> icc = {'i', 'c', 'c', 0, 0}; // name, method
            const std::vector<uint8_t> z = zlibStored(profile);
            icc.insert(icc.end(), z.begin(), z.end());
            std::vector<uint8_t> withIcc(png.begin(), png.begin() + afterHeader);
            const std::vector<uint8_t> chunk = pngChunk("iCCP", icc);
            withIcc.insert(withIcc.end(), chunk.begin(), chunk.end());
            withIcc.insert(withIcc.end(), png.begin() + afterHeader, png.end());
            add(badTags ? "png_meta_icc_tags_outside" : "png_meta_icc_size_lies", ".png", withIcc);
        }
    }
    return cases;
}

std::vector<uint8_t> targaPacketPastTheEnd() {
    std::vector<uint8_t> tga(18, 0);
    tga[2] = 10; // run-length true colour
    setLe(tga, 12, 5887, 2);
    setLe(tga, 14, 1, 2);
    tga[16] = 15;
    for (int packet = 0; packet < 46; ++packet) { // 46 x 128 = 5888 pixels
        tga.push_back(0xff);
        tga.push_back(0x1f);
        tga.push_back(0x7c);
    }
    return tga;
}

std::vector<uint8_t> mutate(std::vector<uint8_t> bytes, uint32_t seed) {
    if (bytes.empty()) {
        return bytes;
    }
    std::mt19937 random(seed);
    const bool headerOnly = seed % 2 == 0;
    const size_t span = headerOnly ? std::min<size_t>(64, bytes.size()) : bytes.size();
    const uint32_t changes = 1 + random() % 8;
    for (uint32_t i = 0; i < changes; ++i) {
        const size_t at = random() % span;
        const uint32_t how = random() % 12;
        if (how < 8) {
            bytes[at] ^= static_cast<uint8_t>(1u << how);
        } else {
            constexpr uint8_t kEdges[] = {0x00, 0x7f, 0x80, 0xff};
            bytes[at] = kEdges[how - 8];
        }
    }
    return bytes;
}

std::vector<FlippedFile> flippedPngSuite(const std::string& suite) {
    namespace fs = std::filesystem;
    std::vector<std::string> files;
    if (fs::is_directory(suite)) {
        for (const auto& entry : fs::recursive_directory_iterator(suite)) {
            if (entry.is_regular_file() && entry.path().extension() == ".png") {
                files.push_back(entry.path().string());
            }
        }
    }
    std::sort(files.begin(), files.end());
    std::vector<FlippedFile> flipped;
    uint32_t index = 0;
    for (const std::string& file : files) {
        ++index;
        const std::vector<uint8_t> valid = readBytes(file);
        for (uint32_t copy = 0; copy < 6; ++copy) {
            flipped.push_back(
                {file + " copy " + std::to_string(copy), mutate(valid, copy + 1000u * index)});
        }
    }
    return flipped;
}

bool declareSize(const std::string& extension, std::vector<uint8_t>& bytes, uint32_t width,
                 uint32_t height) {
    if (extension == ".bmp" && bytes.size() >= 26) {
        setLe(bytes, 18, width, 4);
        setLe(bytes, 22, height, 4);
        return true;
    }
    if (extension == ".png" && bytes.size() >= 33) {
        setBe(bytes, 16, width, 4);
        setBe(bytes, 20, height, 4);
        setBe(bytes, 29, static_cast<uint32_t>(crc32(0L, bytes.data() + 12, 17)),
              4); // type and data of IHDR
        return true;
    }
    if ((extension == ".jpeg" || extension == ".jpg")) {
        // The frame header: FF C0 to FF C2, length, precision, height, width.
        for (size_t i = 2; i + 9 < bytes.size(); ++i) {
            if (bytes[i] == 0xff && bytes[i + 1] >= 0xc0 && bytes[i + 1] <= 0xc2) {
                setBe(bytes, i + 5, height, 2);
                setBe(bytes, i + 7, width, 2);
                return true;
            }
        }
        return false;
    }
    if (extension == ".pcx" && bytes.size() >= 12) {
        setLe(bytes, 4, 0, 4); // xmin, ymin
        setLe(bytes, 8, width - 1, 2);
        setLe(bytes, 10, height - 1, 2);
        return true;
    }
    if (extension == ".tga" && bytes.size() >= 18) {
        setLe(bytes, 12, width, 2);
        setLe(bytes, 14, height, 2);
        return true;
    }
    if (extension == ".dds" && bytes.size() >= 20) {
        setLe(bytes, 12, height, 4);
        setLe(bytes, 16, width, 4);
        return true;
    }
    return false;
}
