#pragma once
// Progress of work done row by row: the share of rows done as a
// percentage, each value reported once.

#include "filters/selection.h"
#include "raster/codec.h"

#include <cstdint>

namespace filters {

class RowPercent {
public:
    RowPercent(const Progress& progress, int32_t total) : m_reporter(progress), m_progress(progress), m_total(total) {}
    void done(int32_t rows) { m_reporter.rows(rows, m_total); }
    // Back to 0, as every long operation leaves it.
    void reset()
    {
        if (m_progress)
            m_progress(0);
    }

private:
    raster::ProgressReporter m_reporter;
    const Progress& m_progress;
    int32_t m_total;
};

} // namespace filters
