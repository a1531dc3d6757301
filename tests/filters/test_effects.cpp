#include "filters/effects.h"
#include "platform/random.h"
#include "raster/rasterio.h"
#include "tests/testutil.h"

#include <gtest/gtest.h>

#include <functional>

using namespace raster;
using namespace filters;

namespace {

// A rectangular selection from (x0, y0) to (x1, y1) in a mask of w x h.
Selection boxSelection(DibGuard& mask, int w, int h, int x0, int y0, int x1, int y1)
{
    newdib(mask.out(), w, h, 1, nullptr, 0);
    recht_filled(mask.get(), x0, y0, x1, y1, 1);
    return {true, mask.get(), x0, y0, x1, y1};
}

// Red, green, blue of a 24-bit pixel.
std::array<int, 3> rgb(const TDibRecord& dib, int x, int y)
{
    const uint32_t v = getpixel(dib, x, y);
    return {int(v & 255), int((v >> 8) & 255), int((v >> 16) & 255)};
}

std::array<int, 3> grey(int v)
{
    return {v, v, v};
}

} // namespace

TEST(Effects, ShadowFallsWhereTheMovedSelectionMeetsUnselectedPixels)
{
    DibGuard mask;
    FilterContext context;
    context.selection = boxSelection(mask, 24, 20, 0, 0, 10, 10);
    DibGuard original(testutil::solidImage(24, 20, platform::RGB(200, 200, 200)));

    // No offset, or full transparency, leaves the picture.
    for (const auto& [h, v, t] : {std::tuple{0, 0, 0}, std::tuple{5, 5, 100}}) {
        DibGuard image(MakeDIBCopy(original.get()));
        DrawShadow(image.get(), h, v, t, 0, 0, context);
        EXPECT_TRUE(testutil::samePixels(image.get(), original.get())) << h << " " << t;
    }

    // Softness and transparency 0: the plain colour exactly on the pixels
    // right and below the selection within its moved box.
    DibGuard plain(MakeDIBCopy(original.get()));
    DrawShadow(plain.get(), 5, 3, 0, 0, platform::RGB(10, 20, 30), context);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 24; ++x) {
            const bool shadow = (x > 10 || y > 10) && x >= 5 && x <= 15 && y >= 3 && y <= 13;
            EXPECT_EQ(rgb(plain.get(), x, y), (shadow ? std::array<int, 3>{10, 20, 30} : grey(200))) << x << ", " << y;
        }

    // Softness 40, transparency 10, black: with a = b = 5 and the centre at
    // (10, 10), pixel (14, 12) has d = 80, fades half way: shade 100, then
    // mixed to 110; the outer corner (15, 15) fades out completely.
    DibGuard soft(MakeDIBCopy(original.get()));
    DrawShadow(soft.get(), 5, 5, 10, 40, 0, context);
    EXPECT_EQ(rgb(soft.get(), 14, 12), grey(110));
    EXPECT_EQ(rgb(soft.get(), 15, 15), grey(200));
    EXPECT_EQ(rgb(soft.get(), 11, 11), grey(20)); // d = 20: the full shade, 10 % picture
    EXPECT_EQ(rgb(soft.get(), 10, 10), grey(200)); // selected itself

    // Palette pictures get the index; without a selection nothing happens.
    DibGuard palette(testutil::patternImage(24, 20, 8, 3));
    DibGuard paletteCopy(MakeDIBCopy(palette.get()));
    DrawShadow(palette.get(), 2, 2, 50, 50, 77, context);
    EXPECT_EQ(getpixel(palette.get(), 12, 12), 77u);
    EXPECT_EQ(getpixel(palette.get(), 11, 1), getpixel(paletteCopy.get(), 11, 1));
    DibGuard untouched(MakeDIBCopy(paletteCopy.get()));
    DrawShadow(paletteCopy.get(), 2, 2, 0, 0, 77, {});
    EXPECT_TRUE(testutil::samePixels(paletteCopy.get(), untouched.get()));
}

