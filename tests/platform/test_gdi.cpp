#include "platform/gdi.h"
#include "platform/cpu.h"
#include "platform/palette.h"
#include "raster/dibguard.h"
#include "raster/rasterio.h"
#include "tests/testutil.h"

#include <QPainter>
#include <QPrinter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>

using namespace platform;
using raster::DibGuard;
using raster::TDibRecord;

namespace {

constexpr COLORREF kBackground = RGB(10, 200, 30);

// The colour of picture pixel (x, y from the top) as 0x00BBGGRR.
COLORREF colourAt(const std::vector<uint8_t>& rgb, int width, int x, int y)
{
    const size_t i = 3 * (size_t(y) * size_t(width) + size_t(x));
    return RGB(rgb[i], rgb[i + 1], rgb[i + 2]);
}

struct Transfer {
    int x, y, w, h;
    int srcX, srcY, srcW, srcH; // srcY from the picture's bottom row
};

// What a nearest-neighbour stretched transfer leaves at canvas pixel
// (cx, cy): destination column i of n takes source column srcX + i*srcW/n,
// negative extents mirror; pixels mapping outside the picture keep their
// colour.
COLORREF expectedStretch(const Transfer& t, const TDibRecord& image, const std::vector<uint8_t>& rgb, int cx,
                         int cy, COLORREF before)
{
    int x = t.x, w = t.w, y = t.y, h = t.h;
    bool flipX = false, flipY = false;
    if (w < 0) {
        x += w;
        w = -w;
        flipX = true;
    }
    if (h < 0) {
        y += h;
        h = -h;
        flipY = true;
    }
    if (cx < x || cx >= x + w || cy < y || cy >= y + h)
        return before;
    const int i = flipX ? x + w - 1 - cx : cx - x;
    const int j = flipY ? y + h - 1 - cy : cy - y;
    const int width = raster::DibWidth(image), height = raster::DibHeight(image);
    const int col = t.srcX + i * t.srcW / w;
    const int row = (height - t.srcY - t.srcH) + j * t.srcH / h;
    if (col < 0 || col >= width || row < 0 || row >= height)
        return before;
    return colourAt(rgb, width, col, row);
}

} // namespace

TEST(Gdi, StretchDIBitsOnABitmapIsNearestNeighbourForEveryDepth)
{
    const std::vector<Transfer> cases = {
        {2, 3, 17, 11, 1, 1, 5, 3},    // enlarged, odd factors
        {0, 0, 4, 3, 0, 0, 7, 5},      // shrunk
        {-3, -2, 7, 5, 0, 0, 7, 5},    // 1:1, off the top-left
        {26, 17, 14, 10, 0, 0, 7, 5},  // off the bottom-right
        {1, 15, 14, -10, 0, 0, 7, 5},  // negative height: rows 5..14, upside down
        {20, 1, -14, 10, 0, 0, 7, 5},  // negative width: columns 6..19, mirrored
        {0, 0, 20, 10, 3, -2, 10, 5},  // source rectangle reaching past the picture
    };
    for (int bitCount : {1, 4, 8, 24}) {
        DibGuard image(testutil::patternImage(7, 5, bitCount, 3));
        const auto rgb = testutil::rgbPixels(image.get());
        for (size_t c = 0; c < cases.size(); ++c) {
            const Transfer& t = cases[c];
            GdiBitmap canvas(30, 20);
            canvas.fill(kBackground);
            BitmapDC dc(&canvas);
            const int lines = StretchDIBits(&dc, t.x, t.y, t.w, t.h, t.srcX, t.srcY, t.srcW, t.srcH,
                                            image->Bits, image->Info, DIB_RGB_COLORS, SRCCOPY);
            EXPECT_NE(lines, GDI_ERROR);
            for (int cy = 0; cy < 20; ++cy)
                for (int cx = 0; cx < 30; ++cx)
                    ASSERT_EQ(canvas.pixel(cx, cy), expectedStretch(t, image.get(), rgb, cx, cy, kBackground))
                        << "depth " << bitCount << " case " << c << " at " << cx << "," << cy;
        }
    }
}

