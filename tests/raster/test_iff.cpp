// The IFF codec (formats IFF and LBM): round trips through our writer,
// netpbm reading what we write, and hand-made files for the cases no
// writer makes on request (short colour maps, padded chunky rows, runs
// past a row, hostile headers). The fixture walker checks our reading of
// the files other programs wrote.

#include "raster/codec.h"
#include "raster/rasterio.h"
#include "tests/testutil.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace raster;

namespace {

using ByteList = std::vector<uint8_t>;

void appendBe32(ByteList& out, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(uint8_t(v >> shift));
}

ByteList chunk(const char* id, const ByteList& data, uint32_t claimedSize = UINT32_MAX)
{
    ByteList out(id, id + 4);
    appendBe32(out, claimedSize == UINT32_MAX ? uint32_t(data.size()) : claimedSize);
    out.insert(out.end(), data.begin(), data.end());
    if (data.size() & 1)
        out.push_back(0);
    return out;
}

ByteList bmhd(int width, int height, int planes, int compression = 0, int masking = 0)
{
    return {uint8_t(width >> 8), uint8_t(width), uint8_t(height >> 8), uint8_t(height), 0, 0, 0, 0,
            uint8_t(planes), uint8_t(masking), uint8_t(compression), 0, 0, 0, 1, 1,
            uint8_t(width >> 8), uint8_t(width), uint8_t(height >> 8), uint8_t(height)};
}

// A FORM of the given type around the chunks, its size counting them all.
ByteList form(const char* type, std::initializer_list<ByteList> chunks)
{
    ByteList inner(type, type + 4);
    for (const auto& c : chunks)
        inner.insert(inner.end(), c.begin(), c.end());
    ByteList out = {'F', 'O', 'R', 'M'};
    appendBe32(out, uint32_t(inner.size()));
    out.insert(out.end(), inner.begin(), inner.end());
    return out;
}


} // namespace

TEST(IffRoundTrip, EveryDepthKeepsEveryPixelAndColour)
{
    for (const int bitCount : {1, 4, 8, 24}) {
        for (const int width : {1, 3, 33}) {
            SCOPED_TRACE(testing::Message() << bitCount << " bits, width " << width);
            DibGuard source(testutil::patternImage(width, 5, bitCount, uint32_t(width + 11)));
            std::vector<int> percents;
            ByteList iff, lbm;
            ASSERT_EQ(encodeImage(source.get(), FormatIFF, iff, {}, [&](int p) { percents.push_back(p); }),
                      ImageError::None);
            EXPECT_EQ(percents.back(), 100);
            ASSERT_EQ(encodeImage(source.get(), FormatLBM, lbm, {}), ImageError::None);
            EXPECT_EQ(iff, lbm);

            // FORM ILBM, BMHD with one plane per bit and ByteRun1, CMAP
            // only for palette pictures.
            const std::string text(iff.begin(), iff.end());
            ASSERT_GE(iff.size(), 48u);
            EXPECT_EQ(text.substr(0, 4), "FORM");
            EXPECT_EQ(text.substr(8, 8), std::string("ILBMBMHD"));
            EXPECT_EQ(iff[28], bitCount);
            EXPECT_EQ(iff[30], 1);
            EXPECT_EQ(text.find("CMAP") != std::string::npos, bitCount <= 8);
            EXPECT_EQ((size_t(iff[4]) << 24 | size_t(iff[5]) << 16 | size_t(iff[6]) << 8 | iff[7]) + 8, iff.size());

            DibGuard back;
            percents.clear();
            ASSERT_EQ(decodeImage(Bytes(iff), FormatAuto, back, [&](int p) { percents.push_back(p); }),
                      ImageError::None);
            EXPECT_EQ(percents.back(), 100);
            EXPECT_EQ(DibBitCount(back.get()), bitCount);
            EXPECT_TRUE(testutil::samePixels(back.get(), source.get()));
        }
    }
}

