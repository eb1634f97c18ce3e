#pragma once
#include <cstdint>

// Where the clock reads time from; the real one is the platform's
// performance counter, tests pass a fake.
class TimeSource {
  public:
    virtual ~TimeSource() = default;
    // Ticks per second of the performance counter, 0 when there is none.
    virtual int64_t performanceFrequency() = 0;
    virtual int64_t performanceCounter() = 0;
    // Millisecond timer, used when there is no performance counter.
    virtual uint32_t milliseconds() = 0;
};

struct FrameClock {
    int64_t frequency = 0;
    float resolution = 0.0f; // seconds per tick
    uint32_t timerStartMs = 0;
    bool usePerformanceCounter = false;
    int64_t counterStart = 0;
};

void startFrameClock(FrameClock& clock, TimeSource& source);
// Milliseconds since startFrameClock.
double frameClockMs(const FrameClock& clock, TimeSource& source);
