#pragma once
// The banner along the top of every editor page: what the page is for.

#include <QLabel>

namespace editor {

QLabel* MakeBanner(const QString& text, QWidget* parent);

} // namespace editor
