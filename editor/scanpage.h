#pragma once
// The page "Scannen": choosing the scanner, starting a scan, and a preview
// of the slide focused in the list of slides (a scan arrives as the last
// slide, focused).

#include "editor/slidepreview.h"

#include <QWidget>

class QToolButton;

namespace editor {

class ScanPage : public QWidget {
    Q_OBJECT
public:
    // scanWindow receives the scanner's messages; picture names the slide
    // the preview shows.
    ScanPage(QObject* scanWindow, SlidePreviewBox::PictureOf picture, QWidget* parent);

    void TSetupBtnClick();
    void ScanBtnClick();
    void RepaintPreview();

private:
    QObject* m_scanWindow;
    QToolButton* TSetupBtn = nullptr;
    QToolButton* ScanBtn = nullptr;
    SlidePreviewBox* ScanPaintBox = nullptr;
};

} // namespace editor
