#include "demo/scenes/overlay.h"

#include <GL/gl.h>

void beginOverlay() {
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0.0, 640.0, 0.0, 480.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    // The timeline already loaded identity at the start of the frame.
    glPushMatrix();
}

void endOverlay() {
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
}

void drawFlash(bool gentle, float z) {
    if (!gentle) {
        drawScreenQuad(z);
        return;
    }
    constexpr float kEdge = 8.0f;
    glBegin(GL_QUADS);
    const float bands[4][4] = {{0.0f, 0.0f, 640.0f, kEdge},
                               {0.0f, 480.0f - kEdge, 640.0f, 480.0f},
                               {0.0f, kEdge, kEdge, 480.0f - kEdge},
                               {640.0f - kEdge, kEdge, 640.0f, 480.0f - kEdge}};
    for (const auto& b : bands) {
        glVertex3f(b[0], b[1], z);
        glVertex3f(b[2], b[1], z);
        glVertex3f(b[2], b[3], z);
        glVertex3f(b[0], b[3], z);
    }
    glEnd();
}

void drawScreenQuad(float z) {
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex3f(0.0f, 0.0f, z);
    glTexCoord2f(1.0f, 0.0f);
    glVertex3f(640.0f, 0.0f, z);
    glTexCoord2f(1.0f, 1.0f);
    glVertex3f(640.0f, 480.0f, z);
    glTexCoord2f(0.0f, 1.0f);
    glVertex3f(0.0f, 480.0f, z);
    glEnd();
}
