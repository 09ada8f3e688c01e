// The RTF reader: one pass over the bytes with an explicit group stack (no
// recursion, so a hostile nesting depth cannot exhaust the stack), text collected
// in runs and inserted with the formatting in force.
#include "text/Rtf.h"

#include "base/CodePage.h"

#include <QColor>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <map>
#include <string_view>
#include <vector>

namespace Rtf {
namespace {

// Control words are ASCII letters whatever the C locale says about other bytes.
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Rich edit's own limits: sizes up to 1638 points, indents up to 22 inches.
constexpr int MaxHalfPoints = 3276;
constexpr int MaxTwips = 31680;
constexpr double TwipsPerPixel = 15.0;  // 96 logical pixels per inch

enum class Destination { Text, Skip, FontTable, FontName, ColorTable };

struct CharState {
    int font = -1;  // \f number; -1: the document's default font
    int halfPoints = 56;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    bool hidden = false;
    int colour = 0;     // \cf index; 0 and undefined indexes: the default colour
    int highlight = 0;  // \highlight / \chcbpat index; 0: none
    int up = 0;         // half points above (negative: below) the baseline
    int script = 0;     // 1 superscript, -1 subscript
};

struct ParaState {
    int align = 0;  // 0 left, 1 centre, 2 right, 3 justified
    int li = 0;
    int ri = 0;
    int fi = 0;
    int sb = 0;
    int sa = 0;
    int sl = 0;
    int slmult = 0;
};

struct Group {
    CharState chr;
    ParaState para;
    Destination destination = Destination::Text;
    int uc = 1;          // fallback characters after \uN
    bool star = false;   // "\*" seen: an unknown destination word skips the group
};

struct FontEntry {
    QByteArray name;
    QByteArray altName;  // {\*\fname ...}: the family the tagged name stands for
    int charset = -1;
};

// Destinations whose content is never text, skipped whether or not they carry "\*".
bool IsSkippedDestination(std::string_view word) {
    static constexpr std::string_view words[] = {
        "stylesheet", "info",      "pict",      "header",   "headerl",   "headerr",   "headerf",  "footer",
        "footerl",    "footerr",   "footerf",   "footnote", "object",    "listtable", "listoverridetable",
        "rsidtbl",    "xmlnstbl",  "filetbl",   "revtbl",   "themedata", "colorschememapping", "latentstyles",
        "datastore",  "generator", "fldinst",   "shpinst",  "nonshppict", "ftnsep",   "ftnsepc",  "ftncn",
        "aftnsep",    "aftnsepc",  "annotation", "atnid",   "atnauthor", "bkmkstart", "bkmkend",  "comment",
        "author",     "operator",  "title",     "subject",  "keywords",  "doccomm",   "company",  "buptim",
        "creatim",    "printim",   "revtim",    "pgdsctbl", "mmathPr",   "pntxta",    "pntxtb",   "private",
        "userprops",  "template",  "docvar",    "falt",     "panose",    "pn",        "shp",      "sp",
        // What a writer gives readers that know no nested tables, after the nested cells themselves.
        "nonesttables"};
    return std::find(std::begin(words), std::end(words), word) != std::end(words);
}

// RTF is 7-bit text with 8-bit escapes: a code page that does not read ASCII as
// ASCII (UTF-16, UTF-7) cannot be the document's, and the writer could not give
// text back in it.
bool ReadsAsciiAsAscii(int codePage) {
    static const QByteArray ascii = [] {
        QByteArray bytes;
        for (char c = 0x20; c < 0x7F; ++c) bytes.append(c);
        return bytes;
    }();
    return CodePage::Decode(codePage, ascii) == QLatin1String(ascii);
}

// Windows names a font's script variant with a suffix that stands for the base font.
QString FamilyOf(const FontEntry& entry, int codePage) {
    QByteArray raw = entry.altName.isEmpty() ? entry.name : entry.altName;
    QString name = CodePage::Decode(codePage, raw).trimmed();
    static const char* suffixes[] = {" CYR", " CE", " Greek", " Tur", " Baltic", " (Hebrew)", " (Arabic)",
                                     " (Vietnamese)"};
    for (const char* suffix : suffixes) {
        const QString s = QString::fromLatin1(suffix);
        if (name.size() > s.size() && name.endsWith(s, Qt::CaseInsensitive)) {
            name.chop(s.size());
            break;
        }
    }
    return name;
}

class Reader {
public:
    Reader(QTextDocument& document, const QTextCharFormat& defaultFormat, int ansiCodePage)
        : document_(document), cursor_(&document), default_(defaultFormat), codePage_(ansiCodePage) {
        initial_.halfPoints = std::clamp(int(std::lround(defaultFormat.fontPointSize() * 2)), 2, MaxHalfPoints);
        initial_.bold = defaultFormat.fontWeight() >= QFont::Bold;
        initial_.italic = defaultFormat.fontItalic();
        initial_.underline = defaultFormat.fontUnderline();
    }

