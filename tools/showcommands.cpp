#include "tools/commands.h"

namespace tool {

int showInfo(const QStringList&)
{
    return fail(QStringLiteral("Fehler: Shows werden noch nicht gelesen!"));
}

int resave(const QStringList&)
{
    return fail(QStringLiteral("Fehler: Shows werden noch nicht gelesen!"));
}

} // namespace tool
