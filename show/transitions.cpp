#include "show/transitions.h"

#include "platform/random.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <mutex>
#include <numbers>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__GNUC__) && defined(__x86_64__)
#include <tmmintrin.h>
#endif

// How the engine stays fast without leaving the pixel rules:
// - Every rule is a condition per pixel, but along a row almost all of them
//   are runs: a band, a wipe edge, the two crossings of a circle, a curtain's
//   hyperbola, a radar beam. The engine works out each row's runs of new
//   pixels exactly (in integers wherever the rule allows, by evaluating the
//   rule itself at the run ends where it is floating point) and fills the row
//   with a few block copies from the two pictures.
// - Conditions that depend on the column only (or the row only) are worked
//   out once per frame.
// - The spirals depend on the progress alone once the surface size is known,
//   so each pixel's first progress value is kept in a table for the last size.
// - The scatter effects draw their random numbers in the rules' order; each
//   pixel's test against its draw is turned into a comparison of the raw
//   generator state against two bounds worked out per column and per row.

namespace show {

struct TransitionFrame {
    const uint8_t* a = nullptr; // start picture, bottom row first
    const uint8_t* b = nullptr; // target picture
    uint8_t* o = nullptr;       // output
    size_t stride = 0;
    int32_t W = 0, H = 0;
    int32_t e = 0, T = 1;
    // The quantities of one call.
    int32_t L = 0, pw = 0, ph = 0, K = 0, J = 0, cx = 0, cy = 0, N = 0, Rg = 0, Rs = 0, Q = 0, m = 0;
    int32_t s = 0, t = 0, K1 = 0, J1 = 0;
    double theta = 0;

    size_t rowOffset(int32_t y) const { return size_t(y) * stride; }
};

namespace {

using Frame = TransitionFrame;

constexpr double kTwoPi = 2.0 * std::numbers::pi;
// The step of platform::Random's generator (seed := seed * 134775813 + 1),
// taken here many draws at a time; the scatter effects read and write
// platform::RandSeed exactly as drawing through platform::Random would.
constexpr uint32_t kRandMul = 134775813u;

// ---------------------------------------------------------------------------
// Filling rows

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
void copyRows(const Frame& f, const uint8_t* src, int32_t y0, int32_t y1)
{
    if (y1 > y0)
        std::memcpy(f.o + f.rowOffset(y0), src + f.rowOffset(y0), size_t(y1 - y0) * f.stride);
}

// Row y: the spans from the target picture, the rest from the start picture.
void emitRow(const Frame& f, int32_t y, const SpanList& list)
{
    const size_t off = f.rowOffset(y);
    const uint8_t* a = f.a + off;
    const uint8_t* b = f.b + off;
    uint8_t* o = f.o + off;
    int32_t x = 0;
    for (const Span& sp : list.spans()) {
        if (sp.x0 > x)
            std::memcpy(o + size_t(x) * 3, a + size_t(x) * 3, size_t(sp.x0 - x) * 3);
        std::memcpy(o + size_t(sp.x0) * 3, b + size_t(sp.x0) * 3, size_t(sp.x1 - sp.x0) * 3);
        x = sp.x1;
    }
    if (x < f.W)
        std::memcpy(o + size_t(x) * 3, a + size_t(x) * 3, size_t(f.W - x) * 3);
}

// Whole rows: take[y] set means the row comes from the target picture.
void emitRows(const Frame& f, const std::vector<uint8_t>& take)
{
    int32_t y = 0;
    while (y < f.H) {
        int32_t end = y + 1;
        while (end < f.H && take[size_t(end)] == take[size_t(y)])
            ++end;
        copyRows(f, take[size_t(y)] ? f.b : f.a, y, end);
        y = end;
    }
}

// Separable rules: a pixel is new when its row and its column both are.
void emitSeparable(const Frame& f, const std::vector<uint8_t>& rowTake, const SpanList& columns)
{
    if (columns.empty()) {
        copyRows(f, f.a, 0, f.H);
        return;
    }
    if (columns.full()) {
        emitRows(f, rowTake);
        return;
    }
    int32_t y = 0;
    while (y < f.H) {
        if (rowTake[size_t(y)]) {
            emitRow(f, y, columns);
            ++y;
            continue;
        }
        int32_t end = y + 1;
        while (end < f.H && !rowTake[size_t(end)])
            ++end;
        copyRows(f, f.a, y, end);
        y = end;
    }
}

// Marks [lo, hi] (inclusive, clipped) in a row or column flag vector.
void markRange(std::vector<uint8_t>& flags, int64_t lo, int64_t hi)
{
    lo = std::max<int64_t>(lo, 0);
    hi = std::min<int64_t>(hi, int64_t(flags.size()) - 1);
    for (int64_t i = lo; i <= hi; ++i)
        flags[size_t(i)] = 1;
}

// The runs of set flags.
void spansOfFlags(const std::vector<uint8_t>& flags, SpanList& out)
{
    out.clear();
    const int32_t n = int32_t(flags.size());
    int32_t x = 0;
    while (x < n) {
        if (!flags[size_t(x)]) {
            ++x;
            continue;
        }
        int32_t end = x + 1;
        while (end < n && flags[size_t(end)])
            ++end;
        out.add(x, end);
        x = end;
    }
}

// ---------------------------------------------------------------------------
// Integer helpers

int64_t isqrt(int64_t n)
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
int64_t ceilSqrt(int64_t n)
{
    if (n <= 0)
        return 0;
    const int64_t r = isqrt(n);
    return r * r == n ? r : r + 1;
}

int64_t ceilDiv(int64_t p, int64_t q)
{
    return (p + q - 1) / q; // p >= 0, q > 0
}

// ---------------------------------------------------------------------------
// 1: alpha blend of every byte, (A * (1024 - L) + B * L) shr 10.
//
// Written as A + floor((B - A) * L / 1024), which is the same number; with
// (B - A) * 64 and L both in 16 bits the floor is the high half of their
// signed product.

void blendBytes(const uint8_t* a, const uint8_t* b, uint8_t* o, size_t n, int32_t L)
{
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i weight = _mm_set1_epi16(int16_t(L));
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= n; i += 16) {
        const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
        const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
        const __m128i alo = _mm_unpacklo_epi8(va, zero), ahi = _mm_unpackhi_epi8(va, zero);
        const __m128i blo = _mm_unpacklo_epi8(vb, zero), bhi = _mm_unpackhi_epi8(vb, zero);
        const __m128i dlo = _mm_slli_epi16(_mm_sub_epi16(blo, alo), 6);
        const __m128i dhi = _mm_slli_epi16(_mm_sub_epi16(bhi, ahi), 6);
        const __m128i rlo = _mm_add_epi16(alo, _mm_mulhi_epi16(dlo, weight));
        const __m128i rhi = _mm_add_epi16(ahi, _mm_mulhi_epi16(dhi, weight));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o + i), _mm_packus_epi16(rlo, rhi));
    }
#endif
    for (; i < n; ++i)
        o[i] = uint8_t((a[i] * (1024 - L) + b[i] * L) >> 10);
}

