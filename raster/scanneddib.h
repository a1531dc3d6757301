#pragma once
// The hand-over of a finished scan (platform/scanner.h) as an image record.

#include "raster/dibrecord.h"

#include <cstdint>

namespace raster {

// Takes over the scanned picture of a WM_SCANREADY message's first
// parameter: out receives a new 24-bit picture (colour) or an 8-bit picture
// with a grey palette (grey and line art) that the caller then owns. A
// handle that is unknown or already taken gives a record without pixels;
// so does a picture there is no memory for, after the common memory message.
void GetScanedDib(TDibRecord* out, intptr_t wParam);

} // namespace raster