TEST(Gdi, UnreadableDibsAreRefused)
{
    DibGuard image(testutil::patternImage(4, 4, 8));
    GdiBitmap canvas(8, 8);
    BitmapDC dc(&canvas);
    EXPECT_EQ(StretchDIBits(&dc, 0, 0, 4, 4, 0, 0, 4, 4, image->Bits, image->Info, DIB_PAL_COLORS, SRCCOPY),
              GDI_ERROR);
    image->Info->bmiHeader.biCompression = BI_RLE8;
    EXPECT_EQ(StretchDIBits(&dc, 0, 0, 4, 4, 0, 0, 4, 4, image->Bits, image->Info, DIB_RGB_COLORS, SRCCOPY),
              GDI_ERROR);
    EXPECT_EQ(SetDIBitsToDevice(&dc, 0, 0, 4, 4, 0, 0, 0, 4, image->Bits, image->Info, DIB_RGB_COLORS), 0);
    image->Info->bmiHeader.biCompression = BI_RGB;
    BitmapDC unselected;
    EXPECT_EQ(StretchDIBits(&unselected, 0, 0, 4, 4, 0, 0, 4, 4, image->Bits, image->Info, DIB_RGB_COLORS,
                            SRCCOPY),
              GDI_ERROR);
    EXPECT_EQ(StretchDIBits(nullptr, 0, 0, 4, 4, 0, 0, 4, 4, image->Bits, image->Info, DIB_RGB_COLORS, SRCCOPY),
              GDI_ERROR);
    EXPECT_EQ(canvas.pixel(0, 0), 0u);
}

TEST(Gdi, SetDIBitsToDeviceDrawsOnlyTheScanLinesHandedOver)
{
    DibGuard image(testutil::patternImage(7, 5, 24, 9));
    const auto rgb = testutil::rgbPixels(image.get());
    GdiBitmap canvas(10, 8);
    canvas.fill(kBackground);
    BitmapDC dc(&canvas);
    // Scan lines 1 and 2 (counted from the bottom) are rows 3 and 2 from the top.
    const uint8_t* band = image->Bits + image->BytesPerRow;
    EXPECT_EQ(SetDIBitsToDevice(&dc, 2, 1, 7, 5, 0, 0, 1, 2, band, image->Info, DIB_RGB_COLORS), 2);
    for (int cy = 0; cy < 8; ++cy) {
        for (int cx = 0; cx < 10; ++cx) {
            const int t = cy - 1, c = cx - 2;
            const bool drawn = (t == 2 || t == 3) && c >= 0 && c < 7;
            ASSERT_EQ(canvas.pixel(cx, cy), drawn ? colourAt(rgb, 7, c, t) : kBackground) << cx << "," << cy;
        }
    }
}

TEST(Gdi, RasterOperationsCombineSourceAndDestination)
{
    struct Case {
        uint32_t rop;
        uint8_t (*expected)(uint8_t s, uint8_t d);
    };
    const Case cases[] = {
        {SRCCOPY, [](uint8_t s, uint8_t) { return s; }},
        {SRCINVERT, [](uint8_t s, uint8_t d) { return uint8_t(s ^ d); }},
        {SRCAND, [](uint8_t s, uint8_t d) { return uint8_t(s & d); }},
        {SRCPAINT, [](uint8_t s, uint8_t d) { return uint8_t(s | d); }},
        {NOTSRCCOPY, [](uint8_t s, uint8_t) { return uint8_t(~s); }},
        {DSTINVERT, [](uint8_t, uint8_t d) { return uint8_t(~d); }},
        {BLACKNESS, [](uint8_t, uint8_t) { return uint8_t(0); }},
        {WHITENESS, [](uint8_t, uint8_t) { return uint8_t(255); }},
    };
    DibGuard image(testutil::patternImage(6, 4, 24, 5));
    const auto rgb = testutil::rgbPixels(image.get());
    const COLORREF base = RGB(0x5A, 0xC3, 0x0F);
    for (const Case& c : cases) {
        GdiBitmap canvas(6, 4);
        canvas.fill(base);
        BitmapDC dc(&canvas);
        StretchDIBits(&dc, 0, 0, 6, 4, 0, 0, 6, 4, image->Bits, image->Info, DIB_RGB_COLORS, c.rop);
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 6; ++x) {
                const COLORREF s = colourAt(rgb, 6, x, y);
                const COLORREF want = RGB(c.expected(GetRValue(s), GetRValue(base)),
                                          c.expected(GetGValue(s), GetGValue(base)),
                                          c.expected(GetBValue(s), GetBValue(base)));
                ASSERT_EQ(canvas.pixel(x, y), want) << std::hex << c.rop << " at " << x << "," << y;
            }
        }
    }
}

