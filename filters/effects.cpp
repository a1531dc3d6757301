#include "filters/effects.h"

#include "filters/convolve.h"
#include "filters/depth.h"
#include "filters/progress.h"
#include "platform/random.h"
#include "platform/wintypes.h"
#include "raster/rasterio.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace filters {

using raster::DibBitCount;
using raster::DibHeight;
using raster::DibRow;
using raster::DibWidth;
using raster::TDibRecord;

namespace {

// Row progress that starts at 0 and is back at 0 when the effect ends.
class Percent : public RowPercent {
public:
    Percent(const FilterContext& context, int32_t total) : RowPercent(context.progress, total) { reset(); }
    ~Percent() { reset(); }
    Percent(const Percent&) = delete;
    Percent& operator=(const Percent&) = delete;
};

// Whether the selection contains the pixels of one row, read straight from
// the mask where it is a 1-bit picture of the image's size.
class MaskRow {
public:
    MaskRow(const TDibRecord& image, const Selection& selection) : m_selection(selection)
    {
        const TDibRecord& mask = selection.SelMask;
        m_direct = mask.Bits && DibBitCount(mask) == 1 && DibWidth(mask) == DibWidth(image) &&
                   DibHeight(mask) == DibHeight(image);
    }
    void row(int32_t y)
    {
        m_y = y;
        m_bits = m_direct ? DibRow(m_selection.SelMask, y) : nullptr;
    }
    bool operator[](int32_t x) const
    {
        if (!m_selection.HasSelection)
            return true;
        if (m_bits)
            return (m_bits[x >> 3] >> (7 - (x & 7))) & 1;
        return m_selection.contains(x, m_y);
    }

private:
    const Selection& m_selection;
    bool m_direct = false;
    const uint8_t* m_bits = nullptr;
    int32_t m_y = 0;
};

bool selected(const Selection& selection, int32_t x, int32_t y)
{
    return selection.HasSelection && raster::getpixel(selection.SelMask, x, y) == 1;
}

int32_t clamp255(int32_t v)
{
    return std::clamp(v, 0, 255);
}

// Blue, green, red of a colour value 0x00BBGGRR.
void channelsOf(uint32_t colour, int32_t bgr[3])
{
    bgr[0] = int32_t((colour >> 16) & 255);
    bgr[1] = int32_t((colour >> 8) & 255);
    bgr[2] = int32_t(colour & 255);
}

// Runs f(pixel, sums) for every pixel of a 24-bit picture that the
// selection contains, rows from the top: pixel points at its blue, green,
// red bytes, sums holds the sums of blue, green and red over its 5 x 5
// window in the padded work copy.
template <typename F>
NeighbourhoodOutcome forWindows(TDibRecord& image, const FilterContext& context, F f)
{
    if (!image.Bits || DibBitCount(image) != 24)
        return NeighbourhoodOutcome::NotApplied;
    context.report(0);
    raster::DibGuard work;
    if (!makePaddedCopy(image, work, context.progress)) {
        context.report(0);
        return NeighbourhoodOutcome::NoMemory;
    }
    const int32_t w = DibWidth(image), h = DibHeight(image);
    const size_t columns = 3 * (size_t(w) + 4);
    std::vector<int32_t> columnSums(columns);
    MaskRow mask(image, context.selection);
    Percent percent(context, h);
    for (int32_t y = 0; y < h; ++y) {
        std::fill(columnSums.begin(), columnSums.end(), 0);
        for (int32_t r = 0; r < 5; ++r) {
            const uint8_t* src = DibRow(work.get(), y + r);
            for (size_t j = 0; j < columns; ++j)
                columnSums[j] += src[j];
        }
        mask.row(y);
        uint8_t* p = DibRow(image, y);
        int32_t sums[3] = {0, 0, 0};
        for (int32_t k = 0; k < 4; ++k)
            for (int c = 0; c < 3; ++c)
                sums[c] += columnSums[3 * size_t(k) + size_t(c)];
        for (int32_t x = 0; x < w; ++x, p += 3) {
            for (int c = 0; c < 3; ++c)
                sums[c] += columnSums[3 * (size_t(x) + 4) + size_t(c)];
            if (mask[x])
                f(p, sums);
            for (int c = 0; c < 3; ++c)
                sums[c] -= columnSums[3 * size_t(x) + size_t(c)];
        }
        percent.done(y + 1);
    }
    return NeighbourhoodOutcome::Done;
}

} // namespace

