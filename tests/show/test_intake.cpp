#include "platform/msgbox.h"
#include "raster/codec.h"
#include "raster/fingerprint.h"
#include "raster/rasterio.h"
#include "show/intake.h"
#include "show/showfile.h"
#include "tests/show/showbytes.h"
#include "tests/testutil.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <unistd.h>

using namespace show;
using testutil::ShowBytes;
using testutil::SlideFields;

namespace {

QByteArray asBytes(const std::vector<uint8_t>& v)
{
    return QByteArray(reinterpret_cast<const char*>(v.data()), qsizetype(v.size()));
}

QByteArray encoded(const raster::TDibRecord& dib, int format)
{
    raster::EncodeOptions options;
    options.format = format;
    options.jpegQuality = raster::JPEGQual();
    std::vector<uint8_t> bytes;
    EXPECT_EQ(raster::encodeImage(dib, format, bytes, options), raster::ImageError::None);
    return asBytes(bytes);
}

// The show file a show of one new slide named name makes, its picture block
// holding picture in the given format.
QByteArray oneSlideShow(const QByteArray& name, uint8_t format, const QByteArray& picture)
{
    ShowBytes b;
    b.header("", 0, 1, 1, 1);
    SlideFields slide;
    slide.fileName = name;
    slide.pictureFormat = format;
    slide.picture = picture;
    testutil::slideBlock(b, slide);
    return b.bytes();
}

// The picture the raster library reads from path, as the reference.
raster::TDibRecord opened(const QString& path)
{
    raster::TDibRecord dib;
    raster::OpenDib(&dib, path, raster::FormatAuto, nullptr);
    return dib;
}

// What AddFile does with one path: a slide, or the message.
void addFile(ShowDocument& show, const QString& path)
{
    LoadedPicture loaded = LoadPicture(path);
    if (loaded.ok())
        ASSERT_NE(AddPictureSlide(show, loaded, path), nullptr);
    else
        ShowLoadFailure(loaded, path);
}

} // namespace

TEST(Intake, JpegAndGifFilesAreSavedWithTheirOwnBytes)
{
    struct Case {
        const char* fixture;
        const char* name; // the added file's name: the content decides, not the name
        uint8_t format;
    };
    const Case cases[] = {
        {"jpeg/baseline.jpg", "foto.jpg", 0},
        {"jpeg/progressive.jpg", "foto.bild", 0},
        {"gif/rose.gif", "rose.gif", 1},
        {"gif/twoframes.gif", "trick.png", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fixture);
        QTemporaryDir dir;
        const QByteArray file = testutil::readFile(testutil::sourcePath(QStringLiteral("tests/fixtures/") + c.fixture));
        ASSERT_FALSE(file.isEmpty());
        const QString path = dir.filePath(c.name);
        testutil::writeFile(path, file);

        LoadedPicture loaded = LoadPicture(path);
        ASSERT_TRUE(loaded.ok()) << loaded.ErrorText.toStdString();
        EXPECT_TRUE(loaded.ErrorText.isEmpty());
        EXPECT_TRUE(loaded.KeepBytes);
        EXPECT_EQ(loaded.Format, c.format);
        EXPECT_EQ(asBytes(loaded.Bytes), file);
        EXPECT_EQ(loaded.Fingerprint, raster::DibFingerprint(loaded.Picture.get()));
        raster::DibGuard reference(opened(path));
        EXPECT_TRUE(testutil::identical(loaded.Picture.get(), reference.get()));

        ShowDocument show;
        TSlideRecord* slide = AddPictureSlide(show, loaded, path);
        ASSERT_NE(slide, nullptr);
        EXPECT_FALSE(loaded.ok()); // the slide took the picture over
        EXPECT_EQ(StringText(slide->FileName), path);
        EXPECT_TRUE(testutil::identical(slide->Dib, reference.get()));
        ASSERT_TRUE(SaveFile(show, dir.filePath("show.sli"), false));
        // The picture block is the file as it came, byte for byte.
        EXPECT_EQ(testutil::readFile(dir.filePath("show.sli")), oneSlideShow(c.name, c.format, file));
    }
}

