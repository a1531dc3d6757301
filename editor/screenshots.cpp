#include "editor/screenshots.h"

#include "editor/mainform.h"

#include <QCoreApplication>
#include <QDir>
#include <QPixmap>
#include <QTabWidget>

namespace editor {

namespace {
QString fileNamePart(QString text)
{
    text.remove(QChar('&'));
    for (QChar& c : text) {
        if (!c.isLetterOrNumber())
            c = QChar('_');
    }
    return text;
}
} // namespace

int SaveScreenshots(TMainForm& form, const QString& folder)
{
    QDir().mkpath(folder);
    auto* tabs = form.findChild<QTabWidget*>(QStringLiteral("MainPages"));
    if (!tabs)
        return 0;
    int written = 0;
    for (int i = 0; i < tabs->count(); ++i) {
        tabs->setCurrentIndex(i);
        auto* pages = qobject_cast<QTabWidget*>(tabs->widget(i));
        const int pageCount = pages ? pages->count() : 1;
        for (int k = 0; k < pageCount; ++k) {
            if (pages)
                pages->setCurrentIndex(k);
            QCoreApplication::processEvents();
            const QString name = QStringLiteral("editor-%1-%2-%3.png")
                                     .arg(written + 1, 2, 10, QChar('0'))
                                     .arg(fileNamePart(tabs->tabText(i)),
                                          pages ? fileNamePart(pages->tabText(k)) : QString());
            if (form.grab().save(QDir(folder).filePath(name)))
                ++written;
        }
    }
    tabs->setCurrentIndex(0);
    if (auto* pages = qobject_cast<QTabWidget*>(tabs->widget(0)))
        pages->setCurrentIndex(0);
    return written;
}

} // namespace editor
