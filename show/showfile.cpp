#include "show/showfile.h"

#include "platform/messages.h"
#include "platform/msgbox.h"
#include "platform/paths.h"
#include "platform/textcodec.h"
#include "raster/codec.h"
#include "raster/fingerprint.h"
#include "raster/rasterio.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

namespace show {

namespace {

constexpr int kMagicLength = 19;
static_assert(sizeof kShowMagic == kMagicLength + 1);

// Picture format bytes and the raster format numbers they stand for.
constexpr uint8_t kPictureJpeg = 0;
constexpr uint8_t kPictureGif = 1;

int rasterFormat(uint8_t pictureFormat)
{
    return pictureFormat == kPictureJpeg ? raster::FormatJIF : raster::FormatGIF;
}

QString invalidFileText()
{
    return QStringLiteral("Die Datei ist keine g\u00fcltige \"Lumivox 3\"-Datei!");
}

void showStop(const QString& text)
{
    platform::MessageBox(text, QStringLiteral("Fehler"), platform::MsgIcon::Error);
}

// A temporary picture file "tempimg<n>.dat" in the temporary folder, with
// the smallest free n. It is created exclusively (never through a file or
// link that is already there), readable by the user alone, and removed when
// the object goes.
class TempPicture {
public:
    TempPicture()
    {
        const QString folder = platform::IncludeTrailingPathDelimiter(QDir::tempPath());
        for (int n = 0; n < 100000; ++n) {
            const QString name = folder + QStringLiteral("tempimg%1.dat").arg(n);
            const QByteArray native = QFile::encodeName(name);
            m_fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (m_fd >= 0) {
                m_path = name;
                return;
            }
            if (errno != EEXIST)
                return;
        }
    }
    ~TempPicture()
    {
        closeFile();
        if (!m_path.isEmpty())
            ::unlink(QFile::encodeName(m_path).constData());
    }
    TempPicture(const TempPicture&) = delete;
    TempPicture& operator=(const TempPicture&) = delete;

    bool created() const { return !m_path.isEmpty(); }
    const QString& path() const { return m_path; }

