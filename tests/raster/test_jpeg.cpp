// The JPEG codec: round trips through our encoder, files written by
// libjpeg directly in the variants our encoder never makes (progressive,
// CMYK, YCCK, restart markers, arithmetic coding), and damaged files.
// ImageMagick's reading of the fixtures is checked by the fixture walker.

#include "raster/codec.h"
#include "raster/codecs/codecs.h"
#include "raster/rasterio.h"
#include "raster/testhooks.h"
#include "tests/testutil.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

using namespace raster;

namespace {

// A smooth picture (JPEG keeps it closely): gradients and a soft wave.
// 8-bit pictures get the grey ramp newdib gives them.
TDibRecord smoothImage(int width, int height, int bitCount)
{
    TDibRecord dib;
    newdib(&dib, width, height, bitCount, nullptr, 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double wave = 40 * std::sin((x + 2 * y) / 16.0);
            const auto r = uint32_t(std::clamp(40 + x * 150 / width + wave, 0.0, 255.0));
            const auto g = uint32_t(std::clamp(200 - y * 150 / height + wave / 2, 0.0, 255.0));
            const auto b = uint32_t(std::clamp(90 + (x + y) * 100 / (width + height) - wave, 0.0, 255.0));
            setpixel(dib, x, y, bitCount == 24 ? r | g << 8 | b << 16 : (r + g) / 2);
        }
    }
    return dib;
}

std::vector<uint8_t> encodeJpeg(const TDibRecord& dib, int quality)
{
    EncodeOptions options;
    options.jpegQuality = quality;
    std::vector<uint8_t> bytes;
    EXPECT_EQ(encodeImage(dib, FormatJPG, bytes, options), ImageError::None);
    return bytes;
}

ImageError decodeJpeg(const std::vector<uint8_t>& bytes, DibGuard& dib, size_t length = SIZE_MAX)
{
    return decodeImage(Bytes(bytes.data(), std::min(length, bytes.size())), FormatJPG, dib);
}

int maxChannelDifference(const TDibRecord& a, const TDibRecord& b)
{
    const auto pa = testutil::rgbPixels(a), pb = testutil::rgbPixels(b);
    if (pa.size() != pb.size())
        return -1;
    int worst = 0;
    for (size_t i = 0; i < pa.size(); ++i)
        worst = std::max(worst, std::abs(int(pa[i]) - int(pb[i])));
    return worst;
}

// A file written by libjpeg itself from interleaved samples, for the
// variants our encoder does not write.
struct LibjpegFile {
    int width = 0;
    int height = 0;
    int components = 3;
    J_COLOR_SPACE input = JCS_RGB;
    J_COLOR_SPACE stored = JCS_YCbCr;
    int quality = 100;
    bool fullChroma = true; // 1 x 1 sampling for every component
    bool progressive = false;
    bool arithmetic = false;
    int restartRows = 0;
    bool adobeMarker = true; // only asked for CMYK and YCCK
    std::vector<jpeg_scan_info> scans{}; // a progression of one's own
};

