// Frame time of the render engine on this machine's OpenGL (llvmpipe without a
// GPU) at 1920 x 1080: composition plus the Y'CbCrA packing. Whole frames (every
// pixel changes, as when a page starts) for pages of lower-third-sized and
// full-size objects, with and without a shadowed text; and the usual case on air,
// where only what moves is drawn again: a crawl across the picture over still
// lower thirds, and a page where nothing moves. The baseline, measured in the
// same run, is an empty page drawn whole with the plain output: one full-screen
// textured draw over a cleared target. Each case reports its share of the 50 Hz
// (20 ms) and 60 Hz (16.7 ms) frame budgets and its ratio to the baseline, and
// how the engine's own frame time divides between its phases (collect, damage,
// upload, compose, output, present: each a share of their sum).
#include "playback/PlayCommand.h"
#include "playback/TextMovement.h"
#include "render/Render.h"

#include <QGuiApplication>
#include <benchmark/benchmark.h>
#include <array>
#include <chrono>
#include <thread>

namespace {

constexpr int Frames = 12;  // per iteration; the first two (set-up, first text) are not timed
double BaselineMs = 0;

struct PageSpec {
    int lowerThirds = 0;
    int fullSize = 0;
    bool shadowedText = false;
    bool plainOutput = false;
    bool whole = true;   // every frame drawn whole
    bool crawl = false;  // a fast crawl across the bottom of the picture
};

struct Timed {
    double ms = 0;                                  // per frame, frames 2 to Frames - 1
    std::array<double, FramePhaseCount> phaseMs{};  // each phase's mean over the same frames
};

// The phases' mean times over the frames counted in later but not in earlier.
std::array<double, FramePhaseCount> PhaseMeans(const RenderStatistics& earlier, const RenderStatistics& later) {
    std::array<double, FramePhaseCount> means{};
    const int frames = later.frames - earlier.frames;
    if (frames <= 0) return means;
    for (size_t k = 0; k < means.size(); ++k)
        means[k] = (later.phases[k].meanMs * later.frames - earlier.phases[k].meanMs * earlier.frames) / frames;
    return means;
}

Timed FrameMs(const PageSpec& spec) {
    CFrameSet page;
    for (int k = 0; k < spec.lowerThirds; ++k) {
        auto o = std::make_unique<CFrame>();
        const int y = 40 + (k % 16) * 60;
        o->Rect = {160, y, 1760, y + 160};
        o->BackColor = 0xC0204080;
        page.Add(o);
    }
    for (int k = 0; k < spec.fullSize; ++k) {
        auto o = std::make_unique<CFrame>();
        o->Rect = {0, 0, 1920, 1080};
        o->BackColor = 0x40102030;
        page.Add(o);
    }
    if (spec.shadowedText) {
        auto o = std::make_unique<CFrame>();
        o->Rect = {200, 860, 1720, 940};
        o->BackColor = 0;
        o->DropShadow = 4;
        o->RichText = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\b\\fs56 Jane Doe, Head of News\\par}";
        page.Add(o);
    }
    if (spec.crawl) {
        auto o = std::make_unique<CFrame>();
        o->Rect = {0, 980, 1920, 1060};
        o->BackColor = 0xC0000000;
        o->Movement = MovementHorizontal;
        o->Speed = 40;
        o->FramePeriod = 20000;
        o->RichText = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\b\\fs56 Markets close higher +++ Rain later in the north +++ "
                      "Transport strike called off +++ Cup final tonight at eight +++ Roads clear +++\\par}";
        page.Add(o);
    }
    RenderOptions options;
    options.redrawAll = spec.whole;
    options.renderWidth = 1920;
    options.renderHeight = 1080;
    options.synchronousText = true;
    options.noYCbCrA = spec.plainOutput;
    std::chrono::steady_clock::time_point start, end;
    // Frames of exactly one 50 Hz period, however long they take to draw: what
    // moves moves as far as it would on air.
    auto timer = std::make_unique<CVirtualTimer>();
    CVirtualTimer* clock = timer.get();
    options.beforeFrame = [&, clock](int frame) {
        clock->now = 1 + int64_t(frame) * 20000;
        if (frame == 0) ApplyCommand(page, PlayCommand::Play, CommandTarget::Every());
        if (frame == 2) start = std::chrono::steady_clock::now();
        return frame < Frames;
    };
    RenderStatistics untimed, all;  // after frame 1, and at the end
    options.afterFrame = [&](int frame, CRender& engine) {
        if (frame == 1) untimed = engine.Statistics();
        if (frame == Frames - 1) end = std::chrono::steady_clock::now();
    };
    {
        CRender engine(page, options, std::make_unique<COffscreenTarget>(1920, 1080), std::move(timer));
        while (engine.status.load() == RenderStatus::Ok) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        all = engine.Statistics();
    }
    return {std::chrono::duration<double, std::milli>(end - start).count() / (Frames - 2), PhaseMeans(untimed, all)};
}

