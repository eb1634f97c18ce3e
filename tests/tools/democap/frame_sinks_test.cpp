// The sinks with a real GL frame: what lands in the files must be the
// picture as seen on screen (top row first, red as red), checked by decoding
// the files with ffmpeg rather than with the library that wrote them.
#include "tools/democap/frame_sinks.h"

#include <GL/gl.h>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

#include "process_runner.h"
#include "tests/support/gl_harness.h"
#include "tools/democap/capture_plan.h"
#include "tools/democap/frame_readback.h"

using namespace democap;

namespace {

constexpr int kWidth = 66; // rows of 198 bytes, not a multiple of 4
constexpr int kHeight = 32;

// Blue everywhere, red on the bottom 8 rows, green on the left 10 columns
// of the top 8 rows.
void drawMarkedFrame() {
    glDisable(GL_SCISSOR_TEST);
    glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, kWidth, 8);
    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glScissor(0, kHeight - 8, 10, 8);
    glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    glClearColor(0.0f, 0.0f, 0.0f, 0.5f);
}

std::string ffmpegPath() {
    auto found = findExecutable("ffmpeg", std::getenv("PATH"));
    return found ? *found : "";
}

// The first picture of a file as RGB, top row first.
std::vector<uint8_t> decodeFirstPicture(const std::string& file, const std::string& folder) {
    const std::string raw = folder + "/decoded.rgb";
    const RunResult r = runProgram({ffmpegPath(), "-v", "error", "-y", "-i", file, "-frames:v", "1",
                                    "-f", "rawvideo", "-pix_fmt", "rgb24", raw},
                                   folder);
    EXPECT_EQ(r.status, 0) << r.output;
    std::ifstream in(raw, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

Rgb at(const std::vector<uint8_t>& rgb, int x, int rowFromTop) {
    const size_t i = (static_cast<size_t>(rowFromTop) * kWidth + static_cast<size_t>(x)) * 3;
    return Rgb{rgb[i], rgb[i + 1], rgb[i + 2]};
}

void expectMarkedPicture(const std::vector<uint8_t>& rgb, int tol) {
    ASSERT_EQ(rgb.size(), static_cast<size_t>(kWidth * kHeight * 3));
    const Rgb red{255, 0, 0}, green{0, 255, 0}, blue{0, 0, 255};
    // Away from the edges, where video chroma is shared between pixels.
    EXPECT_TRUE(near(at(rgb, 3, 2), green, tol)); // top left on screen
    EXPECT_TRUE(near(at(rgb, 40, 2), blue, tol));
    EXPECT_TRUE(near(at(rgb, 30, 16), blue, tol));
    EXPECT_TRUE(near(at(rgb, 3, kHeight - 3), red, tol)); // bottom
    EXPECT_TRUE(near(at(rgb, 60, kHeight - 3), red, tol));
}

class DemocapSinks : public ::testing::Test {
  protected:
    void SetUp() override {
        if (ffmpegPath().empty()) {
            GTEST_SKIP() << "ffmpeg is not installed";
        }
        ASSERT_TRUE(gl.ok());
        drawMarkedFrame();
    }
    GlHarness gl{kWidth, kHeight};
    TempFolder dir;
};

TEST_F(DemocapSinks, PngIsTheFrameAsSeenTopRowFirst) {
    {
        PngSink sink(dir.path(), kWidth, kHeight);
        for (int32_t frame : {7, 8, 9, 10}) { // more than the sink's buffers
            std::vector<uint8_t>* rows = sink.acquire();
            ASSERT_NE(rows, nullptr);
            readFrameRows(*rows, kWidth, kHeight);
            sink.submit(rows, frame);
        }
        std::string error;
        ASSERT_TRUE(sink.finish(error)) << error;
    }
    EXPECT_EQ(filesIn(dir.path()),
              (std::vector<std::string>{"frame_00007.png", "frame_00008.png", "frame_00009.png",
                                        "frame_00010.png"}));
    const RunResult probe = runProgram(
        {ffmpegPath(), "-hide_banner", "-i", dir.path() + "/frame_00010.png"}, dir.path());
    EXPECT_NE(probe.output.find("rgb24"), std::string::npos) << probe.output; // 8-bit RGB
    expectMarkedPicture(decodeFirstPicture(dir.path() + "/frame_00010.png", dir.path()), 0);
}

TEST_F(DemocapSinks, PngSaveFailureIsReported) {
    PngSink sink(dir.path() + "/missing/folder", kWidth, kHeight);
    std::vector<uint8_t>* rows = sink.acquire();
    ASSERT_NE(rows, nullptr);
    readFrameRows(*rows, kWidth, kHeight);
    sink.submit(rows, 1);
    std::string error;
    EXPECT_FALSE(sink.finish(error));
    EXPECT_NE(error.find("frame_00001.png"), std::string::npos) << error;
    EXPECT_EQ(sink.acquire(), nullptr); // no more pictures after a failure
}

TEST_F(DemocapSinks, VideoIsTheFrameAsSeenTopRowFirst) {
    Options o;
    o.width = kWidth;
    o.height = kHeight;
    o.frames = {0, 2};
    o.out = dir.path() + "/clip.mkv";
    VideoPipe pipe;
    std::string error;
    ASSERT_TRUE(pipe.start(ffmpegArguments(o, ""), error)) << error;
    std::vector<uint8_t> rows;
    readFrameRows(rows, kWidth, kHeight);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(pipe.write(rows.data(), rows.size(), error)) << error;
    }
    ASSERT_TRUE(pipe.finish(error)) << error;
    expectMarkedPicture(decodeFirstPicture(partialName(o.out), dir.path()), 40);
}

TEST(DemocapVideoPipe, PassesBytesAndReportsTheChildsEnd) {
    TempFolder dir;
    const std::string file = dir.path() + "/got.bin";
    VideoPipe cat;
    std::string error;
    ASSERT_TRUE(cat.start({"sh", "-c", "cat > '" + file + "'"}, error)) << error;
    const std::vector<uint8_t> bytes(300000, 7); // more than a pipe holds
    ASSERT_TRUE(cat.write(bytes.data(), bytes.size(), error)) << error;
    ASSERT_TRUE(cat.finish(error)) << error;
    std::ifstream in(file, std::ios::binary);
    EXPECT_EQ(std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}), bytes);

    VideoPipe failing;
    ASSERT_TRUE(failing.start({"sh", "-c", "exit 3"}, error)) << error;
    // Whether the write sees the closed pipe depends on timing; the end does not.
    failing.write(bytes.data(), bytes.size(), error);
    EXPECT_FALSE(failing.finish(error));
    EXPECT_NE(error.find("status 3"), std::string::npos) << error;

    VideoPipe missing;
    EXPECT_FALSE(missing.start({"democap-no-such-program"}, error));
    EXPECT_NE(error.find("democap-no-such-program"), std::string::npos) << error;
}

TEST(DemocapFolders, MadeWithParentsOrRefused) {
    TempFolder dir;
    std::string error;
    EXPECT_TRUE(makeFolders(dir.path() + "/a/b/c", error)) << error;
    EXPECT_TRUE(makeFolders(dir.path() + "/a/b/c", error)) << error; // already there
    std::ofstream(dir.path() + "/file") << "x";
    EXPECT_FALSE(makeFolders(dir.path() + "/file", error));
    EXPECT_NE(error.find("not a folder"), std::string::npos) << error;
    EXPECT_FALSE(makeFolders(dir.path() + "/file/sub", error));
}

} // namespace
