#include "demo/assets/startup.h"

#include <GL/gl.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <unistd.h>

#include "demo/assets/manifest.h"
#include "demo/assets/texture_loader.h"
#include "demo/runtime/sound.h"
#include "demo/scenes/scenes.h"
#include "demo/timeline/demo_state.h"

namespace {

#define SHOW_PICTURE(slot, name, file)                                                             \
    static_assert((slot) >= 0 && (slot) < kTextureSlots, "slot outside the table: " file);
#include "demo/assets/manifest.def"
static_assert(kFirstGreetingSlot + kGreetingCount <= kTextureSlots);

// What happens between the loading frames: a load (slot >= 0) or a frame
// (percent, marked by slot -1), in the order the bar advertises.
struct Step {
    int slot;
    float percent;
};
constexpr Step load(int slot) {
    return {slot, 0.0f};
}
constexpr Step show(float percent) {
    return {-1, percent};
}
// clang-format off
constexpr Step kPictureSteps[] = {
    load(kLoadingSlot), show(3),
    load(kRecordSlot), load(kSpriteSlot), show(6),
    load(kHallSlot), load(kLightSlot), show(9),
    load(kRightStripSlot), load(kPortraitSlot), show(12),
    load(kPortraitFlipSlot), load(kLeftStripSlot), show(15),
    load(kSurpriseCardSlot), load(kShakenPhoneSlot), show(18),
    load(kPhoneTopSlot), load(kRisingPhoneSlot), show(21),
    load(kTiesSlot), load(kTiesFlipSlot), show(24),
    load(kLabelSlot), load(kSlideInSlot), show(27),
    load(kSlideInFlipSlot), load(kFlashTopSlot), show(30),
    load(kFlashTopFlipSlot), load(kBobbingSlot), show(33),
    load(kBobbingFlipSlot), show(36),
    load(kSpotSlot), show(38),
    load(kCraftTextSlot), load(kCredits1Slot), show(41),
    load(kCredits2Slot), load(kCredits3Slot), show(44),
    load(kCredits4Slot), load(kCredits5Slot), show(47),
    load(kTowerPageSlot), load(kCredits6Slot), show(50),
    load(kClosing1Slot), load(kClosing2Slot), show(53),
    load(kClosing3Slot), load(kClosing4Slot), show(56),
    show(59),
    load(kGreetingBackgroundSlot),
};
// clang-format on

// Decodes the pictures on worker threads, in the order the start-up uploads
// them, while the main thread uploads and draws the loading frames: the
// visible sequence and the order of texture creation stay as they are, only
// the waiting shrinks. At most kLookAhead pictures wait decoded, so memory
// stays bounded.
class PictureDecoder {
  public:
    explicit PictureDecoder(const std::vector<std::string>& paths) : jobs_(paths.size()) {
        for (size_t i = 0; i < paths.size(); ++i) {
            jobs_[i].path = paths[i];
        }
        const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
        const unsigned workers = std::min(cores, kMaxWorkers);
        try {
            for (unsigned i = 0; i < workers; ++i) {
                threads_.emplace_back([this] { work(); });
            }
        } catch (const std::system_error&) {
            // No threads to be had: take() decodes each picture in place, on
            // this thread, when it is asked for.
        }
    }
    ~PictureDecoder() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        for (std::thread& thread : threads_) {
            thread.join();
        }
    }
    PictureDecoder(const PictureDecoder&) = delete;
    PictureDecoder& operator=(const PictureDecoder&) = delete;

    const std::string& path(size_t index) const { return jobs_[index].path; }

    // Picture `index`, waiting for its decode (or decoding it here when no
    // worker has started it). False when the file could not be decoded.
    bool take(size_t index, DecodedPicture& out) {
        std::unique_lock<std::mutex> lock(mutex_);
        Job& job = jobs_[index];
        if (!job.started && threads_.empty()) {
            job.started = true;
            lock.unlock();
            job.ok = decodeTexture(job.path.c_str(), job.picture);
            lock.lock();
            job.done = true;
        }
        changed_.wait(lock, [&job] { return job.done; });
        out = std::move(job.picture);
        taken_ = std::max(taken_, index + 1);
        lock.unlock();
        changed_.notify_all();
        return job.ok;
    }

