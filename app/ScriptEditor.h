// The script editor (dialog 308) and its three action editors without their
// widgets. The editor changes the document's one script in place: there is no
// working copy and no cancel, only the question before changes that were not
// saved are dropped. Its widgets show the rows, the enabling and the title from
// here, hand every command here, and answer the questions asked through Hooks
// (file choosers, the action editors' dialogs).
//
// Messages go to the installed presenter (CTranslate), or to the one given to the
// constructor while a command runs.
//
// Threads: the user-interface thread.
#pragma once

#include "script/FrameScript.h"

#include <QString>
#include <QStringList>
#include <QTime>
#include <functional>
#include <vector>

class CMainDoc;
class CSettingsStore;
class IMessagePresenter;

namespace ScriptEditorIds {

// Dialog templates.
constexpr unsigned EditorDialog = 308;
constexpr unsigned ActionDialog = 309;      // the object actions
constexpr unsigned PauseDialog = 310;       // WaitPeriod
constexpr unsigned WaitUntilDialog = 1173;  // WaitUntilTime

// String ids.
constexpr unsigned Title = 10224;              // "Script Editor"
constexpr unsigned ScriptFiles = 10211;        // "Script files"
constexpr unsigned ModifiedQuestion = 10654;   // "Warning: script was modified!\n..."
constexpr unsigned OpenFailed = 10311;         // "Error: File open failed!\n\n%s"
constexpr unsigned SaveFailed = 10312;         // "Error: File save failed!\n\n%s"
constexpr unsigned ColumnAction = 12250;       // "Action"
constexpr unsigned ColumnTime = 12251;         // "Time"
constexpr unsigned FirstMenuText = 12330;      // + kind: the Add menu
constexpr unsigned ActionTitleBase = 12298;    // + kind (2..7): the object action's name

}  // namespace ScriptEditorIds

namespace ScriptEditorTexts {

// The Add menu's text of a kind ("Load page file" ... "Wait until specified time").
QString MenuText(ScriptActionType kind);
// The list's column headers, "Action" and "Time".
QStringList Headers();
// "Script files (*.script)|*.script|": the filter of Load and Save (and of the
// automation editor's script choosers).
QString ScriptFilter();
// The page files' filter, for the load and add actions.
QString PageFilter();
// The script's default extension, with its dot.
inline const QString ScriptExtension = QStringLiteral(".script");

}  // namespace ScriptEditorTexts

// While it lives, messages go to presenter (when not null); the one installed
// before comes back at its end. The editors' constructors take a presenter so a
// window test sees every message a command shows, also the document's own.
class CPresenterScope {
public:
    explicit CPresenterScope(IMessagePresenter* presenter);
    ~CPresenterScope();
    CPresenterScope(const CPresenterScope&) = delete;
    CPresenterScope& operator=(const CPresenterScope&) = delete;

private:
    bool installed_ = false;
    IMessagePresenter* previous_ = nullptr;
};

// ---------------------------------------------------------------------------------
// The action editors. Each starts from an item and writes into one only on OK.

// The object actions (PlayObjects .. WaitObjectsEnd), dialog 309: "Action" and
// the kind's name, "Apply to all objects" or "Apply to group" with its text.
class CScriptActionModel {
public:
    explicit CScriptActionModel(const CFrameScriptItem& item);

    // String 12298 + kind: "Play objects" ... "Wait untill objects end".
    QString ActionName;
    // The radio buttons: all objects (false) or the group (true).
    bool ApplyToGroup = false;
    // The group's text field; enabled only with ApplyToGroup.
    QString Group;

    // "Apply to all objects" empties the group's text.
    void ChooseAllObjects();
    void ChooseGroup() { ApplyToGroup = true; }
    bool GroupEnabled() const { return ApplyToGroup; }
    // sdata becomes the text without leading and trailing white space (empty: all
    // objects).
    void Ok(CFrameScriptItem& item) const;
};

// WaitPeriod, dialog 310: "Wait" [seconds] "sec.", digits only.
class CScriptPauseModel {
public:
    explicit CScriptPauseModel(const CFrameScriptItem& item);

