// BMP decoder.
//
// Headers: the file header followed by the OS/2 core header (12 bytes) or the
// Windows information header (40 bytes) and its longer forms (52, 56, 64, 108 and
// 124 bytes; the longer ones only add colour masks and colour-space fields, of
// which the masks are used).
// Pixel layouts: 1, 2, 4 and 8 bits through a palette; 16 bits as 5-5-5 or with
// colour masks; 24 bits; 32 bits as blue, green, red and a fourth byte, or with
// colour masks (alpha mask included); RLE8 and RLE4. Rows run bottom-up for a
// positive height and top-down for a negative one, each padded to 4 bytes.
//
// Choices where files disagree or lie:
//  - The palette holds 2^bits entries. Entries the file does not supply (a smaller
//    colour count, or fewer entries between the header and the pixel data) are
//    opaque black; a colour count above 2^bits is cut to 2^bits. The palette's
//    fourth byte is ignored: palette images are opaque.
//  - An alpha channel (the fourth byte of a plain 32-bit image, or an alpha mask)
//    that is zero in every pixel is taken as absent: such files are common and
//    are meant to be opaque. Otherwise its values are kept and HasAlpha is set.
//  - RLE: pixels the stream skips (delta escapes, lines ended early, the bitmap
//    ended early) are transparent black and set HasAlpha. A run or a delta that
//    reaches past the right edge or past the last line fails the file: such
//    streams are damaged, and drawing them gives rows of garbage. The data
//    running out before the end-of-bitmap escape fails, unless every pixel was
//    covered by then.
//  - Uncompressed data must hold every row; only the padding after the last row
//    may be missing.
#include "media/CxImage.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

namespace {

constexpr uint32_t BiRgb = 0;
constexpr uint32_t BiRle8 = 1;
constexpr uint32_t BiRle4 = 2;
constexpr uint32_t BiBitfields = 3;
constexpr uint32_t BiAlphaBitfields = 6;

constexpr size_t FileHeaderSize = 14;

uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t U32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

bool Fail(CxImage& image, const QString& message) {
    image.Width = 0;
    image.Height = 0;
    image.HasAlpha = false;
    image.Pixels.clear();
    image.Error = message;
    return false;
}

// Blue, green, red, alpha of each palette index.
using Palette = uint8_t[256][4];

// One colour mask: the masked bits moved down and scaled to 0..255 by a table.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    int drop = 0; // low bits dropped from fields wider than 8 bits
    uint8_t table[256] = {};

    void Init(uint32_t m) {
        mask = m;
        if (m == 0) return;
        shift = std::countr_zero(m);
        const int bits = std::bit_width(m >> shift); // covers holes in odd masks too
        drop = bits > 8 ? bits - 8 : 0;
        const uint32_t max = (1u << (bits - drop)) - 1;
        for (uint32_t v = 0; v <= max; ++v) table[v] = uint8_t((v * 255 + max / 2) / max);
    }
    uint8_t Get(uint32_t pixel) const { return table[((pixel & mask) >> shift) >> drop]; }
};

void RowIndexed(const uint8_t* src, uint8_t* dst, int width, int bits, const Palette& palette) {
    switch (bits) {
    case 8:
        for (int x = 0; x < width; ++x) std::memcpy(dst + 4 * x, palette[src[x]], 4);
        break;
    case 4:
        for (int x = 0; x < width; ++x) {
            const uint8_t b = src[x >> 1];
            std::memcpy(dst + 4 * x, palette[(x & 1) ? (b & 15) : (b >> 4)], 4);
        }
        break;
    default: { // 1 or 2 bits, first pixel in the high bits
        const int perByte = 8 / bits;
        const unsigned mask = (1u << bits) - 1;
        for (int x = 0; x < width; ++x) {
            const int shift = 8 - bits * (x % perByte + 1);
            std::memcpy(dst + 4 * x, palette[(src[x / perByte] >> shift) & mask], 4);
        }
        break;
    }
    }
}

