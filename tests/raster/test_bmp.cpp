// The BMP codec: round trips through our three writers (BMP, DIB, RLE),
// ImageMagick reading what we write, and hand-made files for what no writer
// makes on request (hostile run-length data, header variants, bit-field
// masks, absurd sizes). The fixture walker checks our reading of the files
// ImageMagick wrote.

#include "raster/codec.h"
#include "raster/rasterio.h"
#include "raster/testhooks.h"
#include "tests/testutil.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

using namespace raster;

namespace {

uint32_t get32(const std::vector<uint8_t>& b, size_t at)
{
    return uint32_t(b[at]) | (uint32_t(b[at + 1]) << 8) | (uint32_t(b[at + 2]) << 16) | (uint32_t(b[at + 3]) << 24);
}

uint16_t get16(const std::vector<uint8_t>& b, size_t at)
{
    return uint16_t(b[at] | (b[at + 1] << 8));
}

void add16(std::vector<uint8_t>& b, uint32_t v)
{
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}

void add32(std::vector<uint8_t>& b, uint32_t v)
{
    add16(b, v & 0xFFFF);
    add16(b, v >> 16);
}

void append(std::vector<uint8_t>& b, std::initializer_list<int> more)
{
    for (const int v : more)
        b.push_back(uint8_t(v));
}

// A hand-made file: what its headers say and what follows them.
struct BmpParts {
    int32_t width = 1;
    int32_t height = 1;
    uint16_t bitCount = 8;
    uint32_t compression = platform::BI_RGB;
    uint32_t headerSize = 40;
    bool fileHeader = true;
    uint32_t colorsUsed = 0;
    int tableEntries = -1; // -1: as many as the depth calls for, or colorsUsed
    std::vector<uint32_t> masks; // written behind a 40-byte header, inside larger ones
    std::vector<uint8_t> pixels;
    int64_t offBits = -1; // -1: right behind the colour table
};

// Colour-table entry i of the hand-made files: (red i, green 255 - i, blue 7).
RGBQUAD tableColour(int i)
{
    return RGBQUAD{7, uint8_t(255 - i), uint8_t(i), 0};
}

std::vector<uint8_t> makeBmp(const BmpParts& s)
{
    std::vector<uint8_t> b;
    if (s.fileHeader) {
        append(b, {'B', 'M'});
        add32(b, 0);
        add32(b, 0);
        add32(b, 0);
    }
    const size_t info = b.size();
    if (s.headerSize == 12) {
        add32(b, 12);
        add16(b, uint32_t(s.width));
        add16(b, uint32_t(s.height));
        add16(b, 1);
        add16(b, s.bitCount);
    } else {
        add32(b, s.headerSize);
        add32(b, uint32_t(s.width));
        add32(b, uint32_t(s.height));
        add16(b, 1);
        add16(b, s.bitCount);
        add32(b, s.compression);
        add32(b, uint32_t(s.pixels.size()));
        add32(b, 0);
        add32(b, 0);
        add32(b, s.colorsUsed);
        add32(b, 0);
        b.resize(info + s.headerSize, 0);
        for (size_t i = 0; i < s.masks.size(); ++i) {
            if (s.headerSize == 40)
                add32(b, s.masks[i]);
            else
                for (int k = 0; k < 4; ++k)
                    b[info + 40 + 4 * i + size_t(k)] = uint8_t(s.masks[i] >> (8 * k));
        }
    }
    int entries = s.tableEntries;
    if (entries < 0)
        entries = s.bitCount > 8 ? 0 : s.colorsUsed ? int(s.colorsUsed) : 1 << s.bitCount;
    for (int i = 0; i < entries; ++i) {
        const RGBQUAD q = tableColour(i);
        append(b, {q.rgbBlue, q.rgbGreen, q.rgbRed});
        if (s.headerSize != 12)
            b.push_back(0);
    }
    if (s.fileHeader) {
        const auto off = uint32_t(s.offBits >= 0 ? uint32_t(s.offBits) : uint32_t(b.size()));
        for (int k = 0; k < 4; ++k)
            b[10 + size_t(k)] = uint8_t(off >> (8 * k));
    }
    b.insert(b.end(), s.pixels.begin(), s.pixels.end());
    if (s.fileHeader) {
        for (int k = 0; k < 4; ++k)
            b[2 + size_t(k)] = uint8_t(b.size() >> (8 * k));
    }
    return b;
}

// Pixel values of a picture, row by row from the top.
std::vector<uint32_t> pixelValues(const TDibRecord& dib)
{
    std::vector<uint32_t> v;
    for (int32_t y = 0; y < DibHeight(dib); ++y)
        for (int32_t x = 0; x < DibWidth(dib); ++x)
            v.push_back(getpixel(dib, x, y));
    return v;
}

// What ImageMagick makes of a file; false when it failed.
bool readWithImageMagick(const QString& file, testutil::Rgb& out)
{
    return testutil::readWith("convert", {file, "-depth", "8", "ppm:-"}, out);
}

// Checks that run-length data is what we promise to write: every row's
// codes give exactly width pixels and end with an end of line, no code
// crosses a row, absolute runs hold at least three pixels and are padded
// to 16 bits, and an end of bitmap closes the data. Returns the row count.
int checkRleStructure(const std::vector<uint8_t>& file, int width, bool four)
{
    size_t p = get32(file, 10);
    int rows = 0;
    int64_t x = 0;
    while (true) {
        if (p + 2 > file.size()) {
            ADD_FAILURE() << "no end of bitmap";
            return rows;
        }
        const uint8_t count = file[p], value = file[p + 1];
        p += 2;
        if (count > 0) {
            x += count;
            EXPECT_LE(x, width) << "run crosses the end of row " << rows;
        } else if (value == 0) {
            EXPECT_EQ(x, width) << "row " << rows << " is not complete";
            x = 0;
            ++rows;
        } else if (value == 1) {
            EXPECT_EQ(x, 0) << "end of bitmap inside a row";
            EXPECT_EQ(p, file.size()) << "bytes after the end of bitmap";
            return rows;
        } else {
            EXPECT_GE(value, 3) << "a delta in our own output";
            const size_t bytes = four ? (value + 1u) / 2 : value;
            p += (bytes + 1) & ~size_t(1);
            x += value;
            EXPECT_LE(x, width) << "absolute run crosses the end of row " << rows;
        }
    }
}

// Bands of one colour, a checkerboard corner (RLE4 codes two alternating
// colours as one run) and a strip of noise at the right.
TDibRecord runsPicture(int bitCount)
{
    TDibRecord dib = testutil::patternImage(101, 40, bitCount, 9);
    for (int32_t y = 0; y < 40; ++y) {
        for (int32_t x = 0; x < 90; ++x)
            setpixel(dib, x, y, uint32_t((x / 30 + y / 10) % 3 + 1));
        if (y < 8)
            for (int32_t x = 0; x < 40; ++x)
                setpixel(dib, x, y, uint32_t(((x + y) & 1) ? 5 : 6));
    }
    return dib;
}

} // namespace

