// demo: the show. "demo 1" plays full screen, anything else in a window.
#include <GL/gl.h>

#include <malloc.h>
#include <sched.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "demo/assets/startup.h"
#include "demo/desktop/gl_window.h"
#include "demo/desktop/sdl_time_source.h"
#include "demo/runtime/command_line.h"
#include "demo/runtime/frame_clock.h"
#include "demo/runtime/main_loop.h"
#include "demo/runtime/sound.h"
#include "demo/timeline/demo_state.h"
#include "demo/timeline/timeline.h"

namespace {

// One show per process: the state is built before main, with its start
// values, and lives until exit, so nothing of it is ever reset.
DemoState demo;

class DemoLoopHost : public LoopHost {
  public:
    DemoLoopHost(FrameClock& clock, TimeSource& time, double startMs)
        : clock_(clock), time_(time), startMs_(startMs) {}
    PumpResult pumpOneMessage() override { return pumpDemoMessage(); }
    bool isActive() override { return demoWindowActive(); }
    bool escapeHeld() override { return demoEscapeRequested(); }
    double clockMs() override { return startMs_ + frameClockMs(clock_, time_); }
    bool runFrame(bool skipDraw) override {
        if (skipDraw) {
            noteCatchUp(demo.frameCounter);
        }
        return runTimelineFrame(demo, skipDraw) == TimelineStep::Running;
    }
    int64_t frameCounter() override { return demo.frameCounter; }
    void swapBuffers() override {
        if (firstFrameFile != nullptr) {
            std::exit(saveFrame(firstFrameFile) ? 0 : 1);
        }
        swapDemoBuffers();
    }
    // Spins on the clock. Each turn offers the core to anything else ready
    // to run (the X server that shows our last frame, the driver's threads);
    // with nothing waiting the yield returns at once, so the timing is the
    // same.
    void busyWaitUntil(double ms) override {
        while (clockMs() < ms) {
            sched_yield();
        }
    }
    void endShow() override {
        reportStats();
        std::exit(0); // the show's own end: no window teardown on this road
    }
    void reportStats() {
        if (std::getenv("VEMU_LOOP_STATS") != nullptr && stats != nullptr) {
            std::fprintf(
                stderr, "demo: %lld frames drawn, %lld catch-up steps, %.3f s on the clock\n",
                static_cast<long long>(stats->drawnFrames),
                static_cast<long long>(stats->catchUpSteps), frameClockMs(clock_, time_) / 1000.0);
            if (!catchUpRuns_.empty()) {
                // Where the show fell behind: runs of frames stepped without drawing.
                std::fprintf(stderr, "demo: catch-up steps at frames");
                size_t shown = 0;
                for (const auto& [first, last] : catchUpRuns_) {
                    if (++shown > 40) {
                        std::fprintf(stderr, " ... (%zu runs in all)", catchUpRuns_.size());
                        break;
                    }
                    if (first == last) {
                        std::fprintf(stderr, " %d", first);
                    } else {
                        std::fprintf(stderr, " %d-%d", first, last);
                    }
                }
                std::fprintf(stderr, "\n");
            }
            reportDestinationAlpha();
            reportMusicTiming();
        }
    }
    LoopStats* stats = nullptr;
    const char* firstFrameFile = nullptr; // VEMU_FIRST_FRAME

