#include "show/transitioneffects.h"
#include "show/transitions.h"

#include "platform/cpu.h"

#include <mutex>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// 35 and 36: spirals. A pixel is new once L > a * 360 / 2pi + (r mod 1024),
// with r = Round(d) and a taken with r in place of d (rounded to whole
// radians in 36, folded in the left half). That depends on the surface size
// and L alone, so each pixel's first progress value is kept per size.

namespace show::transition {

namespace {

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
    for (const int32_t fast = platform::UseSse2() ? W : 0; x + 16 <= fast; x += 16) {
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

// The tables for a W x H surface, made unless they are there already; the
// caller holds g_spiralMutex.
void ensureSpiralTables(int32_t W, int32_t H)
{
    if (g_spiral.width != W || g_spiral.height != H)
        buildSpiralTables(g_spiral, W, H);
}

void fxSpiral(const Frame& f, bool jagged)
{
    std::lock_guard<std::mutex> lock(g_spiralMutex);
    ensureSpiralTables(f.W, f.H);
    const std::vector<uint16_t>& table = jagged ? g_spiral.jagged : g_spiral.smooth;
    SpanList spans(f.W);
    for (int32_t y = 0; y < f.H; ++y) {
        spansUpTo(table.data() + size_t(y) * size_t(f.W), f.W, f.L, spans);
        emitRowSpans(f, y, spans);
    }
}

} // namespace

void fxSpiralSmooth(const Frame& f) { fxSpiral(f, false); }
void fxSpiralJagged(const Frame& f) { fxSpiral(f, true); }

} // namespace show::transition

namespace show {

void prepareSpiralTable(int32_t width, int32_t height)
{
    if (width < 1 || height < 1)
        return;
    std::lock_guard<std::mutex> lock(transition::g_spiralMutex);
    transition::ensureSpiralTables(width, height);
}

} // namespace show
