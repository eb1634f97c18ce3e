// democap: renders the show headless and frame-exact to PNGs or a video.
// The same start-up and timeline as the demo, driven one frame after another
// with no clock: every frame is drawn, as on a machine fast enough to never
// need a catch-up step, unless --skip asks for catch-up steps.
#include <GL/gl.h>
#include <GL/glext.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "demo/assets/startup.h"
#include "demo/runtime/viewport.h"
#include "demo/timeline/demo_state.h"
#include "demo/timeline/timeline.h"
#include "tools/democap/capture_plan.h"
#include "tools/democap/flash_analysis.h"
#include "tools/democap/frame_readback.h"
#include "tools/democap/frame_sinks.h"
#include "tools/democap/jobs.h"
#include "tools/democap/offscreen_gl.h"
#include "tools/democap/png_file.h"

using namespace democap;

namespace {

int fail(const std::string& message, int status = 1) {
    std::fprintf(stderr, "democap: %s\n", message.c_str());
    return status;
}

// The video's temporary file and the ffmpeg writing it, for the signal
// handler: a stop leaves nothing, under its name or the final one. ffmpeg
// goes first, or it would finish the file (or make it anew) after it went.
char videoPart[4096];
volatile pid_t videoWriter = -1;

void removePartAndStop(int signal) {
    if (videoWriter > 0) {
        kill(videoWriter, SIGKILL);
        waitpid(videoWriter, nullptr, 0);
    }
    if (videoPart[0] != '\0') {
        unlink(videoPart);
    }
    std::signal(signal, SIG_DFL);
    raise(signal);
}

void removePartOnSignals(const Options& options) {
    if (options.outputKind != OutputKind::Video) {
        return;
    }
    const std::string part = partialName(options.out);
    std::snprintf(videoPart, sizeof videoPart, "%s", part.c_str());
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        std::signal(signal, removePartAndStop);
    }
}

// The video frames in a file, counted by ffprobe from its packets (no
// decoding); -1 where it cannot be read.
long videoFramesIn(const std::string& file) {
    std::string quoted = "'";
    for (const char c : file) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    quoted += "'";
    const std::string command = "ffprobe -v error -select_streams v:0 -count_packets "
                                "-show_entries stream=nb_read_packets -of csv=p=0 " +
                                quoted + " 2>/dev/null";
    std::FILE* p = popen(command.c_str(), "r");
    if (p == nullptr) {
        return -1;
    }
    long frames = -1;
    if (std::fscanf(p, "%ld", &frames) != 1) {
        frames = -1;
    }
    return pclose(p) == 0 ? frames : -1;
}

