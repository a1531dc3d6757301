#include "raster/drawdib.h"

#include "platform/msgbox.h"
#include "platform/palette.h"
#include "raster/dibguard.h"
#include "raster/halftone.h"
#include "raster/rasterio.h"
#include "raster/testhooks.h"
#include "tests/recordingdc.h"
#include "tests/testutil.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

using namespace raster;
using platform::COLORREF;
using testutil::RecordingDC;
using Call = testutil::RecordingDC::Call;

namespace {

constexpr COLORREF kBackground = platform::RGB(7, 77, 177);
constexpr int kAllCaps = platform::RC_BITBLT | platform::RC_DIBTODEV | platform::RC_STRETCHBLT |
                         platform::RC_STRETCHDIB;

COLORREF colourAt(const std::vector<uint8_t>& rgb, int width, int x, int y)
{
    const size_t i = 3 * (size_t(y) * size_t(width) + size_t(x));
    return platform::RGB(rgb[i], rgb[i + 1], rgb[i + 2]);
}

// A destination rectangle and the source rectangle drawn into it; srcTop
// counts from the picture's top row.
struct Mapping {
    int x, y, w, h;
    int srcX, srcTop, srcW, srcH;
};

// Checks every canvas pixel against the nearest-neighbour rule: column i of
// the destination shows source column srcX + srcW*i/w, rows alike; pixels
// outside the destination keep the background.
void expectNearest(platform::GdiBitmap& canvas, const TDibRecord& image, const Mapping& m, const char* what)
{
    const auto rgb = testutil::rgbPixels(image);
    const int width = DibWidth(image);
    for (int cy = 0; cy < canvas.height(); ++cy) {
        for (int cx = 0; cx < canvas.width(); ++cx) {
            COLORREF want = kBackground;
            if (cx >= m.x && cx < m.x + m.w && cy >= m.y && cy < m.y + m.h) {
                want = colourAt(rgb, width, m.srcX + m.srcW * (cx - m.x) / m.w,
                                m.srcTop + m.srcH * (cy - m.y) / m.h);
            }
            ASSERT_EQ(canvas.pixel(cx, cy), want) << what << " at " << cx << "," << cy;
        }
    }
}

struct Rect {
    int x, y, w, h;
    int srcX, srcY, srcW, srcH; // srcY: bottom edge counted from the bottom row
};

} // namespace

