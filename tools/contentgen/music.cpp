#include "music.h"

#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <numbers>

#include "demo/timeline/cues.h"

namespace contentgen::music {

namespace {

constexpr double twoPi = 2.0 * std::numbers::pi;
constexpr double sr = sampleRate;
constexpr int stepFrames = framesPerBeat / 4; // a sixteenth note
constexpr int barFrames = framesPerBeat * 4;

// Scenes of the show, by first frame.
enum class Part {
    Intro,   // the spinning record
    Hall,    // hall portraits
    Card,    // the surprise card
    Shake,   // the shaken phone
    Rise,    // the rising phone picture
    Ties,    // ties, label, slide-in
    Gap,     // black screen
    Strobe,  // hard flashes
    Craft,   // the craft over light trails
    Grid,    // line grid credits
    Greet,   // greeting tiles
    Tower,   // quadric tower
    Closing, // closing pictures
    Outro,   // after the show: the last chord rings out
};

struct PartSpan {
    int start;
    Part part;
};
constexpr int32_t startOf(SceneId scene) {
    return scheduleRowOf(scene).first;
}
constexpr int32_t afterEndOf(SceneId scene) {
    return scheduleRowOf(scene).last + 1;
}
constexpr std::array<PartSpan, 15> parts = {{{startOf(SceneId::SpinningRecord), Part::Intro},
                                             {startOf(SceneId::HallPortraits), Part::Hall},
                                             {startOf(SceneId::SurpriseCard), Part::Card},
                                             {startOf(SceneId::PhoneShake), Part::Shake},
                                             {startOf(SceneId::PhoneRise), Part::Rise},
                                             {startOf(SceneId::Ties), Part::Ties},
                                             {afterEndOf(SceneId::Ties), Part::Gap},
                                             {startOf(SceneId::HardFlash), Part::Strobe},
                                             {afterEndOf(SceneId::HardFlash), Part::Gap},
                                             {startOf(SceneId::Craft), Part::Craft},
                                             {startOf(SceneId::GridCredits), Part::Grid},
                                             {startOf(SceneId::TileBurst), Part::Greet},
                                             {startOf(SceneId::QuadricTower), Part::Tower},
                                             {startOf(SceneId::ClosingPictures), Part::Closing},
                                             {kLastFrame, Part::Outro}}};

int partEnd(std::size_t i) {
    return i + 1 < parts.size() ? parts[i + 1].start : lengthFrames;
}

// Chords of A minor: root (MIDI) and whether the third is minor.
struct Chord {
    int root;
    bool minor;
};
constexpr Chord Am{57, true}, Dm{50, true}, Em{52, true}, F{53, false}, C{48, false}, G{55, false};
constexpr std::array<std::array<Chord, 4>, 4> progressions = {{
    {Am, F, C, G},
    {Am, Dm, G, C},
    {F, G, Am, Am},
    {Am, Em, F, G},
}};

double midiHz(double note) {
    return 440.0 * std::pow(2.0, (note - 69.0) / 12.0);
}

// Deterministic noise for the drums.
class Noise {
  public:
    explicit Noise(std::uint32_t seed) : state_(seed * 2654435761U + 1U) {}
    float next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return static_cast<float>(state_) / 2147483648.0f - 1.0f;
    }

  private:
    std::uint32_t state_;
};

// Band-limited step correction for the saw and pulse oscillators.
double polyBlep(double t, double dt) {
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1.0;
    }
    if (t > 1.0 - dt) {
        t = (t - 1.0) / dt;
        return t * t + t + t + 1.0;
    }
    return 0.0;
}

struct Saw {
    double phase = 0;
    double next(double hz) {
        const double dt = hz / sr;
        const double v = 2.0 * phase - 1.0 - polyBlep(phase, dt);
        phase += dt;
        if (phase >= 1.0) {
            phase -= 1.0;
        }
        return v;
    }
};

struct Pulse {
    double phase = 0;
    double next(double hz, double width) {
        const double dt = hz / sr;
        double v = phase < width ? 1.0 : -1.0;
        v += polyBlep(phase, dt);
        double shifted = phase + (1.0 - width);
        if (shifted >= 1.0) {
            shifted -= 1.0;
        }
        v -= polyBlep(shifted, dt);
        phase += dt;
        if (phase >= 1.0) {
            phase -= 1.0;
        }
        return v;
    }
};

