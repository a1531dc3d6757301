#include "filters/convolve.h"
#include "filters/messages.h"
#include "platform/msgbox.h"
#include "platform/palette.h"
#include "raster/rasterio.h"
#include "tests/testutil.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

using namespace raster;
using namespace filters;

namespace {

// A grey 24-bit picture from values row by row from the top.
DibGuard grey24(int w, int h, const std::vector<int>& values)
{
    DibGuard dib;
    newdib(dib.out(), w, h, 24, nullptr, 0);
    for (int i = 0; i < w * h; ++i)
        setpixel(dib.get(), i % w, i / w, platform::RGB(uint8_t(values[size_t(i)]), uint8_t(values[size_t(i)]),
                                                        uint8_t(values[size_t(i)])));
    return dib;
}

std::vector<int> redValues(const TDibRecord& dib)
{
    std::vector<int> out;
    const auto rgb = testutil::rgbPixels(dib);
    for (size_t i = 0; i < rgb.size(); i += 3)
        out.push_back(rgb[i]);
    return out;
}

TFilterRecord singleTap(int r, int c, int32_t weight, int32_t divisor, int32_t bias)
{
    TFilterRecord rec;
    rec.Divisor = divisor;
    rec.Bias = bias;
    rec.set(r, c, weight);
    return rec;
}

// The plain per-pixel convolution the fast rows must agree with: pixels
// outside the picture are its nearest edge pixel, sums are exact, division
// truncates toward zero; unselected pixels keep their colour.
std::vector<uint8_t> referenceFilter(const TDibRecord& image, const TFilterRecord& rec, const Selection& selection)
{
    const int w = DibWidth(image), h = DibHeight(image);
    std::vector<uint8_t> out = testutil::rgbPixels(image);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (selection.HasSelection && getpixel(selection.SelMask, x, y) != 1)
                continue;
            for (int ch = 0; ch < 3; ++ch) {
                int64_t sum = 0;
                for (int r = 0; r < 5; ++r) {
                    for (int c = 0; c < 5; ++c) {
                        const uint32_t v =
                            getpixel(image, std::clamp(x + c - 2, 0, w - 1), std::clamp(y + r - 2, 0, h - 1));
                        sum += int64_t(rec.at(r, c)) * int64_t((v >> (8 * ch)) & 0xFF);
                    }
                }
                out[size_t(y * w + x) * 3 + size_t(ch)] =
                    uint8_t(std::clamp<int64_t>(sum / rec.Divisor + rec.Bias, 0, 255));
            }
        }
    }
    return out;
}

// A random mask with its bounding box; every fourth one selects nothing.
void randomSelection(std::mt19937& rng, int w, int h, DibGuard& mask, Selection& selection)
{
    newdib(mask.out(), w, h, 1, nullptr, 0);
    const int density = int(rng() % 4);
    int left = w, top = h, right = -1, bottom = -1;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (density == 0 || int(rng() % 4) >= density)
                continue;
            setpixel(mask.get(), x, y, 1);
            left = std::min(left, x);
            top = std::min(top, y);
            right = std::max(right, x);
            bottom = std::max(bottom, y);
        }
    }
    selection.HasSelection = true;
    selection.SelMask = mask.get();
    selection.SelLeft = left;
    selection.SelTop = top;
    selection.SelRight = right;
    selection.SelBottom = bottom;
}

std::vector<TFilterRecord> kernelsToCompare(std::mt19937& rng)
{
    std::vector<TFilterRecord> kernels;
    for (const auto& f : builtInFilters())
        kernels.push_back(f.record);
    for (const auto& e : retouchEffects())
        kernels.push_back(e);
    auto pick = [&rng](int lo, int hi) { return int(lo + int64_t(rng() % uint64_t(int64_t(hi) - lo + 1))); };
    auto nonZero = [&pick](int lo, int hi) {
        int v = 0;
        while (v == 0)
            v = pick(lo, hi);
        return v;
    };
    // Weights by range: small ones, ones needing 32-bit sums, ones needing
    // more; boxes of one weight; 3 x 3 centres.
    const int ranges[][2] = {{-3, 3}, {-2000, 2000}, {-(1 << 30), 1 << 30}};
    for (int round = 0; round < 6; ++round) {
        for (const auto& range : ranges) {
            TFilterRecord rec;
            for (int32_t& v : rec.Matrix)
                v = pick(range[0], range[1]);
            rec.Divisor = nonZero(-300, 300);
            rec.Bias = pick(-300, 300);
            kernels.push_back(rec);
            TFilterRecord centre = rec;
            for (int r = 0; r < 5; ++r) {
                for (int c = 0; c < 5; ++c) {
                    if (r == 0 || r == 4 || c == 0 || c == 4)
                        centre.set(r, c, 0);
                }
            }
            kernels.push_back(centre);
        }
        for (const int size : {3, 5}) {
            TFilterRecord box;
            const int32_t weight = round == 5 ? (1 << 24) : nonZero(-5, 5);
            for (int r = 0; r < 5; ++r) {
                for (int c = 0; c < 5; ++c) {
                    const bool inside = size == 5 || (r >= 1 && r <= 3 && c >= 1 && c <= 3);
                    box.set(r, c, inside ? weight : 0);
                }
            }
            box.Divisor = nonZero(-60, 60);
            box.Bias = pick(-100, 100);
            kernels.push_back(box);
        }
    }
    return kernels;
}

} // namespace

