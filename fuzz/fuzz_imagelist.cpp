// Image-list files: the bytes are written to a list file and read back with
// ReadImageList, and every line (as read, and as the raw bytes taken one character
// per byte) goes through ParseImageListLine with a fixed list folder and a default
// delay of 20 ms. For every line:
//  - the delay is above 0; without a ";" it is the default; with one it is the
//    integer at the start of the text after the first ";" (white space, sign,
//    digits) when that is above 0 and fits, else the default;
//  - the path is the text before the first ";", unchanged when it names a folder
//    ("/" or "\"), else beside the list; it is skipped exactly when its last part
//    has no name or no extension;
// and the reader gives one line per line end (plus an unterminated last line),
// none holding a line feed, plain ASCII lines exactly as written.
#include "playback/Import.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <climits>
#include <cstdint>
#include <cstdlib>

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

const QString Folder = QStringLiteral("/shows/lists");
constexpr int DefaultDelay = 20;

bool AsciiSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r'; }

// The delay an entry's text after its ";" gives: the leading integer when it is
// above 0, 0 when it is not; -1 when it does not fit in an int (left open).
long long LeadingDelay(const QString& rest) {
    qsizetype k = 0;
    while (k < rest.size() && AsciiSpace(rest[k].unicode())) ++k;
    bool negative = false;
    if (k < rest.size() && (rest[k] == u'+' || rest[k] == u'-')) negative = rest[k++] == u'-';
    long long value = 0;
    for (; k < rest.size() && rest[k] >= u'0' && rest[k] <= u'9'; ++k) {
        value = value * 10 + (rest[k].unicode() - u'0');
        if (value > INT_MAX) return -1;
    }
    return negative || value == 0 ? 0 : value;
}

void CheckLine(const QString& line) {
    const ImageListEntry entry = ParseImageListLine(line, Folder, DefaultDelay);
    const qsizetype semicolon = line.indexOf(u';');
    const QString before = semicolon < 0 ? line : line.left(semicolon);

    Check(entry.delay > 0);
    if (semicolon < 0) {
        Check(entry.delay == DefaultDelay);
    } else {
        const long long expected = LeadingDelay(line.mid(semicolon + 1));
        if (expected == 0) Check(entry.delay == DefaultDelay);
        if (expected > 0) Check(entry.delay == expected);
    }

    const QString name = before.mid(before.lastIndexOf(u'/') + 1);
    const qsizetype dot = name.lastIndexOf(u'.');
    const bool nameless = name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..");
    const bool noExtension = dot < 0 || dot == name.size() - 1;
    Check(entry.skip == (nameless || noExtension));
    if (entry.skip) return;
    if (before.contains(u'/') || before.contains(u'\\'))
        Check(entry.path == before);
    else
        Check(entry.path == Folder + u'/' + before);
}

QString ListPath() {
    static QTemporaryDir dir;
    Check(dir.isValid());
    static const QString path = dir.filePath(QStringLiteral("list.txt"));
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 65536) return 0;
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));

    // The raw lines, one character per byte.
    QList<QByteArray> pieces = bytes.split('\n');
    if (bytes.isEmpty() || bytes.endsWith('\n')) pieces.removeLast();
    for (QByteArray piece : pieces) {
        while (piece.endsWith('\r')) piece.chop(1);
        CheckLine(QString::fromLatin1(piece));
    }

    // The same file through the list reader.
    const QString path = ListPath();
    {
        QFile file(path);
        Check(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        Check(file.write(bytes) == bytes.size());
    }
    QStringList lines;
    Check(ReadImageList(path, lines));
    Check(lines.size() == pieces.size());
    for (qsizetype k = 0; k < lines.size(); ++k) {
        const QString& line = lines[k];
        Check(!line.contains(u'\n'));
        QByteArray piece = pieces[k];
        while (piece.endsWith('\r')) piece.chop(1);
        bool ascii = true;
        for (char c : piece) ascii = ascii && uint8_t(c) < 0x80;
        if (ascii) Check(line == QString::fromLatin1(piece));
        Check(line.size() <= piece.size());
        CheckLine(line);
    }
    return 0;
}
