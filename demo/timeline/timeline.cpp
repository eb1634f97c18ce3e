#include "demo/timeline/timeline.h"

#include <GL/gl.h>

#include "demo/scenes/scenes.h"
#include "demo/timeline/cues.h"
#include "demo/timeline/demo_state.h"

namespace {

// A catch-up step, like each frame of a run-up, runs every scene as a
// drawn frame would, with the GL state each leaves, but on one pixel: nothing of it is ever seen,
// since the next drawn frame clears the whole screen first, and no scene reads back what was drawn.
// Full-size clears and fills there cost a slow machine more than the 20 ms a step stands for. The
// host's viewport and scissor come back afterwards.
class OnePixel {
  public:
    OnePixel() {
        glGetIntegerv(GL_VIEWPORT, viewport_);
        glGetIntegerv(GL_SCISSOR_BOX, scissor_);
        scissorOn_ = glIsEnabled(GL_SCISSOR_TEST) == GL_TRUE;
        glViewport(0, 0, 1, 1);
        glScissor(0, 0, 1, 1); // the clear too
        glEnable(GL_SCISSOR_TEST);
    }
    ~OnePixel() {
        glViewport(viewport_[0], viewport_[1], viewport_[2], viewport_[3]);
        glScissor(scissor_[0], scissor_[1], scissor_[2], scissor_[3]);
        if (!scissorOn_) {
            glDisable(GL_SCISSOR_TEST);
        }
    }
    OnePixel(const OnePixel&) = delete;
    OnePixel& operator=(const OnePixel&) = delete;

  private:
    GLint viewport_[4] = {};
    GLint scissor_[4] = {};
    bool scissorOn_ = false;
};

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

namespace {

void runFrame(DemoState& state, bool skipDraw) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    runScene(state, sceneAt(state.frameCounter), skipDraw);
}

} // namespace

TimelineStep runTimelineFrame(DemoState& state, bool skipDraw) {
    if (skipDraw) {
        const OnePixel onePixel;
        runFrame(state, true);
        // Some scenes draw even on a catch-up step, and no swap follows: the
        // GL driver would keep queueing their vertices, gigabytes over a
        // show on a slow machine. A flush hands them over and bounds the
        // queue.
        glFlush();
    } else {
        runFrame(state, false);
    }
    if (state.frameCounter >= kLastFrame) {
        return TimelineStep::ShowEnded;
    }
    ++state.frameCounter;
    return TimelineStep::Running;
}

TimelineStep runUpTo(DemoState& state, int32_t frame) {
    const OnePixel onePixel;
    while (state.frameCounter < frame) {
        if (runTimelineFrame(state, false) == TimelineStep::ShowEnded) {
            return TimelineStep::ShowEnded;
        }
        if (state.frameCounter % 50 == 0) {
            glFlush(); // with no swap the driver would queue them all
        }
    }
    return TimelineStep::Running;
}