TEST(Intake, OtherFormatsKeepNoBytesAndAreEncodedWhenSaved)
{
    struct Case {
        const char* name;
        int format;
        int bitCount;
        uint8_t stored;    // the show file's picture format
        int storedAs;      // the raster format it is encoded with
    };
    const Case cases[] = {
        {"bild.png", raster::FormatPNG, 24, 0, raster::FormatJIF},
        {"bild.bmp", raster::FormatBMP, 8, 1, raster::FormatGIF},
        {"bild.tif", raster::FormatTIF, 4, 1, raster::FormatGIF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath(c.name);
        raster::DibGuard picture(testutil::patternImage(37, 23, c.bitCount, 9));
        ASSERT_EQ(raster::SaveDib(picture.get(), path, c.format, nullptr), 1);

        LoadedPicture loaded = LoadPicture(path);
        ASSERT_TRUE(loaded.ok()) << loaded.ErrorText.toStdString();
        EXPECT_FALSE(loaded.KeepBytes);
        EXPECT_TRUE(loaded.Bytes.empty());
        raster::DibGuard reference(opened(path));
        EXPECT_TRUE(testutil::identical(loaded.Picture.get(), reference.get()));
        // The raster library names the format that read it and hands over
        // no bytes.
        raster::OpenedFile file;
        raster::DibGuard again;
        raster::OpenDib(again.out(), path, raster::FormatAuto, nullptr, file);
        EXPECT_EQ(file.Format, c.format);
        EXPECT_TRUE(file.Bytes.empty());

        ShowDocument show;
        TSlideRecord* slide = AddPictureSlide(show, loaded, path);
        ASSERT_NE(slide, nullptr);
        EXPECT_EQ(UnchangedPictureBytes(*slide), nullptr);
        ASSERT_TRUE(SaveFile(show, dir.filePath("show.sli"), false));
        EXPECT_EQ(testutil::readFile(dir.filePath("show.sli")),
                  oneSlideShow(c.name, c.stored, encoded(reference.get(), c.storedAs)));
    }
}

TEST(Intake, AnUnreadableFileAddsNoSlideAndShowsOneMessage)
{
    QTemporaryDir dir;
    testutil::writeFile(dir.filePath("kaputt.jpg"), "kein Bild");
    QByteArray cut = testutil::readFile(testutil::sourcePath("tests/fixtures/jpeg/baseline.jpg"));
    cut.truncate(40);
    testutil::writeFile(dir.filePath("halb.jpg"), cut);
    // Missing, no picture, cut short, a folder.
    for (const QString& path : {dir.filePath("fehlt.jpg"), dir.filePath("kaputt.jpg"), dir.filePath("halb.jpg"), dir.path()}) {
        SCOPED_TRACE(path.toStdString());
        raster::DibGuard reference(opened(path));
        ASSERT_FALSE(reference);
        const QString reason = raster::DibErrorText(reference.get());
        ASSERT_GT(reason.size(), 5);

        platform::MessageBoxScript script;
        ShowDocument show;
        addFile(show, path);
        EXPECT_EQ(show.Slides.Count(), 0u);
        ASSERT_EQ(script.shown().size(), 1u);
        const platform::ShownMessage& m = script.shown()[0];
        // A reason of more than five characters is the text, the sentence
        // naming the file the caption.
        EXPECT_EQ(m.text, reason);
        EXPECT_EQ(m.caption, QStringLiteral("Fehler: Die Datei ") + path + QStringLiteral(" konnte nicht geladen werden!"));
        EXPECT_EQ(m.icon, platform::MsgIcon::None);
        EXPECT_EQ(m.buttons, platform::MsgButtons::Ok);

        LoadedPicture loaded = LoadPicture(path);
        EXPECT_EQ(loaded.ErrorText, reason);
        EXPECT_FALSE(loaded.KeepBytes);
        EXPECT_EQ(AddPictureSlide(show, loaded, path), nullptr);
        EXPECT_EQ(show.Slides.Count(), 0u);
    }
}

TEST(Intake, AShortOrMissingReasonMakesTheSentenceTheText)
{
    struct Case {
        QString reason;
        bool reasonIsText;
    };
    const Case cases[] = {
        {QString(), false},
        {QStringLiteral("E"), false},
        {QStringLiteral("12345"), false},
        {QStringLiteral("123456"), true},
    };
    const QString name = QStringLiteral("/bilder/urlaub.jpg");
    const QString sentence = QStringLiteral("Fehler: Die Datei /bilder/urlaub.jpg konnte nicht geladen werden!");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason.toStdString());
        LoadedPicture loaded;
        loaded.ErrorText = c.reason;
        platform::MessageBoxScript script;
        ShowLoadFailure(loaded, name);
        ASSERT_EQ(script.shown().size(), 1u);
        EXPECT_EQ(script.shown()[0].text, c.reasonIsText ? c.reason : sentence);
        EXPECT_EQ(script.shown()[0].caption, c.reasonIsText ? sentence : QStringLiteral("Fehler"));
        EXPECT_EQ(script.shown()[0].icon, platform::MsgIcon::None);
        EXPECT_EQ(script.shown()[0].buttons, platform::MsgButtons::Ok);
    }
}

