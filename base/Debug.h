// The diagnostic log: one UTF-16LE file per user, one time-stamped line per call,
// written only when the call's level is within the configured level.
//
// Threads: Log may be called from any thread; one lock serialises every call that
// writes a line, so lines never interleave (a line above the level, once the level
// is known, takes no lock). It never blocks on anything but that lock and never
// reports a failure to its caller.
#pragma once

#include "base/Translate.h"

#include <QDateTime>
#include <QStringList>
#include <functional>
#include <initializer_list>
#include <atomic>
#include <mutex>

class CDebug {
public:
    // Where the configured level and the file path come from, decided at the first
    // call; and the clock that stamps lines.
    struct Sources {
        std::function<int()> level;
        std::function<QString()> path;
        std::function<QDateTime()> now;
    };

    // The process-wide log: level from the setting Debug/Log, file in the documents
    // folder named after the executable with ".log".
    static CDebug& Global();

    explicit CDebug(Sources sources);

    template <class... Args>
    static void Log(int level, const char* format, const Args&... args) {
        Global().Write(level, format, {FormatArg(args)...});
    }

    void Write(int level, const char* format, std::initializer_list<FormatArg> args);

    // For tests and diagnostics.
    int PendingCount();
    QString FilePath();

    static constexpr int MaxPending = 100;
    static constexpr int MaxMessage = 511;

private:
    bool WriteLines(const QByteArray& line);

    Sources sources_;
    std::atomic<int> knownLevel_{-1};  // the level once decided (-1 before); written once under lock_
    std::mutex lock_;          // guards everything below; taken by every caller with a line to write
    bool initialised_ = false;
    int level_ = 0;
    QString path_;
    QList<QByteArray> pending_;  // UTF-16LE lines with CR LF, not yet written
};
