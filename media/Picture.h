// The one raster type of the system: 32-bit straight-alpha pixels in the byte
// order blue, green, red, alpha, rows top first, packed without gaps.
//
// Threads: a picture has no internal locking. Whoever owns it (the user-interface
// thread for stored frames, the text thread for rendered chunks, the render thread
// for scratch frames) may call any operation; sharing one needs the owner's guard.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

class QString;

class CPicture {
public:
    CPicture() = default;
    CPicture(const CPicture& other);
    CPicture& operator=(const CPicture& other);
    CPicture(CPicture&& other) noexcept;
    CPicture& operator=(CPicture&& other) noexcept;
    virtual ~CPicture() = default;

    int width = 0;
    int height = 0;
    std::unique_ptr<uint8_t[]> data;  // width * height * 4 bytes
    int frameCount = 0;               // frames of an animated GIF, else 0
    int frameDelay = 0;               // ms between GIF frames, else 0

    // Largest side a picture may have. Nothing the system shows is larger than the
    // 2048-pixel render target; the margin leaves room for text strips, while a
    // hostile size can never ask for gigabytes.
    static constexpr int MaxSide = 32768;
    static constexpr int64_t MaxPixels = 64ll * 1024 * 1024;

    // True when w x h is a size a picture may take (both sides at least 0, no
    // side above MaxSide, no more than MaxPixels pixels).
    static bool IsValidSize(int w, int h);

    size_t ByteCount() const { return size_t(width) * size_t(height) * 4; }
    bool IsEmpty() const { return width <= 0 || height <= 0; }
    uint8_t* Pixel(int x, int y) { return data.get() + (size_t(y) * size_t(width) + size_t(x)) * 4; }
    const uint8_t* Pixel(int x, int y) const { return data.get() + (size_t(y) * size_t(width) + size_t(x)) * 4; }

    // Frees the old pixels and allocates new, uninitialised ones; frame count and
    // delay become 0. Returns false (and leaves an empty picture) for an invalid size.
    bool Resize(int w, int h);
    // Empties the picture (0 x 0, no data).
    void Clear();

    // Loads an image file (BMP, GIF, JPEG, PNG, TGA, told apart by content): 0 on
    // success, 1 when the file cannot be opened or read (missing, not a regular
    // file, too many bytes), 2 when it cannot be read as an image (not one, damaged,
    // an unsupported variant, or larger than the decoders take). reason, when given,
    // receives the decoder's words for a failure. frame selects a frame of an
    // animated GIF (-1: the first). Without wantAlpha, or for an image without
    // alpha, every pixel is opaque; with wantAlpha a BMP is paired with its copy on
    // white ("_W") to recover transparency. Defined with the codec layer.
    int LoadFromFile(const QString& path, bool wantAlpha, int frame = -1, QString* reason = nullptr);

    // A new picture of w x h from the first rows and columns of the source, which
    // must be at least that large; returns false (and changes nothing) otherwise.
    bool CopyRows(int w, int h, const CPicture& source);

    // Copies the w x h block at (sx, sy) of source to (x, y) of destination, clipped
    // to both pictures. Mode 0 copies, mode 1 lays the source over the destination;
    // other modes do nothing.
    static void Blit(CPicture& destination, const CPicture& source, int x, int y, int w, int h, int sx,
                     int sy, int mode);

    // Fills the top-left w x h pixels of destination (clipped to it) from the whole
    // source by nearest neighbour.
    static void ScaleInto(CPicture& destination, const CPicture& source, int w, int h);

    // Sets every pixel of the block to colour (red in the low byte, opacity in the
    // top byte). A w or h of 0 reaches to the picture's edge; the block is clipped.
    void Fill(uint32_t colour, int x = 0, int y = 0, int w = 0, int h = 0);

    // 16 x 16 cells, dark grey 707070 where cell row and column have the same
    // parity, light grey A0A0A0 elsewhere, opaque.
    void Checkerboard();

    // Adds amount to red, green and blue of the block, clamped to 0..255.
    void Brighten(int amount, int x = 0, int y = 0, int w = 0, int h = 0);

    // Replaces the picture by one of half its width and height, each pixel the
    // truncated mean of a 2 x 2 block per channel.
    void Halve();

    // An alpha value seen through an object's opacity (0..255).
    static int ScaleOpacity(int alpha, int opacity) {
        if (opacity == 255) return alpha;
        const int scaled = static_cast<int>(double(alpha) * opacity / 255.0);
        return scaled < 0 ? 0 : scaled > 255 ? 255 : scaled;
    }

    // Recovers straight alpha and colour from a copy drawn on white and a copy drawn
    // on black; all three pictures have the same size (destination is resized).
    static void AlphaRecovery(CPicture& destination, const CPicture& onWhite, const CPicture& onBlack,
                              int opacity);
};

// A picture kept in the page file's run-length code. compressedSize is -1 when data
// holds the raw pixels, else the number of bytes of code in data.
class CCompressedPicture : public CPicture {
public:
    CCompressedPicture() = default;
    CCompressedPicture(const CCompressedPicture& other);
    CCompressedPicture& operator=(const CCompressedPicture& other);
    CCompressedPicture(CCompressedPicture&&) noexcept = default;
    CCompressedPicture& operator=(CCompressedPicture&&) noexcept = default;
    ~CCompressedPicture() override = default;

    int compressedSize = -1;

    // Bytes held in data: the raw size for -1, else compressedSize.
    size_t StoredByteCount() const;

    // Encodes the source; keeps it raw when the code would be 80 % of the raw size
    // or more.
    void Compress(const CPicture& source);

    // Decodes into destination, resizing it (and clearing it to transparent black)
    // when its size differs; pixels after the last decoded one keep their previous
    // content. Returns false when destination cannot take the size.
    bool Decompress(CPicture& destination) const;

    // Makes room for reading a stored frame: w x h pixels with stored data of
    // compressedSize bytes (-1: raw). Returns false for an invalid size.
    bool Allocate(int w, int h, int compressedSize);
};
