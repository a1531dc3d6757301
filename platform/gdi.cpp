#include "platform/gdi.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "platform/cpu.h"
#include "platform/palette.h"

#include <QGuiApplication>
#include <QPaintDevice>
#include <QPainter>
#include <QPolygon>
#include <QScreen>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

namespace platform {

namespace {

std::atomic<int> g_liveGdiObjects{0};

// The rows of a DIB handed to a transfer, with its colours resolved.
struct DibSource {
    const uint8_t* bits = nullptr;
    int width = 0;
    int height = 0;
    bool topDown = false;
    int bitCount = 0;
    qsizetype stride = 0;
    int firstScan = 0; // the scan lines present in bits
    int scanCount = 0;
    std::array<uint32_t, 256> colours{}; // 0x00RRGGBB

    // The row t-th from the top; nullptr outside the DIB or the rows present.
    const uint8_t* rowFromTop(int64_t t) const
    {
        if (t < 0 || t >= height)
            return nullptr;
        const int64_t scan = topDown ? t : height - 1 - t;
        if (scan < firstScan || scan >= int64_t(firstScan) + scanCount)
            return nullptr;
        return bits + qsizetype(scan - firstScan) * stride;
    }

    // Pixel x of a row as 0x00RRGGBB.
    uint32_t pixel(const uint8_t* row, int x) const
    {
        switch (bitCount) {
        case 24: {
            const uint8_t* p = row + 3 * qsizetype(x);
            return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
        }
        case 32: {
            const uint8_t* p = row + 4 * qsizetype(x);
            return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
        }
        case 8:
            return colours[row[x]];
        case 4:
            return colours[(row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15];
        default:
            return colours[(row[x >> 3] >> (7 - (x & 7))) & 1];
        }
    }
};

// Reads a BITMAPINFO; false for DIBs no transfer takes. The scan lines
// present are clamped to the DIB.
bool describeDib(const BITMAPINFO* info, const void* bits, uint32_t usage, int64_t firstScan,
                 int64_t scanCount, DibSource& out)
{
    if (!info || !bits || usage != DIB_RGB_COLORS)
        return false;
    const BITMAPINFOHEADER& h = info->bmiHeader;
    if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biCompression != BI_RGB || h.biWidth <= 0 ||
        h.biHeight == 0 || h.biHeight == std::numeric_limits<int32_t>::min())
        return false;
    const int bc = h.biBitCount;
    if (bc != 1 && bc != 4 && bc != 8 && bc != 24 && bc != 32)
        return false;
    out.bits = static_cast<const uint8_t*>(bits);
    out.width = h.biWidth;
    out.topDown = h.biHeight < 0;
    out.height = out.topDown ? -h.biHeight : h.biHeight;
    out.bitCount = bc;
    out.stride = qsizetype(dibStride(uint64_t(out.width), uint32_t(bc)));
    const int64_t first = std::clamp<int64_t>(firstScan, 0, out.height);
    out.firstScan = int(first);
    out.scanCount = int(std::clamp<int64_t>(scanCount, 0, out.height - first));
    if (bc <= 8) {
        const uint32_t tableSize = 1u << bc;
        const uint32_t used = h.biClrUsed ? std::min(h.biClrUsed, tableSize) : tableSize;
        const auto* table = reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const uint8_t*>(info) + h.biSize);
        for (uint32_t i = 0; i < used; ++i)
            out.colours[i] = uint32_t(table[i].rgbBlue) | uint32_t(table[i].rgbGreen) << 8 |
                             uint32_t(table[i].rgbRed) << 16;
    }
    return true;
}

// A GdiBitmap's pixels seen as a top-down 24-bit DIB.
DibSource bitmapSource(const QImage& image)
{
    DibSource src;
    src.bits = image.constBits();
    src.width = image.width();
    src.height = image.height();
    src.topDown = true;
    src.bitCount = 24;
    src.stride = image.bytesPerLine();
    src.scanCount = image.height();
    return src;
}

// One byte of a ternary raster operation with the white default brush:
// bit P*4 + S*2 + D of the code's index byte is the result for those bits.
uint8_t applyRop(uint8_t code, uint8_t s, uint8_t d)
{
    constexpr uint8_t p = 0xFF;
    uint8_t r = 0;
    for (int idx = 0; idx < 8; ++idx) {
        if (code & (1u << idx)) {
            r |= uint8_t(((idx & 4) ? p : uint8_t(~p)) & ((idx & 2) ? s : uint8_t(~s)) &
                         ((idx & 1) ? d : uint8_t(~d)));
        }
    }
    return r;
}

constexpr uint8_t kCopyCode = uint8_t(SRCCOPY >> 16);

// Pixel rows to draw into: 3 bytes (B, G, R) or 4 bytes (premultiplied
// ARGB, drawn opaque) per pixel.
struct Target {
    uint8_t* bits = nullptr;
    qsizetype stride = 0;
    int width = 0;
    int height = 0;
    int bytesPerPixel = 3;
};

// Where a normalised source rectangle (srcX, srcTop counted from the top
// row, positive extents) lands: a normalised destination rectangle, mirrored
// as flipX / flipY say.
struct Placement {
    int64_t x = 0, y = 0, w = 0, h = 0;
    bool flipX = false, flipY = false;
    int64_t srcX = 0, srcTop = 0, srcW = 0, srcH = 0;
};

inline void storePixel(uint8_t* d, int bytesPerPixel, uint32_t v)
{
    if (bytesPerPixel == 3) {
        d[0] = uint8_t(v);
        d[1] = uint8_t(v >> 8);
        d[2] = uint8_t(v >> 16);
    } else {
        const uint32_t argb = 0xFF000000u | v;
        std::memcpy(d, &argb, 4);
    }
}

// Nearest-neighbour transfer of a source rectangle: destination column i
// takes source column srcX + i * srcW / w (counted from the mirrored side
// when flipped), rows alike. Pixels mapping outside the source, its rows
// present, or the target stay as they are. A destination row mapping to the
// same source row as the row drawn before it is a copy of that row.
void stretchInto(const Target& tg, const Placement& pl, const DibSource& src, uint32_t rop)
{
    if (pl.w <= 0 || pl.h <= 0 || pl.srcW <= 0 || pl.srcH <= 0)
        return;
    const int bpp = tg.bytesPerPixel;
    const uint8_t code = uint8_t(rop >> 16);
    const bool copy = code == kCopyCode || bpp == 4;

    const int64_t i0 = std::max<int64_t>(0, -pl.x);
    const int64_t i1 = std::min<int64_t>(pl.w, tg.width - pl.x);
    const int64_t j0 = std::max<int64_t>(0, -pl.y);
    const int64_t j1 = std::min<int64_t>(pl.h, tg.height - pl.y);
    if (i0 >= i1 || j0 >= j1)
        return;

    // Visible columns that map inside the source: [lo, hi).
    const bool identityX = !pl.flipX && pl.srcW == pl.w;
    std::vector<int32_t> columns;
    int64_t lo = i1, hi = i0;
    auto sourceColumn = [&](int64_t i) {
        const int64_t k = pl.flipX ? pl.w - 1 - i : i;
        return pl.srcX + k * pl.srcW / pl.w;
    };
    if (identityX) {
        lo = std::max(i0, -pl.srcX);
        hi = std::min(i1, int64_t(src.width) - pl.srcX);
    } else {
        columns.resize(size_t(i1 - i0));
        for (int64_t i = i0; i < i1; ++i) {
            const int64_t c = sourceColumn(i);
            const bool inside = c >= 0 && c < src.width;
            columns[size_t(i - i0)] = inside ? int32_t(c) : -1;
            if (inside) {
                lo = std::min(lo, i);
                hi = std::max(hi, i + 1);
            }
        }
    }
    if (lo >= hi)
        return;
    const size_t rowBytes = size_t(hi - lo) * size_t(bpp);

    int64_t previousTop = std::numeric_limits<int64_t>::min();
    const uint8_t* previousRow = nullptr;
    for (int64_t j = j0; j < j1; ++j) {
        const int64_t k = pl.flipY ? pl.h - 1 - j : j;
        const int64_t t = pl.srcTop + k * pl.srcH / pl.h;
        const uint8_t* srow = src.rowFromTop(t);
        if (!srow)
            continue;
        uint8_t* drow = tg.bits + qsizetype(pl.y + j) * tg.stride + qsizetype(pl.x + lo) * bpp;
        if (copy && t == previousTop && previousRow) {
            std::memcpy(drow, previousRow, rowBytes);
            previousRow = drow;
            continue;
        }
        if (copy && bpp == 3 && src.bitCount == 24) {
            if (identityX) {
                std::memcpy(drow, srow + 3 * (pl.srcX + lo), rowBytes);
            } else {
                const int32_t* col = columns.data() + (lo - i0);
                uint8_t* d = drow;
                for (int64_t n = hi - lo; n > 0; --n, d += 3) {
                    const uint8_t* s = srow + 3 * qsizetype(*col++);
                    d[0] = s[0];
                    d[1] = s[1];
                    d[2] = s[2];
                }
            }
        } else {
            uint8_t* d = drow;
            for (int64_t i = lo; i < hi; ++i, d += bpp) {
                const int64_t c = identityX ? pl.srcX + i : columns[size_t(i - i0)];
                const uint32_t v = src.pixel(srow, int(c));
                if (copy) {
                    storePixel(d, bpp, v);
                } else {
                    d[0] = applyRop(code, uint8_t(v), d[0]);
                    d[1] = applyRop(code, uint8_t(v >> 8), d[1]);
                    d[2] = applyRop(code, uint8_t(v >> 16), d[2]);
                }
            }
        }
        previousTop = t;
        previousRow = drow;
    }
}

// Windows' rectangle from a corner and a signed extent: a negative extent
// covers pos + extent .. pos - 1 and mirrors.
void normalise(int64_t& pos, int64_t& extent, bool& flip)
{
    if (extent < 0) {
        pos += extent;
        extent = -extent;
        flip = !flip;
    }
}

// The placement of a stretched DIB transfer; false when nothing is drawn.
bool placeStretch(int x, int y, int destWidth, int destHeight, int srcX, int srcY, int srcWidth,
                  int srcHeight, const DibSource& src, Placement& pl)
{
    pl.x = x;
    pl.y = y;
    pl.w = destWidth;
    pl.h = destHeight;
    pl.srcX = srcX;
    pl.srcW = srcWidth;
    pl.srcH = srcHeight;
    int64_t sy = srcY;
    bool flipSrcY = false;
    normalise(pl.x, pl.w, pl.flipX);
    normalise(pl.y, pl.h, pl.flipY);
    normalise(pl.srcX, pl.srcW, pl.flipX);
    normalise(sy, pl.srcH, flipSrcY);
    pl.flipY = pl.flipY != flipSrcY;
    // ySrc names the rectangle's bottom edge in a bottom-up DIB.
    pl.srcTop = src.topDown ? sy : src.height - sy - pl.srcH;
    return pl.w > 0 && pl.h > 0 && pl.srcW > 0 && pl.srcH > 0;
}

bool placeRows(int x, int y, int width, int height, int srcX, int srcY, const DibSource& src,
               Placement& pl)
{
    if (width <= 0 || height <= 0)
        return false;
    pl.x = x;
    pl.y = y;
    pl.w = pl.srcW = width;
    pl.h = pl.srcH = height;
    pl.srcX = srcX;
    pl.srcTop = src.topDown ? int64_t(srcY) : int64_t(src.height) - srcY - height;
    return true;
}

Target bitmapTarget(QImage& image)
{
    Target tg;
    tg.bits = image.bits();
    tg.stride = image.bytesPerLine();
    tg.width = image.width();
    tg.height = image.height();
    tg.bytesPerPixel = 3;
    return tg;
}

QPainter::CompositionMode compositionFor(uint32_t rop)
{
    switch (rop) {
    case SRCINVERT:
        return QPainter::RasterOp_SourceXorDestination;
    case SRCAND:
        return QPainter::RasterOp_SourceAndDestination;
    case SRCPAINT:
        return QPainter::RasterOp_SourceOrDestination;
    case NOTSRCCOPY:
        return QPainter::RasterOp_NotSource;
    default:
        return QPainter::CompositionMode_SourceOver;
    }
}

// Draws a source image into a destination rectangle on a painter, nearest
// neighbour, applying rop as far as painters can.
void paintImage(QPainter* painter, const QRectF& dest, const QImage& image, uint32_t rop)
{
    painter->save();
    painter->setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter->setRenderHint(QPainter::Antialiasing, false);
    if (rop == BLACKNESS || rop == WHITENESS) {
        painter->fillRect(dest, rop == BLACKNESS ? Qt::black : Qt::white);
    } else if (rop == DSTINVERT) {
        painter->setCompositionMode(QPainter::RasterOp_NotDestination);
        painter->fillRect(dest, Qt::black);
    } else {
        painter->setCompositionMode(compositionFor(rop));
        painter->drawImage(dest, image);
    }
    painter->restore();
}

// The part of a normalised source rectangle that lies in the DIB, as an
// image, and the part of the destination it covers.
bool clippedSourceImage(const Placement& pl, const DibSource& src, QImage& image, QRectF& dest)
{
    const int64_t cx0 = std::max<int64_t>(pl.srcX, 0);
    const int64_t cx1 = std::min<int64_t>(pl.srcX + pl.srcW, src.width);
    const int64_t ct0 = std::max<int64_t>(pl.srcTop, 0);
    const int64_t ct1 = std::min<int64_t>(pl.srcTop + pl.srcH, src.height);
    if (cx0 >= cx1 || ct0 >= ct1)
        return false;
    image = QImage(int(cx1 - cx0), int(ct1 - ct0), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return false;
    image.fill(Qt::transparent);
    Target tg;
    tg.bits = image.bits();
    tg.stride = image.bytesPerLine();
    tg.width = image.width();
    tg.height = image.height();
    tg.bytesPerPixel = 4;
    Placement copy;
    copy.w = copy.srcW = cx1 - cx0;
    copy.h = copy.srcH = ct1 - ct0;
    copy.srcX = cx0;
    copy.srcTop = ct0;
    stretchInto(tg, copy, src, SRCCOPY);
    if (pl.flipX || pl.flipY)
        image = image.mirrored(pl.flipX, pl.flipY);

    const double sx = double(pl.w) / double(pl.srcW);
    const double sy = double(pl.h) / double(pl.srcH);
    const int64_t left = pl.flipX ? pl.srcX + pl.srcW - cx1 : cx0 - pl.srcX;
    const int64_t top = pl.flipY ? pl.srcTop + pl.srcH - ct1 : ct0 - pl.srcTop;
    dest = QRectF(double(pl.x) + double(left) * sx, double(pl.y) + double(top) * sy,
                  double(cx1 - cx0) * sx, double(ct1 - ct0) * sy);
    return true;
}

int standardCaps(int index, int bitsPerPixel)
{
    switch (index) {
    case BITSPIXEL:
        return bitsPerPixel;
    case PLANES:
        return 1;
    case RASTERCAPS:
        return RC_BITBLT | RC_DIBTODEV | RC_STRETCHBLT | RC_STRETCHDIB |
               (bitsPerPixel <= 8 ? RC_PALETTE : 0);
    default:
        return 0;
    }
}

} // namespace

// --- GdiBitmap ---------------------------------------------------------

bool GdiBitmap::resize(int width, int height)
{
    if (width <= 0 || height <= 0) {
        m_image = QImage();
        return true;
    }
    if (m_image.width() == width && m_image.height() == height)
        return true;
    m_image = QImage(width, height, QImage::Format_BGR888);
    if (m_image.isNull())
        return false;
    fill(0);
    return true;
}

void GdiBitmap::fill(COLORREF colour)
{
    if (m_image.isNull())
        return;
    const int w = m_image.width();
    uint8_t* first = m_image.scanLine(0);
    const uint8_t b = GetBValue(colour), g = GetGValue(colour), r = GetRValue(colour);
    for (int x = 0; x < w; ++x) {
        first[3 * x] = b;
        first[3 * x + 1] = g;
        first[3 * x + 2] = r;
    }
    // Padding too, so that whole rows are defined bytes.
    std::memset(first + 3 * qsizetype(w), 0, size_t(m_image.bytesPerLine() - 3 * qsizetype(w)));
    for (int y = 1; y < m_image.height(); ++y)
        std::memcpy(m_image.scanLine(y), first, size_t(m_image.bytesPerLine()));
}

COLORREF GdiBitmap::pixel(int x, int y) const
{
    if (x < 0 || y < 0 || x >= width() || y >= height())
        return 0;
    const uint8_t* p = m_image.constScanLine(y) + 3 * qsizetype(x);
    return RGB(p[2], p[1], p[0]);
}

int GdiBitmap::readDibRows24(int firstScan, int lines, uint8_t* dibBits) const
{
    if (m_image.isNull() || !dibBits || firstScan < 0 || lines <= 0 || firstScan >= height())
        return 0;
    const int n = std::min(lines, height() - firstScan);
    const size_t pixelBytes = 3 * size_t(width());
    const size_t stride = size_t(dibStride(uint64_t(width()), 24));
    for (int i = 0; i < n; ++i) {
        uint8_t* d = dibBits + size_t(i) * stride;
        std::memcpy(d, m_image.constScanLine(height() - 1 - (firstScan + i)), pixelBytes);
        std::memset(d + pixelBytes, 0, stride - pixelBytes);
    }
    return n;
}

namespace {

// One row of blue, green, red bytes to 0xFFRRGGBB words.
void bgrRowToRgb32Plain(const uint8_t* in, uint32_t* out, int width)
{
    for (int x = 0; x < width; ++x, in += 3)
        out[x] = 0xFF000000u | uint32_t(in[2]) << 16 | uint32_t(in[1]) << 8 | in[0];
}

#if defined(__x86_64__) || defined(__i386__)
// The same, four pixels per shuffle.
__attribute__((target("ssse3"))) void bgrRowToRgb32Ssse3(const uint8_t* in, uint32_t* out, int width)
{
    const __m128i order = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i alpha = _mm_set1_epi32(int(0xFF000000u));
    int x = 0;
    // Each load reads 16 bytes for 4 pixels (12 bytes): stop while 16 remain.
    for (; 3 * (x + 4) + 4 <= 3 * width; x += 4) {
        const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 3 * x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_or_si128(_mm_shuffle_epi8(pixels, order), alpha));
    }
    bgrRowToRgb32Plain(in + 3 * x, out + x, width - x);
}
#endif

} // namespace

