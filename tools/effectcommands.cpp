// lumivox-tool's names for the special effects, with the values of their
// dialogs as arguments. A colour is one of the words of the dialogs'
// colour box (vordergrund = Col1, hintergrund = Col2, schwarz, weiss, rot,
// gruen, blau); without one the dialogs' preset, the background colour.
// Selections come from --mask; AddNoise draws from --seed when given.

#include "tools/filtercommand.h"

#include "filters/effects.h"
#include "platform/random.h"

namespace tool {

using namespace filters;

namespace {

bool colourArg(const QStringList& args, int index, const raster::TDibRecord& image, const FilterContext& context,
               uint32_t& colour, QString& error)
{
    static const struct {
        const char* word;
        EffectColour choice;
    } words[] = {
        {"vordergrund", EffectColour::Vordergrundfarbe}, {"hintergrund", EffectColour::Hintergrundfarbe},
        {"schwarz", EffectColour::Schwarz},              {"weiss", EffectColour::Weiss},
        {"rot", EffectColour::Rot},                      {"gruen", EffectColour::Gruen},
        {"blau", EffectColour::Blau},
    };
    EffectColour choice = EffectColour::Hintergrundfarbe;
    if (index < args.size()) {
        bool found = false;
        for (const auto& w : words) {
            if (args[index] == QLatin1String(w.word)) {
                choice = w.choice;
                found = true;
            }
        }
        if (!found) {
            error = QStringLiteral("Fehler: Unbekannte Farbe %1 (vordergrund, hintergrund, schwarz, weiss, rot, gruen, "
                                   "blau)!")
                        .arg(args[index]);
            return false;
        }
    }
    colour = effectColour(image, choice, context);
    return true;
}

QString runDrawShadow(const QStringList& args, raster::DibGuard& image, CommandContext& context)
{
    int h = 0, v = 0, t = 0, s = 0;
    uint32_t colour = 0;
    QString error;
    if (!countArgs(args, 4, 5, error) || !rangeArg(args, 0, -100, 100, h, error) ||
        !rangeArg(args, 1, -100, 100, v, error) || !rangeArg(args, 2, 0, 100, t, error) ||
        !rangeArg(args, 3, 0, 100, s, error) || !colourArg(args, 4, image.get(), context, colour, error))
        return error;
    DrawShadow(image.get(), h, v, t, s, colour, context);
    return {};
}

QString runButtonize(const QStringList& args, raster::DibGuard& image, CommandContext& context)
{
    int w = 0, t = 0;
    uint32_t colour = 0;
    QString error;
    if (!countArgs(args, 3, 4, error) || !rangeArg(args, 0, 0, 100, w, error) || !rangeArg(args, 1, 0, 100, t, error))
        return error;
    if (args[2] != QLatin1String("fest") && args[2] != QLatin1String("transparent"))
        return QStringLiteral("Fehler: Argument 3 muss fest oder transparent sein!");
    if (!colourArg(args, 3, image.get(), context, colour, error))
        return error;
    Buttonize(image.get(), w, t, args[2] == QLatin1String("fest"), colour, context);
    return {};
}

QString runMosaik(const QStringList& args, raster::DibGuard& image, CommandContext& context)
{
    int bw = 0, bh = 0;
    QString error;
    if (!countArgs(args, 2, 2, error) || !rangeArg(args, 0, 1, 100, bw, error) ||
        !rangeArg(args, 1, 1, 100, bh, error))
        return error;
    MosaikEffekt(image.get(), bw, bh, context);
    return {};
}

QString runErode(const QStringList& args, raster::DibGuard& image, CommandContext& context)
{
    QString error;
    if (!countArgs(args, 0, 0, error))
        return error;
    return errorText(messagesFor(DibErodeFilter(image.get(), context)));
}

QString runDilate(const QStringList& args, raster::DibGuard& image, CommandContext& context)
{
    QString error;
    if (!countArgs(args, 0, 0, error))
        return error;
    return errorText(messagesFor(DibDilateFilter(image.get(), context)));
}

QString runAddNoise(const QStringList& args, raster::DibGuard& image, CommandContext& context)
{
    int n = 0, p = 0;
    QString error;
    if (!countArgs(args, 2, 2, error) || !rangeArg(args, 0, 1, 256, n, error) || !rangeArg(args, 1, 1, 100, p, error))
        return error;
    // The editor seeds the generator from the clock; a seed from the command
    // line makes the noise repeatable.
    if (context.seed) {
        platform::RandSeed = *context.seed;
        addNoiseFromSeed(image.get(), n, p, context);
    } else {
        AddNoise(image.get(), n, p, context);
    }
    return {};
}

QString runDelNoise(const QStringList& args, raster::DibGuard& image, CommandContext& context)
{
    int g = 0;
    QString error;
    if (!countArgs(args, 1, 1, error) || !rangeArg(args, 0, 1, 255, g, error))
        return error;
    return errorText(messagesFor(DelNoise(image.get(), g, context)));
}

} // namespace

std::vector<FilterCommand> effectCommands()
{
    return {
        {"DrawShadow", "HORIZONTAL VERTIKAL (je -100..100) TRANSPARENZ WEICHHEIT (je 0..100) [FARBE]", runDrawShadow},
        {"Buttonize", "RAHMENBREITE TRANSPARENZ (je 0..100) fest|transparent [FARBE]", runButtonize},
        {"MosaikEffekt", "BLOCKBREITE BLOCKHÖHE (je 1..100)", runMosaik},
        {"DibErodeFilter", "", runErode},
        {"DibDilateFilter", "", runDilate},
        {"AddNoise", "STÄRKE (1..256) WAHRSCHEINLICHKEIT (1..100) (Zufall: --seed)", runAddNoise},
        {"DelNoise", "GRENZWERT (1..255)", runDelNoise},
    };
}

} // namespace tool
