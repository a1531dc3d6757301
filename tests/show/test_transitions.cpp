#include "show/transitions.h"

#include "platform/cpu.h"
#include "platform/random.h"
#include "raster/dibguard.h"
#include "raster/rasterio.h"
#include "tests/show/fxreference.h"

#include <gtest/gtest.h>

#include <QString>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

using raster::DibGuard;
using raster::TDibRecord;

namespace {

// Row y counted from the bottom, as the pixel rules count it.
uint8_t* at(const TDibRecord& dib, int x, int y)
{
    return dib.Bits + size_t(y) * size_t(dib.BytesPerRow) + size_t(x) * 3;
}

DibGuard picture(int w, int h)
{
    DibGuard g;
    raster::newdib(g.out(), w, h, 24, nullptr, 0);
    return g;
}

// A noisy start picture and a target picture that differs from it in every
// byte, so any pixel taken from the wrong side shows.
struct Pair {
    DibGuard a, b;
};

Pair noisyPair(int w, int h, uint32_t seed)
{
    Pair p{picture(w, h), picture(w, h)};
    uint32_t s = seed * 2654435761u + 1;
    auto next = [&s] {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return s;
    };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) {
                const uint32_t v = next();
                at(p.a.get(), x, y)[c] = uint8_t(v);
                at(p.b.get(), x, y)[c] = uint8_t(v) ^ uint8_t(1 + (v >> 8) % 255);
            }
    return p;
}

// Black start picture, white target: a new pixel is one that is white.
Pair blackToWhite(int w, int h)
{
    Pair p{picture(w, h), picture(w, h)};
    for (int y = 0; y < h; ++y)
        std::memset(at(p.b.get(), 0, y), 0xFF, size_t(w) * 3);
    return p;
}

bool isNew(const TDibRecord& out, int x, int y)
{
    return at(out, x, y)[0] == 0xFF;
}

std::string frameName(int effect, int w, int h, int e, int T)
{
    return "effect " + std::to_string(effect) + " on " + std::to_string(w) + "x" + std::to_string(h) + " at " +
           std::to_string(e) + "/" + std::to_string(T);
}

// The first pixel (x, y from the bottom) where two outputs differ, or "".
std::string firstDifference(const TDibRecord& p, const TDibRecord& q, int w, int h)
{
    for (int y = 0; y < h; ++y)
        if (std::memcmp(at(p, 0, y), at(q, 0, y), size_t(w) * 3) != 0)
            for (int x = 0; x < w; ++x)
                if (std::memcmp(at(p, x, y), at(q, x, y), 3) != 0)
                    return "first difference at x " + std::to_string(x) + ", y " + std::to_string(y);
    return {};
}

DibGuard render(const Pair& p, int e, int T, int effect, uint32_t seed = 0)
{
    DibGuard out = picture(raster::DibWidth(p.a.get()), raster::DibHeight(p.a.get()));
    platform::RandSeed = seed;
    show::dofx(out.get(), p.a.get(), p.b.get(), e, T, effect);
    return out;
}

} // namespace

