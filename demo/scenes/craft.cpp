#include <GL/gl.h>
#include <GL/glu.h>

#include "demo/assets/manifest.h"
#include "demo/scenes/overlay.h"
#include "demo/scenes/quadrics.h"
#include "demo/scenes/scenes.h"
#include "demo/timeline/demo_state.h"

namespace {

constexpr int32_t kLastFrameWithoutText = 4400;

void blue() {
    glColor3f(0.0f, 0.0f, 1.0f);
}
void red() {
    glColor3f(1.0f, 0.0f, 0.0f);
}
void black() {
    glColor3f(0.0f, 0.0f, 0.0f);
}

GLUquadric* craftQuadric(DemoState& state) {
    return quadricOnce(state.craftQuadric, [](GLUquadric* q) { gluQuadricDrawStyle(q, GLU_FILL); });
}

void wingQuads(float zf, float d) {
    glBegin(GL_QUADS);
    // face
    glVertex3f(0.0f, 0.0f, zf);
    glVertex3f(0.0f, -5.0f, zf);
    glVertex3f(-12.0f, -7.0f, zf);
    glVertex3f(-12.0f, -4.0f, zf);
    // lower edge
    glVertex3f(-12.0f, -7.0f, 0.0f);
    glVertex3f(-12.0f, -7.0f, d);
    glVertex3f(0.0f, -5.0f, d);
    glVertex3f(0.0f, -5.0f, 0.0f);
    // upper edge
    glVertex3f(-12.0f, -4.0f, 0.0f);
    glVertex3f(-12.0f, -4.0f, d);
    glVertex3f(0.0f, 0.0f, d);
    glVertex3f(0.0f, 0.0f, 0.0f);
    // tip
    glVertex3f(-12.0f, -7.0f, 0.0f);
    glVertex3f(-12.0f, -7.0f, d);
    glVertex3f(-12.0f, -4.0f, d);
    glVertex3f(-12.0f, -4.0f, 0.0f);
    glEnd();
}

// Engine pod: capped cylinder with a red nozzle at its far end.
void engine(GLUquadric* q) {
    disk(q, 0.0, 1.5, 20, 20);
    cylinder(q, 1.5, 1.5, 12.0, 20, 20);
    glTranslatef(0.0f, 0.0f, 12.0f);
    red();
    cylinder(q, 1.5, 1.5, 5.0, 20, 20);
}

void strut(GLUquadric* q) {
    cylinder(q, 1.3, 1.3, 6.0, 20, 20);
    blue();
    cylinder(q, 1.3, 1.3, 2.0, 20, 20);
}

void wheel(GLUquadric* q) {
    cylinder(q, 1.3, 1.3, 2.5, 20, 20);
    disk(q, 0.0, 1.3, 20, 20);
}

} // namespace

void drawCraftScene(DemoState& state, bool skipDraw) {
    drawLightTrails(state, skipDraw);
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, -50.0f);
    // The craft jumps with the timeline, so catch-up steps turn it too.
    if (state.frameCounter % 10 == 0) {
        state.craftAngle += 45.0f;
    }
    if (skipDraw) {
        return;
    }

    // Opaque and without depth test, as the sparks leave it: later parts cover earlier ones.
    glRotatef(state.craftAngle, 1.0f, 1.0f, 1.0f);
    blue();
    glPushMatrix();
    glScalef(1.5f, 1.5f, 1.5f);
    drawCraftWings();
    glPopMatrix();
    drawCraftBody(state);

    if (state.frameCounter > kLastFrameWithoutText) {
        glLoadIdentity();
        beginOverlay();
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        glEnable(GL_TEXTURE_2D);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glBindTexture(GL_TEXTURE_2D, state.textures[kCraftTextSlot]);
        drawScreenQuad(0.0f);
        endOverlay();
        glDisable(GL_TEXTURE_2D);
        glDisable(GL_BLEND);
    }
}

void drawCraftWings() {
    for (int w = 0; w < 2; ++w) {
        // The second wing is the first turned half round; the turn stays applied.
        glRotatef(w == 0 ? 0.0f : 180.0f, 0.0f, 1.0f, 0.0f);
        const float d = w == 0 ? -1.0f : 1.0f;
        wingQuads(0.0f, d);
        wingQuads(d, d);
    }
}

