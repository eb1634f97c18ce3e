#pragma once
#include "demo/runtime/frame_clock.h"

// The platform's performance counter and millisecond timer.
class SdlTimeSource : public TimeSource {
  public:
    int64_t performanceFrequency() override;
    int64_t performanceCounter() override;
    uint32_t milliseconds() override;
};
