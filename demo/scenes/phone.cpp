#include <GL/gl.h>

#include <cmath>

#include "demo/assets/manifest.h"
#include "demo/scenes/overlay.h"
#include "demo/scenes/scenes.h"
#include "demo/timeline/demo_state.h"

namespace {

constexpr float kRiseStep = 0.8f;

// One picture jittered sideways by up to 5 units, a new offset every frame.
void drawShakenPicture(DemoState& state) {
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    const float shift = 5.0f * std::sin(static_cast<float>(state.frameCounter));
    glTranslatef(shift, 0.0f, 0.0f);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, state.textures[kShakenPhoneSlot]);
    // Blending is still off from the card scene before this one.
    drawScreenQuad(0.0f);
    // 2D texturing stays on for the next frame.
}

// A picture rising behind a second one that stays in place.
void drawRisingPictures(DemoState& state) {
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glBindTexture(GL_TEXTURE_2D, state.textures[kRisingPhoneSlot]);
    // The blend factors in force are the ones set below on the previous frame
    // (or by the card scene); only black lies underneath, so they don't matter.
    const int bottom = static_cast<int>(state.phoneScrollY);
    const int top = static_cast<int>(state.phoneScrollY + 480.0f);
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex3i(0, bottom, 0);
    glTexCoord2f(1.0f, 0.0f);
    glVertex3i(640, bottom, 0);
    glTexCoord2f(1.0f, 1.0f);
    glVertex3i(640, top, 0);
    glTexCoord2f(0.0f, 1.0f);
    glVertex3i(0, top, 0);
    glEnd();

    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glBindTexture(GL_TEXTURE_2D, state.textures[kPhoneTopSlot]);
    drawScreenQuad(0.0f);

    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
    state.phoneScrollY += kRiseStep;
}

} // namespace

void drawPhoneScene(DemoState& state, int mode, bool skipDraw) {
    if (skipDraw) {
        // The rise keeps to the timeline, so it advances on catch-up steps too.
        if (mode == kPhoneRise) {
            state.phoneScrollY += kRiseStep;
        }
        return;
    }
    if (mode != kPhoneShake && mode != kPhoneRise) {
        return;
    }
    beginOverlay();
    if (mode == kPhoneShake) {
        drawShakenPicture(state);
    } else {
        drawRisingPictures(state);
    }
    endOverlay();
}
