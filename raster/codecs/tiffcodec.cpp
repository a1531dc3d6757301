#include "raster/codecs/codecs.h"

namespace raster {

namespace {
bool sniffTiff(Bytes) { return false; }
ImageError decodeTiff(Bytes, DibGuard&, const Progress&) { return ImageError::Unsupported; }
} // namespace

const Codec kTiffCodec = {"Tiff", sniffTiff, decodeTiff, nullptr};

} // namespace raster