    ReadResult Run(QByteArrayView bytes) {
        ReadResult result;
        document_.clear();
        cursor_ = QTextCursor(&document_);
        // One edit: each run put into a long paragraph would otherwise cost the
        // paragraph so far.
        cursor_.beginEditBlock();
        struct EndEdit {
            QTextCursor& cursor;
            ~EndEdit() { cursor.endEditBlock(); }
        } endEdit{cursor_};
        qsizetype start = 0;
        while (start < bytes.size() && (bytes[start] == ' ' || bytes[start] == '\r' || bytes[start] == '\n' ||
                                        bytes[start] == '\t'))
            ++start;
        if (bytes.size() - start < 5 || bytes.sliced(start, 5) != QByteArrayView("{\\rtf")) {
            ReadPlain(bytes);
            result.codePage = codePage_;
            return result;
        }
        result.rtf = true;
        Parse(bytes.sliced(start));
        result.codePage = codePage_;
        return result;
    }

private:
    // Text that is no RTF: lines become paragraphs, in the ANSI code page.
    void ReadPlain(QByteArrayView bytes) {
        QString text = CodePage::Decode(codePage_, bytes);
        text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        text.replace(u'\r', u'\n');
        DropControls(text);
        cursor_.setBlockCharFormat(default_);
        cursor_.insertText(text, default_);
    }

    Group& Top() { return stack_.back(); }

    void Parse(QByteArrayView in) {
        stack_.clear();
        stack_.push_back(Group{});
        stack_.back().chr = initial_;
        int overflow = 0;   // groups opened beyond MaxDepth, read as part of the deepest kept
        bool opened = false;
        const qsizetype n = in.size();
        qsizetype i = 0;
        while (i < n) {
            const char c = in[i];
            if (c == '{') {
                ++i;
                skip_ = 0;
                if (!opened) {
                    opened = true;  // the document's own group is the base of the stack
                    continue;
                }
                Flush();
                if (int(stack_.size()) >= MaxDepth) {
                    ++overflow;
                } else {
                    Group g = Top();
                    g.star = false;
                    stack_.push_back(g);
                }
                continue;
            }
            if (c == '}') {
                ++i;
                skip_ = 0;
                Flush();
                if (overflow > 0) {
                    --overflow;
                } else if (stack_.size() > 1) {
                    EndGroup();
                } else {
                    break;  // the document's group closed: anything after it is not RTF
                }
                continue;
            }
            if (c == '\\') {
                i = ControlAt(in, i);
                continue;
            }
            ++i;
            if (c == '\r' || c == '\n' || c == 0) continue;
            Byte(uint8_t(c));
        }
        Flush();
        cursor_.setBlockFormat(BlockFormat(Top().para));
        cursor_.setBlockCharFormat(CharFormat(Top().chr));
    }

    // Leaving the font table ends its last entry.
    void EndGroup() {
        const Destination leaving = Top().destination;
        stack_.pop_back();
        if (leaving == Destination::FontTable && Top().destination != Destination::FontTable) fontPending_ = -1;
    }

