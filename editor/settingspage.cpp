#include "editor/settingspage.h"

#include "editor/banner.h"

#include <QHBoxLayout>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace editor {

SettingsPage::SettingsPage(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("SettingsPage"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(MakeBanner(QStringLiteral("Bild Einstellungen - Bild ausw\u00e4hlen und Einstellungen treffen"), this));
    auto* buttons = new QHBoxLayout;
    AddFilesBtn = new QToolButton(this);
    AddFilesBtn->setObjectName(QStringLiteral("AddFilesBtn"));
    AddFilesBtn->setIcon(style()->standardIcon(QStyle::SP_FileDialogNewFolder));
    AddFilesBtn->setText(QStringLiteral("Bilder hinzuf\u00fcgen"));
    AddFilesBtn->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    AddFilesBtn->setToolTip(QStringLiteral("Bilder hinzuf\u00fcgen"));
    buttons->addWidget(AddFilesBtn);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    layout->addStretch(1);
    connect(AddFilesBtn, &QToolButton::clicked, this, &SettingsPage::AddFilesBtnClicked);
}

} // namespace editor
