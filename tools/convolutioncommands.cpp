#include "tools/filtercommand.h"

#include "filters/convolve.h"

namespace tool {

using namespace filters;

namespace {

// The record an argument names: a menu item ("Soften1"), a retouch effect
// ("effect:5") or record N of a user filter file ("user:FILE:N"), both
// counted from 0.
bool recordOf(const QString& arg, TFilterRecord& record, bool& invertAfter, QString& error)
{
    invertAfter = false;
    if (const BuiltInFilter* builtIn = findBuiltInFilter(arg)) {
        record = builtIn->record;
        invertAfter = builtIn->invertAfter;
        return true;
    }
    bool ok = false;
    if (arg.startsWith(QLatin1String("effect:"))) {
        const auto effects = retouchEffects();
        const int index = arg.mid(7).toInt(&ok);
        if (!ok || index < 0 || size_t(index) >= effects.size()) {
            error = QStringLiteral("Fehler: Effekt %1 gibt es nicht (0..%2)!").arg(arg.mid(7)).arg(effects.size() - 1);
            return false;
        }
        record = effects[size_t(index)];
        return true;
    }
    const int colon = arg.lastIndexOf(QLatin1Char(':'));
    if (arg.startsWith(QLatin1String("user:")) && colon > 5) {
        const QString file = arg.mid(5, colon - 5);
        const auto records = readUserFilters(file);
        const int index = arg.mid(colon + 1).toInt(&ok);
        if (!ok || index < 0 || size_t(index) >= records.size()) {
            error = QStringLiteral("Fehler: %1 enthält keinen Filter %2!").arg(file, arg.mid(colon + 1));
            return false;
        }
        record = records[size_t(index)];
        return true;
    }
    error = QStringLiteral("Fehler: Unbekannter Filter %1!").arg(arg);
    return false;
}

QString runDibFilter(const QStringList& args, raster::DibGuard& image, CommandContext& context)
{
    if (args.size() != 1)
        return QStringLiteral("Fehler: DibFilter erwartet genau ein Argument!");
    TFilterRecord record;
    bool invertAfter = false;
    QString error;
    if (!recordOf(args[0], record, invertAfter, error))
        return error;
    const BuiltInFilter filter{"", "", record, invertAfter};
    return errorText(messagesFor(applyBuiltInFilter(image.get(), filter, context)));
}

} // namespace

std::vector<FilterCommand> convolutionCommands()
{
    return {
        {"DibFilter", "FILTER (Menüpunkt: Eckenhervorheben1, Eckenfinden1, HorizontaleEckenfinden1, "
                      "VertikaleEckenfinden1, Konturenzeichnen1, SchwachWeichzeichnen1, Soften1, StarkSoften1, "
                      "Sharpen1, StarkSchrfen1, Emboss1, EmbossVertikal1; effect:0..13; user:DATEI:N)",
         runDibFilter},
    };
}

} // namespace tool
