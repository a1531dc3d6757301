#include "editor/reviewgrid.h"
#include "editor/reviewpage.h"

#include "raster/rasterio.h"
#include "show/slide.h"
#include "tests/testutil.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <set>

using namespace editor;

namespace {

// The main window as far as the page sees it: a show, the review index,
// and what the page asked of it.
class FakeHost : public EditorHost {
public:
    ~FakeHost() override { show::ClearSlides(m_show.Slides); }

    show::ShowDocument& document() override { return m_show; }
    int ReviewIndex() const override { return m_review; }
    void SetReviewIndex(int index) override { m_review = index; }
    void UpdateListBox() override { ++listUpdates; }
    bool AddFile(const QString&) override { return false; }
    void SetStatusText(const QString& text) override { status = text; }
    void SetProStatus(int) override {}
    void EditSlidePicture(int index) override { edited.push_back(index); }
    void ViewSlidePicture(int) override {}
    void PrintSlidePicture(int) override {}
    QString ProgramFolder() const override { return QStringLiteral("/tmp/"); }

    void add(int width, int height, uint32_t colour, const QString& name)
    {
        show::AddNewSlide(m_show, testutil::solidImage(width, height, colour), name);
    }
    QStringList names() const
    {
        QStringList out;
        for (uint32_t i = 0; i < m_show.Slides.Count(); ++i)
            out << show::StringText(m_show.slide(i)->FileName);
        return out;
    }

    int m_review = 1;
    int listUpdates = 0;
    QString status;
    std::vector<int> edited;

private:
    show::ShowDocument m_show;
};

QRgb rgb(int r, int g, int b)
{
    return qRgb(r, g, b);
}

} // namespace

TEST(ReviewGrid, ColumnsRowsAndCells)
{
    struct Case {
        int width, count, columns, rows, height;
    };
    const Case cases[] = {
        {400, 12, 4, 4, 440}, // a full last row still gets an empty row below it
        {400, 11, 4, 3, 330}, {89, 3, 1, 4, 440}, {0, 0, 1, 1, 110}, {90, 1, 1, 2, 220},
        {359, 5, 3, 2, 220},  {360, 5, 4, 2, 220},
    };
    for (const Case& c : cases) {
        const ReviewGrid grid(c.width, c.count);
        EXPECT_EQ(grid.columns(), c.columns) << c.width << " " << c.count;
        EXPECT_EQ(grid.rows(), c.rows) << c.width << " " << c.count;
        EXPECT_EQ(grid.height(), c.height) << c.width << " " << c.count;
    }
    const ReviewGrid grid(400, 12);
    EXPECT_EQ(grid.cellCorner(0), QPoint(0, 0));
    EXPECT_EQ(grid.cellCorner(3), QPoint(270, 0));
    EXPECT_EQ(grid.cellCorner(5), QPoint(90, 110));
    EXPECT_EQ(grid.cellCorner(11), QPoint(270, 220));
}

