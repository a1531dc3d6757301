#include "raster/drawdib.h"

#include "platform/msgbox.h"
#include "raster/dibguard.h"
#include "raster/halftone.h"
#include "raster/rasterio.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

namespace raster {

using namespace platform;

namespace {

// extent * numerator / denominator in floating point, rounded to nearest
// with halves to even (the default rounding mode), kept in 32 bits.
int32_t scaleRound(int64_t extent, int64_t numerator, int64_t denominator)
{
    const double v = std::nearbyint(double(extent) * double(numerator) / double(denominator));
    return int32_t(std::clamp(v, double(std::numeric_limits<int32_t>::min()),
                              double(std::numeric_limits<int32_t>::max())));
}

// Selects palettes for the duration of one DrawDib and puts back the one
// the device had when it began.
class PaletteScope {
public:
    explicit PaletteScope(HDC dc) : m_dc(dc) {}
    ~PaletteScope()
    {
        if (m_changed)
            SelectPalette(m_dc, m_entry, true);
    }
    PaletteScope(const PaletteScope&) = delete;
    PaletteScope& operator=(const PaletteScope&) = delete;

    // Selects palette as a background palette and realises it; returns the
    // palette selected before.
    HPALETTE select(HPALETTE palette)
    {
        HPALETTE previous = SelectPalette(m_dc, palette, true);
        if (!m_changed) {
            m_entry = previous;
            m_changed = true;
        }
        RealizePalette(m_dc);
        return previous;
    }

private:
    HDC m_dc;
    HPALETTE m_entry = nullptr;
    bool m_changed = false;
};

// The row drawers' common body; bytesPerPixel 3 (24-bit) or 1 (8-bit).
void drawRows(HDC dc, int32_t x, int32_t y, int32_t destWidth, int32_t destHeight, const TDibRecord& image,
              int32_t srcX, int32_t srcTop, int32_t srcWidth, int32_t srcHeight, int bytesPerPixel)
{
    if (!dc || !image.Bits || !image.Info || destWidth <= 0 || destHeight <= 0 ||
        DibBitCount(image) != 8 * bytesPerPixel)
        return;
    DibGuard row;
    if (bytesPerPixel == 3)
        newdib(row.out(), destWidth, 1, 24, nullptr, 0);
    else
        newdib(row.out(), destWidth, 1, 8, image.Info, 256);
    if (!row)
        return;

    const int64_t width = DibWidth(image);
    const int64_t height = DibHeight(image);
    const int64_t stride = image.BytesPerRow;
    const int64_t rowLimit = width * bytesPerPixel;

    // Byte offset in a source row of every destination column; the columns
    // that map inside the row are [first, last].
    std::vector<int32_t> map(size_t(destWidth), 0);
    int64_t first = -1, last = -1;
    for (int64_t i = 0; i < destWidth; ++i) {
        const int64_t m = (srcX + int64_t(srcWidth) * i / destWidth) * bytesPerPixel;
        if (m >= 0 && m < rowLimit) {
            map[size_t(i)] = int32_t(m);
            if (first < 0)
                first = i;
            last = i;
        }
    }

    uint8_t* buffer = row->Bits;
    const size_t bufferBytes = size_t(row->BytesPerRow);
    const int64_t highest = (height - 1) * stride;
    int64_t built = std::numeric_limits<int64_t>::min();
    for (int64_t r = 0; r < destHeight; ++r) {
        const int64_t s = srcTop + int64_t(srcHeight) * r / destHeight;
        const int64_t o = (height - 1 - s) * stride;
        if (o < 0 || o > highest) {
            std::memset(buffer, 0, bufferBytes);
            built = std::numeric_limits<int64_t>::min();
        } else if (o != built && first >= 0) {
            const uint8_t* source = image.Bits + o;
            const int32_t* m = map.data() + first;
            if (bytesPerPixel == 3) {
                uint8_t* d = buffer + 3 * first;
                for (int64_t n = last - first + 1; n > 0; --n, d += 3) {
                    const uint8_t* p = source + *m++;
                    d[0] = p[0];
                    d[1] = p[1];
                    d[2] = p[2];
                }
            } else {
                uint8_t* d = buffer + first;
                for (int64_t n = last - first + 1; n > 0; --n)
                    *d++ = source[*m++];
            }
            built = o;
        }
        SetDIBitsToDevice(dc, x, int(y + r), uint32_t(destWidth), 1, 0, 0, 0, 1, buffer, row->Info,
                          DIB_RGB_COLORS);
    }
}

// Copies pixel sourceColumn of a source row into pixel column of a
// destination row of the same depth.
inline void copyPixel(const uint8_t* source, int32_t sourceColumn, uint8_t* dest, int32_t column, int bitCount)
{
    switch (bitCount) {
    case 24:
        std::memcpy(dest + 3 * column, source + 3 * sourceColumn, 3);
        break;
    case 8:
        dest[column] = source[sourceColumn];
        break;
    case 4: {
        const uint8_t v = (source[sourceColumn >> 1] >> ((sourceColumn & 1) ? 0 : 4)) & 15;
        dest[column >> 1] |= uint8_t(v << ((column & 1) ? 0 : 4));
        break;
    }
    default: {
        const uint8_t v = (source[sourceColumn >> 3] >> (7 - (sourceColumn & 7))) & 1;
        dest[column >> 3] |= uint8_t(v << (7 - (column & 7)));
        break;
    }
    }
}

// The first fallback: a copy of the source rectangle at destination size,
// sent with SetDIBitsToDevice. True when the device took it.
bool sendResampledCopy(HDC dc, int32_t x, int32_t y, int32_t destWidth, int32_t destHeight,
                       const TDibRecord& image, int32_t srcX, int32_t srcY, int32_t srcWidth,
                       int32_t srcHeight)
{
    const int32_t bitCount = DibBitCount(image);
    int32_t colours = DibColorCount(image);
    if (colours > 256)
        colours = 0;
    DibGuard copy;
    newdib(copy.out(), destWidth, destHeight, bitCount, image.Info, colours);
    if (!copy)
        return false;

    // A destination one pixel wide (high) takes the rectangle's first column (row).
    std::vector<int32_t> columns(static_cast<size_t>(destWidth));
    for (int64_t i = 0; i < destWidth; ++i)
        columns[size_t(i)] = int32_t(destWidth > 1 ? srcX + int64_t(srcWidth - 1) * i / (destWidth - 1) : srcX);
    const size_t rowBytes = size_t(copy->BytesPerRow);
    int64_t previous = -1;
    for (int64_t j = 0; j < destHeight; ++j) {
        const int64_t sourceRow = destHeight > 1 ? srcY + int64_t(srcHeight - 1) * j / (destHeight - 1) : srcY;
        uint8_t* dest = copy->Bits + j * copy->BytesPerRow;
        if (sourceRow == previous) {
            std::memcpy(dest, dest - copy->BytesPerRow, rowBytes);
            continue;
        }
        const uint8_t* source = image.Bits + sourceRow * image.BytesPerRow;
        for (int32_t i = 0; i < destWidth; ++i)
            copyPixel(source, columns[size_t(i)], dest, i, bitCount);
        previous = sourceRow;
    }
    return SetDIBitsToDevice(dc, x, y, uint32_t(destWidth), uint32_t(destHeight), 0, 0, 0,
                             uint32_t(destHeight), copy->Bits, copy->Info, DIB_RGB_COLORS) > 0;
}

// The last fallback: the whole picture in a device-compatible bitmap,
// stretched onto the device with StretchBlt.
void blitThroughBitmap(HDC dc, int32_t x, int32_t y, int32_t destWidth, int32_t destHeight,
                       const TDibRecord& image, int32_t srcX, int32_t srcY, int32_t srcWidth,
                       int32_t srcHeight, uint32_t rop)
{
    const int32_t width = DibWidth(image), height = DibHeight(image);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, width, height);
    if (!bitmap) {
        MessageBox(QStringLiteral("Konnte Bitmap nicht erzeugen!"), QString(), MsgIcon::None, MsgButtons::Ok);
        return;
    }
    HDC memory = CreateCompatibleDC(dc);
    if (SetDIBits(dc, bitmap, 0, uint32_t(height), image.Bits, image.Info, DIB_RGB_COLORS) == 0) {
        MessageBox(QStringLiteral("Das Gerät unterstützt die Funtkion setdibits nicht!"), QString(),
                   MsgIcon::None, MsgButtons::Ok);
    } else {
        HBITMAP previous = SelectObject(memory, bitmap);
        if (!StretchBlt(dc, x, y, destWidth, destHeight, memory, srcX, height - srcY - srcHeight, srcWidth,
                        srcHeight, rop)) {
            MessageBox(QStringLiteral("Das Gerät unterstützt die Funktion StretchBlt nicht!"), QString(),
                       MsgIcon::None, MsgButtons::Ok);
        }
        SelectObject(memory, previous);
    }
    DeleteDC(memory);
    DeleteObject(bitmap);
}

} // namespace

