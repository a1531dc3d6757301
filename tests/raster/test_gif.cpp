// The GIF codec: round trips of every depth, true-colour pictures through
// the quantiser, what the decoder makes of screens, frames, colour tables
// and indices the table lacks, damaged and hostile files, and ImageMagick
// reading what we write. ImageMagick's reading of the fixtures is checked
// by the fixture walker.

#include "raster/codec.h"
#include "raster/codecs/codecs.h"
#include "raster/codecs/quantize.h"
#include "raster/rasterio.h"
#include "raster/testhooks.h"
#include "tests/testutil.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

using namespace raster;

namespace {

std::vector<uint8_t> encodeGif(const TDibRecord& dib)
{
    std::vector<uint8_t> bytes;
    EXPECT_EQ(encodeImage(dib, FormatGIF, bytes, EncodeOptions{}), ImageError::None);
    return bytes;
}

ImageError decodeGif(const std::vector<uint8_t>& bytes, DibGuard& dib, size_t length = SIZE_MAX)
{
    return decodeImage(Bytes(bytes.data(), std::min(length, bytes.size())), FormatGIF, dib);
}

std::vector<uint8_t> fixture(const char* name)
{
    const QByteArray bytes = testutil::readFile(testutil::sourcePath(QStringLiteral("tests/fixtures/gif/") + name));
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

RGBQUAD colourAt(const TDibRecord& dib, int x, int y)
{
    return DibColors(dib)[getpixel(dib, x, y)];
}

bool sameColour(const RGBQUAD& a, const RGBQUAD& b)
{
    return a.rgbRed == b.rgbRed && a.rgbGreen == b.rgbGreen && a.rgbBlue == b.rgbBlue;
}

// Offsets in a file we wrote: the logical screen, its colour table, and the
// image descriptor after it.
constexpr size_t kScreenFlags = 10;
constexpr size_t kBackground = 11;
size_t descriptorAt(const std::vector<uint8_t>& f)
{
    return 13 + ((f[kScreenFlags] & 0x80) ? 3 * (size_t(2) << (f[kScreenFlags] & 7)) : 0);
}

void put16(std::vector<uint8_t>& f, size_t at, int value)
{
    f[at] = uint8_t(value);
    f[at + 1] = uint8_t(value >> 8);
}

// Shrinks the global colour table of a file to 2^bits entries.
void shrinkTable(std::vector<uint8_t>& f, int bits)
{
    const size_t end = descriptorAt(f);
    f[kScreenFlags] = uint8_t((f[kScreenFlags] & ~7) | (bits - 1));
    f.erase(f.begin() + long(descriptorAt(f)), f.begin() + long(end));
}

// Smooth colour waves with a little grain: many thousand colours.
TDibRecord photo(int width, int height)
{
    TDibRecord dib;
    newdib(&dib, width, height, 24, nullptr, 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const auto r = uint32_t(128 + 110 * std::sin(x / 9.0 + std::sin(y / 13.0)));
            const auto g = uint32_t(120 + 100 * std::sin(y / 7.0 + x / 23.0));
            const auto b = uint32_t(std::clamp(60 + 180 * (x + y) / (width + height) + (x * 7 + y * 3) % 5, 0, 255));
            setpixel(dib, x, y, r | g << 8 | b << 16);
        }
    }
    return dib;
}

// ImageMagick's reading of a file.
testutil::Rgb imageMagickReading(const QString& path)
{
    testutil::Rgb rgb;
    EXPECT_TRUE(testutil::readWith(QStringLiteral("convert"), {path, QStringLiteral("ppm:-")}, rgb))
        << path.toStdString();
    return rgb;
}

} // namespace

