// Starts an instance the way the editor does and reports on standard output what it
// became: "main" or "editor <file>". It then holds its instance until standard
// input closes. "--die" as the last argument ends the process abruptly after start,
// leaving its lock behind as a crash would.
#include "app/MainApp.h"

#include <QCoreApplication>
#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    QStringList arguments = application.arguments().mid(1);
    const bool die = !arguments.isEmpty() && arguments.last() == QLatin1String("--die");
    if (die) arguments.removeLast();

    CMainApp app;
    if (app.InitInstance(arguments) == CMainApp::AlreadyRunning) return 0;
    std::printf("%s %s\n", app.Kind() == InstanceKind::Main ? "main" : "editor", qUtf8Printable(app.FileToOpen));
    std::fflush(stdout);
    if (die) _exit(3);
    char buffer[64];
    while (::read(0, buffer, sizeof buffer) > 0) {
    }
    return 0;
}
