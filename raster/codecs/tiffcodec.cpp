// TIFF through libtiff, from and to bytes in memory.
//
// Reading takes the first page of a file and gives:
// - 1-bit pictures for bilevel files (black on white either way round) and
//   1-bit palettes;
// - 4-bit pictures for 2- and 4-bit palettes and for 2- and 4-bit grey (a
//   16-step grey ramp);
// - 8-bit pictures for 8-bit palettes and 8- and 16-bit grey (a grey ramp);
// - 24-bit pictures for RGB (8 or 16 bits per sample), CMYK, and every file
//   with an alpha channel, which is laid onto white.
// Strips and tiles, contiguous and separate planes, and every compression
// libtiff decodes are read. Other colour models libtiff can turn into RGB
// (subsampled YCbCr, old-style JPEG, LogLuv, CIE L*a*b*) go through its RGBA
// interface. Rows are taken in the order they are stored: the orientation
// tag is not applied, as other viewers of these files do not apply it either.
//
// Writing gives LZW-compressed files: 1-bit pictures as bilevel when their
// colours are black and white, 8-bit grey-ramp pictures as grey, other
// palette pictures with their colour table, 24-bit pictures as RGB.

#include "raster/codecs/codecs.h"
#include "raster/rasterio.h"

#include <tiffio.h>

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace raster {

namespace {

// No single buffer of a decode, and no strip or tile, may claim more.
constexpr uint64_t kMaxBufferBytes = uint64_t(1) << 30;
// Samples per pixel beyond this are not read.
constexpr uint16_t kMaxSamples = 16;

// ---------------------------------------------------------------------------
// libtiff over memory

// The bytes a decode reads. libtiff maps them and reads no further.
struct Source {
    const uint8_t* data = nullptr;
    uint64_t size = 0;
    uint64_t pos = 0;
    bool error = false; // libtiff reported an error
};

// The growing file an encode writes.
struct Sink {
    std::vector<uint8_t> bytes;
    uint64_t pos = 0;
    bool error = false;
    bool outOfMemory = false;
};

int quietError(TIFF*, void* user, const char*, const char*, va_list)
{
    *static_cast<bool*>(user) = true;
    return 1;
}

int quietWarning(TIFF*, void*, const char*, const char*, va_list)
{
    return 1;
}

toff_t seekTo(uint64_t& pos, uint64_t size, toff_t offset, int whence)
{
    uint64_t target = offset;
    if (whence == SEEK_CUR)
        target = pos + offset; // negative offsets arrive as their two's complement
    else if (whence == SEEK_END)
        target = size + offset;
    if (target > uint64_t(INT64_MAX))
        return toff_t(-1);
    pos = target;
    return target;
}

tmsize_t sourceRead(thandle_t handle, void* buffer, tmsize_t count)
{
    auto* s = static_cast<Source*>(handle);
    if (count <= 0 || s->pos >= s->size)
        return 0;
    const uint64_t n = std::min<uint64_t>(uint64_t(count), s->size - s->pos);
    std::memcpy(buffer, s->data + s->pos, size_t(n));
    s->pos += n;
    return tmsize_t(n);
}

tmsize_t sourceWrite(thandle_t, void*, tmsize_t)
{
    return 0;
}

toff_t sourceSeek(thandle_t handle, toff_t offset, int whence)
{
    auto* s = static_cast<Source*>(handle);
    return seekTo(s->pos, s->size, offset, whence);
}

toff_t sourceSize(thandle_t handle)
{
    return static_cast<Source*>(handle)->size;
}

int sourceMap(thandle_t handle, void** base, toff_t* size)
{
    auto* s = static_cast<Source*>(handle);
    // libtiff only reads through the mapping of a file opened for reading.
    *base = const_cast<uint8_t*>(s->data);
    *size = s->size;
    return 1;
}

tmsize_t sinkRead(thandle_t handle, void* buffer, tmsize_t count)
{
    auto* s = static_cast<Sink*>(handle);
    if (count <= 0 || s->pos >= s->bytes.size())
        return 0;
    const uint64_t n = std::min<uint64_t>(uint64_t(count), s->bytes.size() - s->pos);
    std::memcpy(buffer, s->bytes.data() + s->pos, size_t(n));
    s->pos += n;
    return tmsize_t(n);
}

tmsize_t sinkWrite(thandle_t handle, void* buffer, tmsize_t count)
{
    auto* s = static_cast<Sink*>(handle);
    if (count < 0)
        return 0;
    const uint64_t end = s->pos + uint64_t(count);
    if (end > UINT32_MAX) // beyond what a classic TIFF can address
        return 0;
    try {
        if (end > s->bytes.size())
            s->bytes.resize(size_t(end));
    } catch (const std::bad_alloc&) {
        s->outOfMemory = true;
        return 0;
    }
    std::memcpy(s->bytes.data() + s->pos, buffer, size_t(count));
    s->pos = end;
    return count;
}

toff_t sinkSeek(thandle_t handle, toff_t offset, int whence)
{
    auto* s = static_cast<Sink*>(handle);
    return seekTo(s->pos, s->bytes.size(), offset, whence);
}

toff_t sinkSize(thandle_t handle)
{
    return static_cast<Sink*>(handle)->bytes.size();
}

int noClose(thandle_t)
{
    return 0;
}

int noMap(thandle_t, void**, toff_t*)
{
    return 0;
}

void noUnmap(thandle_t, void*, toff_t) {}

struct TiffClose {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffClose>;

struct OptionsFree {
    void operator()(TIFFOpenOptions* o) const { TIFFOpenOptionsFree(o); }
};

// Opens a handle whose messages go nowhere; errors set *errorFlag.
TiffPtr openTiff(const char* mode, thandle_t client, bool* errorFlag, TIFFReadWriteProc read,
                 TIFFReadWriteProc write, TIFFSeekProc seek, TIFFSizeProc size, TIFFMapFileProc map)
{
    std::unique_ptr<TIFFOpenOptions, OptionsFree> options(TIFFOpenOptionsAlloc());
    if (!options)
        return nullptr;
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), quietError, errorFlag);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), quietWarning, nullptr);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), tmsize_t(kMaxBufferBytes));
    return TiffPtr(TIFFClientOpenExt("memory", mode, client, read, write, seek, noClose, size, map, noUnmap,
                                     options.get()));
}

