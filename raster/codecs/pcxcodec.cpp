#include "raster/codecs/codecs.h"

namespace raster {

namespace {
bool sniffPcx(Bytes) { return false; }
ImageError decodePcx(Bytes, DibGuard&, const Progress&) { return ImageError::Unsupported; }
} // namespace

const Codec kPcxCodec = {"Pcx", sniffPcx, decodePcx, nullptr};

} // namespace raster
