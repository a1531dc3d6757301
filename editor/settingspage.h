#pragma once
// The page "Bild Einstellungen" of the tab "Dias": the list of slides with
// their settings and the slide preview. For now it holds the button that
// adds pictures through the multi-file open dialog.

#include <QWidget>

class QToolButton;

namespace editor {

class SettingsPage : public QWidget {
    Q_OBJECT
public:
    explicit SettingsPage(QWidget* parent);

signals:
    // AddFilesBtn: the main window asks for the files and adds them.
    void AddFilesBtnClicked();

private:
    QToolButton* AddFilesBtn = nullptr;
};

} // namespace editor
