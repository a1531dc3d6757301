#include "filters/convolve.h"

#include "filters/colour.h"
#include "filters/progress.h"
#include "raster/rasterio.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace filters {

using raster::DibBitCount;
using raster::DibGuard;
using raster::DibHeight;
using raster::DibRow;
using raster::DibWidth;
using raster::TDibRecord;

namespace {

// Rows are worked on sixteen channel values at a time with the compiler's
// portable vector types; whatever is left of a row is done one by one.
constexpr size_t kLanes = 16;
using Bytes16 = uint8_t __attribute__((vector_size(16)));
using U16x16 = uint16_t __attribute__((vector_size(32)));
using I16x16 = int16_t __attribute__((vector_size(32)));
using I32x16 = int32_t __attribute__((vector_size(64)));
using I64x16 = int64_t __attribute__((vector_size(128)));

// Sums beyond this many distinct values are divided one by one instead of
// being looked up.
constexpr int64_t kMaxTable = int64_t(1) << 20;

uint8_t clampChannel(int64_t v)
{
    return uint8_t(std::clamp<int64_t>(v, 0, 255));
}

// Turns a sum into the channel value: clamp(sum div divisor + bias), by
// table where the sums have a small range.
class SumMapper {
public:
    SumMapper(int32_t divisor, int32_t bias, int64_t lo, int64_t hi) : m_divisor(divisor), m_bias(bias), m_base(lo)
    {
        if (hi - lo < kMaxTable) {
            m_table.resize(size_t(hi - lo + 1));
            for (int64_t s = lo; s <= hi; ++s)
                m_table[size_t(s - lo)] = compute(s);
        }
    }
    uint8_t operator()(int64_t sum) const
    {
        return m_table.empty() ? compute(sum) : m_table[size_t(sum - m_base)];
    }

private:
    uint8_t compute(int64_t sum) const { return clampChannel(sum / m_divisor + m_bias); }

