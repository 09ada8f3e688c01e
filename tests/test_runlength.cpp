// The run-length code of stored frames: exact encoder choices, the raw fallback,
// decoding limits and round trips through CCompressedPicture.
#include "media/Picture.h"
#include "media/RunLength.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// Pixels written as 32-bit words; the code stores each word's bytes in memory order,
// which on the little-endian targets is low byte first.
Bytes Pixels(std::initializer_list<uint32_t> values) {
    Bytes out;
    for (uint32_t v : values)
        for (int b = 0; b < 4; ++b) out.push_back(uint8_t(v >> (8 * b)));
    return out;
}

Bytes Repeat(uint32_t value, size_t count) {
    Bytes out;
    out.reserve(count * 4);
    for (size_t i = 0; i < count; ++i)
        for (int b = 0; b < 4; ++b) out.push_back(uint8_t(value >> (8 * b)));
    return out;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes EncodeAll(const Bytes& pixels) {
    Bytes out(pixels.size() * 2 + 16);
    const size_t size = RunLength::Encode(pixels.data(), pixels.size() / 4, out.data(), out.size());
    out.resize(size);
    return out;
}

CPicture MakePicture(int w, int h, const Bytes& pixels) {
    CPicture p;
    EXPECT_TRUE(p.Resize(w, h));
    EXPECT_EQ(pixels.size(), p.ByteCount());
    if (!pixels.empty()) std::memcpy(p.data.get(), pixels.data(), pixels.size());
    return p;
}

Bytes Contents(const CPicture& p) { return Bytes(p.data.get(), p.data.get() + p.ByteCount()); }

Bytes Stored(const CCompressedPicture& p) { return Bytes(p.data.get(), p.data.get() + p.StoredByteCount()); }

uint16_t HeaderAt(const Bytes& code, size_t offset) { return uint16_t(code[offset] | (code[offset + 1] << 8)); }

constexpr uint32_t A = 0xAA000001, B = 0xBB000002, C = 0xCC000003, D = 0xDD000004;

struct EncodeCase {
    const char* name;
    Bytes pixels;
    Bytes code;
};

class EncodeChoices : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(EncodeChoices, ProducesExactCode) {
    const EncodeCase& c = GetParam();
    EXPECT_EQ(EncodeAll(c.pixels), c.code);
}

INSTANTIATE_TEST_SUITE_P(
    SmallFixtures, EncodeChoices,
    ::testing::Values(
        // The last pixel has no successor, so it never joins a literal of others.
        EncodeCase{"ABC", Pixels({A, B, C}),
                   Concat({{0x01, 0x00}, Pixels({A, B}), {0x00, 0x00}, Pixels({C})})},
        EncodeCase{"AB", Pixels({A, B}), Concat({{0x00, 0x00}, Pixels({A}), {0x00, 0x00}, Pixels({B})})},
        EncodeCase{"Single", Pixels({A}), Concat({{0x00, 0x00}, Pixels({A})})},
        EncodeCase{"AAB", Pixels({A, A, B}), Concat({{0x00, 0x80}, Pixels({A}), {0x00, 0x00}, Pixels({B})})},
        EncodeCase{"ABB", Pixels({A, B, B}), Concat({{0x00, 0x00}, Pixels({A}), {0x00, 0x80}, Pixels({B})})},
        EncodeCase{"AAAA", Pixels({A, A, A, A}), Concat({{0x02, 0x80}, Pixels({A})})},
        // A literal stops at the pixel equal to its successor, which starts a run.
        EncodeCase{"ABCCD", Pixels({A, B, C, C, D}),
                   Concat({{0x01, 0x00}, Pixels({A, B}), {0x00, 0x80}, Pixels({C}), {0x00, 0x00}, Pixels({D})})},
        // Runs compare whole pixels: a different alpha byte breaks the run.
        EncodeCase{"AlphaDiffers", Pixels({0x00102030, 0x01102030, 0x01102030}),
                   Concat({{0x00, 0x00}, Pixels({0x00102030}), {0x00, 0x80}, Pixels({0x01102030})})},
        EncodeCase{"Empty", Bytes{}, Bytes{}}),
    [](const ::testing::TestParamInfo<EncodeCase>& info) { return std::string(info.param.name); });

struct LongRunCase {
    size_t count;
    Bytes code;
};

TEST(RunLengthEncode, RunsCoverAtMost32769Pixels) {
    const LongRunCase cases[] = {
        {32769, Concat({{0xFF, 0xFF}, Pixels({A})})},
        // One pixel left over is the last pixel: a literal of its own.
        {32770, Concat({{0xFF, 0xFF}, Pixels({A}), {0x00, 0x00}, Pixels({A})})},
        {32771, Concat({{0xFF, 0xFF}, Pixels({A}), {0x00, 0x80}, Pixels({A})})},
        {65538, Concat({{0xFF, 0xFF}, Pixels({A}), {0xFF, 0xFF}, Pixels({A})})},
    };
    for (const LongRunCase& c : cases) {
        SCOPED_TRACE(c.count);
        EXPECT_EQ(EncodeAll(Repeat(A, c.count)), c.code);
    }
}

TEST(RunLengthEncode, LiteralsHoldAtMost32767Pixels) {
    Bytes pixels;
    const size_t count = 32769;
    for (size_t i = 0; i < count; ++i)
        for (int b = 0; b < 4; ++b) pixels.push_back(uint8_t((i + 1) >> (8 * b)));
    const Bytes code = EncodeAll(pixels);
    ASSERT_EQ(code.size(), 2 + 32767 * 4 + 6 + 6);
    EXPECT_EQ(HeaderAt(code, 0), 0x7FFE);
    EXPECT_TRUE(std::equal(code.begin() + 2, code.begin() + 2 + 32767 * 4, pixels.begin()));
    const size_t second = 2 + 32767 * 4;
    EXPECT_EQ(HeaderAt(code, second), 0x0000);
    EXPECT_EQ(HeaderAt(code, second + 6), 0x0000);
    EXPECT_TRUE(std::equal(code.begin() + second + 2, code.begin() + second + 6, pixels.begin() + 32767 * 4));
    EXPECT_TRUE(std::equal(code.end() - 4, code.end(), pixels.end() - 4));
}

TEST(RunLengthEncode, GivesUpWhenCodeReachesCapacity) {
    const Bytes one = Pixels({A});  // 6 bytes of code
    Bytes out(16, 0xEE);
    EXPECT_EQ(RunLength::Encode(one.data(), 1, out.data(), 4), 0u);
    EXPECT_EQ(RunLength::Encode(one.data(), 1, out.data(), 6), 0u);
    EXPECT_EQ(RunLength::Encode(one.data(), 1, out.data(), 7), 6u);

    // ABC needs 16 bytes; the second packet is the one that reaches the limit.
    const Bytes abc = Pixels({A, B, C});
    EXPECT_EQ(RunLength::Encode(abc.data(), 3, out.data(), 16), 0u);
    EXPECT_EQ(RunLength::Encode(abc.data(), 3, out.data(), 17), 16u);
}

TEST(CompressedPicture, SolidFullHdFrameIsRunsOf32769) {
    CPicture frame;
    ASSERT_TRUE(frame.Resize(1920, 1080));
    frame.Fill(0xFF336699);
    CCompressedPicture stored;
    stored.Compress(frame);
    // 2073600 pixels = 63 full runs and one of 9153.
    ASSERT_EQ(stored.compressedSize, 64 * 6);
    const Bytes code = Stored(stored);
    const Bytes pixel = {0x33, 0x66, 0x99, 0xFF};  // blue, green, red, opacity
    for (size_t packet = 0; packet < 64; ++packet) {
        SCOPED_TRACE(packet);
        EXPECT_EQ(HeaderAt(code, packet * 6), packet < 63 ? 0xFFFF : 0x8000 | (9153 - 2));
        EXPECT_TRUE(std::equal(pixel.begin(), pixel.end(), code.begin() + packet * 6 + 2));
    }
    EXPECT_EQ(stored.width, 1920);
    EXPECT_EQ(stored.height, 1080);
}

TEST(CompressedPicture, SinglePixelIsStoredRaw) {
    const CPicture one = MakePicture(1, 1, Pixels({A}));
    CCompressedPicture stored;
    stored.Compress(one);
    EXPECT_EQ(stored.compressedSize, -1);
    EXPECT_EQ(stored.StoredByteCount(), 4u);
    EXPECT_EQ(Stored(stored), Pixels({A}));
}

TEST(CompressedPicture, RandomPixelsAreStoredRaw) {
    std::mt19937 random(7);
    Bytes pixels(64 * 48 * 4);
    for (uint8_t& b : pixels) b = uint8_t(random());
    CCompressedPicture stored;
    stored.Compress(MakePicture(64, 48, pixels));
    EXPECT_EQ(stored.compressedSize, -1);
    EXPECT_EQ(Stored(stored), pixels);
}

// literalCount distinct pixels then a run of 10: code 4 * literalCount + 8 bytes.
Bytes LiteralThenRun(size_t literalCount) {
    Bytes pixels;
    for (size_t i = 0; i < literalCount; ++i) {
        const Bytes p = Pixels({uint32_t(0x01000000 + i)});
        pixels.insert(pixels.end(), p.begin(), p.end());
    }
    const Bytes run = Repeat(0xFFFFFFFF, 10);
    pixels.insert(pixels.end(), run.begin(), run.end());
    return pixels;
}

TEST(CompressedPicture, KeepsCodeOnlyBelow80PercentOfRaw) {
    // 39 pixels: 124 bytes of code for 156 raw, 124 * 100 / 156 = 79.
    const Bytes below = LiteralThenRun(29);
    CCompressedPicture stored;
    stored.Compress(MakePicture(39, 1, below));
    ASSERT_EQ(stored.compressedSize, 124);
    EXPECT_EQ(Stored(stored), EncodeAll(below));

    // 40 pixels: 128 bytes of code for 160 raw, exactly 80 %.
    const Bytes at = LiteralThenRun(30);
    ASSERT_EQ(EncodeAll(at).size(), 128u);
    stored.Compress(MakePicture(40, 1, at));
    EXPECT_EQ(stored.compressedSize, -1);
    EXPECT_EQ(Stored(stored), at);
}

TEST(CompressedPicture, EmptyPictureStoresNothing) {
    CCompressedPicture stored;
    stored.Compress(CPicture());
    EXPECT_EQ(stored.compressedSize, -1);
    EXPECT_EQ(stored.StoredByteCount(), 0u);
    CPicture out;
    EXPECT_TRUE(stored.Decompress(out));
    EXPECT_TRUE(out.IsEmpty());
}

// Pictures of the kinds stored frames hold, for round trips.
CPicture Fixture(int kind, int w, int h) {
    CPicture p;
    EXPECT_TRUE(p.Resize(w, h));
    std::mt19937 random(uint32_t(kind * 1000 + w));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            uint8_t* px = p.Pixel(x, y);
            switch (kind) {
                case 0:  // solid
                    px[0] = 10, px[1] = 20, px[2] = 30, px[3] = 255;
                    break;
                case 1:  // horizontal gradient: short runs
                    px[0] = uint8_t(x / 3), px[1] = uint8_t(y), px[2] = 0, px[3] = 255;
                    break;
                case 2:  // noise
                    for (int c = 0; c < 4; ++c) px[c] = uint8_t(random());
                    break;
                default:  // few colours: mixed runs and literals
                    std::memset(px, int(random() % 3) * 100, 4);
                    break;
            }
        }
    }
    return p;
}

