#include "demo/assets/manifest.h"
#include "demo/assets/startup.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "demo/runtime/sound.h"
#include "demo/timeline/demo_state.h"
#include "tests/demo/assets/asset_files.h"
#include "tests/support/gl_harness.h"

namespace fs = std::filesystem;

namespace {

// The file the show loads into slot, from its manifest; empty for the
// computed spot and the slot never loaded.
std::string fileOfSlot(int slot) {
    if (slot >= kFirstGreetingSlot && slot < kFirstGreetingSlot + kGreetingCount) {
        return greetingFile(slot - kFirstGreetingSlot + 1);
    }
    const char* file = manifestFile(slot);
    return file != nullptr ? file : "";
}

// A colour of its own for each slot, so a texture tells which file it came from.
Rgba slotColour(int slot) {
    return Rgba{static_cast<uint8_t>(20 + slot * 4), static_cast<uint8_t>(230 - slot * 4),
                static_cast<uint8_t>(slot % 2 == 0 ? 60 : 180), 255};
}

// "L<slot>" for a load, "S<percent>" for a frame. (Built by appending:
// GCC 12 warns falsely on "L" + std::to_string.)
std::string step(char kind, int value) {
    std::string text(1, kind);
    text += std::to_string(value);
    return text;
}

// The documented sequence of loads and frames.
std::vector<std::string> expectedSequence(bool withMusic) {
    std::vector<std::string> steps;
    auto load = [&](std::initializer_list<int> slots) {
        for (int slot : slots) {
            steps.push_back(step('L', slot));
        }
    };
    auto show = [&](int percent) { steps.push_back(step('S', percent)); };
    load({0}), show(3);
    load({1, 2}), show(6);
    load({3, 4}), show(9);
    load({5, 6}), show(12);
    load({7, 9}), show(15);
    load({10, 11}), show(18);
    load({12, 8}), show(21);
    load({13, 14}), show(24);
    load({15, 16}), show(27);
    load({17, 18}), show(30);
    load({19, 20}), show(33);
    load({21}), show(36);
    load({22}), show(38);
    load({23, 24}), show(41);
    load({25, 26}), show(44);
    load({27, 28}), show(47);
    load({29, 44}), show(50);
    load({45, 46}), show(53);
    load({47, 48}), show(56);
    show(59);
    load({30});
    for (int i = 1; i <= 12; ++i) {
        load({30 + i});
        show(59 + 3 * (i - 1));
    }
    show(98);
    if (withMusic) {
        show(100);
    }
    return steps;
}

// Screen geometry of the loading frame in a 640 x 480 window (45 degrees):
// at distance 1 one unit is 240 / tan(22.5 degrees) pixels.
const double kUnitPixels = 240.0 / std::tan(22.5 * 3.14159265358979 / 180.0);
const int kBarRow = static_cast<int>(240.0 - 0.305 * kUnitPixels); // middle of the bar
const int kBarLeft = static_cast<int>(320.0 - 0.2 * kUnitPixels);

bool isRed(const Rgb& c) {
    return c.r > 200 && c.g < 60 && c.b < 60;
}

struct Recorder {
    std::vector<std::string> steps;
    std::vector<std::pair<int, bool>> loads;
    std::vector<std::string> missing; // "path: why", as said
    int swaps = 0;
    int failStatus = -1;
    std::string failReason;
    std::vector<std::pair<int, int>> redRuns; // percent, red pixels on the bar row
    Rgb pictureCentre;                        // at the first frame
    Rgb pictureLow;                           // near the quad's lower edge, first frame
    Rgb barFrameTop;                          // on the frame's top line, first frame

