#include "raster/dibguard.h"
#include "raster/rasterio.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

using namespace raster;

namespace {
// The picture as rows of '#' (value 1) and '.' (value 0).
std::string art(const TDibRecord& dib)
{
    std::string s;
    for (int y = 0; y < DibHeight(dib); ++y) {
        for (int x = 0; x < DibWidth(dib); ++x)
            s += getpixel(dib, x, y) ? '#' : '.';
        s += '\n';
    }
    return s;
}

std::string draw(int w, int h, int bc, const std::function<void(const TDibRecord&)>& f)
{
    DibGuard dib;
    newdib(dib.out(), w, h, bc, nullptr, 0);
    f(dib.get());
    return art(dib.get());
}
} // namespace

TEST(Primitives, FiguresIncludeBothCornersOfTheirBox)
{
    struct Case {
        const char* name;
        std::function<void(const TDibRecord&)> draw;
        const char* expected;
    };
    const Case cases[] = {
        {"recht_filled", [](const TDibRecord& d) { recht_filled(d, 1, 1, 3, 2, 1); },
         "......\n.###..\n.###..\n......\n"},
        {"recht_filled reversed corners", [](const TDibRecord& d) { recht_filled(d, 3, 2, 1, 1, 1); },
         "......\n.###..\n.###..\n......\n"},
        {"rechteck", [](const TDibRecord& d) { rechteck(d, 0, 0, 4, 3, 1); },
         "#####.\n#...#.\n#...#.\n#####.\n"},
        {"line", [](const TDibRecord& d) { line(d, 0, 0, 5, 2, 1); },
         "##....\n..##..\n....##\n......\n"},
        {"line backwards", [](const TDibRecord& d) { line(d, 5, 3, 5, 0, 1); },
         ".....#\n.....#\n.....#\n.....#\n"},
        {"clipped", [](const TDibRecord& d) { recht_filled(d, -5, -5, 1, 0, 1); },
         "##....\n......\n......\n......\n"},
        {"line from far outside", [](const TDibRecord& d) { line(d, -1000000, 1, 1000000, 1, 1); },
         "......\n######\n......\n......\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(draw(6, 4, 1, c.draw), c.expected) << c.name;
}

TEST(Primitives, EllipsesTouchEverySideOfTheirBox)
{
    EXPECT_EQ(draw(9, 7, 8, [](const TDibRecord& d) { FilledEllipse(d, 0, 0, 8, 6, 1); }),
              "..#####..\n"
              ".#######.\n"
              "#########\n"
              "#########\n"
              "#########\n"
              ".#######.\n"
              "..#####..\n");
    EXPECT_EQ(draw(9, 7, 8, [](const TDibRecord& d) { ellipse(d, 0, 0, 8, 6, 1); }),
              "..#####..\n"
              ".#.....#.\n"
              "#.......#\n"
              "#.......#\n"
              "#.......#\n"
              ".#.....#.\n"
              "..#####..\n");
    // A box one pixel high is a line; a single point is that pixel.
    EXPECT_EQ(draw(5, 3, 1, [](const TDibRecord& d) { ellipse(d, 1, 1, 3, 1, 1); }), ".....\n.###.\n.....\n");
    EXPECT_EQ(draw(3, 3, 1, [](const TDibRecord& d) { FilledEllipse(d, 1, 1, 1, 1, 1); }), "...\n.#.\n...\n");
    // Huge boxes far beyond the picture draw only what is visible, without
    // working through every row of the box.
    EXPECT_EQ(draw(4, 2, 1, [](const TDibRecord& d) { FilledEllipse(d, -2000000000, -2000000000, 2000000000, 2000000000, 1); }),
              "####\n####\n");
}

TEST(Primitives, ValuesReachEveryDepth)
{
    for (int bc : {1, 4, 8, 24}) {
        DibGuard dib;
        newdib(dib.out(), 5, 5, bc, nullptr, 0);
        const uint32_t v = bc == 24 ? 0x123456u : (1u << bc) - 1;
        recht_filled(dib.get(), 1, 1, 3, 3, v);
        EXPECT_EQ(getpixel(dib.get(), 2, 2), v) << bc;
        EXPECT_EQ(getpixel(dib.get(), 0, 2), 0u) << bc;
        EXPECT_EQ(getpixel(dib.get(), 4, 4), 0u) << bc;
    }
}

TEST(Primitives, PowerMatchesTheLibrarysRules)
{
    EXPECT_DOUBLE_EQ(power(2.0, 10.0), 1024.0);
    EXPECT_DOUBLE_EQ(power(0.0, 0.0), 1.0);
    EXPECT_DOUBLE_EQ(power(0.0, 2.0), 0.0);
    EXPECT_NEAR(power(0.5, 1.0 / 2.2), 0.7297, 1e-4);
}
