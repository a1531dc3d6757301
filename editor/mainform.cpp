#include "editor/mainform.h"

#include "editor/aboutbox.h"
#include "editor/addpicturespage.h"
#include "editor/pageshell.h"
#include "editor/reviewpage.h"
#include "editor/scanpage.h"
#include "editor/settingspage.h"
#include "editor/startupforms.h"
#include "platform/filedialog.h"
#include "platform/messages.h"
#include "platform/msgbox.h"
#include "platform/paths.h"
#include "platform/random.h"
#include "raster/rasterio.h"
#include "raster/scanneddib.h"
#include "show/showfile.h"
#include "show/showform.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QShowEvent>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>

namespace editor {

namespace {

const QString kTitle = QStringLiteral("KOR-VAN Lumivox 3.0");
const QString kShowFilter = QStringLiteral("Lumivox-Dateien|*.sli");
const QString kLoseWarning = QStringLiteral("Hiermit gehen alle nicht gespeicherten Informationen verloren.");

QToolButton* barButton(QWidget* parent, const char* name, const QString& text, QStyle::StandardPixmap icon,
                       const QString& hint)
{
    auto* b = new QToolButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setText(text);
    b->setIcon(parent->style()->standardIcon(icon));
    b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    b->setAutoRaise(true);
    b->setToolTip(hint);
    return b;
}

bool confirm(const QString& text, const QString& caption)
{
    return platform::MessageBox(text, caption, platform::MsgIcon::Information, platform::MsgButtons::OkCancel) ==
           platform::MsgAnswer::Ok;
}

} // namespace

TMainForm::TMainForm(const QStringList& arguments, const QString& programFolder, QWidget* parent)
    : QMainWindow(parent), m_arguments(arguments), m_programFolder(programFolder)
{
    // A show named on the command line is where the user's terminal is:
    // a relative name is taken in the working folder.
    if (!m_arguments.isEmpty() && !m_arguments.constFirst().isEmpty())
        m_arguments.first() = QDir::current().absoluteFilePath(m_arguments.constFirst());
    FormCreate();
}

TMainForm::~TMainForm()
{
    FormDestroy();
}

void TMainForm::buildWindow()
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(kTitle);
    resize(1000, 700);

    // The file commands along the top.
    auto* top = new QToolBar(this);
    top->setObjectName(QStringLiteral("TopBar"));
    top->setMovable(false);
    top->setFloatable(false);
    top->toggleViewAction()->setVisible(false);
    NewBtn = barButton(top, "NewBtn", QStringLiteral("&Neu"), QStyle::SP_FileIcon,
                       QStringLiteral("Neue SlideShow erstellen"));
    OpenBtn = barButton(top, "OpenBtn", QStringLiteral("\u00d6&ffnen..."), QStyle::SP_DialogOpenButton,
                        QStringLiteral("SlideShow \u00f6ffnen..."));
    SaveBtn = barButton(top, "SaveBtn", QStringLiteral("&Speichern"), QStyle::SP_DialogSaveButton,
                        QStringLiteral("SlideShow speichern"));
    SaveAsBtn = barButton(top, "SaveAsBtn", QStringLiteral("Speichern &unter..."), QStyle::SP_DriveFDIcon,
                          QStringLiteral("SlideShow speichern unter..."));
    for (QToolButton* b : {NewBtn, OpenBtn, SaveBtn, SaveAsBtn})
        top->addWidget(b);
    addToolBar(Qt::TopToolBarArea, top);

    // The three tabs and their pages, the program's buttons below them.
    auto* centre = new QWidget(this);
    auto* layout = new QVBoxLayout(centre);
    layout->setContentsMargins(4, 4, 4, 4);
    m_mainTabs = new QTabWidget(centre);
    m_mainTabs->setObjectName(QStringLiteral("MainPages"));
    layout->addWidget(m_mainTabs, 1);

    m_pictureTabs = new QTabWidget(m_mainTabs);
    m_pictureTabs->setObjectName(QStringLiteral("BilderPages"));
    m_addPage = new AddPicturesPage(*this, m_favourites, m_pictureTabs);
    m_addPage->setObjectName(QStringLiteral("AddPicturesPage"));
    m_scanPage = new ScanPage(this, [this] { return focusedPicture(); }, m_pictureTabs);
    m_scanPage->setObjectName(QStringLiteral("ScanPage"));
    m_reviewPage = new ReviewPage(*this, m_pictureTabs);
    m_reviewPage->setObjectName(QStringLiteral("ReviewPage"));
    m_pictureTabs->addTab(m_addPage, QStringLiteral("Bilder hinzuf\u00fcgen"));
    m_pictureTabs->addTab(m_scanPage, QStringLiteral("Scannen"));
    m_pictureTabs->addTab(m_reviewPage, QStringLiteral("Sichten"));
    m_pictureTabs->addTab(new PageShell("RetouchPage", QStringLiteral("Retuschieren"), m_pictureTabs),
                          QStringLiteral("Retuschieren"));