TEST(Convolve, AgreesWithThePlainPerPixelConvolution)
{
    std::mt19937 rng(7);
    const auto kernels = kernelsToCompare(rng);
    const int sizes[][2] = {{1, 1}, {1, 7}, {7, 1}, {2, 3}, {5, 5}, {17, 9}, {33, 4}, {40, 23}};
    int seed = 1;
    for (const auto& size : sizes) {
        for (size_t k = 0; k < kernels.size(); ++k) {
            DibGuard image(testutil::patternImage(size[0], size[1], 24, uint32_t(seed++)));
            DibGuard mask;
            FilterContext context;
            if (rng() % 2)
                randomSelection(rng, size[0], size[1], mask, context.selection);
            const auto expected = referenceFilter(image.get(), kernels[k], context.selection);
            ASSERT_EQ(DibFilter(image.get(), kernels[k], context), FilterOutcome::Filtered);
            ASSERT_EQ(testutil::rgbPixels(image.get()), expected)
                << size[0] << "x" << size[1] << ", kernel " << k
                << (context.selection.HasSelection ? ", with selection" : "");
        }
    }
}

TEST(Convolve, UniformPicturesUnderEveryMenuCommand)
{
    enum Expect { Unchanged, Black, Grey128, White };
    const std::pair<const char*, Expect> cases[] = {
        {"Eckenhervorheben1", Unchanged}, {"Eckenfinden1", Black},       {"HorizontaleEckenfinden1", Black},
        {"VertikaleEckenfinden1", Black}, {"Konturenzeichnen1", White},  {"SchwachWeichzeichnen1", Unchanged},
        {"Soften1", Unchanged},           {"StarkSoften1", Unchanged},   {"Sharpen1", Unchanged},
        {"StarkSchrfen1", Unchanged},     {"Emboss1", Grey128},          {"EmbossVertikal1", Grey128},
    };
    ASSERT_EQ(builtInFilters().size(), std::size(cases));
    for (const auto& [item, expect] : cases) {
        const BuiltInFilter* filter = findBuiltInFilter(QString::fromLatin1(item));
        ASSERT_NE(filter, nullptr) << item;
        DibGuard image(testutil::solidImage(9, 7, platform::RGB(37, 128, 250)));
        DibGuard want;
        switch (expect) {
        case Unchanged: want.reset(testutil::solidImage(9, 7, platform::RGB(37, 128, 250))); break;
        case Black: want.reset(testutil::solidImage(9, 7, platform::RGB(0, 0, 0))); break;
        case Grey128: want.reset(testutil::solidImage(9, 7, platform::RGB(128, 128, 128))); break;
        case White: want.reset(testutil::solidImage(9, 7, platform::RGB(255, 255, 255))); break;
        }
        EXPECT_EQ(applyBuiltInFilter(image.get(), *filter, {}), FilterOutcome::Filtered) << item;
        EXPECT_TRUE(testutil::samePixels(image.get(), want.get())) << item;
    }
}

