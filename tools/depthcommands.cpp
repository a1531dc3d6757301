// lumivox-tool's names for the colour depth conversions, with the choices
// of the depth reduction dialogs as words:
//   DepthDownTo 1|4|8 [optimized|standard] [windows|nowindows] [near|fs|dither]
//   DepthDownTo 0 COUNT [windows|nowindows] [near|fs]
//   DepthUpTo 4|8|24
// The words offer what the dialogs offer for the target: a palette choice
// for 4 and 8 bits, the system colours for 8 bits with the optimised
// palette (or a free count of at least 22), the ordered dither for 8 bits
// with the standard palette only. Unnamed choices are the dialogs'
// defaults.

#include "tools/filtercommand.h"

#include "filters/depth.h"
#include "raster/rasterio.h"

namespace tool {

using namespace filters;

namespace {

struct Words {
    int palette = -1; // 0 optimised, 1 standard
    int windows = -1; // 0 off, 1 on
    int method = -1;  // DepthMethod
};

bool parseWords(const QStringList& args, int first, Words& words, QString& error)
{
    struct Word {
        const char* text;
        int Words::*field;
        int value;
    };
    static const Word known[] = {
        {"optimized", &Words::palette, 0}, {"standard", &Words::palette, 1},
        {"windows", &Words::windows, 1},   {"nowindows", &Words::windows, 0},
        {"near", &Words::method, NearestColour}, {"fs", &Words::method, ErrorDiffusion},
        {"dither", &Words::method, OrderedDither},
    };
    for (int i = first; i < args.size(); ++i) {
        const Word* match = nullptr;
        for (const Word& w : known) {
            if (args[i] == QLatin1String(w.text))
                match = &w;
        }
        if (!match) {
            error = QStringLiteral("Fehler: Unbekannte Angabe %1 (optimized, standard, windows, nowindows, near, fs, "
                                   "dither)!")
                        .arg(args[i]);
            return false;
        }
        if (words.*(match->field) != -1) {
            error = QStringLiteral("Fehler: Doppelte Angabe %1!").arg(args[i]);
            return false;
        }
        words.*(match->field) = match->value;
    }
    return true;
}

QString runDepthDownTo(const QStringList& args, raster::DibGuard& image, CommandContext& context)
{
    int target = 0;
    QString error;
    if (!intArg(args, 0, target, error))
        return error;
    if (target != 0 && target != 1 && target != 4 && target != 8)
        return QStringLiteral("Fehler: Die Farbtiefe muss 1, 4, 8 oder 0 (freie Anzahl der Farben) sein!");

    Words words;
    DepthDownOptions options;
    if (target == 0) {
        // The free-depth dialog: 2..256 colours, 2..16 for an 8-bit picture
        // (where the system colours are not offered), at least 22 with them.
        const bool eightBit = image && raster::DibBitCount(image.get()) == 8;
        int count = 0;
        if (!rangeArg(args, 1, 2, eightBit ? 16 : 256, count, error) || !parseWords(args, 2, words, error))
            return error;
        if (words.palette != -1)
            return QStringLiteral("Fehler: Bei freier Anzahl der Farben wird immer die optimierte Palette benutzt!");
        if (words.method == OrderedDither)
            return QStringLiteral("Fehler: Dithering gibt es nur für die Standart-Palette mit 256 Farben!");
        if (words.windows == 1 && (eightBit || count < 22))
            return eightBit ? QStringLiteral("Fehler: Windows Farben gibt es hier nicht für 8-Bit-Bilder!")
                            : QStringLiteral("Fehler: Mit Windows Farben sind mindestens 22 Farben nötig!");
        const bool windows = words.windows == -1 ? !eightBit && count >= 22 : words.windows == 1;
        options = freeDepthOptions(count, windows, words.method == -1 ? ErrorDiffusion : words.method);
    } else {
        if (!parseWords(args, 1, words, error))
            return error;
        if (target == 1 && words.palette != -1)
            return QStringLiteral("Fehler: Für 2 Farben gibt es keine Palettenwahl!");
        const bool standard = words.palette == 1;
        if (words.method == OrderedDither && (target != 8 || !standard))
            return QStringLiteral("Fehler: Dithering gibt es nur für die Standart-Palette mit 256 Farben!");
        if (words.windows != -1 && (target != 8 || standard))
            return QStringLiteral("Fehler: Windows Farben gibt es nur für 256 Farben mit optimierter Palette!");
        options.target = target;
        options.colours = 1 << target;
        options.optimised = !standard;
        options.method = words.method == -1 ? ErrorDiffusion : words.method;
        options.windowsColours = target == 8 && !standard && words.windows != 0;
    }
    DepthDownTo(image.get(), options, context);
    return {};
}

QString runDepthUpTo(const QStringList& args, raster::DibGuard& image, CommandContext& context)
{
    int target = 0;
    QString error;
    if (args.size() != 1 || !intArg(args, 0, target, error) || (target != 4 && target != 8 && target != 24))
        return QStringLiteral("Fehler: DepthUpTo erwartet die Farbtiefe 4, 8 oder 24!");
    DepthUpTo(image.get(), target, context);
    return {};
}

} // namespace

std::vector<FilterCommand> depthCommands()
{
    return {
        {"DepthDownTo",
         "1|4|8 [optimized|standard] [windows|nowindows] [near|fs|dither]; 0 ANZAHL (2..256) [windows|nowindows] "
         "[near|fs]",
         runDepthDownTo},
        {"DepthUpTo", "4|8|24", runDepthUpTo},
    };
}

} // namespace tool
