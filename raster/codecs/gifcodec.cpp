// GIF files through giflib.
//
// Reading: the first image of the file only; later frames are never read.
// The picture has the logical screen's size (where the screen is zero or
// smaller than the frame's extent, offset plus size, the frame's extent),
// filled with the background colour index, with the frame drawn at its
// offset; interlaced frames are put back into row order. The colours are
// the frame's local colour table, else the global one; the picture is
// 1-bit for tables of 2 entries, 4-bit for up to 16 and 8-bit beyond, and
// colour-table entries the file does not give are black. A damaged file
// may hold pixel or background indices beyond its table: those show the
// black of the missing entries, the picture growing to 4 or 8 bits where
// that is needed to hold them. A file cut short inside the image data is
// damaged; one that lacks nothing but its trailer still reads.
//
// Writing: 1-, 4- and 8-bit pictures with their colour table (2, 16 or 256
// entries, LZW code sizes 2, 4 and 8) as one non-interlaced GIF89a image;
// 24-bit pictures are first reduced to 256 colours by quantizeColours, so
// a picture with at most 256 colours keeps every pixel.

#include "raster/codecs/codecs.h"
#include "raster/codecs/quantize.h"
#include "raster/rasterio.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include <gif_lib.h>

namespace raster {

namespace {

// The longest string one LZW code can stand for: the dictionary holds 4096
// codes, each one pixel longer than the code it extends.
constexpr uint64_t kMaxPixelsPerCode = 4096;

ImageError errorFor(int gifError)
{
    return gifError == D_GIF_ERR_NOT_ENOUGH_MEM || gifError == E_GIF_ERR_NOT_ENOUGH_MEM ? ImageError::OutOfMemory
                                                                                      : ImageError::Damaged;
}

int depthFor(int entries)
{
    return entries <= 2 ? 1 : entries <= 16 ? 4 : 8;
}

// ---------------------------------------------------------------------------
// Reading

struct Reader {
    Bytes data;
    size_t pos = 0;
};

int readInput(GifFileType* gif, GifByteType* buffer, int length)
{
    auto* reader = static_cast<Reader*>(gif->UserData);
    if (length <= 0)
        return 0;
    const size_t n = std::min(size_t(length), reader->data.size() - reader->pos);
    std::memcpy(buffer, reader->data.data() + reader->pos, n);
    reader->pos += n;
    return int(n);
}

struct CloseDecoder {
    void operator()(GifFileType* gif) const { DGifCloseFile(gif, nullptr); }
};
using Decoder = std::unique_ptr<GifFileType, CloseDecoder>;

// What the file says before the first image's pixel data.
struct FirstImage {
    int left = 0, top = 0, width = 0, height = 0;
    bool interlaced = false;
    int64_t pictureWidth = 0, pictureHeight = 0;
    int background = 0;
    bool backgroundShows = false; // the frame leaves part of the picture uncovered
    std::array<RGBQUAD, 256> colours{};
    int colourCount = 0; // entries the file gives
};

// Opens the file and reads up to the first image's pixel data.
ImageError openFirstImage(Reader& reader, Decoder& gif, FirstImage& image)
{
    int error = 0;
    gif.reset(DGifOpen(&reader, readInput, &error));
    if (!gif)
        return errorFor(error);
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR)
            return errorFor(gif->Error);
        if (type == IMAGE_DESC_RECORD_TYPE)
            break;
        if (type != EXTENSION_RECORD_TYPE)
            return ImageError::Damaged; // the file ends without an image
        int code = 0;
        GifByteType* block = nullptr;
        if (DGifGetExtension(gif.get(), &code, &block) == GIF_ERROR)
            return errorFor(gif->Error);
        while (block) {
            if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR)
                return errorFor(gif->Error);
        }
    }
    if (DGifGetImageDesc(gif.get()) == GIF_ERROR)
        return errorFor(gif->Error);
    // giflib's last read was the LZW minimum code size.
    const int codeSize = reader.data[reader.pos - 1];

    const GifImageDesc& desc = gif->Image;
    image.left = desc.Left;
    image.top = desc.Top;
    image.width = desc.Width;
    image.height = desc.Height;
    image.interlaced = desc.Interlace;
    if (image.width == 0 || image.height == 0)
        return ImageError::Damaged;
    // Every code takes at least codeSize + 1 bits: a frame claiming more
    // pixels than the rest of the file could encode is damaged.
    const uint64_t codes = uint64_t(reader.data.size() - reader.pos) * 8 / uint64_t(codeSize + 1) + 1;
    if (uint64_t(image.width) * uint64_t(image.height) > codes * kMaxPixelsPerCode)
        return ImageError::Damaged;

    const int64_t right = int64_t(image.left) + image.width, bottom = int64_t(image.top) + image.height;
    image.pictureWidth = gif->SWidth == 0 || gif->SWidth < right ? right : gif->SWidth;
    image.pictureHeight = gif->SHeight == 0 || gif->SHeight < bottom ? bottom : gif->SHeight;
    image.background = gif->SBackGroundColor;
    image.backgroundShows = image.left > 0 || image.top > 0 || image.pictureWidth > right ||
                            image.pictureHeight > bottom;

    const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
    if (map) {
        image.colourCount = std::clamp(map->ColorCount, 0, 256);
        for (int i = 0; i < image.colourCount; ++i)
            image.colours[size_t(i)] = RGBQUAD{map->Colors[i].Blue, map->Colors[i].Green, map->Colors[i].Red, 0};
    }
    return ImageError::None;
}

