#pragma once
// ComposeSlide: one screen of a running show, painted onto the off-screen
// 24-bit surface. The background colour of the group's first slide, then the
// picture of every slide of the collage group in its frame, moved along its
// path, and each slide's comment with its outline.
//
// The pieces of the layout are public so the editor's preview can use them.

#include "platform/gdi.h"
#include "show/slide.h"

#include <QString>
#include <QStringList>

#include <cstdint>

namespace show {

// What a composition tells its caller.
struct Composition {
    bool Composed = false;          // false: the index was outside the list
    int32_t Head = -1;              // the group's first slide
    int32_t EffectInUse = 0;        // the head's transition for this run
    int32_t TransTime = 0;          // the head's transition time
    bool TransitionRunning = false; // TransTime >= elapsed
};

// Composes the group of slide current onto work, resized to width x height,
// at elapsed milliseconds into the slide. The generator is seeded with
// showSeed first, so random placements repeat on every tick; the
// transition's random patterns draw after it. desktopWidth scales the
// comment fonts (0: the primary screen's width). Leaves the list's current
// element on the last slide looked at.
Composition ComposeSlide(TDynaArray& slides, int32_t current, int32_t width, int32_t height, int32_t elapsed,
                         uint32_t showSeed, platform::GdiBitmap& work, int32_t desktopWidth = 0);

// The width of the primary screen.
int32_t DesktopWidth();

// A rectangle in surface pixels.
struct PixelRect {
    int32_t X, Y, W, H;
    bool operator==(const PixelRect&) const = default;
};

// The slide's frame box on a width x height surface (at least 1 x 1).
PixelRect FrameBox(const TFrameRect& frame, int32_t width, int32_t height);
// The picture's size in its box: the box, or with keepAspect the largest
// size of the picture's proportions that fits. A picture without pixels
// takes the box.
void PictureSize(const PixelRect& box, bool keepAspect, int32_t pictureWidth, int32_t pictureHeight,
                 int32_t& pw, int32_t& ph);
// The picture's top-left corner in its box by placement (9 draws two
// random numbers).
void PlacePicture(const PixelRect& box, int32_t placement, int32_t pw, int32_t ph, int32_t& px, int32_t& py);
// The movement path's offset in surface pixels at elapsed milliseconds.
void PathOffset(const TSlideRecord& slide, int32_t elapsed, int32_t width, int32_t height, int32_t& dx, int32_t& dy);
// The comment's lines: CR dropped, split at LF, an empty line as one space,
// no empty line after a final line break.
QStringList CommentLines(const QString& comment);

} // namespace show