// A whole video takes its final name (replacing a file there only now); a
// failed one goes. Whole: ffmpeg ended well and the file holds every frame
// of the range (ffmpeg can end well on a full disk, with the file cut off).
// -1 where the capture goes on, else its exit status.
int endVideo(const Options& options, bool whole, std::string error) {
    videoWriter = -1; // reaped
    const std::string part = partialName(options.out);
    if (whole) {
        // At 50 fps, every Kth frame shown K times: the last at least once.
        const long expected = (FramePlan(options).gridCount() - 1L) * options.every + 1;
        const long found = videoFramesIn(part);
        if (found < expected) {
            whole = false;
            error = found < 0 ? "the video ffmpeg wrote cannot be read (is the disk full?)"
                              : "the video ffmpeg wrote holds " + std::to_string(found) + " of " +
                                    std::to_string(expected) + " frames (is the disk full?)";
        }
    }
    if (!whole) {
        std::remove(part.c_str());
        return fail(error + "; no video written to " + options.out);
    }
    if (std::rename(part.c_str(), options.out.c_str()) != 0) {
        const std::string why = std::strerror(errno);
        std::remove(part.c_str());
        return fail("cannot name the video " + options.out + ": " + why);
    }
    return -1;
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

// The offscreen context, set up like the demo's, with its destination alpha
// locked at 1 and its size within what the driver renders.
bool openShowGl(OffscreenGl& gl, int width, int height, std::string& error) {
    // VEMU_GL_ALPHA_BITS asks for alpha planes, as many drivers give them
    // unasked (a testing aid).
    const char* alphaBits = std::getenv("VEMU_GL_ALPHA_BITS");
    if (!gl.open(width, height, error, OffscreenGl::Api::ShowGl,
                 alphaBits != nullptr ? std::atoi(alphaBits) : 0)) {
        return false;
    }
    const int alpha = lockDestinationAlpha(
        [](void* context) { static_cast<OffscreenGl*>(context)->swap(); }, &gl);
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

// A multisampled framebuffer the frames are drawn into, resolved into the
// back buffer before each read. Its colour has no alpha, so destination
// alpha reads 1 as the scenes expect.
class MultisampleTarget {
  public:
    // False where the driver has no framebuffer of at least `samples`.
    bool make(int width, int height, int samples) {
        if (!load()) {
            return false;
        }
        width_ = width;
        height_ = height;
        gl_.genFramebuffers(1, &framebuffer_);
        gl_.bindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
        gl_.genRenderbuffers(2, renderbuffers_);
        gl_.bindRenderbuffer(GL_RENDERBUFFER, renderbuffers_[0]);
        gl_.renderbufferStorageMultisample(GL_RENDERBUFFER, samples, GL_RGB8, width, height);
        gl_.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                                    renderbuffers_[0]);
        gl_.getRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_SAMPLES, &samples_);
        gl_.bindRenderbuffer(GL_RENDERBUFFER, renderbuffers_[1]);
        gl_.renderbufferStorageMultisample(GL_RENDERBUFFER, samples, GL_DEPTH_COMPONENT24, width,
                                           height);
        gl_.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER,
                                    renderbuffers_[1]);
        const bool complete = gl_.checkFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
        while (glGetError() != GL_NO_ERROR) {
        }
        if (!complete || samples_ < samples) {
            release();
            return false;
        }
        return true;
    }
    int samples() const { return samples_; }
    // Into the back buffer, where the read-back looks; then drawing goes on
    // in the multisampled one.
    void resolve() {
        gl_.bindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
        gl_.bindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        gl_.blitFramebuffer(0, 0, width_, height_, 0, 0, width_, height_, GL_COLOR_BUFFER_BIT,
                            GL_NEAREST);
        gl_.bindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    }
    void drawHere() { gl_.bindFramebuffer(GL_FRAMEBUFFER, framebuffer_); }
    ~MultisampleTarget() { release(); }

  private:
    struct Functions {
        PFNGLGENFRAMEBUFFERSPROC genFramebuffers;
        PFNGLBINDFRAMEBUFFERPROC bindFramebuffer;
        PFNGLDELETEFRAMEBUFFERSPROC deleteFramebuffers;
        PFNGLGENRENDERBUFFERSPROC genRenderbuffers;
        PFNGLBINDRENDERBUFFERPROC bindRenderbuffer;
        PFNGLDELETERENDERBUFFERSPROC deleteRenderbuffers;
        PFNGLRENDERBUFFERSTORAGEMULTISAMPLEPROC renderbufferStorageMultisample;
        PFNGLFRAMEBUFFERRENDERBUFFERPROC framebufferRenderbuffer;
        PFNGLGETRENDERBUFFERPARAMETERIVPROC getRenderbufferParameteriv;
        PFNGLCHECKFRAMEBUFFERSTATUSPROC checkFramebufferStatus;
        PFNGLBLITFRAMEBUFFERPROC blitFramebuffer;
    };
    template <typename F> static bool find(F& function, const char* name) {
        function = reinterpret_cast<F>(OffscreenGl::function(name));
        return function != nullptr;
    }
    bool load() {
        return find(gl_.genFramebuffers, "glGenFramebuffers") &&
               find(gl_.bindFramebuffer, "glBindFramebuffer") &&
               find(gl_.deleteFramebuffers, "glDeleteFramebuffers") &&
               find(gl_.genRenderbuffers, "glGenRenderbuffers") &&
               find(gl_.bindRenderbuffer, "glBindRenderbuffer") &&
               find(gl_.deleteRenderbuffers, "glDeleteRenderbuffers") &&
               find(gl_.renderbufferStorageMultisample, "glRenderbufferStorageMultisample") &&
               find(gl_.framebufferRenderbuffer, "glFramebufferRenderbuffer") &&
               find(gl_.getRenderbufferParameteriv, "glGetRenderbufferParameteriv") &&
               find(gl_.checkFramebufferStatus, "glCheckFramebufferStatus") &&
               find(gl_.blitFramebuffer, "glBlitFramebuffer");
    }
    void release() {
        if (framebuffer_ != 0) {
            gl_.bindFramebuffer(GL_FRAMEBUFFER, 0);
            gl_.deleteFramebuffers(1, &framebuffer_);
            gl_.deleteRenderbuffers(2, renderbuffers_);
            framebuffer_ = 0;
        }
    }
    Functions gl_{};
    GLuint framebuffer_ = 0;
    GLuint renderbuffers_[2] = {0, 0};
    GLint samples_ = 0;
    int width_ = 0;
    int height_ = 0;
};

