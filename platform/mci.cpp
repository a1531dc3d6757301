#include "platform/mci.h"

#include "platform/midilength.h"
#include "platform/soundloader.h"

#include <QCoreApplication>
#include <QFile>
#include <QObject>

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

// Kept by the sound system; no other file sees them.
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

namespace {

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

// The MIDI length of a file, or -1 when it is no MIDI file.
double midiDurationMs(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    char magic[12] = {};
    if (!in.read(magic, sizeof magic) || !looksLikeMidi(reinterpret_cast<const uint8_t*>(magic), sizeof magic))
        return -1;
    in.seekg(0);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return midiLengthMs(bytes.data(), bytes.size());
}

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

MixerFormat mixerFormat()
{
    MixerFormat format;
    Mix_QuerySpec(&format.rate, &format.format, &format.channels);
    if (const char* fonts = Mix_GetSoundFonts())
        format.soundFonts = fonts;
    return format;
}

std::string playerPath(const QString& name)
{
    return resolveFile(QFile::encodeName(name).toStdString());
}

} // namespace

// Everything the sound layer keeps: the audio device, the pieces of music
// the command strings opened, the media players, and the decode thread with
// the object its finished decodes are handed over on. There is one; it
// belongs to the thread the players and the command strings are used from.
class SoundSystem {
public:
    static SoundSystem& instance()
    {
        static SoundSystem system;
        return system;
    }

    // Opens the audio device on first use.
    bool ensureAudio();
    // Closes the players, the music and the device (see shutdownSound).
    void shutdown();
    QString driverName() const;
    // One command string (see mciSendString).
    uint32_t send(const char* command, char* returnBuffer, uint32_t bufferLength);

    void addPlayer(TMediaPlayer* player) { m_players.insert(player); }
    void removePlayer(TMediaPlayer* player) { m_players.erase(player); }
    // The decode thread, started on first use.
    SoundLoader& loader();
    SoundLoader* existingLoader() const { return m_loader.get(); }

private:
    SoundSystem() = default;
    // On the players' thread: every player whose sound has finished decoding
    // takes it over (and starts it when it is to play).
    void deliver();

    MciDevice* findDevice(const std::string& name);
    void closeDevice(MciDevice* device);
    bool isPlayingNow(MciDevice& device);
    uint32_t commandOpen(std::string_view args);
    uint32_t commandPlay(MciDevice& device, const std::vector<std::string>& rest);
    uint32_t commandStatus(const std::string& name, const std::vector<std::string>& rest, char* buffer,
                           uint32_t length);

    bool m_audioOpen = false;
    bool m_audioFailed = false; // even the silent device would not open
    bool m_forcedDummy = false; // we set the driver hint ourselves
    bool m_exitHookSet = false;
    std::vector<std::unique_ptr<MciDevice>> m_devices;
    Mix_Music* m_current = nullptr; // the music last started on the music stream
    std::set<TMediaPlayer*> m_players;
    std::unique_ptr<SoundLoader> m_loader;
    std::unique_ptr<QObject> m_notifier;
};

namespace {

void shutdownAtExit()
{
    shutdownSound();
    SDL_Quit();
}

} // namespace

// Opens the audio device on first use; falls back to SDL's silent "dummy"
// driver when no sound card opens.
bool SoundSystem::ensureAudio()
{
    if (m_audioOpen)
        return true;
    if (m_audioFailed)
        return false;
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, "Lumivox");
    if (!openDevice()) {
        SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, "dummy", SDL_HINT_OVERRIDE);
        m_forcedDummy = true;
        if (!openDevice()) {
            m_audioFailed = true;
            return false;
        }
    }
    Mix_Init(MIX_INIT_MP3 | MIX_INIT_MID | MIX_INIT_OGG);
    chooseSoundFont();
    m_audioOpen = true;
    if (!m_exitHookSet) {
        std::atexit(shutdownAtExit);
        m_exitHookSet = true;
    }
    return true;
}

MciDevice* SoundSystem::findDevice(const std::string& name)
{
    for (auto& device : m_devices)
        if (device->name == name)
            return device.get();
    return nullptr;
}

void SoundSystem::closeDevice(MciDevice* device)
{
    if (device->music.get() == m_current) {
        Mix_HaltMusic();
        m_current = nullptr;
    }
    std::erase_if(m_devices, [device](const auto& d) { return d.get() == device; });
}

// Whether the device's piece is on the music stream now (paused counts);
// a MIDI piece past its end is halted here.
bool SoundSystem::isPlayingNow(MciDevice& device)
{
    if (!m_current || device.music.get() != m_current || !Mix_PlayingMusic())
        return false;
    if (device.midiMs >= 0) {
        const double at = (device.pausedAt >= 0 ? device.pausedAt : nowMs()) - device.startMs;
        if (at >= device.midiMs + kMidiTailMs) {
            Mix_HaltMusic();
            m_current = nullptr;
            return false;
        }
    }
    return true;
}