TEST(BmpRoundTrip, EveryDepthThroughEveryWriterKeepsPixelsAndColours)
{
    const int formats[] = {FormatBMP, FormatDIB, FormatRLE};
    const int widths[] = {1, 3, 7, 33};
    for (const int bitCount : {1, 4, 8, 24}) {
        for (const int width : widths) {
            DibGuard picture(testutil::patternImage(width, 5, bitCount, uint32_t(width)));
            for (const int format : formats) {
                SCOPED_TRACE(testing::Message() << bitCount << " bits, width " << width << ", format " << format);
                std::vector<uint8_t> bytes;
                ASSERT_EQ(encodeImage(picture.get(), format, bytes, {}), ImageError::None);

                // The headers say what the file holds.
                const uint32_t entries = bitCount <= 8 ? 1u << bitCount : 0;
                const bool rle = format == FormatRLE && (bitCount == 4 || bitCount == 8);
                ASSERT_GE(bytes.size(), 54u);
                EXPECT_EQ(bytes[0], 'B');
                EXPECT_EQ(bytes[1], 'M');
                EXPECT_EQ(get32(bytes, 2), bytes.size());
                EXPECT_EQ(get32(bytes, 10), 54 + 4 * entries);
                EXPECT_EQ(get32(bytes, 14), 40u);
                EXPECT_EQ(int32_t(get32(bytes, 18)), width);
                EXPECT_EQ(int32_t(get32(bytes, 22)), 5);
                EXPECT_EQ(get16(bytes, 26), 1);
                EXPECT_EQ(get16(bytes, 28), bitCount);
                EXPECT_EQ(get32(bytes, 30), rle ? (bitCount == 8 ? 1u : 2u) : 0u);
                EXPECT_EQ(get32(bytes, 34), bytes.size() - get32(bytes, 10));
                EXPECT_EQ(get32(bytes, 38), 3780u);
                EXPECT_EQ(get32(bytes, 42), 3780u);
                EXPECT_EQ(get32(bytes, 46), 0u);
                if (rle)
                    EXPECT_EQ(checkRleStructure(bytes, width, bitCount == 4), 5);
                else
                    EXPECT_EQ(get32(bytes, 34), dibStride(uint64_t(width), uint32_t(bitCount)) * 5);

                for (const int readAs : {format, int(FormatAuto)}) {
                    DibGuard read;
                    ASSERT_EQ(decodeImage(Bytes(bytes), readAs, read), ImageError::None);
                    EXPECT_EQ(DibBitCount(read.get()), bitCount);
                    EXPECT_EQ(pixelValues(read.get()), pixelValues(picture.get()));
                    for (uint32_t i = 0; i < entries; ++i) {
                        const RGBQUAD a = picture->Info->bmiColors[i], b = read->Info->bmiColors[i];
                        EXPECT_TRUE(a.rgbRed == b.rgbRed && a.rgbGreen == b.rgbGreen && a.rgbBlue == b.rgbBlue)
                            << "colour " << i;
                        EXPECT_EQ(read->LogPal.palPalEntry[i].peRed, a.rgbRed);
                    }
                }
            }
        }
    }
}

