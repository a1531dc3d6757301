// Decodes one picture file through OpenDib several times and prints the
// median and best times in milliseconds:
//   bench_decode FILE [RUNS]

#include "raster/dibguard.h"
#include "raster/rasterio.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_decode FILE [RUNS]\n");
        return 2;
    }
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const QString file = QString::fromLocal8Bit(argv[1]);
    std::vector<double> times;
    for (int i = 0; i <= runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        raster::DibGuard dib;
        raster::OpenDib(dib.out(), file, raster::FormatAuto, nullptr);
        const auto end = std::chrono::steady_clock::now();
        if (!dib) {
            std::fprintf(stderr, "%s\n", raster::DibErrorText(dib.get()).toUtf8().constData());
            return 1;
        }
        if (i > 0) // the first run warms the file cache
            times.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    std::sort(times.begin(), times.end());
    std::printf("%.1f %.1f\n", times[times.size() / 2], times.front());
    return 0;
}