void Row24(const uint8_t* src, uint8_t* dst, int width) {
    for (int x = 0; x < width; ++x, src += 3, dst += 4) {
        dst[0] = src[0];
        dst[1] = src[1];
        dst[2] = src[2];
        dst[3] = 255;
    }
}

// Returns the OR of the alpha bytes.
uint8_t Row32(const uint8_t* src, uint8_t* dst, int width) {
    std::memcpy(dst, src, size_t(width) * 4);
    uint8_t alpha = 0;
    for (int x = 0; x < width; ++x) alpha |= src[4 * x + 3];
    return alpha;
}

// Returns the OR of the alpha values (255 without an alpha mask).
template <int Bytes>
uint8_t RowMasked(const uint8_t* src, uint8_t* dst, int width, const Channel (&c)[4]) {
    uint8_t alphaOr = 0;
    for (int x = 0; x < width; ++x, src += Bytes, dst += 4) {
        const uint32_t p = Bytes == 2 ? U16(src) : U32(src);
        dst[0] = c[2].Get(p);
        dst[1] = c[1].Get(p);
        dst[2] = c[0].Get(p);
        dst[3] = c[3].mask ? c[3].Get(p) : 255;
        alphaOr |= dst[3];
    }
    return alphaOr;
}

void MakeOpaque(CxImage& image) {
    uint8_t* p = image.Pixels.data();
    const size_t count = image.Pixels.size() / 4;
    for (size_t i = 0; i < count; ++i) p[4 * i + 3] = 255;
}

bool AnyTransparent(const CxImage& image) {
    const uint8_t* p = image.Pixels.data();
    const size_t count = image.Pixels.size() / 4;
    for (size_t i = 0; i < count; ++i)
        if (p[4 * i + 3] == 0) return true;
    return false;
}

// Decodes an RLE8 or RLE4 stream into the (zeroed) image. Line 0 of the stream is
// the bottom row, or the top row of a top-down bitmap.
bool DecodeRle(const uint8_t* p, const uint8_t* end, bool four, bool topDown, const Palette& palette,
               CxImage& image) {
    const int w = image.Width, h = image.Height;
    int x = 0, y = 0;
    auto line = [&](int yLine) { return image.Row(topDown ? h - 1 - yLine : yLine); };
    const auto overreach = [&image] {
        return Fail(image, QStringLiteral("damaged BMP file: the compressed pixel data runs past a row or the picture"));
    };
    for (;;) {
        if (y >= h) {
            // Every line is done: only the closing escape (or nothing) may follow.
            if (end - p < 2 || (p[0] == 0 && p[1] == 1)) return true;
            return overreach();
        }
        if (end - p < 2) {
            if (y == h - 1 && x >= w) return true; // only the closing escapes are missing
            return Fail(image, QStringLiteral("truncated BMP file: the compressed pixel data ends early"));
        }
        const int n = p[0], v = p[1];
        p += 2;
        if (n > 0) { // a run of n pixels of one index (RLE4: two alternating indices)
            if (n > w - x) return overreach();
            const int count = n;
            uint8_t* d = line(y) + 4 * size_t(x);
            if (four) {
                for (int i = 0; i < count; ++i) std::memcpy(d + 4 * i, palette[(i & 1) ? (v & 15) : (v >> 4)], 4);
            } else {
                for (int i = 0; i < count; ++i) std::memcpy(d + 4 * i, palette[v], 4);
            }
            x += n;
        } else if (v == 0) { // end of line
            x = 0;
            ++y;
        } else if (v == 1) { // end of bitmap
            return true;
        } else if (v == 2) { // delta: right and up
            if (end - p < 2) return Fail(image, QStringLiteral("truncated BMP file: the compressed pixel data ends early"));
            if (p[0] > w - x || p[1] > h - 1 - y) return overreach();
            x += p[0];
            y += p[1];
            p += 2;
        } else { // absolute run of v indices, padded to a 16-bit boundary
            const size_t bytes = four ? (size_t(v) + 1) / 2 : size_t(v);
            if (size_t(end - p) < bytes)
                return Fail(image, QStringLiteral("truncated BMP file: the compressed pixel data ends early"));
            if (v > w - x) return overreach();
            const int count = v;
            uint8_t* d = line(y) + 4 * size_t(x);
            if (four) {
                for (int i = 0; i < count; ++i) {
                    const uint8_t b = p[i >> 1];
                    std::memcpy(d + 4 * i, palette[(i & 1) ? (b & 15) : (b >> 4)], 4);
                }
            } else {
                for (int i = 0; i < count; ++i) std::memcpy(d + 4 * i, palette[p[i]], 4);
            }
            x += v;
            p += std::min((bytes + 1) & ~size_t(1), size_t(end - p));
        }
    }
}

} // namespace