// A picture of 10 x 8 pixels drawn with source rectangles reaching past
// each edge: the clipped rectangles the stretched transfer receives, and the
// pixels every drawing path puts on a bitmap.
TEST(DrawDib, SourceBeyondThePictureIsClippedWithTheDestinationScaled)
{
    struct Case {
        const char* name;
        Rect asked;
        Rect clipped; // as the transfer receives it; w 0: nothing drawn
    };
    const Case cases[] = {
        {"inside", {1, 2, 20, 16, 0, 0, 10, 8}, {1, 2, 20, 16, 0, 0, 10, 8}},
        // Half the width beyond the right edge: 7.5 rounds to 8, 6.5 to 6.
        {"right, half up to even", {0, 0, 15, 8, 5, 0, 10, 8}, {0, 0, 8, 8, 5, 0, 5, 8}},
        {"right, half down to even", {0, 0, 13, 8, 5, 0, 10, 8}, {0, 0, 6, 8, 5, 0, 5, 8}},
        // Ten rows below the bottom of 18: 16 rows into 32, top edge kept.
        {"bottom", {2, 1, 9, 36, 2, -10, 4, 18}, {2, 1, 9, 16, 2, 0, 4, 8}},
        // Reaching past the top by half: the destination's top moves down.
        {"top, 12.5 to 12", {0, 3, 6, 25, 0, 4, 5, 8}, {0, 16, 6, 12, 0, 4, 5, 4}},
        {"left", {4, 0, 5, 8, -3, 0, 10, 8}, {5, 0, 4, 8, 0, 0, 7, 8}},
        {"every edge", {3, 2, 24, 24, -2, -2, 12, 12}, {7, 6, 20, 16, 0, 0, 10, 8}},
        {"all to the right", {0, 0, 10, 8, 10, 0, 4, 8}, {0, 0, 0, 0, 0, 0, 0, 0}},
        {"all below", {0, 0, 10, 8, 0, -8, 10, 8}, {0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Rect& a = c.asked;
        const Rect& k = c.clipped;
        const Mapping expected{k.x, k.y, k.w, k.h, k.srcX, 8 - k.srcY - k.srcH, k.srcW, k.srcH};

        DibGuard four(testutil::patternImage(10, 8, 4, 21));
        RecordingDC recorder(platform::DT_RASDISPLAY, 32, kAllCaps);
        DrawDib(&recorder, a.x, a.y, a.w, a.h, four.get(), a.srcX, a.srcY, a.srcW, a.srcH, false, platform::SRCCOPY,
                true, nullptr);
        if (k.w == 0) {
            EXPECT_TRUE(recorder.records().empty());
        } else {
            ASSERT_EQ(recorder.count(Call::StretchDIBits), 1);
            const auto& r = recorder.records().front();
            EXPECT_EQ(r.width, k.w);
            EXPECT_EQ(r.x, k.x);
            EXPECT_EQ(r.y, k.y);
            EXPECT_EQ(r.height, k.h);
            EXPECT_EQ(r.srcX, k.srcX);
            EXPECT_EQ(r.srcY, k.srcY);
            EXPECT_EQ(r.srcWidth, k.srcW);
            EXPECT_EQ(r.srcHeight, k.srcH);
        }

        // The same rectangles on a bitmap, through every path.
        for (int bitCount : {1, 4, 8, 24}) {
            DibGuard image(testutil::patternImage(10, 8, bitCount, 21));
            platform::GdiBitmap canvas(32, 40);
            canvas.fill(kBackground);
            platform::BitmapDC dc(&canvas);
            DrawDib(&dc, a.x, a.y, a.w, a.h, image.get(), a.srcX, a.srcY, a.srcW, a.srcH, true, platform::SRCCOPY,
                    true, nullptr);
            expectNearest(canvas, image.get(), k.w ? expected : Mapping{0, 0, 0, 0, 0, 0, 1, 1},
                          bitCount == 24 ? "24" : bitCount == 8 ? "8" : bitCount == 4 ? "4" : "1");
        }
    }
}

// Which transfer each kind of picture takes on each kind of device, and the
// palette selected while it runs.
TEST(DrawDib, EachPictureTakesItsPathAndPalette)
{
    struct Case {
        int bitCount;
        int technology;
        int bitsPerPixel;
        bool halftone;
        bool useOwnPalette;
        Call transfer;
        int transfers;        // 8 rows drawn at 16 x 8
        int transferredBits;  // depth of the DIB handed to the device
        bool callersPalette;  // the palette argument selected during the transfer
    };
    constexpr int P = platform::DT_RASPRINTER, D = platform::DT_RASDISPLAY;
    const Case cases[] = {
        {24, D, 32, true, true, Call::SetDIBitsToDevice, 8, 24, false},
        {8, D, 32, true, true, Call::SetDIBitsToDevice, 8, 8, false},
        {8, D, 32, true, false, Call::SetDIBitsToDevice, 8, 8, true},
        {8, D, 8, true, true, Call::SetDIBitsToDevice, 8, 8, false},
        {24, D, 8, false, true, Call::SetDIBitsToDevice, 8, 24, false},
        {4, D, 32, true, true, Call::StretchDIBits, 1, 4, false},
        {1, D, 32, true, false, Call::StretchDIBits, 1, 1, true},
        {24, P, 24, false, true, Call::StretchDIBits, 1, 24, false},
        {8, P, 24, false, true, Call::StretchDIBits, 1, 8, false},
        {24, D, 8, true, false, Call::StretchDIBits, 1, 8, true},
    };
    platform::LOGPALETTE256 log{};
    log.palNumEntries = 2;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bitCount << " bits, technology " << c.technology << ", "
                                        << c.bitsPerPixel << " bits per pixel, halftone " << c.halftone);
        DibGuard image(testutil::patternImage(8, 4, c.bitCount, 5));
        HPALETTE callers = platform::CreatePalette(log);
        HPALETTE entry = platform::CreatePalette(log);
        RecordingDC dc(c.technology, c.bitsPerPixel, kAllCaps);
        platform::SelectPalette(&dc, entry, false);
        DrawDib(&dc, 0, 0, 16, 8, image.get(), 0, 0, 8, 4, c.halftone, platform::SRCINVERT, c.useOwnPalette,
                callers);

        EXPECT_EQ(dc.count(c.transfer), c.transfers);
        EXPECT_EQ(dc.count(Call::StretchDIBits) + dc.count(Call::SetDIBitsToDevice), c.transfers)
            << "no other transfer";
        for (const auto& r : dc.records()) {
            EXPECT_EQ(r.bitCount, c.transferredBits);
            if (r.call == Call::StretchDIBits) {
                EXPECT_EQ(r.rop, platform::SRCINVERT);
            }
            if (c.callersPalette) {
                EXPECT_EQ(r.palette, callers);
            } else if (c.bitCount <= 8) {
                EXPECT_EQ(r.palette, image->Palette);
            } else if (c.transfer == Call::SetDIBitsToDevice) {
                EXPECT_EQ(r.palette, entry) << "a 24-bit picture selects no palette";
            }
        }
        EXPECT_EQ(dc.palette(), entry) << "the device keeps the palette it had";
        platform::DeletePalette(callers);
        platform::DeletePalette(entry);
    }
}

