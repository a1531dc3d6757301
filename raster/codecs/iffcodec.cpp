// IFF pictures (format numbers 6 IFF and 9 LBM): FORM ILBM and FORM PBM.
//
// Reading: the BMHD, CMAP, CAMG and BODY chunks of the FORM; other chunks
// are skipped, odd-sized ones with their pad byte. BODY rows are ByteRun1
// coded or stored; each plane of a row holds ((width + 15) / 16) * 2 bytes
// and is decoded on its own: a run past the end of its plane row is cut
// off, a BODY that ends early is damage.
// - ILBM of 1 plane: 1-bit pictures; 2 to 4 planes: 4-bit; 5 to 8: 8-bit;
//   the colours come from CMAP, entries it lacks are black (without any
//   CMAP the picture gets a grey ramp). Extra-halfbrite files (CAMG bit
//   0x80, 6 planes) get colours 32 to 63 as the halves of 0 to 31.
// - Hold-and-modify files (CAMG bit 0x800, 6 or 8 planes; a change
//   replaces the upper 4 or 6 bits of a part and keeps its lower bits) and
//   ILBM of 24 planes (red, green, blue, 8 planes each, lowest bit first)
//   or 32 planes (the last 8, alpha, dropped) become 24-bit pictures.
// - PBM: one byte per pixel, rows padded to an even length: 8-bit pictures.
// A mask plane (masking 1) behind the bit planes of each row is skipped.
//
// Writing: FORM ILBM with BMHD, CMAP (for 1-, 4- and 8-bit pictures, of 2,
// 16 and 256 colours) and a ByteRun1 coded BODY of 1, 4, 8 or 24 planes;
// both format numbers get the same bytes.

#include "raster/codecs/codecs.h"
#include "raster/rasterio.h"

#include <algorithm>
#include <cstring>

namespace raster {

namespace {

constexpr uint32_t kCamgExtraHalfbrite = 0x80;
constexpr uint32_t kCamgHoldAndModify = 0x800;

uint32_t be32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

uint16_t be16(const uint8_t* p)
{
    return uint16_t(p[0] << 8 | p[1]);
}

bool sniffIff(Bytes data)
{
    return data.size() >= 12 && std::memcmp(data.data(), "FORM", 4) == 0 &&
           (std::memcmp(data.data() + 8, "ILBM", 4) == 0 || std::memcmp(data.data() + 8, "PBM ", 4) == 0);
}

struct BitmapHeader {
    int width = 0;
    int height = 0;
    int planes = 0;
    int masking = 0;
    int compression = 0;
};

// BODY bytes, one plane row at a time.
class RowReader {
public:
    RowReader(Bytes data, bool byteRun1) : m_data(data), m_packed(byteRun1) {}

