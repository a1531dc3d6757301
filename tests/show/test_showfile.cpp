#include "platform/messages.h"
#include "platform/msgbox.h"
#include "platform/textcodec.h"
#include "raster/codec.h"
#include "raster/rasterio.h"
#include "show/showfile.h"
#include "tests/show/showbytes.h"
#include "tests/testutil.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace show;
using testutil::ShowBytes;
using testutil::SlideFields;

namespace {

QByteArray encoded(const raster::TDibRecord& dib, int format)
{
    raster::EncodeOptions options;
    options.format = format;
    options.jpegQuality = raster::JPEGQual();
    std::vector<uint8_t> bytes;
    EXPECT_EQ(raster::encodeImage(dib, format, bytes, options), raster::ImageError::None);
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

// A show with one slide of every kind the file distinguishes.
void buildShow(ShowDocument& show, const QString& folder)
{
    show.Settings.MusicFile = "/musik/lied.mid";
    show.Settings.EndMode = emQuit;
    show.Settings.FullScreen = false;
    show.Settings.PlayBar = true;

    TSlideRecord* a = AddNewSlide(show, testutil::patternImage(9, 7, 8, 3), folder + "Hafen.gif");
    SetString(a->Comment, QString::fromUtf8("Zeile 1\r\nBr\u00fccke"));
    SetString(a->SoundFile, folder + "wellen.wav");
    a->Effect = 33;
    a->SizeMode = 2;
    a->TransTime = 1500;
    a->PauseTime = 600000;
    a->TextPosition = 18;
    a->Placement = 9;
    a->BackColor = 0x00112233;
    a->BorderColor = 0x00ABCDEF;
    a->KeepAspect = 0;
    a->TextBorder = 0;
    a->SoundMode = 0;
    a->Frame = {900, 800, 100, 50};
    a->UserSize = 50;
    a->UserPicX = 5;
    a->UserPicY = 6;
    a->UserTextX = 95;
    a->UserTextY = 7;
    *static_cast<TNodePoint*>(a->Nodes->Add()) = {100, 100};
    *static_cast<TNodePoint*>(a->Nodes->Add()) = {-50, 20};
    *a->Font = TSlideFont{"Liberation Serif", 14, 120, TSlideFont::Italic | TSlideFont::Underline, 0x0000FF, 1, 2};

    TSlideRecord* b = AddBlankSlide(show); // no picture at all
    b->FileName = NewString("/anderswo/film.avi");
    b->CollageMember = 1;

    AddNewSlide(show, testutil::patternImage(6, 5, 24, 4), "/anderswo/Foto.jpg");
}

QByteArray expectedBytes(const ShowDocument& show)
{
    ShowBytes b;
    b.header("/musik/lied.mid", 2, 0, 1, 3);
    SlideFields a;
    a.fileName = "Hafen.gif";
    a.comment = "Zeile 1\r\nBr\xfc" "cke";
    a.soundFile = platform::encodeFileText(StringText(show.slide(0)->SoundFile));
    a.effect = 33;
    a.sizeMode = 2;
    a.transTime = 1500;
    a.pauseTime = 600000;
    a.textPosition = 18;
    a.placement = 9;
    a.backColor = 0x00112233;
    a.borderColor = 0x00ABCDEF;
    a.keepAspect = 0;
    a.textBorder = 0;
    a.soundMode = 0;
    a.frame[0] = 900, a.frame[1] = 800, a.frame[2] = 100, a.frame[3] = 50;
    a.userSize = 50, a.userPicX = 5, a.userPicY = 6, a.userTextX = 95, a.userTextY = 7;
    a.nodes = {{100, 100}, {-50, 20}};
    a.pictureFormat = 1;
    a.picture = encoded(show.slide(0)->Dib, raster::FormatGIF);
    a.charset = 1, a.color = 0x0000FF, a.fontName = "Liberation Serif", a.pitch = 2, a.pixelsPerInch = 120;
    a.size = 14, a.style = 6;
    slideBlock(b, a);

    SlideFields none;
    none.fileName = "/anderswo/film.avi";
    none.commentVisible = none.pictureVisible = none.keepAspect = none.textBorder = 0;
    none.transTime = none.pauseTime = none.textPosition = none.soundMode = none.userSize = 0;
    none.collageMember = 1;
    none.frame[2] = none.frame[3] = 0;
    none.pictureFormat = 1; // no picture is no 24-bit picture
    slideBlock(b, none);

    SlideFields photo;
    photo.fileName = "/anderswo/Foto.jpg";
    photo.picture = encoded(show.slide(2)->Dib, raster::FormatJIF);
    slideBlock(b, photo);
    return b.bytes();
}

void expectSameSlide(const TSlideRecord& s, const TSlideRecord& t)
{
    EXPECT_EQ(StringText(s.Comment), StringText(t.Comment));
    EXPECT_EQ(StringText(s.SoundFile), StringText(t.SoundFile));
    EXPECT_EQ(s.CommentVisible, t.CommentVisible);
    EXPECT_EQ(s.PictureVisible, t.PictureVisible);
    EXPECT_EQ(s.Effect, t.Effect);
    EXPECT_EQ(s.SizeMode, t.SizeMode);
    EXPECT_EQ(s.TransTime, t.TransTime);
    EXPECT_EQ(s.PauseTime, t.PauseTime);
    EXPECT_EQ(s.TextPosition, t.TextPosition);
    EXPECT_EQ(s.Placement, t.Placement);
    EXPECT_EQ(s.BackColor, t.BackColor);
    EXPECT_EQ(s.BorderColor, t.BorderColor);
    EXPECT_EQ(s.KeepAspect, t.KeepAspect);
    EXPECT_EQ(s.TextBorder, t.TextBorder);
    EXPECT_EQ(s.SoundMode, t.SoundMode);
    EXPECT_EQ(s.CollageMember, t.CollageMember);
    EXPECT_EQ(std::memcmp(&s.Frame, &t.Frame, sizeof s.Frame), 0);
    EXPECT_EQ(s.UserSize, t.UserSize);
    EXPECT_EQ(s.UserPicX, t.UserPicX);
    EXPECT_EQ(s.UserPicY, t.UserPicY);
    EXPECT_EQ(s.UserTextX, t.UserTextX);
    EXPECT_EQ(s.UserTextY, t.UserTextY);
    ASSERT_EQ(s.Nodes->Count(), t.Nodes->Count());
    for (uint32_t k = 0; k < s.Nodes->Count(); ++k) {
        EXPECT_EQ(ElementAt<TNodePoint>(*s.Nodes, k)->X, ElementAt<TNodePoint>(*t.Nodes, k)->X);
        EXPECT_EQ(ElementAt<TNodePoint>(*s.Nodes, k)->Y, ElementAt<TNodePoint>(*t.Nodes, k)->Y);
    }
    EXPECT_TRUE(*s.Font == *t.Font);
}

// A show of one slide that must survive every failed open.
void oneSlideShow(ShowDocument& show)
{
    AddNewSlide(show, testutil::patternImage(3, 3, 24), "/vorher/bild.jpg");
    show.Settings.MusicFile = "/vorher/musik.mid";
    show.Settings.EndMode = emWaitKey;
    show.ShowFileName = "/vorher/show.sli";
}

void expectOneSlideShow(const ShowDocument& show)
{
    ASSERT_EQ(show.Slides.Count(), 1u);
    EXPECT_EQ(StringText(show.slide(0)->FileName), "/vorher/bild.jpg");
    EXPECT_EQ(show.Settings.MusicFile, "/vorher/musik.mid");
    EXPECT_EQ(show.Settings.EndMode, emWaitKey);
    EXPECT_EQ(show.ShowFileName, "/vorher/show.sli");
}

const QString kInvalid = QString::fromUtf8("Die Datei ist keine g\u00fcltige \"Lumivox 3\"-Datei!");


} // namespace

TEST(ShowFile, WritesTheFieldsInTheirOrderAndReadsThemBack)
{
    QTemporaryDir dir;
    const QString folder = dir.path() + "/";
    ShowDocument show;
    buildShow(show, folder);
    ASSERT_TRUE(SaveFile(show, folder + "reise.sli", false));
    EXPECT_EQ(show.ShowFileName, folder + "reise.sli");

    const QByteArray written = testutil::readFile(folder + "reise.sli");
    EXPECT_EQ(written, expectedBytes(show));

    ShowDocument back;
    platform::MessageBoxScript quiet;
    ASSERT_TRUE(OpenFile(back, folder + "reise.sli"));
    EXPECT_TRUE(quiet.shown().empty());
    EXPECT_EQ(back.ShowFileName, folder + "reise.sli");
    EXPECT_EQ(back.Settings.MusicFile, "/musik/lied.mid");
    EXPECT_EQ(back.Settings.EndMode, emQuit);
    EXPECT_FALSE(back.Settings.FullScreen);
    EXPECT_TRUE(back.Settings.PlayBar);
    ASSERT_EQ(back.Slides.Count(), 3u);
    EXPECT_EQ(StringText(back.slide(0)->FileName), folder + "Hafen.gif");
    for (uint32_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        expectSameSlide(*show.slide(i), *back.slide(i));
    }
    // The palette picture comes back exactly; the photo as its JPEG.
    EXPECT_TRUE(testutil::samePixels(show.slide(0)->Dib, back.slide(0)->Dib));
    EXPECT_EQ(back.slide(1)->Dib.Bits, nullptr);
    EXPECT_EQ(raster::DibWidth(back.slide(2)->Dib), 6);
    EXPECT_EQ(raster::DibBitCount(back.slide(2)->Dib), 24);
    EXPECT_EQ(back.slide(0)->EffectInUse, 0);
}

TEST(ShowFile, OpeningReportsProgressWhileThePicturesLoad)
{
    struct Window : QObject {
        std::vector<int> percents;
        bool event(QEvent* e) override
        {
            if (e->type() != platform::WindowMessageEvent::eventType())
                return QObject::event(e);
            percents.push_back(int(static_cast<platform::WindowMessageEvent*>(e)->wParam()));
            return true;
        }
    };
    // 0, then k * 100 div n for every one of the n pictures, whichever
    // thread decoded it and however they were scheduled: many tiny
    // pictures finish in bursts.
    for (const int n : {0, 5, 40}) {
        SCOPED_TRACE(n);
        QTemporaryDir dir;
        ShowDocument show;
        const int side = n > 5 ? 2 : 30;
        for (int i = 0; i < n; ++i)
            AddNewSlide(show, testutil::patternImage(side, side, i % 2 ? 8 : 24, uint32_t(i)),
                        QStringLiteral("/b/%1").arg(i));
        ASSERT_TRUE(SaveFile(show, dir.filePath("p.sli"), false));
        Window window;
        ShowDocument back;
        ASSERT_TRUE(OpenFile(back, dir.filePath("p.sli"), &window));
        std::vector<int> expected{0};
        for (int k = 1; k <= n; ++k)
            expected.push_back(k * 100 / n);
        EXPECT_EQ(window.percents, expected);
        for (uint32_t i = 0; i < uint32_t(n); ++i) // every picture where it belongs
            ASSERT_EQ(raster::DibBitCount(back.slide(i)->Dib), i % 2 ? 8 : 24);
        if (n > 3) {
            EXPECT_TRUE(testutil::samePixels(back.slide(3)->Dib, show.slide(3)->Dib));
        }
    }
}

TEST(ShowFile, AnEmptyShowIsTheHeaderAlone)
{
    QTemporaryDir dir;
    ShowDocument show;
    show.Settings.MusicFile = "/x/y.mp3";
    ASSERT_TRUE(SaveFile(show, dir.filePath("leer.sli"), false));
    EXPECT_EQ(testutil::readFile(dir.filePath("leer.sli")),
              ShowBytes().header("/x/y.mp3", 0, 1, 1, 0).bytes());
    EXPECT_EQ(testutil::readFile(dir.filePath("leer.sli")).size(), 43 + 8);
}

TEST(ShowFile, PathsFollowTheShowsFolder)
{
    QTemporaryDir dir;
    const QString original = dir.path() + "/original/";
    const QString copy = dir.path() + "/kopie/";
    QDir().mkpath(original);
    QDir().mkpath(copy);

    ShowDocument show;
    AddNewSlide(show, testutil::patternImage(4, 4, 24), original + "a.jpg");
    TSlideRecord* b = AddNewSlide(show, testutil::patternImage(4, 4, 8), original + "b.gif");
    SetString(b->SoundFile, original + "ton.wav");
    TSlideRecord* c = AddNewSlide(show, testutil::patternImage(4, 4, 8), "/woanders/c.gif");
    SetString(c->SoundFile, QString()); // empty, not null
    show.Settings.MusicFile = QString();
    ASSERT_TRUE(SaveFile(show, original + "show.sli", false));

    // Bare picture names; the sound keeps its full path in an ordinary save.
    const QByteArray bytes = testutil::readFile(original + "show.sli");
    EXPECT_TRUE(bytes.contains(QByteArray("\x05\0\0\0a.jpg", 9)));
    EXPECT_TRUE(bytes.contains((original + "ton.wav").toUtf8()));

    QFile::copy(original + "show.sli", copy + "show.sli");
    ShowDocument back;
    ASSERT_TRUE(OpenFile(back, copy + "show.sli"));
    EXPECT_EQ(StringText(back.slide(0)->FileName), copy + "a.jpg");
    EXPECT_EQ(StringText(back.slide(1)->FileName), copy + "b.gif");
    EXPECT_EQ(StringText(back.slide(1)->SoundFile), original + "ton.wav");
    EXPECT_EQ(StringText(back.slide(2)->FileName), "/woanders/c.gif");
    EXPECT_EQ(StringText(back.slide(2)->SoundFile), "");
    EXPECT_EQ(StringText(back.slide(0)->SoundFile), "");
    EXPECT_NE(back.slide(2)->SoundFile, nullptr);
    EXPECT_EQ(back.Settings.MusicFile, "");

    // Passing the show on stores bare names only.
    show.Settings.MusicFile = "/musik/x.mid";
    ASSERT_TRUE(SaveFile(show, copy + "weiter.sli", true));
    ShowDocument passed;
    ASSERT_TRUE(OpenFile(passed, copy + "weiter.sli"));
    EXPECT_EQ(passed.Settings.MusicFile, copy + "x.mid");
    EXPECT_EQ(StringText(passed.slide(1)->SoundFile), copy + "ton.wav");
    EXPECT_EQ(StringText(passed.slide(2)->FileName), copy + "c.gif");
}

TEST(ShowFile, OpensAShowWrittenOnWindows)
{
    QTemporaryDir dir;
    ShowBytes b;
    b.header("C:\\Musik\\Fr\xfchling.mid", 1, 1, 0, 2);
    SlideFields a;
    a.fileName = "C:\\Bilder\\M\xfcnchen.jpg";
    a.soundFile = "D:\\T\xf6ne\\glocke.wav";
    a.comment = "Gr\xfc\xdf" "e\r\naus M\xfcnchen";
    a.fontName = "Times New Roman";
    slideBlock(b, a);
    SlideFields bare;
    bare.fileName = "Strand.jpg";
    bare.soundFile = "wind.wav";
    slideBlock(b, bare);
    testutil::writeFile(dir.filePath("win.sli"), b.bytes());

    ShowDocument show;
    ASSERT_TRUE(OpenFile(show, dir.filePath("win.sli")));
    EXPECT_EQ(show.Settings.MusicFile, QString::fromUtf8("C:\\Musik\\Fr\u00fchling.mid"));
    EXPECT_EQ(show.Settings.EndMode, emWaitKey);
    EXPECT_FALSE(show.Settings.PlayBar);
    EXPECT_EQ(StringText(show.slide(0)->FileName), QString::fromUtf8("C:\\Bilder\\M\u00fcnchen.jpg"));
    EXPECT_EQ(StringText(show.slide(0)->SoundFile), QString::fromUtf8("D:\\T\u00f6ne\\glocke.wav"));
    EXPECT_EQ(StringText(show.slide(0)->Comment), QString::fromUtf8("Gr\u00fc\u00dfe\r\naus M\u00fcnchen"));
    EXPECT_EQ(show.slide(0)->Font->Name, "Times New Roman");
    EXPECT_EQ(StringText(show.slide(1)->FileName), dir.filePath("Strand.jpg"));
    EXPECT_EQ(StringText(show.slide(1)->SoundFile), dir.filePath("wind.wav"));
    EXPECT_EQ(show.slide(0)->Dib.Bits, nullptr);

    // Written here again, the names go back in code page 1252.
    ASSERT_TRUE(SaveFile(show, dir.filePath("wieder.sli"), false));
    const QByteArray again = testutil::readFile(dir.filePath("wieder.sli"));
    EXPECT_TRUE(again.contains("C:\\Bilder\\M\xfcnchen.jpg"));
    EXPECT_TRUE(again.contains(QByteArray("\x0a\0\0\0Strand.jpg", 14)));
}

TEST(ShowFile, UnreadablePicturesGiveSlidesWithoutPictures)
{
    QTemporaryDir dir;
    raster::DibGuard gif(testutil::patternImage(4, 4, 8));
    ShowBytes b;
    b.header("", 0, 1, 1, 4);
    SlideFields s;
    s.pictureFormat = 7; // unknown format byte: its bytes are skipped
    s.picture = encoded(gif.get(), raster::FormatGIF);
    s.fileName = "unbekannt.jpg";
    slideBlock(b, s);
    s.pictureFormat = 1; // size 0: the picture could not be written
    s.picture.clear();
    s.fileName = "leer.gif";
    slideBlock(b, s);
    s.pictureFormat = 0; // bytes that do not decode
    s.picture = "kein Bild";
    s.fileName = "kaputt.jpg";
    slideBlock(b, s);
    s.pictureFormat = 1;
    s.picture = encoded(gif.get(), raster::FormatGIF);
    s.fileName = "gut.gif";
    slideBlock(b, s);
    testutil::writeFile(dir.filePath("s.sli"), b.bytes());

    platform::MessageBoxScript script;
    ShowDocument show;
    ASSERT_TRUE(OpenFile(show, dir.filePath("s.sli")));
    EXPECT_TRUE(script.shown().empty());
    ASSERT_EQ(show.Slides.Count(), 4u);
    EXPECT_EQ(show.slide(0)->Dib.Bits, nullptr);
    EXPECT_EQ(show.slide(1)->Dib.Bits, nullptr);
    EXPECT_EQ(show.slide(2)->Dib.Bits, nullptr);
    EXPECT_TRUE(testutil::samePixels(show.slide(3)->Dib, gif.get()));
    EXPECT_EQ(StringText(show.slide(3)->FileName), dir.filePath("gut.gif"));
}

TEST(ShowFile, DamagedFilesAreRejectedAndTheShowStays)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("d.sli");
    const QString name = "d.sli";
    SlideFields s;
    s.fileName = "a.gif";
    s.nodes = {{1, 2}};
    raster::DibGuard gif(testutil::patternImage(4, 4, 8));
    s.picture = encoded(gif.get(), raster::FormatGIF);
    s.pictureFormat = 1;
    ShowBytes good;
    good.header("m.mid", 0, 1, 1, 1);
    slideBlock(good, s);
    const QByteArray whole = good.bytes();

