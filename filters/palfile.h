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
// Failures change nothing and come back as outcomes; filters/messages.h
// holds what the user is told about each.

#include "filters/selection.h"
#include "platform/wintypes.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>

namespace filters {

constexpr int kPaletteFileSize = 1028;
constexpr uint16_t kPaletteVersion = 0x0300;

// The file's bytes of a logical palette, and back. parsePaletteFile is
// false for fewer than 1028 bytes (the rest of longer data is ignored).
QByteArray paletteFileBytes(const platform::LOGPALETTE256& palette);
bool parsePaletteFile(const QByteArray& bytes, platform::LOGPALETTE256& palette);

enum class PaletteOutcome {
    Done,
    Ignored,    // nothing to do: no 16 or 256 colours to save, no picture to convert
    CannotSave, // the file could not be written
    CannotLoad, // the file could not be read (or is shorter than 1028 bytes)
    DoesNotFit, // loadpal: another version, or an entry count other than the picture's
    Illegal,    // loadpal0: another version, or an entry count other than 16 or 256
    NoMemory,   // loadpal0: the converted picture could not be made
};

// Writes the logical palette of a 16- or 256-colour picture to path;
// others are Ignored.
PaletteOutcome savepal(const raster::TDibRecord& image, const QString& path);

// Gives a 16- or 256-colour picture the palette of the file at path; the
// pixels keep their indices. Col1 and Col2 keep their indices (the editor
// shows them in the new colours).
PaletteOutcome loadpal(raster::TDibRecord& image, const QString& path, const FilterContext& context);

// Whether loadpal0 diffuses the error (true) or takes the nearest entry
// (false); asked once the palette has been read and the new picture made.
// The image editor asks the user (askDither of filters/messages.h).
using DitherChoice = std::function<bool()>;

// Converts picture to the palette of the file at path: a new 4-bit picture
// for a 16-entry file, an 8-bit one for 256 entries. Then asks dither:
// true diffuses the error, false gives every pixel the nearest entry of its
// colour (a 1-bit picture's set pixels are taken as white, its clear pixels
// as black). On success the new picture replaces the old one and
// context.Col1 becomes index 0 and context.Col2 the last index, for the
// editor to apply.
PaletteOutcome loadpal0(raster::TDibRecord& picture, const QString& path, FilterContext& context,
                        const DitherChoice& dither);

struct ColourCount {
    int32_t count = 0;
    bool noMemory = false; // the bit set of 2^24 colours could not be had (count 0)
};

// The number of different colours the selected pixels of picture use (all
// pixels without a selection): packed colours of 24-bit pictures, palette
// indices otherwise (two indices of the same colour count twice).
ColourCount CountColors(const raster::TDibRecord& picture, const FilterContext& context);

} // namespace filters