    bool write(const uint8_t* data, size_t size)
    {
        while (size > 0 && m_fd >= 0) {
            const ssize_t n = ::write(m_fd, data, size);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            data += n;
            size -= size_t(n);
        }
        return m_fd >= 0;
    }
    bool closeFile()
    {
        if (m_fd < 0)
            return true;
        const bool ok = ::close(m_fd) == 0;
        m_fd = -1;
        return ok;
    }

private:
    QString m_path;
    int m_fd = -1;
};

QString programFolder()
{
    QString folder = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath();
    return platform::IncludeTrailingPathDelimiter(folder);
}

// --- writing ---------------------------------------------------------------

class Writer {
public:
    void i32(int32_t v)
    {
        const uint32_t u = uint32_t(v);
        const char b[4] = {char(u), char(u >> 8), char(u >> 16), char(u >> 24)};
        m_buffer.append(b, 4);
    }
    void u8(uint8_t v) { m_buffer.append(char(v)); }
    void bytes(const QByteArray& b) { m_buffer.append(b); }
    void string(const QString& text)
    {
        const QByteArray b = platform::encodeFileText(text);
        i32(int32_t(b.size()));
        m_buffer.append(b);
    }
    // Moves what was collected into file.
    bool flushTo(QSaveFile& file)
    {
        const bool ok = file.write(m_buffer) == m_buffer.size();
        m_buffer.clear();
        return ok;
    }

private:
    QByteArray m_buffer;
};

// The stored form of a path: bare when asked for, or when it lies in the
// show's own folder.
QString storedPath(const QString& name, const QString& showFolder, bool namesOnly)
{
    if (namesOnly || (!name.isEmpty() && platform::ExtractFilePath(name) == showFolder))
        return platform::ExtractFileName(name);
    return name;
}

// Which slides' kept bytes still serve their pictures, checked on every
// core at once: each check reads the whole picture.
std::vector<const TPictureBytes*> keptPictureBytes(const ShowDocument& show)
{
    const size_t count = show.Slides.Count();
    std::vector<const TPictureBytes*> kept(count, nullptr);
    std::atomic<size_t> next{0};
    auto work = [&] {
        for (size_t i; (i = next.fetch_add(1)) < count;)
            kept[i] = UnchangedPictureBytes(*show.slide(uint32_t(i)));
    };
    const size_t cores = std::clamp<size_t>(std::thread::hardware_concurrency(), 1, 8);
    std::vector<std::thread> threads;
    for (size_t k = 1; k < std::min(cores, count); ++k) {
        try {
            threads.emplace_back(work);
        } catch (const std::system_error&) {
            break; // fewer threads, same result
        }
    }
    work();
    for (std::thread& t : threads)
        t.join();
    return kept;
}

// The encoded picture of a slide: its kept bytes while they still serve
// its picture, otherwise the picture written through the raster library
// into a temporary file and read back. Empty when it could not be written.
std::vector<uint8_t> encodedPicture(const TSlideRecord& slide, const TPictureBytes* kept, uint8_t& format)
{
    if (kept) {
        format = kept->Format;
        return kept->Bytes;
    }
    format = raster::DibBitCount(slide.Dib) == 24 ? kPictureJpeg : kPictureGif;
    std::vector<uint8_t> bytes;
    if (!slide.Dib.Bits)
        return bytes;
    TempPicture temp;
    if (!temp.created())
        return bytes;
    raster::EncodeOptions options;
    options.format = rasterFormat(format);
    options.jpegQuality = raster::JPEGQual();
    if (raster::encodeImage(slide.Dib, options.format, bytes, options) != raster::ImageError::None ||
        !temp.write(bytes.data(), bytes.size()) || !temp.closeFile()) {
        bytes.clear();
        return bytes;
    }
    QFile back(temp.path());
    if (!back.open(QIODevice::ReadOnly))
        return {};
    const QByteArray stored = back.readAll();
    return std::vector<uint8_t>(stored.begin(), stored.end());
}

void writeFont(Writer& out, const TSlideFont& font)
{
    out.u8(font.Charset);
    out.i32(int32_t(font.Color));
    QByteArray name = platform::encodeFileText(font.Name);
    if (name.size() > 255)
        name.truncate(255);
    out.u8(uint8_t(name.size()));
    out.bytes(name);
    out.u8(font.Pitch);
    out.i32(font.PixelsPerInch);
    out.i32(font.Size);
    out.u8(font.Style);
}

// --- reading ---------------------------------------------------------------

// Reads the show file within its length: every read that would go past the
// end fails, and so does every read after it.
class Reader {
public:
    explicit Reader(QFile& file) : m_file(file), m_left(file.size() - file.pos()) {}

    bool ok() const { return m_ok; }
    qint64 left() const { return m_left; }