struct OnePole {
    double z = 0;
    double lowpass(double x, double cutoffHz) {
        const double a = 1.0 - std::exp(-twoPi * std::min(cutoffHz, sr * 0.45) / sr);
        z += (x - z) * a;
        return z;
    }
};

class Mixer {
  public:
    explicit Mixer(std::size_t length) : dry(length, 0.0f), send(length, 0.0f) {}

    std::size_t size() const { return dry.size(); }
    void add(std::size_t i, double v, double sendAmount = 0.0) {
        if (i < dry.size()) {
            dry[i] += static_cast<float>(v);
            send[i] += static_cast<float>(v * sendAmount);
        }
    }

    std::vector<float> dry;
    std::vector<float> send; // into the echo
};

std::size_t frameSample(double frame) {
    return static_cast<std::size_t>(std::llround(frame * samplesPerFrame));
}

// ---- Drums -------------------------------------------------------------------------------

void kick(Mixer& m, double frame, double amp) {
    const std::size_t s0 = frameSample(frame);
    const int n = static_cast<int>(0.38 * sr);
    double phase = 0;
    Noise noise(static_cast<std::uint32_t>(s0));
    for (int i = 0; i < n; ++i) {
        const double t = i / sr;
        const double hz = 46.0 + 120.0 * std::exp(-t * 28.0);
        phase += hz / sr;
        double v = std::sin(twoPi * phase) * std::exp(-t * 7.5);
        v += noise.next() * 0.25 * std::exp(-t * 400.0);
        m.add(s0 + i, v * amp);
    }
}

void snare(Mixer& m, double frame, double amp, double bright = 1.0) {
    const std::size_t s0 = frameSample(frame);
    const int n = static_cast<int>(0.3 * sr);
    Noise noise(static_cast<std::uint32_t>(s0) ^ 0x5A5A);
    OnePole lp;
    for (int i = 0; i < n; ++i) {
        const double t = i / sr;
        const double tone = std::sin(twoPi * 185.0 * t) * std::exp(-t * 30.0) * 0.5;
        const double w = noise.next();
        const double hp = w - lp.lowpass(w, 1200.0);
        const double v = tone + hp * bright * std::exp(-t * 17.0);
        m.add(s0 + i, v * amp, 0.15);
    }
}

void clap(Mixer& m, double frame, double amp) {
    const std::size_t s0 = frameSample(frame);
    const int n = static_cast<int>(0.25 * sr);
    Noise noise(static_cast<std::uint32_t>(s0) ^ 0xC1A9);
    OnePole lp, lp2;
    for (int i = 0; i < n; ++i) {
        const double t = i / sr;
        double env = std::exp(-t * 16.0);
        for (double burst : {0.0, 0.011, 0.022}) {
            if (t >= burst && t < burst + 0.01) {
                env = std::max(env, std::exp(-(t - burst) * 180.0) * 1.2);
            }
        }
        const double w = noise.next();
        const double band = lp2.lowpass(w - lp.lowpass(w, 900.0), 4000.0);
        m.add(s0 + i, band * env * amp * 2.2, 0.2);
    }
}

void hat(Mixer& m, double frame, double amp, bool open) {
    const std::size_t s0 = frameSample(frame);
    const double decay = open ? 9.0 : 70.0;
    const int n = static_cast<int>((open ? 0.4 : 0.08) * sr);
    Noise noise(static_cast<std::uint32_t>(s0) ^ 0x4A7);
    OnePole lp;
    for (int i = 0; i < n; ++i) {
        const double t = i / sr;
        const double w = noise.next();
        const double hp = w - lp.lowpass(w, 7000.0);
        m.add(s0 + i, hp * std::exp(-t * decay) * amp, 0.05);
    }
}

void crash(Mixer& m, double frame, double amp) {
    const std::size_t s0 = frameSample(frame);
    const int n = static_cast<int>(1.6 * sr);
    Noise noise(static_cast<std::uint32_t>(s0) ^ 0xC4A5);
    OnePole lp;
    constexpr std::array<double, 6> partials = {1.0, 1.47, 1.83, 2.31, 2.77, 3.19};
    for (int i = 0; i < n; ++i) {
        const double t = i / sr;
        const double w = noise.next();
        double v = (w - lp.lowpass(w, 4500.0)) * 0.8;
        for (double p : partials) {
            v += (std::sin(twoPi * 520.0 * p * t) > 0 ? 0.06 : -0.06);
        }
        m.add(s0 + i, v * std::exp(-t * 2.6) * amp, 0.25);
    }
}

