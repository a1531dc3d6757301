#include "platform/random.h"

#include <gtest/gtest.h>

using platform::Random;
using platform::RandSeed;

TEST(Random, FollowsTheGeneratorsSequence)
{
    // Values worked out by hand from seed := seed * 134775813 + 1 and the
    // upper 32 bits of seed * n; a draw with n = 0 still advances the seed.
    struct Draw {
        int32_t n;
        int32_t expected;
    };
    const Draw draws[] = {{100, 0}, {100, 3}, {100, 86}, {7, 1}, {0, 0}, {1000000, 671654}, {2147483647, 684384293}};
    RandSeed = 0;
    for (const auto& d : draws)
        EXPECT_EQ(Random(d.n), d.expected) << "n = " << d.n;
}

TEST(Random, SeedWrapsModulo32Bits)
{
    RandSeed = 0xFFFFFFFFu;
    EXPECT_EQ(Random(10), 9);
    EXPECT_EQ(RandSeed, 4160191484u);
}

TEST(Random, StaysBelowN)
{
    RandSeed = 12345;
    for (int i = 0; i < 10000; ++i) {
        const int32_t r = Random(37);
        ASSERT_GE(r, 0);
        ASSERT_LT(r, 37);
    }
}

TEST(Random, RandomizeUsesTheTimeOfDayInMilliseconds)
{
    platform::Randomize();
    EXPECT_LT(RandSeed, 24u * 3600u * 1000u);
}
