// The editor's main window as a user meets it: the file commands and their
// questions, the caption, the progress panel, adding pictures through the
// file browser, the favourite folders, and the start-up list of windows.

#include "editor/addpicturespage.h"
#include "editor/mainform.h"
#include "editor/startupforms.h"
#include "platform/filedialog.h"
#include "platform/messages.h"
#include "platform/msgbox.h"
#include "platform/scanner.h"
#include "raster/rasterio.h"
#include "show/progresspanel.h"
#include "show/showfile.h"
#include "tests/testutil.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileSystemModel>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeView>

#include <gtest/gtest.h>

using platform::MsgAnswer;

namespace {

const QString kUntitled = QStringLiteral("KOR-VAN Lumivox 3.0 - [Unbenannt.sli]");

// The editor with a program folder of its own, so that its folders.dat is
// the test's.
struct Editor {
    QTemporaryDir dir;
    std::unique_ptr<editor::TMainForm> form;

    explicit Editor(const QStringList& arguments = {})
    {
        form = std::make_unique<editor::TMainForm>(arguments, dir.path());
    }
    QString path(const QString& name) const { return dir.filePath(name); }
    template <typename T> T* find(const char* name) const
    {
        T* widget = form->findChild<T*>(QLatin1String(name));
        EXPECT_TRUE(widget) << name;
        return widget;
    }
    QStringList imageList() const
    {
        QStringList names;
        auto* list = find<QListWidget>("ImageList");
        for (int i = 0; i < list->count(); ++i)
            names << list->item(i)->text();
        return names;
    }
    QStringList slideNames() const
    {
        QStringList names;
        for (uint32_t i = 0; i < form->document().Slides.Count(); ++i)
            names << show::StringText(form->document().slide(i)->FileName);
        return names;
    }
};

void writeJpeg(const QString& path, int width, int height, uint32_t colour)
{
    raster::DibGuard picture(testutil::solidImage(width, height, colour));
    ASSERT_EQ(raster::SaveDib(picture.get(), path, 7, nullptr), 1) << path.toStdString();
}

void writeShow(const QString& path, const QStringList& names)
{
    show::ShowDocument show;
    for (const QString& name : names)
        show::AddNewSlide(show, testutil::solidImage(8, 6, 0x336699), name);
    show.Settings.MusicFile = QStringLiteral("/musik/titel.mid");
    ASSERT_TRUE(show::SaveFile(show, path, false));
    show::ClearSlides(show.Slides);
}

// Runs the event loop until done() holds; fails after a generous bound.
template <typename Done> bool waitFor(Done done)
{
    QDeadlineTimer deadline(30000);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

} // namespace

TEST(EditorMainForm, FileCommandsSetTheCaptionAndAskFirst)
{
    Editor e;
    EXPECT_EQ(e.form->windowTitle(), kUntitled);
    EXPECT_EQ(e.form->document().Slides.GrowBy(), 100u);
    show::AddNewSlide(e.form->document(), testutil::solidImage(8, 6, 0x112233), QStringLiteral("/bilder/a.jpg"));
    e.form->document().Settings.MusicFile = QStringLiteral("/musik/lied.mp3");
    e.form->UpdateListBox();

    // Save on an untitled show is Save as; the chosen name gets ".sli".
    {
        platform::FileDialogScript files;
        files.choose(e.path("urlaub"));
        e.find<QToolButton>("SaveBtn")->click();
        ASSERT_EQ(files.shown().size(), 1u);
        EXPECT_EQ(files.shown()[0].kind, platform::FileDialogKind::Save);
        EXPECT_EQ(files.shown()[0].options.filter, "Lumivox-Dateien|*.sli");
    }
    EXPECT_EQ(e.form->windowTitle(), "KOR-VAN Lumivox 3.0 - [urlaub.sli]");
    EXPECT_TRUE(testutil::readFile(e.path("urlaub.sli")).startsWith("KOR-VAN Lumivox 3.0"));

    // Save now writes to that name without asking.
    {
        platform::FileDialogScript files;
        QFile::remove(e.path("urlaub.sli"));
        e.find<QToolButton>("SaveBtn")->click();
        EXPECT_TRUE(files.shown().empty());
        EXPECT_TRUE(QFile::exists(e.path("urlaub.sli")));
    }

    // New asks; Cancel changes nothing, OK empties the show but keeps its
    // settings.
    {
        platform::MessageBoxScript boxes;
        boxes.answer(MsgAnswer::Cancel);
        e.find<QToolButton>("NewBtn")->click();
        EXPECT_EQ(e.form->document().Slides.Count(), 1u);
        boxes.answer(MsgAnswer::Ok);
        e.find<QToolButton>("NewBtn")->click();
        ASSERT_EQ(boxes.shown().size(), 2u);
        EXPECT_EQ(boxes.shown()[0].text, "Hiermit gehen alle nicht gespeicherten Informationen verloren.");
        EXPECT_EQ(boxes.shown()[0].caption, "Datei/Neu");
        EXPECT_EQ(boxes.shown()[0].icon, platform::MsgIcon::Information);
        EXPECT_EQ(boxes.shown()[0].buttons, platform::MsgButtons::OkCancel);
    }
    EXPECT_EQ(e.form->document().Slides.Count(), 0u);
    EXPECT_EQ(e.form->document().Settings.MusicFile, "/musik/lied.mp3");
    EXPECT_EQ(e.form->windowTitle(), kUntitled);
    EXPECT_TRUE(e.imageList().isEmpty());
    EXPECT_FALSE(e.find<QPushButton>("DelBtn")->isEnabled());

    // Open asks, then reads the chosen show.
    {
        platform::MessageBoxScript boxes;
        platform::FileDialogScript files;
        files.choose(e.path("urlaub.sli"));
        e.find<QToolButton>("OpenBtn")->click();
        ASSERT_EQ(boxes.shown().size(), 1u);
        EXPECT_EQ(boxes.shown()[0].caption, QString::fromUtf8("Datei/\u00d6ffnen"));
        EXPECT_EQ(files.shown()[0].kind, platform::FileDialogKind::Open);
    }
    EXPECT_EQ(e.form->windowTitle(), "KOR-VAN Lumivox 3.0 - [urlaub.sli]");
    EXPECT_EQ(e.imageList(), QStringList{"a.jpg"});
    EXPECT_TRUE(e.find<QPushButton>("DelBtn")->isEnabled());
    show::ClearSlides(e.form->document().Slides);
}

TEST(EditorMainForm, AFailedOpenOrSaveKeepsTheShowItsNameAndCaption)
{
    Editor e;
    writeShow(e.path("alt.sli"), {QStringLiteral("/bilder/eins.jpg"), QStringLiteral("/bilder/zwei.jpg")});
    ASSERT_TRUE(e.form->OpenFile(e.path("alt.sli")));
    testutil::writeFile(e.path("kaputt.sli"), "KOR-VAN LUMIVOX 3.0 und mehr");
    {
        platform::MessageBoxScript boxes;
        EXPECT_FALSE(e.form->OpenFile(e.path("kaputt.sli")));
        EXPECT_FALSE(e.form->OpenFile(e.path("fehlt.sli")));
        EXPECT_FALSE(e.form->SaveFile(e.path("kein/ordner/neu.sli"), false));
        EXPECT_EQ(boxes.texts(),
                  (QStringList{QString::fromUtf8("Die Datei ist keine g\u00fcltige \"Lumivox 3\"-Datei!"),
                               QString::fromUtf8("Lumivox \u00f6ffnen: Konnte die Datei fehlt.sli nicht \u00f6ffnen!"),
                               QStringLiteral("Lumivox speichern: Konnte die Datei neu.sli nicht erstellen!")}));
    }
    EXPECT_EQ(e.form->windowTitle(), "KOR-VAN Lumivox 3.0 - [alt.sli]");
    EXPECT_EQ(e.form->SavedFileName(), e.path("alt.sli"));
    EXPECT_EQ(e.imageList(), (QStringList{"eins.jpg", "zwei.jpg"}));
    EXPECT_EQ(e.form->document().Settings.MusicFile, "/musik/titel.mid");
    show::ClearSlides(e.form->document().Slides);
}

TEST(EditorMainForm, TheCommandLineShowOpensOnceRelativeToTheWorkingFolder)
{
    QTemporaryDir work;
    writeShow(work.filePath("start.sli"), {QStringLiteral("/bilder/x.jpg")});
    const QString previous = QDir::currentPath();
    QDir::setCurrent(work.path());
    Editor e({QStringLiteral("start.sli")});
    QDir::setCurrent(previous);
    EXPECT_EQ(e.form->windowTitle(), kUntitled);
    e.form->show();
    ASSERT_TRUE(waitFor([&] { return e.form->document().Slides.Count() == 1; }));
    EXPECT_EQ(e.form->windowTitle(), "KOR-VAN Lumivox 3.0 - [start.sli]");

    // Shown again later, the window does not read the file again.
    writeShow(work.filePath("start.sli"), {QStringLiteral("/bilder/y.jpg"), QStringLiteral("/bilder/z.jpg")});
    e.form->hide();
    e.form->show();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(e.slideNames(), QStringList{"/bilder/x.jpg"});
    e.form->hide();
    show::ClearSlides(e.form->document().Slides);

    Editor plain;
    plain.form->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(plain.form->windowTitle(), kUntitled);
    EXPECT_EQ(plain.form->document().Slides.Count(), 0u);
    plain.form->hide();
}

TEST(EditorMainForm, ClosingAsksAndCancelKeepsTheWindow)
{
    Editor e;
    e.form->show();
    platform::MessageBoxScript boxes;
    boxes.answer(MsgAnswer::Cancel);
    e.find<QToolButton>("endebtn")->click();
    EXPECT_TRUE(e.form->isVisible());
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].text,
              "Hiermit beenden Sie das Programm! Alle nicht gespeicherten Daten gehen verloren!");
    EXPECT_EQ(boxes.shown()[0].caption, "Programm beenden");
    boxes.answer(MsgAnswer::Ok);
    e.form->close();
    EXPECT_FALSE(e.form->isVisible());
}