  private:
    static constexpr unsigned kMaxWorkers = 4;
    static constexpr size_t kLookAhead = 8;
    struct Job {
        std::string path;
        DecodedPicture picture;
        bool ok = false;
        bool started = false;
        bool done = false;
    };

    void work() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] {
                return stopping_ || next_ >= jobs_.size() || next_ < taken_ + kLookAhead;
            });
            if (stopping_ || next_ >= jobs_.size()) {
                return;
            }
            Job& job = jobs_[next_++];
            job.started = true;
            lock.unlock();
            DecodedPicture picture;
            const bool ok = decodeTexture(job.path.c_str(), picture);
            lock.lock();
            job.picture = std::move(picture);
            job.ok = ok;
            job.done = true;
            changed_.notify_all();
        }
    }

    std::vector<Job> jobs_;
    size_t next_ = 0;  // the next job a worker starts
    size_t taken_ = 0; // jobs handed to the uploader so far
    bool stopping_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::thread> threads_;
};

// blank: the pictures drawn blank, where no hook is there to say them.
void loadSlot(DemoState& state, const StartupHooks& hooks, int slot, PictureDecoder& decoder,
              size_t& nextPicture, std::vector<std::string>& blank) {
    uint32_t* name = &state.textures[static_cast<size_t>(slot)];
    bool made = true;
    if (slot == kSpotSlot) {
        makeSpotTexture(name);
    } else {
        // A missing picture leaves its slot 0 and is drawn untextured; the
        // show goes on, and says which.
        DecodedPicture picture;
        const size_t index = nextPicture++;
        made = decoder.take(index, picture) && uploadTexture(picture, name, true, GL_CLAMP);
        if (!made) {
            const std::string& path = decoder.path(index);
            const char* why =
                access(path.c_str(), F_OK) != 0 ? "missing" : "not a picture it can read";
            if (hooks.pictureMissing) {
                hooks.pictureMissing(path.c_str(), why);
            } else {
                blank.push_back(path + " (" + why + ")");
            }
        }
    }
    if (hooks.textureLoaded) {
        hooks.textureLoaded(slot, made);
    }
}

// Ends the process (or, under test, hands back to the caller).
void failStartup(const StartupHooks& hooks, const std::string& reason) {
    if (hooks.fail) {
        hooks.fail(1, reason.c_str());
        return;
    }
    std::fprintf(stderr, "demo: %s\n", reason.c_str());
    std::exit(1);
}

// The sound device opened and the whole music decoded (the slowest single
// step of the start-up), on a thread of its own while the pictures load.
// Its outcome is only looked at where the sequence starts the music, so a
// failure shows after the last loading frame, where the sequence says.
class MusicLoader {
  public:
    MusicLoader() {
        try {
            thread_ = std::thread([this] { load(); });
        } catch (const std::system_error&) {
            // No thread: result() loads it in place.
        }
    }
    ~MusicLoader() { wait(); }
    MusicLoader(const MusicLoader&) = delete;
    MusicLoader& operator=(const MusicLoader&) = delete;

    // Empty when the music is ready in sample(); else why not.
    const std::string& result() {
        wait();
        if (!done_) {
            load();
        }
        return error_;
    }
    FSOUND_SAMPLE* sample() const { return music_; }

  private:
    void wait() {
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    void load() {
        done_ = true;
        if (!FSOUND_Init(kMusicRate, 64, 0)) {
            error_ = std::string("can't start the sound: ") + FSOUND_LastError();
            return;
        }
        music_ = FSOUND_Sample_Load(FSOUND_UNMANAGED, kMusicPath, FSOUND_NORMAL, 0, 0);
        if (music_ == nullptr) {
            error_ = std::string("can't load the music ") + kMusicPath + ": " + FSOUND_LastError();
        }
    }

    std::thread thread_;
    bool done_ = false;
    std::string error_;
    FSOUND_SAMPLE* music_ = nullptr;
};

bool startMusic(DemoState& state, const StartupHooks& hooks, MusicLoader& loader) {
    const std::string& error = loader.result();
    if (!error.empty()) {
        failStartup(hooks, error);
        return false;
    }
    FSOUND_SAMPLE* music = loader.sample();
    FSOUND_Sample_SetMode(music, FSOUND_LOOP_OFF);
    // Plays on by itself; only a show started at a later frame moves it.
    state.musicChannel = FSOUND_PlaySound(FSOUND_FREE, music);
    return true;
}

} // namespace

