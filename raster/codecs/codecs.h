#pragma once
// The codecs the library knows, one per file format family.

#include "raster/codec.h"

namespace raster {

extern const Codec kBmpCodec;  // BMP, DIB and RLE
extern const Codec kJpegCodec; // JPG and JIF
extern const Codec kGifCodec;
extern const Codec kPngCodec;
extern const Codec kTiffCodec;
extern const Codec kPcxCodec;
extern const Codec kTgaCodec; // no signature: sniffed last
extern const Codec kIffCodec; // IFF and LBM

} // namespace raster
