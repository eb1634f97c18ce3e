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
