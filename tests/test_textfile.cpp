// The line reader CNonStdioFile: the five encodings, byte-order marks, line
// terminators, dropped code units, surrogates, invalid UTF-8, the ANSI code page,
// the reader's states, and results that do not depend on where the 1024-byte read
// window's boundaries fall (checked against a small reference decoder that works on
// the whole file in memory).
#include "base/NonStdioFile.h"
#include "tests/TextReference.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::u16string>;

// ---------------------------------------------------------------------------------
// Building byte sequences

// Text bytes exactly as written (embedded NULs kept).
template <size_t N>
Bytes A(const char (&text)[N]) {
    return Bytes(text, text + N - 1);
}

// Bytes written as hexadecimal pairs, "EF BB BF".
Bytes H(std::string_view hex) {
    Bytes out;
    int high = -1;
    for (char c : hex) {
        int v;
        if (c >= '0' && c <= '9') v = c - '0';
        else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
        else continue;
        if (high < 0) {
            high = v;
        } else {
            out.push_back(uint8_t(high << 4 | v));
            high = -1;
        }
    }
    return out;
}

Bytes LE(std::u16string_view units) {
    Bytes out;
    for (char16_t u : units) {
        out.push_back(uint8_t(u & 0xFF));
        out.push_back(uint8_t(u >> 8));
    }
    return out;
}
Bytes LE(std::initializer_list<char16_t> units) { return LE(std::u16string_view(units.begin(), units.size())); }

Bytes BE(std::u16string_view units) {
    Bytes out;
    for (char16_t u : units) {
        out.push_back(uint8_t(u >> 8));
        out.push_back(uint8_t(u & 0xFF));
    }
    return out;
}
Bytes BE(std::initializer_list<char16_t> units) { return BE(std::u16string_view(units.begin(), units.size())); }

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// ---------------------------------------------------------------------------------
// Showing lines: every code unit outside printable ASCII (and the backslash) as
// \uXXXX, so that a mismatch names the exact units.

std::string Show(std::u16string_view line) {
    std::string out;
    for (char16_t u : line) {
        if (u >= 0x20 && u < 0x7F && u != '\\') {
            out.push_back(char(u));
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04X", unsigned(u));
            out += buf;
        }
    }
    return out;
}

std::vector<std::string> Show(const Lines& lines) {
    std::vector<std::string> out;
    for (const auto& l : lines) out.push_back(Show(l));
    return out;
}

std::u16string ToU16(const QString& s) { return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()), size_t(s.size())); }

// ---------------------------------------------------------------------------------
// Files and reading

class TempFiles {
public:
    TempFiles() { EXPECT_TRUE(dir_.isValid()); }
    QString Write(const Bytes& bytes) {
        const QString path = dir_.filePath(QStringLiteral("f%1.txt").arg(next_++));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        if (!bytes.empty()) {
            EXPECT_EQ(f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size())), qint64(bytes.size()));
        }
        f.close();
        return path;
    }
    QString Path(const QString& name) const { return dir_.filePath(name); }

private:
    QTemporaryDir dir_;
    int next_ = 0;
};

struct ReadResult {
    bool opened = false;
    int encodingInForce = -1;
    Lines lines;
};

// Reads to the end, then checks that the ended reader keeps returning false and
// leaves the out string as it was.
ReadResult ReadAll(const QString& path, int encoding) {
    ReadResult r;
    CNonStdioFile file;
    r.opened = file.OpenText(path, encoding);
    if (!r.opened) return r;
    r.encodingInForce = file.EncodingInForce();
    QString line;
    for (int guard = 0; file.ReadLine(line); ++guard) {
        r.lines.push_back(ToU16(line));
        if (guard > 1000000) {
            ADD_FAILURE() << "ReadLine does not end";
            break;
        }
    }
    const QString sentinel = QStringLiteral("untouched \u00E9");
    for (int k = 0; k < 3; ++k) {
        line = sentinel;
        EXPECT_FALSE(file.ReadLine(line)) << "ReadLine returned a line after reporting the end";
        EXPECT_EQ(line, sentinel) << "ReadLine changed the string after the end";
    }
    file.Close();
    return r;
}

// Restores the ANSI code page when a test ends, whatever it set.
struct CodePageGuard {
    ~CodePageGuard() { CNonStdioFile::SetAnsiCodePage(1252); }
};

// ---------------------------------------------------------------------------------
// The table of behaviours

struct Case {
    const char* name;
    Bytes bytes;
    int encoding;
    Lines lines;
    int encodingInForce;  // the encoding settled at open
};