TEST(Gdi, BitmapRowsCopyToAndFromDibs)
{
    for (int bitCount : {1, 4, 8, 24}) {
        DibGuard image(testutil::patternImage(9, 6, bitCount, 11));
        const auto rgb = testutil::rgbPixels(image.get());
        GdiBitmap bitmap(9, 6);
        EXPECT_EQ(SetDIBits(nullptr, &bitmap, 0, 6, image->Bits, image->Info, DIB_RGB_COLORS), 6);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 9; ++x)
                ASSERT_EQ(bitmap.pixel(x, y), colourAt(rgb, 9, x, y)) << bitCount << " " << x << "," << y;

        // Back into a 24-bit bottom-up DIB: the same colours, rows from the bottom.
        DibGuard back;
        raster::newdib(back.out(), 9, 6, 24, nullptr, 0);
        std::memset(back->Bits, 0xEE, back->Info->bmiHeader.biSizeImage);
        EXPECT_EQ(GetDIBits(nullptr, &bitmap, 0, 6, back->Bits, back->Info, DIB_RGB_COLORS), 6);
        EXPECT_EQ(testutil::rgbPixels(back.get()), rgb);
        EXPECT_EQ(back->Bits[27], 0) << "row padding is cleared";
    }

    GdiBitmap bitmap(9, 6);
    DibGuard wrong;
    raster::newdib(wrong.out(), 8, 6, 24, nullptr, 0);
    EXPECT_EQ(SetDIBits(nullptr, &bitmap, 0, 6, wrong->Bits, wrong->Info, DIB_RGB_COLORS), 0);
    EXPECT_EQ(GetDIBits(nullptr, &bitmap, 0, 6, wrong->Bits, wrong->Info, DIB_RGB_COLORS), 0);
}

TEST(Gdi, BitmapResizeFillAndSharing)
{
    GdiBitmap bitmap;
    EXPECT_TRUE(bitmap.isEmpty());
    ASSERT_TRUE(bitmap.resize(5, 3));
    EXPECT_EQ(bitmap.image().format(), QImage::Format_BGR888);
    EXPECT_EQ(bitmap.pixel(4, 2), 0u);
    bitmap.fill(RGB(1, 2, 3));
    EXPECT_EQ(bitmap.pixel(4, 2), RGB(1, 2, 3));
    EXPECT_EQ(bitmap.image().pixelColor(4, 2), QColor(1, 2, 3));
    EXPECT_EQ(bitmap.pixel(5, 0), 0u);

    EXPECT_TRUE(bitmap.resize(5, 3));
    EXPECT_EQ(bitmap.pixel(0, 0), RGB(1, 2, 3)) << "the same size keeps the pixels";

    GdiBitmap copy = bitmap;
    BitmapDC dc(&bitmap);
    const std::array<QPoint, 1> point{QPoint(0, 0)};
    dc.invertPoints(point);
    EXPECT_EQ(bitmap.pixel(0, 0), RGB(254, 253, 252));
    EXPECT_EQ(copy.pixel(0, 0), RGB(1, 2, 3)) << "a copy keeps its own pixels once either is written";

    EXPECT_TRUE(bitmap.resize(7, 2));
    EXPECT_EQ(bitmap.pixel(0, 0), 0u);
    EXPECT_TRUE(bitmap.resize(0, 4));
    EXPECT_TRUE(bitmap.isEmpty());
}

