#include "platform/random.h"
#include "raster/rasterio.h"
#include "show/compose.h"
#include "tests/testutil.h"

#include <QFontMetrics>

#include <gtest/gtest.h>

using namespace show;
using platform::COLORREF;
using platform::GdiBitmap;

namespace {

TSlideRecord* addSlide(ShowDocument& show, const raster::TDibRecord& picture, const char* name = "bild.jpg")
{
    return AddNewSlide(show, picture, QString::fromLatin1(name));
}

// The smallest rectangle holding every pixel that is not colour.
PixelRect inkBox(const GdiBitmap& work, COLORREF background)
{
    int x0 = work.width(), y0 = work.height(), x1 = -1, y1 = -1;
    for (int y = 0; y < work.height(); ++y)
        for (int x = 0; x < work.width(); ++x)
            if (work.pixel(x, y) != background) {
                x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
            }
    return x1 < 0 ? PixelRect{0, 0, 0, 0} : PixelRect{x0, y0, x1 - x0 + 1, y1 - y0 + 1};
}

} // namespace

TEST(Compose, FrameBoxesAndPictureSizes)
{
    EXPECT_EQ(FrameBox({1000, 1000, 0, 0}, 1024, 768), (PixelRect{0, 0, 1024, 768}));
    EXPECT_EQ(FrameBox({0, 0, 1000, 1000}, 1024, 768), (PixelRect{0, 0, 1024, 768}));
    EXPECT_EQ(FrameBox({500, 100, 500, 900}, 1024, 768), (PixelRect{512, 76, 1, 614}));
    EXPECT_EQ(FrameBox({250, 250, 750, 250}, 1000, 1000), (PixelRect{250, 250, 500, 1}));

    struct Case {
        PixelRect box;
        bool keep;
        int w, h;
        int pw, ph;
    };
    const Case cases[] = {
        {{0, 0, 1024, 768}, true, 640, 480, 1024, 768},
        {{0, 0, 1024, 600}, true, 640, 480, 800, 600},
        {{0, 0, 1024, 600}, false, 640, 480, 1024, 600},
        {{0, 0, 1, 500}, true, 640, 480, 1, 0}, // a box of one column shows nothing
        {{0, 0, 300, 300}, true, 0, 0, 300, 300}, // no pixels: the box
    };
    for (const Case& c : cases) {
        int32_t pw = 0, ph = 0;
        PictureSize(c.box, c.keep, c.w, c.h, pw, ph);
        EXPECT_EQ(pw, c.pw);
        EXPECT_EQ(ph, c.ph);
    }
}

TEST(Compose, PlacementsInTheBox)
{
    const PixelRect box{10, 20, 1024, 600};
    // placement -> expected corner of an 800 x 500 picture
    const int expected[10][2] = {{122, 70}, {10, 70}, {122, 20}, {234, 70}, {122, 120},
                                 {10, 20},  {234, 20}, {10, 120}, {234, 120}, {0, 0}};
    for (int p = 0; p < 9; ++p) {
        int32_t px = 0, py = 0;
        PlacePicture(box, p, 800, 500, px, py);
        EXPECT_EQ(px, expected[p][0]) << p;
        EXPECT_EQ(py, expected[p][1]) << p;
    }
    // Random: x drawn first, then y, from the program's generator.
    platform::RandSeed = 99;
    const int32_t rx = platform::Random(224);
    const int32_t ry = platform::Random(100);
    platform::RandSeed = 99;
    int32_t px = 0, py = 0;
    PlacePicture(box, 9, 800, 500, px, py);
    EXPECT_EQ(px, 10 + rx);
    EXPECT_EQ(py, 20 + ry);
    PlacePicture(box, 12, 800, 500, px, py);
    EXPECT_EQ(px, 10);
    EXPECT_EQ(py, 20);
    // A picture that fills its box sits at the box whatever the placement.
    for (int p = 0; p < 9; ++p) {
        PlacePicture(box, p, 1024, 600, px, py);
        EXPECT_EQ(px, 10);
        EXPECT_EQ(py, 20);
    }
}