template <typename T>
std::unique_ptr<T[]> allocateBuffer(uint64_t count)
{
    return std::unique_ptr<T[]>(new (std::nothrow) T[size_t(count)]);
}

// ---------------------------------------------------------------------------
// Reading

// 16-bit value to 8 bits. Rounded down, as ImageMagick does, so both
// programs show the same picture.
inline uint8_t to8(uint32_t v)
{
    return uint8_t(v / 257);
}

inline uint32_t sampleAt(const uint8_t* row, uint64_t index, int bits)
{
    switch (bits) {
    case 8: return row[index];
    case 16: {
        uint16_t v; // libtiff hands samples over in host order
        std::memcpy(&v, row + 2 * index, 2);
        return v;
    }
    case 4: return (row[index >> 1] >> ((index & 1) ? 0 : 4)) & 0x0F;
    case 2: return (row[index >> 2] >> (6 - 2 * (index & 3))) & 0x03;
    default: return (row[index >> 3] >> (7 - (index & 7))) & 0x01;
    }
}

inline void putIndex(uint8_t* row, int32_t x, uint32_t index, int bitCount)
{
    switch (bitCount) {
    case 8: row[x] = uint8_t(index); break;
    case 4: {
        uint8_t& b = row[x >> 1];
        b = (x & 1) ? uint8_t((b & 0xF0) | index) : uint8_t((b & 0x0F) | (index << 4));
        break;
    }
    default: {
        uint8_t& b = row[x >> 3];
        const auto bit = uint8_t(0x80 >> (x & 7));
        b = index ? uint8_t(b | bit) : uint8_t(b & ~bit);
        break;
    }
    }
}

enum class Model { Grey, Palette, Rgb, Cmyk };

// How a file's samples become the picture's pixels.
struct Plan {
    Model model = Model::Grey;
    bool minIsWhite = false;
    int bits = 8;          // bits per sample
    int samples = 1;       // samples per pixel
    bool separate = false; // one plane per sample
    int colourSamples = 1;
    int alphaSample = -1; // index of the alpha sample, -1: none
    bool associated = false;
    int outBits = 8;
    std::array<RGBQUAD, 256> table{};
    int tableSize = 0;
    std::array<uint8_t, 256> lut{}; // sample value to index, up to 8 bits
};

// A band of whole rows (one strip or one row of tiles), each plane on its own.
class BandReader {
public:
    BandReader(TIFF* tif, const Plan& plan, uint32_t width, uint32_t height, bool& error)
        : m_tif(tif), m_width(width), m_height(height), m_planes(plan.separate ? plan.samples : 1), m_error(error)
    {
        m_pixelBits = uint64_t(plan.bits) * uint64_t(plan.separate ? 1 : plan.samples);
        m_rowBytes = (uint64_t(width) * m_pixelBits + 7) / 8;
    }