TEST(Effects, ButtonFrameShadesItsBands)
{
    DibGuard mask;
    FilterContext context;
    context.selection = boxSelection(mask, 30, 30, 0, 0, 20, 20); // W = H = 20, centre (10, 10)
    DibGuard original(testutil::solidImage(30, 30, platform::RGB(0, 0, 0)));

    DibGuard solid(MakeDIBCopy(original.get()));
    Buttonize(solid.get(), 4, 0, true, platform::RGB(255, 255, 255), context);
    EXPECT_EQ(rgb(solid.get(), 0, 10), grey(128));  // outermost left: c - c div 2
    EXPECT_EQ(rgb(solid.get(), 20, 10), grey(0));   // outermost right: black
    EXPECT_EQ(rgb(solid.get(), 10, 0), grey(128));  // outermost top
    EXPECT_EQ(rgb(solid.get(), 2, 10), grey(192));  // half way into the left band
    EXPECT_EQ(rgb(solid.get(), 10, 10), grey(0));   // the middle is left alone
    EXPECT_EQ(rgb(solid.get(), 25, 10), grey(0));   // outside the selection
    // The mitre of the upper right corner averages the right and top shades
    // (64 and 192); its neighbours take one band each.
    EXPECT_EQ(rgb(solid.get(), 18, 2), grey(128));
    EXPECT_EQ(rgb(solid.get(), 17, 2), grey(192));
    EXPECT_EQ(rgb(solid.get(), 18, 3), grey(64));

    // A transparent frame lets the picture through towards the inside.
    DibGuard clear(MakeDIBCopy(original.get()));
    Buttonize(clear.get(), 10, 0, false, platform::RGB(255, 255, 255), context);
    EXPECT_EQ(rgb(clear.get(), 5, 10), grey(96)); // shade 192, half of it kept

    // Frame width 0, a one-pixel-wide selection and palette pictures: nothing.
    DibGuard line;
    FilterContext lineContext;
    lineContext.selection = boxSelection(line, 30, 30, 5, 0, 5, 20);
    const struct {
        const char* what;
        int bits;
        int w;
        const FilterContext* context;
    } unchanged[] = {{"width 0", 24, 0, &context}, {"one pixel wide", 24, 4, &lineContext}, {"8 bits", 8, 4, &context}};
    for (const auto& c : unchanged) {
        DibGuard image(testutil::patternImage(30, 30, c.bits, 5));
        DibGuard copy(MakeDIBCopy(image.get()));
        Buttonize(image.get(), c.w, 0, true, platform::RGB(255, 255, 255), *c.context);
        EXPECT_TRUE(testutil::samePixels(image.get(), copy.get())) << c.what;
    }
}

TEST(Effects, MosaicTakesEachBlocksTopLeftPixelAtEveryDepth)
{
    for (int bits : {1, 4, 8, 24}) {
        DibGuard image(testutil::patternImage(13, 9, bits, 7));
        DibGuard copy(MakeDIBCopy(image.get()));
        DibGuard mask;
        FilterContext context;
        context.selection = boxSelection(mask, 13, 9, 2, 1, 10, 7);
        MosaikEffekt(image.get(), 3, 2, context);
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 13; ++x) {
                const bool in = x >= 2 && x <= 10 && y >= 1 && y <= 7;
                EXPECT_EQ(getpixel(image.get(), x, y), getpixel(copy.get(), in ? x / 3 * 3 : x, in ? y / 2 * 2 : y))
                    << bits << " bits at " << x << ", " << y;
            }
        // 1 x 1 changes nothing; one block as large as the picture paints it
        // all in its top-left pixel.
        DibGuard before(MakeDIBCopy(image.get()));
        MosaikEffekt(image.get(), 1, 1, {});
        EXPECT_TRUE(testutil::samePixels(image.get(), before.get())) << bits;
        MosaikEffekt(copy.get(), 13, 9, {});
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 13; ++x)
                ASSERT_EQ(getpixel(copy.get(), x, y), getpixel(copy.get(), 0, 0)) << bits;
    }
}

TEST(Effects, NeighbourhoodEffectsOnUniformPictures)
{
    using Effect = std::function<NeighbourhoodOutcome(TDibRecord&, const FilterContext&)>;
    const Effect erode = [](TDibRecord& d, const FilterContext& c) { return DibErodeFilter(d, c); };
    const Effect dilate = [](TDibRecord& d, const FilterContext& c) { return DibDilateFilter(d, c); };
    const Effect denoise255 = [](TDibRecord& d, const FilterContext& c) { return DelNoise(d, 255, c); };
    const struct {
        const char* what;
        Effect effect;
        int in, out;
    } cases[] = {
        {"wash out white", erode, 255, 255}, {"wash out grey 80", erode, 80, 40}, {"wash out 96", erode, 96, 96},
        {"wash out 95", erode, 95, 47},      {"expand 200", dilate, 200, 250},   {"expand 160", dilate, 160, 160},
        {"expand 255", dilate, 255, 255},    {"noise removal 255", denoise255, 90, 90},
    };
    for (const auto& c : cases) {
        DibGuard image(testutil::solidImage(7, 6, platform::RGB(uint8_t(c.in), uint8_t(c.in), uint8_t(c.in))));
        EXPECT_EQ(c.effect(image.get(), {}), NeighbourhoodOutcome::Done) << c.what;
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 7; ++x)
                ASSERT_EQ(rgb(image.get(), x, y), grey(c.out)) << c.what << " at " << x << ", " << y;
    }

    // Palette pictures are left alone.
    DibGuard palette(testutil::patternImage(7, 6, 8, 2));
    DibGuard copy(MakeDIBCopy(palette.get()));
    EXPECT_EQ(DibErodeFilter(palette.get(), {}), NeighbourhoodOutcome::NotApplied);
    EXPECT_TRUE(testutil::samePixels(palette.get(), copy.get()));
}

