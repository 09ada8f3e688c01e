// The editor: "corvane" starts the main instance (at most one per user; a second
// one ends at once, quietly), "corvane /edit" or "corvane PAGE" an editor instance.
// Two options of the editor itself come before the rest: "--open PAGE" opens a page
// in whichever instance starts, "--grab FILE" writes a picture of the window once
// it is up and ends (documentation, checks under a virtual display).
#include "app/MainApp.h"
#include "output/RenderWindow.h"
#include "ui/MainFrame.h"
#include "ui/MessageBoxPresenter.h"

#include <QApplication>
#include <QPixmap>
#include <QTimer>
#include <cstdio>

namespace {

// Takes "--name VALUE" out of arguments; empty when absent.
QString TakeOption(QStringList& arguments, const QString& name) {
    const qsizetype k = arguments.indexOf(name);
    if (k < 0 || k + 1 >= arguments.size()) return QString();
    const QString value = arguments[k + 1];
    arguments.remove(k, 2);
    return value;
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
    const QString open = TakeOption(arguments, QStringLiteral("--open"));
    const QString grab = TakeOption(arguments, QStringLiteral("--grab"));

    CMainApp app;
    if (app.InitInstance(arguments) == CMainApp::AlreadyRunning) return 0;

    CMainFrame frame(app.Kind(), CSettingsStore::Global());
    CMessageBoxPresenter presenter(&frame);
    IMessagePresenter* previous = CTranslate::Global().SetPresenter(&presenter);
    const QString page = !app.FileToOpen.isEmpty() ? app.FileToOpen : open;
    if (!page.isEmpty()) frame.Document().Open(page);
    frame.ShowAsStored();

    if (!grab.isEmpty()) {
        // A few ticks first, so the window shows what its first seconds bring.
        QTimer::singleShot(1500, &frame, [&frame, grab] {
            const bool saved = frame.grab().save(grab);
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
