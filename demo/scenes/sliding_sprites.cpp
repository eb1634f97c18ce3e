#include "demo/scenes/scenes.h"
#include "demo/timeline/demo_state.h"

// Not drawn yet: the scene lands with its own change.
void drawSlidingSprites(DemoState&, bool) {}
