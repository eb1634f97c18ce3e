#pragma once
#include <cstdint>

struct DemoState;

// Frames on which all picture pairs flip, each list ended by -1.
extern const int32_t flipTriggersA[];
extern const int32_t flipTriggersB[];

// Flips once if the current frame is in the -1-terminated list.
void flipOnTrigger(DemoState& state, const int32_t* list);

enum class TimelineStep { Running, ShowEnded };

// One timeline frame: clear, run the scenes due at frameCounter, fire that
// frame's flips, advance. ShowEnded means frame 7402 was reached: the caller
// must end the process with status 0 without returning to its loop.
TimelineStep runTimelineFrame(DemoState& state, bool skipDraw);

// One row of the schedule, for tests and tools that want to know what plays.
enum class SceneId {
    None,
    SpinningRecord,
    HallPortraits,
    SurpriseCard,
    PhoneShake,
    PhoneRise,
    Ties,
    HardFlash,
    Craft,
    GridCredits,
    TileBurst,
    QuadricTower,
    ClosingPictures,
};
SceneId sceneAt(int32_t frame);
