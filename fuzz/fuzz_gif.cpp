// The GIF decoder against arbitrary bytes. The first byte is the frame to decode
// (0..255); the rest is the file. The decoder must fail with a message or give the
// screen-sized canvas with a frame count that includes the frame and stays within
// the cap, every pixel either opaque or fully transparent, and never read past the
// input, write out of bounds, leak, hang or allocate without bound.
#include "media/CxImage.h"

#include <cstdint>
#include <cstdlib>

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const int frame = data[0];
    CxImage image;
    if (CxImageGIF::Decode(data + 1, size - 1, frame, image)) {
        Check(image.Format == CxFormatGif);
        Check(image.Width > 0 && image.Height > 0);
        Check(image.Width <= CxImage::MaxSide && image.Height <= CxImage::MaxSide);
        Check(image.Pixels.size() == size_t(image.Width) * size_t(image.Height) * 4);
        Check(image.FrameCount > frame && image.FrameCount <= CxImage::MaxFrames + 1);
        Check(image.FrameDelay >= 0 && image.FrameDelay <= 0xFFFF);
        bool anyTransparent = false;
        const uint8_t* pixels = image.Pixels.data();
        for (size_t i = 3; i < image.Pixels.size(); i += 4) {
            Check(pixels[i] == 0 || pixels[i] == 255);
            anyTransparent = anyTransparent || pixels[i] == 0;
        }
        Check(!anyTransparent || image.HasAlpha);
    } else {
        Check(!image.Error.isEmpty());
    }
    return 0;
}
