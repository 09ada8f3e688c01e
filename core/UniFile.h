// File access for page files with one sticky status code: the first failure is kept
// and every later operation does nothing, so a load or save ends in one message.
//
// Threads: whoever opened it (the user-interface thread for page loads and saves).
#pragma once

#include <QString>
#include <cstdint>
#include <memory>

class CAtomicFile;
class QFile;
class QFileDevice;

enum FileStatus : int {
    StatusOk = 0,
    StatusOpenFailed = 1,
    StatusWriteFailed = 2,
    StatusCorrupt = 3,
    StatusUnknownVersion = 4,
};

class CUniFile {
public:
    CUniFile();
    ~CUniFile();
    CUniFile(const CUniFile&) = delete;
    CUniFile& operator=(const CUniFile&) = delete;

    // Opens for reading. Status must be StatusOpenFailed beforehand (the caller sets
    // it); it becomes StatusOk when the open succeeds. Only a regular file opens: a
    // FIFO or a device is refused without blocking.
    bool OpenRead(const QString& path);
    // Opens for writing into a temporary file beside path; Commit() puts it in place
    // of path only when every write, the flush and the sync succeeded, so a failed
    // save never destroys the file it was meant to replace. A path that names a
    // device, FIFO or folder is refused.
    bool OpenWrite(const QString& path);
    // Writes the temporary file over the target; a failure sets StatusWriteFailed.
    bool Commit();
    // Closes; an uncommitted written file is discarded.
    void Close();

    bool ReadBytes(void* buffer, int64_t n);
    bool WriteBytes(const void* buffer, int64_t n);
    // Counted string: int32 count of UTF-16 code units, then the units. A negative
    // count is corrupt; a count larger than what is left of the file too.
    bool ReadString(QString& out);
    bool WriteString(const QString& text);
    // Skips n bytes that must lie within the file.
    bool Skip(int64_t n);

    bool Seek(int64_t position);
    int64_t Position() const;
    int64_t Length() const;
    // Bytes from the position to the end of the file.
    int64_t Remaining() const;

    int Status = StatusOpenFailed;

private:
    std::unique_ptr<QFile> reader_;
    std::unique_ptr<CAtomicFile> writer_;
    QFileDevice* file_ = nullptr;  // the one of the two that is open
};
