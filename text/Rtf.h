// Rich text as 8-bit RTF: reading it into a QTextDocument and writing a document
// back in the same dialect, so pages stay exchangeable with ones made on Windows.
//
// Threads: any; a document belongs to the thread that uses it.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QTextCharFormat>

class QTextDocument;

namespace Rtf {

// Character format properties the reader keeps for the writer.
constexpr int CharsetProperty = QTextFormat::UserProperty + 1;  // the font's \fcharset

// Nesting deeper than this is read as text of the deepest group kept.
constexpr int MaxDepth = 512;

struct ReadResult {
    bool rtf = false;     // the bytes began with "{\rtf"; otherwise they were read as plain text
    int codePage = 1252;  // \ansicpg, or the fallback given
};

// Replaces the document's content with the RTF (or, when the bytes are no RTF, the
// plain text in ansiCodePage). Text without its own formatting takes defaultFormat.
// Never fails: what cannot be read is skipped.
ReadResult Read(QByteArrayView bytes, QTextDocument& document, const QTextCharFormat& defaultFormat,
                int ansiCodePage);

// Takes out the characters rich text does not keep: control characters other than
// tab and line ends, and object replacement characters. The reader never gives
// them and the writer leaves them out.
void DropControls(QString& text);

// The document as RTF with the given \ansicpg; characters the code page of their
// font cannot hold are written as \uN.
QByteArray Write(const QTextDocument& document, int codePage);

}  // namespace Rtf
