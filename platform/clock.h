#pragma once
// The millisecond tick counter that playback, previews and exports measure
// time with. It is 32 bits wide and wraps like the system's, about every
// 49.7 days, so callers compare ticks by unsigned difference.
//
// Tests take the counter over with ManualClock and move it by hand.

#include <cstdint>

namespace platform {

uint32_t GetTickCount();

// While one exists, GetTickCount returns its value instead of real time.
class ManualClock {
public:
    explicit ManualClock(uint32_t start = 0);
    ~ManualClock();
    ManualClock(const ManualClock&) = delete;
    ManualClock& operator=(const ManualClock&) = delete;

    void set(uint32_t ticks);
    void advance(uint32_t ms);
    uint32_t now() const;
};

} // namespace platform
