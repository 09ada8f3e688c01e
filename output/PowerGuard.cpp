#include "output/PowerGuard.h"

#include "base/Debug.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <X11/Xlib.h>
#include <X11/extensions/dpms.h>
#include <X11/extensions/scrnsaver.h>
#include <unistd.h>

CPowerGuard::CPowerGuard(const QString& displayName) {
    const QByteArray name = displayName.toLocal8Bit();
    display_ = XOpenDisplay(displayName.isEmpty() ? nullptr : name.constData());
    if (display_) {
        int event = 0, error = 0;
        if (XScreenSaverQueryExtension(display_, &event, &error)) {
            XScreenSaverSuspend(display_, True);
            screenSaverSuspended = true;
        }
        CARD16 level = 0;
        BOOL enabled = False;
        if (DPMSQueryExtension(display_, &event, &error) && DPMSCapable(display_) && DPMSInfo(display_, &level, &enabled) &&
            enabled) {
            DPMSDisable(display_);
            dpmsWasEnabled = true;
        }
        XSync(display_, False);
    }
    CDebug::Log(2, "CPowerGuard::CPowerGuard(): XScreenSaverSuspend() = %d", int(screenSaverSuspended));
    // No sleep while on air, where the system offers the lock.
    QDBusConnection bus = QDBusConnection::systemBus();
    if (bus.isConnected()) {
        QDBusInterface manager(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                               QStringLiteral("org.freedesktop.login1.Manager"), bus);
        if (manager.isValid()) {
            const QDBusReply<QDBusUnixFileDescriptor> reply =
                manager.call(QStringLiteral("Inhibit"), QStringLiteral("sleep:idle"), QStringLiteral("Corvane"),
                             QStringLiteral("The output is on air"), QStringLiteral("block"));
            if (reply.isValid() && reply.value().isValid()) {
                inhibitor_ = dup(reply.value().fileDescriptor());
                sleepInhibited = inhibitor_ >= 0;
            }
        }
    }
}

CPowerGuard::~CPowerGuard() {
    if (inhibitor_ >= 0) close(inhibitor_);  // the lock ends with its descriptor
    if (!display_) return;
    if (screenSaverSuspended) XScreenSaverSuspend(display_, False);
    if (dpmsWasEnabled) DPMSEnable(display_);
    XSync(display_, False);
    XCloseDisplay(display_);
}
