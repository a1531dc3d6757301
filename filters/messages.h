#pragma once
// What the user is told about the outcomes of the pixel algorithms, and the
// questions they need answered. The algorithms decide and report outcomes;
// this is the one place that holds the texts, captions and icons of their
// messages, for every caller: the image editor and the retouch view show
// them (show), lumivox-tool prints their texts.

#include "filters/convolve.h"
#include "filters/effects.h"
#include "filters/palfile.h"
#include "platform/msgbox.h"
#include "raster/dibrecord.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace filters {

struct Message {
    QString text;
    QString caption;
    platform::MsgIcon icon;
};
using Messages = std::vector<Message>;

// "Fehler: nicht genug Speicher für diese Operation!" (caption "Fehler",
// error icon): a picture or a deep copy of one could not be made.
Message noMemoryMessage();
// "Fehler beim Ändern der Größe...": Resize, NewCanvas or AddBorders gave
// no picture for a source that has one. Rotations and flips tell nothing.
Message resizeFailedMessage();

// A convolution: nothing when it ran or was not applied; "Die Division
// durch 0 ist nicht definiert!" for a refused record; "Fehler: Nicht
// genügent Speicher für diese Aktion!" without a work copy.
Messages messagesFor(FilterOutcome outcome);
// A 5 x 5 effect: the same memory message without a work copy.
Messages messagesFor(NeighbourhoodOutcome outcome);
// A palette file command, each failure with its own text (the missing
// picture of loadpal0 gives two messages: the memory message, then "Fehler
// beim Laden der Palette!").
Messages messagesFor(PaletteOutcome outcome);
// The colour count command: the memory message when the bit set could not
// be had, then the count with caption "Benutzte Farben", an information
// icon, or the error icon for a count of 0 or less.
Messages messagesFor(const ColourCount& count, bool hasSelection);

// "Es werden N Farben im Bild benutzt." (or "... in der aktuellen Auswahl
// ..." with a selection), or for a count of 0 or less "Die Anzahl der
// benutzten Farben konnte nicht ermittelt werden...".
QString countColorsText(int32_t count, bool hasSelection);

// Shows the messages one after the other, each in a box with an OK button.
void show(const Messages& messages);
void show(const Message& message);

// loadpal0's question "Wollen Sie das Bild durch Floyd-Steinberg
// Fehlerverteilung (Dithering) anpassen?" (caption "Farbpalette laden?",
// Yes and No): true for Yes. The image editor passes it to loadpal0.
bool askDither();

// MakeDIBCopy for the editor's undo snapshots and working copies: shows
// noMemoryMessage() when the copy cannot be made (the result then has no
// image).
raster::TDibRecord MakeDIBCopyOrTell(const raster::TDibRecord& source);

} // namespace filters
