#include "platform/clock.h"
#include "raster/rasterio.h"
#include "show/playback.h"
#include "tests/testutil.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>

using namespace show;
using platform::COLORREF;

namespace {

// A window for the engine that records what it is asked to do.
class FakeHost : public ShowHost {
public:
    bool closed = false;
    QSize size{64, 48};
    std::vector<QImage> frames;  // every frame presented, in order
    QStringList mci;             // media control strings sent
    std::deque<QString> status;  // answers to "status musik mode" (the last one repeats)
    QStringList sounds;          // "play FILE" and "stop", in order
    bool playing = false;
    std::vector<bool> cursorHidden;

    void closeShow() override { closed = true; }
    QSize surfaceSize() const override { return size; }
    void present(const platform::GdiBitmap& frame) override { frames.push_back(frame.image().copy()); }
    int sendMci(const QString& command, char* buffer, int length) override
    {
        mci << command;
        if (buffer && length > 0) {
            QByteArray answer = status.empty() ? QByteArray() : status.front().toLatin1();
            if (status.size() > 1)
                status.pop_front();
            answer.truncate(length - 1);
            std::memcpy(buffer, answer.constData(), size_t(answer.size()) + 1);
        }
        return 0;
    }
    bool soundPlaying() override { return playing; }
    void stopSound() override
    {
        sounds << "stop";
        playing = false;
    }
    void playSound(const QString& file) override
    {
        sounds << "play " + file;
        playing = true;
    }
    void setCursorHidden(bool hidden) override { cursorHidden.push_back(hidden); }
};

// A slide of one colour filling the screen, shown 1000 + 3000 ms, with
// the alpha blend.
TSlideRecord* addSlide(ShowDocument& show, COLORREF colour, int trans = 1000, int pause = 3000)
{
    TSlideRecord* s = AddNewSlide(show, testutil::solidImage(8, 6, colour), QStringLiteral("bild.jpg"));
    s->Effect = 1;
    s->KeepAspect = 0;
    s->TransTime = trans;
    s->PauseTime = pause;
    return s;
}

QRgb centre(const QImage& frame)
{
    return frame.pixel(frame.width() / 2, frame.height() / 2) & 0xFFFFFF;
}

QRgb rgb(COLORREF c)
{
    return qRgb(platform::GetRValue(c), platform::GetGValue(c), platform::GetBValue(c)) & 0xFFFFFF;
}

struct ShowRun {
    ShowDocument show;
    FakeHost host;
    platform::ManualClock clock{1000};
    std::unique_ptr<ShowPlayback> playback;

    void start()
    {
        playback = std::make_unique<ShowPlayback>(show.Slides, show.Settings, host);
        ASSERT_TRUE(playback->StartShow());
    }
    // Ticks every 50 ms for ms milliseconds; records the slide index at
    // every tick after a change.
    std::vector<std::pair<uint32_t, int>> ticks(uint32_t ms)
    {
        std::vector<std::pair<uint32_t, int>> changes;
        for (uint32_t t = 0; t < ms && !host.closed; t += 50) {
            clock.advance(50);
            const int before = playback->CurrentIndex;
            playback->Timer1Timer();
            if (playback->CurrentIndex != before)
                changes.push_back({clock.now() - 1000, playback->CurrentIndex});
        }
        return changes;
    }
};

} // namespace

TEST(Playback, SlidesChangeAfterTransitionAndPause)
{
    ShowRun r;
    addSlide(r.show, 0x0000FF);
    addSlide(r.show, 0x00FF00);
    addSlide(r.show, 0xFF0000);
    r.start();
    const auto changes = r.ticks(12000);
    const std::vector<std::pair<uint32_t, int>> expected = {{4000, 1}, {8000, 2}, {12000, 0}};
    EXPECT_EQ(changes, expected);
}

TEST(Playback, TheFirstSlideFadesInFromBlackAndTheNextFromTheLastScreen)
{
    ShowRun r;
    addSlide(r.show, 0x0000FF); // red
    addSlide(r.show, 0x00FF00); // green
    r.start();
    r.ticks(500);
    // Half way through the blend from black: about half red.
    const QRgb half = centre(r.host.frames.back());
    EXPECT_NEAR(qRed(half), 0x80, 8);
    EXPECT_EQ(qGreen(half), 0);
    r.ticks(600);
    EXPECT_EQ(centre(r.host.frames.back()), rgb(0x0000FF));

    // Into slide 1: its transition starts from the red screen.
    r.ticks(2900); // 4000: the change
    const QRgb start = centre(r.host.frames.back());
    EXPECT_GE(qRed(start), 0xF0);
    r.ticks(500);
    const QRgb mid = centre(r.host.frames.back());
    EXPECT_NEAR(qRed(mid), 0x80, 10);
    EXPECT_NEAR(qGreen(mid), 0x80, 10);
}