    // The longest number the field takes (it stays below the 32-bit range).
    static constexpr int MaxDigits = 9;

    QString Seconds;

    // Takes a whole number of seconds above 0 into idata. Anything else (0, empty,
    // not digits) is not taken: the item stays as it was and the editor counts as
    // cancelled.
    bool Ok(CFrameScriptItem& item) const;
};

// WaitUntilTime, dialog 1173: "Wait until" and a time of day.
class CScriptWaitUntilModel {
public:
    explicit CScriptWaitUntilModel(const CFrameScriptItem& item);

    // The picker's display format.
    static inline const QString DisplayFormat = QStringLiteral("HH:mm:ss");

    // The time of day of idata (seconds since midnight; a stored value outside the
    // day is taken modulo a day).
    QTime Time;

    // idata becomes hours x 3600 + minutes x 60 + seconds.
    void Ok(CFrameScriptItem& item) const;
};

// ---------------------------------------------------------------------------------
// The editor

class CScriptEditorModel {
public:
    // What the editor asks its widgets (or a test). An empty path means cancelled.
    struct Hooks {
        // An existing script file to load, starting in folder.
        std::function<QString(const QString& folder, const QString& filter)> chooseScriptToOpen;
        // Where to save: proposed is the script's file name (empty when it has
        // none), folder the pages folder. The chooser asks before it overwrites.
        std::function<QString(const QString& proposed, const QString& folder, const QString& filter)> chooseScriptToSave;
        // An existing page file for LoadPage and AddObjects, starting at current.
        std::function<QString(const QString& current, const QString& filter)> choosePageFile;
        // The action editor of the waits and the object actions (dialogs 309, 310,
        // 1173), confirmed (true) or not. The page actions are the model's own.
        std::function<bool(CFrameScriptItem& item)> editAction;
    };

    struct Row {
        QString action;  // " 1. Play all objects"
        QString time;    // the running total of the fixed pauses above, where it changed
        ScriptActionType kind;
    };

    // presenter: where the questions and messages go, null for the installed one.
    CScriptEditorModel(CMainDoc& document, CSettingsStore& settings, Hooks hooks,
                       IMessagePresenter* presenter = nullptr);

    CFrameScript& Script();
    const CFrameScript& Script() const;

    // "Script Editor", with " - " and the script's name when it has a file.
    QString Title() const;
    std::vector<Row> Rows() const;
    bool Loop() const;

    // The selected row, -1 for none.
    int Selected() const { return selected_; }
    void Select(int row);
    // Changed since the last Clear, Load or successful Save.
    bool Modified() const { return modified_; }

    bool CanEdit() const { return selected_ >= 0; }
    bool CanDelete() const { return selected_ >= 0; }
    bool CanMoveUp() const { return selected_ > 0; }
    bool CanMoveDown() const;
    bool CanSave() const;

    // The commands. Each returns whether it changed or did what it was asked.
    // Clear and Load ask first when the script is modified; anything but Yes
    // cancels.
    bool Clear();
    // After the question, the chooser; once a file was chosen the script is
    // loaded (message 10311 when it cannot be: the script is then empty).
    bool Load();
    // The chooser, then the file (message 10312 when it cannot be written; the
    // script and its modified flag stay as they were).
    bool Save();
    // The kind's new action through its action editor; appended and selected when
    // confirmed, dropped otherwise.
    bool Add(ScriptActionType kind);
    // The selected action's editor.
    bool Edit();
    bool Delete();
    bool MoveUp();
    bool MoveDown();
    void SetLoop(bool loop);
    // Whether the dialog may close: the question when the script is modified.
    bool MayClose();
    // After the dialog closed: the status line shows the script as it is now.
    void Closed();

    // The action editor of item by its kind: the page file chooser for the page
    // actions, Hooks::editAction for the others.
    bool EditAction(CFrameScriptItem& item);

private:
    // The question of string 10654; true when the answer is Yes.
    bool AskDiscard();

    CMainDoc& document_;
    CSettingsStore& settings_;
    Hooks hooks_;
    IMessagePresenter* presenter_;
    int selected_ = -1;
    bool modified_ = false;
};