    int64_t m_divisor;
    int64_t m_bias;
    int64_t m_base;
    std::vector<uint8_t> m_table;
};

// Which pixels of one image row the selection contains, one byte per pixel.
class RowSelection {
public:
    RowSelection(const TDibRecord& image, const Selection& selection) : m_selection(selection)
    {
        const TDibRecord& mask = selection.SelMask;
        m_direct = mask.Bits && DibBitCount(mask) == 1 && DibWidth(mask) == DibWidth(image) &&
                   DibHeight(mask) == DibHeight(image);
        m_row.resize(size_t(std::max(DibWidth(image), 0)));
    }
    // Fills the flags of row y for the columns x0..x1.
    const uint8_t* row(int32_t y, int32_t x0, int32_t x1)
    {
        if (m_direct) {
            const uint8_t* bits = DibRow(m_selection.SelMask, y);
            for (int32_t x = x0; x <= x1; ++x)
                m_row[size_t(x)] = (bits[x >> 3] >> (7 - (x & 7))) & 1;
        } else {
            for (int32_t x = x0; x <= x1; ++x)
                m_row[size_t(x)] = m_selection.contains(x, y) ? 1 : 0;
        }
        return m_row.data();
    }

private:
    const Selection& m_selection;
    bool m_direct = false;
    std::vector<uint8_t> m_row;
};

// The rows and columns DibFilter has to visit: the whole picture, or the
// selection's bounding box within it.
struct Region {
    int32_t x0, y0, x1, y1;
    bool empty() const { return x1 < x0 || y1 < y0; }
};

Region regionOf(const TDibRecord& image, const Selection& selection)
{
    Region r{0, 0, DibWidth(image) - 1, DibHeight(image) - 1};
    if (selection.HasSelection) {
        r.x0 = std::max(r.x0, selection.SelLeft);
        r.y0 = std::max(r.y0, selection.SelTop);
        r.x1 = std::min(r.x1, selection.SelRight);
        r.y1 = std::min(r.y1, selection.SelBottom);
    }
    return r;
}

template <typename Acc, typename Vec>
void accumulate(Acc* acc, const uint8_t* src, size_t n, int32_t coef)
{
    const Acc k = Acc(coef);
    size_t i = 0;
    for (; i + kLanes <= n; i += kLanes) {
        Bytes16 bytes;
        Vec a;
        std::memcpy(&bytes, src + i, sizeof bytes);
        std::memcpy(&a, acc + i, sizeof a);
        const Vec v = __builtin_convertvector(bytes, Vec);
        if (coef == 1)
            a += v;
        else if (coef == -1)
            a -= v;
        else
            a += v * k;
        std::memcpy(acc + i, &a, sizeof a);
    }
    for (; i < n; ++i)
        acc[i] = Acc(acc[i] + k * Acc(src[i]));
}

// The sums of one row for every channel value of the columns x0..x0+n/3-1:
// rows are the five work rows of the image row, base the byte of column x0.
template <typename Acc, typename Vec>
void kernelSums(Acc* acc, const uint8_t* const* rows, size_t base, size_t n, const TFilterRecord& record)
{
    std::fill(acc, acc + n, Acc(0));
    for (int r = 0; r < 5; ++r) {
        for (int c = 0; c < 5; ++c) {
            if (const int32_t coef = record.at(r, c))
                accumulate<Acc, Vec>(acc, rows[r] + base + size_t(3 * c), n, coef);
        }
    }
}

// The unweighted sums of a k x k box centred in the 5 x 5 matrix.
template <int K>
void boxSums(uint16_t* box, uint16_t* column, const uint8_t* const* rows, size_t base, size_t n)
{
    constexpr int off = (5 - K) / 2;
    const size_t len = n + 3 * (K - 1);
    const uint8_t* src[K];
    for (int r = 0; r < K; ++r)
        src[r] = rows[off + r] + base + 3 * off;
    size_t j = 0;
    for (; j + kLanes <= len; j += kLanes) {
        U16x16 s{};
        for (int r = 0; r < K; ++r) {
            Bytes16 bytes;
            std::memcpy(&bytes, src[r] + j, sizeof bytes);
            s += __builtin_convertvector(bytes, U16x16);
        }
        std::memcpy(column + j, &s, sizeof s);
    }
    for (; j < len; ++j) {
        uint16_t s = 0;
        for (int r = 0; r < K; ++r)
            s = uint16_t(s + src[r][j]);
        column[j] = s;
    }
    size_t i = 0;
    for (; i + kLanes <= n; i += kLanes) {
        U16x16 s{};
        for (int c = 0; c < K; ++c) {
            U16x16 v;
            std::memcpy(&v, column + i + 3 * c, sizeof v);
            s += v;
        }
        std::memcpy(box + i, &s, sizeof s);
    }
    for (; i < n; ++i) {
        uint16_t s = 0;
        for (int c = 0; c < K; ++c)
            s = uint16_t(s + column[i + 3 * c]);
        box[i] = s;
    }
}

// 3 or 5 when every weight of the record is one value over exactly the
// centre 3 x 3 or the whole 5 x 5, else 0.
int boxSize(const TFilterRecord& record, int32_t& weight)
{
    weight = record.at(2, 2);
    if (weight == 0)
        return 0;
    bool inner = true, outer = true, outerZero = true;
    for (int r = 0; r < 5; ++r) {
        for (int c = 0; c < 5; ++c) {
            const bool centre = r >= 1 && r <= 3 && c >= 1 && c <= 3;
            const int32_t v = record.at(r, c);
            if (centre)
                inner = inner && v == weight;
            else {
                outer = outer && v == weight;
                outerZero = outerZero && v == 0;
            }
        }
    }
    if (!inner)
        return 0;
    return outer ? 5 : (outerZero ? 3 : 0);
}

template <typename Sum, typename Map>
void writeRow(uint8_t* row, const Sum* sums, int32_t x0, int32_t x1, const uint8_t* selected, const Map& map)
{
    uint8_t* dst = row + size_t(3) * size_t(x0);
    const size_t n = size_t(x1 - x0 + 1) * 3;
    if (!selected) {
        for (size_t i = 0; i < n; ++i)
            dst[i] = map(sums[i]);
        return;
    }
    for (int32_t x = x0; x <= x1; ++x) {
        if (!selected[x])
            continue;
        const size_t i = size_t(x - x0) * 3;
        dst[i] = map(sums[i]);
        dst[i + 1] = map(sums[i + 1]);
        dst[i + 2] = map(sums[i + 2]);
    }
}

// Walks the rows of the region; sumsOf(rows, base, n) gives the sums of one.
template <typename Sum, typename Map, typename SumsOf>
void filterRows(TDibRecord& image, const TDibRecord& work, const Region& region, const FilterContext& context,
                const Map& map, SumsOf sumsOf)
{
    const int32_t height = DibHeight(image);
    RowSelection selection(image, context.selection);
    RowPercent progress(context.progress, height);
    const size_t base = size_t(3) * size_t(region.x0);
    const size_t n = size_t(region.x1 - region.x0 + 1) * 3;
    for (int32_t y = 0; y < height; ++y) {
        if (y >= region.y0 && y <= region.y1) {
            const uint8_t* rows[5];
            for (int r = 0; r < 5; ++r)
                rows[r] = DibRow(work, y + r);
            const Sum* sums = sumsOf(rows, base, n);
            const uint8_t* selected =
                context.selection.HasSelection ? selection.row(y, region.x0, region.x1) : nullptr;
            writeRow(DibRow(image, y), sums, region.x0, region.x1, selected, map);
        }
        progress.done(y + 1);
    }
}

template <typename Acc, typename Vec>
void filterGeneric(TDibRecord& image, const TDibRecord& work, const Region& region, const TFilterRecord& record,
                   const FilterContext& context, int64_t lo, int64_t hi)
{
    const SumMapper map(record.Divisor, record.Bias, lo, hi);
    std::vector<Acc> acc(size_t(region.x1 - region.x0 + 1) * 3);
    filterRows<Acc>(image, work, region, context, map, [&](const uint8_t* const* rows, size_t base, size_t n) {
        kernelSums<Acc, Vec>(acc.data(), rows, base, n, record);
        return acc.data();
    });
}

template <int K>
void filterBox(TDibRecord& image, const TDibRecord& work, const Region& region, const TFilterRecord& record,
               const FilterContext& context, int32_t weight)
{
    // The table takes the unweighted box sum and applies the weight, so the
    // results are those of the full weighted sum.
    constexpr int kMaxBox = K * K * 255;
    const int64_t extreme = int64_t(weight) * kMaxBox;
    const SumMapper exact(record.Divisor, record.Bias, std::min<int64_t>(extreme, 0), std::max<int64_t>(extreme, 0));
    std::vector<uint8_t> table(size_t(kMaxBox + 1));
    for (int s = 0; s <= kMaxBox; ++s)
        table[size_t(s)] = exact(int64_t(weight) * s);
    const auto map = [&table](uint16_t sum) { return table[sum]; };

    const size_t n = size_t(region.x1 - region.x0 + 1) * 3;
    std::vector<uint16_t> box(n), column(n + 3 * (K - 1));
    filterRows<uint16_t>(image, work, region, context, map, [&](const uint8_t* const* rows, size_t base, size_t count) {
        boxSums<K>(box.data(), column.data(), rows, base, count);
        return box.data();
    });
}

} // namespace

