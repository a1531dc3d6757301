#include "filters/depth.h"
#include "platform/random.h"
#include "raster/rasterio.h"
#include "tests/testutil.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>

using namespace raster;
using namespace filters;

namespace {

bool sameEntry(const PALETTEENTRY& a, const PALETTEENTRY& b)
{
    return a.peRed == b.peRed && a.peGreen == b.peGreen && a.peBlue == b.peBlue;
}

// Colour table and logical palette agree on every entry.
void expectPaletteCopiesAgree(const TDibRecord& dib)
{
    for (int i = 0; i < DibColorCount(dib); ++i) {
        const platform::RGBQUAD q = dib.Info->bmiColors[i];
        const PALETTEENTRY e = dib.LogPal.palPalEntry[i];
        EXPECT_TRUE(q.rgbRed == e.peRed && q.rgbGreen == e.peGreen && q.rgbBlue == e.peBlue) << "entry " << i;
    }
}

} // namespace

TEST(Depth, StandardPalettesAndTheCubeMap)
{
    const auto p16 = standardPalette16();
    EXPECT_TRUE(sameEntry(p16[7], {192, 192, 192, 0}));
    EXPECT_TRUE(sameEntry(p16[8], {128, 128, 128, 0}));
    EXPECT_TRUE(sameEntry(p16[12], {0, 0, 255, 0}));

    const auto p = standardPalette256();
    // The system colours at both ends.
    EXPECT_TRUE(sameEntry(p[8], {192, 220, 192, 0}));
    EXPECT_TRUE(sameEntry(p[9], {166, 202, 240, 0}));
    EXPECT_TRUE(sameEntry(p[246], {255, 251, 240, 0}));
    EXPECT_TRUE(sameEntry(p[247], {160, 160, 164, 0}));
    EXPECT_TRUE(sameEntry(p[255], {255, 255, 255, 0}));

    // Every cube colour maps to an entry holding it, but for the four the
    // palette lacks; all 256 entries differ.
    const auto& cube = ditherCubeMap();
    int inexact = 0;
    for (int i = 0; i < 216; ++i) {
        const int r = 51 * (i % 6), g = 51 * (i / 6 % 6), b = 51 * (i / 36);
        const PALETTEENTRY& e = p[cube[size_t(i)]];
        if (e.peRed == r && e.peGreen == g && e.peBlue == b)
            continue;
        ++inexact;
        const bool greenish = (r == 51 && g == 255 && b == 0) || (r == 0 && g == 255 && b == 51);
        const bool blueish = (r == 51 && g == 0 && b == 255) || (r == 0 && g == 51 && b == 255);
        EXPECT_TRUE((greenish && cube[size_t(i)] == 250) || (blueish && cube[size_t(i)] == 252))
            << r << "," << g << "," << b << " -> " << int(cube[size_t(i)]);
    }
    EXPECT_EQ(inexact, 4);
    std::set<uint32_t> distinct;
    for (const PALETTEENTRY& e : p)
        distinct.insert(uint32_t(e.peRed) << 16 | uint32_t(e.peGreen) << 8 | e.peBlue);
    EXPECT_EQ(distinct.size(), 256u);
}

TEST(Depth, NearestEntryTakesTheLowestIndexOnTiesAndTheFastLookupAgrees)
{
    // Ties: equal entries and equally distant ones.
    const PALETTEENTRY tied[] = {{10, 10, 10, 0}, {0, 0, 0, 0}, {20, 20, 20, 0}, {0, 0, 0, 0}};
    EXPECT_EQ(nearestEntry(tied, 0, 0, 0), 1);
    EXPECT_EQ(nearestEntry(tied, 15, 15, 15), 0);
    EXPECT_EQ(nearestEntry(tied, 5, 5, 5), 0);
    EXPECT_EQ(nearestEntry(tied, 4, 5, 5), 1);

    // Random palettes, some with duplicates and clusters, against the plain
    // search.
    std::mt19937 rng(5);
    for (int round = 0; round < 6; ++round) {
        const int n = round == 0 ? 2 : round == 1 ? 16 : 256;
        std::vector<PALETTEENTRY> palette(static_cast<size_t>(n));
        for (auto& e : palette) {
            const int spread = round % 2 ? 256 : 24; // clustered palettes make many ties
            e = {uint8_t(rng() % spread), uint8_t(rng() % spread), uint8_t(rng() % spread), 0};
        }
        if (n > 4)
            palette[size_t(n - 1)] = palette[3];
        NearestEntry fast(palette);
        for (int k = 0; k < 40000; ++k) {
            const int r = int(rng() % 256), g = int(rng() % 256), b = int(rng() % 256);
            ASSERT_EQ(fast(r, g, b), nearestEntry(palette, r, g, b)) << round << ": " << r << "," << g << "," << b;
        }
    }
}

