#include "demo/scenes/grid_and_tower.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <vector>

#include "demo/scenes/scenes.h"
#include "demo/timeline/demo_state.h"
#include "demo/timeline/timeline.h"
#include "tests/demo/scenes/scene_textures.h"
#include "tests/support/gl_harness.h"

namespace {

const Rgb kWhite{255, 255, 255};
// Page colours, one per credit slot, so a pixel tells which page shows.
const Rgb kPage1{255, 255, 0}, kPage2{0, 255, 0}, kPage6{255, 0, 255}, kTowerPage{200, 200, 255};

// A pixel inside the first "word" of a test page, and one in a gap between
// its lines near the horizon, where the grid shows through.
constexpr int kTextX = 135, kTextY = 127;
constexpr int kGapX = 320, kGapY = 232;

TEST(GridPosts, AlphaFadesFromTheAxisToNothing) {
    for (int a : {-3, 3}) {
        for (int b : {-3, 3}) {
            EXPECT_NEAR(gridPostAlpha(a, b), 0.57f, 1e-6f);
        }
    }
    EXPECT_NEAR(gridPostAlpha(57, -57), 0.03f, 1e-6f);
    EXPECT_NEAR(gridPostAlpha(-9, 105), 0.03f, 1e-6f);
    // At 120 the float sum lands a hair above zero: far below one 8-bit step.
    EXPECT_LT(gridPostAlpha(63, 57), 0.5f / 255.0f);
    EXPECT_LT(gridPostAlpha(-123, 3), 0.0f);
    EXPECT_LT(gridPostAlpha(141, 141), 0.0f);
}

TEST(GridPages, OnePagePerHundredFramesThenTheSixthStays) {
    EXPECT_EQ(gridCreditSlot(4803, 7), 24);
    EXPECT_EQ(gridCreditSlot(4899, 7), 24);
    EXPECT_EQ(gridCreditSlot(4900, 7), 25);
    EXPECT_EQ(gridCreditSlot(4999, 7), 25);
    EXPECT_EQ(gridCreditSlot(5000, 7), 26);
    EXPECT_EQ(gridCreditSlot(5100, 7), 27);
    EXPECT_EQ(gridCreditSlot(5299, 7), 28);
    EXPECT_EQ(gridCreditSlot(5300, 7), 44);
    EXPECT_EQ(gridCreditSlot(5399, 7), 44);
    EXPECT_EQ(gridCreditSlot(5400, 44), 44);
    EXPECT_EQ(gridCreditSlot(5560, 44), 44);
    EXPECT_EQ(gridCreditSlot(4802, 7), 7);
}

class GridCredits : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(gl.ok());
        gl.applyStartupState();
        glDisable(GL_DEPTH_TEST); // as the craft scene's sparks leave it
        state->textures[24] = makeTestPageTexture(255, 255, 0);
        state->textures[25] = makeTestPageTexture(0, 255, 0);
        state->textures[26] = makeTestPageTexture(0, 255, 255);
        state->textures[27] = makeTestPageTexture(0, 0, 255);
        state->textures[28] = makeTestPageTexture(255, 128, 0);
        state->textures[44] = makeTestPageTexture(255, 0, 255);
    }
    // Runs the timeline from frame `from` to `to` inclusive, all drawn.
    void run(int32_t from, int32_t to) {
        state->frameCounter = from;
        while (state->frameCounter <= to) {
            runTimelineFrame(*state, false);
        }
    }
    void expectWhite() {
        for (int y : {2, kTextY, kGapY, 477}) {
            for (int x : {2, kTextX, kGapX, 637}) {
                EXPECT_TRUE(near(gl.pixel(x, y), kWhite)) << x << "," << y;
            }
        }
    }
    GlHarness gl;
    std::unique_ptr<DemoState> state = std::make_unique<DemoState>();
};

