// The show's sound library in the browser: the FSOUND calls the start-up
// makes, over Web Audio. The music is decoded whole with stb_vorbis when it
// loads, as the desktop's is; playing it schedules it on the audio clock a
// little ahead, and that clock is the show's frame clock (webSoundClockMs),
// so picture and sound cannot drift apart. Where the audio context does not
// run (no output device, a browser's autoplay rules, a device that hangs),
// the show plays on without sound, on the performance clock, and says so.
#include "demo/runtime/sound.h"
#include "web/browser/web_sound.h"

#include <emscripten.h>

#include <cstdlib>
#include <string>
#include <vector>

#define STB_VORBIS_NO_PUSHDATA_API
#include <stb_vorbis.h>

struct FSOUND_SAMPLE {
    int id = 0; // the AudioBuffer's index on the JS side
    unsigned frames = 0;
    bool loop = false;
};

namespace {

std::string lastError;
// The page holds the music back until the show's clock starts (see
// webSoundHoldPlay in web_sound.h).
bool holdPlay = false;
FSOUND_SAMPLE* held = nullptr;
bool decodeInParts = false;
FSOUND_SAMPLE* playing = nullptr; // the last sample started, for a seek or a resume

// clang-format off
EM_JS(int, webAudioOpen, (int rate), {
    // The page opens the context at the start button's click, the gesture
    // browsers ask for before sound; this is for any other road.
    if (!Module.vemuAudio) {
        const Context = window.AudioContext || window.webkitAudioContext;
        if (!Context) {
            return 0;
        }
        try {
            Module.vemuAudio = { context: new Context({ sampleRate: rate }), buffers: [], source: null, startAt: 0, offset: 0 };
        } catch (e) {
            Module.vemuAudio = { context: new Context(), buffers: [], source: null, startAt: 0, offset: 0 };
        }
    }
    return 1;
});

EM_JS(int, webAudioBuffer, (const short* samples, int frames, int channels, int rate), {
    const audio = Module.vemuAudio;
    const buffer = audio.context.createBuffer(channels, frames, rate);
    for (let c = 0; c < channels; ++c) {
        const out = buffer.getChannelData(c);
        for (let i = 0; i < frames; ++i) {
            out[i] = HEAP16[(samples >> 1) + i * channels + c] / 32768;
        }
    }
    audio.buffers.push(buffer);
    return audio.buffers.length - 1;
});

// Starts the buffer 50 ms ahead on the audio clock, from offset seconds into
// it, so the sample at the offset is exactly where the frame clock reads it.
// A watchdog then keeps an eye on that clock: one that stands still (a
// context that never started, a sound device or server that hung) would
// stand the show still with it. After a second of that the show plays on,
// without its sound, on the performance clock, and the music comes back in
// step once the audio clock runs again.
EM_JS(void, webAudioPlay, (int id, int loop, double offset), {
    const audio = Module.vemuAudio;
    const context = audio.context;
    const start = (from) => {
        if (audio.source) {
            audio.source.onended = null;
            audio.source.stop();
        }
        const source = context.createBufferSource();
        source.buffer = audio.buffers[id];
        source.loop = loop != 0;
        source.connect(context.destination);
        audio.startAt = context.currentTime + 0.05;
        audio.offset = from;
        source.start(audio.startAt, from);
        source.onended = () => { audio.ended = true; };
        audio.source = source;
        audio.ended = false;
        audio.silent = false;
    };
    const say = (text) => {
        if (Module.vemuNote) {
            Module.vemuNote(text);
        }
    };
    // Milliseconds since the music's first sample: the audio clock, which
    // moves in blocks of rendered sound, carried on between them by the
    // performance clock (a little at most, so a clock that stands still
    // still stands the show still, for the watchdog to see); the
    // performance clock alone while there is no sound. Not the output
    // timestamp: in Firefox, under load, asking for it on every frame hung
    // the page for good (each call waits on the sound server).
    let seen = -1;
    let seenAt = 0;
    const latency = context.baseLatency || 0; // from the graph to the device
    audio.clockMs = () => {
        const now = performance.now();
        if (audio.silent) {
            return audio.silentAtMs + (now - audio.silentFrom);
        }
        const time = context.currentTime;
        if (time !== seen) {
            seen = time;
            seenAt = now;
        }
        const carried = Math.min(now - seenAt, 50) / 1000;
        return (time + carried - latency - audio.startAt + audio.offset) * 1000;
    };
    start(offset);
    context.resume().catch(() => {});
    let heard = context.currentTime;
    let heardAt = performance.now();
    let everHeard = false;
    let silentHeard = 0;
    clearInterval(audio.watchdog);
    audio.watchdog = setInterval(() => {
        const now = performance.now();
        if (context.currentTime !== heard) {
            heard = context.currentTime;
            heardAt = now;
            everHeard = everHeard || context.state === "running";
        }
        if (!audio.silent && now - heardAt > 1000) {
            // From where the show stands, at least the music's start.
            const at = Math.max(audio.clockMs(), audio.offset * 1000);
            audio.source.onended = null;
            audio.source.stop(); // no late music out of step, should the clock run again
            audio.silent = true;
            audio.silentFrom = now;
            audio.silentAtMs = at;
            silentHeard = heard;
            say(everHeard ? "the sound stopped: playing on without it"
                          : "no sound here: playing without it");
        } else if (audio.silent && context.state === "running" && now - heardAt < 500 &&
                   heard - silentHeard > 0.5) {
            start(audio.clockMs() / 1000 + 0.05);
            say("the sound is back");
        }
    }, 250);
});

EM_JS(double, webAudioClockMs, (void), {
    const audio = Module.vemuAudio;
    return audio && audio.clockMs ? audio.clockMs() : -1;
});

EM_JS(int, webAudioPlaying, (void), {
    const audio = Module.vemuAudio;
    return audio && audio.source && !audio.ended ? 1 : 0;
});

EM_JS(void, webAudioStop, (void), {
    const audio = Module.vemuAudio;
    if (audio) {
        clearInterval(audio.watchdog);
    }
    if (audio && audio.source) {
        audio.source.stop();
        audio.source = null;
    }
});
// clang-format on

} // namespace

