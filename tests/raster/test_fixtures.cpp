// Every picture under tests/fixtures/<format>/ was written by another
// program (see make.sh in each folder), with that program's own reading of
// it beside it as name.ppm. We must read the same pixels; and the same file
// cut short must fail with an error text, never crash.

#include "raster/codec.h"
#include "raster/rasterio.h"
#include "tests/testutil.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace raster;

namespace {
struct Fixture {
    QString file;
    QString reference;
    int tolerance;
};

std::vector<Fixture> fixtures()
{
    std::vector<Fixture> list;
    QDirIterator folders(testutil::sourcePath("tests/fixtures"), QDir::Dirs | QDir::NoDotAndDotDot);
    while (folders.hasNext()) {
        const QDir folder(folders.next());
        bool ok = false;
        int tolerance = testutil::readFile(folder.filePath("tolerance.txt")).trimmed().toInt(&ok);
        if (!ok)
            tolerance = 0;
        for (const QFileInfo& f : folder.entryInfoList(QDir::Files, QDir::Name)) {
            const QString suffix = f.suffix().toLower();
            if (suffix == "ppm" || suffix == "sh" || suffix == "txt" || suffix == "md")
                continue;
            const QString reference = f.path() + "/" + f.completeBaseName() + ".ppm";
            if (QFileInfo::exists(reference))
                list.push_back({f.filePath(), reference, tolerance});
        }
    }
    return list;
}
} // namespace

TEST(Fixtures, DecodeToTheSamePixelsAsTheirMaker)
{
    const auto list = fixtures();
    ASSERT_FALSE(list.empty());
    for (const auto& f : list) {
        SCOPED_TRACE(f.file.toStdString());
        DibGuard dib;
        OpenDib(dib.out(), f.file, FormatAuto, nullptr);
        EXPECT_TRUE(dib) << DibErrorText(dib.get()).toStdString();
        testutil::Rgb reference;
        const bool haveReference = testutil::readPnm(testutil::readFile(f.reference), reference);
        EXPECT_TRUE(haveReference);
        if (!dib || !haveReference)
            continue;
        const int difference = testutil::maxDifference(dib.get(), reference);
        EXPECT_GE(difference, 0) << "size differs: " << DibWidth(dib.get()) << "x" << DibHeight(dib.get())
                                 << " against " << reference.width << "x" << reference.height;
        EXPECT_LE(difference, f.tolerance);
        // Reading by the format number of the extension gives the same.
        const int format = FormatFromExtension(f.file);
        if (format != 0) {
            DibGuard byFormat;
            OpenDib(byFormat.out(), f.file, format, nullptr);
            EXPECT_TRUE(byFormat);
            EXPECT_TRUE(testutil::samePixels(byFormat.get(), dib.get()));
        }
    }
}

TEST(Fixtures, CutShortTheyFailWithAnErrorText)
{
    for (const auto& f : fixtures()) {
        SCOPED_TRACE(f.file.toStdString());
        const QByteArray bytes = testutil::readFile(f.file);
        const auto* data = reinterpret_cast<const uint8_t*>(bytes.constData());
        // Every length up to 64 bytes, then about 40 more across the file.
        std::vector<qsizetype> lengths;
        for (qsizetype n = 0; n < std::min<qsizetype>(64, bytes.size()); ++n)
            lengths.push_back(n);
        for (qsizetype n = 64; n < bytes.size(); n += std::max<qsizetype>(1, bytes.size() / 40))
            lengths.push_back(n);
        for (const qsizetype n : lengths) {
            DibGuard dib;
            const ImageError error = decodeImage(Bytes(data, size_t(n)), FormatAuto, dib);
            // Only the last few bytes (trailers, padding) may be missing from a
            // file that still reads.
            if (n < bytes.size() * 9 / 10) {
                EXPECT_NE(error, ImageError::None) << "cut at " << n << " of " << bytes.size();
            }
            if (error != ImageError::None) {
                EXPECT_FALSE(dib);
                EXPECT_FALSE(imageErrorText(error).isEmpty());
            }
        }
    }
}

TEST(Fixtures, RandomBytesAndFlippedBitsNeverCrash)
{
    uint32_t s = 2463534242u;
    auto next = [&s] {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return s;
    };
    for (const auto& f : fixtures()) {
        SCOPED_TRACE(f.file.toStdString());
        const QByteArray original = testutil::readFile(f.file);
        for (int round = 0; round < 30; ++round) {
            QByteArray bytes = original;
            const int flips = 1 + int(next() % 8);
            for (int i = 0; i < flips; ++i)
                bytes[qsizetype(next() % uint32_t(bytes.size()))] = char(next());
            DibGuard dib;
            const ImageError error = decodeImage(
                Bytes(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())), FormatAuto, dib);
            EXPECT_EQ(error == ImageError::None, bool(dib));
        }
    }
    // Pure noise is not a picture of any format: no decoder claims it (the
    // loosest signatures, TGA's and PCX's, ask for several header fields at
    // once), so it is refused as of unknown format and leaves no image.
    uint32_t n = 88172645u; // a stream of its own, whatever the fixtures are
    std::vector<uint8_t> noise(4096);
    for (int round = 0; round < 50; ++round) {
        for (auto& b : noise) {
            n ^= n << 13;
            n ^= n >> 17;
            n ^= n << 5;
            b = uint8_t(n >> 7);
        }
        EXPECT_EQ(codecForContent(Bytes(noise)), nullptr) << "round " << round;
        DibGuard dib;
        EXPECT_EQ(decodeImage(Bytes(noise), FormatAuto, dib), ImageError::UnknownFormat) << "round " << round;
        EXPECT_FALSE(dib) << "round " << round;
    }
}
