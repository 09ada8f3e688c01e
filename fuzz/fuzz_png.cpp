// The PNG decoder against arbitrary bytes. It must fail with a message or give an
// image within the limits whose pixel buffer matches its size, and never read past
// the input, write out of bounds, leak, hang or allocate without bound.
//
// Mutated files nearly always break a chunk CRC, which libpng rejects before looking
// at the chunk; so each input is decoded once as it is and, when that changes it,
// once more with every complete chunk given its correct CRC.
#include "media/CxImage.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

uint32_t Crc32(const uint8_t* data, size_t size) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) c = table[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

// Rewrites the CRC of every complete chunk after the signature; true if any changed.
bool RepairCrcs(std::vector<uint8_t>& file) {
    bool changed = false;
    for (size_t at = 8; at + 12 <= file.size();) {
        const uint32_t length = uint32_t(file[at]) << 24 | uint32_t(file[at + 1]) << 16 | uint32_t(file[at + 2]) << 8 |
                                file[at + 3];
        if (length > file.size() - at - 12) break;
        const uint32_t crc = Crc32(file.data() + at + 4, size_t(length) + 4);
        uint8_t* stored = file.data() + at + 8 + length;
        const uint8_t bytes[4] = {uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8), uint8_t(crc)};
        for (int i = 0; i < 4; ++i) {
            changed = changed || stored[i] != bytes[i];
            stored[i] = bytes[i];
        }
        at += 12 + size_t(length);
    }
    return changed;
}

void DecodeAndCheck(const uint8_t* data, size_t size) {
    CxImage image;
    if (CxImagePNG::Decode(data, size, image)) {
        Check(image.Format == CxFormatPng);
        Check(image.Width > 0 && image.Height > 0);
        Check(image.Width <= CxImage::MaxSide && image.Height <= CxImage::MaxSide);
        Check(image.Pixels.size() == size_t(image.Width) * size_t(image.Height) * 4);
    } else {
        Check(!image.Error.isEmpty());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DecodeAndCheck(data, size);
    std::vector<uint8_t> repaired(data, data + size);
    if (RepairCrcs(repaired)) DecodeAndCheck(repaired.data(), repaired.size());
    return 0;
}
