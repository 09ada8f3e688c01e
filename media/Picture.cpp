#include "media/Picture.h"

#include "media/RunLength.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace {

constexpr size_t PixelBytes = 4;

// Allocation of a size that passed IsValidSize can still fail on a small machine;
// that is reported as a failed resize rather than thrown through the caller.
std::unique_ptr<uint8_t[]> AllocateBytes(size_t count) {
    if (count == 0) return nullptr;
    return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[count]);
}

// A block request after clipping: w or h of 0 means "to the picture's edge", the
// result lies inside the picture, and an empty result has w or h <= 0.
struct Block {
    int x, y, w, h;
};

Block ClipBlock(const CPicture& picture, int x, int y, int w, int h) {
    int64_t left = x, top = y;
    int64_t right = w == 0 ? picture.width : left + w;
    int64_t bottom = h == 0 ? picture.height : top + h;
    if (w < 0 || h < 0) return {0, 0, 0, 0};
    left = std::max<int64_t>(left, 0);
    top = std::max<int64_t>(top, 0);
    right = std::min<int64_t>(right, picture.width);
    bottom = std::min<int64_t>(bottom, picture.height);
    if (right <= left || bottom <= top) return {0, 0, 0, 0};
    return {int(left), int(top), int(right - left), int(bottom - top)};
}

inline uint8_t ClampByte(int v) { return uint8_t(std::clamp(v, 0, 255)); }

// A compressed picture may be handled through its base; its data then holds code,
// not pixels, unless its compressed size is -1.
int StoredForm(const CPicture& picture) {
    auto compressed = dynamic_cast<const CCompressedPicture*>(&picture);
    return compressed ? compressed->compressedSize : -1;
}

void SetStoredForm(CPicture& picture, int compressedSize) {
    if (auto compressed = dynamic_cast<CCompressedPicture*>(&picture)) compressed->compressedSize = compressedSize;
}

}  // namespace

// ---------------------------------------------------------------------------------
// CPicture

bool CPicture::IsValidSize(int w, int h) {
    if (w < 0 || h < 0 || w > MaxSide || h > MaxSide) return false;
    return int64_t(w) * int64_t(h) <= MaxPixels;
}

CPicture::CPicture(const CPicture& other) { *this = other; }

CPicture& CPicture::operator=(const CPicture& other) {
    if (this == &other) return *this;
    // A plain copy of a compressed picture gets the pixels the code stands for.
    if (StoredForm(other) >= 0) {
        Clear();
        if (static_cast<const CCompressedPicture&>(other).Decompress(*this)) {
            frameCount = other.frameCount;
            frameDelay = other.frameDelay;
        }
        return *this;
    }
    if (!Resize(other.width, other.height)) return *this;
    if (other.data && data) std::memcpy(data.get(), other.data.get(), ByteCount());
    frameCount = other.frameCount;
    frameDelay = other.frameDelay;
    return *this;
}

CPicture::CPicture(CPicture&& other) noexcept
    : width(std::exchange(other.width, 0)),
      height(std::exchange(other.height, 0)),
      data(std::move(other.data)),
      frameCount(std::exchange(other.frameCount, 0)),
      frameDelay(std::exchange(other.frameDelay, 0)) {}

CPicture& CPicture::operator=(CPicture&& other) noexcept {
    if (this == &other) return *this;
    SetStoredForm(*this, StoredForm(other));
    width = std::exchange(other.width, 0);
    height = std::exchange(other.height, 0);
    data = std::move(other.data);
    frameCount = std::exchange(other.frameCount, 0);
    frameDelay = std::exchange(other.frameDelay, 0);
    return *this;
}

bool CPicture::Resize(int w, int h) {
    SetStoredForm(*this, -1);
    data.reset();
    width = height = 0;
    frameCount = frameDelay = 0;
    if (!IsValidSize(w, h)) return false;
    auto bytes = AllocateBytes(size_t(w) * size_t(h) * PixelBytes);
    if (!bytes && size_t(w) * size_t(h) != 0) return false;
    data = std::move(bytes);
    width = w;
    height = h;
    return true;
}

void CPicture::Clear() {
    SetStoredForm(*this, -1);
    data.reset();
    width = height = 0;
    frameCount = frameDelay = 0;
}

