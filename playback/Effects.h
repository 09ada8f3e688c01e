// The geometry of the in and out effects: for an effect id, a progress and an
// object's rectangle, the part of the output the object covers and the part of its
// picture shown there. Bar graphs draw their share with the same function.
//
// Threads: pure functions of their arguments, callable from any thread.
#pragma once

#include "core/Frame.h"

// Ids 0 to 30; any other id draws as 0 (simple cut), so a damaged or future page
// value still shows the object whole instead of drawing nothing.
constexpr int EffectCount = 31;

struct EffectGeometry {
    float Dest[4];    // left, top, right, bottom in output pixels, whole numbers
    float Window[4];  // u0, v0, u1, v1 in texture coordinates, not rounded
};

// Progress p runs 0 -> 1 during an in effect and 1 -> 0 during an out effect, so
// one formula serves both directions.
EffectGeometry ComputeEffect(int effect, float progress, const CRect& rect);

// The effect a bar graph uses while shown: its in effect, or, for a simple cut, a
// reveal along the object's longer side (from the bottom when it is narrower than
// tall, from the left otherwise) so the bar grows the way a viewer expects.
int BarGraphShownEffect(int inEffect, const CRect& rect);
