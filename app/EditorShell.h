// What the editor's main window and view do around the document, without a
// widget: the window title, the status texts, the question before a modified page
// goes, the 200 ms tick with the start-up work of its first run, the output
// command, the global hotkeys and the switcher client. The widgets hand their
// events here and show what comes back; tests drive it without a window.
//
// Threads: the user-interface thread.
#pragma once

#include "app/ControlService.h"
#include "app/MainDoc.h"
#include "base/Settings.h"
#include "remote/RemoteButtons.h"
#include "render/Render.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class COutputSession;
class CGlobalHotkeys;
class QObject;
class QWindow;

namespace Shell {

// String ids the shell shows.
constexpr unsigned AppTitleId = 57344;      // "Corvane"
constexpr unsigned SaveChangesId = 10202;   // "Save changes to '%s'?"
constexpr unsigned StateTextId = 10300;     // + application state
constexpr unsigned ScriptLoadedId = 12551;  // "script [%s] loaded"
constexpr unsigned ScriptPlayingId = 12552; // "script [%s] playing, step: %d of %d"
constexpr unsigned EngineStatusId = 10320;  // + engine status

// The application state the status bar shows.
enum ApplicationState : int { StateIdle = 0, StateOutputOn = 1, StateEditMode = 2, StatePreview = 3 };

// "Corvane", " Editor" in an editor instance, " - " and the document's title.
QString WindowTitle(InstanceKind kind, const QString& documentTitle);
// The state's text: "Idle", "HDMI output is on", "Edit mode", "Preview mode".
QString ApplicationStateText(int state);
// The script pane: empty without a script, "script [name] loaded", or
// "script [name] playing, step: s of n".
QString ScriptStatusText(int state, const QString& name, int step, int count);
// The page's name in the save question: the file name without folder and
// extension, or the title of a page that has no file.
QString SaveQuestionName(const CMainDoc& document);

// The application hotkeys: command 32950 + k - 1 is hotkey index k (1-20,
// Ctrl+0..9 then Alt+0..9); 0 for any other command.
constexpr unsigned HotkeyFirstCommand = 32950;
int HotkeyForCommand(unsigned commandId);
unsigned CommandForHotkey(int hotkey);

}  // namespace Shell

class CEditorShell {
public:
    struct Hooks {
        // Runs the initial setup wizard at the first tick when "FirstTimeSetup" asks
        // for it; empty while the application has none (the start-up actions run).
        std::function<void()> firstSetup;
        // True while a modal dialog or message box is open.
        std::function<bool()> modalOpen;
        // The output started or stopped (the state icon, the menu's check mark).
        std::function<void()> outputChanged;
        // The plug-in pages whose playing state changed, for the plug-in panel.
        std::function<void(const std::vector<std::pair<int, int>>&)> pluginStatus;
        // The preview window, when the preview is asked for (null: full-screen).
        std::function<QWindow*()> previewWindow;
        // The switcher client's port and waits (the product's unless a test says).
        RemoteButtons::Timing switcherTiming{};
        // The page changed from outside the window (the network control): every view
        // is to be updated.
        std::function<void()> viewsChanged;
        // The network control's options instead of the settings' (tests take a free
        // port); it runs only when the settings enable it.
        std::optional<ControlOptions> controlOptions;
        // The server without the editor runs the network control whatever the
        // settings say.
        bool alwaysControl = false;
    };

    // receiver: the object on the user-interface thread that the remote inputs'
    // events are queued to (it outlives the shell). The document's MainInstance
    // follows the instance kind. In the main instance the switcher client starts
    // when "UseRemote" is on and "RemoteIP" is not 0.
    CEditorShell(CMainDoc& document, InstanceKind kind, CSettingsStore& settings, QObject* receiver, Hooks hooks);
    ~CEditorShell();
    CEditorShell(const CEditorShell&) = delete;
    CEditorShell& operator=(const CEditorShell&) = delete;

    // The 200 ms tick. The first one, in the main instance, does the start-up work:
    // the wizard when asked for, else the global hotkeys and, with "Auto" on, the
    // output and the start-up automation entry. Later ones: the plug-in page
    // states, the engine's status, the script runner.
    void Tick();
    int Ticks() const { return ticks_; }

    // At every view update: the switcher's lamps from the page.
    void ViewsUpdated();

    // The "&HDMI output" command: stops a running engine, else starts the
    // full-screen output; a start that fails shows message 10320 + status and
    // leaves the output off. True when the output is on afterwards.
    bool ToggleOutput();
    // The same for the preview (into Hooks::previewWindow).
    bool TogglePreview();
    bool OutputRunning() const { return output_ != nullptr; }
    bool PreviewRunning() const;
    int ApplicationState() const;

    // Before the page goes (close, new, open): when it is modified, asks "Save
    // changes to '...'?" with Yes, No and Cancel. Yes saves (to the page's file, or
    // to the one chooseSavePath gives; an empty answer cancels). False when the
    // page must stay (Cancel, or the save did not happen).
    bool SaveModified(const std::function<QString()>& chooseSavePath);

    // After the preferences changed "UseRemote" or "RemoteIP": the switcher client
    // goes (its lamps off) and, in the main instance, comes again under the stored
    // values.
    void RestartSwitcher();

    CGlobalHotkeys* GlobalHotkeys() { return hotkeys_.get(); }
    CRemoteButtonsInterface* Switcher() { return switcher_.get(); }
    // The network control while it runs (main instance, "Control/Enable" set).
    CControlService* Control() { return control_.get(); }
    // Why the network control did not start (empty when it runs or was not asked for).
    const QString& ControlError() const { return controlError_; }

private:
    bool StartOutput(bool preview);
    void StopOutput();
    void CheckOutput();
    void FirstTick();
    void StartControl();
    void StartSwitcher();

    CMainDoc& doc_;
    const InstanceKind kind_;
    CSettingsStore& settings_;
    QObject* receiver_;
    Hooks hooks_;
    int ticks_ = 0;
    std::unique_ptr<CGlobalHotkeys> hotkeys_;
    std::unique_ptr<CRemoteButtonsInterface> switcher_;
    std::unique_ptr<COutputSession> output_;
    std::unique_ptr<CControlService> control_;
    QString controlError_;
};
