// The built democap run as a user would: a package folder with a data/
// folder (empty, or with test-made music), output into a temporary folder.
// Every run starts at frame 0, so small sizes keep these quick.
#include <FreeImage.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

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

    // A 4-second tone as the show's music.
    void makeMusic() {
        const RunResult r =
            runProgram({ffmpegTool("ffmpeg"), "-v", "error", "-y", "-f", "lavfi", "-i",
                        "sine=frequency=440:duration=4", "-c:a", "libvorbis", "data/velda.ogg"},
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
        FIBITMAP* x = FreeImage_Load(FIF_PNG, (dir.path() + "/alpha/" + name).c_str(), 0);
        FIBITMAP* y = FreeImage_Load(FIF_PNG, (dir.path() + "/plain/" + name).c_str(), 0);
        ASSERT_TRUE(x != nullptr && y != nullptr);
        int worst = 0;
        for (unsigned row = 0; row < 120; ++row) {
            const BYTE* p = FreeImage_GetScanLine(x, static_cast<int>(row));
            const BYTE* q = FreeImage_GetScanLine(y, static_cast<int>(row));
            for (unsigned i = 0; i < 160 * 3; ++i) {
                worst = std::max(worst, std::abs(int(p[i]) - int(q[i])));
            }
        }
        EXPECT_LE(worst, 2) << "with alpha planes";
        FreeImage_Unload(x);
        FreeImage_Unload(y);
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
    // The demo would end with status 1 without its music; a capture goes on.
    const RunResult r =
        democap({"--package", package, "--size", "32x24", "--frames", "0", "--out", "one"});
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(pictures(dir.path() + "/one").size(), 1u);
}

TEST_F(DemocapRun, HeadlessWhateverTheEnvironmentSays) {
    const RunResult r =
        democap({"--package", package, "--size", "32x24", "--frames", "5-6", "--out", "shots"},
                {{"DISPLAY", ":97"},
                 {"SDL_VIDEODRIVER", "x11"},
                 {"SDL_AUDIODRIVER", "alsa"},
                 {"WAYLAND_DISPLAY", std::nullopt}});
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
    EXPECT_NE(r.output.find("no data/velda.ogg"), std::string::npos) << r.output;
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
                    "-c:a", "libvorbis", "data/velda.ogg"},
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

TEST_F(DemocapRun, VideoWithoutFfmpegIsStatus1) {
    const RunResult r =
        democap({"--package", package, "--size", "32x24", "--frames", "0-9", "--out", "x.mp4"},
                {{"PATH", dir.path() + "/nothing-here"}});
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("ffmpeg not found"), std::string::npos) << r.output;
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/x.mp4"));
}

} // namespace
