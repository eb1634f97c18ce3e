// The show's music, synthesized: drums, bass, pads, arpeggio and lead in A minor at 150 beats
// per minute, with its accents placed on the frames where the pictures change.
#pragma once

#include <string>
#include <vector>

#include "demo/timeline/cues.h"

namespace contentgen::music {

inline constexpr int sampleRate = kMusicRate;
inline constexpr int samplesPerFrame = kSamplesPerFrame; // one show frame
inline constexpr int framesPerBeat = 20;                 // 150 beats per minute
inline constexpr int lengthFrames = 7500;                // 150 s: the last chord rings past the end

enum class AccentKind {
    Flip,  // a picture pair flips: snare and crash
    Flash, // a white flash frame: a sharp hit
    Cue,   // a closing picture changes: crash, snare and a chord stab
    Spin,  // the record's bursts in the opening: a tom
};

struct Accent {
    int frame;
    AccentKind kind;
};

// The frames the music marks, in rising order.
std::vector<Accent> accents();

// The scene boundaries, where the music changes its texture (first frame of each part).
std::vector<int> sectionStarts();

struct Track {
    std::vector<float> samples; // mono, sampleRate, peak below 1
    std::vector<Accent> accents;
};

// Synthesizes the whole track; the same samples on every run.
Track synthesize();

// Energy of the track's high band (first differences) per show frame: where hits start.
std::vector<double> onsetEnergy(const std::vector<float>& samples);

// Encodes mono samples as Ogg Vorbis with a fixed stream serial number. Returns an empty
// string or the reason for failure.
std::string encodeOggVorbis(const std::vector<float>& samples, int rate, const std::string& path);

} // namespace contentgen::music