    // One control word or symbol at in[i] ('\\'); returns the index after it.
    qsizetype ControlAt(QByteArrayView in, qsizetype i) {
        const qsizetype n = in.size();
        ++i;
        if (i >= n) return i;
        const char c = in[i];
        if (!IsLetter(c)) return Symbol(in, i);
        const qsizetype wordStart = i;
        // However long: a word longer than any known one is unknown, all of it.
        while (i < n && IsLetter(in[i])) ++i;
        const std::string_view word(in.data() + wordStart, size_t(i - wordStart));
        bool hasParam = false;
        bool negative = false;
        int64_t value = 0;
        if (i < n && in[i] == '-' && i + 1 < n && std::isdigit(static_cast<unsigned char>(in[i + 1]))) {
            negative = true;
            ++i;
        }
        qsizetype digits = 0;
        while (i < n && std::isdigit(static_cast<unsigned char>(in[i]))) {
            if (digits < 10) value = value * 10 + (in[i] - '0');
            ++digits;
            ++i;
            hasParam = true;
        }
        if (i < n && in[i] == ' ') ++i;
        value = std::min<int64_t>(value, 1000000000);
        const int param = int(negative ? -value : value);
        if (word == "bin") {
            Flush();
            const qsizetype count = hasParam && param > 0 ? std::min<qsizetype>(param, n - i) : 0;
            return i + count;  // binary data is never text
        }
        Word(word, hasParam, param);
        return i;
    }

    qsizetype Symbol(QByteArrayView in, qsizetype i) {
        const char c = in[i];
        const bool skipping = Top().destination == Destination::Skip;
        if (c == '\'') {
            int value = 0;
            int got = 0;
            for (; got < 2 && i + 1 + got < in.size(); ++got) {
                const int d = HexDigit(in[i + 1 + got]);
                if (d < 0) break;
                value = value * 16 + d;
            }
            if (got == 2 && !skipping) Byte(uint8_t(value), true);
            return i + 1 + got;
        }
        if (c == '*') {
            Top().star = true;
            return i + 1;
        }
        if (skipping) return i + 1;
        if (skip_ > 0 && c != '\\' && c != '{' && c != '}') {
            --skip_;
            return i + 1;
        }
        switch (c) {
        case '\\':
        case '{':
        case '}': Byte(uint8_t(c)); break;
        case '~': Char(QChar(0x00A0)); break;
        case '-': Char(QChar(0x00AD)); break;
        case '_': Char(QChar(0x2011)); break;
        case '\r':
        case '\n': Paragraph(); break;
        case '\t': Char(u'\t'); break;
        default: break;  // \| \: and other symbols have no text
        }
        return i + 1;
    }