// A short, sharp hit for the flash frames.
void zap(Mixer& m, double frame, double amp) {
    const std::size_t s0 = frameSample(frame);
    const int n = static_cast<int>(0.12 * sr);
    Noise noise(static_cast<std::uint32_t>(s0) ^ 0x2A9);
    OnePole lp;
    double phase = 0;
    for (int i = 0; i < n; ++i) {
        const double t = i / sr;
        phase += (180.0 + 2400.0 * std::exp(-t * 45.0)) / sr;
        const double w = noise.next();
        const double hp = w - lp.lowpass(w, 3000.0);
        const double v = (std::sin(twoPi * phase) * 0.6 + hp) * std::exp(-t * 38.0);
        m.add(s0 + i, v * amp, 0.1);
    }
}

// Metallic clank for the grid's flashes.
void clank(Mixer& m, double frame, double amp) {
    const std::size_t s0 = frameSample(frame);
    const int n = static_cast<int>(0.15 * sr);
    Noise noise(static_cast<std::uint32_t>(s0) ^ 0x77);
    OnePole lp;
    for (int i = 0; i < n; ++i) {
        const double t = i / sr;
        double v = 0;
        for (double hz : {810.0, 1270.0, 1930.0, 2650.0}) {
            v += std::sin(twoPi * hz * t) * 0.25;
        }
        const double w = noise.next();
        v += (w - lp.lowpass(w, 5000.0)) * 0.8;
        m.add(s0 + i, v * std::exp(-t * 30.0) * amp, 0.3);
    }
}

void tom(Mixer& m, double frame, double amp, double hz) {
    const std::size_t s0 = frameSample(frame);
    const int n = static_cast<int>(0.3 * sr);
    Noise noise(static_cast<std::uint32_t>(s0) ^ 0x707);
    OnePole lp;
    double phase = 0;
    for (int i = 0; i < n; ++i) {
        const double t = i / sr;
        phase += hz * (1.0 + 0.6 * std::exp(-t * 20.0)) / sr;
        const double w = noise.next();
        const double v = std::sin(twoPi * phase) * std::exp(-t * 11.0) +
                         (w - lp.lowpass(w, 2500.0)) * 0.7 * std::exp(-t * 40.0);
        m.add(s0 + i, v * amp, 0.2);
    }
}

// Rising noise sweep into a new part.
void riser(Mixer& m, double fromFrame, double toFrame, double amp) {
    const std::size_t s0 = frameSample(fromFrame), s1 = frameSample(toFrame);
    Noise noise(static_cast<std::uint32_t>(s0) ^ 0x515);
    OnePole lp, hp;
    for (std::size_t i = s0; i < s1; ++i) {
        const double k = static_cast<double>(i - s0) / static_cast<double>(s1 - s0);
        const double w = noise.next();
        const double band = lp.lowpass(w, 300.0 + 6000.0 * k * k);
        const double v = band - hp.lowpass(band, 200.0 + 2000.0 * k);
        m.add(i, v * amp * k * k, 0.3);
    }
}

// ---- Tones -------------------------------------------------------------------------------

void bassNote(Mixer& m, double frame, double lengthFrames, double note, double amp, double cutoff) {
    const std::size_t s0 = frameSample(frame);
    const int n = static_cast<int>(lengthFrames * samplesPerFrame);
    const int release = static_cast<int>(0.02 * sr);
    Saw a, b;
    OnePole f1, f2;
    const double hz = midiHz(note);
    for (int i = 0; i < n + release; ++i) {
        const double t = i / sr;
        const double env =
            std::min(1.0, t / 0.004) * (i < n ? 1.0 : 1.0 - (i - n) / double(release));
        const double cut = cutoff * (0.5 + 1.5 * std::exp(-t * 14.0));
        const double raw = a.next(hz) * 0.6 + b.next(hz * 1.004) * 0.4;
        const double v = f2.lowpass(f1.lowpass(raw, cut), cut * 1.5);
        m.add(s0 + i, v * env * amp);
    }
}

