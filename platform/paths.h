#pragma once
// Splitting file names. "/" is the separator we write; "\" is accepted as
// well, so names stored by the Windows program split the same way.

#include <QString>

namespace platform {

constexpr QChar PathDelim = QChar('/');

bool isPathDelimiter(QChar c);
// The folder part up to and including the last separator ("" if none).
QString ExtractFilePath(const QString& fileName);
// The part after the last separator.
QString ExtractFileName(const QString& fileName);
// The extension with its dot (".jpg"), or "" when the name part has none.
QString ExtractFileExt(const QString& fileName);
// The name with its extension replaced by ext (which carries its own dot).
QString ChangeFileExt(const QString& fileName, const QString& ext);
// The folder with a trailing separator ("" stays "").
QString IncludeTrailingPathDelimiter(const QString& folder);
// The name with every "\" turned into "/".
QString toNativeSeparators(const QString& fileName);

} // namespace platform

namespace platform {

// Where the program keeps a file it writes (the favourite folders, the user
// filters): its own folder when that folder can be written, otherwise the
// user's data folder (created when missing). programFolder carries a
// trailing separator.
QString WritableDataFile(const QString& programFolder, const QString& name);
// The same choice with the program folder's writability given.
QString WritableDataFile(const QString& programFolder, const QString& name, bool programFolderWritable);

} // namespace platform
