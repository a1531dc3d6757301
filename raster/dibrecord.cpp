#include "raster/dibrecord.h"

#include "platform/palette.h"
#include "raster/rasterio.h"

#include <QGuiApplication>
#include <QScreen>

#include <cstring>

namespace raster {

int32_t DibWidth(const TDibRecord& dib)
{
    return dib.Info ? dib.Info->bmiHeader.biWidth : 0;
}

int32_t DibHeight(const TDibRecord& dib)
{
    return dib.Info ? dib.Info->bmiHeader.biHeight : 0;
}

int32_t DibBitCount(const TDibRecord& dib)
{
    return dib.Info ? dib.Info->bmiHeader.biBitCount : 0;
}

int32_t DibBytesPerRow(const TDibRecord& dib)
{
    return dib.BytesPerRow;
}

uint32_t DibSizeImage(const TDibRecord& dib)
{
    return dib.Info ? dib.Info->bmiHeader.biSizeImage : 0;
}

int32_t PowerOfTwo(int32_t n)
{
    if (n <= 0)
        return 1;
    if (n >= 31)
        return int32_t(uint32_t(1) << 31); // as the 32-bit shift gives it
    return int32_t(1) << n;
}

int32_t DibColorCount(const TDibRecord& dib)
{
    return PowerOfTwo(DibBitCount(dib));
}

int32_t ScreenBitDepth()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->depth() : 24;
}

RGBQUAD* DibColors(const TDibRecord& dib)
{
    return dib.Info ? dib.Info->bmiColors : nullptr;
}

uint8_t* DibRow(const TDibRecord& dib, int32_t t)
{
    return dib.Bits + ptrdiff_t(DibHeight(dib) - 1 - t) * dib.BytesPerRow;
}

void setPaletteEntry(TDibRecord& dib, int index, uint8_t red, uint8_t green, uint8_t blue)
{
    if (!dib.Info || index < 0 || index >= 256 || DibBitCount(dib) > 8 || index >= DibColorCount(dib))
        return;
    dib.Info->bmiColors[index] = RGBQUAD{blue, green, red, 0};
    dib.LogPal.palPalEntry[index] = {red, green, blue, 0};
}

void refreshPalette(TDibRecord& dib)
{
    platform::DeletePalette(dib.Palette);
    dib.Palette = platform::CreatePalette(dib.LogPal);
}

QString DibErrorText(const TDibRecord& dib)
{
    const auto* text = reinterpret_cast<const char*>(dib.LogPal.palPalEntry);
    const size_t room = sizeof(dib.LogPal.palPalEntry);
    return QString::fromUtf8(text, qsizetype(strnlen(text, room)));
}

void SetDibErrorText(TDibRecord& dib, const QString& text)
{
    auto* room = reinterpret_cast<char*>(dib.LogPal.palPalEntry);
    const size_t size = sizeof(dib.LogPal.palPalEntry);
    QByteArray bytes = text.toUtf8();
    // Cut on a character boundary so the text stays valid UTF-8.
    qsizetype n = std::min<qsizetype>(bytes.size(), qsizetype(size) - 1);
    while (n > 0 && n < bytes.size() && (uint8_t(bytes[n]) & 0xC0) == 0x80)
        --n;
    std::memset(room, 0, size);
    std::memcpy(room, bytes.constData(), size_t(n));
}

TDibRecord MakeDIBCopy(const TDibRecord& source)
{
    TDibRecord result;
    if (!source.Bits)
        return result;
    int32_t colours = DibColorCount(source);
    if (colours > 256)
        colours = 0;
    newdib(&result, DibWidth(source), DibHeight(source), DibBitCount(source), source.Info, colours);
    if (result.Bits)
        std::memcpy(result.Bits, source.Bits, DibSizeImage(source));
    return result;
}

} // namespace raster
