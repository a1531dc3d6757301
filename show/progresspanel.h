#pragma once
// The owner-drawn progress panel of both programs' status bars: navy from
// the panel's left edge over percent of its width. A report below the last
// one repaints the whole status bar, so the bar is cleared before the
// smaller share is drawn; any other report only draws the share again over
// what is there.

#include <QWidget>

class QStatusBar;

namespace show {

// The rule alone: whether a report clears the bar first.
class ProgressRule {
public:
    // Stores percent (clamped to 0..100); true when the bar is to be
    // cleared before it is drawn.
    bool SetProStatus(int percent);
    int percent() const { return m_percent; }

private:
    int m_percent = 0;
};

class ProgressPanel : public QWidget {
public:
    // Sits in statusBar, 50 pixels wide.
    explicit ProgressPanel(QStatusBar* statusBar);

    // Draws the new share at once, so progress shows while work runs on
    // this thread.
    void SetProStatus(int percent);
    int percent() const { return m_rule.percent(); }
    // Where the panel was last drawn, in the status bar's coordinates.
    QRect panelRect() const { return m_panelRect; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QStatusBar* m_statusBar;
    ProgressRule m_rule;
    QRect m_panelRect;
};

} // namespace show