    struct Case {
        const char* what;
        QByteArray bytes;
        QString message;
    };
    std::vector<Case> cases;
    cases.push_back({"magic in another case", QByteArray(whole).replace(0, 7, "kor-van"), kInvalid});
    cases.push_back({"shorter than the magic", whole.left(10), kInvalid});
    // Every cut after the magic.
    for (qsizetype n = 19; n < whole.size(); ++n)
        cases.push_back({"cut", whole.left(n), kInvalid});
    // Counts and lengths that the file cannot hold.
    auto patched = [&whole](qsizetype at, int32_t v) {
        QByteArray b = whole;
        const uint32_t u = uint32_t(v);
        const char le[4] = {char(u), char(u >> 8), char(u >> 16), char(u >> 24)};
        b.replace(at, 4, QByteArray(le, 4));
        return b;
    };
    const qsizetype slideAt = 19 + 4 + 4 + 5 + 16;
    cases.push_back({"negative music length", patched(23, -1), kInvalid});
    cases.push_back({"music longer than the file", patched(23, 1 << 30), kInvalid});
    cases.push_back({"two slides, one there", patched(slideAt - 4, 2), kInvalid});
    const qsizetype nodesAt = slideAt + (4 + 5) + 4 + 4 + 2 + 6 * 4 + 8 + 2 + 4 + 1 + 16 + 5 * 4;
    ASSERT_EQ(whole.mid(nodesAt, 4), QByteArray("\x01\0\0\0", 4));
    cases.push_back({"millions of nodes", patched(nodesAt, 5000000), kInvalid});
    cases.push_back({"negative node count", patched(nodesAt, -3), kInvalid});
    cases.push_back({"negative picture size", patched(nodesAt + 4 + 8 + 1, -100), kInvalid});
    cases.push_back({"picture beyond the end", patched(nodesAt + 4 + 8 + 1, int32_t(whole.size())), kInvalid});

    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.what) + " (" + std::to_string(c.bytes.size()) + " bytes)");
        testutil::writeFile(path, c.bytes);
        ShowDocument show;
        oneSlideShow(show);
        platform::MessageBoxScript script;
        EXPECT_FALSE(OpenFile(show, path));
        ASSERT_EQ(script.shown().size(), 1u);
        EXPECT_EQ(script.shown()[0].text, c.message);
        EXPECT_EQ(script.shown()[0].caption, "Fehler");
        EXPECT_EQ(script.shown()[0].icon, platform::MsgIcon::Error);
        expectOneSlideShow(show);
    }

    // The whole file reads; a missing one gives the open message.
    testutil::writeFile(path, whole);
    ShowDocument show;
    ASSERT_TRUE(OpenFile(show, path));
    EXPECT_EQ(show.Slides.Count(), 1u);
    ShowDocument other;
    oneSlideShow(other);
    platform::MessageBoxScript script;
    EXPECT_FALSE(OpenFile(other, dir.filePath("fehlt.sli")));
    EXPECT_EQ(script.texts(), QStringList{QString::fromUtf8("Lumivox \u00f6ffnen: Konnte die Datei fehlt.sli nicht \u00f6ffnen!")});
    expectOneSlideShow(other);
    (void)name;
}

