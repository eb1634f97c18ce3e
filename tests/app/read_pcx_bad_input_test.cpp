// ReadPCX against broken and odd files: all of PngSuite and bit-flipped
// copies of it, bit-flipped PNGs of every depth FreeImage writes, cuts at
// every header length, empty files and folders, under rectangles that
// stretch, shrink and clip. Nothing may crash or draw outside the surface
// (each row is followed by padding pixels that must stay untouched).
#include "app/app.h"

#include <FreeImage.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/support/testdata.h"
#include <climits>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kBlank = 0x0badf00du;
constexpr int32_t kPadding = 2;

struct GuardedSurface {
    int32_t width, height;
    std::vector<uint32_t> pixels;
    GuardedSurface(int32_t w, int32_t h)
        : width(w), height(h), pixels(size_t(h) * size_t(w + kPadding), kBlank) {}
    AppSurface app() { return AppSurface{pixels.data(), width, height, (width + kPadding) * 4}; }
    bool paddingUntouched() const {
        for (int32_t y = 0; y < height; ++y) {
            for (int32_t x = width; x < width + kPadding; ++x) {
                if (pixels[size_t(y) * size_t(width + kPadding) + size_t(x)] != kBlank) {
                    return false;
                }
            }
        }
        return true;
    }
};

struct Rect {
    int32_t w, h, x, y;
};
// Same size, stretched, shrunk, clipped on every side, and extremes.
const Rect kRects[] = {{16, 12, 0, 0},
                       {40, 3, -7, 5},
                       {5, 30, 13, -9},
                       {1, 1, 15, 11},
                       {INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN},
                       {INT32_MAX, 7, -3, 0},
                       {-5, 10, 0, 0},
                       {0, 0, 0, 0}};

// Draws the file through every rectangle; true when nothing escaped.
bool drawsCleanly(const std::string& path) {
    for (const Rect& r : kRects) {
        GuardedSurface surface(16, 12);
        AppSurface app = surface.app();
        ReadPCX(path.c_str(), &app, r.w, r.h, r.x, r.y);
        if (!surface.paddingUntouched()) {
            ADD_FAILURE() << path << " drew outside the surface at " << r.w << "x" << r.h << "+"
                          << r.x << "+" << r.y;
            return false;
        }
    }
    return true;
}

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// 1 to 8 bits flipped or bytes set to edge values; even seeds hit only the
// first 64 bytes (signature, header chunk, palette).
std::vector<uint8_t> mutate(std::vector<uint8_t> bytes, uint32_t seed) {
    std::mt19937 random(seed);
    const size_t span = seed % 2 == 0 ? std::min<size_t>(64, bytes.size()) : bytes.size();
    const uint32_t changes = 1 + random() % 8;
    for (uint32_t i = 0; i < changes && span > 0; ++i) {
        const size_t at = random() % span;
        const uint32_t how = random() % 12;
        constexpr uint8_t kEdges[] = {0x00, 0x7f, 0x80, 0xff};
        bytes[at] = how < 8 ? uint8_t(bytes[at] ^ (1u << how)) : kEdges[how - 8];
    }
    return bytes;
}

