// The whole start-up over a data/ folder where every picture of the manifest
// is broken or odd, and the real demo program against bad music and missing
// devices: each ends as it should, never in a crash or a hang.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "demo/assets/manifest.h"
#include "demo/assets/startup.h"
#include "demo/runtime/sound.h"
#include "demo/timeline/demo_state.h"
#include "demo/timeline/timeline.h"
#include "tests/demo/assets/asset_files.h"
#include "tests/demo/assets/bad_files.h"
#include "tests/support/gl_harness.h"

namespace fs = std::filesystem;

namespace {

std::string extensionOf(const std::string& name) {
    return fs::path(name).extension().string();
}

// Fills root/data with a broken or odd file under every picture name, the
// kinds taken in turn; returns what each one is.
std::vector<std::string> writeBadPictures(const TempDir& scratch, const fs::path& root) {
    fs::create_directories(root / "data");
    const std::vector<SamplePicture> samples = writeSamplePictures(scratch);
    auto sampleFor = [&](const std::string& extension) {
        for (const SamplePicture& s : samples) {
            if (s.extension == extension) {
                return readBytes(s.path);
            }
        }
        return std::vector<uint8_t>{};
    };
    const fs::path suite = fs::path(VEMU_TESTDATA_DIR) / "pngsuite";
    const std::vector<std::string> corrupt = {"xc1n0g08.png", "xcrn0g04.png", "xd9n2c08.png",
                                              "xdtn0g01.png", "xhdn0g08.png", "xs2n0g01.png"};
    std::vector<std::string> kinds;
    int index = 0;
    for (const std::string& name : showPictureFiles()) {
        const fs::path path = root / name;
        const std::string extension = extensionOf(name);
        const std::vector<uint8_t> valid = sampleFor(extension);
        std::vector<uint8_t> bytes;
        std::string kind;
        switch (index++ % 10) {
        case 0:
            kind = "empty";
            break;
        case 1:
            kind = "folder";
            fs::create_directories(path / "inside");
            break;
        case 2:
            kind = "cut in half";
            bytes.assign(valid.begin(), valid.begin() + long(valid.size() / 2));
            break;
        case 3:
            kind = "bits flipped";
            bytes = mutate(valid, uint32_t(index) * 31u);
            break;
        case 4:
            kind = "60000 x 60000";
            bytes = valid;
            declareSize(extension, bytes, 60000, 60000);
            break;
        case 5:
            kind = "another format";
            bytes = sampleFor(extension == ".bmp" ? ".dds" : ".bmp");
            break;
        case 6:
            kind = "text";
            bytes = {'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c', 't', 'u', 'r', 'e', '\n'};
            break;
        case 7:
            kind = "link to itself";
            fs::create_symlink(path.filename(), path);
            break;
        case 8:
            kind = "PngSuite corrupt";
            bytes =
                readBytes((suite / "corrupt" / corrupt[size_t(index) % corrupt.size()]).string());
            break;
        default:
            // Odd but sound: loads.
            if (extension == ".png") {
                kind = "PngSuite 16-bit interlaced with alpha";
                bytes = readBytes((suite / "16bit" / "basi4a16.png").string());
            } else {
                kind = "trailing garbage";
                bytes = valid;
                bytes.insert(bytes.end(), 300, 0xa5);
            }
            break;
        }
        if (kind != "folder" && kind != "link to itself") {
            EXPECT_TRUE(writeBytes(path.string(), bytes)) << name;
        }
        kinds.push_back(name + ": " + kind);
    }
    return kinds;
}

TEST(BadData, StartUpOverBrokenPicturesReachesTheShow) {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    GlHarness gl;
    ASSERT_TRUE(gl.ok());
    TempDir dir;
    TempDir scratch;
    const std::vector<std::string> kinds = writeBadPictures(scratch, dir.path());
    ASSERT_EQ(kinds.size(), 47u); // 35 files of the manifest and 12 greetings
    ASSERT_TRUE(writeOggTone((dir.path() / kMusicPath).string(), 2.0f));

    auto state = std::make_unique<DemoState>();
    StartupHooks hooks;
    int swaps = 0;
    std::string failure;
    hooks.swapBuffers = [&] {
        ++swaps;
        gl.swap();
    };
    hooks.fail = [&](int, const char* reason) { failure = reason; };
    int made = 0;
    hooks.textureLoaded = [&](int, bool ok) { made += ok ? 1 : 0; };
    {
        WorkingDirectory cwd(dir.path());
        ASSERT_TRUE(startDemo(*state, hooks)) << failure;
    }
    EXPECT_EQ(swaps, 34) << "every loading frame, the last at 100";
    std::printf("  %d of %zu pictures made a texture (with the spot)\n", made, kinds.size() + 1);

    // The first frame of the show, then on into the hall scene, every 10th
    // frame drawn. (The real program below plays the rest of the timeline
    // over the same kind of folder.)
    gl.applyStartupState();
    ASSERT_EQ(runTimelineFrame(*state, false), TimelineStep::Running);
    EXPECT_EQ(state->frameCounter, 1);
    while (state->frameCounter < 700) {
        const bool draw = state->frameCounter % 10 == 0;
        ASSERT_EQ(runTimelineFrame(*state, !draw), TimelineStep::Running);
        if (draw) {
            gl.swap();
        }
    }
    FSOUND_Close();
}

struct DemoRun {
    int status = -1; // exit status; 124 after the timeout, -1 when killed by a signal
    std::string errors;
};

// The real demo in folder, with extra environment, its stderr kept.
DemoRun runDemo(const fs::path& folder, const std::string& environment,
                const std::string& args = "0") {
    const std::string errors = (folder / "stderr.txt").string();
    const std::string command = "cd '" + folder.string() +
                                "' && env SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy " +
                                environment + " timeout -s KILL 90 '" + VEMU_DEMO_BINARY + "' " +
                                args + " 2> '" + errors + "' > /dev/null";
    const int raw = std::system(command.c_str());
    DemoRun run;
    if (WIFEXITED(raw)) {
        run.status = WEXITSTATUS(raw);
    }
    const std::vector<uint8_t> bytes = readBytes(errors);
    run.errors.assign(bytes.begin(), bytes.end());
    return run;
}

// One line for the reason it ends, after at most the one line that names
// the pictures drawn blank (every one, in these runs without pictures).
bool oneLine(const std::string& text) {
    const std::string pictures = "demo: 47 pictures drawn blank: ";
    const std::string rest = text.rfind(pictures, 0) == 0 && text.find('\n') != std::string::npos
                                 ? text.substr(text.find('\n') + 1)
                                 : text;
    return !rest.empty() && rest.find('\n') == rest.size() - 1;
}

TEST(DemoProgram, BrokenPicturesStillPlayToFrame7402AndEndWithZero) {
    TempDir dir;
    TempDir scratch;
    writeBadPictures(scratch, dir.path());
    ASSERT_TRUE(writeOggTone((dir.path() / kMusicPath).string(), 2.0f));
    const DemoRun run = runDemo(dir.path(), "VEMU_START_FRAME=7300 VEMU_LOOP_STATS=1");
    EXPECT_EQ(run.status, 0) << run.errors;
    // 102 frames from 7300 to the end, drawn or caught up.
    int drawn = -1, caughtUp = -1;
    const size_t at = run.errors.find(" frames drawn, ");
    ASSERT_NE(at, std::string::npos) << run.errors;
    const size_t line = run.errors.rfind("demo: ", at);
    ASSERT_EQ(std::sscanf(run.errors.c_str() + line, "demo: %d frames drawn, %d catch-up steps",
                          &drawn, &caughtUp),
              2)
        << run.errors;
    EXPECT_EQ(drawn + caughtUp, 7402 - 7300) << run.errors;
}

TEST(DemoProgram, StartFrameOutsideTheShowIsIgnoredWithAWarning) {
    TempDir dir;
    fs::create_directories(dir.path() / "data");
    // No music: the start-up ends it with status 1 before the show, but the
    // warning comes first.
    const DemoRun run = runDemo(dir.path(), "VEMU_START_FRAME=9000");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.errors.find("VEMU_START_FRAME=9000 ignored"), std::string::npos) << run.errors;
}