    ImageError prepare()
    {
        if (TIFFIsTiled(m_tif)) {
            m_tiled = true;
            uint32_t tw = 0, th = 0;
            if (!TIFFGetField(m_tif, TIFFTAG_TILEWIDTH, &tw) || !TIFFGetField(m_tif, TIFFTAG_TILELENGTH, &th) ||
                tw == 0 || th == 0)
                return ImageError::Damaged;
            // Tile columns must start on a byte.
            if ((uint64_t(tw) * m_pixelBits) % 8 != 0)
                return ImageError::Unsupported;
            m_tileWidth = tw;
            m_bandRows = std::min(th, m_height);
            m_tileRowBytes = uint64_t(TIFFTileRowSize64(m_tif));
            m_tileBytes = uint64_t(TIFFTileSize64(m_tif));
            if (m_tileRowBytes != (uint64_t(tw) * m_pixelBits + 7) / 8 || m_tileBytes != m_tileRowBytes * th)
                return ImageError::Unsupported;
            if (m_tileBytes == 0 || m_tileBytes > kMaxBufferBytes)
                return ImageError::Damaged;
            m_tile = allocateBuffer<uint8_t>(m_tileBytes);
            if (!m_tile)
                return ImageError::OutOfMemory;
        } else {
            uint32_t rps = m_height;
            TIFFGetFieldDefaulted(m_tif, TIFFTAG_ROWSPERSTRIP, &rps);
            m_bandRows = std::clamp<uint32_t>(rps, 1, m_height);
            if (uint64_t(TIFFScanlineSize64(m_tif)) != m_rowBytes)
                return ImageError::Unsupported;
        }
        const uint64_t bandBytes = m_rowBytes * m_bandRows;
        if (bandBytes == 0 || bandBytes > kMaxBufferBytes || bandBytes * uint64_t(m_planes) > kMaxBufferBytes)
            return ImageError::Damaged;
        // Left uninitialised: a hostile file claiming a huge strip costs no
        // memory until the decoder has data to put in it.
        for (int p = 0; p < m_planes; ++p) {
            m_band.push_back(allocateBuffer<uint8_t>(bandBytes));
            if (!m_band.back())
                return ImageError::OutOfMemory;
        }
        return ImageError::None;
    }

    uint32_t bandRows() const { return m_bandRows; }
    const uint8_t* row(int plane, uint32_t r) const { return m_band[size_t(plane)].get() + r * m_rowBytes; }

    // Decodes rows y0 .. y0 + rows - 1 of every plane.
    ImageError read(uint32_t y0, uint32_t rows)
    {
        for (int p = 0; p < m_planes; ++p) {
            uint8_t* band = m_band[size_t(p)].get();
            if (!m_tiled) {
                const tmsize_t want = tmsize_t(m_rowBytes * rows);
                const tmsize_t got = TIFFReadEncodedStrip(m_tif, TIFFComputeStrip(m_tif, y0, uint16_t(p)), band, want);
                if (got < want || m_error)
                    return ImageError::Damaged;
                continue;
            }
            for (uint32_t x = 0; x < m_width; x += m_tileWidth) {
                const uint32_t tile = TIFFComputeTile(m_tif, x, y0, 0, uint16_t(p));
                const tmsize_t got = TIFFReadEncodedTile(m_tif, tile, m_tile.get(), tmsize_t(m_tileBytes));
                if (got != tmsize_t(m_tileBytes) || m_error)
                    return ImageError::Damaged;
                const uint64_t offset = uint64_t(x) * m_pixelBits / 8;
                const uint64_t count = std::min(m_tileRowBytes, m_rowBytes - offset);
                for (uint32_t r = 0; r < rows; ++r)
                    std::memcpy(band + r * m_rowBytes + offset, m_tile.get() + r * m_tileRowBytes, size_t(count));
            }
        }
        return ImageError::None;
    }

private:
    TIFF* m_tif;
    uint32_t m_width;
    uint32_t m_height;
    int m_planes;
    bool& m_error;
    bool m_tiled = false;
    uint64_t m_pixelBits = 0; // bits of one pixel in one plane
    uint64_t m_rowBytes = 0;  // one plane's row of the whole width
    uint32_t m_bandRows = 1;
    uint32_t m_tileWidth = 0;
    uint64_t m_tileRowBytes = 0;
    uint64_t m_tileBytes = 0;
    std::unique_ptr<uint8_t[]> m_tile;
    std::vector<std::unique_ptr<uint8_t[]>> m_band;
};