void GdiBitmap::toScreenImage(QImage& out) const
{
    if (m_image.isNull()) {
        out = QImage();
        return;
    }
    if (out.size() != m_image.size() || out.format() != QImage::Format_RGB32 || out.isDetached() == false)
        out = QImage(m_image.size(), QImage::Format_RGB32);
    if (out.isNull())
        return;
    auto convert = bgrRowToRgb32Plain;
#if defined(__x86_64__) || defined(__i386__)
    if (UseSsse3())
        convert = bgrRowToRgb32Ssse3;
#endif
    for (int y = 0; y < m_image.height(); ++y)
        convert(m_image.constScanLine(y), reinterpret_cast<uint32_t*>(out.scanLine(y)), m_image.width());
}

int GdiBitmap::writeDibRows(int firstScan, int lines, const void* bits, const BITMAPINFO* info)
{
    DibSource src;
    if (m_image.isNull() || !describeDib(info, bits, DIB_RGB_COLORS, firstScan, lines, src))
        return 0;
    if (src.width != width() || src.height != height() || src.scanCount == 0)
        return 0;
    Target tg = bitmapTarget(m_image);
    for (int scan = src.firstScan; scan < src.firstScan + src.scanCount; ++scan) {
        const int t = src.topDown ? scan : src.height - 1 - scan;
        const uint8_t* srow = src.rowFromTop(t);
        uint8_t* drow = tg.bits + qsizetype(t) * tg.stride;
        if (src.bitCount == 24) {
            std::memcpy(drow, srow, 3 * size_t(src.width));
        } else {
            for (int x = 0; x < src.width; ++x)
                storePixel(drow + 3 * qsizetype(x), 3, src.pixel(srow, x));
        }
    }
    return src.scanCount;
}