uint32_t SoundSystem::commandOpen(std::string_view args)
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
    MusicPtr music;
    {
        std::lock_guard<std::mutex> lock(mixerLoadLock());
        music.reset(Mix_LoadMUS(path.c_str()));
    }
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
    m_devices.push_back(std::move(device));
    return 0;
}

uint32_t SoundSystem::commandPlay(MciDevice& device, const std::vector<std::string>& rest)
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
        m_current = nullptr;
        return MCIERR_HARDWARE;
    }
    m_current = device.music.get();
    device.startMs = nowMs() - double(std::max(fromMs, 0L));
    device.pausedAt = -1;
    if (fromMs > 0)
        Mix_SetMusicPosition(double(fromMs) / 1000.0); // past the end: it simply ends
    return 0;
}

uint32_t SoundSystem::commandStatus(const std::string& name, const std::vector<std::string>& rest,
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

void SoundSystem::shutdown()
{
    // The players close first, and the decode thread ends (a running decode
    // stops at its next piece), before the device it decodes for goes.
    for (TMediaPlayer* player : std::vector<TMediaPlayer*>(m_players.begin(), m_players.end())) {
        player->Close();
        player->dropAhead();
    }
    m_loader.reset();
    m_notifier.reset();
    while (!m_devices.empty())
        closeDevice(m_devices.back().get());
    if (m_audioOpen) {
        Mix_HaltChannel(-1);
        Mix_CloseAudio();
        Mix_Quit();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    if (m_forcedDummy)
        SDL_ResetHint(SDL_HINT_AUDIODRIVER);
    m_audioOpen = false;
    m_audioFailed = false;
    m_forcedDummy = false;
}

QString SoundSystem::driverName() const
{
    if (!m_audioOpen)
        return {};
    const char* name = SDL_GetCurrentAudioDriver();
    return name ? QString::fromUtf8(name) : QString();
}

SoundLoader& SoundSystem::loader()
{
    if (!m_loader) {
        m_notifier = std::make_unique<QObject>();
        QObject* notifier = m_notifier.get();
        m_loader = std::make_unique<SoundLoader>([notifier] {
            QMetaObject::invokeMethod(notifier, [] { SoundSystem::instance().deliver(); }, Qt::QueuedConnection);
        });
    }
    return *m_loader;
}

void SoundSystem::deliver()
{
    for (TMediaPlayer* player : std::vector<TMediaPlayer*>(m_players.begin(), m_players.end()))
        player->takeDecoded();
}

uint32_t SoundSystem::send(const char* command, char* returnBuffer, uint32_t bufferLength)
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
        while (!m_devices.empty())
            closeDevice(m_devices.back().get());
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
            m_current = nullptr;
        }
    } else if (verb == "pause") {
        if (isPlayingNow(*device))
            pauseMusic(*device);
    } else if (isPlayingNow(*device)) { // resume
        resumeMusic(*device);
    }
    return 0;
}

uint32_t mciSendString(const char* command, char* returnBuffer, uint32_t bufferLength,
                       QObject* /*callbackWindow*/)
{
    return SoundSystem::instance().send(command, returnBuffer, bufferLength);
}

void shutdownSound()
{
    SoundSystem::instance().shutdown();
}

QString soundDriverName()
{
    return SoundSystem::instance().driverName();
}

struct TMediaPlayer::State {
    // The open sound, once decoded, and the file it was decoded from.
    ChunkPtr chunk;
    std::string chunkPath;
    FileStamp chunkStamp;
    int channel = -1;
    // The open sound while it decodes, and whether it starts when done.
    SoundRequestPtr pending;
    bool startWhenReady = false;
    // What Preload asked for.
    SoundRequestPtr ahead;
};

TMediaPlayer::TMediaPlayer() : m_state(std::make_unique<State>())
{
    SoundSystem::instance().addPlayer(this);
}

TMediaPlayer::~TMediaPlayer()
{
    Close();
    dropAhead();
    SoundSystem::instance().removePlayer(this);
}

void TMediaPlayer::load(bool play)
{
    Close();
    State& s = *m_state;
    const std::string path = playerPath(FileName);
    if (path.empty() || !isRegularFile(path) || !SoundSystem::instance().ensureAudio())
        return;
    SoundLoader& loader = SoundSystem::instance().loader();
    if (s.ahead && s.ahead->path == path) {
        if (s.ahead->stamp == stampOf(path))
            s.pending = std::move(s.ahead);
        else
            dropAhead(); // the file changed since it was read ahead
    }
    if (!s.pending)
        s.pending = loader.load(path, mixerFormat());
    s.startWhenReady = play;
    if (loader.finished(s.pending))
        takeDecoded();
}