void applyStartupGlState() {
    glShadeModel(GL_SMOOTH);
    glClearColor(0.0f, 0.0f, 0.0f, 0.5f);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
}

bool startDemo(DemoState& state, const StartupHooks& hooks) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_TEXTURE_2D);
    applyStartupGlState();
    MusicLoader musicLoader;

    std::vector<std::string> blank; // pictures drawn blank, said in one line at the end

    // Every picture file in the order it is uploaded.
    std::vector<std::string> paths;
    for (const Step& step : kPictureSteps) {
        if (step.slot >= 0 && step.slot != kSpotSlot) {
            paths.emplace_back(manifestFile(step.slot));
        }
    }
    for (int i = 1; i <= kGreetingCount; ++i) {
        paths.push_back(greetingFile(i));
    }
    {
        PictureDecoder decoder(paths);
        size_t nextPicture = 0;
        for (const Step& step : kPictureSteps) {
            if (step.slot >= 0) {
                loadSlot(state, hooks, step.slot, decoder, nextPicture, blank);
            } else {
                drawLoadingScreen(state, step.percent, hooks);
            }
        }
        for (int i = 1; i <= kGreetingCount; ++i) {
            loadSlot(state, hooks, kFirstGreetingSlot + i - 1, decoder, nextPicture, blank);
            drawLoadingScreen(state, 59.0f + 3.0f * static_cast<float>(i - 1), hooks);
        }
    }
    initTileLists(state);
    drawLoadingScreen(state, 98.0f, hooks);
    if (!blank.empty()) {
        // One line, before whatever the music brings.
        std::string list;
        for (const std::string& b : blank) {
            list += (list.empty() ? "" : ", ") + b;
        }
        std::fprintf(stderr, "demo: %zu picture%s drawn blank: %s\n", blank.size(),
                     blank.size() == 1 ? "" : "s", list.c_str());
    }

    if (!startMusic(state, hooks, musicLoader)) {
        return false;
    }
    drawLoadingScreen(state, 100.0f, hooks);
    return true;
}

void drawLoadingScreen(const DemoState& state, float percent, const StartupHooks& hooks) {
    const float w = percent * 0.01f * 0.4f;

    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, -1.0f);
    glColor3f(1.0f, 1.0f, 1.0f);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, state.textures[0]);
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex3f(-1.0f, -0.5f, -1.0f);
    glTexCoord2f(1.0f, 0.0f);
    glVertex3f(1.0f, -0.5f, -1.0f);
    glTexCoord2f(1.0f, 1.0f);
    glVertex3f(1.0f, 0.6f, -1.0f);
    glTexCoord2f(0.0f, 1.0f);
    glVertex3f(-1.0f, 0.6f, -1.0f);
    glEnd();
    glDisable(GL_TEXTURE_2D);

    glLoadIdentity();
    glTranslatef(-0.2f, -0.3f, 0.0f);
    glColor3f(1.0f, 1.0f, 1.0f);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    glBegin(GL_QUADS);
    glVertex3f(0.0f, 0.0f, -1.0f);
    glVertex3f(0.4f, 0.0f, -1.0f);
    glVertex3f(0.4f, -0.01f, -1.0f);
    glVertex3f(0.0f, -0.01f, -1.0f);
    glEnd();
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);

    glColor3f(1.0f, 0.0f, 0.0f);
    glBegin(GL_QUADS);
    glVertex3f(0.0f, 0.0f, -1.0f);
    glVertex3f(w, 0.0f, -1.0f);
    glVertex3f(w, -0.01f, -1.0f);
    glVertex3f(0.0f, -0.01f, -1.0f);
    glEnd();

    if (hooks.frameDrawn) {
        hooks.frameDrawn(percent);
    }
    if (hooks.swapBuffers) {
        hooks.swapBuffers();
    }
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}
