// demo: the show. "demo 1" plays full screen, anything else in a window.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "demo/runtime/command_line.h"
#include "demo/runtime/frame_clock.h"
#include "demo/runtime/gl_window.h"
#include "demo/runtime/main_loop.h"
#include "demo/runtime/sdl_time_source.h"
#include "demo/timeline/demo_state.h"
#include "demo/timeline/timeline.h"

namespace {

// Built before main and destroyed at exit, like the original's statics.
DemoState demo;

class DemoLoopHost : public LoopHost {
  public:
    DemoLoopHost(FrameClock& clock, TimeSource& time) : clock_(clock), time_(time) {}
    PumpResult pumpOneMessage() override { return pumpDemoMessage(); }
    bool isActive() override { return demoWindowActive(); }
    bool escapeHeld() override { return demoKeyHeld(kVirtualKeyEscape); }
    double clockMs() override { return frameClockMs(clock_, time_); }
    bool runFrame(bool skipDraw) override {
        return runTimelineFrame(demo, skipDraw) == TimelineStep::Running;
    }
    int64_t frameCounter() override { return demo.frameCounter; }
    void swapBuffers() override { swapDemoBuffers(); }
    void endShow() override {
        reportStats();
        std::exit(0); // the show's own end: no window teardown on this road
    }
    void reportStats() {
        if (std::getenv("VEMU_LOOP_STATS") != nullptr && stats != nullptr) {
            std::fprintf(stderr,
                         "demo: %lld frames drawn, %lld catch-up steps, %.3f s on the clock\n",
                         static_cast<long long>(stats->drawnFrames),
                         static_cast<long long>(stats->catchUpSteps),
                         frameClockMs(clock_, time_) / 1000.0);
        }
    }
    LoopStats* stats = nullptr;

  private:
    FrameClock& clock_;
    TimeSource& time_;
};

void printHelp() {
    std::printf("Usage: demo [1]\n"
                "Plays the show from the data/ folder of the current directory.\n"
                "An argument that is exactly \"1\" plays it full screen at 640x480;\n"
                "otherwise it plays in a 640x480 window. Escape or closing the\n"
                "window ends it early.\n");
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            printHelp();
            return 0;
        }
    }
    const bool fullscreen = parseFullscreenArgument(argc, argv);
    if (!openDemoWindow("Vemu", 640, 480, 32, fullscreen, demo)) {
        // The box said why. A window that cannot open is a failure, except
        // when the user declined the windowed fallback.
        return demoDeclinedWindowed() ? 0 : 1;
    }
    SdlTimeSource time;
    auto* clock = new FrameClock;
    startFrameClock(*clock, time);
    LoopStats stats;
    DemoLoopHost host(*clock, time);
    host.stats = &stats;
    const int status = runMainLoop(host, &stats);
    host.reportStats();
    delete clock;
    closeDemoWindow();
    return status;
}