// Wide lines keep their width in the final picture when the frame is drawn
// larger and filtered down: the scenes' glLineWidth calls are routed here at
// link time (--wrap=glLineWidth) and scaled.
float lineScale = 1.0f;

// Set in all but the first of several jobs, whose notes would say the same.
bool quietNotes = false;

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The size each frame is drawn at and how: the show's area, times the
// supersampling factor where the driver has no multisampling for N.
struct RenderSetup {
    ShowArea area;
    int factor = 1;  // draw factor x factor pixels for each one written
    int samples = 1; // multisampling, in the target
};

bool openForSamples(OffscreenGl& gl, MultisampleTarget& target, const Options& options,
                    RenderSetup& setup, std::string& error) {
    setup.area = showArea(options);
    if (!openShowGl(gl, setup.area.width, setup.area.height, error)) {
        return false;
    }
    if (options.samples == 1) {
        return true;
    }
    if (target.make(setup.area.width, setup.area.height, options.samples)) {
        setup.samples = target.samples();
        if (setup.samples != options.samples && !quietNotes) {
            std::fprintf(stderr, "democap: %d samples per pixel (the driver's nearest to %d)\n",
                         setup.samples, options.samples);
        }
        return true;
    }
    // Supersampling: the smallest square of samples holding N.
    setup.factor = 2;
    while (setup.factor * setup.factor < options.samples) {
        ++setup.factor;
    }
    gl.close();
    if (!openShowGl(gl, setup.area.width * setup.factor, setup.area.height * setup.factor, error)) {
        return false;
    }
    lineScale = static_cast<float>(setup.factor);
    if (!quietNotes) {
        std::fprintf(
            stderr,
            "democap: the driver has no %d-sample framebuffer; drawing %dx%d and filtering "
            "down\n",
            options.samples, setup.area.width * setup.factor, setup.area.height * setup.factor);
    }
    return true;
}