// --- DeviceContext -----------------------------------------------------

DeviceContext::~DeviceContext() = default;

HBITMAP DeviceContext::createCompatibleBitmap(int width, int height)
{
    if (width <= 0 || height <= 0)
        return nullptr;
    auto* bitmap = new (std::nothrow) GdiBitmap;
    if (!bitmap)
        return nullptr;
    if (!bitmap->resize(width, height)) {
        delete bitmap;
        return nullptr;
    }
    return bitmap;
}

HDC DeviceContext::createCompatibleDC()
{
    return new (std::nothrow) BitmapDC(nullptr);
}

int DeviceContext::setDIBits(HBITMAP bitmap, int startScan, int lines, const void* bits,
                             const BITMAPINFO* info, uint32_t usage)
{
    if (!bitmap || usage != DIB_RGB_COLORS)
        return 0;
    return bitmap->writeDibRows(startScan, lines, bits, info);
}

HBITMAP DeviceContext::selectBitmap(HBITMAP)
{
    return nullptr;
}

// --- BitmapDC ----------------------------------------------------------

int BitmapDC::deviceCaps(int index) const
{
    switch (index) {
    case TECHNOLOGY:
        return DT_RASDISPLAY;
    case HORZRES:
        return m_bitmap ? m_bitmap->width() : 0;
    case VERTRES:
        return m_bitmap ? m_bitmap->height() : 0;
    case LOGPIXELSX:
    case LOGPIXELSY:
        return 96;
    default:
        return standardCaps(index, 24);
    }
}