std::vector<uint8_t> libjpegEncode(const LibjpegFile& f, const std::vector<uint8_t>& samples)
{
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(f.width);
    cinfo.image_height = JDIMENSION(f.height);
    cinfo.input_components = f.components;
    cinfo.in_color_space = f.input;
    jpeg_set_defaults(&cinfo);
    jpeg_set_colorspace(&cinfo, f.stored);
    jpeg_set_quality(&cinfo, f.quality, TRUE);
    if (f.fullChroma) {
        for (int i = 0; i < cinfo.num_components; ++i)
            cinfo.comp_info[i].h_samp_factor = cinfo.comp_info[i].v_samp_factor = 1;
    }
    if (f.progressive)
        jpeg_simple_progression(&cinfo);
    if (!f.scans.empty()) {
        cinfo.scan_info = f.scans.data();
        cinfo.num_scans = int(f.scans.size());
    }
    cinfo.arith_code = f.arithmetic ? TRUE : FALSE;
    cinfo.restart_in_rows = f.restartRows;
    if (f.stored == JCS_CMYK || f.stored == JCS_YCCK)
        cinfo.write_Adobe_marker = f.adobeMarker ? TRUE : FALSE;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        auto* row = const_cast<JSAMPLE*>(samples.data() + size_t(cinfo.next_scanline) * size_t(f.width * f.components));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<uint8_t> bytes(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

// The smooth picture as interleaved R, G, B samples.
std::vector<uint8_t> smoothSamples(int width, int height)
{
    DibGuard dib(smoothImage(width, height, 24));
    return testutil::rgbPixels(dib.get());
}

// Offset of the first marker with that code, or 0.
size_t findMarker(const std::vector<uint8_t>& bytes, uint8_t code, size_t from = 2)
{
    for (size_t i = from; i + 1 < bytes.size(); ++i) {
        if (bytes[i] == 0xFF && bytes[i + 1] == code)
            return i;
    }
    return 0;
}

// Offset of the frame header marker (SOF0, SOF1, SOF2 or SOF9).
size_t findFrame(const std::vector<uint8_t>& bytes)
{
    for (const uint8_t code : {0xC0, 0xC1, 0xC2, 0xC9}) {
        if (const size_t at = findMarker(bytes, code))
            return at;
    }
    return 0;
}

void setFrameSize(std::vector<uint8_t>& bytes, int width, int height)
{
    const size_t sof = findFrame(bytes);
    ASSERT_NE(sof, 0u);
    bytes[sof + 5] = uint8_t(height >> 8);
    bytes[sof + 6] = uint8_t(height);
    bytes[sof + 7] = uint8_t(width >> 8);
    bytes[sof + 8] = uint8_t(width);
}

} // namespace

TEST(JpegRoundTrip, KeepsPicturesCloseAndGreyStaysGrey)
{
    struct Case {
        int width, height, bitCount;
        int tolerance;
    };
    // Chroma is stored at half resolution, so colour pictures differ more;
    // the figures are the measured differences.
    const Case cases[] = {
        {64, 48, 24, 10}, {37, 23, 24, 10}, {1, 1, 24, 1}, {64, 48, 8, 2}, {37, 23, 8, 2}, {1, 1, 8, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " at " << c.bitCount << " bits");
        DibGuard original(smoothImage(c.width, c.height, c.bitCount));
        const auto bytes = encodeJpeg(original.get(), 95);
        ASSERT_GE(bytes.size(), 3u);
        EXPECT_TRUE(codecForContent(Bytes(bytes)) == &kJpegCodec);
        DibGuard back;
        ASSERT_EQ(decodeJpeg(bytes, back), ImageError::None);
        ASSERT_EQ(DibBitCount(back.get()), c.bitCount);
        if (c.bitCount == 8) {
            EXPECT_TRUE(hasGreyRamp(back.get()));
        }
        EXPECT_GE(maxChannelDifference(original.get(), back.get()), 0);
        EXPECT_LE(maxChannelDifference(original.get(), back.get()), c.tolerance);
        // Greyscale files carry one component, colour files three.
        const size_t sof = findFrame(bytes);
        ASSERT_NE(sof, 0u);
        EXPECT_EQ(bytes[sof + 9], c.bitCount == 8 ? 1 : 3);
    }
}

TEST(JpegEncode, PalettePicturesAreWrittenAsTheirColours)
{
    // A grey ramp with one entry changed is a colour picture.
    TDibRecord almostGrey = smoothImage(20, 10, 8);
    setPaletteEntry(almostGrey, 17, 200, 10, 10);
    refreshPalette(almostGrey);
    DibGuard pictures[] = {DibGuard(testutil::patternImage(21, 13, 1)), DibGuard(testutil::patternImage(21, 13, 4)),
                           DibGuard(testutil::patternImage(21, 13, 8)), DibGuard(almostGrey)};
    for (auto& picture : pictures) {
        SCOPED_TRACE(DibBitCount(picture.get()));
        DibGuard colour;
        ASSERT_EQ(convertTo24(picture.get(), colour), ImageError::None);
        const auto bytes = encodeJpeg(picture.get(), 90);
        EXPECT_EQ(bytes, encodeJpeg(colour.get(), 90));
        DibGuard back;
        ASSERT_EQ(decodeJpeg(bytes, back), ImageError::None);
        EXPECT_EQ(DibBitCount(back.get()), 24);
    }
}

TEST(JpegEncode, QualityChangesTheFile)
{
    DibGuard picture(smoothImage(80, 60, 24));
    const auto q10 = encodeJpeg(picture.get(), 10), q75 = encodeJpeg(picture.get(), 75);
    const auto q99 = encodeJpeg(picture.get(), 99);
    EXPECT_LT(q10.size(), q75.size());
    EXPECT_LT(q75.size(), q99.size());
    // The default options write quality 75.
    std::vector<uint8_t> byDefault;
    ASSERT_EQ(encodeImage(picture.get(), FormatJIF, byDefault, EncodeOptions{}), ImageError::None);
    EXPECT_EQ(byDefault, q75);
    // Appends to what the vector already holds.
    std::vector<uint8_t> appended = {1, 2, 3};
    ASSERT_EQ(encodeImage(picture.get(), FormatJPG, appended, EncodeOptions{}), ImageError::None);
    ASSERT_EQ(appended.size(), q75.size() + 3);
    EXPECT_TRUE(std::equal(q75.begin(), q75.end(), appended.begin() + 3));
}

TEST(JpegEncode, SaveDibWritesTheQualitySet)
{
    QTemporaryDir dir;
    DibGuard picture(smoothImage(80, 60, 24));
    SetJPEGQual(20);
    const QString low = dir.filePath("niedrig.jpg");
    ASSERT_EQ(SaveDib(picture.get(), low, FormatJPG, nullptr), 1);
    SetJPEGQual(75);
    const QByteArray written = testutil::readFile(low);
    const auto expected = encodeJpeg(picture.get(), 20);
    EXPECT_EQ(std::vector<uint8_t>(written.begin(), written.end()), expected);
    DibGuard back;
    OpenDib(back.out(), low, FormatAuto, nullptr);
    ASSERT_TRUE(back) << DibErrorText(back.get()).toStdString();
    EXPECT_EQ(DibWidth(back.get()), 80);
}

TEST(JpegDecode, ProgressiveAndRestartFilesGiveTheBaselinePixels)
{
    // The same coefficients in another order: the pixels must be identical.
    const int w = 45, h = 29;
    const auto samples = smoothSamples(w, h);
    LibjpegFile baseline{w, h};
    baseline.fullChroma = false;
    baseline.quality = 80;
    DibGuard reference;
    ASSERT_EQ(decodeJpeg(libjpegEncode(baseline, samples), reference), ImageError::None);

    LibjpegFile progressive = baseline, restarts = baseline, both = baseline;
    progressive.progressive = true;
    restarts.restartRows = 1;
    both.progressive = true;
    both.restartRows = 1;
    for (const auto& f : {progressive, restarts, both}) {
        SCOPED_TRACE(testing::Message() << "progressive " << f.progressive << ", restarts " << f.restartRows);
        DibGuard dib;
        ASSERT_EQ(decodeJpeg(libjpegEncode(f, samples), dib), ImageError::None);
        EXPECT_TRUE(testutil::samePixels(dib.get(), reference.get()));
    }
}

TEST(JpegDecode, CmykAndYcckBecomeColour)
{
    // Flat 8 x 8 blocks of known inks keep their values at quality 100.
    const int w = 32, h = 16;
    const uint8_t inks[8][4] = {{0, 0, 0, 0},       {255, 255, 255, 255}, {200, 30, 90, 255}, {255, 0, 0, 128},
                                {10, 250, 120, 60}, {128, 128, 128, 200}, {0, 255, 64, 32},   {77, 150, 220, 240}};
    std::vector<uint8_t> samples(size_t(w) * h * 4);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x)
            std::copy_n(inks[(y / 8) * 4 + x / 8], 4, &samples[(size_t(y) * w + x) * 4]);
    }
    struct Case {
        J_COLOR_SPACE stored;
        bool adobe;
        int tolerance;
    };
    // With the Adobe marker the samples are inverted inks (255: no ink), so
    // red = C * K / 255; without it they are plain inks.
    const Case cases[] = {{JCS_CMYK, true, 1}, {JCS_YCCK, true, 3}, {JCS_CMYK, false, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.stored == JCS_CMYK ? "CMYK" : "YCCK") << ", Adobe " << c.adobe);
        LibjpegFile f{w, h, 4, JCS_CMYK, c.stored};
        f.adobeMarker = c.adobe;
        DibGuard dib;
        ASSERT_EQ(decodeJpeg(libjpegEncode(f, samples), dib), ImageError::None);
        ASSERT_EQ(DibBitCount(dib.get()), 24);
        const auto rgb = testutil::rgbPixels(dib.get());
        int worst = 0;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const uint8_t* ink = inks[(y / 8) * 4 + x / 8];
                for (int ch = 0; ch < 3; ++ch) {
                    const int value = c.adobe ? ink[ch] : 255 - ink[ch];
                    const int k = c.adobe ? ink[3] : 255 - ink[3];
                    worst = std::max(worst, std::abs(int(rgb[(size_t(y) * w + x) * 3 + ch]) - value * k / 255));
                }
            }
        }
        EXPECT_LE(worst, c.tolerance);
    }
}

