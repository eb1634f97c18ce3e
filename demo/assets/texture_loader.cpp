#include "demo/assets/texture_loader.h"

// Not decoding yet: pictures land with the asset loader.
bool loadTexture(const char*, uint32_t*, bool, int) {
    return false;
}
void makeSpotTexture(uint32_t*) {}