    StartupHooks hooks(GlHarness& gl) {
        StartupHooks h;
        h.swapBuffers = [this, &gl] {
            ++swaps;
            gl.swap();
        };
        h.fail = [this](int status, const char* reason) {
            steps.push_back("fail");
            failStatus = status;
            failReason = reason;
        };
        h.pictureMissing = [this](const char* path, const char* why) {
            missing.push_back(std::string(path) + ": " + why);
        };
        h.textureLoaded = [this](int slot, bool made) {
            steps.push_back(step('L', slot));
            loads.emplace_back(slot, made);
        };
        h.frameDrawn = [this, &gl](float percent) {
            steps.push_back(step('S', static_cast<int>(percent)));
            int red = 0;
            for (int x = 0; x < gl.width(); ++x) {
                red += isRed(gl.pixel(x, kBarRow)) ? 1 : 0;
            }
            redRuns.emplace_back(static_cast<int>(percent), red);
            if (swaps == 0) {
                pictureCentre = gl.pixel(320, 300);
                pictureLow = gl.pixel(320, 110);
                barFrameTop = gl.pixel(kBarLeft + 100, kBarRow + 3);
            }
        };
        return h;
    }
};

// Every file of the manifest as a small picture of its slot's colour,
// optionally with the music.
void writeDataFolder(const fs::path& root, bool music, const char* skip = nullptr) {
    fs::create_directories(root / "data");
    for (int slot = 0; slot < kTextureSlots; ++slot) {
        const std::string name = fileOfSlot(slot);
        if (name.empty() || (skip != nullptr && name == skip)) {
            continue;
        }
        const std::string path = (root / name).string();
        const bool jpeg = name.find(".jp") != std::string::npos;
        PixelFn colour = [slot](int, int) { return slotColour(slot); };
        if (slot == 0) {
            // The loading picture: its top band is red, shown at the quad's
            // lower edge.
            colour = twoBands(16, Rgba{255, 0, 0, 255}, slotColour(0));
        }
        ASSERT_TRUE(writePicture(path, 16, 16, 24, jpeg ? SaveAs::Jpeg : SaveAs::Png, colour))
            << path;
    }
    if (music) {
        ASSERT_TRUE(writeOggTone((root / kMusicPath).string(), 3.0f));
    }
}

Rgba firstTexel(uint32_t name) {
    glBindTexture(GL_TEXTURE_2D, name);
    int w = 0, h = 0;
    const std::vector<Rgba> texels = readBoundTexture(&w, &h);
    return texels.empty() ? Rgba{} : texels[texels.size() - 1];
}

class Startup : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("SDL_AUDIODRIVER", "dummy", 0); // as ctest sets it
        ASSERT_TRUE(gl.ok());
    }
    void TearDown() override { FSOUND_Close(); }
    GlHarness gl;
    TempDir dir;
    std::unique_ptr<DemoState> state = std::make_unique<DemoState>();
    Recorder rec;
};

TEST_F(Startup, EmptyDataFolderDrawsEveryFrameThenFailsOnTheMusic) {
    fs::create_directories(dir.path() / "data");
    bool started = true;
    {
        WorkingDirectory cwd(dir.path());
        started = startDemo(*state, rec.hooks(gl));
    }
    EXPECT_FALSE(started);
    std::vector<std::string> want = expectedSequence(false);
    want.push_back("fail");
    EXPECT_EQ(rec.steps, want);
    EXPECT_EQ(rec.failStatus, 1);
    EXPECT_NE(rec.failReason.find(kMusicPath), std::string::npos) << rec.failReason;
    EXPECT_EQ(rec.failReason.find('\n'), std::string::npos);
    EXPECT_EQ(rec.swaps, 33); // 20 + 12 + the frame at 98

    for (int slot = 0; slot < kTextureSlots; ++slot) {
        if (slot == 22) {
            EXPECT_NE(state->textures[22], 0u) << "the spot needs no file";
        } else {
            EXPECT_EQ(state->textures[static_cast<size_t>(slot)], 0u) << slot;
        }
    }
    for (const auto& [slot, made] : rec.loads) {
        EXPECT_EQ(made, slot == 22) << slot;
    }
    // No loading picture: the quad is drawn untextured, white.
    EXPECT_TRUE(near(rec.pictureCentre, Rgb{255, 255, 255}));
    EXPECT_TRUE(near(rec.barFrameTop, Rgb{255, 255, 255}, 40)) << "the bar's frame";
}