// Every strip or tile must lie inside the file; a missing one is damage.
ImageError checkStriles(TIFF* tif, uint64_t fileSize)
{
    const uint64_t count = TIFFIsTiled(tif) ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
    // Each holds at least one byte of its own.
    if (count == 0 || count > fileSize)
        return ImageError::Damaged;
    for (uint64_t i = 0; i < count; ++i) {
        int err = 0;
        const uint64_t offset = TIFFGetStrileOffsetWithErr(tif, uint32_t(i), &err);
        const uint64_t bytes = err ? 0 : TIFFGetStrileByteCountWithErr(tif, uint32_t(i), &err);
        if (err || offset == 0 || bytes == 0 || offset > fileSize || bytes > fileSize - offset)
            return ImageError::Damaged;
    }
    return ImageError::None;
}

// Every value of the first page's directory must lie inside the file:
// libtiff passes over a tag whose values are cut off, and would read on
// without a colour table or with a guessed colour model.
ImageError checkDirectory(TIFF* tif, Bytes data)
{
    const bool big = data[0] == 'M';
    auto read = [&data, big](uint64_t at, int bytes) {
        uint64_t v = 0;
        for (int i = 0; i < bytes; ++i) {
            const uint64_t b = data[size_t(at) + size_t(i)];
            v |= big ? b << (8 * (bytes - 1 - i)) : b << (8 * i);
        }
        return v;
    };
    const bool bigTiff = TIFFIsBigTIFF(tif) != 0;
    const int countBytes = bigTiff ? 8 : 2, entryBytes = bigTiff ? 20 : 12, inlineBytes = bigTiff ? 8 : 4;
    const uint64_t size = data.size();
    const uint64_t ifd = TIFFCurrentDirOffset(tif);
    if (ifd > size || size - ifd < uint64_t(countBytes))
        return ImageError::Damaged;
    const uint64_t entries = read(ifd, countBytes);
    if (entries > (size - ifd - uint64_t(countBytes)) / uint64_t(entryBytes))
        return ImageError::Damaged;
    for (uint64_t i = 0; i < entries; ++i) {
        const uint64_t entry = ifd + uint64_t(countBytes) + i * uint64_t(entryBytes);
        uint64_t unit = 0;
        switch (read(entry + 2, 2)) {
        case TIFF_BYTE: case TIFF_ASCII: case TIFF_SBYTE: case TIFF_UNDEFINED: unit = 1; break;
        case TIFF_SHORT: case TIFF_SSHORT: unit = 2; break;
        case TIFF_LONG: case TIFF_SLONG: case TIFF_FLOAT: case TIFF_IFD: unit = 4; break;
        case TIFF_RATIONAL: case TIFF_SRATIONAL: case TIFF_DOUBLE: case TIFF_LONG8: case TIFF_SLONG8: case TIFF_IFD8:
            unit = 8;
            break;
        default: continue; // a type libtiff skips as well
        }
        const uint64_t count = read(entry + 4, bigTiff ? 8 : 4);
        if (count > size)
            return ImageError::Damaged;
        const uint64_t bytes = count * unit;
        if (bytes <= uint64_t(inlineBytes))
            continue;
        const uint64_t offset = read(entry + 4 + uint64_t(bigTiff ? 8 : 4), inlineBytes);
        if (offset > size || bytes > size - offset)
            return ImageError::Damaged;
    }
    return ImageError::None;
}

