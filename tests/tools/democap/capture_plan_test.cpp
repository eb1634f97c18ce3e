#include "demo/assets/manifest.h"
#include "tools/democap/capture_plan.h"
#include "tools/democap/jobs.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <tuple>

#include "process_runner.h"

using namespace democap;

namespace {

ParseResult parse(std::vector<std::string> args) {
    return parseArguments(args);
}

void expectError(std::vector<std::string> args, const std::string& mentions) {
    const ParseResult r = parse(args);
    std::string joined;
    for (const auto& a : args) {
        joined += a + " ";
    }
    ASSERT_EQ(r.status, ParseResult::Status::Error) << joined;
    EXPECT_NE(r.error.find(mentions), std::string::npos) << joined << "-> " << r.error;
}

std::vector<int32_t> keptFrames(const FramePlan& plan, int32_t upTo = kLastShownFrame) {
    std::vector<int32_t> frames;
    for (int32_t f = 0; f <= upTo; ++f) {
        if (plan.kept(f)) {
            frames.push_back(f);
        }
    }
    return frames;
}

TEST(DemocapArguments, DefaultsCoverTheWholeShowAt640x480) {
    const ParseResult r = parse({"--out", "shots"});
    ASSERT_EQ(r.status, ParseResult::Status::Run) << r.error;
    EXPECT_EQ(r.options.packageDir, ".");
    EXPECT_EQ(r.options.width, 640);
    EXPECT_EQ(r.options.height, 480);
    EXPECT_EQ(r.options.frames, (FrameRange{0, 7401}));
    EXPECT_EQ(r.options.every, 1);
    EXPECT_TRUE(r.options.skip.empty());
    EXPECT_EQ(r.options.outputKind, OutputKind::PngFolder);
}

TEST(DemocapArguments, BothSpellingsOfEveryOption) {
    const ParseResult r = parse({"--package=pkg", "--size", "1920x1080", "--frames=100-200",
                                 "--every", "3", "--skip=150-160,120", "--out", "show.MP4"});
    ASSERT_EQ(r.status, ParseResult::Status::Run) << r.error;
    EXPECT_EQ(r.options.packageDir, "pkg");
    EXPECT_EQ(r.options.width, 1920);
    EXPECT_EQ(r.options.height, 1080);
    EXPECT_EQ(r.options.frames, (FrameRange{100, 200}));
    EXPECT_EQ(r.options.every, 3);
    EXPECT_EQ(r.options.skip, (std::vector<FrameRange>{{120, 120}, {150, 160}}));
    EXPECT_EQ(r.options.outputKind, OutputKind::Video);
}

TEST(DemocapArguments, SingleFrameAndTheLastShownFrame) {
    EXPECT_EQ(parse({"--frames", "42", "--out", "o"}).options.frames, (FrameRange{42, 42}));
    EXPECT_EQ(parse({"--frames", "7401", "--out", "o"}).options.frames, (FrameRange{7401, 7401}));
    EXPECT_EQ(parse({"--frames", "0-0", "--out", "o"}).options.frames, (FrameRange{0, 0}));
}

TEST(DemocapArguments, HelpWinsOverEverythingElse) {
    EXPECT_EQ(parse({"--help"}).status, ParseResult::Status::Help);
    EXPECT_EQ(parse({"--size", "1x1", "-h"}).status, ParseResult::Status::Help);
    EXPECT_NE(usageText().find("--out PATH"), std::string::npos);
}

TEST(DemocapArguments, BadArgumentsSayWhatIsWrong) {
    expectError({}, "--out");
    expectError({"--frames", "1-2"}, "--out is required");
    expectError({"--out"}, "needs a value");
    expectError({"--out="}, "--out needs");
    expectError({"--bogus", "1", "--out", "o"}, "unknown option");
    expectError({"shots"}, "unexpected argument");
    expectError({"--out", "a", "--out", "b"}, "twice");
    expectError({"--size", "640", "--out", "o"}, "WIDTHxHEIGHT");
    expectError({"--size", "640x", "--out", "o"}, "WIDTHxHEIGHT");
    expectError({"--size", "x480", "--out", "o"}, "WIDTHxHEIGHT");
    expectError({"--size", "-640x480", "--out", "o"}, "WIDTHxHEIGHT");
    expectError({"--size", "640x480x2", "--out", "o"}, "WIDTHxHEIGHT");
    expectError({"--size", "0x480", "--out", "o"}, "1 to");
    expectError({"--size", "20000x480", "--out", "o"}, "1 to");
    expectError({"--every", "0", "--out", "o"}, "--every");
    expectError({"--every", "-2", "--out", "o"}, "--every");
    expectError({"--every", "2.5", "--out", "o"}, "--every");
    expectError({"--package", "", "--out", "o"}, "--package");
    expectError({"--size", "4k", "--out", "o"}, "1080p");
    expectError({"--samples", "3", "--out", "o"}, "1, 2, 4 or 8");
    expectError({"--samples", "16", "--out", "o"}, "1, 2, 4 or 8");
    expectError({"--stretch=yes", "--out", "o"}, "no value");
}

// The show is 4:3: other frames get it as large as fits, centred.
TEST(DemocapArguments, NamedSizesAndWhereTheShowGoes) {
    auto areaFor = [](std::vector<std::string> args) {
        args.insert(args.end(), {"--out", "o"});
        const ParseResult r = parseArguments(args);
        EXPECT_EQ(r.status, ParseResult::Status::Run) << r.error;
        return std::tuple{r.options.width, r.options.height, showArea(r.options)};
    };
    EXPECT_EQ(areaFor({"--size", "1080p"}), std::tuple(1920, 1080, ShowArea{240, 0, 1440, 1080}));
    EXPECT_EQ(areaFor({"--size", "2160P"}), std::tuple(3840, 2160, ShowArea{480, 0, 2880, 2160}));
    EXPECT_EQ(areaFor({"--size", "720p"}), std::tuple(1280, 720, ShowArea{160, 0, 960, 720}));
    EXPECT_EQ(areaFor({"--size=1440p"}), std::tuple(2560, 1440, ShowArea{320, 0, 1920, 1440}));
    EXPECT_EQ(areaFor({"--size", "800x600"}), std::tuple(800, 600, ShowArea{0, 0, 800, 600}));
    // Taller than 4:3: bars above and below.
    EXPECT_EQ(areaFor({"--size", "1000x1000"}),
              std::tuple(1000, 1000, ShowArea{0, 125, 1000, 750}));
    EXPECT_EQ(areaFor({"--size", "1080p", "--stretch"}),
              std::tuple(1920, 1080, ShowArea{0, 0, 1920, 1080}));
    EXPECT_EQ(areaFor({"--size", "1x1"}), std::tuple(1, 1, ShowArea{0, 0, 1, 1}));
}

TEST(DemocapArguments, FrameRangesMustBeInTheShowAndForwards) {
    expectError({"--frames", "200-100", "--out", "o"}, "backwards");
    expectError({"--frames", "7402", "--out", "o"}, "beyond the last frame");
    expectError({"--frames", "7000-7402", "--out", "o"}, "beyond the last frame");
    expectError({"--frames", "99999999999", "--out", "o"}, "--frames");
    expectError({"--frames", "-5", "--out", "o"}, "--frames");
    expectError({"--frames", "5-", "--out", "o"}, "--frames");
    expectError({"--frames", "1-2-3", "--out", "o"}, "--frames");
    expectError({"--frames", "1-5,8-9", "--out", "o"}, "one range");
    expectError({"--frames", " 5", "--out", "o"}, "--frames");
}

TEST(DemocapArguments, SkipListsMergeOverlapsAndRejectJunk) {
    std::string error;
    auto list = parseFrameList("2950,650-700,690-710,711,5-5", error);
    ASSERT_TRUE(list) << error;
    EXPECT_EQ(*list, (std::vector<FrameRange>{{5, 5}, {650, 711}, {2950, 2950}}));
    for (const char* bad :
         {"", ",", "650-700,", ",650", "650,,700", "700-650", "a", "7402", "7401-7402", "1 ,2"}) {
        EXPECT_FALSE(parseFrameList(bad, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
    expectError({"--skip", "700-650", "--out", "o"}, "--skip");
}

TEST(DemocapArguments, VideoNamesAndEvenSizes) {
    EXPECT_EQ(outputKindOf("a.mp4"), OutputKind::Video);
    EXPECT_EQ(outputKindOf("dir/a.MKV"), OutputKind::Video);
    EXPECT_EQ(outputKindOf("a.webm"), OutputKind::Video);
    EXPECT_EQ(outputKindOf(".mp4"), OutputKind::PngFolder); // a hidden folder, not a video
    EXPECT_EQ(outputKindOf("shots"), OutputKind::PngFolder);
    EXPECT_EQ(outputKindOf("shots.mp4/"), OutputKind::PngFolder);
    EXPECT_EQ(outputKindOf("a.mp4.d"), OutputKind::PngFolder);
    // yuv420p needs even sides; PNGs do not care.
    expectError({"--size", "641x480", "--out", "x.mp4"}, "even");
    expectError({"--size", "640x481", "--out", "x.webm"}, "even");
    EXPECT_EQ(parse({"--size", "641x481", "--out", "shots"}).status, ParseResult::Status::Run);
}

TEST(DemocapPlan, EveryKeepsTheGridFromTheFirstFrame) {
    Options o;
    o.frames = {100, 120};
    o.every = 7;
    const FramePlan plan(o);
    EXPECT_EQ(keptFrames(plan), (std::vector<int32_t>{100, 107, 114}));
    EXPECT_EQ(plan.gridCount(), 3);
    EXPECT_EQ(plan.keptCount(), 3);
    EXPECT_EQ(plan.lastFrameToRun(), 120);
    EXPECT_EQ(plan.framesToRun(), 121);
    EXPECT_FALSE(plan.runsToShowEnd());
    EXPECT_FALSE(plan.onGrid(99));
    EXPECT_FALSE(plan.onGrid(121));
}

TEST(DemocapPlan, SkippedFramesRunButAreNotKept) {
    Options o;
    o.frames = {50, 60};
    std::string error;
    o.skip = *parseFrameList("52-54,58,10,2000", error);
    const FramePlan plan(o);
    EXPECT_EQ(keptFrames(plan), (std::vector<int32_t>{50, 51, 55, 56, 57, 59, 60}));
    EXPECT_EQ(plan.gridCount(), 11);
    EXPECT_EQ(plan.keptCount(), 7);
    // Range edges of the skip list, and frames outside the output range.
    for (int32_t f : {10, 52, 53, 54, 58, 2000}) {
        EXPECT_TRUE(plan.skipped(f)) << f;
    }
    for (int32_t f : {0, 9, 11, 51, 55, 57, 59, 1999, 2001, 7401}) {
        EXPECT_FALSE(plan.skipped(f)) << f;
    }
}

TEST(DemocapPlan, EveryAndSkipTogether) {
    Options o;
    o.frames = {0, 30};
    o.every = 10;
    std::string error;
    o.skip = *parseFrameList("5-10,29-30", error);
    const FramePlan plan(o);
    EXPECT_EQ(keptFrames(plan), (std::vector<int32_t>{0, 20}));
    EXPECT_EQ(plan.gridCount(), 4); // 0, 10, 20, 30: the video still has four slots
    EXPECT_EQ(plan.keptCount(), 2);
    EXPECT_TRUE(plan.onGrid(30));
    EXPECT_FALSE(plan.kept(30));
}

TEST(DemocapPlan, EveryLargerThanTheRangeKeepsOnlyTheFirst) {
    Options o;
    o.frames = {7000, 7401};
    o.every = 5000;
    const FramePlan plan(o);
    EXPECT_EQ(keptFrames(plan), (std::vector<int32_t>{7000}));
    EXPECT_TRUE(plan.runsToShowEnd());
}

TEST(DemocapPlan, EverythingSkippedLeavesNothingToWrite) {
    Options o;
    o.frames = {10, 20};
    o.skip = {{0, 7401}};
    const FramePlan plan(o);
    EXPECT_EQ(plan.keptCount(), 0);
    EXPECT_TRUE(keptFrames(plan).empty());
}

// --jobs: chunks start on the grid and cover the range without a gap; a
// video's chunk that starts on skipped frames repeats the last kept frame
// before it, wherever that lies.
TEST(DemocapJobs, ChunksTileTheRangeOnTheGrid) {
    Options o;
    o.frames = {100, 1000};
    o.every = 3;
    std::string error;
    o.skip = *parseFrameList("100-104,250-400", error);
    const FramePlan plan(o);
    const ChunkPlan chunks(o, 50);
    ASSERT_EQ(chunks.count(), 7); // 150 frames each
    int32_t next = 100;
    int32_t slots = 0;
    for (int32_t c = 0; c < chunks.count(); ++c) {
        const FrameRange r = chunks.chunk(c);
        EXPECT_EQ(r.first, next);
        EXPECT_TRUE(plan.onGrid(r.first)) << r.first;
        slots += plan.gridCountIn(r.first, r.last);
        next = r.last + 1;
    }
    EXPECT_EQ(next, 1001);
    EXPECT_EQ(slots, plan.gridCount());
    EXPECT_EQ(plan.lastKeptBefore(100), -1);
    EXPECT_EQ(plan.lastKeptBefore(105), -1); // 100 to 104 skipped
    EXPECT_EQ(plan.lastKeptBefore(106), -1);
    EXPECT_EQ(plan.lastKeptBefore(107), 106);
    EXPECT_EQ(plan.lastKeptBefore(400), 247); // the grid's last before the skip
    EXPECT_EQ(plan.lastKeptBefore(5000), 1000);
}

TEST(DemocapJobs, OnePerCoreUnlessTheFramesMustBeSeenInOrder) {
    Options o;
    o.out = "shots";
    EXPECT_EQ(jobCount(o, 2), 2);
    EXPECT_EQ(jobCount(o, 64), kDefaultMostJobs);
    o.jobs = 3;
    EXPECT_EQ(jobCount(o, 2), 3);
    o.frames = {0, 60}; // two chunks of 50
    EXPECT_EQ(jobCount(o, 2), 2);
    o.jobs = 0;
    o.flashReport = "report.txt";
    EXPECT_EQ(jobCount(o, 8), 1);
    expectError({"--jobs", "0", "--out", "x"}, "--jobs");
    expectError({"--jobs", "65", "--out", "x"}, "--jobs");
    expectError({"--jobs", "2", "--flash-report", "r.txt"}, "one job");
    EXPECT_EQ(parse({"--jobs=4", "--out", "x"}).options.jobs, 4);
    EXPECT_EQ(threadsPerJob(nullptr, 8, 2), 4);
    EXPECT_EQ(threadsPerJob("6", 8, 4), 1);
    EXPECT_EQ(threadsPerJob("junk", 2, 4), 1);
}

TEST(DemocapNames, FiveDigitZeroPaddedFrameNames) {
    EXPECT_EQ(frameFileName(0), "frame_00000.png");
    EXPECT_EQ(frameFileName(42), "frame_00042.png");
    EXPECT_EQ(frameFileName(7401), "frame_07401.png");
}

bool has(const std::vector<std::string>& args, const std::vector<std::string>& run) {
    return std::search(args.begin(), args.end(), run.begin(), run.end()) != args.end();
}

TEST(DemocapFfmpeg, VideoOnlyAt50FramesASecond) {
    Options o;
    o.width = 320;
    o.height = 240;
    o.frames = {0, 99};
    o.out = "/tmp/x.mp4";
    const auto args = ffmpegArguments(o, "");
    EXPECT_EQ(args.front(), "ffmpeg");
    // Written beside the final name until whole, so the container is named.
    EXPECT_TRUE(has(args, {"-f", "mp4", "/tmp/x.mp4.part"}));
    EXPECT_EQ(args.back(), partialName(o.out));
    EXPECT_TRUE(has(args, {"-f", "rawvideo", "-pix_fmt", "rgb24", "-s", "320x240"}));
    EXPECT_TRUE(has(args, {"-framerate", "50/1", "-i", "pipe:0"}));
    EXPECT_TRUE(has(args, {"-r", "50"}));
    EXPECT_TRUE(has(args, {"-c:v", "libx264", "-preset", "veryfast"}));
    EXPECT_TRUE(has(args, {"-pix_fmt", "yuv420p"}));
    EXPECT_FALSE(has(args, {"-map", "1:a:0"}));
    EXPECT_FALSE(has(args, {"-c:a"}));
    // Players take SD for BT.601 and HD for BT.709: convert and tag to match.
    EXPECT_TRUE(has(args, {"-colorspace", "smpte170m"}));
    o.width = 1280;
    o.height = 720;
    EXPECT_TRUE(has(ffmpegArguments(o, ""), {"-colorspace", "bt709", "-color_primaries", "bt709",
                                             "-color_trc", "bt709", "-color_range", "tv"}));
}

TEST(DemocapFfmpeg, MusicStartsAtTheFirstFrameAndLastsAsLongAsThePictures) {
    Options o;
    o.frames = {500, 599};
    o.every = 4;
    o.out = "show.webm";
    const auto args = ffmpegArguments(o, kMusicPath);
    // Pictures come every 4 frames: 25 a second, made 50 by repeating.
    EXPECT_TRUE(has(args, {"-framerate", "50/4"}));
    // 25 slots of 4 frames from 10 s on.
    EXPECT_TRUE(has(args, {"-ss", "10.000", "-t", "2.000", "-i", kMusicPath}));
    EXPECT_TRUE(has(args, {"-map", "0:v:0", "-map", "1:a:0"}));
    EXPECT_TRUE(has(args, {"-c:v", "libvpx-vp9"}));
    EXPECT_TRUE(has(args, {"-c:a", "libopus"}));
}

TEST(DemocapFfmpeg, FoundOnThePathOrNot) {
    TempFolder dir;
    const std::string tool = dir.path() + "/mytool";
    std::ofstream(tool) << "#!/bin/sh\n";
    const std::string plain = dir.path() + "/notexec";
    std::ofstream(plain) << "data";
    chmod(tool.c_str(), 0755);
    chmod(plain.c_str(), 0644);
    std::filesystem::create_directory(dir.path() + "/adir");
    const std::string path = "/nonexistent:" + dir.path();
    EXPECT_EQ(findExecutable("mytool", path.c_str()), tool);
    EXPECT_FALSE(findExecutable("notexec", path.c_str()));
    EXPECT_FALSE(findExecutable("adir", path.c_str()));
    EXPECT_FALSE(findExecutable("mytool", "/nonexistent"));
    EXPECT_FALSE(findExecutable("mytool", nullptr));
    EXPECT_EQ(findExecutable(tool, nullptr), tool); // a path is taken as it is
}

TEST(DemocapProgress, PlainLinesEveryFivePercentOffATerminal) {
    ProgressMeter meter(1000, false);
    int lines = 0;
    std::string last;
    for (int32_t done = 1; done <= 1000; ++done) {
        if (auto text = meter.update(done, done - 1, done * 0.01)) {
            ++lines;
            EXPECT_EQ(text->back(), '\n');
            EXPECT_EQ(text->find('\r'), std::string::npos);
            last = *text;
        }
    }
    EXPECT_EQ(lines, 21); // 0, 5, ... 100 percent
    EXPECT_NE(last.find("frame   999"), std::string::npos) << last;
    EXPECT_NE(last.find("100.0%"), std::string::npos) << last;
    EXPECT_NE(last.find("100.0 fps"), std::string::npos) << last;
    EXPECT_NE(last.find("0:00 left"), std::string::npos) << last;
    EXPECT_EQ(meter.finish(1000, 999, 10.0), ""); // 100 percent already said
}

// The run-up to --frames goes by fast and says so; the range's rate and time
// left come from the range's frames alone.
TEST(DemocapProgress, RunUpAndRangeEachHaveTheirRate) {
    ProgressMeter meter(7402, false, 0.25, 7000);
    std::vector<std::string> lines;
    for (int32_t done = 1; done <= 7101; ++done) {
        // 7000 frames in 1 s, then 10 frames a second.
        const double elapsed = done <= 7000 ? done / 7000.0 : 1.0 + (done - 7000) / 10.0;
        if (auto text = meter.update(done, done - 1, elapsed)) {
            lines.push_back(*text);
        }
    }
    ASSERT_GE(lines.size(), 6u);
    EXPECT_NE(lines[0].find("run-up"), std::string::npos) << lines[0];
    EXPECT_NE(lines[3].find("7000.0 fps"), std::string::npos) << lines[3];
    EXPECT_NE(lines[3].find("to frame 7000"), std::string::npos) << lines[3];
    const std::string& last = lines.back();
    EXPECT_EQ(last.find("run-up"), std::string::npos) << last;
    EXPECT_NE(last.find("10.0 fps"), std::string::npos) << last;
    EXPECT_NE(last.find("0:30 left"), std::string::npos) << last; // 301 frames at 10 a second
}

TEST(DemocapProgress, InPlaceOnATerminalAtMostFourTimesASecond) {
    ProgressMeter meter(7402, true, 0.25);
    int shown = 0;
    for (int32_t done = 1; done <= 3701; ++done) {
        if (auto text = meter.update(done, done - 1, done * 0.001)) {
            ++shown;
            EXPECT_EQ(text->front(), '\r');
            EXPECT_EQ(text->find('\n'), std::string::npos);
        }
    }
    EXPECT_GE(shown, 14);
    EXPECT_LE(shown, 16);
    // Half done in 3.7 s at 1000 fps: 3.7 s to go.
    const std::string end = meter.finish(3701, 3700, 3.701);
    EXPECT_EQ(end.back(), '\n');
    EXPECT_NE(end.find("50.0%"), std::string::npos) << end;
    EXPECT_NE(end.find("0:04 left"), std::string::npos) << end;
}

} // namespace