TEST(BmpRoundTrip, SaveDibAndOpenDibThroughFiles)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::pair<const char*, int> files[] = {{"bild.bmp", FormatBMP}, {"bild.dib", FormatDIB},
                                                 {"bild.rle", FormatRLE}};
    for (const int bitCount : {1, 4, 8, 24}) {
        DibGuard picture(testutil::patternImage(37, 23, bitCount, 3));
        for (const auto& [name, format] : files) {
            SCOPED_TRACE(testing::Message() << name << ", " << bitCount << " bits");
            const QString file = dir.filePath(QString::number(bitCount) + name);
            ASSERT_EQ(SaveDib(picture.get(), file, format, nullptr), 1);
            DibGuard read;
            OpenDib(read.out(), file, FormatAuto, nullptr);
            ASSERT_TRUE(read) << DibErrorText(read.get()).toStdString();
            EXPECT_EQ(DibBitCount(read.get()), bitCount);
            EXPECT_TRUE(testutil::samePixels(read.get(), picture.get()));
        }
    }
}

TEST(BmpRle, ImageMagickReadsWhatWeWrite)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const int bitCount : {1, 4, 8, 24}) {
        // Noise and runs, so both absolute and encoded runs are written.
        DibGuard noise(testutil::patternImage(37, 23, bitCount, 5));
        DibGuard bands(runsPicture(bitCount));
        for (const auto& [picture, name] : {std::pair{&noise, "noise"}, std::pair{&bands, "bands"}}) {
            for (const int format : {int(FormatBMP), int(FormatRLE)}) {
                SCOPED_TRACE(testing::Message() << name << ", " << bitCount << " bits, format " << format);
                const QString file = dir.filePath(QStringLiteral("%1-%2-%3.bmp").arg(name).arg(bitCount).arg(format));
                ASSERT_EQ(SaveDib(picture->get(), file, format, nullptr), 1);
                testutil::Rgb theirs;
                ASSERT_TRUE(readWithImageMagick(file, theirs)) << "convert could not read " << file.toStdString();
                EXPECT_EQ(testutil::maxDifference(picture->get(), theirs), 0);
            }
        }
    }
}

