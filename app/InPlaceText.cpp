#include "app/InPlaceText.h"

#include "text/RichEdit.h"
#include "text/Rtf.h"

#include <QTextBlock>
#include <QTextDocument>
#include <cmath>
#include <functional>
#include <memory>

namespace InPlaceText {
namespace {

constexpr int MaxFaceLength = 31;
constexpr int MaxPoints = 1638;  // what rich text stores (half points in 16 bits)

double StoredPoints(const QTextCharFormat& format, double scale) {
    if (format.hasProperty(StoredPointSizeProperty)) return format.doubleProperty(StoredPointSizeProperty);
    return scale > 0 ? format.fontPointSize() / scale : format.fontPointSize();
}

// Rewrites the size of every run and of every block's own character format.
void EachFormat(QTextDocument& document, const std::function<void(QTextCharFormat&)>& change) {
    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        QTextCharFormat blockFormat = block.charFormat();
        change(blockFormat);
        cursor.setPosition(block.position());
        cursor.setBlockCharFormat(blockFormat);
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid()) continue;
            QTextCharFormat format = fragment.charFormat();
            change(format);
            cursor.setPosition(fragment.position());
            cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            cursor.setCharFormat(format);
        }
    }
    cursor.endEditBlock();
}

// Calls visit for the format of every character of the selection, or of the
// character before the cursor when there is none.
void EachSelected(const QTextCursor& cursor, const std::function<void(const QTextCharFormat&)>& visit) {
    if (!cursor.hasSelection()) {
        visit(cursor.charFormat());
        return;
    }
    const int from = cursor.selectionStart(), to = cursor.selectionEnd();
    const QTextDocument* document = cursor.document();
    for (QTextBlock block = document->findBlock(from); block.isValid() && block.position() < to;
         block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid()) continue;
            if (fragment.position() + fragment.length() <= from || fragment.position() >= to) continue;
            visit(fragment.charFormat());
        }
    }
}

Alignment AlignmentOf(Qt::Alignment alignment) {
    if (alignment & Qt::AlignHCenter) return Alignment::Center;
    if (alignment & Qt::AlignRight) return Alignment::Right;
    return Alignment::Left;
}

}  // namespace

int Load(QTextDocument& document, const QByteArray& richText, double scale) {
    // The renderer's defaults (face, size, colour) for text that names none.
    const CRichEditExCtrl defaults(0, false);
    const int codePage = Rtf::Read(richText, document, defaults.defaultFormat, defaults.codePage).codePage;
    const double defaultPoints = defaults.defaultFormat.fontPointSize();
    EachFormat(document, [scale, defaultPoints](QTextCharFormat& format) {
        const double points =
            format.hasProperty(QTextFormat::FontPointSize) ? format.fontPointSize() : defaultPoints;
        format.setProperty(StoredPointSizeProperty, points);
        format.setFontPointSize(points * scale);
    });
    document.clearUndoRedoStacks();
    document.setModified(false);
    return codePage;
}

QByteArray Store(const QTextDocument& document, double scale, int codePage) {
    std::unique_ptr<QTextDocument> copy(document.clone());
    EachFormat(*copy, [scale](QTextCharFormat& format) {
        format.setFontPointSize(StoredPoints(format, scale));
        format.clearProperty(StoredPointSizeProperty);
    });
    return Rtf::Write(*copy, codePage);
}

