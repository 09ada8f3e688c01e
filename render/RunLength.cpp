#include "render/RunLength.h"

#include <algorithm>
#include <cstring>

namespace RunLength {

namespace {

constexpr size_t PixelBytes = 4;
constexpr size_t HeaderBytes = 2;
constexpr size_t RunPacketBytes = HeaderBytes + PixelBytes;

// Pixels are compared and copied as 32-bit words; memcpy keeps this free of
// alignment and aliasing assumptions and compiles to a single load.
inline uint32_t LoadPixel(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, PixelBytes);
    return v;
}

inline void StoreHeader(uint8_t* out, unsigned header) {
    out[0] = uint8_t(header & 0xFF);
    out[1] = uint8_t(header >> 8);
}

// Number of pixels after `first` (at most limit) that equal it.
inline size_t CountEqualFollowers(const uint8_t* first, size_t limit) {
    const uint32_t value = LoadPixel(first);
    const uint8_t* p = first + PixelBytes;
    size_t count = 0;
    // Two pixels per step: long runs are the common case of flat areas.
    uint64_t pair;
    std::memcpy(&pair, first, PixelBytes);
    std::memcpy(reinterpret_cast<uint8_t*>(&pair) + PixelBytes, first, PixelBytes);
    while (count + 2 <= limit) {
        uint64_t next;
        std::memcpy(&next, p + count * PixelBytes, sizeof next);
        if (next != pair) break;
        count += 2;
    }
    while (count < limit && LoadPixel(p + count * PixelBytes) == value) ++count;
    return count;
}

// Length of the literal starting at `first`: the pixels that each differ from their
// successor, at least one and at most MaxLiteral. The last pixel of the picture has
// no successor, so it only ever joins a literal as its first pixel.
inline size_t LiteralLength(const uint8_t* first, size_t remaining) {
    const size_t limit = std::min(remaining - 1, size_t(MaxLiteral));
    size_t length = 1;
    uint32_t current = LoadPixel(first + PixelBytes);
    while (length < limit) {
        const uint32_t next = LoadPixel(first + (length + 1) * PixelBytes);
        if (current == next) break;
        current = next;
        ++length;
    }
    return length;
}

// Writes count copies of one pixel.
inline void FillPixels(uint8_t* destination, uint32_t pixel, size_t count) {
    uint64_t pair = uint64_t(pixel) | (uint64_t(pixel) << 32);
    size_t i = 0;
    for (; i + 2 <= count; i += 2) std::memcpy(destination + i * PixelBytes, &pair, sizeof pair);
    if (i < count) std::memcpy(destination + i * PixelBytes, &pixel, PixelBytes);
}

}  // namespace

size_t Encode(const uint8_t* pixels, size_t pixelCount, uint8_t* out, size_t capacity) {
    size_t used = 0;
    size_t i = 0;
    while (i < pixelCount) {
        const uint8_t* current = pixels + i * PixelBytes;
        const size_t remaining = pixelCount - i;
        const size_t equal = CountEqualFollowers(current, std::min(remaining - 1, size_t(MaxRun - 1)));
        if (equal > 0) {
            if (used + RunPacketBytes >= capacity) return 0;
            StoreHeader(out + used, 0x8000u | unsigned(equal - 1));
            std::memcpy(out + used + HeaderBytes, current, PixelBytes);
            used += RunPacketBytes;
            i += equal + 1;
        } else {
            const size_t length = remaining == 1 ? 1 : LiteralLength(current, remaining);
            const size_t bytes = length * PixelBytes;
            if (used + HeaderBytes + bytes >= capacity) return 0;
            StoreHeader(out + used, unsigned(length - 1));
            std::memcpy(out + used + HeaderBytes, current, bytes);
            used += HeaderBytes + bytes;
            i += length;
        }
    }
    return used;
}

size_t Decode(const uint8_t* code, size_t size, uint8_t* destination, size_t pixelCount) {
    size_t position = 0;
    size_t written = 0;
    while (size - position >= HeaderBytes) {
        const unsigned header = unsigned(code[position]) | (unsigned(code[position + 1]) << 8);
        const size_t available = size - position - HeaderBytes;
        const size_t room = pixelCount - written;
        size_t count;
        if (header & 0x8000u) {
            count = (header & 0x7FFFu) + 2;
            if (available < PixelBytes || count > room) break;
            FillPixels(destination + written * PixelBytes, LoadPixel(code + position + HeaderBytes), count);
            position += RunPacketBytes;
        } else {
            count = header + 1;
            const size_t bytes = count * PixelBytes;
            if (available < bytes || count > room) break;
            std::memcpy(destination + written * PixelBytes, code + position + HeaderBytes, bytes);
            position += HeaderBytes + bytes;
        }
        written += count;
    }
    return written;
}

}  // namespace RunLength
