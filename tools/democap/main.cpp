// democap: renders the show headless and frame-exact to PNGs or a video.
// The same start-up and timeline as the demo, driven one frame after another
// with no clock: every frame is drawn, as on a machine fast enough to never
// need a catch-up step, unless --skip asks for catch-up steps.
#include <GL/gl.h>
#include <SDL.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "demo/assets/startup.h"
#include "demo/runtime/viewport.h"
#include "demo/timeline/demo_state.h"
#include "demo/timeline/timeline.h"
#include "tools/democap/capture_plan.h"
#include "tools/democap/frame_readback.h"
#include "tools/democap/frame_sinks.h"

using namespace democap;

namespace {

constexpr const char* kMusicFile = "data/velda.ogg";

int fail(const std::string& message, int status = 1) {
    std::fprintf(stderr, "democap: %s\n", message.c_str());
    return status;
}

std::string absolutePath(const std::string& path) {
    std::error_code error;
    const std::filesystem::path full = std::filesystem::absolute(path, error);
    return error ? path : full.lexically_normal().string();
}

bool isFolder(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool isReadableFile(const char* path) {
    struct stat info {};
    return stat(path, &info) == 0 && S_ISREG(info.st_mode) && access(path, R_OK) == 0;
}

// The offscreen window and its context on llvmpipe, set up like the demo's.
class OffscreenGl {
  public:
    bool open(int width, int height, std::string& error) {
        if (SDL_Init(SDL_INIT_VIDEO) != 0) {
            error = std::string("cannot start SDL video: ") + SDL_GetError();
            return false;
        }
        sdlUp_ = true;
        SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
        SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
        // Scenes rely on destination alpha reading 1; VEMU_GL_ALPHA_BITS asks
        // for alpha planes anyway, as many drivers give them (a testing aid).
        const char* alphaBits = std::getenv("VEMU_GL_ALPHA_BITS");
        SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, alphaBits != nullptr ? std::atoi(alphaBits) : 0);
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
        SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
        window_ = SDL_CreateWindow("Vemu", 0, 0, width, height, SDL_WINDOW_OPENGL);
        if (window_ == nullptr) {
            error = std::string("cannot make the offscreen window: ") + SDL_GetError();
            return false;
        }
        context_ = SDL_GL_CreateContext(window_);
        if (context_ == nullptr || SDL_GL_MakeCurrent(window_, context_) != 0) {
            error = std::string("cannot make a GL context: ") + SDL_GetError();
            return false;
        }
        SDL_GL_SetSwapInterval(0);
        const int alpha = lockDestinationAlpha(
            [](void* window) { SDL_GL_SwapWindow(static_cast<SDL_Window*>(window)); }, window_);
        if (alphaBits != nullptr) {
            std::fprintf(stderr, "democap: the context has %d alpha bits\n", alpha);
        }
        GLint maxSize[2] = {0, 0};
        glGetIntegerv(GL_MAX_VIEWPORT_DIMS, maxSize);
        if (width > maxSize[0] || height > maxSize[1]) {
            error = "the GL driver renders at most " + std::to_string(maxSize[0]) + "x" +
                    std::to_string(maxSize[1]);
            return false;
        }
        return true;
    }
    void swap() { SDL_GL_SwapWindow(window_); }
    ~OffscreenGl() {
        if (context_ != nullptr) {
            SDL_GL_DeleteContext(context_);
        }
        if (window_ != nullptr) {
            SDL_DestroyWindow(window_);
        }
        if (sdlUp_) {
            SDL_Quit();
        }
    }

  private:
    bool sdlUp_ = false;
    SDL_Window* window_ = nullptr;
    SDL_GLContext context_ = nullptr;
};

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    const ParseResult parsed = parseArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (parsed.status == ParseResult::Status::Help) {
        std::fputs(usageText().c_str(), stdout);
        return 0;
    }
    if (parsed.status == ParseResult::Status::Error) {
        std::fprintf(stderr, "democap: %s\nTry 'democap --help'.\n", parsed.error.c_str());
        return 2;
    }
    Options options = parsed.options;
    const FramePlan plan(options);
    const bool video = options.outputKind == OutputKind::Video;

