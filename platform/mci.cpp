#include "platform/mci.h"

#include <QFile>

#include <SDL.h>
#include <SDL_mixer.h>

#include <algorithm>
#include <chrono>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

namespace platform {

namespace {

struct MusicDeleter {
    void operator()(Mix_Music* music) const { Mix_FreeMusic(music); }
};
using MusicPtr = std::unique_ptr<Mix_Music, MusicDeleter>;

// One piece of music opened with "open ... alias <name>".
struct MciDevice {
    std::string name; // lower case
    MusicPtr music;
    double midiMs = -1;   // length of a MIDI piece, -1 for other music
    double startMs = 0;   // when the piece was at its beginning
    double pausedAt = -1; // when it was paused, -1 while not paused
};

bool g_audioOpen = false;
bool g_audioFailed = false;  // even the silent device would not open
bool g_forcedDummy = false;  // we set the driver hint ourselves
bool g_exitHookSet = false;
std::vector<std::unique_ptr<MciDevice>> g_devices;
Mix_Music* g_current = nullptr; // the music last started on the music stream
std::set<TMediaPlayer*> g_players;

void shutdownAtExit()
{
    shutdownSound();
    SDL_Quit();
}

bool openDevice()
{
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return false;
    if (Mix_OpenAudio(44100, AUDIO_S16SYS, 2, 1024) != 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    return true;
}

// The soundfont MIDI music is rendered with: SDL_SOUNDFONTS when the user
// set it, else the first General MIDI soundfont the system has.
void chooseSoundFont()
{
    const char* fromEnv = std::getenv("SDL_SOUNDFONTS");
    if (fromEnv && *fromEnv)
        return;
    static const char* const candidates[] = {
        "/usr/share/sounds/sf2/default-GM.sf2",
        "/usr/share/sounds/sf2/TimGM6mb.sf2",
        "/usr/share/sounds/sf2/FluidR3_GM.sf2",
        "/usr/share/sounds/sf3/default-GM.sf3",
        "/usr/share/soundfonts/default.sf2",
    };
    for (const char* path : candidates) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(path, ec)) {
            Mix_SetSoundFonts(path);
            return;
        }
    }
}

// Opens the audio device on first use; falls back to SDL's silent "dummy"
// driver when no sound card opens.
bool ensureAudio()
{
    if (g_audioOpen)
        return true;
    if (g_audioFailed)
        return false;
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, "Lumivox");
    if (!openDevice()) {
        SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, "dummy", SDL_HINT_OVERRIDE);
        g_forcedDummy = true;
        if (!openDevice()) {
            g_audioFailed = true;
            return false;
        }
    }
    Mix_Init(MIX_INIT_MP3 | MIX_INIT_MID | MIX_INIT_OGG);
    chooseSoundFont();
    g_audioOpen = true;
    if (!g_exitHookSet) {
        std::atexit(shutdownAtExit);
        g_exitHookSet = true;
    }
    return true;
}

// How long a standard MIDI file plays, in milliseconds, from its tracks and
// tempo changes; -1 when the bytes are no MIDI file. The synthesizer keeps a
// piece "playing" for seconds of silence after its last event, so MIDI ends
// by this clock instead, like a sequencer that stops at the end of its
// sequence.
class MidiReader {
public:
    explicit MidiReader(const std::vector<uint8_t>& bytes) : m_data(bytes) {}

