// The filter commands of lumivox-tool, run by name in this process: each
// does what its algorithm does with the arguments it names, and refuses
// what the dialogs would not pass.

#include "filters/colour.h"
#include "filters/convolve.h"
#include "filters/depth.h"
#include "filters/effects.h"
#include "filters/geometry.h"
#include "raster/rasterio.h"
#include "tests/testutil.h"
#include "tools/filtercommand.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>

using namespace raster;
using namespace filters;
using namespace tool;

namespace {

using Op = std::function<void(TDibRecord&, const FilterContext&)>;

// Runs the command words[0] with the rest of words as its arguments.
QString run(const QStringList& words, DibGuard& image, CommandContext& context)
{
    for (const auto& c : allFilterCommands())
        if (words[0] == QLatin1String(c.name))
            return c.run(words.mid(1), image, context);
    return QStringLiteral("unknown");
}

} // namespace

TEST(FilterCommands, ColourArguments)
{
    const auto commands = colourCommands();
    auto find = [&commands](const char* name) {
        return std::find_if(commands.begin(), commands.end(),
                            [name](const FilterCommand& c) { return std::strcmp(c.name, name) == 0; });
    };
    for (const char* name : {"DibInvert", "DibGrayscale", "Helligkeit", "Kontrast", "Saettigung", "Gamma",
                             "RedGreenBlue", "Colorize", "HighMidShadow", "StretchHistogramm", "DibPoster",
                             "DibSolar"})
        EXPECT_NE(find(name), commands.end()) << name;
    EXPECT_EQ(commands.size(), 12u);

    struct Case {
        const char* name;
        QStringList args;
        QString error;
        Op same; // what a successful command does
    };
    const Case cases[] = {
        {"Kontrast", {"150"}, {}, [](auto& d, auto& c) { Kontrast(d, 150, c); }},
        {"Gamma", {"1.8"}, {}, [](auto& d, auto& c) { Gamma(d, 1.8, c); }},
        {"RedGreenBlue", {"10", "-20", "30"}, {}, [](auto& d, auto& c) { RedGreenBlue(d, 10, -20, 30, c); }},
        {"DibPoster", {"7"}, {}, [](auto& d, auto& c) { DibPoster(d, 7, c); }},
        {"DibInvert", {}, {}, [](auto& d, auto& c) { DibInvert(d, c); }},
        {"Kontrast", {"201"}, "Fehler: Argument 1 muss zwischen 0 und 200 liegen!", nullptr},
        {"Gamma", {"hell"}, "Fehler: Argument 1 muss eine Zahl sein!", nullptr},
        {"Gamma", {"9"}, "Fehler: Argument 1 muss zwischen 0.1 und 8.9 liegen!", nullptr},
        {"Colorize", {"10"}, "Fehler: 2 Argument(e) erwartet!", nullptr},
        {"DibSolar", {"x"}, "Fehler: Argument 1 muss eine ganze Zahl sein!", nullptr},
        {"DibGrayscale", {"1"}, "Fehler: Keine Argumente erwartet!", nullptr},
    };
    for (const auto& c : cases) {
        DibGuard image(testutil::patternImage(5, 4, 24, 1));
        DibGuard want(MakeDIBCopy(image.get()));
        if (c.same)
            c.same(want.get(), {});
        CommandContext context;
        EXPECT_EQ(find(c.name)->run(c.args, image, context), c.error) << c.name;
        EXPECT_TRUE(testutil::samePixels(image.get(), want.get())) << c.name;
    }
}

TEST(FilterCommands, ConvolutionNamesItsRecord)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("UserFilt.dat");
    std::vector<TFilterRecord> user(2);
    user[0].Divisor = 1; // the centre pixel plus 50
    user[0].Bias = 50;
    user[0].set(2, 2, 1);
    user[1].Divisor = 0; // never applied
    user[1].set(2, 2, 1);
    ASSERT_TRUE(writeUserFilters(file, user));
    const auto commands = convolutionCommands();
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_STREQ(commands[0].name, "DibFilter");

    struct Case {
        QString arg;
        const TFilterRecord* record; // applied; nullptr: an error is expected
        QString error;
        bool invert = false;
    };
    const Case cases[] = {
        {"StarkSoften1", &findBuiltInFilter("StarkSoften1")->record, {}},
        {"Konturenzeichnen1", &findBuiltInFilter("Eckenfinden1")->record, {}, true},
        {"effect:6", &retouchEffects()[6], {}},
        {"user:" + file + ":0", &user[0], {}},
        {"user:" + file + ":1", nullptr, "Die Division durch 0 ist nicht definiert!"},
        {"user:" + file + ":2", nullptr, "Fehler: " + file + " enthält keinen Filter 2!"},
        {"effect:14", nullptr, "Fehler: Effekt 14 gibt es nicht (0..13)!"},
        {"Weichzeichnen", nullptr, "Fehler: Unbekannter Filter Weichzeichnen!"},
    };
    for (const auto& c : cases) {
        DibGuard image(testutil::patternImage(6, 6, 24, 9));
        DibGuard want(MakeDIBCopy(image.get()));
        if (c.record) {
            const BuiltInFilter f{"", "", *c.record, c.invert};
            applyBuiltInFilter(want.get(), f, {});
        }
        CommandContext context;
        EXPECT_EQ(commands[0].run({c.arg}, image, context), c.error) << c.arg.toStdString();
        EXPECT_TRUE(testutil::samePixels(image.get(), want.get())) << c.arg.toStdString();
    }
}

