// RTF reading and writing, the code pages under them, and the rich text control's
// editing calls.
#include "base/CodePage.h"
#include "text/RichEdit.h"
#include "text/Rtf.h"

#include <QColor>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace {

const QByteArray Sample =
    "{\\rtf1\\ansi\\ansicpg1251\\deff0\\deflang1049{\\fonttbl{\\f0\\fnil\\fcharset0 Arial;}{\\f1\\fnil\\fcharset204{\\*"
    "\\fname Arial;}Arial CYR;}}\r\n{\\colortbl ;\\red255\\green255\\blue255;}\r\n\\viewkind4\\uc1\\pard\\cf1\\lang1033"
    "\\b\\fs56 %1%\\lang1049\\f1\\par\r\n}\r\n";

const QTextCharFormat& DefaultFormat() {
    static const QTextCharFormat format = [] {
        CRichEditExCtrl control(1, false);
        return control.defaultFormat;
    }();
    return format;
}

Rtf::ReadResult Read(QByteArrayView bytes, QTextDocument& document, int codePage = 1252) {
    return Rtf::Read(bytes, document, DefaultFormat(), codePage);
}

// The document's text with paragraph breaks as '\n' and everything else as stored
// (line separators, no-break spaces), so that no two readings can look alike by accident.
QString Text(const QTextDocument& document) {
    QString text = document.toRawText();
    text.replace(QChar::ParagraphSeparator, u'\n');
    return text;
}

// The format of the character at position i.
QTextCharFormat FormatAt(const QTextDocument& document, int i) {
    QTextCursor cursor(const_cast<QTextDocument*>(&document));
    cursor.setPosition(i + 1);
    return cursor.charFormat();
}

double Rounded(double v) { return std::round(v * 1000.0) / 1000.0; }

// The character properties the renderer draws with.
struct CharLook {
    QString family;
    double points = 0;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    QRgb colour = 0;
    QRgb background = 0;  // 0: none
    int vertical = 0;
    double offset = 0;
    bool operator==(const CharLook&) const = default;
};

void PrintTo(const CharLook& l, std::ostream* os) {
    *os << l.family.toStdString() << ' ' << l.points << "pt b" << l.bold << " i" << l.italic << " u" << l.underline
        << " s" << l.strike << " fg" << std::hex << l.colour << " bg" << l.background << std::dec << " v" << l.vertical
        << " off" << l.offset;
}

CharLook LookOf(const QTextCharFormat& f) {
    CharLook l;
    const QStringList families = f.fontFamilies().toStringList();
    l.family = families.isEmpty() ? QString() : families.first();
    l.points = Rounded(f.fontPointSize());
    l.bold = f.fontWeight() >= QFont::Bold;
    l.italic = f.fontItalic();
    l.underline = f.fontUnderline();
    l.strike = f.fontStrikeOut();
    l.colour = f.foreground().color().rgba();
    l.background = f.background().style() == Qt::NoBrush ? 0 : f.background().color().rgba();
    l.vertical = int(f.verticalAlignment());
    l.offset = Rounded(f.baselineOffset());
    return l;
}

CharLook DefaultLook() { return LookOf(DefaultFormat()); }

struct ParaLook {
    int align = 0;
    double left = 0, right = 0, indent = 0, top = 0, bottom = 0;
    int heightType = 0;
    double height = 0;
    bool operator==(const ParaLook&) const = default;
};

void PrintTo(const ParaLook& p, std::ostream* os) {
    *os << "align " << p.align << " l" << p.left << " r" << p.right << " fi" << p.indent << " sb" << p.top << " sa"
        << p.bottom << " h" << p.heightType << ':' << p.height;
}

ParaLook LookOf(const QTextBlockFormat& f) {
    ParaLook p;
    p.align = int(f.alignment() & Qt::AlignHorizontal_Mask);
    p.left = Rounded(f.leftMargin());
    p.right = Rounded(f.rightMargin());
    p.indent = Rounded(f.textIndent());
    p.top = Rounded(f.topMargin());
    p.bottom = Rounded(f.bottomMargin());
    p.heightType = f.lineHeightType();
    p.height = Rounded(f.lineHeight());
    return p;
}

// Same text, same character looks at every position, same paragraph looks.
void ExpectSameDocument(const QTextDocument& expected, const QTextDocument& actual) {
    ASSERT_EQ(Text(actual), Text(expected));
    ASSERT_EQ(actual.blockCount(), expected.blockCount());
    QTextBlock b = actual.begin();
    for (QTextBlock a = expected.begin(); a.isValid(); a = a.next(), b = b.next()) {
        EXPECT_EQ(LookOf(b.blockFormat()), LookOf(a.blockFormat())) << "paragraph " << a.blockNumber();
        for (int i = a.position(); i < a.position() + a.length() - 1; ++i)
            EXPECT_EQ(LookOf(FormatAt(actual, i)), LookOf(FormatAt(expected, i))) << "character " << i;
    }
}

// Writes the document, checks the bytes are 7-bit RTF, and reads them back.
QByteArray RoundTrip(const QTextDocument& document, int codePage, QTextDocument& back) {
    const QByteArray written = Rtf::Write(document, codePage);
    EXPECT_TRUE(written.startsWith("{\\rtf1\\ansi\\ansicpg" + QByteArray::number(codePage)));
    for (const char c : written) EXPECT_LT(static_cast<unsigned char>(c), 0x80) << written.constData();
    const Rtf::ReadResult r = Read(written, back, 1252);
    EXPECT_TRUE(r.rtf);
    EXPECT_EQ(r.codePage, codePage);
    return written;
}