TEST(Gdi, StretchBltCopiesFromTheBitmapOfAMemoryContext)
{
    const int live = liveGdiObjectCount();
    DibGuard image(testutil::patternImage(6, 5, 24, 2));
    const auto rgb = testutil::rgbPixels(image.get());
    GdiBitmap canvas(20, 12);
    canvas.fill(kBackground);
    BitmapDC dc(&canvas);

    HBITMAP bitmap = CreateCompatibleBitmap(&dc, 6, 5);
    ASSERT_NE(bitmap, nullptr);
    HDC memory = CreateCompatibleDC(&dc);
    ASSERT_NE(memory, nullptr);
    EXPECT_EQ(liveGdiObjectCount(), live + 2);
    ASSERT_EQ(SetDIBits(&dc, bitmap, 0, 5, image->Bits, image->Info, DIB_RGB_COLORS), 5);
    EXPECT_FALSE(StretchBlt(&dc, 0, 0, 12, 10, memory, 0, 0, 6, 5, SRCCOPY)) << "nothing selected yet";
    HBITMAP previous = SelectObject(memory, bitmap);
    EXPECT_EQ(previous, nullptr);
    // Source rows counted from the bitmap's top: rows 1..4, columns 2..5, doubled.
    ASSERT_TRUE(StretchBlt(&dc, 3, 2, 8, 8, memory, 2, 1, 4, 4, SRCCOPY));
    for (int cy = 0; cy < 12; ++cy) {
        for (int cx = 0; cx < 20; ++cx) {
            const bool inside = cx >= 3 && cx < 11 && cy >= 2 && cy < 10;
            const COLORREF want = inside ? colourAt(rgb, 6, 2 + (cx - 3) / 2, 1 + (cy - 2) / 2) : kBackground;
            ASSERT_EQ(canvas.pixel(cx, cy), want) << cx << "," << cy;
        }
    }
    EXPECT_EQ(SelectObject(memory, previous), bitmap);
    EXPECT_TRUE(DeleteDC(memory));
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_EQ(liveGdiObjectCount(), live);
}

TEST(Gdi, BitmapCopiedOntoItselfReadsTheOriginalPixels)
{
    DibGuard image(testutil::patternImage(8, 4, 24, 4));
    const auto rgb = testutil::rgbPixels(image.get());
    GdiBitmap bitmap(8, 4);
    SetDIBits(nullptr, &bitmap, 0, 4, image->Bits, image->Info, DIB_RGB_COLORS);
    BitmapDC dc(&bitmap);
    // Shift right by two pixels: an in-place copy that read its own output
    // would smear the first two columns.
    ASSERT_TRUE(dc.stretchBlt(2, 0, 6, 4, bitmap, 0, 0, 6, 4, SRCCOPY));
    for (int y = 0; y < 4; ++y)
        for (int x = 2; x < 8; ++x)
            ASSERT_EQ(bitmap.pixel(x, y), colourAt(rgb, 8, x - 2, y)) << x << "," << y;
}

