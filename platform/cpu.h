#pragma once
// What the processor offers the fast paths of the pixel code, asked in one
// place. Every fast path keeps a plain version beside it that gives the same
// bytes; setting LUMIVOX_PLAIN_PATHS=1 in the environment (or
// SetPlainPathsOnly in a test) makes every one of them take the plain
// version, so the two can be compared on any machine.

namespace platform {

// True when only the plain versions are to run.
bool PlainPathsOnly();
// For tests: forces the plain versions on or off; the environment's choice
// is back with ResetPlainPaths.
void SetPlainPathsOnly(bool plain);
void ResetPlainPaths();

// SSE2 (every x86-64 processor has it) and SSSE3, unless the plain versions
// are forced.
bool UseSse2();
bool UseSsse3();

} // namespace platform
