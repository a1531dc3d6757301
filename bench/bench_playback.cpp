// bench_playback SHOW.sli WIDTH HEIGHT
//
// Plays the show once through on a WIDTH x HEIGHT surface with the clock
// moved 50 ms per tick, and times every tick: composition, transition and
// the frame turned into the screen's format and copied onto a screen-sized
// image (what the window and its paint do). Prints the mean and the largest tick in milliseconds, overall and
// for the ticks with a transition:
//
//   tick 3840x2160: 412 ticks, mean 9.1 max 17.2; transition ticks 160, mean 14.0 max 17.2

#include "platform/clock.h"
#include "show/playback.h"
#include "show/showfile.h"

#include <QGuiApplication>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {

class ScreenHost : public show::ShowHost {
public:
    // The screen exists before the show starts, as a window's does.
    explicit ScreenHost(QSize size) : m_size(size), m_screen(size, QImage::Format_RGB32) { m_screen.fill(Qt::black); }
    bool closed = false;
    int frames = 0;
    void closeShow() override { closed = true; }
    QSize surfaceSize() const override { return m_size; }
    void present(const platform::GdiBitmap& frame) override
    {
        ++frames;
        if (qEnvironmentVariableIsSet("BENCH_NO_SCREEN"))
            return;
        frame.toScreenImage(m_frame);
        QPainter painter(&m_screen);
        painter.drawImage(0, 0, m_frame);
    }
    int sendMci(const QString&, char* buffer, int length) override
    {
        if (buffer && length > 0)
            buffer[0] = '\0';
        return 0;
    }
    bool soundPlaying() override { return false; }
    void stopSound() override {}
    void playSound(const QString&) override {}
    void setCursorHidden(bool) override {}

private:
    QSize m_size;
    QImage m_screen;
    QImage m_frame;
};

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: bench_playback SHOW.sli WIDTH HEIGHT\n");
        return 2;
    }
    show::ShowDocument document;
    if (!show::OpenFile(document, args[0]))
        return 1;
    document.Settings.EndMode = show::emQuit;
    document.Settings.MusicFile.clear();
    const QSize size(args[1].toInt(), args[2].toInt());
    ScreenHost host(size);
    platform::ManualClock clock(1000);
    show::ShowPlayback playback(document.Slides, document.Settings, host);
    playback.DesktopWidthOverride = size.width();
    if (!playback.StartShow())
        return 1;

    std::vector<double> all, transition;
    double slowest = 0;
    QString slowestAt;
    while (!host.closed && all.size() < 100000) {
        clock.advance(50);
        const int before = host.frames;
        const auto t0 = std::chrono::steady_clock::now();
        playback.Timer1Timer();
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        if (host.frames == before)
            continue;
        all.push_back(ms);
        if (ms > slowest) {
            const auto* slide = show::ElementAt<show::TSlideRecord>(document.Slides, uint32_t(playback.CurrentIndex));
            slowest = ms;
            slowestAt = QStringLiteral("slide %1 (effect %2) at %3 ms")
                            .arg(playback.CurrentIndex)
                            .arg(slide->EffectInUse)
                            .arg(clock.now() - playback.SlideStart);
        }
        // The transition runs while the head's time is within its TransTime.
        const auto* head = show::ElementAt<show::TSlideRecord>(document.Slides, uint32_t(playback.CurrentIndex));
        if (clock.now() - playback.SlideStart <= uint32_t(head->TransTime))
            transition.push_back(ms);
    }
    playback.EndShow();
    auto report = [](const std::vector<double>& v, double& mean, double& max) {
        double sum = 0;
        for (double x : v)
            sum += x;
        mean = v.empty() ? 0 : sum / double(v.size());
        max = v.empty() ? 0 : *std::max_element(v.begin(), v.end());
    };
    double mean = 0, max = 0, tmean = 0, tmax = 0;
    report(all, mean, max);
    report(transition, tmean, tmax);
    std::printf("tick %dx%d: %zu ticks, mean %.1f max %.1f; transition ticks %zu, mean %.1f max %.1f\n",
                size.width(), size.height(), all.size(), mean, max, transition.size(), tmean, tmax);
    std::printf("  slowest tick: %s\n", qPrintable(slowestAt));
    return 0;
}
