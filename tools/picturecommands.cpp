// lumivox-tool's picture commands (convert, info) and what every command
// shares: failing with a text, the usage text, integer options.

#include "tools/commands.h"

#include "raster/codec.h"
#include "raster/dibguard.h"
#include "raster/rasterio.h"

#include <cstdio>

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
                               "  lumivox-tool add SHOW.sli BILD...\n"
                               "      f\u00fcgt jedes Bild als neues Dia an (SHOW.sli wird angelegt, wenn es fehlt) und speichert;\n"
                               "      Status 0: alle hinzugef\u00fcgt, 2: gespeichert ohne die nicht lesbaren Bilder,\n"
                               "      1: nicht gespeichert\n"
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

} // namespace tool