TEST_F(GridCredits, FlashEveryTenthFrameSendsTheGridBack) {
    run(4803, 4803);
    EXPECT_FLOAT_EQ(state->gridDepth, 0.8f);
    EXPECT_EQ(state->creditSlot, 24);
    EXPECT_TRUE(near(gl.pixel(kTextX, kTextY), kPage1));
    const Rgb grid = gl.pixel(kGapX, kGapY);
    EXPECT_GT(grid.b, 40) << "the grid shows between the page's lines";
    EXPECT_EQ(grid.r, 0);
    const auto first = gl.readPixels();

    run(4804, 4810);
    EXPECT_EQ(state->gridDepth, 0.0f);
    expectWhite();

    run(4811, 4811);
    EXPECT_FLOAT_EQ(state->gridDepth, 0.8f);
    const auto again = gl.readPixels();
    EXPECT_LE(maxPixelDifference(first, again), 2) << "back at 0.8 after the flash";

    run(4812, 4812);
    EXPECT_FLOAT_EQ(state->gridDepth, 1.6f);
    EXPECT_GT(countDifferentPixels(again, gl.readPixels()), 500) << "the posts move on";

    // What the grid leaves for the scenes after it.
    EXPECT_TRUE(glIsEnabled(GL_LINE_SMOOTH) == GL_TRUE);
    GLfloat width = 0.0f;
    glGetFloatv(GL_LINE_WIDTH, &width);
    EXPECT_EQ(width, 3.0f);
    EXPECT_TRUE(glIsEnabled(GL_BLEND) == GL_FALSE);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D) == GL_FALSE);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST) == GL_FALSE) << "left alone";
}

TEST_F(GridCredits, PagesChangeOnTheirFrames) {
    run(4895, 4899);
    EXPECT_TRUE(near(gl.pixel(kTextX, kTextY), kPage1));
    run(4900, 4900);
    expectWhite();
    run(4901, 4901);
    EXPECT_EQ(state->creditSlot, 25);
    EXPECT_TRUE(near(gl.pixel(kTextX, kTextY), kPage2));

    run(5395, 5399);
    EXPECT_EQ(state->creditSlot, 44);
    EXPECT_TRUE(near(gl.pixel(kTextX, kTextY), kPage6));
    run(5400, 5401);
    EXPECT_EQ(state->creditSlot, 44);
    EXPECT_TRUE(near(gl.pixel(kTextX, kTextY), kPage6));
}

TEST_F(GridCredits, CatchUpStepsAdvanceTheDepthToo) {
    state->frameCounter = 4821;
    for (int i = 0; i < 5; ++i) {
        runTimelineFrame(*state, true);
    }
    EXPECT_NEAR(state->gridDepth, 5 * 0.8f, 1e-5f);
    runTimelineFrame(*state, true); // 4826
    runTimelineFrame(*state, true);
    runTimelineFrame(*state, true);
    runTimelineFrame(*state, true);
    runTimelineFrame(*state, true); // 4830, a flash frame, skipped
    EXPECT_EQ(state->gridDepth, 0.0f);
}

// Ring vertices (colour yellow) as the tower sends them to the screen.
std::vector<std::array<double, 3>> ringVertices(DemoState& state) {
    std::vector<GLfloat> buffer(1 << 20);
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D_COLOR, buffer.data());
    glRenderMode(GL_FEEDBACK);
    drawQuadricTower(state);
    const GLint used = glRenderMode(GL_RENDER);
    std::vector<std::array<double, 3>> ring;
    // GL_3D_COLOR: x, y, z, then r, g, b, a per vertex.
    auto take = [&](GLint at) {
        const GLfloat* v = &buffer[static_cast<size_t>(at)];
        if (v[3] > 0.99f && v[4] > 0.99f && v[5] < 0.01f) {
            ring.push_back({v[0], v[1], v[2]});
        }
    };
    GLint i = 0;
    while (i < used) {
        const GLint token = static_cast<GLint>(buffer[static_cast<size_t>(i++)]);
        if (token == GL_POLYGON_TOKEN) {
            const GLint n = static_cast<GLint>(buffer[static_cast<size_t>(i++)]);
            for (GLint k = 0; k < n; ++k, i += 7) {
                take(i);
            }
        } else if (token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN) {
            take(i);
            take(i + 7);
            i += 14;
        } else if (token == GL_POINT_TOKEN || token == GL_BITMAP_TOKEN ||
                   token == GL_DRAW_PIXEL_TOKEN || token == GL_COPY_PIXEL_TOKEN) {
            take(i);
            i += 7;
        } else if (token == GL_PASS_THROUGH_TOKEN) {
            i += 1;
        } else {
            ADD_FAILURE() << "unknown feedback token " << token;
            break;
        }
    }
    return ring;
}

