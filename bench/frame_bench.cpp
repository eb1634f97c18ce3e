// Time to draw each frame of the whole show with the real data, per scene
// window of the schedule: runTimelineFrame up to the finished picture
// (glFinish included), every frame drawn, offscreen on the machine's GL.
// Also the start-up: window open to the first show frame finished.
//   build/bench/frame_bench [--package DIR] [--size WxH]... [--from N] [--count K]
// Offscreen SDL video and dummy audio unless set otherwise. --from N runs the
// frames before N as catch-up steps (not drawn, not timed) and --count K
// stops after K drawn frames: a short stretch for a profiler. --catch-up C
// runs C catch-up steps after each drawn frame, as a slow machine does
// (those are not timed). --list-slow names the frames of 20 ms or more.
// --perf-ctl FIFO
// writes "enable" and "disable" around the timed frames, for
// perf record -D -1 --control fifo:FIFO (start-up left out of the profile).
#include <GL/gl.h>
#include <SDL.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "demo/assets/startup.h"
#include "demo/runtime/sound.h"
#include "demo/timeline/demo_state.h"
#include "demo/timeline/timeline.h"
#include "tests/support/gl_harness.h"

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// One stretch of consecutive frames that play the same row of the schedule.
struct Window {
    SceneId scene;
    int32_t first;
    int32_t last;
};

std::vector<Window> scheduleWindows() {
    std::vector<Window> windows;
    for (int32_t frame = 0; frame <= kLastFrame - 1; ++frame) {
        const SceneId scene = sceneAt(frame);
        if (windows.empty() || windows.back().scene != scene) {
            windows.push_back({scene, frame, frame});
        } else {
            windows.back().last = frame;
        }
    }
    return windows;
}

struct Stats {
    double median = 0, p99 = 0, max = 0;
    size_t count = 0;
};

Stats statsOf(std::vector<double> values) {
    Stats s;
    s.count = values.size();
    if (values.empty()) {
        return s;
    }
    std::sort(values.begin(), values.end());
    s.median = values[values.size() / 2];
    // Nearest rank: the smallest value at or above 99 % of the frames.
    const size_t rank = (values.size() * 99 + 99) / 100;
    s.p99 = values[std::min(values.size(), std::max<size_t>(rank, 1)) - 1];
    s.max = values.back();
    return s;
}

struct SizeRun {
    int width = 0, height = 0;
    double startupMs = 0;        // window open to the first show frame finished
    std::vector<double> frameMs; // by frame number; negative: not drawn
    std::vector<long> rssKb;     // resident memory after each drawn frame
    std::string renderer;
};

// perf's control channel; no-op when not profiling.
struct PerfControl {
    std::FILE* fifo = nullptr;
    void send(const char* command) const {
        if (fifo != nullptr) {
            std::fprintf(fifo, "%s\n", command);
            std::fflush(fifo);
        }
    }
};

// Resident memory of this process now, in KB (0 if unknown).
long residentKb() {
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (status == nullptr) {
        return 0;
    }
    char line[256];
    long kb = 0;
    while (std::fgets(line, sizeof line, status) != nullptr) {
        if (std::sscanf(line, "VmRSS: %ld", &kb) == 1) {
            break;
        }
    }
    std::fclose(status);
    return kb;
}

bool runSize(SizeRun& run, int32_t from, int32_t count, int32_t catchUp, const PerfControl& perf) {
    const auto windowOpening = Clock::now();
    GlHarness gl(run.width, run.height);
    if (!gl.ok()) {
        return false;
    }
    if (run.renderer.empty()) {
        const auto* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
        run.renderer = renderer != nullptr ? renderer : "?";
    }
    auto state = std::make_unique<DemoState>();
    StartupHooks hooks;
    hooks.swapBuffers = [&gl] { gl.swap(); };
    bool failed = false;
    hooks.fail = [&failed](int, const char* reason) {
        std::fprintf(stderr, "frame_bench: start-up failed: %s\n", reason);
        failed = true;
    };
    if (!startDemo(*state, hooks) || failed) {
        return false;
    }
    run.frameMs.assign(kLastFrame, -1.0);
    run.rssKb.assign(kLastFrame, 0);
    int32_t drawn = 0;
    for (;;) {
        const int32_t frame = state->frameCounter;
        const bool skip = frame < from;
        if (!skip && drawn == 0) {
            perf.send("enable");
        }
        const auto start = Clock::now();
        const TimelineStep step = runTimelineFrame(*state, skip);
        if (step == TimelineStep::ShowEnded) {
            break;
        }
        if (!skip) {
            glFinish();
            const double ms = msSince(start);
            if (drawn == 0) {
                run.startupMs = msSince(windowOpening);
            }
            run.frameMs[static_cast<size_t>(frame)] = ms;
            run.rssKb[static_cast<size_t>(frame)] = residentKb();
            gl.swap();
            if (++drawn == count) {
                break;
            }
            // As a slow machine would: catch-up steps after each drawn frame.
            for (int32_t i = 0; i < catchUp; ++i) {
                if (runTimelineFrame(*state, true) == TimelineStep::ShowEnded) {
                    break;
                }
            }
        }
    }
    perf.send("disable");
    state.reset();
    FSOUND_Close();
    return true;
}

bool parseSize(const char* text, int& width, int& height) {
    return std::sscanf(text, "%dx%d", &width, &height) == 2 && width > 0 && height > 0;
}

} // namespace