TEST(ReviewGrid, ClickHitsTheFrameWithItsBounds)
{
    const ReviewGrid grid(400, 12);
    struct Case {
        QPoint point;
        int slide;
    };
    const Case cases[] = {
        {{2, 2}, 0},       {{88, 108}, 0},     {{1, 50}, -1},     {{50, 1}, -1},    {{89, 50}, -1},
        {{50, 109}, -1},   {{92, 2}, 1},       {{91, 50}, -1},    {{50, 112}, 4},   {{358, 328}, 11},
        {{362, 50}, -1},   // right of the last column
        {{10, 340}, -1},   // the empty row below the last slide
        {{-1, 5}, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(grid.slideAt(c.point), c.slide) << c.point.x() << "," << c.point.y();
}

TEST(ReviewGrid, OnlyCellsOverlappingTheShownPartAreVisible)
{
    const ReviewGrid grid(400, 12); // slide 8 is the first of row 2, top 220
    struct Case {
        int scrollPos, visibleHeight;
        bool visible;
    };
    const Case cases[] = {
        {330, 100, true}, {331, 100, false}, {100, 120, true}, {100, 119, false}, {0, 500, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(grid.cellVisible(8, c.scrollPos, c.visibleHeight), c.visible) << c.scrollPos << " " << c.visibleHeight;
}

TEST(ReviewGrid, ThumbnailAndBandsFillTheCellInsideOnce)
{
    struct Case {
        int pw, ph, tw, th;
    };
    const Case cases[] = {
        {160, 80, 80, 40}, {40, 80, 40, 80}, {80, 80, 80, 80}, {3, 2, 80, 53},
        {2, 3, 53, 80},    {1000, 1, 80, 0}, {0, 0, 0, 0}, // no picture: the bands fill everything
    };
    const QPoint corner(90, 110);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.pw << "x" << c.ph);
        EXPECT_EQ(thumbnailSize(c.pw, c.ph), QSize(c.tw, c.th));
        const ThumbnailCell cell = thumbnailCell(corner, c.pw, c.ph);
        EXPECT_EQ(cell.picture, QRect(95 + (80 - c.tw) / 2, 115 + (80 - c.th) / 2, c.tw, c.th));
        // Inside the frame every pixel is either the picture's or a band's,
        // never both; outside (x + 3, y + 3) .. (x + 86, y + 106) neither.
        const QRect bands[] = {cell.leftBand, cell.topBand, cell.bottomBand, cell.rightBand};
        for (int y = 110; y < 220; ++y)
            for (int x = 90; x < 180; ++x) {
                const QPoint p(x, y);
                bool inBand = false;
                for (const QRect& b : bands)
                    inBand = inBand || b.contains(p);
                const bool inPicture = cell.picture.contains(p);
                const bool inside = x >= 93 && x <= 176 && y >= 113 && y <= 216;
                ASSERT_FALSE(inBand && inPicture) << x << "," << y;
                ASSERT_EQ(inBand || inPicture, inside) << x << "," << y;
            }
    }
    const ThumbnailCell wide = thumbnailCell(corner, 160, 80);
    EXPECT_EQ(wide.leftBand, QRect(93, 113, 2, 104));
    EXPECT_EQ(wide.topBand, QRect(93, 113, 84, 22));
    EXPECT_EQ(wide.bottomBand, QRect(93, 175, 84, 42));
    EXPECT_EQ(wide.rightBand, QRect(175, 113, 2, 104));
    EXPECT_EQ(wide.name, QRect(93, 200, 84, 20));
}

TEST(ReviewGrid, ArrowKeysStopAtTheEdges)
{
    using K = ReviewKey;
    struct Case {
        K key;
        int index, count, expected;
        ReviewStep::Action action;
    };
    constexpr auto Scroll = ReviewStep::ScrollAndRepaint;
    const Case cases[] = {
        // twelve slides in four columns
        {K::Up, 1, 12, 1, Scroll},    {K::Up, 4, 12, 4, Scroll},     {K::Up, 5, 12, 1, Scroll},
        {K::Down, 8, 12, 12, Scroll}, {K::Down, 9, 12, 9, Scroll},   {K::Down, 12, 12, 12, Scroll},
        {K::Left, 1, 12, 1, Scroll},  {K::Left, 5, 12, 4, Scroll},   {K::Right, 4, 12, 5, Scroll},
        {K::Right, 12, 12, 12, Scroll},
        {K::Enter, 3, 12, 3, ReviewStep::Edit}, {K::Enter, 13, 12, 13, ReviewStep::None},
        // no slides
        {K::Right, 1, 0, 1, Scroll},  {K::Down, 1, 0, 1, Scroll},    {K::Enter, 1, 0, 1, ReviewStep::None},
    };
    for (const Case& c : cases) {
        const ReviewStep step = reviewKeyStep(c.key, c.index, c.count, 4);
        EXPECT_EQ(step.index, c.expected) << int(c.key) << " from " << c.index << " of " << c.count;
        EXPECT_EQ(step.action, c.action) << int(c.key) << " from " << c.index << " of " << c.count;
    }
}

TEST(ReviewGrid, ScrollShowsTheWholeFrame)
{
    const ReviewGrid grid(400, 12); // slide 9 is in row 2: frame 222 .. 328
    struct Case {
        int index, scrollPos, visibleHeight, expected;
    };
    const Case cases[] = {
        {9, 0, 200, 128},   // below: its bottom at the shown part's bottom
        {9, 300, 200, 222}, // above: its top at the shown part's top
        {9, 200, 200, 200}, // shown whole: unchanged
        {9, 128, 200, 128}, {9, 222, 106, 222}, {9, 223, 200, 222},
        {1, 50, 200, 2},    {13, 77, 200, 77}, {0, 77, 200, 77}, // no such slide: unchanged
    };
    for (const Case& c : cases)
        EXPECT_EQ(scrollPositionFor(c.index, grid, c.scrollPos, c.visibleHeight), c.expected)
            << c.index << " " << c.scrollPos << " " << c.visibleHeight;
}

TEST(ReviewGrid, StatusText)
{
    EXPECT_EQ(reviewStatusText(3, 12), "Thumbnail: 3 von 12");
    EXPECT_EQ(reviewStatusText(12, 12), "Thumbnail: 12 von 12");
    EXPECT_EQ(reviewStatusText(13, 12), "Bild: keins   ");
    EXPECT_EQ(reviewStatusText(1, 0), "Bild: keins   ");
}

TEST(ReviewGrid, MovingAndRemovingTheReviewSlide)
{
    FakeHost host;
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp", "d.bmp"})
        host.add(4, 4, 0x123456, QString::fromLatin1(name));
    show::ShowDocument& show = host.document();
    const int images = raster::liveImageCount();

    struct Step {
        ReviewEdit (*edit)(show::ShowDocument&, int);
        int index;
        bool changed;
        int newIndex;
        const char* order;
    };
    const Step steps[] = {
        {moveReviewSlideUp, 1, false, 1, "a b c d"},   {moveReviewSlideUp, 5, false, 5, "a b c d"},
        {moveReviewSlideUp, 3, true, 2, "a c b d"},    {moveReviewSlideDown, 4, false, 4, "a c b d"},
        {moveReviewSlideDown, 0, false, 0, "a c b d"}, {moveReviewSlideDown, 1, true, 2, "c a b d"},
        {moveReviewSlideDown, 3, true, 4, "c a d b"},  {removeReviewSlide, 5, false, 5, "c a d b"},
        {removeReviewSlide, 1, true, 1, "a d b"},      // the first keeps index 1
        {removeReviewSlide, 3, true, 2, "a d"},        {removeReviewSlide, 1, true, 1, "d"},
        {removeReviewSlide, 1, true, 1, ""},           {removeReviewSlide, 1, false, 1, ""},
    };
    int removed = 0;
    for (const Step& s : steps) {
        const ReviewEdit result = s.edit(show, s.index);
        EXPECT_EQ(result.changed, s.changed) << s.order;
        EXPECT_EQ(result.index, s.newIndex) << s.order;
        QStringList order;
        for (const QString& n : host.names())
            order << n.left(1);
        EXPECT_EQ(order.join(' '), QString::fromLatin1(s.order));
        if (s.changed && s.edit == removeReviewSlide)
            ++removed;
        // A removed slide's picture is released.
        EXPECT_EQ(raster::liveImageCount(), images - removed) << s.order;
    }
}

namespace {

// The page on screen with its controls, over a host with slides.
struct PageFixture {
    FakeHost host;
    ReviewPage page{host, nullptr};
    QScrollArea* scrollBox = nullptr;
    QWidget* grid = nullptr;
    QLineEdit* keyEdit = nullptr;

    void open(QSize size)
    {
        page.resize(size);
        page.show();
        page.activateWindow();
        QApplication::processEvents();
        scrollBox = page.findChild<QScrollArea*>("ScrollBox2");
        grid = page.findChild<QWidget*>("PaintBox2");
        keyEdit = page.findChild<QLineEdit*>("KeyEdit");
        ASSERT_TRUE(scrollBox && grid && keyEdit);
    }
    QImage picture() const { return grid->grab().toImage().convertToFormat(QImage::Format_RGB32); }
    void key(int code)
    {
        QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier);
        QApplication::sendEvent(keyEdit, &press);
        QKeyEvent release(QEvent::KeyRelease, code, Qt::NoModifier);
        QApplication::sendEvent(keyEdit, &release);
    }
    void mouse(QEvent::Type type, QPoint at)
    {
        QMouseEvent event(type, QPointF(at), grid->mapToGlobal(QPointF(at)), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(grid, &event);
        if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) {
            QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at), grid->mapToGlobal(QPointF(at)),
                                Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(grid, &release);
        }
    }
    int scroll() const { return scrollBox->verticalScrollBar()->value(); }
};

} // namespace