TEST(EditorMainForm, ProgressClearsOnlyWhenItGoesBack)
{
    struct Step {
        int percent;
        bool clears;
        int stored;
    };
    const Step steps[] = {{30, false, 30}, {70, false, 70}, {70, false, 70}, {30, true, 30},
                          {0, true, 0},    {150, false, 100}, {-5, true, 0}};
    show::ProgressRule rule;
    for (const Step& s : steps) {
        EXPECT_EQ(rule.SetProStatus(s.percent), s.clears) << s.percent;
        EXPECT_EQ(rule.percent(), s.stored);
    }

    // What the panel shows: navy over the reported share of its 50 pixels.
    Editor e;
    e.form->show();
    auto* panel = e.form->findChild<QWidget*>("ProgressPanel");
    ASSERT_TRUE(panel);
    for (int percent : {70, 30}) {
        e.form->SetProStatus(percent);
        const QImage image = panel->grab().toImage();
        const int filled = panel->width() * percent / 100;
        EXPECT_EQ(image.pixelColor(filled - 1, image.height() / 2), QColor(0, 0, 0x80)) << percent;
        EXPECT_NE(image.pixelColor(filled + 1, image.height() / 2), QColor(0, 0, 0x80)) << percent;
    }
    // The raster library's progress messages reach it.
    platform::SendMessage(e.form.get(), platform::WM_USER, 40);
    EXPECT_EQ(e.form->ProStatus(), 40);
    e.form->hide();
}

