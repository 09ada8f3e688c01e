// GIF through giflib, read from memory record by record (never the whole file at
// once). Frames are composed on a canvas of the logical screen's size as a browser
// shows them: the canvas starts transparent; each frame is clipped to the screen, its
// transparent index leaves the canvas as it is and every other pixel is drawn opaque
// from the local or else the global colour map (indices beyond the map are black);
// after a frame, disposal 2 clears its rectangle to transparent, disposal 3 restores
// what was under it, and 0, 1 (and the undefined 4 to 7) leave it.
//
// Frames before the requested one are composed; later ones are only counted, their
// image data skipped block by block. At most CxImage::MaxFrames frames are decoded;
// one more is counted so a longer animation shows as such.
// The work is bounded too: no frame may exceed the image limits, and all frames
// composed together may cover at most MaxFrames screens plus one largest image. A
// file that ends or breaks after the requested frame keeps the frames complete so
// far; one that breaks before or inside it fails.
#include "media/CxImage.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr int ExtensionGraphicControl = 0xF9;

struct GifInput {
    const uint8_t* data;
    size_t size;
    size_t position;
};

int ReadBytes(GifFileType* gif, GifByteType* out, int count) {
    auto* input = static_cast<GifInput*>(gif->UserData);
    if (count <= 0) return 0;
    const size_t n = std::min(size_t(count), input->size - input->position);
    if (n == 0) return 0;
    std::memcpy(out, input->data + input->position, n);
    input->position += n;
    return int(n);
}

struct GifCloser {
    void operator()(GifFileType* gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};
using GifHandle = std::unique_ptr<GifFileType, GifCloser>;

// The graphic control extension that applies to the next frame.
struct Control {
    int disposal = 0;
    int delay = 0;             // hundredths of a second
    int transparentIndex = -1; // -1: none
};

QString GifError(const char* what, int code) {
    const char* text = GifErrorString(code);
    return QStringLiteral("GIF: %1: %2").arg(QLatin1String(what), QString::fromUtf8(text ? text : "unknown error"));
}

// One frame's rectangle in screen coordinates, clipped to the screen.
struct Clip {
    int left, top, right, bottom; // right and bottom exclusive
    bool Empty() const { return left >= right || top >= bottom; }
};

class Composer {
public:
    Composer(GifFileType* gif, CxImage& image) : gif_(gif), image_(image) {}

    // Reads the current frame's rows (after DGifGetImageHeader) and draws them.
    bool Draw(const Control& control, QString& error) {
        const GifImageDesc& d = gif_->Image;
        const int w = d.Width, h = d.Height;
        const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif_->SColorMap;
        const int colourCount = map && map->Colors ? std::min(map->ColorCount, 256) : 0;
        uint8_t palette[256][4] = {};
        for (int i = 0; i < 256; ++i) palette[i][3] = 255;
        for (int i = 0; i < colourCount; ++i) {
            palette[i][0] = map->Colors[i].Blue;
            palette[i][1] = map->Colors[i].Green;
            palette[i][2] = map->Colors[i].Red;
        }
        const int transparent = control.transparentIndex;

        line_.resize(size_t(w));
        const Clip clip = ClipOf(d);
        static const int passStart[4] = {0, 4, 2, 1};
        static const int passStep[4] = {8, 8, 4, 2};
        int pass = 0, y = 0;
        for (int i = 0; i < h; ++i) {
            if (DGifGetLine(gif_, line_.data(), w) == GIF_ERROR) {
                error = GifError("frame data", gif_->Error);
                return false;
            }
            int row = i;
            if (d.Interlace) {
                while (y >= h && pass < 3) {
                    ++pass;
                    y = passStart[pass];
                }
                row = y;
                y += passStep[pass];
            }
            const int screenY = d.Top + row;
            if (screenY < clip.top || screenY >= clip.bottom) continue;
            uint8_t* out = image_.Row(image_.Height - 1 - screenY);
            for (int x = clip.left; x < clip.right; ++x) {
                const int index = line_[size_t(x - d.Left)];
                if (index == transparent) continue;
                std::memcpy(out + size_t(x) * 4, palette[index], 4);
            }
        }
        return true;
    }

    Clip ClipOf(const GifImageDesc& d) const {
        return {std::max(d.Left, 0), std::max(d.Top, 0),
                int(std::min<int64_t>(int64_t(d.Left) + d.Width, image_.Width)),
                int(std::min<int64_t>(int64_t(d.Top) + d.Height, image_.Height))};
    }

    void Save(const Clip& c) {
        saved_.clear();
        if (c.Empty()) return;
        const size_t rowBytes = size_t(c.right - c.left) * 4;
        saved_.resize(rowBytes * size_t(c.bottom - c.top));
        for (int y = c.top; y < c.bottom; ++y)
            std::memcpy(saved_.data() + size_t(y - c.top) * rowBytes, Pixel(c.left, y), rowBytes);
    }

    void Restore(const Clip& c) {
        if (c.Empty()) return;
        const size_t rowBytes = size_t(c.right - c.left) * 4;
        for (int y = c.top; y < c.bottom; ++y)
            std::memcpy(Pixel(c.left, y), saved_.data() + size_t(y - c.top) * rowBytes, rowBytes);
    }

