// The embedded pictures: their sizes and key-red, and the nearest-neighbour
// stretch that keeps key-red exact at any size.

#include "launcher/pictures.h"

#include <gtest/gtest.h>

#include <set>

namespace {

std::set<uint32_t> coloursOf(const Picture& picture) {
    return {picture.pixels.begin(), picture.pixels.end()};
}

TEST(EmbeddedPictures, HaveTheirSizesAndDiffer) {
    const Picture quit = makeQuitFace();
    const Picture start = makeStartFace();
    const Picture window = makeToggleWindow();
    const Picture full = makeToggleFull();
    EXPECT_EQ(quit.width, 100);
    EXPECT_EQ(quit.height, 100);
    EXPECT_EQ(start.width, 288);
    EXPECT_EQ(start.height, 68);
    EXPECT_EQ(window.width, 162);
    EXPECT_EQ(window.height, 139);
    EXPECT_EQ(full.width, 162);
    EXPECT_EQ(full.height, 139);
    for (const Picture* p : {&quit, &start, &window, &full}) {
        EXPECT_EQ(p->pixels.size(), size_t(p->width) * size_t(p->height));
        for (uint32_t pixel : p->pixels) {
            ASSERT_EQ(pixel >> 24, 0xFFu); // stored as 24-bit: always opaque
        }
    }
    EXPECT_NE(window.pixels, full.pixels);
    // Both toggle pictures carry white text on dark grey and nothing red.
    for (const Picture* p : {&window, &full}) {
        const std::set<uint32_t> colours = coloursOf(*p);
        EXPECT_EQ(colours.size(), 2u);
        EXPECT_TRUE(colours.count(0xFFFFFFFFu));
        EXPECT_FALSE(colours.count(kKeyRed));
        // The word fits: no letter touches the left or right edge.
        for (int32_t y = 0; y < p->height; ++y) {
            EXPECT_NE(p->at(0, y), 0xFFFFFFFFu);
            EXPECT_NE(p->at(p->width - 1, y), 0xFFFFFFFFu);
        }
    }
    EXPECT_FALSE(coloursOf(start).count(kKeyRed));
}

TEST(EmbeddedPictures, QuitFaceIsARoundButtonInKeyRed) {
    const Picture quit = makeQuitFace();
    for (auto [x, y] : {std::pair{0, 0}, {99, 0}, {0, 99}, {99, 99}, {8, 8}}) {
        EXPECT_EQ(quit.at(x, y), kKeyRed) << x << "," << y;
    }
    EXPECT_EQ(quit.at(50, 2), 0xFF000000u);    // the disc's rim
    EXPECT_EQ(quit.at(50, 50) & 0xFFu, 0xFFu); // the cross is blue
    // No near-red anywhere: red is the key or absent.
    for (uint32_t pixel : quit.pixels) {
        const uint32_t r = (pixel >> 16) & 0xFF;
        const uint32_t g = (pixel >> 8) & 0xFF;
        const uint32_t b = pixel & 0xFF;
        if (pixel != kKeyRed) {
            EXPECT_FALSE(r > 128 && g < 64 && b < 64);
        }
    }
}

TEST(DrawStretched, KeepsKeyRedPureAtAnySize) {
    const Picture quit = makeQuitFace();
    const std::set<uint32_t> own = coloursOf(quit);
    for (int size : {64, 80, 90, 37, 213}) {
        std::vector<uint32_t> target(size_t(size) * size, 0xFF00FF00u);
        drawStretched(target.data(), size, size, size, quit, 0, 0, size, size);
        for (uint32_t pixel : target) {
            ASSERT_TRUE(own.count(pixel)) << std::hex << pixel << " at size " << std::dec << size;
        }
        EXPECT_EQ(target[0], kKeyRed);
        EXPECT_EQ(target[size_t(size / 2) * size + size / 2], quit.at(50, 50));
    }
}

TEST(DrawStretched, ClipsAndLeavesTheRestAlone) {
    Picture two;
    two.width = 2;
    two.height = 1;
    two.pixels = {0xFF111111u, 0xFF222222u};
    const int w = 6;
    const int h = 3;
    const int pitch = 8;
    std::vector<uint32_t> target(size_t(pitch) * h, 7u);
    drawStretched(target.data(), w, h, pitch, two, -2, 1, 6, 5);
    // Columns -2..0 take the first pixel, 1..3 the second; rows 1 and 2 only.
    EXPECT_EQ(target[0 * pitch + 0], 7u);
    EXPECT_EQ(target[1 * pitch + 0], 0xFF111111u);
    EXPECT_EQ(target[1 * pitch + 1], 0xFF222222u);
    EXPECT_EQ(target[2 * pitch + 3], 0xFF222222u);
    EXPECT_EQ(target[2 * pitch + 4], 7u);
    EXPECT_EQ(target[1 * pitch + 6], 7u); // beyond the width, inside the pitch
    drawStretched(target.data(), w, h, pitch, two, 0, 0, 0, 3);
    drawStretched(target.data(), w, h, pitch, two, 7, 0, 3, 3);
    EXPECT_EQ(target[0], 7u);
}

} // namespace