void fxAlphaBlend(const Frame& f)
{
    if (f.L == 0) {
        copyRows(f, f.a, 0, f.H);
        return;
    }
    if (f.L == 1024) {
        copyRows(f, f.b, 0, f.H);
        return;
    }
    // Row padding is blended too; it is a copy of the start picture's there.
    blendBytes(f.a, f.b, f.o, f.stride * size_t(f.H), f.L);
}

void fxNone(const Frame& f)
{
    copyRows(f, f.a, 0, f.H);
}

// ---------------------------------------------------------------------------
// 2 to 5: wipes

void fxWipeLeft(const Frame& f)
{
    SpanList spans(f.W);
    spans.add(0, (f.W * f.L) >> 10);
    for (int32_t y = 0; y < f.H; ++y)
        emitRow(f, y, spans);
}

void fxWipeRight(const Frame& f)
{
    // W - x < c, so x > W - c.
    SpanList spans(f.W);
    spans.add(f.W - ((f.W * f.L) >> 10) + 1, f.W);
    for (int32_t y = 0; y < f.H; ++y)
        emitRow(f, y, spans);
}

void fxWipeDown(const Frame& f)
{
    // H - y < c: the rows above H - c.
    const int32_t first = std::clamp(f.H - ((f.H * f.L) >> 10) + 1, 0, f.H);
    copyRows(f, f.a, 0, first);
    copyRows(f, f.b, first, f.H);
}

void fxWipeUp(const Frame& f)
{
    const int32_t end = std::min((f.H * f.L) >> 10, f.H);
    copyRows(f, f.b, 0, end);
    copyRows(f, f.a, end, f.H);
}

// ---------------------------------------------------------------------------
// 6 to 10: curtains, (trunc(sqrt(|p * q|)) mod 1024) < L
//
// Along a row one factor is a constant c and the other a distance f, so the
// root lies in [1024 k, 1024 k + L) exactly when c * f lies in
// [(1024 k)^2, (1024 k + L)^2): a few intervals of f per row.

template <typename Emit>
void curtainIntervals(int64_t c, int64_t fmax, int32_t L, Emit take)
{
    if (L <= 0 || fmax < 0)
        return;
    if (L >= 1024 || c == 0) {
        take(0, fmax + 1);
        return;
    }
    for (int64_t k = 0;; ++k) {
        const int64_t root = 1024 * k;
        if (root * root > c * fmax)
            break;
        const int64_t lo = ceilDiv(root * root, c);
        const int64_t hi = ceilDiv((root + L) * (root + L), c);
        take(lo, std::min(hi, fmax + 1));
    }
}

// The distance |x - cx| in [lo, hi) as columns.
void addAroundCentre(SpanList& spans, int32_t cx, int64_t lo, int64_t hi)
{
    if (lo >= hi)
        return;
    spans.add(cx + lo, cx + hi);
    // The left half: x = cx - f for f >= 1, kept left of cx.
    spans.add(std::max<int64_t>(cx - hi + 1, 0), std::min<int64_t>(cx - lo + 1, cx));
}

void fxCurtain(const Frame& f, int32_t kind)
{
    SpanList spans(f.W);
    const int64_t aroundMax = std::max(f.cx, f.W - 1 - f.cx);
    for (int32_t y = 0; y < f.H; ++y) {
        spans.clear();
        switch (kind) {
        case 6:
            curtainIntervals(f.H - y, aroundMax, f.L,
                             [&](int64_t lo, int64_t hi) { addAroundCentre(spans, f.cx, lo, hi); });
            break;
        case 7:
            curtainIntervals(std::abs(y - f.cy), f.W - 1, f.L, [&](int64_t lo, int64_t hi) { spans.add(lo, hi); });
            break;
        case 8:
            curtainIntervals(std::abs(y - f.cy), aroundMax, f.L,
                             [&](int64_t lo, int64_t hi) { addAroundCentre(spans, f.cx, lo, hi); });
            break;
        case 9:
            // f = W - x, so x in (W - hi, W - lo].
            curtainIntervals(std::abs(y - f.cy), f.W, f.L,
                             [&](int64_t lo, int64_t hi) { spans.add(f.W - hi + 1, f.W - lo + 1); });
            break;
        default:
            curtainIntervals(y, aroundMax, f.L,
                             [&](int64_t lo, int64_t hi) { addAroundCentre(spans, f.cx, lo, hi); });
            break;
        }
        spans.normalise();
        if (spans.empty())
            copyRows(f, f.a, y, y + 1);
        else if (spans.full())
            copyRows(f, f.b, y, y + 1);
        else
            emitRow(f, y, spans);
    }
}

void fxCurtainTop(const Frame& f) { fxCurtain(f, 6); }
void fxCurtainLeft(const Frame& f) { fxCurtain(f, 7); }
void fxCurtainCentre(const Frame& f) { fxCurtain(f, 8); }
void fxCurtainRight(const Frame& f) { fxCurtain(f, 9); }
void fxCurtainBottom(const Frame& f) { fxCurtain(f, 10); }

// ---------------------------------------------------------------------------
// 11: zoom, the whole target picture scaled to zw x zh at (x0, y0).

void fxZoom(const Frame& f)
{
    const int64_t e = f.e, T = f.T;
    const int32_t zw = int32_t(int64_t(f.W) * e / T), zh = int32_t(int64_t(f.H) * e / T);
    if (zw == 0 || zh == 0) {
        copyRows(f, f.a, 0, f.H);
        return;
    }
    const int32_t x0 = (f.W - zw) / 2, y0 = (f.H - zh) / 2;
    // The source column of each output column, as runs of neighbouring
    // source pixels: {output column, source column, length}.
    struct Run {
        int32_t dst, src, len;
    };
    std::vector<Run> runs;
    for (int32_t i = 0; i < zw; ++i) {
        const int32_t sx = int32_t(int64_t(i) * f.W / zw);
        if (!runs.empty() && runs.back().src + runs.back().len == sx)
            ++runs.back().len;
        else
            runs.push_back({x0 + i, sx, 1});
    }
    copyRows(f, f.a, 0, y0);
    copyRows(f, f.a, y0 + zh, f.H);
    for (int32_t y = y0; y < y0 + zh; ++y) {
        const int32_t sy = int32_t(int64_t(y - y0) * f.H / zh);
        uint8_t* o = f.o + f.rowOffset(y);
        const uint8_t* a = f.a + f.rowOffset(y);
        const uint8_t* b = f.b + f.rowOffset(sy);
        std::memcpy(o, a, size_t(x0) * 3);
        std::memcpy(o + size_t(x0 + zw) * 3, a + size_t(x0 + zw) * 3, size_t(f.W - x0 - zw) * 3);
        for (const Run& r : runs) {
            if (r.len == 1)
                std::memcpy(o + size_t(r.dst) * 3, b + size_t(r.src) * 3, 3);
            else
                std::memcpy(o + size_t(r.dst) * 3, b + size_t(r.src) * 3, size_t(r.len) * 3);
        }
    }
}

// ---------------------------------------------------------------------------
// 12 to 15: blinds of 20 slats; 16 to 18: 40 stripes.

