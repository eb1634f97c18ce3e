#include "demo/scenes/greeting_tiles.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include "demo/scenes/scenes.h"
#include "demo/timeline/demo_state.h"
#include "demo/timeline/timeline.h"
#include "tests/support/gl_harness.h"

namespace {

// The show's generator, written out again so the test does not trust it.
struct Lcg {
    uint32_t state = 1;
    int next() {
        state = state * 214013u + 2531011u;
        return static_cast<int>((state >> 16) & 0x7FFFu);
    }
};

std::vector<Tile> tilesOf(DemoState& state, int k) {
    std::vector<Tile> tiles;
    for (void* item = state.tileLists[k].first(); item != nullptr;
         item = state.tileLists[k].next()) {
        tiles.push_back(*static_cast<Tile*>(item));
    }
    return tiles;
}

// z of a corner after it has flown `steps` frames.
float flownZ(int steps) {
    float z = 0.0f;
    for (int i = 0; i < steps && z < 17.0f; ++i) {
        z += 2.9f;
    }
    return z;
}

TEST(TileSchedule, StartAndDriftFrames) {
    const int starts[12] = {0, 70, 140, 210, 280, 350, 420, 489, 560, 630, 700, 770};
    for (int k = 0; k < 12; ++k) {
        EXPECT_EQ(tileStartFrame(k), starts[k]) << "picture " << k;
        EXPECT_EQ(tileDriftFrame(k), starts[k] + 60) << "picture " << k;
    }
}

TEST(InitTileLists, FirstTilesFollowTheGeneratorFromStateOne) {
    auto state = std::make_unique<DemoState>();
    initTileLists(*state);
    Tile* tile = static_cast<Tile*>(state->tileLists[0].first());
    ASSERT_NE(tile, nullptr);
    // From state 1 the generator gives 41, 18467, 6334, 26500, 19169, ...
    EXPECT_FLOAT_EQ(tile->delay, 41.0f);
    EXPECT_EQ(tile->velocity[0], 2 * 0.0033333334f);
    EXPECT_EQ(tile->velocity[1], -1 * 0.0033333334f);
    EXPECT_EQ(tile->velocity[2], -5 * 0.0033333334f);
    tile = static_cast<Tile*>(state->tileLists[0].next());
    ASSERT_NE(tile, nullptr);
    EXPECT_FLOAT_EQ(tile->delay, 19.0f);              // 19169 % 50
    EXPECT_EQ(tile->velocity[0], -1 * 0.0033333334f); // 15724 % 10 - 5
    EXPECT_EQ(tile->velocity[1], 3 * 0.0033333334f);  // 11478
    EXPECT_EQ(tile->velocity[2], 3 * 0.0033333334f);  // 29358
}

TEST(InitTileLists, EveryTileAndOffsetFromTheSequence) {
    auto state = std::make_unique<DemoState>();
    initTileLists(*state);
    Lcg rand;
    for (int k = 0; k < 12; ++k) {
        ASSERT_EQ(state->tileLists[k].size(), 100);
        std::vector<Tile> tiles = tilesOf(*state, k);
        ASSERT_EQ(tiles.size(), 100u);
        int mismatches = 0;
        for (int i = 0; i < 10; ++i) {
            for (int j = 0; j < 10; ++j) {
                const Tile& t = tiles[static_cast<size_t>(i * 10 + j)];
                mismatches += t.delay != static_cast<float>(rand.next() % 50);
                for (int c = 0; c < 3; ++c) {
                    mismatches +=
                        t.velocity[c] != static_cast<float>(rand.next() % 10 - 5) * 0.0033333334f;
                }
                mismatches += t.alpha != 1.0f;
                for (int n = 0; n < 4; ++n) {
                    mismatches += t.corners[n][2] != 0.0f;
                    mismatches += t.texcoords[n][0] != t.corners[n][0];
                    mismatches += t.texcoords[n][1] != t.corners[n][1];
                }
                mismatches += t.corners[0][0] != static_cast<float>(i) * 0.1f;
                mismatches += t.corners[0][1] != static_cast<float>(j) * 0.1f;
            }
        }
        EXPECT_EQ(mismatches, 0) << "picture " << k;
    }
    for (int k = 12; k < 16; ++k) {
        EXPECT_EQ(state->tileLists[k].size(), 0);
    }
    for (size_t m = 0; m < state->tileOffsets.size(); ++m) {
        const float offset = state->tileOffsets[m];
        EXPECT_EQ(offset, static_cast<float>(rand.next() % 10) * 0.1f - 1.0f) << m;
        EXPECT_GE(offset, -1.0f);
        EXPECT_LE(offset, -0.099f);
    }
    EXPECT_EQ(state->random.state, rand.state); // 4832 draws, no more
}

TEST(InitTileLists, CornersRunColumnByColumnFromTheBottomLeft) {
    auto state = std::make_unique<DemoState>();
    initTileLists(*state);
    std::vector<Tile> tiles = tilesOf(*state, 5);
    struct Expect {
        size_t index;
        float x0, y0;
    };
    for (Expect e : {Expect{0, 0.0f, 0.0f}, Expect{1, 0.0f, 0.1f}, Expect{10, 0.1f, 0.0f},
                     Expect{37, 0.3f, 0.7f}, Expect{99, 0.9f, 0.9f}}) {
        const Tile& t = tiles[e.index];
        const float want[4][2] = {
            {e.x0, e.y0}, {e.x0, e.y0 + 0.1f}, {e.x0 + 0.1f, e.y0 + 0.1f}, {e.x0 + 0.1f, e.y0}};
        for (int n = 0; n < 4; ++n) {
            EXPECT_NEAR(t.corners[n][0], want[n][0], 1e-6) << e.index << " corner " << n;
            EXPECT_NEAR(t.corners[n][1], want[n][1], 1e-6) << e.index << " corner " << n;
            EXPECT_NEAR(t.texcoords[n][0], want[n][0], 1e-6) << e.index << " corner " << n;
            EXPECT_NEAR(t.texcoords[n][1], want[n][1], 1e-6) << e.index << " corner " << n;
        }
    }
    EXPECT_EQ(tiles[99].corners[2][0], 1.0f);
    EXPECT_EQ(tiles[99].corners[2][1], 1.0f);
}

int allocationsLeft = 0;
void* failingAllocator(size_t size) {
    return allocationsLeft-- > 0 ? std::malloc(size) : nullptr;
}

TEST(InitTileLists, FailedTileAllocationLeavesConsistentLists) {
    auto state = std::make_unique<DemoState>();
    allocationsLeft = 149;
    EXPECT_THROW(fillTileLists(*state, failingAllocator), std::bad_alloc);
    EXPECT_EQ(state->tileLists[0].size(), 100);
    EXPECT_EQ(state->tileLists[1].size(), 49);
    EXPECT_EQ(state->tileLists[2].size(), 0);
    EXPECT_EQ(tilesOf(*state, 1).size(), 49u);
    // Destroying the state frees what was built (checked under ASan).
}

TEST(InitTileListsDeathTest, AllocationFailureEndsWithStatusOne) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto state = std::make_unique<DemoState>();
    EXPECT_EXIT(
        {
            allocationsLeft = 10;
            initTileLists(*state, failingAllocator);
            std::exit(0);
        },
        ::testing::ExitedWithCode(1), "out of memory");
}

