#include "text/RichEdit.h"

#include "base/Debug.h"
#include "text/Rtf.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>
#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr int MaxStripSide = 32000;
constexpr int RollStrip = 2048;

// Laying out a paragraph costs more than its length (a line of a million characters
// takes half a minute), so a long text is laid out a window at a time: the
// characters a strip can take from where it starts, with a little of the text on
// either side so that the letters at the window's edges are shaped as in the whole.
// A strip that would hold more simply ends at the window; the next one goes on.
constexpr int CrawlWindow = 4096;   // a crawl strip: 32000 pixels at most, some 1600 characters at 28 points
constexpr int TextWindow = 65536;   // wrapped text: more than a full-HD page of 10-point text
constexpr int WindowContext = 64;   // characters kept either side of a window

// One laid-out line in document coordinates.
struct LineBox {
    int first = 0;  // first character
    int end = 0;    // one past the last character (its paragraph break included)
    double top = 0;
    double bottom = 0;
};

// Lines of the document in order, their characters counted from offset. A last
// paragraph that is empty (the break every RTF document ends with) is no line of text.
std::vector<LineBox> Lines(QTextDocument& document, int offset) {
    std::vector<LineBox> lines;
    QAbstractTextDocumentLayout* layout = document.documentLayout();
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (!block.next().isValid() && block.length() <= 1 && block != document.begin()) break;
        const QRectF box = layout->blockBoundingRect(block);
        const QTextLayout* text = block.layout();
        for (int k = 0; k < text->lineCount(); ++k) {
            const QTextLine line = text->lineAt(k);
            LineBox l;
            l.first = offset + block.position() + line.textStart();
            l.end = offset + block.position() + line.textStart() + line.textLength();
            if (k == text->lineCount() - 1) l.end = offset + block.position() + block.length();
            l.top = box.top() + line.y();
            l.bottom = l.top + line.height();
            lines.push_back(l);
        }
    }
    return lines;
}

// Horizontal position of character i of the single line (i = length: its end).
double PositionX(QTextDocument& document, int i) {
    const QTextBlock block = document.firstBlock();
    const QTextLayout* text = block.layout();
    if (text->lineCount() == 0) return 0;
    const QRectF box = document.documentLayout()->blockBoundingRect(block);
    return box.left() + text->lineAt(0).cursorToX(std::clamp(i, 0, block.length() - 1));
}

int Round(double v) { return int(std::floor(v + 0.5)); }

// The characters of the document laid out for one strip.
struct Window {
    int offset = 0;  // characters cut off before it
    int limit = 0;   // the strip ends at or before this character (the text's end when not cut)
    bool cut = false;
};

// A cut at the start of a word at or before at (not before from) when there is one,
// so that no word is shaped in two pieces; else at itself.
int WordEdge(const QString& text, int at, int from) {
    for (int i = at; i >= from && i > 0; --i)
        if (text[i - 1].isSpace()) return i;
    return at;
}

// Cuts the document down to the characters from about first to about last (and
// the context around them); the characters before the window are counted in
// offset. The first paragraph, when cut, loses its first-line indent and the space
// above it: the window begins at one of its later lines.
Window CutToWindow(QTextDocument& document, int n, int first, int last) {
    Window window;
    window.limit = n;
    if (first <= 0 && last >= n) return window;
    const QString text = document.toRawText();
    const int from = first <= 0 ? 0 : WordEdge(text, first, std::max(0, first - WindowContext));
    const int to = last + WindowContext >= n ? n : WordEdge(text, last + WindowContext, last);
    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    if (to < n) {
        cursor.setPosition(to);
        cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
    }
    if (from > 0) {
        cursor.setPosition(0);
        cursor.setPosition(from, QTextCursor::KeepAnchor);
        const bool midParagraph = text[from - 1] != QChar::ParagraphSeparator;
        cursor.removeSelectedText();
        if (midParagraph) {
            QTextBlockFormat format = cursor.blockFormat();
            format.setTextIndent(0);
            format.setTopMargin(0);
            cursor.setBlockFormat(format);
        }
    }
    cursor.endEditBlock();
    window.offset = from;
    window.limit = to >= n ? n : std::max(from + 1, std::min(last, to - WindowContext / 2));
    window.cut = true;
    return window;
}

