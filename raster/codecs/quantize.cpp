// Colour reduction for writers of palette formats; see quantize.h.
//
// Wu's quantiser works on cumulative moments of a colour histogram: for
// every cell (r, g, b) the tables hold the pixel count, the sums of the
// red, green and blue values and the sum of squared values of all pixels
// in cells up to (r, g, b), so the moments of any box come from eight
// table entries. Starting from one box around the whole colour cube it
// repeatedly splits the box of largest variance at the plane that leaves
// the two halves with the least summed variance.

#include "raster/codecs/quantize.h"

#include "raster/codec.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstdint>
#include <new>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace raster {

namespace {

uint32_t colourKey(const uint8_t* bgr)
{
    return uint32_t(bgr[2]) << 16 | uint32_t(bgr[1]) << 8 | bgr[0];
}

RGBQUAD quadOf(uint32_t key)
{
    return RGBQUAD{uint8_t(key), uint8_t(key >> 8), uint8_t(key >> 16), 0};
}

// ---------------------------------------------------------------------------
// Pictures with few colours: the colours themselves.

// The distinct colours in ascending order, or nothing when there are more
// than limit of them.
std::vector<uint32_t> fewColours(const TDibRecord& picture, int limit)
{
    const int32_t w = DibWidth(picture), h = DibHeight(picture);
    std::unordered_set<uint32_t> seen;
    seen.reserve(size_t(limit) * 2);
    uint32_t last = UINT32_MAX;
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* row = DibRow(picture, y);
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t key = colourKey(row + 3 * x);
            if (key == last)
                continue;
            last = key;
            if (seen.insert(key).second && seen.size() > size_t(limit))
                return {};
        }
    }
    std::vector<uint32_t> colours(seen.begin(), seen.end());
    std::sort(colours.begin(), colours.end());
    return colours;
}

void mapExactly(const TDibRecord& picture, const std::vector<uint32_t>& colours, TDibRecord& out)
{
    std::unordered_map<uint32_t, uint8_t> index;
    index.reserve(colours.size() * 2);
    for (size_t i = 0; i < colours.size(); ++i)
        index.emplace(colours[i], uint8_t(i));
    const int32_t w = DibWidth(picture), h = DibHeight(picture);
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* src = DibRow(picture, y);
        uint8_t* dst = DibRow(out, y);
        for (int32_t x = 0; x < w; ++x)
            dst[x] = index.at(colourKey(src + 3 * x));
    }
}

// ---------------------------------------------------------------------------
// Wu's quantiser

constexpr int kHistogramBits = 6;
constexpr int kShift = 8 - kHistogramBits;
constexpr int kCells = 1 << kHistogramBits; // per channel
constexpr int kSide = kCells + 1;           // index 0 of each axis stays zero

constexpr size_t cell(int r, int g, int b)
{
    return (size_t(r) * kSide + size_t(g)) * kSide + size_t(b);
}

struct Moments {
    std::vector<int64_t> weight, red, green, blue;
    std::vector<double> squares;
};

// A box of cells: r0 < r <= r1, g0 < g <= g1, b0 < b <= b1.
struct Box {
    int r0 = 0, r1 = 0, g0 = 0, g1 = 0, b0 = 0, b1 = 0;
    int64_t cells() const { return int64_t(r1 - r0) * (g1 - g0) * (b1 - b0); }
};

enum class Axis { Red, Green, Blue };

template <typename T>
T volume(const Box& c, const std::vector<T>& m)
{
    return m[cell(c.r1, c.g1, c.b1)] - m[cell(c.r1, c.g1, c.b0)] - m[cell(c.r1, c.g0, c.b1)] +
           m[cell(c.r1, c.g0, c.b0)] - m[cell(c.r0, c.g1, c.b1)] + m[cell(c.r0, c.g1, c.b0)] +
           m[cell(c.r0, c.g0, c.b1)] - m[cell(c.r0, c.g0, c.b0)];
}

// The terms of volume() that do not depend on the box's upper bound along axis.
int64_t bottom(const Box& c, Axis axis, const std::vector<int64_t>& m)
{
    switch (axis) {
    case Axis::Red:
        return -m[cell(c.r0, c.g1, c.b1)] + m[cell(c.r0, c.g1, c.b0)] + m[cell(c.r0, c.g0, c.b1)] -
               m[cell(c.r0, c.g0, c.b0)];
    case Axis::Green:
        return -m[cell(c.r1, c.g0, c.b1)] + m[cell(c.r1, c.g0, c.b0)] + m[cell(c.r0, c.g0, c.b1)] -
               m[cell(c.r0, c.g0, c.b0)];
    case Axis::Blue:
        return -m[cell(c.r1, c.g1, c.b0)] + m[cell(c.r1, c.g0, c.b0)] + m[cell(c.r0, c.g1, c.b0)] -
               m[cell(c.r0, c.g0, c.b0)];
    }
    return 0;
}

