// The TIFF codec: round trips through our encoder, what the written files
// hold, ImageMagick reading them back, the variants other programs write
// (fixtures in tests/fixtures/tiff, made by make.sh there), small files
// built here byte by byte for exact blend values, and damaged or hostile
// files.

#include "raster/codec.h"
#include "raster/codecs/codecs.h"
#include "raster/rasterio.h"
#include "raster/testhooks.h"
#include "tests/testutil.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include <tiffio.h>

using namespace raster;

namespace {

Bytes bytesOf(const std::vector<uint8_t>& v)
{
    return Bytes(v.data(), v.size());
}

Bytes bytesOf(const QByteArray& a)
{
    return Bytes(reinterpret_cast<const uint8_t*>(a.constData()), size_t(a.size()));
}

QByteArray fixture(const QString& name)
{
    return testutil::readFile(testutil::sourcePath("tests/fixtures/tiff/" + name));
}

testutil::Rgb reference(const QString& name)
{
    testutil::Rgb rgb;
    EXPECT_TRUE(testutil::readPnm(fixture(name), rgb)) << name.toStdString();
    return rgb;
}

std::vector<uint8_t> encodeTiff(const TDibRecord& dib)
{
    std::vector<uint8_t> bytes;
    EXPECT_EQ(encodeImage(dib, FormatTIF, bytes, EncodeOptions{}), ImageError::None);
    return bytes;
}

// The colour of pixel (x, y) as R, G, B.
std::array<int, 3> colourAt(const TDibRecord& dib, int x, int y)
{
    const uint32_t v = getpixel(dib, x, y);
    if (DibBitCount(dib) == 24)
        return {int(v & 0xFF), int((v >> 8) & 0xFF), int(v >> 16)};
    const RGBQUAD q = DibColors(dib)[v];
    return {q.rgbRed, q.rgbGreen, q.rgbBlue};
}

// A little-endian TIFF of one strip, built here so every tag and byte is
// known. The strip follows the header; StripOffsets and StripByteCounts
// are added unless given.
struct Field {
    uint16_t tag;
    uint16_t type; // 3 SHORT, 4 LONG
    std::vector<uint32_t> values;
};

std::vector<uint8_t> buildTiff(std::vector<Field> fields, const std::vector<uint8_t>& strip)
{
    auto has = [&fields](uint16_t tag) {
        return std::any_of(fields.begin(), fields.end(), [tag](const Field& f) { return f.tag == tag; });
    };
    if (!has(TIFFTAG_STRIPOFFSETS))
        fields.push_back({TIFFTAG_STRIPOFFSETS, 4, {8}});
    if (!has(TIFFTAG_STRIPBYTECOUNTS))
        fields.push_back({TIFFTAG_STRIPBYTECOUNTS, 4, {uint32_t(strip.size())}});
    std::sort(fields.begin(), fields.end(), [](const Field& a, const Field& b) { return a.tag < b.tag; });

    std::vector<uint8_t> out = {'I', 'I', 42, 0, 0, 0, 0, 0};
    auto put16 = [&out](size_t at, uint32_t v) {
        out[at] = uint8_t(v);
        out[at + 1] = uint8_t(v >> 8);
    };
    auto put32 = [&out](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out[at + size_t(i)] = uint8_t(v >> (8 * i));
    };
    out.insert(out.end(), strip.begin(), strip.end());
    if (out.size() % 2)
        out.push_back(0);
    const size_t ifd = out.size();
    put32(4, uint32_t(ifd));
    out.resize(ifd + 2 + 12 * fields.size() + 4, 0);
    put16(ifd, uint32_t(fields.size()));
    for (size_t i = 0; i < fields.size(); ++i) {
        const Field& f = fields[i];
        const size_t entry = ifd + 2 + 12 * i;
        const size_t width = f.type == 3 ? 2 : 4;
        put16(entry, f.tag);
        put16(entry + 2, f.type);
        put32(entry + 4, uint32_t(f.values.size()));
        size_t at = entry + 8;
        if (f.values.size() * width > 4) {
            at = out.size();
            put32(entry + 8, uint32_t(at));
            out.resize(at + f.values.size() * width + 1, 0);
        }
        for (size_t k = 0; k < f.values.size(); ++k) {
            if (width == 2)
                put16(at + 2 * k, f.values[k]);
            else
                put32(at + 4 * k, f.values[k]);
        }
    }
    return out;
}

std::vector<Field> header(uint32_t width, uint32_t height, uint16_t bits, uint16_t samples, uint16_t photometric)
{
    return {
        {TIFFTAG_IMAGEWIDTH, 4, {width}},
        {TIFFTAG_IMAGELENGTH, 4, {height}},
        {TIFFTAG_BITSPERSAMPLE, 3, std::vector<uint32_t>(samples, bits)},
        {TIFFTAG_SAMPLESPERPIXEL, 3, {samples}},
        {TIFFTAG_PHOTOMETRIC, 3, {photometric}},
        {TIFFTAG_ROWSPERSTRIP, 4, {height}},
    };
}

std::vector<uint8_t> little16(std::initializer_list<uint16_t> values)
{
    std::vector<uint8_t> out;
    for (const uint16_t v : values) {
        out.push_back(uint8_t(v));
        out.push_back(uint8_t(v >> 8));
    }
    return out;
}

// Tags of a file as libtiff reads them.
struct Written {
    uint16_t photometric = 0, bits = 0, samples = 0, compression = 0;
    int pages = 0;
};

Written inspect(const std::vector<uint8_t>& bytes)
{
    Written w;
    QTemporaryDir dir;
    const QString path = dir.filePath("t.tif");
    testutil::writeFile(path, QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())));
    TIFF* tif = TIFFOpen(path.toLocal8Bit().constData(), "r");
    if (!tif)
        return w;
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &w.photometric);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &w.bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &w.samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &w.compression);
    w.pages = TIFFNumberOfDirectories(tif);
    TIFFClose(tif);
    return w;
}

