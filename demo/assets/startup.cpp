#include "demo/assets/startup.h"

#include <GL/gl.h>

#include "demo/timeline/demo_state.h"

// Only the fixed GL state so far; pictures and music land with the assets.
bool startDemo(DemoState&, const StartupHooks&) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_TEXTURE_2D);
    glShadeModel(GL_SMOOTH);
    glClearColor(0.0f, 0.0f, 0.0f, 0.5f);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glDisable(GL_TEXTURE_2D);
    return true;
}

void drawLoadingScreen(const DemoState&, float, const StartupHooks&) {}
