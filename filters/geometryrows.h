#pragma once
// Direct row access for the geometric transforms: pixels of each depth read
// and written on a row pointer, top-counted row tables, and new images of a
// source's depth and colours. Pixel values here are raw: the palette index,
// or for 24 bits the stored bytes blue | green << 8 | red << 16.

#include "raster/dibrecord.h"

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <vector>

namespace filters::rows {

template <int Bits>
struct Pixel;

template <>
struct Pixel<1> {
    static uint32_t get(const uint8_t* row, int32_t x) { return (row[x >> 3] >> (7 - (x & 7))) & 1u; }
    static void set(uint8_t* row, int32_t x, uint32_t v)
    {
        const auto mask = uint8_t(0x80 >> (x & 7));
        row[x >> 3] = (v & 1u) ? uint8_t(row[x >> 3] | mask) : uint8_t(row[x >> 3] & ~mask);
    }
};

template <>
struct Pixel<4> {
    static uint32_t get(const uint8_t* row, int32_t x)
    {
        return (x & 1) ? (row[x >> 1] & 0x0Fu) : uint32_t(row[x >> 1] >> 4);
    }
    static void set(uint8_t* row, int32_t x, uint32_t v)
    {
        uint8_t& b = row[x >> 1];
        b = (x & 1) ? uint8_t((b & 0xF0) | (v & 0x0F)) : uint8_t((b & 0x0F) | ((v & 0x0F) << 4));
    }
};

template <>
struct Pixel<8> {
    static uint32_t get(const uint8_t* row, int32_t x) { return row[x]; }
    static void set(uint8_t* row, int32_t x, uint32_t v) { row[x] = uint8_t(v); }
};

template <>
struct Pixel<24> {
    static uint32_t get(const uint8_t* row, int32_t x)
    {
        const uint8_t* p = row + ptrdiff_t(x) * 3;
        return p[0] | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
    }
    static void set(uint8_t* row, int32_t x, uint32_t v)
    {
        uint8_t* p = row + ptrdiff_t(x) * 3;
        p[0] = uint8_t(v);
        p[1] = uint8_t(v >> 8);
        p[2] = uint8_t(v >> 16);
    }
};

template <int Bits>
using Depth = std::integral_constant<int, Bits>;

// Calls f(Depth<bitCount>{}) for the four depths; false for any other.
template <typename F>
bool withDepth(int32_t bitCount, F&& f)
{
    switch (bitCount) {
    case 1: f(Depth<1>{}); return true;
    case 4: f(Depth<4>{}); return true;
    case 8: f(Depth<8>{}); return true;
    case 24: f(Depth<24>{}); return true;
    default: return false;
    }
}

// Row pointers, index t being the row t-th from the top.
std::vector<uint8_t*> topRows(const raster::TDibRecord& dib);

// The raw value of a getpixel/setpixel value in a picture of bitCount bits.
uint32_t rawValue(int32_t bitCount, uint32_t value);

// A new width x height image with source's depth and colour table; no image
// when the size is out of range or memory runs out.
raster::TDibRecord newLike(const raster::TDibRecord& source, int64_t width, int64_t height);

// Sets pixels from..to-1 of a row to raw.
template <int Bits>
void fillSpan(uint8_t* row, int32_t from, int32_t to, uint32_t raw)
{
    for (int32_t x = from; x < to; ++x)
        Pixel<Bits>::set(row, x, raw);
}

// Sets every pixel of dib to raw.
void fillRaw(const raster::TDibRecord& dib, uint32_t raw);

} // namespace filters::rows
