#include "demo/scenes/scenes.h"
#include "demo/timeline/demo_state.h"

// Not drawn yet: the scene lands with its own change.
void drawCraftScene(DemoState&, bool) {}
void drawCraftWings() {}
void drawCraftCabin() {}
void drawCraftBody(DemoState&) {}