    m_slideTabs = new QTabWidget(m_mainTabs);
    m_slideTabs->setObjectName(QStringLiteral("DiasPages"));
    m_settingsPage = new SettingsPage(m_slideTabs);
    connect(m_settingsPage, &SettingsPage::AddFilesBtnClicked, this, &TMainForm::AddFilesBtnClick);
    m_slideTabs->addTab(m_settingsPage, QStringLiteral("Bild Einstellungen"));

    m_showTabs = new QTabWidget(m_mainTabs);
    m_showTabs->setObjectName(QStringLiteral("ShowPages"));
    m_showTabs->addTab(new PageShell("SlideShowPage", QStringLiteral("SlideShow - Letzte Einstellungen treffen und SlideShow starten"),
                                     m_showTabs),
                       QStringLiteral("SlideShow"));
    m_showTabs->addTab(new PageShell("VideoExportPage", QStringLiteral("Video-Export"), m_showTabs),
                       QStringLiteral("Video-Export"));
    m_showTabs->addTab(new PageShell("WebAlbumPage", QStringLiteral("Web FotoAlbum"), m_showTabs),
                       QStringLiteral("Web FotoAlbum"));
    m_showTabs->addTab(new PageShell("WebPreviewPage", QStringLiteral("Web Vorschau"), m_showTabs),
                       QStringLiteral("Web Vorschau"));

    m_mainTabs->addTab(m_pictureTabs, QStringLiteral("Bilder"));
    m_mainTabs->addTab(m_slideTabs, QStringLiteral("Dias"));
    m_mainTabs->addTab(m_showTabs, QStringLiteral("Show"));

    auto* bottom = new QHBoxLayout;
    ueberbtn = barButton(centre, "ueberbtn", QStringLiteral("\u00dcber..."), QStyle::SP_MessageBoxInformation,
                         QStringLiteral("Informationen \u00fcber das Programm"));
    endebtn = barButton(centre, "endebtn", QStringLiteral("Beenden"), QStyle::SP_DialogCloseButton,
                        QStringLiteral("Hiermit verlassen Sie das Programm"));
    bottom->addWidget(ueberbtn);
    bottom->addStretch(1);
    bottom->addWidget(endebtn);
    layout->addLayout(bottom);
    setCentralWidget(centre);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    m_textPanel = new QLabel(StatusBar1);
    m_textPanel->setObjectName(QStringLiteral("StatusText"));
    m_textPanel->setFixedWidth(250);
    m_progressPanel = new show::ProgressPanel(StatusBar1);
    m_progressPanel->setObjectName(QStringLiteral("ProgressPanel"));
    StatusBar1->addWidget(m_textPanel);
    StatusBar1->addWidget(m_progressPanel);
    setStatusBar(StatusBar1);

    connect(NewBtn, &QToolButton::clicked, this, &TMainForm::NewBtnClick);
    connect(OpenBtn, &QToolButton::clicked, this, &TMainForm::OpenBtnClick);
    connect(SaveBtn, &QToolButton::clicked, this, &TMainForm::SaveBtnClick);
    connect(SaveAsBtn, &QToolButton::clicked, this, &TMainForm::SaveAsBtnClick);
    connect(ueberbtn, &QToolButton::clicked, this, &TMainForm::ueberbtnClick);
    connect(endebtn, &QToolButton::clicked, this, &TMainForm::EndeBtnClick);

    Timer1.setInterval(50);
    connect(&Timer1, &QTimer::timeout, this, &TMainForm::Timer1Timer);
    // The wheel scrolls the thumbnails wherever it turns over the window.
    qApp->installEventFilter(this);
}

void TMainForm::FormCreate()
{
    buildWindow();
    // 1. The program's folder: where folders.dat, the album designs and
    // shows named without a folder are.
    if (m_programFolder.isEmpty())
        m_programFolder = QCoreApplication::applicationDirPath();
    m_programFolder = platform::IncludeTrailingPathDelimiter(m_programFolder);
    // 2. The slide list grows a hundred slides at a time.
    m_show.Slides.SetGrowBy(100);
    // 4.
    platform::Randomize();
    // 5., 6. The file browser shows every picture the library reads,
    // starting in the program's folder.
    m_addPage->SetOpenFilter(raster::GetDIBOpenFilter());
    m_addPage->SetFolder(m_programFolder);
    // 8.
    Setsavedfilename(QString());
    // 9. The favourite folders.
    m_favourites = Favourites(platform::WritableDataFile(m_programFolder, QStringLiteral("folders.dat")));
    m_favourites.load();
    m_addPage->RefreshFavourites();
    // 10.
    m_reviewIndex = 1;
    UpdateListBox();
    Timer1.start();
}

