#include "app/PreviewPane.h"

#include "core/VideoModes.h"

#include <algorithm>

double PreviewPixelAspect(int modeIndex) {
    const QString name = VideoModes::Name(modeIndex);
    if (name.startsWith(QLatin1String("576"))) return 0.9375;
    if (name.startsWith(QLatin1String("480"))) return 1.125;
    return 1.0;
}

QRect PreviewChildRect(QSize pane, int modeIndex) {
    if (pane.width() <= 0 || pane.height() <= 0) return QRect();
    const int W = std::max(pane.width(), 100);
    const int H = std::max(pane.height(), 100);
    const double rw = VideoModes::RenderWidth(modeIndex);
    const double rh = VideoModes::RenderHeight(modeIndex);
    if (rw <= 0 || rh <= 0) return QRect();
    const double p = PreviewPixelAspect(modeIndex);
    const int w = int(std::min(double(W), H * rw / (p * rh)));
    const int h = int(p * w * rh / rw);
    return QRect((W - w) / 2, (H - h) / 2, w, h);
}