// --- rendering, through the real timeline -----------------------------------

constexpr int kWidth = 320;
constexpr int kHeight = 240;
const Rgb kBackground{40, 40, 40};
const Rgb kPictureColours[12] = {
    {255, 0, 0},   {0, 255, 0},   {0, 0, 255},   {255, 255, 0}, {255, 0, 255}, {0, 255, 255},
    {255, 128, 0}, {128, 0, 255}, {0, 128, 255}, {255, 0, 128}, {128, 255, 0}, {0, 255, 128},
};

struct Box {
    int x0 = 1 << 20, y0 = 1 << 20, x1 = -1, y1 = -1;
    bool empty() const { return x1 < 0; }
};

class TileBurstRender : public ::testing::Test {
  protected:
    GlHarness gl{kWidth, kHeight};
    std::unique_ptr<DemoState> state;

    void SetUp() override {
        if (!gl.ok()) {
            GTEST_SKIP() << "no GL context";
        }
        gl.applyStartupState();
        state = std::make_unique<DemoState>();
        initTileLists(*state);
        state->textures[30] = GlHarness::solidTexture(40, 40, 40);
        for (int k = 0; k < 12; ++k) {
            const Rgb c = kPictureColours[k];
            state->textures[31 + k] = GlHarness::solidTexture(
                static_cast<uint8_t>(c.r), static_cast<uint8_t>(c.g), static_cast<uint8_t>(c.b));
        }
        state->frameCounter = 5561;
    }