void fxBlindsRows(const Frame& f, bool fromTop)
{
    std::vector<uint8_t> rows(size_t(f.H), 0);
    for (int32_t i = 0; i < 20; ++i) {
        const int64_t g = int64_t(i) * f.pw;
        if (fromTop)
            markRange(rows, g + f.pw - f.K, g + f.pw);
        else
            markRange(rows, g, g + f.K);
    }
    emitRows(f, rows);
}

void fxBlindsColumns(const Frame& f, bool fromRight)
{
    std::vector<uint8_t> columns(size_t(f.W), 0);
    for (int32_t i = 0; i < 20; ++i) {
        const int64_t g = int64_t(i) * f.ph;
        if (fromRight)
            markRange(columns, g + f.ph - f.J, g + f.ph);
        else
            markRange(columns, g, g + f.J);
    }
    SpanList spans(f.W);
    spansOfFlags(columns, spans);
    std::vector<uint8_t> rows(size_t(f.H), 1);
    emitSeparable(f, rows, spans);
}

void fxBlindsTop(const Frame& f) { fxBlindsRows(f, false); }
void fxBlindsLeft(const Frame& f) { fxBlindsColumns(f, false); }
void fxBlindsBottom(const Frame& f) { fxBlindsRows(f, true); }
void fxBlindsRight(const Frame& f) { fxBlindsColumns(f, true); }

void fxStripes(const Frame& f, int32_t kind)
{
    std::vector<uint8_t> rows(size_t(f.H), 0);
    auto G = [&f](int32_t i) { return int64_t(i) * f.t; };
    auto lower = [&](int32_t i) { markRange(rows, G(i), G(i) + f.s); };
    auto upper = [&](int32_t i) { markRange(rows, G(i) + f.s, G(i) + f.t); };
    if (kind == 16) {
        for (int32_t i = 0; i < f.J1; ++i)
            lower(39 - i);
        if (f.K1 >= 41)
            for (int32_t i = 0; i <= f.K1 - 41; ++i)
                upper(i);
    } else if (kind == 17) {
        for (int32_t i = 0; i < f.J1; ++i)
            lower(i);
        if (f.K1 >= 41)
            for (int32_t i = 0; i <= f.K1 - 41; ++i)
                upper(39 - i);
    } else {
        const int32_t h = f.K1 >> 1;
        for (int32_t i = 0; i < h; ++i) {
            lower(i);
            upper(39 - i);
        }
    }
    emitRows(f, rows);
}

void fxStripesTop(const Frame& f) { fxStripes(f, 16); }
void fxStripesBottom(const Frame& f) { fxStripes(f, 17); }
void fxStripesBoth(const Frame& f) { fxStripes(f, 18); }

// ---------------------------------------------------------------------------
// 19 to 25: rectangles on the grid of cells ph wide and pw high.

// Whether a surface is big enough for the grid (at least 20 pixels each way).
bool hasGrid(const Frame& f)
{
    return f.pw > 0 && f.ph > 0;
}

// The grid corner regions of 22 to 29, as a column range and a row range.
struct Region {
    int64_t x0, x1, y0, y1; // [x0, x1) x [y0, y1)
};

Region cornerRegion(const Frame& f, int32_t corner)
{
    // x div ph <= m: x < (m + 1) ph; 20 - x div ph <= m: x >= (20 - m) ph.
    const int64_t leftEnd = int64_t(f.m + 1) * f.ph, rightStart = int64_t(20 - f.m) * f.ph;
    const int64_t lowEnd = int64_t(f.m + 1) * f.pw, highStart = int64_t(20 - f.m) * f.pw;
    const bool left = corner == 0 || corner == 2, top = corner == 0 || corner == 1;
    Region r{};
    r.x0 = left ? 0 : rightStart;
    r.x1 = left ? leftEnd : f.W;
    r.y0 = top ? highStart : 0;
    r.y1 = top ? f.H : lowEnd;
    r.x0 = std::clamp<int64_t>(r.x0, 0, f.W);
    r.x1 = std::clamp<int64_t>(r.x1, r.x0, f.W);
    r.y0 = std::clamp<int64_t>(r.y0, 0, f.H);
    r.y1 = std::clamp<int64_t>(r.y1, r.y0, f.H);
    return r;
}

// 19 (growing) or 20 (travelling) rectangles within a region.
void fxRectangles(const Frame& f, bool travelling, const Region& region)
{
    if (!hasGrid(f)) {
        fxNone(f);
        return;
    }
    std::vector<uint8_t> columns(size_t(f.W), 0), rows(size_t(f.H), 0);
    for (int64_t x = region.x0; x < region.x1; ++x) {
        const int32_t v = travelling ? (int32_t(x) - f.J) % f.ph : ((f.J >> 1) + int32_t(x)) % f.ph;
        columns[size_t(x)] = v < f.J;
    }
    for (int64_t y = region.y0; y < region.y1; ++y) {
        const int32_t v = travelling ? (int32_t(y) - f.K) % f.pw : ((f.K >> 1) + int32_t(y)) % f.pw;
        rows[size_t(y)] = v < f.K;
    }
    SpanList spans(f.W);
    spansOfFlags(columns, spans);
    emitSeparable(f, rows, spans);
}

Region wholeSurface(const Frame& f)
{
    return {0, f.W, 0, f.H};
}

void fxRectGrow(const Frame& f) { fxRectangles(f, false, wholeSurface(f)); }
void fxRectTravel(const Frame& f) { fxRectangles(f, true, wholeSurface(f)); }

void fxRectCorner(const Frame& f, int32_t corner)
{
    if (!hasGrid(f)) {
        fxNone(f);
        return;
    }
    fxRectangles(f, true, cornerRegion(f, corner));
}

void fxRectTopLeft(const Frame& f) { fxRectCorner(f, 0); }
void fxRectTopRight(const Frame& f) { fxRectCorner(f, 1); }
void fxRectBottomLeft(const Frame& f) { fxRectCorner(f, 2); }
void fxRectBottomRight(const Frame& f) { fxRectCorner(f, 3); }

// ---------------------------------------------------------------------------
// 21, 26 to 29: the scatter.
//
// Per pixel, in order: r1 := Random(J); when (r1 + x) mod ph < J, also
// r2 := Random(K), and the pixel is new when (r2 + y) mod pw < K.
// Random(n) is the upper half of state * n, so "r in [lo, hi)" is "state in
// [ceil(lo 2^32 / n), ceil(hi 2^32 / n))"; with r < n <= period the test
// (r + residue) mod period < n fails exactly for r in
// [max(0, n - residue), min(period - residue, n)). Each column and each row
// thus gets one window of states in which its test fails.

struct StateWindow {
    uint32_t base = 0;
    uint64_t width = 0; // the test holds when uint32(state - base) >= width
};

StateWindow failWindow(int32_t n, int32_t period, int32_t residue)
{
    if (n <= 0)
        return {0, uint64_t(1) << 32}; // Random(0) is 0, and 0 + residue < 0 never holds
    const int64_t lo = std::max<int64_t>(0, int64_t(n) - residue);
    const int64_t hi = std::min<int64_t>(int64_t(period) - residue, n);
    if (lo >= hi)
        return {0, 0};
    auto bound = [n](int64_t v) { return ((uint64_t(v) << 32) + uint64_t(n) - 1) / uint64_t(n); };
    return {uint32_t(bound(lo)), bound(hi) - bound(lo)};
}

