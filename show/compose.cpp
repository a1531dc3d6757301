#include "show/compose.h"

#include "platform/random.h"
#include "raster/drawdib.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace show {

namespace {

const TSlideRecord& slideAt(const TDynaArray& slides, int32_t i)
{
    return *ElementAt<TSlideRecord>(slides, uint32_t(i));
}

QColor toQColor(COLORREF c)
{
    return QColor(platform::GetRValue(c), platform::GetGValue(c), platform::GetBValue(c));
}

// Fills the part of rect that lies on the surface with colour.
void fillRect(QImage& image, QRect rect, COLORREF colour)
{
    rect &= image.rect();
    if (rect.isEmpty())
        return;
    if (image.format() != QImage::Format_BGR888) {
        QPainter(&image).fillRect(rect, toQColor(colour));
        return;
    }
    const uint8_t b = platform::GetBValue(colour), g = platform::GetGValue(colour), r = platform::GetRValue(colour);
    uint8_t* first = image.scanLine(rect.top()) + 3 * rect.left();
    for (int x = 0; x < rect.width(); ++x) {
        first[3 * x] = b;
        first[3 * x + 1] = g;
        first[3 * x + 2] = r;
    }
    for (int y = rect.top() + 1; y <= rect.bottom(); ++y)
        std::memcpy(image.scanLine(y) + 3 * rect.left(), first, size_t(3 * rect.width()));
}

struct Placed {
    int32_t px, py, pw, ph, dx, dy;
};

void drawComment(QPainter& painter, const TSlideRecord& m, const Placed& at, int32_t width, int32_t height,
                 int32_t desktopWidth)
{
    const TSlideFont& font = m.Font ? *m.Font : TSlideFont();
    // The font's height in the Windows sense (negative: a character
    // height), scaled from the desktop to the surface, rounded toward zero.
    const int64_t scaled = int64_t(-font.PixelHeight()) * width / desktopWidth;
    QFont qfont = font.toQFont();
    qfont.setPixelSize(std::max<int>(1, int(std::llabs(scaled))));
    painter.setFont(qfont);
    const QFontMetrics metrics(qfont);

    const QStringList lines = CommentLines(StringText(m.Comment));
    int32_t maxW = 0;
    int32_t totalH = 0;
    for (const QString& line : lines) {
        maxW = std::max(maxW, int32_t(metrics.horizontalAdvance(line)) + 2);
        totalH += metrics.height() + 2;
    }

    const int32_t position = m.TextPosition >= 0 && m.TextPosition <= 18 ? m.TextPosition : 1;
    const bool onPicture = position <= 8;
    const int32_t baseX = onPicture ? at.px : 0;
    const int32_t baseY = onPicture ? at.py : 0;
    const int32_t baseW = onPicture ? at.pw : width;
    const int32_t dx = onPicture ? at.dx : 0;
    const int32_t dy = onPicture ? at.dy : 0;

    int32_t r = 0;
    switch (position == 18 ? -1 : position / 3) {
    case 0: case 3: r = 0; break;
    case 1: r = (at.ph - totalH) / 2; break;
    case 2: r = at.ph - totalH - 10; break;
    case 4: r = (height - totalH) / 2; break;
    case 5: r = height - totalH - 10; break;
    default: r = int32_t(int64_t(m.UserTextY) * height / 100); break;
    }
    int32_t x = 0;
    switch (position % 3) {
    case 0: x = baseX + 10 + dx; break;
    case 1: x = baseX + (baseW - maxW) / 2 + dx; break;
    default: x = baseX + baseW - maxW - 10 + dx; break;
    }
    if (position == 18)
        x = int32_t(int64_t(m.UserTextX) * width / 100);

    const QColor textColour = toQColor(font.Color);
    const QColor borderColour = toQColor(m.BorderColor);
    const int ascent = metrics.ascent();
    for (const QString& line : lines) {
        const int32_t y = position == 18 ? r : baseY + r + dy;
        if (m.TextBorder == 1) {
            painter.setPen(borderColour);
            for (int a = -1; a <= 1; ++a)
                for (int b = -1; b <= 1; ++b)
                    painter.drawText(QPoint(x + a, y + b + ascent), line);
        }
        painter.setPen(textColour);
        painter.drawText(QPoint(x, y + ascent), line);
        r += metrics.height() + 2;
    }
}

} // namespace

int32_t DesktopWidth()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry().width() : 0;
}

PixelRect FrameBox(const TFrameRect& frame, int32_t width, int32_t height)
{
    PixelRect box;
    box.X = int32_t(int64_t(std::min(frame.Left, frame.Right)) * width / 1000);
    box.W = int32_t(std::llabs(int64_t(frame.Right) - frame.Left) * width / 1000);
    box.Y = int32_t(int64_t(std::min(frame.Top, frame.Bottom)) * height / 1000);
    box.H = int32_t(std::llabs(int64_t(frame.Bottom) - frame.Top) * height / 1000);
    if (box.H == 0)
        box.H = 1;
    if (box.W == 0)
        box.W = 1;
    return box;
}

void PictureSize(const PixelRect& box, bool keepAspect, int32_t pictureWidth, int32_t pictureHeight,
                 int32_t& pw, int32_t& ph)
{
    pw = box.W;
    ph = box.H;
    if (!keepAspect || pictureWidth <= 0 || pictureHeight <= 0)
        return;
    const int64_t c = int64_t(pictureHeight) * pw / pictureWidth;
    if (c > ph)
        pw = int32_t(int64_t(pictureWidth) * ph / pictureHeight);
    else
        ph = int32_t(c);
}

