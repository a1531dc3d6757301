#pragma once
// Colour reduction for writers of palette formats (GIF) and for anything
// else that needs a true-colour picture as a palette picture.

#include "raster/dibguard.h"

namespace raster {

// An 8-bit copy of a 24-bit picture with at most maxColours (2..256)
// colour-table entries in use; the entries after them are black.
//
// A picture with no more distinct colours than that keeps exactly its
// colours, every pixel unchanged (the table is in ascending RGB order).
// Otherwise the table comes from Wu's quantiser (variance-minimising cuts
// of a 6-bit-per-channel colour histogram, each entry the mean of the
// colours in its box), and every pixel takes the nearest entry by
// Euclidean RGB distance; there is no dithering, so flat areas stay flat.
//
// The result is empty when the source is not a 24-bit picture or memory
// runs out.
DibGuard quantizeColours(const TDibRecord& picture, int maxColours = 256);

} // namespace raster
