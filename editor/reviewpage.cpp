#include "editor/reviewpage.h"

#include "editor/banner.h"
#include "editor/reviewgrid.h"
#include "platform/gdi.h"
#include "platform/paths.h"
#include "raster/drawdib.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>

namespace editor {

namespace {
// Scroll distance of one wheel notch, in pixels.
constexpr int WheelStep = 20;
// Qt's angle delta of one notch.
constexpr int WheelNotch = 120;

// The frame's and the background's colours.
const QColor FrameBlack(0, 0, 0);
const QColor FrameGrey(0x80, 0x80, 0x80);
const QColor FrameWhite(0xFF, 0xFF, 0xFF);
const QColor ReviewBlue(0, 0, 0xFF);
const QColor OtherSilver(0xC0, 0xC0, 0xC0);

QToolButton* gridButton(QWidget* parent, const char* name, QStyle::StandardPixmap icon, const QString& text,
                        const QString& hint)
{
    auto* b = new QToolButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setText(text); // shown only where the style has no such icon
    b->setIcon(parent->style()->standardIcon(icon));
    b->setIconSize(QSize(24, 24));
    b->setToolTip(hint);
    return b;
}
} // namespace

// The grid of thumbnails: the page paints it and takes its clicks.
class ReviewGridBox : public QWidget {
public:
    ReviewGridBox(ReviewPage& page, QWidget* parent) : QWidget(parent), m_page(page) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        m_page.PaintBox2Paint(painter);
    }
    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton)
            m_page.PaintBox2MouseDown(event->position().toPoint());
    }
    // A double click's second press picks the slide under it too, then
    // opens the review slide.
    void mouseDoubleClickEvent(QMouseEvent* event) override
    {
        if (event->button() != Qt::LeftButton)
            return;
        m_page.PaintBox2MouseDown(event->position().toPoint());
        m_page.PaintBox2DblClick();
    }

private:
    ReviewPage& m_page;
};