TEST(ShowFile, AFailedSaveKeepsThePreviousFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("alt.sli");
    testutil::writeFile(path, "die alte Show");

    ShowDocument show;
    for (int i = 0; i < 4; ++i)
        AddNewSlide(show, testutil::patternImage(64, 64, 24, uint32_t(i)), QStringLiteral("/b/%1.jpg").arg(i));
    show.ShowFileName = "/vorher.sli";

    // A disk that fills up: no file may grow beyond 300 bytes.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit was{};
    getrlimit(RLIMIT_FSIZE, &was);
    rlimit small = was;
    small.rlim_cur = 300;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    platform::MessageBoxScript script;
    const bool saved = SaveFile(show, path, false);
    setrlimit(RLIMIT_FSIZE, &was);

    EXPECT_FALSE(saved) << testutil::readFile(path).size();
    EXPECT_EQ(script.texts(), QStringList{"Lumivox speichern: Konnte die Datei alt.sli nicht erstellen!"});
    EXPECT_EQ(testutil::readFile(path), "die alte Show");
    EXPECT_EQ(show.ShowFileName, "/vorher.sli");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"alt.sli"});

    script.clear();
    EXPECT_FALSE(SaveFile(show, dir.filePath("gibtsnicht/neu.sli"), false));
    EXPECT_EQ(script.texts(), QStringList{"Lumivox speichern: Konnte die Datei neu.sli nicht erstellen!"});
    EXPECT_EQ(show.ShowFileName, "/vorher.sli");
}