const Case kCases[] = {
    // An empty file yields no line, in every encoding.
    {"EmptyAuto", {}, Auto, {}, AnsiOem},
    {"EmptyAnsi", {}, AnsiOem, {}, AnsiOem},
    {"EmptyUnicode", {}, Unicode, {}, Unicode},
    {"EmptyUnicodeBigEndian", {}, UnicodeBigEndian, {}, UnicodeBigEndian},
    {"EmptyUtf8", {}, Utf8, {}, Utf8},
    // Only a mark: no line either.
    {"OnlyMarkLittleEndian", H("FF FE"), Auto, {}, Unicode},
    {"OnlyMarkBigEndian", H("FE FF"), Auto, {}, UnicodeBigEndian},
    {"OnlyMarkUtf8", H("EF BB BF"), Auto, {}, Utf8},
    {"OnlyMarkUtf8Forced", H("EF BB BF"), Utf8, {}, Utf8},

    // a CR LF b CR c LF -> a, b, c in every encoding.
    {"CrLfCrLfAnsi", A("a\r\nb\rc\n"), AnsiOem, {u"a", u"b", u"c"}, AnsiOem},
    {"CrLfCrLfAutoNoMark", A("a\r\nb\rc\n"), Auto, {u"a", u"b", u"c"}, AnsiOem},
    {"CrLfCrLfUtf8", A("a\r\nb\rc\n"), Utf8, {u"a", u"b", u"c"}, Utf8},
    {"CrLfCrLfUnicode", LE(u"a\r\nb\rc\n"), Unicode, {u"a", u"b", u"c"}, Unicode},
    {"CrLfCrLfUnicodeBigEndian", BE(u"a\r\nb\rc\n"), UnicodeBigEndian, {u"a", u"b", u"c"}, UnicodeBigEndian},
    {"CrLfCrLfAutoLittleEndian", Cat({H("FF FE"), LE(u"a\r\nb\rc\n")}), Auto, {u"a", u"b", u"c"}, Unicode},
    {"CrLfCrLfAutoBigEndian", Cat({H("FE FF"), BE(u"a\r\nb\rc\n")}), Auto, {u"a", u"b", u"c"}, UnicodeBigEndian},
    {"CrLfCrLfAutoUtf8", Cat({H("EF BB BF"), A("a\r\nb\rc\n")}), Auto, {u"a", u"b", u"c"}, Utf8},

    // Only LF -> one empty line.
    {"OnlyLfAnsi", A("\n"), AnsiOem, {u""}, AnsiOem},
    {"OnlyLfUtf8", A("\n"), Utf8, {u""}, Utf8},
    {"OnlyLfUnicode", LE(u"\n"), Unicode, {u""}, Unicode},
    {"OnlyLfUnicodeBigEndian", BE(u"\n"), UnicodeBigEndian, {u""}, UnicodeBigEndian},
    {"OnlyLfAutoLittleEndian", Cat({H("FF FE"), LE(u"\n")}), Auto, {u""}, Unicode},
    {"OnlyCrLfAnsi", A("\r\n"), AnsiOem, {u""}, AnsiOem},
    {"OnlyCrUtf8", A("\r"), Utf8, {u""}, Utf8},

    // a LF LF b -> a, empty, b.
    {"DoubleLfAnsi", A("a\n\nb"), AnsiOem, {u"a", u"", u"b"}, AnsiOem},
    {"DoubleLfUtf8", A("a\n\nb"), Utf8, {u"a", u"", u"b"}, Utf8},
    {"DoubleLfUnicode", LE(u"a\n\nb"), Unicode, {u"a", u"", u"b"}, Unicode},
    {"DoubleLfUnicodeBigEndian", BE(u"a\n\nb"), UnicodeBigEndian, {u"a", u"", u"b"}, UnicodeBigEndian},

    // CR handling: a lone CR ends a line and the next character opens the next one;
    // CR CR LF is two terminators; a CR at the end yields no extra line.
    {"LoneCrAnsi", A("ab\rcd"), AnsiOem, {u"ab", u"cd"}, AnsiOem},
    {"LoneCrUnicode", LE(u"ab\rcd"), Unicode, {u"ab", u"cd"}, Unicode},
    {"CrCrLfAnsi", A("a\r\r\nb"), AnsiOem, {u"a", u"", u"b"}, AnsiOem},
    {"CrCrLfUnicodeBigEndian", BE(u"a\r\r\nb"), UnicodeBigEndian, {u"a", u"", u"b"}, UnicodeBigEndian},
    {"LfCrAnsi", A("a\n\rb"), AnsiOem, {u"a", u"", u"b"}, AnsiOem},
    {"TrailingCrAnsi", A("a\r"), AnsiOem, {u"a"}, AnsiOem},
    {"TrailingCrLfUtf8", A("a\r\n"), Utf8, {u"a"}, Utf8},
    {"TrailingLfUnicode", LE(u"a\n"), Unicode, {u"a"}, Unicode},
    {"NoTerminatorAnsi", A("abc"), AnsiOem, {u"abc"}, AnsiOem},
    {"CrThenNulAnsi", A("a\r\0b"), AnsiOem, {u"a", u"", u"b"}, AnsiOem},
    {"CrThenVtUtf8", A("a\r\vb"), Utf8, {u"a", u"", u"b"}, Utf8},
    {"CrThenLineSeparatorUtf8", Cat({A("a\r"), H("E2 80 A8"), A("b")}), Utf8, {u"a", u"", u"b"}, Utf8},

    // NUL and VT end a line; FF and TAB are ordinary.
    {"NulAnsi", A("a\0b"), AnsiOem, {u"a", u"b"}, AnsiOem},
    {"NulUtf8", A("a\0b\0"), Utf8, {u"a", u"b"}, Utf8},
    {"NulUnicode", LE({'a', 0, 'b'}), Unicode, {u"a", u"b"}, Unicode},
    {"NulUnicodeBigEndian", BE({'a', 0, 0, 'b'}), UnicodeBigEndian, {u"a", u"", u"b"}, UnicodeBigEndian},
    {"VtAnsi", A("a\vb"), AnsiOem, {u"a", u"b"}, AnsiOem},
    {"VtUnicode", LE(u"a\vb"), Unicode, {u"a", u"b"}, Unicode},
    {"FormFeedAndTabAnsi", A("a\fb\tc"), AnsiOem, {u"a\fb\tc"}, AnsiOem},
    {"FormFeedAndTabUtf8", A("\ta\f\n\f"), Utf8, {u"\ta\f", u"\f"}, Utf8},
    {"FormFeedAndTabUnicode", LE(u"\f\t\f"), Unicode, {u"\f\t\f"}, Unicode},
    {"OtherControlsOrdinaryAnsi", H("01 1F 7F 0C 09"), AnsiOem, {u"\u0001\u001F\u007F\f\t"}, AnsiOem},

    // Auto: the byte-order marks.
    {"AutoLittleEndianMark", Cat({H("FF FE"), LE(u"h\u00E9\u20AC\nz")}), Auto, {u"h\u00E9\u20AC", u"z"}, Unicode},
    {"AutoBigEndianMark", Cat({H("FE FF"), BE(u"h\u00E9\u20AC\nz")}), Auto, {u"h\u00E9\u20AC", u"z"}, UnicodeBigEndian},
    {"AutoUtf8Mark", H("EF BB BF 68 C3 A9 E2 82 AC 0A 7A"), Auto, {u"h\u00E9\u20AC", u"z"}, Utf8},
    {"AutoUtf8MarkWithoutLastByte", H("EF BB 78"), Auto, {u"\u00EF\u00BBx"}, AnsiOem},
    {"AutoUtf8MarkCutByEnd", H("EF BB"), Auto, {u"\u00EF\u00BB"}, AnsiOem},
    {"AutoUtf8MarkWrongThirdByte", H("EF BB BE 0A 41"), Auto, {u"\u00EF\u00BB\u00BE", u"A"}, AnsiOem},
    {"AutoSingleByteFe", H("FE"), Auto, {u"\u00FE"}, AnsiOem},
    {"AutoSingleByteFf", H("FF"), Auto, {u"\u00FF"}, AnsiOem},
    {"AutoSingleByteEf", H("EF"), Auto, {u"\u00EF"}, AnsiOem},
    {"AutoMarkBytesReversedOrder", H("BB EF BF"), Auto, {u"\u00BB\u00EF\u00BF"}, AnsiOem},
    {"AutoNoMarkHighBytesAreAnsi", H("80 E9 0A C3 A9"), Auto, {u"\u20AC\u00E9", u"\u00C3\u00A9"}, AnsiOem},
    {"AutoSecondMarkInsideIsDropped", Cat({H("FF FE FF FE"), LE(u"a")}), Auto, {u"a"}, Unicode},
    {"AutoLittleEndianMarkLfFirst", Cat({H("FF FE"), LE(u"\nb")}), Auto, {u"", u"b"}, Unicode},
    {"AutoUtf8MarkThenInvalid", H("EF BB BF 41 80 42"), Auto, {u"A\uFFFDB"}, Utf8},

    // Forced encodings do not look for a mark.
    {"Utf8ForcedOnMarkEqualsAuto", H("EF BB BF 68 C3 A9 E2 82 AC 0A 7A"), Utf8, {u"h\u00E9\u20AC", u"z"}, Utf8},
    {"AnsiForcedOnUtf8Mark", H("EF BB BF 61 62 0A 63"), AnsiOem, {u"\u00EF\u00BB\u00BFab", u"c"}, AnsiOem},
    {"AnsiForcedOnLittleEndianMark", Cat({H("FF FE"), LE(u"a")}), AnsiOem, {u"\u00FF\u00FEa"}, AnsiOem},
    {"UnicodeForcedOnItsMark", Cat({H("FF FE"), LE(u"ab")}), Unicode, {u"ab"}, Unicode},
    {"UnicodeBigEndianForcedOnItsMark", Cat({H("FE FF"), BE(u"ab")}), UnicodeBigEndian, {u"ab"}, UnicodeBigEndian},
    {"UnicodeForcedOnBigEndianMark", Cat({H("FE FF"), LE(u"ab")}), Unicode, {u"ab"}, Unicode},  // FFFE dropped
    {"UnicodeForcedOnAnsiText", A("ab\n"), Unicode, {u"\u6261"}, Unicode},  // 0A is a leftover byte
    {"Utf8ForcedOnLittleEndianMark", Cat({H("FF FE"), LE(u"a")}), Utf8, {u"\uFFFD\uFFFDa"}, Utf8},

    // UTF-8 decoding.
    {"Utf8TwoAndThreeBytes", H("C3 A9 E2 82 AC C5 93"), Utf8, {u"\u00E9\u20AC\u0153"}, Utf8},
    {"Utf8FourBytesIsReplacement", H("61 F0 9F 98 80 62"), Utf8, {u"a\uFFFDb"}, Utf8},
    {"Utf8FourBytesBeyondUnicodeIsReplacement", H("F4 90 80 80 F7 BF BF BF"), Utf8, {u"\uFFFD\uFFFD"}, Utf8},
    {"Utf8InvalidByteIsReplacedAndReadingGoesOn", H("61 62 0A 43 61 66 C3 28 65 66 0A 67 68"), Utf8, {u"ab", u"Caf\uFFFD(ef", u"gh"}, Utf8},
    {"Utf8InvalidAtLineStart", H("61 62 0A C3 28 0A 67 68"), Utf8, {u"ab", u"\uFFFD(", u"gh"}, Utf8},
    {"Utf8InvalidFirstByte", H("C3 28 61"), Utf8, {u"\uFFFD(a"}, Utf8},
    {"Utf8StrayContinuationByte", H("61 0A 62 80 63"), Utf8, {u"a", u"b\uFFFDc"}, Utf8},
    {"Utf8LeadF8", H("78 F8 79"), Utf8, {u"x\uFFFDy"}, Utf8},
    {"Utf8LeadFf", H("78 0A FF 79"), Utf8, {u"x", u"\uFFFDy"}, Utf8},
    {"Utf8FourByteBadThirdByte", H("78 F0 9F 28 80 79"), Utf8, {u"x\uFFFD(\uFFFDy"}, Utf8},
    {"Utf8ThreeByteBadLastByte", H("78 E2 82 41 79"), Utf8, {u"x\uFFFDAy"}, Utf8},
    {"Utf8CutByEndOfFile", H("61 62 E2 82"), Utf8, {u"ab\uFFFD"}, Utf8},
    {"Utf8CutByEndOfFileAfterLine", H("61 62 0A E2"), Utf8, {u"ab", u"\uFFFD"}, Utf8},
    {"Utf8FourByteCutByEndOfFile", H("61 F0 9F 98"), Utf8, {u"a\uFFFD"}, Utf8},
    {"Utf8OverlongIsReplacement", H("C1 81 E0 81 82"), Utf8, {u"\uFFFD\uFFFD"}, Utf8},
    {"Utf8OverlongNulEndsNoLine", H("61 C0 80 62"), Utf8, {u"a\uFFFDb"}, Utf8},
    {"Utf8NextLineEndsLine", H("61 C2 85 62"), Utf8, {u"a", u"b"}, Utf8},
    {"Utf8LineSeparatorEndsLine", H("61 E2 80 A8 62"), Utf8, {u"a", u"b"}, Utf8},
    {"Utf8ParagraphSeparatorEndsLine", H("61 E2 80 A9 62"), Utf8, {u"a", u"b"}, Utf8},
    {"Utf8ByteOrderMarkInsideLineRemoved", H("61 EF BB BF 62"), Utf8, {u"ab"}, Utf8},
    {"Utf8EncodedSurrogatesDropped", H("61 ED A0 80 ED BF BF 62"), Utf8, {u"ab"}, Utf8},
    {"Utf8NoncharactersDropped", H("61 EF B7 90 EF B7 AF EF BF BE EF BF BF 62"), Utf8, {u"ab"}, Utf8},
    {"Utf8NeighboursOfNoncharactersKept", H("EF B7 8F EF B7 B0 EF BF BD EF BB BE"), Utf8,
     {u"\uFDCF\uFDF0\uFFFD\uFEFE"}, Utf8},
    {"Utf8LineOfOnlyDroppedUnits", H("EF BF BF 0A 61"), Utf8, {u"", u"a"}, Utf8},
    {"Utf8LastLineOfOnlyDroppedUnits", H("61 0A EF BF BF"), Utf8, {u"a"}, Utf8},

    // UTF-16 decoding.
    {"UnicodeSurrogatePair", LE({'a', 0xD83D, 0xDE00, 'b'}), Unicode, {u"a\uFFFDb"}, Unicode},
    {"UnicodeBigEndianSurrogatePair", BE({'a', 0xD83D, 0xDE00, 'b'}), UnicodeBigEndian, {u"a\uFFFDb"}, UnicodeBigEndian},
    {"UnicodeLoneHighSurrogateKeepsNextUnit", LE({'a', 0xD800, 'b', 'c'}), Unicode, {u"a\uFFFDbc"}, Unicode},
    {"UnicodeLoneLowSurrogateKeepsNextUnit", LE({'a', 0xDC00, 'b', 'c'}), Unicode, {u"a\uFFFDbc"}, Unicode},
    {"UnicodeLoneSurrogateBeforeLineFeed", LE({'a', 0xD800, '\n', 'b'}), Unicode, {u"a\uFFFD", u"b"}, Unicode},
    {"UnicodeTwoHighSurrogates", BE({0xD800, 0xD800, 0xDC00}), UnicodeBigEndian, {u"\uFFFD\uFFFD"}, UnicodeBigEndian},
    {"UnicodeLoneSurrogateLastUnit", LE({'a', 'b', 0xD800}), Unicode, {u"ab\uFFFD"}, Unicode},
    {"UnicodeLoneLowSurrogateLastUnit", BE({'a', 0xDFFF}), UnicodeBigEndian, {u"a\uFFFD"}, UnicodeBigEndian},
    {"UnicodeLoneSurrogateAloneAfterLine", LE({'a', '\n', 0xD800}), Unicode, {u"a", u"\uFFFD"}, Unicode},
    {"UnicodeCrThenLastSurrogate", LE({'a', '\r', 0xDBFF}), Unicode, {u"a", u"\uFFFD"}, Unicode},
    {"UnicodeSurrogateThenLeftoverByte", Cat({LE({'a', 0xD800}), H("41")}), Unicode, {u"a\uFFFD"}, Unicode},
    {"UnicodeLeftoverByteIgnored", Cat({LE(u"a\nb"), H("41")}), Unicode, {u"a", u"b"}, Unicode},
    {"UnicodeBigEndianLeftoverByteIgnored", Cat({BE(u"ab"), H("00")}), UnicodeBigEndian, {u"ab"}, UnicodeBigEndian},
    {"UnicodeOnlyOneByte", H("41"), Unicode, {}, Unicode},
    {"UnicodeLeftoverByteAfterTerminator", Cat({LE(u"a\n"), H("0A")}), Unicode, {u"a"}, Unicode},
    {"AutoLittleEndianLeftoverByte", H("FF FE 41"), Auto, {}, Unicode},
    {"UnicodeByteOrderMarkInsideLineRemoved", LE({'a', 0xFEFF, 'b', 0xFEFF}), Unicode, {u"ab"}, Unicode},
    {"UnicodeBigEndianByteOrderMarkInsideLineRemoved", BE({0xFEFF, 'a', 0xFEFF, 'b'}), UnicodeBigEndian, {u"ab"},
     UnicodeBigEndian},
    {"UnicodeNoncharactersDropped", LE({'a', 0xFDD0, 0xFDDF, 0xFDEF, 0xFFFE, 0xFFFF, 'b'}), Unicode, {u"ab"}, Unicode},
    {"UnicodeNeighboursOfNoncharactersKept", LE({0xFDCF, 0xFDF0, 0xFFFD, 0xFEFE, 0xFEFD, 0xFF00}), Unicode,
     {u"\uFDCF\uFDF0\uFFFD\uFEFE\uFEFD\uFF00"}, Unicode},
    {"UnicodeLineSeparatorEndsLine", LE({'a', 0x2028, 'b'}), Unicode, {u"a", u"b"}, Unicode},
    {"UnicodeParagraphSeparatorEndsLine", BE({'a', 0x2029, 'b', 0x2029}), UnicodeBigEndian, {u"a", u"b"},
     UnicodeBigEndian},
    {"UnicodeNextLineEndsLine", LE({'a', 0x0085, 'b'}), Unicode, {u"a", u"b"}, Unicode},
    {"UnicodeHighByteIsNotTerminator", LE({0x0A41, 0x0D41, 0x8500, 0x2820}), Unicode, {u"\u0A41\u0D41\u8500\u2820"},
     Unicode},
    {"UnicodeBigEndianByteOrder", BE({0x00FF, 0x0100, 0x20AC}), UnicodeBigEndian, {u"\u00FF\u0100\u20AC"},
     UnicodeBigEndian},
    {"UnicodeLittleEndianByteOrder", LE({0x00FF, 0x0100, 0x20AC}), Unicode, {u"\u00FF\u0100\u20AC"}, Unicode},

    // ANSI: Windows-1252; the byte 85 is an ordinary character there.
    {"AnsiByte85IsOrdinary", H("61 85 62"), AnsiOem, {u"a\u2026b"}, AnsiOem},
    {"AnsiControlRange", H("80 81 8A 8D 8E 90 9C 9F"), AnsiOem, {u"\u20AC\u0081\u0160\u008D\u017D\u0090\u0153\u0178"},
     AnsiOem},
    {"AnsiUpperHalf", H("A0 A9 C0 DF E9 FF"), AnsiOem, {u"\u00A0\u00A9\u00C0\u00DF\u00E9\u00FF"}, AnsiOem},
    {"AnsiUtf8BytesAreTwoCharacters", H("C3 A9 0A E2 80 A8"), AnsiOem, {u"\u00C3\u00A9", u"\u00E2\u20AC\u00A8"},
     AnsiOem},
    {"AnsiInvalidUtf8IsOrdinary", H("C3 28 0A 41"), AnsiOem, {u"\u00C3(", u"A"}, AnsiOem},
};

