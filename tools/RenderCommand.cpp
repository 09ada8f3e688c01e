#include "tools/RenderCommand.h"

#include "base/Translate.h"
#include "core/PageFile.h"
#include "core/VideoModes.h"
#include "render/Render.h"
#include "tools/PageCommands.h"
#include "tools/PictureFile.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <map>

namespace {

constexpr int DefaultToMs = 5000;

enum class Output { Rgba, Plain, YCbCrAFull, YCbCrALimited };

// RGBA bytes (premultiplied when unfold) to the pictures' BGRA with straight alpha.
void ToPicture(const std::vector<uint8_t>& rgba, int width, int height, bool unfold, bool opaque, CPicture& out) {
    out.Resize(width, height);
    for (size_t k = 0; k < size_t(width) * size_t(height); ++k) {
        const uint8_t* s = &rgba[k * 4];
        uint8_t* d = out.data.get() + k * 4;
        const int a = s[3];
        for (int c = 0; c < 3; ++c) {
            int v = s[c];
            if (unfold && a != 0) v = std::min(255, (v * 255 + a / 2) / a);
            d[2 - c] = uint8_t(v);
        }
        d[3] = opaque ? 255 : uint8_t(a);
    }
}

}  // namespace

QJsonObject PhaseTimesJson(const RenderStatistics& statistics) {
    QJsonObject phases;
    for (int k = 0; k < FramePhaseCount; ++k) {
        const FramePhaseTimes& t = statistics.phases[size_t(k)];
        phases.insert(QLatin1String(FramePhaseName(FramePhase(k))),
                      QJsonObject{{"minMs", t.minMs}, {"meanMs", t.meanMs}, {"maxMs", t.maxMs}});
    }
    return phases;
}

