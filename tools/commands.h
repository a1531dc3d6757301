#pragma once
// The subcommands of lumivox-tool, one file each, and what they share.

#include <QString>
#include <QStringList>

namespace tool {

// Prints text on stderr and returns the exit status 1 (these three in
// picturecommands.cpp).
int fail(const QString& text);
// Prints the usage text and returns 1.
int usage();
// Reads the integer after args[i] (advancing i); false when missing or not a number.
bool intOption(const QStringList& args, int& i, int& value);

// The picture commands (picturecommands.cpp).
int convert(const QStringList& args);
int pictureInfo(const QStringList& args);
// The pixel algorithms by name (filtercommand.cpp, the groups in
// *commands.cpp).
int filter(const QStringList& args);

// The show commands (showcommands.cpp).
int showInfo(const QStringList& args);
int resave(const QStringList& args);
// A file name given on the command line as a full path: relative names are
// taken from the working folder, as on any command line (a show file's bare
// name alone would mean the program's folder).
QString fromCommandLine(const QString& name);

// Adding pictures to a show (addcommand.cpp).
int addPictures(const QStringList& args);

// The transition frame (fxcommand.cpp).
int fx(const QStringList& args);
// One screen of a show (rendercommand.cpp).
int render(const QStringList& args);

} // namespace tool
