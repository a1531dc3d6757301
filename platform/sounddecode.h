#pragma once
// Decoding a whole sound file into one mixer chunk, for the media player.
// Part of the sound layer (platform/mci); nothing outside it includes this.
//
// WAV (through SDL), MP3 (libmpg123), Ogg Vorbis (libvorbisfile) and MIDI
// (FluidSynth with the mixer's soundfonts) are decoded here without
// SDL_mixer, and so without the audio device's lock: SDL_mixer holds that
// lock for the whole of a Mix_LoadWAV of a compressed file, which would
// silence the music and block every mixer call of the window's thread
// while a long sound decodes. Other formats (FLAC, Opus, MOD...) and MIDI
// without a usable soundfont go through Mix_LoadWAV after all, under
// mixerLoadLock().

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

struct Mix_Chunk;

namespace platform {

struct ChunkDeleter {
    void operator()(Mix_Chunk* chunk) const;
};
using ChunkPtr = std::unique_ptr<Mix_Chunk, ChunkDeleter>;

// The mixer's output, which a decoded sound is converted to, as it was
// when the decode was asked for.
struct MixerFormat {
    int rate = 0;
    uint16_t format = 0; // an SDL audio format
    int channels = 0;
    std::string soundFonts; // ';'-separated, for MIDI
};

// Notes ring on this long after the last event of a MIDI piece.
constexpr double kMidiTailMs = 300;

// Decodes the file at path on the calling thread into a chunk in the
// mixer's format. A MIDI sound ends with its last note and the ring-out.
// Null when the file cannot be decoded, or when cancelled turned true
// meanwhile (checked between pieces, so a cancelled decode ends soon).
ChunkPtr decodeSound(const std::string& path, const MixerFormat& mixer, const std::atomic<bool>& cancelled);

// Held around every SDL_mixer loader call (Mix_LoadWAV on a decode thread,
// Mix_LoadMUS for the command strings): those calls share the library's
// table of decoders.
std::mutex& mixerLoadLock();

} // namespace platform
