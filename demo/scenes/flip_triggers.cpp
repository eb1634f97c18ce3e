#include "demo/scenes/scenes.h"
#include "demo/timeline/cues.h"
#include "demo/timeline/demo_state.h"

void toggleFlipFrames(DemoState& state) {
    for (size_t i = 0; i < state.flipSelectors.size(); ++i) {
        const int32_t base = kFlipPairFirstSlots[i];
        state.flipSelectors[i] = state.flipSelectors[i] == base ? base + 1 : base;
    }
}

void checkFlipTriggers(DemoState& state, int list) {
    const int32_t* triggers = nullptr;
    if (list == kFlipListA) {
        triggers = flipTriggersA;
    } else if (list == kFlipListB) {
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
