#include "platform/clock.h"
#include "raster/rasterio.h"
#include "show/showform.h"
#include "tests/testutil.h"

#include <QApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QToolButton>
#include <QWindow>

#include <functional>

#include <gtest/gtest.h>

using namespace show;

TEST(ShowForm, WindowAndPlayBarAsDesigned)
{
    TShowForm form;
    EXPECT_EQ(form.objectName(), "ShowForm");
    EXPECT_EQ(form.windowTitle(), "KOR-VAN Lumivox 3.0");
    EXPECT_EQ(form.size(), QSize(696, 480));
    EXPECT_EQ(form.pos(), QPoint(192, 114));
    const std::pair<const char*, const char*> buttons[] = {
        {"BackBtn", "Ein Bild zur\u00fcck"}, {"PlayBtn", "Abspielen"},     {"StopBtn", "Anhalten"},
        {"ForwardBtn", "Ein Bild vor"},      {"ExitBtn", "Show beenden"},
    };
    for (const auto& [name, hint] : buttons) {
        auto* b = form.findChild<QToolButton*>(name);
        ASSERT_TRUE(b) << name;
        EXPECT_EQ(b->toolTip(), QString::fromUtf8(hint));
        EXPECT_TRUE(b->autoRaise());
    }
    EXPECT_FALSE(form.findChild<QToolButton*>("PlayBtn")->isEnabled());
    EXPECT_EQ(form.Timer1.interval(), 50);
    EXPECT_FALSE(form.Timer1.isActive());
    EXPECT_FALSE(form.Timer2.isActive());
}

TEST(ShowForm, PlaysOnTheScreenAndClosesOnEscape)
{
    ShowDocument show;
    TSlideRecord* s = AddNewSlide(show, testutil::patternImage(8, 8, 24), "a.jpg");
    s->Effect = 1;
    show.Settings.FullScreen = true;
    show.Settings.PlayBar = false;
    platform::ManualClock clock(5000);

    TShowForm form;
    ASSERT_TRUE(form.BeginShow(show.Slides, show.Settings));
    QApplication::processEvents();
    EXPECT_TRUE(form.windowState() & Qt::WindowFullScreen);
    EXPECT_EQ(form.geometry(), form.screen()->geometry());
    EXPECT_FALSE(form.findChild<QWidget*>("Panel1")->isVisible());
    EXPECT_EQ(form.cursor().shape(), Qt::BlankCursor);
    EXPECT_TRUE(form.Timer1.isActive());

    clock.advance(2000);
    form.Timer1Timer();
    const QImage& frame = form.screenFrame();
    ASSERT_FALSE(frame.isNull());
    EXPECT_EQ(frame.size(), form.findChild<QWidget*>("ShowPaintBox1")->size());

    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier, QStringLiteral("\x1b"));
    QApplication::sendEvent(&form, &escape);
    QApplication::processEvents();
    EXPECT_FALSE(form.isVisible());
    form.FinishShow();
    EXPECT_EQ(form.cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(form.playback(), nullptr);
}

TEST(ShowForm, PauseAndPlayButtons)
{
    ShowDocument show;
    AddNewSlide(show, testutil::patternImage(8, 8, 24), "a.jpg");
    show.Settings.FullScreen = false;
    platform::ManualClock clock(5000);
    TShowForm form;
    ASSERT_TRUE(form.BeginShow(show.Slides, show.Settings));
    auto* stop = form.findChild<QToolButton*>("StopBtn");
    auto* play = form.findChild<QToolButton*>("PlayBtn");
    EXPECT_TRUE(form.findChild<QWidget*>("Panel1")->isVisible());
    stop->click();
    EXPECT_TRUE(form.playback()->Paused);
    EXPECT_FALSE(stop->isEnabled());
    EXPECT_TRUE(play->isEnabled());
    play->click();
    EXPECT_FALSE(form.playback()->Paused);
    form.findChild<QToolButton*>("ExitBtn")->click();
    QApplication::processEvents();
    EXPECT_FALSE(form.isVisible());
    form.FinishShow();
}

// Full screen is the window system's state; the next windowed run in the
// same window is a framed window at the designed place and size again, and
// a windowed run keeps where the user put the window.
TEST(ShowForm, AWindowedRunAfterAFullScreenRunHasItsFrameBack)
{
    ShowDocument show;
    AddNewSlide(show, testutil::patternImage(8, 8, 24), "a.jpg");
    platform::ManualClock clock(5000);
    TShowForm form;
    auto run = [&](bool fullScreen, const std::function<void()>& whilePlaying) {
        show.Settings.FullScreen = fullScreen;
        ASSERT_TRUE(form.BeginShow(show.Slides, show.Settings));
        QApplication::processEvents();
        whilePlaying();
        form.ExitBtnClick();
        QApplication::processEvents();
        ASSERT_FALSE(form.isVisible());
        form.FinishShow();
    };

    run(true, [&] {
        EXPECT_EQ(form.windowState() & Qt::WindowFullScreen, Qt::WindowFullScreen);
        EXPECT_FALSE(form.windowFlags() & Qt::FramelessWindowHint);
        EXPECT_EQ(form.frameGeometry(), form.screen()->geometry());
    });
    EXPECT_FALSE(form.windowState() & Qt::WindowFullScreen);

    run(false, [&] {
        EXPECT_EQ(form.windowState(), Qt::WindowNoState);
        EXPECT_FALSE(form.windowFlags() & Qt::FramelessWindowHint);
        EXPECT_FALSE(form.windowHandle()->flags() & Qt::FramelessWindowHint);
        EXPECT_EQ(form.size(), QSize(696, 480));
        EXPECT_EQ(form.pos(), QPoint(192, 114));
        form.move(300, 200);
        form.resize(500, 400);
    });
    run(false, [&] {
        EXPECT_EQ(form.pos(), QPoint(300, 200));
        EXPECT_EQ(form.size(), QSize(500, 400));
    });
}