TEST(JpegDecode, CutShortOrCorruptFilesAreDamaged)
{
    DibGuard picture(smoothImage(48, 40, 24));
    const auto baseline = encodeJpeg(picture.get(), 90);
    DibGuard grey(smoothImage(48, 40, 8));
    const auto greyFile = encodeJpeg(grey.get(), 90);
    LibjpegFile p{48, 40};
    p.progressive = true;
    const auto progressive = libjpegEncode(p, smoothSamples(48, 40));
    for (const auto* file : {&baseline, &greyFile, &progressive}) {
        SCOPED_TRACE(file->size());
        // Every cut, up to the closing EOI marker.
        for (size_t n = 0; n + 2 < file->size(); ++n) {
            DibGuard dib;
            ASSERT_EQ(decodeJpeg(*file, dib, n), ImageError::Damaged) << "cut at " << n;
            EXPECT_FALSE(dib);
        }
    }
    // Without only the EOI marker a single-scan file is complete; a
    // progressive one cannot tell that no scan is missing.
    DibGuard whole, noEnd;
    ASSERT_EQ(decodeJpeg(baseline, whole), ImageError::None);
    ASSERT_EQ(decodeJpeg(baseline, noEnd, baseline.size() - 2), ImageError::None);
    EXPECT_TRUE(testutil::samePixels(whole.get(), noEnd.get()));
    EXPECT_EQ(decodeJpeg(progressive, noEnd, progressive.size() - 2), ImageError::Damaged);

    // A marker in the middle of the entropy data; in a file with restart
    // intervals, a restart marker removed and one with the wrong number.
    std::vector<uint8_t> marker = baseline;
    const size_t sos = findMarker(marker, 0xDA);
    ASSERT_NE(sos, 0u);
    const size_t middle = sos + (marker.size() - sos) / 2;
    marker.insert(marker.begin() + long(middle), {0xFF, 0xC4});
    LibjpegFile r{48, 40};
    r.restartRows = 1;
    std::vector<uint8_t> noRestart = libjpegEncode(r, smoothSamples(48, 40));
    const size_t rst = findMarker(noRestart, 0xD2);
    ASSERT_NE(rst, 0u);
    std::vector<uint8_t> wrongRestart = noRestart;
    wrongRestart[rst + 1] = 0xD6;
    noRestart.erase(noRestart.begin() + long(rst), noRestart.begin() + long(rst) + 2);
    for (const auto* file : {&marker, &noRestart, &wrongRestart}) {
        DibGuard dib;
        EXPECT_EQ(decodeJpeg(*file, dib), ImageError::Damaged);
    }

    // Opened as JPEG, something that does not start like one.
    std::vector<uint8_t> other = baseline;
    other[2] = 0x00;
    DibGuard dib;
    EXPECT_EQ(decodeJpeg(other, dib), ImageError::UnknownFormat);
    EXPECT_FALSE(codecForContent(Bytes(other)) == &kJpegCodec);
}