TEST(Depth, PopularityPutsTheMostFrequentFirstAndHalvesFullBins)
{
    // 66000 pixels of A, then 35000 of B: A's bin fills at 65535 and the
    // histogram is halved, so B (35000) ends ahead of A (33232).
    DibGuard dib;
    newdib(dib.out(), 1000, 101, 24, nullptr, 0);
    recht_filled(dib.get(), 0, 0, 999, 65, platform::RGB(200, 100, 40));
    recht_filled(dib.get(), 0, 66, 999, 100, platform::RGB(16, 32, 48));
    auto chosen = popularColours(dib.get(), 3, 4);
    ASSERT_EQ(chosen.size(), 3u);
    EXPECT_TRUE(sameEntry(chosen[0], {16, 32, 48, 0}));
    EXPECT_TRUE(sameEntry(chosen[1], {192, 96, 32, 0})); // cut to 4 bits per channel

    // Without halving the order follows the counts; 8-bit pictures count
    // their palette colours.
    DibGuard pal;
    newdib(pal.out(), 10, 1, 8, nullptr, 0);
    setPaletteEntry(pal.get(), 1, 255, 0, 0);
    setPaletteEntry(pal.get(), 2, 0, 0, 255);
    refreshPalette(pal.get());
    for (int x = 0; x < 10; ++x)
        setpixel(pal.get(), x, 0, x < 3 ? 1 : x < 9 ? 2 : 0);
    chosen = popularColours(pal.get(), 3, 5);
    EXPECT_TRUE(sameEntry(chosen[0], {0, 0, 224, 0}));
    EXPECT_TRUE(sameEntry(chosen[1], {224, 0, 0, 0}));
    EXPECT_TRUE(sameEntry(chosen[2], {0, 0, 0, 0}));
}

TEST(Depth, FloydSteinbergFollowsTheSerpentineErrorRows)
{
    // Expected indices worked out independently from the description of the
    // error rows: a 7 x 5 picture onto the standard 16 colours.
    const uint32_t expected[5][7] = {
        {4, 6, 5, 8, 7, 8, 7},      {3, 3, 3, 3, 9, 2, 10}, {7, 7, 7, 15, 0, 3, 5},
        {8, 15, 12, 7, 12, 7, 8},   {6, 5, 8, 7, 8, 7, 13},
    };
    DibGuard source;
    newdib(source.out(), 7, 5, 24, nullptr, 0);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            setpixel(source.get(), x, y,
                     platform::RGB(uint8_t(x * 37 + y * 71), uint8_t(x * 113 + y * 29 + 50),
                                   uint8_t(x * 7 + y * 200 + 90)));
    DibGuard target;
    newdib(target.out(), 7, 5, 4, nullptr, 0);
    for (int i = 0; i < 16; ++i) {
        const PALETTEENTRY e = standardPalette16()[size_t(i)];
        setPaletteEntry(target.get(), i, e.peRed, e.peGreen, e.peBlue);
    }
    refreshPalette(target.get());
    std::vector<int> progress;
    FloydSteinberg(source.get(), target.get(), [&](int p) { progress.push_back(p); });
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            EXPECT_EQ(getpixel(target.get(), x, y), expected[y][x]) << x << ", " << y;
    EXPECT_EQ(progress, (std::vector<int>{20, 40, 60, 80, 100}));

    // Grey 128 to black and white gives the checkerboard.
    DibGuard grey(testutil::solidImage(4, 2, platform::RGB(128, 128, 128)));
    DibGuard bw;
    newdib(bw.out(), 4, 2, 1, nullptr, 0);
    FloydSteinberg(grey.get(), bw.get());
    EXPECT_EQ(testutil::pixelValues(bw.get()), (std::vector<uint32_t>{1, 0, 1, 0, 0, 1, 0, 1}));

    // Palette sources give their colours: the same picture as 8 bits
    // diffuses alike; a picture without pixels leaves the target alone.
    DibGuard eight;
    newdib(eight.out(), 7, 5, 8, nullptr, 0);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) {
            const uint32_t v = getpixel(source.get(), x, y);
            setPaletteEntry(eight.get(), y * 7 + x, uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16));
            setpixel(eight.get(), x, y, uint32_t(y * 7 + x));
        }
    refreshPalette(eight.get());
    DibGuard again(MakeDIBCopy(target.get()));
    std::memset(again->Bits, 0, DibSizeImage(again.get()));
    FloydSteinberg(eight.get(), again.get());
    EXPECT_EQ(testutil::pixelValues(again.get()), testutil::pixelValues(target.get()));
    const std::vector<uint32_t> before = testutil::pixelValues(again.get());
    FloydSteinberg(TDibRecord{}, again.get());
    EXPECT_EQ(testutil::pixelValues(again.get()), before);
}

