#include "editor/pageshell.h"

#include "editor/banner.h"

#include <QVBoxLayout>

namespace editor {

PageShell::PageShell(const char* name, const QString& banner, QWidget* parent) : QWidget(parent)
{
    setObjectName(QLatin1String(name));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(MakeBanner(banner, this));
    layout->addStretch(1);
}

} // namespace editor