enum class Colours { Pattern, GreyRamp, BlackWhite, WhiteBlack };

// A picture with pattern pixels and the colours asked for.
TDibRecord roundTripImage(int width, int height, int bitCount, Colours colours)
{
    TDibRecord dib = testutil::patternImage(width, height, bitCount, uint32_t(width + bitCount));
    if (bitCount > 8 || colours == Colours::Pattern)
        return dib;
    const int n = 1 << bitCount;
    for (int i = 0; i < n; ++i) {
        auto g = uint8_t(i * 255 / (n - 1));
        if (colours == Colours::WhiteBlack)
            g = uint8_t(255 - g);
        setPaletteEntry(dib, i, g, g, g);
    }
    refreshPalette(dib);
    return dib;
}

} // namespace

TEST(TiffRoundTrip, EveryDepthKeepsEveryPixelAndColour)
{
    struct Case {
        int bitCount;
        Colours colours;
        uint16_t photometric; // what the file says
    };
    const Case cases[] = {
        {1, Colours::BlackWhite, PHOTOMETRIC_MINISBLACK}, {1, Colours::WhiteBlack, PHOTOMETRIC_MINISWHITE},
        {1, Colours::Pattern, PHOTOMETRIC_PALETTE},       {4, Colours::Pattern, PHOTOMETRIC_PALETTE},
        {4, Colours::GreyRamp, PHOTOMETRIC_PALETTE},      {8, Colours::Pattern, PHOTOMETRIC_PALETTE},
        {8, Colours::GreyRamp, PHOTOMETRIC_MINISBLACK},   {24, Colours::Pattern, PHOTOMETRIC_RGB},
    };
    for (const Case& c : cases) {
        for (const int width : {1, 3, 33}) {
            SCOPED_TRACE(testing::Message() << c.bitCount << " bits, colours " << int(c.colours) << ", width " << width);
            DibGuard original(roundTripImage(width, 7, c.bitCount, c.colours));
            const std::vector<uint8_t> bytes = encodeTiff(original.get());
            const Written w = inspect(bytes);
            EXPECT_EQ(w.photometric, c.photometric);
            EXPECT_EQ(w.compression, COMPRESSION_LZW);
            EXPECT_EQ(w.pages, 1);

            DibGuard back;
            ASSERT_EQ(decodeImage(bytesOf(bytes), FormatTIF, back), ImageError::None);
            EXPECT_EQ(DibBitCount(back.get()), c.bitCount);
            EXPECT_TRUE(testutil::samePixels(back.get(), original.get()));
            if (c.bitCount <= 8) {
                for (int i = 0; i < (1 << c.bitCount); ++i) {
                    const RGBQUAD a = DibColors(original.get())[i], b = DibColors(back.get())[i];
                    EXPECT_TRUE(a.rgbRed == b.rgbRed && a.rgbGreen == b.rgbGreen && a.rgbBlue == b.rgbBlue)
                        << "colour " << i;
                }
            }
        }
    }
}