TEST(BmpRle, PicturesWithRunsBecomeSmaller)
{
    for (const int bitCount : {4, 8}) {
        SCOPED_TRACE(testing::Message() << bitCount << " bits");
        DibGuard picture(runsPicture(bitCount));
        std::vector<uint8_t> plain, rle;
        ASSERT_EQ(encodeImage(picture.get(), FormatBMP, plain, {}), ImageError::None);
        ASSERT_EQ(encodeImage(picture.get(), FormatRLE, rle, {}), ImageError::None);
        const size_t table = 4u << bitCount;
        const size_t plainPixels = plain.size() - 54 - table, rlePixels = rle.size() - 54 - table;
        EXPECT_LT(rlePixels * 3, plainPixels) << rlePixels << " against " << plainPixels;
        DibGuard read;
        ASSERT_EQ(decodeImage(Bytes(rle), FormatRLE, read), ImageError::None);
        EXPECT_EQ(pixelValues(read.get()), pixelValues(picture.get()));
    }
}

TEST(BmpRle, HandMadeStreamsDecodeToTheirPixels)
{
    struct Case {
        const char* what;
        int bitCount;
        int width, height;
        std::vector<uint8_t> stream;
        ImageError error;
        std::vector<uint32_t> pixels; // row by row from the top
    };
    const Case cases[] = {
        // Rows come bottom-up: the first row of the data is the last one shown.
        {"rle8 runs, absolute, end of line, end of bitmap", 8, 5, 3,
         {3, 9, 0, 3, 1, 2, 3, 0, /**/ 0, 0, /**/ 2, 4, 0, 0, /**/ 0, 4, 5, 6, 7, 8, 0, 1}, ImageError::None,
         {5, 6, 7, 8, 0, /**/ 4, 4, 0, 0, 0, /**/ 9, 9, 9, 1, 2}},
        {"rle8 delta skips pixels, which keep index 0", 8, 4, 3,
         {1, 7, 0, 2, 2, 1, 1, 8, 0, 0, 2, 9, 0, 1}, ImageError::None,
         {9, 9, 0, 0, /**/ 0, 0, 0, 8, /**/ 7, 0, 0, 0}},
        {"rle8 run past the row end is cut, not carried over", 8, 3, 2,
         {200, 4, 0, 0, 0, 5, 1, 2, 3, 4, 5, 0, 0, 0, 0, 1}, ImageError::None,
         {1, 2, 3, /**/ 4, 4, 4}},
        {"rle8 delta beyond the picture ends the writing", 8, 2, 2,
         {1, 3, 0, 2, 250, 250, 2, 9, 0, 0, 2, 8, 0, 1}, ImageError::None,
         {0, 0, /**/ 3, 0}},
        {"rle8 end of line after the last row", 8, 2, 1,
         {2, 6, 0, 0, 0, 0, 0, 0, 0, 5, 1, 1, 1, 1, 1, 0, 3, 3, 0, 1}, ImageError::None,
         {6, 6}},
        {"rle8 complete rows without end of bitmap", 8, 2, 2, {2, 1, 0, 0, 2, 2, 0, 0}, ImageError::None,
         {2, 2, /**/ 1, 1}},
        {"rle8 data ends inside the picture", 8, 2, 2, {2, 1, 0, 0, 2, 2}, ImageError::Damaged, {}},
        {"rle8 absolute run cut short", 8, 8, 1, {0, 6, 1, 2, 3}, ImageError::Damaged, {}},
        {"rle8 delta cut short", 8, 8, 1, {0, 2, 1}, ImageError::Damaged, {}},
        {"rle8 without any data", 8, 8, 1, {}, ImageError::Damaged, {}},
        {"rle4 runs alternate the two nibbles", 4, 7, 1, {5, 0x3A, 2, 0x11, 0, 1}, ImageError::None,
         {3, 10, 3, 10, 3, 1, 1}},
        {"rle4 absolute run of odd length, padded", 4, 6, 2,
         {0, 5, 0x12, 0x34, 0x50, 0x00, 1, 0xF0, 0, 0, 0, 2, 3, 0, 6, 0xEE, 0, 1}, ImageError::None,
         {0, 0, 0, 14, 14, 14, /**/ 1, 2, 3, 4, 5, 15}},
        {"rle4 starts at an odd column after a delta", 4, 4, 1, {0, 2, 1, 0, 3, 0x9C, 0, 1}, ImageError::None,
         {0, 9, 12, 9}},
        {"rle4 absolute run past the row end is cut", 4, 3, 1, {0, 8, 0x12, 0x34, 0x56, 0x78, 0, 1},
         ImageError::None, {1, 2, 3}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        BmpParts s;
        s.width = c.width;
        s.height = c.height;
        s.bitCount = uint16_t(c.bitCount);
        s.compression = c.bitCount == 8 ? platform::BI_RLE8 : platform::BI_RLE4;
        s.pixels = c.stream;
        const std::vector<uint8_t> file = makeBmp(s);
        DibGuard read;
        ASSERT_EQ(decodeImage(Bytes(file), FormatRLE, read), c.error);
        if (c.error == ImageError::None) {
            EXPECT_EQ(pixelValues(read.get()), c.pixels);
            EXPECT_EQ(read->Info->bmiColors[3].rgbRed, 3);
            EXPECT_EQ(read->Info->bmiColors[3].rgbGreen, 252);
        }
    }
}

TEST(BmpRle, HostileStreamsStayInsideThePicture)
{
    // Every kind of code with random arguments: whatever the data says, the
    // decoder writes only inside the picture (the sanitizer build proves it)
    // and fails or succeeds with an image.
    uint32_t seed = 77;
    auto next = [&seed] {
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        return seed;
    };
    for (int round = 0; round < 300; ++round) {
        std::vector<uint8_t> stream;
        const int codes = int(next() % 60);
        for (int i = 0; i < codes; ++i) {
            switch (next() % 5) {
            case 0: append(stream, {int(next() % 256), int(next())}); break;
            case 1: append(stream, {0, 0}); break;
            case 2: append(stream, {0, 2, int(next() % 256), int(next() % 4)}); break;
            default: {
                const int n = 3 + int(next() % 253);
                append(stream, {0, n});
                for (int k = 0; k < n; ++k)
                    stream.push_back(uint8_t(next()));
                if (n & 1)
                    stream.push_back(0);
            }
            }
        }
        if (next() % 2)
            append(stream, {0, 1});
        BmpParts s;
        s.width = 1 + int(next() % 9);
        s.height = 1 + int(next() % 5);
        s.bitCount = next() % 2 ? 8 : 4;
        s.compression = s.bitCount == 8 ? platform::BI_RLE8 : platform::BI_RLE4;
        s.pixels = stream;
        const std::vector<uint8_t> file = makeBmp(s);
        DibGuard read;
        const ImageError error = decodeImage(Bytes(file), FormatRLE, read);
        EXPECT_EQ(error == ImageError::None, bool(read));
        EXPECT_TRUE(error == ImageError::None || error == ImageError::Damaged);
    }
}

TEST(BmpDecode, HeaderVariantsAndColourTables)
{
    struct Case {
        const char* what;
        BmpParts parts;
        std::vector<uint32_t> pixels; // values row by row from the top (colours for 24 bits)
        int blackFrom;                // colour-table entries from here on are black (-1: none)
    };
    auto parts = [](int w, int h, int bits, std::vector<uint8_t> px) {
        BmpParts s;
        s.width = w;
        s.height = h;
        s.bitCount = uint16_t(bits);
        s.pixels = std::move(px);
        return s;
    };
    std::vector<Case> cases;
    {
        // 8 bits with two colours in the table; index 200 finds black.
        BmpParts s = parts(3, 1, 8, {0, 1, 200, 0});
        s.colorsUsed = 2;
        cases.push_back({"short colour table (biClrUsed)", s, {0, 1, 200}, 2});
    }
    {
        BmpParts s = parts(3, 1, 8, {5, 1, 4, 0});
        s.offBits = 14 + 40 + 4 * 4; // the offset leaves room for four entries
        s.tableEntries = 4;
        cases.push_back({"colour table cut short by the pixel offset", s, {5, 1, 4}, 4});
    }
    {
        BmpParts s = parts(9, 2, 1, {0x80, 0x80, 0, 0, 0x55, 0x00, 0, 0});
        s.headerSize = 12;
        s.fileHeader = false;
        cases.push_back({"packed core header, three-byte colours", s,
                         {0, 1, 0, 1, 0, 1, 0, 1, 0, /**/ 1, 0, 0, 0, 0, 0, 0, 0, 1}, -1});
    }
    {
        BmpParts s = parts(3, 2, 4, {0x12, 0x30, 0, 0, 0xAB, 0xC0, 0, 0});
        s.fileHeader = false;
        s.height = -2;
        cases.push_back({"packed top-down Windows header", s, {1, 2, 3, /**/ 10, 11, 12}, -1});
    }
    {
        BmpParts s = parts(2, 1, 8, {3, 4, 0, 0});
        s.headerSize = 64;
        cases.push_back({"OS/2 2.x header", s, {3, 4}, -1});
    }
    {
        // 5-5-5 by default; each channel spread over 0..255 by repeating its bits.
        BmpParts s = parts(3, 1, 16, {});
        for (const uint32_t p : {0x7FFFu, 0x4210u, 0x0C63u})
            add16(s.pixels, p);
        add16(s.pixels, 0);
        cases.push_back({"16 bits 5-5-5", s,
                         {platform::RGB(255, 255, 255), platform::RGB(0x84, 0x84, 0x84), platform::RGB(0x18, 0x18, 0x18)},
                         -1});
    }
    {
        BmpParts s = parts(3, 1, 16, {});
        s.compression = platform::BI_BITFIELDS;
        s.masks = {0xF800, 0x07E0, 0x001F};
        for (const uint32_t p : {0xF800u, 0x0020u, 0x0401u})
            add16(s.pixels, p);
        add16(s.pixels, 0);
        cases.push_back({"16 bits 5-6-5 behind a Windows 3 header", s,
                         {platform::RGB(255, 0, 0), platform::RGB(0, 4, 0), platform::RGB(0, 0x82, 0x08)}, -1});
    }
    {
        BmpParts s = parts(2, 1, 16, {});
        s.compression = platform::BI_BITFIELDS;
        s.headerSize = 56;
        s.masks = {0x0F00, 0x00F0, 0x8000};
        for (const uint32_t p : {0x8F50u, 0x0A00u})
            add16(s.pixels, p);
        cases.push_back({"4-bit and 1-bit masks inside a version 3 header", s,
                         {platform::RGB(255, 0x55, 255), platform::RGB(0xAA, 0, 0)}, -1});
    }
    {
        // The top byte of a plain 32-bit pixel is not a colour.
        BmpParts s = parts(2, 1, 32, {});
        add32(s.pixels, 0x00123456);
        add32(s.pixels, 0xFF123456);
        cases.push_back({"32 bits X8R8G8B8", s, {platform::RGB(0x12, 0x34, 0x56), platform::RGB(0x12, 0x34, 0x56)}, -1});
    }
    {
        BmpParts s = parts(2, 1, 32, {});
        s.compression = platform::BI_BITFIELDS;
        s.headerSize = 124;
        s.masks = {0x000003FF, 0x000FFC00, 0x3FF00000}; // 10 bits a channel, red lowest
        add32(s.pixels, 0x3FF00001);
        add32(s.pixels, 0x000FFFFF);
        cases.push_back({"32 bits 10-10-10 in a version 5 header", s,
                         {platform::RGB(0, 0, 255), platform::RGB(255, 255, 0)}, -1});
    }
    {
        BmpParts s = parts(2, 2, 24, {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0});
        s.height = -2;
        s.headerSize = 108;
        cases.push_back({"top-down 24 bits, version 4 header", s,
                         {platform::RGB(3, 2, 1), platform::RGB(6, 5, 4), platform::RGB(9, 8, 7), platform::RGB(12, 11, 10)},
                         -1});
    }
    {
        // A writer that left the last row's padding out.
        BmpParts s = parts(1, 2, 24, {1, 2, 3, 0, 4, 5, 6});
        cases.push_back({"last row without padding", s, {platform::RGB(6, 5, 4), platform::RGB(3, 2, 1)}, -1});
    }

    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<uint8_t> file = makeBmp(c.parts);
        DibGuard read;
        ASSERT_EQ(decodeImage(Bytes(file), FormatAuto, read), ImageError::None);
        EXPECT_EQ(DibBitCount(read.get()), c.parts.bitCount <= 8 ? c.parts.bitCount : 24);
        EXPECT_EQ(pixelValues(read.get()), c.pixels);
        if (c.parts.bitCount <= 8) {
            for (int i = 0; i < DibColorCount(read.get()); ++i) {
                const RGBQUAD q = read->Info->bmiColors[i];
                const RGBQUAD want = c.blackFrom >= 0 && i >= c.blackFrom ? RGBQUAD{0, 0, 0, 0} : tableColour(i);
                EXPECT_TRUE(q.rgbRed == want.rgbRed && q.rgbGreen == want.rgbGreen && q.rgbBlue == want.rgbBlue)
                    << "colour " << i;
            }
        }
    }
}