bool FSOUND_Init(int mixrate, int, unsigned) {
    if (webAudioOpen(mixrate) == 0) {
        lastError = "this browser has no Web Audio";
        return false;
    }
    return true;
}

void FSOUND_Close() {
    webAudioStop();
    playing = nullptr;
}

FSOUND_SAMPLE* FSOUND_Sample_Load(int index, const char* name, unsigned, int offset, int length) {
    if (index != FSOUND_UNMANAGED || offset != 0 || length != 0 || name == nullptr) {
        lastError = "only whole unmanaged samples";
        return nullptr;
    }
    // Decoded in parts, handing back to the browser between them: the start
    // screen shows (and answers) while this runs.
    int error = 0;
    stb_vorbis* vorbis = stb_vorbis_open_filename(name, &error, nullptr);
    if (vorbis == nullptr) {
        lastError = "not an Ogg Vorbis file";
        return nullptr;
    }
    const stb_vorbis_info info = stb_vorbis_get_info(vorbis);
    const int channels = info.channels;
    std::vector<short> samples;
    constexpr int kPart = 44100 / 4; // frames: a quarter of a second of music
    for (;;) {
        const size_t at = samples.size();
        samples.resize(at + static_cast<size_t>(kPart) * channels);
        const int got = stb_vorbis_get_samples_short_interleaved(
            vorbis, channels, samples.data() + at, kPart * channels);
        samples.resize(at + static_cast<size_t>(got) * channels);
        if (got == 0) {
            break;
        }
        if (decodeInParts && samples.size() % (static_cast<size_t>(kPart) * channels * 4) == 0) {
            emscripten_sleep(0);
        }
    }
    stb_vorbis_close(vorbis);
    const int frames = channels > 0 ? static_cast<int>(samples.size() / channels) : 0;
    if (frames <= 0) {
        lastError = "not an Ogg Vorbis file";
        return nullptr;
    }
    auto* sample = new FSOUND_SAMPLE();
    sample->id =
        webAudioBuffer(samples.data(), frames, channels, static_cast<int>(info.sample_rate));
    sample->frames = static_cast<unsigned>(frames);
    return sample;
}

bool FSOUND_Sample_SetMode(FSOUND_SAMPLE* sample, unsigned mode) {
    if (sample == nullptr) {
        return false;
    }
    sample->loop = (mode & FSOUND_LOOP_NORMAL) != 0;
    return true;
}

unsigned FSOUND_Sample_GetLength(FSOUND_SAMPLE* sample) {
    return sample != nullptr ? sample->frames : 0;
}

void FSOUND_Sample_Free(FSOUND_SAMPLE* sample) {
    delete sample;
}

int FSOUND_PlaySound(int, FSOUND_SAMPLE* sample) {
    if (sample == nullptr) {
        lastError = "nothing to play";
        return -1;
    }
    if (holdPlay) {
        held = sample;
        return 0;
    }
    webAudioPlay(sample->id, sample->loop ? 1 : 0, 0.0);
    playing = sample;
    return 0;
}

bool FSOUND_IsPlaying(int) {
    return webAudioPlaying() != 0;
}

const char* FSOUND_LastError() {
    return lastError.c_str();
}

SoundTiming soundTiming() {
    return SoundTiming{};
}

bool waitForSoundOut(int) {
    return true; // the start is scheduled on the audio clock itself
}

void webSoundDecodeInParts(bool on) {
    decodeInParts = on;
}

void webSoundHoldPlay(bool hold) {
    holdPlay = hold;
    if (hold) {
        held = nullptr; // a fresh hold forgets what an earlier one noted
    }
}

double webSoundClockMs() {
    return webAudioClockMs();
}

bool webSoundStartHeld(double offsetSeconds) {
    if (held == nullptr) {
        return false;
    }
    // Kept: a show started again plays the same music.
    webAudioPlay(held->id, held->loop ? 1 : 0, offsetSeconds);
    playing = held;
    return true;
}

bool webSoundPlayFrom(double offsetSeconds) {
    if (playing == nullptr) {
        return false;
    }
    webAudioPlay(playing->id, playing->loop ? 1 : 0, offsetSeconds);
    return true;
}

void webSoundPause() {
    webAudioStop();
}