TEST(TiffRoundTrip, PicturesOfManyStripsAndTheirProgress)
{
    // 24-bit 301 x 257 rows fill several strips of about 64 KB.
    for (const int bitCount : {1, 8, 24}) {
        SCOPED_TRACE(bitCount);
        DibGuard original(testutil::patternImage(301, 257, bitCount, 3));
        std::vector<int> encoded, decoded;
        std::vector<uint8_t> bytes;
        ASSERT_EQ(encodeImage(original.get(), FormatTIF, bytes, EncodeOptions{},
                              [&encoded](int p) { encoded.push_back(p); }),
                  ImageError::None);
        DibGuard back;
        ASSERT_EQ(decodeImage(bytesOf(bytes), FormatTIF, back, [&decoded](int p) { decoded.push_back(p); }),
                  ImageError::None);
        EXPECT_TRUE(testutil::samePixels(back.get(), original.get()));
        for (const auto* progress : {&encoded, &decoded}) {
            ASSERT_FALSE(progress->empty());
            EXPECT_TRUE(std::is_sorted(progress->begin(), progress->end()));
            EXPECT_EQ(progress->front(), 0);
            EXPECT_EQ(progress->back(), 100);
        }
        if (bitCount == 24) {
            EXPECT_GT(decoded.size(), 3u); // reported strip by strip
        }
    }
}

TEST(TiffImageMagick, ReadsOurFilesBackToTheSamePixels)
{
    const QString convert = QStandardPaths::findExecutable("convert");
    if (convert.isEmpty())
        GTEST_SKIP() << "ImageMagick is not installed";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const struct {
        int bitCount;
        Colours colours;
    } cases[] = {
        {1, Colours::BlackWhite}, {1, Colours::WhiteBlack}, {1, Colours::Pattern}, {4, Colours::Pattern},
        {8, Colours::Pattern},    {8, Colours::GreyRamp},   {24, Colours::Pattern},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bitCount << " bits, colours " << int(c.colours));
        DibGuard original(roundTripImage(33, 9, c.bitCount, c.colours));
        const QString path = dir.filePath(QString("out%1-%2.tif").arg(c.bitCount).arg(int(c.colours)));
        ASSERT_EQ(SaveDib(original.get(), path, FormatTIF, nullptr), 1);
        QProcess process;
        process.start(convert, {path, "-depth", "8", "ppm:-"});
        ASSERT_TRUE(process.waitForFinished(30000));
        ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
        testutil::Rgb seen;
        ASSERT_TRUE(testutil::readPnm(process.readAllStandardOutput(), seen));
        EXPECT_EQ(testutil::maxDifference(original.get(), seen), 0);
    }
}

TEST(TiffDecode, VariantsOfOtherWritersGiveTheirPixelsAndDepth)
{
    const struct {
        const char* name;
        int bitCount;
    } cases[] = {
        {"bilevel-black-none", 1}, {"bilevel-white-g4", 1},    {"bilevel-white-packbits", 1},
        {"bilevel-g3-lsbfirst", 1}, {"palette1-lzw", 1},       {"palette2-zip", 4},
        {"palette2-oldflate", 4},  {"palette4-lzw", 4},        {"palette4-tiled-zip", 4},
        {"palette8-packbits", 8},  {"grey4-zip", 4},           {"grey8-lzw", 8},
        {"grey8-white-none", 8},   {"grey16-none", 8},         {"grey16-msb-tiled", 8},
        {"rgb-none", 24},          {"rgb-lzw-predictor", 24},  {"rgb-oldflate-strips", 24},
        {"rgb-msb", 24},           {"rgb-bigtiff", 24},        {"rgb16-zip", 24},
        {"rgb16-msb-planes", 24},  {"rgb-tiled-packbits", 24}, {"rgb-planes-lzw", 24},
        {"rgb-planes-tiled", 24},  {"cmyk-lzw", 24},           {"cmyk16-none", 24},
        {"rgba-lzw", 24},          {"rgba-associated", 24},    {"rgba16-planes", 24},
        {"greyalpha-zip", 24},     {"jpeg-rgb", 24},           {"jpeg-ycbcr", 24},
        {"jpeg-ycbcr-tiled", 24},  {"jpeg-grey", 8},           {"jpeg-planes", 24},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString name = QString::fromLatin1(c.name);
        DibGuard dib;
        ASSERT_EQ(decodeImage(bytesOf(fixture(name + ".tif")), FormatTIF, dib), ImageError::None);
        EXPECT_EQ(DibBitCount(dib.get()), c.bitCount);
        EXPECT_EQ(testutil::maxDifference(dib.get(), reference(name + ".ppm")), 0);
    }
}

