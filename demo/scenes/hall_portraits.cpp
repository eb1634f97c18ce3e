#include <GL/gl.h>

#include <cmath>

#include "demo/assets/manifest.h"
#include "demo/scenes/overlay.h"
#include "demo/scenes/scenes.h"
#include "demo/timeline/demo_state.h"

namespace {

constexpr int32_t kLeftStripFrom = 1150;

// A selector outside the table draws untextured, like a picture that failed
// to load, rather than reading past the table.
GLuint textureOfSlot(const DemoState& state, int32_t slot) {
    if (slot < 0 || slot >= kTextureSlots) {
        return 0;
    }
    return state.textures[static_cast<size_t>(slot)];
}

// The hall, opaque, with texturing switched on for what follows.
void drawHall(const DemoState& state) {
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, state.textures[kHallSlot]);
    drawScreenQuad(0.0f);
}

// A picture over what is there, its own alpha deciding what shows through.
void layPicture(GLuint texture) {
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glBindTexture(GL_TEXTURE_2D, texture);
    drawScreenQuad(0.0f);
}

struct StripSide {
    int slot;
    int left; // strip x range in overlay units
    int right;
    float sRight; // texture s at the strip's right edge
};

// The strip picture added onto the scene, bottom edge at stripY, then the
// rise of one drawn frame. Vertices are whole units, truncated toward zero.
void drawRisingStrip(const DemoState& state, const StripSide& side, float& stripY) {
    // Still blending: destination alpha counts as 1 (no alpha bitplanes),
    // so the strip adds onto what lies below.
    glBlendFunc(GL_SRC_ALPHA, GL_DST_ALPHA);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glBindTexture(GL_TEXTURE_2D, state.textures[static_cast<size_t>(side.slot)]);
    const int bottom = static_cast<int>(stripY);
    const int top = static_cast<int>(stripY + 480.0f);
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2i(side.left, bottom);
    glTexCoord2f(side.sRight, 0.0f);
    glVertex2i(side.right, bottom);
    glTexCoord2f(side.sRight, 1.0f);
    glVertex2i(side.right, top);
    glTexCoord2f(0.0f, 1.0f);
    glVertex2i(side.left, top);
    glEnd();
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);

    stripY += 1.2f;
    if (stripY >= 0.0f) {
        stripY = 0.0f; // flush with the bottom of the screen from now on
    }
}

// The light layer's reversed factors: a mix of half the tinted light and
// half the scene; a negative tint clamps to black and halves the scene.
void beginLightLayer(const DemoState& state) {
    glBindTexture(GL_TEXTURE_2D, state.textures[kLightSlot]);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE_MINUS_SRC_ALPHA, GL_SRC_ALPHA);
}

} // namespace

void drawHallPortraitScene(DemoState& state, bool skipDraw) {
    if (skipDraw) {
        return; // catch-up steps neither draw nor move the strips
    }
    beginOverlay();
    drawHall(state);
    // The flip check ran before this call, so a cue shows on its own frame.
    layPicture(textureOfSlot(state, state.flipSelectors[0]));
    glDisable(GL_BLEND);
    if (state.frameCounter < kLeftStripFrom) {
        drawRightScrollStrip(state);
    } else {
        drawLeftScrollStrip(state);
    }
    endOverlay();
}

void drawRightScrollStrip(DemoState& state) {
    const float frame = static_cast<float>(state.frameCounter);
    beginLightLayer(state);
    glColor4f(std::sin(frame * 0.06666667f + 0.4f), 0.0f, 0.0f, 0.5f); // red, ~94 frames
    drawScreenQuad(0.0f);
    drawRisingStrip(state, StripSide{kRightStripSlot, 356, 640, 0.98f}, state.rightStripY);
}

void drawLeftScrollStrip(DemoState& state) {
    const float frame = static_cast<float>(state.frameCounter);
    glEnable(GL_TEXTURE_2D);
    beginLightLayer(state);
    glColor4f(0.0f, 0.0f, std::sin(frame * 0.33333334f), 0.5f); // blue, ~19 frames
    // The light picture mirrored left to right.
    glBegin(GL_QUADS);
    glTexCoord2f(1.0f, 0.0f);
    glVertex3f(0.0f, 0.0f, 0.0f);
    glTexCoord2f(0.0f, 0.0f);
    glVertex3f(640.0f, 0.0f, 0.0f);
    glTexCoord2f(0.0f, 1.0f);
    glVertex3f(640.0f, 480.0f, 0.0f);
    glTexCoord2f(1.0f, 1.0f);
    glVertex3f(0.0f, 480.0f, 0.0f);
    glEnd();
    drawRisingStrip(state, StripSide{kLeftStripSlot, 0, 284, 0.95f}, state.leftStripY);
}

void drawSurpriseCard(DemoState& state, bool skipDraw) {
    if (skipDraw) {
        return;
    }
    beginOverlay();
    drawHall(state);
    layPicture(state.textures[kSurpriseCardSlot]);
    glDisable(GL_BLEND);
    endOverlay();
    // Texturing stays on for the next scene.
}
