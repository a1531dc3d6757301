#include "raster/codecs/codecs.h"

namespace raster {

namespace {
bool sniffJpeg(Bytes) { return false; }
ImageError decodeJpeg(Bytes, DibGuard&, const Progress&) { return ImageError::Unsupported; }
} // namespace

const Codec kJpegCodec = {"Jpeg", sniffJpeg, decodeJpeg, nullptr};

} // namespace raster
