#include <GL/gl.h>

#include "demo/scenes/overlay.h"
#include "demo/scenes/scenes.h"
#include "demo/timeline/cues.h"
#include "demo/timeline/demo_state.h"

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
    if (isFlashFrame(state.frameCounter)) {
        // A plain white quad at the near edge covers the picture.
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        drawFlash(state.gentle, 1.0f);
    }
    endOverlay();
}