TEST(ShowFile, SavingOverAShowKeepsItsPermissionsAlsoInAFolderThatIsNotWritable)
{
    QTemporaryDir dir;
    ShowDocument show;
    AddNewSlide(show, testutil::patternImage(24, 16, 24, 3), QStringLiteral("/b/eins.jpg"));
    ASSERT_TRUE(SaveFile(show, dir.filePath("neu.sli"), false));
    const QByteArray saved = testutil::readFile(dir.filePath("neu.sli"));
    auto status = [](const QString& path) {
        struct stat st {};
        EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0) << path.toStdString();
        return st;
    };

    // A writable folder: the new file replaces the old one whole, with the
    // old one's permissions.
    const QString atomic = dir.filePath("alt.sli");
    testutil::writeFile(atomic, "die alte Show");
    ASSERT_EQ(::chmod(QFile::encodeName(atomic).constData(), 0640), 0);
    const ino_t before = status(atomic).st_ino;
    ASSERT_TRUE(SaveFile(show, atomic, false));
    EXPECT_EQ(testutil::readFile(atomic), saved);
    EXPECT_EQ(status(atomic).st_mode & 07777, 0640u);
    EXPECT_NE(status(atomic).st_ino, before);

    // A folder that forbids new files, holding a show its user may write:
    // the save writes the file in place. The tool does the saving, as a
    // user the folder's permissions hold for (root is not one).
    const bool root = ::geteuid() == 0;
    const uid_t user = root ? 65534 : ::geteuid();
    const gid_t group = root ? 65534 : ::getegid();
    const QString folder = dir.filePath("nurlesen");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString target = folder + "/show.sli";
    testutil::writeFile(target, "die alte Show");
    ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), 0604), 0);
    if (root) {
        ASSERT_EQ(::chown(QFile::encodeName(folder).constData(), user, group), 0);
        ASSERT_EQ(::chown(QFile::encodeName(target).constData(), user, group), 0);
        ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    }
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0555), 0);
    const ino_t inPlace = status(target).st_ino;

    QProcess tool;
    tool.setChildProcessModifier([root, user, group] {
        if (root && (::setgid(group) != 0 || ::setuid(user) != 0))
            ::_exit(99);
    });
    tool.start(QStringLiteral(LUMIVOX_TOOL), {QStringLiteral("resave"), dir.filePath("neu.sli"), target});
    ASSERT_TRUE(tool.waitForFinished(60000));
    ::chmod(QFile::encodeName(folder).constData(), 0755);
    EXPECT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
    EXPECT_EQ(testutil::readFile(target), saved);
    EXPECT_EQ(status(target).st_mode & 07777, 0604u);
    EXPECT_EQ(status(target).st_ino, inPlace);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{"show.sli"});
}

