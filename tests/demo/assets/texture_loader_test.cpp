#include "demo/assets/texture_loader.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "demo/scenes/overlay.h"
#include "tests/demo/assets/asset_files.h"
#include "tests/support/gl_harness.h"
#include "tests/support/testdata.h"

namespace fs = std::filesystem;

namespace {

constexpr int kClamp = 0x2900; // GL_CLAMP, what the demo passes
constexpr uint32_t kUntouched = 4242;

const Rgba kTop{220, 40, 20, 255};
const Rgba kBottom{20, 60, 200, 255};

// Four colours, one per quadrant, so a skewed row or a flip shows.
PixelFn quadrants(int width, int height) {
    return [=](int x, int y) {
        const bool left = x < width / 2;
        if (y < height / 2) {
            return left ? Rgba{250, 10, 10, 255} : Rgba{10, 250, 10, 255};
        }
        return left ? Rgba{10, 10, 250, 255} : Rgba{250, 250, 250, 255};
    };
}

Rgba texelAt(const std::vector<Rgba>& texels, int width, int x, int y) {
    return texels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
}

// Loads with the demo's arguments and checks the bound texture against the
// picture: its top band in the first rows (t = 0), its bottom in the last.
void expectTwoBands(const std::string& path, Rgba top, Rgba bottom, int tol) {
    SCOPED_TRACE(path);
    uint32_t name = kUntouched;
    ASSERT_TRUE(loadTexture(path.c_str(), &name, true, kClamp));
    ASSERT_NE(name, kUntouched);
    ASSERT_NE(name, 0u);
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(static_cast<uint32_t>(bound), name);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    GLint minFilter = 0, wrapS = 0, wrapT = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrapS);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &wrapT);
    EXPECT_EQ(minFilter, GL_LINEAR_MIPMAP_LINEAR);
    EXPECT_EQ(wrapS, kClamp);
    EXPECT_EQ(wrapT, kClamp);

    int w = 0, h = 0;
    const std::vector<Rgba> texels = readBoundTexture(&w, &h);
    ASSERT_EQ(w, 32);
    ASSERT_EQ(h, 32);
    for (int x : {1, 16, 30}) {
        const Rgba first = texelAt(texels, w, x, 2);
        const Rgba last = texelAt(texels, w, x, h - 3);
        EXPECT_TRUE(nearColour(first, top, tol)) << "t=0 side " << describe(first);
        EXPECT_TRUE(nearColour(last, bottom, tol)) << "t=1 side " << describe(last);
    }
}

class TextureLoader : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(gl.ok()); }
    GlHarness gl;
    TempDir dir;
};

TEST_F(TextureLoader, EveryFormatOfTheTableDecodesTopRowFirstInRgbOrder) {
    const auto bands = twoBands(32, kTop, kBottom);
    const Rgba clearTop{kTop.r, kTop.g, kTop.b, 128};
    const auto alphaBands = twoBands(32, clearTop, kBottom);

    ASSERT_TRUE(writePicture(dir.file("a.bmp"), 32, 32, 24, SaveAs::Bmp, bands));
    expectTwoBands(dir.file("a.bmp"), kTop, kBottom, 0);
    ASSERT_TRUE(writePicture(dir.file("a.png"), 32, 32, 24, SaveAs::Png, bands));
    expectTwoBands(dir.file("a.png"), kTop, kBottom, 0);
    // 32 bits keep their alpha (uploaded as RGBA).
    ASSERT_TRUE(writePicture(dir.file("alpha.png"), 32, 32, 32, SaveAs::Png, alphaBands));
    expectTwoBands(dir.file("alpha.png"), clearTop, kBottom, 0);
    // Both spellings of JPEG; lossy, so a tolerance.
    ASSERT_TRUE(writePicture(dir.file("a.jpeg"), 32, 32, 24, SaveAs::Jpeg, bands));
    expectTwoBands(dir.file("a.jpeg"), kTop, kBottom, 12);
    ASSERT_TRUE(writePicture(dir.file("a.jpg"), 32, 32, 24, SaveAs::Jpeg, bands));
    expectTwoBands(dir.file("a.jpg"), kTop, kBottom, 12);
    ASSERT_TRUE(writePcx(dir.file("a.pcx"), 32, 32, bands));
    expectTwoBands(dir.file("a.pcx"), kTop, kBottom, 0);
    ASSERT_TRUE(writePicture(dir.file("a.tga"), 32, 32, 24, SaveAs::Tga, bands));
    expectTwoBands(dir.file("a.tga"), kTop, kBottom, 0);
    ASSERT_TRUE(writePicture(dir.file("alpha.tga"), 32, 32, 32, SaveAs::Tga, alphaBands));
    expectTwoBands(dir.file("alpha.tga"), clearTop, kBottom, 0);
    ASSERT_TRUE(writeDds(dir.file("a.dds"), 32, 32, alphaBands));
    expectTwoBands(dir.file("a.dds"), clearTop, kBottom, 0);
}

