// The common check of the image decoders' fuzz targets: against arbitrary bytes a
// decoder either fails with a reason and no pixels, or gives an image within the
// limits whose buffer holds exactly Width x Height pixels; it never reads outside
// the bytes (they are copied into a buffer of their exact size), writes outside the
// image, hangs or allocates past the limits.
#pragma once

#include "media/CxImage.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

inline void FuzzCheck(bool condition) {
    if (!condition) std::abort();
}

template <class Decode>
int FuzzDecoder(const uint8_t* data, size_t size, CxImageFormat format, Decode decode) {
    std::unique_ptr<uint8_t[]> copy(new uint8_t[size ? size : 1]);
    if (size) std::memcpy(copy.get(), data, size);
    CxImage image;
    if (decode(copy.get(), size, image)) {
        FuzzCheck(image.Error.isEmpty());
        FuzzCheck(image.Format == format);
        FuzzCheck(image.Width > 0 && image.Height > 0);
        FuzzCheck(image.Width <= CxImage::MaxSide && image.Height <= CxImage::MaxSide);
        FuzzCheck(int64_t(image.Width) * image.Height <= CxImage::MaxPixels);
        FuzzCheck(image.Pixels.size() == size_t(image.Width) * size_t(image.Height) * 4);
        // An image without alpha is opaque throughout.
        if (!image.HasAlpha)
            for (size_t i = 3; i < image.Pixels.size(); i += 4) FuzzCheck(image.Pixels[i] == 255);
    } else {
        FuzzCheck(!image.Error.isEmpty());
        FuzzCheck(image.Pixels.empty());
    }
    return 0;
}
