#include "editor/slidepreview.h"

#include "platform/gdi.h"
#include "raster/drawdib.h"

#include <QPainter>

namespace editor {

QSize PreviewSize(QSize box, int pictureWidth, int pictureHeight)
{
    if (pictureWidth <= 0 || pictureHeight <= 0)
        return {};
    int width = box.width();
    int height = int(int64_t(box.width()) * pictureHeight / pictureWidth);
    if (height > box.height()) {
        height = box.height();
        width = int(int64_t(box.height()) * pictureWidth / pictureHeight);
    }
    return {width, height};
}

void DrawSlidePreview(QPainter& painter, QSize box, const raster::TDibRecord& picture)
{
    if (!picture.Bits)
        return;
    const int pw = raster::DibWidth(picture);
    const int ph = raster::DibHeight(picture);
    const QSize size = PreviewSize(box, pw, ph);
    if (size.isEmpty())
        return;
    platform::WindowDC dc(&painter);
    raster::DrawDib(&dc, 0, 0, size.width(), size.height(), picture, 0, 0, pw, ph, true,
                    platform::SRCCOPY, false, nullptr);
}

SlidePreviewBox::SlidePreviewBox(PictureOf picture, QWidget* parent)
    : QWidget(parent), m_picture(std::move(picture))
{
}

void SlidePreviewBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (const raster::TDibRecord* picture = m_picture ? m_picture() : nullptr)
        DrawSlidePreview(painter, size(), *picture);
}

} // namespace editor
