#pragma once
// Palette handles: the realised form of a logical palette that devices
// select before drawing a palette picture. Every handle created must be
// deleted once; the live count lets tests prove it.

#include "platform/wintypes.h"

#include <array>

namespace platform {

struct PaletteObject {
    int entryCount = 0;
    std::array<PALETTEENTRY, 256> entries{};
};

// A new handle holding the first palNumEntries (at most 256) entries.
HPALETTE CreatePalette(const LOGPALETTE256& logPal);
// Releases a handle; nullptr is accepted and ignored.
void DeletePalette(HPALETTE palette);
// Number of handles created and not yet deleted.
int livePaletteCount();

} // namespace platform
