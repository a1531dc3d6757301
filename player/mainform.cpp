#include "player/mainform.h"

#include "platform/messages.h"
#include "platform/paths.h"
#include "platform/random.h"
#include "show/progresspanel.h"
#include "show/showfile.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QShowEvent>
#include <QStatusBar>
#include <QToolButton>

namespace player {

TMainForm::TMainForm(const QStringList& arguments, QWidget* parent) : QMainWindow(parent), m_arguments(arguments)
{
    // A show named on the command line is where the user's terminal is:
    // a relative name is taken in the working folder, not the program's.
    if (!m_arguments.isEmpty() && !m_arguments.constFirst().isEmpty())
        m_arguments.first() = QDir::current().absoluteFilePath(m_arguments.constFirst());
    FormCreate();
}

TMainForm::~TMainForm()
{
    ClearSlides(m_show.Slides);
}

void TMainForm::FormCreate()
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("KOR-VAN Lumivox-Player 3.0"));
    resize(436, 178);
    if (const QScreen* s = QGuiApplication::primaryScreen())
        move(s->geometry().center() - rect().center());

    OpenBtn = new QToolButton(this);
    OpenBtn->setObjectName(QStringLiteral("OpenBtn"));
    OpenBtn->setText(QStringLiteral("\u00d6&ffnen..."));
    OpenBtn->setToolTip(QStringLiteral("SlideShow \u00f6ffnen..."));
    OpenBtn->setAutoRaise(true);
    OpenBtn->setToolButtonStyle(Qt::ToolButtonTextOnly);
    auto* centre = new QWidget(this);
    OpenBtn->setParent(centre);
    OpenBtn->move(8, 8);
    setCentralWidget(centre);
    connect(OpenBtn, &QToolButton::clicked, this, &TMainForm::OpenBtnClick);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    m_textPanel = new QLabel(StatusBar1);
    m_textPanel->setFixedWidth(250);
    m_progressPanel = new show::ProgressPanel(StatusBar1);
    StatusBar1->addWidget(m_textPanel);
    StatusBar1->addWidget(m_progressPanel);
    setStatusBar(StatusBar1);

    m_programFolder = platform::IncludeTrailingPathDelimiter(QCoreApplication::applicationDirPath());
    OpenDialog = new QFileDialog(this);
    OpenDialog->setObjectName(QStringLiteral("OpenDialog"));
    OpenDialog->setNameFilter(QStringLiteral("Lumivox-Dateien (*.sli)"));
    OpenDialog->setDefaultSuffix(QStringLiteral("sli"));
    OpenDialog->setDirectory(m_programFolder);
    OpenDialog->setFileMode(QFileDialog::ExistingFile);
    OpenDialog->setAcceptMode(QFileDialog::AcceptOpen);

    // The player's list grows one slide at a time.
    m_show.Slides.SetGrowBy(1);
    platform::Randomize();
    Setsavedfilename(QString());

    m_showForm = new show::TShowForm(this);
}

void TMainForm::Setsavedfilename(const QString& path)
{
    m_showFileName = path;
    const QString name = path.isEmpty() ? QStringLiteral("Unbenannt.sli") : platform::ExtractFileName(path);
    setWindowTitle(QStringLiteral("KOR-VAN Lumivox Player 3.0 - [") + name + QStringLiteral("]"));
}

bool TMainForm::OpenFile(const QString& path)
{
    if (!show::OpenFile(m_show, path, this))
        return false;
    Setsavedfilename(path);
    SetProStatus(0);
    return true;
}

void TMainForm::GoBtn1Click()
{
    if (!m_showForm->StartShow(m_show.Slides, m_show.Settings))
        return; // nothing to play: the window waits for another file
    m_played = true;
    close();
    QCoreApplication::quit();
}

void TMainForm::OpenBtnClick()
{
    if (OpenDialog->exec() != QDialog::Accepted || OpenDialog->selectedFiles().isEmpty())
        return;
    if (OpenFile(OpenDialog->selectedFiles().constFirst()))
        GoBtn1Click();
}

int TMainForm::ProStatus() const
{
    return m_progressPanel->percent();
}

void TMainForm::SetProStatus(int percent)
{
    // Drawn at once: the progress comes while the show's pictures load.
    m_progressPanel->SetProStatus(percent);
}

bool TMainForm::event(QEvent* event)
{
    if (event->type() == platform::WindowMessageEvent::eventType()) {
        const auto* message = static_cast<platform::WindowMessageEvent*>(event);
        if (message->message() == platform::WM_USER)
            SetProStatus(int(message->wParam()));
        return true;
    }
    return QMainWindow::event(event);
}

void TMainForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    // After the window is on the screen, so the load progress shows. The
    // window system's own show events (a restore after minimising) start
    // nothing.
    if (!event->spontaneous())
        QMetaObject::invokeMethod(this, &TMainForm::FormShow, Qt::QueuedConnection);
}

void TMainForm::FormShow()
{
    // Opening the command line's show and playing it happen once per
    // program start, however often the window is shown.
    if (m_openedOnce)
        return;
    m_openedOnce = true;
    if (!m_arguments.isEmpty())
        OpenFile(m_arguments.constFirst());
    GoBtn1Click();
}

} // namespace player