class TextFileTable : public ::testing::TestWithParam<Case> {};

TEST_P(TextFileTable, Lines) {
    const Case& c = GetParam();
    TempFiles files;
    const ReadResult r = ReadAll(files.Write(c.bytes), c.encoding);
    ASSERT_TRUE(r.opened);
    EXPECT_EQ(r.encodingInForce, c.encodingInForce);
    EXPECT_EQ(Show(r.lines), Show(c.lines));
}

INSTANTIATE_TEST_SUITE_P(Cases, TextFileTable, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------
// Forced UTF-8 on a file with a mark reads exactly as Auto does.

TEST(TextFile, Utf8ForcedEqualsAutoOnMarkedFiles) {
    TempFiles files;
    const Bytes inputs[] = {
        H("EF BB BF"),
        H("EF BB BF 0A"),
        H("EF BB BF 61 0D 0A 62 0D 63"),
        H("EF BB BF EF BB BF 61"),
        H("EF BB BF F0 9F 98 80 0A E2 80 A8 C3 A9"),
        H("EF BB BF 61 0A C3 28 62"),
    };
    for (const Bytes& bytes : inputs) {
        const QString path = files.Write(bytes);
        const ReadResult automatic = ReadAll(path, Auto);
        const ReadResult forced = ReadAll(path, Utf8);
        EXPECT_EQ(automatic.encodingInForce, Utf8);
        EXPECT_EQ(forced.encodingInForce, Utf8);
        EXPECT_EQ(Show(forced.lines), Show(automatic.lines));
    }
    // And the lines are the ones of the text without its mark.
    EXPECT_EQ(Show(ReadAll(files.Write(H("EF BB BF 61 0D 0A 62 0D 63")), Utf8).lines), Show(Lines{u"a", u"b", u"c"}));
}

// ---------------------------------------------------------------------------------
// The ANSI code page.

struct CodePageCase {
    const char* name;
    int codePage;       // given to SetAnsiCodePage
    int inForce;        // what AnsiCodePage() reports afterwards
    Bytes bytes;
    Lines lines;
};

const CodePageCase kCodePages[] = {
    {"Default1252", 1252, 1252, H("80 8A 9C 85 E9"), {u"\u20AC\u0160\u0153\u2026\u00E9"}},
    {"CentralEuropean1250", 1250, 1250, H("8A 9C A5 B9 E8 0A 80"), {u"\u0160\u015B\u0104\u0105\u010D", u"\u20AC"}},
    {"Cyrillic1251", 1251, 1251, H("80 C0 FF B8 0A 85"), {u"\u0402\u0410\u044F\u0451", u"\u2026"}},
    {"Greek1253", 1253, 1253, H("C1 E1 0A"), {u"\u0391\u03B1"}},
    {"Thai874", 874, 874, H("A1 E0"), {u"\u0E01\u0E40"}},
    {"Vietnamese1258", 1258, 1258, H("D0 F5"), {u"\u0110\u01A1"}},
    // Code pages that are not single-byte Windows code pages fall back to 1252.
    {"Utf8CodePageFallsBack", 65001, 1252, H("80 C3 A9"), {u"\u20AC\u00C3\u00A9"}},
    {"ShiftJisFallsBack", 932, 1252, H("82 A0 81"), {u"\u201A\u00A0\u0081"}},
    {"Gbk936FallsBack", 936, 1252, H("B0 A1"), {u"\u00B0\u00A1"}},
    {"OemCodePageFallsBack", 437, 1252, H("80 E9"), {u"\u20AC\u00E9"}},
    {"ZeroFallsBack", 0, 1252, H("80"), {u"\u20AC"}},
    {"NegativeFallsBack", -1, 1252, H("80"), {u"\u20AC"}},
    {"Below1250FallsBack", 1249, 1252, H("80"), {u"\u20AC"}},
    {"Above1258FallsBack", 1259, 1252, H("80"), {u"\u20AC"}},
};

class TextFileCodePage : public ::testing::TestWithParam<CodePageCase> {};

TEST_P(TextFileCodePage, AnsiLinesThroughCodePage) {
    const CodePageCase& c = GetParam();
    CodePageGuard guard;
    TempFiles files;
    const QString path = files.Write(c.bytes);
    CNonStdioFile::SetAnsiCodePage(c.codePage);
    EXPECT_EQ(CNonStdioFile::AnsiCodePage(), c.inForce);
    EXPECT_EQ(Show(ReadAll(path, AnsiOem).lines), Show(c.lines));
    // Auto without a mark reads through the same code page.
    EXPECT_EQ(Show(ReadAll(path, Auto).lines), Show(c.lines));
}

INSTANTIATE_TEST_SUITE_P(CodePages, TextFileCodePage, ::testing::ValuesIn(kCodePages),
                         [](const ::testing::TestParamInfo<CodePageCase>& info) { return std::string(info.param.name); });

TEST(TextFile, CodePageDoesNotTouchUnicodeEncodings) {
    CodePageGuard guard;
    TempFiles files;
    CNonStdioFile::SetAnsiCodePage(1251);
    EXPECT_EQ(Show(ReadAll(files.Write(H("C3 80 C3 BF")), Utf8).lines), Show(Lines{u"\u00C0\u00FF"}));
    EXPECT_EQ(Show(ReadAll(files.Write(LE({0x00C0, 0x0080})), Unicode).lines), Show(Lines{u"\u00C0\u0080"}));
}

TEST(TextFile, CodePageRestoredTo1252) {
    {
        CodePageGuard guard;
        CNonStdioFile::SetAnsiCodePage(1250);
        EXPECT_EQ(CNonStdioFile::AnsiCodePage(), 1250);
    }
    EXPECT_EQ(CNonStdioFile::AnsiCodePage(), 1252);
    TempFiles files;
    EXPECT_EQ(Show(ReadAll(files.Write(H("8A")), AnsiOem).lines), Show(Lines{u"\u0160"}));
}

// ---------------------------------------------------------------------------------
// The reader's states.

TEST(TextFile, ConstructedReaderHasNoLine) {
    CNonStdioFile file;
    QString line = QStringLiteral("keep");
    EXPECT_FALSE(file.ReadLine(line));
    EXPECT_EQ(line, QStringLiteral("keep"));
}

TEST(TextFile, FileThatCannotBeOpened) {
    TempFiles files;
    const QString paths[] = {files.Path(QStringLiteral("missing.txt")),
                             files.Path(QStringLiteral("no-such-folder/missing.txt")), QString(),
                             files.Path(QString())};  // the folder itself
    for (const QString& path : paths) {
        for (int encoding = Auto; encoding <= Utf8; ++encoding) {
            CNonStdioFile file;
            EXPECT_FALSE(file.OpenText(path, encoding)) << path.toStdString() << " " << encoding;
            QString line = QStringLiteral("keep");
            EXPECT_FALSE(file.ReadLine(line));
            EXPECT_EQ(line, QStringLiteral("keep"));
        }
    }
}

TEST(TextFile, UnreadableFileCannotBeOpened) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not apply to the super-user";
    TempFiles files;
    const QString path = files.Write(A("a\n"));
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::Permissions()));
    CNonStdioFile file;
    EXPECT_FALSE(file.OpenText(path, Auto));
    QString line = QStringLiteral("keep");
    EXPECT_FALSE(file.ReadLine(line));
    EXPECT_EQ(line, QStringLiteral("keep"));
}

