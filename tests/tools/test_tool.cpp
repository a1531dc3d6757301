#include "raster/rasterio.h"
#include "tests/testutil.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace raster;

namespace {
struct ToolRun {
    int status;
    QString out;
    QString err;
};

ToolRun tool(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral(LUMIVOX_TOOL), args);
    p.waitForFinished(60000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}
} // namespace

TEST(Tool, ConvertsByExtensionAndReportsTheResult)
{
    QTemporaryDir dir;
    DibGuard picture(testutil::patternImage(31, 17, 8));
    const QString bmp = dir.filePath("bild.bmp");
    ASSERT_EQ(SaveDib(picture.get(), bmp, FormatBMP, nullptr), 1);

    const QString gif = dir.filePath("bild.gif");
    ToolRun r = tool({"convert", bmp, gif});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    r = tool({"info", gif});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "{\"Width\": 31, \"Height\": 17, \"BitCount\": 8}\n");
    DibGuard back;
    OpenDib(back.out(), gif, FormatAuto, nullptr);
    ASSERT_TRUE(back);
    EXPECT_TRUE(testutil::samePixels(back.get(), picture.get()));

    // --format wins over the extension; the content decides when reading.
    const QString odd = dir.filePath("bild.dat");
    ASSERT_EQ(tool({"convert", gif, odd, "--format", "3"}).status, 0);
    EXPECT_TRUE(testutil::readFile(odd).startsWith("BM"));
    r = tool({"convert", gif, dir.filePath("bild.jpg"), "--quality", "90"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(tool({"info", dir.filePath("bild.jpg")}).out, "{\"Width\": 31, \"Height\": 17, \"BitCount\": 24}\n");
}

TEST(Tool, FailuresExitWithOneAndTheGermanText)
{
    QTemporaryDir dir;
    ToolRun r = tool({"info", dir.filePath("fehlt.png")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.trimmed(), QString::fromUtf8("Fehler: Die Datei wurde nicht gefunden!"));
    EXPECT_TRUE(r.out.isEmpty());

    r = tool({"convert", dir.filePath("fehlt.png"), dir.filePath("x.bmp")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.trimmed(), QString::fromUtf8("Fehler: Die Datei wurde nicht gefunden!"));

    DibGuard picture(testutil::patternImage(4, 4, 24));
    const QString bmp = dir.filePath("bild.bmp");
    ASSERT_EQ(SaveDib(picture.get(), bmp, FormatBMP, nullptr), 1);
    r = tool({"convert", bmp, dir.filePath("bild.xyz")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.startsWith("Fehler:"));
    EXPECT_EQ(tool({"gibtsnicht"}).status, 1);
}