namespace {

// Pictures of every kind in a folder, each different, with unreadable
// files among them.
QStringList mixedFiles(const QTemporaryDir& dir, int count)
{
    QStringList paths;
    for (int i = 0; i < count; ++i) {
        QString path;
        switch (i % 5) {
        case 0:
        case 3: {
            path = dir.filePath(QStringLiteral("foto%1.jpg").arg(i));
            raster::DibGuard picture(testutil::patternImage(30 + i, 20, 24, uint32_t(i + 1)));
            EXPECT_EQ(raster::SaveDib(picture.get(), path, raster::FormatJPG, nullptr), 1);
            break;
        }
        case 1: {
            path = dir.filePath(QStringLiteral("bild%1.gif").arg(i));
            raster::DibGuard picture(testutil::patternImage(20, 10 + i, 8, uint32_t(i + 1)));
            EXPECT_EQ(raster::SaveDib(picture.get(), path, raster::FormatGIF, nullptr), 1);
            break;
        }
        case 2: {
            path = dir.filePath(QStringLiteral("bild%1.png").arg(i));
            raster::DibGuard picture(testutil::patternImage(12, 12 + i, 24, uint32_t(i + 1)));
            EXPECT_EQ(raster::SaveDib(picture.get(), path, raster::FormatPNG, nullptr), 1);
            break;
        }
        default:
            path = dir.filePath(QStringLiteral("kaputt%1.jpg").arg(i));
            if (i % 2)
                testutil::writeFile(path, "\xFF\xD8\xFF kein JPEG");
            break; // an even one is missing altogether
        }
        paths << path;
    }
    return paths;
}

// The files of a folder opened since the last look, as the kernel saw each
// open (inotify): what a reader has started on, whatever else the process's
// threads do meanwhile.
class OpenWatch {
public:
    explicit OpenWatch(const QString& folder)
        : m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        EXPECT_GE(m_fd, 0);
        EXPECT_GE(inotify_add_watch(m_fd, QFile::encodeName(folder).constData(), IN_OPEN), 0);
    }
    ~OpenWatch() { ::close(m_fd); }
    OpenWatch(const OpenWatch&) = delete;
    OpenWatch& operator=(const OpenWatch&) = delete;

    QStringList opened()
    {
        QStringList names;
        alignas(inotify_event) char buffer[8192];
        for (ssize_t n; (n = ::read(m_fd, buffer, sizeof buffer)) > 0;) {
            for (const char* p = buffer; p < buffer + n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(p);
                if (event->len > 0)
                    names << QFile::decodeName(event->name);
                p += sizeof(inotify_event) + event->len;
            }
        }
        return names;
    }

private:
    int m_fd;
};

