#include "platform/paths.h"

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