// The generator advanced by n draws.
uint32_t advance(uint32_t seed, uint64_t n)
{
    uint32_t mul = kRandMul, add = 1; // one draw: s -> s * mul + add
    while (n) {
        if (n & 1)
            seed = seed * mul + add;
        add = add * mul + add;
        mul = mul * mul;
        n >>= 1;
    }
    return seed;
}

// s -> s * kDrawMul[k] + kDrawAdd[k] advances the generator by k draws.
constexpr std::array<uint32_t, 5> kDrawMul = [] {
    std::array<uint32_t, 5> m{1, 0, 0, 0, 0};
    for (size_t k = 1; k < m.size(); ++k)
        m[k] = m[k - 1] * kRandMul;
    return m;
}();
constexpr std::array<uint32_t, 5> kDrawAdd = [] {
    std::array<uint32_t, 5> c{0, 0, 0, 0, 0};
    for (size_t k = 1; k < c.size(); ++k)
        c[k] = c[k - 1] * kRandMul + 1;
    return c;
}();

// With one comparison of x against limit: out_k := a_k when x >= limit. The
// outcome is a coin toss, so these must be conditional moves, never a branch.
inline void moveWhenAtLeast(uint64_t x, uint64_t limit, uint32_t& out0, uint32_t a0, uint32_t& out1, uint32_t a1)
{
#if defined(__GNUC__) && defined(__x86_64__)
    asm("cmpq %[limit], %[x]\n\tcmovael %[a0], %[out0]\n\tcmovael %[a1], %[out1]"
        : [out0] "+r"(out0), [out1] "+r"(out1)
        : [x] "r"(x), [limit] "r"(limit), [a0] "r"(a0), [a1] "r"(a1)
        : "cc");
#else
    if (x >= limit) {
        out0 = a0;
        out1 = a1;
    }
#endif
}

inline void moveWhenAtLeast(uint64_t x, uint64_t limit, uint32_t& out0, uint32_t a0, uint32_t& out1, uint32_t a1,
                            uint32_t& out2, uint32_t a2)
{
#if defined(__GNUC__) && defined(__x86_64__)
    asm("cmpq %[limit], %[x]\n\tcmovael %[a0], %[out0]\n\tcmovael %[a1], %[out1]\n\tcmovael %[a2], %[out2]"
        : [out0] "+r"(out0), [out1] "+r"(out1), [out2] "+r"(out2)
        : [x] "r"(x), [limit] "r"(limit), [a0] "r"(a0), [a1] "r"(a1), [a2] "r"(a2)
        : "cc");
#else
    if (x >= limit) {
        out0 = a0;
        out1 = a1;
        out2 = a2;
    }
#endif
}

// How a row's second test comes out: never, always, or by its draw.
enum class RowTest { Never, Always, Drawn };

// A column's first test in the form the inner loop wants it: the test
// holds for a state t reached k draws after s when
// uint32(s * kDrawMul[k] + offset[k]) >= width, offset[k] = kDrawAdd[k] - base.
struct ColumnTest {
    uint32_t offset[4];
    uint64_t width;
};

ColumnTest columnTest(const StateWindow& w)
{
    ColumnTest c{};
    for (size_t k = 1; k < 4; ++k)
        c.offset[k] = kDrawAdd[k] - w.base;
    c.width = w.width;
    return c;
}

// The first tests of n pixels of one row, in order: columns[i] is the first
// test of pixel i. Returns the generator state after the row's draws and
// leaves in out[i] what decides the pixel once its second test is known:
// - RowTest::Drawn: the state of its second draw when the first test
//   holds, otherwise rowBase, a state the second test fails for;
// - RowTest::Always: ~0 when the first test holds, otherwise 0;
// - RowTest::Never: nothing.
//
// Two pixels at a time: from the state s before them, the four states that
// can follow are computed at once, both pixels are decided for both ways the
// first one can go, and the right case is picked by conditional moves. That
// keeps the chain from pixel to pixel short.
template <RowTest kRow>
uint32_t scatterRun(uint32_t s, const ColumnTest* columns, uint32_t rowBase, int32_t n, uint32_t* out)
{
    const uint32_t none = kRow == RowTest::Always ? 0u : rowBase;
    auto decided = [](uint32_t state) { return kRow == RowTest::Always ? ~0u : state; };
    int32_t i = 0;
    for (; i + 2 <= n; i += 2) {
        const uint32_t m1 = s * kDrawMul[1], m2 = s * kDrawMul[2], m3 = s * kDrawMul[3];
        const uint32_t t2 = m2 + kDrawAdd[2];
        const uint32_t t3 = m3 + kDrawAdd[3];
        const uint32_t t4 = s * kDrawMul[4] + kDrawAdd[4];
        const ColumnTest& c0 = columns[i];
        const ColumnTest& c1 = columns[i + 1];
        const uint64_t d1 = uint32_t(m1 + c0.offset[1]);
        const uint64_t d2 = uint32_t(m2 + c1.offset[2]); // the second pixel after one draw
        const uint64_t d3 = uint32_t(m3 + c1.offset[3]); // the second pixel after two
        uint32_t sMiss = t2, outMiss = none;
        moveWhenAtLeast(d2, c1.width, sMiss, t3, outMiss, decided(t3));
        uint32_t sHit = t3, outHit = none;
        moveWhenAtLeast(d3, c1.width, sHit, t4, outHit, decided(t4));
        uint32_t out0 = none;
        s = sMiss;
        uint32_t out1 = outMiss;
        moveWhenAtLeast(d1, c0.width, s, sHit, out1, outHit, out0, decided(t2));
        if constexpr (kRow != RowTest::Never) {
            out[i] = out0;
            out[i + 1] = out1;
        }
    }
    if (i < n) {
        const uint32_t m1 = s * kDrawMul[1];
        const uint32_t t1 = m1 + kDrawAdd[1];
        const uint32_t t2 = s * kDrawMul[2] + kDrawAdd[2];
        uint32_t out0 = none;
        s = t1;
        moveWhenAtLeast(uint32_t(m1 + columns[i].offset[1]), columns[i].width, s, t2, out0, decided(t2));
        if constexpr (kRow != RowTest::Never)
            out[i] = out0;
    }
    return s;
}

// Columns of a region side by side whose first test is either drawn or
// never holds.
struct ColumnRun {
    int32_t start, length;
    bool drawn;
};

// The generator advanced by n draws as one step: s -> s * mul + add.
struct Jump {
    uint32_t mul, add;
};

