// Times the geometric transforms on a picture read from a binary PPM:
// Resize without interpolation to 1920 x 1080 and DibRotxxx by 30 degrees,
// and for information RotLeft and an interpolated enlargement to 6000 x 4500.
// Prints the median of the runs in milliseconds, one figure per line, for
// scripts/bench-geometry to set against ImageMagick.
//
//   bench_geometry IN.ppm [RUNS]

#include "bench/ppm.h"
#include "filters/geometry.h"
#include "raster/dibguard.h"
#include "raster/rasterio.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

double medianMs(int runs, const std::function<raster::TDibRecord()>& work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        raster::DibGuard result(work());
        const auto end = std::chrono::steady_clock::now();
        if (!result) {
            std::fprintf(stderr, "no result\n");
            std::exit(1);
        }
        times.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "Aufruf: bench_geometry EIN.ppm [LAEUFE]\n");
        return 1;
    }
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    raster::DibGuard picture;
    if (!bench::readPpm(argv[1], picture)) {
        std::fprintf(stderr, "Fehler: %s ist kein P6-Bild mit 8 Bit je Kanal!\n", argv[1]);
        return 1;
    }
    const raster::TDibRecord& source = picture.get();
    std::printf("resize_nearest_ms %.2f\n",
                medianMs(runs, [&] { return filters::Resize(source, 1920, 1080, false); }));
    std::printf("rotate30_ms %.2f\n", medianMs(runs, [&] { return filters::DibRotxxx(source, true, 30, 0); }));
    std::printf("rotleft_ms %.2f\n", medianMs(runs, [&] { return filters::RotLeft(source); }));
    std::printf("resize_interpolated_ms %.2f\n",
                medianMs(runs, [&] { return filters::Resize(source, 6000, 4500, true); }));
    return 0;
}
