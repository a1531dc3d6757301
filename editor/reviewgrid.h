#pragma once
// The rules of the thumbnail review, without widgets: where each slide's
// cell lies in the grid, which frame a click hits, how a thumbnail and the
// bands around it fill a cell, how the arrow keys move the review slide,
// where the grid scrolls to show it, what the status bar says, and how the
// review slide is moved or removed.
//
// Slides are 0-based in the geometry (slide i, cell i); the review index
// is 1-based, as the main window keeps it, and may name no slide.

#include "show/slide.h"

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

namespace editor {

constexpr int ReviewCellWidth = 90;
constexpr int ReviewCellHeight = 110;
// The largest thumbnail side.
constexpr int ReviewThumbSize = 80;

// The grid for a given width and number of slides: max(1, width div 90)
// columns, count div columns + 1 rows of 110-pixel cells.
class ReviewGrid {
public:
    ReviewGrid(int gridWidth, int slideCount);

    int columns() const { return m_columns; }
    int rows() const { return m_count / m_columns + 1; }
    int height() const { return rows() * ReviewCellHeight; }
    int count() const { return m_count; }

    // The top-left corner of slide i's cell.
    QPoint cellCorner(int slide) const;
    // Slide i's frame: x + 2 .. x + 88, y + 2 .. y + 108, both ends included.
    QRect frame(int slide) const;
    // The slide whose frame contains point (bounds included), -1 for none.
    int slideAt(QPoint point) const;
    // Whether slide i's cell is drawn when the grid is scrolled to
    // scrollPos and visibleHeight pixels of it are shown: cell top + 110 >=
    // scrollPos and cell top <= scrollPos + visibleHeight.
    bool cellVisible(int slide, int scrollPos, int visibleHeight) const;

private:
    int m_columns;
    int m_count;
};

// The thumbnail size of a picture: 80 wide and as high as its shape gives,
// or, when that is higher than 80, 80 high and as wide as its shape gives
// (integer arithmetic). A picture without size gets no thumbnail (0 x 0).
QSize thumbnailSize(int pictureWidth, int pictureHeight);

// What one cell holds, in grid coordinates. Rectangles are the pixels they
// cover (QRect's inclusive right and bottom).
struct ThumbnailCell {
    QRect picture;     // where the thumbnail is drawn, tw x th
    // The frame: a black top line, grey right and bottom lines, a white
    // left line, one pixel wide.
    QRect blackTop;
    QRect greyRight;
    QRect greyBottom;
    QRect whiteLeft;
    // The background around the thumbnail inside (x + 3, y + 3) ..
    // (x + 86, y + 106): left, top, bottom and right band. Together with
    // the picture they cover that area exactly once where they meet the
    // picture; the bands may overlap each other at the corners. A band can
    // be empty.
    QRect leftBand;
    QRect topBand;
    QRect bottomBand;
    QRect rightBand;
    QRect name;        // the file name part, left-aligned from the top
};
ThumbnailCell thumbnailCell(QPoint corner, int pictureWidth, int pictureHeight);

// The keys of the review.
enum class ReviewKey { Up, Down, Left, Right, Enter };

// What a key does to the review index.
struct ReviewStep {
    enum Action {
        None,             // nothing to do
        ScrollAndRepaint, // an arrow: show the (maybe unchanged) review slide
        Edit,             // Enter on a slide: open it in the image editor
    };
    int index;
    Action action;
};
// Up: index - columns when above 0; Down: index + columns when at most
// count; Left: index - 1 when above 0; Right: index + 1 when at most count;
// any arrow scrolls and repaints, moved or not. Enter edits when the index
// names a slide.
ReviewStep reviewKeyStep(ReviewKey key, int index, int count, int columns);

// The scroll position that shows the review slide's frame, from scrollPos
// with visibleHeight pixels shown: the frame's top when it lies above,
// its bottom - visibleHeight when it lies below, else scrollPos. An index
// that names no slide leaves scrollPos.
int scrollPositionFor(int index, const ReviewGrid& grid, int scrollPos, int visibleHeight);

// The status bar's text: "Thumbnail: 3 von 12", or "Bild: keins   " when
// the index is past the last slide.
QString reviewStatusText(int index, int count);

// The review index after moving or removing the review slide, and whether
// the slide list changed (the lists then need rebuilding and the grid a
// repaint).
struct ReviewEdit {
    bool changed;
    int index;
};
// Slide index changes place with the one before it (when 2 <= index <= n);
// the index follows it.
ReviewEdit moveReviewSlideUp(show::ShowDocument& show, int index);
// Slide index changes place with the one after it (when 1 <= index <=
// n - 1); the index follows it.
ReviewEdit moveReviewSlideDown(show::ShowDocument& show, int index);
// Slide index is released and removed (when 1 <= index <= n); the index
// goes one back, to 1 at the least.
ReviewEdit removeReviewSlide(show::ShowDocument& show, int index);

} // namespace editor
