#pragma once
// The windows the editor makes at start-up, after its main window and in
// this order, each once for the life of the program. Windows that are not
// built yet stand in the list as empty dialogs with their caption, so the
// order and the names hold from the start.

#include <QList>
#include <QWidget>

namespace editor {

struct StartupForm {
    const char* name;    // the window's class name and objectName
    const char* caption; // UTF-8
};

// The start-up list, TShowForm last.
const QList<StartupForm>& StartupFormList();

// Makes every window of the list as a child of mainWindow, in order, and
// returns them in that order.
QList<QWidget*> CreateStartupForms(QWidget* mainWindow);

} // namespace editor
