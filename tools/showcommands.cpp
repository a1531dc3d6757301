// lumivox-tool's show commands: what a show file holds, and reading and
// writing one again.

#include "tools/commands.h"

#include "raster/dibrecord.h"
#include "show/showfile.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace tool {

namespace {

QJsonObject fontJson(const show::TSlideFont& font)
{
    return {
        {"Charset", font.Charset},   {"Color", qint64(font.Color)},        {"Name", font.Name},
        {"Pitch", font.Pitch},       {"PixelsPerInch", font.PixelsPerInch}, {"Size", font.Size},
        {"Style", font.Style},
    };
}

QJsonValue pictureJson(const show::TSlideRecord& slide)
{
    if (!slide.Dib.Bits)
        return QJsonValue::Null;
    const show::TPictureBytes* kept = show::UnchangedPictureBytes(slide);
    const int format = kept ? kept->Format : (raster::DibBitCount(slide.Dib) == 24 ? 0 : 1);
    return QJsonObject{
        {"Format", format},
        {"Width", raster::DibWidth(slide.Dib)},
        {"Height", raster::DibHeight(slide.Dib)},
        {"BitCount", raster::DibBitCount(slide.Dib)},
    };
}

QJsonObject slideJson(const show::TSlideRecord& slide)
{
    QJsonArray nodes;
    for (uint32_t k = 0; slide.Nodes && k < slide.Nodes->Count(); ++k) {
        const auto* node = show::ElementAt<show::TNodePoint>(*slide.Nodes, k);
        nodes.append(QJsonArray{node->X, node->Y});
    }
    return {
        {"FileName", show::StringText(slide.FileName)},
        {"Comment", show::StringText(slide.Comment)},
        {"SoundFile", show::StringText(slide.SoundFile)},
        {"CommentVisible", slide.CommentVisible},
        {"PictureVisible", slide.PictureVisible},
        {"Effect", slide.Effect},
        {"SizeMode", slide.SizeMode},
        {"TransTime", slide.TransTime},
        {"PauseTime", slide.PauseTime},
        {"TextPosition", slide.TextPosition},
        {"Placement", slide.Placement},
        {"BackColor", qint64(slide.BackColor)},
        {"BorderColor", qint64(slide.BorderColor)},
        {"KeepAspect", slide.KeepAspect},
        {"TextBorder", slide.TextBorder},
        {"SoundMode", slide.SoundMode},
        {"CollageMember", slide.CollageMember},
        {"Frame", QJsonArray{slide.Frame.Left, slide.Frame.Top, slide.Frame.Right, slide.Frame.Bottom}},
        {"UserSize", slide.UserSize},
        {"UserPicX", slide.UserPicX},
        {"UserPicY", slide.UserPicY},
        {"UserTextX", slide.UserTextX},
        {"UserTextY", slide.UserTextY},
        {"Nodes", nodes},
        {"Picture", pictureJson(slide)},
        {"Font", slide.Font ? fontJson(*slide.Font) : QJsonObject()},
    };
}

} // namespace

QString fromCommandLine(const QString& name)
{
    return QFileInfo(name).absoluteFilePath();
}

int showInfo(const QStringList& args)
{
    if (args.size() != 1)
        return usage();
    show::ShowDocument document;
    if (!show::OpenFile(document, fromCommandLine(args[0])))
        return 1; // the message is on stderr already
    QJsonArray slides;
    for (uint32_t i = 0; i < document.Slides.Count(); ++i)
        slides.append(slideJson(*document.slide(i)));
    const QJsonObject json{
        {"MusicFile", document.Settings.MusicFile},
        {"EndMode", document.Settings.EndMode},
        {"FullScreen", document.Settings.FullScreen ? 1 : 0},
        {"PlayBar", document.Settings.PlayBar ? 1 : 0},
        {"Slides", slides},
    };
    std::fputs(QJsonDocument(json).toJson(QJsonDocument::Indented).constData(), stdout);
    return 0;
}

int resave(const QStringList& args)
{
    if (args.size() != 2)
        return usage();
    show::ShowDocument document;
    if (!show::OpenFile(document, fromCommandLine(args[0])))
        return 1;
    return show::SaveFile(document, fromCommandLine(args[1]), false) ? 0 : 1;
}

} // namespace tool
