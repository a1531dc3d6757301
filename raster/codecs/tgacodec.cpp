#include "raster/codecs/codecs.h"

namespace raster {

namespace {
bool sniffTga(Bytes) { return false; }
ImageError decodeTga(Bytes, DibGuard&, const Progress&) { return ImageError::Unsupported; }
} // namespace

const Codec kTgaCodec = {"Tga", sniffTga, decodeTga, nullptr};

} // namespace raster
