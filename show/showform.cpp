#include "show/showform.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>

namespace show {

// The paint box: shows the last frame the show presented, unscaled at the
// top-left corner, on black.
class ShowPaintBox : public QWidget {
public:
    explicit ShowPaintBox(const QImage& frame, QWidget* parent) : QWidget(parent), m_frame(frame)
    {
        setObjectName(QStringLiteral("ShowPaintBox1"));
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::black);
        if (!m_frame.isNull())
            painter.drawImage(0, 0, m_frame);
    }

private:
    const QImage& m_frame;
};

namespace {

// The window's place and size as designed.
constexpr QPoint kDesignedPos(192, 114);
constexpr QSize kDesignedSize(696, 480);

QToolButton* flatButton(QWidget* parent, const char* name, QStyle::StandardPixmap icon, const QString& hint)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setAutoRaise(true);
    button->setFixedSize(23, 22);
    button->setIcon(parent->style()->standardIcon(icon));
    button->setToolTip(hint);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

} // namespace

TShowForm::TShowForm(QWidget* parent) : QDialog(parent)
{
    FormCreate();
}

TShowForm::~TShowForm() = default;

void TShowForm::FormCreate()
{
    setObjectName(QStringLiteral("ShowForm"));
    setWindowTitle(QStringLiteral("KOR-VAN Lumivox 3.0"));
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);
    move(kDesignedPos);
    resize(kDesignedSize);

    ShowPaintBox1 = new ShowPaintBox(m_frame, this);
    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(22);
    Panel1->setAutoFillBackground(true);
    Panel1->setPalette(QApplication::palette());
    auto* bar = new QHBoxLayout(Panel1);
    bar->setContentsMargins(8, 0, 0, 0);
    bar->setSpacing(1);
    BackBtn = flatButton(Panel1, "BackBtn", QStyle::SP_MediaSkipBackward, QStringLiteral("Ein Bild zur\u00fcck"));
    PlayBtn = flatButton(Panel1, "PlayBtn", QStyle::SP_MediaPlay, QStringLiteral("Abspielen"));
    StopBtn = flatButton(Panel1, "StopBtn", QStyle::SP_MediaPause, QStringLiteral("Anhalten"));
    ForwardBtn = flatButton(Panel1, "ForwardBtn", QStyle::SP_MediaSkipForward, QStringLiteral("Ein Bild vor"));
    ExitBtn = flatButton(Panel1, "ExitBtn", QStyle::SP_DialogCloseButton, QStringLiteral("Show beenden"));
    PlayBtn->setEnabled(false);
    bar->addWidget(BackBtn);
    bar->addWidget(PlayBtn);
    bar->addWidget(StopBtn);
    bar->addWidget(ForwardBtn);
    bar->addStretch(1);
    bar->addWidget(ExitBtn);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ShowPaintBox1, 1);
    layout->addWidget(Panel1);

    Timer1.setObjectName(QStringLiteral("Timer1"));
    Timer1.setInterval(50);
    Timer2.setObjectName(QStringLiteral("Timer2"));
    connect(&Timer1, &QTimer::timeout, this, &TShowForm::Timer1Timer);
    connect(BackBtn, &QToolButton::clicked, this, &TShowForm::BackBtnClick);
    connect(PlayBtn, &QToolButton::clicked, this, &TShowForm::PlayBtnClick);
    connect(StopBtn, &QToolButton::clicked, this, &TShowForm::StopBtnClick);
    connect(ForwardBtn, &QToolButton::clicked, this, &TShowForm::ForwardBtnClick);
    connect(ExitBtn, &QToolButton::clicked, this, &TShowForm::ExitBtnClick);
}

bool TShowForm::BeginShow(TDynaArray& slides, const TShowSettings& settings)
{
    auto playback = std::make_unique<ShowPlayback>(slides, settings, *this);
    // Checked before anything about the window changes.
    bool anyPicture = false;
    for (uint32_t i = 0; i < slides.Count() && !anyPicture; ++i)
        anyPicture = ElementAt<TSlideRecord>(slides, i)->PictureVisible == 1;
    if (!anyPicture)
        return false;

    Panel1->setVisible(settings.PlayBar);
    // Full screen is the window system's own state, so panels and docks are
    // covered too and nothing of the window's frame shows. A windowed run
    // keeps the window's frame, place and size, or gets the designed ones
    // back when the run before was full screen.
    // The screen's geometry is asked for as well, for a display without a
    // window manager, which knows no such state.
    if (settings.FullScreen) {
        if (const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen())
            setGeometry(s->geometry());
        setWindowState(windowState() | Qt::WindowFullScreen);
    } else {
        leaveFullScreen();
    }
    m_playback = std::move(playback);
    m_closing = false;
    m_frame = QImage();
    if (!m_playback->StartShow()) {
        m_playback.reset();
        return false;
    }
    syncButtons();
    Timer1.start();
    show();
    if (m_placeAsDesigned) {
        // Placed once the window exists, by its frame, as at its first
        // showing: the frame a full-screen window had is none.
        m_placeAsDesigned = false;
        resize(kDesignedSize);
        if (QWindow* window = windowHandle())
            window->setFramePosition(kDesignedPos);
    }
    raise();
    activateWindow();
    return true;
}

