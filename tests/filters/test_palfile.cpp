#include "filters/depth.h"
#include "filters/messages.h"
#include "filters/palfile.h"
#include "platform/msgbox.h"
#include "raster/rasterio.h"
#include "tests/testutil.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>

using namespace raster;
using namespace filters;
using platform::MessageBoxScript;
using platform::MsgAnswer;
using platform::MsgIcon;

namespace {

// A palette file of the given version and count whose entry i is
// (i, 255 - i, i / 2) with flags i % 3.
QByteArray paletteFile(uint16_t version, uint16_t count)
{
    platform::LOGPALETTE256 palette{};
    palette.palVersion = version;
    palette.palNumEntries = count;
    for (int i = 0; i < 256; ++i)
        palette.palPalEntry[i] = {uint8_t(i), uint8_t(255 - i), uint8_t(i / 2), uint8_t(i % 3)};
    return paletteFileBytes(palette);
}

// Pixels and both palette copies, to prove that nothing changed.
std::vector<uint8_t> state(const TDibRecord& dib)
{
    std::vector<uint8_t> bytes(dib.Bits, dib.Bits + DibSizeImage(dib));
    const auto* logPal = reinterpret_cast<const uint8_t*>(&dib.LogPal);
    bytes.insert(bytes.end(), logPal, logPal + sizeof(dib.LogPal));
    if (DibBitCount(dib) <= 8) {
        const auto* table = reinterpret_cast<const uint8_t*>(dib.Info->bmiColors);
        bytes.insert(bytes.end(), table, table + 4 * DibColorCount(dib));
    }
    bytes.push_back(uint8_t(DibBitCount(dib)));
    return bytes;
}

} // namespace

TEST(PaletteFile, SaveAndLoadRoundTrip)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("bild.PAL");
    DibGuard eight(testutil::patternImage(9, 4, 8, 3));
    eight->LogPal.palPalEntry[5].peFlags = 4; // flags travel with the entries
    MessageBoxScript messages;
    ASSERT_EQ(savepal(eight.get(), file), PaletteOutcome::Done);
    const QByteArray bytes = testutil::readFile(file);
    ASSERT_EQ(bytes.size(), 1028);
    EXPECT_EQ(bytes.left(4), QByteArray("\x00\x03\x00\x01", 4));
    EXPECT_EQ(uint8_t(bytes[4 + 4 * 5 + 1]), eight->LogPal.palPalEntry[5].peGreen);
    EXPECT_EQ(uint8_t(bytes[4 + 4 * 5 + 3]), 4);

    // Into the same picture: nothing changes.
    const auto before = state(eight.get());
    ASSERT_EQ(loadpal(eight.get(), file, {}), PaletteOutcome::Done);
    EXPECT_EQ(state(eight.get()), before);

    // Into another 8-bit picture: its colours change, its indices stay.
    DibGuard other(testutil::patternImage(5, 5, 8, 9));
    const auto indices = testutil::pixelValues(other.get());
    ASSERT_EQ(loadpal(other.get(), file, {}), PaletteOutcome::Done);
    EXPECT_EQ(testutil::pixelValues(other.get()), indices);
    EXPECT_EQ(std::memcmp(other->LogPal.palPalEntry, eight->LogPal.palPalEntry, 1024), 0);
    EXPECT_EQ(std::memcmp(other->Info->bmiColors, eight->Info->bmiColors, 1024), 0);
    EXPECT_TRUE(messages.shown().empty());

    // A 16-colour palette: a 16-entry file of which only 16 entries count.
    DibGuard four(testutil::patternImage(7, 3, 4, 2));
    ASSERT_EQ(savepal(four.get(), file), PaletteOutcome::Done);
    EXPECT_EQ(testutil::readFile(file).mid(2, 2), QByteArray("\x10\x00", 2));
    testutil::writeFile(file, paletteFile(0x300, 16));
    ASSERT_EQ(loadpal(four.get(), file, {}), PaletteOutcome::Done);
    EXPECT_EQ(four->Info->bmiColors[15].rgbRed, 15);
    EXPECT_EQ(four->Info->bmiColors[15].rgbGreen, 240);
    EXPECT_EQ(four->LogPal.palPalEntry[14].peFlags, 2);

    // 24- and 1-bit pictures have no palette to save: no file, no message.
    for (int bits : {24, 1}) {
        DibGuard picture(testutil::patternImage(3, 3, bits, 1));
        const QString none = dir.filePath(QStringLiteral("keine%1.PAL").arg(bits));
        EXPECT_EQ(savepal(picture.get(), none), PaletteOutcome::Ignored);
        EXPECT_FALSE(QFile::exists(none));
    }
    EXPECT_TRUE(messages.shown().empty());
}

