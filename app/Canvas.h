// The editing canvas without its widget: zoom and layout, the background and the
// composed picture of the page, hit testing, the selection's moves and resizes
// with the mouse or the keys, the on-air outlines, the status text and the
// model side of in-place text editing. The widget that shows it maps its events
// to the calls below and paints what they leave; it holds no rule of its own.
//
// Threads: the user-interface thread, except the on-air outlines, which painting
// reads and the tick and rectangle changes write under outlineLock_.
#pragma once

#include "app/MainDoc.h"
#include "base/Settings.h"
#include "core/Placement.h"
#include "media/Picture.h"
#include "text/RichEdit.h"

#include <QByteArray>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <array>
#include <cstdint>
#include <mutex>
#include <vector>

// What the canvas needs from the window around it.
class ICanvasHost {
public:
    virtual ~ICanvasHost() = default;
    // Update every view of the document with the kind (DocumentUpdate) and, where
    // given, the page rectangle that changed. The canvas's own view passes it back
    // to CCanvasModel::Update.
    virtual void UpdateViews(int kind, const CRect* rect) = 0;
    // The zoom index changed: the layout is recomputed; select it in the zoom list.
    virtual void ZoomChanged(int index) { (void)index; }
    // Repaint the canvas (the outlines changed).
    virtual void Repaint() {}
    // The in-place text editor: open it as described, give its rich text, close it.
    struct InPlaceEditor {
        QRect rect;              // scroll-area coordinates: subtract the scroll position
        bool singleLine = false;  // a horizontal crawl: one line, any position breaks
        bool alignRight = false;  // a reverse crawl
        int zoomPercent = 0;      // 0 at 100 %
        QByteArray richText;
    };
    virtual void OpenInPlaceEditor(const InPlaceEditor& editor) { (void)editor; }
    virtual QByteArray InPlaceEditorText() { return {}; }
    virtual void CloseInPlaceEditor() {}
};

// The keys the canvas acts on; the widget maps its toolkit's keys to these.
enum class CanvasKey {
    Left, Up, Right, Down,
    Tab, Enter, Space, Delete, Escape,
    Plus, Minus,  // numeric or main keyboard
    C, X, V, D, Z, Y,
};

// One on-air outline: the object's rectangle and its kind (0 error and playing,
// 1 error and not playing, 2 paused, 3 running).
struct CanvasOutline {
    CRect rect;
    int kind = 0;
    bool operator==(const CanvasOutline&) const = default;
};

struct OutlinePen {
    uint32_t colour;  // red in the low byte
    int width;
};

class CCanvasModel {
public:
    static constexpr int ZoomCount = 6;
    static constexpr int MinimumSize = 16;  // objects are never nudged or sized below this
    static constexpr int HitMargin = 4;     // around unlocked objects, screen pixels
    static constexpr int UpdateMargin = 6;  // around a changed rectangle, page pixels

    // Reads the canvas settings of the instance kind from the store, which also
    // receives the zoom and snap changes. The renderer draws the still text
    // pictures (the main window's own).
    CCanvasModel(CMainDoc& document, ICanvasHost& host, CSettingsStore& store, InstanceKind kind,
                 CRichEditTextRenderer& renderer);
    CCanvasModel(const CCanvasModel&) = delete;
    CCanvasModel& operator=(const CCanvasModel&) = delete;

    // Settings again (after the preferences changed them): the background is rebuilt.
    void ReloadSettings();

    // Zoom.
    static double ZoomFactorOf(int index);
    // The zoom list's text: "100%", "75%"...
    static QString ZoomText(int index);
    int Zoom() const { return zoom_; }
    double Factor() const { return ZoomFactorOf(zoom_); }
    void SetZoom(int index);
    void ZoomIn();   // towards index 0
    void ZoomOut();  // towards index 5
    bool CanZoomIn() const { return zoom_ > 0; }
    bool CanZoomOut() const { return zoom_ < ZoomCount - 1; }
    int ToScreen(int pageValue) const;
    int ToPage(int screenValue) const;
    CRect ToScreen(const CRect& page) const;

    // Layout for a view of the given size with the given scroll-bar sizes.
    void Layout(QSize view, int verticalBarWidth, int horizontalBarHeight);
    QSize ScaledPage() const;
    QSize ScrollArea() const;
    QPoint PageOffset() const { return pageOffset_; }
    // A page rectangle in view coordinates at the scroll position.
    QRect ToView(const CRect& page, QPoint scroll) const;