// Each phase's share of the engine's frame time, over the iterations.
void ReportPhases(benchmark::State& state, const std::array<double, FramePhaseCount>& phaseMs) {
    double sum = 0;
    for (double ms : phaseMs) sum += ms;
    if (sum <= 0) return;
    for (int k = 0; k < FramePhaseCount; ++k)
        state.counters[FramePhaseName(FramePhase(k))] = phaseMs[size_t(k)] / sum;
}

// The iterations' mean frame time in ms; the phases' shares as counters.
double Measure(benchmark::State& state, const PageSpec& page) {
    double total = 0;
    std::array<double, FramePhaseCount> phaseMs{};
    for (auto _ : state) {
        const Timed timed = FrameMs(page);
        total += timed.ms;
        for (size_t k = 0; k < phaseMs.size(); ++k) phaseMs[k] += timed.phaseMs[k];
        state.SetIterationTime(timed.ms / 1000.0);
    }
    ReportPhases(state, phaseMs);
    return total / double(state.iterations());
}

void Report(benchmark::State& state, const PageSpec& spec) {
    const double ms = Measure(state, spec);
    state.counters["share50Hz"] = ms / 20.0;
    state.counters["share60Hz"] = ms / (1000.0 / 60.0);
    if (BaselineMs > 0) state.counters["xBaseline"] = ms / BaselineMs;
}

void BM_Baseline_FullScreenDraw(benchmark::State& state) {
    BaselineMs = Measure(state, {0, 0, false, true, true, false});
    state.counters["share50Hz"] = BaselineMs / 20.0;
}
BENCHMARK(BM_Baseline_FullScreenDraw)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_WholeFrame_LowerThirds(benchmark::State& state) { Report(state, {int(state.range(0)), 0, false, false}); }
BENCHMARK(BM_WholeFrame_LowerThirds)->Arg(1)->Arg(16)->Arg(64)->Arg(256)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_WholeFrame_FullSize(benchmark::State& state) { Report(state, {0, int(state.range(0)), false, false}); }
BENCHMARK(BM_WholeFrame_FullSize)->Arg(1)->Arg(4)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_WholeFrame_LowerThirdsWithShadowedText(benchmark::State& state) {
    Report(state, {int(state.range(0)), 0, true, false});
}
BENCHMARK(BM_WholeFrame_LowerThirdsWithShadowedText)->Arg(1)->Arg(16)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_WholeFrame_FullSizeWithShadowedText(benchmark::State& state) {
    Report(state, {0, int(state.range(0)), true, false});
}
BENCHMARK(BM_WholeFrame_FullSizeWithShadowedText)->Arg(1)->Arg(4)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_Crawl_OverStillLowerThirds(benchmark::State& state) {
    Report(state, {int(state.range(0)), 0, false, false, false, true});
}
BENCHMARK(BM_Crawl_OverStillLowerThirds)->Arg(0)->Arg(1)->Arg(16)->Arg(64)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_StillPage_LowerThirdsWithShadowedText(benchmark::State& state) {
    Report(state, {int(state.range(0)), 0, true, false, false, false});
}
BENCHMARK(BM_StillPage_LowerThirdsWithShadowedText)->Arg(16)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
