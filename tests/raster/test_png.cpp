// The PNG codec: the picture each colour type and depth becomes, alpha and
// tRNS transparency composited onto white, round trips through our
// encoder, damaged and hostile files, and ImageMagick reading what we
// write. Files our encoder never makes are written by libpng directly.

#include "raster/codec.h"
#include "raster/codecs/codecs.h"
#include "raster/rasterio.h"
#include "raster/testhooks.h"
#include "tests/testutil.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include <png.h>

using namespace raster;

namespace {

ImageError decodePng(const std::vector<uint8_t>& bytes, DibGuard& dib, size_t length = SIZE_MAX)
{
    return decodeImage(Bytes(bytes.data(), std::min(length, bytes.size())), FormatPNG, dib);
}

std::vector<uint8_t> encodePng(const TDibRecord& dib)
{
    std::vector<uint8_t> bytes;
    EXPECT_EQ(encodeImage(dib, FormatPNG, bytes, EncodeOptions{}), ImageError::None);
    return bytes;
}

// A file as libpng writes it from rows of packed samples.
struct PngFile {
    int width = 0, height = 0, colourType = PNG_COLOR_TYPE_RGB, depth = 8;
    bool interlaced = false;
    std::vector<png_color> palette{};
    std::vector<uint8_t> paletteAlpha{};     // tRNS of a palette file
    std::vector<png_uint_16> transparent{};  // tRNS colour: grey, or red, green, blue
};

void appendBytes(png_structp png, png_bytep data, size_t length)
{
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void flushNothing(png_structp) {}

std::vector<uint8_t> libpngWrite(const PngFile& f, std::vector<uint8_t> samples)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::vector<uint8_t> out;
    png_set_write_fn(png, &out, appendBytes, flushNothing);
    png_set_IHDR(png, info, png_uint_32(f.width), png_uint_32(f.height), f.depth, f.colourType,
                 f.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!f.palette.empty())
        png_set_PLTE(png, info, f.palette.data(), int(f.palette.size()));
    png_color_16 colour{};
    if (!f.paletteAlpha.empty())
        png_set_tRNS(png, info, f.paletteAlpha.data(), int(f.paletteAlpha.size()), nullptr);
    if (f.transparent.size() == 1) {
        colour.gray = f.transparent[0];
        png_set_tRNS(png, info, nullptr, 0, &colour);
    } else if (f.transparent.size() == 3) {
        colour.red = f.transparent[0];
        colour.green = f.transparent[1];
        colour.blue = f.transparent[2];
        png_set_tRNS(png, info, nullptr, 0, &colour);
    }
    png_write_info(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);
    EXPECT_EQ(samples.size(), rowBytes * size_t(f.height));
    std::vector<png_bytep> rows;
    for (int y = 0; y < f.height; ++y)
        rows.push_back(samples.data() + size_t(y) * rowBytes);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

uint32_t crc32(const uint8_t* data, size_t length)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

uint32_t get32(const std::vector<uint8_t>& f, size_t at)
{
    return uint32_t(f[at]) << 24 | uint32_t(f[at + 1]) << 16 | uint32_t(f[at + 2]) << 8 | f[at + 3];
}

void put32(std::vector<uint8_t>& f, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        f[at + size_t(i)] = uint8_t(v >> (24 - 8 * i));
}

// Offset of the first chunk of that type (its length field), or 0.
size_t findChunk(const std::vector<uint8_t>& f, const char* type)
{
    for (size_t at = 8; at + 12 <= f.size(); at += 12 + get32(f, at)) {
        if (std::memcmp(&f[at + 4], type, 4) == 0)
            return at;
    }
    return 0;
}

// Recomputes the CRC of the chunk at that offset after an edit.
void fixCrc(std::vector<uint8_t>& f, size_t at)
{
    const uint32_t length = get32(f, at);
    put32(f, at + 8 + length, crc32(&f[at + 4], length + 4));
}

std::vector<uint8_t> fixture(const QString& name)
{
    const QByteArray bytes = testutil::readFile(testutil::sourcePath("tests/fixtures/png/" + name));
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

testutil::Rgb imageMagickReading(const QString& path)
{
    testutil::Rgb rgb;
    EXPECT_TRUE(testutil::readWith(QStringLiteral("convert"), {path, QStringLiteral("ppm:-")}, rgb))
        << path.toStdString();
    return rgb;
}

} // namespace

TEST(PngDecode, EveryColourTypeAndDepthGivesImageMagicksPixels)
{
    struct Case {
        const char* name;
        int bitCount;
        bool greyRamp;
    };
    const Case cases[] = {
        {"grey1", 8, true},           {"grey2", 8, true},
        {"grey4", 8, true},           {"grey8", 8, true},
        {"grey16", 8, true},          {"grey2interlaced", 8, true},
        {"palette1", 1, false},       {"palette1interlaced", 1, false},
        {"palette2", 4, false},       {"palette2interlaced", 4, false},
        {"palette4", 4, false},       {"palette4short", 4, false},
        {"palette4interlaced", 4, false}, {"palette8", 8, false},
        {"palette8interlaced", 8, false}, {"rgb8", 24, false},
        {"rgb16", 24, false},         {"rgb8interlaced", 24, false},
        {"rgb16interlaced", 24, false}, {"rgba8", 24, false},
        {"rgba16", 24, false},        {"rgba8interlaced", 24, false},
        {"rgba16interlaced", 24, false}, {"greyalpha8", 24, false},
        {"greyalpha16", 24, false},   {"palettealpha", 24, false},
        {"palettetrnsinterlaced", 24, false}, {"rgbtrns", 24, false},
        {"greytrns", 24, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DibGuard dib;
        ASSERT_EQ(decodePng(fixture(QString(c.name) + ".png"), dib), ImageError::None);
        EXPECT_EQ(DibBitCount(dib.get()), c.bitCount);
        EXPECT_EQ(hasGreyRamp(dib.get()), c.greyRamp);
        testutil::Rgb reference;
        ASSERT_TRUE(testutil::readPnm(testutil::readFile(testutil::sourcePath("tests/fixtures/png/") + c.name + ".ppm"),
                                      reference));
        EXPECT_EQ(testutil::maxDifference(dib.get(), reference), 0);
    }
    // palette4short has 11 colours: the other five entries are black.
    DibGuard dib;
    ASSERT_EQ(decodePng(fixture("palette4short.png"), dib), ImageError::None);
    for (int i = 11; i < 16; ++i) {
        const RGBQUAD q = DibColors(dib.get())[i];
        EXPECT_EQ(q.rgbRed | q.rgbGreen | q.rgbBlue, 0) << i;
    }
}

TEST(PngDecode, TransparencyIsCompositedOntoWhite)
{
    using Pixels = std::vector<std::array<uint8_t, 3>>;
    struct Case {
        const char* what;
        PngFile file;
        std::vector<uint8_t> samples;
        Pixels expected;
    };
    // Half-transparent red over white is (255, 127, 127) at either depth:
    // 255 * 127 / 255 for alpha 128 of 255, 65535 * 32767 / 65535 rounded
    // to 8 bits for alpha 32768 of 65535.
    const Pixels redClearBlue = {{255, 127, 127}, {255, 255, 255}, {0, 0, 255}};
    const Case cases[] = {
        {"RGBA 8", {.width = 3, .height = 1, .colourType = PNG_COLOR_TYPE_RGBA}, {255, 0, 0, 128, 0, 255, 0, 0, 0, 0, 255, 255}, redClearBlue},
        {"RGBA 16",
         {.width = 3, .height = 1, .colourType = PNG_COLOR_TYPE_RGBA, .depth = 16},
         {255, 255, 0, 0, 0, 0, 128, 0, 0, 0, 255, 255, 0, 0, 0, 0, 0, 0, 0, 0, 255, 255, 255, 255},
         redClearBlue},
        {"palette with tRNS",
         {.width = 3,
          .height = 1,
          .colourType = PNG_COLOR_TYPE_PALETTE,
          .palette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}},
          .paletteAlpha = {128, 0}},
         {0, 1, 2},
         redClearBlue},
        {"RGB with a transparent colour",
         {.width = 3, .height = 1, .transparent = {0, 255, 0}},
         {255, 0, 0, 0, 255, 0, 0, 0, 255},
         {{255, 0, 0}, {255, 255, 255}, {0, 0, 255}}},
        {"grey and alpha 8", {.width = 3, .height = 1, .colourType = PNG_COLOR_TYPE_GRAY_ALPHA}, {0, 128, 200, 0, 10, 255},
         {{127, 127, 127}, {255, 255, 255}, {10, 10, 10}}},
        {"grey and alpha 16", {.width = 2, .height = 1, .colourType = PNG_COLOR_TYPE_GRAY_ALPHA, .depth = 16}, {0, 0, 128, 0, 0x12, 0x34, 0xFF, 0xFF},
         {{127, 127, 127}, {18, 18, 18}}}, // 0x1234 = 4660 is 18.13 in 8 bits
        {"4-bit grey with a transparent grey",
         {.width = 4, .height = 1, .colourType = PNG_COLOR_TYPE_GRAY, .depth = 4, .transparent = {5}},
         {0x5F, 0x03},
         {{255, 255, 255}, {255, 255, 255}, {0, 0, 0}, {51, 51, 51}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (const bool interlaced : {false, true}) {
            PngFile f = c.file;
            f.interlaced = interlaced;
            DibGuard dib;
            ASSERT_EQ(decodePng(libpngWrite(f, c.samples), dib), ImageError::None);
            ASSERT_EQ(DibBitCount(dib.get()), 24);
            const auto rgb = testutil::rgbPixels(dib.get());
            ASSERT_EQ(rgb.size(), c.expected.size() * 3);
            for (size_t i = 0; i < c.expected.size(); ++i) {
                EXPECT_EQ(rgb[3 * i], c.expected[i][0]) << "pixel " << i;
                EXPECT_EQ(rgb[3 * i + 1], c.expected[i][1]) << "pixel " << i;
                EXPECT_EQ(rgb[3 * i + 2], c.expected[i][2]) << "pixel " << i;
            }
        }
    }
}

TEST(PngRoundTrip, TrueColourIsExactAndPalettePicturesGoAsTheirColours)
{
    struct Case {
        int width, height, bitCount;
    };
    const Case cases[] = {{37, 23, 24}, {1, 1, 24}, {301, 2, 24}, {3, 57, 24}, {37, 23, 1}, {37, 23, 4}, {37, 23, 8}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " at " << c.bitCount << " bits");
        DibGuard original(testutil::patternImage(c.width, c.height, c.bitCount, 4));
        std::vector<int> percents;
        std::vector<uint8_t> bytes;
        ASSERT_EQ(encodeImage(original.get(), FormatPNG, bytes, EncodeOptions{},
                              [&](int percent) { percents.push_back(percent); }),
                  ImageError::None);
        EXPECT_EQ(percents.back(), 100);
        EXPECT_TRUE(codecForContent(Bytes(bytes)) == &kPngCodec);
        // RGB, 8 bits, not interlaced.
        ASSERT_GT(bytes.size(), 33u);
        EXPECT_EQ(bytes[24], 8);
        EXPECT_EQ(bytes[25], PNG_COLOR_TYPE_RGB);
        EXPECT_EQ(bytes[28], PNG_INTERLACE_NONE);
        if (c.bitCount != 24) {
            DibGuard colour;
            ASSERT_EQ(convertTo24(original.get(), colour), ImageError::None);
            EXPECT_EQ(bytes, encodePng(colour.get()));
        }
        DibGuard back;
        ASSERT_EQ(decodePng(bytes, back), ImageError::None);
        EXPECT_EQ(DibBitCount(back.get()), 24);
        EXPECT_TRUE(testutil::samePixels(back.get(), original.get()));
    }
}

TEST(PngDecode, CutShortOrCorruptFilesAreDamaged)
{
    DibGuard picture(testutil::patternImage(29, 13, 24, 2));
    const auto file = encodePng(picture.get());
    const PngFile interlacedPalette{.width = 11,
                                    .height = 7,
                                    .colourType = PNG_COLOR_TYPE_PALETTE,
                                    .depth = 4,
                                    .interlaced = true,
                                    .palette = {{1, 2, 3}, {4, 5, 6}}};
    const auto palette = libpngWrite(interlacedPalette, std::vector<uint8_t>(6 * 7, 0x01));
    for (const auto* f : {&file, &palette}) {
        SCOPED_TRACE(f->size());
        // Every cut, the IEND chunk included.
        for (size_t n = 0; n < f->size(); ++n) {
            DibGuard dib;
            ASSERT_EQ(decodePng(*f, dib, n), ImageError::Damaged) << "cut at " << n;
            EXPECT_FALSE(dib);
        }
    }

    const size_t idat = findChunk(file, "IDAT");
    ASSERT_NE(idat, 0u);
    std::vector<uint8_t> badCrc = file;
    badCrc[idat + 8 + get32(file, idat)] ^= 1;
    std::vector<uint8_t> badHeaderCrc = file;
    badHeaderCrc[8 + 8 + 13] ^= 0x80;
    // A text chunk (ancillary) with a wrong CRC.
    std::vector<uint8_t> badText = file;
    const uint8_t text[] = {0, 0, 0, 4, 't', 'E', 'X', 't', 'a', 0, 'b', 'c', 0xDE, 0xAD, 0xBE, 0xEF};
    badText.insert(badText.begin() + long(idat), std::begin(text), std::end(text));
    // Compressed data that does not inflate, with a correct CRC.
    std::vector<uint8_t> badDeflate = file;
    for (size_t i = 0; i < 8; ++i)
        badDeflate[idat + 10 + i] = 0xFF;
    fixCrc(badDeflate, idat);
    // A palette file without its palette.
    std::vector<uint8_t> noPalette = palette;
    const size_t plte = findChunk(noPalette, "PLTE");
    ASSERT_NE(plte, 0u);
    noPalette.erase(noPalette.begin() + long(plte), noPalette.begin() + long(plte + 12 + get32(palette, plte)));
    std::vector<uint8_t> notPng = file;
    notPng[1] = 'Q';
    for (const auto* f : {&badCrc, &badHeaderCrc, &badText, &badDeflate, &noPalette, &notPng}) {
        DibGuard dib;
        EXPECT_EQ(decodePng(*f, dib), ImageError::Damaged);
        EXPECT_FALSE(dib);
    }
}

TEST(PngDecode, HugeClaimsFailBeforeTheWork)
{
    const PngFile greyFile{.width = 16, .height = 16, .colourType = PNG_COLOR_TYPE_GRAY};
    const auto small = libpngWrite(greyFile, std::vector<uint8_t>(256, 77));
    DibGuard colour(testutil::patternImage(16, 16, 24, 1));
    const auto smallColour = encodePng(colour.get());
    struct Case {
        const std::vector<uint8_t>* file;
        uint32_t width, height;
        ImageError error;
    };
    const Case cases[] = {
        {&small, 70000, 10, ImageError::TooLarge},             // beyond kMaxDimension
        {&smallColour, 30000, 30000, ImageError::TooLarge},   // beyond the pixel limit
        {&small, 20000, 20000, ImageError::Damaged},          // 400 MB from a few hundred bytes
        {&small, 100, 50, ImageError::Damaged},               // plausible, but the data runs out
        {&small, 0, 16, ImageError::Damaged},
    };
    setAllocationLimitForTest(16 << 20);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
        std::vector<uint8_t> bytes = *c.file;
        put32(bytes, 16, c.width);
        put32(bytes, 20, c.height);
        fixCrc(bytes, 8);
        DibGuard dib;
        EXPECT_EQ(decodePng(bytes, dib), c.error);
        EXPECT_FALSE(dib);
    }
    setAllocationLimitForTest(UINT64_MAX);
}

TEST(PngEncode, ImageMagickReadsWhatWeWrite)
{
    QTemporaryDir dir;
    DibGuard pictures[] = {DibGuard(testutil::patternImage(37, 23, 24, 8)), DibGuard(testutil::patternImage(37, 23, 8, 8)),
                           DibGuard(testutil::patternImage(37, 23, 1, 8))};
    for (auto& picture : pictures) {
        SCOPED_TRACE(DibBitCount(picture.get()));
        const QString path = dir.filePath(QStringLiteral("bild%1.png").arg(DibBitCount(picture.get())));
        ASSERT_EQ(SaveDib(picture.get(), path, FormatPNG, nullptr), 1);
        EXPECT_EQ(testutil::maxDifference(picture.get(), imageMagickReading(path)), 0);
        DibGuard ours;
        OpenDib(ours.out(), path, FormatAuto, nullptr);
        ASSERT_TRUE(ours);
        EXPECT_TRUE(testutil::samePixels(ours.get(), picture.get()));
    }
}