    double durationMs()
    {
        size_t pos = 0;
        size_t end = m_data.size();
        // A RIFF "RMID" file wraps the standard file in its "data" chunk.
        if (end >= 12 && std::memcmp(&m_data[0], "RIFF", 4) == 0 && std::memcmp(&m_data[8], "RMID", 4) == 0) {
            pos = 12;
            bool found = false;
            while (pos + 8 <= end) {
                const size_t len = le32(pos + 4);
                if (std::memcmp(&m_data[pos], "data", 4) == 0) {
                    end = std::min(end, pos + 8 + len);
                    pos += 8;
                    found = true;
                    break;
                }
                pos += 8 + len + (len & 1);
            }
            if (!found)
                return -1;
        }
        if (pos + 14 > end || std::memcmp(&m_data[pos], "MThd", 4) != 0)
            return -1;
        const size_t headerLen = be32(pos + 4);
        if (headerLen < 6 || headerLen > end - pos - 8)
            return -1;
        const unsigned tracks = be16(pos + 10);
        const unsigned division = be16(pos + 12);
        if (division == 0)
            return -1;
        pos += 8 + headerLen;

        uint64_t lastTick = 0;
        unsigned seen = 0;
        while (seen < tracks && pos + 8 <= end) {
            const size_t len = be32(pos + 4);
            const bool isTrack = std::memcmp(&m_data[pos], "MTrk", 4) == 0;
            pos += 8;
            const size_t trackEnd = len > end - pos ? end : pos + len;
            if (isTrack) {
                lastTick = std::max(lastTick, readTrack(pos, trackEnd));
                ++seen;
            }
            pos = trackEnd;
        }
        if (seen == 0)
            return -1;

        if (division & 0x8000) { // frames per second and ticks per frame
            const int fps = -int(int8_t(division >> 8));
            const int perFrame = int(division & 0xFF);
            return fps > 0 && perFrame > 0 ? double(lastTick) * 1000.0 / (fps * perFrame) : -1;
        }
        std::sort(m_tempos.begin(), m_tempos.end());
        double ms = 0;
        uint64_t tick = 0;
        uint32_t usPerBeat = 500000;
        for (const auto& [at, tempo] : m_tempos) {
            if (at >= lastTick)
                break;
            ms += double(at - tick) * usPerBeat / 1000.0 / division;
            tick = at;
            usPerBeat = tempo;
        }
        return ms + double(lastTick - tick) * usPerBeat / 1000.0 / division;
    }

private:
    uint32_t be32(size_t at) const
    {
        return uint32_t(m_data[at]) << 24 | uint32_t(m_data[at + 1]) << 16 | uint32_t(m_data[at + 2]) << 8 | m_data[at + 3];
    }
    uint32_t le32(size_t at) const
    {
        return uint32_t(m_data[at + 3]) << 24 | uint32_t(m_data[at + 2]) << 16 | uint32_t(m_data[at + 1]) << 8 | m_data[at];
    }
    unsigned be16(size_t at) const { return unsigned(m_data[at]) << 8 | m_data[at + 1]; }

    // A variable-length number; false when the track ends inside it.
    bool varLen(size_t& pos, size_t end, uint32_t& value) const
    {
        value = 0;
        for (int i = 0; i < 4; ++i) {
            if (pos >= end)
                return false;
            const uint8_t b = m_data[pos++];
            value = (value << 7) | (b & 0x7F);
            if (!(b & 0x80))
                return true;
        }
        return false;
    }

    // The tick of the track's last event; tempo changes go to m_tempos.
    uint64_t readTrack(size_t pos, size_t end)
    {
        uint64_t tick = 0;
        uint8_t running = 0;
        while (pos < end) {
            uint32_t delta = 0;
            if (!varLen(pos, end, delta) || pos >= end)
                break;
            tick += delta;
            uint8_t status = m_data[pos];
            if (status & 0x80)
                ++pos;
            else if (running)
                status = running;
            else
                break;
            if (status == 0xFF) {
                if (pos >= end)
                    break;
                const uint8_t type = m_data[pos++];
                uint32_t len = 0;
                if (!varLen(pos, end, len) || len > end - pos)
                    break;
                if (type == 0x51 && len == 3)
                    m_tempos.emplace_back(tick, uint32_t(m_data[pos]) << 16 | uint32_t(m_data[pos + 1]) << 8 | m_data[pos + 2]);
                pos += len;
                if (type == 0x2F)
                    break;
            } else if (status == 0xF0 || status == 0xF7) {
                uint32_t len = 0;
                if (!varLen(pos, end, len) || len > end - pos)
                    break;
                pos += len;
            } else if (status >= 0xF0) {
                break; // no other system message belongs in a file
            } else {
                running = status;
                const size_t size = (status & 0xE0) == 0xC0 ? 1 : 2;
                if (size > end - pos)
                    break;
                pos += size;
            }
        }
        return tick;
    }

    const std::vector<uint8_t>& m_data;
    std::vector<std::pair<uint64_t, uint32_t>> m_tempos;
};