TEST(Playback, ACollageGroupLastsAsLongAsItsLongestMember)
{
    ShowRun r;
    addSlide(r.show, 0x0000FF, 1000, 3000);
    TSlideRecord* member = addSlide(r.show, 0x00FF00, 2000, 4000);
    member->CollageMember = 1;
    addSlide(r.show, 0xFF0000);
    r.start();
    EXPECT_EQ(r.playback->GroupDuration(0), 6000);
    EXPECT_EQ(r.playback->GroupDuration(1), 6000);
    const auto changes = r.ticks(10000);
    const std::vector<std::pair<uint32_t, int>> expected = {{6000, 2}, {10000, 0}};
    EXPECT_EQ(changes, expected);
}

TEST(Playback, EverySlideIsShownOncePerPassWhateverTheLayout)
{
    // A layout is one letter per slide: h a picture that starts a group, m a
    // picture that joins the slides before it, V a video slide, v a video
    // slide marked as joining. groups: the slides every group shows, heads
    // first, in show order.
    struct Layout {
        const char* slides;
        std::vector<std::vector<int>> groups;
    };
    const Layout layouts[] = {
        {"hmmh", {{0, 1, 2}, {3}}},
        {"mmh", {{0, 1}, {2}}},                    // a first slide that joins starts the first group
        {"vmmh", {{0, 1, 2}, {3}}},                // a video at the start heads its members
        {"hmVmmh", {{0, 1}, {2, 3, 4}, {5}}},      // a video in the middle never joins, but heads
        {"hmv", {{0, 1}, {2}}},                    // a video at the end
        {"hVvmh", {{0}, {1}, {2, 3}, {4}}},        // two videos in a row
        {"hmVm", {{0, 1}, {2, 3}}},                // members after a video end the show
        {"V", {{0}}},
    };
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(layout.slides);
        const int n = int(std::strlen(layout.slides));
        ShowRun r;
        r.host.size = QSize(8 * n, 8);
        std::vector<int> duration(static_cast<size_t>(n), 0);
        std::vector<COLORREF> colour(static_cast<size_t>(n), 0);
        for (int i = 0; i < n; ++i) {
            const char kind = layout.slides[i];
            // Slide i in the i-th column of the screen, in a colour of its own.
            colour[size_t(i)] = COLORREF(0x20 + 0x18 * i) << 8 | 0x40;
            TSlideRecord* s = addSlide(r.show, colour[size_t(i)], 50, 100 + 50 * ((i * 7) % 5));
            SetString(s->FileName, kind == 'V' || kind == 'v' ? "film.mpg" : "bild.jpg");
            s->CollageMember = kind == 'm' || kind == 'v' ? 1 : 0;
            s->Frame = {i * 1000 / n, 0, (i + 1) * 1000 / n, 1000};
            duration[size_t(i)] = s->TransTime + s->PauseTime;
        }
        std::vector<int> heads;
        for (const auto& members : layout.groups) {
            heads.push_back(members.front());
            for (int m : members) {
                EXPECT_EQ(CollageGroup(r.show.Slides, m).First, members.front()) << "slide " << m;
                EXPECT_EQ(CollageGroup(r.show.Slides, m).End, members.back() + 1) << "slide " << m;
            }
        }
        r.start();

        // Forward by the clock, one whole pass and into the next: each group
        // for its longest member's time, showing exactly its members.
        std::vector<int> visited{r.playback->CurrentIndex};
        std::vector<uint32_t> changedAt;
        int sinceChange = 0;
        for (int t = 0; t < 20000 && visited.size() <= heads.size(); t += 50) {
            r.clock.advance(50);
            const uint32_t slideStart = r.playback->SlideStart;
            r.playback->Timer1Timer();
            if (r.playback->SlideStart != slideStart) { // a slide change, even to the same slide
                visited.push_back(r.playback->CurrentIndex);
                changedAt.push_back(r.clock.now() - 1000);
                sinceChange = 0;
                continue;
            }
            if (++sinceChange < 2)
                continue; // the transition is still running
            const QImage& frame = r.host.frames.back();
            const SlideGroup group = CollageGroup(r.show.Slides, r.playback->CurrentIndex);
            for (int i = 0; i < n; ++i) {
                const bool member = i >= group.First && i < group.End;
                const QRgb expected = member ? rgb(colour[size_t(i)]) : 0;
                ASSERT_EQ(frame.pixel(8 * i + 4, 4) & 0xFFFFFF, expected)
                    << "slide " << i << " on the screen of " << r.playback->CurrentIndex;
            }
        }
        std::vector<int> forward = heads;
        forward.push_back(0); // and round again
        EXPECT_EQ(visited, forward);
        uint32_t at = 0;
        std::vector<uint32_t> expectedTimes;
        for (const auto& members : layout.groups) {
            int longest = 0;
            for (int m : members)
                longest = std::max(longest, duration[size_t(m)]);
            EXPECT_EQ(r.playback->GroupDuration(members.front()), longest);
            at += uint32_t(longest);
            expectedTimes.push_back(at);
        }
        EXPECT_EQ(changedAt, expectedTimes);

        // Back from the last group to the first, head by head.
        while (r.playback->CurrentIndex != heads.back())
            r.playback->ForwardBtnClick();
        std::vector<int> backward{r.playback->CurrentIndex};
        while (r.playback->CurrentIndex != 0) {
            r.playback->BackBtnClick();
            backward.push_back(r.playback->CurrentIndex);
            ASSERT_LE(backward.size(), heads.size());
        }
        EXPECT_EQ(backward, std::vector<int>(heads.rbegin(), heads.rend()));
    }
}

