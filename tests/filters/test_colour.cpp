#include "filters/colour.h"
#include "platform/palette.h"
#include "raster/rasterio.h"
#include "tests/testutil.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>

using namespace raster;
using namespace filters;

namespace {

using Op = std::function<void(TDibRecord&, const FilterContext&)>;

struct Named {
    const char* name;
    Op op;
};

RgbColour pixelColour(const TDibRecord& dib, int x, int y)
{
    const uint32_t v = getpixel(dib, x, y);
    return {int32_t(v & 0xFF), int32_t((v >> 8) & 0xFF), int32_t((v >> 16) & 0xFF)};
}

RgbColour entryColour(const TDibRecord& dib, int i)
{
    const RGBQUAD q = dib.Info->bmiColors[i];
    return {q.rgbRed, q.rgbGreen, q.rgbBlue};
}

DibGuard onePixel(RgbColour c)
{
    DibGuard dib;
    newdib(dib.out(), 1, 1, 24, nullptr, 0);
    setpixel(dib.get(), 0, 0, platform::RGB(uint8_t(c.R), uint8_t(c.G), uint8_t(c.B)));
    return dib;
}

// An 8-bit picture whose entry 0 is c and whose other entries keep the
// pattern's colours.
DibGuard onePaletteEntry(RgbColour c)
{
    DibGuard dib(testutil::patternImage(3, 2, 8, 11));
    setPaletteEntry(dib.get(), 0, uint8_t(c.R), uint8_t(c.G), uint8_t(c.B));
    refreshPalette(dib.get());
    return dib;
}

// A random selection mask with its bounding box.
void randomSelection(std::mt19937& rng, int w, int h, DibGuard& mask, Selection& selection)
{
    newdib(mask.out(), w, h, 1, nullptr, 0);
    selection = {true, mask.get(), w, h, -1, -1};
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (rng() % 2 == 0)
                continue;
            setpixel(mask.get(), x, y, 1);
            selection.SelLeft = std::min(selection.SelLeft, x);
            selection.SelTop = std::min(selection.SelTop, y);
            selection.SelRight = std::max(selection.SelRight, x);
            selection.SelBottom = std::max(selection.SelBottom, y);
        }
    }
}

} // namespace

namespace filters {
// Readable colours in failure messages.
void PrintTo(const RgbColour& c, std::ostream* os)
{
    *os << "(" << c.R << ", " << c.G << ", " << c.B << ")";
}
} // namespace filters