    bool raw(char* data, qint64 size)
    {
        if (!m_ok || size < 0 || size > m_left || m_file.read(data, size) != size)
            return m_ok = false;
        m_left -= size;
        return true;
    }
    int32_t i32()
    {
        uint8_t b[4] = {};
        raw(reinterpret_cast<char*>(b), 4);
        return int32_t(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
    }
    uint8_t u8()
    {
        char b = 0;
        raw(&b, 1);
        return uint8_t(b);
    }
    QByteArray block(qint64 size)
    {
        if (!m_ok || size < 0 || size > m_left)
            return m_ok = false, QByteArray();
        QByteArray b(size, Qt::Uninitialized);
        raw(b.data(), size);
        return b;
    }
    QString string()
    {
        const int32_t n = i32();
        return platform::decodeFileText(block(n));
    }
    std::vector<uint8_t> bytes(qint64 size)
    {
        if (!m_ok || size < 0 || size > m_left)
            return m_ok = false, std::vector<uint8_t>();
        std::vector<uint8_t> b(static_cast<size_t>(size));
        raw(reinterpret_cast<char*>(b.data()), size);
        return b;
    }

private:
    QFile& m_file;
    qint64 m_left;
    bool m_ok = true;
};

// The stored path as a full one: a bare name lies in the show's folder.
QString readPath(const QString& stored, const QString& showFolder)
{
    if (!stored.isEmpty() && platform::ExtractFilePath(stored).isEmpty())
        return showFolder + stored;
    return stored;
}

// A slide's stored picture, read from the file and waiting to be decoded.
struct PictureJob {
    uint32_t slide = 0;
    uint8_t format = 0;
    std::vector<uint8_t> bytes;
    raster::TDibRecord picture{};
    uint64_t fingerprint = 0; // the decoded picture's, for its kept bytes
};

// Rebuilds the picture from its stored bytes, through a temporary file and
// the raster library. A picture that cannot be rebuilt stays empty.
void decodePicture(PictureJob& job)
{
    TempPicture temp;
    if (!temp.created() || !temp.write(job.bytes.data(), job.bytes.size()) || !temp.closeFile())
        return;
    raster::OpenDib(&job.picture, temp.path(), rasterFormat(job.format), nullptr);
    if (!job.picture.Bits) {
        if (job.picture.Info)
            raster::deldib(job.picture);
        job.picture = raster::TDibRecord{};
        return;
    }
    job.fingerprint = raster::DibFingerprint(job.picture);
}

// Decodes every picture, on as many cores as there are (the pictures are
// independent; decoding is most of the time a show takes to open). This
// thread reports 0 to progressWindow, then k * 100 div n once the k-th of
// the n pictures is finished, for k = 1..n, and nothing else.
void decodePictures(std::vector<PictureJob>& jobs, QObject* progressWindow)
{
    platform::SendMessage(progressWindow, platform::WM_USER, 0);
    std::atomic<size_t> next{0};
    std::mutex mutex;
    std::condition_variable finished;
    size_t done = 0;
    auto work = [&] {
        for (size_t i; (i = next.fetch_add(1)) < jobs.size();) {
            decodePicture(jobs[i]);
            std::lock_guard lock(mutex);
            ++done;
            finished.notify_one();
        }
    };
    const size_t cores = std::clamp<size_t>(std::thread::hardware_concurrency(), 1, 8);
    std::vector<std::thread> threads;
    for (size_t k = 0; k < std::min(cores, jobs.size()); ++k) {
        try {
            threads.emplace_back(work);
        } catch (const std::system_error&) {
            break; // fewer threads, same result
        }
    }
    if (threads.empty())
        work();
    // One report per finished picture, in order, however many the threads
    // finished since this thread last looked.
    size_t reported = 0;
    for (std::unique_lock lock(mutex); reported < jobs.size();) {
        finished.wait(lock, [&] { return done > reported; });
        const size_t now = done;
        lock.unlock();
        while (reported < now) {
            ++reported;
            platform::SendMessage(progressWindow, platform::WM_USER, intptr_t(reported * 100 / jobs.size()));
        }
        lock.lock();
    }
    for (std::thread& t : threads)
        t.join();
}

bool readSlide(Reader& in, TDynaArray& slides, void** currentNode, const QString& showFolder,
               std::vector<PictureJob>& pictures)
{
    TSlideRecord* slide = AddBlankSlide(slides, currentNode);
    if (!slide)
        return false;
    slide->FileName = NewString(readPath(in.string(), showFolder));
    slide->Comment = NewString(in.string());
    slide->SoundFile = NewString(readPath(in.string(), showFolder));
    slide->CommentVisible = in.u8();
    slide->PictureVisible = in.u8();
    slide->Effect = in.i32();
    slide->SizeMode = in.i32();
    slide->TransTime = in.i32();
    slide->PauseTime = in.i32();
    slide->TextPosition = in.i32();
    slide->Placement = in.i32();
    slide->BackColor = COLORREF(in.i32());
    slide->BorderColor = COLORREF(in.i32());
    slide->KeepAspect = in.u8();
    slide->TextBorder = in.u8();
    slide->SoundMode = in.i32();
    slide->CollageMember = in.u8();
    slide->Frame.Left = in.i32();
    slide->Frame.Top = in.i32();
    slide->Frame.Right = in.i32();
    slide->Frame.Bottom = in.i32();
    slide->UserSize = in.i32();
    slide->UserPicX = in.i32();
    slide->UserPicY = in.i32();
    slide->UserTextX = in.i32();
    slide->UserTextY = in.i32();

    const int32_t nodes = in.i32();
    if (!in.ok() || nodes < 0 || qint64(nodes) * 8 > in.left())
        return false;
    for (int32_t k = 0; k < nodes; ++k) {
        auto* node = static_cast<TNodePoint*>(slide->Nodes->Add());
        if (!node)
            return false;
        node->X = in.i32();
        node->Y = in.i32();
    }

    const uint8_t format = in.u8();
    std::vector<uint8_t> picture = in.bytes(in.i32());
    if (!in.ok())
        return false;

    TSlideFont& font = *slide->Font;
    font.Charset = in.u8();
    font.Color = COLORREF(in.i32());
    font.Name = platform::decodeFileText(in.block(in.u8()));
    font.Pitch = in.u8();
    font.PixelsPerInch = in.i32();
    font.Size = in.i32();
    font.Style = in.u8();
    if (!in.ok())
        return false;

    // Decoded once the whole file is known to be sound; other format
    // bytes leave the slide without a picture.
    if ((format == kPictureJpeg || format == kPictureGif) && !picture.empty())
        pictures.push_back({slides.Count() - 1, format, std::move(picture), {}, 0});
    return true;
}

} // namespace

QString ShowFolder(const QString& path)
{
    const QString folder = platform::ExtractFilePath(path);
    return folder.isEmpty() ? programFolder() : folder;
}

bool SaveFile(ShowDocument& show, const QString& path, bool namesOnly)
{
    const QString name = platform::ExtractFileName(path);
    const QString folder = ShowFolder(path);
    const QString failText = QStringLiteral("Lumivox speichern: Konnte die Datei %1 nicht erstellen!").arg(name);

    // Unbuffered, so that a write the disk refuses fails right there. The
    // new file takes the old one's place only once it is complete; where
    // the folder forbids making a file beside it but the file itself may
    // be written, it is written in place, keeping its permissions.
    QSaveFile file(folder + name);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        showStop(failText);
        return false;
    }