TEST_F(TextureLoader, NamesOutsideTheTableAreRefusedWithTheSlotUntouched) {
    const auto bands = twoBands(32, kTop, kBottom);
    // Real PNG data: the name alone decides.
    ASSERT_TRUE(writePicture(dir.file("upper.png"), 32, 32, 24, SaveAs::Png, bands));
    const std::vector<uint8_t> png = readBytes(dir.file("upper.png"));
    const std::vector<std::string> refused = {"upper.PNG", "picture.gif", "picture",
                                              "x.png.bak", "jpeg",        "dir.png/picture"};
    fs::create_directory(dir.path() / "dir.png");
    for (const std::string& name : refused) {
        ASSERT_TRUE(writeBytes(dir.file(name), png));
        uint32_t slot = kUntouched;
        EXPECT_FALSE(loadTexture(dir.file(name).c_str(), &slot, true, kClamp)) << name;
        EXPECT_EQ(slot, kUntouched) << name;
    }
}

TEST_F(TextureLoader, UnreadableFilesAreRefusedWithTheSlotUntouched) {
    const auto bands = twoBands(32, kTop, kBottom);
    fs::create_directory(dir.path() / "folder.png");
    ASSERT_TRUE(writeBytes(dir.file("empty.png"), {}));
    ASSERT_TRUE(writeBytes(dir.file("empty.dds"), {}));
    ASSERT_TRUE(writeBytes(dir.file("text.jpg"), {'n', 'o', 't', ' ', 'a', ' ', 'j', 'p', 'g'}));
    ASSERT_TRUE(writeBytes(dir.file("short.dds"), {'D', 'D', 'S', ' ', 124, 0}));
    // A PNG under a JPEG name: the decoder follows the name and fails.
    ASSERT_TRUE(writePicture(dir.file("png.jpg"), 32, 32, 24, SaveAs::Png, bands));
    for (const char* name :
         {"folder.png", "empty.png", "empty.dds", "text.jpg", "short.dds", "png.jpg", "none.bmp"}) {
        uint32_t slot = kUntouched;
        EXPECT_FALSE(loadTexture(dir.file(name).c_str(), &slot, true, kClamp)) << name;
        EXPECT_EQ(slot, kUntouched) << name;
    }
}

// A BMP with a version 5 info header (124 bytes): some builds of FreeImage
// read it, Debian's refuses it; either way no crash and no half-filled slot.
TEST_F(TextureLoader, BmpWithVersion5HeaderIsReadOrRefusedCleanly) {
    std::vector<uint8_t> bmp = {'B', 'M'};
    auto put32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            bmp.push_back(static_cast<uint8_t>(v >> (8 * i)));
        }
    };
    auto put16 = [&](uint16_t v) {
        bmp.push_back(static_cast<uint8_t>(v));
        bmp.push_back(static_cast<uint8_t>(v >> 8));
    };
    put32(14 + 124 + 4 * 12); // file size
    put32(0);
    put32(14 + 124); // pixels start
    put32(124);      // version 5 info header
    put32(4);        // width
    put32(4);        // height (bottom-up)
    put16(1);
    put16(24);
    put32(0); // uncompressed
    put32(4 * 12);
    put32(2835);
    put32(2835);
    put32(0);
    put32(0);
    bmp.resize(14 + 124, 0); // masks, colour space, intent, profile: zero
    for (int row = 0; row < 4; ++row) {
        for (int x = 0; x < 4; ++x) {
            bmp.insert(bmp.end(), {20, 40, 220}); // blue, green, red
        }
    }
    ASSERT_TRUE(writeBytes(dir.file("v5.bmp"), bmp));
    uint32_t slot = kUntouched;
    if (loadTexture(dir.file("v5.bmp").c_str(), &slot, true, kClamp)) {
        int w = 0, h = 0;
        const std::vector<Rgba> texels = readBoundTexture(&w, &h);
        ASSERT_FALSE(texels.empty());
        EXPECT_TRUE(nearColour(texels[0], Rgba{220, 40, 20, 255}, 0)) << describe(texels[0]);
    } else {
        EXPECT_EQ(slot, kUntouched);
    }
}

