#pragma once
// The common file dialogs (open one file, open several, save), taking the
// filters in the form the programs give them ("Lumivox-Dateien|*.sli",
// pairs of description and masks separated by "|"). A default extension
// is added to a chosen name that has none. The save dialog asks before an
// existing file is overwritten.
//
// Tests install a FileDialogScript: the dialogs are then recorded instead
// of shown and answered from the script's queue (Cancel when it is empty).

#include <QString>
#include <QStringList>

#include <deque>
#include <vector>

class QWidget;

namespace platform {

struct FileDialogOptions {
    QString caption;
    QString folder;        // where the dialog starts; "" for the last one
    QString filter;        // "Text|*.a;*.b|Text|*.c"
    QString defaultExt;    // without its dot; "" for none
};

// The chosen file, or "" on Cancel.
QString GetOpenFileName(QWidget* parent, const FileDialogOptions& options);
// The chosen files in the order the dialog gives them; empty on Cancel.
QStringList GetOpenFileNames(QWidget* parent, const FileDialogOptions& options);
QString GetSaveFileName(QWidget* parent, const FileDialogOptions& options);

// "Text|*.a;*.b" as Qt's name filters: "Text (*.a *.b)". A filter that is
// already in Qt's form is taken as it is.
QStringList qtNameFilters(const QString& filter);

enum class FileDialogKind { Open, OpenMany, Save };

struct ShownFileDialog {
    FileDialogKind kind;
    FileDialogOptions options;
};

class FileDialogScript {
public:
    FileDialogScript();
    ~FileDialogScript();
    FileDialogScript(const FileDialogScript&) = delete;
    FileDialogScript& operator=(const FileDialogScript&) = delete;

    // Queues the files chosen in the next dialog; an empty list is Cancel.
    void choose(const QStringList& files) { m_answers.push_back(files); }
    void choose(const QString& file) { m_answers.push_back(QStringList{file}); }
    void cancel() { m_answers.push_back({}); }
    const std::vector<ShownFileDialog>& shown() const { return m_shown; }

private:
    friend QStringList runFileDialog(QWidget*, FileDialogKind, const FileDialogOptions&);
    std::deque<QStringList> m_answers;
    std::vector<ShownFileDialog> m_shown;
    FileDialogScript* m_previous = nullptr;
};

} // namespace platform
