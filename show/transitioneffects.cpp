#include "show/transitioneffects.h"

#include "platform/cpu.h"

#include <cstdlib>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The effects that need neither the generator nor a table: the blend, the
// zoom, and those whose every row is a few runs of new pixels worked out
// from the rule.

namespace show::transition {

// ---------------------------------------------------------------------------
// 1: alpha blend of every byte, (A * (1024 - L) + B * L) shr 10.
//
// Written as A + floor((B - A) * L / 1024), which is the same number; with
// (B - A) * 64 and L both in 16 bits the floor is the high half of their
// signed product.

namespace {

void blendBytes(const uint8_t* a, const uint8_t* b, uint8_t* o, size_t n, int32_t L)
{
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i weight = _mm_set1_epi16(int16_t(L));
    const __m128i zero = _mm_setzero_si128();
    for (const size_t fast = platform::UseSse2() ? n : 0; i + 16 <= fast; i += 16) {
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

} // namespace

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

namespace {

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
        emitRowSpans(f, y, spans);
    }
}

} // namespace

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

namespace {

// Horizontal slats of the pitch pw from the bottom: each grows K rows from
// its lower edge upward (12), or from its upper edge downward (14).
void fxBlindsRows(const Frame& f, bool growDownward)
{
    std::vector<uint8_t> rows(size_t(f.H), 0);
    for (int32_t i = 0; i < 20; ++i) {
        const int64_t g = int64_t(i) * f.pw;
        if (growDownward)
            markRange(rows, g + f.pw - f.K, g + f.pw);
        else
            markRange(rows, g, g + f.K);
    }
    emitRows(f, rows);
}

// Vertical slats of the pitch ph from the left: each grows J columns from
// its left edge rightward (13), or from its right edge leftward (15).
void fxBlindsColumns(const Frame& f, bool growLeftward)
{
    std::vector<uint8_t> columns(size_t(f.W), 0);
    for (int32_t i = 0; i < 20; ++i) {
        const int64_t g = int64_t(i) * f.ph;
        if (growLeftward)
            markRange(columns, g + f.ph - f.J, g + f.ph);
        else
            markRange(columns, g, g + f.J);
    }
    SpanList spans(f.W);
    spansOfFlags(columns, spans);
    std::vector<uint8_t> rows(size_t(f.H), 1);
    emitSeparable(f, rows, spans);
}

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

} // namespace

// The labels name the way the slats grow for 12 and 14 ("Jalusie oben",
// "Jalusie unten") and the edge they grow from for 13 and 15 ("Jalusie
// links", "Jalusie rechts").
void fxBlindsTop(const Frame& f) { fxBlindsRows(f, /*growDownward=*/false); }
void fxBlindsLeft(const Frame& f) { fxBlindsColumns(f, /*growLeftward=*/false); }
void fxBlindsBottom(const Frame& f) { fxBlindsRows(f, /*growDownward=*/true); }
void fxBlindsRight(const Frame& f) { fxBlindsColumns(f, /*growLeftward=*/true); }

void fxStripesTop(const Frame& f) { fxStripes(f, 16); }
void fxStripesBottom(const Frame& f) { fxStripes(f, 17); }
void fxStripesBoth(const Frame& f) { fxStripes(f, 18); }

// ---------------------------------------------------------------------------
// 19, 20, 22 to 25: rectangles on the grid of cells ph wide and pw high.

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

namespace {

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

void fxRectCorner(const Frame& f, int32_t corner)
{
    if (!hasGrid(f)) {
        fxNone(f);
        return;
    }
    fxRectangles(f, true, cornerRegion(f, corner));
}

} // namespace

void fxRectGrow(const Frame& f) { fxRectangles(f, false, wholeSurface(f)); }
void fxRectTravel(const Frame& f) { fxRectangles(f, true, wholeSurface(f)); }

void fxRectTopLeft(const Frame& f) { fxRectCorner(f, 0); }
void fxRectTopRight(const Frame& f) { fxRectCorner(f, 1); }
void fxRectBottomLeft(const Frame& f) { fxRectCorner(f, 2); }
void fxRectBottomRight(const Frame& f) { fxRectCorner(f, 3); }

// ---------------------------------------------------------------------------
// 30 to 32: circles and rings, d = sqrt(dx^2 + dy^2).
//
// With R an integer, R < d is R^2 < dx^2 + dy^2 and R > d is
// R^2 > dx^2 + dy^2; Round(d) >= R is dx^2 + dy^2 >= R^2 - R + 1 (a root of
// an integer never lies on a half). So each row gets its runs from integer
// roots.

namespace {

// Columns with |x - cx| in [lo, hi] (inclusive).
void addDistanceRange(SpanList& spans, int32_t cx, int64_t lo, int64_t hi)
{
    addAroundCentre(spans, cx, lo, hi + 1);
}

} // namespace

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

namespace {

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

} // namespace

void fxRadarSingle(const Frame& f) { fxRadar(f, false); }
void fxRadarDouble(const Frame& f) { fxRadar(f, true); }

} // namespace show::transition
