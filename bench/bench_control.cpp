// Network control latency: a play request's round trip through the real HTTP stack
// on loopback, from sending it to its answer, by which time the object plays and
// the engine takes it at its next frame. Baseline in the same run: a state request
// (the same stack, no change to the page). The counters give each as a share of a
// 50 Hz frame period, the time the engine leaves between two frames.
#include "app/ControlService.h"
#include "core/VideoModes.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

class Host : public IDocumentHost {
public:
    void UpdateViews(int) override {}
};

struct Fixture {
    Fixture() {
        object = [this] {
            auto frame = std::make_unique<CFrame>();
            frame->Rect = {10, 10, 200, 60};
            CFrame* made = frame.get();
            doc.AddObject(std::move(frame));
            return made;
        }();
        doc.Page.OutputOn = 1;
        ControlOptions options;
        options.port = 0;
        service = std::make_unique<CControlService>(doc, store, CControlService::OutputHooks{}, options);
        service->Start();
    }
    ~Fixture() {
        doc.Page.StopAll();
        doc.Page.OutputOn = 0;
    }
    void Send(const QByteArray& method, const QString& path) {
        QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(service->Server().Port()).arg(path)));
        QNetworkReply* reply = network.sendCustomRequest(request, method);
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        reply->deleteLater();
    }

    QTemporaryDir dir;
    CSettingsStore store{dir.filePath(QStringLiteral("bench.ini"))};
    Host host;
    CMainDoc doc{host, 0};
    CFrame* object = nullptr;
    std::unique_ptr<CControlService> service;
    QNetworkAccessManager network;
};

constexpr double FramePeriodMicros = 20000.0;  // 50 Hz

// Seconds per request over the frame period: kIsRate divides by the elapsed time,
// kInvert turns requests per second into seconds per request.
void Report(benchmark::State& state) {
    state.counters["share_of_50Hz_frame"] = benchmark::Counter(
        double(state.iterations()) * FramePeriodMicros / 1e6, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_StateRequest(benchmark::State& state) {
    Fixture fixture;
    for (auto _ : state) fixture.Send("GET", QStringLiteral("/api/state"));
    Report(state);
}
BENCHMARK(BM_StateRequest)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_PlayRequest(benchmark::State& state) {
    Fixture fixture;
    const QString play = QStringLiteral("/api/objects/%1/play").arg(fixture.object->Id);
    for (auto _ : state) {
        fixture.Send("POST", play);
        state.PauseTiming();
        if (!fixture.object->Playing.load()) state.SkipWithError("the object did not play");
        fixture.object->Stop();
        state.ResumeTiming();
    }
    Report(state);
}
BENCHMARK(BM_PlayRequest)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
