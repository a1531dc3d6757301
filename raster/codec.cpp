#include "raster/codec.h"

#include "platform/palette.h"
#include "raster/codecs/codecs.h"
#include "raster/rasterio.h"

#include <cstring>

namespace raster {

namespace {
struct Registration {
    int format;
    const Codec* codec;
};

// Format numbers and their codecs. Sniffing walks the table in this order,
// so formats with weak signatures come last.
const Registration kRegistry[] = {
    {FormatBMP, &kBmpCodec}, {FormatDIB, &kBmpCodec}, {FormatRLE, &kBmpCodec},
    {FormatJPG, &kJpegCodec}, {FormatJIF, &kJpegCodec},
    {FormatGIF, &kGifCodec},
    {FormatPNG, &kPngCodec},
    {FormatTIF, &kTiffCodec},
    {FormatIFF, &kIffCodec}, {FormatLBM, &kIffCodec},
    {FormatPCX, &kPcxCodec},
    {FormatTGA, &kTgaCodec},
};
} // namespace

QString imageErrorText(ImageError error)
{
    switch (error) {
    case ImageError::None: return {};
    case ImageError::FileMissing: return QStringLiteral("Fehler: Die Datei wurde nicht gefunden!");
    case ImageError::CannotRead: return QStringLiteral("Fehler: Die Datei kann nicht gelesen werden!");
    case ImageError::UnknownFormat:
        return QStringLiteral("Fehler: Unbekanntes Dateiformat! Die Datei ist kein lesbares Bild.");
    case ImageError::Damaged: return QStringLiteral("Fehler: Die Bilddatei ist beschädigt oder unvollständig!");
    case ImageError::Unsupported:
        return QStringLiteral("Fehler: Diese Variante des Bildformats wird nicht unterstützt!");
    case ImageError::TooLarge: return QStringLiteral("Fehler: Das Bild ist zu groß!");
    case ImageError::OutOfMemory: return QStringLiteral("Fehler: Nicht genug Speicher für dieses Bild!");
    case ImageError::CannotWrite: return QStringLiteral("Fehler: Die Datei kann nicht geschrieben werden!");
    }
    return {};
}

const Codec* codecForFormat(int format)
{
    for (const auto& r : kRegistry) {
        if (r.format == format)
            return r.codec;
    }
    return nullptr;
}

const Codec* codecForContent(Bytes data)
{
    for (const auto& r : kRegistry) {
        if (r.codec->sniff(data))
            return r.codec;
    }
    return nullptr;
}

ImageError decodeImage(Bytes data, int format, DibGuard& out, const Progress& progress)
{
    out.reset();
    const Codec* codec = format == FormatAuto ? codecForContent(data) : codecForFormat(format);
    if (!codec || !codec->decode)
        return ImageError::UnknownFormat;
    const ImageError error = codec->decode(data, out, progress);
    if (error != ImageError::None)
        out.reset();
    else if (!out)
        return ImageError::Damaged;
    return error;
}

ImageError encodeImage(const TDibRecord& dib, int format, std::vector<uint8_t>& out,
                       const EncodeOptions& options, const Progress& progress)
{
    const Codec* codec = codecForFormat(format);
    if (!codec || !codec->encode)
        return ImageError::UnknownFormat;
    if (!dib.Bits)
        return ImageError::CannotWrite;
    EncodeOptions o = options;
    o.format = format;
    return codec->encode(dib, out, o, progress);
}

ImageError checkImageSize(int64_t width, int64_t height, int32_t bitCount)
{
    if (width <= 0 || height <= 0)
        return ImageError::Damaged;
    if (width > kMaxDimension || height > kMaxDimension)
        return ImageError::TooLarge;
    if (dibStride(uint64_t(width), uint32_t(bitCount)) * uint64_t(height) > kMaxPixelBytes)
        return ImageError::TooLarge;
    return ImageError::None;
}

ImageError makeImage(DibGuard& out, int32_t width, int32_t height, int32_t bitCount,
                     const RGBQUAD* colours, int32_t entryCount)
{
    if (const ImageError e = checkImageSize(width, height, bitCount); e != ImageError::None)
        return e;
    // newdib reads the colours from a BITMAPINFO; build one around them.
    std::vector<uint8_t> info;
    const BITMAPINFO* source = nullptr;
    if (colours && entryCount > 0) {
        info.resize(sizeof(BITMAPINFOHEADER) + sizeof(RGBQUAD) * size_t(entryCount));
        std::memcpy(info.data() + sizeof(BITMAPINFOHEADER), colours, sizeof(RGBQUAD) * size_t(entryCount));
        source = reinterpret_cast<const BITMAPINFO*>(info.data());
    }
    newdib(out.out(), width, height, bitCount, source, entryCount);
    return out ? ImageError::None : ImageError::OutOfMemory;
}

bool hasGreyRamp(const TDibRecord& dib)
{
    if (!dib.Info || DibBitCount(dib) > 8)
        return false;
    const int n = DibColorCount(dib);
    for (int i = 0; i < n; ++i) {
        const RGBQUAD q = dib.Info->bmiColors[i];
        const auto grey = uint8_t(i * 255 / (n - 1));
        if (q.rgbRed != grey || q.rgbGreen != grey || q.rgbBlue != grey)
            return false;
    }
    return true;
}

ImageError convertTo24(const TDibRecord& dib, DibGuard& out)
{
    const int32_t w = DibWidth(dib), h = DibHeight(dib), bc = DibBitCount(dib);
    if (const ImageError e = makeImage(out, w, h, 24); e != ImageError::None)
        return e;
    if (bc == 24) {
        std::memcpy(out->Bits, dib.Bits, DibSizeImage(dib));
        return ImageError::None;
    }
    const RGBQUAD* table = dib.Info->bmiColors;
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* dst = DibRow(out.get(), y);
        for (int32_t x = 0; x < w; ++x) {
            const RGBQUAD q = table[getpixel(dib, x, y)];
            dst[3 * x] = q.rgbBlue;
            dst[3 * x + 1] = q.rgbGreen;
            dst[3 * x + 2] = q.rgbRed;
        }
    }
    return ImageError::None;
}

} // namespace raster
