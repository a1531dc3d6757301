#pragma once
// The image editor's geometric transforms: flips, quarter and free
// rotations, resizing, canvas size and borders, perspective and skew, and
// bulging.
//
// Functions that build a picture of a new size (or a flipped copy) return a
// new image owned by the caller, with the source's depth and, for palette
// pictures, the source's colour table; the result has no image (Bits null)
// when it could not be made, and the source is left as it was. The caller
// tells the user: resizing, canvas size and borders with
// resizeFailedMessage (filters/messages.h), rotations and flips not at all.
// Perspective, skew and bulge rewrite a 24-bit image in place from a saved
// copy of it and leave palette pictures alone.
//
// Pixel values (backgrounds) are those of getpixel/setpixel: palette
// indices in palette pictures, red + 256 * green + 65536 * blue in 24-bit
// pictures. Coordinates count from the top-left pixel.

#include "filters/selection.h"
#include "raster/dibrecord.h"

#include <cstdint>

namespace filters {

// Mirrored copies of the same size: FlipH swaps left and right, FlipV top
// and bottom. The caller puts the copy in the image's place.
raster::TDibRecord FlipH(const raster::TDibRecord& image);
raster::TDibRecord FlipV(const raster::TDibRecord& image);

// Quarter turns: RotLeft counter-clockwise and RotRight clockwise give an
// image H wide and W high; Rot180 keeps the size.
raster::TDibRecord RotLeft(const raster::TDibRecord& source);
raster::TDibRecord RotRight(const raster::TDibRecord& source);
raster::TDibRecord Rot180(const raster::TDibRecord& source);

// Turns source by angle degrees (clockwise when right), nearest neighbour,
// into a picture large enough for the turned corners; uncovered pixels take
// background.
raster::TDibRecord DibRotxxx(const raster::TDibRecord& source, bool right, long double angle, uint32_t background);

// Resamples to width x height in steps of 1/1024 pixel: nearest neighbour,
// or for 24-bit pictures enlarged with interpolate set (neither side
// smaller, not both the same), bilinear weights that add up to 1023 (a
// channel of 255 becomes 253).
raster::TDibRecord Resize(const raster::TDibRecord& image, int32_t width, int32_t height, bool interpolate);

// A width x height canvas with source placed at (left, top), which may be
// negative to crop; the rest takes background.
raster::TDibRecord NewCanvas(const raster::TDibRecord& source, int32_t width, int32_t height, int32_t left,
                             int32_t top, uint32_t background);

// The picture with borders of the given sizes in the background colour
// context.Col2; no picture when the new size is 0 or beyond the library's
// limits.
raster::TDibRecord AddBorders(const raster::TDibRecord& image, int32_t top, int32_t bottom, int32_t left,
                              int32_t right, const FilterContext& context);

// Rewrites image from copy (the same picture saved before the first
// preview): perspective squeezes the columns (horizontal) or rows toward
// the centre line by up to strength percent at one edge; skew shears the
// picture by strength percent of its width. Selected pixels are cleared to
// context.Col2 first; destinations outside the selection or the picture
// are skipped. Reports progress per row, 0 at the end.
void Perspektive(raster::TDibRecord& image, const raster::TDibRecord& copy, int32_t strength, bool horizontal,
                 bool perspective, const FilterContext& context);

// Rewrites image from copy, bulging it along the chosen axes: each selected
// pixel takes the copy's pixel at cx + cx * (d / cx)^e from the centre cx
// (likewise for rows). e above 1 swells the picture outward, below 1 pinches
// it; 1 leaves it unchanged, and so does an axis one pixel long.
void Woelben(raster::TDibRecord& image, const raster::TDibRecord& copy, bool horizontal, double e, bool vertical,
             const FilterContext& context);

// Dialog rules. The offset that centres a picture of oldSize on a canvas of
// newSize: round((newSize - oldSize) / 2), halves to even.
int32_t centredOffset(int32_t newSize, int32_t oldSize);
// Keeping the aspect ratio: when the side of length side becomes changed,
// the other side (of length other) becomes trunc(changed * other / side).
int32_t keptAspect(int32_t changed, int32_t side, int32_t other);

} // namespace filters
