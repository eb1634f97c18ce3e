// The synthesized music: long enough, not clipped, a valid Ogg Vorbis file, and its hits
// where the pictures change.
#include "demo/assets/manifest.h"
#include "demo/timeline/timeline.h"
#include "tools/contentgen/music.h"

#include <gtest/gtest.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <numeric>
#include <set>

#include <unistd.h>

namespace fs = std::filesystem;
using namespace contentgen::music;

namespace {

class Music : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        track = new Track(synthesize());
        onset = onsetEnergy(track->samples);
    }
    static void TearDownTestSuite() {
        delete track;
        track = nullptr;
    }
    // Mean of the raw signal's energy per frame over [from, to).
    static double rms(int from, int to) {
        double e = 0;
        const auto& s = track->samples;
        for (std::size_t i = static_cast<std::size_t>(from) * samplesPerFrame;
             i < static_cast<std::size_t>(to) * samplesPerFrame; ++i) {
            e += static_cast<double>(s[i]) * s[i];
        }
        return std::sqrt(e / ((to - from) * samplesPerFrame));
    }
    static inline Track* track = nullptr;
    static inline std::vector<double> onset;
};

TEST_F(Music, LastsPastTheShowAndStaysBelowFullScale) {
    EXPECT_GE(track->samples.size(), static_cast<std::size_t>(148.04 * sampleRate));
    float peak = 0;
    for (float v : track->samples) {
        peak = std::max(peak, std::abs(v));
    }
    EXPECT_LT(peak, 0.95f);
    EXPECT_GT(peak, 0.5f);
}

TEST_F(Music, AccentsCoverEveryFlipFlashAndCue) {
    std::set<int> frames;
    for (const Accent& a : track->accents) {
        frames.insert(a.frame);
    }
    for (const int32_t* list : {flipTriggersA, flipTriggersB}) {
        for (const int32_t* f = list; *f != -1; ++f) {
            EXPECT_TRUE(frames.count(*f)) << "flip frame " << *f;
        }
    }
    for (int f = 3220; f <= 3940; f += 10) {
        EXPECT_TRUE(frames.count(f)) << "strobe flash " << f;
    }
    for (int f = 4810; f <= 5560; f += 10) {
        EXPECT_TRUE(frames.count(f)) << "grid flash " << f;
    }
    for (int f : {7192, 7211, 7229, 7245, 7263, 7277, 7292, 7301, 7311, 7323}) {
        EXPECT_TRUE(frames.count(f)) << "closing cue " << f;
    }
}

TEST_F(Music, EveryAccentStartsAHitOnItsFrame) {
    // High-band energy of the accent's frame and the next against the two frames before.
    for (const Accent& a : track->accents) {
        const auto f = static_cast<std::size_t>(a.frame);
        const double after = onset[f] + onset[f + 1];
        const double before = onset[f - 2] + onset[f - 1];
        EXPECT_GT(after, 2.0 * before) << "frame " << a.frame;
    }
    // And nothing as strong between the strobe's flashes.
    double on = 0, off = 0;
    for (int f = 3220; f < 3940; f += 10) {
        on += onset[static_cast<std::size_t>(f)];
        off += onset[static_cast<std::size_t>(f + 5)];
    }
    EXPECT_GT(on, 3.0 * off);
}

TEST_F(Music, BeatFallsEveryTwentyFramesInTheHall) {
    // The kick starts each beat: the frame on the beat carries more of the signal than the
    // frame before it, on every beat of the hall scene.
    for (int f = 620; f < 1680; f += framesPerBeat) {
        EXPECT_GT(rms(f, f + 1), 1.5 * rms(f - 1, f)) << "beat frame " << f;
    }
}

TEST_F(Music, ChangesAtTheSceneBoundariesAndRestsInTheGaps) {
    // Every change of scene, except the one stray black frame 6395, starts a part.
    const std::vector<int> starts = sectionStarts();
    const std::set<int> startSet(starts.begin(), starts.end());
    for (int32_t f = 1; f < 7402; ++f) {
        if (sceneAt(f) != sceneAt(f - 1) && f != 6395) {
            EXPECT_TRUE(startSet.count(f)) << "scene change at " << f;
        }
    }
    EXPECT_TRUE(startSet.count(0));
    EXPECT_TRUE(startSet.count(7402));
    // The black gaps are close to silence next to the scenes around them.
    EXPECT_LT(rms(3100, 3210), 0.25 * rms(3300, 3900));
    EXPECT_LT(rms(3960, 4000), 0.25 * rms(3300, 3900));
}

TEST(MusicFile, ShippedFileIsAnOggVorbisOfTheWholeShow) {
    const fs::path p = fs::path(VEMU_PACKAGE_DIR) / kMusicPath;
    OggVorbis_File vf;
    ASSERT_EQ(ov_fopen(p.c_str(), &vf), 0);
    const vorbis_info* vi = ov_info(&vf, -1);
    ASSERT_NE(vi, nullptr);
    EXPECT_EQ(vi->channels, 1);
    EXPECT_EQ(vi->rate, sampleRate);
    EXPECT_GE(ov_time_total(&vf, -1), 148.04);
    // Decode it all: every sample is there, none at full scale.
    char buf[8192];
    int section = 0;
    long total = 0, clipped = 0;
    for (;;) {
        const long n = ov_read(&vf, buf, sizeof buf, 0, 2, 1, &section);
        ASSERT_GE(n, 0);
        if (n == 0) {
            break;
        }
        for (long i = 0; i + 1 < n; i += 2) {
            const int v = static_cast<int16_t>(static_cast<unsigned char>(buf[i]) |
                                               (static_cast<unsigned char>(buf[i + 1]) << 8));
            clipped += v >= 32767 || v <= -32768;
        }
        total += n / 2;
    }
    EXPECT_EQ(total, static_cast<long>(lengthFrames) * samplesPerFrame);
    EXPECT_EQ(clipped, 0);
    ov_clear(&vf);
}

} // namespace