// The MIDI length of a file, or -1 when it is no MIDI file.
double midiDurationMs(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    char magic[12] = {};
    if (!in.read(magic, sizeof magic)
        || (std::memcmp(magic, "MThd", 4) != 0
            && (std::memcmp(magic, "RIFF", 4) != 0 || std::memcmp(magic + 8, "RMID", 4) != 0)))
        return -1;
    in.seekg(0);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return MidiReader(bytes).durationMs();
}

// Notes ring on this long after the last event of a MIDI piece.
constexpr double kMidiTailMs = 300;

double nowMs()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string lower(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string_view trim(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

std::vector<std::string> words(std::string_view text)
{
    std::vector<std::string> out;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
            ++i;
        const size_t start = i;
        while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i])))
            ++i;
        if (i > start)
            out.emplace_back(text.substr(start, i - start));
    }
    return out;
}

// The file as given, or with "\" read as "/" when only that name exists.
std::string resolveFile(const std::string& name)
{
    std::error_code ec;
    if (std::filesystem::exists(name, ec) || name.find('\\') == std::string::npos)
        return name;
    std::string slashed = name;
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    return std::filesystem::exists(slashed, ec) ? slashed : name;
}

bool isRegularFile(const std::string& name)
{
    std::error_code ec;
    return std::filesystem::is_regular_file(name, ec);
}

MciDevice* findDevice(const std::string& name)
{
    for (auto& device : g_devices)
        if (device->name == name)
            return device.get();
    return nullptr;
}

void closeDevice(MciDevice* device)
{
    if (device->music.get() == g_current) {
        Mix_HaltMusic();
        g_current = nullptr;
    }
    std::erase_if(g_devices, [device](const auto& d) { return d.get() == device; });
}

// Whether the device's piece is on the music stream now (paused counts);
// a MIDI piece past its end is halted here.
bool isPlayingNow(MciDevice& device)
{
    if (!g_current || device.music.get() != g_current || !Mix_PlayingMusic())
        return false;
    if (device.midiMs >= 0) {
        const double at = (device.pausedAt >= 0 ? device.pausedAt : nowMs()) - device.startMs;
        if (at >= device.midiMs + kMidiTailMs) {
            Mix_HaltMusic();
            g_current = nullptr;
            return false;
        }
    }
    return true;
}

void pauseMusic(MciDevice& device)
{
    if (!Mix_PausedMusic()) {
        Mix_PauseMusic();
        device.pausedAt = nowMs();
    }
}

void resumeMusic(MciDevice& device)
{
    if (Mix_PausedMusic()) {
        Mix_ResumeMusic();
        if (device.pausedAt >= 0)
            device.startMs += nowMs() - device.pausedAt;
        device.pausedAt = -1;
    }
}

