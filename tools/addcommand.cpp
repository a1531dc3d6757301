// lumivox-tool add: pictures into a show, each becoming a slide as the
// editor adds it, read on every core while the show takes them in order.

#include "tools/commands.h"

#include "show/intake.h"
#include "show/showfile.h"

#include <QFileInfo>

#include <cstdio>

namespace tool {

int addPictures(const QStringList& args)
{
    if (args.size() < 2)
        return usage();
    const QString showPath = fromCommandLine(args[0]);
    show::ShowDocument document;
    // An existing file that is no show is left alone (the message is on
    // stderr already).
    if (QFileInfo::exists(showPath) && !show::OpenFile(document, showPath))
        return 1;

    QStringList paths;
    for (int i = 1; i < args.size(); ++i)
        paths << fromCommandLine(args[i]);
    QStringList notAdded;
    show::PictureIntake intake(paths);
    for (int i = 0; i < intake.count(); ++i) {
        show::LoadedPicture loaded = intake.take(i);
        if (!loaded.ok())
            show::ShowLoadFailure(loaded, paths[i]);
        if (!show::AddPictureSlide(document, loaded, paths[i]))
            notAdded << paths[i];
    }

    if (!show::SaveFile(document, showPath, false))
        return 1;
    // The reasons above need not name their files; this list does.
    for (const QString& path : notAdded)
        std::fprintf(stderr, "%s\n", QStringLiteral("Nicht hinzugef\u00fcgt: %1").arg(path).toUtf8().constData());
    return notAdded.isEmpty() ? 0 : 2;
}

} // namespace tool