TEST(IffRoundTrip, NetpbmSeesTheSamePixels)
{
    if (QStandardPaths::findExecutable("ilbmtoppm").isEmpty())
        GTEST_SKIP() << "netpbm is not installed";
    QTemporaryDir dir;
    for (const int bitCount : {1, 4, 8, 24}) {
        SCOPED_TRACE(bitCount);
        DibGuard source(testutil::patternImage(33, 9, bitCount, 9));
        ByteList bytes;
        ASSERT_EQ(encodeImage(source.get(), FormatLBM, bytes, {}), ImageError::None);
        const QString file = dir.filePath(QString("bild%1.lbm").arg(bitCount));
        testutil::writeFile(file, QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())));
        testutil::Rgb seen;
        ASSERT_TRUE(testutil::readWith("ilbmtoppm", {file}, seen));
        EXPECT_EQ(testutil::maxDifference(source.get(), seen), 0);
    }
}

TEST(IffDecode, ShortColourMapsLeaveTheRestBlack)
{
    // 2 planes, 3 x 1 pixels with values 1, 2, 3 (plane 0: 101, plane 1: 011).
    const ByteList body = {0xA0, 0x00, 0x60, 0x00};
    const ByteList cmap = {10, 20, 30, 40, 50, 60};
    DibGuard dib;
    ASSERT_EQ(decodeImage(Bytes(form("ILBM", {chunk("BMHD", bmhd(3, 1, 2)), chunk("CMAP", cmap),
                                              chunk("BODY", body)})),
                          FormatIFF, dib),
              ImageError::None);
    ASSERT_EQ(DibBitCount(dib.get()), 4);
    EXPECT_EQ(getpixel(dib.get(), 0, 0), 1u);
    EXPECT_EQ(getpixel(dib.get(), 1, 0), 2u);
    EXPECT_EQ(getpixel(dib.get(), 2, 0), 3u);
    const RGBQUAD* colours = DibColors(dib.get());
    EXPECT_EQ(colours[1].rgbRed, 40);
    EXPECT_EQ(colours[1].rgbBlue, 60);
    for (int i = 2; i < 16; ++i)
        EXPECT_EQ(colours[i].rgbRed | colours[i].rgbGreen | colours[i].rgbBlue, 0) << i;

    // Without any CMAP: a grey ramp.
    ASSERT_EQ(decodeImage(Bytes(form("ILBM", {chunk("BMHD", bmhd(3, 1, 2)), chunk("BODY", body)})), FormatIFF, dib),
              ImageError::None);
    EXPECT_TRUE(hasGreyRamp(dib.get()));
}

TEST(IffDecode, ChunkyRowsArePaddedToAnEvenLength)
{
    const ByteList body = {1, 2, 3, 99, 4, 5, 6, 99};
    DibGuard dib;
    ASSERT_EQ(decodeImage(Bytes(form("PBM ", {chunk("BMHD", bmhd(3, 2, 8)), chunk("BODY", body)})), FormatAuto, dib),
              ImageError::None);
    ASSERT_EQ(DibBitCount(dib.get()), 8);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(getpixel(dib.get(), x, y), uint32_t(3 * y + x + 1));
    }
}

TEST(IffDecode, RunsPastARowAreCutOff)
{
    // 1 plane, 16 x 2 pixels, 2 bytes per row: a run of five 0xFF for the
    // first row, then a literal 0x0F 0xF0 for the second.
    const ByteList body = {0xFC, 0xFF, 0x01, 0x0F, 0xF0};
    DibGuard dib;
    ASSERT_EQ(decodeImage(Bytes(form("ILBM", {chunk("BMHD", bmhd(16, 2, 1, 1)), chunk("CMAP", {0, 0, 0, 9, 9, 9}),
                                              chunk("BODY", body)})),
                          FormatIFF, dib),
              ImageError::None);
    for (int x = 0; x < 16; ++x) {
        EXPECT_EQ(getpixel(dib.get(), x, 0), 1u) << x;
        EXPECT_EQ(getpixel(dib.get(), x, 1), x >= 4 && x < 12 ? 1u : 0u) << x;
    }
}