bool CPicture::CopyRows(int w, int h, const CPicture& source) {
    if (w < 0 || h < 0 || w > source.width || h > source.height) return false;
    const size_t rowBytes = size_t(w) * PixelBytes;
    const size_t total = rowBytes * size_t(h);
    auto bytes = AllocateBytes(total);
    if (!bytes && total != 0) return false;
    const size_t sourceStride = size_t(source.width) * PixelBytes;
    if (total != 0 && w == source.width) {
        std::memcpy(bytes.get(), source.data.get(), total);
    } else if (total != 0) {
        for (int row = 0; row < h; ++row)
            std::memcpy(bytes.get() + row * rowBytes, source.data.get() + row * sourceStride, rowBytes);
    }
    // Built aside first so that a picture may copy rows of itself.
    SetStoredForm(*this, -1);
    data = std::move(bytes);
    width = w;
    height = h;
    frameCount = frameDelay = 0;
    return true;
}

void CPicture::Blit(CPicture& destination, const CPicture& source, int x, int y, int w, int h, int sx, int sy,
                    int mode) {
    if (mode != 0 && mode != 1) return;
    if (w <= 0 || h <= 0 || destination.IsEmpty() || source.IsEmpty()) return;

    // Clip in 64 bits so that far-off coordinates cannot overflow.
    int64_t dx = x, dy = y, srcX = sx, srcY = sy, bw = w, bh = h;
    auto clipStart = [](int64_t& a, int64_t& b, int64_t& length) {
        const int64_t shift = std::max<int64_t>({0, -a, -b});
        a += shift;
        b += shift;
        length -= shift;
    };
    clipStart(dx, srcX, bw);
    clipStart(dy, srcY, bh);
    bw = std::min({bw, int64_t(destination.width) - dx, int64_t(source.width) - srcX});
    bh = std::min({bh, int64_t(destination.height) - dy, int64_t(source.height) - srcY});
    if (bw <= 0 || bh <= 0) return;

    // Blitting a picture onto itself with overlapping blocks must read the block as
    // it was before the call.
    const CPicture* from = &source;
    CPicture copy;
    if (&destination == &source) {
        if (!copy.CopyRows(int(srcX + bw), int(srcY + bh), source)) return;
        from = &copy;
    }

    const size_t rowBytes = size_t(bw) * PixelBytes;
    for (int64_t row = 0; row < bh; ++row) {
        uint8_t* d = destination.Pixel(int(dx), int(dy + row));
        const uint8_t* s = from->Pixel(int(srcX), int(srcY + row));
        if (mode == 0) {
            std::memcpy(d, s, rowBytes);
            continue;
        }
        for (int64_t col = 0; col < bw; ++col, d += PixelBytes, s += PixelBytes) {
            const unsigned u = s[3];
            if (u == 0) continue;
            const unsigned keep = 255 - u;
            d[0] = uint8_t((s[0] * u + d[0] * keep) / 255);
            d[1] = uint8_t((s[1] * u + d[1] * keep) / 255);
            d[2] = uint8_t((s[2] * u + d[2] * keep) / 255);
            d[3] = std::max<uint8_t>(d[3], uint8_t(u));
        }
    }
}

void CPicture::ScaleInto(CPicture& destination, const CPicture& source, int w, int h) {
    if (w <= 0 || h <= 0 || source.IsEmpty() || destination.IsEmpty()) return;
    const int cols = std::min(w, destination.width);
    const int rows = std::min(h, destination.height);

    // Source positions advance by one extended-precision step per pixel and are
    // truncated; columns are looked up once so the pixel loop is plain copies.
    const long double stepX = static_cast<long double>(source.width) / w;
    const long double stepY = static_cast<long double>(source.height) / h;
    std::unique_ptr<int[]> columnOf(new int[size_t(cols)]);
    long double position = 0;
    for (int j = 0; j < cols; ++j, position += stepX)
        columnOf[size_t(j)] = std::min(static_cast<int>(position), source.width - 1);

    // Scaling a picture into itself would read pixels already overwritten.
    CPicture snapshot;
    const CPicture* from = &source;
    if (&destination == &source) {
        snapshot = source;
        from = &snapshot;
    }

    position = 0;
    for (int i = 0; i < rows; ++i, position += stepY) {
        const int sourceRow = std::min(static_cast<int>(position), source.height - 1);
        const uint8_t* s = from->Pixel(0, sourceRow);
        uint8_t* d = destination.Pixel(0, i);
        for (int j = 0; j < cols; ++j)
            std::memcpy(d + size_t(j) * PixelBytes, s + size_t(columnOf[size_t(j)]) * PixelBytes, PixelBytes);
    }
}

