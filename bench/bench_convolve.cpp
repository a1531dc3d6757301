// bench_convolve IN.ppm OUT.ppm RUNS
//
// Reads the 24-bit picture IN.ppm (binary P6, 8-bit samples), convolves it
// RUNS times with the 5 x 5 "Stark Weichzeichnen" record through DibFilter,
// each time from the original pixels, writes the last result to OUT.ppm and
// prints the best and the median wall time of the convolution in
// milliseconds:
//
//   convolve best 61.2 median 62.0
//
// scripts/bench-convolve runs ImageMagick's convolution of the same picture
// with the same kernel beside it and prints the ratio.

#include "bench/ppm.h"
#include "filters/convolve.h"
#include "raster/dibguard.h"
#include "raster/rasterio.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 4 || std::atoi(argv[3]) < 1) {
        std::fprintf(stderr, "usage: bench_convolve IN.ppm OUT.ppm RUNS\n");
        return 2;
    }
    const int runs = std::atoi(argv[3]);
    raster::DibGuard original, image;
    if (!bench::readPpm(argv[1], original)) {
        std::fprintf(stderr, "bench_convolve: cannot read %s\n", argv[1]);
        return 1;
    }
    image.reset(raster::MakeDIBCopy(original.get()));
    const filters::BuiltInFilter* filter = filters::findBuiltInFilter(QStringLiteral("StarkSoften1"));
    if (!image || !filter)
        return 1;

    std::vector<double> ms;
    for (int i = 0; i <= runs; ++i) { // the first run warms caches and the allocator
        std::memcpy(image->Bits, original->Bits, raster::DibSizeImage(original.get()));
        const auto start = std::chrono::steady_clock::now();
        if (filters::DibFilter(image.get(), filter->record, {}) != filters::FilterOutcome::Filtered)
            return 1;
        const auto end = std::chrono::steady_clock::now();
        if (i > 0)
            ms.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    std::sort(ms.begin(), ms.end());
    if (!bench::writePpm(argv[2], image.get()))
        return 1;
    std::printf("convolve best %.1f median %.1f\n", ms.front(), ms[ms.size() / 2]);
    return 0;
}
