#include "filters/filtercommand.h"

namespace filters {

std::vector<FilterCommand> colourCommands()
{
    return {};
}

} // namespace filters