bool TMediaPlayer::Open()
{
    load(false);
    WaitForLoad();
    return m_state->chunk != nullptr;
}

void TMediaPlayer::PlayWhenReady()
{
    State& s = *m_state;
    const std::string path = playerPath(FileName);
    const FileStamp stamp = stampOf(path);
    // The same file again: what is open or decoding is played from the start.
    if (s.pending && s.pending->path == path && s.pending->stamp == stamp) {
        s.startWhenReady = true;
        return;
    }
    if (!s.pending && s.chunk && s.chunkPath == path && s.chunkStamp == stamp) {
        Stop();
        s.channel = Mix_PlayChannel(-1, s.chunk.get(), 0);
        return;
    }
    load(true);
}

void TMediaPlayer::Preload(const QString& file)
{
    State& s = *m_state;
    const std::string path = file.isEmpty() ? std::string() : playerPath(file);
    if (path.empty() || !isRegularFile(path)) {
        dropAhead();
        return;
    }
    const FileStamp stamp = stampOf(path);
    auto isFile = [&](const SoundRequestPtr& r) { return r && r->path == path && r->stamp == stamp; };
    if (isFile(s.ahead))
        return;
    dropAhead();
    // The open sound is that file already.
    if (isFile(s.pending) || (s.chunk && s.chunkPath == path && s.chunkStamp == stamp))
        return;
    if (SoundSystem::instance().ensureAudio())
        s.ahead = SoundSystem::instance().loader().load(path, mixerFormat());
}

void TMediaPlayer::dropAhead()
{
    State& s = *m_state;
    if (s.ahead && SoundSystem::instance().existingLoader())
        SoundSystem::instance().existingLoader()->cancel(s.ahead);
    s.ahead.reset();
}

void TMediaPlayer::takeDecoded()
{
    State& s = *m_state;
    SoundLoader* loader = SoundSystem::instance().existingLoader();
    if (!s.pending || !loader || !loader->finished(s.pending))
        return;
    s.chunk = loader->take(s.pending);
    s.chunkPath = s.pending->path;
    s.chunkStamp = s.pending->stamp;
    s.pending.reset();
    const bool start = std::exchange(s.startWhenReady, false);
    if (s.chunk && start)
        s.channel = Mix_PlayChannel(-1, s.chunk.get(), 0);
}

void TMediaPlayer::WaitForLoad()
{
    State& s = *m_state;
    if (SoundLoader* loader = SoundSystem::instance().existingLoader(); loader && s.pending) {
        loader->wait(s.pending);
        takeDecoded();
    }
}

bool TMediaPlayer::Loading() const
{
    return m_state->pending != nullptr;
}

bool TMediaPlayer::Play()
{
    State& s = *m_state;
    if (s.pending) {
        s.startWhenReady = true;
        return true;
    }
    if (!s.chunk)
        return false;
    if (Mode() == TMPModes::mpPaused) {
        Mix_Resume(s.channel);
        return true;
    }
    if (IsPlaying())
        Mix_HaltChannel(s.channel);
    s.channel = Mix_PlayChannel(-1, s.chunk.get(), 0);
    return s.channel >= 0;
}

bool TMediaPlayer::Pause()
{
    if (m_state->pending || !IsPlaying())
        return false;
    Mix_Pause(m_state->channel);
    return true;
}

bool TMediaPlayer::Stop()
{
    State& s = *m_state;
    if (s.pending) {
        s.startWhenReady = false;
        return true;
    }
    if (!s.chunk)
        return false;
    const TMPModes mode = Mode();
    if (mode == TMPModes::mpPlaying || mode == TMPModes::mpPaused)
        Mix_HaltChannel(s.channel);
    s.channel = -1;
    return true;
}

void TMediaPlayer::Close()
{
    State& s = *m_state;
    if (s.pending && SoundSystem::instance().existingLoader())
        SoundSystem::instance().existingLoader()->cancel(s.pending);
    s.pending.reset();
    s.startWhenReady = false;
    s.chunk.reset(); // halts the channel playing it
    s.chunkPath.clear();
    s.channel = -1;
}

TMPModes TMediaPlayer::Mode() const
{
    const State& s = *m_state;
    if (s.pending)
        return s.startWhenReady ? TMPModes::mpPlaying : TMPModes::mpStopped;
    if (!s.chunk)
        return TMPModes::mpNotReady;
    if (s.channel < 0 || !Mix_Playing(s.channel) || Mix_GetChunk(s.channel) != s.chunk.get())
        return TMPModes::mpStopped;
    return Mix_Paused(s.channel) ? TMPModes::mpPaused : TMPModes::mpPlaying;
}

} // namespace platform