int RenderCommand(const QStringList& arguments, int mode) {
    QStringList args = arguments;
    int toMs = DefaultToMs, every = 1, scale = 1;
    bool scaleGiven = false;
    QString outDir;
    Output output = Output::Rgba;
    bool trace = false;
    QString scriptPath;
    std::vector<TimedCommand> commands;
    // A script drives the page itself: nothing plays at 0 unless a command says so.
    const bool commandsGiven = args.contains(QStringLiteral("--at-ms"));
    if (!TakeCommands(args, commands, "render")) return 2;
    for (qsizetype k = 0; k < args.size();) {
        const QString a = args[k];
        if (a == QLatin1String("--trace")) {
            trace = true;
            args.remove(k);
            continue;
        }
        if (!a.startsWith(QLatin1String("--"))) {
            ++k;
            continue;
        }
        if (k + 1 >= args.size()) {
            std::fprintf(stderr, "cvtool render: %s needs a value\n", qPrintable(a));
            return 2;
        }
        const QString value = args[k + 1];
        bool ok = true;
        if (a == QLatin1String("--to-ms")) toMs = value.toInt(&ok);
        else if (a == QLatin1String("--every")) every = value.toInt(&ok);
        else if (a == QLatin1String("--scale")) scale = value.toInt(&ok), scaleGiven = true;
        else if (a == QLatin1String("--out")) outDir = value;
        else if (a == QLatin1String("--script")) scriptPath = value;
        else if (a == QLatin1String("--output")) {
            static const std::map<QString, Output> names{{"rgba", Output::Rgba},
                                                         {"plain", Output::Plain},
                                                         {"ycbcra-full", Output::YCbCrAFull},
                                                         {"ycbcra-limited", Output::YCbCrALimited}};
            const auto found = names.find(value);
            ok = found != names.end();
            if (ok) output = found->second;
        } else {
            ok = false;
        }
        if (!ok || toMs < 0 || every < 1 || scale < 1 || scale > 16) {
            std::fprintf(stderr, "cvtool render: bad %s %s\n", qPrintable(a), qPrintable(value));
            return 2;
        }
        args.remove(k, 2);
    }
    if (args.size() != 1 || outDir.isEmpty()) {
        std::fprintf(stderr, "usage: cvtool render PAGE [--mode N] [--to-ms T] [--every K] [--at-ms T:COMMAND:TARGET ...]\n"
                             "       [--output rgba|plain|ycbcra-full|ycbcra-limited] [--scale N] [--script FILE] --out DIR [--trace]\n");
        return 2;
    }
    if (!QDir().mkpath(outDir)) {
        std::fprintf(stderr, "cvtool render: cannot make %s\n", qPrintable(outDir));
        return 1;
    }

    if (!scriptPath.isEmpty() && !commandsGiven) commands.clear();
    CPlayoutPage playout;
    if (!playout.Read(args[0], mode)) return 1;
    CMainDoc& document = playout.Document();
    if (!scriptPath.isEmpty() && !document.Script.LoadFile(QFileInfo(scriptPath).absoluteFilePath())) {
        std::fprintf(stderr, "cvtool render: %s: %s\n", qPrintable(scriptPath), qPrintable(document.Script.LastError()));
        return 1;
    }
    // The runner's 200 ms tick on the virtual clock, from noon, so waits for a time
    // of day are reproducible.
    constexpr int ScriptTickMs = 200, ScriptStartSecond = 12 * 3600;
    int64_t nextScriptTickMs = 0;
    bool scriptStarted = false;
    bool pageChanged = false;  // a script action loaded, added or deleted objects
    playout.scriptActionCompleted = [&](int step, const CFrameScriptItem& item) {
        pageChanged = pageChanged || item.HasPagePath() || item.type == ScriptActionType::DeleteObjects;
        if (trace)
            PrintLine(QJsonObject{{"timeMs", double(nextScriptTickMs)},
                                  {"scriptStep", step + 1},
                                  {"type", int(item.type)},
                                  {"action", item.ListText()}});
    };
    CFrameSet& page = playout.page;
    std::map<const CFrame*, int>& numbers = playout.numbers;

    const int period = VideoModes::FramePeriod(mode);
    const int renderWidth = VideoModes::RenderWidth(mode), renderHeight = VideoModes::RenderHeight(mode);
    auto timerOwned = std::make_unique<CVirtualTimer>();
    CVirtualTimer& timer = *timerOwned;
    size_t nextCommand = 0;
    int written = 0;
    bool writeFailed = false;

    // The settings' back colour and scale; the output chosen here.
    RenderOptions options = RenderOptions::FromSettings(mode);
    options.synchronousText = true;
    options.noYCbCrA = output == Output::Plain;
    options.fullHdmiRange = output != Output::YCbCrALimited;
    if (scaleGiven) options.scale = scale;
    options.beforeFrame = [&](int frame) {
        const int64_t timeUs = int64_t(frame) * period;
        if (timeUs > int64_t(toMs) * 1000) return false;
        timer.now = timeUs + 1;
        while (nextCommand < commands.size() && commands[nextCommand].atMs * 1000 <= timeUs)
            Apply(playout, commands[nextCommand++]);
        if (!scriptPath.isEmpty() && timeUs >= nextScriptTickMs * 1000) {
            playout.SetVirtualTime(timeUs, ScriptStartSecond);
            if (!scriptStarted) {
                document.ScriptStart();  // the output is on now
                scriptStarted = true;
            }
            pageChanged = false;
            document.ScriptProcessing();
            if (pageChanged) playout.Renumber();
            nextScriptTickMs += ScriptTickMs;
        }
        return true;
    };
    if (trace) {
        options.presented = [&](int frame, CFrame& object, const FramePresentation& record, TimelinePhase phase,
                                bool alive) {
            PrintLine(PresentationLine(frame, double(int64_t(frame) * period) / 1000.0, numbers[&object],
                                       object.Clock.load(), phase, alive, record, object));
        };
    }
    options.afterFrame = [&](int frame, CRender& engine) {
        if (frame % every != 0) return;
        std::vector<uint8_t> rgba;
        int w = 0, h = 0;
        CPicture picture;
        if (output == Output::Rgba) {
            engine.ReadComposed(rgba, w, h);
            ToPicture(rgba, w, h, true, false, picture);
        } else {
            engine.ReadOutput(rgba, w, h);
            ToPicture(rgba, w, h, false, true, picture);
        }
        const QString path = QStringLiteral("%1/frame%2.png").arg(outDir).arg(frame, 6, 10, QLatin1Char('0'));
        if (SavePng(picture, path)) ++written;
        else writeFailed = true;
    };

    // The output target has the display size, or the render size when the packing
    // is not wanted.
    const bool packed = output == Output::YCbCrAFull || output == Output::YCbCrALimited;
    const int targetWidth = packed ? VideoModes::DisplayWidth(mode) : renderWidth;
    const int targetHeight = packed ? VideoModes::DisplayHeight(mode) : renderHeight;
    RenderStatus status = RenderStatus::Ok;
    RenderStatistics statistics;
    {
        CRender engine(page, options, std::make_unique<COffscreenTarget>(targetWidth, targetHeight), std::move(timerOwned));
        // The render thread ends by itself after the last frame.
        while (engine.status.load() == RenderStatus::Ok) QThread::msleep(5);
        status = engine.status.load() == RenderStatus::Stopped ? RenderStatus::Ok : engine.status.load();
        statistics = engine.Statistics();
    }
    if (status != RenderStatus::Ok) {
        std::fprintf(stderr, "cvtool render: %s\n",
                     qPrintable(CTranslate::Global().LoadText(unsigned(10320 + int(status)))));
        return 1;
    }
    if (writeFailed) {
        std::fprintf(stderr, "cvtool render: cannot write into %s\n", qPrintable(outDir));
        return 1;
    }
    std::fprintf(stderr, "cvtool render: wrote %d frames into %s\n", written, qPrintable(outDir));
    // Real times on this machine, whatever the frames' virtual clock says.
    std::fprintf(stderr, "cvtool render: rendered %d frames, phase times: %s\n", statistics.frames,
                 QJsonDocument(PhaseTimesJson(statistics)).toJson(QJsonDocument::Compact).constData());
    return 0;
}