TEST_F(Startup, FullDataFolderFillsTheTableInOrderAndStartsTheMusic) {
    writeDataFolder(dir.path(), true);
    bool started = false;
    {
        WorkingDirectory cwd(dir.path());
        started = startDemo(*state, rec.hooks(gl));
    }
    EXPECT_TRUE(started);
    EXPECT_EQ(rec.steps, expectedSequence(true));
    EXPECT_EQ(rec.failStatus, -1);
    EXPECT_EQ(rec.swaps, 34);
    EXPECT_TRUE(FSOUND_IsPlaying(0)) << "the music plays on the first free channel";

    // Each slot holds its own file's picture.
    for (int slot = 0; slot < kTextureSlots; ++slot) {
        const uint32_t name = state->textures[static_cast<size_t>(slot)];
        if (slot == 43) {
            EXPECT_EQ(name, 0u);
            continue;
        }
        ASSERT_NE(name, 0u) << slot;
        if (slot == 22) {
            continue;
        }
        const Rgba got = firstTexel(name);
        EXPECT_TRUE(nearColour(got, slotColour(slot), 10))
            << "slot " << slot << " holds " << describe(got);
    }
    // The loading picture's top band shows at the quad's lower edge.
    EXPECT_TRUE(near(rec.pictureLow, Rgb{255, 0, 0}, 12));
    const Rgba loadingColour = slotColour(0);
    EXPECT_TRUE(
        near(rec.pictureCentre, Rgb{loadingColour.r, loadingColour.g, loadingColour.b}, 12));

    // Bar lengths: 0.4 x percent / 100 units; 231.8 pixels at 100.
    ASSERT_FALSE(rec.redRuns.empty());
    EXPECT_EQ(rec.redRuns.front().first, 3);
    EXPECT_NEAR(rec.redRuns.front().second, 0.012 * kUnitPixels, 2.0);
    EXPECT_EQ(rec.redRuns.back().first, 100);
    EXPECT_NEAR(rec.redRuns.back().second, 0.4 * kUnitPixels, 2.0);
    for (const auto& [percent, red] : rec.redRuns) {
        EXPECT_NEAR(red, percent * 0.004 * kUnitPixels, 2.0) << percent;
    }

    // The state handed to the timeline.
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    GLint value = 0;
    glGetIntegerv(GL_DEPTH_FUNC, &value);
    EXPECT_EQ(value, GL_LEQUAL);
    glGetIntegerv(GL_SHADE_MODEL, &value);
    EXPECT_EQ(value, GL_SMOOTH);
    glGetIntegerv(GL_MATRIX_MODE, &value);
    EXPECT_EQ(value, GL_MODELVIEW);
    GLint polygonMode[2] = {0, 0};
    glGetIntegerv(GL_POLYGON_MODE, polygonMode);
    EXPECT_EQ(polygonMode[0], GL_FILL);
    EXPECT_EQ(polygonMode[1], GL_FILL);
    GLfloat colour[4], clear[4], modelview[16];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_FLOAT_EQ(colour[0], 1.0f);
    EXPECT_FLOAT_EQ(colour[1], 0.0f);
    EXPECT_FLOAT_EQ(colour[2], 0.0f);
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_FLOAT_EQ(clear[3], 0.5f);
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
    EXPECT_FLOAT_EQ(modelview[12], -0.2f);
    EXPECT_FLOAT_EQ(modelview[13], -0.3f);
    EXPECT_FLOAT_EQ(modelview[14], 0.0f);
    // Each frame clears after its swap: the back buffer is black again.
    EXPECT_TRUE(near(gl.pixel(320, 300), Rgb{0, 0, 0}));
}

TEST_F(Startup, MissingGreetingLeavesItsSlotEmptyAndTheBarStillSteps) {
    writeDataFolder(dir.path(), true, "data/greet07.png");
    {
        WorkingDirectory cwd(dir.path());
        EXPECT_TRUE(startDemo(*state, rec.hooks(gl)));
    }
    EXPECT_EQ(state->textures[37], 0u);
    EXPECT_EQ(rec.missing, std::vector<std::string>{"data/greet07.png: missing"})
        << "the show goes on, and says which picture it draws blank";
    EXPECT_NE(state->textures[36], 0u);
    EXPECT_NE(state->textures[38], 0u);
    EXPECT_EQ(rec.steps, expectedSequence(true));
    std::vector<int> percents;
    for (const auto& [percent, red] : rec.redRuns) {
        percents.push_back(percent);
    }
    // Greeting 7 is loaded between the frames at 74 and 77.
    const auto at74 = std::find(percents.begin(), percents.end(), 74);
    ASSERT_NE(at74, percents.end());
    ASSERT_NE(at74 + 1, percents.end());
    EXPECT_EQ(*(at74 + 1), 77);
}

// The real program from a package folder without data: every picture is
// named as drawn blank, then the music is missing, so it ends with status 1.
TEST(DemoProgram, WithoutDataEndsWithStatusOneNamingTheMusic) {
    TempDir dir;
    const std::string errors = dir.file("stderr.txt");
    const std::string command =
        "cd '" + dir.path().string() +
        "' && SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy timeout 60 '" + VEMU_DEMO_BINARY +
        "' 0 2> '" + errors + "' > /dev/null";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const std::vector<uint8_t> bytes = readBytes(errors);
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_NE(text.find(kMusicPath), std::string::npos) << text;
    ASSERT_FALSE(text.empty());
    // The pictures drawn blank named in one line, then the music's.
    EXPECT_EQ(text.rfind("demo: 47 pictures drawn blank: data/loading.jpeg (missing), ", 0), 0u)
        << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << text;
}

} // namespace