TEST(FilterCommands, DepthWords)
{
    struct Case {
        int bits;
        QStringList words;
        DepthDownOptions same; // used when no error is expected
        QString error;
    } const cases[] = {
        {24, {"DepthDownTo", "8", "optimized", "windows", "fs"}, {8, 256, true, ErrorDiffusion, true}, {}},
        {24, {"DepthDownTo", "8"}, {8, 256, true, ErrorDiffusion, true}, {}},
        {24, {"DepthDownTo", "8", "nowindows", "near"}, {8, 256, true, NearestColour, false}, {}},
        {24, {"DepthDownTo", "8", "standard", "dither"}, {8, 256, false, OrderedDither, false}, {}},
        {24, {"DepthDownTo", "4", "standard"}, {4, 16, false, ErrorDiffusion, false}, {}},
        {24, {"DepthDownTo", "0", "40", "near"}, {8, 40, true, NearestColour, true}, {}},
        {24, {"DepthDownTo", "0", "12"}, {4, 12, true, ErrorDiffusion, false}, {}},
        {8, {"DepthDownTo", "0", "9", "near"}, {4, 9, true, NearestColour, false}, {}},
        {8, {"DepthDownTo", "0", "17"}, {}, "Fehler: Argument 2 muss zwischen 2 und 16 liegen!"},
        {24, {"DepthDownTo", "0", "20", "windows"}, {}, "Fehler: Mit Windows Farben sind mindestens 22 Farben nötig!"},
        {24, {"DepthDownTo", "8", "optimized", "dither"}, {},
         "Fehler: Dithering gibt es nur für die Standart-Palette mit 256 Farben!"},
        {24, {"DepthDownTo", "4", "windows"}, {},
         "Fehler: Windows Farben gibt es nur für 256 Farben mit optimierter Palette!"},
        {24, {"DepthDownTo", "2"}, {}, "Fehler: Die Farbtiefe muss 1, 4, 8 oder 0 (freie Anzahl der Farben) sein!"},
        {24, {"DepthDownTo", "8", "fs", "near"}, {}, "Fehler: Doppelte Angabe near!"},
        {8, {"DepthUpTo", "16"}, {}, "Fehler: DepthUpTo erwartet die Farbtiefe 4, 8 oder 24!"},
    };
    for (const auto& c : cases) {
        DibGuard image(testutil::patternImage(12, 7, c.bits, 6));
        DibGuard want(MakeDIBCopy(image.get()));
        CommandContext context;
        FilterContext wantContext;
        if (c.error.isEmpty())
            DepthDownTo(want.get(), c.same, wantContext);
        EXPECT_EQ(run(c.words, image, context), c.error) << c.words.join(' ').toStdString();
        EXPECT_EQ(DibBitCount(image.get()), DibBitCount(want.get())) << c.words.join(' ').toStdString();
        EXPECT_EQ(testutil::pixelValues(image.get()), testutil::pixelValues(want.get())) << c.words.join(' ').toStdString();
        EXPECT_EQ(testutil::rgbPixels(image.get()), testutil::rgbPixels(want.get()));
        EXPECT_EQ(context.Col2, wantContext.Col2);
    }
}

