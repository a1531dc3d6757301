#include "filters/filtercommand.h"

namespace filters {

std::vector<FilterCommand> allFilterCommands()
{
    std::vector<FilterCommand> all;
    for (auto group : {convolutionCommands, colourCommands, geometryCommands}) {
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

} // namespace filters
