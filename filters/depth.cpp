#include "filters/depth.h"

#include "filters/progress.h"
#include "platform/random.h"
#include "raster/dibguard.h"
#include "raster/rasterio.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>

namespace filters {

using raster::DibBitCount;
using raster::DibColorCount;
using raster::DibHeight;
using raster::DibRow;
using raster::DibWidth;
using raster::TDibRecord;

namespace {

constexpr PALETTEENTRY kStandard16[16] = {
    {0, 0, 0, 0},     {128, 0, 0, 0},   {0, 128, 0, 0},   {128, 128, 0, 0},
    {0, 0, 128, 0},   {128, 0, 128, 0}, {0, 128, 128, 0}, {192, 192, 192, 0},
    {128, 128, 128, 0}, {255, 0, 0, 0}, {0, 255, 0, 0},   {255, 255, 0, 0},
    {0, 0, 255, 0},   {255, 0, 255, 0}, {0, 255, 255, 0}, {255, 255, 255, 0},
};

struct Rgb3 {
    uint8_t r, g, b;
};

// Red, green, blue of entries 0-255, four to a line.
constexpr Rgb3 kStandard256Rgb[256] = {
    {0, 0, 0}, {128, 0, 0}, {0, 128, 0}, {128, 128, 0},
    {0, 0, 128}, {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
    {192, 220, 192}, {166, 202, 240}, {4, 4, 4}, {8, 8, 8},
    {12, 12, 12}, {17, 17, 17}, {22, 22, 22}, {28, 28, 28},
    {34, 34, 34}, {41, 41, 41}, {85, 85, 85}, {77, 77, 77},
    {66, 66, 66}, {57, 57, 57}, {129, 129, 129}, {129, 0, 0},
    {0, 129, 0}, {129, 129, 0}, {0, 0, 129}, {129, 0, 129},
    {0, 129, 129}, {51, 0, 0}, {102, 0, 0}, {153, 0, 0},
    {204, 0, 0}, {0, 51, 0}, {51, 51, 0}, {102, 51, 0},
    {153, 51, 0}, {204, 51, 0}, {255, 51, 0}, {0, 102, 0},
    {51, 102, 0}, {102, 102, 0}, {153, 102, 0}, {204, 102, 0},
    {255, 102, 0}, {0, 153, 0}, {51, 153, 0}, {102, 153, 0},
    {153, 153, 0}, {204, 153, 0}, {255, 153, 0}, {0, 204, 0},
    {51, 204, 0}, {102, 204, 0}, {153, 204, 0}, {204, 204, 0},
    {255, 204, 0}, {102, 255, 0}, {153, 255, 0}, {204, 255, 0},
    {0, 0, 51}, {51, 0, 51}, {102, 0, 51}, {153, 0, 51},
    {204, 0, 51}, {255, 0, 51}, {0, 51, 51}, {51, 51, 51},
    {102, 51, 51}, {153, 51, 51}, {204, 51, 51}, {255, 51, 51},
    {0, 102, 51}, {51, 102, 51}, {102, 102, 51}, {153, 102, 51},
    {204, 102, 51}, {255, 102, 51}, {0, 153, 51}, {51, 153, 51},
    {102, 153, 51}, {153, 153, 51}, {204, 153, 51}, {255, 153, 51},
    {0, 204, 51}, {51, 204, 51}, {102, 204, 51}, {153, 204, 51},
    {204, 204, 51}, {255, 204, 51}, {51, 255, 51}, {102, 255, 51},
    {153, 255, 51}, {204, 255, 51}, {255, 255, 51}, {0, 0, 102},
    {51, 0, 102}, {102, 0, 102}, {153, 0, 102}, {204, 0, 102},
    {255, 0, 102}, {0, 51, 102}, {51, 51, 102}, {102, 51, 102},
    {153, 51, 102}, {204, 51, 102}, {255, 51, 102}, {0, 102, 102},
    {51, 102, 102}, {102, 102, 102}, {153, 102, 102}, {204, 102, 102},
    {0, 153, 102}, {51, 153, 102}, {102, 153, 102}, {153, 153, 102},
    {204, 153, 102}, {255, 153, 102}, {0, 204, 102}, {51, 204, 102},
    {153, 204, 102}, {204, 204, 102}, {255, 204, 102}, {0, 255, 102},
    {51, 255, 102}, {153, 255, 102}, {204, 255, 102}, {255, 0, 204},
    {204, 0, 255}, {0, 153, 153}, {153, 51, 153}, {153, 0, 153},
    {204, 0, 153}, {0, 0, 153}, {51, 51, 153}, {102, 0, 153},
    {204, 51, 153}, {255, 0, 153}, {0, 102, 153}, {51, 102, 153},
    {102, 51, 153}, {153, 102, 153}, {204, 102, 153}, {255, 51, 153},
    {51, 153, 153}, {102, 153, 153}, {153, 153, 153}, {204, 153, 153},
    {255, 153, 153}, {0, 204, 153}, {51, 204, 153}, {102, 204, 102},
    {153, 204, 153}, {204, 204, 153}, {255, 204, 153}, {0, 255, 153},
    {51, 255, 153}, {102, 204, 153}, {153, 255, 153}, {204, 255, 153},
    {255, 255, 153}, {0, 0, 204}, {51, 0, 153}, {102, 0, 204},
    {153, 0, 204}, {204, 0, 204}, {0, 51, 153}, {51, 51, 204},
    {102, 51, 204}, {153, 51, 204}, {204, 51, 204}, {255, 51, 204},
    {0, 102, 204}, {51, 102, 204}, {102, 102, 153}, {153, 102, 204},
    {204, 102, 204}, {255, 102, 153}, {0, 153, 204}, {51, 153, 204},
    {102, 153, 204}, {153, 153, 204}, {204, 153, 204}, {255, 153, 204},
    {0, 204, 204}, {51, 204, 204}, {102, 204, 204}, {153, 204, 204},
    {204, 204, 204}, {255, 204, 204}, {0, 255, 204}, {51, 255, 204},
    {102, 255, 153}, {153, 255, 204}, {204, 255, 204}, {255, 255, 204},
    {51, 0, 204}, {102, 0, 255}, {153, 0, 255}, {0, 51, 204},
    {51, 51, 255}, {102, 51, 255}, {153, 51, 255}, {204, 51, 255},
    {255, 51, 255}, {0, 102, 255}, {51, 102, 255}, {102, 102, 204},
    {153, 102, 255}, {204, 102, 255}, {255, 102, 204}, {0, 153, 255},
    {51, 153, 255}, {102, 153, 255}, {153, 153, 255}, {204, 153, 255},
    {255, 153, 255}, {0, 204, 255}, {51, 204, 255}, {102, 204, 255},
    {153, 204, 255}, {204, 204, 255}, {255, 204, 255}, {51, 255, 255},
    {102, 255, 204}, {153, 255, 255}, {204, 255, 255}, {255, 102, 102},
    {102, 255, 102}, {255, 255, 102}, {102, 102, 255}, {255, 102, 255},
    {102, 255, 255}, {193, 193, 193}, {95, 95, 95}, {119, 119, 119},
    {134, 134, 134}, {150, 150, 150}, {203, 203, 203}, {178, 178, 178},
    {215, 215, 215}, {221, 221, 221}, {227, 227, 227}, {234, 234, 234},
    {241, 241, 241}, {248, 248, 248}, {255, 251, 240}, {160, 160, 164},
    {128, 128, 128}, {255, 0, 0}, {0, 255, 0}, {255, 255, 0},
    {0, 0, 255}, {255, 0, 255}, {0, 255, 255}, {255, 255, 255},
};

constexpr std::array<PALETTEENTRY, 256> makeStandard256()
{
    std::array<PALETTEENTRY, 256> p{};
    for (size_t i = 0; i < 256; ++i)
        p[i] = {kStandard256Rgb[i].r, kStandard256Rgb[i].g, kStandard256Rgb[i].b, 0};
    return p;
}

constexpr std::array<PALETTEENTRY, 256> kStandard256 = makeStandard256();

// The colours of image row t from the top as blue, green, red bytes: a
// 24-bit picture's own bytes, a palette picture's colour table colours.
void fetchRow(const TDibRecord& picture, int32_t t, uint8_t* bgr)
{
    const int32_t w = DibWidth(picture);
    const int32_t bits = DibBitCount(picture);
    const uint8_t* row = DibRow(picture, t);
    if (bits == 24) {
        std::memcpy(bgr, row, size_t(w) * 3);
        return;
    }
    const platform::RGBQUAD* table = picture.Info->bmiColors;
    for (int32_t x = 0; x < w; ++x, bgr += 3) {
        uint32_t index;
        if (bits == 8)
            index = row[x];
        else if (bits == 4)
            index = (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15;
        else
            index = (row[x >> 3] >> (7 - (x & 7))) & 1;
        const platform::RGBQUAD q = table[index];
        bgr[0] = q.rgbBlue;
        bgr[1] = q.rgbGreen;
        bgr[2] = q.rgbRed;
    }
}

// Writes palette indices into image row t from the top of a 1-, 4- or
// 8-bit picture (4 bits: the even column in the high nibble; 1 bit: the
// leftmost column in the most significant bit).
void storeRow(const TDibRecord& picture, int32_t t, const uint8_t* indices)
{
    const int32_t w = DibWidth(picture);
    uint8_t* row = DibRow(picture, t);
    switch (DibBitCount(picture)) {
    case 8:
        std::memcpy(row, indices, size_t(w));
        break;
    case 4:
        for (int32_t x = 0; x < w; x += 2)
            row[x >> 1] = uint8_t((indices[x] & 15) << 4 | (x + 1 < w ? indices[x + 1] & 15 : row[x >> 1] & 15));
        break;
    case 1:
        for (int32_t x = 0; x < w; x += 8) {
            uint8_t byte = row[x >> 3];
            for (int32_t k = 0; k < 8 && x + k < w; ++k) {
                const uint8_t bit = uint8_t(0x80 >> k);
                byte = uint8_t(indices[x + k] & 1 ? byte | bit : byte & ~bit);
            }
            row[x >> 3] = byte;
        }
        break;
    default:
        break;
    }
}

std::span<const PALETTEENTRY> paletteOf(const TDibRecord& picture)
{
    const int32_t n = DibBitCount(picture) <= 8 ? DibColorCount(picture) : 0;
    return {picture.LogPal.palPalEntry, size_t(std::clamp(n, 0, 256))};
}

// A new picture of the size of like and the given depth, its palette
// (for 8 bits or fewer) set to palette and its palette handle made anew.
bool makeTarget(const TDibRecord& like, int32_t bits, std::span<const PALETTEENTRY> palette, raster::DibGuard& out)
{
    raster::newdib(out.out(), DibWidth(like), DibHeight(like), bits, nullptr, 0);
    if (!out)
        return false;
    if (bits <= 8 && !palette.empty()) {
        const int n = std::min(int(palette.size()), DibColorCount(out.get()));
        for (int i = 0; i < n; ++i)
            raster::setPaletteEntry(out.get(), i, palette[size_t(i)].peRed, palette[size_t(i)].peGreen,
                                    palette[size_t(i)].peBlue);
        raster::refreshPalette(out.get());
    }
    return true;
}

// The new picture takes the place of the old one; the current colours
// become the first and the last index.
void adopt(TDibRecord& picture, raster::DibGuard& converted, FilterContext& context)
{
    raster::deldib(picture);
    picture = converted.release();
    context.Col1 = 0;
    context.Col2 = uint32_t(DibColorCount(picture) - 1);
}

// The bins sorted by count, ascending, together with their indices: the
// quicksort whose order between equal counts decides which colours of a
// popularity count win. The two halves of a partition are independent, so
// the smaller one is sorted first and the larger one in the loop; that
// bounds the depth without changing the outcome.
void sortBins(uint16_t* count, int32_t* index, int32_t lo, int32_t hi)
{
    while (true) {
        int32_t i = lo, j = hi;
        const uint16_t pivot = count[(lo + hi) / 2];
        do {
            while (count[i] < pivot)
                ++i;
            while (count[j] > pivot)
                --j;
            if (i <= j) {
                std::swap(count[i], count[j]);
                std::swap(index[i], index[j]);
                ++i;
                --j;
            }
        } while (i <= j);
        if (j - lo < hi - i) {
            if (lo < j)
                sortBins(count, index, lo, j);
            if (i >= hi)
                return;
            lo = i;
        } else {
            if (i < hi)
                sortBins(count, index, i, hi);
            if (lo >= j)
                return;
            hi = j;
        }
    }
}

int luminance(const platform::RGBQUAD& q)
{
    return (30 * q.rgbRed + 59 * q.rgbGreen + 11 * q.rgbBlue) / 100;
}

// To 1 bit by threshold: a 24-bit pixel is set when its channel mean is at
// least 128, a palette pixel when the luminance of its colour is.
void thresholdTo1(const TDibRecord& source, const TDibRecord& target, const Progress& progress)
{
    const int32_t w = DibWidth(source), h = DibHeight(source);
    std::vector<uint8_t> indices(static_cast<size_t>(w));
    RowPercent percent(progress, h);
    const bool truecolour = DibBitCount(source) == 24;
    uint8_t byIndex[256]{};
    if (!truecolour) {
        for (int i = 0; i < DibColorCount(source); ++i)
            byIndex[i] = luminance(source.Info->bmiColors[i]) >= 128 ? 1 : 0;
    }
    for (int32_t t = 0; t < h; ++t) {
        if (truecolour) {
            const uint8_t* p = DibRow(source, t);
            for (int32_t x = 0; x < w; ++x, p += 3)
                indices[size_t(x)] = (p[0] + p[1] + p[2]) / 3 >= 128 ? 1 : 0;
        } else {
            for (int32_t x = 0; x < w; ++x)
                indices[size_t(x)] = byIndex[raster::getpixel(source, x, t) & 255];
        }
        storeRow(target, t, indices.data());
        percent.done(t + 1);
    }
}

// Every pixel as the nearest entry of the target's palette to its colour.
void nearestColours(const TDibRecord& source, const TDibRecord& target, const Progress& progress)
{
    const int32_t w = DibWidth(source), h = DibHeight(source);
    const std::span<const PALETTEENTRY> palette = paletteOf(target);
    std::vector<uint8_t> indices(static_cast<size_t>(w));
    RowPercent percent(progress, h);
    if (DibBitCount(source) == 24) {
        NearestEntry nearest(palette);
        for (int32_t t = 0; t < h; ++t) {
            const uint8_t* p = DibRow(source, t);
            for (int32_t x = 0; x < w; ++x, p += 3)
                indices[size_t(x)] = nearest(p[2], p[1], p[0]);
            storeRow(target, t, indices.data());
            percent.done(t + 1);
        }
        return;
    }
    uint8_t byIndex[256]{};
    for (int i = 0; i < DibColorCount(source); ++i) {
        const platform::RGBQUAD q = source.Info->bmiColors[i];
        byIndex[i] = uint8_t(nearestEntry(palette, q.rgbRed, q.rgbGreen, q.rgbBlue));
    }
    for (int32_t t = 0; t < h; ++t) {
        for (int32_t x = 0; x < w; ++x)
            indices[size_t(x)] = byIndex[raster::getpixel(source, x, t) & 255];
        storeRow(target, t, indices.data());
        percent.done(t + 1);
    }
}

void fillPixels(const TDibRecord& source, TDibRecord& target, int32_t method, const Progress& progress)
{
    if (method == ErrorDiffusion)
        FloydSteinberg(source, target, progress);
    else
        nearestColours(source, target, progress);
}

} // namespace

std::span<const PALETTEENTRY, 16> standardPalette16()
{
    return std::span<const PALETTEENTRY, 16>(kStandard16);
}

std::span<const PALETTEENTRY, 256> standardPalette256()
{
    return std::span<const PALETTEENTRY, 256>(kStandard256);
}

const uint8_t kDitherThreshold[8][8] = {
    {0, 38, 9, 47, 2, 40, 11, 50},
    {25, 12, 35, 22, 27, 15, 37, 24},
    {6, 44, 3, 41, 8, 47, 5, 43},
    {31, 19, 28, 15, 34, 21, 31, 18},
    {1, 39, 11, 49, 0, 39, 10, 48},
    {27, 14, 36, 23, 26, 13, 35, 23},
    {7, 46, 4, 43, 7, 45, 3, 42},
    {33, 20, 30, 17, 32, 19, 29, 16},
};

const std::array<uint8_t, 216>& ditherCubeMap()
{
    static const std::array<uint8_t, 216> map = [] {
        std::array<uint8_t, 216> m{};
        for (int i = 0; i < 216; ++i) {
            const int r = 51 * (i % 6), g = 51 * (i / 6 % 6), b = 51 * (i / 36);
            // The four cube colours the palette lacks.
            if ((r == 51 && g == 255 && b == 0) || (r == 0 && g == 255 && b == 51)) {
                m[size_t(i)] = 250;
            } else if ((r == 51 && g == 0 && b == 255) || (r == 0 && g == 51 && b == 255)) {
                m[size_t(i)] = 252;
            } else {
                for (int e = 0; e < 256; ++e) {
                    const PALETTEENTRY& p = kStandard256[size_t(e)];
                    if (p.peRed == r && p.peGreen == g && p.peBlue == b) {
                        m[size_t(i)] = uint8_t(e);
                        break;
                    }
                }
            }
        }
        return m;
    }();
    return map;
}

int nearestEntry(std::span<const PALETTEENTRY> palette, int r, int g, int b)
{
    int best = 0;
    int bestDistance = INT_MAX;
    for (size_t i = 0; i < palette.size(); ++i) {
        const int dr = r - palette[i].peRed, dg = g - palette[i].peGreen, db = b - palette[i].peBlue;
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) {
            bestDistance = d;
            best = int(i);
        }
    }
    return best;
}

NearestEntry::NearestEntry(std::span<const PALETTEENTRY> palette) : m_cells(32768)
{
    for (const PALETTEENTRY& e : palette.first(std::min<size_t>(palette.size(), 256)))
        m_rgb.push_back({e.peRed, e.peGreen, e.peBlue});
    if (m_rgb.empty())
        m_rgb.push_back({0, 0, 0});
}

void NearestEntry::fillCell(Cell& cell, int r0, int g0, int b0)
{
    // For every entry the least and the greatest distance to a colour of
    // the cell. An entry whose least distance exceeds some entry's greatest
    // is farther than that entry from every colour of the cell.
    const int lo[3] = {r0, g0, b0};
    int nearMost = INT_MAX;
    int least[256];
    const size_t n = m_rgb.size();
    for (size_t i = 0; i < n; ++i) {
        int dmin = 0, dmax = 0;
        for (int c = 0; c < 3; ++c) {
            const int v = m_rgb[i][size_t(c)];
            const int a = v - lo[c], z = v - (lo[c] + 7);
            dmax += std::max(a * a, z * z);
            dmin += v < lo[c] ? a * a : v > lo[c] + 7 ? z * z : 0;
        }
        least[i] = dmin;
        nearMost = std::min(nearMost, dmax);
    }
    cell.first = uint32_t(m_candidates.size());
    for (size_t i = 0; i < n; ++i) {
        if (least[i] <= nearMost)
            m_candidates.push_back({m_rgb[i][0], m_rgb[i][1], m_rgb[i][2], uint8_t(i)});
    }
    cell.count = uint16_t(m_candidates.size() - cell.first);
    cell.ready = true;
}

std::vector<PALETTEENTRY> popularColours(const TDibRecord& picture, int n, int shift)
{
    constexpr int32_t kBins = 32768;
    n = std::clamp(n, 0, 256);
    std::vector<PALETTEENTRY> chosen;
    if (!picture.Bits)
        return chosen;
    std::vector<uint16_t> count(kBins, 0);
    std::vector<int32_t> index(kBins);
    for (int32_t i = 0; i < kBins; ++i)
        index[size_t(i)] = i;
    auto add = [&](uint32_t bin) {
        if (count[bin] == 65535) {
            for (uint16_t& c : count)
                c = uint16_t(c >> 1);
        }
        ++count[bin];
    };
    const int32_t w = DibWidth(picture), h = DibHeight(picture);
    if (DibBitCount(picture) == 24) {
        for (int32_t t = 0; t < h; ++t) {
            const uint8_t* p = DibRow(picture, t);
            for (int32_t x = 0; x < w; ++x, p += 3)
                add(uint32_t(p[2] >> shift) << 10 | uint32_t(p[1] >> shift) << 5 | uint32_t(p[0] >> shift));
        }
    } else {
        uint32_t byIndex[256]{};
        for (int i = 0; i < DibColorCount(picture); ++i) {
            const platform::RGBQUAD q = picture.Info->bmiColors[i];
            byIndex[i] = uint32_t(q.rgbRed >> shift) << 10 | uint32_t(q.rgbGreen >> shift) << 5 |
                         uint32_t(q.rgbBlue >> shift);
        }
        for (int32_t t = 0; t < h; ++t) {
            for (int32_t x = 0; x < w; ++x)
                add(byIndex[raster::getpixel(picture, x, t) & 255]);
        }
    }
    sortBins(count.data(), index.data(), 0, kBins - 1);
    for (int k = 0; k < n; ++k) {
        const int32_t bin = index[size_t(kBins - 1 - k)];
        chosen.push_back({uint8_t((bin >> 10) << shift), uint8_t(((bin >> 5) & 31) << shift),
                          uint8_t((bin & 31) << shift), 0});
    }
    return chosen;
}

void FloydSteinberg(const TDibRecord& source, TDibRecord& target, const Progress& progress)
{
    if (!source.Bits || !target.Bits || DibBitCount(target) > 8)
        return;
    const int32_t w = DibWidth(source), h = DibHeight(source);
    if (DibWidth(target) != w || DibHeight(target) != h)
        return;
    const std::span<const PALETTEENTRY> palette = paletteOf(target);
    NearestEntry nearest(palette);

    // Error rows of w + 2 slots of blue, green, red, sixteen times the
    // error. The row being read holds what the previous row passed down
    // (slot 1 + k for the k-th pixel in this row's direction) plus what
    // this row passes ahead; the row being written is filled backwards from
    // slot w, so the next row, running the other way, reads it forwards.
    // The values never leave -4080..4080, the range of the 16-bit slots.
    const size_t slotCount = size_t(w) + 2;
    std::vector<int32_t> rowA(3 * slotCount, 0), rowB(3 * slotCount, 0);
    int32_t* cur = rowA.data();
    int32_t* next = rowB.data();
    std::vector<uint8_t> bgr(size_t(w) * 3);
    std::vector<uint8_t> indices(static_cast<size_t>(w));
    RowPercent percent(progress, h);
    for (int32_t t = 0; t < h; ++t) {
        fetchRow(source, t, bgr.data());
        const bool forward = t % 2 == 0;
        for (int c = 0; c < 3; ++c) {
            next[3 * size_t(w) + size_t(c)] = 0;
            next[3 * (size_t(w) + 1) + size_t(c)] = 0; // never read: the column before the row's start
        }
        for (int32_t k = 0; k < w; ++k) {
            const int32_t x = forward ? k : w - 1 - k;
            const uint8_t* src = &bgr[3 * size_t(x)];
            int32_t* here = cur + 3 * (size_t(k) + 1);
            int v[3];
            for (int c = 0; c < 3; ++c)
                v[c] = std::clamp(src[c] + (here[c] + 8) / 16, 0, 255);
            const uint8_t idx = nearest(v[2], v[1], v[0]);
            indices[size_t(x)] = idx;
            const PALETTEENTRY& e = palette[idx];
            const int d[3] = {v[0] - e.peBlue, v[1] - e.peGreen, v[2] - e.peRed};
            int32_t* ahead = here + 3;
            int32_t* below = next + 3 * (size_t(w) - size_t(k));
            for (int c = 0; c < 3; ++c) {
                ahead[c] += 7 * d[c];
                below[c - 3] = d[c];
                below[c] += 5 * d[c];
                below[c + 3] += 3 * d[c];
            }
        }
        storeRow(target, t, indices.data());
        std::swap(cur, next);
        percent.done(t + 1);
    }
}

void orderedDither(const TDibRecord& source, TDibRecord& target, const Progress& progress)
{
    if (!source.Bits || !target.Bits || DibBitCount(source) != 24 || DibBitCount(target) != 8)
        return;
    const int32_t w = DibWidth(source), h = DibHeight(source);
    if (DibWidth(target) != w || DibHeight(target) != h)
        return;
    const auto& cube = ditherCubeMap();
    // level[t][c]: the cube level of channel value c at threshold t.
    static const auto levels = [] {
        std::array<std::array<uint8_t, 256>, 51> l{};
        for (int t = 0; t < 51; ++t)
            for (int c = 0; c < 256; ++c)
                l[size_t(t)][size_t(c)] = uint8_t(c / 51 + (t < c % 51 ? 1 : 0));
        return l;
    }();
    RowPercent percent(progress, h);
    for (int32_t t = 0; t < h; ++t) {
        const int32_t stored = h - 1 - t; // thresholds run by storage row, counted from the bottom
        const uint8_t* p = DibRow(source, t);
        uint8_t* out = DibRow(target, t);
        for (int32_t x = 0; x < w; ++x, p += 3) {
            const auto& l = levels[kDitherThreshold[x & 7][stored & 7]];
            out[x] = cube[size_t(l[p[2]] + 6 * l[p[1]] + 36 * l[p[0]])];
        }
        percent.done(t + 1);
    }
}

DepthDownOptions freeDepthOptions(int32_t colours, bool windowsColours, int32_t method)
{
    DepthDownOptions o;
    o.optimised = true;
    o.method = method == ErrorDiffusion ? ErrorDiffusion : NearestColour;
    o.target = colours > 16 ? 8 : 4;
    o.colours = colours;
    o.windowsColours = windowsColours;
    return o;
}

bool DepthDownTo(TDibRecord& picture, const DepthDownOptions& options, FilterContext& context)
{
    if (!picture.Bits)
        return false;
    const int32_t from = DibBitCount(picture);
    const int32_t to = options.target;
    raster::DibGuard converted;
    const Progress& progress = context.progress;

    if (to == 1 && from != 1) {
        if (!makeTarget(picture, 1, {}, converted))
            return false;
        if (options.method == ErrorDiffusion)
            FloydSteinberg(picture, converted.get(), progress);
        else
            thresholdTo1(picture, converted.get(), progress);
    } else if (to == 4 && (from == 24 || from == 8)) {
        std::array<PALETTEENTRY, 16> palette{};
        if (options.optimised) {
            const auto chosen = popularColours(picture, std::clamp(options.colours, 1, 16), 5);
            palette.fill(chosen.front());
            std::copy(chosen.begin(), chosen.end(), palette.begin());
        } else {
            const auto standard = standardPalette16();
            std::copy(standard.begin(), standard.end(), palette.begin());
        }
        if (!makeTarget(picture, 4, palette, converted))
            return false;
        fillPixels(picture, converted.get(), options.method, progress);
    } else if (to == 8 && from == 24) {
        std::array<PALETTEENTRY, 256> palette = kStandard256;
        if (options.optimised && options.windowsColours) {
            std::fill(palette.begin() + 10, palette.begin() + 246, kStandard256[0]);
            const auto chosen = popularColours(picture, std::clamp(options.colours - 20, 0, 236), 4);
            std::copy(chosen.begin(), chosen.end(), palette.begin() + 10);
        } else if (options.optimised) {
            const auto chosen = popularColours(picture, std::clamp(options.colours, 1, 256), 4);
            palette.fill(chosen.front());
            std::copy(chosen.begin(), chosen.end(), palette.begin());
        }
        if (!makeTarget(picture, 8, palette, converted))
            return false;
        if (options.method == OrderedDither && !options.optimised)
            orderedDither(picture, converted.get(), progress);
        else
            fillPixels(picture, converted.get(), options.method, progress);
    } else {
        return false;
    }
    context.report(0);
    adopt(picture, converted, context);
    return true;
}

bool DepthUpTo(TDibRecord& picture, int32_t target, FilterContext& context)
{
    if (!picture.Bits)
        return false;
    const int32_t from = DibBitCount(picture);
    const bool pair = (from == 4 && (target == 8 || target == 24)) || (from == 8 && target == 24) ||
                      (from == 1 && (target == 4 || target == 8 || target == 24));
    if (!pair)
        return false;

    // The new palette: the old colours where there are any, random ones
    // (each channel a multiple of 4) elsewhere; a 1-bit picture becomes
    // black and white at the first and the last entry.
    std::vector<PALETTEENTRY> palette;
    uint8_t white = 0;
    if (target <= 8) {
        const int n = 1 << target;
        palette.resize(size_t(n));
        int keep = 0;
        if (from == 4) {
            keep = 16;
            std::copy_n(picture.LogPal.palPalEntry, 16, palette.begin());
        } else {
            keep = 1;
            palette[0] = {0, 0, 0, 0};
        }
        const int last = from == 1 ? n - 1 : n;
        for (int i = keep; i < last; ++i) {
            const auto r = uint8_t((platform::Random(256) >> 2) << 2);
            const auto g = uint8_t((platform::Random(256) >> 2) << 2);
            const auto b = uint8_t((platform::Random(256) >> 2) << 2);
            palette[size_t(i)] = {r, g, b, 0};
        }
        if (from == 1) {
            palette[size_t(n - 1)] = {255, 255, 255, 0};
            white = uint8_t(n - 1);
        }
    }
    raster::DibGuard converted;
    if (!makeTarget(picture, target, palette, converted))
        return false;

    const int32_t w = DibWidth(picture), h = DibHeight(picture);
    std::vector<uint8_t> indices(static_cast<size_t>(w));
    std::vector<uint8_t> bgr(size_t(w) * 3);
    RowPercent percent(context.progress, h);
    for (int32_t t = 0; t < h; ++t) {
        if (target == 24) {
            if (from == 1) {
                uint8_t* out = DibRow(converted.get(), t);
                for (int32_t x = 0; x < w; ++x)
                    std::memset(out + 3 * x, raster::getpixel(picture, x, t) ? 255 : 0, 3);
            } else {
                fetchRow(picture, t, DibRow(converted.get(), t));
            }
        } else {
            for (int32_t x = 0; x < w; ++x) {
                const uint32_t v = raster::getpixel(picture, x, t);
                indices[size_t(x)] = from == 1 ? (v ? white : 0) : uint8_t(v);
            }
            storeRow(converted.get(), t, indices.data());
        }
        percent.done(t + 1);
    }
    context.report(0);
    adopt(picture, converted, context);
    return true;
}

} // namespace filters