TEST(BmpDecode, FiveAndSixBitChannelsRepeatTheirBits)
{
    // Every value of a 5-6-5 channel: v * 255 / max within one step, full
    // black and full white at the ends, and the top bits kept.
    BmpParts s;
    s.width = 64;
    s.height = 1;
    s.bitCount = 16;
    s.compression = platform::BI_BITFIELDS;
    s.masks = {0xF800, 0x07E0, 0x001F};
    for (uint32_t v = 0; v < 64; ++v)
        add16(s.pixels, ((v & 31) << 11) | (v << 5) | (31 - (v & 31)));
    const std::vector<uint8_t> file = makeBmp(s);
    DibGuard read;
    ASSERT_EQ(decodeImage(Bytes(file), FormatBMP, read), ImageError::None);
    for (uint32_t v = 0; v < 64; ++v) {
        const uint32_t p = getpixel(read.get(), int32_t(v), 0);
        const uint32_t r5 = v & 31, b5 = 31 - r5;
        EXPECT_EQ(platform::GetRValue(p), (r5 << 3) | (r5 >> 2)) << v;
        EXPECT_EQ(platform::GetGValue(p), (v << 2) | (v >> 4)) << v;
        EXPECT_EQ(platform::GetBValue(p), (b5 << 3) | (b5 >> 2)) << v;
        EXPECT_LE(std::abs(int(platform::GetGValue(p)) - int(v * 255 / 63)), 1);
    }
}