// One row of the region: drawn runs go through scatterRun; over a run whose
// first tests never hold each pixel takes one draw, which is one jump.
template <RowTest kRow>
uint32_t scatterRow(uint32_t s, const std::vector<ColumnRun>& runs, const ColumnTest* columns,
                    const std::vector<Jump>& jumps, uint32_t rowBase, uint32_t* out)
{
    for (const ColumnRun& run : runs) {
        if (run.drawn) {
            s = scatterRun<kRow>(s, columns + run.start, rowBase, run.length, out + run.start);
        } else {
            const Jump& j = jumps[size_t(run.length)];
            s = s * j.mul + j.add;
            if constexpr (kRow != RowTest::Never)
                std::fill(out + run.start, out + run.start + run.length, kRow == RowTest::Always ? 0u : rowBase);
        }
    }
    return s;
}

// Pixels from..n-1 of a run: o := b where the second test passes for the
// value v[i] (isMask: v[i] is already ~0 or 0), else a.
void scatterBlendPlain(const uint32_t* v, int32_t n, const StateWindow& row, bool isMask, const uint8_t* a,
                       const uint8_t* b, uint8_t* o, int32_t from)
{
    for (int32_t i = from; i < n; ++i) {
        const bool on = isMask ? v[i] != 0 : uint64_t(uint32_t(v[i] - row.base)) >= row.width;
        std::memcpy(o + size_t(i) * 3, (on ? b : a) + size_t(i) * 3, 3);
    }
}

#if defined(__GNUC__) && defined(__x86_64__)
#define LUMIVOX_SCATTER_SSSE3 1

__attribute__((target("ssse3"))) void scatterBlendSsse3(const uint32_t* v, int32_t n, const StateWindow& row,
                                                         bool isMask, const uint8_t* a, const uint8_t* b,
                                                         uint8_t* o)
{
    const __m128i sign = _mm_set1_epi32(int32_t(0x80000000u));
    const __m128i base = _mm_set1_epi32(int32_t(row.base));
    // d >= width (unsigned, 0 < width < 2^32) as the signed d' > (width - 1)'.
    const __m128i limit = _mm_set1_epi32(int32_t(uint32_t(row.width - 1) ^ 0x80000000u));
    const __m128i spread0 = _mm_setr_epi8(0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5);
    const __m128i spread1 = _mm_setr_epi8(5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10);
    const __m128i spread2 = _mm_setr_epi8(10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15);
    int32_t i = 0;
    for (; i + 16 <= n; i += 16) {
        __m128i m[4];
        for (int k = 0; k < 4; ++k) {
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(v + i + 4 * k));
            m[k] = isMask ? x : _mm_cmpgt_epi32(_mm_xor_si128(_mm_sub_epi32(x, base), sign), limit);
        }
        const __m128i bytes = _mm_packs_epi16(_mm_packs_epi32(m[0], m[1]), _mm_packs_epi32(m[2], m[3]));
        const __m128i masks[3] = {_mm_shuffle_epi8(bytes, spread0), _mm_shuffle_epi8(bytes, spread1),
                                  _mm_shuffle_epi8(bytes, spread2)};
        const size_t at = size_t(i) * 3;
        for (size_t k = 0; k < 3; ++k) {
            const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + at + 16 * k));
            const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + at + 16 * k));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(o + at + 16 * k),
                             _mm_xor_si128(va, _mm_and_si128(_mm_xor_si128(va, vb), masks[k])));
        }
    }
    scatterBlendPlain(v, n, row, isMask, a, b, o, i);
}
#endif

void scatterBlend(const uint32_t* v, int32_t n, const StateWindow& row, bool isMask, const uint8_t* a,
                  const uint8_t* b, uint8_t* o)
{
#if defined(LUMIVOX_SCATTER_SSSE3)
    static const bool hasSsse3 = __builtin_cpu_supports("ssse3");
    if (hasSsse3) {
        scatterBlendSsse3(v, n, row, isMask, a, b, o);
        return;
    }
#endif
    scatterBlendPlain(v, n, row, isMask, a, b, o, 0);
}

void fxScatter(const Frame& f, const Region& region)
{
    if (!hasGrid(f)) {
        fxNone(f);
        return;
    }
    const int32_t x0 = int32_t(region.x0), x1 = int32_t(region.x1);
    const int32_t y0 = int32_t(region.y0), y1 = int32_t(region.y1);
    std::vector<ColumnTest> columns(size_t(std::max(x1 - x0, 0)));
    bool anyColumn = false;
    for (int32_t x = x0; x < x1; ++x) {
        const StateWindow w = failWindow(f.J, f.ph, x % f.ph);
        columns[size_t(x - x0)] = columnTest(w);
        anyColumn = anyColumn || w.width != (uint64_t(1) << 32);
    }
    uint32_t seed = platform::RandSeed;
    copyRows(f, f.a, 0, y0);
    copyRows(f, f.a, y1, f.H);
    if (!anyColumn || x1 == x0) {
        // No first test holds: one draw per pixel of the region, nothing new.
        copyRows(f, f.a, y0, y1);
        platform::RandSeed = advance(seed, uint64_t(x1 - x0) * uint64_t(y1 - y0));
        return;
    }
    // The region's columns as runs, and the jumps over the longest run of
    // columns whose first test never holds.
    std::vector<ColumnRun> runs;
    int32_t longest = 0;
    for (int32_t i = 0; i < x1 - x0; ++i) {
        const bool drawn = columns[size_t(i)].width != (uint64_t(1) << 32);
        if (!runs.empty() && runs.back().drawn == drawn)
            ++runs.back().length;
        else
            runs.push_back({i, 1, drawn});
        if (!drawn)
            longest = std::max(longest, runs.back().length);
    }
    std::vector<Jump> jumps(size_t(longest) + 1);
    jumps[0] = {1, 0};
    for (size_t n = 1; n < jumps.size(); ++n)
        jumps[n] = {jumps[n - 1].mul * kRandMul, jumps[n - 1].add * kRandMul + 1};

    std::vector<uint32_t> decided(size_t(x1 - x0));
    for (int32_t y = y0; y < y1; ++y) {
        const StateWindow row = failWindow(f.K, f.pw, y % f.pw);
        if (row.width == uint64_t(1) << 32) {
            seed = scatterRow<RowTest::Never>(seed, runs, columns.data(), jumps, row.base, decided.data());
            copyRows(f, f.a, y, y + 1);
            continue;
        }
        const bool always = row.width == 0;
        if (always)
            seed = scatterRow<RowTest::Always>(seed, runs, columns.data(), jumps, row.base, decided.data());
        else
            seed = scatterRow<RowTest::Drawn>(seed, runs, columns.data(), jumps, row.base, decided.data());
        const size_t off = f.rowOffset(y);
        const uint8_t* a = f.a + off;
        uint8_t* o = f.o + off;
        std::memcpy(o, a, size_t(x0) * 3);
        std::memcpy(o + size_t(x1) * 3, a + size_t(x1) * 3, size_t(f.W - x1) * 3);
        const size_t at = size_t(x0) * 3;
        scatterBlend(decided.data(), x1 - x0, row, always, a + at, f.b + off + at, o + at);
    }
    platform::RandSeed = seed;
}

void fxScatterAll(const Frame& f) { fxScatter(f, wholeSurface(f)); }

void fxScatterCorner(const Frame& f, int32_t corner)
{
    if (!hasGrid(f)) {
        fxNone(f);
        return;
    }
    fxScatter(f, cornerRegion(f, corner));
}