TEST(Playback, EndModes)
{
    {   // Quit: the window closes once the last group's time is over.
        ShowRun r;
        r.show.Settings.EndMode = emQuit;
        addSlide(r.show, 0x0000FF);
        addSlide(r.show, 0x00FF00);
        r.start();
        r.ticks(7950);
        EXPECT_FALSE(r.host.closed);
        r.ticks(50);
        EXPECT_TRUE(r.host.closed);
    }
    {   // Wait for a key: the last screen stays; forward changes nothing; a key closes.
        ShowRun r;
        r.show.Settings.EndMode = emWaitKey;
        addSlide(r.show, 0x0000FF);
        addSlide(r.show, 0x00FF00);
        r.start();
        r.ticks(8000);
        EXPECT_TRUE(r.playback->WaitingForKey);
        EXPECT_EQ(r.playback->CurrentIndex, 1);
        const size_t shown = r.host.frames.size();
        const QImage last = r.host.frames.back();
        r.playback->ForwardBtnClick();
        r.ticks(3000);
        EXPECT_EQ(r.host.frames.size(), shown);
        EXPECT_EQ(r.host.frames.back(), last);
        EXPECT_FALSE(r.host.closed);
        r.playback->FormKeyPress('x');
        EXPECT_TRUE(r.host.closed);
    }
    {   // Escape closes at any time; other keys do nothing while playing.
        ShowRun r;
        addSlide(r.show, 0x0000FF);
        r.start();
        r.playback->FormKeyPress('x');
        EXPECT_FALSE(r.host.closed);
        r.playback->FormKeyPress(27);
        EXPECT_TRUE(r.host.closed);
    }
}

TEST(Playback, PauseFreezesTheSlidesTime)
{
    ShowRun r;
    addSlide(r.show, 0x0000FF);
    addSlide(r.show, 0x00FF00);
    r.start();
    r.ticks(1500);
    r.playback->StopBtnClick();
    EXPECT_FALSE(r.playback->StopEnabled);
    EXPECT_TRUE(r.playback->PlayEnabled);
    const size_t shown = r.host.frames.size();
    EXPECT_TRUE(r.ticks(10000).empty());
    EXPECT_EQ(r.host.frames.size(), shown); // the screen keeps the last frame
    r.playback->PlayBtnClick();
    const auto changes = r.ticks(3000);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].first, 1500u + 10000u + 2500u);
}

TEST(Playback, BackAndForward)
{
    ShowRun r;
    addSlide(r.show, 0x0000FF);
    addSlide(r.show, 0x00FF00);
    addSlide(r.show, 0x00FF00)->CollageMember = 1;
    addSlide(r.show, 0xFF0000);
    r.start();
    r.ticks(1000);
    r.playback->BackBtnClick(); // on slide 0: stays, its time starts again
    EXPECT_EQ(r.playback->CurrentIndex, 0);
    EXPECT_EQ(r.playback->SlideStart, r.clock.now());
    r.playback->ForwardBtnClick();
    EXPECT_EQ(r.playback->CurrentIndex, 1);
    r.playback->ForwardBtnClick(); // the group's member is skipped
    EXPECT_EQ(r.playback->CurrentIndex, 3);
    r.playback->BackBtnClick(); // lands on the group's head
    EXPECT_EQ(r.playback->CurrentIndex, 1);
    r.playback->StopBtnClick();
    r.playback->ForwardBtnClick(); // also resumes
    EXPECT_FALSE(r.playback->Paused);
    EXPECT_TRUE(r.playback->StopEnabled);
}

