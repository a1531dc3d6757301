// Lumivox: the slideshow editor.
//
//   Lumivox [SHOW.sli]

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lumivox 3.0"));
    return 0;
}