// Enlarged n times, each source row is built once and sent n times: the
// device changes the picture after every row it receives, so a rebuilt row
// would show the change.
TEST(DrawDib, RowsMappingToTheSameSourceRowAreNotRebuilt)
{
    for (int bitCount : {8, 24}) {
        SCOPED_TRACE(bitCount);
        DibGuard image(testutil::patternImage(5, 3, bitCount, 8));
        const size_t rowBytes = bitCount == 8 ? 10 : 30;
        RecordingDC dc(platform::DT_RASDISPLAY, 32, kAllCaps);
        std::vector<std::vector<uint8_t>> original;
        for (int t = 0; t < 3; ++t) {
            const uint8_t* row = DibRow(image.get(), t);
            original.emplace_back(row, row + image->BytesPerRow);
        }
        dc.afterCall = [&](size_t) {
            for (uint32_t i = 0; i < image->Info->bmiHeader.biSizeImage; ++i)
                ++image->Bits[i];
        };
        DrawDib(&dc, 0, 0, 10, 6, image.get(), 0, 0, 5, 3, true, platform::SRCCOPY, true, nullptr);

        ASSERT_EQ(dc.count(Call::SetDIBitsToDevice), 6);
        for (int r = 0; r < 6; ++r) {
            const auto& rec = dc.records()[size_t(r)];
            EXPECT_EQ(rec.x, 0);
            EXPECT_EQ(rec.y, r);
            EXPECT_EQ(rec.width, 10);
            EXPECT_EQ(rec.height, 1);
            // Built when the picture had been changed r times; the second
            // row of each pair is the first one again.
            const int builtAt = r - r % 2;
            const auto& source = original[size_t(r / 2)];
            const int bpp = bitCount / 8;
            for (size_t i = 0; i < rowBytes; ++i) {
                const size_t column = i / size_t(bpp) / 2;
                const uint8_t want = uint8_t(source[column * size_t(bpp) + i % size_t(bpp)] + builtAt);
                ASSERT_EQ(rec.bits[i], want) << "row " << r << " byte " << i;
            }
        }
    }
}

