// The TGA codec: round trips through our writer, ImageMagick reading what
// we write, the four origins, and hand-made hostile files. The fixture
// walker checks our reading of the files other programs wrote.

#include "raster/codec.h"
#include "raster/rasterio.h"
#include "tests/testutil.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>

using namespace raster;

namespace {

std::vector<uint8_t> encodeTga(const TDibRecord& dib)
{
    std::vector<uint8_t> bytes;
    EXPECT_EQ(encodeImage(dib, FormatTGA, bytes, {}), ImageError::None);
    return bytes;
}

struct TgaHeader {
    int idLength = 0;
    int mapType = 0;
    int imageType = 2;
    int mapFirst = 0;
    int mapLength = 0;
    int mapBits = 0;
    int width = 1;
    int height = 1;
    int depth = 24;
    int descriptor = 0;
};

std::vector<uint8_t> tgaHeader(const TgaHeader& h)
{
    return {uint8_t(h.idLength), uint8_t(h.mapType), uint8_t(h.imageType), uint8_t(h.mapFirst),
            uint8_t(h.mapFirst >> 8), uint8_t(h.mapLength), uint8_t(h.mapLength >> 8), uint8_t(h.mapBits),
            0, 0, 0, 0, uint8_t(h.width), uint8_t(h.width >> 8), uint8_t(h.height), uint8_t(h.height >> 8),
            uint8_t(h.depth), uint8_t(h.descriptor)};
}

std::vector<uint8_t> withBody(std::vector<uint8_t> bytes, std::initializer_list<int> body)
{
    for (const int b : body)
        bytes.push_back(uint8_t(b));
    return bytes;
}


} // namespace

TEST(TgaRoundTrip, EveryDepthKeepsEveryPixelAndColour)
{
    for (const int bitCount : {1, 4, 8, 24}) {
        for (const int width : {1, 3, 33}) {
            SCOPED_TRACE(testing::Message() << bitCount << " bits, width " << width);
            DibGuard source(testutil::patternImage(width, 6, bitCount, uint32_t(width + 3)));
            std::vector<int> percents;
            std::vector<uint8_t> bytes;
            ASSERT_EQ(encodeImage(source.get(), FormatTGA, bytes, {}, [&](int p) { percents.push_back(p); }),
                      ImageError::None);
            EXPECT_EQ(percents.back(), 100);
            // Run-length coded, colour-mapped with 24-bit entries or true colour.
            ASSERT_GE(bytes.size(), 18u + 26u);
            EXPECT_EQ(bytes[2], bitCount == 24 ? 10 : 9);
            EXPECT_EQ(bytes[16], bitCount == 24 ? 24 : 8);
            if (bitCount < 24) {
                EXPECT_EQ(bytes[7], 24);
                EXPECT_EQ(bytes[5] | bytes[6] << 8, 1 << bitCount);
            }
            EXPECT_EQ(bytes[17] & 0x30, 0) << "bottom-left origin";
            const char footer[] = "TRUEVISION-XFILE.";
            EXPECT_EQ(std::memcmp(bytes.data() + bytes.size() - sizeof(footer), footer, sizeof(footer)), 0);

            DibGuard back;
            percents.clear();
            ASSERT_EQ(decodeImage(Bytes(bytes), FormatAuto, back, [&](int p) { percents.push_back(p); }),
                      ImageError::None);
            EXPECT_EQ(percents.back(), 100);
            EXPECT_EQ(DibBitCount(back.get()), bitCount == 24 ? 24 : 8);
            EXPECT_TRUE(testutil::samePixels(back.get(), source.get()));
        }
    }
}

TEST(TgaRoundTrip, ImageMagickSeesTheSamePixels)
{
    if (QStandardPaths::findExecutable("convert").isEmpty())
        GTEST_SKIP() << "ImageMagick is not installed";
    QTemporaryDir dir;
    for (const int bitCount : {1, 4, 8, 24}) {
        SCOPED_TRACE(bitCount);
        DibGuard source(testutil::patternImage(33, 9, bitCount, 7));
        const auto bytes = encodeTga(source.get());
        const QString file = dir.filePath(QString("bild%1.tga").arg(bitCount));
        testutil::writeFile(file, QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())));
        testutil::Rgb seen;
        // -auto-orient: ImageMagick honours the origin bits only when asked.
        ASSERT_TRUE(testutil::readWith("convert", {file, "-auto-orient", "-depth", "8", "ppm:-"}, seen));
        EXPECT_EQ(testutil::maxDifference(source.get(), seen), 0);
    }
}

