#include "tools/commands.h"

namespace tool {

int fx(const QStringList&)
{
    return fail(QStringLiteral("Fehler: fx ist noch nicht verfügbar!"));
}

} // namespace tool