TEST(Depth, OrderedDitherByStorageRow)
{
    // 11 rows, so that rows counted from the bottom differ from rows
    // counted from the top modulo 8.
    const int w = 16, h = 11;
    DibGuard exact(testutil::solidImage(w, h, platform::RGB(51, 102, 153)));
    DibGuard grey(testutil::solidImage(w, h, platform::RGB(60, 60, 60)));
    FilterContext context;
    DepthDownOptions options{8, 256, false, OrderedDither, false};
    ASSERT_TRUE(DepthDownTo(exact.get(), options, context));
    ASSERT_TRUE(DepthDownTo(grey.get(), options, context));
    int light = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            EXPECT_EQ(getpixel(exact.get(), x, y), 139u);
            const bool below9 = kDitherThreshold[x % 8][(h - 1 - y) % 8] < 9;
            EXPECT_EQ(getpixel(grey.get(), x, y), below9 ? 109u : 67u) << x << ", " << y;
            light += getpixel(grey.get(), x, y) == 109 ? 1 : 0;
        }
    }
    // 12 of every full 8 x 8 block, and 6 in the first three rows of a block.
    EXPECT_EQ(light, 2 * 12 + 2 * 6);
    expectPaletteCopiesAgree(grey.get());
}

TEST(Depth, ReductionsKeepWhatTheyShould)
{
    FilterContext context;
    // At most 16 colours, channels multiples of 32: an optimised 16-colour
    // palette with nearest colour keeps every pixel.
    DibGuard sixteen;
    newdib(sixteen.out(), 100, 100, 24, nullptr, 0);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x) {
            const int k = (x / 7 + y / 13) % 16;
            setpixel(sixteen.get(), x, y,
                     platform::RGB(uint8_t(32 * (k % 8)), uint8_t(32 * (k / 2)), uint8_t(224 - 32 * (k % 5))));
        }
    const std::vector<uint8_t> colours = testutil::rgbPixels(sixteen.get());
    ASSERT_TRUE(DepthDownTo(sixteen.get(), {4, 16, true, NearestColour, false}, context));
    EXPECT_EQ(DibBitCount(sixteen.get()), 4);
    EXPECT_EQ(testutil::rgbPixels(sixteen.get()), colours);
    expectPaletteCopiesAgree(sixteen.get());

    // To 1 bit with nearest colour: black, white, grey 127 and 128.
    DibGuard bw;
    newdib(bw.out(), 4, 1, 24, nullptr, 0);
    const uint8_t greys[] = {0, 255, 127, 128};
    for (int x = 0; x < 4; ++x)
        setpixel(bw.get(), x, 0, platform::RGB(greys[x], greys[x], greys[x]));
    DibGuard bwPalette;
    newdib(bwPalette.out(), 4, 1, 8, nullptr, 0); // grey ramp: index = grey
    for (int x = 0; x < 4; ++x)
        setpixel(bwPalette.get(), x, 0, greys[x]);
    for (DibGuard* picture : {&bw, &bwPalette}) {
        ASSERT_TRUE(DepthDownTo(picture->get(), {1, 2, true, NearestColour, false}, context));
        EXPECT_EQ(testutil::pixelValues(picture->get()), (std::vector<uint32_t>{0, 1, 0, 1}));
        EXPECT_EQ(DibBitCount(picture->get()), 1);
    }

    // 256 colours with the system colours: entries 0-9 and 246-255 stay,
    // the popular colours follow from entry 10, most popular first.
    DibGuard photo(testutil::patternImage(64, 48, 24, 3));
    recht_filled(photo.get(), 0, 0, 63, 30, platform::RGB(250, 10, 90));
    ASSERT_TRUE(DepthDownTo(photo.get(), {8, 256, true, ErrorDiffusion, true}, context));
    const auto standard = standardPalette256();
    for (int i : {0, 5, 9, 246, 250, 255})
        EXPECT_TRUE(sameEntry(photo->LogPal.palPalEntry[i], standard[size_t(i)])) << i;
    EXPECT_TRUE(sameEntry(photo->LogPal.palPalEntry[10], {240, 0, 80, 0}));
    expectPaletteCopiesAgree(photo.get());
}

