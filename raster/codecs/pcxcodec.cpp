// ZSoft PCX files.
//
// Reading: run-length coded (and the rare uncompressed) files of
// - 1, 2 or 4 bits in one plane, and 1-bit pixels in 2 to 4 planes, with the
//   16-colour palette of the header: 1-bit pictures when there are two
//   colours, 4-bit pictures else. A two-colour file whose two header
//   entries are equal (most writers leave them zero) is black and white,
//   0 black and 1 white;
// - 8 bits in one plane with the 256-colour palette behind the 0x0C marker
//   at the end of the file; without that palette the picture gets a grey
//   ramp, but a marker with too few colours behind it is damage;
// - 8 bits in three planes (red, green, blue), or four (the fourth, alpha,
//   is dropped): 24-bit pictures.
// The window Xmin..Xmax, Ymin..Ymax gives the size; each plane of a line
// holds BytesPerLine bytes, of which the bytes past the window are padding.
// Runs may cross planes and lines. A stream that ends early is damage; a
// run past the last line is cut off.
//
// Writing: version 5, run-length coded, even BytesPerLine: 1-bit pictures
// as one plane of 1 bit, 4-bit pictures as four planes of 1 bit, both with
// the header palette; 8-bit pictures as one plane with the 256-colour
// palette at the end; 24-bit pictures as three planes. Runs stop at the end
// of each plane's line.

#include "raster/codecs/codecs.h"
#include "raster/rasterio.h"

#include <algorithm>
#include <cstring>

namespace raster {

namespace {

constexpr size_t kHeaderSize = 128;
constexpr size_t kVgaPaletteSize = 769; // 0x0C and 256 RGB triples

uint16_t le16(const uint8_t* p)
{
    return uint16_t(p[0] | (p[1] << 8));
}

struct Header {
    int version = 0;
    int encoding = 0;
    int bitsPerPixel = 0;
    int64_t width = 0;
    int64_t height = 0;
    int planes = 0;
    int bytesPerLine = 0;
    const uint8_t* palette16 = nullptr; // 48 bytes
};

bool parseHeader(Bytes data, Header& h)
{
    if (data.size() < kHeaderSize || data[0] != 0x0A)
        return false;
    h.version = data[1];
    h.encoding = data[2];
    h.bitsPerPixel = data[3];
    const int xmin = le16(&data[4]), ymin = le16(&data[6]);
    const int xmax = le16(&data[8]), ymax = le16(&data[10]);
    h.width = int64_t(xmax) - xmin + 1;
    h.height = int64_t(ymax) - ymin + 1;
    h.palette16 = &data[16];
    h.planes = data[65];
    h.bytesPerLine = le16(&data[66]);
    return true;
}

bool sniffPcx(Bytes data)
{
    Header h;
    if (!parseHeader(data, h))
        return false;
    const int v = h.version;
    if (!(v == 0 || v == 2 || v == 3 || v == 4 || v == 5) || h.encoding != 1)
        return false;
    const int b = h.bitsPerPixel;
    if (!(b == 1 || b == 2 || b == 4 || b == 8))
        return false;
    return h.width > 0 && h.height > 0 && h.planes >= 1 && h.planes <= 4 && h.bytesPerLine > 0 &&
           int64_t(h.bytesPerLine) * 8 >= h.width * b;
}

// The pixel bytes of a file, one line of all planes at a time, either run
// coded (a run may go on into the next line) or stored as they are.
class LineReader {
public:
    LineReader(Bytes data, bool rle) : m_data(data), m_rle(rle) {}

    // Fills line with the next line's bytes; false when the data ends first.
    bool next(uint8_t* line, size_t size)
    {
        if (!m_rle) {
            if (m_data.size() - m_pos < size)
                return false;
            std::memcpy(line, m_data.data() + m_pos, size);
            m_pos += size;
            return true;
        }
        size_t done = 0;
        while (done < size) {
            if (m_runLeft > 0) {
                const size_t n = std::min(size - done, m_runLeft);
                std::memset(line + done, m_runValue, n);
                done += n;
                m_runLeft -= n;
                continue;
            }
            if (m_pos >= m_data.size())
                return false;
            const uint8_t b = m_data[m_pos++];
            if ((b & 0xC0) == 0xC0) {
                if (m_pos >= m_data.size())
                    return false;
                m_runLeft = b & 0x3F;
                m_runValue = m_data[m_pos++];
            } else {
                line[done++] = b;
            }
        }
        return true;
    }

