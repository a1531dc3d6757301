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

#include "filters/depth.h"
#include "filters/palfile.h"
#include "raster/dibguard.h"
#include "raster/rasterio.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace {

bool readPpm(const char* path, raster::DibGuard& image)
{
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t pos = 0;
    auto token = [&]() {
        while (pos < bytes.size() && (std::isspace(uint8_t(bytes[pos])) || bytes[pos] == '#')) {
            if (bytes[pos] == '#')
                pos = bytes.find('\n', pos);
            else
                ++pos;
        }
        const size_t start = pos;
        while (pos < bytes.size() && !std::isspace(uint8_t(bytes[pos])))
            ++pos;
        return bytes.substr(start, pos - start);
    };
    if (token() != "P6")
        return false;
    const int w = std::atoi(token().c_str());
    const int h = std::atoi(token().c_str());
    if (std::atoi(token().c_str()) != 255 || w <= 0 || h <= 0)
        return false;
    ++pos;
    if (bytes.size() - pos < size_t(w) * size_t(h) * 3)
        return false;
    raster::newdib(image.out(), w, h, 24, nullptr, 0);
    if (!image)
        return false;
    const uint8_t* src = reinterpret_cast<const uint8_t*>(bytes.data()) + pos;
    for (int y = 0; y < h; ++y) {
        uint8_t* row = raster::DibRow(image.get(), y);
        for (int x = 0; x < w; ++x, src += 3) {
            row[3 * x] = src[2];
            row[3 * x + 1] = src[1];
            row[3 * x + 2] = src[0];
        }
    }
    return true;
}

// The picture's colours as a binary PPM (palette pictures through their
// colour table), for comparing with ImageMagick's result.
bool writePpm(const char* path, const raster::TDibRecord& image)
{
    const int w = raster::DibWidth(image), h = raster::DibHeight(image);
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << w << " " << h << "\n255\n";
    std::vector<char> row(size_t(w) * 3);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            uint32_t v = raster::getpixel(image, x, y);
            if (raster::DibBitCount(image) <= 8) {
                const platform::RGBQUAD q = image.Info->bmiColors[v];
                v = uint32_t(q.rgbRed) | uint32_t(q.rgbGreen) << 8 | uint32_t(q.rgbBlue) << 16;
            }
            row[size_t(3 * x)] = char(v & 255);
            row[size_t(3 * x + 1)] = char((v >> 8) & 255);
            row[size_t(3 * x + 2)] = char((v >> 16) & 255);
        }
        out.write(row.data(), std::streamsize(row.size()));
    }
    return bool(out);
}

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
    if (!readPpm(argv[1], original)) {
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
    if (!writePpm(argv[2], last.get()))
        return 1;
    std::printf("depth best %.1f median %.1f\n", depth.front(), depth[depth.size() / 2]);
    std::printf("count best %.1f median %.1f colours %d\n", count.front(), count[count.size() / 2], colours);
    return 0;
}