TEST(CompressedPicture, RoundTripRestoresEveryPixel) {
    const struct {
        int kind, w, h;
    } cases[] = {{0, 1, 1},   {0, 300, 200}, {1, 257, 3}, {1, 1, 40},  {2, 33, 17},
                 {2, 1, 1},   {3, 2, 1},     {3, 500, 80}, {3, 1, 1},  {0, 32768, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "kind " << c.kind << " " << c.w << "x" << c.h);
        const CPicture original = Fixture(c.kind, c.w, c.h);
        CCompressedPicture stored;
        stored.Compress(original);
        CPicture decoded;
        ASSERT_TRUE(stored.Decompress(decoded));
        ASSERT_EQ(decoded.width, c.w);
        ASSERT_EQ(decoded.height, c.h);
        EXPECT_EQ(Contents(decoded), Contents(original));
    }
}

TEST(RunLengthDecode, ReadsRunsAndLiteralsBeyondWhatTheEncoderWrites) {
    // A literal of 32768 pixels (header 7FFF) is valid code, though never written.
    Bytes code = {0xFF, 0x7F};
    Bytes literal;
    for (uint32_t i = 0; i < 32768; ++i) {
        const Bytes p = Pixels({i * 2654435761u});
        literal.insert(literal.end(), p.begin(), p.end());
    }
    code.insert(code.end(), literal.begin(), literal.end());
    const Bytes run = Concat({{0x00, 0x80}, Pixels({C})});
    code.insert(code.end(), run.begin(), run.end());

    Bytes out(32770 * 4);
    ASSERT_EQ(RunLength::Decode(code.data(), code.size(), out.data(), 32770), 32770u);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 32768 * 4), literal);
    EXPECT_EQ(Bytes(out.begin() + 32768 * 4, out.end()), Pixels({C, C}));
}

