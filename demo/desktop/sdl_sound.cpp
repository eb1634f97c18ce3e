#include "demo/runtime/sound.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

struct FSOUND_SAMPLE {
    Mix_Chunk* chunk = nullptr;
    Mix_Chunk* tail = nullptr; // its samples from a set position on, sharing chunk's bytes
    bool loop = false;
};

namespace {

// 16 ms at the show's 32000 Hz. A sound starts with the next buffer mixed and
// is heard about a buffer later, so the buffer is what keeps the music in
// step with a clock started as it begins; a 2048-frame buffer made it up to
// 130 ms late.
constexpr int kMixerBufferFrames = 512;

bool deviceOpen = false;
double bufferSeconds = 0;
// Written by the mixer's thread, read by the main thread.
std::atomic<int64_t> playCalled{0};
std::atomic<int64_t> firstMixed{0};
std::atomic<int64_t> buffersMixed{0};
std::atomic<int64_t> lateBuffers{0};
int64_t lastMixTicks = 0; // the mixer's thread only
bool audioSubsystemUp = false;
std::string lastError;
// Every sample not yet freed: FSOUND_Close frees them, as FMOD's does, and
// until then they stay reachable (the show loads its music and never frees
// it).
std::vector<FSOUND_SAMPLE*> samples;

void fail(const std::string& what) {
    lastError = what + ": " + SDL_GetError();
}

// A channel effect: runs as the channel's samples are mixed, so its first
// call is the moment the sound's first samples go out.
void SDLCALL noteFirstMix(int, void*, int, void*) {
    int64_t none = 0;
    firstMixed.compare_exchange_strong(none, static_cast<int64_t>(SDL_GetPerformanceCounter()));
}

// After every buffer: counts them, and those mixed so long after the one
// before that the device must have run out of sound.
void SDLCALL notePostMix(void*, Uint8*, int) {
    const auto now = static_cast<int64_t>(SDL_GetPerformanceCounter());
    const double gap = static_cast<double>(now - lastMixTicks) /
                       static_cast<double>(SDL_GetPerformanceFrequency());
    if (lastMixTicks != 0 && gap > 2.0 * bufferSeconds) {
        lateBuffers.fetch_add(1);
    }
    lastMixTicks = now;
    buffersMixed.fetch_add(1);
}

// The channel FSOUND_FREE means: the first one not playing.
// Plays chunk on channel with the timing notes of a new sound. The effect
// goes on before the sound: nothing is mixed on the channel until it plays,
// so its first call is the sound's first buffer. The mixer drops a channel's
// effects when its sound ends or is replaced, so a sound still playing there
// is halted first, not after the effect is on.
int playTimed(int channel, Mix_Chunk* chunk, bool loop) {
    if (Mix_Playing(channel) != 0) {
        Mix_HaltChannel(channel);
    }
    firstMixed = 0;
    buffersMixed = 0;
    lateBuffers = 0;
    playCalled = static_cast<int64_t>(SDL_GetPerformanceCounter());
    Mix_RegisterEffect(channel, noteFirstMix, nullptr, nullptr);
    const int used = Mix_PlayChannel(channel, chunk, loop ? -1 : 0);
    if (used < 0) {
        fail("can't play");
    }
    return used;
}

int freeChannel() {
    const int channels = Mix_AllocateChannels(-1);
    for (int channel = 0; channel < channels; ++channel) {
        if (Mix_Playing(channel) == 0) {
            return channel;
        }
    }
    return -1;
}

} // namespace

bool FSOUND_Init(int mixrate, int maxsoftwarechannels, unsigned) {
    if (deviceOpen) {
        return true;
    }
    if (mixrate <= 0 || maxsoftwarechannels <= 0) {
        lastError = "bad mixing rate or channel count";
        return false;
    }
    if (!audioSubsystemUp) {
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            fail("no audio");
            return false;
        }
        audioSubsystemUp = true;
    }
    Mix_Init(MIX_INIT_OGG); // decoders loaded now, not during the first load
    if (Mix_OpenAudio(mixrate, AUDIO_S16SYS, 2, kMixerBufferFrames) != 0) {
        fail("can't open the audio device");
        return false;
    }
    Mix_AllocateChannels(maxsoftwarechannels);
    int rate = mixrate;
    Uint16 format = 0;
    int channels = 0;
    Mix_QuerySpec(&rate, &format, &channels); // the device may have another rate
    bufferSeconds = static_cast<double>(kMixerBufferFrames) / rate;
    lastMixTicks = 0;
    Mix_SetPostMix(notePostMix, nullptr);
    deviceOpen = true;
    return true;
}

void FSOUND_Close() {
    while (!samples.empty()) {
        FSOUND_Sample_Free(samples.back());
    }
    if (deviceOpen) {
        Mix_HaltChannel(-1);
        Mix_SetPostMix(nullptr, nullptr);
        Mix_CloseAudio();
        deviceOpen = false;
    }
    if (audioSubsystemUp) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        audioSubsystemUp = false;
    }
}

