#include "demo/timeline/timeline.h"

#include <GL/gl.h>

#include "demo/scenes/scenes.h"
#include "demo/timeline/cues.h"
#include "demo/timeline/demo_state.h"

namespace {

void runScene(DemoState& state, SceneId scene, bool skipDraw) {
    switch (scene) {
    case SceneId::None:
        break;
    case SceneId::SpinningRecord:
        drawSpinningRecord(state, skipDraw);
        break;
    case SceneId::HallPortraits:
        checkFlipTriggers(state, kFlipListA);
        drawHallPortraitScene(state, skipDraw);
        break;
    case SceneId::SurpriseCard:
        drawSurpriseCard(state, skipDraw);
        break;
    case SceneId::PhoneShake:
        drawPhoneScene(state, kPhoneShake, skipDraw);
        break;
    case SceneId::PhoneRise:
        drawPhoneScene(state, kPhoneRise, skipDraw);
        break;
    case SceneId::Ties:
        drawTiesScene(state, skipDraw);
        // After the drawing, so a cue flip shows from the next frame on.
        checkFlipTriggers(state, kFlipListB);
        break;
    case SceneId::HardFlash:
        drawHardFlashScene(state, skipDraw);
        if (isFlashFrame(state.frameCounter)) {
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