void fxScatterTopLeft(const Frame& f) { fxScatterCorner(f, 0); }
void fxScatterTopRight(const Frame& f) { fxScatterCorner(f, 1); }
void fxScatterBottomLeft(const Frame& f) { fxScatterCorner(f, 2); }
void fxScatterBottomRight(const Frame& f) { fxScatterCorner(f, 3); }

// ---------------------------------------------------------------------------
// 30 to 32: circles and rings, d = sqrt(dx^2 + dy^2).
//
// With R an integer, R < d is R^2 < dx^2 + dy^2 and R > d is
// R^2 > dx^2 + dy^2; Round(d) >= R is dx^2 + dy^2 >= R^2 - R + 1 (a root of
// an integer never lies on a half). So each row gets its runs from integer
// roots.

void emitRowSpans(const Frame& f, int32_t y, const SpanList& spans)
{
    if (spans.empty())
        copyRows(f, f.a, y, y + 1);
    else if (spans.full())
        copyRows(f, f.b, y, y + 1);
    else
        emitRow(f, y, spans);
}

// Columns with |x - cx| in [lo, hi] (inclusive).
void addDistanceRange(SpanList& spans, int32_t cx, int64_t lo, int64_t hi)
{
    addAroundCentre(spans, cx, lo, hi + 1);
}

void fxCircleClosing(const Frame& f)
{
    SpanList spans(f.W);
    for (int32_t y = 0; y < f.H; ++y) {
        spans.clear();
        const int64_t dy = y - f.cy;
        const int64_t q = int64_t(f.Rs) * f.Rs - dy * dy;
        if (q < 0) {
            spans.add(0, f.W);
        } else {
            const int64_t u = isqrt(q) + 1; // |dx| >= u
            spans.add(0, f.cx - u + 1);
            spans.add(f.cx + u, f.W);
        }
        emitRowSpans(f, y, spans);
    }
}

void fxCircleOpening(const Frame& f)
{
    SpanList spans(f.W);
    for (int32_t y = 0; y < f.H; ++y) {
        spans.clear();
        const int64_t dy = y - f.cy;
        const int64_t q = int64_t(f.Rg) * f.Rg - dy * dy;
        if (q > 0) {
            const int64_t u = isqrt(q - 1); // dx^2 < q
            spans.add(f.cx - u, f.cx + u + 1);
        }
        emitRowSpans(f, y, spans);
    }
}

void fxRings(const Frame& f)
{
    const int64_t w = (int64_t(f.Q) * f.L) >> 11;
    struct Ring {
        int64_t sLo, sHi; // dx^2 + dy^2 in [sLo, sHi]
    };
    std::vector<Ring> rings;
    for (int32_t j = 0; j <= 3; ++j) {
        const int64_t c = int64_t(j) * f.Q + (f.Q >> 1);
        const int64_t r0 = c - w, r1 = c + w; // c - w <= r < c + w
        if (r1 <= 0 || r1 <= r0)
            continue;
        const int64_t sLo = r0 <= 0 ? 0 : r0 * r0 - r0 + 1;
        const int64_t sHi = r1 * r1 - r1;
        if (sLo <= sHi)
            rings.push_back({sLo, sHi});
    }
    SpanList spans(f.W);
    for (int32_t y = 0; y < f.H; ++y) {
        spans.clear();
        const int64_t dy2 = int64_t(y - f.cy) * (y - f.cy);
        for (const Ring& ring : rings) {
            if (ring.sHi < dy2)
                continue;
            const int64_t hi = isqrt(ring.sHi - dy2);
            const int64_t lo = ceilSqrt(ring.sLo - dy2);
            if (lo <= hi)
                addDistanceRange(spans, f.cx, lo, hi);
        }
        spans.normalise();
        emitRowSpans(f, y, spans);
    }
}

// ---------------------------------------------------------------------------
// 33 and 34: radar beams. a = ArcCos(dy / d), the angle from straight up.
//
// Along one half of a row, a is monotone in the distance u = |dx| from the
// centre column, so each half-row holds one run of new pixels. The run's
// end is found by evaluating the pixel rule itself, near the place where
// the beam crosses the row.

double arcCosRule(double v)
{
    return std::atan2(std::sqrt(1.0 - v * v), v);
}

// The angle of the pixel at distance u from the centre column in a row at
// height dy from the centre; only u^2 enters, as in the rule.
double beamAngle(int32_t u, int32_t dy)
{
    const int32_t sum = u * u + dy * dy;
    const double d = std::sqrt(double(sum));
    return arcCosRule(double(dy) / d);
}

// Of the u in [lo, hi] where pred holds, pred being monotone in u: the
// interval [first, last] (first > last when there is none). guess is where
// the change is expected.
template <typename Pred>
std::pair<int32_t, int32_t> monotoneRun(int32_t lo, int32_t hi, double guess, Pred pred)
{
    if (lo > hi)
        return {1, 0};
    const bool atLo = pred(lo);
    if (lo == hi)
        return atLo ? std::pair{lo, lo} : std::pair{1, 0};
    const bool atHi = pred(hi);
    if (atLo == atHi)
        return atLo ? std::pair{lo, hi} : std::pair{1, 0};
    // Find the first u in (lo, hi] whose value differs from atLo.
    int32_t same = lo, differ = hi; // pred(same) == atLo, pred(differ) != atLo
    int32_t g = std::isfinite(guess) ? int32_t(std::clamp(std::round(guess), double(lo + 1), double(hi))) : lo + 1;
    if (pred(g) == atLo) {
        same = g;
        for (int32_t step = 1;; step *= 2) {
            const int64_t probe = int64_t(same) + step;
            if (probe >= differ)
                break;
            if (pred(int32_t(probe)) == atLo)
                same = int32_t(probe);
            else {
                differ = int32_t(probe);
                break;
            }
        }
    } else {
        differ = g;
        for (int32_t step = 1;; step *= 2) {
            const int64_t probe = int64_t(differ) - step;
            if (probe <= same)
                break;
            if (pred(int32_t(probe)) != atLo)
                differ = int32_t(probe);
            else {
                same = int32_t(probe);
                break;
            }
        }
    }
    while (differ - same > 1) {
        const int32_t mid = same + (differ - same) / 2;
        if (pred(mid) == atLo)
            same = mid;
        else
            differ = mid;
    }
    return atLo ? std::pair{lo, same} : std::pair{differ, hi};
}

// Where a = phi along the row: a = atan2(u, dy), so u = dy tan(phi).
double beamCrossing(int32_t dy, double phi)
{
    return double(dy) * std::tan(phi);
}

