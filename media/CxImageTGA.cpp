// TGA decoder.
//
// Image types 1 (colour-mapped), 2 (true colour) and 3 (grey) and their RLE forms 9,
// 10 and 11. Pixels of 15, 16, 24 and 32 bits (true colour), 8 or 16-bit indices
// into a colour map of 15, 16, 24 or 32-bit entries that starts at the header's
// first-entry index, and 8-bit grey (16-bit grey is grey plus alpha). The image ID
// is skipped, as is a colour map in a file of another type. Descriptor bit 5 puts
// the first row at the top (else at the bottom), bit 4 the first pixel of each row
// at the right. RLE packets may run on from one row into the next.
//
// Choices:
//  - Alpha comes from 32-bit pixels or map entries, from 16-bit grey, and from the
//    top bit of 16-bit pixels or map entries when the descriptor declares at least
//    one alpha bit (otherwise that bit is ignored, as many writers leave it
//    random). An alpha channel that is zero in every pixel is taken as absent, the
//    image as opaque: many writers fill it so and declare no alpha bits. Otherwise
//    its values are kept and HasAlpha is set.
//  - An index outside the colour map is opaque black.
//  - 5-bit fields are scaled to 0..255 by rounding v × 255 ÷ 31.
//  - The data running out before the last pixel fails, for raw and RLE data alike;
//    an RLE packet reaching past the last pixel is cut there. A footer or extension
//    area after the pixels is not read.
#include "media/CxImage.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr size_t HeaderSize = 18;

uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

bool Fail(CxImage& image, const QString& message) {
    image.Width = 0;
    image.Height = 0;
    image.HasAlpha = false;
    image.Pixels.clear();
    image.Error = message;
    return false;
}

// How the bytes of one stored pixel (or colour-map entry) turn into blue, green,
// red, alpha.
enum class Layout { Grey8, GreyAlpha16, Rgb15, Argb16, Rgb24, Argb32, Index8, Index16 };

// 5-bit field to 8 bits.
constexpr std::array<uint8_t, 32> MakeFive() {
    std::array<uint8_t, 32> table{};
    for (int v = 0; v < 32; ++v) table[size_t(v)] = uint8_t((v * 255 + 15) / 31);
    return table;
}
constexpr std::array<uint8_t, 32> Five = MakeFive();

// Converts one row of width pixels. map holds blue, green, red, alpha per index
// (65536 entries for 16-bit indices, 256 for 8-bit ones).
void ConvertRow(const uint8_t* src, uint8_t* dst, int width, Layout layout, const uint8_t* map) {
    switch (layout) {
    case Layout::Grey8:
        for (int x = 0; x < width; ++x, dst += 4) {
            dst[0] = dst[1] = dst[2] = src[x];
            dst[3] = 255;
        }
        break;
    case Layout::GreyAlpha16:
        for (int x = 0; x < width; ++x, src += 2, dst += 4) {
            dst[0] = dst[1] = dst[2] = src[0];
            dst[3] = src[1];
        }
        break;
    case Layout::Rgb15:
    case Layout::Argb16: {
        const bool alpha = layout == Layout::Argb16;
        for (int x = 0; x < width; ++x, src += 2, dst += 4) {
            const unsigned p = U16(src);
            dst[0] = Five[p & 31];
            dst[1] = Five[(p >> 5) & 31];
            dst[2] = Five[(p >> 10) & 31];
            dst[3] = alpha && !(p & 0x8000) ? 0 : 255;
        }
        break;
    }
    case Layout::Rgb24:
        for (int x = 0; x < width; ++x, src += 3, dst += 4) {
            dst[0] = src[0];
            dst[1] = src[1];
            dst[2] = src[2];
            dst[3] = 255;
        }
        break;
    case Layout::Argb32: std::memcpy(dst, src, size_t(width) * 4); break;
    case Layout::Index8:
        for (int x = 0; x < width; ++x) std::memcpy(dst + 4 * x, map + 4 * size_t(src[x]), 4);
        break;
    case Layout::Index16:
        for (int x = 0; x < width; ++x) std::memcpy(dst + 4 * x, map + 4 * size_t(U16(src + 2 * x)), 4);
        break;
    }
}

