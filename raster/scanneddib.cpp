#include "raster/scanneddib.h"

#include "platform/msgbox.h"
#include "platform/scanner.h"
#include "raster/rasterio.h"

#include <cstring>

namespace raster {

void GetScanedDib(TDibRecord* out, intptr_t wParam)
{
    *out = TDibRecord{};
    const auto picture = platform::takeScannedPicture(wParam);
    if (!picture || (picture->channels != 1 && picture->channels != 3) || picture->width <= 0
        || picture->height <= 0
        || picture->pixels.size() != size_t(picture->width) * size_t(picture->height) * size_t(picture->channels))
        return;

    const bool colour = picture->channels == 3;
    newdib(out, picture->width, picture->height, colour ? 24 : 8, nullptr, 0); // grey ramp palette
    if (!out->Bits) {
        platform::ShowError(QStringLiteral("Fehler: nicht genug Speicher f\u00fcr diese Operation!"));
        return;
    }
    const size_t rowBytes = size_t(picture->width) * size_t(picture->channels);
    for (int32_t t = 0; t < picture->height; ++t) {
        const uint8_t* source = picture->pixels.data() + size_t(t) * rowBytes;
        uint8_t* row = DibRow(*out, t);
        if (!colour) {
            std::memcpy(row, source, rowBytes);
            continue;
        }
        for (int32_t x = 0; x < picture->width; ++x, source += 3, row += 3) {
            row[0] = source[2];
            row[1] = source[1];
            row[2] = source[0];
        }
    }
}

} // namespace raster
