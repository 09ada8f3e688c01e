// The canvas's in-place text editor: a transparent rich-text widget over the
// object being edited, showing its text at the canvas's zoom. The text's loading,
// storing and format changes are InPlaceText's; this widget holds the text, the
// caret and the selection and tells the canvas about keys it does not keep.
//
// Threads: the user-interface thread.
#pragma once

#include "app/InPlaceText.h"

#include <QTextEdit>
#include <functional>

class CInPlaceEditor : public QTextEdit {
    Q_OBJECT
public:
    // scale: display points per stored point (the canvas's factor at the screen's
    // resolution). wrapWidth: the object's width on screen (multi-line text wraps
    // there as the renderer wraps it).
    CInPlaceEditor(QWidget* parent, const QByteArray& richText, double scale, int wrapWidth, bool singleLine,
                   bool alignRight);

    // The text as stored in the object: the bytes it came with while nothing was
    // changed (or every change was undone), so closing an untouched editor records
    // no edit.
    QByteArray RichText() const;
    bool SingleLine() const { return singleLine_; }
    double Scale() const { return scale_; }

    // The format of the selection, and the format commands on it.
    InPlaceText::SelectionFormat Format() const;
    void ApplyFormat(const QTextCharFormat& change);
    void Align(InPlaceText::Alignment alignment);

    // The canvas takes Escape (ends editing) and the context-menu request.
    std::function<void()> escape;
    std::function<void(QPoint global)> contextMenu;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    const double scale_;
    const bool singleLine_;
    int codePage_ = 1252;
    const QByteArray original_;
};
