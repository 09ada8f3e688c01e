#include "core/Placement.h"

namespace {

int Snap(int edge, int step) {
    if (step <= 0) return edge;
    const int r = edge % step;  // remainder with the sign of the edge
    return r > step / 2 ? edge + (step - r) : edge - r;
}

void Clamp(int& low, int& high, int limit, bool keepSize) {
    if (low < 0) {
        if (keepSize) high -= low;
        low = 0;
    }
    if (high > limit) {
        if (keepSize) low -= high - limit;
        high = limit;
    }
}

}  // namespace

CRect PlaceRect(const CRect& rect, const PlacementRule& rule, bool keepWidth, bool keepHeight) {
    CRect r = rect;
    if (rule.snap) {
        r.left = Snap(r.left, rule.gridStep);
        r.top = Snap(r.top, rule.gridStep);
        r.right = Snap(r.right, rule.gridStep);
        r.bottom = Snap(r.bottom, rule.gridStep);
    }
    Clamp(r.left, r.right, rule.pageWidth, keepWidth);
    Clamp(r.top, r.bottom, rule.pageHeight, keepHeight);
    return r;
}

void CloneOffset(const CRect& rect, int pageWidth, int pageHeight, int& dx, int& dy) {
    dx = pageWidth >= rect.right + 16 ? 16 : rect.right >= 17 ? -16 : 0;
    dy = pageHeight >= rect.bottom + 16 ? 16 : rect.bottom >= 17 ? -16 : 0;
}