    static int HexDigit(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    void Word(std::string_view w, bool hasParam, int p) {
        Group& g = Top();
        if (g.star) {
            g.star = false;
            // A nested row's properties stand where the row ends (its \nestrow is
            // inside them, so it is never seen as text).
            if (w == "nesttableprops" && g.destination == Destination::Text) RowEnd();
            Flush();
            g.destination = w == "fname" && g.destination == Destination::FontTable ? Destination::FontName
                                                                                    : Destination::Skip;
            return;
        }
        if (g.destination == Destination::Skip) return;
        if (IsSkippedDestination(w)) {
            Flush();
            g.destination = Destination::Skip;
            return;
        }
        if (w == "fonttbl") {
            Flush();
            g.destination = Destination::FontTable;
            return;
        }
        if (w == "colortbl") {
            Flush();
            g.destination = Destination::ColorTable;
            colourHas_ = false;
            return;
        }
        if (g.destination == Destination::FontTable || g.destination == Destination::FontName) {
            FontWord(w, hasParam, p);
            return;
        }
        if (g.destination == Destination::ColorTable) {
            const int v = std::clamp(p, 0, 255);
            if (w == "red") colour_.setRed(v), colourHas_ = true;
            else if (w == "green") colour_.setGreen(v), colourHas_ = true;
            else if (w == "blue") colour_.setBlue(v), colourHas_ = true;
            return;
        }
        if (skip_ > 0) {
            --skip_;  // a control word stands for one fallback character
            return;
        }
        TextWord(w, hasParam, p);
    }

    void FontWord(std::string_view w, bool hasParam, int p) {
        if (w == "f" && hasParam) {
            fontPending_ = p;
            fonts_[p];  // the entry exists from here on
            fontNameDone_ = false;
        } else if (w == "fcharset" && fontPending_ >= 0) {
            fonts_[fontPending_].charset = p;
        }
    }

    void TextWord(std::string_view w, bool hasParam, int p) {
        Group& g = Top();
        CharState& ch = g.chr;
        ParaState& pa = g.para;
        const bool on = !hasParam || p != 0;
        const auto twips = [&] { return std::clamp(p, -MaxTwips, MaxTwips); };
        // Text words first; the rest change formatting, so the run so far goes in.
        if (w == "par" || w == "sect" || w == "page") return Paragraph();
        // Tables: a tab between the cells of a row, a paragraph after it.
        if (w == "cell" || w == "nestcell") {
            if (Top().destination == Destination::Text && !Top().chr.hidden) ++cellsPending_;
            return;
        }
        if (w == "row" || w == "nestrow") return RowEnd();
        // The footnote's mark stays in the text; its own text (\footnote) is skipped.
        if (w == "chftn") return Text(QString::number(footnote_++));
        if (w == "ftnstart" && hasParam) {
            footnote_ = std::max(0, p);
            return;
        }
        if (w == "line") return Char(QChar(QChar::LineSeparator));
        if (w == "tab") return Char(u'\t');
        if (w == "emdash") return Char(QChar(0x2014));
        if (w == "endash") return Char(QChar(0x2013));
        if (w == "bullet") return Char(QChar(0x2022));
        if (w == "lquote") return Char(QChar(0x2018));
        if (w == "rquote") return Char(QChar(0x2019));
        if (w == "ldblquote") return Char(QChar(0x201C));
        if (w == "rdblquote") return Char(QChar(0x201D));
        if (w == "emspace") return Char(QChar(0x2003));
        if (w == "enspace") return Char(QChar(0x2002));
        if (w == "qmspace") return Char(QChar(0x2005));
        if (w == "zwj") return Char(QChar(0x200D));
        if (w == "zwnj") return Char(QChar(0x200C));
        if (w == "u" && hasParam) {
            Char(QChar(char16_t(p < 0 ? p + 65536 : p)));
            skip_ = g.uc;
            return;
        }
        if (w == "uc") {
            g.uc = std::clamp(p, 0, 16);
            return;
        }
        if (w == "ansicpg" && hasParam) {
            Flush();
            if (p > 0 && ReadsAsciiAsAscii(p)) codePage_ = p;
            return;
        }
        if (w == "deff" && hasParam) {
            defaultFont_ = p;
            return;
        }
        Flush();
        if (w == "plain") ch = initial_;
        else if (w == "pard") pa = ParaState{};
        else if (w == "f") ch.font = hasParam ? p : -1;
        else if (w == "fs") ch.halfPoints = std::clamp(hasParam ? p : 24, 2, MaxHalfPoints);
        else if (w == "b") ch.bold = on;
        else if (w == "i") ch.italic = on;
        else if (w == "ulnone") ch.underline = false;
        else if (w == "ul" || w == "uld" || w == "uldb" || w == "ulw" || w == "uldash" || w == "ulth" ||
                 w == "ulwave" || w == "uldashd" || w == "uldashdd" || w == "ulhwave")
            ch.underline = on;
        else if (w == "strike" || w == "striked") ch.strike = on;
        else if (w == "v") ch.hidden = on;
        else if (w == "cf") ch.colour = std::max(0, p);
        else if (w == "highlight" || w == "chcbpat" || w == "cb") ch.highlight = std::max(0, p);
        else if (w == "up") ch.up = std::clamp(hasParam ? p : 6, 0, MaxHalfPoints);
        else if (w == "dn") ch.up = -std::clamp(hasParam ? p : 6, 0, MaxHalfPoints);
        else if (w == "super") ch.script = 1;
        else if (w == "sub") ch.script = -1;
        else if (w == "nosupersub") ch.script = 0, ch.up = 0;
        else if (w == "ql") pa.align = 0;
        else if (w == "qc") pa.align = 1;
        else if (w == "qr") pa.align = 2;
        else if (w == "qj") pa.align = 3;
        else if (w == "li") pa.li = twips();
        else if (w == "ri") pa.ri = twips();
        else if (w == "fi") pa.fi = twips();
        else if (w == "sb") pa.sb = std::clamp(p, 0, MaxTwips);
        else if (w == "sa") pa.sa = std::clamp(p, 0, MaxTwips);
        else if (w == "sl") pa.sl = twips();
        else if (w == "slmult") pa.slmult = on;
    }

    // A byte of text: in a table it belongs to a name or ends an entry; in text it
    // waits in the byte run, decoded in the current font's code page.
    void Byte(uint8_t b, bool escaped = false) {
        Group& g = Top();
        switch (g.destination) {
        case Destination::Skip: return;
        case Destination::FontTable:
        case Destination::FontName: {
            if (fontPending_ < 0) return;
            FontEntry& entry = fonts_[fontPending_];
            if (g.destination == Destination::FontName) {
                if (b != ';' && entry.altName.size() < 256) entry.altName.append(char(b));
                return;
            }
            if (fontNameDone_) return;
            if (b == ';' && !escaped) fontNameDone_ = true;
            else if (entry.name.size() < 256) entry.name.append(char(b));
            return;
        }
        case Destination::ColorTable:
            if (b == ';') {
                colours_.push_back(colourHas_ ? colour_ : QColor());
                colour_ = QColor(0, 0, 0);
                colourHas_ = false;
            }
            return;
        case Destination::Text: break;
        }
        if (skip_ > 0) {
            --skip_;
            return;
        }
        if (g.chr.hidden) return;
        if (cellsPending_ > 0) Text({});
        const int cp = FontCodePage(g.chr);
        if (!bytes_.isEmpty() && bytesCodePage_ != cp) FlushBytes();
        bytesCodePage_ = cp;
        bytes_.append(char(b));
    }

    void Char(QChar c) { Text(QString(c)); }

    // Text of the current formatting after the bytes waiting, and after the tabs of
    // the cells ended before it.
    void Text(QString text) {
        if (Top().destination != Destination::Text || Top().chr.hidden) return;
        FlushBytes();
        if (cellsPending_ > 0) {
            run_.append(QString(cellsPending_, u'\t'));
            cellsPending_ = 0;
        }
        DropControls(text);
        run_.append(text);
    }

    // The end of a table row: the tab after its last cell is none.
    void RowEnd() {
        if (Top().destination != Destination::Text) return;
        cellsPending_ = 0;
        Paragraph();
    }

    int FontCodePage(const CharState& ch) const {
        const int number = ch.font >= 0 ? ch.font : defaultFont_;
        const auto it = fonts_.find(number);
        if (it == fonts_.end()) return codePage_;
        return CodePage::OfCharset(it->second.charset, codePage_);
    }

    void FlushBytes() {
        if (bytes_.isEmpty()) return;
        QString text = CodePage::Decode(bytesCodePage_, bytes_);
        DropControls(text);
        run_.append(text);
        bytes_.clear();
    }

    void Flush() {
        FlushBytes();
        if (run_.isEmpty()) return;
        cursor_.insertText(run_, CharFormat(Top().chr));
        run_.clear();
    }

    void Paragraph() {
        if (Top().destination != Destination::Text) return;
        if (cellsPending_ > 0) Text({});  // a cell that begins with an empty paragraph
        Flush();
        cursor_.setBlockFormat(BlockFormat(Top().para));
        cursor_.setBlockCharFormat(CharFormat(Top().chr));
        cursor_.insertBlock(BlockFormat(Top().para), CharFormat(Top().chr));
    }

    QTextCharFormat CharFormat(const CharState& ch) const {
        QTextCharFormat f = default_;
        const int number = ch.font >= 0 ? ch.font : defaultFont_;
        const auto it = fonts_.find(number);
        if (it != fonts_.end()) {
            const QString family = FamilyOf(it->second, codePage_);
            if (!family.isEmpty()) f.setFontFamilies(QStringList{family});
            if (it->second.charset >= 0) f.setProperty(CharsetProperty, it->second.charset);
        }
        const double points = ch.halfPoints / 2.0;
        f.setFontPointSize(points);
        f.setFontWeight(ch.bold ? QFont::Bold : QFont::Normal);
        f.setFontItalic(ch.italic);
        f.setFontUnderline(ch.underline);
        f.setFontStrikeOut(ch.strike);
        if (ch.colour > 0 && ch.colour < int(colours_.size()) && colours_[size_t(ch.colour)].isValid())
            f.setForeground(colours_[size_t(ch.colour)]);
        if (ch.highlight > 0 && ch.highlight < int(colours_.size()) && colours_[size_t(ch.highlight)].isValid())
            f.setBackground(colours_[size_t(ch.highlight)]);
        else
            f.clearBackground();
        if (ch.script > 0) f.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
        else if (ch.script < 0) f.setVerticalAlignment(QTextCharFormat::AlignSubScript);
        if (ch.up != 0) f.setBaselineOffset(ch.up / 2.0 / points * 100.0);
        return f;
    }

    static QTextBlockFormat BlockFormat(const ParaState& pa) {
        QTextBlockFormat f;
        static constexpr Qt::Alignment aligns[] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight, Qt::AlignJustify};
        f.setAlignment(aligns[pa.align]);
        f.setLeftMargin(pa.li / TwipsPerPixel);
        f.setRightMargin(pa.ri / TwipsPerPixel);
        f.setTextIndent(pa.fi / TwipsPerPixel);
        f.setTopMargin(pa.sb / TwipsPerPixel);
        f.setBottomMargin(pa.sa / TwipsPerPixel);
        if (pa.sl > 0 && pa.slmult)
            f.setLineHeight(pa.sl * 100.0 / 240.0, QTextBlockFormat::ProportionalHeight);
        else if (pa.sl > 0)
            f.setLineHeight(pa.sl / TwipsPerPixel, QTextBlockFormat::MinimumHeight);
        else if (pa.sl < 0)
            f.setLineHeight(-pa.sl / TwipsPerPixel, QTextBlockFormat::FixedHeight);
        return f;
    }

