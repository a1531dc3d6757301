#include "filters/filtercommand.h"

namespace filters {

std::vector<FilterCommand> geometryCommands()
{
    return {};
}

} // namespace filters