// Layout of true-colour pixels or map entries of the given bit count; false when
// the count is not one of them.
bool ColourLayout(int bits, int alphaBits, Layout& layout) {
    switch (bits) {
    case 15: layout = Layout::Rgb15; return true;
    case 16: layout = alphaBits > 0 ? Layout::Argb16 : Layout::Rgb15; return true;
    case 24: layout = Layout::Rgb24; return true;
    case 32: layout = Layout::Argb32; return true;
    default: return false;
    }
}

bool LayoutHasAlpha(Layout layout) {
    return layout == Layout::GreyAlpha16 || layout == Layout::Argb16 || layout == Layout::Argb32;
}

// Reads run-length packets, continuing a packet across calls.
struct RleReader {
    const uint8_t* p;
    const uint8_t* end;
    size_t pixelSize;
    size_t left = 0; // pixels left in the current packet
    bool run = false;
    uint8_t value[4] = {};

    // Fills count stored pixels into out; false when the data runs out.
    bool Fill(uint8_t* out, size_t count) {
        while (count > 0) {
            if (left == 0) {
                if (p >= end) return false;
                const uint8_t header = *p++;
                left = size_t(header & 0x7F) + 1;
                run = header & 0x80;
                if (run) {
                    if (size_t(end - p) < pixelSize) return false;
                    std::memcpy(value, p, pixelSize);
                    p += pixelSize;
                }
            }
            const size_t n = std::min(left, count);
            if (run) {
                for (size_t i = 0; i < n; ++i, out += pixelSize) std::memcpy(out, value, pixelSize);
            } else {
                const size_t bytes = n * pixelSize;
                if (size_t(end - p) < bytes) return false;
                std::memcpy(out, p, bytes);
                p += bytes;
                out += bytes;
            }
            left -= n;
            count -= n;
        }
        return true;
    }
};

void ReverseRow(uint8_t* row, int width) {
    for (int a = 0, b = width - 1; a < b; ++a, --b) {
        uint8_t t[4];
        std::memcpy(t, row + 4 * a, 4);
        std::memcpy(row + 4 * a, row + 4 * b, 4);
        std::memcpy(row + 4 * b, t, 4);
    }
}

} // namespace