TEST(ShowFile, UnchangedPicturesAreSavedWithTheirOwnBytes)
{
    QTemporaryDir dir;
    ShowDocument show;
    AddNewSlide(show, testutil::patternImage(40, 30, 24, 5), dir.filePath("foto.jpg"));
    AddNewSlide(show, testutil::patternImage(20, 10, 8, 6), dir.filePath("bild.gif"));
    ASSERT_TRUE(SaveFile(show, dir.filePath("eins.sli"), false));
    const QByteArray first = testutil::readFile(dir.filePath("eins.sli"));

    // Saved again and again, the photo is never encoded anew.
    ShowDocument back;
    ASSERT_TRUE(OpenFile(back, dir.filePath("eins.sli")));
    ASSERT_TRUE(SaveFile(back, dir.filePath("zwei.sli"), false));
    EXPECT_EQ(testutil::readFile(dir.filePath("zwei.sli")), first);
    ShowDocument again;
    ASSERT_TRUE(OpenFile(again, dir.filePath("zwei.sli")));
    ASSERT_TRUE(SaveFile(again, dir.filePath("drei.sli"), false));
    EXPECT_EQ(testutil::readFile(dir.filePath("drei.sli")), first);

    // A changed picture is encoded from its pixels.
    SetSlidePicture(*again.slide(0), raster::MakeDIBCopy(again.slide(0)->Dib));
    ASSERT_TRUE(SaveFile(again, dir.filePath("vier.sli"), false));
    const QByteArray fourth = testutil::readFile(dir.filePath("vier.sli"));
    EXPECT_NE(fourth, first);
    EXPECT_TRUE(fourth.contains(encoded(again.slide(0)->Dib, raster::FormatJIF)));
}