// One row of samples to one row of the picture.
void convertRow(const Plan& plan, const BandReader& band, uint32_t r, uint32_t width, uint8_t* dst)
{
    const int bits = plan.bits;
    const uint64_t stride = plan.separate ? 1 : uint64_t(plan.samples);
    const uint8_t* rows[kMaxSamples] = {};
    for (int c = 0; c < plan.samples; ++c)
        rows[c] = band.row(plan.separate ? c : 0, r);
    auto sample = [&](uint32_t x, int c) {
        return plan.separate ? sampleAt(rows[c], x, bits) : sampleAt(rows[0], x * stride + uint64_t(c), bits);
    };

    if (plan.outBits <= 8) {
        // Indices: copied as they are where the picture stores them alike.
        const bool sameLayout = plan.samples == 1 && bits == plan.outBits &&
                                (plan.model == Model::Palette || bits == 1 || !plan.minIsWhite);
        if (sameLayout) {
            std::memcpy(dst, rows[0], size_t((uint64_t(width) * uint64_t(bits) + 7) / 8));
            return;
        }
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t v = sample(x, 0);
            uint32_t index;
            if (bits <= 8) {
                index = plan.lut[v];
            } else {
                index = to8(v);
                if (plan.minIsWhite)
                    index = 255 - index;
            }
            putIndex(dst, int32_t(x), index, plan.outBits);
        }
        return;
    }

    if (bits == 8 && plan.model == Model::Rgb && plan.alphaSample < 0 && !plan.separate) {
        const uint8_t* src = rows[0];
        for (uint32_t x = 0; x < width; ++x, src += stride) {
            dst[3 * x] = src[2];
            dst[3 * x + 1] = src[1];
            dst[3 * x + 2] = src[0];
        }
        return;
    }

    // Everything else goes through 16-bit values.
    const uint32_t scale = 65535u / ((1u << bits) - 1u);
    for (uint32_t x = 0; x < width; ++x) {
        uint32_t c[3];
        switch (plan.model) {
        case Model::Rgb:
            for (int i = 0; i < 3; ++i)
                c[i] = sample(x, i) * scale;
            break;
        case Model::Cmyk: {
            // Inks at 8 bits, as ImageMagick shows them.
            const uint32_t k = 255 - to8(sample(x, 3) * scale);
            for (int i = 0; i < 3; ++i)
                c[i] = ((255 - to8(sample(x, i) * scale)) * k + 127) / 255 * 257;
            break;
        }
        default: { // grey; palettes never come here
            uint32_t g = sample(x, 0) * scale;
            if (plan.minIsWhite)
                g = 65535 - g;
            c[0] = c[1] = c[2] = g;
            break;
        }
        }
        if (plan.alphaSample >= 0) {
            const uint32_t a = sample(x, plan.alphaSample) * scale;
            for (uint32_t& v : c) {
                if (plan.associated)
                    v = std::min<uint32_t>(65535, v + (65535 - a));
                else
                    v = uint32_t((uint64_t(v) * a + 32767) / 65535) + (65535 - a);
            }
        }
        dst[3 * x] = to8(c[2]);
        dst[3 * x + 1] = to8(c[1]);
        dst[3 * x + 2] = to8(c[0]);
    }
}

struct RgbaEnd {
    void operator()(TIFFRGBAImage* img) const { TIFFRGBAImageEnd(img); }
};

// libtiff's own conversion to RGBA, in bands of whole strips or tile rows,
// laid onto white.
ImageError decodeThroughRgba(TIFF* tif, Source& source, uint32_t width, uint32_t height, DibGuard& out,
                             ProgressReporter& reporter)
{
    char message[1024] = {};
    if (!TIFFRGBAImageOK(tif, message))
        return ImageError::Unsupported;
    if (const ImageError e = checkImageSize(width, height, 24); e != ImageError::None)
        return e;
    // Old-style JPEG files may keep their data outside the strips.
    uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    if (compression != COMPRESSION_OJPEG) {
        if (const ImageError e = checkStriles(tif, source.size); e != ImageError::None)
            return e;
    }
    TIFFRGBAImage image{};
    if (!TIFFRGBAImageBegin(&image, tif, 1, message))
        return source.error ? ImageError::Damaged : ImageError::Unsupported;
    std::unique_ptr<TIFFRGBAImage, RgbaEnd> end(&image);
    // Rows as stored, like the other paths.
    image.req_orientation = image.orientation;

    uint32_t band = height;
    if (TIFFIsTiled(tif))
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &band);
    else
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &band);
    band = std::clamp<uint32_t>(band, 1, height);
    // Whole strips at a time, at least 16 rows, so no strip is decoded twice.
    if (band < 16)
        band = std::min(height, (16 + band - 1) / band * band);
    const uint64_t bandPixels = uint64_t(width) * band;
    if (bandPixels * 4 > kMaxBufferBytes)
        return ImageError::TooLarge;
    auto pixels = allocateBuffer<uint32_t>(bandPixels);
    if (!pixels)
        return ImageError::OutOfMemory;

    for (uint32_t y0 = 0; y0 < height; y0 += band) {
        const uint32_t rows = std::min(band, height - y0);
        image.row_offset = int(y0);
        image.col_offset = 0;
        if (!TIFFRGBAImageGet(&image, pixels.get(), width, rows) || source.error)
            return ImageError::Damaged;
        if (!out) {
            if (const ImageError e = makeImage(out, int32_t(width), int32_t(height), 24); e != ImageError::None)
                return e;
        }
        for (uint32_t r = 0; r < rows; ++r) {
            uint8_t* dst = DibRow(out.get(), int32_t(y0 + r));
            const uint32_t* src = pixels.get() + uint64_t(r) * width;
            for (uint32_t x = 0; x < width; ++x) {
                // The interface hands over premultiplied colours.
                const uint32_t p = src[x];
                const uint32_t white = 255 - TIFFGetA(p);
                dst[3 * x] = uint8_t(std::min<uint32_t>(255, TIFFGetB(p) + white));
                dst[3 * x + 1] = uint8_t(std::min<uint32_t>(255, TIFFGetG(p) + white));
                dst[3 * x + 2] = uint8_t(std::min<uint32_t>(255, TIFFGetR(p) + white));
            }
        }
        reporter.rows(y0 + rows, height);
    }
    return ImageError::None;
}