TEST(Transitions, EffectListLabels)
{
    const char* labels[37] = {"Zufällig",
                              "Alphableding",
                              "Wischen links->rechts",
                              "Wischen rechts->links",
                              "Wischen oben->unten",
                              "Wischen unten->oben",
                              "Vorhang mitte/oben",
                              "Vorhang links/mitte",
                              "Vorhang mitte/mitte",
                              "Vorhang rechts/mitte",
                              "Vorhang mitte/unten",
                              "Zoom",
                              "Jalusie oben",
                              "Jalusie links",
                              "Jalusie unten",
                              "Jalusie rechts",
                              "Streifen oben",
                              "Streifen unten",
                              "Streifen oben/unten",
                              "Rechtecke",
                              "Rechtecke wandernd",
                              "Rechtecke zufällig",
                              "Rechtecke von oben/links",
                              "Rechtecke von oben/rechts",
                              "Rechtecke von unten/links",
                              "Rechtecke von oben/rechts",
                              "Rechtecke von oben/links zufällig",
                              "Rechtecke von oben/rechts zufällig",
                              "Rechtecke von unten/links zufällig",
                              "Rechtecke von oben/rechts zufällig",
                              "Kreise kleiner werdend",
                              "Kreise größer werdend",
                              "Kreisringe",
                              "Radar",
                              "Doppel-Radar",
                              "Spirale",
                              "Zackenspirale"};
    const auto effects = show::transitionEffects();
    ASSERT_EQ(effects.size(), 37u);
    EXPECT_EQ(show::kTransitionEffectCount, 36);
    for (size_t i = 0; i < effects.size(); ++i) {
        EXPECT_EQ(effects[i].number, int32_t(i));
        EXPECT_EQ(QString::fromUtf8(effects[i].label), QString::fromUtf8(labels[i])) << "entry " << i;
        EXPECT_NE(effects[i].render, nullptr);
    }
}

// The engine against the plain per-pixel rules: every effect (and the
// numbers that take no pixel), many sizes, times from 0 to T, the same
// bytes and the generator left in the same state.
TEST(Transitions, EngineEqualsThePixelRules)
{
    struct Size {
        int w, h, times;
    };
    const Size sizes[] = {
        {20, 20, 9},  {21, 23, 9},  {47, 33, 9},  {33, 61, 7},  {101, 20, 7}, {20, 97, 7},
        {19, 40, 3},  {40, 19, 3},  {7, 5, 3},    {1, 1, 2},    {2, 30, 3},   {160, 120, 5},
        {257, 199, 3}, {1024, 768, 1},
    };
    const int durations[] = {1, 7, 1000, 3001, 5000};
    uint32_t pick = 12345;
    auto random = [&pick](uint32_t n) {
        pick = pick * 1103515245u + 12345u;
        return (pick >> 8) % n;
    };
    // Once with the processor's fast paths, once with the plain versions
    // beside them (all but the largest size, which adds nothing there).
    struct PlainPaths {
        explicit PlainPaths(bool plain) { platform::SetPlainPathsOnly(plain); }
        ~PlainPaths() { platform::ResetPlainPaths(); }
    };
    for (const bool plain : {false, true})
    for (const Size& size : sizes) {
        if (plain && size.w * size.h > 100000)
            continue;
        SCOPED_TRACE(plain ? "plain" : "fast");
        const PlainPaths paths(plain);
        const Pair p = noisyPair(size.w, size.h, uint32_t(size.w * 131 + size.h));
        DibGuard mine = picture(size.w, size.h), theirs = picture(size.w, size.h);
        for (int effect = -1; effect <= 37; ++effect) {
            for (int i = 0; i < size.times + 2; ++i) {
                const int T = durations[random(5)];
                // The ends of the transition, then times spread over it.
                const int e = i == 0 ? 0 : i == 1 ? T : int(random(uint32_t(T) + 1));
                const uint32_t seed = random(1u << 24) * 977u;
                platform::RandSeed = seed;
                show::dofx(mine.get(), p.a.get(), p.b.get(), e, T, effect);
                const uint32_t mineSeed = platform::RandSeed;
                platform::RandSeed = seed;
                fxref::referenceDofx(theirs.get(), p.a.get(), p.b.get(), e, T, effect);
                const std::string where = firstDifference(mine.get(), theirs.get(), size.w, size.h);
                ASSERT_EQ(where, "") << frameName(effect, size.w, size.h, e, T);
                ASSERT_EQ(mineSeed, platform::RandSeed) << frameName(effect, size.w, size.h, e, T);
            }
        }
    }
}

