#include "platform/msgbox.h"
#include "platform/palette.h"
#include "raster/dibguard.h"
#include "raster/rasterio.h"
#include "tests/testutil.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace raster;

TEST(DibRecord, NewImagesFollowTheRowAndColourRules)
{
    struct Case {
        int w, h, bc;
        int stride;
        int colours;
    };
    const Case cases[] = {
        {1, 1, 1, 4, 2},     {33, 2, 1, 8, 2},        {3, 5, 4, 4, 16},   {9, 2, 4, 8, 16},
        {5, 3, 8, 8, 256},   {3, 4, 24, 12, 16777216}, {1, 1, 24, 4, 16777216},
    };
    for (const auto& c : cases) {
        DibGuard dib;
        newdib(dib.out(), c.w, c.h, c.bc, nullptr, 0);
        ASSERT_TRUE(dib) << c.w << "x" << c.h << "x" << c.bc;
        EXPECT_EQ(DibWidth(dib.get()), c.w);
        EXPECT_EQ(DibHeight(dib.get()), c.h);
        EXPECT_EQ(DibBitCount(dib.get()), c.bc);
        EXPECT_EQ(DibBytesPerRow(dib.get()), c.stride);
        EXPECT_EQ(DibSizeImage(dib.get()), uint32_t(c.stride * c.h));
        EXPECT_EQ(DibColorCount(dib.get()), c.colours);
        EXPECT_EQ(dib->HasPalette, c.bc <= 8 ? 1 : 0);
        EXPECT_EQ(dib->Palette != nullptr, c.bc <= 8);
        EXPECT_EQ(dib->LogPal.palVersion, 0x300);
        // Pixels start at zero.
        for (uint32_t i = 0; i < DibSizeImage(dib.get()); ++i)
            ASSERT_EQ(dib->Bits[i], 0);
    }
}

TEST(DibRecord, ColoursComeFromTheSourceTable)
{
    DibGuard source(testutil::patternImage(4, 4, 8, 3));
    DibGuard dib;
    newdib(dib.out(), 2, 2, 8, source->Info, 10);
    ASSERT_TRUE(dib);
    for (int i = 0; i < 256; ++i) {
        const RGBQUAD q = dib->Info->bmiColors[i];
        const RGBQUAD want = i < 10 ? source->Info->bmiColors[i] : RGBQUAD{0, 0, 0, 0};
        EXPECT_EQ(std::memcmp(&q, &want, 4), 0) << i;
        EXPECT_EQ(dib->LogPal.palPalEntry[i].peRed, want.rgbRed) << i;
        EXPECT_EQ(dib->LogPal.palPalEntry[i].peBlue, want.rgbBlue) << i;
        EXPECT_EQ(dib->Palette->entries[size_t(i)].peGreen, want.rgbGreen) << i;
    }
    // Without a source a palette picture gets a grey ramp.
    DibGuard grey;
    newdib(grey.out(), 2, 2, 4, nullptr, 0);
    EXPECT_EQ(grey->Info->bmiColors[15].rgbRed, 255);
    EXPECT_EQ(grey->Info->bmiColors[1].rgbGreen, 17);
}

TEST(DibRecord, RefusedSizesGiveNoImage)
{
    const int sizes[][3] = {{0, 5, 8}, {5, 0, 8}, {-1, 5, 8}, {5, 5, 2}, {5, 5, 32}, {100000, 100000, 24}};
    for (const auto& s : sizes) {
        TDibRecord dib;
        newdib(&dib, s[0], s[1], s[2], nullptr, 0);
        EXPECT_EQ(dib.Bits, nullptr) << s[0] << "x" << s[1] << "x" << s[2];
        EXPECT_EQ(dib.Info, nullptr);
        deldib(dib); // accepted without image
    }
    EXPECT_EQ(liveImageCount(), 0);
}

