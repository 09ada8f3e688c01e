#include "core/UniFile.h"

#include "base/SafeFile.h"

#include <QFile>
#include <QtEndian>

CUniFile::CUniFile() = default;
CUniFile::~CUniFile() { Close(); }

bool CUniFile::OpenRead(const QString& path) {
    Close();
    auto file = std::make_unique<QFile>();
    if (SafeFile::OpenRegular(*file, path) != FileRefusal::None) return false;
    reader_ = std::move(file);
    file_ = reader_.get();
    if (Status == StatusOpenFailed) Status = StatusOk;
    return Status == StatusOk;
}

bool CUniFile::OpenWrite(const QString& path) {
    Close();
    auto writer = std::make_unique<CAtomicFile>(path);
    if (writer->Open() != FileRefusal::None) return false;
    writer_ = std::move(writer);
    file_ = writer_->Device();
    if (Status == StatusOpenFailed) Status = StatusOk;
    return Status == StatusOk;
}

bool CUniFile::Commit() {
    if (!writer_ || Status != StatusOk) return false;
    const bool ok = writer_->Commit() == FileRefusal::None;
    writer_.reset();
    file_ = nullptr;
    if (!ok) Status = StatusWriteFailed;
    return ok;
}

void CUniFile::Close() {
    file_ = nullptr;
    writer_.reset();  // an uncommitted file is discarded
    reader_.reset();
}

bool CUniFile::ReadBytes(void* buffer, int64_t n) {
    if (Status != StatusOk || !file_) return false;
    if (n == 0) return true;
    if (n < 0 || file_->read(static_cast<char*>(buffer), n) != n) {
        Status = StatusCorrupt;
        return false;
    }
    return true;
}

bool CUniFile::WriteBytes(const void* buffer, int64_t n) {
    if (Status != StatusOk || !file_) return false;
    if (n == 0) return true;
    if (n < 0 || file_->write(static_cast<const char*>(buffer), n) != n) {
        Status = StatusWriteFailed;
        return false;
    }
    return true;
}

bool CUniFile::ReadString(QString& out) {
    uint8_t raw[4];
    if (!ReadBytes(raw, 4)) return false;
    const int32_t count = qFromLittleEndian<int32_t>(raw);
    if (count == 0) {
        out.clear();
        return true;
    }
    // A negative count, or one that claims more than the file holds, is corrupt:
    // never an allocation sized by hostile data.
    if (count < 0 || int64_t(count) * 2 > Remaining()) {
        Status = StatusCorrupt;
        return false;
    }
    out.resize(count);
    if (!ReadBytes(out.data(), int64_t(count) * 2)) return false;
    if constexpr (Q_BYTE_ORDER == Q_BIG_ENDIAN)
        for (auto& c : out) c = QChar(qFromLittleEndian<char16_t>(c.unicode()));
    return Status == StatusOk;
}

bool CUniFile::WriteString(const QString& text) {
    uint8_t raw[4];
    qToLittleEndian<int32_t>(int32_t(text.size()), raw);
    if (!WriteBytes(raw, 4)) return false;
    if (!text.isEmpty()) {
        if constexpr (Q_BYTE_ORDER == Q_BIG_ENDIAN) {
            QByteArray bytes(text.size() * 2, Qt::Uninitialized);
            for (qsizetype k = 0; k < text.size(); ++k)
                qToLittleEndian<char16_t>(text[k].unicode(), bytes.data() + 2 * k);
            WriteBytes(bytes.constData(), bytes.size());
        } else {
            WriteBytes(text.constData(), int64_t(text.size()) * 2);
        }
    }
    return Status == StatusOk;
}

bool CUniFile::Skip(int64_t n) {
    if (Status != StatusOk || !file_) return false;
    if (n < 0 || n > Remaining() || !file_->seek(file_->pos() + n)) {
        Status = StatusCorrupt;
        return false;
    }
    return true;
}

bool CUniFile::Seek(int64_t position) {
    if (Status != StatusOk || !file_) return false;
    if (!file_->seek(position)) {
        Status = file_->openMode() & QIODevice::WriteOnly ? StatusWriteFailed : StatusCorrupt;
        return false;
    }
    return true;
}

int64_t CUniFile::Position() const { return file_ ? file_->pos() : 0; }
int64_t CUniFile::Length() const { return file_ ? file_->size() : 0; }
int64_t CUniFile::Remaining() const { return file_ ? file_->size() - file_->pos() : 0; }
