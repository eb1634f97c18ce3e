// The generated package content: every file of the show's manifest and the launcher's
// background, in the right format, with alpha where pictures are cut out, the same bytes on
// every run.
#include "demo/assets/manifest.h"
#include "tools/contentgen/canvas.h"
#include "tools/contentgen/generate.h"
#include "tools/contentgen/pictures.h"

#include <FreeImage.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace contentgen;

namespace {

enum class Expect { Jpeg, Png24, PngAlpha };

struct ManifestFile {
    std::string name;
    Expect kind;
};

// What ships: the show's pictures, by slot then the greetings, and the
// launcher's background. Photos are JPEG; these pictures are opaque PNGs,
// every other PNG is cut out.
const std::vector<ManifestFile> manifest = [] {
    const std::set<std::string> opaque = {manifestFile(kGreetingBackgroundSlot),
                                          manifestFile(kClosing3Slot), manifestFile(kClosing4Slot),
                                          kLauncherPicture};
    std::vector<std::string> names = showPictureFiles();
    names.emplace_back(kLauncherPicture);
    std::vector<ManifestFile> files;
    for (const std::string& name : names) {
        const bool jpeg = name.ends_with(".jpg") || name.ends_with(".jpeg");
        files.push_back({name, jpeg                 ? Expect::Jpeg
                               : opaque.count(name) ? Expect::Png24
                                                    : Expect::PngAlpha});
    }
    return files;
}();

std::string readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Picture {
    FIBITMAP* bmp = nullptr;
    explicit Picture(const fs::path& p) {
        const auto fif = FreeImage_GetFileType(p.c_str(), 0);
        if (fif != FIF_UNKNOWN) {
            bmp = FreeImage_Load(fif, p.c_str(), 0);
        }
    }
    ~Picture() {
        if (bmp != nullptr) {
            FreeImage_Unload(bmp);
        }
    }
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;
    unsigned width() const { return FreeImage_GetWidth(bmp); }
    unsigned height() const { return FreeImage_GetHeight(bmp); }
    // Row 0 is the top row as stored in the file.
    RGBQUAD at(unsigned x, unsigned y) const {
        RGBQUAD q{};
        const BYTE* p = FreeImage_GetScanLine(bmp, static_cast<int>(height() - 1 - y)) +
                        x * (FreeImage_GetBPP(bmp) / 8);
        q.rgbRed = p[FI_RGBA_RED];
        q.rgbGreen = p[FI_RGBA_GREEN];
        q.rgbBlue = p[FI_RGBA_BLUE];
        q.rgbReserved = FreeImage_GetBPP(bmp) == 32 ? p[FI_RGBA_ALPHA] : 255;
        return q;
    }
};

bool isPowerOfTwo(unsigned v) {
    return v != 0 && (v & (v - 1)) == 0;
}

double meanDifference(const Picture& a, const Picture& b) {
    double sum = 0;
    for (unsigned y = 0; y < a.height(); ++y) {
        for (unsigned x = 0; x < a.width(); ++x) {
            const RGBQUAD p = a.at(x, y), q = b.at(x, y);
            sum += std::abs(p.rgbRed * p.rgbReserved - q.rgbRed * q.rgbReserved) / 255.0 +
                   std::abs(p.rgbGreen * p.rgbReserved - q.rgbGreen * q.rgbReserved) / 255.0 +
                   std::abs(p.rgbReserved - q.rgbReserved);
        }
    }
    return sum / (a.width() * a.height());
}

// The build writes the package's content before it builds these tests; they read what ships.
class GeneratedContent : public ::testing::Test {
  protected:
    static fs::path first() { return VEMU_PACKAGE_DIR; }
};

TEST_F(GeneratedContent, WritesEveryManifestFileInItsFormat) {
    for (const auto& f : manifest) {
        SCOPED_TRACE(f.name);
        const fs::path p = first() / f.name;
        ASSERT_TRUE(fs::exists(p));
        const FREE_IMAGE_FORMAT fif = FreeImage_GetFileType(p.c_str(), 0);
        EXPECT_EQ(fif, f.kind == Expect::Jpeg ? FIF_JPEG : FIF_PNG);
        Picture pic(p);
        ASSERT_NE(pic.bmp, nullptr);
        EXPECT_EQ(FreeImage_GetImageType(pic.bmp), FIT_BITMAP);
        EXPECT_EQ(FreeImage_GetBPP(pic.bmp), f.kind == Expect::PngAlpha ? 32u : 24u);
        if (std::string(f.name).starts_with("data/")) {
            // Power-of-two sides spare the loader a rescale on the CPU.
            EXPECT_TRUE(isPowerOfTwo(pic.width()) && isPowerOfTwo(pic.height()))
                << pic.width() << " x " << pic.height();
        }
        if (f.kind == Expect::PngAlpha) {
            // A real cut-out: clear ground and solid drawing.
            std::size_t clear = 0, solid = 0;
            for (unsigned y = 0; y < pic.height(); ++y) {
                for (unsigned x = 0; x < pic.width(); ++x) {
                    const BYTE a = pic.at(x, y).rgbReserved;
                    clear += a == 0;
                    solid += a == 255;
                }
            }
            const double n = pic.width() * pic.height();
            EXPECT_GT(clear / n, 0.1);
            EXPECT_GT(solid / n, 0.02);
        }
    }
    // Nothing but the manifest and the music in data/.
    std::set<std::string> expected = {kMusicPath};
    for (const auto& f : manifest) {
        expected.insert(f.name);
    }
    std::set<std::string> found;
    for (const auto& e : fs::directory_iterator(first() / "data")) {
        found.insert("data/" + e.path().filename().string());
    }
    found.insert(kLauncherPicture);
    EXPECT_EQ(found, expected);
    std::set<std::string> listed;
    for (const auto& n : contentFileNames()) {
        listed.insert(n);
    }
    EXPECT_EQ(listed, expected);
    // The build's list of what contentgen writes, read from the manifest by CMake.
    std::set<std::string> built;
    std::string list = VEMU_CONTENT_FILES;
    for (size_t at = 0; at != std::string::npos;) {
        const size_t comma = list.find(',', at);
        built.insert(list.substr(at, comma == std::string::npos ? comma : comma - at));
        at = comma == std::string::npos ? comma : comma + 1;
    }
    EXPECT_EQ(built, expected);
}

TEST_F(GeneratedContent, AnotherRunWritesTheSameBytes) {
    const fs::path again =
        fs::temp_directory_path() / ("contentgen_again_" + std::to_string(::getpid()));
    fs::remove_all(again);
    const auto errors = generateContent(again, 1);
    ASSERT_TRUE(errors.empty()) << errors.front();
    for (const auto& name : contentFileNames()) {
        SCOPED_TRACE(name);
        const std::string a = readAll(first() / name), b = readAll(again / name);
        EXPECT_FALSE(a.empty());
        EXPECT_TRUE(a == b);
    }
    fs::remove_all(again);
}

TEST_F(GeneratedContent, PicturePairsShowVisiblyDifferentPoses) {
    const std::vector<std::pair<const char*, const char*>> pairs = {
        {"zelmo_01.png", "zelmo_02.png"},         {"ties_01.png", "ties_02.png"},
        {"pilsa_01.png", "pilsa_02.png"},         {"colla_hard_01.png", "colla_hard_02.png"},
        {"zelmo_hard01.png", "zelmo_hard02.png"}, {"mobil_mis_01.png", "mobil_mis_02.png"},
        {"greet01.png", "greet02.png"},           {"greet11.png", "greet12.png"},
        {"credits_01.png", "credits_02.png"},
    };
    for (const auto& [a, b] : pairs) {
        SCOPED_TRACE(std::string(a) + " / " + b);
        Picture pa(first() / "data" / a), pb(first() / "data" / b);
        ASSERT_TRUE(pa.bmp && pb.bmp);
        ASSERT_EQ(pa.width(), pb.width());
        // Mean difference per pixel, in alpha-weighted units of 0..510: well above noise.
        EXPECT_GT(meanDifference(pa, pb), 8.0);
    }
}

TEST_F(GeneratedContent, FramedPageOverTheTowerIsMostlyClear) {
    Picture p(first() / "data/fons_tralla.png");
    ASSERT_NE(p.bmp, nullptr);
    std::size_t clear = 0;
    for (unsigned y = 0; y < p.height(); ++y) {
        for (unsigned x = 0; x < p.width(); ++x) {
            clear += p.at(x, y).rgbReserved < 16;
        }
    }
    EXPECT_GT(clear, p.width() * p.height() * 6 / 10);
    // The middle is open, the border is not.
    EXPECT_EQ(p.at(p.width() / 2, p.height() / 2).rgbReserved, 0);
    EXPECT_GT(p.at(4, p.height() / 2).rgbReserved, 128);
}

TEST_F(GeneratedContent, LauncherBackgroundStandsFreeOnPureRed) {
    Picture p(first() / kLauncherPicture);
    ASSERT_NE(p.bmp, nullptr);
    ASSERT_EQ(p.width(), 1600u);
    ASSERT_EQ(p.height(), 1200u);
    auto pureRed = [](RGBQUAD q) { return q.rgbRed == 255 && q.rgbGreen == 0 && q.rgbBlue == 0; };
    for (auto [x, y] : {std::pair{0u, 0u}, {1599u, 0u}, {0u, 1199u}, {1599u, 1199u}}) {
        EXPECT_TRUE(pureRed(p.at(x, y))) << x << "," << y;
    }
    // The buttons' rectangles lie wholly on the shape.
    for (const DesignRect& r : {startButtonRect, quitButtonRect, toggleRect}) {
        for (int y = r.y; y < r.y + r.h; ++y) {
            for (int x = r.x; x < r.x + r.w; ++x) {
                ASSERT_FALSE(pureRed(p.at(x, y))) << x << "," << y;
            }
        }
    }
    // The key is exact, and the shape's edge against it is hard: every neighbour of a key
    // pixel is key or far from red, so no near-red fringe shows as opaque around the shape.
    std::size_t red = 0;
    for (unsigned y = 1; y + 1 < p.height(); ++y) {
        for (unsigned x = 1; x + 1 < p.width(); ++x) {
            if (!pureRed(p.at(x, y))) {
                continue;
            }
            ++red;
            for (auto [nx, ny] : {std::pair{x - 1, y}, {x + 1, y}, {x, y - 1}, {x, y + 1}}) {
                const RGBQUAD q = p.at(nx, ny);
                if (!pureRed(q)) {
                    ASSERT_LT(q.rgbRed, 96) << "fringe pixel at " << nx << "," << ny;
                }
            }
        }
    }
    EXPECT_GT(red, 1600u * 1200u / 5);
    EXPECT_LT(red, 1600u * 1200u * 4 / 5);
}

TEST(CanvasRows, ShowPicturesAreStoredBottomRowFirst) {
    // The show's loader uploads a file's top row at t = 0, which its quads put at the lower
    // edge: the bottom of the drawing has to come first in the file.
    const fs::path p = fs::temp_directory_path() / ("rows_" + std::to_string(::getpid()) + ".png");
    Canvas c(4, 4);
    c.clear({0, 0, 1, 1});
    c.rect(0, 0, 4, 1, {1, 0, 0, 1}, Blend::Replace); // the drawing's top row
    for (bool flip : {false, true}) {
        ASSERT_EQ(c.savePng(p.string(), false, flip), "");
        Picture pic(p);
        ASSERT_NE(pic.bmp, nullptr);
        const unsigned redRow = flip ? 3 : 0;
        EXPECT_EQ(pic.at(1, redRow).rgbRed, 255);
        EXPECT_EQ(pic.at(1, 3 - redRow).rgbRed, 0);
    }
    fs::remove(p);
}

int runTool(const std::string& args, const fs::path& err) {
    const std::string cmd =
        std::string(CONTENTGEN_EXE) + " " + args + " >/dev/null 2>" + err.string();
    const int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ContentgenCommandLine, HelpBadArgumentsAndUnwritableFolder) {
    const fs::path dir = fs::temp_directory_path() / ("cli_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path err = dir / "stderr.txt";
    EXPECT_EQ(runTool("--help", err), 0);
    EXPECT_EQ(runTool("--bogus", err), 2);
    EXPECT_NE(readAll(err).find("unknown argument"), std::string::npos);
    EXPECT_EQ(runTool("--out", err), 2);
    EXPECT_NE(readAll(err).find("--out"), std::string::npos);
    // A folder below a plain file cannot be made.
    std::ofstream(dir / "plain") << "x";
    EXPECT_EQ(runTool("--out " + (dir / "plain" / "pkg").string(), err), 1);
    EXPECT_NE(readAll(err).find("cannot create"), std::string::npos);
    fs::remove_all(dir);
}

} // namespace
