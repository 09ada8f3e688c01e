// The background of a playing object in its display texture: a solid colour, or
// the animation frame due at this moment.
#include "base/Debug.h"
#include "playback/Import.h"
#include "playback/Timeline.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

TextureHandle CreateTexture(ITextureDevice& device, int width, int height) {
    TextureResult result = TextureResult::Ok;
    TextureHandle texture = device.CreateTexture(width, height, result);
    if (!texture) {
        if (result == TextureResult::Ok) result = TextureResult::Failed;
        CDebug::Log(1, "CFrame::CreateTexture(): ITextureDevice::CreateTexture(%d x %d) = %08X (%s)", width, height,
                    unsigned(result), TextureResultName(result));
        return nullptr;
    }
    // A device may round sizes; the engine maps whole textures onto objects, so
    // only the exact size will do.
    if (texture->width != width || texture->height != height) {
        CDebug::Log(1, "CFrame::CreateTexture(): incorrect texture size: %dx%d, should be: %dx%d", texture->width,
                    texture->height, width, height);
        return nullptr;
    }
    return texture;
}

namespace {

// The frame due now in the animation's own time: the latest frame whose start (the
// sum of the delays before it) is not after the time since the start delay ended.
// Starts are summed from the frames themselves, never from when a frame happened
// to show, so an output period that does not divide the delays neither drifts nor
// slows the animation: a frame that falls between two output frames is skipped.
// Without any time in its delays, an animation steps one frame per output frame.
// start receives the chosen frame's start in ms.
int ChooseFrame(const CFrame& frame, int& start) {
    start = 0;
    const int n = int(frame.Frames.size());
    const int clock = frame.Clock;
    if (n <= 1 || clock < frame.StartDelay) return 0;
    int64_t total = 0;
    for (const CFrameBackground& background : frame.Frames) total += std::max(0, background.Delay);
    if (total == 0) {
        const int i = frame.AnimationFrame;
        if (i < 0 || i >= n) return 0;
        if (!frame.LoopAnimation && i == n - 1) return i;
        return (i + 1) % n;
    }
    int64_t t = int64_t(clock - frame.StartDelay) * 1000 + frame.ClockMicros.load();  // µs
    if (t >= total * 1000) {
        if (!frame.LoopAnimation) {  // stays on its last frame
            start = int(std::min<int64_t>(total - std::max(0, frame.Frames.back().Delay), INT32_MAX));
            return n - 1;
        }
        t %= total * 1000;
    }
    int64_t begin = 0;
    for (int k = 0; k < n; ++k) {
        const int64_t end = begin + int64_t(std::max(0, frame.Frames[size_t(k)].Delay)) * 1000;
        if (t < end) {
            start = int(std::min<int64_t>(begin / 1000, INT32_MAX));
            return k;
        }
        begin = end;
    }
    return n - 1;
}

}  // namespace

bool PrepareBackgroundTexture(CFrame& frame, ITextureDevice& device) {
    const bool picture = frame.Kind == KindPicture;
    bool fresh = false;
    const auto create = [&] {
        frame.BackgroundTexture = picture ? CreateTexture(device, frame.PictureWidth, frame.PictureHeight)
                                          : CreateTexture(device, 8, 8);
        fresh = frame.BackgroundTexture != nullptr;
        return fresh;
    };
    if (picture) {
        // New frames of the linked file, imported by the text thread: until now the
        // old ones stayed on air.
        TakeReimportedFrames(frame, false);
        // Nothing to show (a link that gave no frames, at play or since): the object
        // cannot play on.
        if (frame.Frames.empty()) {
            frame.BackgroundError.exchange(1);
            return false;
        }
    }
    if (!frame.BackgroundTexture && !create()) return false;

    int chosen = 0;
    if (!picture) {
        if (!fresh) return true;  // the colour is written once per texture
    } else {
        int start = 0;
        chosen = ChooseFrame(frame, start);
        if (chosen == frame.AnimationFrame && !fresh) return true;
        frame.AnimationFrame = chosen;
        frame.AnimationFrameStart = start;
    }

    CTexture& texture = *frame.BackgroundTexture;
    int pitch = 0;
    TextureResult result = TextureResult::Ok;
    uint8_t* bits = texture.Lock(pitch, result);
    if (!bits) {
        CDebug::Log(1, "CFrame::PrepareBackgroundTexture(): CTexture::Lock() = %08X (%s)", unsigned(result),
                    TextureResultName(result));
        return false;
    }
    if (!picture) {
        // Stored blue, green, red, opacity: the byte order of every picture.
        const uint32_t c = frame.BackColor;
        const uint8_t pixel[4] = {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), uint8_t(c >> 24)};
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) std::memcpy(bits + y * pitch + x * 4, pixel, 4);
    } else {
        frame.Frames[size_t(chosen)].Picture.Decompress(frame.FrameScratch);
        const int rowBytes = std::min(frame.FrameScratch.width, texture.width) * 4;
        const int rows = std::min(frame.FrameScratch.height, texture.height);
        for (int y = 0; y < rows; ++y)
            std::memcpy(bits + size_t(y) * size_t(pitch), frame.FrameScratch.Pixel(0, y), size_t(rowBytes));
    }
    result = texture.Unlock();
    if (result != TextureResult::Ok) {
        CDebug::Log(1, "CFrame::PrepareBackgroundTexture(): CTexture::Unlock() = %08X (%s)", unsigned(result),
                    TextureResultName(result));
        return false;
    }
    return true;
}