TEST(Effects, WashOutUsesTheWindowAndTheSelection)
{
    // A dark picture with one bright column: pixels whose window stays dark
    // halve their window's mean colour, computed from unchanged neighbours;
    // unselected pixels keep their colour.
    DibGuard image(testutil::solidImage(9, 5, platform::RGB(20, 40, 60)));
    recht_filled(image.get(), 0, 0, 0, 4, platform::RGB(255, 255, 255));
    DibGuard mask;
    FilterContext context;
    context.selection = boxSelection(mask, 9, 5, 0, 0, 7, 4);
    ASSERT_EQ(DibErodeFilter(image.get(), context), NeighbourhoodOutcome::Done);
    // Columns 0 and 1 see three and two white columns (the edge repeats
    // twice) and stay; column 2 sees one and is washed out.
    EXPECT_EQ(rgb(image.get(), 0, 2), grey(255));
    EXPECT_EQ(rgb(image.get(), 1, 2), (std::array<int, 3>{20, 40, 60}));
    EXPECT_EQ(rgb(image.get(), 2, 2), (std::array<int, 3>{(5 * 255 + 20 * 20) / 50, (5 * 255 + 20 * 40) / 50,
                                                         (5 * 255 + 20 * 60) / 50}));
    EXPECT_EQ(rgb(image.get(), 5, 2), (std::array<int, 3>{10, 20, 30}));
    EXPECT_EQ(rgb(image.get(), 8, 2), (std::array<int, 3>{20, 40, 60})); // not selected
}

TEST(Effects, NoiseAndNoiseRemoval)
{
    // Strength 1 draws only 0.
    DibGuard original(testutil::patternImage(20, 10, 24, 4));
    DibGuard image(MakeDIBCopy(original.get()));
    AddNoise(image.get(), 1, 100, {});
    EXPECT_TRUE(testutil::samePixels(image.get(), original.get()));

    // Half of the pixels change, each channel by -8..7; repeatable from a seed.
    DibGuard grey100(testutil::solidImage(100, 100, platform::RGB(100, 100, 100)));
    platform::RandSeed = 4711;
    addNoiseFromSeed(grey100.get(), 16, 50, {});
    int changed = 0;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x) {
            const auto c = rgb(grey100.get(), x, y);
            changed += c != grey(100) ? 1 : 0;
            for (int v : c)
                ASSERT_TRUE(v >= 92 && v <= 107) << v;
        }
    EXPECT_GT(changed, 4500);
    EXPECT_LT(changed, 5200);
    DibGuard again(testutil::solidImage(100, 100, platform::RGB(100, 100, 100)));
    platform::RandSeed = 4711;
    addNoiseFromSeed(again.get(), 16, 50, {});
    EXPECT_TRUE(testutil::samePixels(again.get(), grey100.get()));

    // An isolated white pixel on black becomes its window mean (10, 10, 10)
    // with threshold 50; its neighbours stay black.
    DibGuard dot(testutil::solidImage(9, 9, platform::RGB(0, 0, 0)));
    setpixel(dot.get(), 4, 4, 0xFFFFFF);
    ASSERT_EQ(DelNoise(dot.get(), 50, {}), NeighbourhoodOutcome::Done);
    EXPECT_EQ(rgb(dot.get(), 4, 4), grey(10));
    EXPECT_EQ(rgb(dot.get(), 3, 4), grey(0));
}

TEST(Effects, ColourChoice)
{
    FilterContext context;
    context.Col1 = 0x123456;
    context.Col2 = 0x654321;
    DibGuard truecolour(testutil::patternImage(4, 4, 24, 1));
    EXPECT_EQ(effectColour(truecolour.get(), EffectColour::Vordergrundfarbe, context), 0x123456u);
    EXPECT_EQ(effectColour(truecolour.get(), EffectColour::Hintergrundfarbe, context), 0x654321u);
    EXPECT_EQ(effectColour(truecolour.get(), EffectColour::Rot, context), 0x0000FFu);
    EXPECT_EQ(effectColour(truecolour.get(), EffectColour::Blau, context), 0xFF0000u);
    // Palette pictures: the nearest entry of the fixed colours.
    DibGuard palette;
    newdib(palette.out(), 4, 4, 4, nullptr, 0);
    setPaletteEntry(palette.get(), 9, 250, 5, 0);
    setPaletteEntry(palette.get(), 3, 0, 240, 10);
    refreshPalette(palette.get());
    EXPECT_EQ(effectColour(palette.get(), EffectColour::Rot, context), 9u);
    EXPECT_EQ(effectColour(palette.get(), EffectColour::Gruen, context), 3u);
    EXPECT_EQ(effectColour(palette.get(), EffectColour::Weiss, context), 15u);
}
