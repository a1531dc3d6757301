#include "platform/msgbox.h"
#include "player/mainform.h"
#include "raster/rasterio.h"
#include "show/showfile.h"
#include "tests/testutil.h"

#include <QApplication>
#include <QDir>
#include <QTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

// A short show: two slides of 100 + 200 ms.
void writeShow(const QString& path, int32_t endMode, bool visible)
{
    show::ShowDocument show;
    for (int i = 0; i < 2; ++i) {
        show::TSlideRecord* s = show::AddNewSlide(show, testutil::patternImage(16, 12, 24, uint32_t(i)),
                                                  QStringLiteral("/bilder/%1.jpg").arg(i));
        s->TransTime = 100;
        s->PauseTime = 200;
        s->Effect = 1;
        s->PictureVisible = visible;
    }
    show.Settings.EndMode = endMode;
    show.Settings.FullScreen = false;
    show.Settings.MusicFile = QStringLiteral("/gibt/es/nicht.mid");
    ASSERT_TRUE(show::SaveFile(show, path, false));
}

} // namespace

TEST(Player, TheMainWindowAsDesigned)
{
    player::TMainForm form({});
    EXPECT_EQ(form.windowTitle(), "KOR-VAN Lumivox Player 3.0 - [Unbenannt.sli]");
    EXPECT_EQ(form.size(), QSize(436, 178));
    auto* open = form.findChild<QToolButton*>("OpenBtn");
    ASSERT_TRUE(open);
    EXPECT_EQ(open->text(), QString::fromUtf8("\u00d6&ffnen..."));
    EXPECT_EQ(open->toolTip(), QString::fromUtf8("SlideShow \u00f6ffnen..."));
    EXPECT_EQ(form.document().Slides.GrowBy(), 1u);
    EXPECT_TRUE(form.ShowForm());
}

TEST(Player, OpensAShowIntoItsFieldsWithProgress)
{
    QTemporaryDir dir;
    writeShow(dir.filePath("reise.sli"), show::emWaitKey, true);
    player::TMainForm form({});
    form.SetProStatus(40);
    EXPECT_EQ(form.ProStatus(), 40);
    ASSERT_TRUE(form.OpenFile(dir.filePath("reise.sli")));
    EXPECT_EQ(form.windowTitle(), "KOR-VAN Lumivox Player 3.0 - [reise.sli]");
    EXPECT_EQ(form.document().Slides.Count(), 2u);
    EXPECT_EQ(form.document().Settings.EndMode, show::emWaitKey);
    EXPECT_FALSE(form.document().Settings.FullScreen);
    EXPECT_EQ(form.ProStatus(), 0); // reset once the pictures are in
}

TEST(Player, AMissingOrInvisibleShowLeavesTheWindowWaiting)
{
    QTemporaryDir dir;
    writeShow(dir.filePath("leer.sli"), show::emQuit, false);
    struct Case {
        QString file;
        QStringList messages;
    };
    const Case cases[] = {
        {dir.filePath("fehlt.sli"), {QString::fromUtf8("Lumivox \u00f6ffnen: Konnte die Datei fehlt.sli nicht \u00f6ffnen!")}},
        {dir.filePath("leer.sli"), {}},
    };
    for (const Case& c : cases) {
        platform::MessageBoxScript script;
        player::TMainForm form({c.file});
        form.show();
        QApplication::processEvents();
        QApplication::processEvents();
        EXPECT_EQ(script.texts(), c.messages);
        EXPECT_FALSE(form.Played());
        EXPECT_TRUE(form.isVisible());
        EXPECT_FALSE(form.ShowForm()->isVisible());
    }
}

TEST(Player, PlaysAShowGivenOnTheCommandLineAndEnds)
{
    QTemporaryDir dir;
    writeShow(dir.filePath("kurz.sli"), show::emQuit, true);
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("SDL_AUDIODRIVER", "dummy");
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(LUMIVOX_PLAYER), {dir.filePath("kurz.sli")});
    ASSERT_TRUE(p.waitForFinished(30000)) << "the player did not end by itself";
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
}

TEST(Player, TakesARelativeShowNameFromTheWorkingFolderAndPlaysItOnce)
{
    QTemporaryDir dir;
    writeShow(dir.filePath("reise.sli"), show::emQuit, true);
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    platform::MessageBoxScript script;
    player::TMainForm form({QStringLiteral("reise.sli")});
    QDir::setCurrent(before);

    // Ends every show as soon as its window is up, and counts them.
    int shows = 0;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (form.ShowForm()->isVisible()) {
            ++shows;
            form.ShowForm()->ExitBtnClick();
        }
    });
    closer.start(5);
    form.show();
    for (int i = 0; i < 20 && !form.Played(); ++i)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_TRUE(script.texts().isEmpty()) << script.texts().join('\n').toStdString();
    EXPECT_EQ(form.windowTitle(), "KOR-VAN Lumivox Player 3.0 - [reise.sli]");
    EXPECT_EQ(form.document().Slides.Count(), 2u);
    EXPECT_TRUE(form.Played());
    EXPECT_EQ(shows, 1);

    // Shown again (as after minimising), the window starts nothing.
    form.show();
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(shows, 1);
    EXPECT_FALSE(form.ShowForm()->isVisible());
}
