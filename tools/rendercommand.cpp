// lumivox-tool render: one screen of a show as the show window would show
// it, for checking compositions and timing them.

#include "tools/commands.h"

#include "platform/random.h"
#include "raster/dibguard.h"
#include "raster/rasterio.h"
#include "show/compose.h"
#include "show/showfile.h"
#include "raster/codec.h"
#include "show/transitions.h"

#include <QFileInfo>

#include <chrono>
#include <cstdio>
#include <cstring>

namespace tool {

namespace {

bool sizeOption(const QStringList& args, int& i, int& width, int& height)
{
    if (i + 1 >= args.size())
        return false;
    const QStringList parts = args[++i].split(QLatin1Char('x'));
    bool okW = false, okH = false;
    if (parts.size() == 2) {
        width = parts[0].toInt(&okW);
        height = parts[1].toInt(&okH);
    }
    return okW && okH && width > 0 && height > 0;
}

} // namespace

int render(const QStringList& args)
{
    QStringList files;
    int slide = 0, at = 0, width = 0, height = 0, desktop = 0, seed = 0, effect = -1, repeat = 0;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        bool ok = true;
        if (a == QLatin1String("--slide"))
            ok = intOption(args, i, slide);
        else if (a == QLatin1String("--at"))
            ok = intOption(args, i, at);
        else if (a == QLatin1String("--size"))
            ok = sizeOption(args, i, width, height);
        else if (a == QLatin1String("--desktop-width"))
            ok = intOption(args, i, desktop);
        else if (a == QLatin1String("--seed"))
            ok = intOption(args, i, seed);
        else if (a == QLatin1String("--effect"))
            ok = intOption(args, i, effect);
        else if (a == QLatin1String("--repeat"))
            ok = intOption(args, i, repeat);
        else
            files << a;
        if (!ok)
            return usage();
    }
    if (files.size() != 2 || width <= 0 || at < 0)
        return usage();

    show::ShowDocument document;
    if (!show::OpenFile(document, QFileInfo(files[0]).absoluteFilePath()))
        return 1;
    if (slide < 0 || uint32_t(slide) >= document.Slides.Count())
        return fail(QStringLiteral("Fehler: Die Show hat kein Bild %1!").arg(slide));

    // The effect the group's first slide runs with: its own, or for a
    // random one the given effect (else a draw from the seed).
    const show::SlideGroup group = show::CollageGroup(document.Slides, slide);
    show::TSlideRecord& head = *document.slide(uint32_t(group.First));
    head.EffectInUse = head.Effect;
    if (head.Effect == 0) {
        platform::RandSeed = uint32_t(seed);
        head.EffectInUse = effect >= 0 ? effect : 1 + platform::Random(36);
    }

    platform::GdiBitmap work;
    raster::DibGuard black, composed, out;
    const auto frame = [&]() -> bool {
        const show::Composition c =
            show::ComposeSlide(document.Slides, slide, width, height, at, uint32_t(seed), work, desktop);
        if (!c.Composed || work.isEmpty())
            return false;
        if (!out || raster::DibWidth(out.get()) != width || raster::DibHeight(out.get()) != height) {
            raster::newdib(out.out(), width, height, 24, nullptr, 0);
            raster::newdib(black.out(), width, height, 24, nullptr, 0);
            raster::newdib(composed.out(), width, height, 24, nullptr, 0);
            if (!out || !black || !composed)
                return false;
        }
        if (!c.TransitionRunning) {
            work.readDibRows24(0, height, out->Bits);
            return true;
        }
        // A fresh start: the transition comes in from black.
        work.readDibRows24(0, height, composed->Bits);
        show::dofx(out.get(), black.get(), composed.get(), std::min(at, c.TransTime), c.TransTime, c.EffectInUse);
        return true;
    };
    if (!frame())
        return fail(raster::imageErrorText(raster::ImageError::OutOfMemory));
    if (repeat > 0) {
        const auto t0 = std::chrono::steady_clock::now();
        for (int i = 0; i < repeat; ++i)
            frame();
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        std::fprintf(stderr, "%.3f ms\n", ms / repeat);
    }
    if (raster::SaveDib(out.get(), files[1], raster::FormatBMP, nullptr) != 1)
        return fail(QStringLiteral("Fehler: Das Bild konnte nicht als %1 gespeichert werden!").arg(files[1]));
    return 0;
}

} // namespace tool
