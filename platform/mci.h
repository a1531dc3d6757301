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
#include <memory>

class QObject;

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
//
// A sound is decoded whole before it plays, on the sound layer's decode
// thread; PlayWhenReady and Preload never wait for it. The player belongs
// to the thread that made it (the window's), which must run an event loop:
// a finished decode is taken over there, and every mixer call (play, halt,
// pause, free) is made there. The decode thread does not touch the mixer's
// channels.
class TMediaPlayer {
public:
    TMediaPlayer();
    ~TMediaPlayer();
    TMediaPlayer(const TMediaPlayer&) = delete;
    TMediaPlayer& operator=(const TMediaPlayer&) = delete;

    // The file Open loads; "\" separators are accepted.
    QString FileName;

    // Closes what was open and loads FileName (WAV, MP3, MIDI, OGG),
    // waiting for the decode.
    bool Open();
    // Closes what was open and plays FileName as soon as it is decoded,
    // without waiting: at once when Preload decoded it already. From this
    // call on the player counts as playing until the sound ends, is
    // stopped or closed, or turns out not to decode.
    void PlayWhenReady();
    // Decodes file ahead, so that a later Open or PlayWhenReady of it finds
    // it ready; an empty name drops what was decoded ahead. One file is
    // kept ahead at a time.
    void Preload(const QString& file);
    // Starts the open sound from its beginning, or resumes it when paused.
    bool Play();
    bool Pause();
    // Halts the sound; it stays open and plays again with Play. A sound
    // still decoding does not start when its decode is done.
    bool Stop();
    void Close();

    // A sound still decoding is mpPlaying when it is to start once ready,
    // else mpStopped.
    TMPModes Mode() const;
    bool IsPlaying() const { return Mode() == TMPModes::mpPlaying; }
    // Whether the open sound is still being decoded.
    bool Loading() const;
    // Blocks until the open sound's decode has finished, and takes it over
    // (so a sound to be played starts now).
    void WaitForLoad();

private:
    friend class SoundSystem;
    void load(bool play);
    void takeDecoded();
    void dropAhead();

    struct State;
    std::unique_ptr<State> m_state;
};

// Test hook: while one exists, every decode of a slide sound waits before
// it begins until release() is called or the hold ends, so tests see a
// player whose sound is still decoding for as long as they like.
class SoundDecodeHold {
public:
    SoundDecodeHold();
    ~SoundDecodeHold();
    SoundDecodeHold(const SoundDecodeHold&) = delete;
    SoundDecodeHold& operator=(const SoundDecodeHold&) = delete;
    void release();
    // The decodes asked for since the hold began.
    int requested() const;
};

} // namespace platform
