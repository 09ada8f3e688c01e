#include "ui/InPlaceEditor.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QTextBlock>

CInPlaceEditor::CInPlaceEditor(QWidget* parent, const QByteArray& richText, double scale, int wrapWidth,
                               bool singleLine, bool alignRight)
    : QTextEdit(parent), scale_(scale), singleLine_(singleLine), original_(richText) {
    setObjectName(QStringLiteral("inPlaceEditor"));
    setFrameStyle(QFrame::NoFrame);
    // The canvas shows the object's background through the editor.
    setAttribute(Qt::WA_TranslucentBackground);
    viewport()->setAutoFillBackground(false);
    QPalette colours = palette();
    colours.setColor(QPalette::Base, Qt::transparent);
    colours.setColor(QPalette::Text, Qt::white);
    setPalette(colours);
    setAcceptRichText(true);
    document()->setDocumentMargin(0);
    codePage_ = InPlaceText::Load(*document(), richText, scale);
    if (singleLine) {
        setLineWrapMode(QTextEdit::NoWrap);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        QTextCursor all(document());
        all.select(QTextCursor::Document);
        InPlaceText::Align(all, alignRight ? InPlaceText::Alignment::Right : InPlaceText::Alignment::Left);
        document()->clearUndoRedoStacks();
    } else {
        setLineWrapMode(QTextEdit::FixedPixelWidth);
        setLineWrapColumnOrWidth(std::max(1, wrapWidth));
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    }
    // Loading moved the caret along with the text it inserted.
    moveCursor(QTextCursor::Start);
    document()->setModified(false);
}

QByteArray CInPlaceEditor::RichText() const {
    return document()->isModified() ? InPlaceText::Store(*document(), scale_, codePage_) : original_;
}

InPlaceText::SelectionFormat CInPlaceEditor::Format() const { return InPlaceText::FormatOf(textCursor()); }

void CInPlaceEditor::ApplyFormat(const QTextCharFormat& change) {
    QTextCursor cursor = textCursor();
    InPlaceText::Apply(cursor, change);
    setTextCursor(cursor);
    setFocus();
}

void CInPlaceEditor::Align(InPlaceText::Alignment alignment) {
    if (singleLine_) return;  // a crawl is always left, or right when reversed
    QTextCursor cursor = textCursor();
    InPlaceText::Align(cursor, alignment);
    setTextCursor(cursor);
    setFocus();
}

void CInPlaceEditor::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && escape) {
        event->accept();
        escape();
        return;
    }
    // A crawl is one line: its text has no paragraph to break.
    if (singleLine_ && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        event->accept();
        return;
    }
    QTextEdit::keyPressEvent(event);
}

void CInPlaceEditor::contextMenuEvent(QContextMenuEvent* event) {
    if (!contextMenu) return QTextEdit::contextMenuEvent(event);
    event->accept();
    contextMenu(event->globalPos());
}
