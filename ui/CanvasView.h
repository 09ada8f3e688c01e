// The canvas's widget: shows what CCanvasModel composed, at its zoom and scroll
// position, with the on-air outlines and the selection tracker, and hands mouse and
// key events to the model. It holds no editing rule of its own.
//
// Threads: the user-interface thread.
#pragma once

#include "app/Canvas.h"

#include <QAbstractScrollArea>
#include <QPointer>
#include <QRect>
#include <functional>

class CInPlaceEditor;

class CCanvasView : public QAbstractScrollArea, public ICanvasHost {
public:
    // updateViews: every view of the document, this one included (it hands the
    // canvas's part back to Refresh).
    explicit CCanvasView(QWidget* parent = nullptr);
    // The model is made with this view as its host; call once, before showing.
    void Attach(CCanvasModel& model, std::function<void(int kind, const CRect* rect)> updateViews);

    // A document update for this view.
    void Refresh(int kind, const CRect* rect = nullptr, int number = 0);
    // The layout again (zoom, settings), keeping the scroll inside its range.
    void Relayout();

    // ICanvasHost
    void UpdateViews(int kind, const CRect* rect) override;
    void ZoomChanged(int index) override;
    void Repaint() override { viewport()->update(); }
    void OpenInPlaceEditor(const InPlaceEditor& editor) override;
    QByteArray InPlaceEditorText() override;
    void CloseInPlaceEditor() override;

    // The in-place editor while text is edited, else null.
    CInPlaceEditor* Editor() const;

    std::function<void(int index)> zoomChanged;  // the main window's zoom list follows
    // The in-place editor opened, closed, or its text, caret or selection changed:
    // the format toolbar and the edit commands follow.
    std::function<void()> editorChanged;
    // The context menu to show (202, 203 or 204) at a screen position.
    std::function<void(int menu, QPoint global)> contextMenu;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool focusNextPrevChild(bool) override { return false; }  // Tab selects objects

private:
    QPoint Scroll() const;
    void PlaceEditor();
    void ShowContextMenu(QPoint global);
    // Which part of the tracker a point is on: -1 none, 0 inside (move), 1-8 the
    // handles clockwise from the top left.
    int TrackerPart(QPoint point) const;

    CCanvasModel* model_ = nullptr;
    std::function<void(int, const CRect*)> updateViews_;
    // The tracker while the mouse drags it.
    int dragPart_ = -1;
    QPoint dragStart_;
    QRect dragStartRect_, dragRect_;
    // The in-place editor and its place in scroll-area coordinates.
    QPointer<CInPlaceEditor> editor_;
    QRect editorRect_;
};