uint32_t answer(char* buffer, uint32_t length, std::string_view text)
{
    if (!buffer || length == 0)
        return text.empty() ? 0 : MCIERR_PARAM_OVERFLOW;
    const size_t n = std::min<size_t>(text.size(), length - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return n < text.size() ? MCIERR_PARAM_OVERFLOW : 0;
}

bool onlyFlags(const std::vector<std::string>& rest, size_t from)
{
    for (size_t i = from; i < rest.size(); ++i) {
        const std::string w = lower(rest[i]);
        if (w != "wait" && w != "notify" && w != "shareable")
            return false;
    }
    return true;
}

uint32_t commandOpen(std::string_view args)
{
    // Everything before the last " alias " is the file, so names with
    // spaces need no quotes; the word after it is the device name.
    const std::string lowered = lower(args);
    const size_t at = lowered.rfind(" alias ");
    std::string_view file = trim(at == std::string::npos ? args : args.substr(0, at));
    std::string name;
    if (at != std::string::npos) {
        const auto rest = words(args.substr(at + 7));
        if (rest.empty())
            return MCIERR_MISSING_PARAMETER;
        if (!onlyFlags(rest, 1))
            return MCIERR_UNRECOGNIZED_KEYWORD;
        name = lower(rest[0]);
    }
    if (file.size() >= 2 && file.front() == '"' && file.back() == '"')
        file = file.substr(1, file.size() - 2);
    if (file.empty())
        return MCIERR_MISSING_PARAMETER;
    const std::string path = resolveFile(std::string(file));
    if (name.empty())
        name = lower(file);
    if (findDevice(name))
        return MCIERR_DUPLICATE_ALIAS;
    if (!isRegularFile(path))
        return MCIERR_FILE_NOT_FOUND;
    if (!ensureAudio())
        return MCIERR_HARDWARE;
    MusicPtr music(Mix_LoadMUS(path.c_str()));
    if (!music)
        return MCIERR_INVALID_FILE;
    double midiMs = -1;
    if (Mix_GetMusicType(music.get()) == MUS_MID) {
        // The synthesizer takes anything named .mid; only real MIDI opens.
        midiMs = midiDurationMs(path);
        if (midiMs < 0)
            return MCIERR_INVALID_FILE;
    }
    auto device = std::make_unique<MciDevice>();
    device->midiMs = midiMs;
    device->name = std::move(name);
    device->music = std::move(music);
    g_devices.push_back(std::move(device));
    return 0;
}

uint32_t commandPlay(MciDevice& device, const std::vector<std::string>& rest)
{
    long fromMs = -1;
    for (size_t i = 0; i < rest.size(); ++i) {
        const std::string w = lower(rest[i]);
        if (w == "from") {
            if (i + 1 >= rest.size())
                return MCIERR_MISSING_PARAMETER;
            char* end = nullptr;
            fromMs = std::strtol(rest[i + 1].c_str(), &end, 10);
            if (*end != '\0' || fromMs < 0)
                return MCIERR_BAD_INTEGER;
            ++i;
        } else if (w != "wait" && w != "notify") {
            return MCIERR_UNRECOGNIZED_KEYWORD;
        }
    }
    if (fromMs < 0 && isPlayingNow(device)) {
        resumeMusic(device);
        return 0;
    }
    if (Mix_PlayMusic(device.music.get(), 1) != 0) {
        g_current = nullptr;
        return MCIERR_HARDWARE;
    }
    g_current = device.music.get();
    device.startMs = nowMs() - double(std::max(fromMs, 0L));
    device.pausedAt = -1;
    if (fromMs > 0)
        Mix_SetMusicPosition(double(fromMs) / 1000.0); // past the end: it simply ends
    return 0;
}

uint32_t commandStatus(const std::string& name, const std::vector<std::string>& rest,
                       char* buffer, uint32_t length)
{
    if (rest.size() != 1 || lower(rest[0]) != "mode")
        return rest.empty() ? MCIERR_MISSING_PARAMETER : MCIERR_UNRECOGNIZED_KEYWORD;
    MciDevice* device = findDevice(name);
    if (!device) {
        answer(buffer, length, "not ready");
        return MCIERR_INVALID_DEVICE_NAME;
    }
    if (!isPlayingNow(*device))
        return answer(buffer, length, "stopped");
    return answer(buffer, length, Mix_PausedMusic() ? "paused" : "playing");
}

} // namespace

uint32_t mciSendString(const char* command, char* returnBuffer, uint32_t bufferLength,
                       QObject* /*callbackWindow*/)
{
    if (returnBuffer && bufferLength > 0)
        returnBuffer[0] = '\0';
    if (!command)
        return MCIERR_MISSING_PARAMETER;
    const std::string_view text = trim(command);
    const size_t space = text.find_first_of(" \t");
    const std::string verb = lower(text.substr(0, space));
    const std::string_view args = space == std::string_view::npos ? std::string_view{} : text.substr(space);

    if (verb == "open")
        return commandOpen(args);

    const auto parts = words(args);
    if (verb != "play" && verb != "stop" && verb != "pause" && verb != "resume"
        && verb != "status" && verb != "close")
        return MCIERR_UNRECOGNIZED_COMMAND;
    if (parts.empty())
        return MCIERR_MISSING_PARAMETER;
    const std::string name = lower(parts[0]);
    const std::vector<std::string> rest(parts.begin() + 1, parts.end());

    if (verb == "status")
        return commandStatus(name, rest, returnBuffer, bufferLength);
    if (verb == "close" && name == "all") {
        while (!g_devices.empty())
            closeDevice(g_devices.back().get());
        return 0;
    }
    MciDevice* device = findDevice(name);
    if (!device)
        return MCIERR_INVALID_DEVICE_NAME;
    if (verb == "play")
        return commandPlay(*device, rest);
    if (!onlyFlags(rest, 0))
        return MCIERR_UNRECOGNIZED_KEYWORD;
    if (verb == "close") {
        closeDevice(device);
    } else if (verb == "stop") {
        if (isPlayingNow(*device)) {
            Mix_HaltMusic();
            g_current = nullptr;
        }
    } else if (verb == "pause") {
        if (isPlayingNow(*device))
            pauseMusic(*device);
    } else if (isPlayingNow(*device)) { // resume
        resumeMusic(*device);
    }
    return 0;
}

