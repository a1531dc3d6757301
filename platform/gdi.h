#pragma once
// Device contexts: the surfaces pictures are drawn on (a window, an
// off-screen 24-bit bitmap, a printer page) behind the small set of Windows
// drawing calls the programs use, with the Windows names, arguments and
// results. The calls take raw pixel rows plus a BITMAPINFO, exactly like the
// Windows calls, so this layer knows nothing of the image record.
//
// Conventions shared by every device:
// - Device coordinates run from (0, 0) at the top-left, y growing downwards.
// - Stretched transfers are nearest neighbour and never smoothed, whatever
//   the stretch mode: destination column i of an n-wide destination takes
//   source column srcX + i * srcWidth / n (integer division), rows alike.
// - A negative destination (or source) width or height mirrors the picture
//   along that axis; the rectangle then covers x + width .. x - 1 (Windows'
//   rule for rectangles given by a corner and a signed extent).
// - Source rectangles of DIB transfers count ySrc from the DIB's bottom row
//   (bottom-up DIBs, positive biHeight) or from its top row (top-down DIBs,
//   negative biHeight). Parts of a source rectangle outside the DIB leave
//   the destination unchanged.
// - DIBs of 1, 4, 8, 24 and 32 bits, BI_RGB, DIB_RGB_COLORS are taken; any
//   other kind makes the transfer fail.
// - Raster operations are the ternary codes of Windows (SRCCOPY, SRCINVERT,
//   ...); the pattern is the white default brush. Bitmaps apply every code;
//   painter devices apply SRCCOPY, SRCINVERT, SRCAND, SRCPAINT, NOTSRCCOPY,
//   DSTINVERT, BLACKNESS and WHITENESS and draw every other code as SRCCOPY.

#include "platform/wintypes.h"

#include <QImage>
#include <QPoint>

#include <cstdint>
#include <span>
#include <vector>

class QPainter;

namespace platform {

class DeviceContext;
class GdiBitmap;

using HDC = DeviceContext*;
using HBITMAP = GdiBitmap*;

// GetDeviceCaps indices and answers.
constexpr int HORZRES = 8;
constexpr int VERTRES = 10;
constexpr int TECHNOLOGY = 2;
constexpr int BITSPIXEL = 12;
constexpr int PLANES = 14;
constexpr int RASTERCAPS = 38;
constexpr int LOGPIXELSX = 88;
constexpr int LOGPIXELSY = 90;

constexpr int DT_RASDISPLAY = 1;
constexpr int DT_RASPRINTER = 2;

constexpr int RC_BITBLT = 0x0001;
constexpr int RC_PALETTE = 0x0100;
constexpr int RC_DIBTODEV = 0x0200;
constexpr int RC_STRETCHBLT = 0x0800;
constexpr int RC_STRETCHDIB = 0x2000;

// Stretch modes; every mode draws nearest neighbour here.
constexpr int BLACKONWHITE = 1;
constexpr int WHITEONBLACK = 2;
constexpr int COLORONCOLOR = 3;
constexpr int HALFTONE = 4;

constexpr int GDI_ERROR = -1;
constexpr uint32_t DIB_RGB_COLORS = 0;
constexpr uint32_t DIB_PAL_COLORS = 1;

// Raster operations.
constexpr uint32_t SRCCOPY = 0x00CC0020;
constexpr uint32_t SRCPAINT = 0x00EE0086;
constexpr uint32_t SRCAND = 0x008800C6;
constexpr uint32_t SRCINVERT = 0x00660046;
constexpr uint32_t NOTSRCCOPY = 0x00330008;
constexpr uint32_t DSTINVERT = 0x00550009;
constexpr uint32_t BLACKNESS = 0x00000042;
constexpr uint32_t WHITENESS = 0x00FF0062;

// An off-screen 24-bit bitmap (the show window's work surfaces). Pixels are
// a QImage of Format_BGR888: its rows have the byte layout of 24-bit DIB
// rows (blue, green, red; stride rounded to 4 bytes), so copies to and from
// DIBs are one memcpy per row. Draw text or shapes on image() with QPainter.
// Copies share pixels until one of them is written (QImage's sharing).
class GdiBitmap {
public:
    GdiBitmap() = default;
    GdiBitmap(int width, int height) { resize(width, height); }

    // Makes the bitmap width x height. The same size keeps the pixels; a new
    // size starts black. A size of 0 (or less) in either direction, or a
    // failed allocation, leaves an empty bitmap; the result says whether the
    // bitmap now has the size asked for.
    bool resize(int width, int height);
    int width() const { return m_image.width(); }
    int height() const { return m_image.height(); }
    bool isEmpty() const { return m_image.isNull(); }

