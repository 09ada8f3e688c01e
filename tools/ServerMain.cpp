// corvane-server: the play-out machine without the editor. The main instance's
// document, its 200 ms tick (scripts, automation, switcher, plug-in polls), the
// output as the "Auto" setting says, and the network control server (always on
// here), logging to the log file; SIGTERM or SIGINT end it cleanly (output off,
// the display's mode restored).
//
// usage: corvane-server [--open PAGE] [--port P] [--bind ADDR] [--osc-port P]
#include "app/EditorShell.h"
#include "app/MainApp.h"
#include "base/CommandLine.h"
#include "base/Debug.h"
#include "output/RenderWindow.h"

#include <QGuiApplication>
#include <QTimer>

#include <csignal>
#include <cstdio>

namespace {

volatile std::sig_atomic_t stopRequested = 0;
void RequestStop(int) { stopRequested = 1; }

// The document's views: there are none; the log is the operator's record.
class ServerHost : public IDocumentHost {
public:
    void UpdateViews(int) override {}
};


}  // namespace

int main(int argc, char** argv) {
    // Without a display the document and the control still run; the output cannot.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    CWindowTarget::KeepDriverLoaded();
    QGuiApplication application(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("Corvane"));
    QGuiApplication::setOrganizationName(QStringLiteral("Norvik"));
    QStringList arguments = application.arguments().mid(1);
    const QString open = CommandLine::TakeOption(arguments, QStringLiteral("--open"));
    const QString port = CommandLine::TakeOption(arguments, QStringLiteral("--port"));
    const QString bind = CommandLine::TakeOption(arguments, QStringLiteral("--bind"));
    const QString oscPort = CommandLine::TakeOption(arguments, QStringLiteral("--osc-port"));
    if (!arguments.isEmpty()) {
        std::fprintf(stderr, "usage: corvane-server [--open PAGE] [--port P] [--bind ADDR] [--osc-port P]\n");
        return 2;
    }

    CMainApp app;
    if (app.InitInstance({}) == CMainApp::AlreadyRunning) {
        std::fprintf(stderr, "corvane-server: a main instance already runs for this user\n");
        return 1;
    }
    // Messages have nobody to read them: they go to the log and standard error.
    CStandardErrorPresenter presenter;
    IMessagePresenter* previous = CTranslate::Global().SetPresenter(&presenter);

    CSettingsStore& settings = CSettingsStore::Global();
    ServerHost host;
    CMainDoc document(host, settings.Get(Settings::Mode));
    document.AutomationLoad(settings);
    if (!open.isEmpty() && !document.Open(open)) std::fprintf(stderr, "corvane-server: %s could not be opened\n", qPrintable(open));

    ControlOptions options = CControlService::OptionsFrom(settings);
    bool ok = true;
    if (!port.isEmpty()) options.port = port.toUShort(&ok);
    if (ok && !bind.isEmpty()) {
        options.bind = QHostAddress(bind);
        ok = !options.bind.isNull();
    }
    if (ok && !oscPort.isEmpty()) {
        options.oscPort = oscPort.toUShort(&ok);
        options.osc = options.oscPort != 0;
    }
    if (!ok) {
        std::fprintf(stderr, "corvane-server: a port is a number up to 65535 and an address an IP address\n");
        return 2;
    }

    QObject receiver;
    CEditorShell::Hooks hooks;
    hooks.controlOptions = options;
    hooks.alwaysControl = true;
    int status = 0;
    {
        CEditorShell shell(document, InstanceKind::Main, settings, &receiver, std::move(hooks));
        if (!shell.Control()) {
            std::fprintf(stderr, "corvane-server: the control server did not start: %s\n",
                         qPrintable(shell.ControlError()));
            status = 1;
        } else {
            std::printf("corvane-server: control on http://%s:%d/api", qPrintable(options.bind.toString()),
                        int(shell.Control()->Server().Port()));
            if (shell.Control()->Server().OscPort()) std::printf(", OSC on port %d", int(shell.Control()->Server().OscPort()));
            std::printf("\n");
            std::fflush(stdout);
            CDebug::Log(1, "corvane-server: started");
            QTimer tick;
            tick.setInterval(200);
            QObject::connect(&tick, &QTimer::timeout, [&shell] { shell.Tick(); });
            tick.start();
            // Signals only set a flag; the event loop looks at it.
            std::signal(SIGINT, RequestStop);
            std::signal(SIGTERM, RequestStop);
            QTimer watch;
            watch.setInterval(100);
            QObject::connect(&watch, &QTimer::timeout, [] {
                if (stopRequested) QCoreApplication::quit();
            });
            watch.start();
            QGuiApplication::exec();
            tick.stop();
            CDebug::Log(1, "corvane-server: stopping");
        }
        // The shell goes here: the control server first, then the output (display restored).
    }
    document.Page.OutputOn = 0;
    CTranslate::Global().SetPresenter(previous);
    std::printf("corvane-server: stopped\n");
    return status;
}
