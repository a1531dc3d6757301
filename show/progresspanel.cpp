#include "show/progresspanel.h"

#include <QPainter>
#include <QStatusBar>

#include <algorithm>

namespace show {

bool ProgressRule::SetProStatus(int percent)
{
    percent = std::clamp(percent, 0, 100);
    const bool clear = percent < m_percent;
    m_percent = percent;
    return clear;
}

ProgressPanel::ProgressPanel(QStatusBar* statusBar) : QWidget(statusBar), m_statusBar(statusBar)
{
    setFixedWidth(50);
}

void ProgressPanel::SetProStatus(int percent)
{
    if (m_rule.SetProStatus(percent)) {
        if (m_statusBar->isVisible())
            m_statusBar->repaint();
        return;
    }
    // Only the filled share is drawn again, over what the panel shows.
    if (isVisible())
        repaint(QRect(0, 0, width() * m_rule.percent() / 100, height()));
}

void ProgressPanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect r = rect();
    m_panelRect = QRect(mapTo(m_statusBar, r.topLeft()), r.size());
    const int filled = r.width() * m_rule.percent() / 100;
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x00, 0x00, 0x80));
    painter.drawRect(QRect(r.left(), r.top(), filled, r.height()));
}

} // namespace show
