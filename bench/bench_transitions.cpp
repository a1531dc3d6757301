// bench_transitions WIDTH HEIGHT [FRAMES] [ROUNDS]
//
// Times dofx for every effect 1..36 on two noisy 24-bit pictures of the
// given size: FRAMES frames (default 25) spread evenly over a 1000 ms
// transition, from elapsed 0 to 1000, each frame computed ROUNDS times
// (default 3) with the fastest kept, so that other work on the machine
// weighs less. Times are the processor time of the computing thread.
// Before the timed frames one untimed frame fills the caches (the spirals'
// per-size tables); its time is printed for 35 as "setup".
// One line per effect, in milliseconds per frame:
//
//   effect 1 mean 0.412 max 0.431 Alphableding
//   setup 35 38.2
//
// scripts/bench-transitions sets these against ffmpeg's xfade.

#include "platform/random.h"
#include "raster/dibguard.h"
#include "raster/rasterio.h"
#include "show/transitions.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

// The processor time of this thread in milliseconds: the work done, which
// other programs on a busy machine disturb much less than the wall time.
double now()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

void fillNoise(raster::TDibRecord& dib, uint32_t seed)
{
    const uint32_t size = raster::DibSizeImage(dib);
    uint32_t s = seed;
    for (uint32_t i = 0; i < size; ++i) {
        s = s * 1664525u + 1013904223u;
        dib.Bits[i] = uint8_t(s >> 24);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "Aufruf: bench_transitions BREITE HOEHE [BILDER] [RUNDEN]\n");
        return 1;
    }
    const int w = std::atoi(argv[1]), h = std::atoi(argv[2]);
    const int frames = argc > 3 ? std::max(2, std::atoi(argv[3])) : 25;
    const int rounds = argc > 4 ? std::max(1, std::atoi(argv[4])) : 3;
    const int duration = 1000;

    raster::DibGuard a, b, out;
    raster::newdib(a.out(), w, h, 24, nullptr, 0);
    raster::newdib(b.out(), w, h, 24, nullptr, 0);
    raster::newdib(out.out(), w, h, 24, nullptr, 0);
    if (!a || !b || !out) {
        std::fprintf(stderr, "Fehler: nicht genug Speicher für diese Operation!\n");
        return 1;
    }
    fillNoise(a.get(), 1);
    fillNoise(b.get(), 2);

    const auto effects = show::transitionEffects();
    for (int effect = 1; effect <= show::kTransitionEffectCount; ++effect) {
        platform::RandSeed = 17;
        const double setupStart = now();
        show::dofx(out.get(), a.get(), b.get(), duration / 2, duration, effect);
        const double setup = now() - setupStart;
        double sum = 0, worst = 0;
        for (int i = 0; i < frames; ++i) {
            const int e = int(int64_t(i) * duration / (frames - 1));
            double best = 1e30;
            for (int r = 0; r < rounds; ++r) {
                platform::RandSeed = 17;
                const double start = now();
                show::dofx(out.get(), a.get(), b.get(), e, duration, effect);
                best = std::min(best, now() - start);
            }
            sum += best;
            worst = std::max(worst, best);
        }
        std::printf("effect %d mean %.4f max %.4f %s\n", effect, sum / frames, worst, effects[size_t(effect)].label);
        if (effect == 35)
            std::printf("setup 35 %.1f\n", setup);
        std::fflush(stdout);
    }
    return 0;
}
