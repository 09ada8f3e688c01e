// The canvas's in-place text editing without its widget: the object's rich text
// loaded into the editor's document at the canvas's zoom and stored back at its own
// sizes, what the selection's format is (for the format toolbar's states and check
// marks), and the one format change each format command makes. The text widget
// only applies the returned formats to its selection.
//
// The editor shows text at the canvas's scale, so every run keeps its stored size
// in a property beside the scaled one; text typed or pasted inherits it, and
// storing puts the stored sizes back exactly (no rounding at any zoom).
//
// Threads: the user-interface thread (the documents are the editor's).
#pragma once

#include "app/ObjectPropertiesDialog.h"

#include <QByteArray>
#include <QColor>
#include <QString>
#include <QTextCharFormat>
#include <QTextCursor>
#include <optional>

class QTextDocument;

namespace InPlaceText {

// The run's size in points as stored, while the document shows it scaled.
constexpr int StoredPointSizeProperty = QTextFormat::UserProperty + 40;

// Replaces the document's content with the rich text (plain text when it is not
// RTF) in the renderer's default format, shown at scale (display points per stored
// point). Returns the code page to write the text back in.
int Load(QTextDocument& document, const QByteArray& richText, double scale);
// The document's text as RTF at the stored sizes.
QByteArray Store(const QTextDocument& document, double scale, int codePage);

enum class Alignment { Left, Center, Right, Mixed };

// The format the selection (or, without one, the text at the cursor) has: a flag is
// set when the whole selection has the attribute; the face is empty and the size
// 0 when they differ within it.
struct SelectionFormat {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    QString face;
    int points = 0;          // stored size, rounded
    QColor colour;           // the first character's
    QColor background;       // invalid unless the whole selection has this one
    double offsetPercent = 0;  // vertical offset of the first character, percent of its size
    bool offsetMixed = false;
    Alignment alignment = Alignment::Left;
};
SelectionFormat FormatOf(const QTextCursor& cursor);

// The change each command merges into the selection (only the one attribute).
// Bold, italic, underline: toggled when the whole selection agrees, set otherwise.
QTextCharFormat ToggleBold(const SelectionFormat& current);
QTextCharFormat ToggleItalic(const SelectionFormat& current);
QTextCharFormat ToggleUnderline(const SelectionFormat& current);
QTextCharFormat Colour(const QColor& colour);
// An invalid colour removes the background (automatic).
QTextCharFormat Background(const QColor& colour);
// The face name, at most 31 characters; nothing for an empty (trimmed) name.
std::optional<QTextCharFormat> Face(const QString& name);
// A size typed or picked in points; nothing for 0 or text that is no number.
std::optional<QTextCharFormat> Size(const QString& points, double scale);
// Superscript (+1) raises and subscript (-1) lowers by a fifth of the font
// height, repeatedly; 0 puts the text back on the baseline.
QTextCharFormat Script(const SelectionFormat& current, int direction);

// Applies a character format change to the selection, or to what is typed next
// when there is none.
void Apply(QTextCursor& cursor, const QTextCharFormat& change);
void Align(QTextCursor& cursor, Alignment alignment);

// The paragraph format of the selection's paragraphs in twips (an attribute the
// paragraphs do not share has no value), and setting one (attributes without a
// value are left as they are). Indents and spaces are not scaled with the text.
constexpr double TwipsPerPixel = 15.0;  // 96 logical pixels per inch
CParagraphFormat ParagraphOf(const QTextCursor& cursor);
void SetParagraph(QTextCursor& cursor, const CParagraphFormat& format);

}  // namespace InPlaceText
