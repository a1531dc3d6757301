#include "filters/palfile.h"

#include "filters/depth.h"
#include "raster/dibguard.h"
#include "raster/rasterio.h"

#include <QFile>

#include <algorithm>
#include <array>
#include <memory>
#include <new>
#include <vector>

namespace filters {

using platform::LOGPALETTE256;
using raster::DibBitCount;
using raster::DibColorCount;
using raster::DibHeight;
using raster::DibRow;
using raster::DibWidth;
using raster::TDibRecord;

namespace {

// The first 1028 bytes of the file; false when it cannot be opened or is
// shorter.
bool readPaletteFile(const QString& path, LOGPALETTE256& palette)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return parsePaletteFile(file.read(kPaletteFileSize), palette);
}

// The entry count a palette picture's file must have: 16 or 256, else 0.
int expectedCount(const TDibRecord& image)
{
    if (!image.Bits || DibBitCount(image) > 8)
        return 0;
    const int n = DibColorCount(image);
    return n == 16 || n == 256 ? n : 0;
}

} // namespace

QByteArray paletteFileBytes(const LOGPALETTE256& palette)
{
    QByteArray bytes(kPaletteFileSize, '\0');
    auto* out = reinterpret_cast<uint8_t*>(bytes.data());
    out[0] = uint8_t(palette.palVersion);
    out[1] = uint8_t(palette.palVersion >> 8);
    out[2] = uint8_t(palette.palNumEntries);
    out[3] = uint8_t(palette.palNumEntries >> 8);
    for (size_t i = 0; i < 256; ++i) {
        const platform::PALETTEENTRY& e = palette.palPalEntry[i];
        out[4 + 4 * i] = e.peRed;
        out[5 + 4 * i] = e.peGreen;
        out[6 + 4 * i] = e.peBlue;
        out[7 + 4 * i] = e.peFlags;
    }
    return bytes;
}

bool parsePaletteFile(const QByteArray& bytes, LOGPALETTE256& palette)
{
    if (bytes.size() < kPaletteFileSize)
        return false;
    const auto* in = reinterpret_cast<const uint8_t*>(bytes.constData());
    palette.palVersion = uint16_t(in[0] | in[1] << 8);
    palette.palNumEntries = uint16_t(in[2] | in[3] << 8);
    for (size_t i = 0; i < 256; ++i)
        palette.palPalEntry[i] = {in[4 + 4 * i], in[5 + 4 * i], in[6 + 4 * i], in[7 + 4 * i]};
    return true;
}

PaletteOutcome savepal(const TDibRecord& image, const QString& path)
{
    if (expectedCount(image) == 0)
        return PaletteOutcome::Ignored;
    const QByteArray bytes = paletteFileBytes(image.LogPal);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size() ||
        !file.flush())
        return PaletteOutcome::CannotSave;
    return PaletteOutcome::Done;
}

PaletteOutcome loadpal(TDibRecord& image, const QString& path, const FilterContext&)
{
    const int expected = expectedCount(image);
    LOGPALETTE256 palette{};
    if (!readPaletteFile(path, palette))
        return PaletteOutcome::CannotLoad;
    if (palette.palVersion != kPaletteVersion || palette.palNumEntries != expected || expected == 0)
        return PaletteOutcome::DoesNotFit;
    for (int i = 0; i < expected; ++i) {
        const platform::PALETTEENTRY& e = palette.palPalEntry[i];
        image.LogPal.palPalEntry[i] = e;
        image.Info->bmiColors[i] = {e.peBlue, e.peGreen, e.peRed, 0};
    }
    raster::refreshPalette(image);
    return PaletteOutcome::Done;
}

