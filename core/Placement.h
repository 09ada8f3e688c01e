// Where an edited rectangle lands on the page: snapped to the grid when snapping is
// on, and shifted back inside the page. The canvas uses it for moves and resizes;
// cloning uses it for the offset copy.
//
// Threads: pure, callable from any thread.
#pragma once

#include "core/Frame.h"

struct PlacementRule {
    int pageWidth = 0;
    int pageHeight = 0;
    bool snap = false;
    int gridStep = 8;
};

// keepWidth / keepHeight: the operation moved the rectangle (the size stays when an
// edge is pushed back inside) rather than resized it.
CRect PlaceRect(const CRect& rect, const PlacementRule& rule, bool keepWidth, bool keepHeight);

// The offset of a clone: 16 pixels right and down where the copy still fits, else
// 16 back, else none.
void CloneOffset(const CRect& rect, int pageWidth, int pageHeight, int& dx, int& dy);
