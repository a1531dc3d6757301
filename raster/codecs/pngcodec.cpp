// PNG files through libpng.
//
// Reading: every colour type and depth, interlaced (Adam7) or not.
// - Palette files without transparency become palette pictures of 1, 4
//   (from 2- and 4-bit files) or 8 bits with the file's colours; entries
//   the palette does not give are black.
// - Grey files without transparency become 8-bit grey ramp pictures;
//   1-, 2- and 4-bit greys are stretched to 0..255, 16-bit ones rounded.
// - Everything else (colour, and any file with alpha or a tRNS colour)
//   becomes 24-bit, alpha composited onto white: each channel is
//   round((c * a + max * (max - a)) / max) at the file's depth, 16-bit
//   results rounded to 8 bits after compositing.
// Corrupt data, CRC errors included, and files cut short anywhere before
// their IEND chunk are damaged. Widths and heights beyond kMaxDimension are
// too large, and ancillary chunks are capped in size and number so that a
// hostile file cannot make libpng hold much memory.
//
// Writing: 24-bit RGB at 8 bits per channel, non-interlaced, default
// compression; palette pictures are written as their 24-bit colours.
//
// setjmp and longjmp stay inside this file. The functions that call setjmp
// keep no objects with destructors of their own, so a jump out of libpng
// skips nothing that needs cleaning up; everything is owned by the callers.

#include "raster/codecs/codecs.h"
#include "raster/rasterio.h"

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include <png.h>