TEST(RunLengthDecode, StopsAtPacketPassingPixelCountAndKeepsTheRest) {
    const uint32_t Old = 0x55555555;
    // literal A, run of 3 B: the run does not fit into 3 pixels.
    const Bytes code = Concat({{0x00, 0x00}, Pixels({A}), {0x01, 0x80}, Pixels({B})});
    Bytes out = Repeat(Old, 3);
    EXPECT_EQ(RunLength::Decode(code.data(), code.size(), out.data(), 3), 1u);
    EXPECT_EQ(out, Pixels({A, Old, Old}));

    // Nothing after the stopping packet is decoded even if it would fit.
    const Bytes more = Concat({code, {0x00, 0x00}, Pixels({C})});
    out = Repeat(Old, 3);
    EXPECT_EQ(RunLength::Decode(more.data(), more.size(), out.data(), 3), 1u);
    EXPECT_EQ(out, Pixels({A, Old, Old}));

    // Code for fewer pixels than the picture leaves the tail alone.
    out = Repeat(Old, 6);
    EXPECT_EQ(RunLength::Decode(code.data(), code.size(), out.data(), 6), 4u);
    EXPECT_EQ(out, Pixels({A, B, B, B, Old, Old}));

    // A literal that would pass the count is refused whole.
    const Bytes literal = Concat({{0x02, 0x00}, Pixels({A, B, C})});
    out = Repeat(Old, 2);
    EXPECT_EQ(RunLength::Decode(literal.data(), literal.size(), out.data(), 2), 0u);
    EXPECT_EQ(out, Repeat(Old, 2));
}

