#include "raster/codecs/codecs.h"

namespace raster {

namespace {
bool sniffGif(Bytes) { return false; }
ImageError decodeGif(Bytes, DibGuard&, const Progress&) { return ImageError::Unsupported; }
} // namespace

const Codec kGifCodec = {"Gif", sniffGif, decodeGif, nullptr};

} // namespace raster