TEST_F(TextureLoader, TruncatedFilesOfEveryFormatNeverCrash) {
    const auto bands = twoBands(64, kTop, kBottom);
    struct Made {
        std::string name;
        bool written;
    };
    const std::vector<Made> made = {
        {"t.bmp", writePicture(dir.file("t.bmp"), 64, 64, 24, SaveAs::Bmp, bands)},
        {"t.png", writePicture(dir.file("t.png"), 64, 64, 32, SaveAs::Png, bands)},
        {"t.jpg", writePicture(dir.file("t.jpg"), 64, 64, 24, SaveAs::Jpeg, bands)},
        {"t.pcx", writePcx(dir.file("t.pcx"), 64, 64, bands)},
        {"t.tga", writePicture(dir.file("t.tga"), 64, 64, 24, SaveAs::Tga, bands)},
        {"t.dds", writeDds(dir.file("t.dds"), 64, 64, bands)},
    };
    for (const Made& file : made) {
        ASSERT_TRUE(file.written) << file.name;
        const std::vector<uint8_t> whole = readBytes(dir.file(file.name));
        for (size_t keep : {size_t{1}, size_t{20}, whole.size() / 3, whole.size() - 1}) {
            const std::string cut = "cut" + std::to_string(keep) + "_" + file.name;
            ASSERT_TRUE(writeBytes(dir.file(cut),
                                   std::vector<uint8_t>(whole.begin(), whole.begin() + keep)));
            uint32_t slot = kUntouched;
            // Some decoders fill a short picture with what they have; what
            // matters is no crash, and an untouched slot on refusal.
            if (!loadTexture(dir.file(cut).c_str(), &slot, true, kClamp)) {
                EXPECT_EQ(slot, kUntouched) << cut;
            }
        }
    }
}

