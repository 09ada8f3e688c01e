// The BMP decoder against arbitrary bytes: it either fails with a reason and no
// pixels, or gives an image within the limits whose buffer holds exactly
// Width x Height pixels; it never reads outside the bytes (they are copied into a
// buffer of their exact size), writes outside the image, hangs or allocates past
// the limits.
#include "render/codecs/CxImage.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::unique_ptr<uint8_t[]> copy(new uint8_t[size ? size : 1]);
    if (size) std::memcpy(copy.get(), data, size);
    CxImage image;
    if (CxImageBMP::Decode(copy.get(), size, image)) {
        Check(image.Error.isEmpty());
        Check(image.Format == CxFormatBmp);
        Check(image.Width > 0 && image.Height > 0);
        Check(image.Width <= CxImage::MaxSide && image.Height <= CxImage::MaxSide);
        Check(int64_t(image.Width) * image.Height <= CxImage::MaxPixels);
        Check(image.Pixels.size() == size_t(image.Width) * size_t(image.Height) * 4);
        // An image without alpha is opaque throughout.
        if (!image.HasAlpha)
            for (size_t i = 3; i < image.Pixels.size(); i += 4) Check(image.Pixels[i] == 255);
    } else {
        Check(!image.Error.isEmpty());
        Check(image.Pixels.empty());
    }
    return 0;
}
