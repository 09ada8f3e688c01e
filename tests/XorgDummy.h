// An Xorg server with the dummy driver on a display number of its own, for tests
// that need two outputs and real mode switching; stopped by its process id.
#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <unistd.h>

class CXorgDummy {
public:
    // Starts the server; Display() is empty and Reason() says why when it cannot.
    explicit CXorgDummy(const QString& config) {
        if (geteuid() != 0) {
            reason_ = "Xorg with the dummy driver needs root";
            return;
        }
        if (!QFile::exists("/usr/lib/xorg/modules/drivers/dummy_drv.so") || !QFile::exists("/usr/bin/Xorg")) {
            reason_ = "Xorg or its dummy driver is not installed";
            return;
        }
        if (!QFile::exists(config)) {
            reason_ = "no server configuration at " + config + " (is CORVANE_TEST_DATA set?)";
            return;
        }
        int number = 90;
        while (number < 120 && (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)) ||
                                QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(number))))
            ++number;
        display_ = QStringLiteral(":%1").arg(number);
        server_.setProgram("/usr/bin/Xorg");
        server_.setArguments({display_, "-config", config, "-noreset", "-nolisten", "tcp", "-logfile",
                              dir_.filePath("xorg.log")});
        server_.setProcessChannelMode(QProcess::MergedChannels);
        server_.start();
        // Up to a minute: a busy machine may take long to bring a server up.
        for (int k = 0; k < 600 && server_.state() != QProcess::NotRunning && !Xrandr({}); ++k) QThread::msleep(100);
        // Answered by this server, not by one that another test started on the
        // same number.
        if (server_.state() == QProcess::NotRunning || !Xrandr({})) {
            reason_ = "Xorg did not start: " + QString::fromLocal8Bit(server_.readAll()).right(300);
            Stop();
        }
    }
    ~CXorgDummy() { Stop(); }

    const QString& Display() const { return display_; }
    const QString& Reason() const { return reason_; }

    // Runs xrandr on the server; true when it succeeds.
    bool Xrandr(const QStringList& args) {
        if (display_.isEmpty()) return false;
        QProcess p;
        p.start("xrandr", QStringList{"-display", display_} + args);
        return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }

private:
    void Stop() {
        if (server_.state() != QProcess::NotRunning) {
            server_.terminate();
            if (!server_.waitForFinished(5000)) server_.kill();
            server_.waitForFinished(2000);
        }
        display_.clear();
    }

    QTemporaryDir dir_;
    QProcess server_;
    QString display_;
    QString reason_;
};