// Checks what the command line asks for and enters the package folder.
// Returns the status to end with, or -1 to go on.
int prepare(int argc, char** argv, Options& options) {
    const ParseResult parsed = parseArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (parsed.status == ParseResult::Status::Help) {
        std::fputs(usageText().c_str(), stdout);
        return 0;
    }
    if (parsed.status == ParseResult::Status::Error) {
        std::fprintf(stderr, "democap: %s\nTry 'democap --help'.\n", parsed.error.c_str());
        return 2;
    }
    options = parsed.options;
    // Relative to where we were started, not to the package folder.
    if (!options.out.empty()) {
        options.out = absolutePath(options.out);
    }
    // Found out now, not after the whole run.
    for (std::string* path : {&options.flashReport, &options.flashPlot}) {
        if (path->empty()) {
            continue;
        }
        *path = absolutePath(*path);
        std::FILE* file = std::fopen(path->c_str(), "w");
        if (file == nullptr) {
            return fail("cannot write " + *path + ": " + std::strerror(errno));
        }
        std::fclose(file);
    }
    if (!isFolder(options.packageDir)) {
        std::fprintf(stderr, "democap: --package %s is not a folder\nTry 'democap --help'.\n",
                     options.packageDir.c_str());
        return 2;
    }
    const bool video = options.outputKind == OutputKind::Video;
    if (video && !findExecutable("ffmpeg", std::getenv("PATH"))) {
        return fail("ffmpeg not found on PATH; it makes the video (Debian: apt-get install "
                    "ffmpeg), or give --out a folder for PNGs");
    }
    std::string error;
    if (options.outputKind == OutputKind::PngFolder && !makeFolders(options.out, error)) {
        return fail(error);
    }
    if (chdir(options.packageDir.c_str()) != 0) {
        return fail("cannot enter " + options.packageDir);
    }
    return -1;
}

// The start-up as the demo runs it. Where the demo would end (no sound, no
// music) a capture notes why and goes on without sound.
void startShow(DemoState& state, OffscreenGl& gl) {
    StartupHooks hooks;
    hooks.swapBuffers = [&gl] { gl.swap(); };
    std::string problem;
    hooks.fail = [&problem](int status, const char* reason) {
        problem = std::string(reason != nullptr ? reason : "start-up failed") +
                  " (the demo would end here with status " + std::to_string(status) + ")";
    };
    hooks.pictureMissing = [](const char* path, const char* why) {
        if (!quietNotes) {
            std::fprintf(stderr, "democap: %s: %s; the capture draws it blank\n", path, why);
        }
    };
    if (!startDemo(state, hooks) && problem.empty()) {
        problem = "start-up did not finish";
    }
    if (!problem.empty() && !quietNotes) {
        std::fprintf(stderr, "democap: note: %s; the capture goes on\n", problem.c_str());
    }
}

// The video's sound track: the music, where the package has it.
std::string musicFor(const Options& options) {
    if (isReadableFile(kMusicPath)) {
        return kMusicPath;
    }
    std::fprintf(stderr, "democap: note: no %s in %s; the video has no sound\n", kMusicPath,
                 options.packageDir.c_str());
    return "";
}

// Where the frames go: one PNG each into a folder, or a video through ffmpeg.
class FrameOutput {
  public:
    // videoFd: a job's pipe, where its video frames go instead of to ffmpeg.
    bool open(const Options& options, flash::Analyser* flashes, int videoFd, std::string& error) {
        width_ = options.width;
        height_ = options.height;
        video_ = options.outputKind == OutputKind::Video;
        flashes_ = flashes;
        if (video_ && videoFd >= 0) {
            rows_.assign(static_cast<size_t>(width_) * static_cast<size_t>(height_) * 3, 0);
            pipe_.adopt(videoFd);
            return true;
        }
        if (options.outputKind == OutputKind::None) {
            rows_.assign(static_cast<size_t>(width_) * static_cast<size_t>(height_) * 3, 0);
            return true;
        }
        if (!video_) {
            pngs_ = std::make_unique<PngSink>(options.out, width_, height_);
            return true;
        }
        rows_.assign(static_cast<size_t>(width_) * static_cast<size_t>(height_) * 3, 0);
        const bool started = pipe_.start(ffmpegArguments(options, musicFor(options)), error);
        videoWriter = pipe_.child();
        return started;
    }

    // Reads a kept frame from the back buffer: must come before the swap,
    // which leaves the back buffer undefined. False when the writer failed.
    bool take(int32_t frame, const RenderSetup& setup) {
        if (pngs_ == nullptr) {
            readShowFrame(rows_, width_, height_, setup.area, setup.factor, drawn_);
            if (flashes_ != nullptr) {
                flashes_->add(frame, rows_.data());
            }
            return true;
        }
        std::vector<uint8_t>* picture = pngs_->acquire();
        if (picture == nullptr) {
            return false;
        }
        readShowFrame(*picture, width_, height_, setup.area, setup.factor, drawn_);
        if (flashes_ != nullptr) {
            flashes_->add(frame, picture->data());
        }
        pngs_->submit(picture, frame);
        ++written_;
        return true;
    }