TEST(JpegDecode, StrayBytesBetweenSegmentsAreTolerated)
{
    DibGuard picture(smoothImage(30, 20, 24));
    auto bytes = encodeJpeg(picture.get(), 90);
    DibGuard clean;
    ASSERT_EQ(decodeJpeg(bytes, clean), ImageError::None);
    for (const uint8_t code : {0xDB, 0xC0, 0xDA}) { // before DQT, SOF0 and SOS
        const size_t at = findMarker(bytes, code);
        ASSERT_NE(at, 0u);
        bytes.insert(bytes.begin() + long(at), {0x00, 0x13, 0x37, 0x00});
    }
    DibGuard dib;
    ASSERT_EQ(decodeJpeg(bytes, dib), ImageError::None);
    EXPECT_TRUE(testutil::samePixels(dib.get(), clean.get()));
}

TEST(JpegDecode, HugeClaimsFailBeforeTheWork)
{
    DibGuard picture(smoothImage(64, 64, 24));
    const auto small = encodeJpeg(picture.get(), 95);
    DibGuard grey(smoothImage(64, 64, 8));
    const auto smallGrey = encodeJpeg(grey.get(), 95);
    struct Case {
        const std::vector<uint8_t>* file;
        int width, height;
        ImageError error;
    };
    const Case cases[] = {
        {&small, 60000, 60000, ImageError::TooLarge},    // beyond the pixel limit
        {&smallGrey, 30000, 30000, ImageError::Damaged}, // within it, far more blocks than bits
        {&small, 400, 200, ImageError::Damaged},         // plausible, but the data runs out
        {&small, 0, 64, ImageError::Damaged},
    };
    // A claim that passes the size checks may still not allocate its
    // picture before the data is known to hold it.
    setAllocationLimitForTest(64 << 20);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
        std::vector<uint8_t> bytes = *c.file;
        setFrameSize(bytes, c.width, c.height);
        DibGuard dib;
        EXPECT_EQ(decodeJpeg(bytes, dib), c.error);
        EXPECT_FALSE(dib);
    }
    setAllocationLimitForTest(UINT64_MAX);
}

