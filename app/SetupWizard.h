// The initial setup wizard without its widgets. It finds a working video mode by
// playing a range test pattern on the output: page 1 chooses the mode and the
// output display, Next builds the pattern on the wizard's own page and starts a
// test engine on it; page 2 switches the running engine's RGB range while the
// operator looks, Back deletes the engine. Finish stores mode, display and range
// and switches the output on; Cancel at a first start says how to run the wizard
// later. Either way "FirstTimeSetup" is cleared, so it opens by itself once.
//
// Threads: the user-interface thread (the test engine's own threads only read the
// wizard's page and the engine's range word).
#pragma once

#include "app/MainDoc.h"
#include "app/Preferences.h"
#include "base/Settings.h"
#include "core/FrameSet.h"
#include "render/Render.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class CEditorShell;
class COutputSession;
class QWindow;

// The range test pattern: eight bars of white, yellow, cyan, green, magenta, red,
// blue and black, each an opaque block over four rows of opacity 0, 16, 32 and
// 48, whose rendering shows whether the adapter's range matches the packing.
namespace RangeTestPattern {

constexpr int BarCount = 8;
constexpr int RowsPerBar = 5;  // the opaque block and four rows
constexpr int ObjectCount = BarCount * RowsPerBar;
// The bars' colours, red in the low byte, left to right.
constexpr uint32_t BarColours[BarCount] = {0xFFFFFF, 0x00FFFF, 0xFFFF00, 0x00FF00,
                                           0xFF00FF, 0x0000FF, 0xFF0000, 0x000000};
constexpr int RowOpacities[RowsPerBar] = {255, 0, 16, 32, 48};

struct Block {
    CRect rect;
    uint32_t backColor;  // colour with the opacity in the top byte
    bool operator==(const Block&) const = default;
};

// The pattern's blocks for a render size, bar by bar, each bar top down.
std::vector<Block> Blocks(int renderWidth, int renderHeight);
// Replaces everything on page with the pattern's solid-colour objects for the
// video mode; false when the page refused one (it is then left empty).
bool Build(CFrameSet& page, int mode);

}  // namespace RangeTestPattern

// Runs the wizard's test output; the product's makes a full-screen COutputSession,
// tests may give another. The result's status says whether the engine runs.
using TestOutputFactory = std::function<std::unique_ptr<COutputSession>(
    CFrameSet& page, int mode, const QString& displayDevice, bool fullRange)>;

class CSetupWizardModel {
public:
    // Dialog templates of the two pages, the wizard's caption and its messages.
    static constexpr unsigned ReadyPageId = 106;
    static constexpr unsigned DonePageId = 307;
    static constexpr unsigned TitleId = 10652;      // "Initial setup wizard"
    static constexpr unsigned CancelledId = 10653;  // how to run it later
    static constexpr unsigned EngineStatusId = 10320;  // + the engine's status

    // Control ids of the two pages; the "Mode" and "HDMI connection" lists share
    // the preferences dialog's ids.
    enum Control : int {
        StaticReadyText = 1100,
        StaticDisplayHint = 1101,
        StaticDoneText = 1110,
        StaticBarsText = 1111,
        StaticRangeText = 1112,
        StaticOverscanText = 1113,
        StaticFinishText = 1114,
        CheckFullRange = CPreferencesModel::CheckFullRange,
        ListMode = CPreferencesModel::ListMode,
        ListDisplay = CPreferencesModel::ListDisplay,
    };

    struct Hooks {
        // The document's mode changed on Finish: the canvas adapts.
        std::function<void()> modeChanged;
        // The document's settings were written: the pages pane roots itself again.
        std::function<void()> settingsWritten;
        // In the main instance after Finish: switch the output on with the stored
        // settings (CEditorShell::ToggleOutput while it is off).
        std::function<void()> startOutput;
        // The test output; empty: full-screen on the chosen display.
        TestOutputFactory testOutput;
    };

    // Fields from "Mode", "DisplayAdapter" and "FullHDMIRange".
    CSetupWizardModel(CMainDoc& document, CSettingsStore& settings, InstanceKind kind,
                      std::vector<OutputDisplayEntry> displays, Hooks hooks = {});
    // Deletes a test engine still running.
    ~CSetupWizardModel();
    CSetupWizardModel(const CSetupWizardModel&) = delete;
    CSetupWizardModel& operator=(const CSetupWizardModel&) = delete;

    // Before the wizard opens from the menu or the first tick: the document is
    // renewed as by File New, with the save question first. False when the page is
    // still modified (the operator cancelled): the wizard does not open then.
    static bool RenewDocument(CMainDoc& document, CEditorShell& shell,
                              const std::function<QString()>& chooseSavePath);

    // The fields of page 1 and page 2.
    int Mode = 0;          // mode index
    int DisplayIndex = 0;  // into Displays(); 0 "Auto"
    bool FullHdmiRange = true;
    const std::vector<OutputDisplayEntry>& Displays() const { return displays_; }

    // 0 for page 1, 1 for page 2.
    int CurrentPage() const { return page_; }

    // Next on page 1: the pattern for the chosen mode on the test page and a test
    // engine on the chosen display with the chosen range (displays restored, no
    // alternative sync), playing it. A failing engine is deleted and its message
    // (10320 + status) shown with an error icon; the wizard stays on page 1. True
    // when page 2 is current.
    bool Next();
    // Back on page 2: the test engine goes; page 1 is current.
    void Back();
    // The range box of page 2: the running engine uses the other packing from its
    // next frame on.
    void SetFullRange(bool full);

    // Finish: the engine goes, mode, display and range are stored as the document's,
    // "FirstTimeSetup" is cleared; the output starts in the main instance.
    void Finish();
    // Cancel (or closing): the engine goes; at a first start message 10653 is shown
    // and "FirstTimeSetup" cleared.
    void Cancel();

    CFrameSet& TestPage() { return testPage_; }
    COutputSession* TestOutput() { return output_.get(); }
    CRender* TestEngine();

private:
    void StopTest();
    void ClearFirstTimeSetup();

    CMainDoc& document_;
    CSettingsStore& settings_;
    const InstanceKind kind_;
    std::vector<OutputDisplayEntry> displays_;
    Hooks hooks_;
    int page_ = 0;
    // The engine reads the page through its snapshots: the engine goes first.
    CFrameSet testPage_;
    std::unique_ptr<COutputSession> output_;
};
