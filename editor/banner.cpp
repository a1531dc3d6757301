#include "editor/banner.h"

namespace editor {

QLabel* MakeBanner(const QString& text, QWidget* parent)
{
    auto* banner = new QLabel(text, parent);
    banner->setObjectName(QStringLiteral("Banner"));
    banner->setTextFormat(Qt::PlainText);
    banner->setMargin(6);
    banner->setAutoFillBackground(true);
    QPalette palette = banner->palette();
    palette.setColor(QPalette::Window, QColor(0x00, 0x00, 0x80));
    palette.setColor(QPalette::WindowText, Qt::white);
    banner->setPalette(palette);
    QFont font = banner->font();
    font.setBold(true);
    banner->setFont(font);
    return banner;
}

} // namespace editor
