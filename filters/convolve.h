#pragma once
// The 5 x 5 convolution behind every soften, sharpen, edge, contour and
// emboss command and every user-defined filter, and the padded work copy
// that every 5 x 5 operation reads its source pixels from.

#include "filters/filterrecord.h"
#include "filters/selection.h"
#include "raster/dibguard.h"

namespace filters {

// The work copy: a new image of (W + 4) x (H + 4) pixels and the same depth
// holding the picture two rows and two pixels in from its corner, extended
// by edge replication (the two outer rows and columns on every side repeat
// the nearest picture pixel; corners repeat the corner pixel). Reports the
// percentage of rows copied. False, with work empty, when newdib fails.
bool makePaddedCopy(const raster::TDibRecord& image, raster::DibGuard& work, const Progress& progress = {});

enum class FilterOutcome {
    Filtered,     // the picture was convolved
    NotFiltered,  // palette picture or no picture: left as it is
    DivisorZero,  // refused: the record's divisor is 0
    NoMemory,     // no work copy: the picture is unchanged
};

// Convolves a 24-bit picture in place with record: every pixel that the
// selection contains becomes, per channel, clamp(sum div divisor + bias)
// with the sum taken over the unfiltered work copy, so pixels outside the
// selection still feed their neighbours. div truncates toward zero. Sums
// are exact for every record: a user filter whose weights could overflow
// 32 bits is summed in 64 bits. Progress runs 0, rows copied, rows done, 0.
FilterOutcome DibFilter(raster::TDibRecord& image, const TFilterRecord& record, const FilterContext& context);

// A command of the editor's menu: DibFilter with its record, followed by
// DibInvert for "&Konturen zeichnen" unless the filter was refused or
// failed (so a palette picture of that command only has its colours
// inverted).
FilterOutcome applyBuiltInFilter(raster::TDibRecord& image, const BuiltInFilter& filter, const FilterContext& context);

} // namespace filters