int BitmapDC::stretchDIBits(int x, int y, int destWidth, int destHeight, int srcX, int srcY,
                            int srcWidth, int srcHeight, const void* bits, const BITMAPINFO* info,
                            uint32_t usage, uint32_t rop)
{
    DibSource src;
    if (!m_bitmap || !describeDib(info, bits, usage, 0, INT32_MAX, src))
        return GDI_ERROR;
    Placement pl;
    if (placeStretch(x, y, destWidth, destHeight, srcX, srcY, srcWidth, srcHeight, src, pl))
        stretchInto(bitmapTarget(m_bitmap->image()), pl, src, rop);
    return int(pl.srcH);
}

int BitmapDC::setDIBitsToDevice(int x, int y, int width, int height, int srcX, int srcY,
                                int startScan, int lines, const void* bits, const BITMAPINFO* info,
                                uint32_t usage)
{
    DibSource src;
    if (!m_bitmap || !describeDib(info, bits, usage, startScan, lines, src))
        return 0;
    Placement pl;
    if (placeRows(x, y, width, height, srcX, srcY, src, pl))
        stretchInto(bitmapTarget(m_bitmap->image()), pl, src, SRCCOPY);
    return src.scanCount;
}

bool BitmapDC::stretchBlt(int x, int y, int destWidth, int destHeight, const GdiBitmap& source,
                          int srcX, int srcY, int srcWidth, int srcHeight, uint32_t rop)
{
    if (!m_bitmap || source.isEmpty())
        return false;
    // Holding the source's pixels lets a bitmap be copied onto itself: the
    // write below then detaches the destination.
    const QImage pixels = source.image();
    const DibSource src = bitmapSource(pixels);
    Placement pl;
    if (placeStretch(x, y, destWidth, destHeight, srcX, srcY, srcWidth, srcHeight, src, pl))
        stretchInto(bitmapTarget(m_bitmap->image()), pl, src, rop);
    return true;
}

