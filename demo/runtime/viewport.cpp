#include "demo/runtime/viewport.h"

#include <GL/gl.h>
#include <GL/glu.h>

void resizeViewport(int width, int height) {
    if (height == 0) {
        height = 1; // a minimized window reports height 0
    }
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, static_cast<double>(width) / static_cast<double>(height), 0.1, 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}
