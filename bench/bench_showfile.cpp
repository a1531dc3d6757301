// bench_showfile make SHOW.sli PICTURE.jpg...
// bench_showfile open SHOW.sli RUNS
// bench_showfile save SHOW.sli OUT.sli RUNS
//
// make: a show of one slide per picture, each slide keeping the JPEG bytes
// it was made from, as adding a picture does.
// open: OpenFile RUNS times; prints "open best B median M cpu C" (ms).
// save: opens once, then SaveFile of the unchanged show to OUT RUNS times;
// prints "save best B median M cpu C".

#include "raster/rasterio.h"
#include "show/showfile.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <vector>

namespace {

double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// prepare runs untimed before every run.
bool report(const char* name, int runs, const std::function<bool()>& work, const std::function<void()>& prepare = {})
{
    std::vector<double> wall, cpu;
    for (int i = 0; i < runs; ++i) {
        if (prepare)
            prepare();
        const double c0 = cpuMs();
        const auto t0 = std::chrono::steady_clock::now();
        if (!work())
            return false;
        wall.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
        cpu.push_back(cpuMs() - c0);
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    std::printf("%s best %.1f median %.1f cpu %.1f\n", name, wall.front(), wall[wall.size() / 2], cpu[cpu.size() / 2]);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() >= 3 && args[0] == QLatin1String("make")) {
        show::ShowDocument document;
        for (int i = 2; i < args.size(); ++i) {
            QFile file(args[i]);
            if (!file.open(QIODevice::ReadOnly))
                return 1;
            const QByteArray bytes = file.readAll();
            raster::TDibRecord picture;
            raster::OpenDib(&picture, args[i], raster::FormatJPG, nullptr);
            if (!picture.Bits)
                return 1;
            show::TSlideRecord* slide = show::AddNewSlide(document, picture, args[i]);
            show::KeepPictureBytes(*slide, 0, std::vector<uint8_t>(bytes.begin(), bytes.end()));
        }
        return show::SaveFile(document, args[1], false) ? 0 : 1;
    }
    if (args.size() == 3 && args[0] == QLatin1String("open")) {
        // Releasing the previous run's pictures is not part of opening.
        std::unique_ptr<show::ShowDocument> document;
        const bool ok = report(
            "open", args[2].toInt(), [&] { return show::OpenFile(*document, args[1]); },
            [&] { document = std::make_unique<show::ShowDocument>(); });
        return ok ? 0 : 1;
    }
    if (args.size() == 4 && args[0] == QLatin1String("save")) {
        show::ShowDocument document;
        if (!show::OpenFile(document, args[1]))
            return 1;
        return report("save", args[3].toInt(), [&] { return show::SaveFile(document, args[2], false); }) ? 0 : 1;
    }
    std::fprintf(stderr, "usage: bench_showfile make|open|save ...\n");
    return 2;
}