TEST(EditorMainForm, AddingFilesFromTheBrowser)
{
    Editor e;
    QTemporaryDir pictures;
    const QString folder = QDir(pictures.path()).absolutePath() + QChar('/');
    writeJpeg(folder + "b.jpg", 40, 30, 0x0000FF);
    writeJpeg(folder + "a.jpg", 30, 40, 0x00FF00);
    testutil::writeFile(folder + "c.jpg", "kein Bild");
    testutil::writeFile(folder + "notiz.txt", "wird nicht gezeigt");

    e.form->show();
    auto* list = e.find<QTreeView>("JamShellList1");
    // The browser goes to the folder and lists its pictures only.
    e.find<editor::AddPicturesPage>("AddPicturesPage")->SetFolder(folder);
    auto* model = static_cast<QFileSystemModel*>(list->model());
    // The model lists a folder and sorts it on its own time.
    ASSERT_TRUE(waitFor([&] {
        return model->rowCount(list->rootIndex()) == 3 &&
               model->fileName(model->index(0, 0, list->rootIndex())) == "a.jpg";
    }));
    list->selectAll();
    {
        platform::MessageBoxScript boxes;
        e.find<QPushButton>("AddBtn")->click();
        ASSERT_EQ(boxes.shown().size(), 1u);
        EXPECT_EQ(boxes.shown()[0].icon, platform::MsgIcon::None);
        EXPECT_EQ(boxes.shown()[0].buttons, platform::MsgButtons::Ok);
        EXPECT_TRUE(boxes.shown()[0].caption.contains("c.jpg") || boxes.shown()[0].text.contains("c.jpg"));
    }
    // In list order; the unreadable file added nothing.
    EXPECT_EQ(e.slideNames(), (QStringList{folder + "a.jpg", folder + "b.jpg"}));
    EXPECT_EQ(e.imageList(), (QStringList{"a.jpg", "b.jpg"}));
    auto* imageList = e.find<QListWidget>("ImageList");
    EXPECT_EQ(imageList->currentRow(), 1);
    EXPECT_EQ(imageList->selectedItems().size(), 1);
    EXPECT_EQ(raster::DibWidth(e.form->document().slide(1)->Dib), 40);
    EXPECT_EQ(e.form->favourites().folders(), QStringList{folder});
    EXPECT_EQ(e.form->ProStatus(), 0);

    // The Delete key removes the selected slides.
    imageList->setFocus();
    imageList->setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    QApplication::sendEvent(imageList, &del);
    EXPECT_EQ(e.slideNames(), QStringList{folder + "b.jpg"});
    e.form->hide();
    show::ClearSlides(e.form->document().Slides);
}

