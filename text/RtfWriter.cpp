// The RTF writer: the 8-bit dialect Windows' rich edit writes (font and colour
// tables, \uc1, formatting as changes between runs, \par between paragraphs).
#include "text/Rtf.h"

#include "base/CodePage.h"

#include <QColor>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <algorithm>
#include <cmath>
#include <vector>

namespace Rtf {
namespace {

constexpr double TwipsPerPixel = 15.0;

struct Font {
    QString family;
    int charset = 0;
    bool operator==(const Font&) const = default;
};

struct Run {
    int font = 0;
    int halfPoints = 24;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    int colour = 0;
    int highlight = 0;
    int up = 0;
    int script = 0;
    bool operator==(const Run&) const = default;
};

struct Para {
    int align = 0;
    int li = 0, ri = 0, fi = 0, sb = 0, sa = 0, sl = 0, slmult = 0;
    bool operator==(const Para&) const = default;
};

int Twips(double pixels) { return int(std::lround(pixels * TwipsPerPixel)); }

class Writer {
public:
    explicit Writer(int codePage) : codePage_(codePage) {}

    QByteArray Run(const QTextDocument& document) {
        // First pass: the tables.
        for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
            FontOf(block.charFormat());
            ColourOf(block.charFormat());
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextCharFormat f = it.fragment().charFormat();
                FontOf(f);
                ColourOf(f);
            }
        }
        if (fonts_.empty()) fonts_.push_back({QStringLiteral("Arial"), CodePage::CharsetOf(codePage_)});

        QByteArray body;
        bool firstBlock = true;
        for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
            const Para para = ParaOf(block.blockFormat());
            if (firstBlock || !(para == para_)) {
                WritePara(body, para);
                para_ = para;
            }
            bool wroteText = false;
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextFragment fragment = it.fragment();
                const struct Run run = RunOf(fragment.charFormat());
                WriteRun(body, run, firstBlock && !wroteText);
                WriteText(body, fragment.text(), fonts_[size_t(run.font)].charset);
                wroteText = true;
            }
            const bool last = !block.next().isValid();
            if (!last) {
                // An empty paragraph keeps the height of its own formatting.
                if (!wroteText) WriteRun(body, RunOf(block.charFormat()), firstBlock);
                body += "\\par\r\n";
                pendingSpace_ = false;  // the line break ends the word; a space now would be text
            }
            firstBlock = false;
        }

        QByteArray out = "{\\rtf1\\ansi\\ansicpg" + QByteArray::number(codePage_) + "\\deff0\\deflang1033{\\fonttbl";
        for (size_t k = 0; k < fonts_.size(); ++k) {
            out += "{\\f" + QByteArray::number(qsizetype(k)) + "\\fnil\\fcharset" +
                   QByteArray::number(fonts_[k].charset) + ' ';
            QByteArray name;
            pendingSpace_ = false;
            WriteText(name, fonts_[k].family, fonts_[k].charset);
            out += name + ";}";
        }
        out += "}\r\n{\\colortbl ;";
        for (const QColor& c : colours_)
            out += "\\red" + QByteArray::number(c.red()) + "\\green" + QByteArray::number(c.green()) + "\\blue" +
                   QByteArray::number(c.blue()) + ';';
        out += "}\r\n\\viewkind4\\uc1";
        out += body;
        out += "}\r\n";
        return out;
    }

