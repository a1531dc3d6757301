#include "raster/dibguard.h"
#include "raster/halftone.h"
#include "raster/rasterio.h"
#include "tests/testutil.h"

#include <gtest/gtest.h>

using namespace raster;

TEST(Halftone, CubeColoursStayAndMixturesDither)
{
    DibGuard source;
    newdib(source.out(), 16, 16, 24, nullptr, 0);
    // Left half pure cube colours, right half a grey between two levels.
    recht_filled(source.get(), 0, 0, 7, 15, platform::RGB(255, 51, 0));
    recht_filled(source.get(), 8, 0, 15, 15, platform::RGB(128, 128, 128));
    DibGuard half;
    DIBHalftoneDIB(half.out(), source.get());
    ASSERT_TRUE(half);
    EXPECT_EQ(DibBitCount(half.get()), 8);
    int light = 0;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const RGBQUAD q = half->Info->bmiColors[getpixel(half.get(), x, y)];
            if (x < 8) {
                ASSERT_EQ(q.rgbRed, 255);
                ASSERT_EQ(q.rgbGreen, 51);
                ASSERT_EQ(q.rgbBlue, 0);
            } else {
                // 128 lies between 102 and 153: a mixture of both, about half each.
                ASSERT_TRUE(q.rgbRed == 102 || q.rgbRed == 153) << int(q.rgbRed);
                ASSERT_EQ(q.rgbRed, q.rgbGreen);
                light += q.rgbRed == 153;
            }
        }
    }
    EXPECT_NEAR(light, 128 * 26 / 51, 3);
}

TEST(Halftone, ScaledCopyHasTheAskedSizeFromEveryDepth)
{
    for (int bc : {1, 4, 8, 24}) {
        DibGuard source(testutil::patternImage(40, 30, bc));
        DibGuard half;
        DIBHalftoneDIBXY(half.out(), source.get(), 13, 7);
        ASSERT_TRUE(half) << bc;
        EXPECT_EQ(DibWidth(half.get()), 13);
        EXPECT_EQ(DibHeight(half.get()), 7);
        EXPECT_EQ(half->HasPalette, 1);
    }
    DibGuard none;
    DIBHalftoneDIBXY(none.out(), TDibRecord{}, 10, 10);
    EXPECT_FALSE(none);
}
