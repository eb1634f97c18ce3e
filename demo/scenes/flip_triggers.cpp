#include "demo/scenes/scenes.h"
#include "demo/timeline/demo_state.h"
#include "demo/timeline/timeline.h"

void toggleFlipFrames(DemoState& state) {
    static constexpr int32_t kFirstSlots[5] = {6, 13, 16, 18, 20};
    for (int i = 0; i < 5; ++i) {
        const int32_t base = kFirstSlots[i];
        state.flipSelectors[i] = state.flipSelectors[i] == base ? base + 1 : base;
    }
}

void checkFlipTriggers(DemoState& state, int list) {
    const int32_t* triggers = nullptr;
    if (list == 0) {
        triggers = flipTriggersA;
    } else if (list == 1) {
        triggers = flipTriggersB;
    } else {
        return;
    }
    for (const int32_t* entry = triggers; *entry != -1; ++entry) {
        if (*entry == state.frameCounter) {
            toggleFlipFrames(state);
            return;
        }
    }
}
