// Truevision TGA files.
//
// Reading, raw and run-length coded:
// - colour-mapped 8-bit pixels (types 1 and 9) with a colour map of 15-,
//   16-, 24- or 32-bit entries; a pixel value v shows map entry
//   v - first entry index, values outside the map are black;
// - grey 8-bit pixels (types 3 and 11): 8-bit pictures with a grey ramp;
// - true colour (types 2 and 10) of 15/16 bits (5-5-5, each 5-bit value v
//   becoming v * 255 / 31 rounded down), 24 and 32 bits: 24-bit pictures.
//   Alpha (bit 15, or the fourth byte) is dropped, whatever the attribute
//   bits say.
// Both vertical origins (descriptor bit 5) and right-to-left rows (bit 4)
// are read upright; the image ID and a colour map of a true-colour file
// are skipped; a TGA 2.0 footer or extension area behind the pixels is
// ignored. Run-length packets may run on from one row into the next; a
// packet past the last pixel is cut off; a stream that ends early is damage.
//
// Writing: 1-, 4- and 8-bit pictures as run-length coded colour-mapped
// 8-bit files (type 9) with 24-bit map entries for the picture's colours,
// 24-bit pictures as run-length coded true colour (type 10); rows from the
// bottom up, packets within a row, and the TGA 2.0 footer at the end.

#include "raster/codecs/codecs.h"
#include "raster/rasterio.h"

#include <algorithm>
#include <cstring>

namespace raster {

namespace {

constexpr size_t kHeaderSize = 18;
constexpr char kSignature[] = "TRUEVISION-XFILE."; // followed by its zero byte

uint16_t le16(const uint8_t* p)
{
    return uint16_t(p[0] | (p[1] << 8));
}

struct Header {
    int idLength = 0;
    int mapType = 0;
    int imageType = 0;
    int mapFirst = 0;
    int mapLength = 0;
    int mapEntryBits = 0;
    int width = 0;
    int height = 0;
    int depth = 0;
    int descriptor = 0;

    bool rle() const { return imageType >= 9; }
    int kind() const { return imageType & 7; } // 1 mapped, 2 true colour, 3 grey
    size_t mapBytes() const { return mapType == 1 ? size_t(mapLength) * size_t((mapEntryBits + 7) / 8) : 0; }
    size_t dataOffset() const { return kHeaderSize + size_t(idLength) + mapBytes(); }
    int pixelBytes() const { return (depth + 7) / 8; }
};

Header parseHeader(const uint8_t* p)
{
    Header h;
    h.idLength = p[0];
    h.mapType = p[1];
    h.imageType = p[2];
    h.mapFirst = le16(p + 3);
    h.mapLength = le16(p + 5);
    h.mapEntryBits = p[7];
    h.width = le16(p + 12);
    h.height = le16(p + 14);
    h.depth = p[16];
    h.descriptor = p[17];
    return h;
}

bool validMapEntry(int bits)
{
    return bits == 15 || bits == 16 || bits == 24 || bits == 32;
}

// Whether the header describes a picture this codec reads: the types,
// depths and map sizes that belong together.
bool plausible(const Header& h)
{
    if (h.mapType > 1)
        return false;
    if (h.mapType == 1 ? !validMapEntry(h.mapEntryBits) || h.mapLength == 0
                       : !(h.mapEntryBits == 0 || validMapEntry(h.mapEntryBits)))
        return false;
    if (h.width <= 0 || h.height <= 0 || (h.descriptor & 0xC0) != 0)
        return false;
    switch (h.imageType) {
    case 1:
    case 9: return h.mapType == 1 && h.depth == 8;
    case 2:
    case 10: return h.depth == 15 || h.depth == 16 || h.depth == 24 || h.depth == 32;
    case 3:
    case 11: return h.depth == 8;
    default: return false;
    }
}

bool sniffTga(Bytes data)
{
    if (data.size() < kHeaderSize)
        return false;
    const Header h = parseHeader(data.data());
    if (!plausible(h))
        return false;
    uint64_t needed = h.dataOffset();
    if (!h.rle())
        needed += uint64_t(h.width) * uint64_t(h.height) * uint64_t(h.pixelBytes());
    return data.size() >= needed;
}

// The colour of a 15/16-bit value, each 5-bit part scaled to 0..255.
RGBQUAD colour555(uint16_t v)
{
    auto scale = [](int c) { return uint8_t(c * 255 / 31); };
    return RGBQUAD{scale(v & 31), scale((v >> 5) & 31), scale((v >> 10) & 31), 0};
}

RGBQUAD colourOf(const uint8_t* p, int bytes)
{
    if (bytes == 2)
        return colour555(le16(p));
    return RGBQUAD{p[0], p[1], p[2], 0};
}

// The pixels of the file in file order, raw or as run-length packets.
class PixelReader {
public:
    PixelReader(Bytes data, bool rle, int pixelBytes) : m_data(data), m_rle(rle), m_bytes(size_t(pixelBytes)) {}

