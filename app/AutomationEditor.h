// The automation editor (dialog 311) and its entry editor (dialog 1172) without
// their widgets. The editor works on a copy of the document's schedule: OK puts
// the copy in the document's place and writes it to the settings store, Cancel
// leaves the document's schedule as it was. While it is open the system-wide
// hotkeys of the entries are released, so the keys reach the dialog; they are
// registered again, from whichever schedule stands, when it closes.
//
// Messages go to the installed presenter (CTranslate), or to the one given to the
// constructor while a command runs.
//
// Threads: the user-interface thread.
#pragma once

#include "script/ScriptSchedule.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <QTime>
#include <functional>
#include <vector>

class CGlobalHotkeys;
class CMainDoc;
class CSettingsStore;
class IMessagePresenter;

namespace AutomationIds {

// Dialog templates.
constexpr unsigned EditorDialog = 311;
constexpr unsigned EntryDialog = 1172;

// String ids.
constexpr unsigned EntryTitle = 10225;     // "Start conditions for script %s"
constexpr unsigned ColumnTrigger = 12500;  // "Trigger"
constexpr unsigned ColumnScript = 12501;   // "Script file"
constexpr unsigned OpenFailed = 10311;     // "Error: File open failed!\n\n%s"

constexpr int HotkeyCount = 20;  // Ctrl+0 .. Alt+9
constexpr int ButtonCount = 16;  // "Button #1" .. "Button #16"

}  // namespace AutomationIds

// The entry editor: one entry's start conditions, shown and written back.
class CAutomationEntryModel {
public:
    // useRemote: the "UseRemote" setting (the switcher button row is shown only
    // with it). today: the date the date picker shows when the entry's own date is
    // not a calendar date (an entry with missing keys has none).
    CAutomationEntryModel(const CFrameScriptSchedule& entry, bool useRemote, const QDate& today);

    // "Start conditions for script <name>".
    QString Title;

    bool PlayOnTime = false;  // check "Play on specific time"
    QTime Time;               // "Start time"
    bool PlayOnce = false;    // radio "Only once on" (true) or "Daily" (false)
    QDate Date;               // the date picker of "Only once on"
    int Weekdays = 0;         // checks "Monday" (bit 0) ... "Sunday" (bit 6) of "Daily"
    bool PlayOnHotkey = false;  // check "Play on hotkey"
    int HotkeyPosition = 0;     // in HotkeyNames()
    bool Global = false;        // check "Global hotkey"
    bool PlayOnButton = false;  // check "Play on switcher button press"
    int ButtonPosition = 0;     // in ButtonNames()

    // What is shown with the values as they are now.
    bool UseRemote() const { return useRemote_; }
    bool TimeShown() const { return PlayOnTime; }  // the time, the two radio buttons
    bool DateShown() const { return PlayOnTime && PlayOnce; }
    bool WeekdaysShown() const { return PlayOnTime && !PlayOnce; }
    bool HotkeyListShown() const { return PlayOnHotkey; }
    bool GlobalShown() const { return PlayOnHotkey; }
    bool ButtonShown() const { return useRemote_; }
    bool ButtonListShown() const { return useRemote_ && PlayOnButton; }

    // The hotkey list (Ctrl+0 ... Alt+9, without "None") and the button list
    // ("Button #1" ... "Button #16").
    static QStringList HotkeyNames();
    static QStringList ButtonNames();

    // Every bound field from its control, also the hidden ones (the date is kept
    // for a daily entry too); the switcher button only when the remote is in use.
    void Ok(CFrameScriptSchedule& entry) const;

private:
    bool useRemote_;
};

class CAutomationEditorModel {
public:
    // What the editor asks its widgets (or a test).
    struct Hooks {
        // An existing script file, starting at start (a folder or a file); empty
        // when cancelled.
        std::function<QString(const QString& start, const QString& filter)> chooseScript;
        // The entry editor of dialog 1172 on the model given; true when confirmed.
        std::function<bool(CAutomationEntryModel& entry)> editEntry;
        // The local wall clock, for the time and date of a new entry (the
        // system's when empty).
        std::function<Schedule::ClockSecond()> clock;
    };

    struct Row {
        QString trigger;
        QString script;  // the script file's name without folder and extension
        Schedule::TriggerIcon icon;
    };

    // hotkeys: the system-wide hotkeys to release while the editor is open, null
    // when there are none. presenter: where messages go, null for the installed one.
    CAutomationEditorModel(CMainDoc& document, CSettingsStore& settings, CGlobalHotkeys* hotkeys, Hooks hooks,
                           IMessagePresenter* presenter = nullptr);
    // An editor still open (neither OK nor Cancel) is cancelled.
    ~CAutomationEditorModel();
    CAutomationEditorModel(const CAutomationEditorModel&) = delete;
    CAutomationEditorModel& operator=(const CAutomationEditorModel&) = delete;

    // The working copy of the document's schedule; its hotkeys released.
    void Open();
    // The copy becomes the document's schedule and is written to the store; the
    // hotkeys come back from it. When the store refuses the write (message 10312
    // with the store's file) the document's schedule stays as it was, the dialog
    // stays open and false comes back.
    bool Ok();
    // The document's schedule stays; its hotkeys come back.
    void Cancel();

    bool IsOpen() const { return open_; }

    // The working copy: entry 0 is the start-up entry.
    const CFrameScriptScheduleArray& Entries() const { return entries_; }
    std::vector<Row> Rows() const;
    static QStringList Headers();

    int Selected() const { return selected_; }
    void Select(int row);
    bool CanEdit() const { return selected_ >= 0; }
    bool CanDelete() const { return selected_ >= 0; }
    bool UseRemote() const;

    // A script file, then the entry editor on a new entry; appended and selected
    // when confirmed. A chosen file that does not exist is refused (message 10311).
    bool Add();
    // Row 0: another script file for start-up. Other rows: the entry editor.
    bool Edit();
    // Row 0 loses its file and stays; another row goes.
    bool Delete();

private:
    QString ChooseScript(const QString& start);
    Schedule::ClockSecond Now() const;

    CMainDoc& document_;
    CSettingsStore& settings_;
    CGlobalHotkeys* hotkeys_;
    Hooks hooks_;
    IMessagePresenter* presenter_;
    CFrameScriptScheduleArray entries_;
    int selected_ = -1;
    bool open_ = false;
};
