// Slide sounds in a running show: a slide's sound is decoded while the slide
// before it shows, and the tick that starts a slide never waits for a
// decode.

#include "platform/clock.h"
#include "platform/mci.h"
#include "show/playback.h"
#include "show/showform.h"
#include "tests/testutil.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

using namespace show;

namespace {

// Records the sounds played and the ones asked to be made ready, in order.
class SoundHost : public ShowHost {
public:
    QStringList log;
    bool playing = false;
    bool closed = false;

    void closeShow() override { closed = true; }
    QSize surfaceSize() const override { return {32, 24}; }
    void present(const platform::GdiBitmap&) override {}
    int sendMci(const QString&, char* buffer, int length) override
    {
        if (buffer && length > 0)
            buffer[0] = '\0';
        return 0;
    }
    bool soundPlaying() override { return playing; }
    void stopSound() override { playing = false; }
    void playSound(const QString& file) override
    {
        log << "play " + file;
        playing = true;
    }
    void prepareSound(const QString& file) override { log << "ahead " + file; }
    void setCursorHidden(bool) override {}
};

struct Layout {
    const char* label;
    // Per slide: its sound ("" for none) and whether it joins the group before.
    std::vector<std::pair<const char*, bool>> slides;
    EndModes endMode;
    // What the host hears at the start and at each of the following changes.
    std::vector<QStringList> steps;
};

void PrintTo(const Layout& l, std::ostream* os) { *os << l.label; }

class SoundAhead : public testing::TestWithParam<Layout> {};

} // namespace

// When a slide starts, the sound of the group head the show moves to next
// is asked for ahead; members' sounds are never asked for.
TEST_P(SoundAhead, AsksForTheNextHeadsSound)
{
    const Layout& layout = GetParam();
    ShowDocument show;
    for (const auto& [sound, member] : layout.slides) {
        TSlideRecord* s = AddNewSlide(show, testutil::solidImage(4, 4, 0x808080), QStringLiteral("bild.jpg"));
        s->Effect = 1;
        s->TransTime = 0;
        s->PauseTime = 1000;
        s->CollageMember = member ? 1 : 0;
        SetString(s->SoundFile, QString::fromLatin1(sound));
    }
    show.Settings.EndMode = layout.endMode;
    SoundHost host;
    platform::ManualClock clock(1000);
    ShowPlayback playback(show.Slides, show.Settings, host);
    ASSERT_TRUE(playback.StartShow());
    std::vector<QStringList> steps{host.log};
    for (size_t i = 1; i < layout.steps.size(); ++i) {
        host.log.clear();
        clock.advance(1000);
        playback.Timer1Timer();
        steps.push_back(host.log);
    }
    EXPECT_EQ(steps, layout.steps);
}

INSTANTIATE_TEST_SUITE_P(
    Show, SoundAhead,
    testing::Values(
        Layout{"EachSlideAheadThenRoundToTheFirst",
               {{"a.wav", false}, {"b.wav", false}, {"c.wav", false}},
               emRepeat,
               {{"play a.wav", "ahead b.wav"}, {"play b.wav", "ahead c.wav"}, {"play c.wav", "ahead a.wav"},
                {"play a.wav", "ahead b.wav"}}},
        Layout{"CollageMembersArePassed",
               {{"a.wav", false}, {"m.wav", true}, {"", false}, {"d.wav", false}},
               emRepeat,
               {{"play a.wav", "ahead "}, {"ahead d.wav"}, {"play d.wav", "ahead a.wav"}}},
        Layout{"NothingAheadWhenTheShowEnds",
               {{"", false}, {"b.wav", false}},
               emQuit,
               {{"ahead b.wav"}, {"play b.wav", "ahead "}}}),
    [](const testing::TestParamInfo<Layout>& row) { return std::string(row.param.label); });