// Premultiplied drawing to the picture's straight alpha, seen through opacity. The
// drawing has 16 bits a channel, so the faint edge of a glyph still divides back
// to its true colour.
void StoreStraight(const QImage& drawn, CPicture& picture, int opacity) {
    for (int y = 0; y < picture.height; ++y) {
        const uint16_t* s = reinterpret_cast<const uint16_t*>(drawn.constScanLine(y));  // R, G, B, A
        uint8_t* d = picture.Pixel(0, y);
        for (int x = 0; x < picture.width; ++x, s += 4, d += 4) {
            const uint32_t a16 = s[3];
            const int a = int((a16 + 128) / 257);
            if (a == 0) {
                d[0] = d[1] = d[2] = d[3] = 0;
                continue;
            }
            for (int c = 0; c < 3; ++c)
                d[2 - c] = uint8_t(std::min<uint32_t>(255, (uint32_t(s[c]) * 255 + a16 / 2) / a16));
            d[3] = uint8_t(CPicture::ScaleOpacity(a, opacity));
        }
    }
}

// Grows the strip by d blank columns (or rows) on the side the text enters from.
bool AddLeadIn(CPicture& picture, RasteriseResult& result, const RasteriseObject& object) {
    const bool across = object.movement == 1;
    const int d = across ? object.right - object.left : object.bottom - object.top;
    if (d <= 0) return true;
    const int w = across ? picture.width + d : picture.width;
    const int h = across ? picture.height : picture.height + d;
    CPicture grown;
    if (!grown.Resize(w, h)) return false;
    grown.Fill(0);
    const int x = across && !object.reverse ? d : 0;
    const int y = !across && !object.reverse ? d : 0;
    CPicture::Blit(grown, picture, x, y, picture.width, picture.height, 0, 0, 0);
    picture = std::move(grown);
    if (across) result.usedWidth += d;
    else result.usedHeight += d;
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------------
// CRichEditExCtrl

CRichEditExCtrl::CRichEditExCtrl(int controlId, bool single)
    : id(controlId), singleLine(single), layoutDevice_(1, 1, QImage::Format_ARGB32_Premultiplied) {
    layoutDevice_.setDotsPerMeterX(3780);  // 96 per inch
    layoutDevice_.setDotsPerMeterY(3780);
    document.documentLayout()->setPaintDevice(&layoutDevice_);
    document.setDocumentMargin(0);
    document.setUndoRedoEnabled(false);
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(28);
    document.setDefaultFont(font);
    defaultFormat.setFontFamilies(QStringList{QStringLiteral("Arial")});
    defaultFormat.setFontPointSize(28);
    defaultFormat.setForeground(QColor(255, 255, 255));
    if (singleLine) {
        QTextOption option = document.defaultTextOption();
        option.setWrapMode(QTextOption::NoWrap);
        document.setDefaultTextOption(option);
    }
}

CRichEditExCtrl::~CRichEditExCtrl() = default;

int CRichEditExCtrl::StreamIn(const QByteArray& rtf) {
    // A document with a page size lays out each paragraph again at each insert into
    // it; the rasteriser gives the width once the text is complete.
    document.setPageSize(QSizeF(0, 0));
    codePage = Rtf::Read(rtf, document, defaultFormat, codePage).codePage;
    if (singleLine) MergeToOneLine();
    selectionStart_ = selectionEnd_ = 0;
    return 1;
}

QByteArray CRichEditExCtrl::StreamOut() const { return Rtf::Write(document, codePage); }

RichContent CRichEditExCtrl::Content() const {
    RichContent content;
    content.codePage = codePage;
    content.singleLine = singleLine;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        RichContent::Block& kept = content.blocks.emplace_back();
        kept.format = block.blockFormat();
        kept.charFormat = block.charFormat();
        for (auto it = block.begin(); !it.atEnd(); ++it)
            kept.runs.push_back({it.fragment().text(), it.fragment().charFormat()});
    }
    return content;
}