// The remaining terms with the upper bound along axis moved to position.
int64_t top(const Box& c, Axis axis, int position, const std::vector<int64_t>& m)
{
    switch (axis) {
    case Axis::Red:
        return m[cell(position, c.g1, c.b1)] - m[cell(position, c.g1, c.b0)] - m[cell(position, c.g0, c.b1)] +
               m[cell(position, c.g0, c.b0)];
    case Axis::Green:
        return m[cell(c.r1, position, c.b1)] - m[cell(c.r1, position, c.b0)] - m[cell(c.r0, position, c.b1)] +
               m[cell(c.r0, position, c.b0)];
    case Axis::Blue:
        return m[cell(c.r1, c.g1, position)] - m[cell(c.r1, c.g0, position)] - m[cell(c.r0, c.g1, position)] +
               m[cell(c.r0, c.g0, position)];
    }
    return 0;
}

class WuQuantizer {
public:
    // Throws std::bad_alloc when the tables cannot be made.
    explicit WuQuantizer(const TDibRecord& picture)
    {
        const size_t n = size_t(kSide) * kSide * kSide;
        m_m.weight.assign(n, 0);
        m_m.red.assign(n, 0);
        m_m.green.assign(n, 0);
        m_m.blue.assign(n, 0);
        m_m.squares.assign(n, 0.0);
        const int32_t w = DibWidth(picture), h = DibHeight(picture);
        for (int32_t y = 0; y < h; ++y) {
            const uint8_t* px = DibRow(picture, y);
            for (int32_t x = 0; x < w; ++x, px += 3) {
                const int b = px[0], g = px[1], r = px[2];
                const size_t i = cell((r >> kShift) + 1, (g >> kShift) + 1, (b >> kShift) + 1);
                ++m_m.weight[i];
                m_m.red[i] += r;
                m_m.green[i] += g;
                m_m.blue[i] += b;
                m_m.squares[i] += double(r * r + g * g + b * b);
            }
        }
        accumulate();
    }

    // Up to count colours, each the mean of the pixels in one box.
    std::vector<RGBQUAD> palette(int count)
    {
        std::vector<Box> boxes(static_cast<size_t>(count));
        std::vector<double> variance(static_cast<size_t>(count), 0.0);
        boxes[0] = Box{0, kCells, 0, kCells, 0, kCells};
        int made = 1;
        size_t next = 0;
        while (made < count) {
            if (split(boxes[next], boxes[size_t(made)])) {
                variance[next] = boxes[next].cells() > 1 ? boxVariance(boxes[next]) : 0.0;
                variance[size_t(made)] = boxes[size_t(made)].cells() > 1 ? boxVariance(boxes[size_t(made)]) : 0.0;
                ++made;
            } else {
                variance[next] = 0.0; // cannot be split: never try again
            }
            next = 0;
            double largest = variance[0];
            for (size_t k = 1; k < size_t(made); ++k) {
                if (variance[k] > largest) {
                    largest = variance[k];
                    next = k;
                }
            }
            if (largest <= 0.0)
                break;
        }
        std::vector<RGBQUAD> colours;
        for (int k = 0; k < made; ++k) {
            const Box& box = boxes[size_t(k)];
            const int64_t weight = volume(box, m_m.weight);
            if (weight <= 0)
                continue;
            auto mean = [weight](int64_t sum) { return uint8_t((sum + weight / 2) / weight); };
            colours.push_back(RGBQUAD{mean(volume(box, m_m.blue)), mean(volume(box, m_m.green)),
                                      mean(volume(box, m_m.red)), 0});
        }
        return colours;
    }

private:
    // Turns the histogram into cumulative moments.
    void accumulate()
    {
        std::array<int64_t, kSide> areaW{}, areaR{}, areaG{}, areaB{};
        std::array<double, kSide> areaS{};
        for (int r = 1; r <= kCells; ++r) {
            areaW.fill(0);
            areaR.fill(0);
            areaG.fill(0);
            areaB.fill(0);
            areaS.fill(0.0);
            for (int g = 1; g <= kCells; ++g) {
                int64_t lineW = 0, lineR = 0, lineG = 0, lineB = 0;
                double lineS = 0.0;
                for (int b = 1; b <= kCells; ++b) {
                    const size_t i = cell(r, g, b), below = cell(r - 1, g, b);
                    lineW += m_m.weight[i];
                    lineR += m_m.red[i];
                    lineG += m_m.green[i];
                    lineB += m_m.blue[i];
                    lineS += m_m.squares[i];
                    areaW[size_t(b)] += lineW;
                    areaR[size_t(b)] += lineR;
                    areaG[size_t(b)] += lineG;
                    areaB[size_t(b)] += lineB;
                    areaS[size_t(b)] += lineS;
                    m_m.weight[i] = m_m.weight[below] + areaW[size_t(b)];
                    m_m.red[i] = m_m.red[below] + areaR[size_t(b)];
                    m_m.green[i] = m_m.green[below] + areaG[size_t(b)];
                    m_m.blue[i] = m_m.blue[below] + areaB[size_t(b)];
                    m_m.squares[i] = m_m.squares[below] + areaS[size_t(b)];
                }
            }
        }
    }