TEST(Gdi, DevicesAnswerTheirCapabilities)
{
    QImage surface(40, 30, QImage::Format_RGB32);
    QPainter painter(&surface);
    WindowDC window(&painter, 8);
    EXPECT_EQ(GetDeviceCaps(&window, TECHNOLOGY), DT_RASDISPLAY);
    EXPECT_EQ(GetDeviceCaps(&window, BITSPIXEL), 8);
    EXPECT_EQ(GetDeviceCaps(&window, RASTERCAPS) & (RC_DIBTODEV | RC_PALETTE), RC_DIBTODEV | RC_PALETTE);
    EXPECT_EQ(GetDeviceCaps(&window, HORZRES), 40);
    WindowDC screen(&painter);
    EXPECT_GT(GetDeviceCaps(&screen, BITSPIXEL), 8);

    GdiBitmap bitmap(12, 7);
    BitmapDC memory(&bitmap);
    EXPECT_EQ(GetDeviceCaps(&memory, TECHNOLOGY), DT_RASDISPLAY);
    EXPECT_EQ(GetDeviceCaps(&memory, BITSPIXEL), 24);
    EXPECT_EQ(GetDeviceCaps(&memory, RASTERCAPS) & (RC_DIBTODEV | RC_PALETTE), RC_DIBTODEV);
    EXPECT_EQ(GetDeviceCaps(&memory, VERTRES), 7);
    EXPECT_EQ(GetDeviceCaps(nullptr, TECHNOLOGY), 0);

    EXPECT_EQ(SetStretchBltMode(&memory, COLORONCOLOR), BLACKONWHITE);
    EXPECT_EQ(SetStretchBltMode(&memory, HALFTONE), COLORONCOLOR);

    LOGPALETTE256 log{};
    log.palVersion = 0x300;
    log.palNumEntries = 16;
    HPALETTE palette = CreatePalette(log);
    EXPECT_EQ(SelectPalette(&memory, palette, true), nullptr);
    EXPECT_EQ(RealizePalette(&memory), 16);
    EXPECT_EQ(SelectPalette(&memory, nullptr, true), palette);
    EXPECT_EQ(RealizePalette(&memory), 0);
    DeletePalette(palette);
}

TEST(Gdi, WindowTransfersAreNeverSmoothed)
{
    // A 2 x 2 picture of four colours, enlarged eight times onto a painter:
    // every pixel keeps one of the four colours, by quadrant.
    DibGuard image;
    raster::newdib(image.out(), 2, 2, 24, nullptr, 0);
    const COLORREF colours[4] = {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255), RGB(255, 255, 255)};
    for (int i = 0; i < 4; ++i)
        raster::setpixel(image.get(), i % 2, i / 2, colours[i]);
    QImage surface(24, 20, QImage::Format_RGB32);
    surface.fill(Qt::black);
    {
        QPainter painter(&surface);
        WindowDC dc(&painter);
        EXPECT_EQ(StretchDIBits(&dc, 4, 2, 16, 16, 0, 0, 2, 2, image->Bits, image->Info, DIB_RGB_COLORS, SRCCOPY),
                  2);
        // One row through SetDIBitsToDevice, below the square: the top picture row.
        EXPECT_EQ(SetDIBitsToDevice(&dc, 0, 19, 2, 1, 0, 1, 0, 2, image->Bits, image->Info, DIB_RGB_COLORS), 2);
    }
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 24; ++x) {
            QColor want = Qt::black;
            if (x >= 4 && x < 20 && y >= 2 && y < 18) {
                const COLORREF c = colours[((y - 2) / 8) * 2 + (x - 4) / 8];
                want = QColor(GetRValue(c), GetGValue(c), GetBValue(c));
            } else if (y == 19 && x < 2) {
                want = QColor(GetRValue(colours[x]), GetGValue(colours[x]), GetBValue(colours[x]));
            }
            ASSERT_EQ(surface.pixelColor(x, y), want) << x << "," << y;
        }
    }
}

TEST(Gdi, WindowInvertsPointsAndAppliesXor)
{
    QImage surface(4, 2, QImage::Format_RGB32);
    surface.fill(QColor(0x12, 0x34, 0x56));
    DibGuard image;
    raster::newdib(image.out(), 1, 1, 24, nullptr, 0);
    raster::setpixel(image.get(), 0, 0, RGB(0xFF, 0x0F, 0x00));
    {
        QPainter painter(&surface);
        WindowDC dc(&painter);
        const std::array<QPoint, 2> points{QPoint(0, 0), QPoint(3, 1)};
        dc.invertPoints(points);
        StretchDIBits(&dc, 1, 0, 2, 1, 0, 0, 1, 1, image->Bits, image->Info, DIB_RGB_COLORS, SRCINVERT);
    }
    EXPECT_EQ(surface.pixelColor(0, 0), QColor(0xED, 0xCB, 0xA9));
    EXPECT_EQ(surface.pixelColor(3, 1), QColor(0xED, 0xCB, 0xA9));
    EXPECT_EQ(surface.pixelColor(1, 0), QColor(0xED, 0x3B, 0x56));
    EXPECT_EQ(surface.pixelColor(2, 0), QColor(0xED, 0x3B, 0x56));
    EXPECT_EQ(surface.pixelColor(0, 1), QColor(0x12, 0x34, 0x56));
}

