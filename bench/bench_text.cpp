// The text thread's and the render thread's cost for text: rasterising a crawl
// strip and a full-page still, a clock's tick, and the per-frame ring copy of a fast
// crawl. Each reports its share of one 50 Hz output frame (20 ms) as "frameShare"; a
// memcpy of a full-HD frame is the baseline measured in the same run. A clock's tick
// with its template kept parsed also reports its share of the same tick through the
// RTF round trip it replaced ("ofRoundTrip"), measured just before it. Texts that
// grow with their source (paragraphs of a crawl, columns of a CSV row, characters
// of a line) give each size's time per item against the smallest size's.
#include "playback/TextMovement.h"
#include "playback/TextSource.h"
#include "playback/Timeline.h"
#include "media/MemoryTexture.h"
#include "tests/RtfRoundTrip.h"
#include "text/RichEdit.h"

#include <QGuiApplication>
#include <benchmark/benchmark.h>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

namespace {

constexpr double FrameSeconds = 0.020;

QByteArray Rtf(const QByteArray& body) {
    return "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}{\\colortbl ;\\red255\\green255\\blue255;}\\cf1\\b\\fs56 " + body +
           "\\par}";
}

// About 4000 pixels of bold 28-point text.
QByteArray CrawlText() {
    QByteArray text;
    for (int k = 0; text.size() < 230; ++k) text += "Headline " + QByteArray::number(k) + " +++ ";
    return text;
}

// Runs the work once per iteration; the mean seconds it took.
template <class Work>
double Timed(benchmark::State& state, Work work) {
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        work();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    const double mean = seconds / double(std::max<benchmark::IterationCount>(1, state.iterations()));
    state.counters["frameShare"] = mean / FrameSeconds;
    return mean;
}

void BM_CrawlStrip(benchmark::State& state) {
    CRichEditTextRenderer renderer;
    const QByteArray rtf = Rtf(CrawlText());
    RasteriseObject object;
    object.right = 1920;
    object.bottom = 56;
    object.movement = 1;
    CPicture picture;
    int width = 0;
    Timed(state, [&] {
        int start = 0;
        const RasteriseResult r = Rasterise(picture, start, object, renderer, false,
                                            [&](CRichEditExCtrl& c) { return c.StreamIn(rtf) == 1; });
        width = r.usedWidth;
        benchmark::DoNotOptimize(picture.data.get());
    });
    state.counters["stripWidth"] = width;
}
BENCHMARK(BM_CrawlStrip)->Unit(benchmark::kMillisecond);

void BM_FullHdStill(benchmark::State& state) {
    CRichEditTextRenderer renderer;
    QByteArray body;
    for (int k = 0; k < 10; ++k) body += "Line " + QByteArray::number(k) + " of a full page of text\\par ";
    const QByteArray rtf = Rtf(body);
    RasteriseObject object;
    object.right = 1920;
    object.bottom = 1080;
    CPicture picture;
    Timed(state, [&] {
        int start = 0;
        Rasterise(picture, start, object, renderer, true, [&](CRichEditExCtrl& c) { return c.StreamIn(rtf) == 1; });
        benchmark::DoNotOptimize(picture.data.get());
    });
}
BENCHMARK(BM_FullHdStill)->Unit(benchmark::kMillisecond);

// A lower-third clock with seconds in the default template (bold 28-point white).
void MakeClock(CFrame& frame) {
    frame.Rect = {160, 880, 160 + 480, 880 + 80};
    frame.FramePeriod = 20000;
    frame.TextSource = SourceClock;
    frame.ClockFormat = QStringLiteral("%H:%M:%S");
    frame.RichText = TextSource::DefaultTemplate(frame);
}

// A clock tick as it went with the RTF round trip: the time put into the template
// read from RTF, written back as RTF, and that read again to be drawn.
double roundTripTick = 0;

void BM_ClockTickRtfRoundTrip(benchmark::State& state) {
    CRichEditTextRenderer renderer;
    CFrame frame;
    MakeClock(frame);
    RasteriseObject object;
    object.left = frame.Rect.left;
    object.top = frame.Rect.top;
    object.right = frame.Rect.right;
    object.bottom = frame.Rect.bottom;
    CPicture picture;
    roundTripTick = Timed(state, [&] {
        const QString value = TextSource::ClockTextNow(frame.ClockFormat);
        const QByteArray rtf = PutValueThroughRtf(frame.RichText, value, TextSource::ControlFor(frame, renderer));
        int start = 0;
        Rasterise(picture, start, object, renderer, false, [&](CRichEditExCtrl& c) { return c.StreamIn(rtf) == 1; });
        benchmark::DoNotOptimize(picture.data.get());
    });
}
BENCHMARK(BM_ClockTickRtfRoundTrip)->Unit(benchmark::kMicrosecond);

// The same tick as the text thread runs it now: the source read again (the time
// taken) and the strip rasterised from the kept template with the time put in.
void BM_ClockTickKeptTemplate(benchmark::State& state) {
    CRichEditTextRenderer renderer;
    CFrame frame;
    MakeClock(frame);
    TextSource::InitSource(frame, renderer);  // the run's first step reads the template
    CPicture picture;
    const double tick = Timed(state, [&] {
        TextSource::InitSource(frame, renderer);
        int start = 0;
        RasteriseFrame(frame, picture, start, renderer, false);
        benchmark::DoNotOptimize(picture.data.get());
    });
    if (roundTripTick > 0) state.counters["ofRoundTrip"] = tick / roundTripTick;
    state.counters["templateReads"] = TextSource::TemplateOf(frame).reads;
}
BENCHMARK(BM_ClockTickKeptTemplate)->Unit(benchmark::kMicrosecond);

// The put alone, without the drawing: through RTF, and into the kept template.
double roundTripPut = 0;

void BM_ClockValueRtfRoundTrip(benchmark::State& state) {
    CRichEditTextRenderer renderer;
    CFrame frame;
    MakeClock(frame);
    roundTripPut = Timed(state, [&] {
        const QString value = TextSource::ClockTextNow(frame.ClockFormat);
        const QByteArray rtf = PutValueThroughRtf(frame.RichText, value, TextSource::ControlFor(frame, renderer));
        renderer.multiLine->StreamIn(rtf);
        benchmark::DoNotOptimize(renderer.multiLine->TextLength());
    });
}
BENCHMARK(BM_ClockValueRtfRoundTrip)->Unit(benchmark::kMicrosecond);

void BM_ClockValueKeptTemplate(benchmark::State& state) {
    CRichEditTextRenderer renderer;
    CFrame frame;
    MakeClock(frame);
    TextSource::InitSource(frame, renderer);
    const double put = Timed(state, [&] {
        TextSource::InitSource(frame, renderer);
        TextSource::LoadTextToRender(frame, *renderer.multiLine);
        benchmark::DoNotOptimize(renderer.multiLine->TextLength());
    });
    if (roundTripPut > 0) state.counters["ofRoundTrip"] = put / roundTripPut;
    state.counters["templateReads"] = TextSource::TemplateOf(frame).reads;
}
BENCHMARK(BM_ClockValueKeptTemplate)->Unit(benchmark::kMicrosecond);

// The render thread's share for a speed-40 crawl across the screen: copying 31
// new columns into the ring and moving the window, frame after frame.
void BM_RingCopyPerFrame(benchmark::State& state) {
    CMemoryTextureDevice device;
    CFrame frame;
    frame.Rect = {0, 1000, 1920, 1056};
    frame.Movement = MovementHorizontal;
    frame.Speed = 40;
    frame.FramePeriod = 20000;
    frame.Loop = 1;
    frame.BackColor = 0;
    frame.Play();
    CPicture chunk;
    chunk.Resize(4000, 56);
    chunk.Fill(0xFFFFFFFF);
    frame.ChunkPicture = chunk;
    frame.Chunk = {0, 0, 4000, 56};
    frame.Ring = {0, 0, frame.TextureWidth, frame.TextureHeight};
    frame.SourceReady = 1;
    frame.NoMoreText = 1;
    frame.TextPresent = 1;
    frame.ChunkPending = 1;
    frame.ChunksRendered = 1;  // one chunk of the object's own text: copied again and again
    FramePresentation record;
    Timed(state, [&] {
        if (!frame.BeginPresent()) return;
        PresentFrame(frame, record, device, 20000);
        frame.EndPresent();
    });
    state.counters["pixelsPerFrame"] = double(frame.Scrolled) / double(state.iterations());
    frame.Stop();
}
BENCHMARK(BM_RingCopyPerFrame)->Unit(benchmark::kMicrosecond);

// Text that grows with its source: each size's time per item (paragraph, column,
// character) is also given over that of the smallest size measured just before it in
// the same run ("perItemOfSmallest"): about 1 while the work grows linearly, about
// the size ratio when it grows with the square.
void SizedRun(benchmark::State& state, int64_t smallest, double& smallestPerItem, double seconds) {
    const double items = double(state.range(0));
    const double perItem = seconds / items;
    state.counters["usPerItem"] = perItem * 1e6;
    if (state.range(0) == smallest) smallestPerItem = perItem;
    // Only when the smallest size ran first (a filter may leave it out).
    if (smallestPerItem > 0) state.counters["perItemOfSmallest"] = perItem / smallestPerItem;
}

// A crawl of many paragraphs (64 characters each) made into one line: the first strip.
double crawlSmallest = 0;

void BM_CrawlParagraphs(benchmark::State& state) {
    CRichEditTextRenderer renderer;
    QByteArray body;
    for (int k = 0; k < state.range(0); ++k) {
        QByteArray line = "Paragraph " + QByteArray::number(k) + " of the crawl ";
        while (line.size() < 64) line += 'x';
        body += line.left(64) + "\\par ";
    }
    const QByteArray rtf = Rtf(body);
    RasteriseObject object;
    object.right = 1920;
    object.bottom = 56;
    object.movement = 1;
    CPicture picture;
    const double seconds = Timed(state, [&] {
        int start = 0;
        Rasterise(picture, start, object, renderer, false, [&](CRichEditExCtrl& c) { return c.StreamIn(rtf) == 1; });
        benchmark::DoNotOptimize(picture.data.get());
    });
    SizedRun(state, 500, crawlSmallest, seconds);
}
BENCHMARK(BM_CrawlParagraphs)->Arg(500)->Arg(1000)->Arg(2000)->Unit(benchmark::kMillisecond);

// A CSV row of many columns put into the default template, which names every column.
double csvSmallest = 0;

void BM_CsvColumns(benchmark::State& state) {
    CRichEditTextRenderer renderer;
    CFrame frame;
    frame.Rect = {0, 0, 1920, 1080};
    frame.TextSource = SourceCsvFile;
    QStringList row;
    for (int k = 0; k < state.range(0); ++k) {
        frame.Table.Placeholders.append(QStringLiteral("%") + QString::number(k + 1) + QStringLiteral("%"));
        row.append(QStringLiteral("v") + QString::number(k));
    }
    frame.Table.Rows = {row};
    frame.RichText = Rtf(frame.Table.Placeholders.join(u' ').toLatin1());
    CRichEditExCtrl& control = TextSource::ControlFor(frame, renderer);
    const double seconds = Timed(state, [&] {
        TextSource::LoadTextToRender(frame, control);
        benchmark::DoNotOptimize(control.TextLength());
    });
    SizedRun(state, 1000, csvSmallest, seconds);
}
BENCHMARK(BM_CsvColumns)->Arg(1000)->Arg(8000)->Unit(benchmark::kMillisecond);

// A text file of one long line with no place to break it (encoded or minified
// data) shown by a fixed full-HD object: the template filled and its strip drawn.
double lineSmallest = 0;

void BM_LongLine(benchmark::State& state) {
    CRichEditTextRenderer renderer;
    CFrame frame;
    frame.Rect = {0, 0, 1920, 1080};
    frame.FramePeriod = 20000;
    frame.TextSource = SourceTextFile;
    frame.RichText = TextSource::DefaultTemplate(frame);
    QString line;
    line.reserve(state.range(0));
    while (line.size() < state.range(0)) line += QStringLiteral("abcdefgh");
    line.truncate(state.range(0));
    TextSource::TemplateOf(frame).value = line;
    CPicture picture;
    const double seconds = Timed(state, [&] {
        int start = 0;
        RasteriseFrame(frame, picture, start, renderer, false);
        benchmark::DoNotOptimize(picture.data.get());
    });
    SizedRun(state, 100000, lineSmallest, seconds);
}
BENCHMARK(BM_LongLine)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_FullHdMemcpyBaseline(benchmark::State& state) {
    std::vector<uint8_t> from(size_t(1920) * 1080 * 4, 1), to(from.size());
    Timed(state, [&] {
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::ClobberMemory();
    });
}
BENCHMARK(BM_FullHdMemcpyBaseline)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