void CRichEditExCtrl::SetContent(const RichContent& content) {
    // Built with the very cursor calls the RTF reader makes, so the document is the
    // one the reader made: the first paragraph's formats set, every further one
    // inserted with its own. A run's text holds no paragraph break (a break is
    // always a paragraph of its own), so inserting it splits nothing.
    document.setPageSize(QSizeF(0, 0));  // no layout while it is built, as in StreamIn
    document.clear();
    QTextCursor cursor(&document);
    // One edit: the runs of a long paragraph (a crawl's whole text) are put in at
    // the cost of their length, not each at the cost of the paragraph so far.
    cursor.beginEditBlock();
    bool first = true;
    for (const RichContent::Block& block : content.blocks) {
        if (first) {
            cursor.setBlockFormat(block.format);
            cursor.setBlockCharFormat(block.charFormat);
            first = false;
        } else {
            cursor.insertBlock(block.format, block.charFormat);
        }
        for (const RichContent::Run& run : block.runs) cursor.insertText(run.text, run.format);
    }
    cursor.endEditBlock();
    codePage = content.codePage;
    if (singleLine && !content.singleLine) MergeToOneLine();
    selectionStart_ = selectionEnd_ = 0;
}

int CRichEditExCtrl::TextLength() const { return std::max(0, document.characterCount() - 1); }

QString CRichEditExCtrl::PlainText() const { return document.toPlainText(); }

int CRichEditExCtrl::FindText(const QString& text, int from) const {
    if (text.isEmpty()) return -1;
    const QTextCursor found = document.find(text, std::clamp(from, 0, TextLength()));
    return found.isNull() ? -1 : found.selectionStart();
}

void CRichEditExCtrl::SetSelection(int from, int to) {
    selectionStart_ = std::clamp(std::min(from, to), 0, TextLength());
    selectionEnd_ = std::clamp(std::max(from, to), 0, TextLength());
}

void CRichEditExCtrl::SelectAll() { SetSelection(0, TextLength()); }

void CRichEditExCtrl::ReplaceSelection(const QString& text) {
    ReplaceRanges({{selectionStart_, selectionEnd_, text}});
}

void CRichEditExCtrl::ReplaceRanges(const std::vector<TextReplacement>& ranges) {
    if (ranges.empty()) return;
    // From the last range back to the first, so that each range's characters stand
    // where they were found; the end of the last one moves with every range before it.
    QTextCursor edit(&document);
    edit.beginEditBlock();
    int end = 0;
    for (auto range = ranges.rbegin(); range != ranges.rend(); ++range) {
        const int before = TextLength();
        const int after = ReplaceRange(range->from, range->to, range->text);
        if (range == ranges.rbegin()) end = after;
        else end += TextLength() - before;
    }
    edit.endEditBlock();
    selectionStart_ = selectionEnd_ = end;
    if (singleLine) MergeToOneLine();
}

int CRichEditExCtrl::ReplaceRange(int from, int to, const QString& text) {
    from = std::clamp(from, 0, TextLength());
    to = std::clamp(to, from, TextLength());
    QTextCursor cursor(&document);
    // The format of the range's first character, as typing over it would take.
    cursor.setPosition(std::min(from + 1, TextLength()));
    QTextCharFormat format = from < TextLength() ? cursor.charFormat() : QTextCharFormat();
    if (from >= TextLength()) {
        cursor.setPosition(from);
        format = cursor.charFormat();
    }
    if (!format.hasProperty(QTextFormat::ForegroundBrush)) {
        // What the character does not say comes from the default format.
        QTextCharFormat complete = defaultFormat;
        complete.merge(format);
        format = complete;
    }
    cursor.setPosition(from);
    cursor.setPosition(to, QTextCursor::KeepAnchor);
    QString value = text;
    value.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    value.replace(u'\r', u'\n');
    cursor.insertText(value, format);
    return cursor.position();
}

void CRichEditExCtrl::SetAlignment(bool right) {
    QTextCursor cursor(&document);
    cursor.select(QTextCursor::Document);
    QTextBlockFormat format;
    format.setAlignment(right ? Qt::AlignRight : Qt::AlignLeft);
    cursor.mergeBlockFormat(format);
}