TEST(FilterCommands, EffectWords)
{
    CommandContext context;
    context.Col1 = 0x123456;
    context.Col2 = 0x654321;
    DibGuard mask;
    newdib(mask.out(), 16, 12, 1, nullptr, 0);
    recht_filled(mask.get(), 3, 2, 9, 8, 1);
    context.selection = {true, mask.get(), 3, 2, 9, 8};
    const struct {
        QStringList words;
        std::function<void(TDibRecord&)> same;
        QString error;
    } cases[] = {
        {{"DrawShadow", "3", "2", "10", "20", "rot"},
         [&](TDibRecord& d) { DrawShadow(d, 3, 2, 10, 20, 0x0000FF, context); }, {}},
        {{"DrawShadow", "3", "2", "10", "20"}, [&](TDibRecord& d) { DrawShadow(d, 3, 2, 10, 20, 0x654321, context); },
         {}},
        {{"Buttonize", "3", "20", "transparent", "weiss"},
         [&](TDibRecord& d) { Buttonize(d, 3, 20, false, 0xFFFFFF, context); }, {}},
        {{"MosaikEffekt", "4", "3"}, [&](TDibRecord& d) { MosaikEffekt(d, 4, 3, context); }, {}},
        {{"DibErodeFilter"}, [&](TDibRecord& d) { DibErodeFilter(d, context); }, {}},
        {{"DibDilateFilter"}, [&](TDibRecord& d) { DibDilateFilter(d, context); }, {}},
        {{"DelNoise", "20"}, [&](TDibRecord& d) { DelNoise(d, 20, context); }, {}},
        {{"AddNoise", "1", "100"}, nullptr, {}},
        {{"DrawShadow", "3", "2", "10", "20", "lila"}, nullptr,
         "Fehler: Unbekannte Farbe lila (vordergrund, hintergrund, schwarz, weiss, rot, gruen, blau)!"},
        {{"Buttonize", "3", "20", "halb"}, nullptr, "Fehler: Argument 3 muss fest oder transparent sein!"},
        {{"MosaikEffekt", "0", "3"}, nullptr, "Fehler: Argument 1 muss zwischen 1 und 100 liegen!"},
        {{"AddNoise", "257", "3"}, nullptr, "Fehler: Argument 1 muss zwischen 1 und 256 liegen!"},
        {{"DelNoise"}, nullptr, "Fehler: 1 Argument(e) erwartet!"},
    };
    for (const auto& c : cases) {
        DibGuard image(testutil::patternImage(16, 12, 24, 8));
        DibGuard want(MakeDIBCopy(image.get()));
        if (c.same)
            c.same(want.get());
        EXPECT_EQ(run(c.words, image, context), c.error) << c.words.join(' ').toStdString();
        EXPECT_TRUE(testutil::samePixels(image.get(), want.get())) << c.words.join(' ').toStdString();
    }
}

TEST(FilterCommands, GeometryByName)
{
    CommandContext context;
    context.Col2 = 0x00112233;
    DibGuard source(testutil::patternImage(21, 13, 24, 21));
    struct Case {
        QStringList words;
        std::function<TDibRecord()> expected;
    } const cases[] = {
        {{"FlipH"}, [&] { return filters::FlipH(source.get()); }},
        {{"FlipV"}, [&] { return filters::FlipV(source.get()); }},
        {{"RotLeft"}, [&] { return filters::RotLeft(source.get()); }},
        {{"RotRight"}, [&] { return filters::RotRight(source.get()); }},
        {{"Rot180"}, [&] { return filters::Rot180(source.get()); }},
        {{"DibRotxxx", "right", "30"}, [&] { return filters::DibRotxxx(source.get(), true, 30, 0x00112233); }},
        {{"Resize", "64", "48", "interpolate"}, [&] { return filters::Resize(source.get(), 64, 48, true); }},
        {{"Resize", "10", "5"}, [&] { return filters::Resize(source.get(), 10, 5, false); }},
        {{"NewCanvas", "330", "210", "center", "-2"},
         [&] { return filters::NewCanvas(source.get(), 330, 210, 154, -2, 0x00112233); }},
        // Centring beyond what the dialog's edit holds stops at 16000.
        {{"NewCanvas", "32767", "200", "center", "center"},
         [&] { return filters::NewCanvas(source.get(), 32767, 200, 16000, 94, 0x00112233); }},
        {{"AddBorders", "1", "2", "3", "4"}, [&] { return filters::AddBorders(source.get(), 1, 2, 3, 4, context); }},
        {{"Perspektive", "skew", "vertical", "40"},
         [&] {
             TDibRecord image = MakeDIBCopy(source.get());
             filters::Perspektive(image, source.get(), 40, false, false, context);
             return image;
         }},
        {{"Woelben", "horizontal", "1.4"},
         [&] {
             TDibRecord image = MakeDIBCopy(source.get());
             filters::Woelben(image, source.get(), true, 1.4, false, context);
             return image;
         }},
    };
    for (const auto& c : cases) {
        DibGuard image(MakeDIBCopy(source.get()));
        EXPECT_EQ(run(c.words, image, context), QString()) << c.words.join(' ').toStdString();
        DibGuard expected(c.expected());
        EXPECT_TRUE(testutil::identical(image.get(), expected.get())) << c.words.join(' ').toStdString();
    }

    DibGuard image(MakeDIBCopy(source.get()));
    EXPECT_EQ(run({"DibRotxxx", "up", "30"}, image, context),
              QStringLiteral("Fehler: Argument 1 muss left oder right sein!"));
    EXPECT_EQ(run({"Resize", "0", "10"}, image, context),
              QStringLiteral("Fehler: Argument 1 muss zwischen 1 und 32767 liegen!"));
    // A picture the library cannot make gets the editor's message.
    EXPECT_EQ(run({"Resize", "32767", "32767"}, image, context), QString::fromUtf8("Fehler beim Ändern der Größe..."));
    EXPECT_TRUE(testutil::identical(image.get(), source.get()));
}
