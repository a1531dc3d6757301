#include "filters/geometry.h"

#include "filters/geometryrows.h"
#include "raster/codec.h"
#include "raster/rasterio.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace filters {

namespace rows {

std::vector<uint8_t*> topRows(const raster::TDibRecord& dib)
{
    const int32_t h = raster::DibHeight(dib);
    std::vector<uint8_t*> table(size_t(std::max(h, 0)));
    for (int32_t t = 0; t < h; ++t)
        table[size_t(t)] = raster::DibRow(dib, t);
    return table;
}

uint32_t rawValue(int32_t bitCount, uint32_t value)
{
    switch (bitCount) {
    case 1: return value & 1u;
    case 4: return value & 0x0Fu;
    case 8: return value & 0xFFu;
    default:
        return platform::GetBValue(value) | uint32_t(platform::GetGValue(value)) << 8 |
               uint32_t(platform::GetRValue(value)) << 16;
    }
}

raster::TDibRecord newLike(const raster::TDibRecord& source, int64_t width, int64_t height)
{
    raster::TDibRecord dib;
    if (!source.Bits || width < 1 || height < 1 || width > raster::kMaxDimension || height > raster::kMaxDimension)
        return dib;
    const int32_t bitCount = raster::DibBitCount(source);
    const bool palette = bitCount <= 8;
    raster::newdib(&dib, int32_t(width), int32_t(height), bitCount, palette ? source.Info : nullptr,
                   palette ? (1 << bitCount) : 0);
    return dib;
}

void fillRaw(const raster::TDibRecord& dib, uint32_t raw)
{
    const int32_t w = raster::DibWidth(dib);
    const int32_t h = raster::DibHeight(dib);
    if (!dib.Bits || h < 1)
        return;
    // Every row is the same: fill the top one, then copy it.
    uint8_t* first = raster::DibRow(dib, 0);
    withDepth(raster::DibBitCount(dib), [&](auto depth) {
        constexpr int Bits = decltype(depth)::value;
        if constexpr (Bits == 8)
            std::memset(first, int(raw), size_t(w));
        else
            fillSpan<Bits>(first, 0, w, raw);
    });
    for (int32_t t = 1; t < h; ++t)
        std::memcpy(raster::DibRow(dib, t), first, size_t(dib.BytesPerRow));
}

} // namespace rows

using namespace rows;

namespace {

// A new image of the same size whose pixel (x, y) is source(x', y) with x'
// from the mirror.
raster::TDibRecord mirrored(const raster::TDibRecord& image)
{
    const int32_t w = raster::DibWidth(image);
    const int32_t h = raster::DibHeight(image);
    raster::TDibRecord dib = newLike(image, w, h);
    if (!dib.Bits)
        return dib;
    const auto src = topRows(image);
    const auto dst = topRows(dib);
    withDepth(raster::DibBitCount(image), [&](auto depth) {
        using P = Pixel<decltype(depth)::value>;
        for (int32_t y = 0; y < h; ++y) {
            const uint8_t* s = src[size_t(y)];
            uint8_t* d = dst[size_t(y)];
            for (int32_t x = 0; x < w; ++x)
                P::set(d, x, P::get(s, w - 1 - x));
        }
    });
    return dib;
}

} // namespace

raster::TDibRecord FlipH(const raster::TDibRecord& image)
{
    return mirrored(image);
}

raster::TDibRecord FlipV(const raster::TDibRecord& image)
{
    const int32_t w = raster::DibWidth(image);
    const int32_t h = raster::DibHeight(image);
    raster::TDibRecord dib = newLike(image, w, h);
    if (!dib.Bits)
        return dib;
    for (int32_t t = 0; t < h; ++t)
        std::memcpy(raster::DibRow(dib, t), raster::DibRow(image, h - 1 - t), size_t(image.BytesPerRow));
    return dib;
}

raster::TDibRecord NewCanvas(const raster::TDibRecord& source, int32_t width, int32_t height, int32_t left,
                             int32_t top, uint32_t background)
{
    if (!source.Bits)
        return {};
    raster::TDibRecord dib = newLike(source, width, height);
    if (!dib.Bits)
        return dib;
    const int32_t bitCount = raster::DibBitCount(source);
    fillRaw(dib, rawValue(bitCount, background));

    // The part of the picture that lands on the canvas: destination columns
    // x0..x1-1 and rows y0..y1-1 (64-bit, so far offsets cannot overflow).
    const int64_t w = raster::DibWidth(source);
    const int64_t h = raster::DibHeight(source);
    const int64_t x0 = std::max<int64_t>(0, left);
    const int64_t x1 = std::min<int64_t>(width, w + left);
    const int64_t y0 = std::max<int64_t>(0, top);
    const int64_t y1 = std::min<int64_t>(height, h + top);
    if (x0 >= x1 || y0 >= y1)
        return dib;
    const auto from = int32_t(x0 - left);
    const auto count = int32_t(x1 - x0);
    withDepth(bitCount, [&](auto depth) {
        constexpr int Bits = decltype(depth)::value;
        for (int64_t y = y0; y < y1; ++y) {
            const uint8_t* s = raster::DibRow(source, int32_t(y - top));
            uint8_t* d = raster::DibRow(dib, int32_t(y));
            if constexpr (Bits >= 8) {
                constexpr int bytes = Bits / 8;
                std::memcpy(d + x0 * bytes, s + int64_t(from) * bytes, size_t(count) * bytes);
            } else {
                for (int32_t i = 0; i < count; ++i)
                    Pixel<Bits>::set(d, int32_t(x0) + i, Pixel<Bits>::get(s, from + i));
            }
        }
    });
    return dib;
}

raster::TDibRecord AddBorders(const raster::TDibRecord& image, int32_t top, int32_t bottom, int32_t left,
                              int32_t right, const FilterContext& context)
{
    if (!image.Bits)
        return {};
    const int64_t width = int64_t(raster::DibWidth(image)) + left + right;
    const int64_t height = int64_t(raster::DibHeight(image)) + top + bottom;
    if (width < 1 || height < 1 || width > raster::kMaxDimension || height > raster::kMaxDimension)
        return {};
    return NewCanvas(image, int32_t(width), int32_t(height), left, top, context.Col2);
}

int32_t centredOffset(int32_t newSize, int32_t oldSize)
{
    return int32_t(std::nearbyint((double(newSize) - double(oldSize)) / 2.0));
}

int32_t keptAspect(int32_t changed, int32_t side, int32_t other)
{
    if (side == 0)
        return other;
    return int32_t(std::trunc(double(changed) * double(other) / double(side)));
}

} // namespace filters