TEST(TiffDecode, TakesTheFirstPageOfMany)
{
    DibGuard dib;
    ASSERT_EQ(decodeImage(bytesOf(fixture("multipage.tif")), FormatAuto, dib), ImageError::None);
    EXPECT_EQ(testutil::maxDifference(dib.get(), reference("multipage.ppm")), 0);
    EXPECT_GT(testutil::maxDifference(dib.get(), reference("multipage-2.ppm")), 50);
}

TEST(TiffDecode, ExactColoursOfHandMadeFiles)
{
    // Three pixels each: the middle one half transparent (alpha 128) over
    // red 200, green 100, blue 0, which onto white gives 227, 177, 127.
    using C = std::array<int, 3>;
    const C blended{227, 177, 127};
    const struct {
        const char* what;
        std::vector<uint8_t> file;
        C first, middle, last;
    } cases[] = {
        {"RGBA unassociated",
         [] {
             auto f = header(3, 1, 8, 4, PHOTOMETRIC_RGB);
             f.push_back({TIFFTAG_EXTRASAMPLES, 3, {EXTRASAMPLE_UNASSALPHA}});
             return buildTiff(f, {10, 20, 30, 0, 200, 100, 0, 128, 10, 20, 30, 255});
         }(),
         {255, 255, 255}, blended, {10, 20, 30}},
        {"RGBA associated",
         [] {
             auto f = header(3, 1, 8, 4, PHOTOMETRIC_RGB);
             f.push_back({TIFFTAG_EXTRASAMPLES, 3, {EXTRASAMPLE_ASSOCALPHA}});
             return buildTiff(f, {0, 0, 0, 0, 100, 50, 0, 128, 10, 20, 30, 255});
         }(),
         {255, 255, 255}, blended, {10, 20, 30}},
        {"RGBA 16 bits",
         [] {
             auto f = header(3, 1, 16, 4, PHOTOMETRIC_RGB);
             f.push_back({TIFFTAG_EXTRASAMPLES, 3, {EXTRASAMPLE_UNASSALPHA}});
             return buildTiff(f, little16({1, 2, 3, 0, 200 * 257, 100 * 257, 0, 128 * 257, 0xFFFF, 0x8000,
                                           0x00FF, 0xFFFF}));
         }(),
         {255, 255, 255}, blended, {255, 127, 0}},
        {"RGBA separate planes",
         [] {
             auto f = header(3, 1, 8, 4, PHOTOMETRIC_RGB);
             f.push_back({TIFFTAG_EXTRASAMPLES, 3, {EXTRASAMPLE_UNASSALPHA}});
             f.push_back({TIFFTAG_PLANARCONFIG, 3, {PLANARCONFIG_SEPARATE}});
             f.push_back({TIFFTAG_STRIPOFFSETS, 4, {8, 11, 14, 17}});
             f.push_back({TIFFTAG_STRIPBYTECOUNTS, 4, {3, 3, 3, 3}});
             return buildTiff(f, {10, 200, 10, 20, 100, 20, 30, 0, 30, 0, 128, 255});
         }(),
         {255, 255, 255}, blended, {10, 20, 30}},
        {"grey and alpha",
         [] {
             auto f = header(3, 1, 8, 2, PHOTOMETRIC_MINISBLACK);
             f.push_back({TIFFTAG_EXTRASAMPLES, 3, {EXTRASAMPLE_UNASSALPHA}});
             return buildTiff(f, {0, 0, 200, 128, 60, 255});
         }(),
         {255, 255, 255}, {227, 227, 227}, {60, 60, 60}},
        {"CMYK",
         [] {
             auto f = header(3, 1, 8, 4, PHOTOMETRIC_SEPARATED);
             return buildTiff(f, {0, 255, 255, 0, 0, 0, 0, 128, 51, 102, 153, 51});
         }(),
         {255, 0, 0}, {127, 127, 127}, {163, 122, 82}},
        {"grey 8 bits, white is zero",
         [] { return buildTiff(header(3, 1, 8, 1, PHOTOMETRIC_MINISWHITE), {0, 128, 255}); }(),
         {255, 255, 255}, {127, 127, 127}, {0, 0, 0}},
        {"grey 16 bits, big steps",
         [] { return buildTiff(header(3, 1, 16, 1, PHOTOMETRIC_MINISBLACK), little16({0, 0x8080, 0xFFFF})); }(),
         {0, 0, 0}, {128, 128, 128}, {255, 255, 255}},
        {"grey 2 bits",
         [] { return buildTiff(header(3, 1, 2, 1, PHOTOMETRIC_MINISBLACK), {0b00101100}); }(),
         {0, 0, 0}, {170, 170, 170}, {255, 255, 255}},
        {"palette with 8-bit colour table values",
         [] {
             auto f = header(3, 1, 2, 1, PHOTOMETRIC_PALETTE);
             f.push_back({TIFFTAG_COLORMAP, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}});
             return buildTiff(f, {0b00011000});
         }(),
         {1, 5, 9}, {2, 6, 10}, {3, 7, 11}},
        {"YCbCr, subsampled 2 x 1, through libtiff's RGB conversion",
         [] {
             auto f = header(3, 1, 8, 3, PHOTOMETRIC_YCBCR);
             f.push_back({TIFFTAG_YCBCRSUBSAMPLING, 3, {2, 1}});
             // Two blocks of two luma samples and one pair of chroma samples.
             return buildTiff(f, {0, 255, 128, 128, 128, 0, 128, 128});
         }(),
         {0, 0, 0}, {255, 255, 255}, {128, 128, 128}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DibGuard dib;
        ASSERT_EQ(decodeImage(bytesOf(c.file), FormatAuto, dib), ImageError::None);
        EXPECT_EQ(colourAt(dib.get(), 0, 0), c.first);
        EXPECT_EQ(colourAt(dib.get(), 1, 0), c.middle);
        EXPECT_EQ(colourAt(dib.get(), 2, 0), c.last);
    }
}

