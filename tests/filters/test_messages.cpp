// What the user is told about each outcome of the pixel algorithms, and
// that the algorithms themselves never show a box: the caller does, with
// the texts of filters/messages.

#include "filters/effects.h"
#include "filters/messages.h"
#include "filters/palfile.h"
#include "platform/msgbox.h"
#include "raster/rasterio.h"
#include "tests/testutil.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace filters;
using raster::DibGuard;
using platform::MessageBoxScript;
using platform::MsgAnswer;
using platform::MsgButtons;
using platform::MsgIcon;

TEST(FilterMessages, EachOutcomeHasItsTexts)
{
    const QString noMemory = QString::fromUtf8("Fehler: nicht genug Speicher für diese Operation!");
    const QString noWorkCopy = QString::fromUtf8("Fehler: Nicht genügent Speicher für diese Aktion!");
    const QString loadError = QString::fromUtf8("Fehler beim Laden der Palette!");
    const struct {
        const char* what;
        Messages messages;
        QStringList texts; // every one with caption "Fehler" and the error icon
    } cases[] = {
        {"filtered", messagesFor(FilterOutcome::Filtered), {}},
        {"not filtered", messagesFor(FilterOutcome::NotFiltered), {}},
        {"divisor 0", messagesFor(FilterOutcome::DivisorZero), {"Die Division durch 0 ist nicht definiert!"}},
        {"no work copy", messagesFor(FilterOutcome::NoMemory), {noWorkCopy}},
        {"effect done", messagesFor(NeighbourhoodOutcome::Done), {}},
        {"effect not applied", messagesFor(NeighbourhoodOutcome::NotApplied), {}},
        {"effect without work copy", messagesFor(NeighbourhoodOutcome::NoMemory), {noWorkCopy}},
        {"palette done", messagesFor(PaletteOutcome::Done), {}},
        {"palette ignored", messagesFor(PaletteOutcome::Ignored), {}},
        {"not saved", messagesFor(PaletteOutcome::CannotSave), {"Fehler beim Speichern der Palette!"}},
        {"not loaded", messagesFor(PaletteOutcome::CannotLoad), {loadError}},
        {"does not fit", messagesFor(PaletteOutcome::DoesNotFit),
         {QString::fromUtf8("Palette paßt nicht zum Bild oder illegale Palette!")}},
        {"illegal", messagesFor(PaletteOutcome::Illegal), {"Illegale Palette!"}},
        {"no converted picture", messagesFor(PaletteOutcome::NoMemory), {noMemory, loadError}},
        {"copy", {noMemoryMessage()}, {noMemory}},
        {"size", {resizeFailedMessage()}, {QString::fromUtf8("Fehler beim Ändern der Größe...")}},
    };
    for (const auto& c : cases) {
        MessageBoxScript script;
        show(c.messages);
        EXPECT_EQ(script.texts(), c.texts) << c.what;
        for (const auto& shown : script.shown()) {
            EXPECT_EQ(shown.caption, QStringLiteral("Fehler")) << c.what;
            EXPECT_EQ(shown.icon, MsgIcon::Error) << c.what;
            EXPECT_EQ(shown.buttons, MsgButtons::Ok) << c.what;
        }
    }

    // The colour count: the memory message first when the bit set was
    // missing, then the count.
    MessageBoxScript script;
    show(messagesFor(ColourCount{0, true}, false));
    EXPECT_EQ(script.texts(),
              (QStringList{noMemory, "Die Anzahl der benutzten Farben konnte nicht ermittelt werden..."}));
    ASSERT_EQ(script.shown().size(), 2u);
    EXPECT_EQ(script.shown()[1].caption, QStringLiteral("Benutzte Farben"));
    EXPECT_EQ(script.shown()[1].icon, MsgIcon::Error);
}

TEST(FilterMessages, WithoutMemoryTheAlgorithmsOnlyReport)
{
    // A 5 x 5 effect without room for its work copy.
    DibGuard image(testutil::patternImage(30, 30, 24, 4));
    DibGuard before(raster::MakeDIBCopy(image.get()));
    MessageBoxScript script;
    const NeighbourhoodOutcome outcome = [&] {
        const testutil::AllocationLimit limit(raster::DibSizeImage(image.get()));
        return DelNoise(image.get(), 10, {});
    }();
    EXPECT_EQ(outcome, NeighbourhoodOutcome::NoMemory);
    EXPECT_TRUE(testutil::samePixels(image.get(), before.get()));
    EXPECT_TRUE(script.shown().empty());

    // loadpal0 without room for the converted picture: not asked, unchanged.
    QTemporaryDir dir;
    const QString file = dir.filePath("voll.PAL");
    platform::LOGPALETTE256 palette{};
    palette.palVersion = kPaletteVersion;
    palette.palNumEntries = 256;
    testutil::writeFile(file, paletteFileBytes(palette));
    FilterContext context;
    bool asked = false;
    const PaletteOutcome loaded = [&] {
        const testutil::AllocationLimit limit(1000);
        return loadpal0(image.get(), file, context, [&asked] { return asked = true; });
    }();
    EXPECT_EQ(loaded, PaletteOutcome::NoMemory);
    EXPECT_FALSE(asked);
    EXPECT_EQ(raster::DibBitCount(image.get()), 24);
    EXPECT_TRUE(testutil::samePixels(image.get(), before.get()));
    EXPECT_TRUE(script.shown().empty());

    // A copy the library cannot make: MakeDIBCopyOrTell tells the user.
    DibGuard copy;
    {
        const testutil::AllocationLimit limit(1000);
        copy.reset(MakeDIBCopyOrTell(image.get()));
    }
    EXPECT_FALSE(copy);
    ASSERT_EQ(script.shown().size(), 1u);
    EXPECT_EQ(script.shown()[0].text, QString::fromUtf8("Fehler: nicht genug Speicher für diese Operation!"));
    EXPECT_EQ(script.shown()[0].icon, MsgIcon::Error);
    // A copy of nothing is nothing, and no message.
    DibGuard none(MakeDIBCopyOrTell(raster::TDibRecord{}));
    EXPECT_FALSE(none);
    EXPECT_EQ(script.shown().size(), 1u);
}

TEST(FilterMessages, TheDitherQuestion)
{
    MessageBoxScript script;
    script.answer(MsgAnswer::Yes);
    script.answer(MsgAnswer::No);
    EXPECT_TRUE(askDither());
    EXPECT_FALSE(askDither());
    ASSERT_EQ(script.shown().size(), 2u);
    EXPECT_EQ(script.shown()[0].text,
              QString::fromUtf8("Wollen Sie das Bild durch Floyd-Steinberg Fehlerverteilung (Dithering) anpassen?"));
    EXPECT_EQ(script.shown()[0].caption, QStringLiteral("Farbpalette laden?"));
    EXPECT_EQ(script.shown()[0].icon, MsgIcon::Question);
    EXPECT_EQ(script.shown()[0].buttons, MsgButtons::YesNo);
}
