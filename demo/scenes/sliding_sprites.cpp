#include <GL/gl.h>

#include "demo/assets/manifest.h"
#include "demo/scenes/scenes.h"
#include "demo/timeline/demo_state.h"

namespace {

constexpr float kHalfSize = 0.2f;
constexpr float kDepth = -2.1f; // just in front of the record

void drawSpriteQuad() {
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex3f(-kHalfSize, -kHalfSize, kDepth);
    glTexCoord2f(1.0f, 0.0f);
    glVertex3f(kHalfSize, -kHalfSize, kDepth);
    glTexCoord2f(1.0f, 1.0f);
    glVertex3f(kHalfSize, kHalfSize, kDepth);
    glTexCoord2f(0.0f, 1.0f);
    glVertex3f(-kHalfSize, kHalfSize, kDepth);
    glEnd();
}

} // namespace

void drawSlidingSprites(DemoState& state, bool skipDraw) {
    if (!skipDraw) {
        // With no destination alpha the blend adds the picture scaled by
        // (1 - alpha): full brightness at first, nothing once alpha passes 1.
        glEnable(GL_BLEND);
        glBlendFunc(GL_ONE_MINUS_SRC_ALPHA, GL_DST_ALPHA);
        glColor4f(1.0f, 1.0f, 1.0f, state.spriteAlpha);
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, state.textures[kSpriteSlot]);
        for (int i = 0; i < 3; ++i) {
            if (i < 2) {
                // Sprite 0 lands on the caller's matrix and so turns with the
                // record; the identity load below frees the others.
                glTranslatef(state.slideOffset - 1.5f, 0.5f - static_cast<float>(i), 0.0f);
            } else {
                glTranslatef(1.5f - state.slideOffset, 0.0f, 0.0f);
            }
            drawSpriteQuad();
            glLoadIdentity();
        }
        glDisable(GL_BLEND);
        glDisable(GL_TEXTURE_2D);
    }
    // The slide follows timeline frames, drawn or not.
    state.slideOffset += 0.01f;
    state.spriteAlpha += 0.007f;
}
