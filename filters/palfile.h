#pragma once
// Palette files and the colour count of the image editor.
//
// A palette file (".PAL", 1028 bytes, little-endian) is a picture's logical
// palette as held in memory:
//   0  version, 16 bits: 768 (0x0300)
//   2  entry count, 16 bits: 16 or 256
//   4  256 entries of red, green, blue, flags
// A 16-entry file still holds all 256 entries; only the first 16 count.
//
// Failures are shown to the user through platform::MessageBox (error icon)
// and change nothing.

#include "filters/selection.h"
#include "platform/wintypes.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace filters {

constexpr int kPaletteFileSize = 1028;
constexpr uint16_t kPaletteVersion = 0x0300;

// The file's bytes of a logical palette, and back. parsePaletteFile is
// false for fewer than 1028 bytes (the rest of longer data is ignored).
QByteArray paletteFileBytes(const platform::LOGPALETTE256& palette);
bool parsePaletteFile(const QByteArray& bytes, platform::LOGPALETTE256& palette);

enum class PaletteOutcome {
    Done,
    Ignored, // the picture has no 16 or 256 colours: nothing to save
    Failed,  // the user was told why; the picture is unchanged
};

// Writes the logical palette of a 16- or 256-colour picture to path;
// others are ignored without a message. "Fehler beim Speichern der
// Palette!" when the file cannot be written.
PaletteOutcome savepal(const raster::TDibRecord& image, const QString& path);

// Gives a 16- or 256-colour picture the palette of the file at path; the
// pixels keep their indices. "Fehler beim Laden der Palette!" when the
// file cannot be read; "Palette paßt nicht zum Bild oder illegale
// Palette!" for another version or entry count than the picture's. Col1
// and Col2 keep their indices (the editor shows them in the new colours).
PaletteOutcome loadpal(raster::TDibRecord& image, const QString& path, const FilterContext& context);

// Converts picture to the palette of the file at path: a new 4-bit picture
// for a 16-entry file, an 8-bit one for 256 entries. Asks "Wollen Sie das
// Bild durch Floyd-Steinberg Fehlerverteilung (Dithering) anpassen?": Yes
// diffuses the error, No gives every pixel the nearest entry of its colour
// (a 1-bit picture's set pixels are taken as white, its clear pixels as
// black). "Fehler beim Laden der Palette!" when the file cannot be read,
// "Illegale Palette!" for another version or an entry count other than 16
// or 256. On success the new picture replaces the old one and context.Col1
// becomes index 0 and context.Col2 the last index, for the editor to apply.
PaletteOutcome loadpal0(raster::TDibRecord& picture, const QString& path, FilterContext& context);

// The number of different colours the selected pixels of picture use (all
// pixels without a selection): packed colours of 24-bit pictures, palette
// indices otherwise (two indices of the same colour count twice). 0, after
// "Fehler: nicht genug Speicher für diese Operation!", when the bit set of
// 2^24 colours cannot be had.
int32_t CountColors(const raster::TDibRecord& picture, const FilterContext& context);

// What the command shows for a count: "Es werden N Farben im Bild
// benutzt." (or "... in der aktuellen Auswahl ..." with a selection), or
// for a count of 0 or less "Die Anzahl der benutzten Farben konnte nicht
// ermittelt werden...".
QString countColorsText(int32_t count, bool hasSelection);
// The command's message box: caption "Benutzte Farben", an information
// icon, or the error icon for a count of 0 or less.
void showColourCount(int32_t count, bool hasSelection);

} // namespace filters
