// Drawing primitives on an image. Every figure includes both corners of its
// box and is clipped to the picture.

#include "raster/rasterio.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace raster {

namespace {
struct Box {
    int32_t left, top, right, bottom;
};

Box normalised(int32_t x1, int32_t y1, int32_t x2, int32_t y2)
{
    return {std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
}

void hspan(const TDibRecord& dib, int32_t x1, int32_t x2, int32_t y, uint32_t value)
{
    if (y < 0 || y >= DibHeight(dib))
        return;
    const int32_t from = std::max(x1, 0);
    const int32_t to = std::min(x2, DibWidth(dib) - 1);
    for (int32_t x = from; x <= to; ++x)
        setpixel(dib, x, y, value);
}

// Half-widths of the ellipse inscribed in box b, one per row: the pixel
// centres (x, y) with ((x - cx) / rx)^2 + ((y - cy) / ry)^2 <= 1, where the
// radii reach the outer edges of the corner pixels.
// Only rows yFrom..yTo are computed.
template <typename RowFn>
void ellipseRows(const Box& b, int32_t yFrom, int32_t yTo, RowFn&& row)
{
    const double cx = (double(b.left) + b.right) / 2.0;
    const double cy = (double(b.top) + b.bottom) / 2.0;
    const double rx = (double(b.right) - b.left + 1) / 2.0;
    const double ry = (double(b.bottom) - b.top + 1) / 2.0;
    for (int32_t y = std::max(b.top, yFrom); y <= std::min(b.bottom, yTo); ++y) {
        const double dy = (y - cy) / ry;
        const double q = 1.0 - dy * dy;
        const double half = q > 0 ? rx * std::sqrt(q) : 0.0;
        // Columns whose centres lie within the half-width, at least one.
        double from = std::ceil(cx - half - 1e-9);
        double to = std::floor(cx + half + 1e-9);
        if (from > to) {
            from = std::floor(cx);
            to = std::ceil(cx);
        }
        const auto x1 = int32_t(std::max(from, double(b.left)));
        const auto x2 = int32_t(std::min(to, double(b.right)));
        row(y, x1, x2);
    }
}
} // namespace

void line(const TDibRecord& dib, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t value)
{
    if (!dib.Bits)
        return;
    // Bresenham in 64 bits: end points far outside the picture must not overflow.
    int64_t x = x1, y = y1;
    const int64_t dx = std::llabs(int64_t(x2) - x1), dy = -std::llabs(int64_t(y2) - y1);
    const int64_t sx = x1 < x2 ? 1 : -1, sy = y1 < y2 ? 1 : -1;
    int64_t err = dx + dy;
    const int64_t w = DibWidth(dib), h = DibHeight(dib);
    for (;;) {
        if (x >= 0 && y >= 0 && x < w && y < h)
            setpixel(dib, int32_t(x), int32_t(y), value);
        if (x == x2 && y == y2)
            break;
        const int64_t e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
        // Past the picture in the direction of travel nothing more is drawn.
        if ((sx > 0 && x >= w && dx >= -dy) || (sx < 0 && x < 0 && dx >= -dy) ||
            (sy > 0 && y >= h && -dy >= dx) || (sy < 0 && y < 0 && -dy >= dx))
            break;
    }
}

void rechteck(const TDibRecord& dib, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t value)
{
    if (!dib.Bits)
        return;
    const Box b = normalised(x1, y1, x2, y2);
    hspan(dib, b.left, b.right, b.top, value);
    hspan(dib, b.left, b.right, b.bottom, value);
    const auto from = int32_t(std::max<int64_t>(int64_t(b.top) + 1, 0));
    const auto to = int32_t(std::min<int64_t>(int64_t(b.bottom) - 1, DibHeight(dib) - 1));
    for (int32_t y = from; y <= to; ++y) {
        setpixel(dib, b.left, y, value);
        setpixel(dib, b.right, y, value);
    }
}

void recht_filled(const TDibRecord& dib, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t value)
{
    if (!dib.Bits)
        return;
    const Box b = normalised(x1, y1, x2, y2);
    const int32_t from = std::max(b.top, 0);
    const int32_t to = std::min(b.bottom, DibHeight(dib) - 1);
    for (int32_t y = from; y <= to; ++y)
        hspan(dib, b.left, b.right, y, value);
}

void FilledEllipse(const TDibRecord& dib, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t value)
{
    if (!dib.Bits)
        return;
    ellipseRows(normalised(x1, y1, x2, y2), 0, DibHeight(dib) - 1,
                [&](int32_t y, int32_t from, int32_t to) { hspan(dib, from, to, y, value); });
}

void ellipse(const TDibRecord& dib, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t value)
{
    if (!dib.Bits)
        return;
    // The outline is the filled figure's rim: every pixel of a row's span that
    // is not inside the spans of both neighbouring rows.
    const Box b = normalised(x1, y1, x2, y2);
    // Spans of the visible rows and one more on either side.
    const int32_t yFrom = std::max(b.top, -1);
    const int32_t yTo = std::min(b.bottom, DibHeight(dib));
    if (yFrom > yTo)
        return;
    std::vector<std::pair<int32_t, int32_t>> spans;
    spans.reserve(size_t(yTo - yFrom + 1));
    ellipseRows(b, yFrom, yTo, [&](int32_t, int32_t from, int32_t to) { spans.emplace_back(from, to); });
    for (size_t i = 0; i < spans.size(); ++i) {
        const int32_t y = yFrom + int32_t(i);
        if (y < 0 || y >= DibHeight(dib))
            continue;
        const auto [from, to] = spans[i];
        // Columns covered by both neighbouring rows lie inside; the first and
        // last rows of the box have no inside.
        int32_t innerFrom = to + 1, innerTo = to;
        const bool hasAbove = y > b.top, hasBelow = y < b.bottom;
        if (hasAbove && hasBelow) {
            innerFrom = std::max({spans[i - 1].first, spans[i + 1].first, from + 1});
            innerTo = std::min({spans[i - 1].second, spans[i + 1].second, to - 1});
        }
        for (int32_t x = std::max(from, 0); x <= std::min(to, DibWidth(dib) - 1); ++x) {
            if (x >= innerFrom && x <= innerTo)
                continue;
            setpixel(dib, x, y, value);
        }
    }
}

} // namespace raster
