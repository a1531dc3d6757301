// lumivox-tool filter: arguments outside what the dialogs allow are refused
// with a German text and no picture is written; the dialogs' own
// substitutions apply; --seed reaches the noise.

#include "filters/effects.h"
#include "filters/geometry.h"
#include "filters/palfile.h"
#include "platform/random.h"
#include "raster/rasterio.h"
#include "tests/testutil.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace raster;

namespace {

QString savedPicture(const QTemporaryDir& dir, const TDibRecord& dib)
{
    const QString file = dir.filePath("ein.bmp");
    EXPECT_EQ(SaveDib(dib, file, FormatBMP, nullptr), 1);
    return file;
}

DibGuard opened(const QString& file)
{
    DibGuard dib;
    OpenDib(dib.out(), file, FormatAuto, nullptr);
    return dib;
}

} // namespace

TEST(FilterTool, ArgumentsOutsideTheDialogsRangesAreRefused)
{
    QTemporaryDir dir;
    DibGuard picture(testutil::patternImage(21, 13, 24, 3));
    const QString in = savedPicture(dir, picture.get());
    const QString out = dir.filePath("aus.bmp");
    const auto between = [](int argument, const char* lo, const char* hi) {
        return QStringLiteral("Fehler: Argument %1 muss zwischen %2 und %3 liegen!").arg(argument).arg(lo, hi);
    };
    const QString none = QStringLiteral("Fehler: Keine Argumente erwartet!");
    const struct {
        QStringList words;
        QString error;
    } cases[] = {
        {{"FlipH", "1"}, none},
        {{"FlipV", "1"}, none},
        {{"RotLeft", "90"}, none},
        {{"RotRight", "90"}, none},
        {{"Rot180", "x"}, none},
        {{"DibRotxxx", "left", "0"}, between(2, "0.01", "359.99")},
        {{"DibRotxxx", "right", "360"}, between(2, "0.01", "359.99")},
        {{"DibRotxxx", "right", "nan"}, between(2, "0.01", "359.99")},
        {{"DibRotxxx", "left"}, "Fehler: 2 Argument(e) erwartet!"},
        {{"Resize", "0", "10"}, between(1, "1", "32767")},
        {{"Resize", "10", "32768"}, between(2, "1", "32767")},
        {{"Resize", "10", "10", "bicubic"}, "Fehler: Argument 3 muss nearest oder interpolate sein!"},
        {{"Resize", "10", "10", "nearest", "1"}, "Fehler: 2 bis 3 Argumente erwartet!"},
        {{"NewCanvas", "319", "200", "0", "0"}, between(1, "320", "32767")},
        {{"NewCanvas", "320", "199", "0", "0"}, between(2, "200", "32767")},
        {{"NewCanvas", "320", "200", "-16001", "0"}, between(3, "-16000", "16000")},
        {{"NewCanvas", "320", "200", "center", "16001"}, between(4, "-16000", "16000")},
        {{"NewCanvas", "320", "200", "links", "0"}, "Fehler: Argument 3 muss eine ganze Zahl sein!"},
        {{"AddBorders", "-1", "0", "0", "0"}, between(1, "0", "16000")},
        {{"AddBorders", "0", "-5", "0", "0"}, between(2, "0", "16000")},
        {{"AddBorders", "0", "0", "-5", "0"}, between(3, "0", "16000")},
        {{"AddBorders", "0", "0", "0", "16001"}, between(4, "0", "16000")},
        {{"AddBorders", "1", "2", "3"}, "Fehler: 4 Argument(e) erwartet!"},
        {{"Perspektive", "perspective", "horizontal", "101"}, between(3, "-100", "100")},
        {{"Perspektive", "skew", "vertical", "-101"}, between(3, "-100", "100")},
        {{"Woelben", "both", "-1"}, between(2, "0.01", "10")},
        {{"Woelben", "horizontal", "0.001"}, between(2, "0.01", "10")},
        {{"Woelben", "vertical", "10.5"}, between(2, "0.01", "10")},
        {{"Kontrast", "201"}, between(1, "0", "200")},
        {{"Gamma", "0.05"}, between(1, "0.1", "8.9")},
        {{"DibPoster", "8"}, between(1, "1", "7")},
        {{"DrawShadow", "5", "5", "101", "10"}, between(3, "0", "100")},
        {{"Buttonize", "101", "10", "fest"}, between(1, "0", "100")},
        {{"MosaikEffekt", "4", "101"}, between(2, "1", "100")},
        {{"AddNoise", "0", "50"}, between(1, "1", "256")},
        {{"AddNoise", "96", "101"}, between(2, "1", "100")},
        {{"DelNoise", "256"}, between(1, "1", "255")},
        {{"DibErodeFilter", "1"}, none},
        {{"DepthDownTo", "0", "1"}, between(2, "2", "256")},
    };
    for (const auto& c : cases) {
        const testutil::ToolRun r = testutil::runTool(QStringList{"filter", in, out} + c.words);
        const std::string what = c.words.join(' ').toStdString();
        EXPECT_EQ(r.status, 1) << what;
        EXPECT_EQ(r.err.trimmed(), c.error) << what;
        EXPECT_TRUE(r.out.isEmpty()) << what;
        EXPECT_FALSE(QFile::exists(out)) << what;
        QFile::remove(out);
    }
}