void BitmapDC::invertPoints(std::span<const QPoint> points)
{
    if (!m_bitmap || m_bitmap->isEmpty())
        return;
    QImage& image = m_bitmap->image();
    for (const QPoint& p : points) {
        if (p.x() < 0 || p.y() < 0 || p.x() >= image.width() || p.y() >= image.height())
            continue;
        uint8_t* d = image.scanLine(p.y()) + 3 * qsizetype(p.x());
        d[0] = uint8_t(~d[0]);
        d[1] = uint8_t(~d[1]);
        d[2] = uint8_t(~d[2]);
    }
}

HBITMAP BitmapDC::selectBitmap(HBITMAP bitmap)
{
    HBITMAP previous = m_bitmap;
    m_bitmap = bitmap;
    return previous;
}

// --- PainterDC ---------------------------------------------------------

int PainterDC::paintDeviceCaps(int index) const
{
    const QPaintDevice* device = m_painter ? m_painter->device() : nullptr;
    if (!device)
        return 0;
    switch (index) {
    case HORZRES:
        return device->width();
    case VERTRES:
        return device->height();
    case LOGPIXELSX:
        return device->logicalDpiX();
    case LOGPIXELSY:
        return device->logicalDpiY();
    case PLANES:
        return 1;
    default:
        return 0;
    }
}