TEST(EditorMainForm, FavouritesKeepTheirOrderInFoldersDat)
{
    Editor e;
    QTemporaryDir root;
    const QString a = root.path() + "/Urlaub/";
    const QString b = root.path() + "/Feier/";
    const QString aOtherCase = root.path() + "/urlaub/";
    for (const QString& folder : {a, b, aOtherCase}) {
        QDir().mkpath(folder);
        writeJpeg(folder + "bild.jpg", 8, 8, 0x808080);
    }
    for (const QString& folder : {a, b, a, aOtherCase})
        ASSERT_TRUE(e.form->AddFile(folder + "bild.jpg"));
    EXPECT_EQ(e.form->favourites().folders(), (QStringList{aOtherCase, a, b}));
    EXPECT_EQ(testutil::readFile(e.path("folders.dat")),
              (aOtherCase + "\r\n" + a + "\r\n" + b + "\r\n").toUtf8());
    auto* pref = e.find<QListWidget>("PrefListBox");
    ASSERT_EQ(pref->count(), 3);
    EXPECT_EQ(pref->item(0)->text(), aOtherCase);

    // A new window reads them back, empty lines too.
    testutil::writeFile(e.path("folders.dat"), QByteArray("/eins/\r\n\r\n/drei/\r\n"));
    Editor again;
    testutil::writeFile(again.path("folders.dat"), QByteArray("/eins/\r\n\r\n/drei/\r\n"));
    editor::Favourites read(again.path("folders.dat"));
    read.load();
    EXPECT_EQ(read.folders(), (QStringList{"/eins/", "", "/drei/"}));
    show::ClearSlides(e.form->document().Slides);
}