// Music that can't be played and sound that can't start: status 1 and one
// line naming the reason, no crash, no hang.
TEST(DemoProgram, BadMusicEndsWithStatusOneAndOneLine) {
    TempDir scratch;
    const std::string tone = scratch.file("tone.ogg");
    ASSERT_TRUE(writeOggTone(tone, 2.0f));
    const std::vector<uint8_t> ogg = readBytes(tone);
    ASSERT_GT(ogg.size(), 4000u);
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        bool folder;
    };
    const std::vector<Case> cases = {
        {"empty", {}, false},
        {"cut inside its headers", std::vector<uint8_t>(ogg.begin(), ogg.begin() + 200), false},
        {"cut after the first page", std::vector<uint8_t>(ogg.begin(), ogg.begin() + 60), false},
        {"text", {'n', 'o', 't', ' ', 'o', 'g', 'g', '\n'}, false},
        {"a picture", readBytes([&] {
             writePicture(scratch.file("p.png"), 8, 8, 24, SaveAs::Png,
                          [](int, int) { return Rgba{}; });
             return scratch.file("p.png");
         }()),
         false},
        {"bits flipped in its headers",
         mutate(std::vector<uint8_t>(ogg.begin(), ogg.begin() + 400), 6), false},
        {"a folder", {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        fs::create_directories(dir.path() / "data");
        const fs::path music = dir.path() / kMusicPath;
        if (c.folder) {
            fs::create_directories(music);
        } else {
            ASSERT_TRUE(writeBytes(music.string(), c.bytes));
        }
        const DemoRun run = runDemo(dir.path(), "");
        EXPECT_EQ(run.status, 1) << run.errors;
        EXPECT_TRUE(oneLine(run.errors)) << run.errors;
        EXPECT_NE(run.errors.find(std::string("can't load the music ") + kMusicPath),
                  std::string::npos)
            << run.errors;
    }
}

TEST(DemoProgram, NoAudioDeviceEndsWithStatusOneAndOneLine) {
    TempDir dir;
    fs::create_directories(dir.path() / "data");
    ASSERT_TRUE(writeOggTone((dir.path() / kMusicPath).string(), 1.0f));
    // A driver that does not exist, and one that exists but cannot open its
    // output (the disk driver into a folder that is not there).
    for (const std::string environment :
         {"SDL_AUDIODRIVER=nonexistent",
          "SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/nonexistent/folder/out.raw"}) {
        SCOPED_TRACE(environment);
        const DemoRun run = runDemo(dir.path(), environment);
        EXPECT_EQ(run.status, 1) << run.errors;
        EXPECT_TRUE(oneLine(run.errors)) << run.errors;
        EXPECT_NE(run.errors.find("can't start the sound"), std::string::npos) << run.errors;
    }
}

} // namespace