TEST(ReviewPage, ControlsAsDesigned)
{
    PageFixture f;
    f.open({600, 400});
    EXPECT_TRUE(f.keyEdit->isReadOnly());
    EXPECT_TRUE(f.keyEdit->isVisible()); // it must be able to take the focus
    EXPECT_TRUE(f.scrollBox->geometry().contains(f.keyEdit->geometry())); // beneath the grid
    EXPECT_EQ(f.scrollBox->widget(), f.grid);
    bool banner = false;
    for (const QLabel* label : f.page.findChildren<QLabel*>())
        banner = banner ||
                 label->text() == QStringLiteral("Bilder sichten - Hier k\u00f6nnen Sie das hinzugef\u00fcgte Bildmaterial sichten");
    EXPECT_TRUE(banner);
    const std::pair<const char*, const char*> buttons[] = {
        {"UpBtn2", "Nach oben verschieben (umsortieren)"},
        {"DownBtn2", "Nach unten verschieben (umsortieren)"},
        {"DelPic2", "Bild entfernen"},
    };
    for (const auto& [name, hint] : buttons) {
        auto* b = f.page.findChild<QToolButton*>(name);
        ASSERT_TRUE(b) << name;
        EXPECT_EQ(b->toolTip(), QString::fromUtf8(hint));
        EXPECT_TRUE(b->isVisible());
        EXPECT_FALSE(b->icon().isNull() && b->text().isEmpty()) << name;
    }
}