void padChord(Mixer& m, double frame, double lengthFrames, const Chord& chord, double amp,
              double cutoff) {
    const std::size_t s0 = frameSample(frame);
    const int n = static_cast<int>(lengthFrames * samplesPerFrame);
    const int release = static_cast<int>(0.35 * sr);
    const std::array<int, 4> notes = {chord.root, chord.root + (chord.minor ? 3 : 4),
                                      chord.root + 7, chord.root + 12};
    std::vector<double> voice(static_cast<std::size_t>(n + release), 0.0);
    for (std::size_t k = 0; k < notes.size(); ++k) {
        std::array<Saw, 3> osc;
        for (std::size_t j = 0; j < osc.size(); ++j) {
            osc[j].phase = 0.23 * static_cast<double>(j + k);
        }
        const double hz = midiHz(notes[k]);
        OnePole f;
        for (std::size_t i = 0; i < voice.size(); ++i) {
            const double raw = osc[0].next(hz * 0.996) + osc[1].next(hz) + osc[2].next(hz * 1.005);
            voice[i] += f.lowpass(raw, cutoff) * 0.12;
        }
    }
    for (std::size_t i = 0; i < voice.size(); ++i) {
        const double t = static_cast<double>(i) / sr;
        const int ii = static_cast<int>(i);
        const double env = std::min(1.0, t / 0.18) *
                           (ii < n ? 1.0 : std::max(0.0, 1.0 - (ii - n) / double(release)));
        // A slow swell in the middle of each chord keeps the pad breathing.
        const double breathe = 0.85 + 0.15 * std::sin(twoPi * t / 3.2);
        m.add(s0 + i, voice[i] * env * breathe * amp, 0.35);
    }
}

void pluck(Mixer& m, double frame, double note, double amp, double width = 0.3) {
    const std::size_t s0 = frameSample(frame);
    const int n = static_cast<int>(0.3 * sr);
    Pulse p;
    OnePole f;
    const double hz = midiHz(note);
    for (int i = 0; i < n; ++i) {
        const double t = i / sr;
        const double env = std::min(1.0, t / 0.002) * std::exp(-t * 13.0);
        const double v = f.lowpass(p.next(hz, width), 900.0 + 5000.0 * std::exp(-t * 25.0));
        m.add(s0 + i, v * env * amp, 0.45);
    }
}

void leadNote(Mixer& m, double frame, double lengthFrames, double note, double amp) {
    const std::size_t s0 = frameSample(frame);
    const int n = static_cast<int>(lengthFrames * samplesPerFrame);
    const int release = static_cast<int>(0.08 * sr);
    Saw s;
    Pulse q;
    OnePole f;
    const double hz = midiHz(note);
    for (int i = 0; i < n + release; ++i) {
        const double t = i / sr;
        const double vib = 1.0 + 0.004 * std::sin(twoPi * 5.5 * t) * std::min(1.0, t / 0.3);
        const double env = std::min(1.0, t / 0.012) * (0.75 + 0.25 * std::exp(-t * 6.0)) *
                           (i < n ? 1.0 : 1.0 - (i - n) / double(release));
        const double raw = s.next(hz * vib) * 0.6 + q.next(hz * vib * 0.5, 0.5) * 0.4;
        m.add(s0 + i, f.lowpass(raw, 2600.0) * env * amp, 0.4);
    }
}

// ---- Arrangement -------------------------------------------------------------------------

// Melodies in eighths over four bars: a MIDI note, 0 to hold the previous one, -1 for rest.
constexpr std::array<int, 32> melodyA = {76, 0, 74, 72, 74, 0, -1, 69, 72, 0, 69, 67, 69, 0, 0, -1,
                                         67, 0, 69, 72, 74, 0, 72, 0,  71, 0, 67, 0,  69, 0, 0, -1};
constexpr std::array<int, 32> melodyB = {69, 72, 77, 0,  76, 74, 72, 0,  71, 0,  67,
                                         0,  74, 0,  0,  -1, 72, 76, 81, 0,  79, 0,
                                         76, 0,  77, 76, 74, 72, 76, 0,  0,  -1};

struct Groove {
    bool kick = false;     // four on the floor
    bool halfKick = false; // kick on beats 1 and 3
    bool backbeat = false; // clap on 2 and 4
    int hats = 0;          // 0 none, 1 eighths, 2 sixteenths, 3 open off-beats and sixteenths
    int bass = 0;          // 0 none, 1 eighths, 2 off-beat octaves, 3 driving sixteenths
    double bassCut = 600;
    bool pad = false;
    double padCut = 1800;
    double padLevel = 0.5;
    int arp = 0;  // 0 none, 1 rising sixteenths, 2 up and down eighths, 3 scattered sixteenths
    int lead = 0; // 0 none, 1 melody A, 2 melody B
    int progression = 0;
};

Chord chordAt(int frame, int progression) {
    const int bar = frame / barFrames;
    return progressions[static_cast<std::size_t>(progression)][static_cast<std::size_t>(bar % 4)];
}

