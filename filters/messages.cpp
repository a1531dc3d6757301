#include "filters/messages.h"

namespace filters {

using platform::MsgIcon;

namespace {

Message error(const QString& text)
{
    return {text, QStringLiteral("Fehler"), MsgIcon::Error};
}

const char* const kLoadError = "Fehler beim Laden der Palette!";

} // namespace

Message noMemoryMessage()
{
    return error(QString::fromUtf8("Fehler: nicht genug Speicher für diese Operation!"));
}

Message resizeFailedMessage()
{
    return error(QString::fromUtf8("Fehler beim Ändern der Größe..."));
}

Messages messagesFor(FilterOutcome outcome)
{
    switch (outcome) {
    case FilterOutcome::Filtered:
    case FilterOutcome::NotFiltered:
        return {};
    case FilterOutcome::DivisorZero:
        return {error(QStringLiteral("Die Division durch 0 ist nicht definiert!"))};
    case FilterOutcome::NoMemory:
        return {error(QString::fromUtf8("Fehler: Nicht genügent Speicher für diese Aktion!"))};
    }
    return {};
}

Messages messagesFor(NeighbourhoodOutcome outcome)
{
    return outcome == NeighbourhoodOutcome::NoMemory ? messagesFor(FilterOutcome::NoMemory) : Messages{};
}

Messages messagesFor(PaletteOutcome outcome)
{
    switch (outcome) {
    case PaletteOutcome::Done:
    case PaletteOutcome::Ignored:
        return {};
    case PaletteOutcome::CannotSave:
        return {error(QStringLiteral("Fehler beim Speichern der Palette!"))};
    case PaletteOutcome::CannotLoad:
        return {error(QString::fromUtf8(kLoadError))};
    case PaletteOutcome::DoesNotFit:
        return {error(QString::fromUtf8("Palette paßt nicht zum Bild oder illegale Palette!"))};
    case PaletteOutcome::Illegal:
        return {error(QStringLiteral("Illegale Palette!"))};
    case PaletteOutcome::NoMemory:
        return {noMemoryMessage(), error(QString::fromUtf8(kLoadError))};
    }
    return {};
}

Messages messagesFor(const ColourCount& count, bool hasSelection)
{
    Messages messages;
    if (count.noMemory)
        messages.push_back(noMemoryMessage());
    messages.push_back({countColorsText(count.count, hasSelection), QStringLiteral("Benutzte Farben"),
                        count.count > 0 ? MsgIcon::Information : MsgIcon::Error});
    return messages;
}

QString countColorsText(int32_t count, bool hasSelection)
{
    if (count <= 0)
        return QStringLiteral("Die Anzahl der benutzten Farben konnte nicht ermittelt werden...");
    return hasSelection ? QStringLiteral("Es werden %1 Farben in der aktuellen Auswahl benutzt.").arg(count)
                        : QStringLiteral("Es werden %1 Farben im Bild benutzt.").arg(count);
}

void show(const Message& message)
{
    platform::MessageBox(message.text, message.caption, message.icon, platform::MsgButtons::Ok);
}

void show(const Messages& messages)
{
    for (const Message& m : messages)
        show(m);
}

bool askDither()
{
    return platform::MessageBox(
               QStringLiteral("Wollen Sie das Bild durch Floyd-Steinberg Fehlerverteilung (Dithering) anpassen?"),
               QStringLiteral("Farbpalette laden?"), MsgIcon::Question,
               platform::MsgButtons::YesNo) == platform::MsgAnswer::Yes;
}

raster::TDibRecord MakeDIBCopyOrTell(const raster::TDibRecord& source)
{
    raster::TDibRecord copy = raster::MakeDIBCopy(source);
    if (source.Bits && !copy.Bits)
        show(noMemoryMessage());
    return copy;
}

} // namespace filters
