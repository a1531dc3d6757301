#include "raster/codecs/codecs.h"

namespace raster {

namespace {
bool sniffIff(Bytes) { return false; }
ImageError decodeIff(Bytes, DibGuard&, const Progress&) { return ImageError::Unsupported; }
} // namespace

const Codec kIffCodec = {"Iff", sniffIff, decodeIff, nullptr};

} // namespace raster