// The same as LoadPicture gives for the same file.
testing::AssertionResult sameAsLoaded(const LoadedPicture& got, const QString& path)
{
    const LoadedPicture want = LoadPicture(path);
    if (got.ok() != want.ok())
        return testing::AssertionFailure() << (got.ok() ? "read" : "not read") << ", LoadPicture says otherwise";
    if (got.ok()) {
        if (testing::AssertionResult r = testutil::identical(got.Picture.get(), want.Picture.get()); !r)
            return r;
    }
    if (got.ErrorText != want.ErrorText)
        return testing::AssertionFailure() << "reason \"" << got.ErrorText.toStdString() << "\"";
    if (got.KeepBytes != want.KeepBytes || got.Format != want.Format || got.Bytes != want.Bytes ||
        got.Fingerprint != want.Fingerprint)
        return testing::AssertionFailure() << "kept bytes differ";
    return testing::AssertionSuccess();
}

} // namespace

TEST(Intake, ReadsEveryPictureInOrderAsLoadPictureDoes)
{
    QTemporaryDir dir;
    // More files than could ever be read ahead at once.
    const int readAhead = PictureIntake(QStringList()).readAhead();
    const QStringList paths = mixedFiles(dir, 3 * readAhead + 2);
    OpenWatch watch(dir.path());
    PictureIntake intake(paths);
    ASSERT_EQ(intake.count(), paths.size());
    // However slow this thread, no file is opened further ahead than the
    // intake says: while picture i is awaited, none beyond i + readAhead - 1.
    int furthest = -1;
    auto furthestOpened = [&] {
        for (const QString& name : watch.opened())
            furthest = std::max(furthest, int(paths.indexOf(dir.filePath(name))));
        return furthest;
    };
    for (int i = 0; i < intake.count(); ++i) {
        SCOPED_TRACE(paths[i].toStdString());
        int furthestWhileWaiting = -1;
        LoadedPicture loaded = intake.take(i, [&] { furthestWhileWaiting = std::max(furthestWhileWaiting, furthestOpened()); });
        EXPECT_LE(furthestWhileWaiting, i + readAhead - 1);
        EXPECT_LE(furthestOpened(), i + readAhead);
        EXPECT_TRUE(sameAsLoaded(loaded, paths[i]));
    }
    // Each picture once: taken ones and those outside the list give nothing.
    for (int i : {0, intake.count() - 1, intake.count(), -1}) {
        const LoadedPicture again = intake.take(i);
        EXPECT_FALSE(again.ok());
        EXPECT_TRUE(again.ErrorText.isEmpty());
    }
}

TEST(Intake, PassedOverAndUntakenPicturesAreReleased)
{
    QTemporaryDir dir;
    const QStringList paths = mixedFiles(dir, 20);
    // Destroyed at once, half way through, and after skipping ahead.
    {
        PictureIntake intake(paths);
    }
    EXPECT_EQ(raster::liveImageCount(), 0);
    {
        PictureIntake intake(paths);
        for (int i = 0; i < 10; ++i)
            EXPECT_TRUE(sameAsLoaded(intake.take(i), paths[i]));
    }
    EXPECT_EQ(raster::liveImageCount(), 0);
    {
        PictureIntake intake(paths);
        EXPECT_TRUE(sameAsLoaded(intake.take(13), paths[13]));
        // The ones passed over are gone.
        EXPECT_FALSE(intake.take(12).ok());
        EXPECT_FALSE(intake.take(0).ok());
        EXPECT_TRUE(sameAsLoaded(intake.take(15), paths[15]));
        EXPECT_LE(raster::liveImageCount(), intake.readAhead());
    }
    EXPECT_EQ(raster::liveImageCount(), 0);
}

TEST(Intake, AnEmptyListReadsNothing)
{
    PictureIntake intake({});
    EXPECT_EQ(intake.count(), 0);
    EXPECT_FALSE(intake.take(0).ok());
}
