#include <GL/gl.h>

#include "demo/scenes/scenes.h"
#include "demo/timeline/cues.h"
#include "demo/timeline/demo_state.h"

namespace {

constexpr int32_t kSpritesAfter = 440;

// The turn schedule: a steady spin, five bursts the other way, a shake.
// Each step is its own single-precision addition, in this order, so the angle
// rounds the same on every machine and every frame path.
void advanceRecordAngle(DemoState& state, int32_t frame) {
    float& angle = state.recordAngle;
    for (const FrameSpan& burst : kRecordBursts) {
        if (frame >= burst.first && frame <= burst.last) {
            angle += 5.0f;
        }
    }
    if (frame < 179 || frame > 203) {
        angle -= 1.4f;
    }
    if (frame > 179 && frame < 203) {
        angle += static_cast<float>(state.shakeSign * 7);
    }
}

} // namespace

void drawSpinningRecord(DemoState& state, bool skipDraw) {
    const int32_t frame = state.frameCounter;
    if (!skipDraw) {
        // Perspective view, identity modelview from the timeline; no blending
        // is on here, so the record is opaque and depth-tested.
        glRotatef(state.recordAngle, 0.0f, 0.0f, 1.0f);
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, state.textures[kRecordSlot]);
        glBegin(GL_QUADS);
        glTexCoord2f(0.0f, 0.0f);
        glVertex3f(-1.0f, -1.0f, -2.2f);
        glTexCoord2f(1.0f, 0.0f);
        glVertex3f(1.0f, -1.0f, -2.2f);
        glTexCoord2f(1.0f, 1.0f);
        glVertex3f(1.0f, 1.0f, -2.2f);
        glTexCoord2f(0.0f, 1.0f);
        glVertex3f(-1.0f, 1.0f, -2.2f);
        glEnd();
    }
    // The turn follows timeline frames, drawn or not.
    advanceRecordAngle(state, frame);
    if (frame > kSpritesAfter) {
        // The record's turn is still on the modelview: the first sprite
        // circles with it.
        drawSlidingSprites(state, skipDraw);
    }
    if (!skipDraw) {
        // The shake alternates per shown frame; skipped frames keep the sign.
        state.shakeSign = -state.shakeSign;
        glDisable(GL_TEXTURE_2D);
    }
}