TEST(GifRoundTrip, PalettePicturesKeepEveryIndexAndColour)
{
    struct Case {
        int width, height, bitCount;
    };
    const Case cases[] = {{37, 23, 1}, {37, 23, 4}, {37, 23, 8}, {1, 1, 1}, {65, 3, 4}, {5, 41, 8}, {300, 2, 8}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " at " << c.bitCount << " bits");
        DibGuard original(testutil::patternImage(c.width, c.height, c.bitCount, 3));
        std::vector<int> percents;
        std::vector<uint8_t> bytes;
        ASSERT_EQ(encodeImage(original.get(), FormatGIF, bytes, EncodeOptions{},
                              [&](int percent) { percents.push_back(percent); }),
                  ImageError::None);
        ASSERT_GT(bytes.size(), 13u);
        EXPECT_EQ(std::memcmp(bytes.data(), "GIF89a", 6), 0);
        EXPECT_TRUE(codecForContent(Bytes(bytes)) == &kGifCodec);
        EXPECT_EQ(percents.back(), 100);
        // A table of 2, 16 or 256 entries and LZW code size 2, 4 or 8.
        EXPECT_EQ(2 << (bytes[kScreenFlags] & 7), 1 << c.bitCount);
        const size_t descriptor = descriptorAt(bytes);
        ASSERT_EQ(bytes[descriptor], ',');
        EXPECT_EQ(bytes[descriptor + 9] & 0x40, 0); // not interlaced
        EXPECT_EQ(bytes[descriptor + 10], std::max(2, c.bitCount));
        EXPECT_EQ(bytes.back(), ';');

        DibGuard back;
        ASSERT_EQ(decodeGif(bytes, back), ImageError::None);
        ASSERT_EQ(DibBitCount(back.get()), c.bitCount);
        ASSERT_EQ(DibWidth(back.get()), c.width);
        ASSERT_EQ(DibHeight(back.get()), c.height);
        for (int i = 0; i < (1 << c.bitCount); ++i)
            EXPECT_TRUE(sameColour(DibColors(back.get())[i], DibColors(original.get())[i])) << "entry " << i;
        for (int y = 0; y < c.height; ++y) {
            for (int x = 0; x < c.width; ++x)
                ASSERT_EQ(getpixel(back.get(), x, y), getpixel(original.get(), x, y)) << x << "," << y;
        }
    }
}

TEST(GifRoundTrip, TrueColourPicturesGoThroughTheQuantiser)
{
    // At most 256 colours: every pixel survives.
    for (const int bits : {1, 4, 8}) {
        SCOPED_TRACE(bits);
        DibGuard palette(testutil::patternImage(33, 21, bits, 5));
        DibGuard colour;
        ASSERT_EQ(convertTo24(palette.get(), colour), ImageError::None);
        DibGuard back;
        ASSERT_EQ(decodeGif(encodeGif(colour.get()), back), ImageError::None);
        EXPECT_EQ(DibBitCount(back.get()), 8);
        EXPECT_TRUE(testutil::samePixels(back.get(), colour.get()));
    }
    // Many colours: the file holds the quantiser's picture.
    DibGuard many(photo(120, 90));
    const DibGuard reduced = quantizeColours(many.get());
    ASSERT_TRUE(reduced);
    DibGuard back;
    ASSERT_EQ(decodeGif(encodeGif(many.get()), back), ImageError::None);
    EXPECT_TRUE(testutil::samePixels(back.get(), reduced.get()));
}

TEST(GifDecode, DepthFollowsTheColourTableAndTheLocalTableWins)
{
    struct Case {
        const char* file;
        int width, height, bitCount;
    };
    const Case cases[] = {
        {"two.gif", 37, 23, 1},      {"codesize8.gif", 17, 10, 1}, {"sixteen.gif", 31, 17, 4},
        {"netpbm.gif", 29, 13, 4},   {"gif87.gif", 21, 9, 4},      {"full.gif", 40, 30, 8},
        {"rose.gif", 70, 46, 8},     {"local.gif", 19, 11, 4},     {"interlacedlocal.gif", 13, 11, 4},
        {"offset.gif", 23, 15, 4},   {"twoframes.gif", 31, 21, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        DibGuard dib;
        ASSERT_EQ(decodeGif(fixture(c.file), dib), ImageError::None);
        EXPECT_EQ(DibWidth(dib.get()), c.width);
        EXPECT_EQ(DibHeight(dib.get()), c.height);
        EXPECT_EQ(DibBitCount(dib.get()), c.bitCount);
    }
    // local.gif has a global table of four greens and a local one of eight
    // colours, entry 6 brown; the rest of the 16 entries are black.
    DibGuard dib;
    ASSERT_EQ(decodeGif(fixture("local.gif"), dib), ImageError::None);
    EXPECT_TRUE(sameColour(DibColors(dib.get())[0], RGBQUAD{0, 0, 255, 0}));
    EXPECT_TRUE(sameColour(DibColors(dib.get())[6], RGBQUAD{32, 64, 128, 0}));
    for (int i = 8; i < 16; ++i)
        EXPECT_TRUE(sameColour(DibColors(dib.get())[i], RGBQUAD{0, 0, 0, 0})) << i;
}

TEST(GifDecode, InterlacedFramesComeOutInRowOrder)
{
    DibGuard plain, interlaced;
    ASSERT_EQ(decodeGif(fixture("twin.gif"), plain), ImageError::None);
    ASSERT_EQ(decodeGif(fixture("twininterlaced.gif"), interlaced), ImageError::None);
    EXPECT_TRUE(testutil::samePixels(plain.get(), interlaced.get()));
    // The files differ in more than a flag: the interlaced rows are stored
    // in pass order.
    EXPECT_NE(fixture("twin.gif"), fixture("twininterlaced.gif"));
}

TEST(GifDecode, TheFrameSitsOnTheScreenFilledWithTheBackground)
{
    // Our own 6 x 4 frame of 16 colours, put on other screens.
    DibGuard frame(testutil::patternImage(6, 4, 4, 9));
    const auto file = encodeGif(frame.get());
    const size_t descriptor = descriptorAt(file);
    struct Case {
        int screenWidth, screenHeight, left, top, background;
        int width, height; // of the picture
    };
    const Case cases[] = {
        {10, 8, 2, 3, 5, 10, 8},  // inside the screen
        {0, 0, 2, 3, 5, 8, 7},    // no screen: the frame's extent
        {5, 5, 2, 3, 5, 8, 7},    // a screen too small for the frame
        {20, 2, 1, 0, 7, 20, 4},  // too low only
        {6, 4, 0, 0, 3, 6, 4},    // the frame covers it
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "screen " << c.screenWidth << "x" << c.screenHeight << ", frame at "
                                        << c.left << "," << c.top);
        std::vector<uint8_t> bytes = file;
        put16(bytes, 6, c.screenWidth);
        put16(bytes, 8, c.screenHeight);
        bytes[kBackground] = uint8_t(c.background);
        put16(bytes, descriptor + 1, c.left);
        put16(bytes, descriptor + 3, c.top);
        DibGuard dib;
        ASSERT_EQ(decodeGif(bytes, dib), ImageError::None);
        ASSERT_EQ(DibWidth(dib.get()), c.width);
        ASSERT_EQ(DibHeight(dib.get()), c.height);
        for (int y = 0; y < c.height; ++y) {
            for (int x = 0; x < c.width; ++x) {
                const bool inFrame = x >= c.left && x < c.left + 6 && y >= c.top && y < c.top + 4;
                const uint32_t expected = inFrame ? getpixel(frame.get(), x - c.left, y - c.top) : uint32_t(c.background);
                ASSERT_EQ(getpixel(dib.get(), x, y), expected) << x << "," << y;
            }
        }
    }
}