SelectionFormat FormatOf(const QTextCursor& cursor) {
    SelectionFormat result;
    bool first = true;
    bool sameFace = true, sameSize = true, sameBackground = true;
    bool bold = true, italic = true, underline = true;
    double points = 0;
    EachSelected(cursor, [&](const QTextCharFormat& format) {
        bold = bold && format.fontWeight() >= QFont::Bold;
        italic = italic && format.fontItalic();
        underline = underline && format.fontUnderline();
        const QStringList families = format.fontFamilies().toStringList();
        const QString face = families.isEmpty() ? QString() : families.first();
        const double size = StoredPoints(format, 1.0);
        const QColor background = format.background().style() == Qt::NoBrush ? QColor() : format.background().color();
        if (first) {
            result.face = face;
            points = size;
            result.colour = format.foreground().color();
            result.background = background;
            result.offsetPercent = format.baselineOffset();
            first = false;
            return;
        }
        sameFace = sameFace && face == result.face;
        sameSize = sameSize && size == points;
        sameBackground = sameBackground && background == result.background;
        if (format.baselineOffset() != result.offsetPercent) result.offsetMixed = true;
    });
    result.bold = bold;
    result.italic = italic;
    result.underline = underline;
    if (!sameFace) result.face.clear();
    result.points = sameSize ? int(std::lround(points)) : 0;
    if (!sameBackground) result.background = QColor();
    // A selection across paragraphs with different alignments shows none checked.
    const QTextDocument* document = cursor.document();
    QTextBlock block = document->findBlock(cursor.selectionStart());
    const QTextBlock last = document->findBlock(cursor.selectionEnd());
    result.alignment = AlignmentOf(block.blockFormat().alignment());
    while (block.isValid() && block != last) {
        block = block.next();
        if (block.isValid() && AlignmentOf(block.blockFormat().alignment()) != result.alignment) {
            result.alignment = Alignment::Mixed;
            break;
        }
    }
    return result;
}

QTextCharFormat ToggleBold(const SelectionFormat& current) {
    QTextCharFormat change;
    change.setFontWeight(current.bold ? QFont::Normal : QFont::Bold);
    return change;
}

QTextCharFormat ToggleItalic(const SelectionFormat& current) {
    QTextCharFormat change;
    change.setFontItalic(!current.italic);
    return change;
}

QTextCharFormat ToggleUnderline(const SelectionFormat& current) {
    QTextCharFormat change;
    change.setFontUnderline(!current.underline);
    return change;
}

QTextCharFormat Colour(const QColor& colour) {
    QTextCharFormat change;
    change.setForeground(colour);
    return change;
}

QTextCharFormat Background(const QColor& colour) {
    QTextCharFormat change;
    change.setBackground(colour.isValid() ? QBrush(colour) : QBrush(Qt::NoBrush));
    return change;
}

std::optional<QTextCharFormat> Face(const QString& name) {
    const QString face = name.trimmed().left(MaxFaceLength);
    if (face.isEmpty()) return std::nullopt;
    QTextCharFormat change;
    change.setFontFamilies(QStringList{face});
    return change;
}

std::optional<QTextCharFormat> Size(const QString& points, double scale) {
    bool ok = false;
    const int value = points.trimmed().toInt(&ok);
    if (!ok || value <= 0) return std::nullopt;
    const int stored = std::min(value, MaxPoints);
    QTextCharFormat change;
    change.setProperty(StoredPointSizeProperty, double(stored));
    change.setFontPointSize(stored * scale);
    return change;
}

QTextCharFormat Script(const SelectionFormat& current, int direction) {
    constexpr double Fifth = 20.0;  // percent of the font height
    const double from = current.offsetMixed ? 0.0 : current.offsetPercent;
    QTextCharFormat change;
    change.setBaselineOffset(direction == 0 ? 0.0 : from + direction * Fifth);
    return change;
}

void Apply(QTextCursor& cursor, const QTextCharFormat& change) { cursor.mergeCharFormat(change); }

void Align(QTextCursor& cursor, Alignment alignment) {
    QTextBlockFormat change;
    change.setAlignment(alignment == Alignment::Center  ? Qt::AlignHCenter
                        : alignment == Alignment::Right ? Qt::AlignRight
                                                        : Qt::AlignLeft);
    cursor.mergeBlockFormat(change);
}