  private:
    // The frame just drawn, from the back buffer, as a binary PPM picture.
    static bool saveFrame(const char* file) {
        GLint viewport[4] = {};
        glGetIntegerv(GL_VIEWPORT, viewport);
        const int width = viewport[2], height = viewport[3];
        std::vector<unsigned char> rgb(static_cast<size_t>(width) * height * 3);
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
        FILE* out = std::fopen(file, "wb");
        bool ok = out != nullptr && std::fprintf(out, "P6\n%d %d\n255\n", width, height) > 0;
        for (int y = height - 1; ok && y >= 0; --y) { // GL's rows run bottom up
            ok = std::fwrite(rgb.data() + static_cast<size_t>(y) * width * 3, 1,
                             static_cast<size_t>(width) * 3, out) == static_cast<size_t>(width) * 3;
        }
        if (out != nullptr && std::fclose(out) != 0) {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "demo: cannot write the frame to %s: %s\n", file,
                         std::strerror(errno));
        }
        return ok;
    }
    // Where the music's start fell against the clock's zero: positive when
    // the sound lags the picture. Heard is an estimate: one mixer buffer
    // after it leaves the mixer.
    void reportMusicTiming() const {
        const SoundTiming sound = soundTiming();
        if (sound.firstMixed == 0 || clock_.frequency <= 0) {
            return;
        }
        const double outMs = static_cast<double>(sound.firstMixed - clock_.counterStart) * 1000.0 /
                             static_cast<double>(clock_.frequency);
        std::fprintf(stderr,
                     "demo: music out %+.1f ms from the clock's zero, heard at about %+.1f ms "
                     "(buffer %.1f ms); %lld of %lld buffers late\n",
                     outMs, outMs + sound.bufferSeconds * 1000.0, sound.bufferSeconds * 1000.0,
                     static_cast<long long>(sound.lateBuffers),
                     static_cast<long long>(sound.buffersMixed));
    }
    // On a visual with alpha planes the blends need destination alpha at 1:
    // say what the last frame drawn left there. (The back buffer: a front
    // buffer that is the window itself may keep no alpha.)
    static void reportDestinationAlpha() {
        GLint alphaBits = 0;
        glGetIntegerv(GL_ALPHA_BITS, &alphaBits);
        if (alphaBits <= 0) {
            return;
        }
        GLint viewport[4] = {};
        glGetIntegerv(GL_VIEWPORT, viewport);
        std::vector<GLfloat> alpha(static_cast<size_t>(viewport[2]) *
                                   static_cast<size_t>(viewport[3]));
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, viewport[2], viewport[3], GL_ALPHA, GL_FLOAT, alpha.data());
        const auto [low, high] = std::minmax_element(alpha.begin(), alpha.end());
        if (low != alpha.end()) {
            std::fprintf(stderr,
                         "demo: the window has %d alpha bits; destination alpha reads %.3f to "
                         "%.3f\n",
                         alphaBits, *low, *high);
        }
    }
    void noteCatchUp(int32_t frame) {
        if (!catchUpRuns_.empty() && catchUpRuns_.back().second + 1 == frame) {
            catchUpRuns_.back().second = frame;
        } else {
            catchUpRuns_.emplace_back(frame, frame);
        }
    }
    std::vector<std::pair<int32_t, int32_t>> catchUpRuns_;
    FrameClock& clock_;
    TimeSource& time_;
    double startMs_; // where the clock reads zero: the start frame's time
};

void printHelp() {
    std::printf("Usage: demo [1] [--gentle]\n"
                "Plays the show from the data/ folder of the current directory.\n"
                "An argument that is exactly \"1\" plays it full screen at 640x480;\n"
                "otherwise it plays in a 640x480 window, which can be resized.\n"
                "\n"
                "Flashing lights: the show flashes the whole screen white five times a\n"
                "second, for 15 s from 1:04, 16 s from 1:35 and the last 6 s, past the\n"
                "thresholds for photosensitive viewers (WCAG 2.3.1). --gentle plays\n"
                "the gentle show: each flash is a thin white frame around the picture,\n"
                "on the same beat, with the same music.\n"
                "\n"
                "Where 640x480 full screen cannot be set, a box offers a window\n"
                "instead (and where no box can be shown, it plays in a window).\n"
                "Escape or closing the window ends it early.\n"
                "\n"
                "Testing aids (environment):\n"
                "  VEMU_START_FRAME=N  start the show at frame N (0 to %d): the frames\n"
                "                      before it run first, unseen, so that frame N is\n"
                "                      exactly the one democap --frames N-N writes;\n"
                "                      the music starts at the same moment\n"
                "  VEMU_FIRST_FRAME=FILE  write the first frame drawn (frame N with\n"
                "                      VEMU_START_FRAME=N) to FILE, a binary PPM\n"
                "                      picture, and end there\n"
                "  VEMU_LOOP_STATS=1   print how long the run-up to VEMU_START_FRAME took,\n"
                "                      then frames drawn and catch-up steps at the end,\n"
                "                      with the frames where the catch-up steps fell\n"
                "                      (and, on a visual with alpha planes, what\n"
                "                      destination alpha reads), with when the music\n"
                "                      came out against the clock and its late buffers\n",
                kLastShownFrame);
}