// Where the new picture has arrived, on 1024 x 768 (pitches pw 51, ph 38;
// stripes of pitch 19 and half height 9), at chosen times of a 1024 ms
// transition, so that L equals the elapsed time.
TEST(Transitions, CoverageOn1024x768)
{
    const Pair p = blackToWhite(1024, 768);
    struct Case {
        int effect, e;
        // Every new pixel lies in [x0, x1] x [y0, y1] (y from the bottom);
        // count is the number of new pixels, or -1 when only "some" is known.
        int x0, x1, y0, y1;
        long count;
    };
    const Case cases[] = {
        // Slats: single rows y = i * 51 and columns x = i * 38 at the start,
        // at the end all rows, and only columns 0..760.
        {12, 0, 0, 1023, 0, 765, 16 * 1024},
        {12, 1024, 0, 1023, 0, 767, 1024 * 768},
        {13, 0, 0, 722, 0, 767, 20 * 768},
        {13, 1024, 0, 760, 0, 767, 761 * 768},
        // Stripes leave the top 7 rows (761..767) old.
        {16, 1024, 0, 1023, 0, 760, 761 * 1024},
        {17, 1024, 0, 1023, 0, 760, 761 * 1024},
        {18, 1024, 0, 1023, 0, 760, 761 * 1024},
        // A quarter of the way (K' = 20), 16 has laid the lower halves (10
        // rows each) of the top 20 stripes, from rows 741..750 down to
        // 380..389; 17 those of the bottom 20.
        {16, 256, 0, 1023, 380, 750, 20 * 10 * 1024},
        {17, 256, 0, 1023, 0, 370, 20 * 10 * 1024},
        // The grid's rows reach distance 5 from the top (index 15, rows
        // 765..767) only at m = 5, that is L = 256; at m = 0 the bottom
        // corners have their first cell, the right one from column index
        // 20 (x 760) on.
        {22, 255, 0, -1, 0, -1, 0},
        {23, 255, 0, -1, 0, -1, 0},
        {26, 255, 0, -1, 0, -1, 0},
        {27, 255, 0, -1, 0, -1, 0},
        {26, 256, 0, 227, 765, 767, -1},
        {27, 256, 570, 1023, 765, 767, -1},
        {22, 600, 0, 455, 459, 767, -1},
        {23, 600, 342, 1023, 459, 767, -1},
        {24, 40, 0, 1, 0, 1, 4},
        {25, 40, 761, 989, 0, 1, 14},
        // Random(1) is 0: only column multiples of 38 and row 0.
        {28, 40, 0, 0, 0, 0, 1},
        {29, 40, 760, 1022, 0, 0, 7},
    };
    for (const Case& c : cases) {
        const DibGuard out = render(p, c.e, 1024, c.effect, 99);
        long count = 0;
        int x0 = 1024, x1 = -1, y0 = 768, y1 = -1;
        for (int y = 0; y < 768; ++y)
            for (int x = 0; x < 1024; ++x)
                if (isNew(out.get(), x, y)) {
                    ++count;
                    x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
                }
        const std::string name = frameName(c.effect, 1024, 768, c.e, 1024);
        if (c.count >= 0)
            EXPECT_EQ(count, c.count) << name;
        else
            EXPECT_GT(count, 0) << name;
        if (count > 0) {
            EXPECT_GE(x0, c.x0) << name;
            EXPECT_LE(x1, c.x1) << name;
            EXPECT_GE(y0, c.y0) << name;
            EXPECT_LE(y1, c.y1) << name;
        }
    }
}

TEST(Transitions, ZoomHalfwayOn800x600)
{
    const Pair p = noisyPair(800, 600, 3);
    const DibGuard out = render(p, 500, 1000, 11);
    for (int y = 0; y < 600; ++y)
        for (int x = 0; x < 800; ++x) {
            const bool inside = x >= 200 && x < 600 && y >= 150 && y < 450;
            const uint8_t* expected = inside ? at(p.b.get(), 2 * (x - 200), 2 * (y - 150)) : at(p.a.get(), x, y);
            ASSERT_EQ(std::memcmp(at(out.get(), x, y), expected, 3), 0) << "x " << x << ", y " << y;
        }
}

