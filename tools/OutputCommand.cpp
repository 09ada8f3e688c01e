#include "tools/OutputCommand.h"

#include "base/Settings.h"
#include "base/Translate.h"
#include "output/OutputSession.h"
#include "core/VideoModes.h"
#include "tools/PageCommands.h"
#include "tools/RenderCommand.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QGuiApplication>
#include <QScreen>
#include <QThread>
#include <cstdio>

namespace {

// The message the operator would see; the status line too unless one was printed.
int Fail(RenderStatus status, bool printStatus = true) {
    std::fprintf(stderr, "cvtool output: %s\n",
                 qPrintable(CTranslate::Global().LoadText(unsigned(10320 + int(status)))));
    if (printStatus) PrintLine({{"status", int(status)}});
    return 1;
}

}  // namespace

int OutputCommand(const QStringList& arguments, int mode) {
    QStringList args = arguments;
    double seconds = 10;
    bool preview = false;
    if (const qsizetype k = args.indexOf(QStringLiteral("--seconds")); k >= 0) {
        bool ok = false;
        seconds = k + 1 < args.size() ? args[k + 1].toDouble(&ok) : 0;
        if (!ok || seconds <= 0) {
            std::fprintf(stderr, "cvtool output: --seconds takes a positive number\n");
            return 2;
        }
        args.remove(k, 2);
    }
    if (const qsizetype k = args.indexOf(QStringLiteral("--preview")); k >= 0) {
        preview = true;
        args.remove(k);
    }
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: cvtool output PAGE [--seconds S] [--preview] [--mode N]\n");
        return 2;
    }
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
        std::fprintf(stderr, "cvtool output: needs a display (DISPLAY is not set)\n");
        return 1;
    }
    CPlayoutPage playout;
    if (!playout.Read(args[0], mode)) return 1;
    const VideoMode& video = VideoModes::Get(mode);
    RenderOptions options = RenderOptions::FromSettings(mode);
    options.preview = preview;
    options.beforeFrame = [&](int frame) {
        if (frame == 0) playout.Document().Command(PlayCommand::Play, CommandTarget::Every());
        return true;
    };
    // A preview pane at half the render size, or the output display in the video mode.
    std::unique_ptr<QWindow> pane;
    if (preview) {
        pane = std::make_unique<QWindow>();
        pane->setSurfaceType(QSurface::OpenGLSurface);
        pane->resize(video.renderWidth / 2, video.renderHeight / 2);
        pane->show();
    }
    COutputSession session(playout.page, mode, options, pane.get());
    if (!session.Engine()) return Fail(session.Status());
    CRender& engine = *session.Engine();
    CWindowTarget& target = *session.Target();
    const CPowerGuard& power = *session.Power();
    RenderStatus status = RenderStatus::Ok;
    QJsonObject result;
    {
        if (engine.status.load() != RenderStatus::Ok) return Fail(engine.status.load());
        QElapsedTimer ran;
        ran.start();
        // The user-interface thread's life: events (screens coming and going) until
        // the time is up or the engine fails.
        while (ran.elapsed() < qint64(seconds * 1000) && engine.status.load() == RenderStatus::Ok)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        status = engine.status.load();
        const double elapsed = ran.elapsed() / 1000.0;
        // The render thread stops; the target (the engine's) still holds its counts,
        // and the engine's statistics cover every frame once its status changed.
        engine.stop.exchange(1);
        while (engine.status.load() == RenderStatus::Ok) QThread::msleep(1);
        const int frames = engine.framesRendered.load();
        result = {{"status", int(status)},
                  {"frames", frames},
                  {"seconds", elapsed},
                  {"hz", target.pacer.Rate()},
                  {"lateFrames", target.pacer.lateFrames.load()},
                  {"longestIntervalMs", target.pacer.longestMicros.load() / 1000.0},
                  {"paced", target.pacer.paced.load()},
                  {"screenSaverSuspended", power.screenSaverSuspended},
                  {"dpmsSuspended", power.dpmsWasEnabled},
                  {"sleepInhibited", power.sleepInhibited},
                  {"phases", PhaseTimesJson(engine.Statistics())}};
    }
    PrintLine(result);
    if (status != RenderStatus::Ok) return Fail(status, false);
    return 0;
}