TEST(Colour, EachOperationMapsColoursAsDocumented)
{
    struct Case {
        const char* what;
        Op op;
        RgbColour in, out;
    };
    const Case cases[] = {
        {"Graustufen of pure red", [](auto& d, auto& c) { DibGrayscale(d, c); }, {255, 0, 0}, {76, 76, 76}},
        {"Invert", [](auto& d, auto& c) { DibInvert(d, c); }, {1, 2, 3}, {254, 253, 252}},
        {"Helligkeit +50", [](auto& d, auto& c) { Helligkeit(d, 50, c); }, {10, 250, 100}, {60, 255, 150}},
        {"Helligkeit -127", [](auto& d, auto& c) { Helligkeit(d, -127, c); }, {10, 250, 127}, {0, 123, 0}},
        {"Kontrast 200", [](auto& d, auto& c) { Kontrast(d, 200, c); }, {127, 128, 0}, {0, 255, 0}},
        {"Kontrast 150", [](auto& d, auto& c) { Kontrast(d, 150, c); }, {100, 200, 128}, {50, 228, 192}},
        {"Kontrast 0", [](auto& d, auto& c) { Kontrast(d, 0, c); }, {0, 255, 128}, {127, 127, 127}},
        {"Kontrast 50", [](auto& d, auto& c) { Kontrast(d, 50, c); }, {0, 255, 26}, {64, 191, 77}},
        {"Saettigung -100", [](auto& d, auto& c) { Saettigung(d, -100, c); }, {0, 255, 77}, {128, 128, 128}},
        {"Saettigung +100", [](auto& d, auto& c) { Saettigung(d, 100, c); }, {100, 200, 0}, {72, 255, 0}},
        {"Saettigung -50", [](auto& d, auto& c) { Saettigung(d, -50, c); }, {27, 255, 128}, {78, 191, 128}},
        {"Gamma 1.8", [](auto& d, auto& c) { Gamma(d, 1.8, c); }, {128, 255, 0}, {182, 255, 0}},
        {"Gamma 0.5", [](auto& d, auto& c) { Gamma(d, 0.5, c); }, {64, 1, 200}, {0, 0, 174}},
        {"RedGreenBlue 50 -50 0", [](auto& d, auto& c) { RedGreenBlue(d, 50, -50, 0, c); }, {200, 199, 77},
         {255, 99, 77}},
        {"RedGreenBlue -100 100 -1", [](auto& d, auto& c) { RedGreenBlue(d, -100, 100, -1, c); }, {200, 100, 99},
         {0, 200, 98}},
        {"Colorize hue 0 of luminance 127", [](auto& d, auto& c) { Colorize(d, 0, 255, c); }, {128, 128, 128},
         {255, 0, 0}},
        {"Colorize hue 128 of luminance 127", [](auto& d, auto& c) { Colorize(d, 128, 255, c); }, {128, 128, 128},
         {0, 253, 255}},
        {"Colorize black without saturation", [](auto& d, auto& c) { Colorize(d, 40, 0, c); }, {0, 0, 0},
         {1, 1, 1}},
        {"HighMidShadow highlight", [](auto& d, auto& c) { HighMidShadow(d, 200, 100, 50, c); }, {210, 200, 190},
         {255, 255, 255}},
        {"HighMidShadow shadow", [](auto& d, auto& c) { HighMidShadow(d, 200, 100, 50, c); }, {40, 60, 20},
         {0, 0, 0}},
        {"HighMidShadow middle", [](auto& d, auto& c) { HighMidShadow(d, 200, 100, 50, c); }, {100, 120, 20},
         {72, 92, 0}},
        {"HighMidShadow high below shadow", [](auto& d, auto& c) { HighMidShadow(d, 50, 100, 200, c); },
         {50, 50, 50}, {255, 255, 255}},
        {"Poster shift 7", [](auto& d, auto& c) { DibPoster(d, 7, c); }, {127, 128, 255}, {0, 128, 128}},
        {"Poster shift 4", [](auto& d, auto& c) { DibPoster(d, 4, c); }, {15, 16, 255}, {0, 16, 240}},
        {"Solar 255 inverts all", [](auto& d, auto& c) { DibSolar(d, 255, c); }, {10, 20, 30}, {245, 235, 225}},
        {"Solar 1 at sum 762", [](auto& d, auto& c) { DibSolar(d, 1, c); }, {254, 254, 254}, {1, 1, 1}},
        {"Solar 1 below 762", [](auto& d, auto& c) { DibSolar(d, 1, c); }, {254, 254, 253}, {254, 254, 253}},
    };
    for (const auto& c : cases) {
        // The same map for a 24-bit pixel and for a palette entry.
        DibGuard pixel = onePixel(c.in);
        c.op(pixel.get(), {});
        EXPECT_EQ(pixelColour(pixel.get(), 0, 0), c.out) << c.what << " (pixel)";
        DibGuard palette = onePaletteEntry(c.in);
        c.op(palette.get(), {});
        EXPECT_EQ(entryColour(palette.get(), 0), c.out) << c.what << " (palette)";
    }
}