void DrawRows24(HDC dc, int32_t x, int32_t y, int32_t destWidth, int32_t destHeight, const TDibRecord& image,
                int32_t srcX, int32_t srcTop, int32_t srcWidth, int32_t srcHeight)
{
    drawRows(dc, x, y, destWidth, destHeight, image, srcX, srcTop, srcWidth, srcHeight, 3);
}

void DrawRows8(HDC dc, int32_t x, int32_t y, int32_t destWidth, int32_t destHeight, const TDibRecord& image,
               int32_t srcX, int32_t srcTop, int32_t srcWidth, int32_t srcHeight)
{
    drawRows(dc, x, y, destWidth, destHeight, image, srcX, srcTop, srcWidth, srcHeight, 1);
}

void DrawDib(HDC dc, int32_t x, int32_t y, int32_t destWidth, int32_t destHeight, const TDibRecord& image,
             int32_t srcX, int32_t srcY, int32_t srcWidth, int32_t srcHeight, bool halftone, uint32_t rop,
             bool useOwnPalette, HPALETTE palette)
{
    if (!dc || !image.Bits || !image.Info)
        return;
    const bool printer = GetDeviceCaps(dc, TECHNOLOGY) == DT_RASPRINTER;
    SetStretchBltMode(dc, COLORONCOLOR);

    const int32_t width = DibWidth(image), height = DibHeight(image), bitCount = DibBitCount(image);
    auto empty = [&] { return destWidth <= 0 || destHeight <= 0 || srcWidth <= 0 || srcHeight <= 0; };
    if (empty())
        return;

    // Clip the source rectangle to the picture, scaling the destination with it.
    if (int64_t(srcX) + srcWidth > width) {
        const int32_t e = width - srcX;
        destWidth = scaleRound(destWidth, e, srcWidth);
        srcWidth = e;
        if (empty())
            return;
    }
    if (srcY < 0) {
        const int64_t kept = int64_t(srcHeight) + srcY;
        if (kept <= 0)
            return;
        destHeight = scaleRound(destHeight, kept, srcHeight);
        srcHeight = int32_t(kept);
        srcY = 0;
        if (empty())
            return;
    }
    if (int64_t(srcY) + srcHeight > height) {
        const int32_t g = height - srcY;
        if (g <= 0)
            return;
        const int32_t h = scaleRound(destHeight, g, srcHeight);
        y = int32_t(int64_t(y) + destHeight - h);
        destHeight = h;
        srcHeight = g;
        if (empty())
            return;
    }
    if (srcX < 0) {
        const int64_t kept = int64_t(srcX) + srcWidth;
        if (kept <= 0)
            return;
        const int32_t h = scaleRound(destWidth, kept, srcWidth);
        x = int32_t(int64_t(x) + destWidth - h);
        destWidth = h;
        srcWidth = int32_t(kept);
        srcX = 0;
        if (empty())
            return;
    }

    PaletteScope palettes(dc);
    if (image.HasPalette == 1)
        palettes.select(useOwnPalette ? image.Palette : palette);

    const int32_t depth = printer ? ScreenBitDepth() : GetDeviceCaps(dc, BITSPIXEL);
    if (bitCount == 24 && depth <= 8 && halftone) {
        const bool shrink = srcWidth > destWidth || destHeight < srcHeight;
        DibGuard copy;
        int32_t copyWidth = width, copyHeight = height;
        if (shrink) {
            copyWidth = scaleRound(width, destWidth, srcWidth);
            copyHeight = scaleRound(height, destHeight, srcHeight);
            DIBHalftoneDIBXY(copy.out(), image, copyWidth, copyHeight);
        } else {
            DIBHalftoneDIB(copy.out(), image);
        }
        if (!copy)
            return;
        HPALETTE chosen = useOwnPalette ? image.Palette : palette;
        if (useOwnPalette && !chosen)
            chosen = copy->Palette;
        HPALETTE previous = palettes.select(chosen);
        if (shrink) {
            srcX = scaleRound(srcX, copyWidth, width);
            srcY = scaleRound(srcY, copyHeight, height);
            srcWidth = destWidth;
            srcHeight = destHeight;
        }
        StretchDIBits(dc, x, y, destWidth, destHeight, srcX, srcY, srcWidth, srcHeight, copy->Bits,
                      copy->Info, DIB_RGB_COLORS, rop);
        SelectPalette(dc, previous, true);
        return;
    }

    if (bitCount == 24 && !printer) {
        DrawRows24(dc, x, y, destWidth, destHeight, image, srcX, height - srcY - srcHeight, srcWidth, srcHeight);
        return;
    }
    if (bitCount == 8 && !printer) {
        DrawRows8(dc, x, y, destWidth, destHeight, image, srcX, height - srcY - srcHeight, srcWidth, srcHeight);
        return;
    }

    const bool takesDibs = (GetDeviceCaps(dc, RASTERCAPS) & RC_DIBTODEV) != 0;
    if (StretchDIBits(dc, x, y, destWidth, destHeight, srcX, srcY, srcWidth, srcHeight, image.Bits, image.Info,
                      DIB_RGB_COLORS, rop) != GDI_ERROR)
        return;
    if (takesDibs && sendResampledCopy(dc, x, y, destWidth, destHeight, image, srcX, srcY, srcWidth, srcHeight))
        return;
    blitThroughBitmap(dc, x, y, destWidth, destHeight, image, srcX, srcY, srcWidth, srcHeight, rop);
}

void ScreenEllipse(HDC dc, int32_t x1, int32_t y1, int32_t x2, int32_t y2)
{
    if (!dc)
        return;
    const int64_t left = std::min(x1, x2), top = std::min(y1, y2);
    const int64_t w = std::abs(int64_t(x2) - x1) + 1, h = std::abs(int64_t(y2) - y1) + 1;
    if (w > std::numeric_limits<int32_t>::max() || h > std::numeric_limits<int32_t>::max())
        return;
    DibGuard mask;
    newdib(mask.out(), int32_t(w), int32_t(h), 1, nullptr, 0);
    if (!mask)
        return;
    ellipse(mask.get(), 0, 0, int32_t(w - 1), int32_t(h - 1), 1);
    std::vector<QPoint> points;
    for (int64_t t = 0; t < h; ++t) {
        const uint8_t* row = DibRow(mask.get(), int32_t(t));
        for (int64_t bx = 0; bx < (w + 7) / 8; ++bx) {
            if (!row[bx])
                continue;
            for (int bit = 0; bit < 8; ++bit) {
                if (row[bx] & (0x80 >> bit))
                    points.emplace_back(int(left + bx * 8 + bit), int(top + t));
            }
        }
    }
    dc->invertPoints(points);
}

} // namespace raster
