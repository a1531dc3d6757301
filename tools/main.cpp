// lumivox-tool: the library's work from the command line, for scripts,
// tests and benchmarks.
//
//   lumivox-tool convert IN OUT [--format N] [--quality Q]
//   lumivox-tool info FILE
//   lumivox-tool filter IN OUT NAME [ARG...] [--mask MASK] [--col1 C] [--col2 C] [--seed S]
//   lumivox-tool filter --list
//   lumivox-tool info SHOW.sli
//   lumivox-tool resave IN.sli OUT.sli
//   lumivox-tool fx A.bmp B.bmp OUT.bmp --effect K --elapsed E --duration T [--seed S] [--repeat N]
//   lumivox-tool render SHOW.sli OUT.bmp --slide N --at MS --size WxH [--desktop-width D] [--seed S]
//                [--effect K] [--repeat N]

#include "tools/commands.h"

#include "filters/filtercommand.h"
#include "platform/random.h"
#include "raster/codec.h"
#include "raster/dibguard.h"
#include "raster/rasterio.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace tool {

int fail(const QString& text)
{
    std::fprintf(stderr, "%s\n", text.toUtf8().constData());
    return 1;
}

int usage()
{
    return fail(QStringLiteral("Aufruf:\n"
                               "  lumivox-tool convert EIN AUS [--format N] [--quality Q]\n"
                               "  lumivox-tool info DATEI\n"
                               "  lumivox-tool filter EIN AUS NAME [ARG...] [--mask MASKE] [--col1 F] [--col2 F] [--seed S]\n"
                               "  lumivox-tool filter --list\n"
                               "  lumivox-tool info SHOW.sli\n"
                               "  lumivox-tool resave EIN.sli AUS.sli\n"
                               "  lumivox-tool fx A.bmp B.bmp AUS.bmp --effect K --elapsed E --duration T [--seed S] [--repeat N]\n"
                               "  lumivox-tool render SHOW.sli AUS.bmp --slide N --at MS --size BxH [--desktop-width D] [--seed S] [--effect K] [--repeat N]"));
}

bool intOption(const QStringList& args, int& i, int& value)
{
    if (i + 1 >= args.size())
        return false;
    bool ok = false;
    value = args[++i].toInt(&ok);
    return ok;
}

int convert(const QStringList& args)
{
    QStringList files;
    int format = -1;
    int quality = -1;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--format")) {
            if (!intOption(args, i, format))
                return usage();
        } else if (args[i] == QLatin1String("--quality")) {
            if (!intOption(args, i, quality))
                return usage();
        } else {
            files << args[i];
        }
    }
    if (files.size() != 2)
        return usage();
    if (format < 0)
        format = raster::FormatFromExtension(files[1]);
    if (format == 0 || !raster::codecForFormat(format))
        return fail(QStringLiteral("Fehler: Unbekanntes Zielformat für %1!").arg(files[1]));
    if (quality >= 0)
        raster::SetJPEGQual(quality);

    raster::DibGuard image;
    raster::OpenDib(image.out(), files[0], raster::FormatAuto, nullptr);
    if (!image)
        return fail(raster::DibErrorText(image.get()));
    if (raster::SaveDib(image.get(), files[1], format, nullptr) != 1)
        return fail(QStringLiteral("Fehler: Das Bild konnte nicht als %1 gespeichert werden!").arg(files[1]));
    return 0;
}

int pictureInfo(const QStringList& args)
{
    if (args.size() != 1)
        return usage();
    raster::DibGuard image;
    raster::OpenDib(image.out(), args[0], raster::FormatAuto, nullptr);
    if (!image)
        return fail(raster::DibErrorText(image.get()));
    std::printf("{\"Width\": %d, \"Height\": %d, \"BitCount\": %d}\n", raster::DibWidth(image.get()),
                raster::DibHeight(image.get()), raster::DibBitCount(image.get()));
    return 0;
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
    const auto commands = filters::allFilterCommands();
    if (args.size() == 1 && args[0] == QLatin1String("--list")) {
        for (const auto& c : commands)
            std::printf("%s %s\n", c.name, c.args);
        return 0;
    }
    QStringList words;
    filters::CommandContext context;
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
                                      [&name](const filters::FilterCommand& c) { return name == QLatin1String(c.name); });
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

int main(int argc, char** argv)
{
    // Rendering a show draws text, which needs the graphical side of Qt;
    // without a display it draws off screen.
    const bool drawsText = argc > 1 && std::strcmp(argv[1], "render") == 0;
    if (drawsText && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QCoreApplication> app;
    if (drawsText)
        app = std::make_unique<QGuiApplication>(argc, argv);
    else
        app = std::make_unique<QCoreApplication>(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    using namespace tool;
    if (args.isEmpty())
        return usage();
    const QString command = args.takeFirst();
    if (command == QLatin1String("convert"))
        return convert(args);
    if (command == QLatin1String("info"))
        return args.size() == 1 && args[0].endsWith(QLatin1String(".sli"), Qt::CaseInsensitive) ? showInfo(args)
                                                                                                : pictureInfo(args);
    if (command == QLatin1String("resave"))
        return resave(args);
    if (command == QLatin1String("fx"))
        return fx(args);
    if (command == QLatin1String("render"))
        return render(args);
    if (command == QLatin1String("filter"))
        return filter(args);
    return usage();
}
