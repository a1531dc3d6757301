#include "filters/filtercommand.h"

namespace filters {

std::vector<FilterCommand> convolutionCommands()
{
    return {};
}

} // namespace filters
