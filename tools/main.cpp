// lumivox-tool: the library's work from the command line, for scripts,
// tests and benchmarks.
//
//   lumivox-tool convert IN OUT [--format N] [--quality Q]
//   lumivox-tool info FILE
//   lumivox-tool filter IN OUT NAME [ARG...] [--mask MASK] [--col1 C] [--col2 C] [--seed S]
//   lumivox-tool filter --list
//   lumivox-tool info SHOW.sli
//   lumivox-tool resave IN.sli OUT.sli
//   lumivox-tool add SHOW.sli PICTURE...     (status 0 all added, 2 saved without the
//                                             unreadable pictures, 1 not saved)
//   lumivox-tool fx A.bmp B.bmp OUT.bmp --effect K --elapsed E --duration T [--seed S] [--repeat N]
//   lumivox-tool render SHOW.sli OUT.bmp --slide N --at MS --size WxH [--desktop-width D] [--seed S]
//                [--effect K] [--repeat N]

#include "tools/commands.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QStringList>

#include <cstring>
#include <memory>

int main(int argc, char** argv)
{
    // Rendering a show draws text, which needs the graphical side of Qt;
    // without a display it draws off screen.
    const bool drawsText = argc > 1 && std::strcmp(argv[1], "render") == 0;
    if (drawsText && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QCoreApplication> app;
    if (drawsText)
        app = std::make_unique<QGuiApplication>(argc, argv);
    else
        app = std::make_unique<QCoreApplication>(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    using namespace tool;
    if (args.isEmpty())
        return usage();
    const QString command = args.takeFirst();
    if (command == QLatin1String("convert"))
        return convert(args);
    if (command == QLatin1String("info"))
        return args.size() == 1 && args[0].endsWith(QLatin1String(".sli"), Qt::CaseInsensitive) ? showInfo(args)
                                                                                                : pictureInfo(args);
    if (command == QLatin1String("resave"))
        return resave(args);
    if (command == QLatin1String("add"))
        return addPictures(args);
    if (command == QLatin1String("fx"))
        return fx(args);
    if (command == QLatin1String("render"))
        return render(args);
    if (command == QLatin1String("filter"))
        return filter(args);
    return usage();
}
