#include "app/MainDoc.h"

#include "base/Debug.h"
#include "base/Settings.h"
#include "core/PageFile.h"
#include "core/VideoModes.h"

#include <QFileInfo>
#include <QDateTime>
#include <chrono>

namespace {
constexpr unsigned TooManyObjects = 10209;
constexpr unsigned ConfirmDelete = 10201;
constexpr unsigned UntitledTitle = 61443;
}  // namespace

CMainDoc::CMainDoc(IDocumentHost& host, int modeIndex, int desktopDpi)
    : ModeIndex(modeIndex), DesktopDpi(desktopDpi), Undo(Page), host_(host) {
    Title = CTranslate::Global().LoadText(UntitledTitle);
}

CMainDoc::~CMainDoc() {
    Selected = nullptr;
    Undo.ClearHistory();
}

int CMainDoc::PageWidth() const { return VideoModes::RenderWidth(ModeIndex); }
int CMainDoc::PageHeight() const { return VideoModes::RenderHeight(ModeIndex); }

void CMainDoc::Recount() { SelectedNumber = Selected ? Page.NumberOf(Selected) : 0; }

void CMainDoc::Select(CFrame* object) {
    Selected = object;
    Recount();
    host_.SelectionChanged(object);
}

bool CMainDoc::PageFull() {
    if (Page.LiveCount() < CFrameSet::MaxObjects) return false;
    CTranslate::Global().MessageBoxText(TooManyObjects, MbIconError);
    return true;
}

bool CMainDoc::AddObject(std::unique_ptr<CFrame> object) {
    CFrame* added = object.get();
    if (!Page.Add(object)) return false;  // the refused object goes with the pointer
    added->FramePeriod = VideoModes::FramePeriod(ModeIndex);
    added->EditorBackgroundValid = 0;
    added->EditorTextValid = 0;
    if (Selected != added) Select(added);
    Undo.RecordUndo(ObjectAdded, added, true);
    Modified = true;
    host_.UpdateViews(UpdateGeneral);
    return true;
}

void CMainDoc::AddSimpleObject() {
    if (PageFull()) return;
    auto object = std::make_unique<CFrame>();
    object->Rect = {32, 32, 288, 160};
    AddObject(std::move(object));
}

void CMainDoc::Clone() {
    if (!Selected || PageFull()) return;
    auto copy = std::make_unique<CFrame>(*Selected);
    CFrame* clone = copy.get();
    if (!AddObject(std::move(copy))) return;
    int dx = 0, dy = 0;
    CloneOffset(clone->Rect, PageWidth(), PageHeight(), dx, dy);
    const CRect moved{clone->Rect.left + dx, clone->Rect.top + dy, clone->Rect.right + dx, clone->Rect.bottom + dy};
    if (Page.OutputOn.load()) clone->Stop();
    clone->Rect = PlaceRect(moved, host_.Placement(PageWidth(), PageHeight()), true, true);
    host_.UpdateViews(UpdateGeneral);
}

void CMainDoc::Cut() {
    if (!Selected) return;
    Clipboard = std::make_unique<CFrame>(*Selected);
    Undo.RecordUndo(ObjectDeleted, Selected, true);
    Page.Remove(Selected);
    Select(nullptr);
    Modified = true;
    host_.UpdateViews(UpdateGeneral);
}

void CMainDoc::Copy() { Clipboard = Selected ? std::make_unique<CFrame>(*Selected) : nullptr; }

void CMainDoc::Paste() {
    if (!Clipboard) return;
    auto copy = std::make_unique<CFrame>(*Clipboard);
    CFrame* pasted = copy.get();
    if (!Page.Add(copy)) return;  // a full page: nothing happens
    pasted->FramePeriod = VideoModes::FramePeriod(ModeIndex);
    Select(pasted);
    // Not in the history, but a change of the page all the same: closing asks to save it.
    Modified = true;
    host_.UpdateViews(UpdateGeneral);
}

void CMainDoc::Delete() {
    if (!Selected) return;
    if (CTranslate::Global().MessageBoxText(ConfirmDelete, MbYesNo | MbIconQuestion) != IdYes) return;
    Undo.RecordUndo(ObjectDeleted, Selected, true);
    Page.Remove(Selected);
    Select(nullptr);
    Modified = true;
    host_.UpdateViews(UpdateGeneral);
}

