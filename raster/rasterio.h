#pragma once
// The raster library's call set: image creation and release, reading and
// writing image files, pixel access and drawing primitives.
//
// Coordinates run from (0, 0) at the top-left pixel, y growing downwards.
// A pixel value is the palette index in pictures of 8 bits or fewer, and
// red + 256 * green + 65536 * blue in 24-bit pictures.
//
// The drawing primitives take a box from (x1, y1) to (x2, y2) and include
// both corners: recht_filled(dib, 10, 10, 19, 19, v) fills 10 x 10 pixels,
// line draws both end points, and an ellipse touches all four sides of its
// box. The corners may come in either order; parts outside the picture are
// clipped.

#include "raster/dibrecord.h"

#include <QString>

#include <cstdint>
#include <vector>

class QObject;

namespace raster {

// Format numbers of the image files.
enum ImageFormat : int {
    FormatAuto = 0, // from the file's content
    FormatBMP = 3,
    FormatDIB = 4,
    FormatGIF = 5,
    FormatIFF = 6,
    FormatJIF = 7,
    FormatJPG = 8,
    FormatLBM = 9,
    FormatPCX = 10,
    FormatRLE = 11,
    FormatTGA = 12,
    FormatTIF = 13,
    FormatPNG = 14,
};

// A new image with zeroed pixels. Palette pictures take their colours from
// the first entryCount entries of colours (the rest black); without a source
// they get a grey ramp. On failure (bad size, out of memory) Bits is null.
void newdib(TDibRecord* out, int32_t width, int32_t height, int32_t bitCount,
            const BITMAPINFO* colours, int32_t entryCount);
// Releases header, pixels and palette handle and clears the record; a record
// without image is accepted.
void deldib(TDibRecord& dib);

// Reads an image file. On failure Bits is null and DibErrorText tells why.
// progressWindow (may be null) receives WM_USER events with 0..100.
void OpenDib(TDibRecord* out, const QString& fileName, int format, QObject* progressWindow);

// What OpenDib found out about a file it read, for a caller that keeps a
// JPEG's or GIF's own bytes with the picture instead of encoding it again.
struct OpenedFile {
    // The format that read the file, by its lowest number (7 for a JPEG,
    // 5 for a GIF, 3 for BMP, DIB and RLE), whatever the file is called;
    // 0 when the file could not be read.
    int Format = 0;
    // Only for a JPEG or a GIF read with success: the file's bytes (empty
    // when there was no memory left for them).
    std::vector<uint8_t> Bytes;
};
// OpenDib, filling opened as well (it is cleared first). The file is read
// once; its bytes are copied from that reading.
void OpenDib(TDibRecord* out, const QString& fileName, int format, QObject* progressWindow, OpenedFile& opened);

// Writes an image file; returns 1 on success, 0 otherwise. The previous file
// of that name is replaced only when the new one is complete.
int SaveDib(const TDibRecord& dib, const QString& fileName, int format, QObject* progressWindow);
// Quality 1..99 of the next JPEG saves (75 until set).
void SetJPEGQual(int quality);
int JPEGQual();

// File dialog filters ("Text (*.ext);;..."). The save filter lists the
// eleven writable formats: entry k is format k + 2.
QString GetDIBOpenFilter();
QString GetDIBSaveFilter();
// The format a file name's extension stands for (0 when unknown).
int FormatFromExtension(const QString& fileName);

// The pixel at (x, y); 0 outside the picture.
uint32_t getpixel(const TDibRecord& dib, int32_t x, int32_t y);
// Writes one pixel; points outside the picture are ignored.
void setpixel(const TDibRecord& dib, int32_t x, int32_t y, uint32_t value);

void line(const TDibRecord& dib, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t value);
void rechteck(const TDibRecord& dib, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t value);
void recht_filled(const TDibRecord& dib, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t value);
void ellipse(const TDibRecord& dib, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t value);
void FilledEllipse(const TDibRecord& dib, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t value);

// base raised to exponent.
double power(double base, double exponent);

// Images created and not yet released.
int liveImageCount();

} // namespace raster