int PainterDC::stretchDIBits(int x, int y, int destWidth, int destHeight, int srcX, int srcY,
                             int srcWidth, int srcHeight, const void* bits, const BITMAPINFO* info,
                             uint32_t usage, uint32_t rop)
{
    DibSource src;
    if (!m_painter || !m_painter->isActive() || !describeDib(info, bits, usage, 0, INT32_MAX, src))
        return GDI_ERROR;
    Placement pl;
    if (!placeStretch(x, y, destWidth, destHeight, srcX, srcY, srcWidth, srcHeight, src, pl))
        return int(pl.srcH);
    QImage image;
    QRectF dest;
    if (clippedSourceImage(pl, src, image, dest))
        paintImage(m_painter, dest, image, rop);
    return int(pl.srcH);
}

int PainterDC::setDIBitsToDevice(int x, int y, int width, int height, int srcX, int srcY,
                                 int startScan, int lines, const void* bits, const BITMAPINFO* info,
                                 uint32_t usage)
{
    DibSource src;
    if (!m_painter || !m_painter->isActive() || !describeDib(info, bits, usage, startScan, lines, src))
        return 0;
    Placement pl;
    if (!placeRows(x, y, width, height, srcX, srcY, src, pl))
        return src.scanCount;
    QImage image;
    QRectF dest;
    if (clippedSourceImage(pl, src, image, dest))
        paintImage(m_painter, dest, image, SRCCOPY);
    return src.scanCount;
}

