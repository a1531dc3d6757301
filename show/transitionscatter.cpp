#include "show/transitioneffects.h"

#include "platform/cpu.h"
#include "platform/random.h"

#include <array>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__GNUC__) && defined(__x86_64__)
#include <tmmintrin.h>
#endif

// 21, 26 to 29: the scatter effects, which draw from platform::Random.
//
// Per pixel, in order: r1 := Random(J); when (r1 + x) mod ph < J, also
// r2 := Random(K), and the pixel is new when (r2 + y) mod pw < K.
// Random(n) is the upper half of state * n, so "r in [lo, hi)" is "state in
// [ceil(lo 2^32 / n), ceil(hi 2^32 / n))"; with r < n <= period the test
// (r + residue) mod period < n fails exactly for r in
// [max(0, n - residue), min(period - residue, n)). Each column and each row
// thus gets one window of states in which its test fails.
//
// The draws are made in the rules' order, rows from the bottom and columns
// from the left; each pixel's test against its draw is a comparison of the
// raw generator state against the bounds of its column's and its row's
// window, and platform::RandSeed is left where the draws leave it.

namespace show::transition {

namespace {

// The step of platform::Random's generator (seed := seed * 134775813 + 1),
// taken here many draws at a time; the scatter effects read and write
// platform::RandSeed exactly as drawing through platform::Random would.
constexpr uint32_t kRandMul = 134775813u;

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
    if (platform::UseSsse3()) {
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

void fxScatterCorner(const Frame& f, int32_t corner)
{
    if (!hasGrid(f)) {
        fxNone(f);
        return;
    }
    fxScatter(f, cornerRegion(f, corner));
}

} // namespace

void fxScatterAll(const Frame& f) { fxScatter(f, wholeSurface(f)); }

void fxScatterTopLeft(const Frame& f) { fxScatterCorner(f, 0); }
void fxScatterTopRight(const Frame& f) { fxScatterCorner(f, 1); }
void fxScatterBottomLeft(const Frame& f) { fxScatterCorner(f, 2); }
void fxScatterBottomRight(const Frame& f) { fxScatterCorner(f, 3); }

} // namespace show::transition
