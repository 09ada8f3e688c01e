// The BMP and TGA decoders against files the tests build themselves: every bit
// depth and pixel layout, both row orders, RLE streams with their escapes, the
// alpha rules, and truncated or hostile files, which must fail cleanly.
#include "media/CxImage.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
// Expected or decoded pixels as 0xAARRGGBB, top row first.
using Grid = std::vector<uint32_t>;
// A pixel value for column x and row y counted from the top.
using PixelFn = std::function<uint32_t(int x, int yTop)>;

void Put16(Bytes& b, uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void Put32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
void Set16(Bytes& b, size_t at, uint32_t v) {
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}
void Set32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}
void Append(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }

uint32_t Opaque(uint32_t rgb) { return 0xFF000000u | rgb; }
uint32_t Argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return a << 24 | r << 16 | g << 8 | b; }
// A field of max + 1 levels on the 0..255 scale.
uint32_t Scale(uint32_t v, uint32_t max) { return uint32_t(std::lround(v * 255.0 / max)); }

// Distinct colours for palette and colour-map entries (the red byte alone differs
// for every index below 256).
uint32_t EntryRgb(int i) {
    return uint32_t((i * 37 + 11) & 255) << 16 | uint32_t((i * 91 + 5) & 255) << 8 | uint32_t((255 - i * 13) & 255);
}

Grid Decoded(const CxImage& image) {
    Grid out;
    for (int y = image.Height - 1; y >= 0; --y) {
        const uint8_t* row = image.Row(y);
        for (int x = 0; x < image.Width; ++x) {
            const uint8_t* p = row + 4 * x;
            out.push_back(Argb(p[3], p[2], p[1], p[0]));
        }
    }
    return out;
}

Grid Expected(int w, int h, const PixelFn& pixel) {
    Grid out;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) out.push_back(pixel(x, y));
    return out;
}

// Rows of characters, top row first: '.' is transparent black, any other character
// the colour colour(c).
Grid FromText(const std::vector<std::string>& rows, const std::function<uint32_t(char)>& colour) {
    Grid out;
    for (const std::string& row : rows)
        for (char c : row) out.push_back(c == '.' ? 0u : colour(c));
    return out;
}

int HexDigit(char c) { return c <= '9' ? c - '0' : c - 'A' + 10; }

::testing::AssertionResult SameImage(const CxImage& image, int w, int h, const Grid& expected) {
    if (image.Width != w || image.Height != h)
        return ::testing::AssertionFailure()
               << "size " << image.Width << " x " << image.Height << ", expected " << w << " x " << h;
    if (image.Pixels.size() != size_t(w) * size_t(h) * 4)
        return ::testing::AssertionFailure() << "pixel buffer of " << image.Pixels.size() << " bytes";
    const Grid got = Decoded(image);
    for (size_t i = 0; i < got.size(); ++i)
        if (got[i] != expected[i])
            return ::testing::AssertionFailure()
                   << "pixel (" << i % size_t(w) << ", " << i / size_t(w) << ") from the top is " << std::hex
                   << got[i] << ", expected " << expected[i];
    return ::testing::AssertionSuccess();
}