QByteArray Rtf1(const QByteArray& body) { return "{\\rtf1\\ansi\\deff0 " + body + "}"; }

// Control words, then text: the space that ends the last word only when there is one
// (after a group it would be text).
QByteArray Words(const QByteArray& words, const char* text) {
    return words.isEmpty() || words.endsWith('}') ? words + text : words + ' ' + text;
}

}  // namespace

// ---------------------------------------------------------------------------------
// Reading

TEST(RtfRead, WindowsTemplateIsBoldWhiteArialWithAnEmptyParagraph) {
    QTextDocument document;
    const Rtf::ReadResult r = Read(Sample, document);
    EXPECT_TRUE(r.rtf);
    EXPECT_EQ(r.codePage, 1251);
    ASSERT_EQ(Text(document), QStringLiteral("%1%\n"));
    CharLook expected = DefaultLook();
    expected.bold = true;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(LookOf(FormatAt(document, i)), expected) << i;
    EXPECT_EQ(expected.family, QStringLiteral("Arial"));
    EXPECT_EQ(expected.points, 28);
    EXPECT_EQ(expected.colour, qRgb(255, 255, 255));
    // The empty paragraph is in \f1, whose real family {\*\fname} names.
    const QTextCharFormat empty = document.lastBlock().charFormat();
    EXPECT_EQ(empty.fontFamilies().toStringList(), QStringList{QStringLiteral("Arial")});
    EXPECT_EQ(empty.intProperty(Rtf::CharsetProperty), 204);
}

TEST(RtfRead, FontTableGivesFamilies) {
    const struct {
        const char* table;
        const char* family;
    } cases[] = {
        {"{\\f0\\froman Times New Roman;}", "Times New Roman"},
        {"{\\f0\\fnil\\fcharset204 Arial CYR;}", "Arial"},  // a script variant stands for its base font
        {"{\\f0\\fnil\\fcharset238 Verdana CE;}", "Verdana"},
        {"{\\f0\\fnil\\fcharset161{\\*\\fname Courier New;}Courier New Greek;}", "Courier New"},
        {"{\\f0\\fswiss{\\*\\panose 020b0604020202020204}{\\*\\falt Helv}Tahoma;}", "Tahoma"},
        {"\\f0\\fswiss Tahoma;\\f1\\froman Georgia;", "Tahoma"},  // entries without their own groups
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.table);
        QTextDocument document;
        Read(Rtf1(QByteArray("{\\fonttbl") + c.table + "}x"), document);
        ASSERT_EQ(Text(document), QStringLiteral("x"));
        EXPECT_EQ(LookOf(FormatAt(document, 0)).family, QString::fromLatin1(c.family));
    }
}

TEST(RtfRead, CodePagesDecodeEscapedBytes) {
    const struct {
        const char* rtf;
        const char16_t* text;
        int codePage;
    } cases[] = {
        {"{\\rtf1\\ansi\\ansicpg1250 \\'8a\\'e8}", u"Šč", 1250},
        {"{\\rtf1\\ansi\\ansicpg1251 \\'cf\\'f0\\'e8\\'e2\\'e5\\'f2}", u"Привет", 1251},
        {"{\\rtf1\\ansi\\ansicpg1252 \\'e9\\'80}", u"é€", 1252},
        {"{\\rtf1\\ansi\\ansicpg1253 \\'e1\\'e2\\'e3}", u"αβγ", 1253},
        {"{\\rtf1\\ansi\\ansicpg1254 \\'f0}", u"ğ", 1254},
        {"{\\rtf1\\ansi\\ansicpg1255 \\'e0}", u"א", 1255},
        {"{\\rtf1\\ansi\\ansicpg1256 \\'c7}", u"ا", 1256},
        {"{\\rtf1\\ansi\\ansicpg1257 \\'e0}", u"ą", 1257},
        {"{\\rtf1\\ansi\\ansicpg1258 \\'f0}", u"đ", 1258},
        // Raw 8-bit bytes are text in the code page too.
        {"{\\rtf1\\ansi\\ansicpg1251 \xcf\xf0}", u"Пр", 1251},
        // A font's character set decides, whatever the document's code page.
        {"{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset204 Arial CYR;}}\\f1\\'c4\\'e0 \\f0\\'c4}",
         u"Да Ä", 1252},
        {"{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset238 Arial CE;}}\\'e8\\f1\\'e8}", u"èč", 1252},
        {"{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset161 Arial Greek;}}{\\f1\\'e1}\\'e1}", u"αá",
         1252},
        // Character set 0 is Western whatever the document's code page; 1 is the document's.
        {"{\\rtf1\\ansi\\ansicpg932{\\fonttbl{\\f0\\fcharset0 Arial;}}\\f0 a\\'85b}", u"a…b", 932},
        {"{\\rtf1\\ansi\\ansicpg1251{\\fonttbl{\\f0\\fcharset0 Arial;}{\\f1\\fcharset1 Arial;}}"
         "\\f0 caf\\'e9 na\\'efve \\f1\\'e9}",
         u"café naïve й", 1251},
        {"{\\rtf1\\ansi\\ansicpg1251{\\fonttbl{\\f0\\fcharset0 Arial;}}\\f0 \xe9}", u"é", 1251},
        // \deff picks the font of text without \f.
        {"{\\rtf1\\ansi\\ansicpg1252\\deff1{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset204 Arial CYR;}}\\'c4}", u"Д", 1252},
        // Double-byte code pages keep a character's two bytes together.
        {"{\\rtf1\\ansi\\ansicpg932 \\'82\\'a0}", u"あ", 932},
        // RTF is 7-bit: code pages that do not read ASCII as ASCII cannot be the document's.
        {"{\\rtf1\\ansi\\ansicpg1200 ab\\'e9}", u"abé", 1250},
        {"{\\rtf1\\ansi\\ansicpg65000 a+AGE-}", u"a+AGE-", 1250},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rtf);
        QTextDocument document;
        const Rtf::ReadResult r = Read(QByteArray(c.rtf), document, 1250);
        EXPECT_TRUE(r.rtf);
        EXPECT_EQ(r.codePage, c.codePage);
        EXPECT_EQ(Text(document), QString::fromUtf16(c.text));
    }
}

