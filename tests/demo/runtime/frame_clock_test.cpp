#include "demo/runtime/frame_clock.h"

#include <gtest/gtest.h>

namespace {

class FakeTime : public TimeSource {
  public:
    int64_t frequency = 0;
    int64_t counter = 0;
    uint32_t ms = 0;
    int64_t performanceFrequency() override { return frequency; }
    int64_t performanceCounter() override { return counter; }
    uint32_t milliseconds() override { return ms; }
};

// From its start, on the performance counter where there is one (to within
// a frame's hundredth over the whole show, though it keeps its resolution
// as a float), else on the millisecond timer, whose wrap past 2^32 is
// harmless.
TEST(FrameClock, CountsFromItsStartOnTheCounterOrOnTheTimerAcrossItsWrap) {
    FakeTime counter;
    counter.frequency = 3579545; // an ACPI timer's rate: no round number of ticks a frame
    counter.counter = int64_t{1} << 40;
    FrameClock clock;
    startFrameClock(clock, counter);
    EXPECT_DOUBLE_EQ(frameClockMs(clock, counter), 0.0);
    counter.counter += counter.frequency * 148; // the whole show
    EXPECT_NEAR(frameClockMs(clock, counter), 148000.0, 0.2);
    counter.ms = 12345; // the timer is not read while there is a counter
    EXPECT_NEAR(frameClockMs(clock, counter), 148000.0, 0.2);

    FakeTime timer;
    timer.ms = 0xffffff00u; // 256 ms before the timer wraps
    FrameClock fallback;
    startFrameClock(fallback, timer);
    timer.ms += 0x200;   // past the wrap
    timer.counter = 999; // nor the counter without a frequency
    EXPECT_NEAR(frameClockMs(fallback, timer), 512.0, 1e-3);
}

} // namespace