TEST(Convolve, EdgeCommandsRespondAcrossTheirEdge)
{
    // Dark left / bright right and dark top / bright bottom, 6 x 6: the
    // horizontal command lights the two columns at the edge, the vertical one
    // the two rows, and neither reacts to the other direction.
    std::vector<int> leftRight, topBottom;
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 6; ++x) {
            leftRight.push_back(x < 3 ? 0 : 200);
            topBottom.push_back(y < 3 ? 0 : 200);
        }
    }
    struct Case {
        const char* item;
        const std::vector<int>* picture;
        bool byColumn; // the lit pixels are columns 2 and 3 (else rows 2 and 3)
        bool lit;
    };
    const Case cases[] = {
        {"HorizontaleEckenfinden1", &leftRight, true, true},
        {"HorizontaleEckenfinden1", &topBottom, false, false},
        {"VertikaleEckenfinden1", &topBottom, false, true},
        {"VertikaleEckenfinden1", &leftRight, true, false},
    };
    for (const auto& c : cases) {
        DibGuard image = grey24(6, 6, *c.picture);
        DibFilter(image.get(), findBuiltInFilter(QString::fromLatin1(c.item))->record, {});
        const auto got = redValues(image.get());
        for (int i = 0; i < 36; ++i) {
            const int along = c.byColumn ? i % 6 : i / 6;
            const bool edge = c.lit && (along == 2 || along == 3);
            EXPECT_EQ(got[size_t(i)], edge ? 255 : 0) << c.item << " pixel " << i;
        }
    }
}

TEST(Convolve, SingleTapsShiftThePictureWithReplicatedEdges)
{
    const int taps[][2] = {{0, 0}, {0, 4}, {4, 0}, {4, 4}, {2, 0}, {0, 2}, {2, 2}, {3, 1}};
    DibGuard source(testutil::patternImage(6, 5, 24, 3));
    for (const auto& tap : taps) {
        DibGuard image(MakeDIBCopy(source.get()));
        DibFilter(image.get(), singleTap(tap[0], tap[1], 1, 1, 0), {});
        for (int y = 0; y < 5; ++y) {
            for (int x = 0; x < 6; ++x) {
                const uint32_t want =
                    getpixel(source.get(), std::clamp(x + tap[1] - 2, 0, 5), std::clamp(y + tap[0] - 2, 0, 4));
                ASSERT_EQ(getpixel(image.get(), x, y), want)
                    << "tap row " << tap[0] << " col " << tap[1] << " at " << x << "," << y;
            }
        }
    }
}

TEST(Convolve, DivisionTruncatesTowardZeroBeforeTheBias)
{
    struct Case {
        int value;
        int32_t weight, divisor, bias;
        int expected;
    };
    const Case cases[] = {
        {1, -7, 2, 10, 7},                 // -7 div 2 = -3, not -4
        {1, 7, -2, 10, 7},                 // 7 div -2 = -3
        {100, 3, 2, 0, 150},
        {3, 1, 1, -1000, 0},               // clamped below
        {3, 1, 1, 1000, 255},              // clamped above
        {0, 1, 1, INT32_MAX, 255},         // the bias cannot overflow
        {255, 1 << 30, 1, 0, 255},         // nor can the sum
        {200, -(1 << 30), -1, -100, 255},
    };
    for (const auto& c : cases) {
        DibGuard image(testutil::solidImage(3, 3, platform::RGB(uint8_t(c.value), uint8_t(c.value), uint8_t(c.value))));
        DibFilter(image.get(), singleTap(2, 2, c.weight, c.divisor, c.bias), {});
        EXPECT_EQ(getpixel(image.get(), 1, 1), platform::RGB(uint8_t(c.expected), uint8_t(c.expected),
                                                              uint8_t(c.expected)))
            << c.value << " * " << c.weight << " div " << c.divisor << " + " << c.bias;
    }
}

TEST(Convolve, SelectedPixelsReadUnfilteredNeighbours)
{
    // The tap reads the left neighbour. Pixels 2..4 are selected: each takes
    // its neighbour's old value, pixels 0, 1 and 5 stay.
    DibGuard image = grey24(6, 1, {10, 20, 30, 40, 50, 60});
    DibGuard mask;
    newdib(mask.out(), 6, 1, 1, nullptr, 0);
    for (int x = 2; x <= 4; ++x)
        setpixel(mask.get(), x, 0, 1);
    FilterContext context;
    context.selection = {true, mask.get(), 2, 0, 4, 0};
    DibFilter(image.get(), singleTap(2, 1, 1, 1, 0), context);
    EXPECT_EQ(redValues(image.get()), (std::vector<int>{10, 20, 20, 30, 40, 60}));
}

