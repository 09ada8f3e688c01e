#include "tools/SwitcherCommand.h"

#include "base/Settings.h"
#include "core/VideoModes.h"
#include "remote/RemoteButtons.h"
#include "render/Render.h"
#include "tools/PageCommands.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QTime>
#include <QTimer>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>

namespace {

// Set by SIGINT and SIGTERM; read by the tick, which ends the run with the lamps off.
volatile std::sig_atomic_t interrupted = 0;
void Interrupt(int) { interrupted = 1; }

int Usage() {
    std::fprintf(stderr,
                 "usage: cvtool switcher PAGE --ip ADDR [--port P] [--seconds S] [--mode N]\n"
                 "  ADDR: the switcher's IPv4 address; P: its UDP port (default %d)\n"
                 "  S: how long to run (default: until interrupted)\n",
                 int(RemoteButtons::DefaultPort));
    return 2;
}

QJsonArray LampArray(const std::array<uint8_t, 16>& lamps) {
    QJsonArray array;
    for (const uint8_t lamp : lamps) array.append(int(lamp));
    return array;
}

}  // namespace

int SwitcherCommand(const QStringList& arguments, int mode) {
    QStringList args = arguments;
    QString ip;
    int port = RemoteButtons::DefaultPort;
    double seconds = 0;
    auto take = [&](const char* name, QString& value) {
        const qsizetype k = args.indexOf(QString::fromLatin1(name));
        if (k < 0) return true;
        if (k + 1 >= args.size()) return false;
        value = args[k + 1];
        args.remove(k, 2);
        return true;
    };
    QString portText, secondsText;
    if (!take("--ip", ip) || !take("--port", portText) || !take("--seconds", secondsText) || args.size() != 1 ||
        ip.isEmpty())
        return Usage();
    const uint32_t address = RemoteButtons::FromDotted(ip);
    if (address == 0) {
        std::fprintf(stderr, "cvtool switcher: --ip %s: an IPv4 address a.b.c.d is expected\n", qUtf8Printable(ip));
        return 2;
    }
    bool ok = true;
    if (!portText.isEmpty()) port = portText.toInt(&ok);
    if (!ok || port < 1 || port > 65535) {
        std::fprintf(stderr, "cvtool switcher: --port takes a port number 1..65535\n");
        return 2;
    }
    if (!secondsText.isEmpty()) seconds = secondsText.toDouble(&ok);
    if (!ok || seconds < 0) {
        std::fprintf(stderr, "cvtool switcher: --seconds takes a positive number\n");
        return 2;
    }

    CPlayoutPage playout;
    if (!playout.Read(args[0], mode)) return 1;
    CMainDoc& document = playout.Document();
    // A button with no object of its own starts its automation entry, as in the
    // application; the time of day is the application's to watch, not this tool's.
    document.AutomationLoad(CSettingsStore::Global());

    // Real time, paced to the mode's frame period: the offscreen target would
    // otherwise render as fast as it can.
    const int period = VideoModes::FramePeriod(mode);
    const auto started = std::chrono::steady_clock::now();
    RenderOptions options = RenderOptions::FromSettings(mode);
    options.beforeFrame = [&](int frame) {
        std::this_thread::sleep_until(started + std::chrono::microseconds(int64_t(frame) * period));
        return true;
    };
    CRender engine(playout.page, options,
                   std::make_unique<COffscreenTarget>(VideoModes::RenderWidth(mode), VideoModes::RenderHeight(mode)));
    if (engine.status.load() != RenderStatus::Ok) {
        std::fprintf(stderr, "cvtool switcher: the render engine did not start (status %d)\n", int(engine.status.load()));
        return 1;
    }

    QObject receiver;
    std::array<uint8_t, 16> shown{};
    bool lampsShown = false;
    std::unique_ptr<CRemoteButtonsInterface> client;
    // What the application does at every view update: the lamps follow the objects.
    auto updateLamps = [&] {
        const std::array<uint8_t, 16> lamps = document.ButtonLamps();
        if (lampsShown && lamps == shown) return;
        shown = lamps;
        lampsShown = true;
        PrintLine(QJsonObject{{QStringLiteral("lamps"), LampArray(lamps)}});
        client->SetButtonLamps(lamps);
    };
    RemoteButtons::Timing timing;
    timing.port = uint16_t(port);
    client = std::make_unique<CRemoteButtonsInterface>(
        address, CRemoteButtonsInterface::ButtonTarget(&receiver, [&](bool pressed, int index) {
            PrintLine(QJsonObject{{QStringLiteral("button"), index + 1}, {QStringLiteral("pressed"), pressed}});
            document.SwitcherButtonEvent(pressed, index);
            updateLamps();
        }),
        timing);
    PrintLine(QJsonObject{{QStringLiteral("switcher"), QStringLiteral("%1:%2").arg(RemoteButtons::ToDotted(address)).arg(port)}});
    updateLamps();

    std::signal(SIGINT, Interrupt);
    std::signal(SIGTERM, Interrupt);
    QElapsedTimer ran;
    ran.start();
    const int startSecond = QTime::currentTime().msecsSinceStartOfDay() / 1000;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (interrupted || (seconds > 0 && ran.elapsed() >= qint64(seconds * 1000)) ||
            engine.status.load() != RenderStatus::Ok) {
            QCoreApplication::exit(0);
            return;
        }
        playout.SetVirtualTime(ran.nsecsElapsed() / 1000, startSecond);
        document.ScriptProcessing();
        updateLamps();
    });
    tick.start(200);
    QCoreApplication::exec();
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);

    // The switcher sees every lamp off as the client goes; then the engine stops.
    client.reset();
    const RenderStatus status = engine.status.load();
    PrintLine(QJsonObject{{QStringLiteral("end"), status == RenderStatus::Ok ? QStringLiteral("ok") : QStringLiteral("engine stopped")}});
    return status == RenderStatus::Ok ? 0 : 1;
}