TEST(ReviewPage, GridDrawsFramesBandsThumbnailsAndNames)
{
    PageFixture f;
    f.host.add(160, 80, 0x0000FF, QStringLiteral("/bilder/rot.bmp"));          // red, 80 x 40
    f.host.add(40, 80, 0x00FF00, QStringLiteral("C:\\Bilder\\gruen.bmp"));     // green, 40 x 80
    f.host.add(80, 80, 0x00FFFF, QStringLiteral("gelb.bmp"));                  // yellow, 80 x 80
    f.host.m_review = 2;
    f.open({600, 400});
    ASSERT_GE(f.grid->width(), 360); // one row of three, room for a fourth
    EXPECT_EQ(f.grid->width(), f.scrollBox->viewport()->width());
    EXPECT_EQ(f.grid->height(), 110);

    const QImage img = f.picture();
    const QRgb black = rgb(0, 0, 0), grey = rgb(128, 128, 128), white = rgb(255, 255, 255);
    const QRgb blue = rgb(0, 0, 255), silver = rgb(192, 192, 192);
    const QRgb red = rgb(255, 0, 0), green = rgb(0, 255, 0), yellow = rgb(255, 255, 0);
    const QRgb background = f.grid->palette().window().color().rgb();
    struct Pixel {
        int x, y;
        QRgb colour;
    };
    std::vector<Pixel> expected;
    for (int x : {0, 90, 180}) {
        // The frame, drawn as lines up to but not including their ends.
        for (const Pixel& p : std::initializer_list<Pixel>{
                 {x + 2, 2, black}, {x + 87, 2, black}, {x + 88, 2, grey}, {x + 88, 107, grey},
                 {x + 88, 108, grey}, {x + 80, 108, grey}, {x + 3, 108, grey}, {x + 2, 108, white},
                 {x + 2, 3, white}, {x + 2, 60, white}, {x + 1, 60, background}, {x + 89, 60, background},
                 {x + 86, 109, background}, {x + 60, 1, background}})
            expected.push_back(p);
    }
    for (const Pixel& p : std::initializer_list<Pixel>{
             // slide 1: red 80 x 40 at (5, 25), silver around it
             {3, 3, silver}, {86, 106, silver}, {10, 24, silver}, {10, 25, red}, {84, 64, red},
             {5, 25, red}, {4, 40, silver}, {10, 65, silver}, {85, 40, silver}, {86, 40, silver},
             // slide 2, the review slide: green 40 x 80 at (115, 5), blue around it
             {93, 3, blue}, {114, 50, blue}, {115, 50, green}, {154, 84, green}, {115, 4, blue},
             {155, 50, blue}, {176, 106, blue}, {130, 85, blue}, {177, 50, background},
             // slide 3: yellow 80 x 80 at (185, 5)
             {185, 5, yellow}, {264, 84, yellow}, {184, 50, silver}, {265, 50, silver}, {200, 4, silver},
             {200, 85, silver},
             // no fourth cell
             {272, 2, background}})
        expected.push_back(p);
    for (const Pixel& p : expected)
        EXPECT_EQ(QColor(img.pixel(p.x, p.y)), QColor(p.colour)) << p.x << "," << p.y;

    // The name part of each file is written in the cell's name strip, and
    // nowhere in the silver or blue strip to the right of it.
    auto darkIn = [&](QRect r) {
        int dark = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                {
                const QRgb c = img.pixel(x, y);
                dark += qRed(c) < 64 && qGreen(c) < 64 && qBlue(c) < 64;
            }
        return dark;
    };
    for (int x : {0, 90, 180}) {
        EXPECT_GT(darkIn(QRect(x + 3, 90, 60, 17)), 0) << x;
        EXPECT_EQ(darkIn(QRect(x + 75, 90, 12, 17)), 0) << x;
    }
    // The names differ, so their pixels do.
    EXPECT_NE(img.copy(3, 90, 60, 17), img.copy(183, 90, 60, 17));
    EXPECT_EQ(f.host.status, "Thumbnail: 2 von 3");

    f.host.m_review = 4;
    f.picture();
    EXPECT_EQ(f.host.status, "Bild: keins   ");
}