void CMainDoc::MoveUp() {
    if (!Selected || !Page.Move(Selected, true)) return;
    Recount();
    Modified = true;
    host_.UpdateViews(UpdateGeneral);
}

void CMainDoc::MoveDown() {
    if (!Selected || !Page.Move(Selected, false)) return;
    Recount();
    Modified = true;
    host_.UpdateViews(UpdateGeneral);
}

void CMainDoc::Lock() {
    if (!Selected) return;
    Selected->Locked = Selected->Locked ? 0 : 1;
    Modified = true;
    host_.UpdateViews(UpdateRedraw);
}

CommandResult CMainDoc::Command(PlayCommand command, const CommandTarget& target) {
    if (target.kind != CommandTarget::Kind::Selection) return ApplyCommand(Page, command, target);
    if (!Selected) return {};
    return ApplyCommand(Page, command, CommandTarget::WithGroup(Selected));
}

void CMainDoc::DoUndo() {
    ScriptStop();  // an operator action comes first
    CFrame* select = Undo.Undo();
    if (Undo.Applied) Modified = true;
    if (select != Selected) Select(select);
    host_.UpdateViews(UpdateGeneral);
}

void CMainDoc::DoRedo() {
    ScriptStop();  // an operator action comes first
    CFrame* select = Undo.Redo();
    if (Undo.Applied) Modified = true;
    if (select != Selected) Select(select);
    host_.UpdateViews(UpdateGeneral);
}

void CMainDoc::NewPage() {
    ScriptStop();  // an operator action comes first
    Select(nullptr);
    Page.RemoveAll();
    Undo.ClearHistory();
    PathName.clear();
    Title = CTranslate::Global().LoadText(UntitledTitle);
    Modified = false;
    host_.UpdateViews(UpdateGeneral);
}

bool CMainDoc::Open(const QString& path) {
    ScriptStop();  // an operator action comes first
    std::vector<std::unique_ptr<CFrame>> read;
    if (!PageFile::ReadPage(path, ModeIndex, DesktopDpi, read)) return false;
    Select(nullptr);
    Page.RemoveAll();
    Undo.ClearHistory();
    for (auto& object : read) Page.Add(object);
    PathName = path;
    Title = QFileInfo(path).fileName();
    Modified = false;
    host_.UpdateViews(UpdateGeneral);
    return true;
}

bool CMainDoc::Save(const QString& path) {
    CPageSnapshot snapshot(Page);
    const std::vector<const CFrame*> objects(snapshot.list.begin(), snapshot.list.end());
    if (!PageFile::WritePage(path, ModeIndex, DesktopDpi, objects, host_.CanvasPicture())) return false;
    PathName = path;
    Title = QFileInfo(path).fileName();
    Modified = false;
    host_.UpdateViews(UpdateThumbnail);
    return true;
}

bool CMainDoc::LoadPageFile(const QString& path, bool replaceAll, std::vector<CFrame*>* kept,
                            std::vector<CFrame*>* added) {
    std::vector<std::unique_ptr<CFrame>> read;
    if (!PageFile::ReadPage(path, ModeIndex, DesktopDpi, read)) return false;
    if (kept) kept->clear();
    if (added) added->clear();
    {
        CPageSnapshot snapshot(Page);
        for (CFrame* object : snapshot.list) {
            if (!replaceAll && (object->Playing.load() || object->Locked)) {
                if (kept) kept->push_back(object);
                continue;
            }
            Page.Remove(object);
        }
        for (auto& object : read) {
            object->FramePeriod = VideoModes::FramePeriod(ModeIndex);
            CFrame* const adding = object.get();
            if (Page.Add(object) && added) added->push_back(adding);  // beyond the limit: dropped with the list
        }
    }
    Reset();
    return true;
}

bool CMainDoc::AddPageFileAndPlay(const QString& path) {
    ScriptStop();  // an operator action comes first
    std::vector<CFrame*> kept;
    if (!LoadPageFile(path, false, &kept)) return false;
    Command(PlayCommand::Play, CommandTarget::Every(kept));
    return true;
}

bool CMainDoc::LoadPageFileAndPlay(const QString& path) {
    ScriptStop();  // an operator action comes first
    if (!Open(path)) return false;
    Command(PlayCommand::Play, CommandTarget::Every());
    return true;
}

