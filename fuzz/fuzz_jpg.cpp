// The JPEG decoder against arbitrary bytes. It must fail with a message or give an
// opaque image within the limits whose pixel buffer matches its size, and never read
// past the input, write out of bounds, leak, hang or allocate without bound.
#include "media/CxImage.h"

#include <cstdint>
#include <cstdlib>

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CxImage image;
    if (CxImageJPG::Decode(data, size, image)) {
        Check(image.Format == CxFormatJpg);
        Check(!image.HasAlpha);
        Check(image.Width > 0 && image.Height > 0);
        Check(image.Width <= CxImage::MaxSide && image.Height <= CxImage::MaxSide);
        Check(image.Pixels.size() == size_t(image.Width) * size_t(image.Height) * 4);
        const uint8_t* pixels = image.Pixels.data();
        for (size_t i = 3; i < image.Pixels.size(); i += 4) Check(pixels[i] == 255);
    } else {
        Check(!image.Error.isEmpty());
    }
    return 0;
}
