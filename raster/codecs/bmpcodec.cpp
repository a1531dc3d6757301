#include "raster/codecs/codecs.h"

namespace raster {

namespace {
bool sniffBmp(Bytes) { return false; }
ImageError decodeBmp(Bytes, DibGuard&, const Progress&) { return ImageError::Unsupported; }
} // namespace

const Codec kBmpCodec = {"Bmp", sniffBmp, decodeBmp, nullptr};

} // namespace raster
