// Quarter turns and the free rotation.

#include "filters/geometry.h"

#include "filters/geometryrows.h"
#include "raster/rasterio.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace filters {

using namespace rows;

namespace {

// Calls visit(x, y) for every pixel of a w x h picture, walking it in
// square tiles: a row of a turned picture crosses many source rows, and a
// tile keeps them in the cache.
template <typename Visit>
void forEachInTiles(int32_t w, int32_t h, Visit&& visit)
{
    constexpr int32_t kTile = 64;
    for (int32_t ty = 0; ty < h; ty += kTile) {
        const int32_t yEnd = std::min(h, ty + kTile);
        for (int32_t tx = 0; tx < w; tx += kTile) {
            const int32_t xEnd = std::min(w, tx + kTile);
            for (int32_t y = ty; y < yEnd; ++y) {
                for (int32_t x = tx; x < xEnd; ++x)
                    visit(x, y);
            }
        }
    }
}

// Fills dib (w2 x h2) with dib(x, y) = source(map(x, y)), walking the
// destination in square tiles so that the column-wise reads of a quarter
// turn stay in the cache.
template <typename Map>
raster::TDibRecord remapped(const raster::TDibRecord& source, int32_t w2, int32_t h2, Map map)
{
    raster::TDibRecord dib = newLike(source, w2, h2);
    if (!dib.Bits)
        return dib;
    const auto src = topRows(source);
    const auto dst = topRows(dib);
    withDepth(raster::DibBitCount(source), [&](auto depth) {
        using P = Pixel<decltype(depth)::value>;
        forEachInTiles(w2, h2, [&](int32_t x, int32_t y) {
            const auto [sx, sy] = map(x, y);
            P::set(dst[size_t(y)], x, P::get(src[size_t(sy)], sx));
        });
    });
    return dib;
}

// round(a - b) in long double, halves to even. quick is a - b computed
// from the values rounded to double: off by less than 1e-10 for the sizes
// of a picture, so it rounds the same way unless it lies within 1e-7 of a
// half, where the long double difference decides.
inline int64_t roundedDifference(double quick, long double a, long double b)
{
    constexpr double kMagic = 6755399441055744.0; // 1.5 * 2^52: adding it rounds to an integer
    const double rounded = (quick + kMagic) - kMagic;
    if (std::fabs(std::fabs(quick - rounded) - 0.5) < 1e-7)
        return int64_t(std::llrint(a - b));
    return int64_t(rounded);
}

struct Point {
    int32_t x;
    int32_t y;
};

} // namespace

raster::TDibRecord RotLeft(const raster::TDibRecord& source)
{
    if (!source.Bits)
        return {};
    const int32_t w = raster::DibWidth(source);
    const int32_t h = raster::DibHeight(source);
    // new(y, W - 1 - x) = old(x, y)
    return remapped(source, h, w, [w](int32_t x, int32_t y) { return Point{w - 1 - y, x}; });
}

raster::TDibRecord RotRight(const raster::TDibRecord& source)
{
    if (!source.Bits)
        return {};
    const int32_t w = raster::DibWidth(source);
    const int32_t h = raster::DibHeight(source);
    // new(H - 1 - y, x) = old(x, y)
    return remapped(source, h, w, [h](int32_t x, int32_t y) { return Point{y, h - 1 - x}; });
}

raster::TDibRecord Rot180(const raster::TDibRecord& source)
{
    if (!source.Bits)
        return {};
    const int32_t w = raster::DibWidth(source);
    const int32_t h = raster::DibHeight(source);
    return remapped(source, w, h, [w, h](int32_t x, int32_t y) { return Point{w - 1 - x, h - 1 - y}; });
}

raster::TDibRecord DibRotxxx(const raster::TDibRecord& source, bool right, long double angle, uint32_t background)
{
    if (!source.Bits || !std::isfinite(angle))
        return {};
    long double theta = angle * std::numbers::pi_v<long double> / 180.0L;
    if (right)
        theta = -theta;
    const long double s = std::sin(theta);
    const long double c = std::cos(theta);

    const int32_t w = raster::DibWidth(source);
    const int32_t h = raster::DibHeight(source);
    // Round to nearest, halves to even (the default rounding mode).
    auto round = [](long double v) { return int64_t(std::llrint(v)); };

    // The turned corners give the new size.
    const int32_t wL = w / 2, wR = w - wL, hT = h / 2, hB = h - hT;
    const Point corners[4] = {{wR, -hT}, {wR, hB}, {-wL, hB}, {-wL, -hT}};
    int64_t minX = 0, maxX = 0, minY = 0, maxY = 0;
    for (const Point& p : corners) {
        const long double cx = p.x, cy = p.y;
        const int64_t x = round(cx * c - cy * s);
        const int64_t y = round(cx * s + cy * c);
        minX = std::min(minX, x);
        maxX = std::max(maxX, x);
        minY = std::min(minY, y);
        maxY = std::max(maxY, y);
    }
    raster::TDibRecord dib = newLike(source, maxX - minX, maxY - minY);
    if (!dib.Bits)
        return dib;
    const auto w2 = int32_t(maxX - minX);
    const auto h2 = int32_t(maxY - minY);

    // dx * cos and dx * sin per column, each product rounded as the
    // per-pixel formula rounds it, so the table changes no result; beside
    // them the same in double for the quick path of roundedDifference.
    std::vector<long double> colC(static_cast<size_t>(w2)), colS(static_cast<size_t>(w2));
    std::vector<double> quickC(static_cast<size_t>(w2)), quickS(static_cast<size_t>(w2));
    for (int32_t x = 0; x < w2; ++x) {
        const long double dx = x - w2 / 2;
        colC[size_t(x)] = dx * c;
        colS[size_t(x)] = dx * s;
        quickC[size_t(x)] = double(colC[size_t(x)]);
        quickS[size_t(x)] = double(colS[size_t(x)]);
    }
    const auto src = topRows(source);
    const auto dst = topRows(dib);
    const uint32_t raw = rawValue(raster::DibBitCount(source), background);
    // Row terms, then the picture in tiles.
    std::vector<long double> rowS(static_cast<size_t>(h2)), rowC(static_cast<size_t>(h2));
    std::vector<double> quickRowS(static_cast<size_t>(h2)), quickRowC(static_cast<size_t>(h2));
    for (int32_t y = 0; y < h2; ++y) {
        const long double dy = y - h2 / 2;
        rowS[size_t(y)] = dy * s;
        rowC[size_t(y)] = dy * c;
        quickRowS[size_t(y)] = double(rowS[size_t(y)]);
        quickRowC[size_t(y)] = double(rowC[size_t(y)]);
    }
    withDepth(raster::DibBitCount(source), [&](auto depth) {
        using P = Pixel<decltype(depth)::value>;
        forEachInTiles(w2, h2, [&](int32_t x, int32_t y) {
            const size_t i = size_t(x), r = size_t(y);
            const int64_t sx = roundedDifference(quickC[i] - quickRowS[r], colC[i], rowS[r]) + w / 2;
            const int64_t sy = roundedDifference(quickS[i] + quickRowC[r], colS[i], -rowC[r]) + h / 2;
            if (sx >= 0 && sx < w && sy >= 0 && sy < h)
                P::set(dst[r], x, P::get(src[size_t(sy)], int32_t(sx)));
            else
                P::set(dst[r], x, raw);
        });
    });
    return dib;
}

} // namespace filters