    // Fills dst with the next size bytes; false when the data ends first.
    bool next(uint8_t* dst, size_t size)
    {
        if (!m_packed) {
            if (m_data.size() - m_pos < size)
                return false;
            std::memcpy(dst, m_data.data() + m_pos, size);
            m_pos += size;
            return true;
        }
        size_t done = 0;
        while (done < size) {
            if (m_pos >= m_data.size())
                return false;
            const auto n = int8_t(m_data[m_pos++]);
            if (n >= 0) {
                const size_t count = size_t(n) + 1;
                if (m_data.size() - m_pos < count)
                    return false;
                const size_t kept = std::min(count, size - done);
                std::memcpy(dst + done, m_data.data() + m_pos, kept);
                m_pos += count;
                done += kept;
            } else if (n != -128) {
                if (m_pos >= m_data.size())
                    return false;
                const size_t count = size_t(1 - n);
                const size_t kept = std::min(count, size - done);
                std::memset(dst + done, m_data[m_pos++], kept);
                done += kept;
            }
        }
        return true;
    }

private:
    Bytes m_data;
    bool m_packed;
    size_t m_pos = 0;
};

ImageError decodeIff(Bytes data, DibGuard& out, const Progress& progress)
{
    if (!sniffIff(data))
        return ImageError::Damaged;
    const bool chunky = std::memcmp(data.data() + 8, "PBM ", 4) == 0;
    const size_t end = size_t(std::min<uint64_t>(uint64_t(be32(data.data() + 4)) + 8, data.size()));

    // Collect the chunks; a chunk cut short by the end of the file keeps
    // what is there.
    bool haveHeader = false, haveBody = false;
    BitmapHeader bmhd;
    Bytes cmap, body;
    uint32_t camg = 0;
    for (size_t pos = 12; pos + 8 <= end;) {
        const uint8_t* id = data.data() + pos;
        const uint64_t size = be32(id + 4);
        const size_t start = pos + 8;
        const size_t have = size_t(std::min<uint64_t>(size, end - start));
        const Bytes chunk = data.subspan(start, have);
        if (std::memcmp(id, "BMHD", 4) == 0) {
            if (have < 20)
                return ImageError::Damaged;
            bmhd.width = be16(&chunk[0]);
            bmhd.height = be16(&chunk[2]);
            bmhd.planes = chunk[8];
            bmhd.masking = chunk[9];
            bmhd.compression = chunk[10];
            haveHeader = true;
        } else if (std::memcmp(id, "CMAP", 4) == 0) {
            if (have < size)
                return ImageError::Damaged;
            cmap = chunk;
        } else if (std::memcmp(id, "CAMG", 4) == 0) {
            if (have >= 4)
                camg = be32(&chunk[0]);
        } else if (std::memcmp(id, "BODY", 4) == 0) {
            body = chunk;
            haveBody = true;
        }
        if (have < size)
            break;
        pos = start + have + (size & 1);
    }
    if (!haveHeader || !haveBody)
        return ImageError::Damaged;
    if (bmhd.compression > 1)
        return ImageError::Unsupported;
    if (bmhd.planes == 0)
        return ImageError::Damaged;

    const int planes = bmhd.planes;
    const bool ham = !chunky && (camg & kCamgHoldAndModify) != 0;
    const bool halfbrite = !chunky && !ham && (camg & kCamgExtraHalfbrite) != 0 && planes == 6;
    int bitCount = 0;
    if (chunky)
        bitCount = planes <= 8 ? 8 : 0;
    else if (ham)
        bitCount = planes == 6 || planes == 8 ? 24 : 0;
    else if (planes == 24 || planes == 32)
        bitCount = 24;
    else if (planes <= 8)
        bitCount = planes == 1 ? 1 : planes <= 4 ? 4 : 8;
    if (bitCount == 0 || (chunky && bmhd.masking == 1))
        return ImageError::Unsupported;
    if (const ImageError e = checkImageSize(bmhd.width, bmhd.height, bitCount); e != ImageError::None)
        return e;

    const int w = bmhd.width, h = bmhd.height;
    const size_t planeRow = chunky ? size_t(w + (w & 1)) : size_t((w + 15) / 16 * 2);
    const int storedPlanes = chunky ? 1 : planes + (bmhd.masking == 1 ? 1 : 0);
    // ByteRun1 makes at most 128 bytes of two: a BODY too short for the
    // claimed size is refused before anything is allocated.
    const uint64_t total = uint64_t(planeRow) * uint64_t(storedPlanes) * uint64_t(h);
    const uint64_t most = bmhd.compression == 1 ? uint64_t(body.size()) * 64 + 128 : uint64_t(body.size());
    if (total > most)
        return ImageError::Damaged;

    if (const ImageError e = makeImage(out, w, h, bitCount); e != ImageError::None)
        return e;
    TDibRecord& dib = out.get();

    // Colours: CMAP entries, the rest black; halfbrite halves.
    const int cmapEntries = int(cmap.size() / 3);
    RGBQUAD colours[256]{};
    for (int i = 0; i < std::min(cmapEntries, 256); ++i)
        colours[i] = RGBQUAD{cmap[3 * size_t(i) + 2], cmap[3 * size_t(i) + 1], cmap[3 * size_t(i)], 0};
    if (halfbrite && cmapEntries < 64) {
        for (int i = 32; i < 64; ++i) {
            const RGBQUAD q = colours[i - 32];
            colours[i] = RGBQUAD{uint8_t(q.rgbBlue >> 1), uint8_t(q.rgbGreen >> 1), uint8_t(q.rgbRed >> 1), 0};
        }
    }
    if (bitCount <= 8 && cmapEntries > 0) {
        for (int i = 0; i < (1 << bitCount); ++i)
            setPaletteEntry(dib, i, colours[i].rgbRed, colours[i].rgbGreen, colours[i].rgbBlue);
        refreshPalette(dib);
    } // without CMAP: the grey ramp newdib gave the picture

    std::vector<uint8_t> rowBytes(planeRow * size_t(storedPlanes));
    std::vector<uint32_t> values(static_cast<size_t>(w));
    RowReader reader(body, bmhd.compression == 1);
    ProgressReporter reporter(progress);
    for (int y = 0; y < h; ++y) {
        for (int p = 0; p < storedPlanes; ++p) {
            if (!reader.next(rowBytes.data() + size_t(p) * planeRow, planeRow)) {
                out.reset();
                return ImageError::Damaged;
            }
        }
        uint8_t* dst = DibRow(dib, y);
        if (chunky) {
            std::memcpy(dst, rowBytes.data(), size_t(w));
            reporter.rows(y + 1, h);
            continue;
        }
        // The value of each pixel, plane 0 its lowest bit.
        const int valuePlanes = std::min(planes, 24);
        std::fill(values.begin(), values.end(), 0);
        for (int p = 0; p < valuePlanes; ++p) {
            const uint8_t* plane = rowBytes.data() + size_t(p) * planeRow;
            for (int x = 0; x < w; ++x)
                values[size_t(x)] |= uint32_t((plane[x >> 3] >> (7 - (x & 7))) & 1) << p;
        }
        if (ham) {
            // Each pixel takes a colour from the map or replaces the upper
            // bits of one part of the pixel before it, keeping its lower
            // bits (as the display hardware does); a row starts from
            // colour 0.
            const int dataBits = planes - 2;
            const uint32_t dataMask = (1u << dataBits) - 1;
            const auto keep = uint8_t((1u << (8 - dataBits)) - 1);
            auto modify = [&](uint8_t part, uint32_t v) { return uint8_t(v << (8 - dataBits) | (part & keep)); };
            RGBQUAD c = colours[0];
            for (int x = 0; x < w; ++x) {
                const uint32_t v = values[size_t(x)] & dataMask;
                switch (values[size_t(x)] >> dataBits) {
                case 0: c = colours[v]; break;
                case 1: c.rgbBlue = modify(c.rgbBlue, v); break;
                case 2: c.rgbRed = modify(c.rgbRed, v); break;
                default: c.rgbGreen = modify(c.rgbGreen, v); break;
                }
                dst[3 * x] = c.rgbBlue;
                dst[3 * x + 1] = c.rgbGreen;
                dst[3 * x + 2] = c.rgbRed;
            }
        } else if (bitCount == 24) {
            for (int x = 0; x < w; ++x) {
                const uint32_t v = values[size_t(x)];
                dst[3 * x] = uint8_t(v >> 16);
                dst[3 * x + 1] = uint8_t(v >> 8);
                dst[3 * x + 2] = uint8_t(v);
            }
        } else if (bitCount == 8) {
            for (int x = 0; x < w; ++x)
                dst[x] = uint8_t(values[size_t(x)]);
        } else if (bitCount == 4) {
            for (int x = 0; x < w; ++x) {
                if (x & 1)
                    dst[x >> 1] = uint8_t(dst[x >> 1] | values[size_t(x)]);
                else
                    dst[x >> 1] = uint8_t(values[size_t(x)] << 4);
            }
        } else {
            std::memcpy(dst, rowBytes.data(), size_t((w + 7) / 8));
        }
        reporter.rows(y + 1, h);
    }
    return ImageError::None;
}

// ---------------------------------------------------------------------------
// Writing

void putBe32(std::vector<uint8_t>& out, size_t at, uint32_t v)
{
    out[at] = uint8_t(v >> 24);
    out[at + 1] = uint8_t(v >> 16);
    out[at + 2] = uint8_t(v >> 8);
    out[at + 3] = uint8_t(v);
}

void appendBe16(std::vector<uint8_t>& out, int v)
{
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v));
}

