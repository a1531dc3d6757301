#pragma once
// lumivox-tool filter: the pixel algorithms by name, with their arguments
// as text. Each group of algorithms lists its own commands (one file each,
// tools/*commands.cpp); allFilterCommands() joins them.

#include "filters/messages.h"
#include "filters/selection.h"
#include "raster/dibguard.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

namespace tool {

// What the command line gives a filter besides its words: the document's
// selection and colours, and the generator's seed when --seed was given
// (without one, what the editor seeds from the clock is seeded so here too).
struct CommandContext : filters::FilterContext {
    std::optional<uint32_t> seed;
};

struct FilterCommand {
    const char* name; // the algorithm's name, e.g. "Kontrast"
    const char* args; // its arguments for --list, e.g. "WERT (-100..100)"
    // Runs the algorithm on image (in place, or by replacing it with the new
    // picture). Returns an error text, empty on success.
    QString (*run)(const QStringList& args, raster::DibGuard& image, CommandContext& context);
    // Set for commands whose result is a text rather than a changed picture
    // (CountColors): runs the command like run and fills output with the
    // text lumivox-tool prints. Returns an error text, empty on success.
    QString (*report)(const QStringList& args, raster::DibGuard& image, CommandContext& context,
                      QString& output) = nullptr;
};

std::vector<FilterCommand> allFilterCommands();

// The groups.
std::vector<FilterCommand> convolutionCommands();
std::vector<FilterCommand> colourCommands();
std::vector<FilterCommand> geometryCommands();
std::vector<FilterCommand> depthCommands();
std::vector<FilterCommand> effectCommands();
std::vector<FilterCommand> paletteCommands();

// Argument helpers: parse or fail with a German text. Every number a
// command takes is checked against the range its dialog allows, so the tool
// never runs an algorithm on a value the editor could not pass.
bool intArg(const QStringList& args, int index, int& value, QString& error);
bool doubleArg(const QStringList& args, int index, double& value, QString& error);
// An integer argument within lo..hi.
bool rangeArg(const QStringList& args, int index, int lo, int hi, int& value, QString& error);
// A number argument within lo..hi.
bool doubleRangeArg(const QStringList& args, int index, double lo, double hi, double& value, QString& error);
// value (argument index) within lo..hi; NaN never is.
bool checkRange(double value, int index, double lo, double hi, QString& error);
// least..most arguments (none when both are 0).
bool countArgs(const QStringList& args, int least, int most, QString& error);
// The tool has no windows: the texts of the messages the editor would show
// as errors, one a line, become a command's error text.
QString errorText(const filters::Messages& messages);

} // namespace tool