void CRichEditExCtrl::MergeToOneLine() {
    // Trailing empty paragraphs go; every other break becomes a space in the
    // formatting of the text before it. One edit: the layout follows once, at its
    // end, not once per break over the line grown so far.
    QTextCursor edit(&document);
    edit.beginEditBlock();
    while (document.blockCount() > 1 && document.lastBlock().length() <= 1) {
        QTextCursor cursor(&document);
        cursor.movePosition(QTextCursor::End);
        cursor.deletePreviousChar();
    }
    const QString text = document.toRawText();
    for (int i = int(text.size()) - 1; i >= 0; --i) {
        const QChar c = text[i];
        if (c != QChar::ParagraphSeparator && c != QChar::LineSeparator && c != QChar(u'\n')) continue;
        QTextCursor cursor(&document);
        cursor.setPosition(i);
        const QTextCharFormat format = cursor.charFormat();
        cursor.setPosition(i + 1, QTextCursor::KeepAnchor);
        cursor.insertText(QStringLiteral(" "), format);
    }
    edit.endEditBlock();
}

// ---------------------------------------------------------------------------------
// CRichEditTextRenderer

CRichEditTextRenderer::CRichEditTextRenderer(int firstId)
    : multiLine(std::make_unique<CRichEditExCtrl>(firstId, false)),
      singleLine(std::make_unique<CRichEditExCtrl>(firstId + 1, true)) {}

CRichEditTextRenderer::~CRichEditTextRenderer() = default;

// ---------------------------------------------------------------------------------
// Rasterise