    // Sum of squared distances of the box's pixels from their mean.
    double boxVariance(const Box& box) const
    {
        const double r = double(volume(box, m_m.red)), g = double(volume(box, m_m.green));
        const double b = double(volume(box, m_m.blue));
        const double weight = double(volume(box, m_m.weight));
        return volume(box, m_m.squares) - (r * r + g * g + b * b) / weight;
    }

    struct Best {
        double score = 0.0;
        int cut = -1;
    };

    // The cut along axis (first <= cut < last) that maximises the summed
    // squared means of both halves weighted by their counts, which is the
    // cut of least remaining variance.
    Best maximize(const Box& box, Axis axis, int first, int last, int64_t wholeR, int64_t wholeG, int64_t wholeB,
                  int64_t wholeW) const
    {
        const int64_t baseR = bottom(box, axis, m_m.red), baseG = bottom(box, axis, m_m.green);
        const int64_t baseB = bottom(box, axis, m_m.blue), baseW = bottom(box, axis, m_m.weight);
        Best best;
        for (int i = first; i < last; ++i) {
            const int64_t halfR = baseR + top(box, axis, i, m_m.red);
            const int64_t halfG = baseG + top(box, axis, i, m_m.green);
            const int64_t halfB = baseB + top(box, axis, i, m_m.blue);
            const int64_t halfW = baseW + top(box, axis, i, m_m.weight);
            if (halfW == 0 || halfW == wholeW)
                continue; // one half empty
            auto score = [](double r, double g, double b, double w) { return (r * r + g * g + b * b) / w; };
            const double s = score(double(halfR), double(halfG), double(halfB), double(halfW)) +
                             score(double(wholeR - halfR), double(wholeG - halfG), double(wholeB - halfB),
                                   double(wholeW - halfW));
            if (s > best.score) {
                best.score = s;
                best.cut = i;
            }
        }
        return best;
    }

    // Splits first into first and second; false when no cut leaves pixels
    // on both sides.
    bool split(Box& first, Box& second) const
    {
        const int64_t wholeR = volume(first, m_m.red), wholeG = volume(first, m_m.green);
        const int64_t wholeB = volume(first, m_m.blue), wholeW = volume(first, m_m.weight);
        const Best red = maximize(first, Axis::Red, first.r0 + 1, first.r1, wholeR, wholeG, wholeB, wholeW);
        const Best green = maximize(first, Axis::Green, first.g0 + 1, first.g1, wholeR, wholeG, wholeB, wholeW);
        const Best blue = maximize(first, Axis::Blue, first.b0 + 1, first.b1, wholeR, wholeG, wholeB, wholeW);
        Axis axis = Axis::Blue;
        Best best = blue;
        if (red.score >= green.score && red.score >= blue.score) {
            axis = Axis::Red;
            best = red;
        } else if (green.score >= blue.score) {
            axis = Axis::Green;
            best = green;
        }
        if (best.cut < 0)
            return false;
        second = first;
        switch (axis) {
        case Axis::Red:
            second.r0 = first.r1 = best.cut;
            break;
        case Axis::Green:
            second.g0 = first.g1 = best.cut;
            break;
        case Axis::Blue:
            second.b0 = first.b1 = best.cut;
            break;
        }
        return true;
    }

    Moments m_m;
};

