#include "show/intake.h"

#include "platform/msgbox.h"
#include "raster/fingerprint.h"
#include "raster/rasterio.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace show {

namespace {
// The show file's picture formats of kept bytes.
constexpr uint8_t kPictureJpeg = 0;
constexpr uint8_t kPictureGif = 1;

// How long take waits for a picture before it lets idle run again.
constexpr auto kIdleSlice = std::chrono::milliseconds(10);

int cores()
{
    return int(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
}
} // namespace

LoadedPicture LoadPicture(const QString& path, QObject* progressWindow)
{
    LoadedPicture loaded;
    raster::OpenedFile opened;
    raster::TDibRecord picture;
    raster::OpenDib(&picture, path, raster::FormatAuto, progressWindow, opened);
    if (!picture.Bits) {
        loaded.ErrorText = raster::DibErrorText(picture);
        // Whatever a failed reading left behind goes with it.
        if (picture.Info)
            raster::deldib(picture);
        return loaded;
    }
    loaded.Picture.reset(picture);
    if ((opened.Format == raster::FormatJIF || opened.Format == raster::FormatGIF) && !opened.Bytes.empty()) {
        loaded.KeepBytes = true;
        loaded.Format = opened.Format == raster::FormatJIF ? kPictureJpeg : kPictureGif;
        loaded.Bytes = std::move(opened.Bytes);
        loaded.Fingerprint = raster::DibFingerprint(loaded.Picture.get());
    }
    return loaded;
}

TSlideRecord* AddPictureSlide(ShowDocument& show, LoadedPicture& loaded, const QString& fileName)
{
    if (!loaded.ok())
        return nullptr;
    TSlideRecord* slide = AddNewSlide(show, loaded.Picture.get(), fileName);
    if (!slide)
        return nullptr;
    loaded.Picture.release();
    if (loaded.KeepBytes)
        KeepPictureBytes(*slide, loaded.Format, std::move(loaded.Bytes), loaded.Fingerprint);
    loaded.KeepBytes = false;
    loaded.Bytes = {};
    loaded.Fingerprint = 0;
    return slide;
}

void ShowLoadFailure(const LoadedPicture& loaded, const QString& name)
{
    const QString sentence = QStringLiteral("Fehler: Die Datei ") + name + QStringLiteral(" konnte nicht geladen werden!");
    if (loaded.ErrorText.size() > 5)
        platform::MessageBox(loaded.ErrorText, sentence, platform::MsgIcon::None, platform::MsgButtons::Ok);
    else
        platform::MessageBox(sentence, QStringLiteral("Fehler"), platform::MsgIcon::None, platform::MsgButtons::Ok);
}

// The workers claim the pictures in list order, never more than readAhead
// beyond the next one the caller takes; each puts what it read into its
// slot. Everything below is guarded by mutex.
struct PictureIntake::State {
    explicit State(QStringList list) : paths(std::move(list)) {}

    // Const, so that no thread's reading detaches the list under another.
    const QStringList paths;
    int readAhead = 1;
    std::vector<LoadedPicture> pictures; // slot i holds picture i once it is read
    std::vector<char> ready;             // slot i is filled and not yet taken
    int nextRead = 0;                    // the next picture a worker claims
    int nextTake = 0;                    // the next picture the caller may take
    bool stopping = false;

    std::mutex mutex;
    std::condition_variable room;  // a worker may claim another picture, or stop
    std::condition_variable filled; // a slot was filled
    std::vector<std::thread> workers;

    int count() const { return int(paths.size()); }

    void work()
    {
        std::unique_lock lock(mutex);
        for (;;) {
            room.wait(lock, [&] { return stopping || nextRead >= count() || nextRead < nextTake + readAhead; });
            if (stopping || nextRead >= count())
                return;
            const int i = nextRead++;
            const QString path = paths[i];
            lock.unlock();
            LoadedPicture loaded = LoadPicture(path, nullptr);
            lock.lock();
            if (!stopping && i >= nextTake) {
                pictures[size_t(i)] = std::move(loaded);
                ready[size_t(i)] = 1;
                filled.notify_all();
            } else {
                // Nobody will take it: released without holding the others up.
                lock.unlock();
                loaded = LoadedPicture();
                lock.lock();
            }
        }
    }
};

PictureIntake::PictureIntake(QStringList paths) : m_state(std::make_unique<State>(std::move(paths)))
{
    State& s = *m_state;
    s.readAhead = cores() + 1;
    s.pictures.resize(size_t(s.count()));
    s.ready.assign(size_t(s.count()), 0);
    const int threads = std::min(cores(), s.count());
    for (int k = 0; k < threads; ++k) {
        try {
            s.workers.emplace_back([&s] { s.work(); });
        } catch (const std::system_error&) {
            break; // fewer threads; with none, take reads each picture itself
        }
    }
}

PictureIntake::~PictureIntake()
{
    {
        std::lock_guard lock(m_state->mutex);
        m_state->stopping = true;
    }
    m_state->room.notify_all();
    for (std::thread& t : m_state->workers)
        t.join();
    // The pictures not taken go with the slots.
}

int PictureIntake::count() const
{
    return m_state->count();
}

int PictureIntake::readAhead() const
{
    return m_state->readAhead;
}

LoadedPicture PictureIntake::take(int i, const std::function<void()>& idle)
{
    State& s = *m_state;
    std::vector<LoadedPicture> skipped; // released once the lock is given up
    std::unique_lock lock(s.mutex);
    if (i < s.nextTake || i >= s.count())
        return {};
    // Pictures passed over are not read, or are dropped when they were.
    for (int k = s.nextTake; k < i; ++k) {
        if (s.ready[size_t(k)]) {
            skipped.push_back(std::move(s.pictures[size_t(k)]));
            s.ready[size_t(k)] = 0;
        }
    }
    s.nextTake = i;
    s.nextRead = std::max(s.nextRead, i);
    s.room.notify_all();

    if (s.workers.empty()) {
        s.nextRead = s.nextTake = i + 1;
        const QString path = s.paths[i];
        lock.unlock();
        return LoadPicture(path, nullptr);
    }

    const auto isReady = [&] { return s.ready[size_t(i)] != 0; };
    while (!isReady()) {
        if (!idle) {
            s.filled.wait(lock, isReady);
        } else if (!s.filled.wait_for(lock, kIdleSlice, isReady)) {
            lock.unlock();
            idle();
            lock.lock();
        }
    }
    LoadedPicture taken = std::move(s.pictures[size_t(i)]);
    s.ready[size_t(i)] = 0;
    s.nextTake = i + 1;
    s.room.notify_all();
    return taken;
}

} // namespace show
