#include "filters/filtercommand.h"

namespace filters {

std::vector<FilterCommand> allFilterCommands()
{
    std::vector<FilterCommand> all;
    for (auto group : {convolutionCommands, colourCommands, geometryCommands, depthCommands, effectCommands,
                       paletteCommands}) {
        const auto commands = group();
        all.insert(all.end(), commands.begin(), commands.end());
    }
    return all;
}

bool intArg(const QStringList& args, int index, int& value, QString& error)
{
    bool ok = false;
    if (index < args.size())
        value = args[index].toInt(&ok);
    if (!ok)
        error = QStringLiteral("Fehler: Argument %1 muss eine ganze Zahl sein!").arg(index + 1);
    return ok;
}

bool doubleArg(const QStringList& args, int index, double& value, QString& error)
{
    bool ok = false;
    if (index < args.size())
        value = args[index].toDouble(&ok);
    if (!ok)
        error = QStringLiteral("Fehler: Argument %1 muss eine Zahl sein!").arg(index + 1);
    return ok;
}

bool rangeArg(const QStringList& args, int index, int lo, int hi, int& value, QString& error)
{
    if (!intArg(args, index, value, error))
        return false;
    if (value < lo || value > hi) {
        error = QStringLiteral("Fehler: Argument %1 muss zwischen %2 und %3 liegen!").arg(index + 1).arg(lo).arg(hi);
        return false;
    }
    return true;
}

bool doubleRangeArg(const QStringList& args, int index, double lo, double hi, double& value, QString& error)
{
    return doubleArg(args, index, value, error) && checkRange(value, index, lo, hi, error);
}

bool checkRange(double value, int index, double lo, double hi, QString& error)
{
    if (value >= lo && value <= hi)
        return true;
    error = QStringLiteral("Fehler: Argument %1 muss zwischen %2 und %3 liegen!")
                .arg(index + 1)
                .arg(QString::number(lo), QString::number(hi));
    return false;
}

bool countArgs(const QStringList& args, int least, int most, QString& error)
{
    if (args.size() >= least && args.size() <= most)
        return true;
    if (most == 0)
        error = QStringLiteral("Fehler: Keine Argumente erwartet!");
    else if (least == most)
        error = QStringLiteral("Fehler: %1 Argument(e) erwartet!").arg(least);
    else
        error = QStringLiteral("Fehler: %1 bis %2 Argumente erwartet!").arg(least).arg(most);
    return false;
}

QString errorText(const Messages& messages)
{
    QStringList texts;
    for (const Message& m : messages) {
        if (m.icon == platform::MsgIcon::Error)
            texts << m.text;
    }
    return texts.join(QLatin1Char('\n'));
}

} // namespace filters
