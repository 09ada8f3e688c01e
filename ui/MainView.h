// The editor view: the canvas (its model and widget) in the main window, and the
// 200 ms tick that runs the canvas's outlines and then the document's periodic work
// through the shell.
//
// Threads: the user-interface thread.
#pragma once

#include "app/Canvas.h"
#include "app/EditorShell.h"
#include "text/RichEdit.h"
#include "ui/CanvasView.h"

#include <QTimer>
#include <functional>
#include <memory>

class CMainView : public CCanvasView {
    Q_OBJECT
public:
    // Reads the canvas keys of the instance's section, starts the tick and, in the
    // main instance, the switcher client (through the shell). updateViews reaches
    // every view of the document (the main window's).
    CMainView(CMainDoc& document, InstanceKind kind, CSettingsStore& settings, CEditorShell::Hooks hooks,
              std::function<void(int kind, const CRect* rect)> updateViews, QWidget* parent = nullptr);
    ~CMainView() override;

    CEditorShell& Shell() { return *shell_; }
    CCanvasModel& Canvas() { return *canvas_; }
    QTimer& TickTimer() { return timer_; }

    int ZoomIndex() const { return canvas_->Zoom(); }
    // Stores the index (0-5), lays the page out again and saves "ZoomFactor".
    void SetZoom(int index) { canvas_->SetZoom(index); }
    bool SnapToGrid() const { return canvas_->Snap(); }
    int GridStep() const { return canvas_->GridStep(); }
    void SetSnapToGrid(bool on);

    // A document update: the canvas composes or repaints as the kind says, and the
    // switcher's lamps follow the objects on air.
    void DocumentUpdated(int kind, const CRect* rect = nullptr, int number = 0);

private:
    CMainDoc& doc_;
    CRichEditTextRenderer renderer_{1011};  // the main window's own, for the still texts
    std::unique_ptr<CCanvasModel> canvas_;
    QTimer timer_;
    std::unique_ptr<CEditorShell> shell_;
};