void fxRadar(const Frame& f, bool doubled)
{
    SpanList spans(f.W);
    const double theta = f.theta;
    const int32_t rightMax = f.W - 1 - f.cx;
    for (int32_t y = 0; y < f.H; ++y) {
        spans.clear();
        const int32_t dy = y - f.cy;
        const int32_t rightMin = dy == 0 ? 1 : 0; // the centre pixel takes no new colour
        std::pair<int32_t, int32_t> right, left;
        if (doubled) {
            auto pred = [dy, theta](int32_t u) { return beamAngle(u, dy) / 2 < theta; };
            const double g = beamCrossing(dy, 2 * theta);
            right = monotoneRun(rightMin, rightMax, g, pred);
            left = monotoneRun(1, f.cx, g, pred);
        } else {
            right = monotoneRun(rightMin, rightMax, beamCrossing(dy, theta),
                                [dy, theta](int32_t u) { return beamAngle(u, dy) < theta; });
            left = monotoneRun(1, f.cx, beamCrossing(dy, kTwoPi - theta),
                               [dy, theta](int32_t u) { return kTwoPi - beamAngle(u, dy) < theta; });
        }
        if (left.first <= left.second)
            spans.add(f.cx - left.second, f.cx - left.first + 1);
        if (right.first <= right.second)
            spans.add(f.cx + right.first, f.cx + right.second + 1);
        emitRowSpans(f, y, spans);
    }
}

void fxRadarSingle(const Frame& f) { fxRadar(f, false); }
void fxRadarDouble(const Frame& f) { fxRadar(f, true); }

// ---------------------------------------------------------------------------
// 35 and 36: spirals. A pixel is new once L > a * 360 / 2pi + (r mod 1024),
// with r = Round(d) and a taken with r in place of d (rounded to whole
// radians in 36, folded in the left half). That depends on the surface size
// and L alone, so each pixel's first progress value is kept per size.

constexpr uint16_t kNever = 1025; // above every L

struct SpiralTables {
    int32_t width = -1, height = -1;
    std::vector<uint16_t> smooth; // 35
    std::vector<uint16_t> jagged; // 36
};

std::mutex g_spiralMutex;
SpiralTables g_spiral;

// The smallest progress L with L > score.
uint16_t firstProgress(double score)
{
    const double first = std::floor(score) + 1;
    return first >= kNever ? kNever : uint16_t(first);
}

// ArcCos within 2e-8 of the true value (Abramowitz and Stegun 4.4.46), much
// cheaper than the rule's ArcTan2. It only decides the cases that are clear
// by a wide margin; the rule's own value decides the others.
double arcCosEstimate(double v)
{
    const double x = std::abs(v);
    constexpr double c[8] = {1.5707963050,  -0.2145988016, 0.0889789874,  -0.0501743046,
                             0.0308918810,  -0.0170881256, 0.0066700901, -0.0012624911};
    double poly = c[7];
    for (int k = 6; k >= 0; --k)
        poly = poly * x + c[k];
    const double p = std::sqrt(1.0 - x) * poly;
    return v >= 0 ? p : std::numbers::pi - p;
}

constexpr double kEstimateMargin = 1e-7; // radians, five times the estimate's error
constexpr double kSafeDistance = 1e-9;   // from a value where the outcome changes

// The first progress of a pixel at rounded radius r whose angle is a (the
// rule's value, folded or not), for 35 (smooth) and 36 (jagged, folded
// after rounding).
uint16_t smoothFirst(double folded, int32_t r)
{
    return firstProgress(folded * 360.0 / kTwoPi + double(r % 1024));
}

// The same from an estimate: the answer, or kUnknown when the estimate is
// too close to a change.
constexpr uint16_t kUnknown = 0xFFFF;

uint16_t smoothFirstFromEstimate(double lo, double hi, int32_t r)
{
    const double sLo = lo * 360.0 / kTwoPi + double(r % 1024);
    const double sHi = hi * 360.0 / kTwoPi + double(r % 1024);
    const double whole = std::floor(sLo);
    if (std::floor(sHi) != whole || sLo - whole < kSafeDistance || whole + 1 - sHi < kSafeDistance)
        return kUnknown;
    return firstProgress(sLo);
}

// Round(a) from an estimate within the margin, or -1 when it is too close to
// a half.
double roundedFromEstimate(double estimate)
{
    const double lo = std::nearbyint(estimate - kEstimateMargin - kSafeDistance);
    const double hi = std::nearbyint(estimate + kEstimateMargin + kSafeDistance);
    return lo == hi ? lo : -1.0;
}

void buildSpiralTables(SpiralTables& tables, int32_t W, int32_t H)
{
    tables.width = W;
    tables.height = H;
    tables.smooth.assign(size_t(W) * size_t(H), kNever);
    tables.jagged.assign(size_t(W) * size_t(H), kNever);
    const int32_t cx = W >> 1, cy = H >> 1;
    const int64_t maxU = std::max(cx, W - 1 - cx);
    // Per rounded radius of a row: the first progress in the right half
    // (x >= cx) and in the left half, for both spirals.
    std::vector<uint16_t> smoothRight, smoothLeft, jaggedRight, jaggedLeft;
    for (int32_t y = 0; y < H; ++y) {
        const int32_t dy = y - cy;
        const int64_t dy2 = int64_t(dy) * dy;
        const int32_t rMin = std::abs(dy);
        // Round(sqrt(s)) >= R exactly when s >= R^2 - R + 1.
        auto roundedRoot = [](int64_t s, int64_t r) {
            while (s >= r * r + r + 1)
                ++r;
            return r;
        };
        const int32_t rMax = int32_t(roundedRoot(maxU * maxU + dy2, rMin));
        const size_t count = size_t(rMax - rMin) + 1;
        smoothRight.assign(count, kNever);
        smoothLeft.assign(count, kNever);
        jaggedRight.assign(count, kNever);
        jaggedLeft.assign(count, kNever);
        for (int32_t r = std::max(rMin, 1); r <= rMax; ++r) {
            const size_t i = size_t(r - rMin);
            const double v = double(dy) / double(r);
            const double estimate = arcCosEstimate(v);
            const double lo = estimate - kEstimateMargin, hi = estimate + kEstimateMargin;
            uint16_t sr = smoothFirstFromEstimate(lo, hi, r);
            uint16_t sl = smoothFirstFromEstimate(kTwoPi - hi, kTwoPi - lo, r);
            double rounded = roundedFromEstimate(estimate);
            if (sr == kUnknown || sl == kUnknown || rounded < 0) {
                const double a = arcCosRule(v);
                sr = smoothFirst(a, r);
                sl = smoothFirst(kTwoPi - a, r);
                rounded = std::nearbyint(a);
            }
            smoothRight[i] = sr;
            smoothLeft[i] = sl;
            jaggedRight[i] = smoothFirst(rounded, r);
            jaggedLeft[i] = smoothFirst(kTwoPi - rounded, r);
        }
        uint16_t* smooth = tables.smooth.data() + size_t(y) * size_t(W);
        uint16_t* jagged = tables.jagged.data() + size_t(y) * size_t(W);
        int64_t r = rMin;
        for (int64_t u = 0; u <= maxU; ++u) {
            r = roundedRoot(u * u + dy2, r);
            if (r == 0)
                continue; // the centre pixel
            const size_t i = size_t(r - rMin);
            if (cx + u < W) {
                smooth[cx + u] = smoothRight[i];
                jagged[cx + u] = jaggedRight[i];
            }
            if (u >= 1 && cx - u >= 0) {
                smooth[cx - u] = smoothLeft[i];
                jagged[cx - u] = jaggedLeft[i];
            }
        }
    }
}