// Writes count indices into a row of a picture of that depth from column x.
void storeIndices(uint8_t* row, int depth, int64_t x, const GifPixelType* indices, int64_t count)
{
    switch (depth) {
    case 8:
        std::memcpy(row + x, indices, size_t(count));
        break;
    case 4:
        for (int64_t i = 0; i < count; ++i, ++x) {
            uint8_t& b = row[x >> 1];
            b = (x & 1) ? uint8_t((b & 0xF0) | indices[i]) : uint8_t((b & 0x0F) | (indices[i] << 4));
        }
        break;
    default:
        for (int64_t i = 0; i < count; ++i, ++x) {
            const auto mask = uint8_t(0x80 >> (x & 7));
            row[x >> 3] = indices[i] ? uint8_t(row[x >> 3] | mask) : uint8_t(row[x >> 3] & ~mask);
        }
    }
}

// Decodes the first image at the given depth (0: the depth its colour
// table and a visible background ask for). When an index does not fit that
// depth, stops with no picture and sets depth to one that holds it.
ImageError decodeAtDepth(Bytes data, int& depth, DibGuard& out, ProgressReporter& reporter)
{
    Reader reader{data};
    Decoder gif;
    FirstImage image;
    if (const ImageError e = openFirstImage(reader, gif, image); e != ImageError::None)
        return e;
    if (depth == 0)
        depth = depthFor(image.backgroundShows ? std::max(image.colourCount, image.background + 1) : image.colourCount);
    if (const ImageError e = checkImageSize(image.pictureWidth, image.pictureHeight, depth); e != ImageError::None)
        return e;
    if (const ImageError e = makeImage(out, int32_t(image.pictureWidth), int32_t(image.pictureHeight), depth,
                                       image.colours.data(), 1 << depth); // black beyond the file's entries
        e != ImageError::None)
        return e;
    if (image.backgroundShows && image.background != 0) {
        const int b = image.background;
        const auto fill = uint8_t(depth == 8 ? b : depth == 4 ? b * 0x11 : 0xFF);
        std::memset(out->Bits, fill, DibSizeImage(out.get()));
    }

    const int limit = 1 << depth;
    const int64_t visible = std::min<int64_t>(image.width, image.pictureWidth - image.left);
    std::vector<GifPixelType> indices(static_cast<size_t>(image.width));
    // Interlaced frames come in four passes: every 8th row from 0, every
    // 8th from 4, every 4th from 2, every 2nd from 1.
    static constexpr int kPasses[4][2] = {{0, 8}, {4, 8}, {2, 4}, {1, 2}};
    const int passes = image.interlaced ? 4 : 1;
    int64_t done = 0;
    for (int pass = 0; pass < passes; ++pass) {
        const int first = image.interlaced ? kPasses[pass][0] : 0, step = image.interlaced ? kPasses[pass][1] : 1;
        for (int y = first; y < image.height; y += step) {
            if (DGifGetLine(gif.get(), indices.data(), image.width) == GIF_ERROR)
                return errorFor(gif->Error);
            const int largest = *std::max_element(indices.begin(), indices.end());
            if (largest >= limit) {
                depth = depthFor(largest + 1);
                out.reset();
                return ImageError::None;
            }
            const int64_t py = int64_t(image.top) + y;
            if (py < image.pictureHeight && visible > 0)
                storeIndices(DibRow(out.get(), int32_t(py)), depth, image.left, indices.data(), visible);
            reporter.rows(++done, image.height);
        }
    }
    return ImageError::None;
}

