#include "demo/scenes/grid_and_tower.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <cmath>
#include <cstdlib>

#include "demo/scenes/overlay.h"
#include "demo/scenes/quadrics.h"
#include "demo/scenes/scenes.h"
#include "demo/timeline/cues.h"
#include "demo/timeline/demo_state.h"

namespace {

constexpr float kGridStep = 0.8f;
constexpr int kGridExtent = 141;
constexpr int kLineSpacing = 2;
constexpr int kPostSpacing = 6;
constexpr float kTowerPhaseStep = 4.2f;

// With texture coordinates: the tower is textured.
GLUquadric* towerQuadric(DemoState& state) {
    return quadricOnce(state.towerQuadric, [](GLUquadric* q) { gluQuadricTexture(q, GL_TRUE); });
}

void drawGridLines() {
    glColor4f(0.0f, 0.0f, 0.8f, 0.3f);
    glEnable(GL_LINE_SMOOTH);
    glLineWidth(3.0f);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glBegin(GL_LINES);
    const float e = static_cast<float>(kGridExtent);
    // Floor and ceiling, lines on odd coordinates both ways.
    for (float y : {-1.0f, 1.0f}) {
        for (int u = -kGridExtent; u <= kGridExtent; u += kLineSpacing) {
            const float fu = static_cast<float>(u);
            glVertex3f(fu, y, -e);
            glVertex3f(fu, y, e);
            glVertex3f(-e, y, fu);
            glVertex3f(e, y, fu);
        }
    }
    // Posts between them, fading out away from the view axis.
    for (int a = -kGridExtent; a <= kGridExtent; a += kPostSpacing) {
        for (int b = -kGridExtent; b <= kGridExtent; b += kPostSpacing) {
            glColor4f(0.0f, 0.0f, 0.8f, gridPostAlpha(a, b));
            glVertex3f(static_cast<float>(a), -1.0f, static_cast<float>(b));
            glVertex3f(static_cast<float>(a), 1.0f, static_cast<float>(b));
        }
    }
    glEnd();
}

} // namespace

float gridPostAlpha(int a, int b) {
    return 0.6f - 0.005f * static_cast<float>(std::abs(a) + std::abs(b));
}

int gridCreditSlot(int frame, int current) {
    for (const CreditPage& page : kCreditPages) {
        if (frame >= page.first && frame <= page.last) {
            return page.slot;
        }
    }
    return current;
}

void drawGridCredits(DemoState& state) {
    const int32_t frame = state.frameCounter;

    state.gridDepth += kGridStep;
    glTranslatef(0.0f, 0.0f, -state.gridDepth);
    drawGridLines();
    glLoadIdentity();

    beginOverlay();
    state.creditSlot = gridCreditSlot(frame, state.creditSlot);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glBindTexture(GL_TEXTURE_2D, state.textures[state.creditSlot]);
    drawScreenQuad(0.0f);

    if (isFlashFrame(frame)) {
        // The white flash hides the grid jumping back to its start depth.
        glDisable(GL_TEXTURE_2D);
        state.gridDepth = 0.0f;
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        drawFlash(state.gentle, 1.0f);
        glEnable(GL_TEXTURE_2D);
    }

    endOverlay();
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    // Line smoothing and width 3 stay on for whatever draws next.
}

void drawQuadricTower(DemoState& state) {
    const float t = state.towerPhase;

    // Additive glow; the depth test comes back on for the rest of the show.
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    glColor4f(1.0f, 1.0f, 1.0f, 0.8f);
    glBindTexture(GL_TEXTURE_2D, state.textures[kSpotSlot]);

    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, -20.0f);
    glTranslatef(0.0f, -2.0f, -4.0f);
    glRotatef(-60.0f, 1.0f, 0.0f, 0.0f);
    glRotatef(15.0f, 0.0f, 1.0f, 0.0f);

    GLUquadric* q = towerQuadric(state);

    glRotatef(20.0f, 1.0f, 0.0f, 0.0f);
    glColor4f(1.0f, 0.0f, 0.0f, 0.8f);
    glTranslatef(0.0f, 1.0f, 0.0f);

    // The pole, 24 units each way along local z.
    cylinder(q, 1.0, 1.0, 24.0, 10, 7);
    glPushMatrix();
    glRotatef(-180.0f, 1.0f, 0.0f, 0.0f);
    cylinder(q, 1.0, 1.0, 24.0, 10, 7);
    glPopMatrix();

    // Bobbing collars.
    const float bob = std::sin(t * 0.1f);
    glColor4f(0.0f, 0.0f, 1.0f, 0.8f);
    glPushMatrix();
    glTranslatef(0.0f, 0.0f, 2.0f * (bob + 1.0f));
    cylinder(q, 2.5, 2.5, 3.0, 8, 7);
    glPopMatrix();
    glPushMatrix();
    glTranslatef(0.0f, 0.0f, 2.0f * bob + 1.0f);
    cylinder(q, 4.0, 4.0, 2.5, 6, 7);
    glPopMatrix();
    glPushMatrix();
    glTranslatef(0.0f, 0.0f, 2.0f * bob);
    cylinder(q, 5.0, 5.0, 2.0, 7, 7);
    glPopMatrix();

    // Fixed collar.
    cylinder(q, 6.4, 6.4, 2.0, 8, 7);

    // Turning rings; the outer one turns on top of the middle one's turn.
    glColor4f(1.0f, 1.0f, 0.0f, 0.5f);
    glPushMatrix();
    glRotatef(t, 1.0f, 0.0f, 0.0f);
    disk(q, 8.0, 10.0, 8, 7);
    glPopMatrix();
    glRotatef(t, 0.0f, 1.0f, 0.0f);
    disk(q, 12.0, 14.0, 8, 7);
    glRotatef(t, 1.0f, 0.0f, 0.0f);
    disk(q, 16.0, 18.0, 8, 7);

    state.towerPhase += kTowerPhaseStep;

    glDisable(GL_TEXTURE_2D);
    glLoadIdentity();

    beginOverlay();
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glBindTexture(GL_TEXTURE_2D, state.textures[kTowerPageSlot]);
    drawScreenQuad(0.0f);
    endOverlay();
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
}
