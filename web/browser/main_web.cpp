// The show in a browser: the page's calls into the same start-up, timeline
// and main-loop pass as the desktop demo. The page fetches data/ into the
// virtual file system, then either plays the show (on the animation frame,
// with the frame clock read from the audio clock) or, for tests, draws one
// frame exactly, as democap does.
#include <GL/gl.h>
#include <emscripten.h>
#include <emscripten/html5.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "demo/assets/manifest.h"
#include "demo/assets/startup.h"
#include "demo/runtime/main_loop.h"
#include "demo/runtime/sound.h"
#include "demo/runtime/viewport.h"
#include "demo/timeline/cues.h"
#include "demo/timeline/demo_state.h"
#include "demo/timeline/timeline.h"
#include "web/browser/draw_scale.h"
#include "web/browser/web_sound.h"
#include "web/gl11/gl11_state.h"

namespace {

std::unique_ptr<DemoState> state;
std::string startupProblem;
bool escapeRequested = false;
bool holdFirstFrame = false; // a testing aid: stand on the first frame drawn
bool ended = false;
LoopStats stats;
// How far each drawn frame's picture came after its moment in the music.
double lagSumMs = 0.0;
double lagMostMs = 0.0;
// The longest the page went without handing back to the browser.
double longestPassMs = 0.0;
int longestPassFrame = 0; // the frame it ended at

// The browser shows nothing, and handles no input, until a pass returns: a
// pass ends its catch-up after this long, and the next one goes on from
// there (a refresh or two at 60 Hz).
constexpr double kPassBudgetMs = 30.0;

// The share of the window's size the show draws at; it shrinks while the
// machine falls behind and grows back once it keeps up.
DrawScale drawScale;
bool drawScaleChanged = false;

// Seeking. The show as it stood every 5 s of it, noted as it passes them
// (played or run up): a seek goes back to the nearest moment at or before
// its frame, or on from where the show stands, and runs up from there.
constexpr int32_t kMomentEvery = 250;
struct Moment {
    ShowSnapshot show;
    Gl11Snapshot gl;
};
std::map<int32_t, Moment> moments;
bool paused = false;
// The start-up has run (before the start button: pictures uploaded, music
// decoded and held), and moment 0 is noted.
bool prepared = false;
// Where the noting of moments in the background stands (on the exact path).
std::optional<Moment> notingAt;
// The show stands where one played with every frame drawn would: no
// catch-up step since the start or the last seek. Catch-up steps advance
// some scenes otherwise, so only such a show's moments are noted, and a
// seek from a show that caught up goes back to one.
bool exactPath = true;

void noteMoment() {
    const int32_t frame = state->frameCounter;
    if (exactPath && frame % kMomentEvery == 0 && frame <= kLastShownFrame &&
        moments.count(frame) == 0) {
        moments.emplace(frame, Moment{takeSnapshot(*state), gl11Save()});
    }
}

// The frames up to `frame`, unseen: run for their state alone, with nothing
// drawn, noting the moments on the way.
TimelineStep runUpNoting(int32_t frame) {
    TimelineStep step = TimelineStep::Running;
    while (state->frameCounter < frame && step == TimelineStep::Running) {
        noteMoment();
        const int32_t next =
            std::min(frame, (state->frameCounter / kMomentEvery + 1) * kMomentEvery);
        gl11SetDrawing(false);
        step = runUpTo(*state, next);
        gl11SetDrawing(true);
    }
    noteMoment();
    return step;
}

Moment momentNow() {
    return Moment{takeSnapshot(*state), gl11Save()};
}

void goTo(const Moment& moment) {
    restoreSnapshot(*state, moment.show);
    gl11Restore(*moment.gl);
}

// The show at `frame`, not yet drawn: from the last moment at or before it,
// run up for its state alone.
void standAt(int32_t frame) {
    auto moment = moments.upper_bound(frame);
    if (moment != moments.begin()) {
        --moment;
        goTo(moment->second);
        exactPath = true;
    }
    runUpNoting(frame);
}

// clang-format off
EM_JS(void, notifyPage, (const char* event, int drawn, int caughtUp, double meanLag, double maxLag,
                        double longestPass, int longestPassFrame, double leastScale), {
    if (Module.vemuEvent) {
        Module.vemuEvent(UTF8ToString(event), drawn, caughtUp, meanLag, maxLag, longestPass,
                         longestPassFrame, leastScale);
    }
});

// A picture the show draws blank, for the page to say with "Ready".
EM_JS(void, notePictureMissing, (const char* path, const char* why), {
    (Module.vemuMissing = Module.vemuMissing || []).push(UTF8ToString(path) + " (" +
                                                         UTF8ToString(why) + ")");
});

// The page sizes the canvas's drawing buffer (and calls vemu_resize).
EM_JS(void, setDrawScale, (double scale), {
    Module.vemuDrawScale = scale;
    if (Module.vemuFitCanvas) {
        Module.vemuFitCanvas();
    }
});
// clang-format on

class PageHost : public LoopHost {
  public:
    PumpResult pumpOneMessage() override { return PumpResult::NoMessage; }
    bool isActive() override { return true; }
    bool escapeHeld() override { return escapeRequested; }
    double clockMs() override { return webSoundClockMs(); }
    bool runFrame(bool skipDraw) override {
        if (!skipDraw) {
            const double lag = clockMs() - static_cast<double>(state->frameCounter) * kFrameMs;
            lagSumMs += lag;
            lagMostMs = std::max(lagMostMs, lag);
        }
        drawScaleChanged |= drawScale.noteFrame(skipDraw);
        noteMoment();
        exactPath = exactPath && !skipDraw;
        // A catch-up step's picture is never seen: its state calls only.
        gl11SetDrawing(!skipDraw);
        const TimelineStep step = runTimelineFrame(*state, skipDraw);
        gl11SetDrawing(true);
        return step == TimelineStep::Running;
    }
    int64_t frameCounter() override { return state->frameCounter; }
    void swapBuffers() override {}         // the browser shows the frame when the callback returns
    void busyWaitUntil(double) override {} // paced by the display's refresh instead
    void endShow() override { ended = true; }
    bool catchUpMayGoOn() override { return emscripten_get_now() - passStartMs < kPassBudgetMs; }
    double passStartMs = 0.0;
};

PageHost host;

EM_BOOL animationFrame(double, void*) {
    if (ended || escapeRequested) {
        FSOUND_Close();
        const double drawn = static_cast<double>(std::max<int64_t>(stats.drawnFrames, 1));
        notifyPage(ended ? "ended" : "stopped", static_cast<int>(stats.drawnFrames),
                   static_cast<int>(stats.catchUpSteps), lagSumMs / drawn, lagMostMs, longestPassMs,
                   longestPassFrame, drawScale.least());
        setDrawScale(1.0);
        return EM_FALSE;
    }
    if (paused) {
        return EM_TRUE; // the last frame stays on the canvas
    }
    // A pass as soon as the next frame's moment has come: the desktop
    // busy-waits for it, the page waits for the first display refresh after
    // it. (Pacing by 20 ms from the last pass would draw every other refresh
    // at 60 Hz: 30 frames a second.)
    host.passStartMs = emscripten_get_now();
    runRefreshPass(host, stats);
    if (holdFirstFrame && stats.drawnFrames > 0) {
        FSOUND_Close();
        notifyPage("held", static_cast<int>(stats.drawnFrames), 0, 0, 0, 0, 0, 1);
        return EM_FALSE;
    }
    const double passMs = emscripten_get_now() - host.passStartMs;
    if (passMs > longestPassMs) {
        longestPassMs = passMs;
        longestPassFrame = static_cast<int>(state->frameCounter);
    }
    if (drawScaleChanged) {
        drawScaleChanged = false;
        setDrawScale(drawScale.scale());
    }
    return EM_TRUE;
}

// The least share of the window to draw at: the show's own 640x480, or the
// whole window where it is smaller.
double showFloorScale() {
    double width = 0.0, height = 0.0;
    emscripten_get_element_css_size("#canvas", &width, &height);
    const double pixels = width * emscripten_get_device_pixel_ratio();
    return pixels > 640.0 ? 640.0 / pixels : 1.0;
}

StartupHooks pageHooks(bool yieldBetweenFrames) {
    StartupHooks hooks;
    if (yieldBetweenFrames) {
        // Back to the browser so it shows the loading frame just drawn.
        hooks.swapBuffers = [] { emscripten_sleep(0); };
    } else {
        hooks.swapBuffers = [] {};
    }
    hooks.fail = [](int, const char* reason) { startupProblem = reason; };
    hooks.pictureMissing = [](const char* path, const char* why) { notePictureMissing(path, why); };
    return hooks;
}

} // namespace

