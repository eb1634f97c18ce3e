// The launcher's layout on real screen sizes, its hover test's edges, the
// toggle and the command line it starts the demo with.

#include "launcher/layout.h"

#include <gtest/gtest.h>

namespace {

TEST(RoundHalfEven, TiesGoToTheEvenNeighbour) {
    EXPECT_EQ(roundHalfEven(2.5), 2);
    EXPECT_EQ(roundHalfEven(1.5), 2);
    EXPECT_EQ(roundHalfEven(0.5), 0);
    EXPECT_EQ(roundHalfEven(3.5), 4);
    EXPECT_EQ(roundHalfEven(-0.5), 0);
    EXPECT_EQ(roundHalfEven(-1.5), -2);
    EXPECT_EQ(roundHalfEven(2.4999999), 2);
    EXPECT_EQ(roundHalfEven(2.5000001), 3);
    EXPECT_EQ(roundHalfEven(652.8), 653);
    EXPECT_EQ(roundHalfEven(198.4), 198);
}

struct Screen {
    int32_t cx, cy;
    double scale;
    int32_t w, h, marginX, marginY;
};

TEST(LauncherLayout, ScalesAndCentresTheDesignOnRealScreens) {
    const Screen screens[] = {
        {1024, 768, 0.64, 1024, 768, 0, 0},
        {1280, 1024, 0.8, 1280, 960, 0, 32},
        {1920, 1080, 0.9, 1440, 1080, 240, 0},
        {1366, 768, 0.64, 1024, 768, 171, 0},
        {800, 600, 0.5, 800, 600, 0, 0},
        {1600, 1200, 1.0, 1600, 1200, 0, 0},
        // An odd leftover halves to .5 and rounds to even.
        {1025, 768, 0.64, 1024, 768, 0, 0},
        {1027, 768, 0.64, 1024, 768, 2, 0},
        {1024, 771, 0.64, 1024, 768, 0, 2},
        {1024, 769, 0.64, 1024, 768, 0, 0},
    };
    for (const Screen& s : screens) {
        SCOPED_TRACE(std::to_string(s.cx) + "x" + std::to_string(s.cy));
        const LauncherLayout layout = computeLayout(s.cx, s.cy);
        EXPECT_DOUBLE_EQ(layout.layoutScale, s.scale);
        EXPECT_EQ(layout.pictureWidth, s.w);
        EXPECT_EQ(layout.pictureHeight, s.h);
        EXPECT_EQ(layout.marginX, s.marginX);
        EXPECT_EQ(layout.marginY, s.marginY);
    }
}

TEST(LauncherLayout, EqualScalesKeepTheWidthScale) {
    // Both scales are 2: the picture fills the screen exactly.
    const LauncherLayout layout = computeLayout(3200, 2400);
    EXPECT_DOUBLE_EQ(layout.layoutScale, 2.0);
    EXPECT_EQ(layout.pictureWidth, 3200);
    EXPECT_EQ(layout.pictureHeight, 2400);
}

void expectTwips(const TwipsRect& r, double left, double top, double width, double height) {
    EXPECT_FLOAT_EQ(r.left, float(left * 15));
    EXPECT_FLOAT_EQ(r.top, float(top * 15));
    EXPECT_FLOAT_EQ(r.width, float(width * 15));
    EXPECT_FLOAT_EQ(r.height, float(height * 15));
}

TEST(LauncherLayout, PlacesTheControlsInTwips) {
    {
        SCOPED_TRACE("1024x768");
        const LauncherLayout layout = computeLayout(1024, 768);
        expectTwips(placeControl(layout, kImage2Design), 652.8, 198.4, 64, 64);
        expectTwips(placeControl(layout, kImage3Design), 371.2, 419.2, 184.32, 43.52);
        expectTwips(placeControl(layout, kImage5Design), 617.6, 320, 104.96, 88.96);
        EXPECT_FLOAT_EQ(placeControl(layout, kImage2Design).left, 9792.0f);
    }
    {
        SCOPED_TRACE("1280x1024: the vertical margin moves every top");
        const LauncherLayout layout = computeLayout(1280, 1024);
        expectTwips(placeControl(layout, kImage2Design), 816, 32 + 248, 80, 80);
        expectTwips(placeControl(layout, kImage3Design), 464, 32 + 524, 230.4, 54.4);
    }
    {
        SCOPED_TRACE("1920x1080: the horizontal margin moves every left");
        const LauncherLayout layout = computeLayout(1920, 1080);
        expectTwips(placeControl(layout, kImage3Design), 240 + 522, 589.5, 259.2, 61.2);
        expectTwips(placeControl(layout, kImage5Design), 240 + 868.5, 450, 147.6, 125.1);
    }
    {
        SCOPED_TRACE("1366x768");
        const LauncherLayout layout = computeLayout(1366, 768);
        expectTwips(placeControl(layout, kImage2Design), 171 + 652.8, 198.4, 64, 64);
    }
    {
        SCOPED_TRACE("1027x768");
        const LauncherLayout layout = computeLayout(1027, 768);
        expectTwips(placeControl(layout, kImage2Design), 2 + 652.8, 198.4, 64, 64);
    }
}

TEST(HoverTest, Image2On1024x768ShowsOnlyStrictlyInside) {
    const TwipsRect image2 = placeControl(computeLayout(1024, 768), kImage2Design);
    // Inside while 653 < px < 717 and 198 < py < 262.
    EXPECT_TRUE(cursorInside(image2, 654, 199));
    EXPECT_TRUE(cursorInside(image2, 716, 261));
    EXPECT_TRUE(cursorInside(image2, 685, 230));
    EXPECT_FALSE(cursorInside(image2, 653, 230)); // left edge
    EXPECT_FALSE(cursorInside(image2, 717, 230)); // L + w
    EXPECT_FALSE(cursorInside(image2, 685, 198)); // top edge
    EXPECT_FALSE(cursorInside(image2, 685, 262)); // T + h
    EXPECT_FALSE(cursorInside(image2, 0, 0));
    EXPECT_FALSE(cursorInside(image2, -700, -230));
}

TEST(HoverTest, Image3On1024x768UsesTheUnroundedSize) {
    const TwipsRect image3 = placeControl(computeLayout(1024, 768), kImage3Design);
    // Inside while 371 < px < 555.32 and 419 < py < 462.52.
    EXPECT_FALSE(cursorInside(image3, 371, 440));
    EXPECT_TRUE(cursorInside(image3, 372, 440));
    EXPECT_TRUE(cursorInside(image3, 555, 440));
    EXPECT_FALSE(cursorInside(image3, 556, 440));
    EXPECT_FALSE(cursorInside(image3, 460, 419));
    EXPECT_TRUE(cursorInside(image3, 460, 420));
    EXPECT_TRUE(cursorInside(image3, 460, 462));
    EXPECT_FALSE(cursorInside(image3, 460, 463));
}

TEST(HoverTest, RoundsTheCornerButNotTheFarEdge) {
    // On 1366 x 768 Image2's left is 823.8 px: L = 824, and the far edge is
    // L + 64 = 888, not 823.8 + 64.
    const TwipsRect image2 = placeControl(computeLayout(1366, 768), kImage2Design);
    EXPECT_FALSE(cursorInside(image2, 824, 230));
    EXPECT_TRUE(cursorInside(image2, 825, 230));
    EXPECT_TRUE(cursorInside(image2, 887, 230));
    EXPECT_FALSE(cursorInside(image2, 888, 230));

    // A corner on a half pixel rounds to even: 8.5 -> 8, 9.5 -> 10.
    TwipsRect half{127.5f, 142.5f, 150.0f, 150.0f};
    EXPECT_TRUE(cursorInside(half, 9, 11));
    EXPECT_FALSE(cursorInside(half, 8, 11));
    EXPECT_FALSE(cursorInside(half, 9, 10));
    EXPECT_TRUE(cursorInside(half, 17, 19));
    EXPECT_FALSE(cursorInside(half, 18, 19));
    EXPECT_FALSE(cursorInside(half, 17, 20));
}

TEST(HoverTest, TheWindowOriginMovesTheRectangle) {
    const TwipsRect image2 = placeControl(computeLayout(1024, 768), kImage2Design);
    EXPECT_FALSE(cursorInside(image2, 654, 199, 10, 20));
    EXPECT_FALSE(cursorInside(image2, 663, 218, 10, 20));
    EXPECT_TRUE(cursorInside(image2, 664, 219, 10, 20));
    EXPECT_TRUE(cursorInside(image2, 726, 281, 10, 20));
    EXPECT_FALSE(cursorInside(image2, 727, 281, 10, 20));
}

TEST(Toggle, AlternatesFromFullScreen) {
    int16_t choice = 1; // after activation
    for (int clicks = 1; clicks <= 7; ++clicks) {
        choice = toggleChoice(choice);
        EXPECT_EQ(choice, clicks % 2 == 1 ? 0 : 1) << clicks << " clicks";
    }
    EXPECT_EQ(toggleChoice(0), 1);
    EXPECT_EQ(toggleChoice(1), 0);
    EXPECT_EQ(toggleChoice(5), 0); // anything but 0 counts as on
}

TEST(DemoCommandLine, NamesTheDemoAndTheChoice) {
    EXPECT_EQ(demoCommandLine(1), "demo 1");
    EXPECT_EQ(demoCommandLine(0), "demo 0");

    int16_t choice = 1;
    EXPECT_EQ(demoCommandLine(choice), "demo 1"); // no click on the toggle
    choice = toggleChoice(choice);
    EXPECT_EQ(demoCommandLine(choice), "demo 0"); // one click
    for (int i = 0; i < 3; ++i) {
        choice = toggleChoice(choice);
    }
    EXPECT_EQ(demoCommandLine(choice), "demo 1"); // four clicks
    choice = toggleChoice(choice);
    EXPECT_EQ(demoCommandLine(choice), "demo 0"); // five clicks
}

TEST(ControlPixels, RoundBothEdgesOfTheControl) {
    const TwipsRect image2 = placeControl(computeLayout(1024, 768), kImage2Design);
    const PixelRect pixels = controlPixels(image2);
    EXPECT_EQ(pixels.x, 653);
    EXPECT_EQ(pixels.y, 198);
    EXPECT_EQ(pixels.width, 64);  // 652.8 + 64 = 716.8 -> 717
    EXPECT_EQ(pixels.height, 64); // 198.4 + 64 = 262.4 -> 262
    const PixelRect image3 = controlPixels(placeControl(computeLayout(1024, 768), kImage3Design));
    EXPECT_EQ(image3.x, 371);
    EXPECT_EQ(image3.width, 556 - 371); // 555.52 -> 556
    EXPECT_EQ(image3.y, 419);
    EXPECT_EQ(image3.height, 463 - 419);
}

} // namespace