PaletteOutcome loadpal0(TDibRecord& picture, const QString& path, FilterContext& context,
                        const DitherChoice& dither)
{
    LOGPALETTE256 palette{};
    if (!readPaletteFile(path, palette))
        return PaletteOutcome::CannotLoad;
    const int count = palette.palNumEntries;
    if (palette.palVersion != kPaletteVersion || (count != 16 && count != 256))
        return PaletteOutcome::Illegal;
    if (!picture.Bits)
        return PaletteOutcome::Ignored;
    raster::DibGuard converted;
    raster::newdib(converted.out(), DibWidth(picture), DibHeight(picture), count == 16 ? 4 : 8, nullptr, 0);
    if (!converted)
        return PaletteOutcome::NoMemory;
    for (int i = 0; i < count; ++i) {
        const platform::PALETTEENTRY& e = palette.palPalEntry[i];
        raster::setPaletteEntry(converted.get(), i, e.peRed, e.peGreen, e.peBlue);
    }
    raster::refreshPalette(converted.get());

    const bool diffuse = dither && dither();
    context.report(0);
    if (diffuse) {
        FloydSteinberg(picture, converted.get(), context.progress);
    } else {
        // The nearest entry of every colour the picture holds: of each
        // palette index (1 bit: black and white), or of each 24-bit colour.
        const std::span<const platform::PALETTEENTRY> entries(palette.palPalEntry, size_t(count));
        const int32_t bits = DibBitCount(picture);
        const int32_t w = DibWidth(picture), h = DibHeight(picture);
        uint8_t byIndex[256]{};
        if (bits == 1) {
            byIndex[0] = uint8_t(nearestEntry(entries, 0, 0, 0));
            byIndex[1] = uint8_t(nearestEntry(entries, 255, 255, 255));
        } else if (bits <= 8) {
            for (int i = 0; i < DibColorCount(picture); ++i) {
                const platform::RGBQUAD q = picture.Info->bmiColors[i];
                byIndex[i] = uint8_t(nearestEntry(entries, q.rgbRed, q.rgbGreen, q.rgbBlue));
            }
        }
        NearestEntry nearest(entries);
        for (int32_t t = 0; t < h; ++t) {
            for (int32_t x = 0; x < w; ++x) {
                uint32_t index;
                if (bits == 24) {
                    const uint8_t* p = DibRow(picture, t) + 3 * size_t(x);
                    index = nearest(p[2], p[1], p[0]);
                } else {
                    index = byIndex[raster::getpixel(picture, x, t) & 255];
                }
                raster::setpixel(converted.get(), x, t, index);
            }
            context.report(h > 0 ? int(int64_t(t + 1) * 100 / h) : 100);
        }
    }
    context.report(0);
    raster::deldib(picture);
    picture = converted.release();
    context.Col1 = 0;
    context.Col2 = uint32_t(count - 1);
    return PaletteOutcome::Done;
}

ColourCount CountColors(const TDibRecord& picture, const FilterContext& context)
{
    if (!picture.Bits)
        return {};
    const int32_t w = DibWidth(picture), h = DibHeight(picture);
    const Selection& selection = context.selection;
    const TDibRecord& mask = selection.SelMask;
    const bool directMask = mask.Bits && DibBitCount(mask) == 1 && DibWidth(mask) == w && DibHeight(mask) == h;
    auto selectedRow = [&](int32_t t, std::vector<uint8_t>& flags) {
        for (int32_t x = 0; x < w; ++x) {
            if (!selection.HasSelection)
                flags[size_t(x)] = 1;
            else if (directMask)
                flags[size_t(x)] = (DibRow(mask, t)[x >> 3] >> (7 - (x & 7))) & 1;
            else
                flags[size_t(x)] = selection.contains(x, t) ? 1 : 0;
        }
    };
    std::vector<uint8_t> flags(size_t(std::max(w, 0)));
    int32_t count = 0;
    context.report(0);
    if (DibBitCount(picture) == 24) {
        // One bit for each of the 2^24 colours (2 MB), keyed red + 256 green + 65536 blue.
        std::unique_ptr<uint64_t[]> seen(new (std::nothrow) uint64_t[(size_t(1) << 24) / 64]());
        if (!seen)
            return {0, true};
        for (int32_t t = 0; t < h; ++t) {
            const uint8_t* p = DibRow(picture, t);
            if (selection.HasSelection)
                selectedRow(t, flags);
            for (int32_t x = 0; x < w; ++x, p += 3) {
                if (selection.HasSelection && !flags[size_t(x)])
                    continue;
                const uint32_t key = uint32_t(p[2]) | uint32_t(p[1]) << 8 | uint32_t(p[0]) << 16;
                uint64_t& word = seen[key >> 6];
                const uint64_t bit = uint64_t(1) << (key & 63);
                count += (word & bit) ? 0 : 1;
                word |= bit;
            }
            context.report(h > 0 ? int(int64_t(t + 1) * 100 / h) : 100);
        }
    } else {
        bool seen[256]{};
        for (int32_t t = 0; t < h; ++t) {
            selectedRow(t, flags);
            for (int32_t x = 0; x < w; ++x) {
                if (!flags[size_t(x)])
                    continue;
                const uint32_t index = raster::getpixel(picture, x, t) & 255;
                count += seen[index] ? 0 : 1;
                seen[index] = true;
            }
            context.report(h > 0 ? int(int64_t(t + 1) * 100 / h) : 100);
        }
    }
    context.report(0);
    return {count, false};
}

} // namespace filters
