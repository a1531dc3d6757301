#include "platform/soundloader.h"

#include "platform/mci.h"

#include <SDL.h>

#include <filesystem>
#include <system_error>

namespace platform {

namespace {

// The state of the test hook SoundDecodeHold.
struct Hold {
    std::mutex lock;
    std::condition_variable changed;
    bool active = false;
    int requested = 0;
};

Hold& hold()
{
    static Hold h;
    return h;
}

void noteRequest()
{
    Hold& h = hold();
    std::lock_guard<std::mutex> lock(h.lock);
    if (h.active)
        ++h.requested;
}

// While a hold is on, the decode of request waits here for its release.
void waitWhileHeld(const SoundRequest& request)
{
    Hold& h = hold();
    std::unique_lock<std::mutex> lock(h.lock);
    h.changed.wait(lock, [&] { return !h.active || request.cancelled; });
}

void wakeHeld()
{
    Hold& h = hold();
    std::lock_guard<std::mutex> lock(h.lock);
    h.changed.notify_all();
}

} // namespace

SoundDecodeHold::SoundDecodeHold()
{
    Hold& h = hold();
    std::lock_guard<std::mutex> lock(h.lock);
    h.active = true;
    h.requested = 0;
}

SoundDecodeHold::~SoundDecodeHold()
{
    release();
}

void SoundDecodeHold::release()
{
    Hold& h = hold();
    std::lock_guard<std::mutex> lock(h.lock);
    h.active = false;
    h.changed.notify_all();
}

int SoundDecodeHold::requested() const
{
    Hold& h = hold();
    std::lock_guard<std::mutex> lock(h.lock);
    return h.requested;
}

FileStamp stampOf(const std::string& path)
{
    std::error_code ec;
    FileStamp stamp;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec)
        return stamp;
    const auto modified = std::filesystem::last_write_time(path, ec);
    stamp.size = (long long)size;
    stamp.modified = ec ? 0 : (long long)modified.time_since_epoch().count();
    return stamp;
}

SoundLoader::SoundLoader(std::function<void()> onFinished) : m_onFinished(std::move(onFinished))
{
    m_thread = std::thread([this] { run(); });
}

SoundLoader::~SoundLoader()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_quit = true;
        for (const SoundRequestPtr& request : m_queue) {
            request->cancelled = true;
            request->finished = true;
        }
        m_queue.clear();
        if (m_running)
            m_running->cancelled = true;
    }
    m_wake.notify_all();
    m_done.notify_all();
    wakeHeld();
    m_thread.join();
}

SoundRequestPtr SoundLoader::load(const std::string& path, const MixerFormat& format)
{
    auto request = std::make_shared<SoundRequest>();
    request->path = path;
    request->stamp = stampOf(path);
    request->format = format;
    noteRequest();
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_queue.push_back(request);
    }
    m_wake.notify_one();
    return request;
}

void SoundLoader::cancel(const SoundRequestPtr& request)
{
    if (!request)
        return;
    request->cancelled = true;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        request->chunk.reset();
    }
    wakeHeld();
}

bool SoundLoader::finished(const SoundRequestPtr& request) const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return request->finished;
}

void SoundLoader::wait(const SoundRequestPtr& request)
{
    std::unique_lock<std::mutex> lock(m_lock);
    m_done.wait(lock, [&] { return request->finished; });
}

ChunkPtr SoundLoader::take(const SoundRequestPtr& request)
{
    std::lock_guard<std::mutex> lock(m_lock);
    return std::move(request->chunk);
}

void SoundLoader::run()
{
    // SDL keeps its error texts per thread; a thread it did not start has
    // to release them itself before it ends.
    struct ThreadEnd {
        ~ThreadEnd() { SDL_TLSCleanup(); }
    } threadEnd;
    for (;;) {
        SoundRequestPtr request;
        {
            std::unique_lock<std::mutex> lock(m_lock);
            m_wake.wait(lock, [this] { return m_quit || !m_queue.empty(); });
            if (m_quit)
                return;
            request = std::move(m_queue.front());
            m_queue.pop_front();
            m_running = request;
        }
        ChunkPtr chunk;
        if (!request->cancelled) {
            waitWhileHeld(*request);
            if (!request->cancelled)
                chunk = decodeSound(request->path, request->format, request->cancelled);
        }
        {
            std::lock_guard<std::mutex> lock(m_lock);
            // A result nobody wants any more is released here, off the
            // asking thread.
            if (!request->cancelled)
                request->chunk = std::move(chunk);
            request->finished = true;
            m_running.reset();
        }
        chunk.reset();
        m_done.notify_all();
        if (m_onFinished)
            m_onFinished();
    }
}

} // namespace platform
