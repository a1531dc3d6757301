#include "platform/sounddecode.h"

#include "platform/midilength.h"

#include <SDL.h>
#include <SDL_mixer.h>
#include <fluidsynth.h>
#include <mpg123.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <vector>

namespace platform {

void ChunkDeleter::operator()(Mix_Chunk* chunk) const
{
    Mix_FreeChunk(chunk); // halts any channel playing it first
}

std::mutex& mixerLoadLock()
{
    static std::mutex lock;
    return lock;
}

namespace {

// Collects decoded samples, converted to the mixer's format as they come,
// in one SDL-allocated buffer that becomes the chunk's.
class PcmSink {
public:
    explicit PcmSink(const MixerFormat& out) : m_out(out) {}
    ~PcmSink()
    {
        if (m_stream)
            SDL_FreeAudioStream(m_stream);
        SDL_free(m_buffer);
    }
    PcmSink(const PcmSink&) = delete;
    PcmSink& operator=(const PcmSink&) = delete;

    // The format of what put() gets from now on.
    bool begin(SDL_AudioFormat format, int channels, int rate)
    {
        if (m_stream && !flush())
            return false;
        if (m_stream)
            SDL_FreeAudioStream(m_stream);
        m_stream = SDL_NewAudioStream(format, Uint8(channels), rate, SDL_AudioFormat(m_out.format),
                                      Uint8(m_out.channels), m_out.rate);
        return m_stream != nullptr;
    }
    bool put(const void* data, size_t bytes)
    {
        return m_stream && SDL_AudioStreamPut(m_stream, data, int(bytes)) == 0 && drain();
    }
    // Takes room for frames input frames at inputRate at once, so that a
    // long sound is not grown (and its pages moved) again and again while
    // the window's thread runs beside the decode.
    void reserveFrames(int64_t frames, int inputRate)
    {
        if (frames <= 0 || inputRate <= 0 || m_buffer)
            return;
        const double bytes = double(frames) * m_out.rate / inputRate * double(frameBytes()) + 65536.0;
        if (bytes > double(std::numeric_limits<Uint32>::max()))
            return;
        m_buffer = static_cast<Uint8*>(SDL_malloc(size_t(bytes)));
        m_capacity = m_buffer ? size_t(bytes) : 0;
    }
    // Bytes of mixer output collected so far.
    size_t size() const { return m_size; }
    size_t frameBytes() const { return size_t(SDL_AUDIO_BITSIZE(m_out.format) / 8 * m_out.channels); }

    // The chunk of everything put, cut to at most limit bytes; null when
    // nothing was decoded.
    ChunkPtr finish(size_t limit = std::numeric_limits<size_t>::max())
    {
        if (!m_stream || !flush())
            return nullptr;
        const size_t frame = std::max<size_t>(frameBytes(), 1);
        size_t bytes = std::min({m_size, limit, size_t(std::numeric_limits<Uint32>::max())});
        bytes -= bytes % frame;
        if (bytes == 0)
            return nullptr;
        auto* chunk = static_cast<Mix_Chunk*>(SDL_calloc(1, sizeof(Mix_Chunk)));
        if (!chunk)
            return nullptr;
        chunk->allocated = 1; // Mix_FreeChunk releases the samples with it
        chunk->abuf = m_buffer;
        chunk->alen = Uint32(bytes);
        chunk->volume = MIX_MAX_VOLUME;
        m_buffer = nullptr;
        m_size = m_capacity = 0;
        return ChunkPtr(chunk);
    }

private:
    bool flush() { return SDL_AudioStreamFlush(m_stream) == 0 && drain(); }
    bool drain()
    {
        for (;;) {
            const int available = SDL_AudioStreamAvailable(m_stream);
            if (available <= 0)
                return true;
            if (m_size + size_t(available) > m_capacity) {
                const size_t capacity = std::max(m_capacity * 2, m_size + size_t(available) + (1u << 16));
                auto* grown = static_cast<Uint8*>(SDL_realloc(m_buffer, capacity));
                if (!grown)
                    return false;
                m_buffer = grown;
                m_capacity = capacity;
            }
            const int got = SDL_AudioStreamGet(m_stream, m_buffer + m_size, available);
            if (got <= 0)
                return got == 0;
            m_size += size_t(got);
        }
    }

