#include "editor/aboutbox.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

namespace editor {

AboutBox::AboutBox(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("\u00dcber Lumivox"));
    auto* layout = new QVBoxLayout(this);
    auto* title = new QLabel(QStringLiteral("KOR-VAN Lumivox 3.0"), this);
    QFont font = title->font();
    font.setBold(true);
    font.setPointSize(font.pointSize() + 4);
    title->setFont(font);
    layout->addWidget(title);
    layout->addWidget(new QLabel(QStringLiteral("SlideShows aus Ihren Bildern: zusammenstellen, abspielen, "
                                                "als Video oder Web FotoAlbum weitergeben.\n"
                                                "Mit dem Bildbearbeitungsprogramm Pictorion."),
                                 this));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}

} // namespace editor
