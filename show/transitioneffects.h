#pragma once
// The effect functions of the transition engine, one per effect number, for
// the effect table of transitions.cpp, and what the files holding them share.
// Each fills every row of the frame's output.
//
// Only the engine's own files include this header.

#include "show/transitionrows.h"

namespace show::transition {

// The grid of effects 19 to 29: cells ph wide and pw high, counted from the
// bottom-left corner.

// Whether a surface is big enough for the grid (at least 20 pixels each way).
inline bool hasGrid(const Frame& f)
{
    return f.pw > 0 && f.ph > 0;
}

// The part of the surface whose cells take part, as a column range and a
// row range.
struct Region {
    int64_t x0, x1, y0, y1; // [x0, x1) x [y0, y1)
};

inline Region wholeSurface(const Frame& f)
{
    return {0, f.W, 0, f.H};
}

// The cells within m of a corner (22 to 29): 0 top left, 1 top right,
// 2 bottom left, 3 bottom right.
Region cornerRegion(const Frame& f, int32_t corner);

// transitioneffects.cpp
void fxNone(const Frame& f); // the start picture, also for numbers without an effect
void fxAlphaBlend(const Frame& f);
void fxWipeLeft(const Frame& f);
void fxWipeRight(const Frame& f);
void fxWipeDown(const Frame& f);
void fxWipeUp(const Frame& f);
void fxCurtainTop(const Frame& f);
void fxCurtainLeft(const Frame& f);
void fxCurtainCentre(const Frame& f);
void fxCurtainRight(const Frame& f);
void fxCurtainBottom(const Frame& f);
void fxZoom(const Frame& f);
void fxBlindsTop(const Frame& f);
void fxBlindsLeft(const Frame& f);
void fxBlindsBottom(const Frame& f);
void fxBlindsRight(const Frame& f);
void fxStripesTop(const Frame& f);
void fxStripesBottom(const Frame& f);
void fxStripesBoth(const Frame& f);
void fxRectGrow(const Frame& f);
void fxRectTravel(const Frame& f);
void fxRectTopLeft(const Frame& f);
void fxRectTopRight(const Frame& f);
void fxRectBottomLeft(const Frame& f);
void fxRectBottomRight(const Frame& f);
void fxCircleClosing(const Frame& f);
void fxCircleOpening(const Frame& f);
void fxRings(const Frame& f);
void fxRadarSingle(const Frame& f);
void fxRadarDouble(const Frame& f);

// transitionscatter.cpp
void fxScatterAll(const Frame& f);
void fxScatterTopLeft(const Frame& f);
void fxScatterTopRight(const Frame& f);
void fxScatterBottomLeft(const Frame& f);
void fxScatterBottomRight(const Frame& f);

// spiraltable.cpp
void fxSpiralSmooth(const Frame& f);
void fxSpiralJagged(const Frame& f);

} // namespace show::transition