TEST(Transitions, DoubleRadarIsDoneAfterAQuarter)
{
    // At a quarter the beams stand straight down: only the centre pixel,
    // which never takes a new colour, and the column below it are old;
    // one millisecond later only the centre is.
    const Pair p = blackToWhite(1024, 768);
    for (int e : {250, 251}) {
        const DibGuard out = render(p, e, 1000, 34);
        for (int y = 0; y < 768; ++y)
            for (int x = 0; x < 1024; ++x) {
                const bool old = (x == 512 && y == 384) || (e == 250 && x == 512 && y < 384);
                ASSERT_EQ(isNew(out.get(), x, y), !old) << "e " << e << ", x " << x << ", y " << y;
            }
    }
}

// The two ends of a transition, on an odd size.
TEST(Transitions, StartAndEnd)
{
    const int w = 61, h = 37;
    const Pair p = noisyPair(w, h, 8);
    auto same = [&](const DibGuard& out, const DibGuard& expected, int x, int y) {
        return std::memcmp(at(out.get(), x, y), at(expected.get(), x, y), 3) == 0;
    };
    struct Case {
        int effect, e;
        // Which pixels show the start picture.
        bool (*old)(int x, int y);
    };
    const Case cases[] = {
        {1, 0, [](int, int) { return true; }},
        {1, 1000, [](int, int) { return false; }},
        {2, 0, [](int, int) { return true; }},
        {3, 0, [](int, int) { return true; }},
        {4, 0, [](int, int) { return true; }},
        {5, 0, [](int, int) { return true; }},
        {2, 1000, [](int, int) { return false; }},
        {3, 1000, [](int x, int) { return x == 0; }},
        {4, 1000, [](int, int y) { return y == 0; }},
        {5, 1000, [](int, int) { return false; }},
        {11, 1000, [](int, int) { return false; }},
        {31, 1000, [](int, int) { return false; }},
        {0, 1000, [](int, int) { return true; }},
        {37, 1000, [](int, int) { return true; }},
        {-5, 1000, [](int, int) { return true; }},
    };
    for (const Case& c : cases) {
        const DibGuard out = render(p, c.e, 1000, c.effect);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                ASSERT_TRUE(same(out, c.old(x, y) ? p.a : p.b, x, y))
                    << frameName(c.effect, w, h, c.e, 1000) << ": x " << x << ", y " << y;
    }
}

// Below 20 pixels across or high the grid of 19 to 29 has no cells: those
// effects keep the start picture, up to the end of the transition.
TEST(Transitions, GridEffectsOnTinySurfaces)
{
    for (const auto& [w, h] : {std::pair{19, 40}, std::pair{40, 19}, std::pair{3, 3}}) {
        const Pair p = noisyPair(w, h, 5);
        for (int effect = 19; effect <= 29; ++effect)
            for (int e : {0, 500, 1000}) {
                platform::RandSeed = 7;
                const DibGuard out = render(p, e, 1000, effect, 7);
                EXPECT_EQ(firstDifference(out.get(), p.a.get(), w, h), "") << frameName(effect, w, h, e, 1000);
                EXPECT_EQ(platform::RandSeed, 7u);
            }
    }
}

TEST(Transitions, PicturesThatDoNotFitAreLeftAlone)
{
    const Pair p = noisyPair(30, 20, 1);
    DibGuard small = picture(29, 20), out = picture(30, 20);
    std::memset(out->Bits, 0x5A, raster::DibSizeImage(out.get()));
    show::dofx(out.get(), p.a.get(), small.get(), 500, 1000, 1);
    DibGuard palette;
    raster::newdib(palette.out(), 30, 20, 8, nullptr, 0);
    show::dofx(out.get(), p.a.get(), palette.get(), 500, 1000, 1);
    for (uint32_t i = 0; i < raster::DibSizeImage(out.get()); ++i)
        ASSERT_EQ(out->Bits[i], 0x5A);
}
