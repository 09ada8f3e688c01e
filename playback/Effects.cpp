#include "playback/Effects.h"

#include <cmath>
#include <cstdint>

namespace {

// The window is the only thing the families differ in; the rectangle depends on the
// moving edges alone.
enum class Family { Cut, Slide, Stretch, Reveal };

// What one axis of the rectangle does as p grows: stays whole, grows away from its
// start (left or top) edge, grows away from its end (right or bottom) edge, or opens
// out from the middle.
enum class Span { Whole, FromStart, FromEnd, Centre };

struct EffectShape {
    Family family;
    Span across;  // left and right
    Span down;    // top and bottom
};

using enum Family;
using enum Span;

constexpr EffectShape kShapes[EffectCount] = {
    {Cut, Whole, Whole},              // 0 simple cut
    {Slide, FromStart, Whole},        // 1 left side
    {Slide, FromEnd, Whole},          // 2 right side
    {Slide, Whole, FromStart},        // 3 top side
    {Slide, Whole, FromEnd},          // 4 bottom side
    {Slide, FromStart, FromStart},    // 5 top-left corner
    {Slide, FromEnd, FromStart},      // 6 top-right corner
    {Slide, FromStart, FromEnd},      // 7 bottom-left corner
    {Slide, FromEnd, FromEnd},        // 8 bottom-right corner
    {Stretch, FromStart, Whole},      // 9 left side
    {Stretch, FromEnd, Whole},        // 10 right side
    {Stretch, Whole, FromStart},      // 11 top side
    {Stretch, Whole, FromEnd},        // 12 bottom side
    {Stretch, FromStart, FromStart},  // 13 top-left corner
    {Stretch, FromEnd, FromStart},    // 14 top-right corner
    {Stretch, FromStart, FromEnd},    // 15 bottom-left corner
    {Stretch, FromEnd, FromEnd},      // 16 bottom-right corner
    {Stretch, Centre, Whole},         // 17 centre horizontally
    {Stretch, Whole, Centre},         // 18 centre vertically
    {Stretch, Centre, Centre},        // 19 centre to corners
    {Reveal, FromStart, Whole},       // 20 left side
    {Reveal, FromEnd, Whole},         // 21 right side
    {Reveal, Whole, FromStart},       // 22 top side
    {Reveal, Whole, FromEnd},         // 23 bottom side
    {Reveal, FromStart, FromStart},   // 24 top-left corner
    {Reveal, FromEnd, FromStart},     // 25 top-right corner
    {Reveal, FromStart, FromEnd},     // 26 bottom-left corner
    {Reveal, FromEnd, FromEnd},       // 27 bottom-right corner
    {Reveal, Centre, Whole},          // 28 centre horizontally
    {Reveal, Whole, Centre},          // 29 centre vertically
    {Reveal, Centre, Centre},         // 30 centre to corners
};

constexpr bool ShapesAreConsistent() {
    for (const EffectShape& s : kShapes) {
        // A picture sliding in from the middle has no "far part" to show.
        if (s.family == Slide && (s.across == Centre || s.down == Centre))
            return false;
        if (s.family == Cut && (s.across != Whole || s.down != Whole))
            return false;
    }
    return true;
}
static_assert(ShapesAreConsistent());

struct Axis {
    float destStart, destEnd;
    float windowStart, windowEnd;
};

// Rounds half up, as the output rectangle must land on whole pixels identically on
// every machine (std::round would send -0.5 away from zero).
float Round(float x) { return std::floor(x + 0.5f); }

Axis ComputeAxis(Family family, Span span, int start, int end, float p) {
    // Widened so that a rectangle spanning most of the int range cannot overflow;
    // for any real rectangle the values are those of the plain int arithmetic.
    const int64_t size = int64_t{end} - start;
    const int64_t half = size / 2;
    const float q = 1.0f - p;
    const float s = static_cast<float>(start);
    const float e = static_cast<float>(end);

    Axis a{s, e, 0.0f, 1.0f};
    switch (span) {
    case Whole:
        break;
    case FromStart:
        a.destEnd = s + static_cast<float>(size) * p;
        break;
    case FromEnd:
        a.destStart = e - static_cast<float>(size) * p;
        break;
    case Centre:
        a.destStart = s + static_cast<float>(half) * q;
        a.destEnd = e - static_cast<float>(half) * q;
        break;
    }

    if (span == Whole)
        return a;
    switch (family) {
    case Cut:
    case Stretch:
        break;
    case Slide:
        // The picture enters edge first: the growing rectangle shows its far part.
        if (span == FromStart)
            a.windowStart = q;
        else
            a.windowEnd = p;
        break;
    case Reveal:
        // The picture stands still: the rectangle shows what lies under it.
        if (span == FromStart) {
            a.windowEnd = p;
        } else if (span == FromEnd) {
            a.windowStart = q;
        } else {
            a.windowStart = 0.5f - p / 2.0f;
            a.windowEnd = 0.5f + p / 2.0f;
        }
        break;
    }
    return a;
}

}  // namespace

EffectGeometry ComputeEffect(int effect, float progress, const CRect& rect) {
    const EffectShape& shape = kShapes[(effect >= 0 && effect < EffectCount) ? effect : 0];
    const Axis x = ComputeAxis(shape.family, shape.across, rect.left, rect.right, progress);
    const Axis y = ComputeAxis(shape.family, shape.down, rect.top, rect.bottom, progress);
    return EffectGeometry{
        {Round(x.destStart), Round(y.destStart), Round(x.destEnd), Round(y.destEnd)},
        {x.windowStart, y.windowStart, x.windowEnd, y.windowEnd},
    };
}

int BarGraphShownEffect(int inEffect, const CRect& rect) {
    // An id outside the table draws as a simple cut, so it also gets the bar's own
    // direction; otherwise the bar would always show the whole object.
    if (inEffect > 0 && inEffect < EffectCount)
        return inEffect;
    const int64_t width = int64_t{rect.right} - rect.left;
    const int64_t height = int64_t{rect.bottom} - rect.top;
    return width < height ? 23 : 20;
}
