// The line reader against arbitrary files. The first byte picks the encoding (0..4,
// Auto to UTF-8); the rest is the file. The file is read line by line to the end, and
//  - no line holds a terminator, nor (outside ANSI) a dropped code unit;
//  - all lines together hold no more UTF-16 units than the file has bytes plus the
//    number of lines;
//  - once ReadLine has returned false it keeps doing so and leaves its string alone;
//  - the lines equal those of a small reference decoder that works on the whole file
//    in memory (ANSI lines go through the same code page converter), so that the read
//    window's boundaries cannot change the result.
#include "base/NonStdioFile.h"
#include "tests/TextReference.h"

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

TextReference Reference(const uint8_t* b, size_t n, int requested) {
    QStringDecoder decoder(("windows-" + QByteArray::number(CNonStdioFile::AnsiCodePage())).constData());
    Check(decoder.isValid());
    return DecodeTextReference(b, n, requested, [&](const std::string& bytes) {
        decoder.resetState();
        const QString s = decoder.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
        return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()), size_t(s.size()));
    });
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

    const TextReference expected = Reference(bytes, count, encoding);
    Check(expected.encoding == inForce);
    Check(expected.lines == lines);
    return 0;
}
