#pragma once
// A page whose controls are still to come: its banner and nothing else.

#include <QWidget>

namespace editor {

class PageShell : public QWidget {
public:
    PageShell(const char* name, const QString& banner, QWidget* parent);
};

} // namespace editor
