// bench_intake add RUNS PICTURE...
// bench_intake load PICTURE RUNS
//
// add: every picture through PictureIntake into a new show, as the editor
// adds a list of files (read on every core, taken in order, each becoming
// a slide that keeps its JPEG bytes), RUNS times; prints
// "add N best B median M cpu C" in ms for all N pictures. Releasing the
// previous run's show is not timed.
// load: LoadPicture of one file RUNS times after one untimed run; prints
// "load best B median M" in ms.

#include "show/intake.h"
#include "show/slide.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

namespace {

double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

double msSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// Every picture must become a slide that keeps its file's bytes, or the
// figures would time something else.
bool addAll(show::ShowDocument& document, const QStringList& paths)
{
    show::PictureIntake intake(paths);
    for (int i = 0; i < intake.count(); ++i) {
        show::LoadedPicture loaded = intake.take(i);
        if (!loaded.ok()) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(paths[i]), qPrintable(loaded.ErrorText));
            return false;
        }
        const bool keeps = loaded.KeepBytes;
        if (!show::AddPictureSlide(document, loaded, paths[i]) || !keeps)
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() >= 3 && args[0] == QLatin1String("add")) {
        const int runs = std::max(1, args[1].toInt());
        const QStringList paths = args.mid(2);
        std::vector<double> wall, cpu;
        for (int r = 0; r < runs; ++r) {
            auto document = std::make_unique<show::ShowDocument>();
            const double c0 = cpuMs();
            const auto t0 = std::chrono::steady_clock::now();
            if (!addAll(*document, paths))
                return 1;
            wall.push_back(msSince(t0));
            cpu.push_back(cpuMs() - c0);
        }
        std::sort(wall.begin(), wall.end());
        std::sort(cpu.begin(), cpu.end());
        std::printf("add %lld best %.1f median %.1f cpu %.1f\n", static_cast<long long>(paths.size()), wall.front(),
                    wall[wall.size() / 2], cpu[cpu.size() / 2]);
        return 0;
    }
    if (args.size() == 3 && args[0] == QLatin1String("load")) {
        const int runs = std::max(1, args[2].toInt());
        std::vector<double> wall;
        for (int r = 0; r <= runs; ++r) {
            const auto t0 = std::chrono::steady_clock::now();
            const show::LoadedPicture loaded = show::LoadPicture(args[1]);
            const double ms = msSince(t0);
            if (!loaded.ok()) {
                std::fprintf(stderr, "%s\n", qPrintable(loaded.ErrorText));
                return 1;
            }
            if (r > 0) // the first run warms the file cache
                wall.push_back(ms);
        }
        std::sort(wall.begin(), wall.end());
        std::printf("load best %.1f median %.1f\n", wall.front(), wall[wall.size() / 2]);
        return 0;
    }
    std::fprintf(stderr, "usage: bench_intake add RUNS PICTURE... | load PICTURE RUNS\n");
    return 2;
}
