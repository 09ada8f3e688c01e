#include "tools/PictureFile.h"

#include <QImage>
#include <cstring>

bool SavePng(const uint8_t* pixels, int width, int height, int pitch, const QString& path) {
    if (width <= 0 || height <= 0 || !pixels) return false;
    // Format_ARGB32 is the same byte order as the pictures (B, G, R, A in memory).
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        std::memcpy(image.scanLine(y), pixels + size_t(y) * size_t(pitch), size_t(width) * 4);
    return image.save(path, "PNG");
}

bool SavePng(const CPicture& picture, const QString& path) {
    return SavePng(picture.data.get(), picture.width, picture.height, picture.width * 4, path);
}
