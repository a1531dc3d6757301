#include "show/playback.h"

#include "platform/clock.h"
#include "platform/random.h"
#include "raster/rasterio.h"
#include "show/compose.h"
#include "show/transitions.h"

#include <algorithm>
#include <cstring>

namespace show {

ShowHost::~ShowHost() = default;

void ShowHost::prepareSound(const QString&) {}

namespace {

const TSlideRecord& slideAt(const TDynaArray& slides, int32_t i)
{
    return *ElementAt<TSlideRecord>(slides, uint32_t(i));
}

void release(raster::TDibRecord& dib)
{
    if (dib.Bits || dib.Info)
        raster::deldib(dib);
    dib = raster::TDibRecord{};
}

} // namespace

ShowPlayback::ShowPlayback(TDynaArray& slides, const TShowSettings& settings, ShowHost& host)
    : m_slides(slides), m_settings(settings), m_host(host)
{
}

ShowPlayback::~ShowPlayback()
{
    releaseFx();
    release(ExportFrame);
}

void ShowPlayback::chooseEffect(int32_t index)
{
    TSlideRecord& slide = *ElementAt<TSlideRecord>(m_slides, uint32_t(index));
    slide.EffectInUse = slide.Effect;
    platform::Randomize();
    if (slide.Effect == 0)
        slide.EffectInUse = 1 + platform::Random(36);
}

bool ShowPlayback::StartShow()
{
    const int32_t count = int32_t(m_slides.Count());
    bool anyPicture = false;
    for (int32_t i = 0; i < count && !anyPicture; ++i)
        anyPicture = slideAt(m_slides, i).PictureVisible == 1;
    if (!anyPicture)
        return false;

    CurrentIndex = 0;
    chooseEffect(0);
    WaitingForKey = false;
    Paused = false;
    StopEnabled = true;
    PlayEnabled = false;
    SlideStart = platform::GetTickCount();
    Running = true;
    if (!m_settings.PlayBar)
        m_host.setCursorHidden(true);
    if (!m_settings.MusicFile.isEmpty()) {
        m_host.sendMci(QStringLiteral("open ") + m_settings.MusicFile + QStringLiteral(" alias musik"), nullptr, 0);
        m_host.sendMci(QStringLiteral("play musik from 0"), nullptr, 0);
        MusicStatus = queryMusic();
    }
    // No start picture yet: the first slide comes in from black.
    m_prevFrameValid = m_lastFrameValid = false;
    m_fxOldFilled = false;
    prepareSurfaces();
    platform::Randomize();
    ShowSeed = uint32_t(platform::Random(1000000));
    // One composition ahead of the first tick, so that what is made on
    // first use (the fonts of the comments, the glyphs) is ready.
    if (!WorkBitmap.isEmpty()) {
        const uint32_t seed = platform::RandSeed;
        ComposeSlide(m_slides, 0, WorkBitmap.width(), WorkBitmap.height(), 0, ShowSeed, WorkBitmap, DesktopWidthOverride);
        platform::RandSeed = seed;
    }
    // The first slide's sound starts with it, as every later slide's does.
    startSlideSound(0, false);
    return true;
}

void ShowPlayback::EndShow()
{
    if (m_host.soundPlaying())
        m_host.stopSound();
    if (!m_settings.MusicFile.isEmpty())
        m_host.sendMci(QStringLiteral("close musik"), nullptr, 0);
    if (!m_settings.PlayBar)
        m_host.setCursorHidden(false);
    Running = false;
    releaseFx();
}

QString ShowPlayback::queryMusic()
{
    char report[256] = {};
    m_host.sendMci(QStringLiteral("status musik mode"), report, int(sizeof report));
    report[sizeof report - 1] = '\0';
    return QString::fromLatin1(report);
}

int32_t ShowPlayback::GroupDuration(int32_t index) const
{
    if (index < 0 || index >= int32_t(m_slides.Count()))
        return 0;
    const SlideGroup group = CollageGroup(m_slides, index);
    int64_t longest = 0;
    for (int32_t i = group.First; i < group.End; ++i) {
        const TSlideRecord& m = slideAt(m_slides, i);
        longest = std::max(longest, int64_t(m.PauseTime) + m.TransTime);
    }
    return int32_t(std::min<int64_t>(longest, INT32_MAX));
}

void ShowPlayback::prepareSurfaces()
{
    // Every screen-sized image a tick needs, made and touched before the
    // first tick, so that no tick of the show waits for fresh memory.
    const QSize size = ExportMode ? QSize(ExportWidth, ExportHeight) : m_host.surfaceSize();
    if (size.width() <= 0 || size.height() <= 0)
        return;
    for (platform::GdiBitmap* bitmap : {&WorkBitmap, &LastFrame, &PrevFrame, &m_screen, &m_spareScreen}) {
        bitmap->resize(size.width(), size.height());
        bitmap->fill(0);
    }
    if (!makeFx(size.width(), size.height()))
        return;
    for (raster::TDibRecord* fx : {&m_fxOld, &m_fxNew, &m_fxOut})
        std::memset(fx->Bits, 0, raster::DibSizeImage(*fx));
    // The spirals keep a table for the surface's size; it is made now
    // rather than in the first tick that needs it.
    bool spiral = false;
    for (uint32_t i = 0; i < m_slides.Count() && !spiral; ++i) {
        const int32_t effect = ElementAt<TSlideRecord>(m_slides, i)->Effect;
        spiral = effect == 0 || effect == 35 || effect == 36;
    }
    if (spiral)
        prepareSpiralTable(size.width(), size.height());
    m_host.present(m_screen); // black, as the first transition starts
}

void ShowPlayback::prepareSlideChange()
{
    // The last composition of the slide being left becomes the start picture
    // of the next transition. The bitmaps change places rather than being
    // made anew; the flags say which of them hold a frame.
    std::swap(PrevFrame, LastFrame);
    m_prevFrameValid = m_lastFrameValid;
    m_lastFrameValid = false;
    m_fxOldFilled = false;
    if (CurrentIndex >= 0 && CurrentIndex < int32_t(m_slides.Count()) &&
        slideAt(m_slides, CurrentIndex).SoundMode == 0 && m_host.soundPlaying())
        m_host.stopSound();
}

void ShowPlayback::Timer1Timer()
{
    if (Paused)
        return;
    if (!m_settings.MusicFile.isEmpty()) {
        const QString report = queryMusic();
        if (report != MusicStatus)
            m_host.sendMci(QStringLiteral("play musik from 0"), nullptr, 0);
        MusicStatus = report;
    }
    if (WaitingForKey || CurrentIndex < 0 || CurrentIndex >= int32_t(m_slides.Count()))
        return;
    const uint32_t shown = platform::GetTickCount() - SlideStart;
    if (shown >= uint32_t(GroupDuration(CurrentIndex))) {
        prepareSlideChange();
        gotonextpic();
        SlideStart = platform::GetTickCount();
    }
    PaintCycle();
}

void ShowPlayback::startSlideSound(int32_t index, bool evenWhenExporting)
{
    const QString sound = StringText(slideAt(m_slides, index).SoundFile);
    if (!sound.isEmpty() && !(ExportMode && !evenWhenExporting)) {
        if (m_host.soundPlaying())
            m_host.stopSound();
        m_host.playSound(sound);
    }
    prepareNextSound(index);
}

// The sound of the group after the slide at index is made ready while this
// slide shows, so that it starts with its slide. After the last group the
// show goes on at slide 0 only when it repeats. Forward steps of an export
// play no sound.
void ShowPlayback::prepareNextSound(int32_t index)
{
    if (ExportMode)
        return;
    const int32_t count = int32_t(m_slides.Count());
    int32_t next = CollageGroup(m_slides, index).End;
    if (next >= count)
        next = m_settings.EndMode == emRepeat ? 0 : -1;
    m_host.prepareSound(next >= 0 && next < count ? StringText(slideAt(m_slides, next).SoundFile) : QString());
}

void ShowPlayback::gotonextpic()
{
    const int32_t count = int32_t(m_slides.Count());
    const int32_t old = CurrentIndex;
    // The next group's head: the members of the current group are passed.
    int32_t a = CurrentIndex < 0 ? 0 : CollageGroup(m_slides, CurrentIndex).End;

    if (a >= count) {
        if (m_settings.EndMode == emQuit || ExportMode)
            m_host.closeShow();
        a = 0;
        if (m_settings.EndMode == emWaitKey) {
            WaitingForKey = true;
            a = old;
        }
    }
    if (a < 0 || a >= count)
        return;
    CurrentIndex = a;
    chooseEffect(a);
    if (!WaitingForKey)
        startSlideSound(a, false);
}

void ShowPlayback::gotoprevpic()
{
    int32_t a = CurrentIndex;
    if (a < 0 || a >= int32_t(m_slides.Count()))
        return;
    // The head of the group before; at slide 0 nothing moves.
    if (a > 0)
        a = CollageGroup(m_slides, a - 1).First;
    CurrentIndex = a;
    chooseEffect(a);
    if (!WaitingForKey)
        startSlideSound(a, true);
}

void ShowPlayback::releaseFx()
{
    release(m_fxOld);
    release(m_fxNew);
    release(m_fxOut);
    m_fxOldFilled = false;
}

bool ShowPlayback::makeFx(int32_t width, int32_t height)
{
    if (m_fxOut.Bits && raster::DibWidth(m_fxOut) == width && raster::DibHeight(m_fxOut) == height)
        return true;
    releaseFx();
    raster::newdib(&m_fxOld, width, height, 24, nullptr, 0);
    raster::newdib(&m_fxNew, width, height, 24, nullptr, 0);
    raster::newdib(&m_fxOut, width, height, 24, nullptr, 0);
    if (!m_fxOld.Bits || !m_fxNew.Bits || !m_fxOut.Bits) {
        releaseFx();
        return false;
    }
    return true;
}

void ShowPlayback::PaintCycle()
{
    uint32_t elapsed = platform::GetTickCount() - SlideStart;
    if (Paused)
        elapsed = PauseTick - PauseSlideStart;
    const QSize size = ExportMode ? QSize(ExportWidth, ExportHeight) : m_host.surfaceSize();
    const int32_t width = size.width(), height = size.height();
    if (width <= 0 || height <= 0)
        return;

    const Composition c = ComposeSlide(m_slides, CurrentIndex, width, height,
                                       int32_t(std::min<uint32_t>(elapsed, INT32_MAX)), ShowSeed, WorkBitmap,
                                       DesktopWidthOverride);
    if (!c.Composed || WorkBitmap.isEmpty())
        return;

    // Two screen buffers take turns, so the one the window still shows is
    // never written.
    platform::GdiBitmap& screen = m_screen;
    if (c.TransitionRunning && makeFx(width, height)) {
        const size_t bytes = raster::DibSizeImage(m_fxOld);
        if (!m_fxOldFilled) {
            // The start picture: the last screen of the slide before, or
            // black for the first slide.
            if (m_prevFrameValid && PrevFrame.width() == width && PrevFrame.height() == height)
                PrevFrame.readDibRows24(0, height, m_fxOld.Bits);
            else
                std::memset(m_fxOld.Bits, 0, bytes);
            m_fxOldFilled = true;
        }
        WorkBitmap.readDibRows24(0, height, m_fxNew.Bits);
        uint32_t e = platform::GetTickCount() - SlideStart;
        const int32_t duration = c.TransTime;
        const int32_t at = e > uint32_t(std::max(duration, 0)) ? duration : int32_t(e);
        dofx(m_fxOut, m_fxOld, m_fxNew, at, duration, c.EffectInUse);
        std::swap(screen, m_spareScreen);
        screen.resize(width, height);
        screen.writeDibRows(0, height, m_fxOut.Bits, m_fxOut.Info);
        m_host.present(screen);
        if (ExportMode) {
            release(ExportFrame);
            ExportFrame = raster::MakeDIBCopy(m_fxOut);
        }
    } else {
        m_host.present(WorkBitmap);
        if (ExportMode) {
            release(ExportFrame);
            raster::newdib(&ExportFrame, width, height, 24, nullptr, 0);
            if (ExportFrame.Bits)
                WorkBitmap.readDibRows24(0, height, ExportFrame.Bits);
        }
    }
    // The composition becomes the last frame; the old last frame's pixels
    // are composed over on the next tick.
    std::swap(LastFrame, WorkBitmap);
    m_lastFrameValid = true;
}

void ShowPlayback::StopBtnClick()
{
    PauseSlideStart = SlideStart;
    PauseTick = platform::GetTickCount();
    Paused = true;
    StopEnabled = false;
    PlayEnabled = true;
}

void ShowPlayback::PlayBtnClick()
{
    SlideStart = platform::GetTickCount() - (PauseTick - PauseSlideStart);
    Paused = false;
    StopEnabled = true;
    PlayEnabled = false;
}

void ShowPlayback::ForwardBtnClick()
{
    prepareSlideChange();
    gotonextpic();
    SlideStart = platform::GetTickCount();
    Paused = false;
    StopEnabled = true;
    PlayEnabled = false;
}

void ShowPlayback::BackBtnClick()
{
    prepareSlideChange();
    gotoprevpic();
    SlideStart = platform::GetTickCount();
    Paused = false;
    StopEnabled = true;
    PlayEnabled = false;
}

void ShowPlayback::ExitBtnClick()
{
    m_host.closeShow();
}

void ShowPlayback::FormKeyPress(int ch)
{
    if (ch == 27 || (WaitingForKey && ch > 0))
        m_host.closeShow();
}

} // namespace show
