#include "demo/runtime/frame_clock.h"

void startFrameClock(FrameClock& clock, TimeSource& source) {
    const int64_t frequency = source.performanceFrequency();
    if (frequency > 0) {
        clock.frequency = frequency;
        clock.counterStart = source.performanceCounter();
        clock.usePerformanceCounter = true;
        clock.resolution = static_cast<float>(1.0 / static_cast<double>(frequency));
    } else {
        clock.usePerformanceCounter = false;
        clock.timerStartMs = source.milliseconds();
        clock.resolution = 0.001f;
        clock.frequency = 1000;
    }
}

double frameClockMs(const FrameClock& clock, TimeSource& source) {
    if (clock.usePerformanceCounter) {
        const int64_t ticks = source.performanceCounter() - clock.counterStart;
        return static_cast<double>(ticks) * clock.resolution * 1000.0;
    }
    // Unsigned difference: the millisecond timer's wrap is harmless.
    const uint32_t elapsed = source.milliseconds() - clock.timerStartMs;
    return static_cast<double>(elapsed) * clock.resolution * 1000.0;
}