TEST(Compose, ThePathIsTravelledDuringThePause)
{
    ShowDocument show;
    TSlideRecord* s = AddBlankSlide(show);
    s->TransTime = 1000;
    s->PauseTime = 4000;
    *static_cast<TNodePoint*>(s->Nodes->Add()) = {100, 200};
    *static_cast<TNodePoint*>(s->Nodes->Add()) = {300, -200};
    // elapsed -> path point in thousandths, on a 1000 x 500 surface
    const int cases[][3] = {
        {0, 0, 0},      {1000, 0, 0},       {2000, 50, 100}, {3000, 100, 200},
        {4000, 200, 0}, {4999, 299, -199},  {5000, 0, 0},    {9000, 0, 0},
    };
    for (const auto& c : cases) {
        int32_t dx = 0, dy = 0;
        PathOffset(*s, c[0], 1000, 500, dx, dy);
        EXPECT_EQ(dx, c[1]) << c[0];
        EXPECT_EQ(dy, c[2] * 500 / 1000) << c[0];
    }
    s->PauseTime = 0; // no pause, no path
    int32_t dx = 1, dy = 1;
    PathOffset(*s, 2000, 1000, 500, dx, dy);
    EXPECT_EQ(dx, 0);
    EXPECT_EQ(dy, 0);
}

TEST(Compose, CommentLines)
{
    EXPECT_EQ(CommentLines("A\r\n\r\nB"), (QStringList{"A", " ", "B"}));
    EXPECT_EQ(CommentLines("A\r\n"), (QStringList{"A"}));
    EXPECT_EQ(CommentLines("\r\nx\n\ny"), (QStringList{" ", "x", " ", "y"}));
    EXPECT_EQ(CommentLines(""), QStringList());
}

TEST(Compose, TheGroupIsDrawnOnTheHeadsBackground)
{
    ShowDocument show;
    TSlideRecord* a = addSlide(show, testutil::solidImage(40, 30, 0x0000FF)); // red
    a->BackColor = 0x00404040;
    a->Frame = {0, 0, 500, 1000};
    a->KeepAspect = 0;
    TSlideRecord* b = addSlide(show, testutil::solidImage(10, 10, 0xFF0000)); // blue
    b->CollageMember = 1;
    b->BackColor = 0x0000FF00;
    b->Frame = {1000, 500, 750, 1000}; // corners in the other order
    b->KeepAspect = 0;
    TSlideRecord* c = addSlide(show, testutil::solidImage(10, 10, 0x00FF00)); // next group
    c->Frame = {0, 0, 1000, 1000};

    GdiBitmap work;
    const Composition r = ComposeSlide(show.Slides, 1, 200, 100, 500, 7, work, 200);
    ASSERT_TRUE(r.Composed);
    EXPECT_EQ(r.Head, 0);
    EXPECT_TRUE(r.TransitionRunning);
    EXPECT_EQ(r.TransTime, 1000);
    ASSERT_EQ(work.width(), 200);
    ASSERT_EQ(work.height(), 100);
    for (int y = 0; y < 100; ++y) {
        for (int x = 0; x < 200; ++x) {
            COLORREF want = 0x00404040;
            if (x < 100)
                want = 0x0000FF;
            else if (x >= 150 && y >= 50)
                want = 0xFF0000;
            ASSERT_EQ(work.pixel(x, y), want) << x << "," << y;
        }
    }
    EXPECT_EQ(show.CurrentSlide, show.slide(1)); // the last slide looked at

    EXPECT_FALSE(ComposeSlide(show.Slides, 3, 200, 100, 0, 7, work, 200).Composed);
    EXPECT_FALSE(ComposeSlide(show.Slides, 1, 200, 100, 1001, 7, work, 200).TransitionRunning);
}

TEST(Compose, ARandomPlaceStaysFromTickToTick)
{
    ShowDocument show;
    TSlideRecord* s = addSlide(show, testutil::solidImage(20, 20, 0xFFFFFF));
    s->Placement = 9;
    s->Frame = {0, 0, 1000, 1000};
    s->KeepAspect = 0;
    s->Frame = {0, 0, 1000, 1000};
    // A picture smaller than its box: a frame box bigger than the picture
    // with its aspect kept gives room to move in one direction.
    s->KeepAspect = 1;
    GdiBitmap first, again, other;
    ComposeSlide(show.Slides, 0, 300, 100, 100, 1234, first, 300);
    ComposeSlide(show.Slides, 0, 300, 100, 2500, 1234, again, 300);
    ComposeSlide(show.Slides, 0, 300, 100, 100, 98765, other, 300);
    const PixelRect a = inkBox(first, 0), b = inkBox(again, 0), c = inkBox(other, 0);
    EXPECT_EQ(a, b);
    EXPECT_EQ(a.W, 100);
    EXPECT_EQ(a.Y, 0);
    platform::RandSeed = 1234;
    EXPECT_EQ(a.X, platform::Random(200));
    EXPECT_NE(a.X, c.X);
}

