// Windows and OS/2 bitmaps: files with a BITMAPFILEHEADER ("BM") and packed
// DIBs that start with their info header. Reads 1, 4, 8, 16, 24 and 32 bits,
// uncompressed, run-length coded (RLE8, RLE4) and with bit-field masks;
// writes 1, 4, 8 and 24 bits, run-length coded for the RLE format.

#include "raster/codecs/codecs.h"

#include "raster/rasterio.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <new>

namespace raster {

namespace {

using platform::BI_BITFIELDS;
using platform::BI_RGB;
using platform::BI_RLE4;
using platform::BI_RLE8;

constexpr size_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kOs2HeaderSize = 64;
constexpr int32_t kPixelsPerMeter = 3780; // 96 dpi

uint16_t read16(const uint8_t* p)
{
    return uint16_t(p[0] | (p[1] << 8));
}

uint32_t read32(const uint8_t* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// Info header sizes we read: the OS/2 1.x core header, the OS/2 2.x header
// (full and its short form) and the Windows headers up to version 5.
bool knownHeaderSize(uint32_t size)
{
    switch (size) {
    case 12: case 16: case 40: case 52: case 56: case 64: case 108: case 124: return true;
    default: return false;
    }
}

bool plausibleBitCount(uint32_t bitCount)
{
    switch (bitCount) {
    case 1: case 4: case 8: case 16: case 24: case 32: return true;
    default: return false;
    }
}

// What the headers say about a picture, in one form for every variant.
struct BmpHeader {
    uint32_t headerSize = 0;
    int64_t width = 0;
    int64_t height = 0; // always positive; topDown tells the row order
    bool topDown = false;
    uint32_t bitCount = 0;
    uint32_t compression = BI_RGB;
    uint32_t colorsUsed = 0;
    std::array<uint32_t, 3> masks{}; // red, green, blue for 16 and 32 bits
    size_t tableStart = 0;           // first byte of the colour table
    uint32_t tableEntrySize = 4;     // 3 for the core header's RGBTRIPLEs
    uint32_t tableEntries = 0;       // entries the picture's depth calls for
    size_t pixelStart = 0;           // first byte of the pixel data
};

// Reads and checks the headers. Sizes are checked against the limits here,
// before anything is allocated; the pixel data is checked by the caller.
ImageError readHeader(Bytes data, BmpHeader& h)
{
    size_t infoStart = 0;
    bool hasFileHeader = false;
    uint32_t offBits = 0;
    if (data.size() >= 2 && data[0] == 'B' && data[1] == 'M') {
        if (data.size() < kFileHeaderSize + 4)
            return ImageError::Damaged;
        hasFileHeader = true;
        infoStart = kFileHeaderSize;
        offBits = read32(data.data() + 10);
    }
    if (data.size() < infoStart + 4)
        return ImageError::Damaged;
    const uint8_t* info = data.data() + infoStart;
    h.headerSize = read32(info);
    if (!knownHeaderSize(h.headerSize))
        return h.headerSize < kCoreHeaderSize ? ImageError::Damaged : ImageError::Unsupported;
    if (data.size() - infoStart < h.headerSize)
        return ImageError::Damaged;

    if (h.headerSize == kCoreHeaderSize) {
        h.width = read16(info + 4);
        h.height = read16(info + 6);
        h.bitCount = read16(info + 10);
        h.tableEntrySize = 3;
    } else {
        h.width = int32_t(read32(info + 4));
        const int64_t height = int32_t(read32(info + 8));
        h.topDown = height < 0;
        h.height = height < 0 ? -height : height;
        h.bitCount = read16(info + 14);
        if (h.headerSize >= 20)
            h.compression = read32(info + 16);
        if (h.headerSize >= 36)
            h.colorsUsed = read32(info + 32);
    }

    // OS/2 2.x numbers its compressions differently: 3 is Huffman coding
    // and 4 is 24-bit run-length coding there, neither of which we read.
    const bool os2 = h.headerSize == 16 || h.headerSize == kOs2HeaderSize;
    if (os2 && h.compression > BI_RLE4)
        return ImageError::Unsupported;
    switch (h.compression) {
    case BI_RGB:
        if (h.bitCount == 16)
            h.masks = {0x7C00, 0x03E0, 0x001F};
        else if (h.bitCount == 32)
            h.masks = {0xFF0000, 0x00FF00, 0x0000FF};
        break;
    case BI_RLE8:
        if (h.bitCount != 8)
            return ImageError::Damaged;
        break;
    case BI_RLE4:
        if (h.bitCount != 4)
            return ImageError::Damaged;
        break;
    case BI_BITFIELDS:
        if (h.bitCount != 16 && h.bitCount != 32)
            return ImageError::Damaged;
        break;
    default: // JPEG, PNG, alpha bit fields, CMYK variants
        return ImageError::Unsupported;
    }
    if (h.bitCount == 0 || h.bitCount == 2 || h.bitCount == 64)
        return ImageError::Unsupported;
    if (!plausibleBitCount(h.bitCount))
        return ImageError::Damaged;
    if (h.topDown && h.compression != BI_RGB && h.compression != BI_BITFIELDS) {
        // Top-down run-length data has no defined meaning.
        return ImageError::Damaged;
    }

    const int32_t outBits = h.bitCount <= 8 ? int32_t(h.bitCount) : 24;
    if (const ImageError e = checkImageSize(h.width, h.height, outBits); e != ImageError::None)
        return e;

    // Masks of a Windows 3 header follow it; later headers hold them.
    size_t afterHeader = infoStart + h.headerSize;
    if (h.compression == BI_BITFIELDS) {
        const uint8_t* m = info + 40;
        if (h.headerSize == 40) {
            if (data.size() - afterHeader < 12)
                return ImageError::Damaged;
            m = data.data() + afterHeader;
            afterHeader += 12;
        }
        h.masks = {read32(m), read32(m + 4), read32(m + 8)};
    }

    h.tableStart = afterHeader;
    const uint32_t fullTable = h.bitCount <= 8 ? (1u << h.bitCount) : 0;
    if (h.bitCount <= 8)
        h.tableEntries = h.colorsUsed > 0 && h.colorsUsed < fullTable ? h.colorsUsed : fullTable;
    else if (h.headerSize != kCoreHeaderSize)
        h.tableEntries = std::min<uint32_t>(h.colorsUsed, 256); // a display palette, skipped

    const uint64_t tableEnd = uint64_t(h.tableStart) + uint64_t(h.tableEntries) * h.tableEntrySize;
    if (!hasFileHeader || offBits == 0) {
        if (tableEnd > data.size())
            return ImageError::Damaged;
        h.pixelStart = size_t(tableEnd);
    } else {
        // The offset bounds the colour table: a table cut short by it
        // leaves the remaining entries black.
        if (offBits < h.tableStart || offBits > data.size())
            return ImageError::Damaged;
        h.pixelStart = offBits;
        if (h.bitCount <= 8)
            h.tableEntries = std::min<uint32_t>(h.tableEntries, uint32_t((offBits - h.tableStart) / h.tableEntrySize));
    }
    return ImageError::None;
}

// Which row from the top the file's row r is: files are bottom-up unless
// the height was negative.
int32_t rowFromTop(const BmpHeader& h, int64_t r)
{
    return int32_t(h.topDown ? r : h.height - 1 - r);
}

// One channel of a 16- or 32-bit pixel: its mask's position and width, and
// the value scaled to 0..255 by bit replication (a 5-bit 31 gives 255).
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    int bits = 0;

    explicit Channel(uint32_t m) : mask(m)
    {
        if (m != 0) {
            shift = std::countr_zero(m);
            bits = 32 - std::countl_zero(m >> shift);
        }
    }
    uint8_t operator()(uint32_t pixel) const
    {
        if (bits == 0)
            return 0;
        const uint32_t v = (pixel & mask) >> shift;
        if (bits >= 8)
            return uint8_t(v >> (bits - 8));
        uint32_t r = v << (8 - bits);
        for (int have = bits; have < 8; have *= 2)
            r |= r >> have;
        return uint8_t(r);
    }
};

// Damaged unless the file holds every row of uncompressed data.
ImageError checkPixelData(Bytes data, const BmpHeader& h)
{
    const uint64_t inStride = dibStride(uint64_t(h.width), h.bitCount);
    const uint64_t rowBytes = (uint64_t(h.width) * h.bitCount + 7) / 8;
    // The last row's padding may be missing; nothing else may.
    const uint64_t needed = inStride * uint64_t(h.height - 1) + rowBytes;
    if (data.size() - h.pixelStart < needed)
        return ImageError::Damaged;
    return ImageError::None;
}

void copyRows(Bytes data, const BmpHeader& h, const TDibRecord& dib, ProgressReporter& progress)
{
    const uint64_t inStride = dibStride(uint64_t(h.width), h.bitCount);
    const size_t rowBytes = size_t((uint64_t(h.width) * h.bitCount + 7) / 8);
    const Channel red(h.masks[0]), green(h.masks[1]), blue(h.masks[2]);
    const auto w = size_t(h.width);
    for (int64_t r = 0; r < h.height; ++r) {
        const uint8_t* src = data.data() + h.pixelStart + size_t(r) * inStride;
        uint8_t* dst = DibRow(dib, rowFromTop(h, r));
        if (h.bitCount <= 8 || h.bitCount == 24) {
            std::memcpy(dst, src, rowBytes);
        } else if (h.bitCount == 16) {
            for (size_t x = 0; x < w; ++x) {
                const uint32_t p = read16(src + 2 * x);
                dst[3 * x] = blue(p);
                dst[3 * x + 1] = green(p);
                dst[3 * x + 2] = red(p);
            }
        } else {
            for (size_t x = 0; x < w; ++x) {
                const uint32_t p = read32(src + 4 * x);
                dst[3 * x] = blue(p);
                dst[3 * x + 1] = green(p);
                dst[3 * x + 2] = red(p);
            }
        }
        progress.rows(r + 1, h.height);
    }
}

// Decodes BI_RLE8 or BI_RLE4 data into a zeroed picture. Only pixels inside
// the picture are written, so the work is bounded by the input's length,
// whatever size the header claims. Pixels the data skips keep index 0.
ImageError decodeRle(Bytes data, const BmpHeader& h, const TDibRecord& dib, ProgressReporter& progress)
{
    const bool four = h.compression == BI_RLE4;
    const int64_t width = h.width, height = h.height;
    const uint8_t* p = data.data() + h.pixelStart;
    const uint8_t* const end = data.data() + data.size();
    int64_t x = 0, y = 0; // y counts rows from the bottom, as the data does

    auto put = [&](int64_t px, uint8_t value) {
        uint8_t* row = DibRow(dib, int32_t(height - 1 - y));
        if (!four) {
            row[px] = value;
        } else {
            uint8_t& b = row[px >> 1];
            b = (px & 1) ? uint8_t((b & 0xF0) | (value & 0x0F)) : uint8_t((b & 0x0F) | (value << 4));
        }
    };

    while (y < height) {
        if (end - p < 2)
            return ImageError::Damaged; // no end of bitmap
        const uint8_t count = p[0], value = p[1];
        p += 2;
        if (count > 0) {
            // An encoded run; RLE4 alternates the value's two nibbles.
            const int64_t last = std::min<int64_t>(x + count, width);
            for (int64_t px = x; px < last; ++px)
                put(px, four ? uint8_t(((px - x) & 1) ? (value & 0x0F) : (value >> 4)) : value);
            x += count;
            continue;
        }
        if (value == 0) { // end of line
            x = 0;
            ++y;
            progress.rows(y, height);
        } else if (value == 1) { // end of bitmap
            break;
        } else if (value == 2) { // delta
            if (end - p < 2)
                return ImageError::Damaged;
            x += p[0];
            y += p[1];
            p += 2;
            progress.rows(std::min(y, height), height);
        } else { // absolute run of `value` pixels, padded to 16 bits
            const size_t bytes = four ? (size_t(value) + 1) / 2 : value;
            const size_t padded = (bytes + 1) & ~size_t(1);
            if (size_t(end - p) < bytes)
                return ImageError::Damaged;
            const int64_t last = std::min<int64_t>(x + value, width);
            for (int64_t px = x; px < last; ++px) {
                const int64_t i = px - x;
                put(px, four ? uint8_t((i & 1) ? (p[i >> 1] & 0x0F) : (p[i >> 1] >> 4)) : p[i]);
            }
            x += value;
            p += std::min(padded, size_t(end - p));
        }
    }
    progress.report(100);
    return ImageError::None;
}

ImageError decodeBmp(Bytes data, DibGuard& out, const Progress& progressCallback)
{
    BmpHeader h;
    if (const ImageError e = readHeader(data, h); e != ImageError::None)
        return e;
    const bool rle = h.compression == BI_RLE8 || h.compression == BI_RLE4;
    ProgressReporter progress(progressCallback);
    progress.report(0);
    if (!rle) {
        if (const ImageError e = checkPixelData(data, h); e != ImageError::None)
            return e;
    } else if (h.pixelStart >= data.size()) {
        return ImageError::Damaged;
    }

    std::array<RGBQUAD, 256> colours{};
    for (uint32_t i = 0; i < h.tableEntries && h.bitCount <= 8; ++i) {
        const uint8_t* q = data.data() + h.tableStart + size_t(i) * h.tableEntrySize;
        colours[i] = RGBQUAD{q[0], q[1], q[2], 0};
    }
    const int32_t outBits = h.bitCount <= 8 ? int32_t(h.bitCount) : 24;
    const int32_t entries = h.bitCount <= 8 ? int32_t(1u << h.bitCount) : 0;
    // Entries beyond the file's table are black, so every index has a colour.
    if (const ImageError e = makeImage(out, int32_t(h.width), int32_t(h.height), outBits, colours.data(), entries);
        e != ImageError::None)
        return e;

    if (rle)
        return decodeRle(data, h, out.get(), progress);
    copyRows(data, h, out.get(), progress);
    return ImageError::None;
}

bool sniffBmp(Bytes data)
{
    if (data.size() >= kFileHeaderSize + 4 && data[0] == 'B' && data[1] == 'M')
        return knownHeaderSize(read32(data.data() + kFileHeaderSize));
    // A packed DIB: a header size we know, one plane, a depth we read.
    if (data.size() < 16)
        return false;
    const uint32_t size = read32(data.data());
    if (size == kCoreHeaderSize) {
        return read16(data.data() + 4) > 0 && read16(data.data() + 6) > 0 && read16(data.data() + 8) == 1 &&
               plausibleBitCount(read16(data.data() + 10)) && read16(data.data() + 10) != 16 &&
               read16(data.data() + 10) != 32;
    }
    if ((size != 40 && size != 108 && size != 124) || data.size() < 20)
        return false;
    const auto width = int32_t(read32(data.data() + 4));
    const auto height = int32_t(read32(data.data() + 8));
    return width > 0 && height != 0 && read16(data.data() + 12) == 1 &&
           plausibleBitCount(read16(data.data() + 14)) && read32(data.data() + 16) <= BI_BITFIELDS;
}

// ---- Writing ----

void put16(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t v)
{
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

void store32(std::vector<uint8_t>& out, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out[at + size_t(i)] = uint8_t(v >> (8 * i));
}

// Length of the run of equal pixels starting at i, at most 255.
size_t runLength(const uint8_t* px, size_t i, size_t n)
{
    size_t k = 1;
    while (i + k < n && k < 255 && px[i + k] == px[i])
        ++k;
    return k;
}

// Length of the run at i that one RLE4 code can give: the pixels at i and
// i + 1 alternating, at most 255.
size_t run4Length(const uint8_t* px, size_t i, size_t n)
{
    size_t k = 1;
    while (i + k < n && k < 255 && px[i + k] == px[i + (k & 1)])
        ++k;
    return k;
}

// One row of BI_RLE8 or BI_RLE4 codes (pixel values one per byte), ended by
// an end of line. Runs of at least minRun pixels become encoded runs; the
// rest goes into absolute runs of at least three pixels.
void encodeRleRow(const uint8_t* px, size_t n, bool four, std::vector<uint8_t>& out)
{
    const size_t minRun = four ? 4 : 3;
    auto run = [&](size_t i) { return four ? run4Length(px, i, n) : runLength(px, i, n); };
    auto encoded = [&](size_t i, size_t len) {
        out.push_back(uint8_t(len));
        out.push_back(four ? uint8_t((px[i] << 4) | (len > 1 ? px[i + 1] : 0)) : px[i]);
    };
    size_t i = 0;
    while (i < n) {
        const size_t r = run(i);
        if (r >= minRun || n - i < 3) {
            encoded(i, r);
            i += r;
            continue;
        }
        // Gather literal pixels up to the next worthwhile run.
        size_t j = i + r;
        while (j < n && j - i < 255) {
            const size_t rj = run(j);
            if (rj >= minRun)
                break;
            j = std::min({j + rj, n, i + 255});
        }
        const size_t len = j - i;
        if (len < 3) {
            encoded(i, r);
            i += r;
            continue;
        }
        out.push_back(0);
        out.push_back(uint8_t(len));
        size_t bytes = 0;
        if (four) {
            for (size_t k = 0; k < len; k += 2, ++bytes)
                out.push_back(uint8_t((px[i + k] << 4) | (k + 1 < len ? px[i + k + 1] : 0)));
        } else {
            out.insert(out.end(), px + i, px + i + len);
            bytes = len;
        }
        if (bytes & 1)
            out.push_back(0);
        i = j;
    }
    out.push_back(0);
    out.push_back(0);
}

ImageError encodeBmp(const TDibRecord& dib, std::vector<uint8_t>& out, const EncodeOptions& options,
                     const Progress& progressCallback)
{
    const int32_t w = DibWidth(dib), h = DibHeight(dib), bc = DibBitCount(dib);
    if (!dib.Bits || !dib.Info || (bc != 1 && bc != 4 && bc != 8 && bc != 24) || w <= 0 || h <= 0)
        return ImageError::CannotWrite;
    const uint32_t compression =
        options.format == FormatRLE ? (bc == 8 ? BI_RLE8 : bc == 4 ? BI_RLE4 : BI_RGB) : BI_RGB;
    const uint32_t entries = bc <= 8 ? (1u << bc) : 0;
    const uint32_t offBits = uint32_t(kFileHeaderSize + sizeof(BITMAPINFOHEADER) + 4 * entries);
    ProgressReporter progress(progressCallback);
    progress.report(0);

    try {
        const size_t start = out.size();
        const auto stride = size_t(DibBytesPerRow(dib));
        out.reserve(start + offBits + (compression == BI_RGB ? stride * size_t(h) : 0));
        put16(out, 'B' | ('M' << 8));
        put32(out, 0); // bfSize, filled in below
        put32(out, 0);
        put32(out, offBits);
        put32(out, sizeof(BITMAPINFOHEADER));
        put32(out, uint32_t(w));
        put32(out, uint32_t(h));
        put16(out, 1);
        put16(out, uint32_t(bc));
        put32(out, compression);
        put32(out, 0); // biSizeImage, filled in below
        put32(out, uint32_t(kPixelsPerMeter));
        put32(out, uint32_t(kPixelsPerMeter));
        put32(out, 0); // biClrUsed: the full table follows
        put32(out, 0);
        for (uint32_t i = 0; i < entries; ++i) {
            const RGBQUAD q = dib.Info->bmiColors[i];
            out.push_back(q.rgbBlue);
            out.push_back(q.rgbGreen);
            out.push_back(q.rgbRed);
            out.push_back(0);
        }

        // Rows bottom-up, as they are stored.
        std::vector<uint8_t> values(compression == BI_RGB ? 0 : size_t(w));
        for (int32_t r = 0; r < h; ++r) {
            const uint8_t* row = DibRow(dib, h - 1 - r);
            if (compression == BI_RGB) {
                out.insert(out.end(), row, row + stride);
            } else {
                for (int32_t x = 0; x < w; ++x)
                    values[size_t(x)] = bc == 8 ? row[x] : uint8_t((x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4));
                encodeRleRow(values.data(), values.size(), compression == BI_RLE4, out);
            }
            progress.rows(r + 1, h);
        }
        if (compression != BI_RGB) {
            out.push_back(0); // end of bitmap
            out.push_back(1);
        }
        const size_t total = out.size() - start;
        if (total > UINT32_MAX)
            return ImageError::CannotWrite;
        store32(out, start + 2, uint32_t(total));
        store32(out, start + kFileHeaderSize + 20, uint32_t(total - offBits));
    } catch (const std::bad_alloc&) {
        return ImageError::OutOfMemory;
    }
    return ImageError::None;
}

} // namespace

const Codec kBmpCodec = {"Bmp", sniffBmp, decodeBmp, encodeBmp};

} // namespace raster