void CPicture::Fill(uint32_t colour, int x, int y, int w, int h) {
    const Block b = ClipBlock(*this, x, y, w, h);
    if (b.w <= 0 || b.h <= 0) return;
    // Colour values carry red in the low byte; pixels store blue first.
    const uint8_t pixel[4] = {uint8_t(colour >> 16), uint8_t(colour >> 8), uint8_t(colour), uint8_t(colour >> 24)};
    uint8_t* first = Pixel(b.x, b.y);
    for (int col = 0; col < b.w; ++col) std::memcpy(first + size_t(col) * PixelBytes, pixel, PixelBytes);
    const size_t rowBytes = size_t(b.w) * PixelBytes;
    for (int row = 1; row < b.h; ++row) std::memcpy(Pixel(b.x, b.y + row), first, rowBytes);
}

void CPicture::Checkerboard() {
    if (IsEmpty()) return;
    constexpr int Cell = 16;
    const uint8_t dark[4] = {0x70, 0x70, 0x70, 0xFF};
    const uint8_t light[4] = {0xA0, 0xA0, 0xA0, 0xFF};
    // Two row patterns, one starting dark and one light; every row is a copy of one.
    const size_t rowBytes = ByteCount() / size_t(height);
    std::unique_ptr<uint8_t[]> patterns(new uint8_t[rowBytes * 2]);
    for (int x = 0; x < width; ++x) {
        const bool evenCell = (x / Cell) % 2 == 0;
        std::memcpy(patterns.get() + size_t(x) * PixelBytes, evenCell ? dark : light, PixelBytes);
        std::memcpy(patterns.get() + rowBytes + size_t(x) * PixelBytes, evenCell ? light : dark, PixelBytes);
    }
    for (int y = 0; y < height; ++y)
        std::memcpy(Pixel(0, y), patterns.get() + ((y / Cell) % 2) * rowBytes, rowBytes);
}

void CPicture::Brighten(int amount, int x, int y, int w, int h) {
    const Block b = ClipBlock(*this, x, y, w, h);
    if (b.w <= 0 || b.h <= 0 || amount == 0) return;
    uint8_t table[256];
    for (int v = 0; v < 256; ++v) table[v] = ClampByte(v + std::clamp(amount, -255, 255));
    for (int row = 0; row < b.h; ++row) {
        uint8_t* p = Pixel(b.x, b.y + row);
        for (int col = 0; col < b.w; ++col, p += PixelBytes) {
            p[0] = table[p[0]];
            p[1] = table[p[1]];
            p[2] = table[p[2]];
        }
    }
}

void CPicture::Halve() {
    const int w = width / 2;
    const int h = height / 2;
    const int keepCount = frameCount;
    const int keepDelay = frameDelay;
    CPicture half;
    if (!half.Resize(w, h)) return;
    for (int y = 0; y < h; ++y) {
        const uint8_t* top = Pixel(0, 2 * y);
        const uint8_t* bottom = Pixel(0, 2 * y + 1);
        uint8_t* d = half.Pixel(0, y);
        for (int x = 0; x < w; ++x, top += 2 * PixelBytes, bottom += 2 * PixelBytes, d += PixelBytes) {
            for (size_t c = 0; c < PixelBytes; ++c)
                d[c] = uint8_t((top[c] + top[c + PixelBytes] + bottom[c] + bottom[c + PixelBytes]) / 4);
        }
    }
    *this = std::move(half);
    frameCount = keepCount;
    frameDelay = keepDelay;
}

void CPicture::AlphaRecovery(CPicture& destination, const CPicture& onWhite, const CPicture& onBlack, int opacity) {
    if (onWhite.width != onBlack.width || onWhite.height != onBlack.height) return;
    // Destination may be one of the two inputs: every pixel is read before it is
    // written, and the size then already matches so nothing is reallocated.
    if (destination.width != onBlack.width || destination.height != onBlack.height || !destination.data) {
        if (!destination.Resize(onBlack.width, onBlack.height)) return;
    }
    const size_t count = size_t(onBlack.width) * size_t(onBlack.height);
    const uint8_t* w = onWhite.data.get();
    const uint8_t* k = onBlack.data.get();
    uint8_t* d = destination.data.get();
    for (size_t i = 0; i < count; ++i, w += PixelBytes, k += PixelBytes, d += PixelBytes) {
        // How much lighter the black copy stays than the white one tells how much
        // background shows through.
        const int a = std::min(255, (k[0] + k[1] + k[2] - w[0] - w[1] - w[2] + 765) / 3);
        uint8_t colour[3] = {0, 0, 0};
        if (a != 0) {
            for (int c = 0; c < 3; ++c) colour[c] = uint8_t(std::min(255, k[c] * 256 / (k[c] - w[c] + 256)));
        }
        const int alpha = ScaleOpacity(a, opacity);
        d[0] = colour[0];
        d[1] = colour[1];
        d[2] = colour[2];
        d[3] = uint8_t(alpha);
    }
}

