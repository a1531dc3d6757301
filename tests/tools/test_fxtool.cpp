#include "platform/random.h"
#include "raster/dibguard.h"
#include "raster/rasterio.h"
#include "show/transitions.h"
#include "tests/testutil.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace raster;

namespace {


QString saved(const QTemporaryDir& dir, const QString& name, const TDibRecord& dib)
{
    const QString file = dir.filePath(name);
    EXPECT_EQ(SaveDib(dib, file, FormatBMP, nullptr), 1);
    return file;
}

} // namespace

TEST(FxTool, WritesTheFrameDofxComputes)
{
    QTemporaryDir dir;
    DibGuard a(testutil::patternImage(100, 80, 24, 1)), b(testutil::patternImage(100, 80, 24, 2));
    const QString fileA = saved(dir, "a.bmp", a.get()), fileB = saved(dir, "b.bmp", b.get());

    // A scatter frame depends on the seed, so the seed must reach dofx.
    for (const auto& [seed, repeat] : {std::pair{0, 0}, std::pair{4321, 3}}) {
        QStringList args{"fx", fileA, fileB, dir.filePath("out.bmp"), "--effect", "21", "--elapsed", "600",
                         "--duration", "1000"};
        if (seed != 0)
            args << "--seed" << QString::number(seed);
        if (repeat != 0)
            args << "--repeat" << QString::number(repeat);
        const testutil::ToolRun r = testutil::runTool(args);
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        if (repeat != 0)
            EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d+\\.\\d+ ms je Bild \\(Mittel aus 3\\)\\n$"))
                            .match(r.err)
                            .hasMatch())
                << r.err.toStdString();
        else
            EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();

        DibGuard written;
        OpenDib(written.out(), dir.filePath("out.bmp"), FormatAuto, nullptr);
        ASSERT_TRUE(written);
        EXPECT_EQ(DibBitCount(written.get()), 24);
        DibGuard expected;
        newdib(expected.out(), 100, 80, 24, nullptr, 0);
        platform::RandSeed = uint32_t(seed);
        show::dofx(expected.get(), a.get(), b.get(), 600, 1000, 21);
        EXPECT_TRUE(testutil::samePixels(written.get(), expected.get())) << "seed " << seed;
        EXPECT_FALSE(testutil::samePixels(written.get(), a.get()));
    }
}

TEST(FxTool, RefusesPicturesThatDoNotMatch)
{
    QTemporaryDir dir;
    DibGuard a(testutil::patternImage(20, 20, 24, 1)), smaller(testutil::patternImage(20, 19, 24, 2)),
        palette(testutil::patternImage(20, 20, 8, 3));
    const QString fileA = saved(dir, "a.bmp", a.get());
    const QString out = dir.filePath("out.bmp");
    struct Case {
        QStringList args;
        QString error; // empty: the usage text
    };
    const Case cases[] = {
        {{fileA, saved(dir, "s.bmp", smaller.get()), out, "--effect", "1", "--elapsed", "1", "--duration", "2"},
         QString::fromUtf8("Fehler: Die beiden Bilder müssen gleich groß sein!")},
        {{fileA, saved(dir, "p.bmp", palette.get()), out, "--effect", "1", "--elapsed", "1", "--duration", "2"},
         QString::fromUtf8("Fehler: %1 ist kein Bild mit 24 Bit Farbtiefe!").arg(dir.filePath("p.bmp"))},
        {{fileA, dir.filePath("fehlt.bmp"), out, "--effect", "1", "--elapsed", "1", "--duration", "2"},
         QString::fromUtf8("Fehler: Die Datei wurde nicht gefunden!")},
        {{fileA, fileA, out, "--effect", "1", "--elapsed", "1"}, {}},
        {{fileA, fileA, out, "--effect", "eins", "--elapsed", "1", "--duration", "2"}, {}},
    };
    for (const Case& c : cases) {
        const testutil::ToolRun r = testutil::runTool(QStringList{"fx"} + c.args);
        EXPECT_EQ(r.status, 1) << c.args.join(' ').toStdString();
        if (c.error.isEmpty())
            EXPECT_TRUE(r.err.startsWith("Aufruf:")) << r.err.toStdString();
        else
            EXPECT_EQ(r.err.trimmed(), c.error);
        EXPECT_FALSE(QFile::exists(out));
    }
}
