#include "ui/CanvasView.h"

#include "ui/InPlaceEditor.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>

#include <optional>

namespace {
constexpr int HandleSize = 6;

// The eight handles of a frame, clockwise from the top left, just outside it.
std::array<QRect, 8> Handles(const QRect& r) {
    const int l = r.left() - HandleSize, t = r.top() - HandleSize, rr = r.right() + 1, b = r.bottom() + 1;
    const int cx = r.center().x() - HandleSize / 2, cy = r.center().y() - HandleSize / 2;
    const QSize s(HandleSize, HandleSize);
    return {QRect(QPoint(l, t), s),  QRect(QPoint(cx, t), s),  QRect(QPoint(rr, t), s), QRect(QPoint(rr, cy), s),
            QRect(QPoint(rr, b), s), QRect(QPoint(cx, b), s),  QRect(QPoint(l, b), s),  QRect(QPoint(l, cy), s)};
}

QColor ColourOf(uint32_t colour) { return QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF); }

std::optional<CanvasKey> KeyOf(int key) {
    switch (key) {
    case Qt::Key_Left: return CanvasKey::Left;
    case Qt::Key_Up: return CanvasKey::Up;
    case Qt::Key_Right: return CanvasKey::Right;
    case Qt::Key_Down: return CanvasKey::Down;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return CanvasKey::Tab;
    case Qt::Key_Return:
    case Qt::Key_Enter: return CanvasKey::Enter;
    case Qt::Key_Space: return CanvasKey::Space;
    case Qt::Key_Delete: return CanvasKey::Delete;
    case Qt::Key_Escape: return CanvasKey::Escape;
    case Qt::Key_Plus:
    case Qt::Key_Equal: return CanvasKey::Plus;
    case Qt::Key_Minus: return CanvasKey::Minus;
    case Qt::Key_C: return CanvasKey::C;
    case Qt::Key_X: return CanvasKey::X;
    case Qt::Key_V: return CanvasKey::V;
    case Qt::Key_D: return CanvasKey::D;
    case Qt::Key_Z: return CanvasKey::Z;
    case Qt::Key_Y: return CanvasKey::Y;
    default: return std::nullopt;
    }
}
}  // namespace

CCanvasView::CCanvasView(QWidget* parent) : QAbstractScrollArea(parent) {
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setMouseTracking(true);
    for (QScrollBar* bar : {horizontalScrollBar(), verticalScrollBar()})
        connect(bar, &QScrollBar::valueChanged, this, [this] {
            PlaceEditor();
            viewport()->update();
        });
}

void CCanvasView::Attach(CCanvasModel& model, std::function<void(int, const CRect*)> updateViews) {
    model_ = &model;
    updateViews_ = std::move(updateViews);
    Relayout();
}

QPoint CCanvasView::Scroll() const { return {horizontalScrollBar()->value(), verticalScrollBar()->value()}; }

void CCanvasView::Relayout() {
    if (!model_) return;
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    model_->Layout(viewport()->size(), bar, bar);
    const QSize area = model_->ScrollArea();
    horizontalScrollBar()->setRange(0, std::max(0, area.width() - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
    verticalScrollBar()->setRange(0, std::max(0, area.height() - viewport()->height()));
    verticalScrollBar()->setPageStep(viewport()->height());
    viewport()->update();
}

void CCanvasView::Refresh(int kind, const CRect* rect, int number) {
    if (model_ && model_->Update(kind, rect, number)) viewport()->update();
}

void CCanvasView::UpdateViews(int kind, const CRect* rect) {
    if (updateViews_) updateViews_(kind, rect);
    else Refresh(kind, rect);
}

void CCanvasView::ZoomChanged(int index) {
    Relayout();
    if (zoomChanged) zoomChanged(index);
}

void CCanvasView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    Relayout();
}

void CCanvasView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), palette().color(QPalette::Dark));
    if (!model_) return;
    const QPoint scroll = Scroll();
    const CPicture& picture = model_->Composition();
    if (!picture.IsEmpty()) {
        // Blue, green, red, alpha in memory: the toolkit's 32-bit format; the
        // composition is opaque.
        const QImage image(picture.data.get(), picture.width, picture.height, picture.width * 4, QImage::Format_RGB32);
        const QRect target(model_->PageOffset() - scroll, model_->ScaledPage());
        painter.drawImage(target, image);
    }
    for (const CanvasOutline& outline : model_->Outlines()) {
        const OutlinePen pen = CCanvasModel::PenOf(outline.kind);
        painter.setPen(QPen(ColourOf(pen.colour), pen.width));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(model_->OutlineRect(outline, scroll));
    }
    if (model_->Editing()) return;
    const QRect tracker = dragPart_ >= 0 ? dragRect_ : model_->TrackerRect(scroll);
    if (tracker.isEmpty()) return;
    // Black dots on white: the frame shows on light and dark objects alike.
    const QRect frame = tracker.adjusted(0, 0, -1, -1);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::white, 1));
    painter.drawRect(frame);
    painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
    painter.drawRect(frame);
    if (!model_->TrackerHandles()) return;
    painter.setPen(QPen(Qt::white, 1));
    painter.setBrush(Qt::black);
    for (const QRect& handle : Handles(tracker)) painter.drawRect(handle.adjusted(0, 0, -1, -1));
}

int CCanvasView::TrackerPart(QPoint point) const {
    if (!model_) return -1;
    const QRect tracker = model_->TrackerRect(Scroll());
    if (tracker.isEmpty()) return -1;
    const std::array<QRect, 8> handles = Handles(tracker);
    for (int k = 0; k < 8; ++k)
        if (handles[size_t(k)].contains(point)) return k + 1;
    return tracker.contains(point) ? 0 : -1;
}

