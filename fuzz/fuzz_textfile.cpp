// The line reader against arbitrary files. The first byte picks the encoding (0..4,
// Auto to UTF-8); the rest is the file. The file is read line by line to the end, and
//  - no line holds a terminator, nor (outside ANSI) a dropped code unit;
//  - all lines together hold no more UTF-16 units than the file has bytes plus the
//    number of lines;
//  - once ReadLine has returned false it keeps doing so and leaves its string alone;
//  - the lines equal those of a small reference decoder that works on the whole file
//    in memory (ANSI lines go through the same code page converter), so that the read
//    window's boundaries cannot change the result.
#include "app/NonStdioFile.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringDecoder>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

bool Dropped(int u) {
    return (u >= 0xD800 && u <= 0xDFFF) || u == 0xFEFF || u == 0xFFFE || u == 0xFFFF || (u >= 0xFDD0 && u <= 0xFDEF);
}

bool Terminator(int u, bool ansi) {
    if (u == 0 || u == 10 || u == 11 || u == 13) return true;
    return !ansi && (u == 0x85 || u == 0x2028 || u == 0x2029);
}

struct Expected {
    int encoding = AnsiOem;
    std::vector<std::u16string> lines;
};

// The whole file decoded first (to its end or to invalid UTF-8), then cut into lines.
Expected Reference(const uint8_t* b, size_t n, int requested) {
    Expected r;
    int encoding = requested;
    size_t i = 0;
    if (requested == Auto) {
        encoding = AnsiOem;
        if (n >= 2 && b[0] == 0xFE && b[1] == 0xFF) encoding = UnicodeBigEndian, i = 2;
        else if (n >= 2 && b[0] == 0xFF && b[1] == 0xFE) encoding = Unicode, i = 2;
        else if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) encoding = Utf8, i = 3;
    }
    r.encoding = encoding;
    std::vector<int> chars;
    if (encoding == AnsiOem) {
        for (; i < n; ++i) chars.push_back(b[i]);
    } else if (encoding == Unicode || encoding == UnicodeBigEndian) {
        std::vector<int> units;
        for (; i + 1 < n; i += 2) units.push_back(encoding == Unicode ? b[i] | b[i + 1] << 8 : b[i] << 8 | b[i + 1]);
        for (size_t k = 0; k < units.size(); ++k) {
            const bool surrogate = units[k] >= 0xD800 && units[k] <= 0xDFFF;
            if (surrogate && k + 1 < units.size()) {
                chars.push_back(0xFFFD);
                ++k;
            } else {
                chars.push_back(units[k]);
            }
        }
    } else {
        while (i < n) {
            const int lead = b[i];
            int need = 0, value = lead;
            if (lead >= 0x80 && lead < 0xC0) break;
            if (lead >= 0xF8) break;
            if (lead >= 0xF0) need = 3, value = 0;
            else if (lead >= 0xE0) need = 2, value = lead & 0x0F;
            else if (lead >= 0xC0) need = 1, value = lead & 0x1F;
            if (i + size_t(need) >= n) break;
            bool ok = true;
            for (int k = 1; k <= need && ok; ++k) {
                ok = (b[i + size_t(k)] & 0xC0) == 0x80;
                value = value << 6 | (b[i + size_t(k)] & 0x3F);
            }
            if (!ok) break;
            chars.push_back(need == 3 ? 0xFFFD : value);
            i += size_t(need) + 1;
        }
    }
    const bool ansi = encoding == AnsiOem;
    QStringDecoder decoder(("windows-" + QByteArray::number(CNonStdioFile::AnsiCodePage())).constData());
    Check(decoder.isValid());
    QByteArray bytes;
    std::u16string units;
    bool any = false;
    const auto finish = [&] {
        if (ansi) {
            decoder.resetState();
            const QString s = decoder.decode(bytes);
            r.lines.emplace_back(reinterpret_cast<const char16_t*>(s.utf16()), size_t(s.size()));
        } else {
            r.lines.push_back(units);
        }
        bytes.clear();
        units.clear();
        any = false;
    };
    for (size_t k = 0; k < chars.size(); ++k) {
        const int c = chars[k];
        if (Terminator(c, ansi)) {
            if (c == 13 && k + 1 < chars.size() && chars[k + 1] == 10) ++k;
            finish();
        } else if (ansi) {
            bytes.append(char(c));
            any = true;
        } else if (!Dropped(c)) {
            units.push_back(char16_t(c));
            any = true;
        }
    }
    if (any) finish();
    return r;
}

const QString& FilePath() {
    // One folder for the whole run, in memory when the system offers it.
    static QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists()
                                 ? QStringLiteral("/dev/shm/fuzz_textfile-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/fuzz_textfile-XXXXXX"));
    static const QString path = dir.filePath(QStringLiteral("input.txt"));
    Check(dir.isValid());
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const int encoding = data[0] % 5;
    const uint8_t* bytes = data + 1;
    const size_t count = size - 1;

    const QString& path = FilePath();
    {
        QFile out(path);
        Check(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        Check(out.write(reinterpret_cast<const char*>(bytes), qint64(count)) == qint64(count));
    }

    CNonStdioFile file;
    Check(file.OpenText(path, encoding));
    const int inForce = file.EncodingInForce();
    Check(inForce >= AnsiOem && inForce <= Utf8);
    Check(encoding == Auto || inForce == encoding);
    const bool ansi = inForce == AnsiOem;

    std::vector<std::u16string> lines;
    size_t units = 0;
    QString line;
    while (file.ReadLine(line)) {
        for (QChar ch : line) {
            Check(!Terminator(ch.unicode(), ansi));
            if (!ansi) Check(!Dropped(ch.unicode()));
        }
        units += size_t(line.size());
        lines.emplace_back(reinterpret_cast<const char16_t*>(line.utf16()), size_t(line.size()));
        Check(lines.size() <= count);  // every line takes at least one byte
        Check(units <= count + lines.size());
    }
    for (int k = 0; k < 2; ++k) {
        line = QStringLiteral("kept");
        Check(!file.ReadLine(line));
        Check(line == QStringLiteral("kept"));
    }
    file.Close();

    const Expected expected = Reference(bytes, count, encoding);
    Check(expected.encoding == inForce);
    Check(expected.lines == lines);
    return 0;
}