    int localFrame() const { return state->frameCounter - 5560; }

    // Window pixels of one colour.
    Box boxOf(const Rgb& colour) const {
        const std::vector<uint8_t> rows = gl.readPixels();
        Box box;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const size_t at = (static_cast<size_t>(y) * kWidth + static_cast<size_t>(x)) * 3;
                if (near(Rgb{rows[at], rows[at + 1], rows[at + 2]}, colour)) {
                    box.x0 = std::min(box.x0, x);
                    box.x1 = std::max(box.x1, x);
                    box.y0 = std::min(box.y0, y);
                    box.y1 = std::max(box.y1, y);
                }
            }
        }
        return box;
    }

    // Window position of a point of picture k's frame at view depth z.
    std::array<double, 2> project(int k, double x, double y, double z) const {
        GLdouble model[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        GLdouble projection[16];
        GLint viewport[4];
        glGetDoublev(GL_PROJECTION_MATRIX, projection);
        glGetIntegerv(GL_VIEWPORT, viewport);
        GLdouble wx = 0, wy = 0, wz = 0;
        gluProject(state->tileOffsets[2 * k] + x, state->tileOffsets[2 * k + 1] + y, z, model,
                   projection, viewport, &wx, &wy, &wz);
        return {wx, wy};
    }
};

TEST_F(TileBurstRender, EachPictureAppearsSmallTheFrameAfterItsStart) {
    int flightMismatches = 0;
    while (localFrame() <= 834) {
        const int lt = localFrame();
        ASSERT_EQ(runTimelineFrame(*state, false), TimelineStep::Running);
        for (int k = 0; k < 12; ++k) {
            const int start = tileStartFrame(k);
            if (lt == start) {
                EXPECT_TRUE(boxOf(kPictureColours[k]).empty()) << "picture " << k;
            }
            if (lt == start + 1) {
                // Emitted with every corner at z 0: the unit square 20 units away.
                const Box box = boxOf(kPictureColours[k]);
                const auto low = project(k, 0, 0, -20);
                const auto high = project(k, 1, 1, -20);
                ASSERT_FALSE(box.empty()) << "picture " << k;
                EXPECT_NEAR(box.x0, low[0], 1.5) << "picture " << k;
                EXPECT_NEAR(box.y0, low[1], 1.5) << "picture " << k;
                EXPECT_NEAR(box.x1 + 1, high[0], 1.5) << "picture " << k;
                EXPECT_NEAR(box.y1 + 1, high[1], 1.5) << "picture " << k;
            }
            // Until its drift frame each tile has flown one step a frame from
            // the frame after start + delay, up to the front.
            if (lt <= tileDriftFrame(k)) {
                for (const Tile& t : tilesOf(*state, k)) {
                    const int steps = std::max(0, lt - start - static_cast<int>(t.delay));
                    for (int n = 0; n < 4; ++n) {
                        flightMismatches += t.corners[n][2] != flownZ(steps);
                    }
                }
            }
        }
    }
    EXPECT_EQ(flightMismatches, 0);
}