// Starts a chunk and returns where its size goes.
size_t beginChunk(std::vector<uint8_t>& out, const char* id)
{
    out.insert(out.end(), id, id + 4);
    out.insert(out.end(), 4, 0);
    return out.size() - 4;
}

void endChunk(std::vector<uint8_t>& out, size_t sizeAt)
{
    putBe32(out, sizeAt, uint32_t(out.size() - sizeAt - 4));
    if ((out.size() - sizeAt) & 1)
        out.push_back(0);
}

// Appends one plane row, ByteRun1 coded: runs of three or more equal bytes
// as repeats, everything else as literals.
void byteRun1(const uint8_t* row, size_t size, std::vector<uint8_t>& out)
{
    auto runAt = [&](size_t i) {
        size_t n = 1;
        while (i + n < size && n < 128 && row[i + n] == row[i])
            ++n;
        return n;
    };
    size_t i = 0;
    while (i < size) {
        const size_t run = runAt(i);
        if (run >= 3) {
            out.push_back(uint8_t(257 - run)); // -(run - 1)
            out.push_back(row[i]);
            i += run;
            continue;
        }
        size_t n = 0;
        while (i + n < size && n < 128 && runAt(i + n) < 3)
            ++n;
        out.push_back(uint8_t(n - 1));
        out.insert(out.end(), row + i, row + i + n);
        i += n;
    }
}

