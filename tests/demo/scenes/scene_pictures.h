#pragma once
// Made-up pictures for the overlay scenes: one colour per slot, opaque inside
// a rectangle of the 640 x 480 overlay frame and transparent elsewhere, so a
// pixel tells which picture shows where.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "demo/timeline/demo_state.h"
#include "demo/timeline/timeline.h"
#include "tests/support/gl_harness.h"

struct OverlayRect {
    int left = 0, bottom = 0, right = 640, top = 480; // multiples of 10
};

// 64 x 48 texels, one per 10 x 10 units of a full-screen quad; t = 0 (the
// first row) lies at the quad's lower edge.
inline uint32_t cutoutTexture(Rgb colour, OverlayRect opaque) {
    constexpr int kW = 64, kH = 48;
    std::vector<uint8_t> texels(kW * kH * 4, 0);
    for (int row = 0; row < kH; ++row) {
        for (int col = 0; col < kW; ++col) {
            const int x = col * 10, y = row * 10;
            uint8_t* t = &texels[static_cast<size_t>((row * kW + col) * 4)];
            t[0] = static_cast<uint8_t>(colour.r);
            t[1] = static_cast<uint8_t>(colour.g);
            t[2] = static_cast<uint8_t>(colour.b);
            const bool inside =
                x >= opaque.left && x < opaque.right && y >= opaque.bottom && y < opaque.top;
            t[3] = inside ? 255 : 0;
        }
    }
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, kW, kH, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    return name;
}

inline uint32_t solid(Rgb c) {
    return GlHarness::solidTexture(static_cast<uint8_t>(c.r), static_cast<uint8_t>(c.g),
                                   static_cast<uint8_t>(c.b));
}

// Colours by slot.
namespace pic {
constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kHall{0, 0, 255};         // 3, solid
constexpr Rgb kRising{0, 255, 0};       // 8, solid
constexpr Rgb kShaken{255, 255, 0};     // 11, solid
constexpr Rgb kPhoneTop{255, 0, 255};   // 12, cut-out kPhoneTopRect
constexpr Rgb kTies1{255, 0, 0};        // 13, cut-out kTiesRect
constexpr Rgb kTies2{128, 0, 0};        // 14, cut-out kTiesRect
constexpr Rgb kLabel{255, 128, 0};      // 15, solid
constexpr Rgb kSlide1{0, 255, 255};     // 16, solid
constexpr Rgb kSlide2{0, 128, 128};     // 17, solid
constexpr Rgb kTop1{255, 128, 128};     // 18, cut-out kTopRect
constexpr Rgb kTop2{128, 64, 64};       // 19, cut-out kTopRect
constexpr Rgb kBobbing1{200, 200, 0};   // 20, cut-out kBobbingRect
constexpr Rgb kBobbing2{100, 100, 200}; // 21, cut-out kBobbingRect
constexpr OverlayRect kPhoneTopRect{200, 100, 440, 380};
constexpr OverlayRect kTiesRect{0, 0, 200, 200};
constexpr OverlayRect kTopRect{0, 0, 160, 480};
constexpr OverlayRect kBobbingRect{320, 0, 640, 480};
} // namespace pic

inline void loadScenePictures(DemoState& state) {
    using namespace pic;
    state.textures[3] = solid(kHall);
    state.textures[8] = solid(kRising);
    state.textures[11] = solid(kShaken);
    state.textures[12] = cutoutTexture(kPhoneTop, kPhoneTopRect);
    state.textures[13] = cutoutTexture(kTies1, kTiesRect);
    state.textures[14] = cutoutTexture(kTies2, kTiesRect);
    state.textures[15] = solid(kLabel);
    state.textures[16] = solid(kSlide1);
    state.textures[17] = solid(kSlide2);
    state.textures[18] = cutoutTexture(kTop1, kTopRect);
    state.textures[19] = cutoutTexture(kTop2, kTopRect);
    state.textures[20] = cutoutTexture(kBobbing1, kBobbingRect);
    state.textures[21] = cutoutTexture(kBobbing2, kBobbingRect);
}

inline Rgb slotColour(int slot) {
    using namespace pic;
    switch (slot) {
    case 13:
        return kTies1;
    case 14:
        return kTies2;
    case 16:
        return kSlide1;
    case 17:
        return kSlide2;
    case 18:
        return kTop1;
    case 19:
        return kTop2;
    case 20:
        return kBobbing1;
    case 21:
        return kBobbing2;
    default:
        return kBlack;
    }
}

// A fresh show state with the made-up pictures, in a 640 x 480 window so one
// pixel is one overlay unit, and the GL state that start-up hands over.
class OverlaySceneTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(gl.ok());
        gl.applyStartupState();
        state = std::make_unique<DemoState>();
        loadScenePictures(*state);
        glColor3f(1.0f, 0.0f, 0.0f); // the loading bar's colour
    }
    // Runs frame f through the timeline, drawn or as a catch-up step.
    void runFrame(int32_t f, bool skip = false) {
        state->frameCounter = f;
        ASSERT_EQ(runTimelineFrame(*state, skip), TimelineStep::Running);
    }
    // Runs every frame from the current counter up to and including last.
    template <typename SkipRule> void runThrough(int32_t last, SkipRule skip) {
        while (state->frameCounter <= last) {
            const bool s = skip(state->frameCounter);
            ASSERT_EQ(runTimelineFrame(*state, s), TimelineStep::Running);
        }
    }
    Rgb at(int x, int y) const { return gl.pixel(x, y); }

    GlHarness gl{640, 480};
    std::unique_ptr<DemoState> state;
};
