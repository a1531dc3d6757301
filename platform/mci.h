#pragma once
// Sound: the media control command strings the show window sends for its
// background music, and the media player object that plays slide sounds.
//
// mciSendString understands
//   open <file> [alias <name>] [wait|notify|shareable]
//                                   the file may contain spaces (everything up
//                                   to the last " alias ") or stand in double
//                                   quotes; without an alias the file name is
//                                   the device name
//   play <name> [from <ms>] [wait|notify]
//   stop <name>, pause <name>, resume <name>
//   status <name> mode              answers "playing", "stopped", "paused",
//                                   or "not ready" when <name> is not open
//   close <name> | close all
// Keywords and names are case-insensitive. It answers 0 on success and one
// of the MCIERR_ codes below otherwise; the caller may ignore the result.
// Music (WAV, MP3, MIDI, OGG) plays on the mixer's music stream, one piece
// at a time; slide sounds play on channels of their own, so both sound at
// once. MIDI is rendered with a General MIDI soundfont (SDL_SOUNDFONTS, or
// the system's default GM soundfont) and ends with its last note and a short
// ring-out, as a sequencer does, not after the synthesizer's trailing
// seconds of silence; a file that is no MIDI file does not open.
//
// Nothing here waits for a sound: play returns at once, and "wait" is
// accepted and ignored. The audio device opens on first use; when no sound
// card can be opened, sound falls back to a silent device that still runs
// in real time, so a piece reports "playing" until it would have ended.
// SDL_AUDIODRIVER picks the device for tests ("disk" with SDL_DISKAUDIOFILE
// writes the mixed output to a file).

#include <QString>

#include <cstdint>

class QObject;
struct Mix_Chunk;

namespace platform {

constexpr uint32_t MCIERR_UNRECOGNIZED_KEYWORD = 259;
constexpr uint32_t MCIERR_UNRECOGNIZED_COMMAND = 261;
constexpr uint32_t MCIERR_HARDWARE = 262;
constexpr uint32_t MCIERR_INVALID_DEVICE_NAME = 263;
constexpr uint32_t MCIERR_PARAM_OVERFLOW = 268;
constexpr uint32_t MCIERR_BAD_INTEGER = 270;
constexpr uint32_t MCIERR_MISSING_PARAMETER = 273;
constexpr uint32_t MCIERR_FILE_NOT_FOUND = 275;
constexpr uint32_t MCIERR_DUPLICATE_ALIAS = 289;
constexpr uint32_t MCIERR_INVALID_FILE = 296;

// Runs one command string. An answer (status) goes into returnBuffer as a
// zero-terminated text of at most bufferLength - 1 characters; commands
// without an answer leave it empty. callbackWindow is accepted for the
// familiar signature; no notifications are sent.
uint32_t mciSendString(const char* command, char* returnBuffer, uint32_t bufferLength,
                       QObject* callbackWindow);

// Closes every open piece of music and every media player's sound, and the
// audio device itself. The next use opens the device again, with whatever
// driver SDL_AUDIODRIVER names then. Runs by itself when the program ends.
void shutdownSound();

// The audio driver in use ("pulseaudio", "alsa", "dummy", "disk"...), or ""
// while the device is closed.
QString soundDriverName();

enum class TMPModes { mpNotReady, mpStopped, mpPlaying, mpPaused };

// Plays one sound file at a time on a mixer channel of its own. Failures
// answer false and leave the player closed or stopped; nothing throws and
// nothing waits for the sound.
class TMediaPlayer {
public:
    TMediaPlayer();
    ~TMediaPlayer();
    TMediaPlayer(const TMediaPlayer&) = delete;
    TMediaPlayer& operator=(const TMediaPlayer&) = delete;

    // The file Open loads; "\" separators are accepted.
    QString FileName;

    // Closes what was open and loads FileName (WAV, MP3, MIDI, OGG).
    bool Open();
    // Starts the open sound from its beginning, or resumes it when paused.
    bool Play();
    bool Pause();
    // Halts the sound; it stays open and plays again with Play.
    bool Stop();
    void Close();

    TMPModes Mode() const;
    bool IsPlaying() const { return Mode() == TMPModes::mpPlaying; }

private:
    Mix_Chunk* m_chunk = nullptr;
    int m_channel = -1;
};

} // namespace platform