TEST(Colour, NeutralSettingsLeavePicturesUnchanged)
{
    const Named ops[] = {
        {"Helligkeit 0", [](auto& d, auto& c) { Helligkeit(d, 0, c); }},
        {"Kontrast 100", [](auto& d, auto& c) { Kontrast(d, 100, c); }},
        {"Saettigung 0", [](auto& d, auto& c) { Saettigung(d, 0, c); }},
        {"Gamma 1.0", [](auto& d, auto& c) { Gamma(d, 1.0, c); }},
        {"RedGreenBlue 0 0 0", [](auto& d, auto& c) { RedGreenBlue(d, 0, 0, 0, c); }},
        {"HighMidShadow 255 128 0", [](auto& d, auto& c) { HighMidShadow(d, 255, 128, 0, c); }},
    };
    for (const auto& op : ops) {
        for (const int bits : {1, 4, 8, 24}) {
            DibGuard image(testutil::patternImage(64, 5, bits, 2));
            DibGuard before(MakeDIBCopy(image.get()));
            op.op(image.get(), {});
            EXPECT_TRUE(testutil::samePixels(image.get(), before.get())) << op.name << " " << bits;
        }
    }
}

TEST(Colour, PalettePicturesChangeOnlyTheirPaletteWhateverIsSelected)
{
    const Named ops[] = {
        {"DibInvert", [](auto& d, auto& c) { DibInvert(d, c); }},
        {"DibGrayscale", [](auto& d, auto& c) { DibGrayscale(d, c); }},
        {"Helligkeit", [](auto& d, auto& c) { Helligkeit(d, 40, c); }},
        {"Kontrast", [](auto& d, auto& c) { Kontrast(d, 160, c); }},
        {"Saettigung", [](auto& d, auto& c) { Saettigung(d, 60, c); }},
        {"Gamma", [](auto& d, auto& c) { Gamma(d, 2.2, c); }},
        {"RedGreenBlue", [](auto& d, auto& c) { RedGreenBlue(d, 30, -20, 10, c); }},
        {"Colorize", [](auto& d, auto& c) { Colorize(d, 200, 150, c); }},
        {"HighMidShadow", [](auto& d, auto& c) { HighMidShadow(d, 220, 140, 30, c); }},
        {"StretchHistogramm", [](auto& d, auto& c) { StretchHistogramm(d, c); }},
        {"DibPoster", [](auto& d, auto& c) { DibPoster(d, 5, c); }},
        {"DibSolar", [](auto& d, auto& c) { DibSolar(d, 200, c); }},
    };
    std::mt19937 rng(3);
    for (const auto& op : ops) {
        for (const int bits : {4, 8}) {
            DibGuard image(testutil::patternImage(9, 6, bits, 5));
            DibGuard before(MakeDIBCopy(image.get()));
            DibGuard unselected(MakeDIBCopy(image.get()));
            op.op(unselected.get(), {});

            DibGuard mask;
            FilterContext context;
            randomSelection(rng, 9, 6, mask, context.selection);
            op.op(image.get(), context);

            EXPECT_EQ(std::memcmp(image->Bits, before->Bits, DibSizeImage(image.get())), 0) << op.name << " " << bits;
            bool changed = false;
            for (int i = 0; i < DibColorCount(image.get()); ++i) {
                const RgbColour now = entryColour(image.get(), i);
                changed = changed || !(now == entryColour(before.get(), i));
                ASSERT_EQ(now, entryColour(unselected.get(), i)) << op.name << " " << bits << " entry " << i;
                const platform::PALETTEENTRY logical = image->LogPal.palPalEntry[i];
                const platform::PALETTEENTRY handle = image->Palette->entries[size_t(i)];
                ASSERT_EQ((RgbColour{logical.peRed, logical.peGreen, logical.peBlue}), now) << op.name;
                ASSERT_EQ((RgbColour{handle.peRed, handle.peGreen, handle.peBlue}), now) << op.name;
            }
            EXPECT_TRUE(changed) << op.name << " " << bits;
        }
    }
}

