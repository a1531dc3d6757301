// Colour reduction of 24-bit pictures: exact for pictures with few colours,
// and for photo-like pictures a palette fitted to the picture that beats a
// fixed uniform one by far, with every pixel on its nearest entry.

#include "raster/codec.h"
#include "raster/codecs/quantize.h"
#include "raster/rasterio.h"
#include "tests/testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

using namespace raster;

namespace {

// Smooth colour waves with a little grain, like a photo: many thousand
// colours.
TDibRecord photo(int width, int height)
{
    TDibRecord dib;
    newdib(&dib, width, height, 24, nullptr, 0);
    uint32_t s = 12345;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            s = s * 1103515245u + 12345u;
            const int grain = int((s >> 16) % 7) - 3;
            auto channel = [&](double v) { return uint32_t(std::clamp(int(std::lround(v)) + grain, 0, 255)); };
            const double wave = std::sin(x / 13.0 + std::sin(y / 17.0));
            const uint32_t r = channel(128 + 110 * wave);
            const uint32_t g = channel(100 + 60 * wave + 50 * std::sin(y / 11.0 + x / 29.0));
            const uint32_t b = channel(60 + 150.0 * (x + y) / (width + height) + 20 * std::cos(x * y / 300.0));
            setpixel(dib, x, y, r | g << 8 | b << 16);
        }
    }
    return dib;
}

size_t distinctColours(const TDibRecord& dib)
{
    const auto rgb = testutil::rgbPixels(dib);
    std::set<uint32_t> colours;
    for (size_t i = 0; i < rgb.size(); i += 3)
        colours.insert(uint32_t(rgb[i]) << 16 | uint32_t(rgb[i + 1]) << 8 | rgb[i + 2]);
    return colours.size();
}

int distance(const uint8_t* a, const RGBQUAD& q)
{
    const int dr = a[0] - q.rgbRed, dg = a[1] - q.rgbGreen, db = a[2] - q.rgbBlue;
    return dr * dr + dg * dg + db * db;
}

// Mean absolute channel difference between two pictures of the same size.
double meanError(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b)
{
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i)
        sum += std::abs(int(a[i]) - int(b[i]));
    return sum / double(a.size());
}

} // namespace

TEST(Quantize, PicturesWithFewColoursKeepThemExactly)
{
    struct Case {
        int width, height, paletteBits; // the 24-bit picture is a palette picture's colours
        int maxColours;
    };
    const Case cases[] = {{37, 23, 8, 256}, {1, 1, 1, 256}, {64, 3, 1, 2}, {31, 17, 4, 16}, {29, 31, 4, 256}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " from " << c.paletteBits << " bits, at most "
                                        << c.maxColours);
        DibGuard palette(testutil::patternImage(c.width, c.height, c.paletteBits, 7));
        DibGuard picture;
        ASSERT_EQ(convertTo24(palette.get(), picture), ImageError::None);
        const size_t colours = distinctColours(picture.get());
        ASSERT_LE(colours, size_t(c.maxColours));

        const DibGuard reduced = quantizeColours(picture.get(), c.maxColours);
        ASSERT_TRUE(reduced);
        ASSERT_EQ(DibBitCount(reduced.get()), 8);
        EXPECT_TRUE(testutil::samePixels(reduced.get(), picture.get()));
        // The colours in ascending order, then black.
        const RGBQUAD* table = DibColors(reduced.get());
        for (size_t i = 0; i < 256; ++i) {
            const uint32_t key = uint32_t(table[i].rgbRed) << 16 | uint32_t(table[i].rgbGreen) << 8 | table[i].rgbBlue;
            if (i + 1 < colours) {
                const RGBQUAD n = table[i + 1];
                EXPECT_LT(key, uint32_t(n.rgbRed) << 16 | uint32_t(n.rgbGreen) << 8 | n.rgbBlue) << i;
            } else if (i >= colours) {
                EXPECT_EQ(key, 0u) << i;
            }
        }
    }
}

TEST(Quantize, PhotoLikePicturesGetAFittedPalette)
{
    DibGuard picture(photo(160, 120));
    ASSERT_GT(distinctColours(picture.get()), 5000u);
    const auto original = testutil::rgbPixels(picture.get());

    const DibGuard reduced = quantizeColours(picture.get());
    ASSERT_TRUE(reduced);
    ASSERT_EQ(DibBitCount(reduced.get()), 8);
    EXPECT_GE(distinctColours(reduced.get()), 200u);

    // Every pixel is on one of its nearest entries.
    const RGBQUAD* table = DibColors(reduced.get());
    const int w = DibWidth(picture.get());
    for (int y = 0; y < DibHeight(picture.get()); ++y) {
        for (int x = 0; x < w; ++x) {
            const uint8_t* rgb = &original[(size_t(y) * w + x) * 3];
            int best = INT32_MAX;
            for (int i = 0; i < 256; ++i)
                best = std::min(best, distance(rgb, table[i]));
            ASSERT_EQ(distance(rgb, table[getpixel(reduced.get(), x, y)]), best) << x << "," << y;
        }
    }

    // A uniform 6 x 6 x 6 palette, each pixel on its nearest entry, does
    // far worse.
    std::vector<uint8_t> uniform(original.size());
    for (size_t i = 0; i < original.size(); ++i)
        uniform[i] = uint8_t((original[i] + 25) / 51 * 51);
    const double fitted = meanError(testutil::rgbPixels(reduced.get()), original);
    const double fixed = meanError(uniform, original);
    EXPECT_LT(fitted, 0.4 * fixed) << "fitted " << fitted << ", uniform " << fixed;
    EXPECT_LT(fitted, 6.0);
}

TEST(Quantize, FewerColoursAndWrongInputs)
{
    DibGuard picture(photo(90, 70));
    const DibGuard sixteen = quantizeColours(picture.get(), 16);
    ASSERT_TRUE(sixteen);
    const size_t used = distinctColours(sixteen.get());
    EXPECT_GE(used, 12u);
    EXPECT_LE(used, 16u);
    for (int i = 16; i < 256; ++i) {
        const RGBQUAD q = DibColors(sixteen.get())[i];
        EXPECT_EQ(q.rgbRed | q.rgbGreen | q.rgbBlue, 0) << i;
    }
    // Only 24-bit pictures are reduced.
    DibGuard palette(testutil::patternImage(10, 10, 8));
    EXPECT_FALSE(quantizeColours(palette.get()));
    EXPECT_FALSE(quantizeColours(TDibRecord{}));
}