TEST(PaletteFile, BadFilesAreRefusedAndChangeNothing)
{
    QTemporaryDir dir;
    const QString loadError = QString::fromUtf8("Fehler beim Laden der Palette!");
    const QString mismatch = QString::fromUtf8("Palette paßt nicht zum Bild oder illegale Palette!");
    const QString illegal = QString::fromUtf8("Illegale Palette!");
    struct Case {
        const char* what;
        QByteArray bytes; // empty: no file
        int bits;
        QString loadpalText, loadpal0Text;
    } const cases[] = {
        {"missing file", {}, 8, loadError, loadError},
        {"one byte short", paletteFile(0x300, 256).left(1027), 8, loadError, loadError},
        {"wrong version", paletteFile(0x301, 256), 8, mismatch, illegal},
        {"count 17", paletteFile(0x300, 17), 8, mismatch, illegal},
        {"256 entries for 16 colours", paletteFile(0x300, 256), 4, mismatch, {}},
        {"a 24-bit picture", paletteFile(0x300, 256), 24, mismatch, {}},
    };
    for (const auto& c : cases) {
        const QString file = dir.filePath(QString::fromLatin1(c.what) + ".PAL");
        if (!c.bytes.isEmpty())
            testutil::writeFile(file, c.bytes);
        DibGuard picture(testutil::patternImage(6, 4, c.bits, 5));
        const auto before = state(picture.get());
        MessageBoxScript messages;
        const PaletteOutcome outcome = loadpal(picture.get(), file, {});
        EXPECT_TRUE(messages.shown().empty()) << c.what; // the caller tells
        EXPECT_NE(outcome, PaletteOutcome::Done) << c.what;
        show(messagesFor(outcome));
        EXPECT_EQ(messages.texts(), QStringList{c.loadpalText}) << c.what;
        ASSERT_FALSE(messages.shown().empty());
        EXPECT_EQ(messages.shown()[0].icon, MsgIcon::Error);
        EXPECT_EQ(state(picture.get()), before) << c.what;
        if (c.loadpal0Text.isEmpty())
            continue;
        messages.clear();
        FilterContext context;
        bool asked = false;
        const PaletteOutcome outcome0 = loadpal0(picture.get(), file, context, [&asked] { return asked = true; });
        EXPECT_FALSE(asked) << c.what;
        EXPECT_NE(outcome0, PaletteOutcome::Done) << c.what;
        show(messagesFor(outcome0));
        EXPECT_EQ(messages.texts(), QStringList{c.loadpal0Text}) << c.what;
        EXPECT_EQ(state(picture.get()), before) << c.what;
    }

    // A file that cannot be written.
    DibGuard eight(testutil::patternImage(3, 3, 8, 1));
    MessageBoxScript messages;
    const PaletteOutcome outcome = savepal(eight.get(), dir.filePath("fehlt/bild.PAL"));
    EXPECT_EQ(outcome, PaletteOutcome::CannotSave);
    EXPECT_TRUE(messages.shown().empty());
    show(messagesFor(outcome));
    EXPECT_EQ(messages.texts(), QStringList{QString::fromUtf8("Fehler beim Speichern der Palette!")});
}