int main(int argc, char** argv) {
    mallopt(M_ARENA_MAX, 1); // as the demo runs
    std::string package;
    std::vector<SizeRun> runs;
    int32_t from = 0;
    int32_t count = -1;
    int32_t catchUp = 0;
    bool listSlow = false;
    PerfControl perf;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--package") == 0 && hasValue) {
            package = argv[++i];
        } else if (std::strcmp(argv[i], "--size") == 0 && hasValue) {
            SizeRun run;
            if (!parseSize(argv[++i], run.width, run.height)) {
                std::fprintf(stderr, "frame_bench: bad size %s\n", argv[i]);
                return 2;
            }
            runs.push_back(run);
        } else if (std::strcmp(argv[i], "--from") == 0 && hasValue) {
            from = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--count") == 0 && hasValue) {
            count = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--catch-up") == 0 && hasValue) {
            catchUp = std::max(0, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--list-slow") == 0) {
            listSlow = true;
        } else if (std::strcmp(argv[i], "--perf-ctl") == 0 && hasValue) {
            perf.fifo = std::fopen(argv[++i], "w");
            if (perf.fifo == nullptr) {
                std::fprintf(stderr, "frame_bench: cannot open %s\n", argv[i]);
                return 2;
            }
        } else {
            std::fprintf(stderr, "usage: frame_bench [--package DIR] [--size WxH]... [--from N] "
                                 "[--count K] [--catch-up C] [--list-slow] [--perf-ctl FIFO]\n");
            return 2;
        }
    }
    if (runs.empty()) {
        for (const auto& [w, h] : {std::pair{640, 480}, std::pair{1280, 960}}) {
            SizeRun run;
            run.width = w;
            run.height = h;
            runs.push_back(run);
        }
    }
    if (!package.empty() && chdir(package.c_str()) != 0) {
        std::fprintf(stderr, "frame_bench: cannot enter %s\n", package.c_str());
        return 1;
    }
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    for (SizeRun& run : runs) {
        const auto start = Clock::now();
        if (!runSize(run, from, count, catchUp, perf)) {
            return 1;
        }
        std::fprintf(stderr, "frame_bench: %dx%d done in %.0f s\n", run.width, run.height,
                     msSince(start) / 1000.0);
    }

    std::printf("GL renderer: %s\n", runs.front().renderer.c_str());
    std::printf("%-16s %-11s", "scene", "frames");
    for (const SizeRun& run : runs) {
        char head[32];
        std::snprintf(head, sizeof head, "%dx%d ms", run.width, run.height);
        std::printf(" | %-22s", head);
    }
    std::printf("\n%-16s %-11s", "", "");
    for (size_t i = 0; i < runs.size(); ++i) {
        std::printf(" | %6s %6s %8s", "median", "p99", "max");
    }
    std::printf("\n");
    auto row = [&](const char* name, const char* frames, auto pick) {
        std::printf("%-16s %-11s", name, frames);
        for (const SizeRun& run : runs) {
            std::vector<double> values;
            for (size_t f = 0; f < run.frameMs.size(); ++f) {
                if (run.frameMs[f] >= 0 && pick(static_cast<int32_t>(f))) {
                    values.push_back(run.frameMs[f]);
                }
            }
            const Stats s = statsOf(values);
            if (s.count == 0) {
                std::printf(" | %6s %6s %8s", "-", "-", "-");
            } else {
                std::printf(" | %6.2f %6.2f %8.2f", s.median, s.p99, s.max);
            }
        }
        std::printf("\n");
    };
    for (const Window& w : scheduleWindows()) {
        char frames[32];
        std::snprintf(frames, sizeof frames, "%d-%d", w.first, w.last);
        row(sceneName(w.scene), frames, [&w](int32_t f) { return f >= w.first && f <= w.last; });
    }
    row("whole show", "0-7401", [](int32_t) { return true; });
    for (const SizeRun& run : runs) {
        int over = 0;
        for (double ms : run.frameMs) {
            over += ms >= 20.0 ? 1 : 0;
        }
        std::printf("%dx%d: %d frames of 20 ms or more; window open to first show frame %.0f ms\n",
                    run.width, run.height, over, run.startupMs);
        if (listSlow) {
            // Which frames: a first use of a state (shader compile) or a steady cost.
            std::printf("  frames of 20 ms or more:");
            for (size_t f = 0; f < run.frameMs.size(); ++f) {
                if (run.frameMs[f] >= 20.0) {
                    std::printf(" %zu (%.0f)", f, run.frameMs[f]);
                }
            }
            std::printf("\n");
        }
        // Resident memory over the drawn frames: first, last, highest, and
        // by scene window the rise, so growth can be placed.
        long first = -1, last = 0, peak = 0;
        int32_t peakFrame = -1;
        for (size_t f = 0; f < run.rssKb.size(); ++f) {
            const long kb = run.rssKb[f];
            if (kb <= 0) {
                continue;
            }
            first = first < 0 ? kb : first;
            last = kb;
            if (kb > peak) {
                peak = kb;
                peakFrame = static_cast<int32_t>(f);
            }
        }
        std::printf("  resident memory: %.1f MB at the first drawn frame, %.1f MB at the last, "
                    "peak %.1f MB at frame %d\n",
                    first / 1024.0, last / 1024.0, peak / 1024.0, peakFrame);
        std::printf("  rise by scene window (MB):");
        for (const Window& w : scheduleWindows()) {
            long lo = 0, hi = 0;
            for (int32_t f = w.first; f <= w.last; ++f) {
                const long kb = run.rssKb[static_cast<size_t>(f)];
                if (kb > 0) {
                    lo = lo == 0 ? kb : lo;
                    hi = std::max(hi, kb);
                }
            }
            if (hi - lo >= 1024) {
                std::printf(" %s %d-%d +%.0f;", sceneName(w.scene), w.first, w.last,
                            (hi - lo) / 1024.0);
            }
        }
        std::printf("\n");
    }
    return 0;
}