bool PainterDC::stretchBlt(int x, int y, int destWidth, int destHeight, const GdiBitmap& source,
                           int srcX, int srcY, int srcWidth, int srcHeight, uint32_t rop)
{
    if (!m_painter || !m_painter->isActive() || source.isEmpty())
        return false;
    const DibSource src = bitmapSource(source.image());
    Placement pl;
    if (!placeStretch(x, y, destWidth, destHeight, srcX, srcY, srcWidth, srcHeight, src, pl))
        return true;
    QImage image;
    QRectF dest;
    if (clippedSourceImage(pl, src, image, dest))
        paintImage(m_painter, dest, image, rop);
    return true;
}

void PainterDC::invertPoints(std::span<const QPoint> points)
{
    if (!m_painter || !m_painter->isActive() || points.empty())
        return;
    m_painter->save();
    m_painter->setRenderHint(QPainter::Antialiasing, false);
    m_painter->setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    m_painter->setPen(QPen(Qt::white, 0));
    m_painter->drawPoints(points.data(), int(points.size()));
    m_painter->restore();
}

WindowDC::WindowDC(QPainter* painter, int bitsPerPixel) : PainterDC(painter), m_bitsPerPixel(bitsPerPixel)
{
    if (m_bitsPerPixel <= 0) {
        const QScreen* screen = QGuiApplication::primaryScreen();
        m_bitsPerPixel = screen ? screen->depth() : 24;
    }
}

int WindowDC::deviceCaps(int index) const
{
    if (index == TECHNOLOGY)
        return DT_RASDISPLAY;
    if (index == BITSPIXEL || index == RASTERCAPS)
        return standardCaps(index, m_bitsPerPixel);
    return paintDeviceCaps(index);
}

int PrinterDC::deviceCaps(int index) const
{
    if (index == TECHNOLOGY)
        return DT_RASPRINTER;
    if (index == BITSPIXEL || index == RASTERCAPS)
        return standardCaps(index, 24);
    return paintDeviceCaps(index);
}

// --- The drawing calls -------------------------------------------------

int GetDeviceCaps(HDC dc, int index)
{
    return dc ? dc->deviceCaps(index) : 0;
}

int SetStretchBltMode(HDC dc, int mode)
{
    if (!dc || mode < BLACKONWHITE || mode > HALFTONE)
        return 0;
    const int previous = dc->stretchMode();
    dc->setStretchMode(mode);
    return previous;
}