// ---------------------------------------------------------------------------------
// CCompressedPicture

CCompressedPicture::CCompressedPicture(const CCompressedPicture& other) : CPicture() { *this = other; }

CCompressedPicture& CCompressedPicture::operator=(const CCompressedPicture& other) {
    if (this == &other) return *this;
    const size_t bytes = other.StoredByteCount();
    auto copy = AllocateBytes(bytes);
    if (bytes && (!copy || !other.data)) {
        Clear();
        compressedSize = -1;
        return *this;
    }
    if (bytes) std::memcpy(copy.get(), other.data.get(), bytes);
    data = std::move(copy);
    width = other.width;
    height = other.height;
    frameCount = other.frameCount;
    frameDelay = other.frameDelay;
    compressedSize = other.compressedSize;
    return *this;
}

size_t CCompressedPicture::StoredByteCount() const {
    if (!data) return 0;  // moved from, or a failed allocation
    return compressedSize < 0 ? ByteCount() : size_t(compressedSize);
}

void CCompressedPicture::Compress(const CPicture& source) {
    if (&source == this) return;  // already in its stored form
    if (StoredForm(source) >= 0) {
        *this = static_cast<const CCompressedPicture&>(source);
        return;
    }
    const size_t raw = source.ByteCount();
    const int keepCount = source.frameCount;
    const int keepDelay = source.frameDelay;
    if (source.IsEmpty() || !source.data) {
        Clear();
        if (source.IsEmpty()) {
            width = std::max(source.width, 0);
            height = std::max(source.height, 0);
        }
        return;
    }

    // A code of 80 % of the raw size or more is not worth decoding, so the encoder
    // is stopped as soon as it gets there: the smallest size with
    // size * 100 / raw >= 80 is the rounded-up 80 % of raw.
    const size_t threshold = (uint64_t(raw) * 80 + 99) / 100;
    auto buffer = AllocateBytes(threshold);
    size_t codeSize = 0;
    if (buffer) codeSize = RunLength::Encode(source.data.get(), raw / PixelBytes, buffer.get(), threshold);

    std::unique_ptr<uint8_t[]> stored;
    if (codeSize > 0) {
        stored = AllocateBytes(codeSize);
        if (stored) std::memcpy(stored.get(), buffer.get(), codeSize);
    }
    buffer.reset();
    if (stored) {
        compressedSize = int(codeSize);
    } else {
        stored = AllocateBytes(raw);
        if (!stored) {
            Clear();
            compressedSize = -1;
            return;
        }
        std::memcpy(stored.get(), source.data.get(), raw);
        compressedSize = -1;
    }
    data = std::move(stored);
    width = source.width;
    height = source.height;
    frameCount = keepCount;
    frameDelay = keepDelay;
}

bool CCompressedPicture::Decompress(CPicture& destination) const {
    if (&destination == this) return false;
    if (destination.width != width || destination.height != height || (!destination.data && !IsEmpty()) ||
        StoredForm(destination) >= 0) {
        if (!destination.Resize(width, height)) return false;
        if (destination.data) std::memset(destination.data.get(), 0, destination.ByteCount());
    }
    if (!data || IsEmpty()) return true;
    if (compressedSize < 0) {
        std::memcpy(destination.data.get(), data.get(), ByteCount());
        return true;
    }
    RunLength::Decode(data.get(), size_t(compressedSize), destination.data.get(), ByteCount() / PixelBytes);
    return true;
}

bool CCompressedPicture::Allocate(int w, int h, int size) {
    Clear();
    compressedSize = -1;
    if (!IsValidSize(w, h) || size < -1) return false;
    const size_t bytes = size < 0 ? size_t(w) * size_t(h) * PixelBytes : size_t(size);
    auto buffer = AllocateBytes(bytes);
    if (!buffer && bytes != 0) return false;
    data = std::move(buffer);
    width = w;
    height = h;
    compressedSize = size;
    return true;
}