TEST(BmpDecode, BadHeadersFailBeforeAnyAllocation)
{
    auto parts = [](int w, int h, int bits, uint32_t compression, size_t pixelBytes) {
        BmpParts s;
        s.width = w;
        s.height = h;
        s.bitCount = uint16_t(bits);
        s.compression = compression;
        s.pixels.assign(pixelBytes, 0);
        return s;
    };
    struct Case {
        const char* what;
        BmpParts parts;
        ImageError error;
    };
    std::vector<Case> cases = {
        {"100000 x 100000 pixels", parts(100000, 100000, 24, 0, 16), ImageError::TooLarge},
        {"top-down 100000 rows", parts(10, -100000, 24, 0, 16), ImageError::TooLarge},
        {"tiny run-length file claiming 4 GiB", parts(65535, 65535, 8, 1, 2), ImageError::TooLarge},
        {"20000 x 20000 at 24 bits is over the pixel limit", parts(20000, 20000, 24, 0, 16), ImageError::TooLarge},
        {"a size within limits but the bytes are missing", parts(10000, 10000, 24, 0, 100), ImageError::Damaged},
        {"pixels cut short by one byte", parts(3, 3, 24, 0, 12 * 2 + 8), ImageError::Damaged},
        {"width 0", parts(0, 5, 8, 0, 64), ImageError::Damaged},
        {"height 0", parts(5, 0, 8, 0, 64), ImageError::Damaged},
        {"negative width", parts(-5, 5, 8, 0, 64), ImageError::Damaged},
        {"JPEG inside", parts(4, 4, 0, 4, 64), ImageError::Unsupported},
        {"PNG inside", parts(4, 4, 0, 5, 64), ImageError::Unsupported},
        {"alpha bit fields", parts(4, 4, 32, 6, 64), ImageError::Unsupported},
        {"2 bits a pixel", parts(4, 4, 2, 0, 64), ImageError::Unsupported},
        {"RLE8 with 4 bits a pixel", parts(4, 4, 4, 1, 64), ImageError::Damaged},
        {"RLE4 with 8 bits a pixel", parts(4, 4, 8, 2, 64), ImageError::Damaged},
        {"bit fields with 24 bits", parts(4, 4, 24, 3, 64), ImageError::Damaged},
        {"top-down run-length data", parts(4, -4, 8, 1, 64), ImageError::Damaged},
        {"7 bits a pixel", parts(4, 4, 7, 0, 64), ImageError::Damaged},
    };
    {
        BmpParts s = parts(4, 4, 8, 0, 64);
        s.offBits = 100000;
        cases.push_back({"pixel offset beyond the file", s, ImageError::Damaged});
        s.offBits = 20;
        cases.push_back({"pixel offset inside the header", s, ImageError::Damaged});
    }
    {
        BmpParts s = parts(4, 4, 8, 0, 64);
        s.headerSize = 20;
        cases.push_back({"unknown header size", s, ImageError::Unsupported});
    }
    {
        // Masks announced behind a Windows 3 header, but the file ends.
        BmpParts s = parts(4, 4, 16, 3, 0);
        cases.push_back({"bit-field masks missing", s, ImageError::Damaged});
    }

    // With no memory at all, a decoder that allocated before checking would
    // answer OutOfMemory instead of the header's fault.
    setAllocationLimitForTest(0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<uint8_t> file = makeBmp(c.parts);
        DibGuard read;
        EXPECT_EQ(decodeImage(Bytes(file), FormatBMP, read), c.error);
        EXPECT_FALSE(read);
    }
    setAllocationLimitForTest(UINT64_MAX);
    EXPECT_EQ(liveImageCount(), 0);

    // The header cut short, at every length.
    const std::vector<uint8_t> whole = makeBmp(parts(3, 3, 8, 0, 12));
    for (size_t n = 0; n < 14 + 40 + 1024; ++n) {
        DibGuard read;
        EXPECT_NE(decodeImage(Bytes(whole.data(), n), FormatBMP, read), ImageError::None) << n;
    }
}