// Whether an accent falls within the next few frames after `frame`: the groove's own claps
// and hats give way there, so that the accent lands on a quiet moment and stands out.
bool accentSoon(int frame) {
    static const std::vector<bool> soon = [] {
        std::vector<bool> v(lengthFrames + 1, false);
        for (const Accent& a : accents()) {
            for (int f = std::max(0, a.frame - 3); f < a.frame; ++f) {
                v[static_cast<std::size_t>(f)] = true;
            }
        }
        return v;
    }();
    return frame >= 0 && frame < lengthFrames && soon[static_cast<std::size_t>(frame)];
}

// Plays one groove over the sixteenth steps that start inside [from, to).
void playGroove(Mixer& m, const Groove& g, int from, int to) {
    const int firstStep = (from + stepFrames - 1) / stepFrames;
    for (int step = firstStep; step * stepFrames < to; ++step) {
        const int f = step * stepFrames;
        const int inBar = step % 16;
        const Chord chord = chordAt(f, g.progression);
        const bool beat = inBar % 4 == 0;
        if ((g.kick && beat) || (g.halfKick && (inBar == 0 || inBar == 8))) {
            kick(m, f, 0.9);
        }
        const bool yield = accentSoon(f);
        if (g.backbeat && (inBar == 4 || inBar == 12) && !yield) {
            clap(m, f, 0.45);
        }
        switch (yield ? 0 : g.hats) {
        case 1:
            if (inBar % 2 == 0) {
                hat(m, f, beat ? 0.08 : 0.14, false);
            }
            break;
        case 2:
            hat(m, f, inBar % 2 == 0 ? 0.13 : 0.07, false);
            break;
        case 3:
            if (inBar % 4 == 2) {
                hat(m, f, 0.12, true);
            } else {
                hat(m, f, 0.06, false);
            }
            break;
        default:
            break;
        }
        const double root = chord.root - 24 + (chord.root > 54 ? -12 : 0);
        switch (g.bass) {
        case 1:
            if (inBar % 2 == 0) {
                bassNote(m, f, stepFrames * 1.8, root, 0.55, g.bassCut);
            }
            break;
        case 2:
            if (inBar % 4 == 2) {
                bassNote(m, f, stepFrames * 1.7, root + 12, 0.5, g.bassCut);
            } else if (inBar % 4 == 0 && inBar % 8 == 0) {
                bassNote(m, f, stepFrames * 1.5, root, 0.45, g.bassCut);
            }
            break;
        case 3:
            bassNote(m, f, stepFrames * 0.85, root + ((inBar % 8 == 6) ? 12 : 0), 0.42, g.bassCut);
            break;
        default:
            break;
        }
        if (g.pad && inBar == 0) {
            padChord(m, f, std::min(barFrames, to - f), chord, g.padLevel, g.padCut);
        }
        const std::array<int, 4> tones = {chord.root + 12, chord.root + 12 + (chord.minor ? 3 : 4),
                                          chord.root + 19, chord.root + 24};
        switch (g.arp) {
        case 1:
            pluck(m, f, tones[static_cast<std::size_t>(inBar % 4)], 0.16);
            break;
        case 2:
            if (inBar % 2 == 0) {
                constexpr std::array<int, 8> order = {0, 1, 2, 3, 2, 1, 0, 2};
                pluck(m, f, tones[static_cast<std::size_t>(order[(inBar / 2) % 8])], 0.18, 0.5);
            }
            break;
        case 3: {
            const auto pick = static_cast<std::size_t>((step * 7 + step / 3) % 4);
            if (step % 3 != 2) {
                pluck(m, f, tones[pick] + 12, 0.12, 0.2);
            }
            break;
        }
        default:
            break;
        }
        if (g.lead != 0 && inBar % 2 == 0) {
            const auto& mel = g.lead == 1 ? melodyA : melodyB;
            const int idx = ((step / 2) % 32);
            const int note = mel[static_cast<std::size_t>(idx)];
            if (note > 0) {
                int hold = 1;
                while (idx + hold < 32 && mel[static_cast<std::size_t>(idx + hold)] == 0) {
                    ++hold;
                }
                const double len = std::min<double>(hold * 2 * stepFrames - 1, to - f);
                leadNote(m, f, len, note, 0.2);
            }
        }
    }
}

