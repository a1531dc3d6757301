#include "editor/startupforms.h"

#include "show/showform.h"

#include <QDialog>

namespace editor {

const QList<StartupForm>& StartupFormList()
{
    static const QList<StartupForm> list = {
        {"TDistributeForm", "SlideShow weitergeben"},
        {"TViewPicForm", "Bild betrachten..."},
        {"TUDPosForm", "Benutzerdefiniere Position"},
        {"THKForm2", "Helligkeit und Kontrast"},
        {"TDIBMainForm", "Lumivox: Pictorion"},
        {"TAddTextForm", "Text hinzuf\u00fcgen"},
        {"TNewForm", "Neues Bild"},
        {"TConfigBars", "Werkzeugleisten"},
        {"TPosterFaktor", "Tiefe beschr\u00e4nken..."},
        {"TSolarfaktor", "Solarisieren..."},
        {"TResizeForm", "Gr\u00f6\u00dfe ver\u00e4ndern"},
        {"TRotateForm", "Bild rotieren..."},
        {"TPaleditForm", "Farbpalette editieren"},
        {"TColizeForm", "Colorieren..."},
        {"TLightForm", "Glanzlicht, Mitte, Schatten"},
        {"TWoelbenForm", "W\u00f6lben"},
        {"TAddBForm", "Rand hinzuf\u00fcgen"},
        {"TButtonForm", "Druckknopf erstellen"},
        {"TCanvasSForm", "Leinwandgr\u00f6\u00dfe \u00e4ndern"},
        {"TDelNoiseForm", "St\u00f6rungen entfernen"},
        {"TGammaForm", "Gamma Korrektur"},
        {"THKForm", "Helligkeit, Kontrast und S\u00e4ttigung"},
        {"TJPEGQForm", "JPEG-Speicherqualit\u00e4t setzen"},
        {"TMosaikForm", "Mosaik Effekt..."},
        {"TPerspForm", "Perspektive/Schr\u00e4gstellen"},
        {"TRGBForm", "Rot, Gr\u00fcn, Blau"},
        {"TNoiseForm", "St\u00f6rungen hinzuf\u00fcgen"},
        {"TShadowForm", "Schatten hinzuf\u00fcgen"},
        {"TUserFilterForm", "Benutzerdefinierte Filter"},
        {"TFilterEditForm", "Benutzerdefinierter Filter"},
        {"TDepthDownForm", "Farbtiefe verkleinern..."},
        {"TDepthChangeForm", "Farbtiefe \u00e4ndern"},
        {"TFreeDepthForm", "Farbtiefe verkleinern..."},
        {"TShowForm", ""},
    };
    return list;
}

QList<QWidget*> CreateStartupForms(QWidget* mainWindow)
{
    QList<QWidget*> forms;
    for (const StartupForm& entry : StartupFormList()) {
        const QString name = QLatin1String(entry.name);
        QWidget* form = nullptr;
        if (name == QLatin1String("TShowForm")) {
            form = new show::TShowForm(mainWindow);
        } else {
            auto* dialog = new QDialog(mainWindow);
            dialog->setObjectName(name);
            dialog->setWindowTitle(QString::fromUtf8(entry.caption));
            form = dialog;
        }
        forms << form;
    }
    return forms;
}

} // namespace editor