TEST(RtfRead, UnicodeCharactersSkipTheirFallbacks) {
    const struct {
        const char* body;
        const char16_t* text;
    } cases[] = {
        {"\\u1055?\\u1088?x", u"Прx"},  // \uc1 is the default
        {"\\uc1\\u1055?\\u1088?x", u"Прx"},
        {"\\uc0\\u1055\\u1088 x", u"Прx"},
        {"\\uc2\\u1055??x", u"Пx"},
        {"\\uc1\\u1055\\'cfx", u"Пx"},        // the fallback is an escaped byte
        {"\\uc2\\u1055\\'cf\\'f0x", u"Пx"},
        {"\\uc1\\u1055\\tab x", u"Пx"},        // a control word is one fallback character
        {"{\\uc2\\u1055??}\\u1088?x", u"Прx"},  // \uc belongs to its group
        {"{\\uc3\\u1055?}x", u"Пx"},            // the group's end ends the fallback
        {"\\u-3913?", u"\uF0B7"},
        {"\\u8364?", u"€"},
        {"\\u-10179?\\u-8704?", u"\U0001F600"},  // a surrogate pair
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        QTextDocument document;
        Read(Rtf1(c.body), document);
        EXPECT_EQ(Text(document), QString::fromUtf16(c.text));
    }
}

TEST(RtfRead, TextWordsAndDestinations) {
    const struct {
        const char* body;
        const char16_t* text;
    } cases[] = {
        {"a\\par b", u"a\nb"},
        {"a\\line b", u"a\u2028b"},
        {"a\\tab b", u"a\tb"},
        {"a\r\nb", u"ab"},      // raw line breaks are no text
        {"a\\\r\nb", u"a\nb"},  // an escaped one is a paragraph
        {"\\{\\}\\\\", u"{}\\"},
        {"a\\~b\\-c\\_d", u"a\u00A0b\u00ADc\u2011d"},
        {"\\emdash\\endash\\bullet\\lquote\\rquote\\ldblquote\\rdblquote", u"\u2014\u2013\u2022\u2018\u2019\u201C\u201D"},
        {"\\foo a\\bar12 b\\baz-3 c", u"abc"},
        {"\\thisisacontrolwordlongerthanthirtytwoletters a", u"a"},
        {"{\\stylesheet{\\s0\\snext0 Normal;}{\\s1 heading 1;}}a", u"a"},
        {"{\\info{\\title T}{\\author A}{\\creatim\\yr2024}}a", u"a"},
        {"{\\*\\generator Riched20 10.0.19041;}a", u"a"},
        {"a{\\*\\unknown x{y}z}b", u"ab"},
        {"{\\field{\\*\\fldinst HYPERLINK \"http://x\"}{\\fldrslt link}}", u"link"},
        {"{\\pict\\pngblip 89504e470d0a}a", u"a"},
        {"\\v hidden\\v0 shown", u"shown"},
        {"a\\'01\\u2?b\\'09c\\u-4?", u"ab\tc"},  // control characters and lone object marks are no text
        {"a\\bin3 {}\\b", u"ab"},        // binary bytes are never text nor syntax
        {"{\\*\\blob\\bin2 }}}x", u"x"},
        {"a\\bin99 xyz", u"a"},          // a count beyond the end
        {"a\\bin-5 b", u"ab"},
        // Tables: a tab between cells, a paragraph after each row, none after the last cell.
        {"\\trowd\\cellx1000\\cellx2000\\cellx3000\\pard\\intbl Name\\cell Team\\cell Score\\cell\\row"
         "\\pard\\intbl Alice\\cell Red\\cell 10\\cell\\row\\pard After\\par",
         u"Name\tTeam\tScore\nAlice\tRed\t10\nAfter\n"},
        {"\\intbl A\\cell\\cell C\\cell{\\trowd\\cellx1\\row}B", u"A\t\tC\nB"},  // an empty cell, \row in a group
        {"\\intbl \\cell\\par x\\cell\\row", u"\t\nx\n"},  // a cell that begins with an empty paragraph
        // Nested tables: cells and rows alike; the fallback for readers without them is skipped.
        {"\\intbl Outer\\par\\itap2 a\\nestcell b\\nestcell{\\*\\nesttableprops\\trowd\\cellx1\\nestrow}"
         "{\\nonesttables\\par a b}\\itap1 tail\\cell\\row End",
         u"Outer\na\tb\ntail\nEnd"},
        {"\\itap2 a\\nestcell b\\nestcell\\nestrow c", u"a\tb\nc"},
        // A footnote keeps its mark in the text; its own text is skipped.
        {"Word{\\super\\chftn}{\\footnote\\pard{\\super\\chftn} The note.} and{\\super\\chftn}"
         "{\\footnote{\\super\\chftn} Two.}.",
         u"Word1 and2."},
        {"\\ftnstart5 x{\\chftn}{\\footnote{\\chftn} n}", u"x5"},
        {"{\\v\\chftn}x\\v\\cell\\v0 y", u"xy"},  // hidden marks and cells are nothing
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        QTextDocument document;
        Read(Rtf1(c.body), document);
        EXPECT_EQ(Text(document), QString::fromUtf16(c.text));
    }
}