TEST(IffDecode, HostileFilesFailCleanly)
{
    const ByteList cmap2 = {0, 0, 0, 255, 255, 255};
    struct Case {
        const char* name;
        ByteList bytes;
        ImageError error;
    };
    const Case cases[] = {
        {"60000 x 60000", form("ILBM", {chunk("BMHD", bmhd(60000, 60000, 8, 1)), chunk("BODY", {0x81, 0})}),
         ImageError::TooLarge},
        // Within the limits, but ByteRun1 cannot fill it from a few bytes.
        {"20000 x 20000 from a few bytes",
         form("ILBM", {chunk("BMHD", bmhd(20000, 20000, 8, 1)), chunk("BODY", {0x81, 0, 0x81, 0})}),
         ImageError::Damaged},
        {"BODY cut short", form("ILBM", {chunk("BMHD", bmhd(16, 4, 1, 1)), chunk("CMAP", cmap2),
                                         chunk("BODY", {0xFF, 0, 0x01, 1}, 200)}),
         ImageError::Damaged},
        {"stored BODY too short", form("ILBM", {chunk("BMHD", bmhd(16, 2, 1)), chunk("BODY", {1, 2, 3})}),
         ImageError::Damaged},
        {"literal run past the data", form("ILBM", {chunk("BMHD", bmhd(16, 1, 1, 1)), chunk("BODY", {0x05, 1})}),
         ImageError::Damaged},
        {"no BMHD", form("ILBM", {chunk("CMAP", cmap2), chunk("BODY", {0, 0})}), ImageError::Damaged},
        {"no BODY", form("ILBM", {chunk("BMHD", bmhd(16, 1, 1)), chunk("CMAP", cmap2)}), ImageError::Damaged},
        {"BMHD too small", form("ILBM", {chunk("BMHD", {0, 16, 0, 1}), chunk("BODY", {0, 0})}), ImageError::Damaged},
        {"BMHD claiming 4 GiB", form("ILBM", {chunk("BMHD", bmhd(16, 1, 1), 0xFFFFFFF0)}), ImageError::Damaged},
        {"no planes", form("ILBM", {chunk("BMHD", bmhd(16, 1, 0)), chunk("BODY", {0, 0})}), ImageError::Damaged},
        {"no width", form("ILBM", {chunk("BMHD", bmhd(0, 1, 1)), chunk("BODY", {0, 0})}), ImageError::Damaged},
        {"12 planes", form("ILBM", {chunk("BMHD", bmhd(16, 1, 12)), chunk("BODY", ByteList(24))}),
         ImageError::Unsupported},
        {"unknown compression", form("ILBM", {chunk("BMHD", bmhd(16, 1, 1, 2)), chunk("BODY", {0, 0})}),
         ImageError::Unsupported},
        {"hold-and-modify of 5 planes",
         form("ILBM", {chunk("BMHD", bmhd(16, 1, 5)), chunk("CAMG", {0, 0, 0x08, 0}), chunk("BODY", ByteList(10))}),
         ImageError::Unsupported},
        {"FORM of nothing", {'F', 'O', 'R', 'M', 0, 0, 0, 4, 'I', 'L', 'B', 'M'}, ImageError::Damaged},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DibGuard dib;
        EXPECT_EQ(decodeImage(Bytes(c.bytes), FormatIFF, dib), c.error);
        EXPECT_FALSE(dib);
    }
}

TEST(IffSniff, KnowsIlbmAndPbmForms)
{
    struct Case {
        const char* bytes;
        size_t length;
        bool accepted;
    };
    const Case cases[] = {
        {"FORM\0\0\0\x04ILBM", 12, true},   {"FORM\0\0\0\x04PBM ", 12, true},
        {"FORM\0\0\0\x04" "8SVX", 12, false}, {"LIST\0\0\0\x04ILBM", 12, false},
        {"FORM\0\0\0\x04ILBM", 11, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.bytes, c.length));
        const Bytes bytes(reinterpret_cast<const uint8_t*>(c.bytes), c.length);
        EXPECT_EQ(codecForContent(bytes) == codecForFormat(FormatIFF), c.accepted);
    }
}
