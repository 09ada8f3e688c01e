// Shared by the remote-input tests: a receiver on the test's thread that collects
// what the inputs post, a log sink that keeps the lines, and a wait that runs the
// event loop until a condition holds (generous bounds: no test measures time).
#pragma once

#include <QCoreApplication>
#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

namespace RemoteTest {

inline bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 20000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// Lines written from any thread.
class LogLines {
public:
    std::function<void(int, const QString&)> Sink() {
        return [this](int level, const QString& line) {
            std::lock_guard<std::mutex> guard(lock_);
            lines_ << QStringLiteral("%1 %2").arg(level).arg(line);
        };
    }
    QStringList Lines() {
        std::lock_guard<std::mutex> guard(lock_);
        return lines_;
    }
    bool Contains(const QString& line) { return Lines().contains(line); }

private:
    std::mutex lock_;
    QStringList lines_;
};

}  // namespace RemoteTest
