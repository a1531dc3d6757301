// bench_jpeg IN.jpg OUT.jpg RUNS
//
// Reads IN.jpg through OpenDib RUNS times, then writes the picture it got
// through SaveDib to OUT.jpg RUNS times at the default quality, and prints
// the best and the median wall time of each, in milliseconds:
//
//   decode best 93.1 median 95.4 cpu 92.0
//   encode best 80.2 median 81.0 cpu 79.5
//
// (cpu: the median processor time, user and system).
//
// scripts/run-bench runs djpeg and cjpeg on the same files beside it and
// prints the ratios.

#include "raster/dibguard.h"
#include "raster/rasterio.h"

#include <QString>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {

struct Times {
    double best = 0;
    double median = 0;
    double cpuMedian = 0; // processor time, which other load on the machine hardly changes
};

double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Runs work once untimed (caches, allocator), then runs times.
Times measure(int runs, const std::function<bool()>& work, bool& ok)
{
    ok = work();
    std::vector<double> ms, cpu;
    for (int i = 0; ok && i < runs; ++i) {
        const double cpuStart = cpuMs();
        const auto start = std::chrono::steady_clock::now();
        ok = work();
        const auto end = std::chrono::steady_clock::now();
        cpu.push_back(cpuMs() - cpuStart);
        ms.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    if (ms.empty())
        return {};
    std::sort(ms.begin(), ms.end());
    std::sort(cpu.begin(), cpu.end());
    return {ms.front(), ms[ms.size() / 2], cpu[cpu.size() / 2]};
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4 || std::atoi(argv[3]) < 1) {
        std::fprintf(stderr, "usage: bench_jpeg IN.jpg OUT.jpg RUNS\n");
        return 2;
    }
    const QString in = QString::fromLocal8Bit(argv[1]);
    const QString out = QString::fromLocal8Bit(argv[2]);
    const int runs = std::atoi(argv[3]);

    raster::DibGuard picture;
    bool ok = false;
    const Times decode = measure(runs, [&] {
        raster::OpenDib(picture.out(), in, raster::FormatJPG, nullptr);
        return bool(picture);
    }, ok);
    if (!ok) {
        std::fprintf(stderr, "bench_jpeg: %s: %s\n", argv[1],
                     raster::DibErrorText(picture.get()).toLocal8Bit().constData());
        return 1;
    }
    std::printf("picture %dx%d, %d bits\n", raster::DibWidth(picture.get()), raster::DibHeight(picture.get()),
                raster::DibBitCount(picture.get()));

    const Times encode = measure(runs, [&] {
        return raster::SaveDib(picture.get(), out, raster::FormatJPG, nullptr) == 1;
    }, ok);
    if (!ok) {
        std::fprintf(stderr, "bench_jpeg: cannot write %s\n", argv[2]);
        return 1;
    }
    std::printf("decode best %.1f median %.1f cpu %.1f\n", decode.best, decode.median, decode.cpuMedian);
    std::printf("encode best %.1f median %.1f cpu %.1f\n", encode.best, encode.median, encode.cpuMedian);
    return 0;
}
