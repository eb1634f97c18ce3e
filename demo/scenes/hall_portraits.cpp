#include "demo/scenes/scenes.h"
#include "demo/timeline/demo_state.h"

// Not drawn yet: the scene lands with its own change.
void drawHallPortraitScene(DemoState&, bool) {}
void drawRightScrollStrip(DemoState&) {}
void drawLeftScrollStrip(DemoState&) {}
void drawSurpriseCard(DemoState&, bool) {}