TEST(TextFile, FailedOpenEndsAReaderThatWasReading) {
    TempFiles files;
    const QString good = files.Write(A("a\nb\nc"));
    CNonStdioFile file;
    ASSERT_TRUE(file.OpenText(good, AnsiOem));
    QString line;
    ASSERT_TRUE(file.ReadLine(line));
    EXPECT_EQ(line, QStringLiteral("a"));
    EXPECT_FALSE(file.OpenText(files.Path(QStringLiteral("missing.txt")), AnsiOem));
    line = QStringLiteral("keep");
    EXPECT_FALSE(file.ReadLine(line));
    EXPECT_EQ(line, QStringLiteral("keep"));
}

TEST(TextFile, CloseEndsReading) {
    TempFiles files;
    CNonStdioFile file;
    ASSERT_TRUE(file.OpenText(files.Write(A("a\rb\nc")), AnsiOem));
    QString line;
    ASSERT_TRUE(file.ReadLine(line));  // leaves 'b' pushed back
    EXPECT_EQ(line, QStringLiteral("a"));
    file.Close();
    line = QStringLiteral("keep");
    EXPECT_FALSE(file.ReadLine(line));
    EXPECT_EQ(line, QStringLiteral("keep"));
}

TEST(TextFile, ReopenStartsAfresh) {
    TempFiles files;
    const QString first = files.Write(A("a\rb\nc"));
    const QString second = files.Write(Cat({H("FF FE"), LE(u"x\ny")}));
    CNonStdioFile file;
    QString line;
    ASSERT_TRUE(file.OpenText(first, AnsiOem));
    ASSERT_TRUE(file.ReadLine(line));  // 'b' is now pushed back
    EXPECT_EQ(line, QStringLiteral("a"));
    // Opening another file forgets the pushed-back character and the window.
    ASSERT_TRUE(file.OpenText(second, Auto));
    EXPECT_EQ(file.EncodingInForce(), int(Unicode));
    Lines lines;
    while (file.ReadLine(line)) lines.push_back(ToU16(line));
    EXPECT_EQ(Show(lines), Show(Lines{u"x", u"y"}));
    // An ended reader reads again once reopened, from the first byte.
    ASSERT_TRUE(file.OpenText(first, Auto));
    EXPECT_EQ(file.EncodingInForce(), int(AnsiOem));
    lines.clear();
    while (file.ReadLine(line)) lines.push_back(ToU16(line));
    EXPECT_EQ(Show(lines), Show(Lines{u"a", u"b", u"c"}));
}

