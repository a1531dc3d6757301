#include "platform/cpu.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace platform {

namespace {

bool plainFromEnvironment()
{
    const char* value = std::getenv("LUMIVOX_PLAIN_PATHS");
    return value && *value && std::strcmp(value, "0") != 0;
}

// -1: as the environment says; 0 or 1: forced by a test.
std::atomic<int> g_forced{-1};

bool processorHasSsse3()
{
#if defined(__x86_64__) || defined(__i386__)
    static const bool has = __builtin_cpu_supports("ssse3");
    return has;
#else
    return false;
#endif
}

} // namespace

bool PlainPathsOnly()
{
    const int forced = g_forced.load(std::memory_order_relaxed);
    if (forced >= 0)
        return forced == 1;
    static const bool fromEnvironment = plainFromEnvironment();
    return fromEnvironment;
}

void SetPlainPathsOnly(bool plain)
{
    g_forced.store(plain ? 1 : 0, std::memory_order_relaxed);
}

void ResetPlainPaths()
{
    g_forced.store(-1, std::memory_order_relaxed);
}

bool UseSse2()
{
#if defined(__SSE2__)
    return !PlainPathsOnly();
#else
    return false;
#endif
}

bool UseSsse3()
{
    return processorHasSsse3() && !PlainPathsOnly();
}

} // namespace platform
