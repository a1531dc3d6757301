#include "platform/messages.h"
#include "raster/codec.h"
#include "raster/rasterio.h"
#include "tests/testutil.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace raster;

namespace {
// Collects the percentages posted to it.
class ProgressWindow : public QObject {
public:
    std::vector<int> percents;
    bool event(QEvent* e) override
    {
        if (e->type() == platform::WindowMessageEvent::eventType()) {
            auto* m = static_cast<platform::WindowMessageEvent*>(e);
            if (m->message() == platform::WM_USER)
                percents.push_back(int(m->wParam()));
            return true;
        }
        return QObject::event(e);
    }
};
} // namespace

TEST(OpenDib, FailuresLeaveNoImageAndAGermanText)
{
    QTemporaryDir dir;
    const QString empty = dir.filePath("leer.bmp");
    testutil::writeFile(empty, {});
    const QString text = dir.filePath("text.jpg");
    testutil::writeFile(text, "Das ist kein Bild, nur ein Text.");
    const QString huge = dir.filePath("riesig.bmp");
    {
        // A BMP header claiming 100000 x 100000 pixels at 24 bits.
        QByteArray h(54, '\0');
        h[0] = 'B';
        h[1] = 'M';
        auto put32 = [&h](int at, uint32_t v) {
            for (int i = 0; i < 4; ++i)
                h[at + i] = char(v >> (8 * i));
        };
        put32(10, 54);
        put32(14, 40);
        put32(18, 100000);
        put32(22, 100000);
        h[26] = 1;
        h[28] = 24;
        testutil::writeFile(huge, h);
    }
    struct Case {
        QString file;
        ImageError error;
    };
    const Case cases[] = {
        {dir.filePath("fehlt.bmp"), ImageError::FileMissing},
        {dir.path(), ImageError::CannotRead},
        {empty, ImageError::Damaged},
        {text, ImageError::UnknownFormat},
        {huge, ImageError::TooLarge},
    };
    for (const auto& c : cases) {
        TDibRecord dib;
        OpenDib(&dib, c.file, FormatAuto, nullptr);
        EXPECT_EQ(dib.Bits, nullptr) << c.file.toStdString();
        EXPECT_EQ(DibErrorText(dib), imageErrorText(c.error)) << c.file.toStdString();
        // The text sits zero-terminated where the palette entries start.
        EXPECT_EQ(QString::fromUtf8(reinterpret_cast<const char*>(&dib.LogPal.palPalEntry[0])),
                  imageErrorText(c.error));
        EXPECT_GT(DibErrorText(dib).size(), 5);
        deldib(dib);
    }
}

TEST(OpenDib, ReportsProgressToItsWindow)
{
    QTemporaryDir dir;
    DibGuard picture(testutil::patternImage(40, 300, 24));
    const QString file = dir.filePath("bild.bmp");
    ASSERT_EQ(SaveDib(picture.get(), file, FormatBMP, nullptr), 1);

    ProgressWindow window;
    DibGuard read;
    OpenDib(read.out(), file, FormatAuto, &window);
    ASSERT_TRUE(read);
    QCoreApplication::sendPostedEvents(&window);
    ASSERT_GE(window.percents.size(), 3u);
    EXPECT_EQ(window.percents.front(), 0);
    EXPECT_EQ(window.percents.back(), 100);
    EXPECT_TRUE(std::is_sorted(window.percents.begin(), window.percents.end()));

    ProgressWindow saveWindow;
    ASSERT_EQ(SaveDib(read.get(), dir.filePath("kopie.bmp"), FormatBMP, &saveWindow), 1);
    QCoreApplication::sendPostedEvents(&saveWindow);
    ASSERT_FALSE(saveWindow.percents.empty());
    EXPECT_EQ(saveWindow.percents.back(), 100);
}

TEST(SaveDib, AFailedSaveKeepsThePreviousFile)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("bild.bmp");
    testutil::writeFile(file, "alter Inhalt");
    DibGuard picture(testutil::patternImage(8, 8, 8));
    // No such folder, no image, no such format: 0 and nothing touched.
    EXPECT_EQ(SaveDib(picture.get(), dir.filePath("fehlt/bild.bmp"), FormatBMP, nullptr), 0);
    EXPECT_EQ(SaveDib(TDibRecord{}, file, FormatBMP, nullptr), 0);
    EXPECT_EQ(SaveDib(picture.get(), file, 99, nullptr), 0);
    EXPECT_EQ(testutil::readFile(file), QByteArray("alter Inhalt"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"bild.bmp"});
}

TEST(FileFilters, SaveFilterListsTheElevenFormatsInOrder)
{
    const QStringList entries = GetDIBSaveFilter().split(";;");
    const char* patterns[] = {"*.bmp", "*.dib", "*.gif", "*.iff", "*.jif", "*.jpg", "*.lbm",
                              "*.pcx", "*.rle", "*.tga", "*.tif"};
    ASSERT_EQ(entries.size(), 11);
    for (int k = 0; k < 11; ++k) {
        EXPECT_TRUE(entries[k].contains(patterns[k])) << entries[k].toStdString();
        // Entry k is format k + 2, and the extension leads back to it.
        EXPECT_EQ(FormatFromExtension(QString("x") + (patterns[k] + 1)), k + 3);
    }
    const QString open = GetDIBOpenFilter();
    EXPECT_TRUE(open.startsWith("Alle Bilddateien ("));
    EXPECT_TRUE(open.contains("*.png"));
    EXPECT_TRUE(open.endsWith("Alle Dateien (*)"));
    EXPECT_EQ(FormatFromExtension("/a/B.PNG"), FormatPNG);
    EXPECT_EQ(FormatFromExtension("/a/b.xyz"), 0);
}
