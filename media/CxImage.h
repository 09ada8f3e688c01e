// The image codec layer: decodes BMP, GIF, JPEG, PNG and TGA files, chosen by their
// content, into 32-bit pixels (blue, green, red, alpha) addressed bottom-up, the
// way pictures take them over.
//
// Threads: an image belongs to one thread at a time; the decoders share nothing.
#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <vector>

enum CxImageFormat : int {
    CxFormatUnknown = 0,
    CxFormatBmp,
    CxFormatGif,
    CxFormatJpg,
    CxFormatPng,
    CxFormatTga,
};

// Why a load failed, for the message the user sees.
enum class CxFailure : int {
    None = 0,
    Open,      // the file cannot be opened or read: missing, not a regular file, too many bytes
    Format,    // not an image, damaged, or a variant the decoders do not take
    TooLarge,  // an image whose size is beyond the limits below
};

class CxImage {
public:
    // Nothing larger is decoded: the check comes before any pixel memory is taken,
    // so a header claiming millions of pixels costs nothing.
    static constexpr int MaxSide = 16384;
    static constexpr int64_t MaxPixels = 32ll * 1024 * 1024;
    // Files larger than this are not read at all.
    static constexpr int64_t MaxFileSize = 512ll * 1024 * 1024;
    // Frames a GIF may have; later ones are neither counted nor decoded.
    static constexpr int MaxFrames = 1000;

    // Reads and decodes a file; frame selects a frame of an animated GIF (-1 and 0
    // the first). False (with Error and Failure set) when the file cannot be read or
    // decoded. Only regular files are read (never a FIFO or a device), and at most
    // MaxFileSize bytes of them.
    bool Load(const QString& path, int frame = -1);
    // The same from bytes in memory.
    bool Decode(const uint8_t* data, size_t size, int frame = -1);
    // The format the bytes are in, by their content alone.
    static CxImageFormat Detect(const uint8_t* data, size_t size);

    // Sizes the pixel buffer; false for a size outside the limits above.
    bool Create(int width, int height);
    // Row y counted from the bottom (0 is the bottom row).
    uint8_t* Row(int yFromBottom) { return Pixels.data() + size_t(yFromBottom) * size_t(Width) * 4; }
    const uint8_t* Row(int yFromBottom) const { return Pixels.data() + size_t(yFromBottom) * size_t(Width) * 4; }

    int Width = 0;
    int Height = 0;
    CxImageFormat Format = CxFormatUnknown;
    bool HasAlpha = false;       // the alpha bytes carry transparency
    int FrameCount = 0;          // frames of an animated GIF, else 0 or 1
    int FrameDelay = 0;          // delay of the decoded GIF frame in hundredths of a second
    std::vector<uint8_t> Pixels; // Width * Height * 4, bottom row first
    QString Error;
    CxFailure Failure = CxFailure::None;
};

// The format decoders. Each fills image (Format, Width, Height, HasAlpha, Pixels) or
// returns false with image.Error set, never reading past size bytes.
class CxImageBMP {
public:
    static bool Decode(const uint8_t* data, size_t size, CxImage& image);
};
class CxImageTGA {
public:
    static bool Decode(const uint8_t* data, size_t size, CxImage& image);
};
class CxImagePNG {
public:
    static bool Decode(const uint8_t* data, size_t size, CxImage& image);
};
class CxImageJPG {
public:
    static bool Decode(const uint8_t* data, size_t size, CxImage& image);
};
class CxImageGIF {
public:
    // frame: 0-based frame to decode, composed as a browser shows it (disposal
    // methods applied); FrameCount and FrameDelay are set too.
    static bool Decode(const uint8_t* data, size_t size, int frame, CxImage& image);
};
