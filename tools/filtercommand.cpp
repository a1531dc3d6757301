#include "tools/filtercommand.h"

#include "platform/random.h"
#include "raster/codec.h"
#include "raster/rasterio.h"
#include "tools/commands.h"

#include <algorithm>
#include <cstdio>

namespace tool {

std::vector<FilterCommand> allFilterCommands()
{
    std::vector<FilterCommand> all;
    for (auto group : {convolutionCommands, colourCommands, geometryCommands, depthCommands, effectCommands,
                       paletteCommands}) {
        const auto commands = group();
        all.insert(all.end(), commands.begin(), commands.end());
    }
    return all;
}

bool intArg(const QStringList& args, int index, int& value, QString& error)
{
    bool ok = false;
    if (index < args.size())
        value = args[index].toInt(&ok);
    if (!ok)
        error = QStringLiteral("Fehler: Argument %1 muss eine ganze Zahl sein!").arg(index + 1);
    return ok;
}

bool doubleArg(const QStringList& args, int index, double& value, QString& error)
{
    bool ok = false;
    if (index < args.size())
        value = args[index].toDouble(&ok);
    if (!ok)
        error = QStringLiteral("Fehler: Argument %1 muss eine Zahl sein!").arg(index + 1);
    return ok;
}

bool rangeArg(const QStringList& args, int index, int lo, int hi, int& value, QString& error)
{
    if (!intArg(args, index, value, error))
        return false;
    if (value < lo || value > hi) {
        error = QStringLiteral("Fehler: Argument %1 muss zwischen %2 und %3 liegen!").arg(index + 1).arg(lo).arg(hi);
        return false;
    }
    return true;
}

bool doubleRangeArg(const QStringList& args, int index, double lo, double hi, double& value, QString& error)
{
    return doubleArg(args, index, value, error) && checkRange(value, index, lo, hi, error);
}

bool checkRange(double value, int index, double lo, double hi, QString& error)
{
    if (value >= lo && value <= hi)
        return true;
    error = QStringLiteral("Fehler: Argument %1 muss zwischen %2 und %3 liegen!")
                .arg(index + 1)
                .arg(QString::number(lo), QString::number(hi));
    return false;
}

bool countArgs(const QStringList& args, int least, int most, QString& error)
{
    if (args.size() >= least && args.size() <= most)
        return true;
    if (most == 0)
        error = QStringLiteral("Fehler: Keine Argumente erwartet!");
    else if (least == most)
        error = QStringLiteral("Fehler: %1 Argument(e) erwartet!").arg(least);
    else
        error = QStringLiteral("Fehler: %1 bis %2 Argumente erwartet!").arg(least).arg(most);
    return false;
}

QString errorText(const filters::Messages& messages)
{
    QStringList texts;
    for (const filters::Message& m : messages) {
        if (m.icon == platform::MsgIcon::Error)
            texts << m.text;
    }
    return texts.join(QLatin1Char('\n'));
}

namespace {

bool colourOption(const QStringList& args, int& i, uint32_t& value)
{
    if (i + 1 >= args.size())
        return false;
    bool ok = false;
    const QString text = args[++i];
    value = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? text.mid(2).toUInt(&ok, 16)
                                                                      : text.toUInt(&ok);
    return ok;
}

// The selection from a mask picture: its non-black pixels are selected.
bool loadMask(const QString& file, int32_t width, int32_t height, raster::DibGuard& mask,
              filters::Selection& selection, QString& error)
{
    raster::DibGuard picture;
    raster::OpenDib(picture.out(), file, raster::FormatAuto, nullptr);
    if (!picture) {
        error = raster::DibErrorText(picture.get());
        return false;
    }
    if (raster::DibWidth(picture.get()) != width || raster::DibHeight(picture.get()) != height) {
        error = QStringLiteral("Fehler: Die Maske muss so groß sein wie das Bild!");
        return false;
    }
    raster::newdib(mask.out(), width, height, 1, nullptr, 0);
    if (!mask) {
        error = raster::imageErrorText(raster::ImageError::OutOfMemory);
        return false;
    }
    const bool palette = raster::DibBitCount(picture.get()) <= 8;
    int32_t left = width, top = height, right = -1, bottom = -1;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            uint32_t v = raster::getpixel(picture.get(), x, y);
            if (palette) {
                const raster::RGBQUAD q = picture->Info->bmiColors[v];
                v = q.rgbRed | q.rgbGreen | q.rgbBlue;
            }
            if (v == 0)
                continue;
            raster::setpixel(mask.get(), x, y, 1);
            left = std::min(left, x);
            top = std::min(top, y);
            right = std::max(right, x);
            bottom = std::max(bottom, y);
        }
    }
    selection.HasSelection = right >= 0;
    selection.SelMask = mask.get();
    selection.SelLeft = left;
    selection.SelTop = top;
    selection.SelRight = right;
    selection.SelBottom = bottom;
    return true;
}

} // namespace

int filter(const QStringList& args)
{
    const auto commands = allFilterCommands();
    if (args.size() == 1 && args[0] == QLatin1String("--list")) {
        for (const auto& c : commands)
            std::printf("%s %s\n", c.name, c.args);
        return 0;
    }
    QStringList words;
    CommandContext context;
    QString maskFile;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--mask")) {
            if (++i >= args.size())
                return usage();
            maskFile = args[i];
        } else if (a == QLatin1String("--col1")) {
            if (!colourOption(args, i, context.Col1))
                return usage();
        } else if (a == QLatin1String("--col2")) {
            if (!colourOption(args, i, context.Col2))
                return usage();
        } else if (a == QLatin1String("--seed")) {
            int seed = 0;
            if (!intOption(args, i, seed))
                return usage();
            platform::RandSeed = uint32_t(seed);
            context.seed = uint32_t(seed);
        } else {
            words << a;
        }
    }
    if (words.size() < 3)
        return usage();
    const QString in = words.takeFirst();
    const QString out = words.takeFirst();
    const QString name = words.takeFirst();
    const auto command = std::find_if(commands.begin(), commands.end(),
                                      [&name](const FilterCommand& c) { return name == QLatin1String(c.name); });
    if (command == commands.end())
        return fail(QStringLiteral("Fehler: Unbekannter Filter %1!").arg(name));
    // OUT "-" writes no picture, for commands that only report or save a palette.
    const bool writeOut = out != QLatin1String("-");
    const int format = writeOut ? raster::FormatFromExtension(out) : -1;
    if (format == 0)
        return fail(QStringLiteral("Fehler: Unbekanntes Zielformat für %1!").arg(out));

    raster::DibGuard image;
    raster::OpenDib(image.out(), in, raster::FormatAuto, nullptr);
    if (!image)
        return fail(raster::DibErrorText(image.get()));
    raster::DibGuard mask;
    QString error;
    if (!maskFile.isEmpty() &&
        !loadMask(maskFile, raster::DibWidth(image.get()), raster::DibHeight(image.get()), mask, context.selection, error))
        return fail(error);
    QString output;
    error = command->report ? command->report(words, image, context, output) : command->run(words, image, context);
    if (!error.isEmpty())
        return fail(error);
    if (!output.isEmpty())
        std::printf("%s\n", output.toUtf8().constData());
    if (!image)
        return fail(raster::imageErrorText(raster::ImageError::OutOfMemory));
    if (writeOut && raster::SaveDib(image.get(), out, format, nullptr) != 1)
        return fail(QStringLiteral("Fehler: Das Bild konnte nicht als %1 gespeichert werden!").arg(out));
    return 0;
}

} // namespace tool