bool sniffTiff(Bytes data)
{
    if (data.size() < 4)
        return false;
    const bool little = data[0] == 'I' && data[1] == 'I' && data[3] == 0 && (data[2] == 42 || data[2] == 43);
    const bool big = data[0] == 'M' && data[1] == 'M' && data[2] == 0 && (data[3] == 42 || data[3] == 43);
    return little || big;
}

// The first page of an open file.
ImageError decodeFirstPage(TIFF* tif, Source& source, DibGuard& out, ProgressReporter& reporter)
{
    uint32_t width = 0, height = 0;
    if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width) || !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height))
        return ImageError::Damaged;
    if (const ImageError e = checkImageSize(width, height, 1); e != ImageError::None)
        return e;
    uint16_t bits = 1, samples = 1, planar = PLANARCONFIG_CONTIG, format = SAMPLEFORMAT_UINT;
    uint16_t compression = COMPRESSION_NONE, photometric = 0;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric))
        return ImageError::Damaged;

    Plan plan;
    plan.bits = bits;
    plan.samples = samples;
    plan.separate = planar == PLANARCONFIG_SEPARATE;

    bool viaRgba = false;
    switch (photometric) {
    case PHOTOMETRIC_MINISWHITE:
    case PHOTOMETRIC_MINISBLACK:
        plan.model = Model::Grey;
        plan.minIsWhite = photometric == PHOTOMETRIC_MINISWHITE;
        plan.colourSamples = 1;
        break;
    case PHOTOMETRIC_PALETTE:
        plan.model = Model::Palette;
        plan.colourSamples = 1;
        break;
    case PHOTOMETRIC_RGB:
        plan.model = Model::Rgb;
        plan.colourSamples = 3;
        break;
    case PHOTOMETRIC_YCBCR:
        // libjpeg turns JPEG-compressed YCbCr into RGB itself.
        if (compression == COMPRESSION_JPEG && !plan.separate) {
            TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
            plan.model = Model::Rgb;
            plan.colourSamples = 3;
        } else {
            viaRgba = true;
        }
        break;
    case PHOTOMETRIC_SEPARATED: {
        uint16_t inks = INKSET_CMYK;
        TIFFGetFieldDefaulted(tif, TIFFTAG_INKSET, &inks);
        if (inks != INKSET_CMYK || samples < 4)
            return ImageError::Unsupported;
        plan.model = Model::Cmyk;
        plan.colourSamples = 4;
        break;
    }
    default:
        viaRgba = true;
        break;
    }
    if (compression == COMPRESSION_OJPEG)
        viaRgba = true;
    if (viaRgba)
        return decodeThroughRgba(tif, source, width, height, out, reporter);

    if (format != SAMPLEFORMAT_UINT && format != SAMPLEFORMAT_VOID)
        return ImageError::Unsupported;
    if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16)
        return ImageError::Unsupported;
    if (samples > kMaxSamples)
        return ImageError::Unsupported;
    if (samples < plan.colourSamples)
        return ImageError::Damaged;

    // Any sample beyond the colours is taken as alpha, associated when it says so.
    if (samples > plan.colourSamples && plan.model != Model::Palette) {
        uint16_t extraCount = 0;
        uint16_t* extra = nullptr;
        if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extra) && extraCount > 0 && extra) {
            plan.alphaSample = plan.colourSamples;
            plan.associated = extra[0] == EXTRASAMPLE_ASSOCALPHA;
        } else if (plan.model == Model::Rgb && samples == 4) {
            plan.alphaSample = 3;
        }
    }

    if (plan.model == Model::Palette) {
        if (bits > 8)
            return ImageError::Unsupported;
        uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
        if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue) || !red || !green || !blue)
            return ImageError::Damaged;
        const int n = 1 << bits;
        // Old writers put 8-bit values into the 16-bit table.
        bool wide = false;
        for (int i = 0; i < n; ++i)
            wide = wide || red[i] > 255 || green[i] > 255 || blue[i] > 255;
        for (int i = 0; i < n; ++i) {
            auto scale = [wide](uint16_t v) { return wide ? to8(v) : uint8_t(v); };
            plan.table[size_t(i)] = RGBQUAD{scale(blue[i]), scale(green[i]), scale(red[i]), 0};
        }
        plan.tableSize = n;
        plan.outBits = bits == 1 ? 1 : bits <= 4 ? 4 : 8;
        for (int v = 0; v < n; ++v)
            plan.lut[size_t(v)] = uint8_t(v);
    } else if (plan.model == Model::Grey && plan.alphaSample < 0) {
        if (bits == 1) {
            plan.outBits = 1;
            const RGBQUAD black{0, 0, 0, 0}, white{255, 255, 255, 0};
            plan.table[0] = plan.minIsWhite ? white : black;
            plan.table[1] = plan.minIsWhite ? black : white;
            plan.tableSize = 2;
            plan.lut[0] = 0;
            plan.lut[1] = 1;
        } else {
            // A grey ramp of 16 or 256 steps.
            plan.outBits = bits <= 4 ? 4 : 8;
            plan.tableSize = 1 << plan.outBits;
            for (int i = 0; i < plan.tableSize; ++i) {
                const auto g = uint8_t(i * 255 / (plan.tableSize - 1));
                plan.table[size_t(i)] = RGBQUAD{g, g, g, 0};
            }
            if (bits <= 8) {
                const int top = (1 << bits) - 1;
                const int step = (plan.tableSize - 1) / top;
                for (int v = 0; v <= top; ++v)
                    plan.lut[size_t(v)] = uint8_t((plan.minIsWhite ? top - v : v) * step);
            }
        }
    } else {
        plan.outBits = 24;
    }
    if (const ImageError e = checkImageSize(width, height, plan.outBits); e != ImageError::None)
        return e;
    if (const ImageError e = checkStriles(tif, source.size); e != ImageError::None)
        return e;

    BandReader band(tif, plan, width, height, source.error);
    if (const ImageError e = band.prepare(); e != ImageError::None)
        return e;
    for (uint32_t y0 = 0; y0 < height; y0 += band.bandRows()) {
        const uint32_t rows = std::min(band.bandRows(), height - y0);
        if (const ImageError e = band.read(y0, rows); e != ImageError::None)
            return e;
        // The picture is made once the first band has been read, so files that
        // claim much and hold little cost little.
        if (!out) {
            const ImageError e = makeImage(out, int32_t(width), int32_t(height), plan.outBits,
                                           plan.tableSize ? plan.table.data() : nullptr, plan.tableSize);
            if (e != ImageError::None)
                return e;
        }
        for (uint32_t r = 0; r < rows; ++r)
            convertRow(plan, band, r, width, DibRow(out.get(), int32_t(y0 + r)));
        reporter.rows(y0 + rows, height);
    }
    return ImageError::None;
}

