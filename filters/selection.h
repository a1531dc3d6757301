#pragma once
// What a pixel algorithm needs to know of the document it works on besides
// the picture: the selection, the two current colours and where to report
// progress. The image editor fills it from its document; lumivox-tool from
// its command line.

#include "raster/dibrecord.h"
#include "raster/rasterio.h"

#include <cstdint>
#include <functional>

namespace filters {

// Percentages 0..100 of long work (the editor binds it to ShowProzent).
using Progress = std::function<void(int percent)>;

// The document's selection: a 1-bit mask of the picture's size whose value 1
// marks selected pixels, and its inclusive bounding box (image coordinates
// counted from the top).
struct Selection {
    bool HasSelection = false;
    raster::TDibRecord SelMask{}; // not owned
    int32_t SelLeft = 0;
    int32_t SelTop = 0;
    int32_t SelRight = 0;
    int32_t SelBottom = 0;

    // True when there is no selection or the mask reports 1 at (x, y).
    bool contains(int32_t x, int32_t y) const
    {
        return !HasSelection || raster::getpixel(SelMask, x, y) == 1;
    }
};

struct FilterContext {
    Selection selection;
    uint32_t Col1 = 0; // current colours: palette index, or 0x00BBGGRR for 24 bits
    uint32_t Col2 = 0;
    Progress progress;

    void report(int percent) const
    {
        if (progress)
            progress(percent);
    }
};

} // namespace filters
