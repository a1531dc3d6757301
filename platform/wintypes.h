#pragma once
// The binary structures that pictures, palettes and files share with the
// Windows world: laid out byte for byte as Windows defines them, so that
// headers can be copied into and out of files unchanged.

#include <cstdint>

namespace platform {

#pragma pack(push, 1)

struct BITMAPFILEHEADER {
    uint16_t bfType;
    uint32_t bfSize;
    uint16_t bfReserved1;
    uint16_t bfReserved2;
    uint32_t bfOffBits;
};
static_assert(sizeof(BITMAPFILEHEADER) == 14);

struct BITMAPINFOHEADER {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

struct RGBQUAD {
    uint8_t rgbBlue;
    uint8_t rgbGreen;
    uint8_t rgbRed;
    uint8_t rgbReserved;
};
static_assert(sizeof(RGBQUAD) == 4);

// A header followed by its colour table; the table is as long as the
// allocation behind it, not one entry.
struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
};

struct PALETTEENTRY {
    uint8_t peRed;
    uint8_t peGreen;
    uint8_t peBlue;
    uint8_t peFlags;
};
static_assert(sizeof(PALETTEENTRY) == 4);

// A logical palette with room for 256 entries (1028 bytes).
struct LOGPALETTE256 {
    uint16_t palVersion;
    uint16_t palNumEntries;
    PALETTEENTRY palPalEntry[256];
};
static_assert(sizeof(LOGPALETTE256) == 1028);

#pragma pack(pop)

constexpr uint32_t BI_RGB = 0;
constexpr uint32_t BI_RLE8 = 1;
constexpr uint32_t BI_RLE4 = 2;
constexpr uint32_t BI_BITFIELDS = 3;

// A colour reference: red + 256 * green + 65536 * blue.
using COLORREF = uint32_t;

constexpr COLORREF RGB(uint8_t r, uint8_t g, uint8_t b)
{
    return COLORREF(r) | (COLORREF(g) << 8) | (COLORREF(b) << 16);
}
constexpr uint8_t GetRValue(COLORREF c) { return uint8_t(c); }
constexpr uint8_t GetGValue(COLORREF c) { return uint8_t(c >> 8); }
constexpr uint8_t GetBValue(COLORREF c) { return uint8_t(c >> 16); }

struct PaletteObject;
// A palette handle: 0 (nullptr) when there is none.
using HPALETTE = PaletteObject*;

// Row length in bytes of a DIB row: ((width * bitcount + 31) / 32) * 4,
// a multiple of 4.
constexpr uint64_t dibStride(uint64_t width, uint32_t bitCount)
{
    return ((width * bitCount + 31) / 32) * 4;
}

} // namespace platform
