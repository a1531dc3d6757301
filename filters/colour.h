#pragma once
// The colour commands that change every pixel, or every palette entry, by a
// function of its own colour alone. All work in place and share these rules:
// - Palette pictures of the depths an operation handles have their first 2,
//   16 or 256 palette entries changed, in the colour table and the logical
//   palette alike, and get a new palette handle; the pixel indices stay and
//   the whole picture changes, whatever is selected.
// - 24-bit pictures have their pixels changed, each only when the selection
//   contains it (every pixel without a selection).
// - Depths an operation does not handle are left as they are.
// - Progress: 0, the percentage of rows or entries done, 0.
// Luminance L is (30 R + 59 G + 11 B) div 100 unless said otherwise.

#include "filters/selection.h"

#include <cstdint>

namespace filters {

// c' = 255 - c. A 1-bit picture has every byte of its rows inverted instead
// (its two colours swap places, the palette and the selection play no part).
void DibInvert(raster::TDibRecord& image, const FilterContext& context);
// R' = G' = B' = L. 4 and 8 bits, 24 bits.
void DibGrayscale(raster::TDibRecord& image, const FilterContext& context);
// c' = clamp(c + delta), delta -127..127. 1, 4 and 8 bits, 24 bits.
void Helligkeit(raster::TDibRecord& image, int32_t delta, const FilterContext& context);
// k 0..200, 100 leaves the colours: above 100 the channels are pushed apart
// from the middle, below it drawn towards 127. 1, 4 and 8 bits, 24 bits.
void Kontrast(raster::TDibRecord& image, int32_t k, const FilterContext& context);
// c' = clamp((c - 128) (100 + s) div 100 + 128), s -100..100.
void Saettigung(raster::TDibRecord& image, int32_t s, const FilterContext& context);
// c' = clamp(round(2 c - 256 (c / 256)^g)), ties to even; g 0.1..8.9.
void Gamma(raster::TDibRecord& image, double g, const FilterContext& context);
// Each channel times (100 + its parameter) div 100, parameters -100..100.
void RedGreenBlue(raster::TDibRecord& image, int32_t r, int32_t g, int32_t b, const FilterContext& context);
// The colour of the colour's own luminance in the given hue and saturation
// (both 0..255); the luminance terms are truncated one by one here.
void Colorize(raster::TDibRecord& image, int32_t hue, int32_t sat, const FilterContext& context);
// Colours at or above high become white, at or below shadow black, the rest
// are shifted by mid - 128. 255, 128, 0 leave every colour.
void HighMidShadow(raster::TDibRecord& image, int32_t high, int32_t mid, int32_t shadow, const FilterContext& context);
// Stretches the luminance range of the picture (of the selected pixels of a
// 24-bit picture; of all pixels' palette colours otherwise) to 0..255.
void StretchHistogramm(raster::TDibRecord& image, const FilterContext& context);
// c' = (c shr shift) shl shift, shift 1..7.
void DibPoster(raster::TDibRecord& image, int32_t shift, const FilterContext& context);
// Colours with R + G + B >= 765 - 3 t are inverted, t 1..255.
void DibSolar(raster::TDibRecord& image, int32_t t, const FilterContext& context);

struct RgbColour {
    int32_t R = 0;
    int32_t G = 0;
    int32_t B = 0;
    bool operator==(const RgbColour&) const = default;
};

// The colour of a hue, saturation and luminance, each 0..255 (values
// outside are taken as the nearest end). Luminance 127 and saturation 255
// give the pure hue; saturation 0 gives grey.
RgbColour HueSatLumToRgb(int32_t hue, int32_t sat, int32_t lum);

} // namespace filters