class ReadPcxBadInput : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("app_bad_" + std::to_string(::getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string file(const std::string& name) const { return (dir_ / name).string(); }

    // A 13 x 9 PNG of the given depth, its pixels from their coordinates.
    std::string writePng(int bpp, int flags) {
        FIBITMAP* dib = FreeImage_Allocate(13, 9, bpp);
        if (bpp <= 8) {
            RGBQUAD* palette = FreeImage_GetPalette(dib);
            for (unsigned i = 0; i < (1u << bpp); ++i) {
                palette[i] = RGBQUAD{BYTE(i * 7), BYTE(255 - i), BYTE(i * 3), 0};
            }
        }
        for (unsigned y = 0; y < 9; ++y) {
            for (unsigned x = 0; x < 13; ++x) {
                if (bpp <= 8) {
                    BYTE index = BYTE((x + y) % (1u << bpp));
                    FreeImage_SetPixelIndex(dib, x, y, &index);
                } else {
                    RGBQUAD colour{BYTE(x * 19), BYTE(y * 27), BYTE(x * y), BYTE(x * 20)};
                    FreeImage_SetPixelColor(dib, x, y, &colour);
                }
            }
        }
        const std::string path =
            file("sample" + std::to_string(bpp) + "_" + std::to_string(flags) + ".png");
        EXPECT_TRUE(FreeImage_Save(FIF_PNG, dib, path.c_str(), flags));
        FreeImage_Unload(dib);
        return path;
    }

    fs::path dir_;
};

TEST_F(ReadPcxBadInput, BitFlippedPngsOfEveryDepthDrawOrAreRefusedInsideTheSurface) {
    for (int bpp : {1, 4, 8, 24, 32}) {
        for (int flags : {0, PNG_INTERLACED}) {
            const std::string sample = writePng(bpp, flags);
            SCOPED_TRACE(sample);
            GuardedSurface check(16, 12);
            AppSurface app = check.app();
            ASSERT_EQ(ReadPCX(sample.c_str(), &app, 16, 12, 0, 0), 1) << "the sample draws";
            const std::vector<uint8_t> valid = readFile(sample);
            for (uint32_t seed = 0; seed < 60; ++seed) {
                const std::string path = file("mutant.png");
                writeFile(path, mutate(valid, seed * 7919u + uint32_t(bpp)));
                EXPECT_TRUE(drawsCleanly(path)) << "seed " << seed;
            }
        }
    }
}

TEST_F(ReadPcxBadInput, CutsEmptyFilesFoldersAndOtherFormatsDrawNothing) {
    const std::vector<uint8_t> valid = readFile(writePng(24, 0));
    for (size_t keep = 0; keep < valid.size(); ++keep) {
        const std::string path = file("cut.png");
        writeFile(path, std::vector<uint8_t>(valid.begin(), valid.begin() + long(keep)));
        GuardedSurface surface(16, 12);
        AppSurface app = surface.app();
        // libpng may draw what arrived of a cut file; never outside it.
        ReadPCX(path.c_str(), &app, 16, 12, 0, 0);
        EXPECT_TRUE(surface.paddingUntouched()) << keep;
    }
    fs::create_directories(dir_ / "folder.png");
    for (const std::string& path : {file("folder.png"), file("missing.png"), std::string(""),
                                    std::string("/"), std::string("/dev/null")}) {
        GuardedSurface surface(16, 12);
        AppSurface app = surface.app();
        EXPECT_EQ(ReadPCX(path.c_str(), &app, 16, 12, 0, 0), 0) << path;
    }
    // A picture of every other format under a .png name: PNG only.
    FIBITMAP* dib = FreeImage_Allocate(8, 8, 24);
    for (FREE_IMAGE_FORMAT format : {FIF_BMP, FIF_JPEG, FIF_TARGA, FIF_TIFF, FIF_PPM}) {
        const std::string path = file("other.png");
        ASSERT_TRUE(FreeImage_Save(format, dib, path.c_str(), 0)) << format;
        GuardedSurface surface(16, 12);
        AppSurface app = surface.app();
        EXPECT_EQ(ReadPCX(path.c_str(), &app, 16, 12, 0, 0), 0) << format;
    }
    FreeImage_Unload(dib);
}

// All of PngSuite, whole and with bits flipped.
TEST_F(ReadPcxBadInput, EveryPngSuiteFileWholeAndFlippedStaysInsideTheSurface) {
    const fs::path suite = fs::path(VEMU_TESTDATA_DIR) / "pngsuite";
    VEMU_REQUIRE_TESTDATA(suite);
    int files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(suite)) {
        if (entry.path().extension() != ".png") {
            continue;
        }
        ++files;
        EXPECT_TRUE(drawsCleanly(entry.path().string()));
        const std::vector<uint8_t> valid = readFile(entry.path().string());
        for (uint32_t seed = 0; seed < 4; ++seed) {
            const std::string path = file("flipped.png");
            writeFile(path, mutate(valid, seed + 100u * uint32_t(files)));
            EXPECT_TRUE(drawsCleanly(path)) << entry.path() << " seed " << seed;
        }
    }
    EXPECT_GT(files, 150);
}

} // namespace
