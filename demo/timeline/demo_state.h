#pragma once
#include <array>
#include <cstdint>
#include <vector>

#include "demo/assets/manifest.h"
#include "demo/scenes/item_list.h"
#include "demo/scenes/random.h"

struct GLUquadric;

constexpr int kTextureSlots = 49;
constexpr int kTileListCount = 16;

// The values the show changes as it runs, with their start values: all of
// its state but what start-up makes (textures, tiles) and what is made on
// first use (quadrics). Plain values, so a host can keep a copy (a seek
// returns to one).
struct ShowValues {
    int32_t frameCounter = 0;
    std::array<int32_t, 5> flipSelectors = std::to_array(kFlipPairFirstSlots);
    RandomGenerator random;

    // sliding sprites
    float slideOffset = 0.0f;
    float spriteAlpha = 0.0f;
    // light trails and sparks
    float trailPhase = 0.0f;
    float sparkHalfSize = 2.0f;
    // craft
    float craftAngle = 0.0f;
    // greeting tiles (the tiles themselves are in DemoState's lists)
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

    bool operator==(const ShowValues&) const = default;
};

// Everything the show keeps between frames, with its start values. The show
// runs once per process; tests build a fresh record for each case.
struct DemoState : ShowValues {
    DemoState();
    ~DemoState();
    DemoState(const DemoState&) = delete;
    DemoState& operator=(const DemoState&) = delete;

    // Set by the host before the show starts, never changed by it: the
    // gentle show draws each white flash as a thin frame around the screen.
    // Only the pictures differ; every value runs as in the normal show.
    bool gentle = false;

    std::array<uint32_t, kTextureSlots> textures{}; // GL texture names by slot
    GLUquadric* craftQuadric = nullptr;             // made on first use, freed with the state
    GLUquadric* towerQuadric = nullptr;             // made on first use, freed with the state
    // The greeting tiles, filled at start-up; the scene moves and fades them.
    ItemList tileLists[kTileListCount];
    int musicChannel = -1; // where the start-up plays the music
};

// The show as it stood at one frame: enough to go back there and run on to
// exactly the frames a show played from the start draws (with the GL state
// of that moment, which the host keeps).
struct ShowSnapshot {
    ShowValues values;
    std::vector<Tile> tiles; // every list's, in order
};
ShowSnapshot takeSnapshot(DemoState& state);
// Into a state whose start-up filled the same tile lists.
void restoreSnapshot(DemoState& state, const ShowSnapshot& snapshot);