void CCanvasView::mousePressEvent(QMouseEvent* event) {
    if (!model_) return;
    const bool left = event->button() == Qt::LeftButton;
    if (!left && event->button() != Qt::RightButton) return;
    const QPoint point = event->position().toPoint();
    const int part = model_->TrackerHandles() ? TrackerPart(point) : -1;
    const CCanvasModel::Press press = model_->MouseDown(point, Scroll(), left);
    if (press != CCanvasModel::Press::Track) return;
    dragPart_ = part < 0 ? 0 : part;
    dragStart_ = point;
    dragStartRect_ = dragRect_ = model_->TrackerRect(Scroll());
}

void CCanvasView::mouseMoveEvent(QMouseEvent* event) {
    if (dragPart_ < 0 || !model_) return;
    const QPoint d = event->position().toPoint() - dragStart_;
    QRect r = dragStartRect_;
    const int minimum = model_->TrackerMinimum();
    switch (dragPart_) {
    case 0: r.translate(d); break;
    case 1: r.setTopLeft(r.topLeft() + d); break;
    case 2: r.setTop(r.top() + d.y()); break;
    case 3: r.setTopRight(r.topRight() + d); break;
    case 4: r.setRight(r.right() + d.x()); break;
    case 5: r.setBottomRight(r.bottomRight() + d); break;
    case 6: r.setBottom(r.bottom() + d.y()); break;
    case 7: r.setBottomLeft(r.bottomLeft() + d); break;
    case 8: r.setLeft(r.left() + d.x()); break;
    }
    if (r.width() < minimum || r.height() < minimum) return;
    dragRect_ = r;
    viewport()->update();
}

void CCanvasView::mouseReleaseEvent(QMouseEvent*) {
    if (dragPart_ < 0 || !model_) return;
    const bool moved = dragPart_ == 0;
    const QRect result = dragRect_;
    dragPart_ = -1;
    if (result != dragStartRect_) model_->TrackerReleased(result, Scroll(), moved);
    viewport()->update();
}

void CCanvasView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (model_ && event->button() == Qt::LeftButton) model_->DoubleClick(event->position().toPoint(), Scroll());
}

void CCanvasView::keyPressEvent(QKeyEvent* event) {
    const std::optional<CanvasKey> key = KeyOf(event->key());
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const bool shift = (event->modifiers() & Qt::ShiftModifier) || event->key() == Qt::Key_Backtab;
    if (model_ && key && model_->KeyDown(*key, ctrl, shift)) {
        event->accept();
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

void CCanvasView::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
    // From the keyboard the menu opens at the selection, else where the mouse is.
    ShowContextMenu(event->reason() == QContextMenuEvent::Keyboard && model_ && model_->TrackerHandles()
                        ? viewport()->mapToGlobal(model_->TrackerRect(Scroll()).center())
                        : event->globalPos());
}

void CCanvasView::ShowContextMenu(QPoint global) {
    if (!model_) return;
    const int menu = model_->ContextMenu();
    if (contextMenu) contextMenu(menu, global);
}

// ---------------------------------------------------------------- in-place editor

void CCanvasView::OpenInPlaceEditor(const InPlaceEditor& editor) {
    CloseInPlaceEditor();
    // Text is laid out at 96 pixels per inch for the picture; the editor shows it
    // at the canvas's factor whatever the screen's resolution.
    const double dpi = logicalDpiY() > 0 ? logicalDpiY() : 96.0;
    const double scale = (model_ ? model_->Factor() : 1.0) * 96.0 / dpi;
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const int wrapWidth = editor.singleLine ? editor.rect.width() : editor.rect.width() - bar;
    editor_ = new CInPlaceEditor(viewport(), editor.richText, scale, wrapWidth, editor.singleLine, editor.alignRight);
    editorRect_ = editor.rect;
    editor_->escape = [this] {
        if (model_) model_->KeyDown(CanvasKey::Escape, false, false);
    };
    editor_->contextMenu = [this](QPoint global) { ShowContextMenu(global); };
    auto changed = [this] {
        if (editorChanged) editorChanged();
    };
    connect(editor_, &QTextEdit::textChanged, this, [this, changed] {
        if (model_ && model_->Editing()) model_->TextEdited();
        changed();
    });
    connect(editor_, &QTextEdit::cursorPositionChanged, this, changed);
    connect(editor_, &QTextEdit::selectionChanged, this, changed);
    connect(editor_->document(), &QTextDocument::undoAvailable, this, changed);
    connect(editor_->document(), &QTextDocument::redoAvailable, this, changed);
    PlaceEditor();
    editor_->show();
    editor_->setFocus();
    changed();
}

CInPlaceEditor* CCanvasView::Editor() const { return editor_.data(); }

QByteArray CCanvasView::InPlaceEditorText() { return editor_ ? editor_->RichText() : QByteArray(); }

void CCanvasView::CloseInPlaceEditor() {
    if (!editor_) return;
    CInPlaceEditor* closing = editor_;
    editor_ = nullptr;
    closing->disconnect(this);
    closing->escape = nullptr;
    closing->contextMenu = nullptr;
    closing->hide();
    // It may be closing from inside its own key handler.
    closing->deleteLater();
    setFocus();
    if (editorChanged) editorChanged();
}

void CCanvasView::PlaceEditor() {
    if (editor_) editor_->setGeometry(editorRect_.translated(-Scroll()));
}
