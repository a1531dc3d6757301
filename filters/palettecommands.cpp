// lumivox-tool's names for the palette commands:
//   savepal FILE.PAL          the palette of a 16- or 256-colour picture
//   loadpal FILE.PAL          a palette of the picture's size, indices kept
//   loadpal0 FILE.PAL dither|nodither   the picture converted to the palette
//   CountColors               prints the count of colours used
// The messages the editor would show become the error text.

#include "filters/filtercommand.h"
#include "filters/palfile.h"
#include "platform/msgbox.h"

namespace filters {

namespace {

bool oneFile(const QStringList& args, int count, QString& error)
{
    if (args.size() == count && !args[0].isEmpty())
        return true;
    error = count == 1 ? QStringLiteral("Fehler: Eine Palettendatei erwartet!")
                       : QStringLiteral("Fehler: Eine Palettendatei und dither oder nodither erwartet!");
    return false;
}

QString runSavepal(const QStringList& args, raster::DibGuard& image, CommandContext&)
{
    QString error;
    if (!oneFile(args, 1, error))
        return error;
    platform::MessageBoxScript messages;
    savepal(image.get(), args[0]);
    return errorTexts(messages);
}

QString runLoadpal(const QStringList& args, raster::DibGuard& image, CommandContext& context)
{
    QString error;
    if (!oneFile(args, 1, error))
        return error;
    platform::MessageBoxScript messages;
    loadpal(image.get(), args[0], context);
    return errorTexts(messages);
}

QString runLoadpal0(const QStringList& args, raster::DibGuard& image, CommandContext& context)
{
    QString error;
    if (!oneFile(args, 2, error))
        return error;
    const bool dither = args[1] == QLatin1String("dither");
    if (!dither && args[1] != QLatin1String("nodither"))
        return QStringLiteral("Fehler: Argument 2 muss dither oder nodither sein!");
    platform::MessageBoxScript messages;
    messages.answer(dither ? platform::MsgAnswer::Yes : platform::MsgAnswer::No);
    loadpal0(image.get(), args[0], context);
    return errorTexts(messages);
}

QString reportCountColors(const QStringList& args, raster::DibGuard& image, CommandContext& context, QString& output)
{
    if (!args.isEmpty())
        return QStringLiteral("Fehler: Keine Argumente erwartet!");
    platform::MessageBoxScript messages;
    const int32_t count = CountColors(image.get(), context);
    const QString text = countColorsText(count, context.selection.HasSelection);
    if (count <= 0) {
        const QString shown = errorTexts(messages);
        return shown.isEmpty() ? text : shown + QLatin1Char('\n') + text;
    }
    output = text;
    return {};
}

QString runCountColors(const QStringList& args, raster::DibGuard& image, CommandContext& context)
{
    QString output;
    return reportCountColors(args, image, context, output);
}

} // namespace

std::vector<FilterCommand> paletteCommands()
{
    return {
        {"savepal", "DATEI.PAL", runSavepal},
        {"loadpal", "DATEI.PAL", runLoadpal},
        {"loadpal0", "DATEI.PAL dither|nodither", runLoadpal0},
        {"CountColors", "(gibt die Anzahl der benutzten Farben aus)", runCountColors, reportCountColors},
    };
}

} // namespace filters
