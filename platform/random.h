#pragma once
// The program's one pseudo-random generator. Its sequence is part of the
// show's look: random placements and transition patterns are drawn from it
// after the playback engine re-seeds it, so the arithmetic is fixed:
//   seed := seed * 134775813 + 1 (mod 2^32)
//   Random(n) := upper 32 bits of the 64-bit product seed * n.

#include <cstdint>

namespace platform {

// The generator's seed; read and written directly, as the engine re-seeds it.
extern uint32_t RandSeed;

// Advances the seed and returns a number in 0..n-1 (0 when n is 0). A
// negative n is taken as its unsigned 32-bit value.
int32_t Random(int32_t n);
// Advances the seed and returns a number in [0, 1).
double RandomFloat();
// Seeds from the current UTC time of day in milliseconds.
void Randomize();

} // namespace platform