namespace raster {

namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// Largest ancillary chunk (after decompression) and most chunks kept.
constexpr png_alloc_size_t kMaxChunkBytes = 8 * 1024 * 1024;
constexpr png_uint_32 kMaxCachedChunks = 1000;
// Deflate stores at most 258 bytes in two bits.
constexpr uint64_t kMaxDeflateRatio = 1032;

bool isMemoryMessage(png_const_charp message)
{
    return message && (strcasestr(message, "out of memory") || strcasestr(message, "insufficient memory"));
}

// ---------------------------------------------------------------------------
// Reading

struct Decoder {
    png_structp png = nullptr;
    png_infop info = nullptr;
    Bytes data;
    size_t pos = 0;
    bool outOfMemory = false;
    bool tooLarge = false;
    std::vector<uint8_t> buffer; // rows in libpng's layout where they need converting
};

struct DestroyDecoder {
    void operator()(Decoder* d) const
    {
        png_destroy_read_struct(&d->png, &d->info, nullptr);
        delete d;
    }
};

[[noreturn]] void readError(png_structp png, png_const_charp message)
{
    auto* d = static_cast<Decoder*>(png_get_error_ptr(png));
    if (isMemoryMessage(message))
        d->outOfMemory = true;
    png_longjmp(png, 1);
}

void readWarning(png_structp png, png_const_charp message)
{
    auto* d = static_cast<Decoder*>(png_get_error_ptr(png));
    if (message && std::strstr(message, "exceeds user limit"))
        d->tooLarge = true;
}

void readData(png_structp png, png_bytep out, size_t length)
{
    auto* d = static_cast<Decoder*>(png_get_io_ptr(png));
    if (length > d->data.size() - d->pos)
        png_error(png, "file cut short");
    std::memcpy(out, d->data.data() + d->pos, length);
    d->pos += length;
}

// How libpng's rows become the picture's.
enum class Layout {
    Direct,    // libpng writes the picture's rows itself
    TwoBit,    // 2-bit palette indices, one per byte, into a 4-bit picture
    Rgba8,     // RGBA samples composited onto white
    Rgba16,
};

uint8_t overWhite8(unsigned c, unsigned a)
{
    return uint8_t((c * a + 255 * (255 - a) + 127) / 255);
}

uint8_t overWhite16(uint64_t c, uint64_t a)
{
    const uint64_t c16 = (c * a + 65535 * (65535 - a) + 32767) / 65535;
    return uint8_t((c16 + 128) / 257);
}

void convertRow(Layout layout, const uint8_t* src, uint8_t* dst, uint32_t width)
{
    switch (layout) {
    case Layout::Direct:
        break;
    case Layout::TwoBit:
        for (uint32_t x = 0; x < width; x += 2) {
            const auto right = x + 1 < width ? src[x + 1] : uint8_t(0);
            dst[x / 2] = uint8_t(src[x] << 4 | right);
        }
        break;
    case Layout::Rgba8:
        for (uint32_t x = 0; x < width; ++x, src += 4, dst += 3) {
            dst[0] = overWhite8(src[2], src[3]);
            dst[1] = overWhite8(src[1], src[3]);
            dst[2] = overWhite8(src[0], src[3]);
        }
        break;
    case Layout::Rgba16:
        for (uint32_t x = 0; x < width; ++x, src += 8, dst += 3) {
            auto sample = [src](int i) { return uint64_t(src[2 * i]) << 8 | src[2 * i + 1]; };
            dst[0] = overWhite16(sample(2), sample(3));
            dst[1] = overWhite16(sample(1), sample(3));
            dst[2] = overWhite16(sample(0), sample(3));
        }
        break;
    }
}

// The whole decode after the handle is made; the only place that catches
// libpng's jumps while reading.
ImageError runDecode(Decoder& d, DibGuard& out, ProgressReporter& reporter)
{
    if (setjmp(png_jmpbuf(d.png))) {
        out.reset();
        return d.outOfMemory ? ImageError::OutOfMemory : d.tooLarge ? ImageError::TooLarge : ImageError::Damaged;
    }
    png_set_read_fn(d.png, &d, readData);
    png_set_user_limits(d.png, kMaxDimension, kMaxDimension);
    png_set_chunk_cache_max(d.png, kMaxCachedChunks);
    png_set_chunk_malloc_max(d.png, kMaxChunkBytes);
    png_set_crc_action(d.png, PNG_CRC_ERROR_QUIT, PNG_CRC_ERROR_QUIT);
    png_read_info(d.png, d.info);

    png_uint_32 width = 0, height = 0;
    int depth = 0, colourType = 0, interlace = 0;
    png_get_IHDR(d.png, d.info, &width, &height, &depth, &colourType, &interlace, nullptr, nullptr);
    const bool transparency = png_get_valid(d.png, d.info, PNG_INFO_tRNS) != 0;

    int bitCount = 24;
    Layout layout = Layout::Direct;
    if (colourType == PNG_COLOR_TYPE_PALETTE && !transparency) {
        bitCount = depth == 1 ? 1 : depth <= 4 ? 4 : 8;
        if (depth == 2) {
            layout = Layout::TwoBit;
            png_set_packing(d.png);
        }
    } else if (colourType == PNG_COLOR_TYPE_GRAY && !transparency) {
        bitCount = 8;
        if (depth < 8)
            png_set_expand_gray_1_2_4_to_8(d.png);
        if (depth == 16)
            png_set_scale_16(d.png);
    } else if (colourType == PNG_COLOR_TYPE_RGB && !transparency) {
        if (depth == 16)
            png_set_scale_16(d.png);
        png_set_bgr(d.png);
    } else {
        // Palette to RGB, small greys to 8 bits, tRNS to an alpha channel.
        png_set_expand(d.png);
        png_set_gray_to_rgb(d.png);
        layout = depth == 16 ? Layout::Rgba16 : Layout::Rgba8;
    }
    if (const ImageError e = checkImageSize(width, height, bitCount); e != ImageError::None)
        return e;
    // The image data inflates to at least a filter byte and the samples of
    // every row; a file too short to hold that much is damaged.
    const uint64_t samplesPerPixel = uint64_t(png_get_channels(d.png, d.info));
    const uint64_t rawBytes = uint64_t(height) * (1 + (uint64_t(width) * samplesPerPixel * uint64_t(depth) + 7) / 8);
    if (rawBytes > (d.data.size() + 1) * kMaxDeflateRatio)
        return ImageError::Damaged;

    const int passes = interlace != PNG_INTERLACE_NONE ? png_set_interlace_handling(d.png) : 1;
    png_read_update_info(d.png, d.info);
    const uint64_t rowBytes = png_get_rowbytes(d.png, d.info);
    const uint64_t expected = layout == Layout::Direct   ? (uint64_t(width) * uint64_t(bitCount) + 7) / 8
                              : layout == Layout::TwoBit ? width
                              : layout == Layout::Rgba8  ? uint64_t(width) * 4
                                                         : uint64_t(width) * 8;
    if (rowBytes != expected)
        return ImageError::Damaged;

    RGBQUAD colours[256] = {};
    int colourCount = 0;
    if (colourType == PNG_COLOR_TYPE_PALETTE && bitCount <= 8) {
        png_colorp palette = nullptr;
        int count = 0;
        if (png_get_PLTE(d.png, d.info, &palette, &count) == 0 || !palette)
            return ImageError::Damaged;
        colourCount = std::clamp(count, 0, 1 << bitCount);
        for (int i = 0; i < colourCount; ++i)
            colours[i] = RGBQUAD{palette[i].blue, palette[i].green, palette[i].red, 0};
    }
    // Palette pictures get all their entries, black beyond the file's;
    // grey pictures the grey ramp.
    if (const ImageError e = makeImage(out, int32_t(width), int32_t(height), bitCount,
                                       colourCount > 0 ? colours : nullptr, colourCount > 0 ? 1 << bitCount : 0);
        e != ImageError::None)
        return e;

    // Interlaced files fill every row in several passes, so rows that need
    // converting are all kept until the last pass; others need one row.
    if (layout != Layout::Direct)
        d.buffer.resize(size_t(rowBytes) * (passes > 1 ? height : 1));
    auto libraryRow = [&](uint32_t y) {
        if (layout == Layout::Direct)
            return DibRow(out.get(), int32_t(y));
        return d.buffer.data() + (passes > 1 ? size_t(y) * size_t(rowBytes) : 0);
    };
    for (int pass = 0; pass < passes; ++pass) {
        for (uint32_t y = 0; y < height; ++y) {
            uint8_t* row = libraryRow(y);
            png_read_row(d.png, row, nullptr);
            if (passes == 1)
                convertRow(layout, row, DibRow(out.get(), int32_t(y)), width);
            reporter.rows(int64_t(pass) * height + y + 1, int64_t(passes) * height);
        }
    }
    if (passes > 1) {
        for (uint32_t y = 0; y < height; ++y)
            convertRow(layout, libraryRow(y), DibRow(out.get(), int32_t(y)), width);
    }
    png_read_end(d.png, nullptr);
    return ImageError::None;
}

bool sniffPng(Bytes data)
{
    return data.size() >= sizeof kSignature && std::memcmp(data.data(), kSignature, sizeof kSignature) == 0;
}

ImageError decodePng(Bytes data, DibGuard& out, const Progress& progress)
{
    out.reset();
    if (!sniffPng(data))
        return ImageError::Damaged;
    std::unique_ptr<Decoder, DestroyDecoder> d(new (std::nothrow) Decoder);
    if (!d)
        return ImageError::OutOfMemory;
    d->data = data;
    d->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, d.get(), readError, readWarning);
    if (!d->png)
        return ImageError::OutOfMemory;
    d->info = png_create_info_struct(d->png);
    if (!d->info)
        return ImageError::OutOfMemory;
    ProgressReporter reporter(progress);
    reporter.report(0);
    ImageError error = ImageError::None;
    try {
        error = runDecode(*d, out, reporter);
    } catch (const std::bad_alloc&) {
        error = ImageError::OutOfMemory;
    }
    if (error != ImageError::None)
        out.reset();
    else
        reporter.report(100);
    return error;
}