ImageError decodeTiff(Bytes data, DibGuard& out, const Progress& progress)
{
    if (!sniffTiff(data))
        return data.size() < 4 ? ImageError::Damaged : ImageError::UnknownFormat;
    ProgressReporter reporter(progress);
    reporter.report(0);

    Source source;
    source.data = data.data();
    source.size = data.size();
    TiffPtr tif = openTiff("r", &source, &source.error, sourceRead, sourceWrite, sourceSeek, sourceSize, sourceMap);
    // libtiff reads past some faults of a directory (a tag whose data lies
    // beyond the end, a colour table missing); they are damage all the same.
    if (!tif || source.error)
        return ImageError::Damaged;
    if (const ImageError e = checkDirectory(tif.get(), data); e != ImageError::None)
        return e;
    if (const ImageError e = decodeFirstPage(tif.get(), source, out, reporter); e != ImageError::None)
        return e;
    // A file cut short after its first page is damaged all the same: the
    // next page's directory must be there.
    if (!TIFFLastDirectory(tif.get()) && !TIFFReadDirectory(tif.get()))
        return ImageError::Damaged;
    return ImageError::None;
}

// ---------------------------------------------------------------------------
// Writing

bool isGrey(const RGBQUAD& q, uint8_t level)
{
    return q.rgbRed == level && q.rgbGreen == level && q.rgbBlue == level;
}

