#include <GL/gl.h>

#include <cmath>

#include "demo/assets/manifest.h"
#include "demo/scenes/overlay.h"
#include "demo/scenes/scenes.h"
#include "demo/timeline/demo_state.h"

namespace {

constexpr int32_t kLabelAfter = 2400;
constexpr int32_t kLabelBefore = 2850;
constexpr int32_t kSlideFrom = 2900;
constexpr float kSlideStep = 18.0f;
constexpr int32_t kSlideFlipEvery = 20;

void quadAt(int left, int bottom, int right, int top) {
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex3i(left, bottom, 0);
    glTexCoord2f(1.0f, 0.0f);
    glVertex3i(right, bottom, 0);
    glTexCoord2f(1.0f, 1.0f);
    glVertex3i(right, top, 0);
    glTexCoord2f(0.0f, 1.0f);
    glVertex3i(left, top, 0);
    glEnd();
}

// A label at the top edge that blinks about once a second: while the sine is
// negative the colour's alpha clamps to 0 and the label vanishes.
void drawBlinkingLabel(const DemoState& state) {
    glLoadIdentity();
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(1.0f, 1.0f, 1.0f, std::sin(static_cast<float>(state.frameCounter) * 0.125f));
    glTranslatef(280.0f, 320.0f, 0.0f);
    glBindTexture(GL_TEXTURE_2D, state.textures[kLabelSlot]);
    quadAt(0, 0, 213, 160);
    glDisable(GL_BLEND);
    glLoadIdentity();
}

// The second pair slides up from below the screen, one step per drawn frame,
// and flips every 20 drawn frames, starting with the first.
void drawSlideInPicture(DemoState& state) {
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glBindTexture(GL_TEXTURE_2D, state.textures[state.flipSelectors[2]]);
    quadAt(0, static_cast<int>(state.slideInY), 640, static_cast<int>(state.slideInY + 480.0f));
    if (state.slideInCalls % kSlideFlipEvery == 0) {
        toggleFlipFrames(state);
    }
    ++state.slideInCalls;
    state.slideInY += kSlideStep;
    if (state.slideInY >= 0.0f) {
        state.slideInY = 0.0f;
    }
    glDisable(GL_BLEND);
    glLoadIdentity();
}

} // namespace

void drawTiesScene(DemoState& state, bool skipDraw) {
    // Nothing here follows the timeline: the slide and its flips count drawn frames.
    if (skipDraw) {
        return;
    }
    const int32_t frame = state.frameCounter;
    beginOverlay();

    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, state.textures[kHallSlot]);
    drawScreenQuad(0.0f);

    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glBindTexture(GL_TEXTURE_2D, state.textures[state.flipSelectors[1]]);
    drawScreenQuad(0.0f);
    glDisable(GL_BLEND);

    if (frame > kLabelAfter && frame < kLabelBefore) {
        drawBlinkingLabel(state);
    }
    if (frame >= kSlideFrom) {
        drawSlideInPicture(state);
    }

    endOverlay();
    // 2D texturing stays on.
}
