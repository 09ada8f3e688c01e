// The render thread's cost of showing the next frame of a full-HD animation:
// decompressing the frame and copying it into the background texture, against a
// memcpy of the frame's bytes.
#include "playback/Timeline.h"
#include "media/MemoryTexture.h"

#include <benchmark/benchmark.h>
#include <cstring>
#include <vector>

namespace {

constexpr int W = 1920, H = 1080;

// A lower-third-like frame: flat transparent area, a gradient band with soft edges;
// shift moves the band so consecutive frames differ.
CPicture MakeFrame(int shift) {
    CPicture picture;
    picture.Resize(W, H);
    picture.Fill(0x00000000);
    for (int y = 800; y < 1000; ++y) {
        for (int x = 100; x < 1820; ++x) {
            uint8_t* p = picture.Pixel(x, y);
            const int edge = std::min({x - 100, 1819 - x, y - 800, 999 - y, 8});
            p[0] = uint8_t((x + shift) / 8);
            p[1] = uint8_t(y / 5);
            p[2] = 40;
            p[3] = uint8_t(edge * 255 / 8);
        }
    }
    return picture;
}

void BM_FrameChange(benchmark::State& state) {
    CFrame frame;
    frame.Kind = KindPicture;
    frame.PictureWidth = W;
    frame.PictureHeight = H;
    for (int k = 0; k < 2; ++k) {
        CFrameBackground background;
        background.Picture.Compress(MakeFrame(k * 37));
        background.Delay = 1;  // every output frame shows the next one
        frame.Frames.push_back(std::move(background));
    }
    CMemoryTextureDevice device;
    frame.Clock = 0;
    for (auto _ : state) {
        frame.Clock += 20;  // past the delay: the other frame is due
        if (!PrepareBackgroundTexture(frame, device)) state.SkipWithError("prepare failed");
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * W * H * 4);
}
BENCHMARK(BM_FrameChange)->Unit(benchmark::kMicrosecond);

void BM_FrameMemcpy(benchmark::State& state) {
    std::vector<uint8_t> from(size_t(W) * H * 4, 1), to(size_t(W) * H * 4);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * W * H * 4);
}
BENCHMARK(BM_FrameMemcpy)->Unit(benchmark::kMicrosecond);

}  // namespace