    void Clear(const Clip& c) {
        if (c.Empty()) return;
        for (int y = c.top; y < c.bottom; ++y) std::memset(Pixel(c.left, y), 0, size_t(c.right - c.left) * 4);
    }

    bool AnyTransparent() const {
        for (size_t i = 3; i < image_.Pixels.size(); i += 4)
            if (image_.Pixels[i] == 0) return true;
        return false;
    }

private:
    uint8_t* Pixel(int x, int yFromTop) { return image_.Row(image_.Height - 1 - yFromTop) + size_t(x) * 4; }

    GifFileType* gif_;
    CxImage& image_;
    std::vector<GifPixelType> line_;
    std::vector<uint8_t> saved_;
};

// Skips the image data of the current frame without decoding it.
bool SkipFrameData(GifFileType* gif) {
    int codeSize = 0;
    GifByteType* block = nullptr;
    if (DGifGetCode(gif, &codeSize, &block) == GIF_ERROR) return false;
    while (block != nullptr)
        if (DGifGetCodeNext(gif, &block) == GIF_ERROR) return false;
    return true;
}

} // namespace

bool CxImageGIF::Decode(const uint8_t* data, size_t size, int frame, CxImage& image) {
    image.Format = CxFormatGif;
    if (frame < 0 || frame >= CxImage::MaxFrames) {
        image.Error = QStringLiteral("GIF: frame %1 does not exist").arg(frame);
        return false;
    }
    GifInput input{data, size, 0};
    int openError = 0;
    GifHandle gif(DGifOpen(&input, ReadBytes, &openError));
    if (!gif) {
        image.Error = GifError("header", openError);
        return false;
    }
    if (!image.Create(gif->SWidth, gif->SHeight)) return false;

    Composer composer(gif.get(), image);
    const int64_t screenArea = int64_t(image.Width) * image.Height;
    int64_t areaLeft = CxImage::MaxFrames * screenArea + CxImage::MaxPixels;
    Control control;
    bool anyTransparentIndex = false;
    bool shown = false; // the requested frame is on the canvas
    int frames = 0;
    QString error;

    // One frame past the limit is counted (not decoded) so callers can tell that
    // the animation holds more than they may take.
    while (frames <= CxImage::MaxFrames) {
        GifRecordType record = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.get(), &record) == GIF_ERROR) {
            error = GifError("record", gif->Error);
            break;
        }
        if (record == TERMINATE_RECORD_TYPE) break;
        if (record == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif.get(), &code, &block) == GIF_ERROR) {
                error = GifError("extension", gif->Error);
                break;
            }
            if (code == ExtensionGraphicControl && block != nullptr && block[0] >= 4) {
                control.disposal = (block[1] >> 2) & 7;
                control.delay = block[2] | block[3] << 8;
                control.transparentIndex = (block[1] & 1) ? block[4] : -1;
                if (control.transparentIndex >= 0) anyTransparentIndex = true;
            }
            bool broken = false;
            while (block != nullptr) {
                if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR) {
                    error = GifError("extension", gif->Error);
                    broken = true;
                    break;
                }
            }
            if (broken) break;
            continue;
        }
        if (record != IMAGE_DESC_RECORD_TYPE) {
            error = GifError("record", D_GIF_ERR_WRONG_RECORD);
            break;
        }
        if (DGifGetImageHeader(gif.get()) == GIF_ERROR) {
            error = GifError("frame header", gif->Error);
            break;
        }
        const GifImageDesc desc = gif->Image;
        if (shown) {
            if (!SkipFrameData(gif.get())) {
                error = GifError("frame data", gif->Error);
                break;
            }
        } else {
            const int64_t area = int64_t(desc.Width) * desc.Height;
            if (desc.Width < 0 || desc.Height < 0 || desc.Width > CxImage::MaxSide || desc.Height > CxImage::MaxSide ||
                area > CxImage::MaxPixels || area > areaLeft) {
                error = QStringLiteral("GIF: frame %1 is too large").arg(frames);
                break;
            }
            areaLeft -= area;
            const Clip clip = composer.ClipOf(desc);
            const bool requested = frames == frame;
            if (!requested && control.disposal == 3) composer.Save(clip);
            const bool drawn = area > 0 ? composer.Draw(control, error) : SkipFrameData(gif.get());
            if (!drawn) {
                if (error.isEmpty()) error = GifError("frame data", gif->Error);
                break;
            }
            if (requested) {
                image.FrameDelay = control.delay;
                shown = true;
            } else if (control.disposal == 2) {
                composer.Clear(clip);
            } else if (control.disposal == 3) {
                composer.Restore(clip);
            }
        }
        ++frames;
        control = Control();
    }

    if (!shown) {
        image.Error = !error.isEmpty() ? error : QStringLiteral("GIF: frame %1 does not exist").arg(frame);
        return false;
    }
    image.FrameCount = frames;
    image.HasAlpha = anyTransparentIndex || composer.AnyTransparent();
    return true;
}