TEST(RtfRead, CharacterFormatting) {
    const QByteArray head =
        "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\froman Times New Roman;}}"
        "{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}";
    const struct {
        const char* words;
        std::function<void(CharLook&)> change;
    } cases[] = {
        {"", [](CharLook&) {}},
        {"\\b", [](CharLook& l) { l.bold = true; }},
        {"\\b\\b0", [](CharLook&) {}},
        {"\\i", [](CharLook& l) { l.italic = true; }},
        {"\\ul", [](CharLook& l) { l.underline = true; }},
        {"\\uldb", [](CharLook& l) { l.underline = true; }},
        {"\\ul\\ulnone", [](CharLook&) {}},
        {"\\strike", [](CharLook& l) { l.strike = true; }},
        {"\\fs37", [](CharLook& l) { l.points = 18.5; }},
        {"\\fs999999", [](CharLook& l) { l.points = 1638; }},
        {"\\cf1", [](CharLook& l) { l.colour = qRgb(255, 0, 0); }},
        {"\\cf2", [](CharLook& l) { l.colour = qRgb(0, 0, 255); }},
        {"\\cf9", [](CharLook&) {}},  // no such colour: the default
        {"\\highlight2", [](CharLook& l) { l.background = qRgb(0, 0, 255); }},
        {"\\chcbpat1", [](CharLook& l) { l.background = qRgb(255, 0, 0); }},
        {"\\up6", [](CharLook& l) { l.offset = Rounded(3.0 / 28 * 100); }},
        {"\\fs40\\dn8", [](CharLook& l) { l.points = 20, l.offset = -20; }},
        {"\\super", [](CharLook& l) { l.vertical = QTextCharFormat::AlignSuperScript; }},
        {"\\sub", [](CharLook& l) { l.vertical = QTextCharFormat::AlignSubScript; }},
        {"\\f1", [](CharLook& l) { l.family = QStringLiteral("Times New Roman"); }},
        {"\\b\\i\\ul\\strike\\cf1\\highlight2\\fs20\\f1\\plain", [](CharLook&) {}},
        {"{\\b\\cf1}", [](CharLook&) {}},  // a group's formatting ends with it
        {"\\fs20{\\b\\fs30}", [](CharLook& l) { l.points = 10; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.words);
        QTextDocument document;
        Read(head + Words(c.words, "x") + "}", document);
        ASSERT_EQ(Text(document), QStringLiteral("x"));
        CharLook expected = DefaultLook();
        c.change(expected);
        EXPECT_EQ(LookOf(FormatAt(document, 0)), expected);
    }
}

TEST(RtfRead, ParagraphFormatting) {
    const struct {
        const char* words;
        std::function<void(ParaLook&)> change;
    } cases[] = {
        {"", [](ParaLook&) {}},
        {"\\qc", [](ParaLook& p) { p.align = Qt::AlignHCenter; }},
        {"\\qr", [](ParaLook& p) { p.align = Qt::AlignRight; }},
        {"\\qj", [](ParaLook& p) { p.align = Qt::AlignJustify; }},
        {"\\qr\\ql", [](ParaLook&) {}},
        {"\\qc\\li300\\pard", [](ParaLook&) {}},
        {"\\li720\\ri360\\fi-240", [](ParaLook& p) { p.left = 48, p.right = 24, p.indent = -16; }},
        {"\\li999999", [](ParaLook& p) { p.left = 2112; }},  // 22 inches at most
        {"\\sb120\\sa240", [](ParaLook& p) { p.top = 8, p.bottom = 16; }},
        {"\\sl360\\slmult1", [](ParaLook& p) { p.heightType = QTextBlockFormat::ProportionalHeight, p.height = 150; }},
        {"\\sl300", [](ParaLook& p) { p.heightType = QTextBlockFormat::MinimumHeight, p.height = 20; }},
        {"\\sl-300", [](ParaLook& p) { p.heightType = QTextBlockFormat::FixedHeight, p.height = 20; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.words);
        QTextDocument document;
        Read(Rtf1(Words(c.words, "x\\par y")), document);
        ASSERT_EQ(Text(document), QStringLiteral("x\ny"));
        ParaLook expected;
        expected.align = Qt::AlignLeft;
        c.change(expected);
        // The paragraph properties hold until \pard, so both paragraphs have them.
        EXPECT_EQ(LookOf(document.firstBlock().blockFormat()), expected);
        EXPECT_EQ(LookOf(document.lastBlock().blockFormat()), expected);
    }
}

TEST(RtfRead, ParagraphPropertiesBelongToTheParagraphTheyEnd) {
    QTextDocument document;
    Read(Rtf1("\\qc a\\par\\pard\\qr b\\par\\pard c"), document);
    ASSERT_EQ(document.blockCount(), 3);
    EXPECT_EQ(document.findBlockByNumber(0).blockFormat().alignment(), Qt::AlignHCenter);
    EXPECT_EQ(document.findBlockByNumber(1).blockFormat().alignment(), Qt::AlignRight);
    EXPECT_EQ(document.findBlockByNumber(2).blockFormat().alignment(), Qt::AlignLeft);
}

TEST(RtfRead, HostileInputReadsWhatItCan) {
    const struct {
        QByteArray rtf;
        const char16_t* text;
    } cases[] = {
        {"{\\rtf1 a{b{\\b c", u"abc"},  // never closed
        {"{\\rtf1 a}}}b}", u"a"},       // closed too often: nothing after the document
        {"{\\rtf1 {a}}b}{", u"a"},
        {"{\\rtf1 a\\'4", u"a"},  // a truncated escape
        {"{\\rtf1 a\\'4}b", u"a"},
        {"{\\rtf1 a\\'4g}", u"ag"},
        {"{\\rtf1 a\\", u"a"},  // a lone backslash at the end
        {"{\\rtf1 a\\u", u"a"},
        {"{\\rtf1 a\\uc99999\\u1055 bcd}", u"a\u041F"},
        {"{\\rtf1 \\fs99999999999999999999 a}", u"a"},
        {"{\\rtf1 \\cf-5\\highlight99999999\\f-7 a}", u"a"},
        {"{\\rtf1 {\\fonttbl{\\f0\\fcharset99999999 X;}}{\\colortbl\\red-5\\green99999;}a}", u"a"},
        {QByteArray("{\\rtf1 a\0b}", 11), u"ab"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rtf.constData());
        QTextDocument document;
        EXPECT_TRUE(Read(c.rtf, document).rtf);
        EXPECT_EQ(Text(document), QString::fromUtf16(c.text));
        const QTextCharFormat f = FormatAt(document, 0);
        EXPECT_GE(f.fontPointSize(), 1);
        EXPECT_LE(f.fontPointSize(), 1638);
    }
}

TEST(RtfRead, NestingDeeperThanTheLimitStaysInTheDeepestGroup) {
    const int depth = Rtf::MaxDepth + 50;
    const QByteArray rtf = "{\\rtf1 " + QByteArray(depth, '{') + "\\b x" + QByteArray(depth, '}') + "y}";
    QTextDocument document;
    Read(rtf, document);
    ASSERT_EQ(Text(document), QStringLiteral("xy"));
    EXPECT_TRUE(LookOf(FormatAt(document, 0)).bold);
    EXPECT_FALSE(LookOf(FormatAt(document, 1)).bold);
}

namespace {

long PeakResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

bool ResetPeakResident() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return bool(clear);
}

}  // namespace

TEST(RtfRead, MillionDeepNestingIsQuickAndSmall) {
    const int depth = 1000000;
    QByteArray rtf = "{\\rtf1 " + QByteArray(depth, '{');
    for (int k = 0; k < 1000; ++k) rtf += "\\b x{";
    rtf += QByteArray(depth + 1000, '}') + "y}";
    const bool measured = ResetPeakResident();
    const long before = PeakResidentKb();
    const auto start = std::chrono::steady_clock::now();
    QTextDocument document;
    Read(rtf, document);
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(Text(document), QString(1000, u'x') + u'y');
    EXPECT_LT(seconds, 5.0);
    // A group per level kept would take some 100 MB here.
    if (measured) {
        EXPECT_LT(PeakResidentKb() - before, 32 * 1024);
    }
}

TEST(RtfRead, RandomBytesAfterTheHeaderRoundTrip) {
    uint32_t seed = 12345;
    for (int round = 0; round < 20; ++round) {
        QByteArray rtf = "{\\rtf1\\ansi\\ansicpg1251 ";
        // Mostly syntax, so that groups, words and escapes get exercised.
        static const char alphabet[] = "{}\\'*uc0123456789abfsi- ;";
        for (int k = 0; k < 4000; ++k) {
            seed = seed * 1664525u + 1013904223u;
            const uint32_t r = seed >> 8;
            rtf += r % 4 == 0 ? char(r >> 8) : alphabet[(r >> 8) % (sizeof alphabet - 1)];
        }
        SCOPED_TRACE(round);
        QTextDocument document;
        ASSERT_TRUE(Read(rtf, document).rtf);
        QTextDocument back;
        RoundTrip(document, 1251, back);
        EXPECT_EQ(Text(back), Text(document));
    }
}

TEST(RtfRead, BytesThatAreNoRtfArePlainText) {
    const struct {
        QByteArray bytes;
        int codePage;
        const char16_t* text;
        bool rtf;
    } cases[] = {
        {"Gr\xfc\xdf" "e\r\nzwei\rdrei", 1252, u"Grüße\nzwei\ndrei", false},
        {"\xcf\xf0\xe8", 1251, u"При", false},
        {"a\x01\x1b" "b\tc", 1252, u"ab\tc", false},
        {"{\\rt", 1252, u"{\\rt", false},
        {"{\\pard x}", 1252, u"{\\pard x}", false},
        {"", 1252, u"", false},
        {" \r\n\t{\\rtf1 a}", 1252, u"a", true},  // white space before the header is allowed
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes.constData());
        QTextDocument document;
        const Rtf::ReadResult r = Read(c.bytes, document, c.codePage);
        EXPECT_EQ(r.rtf, c.rtf);
        EXPECT_EQ(r.codePage, c.codePage);
        EXPECT_EQ(Text(document), QString::fromUtf16(c.text));
        if (!Text(document).isEmpty()) {
            EXPECT_EQ(LookOf(FormatAt(document, 0)), DefaultLook());
        }
    }
}

