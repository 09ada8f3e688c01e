// The script editor (dialog 308) with its three action editors: the object
// actions (dialog 309), the pause (dialog 310) and the wait until a time of day
// (dialog 1173). The editor changes the document's script in place; the rows, the
// enabling, the questions and the messages are CScriptEditorModel's, which these
// widgets only show and feed. Each control is named "ctl_<id>" and carries its id
// for the translation, which runs when a dialog opens.
//
// The file choosers, the Add menu and the running of the action editors are
// std::function members: the platform's by default, a test's own otherwise.
//
// Run it modally (exec): while a modal dialog is open no automation trigger starts
// a script under the editor.
//
// Threads: the user-interface thread only (construct, run and destroy there).
#pragma once

#include "app/ScriptEditor.h"

#include <QDialog>
#include <QIcon>
#include <functional>
#include <optional>

class CMainDoc;
class CSettingsStore;
class IMessagePresenter;
class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QTimeEdit;
class QTreeWidget;

class CDlgScriptEditor : public QDialog {
public:
    static constexpr unsigned DialogId = ScriptEditorIds::EditorDialog;

    enum Control : int {
        ButtonClose = 2,  // the dialog's cancel: the window's close box does the same
        LabelActions = 1000,
        ListActions = 1001,
        ButtonClear = 1002,
        ButtonLoad = 1003,
        ButtonSave = 1004,
        ButtonAdd = 1005,
        ButtonEdit = 1006,
        ButtonDelete = 1007,
        ButtonUp = 1008,
        ButtonDown = 1009,
        CheckLoop = 1010,
    };

    // Edits document.Script; settings gives the pages folder the choosers start
    // in. presenter: where questions and messages go, null for the installed one.
    CDlgScriptEditor(CMainDoc& document, CSettingsStore& settings, QWidget* parent = nullptr,
                     IMessagePresenter* presenter = nullptr);

    CScriptEditorModel& Model() { return model_; }

    // An existing script file to load (empty: cancelled).
    std::function<QString(const QString& folder, const QString& filter)> chooseScriptToOpen;
    // The file to save to, asking before an existing one is replaced.
    std::function<QString(const QString& proposed, const QString& folder, const QString& filter)> chooseScriptToSave;
    // An existing page file for the page actions.
    std::function<QString(const QString& current, const QString& filter)> choosePageFile;
    // Shows the Add menu at a screen position and returns the action chosen (null:
    // none). The kind is the action's data.
    std::function<QAction*(QMenu& menu, const QPoint& global)> showMenu;
    // Runs an action editor's dialog modally and returns its result.
    std::function<int(QDialog& dialog)> runDialog;

    // The small icon of an action kind, shown in the list and the Add menu.
    static QIcon KindIcon(ScriptActionType kind);

    // The Close button, Esc and the close box ask first when the script is modified.
    void reject() override;
    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Build();
    // The list, the selection, the Loop box, the title and the enabling from the model.
    void Refresh();
    void UpdateEnabled();
    void OnSelectionChanged();
    void OnAdd();
    bool RunActionEditor(CFrameScriptItem& item);
    void Run(bool (CScriptEditorModel::*command)());

    CScriptEditorModel model_;
    bool refreshing_ = false;
    QTreeWidget* list_ = nullptr;
    QCheckBox* loop_ = nullptr;
    QPushButton* add_ = nullptr;
    QPushButton* edit_ = nullptr;
    QPushButton* delete_ = nullptr;
    QPushButton* up_ = nullptr;
    QPushButton* down_ = nullptr;
    QPushButton* save_ = nullptr;
};

// The object actions: "Action" with the kind's name, all objects or a group.
class CDlgScriptAction : public QDialog {
public:
    static constexpr unsigned DialogId = ScriptEditorIds::ActionDialog;
    enum Control : int {
        LabelAction = 1000,
        LabelActionName = 1001,
        RadioAllObjects = 1002,
        RadioGroup = 1003,
        EditGroup = 1004,
    };

    // OK writes into item.
    CDlgScriptAction(CFrameScriptItem& item, QWidget* parent = nullptr);
    void accept() override;

private:
    CFrameScriptItem& item_;
    CScriptActionModel model_;
    QRadioButton* all_ = nullptr;
    QRadioButton* group_ = nullptr;
    QLineEdit* text_ = nullptr;
};

// WaitPeriod: "Wait" [seconds] "sec.", digits only.
class CDlgScriptPause : public QDialog {
public:
    static constexpr unsigned DialogId = ScriptEditorIds::PauseDialog;
    enum Control : int {
        LabelWait = 1000,
        EditSeconds = 1001,
        LabelSeconds = 1002,
    };

    // OK writes into item when the seconds are above 0; otherwise the dialog ends
    // as cancelled and item stays as it was.
    CDlgScriptPause(CFrameScriptItem& item, QWidget* parent = nullptr);
    void accept() override;

private:
    CFrameScriptItem& item_;
    CScriptPauseModel model_;
    QLineEdit* seconds_ = nullptr;
};

// WaitUntilTime: "Wait until" and a time of day.
class CDlgScriptWaitUntil : public QDialog {
public:
    static constexpr unsigned DialogId = ScriptEditorIds::WaitUntilDialog;
    enum Control : int {
        LabelWaitUntil = 1000,
        TimeWaitUntil = 1001,
    };

    CDlgScriptWaitUntil(CFrameScriptItem& item, QWidget* parent = nullptr);
    void accept() override;

private:
    CFrameScriptItem& item_;
    CScriptWaitUntilModel model_;
    QTimeEdit* time_ = nullptr;
};

namespace ScriptDialogs {
// Names widget "ctl_<id>" and gives it the id the language pack knows it by.
void Tag(QWidget* widget, int id);
// The OK and Cancel buttons of a dialog, tagged 1 and 2, connected to accept and
// reject.
QWidget* OkCancel(QDialog* dialog);
}  // namespace ScriptDialogs