TEST(JpegCodec, OutOfMemoryIsReported)
{
    DibGuard picture(smoothImage(64, 64, 24));
    DibGuard palette(testutil::patternImage(64, 64, 8));
    const auto bytes = encodeJpeg(picture.get(), 75);
    setAllocationLimitForTest(4096);
    DibGuard dib;
    const ImageError decoded = decodeJpeg(bytes, dib);
    std::vector<uint8_t> out;
    const ImageError encoded = encodeImage(palette.get(), FormatJPG, out, EncodeOptions{});
    setAllocationLimitForTest(UINT64_MAX);
    EXPECT_EQ(decoded, ImageError::OutOfMemory);
    EXPECT_FALSE(dib);
    EXPECT_EQ(encoded, ImageError::OutOfMemory);
    EXPECT_TRUE(out.empty());
}

TEST(JpegDecode, VariantsWeDoNotReadAreUnsupported)
{
    const auto samples = smoothSamples(16, 16);
    LibjpegFile arithmetic{16, 16};
    arithmetic.arithmetic = true;
    std::vector<uint8_t> twelveBit = libjpegEncode(LibjpegFile{16, 16}, samples);
    twelveBit[findFrame(twelveBit) + 4] = 12;
    // Two components are neither grey nor colour.
    std::vector<uint8_t> twoComponents = libjpegEncode(LibjpegFile{16, 16, 2, JCS_UNKNOWN, JCS_UNKNOWN},
                                                       std::vector<uint8_t>(16 * 16 * 2, 100));
    for (const auto* file : {&twelveBit, &twoComponents}) {
        DibGuard dib;
        EXPECT_EQ(decodeJpeg(*file, dib), ImageError::Unsupported);
    }
    DibGuard dib;
    EXPECT_EQ(decodeJpeg(libjpegEncode(arithmetic, samples), dib), ImageError::Unsupported);
}