// A failed decode leaves an error and no pixels.
::testing::AssertionResult FailedCleanly(const CxImage& image) {
    if (image.Error.isEmpty()) return ::testing::AssertionFailure() << "no error text";
    if (!image.Pixels.empty() || image.Width != 0 || image.Height != 0)
        return ::testing::AssertionFailure() << "pixels left behind: " << image.Width << " x " << image.Height;
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult Consistent(bool ok, const CxImage& image) {
    if (!ok) return FailedCleanly(image);
    if (image.Width <= 0 || image.Height <= 0 ||
        image.Pixels.size() != size_t(image.Width) * size_t(image.Height) * 4)
        return ::testing::AssertionFailure() << "success with " << image.Width << " x " << image.Height << " and "
                                             << image.Pixels.size() << " bytes";
    // Without alpha, every pixel is opaque.
    if (!image.HasAlpha)
        for (size_t i = 3; i < image.Pixels.size(); i += 4)
            if (image.Pixels[i] != 255) return ::testing::AssertionFailure() << "transparent pixel without alpha";
    return ::testing::AssertionSuccess();
}

// ---------------------------------------------------------------- BMP files

constexpr uint32_t BiRgb = 0, BiRle8 = 1, BiRle4 = 2, BiBitfields = 3, BiAlphaBitfields = 6;

struct BmpHeader {
    uint32_t headerSize = 40;
    int32_t width = 1;
    int32_t height = 1;
    uint16_t bits = 24;
    uint32_t compression = BiRgb;
    uint32_t colourCount = 0;
    std::vector<uint32_t> headerMasks; // red, green, blue, alpha fields of the longer headers
};

// File header, information header, then table (masks after a 40-byte header and
// the palette) and the pixel data, which starts right after the table.
Bytes BmpFile(const BmpHeader& h, const Bytes& table, const Bytes& pixels) {
    Bytes f{'B', 'M'};
    Put32(f, 0); // file size, set below
    Put32(f, 0);
    Put32(f, uint32_t(14 + h.headerSize + table.size()));
    const size_t start = f.size();
    if (h.headerSize == 12) {
        Put32(f, 12);
        Put16(f, uint32_t(h.width));
        Put16(f, uint32_t(h.height));
        Put16(f, 1);
        Put16(f, h.bits);
    } else {
        Put32(f, h.headerSize);
        Put32(f, uint32_t(h.width));
        Put32(f, uint32_t(h.height));
        Put16(f, 1);
        Put16(f, h.bits);
        Put32(f, h.compression);
        Put32(f, uint32_t(pixels.size()));
        Put32(f, 2835);
        Put32(f, 2835);
        Put32(f, h.colourCount);
        Put32(f, 0);
        for (uint32_t m : h.headerMasks) Put32(f, m);
        f.resize(start + h.headerSize, 0);
    }
    Append(f, table);
    Append(f, pixels);
    Set32(f, 2, uint32_t(f.size()));
    return f;
}

Bytes PaletteBytes(int count, size_t entrySize = 4) {
    Bytes out;
    for (int i = 0; i < count; ++i) {
        const uint32_t c = EntryRgb(i);
        out.push_back(uint8_t(c));
        out.push_back(uint8_t(c >> 8));
        out.push_back(uint8_t(c >> 16));
        if (entrySize == 4) out.push_back(0);
    }
    return out;
}

// Stored rows of a BMP: bottom row first unless topDown, each padded to 4 bytes.
// Pixels of fewer than 8 bits are packed from the high bits down.
Bytes BmpRows(int w, int h, int bits, bool topDown, const PixelFn& value) {
    Bytes out;
    for (int r = 0; r < h; ++r) {
        const int y = topDown ? r : h - 1 - r;
        Bytes row;
        if (bits < 8) {
            row.assign(size_t((w * bits + 7) / 8), 0);
            for (int x = 0; x < w; ++x) {
                const int bit = x * bits;
                row[size_t(bit / 8)] |= uint8_t(value(x, y) << (8 - bits - bit % 8));
            }
        } else {
            for (int x = 0; x < w; ++x)
                for (int b = 0; b < bits / 8; ++b) row.push_back(uint8_t(value(x, y) >> (8 * b)));
        }
        row.resize((row.size() + 3) / 4 * 4, 0);
        Append(out, row);
    }
    return out;
}

bool DecodeBmp(const Bytes& file, CxImage& image) { return CxImageBMP::Decode(file.data(), file.size(), image); }

TEST(BmpDecode, PaletteDepthsInBothRowOrders) {
    for (int bits : {1, 2, 4, 8})
        for (bool topDown : {false, true})
            for (int w : {1, 5, 13, 33}) {
                SCOPED_TRACE(testing::Message() << bits << " bits, width " << w << (topDown ? " top-down" : ""));
                const int h = 3;
                const int count = 1 << bits;
                auto index = [&](int x, int y) { return uint32_t((x * 7 + y * 3) % count); };
                BmpHeader hd;
                hd.width = w;
                hd.height = topDown ? -h : h;
                hd.bits = uint16_t(bits);
                const Bytes file = BmpFile(hd, PaletteBytes(count), BmpRows(w, h, bits, topDown, index));
                CxImage image;
                ASSERT_TRUE(DecodeBmp(file, image)) << image.Error.toStdString();
                EXPECT_TRUE(image.Error.isEmpty());
                EXPECT_EQ(image.Format, CxFormatBmp);
                EXPECT_FALSE(image.HasAlpha);
                EXPECT_TRUE(SameImage(image, w, h,
                                      Expected(w, h, [&](int x, int y) { return Opaque(EntryRgb(int(index(x, y)))); })));
            }
}

TEST(BmpDecode, CoreHeaderWithThreeBytePalette) {
    for (int bits : {1, 4, 8, 24}) {
        SCOPED_TRACE(bits);
        const int w = 6, h = 4;
        const bool indexed = bits <= 8;
        auto value = [&](int x, int y) {
            return indexed ? uint32_t((x + 2 * y) % (1 << bits)) : uint32_t(x * 40 << 16 | y * 60 << 8 | (x ^ y) * 9);
        };
        BmpHeader hd;
        hd.headerSize = 12;
        hd.width = w;
        hd.height = h;
        hd.bits = uint16_t(bits);
        const Bytes file = BmpFile(hd, indexed ? PaletteBytes(1 << bits, 3) : Bytes{}, BmpRows(w, h, bits, false, value));
        CxImage image;
        ASSERT_TRUE(DecodeBmp(file, image)) << image.Error.toStdString();
        EXPECT_FALSE(image.HasAlpha);
        EXPECT_TRUE(SameImage(image, w, h, Expected(w, h, [&](int x, int y) {
                                  return Opaque(indexed ? EntryRgb(int(value(x, y))) : value(x, y));
                              })));
    }
}

TEST(BmpDecode, TrueColour24InBothRowOrders) {
    for (bool topDown : {false, true})
        for (int w : {1, 2, 3, 4, 7}) {
            SCOPED_TRACE(testing::Message() << "width " << w << (topDown ? " top-down" : ""));
            const int h = 5;
            auto rgb = [](int x, int y) { return uint32_t((x * 50 + 3) << 16 | (y * 45 + 1) << 8 | (x * y + 7)); };
            BmpHeader hd;
            hd.width = w;
            hd.height = topDown ? -h : h;
            const Bytes file = BmpFile(hd, {}, BmpRows(w, h, 24, topDown, rgb));
            CxImage image;
            ASSERT_TRUE(DecodeBmp(file, image)) << image.Error.toStdString();
            EXPECT_FALSE(image.HasAlpha);
            EXPECT_TRUE(SameImage(image, w, h, Expected(w, h, [&](int x, int y) { return Opaque(rgb(x, y)); })));
        }
}

// 16-bit pixel value for column x, row y: every 5-bit level appears, and the top
// bit varies.
uint32_t Pixel16(int x, int y) { return uint32_t((x * 1021 + y * 2999 + 17) & 0xFFFF); }

struct MaskCase {
    const char* name;
    uint32_t headerSize;
    uint16_t bits;
    uint32_t compression;
    std::vector<uint32_t> masks; // red, green, blue[, alpha]
    bool masksAfterHeader;       // after a 40-byte header rather than inside a longer one
    PixelFn stored;
    bool hasAlpha;
};

// The expected colour from a stored value and masks: each field scaled by rounding.
uint32_t FromMasks(uint32_t v, const std::vector<uint32_t>& masks) {
    uint32_t c[4] = {0, 0, 0, 255};
    for (size_t i = 0; i < masks.size(); ++i) {
        if (masks[i] == 0) continue;
        int shift = 0;
        while (!(masks[i] >> shift & 1)) ++shift;
        const uint32_t max = masks[i] >> shift;
        uint32_t field = (v & masks[i]) >> shift;
        uint32_t top = max;
        // Fields wider than 8 bits keep their 8 high bits.
        while (top > 255) {
            top >>= 1;
            field >>= 1;
        }
        c[i] = Scale(field, top);
    }
    return Argb(c[3], c[0], c[1], c[2]);
}

TEST(BmpDecode, MaskedAndSixteenBitLayouts) {
    const std::vector<MaskCase> cases = {
        {"Rgb555Plain", 40, 16, BiRgb, {0x7C00, 0x03E0, 0x001F}, false, Pixel16, false},
        {"Rgb565AfterHeader", 40, 16, BiBitfields, {0xF800, 0x07E0, 0x001F}, true, Pixel16, false},
        {"Rgb565InV4Header", 108, 16, BiBitfields, {0xF800, 0x07E0, 0x001F, 0}, false, Pixel16, false},
        {"Argb1555AlphaBitfields", 40, 16, BiAlphaBitfields, {0x7C00, 0x03E0, 0x001F, 0x8000}, true, Pixel16, true},
        {"Argb4444InV5Header", 124, 16, BiBitfields, {0x0F00, 0x00F0, 0x000F, 0xF000}, false, Pixel16, true},
        {"Rgb565InV2Header", 52, 16, BiBitfields, {0xF800, 0x07E0, 0x001F}, false, Pixel16, false},
        {"Xbgr32InV3Header",
         56,
         32,
         BiBitfields,
         {0x000000FF, 0x0000FF00, 0x00FF0000, 0},
         false,
         [](int x, int y) { return uint32_t(x) * 0x01030507u + uint32_t(y) * 0x0B0D1113u; },
         false},
        {"Abgr32InV5Header",
         124,
         32,
         BiBitfields,
         {0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000},
         false,
         [](int x, int y) { return uint32_t(x) * 0x11030507u + uint32_t(y) * 0x230D1113u; },
         true},
        {"Rgb101010AfterHeader",
         40,
         32,
         BiBitfields,
         {0x3FF00000, 0x000FFC00, 0x000003FF},
         true,
         [](int x, int y) { return uint32_t(x) * 0x0140501Fu + uint32_t(y) * 0x2011F00Bu; },
         false},
    };
    for (const MaskCase& c : cases)
        for (bool topDown : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.name << (topDown ? " top-down" : ""));
            const int w = 37, h = 29;
            BmpHeader hd;
            hd.headerSize = c.headerSize;
            hd.width = w;
            hd.height = topDown ? -h : h;
            hd.bits = c.bits;
            hd.compression = c.compression;
            Bytes table;
            if (c.masksAfterHeader)
                for (uint32_t m : c.masks) Put32(table, m);
            else if (c.compression != BiRgb)
                hd.headerMasks = c.masks;
            const Bytes file = BmpFile(hd, table, BmpRows(w, h, c.bits, topDown, c.stored));
            CxImage image;
            ASSERT_TRUE(DecodeBmp(file, image)) << image.Error.toStdString();
            EXPECT_EQ(image.HasAlpha, c.hasAlpha);
            EXPECT_TRUE(SameImage(image, w, h,
                                  Expected(w, h, [&](int x, int y) { return FromMasks(c.stored(x, y), c.masks); })));
        }
}

