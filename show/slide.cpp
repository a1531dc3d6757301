#include "show/slide.h"

#include "platform/paths.h"
#include "platform/random.h"
#include "raster/fingerprint.h"
#include "raster/rasterio.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace show {

int32_t TSlideFont::PixelHeight() const
{
    if (PixelsPerInch <= 0)
        return std::abs(Size);
    // Size * PixelsPerInch / 72, rounded to the nearest pixel.
    return int32_t(std::llround(std::abs(double(Size)) * PixelsPerInch / 72.0));
}

QFont TSlideFont::toQFont() const
{
    QFont font(Name);
    font.setPixelSize(std::max(1, PixelHeight()));
    font.setBold(Style & Bold);
    font.setItalic(Style & Italic);
    font.setUnderline(Style & Underline);
    font.setStrikeOut(Style & StrikeOut);
    if (Pitch == 2)
        font.setFixedPitch(true);
    return font;
}

ShowDocument::ShowDocument()
    : Slides(sizeof(TSlideRecord), reinterpret_cast<void**>(&CurrentSlide))
{
}

ShowDocument::~ShowDocument()
{
    ClearSlides(Slides);
}

char* NewString(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    char* s = static_cast<char*>(std::malloc(size_t(bytes.size()) + 1));
    if (!s)
        return nullptr;
    std::memcpy(s, bytes.constData(), size_t(bytes.size()));
    s[bytes.size()] = '\0';
    return s;
}

QString StringText(const char* s)
{
    return s ? QString::fromUtf8(s) : QString();
}

void SetString(char*& field, const QString& text)
{
    std::free(field);
    field = NewString(text);
}

TSlideRecord* AddBlankSlide(TDynaArray& slides, void** currentNode)
{
    auto* nodes = new TDynaArray(sizeof(TNodePoint), currentNode);
    auto* slide = static_cast<TSlideRecord*>(slides.Add());
    if (!slide) {
        delete nodes;
        return nullptr;
    }
    slide->Nodes = nodes;
    slide->Font = new TSlideFont;
    return slide;
}

TSlideRecord* AddBlankSlide(ShowDocument& show)
{
    return AddBlankSlide(show.Slides, reinterpret_cast<void**>(&show.CurrentNode));
}

void SetNewSlideValues(TSlideRecord& slide)
{
    slide.CollageMember = 0;
    slide.CommentVisible = 1;
    slide.PictureVisible = 1;
    slide.Placement = 0;
    slide.Effect = 0;
    slide.TransTime = 1000;
    slide.PauseTime = 3000;
    slide.TextPosition = 1;
    slide.Frame = {0, 0, 1000, 1000};
    slide.BackColor = 0;
    slide.BorderColor = 0;
    slide.KeepAspect = 1;
    slide.TextBorder = 1;
    slide.SoundMode = 1;
    slide.UserSize = 100;
    slide.UserPicX = 0;
    slide.UserPicY = 0;
    slide.UserTextX = 0;
    slide.UserTextY = 0;
    if (slide.Font)
        *slide.Font = TSlideFont();
}

TSlideRecord* AddNewSlide(ShowDocument& show, const TDibRecord& picture, const QString& fileName)
{
    TSlideRecord* slide = AddBlankSlide(show);
    if (!slide)
        return nullptr;
    slide->Dib = picture;
    slide->FileName = NewString(fileName);
    SetNewSlideValues(*slide);
    return slide;
}

void ReleaseSlide(TSlideRecord& slide)
{
    if (slide.Dib.Bits || slide.Dib.Info)
        raster::deldib(slide.Dib);
    std::free(slide.FileName);
    std::free(slide.Comment);
    std::free(slide.SoundFile);
    delete slide.Font;
    delete slide.Nodes;
    delete slide.PictureBytes;
    std::memset(static_cast<void*>(&slide), 0, sizeof slide);
}

void RemoveSlide(TDynaArray& slides, int32_t i)
{
    if (i < 0 || uint32_t(i) >= slides.Count())
        return;
    // Released only once the element is really gone, so a failed delete
    // leaves a whole slide behind.
    TSlideRecord removed = *ElementAt<TSlideRecord>(slides, uint32_t(i));
    const uint32_t before = slides.Count();
    slides.Delete(i);
    if (slides.Count() < before)
        ReleaseSlide(removed);
}

void RemoveSlide(ShowDocument& show, int32_t i)
{
    RemoveSlide(show.Slides, i);
}

void ClearSlides(TDynaArray& slides)
{
    for (uint32_t i = 0; i < slides.Count(); ++i)
        ReleaseSlide(*ElementAt<TSlideRecord>(slides, i));
    slides.Clear();
}

void SetSlidePicture(TSlideRecord& slide, const TDibRecord& picture)
{
    if (slide.Dib.Bits || slide.Dib.Info)
        raster::deldib(slide.Dib);
    slide.Dib = picture;
    PictureChanged(slide);
}

void KeepPictureBytes(TSlideRecord& slide, uint8_t format, std::vector<uint8_t> bytes, uint64_t fingerprint)
{
    if (!slide.PictureBytes)
        slide.PictureBytes = new TPictureBytes;
    TPictureBytes& kept = *slide.PictureBytes;
    kept.Format = format;
    kept.Bytes = std::move(bytes);
    kept.Fingerprint = fingerprint ? fingerprint : raster::DibFingerprint(slide.Dib);
}

void PictureChanged(TSlideRecord& slide)
{
    delete slide.PictureBytes;
    slide.PictureBytes = nullptr;
}

const TPictureBytes* UnchangedPictureBytes(const TSlideRecord& slide)
{
    const TPictureBytes* kept = slide.PictureBytes;
    if (!kept || !slide.Dib.Bits || kept->Fingerprint != raster::DibFingerprint(slide.Dib))
        return nullptr;
    return kept;
}

bool IsVideoSlide(const TSlideRecord& slide)
{
    const QString ext = platform::ExtractFileExt(StringText(slide.FileName)).toUpper();
    return ext == QLatin1String(".AVI") || ext == QLatin1String(".MPE") || ext == QLatin1String(".MPA") ||
           ext == QLatin1String(".MPG") || ext == QLatin1String(".MPEG");
}

SlideGroup CollageGroup(const TDynaArray& slides, int32_t i)
{
    const int32_t count = int32_t(slides.Count());
    auto at = [&slides](int32_t k) -> const TSlideRecord& { return *ElementAt<TSlideRecord>(slides, uint32_t(k)); };
    if (i < 0 || i >= count)
        return {i, i};
    // A video slide never joins the slides before it, so the walk back ends
    // on the first video slide it meets: that slide heads the group.
    int32_t j = i;
    while (j > 0 && !IsVideoSlide(at(j)) && at(j).CollageMember == 1)
        --j;
    // The group takes in every following slide that joins it; a video slide
    // starts a group of its own.
    int32_t end = j + 1;
    while (end < count && !IsVideoSlide(at(end)) && at(end).CollageMember == 1)
        ++end;
    return {j, end};
}

void ChooseEffect(TSlideRecord& slide)
{
    slide.EffectInUse = slide.Effect >= 1 && slide.Effect <= 36 ? slide.Effect : 1 + int32_t(platform::Random(36));
}

} // namespace show
