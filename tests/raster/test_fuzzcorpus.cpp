// Replays every fuzz corpus file, crashes found by the fuzzers included,
// through its decoder, so each fault once fixed stays fixed.

#include "raster/codec.h"
#include "raster/rasterio.h"
#include "tests/fuzz/fuzzdecode.h"
#include "tests/testutil.h"

#include <QDir>
#include <QDirIterator>

#include <gtest/gtest.h>

#include <map>

TEST(FuzzCorpus, EveryFileDecodesOrFailsCleanly)
{
    const std::map<QString, int> formats = {
        {"bmp", raster::FormatBMP}, {"jpeg", raster::FormatJPG}, {"gif", raster::FormatGIF},
        {"png", raster::FormatPNG}, {"tiff", raster::FormatTIF}, {"pcx", raster::FormatPCX},
        {"tga", raster::FormatTGA}, {"iff", raster::FormatIFF},
    };
    int replayed = 0;
    const QDir corpus(testutil::sourcePath("tests/fuzz/corpus"));
    for (const QString& name : corpus.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (name == QLatin1String("show"))
            continue; // show files: replayed by the show file tests
        const auto it = formats.find(name);
        ASSERT_NE(it, formats.end()) << "corpus folder without a decoder: " << name.toStdString();
        QDirIterator files(corpus.filePath(name), QDir::Files);
        while (files.hasNext()) {
            const QByteArray bytes = testutil::readFile(files.next());
            SCOPED_TRACE(files.filePath().toStdString());
            fuzz::decode(it->second, reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
            ++replayed;
        }
    }
    EXPECT_GT(replayed, 0);
}