TEST(ReviewPage, ClicksAndKeysPickTheReviewSlide)
{
    PageFixture f;
    for (int i = 0; i < 3; ++i)
        f.host.add(8, 8, 0x404040, QStringLiteral("%1.bmp").arg(i));
    f.open({600, 400});
    ASSERT_GE(f.grid->width(), 270); // the three in one row

    f.keyEdit->clearFocus();
    f.mouse(QEvent::MouseButtonPress, {182, 2}); // the third frame's corner
    EXPECT_EQ(f.host.m_review, 3);
    EXPECT_EQ(f.page.focusWidget(), f.keyEdit);
    for (QPoint miss : {QPoint(89, 50), QPoint(2, 112), QPoint(91, 109)}) {
        f.mouse(QEvent::MouseButtonPress, miss);
        EXPECT_EQ(f.host.m_review, 3) << miss.x() << "," << miss.y();
    }
    const QImage before = f.picture();
    EXPECT_EQ(QColor(before.pixel(183, 3)), QColor(0, 0, 255));
    EXPECT_EQ(QColor(before.pixel(3, 3)), QColor(192, 192, 192));

    struct Press {
        int key, index;
    };
    const Press presses[] = {
        {Qt::Key_Right, 3}, {Qt::Key_Down, 3}, {Qt::Key_Left, 2}, {Qt::Key_Up, 2},
        {Qt::Key_Left, 1},  {Qt::Key_Left, 1}, {Qt::Key_Up, 1},   {Qt::Key_Down, 1}, {Qt::Key_Right, 2},
    };
    for (const Press& p : presses) {
        f.key(p.key);
        EXPECT_EQ(f.host.m_review, p.index) << p.key;
    }
    EXPECT_TRUE(f.host.edited.empty());
    f.key(Qt::Key_Return);
    EXPECT_EQ(f.host.edited, std::vector<int>{1});
    f.mouse(QEvent::MouseButtonPress, {10, 10});
    f.mouse(QEvent::MouseButtonDblClick, {10, 10});
    EXPECT_EQ(f.host.m_review, 1);
    EXPECT_EQ(f.host.edited, (std::vector<int>{1, 0}));
    f.host.m_review = 4; // past the last slide: Enter opens nothing
    f.key(Qt::Key_Enter);
    EXPECT_EQ(f.host.edited.size(), 2u);
    EXPECT_EQ(f.host.listUpdates, 0);
}

