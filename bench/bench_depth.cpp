// bench_depth IN.ppm OUT.ppm RUNS
//
// Reads the 24-bit picture IN.ppm (binary P6, 8-bit samples) and times, RUNS
// times each after one untimed run:
// - DepthDownTo(8) with the optimised palette, the system colours and
//   Floyd-Steinberg error diffusion, each time on a fresh copy of the
//   picture; the last result goes to OUT.ppm;
// - CountColors of the picture.
// Prints the best and the median wall time in milliseconds:
//
//   depth best 812.0 median 830.5
//   count best 21.3 median 22.0 colours 2177465
//
// scripts/bench-depth runs ImageMagick on the same picture beside it and
// prints the ratios.

#include "bench/ppm.h"
#include "filters/depth.h"
#include "filters/palfile.h"
#include "raster/dibguard.h"
#include "raster/rasterio.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

// The picture's colours as a binary PPM (palette pictures through their
double msSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4 || std::atoi(argv[3]) < 1) {
        std::fprintf(stderr, "usage: bench_depth IN.ppm OUT.ppm RUNS\n");
        return 2;
    }
    const int runs = std::atoi(argv[3]);
    raster::DibGuard original;
    if (!bench::readPpm(argv[1], original)) {
        std::fprintf(stderr, "bench_depth: cannot read %s\n", argv[1]);
        return 1;
    }

    std::vector<double> depth;
    raster::DibGuard last;
    for (int i = 0; i <= runs; ++i) {
        raster::DibGuard image(raster::MakeDIBCopy(original.get()));
        filters::FilterContext context;
        const auto start = std::chrono::steady_clock::now();
        if (!filters::DepthDownTo(image.get(), {8, 256, true, filters::ErrorDiffusion, true}, context))
            return 1;
        if (i > 0)
            depth.push_back(msSince(start));
        last = std::move(image);
    }

    std::vector<double> count;
    int32_t colours = 0;
    for (int i = 0; i <= runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        colours = filters::CountColors(original.get(), {}).count;
        if (i > 0)
            count.push_back(msSince(start));
    }

    std::sort(depth.begin(), depth.end());
    std::sort(count.begin(), count.end());
    if (!bench::writePpm(argv[2], last.get()))
        return 1;
    std::printf("depth best %.1f median %.1f\n", depth.front(), depth[depth.size() / 2]);
    std::printf("count best %.1f median %.1f colours %d\n", count.front(), count[count.size() / 2], colours);
    return 0;
}
