#include "platform/clock.h"

#include <gtest/gtest.h>

TEST(Clock, ManualClockDrivesTheCounterAndWraps)
{
    platform::ManualClock clock(0xFFFFFF00u);
    EXPECT_EQ(platform::GetTickCount(), 0xFFFFFF00u);
    clock.advance(0x200);
    EXPECT_EQ(platform::GetTickCount(), 0x100u);
    // Elapsed time across the wrap is the unsigned difference.
    EXPECT_EQ(platform::GetTickCount() - 0xFFFFFF00u, 0x200u);
    clock.set(42);
    EXPECT_EQ(platform::GetTickCount(), 42u);
}

TEST(Clock, RealCounterMovesForward)
{
    const uint32_t a = platform::GetTickCount();
    uint32_t b = a;
    for (int i = 0; i < 200000000 && b == a; ++i)
        b = platform::GetTickCount();
    EXPECT_GT(b - a, 0u);
    EXPECT_LT(b - a, 1000u);
}
