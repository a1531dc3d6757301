// Geometric transforms: the fast row-pointer versions against plain
// per-pixel versions written with getpixel/setpixel, on patterned pictures
// of every depth, and the worked examples of the editor's behaviour.

#include "filters/geometry.h"
#include "filters/messages.h"
#include "platform/msgbox.h"
#include "raster/rasterio.h"
#include "tests/testutil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <string>
#include <tuple>
#include <algorithm>

using namespace raster;
using testutil::identical;

namespace {

const int kDepths[] = {1, 4, 8, 24};

TDibRecord blankLike(const TDibRecord& source, int32_t w, int32_t h)
{
    const int bc = DibBitCount(source);
    TDibRecord dib;
    newdib(&dib, w, h, bc, bc <= 8 ? source.Info : nullptr, bc <= 8 ? 1 << bc : 0);
    return dib;
}


// ---- Plain per-pixel versions ----

TDibRecord refFlipH(const TDibRecord& s)
{
    const int w = DibWidth(s), h = DibHeight(s);
    TDibRecord d = blankLike(s, w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            setpixel(d, x, y, getpixel(s, w - 1 - x, y));
    return d;
}

TDibRecord refFlipV(const TDibRecord& s)
{
    const int w = DibWidth(s), h = DibHeight(s);
    TDibRecord d = blankLike(s, w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            setpixel(d, x, y, getpixel(s, x, h - 1 - y));
    return d;
}

TDibRecord refRotLeft(const TDibRecord& s)
{
    const int w = DibWidth(s), h = DibHeight(s);
    TDibRecord d = blankLike(s, h, w);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            setpixel(d, y, w - 1 - x, getpixel(s, x, y));
    return d;
}

TDibRecord refRotRight(const TDibRecord& s)
{
    const int w = DibWidth(s), h = DibHeight(s);
    TDibRecord d = blankLike(s, h, w);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            setpixel(d, h - 1 - y, x, getpixel(s, x, y));
    return d;
}

TDibRecord refRot180(const TDibRecord& s)
{
    const int w = DibWidth(s), h = DibHeight(s);
    TDibRecord d = blankLike(s, w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            setpixel(d, w - 1 - x, h - 1 - y, getpixel(s, x, y));
    return d;
}

TDibRecord refRotFree(const TDibRecord& s, bool right, long double angle, uint32_t background)
{
    long double theta = angle * std::numbers::pi_v<long double> / 180.0L;
    if (right)
        theta = -theta;
    const long double S = std::sin(theta), C = std::cos(theta);
    const int w = DibWidth(s), h = DibHeight(s);
    const int wL = w / 2, wR = w - wL, hT = h / 2, hB = h - hT;
    const int cxs[4] = {wR, wR, -wL, -wL}, cys[4] = {-hT, hB, hB, -hT};
    long long minX = 0, maxX = 0, minY = 0, maxY = 0;
    for (int i = 0; i < 4; ++i) {
        const long double cx = cxs[i], cy = cys[i];
        const long long X = std::llrint(cx * C - cy * S), Y = std::llrint(cx * S + cy * C);
        minX = std::min(minX, X), maxX = std::max(maxX, X), minY = std::min(minY, Y), maxY = std::max(maxY, Y);
    }
    const int w2 = int(maxX - minX), h2 = int(maxY - minY);
    TDibRecord d = blankLike(s, w2, h2);
    for (int y = 0; y < h2; ++y) {
        for (int x = 0; x < w2; ++x) {
            const long double dx = x - w2 / 2, dy = y - h2 / 2;
            const long long sx = std::llrint(dx * C - dy * S) + w / 2;
            const long long sy = std::llrint(dx * S + dy * C) + h / 2;
            const bool inside = sx >= 0 && sx < w && sy >= 0 && sy < h;
            setpixel(d, x, y, inside ? getpixel(s, int(sx), int(sy)) : background);
        }
    }
    return d;
}

// Position in 1/1024 pixel; the exact position where the step would be 0.
int refPos(int i, int n, int n2)
{
    const int step = n * 1024 / n2;
    return step > 0 ? i * step : int(int64_t(i) * n * 1024 / n2);
}

TDibRecord refResize(const TDibRecord& s, int w2, int h2, bool interpolate)
{
    const int w = DibWidth(s), h = DibHeight(s), bc = DibBitCount(s);
    TDibRecord d = blankLike(s, w2, h2);
    if (bc == 1) {
        for (int y = 0; y < h2; ++y)
            for (int x = 0; x < w2; ++x)
                setpixel(d, x, y, getpixel(s, refPos(x, w, w2) >> 10, refPos(y, h, h2) >> 10));
        return d;
    }
    // The other depths count rows in storage order, bottom row first.
    auto get = [&](int x, int r) { return getpixel(s, x, h - 1 - r); };
    for (int r = 0; r < h2; ++r) {
        for (int x = 0; x < w2; ++x) {
            const int px = refPos(x, w, w2), pr = refPos(r, h, h2);
            uint32_t v = get(px >> 10, pr >> 10);
            if (bc == 24 && interpolate && w2 >= w && h2 >= h && (w2 > w || h2 > h)) {
                const int x0 = px >> 10, fx = px % 1024, x1 = std::min(x0 + 1, w - 1);
                const int y0 = pr >> 10, fy = pr % 1024, y1 = std::min(y0 + 1, h - 1);
                v = 0;
                for (int shift = 0; shift < 24; shift += 8) {
                    auto ch = [&](int cx, int cy) { return int((get(cx, cy) >> shift) & 0xFF); };
                    const int top = (ch(x0, y0) * (1023 - fx) + ch(x1, y0) * fx) >> 10;
                    const int bottom = (ch(x0, y1) * (1023 - fx) + ch(x1, y1) * fx) >> 10;
                    v |= uint32_t((top * (1023 - fy) + bottom * fy) >> 10) << shift;
                }
            }
            setpixel(d, x, h2 - 1 - r, v);
        }
    }
    return d;
}

TDibRecord refCanvas(const TDibRecord& s, int w2, int h2, int left, int top, uint32_t background)
{
    const int w = DibWidth(s), h = DibHeight(s);
    TDibRecord d = blankLike(s, w2, h2);
    for (int y = 0; y < h2; ++y)
        for (int x = 0; x < w2; ++x) {
            const bool inside = left <= x && x < w + left && top <= y && y < h + top;
            setpixel(d, x, y, inside ? getpixel(s, x - left, y - top) : background);
        }
    return d;
}

} // namespace

// ---- Fast versions agree bit for bit with the per-pixel ones ----

struct TransformCase {
    const char* name;
    std::function<TDibRecord(const TDibRecord&)> fast;
    std::function<TDibRecord(const TDibRecord&)> reference;
};

TEST(GeometryReference, FastPathsMatchPerPixelVersionsAtEveryDepth)
{
    const filters::FilterContext context{{}, 0, 5, {}};
    const TransformCase cases[] = {
        {"FlipH", filters::FlipH, refFlipH},
        {"FlipV", filters::FlipV, refFlipV},
        {"RotLeft", filters::RotLeft, refRotLeft},
        {"RotRight", filters::RotRight, refRotRight},
        {"Rot180", filters::Rot180, refRot180},
        {"DibRotxxx left 30", [](auto& s) { return filters::DibRotxxx(s, false, 30, 3); },
         [](auto& s) { return refRotFree(s, false, 30, 3); }},
        {"DibRotxxx right 45", [](auto& s) { return filters::DibRotxxx(s, true, 45, 1); },
         [](auto& s) { return refRotFree(s, true, 45, 1); }},
        {"DibRotxxx left 200.5", [](auto& s) { return filters::DibRotxxx(s, false, 200.5L, 0); },
         [](auto& s) { return refRotFree(s, false, 200.5L, 0); }},
        // sin 150 and cos 300 come out as exactly 0.5: halves to round.
        {"DibRotxxx left 150", [](auto& s) { return filters::DibRotxxx(s, false, 150, 2); },
         [](auto& s) { return refRotFree(s, false, 150, 2); }},
        {"DibRotxxx right 300", [](auto& s) { return filters::DibRotxxx(s, true, 300, 2); },
         [](auto& s) { return refRotFree(s, true, 300, 2); }},
        {"DibRotxxx right 90", [](auto& s) { return filters::DibRotxxx(s, true, 90, 2); },
         [](auto& s) { return refRotFree(s, true, 90, 2); }},
        {"Resize enlarge", [](auto& s) { return filters::Resize(s, 101, 77, false); },
         [](auto& s) { return refResize(s, 101, 77, false); }},
        {"Resize shrink", [](auto& s) { return filters::Resize(s, 13, 9, false); },
         [](auto& s) { return refResize(s, 13, 9, false); }},
        {"Resize mixed", [](auto& s) { return filters::Resize(s, 70, 11, true); },
         [](auto& s) { return refResize(s, 70, 11, true); }},
        {"Resize interpolate", [](auto& s) { return filters::Resize(s, 95, 61, true); },
         [](auto& s) { return refResize(s, 95, 61, true); }},
        {"Resize taller", [](auto& s) { return filters::Resize(s, DibWidth(s), 2 * DibHeight(s) + 1, true); },
         [](auto& s) { return refResize(s, DibWidth(s), 2 * DibHeight(s) + 1, true); }},
        {"Resize beyond 1024 times", [](auto& s) { return filters::Resize(s, 37 * 1100, 2, true); },
         [](auto& s) { return refResize(s, 37 * 1100, 2, true); }},
        {"NewCanvas larger", [](auto& s) { return filters::NewCanvas(s, 60, 40, 7, 5, 1); },
         [](auto& s) { return refCanvas(s, 60, 40, 7, 5, 1); }},
        {"NewCanvas cropped", [](auto& s) { return filters::NewCanvas(s, 20, 20, -9, -3, 2); },
         [](auto& s) { return refCanvas(s, 20, 20, -9, -3, 2); }},
        {"NewCanvas off the picture", [](auto& s) { return filters::NewCanvas(s, 20, 20, 500, 0, 2); },
         [](auto& s) { return refCanvas(s, 20, 20, 500, 0, 2); }},
        {"AddBorders", [&](auto& s) { return filters::AddBorders(s, 3, 0, 9, 1, context); },
         [](auto& s) { return refCanvas(s, DibWidth(s) + 10, DibHeight(s) + 3, 9, 3, 5); }},
    };
    for (const int bc : kDepths) {
        // 150 x 70 spans several of the 64-pixel tiles of the rotations.
        for (const auto& size : {std::pair{37, 23}, std::pair{1, 5}, std::pair{64, 2}, std::pair{150, 70}}) {
            DibGuard source(testutil::patternImage(size.first, size.second, bc, uint32_t(bc + size.first)));
            for (const auto& c : cases) {
                SCOPED_TRACE(testing::Message() << c.name << ", " << bc << " bits, " << size.first << "x"
                                                << size.second);
                DibGuard fast(c.fast(source.get()));
                DibGuard reference(c.reference(source.get()));
                EXPECT_TRUE(identical(fast.get(), reference.get()));
            }
        }
    }
}

// ---- Rotations ----

TEST(GeometryRotate, FreeQuarterTurnsMatchTheFixedOnesUpToTheEvenSizeOffset)
{
    DibGuard square(testutil::patternImage(3, 3, 24, 7));
    DibGuard freeLeft(filters::DibRotxxx(square.get(), false, 90, 0));
    DibGuard left(filters::RotLeft(square.get()));
    EXPECT_TRUE(identical(freeLeft.get(), left.get()));
    DibGuard freeRight(filters::DibRotxxx(square.get(), true, 90, 0));
    DibGuard right(filters::RotRight(square.get()));
    EXPECT_TRUE(identical(freeRight.get(), right.get()));

    // 4 x 2 turned freely to the left: 2 x 4, the top row background, the
    // rows below the top three rows of the quarter turn.
    const uint32_t background = 0x123456;
    DibGuard wide(testutil::patternImage(4, 2, 24, 8));
    DibGuard turned(filters::DibRotxxx(wide.get(), false, 90, background));
    DibGuard quarter(filters::RotLeft(wide.get()));
    ASSERT_EQ(DibWidth(turned.get()), 2);
    ASSERT_EQ(DibHeight(turned.get()), 4);
    for (int x = 0; x < 2; ++x) {
        EXPECT_EQ(getpixel(turned.get(), x, 0), background);
        for (int y = 1; y < 4; ++y)
            EXPECT_EQ(getpixel(turned.get(), x, y), getpixel(quarter.get(), x, y - 1)) << x << ", " << y;
    }
}

TEST(GeometryRotate, FortyFiveDegreesGivesALargerSquareWithBackgroundCorners)
{
    DibGuard square(testutil::solidImage(20, 20, 9, 8));
    DibGuard turned(filters::DibRotxxx(square.get(), true, 45, 200));
    const int n = DibWidth(turned.get());
    EXPECT_EQ(n, 28); // round(20 * sqrt 2)
    EXPECT_EQ(DibHeight(turned.get()), n);
    for (const auto& [x, y] : {std::pair{0, 0}, {n - 1, 0}, {0, n - 1}, {n - 1, n - 1}, {3, 3}})
        EXPECT_EQ(getpixel(turned.get(), x, y), 200u) << x << ", " << y;
    for (const auto& [x, y] : {std::pair{n / 2, n / 2}, {n / 2, 1}, {1, n / 2}, {n / 2, n - 2}})
        EXPECT_EQ(getpixel(turned.get(), x, y), 9u) << x << ", " << y;
}

// ---- Resize, canvas, borders ----

TEST(GeometryResize, SameSizeCopiesAndHalvingNeverInterpolates)
{
    for (const int bc : kDepths) {
        DibGuard source(testutil::patternImage(29, 17, bc, 3));
        DibGuard same(filters::Resize(source.get(), 29, 17, true));
        EXPECT_TRUE(identical(same.get(), source.get())) << bc << " bits";
    }
    DibGuard source(testutil::patternImage(40, 30, 24, 4));
    DibGuard halvedSmooth(filters::Resize(source.get(), 20, 15, true));
    DibGuard halved(filters::Resize(source.get(), 20, 15, false));
    EXPECT_TRUE(identical(halvedSmooth.get(), halved.get()));
    // Nearest neighbour takes every second stored row and column.
    EXPECT_EQ(getpixel(halved.get(), 3, 14), getpixel(source.get(), 6, 29));
    EXPECT_EQ(getpixel(halved.get(), 19, 0), getpixel(source.get(), 38, 1));
}

TEST(GeometryResize, InterpolatedWeightsAddUpTo1023)
{
    DibGuard white(testutil::solidImage(10, 6, 0xFFFFFF));
    DibGuard doubled(filters::Resize(white.get(), 20, 12, true));
    ASSERT_TRUE(doubled);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 20; ++x)
            ASSERT_EQ(getpixel(doubled.get(), x, y), 0xFDFDFDu) << x << ", " << y;
    // Without interpolation white stays white.
    DibGuard plain(filters::Resize(white.get(), 20, 12, false));
    EXPECT_EQ(getpixel(plain.get(), 19, 11), 0xFFFFFFu);
}

TEST(GeometryResize, PaletteIsKept)
{
    for (const int bc : {1, 4, 8}) {
        DibGuard source(testutil::patternImage(9, 9, bc, 5));
        DibGuard bigger(filters::Resize(source.get(), 30, 4, false));
        ASSERT_TRUE(bigger);
        for (int i = 0; i < (1 << bc); ++i)
            EXPECT_EQ(bigger->LogPal.palPalEntry[i].peRed, source->LogPal.palPalEntry[i].peRed);
        EXPECT_NE(bigger->Palette, nullptr);
    }
}

TEST(GeometryCanvas, BordersPlaceThePictureAndFillWithTheSecondColour)
{
    for (const int bc : kDepths) {
        const uint32_t col2 = bc == 24 ? 0x00FF8000u : 1u;
        DibGuard source(testutil::solidImage(100, 50, 0, bc));
        setpixel(source.get(), 0, 0, bc == 24 ? 0x0000FFu : 1u);
        filters::FilterContext context;
        context.Col2 = col2;
        DibGuard framed(filters::AddBorders(source.get(), 10, 10, 10, 10, context));
        ASSERT_EQ(DibWidth(framed.get()), 120);
        ASSERT_EQ(DibHeight(framed.get()), 70);
        EXPECT_EQ(getpixel(framed.get(), 10, 10), getpixel(source.get(), 0, 0)) << bc;
        EXPECT_EQ(getpixel(framed.get(), 109, 59), 0u) << bc;
        for (const auto& [x, y] : {std::pair{9, 10}, {10, 9}, {110, 59}, {109, 60}, {0, 0}, {119, 69}})
            EXPECT_EQ(getpixel(framed.get(), x, y), col2) << bc << " bits at " << x << ", " << y;
    }
}

TEST(GeometryCanvas, DialogRules)
{
    struct Case {
        int32_t newSize, oldSize, offset;
    } const cases[] = {{1000, 900, 50}, {905, 900, 2}, {907, 900, 4}, {895, 900, -2}, {900, 900, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(filters::centredOffset(c.newSize, c.oldSize), c.offset) << c.newSize << " on " << c.oldSize;
    EXPECT_EQ(filters::keptAspect(100, 400, 300), 75);
    EXPECT_EQ(filters::keptAspect(100, 300, 400), 133);
}

TEST(GeometryResize, FailuresLeaveNoImageAndTellTheUser)
{
    DibGuard source(testutil::patternImage(10, 10, 24, 1));
    filters::FilterContext context;
    struct Case {
        const char* name;
        std::function<TDibRecord()> run;
        bool message;
    } const cases[] = {
        {"Resize", [&] { return filters::Resize(source.get(), 400, 400, true); }, true},
        {"Resize to nothing", [&] { return filters::Resize(source.get(), 0, 5, false); }, true},
        {"NewCanvas", [&] { return filters::NewCanvas(source.get(), 400, 400, 0, 0, 0); }, true},
        {"AddBorders", [&] { return filters::AddBorders(source.get(), 300, 0, 0, 0, context); }, true},
        {"AddBorders shrinking to nothing", [&] { return filters::AddBorders(source.get(), 0, 0, -5, -5, context); },
         true},
        {"DibRotxxx", [&] { return filters::DibRotxxx(source.get(), true, 30, 0); }, false},
        {"RotLeft", [&] { return filters::RotLeft(source.get()); }, false},
        {"FlipH", [&] { return filters::FlipH(source.get()); }, false},
    };
    const testutil::AllocationLimit limit(250);
    for (const auto& c : cases) {
        platform::MessageBoxScript messages;
        DibGuard result(c.run());
        EXPECT_FALSE(result) << c.name;
        EXPECT_TRUE(messages.shown().empty()) << c.name; // the command tells
        if (c.message) {
            filters::show(filters::resizeFailedMessage());
            ASSERT_EQ(messages.shown().size(), 1u) << c.name;
            EXPECT_EQ(messages.shown()[0].text, QString::fromUtf8("Fehler beim Ändern der Größe..."));
            EXPECT_EQ(messages.shown()[0].caption, QStringLiteral("Fehler"));
            EXPECT_EQ(messages.shown()[0].icon, platform::MsgIcon::Error);
        } else {
            EXPECT_TRUE(messages.shown().empty()) << c.name;
        }
    }
}

// ---- Perspective, skew, bulge ----

namespace {
struct InPlace {
    DibGuard copy;
    DibGuard image;
    explicit InPlace(const TDibRecord& source) : copy(source), image(MakeDIBCopy(source)) {}
};
} // namespace

TEST(GeometryPerspective, NeutralSettingsChangeNothing)
{
    struct Case {
        const char* name;
        std::function<void(TDibRecord&, const TDibRecord&, const filters::FilterContext&)> run;
    } const cases[] = {
        {"perspective horizontal 0", [](auto& i, auto& c, auto& x) { filters::Perspektive(i, c, 0, true, true, x); }},
        {"perspective vertical 0", [](auto& i, auto& c, auto& x) { filters::Perspektive(i, c, 0, false, true, x); }},
        {"skew horizontal 0", [](auto& i, auto& c, auto& x) { filters::Perspektive(i, c, 0, true, false, x); }},
        {"skew vertical 0", [](auto& i, auto& c, auto& x) { filters::Perspektive(i, c, 0, false, false, x); }},
        {"bulge 1.0", [](auto& i, auto& c, auto& x) { filters::Woelben(i, c, true, 1.0, true, x); }},
    };
    filters::FilterContext context;
    context.Col2 = 0x00FF00FF;
    // 98 wide: 49 * (1 / 49) falls just short of 1, which must not move a pixel.
    for (const auto& size : {std::pair{98, 46}, std::pair{31, 7}}) {
        for (const auto& c : cases) {
            InPlace p(testutil::patternImage(size.first, size.second, 24, 11));
            c.run(p.image.get(), p.copy.get(), context);
            EXPECT_TRUE(identical(p.image.get(), p.copy.get())) << c.name << " " << size.first;
        }
    }
}

TEST(GeometryPerspective, OneColumnOrRowHasNoEdgeToSqueeze)
{
    filters::FilterContext context;
    for (const auto& [w, h, horizontal] : {std::tuple{1, 8, true}, {8, 1, false}}) {
        InPlace p(testutil::patternImage(w, h, 24, 2));
        filters::Perspektive(p.image.get(), p.copy.get(), 60, horizontal, true, context);
        EXPECT_TRUE(identical(p.image.get(), p.copy.get())) << w << " x " << h;
        filters::Perspektive(p.image.get(), p.copy.get(), -60, horizontal, true, context);
        EXPECT_TRUE(identical(p.image.get(), p.copy.get())) << w << " x " << h;
    }
}

TEST(GeometryPerspective, PalettePicturesAreLeftAlone)
{
    for (const int bc : {1, 4, 8}) {
        InPlace p(testutil::patternImage(12, 9, bc, 6));
        filters::FilterContext context;
        filters::Perspektive(p.image.get(), p.copy.get(), 70, true, true, context);
        filters::Perspektive(p.image.get(), p.copy.get(), 70, false, false, context);
        filters::Woelben(p.image.get(), p.copy.get(), true, 2.0, true, context);
        EXPECT_TRUE(identical(p.image.get(), p.copy.get())) << bc;
    }
}

TEST(GeometryPerspective, FullStrengthSqueezesTheRightColumnIntoTheCentreRow)
{
    const uint32_t background = 0x00ABCDEF;
    InPlace p(testutil::patternImage(9, 11, 24, 12));
    filters::FilterContext context;
    context.Col2 = background;
    std::vector<int> reported;
    context.progress = [&reported](int percent) { reported.push_back(percent); };
    filters::Perspektive(p.image.get(), p.copy.get(), 100, true, true, context);
    for (int y = 0; y < 11; ++y) {
        // The column's last pixel is the last written to the centre row.
        const uint32_t expected = y == 5 ? getpixel(p.copy.get(), 8, 10) : background;
        EXPECT_EQ(getpixel(p.image.get(), 8, y), expected) << y;
    }
    // The left column stays as it was.
    for (int y = 0; y < 11; ++y)
        EXPECT_EQ(getpixel(p.image.get(), 0, y), getpixel(p.copy.get(), 0, y));
    ASSERT_FALSE(reported.empty());
    EXPECT_EQ(reported.back(), 0);
    EXPECT_GE(*std::max_element(reported.begin(), reported.end()), 90);
    EXPECT_TRUE(std::is_sorted(reported.begin(), reported.end() - 1));
}

TEST(GeometryPerspective, SkewShiftsRowsAndSelectionsLimitTheChange)
{
    // 4 x 4, strength 50: s = 2, x' = x + 1 - (2y div 4): rows 0 and 1
    // move one pixel right, rows 2 and 3 stay.
    const uint32_t background = 0x00010203;
    InPlace p(testutil::patternImage(4, 4, 24, 13));
    filters::FilterContext context;
    context.Col2 = background;
    filters::Perspektive(p.image.get(), p.copy.get(), 50, true, false, context);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            const uint32_t expected =
                y < 2 ? (x == 0 ? background : getpixel(p.copy.get(), x - 1, y)) : getpixel(p.copy.get(), x, y);
            EXPECT_EQ(getpixel(p.image.get(), x, y), expected) << x << ", " << y;
        }

    // Vertical skew by -50: y' = y - 1 + (2x div 4); selected are columns 0
    // and 1 only, the rest keeps its pixels.
    InPlace q(testutil::patternImage(4, 4, 24, 14));
    DibGuard mask(testutil::solidImage(4, 4, 0, 1));
    recht_filled(mask.get(), 0, 0, 1, 3, 1);
    context.selection.HasSelection = true;
    context.selection.SelMask = mask.get();
    context.selection.SelRight = 1;
    context.selection.SelBottom = 3;
    filters::Perspektive(q.image.get(), q.copy.get(), -50, false, false, context);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            uint32_t expected = getpixel(q.copy.get(), x, y);
            if (x < 2)
                expected = y == 3 ? background : getpixel(q.copy.get(), x, y + 1);
            EXPECT_EQ(getpixel(q.image.get(), x, y), expected) << x << ", " << y;
        }
}

TEST(GeometryPerspective, StrengthsBeyondTheDialogStayInsideThePicture)
{
    // The dialog stops at -100..100; beyond, mirrored rows would land off
    // the picture and are dropped.
    for (const int strength : {250, -250, 1000}) {
        for (const bool horizontal : {true, false}) {
            for (const bool perspective : {true, false}) {
                InPlace p(testutil::patternImage(7, 5, 24, 15));
                filters::FilterContext context;
                context.Col2 = 0x000000FF;
                filters::Perspektive(p.image.get(), p.copy.get(), strength, horizontal, perspective, context);
                EXPECT_TRUE(p.image);
            }
        }
    }
    InPlace p(testutil::patternImage(7, 5, 24, 15));
    filters::FilterContext context;
    filters::Perspektive(p.image.get(), p.copy.get(), 250, true, true, context);
    // Column 6: u = 250, y' = -150 * (y - 2) div 100 + 2: only y = 2 lands.
    EXPECT_EQ(getpixel(p.image.get(), 6, 2), getpixel(p.copy.get(), 6, 2));
    EXPECT_EQ(getpixel(p.image.get(), 6, 3), getpixel(p.copy.get(), 6, 1));
    EXPECT_EQ(getpixel(p.image.get(), 6, 0), 0u);
}

TEST(GeometryBulge, ColumnsFollowThePowerCurveAndOnePixelAxesStay)
{
    // 9 wide, cx = 4, exponent 2: sx = 4 +- trunc(4 * (d / 4)^2).
    InPlace p(testutil::patternImage(9, 3, 24, 16));
    filters::FilterContext context;
    filters::Woelben(p.image.get(), p.copy.get(), true, 2.0, false, context);
    const int sources[9] = {0, 2, 3, 4, 4, 4, 5, 6, 8};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 9; ++x)
            EXPECT_EQ(getpixel(p.image.get(), x, y), getpixel(p.copy.get(), sources[x], y)) << x << ", " << y;

    // 1 x 9: the one-pixel axis is left alone, the other still bulges.
    InPlace both(testutil::patternImage(1, 9, 24, 17));
    InPlace vertical(testutil::patternImage(1, 9, 24, 17));
    filters::Woelben(both.image.get(), both.copy.get(), true, 2.0, true, context);
    filters::Woelben(vertical.image.get(), vertical.copy.get(), false, 2.0, true, context);
    EXPECT_TRUE(identical(both.image.get(), vertical.image.get()));
    for (int y = 0; y < 9; ++y)
        EXPECT_EQ(getpixel(both.image.get(), 0, y), getpixel(both.copy.get(), 0, sources[y])) << y;
    InPlace flat(testutil::patternImage(9, 1, 24, 18));
    filters::Woelben(flat.image.get(), flat.copy.get(), false, 3.0, true, context);
    EXPECT_TRUE(identical(flat.image.get(), flat.copy.get()));

    // Exponents the dialog never sends stay inside the picture.
    for (const double e : {0.0, -1.0, std::nan("")}) {
        InPlace odd(testutil::patternImage(6, 6, 24, 19));
        filters::Woelben(odd.image.get(), odd.copy.get(), true, e, true, context);
        EXPECT_TRUE(odd.image);
    }
}

TEST(GeometryBulge, OnlySelectedPixelsChange)
{
    InPlace p(testutil::patternImage(9, 9, 24, 20));
    DibGuard mask(testutil::solidImage(9, 9, 0, 1));
    recht_filled(mask.get(), 0, 0, 3, 8, 1);
    filters::FilterContext context;
    context.selection = {true, mask.get(), 0, 0, 3, 8};
    filters::Woelben(p.image.get(), p.copy.get(), true, 2.0, true, context);
    const int sources[9] = {0, 2, 3, 4, 4, 4, 5, 6, 8};
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 9; ++x) {
            const uint32_t expected =
                x <= 3 ? getpixel(p.copy.get(), sources[x], sources[y]) : getpixel(p.copy.get(), x, y);
            EXPECT_EQ(getpixel(p.image.get(), x, y), expected) << x << ", " << y;
        }
}

