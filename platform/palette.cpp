#include "platform/palette.h"

#include <algorithm>
#include <atomic>
#include <new>

namespace platform {

namespace {
std::atomic<int> g_livePalettes{0};
}

HPALETTE CreatePalette(const LOGPALETTE256& logPal)
{
    auto* palette = new (std::nothrow) PaletteObject;
    if (!palette)
        return nullptr;
    palette->entryCount = std::min<int>(logPal.palNumEntries, 256);
    std::copy_n(logPal.palPalEntry, palette->entryCount, palette->entries.begin());
    ++g_livePalettes;
    return palette;
}

void DeletePalette(HPALETTE palette)
{
    if (!palette)
        return;
    delete palette;
    --g_livePalettes;
}

int livePaletteCount()
{
    return g_livePalettes.load();
}

} // namespace platform
