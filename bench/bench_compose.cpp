// bench_compose PHOTO.jpg WIDTH HEIGHT RUNS
//
// Composes a slide of the photo with a two-line outlined comment onto a
// WIDTH x HEIGHT surface RUNS times and prints the mean and the largest
// time of one composition in milliseconds:
//
//   compose 1920x1080 mean 5.1 max 6.3
//
// No peer program composes slides; the target is an absolute one.

#include "raster/rasterio.h"
#include "show/compose.h"

#include <QGuiApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() != 4) {
        std::fprintf(stderr, "usage: bench_compose PHOTO.jpg WIDTH HEIGHT RUNS\n");
        return 2;
    }
    const int width = args[1].toInt(), height = args[2].toInt(), runs = std::max(1, args[3].toInt());
    raster::TDibRecord photo;
    raster::OpenDib(&photo, args[0], raster::FormatAuto, nullptr);
    if (!photo.Bits)
        return 1;
    show::ShowDocument show;
    show::TSlideRecord* slide = show::AddNewSlide(show, photo, args[0]);
    show::SetString(slide->Comment, QStringLiteral("Sonnenuntergang am Hafen\r\nSommer 2026"));
    slide->Font->Size = 24;
    slide->TextPosition = 7;

    platform::GdiBitmap work;
    show::ComposeSlide(show.Slides, 0, width, height, 0, 1, work, width); // warm up
    double total = 0, worst = 0;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        show::ComposeSlide(show.Slides, 0, width, height, 2000, 1, work, width);
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        total += ms;
        worst = std::max(worst, ms);
    }
    std::printf("compose %dx%d mean %.2f max %.2f\n", width, height, total / runs, worst);
    return 0;
}
