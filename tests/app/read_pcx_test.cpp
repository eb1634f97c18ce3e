// ReadPCX against real PNG files written here with FreeImage: stretching,
// clipping, every pixel format a PNG decodes to, and files it must refuse.

#include "app/app.h"

#include <FreeImage.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include "tests/support/testdata.h"
#include <climits>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kUntouched = 0x12345678u;

struct Rgb {
    uint8_t r, g, b;
};

uint32_t argb(Rgb c) {
    return 0xFF000000u | (uint32_t(c.r) << 16) | (uint32_t(c.g) << 8) | c.b;
}

// A surface with a pitch wider than its rows, so row steps are exercised.
struct Surface {
    int32_t width, height, pitchPixels;
    std::vector<uint32_t> pixels;

    Surface(int32_t w, int32_t h)
        : width(w), height(h), pitchPixels(w + 3), pixels(size_t(h) * size_t(w + 3), kUntouched) {}
    AppSurface app() { return AppSurface{pixels.data(), width, height, pitchPixels * 4}; }
    uint32_t at(int32_t x, int32_t y) const { return pixels[size_t(y) * pitchPixels + size_t(x)]; }
    bool untouched() const {
        for (int32_t y = 0; y < height; ++y) {
            for (int32_t x = 0; x < width; ++x) {
                if (at(x, y) != kUntouched) {
                    return false;
                }
            }
        }
        return true;
    }
};

class ReadPcxTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string name = "app_tests_";
        name.append(std::to_string(::getpid()));
        name.append("_");
        name.append(::testing::UnitTest::GetInstance()->current_test_info()->name());
        dir_ = fs::temp_directory_path() / name;
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string file(const std::string& name) const { return (dir_ / name).string(); }

    // Saves a 24-bit picture given top row first; returns its path.
    std::string writeRgb(const std::string& name, int32_t w, int32_t h,
                         const std::vector<Rgb>& topFirst, FREE_IMAGE_FORMAT format = FIF_PNG) {
        FIBITMAP* dib = FreeImage_Allocate(w, h, 24);
        for (int32_t y = 0; y < h; ++y) {
            for (int32_t x = 0; x < w; ++x) {
                const Rgb c = topFirst[size_t(y) * w + x];
                RGBQUAD q{};
                q.rgbRed = c.r;
                q.rgbGreen = c.g;
                q.rgbBlue = c.b;
                FreeImage_SetPixelColor(dib, x, h - 1 - y, &q); // FreeImage rows are bottom-up
            }
        }
        const std::string path = file(name);
        EXPECT_TRUE(FreeImage_Save(format, dib, path.c_str(), 0));
        FreeImage_Unload(dib);
        return path;
    }

    fs::path dir_;
};

// A picture whose every pixel has its own colour, from its coordinates.
Rgb colourAt(int32_t x, int32_t y) {
    return Rgb{uint8_t(20 + 30 * x), uint8_t(40 + 50 * y), uint8_t(7 * (x + y) + 1)};
}

std::vector<Rgb> gradient(int32_t w, int32_t h) {
    std::vector<Rgb> pixels;
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            pixels.push_back(colourAt(x, y));
        }
    }
    return pixels;
}

// Nearest neighbour sampled at destination pixel centres.
int32_t sourceOf(int32_t offset, int32_t destSize, int32_t srcSize) {
    return int32_t((2 * int64_t(offset) + 1) * srcSize / (2 * int64_t(destSize)));
}

// Checks the whole surface: the rectangle holds the stretched picture, the
// rest is untouched.
void expectStretched(const Surface& s, int32_t x0, int32_t y0, int32_t w, int32_t h, int32_t srcW,
                     int32_t srcH) {
    int failures = 0;
    for (int32_t y = 0; y < s.height && failures < 5; ++y) {
        for (int32_t x = 0; x < s.width && failures < 5; ++x) {
            const bool inside = x >= x0 && y >= y0 && x < x0 + w && y < y0 + h;
            const uint32_t expected =
                inside ? argb(colourAt(sourceOf(x - x0, w, srcW), sourceOf(y - y0, h, srcH)))
                       : kUntouched;
            if (s.at(x, y) != expected) {
                ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << std::hex << s.at(x, y)
                              << ", expected " << expected;
                ++failures;
            }
        }
    }
}

