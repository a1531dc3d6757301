#pragma once
// The player's main window: an open button and a status bar with the load
// progress. It owns the loaded show and plays it through the show window;
// once a show has been played the program ends.

#include "show/progresspanel.h"
#include "show/showform.h"
#include "show/slide.h"

#include <QMainWindow>
#include <QString>
#include <QStringList>

class QFileDialog;
class QLabel;
class QStatusBar;
class QToolButton;

namespace player {

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    // arguments: the program's command-line arguments after its name.
    explicit TMainForm(const QStringList& arguments, QWidget* parent = nullptr);
    ~TMainForm() override;

    // Reads a show file into the player's fields; false (with the reader's
    // message shown) when it could not be read.
    bool OpenFile(const QString& path);
    void Setsavedfilename(const QString& path);
    // Plays the loaded show; after a played show the program ends.
    void GoBtn1Click();
    void OpenBtnClick();
    void SetProStatus(int percent);

    show::ShowDocument& document() { return m_show; }
    show::TShowForm* ShowForm() const { return m_showForm; }
    const QString& ProgramFolder() const { return m_programFolder; }
    int ProStatus() const;
    // Whether a show was played (the program is then ending).
    bool Played() const { return m_played; }

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    void FormShow();

    QStringList m_arguments;
    QString m_programFolder;
    show::ShowDocument m_show;
    QString m_showFileName;
    bool m_openedOnce = false;
    bool m_played = false;

    QToolButton* OpenBtn = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QLabel* m_textPanel = nullptr;
    show::ProgressPanel* m_progressPanel = nullptr;
    QFileDialog* OpenDialog = nullptr;
    show::TShowForm* m_showForm = nullptr;
};

} // namespace player