TEST(GifDecode, IndicesBeyondTheTableShowBlack)
{
    // 8-bit pixels behind a table of 2 or 16 entries: the picture grows to
    // 8 bits, keeps the indices, and the missing entries are black.
    DibGuard original(testutil::patternImage(23, 9, 8, 4));
    for (const int bits : {1, 4}) {
        SCOPED_TRACE(bits);
        std::vector<uint8_t> bytes = encodeGif(original.get());
        shrinkTable(bytes, bits);
        DibGuard dib;
        ASSERT_EQ(decodeGif(bytes, dib), ImageError::None);
        ASSERT_EQ(DibBitCount(dib.get()), 8);
        for (int y = 0; y < 9; ++y) {
            for (int x = 0; x < 23; ++x) {
                const uint32_t index = getpixel(original.get(), x, y);
                ASSERT_EQ(getpixel(dib.get(), x, y), index);
                const RGBQUAD expected = index < (1u << bits) ? colourAt(original.get(), x, y) : RGBQUAD{0, 0, 0, 0};
                ASSERT_TRUE(sameColour(colourAt(dib.get(), x, y), expected)) << x << "," << y;
            }
        }
    }
    // A background index beyond a 2-entry table on a screen larger than the
    // frame: a 4-bit picture, black around the frame.
    DibGuard two(testutil::patternImage(6, 4, 1, 2));
    std::vector<uint8_t> bytes = encodeGif(two.get());
    put16(bytes, 6, 9);
    bytes[kBackground] = 9;
    DibGuard dib;
    ASSERT_EQ(decodeGif(bytes, dib), ImageError::None);
    ASSERT_EQ(DibBitCount(dib.get()), 4);
    EXPECT_EQ(getpixel(dib.get(), 8, 3), 9u);
    EXPECT_TRUE(sameColour(colourAt(dib.get(), 8, 3), RGBQUAD{0, 0, 0, 0}));
    EXPECT_TRUE(sameColour(colourAt(dib.get(), 5, 3), colourAt(two.get(), 5, 3)));
    // No colour table at all: everything is black.
    std::vector<uint8_t> noTable = encodeGif(two.get());
    noTable.erase(noTable.begin() + 13, noTable.begin() + long(descriptorAt(noTable)));
    noTable[kScreenFlags] &= 0x7F;
    ASSERT_EQ(decodeGif(noTable, dib), ImageError::None);
    for (int x = 0; x < 6; ++x)
        EXPECT_TRUE(sameColour(colourAt(dib.get(), x, 0), RGBQUAD{0, 0, 0, 0}));
}

