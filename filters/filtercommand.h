#pragma once
// The pixel algorithms by name, with their arguments as text, for
// lumivox-tool's filter command. Each group of algorithms lists its own
// commands; allFilterCommands() joins them.

#include "filters/selection.h"
#include "raster/dibguard.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace filters {

struct FilterCommand {
    const char* name; // the algorithm's name, e.g. "Kontrast"
    const char* args; // its arguments for --list, e.g. "WERT (-100..100)"
    // Runs the algorithm on image (in place, or by replacing it with the new
    // picture). Returns an error text, empty on success.
    QString (*run)(const QStringList& args, raster::DibGuard& image, FilterContext& context);
};

std::vector<FilterCommand> allFilterCommands();

// The groups.
std::vector<FilterCommand> convolutionCommands();
std::vector<FilterCommand> colourCommands();
std::vector<FilterCommand> geometryCommands();

// Argument helpers: parse or fail with a German text.
bool intArg(const QStringList& args, int index, int& value, QString& error);
bool doubleArg(const QStringList& args, int index, double& value, QString& error);

} // namespace filters