TEST(Playback, SlideSounds)
{
    ShowRun r;
    TSlideRecord* a = addSlide(r.show, 0x0000FF);
    SetString(a->SoundFile, "/ton/a.wav");
    a->SoundMode = 0; // stops when the next picture comes
    TSlideRecord* b = addSlide(r.show, 0x00FF00);
    SetString(b->SoundFile, "/ton/b.wav");
    b->SoundMode = 1; // runs on
    TSlideRecord* member = addSlide(r.show, 0x00FF00);
    member->CollageMember = 1;
    SetString(member->SoundFile, "/ton/nie.wav"); // a member's sound never plays
    addSlide(r.show, 0xFF0000);
    r.start();
    EXPECT_EQ(r.host.sounds, QStringList{"play /ton/a.wav"});
    r.ticks(4000);
    EXPECT_EQ(r.host.sounds, (QStringList{"play /ton/a.wav", "stop", "play /ton/b.wav"}));
    r.ticks(4000); // to slide 3: b runs on
    EXPECT_EQ(r.host.sounds.size(), 3);
    EXPECT_TRUE(r.host.playing);
    r.playback->EndShow();
    EXPECT_EQ(r.host.sounds.back(), "stop");
    EXPECT_FALSE(r.host.sounds.contains("play /ton/nie.wav"));
}

TEST(Playback, TheMusicLoopRestartsOnEveryChangeOfItsMode)
{
    ShowRun r;
    r.show.Settings.MusicFile = "/musik/lied.mid";
    r.show.Settings.PlayBar = false;
    addSlide(r.show, 0x0000FF);
    r.host.status = {"playing", "playing", "playing", "stopped", "playing", "playing"};
    r.start();
    EXPECT_EQ(r.host.mci, (QStringList{"open /musik/lied.mid alias musik", "play musik from 0", "status musik mode"}));
    EXPECT_EQ(r.playback->MusicStatus, "playing");
    EXPECT_EQ(r.host.cursorHidden, std::vector<bool>{true});
    r.host.mci.clear();
    r.ticks(250); // five ticks: playing, playing, stopped, playing, playing
    EXPECT_EQ(r.host.mci, (QStringList{"status musik mode", "status musik mode", "status musik mode",
                                       "play musik from 0", "status musik mode", "play musik from 0",
                                       "status musik mode"}));
    r.playback->EndShow();
    EXPECT_EQ(r.host.mci.back(), "close musik");
    EXPECT_EQ(r.host.cursorHidden, (std::vector<bool>{true, false}));
}

TEST(Playback, ACounterWrapDuringASlide)
{
    ShowRun r;
    addSlide(r.show, 0x0000FF);
    addSlide(r.show, 0x00FF00);
    r.clock.set(0xFFFFFFFFu - 1000);
    r.start();
    int changedAt = -1;
    for (int t = 50; t <= 5000 && changedAt < 0; t += 50) {
        r.clock.advance(50);
        r.playback->Timer1Timer();
        if (r.playback->CurrentIndex == 1)
            changedAt = t;
    }
    EXPECT_EQ(changedAt, 4000);
}

TEST(Playback, AShowWithoutVisiblePicturesDoesNotStart)
{
    ShowDocument show;
    addSlide(show, 0)->PictureVisible = 0;
    FakeHost host;
    ShowPlayback playback(show.Slides, show.Settings, host);
    EXPECT_FALSE(playback.StartShow());
    EXPECT_FALSE(playback.Running);
    ShowDocument empty;
    ShowPlayback none(empty.Slides, empty.Settings, host);
    EXPECT_FALSE(none.StartShow());
}

TEST(Playback, ExportModeKeepsEveryFrame)
{
    ShowRun r;
    addSlide(r.show, 0x0000FF);
    r.start();
    r.playback->ExportMode = true;
    r.playback->ExportWidth = 32;
    r.playback->ExportHeight = 20;
    r.ticks(2000);
    ASSERT_NE(r.playback->ExportFrame.Bits, nullptr);
    EXPECT_EQ(raster::DibWidth(r.playback->ExportFrame), 32);
    EXPECT_EQ(raster::getpixel(r.playback->ExportFrame, 16, 10), 0x0000FFu);
    r.ticks(2000); // the end of the show closes an export
    EXPECT_TRUE(r.host.closed);
}