private:
    int FontOf(const QTextCharFormat& f) {
        const QStringList families = f.fontFamilies().toStringList();
        // Text that came with no character set is in the document's code page, and
        // its font says so: a Western (0) font would make other readers take the
        // bytes as Windows-1252.
        Font font{families.isEmpty() ? QStringLiteral("Arial") : families.first(),
                  f.hasProperty(CharsetProperty) ? f.intProperty(CharsetProperty) : CodePage::CharsetOf(codePage_)};
        const auto it = std::find(fonts_.begin(), fonts_.end(), font);
        if (it != fonts_.end()) return int(it - fonts_.begin());
        fonts_.push_back(font);
        return int(fonts_.size()) - 1;
    }

    // Colour table index from 1 (0 is the automatic colour).
    int ColourIndex(const QColor& colour) {
        const QColor c = colour.toRgb();
        const auto it = std::find_if(colours_.begin(), colours_.end(), [&](const QColor& k) { return k.rgb() == c.rgb(); });
        if (it != colours_.end()) return int(it - colours_.begin()) + 1;
        colours_.push_back(c);
        return int(colours_.size());
    }

    void ColourOf(const QTextCharFormat& f) {
        if (f.hasProperty(QTextFormat::ForegroundBrush)) ColourIndex(f.foreground().color());
        if (f.hasProperty(QTextFormat::BackgroundBrush) && f.background().style() != Qt::NoBrush)
            ColourIndex(f.background().color());
    }

    struct Run RunOf(const QTextCharFormat& f) {
        struct Run r;
        r.font = FontOf(f);
        const double points = f.fontPointSize() > 0 ? f.fontPointSize() : 12.0;
        r.halfPoints = std::max(1, int(std::lround(points * 2)));
        r.bold = f.fontWeight() >= QFont::Bold;
        r.italic = f.fontItalic();
        r.underline = f.fontUnderline();
        r.strike = f.fontStrikeOut();
        r.colour = f.hasProperty(QTextFormat::ForegroundBrush) ? ColourIndex(f.foreground().color()) : 0;
        r.highlight = f.hasProperty(QTextFormat::BackgroundBrush) && f.background().style() != Qt::NoBrush
                          ? ColourIndex(f.background().color())
                          : 0;
        r.up = int(std::lround(f.baselineOffset() / 100.0 * points * 2));
        if (f.verticalAlignment() == QTextCharFormat::AlignSuperScript) r.script = 1;
        else if (f.verticalAlignment() == QTextCharFormat::AlignSubScript) r.script = -1;
        return r;
    }

    static Para ParaOf(const QTextBlockFormat& f) {
        Para p;
        const Qt::Alignment a = f.alignment() & Qt::AlignHorizontal_Mask;
        if (a & Qt::AlignHCenter) p.align = 1;
        else if (a & Qt::AlignJustify) p.align = 3;
        else if (a & (Qt::AlignRight | Qt::AlignTrailing)) p.align = 2;
        p.li = Twips(f.leftMargin());
        p.ri = Twips(f.rightMargin());
        p.fi = Twips(f.textIndent());
        p.sb = Twips(f.topMargin());
        p.sa = Twips(f.bottomMargin());
        switch (f.lineHeightType()) {
        case QTextBlockFormat::ProportionalHeight:
            p.sl = int(std::lround(f.lineHeight() * 240.0 / 100.0));
            p.slmult = 1;
            break;
        case QTextBlockFormat::MinimumHeight: p.sl = Twips(f.lineHeight()); break;
        case QTextBlockFormat::FixedHeight: p.sl = -Twips(f.lineHeight()); break;
        default: break;
        }
        return p;
    }

    void WritePara(QByteArray& out, const Para& p) {
        out += "\\pard";
        static const char* aligns[] = {"", "\\qc", "\\qr", "\\qj"};
        out += aligns[p.align];
        const auto number = [&](const char* word, int value) {
            if (value != 0) out += QByteArray(word) + QByteArray::number(value);
        };
        number("\\li", p.li);
        number("\\ri", p.ri);
        number("\\fi", p.fi);
        number("\\sb", p.sb);
        number("\\sa", p.sa);
        number("\\sl", p.sl);
        number("\\slmult", p.slmult);
        pendingSpace_ = true;
    }

    void WriteRun(QByteArray& out, const struct Run& r, bool all) {
        const auto flag = [&](bool now, bool was, const char* on, const char* off) {
            if (all ? now : now != was) out += now ? on : off;
        };
        const qsizetype before = out.size();
        if (all || r.colour != run_.colour) out += "\\cf" + QByteArray::number(r.colour);
        if (all ? r.highlight != 0 : r.highlight != run_.highlight) out += "\\highlight" + QByteArray::number(r.highlight);
        flag(r.bold, run_.bold, "\\b", "\\b0");
        flag(r.italic, run_.italic, "\\i", "\\i0");
        flag(r.underline, run_.underline, "\\ul", "\\ulnone");
        flag(r.strike, run_.strike, "\\strike", "\\strike0");
        if (all ? r.script != 0 : r.script != run_.script)
            out += r.script > 0 ? "\\super" : r.script < 0 ? "\\sub" : "\\nosupersub";
        if (all ? r.up != 0 : r.up != run_.up) {
            if (r.up > 0) out += "\\up" + QByteArray::number(r.up);
            else if (r.up < 0) out += "\\dn" + QByteArray::number(-r.up);
            else out += "\\up0";
        }
        if (all || r.font != run_.font) out += "\\f" + QByteArray::number(r.font);
        if (all || r.halfPoints != run_.halfPoints) out += "\\fs" + QByteArray::number(r.halfPoints);
        if (out.size() != before) pendingSpace_ = true;
        run_ = r;
    }

    // Text of a run: ASCII as it is (RTF's own characters escaped), other
    // characters as \'hh in the font's code page when it holds them, else \uN?.
    void WriteText(QByteArray& out, const QString& text, int charset) {
        const int cp = CodePage::OfCharset(charset, codePage_);
        for (qsizetype k = 0; k < text.size(); ++k) {
            const char16_t c = text[k].unicode();
            QByteArray piece;
            bool word = false;  // the piece ends with a control word
            if (c == u'\\' || c == u'{' || c == u'}') {
                piece = QByteArray("\\") + char(c);
            } else if (c == u'\t') {
                piece = "\\tab";
                word = true;
            } else if (c == QChar::LineSeparator) {
                piece = "\\line";
                word = true;
            } else if (c == 0x00A0) {
                piece = "\\~";
            } else if (c == 0x00AD) {
                piece = "\\-";
            } else if (c == 0x2011) {
                piece = "\\_";
            } else if (c == QChar::ObjectReplacementCharacter || c == QChar::ParagraphSeparator || c < 0x20) {
                continue;
            } else if (c < 0x7F) {
                // DEL goes escaped below: raw, it did not read back the same in every
                // context (a fuzzed round trip lost one).
                piece = QByteArray(1, char(c));
            } else {
                QByteArray bytes;
                const bool pair = QChar::isHighSurrogate(c) && k + 1 < text.size() && text[k + 1].isLowSurrogate();
                const QStringView one = QStringView(text).mid(k, pair ? 2 : 1);
                if (!pair && CodePage::Encode(cp, one, bytes) && bytes.size() == 1) {
                    piece = "\\'" + bytes.toHex();
                } else {
                    for (QChar unit : one)
                        piece += "\\u" + QByteArray::number(int(int16_t(unit.unicode()))) + '?';
                    if (pair) ++k;
                }
            }
            if (pendingSpace_ && !piece.startsWith('\\')) out += ' ';
            pendingSpace_ = word;
            out += piece;
        }
    }

    int codePage_;
    std::vector<Font> fonts_;
    std::vector<QColor> colours_;
    struct Run run_;
    Para para_;
    bool pendingSpace_ = false;  // a control word was written: text must be set apart
};

}  // namespace

QByteArray Write(const QTextDocument& document, int codePage) {
    Writer writer(codePage);
    return writer.Run(document);
}

}  // namespace Rtf