TEST(TiffDecode, RowsComeInTheOrderTheyAreStored)
{
    // Top row dark, bottom row light, in grey and through the RGB conversion.
    for (const uint16_t photometric : {uint16_t(PHOTOMETRIC_MINISBLACK), uint16_t(PHOTOMETRIC_YCBCR)}) {
        SCOPED_TRACE(photometric);
        std::vector<Field> f;
        std::vector<uint8_t> pixels;
        if (photometric == PHOTOMETRIC_YCBCR) {
            f = header(2, 2, 8, 3, PHOTOMETRIC_YCBCR);
            f.push_back({TIFFTAG_YCBCRSUBSAMPLING, 3, {1, 1}});
            pixels = {20, 128, 128, 20, 128, 128, 230, 128, 128, 230, 128, 128};
        } else {
            f = header(2, 2, 8, 1, PHOTOMETRIC_MINISBLACK);
            pixels = {20, 20, 230, 230};
        }
        f.push_back({TIFFTAG_ORIENTATION, 3, {ORIENTATION_TOPLEFT}});
        DibGuard dib;
        ASSERT_EQ(decodeImage(bytesOf(buildTiff(f, pixels)), FormatTIF, dib), ImageError::None);
        EXPECT_EQ(colourAt(dib.get(), 1, 0)[0], 20);
        EXPECT_EQ(colourAt(dib.get(), 1, 1)[0], 230);
        // The record keeps the bottom row first.
        const uint8_t* firstStored = dib->Bits;
        EXPECT_EQ(DibBitCount(dib.get()) == 24 ? firstStored[0] : DibColors(dib.get())[firstStored[0]].rgbRed, 230);
    }
}

