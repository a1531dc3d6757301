#pragma once
// Halftoned 8-bit copies of pictures for screens of 256 colours or fewer:
// an 8 x 8 ordered dither onto a fixed palette (a 6 x 6 x 6 colour cube in
// entries 0..215, greys in 216..255).

#include "raster/dibrecord.h"

namespace raster {

// An 8-bit halftoned copy of the picture; Bits null when it cannot be made.
void DIBHalftoneDIB(TDibRecord* out, const TDibRecord& source);
// The same, scaled to width x height first (nearest pixel, never smoothed).
void DIBHalftoneDIBXY(TDibRecord* out, const TDibRecord& source, int32_t width, int32_t height);

// Palette entry i of the halftone palette.
RGBQUAD halftoneColour(int index);

} // namespace raster
