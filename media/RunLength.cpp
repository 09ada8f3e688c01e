#include "media/RunLength.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
#if defined(__SSE2__)
    // Four pixels per step: long runs are the common case of flat areas.
    const __m128i wanted = _mm_set1_epi32(int(value));
    while (count + 4 <= limit) {
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + count * PixelBytes));
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(next, wanted)) != 0xFFFF) break;
        count += 4;
    }
#endif
    while (count < limit && LoadPixel(p + count * PixelBytes) == value) ++count;
    return count;
}

// Length of the literal starting at `first`: the pixels that each differ from their
// successor, at least one and at most MaxLiteral. The last pixel of the picture has
// no successor, so it only ever joins a literal as its first pixel.
inline size_t LiteralLength(const uint8_t* first, size_t remaining) {
    const size_t limit = std::min(remaining - 1, size_t(MaxLiteral));
    size_t length = 1;
#if defined(__SSE2__)
    // Four pixels against their four successors per step; detailed pictures and
    // noise are mostly literals. Successors reach at most pixel limit < remaining.
    while (length + 4 <= limit) {
        const uint8_t* p = first + length * PixelBytes;
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + PixelBytes));
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(here, next)) != 0) break;
        length += 4;
    }
#endif
    uint32_t current = LoadPixel(first + length * PixelBytes);
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
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i four = _mm_set1_epi32(int(pixel));
    for (; i + 8 <= count; i += 8) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + i * PixelBytes), four);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + (i + 4) * PixelBytes), four);
    }
    for (; i + 4 <= count; i += 4) _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + i * PixelBytes), four);
#endif
    for (; i < count; ++i) std::memcpy(destination + i * PixelBytes, &pixel, PixelBytes);
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