uint32_t effectColour(const TDibRecord& image, EffectColour choice, const FilterContext& context)
{
    uint8_t r = 0, g = 0, b = 0;
    switch (choice) {
    case EffectColour::Vordergrundfarbe:
        return context.Col1;
    case EffectColour::Hintergrundfarbe:
        return context.Col2;
    case EffectColour::Schwarz:
        break;
    case EffectColour::Weiss:
        r = g = b = 255;
        break;
    case EffectColour::Rot:
        r = 255;
        break;
    case EffectColour::Gruen:
        g = 255;
        break;
    case EffectColour::Blau:
        b = 255;
        break;
    }
    if (image.Bits && DibBitCount(image) <= 8) {
        const int n = std::clamp(raster::DibColorCount(image), 0, 256);
        return uint32_t(nearestEntry({image.LogPal.palPalEntry, size_t(n)}, r, g, b));
    }
    return platform::RGB(r, g, b);
}

void DrawShadow(TDibRecord& image, int32_t h, int32_t v, int32_t transparency, int32_t soft, uint32_t colour,
                const FilterContext& context)
{
    const Selection& sel = context.selection;
    if (!image.Bits || !sel.HasSelection)
        return;
    const int32_t width = DibWidth(image), height = DibHeight(image);
    const int32_t left = sel.SelLeft, top = sel.SelTop, right = sel.SelRight, bottom = sel.SelBottom;
    const int32_t x0 = std::max(std::min(left, right) + h, 0), x1 = std::min(std::max(left, right) + h, width - 1);
    const int32_t y0 = std::max(std::min(top, bottom) + v, 0), y1 = std::min(std::max(top, bottom) + v, height - 1);
    const bool truecolour = DibBitCount(image) == 24;

    // The falloff: a = half width, b = half height, centred on the moved box.
    const int32_t a = std::abs(right - left) / 2, b = std::abs(bottom - top) / 2;
    const int32_t cx = left + h + a, cy = top + v + b;
    const int32_t roundScale = b > cx ? b : a;
    const int32_t s = soft, t = transparency;
    int32_t paint[3];
    channelsOf(colour, paint);

    Percent percent(context, y1 - y0 + 1);
    for (int32_t y = y0; y <= y1; ++y) {
        for (int32_t x = x0; x <= x1; ++x) {
            if (selected(sel, x, y) || !selected(sel, x - h, y - v))
                continue;
            if (!truecolour) {
                raster::setpixel(image, x, y, colour);
                continue;
            }
            int32_t d = 0;
            if (a != 0 && b != 0) {
                const int32_t dx = cx - x, dy = cy - y;
                const int32_t box = std::max(std::abs(dx) * 100 / a, std::abs(dy) * 100 / b);
                const auto distance = int32_t(std::nearbyint(std::sqrt(double(dx) * dx + double(dy) * dy)));
                const int32_t round = distance * 100 / roundScale;
                d = std::min(100, (box * (100 - s) + s * round) / 100);
            }
            const int32_t fade = d > 100 - s ? (d - (100 - s)) * 100 / s : 0;
            uint8_t* p = DibRow(image, y) + 3 * size_t(x);
            for (int c = 0; c < 3; ++c) {
                const int32_t shade = (paint[c] * (100 - fade) + p[c] * fade) / 100;
                p[c] = uint8_t(clamp255((shade * (100 - t) + p[c] * t) / 100));
            }
        }
        percent.done(y - y0 + 1);
    }
}

