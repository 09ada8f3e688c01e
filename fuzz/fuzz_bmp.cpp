// The BMP decoder against arbitrary bytes (see DecoderFuzz.h for what is checked).
#include "fuzz/DecoderFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzDecoder(data, size, CxFormatBmp, [](const uint8_t* bytes, size_t n, CxImage& image) {
        return CxImageBMP::Decode(bytes, n, image);
    });
}