ImageError encodeTiff(const TDibRecord& dib, std::vector<uint8_t>& out, const EncodeOptions&,
                      const Progress& progress)
{
    const int32_t width = DibWidth(dib), height = DibHeight(dib), bitCount = DibBitCount(dib);
    if (width <= 0 || height <= 0 || (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24))
        return ImageError::CannotWrite;
    ProgressReporter reporter(progress);
    reporter.report(0);

    Sink sink;
    TiffPtr tif = openTiff("wl", &sink, &sink.error, sinkRead, sinkWrite, sinkSeek, sinkSize, noMap);
    if (!tif)
        return sink.outOfMemory ? ImageError::OutOfMemory : ImageError::CannotWrite;
    TIFF* t = tif.get();

    const RGBQUAD* colours = bitCount <= 8 ? DibColors(dib) : nullptr;
    uint16_t photometric = PHOTOMETRIC_RGB;
    bool predictor = false;
    if (bitCount == 1 && isGrey(colours[0], 0) && isGrey(colours[1], 255)) {
        photometric = PHOTOMETRIC_MINISBLACK;
    } else if (bitCount == 1 && isGrey(colours[0], 255) && isGrey(colours[1], 0)) {
        photometric = PHOTOMETRIC_MINISWHITE;
    } else if (bitCount == 8 && hasGreyRamp(dib)) {
        photometric = PHOTOMETRIC_MINISBLACK;
        predictor = true;
    } else if (bitCount <= 8) {
        photometric = PHOTOMETRIC_PALETTE;
    } else {
        predictor = true;
    }

    const uint16_t samples = bitCount == 24 ? 3 : 1;
    const uint64_t rowBytes = (uint64_t(width) * uint64_t(bitCount) + 7) / 8;
    const auto rowsPerStrip = uint32_t(std::clamp<uint64_t>(65536 / rowBytes, 1, uint64_t(height)));
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, uint32_t(width));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, uint32_t(height));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, uint16_t(bitCount == 24 ? 8 : bitCount));
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, photometric);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, uint16_t(PLANARCONFIG_CONTIG));
    TIFFSetField(t, TIFFTAG_ORIENTATION, uint16_t(ORIENTATION_TOPLEFT));
    TIFFSetField(t, TIFFTAG_COMPRESSION, uint16_t(COMPRESSION_LZW));
    TIFFSetField(t, TIFFTAG_PREDICTOR, uint16_t(predictor ? PREDICTOR_HORIZONTAL : PREDICTOR_NONE));
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    TIFFSetField(t, TIFFTAG_XRESOLUTION, 72.0);
    TIFFSetField(t, TIFFTAG_YRESOLUTION, 72.0);
    TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, uint16_t(RESUNIT_INCH));
    if (photometric == PHOTOMETRIC_PALETTE) {
        const int n = 1 << bitCount;
        std::vector<uint16_t> red(static_cast<size_t>(n)), green(red), blue(red);
        for (int i = 0; i < n; ++i) {
            red[size_t(i)] = uint16_t(colours[i].rgbRed * 257);
            green[size_t(i)] = uint16_t(colours[i].rgbGreen * 257);
            blue[size_t(i)] = uint16_t(colours[i].rgbBlue * 257);
        }
        TIFFSetField(t, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
    }
    if (sink.error)
        return sink.outOfMemory ? ImageError::OutOfMemory : ImageError::CannotWrite;

    std::vector<uint8_t> row;
    try {
        row.resize(size_t(rowBytes));
    } catch (const std::bad_alloc&) {
        return ImageError::OutOfMemory;
    }
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* src = DibRow(dib, y);
        if (bitCount == 24) {
            for (int32_t x = 0; x < width; ++x) {
                row[size_t(3 * x)] = src[3 * x + 2];
                row[size_t(3 * x + 1)] = src[3 * x + 1];
                row[size_t(3 * x + 2)] = src[3 * x];
            }
        } else {
            std::memcpy(row.data(), src, size_t(rowBytes));
        }
        if (TIFFWriteScanline(t, row.data(), uint32_t(y), 0) < 0 || sink.error)
            return sink.outOfMemory ? ImageError::OutOfMemory : ImageError::CannotWrite;
        reporter.rows(y + 1, height);
    }
    if (!TIFFWriteDirectory(t) || sink.error)
        return sink.outOfMemory ? ImageError::OutOfMemory : ImageError::CannotWrite;
    tif.reset();
    if (sink.error)
        return sink.outOfMemory ? ImageError::OutOfMemory : ImageError::CannotWrite;
    try {
        out.insert(out.end(), sink.bytes.begin(), sink.bytes.end());
    } catch (const std::bad_alloc&) {
        return ImageError::OutOfMemory;
    }
    return ImageError::None;
}

} // namespace

const Codec kTiffCodec = {"Tiff", sniffTiff, decodeTiff, encodeTiff};

} // namespace raster