TEST(BmpSniff, KnowsItsOwnFilesAndLeavesOthersAlone)
{
    BmpParts packed;
    packed.fileHeader = false;
    packed.pixels.assign(4, 0);
    BmpParts withFileHeader = packed;
    withFileHeader.fileHeader = true;
    BmpParts core = packed;
    core.headerSize = 12;
    BmpParts v5 = packed;
    v5.headerSize = 124;
    BmpParts twoPlanes = packed;
    std::vector<uint8_t> twoPlanesFile = makeBmp(twoPlanes);
    twoPlanesFile[12] = 2;

    const Codec* bmp = codecForFormat(FormatBMP);
    ASSERT_NE(bmp, nullptr);
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        bool ours;
    };
    const std::vector<uint8_t> gif = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0, 0, 13, 'I', 'H', 'D', 'R', 0, 0, 0, 1};
    const std::vector<uint8_t> jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
    const std::vector<uint8_t> tiff = {'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0, 1, 3, 0, 1, 0, 0, 0, 1, 0};
    const std::vector<uint8_t> pcx = {0x0A, 5, 1, 8, 0, 0, 0, 0, 9, 0, 9, 0, 72, 0, 72, 0, 0, 0, 0, 0};
    const std::vector<uint8_t> tga = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 10, 0, 10, 0, 24, 0, 0, 0};
    std::vector<uint8_t> text(40, 'x');
    const Case cases[] = {
        {"file header", makeBmp(withFileHeader), true},
        {"packed Windows header", makeBmp(packed), true},
        {"packed core header", makeBmp(core), true},
        {"packed version 5 header", makeBmp(v5), true},
        {"packed header with two planes", twoPlanesFile, false},
        {"GIF", gif, false},
        {"PNG", png, false},
        {"JPEG", jpeg, false},
        {"TIFF", tiff, false},
        {"PCX", pcx, false},
        {"TGA", tga, false},
        {"text", text, false},
        {"two bytes", {'B', 'M'}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(bmp->sniff(Bytes(c.bytes)), c.ours);
        if (c.ours) {
            DibGuard read;
            EXPECT_EQ(decodeImage(Bytes(c.bytes), FormatAuto, read), ImageError::None);
        }
    }
}

TEST(BmpDecode, ReportsProgressByRows)
{
    DibGuard picture(testutil::patternImage(20, 50, 8, 2));
    for (const int format : {int(FormatBMP), int(FormatRLE)}) {
        std::vector<uint8_t> bytes;
        ASSERT_EQ(encodeImage(picture.get(), format, bytes, {}), ImageError::None);
        std::vector<int> percents;
        DibGuard read;
        ASSERT_EQ(decodeImage(Bytes(bytes), format, read, [&percents](int p) { percents.push_back(p); }),
                  ImageError::None);
        ASSERT_GE(percents.size(), 10u);
        EXPECT_EQ(percents.front(), 0);
        EXPECT_EQ(percents.back(), 100);
        EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    }
}
