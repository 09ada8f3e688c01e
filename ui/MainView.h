// The editor view: the scrolling area the editing canvas will draw the page in (for
// now it shows the page's place and size), the canvas settings it keeps (zoom,
// snapping), and the 200 ms tick that runs the document's periodic work through
// the shell.
//
// Threads: the user-interface thread.
#pragma once

#include "app/EditorShell.h"

#include <QScrollArea>
#include <QTimer>
#include <memory>

class CPagePlaceholder;

class CMainView : public QScrollArea {
    Q_OBJECT
public:
    // Reads the canvas keys of the instance's section, starts the tick and, in the
    // main instance, the switcher client (through the shell).
    CMainView(CMainDoc& document, InstanceKind kind, CSettingsStore& settings, CEditorShell::Hooks hooks,
              QWidget* parent = nullptr);
    ~CMainView() override;

    CEditorShell& Shell() { return *shell_; }
    QTimer& TickTimer() { return timer_; }

    int ZoomIndex() const { return zoom_; }
    // Stores the index (0-5), lays the page out again and saves "ZoomFactor".
    void SetZoom(int index);
    bool SnapToGrid() const { return snap_; }
    int GridStep() const { return gridStep_; }
    void SetSnapToGrid(bool on);

    // A document update: the page is drawn again.
    void DocumentUpdated(int kind);

private:
    void Relayout();

    CMainDoc& doc_;
    const InstanceKind kind_;
    CSettingsStore& settings_;
    int zoom_ = 3;
    bool snap_ = false;
    int gridStep_ = 8;
    CPagePlaceholder* page_ = nullptr;
    QTimer timer_;
    std::unique_ptr<CEditorShell> shell_;
};
