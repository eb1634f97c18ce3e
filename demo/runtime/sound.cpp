#include "demo/runtime/sound.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <algorithm>
#include <string>
#include <vector>

struct FSOUND_SAMPLE {
    Mix_Chunk* chunk = nullptr;
    bool loop = false;
};

namespace {

bool deviceOpen = false;
bool audioSubsystemUp = false;
std::string lastError;
// Every sample not yet freed: FSOUND_Close frees them, as FMOD's does, and
// until then they stay reachable (the show loads its music and never frees
// it).
std::vector<FSOUND_SAMPLE*> samples;

void fail(const std::string& what) {
    lastError = what + ": " + SDL_GetError();
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
    if (Mix_OpenAudio(mixrate, AUDIO_S16SYS, 2, 2048) != 0) {
        fail("can't open the audio device");
        return false;
    }
    Mix_AllocateChannels(maxsoftwarechannels);
    deviceOpen = true;
    return true;
}

void FSOUND_Close() {
    while (!samples.empty()) {
        FSOUND_Sample_Free(samples.back());
    }
    if (deviceOpen) {
        Mix_HaltChannel(-1);
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
    Mix_FreeChunk(sample->chunk); // halts the channels that play it
    samples.erase(std::remove(samples.begin(), samples.end(), sample), samples.end());
    delete sample;
}

int FSOUND_PlaySound(int channel, FSOUND_SAMPLE* sample) {
    if (!deviceOpen || sample == nullptr || channel < FSOUND_FREE) {
        lastError = "nothing to play";
        return -1;
    }
    const int used = Mix_PlayChannel(channel, sample->chunk, sample->loop ? -1 : 0);
    if (used < 0) {
        fail("can't play");
    }
    return used;
}

bool FSOUND_IsPlaying(int channel) {
    return deviceOpen && channel >= 0 && Mix_Playing(channel) != 0;
}

const char* FSOUND_LastError() {
    return lastError.c_str();
}