TEST(RunLengthDecode, TruncatedPacketEndsDecoding) {
    // Packets end at byte 10 (literal A B) and 16 (run of 3 C).
    const Bytes code = Concat({{0x01, 0x00}, Pixels({A, B}), {0x01, 0x80}, Pixels({C})});
    ASSERT_EQ(code.size(), 16u);
    const uint32_t Old = 0x77777777;
    for (size_t length = 0; length <= code.size(); ++length) {
        SCOPED_TRACE(length);
        // Exactly sized copy so a read past the end is caught by the sanitizer.
        const std::unique_ptr<uint8_t[]> cut(new uint8_t[length ? length : 1]);
        std::memcpy(cut.get(), code.data(), length);
        Bytes out = Repeat(Old, 6);
        const size_t decoded = RunLength::Decode(cut.get(), length, out.data(), 6);
        if (length < 10) {
            EXPECT_EQ(decoded, 0u);
            EXPECT_EQ(out, Repeat(Old, 6));
        } else if (length < 16) {
            EXPECT_EQ(decoded, 2u);
            EXPECT_EQ(out, Pixels({A, B, Old, Old, Old, Old}));
        } else {
            EXPECT_EQ(decoded, 5u);
            EXPECT_EQ(out, Pixels({A, B, C, C, C, Old}));
        }
    }
}

