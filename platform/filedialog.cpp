#include "platform/filedialog.h"

#include "platform/paths.h"

#include <QFileDialog>
#include <QFileInfo>

namespace platform {

namespace {
FileDialogScript* g_script = nullptr;

// A chosen name without an extension gets the default one.
QString withDefaultExt(const QString& file, const QString& defaultExt)
{
    if (defaultExt.isEmpty() || !ExtractFileExt(file).isEmpty())
        return file;
    return file + QChar('.') + defaultExt;
}
} // namespace

QStringList qtNameFilters(const QString& filter)
{
    if (!filter.contains(QChar('|')))
        return filter.isEmpty() ? QStringList() : filter.split(QStringLiteral(";;"));
    const QStringList parts = filter.split(QChar('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList masks = parts[i + 1].split(QChar(';'), Qt::SkipEmptyParts);
        for (QString& mask : masks)
            mask = mask.trimmed();
        QString text = parts[i];
        // A description that already names its masks keeps its own text.
        if (!text.contains(QChar('(')))
            text += QStringLiteral(" (") + masks.join(QChar(' ')) + QChar(')');
        else
            text = text.left(text.indexOf(QChar('('))).trimmed() + QStringLiteral(" (") + masks.join(QChar(' ')) + QChar(')');
        filters << text;
    }
    return filters;
}

FileDialogScript::FileDialogScript() : m_previous(g_script)
{
    g_script = this;
}

FileDialogScript::~FileDialogScript()
{
    g_script = m_previous;
}

QStringList runFileDialog(QWidget* parent, FileDialogKind kind, const FileDialogOptions& options)
{
    QStringList files;
    if (g_script) {
        g_script->m_shown.push_back({kind, options});
        if (!g_script->m_answers.empty()) {
            files = g_script->m_answers.front();
            g_script->m_answers.pop_front();
        }
    } else {
        QFileDialog dialog(parent, options.caption, options.folder);
        dialog.setNameFilters(qtNameFilters(options.filter));
        if (!options.defaultExt.isEmpty())
            dialog.setDefaultSuffix(options.defaultExt);
        switch (kind) {
        case FileDialogKind::Open: dialog.setFileMode(QFileDialog::ExistingFile); break;
        case FileDialogKind::OpenMany: dialog.setFileMode(QFileDialog::ExistingFiles); break;
        case FileDialogKind::Save:
            dialog.setFileMode(QFileDialog::AnyFile);
            dialog.setAcceptMode(QFileDialog::AcceptSave);
            break;
        }
        if (dialog.exec() == QDialog::Accepted)
            files = dialog.selectedFiles();
    }
    if (kind == FileDialogKind::Save) {
        for (QString& file : files)
            file = withDefaultExt(file, options.defaultExt);
    }
    if (kind != FileDialogKind::OpenMany && files.size() > 1)
        files = files.mid(0, 1);
    return files;
}

QString GetOpenFileName(QWidget* parent, const FileDialogOptions& options)
{
    const QStringList files = runFileDialog(parent, FileDialogKind::Open, options);
    return files.isEmpty() ? QString() : files.constFirst();
}

QStringList GetOpenFileNames(QWidget* parent, const FileDialogOptions& options)
{
    return runFileDialog(parent, FileDialogKind::OpenMany, options);
}

QString GetSaveFileName(QWidget* parent, const FileDialogOptions& options)
{
    const QStringList files = runFileDialog(parent, FileDialogKind::Save, options);
    return files.isEmpty() ? QString() : files.constFirst();
}

} // namespace platform