// Nearest palette entry of every colour, exact: the colour cube is split
// into cells of 8 x 8 x 8 values, and each cell keeps (made on first use)
// the entries that can be nearest to some colour in it, which are those no
// farther from the cell than the smallest distance within which some entry
// covers the whole cell.
class NearestColour {
public:
    explicit NearestColour(const std::vector<RGBQUAD>& palette)
        : m_palette(palette), m_first(size_t(kCellCount), -1), m_count(size_t(kCellCount), 0)
    {
    }

    uint8_t operator()(int r, int g, int b)
    {
        const size_t c = size_t((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3));
        if (m_first[c] < 0)
            fillCell(c, r >> 3, g >> 3, b >> 3);
        const uint8_t* candidate = m_pool.data() + m_first[c];
        int bestDistance = INT32_MAX;
        uint8_t best = 0;
        for (int i = 0; i < m_count[c]; ++i) {
            const RGBQUAD& q = m_palette[candidate[i]];
            const int dr = r - q.rgbRed, dg = g - q.rgbGreen, db = b - q.rgbBlue;
            const int d = dr * dr + dg * dg + db * db;
            if (d < bestDistance) {
                bestDistance = d;
                best = candidate[i];
            }
        }
        return best;
    }

private:
    static constexpr int kCellCount = 32 * 32 * 32;

    void fillCell(size_t c, int cr, int cg, int cb)
    {
        auto nearFar = [](int v, int lo, int& nearD, int& farD) {
            const int hi = lo + 7;
            const int n = v < lo ? lo - v : v > hi ? v - hi : 0;
            const int f = std::max(std::abs(v - lo), std::abs(v - hi));
            nearD += n * n;
            farD += f * f;
        };
        std::vector<int> nearest(m_palette.size());
        int threshold = INT32_MAX;
        for (size_t i = 0; i < m_palette.size(); ++i) {
            int nearD = 0, farD = 0;
            nearFar(m_palette[i].rgbRed, cr * 8, nearD, farD);
            nearFar(m_palette[i].rgbGreen, cg * 8, nearD, farD);
            nearFar(m_palette[i].rgbBlue, cb * 8, nearD, farD);
            nearest[i] = nearD;
            threshold = std::min(threshold, farD);
        }
        m_first[c] = int32_t(m_pool.size());
        for (size_t i = 0; i < m_palette.size(); ++i) {
            if (nearest[i] <= threshold) {
                m_pool.push_back(uint8_t(i));
                ++m_count[c];
            }
        }
    }

    const std::vector<RGBQUAD>& m_palette;
    std::vector<int32_t> m_first;
    std::vector<uint16_t> m_count;
    std::vector<uint8_t> m_pool;
};

void mapNearest(const TDibRecord& picture, const std::vector<RGBQUAD>& palette, TDibRecord& out)
{
    NearestColour nearest(palette);
    const int32_t w = DibWidth(picture), h = DibHeight(picture);
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* src = DibRow(picture, y);
        uint8_t* dst = DibRow(out, y);
        uint32_t lastKey = UINT32_MAX;
        uint8_t lastIndex = 0;
        for (int32_t x = 0; x < w; ++x, src += 3) {
            const uint32_t key = colourKey(src);
            if (key != lastKey) {
                lastKey = key;
                lastIndex = nearest(src[2], src[1], src[0]);
            }
            dst[x] = lastIndex;
        }
    }
}

} // namespace

DibGuard quantizeColours(const TDibRecord& picture, int maxColours)
{
    DibGuard out;
    if (!picture.Bits || DibBitCount(picture) != 24)
        return out;
    maxColours = std::clamp(maxColours, 2, 256);
    const int32_t w = DibWidth(picture), h = DibHeight(picture);
    try {
        const std::vector<uint32_t> few = fewColours(picture, maxColours);
        if (!few.empty()) {
            std::vector<RGBQUAD> table;
            for (const uint32_t key : few)
                table.push_back(quadOf(key));
            if (makeImage(out, w, h, 8, table.data(), int32_t(table.size())) != ImageError::None)
                return DibGuard();
            mapExactly(picture, few, out.get());
            return out;
        }
        std::vector<RGBQUAD> table;
        {
            WuQuantizer wu(picture); // its tables are freed before the picture is made
            table = wu.palette(maxColours);
        }
        if (makeImage(out, w, h, 8, table.data(), int32_t(table.size())) != ImageError::None)
            return DibGuard();
        mapNearest(picture, table, out.get());
    } catch (const std::bad_alloc&) {
        return DibGuard();
    }
    return out;
}

} // namespace raster