TEST(FilterTool, TheDialogsSubstitutionsApply)
{
    QTemporaryDir dir;
    DibGuard picture(testutil::patternImage(21, 13, 24, 3));
    const QString in = savedPicture(dir, picture.get());
    const QString out = dir.filePath("aus.bmp");

    // A bulge of strength 0 is one of 0.01, as the dialog applies it.
    testutil::ToolRun r = testutil::runTool({"filter", in, out, "Woelben", "both", "0"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    DibGuard expected(MakeDIBCopy(picture.get()));
    filters::Woelben(expected.get(), picture.get(), true, 0.01, true, {});
    DibGuard bulged(opened(out));
    ASSERT_TRUE(bulged);
    EXPECT_TRUE(testutil::samePixels(bulged.get(), expected.get()));
    EXPECT_FALSE(testutil::samePixels(bulged.get(), picture.get()));

    // Borders of 0 on every side: the command does nothing.
    r = testutil::runTool({"filter", in, out, "AddBorders", "0", "0", "0", "0"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    DibGuard same(opened(out));
    ASSERT_TRUE(same);
    EXPECT_TRUE(testutil::samePixels(same.get(), picture.get()));
}

TEST(FilterTool, NoiseDrawsFromTheSeed)
{
    QTemporaryDir dir;
    DibGuard picture(testutil::patternImage(40, 30, 24, 5));
    const QString in = savedPicture(dir, picture.get());
    auto noisy = [&](const char* name, int seed) {
        const QString out = dir.filePath(QLatin1String(name));
        const testutil::ToolRun r =
            testutil::runTool({"filter", in, out, "AddNoise", "96", "50", "--seed", QString::number(seed)});
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        return out;
    };
    const QString first = noisy("a.bmp", 7), again = noisy("b.bmp", 7), other = noisy("c.bmp", 8);
    EXPECT_EQ(testutil::readFile(first), testutil::readFile(again));
    EXPECT_NE(testutil::readFile(first), testutil::readFile(other));

    // The noise is the one the generator gives from that seed.
    const uint32_t saved = platform::RandSeed;
    platform::RandSeed = 7;
    DibGuard expected(MakeDIBCopy(picture.get()));
    filters::addNoiseFromSeed(expected.get(), 96, 50, {});
    platform::RandSeed = saved;
    DibGuard seeded(opened(first));
    ASSERT_TRUE(seeded);
    EXPECT_TRUE(testutil::samePixels(seeded.get(), expected.get()));
    EXPECT_FALSE(testutil::samePixels(seeded.get(), picture.get()));
}

TEST(FilterTool, PaletteCommands)
{
    QTemporaryDir dir;
    DibGuard photo(testutil::patternImage(12, 8, 24, 2));
    const QString in = dir.filePath("bild.bmp");
    ASSERT_EQ(SaveDib(photo.get(), in, FormatBMP, nullptr), 1);
    testutil::ToolRun r = testutil::runTool({"filter", in, "-", "CountColors"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("Es werden %1 Farben im Bild benutzt.\n").arg(filters::CountColors(photo.get(), {}).count));

    const QString eight = dir.filePath("acht.bmp");
    r = testutil::runTool({"filter", in, eight, "DepthDownTo", "8", "optimized", "windows", "fs"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QString pal = dir.filePath("acht.PAL");
    r = testutil::runTool({"filter", eight, "-", "savepal", pal});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(testutil::readFile(pal).size(), 1028);

    const QString four = dir.filePath("vier.bmp");
    platform::LOGPALETTE256 sixteen{};
    sixteen.palVersion = filters::kPaletteVersion;
    sixteen.palNumEntries = 16;
    for (int i = 0; i < 16; ++i)
        sixteen.palPalEntry[i] = {uint8_t(16 * i), uint8_t(255 - 16 * i), uint8_t(i), 0};
    testutil::writeFile(dir.filePath("16.PAL"), filters::paletteFileBytes(sixteen));
    r = testutil::runTool({"filter", in, four, "loadpal0", dir.filePath("16.PAL"), "nodither"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    DibGuard converted;
    OpenDib(converted.out(), four, FormatAuto, nullptr);
    ASSERT_TRUE(converted);
    EXPECT_EQ(DibBitCount(converted.get()), 4);

    r = testutil::runTool({"filter", four, "-", "loadpal", pal});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.trimmed(), QString::fromUtf8("Palette paßt nicht zum Bild oder illegale Palette!"));
}