    QTextDocument& document_;
    QTextCursor cursor_;
    QTextCharFormat default_;
    int codePage_;
    CharState initial_;
    std::vector<Group> stack_;
    std::map<int, FontEntry> fonts_;
    int fontPending_ = -1;
    bool fontNameDone_ = false;
    int defaultFont_ = 0;
    std::vector<QColor> colours_;
    QColor colour_{0, 0, 0};
    bool colourHas_ = false;
    int skip_ = 0;  // fallback characters of a \uN still to drop
    int cellsPending_ = 0;  // table cells ended since the last text: a tab each before the next
    int footnote_ = 1;      // the number of the next footnote mark
    QByteArray bytes_;
    int bytesCodePage_ = 1252;
    QString run_;
};

}  // namespace

// Control characters have no glyph and no RTF of their own, so the writer leaves them
// out; tabs and line ends (paragraphs) are the only ones text keeps. An object
// replacement character without its object is nothing either.
void DropControls(QString& text) {
    text.removeIf([](QChar c) {
        const char16_t u = c.unicode();
        return (u < 0x20 && u != u'\t' && u != u'\r' && u != u'\n') || u == QChar::ObjectReplacementCharacter;
    });
}

ReadResult Read(QByteArrayView bytes, QTextDocument& document, const QTextCharFormat& defaultFormat,
                int ansiCodePage) {
    Reader reader(document, defaultFormat, ansiCodePage);
    return reader.Run(bytes);
}

}  // namespace Rtf
