// Perspective, skew and bulge: 24-bit pictures rewritten in place from the
// copy saved before the first preview.

#include "filters/geometry.h"

#include "filters/geometryrows.h"
#include "raster/codec.h"
#include "raster/rasterio.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace filters {

using namespace rows;

namespace {

// Both pictures hold 24-bit images of the same size in storage of their
// own (the copy is read while the image is written).
bool sameTrueColour(const raster::TDibRecord& image, const raster::TDibRecord& copy)
{
    return image.Bits && copy.Bits && image.Bits != copy.Bits && raster::DibBitCount(image) == 24 && raster::DibBitCount(copy) == 24 &&
           raster::DibWidth(image) == raster::DibWidth(copy) && raster::DibHeight(image) == raster::DibHeight(copy);
}

// Where the copy's pixel (x, y) goes. All divisions truncate toward zero.
struct Target {
    int64_t w, h, a;
    bool horizontal, perspective;

    void operator()(int64_t x, int64_t y, int64_t& tx, int64_t& ty) const
    {
        tx = x;
        ty = y;
        if (perspective && horizontal) {
            // One column has no edge to squeeze toward: it stays.
            const int64_t u = w <= 1 ? 0 : a >= 0 ? a * x / (w - 1) : -a * (w - 1 - x) / (w - 1);
            ty = (100 - u) * (y - h / 2) / 100 + h / 2;
        } else if (perspective) {
            const int64_t t = h <= 1 ? 0 : a >= 0 ? a * y / (h - 1) : -a * (h - 1 - y) / (h - 1);
            tx = (100 - t) * (x - w / 2) / 100 + w / 2;
        } else {
            const int64_t s = w * a / 100;
            if (horizontal)
                tx = x + s / 2 - s * y / h;
            else
                ty = y + s / 2 - s * x / w;
        }
    }
};

// The source index along one axis of n pixels for each destination index.
std::vector<int32_t> bulgeAxis(int32_t n, double e, bool on)
{
    std::vector<int32_t> map(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i)
        map[size_t(i)] = i;
    const int32_t c = n / 2;
    if (!on || c == 0) // an axis one pixel long stays as it is
        return map;
    for (int32_t i = 0; i < n; ++i) {
        const int32_t d = std::abs(i - c);
        double t = c * raster::power(double(d) / c, e);
        if (std::isnan(t))
            continue;
        // c * (d / c) comes out a hair below d for most c; the tolerance
        // keeps such rounding noise from moving a pixel (strength 1 is the
        // identity), and the cap keeps huge values convertible.
        t = std::min(t, double(n));
        auto v = int64_t(std::trunc(t + 1e-9));
        if (i < c)
            v = -v;
        map[size_t(i)] = int32_t(std::clamp<int64_t>(v + c, 0, n - 1));
    }
    return map;
}

} // namespace

void Perspektive(raster::TDibRecord& image, const raster::TDibRecord& copy, int32_t strength, bool horizontal,
                 bool perspective, const FilterContext& context)
{
    if (!sameTrueColour(image, copy))
        return;
    const int32_t w = raster::DibWidth(image);
    const int32_t h = raster::DibHeight(image);
    const Selection& selection = context.selection;
    const uint32_t background = rawValue(24, context.Col2);
    const auto dst = topRows(image);
    const auto src = topRows(copy);

    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            if (selection.contains(x, y))
                Pixel<24>::set(dst[size_t(y)], x, background);
        }
    }

    const Target target{w, h, strength, horizontal, perspective};
    raster::ProgressReporter progress(context.progress);
    for (int32_t y = 0; y < h; ++y) {
        progress.rows(y, h);
        const uint8_t* s = src[size_t(y)];
        for (int32_t x = 0; x < w; ++x) {
            int64_t tx = 0, ty = 0;
            target(x, y, tx, ty);
            // Destinations off the picture are dropped; within -100..100 only
            // skewing produces them.
            if (tx < 0 || tx >= w || ty < 0 || ty >= h)
                continue;
            if (!selection.contains(int32_t(tx), int32_t(ty)))
                continue;
            Pixel<24>::set(dst[size_t(ty)], int32_t(tx), Pixel<24>::get(s, x));
        }
    }
    context.report(0);
}

void Woelben(raster::TDibRecord& image, const raster::TDibRecord& copy, bool horizontal, double e, bool vertical,
             const FilterContext& context)
{
    if (!sameTrueColour(image, copy))
        return;
    const int32_t w = raster::DibWidth(image);
    const int32_t h = raster::DibHeight(image);
    const auto sx = bulgeAxis(w, e, horizontal);
    const auto sy = bulgeAxis(h, e, vertical);
    const auto dst = topRows(image);
    const auto src = topRows(copy);
    const Selection& selection = context.selection;
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* s = src[size_t(sy[size_t(y)])];
        uint8_t* d = dst[size_t(y)];
        for (int32_t x = 0; x < w; ++x) {
            if (selection.contains(x, y))
                Pixel<24>::set(d, x, Pixel<24>::get(s, sx[size_t(x)]));
        }
    }
}

} // namespace filters