void TMainForm::CreateStartupForms()
{
    if (!m_forms.isEmpty())
        return;
    m_forms = editor::CreateStartupForms(this);
    m_showForm = qobject_cast<show::TShowForm*>(m_forms.constLast());
}

void TMainForm::FormDestroy()
{
    qApp->removeEventFilter(this);
    Timer1.stop();
    show::ClearSlides(m_show.Slides);
}

void TMainForm::Setsavedfilename(const QString& path)
{
    m_showFileName = path;
    m_show.ShowFileName = path;
    const QString name = path.isEmpty() ? QStringLiteral("Unbenannt.sli") : platform::ExtractFileName(path);
    setWindowTitle(kTitle + QStringLiteral(" - [") + name + QChar(']'));
}

void TMainForm::NewBtnClick()
{
    if (!confirm(kLoseWarning, QStringLiteral("Datei/Neu")))
        return;
    // The show's settings (music, end mode, full screen, play bar) stay.
    show::ClearSlides(m_show.Slides);
    UpdateListBox();
    Setsavedfilename(QString());
}

void TMainForm::OpenBtnClick()
{
    if (!confirm(kLoseWarning, QStringLiteral("Datei/\u00d6ffnen")))
        return;
    platform::FileDialogOptions options;
    options.folder = m_showFileName.isEmpty() ? m_programFolder : platform::ExtractFilePath(m_showFileName);
    options.filter = kShowFilter;
    options.defaultExt = QStringLiteral("sli");
    const QString file = platform::GetOpenFileName(this, options);
    if (!file.isEmpty())
        OpenFile(file);
}

bool TMainForm::OpenFile(const QString& path)
{
    const bool opened = show::OpenFile(m_show, path, this);
    if (opened) {
        m_reviewIndex = 1;
        UpdateListBox();
        Setsavedfilename(m_show.ShowFileName);
    } else {
        // The show in memory is as it was, and so are its name and caption.
        m_show.ShowFileName = m_showFileName;
    }
    SetProStatus(0);
    return opened;
}

bool TMainForm::SaveFile(const QString& path, bool namesOnly)
{
    const bool saved = show::SaveFile(m_show, path, namesOnly);
    if (saved)
        Setsavedfilename(m_show.ShowFileName);
    else
        m_show.ShowFileName = m_showFileName;
    SetProStatus(0);
    return saved;
}

void TMainForm::SaveBtnClick()
{
    if (m_showFileName.isEmpty())
        SaveAsBtnClick();
    else
        SaveFile(m_showFileName, false);
}

void TMainForm::SaveAsBtnClick()
{
    platform::FileDialogOptions options;
    options.folder = m_showFileName.isEmpty() ? m_programFolder : platform::ExtractFilePath(m_showFileName);
    options.filter = kShowFilter;
    options.defaultExt = QStringLiteral("sli");
    const QString file = platform::GetSaveFileName(this, options);
    if (!file.isEmpty())
        SaveFile(file, false);
}

void TMainForm::EndeBtnClick()
{
    close();
}

void TMainForm::ueberbtnClick()
{
    AboutBox about(this);
    about.exec();
}

bool TMainForm::FormCloseQuery()
{
    return confirm(QStringLiteral("Hiermit beenden Sie das Programm! Alle nicht gespeicherten Daten gehen verloren!"),
                   QStringLiteral("Programm beenden"));
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    event->accept();
    // The program ends with its main window, dialogs and all.
    QCoreApplication::quit();
}

void TMainForm::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TMainForm::FormResize()
{
    // The retouch view and the slide preview follow the window's size.
    if (m_settingsPage)
        m_settingsPage->update();
}

void TMainForm::Timer1Timer()
{
    // The slide preview is drawn anew on every tick while it is shown.
    if (m_settingsPage && m_settingsPage->isVisible())
        m_settingsPage->update();
}

void TMainForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    // After the window is on the screen, so the load progress shows. The
    // window system's own show events (a restore after minimising) open
    // nothing.
    if (!event->spontaneous())
        QMetaObject::invokeMethod(this, &TMainForm::FormShow, Qt::QueuedConnection);
}

void TMainForm::FormShow()
{
    if (m_openedOnce)
        return;
    m_openedOnce = true;
    if (!m_arguments.isEmpty())
        OpenFile(m_arguments.constFirst());
}