extern "C" {

// The WebGL 2 context on the page's canvas, with the show's fixed state.
EMSCRIPTEN_KEEPALIVE int vemu_open(int width, int height) {
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.majorVersion = 2;
    attributes.minorVersion = 0;
    attributes.alpha = EM_FALSE;
    attributes.depth = EM_TRUE;
    attributes.stencil = EM_FALSE;
    attributes.antialias = EM_FALSE;
    attributes.preserveDrawingBuffer = EM_TRUE; // screenshots read the last frame
    const EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context =
        emscripten_webgl_create_context("#canvas", &attributes);
    if (context <= 0 ||
        emscripten_webgl_make_context_current(context) != EMSCRIPTEN_RESULT_SUCCESS) {
        std::fprintf(stderr, "vemu: no WebGL 2 context (%d)\n", static_cast<int>(context));
        return 0;
    }
    resizeViewport(width, height);
    return 1;
}

// The canvas changed size: the projection follows, as the desktop window's does.
EMSCRIPTEN_KEEPALIVE void vemu_resize(int width, int height) {
    resizeViewport(width, height);
}

// The data files the page must fetch before the start-up, one per line.
EMSCRIPTEN_KEEPALIVE const char* vemu_data_files() {
    static std::string list;
    list.clear();
    for (const std::string& file : showPictureFiles()) {
        list += file + "\n";
    }
    list += std::string(kMusicPath) + "\n";
    return list.c_str();
}

// The start-up, run while the start screen shows: every picture uploaded,
// the music decoded and held back, frame 0 drawn once (unseen) so the
// browser has compiled and uploaded what the first frames need. The start
// button then only starts the sound and the clock. Returns an empty text,
// or why the show cannot start.
EMSCRIPTEN_KEEPALIVE const char* vemu_prepare() {
    state = std::make_unique<DemoState>();
    moments.clear();
    notingAt.reset();
    prepared = false;
    exactPath = true;
    startupProblem.clear();
    webSoundHoldPlay(true);
    webSoundDecodeInParts(true);
    const bool started = startDemo(*state, pageHooks(true));
    webSoundDecodeInParts(false);
    webSoundHoldPlay(false);
    if (!started || !startupProblem.empty()) {
        return startupProblem.empty() ? "the start-up did not finish" : startupProblem.c_str();
    }
    noteMoment();
    runTimelineFrame(*state, false);
    glFinish();
    goTo(moments.at(0));
    prepared = true;
    return "";
}

// The moments of the show not noted yet, noted for about `budgetMs`, while
// the start screen shows or the show is paused (not while it plays: that
// would take its frames' time), so that any seek runs up 250 frames at
// most. The show's own state is put back as it stood. 1 while more remain.
EMSCRIPTEN_KEEPALIVE int vemu_note_slice(double budgetMs) {
    constexpr int32_t kLastMoment = kLastShownFrame / kMomentEvery * kMomentEvery;
    if (!prepared || (notingAt && notingAt->show.values.frameCounter >= kLastMoment)) {
        return 0;
    }
    const double end = emscripten_get_now() + budgetMs;
    const Moment live = momentNow();
    const bool liveExact = exactPath;
    goTo(notingAt ? *notingAt : moments.at(0));
    exactPath = true;
    while (emscripten_get_now() < end && state->frameCounter < kLastMoment) {
        runUpNoting(state->frameCounter + 50);
    }
    notingAt = momentNow();
    goTo(live);
    exactPath = liveExact;
    return notingAt->show.values.frameCounter < kLastMoment ? 1 : 0;
}

// The frame of scene `index` drawn once, unseen, and the show put back as
// it stood: the browser's GL builds what a scene's drawing needs on its
// first use (Mesa and SwiftShader compile a program for each new state), so
// a first seek into the scene would wait for that. Past the last scene, the
// frame the show stands on is drawn, as the canvas held it. 1 while there
// are more scenes. Run once every moment is noted: each run-up is short.
EMSCRIPTEN_KEEPALIVE int vemu_warm_scene(int index) {
    constexpr int kScenes = static_cast<int>(std::size(kSchedule));
    constexpr int kEach = 3; // frames of each scene, at a sixth, a half and five sixths
    if (!prepared) {
        return 0;
    }
    const bool scene = index >= 0 && index < kScenes * kEach;
    const Moment live = momentNow();
    const bool liveExact = exactPath;
    if (scene) {
        const ScheduleRow& row = kSchedule[index / kEach];
        int32_t frame = row.first + (std::min(row.last, kLastShownFrame) - row.first) *
                                        (1 + 2 * (index % kEach)) / (2 * kEach);
        while (isFlashFrame(frame)) {
            ++frame; // all white: it would build nothing of the scene's own
        }
        standAt(frame);
    }
    runTimelineFrame(*state, false);
    // A pixel read back waits for the drawing itself (glFinish does not, in
    // Chromium), so that none of it is left for the show's first frames.
    GLubyte pixel[4];
    glReadPixels(0, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    goTo(live);
    exactPath = liveExact;
    return scene ? 1 : 0;
}

// The show on the animation frame, from `startFrame` (a link's moment, or
// a testing aid as the desktop's VEMU_START_FRAME) with its music from the
// same moment. hold (another, as VEMU_FIRST_FRAME): the show stands on the
// first frame it draws, without sound. Called from the page's start button
// (the gesture that lets sound play). Returns an empty text, or why the show
// cannot start.
EMSCRIPTEN_KEEPALIVE const char* vemu_start(int startFrame, int hold, int gentle) {
    if (!prepared) {
        return "the start-up has not run";
    }
    state->gentle = gentle != 0;
    paused = false;
    escapeRequested = false;
    holdFirstFrame = hold != 0;
    ended = false;
    stats = LoopStats{};
    lagSumMs = 0.0;
    lagMostMs = 0.0;
    longestPassMs = 0.0;
    longestPassFrame = 0;
    drawScale = DrawScale(showFloorScale());
    drawScaleChanged = false;
    if (startFrame < 0 || startFrame > kLastShownFrame) {
        startFrame = 0;
    }
    standAt(startFrame);
    // The browser's GL works through the run-up's queue now, not in the
    // show's first passes.
    glFinish();
    if (!webSoundStartHeld(static_cast<double>(startFrame) * kFrameMs / 1000.0)) {
        return "the music did not start";
    }
    emscripten_request_animation_frame_loop(animationFrame, nullptr);
    return "";
}

// A seek: the show stands at `frame`, its picture drawn at once, and plays
// on from there with its music, or stays paused. The frame shown, or -1
// before the show has started.
EMSCRIPTEN_KEEPALIVE int vemu_seek(int frame) {
    if (!prepared || ended) {
        return -1;
    }
    frame = std::clamp(frame, 0, static_cast<int>(kLastShownFrame));
    auto moment = moments.upper_bound(frame);
    --moment; // the last at or before the frame (moment 0 is always there)
    if (!exactPath || frame < state->frameCounter || moment->first > state->frameCounter) {
        standAt(frame);
    } else {
        runUpNoting(frame);
    }
    runTimelineFrame(*state, false);
    stats.catchUpPending = false;
    if (!paused && !holdFirstFrame) {
        webSoundPlayFrom(static_cast<double>(frame) * kFrameMs / 1000.0);
    }
    return frame;
}

// Pause (1) and play on (0), the music with the pictures.
EMSCRIPTEN_KEEPALIVE void vemu_pause(int on) {
    if (state == nullptr || ended || holdFirstFrame || (on != 0) == paused) {
        return;
    }
    paused = on != 0;
    if (paused) {
        webSoundPause();
        return;
    }
    stats.catchUpPending = false;
    const int32_t shown = std::max(state->frameCounter - 1, 0);
    webSoundPlayFrom(static_cast<double>(shown) * kFrameMs / 1000.0);
}

// A testing aid: `steps` catch-up steps, as a machine that fell that far
// behind runs them, for a seek to start from a show that caught up.
EMSCRIPTEN_KEEPALIVE void vemu_catch_up(int steps) {
    for (int i = 0; i < steps && state != nullptr && !ended; ++i) {
        host.runFrame(true);
    }
}

// The frame on the canvas.
EMSCRIPTEN_KEEPALIVE int vemu_position() {
    return state != nullptr ? std::max(state->frameCounter - 1, 0) : 0;
}

// The show's scenes as chapters, one per line: first frame, a tab, name.
EMSCRIPTEN_KEEPALIVE const char* vemu_chapters() {
    static std::string list;
    list.clear();
    for (const ScheduleRow& row : kSchedule) {
        list += std::to_string(row.first) + "\t" + sceneName(row.scene) + "\n";
    }
    return list.c_str();
}

// Escape: the show stops at its next animation frame.
EMSCRIPTEN_KEEPALIVE void vemu_stop() {
    escapeRequested = true;
}

// Frame-exact: the start-up without sound, the run-up to `frame` and
// `frame` drawn at full size, as democap draws it.
EMSCRIPTEN_KEEPALIVE int vemu_draw_frame(int frame, int width, int height) {
    if (state == nullptr) {
        state = std::make_unique<DemoState>();
        startDemo(*state, pageHooks(false));
        FSOUND_Close();
    }
    glViewport(0, 0, width, height);
    gl11SetDrawing(false);
    const TimelineStep runUp =
        frame < state->frameCounter ? TimelineStep::ShowEnded : runUpTo(*state, frame);
    gl11SetDrawing(true);
    if (runUp == TimelineStep::ShowEnded ||
        runTimelineFrame(*state, false) == TimelineStep::ShowEnded) {
        return 0;
    }
    glFinish();
    return 1;
}

} // extern "C"

int main() {
    return 0; // the page drives everything through the calls above
}
