#pragma once
// Putting pictures on devices: DrawDib draws a rectangle of an image onto a
// window, an off-screen bitmap or a printer page, stretched to a destination
// rectangle, choosing by the image's depth and the device:
// - 24-bit pictures on devices of 8 bits or fewer, with halftone allowed:
//   a halftoned 8-bit copy (scaled down first when the destination is
//   smaller) drawn with StretchDIBits;
// - 24-bit and 8-bit pictures on screens and bitmaps: built row by row
//   (DrawRows24, DrawRows8) and sent with SetDIBitsToDevice, never through
//   the stretched transfer;
// - everything else (1- and 4-bit pictures, every picture on a printer):
//   StretchDIBits with rop, falling back for devices that refuse it to a
//   copy at destination size sent with SetDIBitsToDevice, then to a
//   compatible bitmap copied with StretchBlt.
//
// The depth tested for halftoning is the device's BITSPIXEL (for a window
// that is the screen's depth, ScreenBitDepth); on a printer it is
// ScreenBitDepth itself.
//
// Choices where the drawing rules leave room:
// - Nothing is drawn for an image without pixels, or when a destination or
//   source extent is 0 or less after clipping.
// - A 24-bit picture carries no display palette; on the halftone path with
//   useOwnPalette the halftoned copy's palette is selected in its place.
// - When the halftoned copy or the one-row image cannot be made, nothing is
//   drawn (the device's palette is still restored).
// - The fallback's copy maps destination column i to source column
//   srcX + (srcWidth - 1) * i / (destWidth - 1); a destination one pixel
//   wide takes column srcX, one row high row srcY (the source rectangle's
//   first column and bottom row). When that copy cannot be made the bitmap
//   route is tried.
// - The bitmap route's StretchBlt takes the same picture rectangle, its top
//   edge counted from the bitmap's top row.

#include "platform/gdi.h"
#include "raster/dibrecord.h"

#include <cstdint>

namespace raster {

// Draws the source rectangle (srcX from the left, srcY the bottom edge
// counted from the image's bottom row) of image onto dc at (x, y) in
// destWidth x destHeight. The device is left with the palette it had.
void DrawDib(platform::HDC dc, int32_t x, int32_t y, int32_t destWidth, int32_t destHeight,
             const TDibRecord& image, int32_t srcX, int32_t srcY, int32_t srcWidth, int32_t srcHeight,
             bool halftone, uint32_t rop, bool useOwnPalette, platform::HPALETTE palette);

// Nearest-neighbour row drawers for 24-bit and 8-bit pictures; srcTop is
// the source rectangle's top edge counted from the image's top row. Each
// destination row is sent with SetDIBitsToDevice; a row that maps to the
// same source row as the one before is sent again without being rebuilt.
// Columns and rows that map outside the picture are black (colour 0). A
// picture of another depth draws nothing.
void DrawRows24(platform::HDC dc, int32_t x, int32_t y, int32_t destWidth, int32_t destHeight,
                const TDibRecord& image, int32_t srcX, int32_t srcTop, int32_t srcWidth,
                int32_t srcHeight);
void DrawRows8(platform::HDC dc, int32_t x, int32_t y, int32_t destWidth, int32_t destHeight,
               const TDibRecord& image, int32_t srcX, int32_t srcTop, int32_t srcWidth,
               int32_t srcHeight);

// An ellipse outline touching all four sides of the box (x1, y1)-(x2, y2)
// (both corners included, as the library's ellipse), drawn by inverting the
// device's pixels, so drawing it a second time erases it.
void ScreenEllipse(platform::HDC dc, int32_t x1, int32_t y1, int32_t x2, int32_t y2);

} // namespace raster
