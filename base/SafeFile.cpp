#include "base/SafeFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

const char* FileRefusalText(FileRefusal refusal) {
    switch (refusal) {
    case FileRefusal::None: return "no error";
    case FileRefusal::OpenFailed: return "the file cannot be opened";
    case FileRefusal::NotRegularFile: return "not a regular file (a directory, pipe or device)";
    case FileRefusal::TooLarge: return "the file is too large";
    case FileRefusal::ReadFailed: return "the file cannot be read";
    case FileRefusal::WriteFailed: return "the file cannot be written (disk full or read-only?)";
    }
    return "unknown error";
}

QString FileRefusalText(FileRefusal refusal, qint64 maxBytes) {
    QString text = QString::fromUtf8(FileRefusalText(refusal));
    if (refusal == FileRefusal::TooLarge) text += QStringLiteral(" (more than %1 bytes)").arg(maxBytes);
    return text;
}

namespace SafeFile {

FileRefusal OpenRegular(QFile& file, const QString& path) {
    if (path.isEmpty()) return FileRefusal::OpenFailed;
    const QByteArray native = QFile::encodeName(path);
    struct stat info {};
    // Looked at before opening: opening a FIFO for reading waits for a writer.
    if (::stat(native.constData(), &info) != 0) return FileRefusal::OpenFailed;
    if (!S_ISREG(info.st_mode)) return FileRefusal::NotRegularFile;
    // Non-blocking in case the path was swapped for a FIFO since the look.
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return FileRefusal::OpenFailed;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return FileRefusal::NotRegularFile;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return FileRefusal::OpenFailed;
    }
    return FileRefusal::None;
}

FileRefusal ReadAll(const QString& path, qint64 maxBytes, QByteArray& out) {
    out.clear();
    QFile file;
    if (const FileRefusal refusal = OpenRegular(file, path); refusal != FileRefusal::None) return refusal;
    if (file.size() > maxBytes) return FileRefusal::TooLarge;
    // A file that grows while it is read is still held to the cap.
    QByteArray bytes(qsizetype(file.size()), Qt::Uninitialized);
    qint64 have = 0;
    for (;;) {
        if (have == bytes.size()) {
            if (bytes.size() >= maxBytes) {
                char probe;
                const qint64 more = file.read(&probe, 1);
                if (more < 0) return FileRefusal::ReadFailed;
                if (more > 0) return FileRefusal::TooLarge;
                break;
            }
            bytes.resize(qsizetype(std::min<qint64>(maxBytes, std::max<qint64>(4096, bytes.size() * 2))));
        }
        const qint64 n = file.read(bytes.data() + have, bytes.size() - have);
        if (n < 0) return FileRefusal::ReadFailed;
        if (n == 0) break;
        have += n;
    }
    bytes.truncate(qsizetype(have));
    out = std::move(bytes);
    return FileRefusal::None;
}

FileRefusal WriteAll(const QString& path, const QByteArray& bytes) {
    CAtomicFile file(path);
    if (const FileRefusal refusal = file.Open(); refusal != FileRefusal::None) return refusal;
    file.Write(bytes.constData(), bytes.size());
    return file.Commit();
}

}  // namespace SafeFile

namespace {

// The file a path finally names: a save through a link replaces the linked file.
QString ResolvedTarget(const QString& path) {
    const QFileInfo info(path);
    if (!info.isSymLink()) return info.absoluteFilePath();
    const QString target = info.canonicalFilePath();
    return target.isEmpty() ? QFileInfo(info.symLinkTarget()).absoluteFilePath() : target;
}

}  // namespace

CAtomicFile::CAtomicFile(const QString& path) : target_(ResolvedTarget(path)) {}

CAtomicFile::~CAtomicFile() { Discard(); }

FileRefusal CAtomicFile::Open() {
    Discard();
    failed_ = false;
    if (target_.isEmpty() || QFileInfo(target_).fileName().isEmpty()) return FileRefusal::OpenFailed;
    const QByteArray target = QFile::encodeName(target_);
    struct stat info {};
    const bool exists = ::stat(target.constData(), &info) == 0;
    if (exists && !S_ISREG(info.st_mode)) return FileRefusal::NotRegularFile;
    // Created with 0666 so the process's umask applies, as to any file the user
    // makes (reading the umask would mean setting it, which races other threads).
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        const QByteArray name = target + '.' + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) temporary_ = QFile::decodeName(name);
        else if (errno != EEXIST) break;
    }
    if (fd < 0) return FileRefusal::OpenFailed;
    // A replaced file keeps its permissions.
    if (exists) ::fchmod(fd, info.st_mode & 07777);
    file_ = std::make_unique<QFile>();
    if (!file_->open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        Discard();
        return FileRefusal::OpenFailed;
    }
    return FileRefusal::None;
}

bool CAtomicFile::Write(const char* data, qint64 n) {
    if (!file_ || failed_) return false;
    if (n > 0 && file_->write(data, n) != n) failed_ = true;
    return !failed_;
}

FileRefusal CAtomicFile::Commit() {
    if (!file_) return FileRefusal::WriteFailed;
    bool ok = !failed_ && file_->error() == QFileDevice::NoError && file_->flush();
    // The data must be on the disk before the name moves, or a crash right after
    // the rename leaves an empty file under the old name.
    ok = ok && ::fdatasync(file_->handle()) == 0;
    if (ok) {
        const int fd = ::dup(file_->handle());
        file_->close();
        ok = fd >= 0 && ::close(fd) == 0;
    }
    ok = ok && ::rename(QFile::encodeName(temporary_).constData(), QFile::encodeName(target_).constData()) == 0;
    if (!ok) {
        Discard();
        return FileRefusal::WriteFailed;
    }
    file_.reset();
    temporary_.clear();
    // The rename itself is made durable with the folder; a failure here leaves the
    // complete new file in place, so it is not reported.
    const QString folder = QFileInfo(target_).absolutePath();
    const int dir = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return FileRefusal::None;
}

void CAtomicFile::Discard() {
    file_.reset();
    if (!temporary_.isEmpty()) {
        ::unlink(QFile::encodeName(temporary_).constData());
        temporary_.clear();
    }
}