TEST(DibRecord, PixelValuesAndAddressing)
{
    // getpixel(0, 0) is the top-left pixel, stored in the last row of the block.
    for (int bc : {1, 4, 8, 24}) {
        DibGuard dib;
        newdib(dib.out(), 7, 3, bc, nullptr, 0);
        const uint32_t v = bc == 24 ? platform::RGB(10, 20, 30) : 1;
        setpixel(dib.get(), 0, 0, v);
        EXPECT_EQ(getpixel(dib.get(), 0, 0), v) << bc;
        const uint8_t* top = dib->Bits + 2 * dib->BytesPerRow;
        switch (bc) {
        case 1: EXPECT_EQ(top[0], 0x80); break;
        case 4: EXPECT_EQ(top[0], 0x10); break;
        case 8: EXPECT_EQ(top[0], 0x01); break;
        case 24:
            EXPECT_EQ(top[0], 30); // blue, green, red
            EXPECT_EQ(top[1], 20);
            EXPECT_EQ(top[2], 10);
            break;
        }
        // Neighbours and points outside are untouched and read as 0.
        EXPECT_EQ(getpixel(dib.get(), 1, 0), 0u);
        EXPECT_EQ(getpixel(dib.get(), 0, 1), 0u);
        setpixel(dib.get(), -1, 0, v);
        setpixel(dib.get(), 7, 0, v);
        setpixel(dib.get(), 0, 3, v);
        EXPECT_EQ(getpixel(dib.get(), -1, 0), 0u);
        EXPECT_EQ(getpixel(dib.get(), 7, 2), 0u);
        // The odd column of a 4-bit row is the low nibble, the 8th bit of a 1-bit row the LSB.
        if (bc == 4) {
            setpixel(dib.get(), 1, 0, 0xF);
            EXPECT_EQ(top[0], 0x1F);
        }
        if (bc == 1) {
            setpixel(dib.get(), 6, 0, 1);
            EXPECT_EQ(top[0], 0x82);
        }
    }
}

TEST(DibRecord, PowerOfTwoAndColourCount)
{
    const int32_t cases[][2] = {{-3, 1}, {0, 1}, {1, 2}, {4, 16}, {8, 256}, {24, 16777216}, {30, 1 << 30}};
    for (const auto& c : cases)
        EXPECT_EQ(PowerOfTwo(c[0]), c[1]) << c[0];
}

TEST(DibRecord, CopyIsDeepAndHasItsOwnPalette)
{
    for (int bc : {1, 4, 8, 24}) {
        DibGuard source(testutil::patternImage(13, 7, bc, 5));
        DibGuard copy(MakeDIBCopy(source.get()));
        ASSERT_TRUE(copy);
        EXPECT_NE(copy->Bits, source->Bits);
        EXPECT_EQ(std::memcmp(copy->Bits, source->Bits, DibSizeImage(source.get())), 0);
        EXPECT_TRUE(testutil::samePixels(copy.get(), source.get()));
        if (bc <= 8) {
            EXPECT_NE(copy->Palette, source->Palette);
            EXPECT_EQ(std::memcmp(copy->LogPal.palPalEntry, source->LogPal.palPalEntry, 4u << bc), 0);
        }
        // Changing the copy leaves the source alone.
        setpixel(copy.get(), 0, 0, getpixel(copy.get(), 0, 0) ^ 1u);
        EXPECT_NE(getpixel(copy.get(), 0, 0), getpixel(source.get(), 0, 0));
    }
    // Copy of nothing is nothing, and no message.
    platform::MessageBoxScript script;
    DibGuard none(MakeDIBCopy(TDibRecord{}));
    EXPECT_FALSE(none);
    EXPECT_TRUE(script.shown().empty());
}

TEST(DibRecord, CopyWithoutMemoryHasNoImage)
{
    // The caller tells the user (tests/filters/test_messages.cpp).
    DibGuard source(testutil::patternImage(100, 100, 24));
    platform::MessageBoxScript script;
    DibGuard copy;
    {
        const testutil::AllocationLimit limit(1000);
        copy.reset(MakeDIBCopy(source.get()));
    }
    EXPECT_FALSE(copy);
    EXPECT_TRUE(script.shown().empty());
}

TEST(DibRecord, ChangedColoursReachBothTablesAndANewHandle)
{
    DibGuard dib;
    newdib(dib.out(), 2, 2, 8, nullptr, 0);
    setPaletteEntry(dib.get(), 5, 200, 100, 50);
    refreshPalette(dib.get());
    EXPECT_EQ(dib->Info->bmiColors[5].rgbRed, 200);
    EXPECT_EQ(dib->Info->bmiColors[5].rgbBlue, 50);
    EXPECT_EQ(dib->LogPal.palPalEntry[5].peGreen, 100);
    EXPECT_NE(dib->Palette, nullptr);
    EXPECT_EQ(dib->Palette->entries[5].peRed, 200);
    // The old handle was deleted: only the new one is alive.
    EXPECT_EQ(platform::livePaletteCount(), 1);
}
