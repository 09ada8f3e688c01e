#include "base/NonStdioFile.h"

#include "base/CodePage.h"

#include <QFile>
#include <QStringDecoder>
#include <algorithm>
#include <atomic>
#include <initializer_list>

namespace {

// Written once at start-up (user-interface thread) before readers exist; read by any
// reader thread afterwards.
std::atomic<int> AnsiPage{1252};

// Line buffers grow in steps of this many bytes.
constexpr int LineStep = 1024;

bool IsDropped(int unit) {
    return (unit >= 0xD800 && unit <= 0xDFFF) || unit == 0xFEFF || unit == 0xFFFE || unit == 0xFFFF ||
           (unit >= 0xFDD0 && unit <= 0xFDEF);
}

}  // namespace

void CNonStdioFile::SetAnsiCodePage(int codePage) {
    // Only the single-byte Windows code pages: a line is converted byte by byte.
    const bool singleByte = codePage == 874 || (codePage >= 1250 && codePage <= 1258);
    AnsiPage.store(singleByte ? codePage : 1252);
}
int CNonStdioFile::AnsiCodePage() { return AnsiPage.load(); }

CNonStdioFile::CNonStdioFile() = default;
CNonStdioFile::~CNonStdioFile() = default;

bool CNonStdioFile::OpenText(const QString& path, int encoding, qint64 maxBytes) {
    Close();
    auto file = std::make_unique<QFile>();
    refusal_ = SafeFile::OpenRegular(*file, path);
    if (refusal_ != FileRefusal::None) return false;
    file_ = std::move(file);
    windowPos_ = windowLength_ = 0;
    pushedBack_ = pendingUnit_ = -1;
    budget_ = std::max<qint64>(0, maxBytes);
    capped_ = false;
    ended_ = false;
    if (encoding >= AnsiOem && encoding <= Utf8) {
        encoding_ = encoding;
        PrepareDecoder();
        return true;
    }
    // Look at the first three bytes without consuming them, so a file without a
    // mark is read from its first byte without seeking (pipes cannot seek).
    if (!window_) window_ = std::make_unique<uint8_t[]>(WindowSize);
    while (windowLength_ < 3) {
        const qint64 n = ReadWindow(windowLength_);
        if (n <= 0) break;
        windowLength_ += int(n);
    }
    const auto starts = [this](std::initializer_list<uint8_t> mark) {
        if (windowLength_ < int(mark.size())) return false;
        return std::equal(mark.begin(), mark.end(), window_.get());
    };
    encoding_ = AnsiOem;
    if (starts({0xFE, 0xFF})) {
        encoding_ = UnicodeBigEndian;
        windowPos_ = 2;
    } else if (starts({0xFF, 0xFE})) {
        encoding_ = Unicode;
        windowPos_ = 2;
    } else if (starts({0xEF, 0xBB, 0xBF})) {
        encoding_ = Utf8;
        windowPos_ = 3;
    }
    PrepareDecoder();
    return true;
}

void CNonStdioFile::PrepareDecoder() {
    decoder_.reset();
    if (encoding_ != AnsiOem) return;
    decoder_ = std::make_unique<QStringDecoder>(CodePage::Name(AnsiCodePage()).constData());
}

void CNonStdioFile::Close() {
    file_.reset();
    ended_ = true;
    pushedBack_ = pendingUnit_ = -1;
    windowPos_ = windowLength_ = 0;
}

qint64 CNonStdioFile::ReadWindow(int at) {
    const qint64 room = std::min<qint64>(WindowSize - at, budget_);
    if (room <= 0) {
        // At the cap: one more byte tells a file that ends here from one cut short.
        char probe;
        if (!capped_ && file_->read(&probe, 1) == 1) capped_ = true;
        return 0;
    }
    const qint64 n = file_->read(reinterpret_cast<char*>(window_.get()) + at, room);
    if (n > 0) budget_ -= n;
    return n;
}

int CNonStdioFile::ReadByte() {
    if (windowPos_ >= windowLength_) {
        if (!file_) return -1;
        if (!window_) window_ = std::make_unique<uint8_t[]>(WindowSize);
        const qint64 n = ReadWindow(0);
        windowPos_ = 0;
        windowLength_ = n > 0 ? int(n) : 0;
        if (windowLength_ == 0) return -1;
    }
    return window_[windowPos_++];
}

