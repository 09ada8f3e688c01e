// The "Preferences" dialog (dialog 306), laid out from CPreferencesModel's fields:
// the output rows (main instance only), the pages folder and pane action, the
// toolbar size, the canvas's snap, background and margins, and the switcher's
// address. Each control is named "ctl_<id>" and carries its id for the
// translation, which happens when the dialog opens. Which rows show, the locked
// mode and what OK writes are the model's.
//
// Threads: the user-interface thread.
#pragma once

#include "app/Preferences.h"

#include <QColor>
#include <QDialog>
#include <functional>
#include <optional>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

class CDlgPreferences : public QDialog {
public:
    static constexpr unsigned DialogId = 306;

    // From the main window: its document, the settings store and the instance kind;
    // hooks tell the window what OK changed (CPreferencesModel::Hooks). displays:
    // the output display list; empty to enumerate the X server's displays now.
    CDlgPreferences(CMainDoc& document, CSettingsStore& settings, InstanceKind kind,
                    CPreferencesModel::Hooks hooks = {}, std::vector<OutputDisplayEntry> displays = {},
                    QWidget* parent = nullptr);

    CPreferencesModel& Model() { return model_; }

    // The folder browser and the colour dialog; a test puts its own in. Empty
    // folder or no colour: cancelled.
    std::function<QString(const QString& start, QWidget* parent)> chooseFolder;
    std::function<std::optional<QColor>(const QColor& initial, QWidget* parent)> chooseColour;

    void accept() override;

private:
    void Build();
    void ToControls();
    void FromControls();
    void UpdateShown();
    void ChooseFolder();
    void ChooseColour();
    void ShowColour();
    void Tag(QWidget* widget, int id);
    QLabel* Label(const QString& text, int controlId);

    CPreferencesModel model_;
    bool loading_ = false;

    QComboBox* mode_ = nullptr;
    QLabel* displayLabel_ = nullptr;
    QComboBox* display_ = nullptr;
    QLabel* modeNote_ = nullptr;
    QCheckBox* fullRange_ = nullptr;
    QCheckBox* alternativeSync_ = nullptr;
    QCheckBox* auto_ = nullptr;
    QCheckBox* noRestore_ = nullptr;
    QLabel* rootFolderLabel_ = nullptr;
    QLineEdit* rootFolder_ = nullptr;
    QPushButton* browse_ = nullptr;
    QComboBox* treeAction_ = nullptr;
    QCheckBox* largeToolbar_ = nullptr;
    QCheckBox* snap_ = nullptr;
    QLabel* gridStepLabel_ = nullptr;
    QLineEdit* gridStep_ = nullptr;
    QButtonGroup* background_ = nullptr;
    QPushButton* colour_ = nullptr;
    QLineEdit* marginH_ = nullptr;
    QLineEdit* marginV_ = nullptr;
    QCheckBox* useRemote_ = nullptr;
    QLineEdit* remoteAddress_ = nullptr;
    QSlider* lumaKey_ = nullptr;
    std::vector<QWidget*> outputRows_;  // hidden in an editor instance
};
