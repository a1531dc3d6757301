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

#include "filters/convolve.h"
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

bool writePpm(const char* path, const raster::TDibRecord& image)
{
    const int w = raster::DibWidth(image), h = raster::DibHeight(image);
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << w << " " << h << "\n255\n";
    std::vector<char> row(size_t(w) * 3);
    for (int y = 0; y < h; ++y) {
        const uint8_t* src = raster::DibRow(image, y);
        for (int x = 0; x < w; ++x) {
            row[size_t(3 * x)] = char(src[3 * x + 2]);
            row[size_t(3 * x + 1)] = char(src[3 * x + 1]);
            row[size_t(3 * x + 2)] = char(src[3 * x]);
        }
        out.write(row.data(), std::streamsize(row.size()));
    }
    return bool(out);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4 || std::atoi(argv[3]) < 1) {
        std::fprintf(stderr, "usage: bench_convolve IN.ppm OUT.ppm RUNS\n");
        return 2;
    }
    const int runs = std::atoi(argv[3]);
    raster::DibGuard original, image;
    if (!readPpm(argv[1], original)) {
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
    if (!writePpm(argv[2], image.get()))
        return 1;
    std::printf("convolve best %.1f median %.1f\n", ms.front(), ms[ms.size() / 2]);
    return 0;
}
