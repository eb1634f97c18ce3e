#pragma once
#include <array>
#include <cstdint>

#include "demo/assets/manifest.h"
#include "demo/scenes/item_list.h"
#include "demo/scenes/random.h"

struct GLUquadric;

constexpr int kTextureSlots = 49;
constexpr int kTileListCount = 16;

// Everything the show keeps between frames, with its start values. The show
// runs once per process; tests build a fresh record for each case.
struct DemoState {
    DemoState();
    ~DemoState();
    DemoState(const DemoState&) = delete;
    DemoState& operator=(const DemoState&) = delete;

    // Set by the host before the show starts, never changed by it: the
    // gentle show draws each white flash as a thin frame around the screen.
    // Only the pictures differ; every value below runs as in the normal show.
    bool gentle = false;

    int32_t frameCounter = 0;
    std::array<int32_t, 5> flipSelectors = std::to_array(kFlipPairFirstSlots);
    std::array<uint32_t, kTextureSlots> textures{}; // GL texture names by slot
    RandomGenerator random;

    // sliding sprites
    float slideOffset = 0.0f;
    float spriteAlpha = 0.0f;
    // light trails and sparks
    float trailPhase = 0.0f;
    float sparkHalfSize = 2.0f;
    // craft
    float craftAngle = 0.0f;
    GLUquadric* craftQuadric = nullptr; // made on first use, freed with the state
    // greeting tiles
    ItemList tileLists[kTileListCount];
    std::array<float, 32> tileOffsets{};
    // closing pictures
    int32_t closingSlot = kClosing1Slot;
    // spinning record
    float recordAngle = 0.0f;
    int32_t shakeSign = 1;
    // hall portraits
    float rightStripY = -480.0f;
    float leftStripY = -480.0f;
    // phone pictures
    float phoneScrollY = 0.0f;
    // ties
    float slideInY = -480.0f;
    int32_t slideInCalls = 0;
    // grid credits and tower
    float gridDepth = 0.0f;
    int32_t creditSlot = kCredits1Slot;
    float towerPhase = 0.0f;
    GLUquadric* towerQuadric = nullptr; // made on first use, freed with the state
};
