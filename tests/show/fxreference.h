#pragma once
// The transitions computed the plain way: every pixel's condition evaluated
// on its own, in the order the pixel rules give (rows from the bottom,
// columns from the left), with the random numbers drawn from
// platform::Random as each pixel needs them. Slow, and the yardstick the
// engine in show/transitions.cpp is measured against byte for byte.

#include "raster/dibrecord.h"

#include <cstdint>

namespace fxref {

// Same contract as show::dofx.
void referenceDofx(raster::TDibRecord& out, const raster::TDibRecord& oldPic, const raster::TDibRecord& newPic,
                   int32_t elapsed, int32_t duration, int32_t effect);

} // namespace fxref