// Palette, grey, 1-bit and 16-bit-per-channel pictures are converted before
// the raw copy; an odd width also checks that packed rows are read packed.
TEST_F(TextureLoader, OtherDepthsAreConvertedWithAlphaKept) {
    constexpr int kW = 33, kH = 17;
    const auto colours = quadrants(kW, kH);
    auto greyQuadrants = [&](int x, int y) {
        const uint8_t v = colours(x, y).r; // 250 or 10
        return Rgba{v, v, v, 255};
    };
    auto withClearCorner = [&](int x, int y) {
        Rgba c = colours(x, y);
        if (x >= kW / 2 && y >= kH / 2) {
            c.a = 0;
        }
        return c;
    };
    // Palette entry 1 is the transparent one: the second colour met, green.
    auto paletteExpect = [&](int x, int y) {
        Rgba c = colours(x, y);
        if (c.g == 250 && c.r == 10) {
            c.a = 0;
        }
        return c;
    };
    struct Case {
        std::string name;
        bool written;
        PixelFn expect;
    };
    const std::vector<Case> cases = {
        {"palette.png", writePalettePng(dir.file("palette.png"), kW, kH, colours), paletteExpect},
        {"grey.png", writeGreyPng(dir.file("grey.png"), kW, kH, greyQuadrants), greyQuadrants},
        {"mono.png", writeMonoPng(dir.file("mono.png"), kW, kH, greyQuadrants),
         [&](int x, int y) {
             const uint8_t v = greyQuadrants(x, y).r >= 128 ? 255 : 0;
             return Rgba{v, v, v, 255};
         }},
        {"rgb16.png", writeDeepPng(dir.file("rgb16.png"), kW, kH, Deep::Rgb, colours), colours},
        {"rgba16.png", writeDeepPng(dir.file("rgba16.png"), kW, kH, Deep::Rgba, withClearCorner),
         withClearCorner},
        {"grey16.png", writeDeepPng(dir.file("grey16.png"), kW, kH, Deep::Grey, greyQuadrants),
         greyQuadrants},
        {"odd.png", writePicture(dir.file("odd.png"), kW, kH, 24, SaveAs::Png, colours), colours},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(c.written);
        // Without mipmaps the texture keeps the picture's own size, so every
        // texel can be compared, the last row included.
        uint32_t name = kUntouched;
        ASSERT_TRUE(loadTexture(dir.file(c.name).c_str(), &name, false, GL_REPEAT));
        GLint minFilter = 0, wrap = 0;
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &wrap);
        EXPECT_EQ(minFilter, GL_LINEAR);
        EXPECT_EQ(wrap, GL_REPEAT);
        int w = 0, h = 0;
        const std::vector<Rgba> texels = readBoundTexture(&w, &h);
        ASSERT_EQ(w, kW);
        ASSERT_EQ(h, kH);
        int wrong = 0;
        for (int y = 0; y < kH; ++y) {
            for (int x = 0; x < kW; ++x) {
                if (!nearColour(texelAt(texels, w, x, y), c.expect(x, y), 1) && ++wrong < 4) {
                    ADD_FAILURE() << "texel " << x << "," << y << " is "
                                  << describe(texelAt(texels, w, x, y)) << ", want "
                                  << describe(c.expect(x, y));
                }
            }
        }
        EXPECT_EQ(wrong, 0);
        // And through GLU's scaling into a 4-component mipmapped texture.
        ASSERT_TRUE(loadTexture(dir.file(c.name).c_str(), &name, true, kClamp));
        const std::vector<Rgba> scaled = readBoundTexture(&w, &h);
        ASSERT_GT(w, 0);
        ASSERT_GT(h, 0);
        const Rgba corner = texelAt(scaled, w, w - 1, h - 1);
        EXPECT_TRUE(nearColour(corner, c.expect(kW - 1, kH - 1), 2)) << describe(corner);
    }
}

// The loader puts the picture's top row at t = 0; a quad with t = 0 at its
// lower edge (as every quad of the show) shows that row at the bottom.
TEST_F(TextureLoader, PictureNotPowerOfTwoScalesAndShowsItsTopRowAtTZero) {
    auto picture = [](int, int y) {
        if (y < 10) {
            return Rgba{255, 0, 0, 255}; // the top rows
        }
        return y >= 190 ? Rgba{0, 0, 255, 255} : Rgba{0, 255, 0, 255};
    };
    ASSERT_TRUE(writePicture(dir.file("wide.png"), 300, 200, 24, SaveAs::Png, picture));
    uint32_t name = 0;
    ASSERT_TRUE(loadTexture(dir.file("wide.png").c_str(), &name, true, kClamp));
    GLint levels = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, &levels);
    GLint w = 0, h = 0, components = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &components);
    EXPECT_EQ(w & (w - 1), 0) << "GLU scales to a power of two, got " << w;
    EXPECT_EQ(h & (h - 1), 0) << h;
    EXPECT_TRUE(components == 4 || components == GL_RGBA || components == GL_RGBA8);
    GLint lastLevelWidth = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 8, GL_TEXTURE_WIDTH, &lastLevelWidth);
    EXPECT_GT(lastLevelWidth, 0) << "the whole mipmap chain is built";

    gl.applyStartupState();
    beginOverlay();
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, name);
    glColor3f(1.0f, 1.0f, 1.0f);
    drawScreenQuad(0.0f);
    glDisable(GL_TEXTURE_2D);
    endOverlay();
    // Window rows from the bottom: the picture's top band is 10/200 of 480.
    EXPECT_TRUE(near(gl.pixel(320, 5), Rgb{255, 0, 0}, 8));
    EXPECT_TRUE(near(gl.pixel(320, 240), Rgb{0, 255, 0}, 8));
    EXPECT_TRUE(near(gl.pixel(320, 475), Rgb{0, 0, 255}, 8));
}