bool CxImageBMP::Decode(const uint8_t* data, size_t size, CxImage& image) {
    image.Format = CxFormatBmp;
    image.HasAlpha = false;
    image.Error.clear();

    if (size < FileHeaderSize + 4 || data[0] != 'B' || data[1] != 'M')
        return Fail(image, QStringLiteral("not a BMP file, or truncated before its header"));
    const uint32_t offBits = U32(data + 10);
    const uint8_t* info = data + FileHeaderSize;
    const uint32_t headerSize = U32(info);
    if (headerSize != 12 && headerSize != 40 && headerSize != 52 && headerSize != 56 && headerSize != 64 &&
        headerSize != 108 && headerSize != 124)
        return Fail(image, QStringLiteral("unsupported BMP header size %1").arg(headerSize));
    if (size - FileHeaderSize < headerSize) return Fail(image, QStringLiteral("truncated BMP file: the header ends early"));

    int64_t width, height;
    int bits;
    uint32_t compression = BiRgb, colourCount = 0;
    size_t paletteEntrySize = 4;
    if (headerSize == 12) {
        width = U16(info + 4);
        height = U16(info + 6);
        bits = U16(info + 10);
        paletteEntrySize = 3;
        if (bits != 1 && bits != 4 && bits != 8 && bits != 24)
            return Fail(image, QStringLiteral("unsupported BMP bit depth %1").arg(bits));
    } else {
        width = int32_t(U32(info + 4));
        height = int32_t(U32(info + 8));
        bits = U16(info + 14);
        compression = U32(info + 16);
        colourCount = U32(info + 32);
        if (headerSize != 64 && (compression == 4 || compression == 5))
            return Fail(image, QStringLiteral("unsupported BMP compression %1: a %2 picture inside a BMP file")
                                   .arg(compression)
                                   .arg(compression == 4 ? QStringLiteral("JPEG") : QStringLiteral("PNG")));
        if (bits == 64) return Fail(image, QStringLiteral("unsupported BMP bit depth 64 (a 64-bit BMP variant)"));
        if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
            return Fail(image, QStringLiteral("unsupported BMP bit depth %1").arg(bits));
    }
    const bool topDown = height < 0;
    if (topDown) height = -height;
    if (width <= 0 || height <= 0)
        return Fail(image, QStringLiteral("invalid BMP image size %1 x %2").arg(width).arg(height));
    // The limits are checked before the rest of the header is looked at.
    if (width > CxImage::MaxSide || height > CxImage::MaxSide || width * height > CxImage::MaxPixels) {
        image.Create(int(std::min<int64_t>(width, INT32_MAX)), int(std::min<int64_t>(height, INT32_MAX)));
        return Fail(image, image.Error); // Create failed and said why, taking no memory
    }
    const int w = int(width), h = int(height);

    // The compression must fit the bit depth. The 64-byte OS/2 header gives values
    // 3 and 4 other meanings, which are not supported.
    const bool masked = compression == BiBitfields || compression == BiAlphaBitfields;
    bool compressionOk = false;
    switch (compression) {
    case BiRgb: compressionOk = true; break;
    case BiRle8: compressionOk = bits == 8; break;
    case BiRle4: compressionOk = bits == 4; break;
    case BiBitfields:
    case BiAlphaBitfields: compressionOk = (bits == 16 || bits == 32) && headerSize != 64; break;
    default: break;
    }
    if (headerSize == 64 && (compression == 3 || compression == 4))
        return Fail(image, QStringLiteral("unsupported BMP variant: OS/2 Huffman or RLE24 compression"));
    if (!compressionOk)
        return Fail(image, QStringLiteral("unsupported BMP compression %1 at %2 bits").arg(compression).arg(bits));

    // Colour masks: inside the longer headers, else right after the 40-byte one.
    size_t tableStart = FileHeaderSize + headerSize;
    Channel channels[4]; // red, green, blue, alpha
    if (masked) {
        const size_t maskCount = compression == BiAlphaBitfields ? 4 : 3;
        const size_t masksStart = FileHeaderSize + 40;
        const size_t inHeader = (headerSize - 40) / 4; // 0, 3, 4 (52: 3; 56, 108, 124: 4)
        const size_t available = std::max(maskCount, std::min<size_t>(inHeader, 4));
        if (inHeader < maskCount) tableStart = masksStart + 4 * maskCount;
        if (size < masksStart + 4 * available) return Fail(image, QStringLiteral("truncated BMP file: the colour masks are missing"));
        for (size_t i = 0; i < available; ++i) channels[i].Init(U32(data + masksStart + 4 * i));
        if (channels[0].mask == 0 && channels[1].mask == 0 && channels[2].mask == 0)
            return Fail(image, QStringLiteral("BMP colour masks are all zero"));
    } else if (bits == 16) {
        channels[0].Init(0x7C00);
        channels[1].Init(0x03E0);
        channels[2].Init(0x001F);
    }

    if (offBits < tableStart || offBits > size)
        return Fail(image, QStringLiteral("BMP pixel data offset %1 lies outside the file's data").arg(offBits));

    // The palette: what the file supplies, the rest opaque black.
    Palette palette;
    for (auto& entry : palette) {
        entry[0] = entry[1] = entry[2] = 0;
        entry[3] = 255;
    }
    if (bits <= 8) {
        const size_t full = size_t(1) << bits;
        size_t count = colourCount == 0 ? full : std::min<size_t>(colourCount, full);
        count = std::min(count, (offBits - tableStart) / paletteEntrySize);
        const uint8_t* table = data + tableStart;
        for (size_t i = 0; i < count; ++i, table += paletteEntrySize) {
            palette[i][0] = table[0];
            palette[i][1] = table[1];
            palette[i][2] = table[2];
        }
    }

    const uint8_t* pixels = data + offBits;
    const size_t pixelBytes = size - offBits;

    if (compression == BiRle8 || compression == BiRle4) {
        if (!image.Create(w, h)) return Fail(image, image.Error);
        if (!DecodeRle(pixels, pixels + pixelBytes, compression == BiRle4, topDown, palette, image)) return false;
        image.HasAlpha = AnyTransparent(image);
        return true;
    }

    // Uncompressed: check that the rows are there before taking memory for them.
    const uint64_t stride = (uint64_t(width) * uint64_t(bits) + 31) / 32 * 4;
    const uint64_t lastRow = (uint64_t(width) * uint64_t(bits) + 7) / 8;
    if (uint64_t(pixelBytes) < stride * uint64_t(h - 1) + lastRow)
        return Fail(image, QStringLiteral("truncated BMP file: the pixel data ends early"));
    if (!image.Create(w, h)) return Fail(image, image.Error);

    uint8_t alphaOr = 0;
    const bool alphaChannel = (bits == 32 && !masked) || (masked && channels[3].mask != 0);
    for (int row = 0; row < h; ++row) {
        const uint8_t* src = pixels + size_t(stride) * size_t(row);
        uint8_t* dst = image.Row(topDown ? h - 1 - row : row);
        if (masked || bits == 16) {
            alphaOr |= bits == 16 ? RowMasked<2>(src, dst, w, channels) : RowMasked<4>(src, dst, w, channels);
        } else if (bits == 32) {
            alphaOr |= Row32(src, dst, w);
        } else if (bits == 24) {
            Row24(src, dst, w);
        } else {
            RowIndexed(src, dst, w, bits, palette);
        }
    }
    if (alphaChannel) {
        if (alphaOr == 0)
            MakeOpaque(image);
        else
            image.HasAlpha = true;
    }
    return true;
}