bool makePaddedCopy(const TDibRecord& image, DibGuard& work, const Progress& progress)
{
    work.reset();
    if (!image.Bits)
        return false;
    const int32_t w = DibWidth(image);
    const int32_t h = DibHeight(image);
    const int32_t bits = DibBitCount(image);
    const int32_t colours = bits <= 8 ? raster::DibColorCount(image) : 0;
    raster::newdib(work.out(), w + 4, h + 4, bits, image.Info, colours);
    if (!work)
        return false;
    const TDibRecord& dst = work.get();
    RowPercent rows(progress, h);
    if (bits == 24 || bits == 8) {
        const size_t bpp = size_t(bits / 8);
        const size_t rowBytes = size_t(w) * bpp;
        for (int32_t t = 0; t < h; ++t) {
            uint8_t* d = DibRow(dst, t + 2);
            std::memcpy(d + 2 * bpp, DibRow(image, t), rowBytes);
            for (size_t k = 0; k < 2; ++k) {
                std::memcpy(d + k * bpp, d + 2 * bpp, bpp);
                std::memcpy(d + (size_t(w) + 2 + k) * bpp, d + (size_t(w) + 1) * bpp, bpp);
            }
            rows.done(t + 1);
        }
    } else {
        for (int32_t t = 0; t < h; ++t) {
            for (int32_t x = -2; x < w + 2; ++x)
                raster::setpixel(dst, x + 2, t + 2, raster::getpixel(image, std::clamp(x, 0, w - 1), t));
            rows.done(t + 1);
        }
    }
    const size_t stride = size_t(dst.BytesPerRow);
    for (int32_t k = 0; k < 2; ++k) {
        std::memcpy(DibRow(dst, k), DibRow(dst, 2), stride);
        std::memcpy(DibRow(dst, h + 2 + k), DibRow(dst, h + 1), stride);
    }
    return true;
}

FilterOutcome DibFilter(TDibRecord& image, const TFilterRecord& record, const FilterContext& context)
{
    context.report(0);
    if (record.Divisor == 0)
        return FilterOutcome::DivisorZero;
    if (!image.Bits || DibBitCount(image) <= 8)
        return FilterOutcome::NotFiltered;

    DibGuard work;
    if (!makePaddedCopy(image, work, context.progress)) {
        context.report(0);
        return FilterOutcome::NoMemory;
    }

    const Region region = regionOf(image, context.selection);
    if (!region.empty()) {
        // The range of the sums over channel values 0..255 picks the width
        // of the accumulators: every partial sum stays inside it.
        int64_t lo = 0, hi = 0;
        for (int32_t v : record.Matrix)
            (v < 0 ? lo : hi) += int64_t(v) * 255;
        int32_t weight = 0;
        const int box = boxSize(record, weight);
        if (box == 5)
            filterBox<5>(image, work.get(), region, record, context, weight);
        else if (box == 3)
            filterBox<3>(image, work.get(), region, record, context, weight);
        else if (lo >= INT16_MIN && hi <= INT16_MAX)
            filterGeneric<int16_t, I16x16>(image, work.get(), region, record, context, lo, hi);
        else if (lo >= INT32_MIN && hi <= INT32_MAX)
            filterGeneric<int32_t, I32x16>(image, work.get(), region, record, context, lo, hi);
        else
            filterGeneric<int64_t, I64x16>(image, work.get(), region, record, context, lo, hi);
    }
    context.report(0);
    return FilterOutcome::Filtered;
}

FilterOutcome applyBuiltInFilter(TDibRecord& image, const BuiltInFilter& filter, const FilterContext& context)
{
    const FilterOutcome outcome = DibFilter(image, filter.record, context);
    if (filter.invertAfter && (outcome == FilterOutcome::Filtered || outcome == FilterOutcome::NotFiltered))
        DibInvert(image, context);
    return outcome;
}

} // namespace filters
