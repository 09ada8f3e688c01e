// Rich text controls and the text rasteriser: RTF laid out with Qt's text layout
// and drawn straight onto a transparent picture with true anti-aliased alpha.
//
// Threads: a renderer and its controls belong to one thread at a time (the render
// engine's text thread, or the user-interface thread for the editor's still
// pictures); QTextDocument and QPainter on a QImage need no display, so nothing is
// handed to another thread. A QGuiApplication must exist (fonts).
#pragma once

#include "media/Picture.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextDocument>
#include <functional>
#include <memory>
#include <vector>

// A control's content kept as its paragraphs and runs with their formats. Put back
// into a control it costs a few inserts where reading the RTF again would cost a
// parse: a template read once is given back this way for every value put into it.
// A plain value (no QObject), so it may be kept with an object and used by whichever
// thread owns that object at the time.
struct RichContent {
    struct Run {
        QString text;
        QTextCharFormat format;
    };
    struct Block {
        QTextBlockFormat format;
        QTextCharFormat charFormat;  // the paragraph's own (an empty one's height)
        std::vector<Run> runs;
    };
    std::vector<Block> blocks;
    int codePage = 1252;      // the code page of the RTF read, for writing it back
    bool singleLine = false;  // taken from a single-line control: already one line
};

// A range of a control's characters and the plain text to put in its place.
struct TextReplacement {
    int from = 0;
    int to = 0;
    QString text;
};

// One laid-out rich text: the multi-line control wraps at the formatting width; the
// single-line one holds the whole text on one line (paragraph and line breaks become
// spaces) and may break it at any character.
class CRichEditExCtrl {
public:
    CRichEditExCtrl(int id, bool singleLine);
    CRichEditExCtrl(const CRichEditExCtrl&) = delete;
    CRichEditExCtrl& operator=(const CRichEditExCtrl&) = delete;
    virtual ~CRichEditExCtrl();

    const int id;
    const bool singleLine;
    double twipsPerPixelX = 15.0;  // 1440 / 96 logical pixels per inch
    double twipsPerPixelY = 15.0;

    // Replaces the whole content with RTF (plain text when the bytes are no RTF). 1.
    int StreamIn(const QByteArray& rtf);
    // The content as RTF in the code page of the last document read.
    QByteArray StreamOut() const;

    // The content as it stands, and content kept so put back as it was (with the
    // code page it was read in); nothing is parsed either way.
    RichContent Content() const;
    void SetContent(const RichContent& content);

    // Characters (UTF-16 units, a paragraph break counting one).
    int TextLength() const;
    QString PlainText() const;

    // The first occurrence of text at or after from (case-insensitive), or -1.
    int FindText(const QString& text, int from = 0) const;
    void SetSelection(int from, int to);
    void SelectAll();
    int SelectionStart() const { return selectionStart_; }
    // Replaces the selection with plain text in the formatting of the selection's
    // first character; the selection becomes empty after the text.
    void ReplaceSelection(const QString& text);
    // Replaces each range (in order, none overlapping another) as ReplaceSelection
    // would one after the other, in one edit: the text is laid out once, not once
    // per range. The selection becomes empty after the last.
    void ReplaceRanges(const std::vector<TextReplacement>& ranges);
    // Every paragraph aligned right (true) or left.
    void SetAlignment(bool right);

    QTextDocument document;
    QTextCharFormat defaultFormat;  // Arial 28 pt white
    int codePage = 1252;            // \ansicpg of the last RTF read

private:
    void MergeToOneLine();
    // One range replaced (without the merge to one line); the position after it.
    int ReplaceRange(int from, int to, const QString& text);

    QImage layoutDevice_;  // 96 DPI: text is measured as it is drawn, whatever the screen
    int selectionStart_ = 0;
    int selectionEnd_ = 0;
};

// The object's properties the rasteriser uses.
struct RasteriseObject {
    int left = 0, top = 0, right = 0, bottom = 0;
    int movement = 0;         // 0 fixed, 1 horizontal crawl, 2 vertical roll
    int reverse = 0;
    int textOpacity = 255;
    int leadInPending = 0;    // a moving object's "Start from edge" blank not yet given
};

struct RasteriseResult {
    int done = 0;
    int characters = 0;   // characters of the text measured
    int usedWidth = 0;
    int usedHeight = 0;
    int leadInDone = 0;   // the lead-in was added to this strip
};

class CRichEditTextRenderer {
public:
    // firstId: the identifier of the multi-line control; the single-line one has the next.
    explicit CRichEditTextRenderer(int firstId = 1);
    virtual ~CRichEditTextRenderer();

    std::unique_ptr<CRichEditExCtrl> multiLine;
    std::unique_ptr<CRichEditExCtrl> singleLine;

    // Drawing surface reused from strip to strip (16-bit premultiplied).
    QImage scratch;
};

// Puts the text to render into the control chosen for the movement; false when
// there is none.
using TextLoader = std::function<bool(CRichEditExCtrl&)>;

// Draws the text from character start into picture: the editor's still picture
// (still) or the next playback strip. start advances to the first character not
// drawn. The picture keeps its size when that does not change; it is not cleared
// when nothing is drawn.
RasteriseResult Rasterise(CPicture& picture, int& start, const RasteriseObject& object,
                          CRichEditTextRenderer& renderer, bool still, const TextLoader& load);
