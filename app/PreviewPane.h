// Where the preview pane puts the window the render engine draws into: as large as
// the pane allows at the page's shape, centred. Standard-definition pages keep
// their 4:3 picture although their pixels are not square.
//
// Threads: any (a pure computation).
#pragma once

#include <QRect>
#include <QSize>

// The child's rectangle in the pane's client area for the video mode, or an empty
// rectangle (nothing to do) when either side of the pane is 0. Panes smaller than
// 100 pixels are sized as if they were 100.
QRect PreviewChildRect(QSize pane, int modeIndex);

// The width of a page pixel against its height on the output: 0.9375 for the
// 576-line modes, 1.125 for the 480-line modes, 1 otherwise.
double PreviewPixelAspect(int modeIndex);
