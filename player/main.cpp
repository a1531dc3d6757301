// LumivoxPlayer: plays one show file and ends.
//
//   LumivoxPlayer [SHOW.sli]

#include "player/mainform.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lumivox 3.0"));
    player::TMainForm mainForm(app.arguments().mid(1));
    mainForm.show();
    return app.exec();
}