HPALETTE SelectPalette(HDC dc, HPALETTE palette, bool forceBackground)
{
    if (!dc)
        return nullptr;
    HPALETTE previous = dc->palette();
    dc->setPalette(palette, forceBackground);
    return previous;
}

int RealizePalette(HDC dc)
{
    if (!dc)
        return GDI_ERROR;
    return dc->palette() ? dc->palette()->entryCount : 0;
}

int StretchDIBits(HDC dc, int x, int y, int destWidth, int destHeight, int srcX, int srcY,
                  int srcWidth, int srcHeight, const void* bits, const BITMAPINFO* info,
                  uint32_t usage, uint32_t rop)
{
    if (!dc)
        return GDI_ERROR;
    return dc->stretchDIBits(x, y, destWidth, destHeight, srcX, srcY, srcWidth, srcHeight, bits, info,
                             usage, rop);
}

int SetDIBitsToDevice(HDC dc, int x, int y, uint32_t width, uint32_t height, int srcX, int srcY,
                      uint32_t startScan, uint32_t lines, const void* bits, const BITMAPINFO* info,
                      uint32_t usage)
{
    if (!dc || width > uint32_t(INT32_MAX) || height > uint32_t(INT32_MAX) ||
        startScan > uint32_t(INT32_MAX) || lines > uint32_t(INT32_MAX))
        return 0;
    return dc->setDIBitsToDevice(x, y, int(width), int(height), srcX, srcY, int(startScan), int(lines),
                                 bits, info, usage);
}

HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height)
{
    HBITMAP bitmap = dc ? dc->createCompatibleBitmap(width, height) : nullptr;
    if (bitmap)
        ++g_liveGdiObjects;
    return bitmap;
}

HDC CreateCompatibleDC(HDC dc)
{
    HDC memory = dc ? dc->createCompatibleDC() : new (std::nothrow) BitmapDC(nullptr);
    if (memory)
        ++g_liveGdiObjects;
    return memory;
}

int SetDIBits(HDC dc, HBITMAP bitmap, uint32_t startScan, uint32_t lines, const void* bits,
              const BITMAPINFO* info, uint32_t usage)
{
    if (startScan > uint32_t(INT32_MAX) || lines > uint32_t(INT32_MAX))
        return 0;
    if (dc)
        return dc->setDIBits(bitmap, int(startScan), int(lines), bits, info, usage);
    if (!bitmap || usage != DIB_RGB_COLORS)
        return 0;
    return bitmap->writeDibRows(int(startScan), int(lines), bits, info);
}

int GetDIBits(HDC, HBITMAP bitmap, uint32_t startScan, uint32_t lines, void* bits,
              const BITMAPINFO* info, uint32_t usage)
{
    if (!bitmap || !info || !bits || usage != DIB_RGB_COLORS || startScan > uint32_t(INT32_MAX))
        return 0;
    const BITMAPINFOHEADER& h = info->bmiHeader;
    if (h.biBitCount != 24 || h.biCompression != BI_RGB || h.biWidth != bitmap->width() ||
        h.biHeight != bitmap->height())
        return 0;
    return bitmap->readDibRows24(int(startScan), int(std::min<uint32_t>(lines, INT32_MAX)),
                                 static_cast<uint8_t*>(bits));
}

HBITMAP SelectObject(HDC dc, HBITMAP bitmap)
{
    return dc ? dc->selectBitmap(bitmap) : nullptr;
}

bool StretchBlt(HDC dest, int x, int y, int destWidth, int destHeight, HDC source, int srcX,
                int srcY, int srcWidth, int srcHeight, uint32_t rop)
{
    if (!dest || !source || !source->selectedBitmap())
        return false;
    return dest->stretchBlt(x, y, destWidth, destHeight, *source->selectedBitmap(), srcX, srcY,
                            srcWidth, srcHeight, rop);
}

bool DeleteDC(HDC dc)
{
    if (!dc)
        return false;
    delete dc;
    --g_liveGdiObjects;
    return true;
}

bool DeleteObject(HBITMAP bitmap)
{
    if (!bitmap)
        return false;
    delete bitmap;
    --g_liveGdiObjects;
    return true;
}

int liveGdiObjectCount()
{
    return g_liveGdiObjects.load();
}

} // namespace platform
