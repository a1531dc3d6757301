#include "filters/colour.h"

#include "filters/progress.h"
#include "raster/rasterio.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace filters {

using raster::DibBitCount;
using raster::DibHeight;
using raster::DibRow;
using raster::DibWidth;
using raster::TDibRecord;

namespace {

int32_t clamp255(int32_t v)
{
    return std::clamp(v, 0, 255);
}

int32_t luminance(int32_t r, int32_t g, int32_t b)
{
    return (30 * r + 59 * g + 11 * b) / 100;
}

using Table = std::array<uint8_t, 256>;

// The channel map of f, worked out in 64 bits so that no parameter can
// make it overflow, then clamped.
template <typename F>
Table tableOf(F f)
{
    Table t{};
    for (int64_t c = 0; c < 256; ++c)
        t[size_t(c)] = uint8_t(std::clamp<int64_t>(f(c), 0, 255));
    return t;
}

// Visits the pixels of a 24-bit picture that the selection contains, rows
// from the top, each left to right: f(pixel) with pixel pointing at blue,
// green, red.
template <typename F>
void forSelectedPixels(const TDibRecord& image, const FilterContext& context, F f)
{
    const int32_t w = DibWidth(image);
    const int32_t h = DibHeight(image);
    const Selection& selection = context.selection;
    const TDibRecord& mask = selection.SelMask;
    const bool direct =
        mask.Bits && DibBitCount(mask) == 1 && DibWidth(mask) == w && DibHeight(mask) == h;
    RowPercent percent(context.progress, h);
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* p = DibRow(image, y);
        if (!selection.HasSelection) {
            for (int32_t x = 0; x < w; ++x, p += 3)
                f(p);
        } else if (direct) {
            const uint8_t* bits = DibRow(mask, y);
            for (int32_t x = 0; x < w; ++x, p += 3) {
                if ((bits[x >> 3] >> (7 - (x & 7))) & 1)
                    f(p);
            }
        } else {
            for (int32_t x = 0; x < w; ++x, p += 3) {
                if (selection.contains(x, y))
                    f(p);
            }
        }
        percent.done(y + 1);
    }
}

// Applies f(r, g, b), changing its arguments, to the palette entries of
// palette pictures of at least minPaletteBits bits, or to the selected
// pixels of a 24-bit picture.
template <typename F>
void applyColours(TDibRecord& image, const FilterContext& context, int32_t minPaletteBits, F f)
{
    context.report(0);
    const int32_t bits = image.Bits ? DibBitCount(image) : 0;
    if (bits == 24) {
        forSelectedPixels(image, context, [&f](uint8_t* p) {
            int32_t b = p[0], g = p[1], r = p[2];
            f(r, g, b);
            p[0] = uint8_t(clamp255(b));
            p[1] = uint8_t(clamp255(g));
            p[2] = uint8_t(clamp255(r));
        });
    } else if (bits >= minPaletteBits && bits <= 8) {
        const int32_t n = raster::DibColorCount(image);
        RowPercent percent(context.progress, n);
        for (int32_t i = 0; i < n; ++i) {
            const raster::RGBQUAD q = image.Info->bmiColors[i];
            int32_t r = q.rgbRed, g = q.rgbGreen, b = q.rgbBlue;
            f(r, g, b);
            raster::setPaletteEntry(image, i, uint8_t(clamp255(r)), uint8_t(clamp255(g)), uint8_t(clamp255(b)));
            percent.done(i + 1);
        }
        raster::refreshPalette(image);
    }
    context.report(0);
}

void applyTable(TDibRecord& image, const FilterContext& context, int32_t minPaletteBits, const Table& t)
{
    applyColours(image, context, minPaletteBits, [&t](int32_t& r, int32_t& g, int32_t& b) {
        r = t[size_t(r)];
        g = t[size_t(g)];
        b = t[size_t(b)];
    });
}