TEST(GifDecode, OnlyTheFirstImageIsRead)
{
    DibGuard original(testutil::patternImage(17, 9, 8, 6));
    std::vector<uint8_t> bytes = encodeGif(original.get());
    // An extension before the image is skipped.
    const size_t descriptor = descriptorAt(bytes);
    const uint8_t comment[] = {0x21, 0xFE, 3, 'a', 'b', 'c', 0};
    bytes.insert(bytes.begin() + long(descriptor), std::begin(comment), std::end(comment));
    // Whatever follows the first image is never looked at: a second frame
    // cut short, then noise, instead of the trailer.
    bytes.pop_back();
    const uint8_t after[] = {',', 0, 0, 0, 0, 0x10, 0, 0x10, 0, 0x80, 0xFF, 0x13, 0x37};
    bytes.insert(bytes.end(), std::begin(after), std::end(after));
    DibGuard dib;
    ASSERT_EQ(decodeGif(bytes, dib), ImageError::None);
    EXPECT_TRUE(testutil::samePixels(dib.get(), original.get()));
}

TEST(GifDecode, CutShortOrCorruptFilesAreDamaged)
{
    DibGuard plain(testutil::patternImage(40, 20, 8, 1));
    DibGuard small(testutil::patternImage(13, 7, 1, 2));
    for (const auto& file : {encodeGif(plain.get()), encodeGif(small.get()), fixture("twininterlaced.gif")}) {
        SCOPED_TRACE(file.size());
        // Every cut before the trailer; without only the trailer it reads.
        for (size_t n = 0; n + 1 < file.size(); ++n) {
            DibGuard dib;
            ASSERT_EQ(decodeGif(file, dib, n), ImageError::Damaged) << "cut at " << n;
            EXPECT_FALSE(dib);
        }
        DibGuard dib;
        EXPECT_EQ(decodeGif(file, dib, file.size() - 1), ImageError::None);
    }
    std::vector<uint8_t> file = encodeGif(plain.get());
    const size_t descriptor = descriptorAt(file);
    struct Case {
        const char* what;
        size_t at;
        uint8_t value;
    };
    const Case cases[] = {
        {"unknown record", descriptor, 'X'},
        {"LZW code size above 8", descriptor + 10, 9},
        {"frame of width 0", descriptor + 5, 0},
        {"not a GIF", 3, '7'},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> bytes = file;
        bytes[c.at] = c.value;
        if (c.at == descriptor + 5)
            bytes[c.at + 1] = 0;
        DibGuard dib;
        EXPECT_EQ(decodeGif(bytes, dib), ImageError::Damaged);
        EXPECT_FALSE(dib);
    }
    // A file with a screen and no image.
    std::vector<uint8_t> empty(file.begin(), file.begin() + long(descriptor));
    empty.push_back(';');
    DibGuard dib;
    EXPECT_EQ(decodeGif(empty, dib), ImageError::Damaged);
}

TEST(GifDecode, HugeClaimsFailBeforeTheWork)
{
    DibGuard original(testutil::patternImage(16, 16, 8, 3));
    const auto file = encodeGif(original.get());
    const size_t descriptor = descriptorAt(file);
    struct Case {
        int screen, frame; // square sizes
        ImageError error;
    };
    const Case cases[] = {
        {65535, 65535, ImageError::Damaged}, // far more pixels than the data could hold
        {65535, 16, ImageError::TooLarge},   // an 8-bit screen beyond the pixel limit
        {16, 3000, ImageError::Damaged},     // 9 million pixels from 300 bytes
    };
    // Nothing large may be allocated on the way.
    setAllocationLimitForTest(16 << 20);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "screen " << c.screen << ", frame " << c.frame);
        std::vector<uint8_t> bytes = file;
        put16(bytes, 6, c.screen);
        put16(bytes, 8, c.screen);
        put16(bytes, descriptor + 5, c.frame);
        put16(bytes, descriptor + 7, c.frame);
        DibGuard dib;
        EXPECT_EQ(decodeGif(bytes, dib), c.error);
    }
    setAllocationLimitForTest(UINT64_MAX);
}

TEST(GifEncode, ImageMagickReadsWhatWeWrite)
{
    QTemporaryDir dir;
    DibGuard pictures[] = {DibGuard(testutil::patternImage(37, 23, 1, 8)), DibGuard(testutil::patternImage(37, 23, 4, 8)),
                           DibGuard(testutil::patternImage(37, 23, 8, 8)), DibGuard(photo(61, 43))};
    for (auto& picture : pictures) {
        SCOPED_TRACE(DibBitCount(picture.get()));
        const QString path = dir.filePath(QStringLiteral("bild%1.gif").arg(DibBitCount(picture.get())));
        ASSERT_EQ(SaveDib(picture.get(), path, FormatGIF, nullptr), 1);
        DibGuard ours;
        OpenDib(ours.out(), path, FormatAuto, nullptr);
        ASSERT_TRUE(ours);
        if (DibBitCount(picture.get()) <= 8) {
            EXPECT_TRUE(testutil::samePixels(ours.get(), picture.get()));
        }
        EXPECT_EQ(testutil::maxDifference(ours.get(), imageMagickReading(path)), 0);
    }
}