TEST(BmpDecode, ThirtyTwoBitFourthByteIsAlphaOnlyWhenUsed) {
    const int w = 5, h = 3;
    auto rgb = [](int x, int y) { return uint32_t((x * 31) << 16 | (y * 77) << 8 | (x + y * 5)); };
    for (bool topDown : {false, true}) {
        SCOPED_TRACE(topDown ? "top-down" : "bottom-up");
        BmpHeader hd;
        hd.width = w;
        hd.height = topDown ? -h : h;
        hd.bits = 32;

        // Fourth byte zero everywhere: opaque.
        CxImage opaque;
        ASSERT_TRUE(DecodeBmp(BmpFile(hd, {}, BmpRows(w, h, 32, topDown, rgb)), opaque));
        EXPECT_FALSE(opaque.HasAlpha);
        EXPECT_TRUE(SameImage(opaque, w, h, Expected(w, h, [&](int x, int y) { return Opaque(rgb(x, y)); })));

        // Some non-zero: every alpha byte kept as it is, zeros included.
        auto alpha = [](int x, int y) { return uint32_t((x + y) % 3 == 0 ? 0 : x * 60 + y); };
        auto withAlpha = [&](int x, int y) { return alpha(x, y) << 24 | rgb(x, y); };
        CxImage translucent;
        ASSERT_TRUE(DecodeBmp(BmpFile(hd, {}, BmpRows(w, h, 32, topDown, withAlpha)), translucent));
        EXPECT_TRUE(translucent.HasAlpha);
        EXPECT_TRUE(SameImage(translucent, w, h, Expected(w, h, withAlpha)));
    }
}

TEST(BmpDecode, AlphaMaskThatIsZeroEverywhereMeansOpaque) {
    const int w = 4, h = 2;
    auto rgb = [](int x, int y) { return uint32_t(x * 0x102030 + y * 0x030201); };
    BmpHeader hd;
    hd.headerSize = 124;
    hd.width = w;
    hd.height = h;
    hd.bits = 32;
    hd.compression = BiBitfields;
    hd.headerMasks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    CxImage image;
    ASSERT_TRUE(DecodeBmp(BmpFile(hd, {}, BmpRows(w, h, 32, false, rgb)), image));
    EXPECT_FALSE(image.HasAlpha);
    EXPECT_TRUE(SameImage(image, w, h, Expected(w, h, [&](int x, int y) { return Opaque(rgb(x, y)); })));
}

TEST(BmpDecode, PlainThirtyTwoBitsInV5HeaderIgnoresHeaderMasks) {
    // Masks in the header count only with BI_BITFIELDS.
    const int w = 3, h = 2;
    auto rgb = [](int x, int y) { return uint32_t(0x00123456 + x * 0x010203 + y * 0x302010); };
    BmpHeader hd;
    hd.headerSize = 124;
    hd.width = w;
    hd.height = h;
    hd.bits = 32;
    hd.headerMasks = {0x000000FF, 0x0000FF00, 0x00FF0000, 0};
    CxImage image;
    ASSERT_TRUE(DecodeBmp(BmpFile(hd, {}, BmpRows(w, h, 32, false, rgb)), image));
    EXPECT_TRUE(SameImage(image, w, h, Expected(w, h, [&](int x, int y) { return Opaque(rgb(x, y)); })));
}

