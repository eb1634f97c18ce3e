#include <GL/gl.h>

#include <cmath>

#include "demo/scenes/overlay.h"
#include "demo/scenes/scenes.h"
#include "demo/timeline/cues.h"
#include "demo/timeline/demo_state.h"

namespace {

constexpr float kFarPlane = -1.0f;
constexpr float kNearPlane = 1.0f;

void bindBlendedPicture(const DemoState& state, int slot) {
    glEnable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glBindTexture(GL_TEXTURE_2D, state.textures[slot]);
}

} // namespace

// The layering rests on the depth test (less-or-equal) left on since start-up:
// the hall lies at the far plane, the flash at the near plane hides both
// pictures at z 0, and the top picture passes where the bobbing one wrote the
// same depth.
void drawHardFlashScene(DemoState& state, bool skipDraw) {
    if (skipDraw) {
        return;
    }
    const int32_t frame = state.frameCounter;
    beginOverlay();

    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, state.textures[kHallSlot]);
    drawScreenQuad(kFarPlane);
    glDisable(GL_TEXTURE_2D);

    if (isFlashFrame(frame)) {
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        drawFlash(state.gentle, kNearPlane);
    }

    bindBlendedPicture(state, state.flipSelectors[4]);
    glTranslatef(0.0f, 8.0f * std::cos(static_cast<float>(frame) * 0.33333334f), 0.0f);
    drawScreenQuad(0.0f);
    glDisable(GL_BLEND);
    glLoadIdentity();

    bindBlendedPicture(state, state.flipSelectors[3]);
    drawScreenQuad(0.0f);

    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
    endOverlay();
}
