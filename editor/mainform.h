#pragma once
// The editor's main window: it owns the show (slides, settings, file name),
// offers New, Open, Save and Save as, shows the progress of long work in
// its status bar, and assembles the pages of its three tabs "Bilder",
// "Dias" and "Show". Everything a page does to the show goes through the
// EditorHost calls below.

#include "editor/editorhost.h"
#include "editor/favourites.h"
#include "raster/dibguard.h"
#include "show/intake.h"
#include "show/progresspanel.h"
#include "show/slide.h"

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <QTimer>

class QLabel;
class QStatusBar;
class QTabWidget;
class QToolButton;

namespace show {
class TShowForm;
}

namespace editor {

class AddPicturesPage;
class ReviewPage;
class ScanPage;
class SettingsPage;

class TMainForm : public QMainWindow, public EditorHost {
    Q_OBJECT
public:
    // arguments: the command line after the program's name. programFolder
    // stands for the program's own folder (tests give a folder of their
    // own); "" takes the program's.
    explicit TMainForm(const QStringList& arguments, const QString& programFolder = QString(),
                       QWidget* parent = nullptr);
    ~TMainForm() override;

    // The windows of the start-up list after this one, once.
    void CreateStartupForms();
    const QList<QWidget*>& StartupForms() const { return m_forms; }
    show::TShowForm* ShowForm() const { return m_showForm; }

    // File commands.
    void NewBtnClick();
    void OpenBtnClick();
    void SaveBtnClick();
    void SaveAsBtnClick();
    void EndeBtnClick();
    void ueberbtnClick();
    // Reads a show file into the window; false (the show as it was) when
    // it could not be read.
    bool OpenFile(const QString& path);
    bool SaveFile(const QString& path, bool namesOnly);
    void Setsavedfilename(const QString& path);
    const QString& SavedFileName() const { return m_showFileName; }

    // Pictures in: the one message of the scanner, and the multi-file open
    // dialog of the "Dias" page.
    void WMUser2(intptr_t wParam);
    void AddFilesBtnClick();

    Favourites& favourites() { return m_favourites; }
    bool UpdateGuard() const { return m_updateGuard; }
    int ProStatus() const { return m_progressPanel->percent(); }

    // EditorHost.
    show::ShowDocument& document() override { return m_show; }
    int ReviewIndex() const override { return m_reviewIndex; }
    void SetReviewIndex(int index) override { m_reviewIndex = index; }
    void UpdateListBox() override;
    bool AddFile(const QString& path) override;
    void AddFiles(const QStringList& paths) override;
    void SetStatusText(const QString& text) override;
    void SetProStatus(int percent) override;
    void EditSlidePicture(int index) override;
    void ViewSlidePicture(int index) override;
    void PrintSlidePicture(int index) override;
    QString ProgramFolder() const override { return m_programFolder; }

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    bool FormCloseQuery();
    void FormDestroy();
    void FormResize();
    void Timer1Timer();
    void buildWindow();
    // AddFile's steps after the picture was read.
    bool addLoaded(const QString& name, show::LoadedPicture& loaded);
    // The picture of the slide focused in the list of slides, or null.
    const raster::TDibRecord* focusedPicture();

    QStringList m_arguments;
    QString m_programFolder;
    show::ShowDocument m_show;
    QString m_showFileName;
    Favourites m_favourites;
    raster::DibGuard m_scanned;
    int m_reviewIndex = 1;
    bool m_updateGuard = false;
    bool m_openedOnce = false;
    bool m_closeConfirmed = false;

    QToolButton* NewBtn = nullptr;
    QToolButton* OpenBtn = nullptr;
    QToolButton* SaveBtn = nullptr;
    QToolButton* SaveAsBtn = nullptr;
    QToolButton* ueberbtn = nullptr;
    QToolButton* endebtn = nullptr;
    QTabWidget* m_mainTabs = nullptr;
    QTabWidget* m_pictureTabs = nullptr;
    QTabWidget* m_slideTabs = nullptr;
    QTabWidget* m_showTabs = nullptr;
    AddPicturesPage* m_addPage = nullptr;
    ScanPage* m_scanPage = nullptr;
    ReviewPage* m_reviewPage = nullptr;
    SettingsPage* m_settingsPage = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QLabel* m_textPanel = nullptr;
    show::ProgressPanel* m_progressPanel = nullptr;
    QTimer Timer1;

    QList<QWidget*> m_forms;
    show::TShowForm* m_showForm = nullptr;
};

} // namespace editor