RasteriseResult Rasterise(CPicture& picture, int& start, const RasteriseObject& object,
                          CRichEditTextRenderer& renderer, bool still, const TextLoader& load) {
    RasteriseResult result;
    const bool crawl = object.movement == 1;
    const bool roll = object.movement == 2;
    CRichEditExCtrl& control = crawl ? *renderer.singleLine : *renderer.multiLine;
    // No layout while the text is put together (a value put into the template may
    // be the long part): only the window of it is laid out.
    control.document.setPageSize(QSizeF(0, 0));
    if (!load || !load(control)) return result;
    if (crawl) control.SetAlignment(still && object.reverse);

    const int n = control.TextLength();
    result.characters = n;
    if (n <= 0) return result;
    start = std::clamp(start, 0, n);
    QTextDocument& document = control.document;

    // The window this strip is laid out in: a reversed still crawl shows the text's
    // end; everything else goes on from start.
    Window window;
    if (crawl && n > CrawlWindow + 2 * WindowContext) {
        if (still && object.reverse) window = CutToWindow(document, n, n - CrawlWindow, n);
        else window = CutToWindow(document, n, start, start + CrawlWindow);
    } else if (!crawl && n > TextWindow + 2 * WindowContext) {
        window = CutToWindow(document, n, start, start + TextWindow);
    } else {
        window.limit = n;
    }
    const auto X = [&](int i) { return PositionX(document, i - window.offset); };

    // Measure.
    const int rectWidth = object.right - object.left;
    const int rectHeight = object.bottom - object.top;
    int w = rectWidth;
    int h = rectHeight;
    double textWidth = 0;
    if (crawl) {
        document.setTextWidth(-1);  // the natural width of the one line
        textWidth = PositionX(document, document.characterCount() - 1);
        if (!still) w = int(std::ceil(textWidth));
    }
    std::vector<LineBox> lines;
    if (!crawl) {
        document.setTextWidth(std::max(1, w));
        lines = Lines(document, window.offset);
        if (window.cut) {
            // Lines that end beyond the limit may have been broken by the cut: the
            // next strip lays them out again. One line at least, so a strip moves on.
            if (!lines.empty())
                lines.erase(std::find_if(lines.begin() + 1, lines.end(), [&](const LineBox& l) { return l.end > window.limit; }),
                            lines.end());
        }
        if (roll && object.reverse && !lines.empty()) h = int(std::ceil(lines.back().bottom));
        else if (roll && !still) h = RollStrip;
    }
    w = std::min(w, MaxStripSide);
    h = std::min(h, MaxStripSide);
    if (w <= 0 || h <= 0) return result;

    // Layout size: a still picture lays out beyond its edge so the text there is
    // cut, not wrapped; fixed text gets half a height more for the same reason.
    int layoutWidth = w;
    int layoutHeight = h;
    if (still && !object.reverse) {
        if (crawl) layoutWidth += rectWidth;
        if (roll) layoutHeight += rectHeight;
    }
    if (object.movement == 0) layoutHeight += rectHeight / 2;

    if ((picture.width != w || picture.height != h) && !picture.Resize(w, h)) return result;
    const int twipsWidth = int(std::floor(layoutWidth * control.twipsPerPixelX + 0.5));
    const int twipsHeight = int(std::floor(layoutHeight * control.twipsPerPixelY + 0.5));
    CDebug::Log(3, "render size: %d x %d", twipsWidth, twipsHeight);

    // Choose the characters that fit and where they stand.
    int next = start;
    double originX = 0, originY = 0, drawnRight = 0, drawnBottom = 0;
    if (crawl) {
        if (still && object.reverse) {
            // Right-aligned in the rectangle: the text's end stands at the right edge.
            originX = textWidth - w;
            next = n;
            drawnRight = w;
        } else {
            const double x0 = X(start);
            // Positions grow along the line: the last character that ends within
            // the strip, found by halving (at least one, so a strip always moves on).
            int low = start + 1, high = std::max(low, window.limit);
            while (low < high) {
                const int middle = low + (high - low + 1) / 2;
                if (X(middle) - x0 <= layoutWidth) low = middle;
                else high = middle - 1;
            }
            next = low;
            originX = x0;
            drawnRight = X(next) - x0;
        }
        const QTextLayout* text = document.firstBlock().layout();
        drawnBottom = text->lineCount() > 0 ? text->lineAt(0).height() : 0;
    } else {
        size_t first = 0;
        while (first < lines.size() && lines[first].end <= start) ++first;
        if (first < lines.size()) {
            originY = lines[first].top;
            size_t last = first;  // at least one line, so a line taller than the page still moves on
            while (last + 1 < lines.size() && lines[last + 1].bottom - originY <= layoutHeight) ++last;
            next = last + 1 < lines.size() ? lines[last + 1].first : window.cut ? lines[last].end : n;
            drawnBottom = lines[last].bottom - originY;
        }
        drawnRight = layoutWidth;
    }
    if (next <= start) return result;

    // Draw straight onto transparency.
    QImage& surface = renderer.scratch;
    if (surface.width() != w || surface.height() != h) surface = QImage(w, h, QImage::Format_RGBA64_Premultiplied);
    if (surface.isNull()) return RasteriseResult{};  // no memory for a strip this size
    surface.fill(Qt::transparent);
    {
        QPainter painter(&surface);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setRenderHint(QPainter::Antialiasing);
        const double clipWidth = crawl && !(still && object.reverse) ? drawnRight : w;
        painter.setClipRect(QRectF(0, 0, std::min<double>(clipWidth, w), std::min<double>(drawnBottom, h)));
        painter.translate(-originX, -originY);
        QAbstractTextDocumentLayout::PaintContext context;
        context.palette.setColor(QPalette::Text, control.defaultFormat.foreground().color());
        context.clip = QRectF(originX, originY, w, h);
        document.documentLayout()->draw(&painter, context);
    }
    StoreStraight(surface, picture, object.textOpacity);

    result.usedWidth = std::min(w, Round(drawnRight));
    result.usedHeight = std::min(h, Round(drawnBottom));
    CDebug::Log(3, "target size: %d x %d", w, h);
    CDebug::Log(3, "dest size: %d x %d", Round(drawnRight), Round(drawnBottom));
    if (result.usedHeight > 0 && result.usedHeight < picture.height) {
        CPicture cut;
        if (cut.CopyRows(picture.width, result.usedHeight, picture)) picture = std::move(cut);
    }

    if (!still && object.leadInPending && object.movement != 0) {
        if (!AddLeadIn(picture, result, object)) return RasteriseResult{};
        result.leadInDone = 1;
    }
    start = next;
    result.done = 1;
    return result;
}