    Writer out;
    out.bytes(QByteArray(kShowMagic, kMagicLength));
    out.i32(0);
    out.string(storedPath(show.Settings.MusicFile, folder, namesOnly));
    out.i32(show.Settings.EndMode >= emRepeat && show.Settings.EndMode <= emQuit ? show.Settings.EndMode : 0);
    out.i32(show.Settings.FullScreen ? 1 : 0);
    out.i32(show.Settings.PlayBar ? 1 : 0);
    out.i32(int32_t(show.Slides.Count()));
    bool ok = out.flushTo(file);

    const std::vector<const TPictureBytes*> kept = keptPictureBytes(show);
    for (uint32_t i = 0; ok && i < show.Slides.Count(); ++i) {
        const TSlideRecord& slide = *show.slide(i);
        out.string(storedPath(StringText(slide.FileName), folder, namesOnly));
        out.string(StringText(slide.Comment));
        const QString sound = StringText(slide.SoundFile);
        out.string(namesOnly ? platform::ExtractFileName(sound) : sound);
        out.u8(slide.CommentVisible);
        out.u8(slide.PictureVisible);
        out.i32(slide.Effect);
        out.i32(slide.SizeMode);
        out.i32(slide.TransTime);
        out.i32(slide.PauseTime);
        out.i32(slide.TextPosition);
        out.i32(slide.Placement);
        out.i32(int32_t(slide.BackColor));
        out.i32(int32_t(slide.BorderColor));
        out.u8(slide.KeepAspect);
        out.u8(slide.TextBorder);
        out.i32(slide.SoundMode);
        out.u8(slide.CollageMember);
        out.i32(slide.Frame.Left);
        out.i32(slide.Frame.Top);
        out.i32(slide.Frame.Right);
        out.i32(slide.Frame.Bottom);
        out.i32(slide.UserSize);
        out.i32(slide.UserPicX);
        out.i32(slide.UserPicY);
        out.i32(slide.UserTextX);
        out.i32(slide.UserTextY);
        const uint32_t nodes = slide.Nodes ? slide.Nodes->Count() : 0;
        out.i32(int32_t(nodes));
        for (uint32_t k = 0; k < nodes; ++k) {
            const TNodePoint& node = *ElementAt<TNodePoint>(*slide.Nodes, k);
            out.i32(node.X);
            out.i32(node.Y);
        }
        uint8_t format = 0;
        const std::vector<uint8_t> picture = encodedPicture(slide, kept[i], format);
        out.u8(format);
        out.i32(int32_t(picture.size()));
        ok = out.flushTo(file);
        if (ok && !picture.empty())
            ok = file.write(reinterpret_cast<const char*>(picture.data()), qint64(picture.size())) ==
                 qint64(picture.size());
        // The disk starts on what is written while the rest follows, so the
        // flush before the file takes the old one's place has little left
        // to wait for.
        if (ok && file.handle() >= 0)
            ::sync_file_range(file.handle(), 0, 0, SYNC_FILE_RANGE_WRITE);
        writeFont(out, slide.Font ? *slide.Font : TSlideFont());
    }
    ok = ok && out.flushTo(file) && file.commit();
    if (!ok) {
        file.cancelWriting();
        showStop(failText);
        return false;
    }
    show.ShowFileName = path;
    return true;
}

bool OpenFile(ShowDocument& show, const QString& path, QObject* progressWindow)
{
    const QString name = platform::ExtractFileName(path);
    const QString folder = ShowFolder(path);

    QFile file(folder + name);
    if (!file.open(QIODevice::ReadOnly)) {
        showStop(QStringLiteral("Lumivox \u00f6ffnen: Konnte die Datei %1 nicht \u00f6ffnen!").arg(name));
        return false;
    }
    char magic[kMagicLength] = {};
    if (file.read(magic, kMagicLength) != kMagicLength || std::memcmp(magic, kShowMagic, kMagicLength) != 0) {
        showStop(invalidFileText());
        return false;
    }

    // Everything goes into a new list first; the show is replaced only when
    // the whole file was read.
    Reader in(file);
    TNodePoint* currentNode = nullptr;
    TDynaArray slides(sizeof(TSlideRecord), nullptr);
    slides.SetGrowBy(show.Slides.GrowBy());
    TShowSettings settings = show.Settings;

    in.i32(); // reserved
    const QString music = readPath(in.string(), folder);
    const int32_t endMode = in.i32();
    const int32_t fullScreen = in.i32();
    const int32_t playBar = in.i32();
    const int32_t count = in.i32();
    bool ok = in.ok();
    std::vector<PictureJob> pictures;
    for (int32_t i = 0; ok && i < count; ++i)
        ok = readSlide(in, slides, reinterpret_cast<void**>(&currentNode), folder, pictures);
    if (!ok) {
        ClearSlides(slides);
        showStop(invalidFileText());
        return false;
    }
    decodePictures(pictures, progressWindow);
    for (PictureJob& job : pictures) {
        if (!job.picture.Bits)
            continue;
        TSlideRecord& slide = *ElementAt<TSlideRecord>(slides, job.slide);
        slide.Dib = job.picture;
        KeepPictureBytes(slide, job.format, std::move(job.bytes), job.fingerprint);
    }

    settings.MusicFile = music;
    if (endMode >= emRepeat && endMode <= emQuit)
        settings.EndMode = endMode;
    settings.FullScreen = fullScreen != 0;
    settings.PlayBar = playBar != 0;

    ClearSlides(show.Slides);
    show.Slides.Adopt(slides);
    for (uint32_t i = 0; i < show.Slides.Count(); ++i)
        show.slide(i)->Nodes->SetCursorVar(reinterpret_cast<void**>(&show.CurrentNode));
    show.CurrentNode = nullptr;
    show.Settings = settings;
    show.ShowFileName = path;
    return true;
}

} // namespace show