TEST(Convolve, PalettePicturesKeepTheirPixels)
{
    for (const int bits : {1, 4, 8}) {
        for (const auto& filter : builtInFilters()) {
            DibGuard image(testutil::patternImage(7, 5, bits, 4));
            DibGuard before(MakeDIBCopy(image.get()));
            EXPECT_EQ(applyBuiltInFilter(image.get(), filter, {}), FilterOutcome::NotFiltered);
            // "&Konturen zeichnen" still inverts: the colours of 4 and 8 bits,
            // the pixel bits of 1 bit.
            const bool flipped = filter.invertAfter && bits == 1;
            for (uint32_t i = 0; i < DibSizeImage(image.get()); ++i)
                ASSERT_EQ(image->Bits[i], flipped ? uint8_t(~before->Bits[i]) : before->Bits[i])
                    << filter.item << " " << bits << " byte " << i;
            const int n = DibColorCount(image.get());
            const bool inverted = filter.invertAfter && bits > 1;
            for (int i = 0; i < n; ++i) {
                const RGBQUAD was = before->Info->bmiColors[i], now = image->Info->bmiColors[i];
                const int k = inverted ? 255 : 0;
                ASSERT_EQ(now.rgbRed, std::abs(k - was.rgbRed)) << filter.item << " " << bits << " entry " << i;
                ASSERT_EQ(now.rgbBlue, std::abs(k - was.rgbBlue));
                ASSERT_EQ(image->LogPal.palPalEntry[i].peRed, now.rgbRed);
                ASSERT_EQ(image->LogPal.palPalEntry[i].peGreen, now.rgbGreen);
                // The handle is made from the new colours.
                ASSERT_EQ(image->Palette->entries[size_t(i)].peRed, now.rgbRed);
            }
        }
    }
}

TEST(Convolve, RefusedAndFailedFiltersLeaveThePicture)
{
    platform::MessageBoxScript script;
    DibGuard image(testutil::patternImage(10, 10, 24, 5));
    DibGuard before(MakeDIBCopy(image.get()));

    EXPECT_EQ(DibFilter(image.get(), singleTap(2, 2, 1, 0, 0), {}), FilterOutcome::DivisorZero);
    EXPECT_TRUE(testutil::samePixels(image.get(), before.get()));
    EXPECT_TRUE(script.shown().empty());

    // Room for the picture but not for its work copy.
    const FilterOutcome outcome = [&] {
        const testutil::AllocationLimit limit(DibSizeImage(image.get()) + 64);
        return DibFilter(image.get(), findBuiltInFilter("Soften1")->record, {});
    }();
    EXPECT_EQ(outcome, FilterOutcome::NoMemory);
    EXPECT_TRUE(testutil::samePixels(image.get(), before.get()));
    EXPECT_TRUE(script.shown().empty()); // the caller tells
    show(messagesFor(outcome));
    ASSERT_EQ(script.shown().size(), 1u);
    EXPECT_EQ(script.shown()[0].text, QStringLiteral("Fehler: Nicht genügent Speicher für diese Aktion!"));
    EXPECT_EQ(script.shown()[0].caption, QStringLiteral("Fehler"));
    EXPECT_EQ(script.shown()[0].icon, platform::MsgIcon::Error);
}

TEST(Convolve, PaddedCopyReplicatesTwoPixelsOnEverySide)
{
    for (const int bits : {1, 4, 8, 24}) {
        DibGuard image(testutil::patternImage(5, 3, bits, 6));
        DibGuard work;
        ASSERT_TRUE(makePaddedCopy(image.get(), work));
        ASSERT_EQ(DibWidth(work.get()), 9);
        ASSERT_EQ(DibHeight(work.get()), 7);
        for (int y = 0; y < 7; ++y) {
            for (int x = 0; x < 9; ++x) {
                ASSERT_EQ(getpixel(work.get(), x, y),
                          getpixel(image.get(), std::clamp(x - 2, 0, 4), std::clamp(y - 2, 0, 2)))
                    << bits << " bits at " << x << "," << y;
            }
        }
    }
}

TEST(Convolve, ProgressRunsFromZeroToZero)
{
    std::vector<int> seen;
    FilterContext context;
    context.progress = [&seen](int p) { seen.push_back(p); };
    DibGuard image(testutil::patternImage(8, 50, 24, 2));
    DibFilter(image.get(), findBuiltInFilter("Sharpen1")->record, context);
    ASSERT_GE(seen.size(), 3u);
    EXPECT_EQ(seen.front(), 0);
    EXPECT_EQ(seen.back(), 0);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), 100), 2); // rows copied, rows filtered
    EXPECT_TRUE(std::all_of(seen.begin(), seen.end(), [](int p) { return p >= 0 && p <= 100; }));
}