// The runs of one row where first[x] <= L.
void spansUpTo(const uint16_t* first, int32_t W, int32_t L, SpanList& spans)
{
    spans.clear();
    int32_t x = 0;
    int32_t runStart = -1;
#if defined(__SSE2__)
    const __m128i limit = _mm_set1_epi16(int16_t(L));
    for (; x + 16 <= W; x += 16) {
        const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(first + x));
        const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(first + x + 8));
        // Values are at most 1025, so the signed comparison is right.
        const __m128i late = _mm_packs_epi16(_mm_cmpgt_epi16(lo, limit), _mm_cmpgt_epi16(hi, limit));
        const uint32_t mask = ~uint32_t(_mm_movemask_epi8(late)) & 0xFFFFu; // bit set: new
        if (mask == 0xFFFFu && runStart >= 0)
            continue;
        if (mask == 0 && runStart < 0)
            continue;
        for (int32_t i = 0; i < 16; ++i) {
            const bool on = (mask >> i) & 1u;
            if (on && runStart < 0)
                runStart = x + i;
            else if (!on && runStart >= 0) {
                spans.add(runStart, x + i);
                runStart = -1;
            }
        }
    }
#endif
    for (; x < W; ++x) {
        const bool on = first[x] <= L;
        if (on && runStart < 0)
            runStart = x;
        else if (!on && runStart >= 0) {
            spans.add(runStart, x);
            runStart = -1;
        }
    }
    if (runStart >= 0)
        spans.add(runStart, W);
}

void fxSpiral(const Frame& f, bool jagged)
{
    std::lock_guard<std::mutex> lock(g_spiralMutex);
    if (g_spiral.width != f.W || g_spiral.height != f.H)
        buildSpiralTables(g_spiral, f.W, f.H);
    const std::vector<uint16_t>& table = jagged ? g_spiral.jagged : g_spiral.smooth;
    SpanList spans(f.W);
    for (int32_t y = 0; y < f.H; ++y) {
        spansUpTo(table.data() + size_t(y) * size_t(f.W), f.W, f.L, spans);
        emitRowSpans(f, y, spans);
    }
}

void fxSpiralSmooth(const Frame& f) { fxSpiral(f, false); }
void fxSpiralJagged(const Frame& f) { fxSpiral(f, true); }

// ---------------------------------------------------------------------------

const std::array<TransitionEffect, 37> kEffects{{
    {0, "Zufällig", fxNone},
    {1, "Alphableding", fxAlphaBlend},
    {2, "Wischen links->rechts", fxWipeLeft},
    {3, "Wischen rechts->links", fxWipeRight},
    {4, "Wischen oben->unten", fxWipeDown},
    {5, "Wischen unten->oben", fxWipeUp},
    {6, "Vorhang mitte/oben", fxCurtainTop},
    {7, "Vorhang links/mitte", fxCurtainLeft},
    {8, "Vorhang mitte/mitte", fxCurtainCentre},
    {9, "Vorhang rechts/mitte", fxCurtainRight},
    {10, "Vorhang mitte/unten", fxCurtainBottom},
    {11, "Zoom", fxZoom},
    {12, "Jalusie oben", fxBlindsTop},
    {13, "Jalusie links", fxBlindsLeft},
    {14, "Jalusie unten", fxBlindsBottom},
    {15, "Jalusie rechts", fxBlindsRight},
    {16, "Streifen oben", fxStripesTop},
    {17, "Streifen unten", fxStripesBottom},
    {18, "Streifen oben/unten", fxStripesBoth},
    {19, "Rechtecke", fxRectGrow},
    {20, "Rechtecke wandernd", fxRectTravel},
    {21, "Rechtecke zufällig", fxScatterAll},
    {22, "Rechtecke von oben/links", fxRectTopLeft},
    {23, "Rechtecke von oben/rechts", fxRectTopRight},
    {24, "Rechtecke von unten/links", fxRectBottomLeft},
    {25, "Rechtecke von oben/rechts", fxRectBottomRight},
    {26, "Rechtecke von oben/links zufällig", fxScatterTopLeft},
    {27, "Rechtecke von oben/rechts zufällig", fxScatterTopRight},
    {28, "Rechtecke von unten/links zufällig", fxScatterBottomLeft},
    {29, "Rechtecke von oben/rechts zufällig", fxScatterBottomRight},
    {30, "Kreise kleiner werdend", fxCircleClosing},
    {31, "Kreise größer werdend", fxCircleOpening},
    {32, "Kreisringe", fxRings},
    {33, "Radar", fxRadarSingle},
    {34, "Doppel-Radar", fxRadarDouble},
    {35, "Spirale", fxSpiralSmooth},
    {36, "Zackenspirale", fxSpiralJagged},
}};

} // namespace

std::span<const TransitionEffect> transitionEffects()
{
    return kEffects;
}

void dofx(TDibRecord& out, const TDibRecord& oldPic, const TDibRecord& newPic, int32_t elapsed, int32_t duration,
          int32_t effect)
{
    const int32_t W = raster::DibWidth(oldPic), H = raster::DibHeight(oldPic);
    if (!out.Bits || !oldPic.Bits || !newPic.Bits || raster::DibBitCount(oldPic) != 24 ||
        raster::DibBitCount(newPic) != 24 || raster::DibBitCount(out) != 24 || raster::DibWidth(newPic) != W ||
        raster::DibHeight(newPic) != H || raster::DibWidth(out) != W || raster::DibHeight(out) != H ||
        oldPic.BytesPerRow != out.BytesPerRow || newPic.BytesPerRow != out.BytesPerRow)
        return;

    Frame f;
    f.a = oldPic.Bits;
    f.b = newPic.Bits;
    f.o = out.Bits;
    f.stride = size_t(out.BytesPerRow);
    f.W = W;
    f.H = H;
    f.T = std::max(duration, 1);
    f.e = std::clamp(elapsed, 0, f.T);
    // Products with the elapsed time are formed wide so that long transitions
    // cannot overflow; every quotient fits in 32 bits.
    const int64_t e = f.e, T = f.T;
    f.L = int32_t(e * 1024 / T);
    f.pw = W / 20;
    f.ph = H / 20;
    f.K = int32_t(f.pw * e / T);
    f.J = int32_t(f.ph * e / T);
    f.cx = int32_t(uint32_t(W) >> 1);
    f.cy = int32_t(uint32_t(H) >> 1);
    f.N = int32_t(std::nearbyint(0.8 * double(std::max(W, H))));
    f.Rg = int32_t(f.N * e / T);
    f.Rs = int32_t((T - e) * f.N / T);
    f.Q = int32_t(uint32_t(f.N) >> 2);
    f.theta = double(f.e) * kTwoPi / double(f.T);
    f.m = int32_t(uint32_t(f.L * 20) >> 10);
    f.s = H / 80;
    f.t = H / 40;
    f.K1 = int32_t(uint32_t(f.L * 80) >> 10);
    f.J1 = std::min(f.K1, 40);

    const TransitionEffect& chosen = effect >= 1 && effect <= 36 ? kEffects[size_t(effect)] : kEffects[0];
    chosen.render(f);
}

} // namespace show