TEST(DrawDib, RowDrawersBlackenWhatMapsOutsideThePicture)
{
    DibGuard image(testutil::patternImage(4, 4, 24, 2));
    const auto rgb = testutil::rgbPixels(image.get());
    platform::GdiBitmap canvas(8, 6);
    canvas.fill(kBackground);
    platform::BitmapDC dc(&canvas);
    // Source from column -2 and row -1 (above the top), 8 x 6 at 1:1.
    DrawRows24(&dc, 0, 0, 8, 6, image.get(), -2, -1, 8, 6);
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 8; ++x) {
            const int sx = x - 2, sy = y - 1;
            const bool inside = sx >= 0 && sx < 4 && sy >= 0 && sy < 4;
            ASSERT_EQ(canvas.pixel(x, y), inside ? colourAt(rgb, 4, sx, sy) : 0u) << x << "," << y;
        }
    }
}

// A 24-bit picture on a 256-colour screen is halftoned; shrinking halftones
// a copy at the shown size and draws it 1:1.
TEST(DrawDib, HalftonePathDrawsAHalftonedCopyWithTheChosenPalette)
{
    DibGuard image(testutil::patternImage(40, 30, 24, 12));
    platform::LOGPALETTE256 log{};
    log.palNumEntries = 3;
    HPALETTE callers = platform::CreatePalette(log);

    RecordingDC dc(platform::DT_RASDISPLAY, 8, kAllCaps | platform::RC_PALETTE);
    // Shown at 10 x 9 from the source rectangle (8, 6)-(28, 24), bottom-up.
    DrawDib(&dc, 3, 4, 10, 9, image.get(), 8, 6, 20, 18, true, platform::SRCCOPY, false, callers);
    ASSERT_EQ(dc.records().size(), 1u);
    const auto& r = dc.records()[0];
    EXPECT_EQ(r.call, Call::StretchDIBits);
    EXPECT_EQ(r.palette, callers);
    EXPECT_EQ(r.bitCount, 8);
    // The copy is Round(40*10/20) x Round(30*9/18) = 20 x 15; the source
    // rectangle scales with it and takes the destination's size.
    EXPECT_EQ((std::array{r.x, r.y, r.width, r.height}), (std::array{3, 4, 10, 9}));
    EXPECT_EQ((std::array{r.srcX, r.srcY, r.srcWidth, r.srcHeight}), (std::array{4, 3, 10, 9}));
    DibGuard copy;
    DIBHalftoneDIBXY(copy.out(), image.get(), 20, 15);
    ASSERT_EQ(r.bits.size(), size_t(copy->Info->bmiHeader.biSizeImage));
    EXPECT_EQ(std::memcmp(r.bits.data(), copy->Bits, r.bits.size()), 0);
    EXPECT_EQ(dc.palette(), nullptr);

    // Enlarged: a full-size copy; with the picture's own palette asked for,
    // the copy's halftone palette is selected while it is drawn.
    dc.clearRecords();
    bool halftonePalette = false;
    dc.afterCall = [&](size_t i) {
        const HPALETTE p = dc.records()[i].palette;
        halftonePalette = p && p->entryCount == 256;
        for (int e = 0; halftonePalette && e < 256; ++e) {
            const auto q = halftoneColour(e);
            halftonePalette = p->entries[size_t(e)].peRed == q.rgbRed && p->entries[size_t(e)].peBlue == q.rgbBlue;
        }
    };
    DrawDib(&dc, 0, 0, 80, 60, image.get(), 0, 0, 40, 30, true, platform::SRCCOPY, true, nullptr);
    ASSERT_EQ(dc.records().size(), 1u);
    EXPECT_EQ(dc.records()[0].srcWidth, 40);
    EXPECT_EQ(dc.records()[0].bits.size(), size_t(platform::dibStride(40, 8)) * 30);
    EXPECT_TRUE(halftonePalette);
    EXPECT_EQ(dc.palette(), nullptr);
    platform::DeletePalette(callers);
}