TEST(Gdi, PrinterPagesGetThePicture)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath("page.pdf");
    // Two blocks of colour; the page's JPEG keeps them, except for a few
    // columns along the border between them.
    DibGuard image;
    raster::newdib(image.out(), 32, 16, 24, nullptr, 0);
    raster::recht_filled(image.get(), 0, 0, 15, 15, RGB(220, 30, 40));
    raster::recht_filled(image.get(), 16, 0, 31, 15, RGB(20, 60, 230));
    {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(file);
        QPainter painter;
        ASSERT_TRUE(painter.begin(&printer));
        PrinterDC dc(&painter);
        EXPECT_EQ(GetDeviceCaps(&dc, TECHNOLOGY), DT_RASPRINTER);
        EXPECT_EQ(GetDeviceCaps(&dc, BITSPIXEL), 24);
        EXPECT_NE(GetDeviceCaps(&dc, RASTERCAPS) & RC_DIBTODEV, 0);
        EXPECT_GT(GetDeviceCaps(&dc, HORZRES), 1000);
        EXPECT_EQ(StretchDIBits(&dc, 100, 100, 2000, 1000, 0, 0, 32, 16, image->Bits, image->Info, DIB_RGB_COLORS,
                                SRCCOPY),
                  16);
        painter.end();
    }
    const QByteArray pdf = testutil::readFile(file);
    ASSERT_TRUE(pdf.startsWith("%PDF"));
    // The picture goes in at its own 32 x 16 pixels, for the printer to enlarge.
    const qsizetype object = pdf.indexOf("/Subtype /Image");
    ASSERT_GE(object, 0);
    const qsizetype streamAt = pdf.indexOf("stream", object);
    const qsizetype start = pdf.indexOf('\n', streamAt) + 1;
    const qsizetype end = pdf.indexOf("endstream", start);
    ASSERT_GT(streamAt, object);
    ASSERT_GT(end, start);
    const QByteArray dict = pdf.mid(object, streamAt - object);
    EXPECT_TRUE(dict.contains("/Width 32"));
    EXPECT_TRUE(dict.contains("/Height 16"));
    ASSERT_TRUE(dict.contains("/DCTDecode")) << dict.toStdString();
    const QImage embedded = QImage::fromData(pdf.mid(start, end - start), "JPEG");
    ASSERT_EQ(embedded.size(), QSize(32, 16));
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 32; ++x) {
            if (x >= 13 && x < 19)
                continue;
            const QColor want = x < 16 ? QColor(220, 30, 40) : QColor(20, 60, 230);
            const QColor got = embedded.pixelColor(x, y);
            ASSERT_LE(std::abs(got.red() - want.red()) + std::abs(got.green() - want.green()) +
                          std::abs(got.blue() - want.blue()),
                      24)
                << x << "," << y;
        }
    }
}

TEST(Gdi, ScreenImagesHaveTheBitmapsColours)
{
    for (const bool plain : {false, true})
    for (int width : {1, 3, 4, 5, 7, 16, 17, 33}) {
        SCOPED_TRACE(testing::Message() << width << (plain ? " plain" : " fast"));
        platform::SetPlainPathsOnly(plain);
        platform::GdiBitmap bitmap(width, 3);
        for (int y = 0; y < 3; ++y) {
            uint8_t* row = bitmap.image().scanLine(y);
            for (int i = 0; i < 3 * width; ++i)
                row[i] = uint8_t(i * 37 + y * 11 + width);
        }
        QImage screen(5, 5, QImage::Format_RGB32); // a size that must be replaced
        bitmap.toScreenImage(screen);
        ASSERT_EQ(screen.format(), QImage::Format_RGB32);
        platform::ResetPlainPaths();
        EXPECT_EQ(screen, bitmap.image().convertToFormat(QImage::Format_RGB32));
    }
}