// Pad alone, the arpeggio from the second bar, drums once the record settles.
void playIntro(Mixer& m, int from, int to) {
    Groove g;
    g.pad = true, g.padCut = 1200, g.padLevel = 0.55;
    playGroove(m, g, from, to);
    Groove arp;
    arp.arp = 2;
    playGroove(m, arp, 160, 440);
    arp.arp = 1;
    playGroove(m, arp, 440, to);
    Groove drums;
    drums.kick = true, drums.hats = 1, drums.bass = 1, drums.bassCut = 350;
    playGroove(m, drums, 240, to - 44);
    // The sideways shake of the record: a snare roll.
    for (int f = 180; f < 203; f += 3) {
        snare(m, f, 0.15 + 0.02 * (f - 180) / 3.0);
    }
    for (int f = to - 44; f < to; f += stepFrames) {
        snare(m, f, 0.2 + 0.3 * (f - (to - 44)) / 44.0);
    }
    riser(m, 441, to, 0.35);
}

void playTies(Mixer& m, int from, int to) {
    Groove g;
    g.kick = true, g.backbeat = true, g.hats = 2, g.bass = 3, g.bassCut = 900;
    g.pad = true, g.padLevel = 0.3, g.progression = 1;
    playGroove(m, g, from, 2400);
    // The blinking label gets a melody.
    g.lead = 1, g.progression = 0;
    playGroove(m, g, 2400, 2850);
    g.lead = 0, g.arp = 2, g.hats = 3;
    playGroove(m, g, 2850, to);
    riser(m, 2900, to, 0.25);
}

void playCraft(Mixer& m, int from, int to) {
    Groove g;
    g.halfKick = true, g.pad = true, g.padLevel = 0.4, g.padCut = 1100, g.arp = 3;
    g.progression = 2, g.bass = 1, g.bassCut = 400;
    playGroove(m, g, from, 4400);
    g.halfKick = false, g.kick = true, g.hats = 1, g.backbeat = true;
    playGroove(m, g, 4400, to);
    // The craft's jumps every tenth frame: soft blips.
    for (int f = ((from + 9) / 10) * 10; f < to; f += 10) {
        tom(m, f, 0.08, 420);
    }
}

void playTower(Mixer& m, int from, int to) {
    Groove g;
    g.kick = true, g.backbeat = true, g.hats = 2, g.bass = 3, g.bassCut = 1000;
    g.pad = true, g.padLevel = 0.4, g.padCut = 2400, g.arp = 1, g.lead = 1;
    playGroove(m, g, from, to);
    for (int f = ((from + barFrames * 4 - 1) / (barFrames * 4)) * barFrames * 4; f < to;
         f += barFrames * 4) {
        crash(m, f, 0.25);
    }
}

void playPart(Mixer& m, Part part, int from, int to) {
    Groove g;
    switch (part) {
    case Part::Intro:
        playIntro(m, from, to);
        break;
    case Part::Hall:
        g.kick = true, g.backbeat = true, g.hats = 3, g.bass = 2, g.bassCut = 700;
        g.pad = true, g.padLevel = 0.4, g.padCut = 1500;
        g.arp = 1;
        playGroove(m, g, from, 1150);
        g.arp = 3, g.hats = 2, g.bass = 1;
        playGroove(m, g, 1150, to);
        break;
    case Part::Card:
        // The surprise: the drums stop, one chord rings.
        padChord(m, from, to - from + 10, Chord{57, false}, 0.7, 3000);
        tom(m, from, 0.5, 110);
        break;
    case Part::Shake:
        for (int f = from; f < to; f += 2) {
            snare(m, f, 0.08 + 0.12 * (f - from) / double(to - from), 0.8);
        }
        for (int f = from; f < to; f += stepFrames) {
            bassNote(m, f, stepFrames * 0.7, 33, 0.5, 500);
        }
        break;
    case Part::Rise:
        g.halfKick = true, g.hats = 1, g.pad = true, g.padLevel = 0.45, g.padCut = 900;
        g.arp = 1, g.progression = 1;
        playGroove(m, g, from, to);
        riser(m, from + 60, to, 0.4);
        break;
    case Part::Ties:
        playTies(m, from, to);
        break;
    case Part::Gap:
        // Black screen: a low drone that fades, nearly silence.
        padChord(m, from, (to - from) * 0.6, Chord{45, true}, 0.18, 400);
        break;
    case Part::Strobe:
        g.kick = true, g.hats = 2, g.bass = 3, g.bassCut = 1400, g.progression = 3;
        playGroove(m, g, from, to);
        break;
    case Part::Craft:
        playCraft(m, from, to);
        break;
    case Part::Grid:
        g.kick = true, g.backbeat = true, g.hats = 1, g.bass = 2, g.bassCut = 900;
        playGroove(m, g, from, to);
        break;
    case Part::Greet:
        g.kick = true, g.hats = 3, g.bass = 1, g.bassCut = 600, g.pad = true, g.padLevel = 0.3;
        g.arp = 2, g.lead = 2, g.progression = 2;
        playGroove(m, g, from, to);
        break;
    case Part::Tower:
        playTower(m, from, to);
        break;
    case Part::Closing:
        g.kick = true, g.hats = 1, g.pad = true, g.padLevel = 0.35, g.bass = 1;
        playGroove(m, g, from, to);
        break;
    case Part::Outro:
        padChord(m, from, (to - from) * 0.5, Am, 0.7, 2000);
        bassNote(m, from, (to - from) * 0.5, 33, 0.5, 400);
        kick(m, from, 0.9);
        crash(m, from, 0.4);
        break;
    }
}

