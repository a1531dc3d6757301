// lumivox-tool's names for the palette commands:
//   savepal FILE.PAL          the palette of a 16- or 256-colour picture
//   loadpal FILE.PAL          a palette of the picture's size, indices kept
//   loadpal0 FILE.PAL dither|nodither   the picture converted to the palette
//   CountColors               prints the count of colours used
// The messages the editor would show become the error text.

#include "tools/filtercommand.h"

#include "filters/palfile.h"

namespace tool {

using namespace filters;

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
    return errorText(messagesFor(savepal(image.get(), args[0])));
}

QString runLoadpal(const QStringList& args, raster::DibGuard& image, CommandContext& context)
{
    QString error;
    if (!oneFile(args, 1, error))
        return error;
    return errorText(messagesFor(loadpal(image.get(), args[0], context)));
}

QString runLoadpal0(const QStringList& args, raster::DibGuard& image, CommandContext& context)
{
    QString error;
    if (!oneFile(args, 2, error))
        return error;
    const bool dither = args[1] == QLatin1String("dither");
    if (!dither && args[1] != QLatin1String("nodither"))
        return QStringLiteral("Fehler: Argument 2 muss dither oder nodither sein!");
    // The question the editor asks is answered by the command line.
    return errorText(messagesFor(loadpal0(image.get(), args[0], context, [dither] { return dither; })));
}

QString reportCountColors(const QStringList& args, raster::DibGuard& image, CommandContext& context, QString& output)
{
    if (!args.isEmpty())
        return QStringLiteral("Fehler: Keine Argumente erwartet!");
    const Messages messages = messagesFor(CountColors(image.get(), context), context.selection.HasSelection);
    const QString error = errorText(messages);
    if (error.isEmpty())
        output = messages.back().text;
    return error;
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

} // namespace tool
