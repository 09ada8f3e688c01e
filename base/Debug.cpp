#include "base/Debug.h"

#include "base/Settings.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString ExecutableBaseName() {
    QString path = QCoreApplication::instance() ? QCoreApplication::applicationFilePath() : QString();
    if (path.isEmpty()) path = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    return QFileInfo(path).completeBaseName();
}

QByteArray Utf16Le(const QString& text) {
    QByteArray bytes(text.size() * 2, Qt::Uninitialized);
    for (qsizetype k = 0; k < text.size(); ++k) {
        const char16_t unit = text[k].unicode();
        bytes[2 * k] = char(unit & 0xFF);
        bytes[2 * k + 1] = char(unit >> 8);
    }
    return bytes;
}

bool WriteAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n <= 0) return false;
        done += n;
    }
    return true;
}

}  // namespace

CDebug& CDebug::Global() {
    static CDebug instance(Sources{
        [] { return CSettingsStore::Global().Get(Settings::DebugLog); },
        [] {
            const QString name = ExecutableBaseName();
            const QString folder = DocumentsFolder();
            return name.isEmpty() || folder.isEmpty() ? QString() : folder + u'/' + name + QStringLiteral(".log");
        },
        [] { return QDateTime::currentDateTime(); },
    });
    return instance;
}

CDebug::CDebug(Sources sources) : sources_(std::move(sources)) {}

void CDebug::Write(int level, const char* format, std::initializer_list<FormatArg> args) {
    // Once the level is known, a line above it costs no lock: the render thread
    // never waits behind another thread's file access for a line nobody writes.
    const int known = knownLevel_.load(std::memory_order_acquire);
    if (known >= 0 && level > known) return;
    std::lock_guard guard(lock_);
    if (!initialised_) {
        level_ = sources_.level ? sources_.level() : 0;
        if (level_ > 0 && sources_.path) path_ = sources_.path();
        initialised_ = true;
        knownLevel_.store(level_, std::memory_order_release);
    }
    if (level > level_) return;

    const QDateTime now = sources_.now ? sources_.now() : QDateTime::currentDateTime();
    const QDate d = now.date();
    const QTime t = now.time();
    QString message = FormatString(QString::fromUtf8(format), args);
    message.truncate(MaxMessage);
    const QString line = QString::asprintf("%02d.%02d.%04d %02d:%02d:%02d.%03d - ", d.day(), d.month(), d.year(),
                                           t.hour(), t.minute(), t.second(), t.msec()) +
                         message + QStringLiteral("\r\n");
    const QByteArray bytes = Utf16Le(line);
    if (!WriteLines(bytes)) {
        if (pending_.size() < MaxPending) pending_.append(bytes);
    }
}

bool CDebug::WriteLines(const QByteArray& line) {
    if (path_.isEmpty()) return false;
    const int fd = ::open(QFile::encodeName(path_).constData(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
    if (fd < 0) return false;
    // Other writers are kept out while the line is written; a writer that holds the
    // file makes this line wait in the pending list instead of blocking the caller.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    struct stat info {};
    // Only a regular file takes lines: a pipe or device named as the log would
    // block or swallow them.
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    if (ok && info.st_size > 0) {
        ok = ::lseek(fd, 0, SEEK_END) >= 0;
    } else if (ok) {
        ok = WriteAll(fd, QByteArray("\xFF\xFE", 2));
    }
    if (ok) {
        for (const QByteArray& pending : pending_) ok = ok && WriteAll(fd, pending);
        ok = ok && WriteAll(fd, line);
        if (ok) {
            pending_.clear();
        } else {
            // A full disk: no half line stays behind, and the lines wait for room.
            // (Should the truncation fail too, nothing more can be done without a log.)
            [[maybe_unused]] const int truncated = ::ftruncate(fd, info.st_size);
        }
    }
    ::close(fd);
    return ok;
}

int CDebug::PendingCount() {
    std::lock_guard guard(lock_);
    return pending_.size();
}

QString CDebug::FilePath() {
    std::lock_guard guard(lock_);
    return path_;
}