// The hits on the frames where the pictures change.
void playAccents(Mixer& m) {
    for (const Accent& a : accents()) {
        switch (a.kind) {
        case AccentKind::Flip:
            snare(m, a.frame, 0.55);
            crash(m, a.frame, 0.2);
            break;
        case AccentKind::Flash:
            if (a.frame < startOf(SceneId::GridCredits)) {
                zap(m, a.frame, 0.4);
            } else {
                clank(m, a.frame, 0.35);
            }
            break;
        case AccentKind::Cue:
            snare(m, a.frame, 0.5);
            crash(m, a.frame, 0.3);
            padChord(m, a.frame, 8, chordAt(a.frame, 0), 0.5, 3500);
            break;
        case AccentKind::Spin:
            tom(m, a.frame, 0.5, 160 + 12.0 * (a.frame - kRecordBursts[0].first) / 10.0);
            break;
        }
    }
}

void arrange(Mixer& m) {
    for (std::size_t i = 0; i < parts.size(); ++i) {
        playPart(m, parts[i].part, parts[i].start, partEnd(i));
    }
    playAccents(m);
}

// A dotted-eighth echo with a darkening feedback, mixed under the dry signal.
void addEcho(Mixer& m) {
    const std::size_t delay = static_cast<std::size_t>(framesPerBeat * 3 / 4) * samplesPerFrame;
    std::vector<float> tail(m.size(), 0.0f);
    OnePole tone;
    for (std::size_t i = delay; i < m.size(); ++i) {
        const double back = m.send[i - delay] + tail[i - delay] * 0.38;
        tail[i] = static_cast<float>(tone.lowpass(back, 3000.0));
    }
    for (std::size_t i = 0; i < m.size(); ++i) {
        m.dry[i] += tail[i] * 0.45f;
    }
}

} // namespace

std::vector<Accent> accents() {
    std::vector<Accent> list;
    for (const FrameSpan& burst : kRecordBursts) {
        list.push_back({burst.first, AccentKind::Spin});
    }
    for (const int32_t* triggers : {flipTriggersA, flipTriggersB}) {
        for (const int32_t* f = triggers; *f != -1; ++f) {
            list.push_back({*f, AccentKind::Flip});
        }
    }
    // The white frames of the hard flash and the grid credits; in the
    // closing scene the cues carry the accents.
    for (SceneId scene : {SceneId::HardFlash, SceneId::GridCredits}) {
        for (int32_t f = startOf(scene); f < afterEndOf(scene); ++f) {
            if (isFlashFrame(f)) {
                list.push_back({f, AccentKind::Flash});
            }
        }
    }
    for (const ClosingCue* cue = kClosingCues; cue->frame != -1; ++cue) {
        list.push_back({cue->frame, AccentKind::Cue});
    }
    return list;
}

std::vector<int> sectionStarts() {
    std::vector<int> starts;
    for (const auto& p : parts) {
        starts.push_back(p.start);
    }
    return starts;
}

Track synthesize() {
    Mixer m(static_cast<std::size_t>(lengthFrames) * samplesPerFrame);
    arrange(m);
    addEcho(m);
    // A gentle fade over the last half second.
    const std::size_t fade = static_cast<std::size_t>(0.5 * sr);
    for (std::size_t i = 0; i < fade; ++i) {
        m.dry[m.size() - 1 - i] *= static_cast<float>(i) / static_cast<float>(fade);
    }
    // Level to full scale, then round the loudest peaks off softly (a gentle saturation, not
    // a clip) so the body of the mix sits louder, and end at -2 dBFS, which leaves
    // room for the encoder's overshoot.
    float peak = 0.0f;
    for (float v : m.dry) {
        peak = std::max(peak, std::abs(v));
    }
    constexpr double drive = 1.8;
    const double norm = peak > 0 ? drive / peak : 1.0;
    const double out = 0.8 / std::tanh(drive);
    for (float& v : m.dry) {
        v = static_cast<float>(std::tanh(v * norm) * out);
    }
    return {std::move(m.dry), accents()};
}

