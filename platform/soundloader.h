#pragma once
// The media player's decode thread. Part of the sound layer (platform/mci).

#include "platform/sounddecode.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace platform {

// What a file was when its decode was asked for; a decoded sound is used
// for a file only while the file is unchanged.
struct FileStamp {
    long long size = -1;
    long long modified = 0;
    bool operator==(const FileStamp&) const = default;
};
FileStamp stampOf(const std::string& path);

// One decode asked of the loader.
struct SoundRequest {
    std::string path;
    FileStamp stamp;
    MixerFormat format;
    std::atomic<bool> cancelled{false};
    // Guarded by the loader's lock.
    bool finished = false;
    ChunkPtr chunk;
};
using SoundRequestPtr = std::shared_ptr<SoundRequest>;

// Decodes sound files on a thread of its own, one at a time, in the order
// they were asked for. onFinished runs on that thread after every decode
// (the asking thread posts from there to itself). Destroying the loader
// drops what waits and waits for the running decode, which, cancelled,
// stops at its next piece.
class SoundLoader {
public:
    explicit SoundLoader(std::function<void()> onFinished);
    ~SoundLoader();
    SoundLoader(const SoundLoader&) = delete;
    SoundLoader& operator=(const SoundLoader&) = delete;

    SoundRequestPtr load(const std::string& path, const MixerFormat& format);
    // The result is not wanted any more: a waiting decode is skipped, a
    // running one ends early and its chunk is released.
    void cancel(const SoundRequestPtr& request);
    bool finished(const SoundRequestPtr& request) const;
    // Blocks until the decode has finished (or was cancelled).
    void wait(const SoundRequestPtr& request);
    // The decoded chunk of a finished request; null for a failure.
    ChunkPtr take(const SoundRequestPtr& request);

private:
    void run();

    std::function<void()> m_onFinished;
    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    std::deque<SoundRequestPtr> m_queue;
    SoundRequestPtr m_running;
    bool m_quit = false;
    std::thread m_thread;
};

} // namespace platform
