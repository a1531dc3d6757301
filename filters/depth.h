#pragma once
// Colour depth conversion between the four depths of the program (1, 4, 8
// and 24 bits per pixel): the standard 16- and 256-colour palettes, the
// nearest palette entry, the optimised palette from a popularity count,
// Floyd-Steinberg error diffusion, the 8 x 8 ordered dither, and the
// editor's DepthDownTo and DepthUpTo.
//
// Every conversion builds a complete new picture of the same size; the old
// one is released and the new one takes its place in the caller's record.
// A picture that cannot be made leaves the record as it was, silently.

#include "filters/selection.h"
#include "platform/wintypes.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace filters {

using platform::PALETTEENTRY;

// The standard 16-colour palette.
std::span<const PALETTEENTRY, 16> standardPalette16();
// The standard 256-colour palette (also the palette of a new 8-bit
// picture): the twenty static system colours at 0-9 and 246-255 and the
// 6 x 6 x 6 colour cube between them.
std::span<const PALETTEENTRY, 256> standardPalette256();

// The ordered dither's tables: the threshold T[x mod 8][y mod 8] (0..50)
// and, for every cube index r + 6 g + 36 b (levels 0..5), the entry of the
// standard 256-colour palette holding (51 r, 51 g, 51 b). The four cube
// colours the palette lacks map to the equally near entries 250 and 252.
extern const uint8_t kDitherThreshold[8][8];
const std::array<uint8_t, 216>& ditherCubeMap();

// The entry of palette with the least sum of squared channel differences
// to (r, g, b), the lowest index on ties. The plain search; NearestEntry
// gives the same answers fast.
int nearestEntry(std::span<const PALETTEENTRY> palette, int r, int g, int b);

// nearestEntry for one palette, answering many lookups quickly without
// changing a single result. Its cache is keyed by the colour's cell: the
// colour space is cut into 8 x 8 x 8 cells, and the first lookup in a cell
// keeps the entries that can be nearest to some colour of the cell (every
// other entry is farther than one of them for every colour there); later
// lookups in the cell search only those, a few as a rule.
class NearestEntry {
public:
    explicit NearestEntry(std::span<const PALETTEENTRY> palette);
    NearestEntry(const NearestEntry&) = delete;
    NearestEntry& operator=(const NearestEntry&) = delete;

    uint8_t operator()(int r, int g, int b) { return lookup(r, g, b); }

private:
    struct Cell {
        uint32_t first = 0; // the cell's first candidate
        uint16_t count = 0;
        bool ready = false;
    };

    uint8_t lookup(int r, int g, int b)
    {
        Cell& cell = m_cells[size_t((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3))];
        if (!cell.ready)
            fillCell(cell, r & ~7, g & ~7, b & ~7);
        // The least of distance * 256 + index: the nearest entry, and of
        // equally near ones the lowest index (distances stay below 2^18).
        int32_t best = INT32_MAX;
        const std::array<uint8_t, 4>* c = m_candidates.data() + cell.first;
        for (uint16_t i = 0; i < cell.count; ++i) {
            const int dr = r - c[i][0], dg = g - c[i][1], db = b - c[i][2];
            best = std::min(best, (dr * dr + dg * dg + db * db) << 8 | c[i][3]);
        }
        return uint8_t(best & 255);
    }
    void fillCell(Cell& cell, int r0, int g0, int b0);

    std::vector<std::array<uint8_t, 3>> m_rgb;
    std::vector<Cell> m_cells;
    // Red, green, blue and index of the candidates, cell after cell.
    std::vector<std::array<uint8_t, 4>> m_candidates;
};

// The optimised palette: the n most popular colours (1..256) of a 24- or
// 8-bit picture, counted in a histogram of 15-bit bins of the colours cut
// by shift bits per channel (5 for 16 colours, 4 for 256), most popular
// first. Bins that reach 65535 halve the whole histogram; the sort that
// orders the bins decides between equally popular ones. With fewer
// occupied bins than n, empty bins fill the list, each as the colour its
// bin stands for (channels beyond 255 keep their low eight bits, so they
// stay on the grid of the cut colours).
std::vector<PALETTEENTRY> popularColours(const raster::TDibRecord& picture, int n, int shift);

// Floyd-Steinberg error diffusion from source (any depth) into target, a
// new picture of the same size whose palette is already set: rows from the
// top in serpentine order, each pixel the nearest entry of its colour plus
// the errors it received, the error spread 7/16 ahead, 1/16 ahead below,
// 5/16 below and 3/16 behind below. Does nothing when either picture has
// no pixels or their sizes differ. Reports progress per row.
void FloydSteinberg(const raster::TDibRecord& source, raster::TDibRecord& target, const Progress& progress = {});

// Every pixel of source (24-bit) as the entry of the standard 256-colour
// palette that the 8 x 8 ordered dither gives it, written into the 8-bit
// picture target of the same size.
void orderedDither(const raster::TDibRecord& source, raster::TDibRecord& target, const Progress& progress = {});

// The choices of the depth reduction dialogs.
struct DepthDownOptions {
    int32_t target = 8;       // 1, 4 or 8 bits
    int32_t colours = 256;    // colours of the optimised palette: 2, 16, 256 or the free count
    bool optimised = true;    // optimised palette, else the standard one
    int32_t method = 1;       // 0 nearest colour, 1 Floyd-Steinberg, 2 ordered dither
    bool windowsColours = true; // 8 bits, optimised: keep the twenty system colours
};

enum DepthMethod : int32_t { NearestColour = 0, ErrorDiffusion = 1, OrderedDither = 2 };

// The free-depth dialog's choice for a count of 2..256 colours (2..16 for
// an 8-bit picture, where the system colours are not offered): always the
// optimised palette, 8 bits above 16 colours, else 4.
DepthDownOptions freeDepthOptions(int32_t colours, bool windowsColours, int32_t method);

// Lowers the depth of picture: to 1 bit from 24, 8 or 4 bits; to 4 bits
// from 24 or 8 bits; to 8 bits from 24 bits. Any other pair, and a new
// picture that cannot be made, leave picture as it is and give false. The
// ordered dither needs the 8-bit standard palette; asked for elsewhere, the
// pixels take their nearest colour. On success the old picture is
// released, and context.Col1 becomes index 0 and context.Col2 the last
// index, for the editor to apply.
bool DepthDownTo(raster::TDibRecord& picture, const DepthDownOptions& options, FilterContext& context);

// Raises the depth of picture to target (4, 8 or 24 bits) from a shallower
// 1-, 4- or 8-bit picture (not 4 from 8), keeping every colour: a 1-bit
// picture is taken as black and white whatever its palette; entries with no
// source colour get random colours, every channel a multiple of 4 drawn
// from the program's generator. False, picture unchanged, for other pairs
// and when the new picture cannot be made. Col1 and Col2 as DepthDownTo.
bool DepthUpTo(raster::TDibRecord& picture, int32_t target, FilterContext& context);

} // namespace filters