TEST_F(TextureLoader, SpotTextureIsALuminanceConeOfRadiusSixty) {
    uint32_t name = 0;
    makeSpotTexture(&name);
    ASSERT_NE(name, 0u);
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    ASSERT_EQ(static_cast<uint32_t>(bound), name);
    GLint w = 0, h = 0, minFilter = 0, magFilter = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &magFilter);
    ASSERT_EQ(w, 128);
    ASSERT_EQ(h, 128);
    EXPECT_EQ(minFilter, GL_LINEAR);
    EXPECT_EQ(magFilter, GL_LINEAR);
    std::vector<uint8_t> texels(128 * 128);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE, texels.data());
    auto at = [&](int x, int y) { return static_cast<int>(texels[y * 128 + x]); };
    EXPECT_EQ(at(64, 64), 255);
    EXPECT_EQ(at(64, 124), 0); // d = 60
    EXPECT_EQ(at(64, 123), 4); // d = 59: 255 - 250.75
    EXPECT_EQ(at(64, 4), 0);   // d = 60 the other way
    EXPECT_EQ(at(64, 5), 4);
    EXPECT_EQ(at(124, 64), 0);
    EXPECT_EQ(at(123, 64), 4);
    EXPECT_EQ(at(0, 0), 0);
    EXPECT_EQ(at(127, 127), 0);
    EXPECT_EQ(at(74, 64), 212); // d = 10: 255 - 42.5
    EXPECT_EQ(at(67, 68), 233); // d = 5
}

// A few bytes of header may declare gigabytes; the size is checked before
// any pixels are allocated.
TEST_F(TextureLoader, PicturesDeclaringHugeSizesAreRefusedBeforeDecoding) {
    ASSERT_TRUE(writeHugePng(dir.file("huge.png"), 60000, 60000));
    ASSERT_LT(readBytes(dir.file("huge.png")).size(), 100u);
    ASSERT_TRUE(writeHugePng(dir.file("wide.png"), kMaxTextureSide + 1, 1));
    ASSERT_TRUE(writeHugePng(dir.file("area.png"), kMaxTextureSide, kMaxTextureSide));
    // PCX and DDS headers with 60000 x 60000 and no pixel data.
    std::vector<uint8_t> pcx = readBytes([&] {
        writePcx(dir.file("small.pcx"), 2, 2, twoBands(2, kTop, kBottom));
        return dir.file("small.pcx");
    }());
    pcx[8] = pcx[10] = 0x5f; // xmax = ymax = 59999 (0xea5f)
    pcx[9] = pcx[11] = 0xea;
    pcx.resize(128);
    ASSERT_TRUE(writeBytes(dir.file("huge.pcx"), pcx));
    std::vector<uint8_t> dds = readBytes([&] {
        writeDds(dir.file("small.dds"), 2, 2, twoBands(2, kTop, kBottom));
        return dir.file("small.dds");
    }());
    for (int at : {12, 16}) { // height, width = 60000
        dds[at] = 0x60;
        dds[at + 1] = 0xea;
    }
    dds.resize(128);
    ASSERT_TRUE(writeBytes(dir.file("huge.dds"), dds));

    const auto start = std::chrono::steady_clock::now();
    for (const char* name : {"huge.png", "wide.png", "area.png", "huge.pcx", "huge.dds"}) {
        uint32_t slot = kUntouched;
        EXPECT_FALSE(loadTexture(dir.file(name).c_str(), &slot, true, kClamp)) << name;
        EXPECT_EQ(slot, kUntouched) << name;
    }
    // Generous: the unguarded decoder spends a minute allocating.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

    // Right at the side cap is still a picture.
    ASSERT_TRUE(writePicture(dir.file("long.png"), static_cast<int>(kMaxTextureSide), 2, 24,
                             SaveAs::Png, twoBands(2, kTop, kBottom)));
    uint32_t slot = 0;
    EXPECT_TRUE(loadTexture(dir.file("long.png").c_str(), &slot, false, kClamp));
}