TEST(JpegCodec, ReportsProgressByRows)
{
    DibGuard picture(smoothImage(40, 300, 24));
    const auto bytes = encodeJpeg(picture.get(), 75);
    LibjpegFile p{40, 300};
    p.progressive = true;
    const auto progressive = libjpegEncode(p, smoothSamples(40, 300));
    auto check = [](const std::vector<int>& percents) {
        ASSERT_GE(percents.size(), 10u);
        EXPECT_EQ(percents.front(), 0);
        EXPECT_EQ(percents.back(), 100);
        EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
        // The first half too: a progressive file reads its scans there.
        EXPECT_TRUE(std::any_of(percents.begin(), percents.end(), [](int percent) { return percent > 0 && percent < 50; }));
    };
    for (const auto* file : {&bytes, &progressive}) {
        std::vector<int> percents;
        DibGuard dib;
        ASSERT_EQ(decodeImage(Bytes(*file), FormatJPG, dib, [&](int percent) { percents.push_back(percent); }),
                  ImageError::None);
        check(percents);
    }
    std::vector<int> percents;
    std::vector<uint8_t> out;
    ASSERT_EQ(encodeImage(picture.get(), FormatJPG, out, EncodeOptions{}, [&](int percent) { percents.push_back(percent); }),
              ImageError::None);
    check(percents);
}

TEST(JpegDecode, AbsurdNumbersOfScansAreRejected)
{
    // Greyscale, the DC coefficient first, then every AC coefficient in a
    // scan of its own: 64 scans. With each coefficient sent in two halves
    // of its bits: 127 scans.
    const int w = 24, h = 16;
    std::vector<uint8_t> samples(size_t(w) * h);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = uint8_t(i * 37 % 251);
    LibjpegFile sequential{w, h, 1, JCS_GRAYSCALE, JCS_GRAYSCALE};
    LibjpegFile bands = sequential, halves = sequential;
    bands.scans.push_back({1, {0}, 0, 0, 0, 0});
    halves.scans = bands.scans;
    for (int k = 1; k < 64; ++k) {
        bands.scans.push_back({1, {0}, k, k, 0, 0});
        halves.scans.push_back({1, {0}, k, k, 0, 1});
    }
    for (int k = 1; k < 64; ++k)
        halves.scans.push_back({1, {0}, k, k, 1, 0});
    DibGuard reference, dib;
    ASSERT_EQ(decodeJpeg(libjpegEncode(sequential, samples), reference), ImageError::None);
    ASSERT_EQ(decodeJpeg(libjpegEncode(bands, samples), dib), ImageError::None);
    EXPECT_TRUE(testutil::samePixels(dib.get(), reference.get()));
    EXPECT_EQ(decodeJpeg(libjpegEncode(halves, samples), dib), ImageError::Damaged);
}