TEST(EditorMainForm, TheStartUpListOfWindows)
{
    Editor e;
    e.form->CreateStartupForms();
    const auto& forms = e.form->StartupForms();
    const auto& list = editor::StartupFormList();
    ASSERT_EQ(forms.size(), list.size());
    EXPECT_EQ(QString::fromLatin1(list.constFirst().name), "TDistributeForm");
    EXPECT_EQ(QString::fromLatin1(list.constLast().name), "TShowForm");
    EXPECT_EQ(list.size(), 34);
    for (qsizetype i = 0; i + 1 < forms.size(); ++i) {
        EXPECT_EQ(forms[i]->objectName(), QString::fromLatin1(list[i].name));
        EXPECT_EQ(forms[i]->windowTitle(), QString::fromUtf8(list[i].caption));
        EXPECT_EQ(forms[i]->parent(), e.form.get());
    }
    EXPECT_TRUE(e.form->ShowForm());
    EXPECT_EQ(e.form->findChild<QWidget*>("TDIBMainForm")->windowTitle(), "Lumivox: Pictorion");

    // The three tabs, their pages in order.
    auto* tabs = e.find<QTabWidget>("MainPages");
    QStringList captions;
    for (int i = 0; i < tabs->count(); ++i) {
        captions << tabs->tabText(i) + ":";
        auto* pages = qobject_cast<QTabWidget*>(tabs->widget(i));
        ASSERT_TRUE(pages);
        for (int k = 0; k < pages->count(); ++k)
            captions << pages->tabText(k);
    }
    EXPECT_EQ(captions, (QStringList{"Bilder:", QString::fromUtf8("Bilder hinzuf\u00fcgen"), "Scannen", "Sichten",
                                     "Retuschieren", "Dias:", "Bild Einstellungen", "Show:", "SlideShow",
                                     "Video-Export", "Web FotoAlbum", "Web Vorschau"}));
}

TEST(EditorMainForm, TheDiasPagesOpenDialogAddsTheChosenFilesInOrder)
{
    Editor e;
    QTemporaryDir pictures;
    writeJpeg(pictures.filePath("z.jpg"), 12, 8, 0x0000FF);
    writeJpeg(pictures.filePath("m.jpg"), 8, 12, 0xFF0000);
    {
        platform::FileDialogScript files;
        files.choose(QStringList{pictures.filePath("z.jpg"), pictures.filePath("m.jpg")});
        e.find<QToolButton>("AddFilesBtn")->click();
        ASSERT_EQ(files.shown().size(), 1u);
        EXPECT_EQ(files.shown()[0].kind, platform::FileDialogKind::OpenMany);
        EXPECT_EQ(files.shown()[0].options.filter, raster::GetDIBOpenFilter());
        files.cancel();
        e.find<QToolButton>("AddFilesBtn")->click();
    }
    EXPECT_EQ(e.slideNames(), (QStringList{pictures.filePath("z.jpg"), pictures.filePath("m.jpg")}));
    EXPECT_EQ(e.imageList(), (QStringList{"z.jpg", "m.jpg"}));
    show::ClearSlides(e.form->document().Slides);
}

TEST(EditorMainForm, AScanBecomesASlideNamedScannedJpg)
{
    Editor e;
    QTemporaryDir pictures;
    writeJpeg(pictures.filePath("vorher.jpg"), 8, 8, 0x00FF00);
    ASSERT_TRUE(e.form->AddFile(pictures.filePath("vorher.jpg")));
    e.form->show();
    // SANE's file reader stands for the scanner: it scans a known picture.
    const QString picture = testutil::sourcePath("tests/fixtures/sane/pictures/colour.ppm");
    platform::ScannerDialogScript script;
    script.device = QStringLiteral("pnm:0");
    script.deviceOptions = {{"status", "1"}, {"three-pass", "0"}, {"hand-scanner", "0"}, {"grayify", "0"},
                            {"filename", picture.toUtf8()}};
    e.find<QToolButton>("TSetupBtn")->click();
    e.find<QToolButton>("ScanBtn")->click();
    ASSERT_TRUE(waitFor([&] { return e.form->document().Slides.Count() == 2 && !platform::scannerBusy(); }));
    EXPECT_EQ(e.imageList(), (QStringList{"vorher.jpg", "scanned.jpg"}));
    auto* imageList = e.find<QListWidget>("ImageList");
    EXPECT_EQ(imageList->currentRow(), 1);
    ASSERT_EQ(imageList->selectedItems().size(), 1);
    EXPECT_EQ(imageList->selectedItems()[0]->text(), "scanned.jpg");
    testutil::Rgb expected;
    ASSERT_TRUE(testutil::readPnm(testutil::readFile(picture), expected));
    EXPECT_EQ(testutil::maxDifference(e.form->document().slide(1)->Dib, expected), 0);
    // A scan has no folder: the favourites are those of the file.
    EXPECT_EQ(e.form->favourites().folders().size(), 1);
    e.form->hide();
    show::ClearSlides(e.form->document().Slides);
}