TEST(TextFile, ReopenAfterInvalidUtf8) {
    TempFiles files;
    const QString bad = files.Write(H("61 0A 62 FF 63"));
    CNonStdioFile file;
    QString line;
    ASSERT_TRUE(file.OpenText(bad, Utf8));
    Lines lines;
    while (file.ReadLine(line)) lines.push_back(ToU16(line));
    EXPECT_EQ(Show(lines), Show(Lines{u"a", u"b\uFFFDc"}));
    // The same file as ANSI reads the byte as a character.
    ASSERT_TRUE(file.OpenText(bad, AnsiOem));
    lines.clear();
    while (file.ReadLine(line)) lines.push_back(ToU16(line));
    EXPECT_EQ(Show(lines), Show(Lines{u"a", u"b\u00FFc"}));
}

TEST(TextFile, OpenSettlesEncodingInForce) {
    TempFiles files;
    const QString plain = files.Write(A("x"));
    for (int encoding = AnsiOem; encoding <= Utf8; ++encoding) {
        CNonStdioFile file;
        ASSERT_TRUE(file.OpenText(plain, encoding));
        EXPECT_EQ(file.EncodingInForce(), encoding);
    }
}

// ---------------------------------------------------------------------------------
// Long lines and the read window.

TEST(TextFile, LongLinesInEveryEncoding) {
    TempFiles files;
    std::u16string longLine;
    for (int i = 0; i < 5000; ++i) longLine.push_back(char16_t(i % 3 == 0 ? 0x00E9 : 'a' + i % 26));
    std::string ascii;
    for (int i = 0; i < 5000; ++i) ascii.push_back(char('a' + i % 26));
    Bytes utf8;
    for (char16_t u : longLine) {
        if (u < 0x80) {
            utf8.push_back(uint8_t(u));
        } else {
            utf8.push_back(uint8_t(0xC0 | u >> 6));
            utf8.push_back(uint8_t(0x80 | (u & 0x3F)));
        }
    }
    const Bytes asciiBytes(ascii.begin(), ascii.end());
    const std::u16string asciiLine(ascii.begin(), ascii.end());
    struct {
        Bytes bytes;
        int encoding;
        Lines lines;
    } rows[] = {
        {Cat({asciiBytes, A("\r\n"), asciiBytes}), AnsiOem, {asciiLine, asciiLine}},
        {Cat({utf8, A("\n"), utf8}), Utf8, {longLine, longLine}},
        {Cat({LE(longLine), LE(u"\r\n"), LE(longLine)}), Unicode, {longLine, longLine}},
        {Cat({H("FE FF"), BE(longLine), BE(u"\r"), BE(longLine)}), Auto, {longLine, longLine}},
    };
    for (const auto& row : rows) {
        const ReadResult r = ReadAll(files.Write(row.bytes), row.encoding);
        ASSERT_EQ(r.lines.size(), row.lines.size());
        for (size_t i = 0; i < r.lines.size(); ++i) EXPECT_TRUE(r.lines[i] == row.lines[i]) << "line " << i;
    }
}