TEST_F(TileBurstRender, TilesDriftAndFadeFromTheFrameAfterTheDriftFrame) {
    // Picture 11 is still fading when the scene ends at lt 834.
    for (int k : {0, 7, 10}) {
        const int end = tileDriftFrame(k);
        while (localFrame() < end) {
            runTimelineFrame(*state, false);
        }
        const std::vector<Tile> held = tilesOf(*state, k);
        // The middle of one tile, away from the vertices where corners meet.
        const auto centre = project(k, 0.55, 0.55, flownZ(6) - 20.0f);
        const int cx = static_cast<int>(centre[0]);
        const int cy = static_cast<int>(centre[1]);

        runTimelineFrame(*state, false); // lt = end: still held at the front
        EXPECT_TRUE(near(gl.pixel(cx, cy), kPictureColours[k])) << "picture " << k;
        std::vector<Tile> now = tilesOf(*state, k);
        for (size_t i = 0; i < held.size(); ++i) {
            EXPECT_EQ(now[i].alpha, 1.0f);
            for (int n = 0; n < 4; ++n) {
                EXPECT_EQ(now[i].corners[n][0], held[i].corners[n][0]);
                EXPECT_EQ(now[i].corners[n][2], flownZ(6));
            }
        }

        runTimelineFrame(*state, false); // lt = end + 1: drifting, corners fading
        const Rgb fading = gl.pixel(cx, cy);
        EXPECT_FALSE(near(fading, kPictureColours[k], 8)) << "picture " << k;
        EXPECT_FALSE(near(fading, kBackground, 8)) << "picture " << k;
        now = tilesOf(*state, k);
        const float alpha = 1.0f - 0.06f - 0.06f - 0.06f - 0.06f;
        for (size_t i = 0; i < held.size(); ++i) {
            EXPECT_EQ(now[i].alpha, alpha);
            for (int n = 0; n < 4; ++n) {
                for (int c = 0; c < 3; ++c) {
                    EXPECT_EQ(now[i].corners[n][c], held[i].corners[n][c] + held[i].velocity[c]);
                }
            }
        }

        while (localFrame() <= end + 6) {
            runTimelineFrame(*state, false);
        }
        EXPECT_TRUE(near(gl.pixel(cx, cy), kBackground)) << "picture " << k << " has faded";
        for (const Tile& t : tilesOf(*state, k)) {
            EXPECT_LE(t.alpha, 0.0f);
            EXPECT_GT(t.alpha, -0.06f);
        }
    }
}

TEST_F(TileBurstRender, BlendingStaysOnOnceTheLastPictureStarts) {
    // A half-transparent background tells whether it was drawn blended.
    state->textures[30] = GlHarness::solidTexture(200, 100, 0, 128);
    const Rgb opaque{200, 100, 0};
    const Rgb blended{100, 50, 0}; // over the black clear colour
    while (localFrame() < 770) {
        runTimelineFrame(*state, true);
        ASSERT_FALSE(glIsEnabled(GL_BLEND)) << "lt " << localFrame() - 1;
        ASSERT_FALSE(glIsEnabled(GL_DEPTH_TEST));
    }
    runTimelineFrame(*state, false); // lt 770
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_TRUE(near(gl.pixel(2, 2), opaque));
    runTimelineFrame(*state, false); // lt 771: picture 11 starts, blending left on
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_TRUE(near(gl.pixel(2, 2), opaque));
    runTimelineFrame(*state, false); // the background now blends
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_TRUE(near(gl.pixel(2, 2), blended, 4));
    EXPECT_TRUE(near(gl.pixel(kWidth - 3, kHeight - 3), blended, 4));
}

TEST_F(TileBurstRender, CatchUpStepsMoveTheTilesLikeDrawnFrames) {
    auto other = std::make_unique<DemoState>();
    initTileLists(*other);
    other->frameCounter = state->frameCounter;
    while (localFrame() <= 200) {
        runTimelineFrame(*state, false);
        runTimelineFrame(*other, state->frameCounter % 2 == 0);
    }
    for (int k = 0; k < 3; ++k) {
        const std::vector<Tile> a = tilesOf(*state, k);
        const std::vector<Tile> b = tilesOf(*other, k);
        ASSERT_EQ(a.size(), b.size());
        for (size_t i = 0; i < a.size(); ++i) {
            EXPECT_EQ(a[i].alpha, b[i].alpha);
            EXPECT_EQ(a[i].corners[3][0], b[i].corners[3][0]);
            EXPECT_EQ(a[i].corners[3][2], b[i].corners[3][2]);
        }
    }
    // Picture 2 has drifted by now; picture 0 sits far from where it began.
    EXPECT_NE(tilesOf(*state, 0)[0].corners[0][2], 0.0f);
}

} // namespace
