#pragma once
// The small previews of the slide focused in the list of slides (on the
// pages "Bilder hinzufügen" and "Scannen"): the picture at the box's
// top-left corner, as large as fits with its shape kept.

#include "raster/dibrecord.h"

#include <QSize>
#include <QWidget>

#include <functional>

class QPainter;

namespace editor {

// The picture's size in a box of box: the box's width and the height that
// goes with it, or, when that is too high, the box's height and the width
// that goes with it (integer arithmetic). Empty for a picture without size.
QSize PreviewSize(QSize box, int pictureWidth, int pictureHeight);

// Draws picture (which may hold no pixels: nothing is drawn then) halftoned
// at (0, 0) in the preview size of box.
void DrawSlidePreview(QPainter& painter, QSize box, const raster::TDibRecord& picture);

// A paint box that shows the picture the given function names (null for
// none) each time it is painted.
class SlidePreviewBox : public QWidget {
public:
    using PictureOf = std::function<const raster::TDibRecord*()>;
    SlidePreviewBox(PictureOf picture, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    PictureOf m_picture;
};

} // namespace editor