TEST(TgaDecode, EveryOriginDecodesUpright)
{
    // 3 x 2 grey pixels, top row 10 20 30, bottom row 40 50 60, stored in
    // the order each descriptor says.
    struct Case {
        const char* name;
        int descriptor;
        std::initializer_list<int> stored;
    };
    const Case cases[] = {
        {"bottom-left", 0x00, {40, 50, 60, 10, 20, 30}},
        {"bottom-right", 0x10, {60, 50, 40, 30, 20, 10}},
        {"top-left", 0x20, {10, 20, 30, 40, 50, 60}},
        {"top-right", 0x30, {30, 20, 10, 60, 50, 40}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TgaHeader h;
        h.imageType = 3;
        h.depth = 8;
        h.width = 3;
        h.height = 2;
        h.descriptor = c.descriptor;
        const auto bytes = withBody(tgaHeader(h), c.stored);
        DibGuard dib;
        ASSERT_EQ(decodeImage(Bytes(bytes), FormatAuto, dib), ImageError::None);
        EXPECT_TRUE(hasGreyRamp(dib.get()));
        for (int y = 0; y < 2; ++y) {
            for (int x = 0; x < 3; ++x)
                EXPECT_EQ(getpixel(dib.get(), x, y), uint32_t(10 * (3 * y + x + 1))) << x << "," << y;
        }
    }
}

TEST(TgaDecode, PacketsCrossRowsAndStopAtThePictureEnd)
{
    // Colour-mapped RLE, 2 x 2, map entries 3 and 4 (first entry index 3):
    // a run of three 4s across the row end, then a raw packet of two where
    // one pixel is left; value 9 lies outside the map.
    TgaHeader h;
    h.mapType = 1;
    h.imageType = 9;
    h.mapFirst = 3;
    h.mapLength = 2;
    h.mapBits = 24;
    h.width = 2;
    h.height = 2;
    h.depth = 8;
    h.descriptor = 0x20;
    auto bytes = withBody(tgaHeader(h), {10, 20, 30, 40, 50, 60, 0x82, 4, 0x01, 9, 3});
    DibGuard dib;
    ASSERT_EQ(decodeImage(Bytes(bytes), FormatAuto, dib), ImageError::None);
    ASSERT_EQ(DibBitCount(dib.get()), 8);
    EXPECT_EQ(getpixel(dib.get(), 0, 0), 4u);
    EXPECT_EQ(getpixel(dib.get(), 1, 0), 4u);
    EXPECT_EQ(getpixel(dib.get(), 0, 1), 4u);
    EXPECT_EQ(getpixel(dib.get(), 1, 1), 9u);
    const RGBQUAD* colours = DibColors(dib.get());
    EXPECT_EQ(colours[4].rgbRed, 60); // entries are stored blue, green, red
    EXPECT_EQ(colours[4].rgbBlue, 40);
    EXPECT_EQ(colours[3].rgbRed, 30);
    EXPECT_EQ(colours[9].rgbRed | colours[9].rgbGreen | colours[9].rgbBlue, 0);
}

TEST(TgaDecode, HostileFilesFailCleanly)
{
    auto header = [](int type, int depth, int width, int height) {
        TgaHeader h;
        h.imageType = type;
        h.depth = depth;
        h.width = width;
        h.height = height;
        return tgaHeader(h);
    };
    TgaHeader mapped;
    mapped.mapType = 1;
    mapped.imageType = 1;
    mapped.mapLength = 200;
    mapped.mapBits = 24;
    mapped.depth = 8;
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        ImageError error;
    };
    const Case cases[] = {
        {"60000 x 60000", withBody(header(10, 24, 60000, 60000), {0xFF, 1, 2, 3}), ImageError::TooLarge},
        // Within the limits, but a few packets cannot fill it.
        {"20000 x 20000 from a few bytes", withBody(header(11, 8, 20000, 20000), {0xFF, 1, 0xFF, 2}),
         ImageError::Damaged},
        {"raw pixels cut short", withBody(header(2, 24, 4, 4), {1, 2, 3, 4, 5, 6}), ImageError::Damaged},
        {"run packet without its pixel", withBody(header(11, 8, 4, 1), {0x81, 7, 0x81}), ImageError::Damaged},
        {"raw packet cut short", withBody(header(10, 24, 4, 1), {0x03, 1, 2, 3, 4}), ImageError::Damaged},
        {"colour map cut short", withBody(tgaHeader(mapped), {1, 2, 3}), ImageError::Damaged},
        {"no width", header(2, 24, 0, 5), ImageError::Damaged},
        {"header cut short", std::vector<uint8_t>(10, 0), ImageError::Damaged},
        {"Huffman coded", withBody(header(32, 8, 1, 1), {0}), ImageError::Unsupported},
        {"grey of 16 bits", withBody(header(3, 16, 1, 1), {0, 0}), ImageError::Unsupported},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DibGuard dib;
        EXPECT_EQ(decodeImage(Bytes(c.bytes), FormatTGA, dib), c.error);
        EXPECT_FALSE(dib);
    }
}

TEST(TgaSniff, AcceptsPlausibleHeadersOnly)
{
    DibGuard picture(testutil::patternImage(4, 4, 8));
    const auto mappedFile = encodeTga(picture.get());
    auto raw = withBody(tgaHeader({}), {1, 2, 3});
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        size_t offset;
        uint8_t value;
        bool accepted;
    };
    const Case cases[] = {
        {"our colour-mapped file", mappedFile, 2, 9, true},
        {"raw true colour", raw, 2, 2, true},
        {"colour map type 2", mappedFile, 1, 2, false},
        {"image type 4", mappedFile, 2, 4, false},
        {"mapped without a map", raw, 2, 1, false},
        {"map entries of 8 bits", mappedFile, 7, 8, false},
        {"true colour of 8 bits", raw, 16, 8, false},
        {"grey of 24 bits", raw, 2, 3, false},
        {"no height", raw, 14, 0, false},
        {"interleaved rows", raw, 17, 0x40, false},
        {"raw pixels missing", raw, 12, 2, false}, // 2 x 1 pixels claimed, one there
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto bytes = c.bytes;
        bytes[c.offset] = c.value;
        EXPECT_EQ(codecForContent(Bytes(bytes)) == codecForFormat(FormatTGA), c.accepted);
    }
    // Text is no TGA picture.
    const char text[] = "Das ist kein Bild, nur ein Text.";
    EXPECT_EQ(codecForContent(Bytes(reinterpret_cast<const uint8_t*>(text), sizeof(text))), nullptr);
}