TEST(Colour, DepthsEachOperationHandles)
{
    // 1-bit pictures: brightness and contrast change the palette, inverting
    // flips the pixel bits and keeps the palette, the rest leave them alone.
    enum Effect { Palette, PixelBits, Nothing };
    const std::pair<Named, Effect> cases[] = {
        {{"Helligkeit", [](auto& d, auto& c) { Helligkeit(d, 40, c); }}, Palette},
        {{"Kontrast", [](auto& d, auto& c) { Kontrast(d, 20, c); }}, Palette},
        {{"DibInvert", [](auto& d, auto& c) { DibInvert(d, c); }}, PixelBits},
        {{"DibGrayscale", [](auto& d, auto& c) { DibGrayscale(d, c); }}, Nothing},
        {{"Saettigung", [](auto& d, auto& c) { Saettigung(d, 60, c); }}, Nothing},
        {{"StretchHistogramm", [](auto& d, auto& c) { StretchHistogramm(d, c); }}, Nothing},
        {{"DibSolar", [](auto& d, auto& c) { DibSolar(d, 255, c); }}, Nothing},
    };
    for (const auto& [op, effect] : cases) {
        DibGuard image(testutil::patternImage(13, 3, 1, 8));
        setPaletteEntry(image.get(), 0, 10, 20, 30);
        setPaletteEntry(image.get(), 1, 200, 210, 220);
        refreshPalette(image.get());
        DibGuard before(MakeDIBCopy(image.get()));
        // A selection of nothing changes nothing of a 24-bit picture, but
        // plays no part here.
        DibGuard mask;
        newdib(mask.out(), 13, 3, 1, nullptr, 0);
        FilterContext context;
        context.selection = {true, mask.get(), 0, 0, -1, -1};
        op.op(image.get(), context);
        const bool samePalette = entryColour(image.get(), 0) == entryColour(before.get(), 0) &&
                                 entryColour(image.get(), 1) == entryColour(before.get(), 1);
        EXPECT_EQ(samePalette, effect != Palette) << op.name;
        for (uint32_t i = 0; i < DibSizeImage(image.get()); ++i)
            ASSERT_EQ(image->Bits[i], effect == PixelBits ? uint8_t(~before->Bits[i]) : before->Bits[i]) << op.name;
    }
}

TEST(Colour, SelectionsLimitTrueColourPictures)
{
    const Named ops[] = {
        {"DibGrayscale", [](auto& d, auto& c) { DibGrayscale(d, c); }},
        {"DibInvert", [](auto& d, auto& c) { DibInvert(d, c); }},
        {"Kontrast", [](auto& d, auto& c) { Kontrast(d, 150, c); }},
        {"Colorize", [](auto& d, auto& c) { Colorize(d, 30, 200, c); }},
    };
    std::mt19937 rng(5);
    for (const auto& op : ops) {
        DibGuard image(testutil::patternImage(21, 7, 24, 6));
        DibGuard before(MakeDIBCopy(image.get()));
        DibGuard everywhere(MakeDIBCopy(image.get()));
        op.op(everywhere.get(), {});
        DibGuard mask;
        FilterContext context;
        randomSelection(rng, 21, 7, mask, context.selection);
        op.op(image.get(), context);
        for (int y = 0; y < 7; ++y) {
            for (int x = 0; x < 21; ++x) {
                const bool selected = getpixel(mask.get(), x, y) == 1;
                ASSERT_EQ(getpixel(image.get(), x, y), getpixel(selected ? everywhere.get() : before.get(), x, y))
                    << op.name << " at " << x << "," << y;
            }
        }
    }
}

