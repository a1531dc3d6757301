#pragma once
// The image record every picture of both programs is held in: a descriptor
// of a device-independent bitmap whose header, colour table and pixel rows
// the raster library allocates.
//
// Invariants kept by everything that touches a record:
// - Bit counts are 1, 4, 8 or 24; pictures of 8 bits or fewer carry a
//   colour table, 24-bit pictures do not.
// - BytesPerRow = ((width * bitcount + 31) / 32) * 4 and
//   biSizeImage = BytesPerRow * height.
// - Rows are stored bottom-up: the row t-th from the top starts at
//   Bits + (height - 1 - t) * BytesPerRow. 24-bit pixels are blue, green,
//   red; a 4-bit row keeps the even column in the high nibble, a 1-bit row
//   the leftmost column in the most significant bit.
// - A palette picture's colours agree in three places: the colour table
//   behind Info, LogPal and the Palette handle.
// - Copying a record copies the descriptor only; the copies share the
//   storage, and exactly one of them is handed to deldib once.
// - A record holds an image exactly when Bits is not null.

#include "platform/wintypes.h"

#include <QString>

#include <cstddef>
#include <cstdint>

namespace raster {

using platform::BITMAPINFO;
using platform::BITMAPINFOHEADER;
using platform::HPALETTE;
using platform::LOGPALETTE256;
using platform::RGBQUAD;

struct TDibRecord {
    BITMAPINFO* Info = nullptr;     // header and colour table
    uintptr_t LibReserved1 = 0;     // the library's own
    uintptr_t LibReserved2 = 0;     // the library's own
    uint8_t* Bits = nullptr;        // first byte of the pixel block; null: no image
    int32_t BytesPerRow = 0;        // row stride in bytes
    uint8_t HasPalette = 0;         // 1: select Palette into a device before drawing
    uint8_t Reserved = 0;
    LOGPALETTE256 LogPal{};         // after a failed OpenDib: error text in the entries
    HPALETTE Palette = nullptr;     // realised from LogPal; null when none
    uint8_t LibReserved3[28]{};     // the library's own
};

static_assert(offsetof(TDibRecord, Info) == 0);
static_assert(offsetof(TDibRecord, Bits) < offsetof(TDibRecord, BytesPerRow));
static_assert(offsetof(TDibRecord, LogPal) == offsetof(TDibRecord, HasPalette) + 2);
static_assert(sizeof(LOGPALETTE256) == 1028);

int32_t DibWidth(const TDibRecord& dib);
int32_t DibHeight(const TDibRecord& dib);
int32_t DibBitCount(const TDibRecord& dib);
int32_t DibBytesPerRow(const TDibRecord& dib);
// Byte size of the whole pixel block (biSizeImage).
uint32_t DibSizeImage(const TDibRecord& dib);

// 2^n as a 32-bit integer; 1 for n <= 0.
int32_t PowerOfTwo(int32_t n);
// 2^bitcount: 2, 16, 256, or 16777216 for 24-bit pictures (no colour table).
int32_t DibColorCount(const TDibRecord& dib);
// Bits per pixel of the primary screen, asked afresh on every call.
int32_t ScreenBitDepth();

// Colour-table entry i of a palette picture.
RGBQUAD* DibColors(const TDibRecord& dib);
// First byte of the row that is t-th from the top.
uint8_t* DibRow(const TDibRecord& dib, int32_t t);

// Sets colour-table entry i and its LogPal entry of a palette picture; call
// refreshPalette once after the last change.
void setPaletteEntry(TDibRecord& dib, int index, uint8_t red, uint8_t green, uint8_t blue);
// Deletes the Palette handle and stores a new one made from LogPal.
void refreshPalette(TDibRecord& dib);

// The error text a failed OpenDib left in the record (empty when none).
QString DibErrorText(const TDibRecord& dib);
// Stores text as the record's error text, zero-terminated.
void SetDibErrorText(TDibRecord& dib, const QString& text);

// A deep copy of an image, owned by the caller. When the library cannot
// make it the result has no image, and the caller tells the user (the
// common memory message, "Fehler: nicht genug Speicher für diese
// Operation!").
TDibRecord MakeDIBCopy(const TDibRecord& source);

} // namespace raster
