#include "raster/rasterio.h"
#include "tests/testutil.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace raster;

namespace {
} // namespace

TEST(Tool, ConvertsByExtensionAndReportsTheResult)
{
    QTemporaryDir dir;
    DibGuard picture(testutil::patternImage(31, 17, 8));
    const QString bmp = dir.filePath("bild.bmp");
    ASSERT_EQ(SaveDib(picture.get(), bmp, FormatBMP, nullptr), 1);

    const QString gif = dir.filePath("bild.gif");
    testutil::ToolRun r = testutil::runTool({"convert", bmp, gif});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    r = testutil::runTool({"info", gif});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "{\"Width\": 31, \"Height\": 17, \"BitCount\": 8}\n");
    DibGuard back;
    OpenDib(back.out(), gif, FormatAuto, nullptr);
    ASSERT_TRUE(back);
    EXPECT_TRUE(testutil::samePixels(back.get(), picture.get()));

    // --format wins over the extension; the content decides when reading.
    const QString odd = dir.filePath("bild.dat");
    ASSERT_EQ(testutil::runTool({"convert", gif, odd, "--format", "3"}).status, 0);
    EXPECT_TRUE(testutil::readFile(odd).startsWith("BM"));
    r = testutil::runTool({"convert", gif, dir.filePath("bild.jpg"), "--quality", "90"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(testutil::runTool({"info", dir.filePath("bild.jpg")}).out, "{\"Width\": 31, \"Height\": 17, \"BitCount\": 24}\n");
}

TEST(Tool, FailuresExitWithOneAndTheGermanText)
{
    QTemporaryDir dir;
    testutil::ToolRun r = testutil::runTool({"info", dir.filePath("fehlt.png")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.trimmed(), QString::fromUtf8("Fehler: Die Datei wurde nicht gefunden!"));
    EXPECT_TRUE(r.out.isEmpty());

    r = testutil::runTool({"convert", dir.filePath("fehlt.png"), dir.filePath("x.bmp")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.trimmed(), QString::fromUtf8("Fehler: Die Datei wurde nicht gefunden!"));

    DibGuard picture(testutil::patternImage(4, 4, 24));
    const QString bmp = dir.filePath("bild.bmp");
    ASSERT_EQ(SaveDib(picture.get(), bmp, FormatBMP, nullptr), 1);
    r = testutil::runTool({"convert", bmp, dir.filePath("bild.xyz")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.startsWith("Fehler:"));
    EXPECT_EQ(testutil::runTool({"gibtsnicht"}).status, 1);
}
