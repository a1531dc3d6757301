// lumivox-tool fx A.bmp B.bmp OUT.bmp --effect K --elapsed E --duration T [--seed S] [--repeat N]
//
// One frame of a transition from A to B, written to OUT as a 24-bit BMP. The
// generator is seeded with S (0 unless given) right before the frame. With
// --repeat N the frame is computed N times, each after seeding afresh, and
// the mean time of that computation alone is printed on stderr.

#include "tools/commands.h"

#include "platform/random.h"
#include "raster/dibguard.h"
#include "raster/rasterio.h"
#include "show/transitions.h"

#include <chrono>
#include <cstdio>
#include <optional>

namespace tool {

namespace {

QString loadPicture(const QString& file, raster::DibGuard& picture)
{
    raster::OpenDib(picture.out(), file, raster::FormatAuto, nullptr);
    if (!picture)
        return raster::DibErrorText(picture.get());
    if (raster::DibBitCount(picture.get()) != 24)
        return QStringLiteral("Fehler: %1 ist kein Bild mit 24 Bit Farbtiefe!").arg(file);
    return {};
}

} // namespace

int fx(const QStringList& args)
{
    QStringList files;
    std::optional<int> effect, elapsed, duration;
    int seed = 0;
    int repeat = 0;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        int value = 0;
        if (a == QLatin1String("--effect") || a == QLatin1String("--elapsed") || a == QLatin1String("--duration") ||
            a == QLatin1String("--seed") || a == QLatin1String("--repeat")) {
            if (!intOption(args, i, value))
                return usage();
            if (a == QLatin1String("--effect"))
                effect = value;
            else if (a == QLatin1String("--elapsed"))
                elapsed = value;
            else if (a == QLatin1String("--duration"))
                duration = value;
            else if (a == QLatin1String("--seed"))
                seed = value;
            else
                repeat = value;
        } else {
            files << a;
        }
    }
    if (files.size() != 3 || !effect || !elapsed || !duration || repeat < 0)
        return usage();

    raster::DibGuard oldPic, newPic;
    QString error = loadPicture(files[0], oldPic);
    if (error.isEmpty())
        error = loadPicture(files[1], newPic);
    if (!error.isEmpty())
        return fail(error);
    const int32_t w = raster::DibWidth(oldPic.get()), h = raster::DibHeight(oldPic.get());
    if (raster::DibWidth(newPic.get()) != w || raster::DibHeight(newPic.get()) != h)
        return fail(QStringLiteral("Fehler: Die beiden Bilder müssen gleich groß sein!"));

    raster::DibGuard out;
    raster::newdib(out.out(), w, h, 24, nullptr, 0);
    if (!out)
        return fail(QStringLiteral("Fehler: nicht genug Speicher für diese Operation!"));

    if (repeat > 0) {
        double total = 0;
        for (int i = 0; i < repeat; ++i) {
            platform::RandSeed = uint32_t(seed);
            const auto start = std::chrono::steady_clock::now();
            show::dofx(out.get(), oldPic.get(), newPic.get(), *elapsed, *duration, *effect);
            total += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        }
        std::fprintf(stderr, "%.4f ms je Bild (Mittel aus %d)\n", total / repeat, repeat);
    } else {
        platform::RandSeed = uint32_t(seed);
        show::dofx(out.get(), oldPic.get(), newPic.get(), *elapsed, *duration, *effect);
    }
    if (raster::SaveDib(out.get(), files[2], raster::FormatBMP, nullptr) != 1)
        return fail(QStringLiteral("Fehler: Das Bild konnte nicht als %1 gespeichert werden!").arg(files[2]));
    return 0;
}

} // namespace tool
