// The document: the page with its selection, clipboard, video mode, modified flag
// and undo history, and every command the operator gives to them. It has no
// widget: it talks to whoever hosts it (the editor, the command-line tool, tests)
// through IDocumentHost, and shows messages through CTranslate's presenter.
//
// Threads: the user-interface thread. The page inside is shared with the render
// engine's threads through its snapshots.
#pragma once

#include "base/Translate.h"
#include "core/FrameSet.h"
#include "core/FrameUndo.h"
#include "core/Placement.h"
#include "playback/PlayCommand.h"
#include "script/FrameScript.h"
#include "plugin/Plugin.h"
#include "remote/GlobalHotkeys.h"
#include "script/ScriptSchedule.h"

#include <QString>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

// View update kinds sent to the host.
enum DocumentUpdate : int {
    UpdateGeneral = 0,
    UpdateRedraw = 1,
    UpdateLanguage = 2,
    UpdateThumbnail = 3,
    UpdateSelectNumber = 4,
    UpdateCaptions = 5,
};

class IDocumentHost {
public:
    virtual ~IDocumentHost() = default;
    // Redraw or refresh the views.
    virtual void UpdateViews(int kind) = 0;
    // The selection changed to object (may be null): scroll the canvas to it.
    virtual void SelectionChanged(CFrame* object) { (void)object; }
    // Where edited rectangles land (snap and grid come from the canvas).
    virtual PlacementRule Placement(int pageWidth, int pageHeight) const {
        return PlacementRule{pageWidth, pageHeight, false, 8};
    }
    // The canvas picture of the page for the page file's preview, or null.
    virtual const CPicture* CanvasPicture() { return nullptr; }
    // An existing file to import, chosen with the filter given ("Pictures,
    // animations, image lists (*.tga;...)"); empty when the user cancels.
    virtual QString ChooseImportFile(const QString& filter) {
        (void)filter;
        return QString();
    }
    // The progress window of a long import: opened with a range, moved, asked
    // whether the user cancelled (closed it or pressed Esc), closed.
    virtual void ProgressOpen(int range) { (void)range; }
    virtual void ProgressSet(int position) { (void)position; }
    virtual bool ProgressCancelled() { return false; }
    virtual void ProgressClose() {}

    // The script runner's view of the world. True while a modal dialog or message
    // box of the application is open (a running script stops then).
    virtual bool ModalDialogOpen() { return false; }
    // The script's state for the status line: 0 none, 1 loaded, 2 playing; while
    // playing, the shown step (from 1) and the item count.
    virtual void ScriptStatus(int state, const QString& name, int step, int count) {
        (void)state, (void)name, (void)step, (void)count;
    }
    // An action of the running script completed (step from 0).
    virtual void ScriptActionCompleted(int step, const CFrameScriptItem& item) { (void)step, (void)item; }
    // A millisecond counter that only moves forwards (it may wrap), and the local
    // wall clock: date and second of the day, read together so midnight cannot fall
    // between them. Tests and the tools give virtual ones.
    virtual uint32_t MillisecondTicks();
    virtual Schedule::ClockSecond LocalClock();
};

class CMainDoc {
public:
    CMainDoc(IDocumentHost& host, int modeIndex, int desktopDpi = 96);
    ~CMainDoc();
    CMainDoc(const CMainDoc&) = delete;
    CMainDoc& operator=(const CMainDoc&) = delete;

    CFrameSet Page;
    CFrame* Selected = nullptr;
    int SelectedNumber = 0;
    std::unique_ptr<CFrame> Clipboard;
    int ModeIndex = 0;
    int DesktopDpi = 96;
    bool Modified = false;
    QString PathName;  // the page file, empty for a new page
    QString Title;     // "Untitled" for a new page
    CFrameUndo Undo;

    // Object commands.
    void AddSimpleObject();
    // "Add picture/animation": asks the host for a file and imports it as a new
    // picture object. Returns the object added, or null.
    CFrame* AddPictureObject();
    // The import itself, for a file already chosen.
    CFrame* ImportPictureObject(const QString& path);
    // Adds an object made elsewhere (import); false when the page was full.
    bool AddObject(std::unique_ptr<CFrame> object);
    void Clone();
    void Cut();
    void Copy();
    void Paste();
    void Delete();
    void MoveUp();
    void MoveDown();
    void Lock();
    // The one command path for play commands from every input (editor, scripts,
    // switcher buttons, keypad, hotkeys, plug-ins, the command-line tool): the
    // selection resolves to the selected object and its group; nothing happens
    // while the output is off. Returns the objects whose play state changed.
    CommandResult Command(PlayCommand command, const CommandTarget& target);
    void DoUndo();
    void DoRedo();

