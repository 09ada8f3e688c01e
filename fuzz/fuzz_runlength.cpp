// The run-length code against arbitrary input. Bytes 0 and 1 give the picture's
// width and height (0..255 each); the rest is
//  - decoded as stored code, which must never read or write out of bounds nor report
//    more pixels than the picture holds, and
//  - turned into a picture whose encoding must decode back to it, both through the
//    codec directly and through CCompressedPicture. Byte 2 picks how: its pixels
//    taken as they are (mostly literals), or from a four-colour palette (runs).
#include "media/Picture.h"
#include "media/RunLength.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

void DecodeArbitraryCode(const uint8_t* code, size_t size, size_t pixelCount) {
    // Exactly sized buffers so the sanitizer sees any access beyond them.
    std::unique_ptr<uint8_t[]> copy(new uint8_t[size ? size : 1]);
    if (size) std::memcpy(copy.get(), code, size);
    std::unique_ptr<uint8_t[]> out(new uint8_t[pixelCount ? pixelCount * 4 : 1]);
    const size_t decoded = RunLength::Decode(copy.get(), size, out.get(), pixelCount);
    Check(decoded <= pixelCount);
}

CPicture PictureFrom(int w, int h, const uint8_t* bytes, size_t size, bool palette) {
    CPicture p;
    Check(p.Resize(w, h));
    const size_t count = size_t(w) * size_t(h);
    for (size_t i = 0; i < count; ++i) {
        uint8_t* px = p.data.get() + i * 4;
        if (size == 0) {
            std::memset(px, 0, 4);
        } else if (palette) {
            static const uint32_t colours[4] = {0x00000000, 0xFF102030, 0x80FFFFFF, 0xFF102031};
            const uint8_t selector = bytes[(i / 4) % size] >> (2 * (i % 4));
            std::memcpy(px, &colours[selector & 3], 4);
        } else {
            for (int c = 0; c < 4; ++c) px[c] = bytes[(i * 4 + size_t(c)) % size];
        }
    }
    return p;
}

void RoundTrip(const CPicture& original) {
    const size_t pixelCount = size_t(original.width) * size_t(original.height);
    const size_t raw = original.ByteCount();

    // Every packet takes at most 6 bytes per pixel it covers.
    const size_t room = pixelCount * 6 + 1;
    std::unique_ptr<uint8_t[]> code(new uint8_t[room]);
    const size_t size = RunLength::Encode(original.data.get(), pixelCount, code.get(), room);
    Check(pixelCount == 0 ? size == 0 : size > 0);
    std::unique_ptr<uint8_t[]> decoded(new uint8_t[raw ? raw : 1]);
    Check(RunLength::Decode(code.get(), size, decoded.get(), pixelCount) == pixelCount);
    Check(raw == 0 || std::memcmp(decoded.get(), original.data.get(), raw) == 0);

    // With the raw size as capacity the encoder gives up exactly when the full code
    // reaches it, and otherwise writes the same code.
    if (raw) {
        std::unique_ptr<uint8_t[]> bounded(new uint8_t[raw]);
        const size_t boundedSize = RunLength::Encode(original.data.get(), pixelCount, bounded.get(), raw);
        Check(boundedSize == (size >= raw ? 0 : size));
        Check(boundedSize == 0 || std::memcmp(bounded.get(), code.get(), size) == 0);
    }

    CCompressedPicture stored;
    stored.Compress(original);
    const bool keepsCode = raw != 0 && size * 100 / raw < 80;
    Check(stored.compressedSize == (keepsCode ? int(size) : -1));
    CPicture back;
    Check(stored.Decompress(back));
    Check(back.width == original.width && back.height == original.height);
    Check(raw == 0 || std::memcmp(back.data.get(), original.data.get(), raw) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const int w = data[0];
    const int h = data[1];
    const bool palette = data[2] & 1;
    const uint8_t* rest = data + 3;
    const size_t restSize = size - 3;

    DecodeArbitraryCode(data + 2, size - 2, size_t(w) * size_t(h));
    RoundTrip(PictureFrom(w, h, rest, restSize, palette));
    return 0;
}
