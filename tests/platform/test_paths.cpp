#include "platform/filedialog.h"
#include "platform/paths.h"

#include <QFileInfo>
#include <QStandardPaths>

#include <gtest/gtest.h>

using namespace platform;

TEST(Paths, SplitsNativeAndWindowsNames)
{
    struct Case {
        const char* name;
        const char* folder;
        const char* file;
        const char* ext;
    };
    const Case cases[] = {
        {"/home/anna/Bilder/urlaub.jpg", "/home/anna/Bilder/", "urlaub.jpg", ".jpg"},
        {"C:\\Dias\\Sommer 2003\\strand.JPG", "C:\\Dias\\Sommer 2003\\", "strand.JPG", ".JPG"},
        {"gemischt/ordner\\bild.tar.gz", "gemischt/ordner\\", "bild.tar.gz", ".gz"},
        {"bild", "", "bild", ""},
        {"/ordner.neu/datei", "/ordner.neu/", "datei", ""},
        {"/ordner/", "/ordner/", "", ""},
        {"", "", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ExtractFilePath(QString::fromUtf8(c.name)), QString::fromUtf8(c.folder)) << c.name;
        EXPECT_EQ(ExtractFileName(QString::fromUtf8(c.name)), QString::fromUtf8(c.file)) << c.name;
        EXPECT_EQ(ExtractFileExt(QString::fromUtf8(c.name)), QString::fromUtf8(c.ext)) << c.name;
    }
}

TEST(Paths, ChangesExtensionsAndSeparators)
{
    EXPECT_EQ(ChangeFileExt("/a.b/show.sli", ".avi"), "/a.b/show.avi");
    EXPECT_EQ(ChangeFileExt("/a.b/show", ".avi"), "/a.b/show.avi");
    EXPECT_EQ(IncludeTrailingPathDelimiter("/tmp"), "/tmp/");
    EXPECT_EQ(IncludeTrailingPathDelimiter("/tmp/"), "/tmp/");
    EXPECT_EQ(toNativeSeparators("C:\\Dias\\a.jpg"), "C:/Dias/a.jpg");
}

TEST(Paths, WrittenFilesGoToTheUsersFolderWhenTheProgramsIsReadOnly)
{
    EXPECT_EQ(platform::WritableDataFile("/opt/lumivox/", "folders.dat", true), "/opt/lumivox/folders.dat");
    const QString own = platform::WritableDataFile("/opt/lumivox/", "folders.dat", false);
    const QString users = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    EXPECT_EQ(own, users + "/KOR-VAN/Lumivox/folders.dat");
    EXPECT_TRUE(QFileInfo(users + "/KOR-VAN/Lumivox").isDir());
}

TEST(FileDialogs, FiltersInBothFormsBecomeQtsNameFilters)
{
    EXPECT_EQ(platform::qtNameFilters("Lumivox-Dateien|*.sli"), QStringList{"Lumivox-Dateien (*.sli)"});
    EXPECT_EQ(platform::qtNameFilters("MP3/WAV/MID-Dateien (*.mp3;*.wav;*.mid)|*.mp3;*.wav;*.mid|Alle|*"),
              (QStringList{"MP3/WAV/MID-Dateien (*.mp3 *.wav *.mid)", "Alle (*)"}));
    EXPECT_EQ(platform::qtNameFilters("Bilder (*.jpg *.gif);;Alle Dateien (*)"),
              (QStringList{"Bilder (*.jpg *.gif)", "Alle Dateien (*)"}));

    // A scripted save dialog answers like the real one: a name without an
    // extension gets the default one.
    platform::FileDialogScript script;
    script.choose("/tmp/show");
    script.choose("/tmp/show.SLI");
    platform::FileDialogOptions options;
    options.filter = "Lumivox-Dateien|*.sli";
    options.defaultExt = "sli";
    EXPECT_EQ(platform::GetSaveFileName(nullptr, options), "/tmp/show.sli");
    EXPECT_EQ(platform::GetSaveFileName(nullptr, options), "/tmp/show.SLI");
    EXPECT_EQ(platform::GetSaveFileName(nullptr, options), ""); // nothing queued: Cancel
    EXPECT_EQ(script.shown().size(), 3u);
}