constexpr int32_t kOneBit = 1;
constexpr int32_t kFourBits = 4;

} // namespace

void DibInvert(TDibRecord& image, const FilterContext& context)
{
    if (image.Bits && DibBitCount(image) == 1) {
        context.report(0);
        const int32_t h = DibHeight(image);
        RowPercent percent(context.progress, h);
        for (int32_t y = 0; y < h; ++y) {
            uint8_t* row = DibRow(image, y);
            for (int32_t i = 0; i < image.BytesPerRow; ++i)
                row[i] = uint8_t(~row[i]);
            percent.done(y + 1);
        }
        context.report(0);
        return;
    }
    applyTable(image, context, kFourBits, tableOf([](int64_t c) { return 255 - c; }));
}

void DibGrayscale(TDibRecord& image, const FilterContext& context)
{
    applyColours(image, context, kFourBits, [](int32_t& r, int32_t& g, int32_t& b) {
        r = g = b = luminance(r, g, b);
    });
}

void Helligkeit(TDibRecord& image, int32_t delta, const FilterContext& context)
{
    applyTable(image, context, kOneBit, tableOf([delta](int64_t c) { return c + delta; }));
}

void Kontrast(TDibRecord& image, int32_t k, const FilterContext& context)
{
    applyTable(image, context, kOneBit, tableOf([k](int64_t c) {
                   if (k > 100) {
                       const int64_t b = 200 - int64_t(k);
                       return c < 128 ? c * b / 100 : 255 - b * (255 - c) / 100;
                   }
                   return k * (c - 127) / 100 + 127;
               }));
}

void Saettigung(TDibRecord& image, int32_t s, const FilterContext& context)
{
    applyTable(image, context, kFourBits, tableOf([s](int64_t c) { return (c - 128) * (100 + s) / 100 + 128; }));
}

void Gamma(TDibRecord& image, double g, const FilterContext& context)
{
    applyTable(image, context, kFourBits, tableOf([g](int64_t c) -> int64_t {
                   // nearbyint rounds halves to even in the default rounding mode.
                   const double v = std::nearbyint(2.0 * c - 256.0 * raster::power(double(c) / 256.0, g));
                   if (!(v > 0.0)) // also NaN
                       return 0;
                   return v >= 255.0 ? 255 : int64_t(v);
               }));
}

void RedGreenBlue(TDibRecord& image, int32_t r, int32_t g, int32_t b, const FilterContext& context)
{
    const auto gain = [](int32_t p) { return tableOf([p](int64_t c) { return c * (100 + p) / 100; }); };
    const Table tr = gain(r), tg = gain(g), tb = gain(b);
    applyColours(image, context, kFourBits, [&](int32_t& red, int32_t& green, int32_t& blue) {
        red = tr[size_t(red)];
        green = tg[size_t(green)];
        blue = tb[size_t(blue)];
    });
}

RgbColour HueSatLumToRgb(int32_t hue, int32_t sat, int32_t lum)
{
    hue = clamp255(hue);
    sat = clamp255(sat);
    lum = clamp255(lum);
    const int32_t h = hue * 1535 / 255;
    int32_t v[3];
    if (h < 256)
        v[0] = 255, v[1] = h, v[2] = 0;
    else if (h < 512)
        v[0] = 511 - h, v[1] = 255, v[2] = 0;
    else if (h < 768)
        v[0] = 0, v[1] = 255, v[2] = h - 512;
    else if (h < 1024)
        v[0] = 0, v[1] = 1023 - h, v[2] = 255;
    else if (h < 1280)
        v[0] = h - 1024, v[1] = 0, v[2] = 255;
    else
        v[0] = 255, v[1] = 0, v[2] = 1535 - h;
    for (int32_t& c : v) {
        c = (c * sat + (255 - sat) * 128) / 255;
        if (lum > 127)
            c = c + (((255 - c) * (lum - 127)) >> 7);
        else if (lum < 127)
            c = c - (((127 - lum) * c) >> 7);
    }
    return {v[0], v[1], v[2]};
}