TEST(RtfRead, ReplacesWhatTheDocumentHeld) {
    QTextDocument document;
    Read(Rtf1("{\\b first}\\par second"), document);
    Read(Rtf1("third"), document);
    EXPECT_EQ(Text(document), QStringLiteral("third"));
    EXPECT_FALSE(LookOf(FormatAt(document, 0)).bold);
}

// ---------------------------------------------------------------------------------
// Writing

namespace {

QTextCharFormat Format(const std::function<void(QTextCharFormat&)>& change) {
    QTextCharFormat f = DefaultFormat();
    change(f);
    return f;
}

}  // namespace

TEST(RtfWrite, RoundTripsKeepTextAndFormatting) {
    using Build = std::function<void(QTextCursor&)>;
    const auto plain = [](const QString& text) {
        return [text](QTextCursor& c) { c.insertText(text, DefaultFormat()); };
    };
    const struct {
        const char* name;
        int codePage;
        Build build;
        std::vector<const char*> mustHave;  // pieces of the written RTF
    } cases[] = {
        {"western", 1252, plain(QStringLiteral("Grüße, naïve café €")), {"Gr\\'fc\\'dfe", "\\'80"}},
        {"cyrillic", 1251, plain(QStringLiteral("Привет, мир")), {"\\ansicpg1251", "\\fcharset204", "\\'cf\\'f0\\'e8"}},
        {"outside the code page", 1252, plain(QStringLiteral("Привет 中文")), {"\\u1055?", "\\u20013?"}},
        {"surrogate pair", 1251, plain(QStringLiteral("a\U0001F600b")), {"a\\u-10179?\\u-8704?b"}},
        {"rtf characters", 1252, plain(QStringLiteral("\\{}x\\y{a}")), {"\\\\\\{\\}x\\\\y\\{a\\}"}},
        {"breaks and tabs", 1252,
         [](QTextCursor& c) {
             c.insertText(QStringLiteral("a\tb") + QChar(QChar::LineSeparator) + QStringLiteral("c"), DefaultFormat());
             c.insertBlock();
             c.insertText(QStringLiteral("d\u00A0e\u00ADf\u2011g"), DefaultFormat());
             c.insertBlock();
             c.insertBlock();
             c.insertText(QStringLiteral("h"), DefaultFormat());
         },
         {"\\tab b", "\\line c", "\\par"}},
        {"an empty paragraph first", 1252,
         [](QTextCursor& c) {
             c.setBlockCharFormat(DefaultFormat());
             c.insertBlock(QTextBlockFormat(), DefaultFormat());
             c.insertText(QStringLiteral("x"), DefaultFormat());
         },
         {}},
        {"text that looks like a word's end", 1252,
         [](QTextCursor& c) {
             c.insertText(QStringLiteral("x"), Format([](QTextCharFormat& f) { f.setFontWeight(QFont::Bold); }));
             c.insertText(QStringLiteral("1 2"), DefaultFormat());
             c.insertText(QStringLiteral("  y"), Format([](QTextCharFormat& f) { f.setFontItalic(true); }));
             c.insertText(QStringLiteral("9"), Format([](QTextCharFormat& f) { f.setFontPointSize(13.5); }));
             c.insertText(QStringLiteral("-z"), Format([](QTextCharFormat& f) { f.setFontUnderline(true); }));
         },
         {}},
        {"styles", 1252,
         [](QTextCursor& c) {
             c.insertText(QStringLiteral("b"), Format([](QTextCharFormat& f) { f.setFontWeight(QFont::Bold); }));
             c.insertText(QStringLiteral("bi"), Format([](QTextCharFormat& f) {
                              f.setFontWeight(QFont::Bold);
                              f.setFontItalic(true);
                          }));
             c.insertText(QStringLiteral("u"), Format([](QTextCharFormat& f) { f.setFontUnderline(true); }));
             c.insertText(QStringLiteral("s"), Format([](QTextCharFormat& f) { f.setFontStrikeOut(true); }));
             c.insertText(QStringLiteral("n"), DefaultFormat());
             c.insertText(QStringLiteral("t"), Format([](QTextCharFormat& f) {
                              f.setFontFamilies(QStringList{QStringLiteral("Times New Roman")});
                          }));
         },
         {"Times New Roman;"}},
        {"colours", 1252,
         [](QTextCursor& c) {
             c.insertText(QStringLiteral("red on yellow "), Format([](QTextCharFormat& f) {
                              f.setForeground(QColor(255, 0, 0));
                              f.setBackground(QColor(255, 255, 0));
                          }));
             c.insertText(QStringLiteral("blue "), Format([](QTextCharFormat& f) { f.setForeground(QColor(0, 0, 255)); }));
             c.insertText(QStringLiteral("white "), DefaultFormat());
             c.insertText(QStringLiteral("on green"),
                          Format([](QTextCharFormat& f) { f.setBackground(QColor(0, 128, 0)); }));
         },
         {"\\red255\\green0\\blue0;", "\\highlight"}},
        {"sizes and positions", 1252,
         [](QTextCursor& c) {
             for (double points : {10.0, 13.5, 72.0, 1638.0})
                 c.insertText(QStringLiteral("s"), Format([&](QTextCharFormat& f) { f.setFontPointSize(points); }));
             c.insertText(QStringLiteral("^"),
                          Format([](QTextCharFormat& f) { f.setVerticalAlignment(QTextCharFormat::AlignSuperScript); }));
             c.insertText(QStringLiteral("_"),
                          Format([](QTextCharFormat& f) { f.setVerticalAlignment(QTextCharFormat::AlignSubScript); }));
             c.insertText(QStringLiteral("up"), Format([](QTextCharFormat& f) {
                              f.setFontPointSize(20);
                              f.setBaselineOffset(20);
                          }));
             c.insertText(QStringLiteral("down"), Format([](QTextCharFormat& f) {
                              f.setFontPointSize(24);
                              f.setBaselineOffset(-25);
                          }));
         },
         {"\\fs27", "\\up8", "\\dn12"}},
        {"a Greek font in a western document", 1252,
         [](QTextCursor& c) {
             c.insertText(QStringLiteral("Ελλάδα"), Format([](QTextCharFormat& f) { f.setProperty(Rtf::CharsetProperty, 161); }));
             c.insertText(QStringLiteral(" é"), DefaultFormat());
         },
         {"\\fcharset161", "\\'c5\\'eb\\'eb\\'dc", "\\'e9"}},
        {"paragraphs", 1252,
         [](QTextCursor& c) {
             const auto block = [&](const std::function<void(QTextBlockFormat&)>& change, const char* text) {
                 QTextBlockFormat f;
                 change(f);
                 c.setBlockFormat(f);
                 c.insertText(QString::fromLatin1(text), DefaultFormat());
                 c.insertBlock();
             };
             block([](QTextBlockFormat& f) { f.setAlignment(Qt::AlignHCenter), f.setLeftMargin(48); }, "centre");
             block([](QTextBlockFormat& f) { f.setAlignment(Qt::AlignRight), f.setRightMargin(24); }, "right");
             block([](QTextBlockFormat& f) { f.setTextIndent(-16), f.setTopMargin(8), f.setBottomMargin(16); }, "left");
             block([](QTextBlockFormat& f) {
                 f.setAlignment(Qt::AlignJustify);
                 f.setLineHeight(150, QTextBlockFormat::ProportionalHeight);
             }, "justified");
             block([](QTextBlockFormat& f) { f.setLineHeight(20, QTextBlockFormat::FixedHeight); }, "fixed");
             block([](QTextBlockFormat& f) { f.setLineHeight(20, QTextBlockFormat::MinimumHeight); }, "minimum");
             c.setBlockFormat(QTextBlockFormat());
             c.insertText(QStringLiteral("plain"), DefaultFormat());
         },
         {"\\qc\\li720", "\\qr\\ri360", "\\fi-240\\sb120\\sa240", "\\qj\\sl360\\slmult1", "\\sl-300", "\\sl300"}},
        {"the Windows template", 1251, [](QTextCursor& c) { Read(Sample, *c.document()); }, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTextDocument original;
        QTextCursor cursor(&original);
        cursor.setBlockFormat(QTextBlockFormat());
        c.build(cursor);
        QTextDocument back;
        const QByteArray written = RoundTrip(original, c.codePage, back);
        SCOPED_TRACE(written.constData());
        for (const char* piece : c.mustHave) EXPECT_TRUE(written.contains(piece)) << piece;
        ExpectSameDocument(original, back);
    }
}

// ---------------------------------------------------------------------------------
// The rich text control

TEST(RichEditControl, FindSelectReplaceKeepsTheFirstCharactersFormat) {
    CRichEditExCtrl control(1, false);
    control.StreamIn(Rtf1("{\\colortbl;\\red255\\green0\\blue0;\\red0\\green255\\blue0;}Name: {\\cf1\\b\\fs40 %1%}"
                          "{\\cf2 tail}\\par"));
    ASSERT_EQ(control.PlainText(), QStringLiteral("Name: %1%tail\n"));
    EXPECT_EQ(control.TextLength(), 14);
    EXPECT_EQ(control.FindText(QStringLiteral("%1%")), 6);
    EXPECT_EQ(control.FindText(QStringLiteral("%1%"), 7), -1);
    EXPECT_EQ(control.FindText(QStringLiteral("TAIL")), 9);  // case does not matter
    EXPECT_EQ(control.FindText(QStringLiteral("")), -1);

    control.SetSelection(9, 6);  // either way round
    control.ReplaceSelection(QStringLiteral("Jörg"));
    ASSERT_EQ(control.PlainText(), QStringLiteral("Name: Jörgtail\n"));
    CharLook replaced = DefaultLook();
    replaced.colour = qRgb(255, 0, 0);
    replaced.bold = true;
    replaced.points = 20;
    for (int i = 6; i < 10; ++i) EXPECT_EQ(LookOf(FormatAt(control.document, i)), replaced) << i;
    EXPECT_EQ(LookOf(FormatAt(control.document, 5)), DefaultLook());
    EXPECT_EQ(LookOf(FormatAt(control.document, 10)).colour, qRgb(0, 255, 0));

    // A selection across formats takes the first; line breaks become paragraphs.
    control.SetSelection(4, 8);
    control.ReplaceSelection(QStringLiteral("1\r\n2\r3"));
    ASSERT_EQ(control.PlainText(), QStringLiteral("Name1\n2\n3rgtail\n"));
    EXPECT_EQ(LookOf(FormatAt(control.document, 4)), DefaultLook());
    EXPECT_EQ(LookOf(FormatAt(control.document, 8)), DefaultLook());
    EXPECT_EQ(LookOf(FormatAt(control.document, 9)), replaced);

    // A selection beyond the end is clamped to it.
    control.SetSelection(1000, 1000);
    control.ReplaceSelection(QStringLiteral("!"));
    EXPECT_EQ(control.PlainText(), QStringLiteral("Name1\n2\n3rgtail\n!"));
}

TEST(RichEditControl, ReplaceAtTheEndTakesTheFormatBeforeIt) {
    CRichEditExCtrl control(1, false);
    control.StreamIn(Rtf1("{\\colortbl;\\red0\\green255\\blue0;}a{\\cf1\\i bc}"));
    control.SetSelection(3, 3);
    control.ReplaceSelection(QStringLiteral("d"));
    ASSERT_EQ(control.PlainText(), QStringLiteral("abcd"));
    CharLook expected = DefaultLook();
    expected.colour = qRgb(0, 255, 0);
    expected.italic = true;
    EXPECT_EQ(LookOf(FormatAt(control.document, 3)), expected);
}

TEST(RichEditControl, SingleLineTurnsBreaksIntoSpaces) {
    CRichEditExCtrl control(2, true);
    control.StreamIn(Rtf1("{\\b one}\\par two\\line three\\par\\par"));
    EXPECT_EQ(control.PlainText(), QStringLiteral("one two three"));
    EXPECT_EQ(control.document.blockCount(), 1);
    EXPECT_EQ(control.TextLength(), 13);
    // A break's space has the formatting of the text before it.
    EXPECT_TRUE(LookOf(FormatAt(control.document, 3)).bold);
    EXPECT_FALSE(LookOf(FormatAt(control.document, 7)).bold);

    control.SetSelection(4, 7);
    control.ReplaceSelection(QStringLiteral("x\r\ny"));
    EXPECT_EQ(control.PlainText(), QStringLiteral("one x y three"));
    EXPECT_EQ(control.document.blockCount(), 1);
}

TEST(RichEditControl, StreamOutKeepsTheCodePageRead) {
    CRichEditExCtrl control(1, false);
    control.StreamIn(Sample);
    control.SetSelection(0, 3);
    control.ReplaceSelection(QStringLiteral("Дима"));
    const QByteArray out = control.StreamOut();
    EXPECT_TRUE(out.contains("\\ansicpg1251"));
    // The name took the format of the template's Western (\fcharset0) font, which
    // cannot hold Cyrillic bytes: it is written as Unicode.
    EXPECT_TRUE(out.contains("\\fcharset0"));
    EXPECT_TRUE(out.contains("\\u1044?\\u1080?\\u1084?\\u1072?"));
    CRichEditExCtrl again(1, false);
    again.StreamIn(out);
    EXPECT_EQ(again.codePage, 1251);
    ExpectSameDocument(control.document, again.document);
}

TEST(RichEditControl, SetAlignmentAlignsEveryParagraph) {
    CRichEditExCtrl control(1, false);
    control.StreamIn(Rtf1("\\qc a\\par\\pard\\qj b\\par c"));
    for (const bool right : {true, false}) {
        control.SetAlignment(right);
        for (QTextBlock b = control.document.begin(); b.isValid(); b = b.next())
            EXPECT_EQ(b.blockFormat().alignment(), right ? Qt::AlignRight : Qt::AlignLeft) << b.blockNumber();
    }
}

// ---------------------------------------------------------------------------------
// Code pages

TEST(CodePage, DecodeAndEncode) {
    const struct {
        int codePage;
        QByteArray bytes;
        const char16_t* text;
    } cases[] = {
        {1250, "\x8a\xe8", u"Šč"},      {1251, "\xcf\xf0", u"Пр"},   {1252, "\xe9\x80", u"é€"},
        {1253, "\xe1", u"α"},           {1254, "\xf0", u"ğ"},        {1255, "\xe0", u"א"},
        {1256, "\xc7", u"ا"},           {1257, "\xe0", u"ą"},        {1258, "\xf0", u"đ"},
        {874, "\xa1", u"ก"},            {932, "\x82\xa0", u"あ"},    {936, "\xc4\xe3", u"你"},
        {949, "\xb0\xa1", u"가"},       {950, "\xa4\xa4", u"中"},    {437, "\xb0", u"░"},
        {10000, "\x8e", u"é"},          {65001, "\xc3\xa9", u"é"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.codePage);
        const QString text = QString::fromUtf16(c.text);
        EXPECT_EQ(CodePage::Decode(c.codePage, c.bytes), text);
        QByteArray bytes;
        EXPECT_TRUE(CodePage::Encode(c.codePage, text, bytes));
        EXPECT_EQ(bytes, c.bytes);
    }
    QByteArray bytes;
    EXPECT_FALSE(CodePage::Encode(1252, u"Ж", bytes));
    EXPECT_FALSE(CodePage::Encode(1251, u"é", bytes));
    EXPECT_FALSE(CodePage::Encode(12345, u"a", bytes));
    // A code page nobody knows reads as Windows-1252.
    EXPECT_EQ(CodePage::Decode(12345, "\x80"), QStringLiteral("€"));
}

TEST(CodePage, OfCharset) {
    const struct {
        int charset, ansi, codePage;
    } cases[] = {
        {0, 1250, 1252}, {0, 932, 1252}, {1, 1253, 1253}, {1, 932, 932}, {2, 1252, 1252},  {77, 1252, 10000}, {128, 1252, 932},
        {161, 1252, 1253}, {162, 1252, 1254}, {163, 1252, 1258}, {177, 1252, 1255}, {178, 1252, 1256},
        {186, 1252, 1257}, {204, 1252, 1251}, {222, 1252, 874}, {238, 1252, 1250}, {-1, 1251, 1251},
        {99999, 1251, 1251},
    };
    for (const auto& c : cases) EXPECT_EQ(CodePage::OfCharset(c.charset, c.ansi), c.codePage) << c.charset;
    // And back: the set that names a code page, or the default one.
    const struct {
        int codePage, charset;
    } back[] = {{1252, 0}, {1251, 204}, {1250, 238}, {932, 128}, {10000, 77}, {437, 255}, {65001, 1}, {0, 1}};
    for (const auto& c : back) EXPECT_EQ(CodePage::CharsetOf(c.codePage), c.charset) << c.codePage;
}
