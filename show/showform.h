#pragma once
// TShowForm: the window that plays a show, with its paint box, its play bar
// and its two timers. The playing itself is ShowPlayback's; the window
// supplies the screen, the sound, the keys and the buttons.

#include "platform/gdi.h"
#include "platform/mci.h"
#include "show/playback.h"

#include <QDialog>
#include <QImage>
#include <QTimer>

#include <memory>

class QToolButton;
class QWidget;

namespace show {

class ShowPaintBox;

class TShowForm : public QDialog, public ShowHost {
    Q_OBJECT
public:
    explicit TShowForm(QWidget* parent = nullptr);
    ~TShowForm() override;

    // The caller's start sequence: sets the window up for the run, plays the
    // show modally and cleans up when the window has closed. False when the
    // show could not start (no slides, or none with a visible picture).
    bool StartShow(TDynaArray& slides, const TShowSettings& settings);
    // The same in two halves, for callers that drive the window themselves
    // (the video export, tests): BeginShow shows the window without waiting,
    // FinishShow does what follows the closing.
    bool BeginShow(TDynaArray& slides, const TShowSettings& settings);
    void FinishShow();

    // The running show's engine (null between shows).
    ShowPlayback* playback() const { return m_playback.get(); }
    // The frame on the screen.
    const QImage& screenFrame() const { return m_frame; }

    // Handlers.
    void Timer1Timer();
    void StopBtnClick();
    void PlayBtnClick();
    void ForwardBtnClick();
    void BackBtnClick();
    void ExitBtnClick();
    void FormKeyPress(int ch);

    QTimer Timer1;
    QTimer Timer2;
    platform::TMediaPlayer MediaPlayer1;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // ShowHost
    void closeShow() override;
    QSize surfaceSize() const override;
    void present(const platform::GdiBitmap& frame) override;
    int sendMci(const QString& command, char* buffer, int length) override;
    bool soundPlaying() override;
    void stopSound() override;
    void playSound(const QString& file) override;
    void prepareSound(const QString& file) override;
    void setCursorHidden(bool hidden) override;

    void FormCreate();
    void syncButtons();
    // Back to a framed window after a full-screen run; it shows at the
    // designed place and size.
    void leaveFullScreen();

    ShowPaintBox* ShowPaintBox1 = nullptr;
    QWidget* Panel1 = nullptr;
    QToolButton* BackBtn = nullptr;
    QToolButton* PlayBtn = nullptr;
    QToolButton* StopBtn = nullptr;
    QToolButton* ForwardBtn = nullptr;
    QToolButton* ExitBtn = nullptr;

    std::unique_ptr<ShowPlayback> m_playback;
    QImage m_frame;
    bool m_closing = false;
    bool m_placeAsDesigned = false;
};

} // namespace show
