#include "demo/timeline/timeline.h"

#include <GL/gl.h>

#include "demo/scenes/scenes.h"
#include "demo/timeline/demo_state.h"

const int32_t flipTriggersA[] = {620,  696,  725,  795,  824,  900,  926,  1001,
                                 1030, 1197, 1225, 1300, 1326, 1400, 1423, 1474,
                                 1488, 1500, 1526, 1578, 1590, 1627, -1};
const int32_t flipTriggersB[] = {2014, 2030, 2097, 2121, 2196, 2222, 2295, 2310, 2322, 2335, 2347,
                                 2359, 2370, 2381, 2396, 2420, 2492, 2519, 2590, 2617, 2666, 2681,
                                 2691, 2716, 2766, 2777, 2787, 2816, 2839, 2851, 2861, 2883, -1};

void flipOnTrigger(DemoState& state, const int32_t* list) {
    for (const int32_t* entry = list; *entry != -1; ++entry) {
        if (*entry == state.frameCounter) {
            toggleFlipFrames(state);
            return;
        }
    }
}

namespace {

struct ScheduleRow {
    int32_t first;
    int32_t last; // inclusive
    SceneId scene;
};

// The whole choreography. Frame 6395 belongs to no row and stays black.
constexpr ScheduleRow kSchedule[] = {
    {0, 603, SceneId::SpinningRecord},   {604, 1689, SceneId::HallPortraits},
    {1690, 1719, SceneId::SurpriseCard}, {1720, 1789, SceneId::PhoneShake},
    {1790, 1987, SceneId::PhoneRise},    {1988, 3080, SceneId::Ties},
    {3218, 3947, SceneId::HardFlash},    {4004, 4802, SceneId::Craft},
    {4803, 5560, SceneId::GridCredits},  {5561, 6394, SceneId::TileBurst},
    {6396, 7125, SceneId::QuadricTower}, {7126, INT32_MAX, SceneId::ClosingPictures},
};

void runScene(DemoState& state, SceneId scene, bool skipDraw) {
    switch (scene) {
    case SceneId::None:
        break;
    case SceneId::SpinningRecord:
        drawSpinningRecord(state, skipDraw);
        break;
    case SceneId::HallPortraits:
        checkFlipTriggers(state, 0);
        drawHallPortraitScene(state, skipDraw);
        break;
    case SceneId::SurpriseCard:
        drawSurpriseCard(state, skipDraw);
        break;
    case SceneId::PhoneShake:
        drawPhoneScene(state, 0, skipDraw);
        break;
    case SceneId::PhoneRise:
        drawPhoneScene(state, 1, skipDraw);
        break;
    case SceneId::Ties:
        drawTiesScene(state, skipDraw);
        // After the drawing, so a cue flip shows from the next frame on.
        flipOnTrigger(state, flipTriggersB);
        break;
    case SceneId::HardFlash:
        drawHardFlashScene(state, skipDraw);
        if (state.frameCounter % 10 == 0) {
            toggleFlipFrames(state);
        }
        break;
    case SceneId::Craft:
        drawCraftScene(state, skipDraw);
        break;
    case SceneId::GridCredits:
        drawGridCredits(state);
        break;
    case SceneId::TileBurst:
        drawTileBurstScene(state, skipDraw);
        break;
    case SceneId::QuadricTower:
        drawQuadricTower(state);
        break;
    case SceneId::ClosingPictures:
        drawClosingPictures(state);
        break;
    }
}

} // namespace

SceneId sceneAt(int32_t frame) {
    for (const ScheduleRow& row : kSchedule) {
        if (frame >= row.first && frame <= row.last) {
            return row.scene;
        }
    }
    return SceneId::None;
}

TimelineStep runTimelineFrame(DemoState& state, bool skipDraw) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    runScene(state, sceneAt(state.frameCounter), skipDraw);
    if (skipDraw) {
        // Some scenes draw even on a catch-up step, and no swap follows: the
        // GL driver would keep queueing that drawing, gigabytes over a show
        // on a slow machine. A flush hands it over and bounds the queue.
        glFlush();
    }
    if (state.frameCounter >= kLastFrame) {
        return TimelineStep::ShowEnded;
    }
    ++state.frameCounter;
    return TimelineStep::Running;
}
