// The PCX codec: round trips through our writer, netpbm and ImageMagick
// reading what we write, and hand-made files for the cases no writer makes
// on request (runs across lines, missing palettes, hostile headers). The
// fixture walker checks our reading of the files other programs wrote.

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

std::vector<uint8_t> encodePcx(const TDibRecord& dib)
{
    std::vector<uint8_t> bytes;
    EXPECT_EQ(encodeImage(dib, FormatPCX, bytes, {}), ImageError::None);
    return bytes;
}

// A version 5 header; the pixel bytes follow.
std::vector<uint8_t> pcxHeader(int bitsPerPixel, int planes, int width, int height, int bytesPerLine)
{
    std::vector<uint8_t> h(128, 0);
    h[0] = 0x0A;
    h[1] = 5;
    h[2] = 1;
    h[3] = uint8_t(bitsPerPixel);
    h[8] = uint8_t(width - 1);
    h[9] = uint8_t((width - 1) >> 8);
    h[10] = uint8_t(height - 1);
    h[11] = uint8_t((height - 1) >> 8);
    h[65] = uint8_t(planes);
    h[66] = uint8_t(bytesPerLine);
    h[67] = uint8_t(bytesPerLine >> 8);
    return h;
}

void append(std::vector<uint8_t>& bytes, std::initializer_list<int> more)
{
    for (const int b : more)
        bytes.push_back(uint8_t(b));
}

// The 0x0C marker and a palette whose entry i is (i, 255 - i, 7).
void appendVgaPalette(std::vector<uint8_t>& bytes)
{
    bytes.push_back(0x0C);
    for (int i = 0; i < 256; ++i)
        append(bytes, {i, 255 - i, 7});
}


} // namespace

TEST(PcxRoundTrip, EveryDepthKeepsEveryPixelAndColour)
{
    struct Case {
        int bitCount;
        int bitsPerPixel; // as written in the header
        int planes;
    };
    const Case cases[] = {{1, 1, 1}, {4, 1, 4}, {8, 8, 1}, {24, 8, 3}};
    for (const auto& c : cases) {
        for (const int width : {1, 3, 33}) {
            SCOPED_TRACE(testing::Message() << c.bitCount << " bits, width " << width);
            DibGuard source(testutil::patternImage(width, 7, c.bitCount, uint32_t(width)));
            std::vector<int> percents;
            std::vector<uint8_t> bytes;
            ASSERT_EQ(encodeImage(source.get(), FormatPCX, bytes, {}, [&](int p) { percents.push_back(p); }),
                      ImageError::None);
            EXPECT_EQ(percents.back(), 100);
            ASSERT_GE(bytes.size(), 128u);
            EXPECT_EQ(bytes[3], c.bitsPerPixel);
            EXPECT_EQ(bytes[65], c.planes);
            const int bytesPerLine = bytes[66] | bytes[67] << 8;
            EXPECT_EQ(bytesPerLine % 2, 0);
            EXPECT_GE(bytesPerLine * 8, width * c.bitsPerPixel);

            DibGuard back;
            percents.clear();
            ASSERT_EQ(decodeImage(Bytes(bytes), FormatAuto, back, [&](int p) { percents.push_back(p); }),
                      ImageError::None);
            EXPECT_EQ(percents.back(), 100);
            EXPECT_EQ(DibBitCount(back.get()), c.bitCount);
            EXPECT_TRUE(testutil::samePixels(back.get(), source.get()));
        }
    }
}

TEST(PcxRoundTrip, OtherReadersSeeTheSamePixels)
{
    QTemporaryDir dir;
    for (const int bitCount : {1, 4, 8, 24}) {
        SCOPED_TRACE(bitCount);
        DibGuard source(testutil::patternImage(33, 9, bitCount, 5));
        const auto bytes = encodePcx(source.get());
        const QString file = dir.filePath(QString("bild%1.pcx").arg(bitCount));
        testutil::writeFile(file, QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())));
        // ImageMagick shows set bits of two-colour files black whatever the
        // palette says; netpbm reads the header palette as we write it.
        const bool mono = bitCount == 1;
        const QString program = mono ? "pcxtoppm" : "convert";
        if (QStandardPaths::findExecutable(program).isEmpty())
            GTEST_SKIP() << program.toStdString() << " is not installed";
        const QStringList arguments = mono ? QStringList{file} : QStringList{file, "-depth", "8", "ppm:-"};
        testutil::Rgb seen;
        ASSERT_TRUE(testutil::readWith(program, arguments, seen));
        EXPECT_EQ(testutil::maxDifference(source.get(), seen), 0);
    }
}

