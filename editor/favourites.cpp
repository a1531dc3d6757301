#include "editor/favourites.h"

#include "platform/textcodec.h"

#include <QFile>
#include <QSaveFile>

namespace editor {

void Favourites::load()
{
    m_folders.clear();
    QFile file(m_file);
    if (m_file.isEmpty() || !file.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = file.readAll();
    // Lines end with CR LF; a last line without its end still counts, and
    // a lone LF ends a line as well.
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', start);
        const bool last = end < 0;
        if (last)
            end = bytes.size();
        QByteArray line = bytes.mid(start, end - start);
        if (line.endsWith('\r'))
            line.chop(1);
        m_folders.append(platform::decodeFileText(line));
        start = end + 1;
    }
}

void Favourites::AddToPrefFolders(const QString& folder)
{
    const qsizetype at = m_folders.indexOf(folder);
    if (at >= 0)
        m_folders.removeAt(at);
    m_folders.prepend(folder);
    save();
}

bool Favourites::save() const
{
    if (m_file.isEmpty())
        return false;
    QByteArray bytes;
    for (const QString& folder : m_folders)
        bytes += platform::encodeFileText(folder) + "\r\n";
    // A complete new file or the old one: never half a list.
    QSaveFile file(m_file);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace editor
