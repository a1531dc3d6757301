#include "raster/halftone.h"

#include "raster/rasterio.h"

#include <array>
#include <vector>

namespace raster {

namespace {
constexpr uint8_t kBayer[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
    {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
    {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21},
};

// level[t][v]: the cube level 0..5 of channel value v at threshold t.
struct LevelTable {
    std::array<std::array<uint8_t, 256>, 64> level{};
    LevelTable()
    {
        for (int t = 0; t < 64; ++t) {
            for (int v = 0; v < 256; ++v) {
                const int n = v * 5;
                level[size_t(t)][size_t(v)] = uint8_t(n / 255 + ((n % 255) * 64 > t * 255 ? 1 : 0));
            }
        }
    }
};
const LevelTable kLevels;
} // namespace

RGBQUAD halftoneColour(int index)
{
    if (index < 216) {
        const auto r = uint8_t(index / 36 * 51), g = uint8_t(index / 6 % 6 * 51), b = uint8_t(index % 6 * 51);
        return RGBQUAD{b, g, r, 0};
    }
    const auto grey = uint8_t((index - 215) * 255 / 41);
    return RGBQUAD{grey, grey, grey, 0};
}

void DIBHalftoneDIBXY(TDibRecord* out, const TDibRecord& source, int32_t width, int32_t height)
{
    *out = TDibRecord{};
    if (!source.Bits || width <= 0 || height <= 0)
        return;
    std::vector<uint8_t> info(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
    auto* table = reinterpret_cast<BITMAPINFO*>(info.data());
    for (int i = 0; i < 256; ++i)
        table->bmiColors[i] = halftoneColour(i);
    newdib(out, width, height, 8, table, 256);
    if (!out->Bits)
        return;

    const int32_t sw = DibWidth(source), sh = DibHeight(source), bc = DibBitCount(source);
    const RGBQUAD* colours = DibColors(source);
    std::vector<int32_t> columns(static_cast<size_t>(width));
    for (int32_t x = 0; x < width; ++x)
        columns[size_t(x)] = int32_t(int64_t(x) * sw / width);
    for (int32_t y = 0; y < height; ++y) {
        const auto sy = int32_t(int64_t(y) * sh / height);
        const uint8_t* src = DibRow(source, sy);
        uint8_t* dst = DibRow(*out, y);
        const uint8_t* bayerRow = kBayer[y & 7];
        for (int32_t x = 0; x < width; ++x) {
            const int32_t sx = columns[size_t(x)];
            uint8_t r, g, b;
            if (bc == 24) {
                b = src[3 * sx];
                g = src[3 * sx + 1];
                r = src[3 * sx + 2];
            } else {
                const RGBQUAD q = colours[getpixel(source, sx, sy)];
                r = q.rgbRed;
                g = q.rgbGreen;
                b = q.rgbBlue;
            }
            const auto& level = kLevels.level[bayerRow[x & 7]];
            dst[x] = uint8_t(level[r] * 36 + level[g] * 6 + level[b]);
        }
    }
}

void DIBHalftoneDIB(TDibRecord* out, const TDibRecord& source)
{
    DIBHalftoneDIBXY(out, source, DibWidth(source), DibHeight(source));
}

} // namespace raster
