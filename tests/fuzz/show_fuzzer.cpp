// The show file reader on hostile input: whatever the bytes, OpenFile
// either reads a show or leaves the one in memory as it was.

#include "platform/msgbox.h"
#include "show/showfile.h"

#include <QDir>
#include <QFile>

#include <unistd.h>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QString path = QDir::tempPath() + QStringLiteral("/lumivox-fuzz-%1.sli").arg(::getpid());
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            std::abort();
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    platform::MessageBoxScript quiet;
    show::ShowDocument document;
    show::AddBlankSlide(document);
    document.ShowFileName = QStringLiteral("vorher.sli");
    if (!show::OpenFile(document, path)) {
        // A rejected file changes nothing and says why, once.
        if (document.Slides.Count() != 1 || document.ShowFileName != QLatin1String("vorher.sli") ||
            quiet.shown().size() != 1)
            std::abort();
    }
    for (uint32_t i = 0; i < document.Slides.Count(); ++i) {
        const show::TSlideRecord& slide = *document.slide(i);
        if (!slide.Font || !slide.Nodes)
            std::abort();
    }
    return 0;
}