TEST(TiffDecode, DamagedAndHostileFilesFail)
{
    const std::vector<uint8_t> grey4x2 = {1, 2, 3, 4, 5, 6, 7, 8};
    auto withField = [](std::vector<Field> f, Field extra) {
        f.erase(std::remove_if(f.begin(), f.end(), [&extra](const Field& x) { return x.tag == extra.tag; }), f.end());
        f.push_back(extra);
        return f;
    };
    const QByteArray rgb = fixture("rgb-lzw-predictor.tif");
    const struct {
        const char* what;
        std::vector<uint8_t> file;
        ImageError error;
    } cases[] = {
        {"cut in half", std::vector<uint8_t>(rgb.begin(), rgb.begin() + rgb.size() / 2), ImageError::Damaged},
        {"header only", {'I', 'I', 42, 0, 8, 0, 0, 0}, ImageError::Damaged},
        {"not a TIFF", {'I', 'I', 0, 42, 8, 0, 0, 0}, ImageError::UnknownFormat},
        {"strip shorter than its rows",
         buildTiff(withField(header(4, 2, 8, 1, PHOTOMETRIC_MINISBLACK),
                             {TIFFTAG_COMPRESSION, 3, {COMPRESSION_PACKBITS}}),
                   {7, 1, 2}),
         ImageError::Damaged},
        {"strip beyond the end",
         buildTiff(withField(header(4, 2, 8, 1, PHOTOMETRIC_MINISBLACK), {TIFFTAG_STRIPOFFSETS, 4, {5000}}), grey4x2),
         ImageError::Damaged},
        {"strip missing",
         buildTiff(withField(withField(withField(header(4, 2, 8, 1, PHOTOMETRIC_MINISBLACK),
                                                 {TIFFTAG_ROWSPERSTRIP, 4, {1}}),
                                       {TIFFTAG_STRIPOFFSETS, 4, {8, 0}}),
                             {TIFFTAG_STRIPBYTECOUNTS, 4, {4, 4}}),
                   grey4x2),
         ImageError::Damaged},
        {"LZW data that is noise",
         buildTiff(withField(header(4, 2, 8, 1, PHOTOMETRIC_MINISBLACK), {TIFFTAG_COMPRESSION, 3, {COMPRESSION_LZW}}),
                   {0xFF, 0xFF, 0xFF, 0x00, 0x12, 0x34, 0x56, 0x78}),
         ImageError::Damaged},
        {"60000 x 60000 grey in eight bytes", buildTiff(header(60000, 60000, 8, 1, PHOTOMETRIC_MINISBLACK), grey4x2),
         ImageError::TooLarge},
        {"60000 x 60000 bilevel in eight bytes",
         buildTiff(header(60000, 60000, 1, 1, PHOTOMETRIC_MINISBLACK), grey4x2), ImageError::Damaged},
        {"60000 x 60000 bilevel in one strip of each row",
         buildTiff(withField(header(60000, 60000, 1, 1, PHOTOMETRIC_MINISBLACK), {TIFFTAG_ROWSPERSTRIP, 4, {1}}),
                   grey4x2),
         ImageError::Damaged},
        {"60000 x 60000 bilevel, deflated",
         buildTiff(withField(header(60000, 60000, 1, 1, PHOTOMETRIC_MINISBLACK),
                             {TIFFTAG_COMPRESSION, 3, {COMPRESSION_ADOBE_DEFLATE}}),
                   {0x78, 0x9C, 0x63, 0x60, 0x00, 0x00, 0x00, 0x02}),
         ImageError::Damaged},
        {"wider than the limit", buildTiff(header(70000, 1, 8, 1, PHOTOMETRIC_MINISBLACK), grey4x2),
         ImageError::TooLarge},
        {"floating-point samples",
         buildTiff(withField(header(2, 1, 32, 1, PHOTOMETRIC_MINISBLACK), {TIFFTAG_SAMPLEFORMAT, 3, {3}}), grey4x2),
         ImageError::Unsupported},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DibGuard dib;
        EXPECT_EQ(decodeImage(bytesOf(c.file), FormatTIF, dib), c.error);
        EXPECT_FALSE(dib);
    }

    // Without memory for the picture the decoder says so.
    setAllocationLimitForTest(1000);
    DibGuard dib;
    EXPECT_EQ(decodeImage(bytesOf(rgb), FormatTIF, dib), ImageError::OutOfMemory);
    setAllocationLimitForTest(UINT64_MAX);
}

TEST(TiffSniff, KnowsBothByteOrdersAndBigTiff)
{
    const struct {
        std::vector<uint8_t> start;
        bool tiff;
    } cases[] = {
        {{'I', 'I', 42, 0}, true},  {{'M', 'M', 0, 42}, true}, {{'I', 'I', 43, 0}, true},
        {{'M', 'M', 0, 43}, true},  {{'I', 'I', 0, 42}, false}, {{'M', 'M', 42, 0}, false},
        {{'I', 'M', 42, 0}, false}, {{'I', 'I', 42}, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(kTiffCodec.sniff(bytesOf(c.start)), c.tiff)
            << int(c.start[0]) << " " << int(c.start[1]) << " " << int(c.start[2]);
    }
    EXPECT_EQ(codecForContent(bytesOf(fixture("rgb-msb.tif"))), &kTiffCodec);
    EXPECT_EQ(codecForContent(bytesOf(fixture("rgb-bigtiff.tif"))), &kTiffCodec);
}
