#pragma once
#include <cstdint>

struct DemoState;

// Scene routines, called by the timeline. Each takes the show's state; those
// with skipDraw draw nothing on catch-up steps and advance what they must.

// sliding sprites (over the record, frames 441-603)
void drawSlidingSprites(DemoState& state, bool skipDraw);

// picture flips
void toggleFlipFrames(DemoState& state);
// The trigger lists checkFlipTriggers takes; any other value flips nothing.
enum FlipList : int { kFlipListA = 0, kFlipListB = 1 };
void checkFlipTriggers(DemoState& state, int list);

// light trails and sparks
void drawLightTrails(DemoState& state, bool skipDraw);
void drawSparkBillboard(DemoState& state, float x, float y);

// craft, frames 4004-4802
void drawCraftScene(DemoState& state, bool skipDraw);
void drawCraftWings();
void drawCraftCabin();
void drawCraftBody(DemoState& state);

// greeting tiles, frames 5561-6394
void initTileLists(DemoState& state);
void drawTileBurstScene(DemoState& state, bool skipDraw);

// closing pictures, frames 7126-7402
void drawClosingPictures(DemoState& state);

// spinning record, frames 0-603
void drawSpinningRecord(DemoState& state, bool skipDraw);

// hall portraits, frames 604-1719
void drawHallPortraitScene(DemoState& state, bool skipDraw);
void drawRightScrollStrip(DemoState& state);
void drawLeftScrollStrip(DemoState& state);
void drawSurpriseCard(DemoState& state, bool skipDraw);

// phone pictures, frames 1720-1987
// The modes drawPhoneScene takes; any other value draws nothing.
enum PhoneMode : int { kPhoneShake = 0, kPhoneRise = 1 };
void drawPhoneScene(DemoState& state, int mode, bool skipDraw);

// ties, frames 1988-3080
void drawTiesScene(DemoState& state, bool skipDraw);

// strobe pictures, frames 3218-3947
void drawHardFlashScene(DemoState& state, bool skipDraw);

// line grid credits (4803-5560) and quadric tower (6396-7125)
void drawGridCredits(DemoState& state);
void drawQuadricTower(DemoState& state);
