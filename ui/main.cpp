// The editor: "corvane" starts the main instance (at most one per user; a second
// one ends at once, quietly), "corvane /edit" or "corvane PAGE" an editor instance.
// Options of the editor itself come before the rest: "--open PAGE" opens a page in
// whichever instance starts, "--grab FILE" writes a picture of the window once it
// is up and ends (documentation, checks under a virtual display), and "--state
// STEPS" first brings the window into a state to picture: a comma-separated list
// of "select=N" (the object numbered N), "edit" (its text in place), "output" (the
// output on), "preview" (the preview on) and "play" (every object played).
#include "app/MainApp.h"
#include "base/CommandLine.h"
#include "output/RenderWindow.h"
#include "ui/Commands.h"
#include "ui/InPlaceEditor.h"
#include "ui/MainFrame.h"
#include "ui/MainView.h"
#include "ui/MessageBoxPresenter.h"
#include "ui/PreviewView.h"

#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <cstdio>

namespace {


// Brings the window into the state the steps name; false (with a message) for a
// step it does not know or cannot take.
bool TakeSteps(CMainFrame& frame, const QString& steps) {
    for (const QString& step : steps.split(u',', Qt::SkipEmptyParts)) {
        bool ok = true;
        if (step.startsWith(QStringLiteral("select="))) {
            const int number = step.mid(7).toInt(&ok);
            CFrame* object = nullptr;
            CFrameSet& page = frame.Document().Page;
            CPageSnapshot snapshot(page);
            for (CFrame* candidate : snapshot.list)
                if (ok && page.NumberOf(candidate) == number) object = candidate;
            ok = object != nullptr;
            if (ok) frame.Document().Select(object);
        } else if (step == QStringLiteral("edit")) {
            ok = frame.View().Canvas().StartEdit();
            if (ok && frame.View().Editor()) frame.View().Editor()->selectAll();
        } else if (step == QStringLiteral("output")) {
            frame.OnCommand(Commands::HdmiOutput);
            ok = frame.Document().Page.OutputOn.load() != 0;
        } else if (step == QStringLiteral("preview")) {
            frame.OnCommand(Commands::Preview);
            ok = frame.Document().Page.OutputOn.load() != 0;
        } else if (step == QStringLiteral("play")) {
            frame.OnCommand(Commands::PlayAll);
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "corvane: --state: cannot take the step \"%s\"\n", qUtf8Printable(step));
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // Without a display Qt would end the process with its own fatal message.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fprintf(stderr, "corvane: needs a display (DISPLAY is not set); on a virtual one: "
                             "xvfb-run -a -s '-screen 0 1920x1080x24' corvane\n");
        return 1;
    }
    // The output's OpenGL driver stays loaded for the process's life.
    CWindowTarget::KeepDriverLoaded();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Corvane"));
    QApplication::setOrganizationName(QStringLiteral("Norvik"));
    QStringList arguments = application.arguments().mid(1);
    const QString open = CommandLine::TakeOption(arguments, QStringLiteral("--open"));
    const QString grab = CommandLine::TakeOption(arguments, QStringLiteral("--grab"));
    const QString steps = CommandLine::TakeOption(arguments, QStringLiteral("--state"));

    CMainApp app;
    if (app.InitInstance(arguments) == CMainApp::AlreadyRunning) return 0;

    CMainFrame frame(app.Kind(), CSettingsStore::Global());
    CMessageBoxPresenter presenter(&frame);
    IMessagePresenter* previous = CTranslate::Global().SetPresenter(&presenter);
    const QString page = !app.FileToOpen.isEmpty() ? app.FileToOpen : open;
    if (!page.isEmpty()) frame.Document().Open(page);
    frame.ShowAsStored();
    if (!steps.isEmpty()) {
        // After the first tick, which may itself switch the output on.
        QTimer::singleShot(400, &frame, [&frame, steps] {
            if (!TakeSteps(frame, steps)) QApplication::exit(2);
        });
    }

    if (!grab.isEmpty()) {
        // A few ticks first, so the window shows what its first seconds bring.
        QTimer::singleShot(1500, &frame, [&frame, grab] {
            // While the preview runs, from the screen, so that what the engine draws
            // into the pane's own window is in the picture; otherwise the widgets'
            // own drawing (an output window may lie over the editor on the screen).
            QPixmap picture;
            QScreen* screen = frame.screen();
            if (screen && frame.PreviewPane().WindowShown() &&
                QGuiApplication::platformName() == QLatin1String("xcb"))
                picture = screen->grabWindow(frame.winId());
            if (picture.isNull()) picture = frame.grab();
            const bool saved = picture.save(grab);
            std::fprintf(saved ? stdout : stderr, "%s %s\n", saved ? "Wrote" : "corvane: could not write",
                         qUtf8Printable(grab));
            frame.Document().Modified = false;  // no question: this run only looked
            QApplication::exit(saved ? 0 : 1);
        });
    }
    const int result = application.exec();
    CTranslate::Global().SetPresenter(previous);
    return result;
}
