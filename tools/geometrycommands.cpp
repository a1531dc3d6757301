// lumivox-tool's names for the geometric transforms. Backgrounds come from
// --col2, selections (perspective, bulge) from --mask.

#include "tools/filtercommand.h"

#include "filters/geometry.h"
#include "raster/codec.h"

#include <algorithm>
#include <initializer_list>
#include <utility>

namespace tool {

using namespace filters;

namespace {

// Runs make() and puts its new picture in the image's place. Without one
// the error text is what the editor tells (resizing, canvas size,
// borders), or the library's memory text where the editor is silent (flips,
// rotations).
template <typename Make>
QString replaceWith(raster::DibGuard& image, Make make, bool resizing = false)
{
    raster::DibGuard result(make());
    if (!result)
        return resizing ? resizeFailedMessage().text : raster::imageErrorText(raster::ImageError::OutOfMemory);
    image = std::move(result);
    return {};
}

// The index of args[index] among words, or an error.
bool wordArg(const QStringList& args, int index, std::initializer_list<const char*> words, int& choice,
             QString& error)
{
    if (index < args.size()) {
        int i = 0;
        for (const char* word : words) {
            if (args[index] == QLatin1String(word)) {
                choice = i;
                return true;
            }
            ++i;
        }
    }
    QStringList list;
    for (const char* word : words)
        list << QLatin1String(word);
    error = QStringLiteral("Fehler: Argument %1 muss %2 sein!").arg(index + 1).arg(list.join(QStringLiteral(" oder ")));
    return false;
}

// The ranges of the dialogs' edits.
constexpr int kMaxSide = 32767;        // new width and height (resize, canvas)
constexpr int kMinCanvasWidth = 320;   // the canvas dialog's smallest size
constexpr int kMinCanvasHeight = 200;
constexpr int kMaxOffset = 16000;      // canvas placement, borders

// An offset of the canvas dialog (-16000..16000), or "center" for the
// centring rule, which the dialog's edit then holds within its range.
bool offsetArg(const QStringList& args, int index, int32_t newSize, int32_t oldSize, int& value, QString& error)
{
    if (index < args.size() && args[index] == QLatin1String("center")) {
        value = std::clamp(centredOffset(newSize, oldSize), -kMaxOffset, kMaxOffset);
        return true;
    }
    return rangeArg(args, index, -kMaxOffset, kMaxOffset, value, error);
}

// The flips and quarter turns: no arguments, the new picture in the
// image's place.
template <raster::TDibRecord (*Transform)(const raster::TDibRecord&)>
QString runPlain(const QStringList& args, raster::DibGuard& image, CommandContext&)
{
    QString error;
    if (!countArgs(args, 0, 0, error))
        return error;
    return replaceWith(image, [&] { return Transform(image.get()); });
}

QString runDibRotxxx(const QStringList& args, raster::DibGuard& image, CommandContext& context)
{
    QString error;
    int direction = 0;
    double angle = 0;
    if (!countArgs(args, 2, 2, error) || !wordArg(args, 0, {"left", "right"}, direction, error) ||
        !doubleRangeArg(args, 1, 0.01, 359.99, angle, error))
        return error;
    return replaceWith(image, [&] { return DibRotxxx(image.get(), direction == 1, angle, context.Col2); });
}

QString runResize(const QStringList& args, raster::DibGuard& image, CommandContext&)
{
    QString error;
    int width = 0, height = 0, interpolate = 0;
    if (!countArgs(args, 2, 3, error) || !rangeArg(args, 0, 1, kMaxSide, width, error) ||
        !rangeArg(args, 1, 1, kMaxSide, height, error))
        return error;
    if (args.size() > 2 && !wordArg(args, 2, {"nearest", "interpolate"}, interpolate, error))
        return error;
    return replaceWith(
        image, [&] { return Resize(image.get(), width, height, interpolate == 1); }, true);
}

QString runNewCanvas(const QStringList& args, raster::DibGuard& image, CommandContext& context)
{
    QString error;
    int width = 0, height = 0, left = 0, top = 0;
    if (!countArgs(args, 4, 4, error) || !rangeArg(args, 0, kMinCanvasWidth, kMaxSide, width, error) ||
        !rangeArg(args, 1, kMinCanvasHeight, kMaxSide, height, error) ||
        !offsetArg(args, 2, width, raster::DibWidth(image.get()), left, error) ||
        !offsetArg(args, 3, height, raster::DibHeight(image.get()), top, error))
        return error;
    return replaceWith(
        image, [&] { return NewCanvas(image.get(), width, height, left, top, context.Col2); }, true);
}

QString runAddBorders(const QStringList& args, raster::DibGuard& image, CommandContext& context)
{
    QString error;
    int top = 0, bottom = 0, left = 0, right = 0;
    if (!countArgs(args, 4, 4, error) || !rangeArg(args, 0, 0, kMaxOffset, top, error) ||
        !rangeArg(args, 1, 0, kMaxOffset, bottom, error) || !rangeArg(args, 2, 0, kMaxOffset, left, error) ||
        !rangeArg(args, 3, 0, kMaxOffset, right, error))
        return error;
    // The editor's command does nothing when all four sizes are 0.
    if (top == 0 && bottom == 0 && left == 0 && right == 0)
        return {};
    return replaceWith(
        image, [&] { return AddBorders(image.get(), top, bottom, left, right, context); }, true);
}

// Rewrites the image in place from a copy of it.
template <typename Rewrite>
QString rewriteFromCopy(raster::DibGuard& image, Rewrite rewrite)
{
    raster::DibGuard copy(raster::MakeDIBCopy(image.get()));
    if (!copy)
        return noMemoryMessage().text;
    rewrite(copy.get());
    return {};
}

QString runPerspektive(const QStringList& args, raster::DibGuard& image, CommandContext& context)
{
    QString error;
    int mode = 0, axis = 0, strength = 0;
    if (!countArgs(args, 3, 3, error) || !wordArg(args, 0, {"perspective", "skew"}, mode, error) ||
        !wordArg(args, 1, {"horizontal", "vertical"}, axis, error) || !rangeArg(args, 2, -100, 100, strength, error))
        return error;
    return rewriteFromCopy(image, [&](const raster::TDibRecord& copy) {
        Perspektive(image.get(), copy, strength, axis == 0, mode == 0, context);
    });
}

QString runWoelben(const QStringList& args, raster::DibGuard& image, CommandContext& context)
{
    QString error;
    int axes = 0;
    double strength = 0;
    if (!countArgs(args, 2, 2, error) || !wordArg(args, 0, {"both", "horizontal", "vertical"}, axes, error) ||
        !doubleArg(args, 1, strength, error))
        return error;
    // The dialog turns a strength of 0 into 0.01 before it applies it.
    if (strength == 0)
        strength = 0.01;
    if (!checkRange(strength, 1, 0.01, 10, error))
        return error;
    return rewriteFromCopy(image, [&](const raster::TDibRecord& copy) {
        Woelben(image.get(), copy, axes != 2, strength, axes != 1, context);
    });
}

} // namespace

std::vector<FilterCommand> geometryCommands()
{
    return {
        {"FlipH", "", runPlain<FlipH>},
        {"FlipV", "", runPlain<FlipV>},
        {"RotLeft", "", runPlain<RotLeft>},
        {"RotRight", "", runPlain<RotRight>},
        {"Rot180", "", runPlain<Rot180>},
        {"DibRotxxx", "left|right WINKEL (0.01..359.99; Hintergrund: --col2)", runDibRotxxx},
        {"Resize", "BREITE HOEHE (je 1..32767) [nearest|interpolate]", runResize},
        {"NewCanvas",
         "BREITE (320..32767) HOEHE (200..32767) LINKS|center OBEN|center (je -16000..16000; Hintergrund: --col2)",
         runNewCanvas},
        {"AddBorders", "OBEN UNTEN LINKS RECHTS (je 0..16000; Hintergrund: --col2)", runAddBorders},
        {"Perspektive", "perspective|skew horizontal|vertical STAERKE (-100..100; Hintergrund: --col2)",
         runPerspektive},
        {"Woelben", "both|horizontal|vertical STAERKE (0.01..10; 0 wird 0.01)", runWoelben},
    };
}

} // namespace tool
