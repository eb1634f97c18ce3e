#pragma once
// What the page asks of the browser's sound layer beyond the FSOUND calls:
// the music held back at FSOUND_PlaySound (the start-up runs before the
// start button) until the show's clock starts, from the moment the show
// starts at (a link's #t=).

// On: FSOUND_Sample_Load decodes the music in parts, handing back to the
// browser between them (emscripten_sleep: only where the caller was called
// asynchronously).
void webSoundDecodeInParts(bool on);
// While held, FSOUND_PlaySound only notes the sample.
void webSoundHoldPlay(bool hold);
// Starts the noted sample offsetSeconds into it, as often as the show is
// started; false when none was noted.
bool webSoundStartHeld(double offsetSeconds);
// The show's clock: milliseconds since the music's first sample as heard,
// or on the performance clock while there is no sound; -1 before the start.
double webSoundClockMs();
// The music again from offsetSeconds into it (a seek, a resume), the clock
// with it; false when none has played since the sound was opened.
bool webSoundPlayFrom(double offsetSeconds);
// The music stops (a pause); the clock is not read until it plays again.
void webSoundPause();