    // Relative to where we were started, not to the package folder.
    options.out = absolutePath(options.out);
    if (!isFolder(options.packageDir)) {
        std::fprintf(stderr, "democap: --package %s is not a folder\nTry 'democap --help'.\n",
                     options.packageDir.c_str());
        return 2;
    }
    if (video && !findExecutable("ffmpeg", std::getenv("PATH"))) {
        return fail("ffmpeg not found on PATH; it makes the video (Debian: apt-get install "
                    "ffmpeg), or give --out a folder for PNGs");
    }
    std::string error;
    if (!video && !makeFolders(options.out, error)) {
        return fail(error);
    }
    if (chdir(options.packageDir.c_str()) != 0) {
        return fail("cannot enter " + options.packageDir);
    }

    // Never a window on screen nor a sound card, display or not.
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    OffscreenGl gl;
    if (!gl.open(options.width, options.height, error)) {
        return fail(error);
    }
    resizeViewport(options.width, options.height);

    auto state = std::make_unique<DemoState>();
    StartupHooks hooks;
    hooks.swapBuffers = [&gl] { gl.swap(); };
    // Start-up's way out when the music cannot start. The demo ends there;
    // a capture comes back and goes on without sound.
    std::string startupProblem;
    hooks.fail = [&startupProblem](int status, const char* reason) {
        startupProblem = std::string(reason != nullptr ? reason : "start-up failed") +
                         " (the demo would end here with status " + std::to_string(status) + ")";
    };
    if (!startDemo(*state, hooks) && startupProblem.empty()) {
        startupProblem = "start-up did not finish";
    }
    if (!startupProblem.empty()) {
        std::fprintf(stderr, "democap: note: %s; the capture goes on\n", startupProblem.c_str());
    }

    std::unique_ptr<PngSink> pngs;
    VideoPipe pipe;
    std::vector<uint8_t> rows; // video: the last picture sent, repeated for skipped frames
    if (video) {
        std::string music;
        if (isReadableFile(kMusicFile)) {
            music = kMusicFile;
        } else {
            std::fprintf(stderr, "democap: note: no %s in %s; the video has no sound\n", kMusicFile,
                         options.packageDir.c_str());
        }
        if (!pipe.start(ffmpegArguments(options, music), error)) {
            return fail(error);
        }
        rows.assign(static_cast<size_t>(options.width) * static_cast<size_t>(options.height) * 3,
                    0);
    } else {
        pngs = std::make_unique<PngSink>(options.out, options.width, options.height);
    }

    ProgressMeter progress(plan.framesToRun(), isatty(STDERR_FILENO) != 0);
    const auto start = std::chrono::steady_clock::now();
    int32_t written = 0;
    int32_t lastRun = -1;
    bool ok = true;
    while (true) {
        const int32_t frame = state->frameCounter;
        const bool skip = plan.skipped(frame);
        if (runTimelineFrame(*state, skip) == TimelineStep::ShowEnded) {
            break; // frame 7402: drawn but never shown
        }
        lastRun = frame;
        if (!skip) {
            if (plan.kept(frame)) {
                // Read the back buffer before the swap leaves it undefined.
                if (video) {
                    readFrameRows(rows, options.width, options.height);
                } else {
                    std::vector<uint8_t>* picture = pngs->acquire();
                    if (picture == nullptr) {
                        ok = false;
                        break;
                    }
                    readFrameRows(*picture, options.width, options.height);
                    pngs->submit(picture, frame);
                    ++written;
                }
            }
            gl.swap();
        }
        if (video && plan.onGrid(frame)) {
            // A skipped frame leaves the previous picture on screen.
            if (!pipe.write(rows.data(), rows.size(), error)) {
                ok = false;
                break;
            }
            ++written;
        }
        if (auto text = progress.update(frame + 1, frame, secondsSince(start))) {
            std::fputs(text->c_str(), stderr);
        }
        if (frame == plan.lastFrameToRun() && !plan.runsToShowEnd()) {
            break;
        }
    }
    std::fputs(progress.finish(lastRun + 1, lastRun, secondsSince(start)).c_str(), stderr);

    if (pngs && !pngs->finish(error)) {
        return fail(error);
    }
    if (video && !pipe.finish(error)) {
        return fail(error);
    }
    if (!ok) {
        return fail(error.empty() ? "stopped early" : error);
    }
    state.reset(); // frees GL objects while the context is current
    const char* what = video ? "video frame" : "picture";
    std::fprintf(stderr, "democap: %d %s%s in %s\n", written, what, written == 1 ? "" : "s",
                 options.out.c_str());
    return 0;
}
