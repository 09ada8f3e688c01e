// Reading and replacing files so that hostile paths and failing disks cannot hurt:
// readers take regular files only, never block on a FIFO or a device and never read
// more than their caller's cap; a replaced file is either the complete new one or
// the old one byte for byte.
//
// Threads: any thread; nothing here is shared between calls.
#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

class QFile;

enum class FileRefusal {
    None = 0,
    OpenFailed,      // missing, unreadable, or not allowed
    NotRegularFile,  // a directory, FIFO, socket or device
    TooLarge,        // more bytes than the caller's cap
    ReadFailed,      // an I/O error while reading
    WriteFailed,     // a write, flush, sync or rename failed (full disk, read-only)
};

// Plain words for the log and the tool's standard error.
const char* FileRefusalText(FileRefusal refusal);
// The same for a read capped at maxBytes, naming the cap when the file exceeded it.
QString FileRefusalText(FileRefusal refusal, qint64 maxBytes);

namespace SafeFile {

// Opens path for reading when it is a regular file. A FIFO without a writer or a
// device is refused without blocking. file must not be open.
FileRefusal OpenRegular(QFile& file, const QString& path);

// The whole file, when it is regular and holds at most maxBytes.
FileRefusal ReadAll(const QString& path, qint64 maxBytes, QByteArray& out);

// Replaces path with bytes (see CAtomicFile).
FileRefusal WriteAll(const QString& path, const QByteArray& bytes);

}  // namespace SafeFile

// Writes a new version of a file into a temporary file beside it and renames it over
// the old one only when every write, the flush and the sync succeeded. Anything
// else removes the temporary file and leaves the old one untouched. A target that
// exists and is not a regular file (a device, a FIFO, a directory) is refused, so
// a save never replaces /dev/something with a file. A symbolic link is followed:
// the file it names is replaced and the link stays.
class CAtomicFile {
public:
    explicit CAtomicFile(const QString& path);
    ~CAtomicFile();  // discards an uncommitted file
    CAtomicFile(const CAtomicFile&) = delete;
    CAtomicFile& operator=(const CAtomicFile&) = delete;

    FileRefusal Open();
    // The temporary file, unbuffered: every write reports its own failure. A caller
    // that writes to it directly checks each count (or uses Write).
    QFile* Device() const { return file_.get(); }
    // Writes all n bytes; a short or failed write fails the commit.
    bool Write(const char* data, qint64 n);
    // Puts the new file in place; false (and the old file kept) on any failure,
    // including an earlier failed write through Device().
    FileRefusal Commit();
    void Discard();

    const QString& Target() const { return target_; }

private:
    QString target_;     // the file to replace (a link resolved)
    QString temporary_;  // beside it, removed unless committed
    std::unique_ptr<QFile> file_;
    bool failed_ = false;
};