// Largest distance of the points from their least-squares plane
// z = p x + q y + r, in window depth units.
double planeResidual(const std::vector<std::array<double, 3>>& pts) {
    double sxx = 0, sxy = 0, syy = 0, sx = 0, sy = 0, sxz = 0, syz = 0, sz = 0;
    const double n = static_cast<double>(pts.size());
    for (const auto& p : pts) {
        sxx += p[0] * p[0];
        sxy += p[0] * p[1];
        syy += p[1] * p[1];
        sx += p[0];
        sy += p[1];
        sxz += p[0] * p[2];
        syz += p[1] * p[2];
        sz += p[2];
    }
    // Solve the 3 x 3 normal equations by Cramer's rule.
    const double m[3][3] = {{sxx, sxy, sx}, {sxy, syy, sy}, {sx, sy, n}};
    const double rhs[3] = {sxz, syz, sz};
    auto det = [](const double a[3][3]) {
        return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
               a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
               a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
    };
    const double d = det(m);
    double coef[3];
    for (int c = 0; c < 3; ++c) {
        double mc[3][3];
        for (int r = 0; r < 3; ++r) {
            for (int k = 0; k < 3; ++k) {
                mc[r][k] = k == c ? rhs[r] : m[r][k];
            }
        }
        coef[c] = det(mc) / d;
    }
    double worst = 0;
    for (const auto& p : pts) {
        worst = std::max(worst, std::fabs(p[2] - (coef[0] * p[0] + coef[1] * p[1] + coef[2])));
    }
    return worst;
}

class QuadricTower : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(gl.ok());
        gl.applyStartupState();
        state->textures[22] = makeTestSpotTexture();
        state->textures[29] = makeTestPageTexture(200, 200, 255);
    }
    GlHarness gl;
    std::unique_ptr<DemoState> state = std::make_unique<DemoState>();
};

TEST_F(QuadricTower, FirstCallDrawsWithPhaseZero) {
    // Rings not turned yet: all three lie in one plane on the first call.
    const auto first = ringVertices(*state);
    EXPECT_FLOAT_EQ(state->towerPhase, 4.2f);
    ASSERT_GT(first.size(), 100u);
    const auto second = ringVertices(*state);
    EXPECT_FLOAT_EQ(state->towerPhase, 8.4f);
    ASSERT_GT(second.size(), 100u);
    const double flat = planeResidual(first);
    const double turned = planeResidual(second);
    EXPECT_LT(flat, 2e-6) << "window depth is float, so a little noise remains";
    EXPECT_LT(flat * 20.0, turned) << flat << " vs " << turned;
}

TEST_F(QuadricTower, FrameBeforeIsBlackAndTheTowerGlowsUnderItsPage) {
    glDisable(GL_DEPTH_TEST); // as the grid left it
    glDisable(GL_TEXTURE_2D);
    state->frameCounter = 6395;
    runTimelineFrame(*state, false);
    EXPECT_EQ(countLitPixels(gl.readPixels()), 0) << "frame 6395 is in no window";
    EXPECT_EQ(state->towerPhase, 0.0f);

    runTimelineFrame(*state, false);
    EXPECT_FLOAT_EQ(state->towerPhase, 4.2f);
    EXPECT_TRUE(near(gl.pixel(kTextX, kTextY), kTowerPage)) << "the page lies over the tower";
    EXPECT_GT(countLitPixels(gl.readPixels()), 640 * 480 / 4) << "the tower shows through";
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST) == GL_TRUE) << "back on for the rest of the show";
    EXPECT_TRUE(glIsEnabled(GL_BLEND) == GL_FALSE);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D) == GL_FALSE);
}

// Counts, not pixels: a small window keeps 200 frames quick.
TEST(QuadricTowerSteps, CatchUpCallsAdvanceAndKeepOneQuadric) {
    GlHarness gl(80, 60);
    ASSERT_TRUE(gl.ok());
    gl.applyStartupState();
    auto state = std::make_unique<DemoState>();
    state->frameCounter = 6396;
    runTimelineFrame(*state, true);
    GLUquadric* const quadric = state->towerQuadric;
    ASSERT_NE(quadric, nullptr);
    for (int i = 1; i < 200; ++i) {
        runTimelineFrame(*state, i % 2 == 0);
        ASSERT_EQ(state->towerQuadric, quadric);
    }
    EXPECT_NEAR(state->towerPhase, 200 * 4.2f, 0.05f);
    EXPECT_EQ(state->craftQuadric, nullptr);
}

} // namespace
