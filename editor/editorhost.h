#pragma once
// What the editor's pages reach of the main window: the show it owns, the
// review slide, the lists it rebuilds and its status bar. The main window
// implements it; page tests give a small host of their own.

#include "show/slide.h"

#include <QString>
#include <QStringList>

namespace editor {

class EditorHost {
public:
    virtual ~EditorHost() = default;

    virtual show::ShowDocument& document() = 0;

    // The slide picked in the thumbnail review, 1-based; starts at 1 and
    // may be past the last slide.
    virtual int ReviewIndex() const = 0;
    virtual void SetReviewIndex(int index) = 0;

    // Rebuilds every list of slides after their number or order changed.
    virtual void UpdateListBox() = 0;
    // Adds one picture file as a slide; an empty path adds the scanned
    // picture. False when nothing was added (the user was told why).
    virtual bool AddFile(const QString& path) = 0;
    // Adds every file in order, as AddFile does for each.
    virtual void AddFiles(const QStringList& paths)
    {
        for (const QString& path : paths)
            AddFile(path);
    }

    // The status bar: its text panel, and its progress panel (0..100).
    virtual void SetStatusText(const QString& text) = 0;
    virtual void SetProStatus(int percent) = 0;

    // Hands slide index (0-based) to the image editor and takes it back.
    virtual void EditSlidePicture(int index) = 0;
    // Shows a slide's picture large, and prints it.
    virtual void ViewSlidePicture(int index) = 0;
    virtual void PrintSlidePicture(int index) = 0;

    // The program's folder, with a trailing separator.
    virtual QString ProgramFolder() const = 0;
};

} // namespace editor