    // A video frame on the output's grid: the last picture taken, so a
    // skipped frame leaves the one before on screen.
    bool sendVideoFrame(std::string& error) {
        if (!pipe_.write(rows_.data(), rows_.size(), error)) {
            return false;
        }
        ++written_;
        return true;
    }

    // A job's next chunk of video frames follows.
    bool beginChunk(int32_t chunk, int32_t frames, std::string& error) {
        const ChunkHeader header{chunk, frames};
        return pipe_.write(reinterpret_cast<const uint8_t*>(&header), sizeof header, error);
    }

    bool finish(std::string& error) {
        return video_ ? pipe_.finish(error) : pngs_ == nullptr || pngs_->finish(error);
    }
    bool video() const { return video_; }
    int32_t written() const { return written_; }

  private:
    int width_ = 0;
    int height_ = 0;
    bool video_ = false;
    flash::Analyser* flashes_ = nullptr;
    std::unique_ptr<PngSink> pngs_;
    VideoPipe pipe_;
    std::vector<uint8_t> rows_;  // video: the last picture taken
    std::vector<uint8_t> drawn_; // the drawn picture, before filtering down
    int32_t written_ = 0;
};

// The frames before `to` as the show would have run them (catch-up steps
// where the plan skips), unseen: a run-up on one pixel. `after` runs after
// each part.
void runUpFor(const FramePlan& plan, DemoState& state, int32_t to,
              const std::function<void()>& after) {
    while (state.frameCounter < to) {
        const int32_t frame = state.frameCounter;
        if (plan.skipped(frame)) {
            runTimelineFrame(state, true);
        } else {
            int32_t upTo = frame + 1;
            while (upTo < to && upTo < frame + 50 && !plan.skipped(upTo)) {
                ++upTo;
            }
            runUpTo(state, upTo);
        }
        after();
    }
}

// Runs the timeline from the state's frame to `last`, or to the show's end,
// handing the kept frames to the output (and to the video, where `send`).
// `after` runs after each frame. False when the output failed (error says
// why, when it can).
bool runSpan(DemoState& state, OffscreenGl& gl, MultisampleTarget& target, const RenderSetup& setup,
             const FramePlan& plan, int32_t last, bool send, FrameOutput& out, std::string& error,
             const std::function<void(int32_t)>& after) {
    bool ok = true;
    while (ok) {
        const int32_t frame = state.frameCounter;
        const bool skip = plan.skipped(frame);
        if (runTimelineFrame(state, skip) == TimelineStep::ShowEnded) {
            break; // kLastFrame: drawn but never shown
        }
        if (!skip) {
            if (plan.kept(frame)) {
                if (setup.samples > 1) {
                    target.resolve();
                }
                ok = out.take(frame, setup);
            }
            gl.swap();
            if (setup.samples > 1) {
                target.drawHere();
            }
        }
        if (ok && send && out.video() && plan.onGrid(frame)) {
            ok = out.sendVideoFrame(error);
        }
        after(frame);
        if (frame == last && !(frame == kLastShownFrame && plan.runsToShowEnd())) {
            break;
        }
    }
    return ok;
}