void PlacePicture(const PixelRect& box, int32_t placement, int32_t pw, int32_t ph, int32_t& px, int32_t& py)
{
    px = box.X;
    py = box.Y;
    const int32_t freeW = box.W - pw;
    const int32_t freeH = box.H - ph;
    switch (placement) {
    case 0: px += freeW / 2; py += freeH / 2; break;
    case 1: py += freeH / 2; break;
    case 2: px += freeW / 2; break;
    case 3: px += freeW; py += freeH / 2; break;
    case 4: px += freeW / 2; py += freeH; break;
    case 5: break;
    case 6: px += freeW; break;
    case 7: py += freeH; break;
    case 8: px += freeW; py += freeH; break;
    case 9:
        px += platform::Random(freeW);
        py += platform::Random(freeH);
        break;
    default: break;
    }
}

void PathOffset(const TSlideRecord& slide, int32_t elapsed, int32_t width, int32_t height, int32_t& dx, int32_t& dy)
{
    dx = dy = 0;
    const int32_t n = slide.Nodes ? int32_t(slide.Nodes->Count()) : 0;
    // A pause of no time has no path to travel.
    if (n == 0 || slide.PauseTime <= 0)
        return;
    const double s = double((int64_t(elapsed) - slide.TransTime) * n) / slide.PauseTime;
    if (!(s >= 0) || std::trunc(s) >= n)
        return;
    const int32_t k = int32_t(std::trunc(s));
    const TNodePoint prev = k == 0 ? TNodePoint{0, 0} : *ElementAt<TNodePoint>(*slide.Nodes, uint32_t(k - 1));
    const TNodePoint next = *ElementAt<TNodePoint>(*slide.Nodes, uint32_t(k));
    const double f = s - k;
    const int32_t qx = int32_t(std::trunc(f * (double(next.X) - prev.X) + prev.X));
    const int32_t qy = int32_t(std::trunc(f * (double(next.Y) - prev.Y) + prev.Y));
    dx = int32_t(int64_t(qx) * width / 1000);
    dy = int32_t(int64_t(qy) * height / 1000);
}

QStringList CommentLines(const QString& comment)
{
    QStringList lines;
    QString line;
    for (qsizetype i = 0; i < comment.size(); ++i) {
        const QChar c = comment[i];
        if (c == QChar(13))
            continue;
        if (c != QChar(10))
            line += c;
        if (c == QChar(10) || i == comment.size() - 1) {
            lines << (line.isEmpty() ? QStringLiteral(" ") : line);
            line.clear();
        }
    }
    return lines;
}

Composition ComposeSlide(TDynaArray& slides, int32_t current, int32_t width, int32_t height, int32_t elapsed,
                         uint32_t showSeed, platform::GdiBitmap& work, int32_t desktopWidth)
{
    Composition result;
    platform::RandSeed = showSeed;
    const int32_t count = int32_t(slides.Count());
    if (current < 0 || current >= count)
        return result;

    const SlideGroup group = CollageGroup(slides, current);
    const TSlideRecord& head = slideAt(slides, group.First);
    result.Composed = true;
    result.Head = group.First;
    result.EffectInUse = head.EffectInUse;
    result.TransTime = head.TransTime;
    result.TransitionRunning = head.TransTime >= elapsed;

    if (!work.resize(width, height))
        return result;
    if (desktopWidth <= 0)
        desktopWidth = DesktopWidth();
    if (desktopWidth <= 0)
        desktopWidth = width;

    platform::BitmapDC dc(&work);
    for (int32_t i = group.First; i < group.End; ++i) {
        const TSlideRecord& m = *static_cast<const TSlideRecord*>(slides.Select(i));
        const PixelRect box = FrameBox(m.Frame, width, height);
        const int32_t w = raster::DibWidth(m.Dib);
        const int32_t h = raster::DibHeight(m.Dib);
        const bool hasPicture = m.Dib.Bits && w > 0 && h > 0;
        Placed at{};
        PictureSize(box, m.KeepAspect == 1, hasPicture ? w : 0, hasPicture ? h : 0, at.pw, at.ph);
        PlacePicture(box, m.Placement, at.pw, at.ph, at.px, at.py);
        PathOffset(m, elapsed, width, height, at.dx, at.dy);
        const bool drawn = m.PictureVisible == 1 && hasPicture;
        if (i == group.First) {
            // The background: the first picture covers its rectangle
            // completely, so only the rest of the surface needs the colour.
            const QRect surface(0, 0, width, height);
            const QRect picture = drawn ? QRect(at.px + at.dx, at.py + at.dy, at.pw, at.ph) & surface : QRect();
            if (picture.isEmpty()) {
                work.fill(head.BackColor);
            } else {
                QImage& image = work.image();
                fillRect(image, QRect(0, 0, width, picture.top()), head.BackColor);
                fillRect(image, QRect(0, picture.bottom() + 1, width, height - picture.bottom() - 1), head.BackColor);
                fillRect(image, QRect(0, picture.top(), picture.left(), picture.height()), head.BackColor);
                fillRect(image, QRect(picture.right() + 1, picture.top(), width - picture.right() - 1, picture.height()),
                         head.BackColor);
            }
        }
        if (drawn)
            raster::DrawDib(&dc, at.px + at.dx, at.py + at.dy, at.pw, at.ph, m.Dib, 0, 0, w, h, true,
                            platform::SRCCOPY, true, nullptr);
        if (m.CommentVisible == 1 && m.Comment && m.Comment[0]) {
            QPainter painter(&work.image());
            drawComment(painter, m, at, width, height, desktopWidth);
        }
    }
    return result;
}

} // namespace show
