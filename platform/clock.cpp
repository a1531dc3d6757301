#include "platform/clock.h"

#include <chrono>
#include <ctime>

namespace platform {

namespace {
bool g_manual = false;
uint32_t g_manualTicks = 0;

uint32_t systemTicks()
{
    // Milliseconds since boot, as the system counts them.
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint32_t(uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u);
}
} // namespace

uint32_t GetTickCount()
{
    return g_manual ? g_manualTicks : systemTicks();
}

ManualClock::ManualClock(uint32_t start)
{
    g_manual = true;
    g_manualTicks = start;
}

ManualClock::~ManualClock()
{
    g_manual = false;
}

void ManualClock::set(uint32_t ticks)
{
    g_manualTicks = ticks;
}

void ManualClock::advance(uint32_t ms)
{
    g_manualTicks += ms; // wraps modulo 2^32 like the real counter
}

uint32_t ManualClock::now() const
{
    return g_manualTicks;
}

} // namespace platform
