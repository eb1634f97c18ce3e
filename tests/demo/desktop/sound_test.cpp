#include "demo/assets/manifest.h"
#include "demo/runtime/sound.h"

#include <SDL.h>
#include <SDL_mixer.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "tests/demo/assets/asset_files.h"

namespace {

class Sound : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        ASSERT_TRUE(FSOUND_Init(32000, 64, 0)) << FSOUND_LastError();
    }
    void TearDown() override { FSOUND_Close(); }
    TempDir dir;
};

// Waits (at most a few seconds) for the channel to fall silent.
bool stopsWithin(int channel, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (!FSOUND_IsPlaying(channel)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

TEST_F(Sound, DeviceOpensAt32000HzWith64Channels) {
    int rate = 0, channels = 0;
    Uint16 format = 0;
    ASSERT_NE(Mix_QuerySpec(&rate, &format, &channels), 0);
    EXPECT_EQ(rate, 32000);
    EXPECT_EQ(Mix_AllocateChannels(-1), 64);
    EXPECT_TRUE(FSOUND_Init(32000, 64, 0)) << "a second start finds it open";
}

TEST_F(Sound, FilesThatAreNotMusicFailCleanly) {
    ASSERT_TRUE(writeBytes(dir.file("empty.ogg"), {}));
    ASSERT_TRUE(writeBytes(dir.file("text.ogg"), {'n', 'o', 't', ' ', 'o', 'g', 'g', '\n'}));
    ASSERT_TRUE(writeBytes(dir.file("fake.ogg"), {'O', 'g', 'g', 'S', 0, 2, 0, 0, 0}));
    ASSERT_TRUE(writePicture(dir.file("picture.ogg"), 8, 8, 24, SaveAs::Png,
                             [](int, int) { return Rgba{}; }));
    for (const char* name : {"missing.ogg", "empty.ogg", "text.ogg", "fake.ogg", "picture.ogg"}) {
        EXPECT_EQ(FSOUND_Sample_Load(FSOUND_UNMANAGED, dir.file(name).c_str(), FSOUND_NORMAL, 0, 0),
                  nullptr)
            << name;
        EXPECT_STRNE(FSOUND_LastError(), "") << name;
    }
    EXPECT_EQ(FSOUND_PlaySound(FSOUND_FREE, nullptr), -1);
    EXPECT_FALSE(FSOUND_Sample_SetMode(nullptr, FSOUND_LOOP_OFF));
}

TEST_F(Sound, OggLoadsWholeAndPlaysOnceOnAFreeChannel) {
    ASSERT_TRUE(writeOggTone(dir.file("tone.ogg"), 0.25f));
    FSOUND_SAMPLE* sample =
        FSOUND_Sample_Load(FSOUND_UNMANAGED, dir.file("tone.ogg").c_str(), FSOUND_NORMAL, 0, 0);
    ASSERT_NE(sample, nullptr) << FSOUND_LastError();
    // Decoded whole at load: a quarter second at 32000 Hz.
    EXPECT_NEAR(static_cast<double>(FSOUND_Sample_GetLength(sample)), 8000.0, 400.0);
    ASSERT_TRUE(FSOUND_Sample_SetMode(sample, FSOUND_LOOP_OFF));
    const int channel = FSOUND_PlaySound(FSOUND_FREE, sample);
    ASSERT_GE(channel, 0);
    EXPECT_TRUE(FSOUND_IsPlaying(channel));
    // Its first samples go out with the next buffer, and a buffer is short
    // enough to keep the sound within a frame of a clock started then.
    ASSERT_TRUE(waitForSoundOut(2000));
    const SoundTiming timing = soundTiming();
    EXPECT_LE(timing.bufferSeconds, 0.020);
    EXPECT_GE(timing.firstMixed, timing.playCalled);
    EXPECT_LT(static_cast<double>(timing.firstMixed - timing.playCalled) /
                  static_cast<double>(SDL_GetPerformanceFrequency()),
              timing.bufferSeconds + 0.2)
        << "scheduling slack aside, within a buffer";
    // The dummy device consumes in real time; once through, then silence.
    EXPECT_TRUE(stopsWithin(channel, std::chrono::seconds(5)));
    FSOUND_Sample_Free(sample);
}

// A show started at a later frame moves its music there: the sound plays on
// from the position (so a second of it, moved to 0.9 s, ends within a few
// buffers) and is timed as a new sound.
TEST_F(Sound, AMovedSoundPlaysOnFromThereTimedAnew) {
    ASSERT_TRUE(writeOggTone(dir.file("second.ogg"), 1.0f));
    FSOUND_SAMPLE* sample =
        FSOUND_Sample_Load(FSOUND_UNMANAGED, dir.file("second.ogg").c_str(), FSOUND_NORMAL, 0, 0);
    ASSERT_NE(sample, nullptr) << FSOUND_LastError();
    EXPECT_FALSE(FSOUND_SetCurrentPosition(3, 0)) << "nothing plays there";
    const int channel = FSOUND_PlaySound(FSOUND_FREE, sample);
    ASSERT_GE(channel, 0);
    ASSERT_TRUE(waitForSoundOut(2000));
    ASSERT_EQ(FSOUND_GetOutputRate(), 32000);
    ASSERT_TRUE(FSOUND_SetCurrentPosition(channel, 32000 * 9 / 10));
    EXPECT_EQ(soundTiming().firstMixed, 0) << "timed anew";
    ASSERT_TRUE(waitForSoundOut(2000));
    EXPECT_TRUE(stopsWithin(channel, std::chrono::milliseconds(400)));
    // Moved again, though it ended: nothing plays to move.
    EXPECT_FALSE(FSOUND_SetCurrentPosition(channel, 0));
    FSOUND_Sample_Free(sample);
}

TEST_F(Sound, LoopingSampleKeepsPlayingAndWavTakesTheSameRoad) {
    ASSERT_TRUE(writeWavTone(dir.file("tone.wav"), 0.05f));
    FSOUND_SAMPLE* sample =
        FSOUND_Sample_Load(FSOUND_UNMANAGED, dir.file("tone.wav").c_str(), FSOUND_NORMAL, 0, 0);
    ASSERT_NE(sample, nullptr) << FSOUND_LastError();
    // 22050 Hz resampled to the device's 32000 Hz.
    EXPECT_NEAR(static_cast<double>(FSOUND_Sample_GetLength(sample)), 1600.0, 80.0);
    ASSERT_TRUE(FSOUND_Sample_SetMode(sample, FSOUND_LOOP_NORMAL));
    const int channel = FSOUND_PlaySound(FSOUND_FREE, sample);
    ASSERT_GE(channel, 0);
    EXPECT_FALSE(stopsWithin(channel, std::chrono::milliseconds(400)));
    // Played again on that busy channel: the new sound replaces the old and
    // its first buffer is still timed.
    ASSERT_EQ(FSOUND_PlaySound(channel, sample), channel);
    ASSERT_TRUE(waitForSoundOut(2000)) << "the timing of a sound on a busy channel was lost";
    EXPECT_GE(soundTiming().firstMixed, soundTiming().playCalled);
    FSOUND_Sample_Free(sample);
    EXPECT_FALSE(FSOUND_IsPlaying(channel)) << "freeing stops it";
}

TEST(SoundWithoutDevice, LoadBeforeInitFails) {
    FSOUND_Close();
    EXPECT_EQ(FSOUND_Sample_Load(FSOUND_UNMANAGED, kMusicPath, FSOUND_NORMAL, 0, 0), nullptr);
    EXPECT_FALSE(FSOUND_Init(0, 64, 0));
    EXPECT_FALSE(waitForSoundOut(50)) << "nothing plays: no wait for it";
}

} // namespace
