#pragma once
// Binary PPM files (P6, 8-bit samples) for the benchmarks: the pictures the
// peer tools read and write, in and out of 24-bit images.

#include "raster/dibguard.h"

namespace bench {

// False when the file is not such a picture or there was no memory.
bool readPpm(const char* path, raster::DibGuard& image);
bool writePpm(const char* path, const raster::TDibRecord& image);

} // namespace bench