bool sniffGif(Bytes data)
{
    return data.size() >= 6 && (std::memcmp(data.data(), "GIF87a", 6) == 0 || std::memcmp(data.data(), "GIF89a", 6) == 0);
}

ImageError decodeGif(Bytes data, DibGuard& out, const Progress& progress)
{
    out.reset();
    if (!sniffGif(data))
        return ImageError::Damaged;
    ProgressReporter reporter(progress);
    reporter.report(0);
    try {
        // At most three tries: 1 to 4 and 4 to 8 bits.
        int depth = 0;
        for (;;) {
            if (const ImageError e = decodeAtDepth(data, depth, out, reporter); e != ImageError::None) {
                out.reset();
                return e;
            }
            if (out)
                break;
        }
    } catch (const std::bad_alloc&) {
        out.reset();
        return ImageError::OutOfMemory;
    }
    reporter.report(100);
    return ImageError::None;
}

// ---------------------------------------------------------------------------
// Writing

struct Writer {
    std::vector<uint8_t>* out = nullptr;
    bool failed = false;
};

int writeOutput(GifFileType* gif, const GifByteType* buffer, int length)
{
    auto* writer = static_cast<Writer*>(gif->UserData);
    if (length <= 0)
        return 0;
    try {
        writer->out->insert(writer->out->end(), buffer, buffer + length);
    } catch (...) {
        writer->failed = true;
        return 0;
    }
    return length;
}

struct CloseEncoder {
    void operator()(GifFileType* gif) const { EGifCloseFile(gif, nullptr); }
};

struct FreeColourMap {
    void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};

ImageError writePicture(const TDibRecord& dib, std::vector<uint8_t>& out, ProgressReporter& reporter)
{
    const int depth = DibBitCount(dib);
    if (depth != 1 && depth != 4 && depth != 8)
        return ImageError::CannotWrite;
    const int32_t width = DibWidth(dib), height = DibHeight(dib);
    const int entries = 1 << depth;
    std::unique_ptr<ColorMapObject, FreeColourMap> map(GifMakeMapObject(entries, nullptr));
    if (!map)
        return ImageError::OutOfMemory;
    for (int i = 0; i < entries; ++i) {
        const RGBQUAD q = dib.Info->bmiColors[i];
        map->Colors[i] = GifColorType{q.rgbRed, q.rgbGreen, q.rgbBlue};
    }

    const size_t start = out.size();
    Writer writer{&out};
    int error = 0;
    std::unique_ptr<GifFileType, CloseEncoder> gif(EGifOpen(&writer, writeOutput, &error));
    if (!gif)
        return ImageError::OutOfMemory;
    auto fail = [&](int gifError) {
        gif.reset();
        out.resize(start);
        return writer.failed ? ImageError::OutOfMemory
                             : gifError == E_GIF_ERR_NOT_ENOUGH_MEM ? ImageError::OutOfMemory : ImageError::CannotWrite;
    };
    EGifSetGifVersion(gif.get(), true);
    if (EGifPutScreenDesc(gif.get(), width, height, 8, 0, map.get()) == GIF_ERROR)
        return fail(gif->Error);
    if (EGifPutImageDesc(gif.get(), 0, 0, width, height, false, nullptr) == GIF_ERROR)
        return fail(gif->Error);
    std::vector<GifPixelType> indices(static_cast<size_t>(width));
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x)
            indices[size_t(x)] = GifPixelType(getpixel(dib, x, y));
        if (EGifPutLine(gif.get(), indices.data(), width) == GIF_ERROR || writer.failed)
            return fail(gif->Error);
        reporter.rows(y + 1, height);
    }
    if (EGifCloseFile(gif.release(), &error) == GIF_ERROR || writer.failed) {
        out.resize(start);
        return writer.failed || error == E_GIF_ERR_NOT_ENOUGH_MEM ? ImageError::OutOfMemory : ImageError::CannotWrite;
    }
    return ImageError::None;
}

ImageError encodeGif(const TDibRecord& dib, std::vector<uint8_t>& out, const EncodeOptions&, const Progress& progress)
{
    ProgressReporter reporter(progress);
    reporter.report(0);
    try {
        if (DibBitCount(dib) == 24) {
            const DibGuard reduced = quantizeColours(dib);
            if (!reduced)
                return ImageError::OutOfMemory;
            return writePicture(reduced.get(), out, reporter);
        }
        return writePicture(dib, out, reporter);
    } catch (const std::bad_alloc&) {
        return ImageError::OutOfMemory;
    }
}

} // namespace

const Codec kGifCodec = {"Gif", sniffGif, decodeGif, encodeGif};

} // namespace raster