FSOUND_SAMPLE* FSOUND_Sample_Load(int index, const char* name, unsigned mode, int offset,
                                  int length) {
    if (!deviceOpen) {
        lastError = "sound not started";
        return nullptr;
    }
    if (index != FSOUND_UNMANAGED || offset != 0 || length != 0 || name == nullptr) {
        lastError = "only whole unmanaged samples are supported";
        return nullptr;
    }
    // Decodes the whole file now and converts it to the device's format, so
    // starting it later costs nothing.
    SDL_RWops* file = SDL_RWFromFile(name, "rb");
    if (file == nullptr) {
        lastError = SDL_GetError();
        return nullptr;
    }
    Mix_Chunk* chunk = Mix_LoadWAV_RW(file, 1);
    if (chunk == nullptr) {
        lastError = SDL_GetError();
        return nullptr;
    }
    auto* sample = new FSOUND_SAMPLE;
    sample->chunk = chunk;
    samples.push_back(sample);
    FSOUND_Sample_SetMode(sample, mode);
    return sample;
}

bool FSOUND_Sample_SetMode(FSOUND_SAMPLE* sample, unsigned mode) {
    if (sample == nullptr) {
        return false;
    }
    if ((mode & FSOUND_LOOP_OFF) != 0) {
        sample->loop = false;
    } else if ((mode & FSOUND_LOOP_NORMAL) != 0) {
        sample->loop = true;
    }
    return true;
}

unsigned FSOUND_Sample_GetLength(FSOUND_SAMPLE* sample) {
    int rate = 0, channels = 0;
    Uint16 format = 0;
    if (sample == nullptr || Mix_QuerySpec(&rate, &format, &channels) == 0) {
        return 0;
    }
    const unsigned frameBytes = SDL_AUDIO_BITSIZE(format) / 8 * static_cast<unsigned>(channels);
    return frameBytes == 0 ? 0 : sample->chunk->alen / frameBytes;
}

void FSOUND_Sample_Free(FSOUND_SAMPLE* sample) {
    if (sample == nullptr) {
        return;
    }
    if (sample->tail != nullptr) {
        Mix_FreeChunk(sample->tail); // the header only: the bytes are chunk's
    }
    Mix_FreeChunk(sample->chunk); // halts the channels that play it
    samples.erase(std::remove(samples.begin(), samples.end(), sample), samples.end());
    delete sample;
}

int FSOUND_PlaySound(int channel, FSOUND_SAMPLE* sample) {
    if (!deviceOpen || sample == nullptr || channel < FSOUND_FREE) {
        lastError = "nothing to play";
        return -1;
    }
    const int target = channel == FSOUND_FREE ? freeChannel() : channel;
    if (target < 0) {
        lastError = "no free channel";
        return -1;
    }
    return playTimed(target, sample->chunk, sample->loop);
}

int FSOUND_GetOutputRate() {
    int rate = 0, channels = 0;
    Uint16 format = 0;
    return deviceOpen && Mix_QuerySpec(&rate, &format, &channels) != 0 ? rate : 0;
}

bool FSOUND_SetCurrentPosition(int channel, unsigned offset) {
    int rate = 0, channels = 0;
    Uint16 format = 0;
    Mix_Chunk* playing = deviceOpen && channel >= 0 && channel < Mix_AllocateChannels(-1) &&
                                 Mix_Playing(channel) != 0
                             ? Mix_GetChunk(channel)
                             : nullptr;
    const auto sample = std::find_if(samples.begin(), samples.end(), [&](FSOUND_SAMPLE* s) {
        return playing != nullptr && (s->chunk == playing || s->tail == playing);
    });
    if (sample == samples.end() || Mix_QuerySpec(&rate, &format, &channels) == 0) {
        lastError = "no sound on that channel";
        return false;
    }
    FSOUND_SAMPLE& s = **sample;
    const uint64_t frameBytes = SDL_AUDIO_BITSIZE(format) / 8 * static_cast<unsigned>(channels);
    const uint64_t at = std::min<uint64_t>(uint64_t{offset} * frameBytes, s.chunk->alen);
    // Halted first: the old tail may be what the channel mixes.
    Mix_HaltChannel(channel);
    if (s.tail != nullptr) {
        Mix_FreeChunk(s.tail);
    }
    s.tail = Mix_QuickLoad_RAW(s.chunk->abuf + at, static_cast<Uint32>(s.chunk->alen - at));
    if (s.tail == nullptr) {
        fail("can't set the position");
        return false;
    }
    return playTimed(channel, s.tail, false) == channel;
}

SoundTiming soundTiming() {
    SoundTiming timing;
    timing.playCalled = playCalled;
    timing.firstMixed = firstMixed;
    timing.bufferSeconds = bufferSeconds;
    timing.buffersMixed = buffersMixed;
    timing.lateBuffers = lateBuffers;
    return timing;
}

bool waitForSoundOut(int timeoutMs) {
    if (!deviceOpen || playCalled == 0) {
        return false;
    }
    const Uint64 end = SDL_GetTicks64() + static_cast<Uint64>(std::max(timeoutMs, 0));
    while (firstMixed == 0) {
        if (SDL_GetTicks64() >= end) {
            return false;
        }
        SDL_Delay(1); // the first mix is at most a buffer away
    }
    return true;
}

bool FSOUND_IsPlaying(int channel) {
    return deviceOpen && channel >= 0 && Mix_Playing(channel) != 0;
}

const char* FSOUND_LastError() {
    return lastError.c_str();
}