// ---------------------------------------------------------------------------
// Writing

struct Encoder {
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::vector<uint8_t>* out = nullptr;
    bool outOfMemory = false;
};

struct DestroyEncoder {
    void operator()(Encoder* e) const
    {
        png_destroy_write_struct(&e->png, &e->info);
        delete e;
    }
};

[[noreturn]] void writeError(png_structp png, png_const_charp message)
{
    auto* e = static_cast<Encoder*>(png_get_error_ptr(png));
    if (isMemoryMessage(message))
        e->outOfMemory = true;
    png_longjmp(png, 1);
}

void writeWarning(png_structp, png_const_charp) {}

void writeData(png_structp png, png_bytep data, size_t length)
{
    auto* e = static_cast<Encoder*>(png_get_io_ptr(png));
    try {
        e->out->insert(e->out->end(), data, data + length);
    } catch (...) {
        e->outOfMemory = true;
    }
    if (e->outOfMemory)
        png_error(png, "out of memory");
}

void flushData(png_structp) {}

// Writes a 24-bit picture; the only place that catches libpng's jumps
// while writing.
ImageError runEncode(Encoder& e, const TDibRecord& dib, ProgressReporter& reporter)
{
    const size_t start = e.out->size();
    if (setjmp(png_jmpbuf(e.png))) {
        e.out->resize(start);
        return e.outOfMemory ? ImageError::OutOfMemory : ImageError::CannotWrite;
    }
    const int32_t width = DibWidth(dib), height = DibHeight(dib);
    png_set_write_fn(e.png, &e, writeData, flushData);
    png_set_IHDR(e.png, e.info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(e.png, e.info);
    png_set_bgr(e.png);
    for (int32_t y = 0; y < height; ++y) {
        png_write_row(e.png, DibRow(dib, y));
        reporter.rows(y + 1, height);
    }
    png_write_end(e.png, nullptr);
    return ImageError::None;
}

ImageError encodePng(const TDibRecord& dib, std::vector<uint8_t>& out, const EncodeOptions&, const Progress& progress)
{
    DibGuard converted;
    const TDibRecord* source = &dib;
    if (DibBitCount(dib) != 24) {
        if (const ImageError e = convertTo24(dib, converted); e != ImageError::None)
            return e;
        source = &converted.get();
    }
    std::unique_ptr<Encoder, DestroyEncoder> e(new (std::nothrow) Encoder);
    if (!e)
        return ImageError::OutOfMemory;
    e->out = &out;
    e->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, e.get(), writeError, writeWarning);
    if (!e->png)
        return ImageError::OutOfMemory;
    e->info = png_create_info_struct(e->png);
    if (!e->info)
        return ImageError::OutOfMemory;
    ProgressReporter reporter(progress);
    reporter.report(0);
    return runEncode(*e, *source, reporter);
}

} // namespace

const Codec kPngCodec = {"Png", sniffPng, decodePng, encodePng};

} // namespace raster