// A construct placed at each offset around the first window boundary.
TEST(TextFile, ConstructsAcrossTheFirstWindowBoundary) {
    TempFiles files;
    for (int start = 1016; start <= 1030; ++start) {
        SCOPED_TRACE(start);
        // ANSI: CR LF straddling the boundary is one terminator.
        {
            const Bytes bytes = Cat({Bytes(size_t(start), 'x'), A("\r\ny")});
            const Lines lines = ReadAll(files.Write(bytes), AnsiOem).lines;
            ASSERT_EQ(lines.size(), 2u);
            EXPECT_EQ(lines[0].size(), size_t(start));
            EXPECT_EQ(Show(lines[1]), "y");
        }
        // UTF-8: a three-byte and a four-byte character.
        {
            const Bytes bytes = Cat({Bytes(size_t(start), 'x'), H("E2 82 AC F0 9F 98 80 0D 0A 79")});
            const Lines lines = ReadAll(files.Write(bytes), Utf8).lines;
            ASSERT_EQ(lines.size(), 2u);
            EXPECT_EQ(Show(lines[0]), std::string(size_t(start), 'x') + "\\u20AC\\uFFFD");
            EXPECT_EQ(Show(lines[1]), "y");
        }
        // UTF-16 (units start at even offsets only): a surrogate pair, then CR LF.
        if (start % 2 == 0) {
            const std::u16string head(size_t(start / 2), u'x');
            const Bytes le = Cat({LE(head), LE({0xD83D, 0xDE00, '\r', '\n', 'y'})});
            const Lines lines = ReadAll(files.Write(le), Unicode).lines;
            ASSERT_EQ(lines.size(), 2u);
            EXPECT_EQ(Show(lines[0]), std::string(size_t(start / 2), 'x') + "\\uFFFD");
            EXPECT_EQ(Show(lines[1]), "y");
            // With a mark the units sit two bytes further on.
            const Bytes be = Cat({H("FE FF"), BE(head.substr(1)), BE({0xD83D, 0xDE00, '\r', '\n', 'y'})});
            const Lines beLines = ReadAll(files.Write(be), Auto).lines;
            ASSERT_EQ(beLines.size(), 2u);
            EXPECT_EQ(Show(beLines[0]), std::string(size_t(start / 2 - 1), 'x') + "\\uFFFD");
            EXPECT_EQ(Show(beLines[1]), "y");
        }
    }
}

// ---------------------------------------------------------------------------------
// Property: the reader agrees with a reference decoder that works on the whole file
// held in memory, for long generated inputs with constructs straddling the window
// boundaries at every offset.

// The Windows-1252 values of the high bytes the generator uses for ANSI text.
const std::map<uint8_t, char16_t> kAnsiHigh = {
    {0x80, 0x20AC}, {0x81, 0x0081}, {0x85, 0x2026}, {0x8A, 0x0160}, {0x9C, 0x0153},
    {0x9F, 0x0178}, {0xA0, 0x00A0}, {0xBB, 0x00BB}, {0xBF, 0x00BF}, {0xE9, 0x00E9}, {0xEF, 0x00EF},
    {0xFE, 0x00FE}, {0xFF, 0x00FF},
};

struct Reference {
    int encoding;
    Lines lines;
};

// The whole-file reference, with ANSI bytes mapped through the table above rather
// than through the converter the reader uses.
Reference ReferenceRead(const Bytes& b, int requested) {
    const TextReference t = DecodeTextReference(b.data(), b.size(), requested, [](const std::string& bytes) {
        std::u16string line;
        for (char c : bytes) {
            const uint8_t byte = uint8_t(c);
            line.push_back(byte < 0x80 ? char16_t(byte) : kAnsiHigh.at(byte));
        }
        return line;
    });
    return {t.encoding, Lines(t.lines.begin(), t.lines.end())};
}

