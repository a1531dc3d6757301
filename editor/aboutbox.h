#pragma once
// The editor's about box, made for each showing.

#include <QDialog>

namespace editor {

class AboutBox : public QDialog {
public:
    explicit AboutBox(QWidget* parent);
};

} // namespace editor