ReviewPage::ReviewPage(EditorHost& host, QWidget* parent) : QWidget(parent), m_host(host)
{
    setObjectName(QStringLiteral("ReviewPage"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(MakeBanner(
        QStringLiteral("Bilder sichten - Hier k\u00f6nnen Sie das hinzugef\u00fcgte Bildmaterial sichten"), this));
    auto* row = new QHBoxLayout;
    layout->addLayout(row, 1);

    // The key edit lies in the same place as the grid, beneath it: never
    // seen, but it holds the keyboard focus for the arrow keys and Enter.
    auto* gridCell = new QGridLayout;
    gridCell->setContentsMargins(0, 0, 0, 0);
    row->addLayout(gridCell, 1);
    KeyEdit = new QLineEdit(this);
    KeyEdit->setObjectName(QStringLiteral("KeyEdit"));
    KeyEdit->setReadOnly(true);
    gridCell->addWidget(KeyEdit, 0, 0, Qt::AlignLeft | Qt::AlignTop);

    ScrollBox2 = new QScrollArea(this);
    ScrollBox2->setObjectName(QStringLiteral("ScrollBox2"));
    ScrollBox2->setFocusPolicy(Qt::NoFocus);
    ScrollBox2->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ScrollBox2->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    ScrollBox2->setWidgetResizable(false);
    PaintBox2 = new ReviewGridBox(*this, ScrollBox2);
    PaintBox2->setObjectName(QStringLiteral("PaintBox2"));
    ScrollBox2->setWidget(PaintBox2);
    gridCell->addWidget(ScrollBox2, 0, 0);
    KeyEdit->stackUnder(ScrollBox2);
    ScrollBox2->viewport()->installEventFilter(this);
    KeyEdit->installEventFilter(this);

    auto* buttons = new QVBoxLayout;
    row->addLayout(buttons);
    UpBtn2 = gridButton(this, "UpBtn2", QStyle::SP_ArrowUp, QStringLiteral("Hoch"),
                        QStringLiteral("Nach oben verschieben (umsortieren)"));
    DownBtn2 = gridButton(this, "DownBtn2", QStyle::SP_ArrowDown, QStringLiteral("Runter"),
                          QStringLiteral("Nach unten verschieben (umsortieren)"));
    DelPic2 = gridButton(this, "DelPic2", QStyle::SP_TrashIcon, QStringLiteral("Entfernen"),
                         QStringLiteral("Bild entfernen"));
    buttons->addWidget(UpBtn2);
    buttons->addWidget(DownBtn2);
    buttons->addSpacing(12);
    buttons->addWidget(DelPic2);
    buttons->addStretch(1);

    connect(UpBtn2, &QToolButton::clicked, this, &ReviewPage::UpBtn2Click);
    connect(DownBtn2, &QToolButton::clicked, this, &ReviewPage::DownBtn2Click);
    connect(DelPic2, &QToolButton::clicked, this, &ReviewPage::DelPic2Click);
}

int ReviewPage::slideCount() const
{
    return int(m_host.document().Slides.Count());
}

void ReviewPage::refresh()
{
    updateGridSize();
    repaintGrid();
}

void ReviewPage::updateGridSize()
{
    const int width = ScrollBox2->viewport()->width();
    const ReviewGrid grid(width, slideCount());
    const QSize size(width, grid.height());
    if (PaintBox2->size() != size)
        PaintBox2->resize(size);
}

void ReviewPage::repaintGrid()
{
    PaintBox2->update();
}

int ReviewPage::scrollPosition() const
{
    return ScrollBox2->verticalScrollBar()->value();
}

void ReviewPage::setScrollPosition(int position)
{
    ScrollBox2->verticalScrollBar()->setValue(position);
}

void ReviewPage::PaintBox2Paint(QPainter& painter)
{
    const show::ShowDocument& document = m_host.document();
    const int count = slideCount();
    const int index = m_host.ReviewIndex();
    const ReviewGrid grid(PaintBox2->width(), count);
    // The slide list may have changed without a refresh: the grid takes
    // its size as soon as this paint is done, and is painted again then.
    if (PaintBox2->height() != grid.height() || PaintBox2->width() != ScrollBox2->viewport()->width())
        QMetaObject::invokeMethod(this, &ReviewPage::refresh, Qt::QueuedConnection);

    const int scrollPos = scrollPosition();
    const int visibleHeight = ScrollBox2->viewport()->height();
    painter.fillRect(PaintBox2->rect(), PaintBox2->palette().window());
    platform::WindowDC dc(&painter);
    for (int i = 0; i < count; ++i) {
        if (!grid.cellVisible(i, scrollPos, visibleHeight))
            continue;
        const show::TSlideRecord& slide = *document.slide(uint32_t(i));
        const bool hasPixels = slide.Dib.Bits != nullptr;
        const int pw = hasPixels ? raster::DibWidth(slide.Dib) : 0;
        const int ph = hasPixels ? raster::DibHeight(slide.Dib) : 0;
        const ThumbnailCell cell = thumbnailCell(grid.cellCorner(i), pw, ph);

        painter.fillRect(cell.blackTop, FrameBlack);
        painter.fillRect(cell.greyRight, FrameGrey);
        painter.fillRect(cell.greyBottom, FrameGrey);
        painter.fillRect(cell.whiteLeft, FrameWhite);

        const QColor& band = i + 1 == index ? ReviewBlue : OtherSilver;
        for (const QRect& r : {cell.leftBand, cell.topBand, cell.bottomBand, cell.rightBand})
            if (!r.isEmpty())
                painter.fillRect(r, band);

        if (!cell.picture.isEmpty())
            raster::DrawDib(&dc, cell.picture.x(), cell.picture.y(), cell.picture.width(), cell.picture.height(),
                            slide.Dib, 0, 0, pw, ph, true, platform::SRCCOPY, true, nullptr);

        painter.setPen(Qt::black);
        painter.drawText(cell.name, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                         platform::ExtractFileName(show::StringText(slide.FileName)));
    }
    m_host.SetStatusText(reviewStatusText(index, count));
}

void ReviewPage::PaintBox2MouseDown(QPoint point)
{
    KeyEdit->setFocus(Qt::MouseFocusReason);
    const int slide = ReviewGrid(PaintBox2->width(), slideCount()).slideAt(point);
    if (slide >= 0 && slide + 1 != m_host.ReviewIndex())
        m_host.SetReviewIndex(slide + 1);
    ScrollImageInView();
    repaintGrid();
}

void ReviewPage::PaintBox2DblClick()
{
    const int index = m_host.ReviewIndex();
    if (index < 1 || index > slideCount())
        return;
    m_host.EditSlidePicture(index - 1);
    refresh();
}

bool ReviewPage::KeyEditKeyDown(int key)
{
    ReviewKey reviewKey;
    switch (key) {
    case Qt::Key_Up: reviewKey = ReviewKey::Up; break;
    case Qt::Key_Down: reviewKey = ReviewKey::Down; break;
    case Qt::Key_Left: reviewKey = ReviewKey::Left; break;
    case Qt::Key_Right: reviewKey = ReviewKey::Right; break;
    case Qt::Key_Return:
    case Qt::Key_Enter: reviewKey = ReviewKey::Enter; break;
    default: return false;
    }
    const int count = slideCount();
    const int index = m_host.ReviewIndex();
    const ReviewStep step = reviewKeyStep(reviewKey, index, count, ReviewGrid(PaintBox2->width(), count).columns());
    switch (step.action) {
    case ReviewStep::ScrollAndRepaint:
        if (step.index != index)
            m_host.SetReviewIndex(step.index);
        ScrollImageInView();
        repaintGrid();
        break;
    case ReviewStep::Edit:
        PaintBox2DblClick();
        break;
    case ReviewStep::None:
        break;
    }
    return true;
}

void ReviewPage::WheelScroll(int notches)
{
    setScrollPosition(scrollPosition() + WheelStep * notches);
}

void ReviewPage::ScrollImageInView()
{
    const ReviewGrid grid(PaintBox2->width(), slideCount());
    setScrollPosition(
        scrollPositionFor(m_host.ReviewIndex(), grid, scrollPosition(), ScrollBox2->viewport()->height()));
}

void ReviewPage::UpBtn2Click()
{
    const ReviewEdit edit = moveReviewSlideUp(m_host.document(), m_host.ReviewIndex());
    if (!edit.changed)
        return;
    m_host.SetReviewIndex(edit.index);
    m_host.UpdateListBox();
    updateGridSize();
    ScrollImageInView();
    repaintGrid();
}

void ReviewPage::DownBtn2Click()
{
    const ReviewEdit edit = moveReviewSlideDown(m_host.document(), m_host.ReviewIndex());
    if (!edit.changed)
        return;
    m_host.SetReviewIndex(edit.index);
    m_host.UpdateListBox();
    updateGridSize();
    ScrollImageInView();
    repaintGrid();
}

void ReviewPage::DelPic2Click()
{
    const ReviewEdit edit = removeReviewSlide(m_host.document(), m_host.ReviewIndex());
    if (!edit.changed)
        return;
    m_host.SetReviewIndex(edit.index);
    m_host.UpdateListBox();
    updateGridSize();
    ScrollImageInView();
    repaintGrid();
}

bool ReviewPage::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == KeyEdit && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
            return false;
        return KeyEditKeyDown(key->key());
    }
    if (watched == ScrollBox2->viewport()) {
        if (event->type() == QEvent::Resize) {
            updateGridSize();
        } else if (event->type() == QEvent::Wheel) {
            // The grid scrolls by the page's own step, never by the scroll
            // box's line step. Qt counts a turn away from the user positive.
            m_wheelRest += static_cast<QWheelEvent*>(event)->angleDelta().y();
            const int notches = m_wheelRest / WheelNotch;
            m_wheelRest -= notches * WheelNotch;
            if (notches != 0)
                WheelScroll(-notches);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void ReviewPage::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    refresh();
}

} // namespace editor
