// Resampling to a new size, nearest neighbour or (24 bits, enlarging)
// bilinear, on positions in steps of 1/1024 pixel.

#include "filters/geometry.h"

#include "filters/geometryrows.h"
#include "raster/rasterio.h"

#include <algorithm>
#include <cstring>

namespace filters {

using namespace rows;

namespace {

// The source position, in 1/1024 pixel, of each of the n2 destination
// pixels along a side of n source pixels: i * (n * 1024 div n2). When the
// step would be 0 (enlarging more than 1024 times) every destination pixel
// would fall on the first source pixel; the exact position i * n * 1024
// div n2 is taken there instead.
std::vector<int32_t> positions(int32_t n, int32_t n2)
{
    std::vector<int32_t> pos(static_cast<size_t>(n2));
    const int32_t step = n * 1024 / n2;
    for (int32_t i = 0; i < n2; ++i)
        pos[size_t(i)] = step > 0 ? i * step : int32_t(int64_t(i) * n * 1024 / n2);
    return pos;
}

uint8_t* storageRow(const raster::TDibRecord& dib, int32_t r)
{
    return dib.Bits + ptrdiff_t(r) * dib.BytesPerRow;
}

// Nearest neighbour on the stored rows: destination row r (bottom row
// first) takes source row pos >> 10 in the same order.
template <int Bits>
void nearest(const raster::TDibRecord& image, const raster::TDibRecord& dib, const std::vector<int32_t>& colPos,
             const std::vector<int32_t>& rowPos)
{
    const int32_t w2 = raster::DibWidth(dib);
    const int32_t h2 = raster::DibHeight(dib);
    std::vector<int32_t> col(static_cast<size_t>(w2));
    for (int32_t x = 0; x < w2; ++x)
        col[size_t(x)] = (colPos[size_t(x)] >> 10) * (Bits == 24 ? 3 : 1);
    int32_t previous = -1;
    for (int32_t r = 0; r < h2; ++r) {
        const int32_t sr = rowPos[size_t(r)] >> 10;
        uint8_t* d = storageRow(dib, r);
        if (sr == previous) { // an enlarged row repeats the one before
            std::memcpy(d, d - dib.BytesPerRow, size_t(dib.BytesPerRow));
            continue;
        }
        previous = sr;
        const uint8_t* s = storageRow(image, sr);
        if constexpr (Bits == 24) {
            for (int32_t x = 0; x < w2; ++x) {
                const uint8_t* p = s + col[size_t(x)];
                d[0] = p[0];
                d[1] = p[1];
                d[2] = p[2];
                d += 3;
            }
        } else if constexpr (Bits == 8) {
            for (int32_t x = 0; x < w2; ++x)
                d[x] = s[col[size_t(x)]];
        } else {
            for (int32_t x = 0; x < w2; ++x)
                Pixel<Bits>::set(d, x, Pixel<Bits>::get(s, col[size_t(x)]));
        }
    }
}

// 1 bit: rows counted from the top.
void nearestTopDown(const raster::TDibRecord& image, const raster::TDibRecord& dib,
                    const std::vector<int32_t>& colPos, const std::vector<int32_t>& rowPos)
{
    const int32_t w2 = raster::DibWidth(dib);
    const int32_t h2 = raster::DibHeight(dib);
    for (int32_t y = 0; y < h2; ++y) {
        const uint8_t* s = raster::DibRow(image, rowPos[size_t(y)] >> 10);
        uint8_t* d = raster::DibRow(dib, y);
        for (int32_t x = 0; x < w2; ++x)
            Pixel<1>::set(d, x, Pixel<1>::get(s, colPos[size_t(x)] >> 10));
    }
}

// 24 bits, enlarging: bilinear with weights 1023 - f and f, each stage
// shifted down by 10 bits.
void interpolated(const raster::TDibRecord& image, const raster::TDibRecord& dib, const std::vector<int32_t>& colPos,
                  const std::vector<int32_t>& rowPos)
{
    const int32_t w = raster::DibWidth(image);
    const int32_t h = raster::DibHeight(image);
    const int32_t w2 = raster::DibWidth(dib);
    const int32_t h2 = raster::DibHeight(dib);
    for (int32_t r = 0; r < h2; ++r) {
        const int32_t y0 = rowPos[size_t(r)] >> 10;
        const int32_t fy = rowPos[size_t(r)] & 1023;
        const int32_t y1 = std::min(y0 + 1, h - 1);
        const uint8_t* s0 = storageRow(image, y0);
        const uint8_t* s1 = storageRow(image, y1);
        uint8_t* d = storageRow(dib, r);
        for (int32_t x = 0; x < w2; ++x) {
            const int32_t x0 = colPos[size_t(x)] >> 10;
            const int32_t fx = colPos[size_t(x)] & 1023;
            const int32_t x1 = std::min(x0 + 1, w - 1);
            for (int32_t k = 0; k < 3; ++k) {
                const int32_t top = (s0[x0 * 3 + k] * (1023 - fx) + s0[x1 * 3 + k] * fx) >> 10;
                const int32_t bottom = (s1[x0 * 3 + k] * (1023 - fx) + s1[x1 * 3 + k] * fx) >> 10;
                d[x * 3 + k] = uint8_t((top * (1023 - fy) + bottom * fy) >> 10);
            }
        }
    }
}

} // namespace

raster::TDibRecord Resize(const raster::TDibRecord& image, int32_t width, int32_t height, bool interpolate)
{
    if (!image.Bits)
        return {};
    raster::TDibRecord dib = newLike(image, width, height);
    if (!dib.Bits)
        return dib;
    const int32_t w = raster::DibWidth(image);
    const int32_t h = raster::DibHeight(image);
    const auto colPos = positions(w, width);
    const auto rowPos = positions(h, height);
    const int32_t bitCount = raster::DibBitCount(image);
    if (bitCount == 1) {
        nearestTopDown(image, dib, colPos, rowPos);
    } else if (bitCount == 24 && interpolate && width >= w && height >= h && (width > w || height > h)) {
        // (At the same size nothing is enlarged: the picture is copied as it
        // is rather than darkened by the 1023 weights.)
        interpolated(image, dib, colPos, rowPos);
    } else {
        withDepth(bitCount, [&](auto depth) {
            constexpr int Bits = decltype(depth)::value;
            if constexpr (Bits != 1)
                nearest<Bits>(image, dib, colPos, rowPos);
        });
    }
    return dib;
}

} // namespace filters
