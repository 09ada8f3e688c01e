// One run of the output: the render engine drawing the page into the output
// window on the output display (switched into the video mode and back), with the
// screen saver, display power saving and sleep kept away meanwhile; or into a
// preview window the caller owns. The editor's output command and "cvtool output"
// both go through it.
//
// Threads: made and destroyed on the user-interface thread (construction processes
// that thread's events while the display changes and the window appears).
#pragma once

#include "output/DisplayConfiguration.h"
#include "output/PowerGuard.h"
#include "output/RenderWindow.h"
#include "render/Render.h"

#include <memory>

class CXRandRDisplaySystem;
class QWindow;

// Where and how the output display is driven.
struct OutputDisplayChoice {
    QString deviceName;        // "DisplayAdapter": empty for the automatic choice
    bool noRestore = false;    // "NoRestoreDisplays"
    bool alternativeSync = false;  // "AlternativeSync"
    // The three settings as the user's store holds them.
    static OutputDisplayChoice FromSettings();
};

class COutputSession {
public:
    // Full-screen output when preview is null, else the engine draws into preview
    // (shown, owned by the caller, outliving the session). The display settings
    // ("DisplayAdapter", "NoRestoreDisplays", "AlternativeSync") come from the
    // store. Status() says whether the engine runs.
    COutputSession(CFrameSet& page, int mode, RenderOptions options, QWindow* preview = nullptr);
    // The same with the display chosen by the caller (the set-up wizard tries a
    // display before it is stored).
    COutputSession(CFrameSet& page, int mode, RenderOptions options, const OutputDisplayChoice& display,
                   QWindow* preview = nullptr);
    // Stops the engine, then gives the display, the screen saver and power back.
    ~COutputSession();
    COutputSession(const COutputSession&) = delete;
    COutputSession& operator=(const COutputSession&) = delete;

    // Ok while the engine runs; why it does not otherwise (the operator's message is
    // string 10320 + status).
    RenderStatus Status() const;
    bool IsPreview() const { return preview_; }

    // Null when the display could not be configured.
    CRender* Engine() { return engine_.get(); }
    // The engine's presentation target (null without an engine).
    CWindowTarget* Target() { return target_; }
    const CPowerGuard* Power() const { return power_.get(); }

private:
    bool preview_ = false;
    RenderStatus failure_ = RenderStatus::Ok;  // before an engine existed
    // Destroyed in reverse order: the engine first, the display configuration last.
    std::unique_ptr<CXRandRDisplaySystem> displays_;
    std::unique_ptr<CMultiMonitor> monitor_;
    std::unique_ptr<CRenderWindow> window_;
    std::unique_ptr<CPowerGuard> power_;
    CWindowTarget* target_ = nullptr;  // owned by the engine
    std::unique_ptr<CRender> engine_;
};