void drawCraftCabin() {
    blue();
    for (float z : {0.0f, 6.0f}) {
        // The profile is notched at (8, 1); the black triangle fills the notch.
        black();
        glBegin(GL_POLYGON);
        glVertex3f(8.0f, 1.0f, z);
        glVertex3f(8.0f, 4.0f, z);
        glVertex3f(11.0f, 1.0f, z);
        glEnd();
        blue();
        glBegin(GL_POLYGON);
        glVertex3f(0.0f, 0.0f, z);
        glVertex3f(0.0f, 2.3f, z);
        glVertex3f(4.0f, 6.0f, z);
        glVertex3f(6.0f, 6.0f, z);
        glVertex3f(8.0f, 4.0f, z);
        glVertex3f(8.0f, 1.0f, z);
        glVertex3f(11.0f, 1.0f, z);
        glVertex3f(12.0f, 0.0f, z);
        glEnd();
    }

    glBegin(GL_QUADS);
    // floor
    glVertex3f(0.0f, 0.0f, 0.0f);
    glVertex3f(12.0f, 0.0f, 0.0f);
    glVertex3f(12.0f, 0.0f, 6.0f);
    glVertex3f(0.0f, 0.0f, 6.0f);
    // back slope
    glVertex3f(0.0f, 2.3f, 0.0f);
    glVertex3f(4.0f, 6.0f, 0.0f);
    glVertex3f(4.0f, 6.0f, 6.0f);
    glVertex3f(0.0f, 2.3f, 6.0f);
    // roof
    glVertex3f(4.0f, 6.0f, 0.0f);
    glVertex3f(6.0f, 6.0f, 0.0f);
    glVertex3f(6.0f, 6.0f, 6.0f);
    glVertex3f(4.0f, 6.0f, 6.0f);
    // front slope
    glVertex3f(6.0f, 6.0f, 0.0f);
    glVertex3f(8.0f, 4.0f, 0.0f);
    glVertex3f(8.0f, 4.0f, 6.0f);
    glVertex3f(6.0f, 6.0f, 6.0f);
    // nose
    glVertex3f(11.0f, 1.0f, 0.0f);
    glVertex3f(12.0f, 0.0f, 0.0f);
    glVertex3f(12.0f, 0.0f, 6.0f);
    glVertex3f(11.0f, 1.0f, 6.0f);
    // windscreen
    black();
    glVertex3f(8.0f, 4.0f, 0.0f);
    glVertex3f(11.0f, 1.0f, 0.0f);
    glVertex3f(11.0f, 1.0f, 6.0f);
    glVertex3f(8.0f, 4.0f, 6.0f);
    glEnd();
}

void drawCraftBody(DemoState& state) {
    GLUquadric* q = craftQuadric(state);

    glTranslatef(0.0f, -0.5f, -1.0f);

    // A square hull closed at its far end.
    glPushMatrix();
    glScalef(1.0f, 1.0f, 0.5f);
    glRotatef(90.0f, 1.0f, 0.0f, 0.0f);
    glRotatef(45.0f, 0.0f, 0.0f, 1.0f);
    cylinder(q, 4.0, 4.0, 12.0, 4, 4);
    glTranslatef(0.0f, 0.0f, 12.0f);
    disk(q, 0.0, 4.0, 4, 4);
    glPopMatrix();

    glRotatef(90.0f, 1.0f, 0.0f, 0.0f);
    glTranslatef(1.4f, -3.0f, 0.0f);
    engine(q);
    glTranslatef(-3.0f, 0.0f, -12.0f);
    blue();
    engine(q);

    glTranslatef(0.2f, 3.0f, -17.5f);
    strut(q);
    glTranslatef(2.6f, 0.0f, 0.0f);
    red();
    strut(q);

    glTranslatef(-1.3f, 0.0f, -1.0f);
    red();
    // A flat square plate.
    glPushMatrix();
    glScalef(1.0f, 0.3f, 1.0f);
    glRotatef(45.0f, 0.0f, 0.0f, 1.0f);
    blue();
    disk(q, 0.0, 7.7, 4, 4);
    cylinder(q, 7.7, 7.7, 1.0, 4, 4);
    glTranslatef(0.0f, 0.0f, 1.0f);
    disk(q, 0.0, 7.7, 4, 4);
    glPopMatrix();

    glTranslatef(4.0f, 0.0f, -1.5f);
    wheel(q);
    glTranslatef(-8.0f, 0.0f, 0.0f);
    wheel(q);

    glRotatef(180.0f, 0.0f, 0.0f, 1.0f);
    glTranslatef(-7.0f, -1.3f, 2.0f);
    glRotatef(90.0f, 0.0f, 1.0f, 0.0f);
    drawCraftCabin();
}