// The whole range in this process, with progress on stderr.
bool runFrames(DemoState& state, OffscreenGl& gl, MultisampleTarget& target,
               const RenderSetup& setup, const Options& options, FrameOutput& out,
               std::string& error) {
    const FramePlan plan(options);
    ProgressMeter progress(plan.framesToRun(), isatty(STDERR_FILENO) != 0, 0.25,
                           options.frames.first);
    const auto start = std::chrono::steady_clock::now();
    runUpFor(plan, state, options.frames.first, [&] {
        const int32_t done = state.frameCounter;
        if (auto text = progress.update(done, done - 1, secondsSince(start))) {
            std::fputs(text->c_str(), stderr);
        }
    });
    int32_t lastRun = options.frames.first - 1;
    const bool ok =
        runSpan(state, gl, target, setup, plan, plan.lastFrameToRun(), true, out, error,
                [&](int32_t frame) {
                    lastRun = frame;
                    if (auto text = progress.update(frame + 1, frame, secondsSince(start))) {
                        std::fputs(text->c_str(), stderr);
                    }
                });
    std::fputs(progress.finish(lastRun + 1, lastRun, secondsSince(start)).c_str(), stderr);
    return ok;
}

// One of several jobs: chunk after chunk, as they come free on the board,
// each after a run-up from where the job stands. A video's chunk that starts
// on skipped frames repeats the last picture kept before them: drawn here
// first, where this job has not drawn it already.
bool runChunks(DemoState& state, OffscreenGl& gl, MultisampleTarget& target,
               const RenderSetup& setup, const Options& options, FrameOutput& out,
               const JobLink& link, std::string& error) {
    const FramePlan plan(options);
    const ChunkPlan chunks(options, gridSlotsPerChunk(options));
    const auto nothing = [] {};
    const auto counted = [&link](int32_t) { link.board->framesDone.fetch_add(1); };
    for (int32_t c = link.board->nextChunk.fetch_add(1); c < chunks.count();
         c = link.board->nextChunk.fetch_add(1)) {
        const FrameRange range = chunks.chunk(c);
        if (out.video()) {
            const int32_t before = plan.lastKeptBefore(range.first);
            if (plan.skipped(range.first) && before >= state.frameCounter) {
                runUpFor(plan, state, before, nothing);
                if (!runSpan(state, gl, target, setup, plan, before, false, out, error,
                             [](int32_t) {})) {
                    return false;
                }
            }
            if (!out.beginChunk(c, plan.gridCountIn(range.first, range.last), error)) {
                return false;
            }
        }
        runUpFor(plan, state, range.first, nothing);
        if (!runSpan(state, gl, target, setup, plan, range.last, true, out, error, counted)) {
            return false;
        }
    }
    return true;
}

const char* sceneNameAt(int32_t frame) {
    return sceneName(sceneAt(frame));
}

// The report into its file, the verdict and the failing stretches on stderr.
// 0 where the frames pass, 3 where they fail, 1 where the file fails.
int writeFlashReport(const flash::Report& report, const std::string& path,
                     const std::string& plotPath) {
    const std::string text = flash::reportText(report, sceneNameAt);
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr || std::fwrite(text.data(), 1, text.size(), file) != text.size() ||
        std::fclose(file) != 0) {
        return fail("cannot write the flash report " + path);
    }
    if (!plotPath.empty()) {
        const flash::Plot plot = flash::plotPicture(report, sceneNameAt);
        std::vector<uint8_t> scratch;
        std::string error;
        if (!writePng(plotPath, plot.rgb.data(), plot.width, plot.height, scratch, error)) {
            return fail("cannot write the flash plot: " + error);
        }
    }
    std::fprintf(stderr, "democap: flashing %s the thresholds (report in %s)\n",
                 report.passes() ? "stays within" : "goes past", path.c_str());
    for (const flash::Stretch& s : report.failing) {
        std::fprintf(stderr, "democap:   frames %d to %d (%s): %d %s flashes in one second\n",
                     s.first, s.last, sceneNameAt((s.first + s.last) / 2), s.worstFlashes,
                     s.red ? "red" : "general");
    }
    return report.passes() ? 0 : 3;
}

} // namespace

extern "C" {
void __real_glLineWidth(GLfloat width);
void __wrap_glLineWidth(GLfloat width) {
    __real_glLineWidth(width * lineScale);
}
}