TEST(Compose, CommentPositionsAndOutline)
{
    struct Case {
        int position;
        int userX, userY;
    };
    const Case cases[] = {{0, 0, 0}, {8, 0, 0}, {4, 0, 0}, {9, 0, 0}, {17, 0, 0}, {18, 50, 50}};
    const int W = 400, H = 300;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.position);
        ShowDocument show;
        TSlideRecord* s = addSlide(show, testutil::solidImage(20, 10, 0));
        s->PictureVisible = 0;
        s->Frame = {250, 250, 750, 750}; // the picture: (100, 75) 200 x 150 without aspect
        s->KeepAspect = 0;
        s->TextPosition = c.position;
        s->UserTextX = c.userX;
        s->UserTextY = c.userY;
        s->BackColor = 0x00202020;
        s->BorderColor = 0x000000FF;
        SetString(s->Comment, "Hg\r\nHg");
        *s->Font = TSlideFont{"Arial", 15, 96, TSlideFont::Bold, 0xFFFFFF, 0, 0};

        GdiBitmap work;
        ComposeSlide(show.Slides, 0, W, H, 0, 1, work, W);
        const PixelRect ink = inkBox(work, 0x00202020);
        ASSERT_GT(ink.W, 0);
        QFont font = s->Font->toQFont();
        const QFontMetrics m(font);
        const int lineH = m.height() + 2;
        const int maxW = m.horizontalAdvance("Hg") + 2;
        int bx = 100, by = 75, bw = 200, bh = 150;
        if (c.position >= 9)
            bx = 0, by = 0, bw = W, bh = H;
        int x = 0, y = 0;
        const int row = c.position / 3, col = c.position % 3;
        y = by + (row % 3 == 0 ? 0 : row % 3 == 1 ? (bh - 2 * lineH) / 2 : bh - 2 * lineH - 10);
        x = col == 0 ? bx + 10 : col == 1 ? bx + (bw - maxW) / 2 : bx + bw - maxW - 10;
        if (c.position == 18)
            x = W / 2, y = H / 2;
        // The ink, outline included, lies within the text block grown by
        // the outline's pixel, and fills most of it.
        EXPECT_GE(ink.X, x - 1);
        EXPECT_GE(ink.Y, y - 1);
        EXPECT_LE(ink.X + ink.W, x + maxW + 1);
        EXPECT_LE(ink.Y + ink.H, y + 2 * lineH + 1);
        EXPECT_LE(ink.X, x + 3);
        EXPECT_GE(ink.Y + ink.H, y + lineH + m.ascent());
        // Red outline around white letters.
        bool red = false, white = false;
        for (int yy = ink.Y; yy < ink.Y + ink.H; ++yy)
            for (int xx = ink.X; xx < ink.X + ink.W; ++xx) {
                red |= work.pixel(xx, yy) == 0x0000FF;
                white |= work.pixel(xx, yy) == 0xFFFFFF;
            }
        EXPECT_TRUE(red);
        EXPECT_TRUE(white);
    }
}

TEST(Compose, FontsScaleWithTheSurface)
{
    ShowDocument show;
    TSlideRecord* s = addSlide(show, testutil::solidImage(2, 2, 0));
    s->PictureVisible = 0;
    s->TextBorder = 0;
    s->TextPosition = 9;
    SetString(s->Comment, "H");
    *s->Font = TSlideFont{"Arial", 60, 96, 0, 0xFFFFFF, 0, 0}; // 80 pixels
    GdiBitmap full, quarter;
    ComposeSlide(show.Slides, 0, 1280, 200, 0, 1, full, 1280);
    ComposeSlide(show.Slides, 0, 320, 200, 0, 1, quarter, 1280);
    const int fullH = inkBox(full, 0).H, quarterH = inkBox(quarter, 0).H;
    EXPECT_NEAR(double(fullH) / quarterH, 4.0, 0.5) << fullH << " " << quarterH;
}

TEST(Compose, OddSlidesComposeWithoutCrashing)
{
    ShowDocument show;
    TSlideRecord* empty = AddBlankSlide(show); // no picture, every field zero
    empty->PictureVisible = 1;
    empty->BackColor = 0x00123456;
    TSlideRecord* tiny = addSlide(show, testutil::solidImage(1, 1, 0xFFFFFF));
    tiny->CollageMember = 1;
    tiny->PauseTime = 0;
    *static_cast<TNodePoint*>(tiny->Nodes->Add()) = {10, 10};
    tiny->Frame = {500, 500, 500, 500};
    SetString(tiny->Comment, "\r\n");
    GdiBitmap work;
    const Composition r = ComposeSlide(show.Slides, 1, 64, 48, 50, 3, work, 64);
    EXPECT_TRUE(r.Composed);
    EXPECT_EQ(work.pixel(0, 0), 0x00123456u);
    EXPECT_EQ(work.pixel(32, 24), 0xFFFFFFu); // the 1 x 1 box in the middle
}