TEST(Colour, StretchHistogrammSpreadsTheMeasuredLuminance)
{
    // Grey 50..150 over a row: lo 50, hi 150, n 101.
    {
        DibGuard image;
        newdib(image.out(), 101, 1, 24, nullptr, 0);
        for (int x = 0; x < 101; ++x)
            setpixel(image.get(), x, 0, platform::RGB(uint8_t(50 + x), uint8_t(50 + x), uint8_t(50 + x)));
        StretchHistogramm(image.get(), {});
        EXPECT_EQ(pixelColour(image.get(), 0, 0), (RgbColour{0, 0, 0}));
        EXPECT_EQ(pixelColour(image.get(), 50, 0), (RgbColour{126, 126, 126})); // 50 * 256 div 101
        EXPECT_EQ(pixelColour(image.get(), 100, 0), (RgbColour{253, 253, 253}));
    }
    // One luminance everywhere: n = 1, a channel at it becomes 0, above it 255.
    {
        DibGuard image;
        newdib(image.out(), 4, 3, 24, nullptr, 0);
        recht_filled(image.get(), 0, 0, 3, 2, platform::RGB(120, 103, 80)); // L = 105
        StretchHistogramm(image.get(), {});
        EXPECT_EQ(pixelColour(image.get(), 2, 1), (RgbColour{255, 0, 0}));
    }
    // Only the selected pixels are measured and changed.
    {
        DibGuard image;
        newdib(image.out(), 3, 1, 24, nullptr, 0);
        setpixel(image.get(), 0, 0, platform::RGB(0, 0, 0));
        setpixel(image.get(), 1, 0, platform::RGB(100, 100, 100));
        setpixel(image.get(), 2, 0, platform::RGB(150, 150, 150));
        DibGuard mask;
        newdib(mask.out(), 3, 1, 1, nullptr, 0);
        setpixel(mask.get(), 1, 0, 1);
        setpixel(mask.get(), 2, 0, 1);
        FilterContext context;
        context.selection = {true, mask.get(), 1, 0, 2, 0};
        StretchHistogramm(image.get(), context);
        EXPECT_EQ(pixelColour(image.get(), 0, 0), (RgbColour{0, 0, 0}));
        EXPECT_EQ(pixelColour(image.get(), 1, 0), (RgbColour{0, 0, 0}));
        EXPECT_EQ(pixelColour(image.get(), 2, 0), (RgbColour{250, 250, 250})); // 50 * 256 div 51
    }
    // A palette picture counts the entries its pixels use, not the others.
    {
        DibGuard image;
        newdib(image.out(), 2, 2, 8, nullptr, 0);
        for (int i = 0; i < 256; ++i)
            setPaletteEntry(image.get(), i, 0, 0, 0);
        setPaletteEntry(image.get(), 1, 60, 60, 60);
        setPaletteEntry(image.get(), 2, 90, 90, 90);
        setPaletteEntry(image.get(), 3, 200, 200, 200); // unused
        refreshPalette(image.get());
        for (int i = 0; i < 4; ++i)
            setpixel(image.get(), i % 2, i / 2, i < 2 ? 1 : 2);
        StretchHistogramm(image.get(), {});
        EXPECT_EQ(entryColour(image.get(), 1), (RgbColour{0, 0, 0}));
        EXPECT_EQ(entryColour(image.get(), 2), (RgbColour{247, 247, 247})); // 30 * 256 div 31
        EXPECT_EQ(entryColour(image.get(), 3), (RgbColour{255, 255, 255}));
    }
}

TEST(Colour, HueSatLumToRgbCases)
{
    struct Case {
        int32_t hue, sat, lum;
        RgbColour out;
    };
    const Case cases[] = {
        {0, 255, 127, {255, 0, 0}},    {128, 255, 127, {0, 253, 255}}, {255, 255, 127, {255, 0, 0}},
        {43, 255, 127, {253, 255, 0}}, // h = 258: the second sextant, R = 511 - 258
        {77, 0, 127, {128, 128, 128}}, {77, 0, 0, {1, 1, 1}},           {0, 255, 255, {255, 255, 255}},
        {0, 255, 200, {255, 145, 145}}, {0, 255, 0, {2, 0, 0}},
        {-5, 300, 127, {255, 0, 0}},   // outside values are taken as the nearest end
    };
    for (const auto& c : cases)
        EXPECT_EQ(HueSatLumToRgb(c.hue, c.sat, c.lum), c.out) << c.hue << " " << c.sat << " " << c.lum;
}

TEST(Colour, ProgressRunsFromZeroToZero)
{
    for (const int bits : {8, 24}) {
        std::vector<int> seen;
        FilterContext context;
        context.progress = [&seen](int p) { seen.push_back(p); };
        DibGuard image(testutil::patternImage(4, 30, bits, 2));
        Kontrast(image.get(), 150, context);
        ASSERT_GE(seen.size(), 3u) << bits;
        EXPECT_EQ(seen.front(), 0);
        EXPECT_EQ(seen.back(), 0);
        EXPECT_EQ(std::count(seen.begin(), seen.end(), 100), 1);
    }
}

