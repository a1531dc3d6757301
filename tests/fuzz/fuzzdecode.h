#pragma once
// The body of every decoder's fuzz target: decode the bytes with one format
// number and check the library's promises on whatever comes back.

#include "raster/codec.h"

#include <cstdlib>

namespace fuzz {

inline int decode(int format, const uint8_t* data, size_t size)
{
    raster::DibGuard image;
    const raster::ImageError error = raster::decodeImage(raster::Bytes(data, size), format, image);
    // Success and an image go together; an image keeps its row rules.
    if ((error == raster::ImageError::None) != bool(image))
        std::abort();
    if (image) {
        const auto& dib = image.get();
        const uint64_t stride = raster::dibStride(uint64_t(raster::DibWidth(dib)), uint32_t(raster::DibBitCount(dib)));
        if (uint64_t(dib.BytesPerRow) != stride ||
            raster::DibSizeImage(dib) != stride * uint64_t(raster::DibHeight(dib)))
            std::abort();
        // Touch the first and last pixel bytes so a short block shows.
        volatile uint8_t sink = dib.Bits[0];
        sink = dib.Bits[raster::DibSizeImage(dib) - 1];
        (void)sink;
    }
    return 0;
}

} // namespace fuzz