void CMainDoc::DeleteObjects(const QString& group) {
    {
        CPageSnapshot snapshot(Page);
        for (CFrame* object : snapshot.list)
            if (group.isEmpty() || object->Group == group) Page.Remove(object);
    }
    Reset();
}

void CMainDoc::Reset() {
    Select(nullptr);
    Undo.ClearHistory();
    Clipboard.reset();
    PathName.clear();
    Title = CTranslate::Global().LoadText(UntitledTitle);
    Modified = false;
    host_.UpdateViews(UpdateGeneral);
}

// ---------------------------------------------------------------------------------
// The script runner

uint32_t IDocumentHost::MillisecondTicks() {
    using namespace std::chrono;
    return uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

Schedule::ClockSecond IDocumentHost::LocalClock() {
    const QDateTime now = QDateTime::currentDateTime();
    return {now.date(), now.time().msecsSinceStartOfDay() / 1000};
}

bool CMainDoc::ScriptCanRun() { return !Modified && Page.OutputOn.load() && !host_.ModalDialogOpen(); }

void CMainDoc::ScriptStart() {
    if (!scriptRunning_ && Script.Count() > 0 && ScriptCanRun()) {
        CDebug::Log(2, "CMainDoc::ScriptStart()");
        scriptRunning_ = true;
        scriptStep_ = 0;
        scriptStepStart_ = host_.MillisecondTicks();
        scriptLastSecond_ = -1;
    }
    UpdateScriptStatus();
}

void CMainDoc::ScriptStop() {
    if (!scriptRunning_) return;
    CDebug::Log(2, "CMainDoc::ScriptStop()");
    scriptRunning_ = false;
    UpdateScriptStatus();
}

void CMainDoc::ScriptLoad(const QString& path, bool start) {
    ScriptStop();
    if (!Script.LoadFile(path)) {
        CDebug::Log(1, "CMainDoc::ScriptLoad(%s): %s", path, Script.LastError());
        CTranslate::Global().MessageBoxFormat(10311, MbIconError, {path});
    }
    UpdateScriptStatus();
    if (start) ScriptStart();
}

void CMainDoc::UpdateScriptStatus() {
    const int state = Script.Count() == 0 ? 0 : scriptRunning_ ? 2 : 1;
    host_.ScriptStatus(state, Script.DisplayName(), scriptStep_ + 1, Script.Count());
}

void CMainDoc::ScriptProcessing() {
    if (MainInstance) AutomationCheckTime();
    if (!scriptRunning_) return;
    int advanced = 0;
    for (;;) {
        if (!ScriptCanRun() || scriptStep_ >= Script.Count()) {
            ScriptStop();
            return;
        }
        const CFrameScriptItem& item = *Script.Item(scriptStep_);
        CDebug::Log(2, "CMainDoc::ScriptProcessing(%d): %d", scriptStep_, int(item.type));
        // A page load inside the action may show a message and run its own loop;
        // the script is judged again at the next tick.
        const int count = Script.Count();
        if (!ExecuteScriptAction(item)) return;  // it waits: the same action next tick
        host_.ScriptActionCompleted(scriptStep_, item);
        if (!scriptRunning_) return;              // something in the action stopped it
        int next = scriptStep_ + 1;
        ++advanced;
        if (next >= count) {
            if (!Script.Loop()) {
                ScriptStop();
                return;
            }
            next = 0;
        }
        // A loop without a wait that holds it back ends after one pass.
        if (advanced > count) {
            ScriptStop();
            return;
        }
        scriptStep_ = next;
        scriptStepStart_ = host_.MillisecondTicks();
        scriptLastSecond_ = -1;
        UpdateScriptStatus();
    }
}

bool CMainDoc::ExecuteScriptAction(const CFrameScriptItem& item) {
    const auto target = [&] {
        return item.sdata.isEmpty() ? CommandTarget::Every() : CommandTarget::NamedGroup(item.sdata);
    };
    switch (item.type) {
    case ScriptActionType::LoadPage: LoadPageFile(item.sdata, true); return true;
    case ScriptActionType::AddObjects: LoadPageFile(item.sdata, false); return true;
    case ScriptActionType::PlayObjects: Command(PlayCommand::Play, target()); return true;
    case ScriptActionType::PauseObjects: Command(PlayCommand::PauseResume, target()); return true;
    case ScriptActionType::EndObjects: Command(PlayCommand::End, target()); return true;
    case ScriptActionType::StopObjects: Command(PlayCommand::Stop, target()); return true;
    case ScriptActionType::DeleteObjects: DeleteObjects(item.sdata); return true;
    case ScriptActionType::WaitObjectsEnd: {
        CPageSnapshot snapshot(Page);
        for (CFrame* object : snapshot.list)
            if ((item.sdata.isEmpty() || object->Group == item.sdata) && object->Playing.load()) return false;
        return true;
    }
    case ScriptActionType::WaitPeriod:
        // Unsigned arithmetic: the wrap of the counter does no harm.
        return uint32_t(host_.MillisecondTicks() - scriptStepStart_) >= uint32_t(item.idata) * 1000u;
    case ScriptActionType::WaitUntilTime: {
        const int now = host_.LocalClock().secondsOfDay;
        if (now == item.idata) return true;
        // A tick that came late (the user-interface thread held for a few seconds)
        // must not make the script wait until the same time tomorrow: a due time
        // passed over since the last look counts. A clock set back is no passing.
        constexpr int Day = 86400, LongestHold = 300;
        bool passed = false;
        if (scriptLastSecond_ >= 0) {
            const int moved = (now - scriptLastSecond_ + Day) % Day;
            const int toTarget = (item.idata - scriptLastSecond_ + Day) % Day;
            passed = moved <= LongestHold && toTarget > 0 && toTarget <= moved;
        }
        scriptLastSecond_ = now;
        return passed;
    }
    }
    return true;
}

// ---------------------------------------------------------------------------------
// The automation schedule

void CMainDoc::AutomationLoad(const CSettingsStore& store) {
    const Schedule::ClockSecond now = host_.LocalClock();
    QStringList problems;
    Automation = Schedule::Load(store, now.date, now.secondsOfDay, &problems);
    for (const QString& problem : problems) CDebug::Log(1, "CMainDoc::AutomationLoad(): %s", problem);
}

bool CMainDoc::AutomationSave(CSettingsStore& store) {
    QString error;
    if (Schedule::Save(store, Automation, &error)) return true;
    CDebug::Log(1, "CMainDoc::AutomationSave(): %s", error);
    CTranslate::Global().MessageBoxFormat(10312, MbIconError, {store.Path()});
    return false;
}

void CMainDoc::AutomationStartScript(int index) {
    if (index < 0 || index >= int(Automation.size())) return;
    // Copied: loading a script may run a message loop in which the list changes.
    const QString file = Automation[size_t(index)].File;
    CDebug::Log(2, "CMainDoc::AutomationStartScript(%d): %s", index, file);
    if (file.isEmpty() || !ScriptCanRun()) return;
    ScriptStop();
    if (!Script.LoadFile(file)) CDebug::Log(1, "CMainDoc::AutomationStartScript(%d): %s", index, Script.LastError());
    UpdateScriptStatus();
    ScriptStart();
}

void CMainDoc::AutomationCheckTime() {
    const Schedule::TimeCheck check = Schedule::CheckTime(Automation, automationExamined_, host_.LocalClock());
    automationExamined_ = check.examined;
    // Seconds a late tick caught up on run in their order, as if each had had its
    // tick; the last one started is the script that keeps running.
    for (const int index : check.due) AutomationStartScript(index);
}

void CMainDoc::AutomationRegisterGlobalHotkeys(CGlobalHotkeys& hotkeys) {
    for (size_t i = 1; i < Automation.size(); ++i)
        if (Automation[i].Hotkey != 0 && Automation[i].Global) hotkeys.RegisterAutomationHotkey(int(i), Automation[i].Hotkey);
}

void CMainDoc::AutomationUnregisterGlobalHotkeys(CGlobalHotkeys& hotkeys) {
    // Entries without Global were never registered; their release is refused quietly.
    for (size_t i = 1; i < Automation.size(); ++i)
        if (Automation[i].Hotkey != 0) hotkeys.Unregister(int(i));
}

// ---------------------------------------------------------------------------------
// Hotkeys and switcher buttons

void CMainDoc::HotkeyCommand(int hotkey) {
    if (hotkey < 1 || hotkey > 20) return;
    if (Command(PlayCommand::Toggle, CommandTarget::OfHotkey(hotkey)).Changed()) {
        ScriptStop();
        host_.UpdateViews(UpdateRedraw);
        return;
    }
    AutomationStartScript(Schedule::EntryForHotkey(Automation, hotkey));
}

void CMainDoc::SwitcherButtonEvent(bool pressed, int button) {
    if (!pressed || button < 0 || button >= 16 || !Page.OutputOn.load()) return;
    const int number = button + 1;
    const CommandResult result = Command(PlayCommand::Toggle, CommandTarget::OfButton(number));
    if (result.Changed()) host_.UpdateViews(UpdateRedraw);
    // Decided in the snapshot the toggle acted on: none of the button's objects was
    // playing when it ended nothing.
    const bool wasPlaying = result.reached && result.applied == PlayCommand::End;
    if (!wasPlaying) AutomationStartScript(Schedule::EntryForButton(Automation, number));
}

std::array<uint8_t, 16> CMainDoc::ButtonLamps() {
    std::array<uint8_t, 16> lamps{};
    CPageSnapshot snapshot(Page);
    for (const CFrame* object : snapshot.list)
        if (object->SwitcherButton >= 1 && object->SwitcherButton <= 16 && object->Playing.load())
            lamps[size_t(object->SwitcherButton - 1)] = 1;
    return lamps;
}

// ---------------------------------------------------------------------------------
// Sport plug-ins

bool CMainDoc::PluginLaunch(const QString& definition, CSettingsStore& settings) {
    NewPage();
    Plugin.reset();
    PluginPages.clear();
    PluginStatus.clear();
    settings.SetText(Settings::PluginLastFileName, definition);
    auto plugin = std::make_unique<CPlugin>();
    if (!plugin->LoadDefinition(definition)) {
        CDebug::Log(1, "CMainDoc::PluginLaunch(%s): %s", definition, plugin->LastError());
        CTranslate::Global().MessageBoxFormat(10311, MbIconError, {definition});
        return false;
    }
    for (int k = 0; k < int(plugin->Pages().size()); ++k) {
        std::vector<CFrame*> added;
        if (!LoadPageFile(plugin->GetPageFileName(k), false, nullptr, &added)) {
            // No panel opens: the pages loaded so far stay as objects, not as the plug-in's.
            PluginPages.clear();
            PluginStatus.clear();
            return false;
        }
        const QString id = plugin->PageId(k);
        for (CFrame* object : added) {
            object->Locked = 1;
            object->Group = id;
        }
        PluginPages.push_back(id);
        PluginStatus.push_back(0);
    }
    plugin->DeleteAllFiles();
    plugin->LoadState();
    plugin->WriteAllFiles();
    Plugin = std::move(plugin);
    host_.UpdateViews(UpdateGeneral);
    return true;
}

void CMainDoc::PluginClose() {
    Plugin.reset();
    PluginPages.clear();
    PluginStatus.clear();
    NewPage();
}

void CMainDoc::PluginPageCommand(int command, int pageIndex) {
    if (pageIndex < 0 || size_t(pageIndex) >= PluginPages.size()) return;
    const QString& id = PluginPages[size_t(pageIndex)];
    if (command == 1)
        Command(PlayCommand::Play, CommandTarget::NamedGroup(id));
    else if (command == 2)
        Command(PlayCommand::End, CommandTarget::NamedGroup(id));
}

std::vector<std::pair<int, int>> CMainDoc::PluginPoll() {
    std::vector<std::pair<int, int>> changes;
    if (PluginPages.empty()) return changes;
    std::vector<int> playing(PluginPages.size(), 0);
    {
        CPageSnapshot snapshot(Page);
        for (const CFrame* object : snapshot.list) {
            if (!object->Playing.load()) continue;
            for (size_t k = 0; k < PluginPages.size(); ++k)
                if (object->Group == PluginPages[k]) playing[k] = 1;
        }
    }
    for (size_t k = 0; k < PluginPages.size(); ++k) {
        if (playing[k] == PluginStatus[k]) continue;
        PluginStatus[k] = playing[k];
        changes.emplace_back(int(k), playing[k]);
    }
    return changes;
}