// Sanity of the reference itself on a few known answers, so that the property below
// compares against something trustworthy.
TEST(TextFileReference, KnownAnswers) {
    EXPECT_EQ(Show(ReferenceRead(A("a\r\nb\rc\n"), AnsiOem).lines), Show(Lines{u"a", u"b", u"c"}));
    EXPECT_EQ(Show(ReferenceRead(H("61 F0 9F 98 80 0A C3 28 62"), Utf8).lines), Show(Lines{u"a\uFFFD", u"\uFFFD(b"}));
    EXPECT_EQ(Show(ReferenceRead(H("61 E2 82"), Utf8).lines), Show(Lines{u"a\uFFFD"}));
    EXPECT_EQ(Show(ReferenceRead(LE({'a', 0xD800, '\n', 'b', 0xDC00}), Unicode).lines), Show(Lines{u"a\uFFFD", u"b\uFFFD"}));
    EXPECT_EQ(Show(ReferenceRead(Cat({H("FE FF"), BE({'a', 0x2028, 0xFEFF})}), Auto).lines), Show(Lines{u"a"}));
    EXPECT_EQ(ReferenceRead(H("EF BB"), Auto).encoding, int(AnsiOem));
    EXPECT_EQ(Show(ReferenceRead(H("80 85 0D"), AnsiOem).lines), Show(Lines{u"\u20AC\u2026"}));
}

// Appends characters of one encoding.
class Writer {
public:
    explicit Writer(int encoding) : encoding_(encoding) {}
    Bytes bytes;