void TMainForm::UpdateListBox()
{
    m_updateGuard = true;
    QStringList names;
    for (uint32_t i = 0; i < m_show.Slides.Count(); ++i)
        names << platform::ExtractFileName(show::StringText(m_show.slide(i)->FileName));
    m_addPage->FillImageList(names);
    m_updateGuard = false;
    const bool any = !names.isEmpty();
    m_addPage->SetSlideButtonsEnabled(any);
    if (any)
        m_addPage->SelectFirstImage();
    m_scanPage->RepaintPreview();
    m_reviewPage->refresh();
}

bool TMainForm::AddFile(const QString& path)
{
    show::LoadedPicture loaded;
    if (path.isEmpty()) {
        // The scanned picture: the slide takes it over.
        loaded.Picture.reset(m_scanned.release());
    } else {
        loaded = show::LoadPicture(path, this);
    }
    const bool added = addLoaded(path.isEmpty() ? QStringLiteral("scanned.jpg") : path, loaded);
    SetProStatus(0);
    return added;
}

void TMainForm::AddFiles(const QStringList& paths)
{
    // The files are read on every core a few ahead, while this thread puts
    // them into the show in order; the window repaints meanwhile but takes
    // no input, so nothing changes the show under the intake.
    show::PictureIntake intake(paths);
    const int n = intake.count();
    SetProStatus(0);
    for (int i = 0; i < n; ++i) {
        show::LoadedPicture loaded = intake.take(i, [] {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        });
        addLoaded(paths[i], loaded);
        SetProStatus((i + 1) * 100 / n);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    SetProStatus(0);
}

bool TMainForm::addLoaded(const QString& name, show::LoadedPicture& loaded)
{
    bool added = false;
    if (loaded.ok()) {
        const QString folder = platform::ExtractFilePath(name);
        if (!folder.isEmpty()) {
            m_favourites.AddToPrefFolders(folder);
            m_addPage->RefreshFavourites();
        }
        added = show::AddPictureSlide(m_show, loaded, name) != nullptr;
    } else {
        show::ShowLoadFailure(loaded, name);
    }
    UpdateListBox();
    m_addPage->SelectLastImage();
    m_scanPage->RepaintPreview();
    return added;
}

void TMainForm::WMUser2(intptr_t wParam)
{
    raster::GetScanedDib(m_scanned.out(), wParam);
    if (m_scanned) {
        AddFile(QString());
        m_scanPage->RepaintPreview();
    }
}

void TMainForm::AddFilesBtnClick()
{
    platform::FileDialogOptions options;
    options.filter = raster::GetDIBOpenFilter();
    const QStringList files = platform::GetOpenFileNames(this, options);
    if (!files.isEmpty())
        AddFiles(files);
    UpdateListBox();
}

const raster::TDibRecord* TMainForm::focusedPicture()
{
    const int i = m_addPage->FocusedImage();
    if (i < 0 || uint32_t(i) >= m_show.Slides.Count())
        return nullptr;
    return &m_show.slide(uint32_t(i))->Dib;
}

void TMainForm::SetStatusText(const QString& text)
{
    m_textPanel->setText(text);
}

void TMainForm::SetProStatus(int percent)
{
    m_progressPanel->SetProStatus(percent);
}

void TMainForm::EditSlidePicture(int)
{
    // The slide's picture goes to the image editor here once it exists.
}

void TMainForm::ViewSlidePicture(int)
{
    // The picture viewer opens here once it exists.
}

void TMainForm::PrintSlidePicture(int)
{
    // Printing starts here once it exists.
}

bool TMainForm::event(QEvent* event)
{
    if (event->type() == platform::WindowMessageEvent::eventType()) {
        const auto* message = static_cast<platform::WindowMessageEvent*>(event);
        if (message->message() == platform::WM_USER)
            SetProStatus(int(message->wParam()));
        else if (message->message() == platform::WM_USER + 1)
            WMUser2(message->wParam());
        return true;
    }
    return QMainWindow::event(event);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    // FormMouseWheelDown, FormMouseWheelUp: while "Sichten" is the page
    // shown, the wheel anywhere over the window scrolls the thumbnails.
    if (event->type() == QEvent::Wheel && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == this && m_mainTabs->currentWidget() == m_pictureTabs &&
        m_pictureTabs->currentWidget() == m_reviewPage) {
        const auto* wheel = static_cast<QWheelEvent*>(event);
        const int notches = wheel->angleDelta().y() / 120;
        if (notches != 0)
            m_reviewPage->WheelScroll(-notches);
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace editor