bool CxImageTGA::Decode(const uint8_t* data, size_t size, CxImage& image) {
    image.Format = CxFormatTga;
    image.HasAlpha = false;
    image.Error.clear();

    if (size < HeaderSize) return Fail(image, QStringLiteral("truncated TGA file: the header ends early"));
    const int idLength = data[0];
    const int mapType = data[1];
    const int imageType = data[2];
    const int mapFirst = U16(data + 3);
    const int mapLength = U16(data + 5);
    const int mapEntryBits = data[7];
    const int width = U16(data + 12);
    const int height = U16(data + 14);
    const int bits = data[16];
    const int descriptor = data[17];
    const int alphaBits = descriptor & 15;
    const bool rightToLeft = descriptor & 0x10;
    const bool topOrigin = descriptor & 0x20;

    if (mapType > 1) return Fail(image, QStringLiteral("unsupported TGA colour map type %1").arg(mapType));
    const bool rle = imageType >= 9;
    const int baseType = rle ? imageType - 8 : imageType;
    if (baseType < 1 || baseType > 3 || (imageType > 3 && !rle) || imageType > 11)
        return Fail(image, QStringLiteral("unsupported TGA image type %1").arg(imageType));

    Layout layout = Layout::Grey8;
    Layout mapLayout = Layout::Rgb24;
    switch (baseType) {
    case 1:
        if (mapType != 1) return Fail(image, QStringLiteral("colour-mapped TGA file without a colour map"));
        if (bits != 8 && bits != 16) return Fail(image, QStringLiteral("unsupported TGA index size %1").arg(bits));
        if (!ColourLayout(mapEntryBits, alphaBits, mapLayout))
            return Fail(image, QStringLiteral("unsupported TGA colour map entry size %1").arg(mapEntryBits));
        layout = bits == 8 ? Layout::Index8 : Layout::Index16;
        break;
    case 2:
        if (!ColourLayout(bits, alphaBits, layout))
            return Fail(image, QStringLiteral("unsupported TGA pixel size %1").arg(bits));
        break;
    default:
        if (bits != 8 && bits != 16) return Fail(image, QStringLiteral("unsupported TGA grey pixel size %1").arg(bits));
        layout = bits == 8 ? Layout::Grey8 : Layout::GreyAlpha16;
        break;
    }
    if (width == 0 || height == 0)
        return Fail(image, QStringLiteral("invalid TGA image size %1 x %2").arg(width).arg(height));
    // Before anything else is read or any memory taken: Create fails and says why.
    if (width > CxImage::MaxSide || height > CxImage::MaxSide || int64_t(width) * height > CxImage::MaxPixels) {
        image.Create(width, height);
        return Fail(image, image.Error);
    }

    if (size < HeaderSize + size_t(idLength)) return Fail(image, QStringLiteral("truncated TGA file: the image ID ends early"));
    size_t offset = HeaderSize + size_t(idLength);
    const size_t mapEntrySize = size_t(mapEntryBits + 7) / 8;
    const size_t mapBytes = mapType == 1 ? size_t(mapLength) * mapEntrySize : 0;
    if (size < offset + mapBytes) return Fail(image, QStringLiteral("truncated TGA file: the colour map ends early"));
    const uint8_t* mapData = data + offset;
    offset += mapBytes;

    const size_t pixelSize = size_t(bits + 7) / 8;
    const size_t rowBytes = size_t(width) * pixelSize;
    const uint8_t* pixels = data + offset;
    const size_t pixelBytes = size - offset;
    if (!rle && pixelBytes / rowBytes < size_t(height))
        return Fail(image, QStringLiteral("truncated TGA file: the pixel data ends early"));
    // A packet of 1 + pixelSize bytes covers at most 128 pixels: a stream too short
    // for the image is refused before memory is taken for it.
    if (rle && uint64_t(pixelBytes) / (1 + pixelSize) * 128 < uint64_t(width) * uint64_t(height))
        return Fail(image, QStringLiteral("truncated TGA file: the compressed pixel data ends early"));

    // The colour map as blue, green, red, alpha per index; indices it does not
    // cover stay opaque black.
    std::vector<uint8_t> map;
    bool alphaChannel = LayoutHasAlpha(layout);
    if (baseType == 1) {
        const int indexCount = bits == 8 ? 256 : 65536;
        map.resize(size_t(indexCount) * 4);
        for (int i = 0; i < indexCount; ++i) map[4 * size_t(i) + 3] = 255;
        if (mapFirst < indexCount) {
            const int count = std::min(mapLength, indexCount - mapFirst);
            if (count > 0) ConvertRow(mapData, map.data() + 4 * size_t(mapFirst), count, mapLayout, nullptr);
        }
        alphaChannel = LayoutHasAlpha(mapLayout);
    }

    if (!image.Create(width, height)) return Fail(image, image.Error);

    std::vector<uint8_t> rowBuffer;
    RleReader reader{pixels, pixels + pixelBytes, pixelSize};
    if (rle) rowBuffer.resize(rowBytes);
    for (int row = 0; row < height; ++row) {
        const uint8_t* src;
        if (rle) {
            if (!reader.Fill(rowBuffer.data(), size_t(width)))
                return Fail(image, QStringLiteral("truncated TGA file: the compressed pixel data ends early"));
            src = rowBuffer.data();
        } else {
            src = pixels + rowBytes * size_t(row);
        }
        uint8_t* dst = image.Row(topOrigin ? height - 1 - row : row);
        ConvertRow(src, dst, width, layout, map.data());
        if (rightToLeft) ReverseRow(dst, width);
    }

    if (alphaChannel) {
        uint8_t* p = image.Pixels.data();
        const size_t count = image.Pixels.size() / 4;
        uint8_t alphaOr = 0;
        for (size_t i = 0; i < count; ++i) alphaOr |= p[4 * i + 3];
        if (alphaOr == 0) {
            for (size_t i = 0; i < count; ++i) p[4 * i + 3] = 255;
        } else {
            image.HasAlpha = true;
        }
    }
    return true;
}
