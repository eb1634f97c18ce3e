// webframes: renders chosen frames of the show through the GL 1.1 subset the
// browser build draws with, natively on OpenGL ES 3, to PNGs named as
// democap names its own. Set beside democap's frames, they show what the
// subset changes, without a browser.
#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

#include "demo/assets/startup.h"
#include "demo/runtime/viewport.h"
#include "demo/timeline/demo_state.h"
#include "demo/timeline/timeline.h"
#include "tools/democap/capture_plan.h"
#include "tools/democap/offscreen_gl.h"
#include "tools/democap/png_file.h"

namespace {

const char* const kUsage =
    "Usage: webframes [--package DIR] [--size WxH] --frames N[,N...] --out DIR\n"
    "Renders the given frames of the show through the GL 1.1 subset of the\n"
    "browser build, on OpenGL ES 3 (offscreen), as DIR/frame_NNNNN.png.\n"
    "Frames before each are run on one pixel, as democap runs them.\n"
    "\n"
    "  --package DIR  folder holding data/ (default: the current directory)\n"
    "  --size WxH     frame size (default 640x480)\n"
    "  --frames LIST  frames to write, as democap takes them (\"650-700,2950\")\n"
    "  --out DIR      an existing folder for the pictures\n"
    "  --help         this text\n";

struct Options {
    std::string package = ".";
    std::string out;
    int width = 640;
    int height = 480;
    std::set<int32_t> frames;
};

int usageError(const std::string& message) {
    std::fprintf(stderr, "webframes: %s\nTry 'webframes --help'.\n", message.c_str());
    return 2;
}

// Returns the status to end with, or -1 to go on.
int parse(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (i + 1 >= argc) {
            return usageError(arg + " needs a value");
        }
        const std::string value = argv[++i];
        if (arg == "--package") {
            options.package = value;
        } else if (arg == "--out") {
            options.out = value;
        } else if (arg == "--size") {
            if (std::sscanf(value.c_str(), "%dx%d", &options.width, &options.height) != 2 ||
                options.width < 1 || options.height < 1 || options.width > 8192 ||
                options.height > 8192) {
                return usageError("--size " + value + ": give WxH, 1 to 8192 each");
            }
        } else if (arg == "--frames") {
            // democap's frame lists, ranges and all, so both name the same frames.
            std::string error;
            const auto ranges = democap::parseFrameList(value, error);
            if (!ranges) {
                return usageError("--frames: " + error);
            }
            for (const democap::FrameRange& r : *ranges) {
                for (int32_t f = r.first; f <= r.last; ++f) {
                    options.frames.insert(f);
                }
            }
        } else {
            return usageError("unknown option " + arg);
        }
    }
    if (options.frames.empty() || options.out.empty()) {
        return usageError("--frames and --out are needed");
    }
    return -1;
}

int fail(const std::string& message) {
    std::fprintf(stderr, "webframes: %s\n", message.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (const int status = parse(argc, argv, options); status >= 0) {
        return status;
    }
    if (options.out.front() != '/') {
        char cwd[4096];
        if (getcwd(cwd, sizeof cwd) != nullptr) {
            options.out = std::string(cwd) + "/" + options.out;
        }
    }
    if (chdir(options.package.c_str()) != 0) {
        return fail("cannot enter " + options.package);
    }
    // An ES 3.0 context: what WebGL 2 offers in the browser.
    OffscreenGl gl;
    std::string glError;
    if (!gl.open(options.width, options.height, glError, OffscreenGl::Api::Es3)) {
        return fail(glError);
    }
    resizeViewport(options.width, options.height);

    auto state = std::make_unique<DemoState>();
    StartupHooks hooks;
    hooks.swapBuffers = [&gl] { gl.swap(); };
    hooks.fail = [](int, const char* reason) {
        std::fprintf(stderr, "webframes: note: %s; going on without sound\n", reason);
    };
    startDemo(*state, hooks);

    std::vector<uint8_t> rgba(static_cast<size_t>(options.width) * options.height * 4);
    std::vector<uint8_t> rgb(static_cast<size_t>(options.width) * options.height * 3);
    std::vector<uint8_t> scratch;
    glDisable(GL_SCISSOR_TEST);
    glViewport(0, 0, options.width, options.height);
    for (const int32_t frame : options.frames) {
        // Only the frames written are drawn to size.
        runUpTo(*state, frame);
        runTimelineFrame(*state, false);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, options.width, options.height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        for (size_t i = 0, n = rgb.size() / 3; i < n; ++i) {
            rgb[i * 3] = rgba[i * 4];
            rgb[i * 3 + 1] = rgba[i * 4 + 1];
            rgb[i * 3 + 2] = rgba[i * 4 + 2];
        }
        std::string error;
        if (!democap::writePng(options.out + "/" + democap::frameFileName(frame), rgb.data(),
                               options.width, options.height, scratch, error)) {
            return fail(error);
        }
        gl.swap();
    }
    state.reset(); // frees GL objects while the context is current
    return 0;
}