TEST_F(ReadPcxTest, StretchesTheWholePictureOntoTheRectangle) {
    const std::string path = writeRgb("grad.png", 4, 3, gradient(4, 3));
    struct Case {
        const char* what;
        int32_t x, y, w, h;
    } cases[] = {
        {"one to one", 2, 3, 4, 3},         {"up by two", 1, 1, 8, 6},
        {"up by odd factors", 0, 0, 13, 7}, {"down", 5, 4, 2, 2},
        {"other aspect", 3, 2, 12, 3},      {"single pixel", 7, 7, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Surface s(20, 16);
        AppSurface surface = s.app();
        ReadPCX(path.c_str(), &surface, c.w, c.h, c.x, c.y);
        expectStretched(s, c.x, c.y, c.w, c.h, 4, 3);
    }
}

TEST_F(ReadPcxTest, OneToOneCopiesPixelForPixelUpright) {
    const std::string path = writeRgb("grad.png", 5, 4, gradient(5, 4));
    Surface s(5, 4);
    AppSurface surface = s.app();
    ReadPCX(path.c_str(), &surface, 5, 4, 0, 0);
    for (int32_t y = 0; y < 4; ++y) {
        for (int32_t x = 0; x < 5; ++x) {
            EXPECT_EQ(s.at(x, y), argb(colourAt(x, y))) << x << "," << y;
        }
    }
}

TEST_F(ReadPcxTest, ShrinkingALargePictureSamplesEveryOtherPixel) {
    // Rows of 30 pixels at 24 bits need padding to 92 bytes.
    const std::string path = writeRgb("wide.png", 30, 7, gradient(30, 7));
    Surface s(16, 8);
    AppSurface surface = s.app();
    ReadPCX(path.c_str(), &surface, 15, 7, 0, 1);
    // Rows keep their order, columns 1, 3, 5, ... of the picture.
    EXPECT_EQ(s.at(0, 1), argb(colourAt(1, 0)));
    EXPECT_EQ(s.at(14, 7), argb(colourAt(29, 6)));
    EXPECT_EQ(s.at(15, 7), kUntouched);
    EXPECT_EQ(s.at(0, 0), kUntouched);
}

TEST_F(ReadPcxTest, ClipsAtEveryEdgeOfTheSurface) {
    const std::string path = writeRgb("grad.png", 4, 3, gradient(4, 3));
    struct Case {
        const char* what;
        int32_t x, y, w, h;
    } cases[] = {
        {"negative left and top", -3, -2, 8, 6},
        {"beyond right and bottom", 16, 13, 8, 6},
        {"larger than the surface", -5, -7, 40, 30},
        {"wholly left", -9, 2, 8, 6},
        {"wholly below", 2, 16, 8, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Surface s(20, 16);
        AppSurface surface = s.app();
        ReadPCX(path.c_str(), &surface, c.w, c.h, c.x, c.y);
        expectStretched(s, c.x, c.y, c.w, c.h, 4, 3);
    }
}

TEST_F(ReadPcxTest, ExtremeRectanglesDrawOnlyWhatLiesOnTheSurface) {
    const std::string path = writeRgb("grad.png", 4, 3, gradient(4, 3));
    {
        Surface s(8, 8);
        AppSurface surface = s.app();
        ReadPCX(path.c_str(), &surface, INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN);
        EXPECT_TRUE(s.untouched()); // the rectangle ends before the surface begins
    }
    {
        Surface s(8, 8);
        AppSurface surface = s.app();
        ReadPCX(path.c_str(), &surface, INT32_MAX, INT32_MAX, 0, 0);
        EXPECT_EQ(s.at(7, 7), argb(colourAt(0, 0))); // the first pixel covers the surface
    }
    for (int32_t size : {0, -4}) {
        Surface s(8, 8);
        AppSurface surface = s.app();
        ReadPCX(path.c_str(), &surface, size, 4, 1, 1);
        ReadPCX(path.c_str(), &surface, 4, size, 1, 1);
        EXPECT_TRUE(s.untouched());
    }
}

// A pitch that cannot hold a row: negative (which wrote before the buffer
// and crashed), none, or a pixel short (which wrote past pitch x height).
TEST_F(ReadPcxTest, RefusesASurfaceWhosePitchCannotHoldARow) {
    const std::string path = writeRgb("grad.png", 4, 3, gradient(4, 3));
    for (const int32_t pitch : {-8 * 4, 0, 7 * 4}) {
        SCOPED_TRACE(pitch);
        Surface s(8, 8);
        AppSurface surface = s.app();
        surface.pitch = pitch;
        EXPECT_EQ(ReadPCX(path.c_str(), &surface, 8, 8, 0, 0), 0);
        EXPECT_TRUE(s.untouched());
    }
}

// Pixel formats: the picture's colours arrive, opaque, whatever the PNG holds.
TEST_F(ReadPcxTest, DrawsPaletteGreyTrueColourAndAlphaPictures) {
    const Rgb palette[4] = {{255, 0, 0}, {0, 128, 255}, {10, 200, 30}, {250, 250, 250}};
    auto writeIndexed = [&](const std::string& name, unsigned bpp) {
        FIBITMAP* dib = FreeImage_Allocate(3, 2, int(bpp));
        RGBQUAD* table = FreeImage_GetPalette(dib);
        const unsigned count = 1u << bpp;
        for (unsigned i = 0; i < count && i < 4; ++i) {
            table[i].rgbRed = palette[i].r;
            table[i].rgbGreen = palette[i].g;
            table[i].rgbBlue = palette[i].b;
        }
        // Top row indices 0 1 0, bottom row 1 0 1 (1-bit) or 3 2 1 (others).
        const BYTE top[3] = {0, 1, 0};
        const BYTE bottom[3] = {BYTE(bpp == 1 ? 1 : 3), BYTE(bpp == 1 ? 0 : 2), 1};
        for (unsigned x = 0; x < 3; ++x) {
            BYTE index = top[x];
            FreeImage_SetPixelIndex(dib, x, 1, &index);
            index = bottom[x];
            FreeImage_SetPixelIndex(dib, x, 0, &index);
        }
        const std::string path = file(name);
        EXPECT_TRUE(FreeImage_Save(FIF_PNG, dib, path.c_str(), 0));
        FreeImage_Unload(dib);
        return path;
    };
    for (unsigned bpp : {1u, 4u, 8u}) {
        const std::string bits = std::to_string(bpp);
        SCOPED_TRACE(bits);
        const std::string path = writeIndexed(bits + ".png", bpp);
        Surface s(6, 4);
        AppSurface surface = s.app();
        ReadPCX(path.c_str(), &surface, 6, 4, 0, 0); // each pixel as a 2 x 2 block
        EXPECT_EQ(s.at(0, 0), argb(palette[0]));
        EXPECT_EQ(s.at(3, 1), argb(palette[1]));
        EXPECT_EQ(s.at(5, 0), argb(palette[0]));
        EXPECT_EQ(s.at(0, 3), argb(palette[bpp == 1 ? 1 : 3]));
        EXPECT_EQ(s.at(2, 2), argb(palette[bpp == 1 ? 0 : 2]));
        EXPECT_EQ(s.at(5, 3), argb(palette[1]));
    }

    {
        SCOPED_TRACE("grey");
        FIBITMAP* grey = FreeImage_Allocate(2, 1, 8);
        RGBQUAD* table = FreeImage_GetPalette(grey);
        for (unsigned i = 0; i < 256; ++i) {
            table[i].rgbRed = table[i].rgbGreen = table[i].rgbBlue = BYTE(i);
        }
        BYTE value = 40;
        FreeImage_SetPixelIndex(grey, 0, 0, &value);
        value = 230;
        FreeImage_SetPixelIndex(grey, 1, 0, &value);
        const std::string path = file("grey.png");
        ASSERT_TRUE(FreeImage_Save(FIF_PNG, grey, path.c_str(), 0));
        FreeImage_Unload(grey);
        Surface s(2, 1);
        AppSurface surface = s.app();
        ReadPCX(path.c_str(), &surface, 2, 1, 0, 0);
        EXPECT_EQ(s.at(0, 0), 0xFF282828u);
        EXPECT_EQ(s.at(1, 0), 0xFFE6E6E6u);
    }

    {
        SCOPED_TRACE("32-bit with alpha: copied, alpha ignored");
        FIBITMAP* rgba = FreeImage_Allocate(2, 1, 32);
        RGBQUAD q{};
        q.rgbRed = 200;
        q.rgbGreen = 100;
        q.rgbBlue = 50;
        q.rgbReserved = 0; // fully transparent, still drawn
        FreeImage_SetPixelColor(rgba, 0, 0, &q);
        q.rgbRed = 1;
        q.rgbGreen = 2;
        q.rgbBlue = 3;
        q.rgbReserved = 128;
        FreeImage_SetPixelColor(rgba, 1, 0, &q);
        const std::string path = file("rgba.png");
        ASSERT_TRUE(FreeImage_Save(FIF_PNG, rgba, path.c_str(), 0));
        FreeImage_Unload(rgba);
        Surface s(2, 1);
        AppSurface surface = s.app();
        ReadPCX(path.c_str(), &surface, 2, 1, 0, 0);
        EXPECT_EQ(s.at(0, 0), 0xFFC86432u);
        EXPECT_EQ(s.at(1, 0), 0xFF010203u);
    }
}

TEST_F(ReadPcxTest, KeyRedStaysExactlyRedWhenStretched) {
    std::vector<Rgb> pixels = {{255, 0, 0}, {0, 0, 0}, {255, 0, 0}, {0, 0, 255}};
    const std::string path = writeRgb("key.png", 2, 2, pixels);
    Surface s(13, 11);
    AppSurface surface = s.app();
    ReadPCX(path.c_str(), &surface, 13, 11, 0, 0);
    for (int32_t y = 0; y < 11; ++y) {
        for (int32_t x = 0; x < 13; ++x) {
            const uint32_t p = s.at(x, y);
            EXPECT_TRUE(p == 0xFFFF0000u || p == 0xFF000000u || p == 0xFF0000FFu) << std::hex << p;
        }
    }
}

// Files that are not drawable PNG pictures: nothing drawn, nothing crashes.
TEST_F(ReadPcxTest, DrawsNothingForFilesItCannotDraw) {
    const std::string good = writeRgb("good.png", 8, 8, gradient(8, 8));
    std::vector<std::string> bad;
    bad.push_back(file("missing.png"));
    bad.push_back(writeRgb("photo.png", 8, 8, gradient(8, 8), FIF_JPEG)); // JPEG under a PNG name
    bad.push_back(writeRgb("picture.bmp", 8, 8, gradient(8, 8), FIF_BMP));
    {
        // The good file cut in half.
        std::ifstream in(good, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), {});
        const std::string path = file("truncated.png");
        std::ofstream(path, std::ios::binary)
            .write(bytes.data(), std::streamsize(bytes.size() / 2));
        bad.push_back(path);
    }
    {
        const std::string path = file("empty.png");
        std::ofstream{path};
        bad.push_back(path);
    }
    {
        // 16 bits per channel decodes to a type a device bitmap cannot carry.
        FIBITMAP* deep = FreeImage_AllocateT(FIT_UINT16, 4, 4);
        const std::string path = file("deep.png");
        ASSERT_TRUE(FreeImage_Save(FIF_PNG, deep, path.c_str(), 0));
        FreeImage_Unload(deep);
        bad.push_back(path);
    }
    for (const std::string& path : bad) {
        SCOPED_TRACE(path);
        Surface s(10, 10);
        AppSurface surface = s.app();
        ReadPCX(path.c_str(), &surface, 10, 10, 0, 0);
        EXPECT_TRUE(s.untouched());
    }
    Surface s(10, 10);
    AppSurface surface = s.app();
    ReadPCX(good.c_str(), &surface, 10, 10, 0, 0);
    EXPECT_FALSE(s.untouched()); // the same call on a good file draws
    EXPECT_EQ(ReadPCX(nullptr, &surface, 10, 10, 0, 0), 0);
    EXPECT_EQ(ReadPCX(good.c_str(), nullptr, 10, 10, 0, 0), 0);
}

void putChunk(std::string& out, const char* type, const std::string& data) {
    auto be32 = [&](uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            out.push_back(char((v >> shift) & 0xFF));
        }
    };
    be32(uint32_t(data.size()));
    std::string body(type);
    body.append(data);
    out += body;
    be32(static_cast<uint32_t>(
        crc32(0L, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
}

TEST_F(ReadPcxTest, RefusesAHeaderDeclaringAHugePicture) {
    // A valid header for 60000 x 60000 RGB and a scrap of data: decoding it
    // would first allocate about 10 GB.
    std::string png("\x89PNG\r\n\x1a\n", 8);
    std::string ihdr;
    for (uint32_t v : {60000u, 60000u}) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            ihdr.push_back(char((v >> shift) & 0xFF));
        }
    }
    ihdr.append("\x08\x02\x00\x00\x00", 5);
    putChunk(png, "IHDR", ihdr);
    putChunk(png, "IDAT", std::string("\x78\x9c\x03\x00\x00\x00\x00\x01", 8));
    putChunk(png, "IEND", "");
    const std::string path = file("huge.png");
    std::ofstream(path, std::ios::binary).write(png.data(), std::streamsize(png.size()));

    // The header itself reads fine: the refusal is the size cap's.
    FIBITMAP* header = FreeImage_Load(FIF_PNG, path.c_str(), FIF_LOAD_NOPIXELS);
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(FreeImage_GetWidth(header), 60000u);
    FreeImage_Unload(header);

    Surface s(10, 10);
    AppSurface surface = s.app();
    EXPECT_EQ(ReadPCX(path.c_str(), &surface, 10, 10, 0, 0), 0);
    EXPECT_TRUE(s.untouched());
}

TEST_F(ReadPcxTest, PngSuitePicturesDrawAndBrokenOnesDoNot) {
    const fs::path suite = fs::path(VEMU_TESTDATA_DIR) / "pngsuite";
    VEMU_REQUIRE_TESTDATA(suite);
    for (const char* name :
         {"basn0g01.png", "basn0g02.png", "basn0g08.png", "basn2c08.png", "basn3p01.png",
          "basn3p04.png", "basn3p08.png", "basn4a08.png", "basn6a08.png", "basi2c08.png",
          "basi3p08.png", "s01n3p01.png", "s39i3p04.png"}) {
        SCOPED_TRACE(name);
        const std::string path = (suite / "primary" / name).string();
        Surface s(24, 24);
        AppSurface surface = s.app();
        EXPECT_EQ(ReadPCX(path.c_str(), &surface, 20, 18, 2, 3), 1);
        EXPECT_EQ(s.at(1, 10), kUntouched);
        EXPECT_EQ(s.at(22, 10), kUntouched);
        EXPECT_EQ(s.at(10, 2), kUntouched);
        EXPECT_EQ(s.at(10, 21), kUntouched);
        EXPECT_NE(s.at(2, 3), kUntouched);
        EXPECT_NE(s.at(21, 20), kUntouched);
    }
    // basn2c08: 32 x 32, top-left pixel white, colours running to the right.
    {
        const std::string path = (suite / "primary" / "basn2c08.png").string();
        Surface s(32, 32);
        AppSurface surface = s.app();
        ReadPCX(path.c_str(), &surface, 32, 32, 0, 0);
        EXPECT_EQ(s.at(0, 0), 0xFFFFFFFFu);
    }
    for (const char* folder : {"corrupt", "16bit"}) {
        for (const auto& entry : fs::directory_iterator(suite / folder)) {
            if (entry.path().extension() != ".png") {
                continue;
            }
            SCOPED_TRACE(entry.path().string());
            Surface s(16, 16);
            AppSurface surface = s.app();
            EXPECT_EQ(ReadPCX(entry.path().c_str(), &surface, 16, 16, 0, 0), 0);
            EXPECT_TRUE(s.untouched());
        }
    }
}

TEST(AppLibrary, ExportsReadPcxUnmangledByName) {
    void* library = dlopen(VEMU_APP_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    EXPECT_EQ(fs::path(VEMU_APP_LIBRARY).filename(), "app.so");
    auto readPcx = reinterpret_cast<ReadPCXProc>(dlsym(library, "ReadPCX"));
    ASSERT_NE(readPcx, nullptr);
    EXPECT_EQ(readPcx, &ReadPCX); // the same function the tests call directly
    // Helpers stay hidden: the stretch is not part of the library's face.
    EXPECT_EQ(dlsym(library, "_Z14stretchPictureRK10AppSurfaceiiiiRK14DecodedPicture"), nullptr);
    EXPECT_EQ(dlsym(library, "_Z9decodePngPKhmRK13PictureLimitsP14DecodedPicture"), nullptr);
    dlclose(library);
}

} // namespace