ImageError encodeIff(const TDibRecord& dib, std::vector<uint8_t>& out, const EncodeOptions&,
                     const Progress& progress)
{
    const int32_t w = DibWidth(dib), h = DibHeight(dib), bc = DibBitCount(dib);
    if (w <= 0 || h <= 0 || w > 65535 || h > 65535 || !(bc == 1 || bc == 4 || bc == 8 || bc == 24))
        return ImageError::CannotWrite;
    const int planes = bc;

    const size_t form = out.size();
    out.insert(out.end(), {'F', 'O', 'R', 'M', 0, 0, 0, 0, 'I', 'L', 'B', 'M'});

    size_t at = beginChunk(out, "BMHD");
    appendBe16(out, w);
    appendBe16(out, h);
    appendBe16(out, 0); // position
    appendBe16(out, 0);
    out.push_back(uint8_t(planes));
    out.push_back(0); // no mask
    out.push_back(1); // ByteRun1
    out.push_back(0);
    appendBe16(out, 0); // transparent colour
    out.push_back(1);   // square pixels
    out.push_back(1);
    appendBe16(out, w); // page size
    appendBe16(out, h);
    endChunk(out, at);

    if (bc <= 8) {
        at = beginChunk(out, "CMAP");
        for (int i = 0; i < (1 << bc); ++i) {
            const RGBQUAD q = dib.Info->bmiColors[i];
            out.push_back(q.rgbRed);
            out.push_back(q.rgbGreen);
            out.push_back(q.rgbBlue);
        }
        endChunk(out, at);
    }

    at = beginChunk(out, "BODY");
    const size_t planeRow = size_t((w + 15) / 16 * 2);
    std::vector<uint8_t> rows(planeRow * size_t(planes));
    ProgressReporter reporter(progress);
    for (int32_t y = 0; y < h; ++y) {
        std::fill(rows.begin(), rows.end(), 0);
        const uint8_t* src = DibRow(dib, y);
        for (int32_t x = 0; x < w; ++x) {
            uint32_t v = 0;
            switch (bc) {
            case 1: v = (src[x >> 3] >> (7 - (x & 7))) & 1; break;
            case 4: v = (x & 1) ? (src[x >> 1] & 0x0F) : (src[x >> 1] >> 4); break;
            case 8: v = src[x]; break;
            default: v = src[3 * x + 2] | uint32_t(src[3 * x + 1]) << 8 | uint32_t(src[3 * x]) << 16; break;
            }
            const auto bit = uint8_t(0x80 >> (x & 7));
            for (int p = 0; p < planes; ++p) {
                if (v & (1u << p))
                    rows[size_t(p) * planeRow + size_t(x >> 3)] |= bit;
            }
        }
        for (int p = 0; p < planes; ++p)
            byteRun1(rows.data() + size_t(p) * planeRow, planeRow, out);
        reporter.rows(y + 1, h);
    }
    endChunk(out, at);
    putBe32(out, form + 4, uint32_t(out.size() - form - 8));
    return ImageError::None;
}

} // namespace

const Codec kIffCodec = {"Iff", sniffIff, decodeIff, encodeIff};

} // namespace raster