TEST(ShowFile, EditedPicturesAreEncodedAnewWhateverTheEdit)
{
    // Kept bytes serve a picture only while it shows what they were kept
    // for: an edit that leaves the picture's block, size and depth as they
    // were must still reach the file.
    struct Case {
        const char* name;
        int bitCount;
        void (*edit)(raster::TDibRecord& dib);
    };
    const Case cases[] = {
        {"pixels changed in place", 24,
         [](raster::TDibRecord& dib) {
             raster::recht_filled(dib, 0, 0, raster::DibWidth(dib) - 1, raster::DibHeight(dib) - 1, 0x0000FF);
         }},
        {"only the colour table changed", 8,
         [](raster::TDibRecord& dib) {
             for (int i = 0; i < 256; ++i)
                 raster::setPaletteEntry(dib, i, uint8_t(255 - i), uint8_t(i), 7);
             raster::refreshPalette(dib);
         }},
        {"released and made anew at the same size", 8,
         [](raster::TDibRecord& dib) {
             const int w = raster::DibWidth(dib), h = raster::DibHeight(dib);
             raster::deldib(dib);
             raster::newdib(&dib, w, h, 8, nullptr, 0);
             raster::recht_filled(dib, 0, 0, w - 1, h - 1, 3);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        ShowDocument show;
        AddNewSlide(show, testutil::patternImage(40, 30, c.bitCount, 5), dir.filePath("foto.jpg"));
        AddNewSlide(show, testutil::patternImage(20, 10, 24, 6), dir.filePath("bleibt.jpg"));
        ASSERT_TRUE(SaveFile(show, dir.filePath("eins.sli"), false));

        ShowDocument back;
        ASSERT_TRUE(OpenFile(back, dir.filePath("eins.sli")));
        const TPictureBytes* kept = UnchangedPictureBytes(*back.slide(1));
        ASSERT_NE(kept, nullptr);
        const QByteArray untouched(reinterpret_cast<const char*>(kept->Bytes.data()), qsizetype(kept->Bytes.size()));
        c.edit(back.slide(0)->Dib);
        raster::TDibRecord edited = raster::MakeDIBCopy(back.slide(0)->Dib);
        ASSERT_TRUE(SaveFile(back, dir.filePath("zwei.sli"), false));

        ShowDocument again;
        ASSERT_TRUE(OpenFile(again, dir.filePath("zwei.sli")));
        if (c.bitCount == 8) {
            EXPECT_TRUE(testutil::samePixels(again.slide(0)->Dib, edited));
        } else {
            const uint32_t centre = raster::getpixel(again.slide(0)->Dib, 20, 15);
            EXPECT_GE(centre & 0xFF, 0xF0u);          // red, as painted
            EXPECT_LE((centre >> 8) & 0xFFFF, 0x1010u); // no green, no blue
        }
        raster::deldib(edited);
        // The untouched slide is written with the bytes it was read with.
        EXPECT_TRUE(testutil::readFile(dir.filePath("zwei.sli")).contains(untouched));
    }
}

TEST(ShowFile, TemporaryPicturesNeverGoThroughExistingFilesAndAreRemoved)
{
    QTemporaryDir temp;
    QTemporaryDir dir;
    const QString victim = dir.filePath("opfer.txt");
    testutil::writeFile(victim, "bleibt");
    ASSERT_TRUE(QFile::link(victim, temp.filePath("tempimg0.dat")));
    testutil::writeFile(temp.filePath("tempimg1.dat"), "auch");

    const QByteArray wasTmp = qgetenv("TMPDIR");
    qputenv("TMPDIR", temp.path().toUtf8());
    ShowDocument show;
    AddNewSlide(show, testutil::patternImage(8, 8, 24), "/a.jpg");
    AddNewSlide(show, testutil::patternImage(8, 8, 4), "/b.gif");
    const bool saved = SaveFile(show, dir.filePath("t.sli"), false);
    ShowDocument back;
    const bool opened = OpenFile(back, dir.filePath("t.sli"));
    qputenv("TMPDIR", wasTmp);

    ASSERT_TRUE(saved);
    ASSERT_TRUE(opened);
    ASSERT_EQ(back.Slides.Count(), 2u);
    EXPECT_NE(back.slide(0)->Dib.Bits, nullptr);
    EXPECT_TRUE(testutil::samePixels(back.slide(1)->Dib, show.slide(1)->Dib));
    EXPECT_EQ(testutil::readFile(victim), "bleibt");
    EXPECT_EQ(testutil::readFile(temp.filePath("tempimg1.dat")), "auch");
    QStringList left = QDir(temp.path()).entryList(QDir::Files | QDir::System);
    left.sort();
    EXPECT_EQ(left, (QStringList{"tempimg0.dat", "tempimg1.dat"}));
}

TEST(ShowFile, ToolPrintsTheShowAndResavesItUnchanged)
{
    QTemporaryDir dir;
    const QString folder = dir.path() + "/";
    ShowDocument show;
    buildShow(show, folder);
    ASSERT_TRUE(SaveFile(show, folder + "reise.sli", false));

    testutil::ToolRun r = testutil::runTool({"info", folder + "reise.sli"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QJsonDocument json = QJsonDocument::fromJson(r.out.toUtf8());
    ASSERT_TRUE(json.isObject());
    const QJsonObject o = json.object();
    EXPECT_EQ(o["MusicFile"].toString(), "/musik/lied.mid");
    EXPECT_EQ(o["EndMode"].toInt(), 2);
    EXPECT_EQ(o["FullScreen"].toInt(), 0);
    EXPECT_EQ(o["PlayBar"].toInt(), 1);
    const QJsonArray slides = o["Slides"].toArray();
    ASSERT_EQ(slides.size(), 3);
    const QJsonObject a = slides[0].toObject();
    EXPECT_EQ(a["FileName"].toString(), folder + "Hafen.gif");
    EXPECT_EQ(a["Comment"].toString(), QString::fromUtf8("Zeile 1\r\nBr\u00fccke"));
    EXPECT_EQ(a["Effect"].toInt(), 33);
    EXPECT_EQ(a["PauseTime"].toInt(), 600000);
    EXPECT_EQ(a["BorderColor"].toInteger(), 0xABCDEF);
    EXPECT_EQ(a["Frame"].toArray(), (QJsonArray{900, 800, 100, 50}));
    EXPECT_EQ(a["Nodes"].toArray(), (QJsonArray{QJsonArray{100, 100}, QJsonArray{-50, 20}}));
    EXPECT_EQ(a["Picture"].toObject(),
              (QJsonObject{{"Format", 1}, {"Width", 9}, {"Height", 7}, {"BitCount", 8}}));
    EXPECT_EQ(a["Font"].toObject(), (QJsonObject{{"Charset", 1}, {"Color", 255}, {"Name", "Liberation Serif"},
                                                 {"Pitch", 2}, {"PixelsPerInch", 120}, {"Size", 14}, {"Style", 6}}));
    EXPECT_TRUE(slides[1].toObject()["Picture"].isNull());
    EXPECT_EQ(slides[2].toObject()["Picture"].toObject()["Format"].toInt(), 0);

    r = testutil::runTool({"resave", folder + "reise.sli", folder + "kopie.sli"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(testutil::readFile(folder + "kopie.sli"), testutil::readFile(folder + "reise.sli"));

    r = testutil::runTool({"info", folder + "fehlt.sli"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("Konnte die Datei fehlt.sli nicht"));
}

TEST(ShowFile, FuzzCorpusOpensOrFailsCleanly)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("fuzz.sli");
    int replayed = 0;
    QDirIterator files(testutil::sourcePath("tests/fuzz/corpus/show"), QDir::Files);
    while (files.hasNext()) {
        const QString file = files.next();
        SCOPED_TRACE(file.toStdString());
        testutil::writeFile(path, testutil::readFile(file));
        platform::MessageBoxScript quiet;
        ShowDocument show;
        oneSlideShow(show);
        if (!OpenFile(show, path)) {
            expectOneSlideShow(show);
            EXPECT_EQ(quiet.shown().size(), 1u);
        }
        ++replayed;
    }
    EXPECT_GT(replayed, 0);
}