void Colorize(TDibRecord& image, int32_t hue, int32_t sat, const FilterContext& context)
{
    std::array<RgbColour, 256> byLum;
    for (int32_t l = 0; l < 256; ++l)
        byLum[size_t(l)] = HueSatLumToRgb(hue, sat, l);
    applyColours(image, context, kFourBits, [&byLum](int32_t& r, int32_t& g, int32_t& b) {
        const RgbColour c = byLum[size_t(r * 30 / 100 + g * 59 / 100 + b * 11 / 100)];
        r = c.R;
        g = c.G;
        b = c.B;
    });
}

void HighMidShadow(TDibRecord& image, int32_t high, int32_t mid, int32_t shadow, const FilterContext& context)
{
    if (high < shadow)
        shadow = high;
    if (mid < shadow)
        mid = shadow;
    if (mid > high)
        mid = high;
    const int64_t shiftBy = int64_t(mid) - 128;
    const auto shifted = [shiftBy](int32_t c) { return int32_t(std::clamp<int64_t>(c + shiftBy, 0, 255)); };
    applyColours(image, context, kFourBits, [=](int32_t& r, int32_t& g, int32_t& b) {
        const int32_t l = luminance(r, g, b);
        if (l >= high) {
            r = g = b = 255;
        } else if (l <= shadow) {
            r = g = b = 0;
        } else {
            r = shifted(r);
            g = shifted(g);
            b = shifted(b);
        }
    });
}

void StretchHistogramm(TDibRecord& image, const FilterContext& context)
{
    const int32_t bits = image.Bits ? DibBitCount(image) : 0;
    if (bits != 4 && bits != 8 && bits != 24)
        return;
    int32_t lo = 255, hi = 0;
    const auto measure = [&lo, &hi](int32_t l) {
        lo = std::min(lo, l);
        hi = std::max(hi, l);
    };
    if (bits == 24) {
        // Measuring reports no progress of its own; the stretch does.
        FilterContext quiet = context;
        quiet.progress = nullptr;
        forSelectedPixels(image, quiet, [&measure](const uint8_t* p) { measure(luminance(p[2], p[1], p[0])); });
    } else {
        // Every pixel counts through its palette colour, whatever is selected.
        std::array<bool, 256> used{};
        const int32_t w = DibWidth(image), h = DibHeight(image);
        for (int32_t y = 0; y < h; ++y) {
            for (int32_t x = 0; x < w; ++x)
                used[raster::getpixel(image, x, y) & 0xFF] = true;
        }
        const int32_t n = raster::DibColorCount(image);
        for (int32_t i = 0; i < n; ++i) {
            if (used[size_t(i)]) {
                const raster::RGBQUAD q = image.Info->bmiColors[i];
                measure(luminance(q.rgbRed, q.rgbGreen, q.rgbBlue));
            }
        }
    }
    if (hi < lo) // nothing measured: nothing to stretch either
        return;
    const int32_t n = hi - lo + 1;
    applyTable(image, context, kFourBits, tableOf([lo, n](int64_t c) { return (c - lo) * 256 / n; }));
}

void DibPoster(TDibRecord& image, int32_t shift, const FilterContext& context)
{
    shift = std::clamp(shift, 0, 8);
    applyTable(image, context, kFourBits, tableOf([shift](int64_t c) { return (c >> shift) << shift; }));
}

void DibSolar(TDibRecord& image, int32_t t, const FilterContext& context)
{
    const int64_t limit = 765 - 3 * int64_t(t);
    applyColours(image, context, kFourBits, [limit](int32_t& r, int32_t& g, int32_t& b) {
        if (r + g + b >= limit) {
            r = 255 - r;
            g = 255 - g;
            b = 255 - b;
        }
    });
}

} // namespace filters
