// The built democap run as a user would: a package folder with a data/
// folder (empty, or with test-made music), output into a temporary folder.
// Every run starts at frame 0, so small sizes keep these quick.
#include <FreeImage.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <utility>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "demo/assets/manifest.h"
#include "process_runner.h"
#include "tools/democap/capture_plan.h"

namespace {

std::string ffmpegTool(const char* name) {
    auto found = democap::findExecutable(name, std::getenv("PATH"));
    return found ? *found : "";
}

class DemocapRun : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(dir.path().empty());
        package = dir.path() + "/package";
        std::filesystem::create_directories(package + "/data");
    }

    RunResult democap(std::vector<std::string> args,
                      const std::map<std::string, std::optional<std::string>>& env = {}) {
        args.insert(args.begin(), DEMOCAP_PATH);
        return runProgram(args, dir.path(), env);
    }

    std::vector<std::string> pictures(const std::string& folder) { return filesIn(folder); }

    // Largest channel value of a PNG written by democap (0 means all black).
    int brightest(const std::string& file, int wantWidth, int wantHeight) {
        FIBITMAP* bitmap = FreeImage_Load(FIF_PNG, file.c_str(), 0);
        EXPECT_NE(bitmap, nullptr) << file;
        if (bitmap == nullptr) {
            return 999;
        }
        EXPECT_EQ(FreeImage_GetBPP(bitmap), 24u) << file;
        EXPECT_EQ(static_cast<int>(FreeImage_GetWidth(bitmap)), wantWidth) << file;
        EXPECT_EQ(static_cast<int>(FreeImage_GetHeight(bitmap)), wantHeight) << file;
        int most = 0;
        for (unsigned y = 0; y < FreeImage_GetHeight(bitmap); ++y) {
            const BYTE* row = FreeImage_GetScanLine(bitmap, static_cast<int>(y));
            for (unsigned x = 0; x < FreeImage_GetWidth(bitmap) * 3; ++x) {
                most = std::max(most, static_cast<int>(row[x]));
            }
        }
        FreeImage_Unload(bitmap);
        return most;
    }

    // A PNG democap wrote, as tight RGB rows, top row first.
    struct Rgb {
        int width = 0;
        int height = 0;
        std::vector<uint8_t> bytes;
        const uint8_t* at(int x, int y) const {
            return bytes.data() + (static_cast<size_t>(y) * width + x) * 3;
        }
    };
    static Rgb load(const std::string& file) {
        Rgb picture;
        FIBITMAP* bitmap = FreeImage_Load(FIF_PNG, file.c_str(), 0);
        EXPECT_NE(bitmap, nullptr) << file;
        if (bitmap == nullptr) {
            return picture;
        }
        picture.width = static_cast<int>(FreeImage_GetWidth(bitmap));
        picture.height = static_cast<int>(FreeImage_GetHeight(bitmap));
        for (int y = picture.height - 1; y >= 0; --y) {
            const BYTE* row = FreeImage_GetScanLine(bitmap, y);
            for (int x = 0; x < picture.width; ++x) { // stored BGR
                picture.bytes.insert(picture.bytes.end(),
                                     {row[x * 3 + 2], row[x * 3 + 1], row[x * 3]});
            }
        }
        FreeImage_Unload(bitmap);
        return picture;
    }
    // Largest and mean channel difference over the same size; 999 otherwise.
    static std::pair<int, double> difference(const Rgb& a, const Rgb& b) {
        if (a.width != b.width || a.height != b.height || a.bytes.empty()) {
            ADD_FAILURE() << "sizes differ: " << a.width << "x" << a.height << " and " << b.width
                          << "x" << b.height;
            return {999, 999.0};
        }
        int worst = 0;
        double sum = 0.0;
        for (size_t i = 0; i < a.bytes.size(); ++i) {
            const int d = std::abs(int(a.bytes[i]) - int(b.bytes[i]));
            worst = std::max(worst, d);
            sum += d;
        }
        return {worst, sum / static_cast<double>(a.bytes.size())};
    }

    // A 4-second tone as the show's music.
    void makeMusic() {
        const RunResult r =
            runProgram({ffmpegTool("ffmpeg"), "-v", "error", "-y", "-f", "lavfi", "-i",
                        "sine=frequency=440:duration=4", "-c:a", "libvorbis", kMusicPath},
                       package);
        ASSERT_EQ(r.status, 0) << r.output;
    }

    std::string probe(const std::string& file, const std::string& stream,
                      const std::string& entries) {
        const RunResult r = runProgram(
            {ffmpegTool("ffprobe"), "-v", "error", "-count_frames", "-select_streams", stream,
             "-show_entries", "stream=" + entries, "-of", "default=noprint_wrappers=1", file},
            dir.path());
        EXPECT_EQ(r.status, 0) << r.output;
        return r.output;
    }

    TempFolder dir;
    std::string package;
};

