#include "show/transitionrows.h"

namespace show::transition {

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

void emitRowSpans(const Frame& f, int32_t y, const SpanList& spans)
{
    if (spans.empty())
        copyRows(f, f.a, y, y + 1);
    else if (spans.full())
        copyRows(f, f.b, y, y + 1);
    else
        emitRow(f, y, spans);
}

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

void markRange(std::vector<uint8_t>& flags, int64_t lo, int64_t hi)
{
    lo = std::max<int64_t>(lo, 0);
    hi = std::min<int64_t>(hi, int64_t(flags.size()) - 1);
    for (int64_t i = lo; i <= hi; ++i)
        flags[size_t(i)] = 1;
}

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

} // namespace show::transition
