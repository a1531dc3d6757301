#include "editor/scanpage.h"

#include "editor/banner.h"
#include "platform/scanner.h"

#include <QHBoxLayout>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace editor {

namespace {
QToolButton* scanButton(QWidget* parent, const char* name, const QString& text, QStyle::StandardPixmap icon,
                        const QString& hint)
{
    auto* b = new QToolButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setText(text);
    b->setIcon(parent->style()->standardIcon(icon));
    b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    b->setToolTip(hint);
    b->setMinimumWidth(140);
    return b;
}
} // namespace

ScanPage::ScanPage(QObject* scanWindow, SlidePreviewBox::PictureOf picture, QWidget* parent)
    : QWidget(parent), m_scanWindow(scanWindow)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(MakeBanner(QStringLiteral("Motiv von einem Scanner oder einer Digitalkamera einlesen..."), this));
    auto* row = new QHBoxLayout;
    layout->addLayout(row, 1);
    auto* buttons = new QVBoxLayout;
    row->addLayout(buttons);
    TSetupBtn = scanButton(this, "TSetupBtn", QStringLiteral("Ger\u00e4t w\u00e4hlen..."), QStyle::SP_ComputerIcon,
                           QStringLiteral("Klicken Sie hier, um das Ger\u00e4t zu w\u00e4hlen, von dem das Bild geholt werden soll"));
    ScanBtn = scanButton(this, "ScanBtn", QStringLiteral("Bild holen..."), QStyle::SP_ArrowDown,
                         QStringLiteral("Klicken Sie hier, um das Benutzerinterface des Ger\u00e4tes zu starten"));
    buttons->addWidget(TSetupBtn);
    buttons->addWidget(ScanBtn);
    buttons->addStretch(1);
    ScanPaintBox = new SlidePreviewBox(std::move(picture), this);
    ScanPaintBox->setObjectName(QStringLiteral("ScanPaintBox"));
    row->addWidget(ScanPaintBox, 1);

    connect(TSetupBtn, &QToolButton::clicked, this, &ScanPage::TSetupBtnClick);
    connect(ScanBtn, &QToolButton::clicked, this, &ScanPage::ScanBtnClick);
}

void ScanPage::TSetupBtnClick()
{
    platform::TWAIN_SelectScanner(m_scanWindow);
}

void ScanPage::ScanBtnClick()
{
    platform::TWAIN_ScanImage(m_scanWindow);
}

void ScanPage::RepaintPreview()
{
    ScanPaintBox->update();
}

} // namespace editor
