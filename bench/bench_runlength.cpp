// Encoding and decoding full-HD frames with the run-length code, against a memcpy of
// the same 8,294,400 bytes in the same run: bytes_per_second of a case divided by
// that of BM_Memcpy is its speed as a fraction of a plain copy.
#include "media/RunLength.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int Width = 1920;
constexpr int Height = 1080;
constexpr size_t PixelCount = size_t(Width) * Height;
constexpr size_t FrameBytes = PixelCount * 4;

using Frame = std::vector<uint8_t>;

void Put(Frame& f, int x, int y, int b, int g, int r, int a) {
    uint8_t* p = f.data() + (size_t(y) * Width + x) * 4;
    p[0] = uint8_t(b), p[1] = uint8_t(g), p[2] = uint8_t(r), p[3] = uint8_t(a);
}

Frame Solid() {
    Frame f(FrameBytes);
    for (size_t i = 0; i < PixelCount; ++i) {
        const uint8_t px[4] = {0x40, 0x20, 0x10, 0xFF};
        std::memcpy(f.data() + i * 4, px, 4);
    }
    return f;
}

Frame Noise() {
    Frame f(FrameBytes);
    std::mt19937 random(1);
    for (size_t i = 0; i < FrameBytes; i += 4) {
        const uint32_t v = random();
        std::memcpy(f.data() + i, &v, 4);
    }
    return f;
}

// Coverage of a pixel by a rounded rectangle, with a one-pixel soft edge.
double RoundedRectCoverage(double x, double y, double left, double top, double right, double bottom,
                           double radius) {
    const double cx = std::clamp(x, left + radius, right - radius);
    const double cy = std::clamp(y, top + radius, bottom - radius);
    const double distance = std::hypot(x - cx, y - cy) - radius;
    return std::clamp(0.5 - distance, 0.0, 1.0);
}

// A lower third as it is typically stored: the frame transparent except a banner in
// the bottom third with a vertical gradient and rounded, anti-aliased corners, an
// accent strip with a horizontal gradient, a round logo with a soft edge and a thin
// drop-shadow band.
Frame LowerThird() {
    Frame f(FrameBytes, 0);
    const double left = 160, top = 780, right = 1500, bottom = 940, radius = 24;
    for (int y = 700; y < 1000; ++y) {
        for (int x = 100; x < 1820; ++x) {
            const double px = x + 0.5, py = y + 0.5;
            const double shadow = RoundedRectCoverage(px - 6, py - 6, left, top, right, bottom, radius);
            const double banner = RoundedRectCoverage(px, py, left, top, right, bottom, radius);
            double b = 0, g = 0, r = 0, a = shadow * 96;
            if (banner > 0) {
                const double t = (py - top) / (bottom - top);  // vertical gradient
                const double bb = 120 + 80 * t, gg = 40 + 30 * t, rr = 20 + 10 * t;
                b = bb, g = gg, r = rr;
                a = banner * 235 + (1 - banner) * a;
            }
            if (y >= 944 && y < 956 && x >= 160 && x < 1200) {  // accent strip
                const double t = (x - 160) / 1040.0;
                b = 30, g = 140 + 100 * t, r = 240 - 60 * t, a = 255;
            }
            const double logo = std::clamp(60.5 - std::hypot(px - 1640, py - 860), 0.0, 1.0);
            if (logo > 0) {
                const double t = (px - 1580) / 120.0;  // horizontal gradient in the logo
                b = logo * (200 * t) + (1 - logo) * b;
                g = logo * 200 + (1 - logo) * g;
                r = logo * (255 - 100 * t) + (1 - logo) * r;
                a = logo * 255 + (1 - logo) * a;
            }
            if (a > 0) Put(f, x, y, int(b), int(g), int(r), int(a));
        }
    }
    return f;
}

const Frame& Pictures(int kind) {
    static const Frame solid = Solid();
    static const Frame lowerThird = LowerThird();
    static const Frame noise = Noise();
    return kind == 0 ? solid : kind == 1 ? lowerThird : noise;
}

const char* Names[] = {"solid", "lower_third", "noise"};

void BM_Memcpy(benchmark::State& state) {
    const Frame& source = Pictures(1);
    Frame destination(FrameBytes);
    for (auto _ : state) {
        std::memcpy(destination.data(), source.data(), FrameBytes);
        benchmark::DoNotOptimize(destination.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(FrameBytes));
}
BENCHMARK(BM_Memcpy);

// Capacity is the raw size, as for a stored frame: noise gives up near the end.
void BM_Encode(benchmark::State& state) {
    const int kind = int(state.range(0));
    const Frame& source = Pictures(kind);
    Frame code(FrameBytes);
    size_t size = 0;
    for (auto _ : state) {
        size = RunLength::Encode(source.data(), PixelCount, code.data(), code.size());
        benchmark::DoNotOptimize(size);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(FrameBytes));
    state.SetLabel(Names[kind]);
    state.counters["code_percent"] = size ? 100.0 * double(size) / double(FrameBytes) : 100.0;
}
BENCHMARK(BM_Encode)->DenseRange(0, 2);

// Noise has no code of its own (it is stored raw); its worst-case code, a literal
// after another, is decoded instead.
void BM_Decode(benchmark::State& state) {
    const int kind = int(state.range(0));
    const Frame& source = Pictures(kind);
    Frame code(FrameBytes * 2);
    const size_t size = RunLength::Encode(source.data(), PixelCount, code.data(), code.size());
    Frame destination(FrameBytes);
    if (size == 0) {
        state.SkipWithError("frame did not encode");
        return;
    }
    for (auto _ : state) {
        const size_t decoded = RunLength::Decode(code.data(), size, destination.data(), PixelCount);
        benchmark::DoNotOptimize(decoded);
        benchmark::ClobberMemory();
    }
    if (destination != source) state.SkipWithError("decoded frame differs");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(FrameBytes));
    state.SetLabel(Names[kind]);
}
BENCHMARK(BM_Decode)->DenseRange(0, 2);

}  // namespace
