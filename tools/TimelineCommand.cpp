#include "tools/TimelineCommand.h"

#include "core/FrameSet.h"
#include "core/PageFile.h"
#include "core/VideoModes.h"
#include "playback/TextMovement.h"
#include "playback/Timeline.h"
#include "media/MemoryTexture.h"
#include "tools/PageCommands.h"
#include "tools/PictureFile.h"

#include <QDir>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <map>

namespace {

constexpr int DefaultFrames = 500;
constexpr int MaxTextPasses = 1000;

}  // namespace

int TimelineCommand(const QStringList& arguments, int mode) {
    QStringList args = arguments;
    int onlyObject = 0, frames = DefaultFrames, period = VideoModes::FramePeriod(mode);
    std::vector<TimedCommand> commands;
    const auto intOption = [&](const QString& name, int& value, int min) {
        const qsizetype k = args.indexOf(name);
        if (k < 0) return true;
        bool ok = false;
        value = k + 1 < args.size() ? args[k + 1].toInt(&ok) : 0;
        if (!ok || value < min) return false;
        args.remove(k, 2);
        return true;
    };
    QString outDir;
    if (const qsizetype k = args.indexOf(QStringLiteral("--out")); k >= 0) {
        if (k + 1 >= args.size()) {
            std::fprintf(stderr, "cvtool timeline: --out takes a folder\n");
            return 2;
        }
        outDir = args[k + 1];
        args.remove(k, 2);
        if (!QDir().mkpath(outDir)) {
            std::fprintf(stderr, "cvtool timeline: cannot make %s\n", qPrintable(outDir));
            return 1;
        }
    }
    if (!intOption(QStringLiteral("--object"), onlyObject, 1) || !intOption(QStringLiteral("--frames"), frames, 1) ||
        !intOption(QStringLiteral("--period-us"), period, 1)) {
        std::fprintf(stderr, "cvtool timeline: --object, --frames and --period-us take positive integers\n");
        return 2;
    }
    if (!TakeCommands(args, commands, "timeline")) return 2;
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: cvtool timeline PAGE [--object N] [--frames N] [--period-us P] "
                             "[--at-ms T:COMMAND:TARGET ...] [--out DIR]\n");
        return 2;
    }

    CPlayoutPage playout;
    if (!playout.Read(args[0], mode)) return 1;
    CFrameSet& page = playout.page;
    const std::vector<CFrame*>& objects = playout.objects;
    std::map<const CFrame*, int>& numbers = playout.numbers;

    CMemoryTextureDevice device;
    CRichEditTextRenderer renderer;
    page.OutputOn.store(1);
    size_t nextCommand = 0;
    std::vector<int> wasPlaying(objects.size(), 0);
    for (int index = 0; index < frames; ++index) {
        const long long timeUs = (long long)index * period;
        while (nextCommand < commands.size() && commands[nextCommand].atMs * 1000 <= timeUs)
            Apply(playout, commands[nextCommand++]);
        for (CFrame* object : objects) {
            const int number = numbers[object];
            const bool shown = onlyObject == 0 || onlyObject == number;
            if (!object->Playing.load()) {
                // Stopped by a command since the last frame.
                if (wasPlaying[size_t(number - 1)] && shown)
                    PrintLine({{"frame", index}, {"object", number}, {"stopped", true}, {"clock", object->Clock.load()}});
                wasPlaying[size_t(number - 1)] = 0;
                continue;
            }
            wasPlaying[size_t(number - 1)] = 1;
            // The text thread's passes, run until it has nothing more to do, so the
            // trace does not depend on how threads happen to meet.
            const int chunksBefore = object->ChunksRendered.load();
            for (int pass = 0; pass < MaxTextPasses && InvokeRender(*object, renderer); ++pass) {
            }
            const int chunks = object->ChunksRendered.load();
            // A chunk now waiting for the render thread (an object without text
            // renders none).
            if (shown && chunks != chunksBefore && object->ChunkPending.load())
                PrintLine({{"frame", index},
                           {"object", number},
                           {"chunk", chunks},
                           {"textPresent", object->TextPresent.load() != 0},
                           {"noMoreText", object->NoMoreText.load() != 0},
                           {"width", object->Chunk[2]},
                           {"height", object->Chunk[3]},
                           {"textError", object->TextError.load() != 0}});
            // The render thread's countdown to the next test of the source.
            if (object->RecheckCountdown.load() > 0 && object->RecheckCountdown.fetch_sub(1) == 1)
                object->RecheckDue = 1;
            if (!object->BeginPresent()) continue;
            const int run = object->Run.load();
            FramePresentation record;
            TimelinePhase phase = TimelinePhase::Waiting;
            const int clock = object->Clock;
            const int alive = PresentFrame(*object, record, device, period, &phase);
            object->EndPresent();
            if (shown) {
                const QJsonObject line =
                    PresentationLine(index, double(timeUs) / 1000.0, number, clock, phase, alive, record, *object);
                PrintLine(line);
                if (!outDir.isEmpty() && object->TextTexture) {
                    const auto* texture = dynamic_cast<const CMemoryTexture*>(object->TextTexture.get());
                    const QString path = QStringLiteral("%1/object%2-frame%3.png")
                                             .arg(outDir)
                                             .arg(number, 3, 10, QLatin1Char('0'))
                                             .arg(index, 6, 10, QLatin1Char('0'));
                    if (texture) SavePng(texture->Pixels().data(), texture->width, texture->height, texture->Pitch(), path);
                }
            }
            if (!alive) {
                object->StopRun(run);
                wasPlaying[size_t(number - 1)] = 0;
                if (shown) PrintLine({{"frame", index}, {"object", number}, {"stopped", true}, {"clock", object->Clock.load()}});
            }
        }
    }
    return 0;
}
