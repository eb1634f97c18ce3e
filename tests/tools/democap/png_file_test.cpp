// democap's own PNG writer, read back by FreeImage (a different decoder):
// every pixel exact, top row first, any width.
#include "tools/democap/png_file.h"

#include <FreeImage.h>
#include <filesystem>
#include <gtest/gtest.h>

#include "process_runner.h"

using namespace democap;

namespace {

// Bottom row first, as GL hands them over; values that wrap under the
// "Up" filter (a row darker than the one above it) on purpose.
std::vector<uint8_t> pattern(int width, int height) {
    std::vector<uint8_t> rows(static_cast<size_t>(width) * height * 3);
    uint32_t seed = 12345;
    for (uint8_t& v : rows) {
        seed = seed * 1103515245u + 12345u;
        v = static_cast<uint8_t>(seed >> 16);
    }
    return rows;
}

void expectSamePicture(const std::string& file, const std::vector<uint8_t>& rows, int width,
                       int height) {
    FIBITMAP* bitmap = FreeImage_Load(FIF_PNG, file.c_str(), 0);
    ASSERT_NE(bitmap, nullptr);
    ASSERT_EQ(FreeImage_GetBPP(bitmap), 24u);
    ASSERT_EQ(static_cast<int>(FreeImage_GetWidth(bitmap)), width);
    ASSERT_EQ(static_cast<int>(FreeImage_GetHeight(bitmap)), height);
    int wrong = 0;
    // FreeImage keeps scan line 0 at the bottom too, so rows match one to one.
    for (int y = 0; y < height; ++y) {
        const BYTE* line = FreeImage_GetScanLine(bitmap, y);
        for (int x = 0; x < width; ++x) {
            const uint8_t* want = &rows[(static_cast<size_t>(y) * width + x) * 3];
            const BYTE* got = line + x * 3;
            wrong += got[FI_RGBA_RED] != want[0] || got[FI_RGBA_GREEN] != want[1] ||
                     got[FI_RGBA_BLUE] != want[2];
        }
    }
    FreeImage_Unload(bitmap);
    EXPECT_EQ(wrong, 0) << file;
}

TEST(DemocapPngFile, EveryPixelExactAtAnySize) {
    TempFolder dir;
    std::vector<uint8_t> scratch;
    for (auto [w, h] : {std::pair{1, 1}, {7, 3}, {66, 32}, {640, 480}}) {
        const auto rows = pattern(w, h);
        const std::string file = dir.path() + "/p" + std::to_string(w) + ".png";
        std::string error;
        ASSERT_TRUE(writePng(file, rows.data(), w, h, scratch, error)) << error;
        expectSamePicture(file, rows, w, h);
    }
}

TEST(DemocapPngFile, BlackFramesAreSmall) {
    TempFolder dir;
    std::vector<uint8_t> scratch;
    const std::vector<uint8_t> black(640 * 480 * 3, 0);
    std::string error;
    ASSERT_TRUE(writePng(dir.path() + "/black.png", black.data(), 640, 480, scratch, error));
    expectSamePicture(dir.path() + "/black.png", black, 640, 480);
    EXPECT_LT(std::filesystem::file_size(dir.path() + "/black.png"), 8000u);
}

TEST(DemocapPngFile, UnwritablePathIsAnError) {
    std::vector<uint8_t> scratch;
    const std::vector<uint8_t> black(4 * 4 * 3, 0);
    std::string error;
    EXPECT_FALSE(writePng("/nonexistent-folder/x.png", black.data(), 4, 4, scratch, error));
    EXPECT_NE(error.find("/nonexistent-folder/x.png"), std::string::npos) << error;
}

} // namespace