    // Every pixel set to colour (0x00BBGGRR).
    void fill(COLORREF colour);
    // The pixel at (x, y) as 0x00BBGGRR; 0 outside.
    COLORREF pixel(int x, int y) const;

    QImage& image() { return m_image; }
    const QImage& image() const { return m_image; }

    // Copies lines rows, starting at bottom-up scan line firstScan (0 = the
    // bottom row), into a 24-bit bottom-up DIB buffer of this width (rows of
    // dibStride(width, 24) bytes). Returns the rows copied.
    int readDibRows24(int firstScan, int lines, uint8_t* dibBits) const;
    // Copies rows of a DIB of this bitmap's size into the bitmap: lines rows
    // starting at scan line firstScan, converting 1, 4, 8 and 32 bits to 24.
    // Returns the rows copied, 0 when the DIB cannot be taken.
    int writeDibRows(int firstScan, int lines, const void* bits, const BITMAPINFO* info);

    // The pixels in the screen's own format (Format_RGB32) in out, whose
    // pixels are reused when its size already fits. Windows draw that format
    // with a plain copy, where a 24-bit image would be converted on every
    // paint.
    void toScreenImage(QImage& out) const;

private:
    QImage m_image;
};

// What a device does; the drawing calls below dispatch to it. Concrete
// devices override the queries and the transfers; a transfer that a device
// cannot make reports failure as the Windows call would.
class DeviceContext {
public:
    DeviceContext() = default;
    DeviceContext(const DeviceContext&) = delete;
    DeviceContext& operator=(const DeviceContext&) = delete;
    virtual ~DeviceContext();

    virtual int deviceCaps(int index) const = 0;

    // StretchDIBits: lines drawn (the source height), GDI_ERROR on failure.
    virtual int stretchDIBits(int x, int y, int destWidth, int destHeight, int srcX, int srcY,
                              int srcWidth, int srcHeight, const void* bits, const BITMAPINFO* info,
                              uint32_t usage, uint32_t rop) = 0;
    // SetDIBitsToDevice: lines set, 0 on failure.
    virtual int setDIBitsToDevice(int x, int y, int width, int height, int srcX, int srcY,
                                  int startScan, int lines, const void* bits, const BITMAPINFO* info,
                                  uint32_t usage) = 0;
    // StretchBlt from a bitmap; srcY counts from the bitmap's top row.
    virtual bool stretchBlt(int x, int y, int destWidth, int destHeight, const GdiBitmap& source,
                            int srcX, int srcY, int srcWidth, int srcHeight, uint32_t rop) = 0;
    // Inverts each listed pixel once (XOR with white); used for rubber bands.
    virtual void invertPoints(std::span<const QPoint> points) = 0;

    // A 24-bit bitmap compatible with this device; nullptr when refused.
    virtual HBITMAP createCompatibleBitmap(int width, int height);
    // A memory device context for bitmaps; nullptr when refused.
    virtual HDC createCompatibleDC();
    // SetDIBits into a bitmap: rows copied, 0 on failure.
    virtual int setDIBits(HBITMAP bitmap, int startScan, int lines, const void* bits,
                          const BITMAPINFO* info, uint32_t usage);
    // The bitmap a memory device context draws on (nullptr for others).
    virtual HBITMAP selectedBitmap() const { return nullptr; }
    // Selects a bitmap into a memory device context; the previous one, or
    // nullptr when this device takes no bitmaps.
    virtual HBITMAP selectBitmap(HBITMAP bitmap);

    int stretchMode() const { return m_stretchMode; }
    void setStretchMode(int mode) { m_stretchMode = mode; }
    // The selected palette; nullptr stands for the default palette.
    HPALETTE palette() const { return m_palette; }
    bool paletteInBackground() const { return m_paletteBackground; }
    void setPalette(HPALETTE palette, bool background)
    {
        m_palette = palette;
        m_paletteBackground = background;
    }

private:
    int m_stretchMode = BLACKONWHITE;
    HPALETTE m_palette = nullptr;
    bool m_paletteBackground = false;
};

// A device over a GdiBitmap (the memory device context of a bitmap):
// raster display, 24 bits, takes DIBs. Transfers write the bitmap's rows
// directly. Without a bitmap selected every transfer fails.
class BitmapDC : public DeviceContext {
public:
    explicit BitmapDC(GdiBitmap* bitmap = nullptr) : m_bitmap(bitmap) {}

