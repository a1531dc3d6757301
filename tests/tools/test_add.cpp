// lumivox-tool add: pictures become slides as the editor adds them, into a
// new show or behind the slides of an existing one; a file that cannot be
// read is reported and passed over, and the others are still added.

#include "platform/msgbox.h"
#include "raster/rasterio.h"
#include "show/intake.h"
#include "show/showfile.h"
#include "tests/testutil.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace raster;

namespace {

// A picture file of a known pattern. A JPEG comes back from the show
// exactly, from its own bytes, and so does an 8-bit picture, from the GIF
// the show stores it as.
QString picture(const QString& path, int format, int bitCount, uint32_t seed)
{
    DibGuard dib(testutil::patternImage(25 + int(seed), 17, bitCount, seed));
    EXPECT_EQ(SaveDib(dib.get(), path, format, nullptr), 1);
    return path;
}

// The show's slides as names, and each slide's picture against the file it
// was made from.
QStringList slideNames(const QString& showPath, const QStringList& pictures)
{
    platform::MessageBoxScript quiet;
    show::ShowDocument document;
    if (!show::OpenFile(document, showPath))
        return {QStringLiteral("(unreadable show)")};
    QStringList names;
    for (uint32_t i = 0; i < document.Slides.Count(); ++i) {
        const show::TSlideRecord& slide = *document.slide(i);
        names << show::StringText(slide.FileName);
        if (i < uint32_t(pictures.size())) {
            DibGuard file;
            OpenDib(file.out(), pictures[int(i)], FormatAuto, nullptr);
            EXPECT_TRUE(testutil::samePixels(slide.Dib, file.get())) << pictures[int(i)].toStdString();
        }
        EXPECT_EQ(slide.TransTime, 1000);
        EXPECT_EQ(slide.PauseTime, 3000);
        EXPECT_EQ(slide.TextPosition, 1);
    }
    return names;
}

} // namespace

TEST(ToolAdd, CreatesAShowAndAddsBehindTheSlidesOfAnExistingOne)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("bilder"));
    const QString a = picture(dir.filePath("bilder/a.jpg"), FormatJPG, 24, 1);
    const QString b = picture(dir.filePath("bilder/b.bmp"), FormatBMP, 8, 2);
    const QString c = picture(dir.filePath("bilder/c.gif"), FormatGIF, 8, 3);
    const QString show = dir.filePath("urlaub.sli");

    testutil::ToolRun r = testutil::runTool({"add", show, a, b});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    EXPECT_EQ(slideNames(show, {a, b}), QStringList({a, b}));
    // The JPEG is stored as the file came.
    EXPECT_TRUE(testutil::readFile(show).contains(testutil::readFile(a)));

    r = testutil::runTool({"add", show, c, a});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(slideNames(show, {a, b, c, a}), QStringList({a, b, c, a}));
}

TEST(ToolAdd, AnUnreadablePictureIsReportedAndTheOthersAreStillAdded)
{
    QTemporaryDir dir;
    const QString a = picture(dir.filePath("a.gif"), FormatGIF, 8, 4);
    const QString b = picture(dir.filePath("b.bmp"), FormatBMP, 8, 5);
    const QString broken = dir.filePath("kaputt.jpg");
    testutil::writeFile(broken, "kein Bild");
    const QString missing = dir.filePath("fehlt.jpg");
    const QString show = dir.filePath("show.sli");

    testutil::ToolRun r = testutil::runTool({"add", show, a, broken, missing, b});
    EXPECT_EQ(r.status, 2);
    // The reasons, then the files they belong to.
    const QStringList lines = r.err.split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(lines, QStringList({QStringLiteral("Fehler: Unbekanntes Dateiformat! Die Datei ist kein lesbares Bild."),
                                  QStringLiteral("Fehler: Die Datei wurde nicht gefunden!"),
                                  QStringLiteral("Nicht hinzugef\u00fcgt: ") + broken,
                                  QStringLiteral("Nicht hinzugef\u00fcgt: ") + missing}));
    EXPECT_EQ(slideNames(show, {a, b}), QStringList({a, b}));
}

TEST(ToolAdd, RelativeNamesAreTakenFromTheWorkingFolder)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("bilder"));
    const QString a = picture(dir.filePath("bilder/a.jpg"), FormatJPG, 24, 6);
    QProcess p;
    p.setWorkingDirectory(dir.path());
    p.start(QStringLiteral(LUMIVOX_TOOL), {"add", "rel.sli", "bilder/a.jpg"});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    EXPECT_EQ(slideNames(dir.filePath("rel.sli"), {a}), QStringList({a}));
}

TEST(ToolAdd, AFileThatIsNoShowIsLeftAlone)
{
    QTemporaryDir dir;
    const QString a = picture(dir.filePath("a.gif"), FormatGIF, 8, 7);
    const QString notAShow = dir.filePath("notiz.sli");
    testutil::writeFile(notAShow, "Einkaufsliste");

    testutil::ToolRun r = testutil::runTool({"add", notAShow, a});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.trimmed(), QStringLiteral("Die Datei ist keine g\u00fcltige \"Lumivox 3\"-Datei!"));
    EXPECT_EQ(testutil::readFile(notAShow), QByteArray("Einkaufsliste"));

    // A show without a picture to add is a usage error.
    EXPECT_EQ(testutil::runTool({"add", dir.filePath("neu.sli")}).status, 1);
    EXPECT_FALSE(QFile::exists(dir.filePath("neu.sli")));
}
