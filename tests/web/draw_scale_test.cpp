// The page's drawing scale: smaller while catch-up steps pile up, never
// below its floor, larger again only after the machine has kept up a while.
#include <gtest/gtest.h>

#include "web/browser/draw_scale.h"

namespace {

// One look's worth of frames, `steps` of them catch-up steps; whether the
// scale changed at its end (and never before).
bool look(DrawScale& s, int steps) {
    bool changed = false;
    for (int i = 0; i < DrawScale::kWindowFrames; ++i) {
        const bool now = s.noteFrame(i < steps);
        EXPECT_TRUE(!now || i == DrawScale::kWindowFrames - 1) << "changed mid-look at " << i;
        changed |= now;
    }
    return changed;
}

TEST(DrawScale, ShrinksWhileFallingBehindToItsFloorAndGrowsBackOnlyAfterKeepingUp) {
    DrawScale s(0.5);
    EXPECT_FALSE(look(s, DrawScale::kMostSteps)) << "a quarter of the frames stepped is still fine";
    EXPECT_TRUE(look(s, DrawScale::kMostSteps + 1));
    EXPECT_DOUBLE_EQ(s.scale(), DrawScale::kStep);
    for (int i = 0; i < 10; ++i) {
        look(s, DrawScale::kWindowFrames);
    }
    EXPECT_DOUBLE_EQ(s.scale(), 0.5) << "never below the floor";
    EXPECT_DOUBLE_EQ(s.least(), 0.5);

    // Clean looks grow it one step; a single catch-up step starts the count again.
    for (int i = 0; i < DrawScale::kCleanLooksToGrow - 1; ++i) {
        EXPECT_FALSE(look(s, 0));
    }
    EXPECT_FALSE(look(s, 1));
    for (int i = 0; i < DrawScale::kCleanLooksToGrow - 1; ++i) {
        EXPECT_FALSE(look(s, 0));
    }
    EXPECT_TRUE(look(s, 0));
    EXPECT_DOUBLE_EQ(s.scale(), 0.5 / DrawScale::kStep);
    for (int i = 0; i < 10 * DrawScale::kCleanLooksToGrow; ++i) {
        look(s, 0);
    }
    EXPECT_DOUBLE_EQ(s.scale(), 1.0) << "never above the window's size";
    EXPECT_DOUBLE_EQ(s.least(), 0.5);

    // A window no larger than the show's own size is always drawn whole.
    DrawScale small(1.0);
    EXPECT_FALSE(look(small, DrawScale::kWindowFrames));
    EXPECT_DOUBLE_EQ(small.scale(), 1.0);
}

} // namespace