namespace {

// One paragraph's format in the dialog's terms: the first line's indent, the
// following lines' offset against it.
CParagraphFormat ParagraphOfBlock(const QTextBlockFormat& block) {
    auto twips = [](double pixels) { return int(std::lround(pixels * TwipsPerPixel)); };
    CParagraphFormat format;
    const Qt::Alignment a = block.alignment();
    format.alignment = (a & Qt::AlignHCenter) ? 2 : (a & Qt::AlignRight) ? 1 : 0;
    int spacing = 20;
    if (block.lineHeightType() == QTextBlockFormat::ProportionalHeight)
        spacing = int(std::lround(block.lineHeight() / 5.0));  // 100 % is 20
    format.lineSpacing = spacing;
    format.startIndent = twips(block.leftMargin() + block.textIndent());
    format.offset = twips(-block.textIndent());
    format.rightIndent = twips(block.rightMargin());
    format.spaceBefore = twips(block.topMargin());
    format.spaceAfter = twips(block.bottomMargin());
    return format;
}

template <typename T>
void Keep(std::optional<T>& shared, const std::optional<T>& other) {
    if (shared != other) shared.reset();
}

}  // namespace

CParagraphFormat ParagraphOf(const QTextCursor& cursor) {
    const QTextDocument* document = cursor.document();
    QTextBlock block = document->findBlock(cursor.selectionStart());
    const QTextBlock last = document->findBlock(cursor.selectionEnd());
    CParagraphFormat shared = ParagraphOfBlock(block.blockFormat());
    while (block.isValid() && block != last) {
        block = block.next();
        if (!block.isValid()) break;
        const CParagraphFormat next = ParagraphOfBlock(block.blockFormat());
        Keep(shared.alignment, next.alignment);
        Keep(shared.lineSpacing, next.lineSpacing);
        Keep(shared.startIndent, next.startIndent);
        Keep(shared.offset, next.offset);
        Keep(shared.rightIndent, next.rightIndent);
        Keep(shared.spaceBefore, next.spaceBefore);
        Keep(shared.spaceAfter, next.spaceAfter);
    }
    return shared;
}

void SetParagraph(QTextCursor& cursor, const CParagraphFormat& format) {
    const QTextDocument* document = cursor.document();
    const int from = cursor.selectionStart(), to = cursor.selectionEnd();
    QTextCursor edit(cursor);
    edit.beginEditBlock();
    for (QTextBlock block = document->findBlock(from); block.isValid() && block.position() <= to;
         block = block.next()) {
        // Each paragraph keeps what the format leaves open, so the first line and
        // the following lines are worked out from its own values.
        const CParagraphFormat own = ParagraphOfBlock(block.blockFormat());
        const int start = format.startIndent.value_or(*own.startIndent);
        const int offset = format.offset.value_or(*own.offset);
        QTextBlockFormat change;
        if (format.alignment)
            change.setAlignment(*format.alignment == 2 ? Qt::AlignHCenter : *format.alignment == 1 ? Qt::AlignRight
                                                                                                  : Qt::AlignLeft);
        if (format.lineSpacing) {
            if (*format.lineSpacing == 20) change.setLineHeight(100, QTextBlockFormat::SingleHeight);
            else change.setLineHeight(*format.lineSpacing * 5.0, QTextBlockFormat::ProportionalHeight);
        }
        if (format.startIndent || format.offset) {
            change.setLeftMargin((start + offset) / TwipsPerPixel);
            change.setTextIndent(-offset / TwipsPerPixel);
        }
        if (format.rightIndent) change.setRightMargin(*format.rightIndent / TwipsPerPixel);
        if (format.spaceBefore) change.setTopMargin(*format.spaceBefore / TwipsPerPixel);
        if (format.spaceAfter) change.setBottomMargin(*format.spaceAfter / TwipsPerPixel);
        edit.setPosition(block.position());
        edit.mergeBlockFormat(change);
        if (block.position() + block.length() > to) break;
    }
    edit.endEditBlock();
}

}  // namespace InPlaceText
