#pragma once
// The transition engine: one frame of the change from the picture on screen
// (the start picture) to the newly composed slide (the target picture), at a
// given time into the transition, for each of the 36 effects.
//
// Every frame follows the effect's pixel rules exactly, however the engine
// gets there: the same three pictures, times and generator seed always give
// the same bytes. The effects that scatter pixels at random draw from
// platform::Random in a fixed order (rows from the bottom, columns from the
// left) and leave platform::RandSeed where those draws leave it.

#include "raster/dibrecord.h"

#include <cstdint>
#include <span>

namespace show {

using raster::TDibRecord;

// What one frame's effect function works on (defined in transitionrows.h).
struct TransitionFrame;

// The effect list as the editor shows it: entry k is effect number k.
// Entry 0, "Zufällig", stands for a random choice among 1..36 and is
// resolved before a transition runs; given to dofx it leaves the start
// picture, as does any number above 36.
struct TransitionEffect {
    int32_t number;
    const char* label; // UTF-8
    void (*render)(const TransitionFrame& frame);
};

// The 37 entries, numbers 0..36 in order.
std::span<const TransitionEffect> transitionEffects();

// Number of real effects (36): a random choice is 1 + Random(count).
constexpr int32_t kTransitionEffectCount = 36;

// Fills out with the frame of effect `effect` at `elapsed` milliseconds of a
// transition lasting `duration` milliseconds, from oldPic to newPic. The three
// pictures are 24-bit pictures of the same size; when they are not, out is
// left untouched. elapsed is taken within 0..duration and a duration below 1
// as 1. At elapsed 0 most effects show oldPic; at elapsed == duration most
// show newPic (some leave a few rows or columns of oldPic, as their rules say).
void dofx(TDibRecord& out, const TDibRecord& oldPic, const TDibRecord& newPic, int32_t elapsed, int32_t duration,
          int32_t effect);

// The two spirals ("Spirale" and "Zackenspirale") draw from a table of each
// pixel's first progress value, which depends on the surface size alone. The
// engine keeps the tables for the last size and makes them anew, in the frame
// that needs them, when the size changes; that takes tens of milliseconds on
// a large screen. prepareSpiralTable makes them beforehand for a surface of
// width x height pixels (unless they are there for that size). It draws
// nothing and leaves platform::RandSeed alone; sizes below 1 x 1 are ignored.
void prepareSpiralTable(int32_t width, int32_t height);

} // namespace show
