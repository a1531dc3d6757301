#pragma once
// How long a standard MIDI file plays, read from its bytes: the tick of the
// last event of its longest track, turned into time through the tempo
// changes (or the SMPTE division). A synthesizer keeps a piece "playing"
// for seconds of silence after its last event; the sound layer ends MIDI by
// this length instead, as a sequencer stops at the end of its sequence.

#include <cstddef>
#include <cstdint>

namespace platform {

// The playing time of the MIDI bytes in milliseconds; -1 when they are no
// MIDI file (no "MThd" header, no track, a zero division). Plain files and
// the RIFF "RMID" wrapper are read; a track cut short counts as far as it
// could be read.
double midiLengthMs(const uint8_t* bytes, size_t size);

// Whether the bytes start like a MIDI file, plain or in a RIFF "RMID"
// wrapper (12 bytes are enough to tell).
bool looksLikeMidi(const uint8_t* bytes, size_t size);

} // namespace platform