TEST(ReviewPage, ButtonsReorderAndRemove)
{
    PageFixture f;
    f.host.add(8, 8, 0x0000FF, QStringLiteral("/a/rot.bmp"));
    f.host.add(8, 8, 0x00FF00, QStringLiteral("/a/gruen.bmp"));
    f.host.add(8, 8, 0x00FFFF, QStringLiteral("/a/gelb.bmp"));
    f.host.m_review = 2;
    f.open({600, 400});
    auto* up = f.page.findChild<QToolButton*>("UpBtn2");
    auto* down = f.page.findChild<QToolButton*>("DownBtn2");
    auto* del = f.page.findChild<QToolButton*>("DelPic2");
    ASSERT_TRUE(up && down && del);
    // The thumbnail 8 x 8 shows as 80 x 80 at (x + 5, 5).
    auto thumbnails = [&] {
        const QImage img = f.picture();
        std::vector<QColor> out;
        for (int x = 0; x + 90 <= f.grid->width() && int(out.size()) < int(f.host.document().Slides.Count()); x += 90)
            out.push_back(QColor(img.pixel(x + 45, 45)));
        return out;
    };
    const QColor red(255, 0, 0), green(0, 255, 0), yellow(255, 255, 0);

    up->click();
    EXPECT_EQ(f.host.names(), (QStringList{"/a/gruen.bmp", "/a/rot.bmp", "/a/gelb.bmp"}));
    EXPECT_EQ(f.host.m_review, 1);
    EXPECT_EQ(f.host.listUpdates, 1);
    EXPECT_EQ(thumbnails(), (std::vector<QColor>{green, red, yellow}));
    EXPECT_EQ(QColor(f.picture().pixel(3, 3)), QColor(0, 0, 255)); // the review band went along

    up->click(); // already first
    EXPECT_EQ(f.host.listUpdates, 1);
    down->click();
    down->click();
    EXPECT_EQ(f.host.names(), (QStringList{"/a/rot.bmp", "/a/gelb.bmp", "/a/gruen.bmp"}));
    EXPECT_EQ(f.host.m_review, 3);
    down->click(); // already last
    EXPECT_EQ(f.host.listUpdates, 3);

    f.host.m_review = 1;
    del->click(); // removing the first keeps index 1
    EXPECT_EQ(f.host.names(), (QStringList{"/a/gelb.bmp", "/a/gruen.bmp"}));
    EXPECT_EQ(f.host.m_review, 1);
    EXPECT_EQ(thumbnails(), (std::vector<QColor>{yellow, green}));
    EXPECT_EQ(f.host.status, "Thumbnail: 1 von 2");
    del->click();
    del->click();
    EXPECT_EQ(f.host.document().Slides.Count(), 0u);
    EXPECT_EQ(f.host.m_review, 1);
    EXPECT_EQ(f.host.listUpdates, 6);
    del->click(); // nothing left
    EXPECT_EQ(f.host.listUpdates, 6);
    f.picture();
    EXPECT_EQ(f.host.status, "Bild: keins   ");
    EXPECT_EQ(f.grid->height(), 110);
}

