// Lumivox: the slideshow editor.
//
//   Lumivox [SHOW.sli]
//
// With LUMIVOX_SCREENSHOTS set to a folder, the editor opens the show,
// saves a picture of its window on every page into that folder and ends
// (the demo run without a display). With LUMIVOX_EXIT_AFTER_START set, it
// ends as soon as its window has been drawn with the show loaded, printing
// how long that took (the start-up benchmark).

#include "editor/mainform.h"
#include "editor/screenshots.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>

#include <cstdio>

int main(int argc, char** argv)
{
    QElapsedTimer started;
    started.start();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lumivox 3.0"));
    // Qt's own dialogs (files, fonts, colours) speak German as well.
    QTranslator qtGerman;
    if (qtGerman.load(QLocale(QLocale::German), QStringLiteral("qtbase"), QStringLiteral("_"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtGerman);

    const QStringList arguments = app.arguments().mid(1);
    editor::TMainForm mainForm(arguments);
    mainForm.CreateStartupForms();
    mainForm.show();

    // The command line's show is opened once the window is up.
    auto waitForShow = [&] {
        QDeadlineTimer deadline(30000);
        while (!arguments.isEmpty() && mainForm.SavedFileName().isEmpty() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    };
    if (qEnvironmentVariableIsSet("LUMIVOX_EXIT_AFTER_START")) {
        QTimer::singleShot(0, &mainForm, [&] {
            waitForShow();
            mainForm.repaint();
            std::printf("%lld ms bis zum Fenster mit der Show\n", static_cast<long long>(started.elapsed()));
            std::fflush(stdout);
            QCoreApplication::exit(0);
        });
    }
    const QString shots = qEnvironmentVariable("LUMIVOX_SCREENSHOTS");
    if (!shots.isEmpty()) {
        QTimer::singleShot(0, &mainForm, [&] {
            waitForShow();
            const int written = editor::SaveScreenshots(mainForm, shots);
            std::printf("%d Bildschirmfotos gespeichert\n", written);
            std::fflush(stdout);
            QCoreApplication::exit(written > 0 ? 0 : 1);
        });
    }
    return app.exec();
}