void shutdownSound()
{
    for (TMediaPlayer* player : std::vector<TMediaPlayer*>(g_players.begin(), g_players.end()))
        player->Close();
    while (!g_devices.empty())
        closeDevice(g_devices.back().get());
    if (g_audioOpen) {
        Mix_HaltChannel(-1);
        Mix_CloseAudio();
        Mix_Quit();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    if (g_forcedDummy)
        SDL_ResetHint(SDL_HINT_AUDIODRIVER);
    g_audioOpen = false;
    g_audioFailed = false;
    g_forcedDummy = false;
}

QString soundDriverName()
{
    if (!g_audioOpen)
        return {};
    const char* name = SDL_GetCurrentAudioDriver();
    return name ? QString::fromUtf8(name) : QString();
}

TMediaPlayer::TMediaPlayer()
{
    g_players.insert(this);
}

TMediaPlayer::~TMediaPlayer()
{
    Close();
    g_players.erase(this);
}

bool TMediaPlayer::Open()
{
    Close();
    const std::string path = resolveFile(QFile::encodeName(FileName).toStdString());
    if (path.empty() || !isRegularFile(path) || !ensureAudio())
        return false;
    m_chunk = Mix_LoadWAV(path.c_str());
    if (!m_chunk)
        return false;
    // A MIDI sound is rendered with seconds of silence behind it; it ends
    // with its last note, as music does.
    const double midiMs = midiDurationMs(path);
    int rate = 0;
    Uint16 format = 0;
    int channels = 0;
    if (midiMs >= 0 && Mix_QuerySpec(&rate, &format, &channels)) {
        const int frameBytes = SDL_AUDIO_BITSIZE(format) / 8 * channels;
        const double frames = (midiMs + kMidiTailMs) * rate / 1000.0;
        const double bytes = frames * frameBytes;
        if (bytes < double(m_chunk->alen))
            m_chunk->alen = Uint32(bytes) / Uint32(frameBytes) * Uint32(frameBytes);
    }
    return true;
}

bool TMediaPlayer::Play()
{
    if (!m_chunk)
        return false;
    if (Mode() == TMPModes::mpPaused) {
        Mix_Resume(m_channel);
        return true;
    }
    if (IsPlaying())
        Mix_HaltChannel(m_channel);
    m_channel = Mix_PlayChannel(-1, m_chunk, 0);
    return m_channel >= 0;
}

bool TMediaPlayer::Pause()
{
    if (!IsPlaying())
        return false;
    Mix_Pause(m_channel);
    return true;
}

bool TMediaPlayer::Stop()
{
    if (!m_chunk)
        return false;
    const TMPModes mode = Mode();
    if (mode == TMPModes::mpPlaying || mode == TMPModes::mpPaused)
        Mix_HaltChannel(m_channel);
    m_channel = -1;
    return true;
}

void TMediaPlayer::Close()
{
    if (m_chunk)
        Mix_FreeChunk(m_chunk); // halts the channel playing it
    m_chunk = nullptr;
    m_channel = -1;
}

TMPModes TMediaPlayer::Mode() const
{
    if (!m_chunk)
        return TMPModes::mpNotReady;
    if (m_channel < 0 || !Mix_Playing(m_channel) || Mix_GetChunk(m_channel) != m_chunk)
        return TMPModes::mpStopped;
    return Mix_Paused(m_channel) ? TMPModes::mpPaused : TMPModes::mpPlaying;
}

} // namespace platform