// VEMU_START_FRAME, or 0 when unset or not a frame of the show.
int32_t startFrameFromEnvironment() {
    const char* text = std::getenv("VEMU_START_FRAME");
    if (text == nullptr || *text == '\0') {
        return 0;
    }
    char* end = nullptr;
    const long frame = std::strtol(text, &end, 10);
    if (*end != '\0' || frame < 0 || frame > kLastShownFrame) {
        std::fprintf(stderr, "demo: VEMU_START_FRAME=%s ignored (0 to %d)\n", text,
                     kLastShownFrame);
        return 0;
    }
    return static_cast<int32_t>(frame);
}

} // namespace

int main(int argc, char** argv) {
    // One malloc arena, set before any thread starts. Otherwise the start-up's
    // decode threads, the music thread and the driver's threads each keep an
    // arena holding pages they freed long ago (about 20 MB resident for the
    // whole show); the show allocates little once it runs, and the start-up
    // is no slower for sharing.
    mallopt(M_ARENA_MAX, 1);
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            printHelp();
            return 0;
        }
    }
    const bool fullscreen = parseFullscreenArgument(argc, argv);
    demo.gentle = parseGentleArgument(argc, argv);
    const int32_t startFrame = startFrameFromEnvironment();
    if (!openDemoWindow("Vemu", 640, 480, 32, fullscreen)) {
        // The box said why. A window that cannot open is a failure, except
        // when the user declined the windowed fallback.
        return demoDeclinedWindowed() ? 0 : 1;
    }
    // The start-up in the fresh context: pictures, then the music.
    StartupHooks hooks;
    hooks.swapBuffers = swapDemoBuffers;
    hooks.fail = [](int status, const char* reason) {
        std::fprintf(stderr, "demo: %s\n", reason);
        std::exit(status);
    };
    startDemo(demo, hooks);
    SdlTimeSource time;
    const int64_t runUpFrom = time.performanceCounter();
    runUpTo(demo, startFrame);
    glFinish(); // the run-up's drawing done before the clock starts
    const double runUpSeconds =
        static_cast<double>(time.performanceCounter() - runUpFrom) /
        static_cast<double>(std::max<int64_t>(1, time.performanceFrequency()));
    // The music from the frame the show starts at, as the page's seek does.
    if (startFrame > 0) {
        FSOUND_SetCurrentPosition(
            demo.musicChannel,
            static_cast<unsigned>(startFrame * kFrameMs * FSOUND_GetOutputRate() / 1000.0));
    }
    // The clock starts as the music leaves the mixer, not a buffer before.
    waitForSoundOut(250);
    auto* clock = new FrameClock;
    startFrameClock(*clock, time);
    LoopStats stats;
    DemoLoopHost host(*clock, time, startFrame * kFrameMs);
    host.stats = &stats;
    host.firstFrameFile = std::getenv("VEMU_FIRST_FRAME");
    if (startFrame > 0 && std::getenv("VEMU_LOOP_STATS") != nullptr) {
        std::fprintf(stderr, "demo: ran up to frame %d in %.2f s\n", startFrame, runUpSeconds);
    }
    const int status = runMainLoop(host, &stats);
    host.reportStats();
    delete clock;
    closeDemoWindow();
    return status;
}
