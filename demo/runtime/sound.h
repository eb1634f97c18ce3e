#pragma once
// The show's sound library: the few FSOUND calls the start-up makes, with
// their usual names and meanings, played through SDL_mixer underneath. No
// SDL here, so the core can call it.

#include <cstdint>

struct FSOUND_SAMPLE;

constexpr int FSOUND_FREE = -1;      // any free channel
constexpr int FSOUND_UNMANAGED = -2; // a sample kept outside the sample slots
constexpr unsigned FSOUND_LOOP_OFF = 0x01;
constexpr unsigned FSOUND_LOOP_NORMAL = 0x02;
constexpr unsigned FSOUND_NORMAL = 0x130; // 16-bit, signed, mono

// Opens the output device at mixrate Hz with maxsoftwarechannels mixing
// channels. True on success, also when the device is already open.
bool FSOUND_Init(int mixrate, int maxsoftwarechannels, unsigned flags);
// Closes the device and stops every channel (tests; the show never does).
void FSOUND_Close();

// Decodes the whole file into memory before returning. index must be
// FSOUND_UNMANAGED; offset and length 0 (the whole file). Null on failure.
FSOUND_SAMPLE* FSOUND_Sample_Load(int index, const char* name, unsigned mode, int offset,
                                  int length);
// Loop mode for later plays: FSOUND_LOOP_OFF or FSOUND_LOOP_NORMAL.
bool FSOUND_Sample_SetMode(FSOUND_SAMPLE* sample, unsigned mode);
// Length in sample frames at the device's rate.
unsigned FSOUND_Sample_GetLength(FSOUND_SAMPLE* sample);
// Stops it where it plays and frees it (tests; the show never does).
void FSOUND_Sample_Free(FSOUND_SAMPLE* sample);

// Starts the sample on channel (or FSOUND_FREE for any free one). Returns the
// channel used, or -1.
int FSOUND_PlaySound(int channel, FSOUND_SAMPLE* sample);
// Whether the channel is playing (tests).
bool FSOUND_IsPlaying(int channel);
// Moves the sound playing on channel to `offset` sample frames from its
// start, timed as a new sound (soundTiming, waitForSoundOut): a show started
// at a later frame hears its music from there. False where nothing plays.
bool FSOUND_SetCurrentPosition(int channel, unsigned offset);
// The device's rate in Hz, 0 before it opens.
int FSOUND_GetOutputRate();

// The last failure's text, for the one line the demo prints before it ends.
const char* FSOUND_LastError();

// When the sound of the last FSOUND_PlaySound comes out, for the frame clock
// and the benchmarks. Times are ticks of the platform's performance counter,
// the frame clock's own.
struct SoundTiming {
    int64_t playCalled = 0;   // FSOUND_PlaySound called
    int64_t firstMixed = 0;   // its first samples left the mixer; 0 until then
    double bufferSeconds = 0; // one mixer buffer: what the device holds ahead
                              // of what it plays (SDL reports no latency)
    int64_t buffersMixed = 0; // since the device opened
    int64_t lateBuffers = 0;  // mixed over two buffers after the one before:
                              // the device ran dry (an underrun)
};
SoundTiming soundTiming();
// Waits until the last played sound's first samples have left the mixer, at
// most timeoutMs. False if they have not (no sound, or a stalled device).
bool waitForSoundOut(int timeoutMs);
