#include "ui/MainView.h"

CMainView::CMainView(CMainDoc& document, InstanceKind kind, CSettingsStore& settings, CEditorShell::Hooks hooks,
                     std::function<void(int, const CRect*)> updateViews, QWidget* parent)
    : CCanvasView(parent), doc_(document) {
    canvas_ = std::make_unique<CCanvasModel>(doc_, *this, settings, kind, renderer_);
    Attach(*canvas_, std::move(updateViews));
    shell_ = std::make_unique<CEditorShell>(doc_, kind, settings, this, std::move(hooks));
    timer_.setInterval(200);
    connect(&timer_, &QTimer::timeout, this, [this] {
        canvas_->Tick();
        shell_->Tick();
    });
    timer_.start();
    Refresh(UpdateGeneral);
}

CMainView::~CMainView() {
    timer_.stop();
    shell_.reset();
}

void CMainView::SetSnapToGrid(bool on) {
    if (on != canvas_->Snap()) canvas_->ToggleSnap();
}

void CMainView::DocumentUpdated(int kind, const CRect* rect, int number) {
    Refresh(kind, rect, number);
    shell_->ViewsUpdated();
}