TEST(CompressedPicture, DecompressIntoOtherSizeClearsToTransparentBlack) {
    CCompressedPicture stored;
    ASSERT_TRUE(stored.Allocate(4, 1, 6));
    const Bytes code = Concat({{0x00, 0x80}, Pixels({A})});  // only 2 of 4 pixels
    std::memcpy(stored.data.get(), code.data(), code.size());

    CPicture other = MakePicture(2, 2, Repeat(B, 4));
    ASSERT_TRUE(stored.Decompress(other));
    EXPECT_EQ(other.width, 4);
    EXPECT_EQ(other.height, 1);
    EXPECT_EQ(Contents(other), Pixels({A, A, 0, 0}));

    CPicture same = MakePicture(4, 1, Repeat(B, 4));
    ASSERT_TRUE(stored.Decompress(same));
    EXPECT_EQ(Contents(same), Pixels({A, A, B, B}));
}

TEST(CompressedPicture, DecompressOfRawFrameCopiesIt) {
    CCompressedPicture stored;
    ASSERT_TRUE(stored.Allocate(2, 1, -1));
    EXPECT_EQ(stored.StoredByteCount(), 8u);
    const Bytes raw = Pixels({C, D});
    std::memcpy(stored.data.get(), raw.data(), raw.size());
    CPicture out;
    ASSERT_TRUE(stored.Decompress(out));
    EXPECT_EQ(Contents(out), raw);
}

TEST(CompressedPicture, AllocateChecksSizes) {
    CCompressedPicture stored;
    EXPECT_TRUE(stored.Allocate(3, 2, 10));
    EXPECT_EQ(stored.StoredByteCount(), 10u);
    EXPECT_EQ(stored.compressedSize, 10);
    EXPECT_FALSE(stored.Allocate(-1, 2, 10));
    EXPECT_FALSE(stored.Allocate(CPicture::MaxSide + 1, 1, -1));
    EXPECT_FALSE(stored.Allocate(2, 2, -2));
    EXPECT_EQ(stored.StoredByteCount(), 0u);
    EXPECT_EQ(stored.compressedSize, -1);
}

TEST(CompressedPicture, CopyDuplicatesTheCode) {
    CCompressedPicture stored;
    stored.Compress(Fixture(1, 40, 10));
    ASSERT_GT(stored.compressedSize, 0);
    const Bytes before = Stored(stored);
    CCompressedPicture copy(stored);
    EXPECT_EQ(copy.compressedSize, stored.compressedSize);
    EXPECT_EQ(Stored(copy), before);
    EXPECT_NE(copy.data.get(), stored.data.get());
    copy.data[0] ^= 0xFF;
    EXPECT_EQ(Stored(stored), before);
}

TEST(CompressedPicture, PlainCopyOfCompressedPictureHoldsPixels) {
    const CPicture original = Fixture(1, 40, 10);
    CCompressedPicture stored;
    stored.Compress(original);
    ASSERT_GT(stored.compressedSize, 0);
    const CPicture& base = stored;
    CPicture plain(base);
    EXPECT_EQ(Contents(plain), Contents(original));
}

}  // namespace