    // Fills count pixels into dst; false when the data ends first.
    bool next(uint8_t* dst, size_t count)
    {
        if (!m_rle) {
            const size_t n = count * m_bytes;
            if (m_data.size() - m_pos < n)
                return false;
            std::memcpy(dst, m_data.data() + m_pos, n);
            m_pos += n;
            return true;
        }
        while (count > 0) {
            if (m_left == 0) {
                if (m_pos >= m_data.size())
                    return false;
                const uint8_t b = m_data[m_pos++];
                m_left = size_t(b & 0x7F) + 1;
                m_run = (b & 0x80) != 0;
                if (m_run) {
                    if (m_data.size() - m_pos < m_bytes)
                        return false;
                    std::memcpy(m_value, m_data.data() + m_pos, m_bytes);
                    m_pos += m_bytes;
                }
            }
            const size_t n = std::min(count, m_left);
            if (m_run) {
                for (size_t i = 0; i < n; ++i)
                    std::memcpy(dst + i * m_bytes, m_value, m_bytes);
            } else {
                if (m_data.size() - m_pos < n * m_bytes)
                    return false;
                std::memcpy(dst, m_data.data() + m_pos, n * m_bytes);
                m_pos += n * m_bytes;
            }
            dst += n * m_bytes;
            count -= n;
            m_left -= n;
        }
        return true;
    }

private:
    Bytes m_data;
    bool m_rle;
    size_t m_bytes;
    size_t m_pos = 0;
    size_t m_left = 0; // pixels left in the current packet
    bool m_run = false;
    uint8_t m_value[4]{};
};

ImageError decodeTga(Bytes data, DibGuard& out, const Progress& progress)
{
    if (data.size() < kHeaderSize)
        return ImageError::Damaged;
    const Header h = parseHeader(data.data());
    if (h.mapType > 1 || h.descriptor & 0xC0 ||
        !(h.imageType == 1 || h.imageType == 2 || h.imageType == 3 || h.imageType == 9 ||
          h.imageType == 10 || h.imageType == 11))
        return ImageError::Unsupported;
    if (!plausible(h))
        return h.width <= 0 || h.height <= 0 ? ImageError::Damaged : ImageError::Unsupported;
    const int bitCount = h.kind() == 2 ? 24 : 8;
    if (const ImageError e = checkImageSize(h.width, h.height, bitCount); e != ImageError::None)
        return e;
    if (data.size() < h.dataOffset())
        return ImageError::Damaged;

    // Enough input for the claimed size: every pixel stored, or at best one
    // packet of 128 pixels per pixel value and count byte.
    const Bytes pixels = data.subspan(h.dataOffset());
    const uint64_t count = uint64_t(h.width) * uint64_t(h.height);
    const uint64_t pb = uint64_t(h.pixelBytes());
    const uint64_t least = h.rle() ? (count + 127) / 128 * (1 + pb) : count * pb;
    if (pixels.size() < least)
        return ImageError::Damaged;

    if (const ImageError e = makeImage(out, h.width, h.height, bitCount); e != ImageError::None)
        return e;
    TDibRecord& dib = out.get();

    if (h.kind() == 1) {
        const uint8_t* map = data.data() + kHeaderSize + h.idLength;
        const int entryBytes = (h.mapEntryBits + 7) / 8;
        for (int v = 0; v < 256; ++v) {
            const int i = v - h.mapFirst;
            RGBQUAD q{};
            if (i >= 0 && i < h.mapLength)
                q = colourOf(map + size_t(i) * size_t(entryBytes), entryBytes);
            setPaletteEntry(dib, v, q.rgbRed, q.rgbGreen, q.rgbBlue);
        }
        refreshPalette(dib);
    } // grey: the grey ramp newdib gave the picture

    const bool fromTop = (h.descriptor & 0x20) != 0;
    const bool fromRight = (h.descriptor & 0x10) != 0;
    const int w = h.width;
    const size_t bytes = size_t(h.pixelBytes());
    std::vector<uint8_t> row(size_t(w) * bytes);
    PixelReader reader(pixels, h.rle(), h.pixelBytes());
    ProgressReporter reporter(progress);
    for (int r = 0; r < h.height; ++r) {
        if (!reader.next(row.data(), size_t(w))) {
            out.reset();
            return ImageError::Damaged;
        }
        uint8_t* dst = DibRow(dib, fromTop ? r : h.height - 1 - r);
        for (int c = 0; c < w; ++c) {
            const int x = fromRight ? w - 1 - c : c;
            const uint8_t* p = row.data() + size_t(c) * bytes;
            if (bitCount == 8) {
                dst[x] = p[0];
            } else {
                const RGBQUAD q = colourOf(p, int(bytes));
                dst[3 * x] = q.rgbBlue;
                dst[3 * x + 1] = q.rgbGreen;
                dst[3 * x + 2] = q.rgbRed;
            }
        }
        reporter.rows(r + 1, h.height);
    }
    return ImageError::None;
}

// ---------------------------------------------------------------------------
// Writing

// Appends count pixels of size bytes as run-length packets.
void encodeRow(const uint8_t* row, size_t count, size_t size, std::vector<uint8_t>& out)
{
    auto same = [&](size_t a, size_t b) { return std::memcmp(row + a * size, row + b * size, size) == 0; };
    size_t i = 0;
    while (i < count) {
        size_t n = 1;
        while (i + n < count && n < 128 && same(i, i + n))
            ++n;
        if (n > 1) {
            out.push_back(uint8_t(0x80 | (n - 1)));
            out.insert(out.end(), row + i * size, row + (i + 1) * size);
            i += n;
            continue;
        }
        // Raw packet up to the next pair of equal pixels.
        n = 1;
        while (i + n < count && n < 128 && !(i + n + 1 < count && same(i + n, i + n + 1)))
            ++n;
        out.push_back(uint8_t(n - 1));
        out.insert(out.end(), row + i * size, row + (i + n) * size);
        i += n;
    }
}

ImageError encodeTga(const TDibRecord& dib, std::vector<uint8_t>& out, const EncodeOptions&,
                     const Progress& progress)
{
    const int32_t w = DibWidth(dib), h = DibHeight(dib), bc = DibBitCount(dib);
    if (w <= 0 || h <= 0 || w > 65535 || h > 65535 || !(bc == 1 || bc == 4 || bc == 8 || bc == 24))
        return ImageError::CannotWrite;
    const bool mapped = bc <= 8;
    const int entries = mapped ? (1 << bc) : 0;

    uint8_t header[kHeaderSize]{};
    header[1] = mapped ? 1 : 0;
    header[2] = mapped ? 9 : 10;
    header[5] = uint8_t(entries);
    header[6] = uint8_t(entries >> 8);
    header[7] = mapped ? 24 : 0;
    header[12] = uint8_t(w);
    header[13] = uint8_t(w >> 8);
    header[14] = uint8_t(h);
    header[15] = uint8_t(h >> 8);
    header[16] = mapped ? 8 : 24;
    header[17] = 0; // bottom-left origin, no alpha
    out.insert(out.end(), header, header + kHeaderSize);
    for (int i = 0; i < entries; ++i) {
        const RGBQUAD q = dib.Info->bmiColors[i];
        out.push_back(q.rgbBlue);
        out.push_back(q.rgbGreen);
        out.push_back(q.rgbRed);
    }

    std::vector<uint8_t> row(mapped ? size_t(w) : 0);
    ProgressReporter reporter(progress);
    for (int32_t r = 0; r < h; ++r) {
        const uint8_t* src = DibRow(dib, h - 1 - r);
        if (mapped) {
            for (int32_t x = 0; x < w; ++x) {
                if (bc == 8)
                    row[size_t(x)] = src[x];
                else if (bc == 4)
                    row[size_t(x)] = uint8_t((x & 1) ? (src[x >> 1] & 0x0F) : (src[x >> 1] >> 4));
                else
                    row[size_t(x)] = uint8_t((src[x >> 3] >> (7 - (x & 7))) & 1);
            }
            encodeRow(row.data(), size_t(w), 1, out);
        } else {
            encodeRow(src, size_t(w), 3, out);
        }
        reporter.rows(r + 1, h);
    }

    // TGA 2.0 footer: no extension area, no developer directory.
    out.insert(out.end(), 8, 0);
    out.insert(out.end(), kSignature, kSignature + sizeof(kSignature));
    return ImageError::None;
}

} // namespace

const Codec kTgaCodec = {"Tga", sniffTga, decodeTga, encodeTga};

} // namespace raster