TEST(DrawDib, CopiesThatCannotBeMadeDrawNothing)
{
    DibGuard photo(testutil::patternImage(64, 64, 24, 1));
    DibGuard indexed(testutil::patternImage(64, 64, 8, 1));
    setAllocationLimitForTest(64);
    RecordingDC rows(platform::DT_RASDISPLAY, 32, kAllCaps);
    platform::SelectPalette(&rows, nullptr, true);
    DrawDib(&rows, 0, 0, 128, 128, photo.get(), 0, 0, 64, 64, true, platform::SRCCOPY, true, nullptr);
    DrawDib(&rows, 0, 0, 128, 128, indexed.get(), 0, 0, 64, 64, true, platform::SRCCOPY, true, nullptr);
    RecordingDC palette(platform::DT_RASDISPLAY, 8, kAllCaps);
    DrawDib(&palette, 0, 0, 32, 32, photo.get(), 0, 0, 64, 64, true, platform::SRCCOPY, true, nullptr);
    setAllocationLimitForTest(UINT64_MAX);
    EXPECT_TRUE(rows.records().empty());
    EXPECT_TRUE(palette.records().empty());
    EXPECT_EQ(rows.palette(), nullptr);
}

// Devices that refuse the stretched transfer: the copy at destination size,
// then the compatible bitmap, and the three messages.
TEST(DrawDib, RefusedTransfersFallBackAndTellTheUser)
{
    struct Case {
        const char* name;
        bool takesDibs;
        RecordingDC::Refusals refuse;
        Call drawnBy;        // the call that finally drew, or StretchDIBits for none
        const char* message; // nullptr: none
    };
    const Case cases[] = {
        {"copy at destination size", true, {true, false, false, false, false}, Call::SetDIBitsToDevice, nullptr},
        {"copy refused: bitmap", true, {true, true, false, false, false}, Call::StretchBlt, nullptr},
        {"no DIBs: bitmap", false, {true, false, false, false, false}, Call::StretchBlt, nullptr},
        {"no bitmap", false, {true, false, true, false, false}, Call::StretchDIBits, "Konnte Bitmap nicht erzeugen!"},
        {"no setdibits", false, {true, false, false, true, false}, Call::StretchDIBits,
         "Das Gerät unterstützt die Funtkion setdibits nicht!"},
        {"no stretchblt", false, {true, false, false, false, true}, Call::StretchDIBits,
         "Das Gerät unterstützt die Funktion StretchBlt nicht!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int live = platform::liveGdiObjectCount();
        DibGuard image(testutil::patternImage(6, 5, 4, 17));
        RecordingDC dc(platform::DT_RASDISPLAY, 32,
                       c.takesDibs ? kAllCaps : kAllCaps & ~platform::RC_DIBTODEV, 20, 20);
        dc.refuse = c.refuse;
        dc.canvas().fill(kBackground);
        platform::MessageBoxScript boxes;
        // Columns 1..5 and rows 1..3 from the top (srcY 1 from the bottom), at 11 x 7.
        DrawDib(&dc, 2, 3, 11, 7, image.get(), 1, 1, 5, 3, true, platform::SRCCOPY, true, nullptr);

        EXPECT_EQ(platform::liveGdiObjectCount(), live) << "bitmaps and memory contexts released";
        EXPECT_EQ(dc.count(Call::SetDIBitsToDevice), c.takesDibs ? 1 : 0);
        if (c.message) {
            ASSERT_EQ(boxes.shown().size(), 1u);
            EXPECT_EQ(boxes.shown()[0].text, QString::fromUtf8(c.message));
            EXPECT_EQ(boxes.shown()[0].caption, QString());
            EXPECT_EQ(boxes.shown()[0].icon, platform::MsgIcon::None);
        } else {
            EXPECT_TRUE(boxes.shown().empty());
        }
        const bool blitTried = c.drawnBy == Call::StretchBlt || c.refuse.stretchBlt;
        EXPECT_EQ(dc.count(Call::StretchBlt), blitTried ? 1 : 0);
        const auto rgb = testutil::rgbPixels(image.get());
        for (int cy = 0; cy < 20; ++cy) {
            for (int cx = 0; cx < 20; ++cx) {
                COLORREF want = kBackground;
                const int i = cx - 2, j = cy - 3;
                if (c.drawnBy != Call::StretchDIBits && i >= 0 && i < 11 && j >= 0 && j < 7) {
                    if (c.drawnBy == Call::SetDIBitsToDevice) {
                        // Column i takes 1 + 4i/10; the copy's rows count from
                        // the bottom: row j from the bottom takes 1 + 2j/6.
                        const int fromBottom = 6 - j;
                        want = colourAt(rgb, 6, 1 + 4 * i / 10, 4 - (1 + 2 * fromBottom / 6));
                    } else {
                        want = colourAt(rgb, 6, 1 + 5 * i / 11, 1 + 3 * j / 7);
                    }
                }
                ASSERT_EQ(dc.canvas().pixel(cx, cy), want) << cx << "," << cy;
            }
        }
    }
}

TEST(DrawDib, OnePixelFallbackTakesTheFirstColumnAndTheBottomRow)
{
    DibGuard image(testutil::patternImage(6, 5, 1, 3));
    const auto rgb = testutil::rgbPixels(image.get());
    RecordingDC dc(platform::DT_RASPRINTER, 24, kAllCaps, 4, 4);
    dc.refuse.stretchDIBits = true;
    dc.canvas().fill(kBackground);
    // Source columns 2..5, rows from the bottom 1..4; one pixel wide, then one high.
    DrawDib(&dc, 0, 0, 1, 3, image.get(), 2, 1, 4, 4, false, platform::SRCCOPY, true, nullptr);
    DrawDib(&dc, 1, 3, 3, 1, image.get(), 2, 1, 4, 4, false, platform::SRCCOPY, true, nullptr);
    EXPECT_EQ(dc.count(Call::SetDIBitsToDevice), 2);
    // Top row 5 - 1 - 4 = 0 .. bottom row 3; column 2.
    EXPECT_EQ(dc.canvas().pixel(0, 0), colourAt(rgb, 6, 2, 0));
    EXPECT_EQ(dc.canvas().pixel(0, 2), colourAt(rgb, 6, 2, 3));
    // One row high: the bottom row of the rectangle, columns 2, 3 and 5.
    EXPECT_EQ(dc.canvas().pixel(1, 3), colourAt(rgb, 6, 2, 3));
    EXPECT_EQ(dc.canvas().pixel(2, 3), colourAt(rgb, 6, 3, 3));
    EXPECT_EQ(dc.canvas().pixel(3, 3), colourAt(rgb, 6, 5, 3));
}

TEST(DrawDib, ScreenEllipseInvertsTheLibrarysOutlineAndErasesItself)
{
    platform::GdiBitmap canvas(24, 16);
    canvas.fill(platform::RGB(255, 255, 255));
    platform::BitmapDC dc(&canvas);
    // Corners in either order, the box reaching past the left edge.
    ScreenEllipse(&dc, 18, 2, -4, 13);
    DibGuard outline;
    newdib(outline.out(), 24, 16, 1, nullptr, 0);
    ellipse(outline.get(), -4, 2, 18, 13, 1);
    int inverted = 0;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 24; ++x) {
            const bool on = getpixel(outline.get(), x, y) == 1;
            inverted += on;
            ASSERT_EQ(canvas.pixel(x, y), on ? 0u : platform::RGB(255, 255, 255)) << x << "," << y;
        }
    }
    EXPECT_GT(inverted, 30);
    ScreenEllipse(&dc, -4, 13, 18, 2);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 24; ++x)
            ASSERT_EQ(canvas.pixel(x, y), platform::RGB(255, 255, 255)) << x << "," << y;
}
