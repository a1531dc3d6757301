#pragma once
// Pictures of the editor's window for the demo run without a display: the
// window on each of its main tabs and their pages, saved as PNG files.

#include <QString>

namespace editor {

class TMainForm;

// Saves "editor-NN-TAB-PAGE.png" for every page of every main tab into
// folder; returns the number of files written.
int SaveScreenshots(TMainForm& form, const QString& folder);

} // namespace editor
