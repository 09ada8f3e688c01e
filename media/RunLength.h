// The run-length code of stored frames: a sequence of packets, each a little-endian
// uint16 header h. Bit 15 set: a run, one 32-bit pixel repeated (h & 0x7FFF) + 2
// times. Bit 15 clear: a literal of (h & 0x7FFF) + 1 pixels that follow.
//
// Threads: pure functions, callable from any thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace RunLength {

constexpr int MaxRun = 32769;      // pixels one run packet covers at most
constexpr int MaxLiteral = 32767;  // pixels the encoder puts in one literal

// Encodes pixelCount pixels (4 bytes each) into out, which has room for capacity
// bytes. Returns the code size, or 0 when the code would reach capacity (the caller
// then keeps the pixels raw; it passes the raw size as capacity, or the smaller
// size from which on it would keep them raw anyway, to stop early).
size_t Encode(const uint8_t* pixels, size_t pixelCount, uint8_t* out, size_t capacity);

// Decodes size bytes of code into destination (room for pixelCount pixels). Stops at
// the end of the code, at a truncated packet, or at a packet that would pass
// pixelCount. Returns the number of pixels written.
size_t Decode(const uint8_t* code, size_t size, uint8_t* destination, size_t pixelCount);

}  // namespace RunLength