    int deviceCaps(int index) const override;
    int stretchDIBits(int x, int y, int destWidth, int destHeight, int srcX, int srcY, int srcWidth,
                      int srcHeight, const void* bits, const BITMAPINFO* info, uint32_t usage,
                      uint32_t rop) override;
    int setDIBitsToDevice(int x, int y, int width, int height, int srcX, int srcY, int startScan,
                          int lines, const void* bits, const BITMAPINFO* info, uint32_t usage) override;
    bool stretchBlt(int x, int y, int destWidth, int destHeight, const GdiBitmap& source, int srcX,
                    int srcY, int srcWidth, int srcHeight, uint32_t rop) override;
    void invertPoints(std::span<const QPoint> points) override;
    HBITMAP selectedBitmap() const override { return m_bitmap; }
    HBITMAP selectBitmap(HBITMAP bitmap) override;

private:
    GdiBitmap* m_bitmap;
};

// The common part of devices that draw through a QPainter.
class PainterDC : public DeviceContext {
public:
    explicit PainterDC(QPainter* painter) : m_painter(painter) {}

    int stretchDIBits(int x, int y, int destWidth, int destHeight, int srcX, int srcY, int srcWidth,
                      int srcHeight, const void* bits, const BITMAPINFO* info, uint32_t usage,
                      uint32_t rop) override;
    int setDIBitsToDevice(int x, int y, int width, int height, int srcX, int srcY, int startScan,
                          int lines, const void* bits, const BITMAPINFO* info, uint32_t usage) override;
    bool stretchBlt(int x, int y, int destWidth, int destHeight, const GdiBitmap& source, int srcX,
                    int srcY, int srcWidth, int srcHeight, uint32_t rop) override;
    void invertPoints(std::span<const QPoint> points) override;

    QPainter* painter() const { return m_painter; }

protected:
    // HORZRES, VERTRES, LOGPIXELSX/Y and PLANES of the painter's device.
    int paintDeviceCaps(int index) const;

private:
    QPainter* m_painter;
};

// A window: a QPainter on a widget, used inside paintEvent. Raster display,
// the screen's depth (or the depth given), takes DIBs.
class WindowDC : public PainterDC {
public:
    // bitsPerPixel 0: the primary screen's depth.
    explicit WindowDC(QPainter* painter, int bitsPerPixel = 0);
    int deviceCaps(int index) const override;

private:
    int m_bitsPerPixel;
};

// A printer page: a QPainter on a QPrinter. Raster printer, 24 bits, takes
// DIBs. Stretched transfers hand the source pixels to the printer at their
// own resolution, marked not to be smoothed.
class PrinterDC : public PainterDC {
public:
    explicit PrinterDC(QPainter* painter) : PainterDC(painter) {}
    int deviceCaps(int index) const override;
};

// The drawing calls, with Windows' names and results. A null device fails.
int GetDeviceCaps(HDC dc, int index);
// Returns the previous mode, 0 for a null device.
int SetStretchBltMode(HDC dc, int mode);
// Selects a palette; returns the previous one.
HPALETTE SelectPalette(HDC dc, HPALETTE palette, bool forceBackground);
// Entries of the selected palette mapped; GDI_ERROR for a null device.
int RealizePalette(HDC dc);
int StretchDIBits(HDC dc, int x, int y, int destWidth, int destHeight, int srcX, int srcY,
                  int srcWidth, int srcHeight, const void* bits, const BITMAPINFO* info,
                  uint32_t usage, uint32_t rop);
int SetDIBitsToDevice(HDC dc, int x, int y, uint32_t width, uint32_t height, int srcX, int srcY,
                      uint32_t startScan, uint32_t lines, const void* bits, const BITMAPINFO* info,
                      uint32_t usage);
HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height);
HDC CreateCompatibleDC(HDC dc);
// Rows of a DIB into a bitmap; dc may be null.
int SetDIBits(HDC dc, HBITMAP bitmap, uint32_t startScan, uint32_t lines, const void* bits,
              const BITMAPINFO* info, uint32_t usage);
// Rows of a bitmap into a 24-bit DIB buffer whose header info describes
// (biWidth = the bitmap's width, biBitCount 24); dc may be null. Rows
// copied, 0 when the header asks for anything else.
int GetDIBits(HDC dc, HBITMAP bitmap, uint32_t startScan, uint32_t lines, void* bits,
              const BITMAPINFO* info, uint32_t usage);
// Selects a bitmap into a memory device context; returns the previous one.
HBITMAP SelectObject(HDC dc, HBITMAP bitmap);
// StretchBlt from the bitmap selected into source (a memory device context).
bool StretchBlt(HDC dest, int x, int y, int destWidth, int destHeight, HDC source, int srcX,
                int srcY, int srcWidth, int srcHeight, uint32_t rop);
// Releases a device context made by CreateCompatibleDC.
bool DeleteDC(HDC dc);
// Releases a bitmap made by CreateCompatibleBitmap.
bool DeleteObject(HBITMAP bitmap);
// Device contexts and bitmaps made by the Create calls and not yet deleted.
int liveGdiObjectCount();

} // namespace platform