    int UnitSize() const { return encoding_ == Unicode || encoding_ == UnicodeBigEndian ? 2 : 1; }
    void Unit(char16_t u) {
        if (encoding_ == Unicode) {
            bytes.push_back(uint8_t(u & 0xFF));
            bytes.push_back(uint8_t(u >> 8));
        } else if (encoding_ == UnicodeBigEndian) {
            bytes.push_back(uint8_t(u >> 8));
            bytes.push_back(uint8_t(u & 0xFF));
        } else {
            bytes.push_back(uint8_t(u));
        }
    }
    // A code point in the encoding (UTF-8 or UTF-16; ANSI takes the byte).
    void Point(char32_t cp) {
        if (encoding_ == Utf8) {
            if (cp < 0x80) {
                bytes.push_back(uint8_t(cp));
            } else if (cp < 0x800) {
                bytes.push_back(uint8_t(0xC0 | cp >> 6));
                bytes.push_back(uint8_t(0x80 | (cp & 0x3F)));
            } else if (cp < 0x10000) {
                bytes.push_back(uint8_t(0xE0 | cp >> 12));
                bytes.push_back(uint8_t(0x80 | (cp >> 6 & 0x3F)));
                bytes.push_back(uint8_t(0x80 | (cp & 0x3F)));
            } else {
                bytes.push_back(uint8_t(0xF0 | cp >> 18));
                bytes.push_back(uint8_t(0x80 | (cp >> 12 & 0x3F)));
                bytes.push_back(uint8_t(0x80 | (cp >> 6 & 0x3F)));
                bytes.push_back(uint8_t(0x80 | (cp & 0x3F)));
            }
        } else if (encoding_ == AnsiOem) {
            // The code page's byte for the character, or a stand-in one.
            uint8_t byte = cp < 0x80 ? uint8_t(cp) : 0xE9;
            for (const auto& [b, value] : kAnsiHigh)
                if (value == cp) byte = b;
            bytes.push_back(byte);
        } else if (cp >= 0x10000) {
            Unit(char16_t(0xD800 + ((cp - 0x10000) >> 10)));
            Unit(char16_t(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            Unit(char16_t(cp));
        }
    }
    void Raw(const Bytes& b) { bytes.insert(bytes.end(), b.begin(), b.end()); }

    // One random character (or short group) of ordinary text, terminators included.
    void Random(std::mt19937& rng) {
        const int pick = int(rng() % 100);
        if (pick < 55) {
            Point(char32_t('a' + rng() % 26));
            return;
        }
        if (pick < 60) return Point(' ');
        if (pick < 64) return Point('\n');
        if (pick < 67) {
            Point('\r');
            Point('\n');
            return;
        }
        if (pick < 69) return Point('\r');
        if (pick < 70) return Point(rng() % 2 ? 0 : 11);
        if (pick < 71) return Point(rng() % 2 ? 9 : 12);
        if (encoding_ == AnsiOem) {
            auto it = kAnsiHigh.begin();
            std::advance(it, rng() % kAnsiHigh.size());
            bytes.push_back(it->first);
            return;
        }
        static const char32_t unicodePool[] = {0x00E9, 0x20AC, 0x4E2D, 0x0153, 0x1F600, 0x10437, 0x0085, 0x2028,
                                               0x2029, 0xFEFF,  0xFFFE, 0xFFFF, 0xFDD0,  0xFDEF,  0xFDCF, 0xFFFD,
                                               0x0100, 0x0A0D,  0x0D0A};
        const char32_t cp = unicodePool[rng() % std::size(unicodePool)];
        if (cp == 0x0A0D || cp == 0x0D0A) {
            if (encoding_ != Utf8) return Unit(char16_t(cp));  // high bytes that look like terminators
            return Point('x');
        }
        if (pick < 74 && encoding_ != Utf8) {
            // A lone surrogate: a replacement character, the next unit kept.
            return Unit(char16_t(rng() % 2 ? 0xD800 + rng() % 0x400 : 0xDC00 + rng() % 0x400));
        }
        if (pick < 74 && encoding_ == Utf8) {
            // A surrogate written in three bytes: decoded, then dropped.
            bytes.push_back(0xED);
            bytes.push_back(uint8_t(0xA0 + rng() % 0x20));
            bytes.push_back(uint8_t(0x80 + rng() % 0x40));
            return;
        }
        Point(cp);
    }

    // Random text up to the target size, padded with single units so that the next
    // construct starts exactly at `target`.
    void FillTo(size_t target, std::mt19937& rng) {
        const size_t longest = 4;
        while (bytes.size() + longest + size_t(UnitSize()) <= target) Random(rng);
        while (bytes.size() < target) Point('p');
    }

private:
    int encoding_;
};

struct Construct {
    const char* name;
    Bytes (*bytes)(int encoding);
};

Bytes InEncoding(int encoding, std::initializer_list<char32_t> points) {
    Writer w(encoding);
    for (char32_t cp : points) w.Point(cp);
    return w.bytes;
}

const Construct kConstructs[] = {
    {"CrLf", [](int e) { return InEncoding(e, {'\r', '\n'}); }},
    {"CrThenText", [](int e) { return InEncoding(e, {'\r', 'q'}); }},
    {"CrCrLf", [](int e) { return InEncoding(e, {'\r', '\r', '\n'}); }},
    {"LfLf", [](int e) { return InEncoding(e, {'\n', '\n'}); }},
    {"CrNul", [](int e) { return InEncoding(e, {'\r', 0}); }},
    {"AnsiHigh", [](int e) { return e == AnsiOem ? H("80 85 0D 0A E9 FF") : InEncoding(e, {0xE9, '\r', '\n', 0x20AC}); }},
    {"Astral", [](int e) { return InEncoding(e, {0x1F600, 0x1F600, 'z'}); }},
    {"ThreeByte", [](int e) { return InEncoding(e, {0x20AC, 0x4E2D}); }},
    {"TwoByte", [](int e) { return InEncoding(e, {0x00E9, 0x00E9, 0x00E9}); }},
    {"Separators", [](int e) { return InEncoding(e, {'\r', 0x2028, 0x0085, 0x2029}); }},
    {"Dropped", [](int e) { return InEncoding(e, {0xFEFF, 0xFFFF, 0xFDD0, 'k'}); }},
    {"LoneSurrogate", [](int e) {
         if (e == Unicode || e == UnicodeBigEndian) {
             Writer w(e);
             w.Unit(0xDBFF);
             w.Unit('\n');
             w.Unit('k');
             return w.bytes;
         }
         return InEncoding(e, {'k'});
     }},
};

enum class Mark { None, LittleEndian, BigEndian, Utf8 };

struct PropertyEncoding {
    const char* name;
    int encoding;        // passed to OpenText
    int contentEncoding; // how the text after the mark is written
    Mark mark;
};

const PropertyEncoding kPropertyEncodings[] = {
    {"Ansi", AnsiOem, AnsiOem, Mark::None},
    {"Unicode", Unicode, Unicode, Mark::None},
    {"UnicodeBigEndian", UnicodeBigEndian, UnicodeBigEndian, Mark::None},
    {"Utf8", Utf8, Utf8, Mark::None},
    {"Utf8WithMark", Utf8, Utf8, Mark::Utf8},
    {"AutoAnsi", Auto, AnsiOem, Mark::None},
    {"AutoLittleEndian", Auto, Unicode, Mark::LittleEndian},
    {"AutoBigEndian", Auto, UnicodeBigEndian, Mark::BigEndian},
    {"AutoUtf8", Auto, Utf8, Mark::Utf8},
};

Bytes MarkBytes(Mark m) {
    switch (m) {
    case Mark::LittleEndian: return H("FF FE");
    case Mark::BigEndian: return H("FE FF");
    case Mark::Utf8: return H("EF BB BF");
    case Mark::None: break;
    }
    return {};
}

void ExpectSameAsReference(const QString& path, const Bytes& bytes, int encoding, const std::string& what) {
    const Reference expected = ReferenceRead(bytes, encoding);
    const ReadResult actual = ReadAll(path, encoding);
    ASSERT_TRUE(actual.opened) << what;
    EXPECT_EQ(actual.encodingInForce, expected.encoding) << what;
    ASSERT_EQ(actual.lines.size(), expected.lines.size()) << what;
    for (size_t i = 0; i < actual.lines.size(); ++i)
        EXPECT_EQ(Show(actual.lines[i]), Show(expected.lines[i])) << what << ", line " << i;
}

TEST(TextFileProperty, ConstructsAtEveryOffsetAroundWindowBoundaries) {
    TempFiles files;
    std::mt19937 rng(20240613);
    int compared = 0;
    for (const PropertyEncoding& pe : kPropertyEncodings) {
        for (const Construct& construct : kConstructs) {
            for (size_t offset = 1020; offset <= 1028; ++offset) {
                Writer w(pe.contentEncoding);
                w.Raw(MarkBytes(pe.mark));
                if ((offset - w.bytes.size()) % size_t(w.UnitSize()) != 0) continue;  // UTF-16 units are aligned
                const Bytes piece = construct.bytes(pe.contentEncoding);
                // The construct at `offset` past each of the first four boundaries but one.
                for (size_t k = 0; k < 4; ++k) {
                    w.FillTo(offset + k * 1024, rng);
                    w.Raw(piece);
                }
                w.FillTo(w.bytes.size() + 300 + rng() % 700, rng);
                const std::string what = std::string(pe.name) + "/" + construct.name + "@" + std::to_string(offset);
                ExpectSameAsReference(files.Write(w.bytes), w.bytes, pe.encoding, what);
                ++compared;
            }
        }
    }
    EXPECT_GT(compared, 500);
}

// Random texts of several kilobytes, some ending in a cut or invalid UTF-8 sequence or
// a leftover UTF-16 byte.
TEST(TextFileProperty, RandomLongTexts) {
    TempFiles files;
    std::mt19937 rng(77);
    for (const PropertyEncoding& pe : kPropertyEncodings) {
        for (int round = 0; round < 12; ++round) {
            Writer w(pe.contentEncoding);
            w.Raw(MarkBytes(pe.mark));
            const size_t size = 3000 + rng() % 6000;
            while (w.bytes.size() < size) w.Random(rng);
            switch (round % 4) {
            case 1: w.Raw(H("0D")); break;
            case 2: w.Raw(pe.contentEncoding == Utf8 ? H("E2 82") : H("41")); break;
            case 3:
                // Invalid UTF-8; an odd byte that shifts every later UTF-16 unit.
                w.Raw(pe.contentEncoding == Utf8 ? H("C3 28 61 0A 62") : pe.contentEncoding == AnsiOem ? H("0D 0D 0A 85") : H("D8"));
                for (int k = 0; k < 100; ++k) w.Random(rng);
                break;
            default: break;
            }
            const std::string what = std::string(pe.name) + " round " + std::to_string(round);
            ExpectSameAsReference(files.Write(w.bytes), w.bytes, pe.encoding, what);
        }
    }
}

}  // namespace

namespace {

// A pipe without a writer would block the text thread for ever and a device never
// ends: only regular files are read, and never more than the cap.
TEST(TextFileLimits, OnlyRegularFilesWithinTheCap) {
    TempFiles files;
    const QString fifo = files.Path(QStringLiteral("pipe.txt"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    ASSERT_TRUE(QDir().mkpath(files.Path(QStringLiteral("folder"))));
    for (const QString& path : {fifo, QStringLiteral("/dev/zero"), files.Path(QStringLiteral("folder"))}) {
        CNonStdioFile file;
        EXPECT_FALSE(file.OpenText(path, Auto)) << path.toStdString();
        EXPECT_EQ(file.Refusal(), FileRefusal::NotRegularFile) << path.toStdString();
    }
    CNonStdioFile missing;
    EXPECT_FALSE(missing.OpenText(files.Path(QStringLiteral("missing.txt")), Auto));
    EXPECT_EQ(missing.Refusal(), FileRefusal::OpenFailed);

    const QString path = files.Write(A("one\ntwo\nthree\n"));  // 14 bytes
    const struct {
        qint64 cap;
        Lines lines;
        bool capped;
    } cases[] = {
        {14, {u"one", u"two", u"three"}, false},
        {1000, {u"one", u"two", u"three"}, false},
        {8, {u"one", u"two"}, true},
        {6, {u"one", u"tw"}, true},
        {0, {}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cap);
        CNonStdioFile file;
        ASSERT_TRUE(file.OpenText(path, AnsiOem, c.cap));
        Lines lines;
        QString line;
        while (file.ReadLine(line)) lines.push_back(ToU16(line));
        EXPECT_TRUE(lines == c.lines);
        EXPECT_EQ(file.Capped(), c.capped);
    }
}

}  // namespace