TEST(ReviewPage, KeysAndWheelScrollTheGrid)
{
    PageFixture f;
    for (int i = 0; i < 40; ++i)
        f.host.add(8, 8, 0x808000, QStringLiteral("%1.bmp").arg(i));
    f.open({500, 220});
    const int columns = f.grid->width() / 90;
    const int visible = f.scrollBox->viewport()->height();
    ASSERT_GE(columns, 1);
    ASSERT_LT(visible, 200); // less than two rows shown
    EXPECT_EQ(f.grid->width(), f.scrollBox->viewport()->width());
    EXPECT_EQ(f.grid->height(), (40 / columns + 1) * 110);

    // Down to the last row and back up: the review frame is always shown whole.
    auto frameShown = [&] {
        const int row = (f.host.m_review - 1) / columns;
        const int p = f.scroll();
        return 110 * row + 2 >= p && 110 * row + 108 <= p + visible;
    };
    for (int i = 0; i < 40 / columns + 1; ++i) {
        f.key(Qt::Key_Down);
        EXPECT_TRUE(frameShown()) << f.host.m_review << " at " << f.scroll();
    }
    EXPECT_GT(f.host.m_review, 40 - columns);
    EXPECT_GT(f.scroll(), 0);
    // The top row is out of view and so not drawn.
    ASSERT_GT(f.scroll(), 110);
    EXPECT_EQ(QColor(f.picture().pixel(2, 2)), f.grid->palette().window().color());
    for (int i = 0; i < 40 / columns + 1; ++i) {
        f.key(Qt::Key_Up);
        EXPECT_TRUE(frameShown()) << f.host.m_review << " at " << f.scroll();
    }
    EXPECT_EQ(f.scroll(), 2); // the first row's frame top

    // A click on a frame reaching below the shown part scrolls it up whole.
    const int firstHidden = (visible / 110) * columns; // the first slide of the row cut off
    f.mouse(QEvent::MouseButtonPress, {45, 110 * (firstHidden / columns) + 2});
    EXPECT_EQ(f.host.m_review, firstHidden + 1);
    EXPECT_EQ(f.scroll(), 110 * (firstHidden / columns) + 108 - visible);

    // The wheel: 20 pixels a notch.
    f.scrollBox->verticalScrollBar()->setValue(100);
    f.page.WheelScroll(1);
    EXPECT_EQ(f.scroll(), 120);
    f.page.WheelScroll(-3);
    EXPECT_EQ(f.scroll(), 60);
    QWidget* viewport = f.scrollBox->viewport();
    auto turn = [&](int delta) {
        QWheelEvent wheel(QPointF(10, 10), viewport->mapToGlobal(QPointF(10, 10)), QPoint(), QPoint(0, delta),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewport, &wheel);
    };
    turn(-120); // towards the user: down
    EXPECT_EQ(f.scroll(), 80);
    turn(240);
    EXPECT_EQ(f.scroll(), 40);
    turn(60); // half a notch waits for the other half
    EXPECT_EQ(f.scroll(), 40);
    turn(60);
    EXPECT_EQ(f.scroll(), 20);
}
