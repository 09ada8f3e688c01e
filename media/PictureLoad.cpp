// Loading pictures from image files through the codec layer.
#include "media/Picture.h"
#include "media/CxImage.h"

#include <QDir>
#include <QFileInfo>
#include <cstring>

namespace {

// The image's pixels into the picture, top row first.
bool TakePixels(CPicture& picture, const CxImage& image, bool useAlpha) {
    if (!picture.Resize(image.Width, image.Height)) return false;
    const size_t rowBytes = size_t(image.Width) * 4;
    for (int y = 0; y < image.Height; ++y) {
        uint8_t* row = picture.Pixel(0, y);
        std::memcpy(row, image.Row(image.Height - 1 - y), rowBytes);
        if (!useAlpha)
            for (size_t x = 3; x < rowBytes; x += 4) row[x] = 255;
    }
    return true;
}

}  // namespace

int CPicture::LoadFromFile(const QString& path, bool wantAlpha, int frame, QString* reason) {
    Clear();
    CxImage image;
    if (!image.Load(path, frame)) {
        if (reason) *reason = image.Error;
        return image.Failure == CxFailure::Open ? 1 : 2;
    }
    if (!TakePixels(*this, image, wantAlpha && image.HasAlpha)) {
        if (reason) *reason = QStringLiteral("image size %1 x %2 is too large").arg(image.Width).arg(image.Height);
        return 2;
    }
    if (image.Format == CxFormatGif) {
        frameCount = image.FrameCount;
        frameDelay = image.FrameDelay * 10;
    }
    if (!wantAlpha || image.Format != CxFormatBmp) return 0;

    // A BMP may come as a pair: the same picture drawn on black and on white
    // ("_W"), from which the transparency is recovered.
    const QFileInfo info(path);
    const QString base = info.completeBaseName();
    const QString suffix = info.suffix().isEmpty() ? QString() : u'.' + info.suffix();
    const bool onWhite = base.size() > 2 && base.endsWith(QLatin1String("_W"), Qt::CaseInsensitive);
    const QString partnerBase = onWhite ? base.left(base.size() - 2) : base + QStringLiteral("_W");
    CPicture partner;
    if (partner.LoadFromFile(info.dir().filePath(partnerBase + suffix), false) != 0) return 0;
    if (partner.width != width || partner.height != height) return 0;
    const CPicture self(*this);
    AlphaRecovery(*this, onWhite ? self : partner, onWhite ? partner : self, 255);
    return 0;
}