void Buttonize(TDibRecord& image, int32_t w, int32_t transparency, bool solid, uint32_t colour,
               const FilterContext& context)
{
    const Selection& sel = context.selection;
    if (!image.Bits || DibBitCount(image) != 24 || !sel.HasSelection)
        return;
    const int32_t left = sel.SelLeft, top = sel.SelTop, right = sel.SelRight, bottom = sel.SelBottom;
    const int32_t W = std::abs(right - left), H = std::abs(bottom - top);
    if (w <= 0 || W == 0 || H == 0)
        return;
    const auto h = int32_t(std::nearbyint(double(w) * H / W));
    if (h <= 0)
        return;
    const int32_t cx = left + W / 2, cy = top + H / 2;
    int32_t paint[3];
    channelsOf(colour, paint);

    // The shade of channel value c in each band.
    auto leftShade = [&](int32_t c, int32_t x) { return c - c * (w + left - x) / (2 * w); };
    auto rightShade = [&](int32_t c, int32_t x) { return c - (2 * w + x - right) * c / (2 * w); };
    auto topShade = [&](int32_t c, int32_t y) { return c - c * (h + top - y) / (2 * h); };
    auto bottomShade = [&](int32_t c, int32_t y) { return c - (2 * h + y - bottom) * c / (2 * h); };
    enum Band { Left, Right, Top, Bottom, MitreLeft, MitreRight };

    const int32_t width = DibWidth(image), height = DibHeight(image);
    const int32_t x0 = std::max(std::min(left, right), 0), x1 = std::min(std::max(left, right), width - 1);
    const int32_t y0 = std::max(std::min(top, bottom), 0), y1 = std::min(std::max(top, bottom), height - 1);
    MaskRow mask(image, sel);
    Percent percent(context, y1 - y0 + 1);
    for (int32_t y = y0; y <= y1; ++y) {
        mask.row(y);
        for (int32_t x = x0; x <= x1; ++x) {
            if (!mask[x])
                continue;
            const bool inLeft = x - left <= w;
            const bool inRight = !inLeft && right - x <= w;
            const bool inTop = y - top <= h;
            const bool inBottom = !inTop && bottom - y <= h;
            const bool inColumn = inLeft || inRight, inRow = inTop || inBottom;
            if (!inColumn && !inRow)
                continue;
            int32_t C = std::abs(x - cx), D = std::abs(y - cy);
            if (W > H)
                D = D * W / H;
            else
                C = C * H / W;
            const bool mitre = D == C && ((x > cx && y < cy) || (y > cy && x < cx));
            // The band whose shade the pixel takes. A pixel whose zone
            // points to an edge whose band it does not lie in (rounding near
            // the ends of the diagonals) takes the band it does lie in.
            Band band;
            if (mitre && inColumn)
                band = inLeft ? MitreLeft : MitreRight;
            else if ((mitre || D > C) && inRow)
                band = inTop ? Top : Bottom;
            else if (inColumn)
                band = inLeft ? Left : Right;
            else
                band = inTop ? Top : Bottom;

            int32_t keep = 0;
            switch (band) {
            case Left:
            case MitreLeft:
                keep = (x - left) * 100 / w;
                break;
            case Right:
            case MitreRight:
                keep = (right - x) * 100 / w;
                break;
            case Top:
                keep = (y - top) * 100 / h;
                break;
            case Bottom:
                keep = (bottom - y) * 100 / h;
                break;
            }
            if (solid)
                keep = 0;
            const int32_t J = std::min(100, keep + transparency);
            uint8_t* p = DibRow(image, y) + 3 * size_t(x);
            for (int c = 0; c < 3; ++c) {
                const int32_t k = paint[c];
                int32_t shade = 0;
                switch (band) {
                case Left:
                    shade = leftShade(k, x);
                    break;
                case Right:
                    shade = rightShade(k, x);
                    break;
                case Top:
                    shade = topShade(k, y);
                    break;
                case Bottom:
                    shade = bottomShade(k, y);
                    break;
                case MitreLeft:
                    shade = (leftShade(k, x) + bottomShade(k, y)) >> 1;
                    break;
                case MitreRight:
                    shade = (rightShade(k, x) + topShade(k, y)) >> 1;
                    break;
                }
                shade = clamp255(shade);
                p[c] = uint8_t(clamp255((shade * (100 - J) + p[c] * J) / 100));
            }
        }
        percent.done(y - y0 + 1);
    }
}