// PngSuite: every valid picture loads, every corrupt one is refused, and
// cut-off copies never crash.
TEST_F(TextureLoader, PngSuiteLoadsAndItsCorruptFilesAreRefused) {
    const fs::path suite = fs::path(VEMU_TESTDATA_DIR) / "pngsuite";
    VEMU_REQUIRE_TESTDATA(suite);
    int loaded = 0;
    for (const char* folder : {"primary", "16bit", "unused", "iphone", "corrupt"}) {
        for (const auto& entry : fs::directory_iterator(suite / folder)) {
            if (entry.path().extension() != ".png") {
                continue;
            }
            const std::string path = entry.path().string();
            uint32_t slot = kUntouched;
            const bool made = loadTexture(path.c_str(), &slot, true, kClamp);
            const std::string set = folder;
            if (set == "corrupt") {
                EXPECT_FALSE(made) << path;
            } else if (set == "primary" || set == "16bit") {
                EXPECT_TRUE(made) << path;
            }
            if (!made) {
                EXPECT_EQ(slot, kUntouched) << path;
            } else {
                ++loaded;
            }
            if (set == "primary" || set == "16bit") {
                const std::vector<uint8_t> whole = readBytes(path);
                for (size_t keep : {whole.size() / 2, whole.size() - 13}) {
                    const std::string cut = dir.file("cut.png");
                    ASSERT_TRUE(
                        writeBytes(cut, std::vector<uint8_t>(whole.begin(), whole.begin() + keep)));
                    uint32_t cutSlot = kUntouched;
                    if (!loadTexture(cut.c_str(), &cutSlot, true, kClamp)) {
                        EXPECT_EQ(cutSlot, kUntouched) << path << " cut at " << keep;
                    }
                }
            }
        }
    }
    EXPECT_GT(loaded, 90);
}

} // namespace

// The start-up decodes on worker threads and uploads on the GL thread: the
// two halves must make the very texture loadTexture makes, every level.
TEST_F(TextureLoader, DecodedOnAnotherThreadThenUploadedMatchesLoadTexture) {
    ASSERT_TRUE(writePicture(dir.file("q.png"), 64, 32, 32, SaveAs::Png, quadrants(64, 32)));
    ASSERT_TRUE(writePicture(dir.file("q.jpg"), 32, 64, 24, SaveAs::Jpeg, quadrants(32, 64)));
    for (const char* file : {"q.png", "q.jpg"}) {
        SCOPED_TRACE(file);
        const std::string path = dir.file(file);
        DecodedPicture picture;
        bool decoded = false;
        std::thread([&] { decoded = decodeTexture(path.c_str(), picture); }).join();
        ASSERT_TRUE(decoded);
        uint32_t split = kUntouched, whole = kUntouched;
        ASSERT_TRUE(uploadTexture(picture, &split, true, kClamp));
        ASSERT_TRUE(loadTexture(path.c_str(), &whole, true, kClamp));
        ASSERT_NE(split, whole);
        for (GLint level = 0; level < 7; ++level) {
            auto levelTexels = [level](uint32_t name) {
                glBindTexture(GL_TEXTURE_2D, name);
                GLint w = 0, h = 0;
                glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &w);
                glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, &h);
                std::vector<uint8_t> texels(static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
                glPixelStorei(GL_PACK_ALIGNMENT, 1);
                glGetTexImage(GL_TEXTURE_2D, level, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
                return texels;
            };
            const std::vector<uint8_t> a = levelTexels(split);
            EXPECT_FALSE(a.empty()) << "level " << level;
            EXPECT_EQ(a, levelTexels(whole)) << "level " << level;
        }
    }

    DecodedPicture missing;
    missing.width = 7;
    EXPECT_FALSE(decodeTexture(dir.file("none.png").c_str(), missing));
    EXPECT_EQ(missing.pixels, nullptr);
    EXPECT_EQ(missing.width, 0u);
    uint32_t name = kUntouched;
    EXPECT_FALSE(uploadTexture(missing, &name, true, kClamp));
    EXPECT_EQ(name, kUntouched);
}
