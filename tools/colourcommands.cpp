#include "tools/filtercommand.h"

#include "filters/colour.h"

namespace tool {

using namespace filters;

namespace {

// Integer arguments within the ranges the dialogs give.
struct IntRange {
    int lo;
    int hi;
};

bool intArgs(const QStringList& args, std::initializer_list<IntRange> ranges, int* values, QString& error)
{
    if (!countArgs(args, int(ranges.size()), int(ranges.size()), error))
        return false;
    int i = 0;
    for (const IntRange& range : ranges) {
        if (!rangeArg(args, i, range.lo, range.hi, values[i], error))
            return false;
        ++i;
    }
    return true;
}

QString noArgs(const QStringList& args)
{
    QString error;
    countArgs(args, 0, 0, error);
    return error;
}

QString runInvert(const QStringList& args, raster::DibGuard& image, CommandContext& context)
{
    const QString error = noArgs(args);
    if (error.isEmpty())
        DibInvert(image.get(), context);
    return error;
}

QString runGrayscale(const QStringList& args, raster::DibGuard& image, CommandContext& context)
{
    const QString error = noArgs(args);
    if (error.isEmpty())
        DibGrayscale(image.get(), context);
    return error;
}

QString runStretch(const QStringList& args, raster::DibGuard& image, CommandContext& context)
{
    const QString error = noArgs(args);
    if (error.isEmpty())
        StretchHistogramm(image.get(), context);
    return error;
}

QString runHelligkeit(const QStringList& args, raster::DibGuard& image, CommandContext& context)
{
    int v[1];
    QString error;
    if (intArgs(args, {{-127, 127}}, v, error))
        Helligkeit(image.get(), v[0], context);
    return error;
}

QString runKontrast(const QStringList& args, raster::DibGuard& image, CommandContext& context)
{
    int v[1];
    QString error;
    if (intArgs(args, {{0, 200}}, v, error))
        Kontrast(image.get(), v[0], context);
    return error;
}

QString runSaettigung(const QStringList& args, raster::DibGuard& image, CommandContext& context)
{
    int v[1];
    QString error;
    if (intArgs(args, {{-100, 100}}, v, error))
        Saettigung(image.get(), v[0], context);
    return error;
}

QString runGamma(const QStringList& args, raster::DibGuard& image, CommandContext& context)
{
    double g = 0;
    QString error;
    if (!countArgs(args, 1, 1, error) || !doubleRangeArg(args, 0, 0.1, 8.9, g, error))
        return error;
    Gamma(image.get(), g, context);
    return {};
}

QString runRedGreenBlue(const QStringList& args, raster::DibGuard& image, CommandContext& context)
{
    int v[3];
    QString error;
    if (intArgs(args, {{-100, 100}, {-100, 100}, {-100, 100}}, v, error))
        RedGreenBlue(image.get(), v[0], v[1], v[2], context);
    return error;
}

QString runColorize(const QStringList& args, raster::DibGuard& image, CommandContext& context)
{
    int v[2];
    QString error;
    if (intArgs(args, {{0, 255}, {0, 255}}, v, error))
        Colorize(image.get(), v[0], v[1], context);
    return error;
}

QString runHighMidShadow(const QStringList& args, raster::DibGuard& image, CommandContext& context)
{
    int v[3];
    QString error;
    if (intArgs(args, {{0, 255}, {0, 255}, {0, 255}}, v, error))
        HighMidShadow(image.get(), v[0], v[1], v[2], context);
    return error;
}

QString runPoster(const QStringList& args, raster::DibGuard& image, CommandContext& context)
{
    int v[1];
    QString error;
    if (intArgs(args, {{1, 7}}, v, error))
        DibPoster(image.get(), v[0], context);
    return error;
}

QString runSolar(const QStringList& args, raster::DibGuard& image, CommandContext& context)
{
    int v[1];
    QString error;
    if (intArgs(args, {{1, 255}}, v, error))
        DibSolar(image.get(), v[0], context);
    return error;
}

} // namespace

std::vector<FilterCommand> colourCommands()
{
    return {
        {"DibInvert", "", runInvert},
        {"DibGrayscale", "", runGrayscale},
        {"Helligkeit", "DELTA (-127..127)", runHelligkeit},
        {"Kontrast", "K (0..200, 100 = unverändert)", runKontrast},
        {"Saettigung", "S (-100..100)", runSaettigung},
        {"Gamma", "G (0.1..8.9)", runGamma},
        {"RedGreenBlue", "ROT GRÜN BLAU (je -100..100)", runRedGreenBlue},
        {"Colorize", "FARBTON SÄTTIGUNG (je 0..255)", runColorize},
        {"HighMidShadow", "GLANZLICHT MITTE SCHATTEN (je 0..255)", runHighMidShadow},
        {"StretchHistogramm", "", runStretch},
        {"DibPoster", "SHIFT (1..7, Bits pro Kanal = 8 - SHIFT)", runPoster},
        {"DibSolar", "GRENZWERT (1..255)", runSolar},
    };
}

} // namespace tool