std::vector<double> onsetEnergy(const std::vector<float>& samples) {
    std::vector<double> energy(samples.size() / samplesPerFrame, 0.0);
    for (std::size_t f = 0; f < energy.size(); ++f) {
        double e = 0;
        for (std::size_t i = f * samplesPerFrame; i < (f + 1) * samplesPerFrame; ++i) {
            const double d = i > 0 ? samples[i] - samples[i - 1] : samples[i];
            e += d * d;
        }
        energy[f] = e;
    }
    return energy;
}

std::string encodeOggVorbis(const std::vector<float>& samples, int rate, const std::string& path) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(std::fopen(path.c_str(), "wb"),
                                                        std::fclose);
    if (!out) {
        return "cannot write " + path;
    }
    vorbis_info vi;
    vorbis_info_init(&vi);
    if (vorbis_encode_init_vbr(&vi, 1, rate, 0.4f) != 0) {
        vorbis_info_clear(&vi);
        return "the Vorbis encoder refused mono at " + std::to_string(rate) + " Hz";
    }
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    vorbis_comment_add_tag(&vc, "TITLE", "velda");
    vorbis_comment_add_tag(&vc, "ARTIST", "vemu contentgen");
    vorbis_dsp_state vd;
    vorbis_block vb;
    vorbis_analysis_init(&vd, &vi);
    vorbis_block_init(&vd, &vb);
    ogg_stream_state os;
    // A fixed serial number keeps the file the same on every run.
    ogg_stream_init(&os, 0x56454D55);

    bool ok = true;
    auto writePage = [&](const ogg_page& og) {
        ok = ok && std::fwrite(og.header, 1, static_cast<std::size_t>(og.header_len), out.get()) ==
                       static_cast<std::size_t>(og.header_len);
        ok = ok && std::fwrite(og.body, 1, static_cast<std::size_t>(og.body_len), out.get()) ==
                       static_cast<std::size_t>(og.body_len);
    };
    ogg_packet header, headerComment, headerCode;
    vorbis_analysis_headerout(&vd, &vc, &header, &headerComment, &headerCode);
    ogg_stream_packetin(&os, &header);
    ogg_stream_packetin(&os, &headerComment);
    ogg_stream_packetin(&os, &headerCode);
    ogg_page og;
    while (ogg_stream_flush(&os, &og) != 0) {
        writePage(og);
    }

    constexpr std::size_t chunk = 4096;
    std::size_t pos = 0;
    bool eos = false;
    while (!eos) {
        const std::size_t n = std::min(chunk, samples.size() - pos);
        if (n == 0) {
            vorbis_analysis_wrote(&vd, 0);
        } else {
            float** buffer = vorbis_analysis_buffer(&vd, static_cast<int>(n));
            std::copy(samples.begin() + static_cast<std::ptrdiff_t>(pos),
                      samples.begin() + static_cast<std::ptrdiff_t>(pos + n), buffer[0]);
            vorbis_analysis_wrote(&vd, static_cast<int>(n));
            pos += n;
        }
        while (vorbis_analysis_blockout(&vd, &vb) == 1) {
            vorbis_analysis(&vb, nullptr);
            vorbis_bitrate_addblock(&vb);
            ogg_packet op;
            while (vorbis_bitrate_flushpacket(&vd, &op) != 0) {
                ogg_stream_packetin(&os, &op);
                while (!eos && ogg_stream_pageout(&os, &og) != 0) {
                    writePage(og);
                    eos = ogg_page_eos(&og) != 0;
                }
            }
        }
        if (n == 0) {
            // The last packets are out; a stream without an end page would be an encoder fault.
            eos = true;
        }
    }
    while (ogg_stream_flush(&os, &og) != 0) {
        writePage(og);
    }
    ogg_stream_clear(&os);
    vorbis_block_clear(&vb);
    vorbis_dsp_clear(&vd);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    if (!ok || std::fflush(out.get()) != 0) {
        return "cannot write " + path;
    }
    return {};
}

} // namespace contentgen::music
