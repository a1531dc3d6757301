#include "raster/codecs/codecs.h"

namespace raster {

namespace {
bool sniffPng(Bytes) { return false; }
ImageError decodePng(Bytes, DibGuard&, const Progress&) { return ImageError::Unsupported; }
} // namespace

const Codec kPngCodec = {"Png", sniffPng, decodePng, nullptr};

} // namespace raster