TEST_F(DemocapRun, NamesAndCountFollowFramesAndEvery) {
    const RunResult r = democap({"--package", package, "--size", "64x48", "--frames", "100-120",
                                 "--every", "7", "--out", "shots"});
    ASSERT_EQ(r.status, 0) << r.output;
    // --out is relative to where democap was started, not to the package.
    EXPECT_EQ(pictures(dir.path() + "/shots"),
              (std::vector<std::string>{"frame_00100.png", "frame_00107.png", "frame_00114.png"}));
    EXPECT_FALSE(std::filesystem::exists(package + "/shots"));
    EXPECT_NE(r.output.find("3 pictures"), std::string::npos) << r.output;
    // Off a terminal the progress comes as plain lines.
    EXPECT_NE(r.output.find("fps"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find('\r'), std::string::npos);
}

TEST_F(DemocapRun, BlackGapsAreBlack) {
    // The gaps between scenes show only the cleared screen, whatever the data.
    RunResult r = democap({"--package", package, "--frames", "3100-3102", "--out", "mid"});
    ASSERT_EQ(r.status, 0) << r.output;
    ASSERT_EQ(pictures(dir.path() + "/mid").size(), 3u);
    for (const char* name : {"frame_03100.png", "frame_03101.png", "frame_03102.png"}) {
        EXPECT_EQ(brightest(dir.path() + "/mid/" + name, 640, 480), 0) << name;
    }
    // The edges of both gaps.
    r = democap({"--package", package, "--size", "80x60", "--frames", "3081-3217", "--every", "136",
                 "--out", "gap1"});
    ASSERT_EQ(r.status, 0) << r.output;
    ASSERT_EQ(pictures(dir.path() + "/gap1"),
              (std::vector<std::string>{"frame_03081.png", "frame_03217.png"}));
    r = democap({"--package", package, "--size", "80x60", "--frames", "3948-4003", "--every", "55",
                 "--out", "gap2"});
    ASSERT_EQ(r.status, 0) << r.output;
    ASSERT_EQ(pictures(dir.path() + "/gap2"),
              (std::vector<std::string>{"frame_03948.png", "frame_04003.png"}));
    for (const char* path : {"/gap1/frame_03081.png", "/gap1/frame_03217.png",
                             "/gap2/frame_03948.png", "/gap2/frame_04003.png"}) {
        EXPECT_EQ(brightest(dir.path() + path, 80, 60), 0) << path;
    }
}

TEST_F(DemocapRun, FullHdSize) {
    const RunResult r =
        democap({"--package", package, "--size", "1920x1080", "--frames", "0-1", "--out", "hd"});
    ASSERT_EQ(r.status, 0) << r.output;
    ASSERT_EQ(pictures(dir.path() + "/hd"),
              (std::vector<std::string>{"frame_00000.png", "frame_00001.png"}));
    brightest(dir.path() + "/hd/frame_00001.png", 1920, 1080);
}

// Many drivers give alpha planes though none were asked for. The scenes
// blend with destination alpha (the hall's rising strips, the sprites over
// the record, the ties) and must look the same as on a visual without them.
TEST_F(DemocapRun, AlphaPlanesChangeNoPixel) {
    // The show's own pictures: untextured quads hide the difference.
    const std::vector<std::string> args = {"--package", VEMU_PACKAGE_DIR, "--size",  "160x120",
                                           "--frames",  "500-2600",       "--every", "300"};
    auto with = args, without = args;
    with.insert(with.end(), {"--out", "alpha"});
    without.insert(without.end(), {"--out", "plain"});
    const RunResult a = democap(with, {{"VEMU_GL_ALPHA_BITS", "8"}});
    ASSERT_EQ(a.status, 0) << a.output;
    if (a.output.find("the context has 0 alpha bits") != std::string::npos) {
        GTEST_SKIP() << "the driver gave no alpha planes: " << a.output;
    }
    const RunResult b = democap(without);
    ASSERT_EQ(b.status, 0) << b.output;
    const auto shots = pictures(dir.path() + "/alpha");
    ASSERT_EQ(shots.size(), 8u);
    for (const std::string& name : shots) {
        SCOPED_TRACE(name);
        EXPECT_LE(
            difference(load(dir.path() + "/alpha/" + name), load(dir.path() + "/plain/" + name))
                .first,
            2)
            << "with alpha planes";
    }
}

// Frames before --frames run on one pixel; the frames written must be those
// of a run that drew everything: ranges starting in every scene, on a flip
// frame (620), in the first spark frames of the craft (4010).
TEST_F(DemocapRun, PartialCapturesEqualTheWholeRun) {
#if defined(__SANITIZE_ADDRESS__)
    // Twelve runs through the show: 90 s under ASan, for scene code the
    // whole-show run below already takes through; the Release build checks
    // what this test is for.
    GTEST_SKIP() << "checked in the Release build";
#endif
    const std::vector<std::string> common = {"--package", VEMU_PACKAGE_DIR, "--size",
                                             "64x48",     "--every",        "5"};
    auto whole = common;
    whole.insert(whole.end(), {"--frames", "0-7205", "--out", "whole"});
    const RunResult w = democap(whole);
    ASSERT_EQ(w.status, 0) << w.output;
    for (int first : {300, 620, 1700, 1750, 1900, 2500, 3225, 4010, 4900, 5600, 6500, 7200}) {
        SCOPED_TRACE(first);
        const std::string out = "part" + std::to_string(first);
        auto part = common;
        part.insert(
            part.end(),
            {"--frames", std::to_string(first) + "-" + std::to_string(first + 5), "--out", out});
        const RunResult r = democap(part);
        ASSERT_EQ(r.status, 0) << r.output;
        const auto shots = pictures(dir.path() + "/" + out);
        ASSERT_EQ(shots.size(), 2u);
        for (const std::string& name : shots) {
            EXPECT_LE(difference(load(dir.path() + "/" + out + "/" + name),
                                 load(dir.path() + "/whole/" + name))
                          .first,
                      2)
                << name;
        }
    }
}

// --jobs: the files one job makes, byte for byte: the PNGs, and a video
// whose chunks start on skipped frames, which repeat a picture that another
// job drew, or that none did (black). The progress counts every job.
TEST_F(DemocapRun, JobsMakeTheSameFilesByteForByte) {
    const auto bytes = [](const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const bool video = !ffmpegTool("ffprobe").empty();
    for (const std::string out : {"shots", "clip.mp4"}) {
        if (out == "clip.mp4" && !video) {
            continue;
        }
        SCOPED_TRACE(out);
        for (const char* jobs : {"1", "3"}) {
            const RunResult r =
                democap({"--package", VEMU_PACKAGE_DIR, "--size", "160x120", "--frames",
                         "1000-1400", "--every", "3", "--skip", "1000-1010,1140-1160,1290-1300",
                         "--jobs", jobs, "--out", std::string(jobs) + out});
            ASSERT_EQ(r.status, 0) << r.output;
            EXPECT_NE(r.output.find("frame  1400  100.0%"), std::string::npos) << r.output;
        }
        if (out == "clip.mp4") {
            EXPECT_EQ(bytes(dir.path() + "/3" + out), bytes(dir.path() + "/1" + out));
            continue;
        }
        const auto one = pictures(dir.path() + "/1" + out);
        ASSERT_EQ(one.size(), 119u);
        EXPECT_EQ(pictures(dir.path() + "/3" + out), one);
        for (const std::string& name : one) {
            ASSERT_EQ(bytes(dir.path() + "/3" + out + "/" + name),
                      bytes(dir.path() + "/1" + out + "/" + name))
                << name;
        }
    }
}

// A job that cannot write its frame fails the capture, which says why and
// which job, and stops the others.
TEST_F(DemocapRun, AJobThatFailsFailsTheCapture) {
    std::filesystem::create_directories(dir.path() + "/shots/frame_01100.png");
    const RunResult r = democap({"--package", VEMU_PACKAGE_DIR, "--size", "160x120", "--frames",
                                 "1000-1200", "--jobs", "2", "--out", "shots"});
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("frame_01100.png: Is a directory"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("of 2 failed"), std::string::npos) << r.output;
    EXPECT_LT(pictures(dir.path() + "/shots").size(), 201u);
}

// A 16:9 frame holds the 4:3 show between black bars, drawn as it is at
// 4:3; --stretch fills the frame.
TEST_F(DemocapRun, WideFramesKeepTheShowsShape) {
    for (const char* size : {"160x90", "120x90"}) {
        const RunResult r = democap({"--package", VEMU_PACKAGE_DIR, "--size", size, "--frames",
                                     "1100-1100", "--out", size});
        ASSERT_EQ(r.status, 0) << r.output;
    }
    const RunResult r = democap({"--package", VEMU_PACKAGE_DIR, "--size", "160x90", "--stretch",
                                 "--frames", "1100-1100", "--out", "stretched"});
    ASSERT_EQ(r.status, 0) << r.output;
    const Rgb wide = load(dir.path() + "/160x90/frame_01100.png");
    const Rgb narrow = load(dir.path() + "/120x90/frame_01100.png");
    const Rgb stretched = load(dir.path() + "/stretched/frame_01100.png");
    ASSERT_EQ(wide.width, 160);
    int barBrightest = 0;
    int stretchedEdge = 0;
    Rgb inside{120, 90, {}};
    for (int y = 0; y < 90; ++y) {
        for (int x = 0; x < 160; ++x) {
            const bool bar = x < 20 || x >= 140;
            for (int c = 0; c < 3; ++c) {
                if (bar) {
                    barBrightest = std::max(barBrightest, int(wide.at(x, y)[c]));
                    stretchedEdge = std::max(stretchedEdge, int(stretched.at(x, y)[c]));
                } else {
                    inside.bytes.push_back(wide.at(x, y)[c]);
                }
            }
        }
    }
    EXPECT_EQ(barBrightest, 0) << "the bars are black";
    EXPECT_LE(difference(inside, narrow).first, 2) << "between the bars: the 4:3 frame itself";
    EXPECT_GT(stretchedEdge, 40) << "stretched, the hall reaches the frame's sides";
}

// More samples smooth the craft's edges: pixels that are part blue, part
// background along its wings, where one sample gives a staircase. 4 is
// multisampling; 8 is drawing 3x3 larger and filtering
// down, as llvmpipe has no 8-sample framebuffer.
TEST_F(DemocapRun, SamplesSmoothEdgesAndKeepPicturesSharp) {
    for (const char* samples : {"1", "4", "8"}) {
        for (const char* frame : {"2500-2500", "4400-4400"}) {
            const RunResult r =
                democap({"--package", VEMU_PACKAGE_DIR, "--size", "160x120", "--samples", samples,
                         "--frames", frame, "--out", std::string("s") + samples});
            ASSERT_EQ(r.status, 0) << r.output;
        }
    }
    auto edgeBlends = [](const Rgb& picture) {
        int count = 0;
        for (size_t i = 0; i < picture.bytes.size(); i += 3) {
            const uint8_t* p = picture.bytes.data() + i;
            count += p[2] > 60 && p[2] < 200 && p[0] < 25 && p[1] < 25 ? 1 : 0;
        }
        return count;
    };
    const int one = edgeBlends(load(dir.path() + "/s1/frame_04400.png"));
    // Multisampling samples a picture once per pixel, as one sample does;
    // drawn larger and filtered down, it is resampled, a little softer.
    for (const auto& [samples, pictureLevels] : {std::pair{"s4", 0.5}, std::pair{"s8", 6.0}}) {
        SCOPED_TRACE(samples);
        const std::string folder = dir.path() + "/" + samples;
        EXPECT_GT(edgeBlends(load(folder + "/frame_04400.png")), one * 5 / 4)
            << "edge pixels blended: " << one << " with one sample";
        EXPECT_LT(
            difference(load(folder + "/frame_02500.png"), load(dir.path() + "/s1/frame_02500.png"))
                .second,
            pictureLevels)
            << "the ties' pictures";
    }
}

// The show's own frames: the strobe's white frames go past the thresholds,
// the craft's moving sparks do not (no quarter of a field swings at once).
TEST_F(DemocapRun, TheFlashReportFailsTheStrobeAndPassesTheSparks) {
    const RunResult strobe = democap({"--package", VEMU_PACKAGE_DIR, "--size", "160x120",
                                      "--frames", "3150-3330", "--flash-report", "strobe.txt"});
    EXPECT_EQ(strobe.status, 3) << strobe.output;
    std::ifstream in(dir.path() + "/strobe.txt");
    const std::string report((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(report.find(": FAILS"), std::string::npos) << report;
    EXPECT_NE(report.find("frames  3218 to  3330"), std::string::npos) << report;
    EXPECT_NE(report.find("HardFlash        worst 5 general flashes"), std::string::npos) << report;
    // A report alone writes no pictures.
    EXPECT_EQ(pictures(dir.path()), std::vector<std::string>{"strobe.txt"});

    const RunResult gentle =
        democap({"--package", VEMU_PACKAGE_DIR, "--size", "160x120", "--frames", "3150-3330",
                 "--gentle", "--flash-report", "gentle.txt"});
    EXPECT_EQ(gentle.status, 0) << gentle.output;

    const RunResult sparks = democap({"--package", VEMU_PACKAGE_DIR, "--size", "160x120",
                                      "--frames", "4004-4300", "--flash-report", "sparks.txt"});
    EXPECT_EQ(sparks.status, 0) << sparks.output;
    EXPECT_NE(sparks.output.find("flashing stays within the thresholds"), std::string::npos)
        << sparks.output;

    const RunResult every =
        democap({"--package", VEMU_PACKAGE_DIR, "--every", "2", "--flash-report", "every.txt"});
    EXPECT_EQ(every.status, 2) << every.output;
}

// The gentle show keeps the show's state: only its flash frames differ.
TEST_F(DemocapRun, TheGentleShowDiffersOnlyOnItsFlashFrames) {
    for (const char* range : {"3216-3243", "4806-4823", "7126-7143"}) {
        SCOPED_TRACE(range);
        for (const char* out : {"normal", "gentle"}) {
            std::vector<std::string> args{
                "--package", VEMU_PACKAGE_DIR, "--size", "64x48", "--frames", range, "--out", out};
            if (std::string(out) == "gentle") {
                args.push_back("--gentle");
            }
            const RunResult r = democap(args);
            ASSERT_EQ(r.status, 0) << r.output;
        }
        for (const std::string& name : pictures(dir.path() + "/normal")) {
            const int32_t frame = std::stoi(name.substr(6, 5));
            const auto d = difference(load(dir.path() + "/normal/" + name),
                                      load(dir.path() + "/gentle/" + name));
            if (isFlashFrame(frame)) {
                EXPECT_GT(d.second, 40.0) << name; // white against the pictures
            } else {
                EXPECT_EQ(d.first, 0) << name;
            }
        }
        std::filesystem::remove_all(dir.path() + "/normal");
        std::filesystem::remove_all(dir.path() + "/gentle");
    }
}

TEST_F(DemocapRun, SkippedFramesGetNoPicture) {
    const RunResult r = democap({"--package", package, "--size", "32x24", "--frames", "50-60",
                                 "--skip", "52-54,58,10,2000", "--out", "shots"});
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(pictures(dir.path() + "/shots"),
              (std::vector<std::string>{"frame_00050.png", "frame_00051.png", "frame_00055.png",
                                        "frame_00056.png", "frame_00057.png", "frame_00059.png",
                                        "frame_00060.png"}));
}

TEST_F(DemocapRun, TheShowEndsAfterFrame7401WithStatusZero) {
    RunResult r =
        democap({"--package", package, "--size", "32x24", "--frames", "7399-7401", "--out", "end"});
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(pictures(dir.path() + "/end"),
              (std::vector<std::string>{"frame_07399.png", "frame_07400.png", "frame_07401.png"}));
    // The whole show with the default range: the last grid frame is 7000.
    r = democap({"--package", package, "--size", "32x24", "--every", "1000", "--out", "all"});
    ASSERT_EQ(r.status, 0) << r.output;
    const auto all = pictures(dir.path() + "/all");
    ASSERT_EQ(all.size(), 8u);
    EXPECT_EQ(all.front(), "frame_00000.png");
    EXPECT_EQ(all.back(), "frame_07000.png");
    EXPECT_NE(r.output.find("100.0%"), std::string::npos) << r.output;
}

TEST_F(DemocapRun, NoMusicIsANoteNotAFailure) {
    // The demo would end with status 1 without its music; a capture goes on
    // and says why. The capture's sound checks the music without a sound card.
    const std::vector<std::string> one{"--package", package, "--size", "32x24",
                                       "--frames",  "0",     "--out",  "one"};
    const RunResult none = democap(one);
    ASSERT_EQ(none.status, 0) << none.output;
    EXPECT_EQ(pictures(dir.path() + "/one").size(), 1u);
    EXPECT_NE(none.output.find("can't load the music data/velda.ogg: cannot open it"),
              std::string::npos)
        << none.output;

    // An Ogg page whose first packet is not Vorbis's identification.
    std::string notVorbis = "OggS" + std::string(22, 'x');
    notVorbis += '\0';
    notVorbis += "\1opusid and more bytes than a header";
    std::ofstream(package + "/" + kMusicPath) << notVorbis;
    const RunResult bad = democap(one);
    ASSERT_EQ(bad.status, 0) << bad.output;
    EXPECT_NE(bad.output.find("velda.ogg: not an Ogg Vorbis stream"), std::string::npos)
        << bad.output;

    makeMusic();
    const RunResult good = democap(one);
    ASSERT_EQ(good.status, 0) << good.output;
    EXPECT_EQ(good.output.find("note:"), std::string::npos) << good.output;
}

TEST_F(DemocapRun, HeadlessWhateverTheEnvironmentSays) {
    const RunResult r =
        democap({"--package", package, "--size", "32x24", "--frames", "5-6", "--out", "shots"},
                {{"DISPLAY", ":97"}, {"EGL_PLATFORM", "x11"}, {"WAYLAND_DISPLAY", std::nullopt}});
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(pictures(dir.path() + "/shots").size(), 2u);
}

TEST_F(DemocapRun, BadArgumentsEndWithStatus2AndWriteNothing) {
    const std::vector<std::vector<std::string>> cases{
        {"--size", "0x480", "--out", "o"},
        {"--frames", "20-10", "--out", "o"},
        {"--frames", "7402", "--out", "o"},
        {"--every", "0", "--out", "o"},
        {"--skip", "5-", "--out", "o"},
        {"--skip", "1,,2", "--out", "o"},
        {"--frames", "1-2"},
        {"--fps", "25", "--out", "o"},
        {"--size", "641x480", "--out", "o.mp4"},
        {"--package", "no/such/folder", "--out", "o"},
    };
    for (const auto& args : cases) {
        const RunResult r = democap(args);
        EXPECT_EQ(r.status, 2) << args[0] << " " << args[1] << ": " << r.output;
        EXPECT_NE(r.output.find("democap: "), std::string::npos) << r.output;
        EXPECT_NE(r.output.find("--help"), std::string::npos) << r.output;
    }
    EXPECT_TRUE(pictures(dir.path()).empty());
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/o"));

    const RunResult help = democap({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.output.find("Usage: democap"), std::string::npos) << help.output;
}

TEST_F(DemocapRun, OutputThatCannotBeWrittenIsStatus1) {
    std::filesystem::create_directories(dir.path() + "/taken");
    { std::ofstream(dir.path() + "/taken/file") << "x"; }
    const RunResult r =
        democap({"--package", package, "--size", "32x24", "--frames", "0", "--out", "taken/file"});
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("not a folder"), std::string::npos) << r.output;
}

TEST_F(DemocapRun, VideoAt50FramesASecondWithTheRightCount) {
    if (ffmpegTool("ffprobe").empty()) {
        GTEST_SKIP() << "ffmpeg is not installed";
    }
    const RunResult r = democap({"--package", package, "--size", "160x120", "--frames", "200-249",
                                 "--skip", "210-215", "--out", "clip.mp4"});
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find(std::string("no ") + kMusicPath), std::string::npos) << r.output;
    const std::string file = dir.path() + "/clip.mp4";
    // Skipped frames repeat the picture before them: still one per frame.
    const std::string video = probe(file, "v:0", "r_frame_rate,nb_read_frames,width,height");
    EXPECT_NE(video.find("r_frame_rate=50/1"), std::string::npos) << video;
    EXPECT_NE(video.find("nb_read_frames=50\n"), std::string::npos) << video;
    EXPECT_NE(video.find("width=160"), std::string::npos) << video;
    EXPECT_EQ(probe(file, "a", "codec_type"), "");
}

// The sound must start with the pictures: a click at 1.4 s of the music is
// frame 70, 0.4 s into a video of frames 50 to 124, in every container.
TEST_F(DemocapRun, VideoCarriesTheMusicInStepWithItsFrames) {
    if (ffmpegTool("ffprobe").empty()) {
        GTEST_SKIP() << "ffmpeg is not installed";
    }
    const RunResult music =
        runProgram({ffmpegTool("ffmpeg"), "-v", "error", "-y", "-f", "lavfi", "-i",
                    "aevalsrc=if(between(t\\,1.4\\,1.45)\\,0.8*sin(2*PI*440*t)\\,0):s=32000:d=4",
                    "-c:a", "libvorbis", kMusicPath},
                   package);
    ASSERT_EQ(music.status, 0) << music.output;
    for (const char* name : {"clip.mp4", "clip.mkv", "clip.webm"}) {
        SCOPED_TRACE(name);
        const RunResult r =
            democap({"--package", package, "--size", "64x48", "--frames", "50-124", "--out", name});
        ASSERT_EQ(r.status, 0) << r.output;
        const std::string file = dir.path() + "/" + name;
        const std::string video = probe(file, "v:0", "r_frame_rate,nb_read_frames");
        EXPECT_NE(video.find("r_frame_rate=50/1"), std::string::npos) << video;
        EXPECT_NE(video.find("nb_read_frames=75\n"), std::string::npos) << video;
        // The music is cut to the pictures: 1.5 s from 1 s on.
        const RunResult length = runProgram({ffmpegTool("ffprobe"), "-v", "error", "-show_entries",
                                             "format=duration", "-of", "csv=p=0", file},
                                            dir.path());
        ASSERT_EQ(length.status, 0) << length.output;
        EXPECT_NEAR(std::atof(length.output.c_str()), 1.5, 0.1) << length.output;
        const RunResult pcm = runProgram({ffmpegTool("ffmpeg"), "-v", "error", "-i", file, "-ac",
                                          "1", "-ar", "32000", "-f", "s16le", "-y", "clip.pcm"},
                                         dir.path());
        ASSERT_EQ(pcm.status, 0) << pcm.output;
        std::ifstream in(dir.path() + "/clip.pcm", std::ios::binary);
        std::vector<int16_t> samples;
        for (int16_t v = 0; in.read(reinterpret_cast<char*>(&v), sizeof v);) {
            samples.push_back(v);
        }
        const auto loud = std::find_if(samples.begin(), samples.end(),
                                       [](int16_t v) { return std::abs(v) > 8000; });
        ASSERT_NE(loud, samples.end()) << "no click in the video's sound";
        const double at = static_cast<double>(loud - samples.begin()) / 32000.0;
        EXPECT_NEAR(at, 0.4, 0.02) << "the click is not on its frame: the sound is out of step";
    }
}

// A video frame decoded back the way players do, by its tags, shows the
// colours of the PNG of the same frame, closer than with the other matrix:
// SD and HD take different ones, and players assume BT.709 for HD.
TEST_F(DemocapRun, VideoColoursAreTheFramesColours) {
    if (ffmpegTool("ffprobe").empty()) {
        GTEST_SKIP() << "ffmpeg is not installed";
    }
    struct Case {
        const char* size;
        const char* tag;
        const char* otherMatrix;
    };
    for (const Case& c :
         {Case{"640x480", "smpte170m", "bt709"}, Case{"1280x720", "bt709", "bt601"}}) {
        SCOPED_TRACE(c.size);
        const std::string name = std::string("clip") + c.size;
        for (const std::string& out : {name + ".mp4", name}) {
            const RunResult r = democap({"--package", VEMU_PACKAGE_DIR, "--size", c.size,
                                         "--frames", "1100-1101", "--out", out});
            ASSERT_EQ(r.status, 0) << r.output;
        }
        const std::string tags = probe(dir.path() + "/" + name + ".mp4", "v:0",
                                       "color_space,color_primaries,color_transfer,color_range");
        EXPECT_NE(tags.find(std::string("color_space=") + c.tag), std::string::npos) << tags;
        EXPECT_NE(tags.find("color_range=tv"), std::string::npos) << tags;
        EXPECT_NE(tags.find("color_primaries=bt709"), std::string::npos) << tags;
        EXPECT_NE(tags.find("color_transfer=bt709"), std::string::npos) << tags;
        // Decoded to raw RGB: a PNG would carry a gamma chunk for the tagged
        // transfer, which PNG readers apply.
        auto decodedDifference = [&](const std::vector<std::string>& filter) {
            std::vector<std::string> args = {ffmpegTool("ffmpeg"), "-v",        "error", "-y", "-i",
                                             name + ".mp4",        "-frames:v", "1"};
            args.insert(args.end(), filter.begin(), filter.end());
            args.insert(args.end(), {"-f", "rawvideo", "-pix_fmt", "rgb24", "decoded.rgb"});
            const RunResult decoded = runProgram(args, dir.path());
            EXPECT_EQ(decoded.status, 0) << decoded.output;
            const Rgb png = load(dir.path() + "/" + name + "/frame_01100.png");
            Rgb raw{png.width, png.height, {}};
            std::ifstream in(dir.path() + "/decoded.rgb", std::ios::binary);
            raw.bytes.assign(std::istreambuf_iterator<char>(in), {});
            return difference(raw, png).second;
        };
        const double byTags = decodedDifference({});
        const double byOther = decodedDifference(
            {"-vf", std::string("scale=in_color_matrix=") + c.otherMatrix + ":in_range=tv"});
        // 4:2:0 chroma at CRF 18 leaves about 2 to 3 levels on this busy frame.
        EXPECT_LT(byTags, 3.5);
        EXPECT_LT(byTags, byOther * 0.9)
            << "decoded by its tags " << byTags << " levels off, with the other matrix " << byOther;
    }
}

std::string readAll(const std::string& file) {
    std::ifstream in(file);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A stopped capture left a shorter video that played, under the final
// name, over the one there before. Now the video is written beside it and
// takes the name only once whole: a stop leaves the old file as it was and
// nothing else; a whole capture replaces it.
TEST_F(DemocapRun, AStoppedVideoLeavesNothingAndOnlyAWholeOneReplacesTheOld) {
    if (ffmpegTool("ffprobe").empty()) {
        GTEST_SKIP() << "ffmpeg is not installed";
    }
    const std::string video = dir.path() + "/x.mp4";
    const std::string log = dir.path() + "/log";
    std::ofstream(video) << "the video from before";
    for (const int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        const pid_t pid = fork();
        if (pid == 0) {
            const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(fd, STDERR_FILENO);
            if (chdir(dir.path().c_str()) != 0) {
                _exit(126);
            }
            execl(DEMOCAP_PATH, DEMOCAP_PATH, "--package", package.c_str(), "--size", "160x120",
                  "--frames", "0-7000", "--out", "x.mp4", static_cast<char*>(nullptr));
            _exit(127);
        }
        // Stopped once ffmpeg has had frames for a while (it opens its output
        // once it has some).
        for (int i = 0; i < 600; ++i) {
            const std::string text = readAll(log);
            const size_t at = text.rfind("democap: frame");
            int frame = 0;
            if (at != std::string::npos &&
                std::sscanf(text.c_str() + at, "democap: frame %d", &frame) == 1 && frame >= 500) {
                break;
            }
            usleep(50000);
        }
        kill(pid, signal);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status)) << readAll(log);
        EXPECT_EQ(readAll(video), "the video from before");
        EXPECT_FALSE(std::filesystem::exists(video + ".part"));
    }
    const RunResult whole =
        democap({"--package", package, "--size", "160x120", "--frames", "0-49", "--out", "x.mp4"});
    ASSERT_EQ(whole.status, 0) << whole.output;
    EXPECT_NE(probe(video, "v:0", "nb_read_frames").find("nb_read_frames=50"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(video + ".part"));
}

TEST_F(DemocapRun, VideoWithoutFfmpegIsStatus1) {
    const RunResult r =
        democap({"--package", package, "--size", "32x24", "--frames", "0-9", "--out", "x.mp4"},
                {{"PATH", dir.path() + "/nothing-here"}});
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("ffmpeg not found"), std::string::npos) << r.output;
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/x.mp4"));
}

} // namespace
