#include "show/transitions.h"

#include "show/transitioneffects.h"

#include <array>

// The effect table and the one call per frame. The effects themselves live
// beside this file, grouped by how they stay fast without leaving the pixel
// rules:
// - transitionrows: the frame, and filling rows from runs of new pixels,
//   which is how almost every effect draws (see transitionrows.h);
// - transitioneffects: the blend, the zoom, and the effects whose runs come
//   straight from the rule per row or per column;
// - transitionscatter: the effects that draw from the generator;
// - spiraltable: the spirals, from a table per surface size.

namespace show {

namespace {

using namespace transition;

const std::array<TransitionEffect, 37> kEffects{{
    {0, "Zufällig", fxNone},
    {1, "Alphableding", fxAlphaBlend},
    {2, "Wischen links->rechts", fxWipeLeft},
    {3, "Wischen rechts->links", fxWipeRight},
    {4, "Wischen oben->unten", fxWipeDown},
    {5, "Wischen unten->oben", fxWipeUp},
    {6, "Vorhang mitte/oben", fxCurtainTop},
    {7, "Vorhang links/mitte", fxCurtainLeft},
    {8, "Vorhang mitte/mitte", fxCurtainCentre},
    {9, "Vorhang rechts/mitte", fxCurtainRight},
    {10, "Vorhang mitte/unten", fxCurtainBottom},
    {11, "Zoom", fxZoom},
    {12, "Jalusie oben", fxBlindsTop},
    {13, "Jalusie links", fxBlindsLeft},
    {14, "Jalusie unten", fxBlindsBottom},
    {15, "Jalusie rechts", fxBlindsRight},
    {16, "Streifen oben", fxStripesTop},
    {17, "Streifen unten", fxStripesBottom},
    {18, "Streifen oben/unten", fxStripesBoth},
    {19, "Rechtecke", fxRectGrow},
    {20, "Rechtecke wandernd", fxRectTravel},
    {21, "Rechtecke zufällig", fxScatterAll},
    {22, "Rechtecke von oben/links", fxRectTopLeft},
    {23, "Rechtecke von oben/rechts", fxRectTopRight},
    {24, "Rechtecke von unten/links", fxRectBottomLeft},
    {25, "Rechtecke von oben/rechts", fxRectBottomRight},
    {26, "Rechtecke von oben/links zufällig", fxScatterTopLeft},
    {27, "Rechtecke von oben/rechts zufällig", fxScatterTopRight},
    {28, "Rechtecke von unten/links zufällig", fxScatterBottomLeft},
    {29, "Rechtecke von oben/rechts zufällig", fxScatterBottomRight},
    {30, "Kreise kleiner werdend", fxCircleClosing},
    {31, "Kreise größer werdend", fxCircleOpening},
    {32, "Kreisringe", fxRings},
    {33, "Radar", fxRadarSingle},
    {34, "Doppel-Radar", fxRadarDouble},
    {35, "Spirale", fxSpiralSmooth},
    {36, "Zackenspirale", fxSpiralJagged},
}};

} // namespace

std::span<const TransitionEffect> transitionEffects()
{
    return kEffects;
}

void dofx(TDibRecord& out, const TDibRecord& oldPic, const TDibRecord& newPic, int32_t elapsed, int32_t duration,
          int32_t effect)
{
    const int32_t W = raster::DibWidth(oldPic), H = raster::DibHeight(oldPic);
    if (!out.Bits || !oldPic.Bits || !newPic.Bits || raster::DibBitCount(oldPic) != 24 ||
        raster::DibBitCount(newPic) != 24 || raster::DibBitCount(out) != 24 || raster::DibWidth(newPic) != W ||
        raster::DibHeight(newPic) != H || raster::DibWidth(out) != W || raster::DibHeight(out) != H ||
        oldPic.BytesPerRow != out.BytesPerRow || newPic.BytesPerRow != out.BytesPerRow)
        return;

    TransitionFrame f;
    f.a = oldPic.Bits;
    f.b = newPic.Bits;
    f.o = out.Bits;
    f.stride = size_t(out.BytesPerRow);
    f.W = W;
    f.H = H;
    f.T = std::max(duration, 1);
    f.e = std::clamp(elapsed, 0, f.T);
    // Products with the elapsed time are formed wide so that long transitions
    // cannot overflow; every quotient fits in 32 bits.
    const int64_t e = f.e, T = f.T;
    f.L = int32_t(e * 1024 / T);
    f.pw = W / 20;
    f.ph = H / 20;
    f.K = int32_t(f.pw * e / T);
    f.J = int32_t(f.ph * e / T);
    f.cx = int32_t(uint32_t(W) >> 1);
    f.cy = int32_t(uint32_t(H) >> 1);
    f.N = int32_t(std::nearbyint(0.8 * double(std::max(W, H))));
    f.Rg = int32_t(f.N * e / T);
    f.Rs = int32_t((T - e) * f.N / T);
    f.Q = int32_t(uint32_t(f.N) >> 2);
    f.theta = double(f.e) * transition::kTwoPi / double(f.T);
    f.m = int32_t(uint32_t(f.L * 20) >> 10);
    f.s = H / 80;
    f.t = H / 40;
    f.K1 = int32_t(uint32_t(f.L * 80) >> 10);
    f.J1 = std::min(f.K1, 40);

    const TransitionEffect& chosen = effect >= 1 && effect <= 36 ? kEffects[size_t(effect)] : kEffects[0];
    chosen.render(f);
}

} // namespace show