    // Where the stream stands after the last line read.
    size_t position() const { return m_pos; }

private:
    Bytes m_data;
    bool m_rle;
    size_t m_pos = 0;
    size_t m_runLeft = 0;
    uint8_t m_runValue = 0;
};

ImageError decodePcx(Bytes data, DibGuard& out, const Progress& progress)
{
    Header h;
    if (!parseHeader(data, h))
        return ImageError::Damaged;
    if (h.encoding > 1)
        return ImageError::Unsupported;
    if (h.width <= 0 || h.height <= 0)
        return ImageError::Damaged;

    const int bpp = h.bitsPerPixel, planes = h.planes;
    int bitCount = 0;
    if (bpp == 8 && planes == 1)
        bitCount = 8;
    else if (bpp == 8 && (planes == 3 || planes == 4))
        bitCount = 24;
    else if ((bpp == 1 && planes >= 1 && planes <= 4) || ((bpp == 2 || bpp == 4) && planes == 1) ||
             (bpp == 2 && planes == 2))
        bitCount = bpp * planes == 1 ? 1 : 4;
    else
        return ImageError::Unsupported;

    if (const ImageError e = checkImageSize(h.width, h.height, bitCount); e != ImageError::None)
        return e;
    if (h.bytesPerLine <= 0 || int64_t(h.bytesPerLine) * 8 < h.width * bpp)
        return ImageError::Damaged;

    // The 256-colour palette closes the file; the pixel bytes stop before it.
    Bytes pixels = data.subspan(kHeaderSize);
    const uint8_t* vgaPalette = nullptr;
    if (bitCount == 8 && data.size() >= kHeaderSize + kVgaPaletteSize &&
        data[data.size() - kVgaPaletteSize] == 0x0C) {
        vgaPalette = &data[data.size() - kVgaPaletteSize + 1];
        pixels = data.subspan(kHeaderSize, data.size() - kHeaderSize - kVgaPaletteSize);
    }

    // A run of up to 63 bytes takes two bytes of input: a file too short for
    // the claimed size is refused before anything is allocated.
    const uint64_t lineSize = uint64_t(h.bytesPerLine) * uint64_t(planes);
    const uint64_t total = lineSize * uint64_t(h.height);
    const uint64_t most = h.encoding == 1 ? uint64_t(pixels.size()) * 32 + 63 : uint64_t(pixels.size());
    if (total > most)
        return ImageError::Damaged;

    if (const ImageError e = makeImage(out, int32_t(h.width), int32_t(h.height), bitCount);
        e != ImageError::None)
        return e;

    TDibRecord& dib = out.get();
    if (bitCount <= 4) {
        const int colours = bitCount == 1 ? 2 : 16;
        const uint8_t* p = h.palette16;
        if (bitCount == 1 && std::memcmp(p, p + 3, 3) == 0) {
            setPaletteEntry(dib, 0, 0, 0, 0);
            setPaletteEntry(dib, 1, 255, 255, 255);
        } else {
            for (int i = 0; i < colours; ++i)
                setPaletteEntry(dib, i, p[3 * i], p[3 * i + 1], p[3 * i + 2]);
        }
        refreshPalette(dib);
    } else if (bitCount == 8 && vgaPalette) {
        for (int i = 0; i < 256; ++i)
            setPaletteEntry(dib, i, vgaPalette[3 * i], vgaPalette[3 * i + 1], vgaPalette[3 * i + 2]);
        refreshPalette(dib);
    } // else: the grey ramp newdib gave the picture

    const int32_t w = int32_t(h.width), rows = int32_t(h.height);
    const size_t bpl = size_t(h.bytesPerLine);
    std::vector<uint8_t> line(static_cast<size_t>(lineSize));
    LineReader reader(pixels, h.encoding == 1);
    ProgressReporter reporter(progress);
    for (int32_t y = 0; y < rows; ++y) {
        if (!reader.next(line.data(), line.size())) {
            out.reset();
            return ImageError::Damaged;
        }
        uint8_t* dst = DibRow(dib, y);
        if (bitCount == 24) {
            const uint8_t* r = line.data();
            const uint8_t* g = r + bpl;
            const uint8_t* b = g + bpl;
            for (int32_t x = 0; x < w; ++x) {
                dst[3 * x] = b[x];
                dst[3 * x + 1] = g[x];
                dst[3 * x + 2] = r[x];
            }
        } else if (bitCount == 8) {
            std::memcpy(dst, line.data(), size_t(w));
        } else if (bpp == 1 && planes == 1) {
            std::memcpy(dst, line.data(), size_t((w + 7) / 8));
        } else if (bpp == 4) {
            std::memcpy(dst, line.data(), size_t((w + 1) / 2));
        } else {
            // Index bits come from each plane in turn, plane 0 the lowest.
            const int mask = (1 << bpp) - 1;
            const int perByte = 8 / bpp;
            for (int32_t x = 0; x < w; ++x) {
                const size_t at = size_t(x / perByte);
                const int shift = 8 - bpp * (x % perByte + 1);
                int index = 0;
                for (int p = 0; p < planes; ++p)
                    index |= ((line[size_t(p) * bpl + at] >> shift) & mask) << (p * bpp);
                if (x & 1)
                    dst[x >> 1] = uint8_t(dst[x >> 1] | index);
                else
                    dst[x >> 1] = uint8_t(index << 4);
            }
        }
        reporter.rows(y + 1, rows);
    }

    // A palette marker without its 768 colours behind it: the file was cut.
    if (bitCount == 8 && !vgaPalette && reader.position() < pixels.size() &&
        pixels[reader.position()] == 0x0C)
    {
        out.reset();
        return ImageError::Damaged;
    }
    return ImageError::None;
}

// ---------------------------------------------------------------------------
// Writing

void put16(std::vector<uint8_t>& out, size_t at, int value)
{
    out[at] = uint8_t(value);
    out[at + 1] = uint8_t(value >> 8);
}

// Appends one plane's line, run coded.
void encodeLine(const uint8_t* line, size_t size, std::vector<uint8_t>& out)
{
    size_t i = 0;
    while (i < size) {
        const uint8_t v = line[i];
        size_t n = 1;
        while (i + n < size && n < 63 && line[i + n] == v)
            ++n;
        if (n > 1 || (v & 0xC0) == 0xC0)
            out.push_back(uint8_t(0xC0 | n));
        out.push_back(v);
        i += n;
    }
}

ImageError encodePcx(const TDibRecord& dib, std::vector<uint8_t>& out, const EncodeOptions&,
                     const Progress& progress)
{
    const int32_t w = DibWidth(dib), h = DibHeight(dib), bc = DibBitCount(dib);
    if (w <= 0 || h <= 0 || w > 65535 || h > 65535)
        return ImageError::CannotWrite;
    int bpp = 8, planes = 1;
    switch (bc) {
    case 1: bpp = 1; planes = 1; break;
    case 4: bpp = 1; planes = 4; break;
    case 8: bpp = 8; planes = 1; break;
    case 24: bpp = 8; planes = 3; break;
    default: return ImageError::CannotWrite;
    }
    const size_t bpl = size_t((int64_t(w) * bpp + 15) / 16 * 2);

    const size_t start = out.size();
    out.resize(start + kHeaderSize, 0);
    uint8_t* hd = out.data() + start;
    hd[0] = 0x0A;
    hd[1] = 5;
    hd[2] = 1;
    hd[3] = uint8_t(bpp);
    put16(out, start + 8, w - 1);
    put16(out, start + 10, h - 1);
    put16(out, start + 12, 72);
    put16(out, start + 14, 72);
    if (bc <= 4) {
        const RGBQUAD* table = dib.Info->bmiColors;
        for (int i = 0; i < (1 << bc); ++i) {
            out[start + 16 + 3 * size_t(i)] = table[i].rgbRed;
            out[start + 17 + 3 * size_t(i)] = table[i].rgbGreen;
            out[start + 18 + 3 * size_t(i)] = table[i].rgbBlue;
        }
    }
    out[start + 65] = uint8_t(planes);
    put16(out, start + 66, int(bpl));
    put16(out, start + 68, bc == 8 && hasGreyRamp(dib) ? 2 : 1);

    std::vector<uint8_t> line(bpl * size_t(planes));
    ProgressReporter reporter(progress);
    for (int32_t y = 0; y < h; ++y) {
        std::fill(line.begin(), line.end(), 0);
        const uint8_t* src = DibRow(dib, y);
        if (bc == 24) {
            for (int32_t x = 0; x < w; ++x) {
                line[size_t(x)] = src[3 * x + 2];
                line[bpl + size_t(x)] = src[3 * x + 1];
                line[2 * bpl + size_t(x)] = src[3 * x];
            }
        } else if (bc == 8) {
            std::memcpy(line.data(), src, size_t(w));
        } else if (bc == 1) {
            std::memcpy(line.data(), src, size_t((w + 7) / 8));
            // Bits past the width stay clear.
            if (w % 8)
                line[size_t(w / 8)] &= uint8_t(0xFF << (8 - w % 8));
        } else {
            for (int32_t x = 0; x < w; ++x) {
                const int index = (x & 1) ? (src[x >> 1] & 0x0F) : (src[x >> 1] >> 4);
                for (int p = 0; p < 4; ++p) {
                    if (index & (1 << p))
                        line[size_t(p) * bpl + size_t(x >> 3)] |= uint8_t(0x80 >> (x & 7));
                }
            }
        }
        for (int p = 0; p < planes; ++p)
            encodeLine(line.data() + size_t(p) * bpl, bpl, out);
        reporter.rows(y + 1, h);
    }

    if (bc == 8) {
        out.push_back(0x0C);
        const RGBQUAD* table = dib.Info->bmiColors;
        for (int i = 0; i < 256; ++i) {
            out.push_back(table[i].rgbRed);
            out.push_back(table[i].rgbGreen);
            out.push_back(table[i].rgbBlue);
        }
    }
    return ImageError::None;
}

} // namespace

const Codec kPcxCodec = {"Pcx", sniffPcx, decodePcx, encodePcx};

} // namespace raster