int CNonStdioFile::ReadChar() {
    if (pushedBack_ >= 0) return std::exchange(pushedBack_, -1);
    if (ended_) return -1;
    const auto end = [this] {
        ended_ = true;
        return -1;
    };
    switch (encoding_) {
    case AnsiOem: {
        const int b = ReadByte();
        return b < 0 ? end() : b;
    }
    case Unicode:
    case UnicodeBigEndian: {
        const auto unit = [this]() -> int {
            if (pendingUnit_ >= 0) return std::exchange(pendingUnit_, -1);
            const int a = ReadByte();
            if (a < 0) return -1;
            const int b = ReadByte();
            if (b < 0) return -1;  // a single byte left over is ignored
            return encoding_ == Unicode ? (a | (b << 8)) : ((a << 8) | b);
        };
        const int u = unit();
        if (u < 0) return end();
        if (u >= 0xD800 && u <= 0xDBFF) {
            // Characters beyond the 16-bit range are not represented: a pair becomes
            // one replacement character. A surrogate without its partner becomes one
            // too, and the unit after it is read as what it is.
            const int low = unit();
            if (low >= 0 && !(low >= 0xDC00 && low <= 0xDFFF)) pendingUnit_ = low;
            return 0xFFFD;
        }
        if (u >= 0xDC00 && u <= 0xDFFF) return 0xFFFD;
        return u;
    }
    default: {  // Utf8
        // An invalid byte becomes U+FFFD and reading goes on after it: one bad byte
        // must not cost the rest of the file.
        const int lead = ReadByte();
        if (lead < 0) return end();
        int follow, value, least;
        if (lead < 0x80) return lead;
        if (lead >= 0xC0 && lead <= 0xDF) {
            follow = 1;
            value = lead & 0x1F;
            least = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            follow = 2;
            value = lead & 0x0F;
            least = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF7) {
            follow = 3;
            value = lead & 0x07;
            least = 0x10000;
        } else {
            return 0xFFFD;  // a stray continuation byte or F8-FF
        }
        for (int k = 0; k < follow; ++k) {
            const int b = ReadByte();
            if (b < 0) return 0xFFFD;  // cut short by the end of the file
            if ((b & 0xC0) != 0x80) {
                --windowPos_;  // not part of this character: read it again as the next
                return 0xFFFD;
            }
            value = (value << 6) | (b & 0x3F);
        }
        // Overlong forms would smuggle a line end or a slash past the checks. An
        // encoded surrogate comes out as itself and is dropped like one in UTF-16.
        if (value < least || value > 0x10FFFF) return 0xFFFD;
        return follow == 3 ? 0xFFFD : value;
    }
    }
}

bool CNonStdioFile::ReadLine(QString& line) {
    if (ended_ && pushedBack_ < 0) return false;
    lineBytes_.clear();
    lineUnits_.clear();
    const bool ansi = encoding_ == AnsiOem;
    for (;;) {
        const int c = ReadChar();
        if (c < 0) {
            if (lineBytes_.isEmpty() && lineUnits_.isEmpty()) return false;
            break;
        }
        if (c == 0 || c == 10 || c == 11) break;
        if (!ansi && (c == 0x85 || c == 0x2028 || c == 0x2029)) break;
        if (c == 13) {
            const int next = ReadChar();
            if (next != 10 && next >= 0) pushedBack_ = next;
            break;
        }
        if (ansi) {
            if (lineBytes_.size() == lineBytes_.capacity()) lineBytes_.reserve(lineBytes_.capacity() + LineStep);
            lineBytes_.append(char(c));
        } else if (!IsDropped(c)) {
            if (lineUnits_.size() == lineUnits_.capacity()) lineUnits_.reserve(lineUnits_.capacity() + LineStep / 2);
            lineUnits_.append(QChar(char16_t(c)));
        }
    }
    if (ansi) {
        if (decoder_ && decoder_->isValid()) {
            decoder_->resetState();
            line = decoder_->decode(lineBytes_);
        } else {
            line = QString::fromLatin1(lineBytes_);
        }
    } else {
        line = lineUnits_;
    }
    return true;
}
