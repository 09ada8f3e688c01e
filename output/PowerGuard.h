// Keeps the screen saver, display power saving and system sleep away while the
// output is on, and gives each back as it was afterwards.
//
// Threads: made and destroyed on the user-interface thread.
#pragma once

#include <QString>
#include <memory>

class CPowerGuard {
public:
    // displayName: the X server (empty: $DISPLAY).
    explicit CPowerGuard(const QString& displayName = QString());
    ~CPowerGuard();
    CPowerGuard(const CPowerGuard&) = delete;
    CPowerGuard& operator=(const CPowerGuard&) = delete;

    bool screenSaverSuspended = false;  // XScreenSaverSuspend was granted
    bool dpmsWasEnabled = false;        // DPMS was on before, and is off now
    bool sleepInhibited = false;        // logind holds a sleep lock for us

private:
    struct _XDisplay* display_ = nullptr;
    int inhibitor_ = -1;  // the lock's file descriptor from logind
};
