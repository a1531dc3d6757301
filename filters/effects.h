#pragma once
// The image editor's special effects: a drop shadow behind the selection,
// a bevelled button frame inside it, a mosaic, two 5 x 5 neighbourhood
// effects (wash-out and expand), random noise and selective noise removal.
// All work in place on the picture. Where the selection matters, only
// pixels it contains change, while neighbourhoods still read the pixels
// around them. Effects that need a selection or a 24-bit picture return
// silently without one. None of them saves an undo copy: the editor's
// command does that before. Progress: 0, the percentage of rows done, 0.

#include "filters/selection.h"

#include <cstdint>

namespace filters {

// The colour box of the effect dialogs, in its order.
enum class EffectColour { Vordergrundfarbe, Hintergrundfarbe, Schwarz, Weiss, Rot, Gruen, Blau };

// The pixel value an effect paints with for a choice: Col1 or Col2 as they
// are, or the fixed colour (0x00BBGGRR for 24 bits; in palette pictures the
// nearest entry of the picture's palette).
uint32_t effectColour(const raster::TDibRecord& image, EffectColour choice, const FilterContext& context);

// A shadow of the selection, moved by (h, v): every pixel of the moved
// bounding box that is not selected but whose pixel (x - h, y - v) is
// receives shadow. Palette pictures get the colour index itself; 24-bit
// pictures a shadow whose outer soft % (0..100) fades into the picture
// (blending a rectangular and a round falloff) and that is mixed with the
// picture by transparency % (0..100). Needs a selection.
void DrawShadow(raster::TDibRecord& image, int32_t h, int32_t v, int32_t transparency, int32_t soft,
                uint32_t colour, const FilterContext& context);

// A bevelled frame of width w (pixels, horizontally; vertically scaled to
// the selection's aspect) on the selected pixels inside the selection's
// bounding box: the left and top edges run from half the colour outside to
// the full colour inside, the right and bottom edges from black to half
// the colour. transparency % mixes the frame with the picture; a
// transparent frame (solid false) also lets the picture through more
// towards the inside. 24-bit pictures with a selection only; a frame that
// would be thinner than one step on either axis (w 0, a selection one
// pixel wide or high) draws nothing.
void Buttonize(raster::TDibRecord& image, int32_t w, int32_t transparency, bool solid, uint32_t colour,
               const FilterContext& context);

// Every pixel takes the value of the top-left pixel of its bw x bh block,
// blocks anchored at (0, 0). All depths; the selection rule applies.
void MosaikEffekt(raster::TDibRecord& image, int32_t bw, int32_t bh, const FilterContext& context);

enum class NeighbourhoodOutcome {
    Done,
    NotApplied, // not a 24-bit picture
    NoMemory,   // no work copy: the picture is unchanged
};

// "Auswaschen": pixels whose 5 x 5 window has a mean luminance below 96
// become half the window's mean colour. 24 bits only.
NeighbourhoodOutcome DibErodeFilter(raster::TDibRecord& image, const FilterContext& context);
// "Erweitern": pixels whose 5 x 5 window has a mean luminance above 160
// become a grey of 1.25 times it, at most 255. 24 bits only.
NeighbourhoodOutcome DibDilateFilter(raster::TDibRecord& image, const FilterContext& context);

// Reseeds the program's generator from the clock, then gives probability %
// (1..100) of the pixels random(strength) - strength div 2 added to each
// channel, a draw of its own for each (strength 1..256). 24 bits only.
void AddNoise(raster::TDibRecord& image, int32_t strength, int32_t probability, const FilterContext& context);
// AddNoise with the generator as it stands (for repeatable runs).
void addNoiseFromSeed(raster::TDibRecord& image, int32_t strength, int32_t probability,
                      const FilterContext& context);

// Pixels that differ from the mean of their 5 x 5 window by more than
// threshold (1..255) on any channel are replaced by that mean. 24 bits only.
NeighbourhoodOutcome DelNoise(raster::TDibRecord& image, int32_t threshold, const FilterContext& context);

} // namespace filters
