#include "raster/rasterio.h"
#include "tests/fuzz/fuzzdecode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return fuzz::decode(raster::FormatTGA, data, size);
}