namespace {

// The show window with real sound on SDL's silent device.
class ShowSound : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        platform::shutdownSound();
    }
    void TearDown() override
    {
        platform::shutdownSound();
        unsetenv("SDL_AUDIODRIVER");
    }

    // A WAV of seconds of one sample value.
    QString wav(const QString& name, int seconds)
    {
        const QString file = m_dir.filePath(name);
        const uint32_t bytes = uint32_t(seconds) * 44100u * 4u;
        QByteArray out("RIFF");
        auto le = [&](uint32_t v, int n) {
            for (int i = 0; i < n; ++i)
                out.append(char((v >> (8 * i)) & 0xFF));
        };
        le(36 + bytes, 4);
        out.append("WAVEfmt ");
        le(16, 4), le(1, 2), le(2, 2), le(44100, 4), le(44100 * 4, 4), le(4, 2), le(16, 2);
        out.append("data");
        le(bytes, 4);
        out.append(QByteArray(int(bytes), char(0x10)));
        QFile f(file);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(out);
        return file;
    }

    TSlideRecord* addSlide(const QString& sound = {}, uint8_t soundMode = 0)
    {
        TSlideRecord* s = AddNewSlide(m_show, testutil::solidImage(4, 4, 0x808080), QStringLiteral("bild.jpg"));
        s->Effect = 1;
        s->TransTime = 0;
        s->PauseTime = 1000;
        s->SoundMode = soundMode;
        SetString(s->SoundFile, sound);
        return s;
    }

    QTemporaryDir m_dir;
    ShowDocument m_show;
};

// Lets the window's event loop run until done() holds; a generous bound
// only keeps a broken build from hanging.
bool runEventsUntil(const std::function<bool()>& done)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < 30000)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

} // namespace

// The tick that starts a slide returns while the slide's sound is still
// decoding; the sound starts when the decode is handed over to the window.
TEST_F(ShowSound, TheSlideStartsBeforeItsSoundIsDecoded)
{
    addSlide();
    addSlide(wav("lang.wav", 10));
    m_show.Settings.FullScreen = false;
    platform::ManualClock clock(5000);
    platform::SoundDecodeHold hold;
    TShowForm form;
    ASSERT_TRUE(form.BeginShow(m_show.Slides, m_show.Settings));
    EXPECT_EQ(hold.requested(), 1) << "the second slide's sound was not decoded ahead";

    clock.advance(1000);
    form.Timer1Timer(); // the decode is held: this returns only because it does not wait
    ASSERT_EQ(form.playback()->CurrentIndex, 1);
    EXPECT_EQ(hold.requested(), 1) << "the sound decoded ahead was not used";
    EXPECT_TRUE(form.MediaPlayer1.Loading());
    EXPECT_TRUE(form.MediaPlayer1.IsPlaying());

    hold.release();
    EXPECT_TRUE(runEventsUntil([&] { return !form.MediaPlayer1.Loading(); }));
    EXPECT_EQ(form.MediaPlayer1.Mode(), platform::TMPModes::mpPlaying);

    form.findChild<QWidget*>("ShowPaintBox1")->setFocus();
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier, QStringLiteral("\x1b"));
    QApplication::sendEvent(&form, &escape);
    QApplication::processEvents();
    form.FinishShow();
    EXPECT_FALSE(form.MediaPlayer1.IsPlaying());
}

// Moving on from a slide whose sound has not started yet: with SoundMode 0
// it is stopped, so it never starts.
TEST_F(ShowSound, ASoundStoppedWhileDecodingNeverStarts)
{
    addSlide(wav("eins.wav", 10), 0);
    addSlide();
    platform::ManualClock clock(5000);
    platform::SoundDecodeHold hold;
    TShowForm form;
    ASSERT_TRUE(form.BeginShow(m_show.Slides, m_show.Settings));
    EXPECT_TRUE(form.MediaPlayer1.IsPlaying());
    form.ForwardBtnClick();
    EXPECT_FALSE(form.MediaPlayer1.IsPlaying());

    hold.release();
    form.MediaPlayer1.WaitForLoad();
    QApplication::processEvents();
    EXPECT_EQ(form.MediaPlayer1.Mode(), platform::TMPModes::mpStopped);
    form.ExitBtnClick();
    QApplication::processEvents();
    form.FinishShow();
}
