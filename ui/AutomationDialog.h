// The automation editor (dialog 311) and its entry editor (dialog 1172). The
// editor works on a copy of the document's schedule: OK puts it in place and
// writes it to the settings store (a refused write is reported and the dialog
// stays open), Cancel drops it. The system-wide hotkeys are released while the
// editor is open and registered again when it closes. The rows, the rules and the
// messages are CAutomationEditorModel's. Each control is named "ctl_<id>" and
// carries its id for the translation, which runs when a dialog opens.
//
// The script chooser and the running of the entry editor are std::function
// members: the platform's by default, a test's own otherwise.
//
// Run it modally (exec): while a modal dialog is open no automation trigger starts
// a script under the editor.
//
// Threads: the user-interface thread only (construct, run and destroy there).
#pragma once

#include "app/AutomationEditor.h"

#include <QDialog>
#include <QIcon>
#include <array>
#include <functional>

class CGlobalHotkeys;
class CMainDoc;
class CSettingsStore;
class IMessagePresenter;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QPushButton;
class QRadioButton;
class QTimeEdit;
class QTreeWidget;

class CDlgAutomationEditor : public QDialog {
public:
    static constexpr unsigned DialogId = AutomationIds::EditorDialog;

    enum Control : int {
        LabelScripts = 1000,
        ListScripts = 1001,
        ButtonAdd = 1002,
        ButtonEdit = 1003,
        ButtonDelete = 1004,
        // OK and Cancel are 1 and 2.
    };

    // Edits a copy of document.Automation; OK writes it to settings. hotkeys: the
    // editor's global hotkeys (CEditorShell::GlobalHotkeys()), released while the
    // dialog lives; null when there are none. presenter: where messages go, null
    // for the installed one.
    CDlgAutomationEditor(CMainDoc& document, CSettingsStore& settings, CGlobalHotkeys* hotkeys,
                         QWidget* parent = nullptr, IMessagePresenter* presenter = nullptr);

    CAutomationEditorModel& Model() { return model_; }

    // An existing script file, starting at start (a folder or a file); empty when
    // cancelled.
    std::function<QString(const QString& start, const QString& filter)> chooseScript;
    // Runs the entry editor's dialog modally and returns its result.
    std::function<int(QDialog& dialog)> runDialog;

    static QIcon TriggerIcon(Schedule::TriggerIcon icon);

    void accept() override;
    void reject() override;

private:
    void Build();
    void Refresh();
    void UpdateEnabled();
    void OnSelectionChanged();
    void Run(bool (CAutomationEditorModel::*command)());

    CAutomationEditorModel model_;
    bool refreshing_ = false;
    QTreeWidget* list_ = nullptr;
    QPushButton* edit_ = nullptr;
    QPushButton* delete_ = nullptr;
};

// One entry's start conditions.
class CDlgAutomationItem : public QDialog {
public:
    static constexpr unsigned DialogId = AutomationIds::EntryDialog;

    enum Control : int {
        CheckPlayOnTime = 1000,
        LabelStartTime = 1001,
        TimeStart = 1002,
        RadioOnce = 1003,
        DateOnce = 1004,
        RadioDaily = 1005,
        CheckMonday = 1006,  // ... CheckSunday = 1012
        CheckPlayOnHotkey = 1013,
        ListHotkey = 1014,
        CheckGlobal = 1015,
        CheckPlayOnButton = 1016,
        ListButton = 1017,
    };

    // OK writes the controls into model (the caller then takes them into the entry).
    CDlgAutomationItem(CAutomationEntryModel& model, QWidget* parent = nullptr);
    void accept() override;

private:
    // The controls into the model, and what is shown with them.
    void FromControls();
    void UpdateShown();

    CAutomationEntryModel& model_;
    QCheckBox* playOnTime_ = nullptr;
    QLabel* startTime_ = nullptr;
    QTimeEdit* time_ = nullptr;
    QRadioButton* once_ = nullptr;
    QDateEdit* date_ = nullptr;
    QRadioButton* daily_ = nullptr;
    std::array<QCheckBox*, 7> days_{};
    QCheckBox* playOnHotkey_ = nullptr;
    QComboBox* hotkey_ = nullptr;
    QCheckBox* global_ = nullptr;
    QCheckBox* playOnButton_ = nullptr;
    QComboBox* button_ = nullptr;
};
