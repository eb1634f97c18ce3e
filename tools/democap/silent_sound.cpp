// The capture's sound library: the FSOUND calls of the start-up with no
// sound card behind them. A capture never hears its music (ffmpeg reads the
// file itself for a video), so the music is checked, not decoded: an Ogg
// Vorbis stream, its length read from its last page.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "demo/runtime/sound.h"

struct FSOUND_SAMPLE {
    unsigned frames = 0; // at the device's rate
};

namespace {

std::string lastError;
int deviceRate = 0;
bool playing = false;

uint32_t little32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint64_t little64(const uint8_t* p) {
    return little32(p) | static_cast<uint64_t>(little32(p + 4)) << 32;
}

// The stream's rate and its last page's granule position (its length in
// samples), or false with lastError set.
bool readOggVorbis(const char* name, uint32_t& rate, uint64_t& samples) {
    std::FILE* file = std::fopen(name, "rb");
    if (file == nullptr) {
        lastError = std::string("cannot open it: ") + std::strerror(errno);
        return false;
    }
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) {
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    std::fclose(file);
    lastError = "not an Ogg Vorbis stream";
    // The first page: 27 bytes of header, its segment table, then the
    // identification packet ("\1vorbis", version, channels, rate).
    if (bytes.size() < 28 || std::memcmp(bytes.data(), "OggS", 4) != 0) {
        return false;
    }
    const size_t packet = 27 + bytes[26];
    if (bytes.size() < packet + 16 || std::memcmp(&bytes[packet], "\1vorbis", 7) != 0) {
        return false;
    }
    rate = little32(&bytes[packet + 12]);
    for (size_t at = bytes.size() - 27; at-- > 0;) {
        if (std::memcmp(&bytes[at], "OggS", 4) == 0) {
            samples = little64(&bytes[at + 6]);
            return rate > 0;
        }
    }
    return false;
}

} // namespace

bool FSOUND_Init(int mixrate, int, unsigned) {
    if (mixrate <= 0) {
        lastError = "bad mixing rate";
        return false;
    }
    deviceRate = mixrate;
    return true;
}

void FSOUND_Close() {
    deviceRate = 0;
    playing = false;
}

FSOUND_SAMPLE* FSOUND_Sample_Load(int index, const char* name, unsigned, int offset, int length) {
    if (deviceRate == 0) {
        lastError = "sound not started";
        return nullptr;
    }
    if (index != FSOUND_UNMANAGED || offset != 0 || length != 0 || name == nullptr) {
        lastError = "only whole unmanaged samples are supported";
        return nullptr;
    }
    uint32_t rate = 0;
    uint64_t samples = 0;
    if (!readOggVorbis(name, rate, samples)) {
        return nullptr;
    }
    auto* sample = new FSOUND_SAMPLE();
    sample->frames = static_cast<unsigned>(samples * static_cast<uint64_t>(deviceRate) / rate);
    return sample;
}

bool FSOUND_Sample_SetMode(FSOUND_SAMPLE* sample, unsigned) {
    return sample != nullptr;
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
    playing = true;
    return 0;
}

bool FSOUND_IsPlaying(int) {
    return playing;
}

const char* FSOUND_LastError() {
    return lastError.c_str();
}

SoundTiming soundTiming() {
    return SoundTiming{};
}

bool waitForSoundOut(int) {
    return false; // nothing comes out
}
