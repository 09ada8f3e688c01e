// The Preferences dialog (dialog 306) without its widgets: the fields it shows,
// read from the settings; which rows are shown and enabled; and OK, which clamps
// what the fields hold, writes the settings and tells the window what to reload.
//
// The video mode may change only while no engine runs (output or preview), the
// page is not modified and holds no object: the mode list is disabled otherwise
// and a red note takes the place of the output display row.
//
// Threads: the user-interface thread.
#pragma once

#include "app/MainDoc.h"
#include "base/Settings.h"

#include <QString>
#include <functional>
#include <vector>

class IDisplaySystem;

// One entry of the output display list: "Auto" (empty device name), then
// "n. adapter - monitor" per display that offers 1920 x 1080.
struct OutputDisplayEntry {
    QString deviceName;
    QString text;
    bool operator==(const OutputDisplayEntry&) const = default;
};

namespace PreferenceTexts {
constexpr unsigned AutoId = 10214;             // "Auto"
constexpr unsigned FirstTreeActionId = 10640;  // ... 10644
constexpr int TreeActionCount = 5;
// The red note shown while the mode may not change.
QString ModeLockedNote();
}  // namespace PreferenceTexts

// The entries of the output display list as the display system gives them now.
std::vector<OutputDisplayEntry> OutputDisplayEntries(IDisplaySystem& system);
// The same for the X server of $DISPLAY; "Auto" alone without one.
std::vector<OutputDisplayEntry> OutputDisplayEntries();

class CPreferencesModel {
public:
    // Control ids of dialog 306; a label has its control's id plus LabelOffset.
    enum Control : int {
        ListMode = 1000,
        ListDisplay = 1001,
        StaticModeNote = 1002,
        CheckFullRange = 1003,
        CheckAlternativeSync = 1004,
        CheckAuto = 1005,
        CheckNoRestore = 1006,
        EditRootFolder = 1007,
        ButtonBrowse = 1008,
        ListTreeAction = 1009,
        CheckLargeToolbar = 1010,
        CheckSnap = 1011,
        EditGridStep = 1012,
        RadioCheckered = 1013,
        RadioSolid = 1014,
        ButtonColour = 1015,
        EditMarginH = 1016,
        EditMarginV = 1017,
        CheckUseRemote = 1018,
        EditRemoteIP = 1019,
        SliderLumaKey = 1020,
        LabelOffset = 100,
    };

    // What OK changed, for the window to reload (each may be empty).
    struct Hooks {
        // The document's video mode changed: the canvas adapts to the new size.
        std::function<void()> modeChanged;
        // Snap, grid, background or margins changed: the canvas reads its settings
        // again and redraws.
        std::function<void()> canvasChanged;
        // "UseRemote" or "RemoteIP" changed: the switcher client starts again
        // (CEditorShell::RestartSwitcher) and the views redraw.
        std::function<void()> remoteChanged;
        // The document's settings were written: the pages pane roots itself at the
        // pages folder again.
        std::function<void()> settingsWritten;
    };

    // Fields from the store (the canvas keys from the instance's section). The
    // display list's entries come from the caller (OutputDisplayEntries).
    CPreferencesModel(CMainDoc& document, CSettingsStore& settings, InstanceKind kind,
                      std::vector<OutputDisplayEntry> displays, Hooks hooks = {});

    // Rules.
    bool ModeChangeAllowed() const;
    // The rows of the output, the pages folder and the switcher: main instance only.
    bool OutputRowsShown() const { return kind_ == InstanceKind::Main; }
    bool DisplayRowShown() const { return OutputRowsShown() && ModeChangeAllowed(); }
    bool ModeNoteShown() const { return OutputRowsShown() && !ModeChangeAllowed(); }
    bool GridStepShown() const { return SnapToGrid; }
    bool ColourShown() const { return Background == 1; }
    bool RemoteAddressShown() const { return UseRemote; }

    // The fields.
    int Mode = 0;                // mode index (the list shows list positions)
    int DisplayIndex = 0;        // index into Displays(); 0 "Auto"
    bool FullHdmiRange = true;
    bool AlternativeSync = false;
    bool Auto = false;
    bool NoRestoreDisplays = false;
    QString RootFolder;
    int DefaultTreeAction = 0;
    bool LargeToolbar = false;
    bool SnapToGrid = false;
    QString GridStep;            // digits only
    int Background = 0;          // 0 checkered, 1 solid
    uint32_t BackgroundColor = 0;  // red in the low byte
    QString MarginH, MarginV;    // digits only
    bool UseRemote = false;
    QString RemoteAddress;       // dotted, a blank part allowed ("192.168..10")

    const std::vector<OutputDisplayEntry>& Displays() const { return displays_; }

    // A mode chosen in the list: refused (false, the field unchanged) while the
    // mode may not change.
    bool ChooseMode(int mode);
    // A folder chosen in the folder browser, stored with a trailing separator.
    void ChooseRootFolder(const QString& folder);

    // The values OK stores for the digit fields.
    static int ClampedGridStep(const QString& text);
    static int ClampedMargin(const QString& text);
    // The address as "RemoteIP" stores it; 0 when a part is blank or not 0-255.
    static int AddressValue(const QString& dotted);

    // OK: writes the settings and calls the hooks for what changed.
    void Ok();

private:
    CMainDoc& document_;
    CSettingsStore& settings_;
    const InstanceKind kind_;
    std::vector<OutputDisplayEntry> displays_;
    Hooks hooks_;
};