void TShowForm::FinishShow()
{
    if (!m_playback)
        return;
    m_playback->EndShow();
    Timer1.stop();
    MediaPlayer1.Preload(QString());
    m_playback.reset();
    leaveFullScreen();
}

void TShowForm::leaveFullScreen()
{
    if (!(windowState() & Qt::WindowFullScreen))
        return;
    setWindowState(windowState() & ~Qt::WindowFullScreen);
    m_placeAsDesigned = true;
}

bool TShowForm::StartShow(TDynaArray& slides, const TShowSettings& settings)
{
    if (!BeginShow(slides, settings))
        return false;
    setModal(true);
    exec();
    FinishShow();
    return true;
}

void TShowForm::syncButtons()
{
    if (!m_playback)
        return;
    StopBtn->setEnabled(m_playback->StopEnabled);
    PlayBtn->setEnabled(m_playback->PlayEnabled);
}

void TShowForm::Timer1Timer()
{
    if (m_playback && !m_closing)
        m_playback->Timer1Timer();
}

void TShowForm::StopBtnClick()
{
    if (m_playback) {
        m_playback->StopBtnClick();
        syncButtons();
    }
}

void TShowForm::PlayBtnClick()
{
    if (m_playback) {
        m_playback->PlayBtnClick();
        syncButtons();
    }
}

void TShowForm::ForwardBtnClick()
{
    if (m_playback) {
        m_playback->ForwardBtnClick();
        syncButtons();
    }
}

void TShowForm::BackBtnClick()
{
    if (m_playback) {
        m_playback->BackBtnClick();
        syncButtons();
    }
}

void TShowForm::ExitBtnClick()
{
    closeShow();
}

void TShowForm::FormKeyPress(int ch)
{
    if (m_playback)
        m_playback->FormKeyPress(ch);
    else if (ch == 27)
        closeShow();
}

void TShowForm::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        FormKeyPress(27);
        return;
    }
    const QString text = event->text();
    if (!text.isEmpty())
        FormKeyPress(text.at(0).unicode());
}

void TShowForm::closeEvent(QCloseEvent* event)
{
    m_closing = true;
    Timer1.stop();
    QDialog::closeEvent(event);
}

void TShowForm::closeShow()
{
    // Takes effect once the running handler has finished.
    m_closing = true;
    QMetaObject::invokeMethod(this, &QDialog::reject, Qt::QueuedConnection);
}

QSize TShowForm::surfaceSize() const
{
    return ShowPaintBox1->size();
}

void TShowForm::present(const platform::GdiBitmap& frame)
{
    frame.toScreenImage(m_frame);
    ShowPaintBox1->update();
}

int TShowForm::sendMci(const QString& command, char* buffer, int length)
{
    const QByteArray text = QFile::encodeName(command);
    return int(platform::mciSendString(text.constData(), buffer, uint32_t(std::max(length, 0)), this));
}

bool TShowForm::soundPlaying()
{
    return MediaPlayer1.IsPlaying();
}

void TShowForm::stopSound()
{
    MediaPlayer1.Stop();
}

// A slide's sound never holds up the tick that starts its slide: it plays
// once decoded, at once when it was decoded ahead.
void TShowForm::playSound(const QString& file)
{
    MediaPlayer1.FileName = file;
    MediaPlayer1.PlayWhenReady();
}

void TShowForm::prepareSound(const QString& file)
{
    MediaPlayer1.Preload(file);
}

void TShowForm::setCursorHidden(bool hidden)
{
    if (hidden) {
        setCursor(Qt::BlankCursor);
        ShowPaintBox1->setCursor(Qt::BlankCursor);
    } else {
        unsetCursor();
        ShowPaintBox1->unsetCursor();
    }
}

} // namespace show
