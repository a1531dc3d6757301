#pragma once
// What the effect functions of the transition engine share: the frame they
// work on, with the quantities of one call worked out by dofx, and the
// filling of output rows from runs of new pixels.
//
// Every rule is a condition per pixel, but along a row almost all of them
// are runs: a band, a wipe edge, the two crossings of a circle, a curtain's
// hyperbola, a radar beam. The effects work out each row's runs of new
// pixels exactly (in integers wherever the rule allows, by evaluating the
// rule itself at the run ends where it is floating point) and fill the row
// with a few block copies from the two pictures. Conditions that depend on
// the column only (or the row only) are worked out once per frame.
//
// Only the engine's own files include this header.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <vector>

namespace show {

// One frame of a transition. Rows are counted from the bottom (y = 0 is the
// bottom row), as the pictures store them and as the pixel rules count them.
struct TransitionFrame {
    const uint8_t* a = nullptr; // start picture A, bottom row first
    const uint8_t* b = nullptr; // target picture B
    uint8_t* o = nullptr;       // output O
    size_t stride = 0;          // bytes per row, the same in all three
    int32_t W = 0;              // width in pixels
    int32_t H = 0;              // height in pixels
    int32_t e = 0;              // elapsed time in ms, 0..T
    int32_t T = 1;              // transition time in ms, at least 1
    int32_t L = 0;              // progress 0..1024: (e * 1024) div T
    int32_t pw = 0;             // W div 20: pitch of the horizontal slats and of the grid rows
    int32_t ph = 0;             // H div 20: pitch of the vertical slats and of the grid columns
    int32_t K = 0;              // pw * e div T: grown width of a horizontal band
    int32_t J = 0;              // ph * e div T: grown width of a vertical band
    int32_t cx = 0;             // W shr 1: centre column
    int32_t cy = 0;             // H shr 1: centre row
    int32_t N = 0;              // Round(0.8 * max(W, H)): largest radius
    int32_t Rg = 0;             // N * e div T: growing radius
    int32_t Rs = 0;             // (T - e) * N div T: shrinking radius
    int32_t Q = 0;              // N shr 2: ring spacing
    int32_t m = 0;              // (L * 20) shr 10: grid cells joined from a corner, 0..20
    int32_t s = 0;              // H div 80: half height of a stripe
    int32_t t = 0;              // H div 40: stripe pitch
    int32_t K1 = 0;             // (L * 80) shr 10: stripes laid so far, 0..80
    int32_t J1 = 0;             // min(K1, 40): of those, the first 40
    double theta = 0;           // e * 2pi / T: radar sweep angle

    size_t rowOffset(int32_t y) const { return size_t(y) * stride; }
};

namespace transition {

using Frame = TransitionFrame;

constexpr double kTwoPi = 2.0 * std::numbers::pi;

struct Span {
    int32_t x0, x1; // [x0, x1)
};

// The runs of new pixels of one row: sorted, disjoint, within 0..W.
class SpanList {
public:
    explicit SpanList(int32_t width) : m_width(width) { m_spans.reserve(64); }

    void clear()
    {
        m_spans.clear();
        m_sorted = true;
    }
    // Adds [x0, x1), clipped to the row.
    void add(int64_t x0, int64_t x1)
    {
        x0 = std::max<int64_t>(x0, 0);
        x1 = std::min<int64_t>(x1, m_width);
        if (x0 >= x1)
            return;
        if (!m_spans.empty()) {
            Span& last = m_spans.back();
            if (x0 >= last.x0 && x0 <= last.x1) {
                last.x1 = std::max(last.x1, int32_t(x1));
                return;
            }
            if (x0 < last.x0)
                m_sorted = false;
        }
        m_spans.push_back({int32_t(x0), int32_t(x1)});
    }
    // Sorts and merges after adds in any order.
    void normalise()
    {
        if (m_sorted)
            return;
        std::sort(m_spans.begin(), m_spans.end(), [](const Span& p, const Span& q) { return p.x0 < q.x0; });
        size_t n = 0;
        for (const Span& sp : m_spans) {
            if (n > 0 && sp.x0 <= m_spans[n - 1].x1)
                m_spans[n - 1].x1 = std::max(m_spans[n - 1].x1, sp.x1);
            else
                m_spans[n++] = sp;
        }
        m_spans.resize(n);
        m_sorted = true;
    }
    bool empty() const { return m_spans.empty(); }
    bool full() const { return m_spans.size() == 1 && m_spans[0].x0 == 0 && m_spans[0].x1 == m_width; }
    const std::vector<Span>& spans() const { return m_spans; }

private:
    int32_t m_width;
    std::vector<Span> m_spans;
    bool m_sorted = true;
};

// Rows [y0, y1) of the output copied whole from src.
inline void copyRows(const Frame& f, const uint8_t* src, int32_t y0, int32_t y1)
{
    if (y1 > y0)
        std::memcpy(f.o + f.rowOffset(y0), src + f.rowOffset(y0), size_t(y1 - y0) * f.stride);
}

// Row y: the spans from the target picture, the rest from the start picture.
void emitRow(const Frame& f, int32_t y, const SpanList& list);

// Row y as emitRow fills it, with whole-row copies when the spans take
// nothing or everything.
void emitRowSpans(const Frame& f, int32_t y, const SpanList& spans);

// Whole rows: take[y] set means the row comes from the target picture.
void emitRows(const Frame& f, const std::vector<uint8_t>& take);

// Separable rules: a pixel is new when its row and its column both are.
void emitSeparable(const Frame& f, const std::vector<uint8_t>& rowTake, const SpanList& columns);

// Marks [lo, hi] (inclusive, clipped) in a row or column flag vector.
void markRange(std::vector<uint8_t>& flags, int64_t lo, int64_t hi);

// The runs of set flags.
void spansOfFlags(const std::vector<uint8_t>& flags, SpanList& out);

// Integer roots for the rules that compare distances.

inline int64_t isqrt(int64_t n)
{
    if (n <= 0)
        return 0;
    int64_t r = int64_t(std::sqrt(double(n)));
    while (r * r > n)
        --r;
    while ((r + 1) * (r + 1) <= n)
        ++r;
    return r;
}

// Smallest u >= 0 with u * u >= n.
inline int64_t ceilSqrt(int64_t n)
{
    if (n <= 0)
        return 0;
    const int64_t r = isqrt(n);
    return r * r == n ? r : r + 1;
}

inline int64_t ceilDiv(int64_t p, int64_t q)
{
    return (p + q - 1) / q; // p >= 0, q > 0
}

// ArcCos as the rules define it: ArcTan2(sqrt(1 - v^2), v).
inline double arcCosRule(double v)
{
    return std::atan2(std::sqrt(1.0 - v * v), v);
}

} // namespace transition
} // namespace show
