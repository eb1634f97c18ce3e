#include <GL/gl.h>

#include "demo/scenes/overlay.h"
#include "demo/scenes/scenes.h"
#include "demo/timeline/demo_state.h"

namespace {

struct ClosingCue {
    int32_t frame;
    int32_t slot;
};

// Picture changes on beats of the music's last bars, ended by -1.
constexpr ClosingCue kClosingCues[] = {
    {7192, 46}, {7211, 47}, {7229, 48}, {7245, 45}, {7263, 46}, {7277, 47},
    {7292, 48}, {7301, 45}, {7311, 46}, {7323, 47}, {-1, 0},
};

} // namespace

void drawClosingPictures(DemoState& state) {
    beginOverlay();
    for (const ClosingCue* cue = kClosingCues; cue->frame != -1; ++cue) {
        if (cue->frame == state.frameCounter) {
            state.closingSlot = cue->slot;
        }
    }
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, state.textures[state.closingSlot]);
    drawScreenQuad(0.0f);
    glDisable(GL_TEXTURE_2D);
    if (state.frameCounter % 10 == 0) {
        // A plain white quad at the near edge covers the picture.
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        drawScreenQuad(1.0f);
    }
    endOverlay();
}