    // Snapping.
    bool Snap() const { return snap_; }
    int GridStep() const { return gridStep_; }
    void ToggleSnap();
    // What the document uses to place edited rectangles.
    PlacementRule Placement() const;

    // Pictures. The background of the page; the composition of background, object
    // backgrounds and still texts that painting copies to the screen.
    const CPicture& Background() const { return background_; }
    const CPicture& Composition() const { return composition_; }
    void BuildBackground();
    // A document update for the canvas (DocumentUpdate kinds): 0 and 2 compose the
    // rectangle (or the page), 1 only repaints, 4 selects the object numbered
    // number (from 1), 3 and 5 do nothing. True when the canvas must be repainted.
    bool Update(int kind, const CRect* rect = nullptr, int number = 0);
    // Composes the rectangle (clamped to the page); true when a still text was drawn.
    bool Compose(const CRect& rect);

    // Hit testing: the topmost object under a view point, or null.
    CFrame* HitTest(QPoint view, QPoint scroll);

    // Mouse. A button press: Select when it selected another object (nothing else
    // happens on that click), Track when the tracker is to follow the mouse.
    enum class Press { Nothing, Selected, Track };
    Press MouseDown(QPoint view, QPoint scroll, bool leftButton);
    // The selected object in view coordinates for the tracker, and its minimum size.
    QRect TrackerRect(QPoint scroll) const;
    int TrackerMinimum() const;
    // Whether the tracker has handles: the selection can be moved and resized
    // (a locked object is shown with its frame alone).
    bool TrackerHandles() const { return document_.Selected && !document_.Selected->Locked; }
    // The tracker's result in view coordinates; moved when it was dragged whole.
    bool TrackerReleased(const QRect& view, QPoint scroll, bool moved);
    // A double click on the selected object toggles its play.
    void DoubleClick(QPoint view, QPoint scroll);

    // Moves or resizes the selected object with an undo entry (dropped when nothing
    // changed). True when the object changed.
    bool MoveSelected(const CRect& rect, bool keepWidth, bool keepHeight);
    // The placement of a new rectangle alone (the caller keeps the history).
    bool ApplyRect(const CRect& rect, bool keepWidth, bool keepHeight);

    // A key pressed on the canvas; false when the canvas did nothing with it.
    bool KeyDown(CanvasKey key, bool ctrl, bool shift);

    // Adds a simple object through the document.
    void AddSimpleObject();

    // On-air outlines.
    static OutlinePen PenOf(int kind);
    // Collects them from the page; true when they changed.
    bool CollectOutlines();
    std::vector<CanvasOutline> Outlines() const;
    // Where painting draws an outline: its view rectangle, right and bottom reduced
    // by the pen width less 2.
    QRect OutlineRect(const CanvasOutline& outline, QPoint scroll) const;

    // The canvas's part of the 200 ms tick: the outlines, repainted when they
    // changed. The shell's tick runs the document's periodic work after it.
    void Tick();

    // The context menu to show (right button up or the menu key), after a running
    // script stopped: 202 while text is edited in place, 203 with a selection, 204
    // otherwise.
    int ContextMenu();

    // " %d: %d,%d - %d,%d (%dx%d)" for the selection, else empty.
    QString StatusText() const;

    // In-place text editing.
    bool Editing() const { return editing_ != nullptr; }
    CFrame* EditedObject() const { return editing_; }
    // Refused (false) without a selection, for an RTF file source, or when open.
    bool StartEdit();
    // Stores the editor's text (one undo entry when it changed) and closes it.
    void EndEdit();
    // Each change of the text while it is open.
    void TextEdited() { document_.Modified = true; }

private:
    void SelectObject(CFrame* object);
    bool ArrowKey(CanvasKey key, bool shift);
    void SelectNeighbour(bool next);
    CRect PageRect() const;

    CMainDoc& document_;
    ICanvasHost& host_;
    CSettingsStore& store_;
    const InstanceKind kind_;
    CRichEditTextRenderer& renderer_;

    int zoom_ = 3;
    bool snap_ = false;
    int gridStep_ = 8;
    int backgroundMode_ = 0;
    uint32_t backgroundColour_ = 0;
    int marginH_ = 0;
    int marginV_ = 0;

    QSize view_;
    int barWidth_ = 0;
    int barHeight_ = 0;
    QPoint pageOffset_;

    CPicture background_;
    CPicture composition_;

    CFrame* editing_ = nullptr;

    mutable std::mutex outlineLock_;
    std::vector<CanvasOutline> outlines_;  // guarded by outlineLock_
};
