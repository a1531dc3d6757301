#include "platform/paths.h"

#include "platform/settings.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace platform {

namespace {
qsizetype lastDelimiter(const QString& name)
{
    for (qsizetype i = name.size() - 1; i >= 0; --i) {
        if (isPathDelimiter(name[i]))
            return i;
    }
    return -1;
}

qsizetype extensionStart(const QString& name)
{
    for (qsizetype i = name.size() - 1; i >= 0; --i) {
        if (name[i] == QChar('.'))
            return i;
        if (isPathDelimiter(name[i]))
            break;
    }
    return -1;
}
} // namespace

bool isPathDelimiter(QChar c)
{
    return c == QChar('/') || c == QChar('\\');
}

QString ExtractFilePath(const QString& fileName)
{
    return fileName.left(lastDelimiter(fileName) + 1);
}

QString ExtractFileName(const QString& fileName)
{
    return fileName.mid(lastDelimiter(fileName) + 1);
}

QString ExtractFileExt(const QString& fileName)
{
    const qsizetype dot = extensionStart(fileName);
    return dot < 0 ? QString() : fileName.mid(dot);
}

QString ChangeFileExt(const QString& fileName, const QString& ext)
{
    const qsizetype dot = extensionStart(fileName);
    return (dot < 0 ? fileName : fileName.left(dot)) + ext;
}

QString IncludeTrailingPathDelimiter(const QString& folder)
{
    if (folder.isEmpty() || isPathDelimiter(folder.back()))
        return folder;
    return folder + PathDelim;
}

QString toNativeSeparators(const QString& fileName)
{
    QString result = fileName;
    result.replace(QChar('\\'), PathDelim);
    return result;
}

QString WritableDataFile(const QString& programFolder, const QString& name, bool programFolderWritable)
{
    if (programFolderWritable)
        return IncludeTrailingPathDelimiter(programFolder) + name;
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                           QChar('/') + Settings::organisation() + QChar('/') + Settings::application();
    QDir().mkpath(folder);
    return IncludeTrailingPathDelimiter(folder) + name;
}

QString WritableDataFile(const QString& programFolder, const QString& name)
{
    return WritableDataFile(programFolder, name, QFileInfo(programFolder).isWritable());
}

} // namespace platform
