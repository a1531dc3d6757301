#pragma once
// The page "Sichten": every slide as a thumbnail in a scrolling grid. A
// click or the arrow keys pick the review slide (the main window keeps its
// index), the buttons move it one place earlier or later or remove it, and
// a double click or Enter opens its picture in the image editor.
//
// The main window puts the page on the tab "Bilder", calls refresh() after
// the slide list or the review index changed elsewhere, and forwards the
// mouse wheel (WheelScroll) while the page is shown.

#include "editor/editorhost.h"

#include <QPoint>
#include <QWidget>

class QLineEdit;
class QPainter;
class QScrollArea;
class QToolButton;

namespace editor {

class ReviewGridBox;

class ReviewPage : public QWidget {
    Q_OBJECT
public:
    ReviewPage(EditorHost& host, QWidget* parent);

    // Sizes the grid for the slides there are now and repaints it.
    void refresh();

    // Draws the grid (the painter is on PaintBox2) and sets the status
    // bar's text.
    void PaintBox2Paint(QPainter& painter);
    // A press at point (grid coordinates): the keyboard focus goes to the
    // key edit; the slide whose frame holds the point becomes the review
    // slide and is scrolled into view.
    void PaintBox2MouseDown(QPoint point);
    // Edits the review slide's picture in the image editor, when there is
    // such a slide, and repaints the grid afterwards.
    void PaintBox2DblClick();
    // Arrow keys move the review slide, Enter edits it (Qt key codes).
    // True when the key was one of them.
    bool KeyEditKeyDown(int key);
    // Scrolls the grid 20 pixels per notch of the wheel: positive notches
    // (the wheel turned down, towards the user) scroll down, negative ones
    // up. Qt's angleDelta().y() / 120 counts the other way round.
    void WheelScroll(int notches);
    // Scrolls so that the review slide's frame is shown whole.
    void ScrollImageInView();
    void UpBtn2Click();
    void DownBtn2Click();
    void DelPic2Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    int slideCount() const;
    // The grid as wide as the scroll box's client area and as high as its
    // rows.
    void updateGridSize();
    void repaintGrid();
    int scrollPosition() const;
    void setScrollPosition(int position);

    EditorHost& m_host;
    int m_wheelRest = 0; // wheel movement below one notch, kept for the next
    QLineEdit* KeyEdit = nullptr;
    QScrollArea* ScrollBox2 = nullptr;
    ReviewGridBox* PaintBox2 = nullptr;
    QToolButton* UpBtn2 = nullptr;
    QToolButton* DownBtn2 = nullptr;
    QToolButton* DelPic2 = nullptr;
};

} // namespace editor