TEST(PaletteFile, LoadingAndConvertingToAPalette)
{
    QTemporaryDir dir;
    const QString file16 = dir.filePath("sechzehn.PAL");
    const QString file256 = dir.filePath("voll.PAL");
    testutil::writeFile(file16, paletteFile(0x300, 16));
    testutil::writeFile(file256, paletteFile(0x300, 256));
    platform::LOGPALETTE256 p16{};
    ASSERT_TRUE(parsePaletteFile(paletteFile(0x300, 16), p16));
    const std::span<const PALETTEENTRY> entries16(p16.palPalEntry, 16);

    // No: a 24-bit picture (odd width, so the last byte holds one pixel)
    // becomes 4 bits, every pixel the nearest of the 16 colours.
    DibGuard photo(testutil::patternImage(11, 6, 24, 4));
    DibGuard photoCopy(MakeDIBCopy(photo.get()));
    FilterContext context;
    context.Col1 = 3;
    MessageBoxScript messages;
    messages.answer(MsgAnswer::No);
    ASSERT_EQ(loadpal0(photo.get(), file16, context, askDither), PaletteOutcome::Done);
    ASSERT_EQ(messages.shown().size(), 1u);
    const auto& question = messages.shown()[0];
    EXPECT_EQ(question.text,
              QString::fromUtf8("Wollen Sie das Bild durch Floyd-Steinberg Fehlerverteilung (Dithering) anpassen?"));
    EXPECT_EQ(question.caption, QString::fromUtf8("Farbpalette laden?"));
    EXPECT_EQ(question.icon, MsgIcon::Question);
    EXPECT_EQ(question.buttons, platform::MsgButtons::YesNo);
    ASSERT_EQ(DibBitCount(photo.get()), 4);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 11; ++x) {
            const uint32_t v = getpixel(photoCopy.get(), x, y);
            ASSERT_EQ(getpixel(photo.get(), x, y), uint32_t(nearestEntry(entries16, v & 255, (v >> 8) & 255, v >> 16)))
                << x << ", " << y;
        }
    EXPECT_EQ(photo->Info->bmiColors[15].rgbGreen, 240);
    EXPECT_EQ(context.Col1, 0u);
    EXPECT_EQ(context.Col2, 15u);

    // Yes: the error diffusion into the file's palette.
    DibGuard dithered(MakeDIBCopy(photoCopy.get()));
    messages.answer(MsgAnswer::Yes);
    ASSERT_EQ(loadpal0(dithered.get(), file256, context, askDither), PaletteOutcome::Done);
    DibGuard expected;
    newdib(expected.out(), 11, 6, 8, nullptr, 0);
    for (int i = 0; i < 256; ++i)
        setPaletteEntry(expected.get(), i, uint8_t(i), uint8_t(255 - i), uint8_t(i / 2));
    refreshPalette(expected.get());
    FloydSteinberg(photoCopy.get(), expected.get());
    EXPECT_EQ(testutil::pixelValues(dithered.get()), testutil::pixelValues(expected.get()));
    EXPECT_EQ(context.Col2, 255u);

    // A 1-bit picture, whatever its colours, is taken as black and white:
    // among mid greys with white at entry 4 and black at entry 9, set pixels
    // go to entry 4 and clear ones to entry 9.
    QByteArray ramp = paletteFile(0x300, 16);
    for (int i = 0; i < 16; ++i)
        ramp[4 + 4 * i] = ramp[5 + 4 * i] = ramp[6 + 4 * i] = char(i == 4 ? 255 : i == 9 ? 0 : 100 + 3 * i);
    testutil::writeFile(file16, ramp);
    DibGuard one(testutil::patternImage(10, 3, 1, 6));
    const auto bits = testutil::pixelValues(one.get());
    messages.answer(MsgAnswer::No);
    ASSERT_EQ(loadpal0(one.get(), file16, context, askDither), PaletteOutcome::Done);
    for (size_t i = 0; i < bits.size(); ++i)
        ASSERT_EQ(testutil::pixelValues(one.get())[i], bits[i] ? 4u : 9u) << i;
}

TEST(PaletteFile, CountColours)
{
    FilterContext context;
    DibGuard flat;
    newdib(flat.out(), 20, 10, 24, nullptr, 0);
    recht_filled(flat.get(), 0, 0, 19, 9, platform::RGB(1, 2, 3));
    EXPECT_EQ(CountColors(flat.get(), context).count, 1);
    // Colours that differ in one channel only are told apart.
    setpixel(flat.get(), 3, 3, platform::RGB(1, 2, 4));
    setpixel(flat.get(), 4, 4, platform::RGB(2, 2, 3));
    setpixel(flat.get(), 5, 5, platform::RGB(3, 2, 1));
    EXPECT_EQ(CountColors(flat.get(), context).count, 4);

    // Two equal entries, both used, count twice; indices unused do not count.
    DibGuard eight;
    newdib(eight.out(), 4, 2, 8, nullptr, 0);
    setPaletteEntry(eight.get(), 7, 9, 9, 9);
    setPaletteEntry(eight.get(), 8, 9, 9, 9);
    refreshPalette(eight.get());
    for (int x = 0; x < 4; ++x) {
        setpixel(eight.get(), x, 0, 7);
        setpixel(eight.get(), x, 1, 8);
    }
    EXPECT_EQ(CountColors(eight.get(), context).count, 2);

    // With a selection only selected pixels count.
    DibGuard mask;
    newdib(mask.out(), 20, 10, 1, nullptr, 0);
    setpixel(mask.get(), 3, 3, 1);
    setpixel(mask.get(), 9, 9, 1);
    context.selection = {true, mask.get(), 3, 3, 9, 9};
    EXPECT_EQ(CountColors(flat.get(), context).count, 2);
    EXPECT_FALSE(CountColors(flat.get(), context).noMemory);

    EXPECT_EQ(countColorsText(2, true), QString::fromUtf8("Es werden 2 Farben in der aktuellen Auswahl benutzt."));
    EXPECT_EQ(countColorsText(1, false), QString::fromUtf8("Es werden 1 Farben im Bild benutzt."));
    EXPECT_EQ(countColorsText(0, false),
              QString::fromUtf8("Die Anzahl der benutzten Farben konnte nicht ermittelt werden..."));
    MessageBoxScript messages;
    show(messagesFor(ColourCount{5, false}, false));
    show(messagesFor(ColourCount{0, false}, true));
    ASSERT_EQ(messages.shown().size(), 2u);
    EXPECT_EQ(messages.shown()[0].caption, QString::fromUtf8("Benutzte Farben"));
    EXPECT_EQ(messages.shown()[0].icon, MsgIcon::Information);
    EXPECT_EQ(messages.shown()[1].icon, MsgIcon::Error);
}

