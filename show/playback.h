#pragma once
// The playback engine of the show window, apart from any widget: the start
// sequence, the 50 ms tick, the paint cycle with its transition, moving
// between slides and the play bar's commands. The window (TShowForm) owns
// one and supplies what only a window has through ShowHost; tests drive it
// with platform::ManualClock and a host of their own, so a whole show's
// timeline runs in milliseconds.

#include "platform/gdi.h"
#include "raster/dibrecord.h"
#include "show/slide.h"

#include <QSize>
#include <QString>

#include <cstdint>

namespace show {

// What the engine needs from its window.
class ShowHost {
public:
    virtual ~ShowHost();
    // Closes the window once the running handler has finished.
    virtual void closeShow() = 0;
    // The paint box's size.
    virtual QSize surfaceSize() const = 0;
    // Puts a finished frame on the screen, in one piece.
    virtual void present(const platform::GdiBitmap& frame) = 0;
    // Sends a media control string; the answer (at most length - 1
    // characters) goes to buffer when one is given.
    virtual int sendMci(const QString& command, char* buffer, int length) = 0;
    // The slide sound player: whether it plays, stopping it, and starting a
    // file (stopping what plays first). Failures are the player's to swallow.
    virtual bool soundPlaying() = 0;
    virtual void stopSound() = 0;
    virtual void playSound(const QString& file) = 0;
    // The sound the show will play next, to be made ready ahead of it
    // (empty: none). The window decodes it meanwhile; the default ignores it.
    virtual void prepareSound(const QString& file);
    // The mouse pointer over the show.
    virtual void setCursorHidden(bool hidden) = 0;
};

class ShowPlayback {
public:
    // slides belong to the caller; settings are read whenever they are used.
    ShowPlayback(TDynaArray& slides, const TShowSettings& settings, ShowHost& host);
    ~ShowPlayback();
    ShowPlayback(const ShowPlayback&) = delete;
    ShowPlayback& operator=(const ShowPlayback&) = delete;

    // Prepares a run (everything up to showing the window); false when the
    // show has no slide with a visible picture, and nothing was changed.
    bool StartShow();
    // What follows the window's closing: sounds and music stopped, the
    // pointer back.
    void EndShow();
    // Every 50 ms while running.
    void Timer1Timer();
    // Composes and shows the current screen.
    void PaintCycle();

    void gotonextpic();
    void gotoprevpic();
    // The largest PauseTime + TransTime of the group at index (at least 0).
    int32_t GroupDuration(int32_t index) const;

    void StopBtnClick();
    void PlayBtnClick();
    void ForwardBtnClick();
    void BackBtnClick();
    void ExitBtnClick();
    // A key that produced character ch.
    void FormKeyPress(int ch);

    // State, readable by the window and by tests.
    int32_t CurrentIndex = -1;
    uint32_t SlideStart = 0;
    uint32_t ShowSeed = 0;
    bool ExportMode = false;
    bool Paused = false;
    bool WaitingForKey = false;
    uint32_t PauseSlideStart = 0;
    uint32_t PauseTick = 0;
    QString MusicStatus;
    bool StopEnabled = false;
    bool PlayEnabled = false;
    bool Running = false;

    // Export mode: the surface's size and the most recent frame (owned).
    int32_t ExportWidth = 0;
    int32_t ExportHeight = 0;
    raster::TDibRecord ExportFrame{};

    // The desktop width comment fonts are scaled against (0: the screen's).
    int32_t DesktopWidthOverride = 0;

    // The composition, the most recent frame and the start picture of the
    // next transition. They keep the surface's size for the whole show and
    // change places instead of being copied.
    platform::GdiBitmap WorkBitmap;
    platform::GdiBitmap LastFrame;
    platform::GdiBitmap PrevFrame;

private:
    void prepareSurfaces();
    void prepareSlideChange();
    void chooseEffect(int32_t index);
    void startSlideSound(int32_t index, bool evenWhenExporting);
    void prepareNextSound(int32_t index);
    QString queryMusic();
    void releaseFx();
    bool makeFx(int32_t width, int32_t height);

    TDynaArray& m_slides;
    const TShowSettings& m_settings;
    ShowHost& m_host;
    // The images of a transition step. They are kept from tick to tick
    // while the size stays, and the start picture is copied in once per
    // transition: remaking and refilling three screen-sized images on every
    // tick would cost more than the transition itself on a 4K screen.
    raster::TDibRecord m_fxOld{}, m_fxNew{}, m_fxOut{};
    bool m_fxOldFilled = false;
    bool m_prevFrameValid = false;
    bool m_lastFrameValid = false;
    platform::GdiBitmap m_screen, m_spareScreen;
    bool m_musicOpen = false;
};

} // namespace show