    // Pages.
    void NewPage();
    bool Open(const QString& path);
    bool Save(const QString& path);
    // Loads a page file, replacing every object or adding to the page (keeping the
    // objects that play or are locked, returned in kept). False when the file could
    // not be read; nothing changes then.
    // added, when given, receives the objects the file brought onto the page.
    bool LoadPageFile(const QString& path, bool replaceAll, std::vector<CFrame*>* kept = nullptr,
                      std::vector<CFrame*>* added = nullptr);
    // "Add objects to current page and start playback" and "Load page file and play it".
    bool AddPageFileAndPlay(const QString& path);
    bool LoadPageFileAndPlay(const QString& path);
    // Deletes every object (empty group) or the objects of a group.
    void DeleteObjects(const QString& group);
    void Reset();

    // Selects object (or none) and tells the host.
    void Select(CFrame* object);

    // The script runner. Script is the one script the document holds.
    CFrameScript Script;
    bool ScriptRunning() const { return scriptRunning_; }
    int ScriptStep() const { return scriptStep_; }
    // The three run conditions: the page is saved, playback is on, no modal dialog.
    bool ScriptCanRun();
    void ScriptStart();
    void ScriptStop();
    // The 200 ms tick: executes actions until one has to wait.
    void ScriptProcessing();
    // Stops, loads path (message 10311 when it fails) and starts when asked.
    void ScriptLoad(const QString& path, bool start);
    void UpdateScriptStatus();

    // The automation schedule: entry 0 starts at start-up, the others on their
    // time, hotkey or switcher button. Only the main instance checks the time
    // (an editor instance leaves MainInstance false).
    CFrameScriptScheduleArray Automation{CFrameScriptSchedule{}};
    bool MainInstance = false;
    // Reads the schedule from the store (the editor does so right after it made the
    // document); problems in the stored values are logged.
    void AutomationLoad(const CSettingsStore& store);
    // Writes it back (after the automation editor's OK). False when the store
    // refused a write; the message names the file.
    bool AutomationSave(CSettingsStore& store);
    // Loads the entry's script file into the current script and starts it, when the
    // entry has a file and the script may run. A file that cannot be read leaves the
    // script empty and shows nothing (the log says why).
    void AutomationStartScript(int index);
    // The per-second time check the tick runs first in the main instance.
    void AutomationCheckTime();
    // The system-wide hotkeys of the entries marked Global, registered with the
    // entry's index as identifier (a combination another program holds is only
    // logged), and their release (while the automation editor is open).
    void AutomationRegisterGlobalHotkeys(CGlobalHotkeys& hotkeys);
    void AutomationUnregisterGlobalHotkeys(CGlobalHotkeys& hotkeys);

    // Remote inputs. A hotkey index (1-20) pressed inside the application toggles
    // the objects with that hotkey; when it moved some, a running script stops (the
    // operator took over); when none took the key, the first automation entry with
    // that hotkey starts.
    void HotkeyCommand(int hotkey);
    // A system-wide hotkey, registered with its automation entry's index.
    void GlobalHotkeyEvent(int index) { AutomationStartScript(index); }
    // A switcher button event (button index 0-15 as the switcher counts them).
    // A press toggles the objects bound to the button; when none of them was
    // playing, the first automation entry with that button starts as well. A running
    // script goes on. Releases, and presses while the output is off, do nothing.
    void SwitcherButtonEvent(bool pressed, int button);
    // The switcher's tally lamps: lamp n-1 lights while an object bound to button n
    // plays.
    std::array<uint8_t, 16> ButtonLamps();

    // Sport plug-ins. The running plug-in (null when none), the ids of its pages
    // whose page files were loaded, in page order, and the playing state last
    // reported for each.
    std::unique_ptr<CPlugin> Plugin;
    std::vector<QString> PluginPages;
    std::vector<int> PluginStatus;
    // The launch once the operator chose the definition file: a new page, the path
    // kept as "LastFileName" in settings, the definition loaded (message 10311 when
    // it cannot be), every page file of the plug-in added to the page with its
    // objects locked and grouped under the page's id (the reader's message when one
    // cannot be read: the launch stops there, the pages before it stay), then the
    // plug-in's files deleted, its values read back and its files written. True
    // when the panel may open.
    bool PluginLaunch(const QString& definition, CSettingsStore& settings);
    // After the panel closed: the plug-in goes and a new page starts.
    void PluginClose();
    // A page command of the panel (1 show: play the page's objects; 2 hide: end
    // them). Indexes outside the plug-in's pages, and any command while the output
    // is off, do nothing.
    void PluginPageCommand(int command, int pageIndex);
    // The tick's poll: the pages whose playing state changed since the last report,
    // as (page index, 0 or 1), in page order; the reports are remembered.
    std::vector<std::pair<int, int>> PluginPoll();

    int PageWidth() const;
    int PageHeight() const;

private:
    bool PageFull();
    void Recount();

    // Executes the current action; true when it completed.
    bool ExecuteScriptAction(const CFrameScriptItem& item);

    IDocumentHost& host_;
    bool scriptRunning_ = false;
    int scriptStep_ = 0;
    uint32_t scriptStepStart_ = 0;   // MillisecondTicks() when the step became current
    int scriptLastSecond_ = -1;      // the time of day a WaitUntilTime last saw, -1 none
    std::optional<Schedule::ClockSecond> automationExamined_;  // the latest second the time check examined
};
