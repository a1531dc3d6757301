// bench_fingerprint RUNS
//
// The fingerprint a save checks a slide's kept picture bytes against, on a
// 12-megapixel photo (4000 x 3000, 24 bits), against copying the same pixel
// block with memcpy (what reading and writing it once costs on this
// machine). Prints "fingerprint median M ms, memcpy median C ms".

#include "raster/fingerprint.h"
#include "raster/rasterio.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

namespace {

double medianMs(int runs, const std::function<void()>& work)
{
    std::vector<double> ms;
    work(); // once untimed: the pages are touched
    for (int i = 0; i < runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        work();
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    raster::TDibRecord photo;
    raster::newdib(&photo, 4000, 3000, 24, nullptr, 0);
    if (!photo.Bits)
        return 1;
    const uint32_t size = raster::DibSizeImage(photo);
    uint32_t x = 12345;
    for (uint32_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        photo.Bits[i] = uint8_t(x >> 24);
    }
    std::vector<uint8_t> copy(size);
    volatile uint64_t sink = 0;
    const double ours = medianMs(runs, [&] { sink = sink + raster::DibFingerprint(photo); });
    const double peer = medianMs(runs, [&] {
        std::memcpy(copy.data(), photo.Bits, size);
        sink = sink + copy[size / 2];
    });
    std::printf("fingerprint median %.2f ms, memcpy median %.2f ms\n", ours, peer);
    raster::deldib(photo);
    return 0;
}
