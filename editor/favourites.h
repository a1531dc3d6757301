#pragma once
// The favourite folders: the folders pictures were last taken from, most
// recent first, kept in "folders.dat" (one folder per line, each ended by
// CR LF, in list order). Entries are compared as exact strings, so the same
// folder written in another case is another entry.

#include <QString>
#include <QStringList>

namespace editor {

class Favourites {
public:
    // file: the full name of folders.dat.
    explicit Favourites(QString file = QString()) : m_file(std::move(file)) {}

    const QString& file() const { return m_file; }
    const QStringList& folders() const { return m_folders; }

    // Reads the file; a missing or unreadable file leaves the list empty.
    // Every line is an entry, an empty line an empty entry.
    void load();
    // Moves folder to the top (inserting it when new) and rewrites the file.
    void AddToPrefFolders(const QString& folder);
    // Rewrites the file completely; when it cannot be written nothing is
    // written and nothing is reported. False then.
    bool save() const;

private:
    QString m_file;
    QStringList m_folders;
};

} // namespace editor