TEST(PcxDecode, RunsGoOnAcrossLinesAndStopAtThePictureEnd)
{
    // 8 bits, 3 x 2 pixels, 4 bytes per line (one of padding). A run of
    // five 5s covers the first line and one byte of the next; the last run
    // claims 20 bytes where 2 are left.
    auto bytes = pcxHeader(8, 1, 3, 2, 4);
    append(bytes, {0xC5, 5, 9, 0xD4, 200});
    appendVgaPalette(bytes);
    DibGuard dib;
    ASSERT_EQ(decodeImage(Bytes(bytes), FormatAuto, dib), ImageError::None);
    ASSERT_EQ(DibBitCount(dib.get()), 8);
    const uint32_t expected[2][3] = {{5, 5, 5}, {5, 9, 200}};
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(getpixel(dib.get(), x, y), expected[y][x]) << x << "," << y;
    }
    EXPECT_EQ(DibColors(dib.get())[200].rgbRed, 200);
    EXPECT_EQ(DibColors(dib.get())[200].rgbGreen, 55);
    EXPECT_EQ(DibColors(dib.get())[200].rgbBlue, 7);
}

TEST(PcxDecode, EightBitsWithoutThePaletteAreGrey)
{
    auto bytes = pcxHeader(8, 1, 2, 1, 2);
    append(bytes, {0xC2, 128});
    DibGuard dib;
    ASSERT_EQ(decodeImage(Bytes(bytes), FormatPCX, dib), ImageError::None);
    EXPECT_TRUE(hasGreyRamp(dib.get()));
    EXPECT_EQ(getpixel(dib.get(), 1, 0), 128u);

    // The marker with too few colours behind it: the file was cut.
    append(bytes, {0x0C, 1, 2, 3, 4, 5, 6});
    EXPECT_EQ(decodeImage(Bytes(bytes), FormatPCX, dib), ImageError::Damaged);
    EXPECT_FALSE(dib);
}

TEST(PcxDecode, HostileFilesFailCleanly)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        ImageError error;
    };
    auto withBody = [](std::vector<uint8_t> header, std::initializer_list<int> body) {
        append(header, body);
        return header;
    };
    auto cut = [](std::vector<uint8_t> bytes, size_t length) {
        bytes.resize(length);
        return bytes;
    };
    std::vector<Case> cases = {
        {"60000 x 60000", withBody(pcxHeader(8, 1, 60000, 60000, 60000), {0xFF, 0}), ImageError::TooLarge},
        // Within the limits, but the data could not fill a tenth of it.
        {"20000 x 20000 from a few bytes", withBody(pcxHeader(8, 1, 20000, 20000, 20000), {0xFF, 0, 0xFF, 0}),
         ImageError::Damaged},
        {"body cut short", withBody(pcxHeader(8, 3, 4, 4, 4), {0xCA, 1, 2, 3}), ImageError::Damaged},
        {"run count without its value", withBody(pcxHeader(1, 1, 8, 1, 2), {0xC2}), ImageError::Damaged},
        {"lines narrower than the window", withBody(pcxHeader(8, 1, 9, 1, 4), {0xC9, 1}), ImageError::Damaged},
        {"header only", pcxHeader(1, 4, 16, 16, 2), ImageError::Damaged},
        {"two planes of 8 bits", withBody(pcxHeader(8, 2, 2, 1, 2), {0xC4, 1}), ImageError::Unsupported},
        {"header cut short", cut(pcxHeader(1, 1, 8, 8, 2), 100), ImageError::Damaged},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DibGuard dib;
        EXPECT_EQ(decodeImage(Bytes(c.bytes), FormatPCX, dib), c.error);
        EXPECT_FALSE(dib);
    }
}

TEST(PcxSniff, AcceptsPlausibleHeadersOnly)
{
    DibGuard picture(testutil::patternImage(5, 5, 4));
    const auto good = encodePcx(picture.get());
    struct Case {
        const char* name;
        size_t offset;
        uint8_t value;
        bool accepted;
    };
    const Case cases[] = {
        {"as written", 0, 0x0A, true},       {"version 3", 1, 3, true},
        {"version 1", 1, 1, false},          {"version 6", 1, 6, false},
        {"not run coded", 2, 0, false},      {"3 bits per pixel", 3, 3, false},
        {"Xmax before Xmin", 4, 9, false},   {"no planes", 65, 0, false},
        {"no bytes per line", 66, 0, false}, {"another maker", 0, 0x0B, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto bytes = good;
        bytes[c.offset] = c.value;
        EXPECT_EQ(codecForContent(Bytes(bytes)) == codecForFormat(FormatPCX), c.accepted);
    }
}