namespace {

// The capture in this process: the whole range, or, as one of several jobs,
// the chunks it takes. The status to end with.
int capture(const Options& options, const JobLink& link) {
    quietNotes = link.index > 0; // each note once, not once a job
    OffscreenGl gl;
    MultisampleTarget target;
    RenderSetup setup;
    std::string error;
    if (!openForSamples(gl, target, options, setup, error)) {
        return fail(error);
    }
    resizeViewport(setup.area.width * setup.factor, setup.area.height * setup.factor);

    auto state = std::make_unique<DemoState>();
    state->gentle = options.gentle;
    startShow(*state, gl);
    std::unique_ptr<flash::Analyser> flashes;
    if (!options.flashReport.empty()) {
        flashes = std::make_unique<flash::Analyser>(options.width, options.height);
    }
    FrameOutput out;
    if (!out.open(options, flashes.get(), link.videoFd, error)) {
        return fail(error);
    }
    bool ok = link.board != nullptr
                  ? runChunks(*state, gl, target, setup, options, out, link, error)
                  : runFrames(*state, gl, target, setup, options, out, error);
    ok = out.finish(error) && ok;
    if (!ok && error.empty()) {
        error = "stopped early";
    }
    if (out.video() && link.board == nullptr) {
        // A video that ffmpeg finished holds every frame of the range.
        const int32_t expected = FramePlan(options).gridCount();
        if (ok && out.written() != expected) {
            ok = false;
            error = std::to_string(out.written()) + " of " + std::to_string(expected) +
                    " video frames written";
        }
        if (const int status = endVideo(options, ok, error); status >= 0) {
            return status;
        }
    }
    if (!ok) {
        return fail(error);
    }
    state.reset(); // frees GL objects while the context is current
    if (link.board != nullptr) {
        return 0;
    }
    if (options.outputKind != OutputKind::None) {
        const int32_t written = out.written();
        const char* what = out.video() ? "video frame" : "picture";
        std::fprintf(stderr, "democap: %d %s%s in %s\n", written, what, written == 1 ? "" : "s",
                     options.out.c_str());
    }
    if (flashes != nullptr) {
        return writeFlashReport(flashes->finish(), options.flashReport, options.flashPlot);
    }
    return 0;
}

// Several jobs, this process handing out the chunks and, for a video, the
// one ffmpeg that gets every frame in order.
int captureInJobs(const Options& options, int jobs) {
    std::string error;
    VideoPipe pipe;
    const VideoWriter writer = [&pipe](const uint8_t* data, size_t size, std::string& why) {
        return pipe.write(data, size, why);
    };
    const bool video = options.outputKind == OutputKind::Video;
    if (video && !pipe.start(ffmpegArguments(options, musicFor(options)), error)) {
        return fail(error);
    }
    videoWriter = pipe.child();
    std::fprintf(stderr, "democap: %d jobs\n", jobs);
    const int status = runJobs(
        options, jobs, [&options](const JobLink& link) { return capture(options, link); },
        video ? &writer : nullptr, error);
    std::string finished;
    const bool encoded = pipe.finish(finished);
    if (video) {
        if (const int ended =
                endVideo(options, status == 0 && encoded, status != 0 ? error : finished);
            ended >= 0) {
            return ended;
        }
    }
    if (status != 0) {
        return fail(error);
    }
    if (!encoded) {
        return fail(finished);
    }
    const FramePlan plan(options);
    const int32_t written = video ? plan.gridCount() : plan.keptCount();
    const char* what = video ? "video frame" : "picture";
    std::fprintf(stderr, "democap: %d %s%s in %s\n", written, what, written == 1 ? "" : "s",
                 options.out.c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (const int status = prepare(argc, argv, options); status >= 0) {
        return status;
    }
    const int cores = static_cast<int>(std::max(1L, sysconf(_SC_NPROCESSORS_ONLN)));
    const int jobs = jobCount(options, cores);
    removePartOnSignals(options);
    return jobs > 1 ? captureInJobs(options, jobs) : capture(options, JobLink{});
}
