#include "editor/reviewgrid.h"

#include <algorithm>
#include <cstdint>

namespace editor {

ReviewGrid::ReviewGrid(int gridWidth, int slideCount)
    : m_columns(std::max(1, gridWidth / ReviewCellWidth)), m_count(std::max(0, slideCount))
{
}

QPoint ReviewGrid::cellCorner(int slide) const
{
    return {ReviewCellWidth * (slide % m_columns), ReviewCellHeight * (slide / m_columns)};
}

QRect ReviewGrid::frame(int slide) const
{
    const QPoint c = cellCorner(slide);
    return QRect(QPoint(c.x() + 2, c.y() + 2), QPoint(c.x() + 88, c.y() + 108));
}

int ReviewGrid::slideAt(QPoint point) const
{
    if (point.x() < 0 || point.y() < 0)
        return -1;
    const int column = point.x() / ReviewCellWidth;
    if (column >= m_columns)
        return -1;
    const int64_t slide = int64_t(point.y() / ReviewCellHeight) * m_columns + column;
    if (slide >= m_count)
        return -1;
    return frame(int(slide)).contains(point) ? int(slide) : -1;
}

bool ReviewGrid::cellVisible(int slide, int scrollPos, int visibleHeight) const
{
    const int top = cellCorner(slide).y();
    return top + ReviewCellHeight >= scrollPos && top <= scrollPos + visibleHeight;
}

QSize thumbnailSize(int pictureWidth, int pictureHeight)
{
    if (pictureWidth <= 0 || pictureHeight <= 0)
        return {0, 0};
    int tw = ReviewThumbSize;
    int th = int(int64_t(ReviewThumbSize) * pictureHeight / pictureWidth);
    if (th > ReviewThumbSize) {
        th = ReviewThumbSize;
        tw = int(int64_t(pictureWidth) * ReviewThumbSize / pictureHeight);
    }
    return {tw, th};
}

namespace {
// The pixels of the rectangle from (left, top) up to but not including
// (right, bottom); empty when it has none.
QRect span(int left, int top, int right, int bottom)
{
    if (right <= left || bottom <= top)
        return {};
    return QRect(left, top, right - left, bottom - top);
}
} // namespace

ThumbnailCell thumbnailCell(QPoint corner, int pictureWidth, int pictureHeight)
{
    const int x = corner.x();
    const int y = corner.y();
    const QSize t = thumbnailSize(pictureWidth, pictureHeight);
    const int px = x + 5 + (ReviewThumbSize - t.width()) / 2;
    const int py = y + 5 + (ReviewThumbSize - t.height()) / 2;

    ThumbnailCell cell;
    cell.picture = QRect(px, py, t.width(), t.height());
    // The frame's four lines, each drawn from its start up to but not
    // including its end: (x+2, y+2) -> (x+88, y+2) -> (x+88, y+108) ->
    // (x+2, y+108) -> (x+2, y+2).
    cell.blackTop = span(x + 2, y + 2, x + 88, y + 3);
    cell.greyRight = span(x + 88, y + 2, x + 89, y + 108);
    cell.greyBottom = span(x + 3, y + 108, x + 89, y + 109);
    cell.whiteLeft = span(x + 2, y + 3, x + 3, y + 109);
    // The bands inside (x+3, y+3) .. (x+87, y+107), right and bottom edges
    // excluded.
    cell.leftBand = span(x + 3, y + 3, px, y + 107);
    cell.topBand = span(x + 3, y + 3, x + 87, py);
    cell.bottomBand = span(x + 3, py + t.height(), x + 87, y + 107);
    cell.rightBand = span(px + t.width(), y + 3, x + 87, y + 107);
    cell.name = span(x + 3, y + 90, x + 87, y + 110);
    return cell;
}

ReviewStep reviewKeyStep(ReviewKey key, int index, int count, int columns)
{
    switch (key) {
    case ReviewKey::Up:
        return {index - columns > 0 ? index - columns : index, ReviewStep::ScrollAndRepaint};
    case ReviewKey::Down:
        return {index + columns <= count ? index + columns : index, ReviewStep::ScrollAndRepaint};
    case ReviewKey::Left:
        return {index - 1 > 0 ? index - 1 : index, ReviewStep::ScrollAndRepaint};
    case ReviewKey::Right:
        return {index + 1 <= count ? index + 1 : index, ReviewStep::ScrollAndRepaint};
    case ReviewKey::Enter:
        return {index, index >= 1 && index <= count ? ReviewStep::Edit : ReviewStep::None};
    }
    return {index, ReviewStep::None};
}

int scrollPositionFor(int index, const ReviewGrid& grid, int scrollPos, int visibleHeight)
{
    if (index < 1 || index > grid.count())
        return scrollPos;
    const QRect frame = grid.frame(index - 1);
    const int top = frame.top();       // y + 2
    const int bottom = frame.bottom(); // y + 108
    if (top < scrollPos)
        return top;
    if (bottom > scrollPos + visibleHeight)
        return bottom - visibleHeight;
    return scrollPos;
}

QString reviewStatusText(int index, int count)
{
    if (index <= count)
        return QStringLiteral("Thumbnail: %1 von %2").arg(index).arg(count);
    return QStringLiteral("Bild: keins   ");
}

ReviewEdit moveReviewSlideUp(show::ShowDocument& show, int index)
{
    const int n = int(show.Slides.Count());
    if (index < 2 || index > n)
        return {false, index};
    show.Slides.Exchange(index - 2, index - 1);
    return {true, index - 1};
}

ReviewEdit moveReviewSlideDown(show::ShowDocument& show, int index)
{
    const int n = int(show.Slides.Count());
    if (index < 1 || index > n - 1)
        return {false, index};
    show.Slides.Exchange(index - 1, index);
    return {true, index + 1};
}

ReviewEdit removeReviewSlide(show::ShowDocument& show, int index)
{
    const int n = int(show.Slides.Count());
    if (index < 1 || index > n)
        return {false, index};
    show::RemoveSlide(show, index - 1);
    if (int(show.Slides.Count()) == n) // the list could not shrink: nothing changed
        return {false, index};
    return {true, std::max(1, index - 1)};
}

} // namespace editor