    const MixerFormat& m_out;
    SDL_AudioStream* m_stream = nullptr;
    Uint8* m_buffer = nullptr;
    size_t m_size = 0;
    size_t m_capacity = 0;
};

constexpr size_t kPiece = 1u << 15; // bytes decoded between two looks at the cancel flag

std::vector<uint8_t> readHead(const std::string& path, size_t bytes)
{
    std::vector<uint8_t> head(bytes);
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return {};
    head.resize(std::fread(head.data(), 1, bytes, f));
    std::fclose(f);
    return head;
}

std::vector<uint8_t> readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The mixer's bytes for ms milliseconds of sound.
size_t bytesFor(double ms, const MixerFormat& mixer)
{
    const double frames = ms * mixer.rate / 1000.0;
    return size_t(frames) * size_t(SDL_AUDIO_BITSIZE(mixer.format) / 8 * mixer.channels);
}

ChunkPtr decodeWav(const std::string& path, const MixerFormat& mixer, const std::atomic<bool>& cancelled)
{
    SDL_AudioSpec wavFormat{};
    Uint8* samples = nullptr;
    Uint32 length = 0;
    if (!SDL_LoadWAV(path.c_str(), &wavFormat, &samples, &length))
        return nullptr;
    PcmSink sink(mixer);
    bool ok = sink.begin(wavFormat.format, wavFormat.channels, wavFormat.freq);
    for (size_t at = 0; ok && at < length && !cancelled; at += kPiece)
        ok = sink.put(samples + at, std::min<size_t>(kPiece, length - at));
    SDL_FreeWAV(samples);
    return ok && !cancelled ? sink.finish() : nullptr;
}

ChunkPtr decodeMp3(const std::string& path, const MixerFormat& mixer, const std::atomic<bool>& cancelled)
{
    static const bool ready = mpg123_init() == MPG123_OK;
    if (!ready)
        return nullptr;
    struct Closer {
        void operator()(mpg123_handle* h) const
        {
            mpg123_close(h);
            mpg123_delete(h);
        }
    };
    std::unique_ptr<mpg123_handle, Closer> handle(mpg123_new(nullptr, nullptr));
    if (!handle)
        return nullptr;
    mpg123_param(handle.get(), MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    if (mpg123_open_fixed(handle.get(), path.c_str(), MPG123_STEREO, MPG123_ENC_SIGNED_16) != MPG123_OK)
        return nullptr;
    long rate = 0;
    int channels = 0, encoding = 0;
    if (mpg123_getformat(handle.get(), &rate, &channels, &encoding) != MPG123_OK)
        return nullptr;
    PcmSink sink(mixer);
    if (!sink.begin(AUDIO_S16SYS, channels, int(rate)))
        return nullptr;
    sink.reserveFrames(int64_t(mpg123_length(handle.get())), int(rate));
    std::vector<unsigned char> piece(kPiece);
    while (!cancelled) {
        size_t done = 0;
        const int result = mpg123_read(handle.get(), piece.data(), piece.size(), &done);
        if (done > 0 && !sink.put(piece.data(), done))
            return nullptr;
        if (result == MPG123_NEW_FORMAT) {
            if (mpg123_getformat(handle.get(), &rate, &channels, &encoding) != MPG123_OK
                || !sink.begin(AUDIO_S16SYS, channels, int(rate)))
                return nullptr;
        } else if (result != MPG123_OK) {
            break; // the end, or a fault: what was decoded plays
        }
    }
    return cancelled ? nullptr : sink.finish();
}

// Null also when the file is an Ogg file of another codec.
ChunkPtr decodeVorbis(const std::string& path, const MixerFormat& mixer, const std::atomic<bool>& cancelled)
{
    OggVorbis_File file;
    if (ov_fopen(path.c_str(), &file) != 0)
        return nullptr;
    struct Clear {
        OggVorbis_File* f;
        ~Clear() { ov_clear(f); }
    } clear{&file};
    PcmSink sink(mixer);
    int section = -1, channels = 0;
    long rate = 0;
    std::vector<char> piece(kPiece);
    while (!cancelled) {
        int now = 0;
        const long got = ov_read(&file, piece.data(), int(piece.size()), SDL_BYTEORDER == SDL_BIG_ENDIAN, 2, 1, &now);
        if (got == OV_HOLE)
            continue;
        if (got <= 0)
            break;
        if (now != section) {
            const vorbis_info* info = ov_info(&file, now);
            if (!info)
                break;
            if (info->channels != channels || info->rate != rate) {
                channels = info->channels;
                rate = info->rate;
                if (!sink.begin(AUDIO_S16SYS, channels, int(rate)))
                    return nullptr;
            }
            section = now;
        }
        if (!sink.put(piece.data(), size_t(got)))
            return nullptr;
    }
    return cancelled ? nullptr : sink.finish();
}

// Renders the MIDI piece to its last note and the ring-out; null without a
// soundfont that loads.
ChunkPtr decodeMidi(const std::vector<uint8_t>& bytes, double lengthMs, const MixerFormat& mixer,
                    const std::atomic<bool>& cancelled)
{
    struct Synth {
        fluid_settings_t* settings = new_fluid_settings();
        fluid_synth_t* synth = nullptr;
        fluid_player_t* player = nullptr;
        ~Synth()
        {
            if (player)
                delete_fluid_player(player);
            if (synth)
                delete_fluid_synth(synth);
            if (settings)
                delete_fluid_settings(settings);
        }
    } s;
    if (!s.settings)
        return nullptr;
    fluid_settings_setnum(s.settings, "synth.sample-rate", double(mixer.rate));
    double rate = 0;
    fluid_settings_getnum(s.settings, "synth.sample-rate", &rate);
    s.synth = new_fluid_synth(s.settings);
    if (!s.synth)
        return nullptr;
    bool font = false;
    size_t from = 0;
    while (from <= mixer.soundFonts.size()) {
        const size_t to = std::min(mixer.soundFonts.find(';', from), mixer.soundFonts.size());
        const std::string path = mixer.soundFonts.substr(from, to - from);
        if (!path.empty() && fluid_synth_sfload(s.synth, path.c_str(), 1) != FLUID_FAILED)
            font = true;
        from = to + 1;
    }
    if (!font)
        return nullptr;
    s.player = new_fluid_player(s.synth);
    if (!s.player || fluid_player_add_mem(s.player, bytes.data(), bytes.size()) != FLUID_OK
        || fluid_player_play(s.player) != FLUID_OK)
        return nullptr;

    PcmSink sink(mixer);
    if (!sink.begin(AUDIO_S16SYS, 2, int(rate)))
        return nullptr;
    const size_t limit = bytesFor(lengthMs + kMidiTailMs, mixer);
    constexpr int kFrames = 1024;
    std::vector<int16_t> piece(kFrames * 2);
    while (!cancelled && sink.size() < limit && fluid_player_get_status(s.player) == FLUID_PLAYER_PLAYING) {
        if (fluid_synth_write_s16(s.synth, kFrames, piece.data(), 0, 2, piece.data(), 1, 2) != FLUID_OK
            || !sink.put(piece.data(), piece.size() * sizeof(int16_t)))
            return nullptr;
    }
    return cancelled ? nullptr : sink.finish(limit);
}

// SDL_mixer's own decoders, for what the ones above do not read.
ChunkPtr decodeWithMixer(const std::string& path, double midiMs, const MixerFormat& mixer)
{
    std::lock_guard<std::mutex> lock(mixerLoadLock());
    ChunkPtr chunk(Mix_LoadWAV(path.c_str()));
    // A MIDI sound is rendered with seconds of silence behind it; it ends
    // with its last note, as music does.
    if (chunk && midiMs >= 0) {
        const size_t bytes = bytesFor(midiMs + kMidiTailMs, mixer);
        if (bytes < chunk->alen)
            chunk->alen = Uint32(bytes);
    }
    return chunk;
}

bool startsWith(const std::vector<uint8_t>& head, size_t at, const char* text)
{
    const size_t n = std::strlen(text);
    return head.size() >= at + n && std::memcmp(head.data() + at, text, n) == 0;
}

} // namespace

ChunkPtr decodeSound(const std::string& path, const MixerFormat& mixer, const std::atomic<bool>& cancelled)
{
    if (mixer.rate <= 0 || mixer.channels <= 0)
        return nullptr;
    const std::vector<uint8_t> head = readHead(path, 12);
    if (looksLikeMidi(head.data(), head.size())) {
        const std::vector<uint8_t> bytes = readAll(path);
        const double ms = midiLengthMs(bytes.data(), bytes.size());
        if (ms < 0)
            return nullptr; // the synthesizer takes anything; only real MIDI plays
        if (ChunkPtr chunk = decodeMidi(bytes, ms, mixer, cancelled))
            return chunk;
        return cancelled ? nullptr : decodeWithMixer(path, ms, mixer);
    }
    if (startsWith(head, 0, "RIFF") && startsWith(head, 8, "WAVE"))
        return decodeWav(path, mixer, cancelled);
    const bool mpegSync = head.size() >= 2 && head[0] == 0xFF && (head[1] & 0xE0) == 0xE0;
    if (startsWith(head, 0, "ID3") || mpegSync)
        return decodeMp3(path, mixer, cancelled);
    if (startsWith(head, 0, "OggS")) {
        if (ChunkPtr chunk = decodeVorbis(path, mixer, cancelled))
            return chunk;
    }
    return cancelled ? nullptr : decodeWithMixer(path, -1, mixer);
}

} // namespace platform
