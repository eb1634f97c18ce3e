#pragma once
#include <cstdint>

// The one pseudo-random generator of the show. Its sequence is part of the
// choreography (tile layout, trail shapes), so the recurrence is fixed.
struct RandomGenerator {
    uint32_t state = 1;

    void seed(uint32_t value) { state = value; }
    bool operator==(const RandomGenerator&) const = default;
    // Next value, 0 to 32767.
    int next() {
        state = state * 214013u + 2531011u;
        return static_cast<int>((state >> 16) & 0x7FFFu);
    }
};
