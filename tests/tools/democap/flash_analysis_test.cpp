// The flash analyser on synthetic clips made at the thresholds' edges.
#include "tools/democap/flash_analysis.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace {

using Rgb = std::array<uint8_t, 3>;
constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kWhite{255, 255, 255};

// 60 x 45 frames: a field is 20 x 15 pixels, a quarter of it 75.
constexpr int kWidth = 60;
constexpr int kHeight = 45;

struct Patch {
    int x = 0;
    int y = 0;
    int width = kWidth;
    int height = kHeight;
};

// A clip on `ground` whose patch shows `on` on the given frames and `off`
// on the others, for `frames` frames.
flash::Report analyse(int frames, bool (*shows)(int frame), Rgb on, Rgb off, Patch patch = Patch{},
                      Rgb ground = kBlack) {
    flash::Analyser analyser(kWidth, kHeight);
    std::vector<uint8_t> rgb(kWidth * kHeight * 3);
    for (int frame = 0; frame < frames; ++frame) {
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const bool inside = x >= patch.x && x < patch.x + patch.width && y >= patch.y &&
                                    y < patch.y + patch.height;
                const Rgb& c = inside ? (shows(frame) ? on : off) : ground;
                std::copy(c.begin(), c.end(), rgb.begin() + 3 * (y * kWidth + x));
            }
        }
        analyser.add(frame, rgb.data());
    }
    return analyser.finish();
}

// Five flashes a second for two seconds, then two quiet seconds.
bool fivePerSecond(int frame) {
    return frame < 100 && frame % 10 == 0;
}

TEST(FlashAnalysis, ThreeFlashesInOneSecondPassAndFourFail) {
    const auto three = analyse(
        150, [](int f) { return f == 10 || f == 20 || f == 30; }, kWhite, kBlack);
    EXPECT_TRUE(three.passes());
    ASSERT_GE(three.seconds.size(), 1u);
    EXPECT_EQ(three.seconds[0].generalFlashes, 3);
    EXPECT_DOUBLE_EQ(three.seconds[0].area, 1.0);

    const auto four = analyse(
        150, [](int f) { return f == 10 || f == 20 || f == 30 || f == 40; }, kWhite, kBlack);
    ASSERT_EQ(four.failing.size(), 1u);
    EXPECT_EQ(four.failing[0].first, 10); // from the first flash's rise
    EXPECT_EQ(four.failing[0].last, 59);  // while a second holds all four
    EXPECT_EQ(four.failing[0].worstFlashes, 4);
    EXPECT_FALSE(four.failing[0].red);
    EXPECT_EQ(four.seconds[2].generalFlashes, 0);
}

TEST(FlashAnalysis, AQuarterOfAFieldIsTheMostThatMayFlash) {
    // 72 and 78 pixels of a 300-pixel field, in the frame's middle.
    const auto under = analyse(200, fivePerSecond, kWhite, kBlack, Patch{25, 18, 9, 8});
    EXPECT_TRUE(under.passes());
    EXPECT_NEAR(under.seconds[0].area, 0.24, 1e-9);
    const auto over = analyse(200, fivePerSecond, kWhite, kBlack, Patch{24, 19, 13, 6});
    ASSERT_EQ(over.failing.size(), 1u);
    EXPECT_EQ(over.failing[0].worstFlashes, 5);
}

TEST(FlashAnalysis, OnlyADarkerSideBelow080Counts) {
    // Greys of relative luminance 0.791 and 0.807 against white.
    EXPECT_FALSE(analyse(200, fivePerSecond, kWhite, Rgb{230, 230, 230}).passes());
    EXPECT_TRUE(analyse(200, fivePerSecond, kWhite, Rgb{232, 232, 232}).passes());
}

TEST(FlashAnalysis, SaturatedRedFlashesCountWhereLuminanceBarelyChanges) {
    // Against a grey of the same relative luminance (0.21): no general flash.
    const Rgb grey{127, 127, 127};
    const auto red = analyse(200, fivePerSecond, Rgb{255, 0, 0}, grey);
    ASSERT_EQ(red.failing.size(), 1u);
    EXPECT_TRUE(red.failing[0].red);
    EXPECT_EQ(red.seconds[1].generalFlashes, 0);
    EXPECT_EQ(red.seconds[1].redFlashes, 5);

    // A pale red (R/(R+G+B) 0.65) is no saturated red.
    const auto pale = analyse(200, fivePerSecond, Rgb{200, 110, 110}, grey);
    EXPECT_TRUE(pale.passes());
    EXPECT_EQ(pale.seconds[1].redFlashes, 0);
}

TEST(FlashAnalysis, ASwingCountsOnceHoweverManyFramesItTakes) {
    // Black to white and back once a second, a step each frame: one flash.
    flash::Analyser analyser(kWidth, kHeight);
    std::vector<uint8_t> rgb(kWidth * kHeight * 3);
    for (int frame = 0; frame < 250; ++frame) {
        const int phase = frame % 50;
        const int level = (phase < 25 ? phase : 50 - phase) * 255 / 25;
        std::fill(rgb.begin(), rgb.end(), static_cast<uint8_t>(level));
        analyser.add(frame, rgb.data());
    }
    const auto report = analyser.finish();
    EXPECT_TRUE(report.passes());
    EXPECT_EQ(report.seconds[2].generalFlashes, 1);
}

} // namespace
