// The whole show in one process, as the demo runs it: start-up over a full
// data/ folder, then every timeline frame to 7402. Prints the process's
// resident size and the heap in use as it goes, and checks the heap does not
// grow once the show is warm. Built with the sanitizers, LeakSanitizer then
// checks at exit that nothing of ours was lost.
//   soak [--draw-every N] [--quiet]     (default: every 4th frame drawn)
#include <dlfcn.h>
#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <GL/gl.h>

#include "demo/assets/manifest.h"
#include "demo/assets/startup.h"
#include "demo/runtime/sound.h"
#include "demo/timeline/demo_state.h"
#include "demo/timeline/timeline.h"
#include "tests/demo/assets/asset_files.h"
#include "tests/support/gl_harness.h"

namespace fs = std::filesystem;

namespace {

long residentKb() {
    long pages = 0, resident = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) {
            resident = 0;
        }
        std::fclose(statm);
    }
    return resident * 4;
}

long heapInUseKb() {
    return static_cast<long>(mallinfo2().uordblks / 1024);
}

bool writeDataFolder(const fs::path& root) {
    fs::create_directories(root / "data");
    std::vector<std::string> names = showPictureFiles();
    int n = 0;
    for (const std::string& name : names) {
        ++n;
        const bool jpeg = name.find(".jp") != std::string::npos;
        const auto colour = [n](int x, int y) {
            return Rgba{static_cast<uint8_t>(n * 5), static_cast<uint8_t>(x * 2),
                        static_cast<uint8_t>(y * 2), static_cast<uint8_t>(x < 64 ? 255 : 128)};
        };
        if (!writePicture((root / name).string(), 128, 96, jpeg ? 24 : 32,
                          jpeg ? SaveAs::Jpeg : SaveAs::Png, colour)) {
            return false;
        }
    }
    return writeOggTone((root / kMusicPath).string(), 2.0f);
}

} // namespace

int main(int argc, char** argv) {
    // Mesa unloads its driver when the context goes; leaks reported from it
    // after that have no module name to suppress them by. Kept loaded, they
    // name swrast_dri and fall under the suppressions.
    for (const char* library : {"/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so", "libEGL.so.1",
                                "libEGL_mesa.so.0", "libGL.so.1", "libGLX_mesa.so.0"}) {
        dlopen(library, RTLD_LAZY | RTLD_NODELETE);
    }
    int drawEvery = 4;
    bool quiet = false;
    int reportEvery = 500;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--draw-every") == 0 && i + 1 < argc) {
            drawEvery = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--every") == 0 && i + 1 < argc) {
            reportEvery = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--quiet") == 0) {
            quiet = true;
        }
    }
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    TempDir dir;
    if (!writeDataFolder(dir.path())) {
        std::fprintf(stderr, "soak: can't write the data folder\n");
        return 2;
    }
    long warmHeap = 0, warmRss = 0, peakHeap = 0;
    int status = 0;
    {
        GlHarness gl;
        if (!gl.ok()) {
            return 2;
        }
        auto state = std::make_unique<DemoState>();
        StartupHooks hooks;
        hooks.swapBuffers = [&gl] { gl.swap(); };
        hooks.fail = [](int, const char* reason) { std::fprintf(stderr, "soak: %s\n", reason); };
        bool started = false;
        {
            WorkingDirectory cwd(dir.path());
            started = startDemo(*state, hooks);
        }
        if (!started) {
            return 2;
        }
        std::printf("%6s %10s %12s\n", "frame", "RSS KB", "heap KB");
        std::printf("%6s %10ld %12ld   (after start-up)\n", "-", residentKb(), heapInUseKb());
        // Warm once every scene has run; frame 1000 is inside the hall.
        constexpr int kWarmFrame = 1000;
        while (runTimelineFrame(*state, state->frameCounter % drawEvery != 0) ==
               TimelineStep::Running) {
            if (state->frameCounter % drawEvery == 1 % drawEvery) {
                gl.swap();
                // The offscreen driver's swap of a pbuffer flushes nothing:
                // without this llvmpipe keeps binning every frame's commands
                // until its own scene limit, hundreds of megabytes.
                glFinish();
            } else {
                glFlush(); // as the next swap would, after a catch-up step
            }
            const int frame = state->frameCounter;
            if (frame == kWarmFrame) {
                warmHeap = heapInUseKb();
                warmRss = residentKb();
            }
            if (frame > kWarmFrame) {
                peakHeap = std::max(peakHeap, heapInUseKb());
            }
            if (!quiet && frame % reportEvery == 0) {
                std::printf("%6d %10ld %12ld\n", frame, residentKb(), heapInUseKb());
                std::fflush(stdout);
            }
        }
        std::printf("%6d %10ld %12ld   (the show's end)\n", state->frameCounter, residentKb(),
                    heapInUseKb());
        const long endHeap = heapInUseKb();
        std::printf("since frame %d: RSS %+ld KB, heap %+ld KB at the end, %+ld KB at its peak\n",
                    kWarmFrame, residentKb() - warmRss, endHeap - warmHeap, peakHeap - warmHeap);
        // Generous: llvmpipe's own pools move by megabytes from scene to
        // scene; a leak of a few KB a frame adds up to more over 6400 frames.
        // (The sanitizers' allocator keeps no glibc heap figures.)
        if (warmHeap > 0 && endHeap - warmHeap > 32 * 1024) {
            std::fprintf(stderr, "soak: the heap grew by %ld KB after warm-up\n",
                         endHeap - warmHeap);
            status = 1;
        }
        if (state->frameCounter != 7402) {
            status = 1;
        }
    }
    FSOUND_Close();
    return status;
}