TEST(Depth, EveryPairConvertsOrChangesNothing)
{
    struct Case {
        int from;
        bool down; // DepthDownTo, else DepthUpTo
        int target;
        int bits;  // the depth afterwards
        uint32_t col2;
    } const cases[] = {
        {24, true, 1, 1, 1},   {8, true, 1, 1, 1},     {4, true, 1, 1, 1},    {24, true, 4, 4, 15},
        {8, true, 4, 4, 15},   {24, true, 8, 8, 255},  {8, true, 8, 8, 0},    {4, true, 4, 4, 0},
        {4, true, 8, 4, 0},    {1, true, 1, 1, 0},     {1, false, 4, 4, 15},  {1, false, 8, 8, 255},
        {1, false, 24, 24, 16777215}, {4, false, 8, 8, 255}, {4, false, 24, 24, 16777215},
        {8, false, 24, 24, 16777215}, {8, false, 4, 8, 0}, {24, false, 24, 24, 0}, {4, false, 4, 4, 0},
    };
    for (const auto& c : cases) {
        DibGuard picture(testutil::patternImage(9, 5, c.from, 4));
        const uint8_t* bits = picture->Bits;
        FilterContext context;
        context.Col1 = 7;
        const bool converted = c.down ? DepthDownTo(picture.get(), {c.target, 1 << c.target, true, ErrorDiffusion,
                                                                     true},
                                                    context)
                                      : DepthUpTo(picture.get(), c.target, context);
        const bool expectChange = c.col2 != 0;
        EXPECT_EQ(converted, expectChange) << c.from << (c.down ? " down to " : " up to ") << c.target;
        EXPECT_EQ(DibBitCount(picture.get()), c.bits) << c.from << " to " << c.target;
        EXPECT_EQ(context.Col1, expectChange ? 0u : 7u);
        EXPECT_EQ(context.Col2, c.col2);
        if (!expectChange)
            EXPECT_EQ(picture->Bits, bits) << "the picture was replaced";
        else if (DibBitCount(picture.get()) <= 8)
            expectPaletteCopiesAgree(picture.get());
    }
}

TEST(Depth, RaisingKeepsColoursAndTakesOneBitAsBlackAndWhite)
{
    FilterContext context;
    // A 1-bit picture with red and green in its palette: 1 -> 8 -> 24 turns
    // set pixels white and clear ones black.
    DibGuard one(testutil::patternImage(13, 3, 1, 2));
    const std::vector<uint32_t> bits = testutil::pixelValues(one.get());
    platform::RandSeed = 99;
    ASSERT_TRUE(DepthUpTo(one.get(), 8, context));
    std::vector<uint32_t> indices;
    for (uint32_t b : bits)
        indices.push_back(b ? 255 : 0);
    EXPECT_EQ(testutil::pixelValues(one.get()), indices);
    for (int i = 1; i < 255; ++i) {
        const PALETTEENTRY e = one->LogPal.palPalEntry[i];
        ASSERT_TRUE(e.peRed % 4 == 0 && e.peGreen % 4 == 0 && e.peBlue % 4 == 0) << i;
    }
    EXPECT_FALSE(sameEntry(one->LogPal.palPalEntry[1], one->LogPal.palPalEntry[2]));
    expectPaletteCopiesAgree(one.get());
    ASSERT_TRUE(DepthUpTo(one.get(), 24, context));
    for (size_t i = 0; i < bits.size(); ++i)
        EXPECT_EQ(testutil::pixelValues(one.get())[i], bits[i] ? 0xFFFFFFu : 0u);

    // The same seed gives the same random colours.
    DibGuard a(testutil::patternImage(5, 2, 1, 7)), b(testutil::patternImage(5, 2, 1, 7));
    platform::RandSeed = 12345;
    DepthUpTo(a.get(), 4, context);
    platform::RandSeed = 12345;
    DepthUpTo(b.get(), 4, context);
    EXPECT_EQ(std::memcmp(a->LogPal.palPalEntry, b->LogPal.palPalEntry, 16 * sizeof(PALETTEENTRY)), 0);
    EXPECT_TRUE(sameEntry(a->LogPal.palPalEntry[15], {255, 255, 255, 0}));

    // 4 -> 8 keeps the indices and the first 16 colours; 8 -> 24 gives
    // every pixel its palette colour.
    DibGuard four(testutil::patternImage(11, 4, 4, 8));
    DibGuard fourCopy(MakeDIBCopy(four.get()));
    ASSERT_TRUE(DepthUpTo(four.get(), 8, context));
    EXPECT_EQ(testutil::pixelValues(four.get()), testutil::pixelValues(fourCopy.get()));
    EXPECT_EQ(testutil::rgbPixels(four.get()), testutil::rgbPixels(fourCopy.get()));
    DibGuard eight(testutil::patternImage(11, 4, 8, 9));
    const std::vector<uint8_t> colours = testutil::rgbPixels(eight.get());
    ASSERT_TRUE(DepthUpTo(eight.get(), 24, context));
    EXPECT_EQ(testutil::rgbPixels(eight.get()), colours);
}

TEST(Depth, FreeCountGivesTheTarget)
{
    // The free dialog: up to 16 colours give 4 bits, more give 8.
    EXPECT_EQ(freeDepthOptions(16, false, NearestColour).target, 4);
    EXPECT_EQ(freeDepthOptions(17, false, OrderedDither).target, 8);
    EXPECT_EQ(freeDepthOptions(17, false, OrderedDither).method, NearestColour);
}