TEST(BmpDecode, PaletteEntriesTheFileDoesNotSupplyAreBlack) {
    const int w = 16, h = 1;
    auto index = [](int x, int) { return uint32_t(x); };
    const Bytes pixels = BmpRows(w, h, 8, false, index);
    struct Case {
        const char* name;
        uint32_t colourCount;
        int entriesWritten;
        int entriesValid; // entries taken from the file; later ones black
    };
    const Case cases[] = {
        {"SmallColourCount", 5, 5, 5},
        {"CountSmallerThanTheRoom", 5, 16, 5},
        // A colour count beyond 2^bits is cut to 2^bits.
        {"ColourCountBeyondRange", 0xFFFFFFFF, 256, 256},
        {"ColourCountAbove256", 300, 256, 256},
        // The pixel data offset leaves room for fewer entries than the count says.
        {"CountLargerThanTheRoom", 200, 9, 9},
        {"ZeroMeansFullButRoomForSeven", 0, 7, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BmpHeader hd;
        hd.width = w;
        hd.height = h;
        hd.bits = 8;
        hd.colourCount = c.colourCount;
        CxImage image;
        ASSERT_TRUE(DecodeBmp(BmpFile(hd, PaletteBytes(c.entriesWritten), pixels), image)) << image.Error.toStdString();
        EXPECT_TRUE(SameImage(image, w, h, Expected(w, h, [&](int x, int) {
                                  return x < c.entriesValid ? Opaque(EntryRgb(x)) : Opaque(0);
                              })));
    }
}

TEST(BmpDecode, OnlyThePaddingAfterTheLastRowMayBeMissing) {
    const int w = 3, h = 2; // 9 bytes a row, 3 of them padding
    auto rgb = [](int x, int y) { return uint32_t(x * 0x405060 + y * 0x0A0B0C + 1); };
    BmpHeader hd;
    hd.width = w;
    hd.height = h;
    const Bytes file = BmpFile(hd, {}, BmpRows(w, h, 24, false, rgb));
    const Grid expected = Expected(w, h, [&](int x, int y) { return Opaque(rgb(x, y)); });
    for (size_t cut = 0; cut <= 3; ++cut) {
        CxImage image;
        ASSERT_TRUE(DecodeBmp(Bytes(file.begin(), file.end() - long(cut)), image)) << cut;
        EXPECT_TRUE(SameImage(image, w, h, expected));
    }
    CxImage image;
    EXPECT_FALSE(DecodeBmp(Bytes(file.begin(), file.end() - 4), image));
    EXPECT_TRUE(FailedCleanly(image));
    EXPECT_TRUE(image.Error.contains(QStringLiteral("ends early")));
}

// An RLE file with a 16-entry (RLE4) or 10-entry (RLE8) palette.
Bytes RleFile(int w, int h, bool four, const Bytes& stream) {
    BmpHeader hd;
    hd.width = w;
    hd.height = h;
    hd.bits = four ? 4 : 8;
    hd.compression = four ? BiRle4 : BiRle8;
    hd.colourCount = four ? 16 : 10;
    return BmpFile(hd, PaletteBytes(four ? 16 : 10), stream);
}

uint32_t PaletteChar(char c) { return Opaque(EntryRgb(HexDigit(c))); }

std::vector<std::string> Reversed(std::vector<std::string> rows) { return {rows.rbegin(), rows.rend()}; }

// Lines of 8 pixels: a run, an odd absolute run with its padding, a run up to the
// right edge, a delta that skips the rest of a line and a whole line, an early end
// of line, an even absolute run and an early end of bitmap.
const Bytes Rle8Stream = {3, 1, 0, 3, 2, 3, 4, 0, 2, 5, 0, 0, // line 0
                          0, 2, 2, 1,                          // to x 2 of line 2
                          2, 6, 0, 0,                          // line 2
                          0, 4, 7, 8, 9, 7, 0, 1};             // line 3, end of bitmap
const std::vector<std::string> Rle8Lines = {"11123455", "........", "..66....", "7897...."}; // line 0 first

TEST(BmpDecode, Rle8WithEscapes) {
    CxImage image;
    ASSERT_TRUE(DecodeBmp(RleFile(8, 4, false, Rle8Stream), image)) << image.Error.toStdString();
    EXPECT_TRUE(image.HasAlpha); // skipped pixels are transparent
    EXPECT_TRUE(SameImage(image, 8, 4, FromText(Reversed(Rle8Lines), PaletteChar)));
}

TEST(BmpDecode, Rle8TopDownStartsAtTheTop) {
    Bytes file = RleFile(8, 4, false, Rle8Stream);
    Set32(file, 22, uint32_t(-4));
    CxImage image;
    ASSERT_TRUE(DecodeBmp(file, image)) << image.Error.toStdString();
    EXPECT_TRUE(SameImage(image, 8, 4, FromText(Rle8Lines, PaletteChar)));
}

TEST(BmpDecode, Rle4WithEscapes) {
    // 7 pixels a line: an alternating run, an odd absolute run with padding, a run
    // up to the right edge, a delta within a line and an early end of bitmap.
    const Bytes stream = {5, 0x12, 0, 0,                            // line 0
                          0, 5, 0x34, 0x56, 0x70, 0, 2, 0x89, 0, 0, // line 1
                          0, 2, 3, 0, 3, 0xAB, 0, 1};               // line 2
    const std::vector<std::string> lines = {"12121..", "3456789", "...ABA."};
    CxImage image;
    ASSERT_TRUE(DecodeBmp(RleFile(7, 3, true, stream), image)) << image.Error.toStdString();
    EXPECT_TRUE(image.HasAlpha);
    EXPECT_TRUE(SameImage(image, 7, 3, FromText(Reversed(lines), PaletteChar)));
}

TEST(BmpDecode, RleCoveringEveryPixelIsOpaque) {
    const Bytes stream = {4, 0x21, 0, 0, 0, 3, 0x45, 0x60, 1, 0x70, 0, 1};
    CxImage image;
    ASSERT_TRUE(DecodeBmp(RleFile(4, 2, true, stream), image)) << image.Error.toStdString();
    EXPECT_FALSE(image.HasAlpha);
    EXPECT_TRUE(SameImage(image, 4, 2, FromText({"4567", "2121"}, PaletteChar)));
}

struct RleEdgeCase {
    const char* name;
    int w, h;
    bool four;
    Bytes stream;
    bool ok;
    std::vector<std::string> lines; // line 0 first, when ok
};

TEST(BmpDecode, RleStreamsThatEndOrOverreach) {
    const std::vector<RleEdgeCase> cases = {
        {"CompleteWithoutEndOfBitmap", 2, 1, false, {2, 1}, true, {"11"}},
        {"CompleteWithEndOfLineOnly", 2, 1, false, {2, 1, 0, 0}, true, {"11"}},
        {"EndsBeforeTheLastLine", 2, 2, false, {2, 1, 0, 0}, false, {}},
        {"EndsMidLine", 3, 1, false, {2, 1}, false, {}},
        {"EndsInsideAnAbsoluteRun", 4, 1, false, {0, 4, 1, 2}, false, {}},
        {"EndsInsideADelta", 4, 2, false, {0, 2, 1}, false, {}},
        {"EndsAfterOddByte", 4, 2, false, {2}, false, {}},
        {"AbsoluteRunMissingOnlyItsPadding", 3, 1, false, {0, 3, 1, 2, 3}, true, {"123"}},
        // Damaged streams that reach past a row or the picture (drawing them gives
        // rows of garbage) are refused.
        {"DeltaPastTheTop", 2, 2, false, {1, 3, 0, 2, 0, 9, 1, 4}, false, {}},
        {"DeltaPastTheRightEdge", 3, 2, false, {0, 2, 200, 0, 1, 5, 0, 0, 3, 6}, false, {}},
        {"RunPastTheRow", 3, 2, false, {255, 2, 255, 3, 0, 0, 0, 5, 1, 2, 3, 4, 5, 0}, false, {}},
        {"RunOneBeyondTheRow", 3, 1, false, {4, 2, 0, 1}, false, {}},
        {"Rle4AbsoluteRunPastTheEdge", 3, 1, true, {0, 6, 0x12, 0x34, 0x56, 0, 0, 1}, false, {}},
        {"Rle8AbsoluteRunPastTheEdge", 3, 1, false, {0, 4, 1, 2, 3, 4, 0, 1}, false, {}},
        {"EndOfLinesPastTheTop", 1, 2, false, {1, 4, 0, 0, 0, 0, 0, 0, 0, 0, 1, 9}, false, {}},
        {"RunAfterTheLastLine", 2, 1, false, {2, 1, 0, 0, 2, 3}, false, {}},
        // Exactly to the edges is whole.
        {"RunsToTheRightEdge", 3, 2, false, {3, 2, 0, 0, 1, 1, 0, 2, 2, 0, 0, 1}, true, {"222", "1.."}},
        {"DeltaToTheLastLine", 2, 2, false, {0, 2, 1, 1, 1, 3, 0, 1}, true, {"..", ".3"}},
        {"EndOfLineAfterTheLastLineThenEnd", 1, 2, false, {1, 4, 0, 0, 1, 5, 0, 0, 0, 1}, true, {"4", "5"}},
    };
    for (const RleEdgeCase& c : cases) {
        SCOPED_TRACE(c.name);
        CxImage image;
        const bool ok = DecodeBmp(RleFile(c.w, c.h, c.four, c.stream), image);
        ASSERT_EQ(ok, c.ok) << image.Error.toStdString();
        if (ok)
            EXPECT_TRUE(SameImage(image, c.w, c.h, FromText(Reversed(c.lines), PaletteChar)));
        else
            EXPECT_TRUE(FailedCleanly(image));
    }
}

// A valid 4 x 2 24-bit file to break in one field at a time.
Bytes SmallBmp(uint32_t headerSize = 40, uint16_t bits = 24, uint32_t compression = BiRgb) {
    BmpHeader hd;
    hd.headerSize = headerSize;
    hd.width = 4;
    hd.height = 2;
    hd.bits = bits;
    hd.compression = compression;
    Bytes table;
    if (compression == BiBitfields) table = {0, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0};
    if (bits <= 8) table = PaletteBytes(1 << bits);
    const uint32_t mask = bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
    return BmpFile(hd, table, BmpRows(4, 2, bits, false, [&](int x, int y) { return uint32_t(x + y) & mask; }));
}

struct HostileCase {
    const char* name;
    Bytes file;
    const char* error; // part of the expected error text
};

Bytes With32(Bytes b, size_t at, uint32_t v) {
    Set32(b, at, v);
    return b;
}
Bytes With16(Bytes b, size_t at, uint32_t v) {
    Set16(b, at, v);
    return b;
}
Bytes Cut(Bytes b, size_t size) {
    b.resize(size);
    return b;
}

TEST(BmpDecode, HostileHeadersFailCleanly) {
    const Bytes good = SmallBmp();
    // Offsets: 10 pixel data offset, 14 header size, 18 width, 22 height, 28 bits,
    // 30 compression, 46 colour count.
    const std::vector<HostileCase> cases = {
        {"Empty", {}, "not a BMP"},
        {"OnlySignature", {'B', 'M'}, "not a BMP"},
        {"WrongSignature", With16(good, 0, 0x4D42 ^ 0x0101), "not a BMP"},
        {"HeaderSizeZero", With32(good, 14, 0), "header size"},
        {"HeaderSizeOdd", With32(good, 14, 41), "header size"},
        {"HeaderSizeHuge", With32(good, 14, 0xFFFFFFF0), "header size"},
        {"HeaderPastTheEnd", Cut(SmallBmp(124), 100), "header ends early"},
        {"CoreHeaderPastTheEnd", Cut(SmallBmp(12), 20), "header ends early"},
        {"WidthZero", With32(good, 18, 0), "invalid BMP image size"},
        {"WidthNegative", With32(good, 18, uint32_t(-4)), "invalid BMP image size"},
        {"HeightZero", With32(good, 22, 0), "invalid BMP image size"},
        {"WidthInTheMillions", With32(good, 18, 3000000), "beyond the limits"},
        {"HeightInTheMillions", With32(good, 22, 3000000), "beyond the limits"},
        {"TopDownHeightInTheMillions", With32(good, 22, uint32_t(-3000000)), "beyond the limits"},
        {"HeightMostNegative", With32(good, 22, 0x80000000u), "beyond the limits"},
        {"WidthLargest", With32(good, 18, 0x7FFFFFFF), "beyond the limits"},
        {"TooManyPixels", With32(With32(good, 18, 16384), 22, 16384), "beyond the limits"},
        {"CoreHeaderTooManyPixels", With16(With16(SmallBmp(12), 18, 65535), 20, 65535), "beyond the limits"},
        {"BitsZero", With16(good, 28, 0), "bit depth"},
        {"BitsThree", With16(good, 28, 3), "bit depth"},
        {"BitsSixtyFour", With16(good, 28, 64), "bit depth"},
        {"CoreHeaderSixteenBits", With16(SmallBmp(12), 24, 16), "bit depth"},
        {"CompressionJpeg", With32(good, 30, 4), "compression"},
        {"CompressionPng", With32(good, 30, 5), "compression"},
        {"CompressionUnknown", With32(good, 30, 0xFFFFFFFF), "compression"},
        {"Rle8At24Bits", With32(good, 30, BiRle8), "compression"},
        {"Rle4At8Bits", With32(SmallBmp(40, 8), 30, BiRle4), "compression"},
        {"BitfieldsAt24Bits", With32(good, 30, BiBitfields), "compression"},
        {"BitfieldsInOs2Header", With32(SmallBmp(64, 16), 30, BiBitfields), "compression"},
        {"MasksMissing", Cut(SmallBmp(40, 16, BiBitfields), 60), "masks"},
        {"MasksAllZero", With32(With32(With32(SmallBmp(40, 16, BiBitfields), 54, 0), 58, 0), 62, 0), "all zero"},
        {"OffsetPastTheEnd", With32(good, 10, uint32_t(good.size() + 1)), "offset"},
        {"OffsetHuge", With32(good, 10, 0xFFFFFFFF), "offset"},
        {"OffsetInsideTheHeader", With32(good, 10, 20), "offset"},
        {"OffsetInsideTheMasks", With32(SmallBmp(40, 16, BiBitfields), 10, 58), "offset"},
        {"OffsetAtTheEnd", With32(good, 10, uint32_t(good.size())), "ends early"},
        {"PixelDataShort", Cut(good, good.size() - 4), "ends early"},
        {"PaletteImageDataShort", Cut(SmallBmp(40, 1), SmallBmp(40, 1).size() - 4), "ends early"},
        {"RleDataMissing", Cut(With32(SmallBmp(40, 8), 30, BiRle8), 54 + 1024), "ends early"},
    };
    for (const HostileCase& c : cases) {
        SCOPED_TRACE(c.name);
        CxImage image;
        image.Pixels.assign(16, 1); // left from an earlier use
        EXPECT_FALSE(CxImageBMP::Decode(c.file.data(), c.file.size(), image));
        EXPECT_TRUE(FailedCleanly(image));
        EXPECT_TRUE(image.Error.contains(QLatin1String(c.error))) << image.Error.toStdString();
    }
}

TEST(BmpDecode, TheUntouchedSmallFilesDecode) {
    // The files the hostile cases start from are valid themselves.
    for (const Bytes& file : {SmallBmp(), SmallBmp(12), SmallBmp(124), SmallBmp(40, 16, BiBitfields), SmallBmp(40, 1),
                              SmallBmp(40, 8), SmallBmp(64, 16)}) {
        CxImage image;
        EXPECT_TRUE(DecodeBmp(file, image)) << image.Error.toStdString();
        EXPECT_TRUE(Consistent(true, image));
    }
}

// ---------------------------------------------------------------- TGA files

struct TgaHeader {
    uint8_t type = 2;
    uint8_t bits = 24;
    uint8_t descriptor = 0;
    uint16_t width = 1;
    uint16_t height = 1;
    Bytes id;
    bool hasMap = false;
    uint16_t mapFirst = 0;
    uint16_t mapLength = 0;
    uint8_t mapBits = 0;
    Bytes map;
};

Bytes TgaFile(const TgaHeader& h, const Bytes& pixels) {
    Bytes f;
    f.push_back(uint8_t(h.id.size()));
    f.push_back(h.hasMap ? 1 : 0);
    f.push_back(h.type);
    Put16(f, h.mapFirst);
    Put16(f, h.mapLength);
    f.push_back(h.mapBits);
    Put16(f, 0);
    Put16(f, 0);
    Put16(f, h.width);
    Put16(f, h.height);
    f.push_back(h.bits);
    f.push_back(h.descriptor);
    Append(f, h.id);
    Append(f, h.map);
    Append(f, pixels);
    return f;
}

// Stored pixels in file order: from the top row when topOrigin, else from the
// bottom; from the right end of each row when rightToLeft.
Bytes TgaPixels(int w, int h, int bytes, bool topOrigin, bool rightToLeft, const PixelFn& value) {
    Bytes out;
    for (int r = 0; r < h; ++r) {
        const int y = topOrigin ? r : h - 1 - r;
        for (int i = 0; i < w; ++i) {
            const int x = rightToLeft ? w - 1 - i : i;
            for (int b = 0; b < bytes; ++b) out.push_back(uint8_t(value(x, y) >> (8 * b)));
        }
    }
    return out;
}

// Run-length packets over the whole pixel stream: repeats become run packets,
// everything else raw packets, at most 128 pixels each, across row ends.
Bytes TgaRle(const Bytes& raw, size_t pixelSize) {
    const size_t n = raw.size() / pixelSize;
    auto same = [&](size_t a, size_t b) {
        return std::memcmp(&raw[a * pixelSize], &raw[b * pixelSize], pixelSize) == 0;
    };
    Bytes out;
    size_t i = 0;
    while (i < n) {
        size_t run = 1;
        while (i + run < n && run < 128 && same(i, i + run)) ++run;
        if (run >= 2) {
            out.push_back(uint8_t(0x80 | (run - 1)));
            out.insert(out.end(), raw.begin() + long(i * pixelSize), raw.begin() + long((i + 1) * pixelSize));
            i += run;
        } else {
            const size_t start = i;
            while (i < n && i - start < 128 && !(i + 1 < n && same(i, i + 1))) ++i;
            out.push_back(uint8_t(i - start - 1));
            out.insert(out.end(), raw.begin() + long(start * pixelSize), raw.begin() + long(i * pixelSize));
        }
    }
    return out;
}

bool DecodeTga(const Bytes& file, CxImage& image) { return CxImageTGA::Decode(file.data(), file.size(), image); }

uint32_t From16(uint32_t v, bool alpha) {
    const uint32_t a = alpha ? ((v & 0x8000) ? 255 : 0) : 255;
    return Argb(a, Scale((v >> 10) & 31, 31), Scale((v >> 5) & 31, 31), Scale(v & 31, 31));
}

struct TgaCase {
    const char* name;
    uint8_t baseType; // 1, 2 or 3; the RLE form is tried too
    uint8_t bits;
    uint8_t alphaBits;
    PixelFn stored;                                    // stored value (an index for colour maps)
    std::function<uint32_t(uint32_t stored)> expected; // the decoded pixel
    bool hasAlpha;
    // Colour map, for type 1.
    uint8_t mapBits = 0;
    uint16_t mapFirst = 0;
    uint16_t mapLength = 0;
    PixelFn mapEntry = nullptr; // stored entry i as mapEntry(i, 0)
};

// 16-bit colour-map entries, the top bit set in every other one.
uint32_t Entry16(int i) { return (i & 1 ? 0x8000u : 0u) | ((uint32_t(i) * 0x0F3Du + 0x1234u) & 0x7FFFu); }

// Values for rows of 11 pixels with run packets inside rows (columns 3 to 5),
// across row ends (columns 8 to 10 and 0 to 2 hold one value in every row) and raw
// packets between (columns 6 and 7).
uint32_t Blocky(int x, int y) {
    if (x < 3 || x >= 8) return 0x5A6B7C8Du;
    if (x < 6) return uint32_t(y + 1) * 0x1F2E3D4Bu;
    return uint32_t(x) * 0x01020304u + uint32_t(y) * 0x0A0B0C0Du + 0x11u;
}

std::vector<TgaCase> TgaCases() {
    std::vector<TgaCase> cases;
    cases.push_back({"Rgb24", 2, 24, 0, Blocky, [](uint32_t v) { return Opaque(v & 0xFFFFFF); }, false});
    cases.push_back({"Argb32", 2, 32, 8,
                     [](int x, int y) { return Blocky(x, y) | uint32_t((x + y) % 4 == 0 ? 0 : 0x80 + x) << 24; },
                     [](uint32_t v) { return v; }, true});
    cases.push_back({"Argb32WithoutAlphaBitsButWithAlpha", 2, 32, 0,
                     [](int x, int y) { return (Blocky(x, y) & 0x00FFFFFF) | uint32_t(x * 20) << 24; },
                     [](uint32_t v) { return v; }, true});
    cases.push_back({"Argb32AlphaZeroEverywhere", 2, 32, 8, [](int x, int y) { return Blocky(x, y) & 0x00FFFFFF; },
                     [](uint32_t v) { return Opaque(v); }, false});
    cases.push_back({"Rgb15", 2, 15, 0, [](int x, int y) { return Blocky(x, y) & 0xFFFF; },
                     [](uint32_t v) { return From16(v, false); }, false});
    cases.push_back({"Rgb16AttributeIgnored", 2, 16, 0, [](int x, int y) { return Blocky(x, y) & 0xFFFF; },
                     [](uint32_t v) { return From16(v, false); }, false});
    cases.push_back({"Argb16", 2, 16, 1, [](int x, int y) { return Blocky(x, y) & 0xFFFF; },
                     [](uint32_t v) { return From16(v, true); }, true});
    cases.push_back({"Grey8", 3, 8, 0, [](int x, int y) { return Blocky(x, y) & 0xFF; },
                     [](uint32_t v) { return Argb(255, v, v, v); }, false});
    cases.push_back({"GreyAlpha16", 3, 16, 8, [](int x, int y) { return Blocky(x, y) & 0xFFFF; },
                     [](uint32_t v) { return Argb(v >> 8, v & 255, v & 255, v & 255); }, true});
    auto entry24 = [](int i, int) { return EntryRgb(i); };
    cases.push_back({"Map24", 1, 8, 0, [](int x, int y) { return uint32_t((x / 2 + y) % 40); },
                     [](uint32_t v) { return Opaque(EntryRgb(int(v))); }, false, 24, 0, 40, entry24});
    // Indices below the first entry or past the map's end are opaque black.
    cases.push_back({"Map24WithFirstEntry", 1, 8, 0, [](int x, int y) { return uint32_t(x * 9 + y * 5) % 256; },
                     [](uint32_t v) { return Opaque(v >= 100 && v < 130 ? EntryRgb(int(v - 100)) : 0); }, false, 24,
                     100, 30, entry24});
    cases.push_back({"Map32", 1, 8, 8, [](int x, int y) { return uint32_t((x + y) % 16); },
                     [](uint32_t v) { return (v % 3 ? 0x40u + v : 0u) << 24 | EntryRgb(int(v)); }, true, 32, 0, 16,
                     [](int i, int) { return (i % 3 ? 0x40u + uint32_t(i) : 0u) << 24 | EntryRgb(i); }});
    cases.push_back({"Map16WithAttribute", 1, 8, 1, [](int x, int y) { return uint32_t((x + 2 * y) % 8); },
                     [](uint32_t v) { return From16(Entry16(int(v)), true); }, true, 16, 0, 8,
                     [](int i, int) { return Entry16(i); }});
    cases.push_back({"Map15", 1, 8, 0, [](int x, int y) { return uint32_t((x + 2 * y) % 8); },
                     [](uint32_t v) { return From16(Entry16(int(v)), false); }, false, 15, 0, 8,
                     [](int i, int) { return Entry16(i); }});
    cases.push_back({"Map24SixteenBitIndices", 1, 16, 0, [](int x, int y) { return uint32_t(x * 611 + y * 7919) % 65536; },
                     [](uint32_t v) { return Opaque(v >= 300 && v < 1300 ? EntryRgb(int(v - 300)) : 0); }, false, 24,
                     300, 1000, entry24});
    return cases;
}

TgaHeader HeaderFor(const TgaCase& c, int w, int h, bool rle, uint8_t orientation) {
    TgaHeader hd;
    hd.type = uint8_t(c.baseType + (rle ? 8 : 0));
    hd.bits = c.bits;
    hd.descriptor = uint8_t(c.alphaBits | orientation);
    hd.width = uint16_t(w);
    hd.height = uint16_t(h);
    if (c.baseType == 1) {
        hd.hasMap = true;
        hd.mapFirst = c.mapFirst;
        hd.mapLength = c.mapLength;
        hd.mapBits = c.mapBits;
        for (int i = 0; i < c.mapLength; ++i)
            for (int b = 0; b < (c.mapBits + 7) / 8; ++b) hd.map.push_back(uint8_t(c.mapEntry(i, 0) >> (8 * b)));
    }
    return hd;
}

TEST(TgaDecode, EveryTypeDepthOriginAndPacking) {
    const int w = 11, h = 7;
    for (const TgaCase& c : TgaCases())
        for (uint8_t orientation : {0x00, 0x20, 0x10, 0x30})
            for (bool rle : {false, true}) {
                SCOPED_TRACE(testing::Message() << c.name << (orientation & 0x20 ? " top" : " bottom")
                                                << (orientation & 0x10 ? " right-to-left" : "") << (rle ? " RLE" : ""));
                const size_t pixelSize = (c.bits + 7) / 8;
                const Bytes raw = TgaPixels(w, h, int(pixelSize), orientation & 0x20, orientation & 0x10, c.stored);
                const Bytes file = TgaFile(HeaderFor(c, w, h, rle, orientation), rle ? TgaRle(raw, pixelSize) : raw);
                CxImage image;
                ASSERT_TRUE(DecodeTga(file, image)) << image.Error.toStdString();
                EXPECT_TRUE(image.Error.isEmpty());
                EXPECT_EQ(image.Format, CxFormatTga);
                EXPECT_EQ(image.HasAlpha, c.hasAlpha);
                EXPECT_TRUE(SameImage(image, w, h, Expected(w, h, [&](int x, int y) { return c.expected(c.stored(x, y)); })));
            }
}

TEST(TgaDecode, TestRleEncoderMakesEveryPacketKind) {
    // The packing above is only worth its name when the streams hold run packets,
    // raw packets and packets that cross a row end; check the encoder on one of
    // its inputs.
    const int w = 11;
    const Bytes raw = TgaPixels(w, 7, 3, false, false, Blocky);
    const Bytes packed = TgaRle(raw, 3);
    bool run = false, literal = false, crossing = false;
    size_t pixel = 0;
    for (size_t i = 0; i < packed.size();) {
        const size_t count = (packed[i] & 0x7F) + 1u;
        if (packed[i] & 0x80) {
            run = true;
            i += 1 + 3;
        } else {
            literal = true;
            i += 1 + 3 * count;
        }
        crossing = crossing || pixel / w != (pixel + count - 1) / w;
        pixel += count;
    }
    EXPECT_EQ(pixel, raw.size() / 3);
    EXPECT_TRUE(run);
    EXPECT_TRUE(literal);
    EXPECT_TRUE(crossing);
    EXPECT_LT(packed.size(), raw.size());
}

TEST(TgaDecode, PacketsRunAcrossRowEnds) {
    // 3 x 2, bottom origin: a run of 4 covers the bottom row and the first pixel
    // of the top row; a raw packet of 2 ends the top row; a third packet is never
    // needed and is ignored.
    TgaHeader hd;
    hd.type = 10;
    hd.width = 3;
    hd.height = 2;
    const Bytes stream = {0x83, 0x10, 0x20, 0x30, 0x01, 1, 2, 3, 4, 5, 6, 0x85, 9, 9, 9};
    CxImage image;
    ASSERT_TRUE(DecodeTga(TgaFile(hd, stream), image)) << image.Error.toStdString();
    EXPECT_TRUE(SameImage(image, 3, 2,
                          {Opaque(0x302010), Opaque(0x030201), Opaque(0x060504), Opaque(0x302010), Opaque(0x302010),
                           Opaque(0x302010)}));
}

TEST(TgaDecode, RunPacketLongerThanTheImageIsCut) {
    TgaHeader hd;
    hd.type = 11;
    hd.bits = 8;
    hd.width = 2;
    hd.height = 2;
    const Bytes stream = {0xFF, 0x42};
    CxImage image;
    ASSERT_TRUE(DecodeTga(TgaFile(hd, stream), image)) << image.Error.toStdString();
    EXPECT_TRUE(SameImage(image, 2, 2, Grid(4, Argb(255, 0x42, 0x42, 0x42))));
}

TEST(TgaDecode, ImageIdAndUnusedColourMapAreSkipped) {
    const int w = 3, h = 2;
    auto rgb = [](int x, int y) { return uint32_t(x * 0x304050 + y * 0x0F0E0D); };
    TgaHeader hd;
    hd.width = w;
    hd.height = h;
    hd.id = Bytes(37, 0xEE);
    hd.hasMap = true; // a map in a true-colour file: present, not used
    hd.mapFirst = 3;
    hd.mapLength = 5;
    hd.mapBits = 24;
    hd.map = Bytes(15, 0xDD);
    CxImage image;
    ASSERT_TRUE(DecodeTga(TgaFile(hd, TgaPixels(w, h, 3, false, false, rgb)), image)) << image.Error.toStdString();
    EXPECT_TRUE(SameImage(image, w, h, Expected(w, h, [&](int x, int y) { return Opaque(rgb(x, y)); })));
}

TEST(TgaDecode, TrailingFooterIsIgnored) {
    TgaHeader hd;
    hd.width = 2;
    hd.height = 1;
    Bytes file = TgaFile(hd, {1, 2, 3, 4, 5, 6});
    Append(file, Bytes(26, 0x55));
    CxImage image;
    ASSERT_TRUE(DecodeTga(file, image)) << image.Error.toStdString();
    EXPECT_TRUE(SameImage(image, 2, 1, {Opaque(0x030201), Opaque(0x060504)}));
}

// A valid 4 x 2 file of the given type to break in one field at a time.
Bytes SmallTga(uint8_t type = 2, uint8_t bits = 24) {
    TgaHeader hd;
    hd.type = type;
    hd.bits = bits;
    hd.width = 4;
    hd.height = 2;
    if (type % 8 == 1) {
        hd.hasMap = true;
        hd.mapLength = 4;
        hd.mapBits = 24;
        hd.map = Bytes(12, 0x77);
    }
    const size_t pixelSize = (bits + 7) / 8;
    const Bytes raw = TgaPixels(4, 2, int(pixelSize), false, false, [](int x, int y) { return uint32_t((x + y) % 4); });
    return TgaFile(hd, type >= 9 ? TgaRle(raw, pixelSize) : raw);
}

TEST(TgaDecode, HostileHeadersFailCleanly) {
    auto with = [](Bytes b, size_t at, uint8_t v) {
        b[at] = v;
        return b;
    };
    const Bytes good = SmallTga();
    // Offsets: 0 ID length, 1 map type, 2 image type, 5 map length, 7 map entry
    // bits, 12 width, 14 height, 16 bits.
    const std::vector<HostileCase> cases = {
        {"Empty", {}, "header ends early"},
        {"ShortHeader", Cut(good, 17), "header ends early"},
        {"MapTypeTwo", with(good, 1, 2), "colour map type"},
        {"TypeZero", with(good, 2, 0), "image type"},
        {"TypeFour", with(good, 2, 4), "image type"},
        {"TypeEight", with(good, 2, 8), "image type"},
        {"TypeTwelve", with(good, 2, 12), "image type"},
        {"TypeThirtyTwo", with(good, 2, 32), "image type"},
        {"TypeMax", with(good, 2, 255), "image type"},
        {"MappedWithoutMap", with(SmallTga(1, 8), 1, 0), "without a colour map"},
        {"MappedAt24Bits", with(SmallTga(1, 8), 16, 24), "index size"},
        {"MapEntriesOfEightBits", with(SmallTga(1, 8), 7, 8), "entry size"},
        {"MapEntriesOfZeroBits", with(SmallTga(9, 8), 7, 0), "entry size"},
        {"TrueColourAt8Bits", with(good, 16, 8), "pixel size"},
        {"TrueColourAt0Bits", with(good, 16, 0), "pixel size"},
        {"TrueColourAt64Bits", with(good, 16, 64), "pixel size"},
        {"GreyAt24Bits", with(SmallTga(3, 8), 16, 24), "grey pixel size"},
        {"WidthZero", With16(good, 12, 0), "invalid TGA image size"},
        {"HeightZero", With16(good, 14, 0), "invalid TGA image size"},
        {"LargestSides", With16(With16(good, 12, 65535), 14, 65535), "beyond the limits"},
        {"WideButShort", With16(With16(good, 12, 20000), 14, 1), "beyond the limits"},
        {"TooManyPixels", With16(With16(good, 12, 16384), 14, 16384), "beyond the limits"},
        {"IdPastTheEnd", with(Cut(good, 18), 0, 40), "image ID ends early"},
        {"MapPastTheEnd", With16(SmallTga(1, 8), 5, 65535), "colour map ends early"},
        {"MapPastTheEndOfAnUnusedMap", with(With16(with(good, 1, 1), 5, 500), 7, 32), "colour map ends early"},
        {"PixelDataShort", Cut(good, good.size() - 1), "pixel data ends early"},
        {"PixelDataMissing", Cut(good, 18), "pixel data ends early"},
        {"RleDataMissing", Cut(SmallTga(10, 24), 18), "compressed pixel data ends early"},
        {"RleRawPacketShort", Cut(SmallTga(10, 24), SmallTga(10, 24).size() - 1), "compressed pixel data ends early"},
        {"RleRunValueShort", TgaFile([] { TgaHeader h; h.type = 10; h.width = 2; return h; }(), {0x81, 1, 2}),
         "compressed pixel data ends early"},
    };
    for (const HostileCase& c : cases) {
        SCOPED_TRACE(c.name);
        CxImage image;
        image.Pixels.assign(16, 1);
        EXPECT_FALSE(CxImageTGA::Decode(c.file.data(), c.file.size(), image));
        EXPECT_TRUE(FailedCleanly(image));
        EXPECT_TRUE(image.Error.contains(QLatin1String(c.error))) << image.Error.toStdString();
    }
}

TEST(TgaDecode, TheUntouchedSmallFilesDecode) {
    for (const Bytes& file : {SmallTga(), SmallTga(1, 8), SmallTga(3, 8), SmallTga(9, 8), SmallTga(10, 24),
                              SmallTga(11, 8)}) {
        CxImage image;
        EXPECT_TRUE(DecodeTga(file, image)) << image.Error.toStdString();
        EXPECT_TRUE(Consistent(true, image));
    }
}

// ---------------------------------------------------------------- both formats

// Every strict prefix of these files lacks pixel data the image needs.
std::vector<Bytes> FilesWithoutSlack() {
    std::vector<Bytes> files;
    for (const TgaCase& c : TgaCases())
        for (bool rle : {false, true}) {
            const size_t pixelSize = (c.bits + 7) / 8;
            const Bytes raw = TgaPixels(5, 3, int(pixelSize), false, false, c.stored);
            files.push_back(TgaFile(HeaderFor(c, 5, 3, rle, 0), rle ? TgaRle(raw, pixelSize) : raw));
        }
    for (int bits : {1, 4, 8, 16, 24, 32}) {
        BmpHeader hd;
        hd.width = 32; // rows without padding
        hd.height = -3;
        hd.bits = uint16_t(bits);
        const Bytes palette = bits <= 8 ? PaletteBytes(1 << bits) : Bytes{};
        files.push_back(BmpFile(hd, palette, BmpRows(32, 3, bits, true, [&](int x, int y) {
                                    return uint32_t(x * 3 + y) & ((bits >= 32 ? 0 : 1u << bits) - 1);
                                })));
    }
    // RLE ending with a skipped pixel: the end of bitmap is needed.
    files.push_back(RleFile(8, 4, false, Rle8Stream));
    return files;
}

TEST(BmpTgaDecode, EveryTruncationFailsCleanly) {
    for (const Bytes& file : FilesWithoutSlack()) {
        const bool bmp = file[0] == 'B';
        CxImage whole;
        ASSERT_TRUE(bmp ? DecodeBmp(file, whole) : DecodeTga(file, whole)) << whole.Error.toStdString();
        for (size_t size = 0; size < file.size(); ++size) {
            // An exact-size copy, so that the sanitizer sees any read past it.
            std::unique_ptr<uint8_t[]> copy(new uint8_t[size ? size : 1]);
            if (size) std::memcpy(copy.get(), file.data(), size);
            CxImage image;
            const bool ok =
                bmp ? CxImageBMP::Decode(copy.get(), size, image) : CxImageTGA::Decode(copy.get(), size, image);
            ASSERT_FALSE(ok) << (bmp ? "BMP" : "TGA") << " cut to " << size << " of " << file.size();
            ASSERT_TRUE(FailedCleanly(image));
        }
    }
}

TEST(BmpTgaDecode, MutatedFilesNeverMisbehave) {
    // Random byte changes to valid files of many layouts: whatever the decoders
    // answer, a success has a full pixel buffer and a failure leaves nothing.
    std::vector<Bytes> seeds = FilesWithoutSlack();
    seeds.push_back(RleFile(7, 3, true, {5, 0x12, 0, 0, 0, 5, 0x34, 0x56, 0x70, 0, 4, 0x89, 0, 0, 0, 2, 3, 0, 3, 0xAB, 0, 1}));
    seeds.push_back(SmallBmp(124));
    seeds.push_back(SmallBmp(12));
    std::mt19937 random(12345);
    int successes = 0, failures = 0;
    for (const Bytes& seed : seeds)
        for (int round = 0; round < 300; ++round) {
            Bytes file = seed;
            const int changes = 1 + int(random() % 6);
            for (int i = 0; i < changes; ++i) {
                const size_t at = random() % file.size();
                // Header bytes more often: they hold the sizes and offsets.
                const size_t where = (random() % 2) ? at % std::min<size_t>(file.size(), 70) : at;
                file[where] = uint8_t(random());
            }
            if (random() % 4 == 0) file.resize(random() % (file.size() + 1));
            std::unique_ptr<uint8_t[]> copy(new uint8_t[file.size() + 1]);
            std::memcpy(copy.get(), file.data(), file.size());
            CxImage image;
            const bool ok = seed[0] == 'B' ? CxImageBMP::Decode(copy.get(), file.size(), image)
                                           : CxImageTGA::Decode(copy.get(), file.size(), image);
            ASSERT_TRUE(Consistent(ok, image));
            (ok ? successes : failures)++;
        }
    // Both outcomes occur, so both checks above were exercised.
    EXPECT_GT(successes, 0);
    EXPECT_GT(failures, 0);
}

TEST(BmpTgaDecode, ThroughTheImageByContent) {
    TgaHeader hd;
    hd.width = 2;
    hd.height = 1;
    hd.bits = 32;
    hd.descriptor = 8;
    const Bytes tga = TgaFile(hd, {1, 2, 3, 0x80, 4, 5, 6, 0});
    CxImage image;
    ASSERT_TRUE(image.Decode(tga.data(), tga.size())) << image.Error.toStdString();
    EXPECT_EQ(image.Format, CxFormatTga);
    EXPECT_TRUE(image.HasAlpha);
    EXPECT_TRUE(SameImage(image, 2, 1, {Argb(0x80, 3, 2, 1), Argb(0, 6, 5, 4)}));

    const Bytes bmp = SmallBmp(40, 4);
    ASSERT_TRUE(image.Decode(bmp.data(), bmp.size())) << image.Error.toStdString();
    EXPECT_EQ(image.Format, CxFormatBmp);
    EXPECT_FALSE(image.HasAlpha);
    EXPECT_TRUE(SameImage(image, 4, 2, Expected(4, 2, [](int x, int y) { return Opaque(EntryRgb(x + y)); })));

    // A failure through the image keeps the format and the reason only.
    const Bytes broken = With32(bmp, 18, 5000000);
    EXPECT_FALSE(image.Decode(broken.data(), broken.size()));
    EXPECT_EQ(image.Format, CxFormatBmp);
    EXPECT_TRUE(image.Error.contains(QStringLiteral("beyond the limits")));
    EXPECT_TRUE(image.Pixels.empty());
}

} // namespace