void MosaikEffekt(TDibRecord& image, int32_t bw, int32_t bh, const FilterContext& context)
{
    if (!image.Bits || bw < 1 || bh < 1)
        return;
    const int32_t width = DibWidth(image), height = DibHeight(image);
    const int32_t bits = DibBitCount(image);
    MaskRow mask(image, context.selection);
    Percent percent(context, height);
    for (int32_t y = 0; y < height; ++y) {
        const int32_t sy = y / bh * bh;
        mask.row(y);
        if (bits == 24 || bits == 8) {
            const size_t bpp = size_t(bits / 8);
            uint8_t* row = DibRow(image, y);
            const uint8_t* from = DibRow(image, sy);
            for (int32_t x = 0; x < width; ++x) {
                if (!mask[x])
                    continue;
                const size_t sx = size_t(x / bw * bw);
                for (size_t c = 0; c < bpp; ++c)
                    row[size_t(x) * bpp + c] = from[sx * bpp + c];
            }
        } else {
            for (int32_t x = 0; x < width; ++x) {
                if (mask[x])
                    raster::setpixel(image, x, y, raster::getpixel(image, x / bw * bw, sy));
            }
        }
        percent.done(y + 1);
    }
}

NeighbourhoodOutcome DibErodeFilter(TDibRecord& image, const FilterContext& context)
{
    return forWindows(image, context, [](uint8_t* p, const int32_t* s) {
        if ((30 * s[2] + 59 * s[1] + 11 * s[0]) / 2500 >= 96)
            return;
        for (int c = 0; c < 3; ++c)
            p[c] = uint8_t(s[c] / 50);
    });
}

NeighbourhoodOutcome DibDilateFilter(TDibRecord& image, const FilterContext& context)
{
    return forWindows(image, context, [](uint8_t* p, const int32_t* s) {
        const int32_t weighted = 30 * s[2] + 59 * s[1] + 11 * s[0];
        if (weighted / 2500 <= 160)
            return;
        const auto grey = uint8_t(std::min(255, weighted / 2000));
        p[0] = p[1] = p[2] = grey;
    });
}

void AddNoise(TDibRecord& image, int32_t strength, int32_t probability, const FilterContext& context)
{
    if (!image.Bits || DibBitCount(image) != 24)
        return;
    platform::Randomize();
    addNoiseFromSeed(image, strength, probability, context);
}

void addNoiseFromSeed(TDibRecord& image, int32_t strength, int32_t probability, const FilterContext& context)
{
    if (!image.Bits || DibBitCount(image) != 24)
        return;
    const int32_t width = DibWidth(image), height = DibHeight(image);
    MaskRow mask(image, context.selection);
    Percent percent(context, height);
    for (int32_t y = 0; y < height; ++y) {
        mask.row(y);
        uint8_t* p = DibRow(image, y);
        for (int32_t x = 0; x < width; ++x, p += 3) {
            if (!mask[x] || platform::Random(100) >= probability)
                continue;
            for (int c = 0; c < 3; ++c)
                p[c] = uint8_t(clamp255(p[c] + platform::Random(strength) - strength / 2));
        }
        percent.done(y + 1);
    }
}

NeighbourhoodOutcome DelNoise(TDibRecord& image, int32_t threshold, const FilterContext& context)
{
    return forWindows(image, context, [threshold](uint8_t* p, const int32_t* s) {
        const int32_t mean[3] = {s[0] / 25, s[1] / 25, s[2] / 25};
        if (std::abs(mean[2] - p[2]) > threshold || std::abs(mean[1] - p[1]) > threshold ||
            std::abs(mean[0] - p[0]) > threshold) {
            for (int c = 0; c < 3; ++c)
                p[c] = uint8_t(mean[c]);
        }
    });
}

} // namespace filters
