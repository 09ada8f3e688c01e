// The "Object properties" dialog (dialog 304): every setting of the selected object
// on one page, laid out from CObjectPropertiesDialogModel's fields. Each control is
// named "ctl_<id>" and carries its id for the translation; the texts come from the
// grid model (row names, choices) and the language pack. Which controls apply, the
// source file question, the timer swap and the checks on OK are the model's: OK
// applies everything in one step (one undo entry) or reports the field it refused
// and stays open on it.
//
// Threads: the user-interface thread.
#pragma once

#include "app/ObjectPropertiesDialog.h"

#include <QColor>
#include <QDialog>
#include <functional>
#include <optional>
#include <vector>

class IMessagePresenter;
class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QTimeEdit;

class CDlgFrameProps : public QDialog {
public:
    static constexpr unsigned DialogId = 304;

    // The ids of the controls the model's comments do not number.
    enum Control : int {
        CheckLock = 1200,
        ListHotkey = 1201,
        ListSwitcherButton = 1202,
        ButtonColour = 1203,
        CheckLoopAnimation = 1204,
        CheckMaintainLink = 1205,
        ListDropShadow = 1206,
        ListMovement = 1207,
        CheckLoop = 1208,
        CheckStartFromEdge = 1209,
        CheckReverse = 1210,
        ListClockFormat = 1211,
        ListEncoding = 1212,
        CheckMonitorFileChanges = 1213,
        CheckFirstLineIsHeader = 1214,
        ListSeparator = 1215,
        ListTimerFormat = 1216,
        TimeTimerStart = 1217,
        TimeTimerStop = 1218,
        CheckBarGraph = 1219,
        ListInEffect = 1220,
        CheckFadeIn = 1221,
        CheckShowIndefinitely = 1222,
        CheckShowWhileTextMoves = 1223,
        ListOutEffect = 1224,
        CheckFadeOut = 1225,
        CheckRepeat = 1226,
        LabelSpeed = 1227,  // the speed trackbar's value
        // The group boxes, one per category of the grid, from here on.
        FirstGroupBox = 1240,
        // A control's label has the control's id plus this.
        LabelOffset = 1000,
    };

    // grid: the property grid's model (its rows give the names and choices, and
    // OK applies through it). presenter: where a refused field is reported, null
    // for the installed one.
    CDlgFrameProps(CMainDoc& document, CObjectPropertiesModel& grid, IPropertiesHost& host,
                   IMessagePresenter* presenter = nullptr, QWidget* parent = nullptr);

    // The fields take the selected object's values (a running script stops); false
    // without a selection, when the dialog is not to be shown.
    bool Open();

    CObjectPropertiesDialogModel& Model() { return model_; }

    // The colour dialog of the colour button; a test puts its own in.
    std::function<std::optional<QColor>(const QColor& initial, QWidget* parent)> chooseColour;

    void accept() override;

private:
    struct Check {
        QCheckBox* box;
        int row;
        int CObjectPropertyValues::*field;
    };
    struct List {
        QComboBox* box;
        int row;
        int CObjectPropertyValues::*field;
    };
    struct TextList {
        QComboBox* box;
        int row;
        QString CObjectPropertyValues::*field;
    };
    struct Time {
        QTimeEdit* edit;
        int row;
        int CObjectPropertyValues::*field;
    };
    struct Duration {
        QLineEdit* edit;
        int row;
        QString CObjectPropertiesDialogModel::*field;
    };

    void Build();
    // The fields into the controls, the controls into the fields.
    void ToControls();
    void FromControls();
    // Which controls apply with the values shown.
    void UpdateEnabled();
    void ChooseColour();
    void Changed();
    QLabel* LabelFor(QWidget* control, int id, int row);
    void Tag(QWidget* widget, int id);

    CObjectPropertiesModel& grid_;
    CObjectPropertiesDialogModel model_;
    IMessagePresenter* presenter_;
    bool loading_ = false;

    std::vector<Check> checks_;
    std::vector<List> lists_;
    std::vector<TextList> textLists_;
    std::vector<Time> times_;
    std::vector<Duration> durations_;
    std::vector<std::pair<QWidget*, int>> rowOf_;  // control -> grid row, for enabling
    QLabel* backgroundType_ = nullptr;
    QCheckBox* transparent_ = nullptr;
    QSlider* backTransparency_ = nullptr;
    QSlider* textTransparency_ = nullptr;
    QLabel* backTransparencyLabel_ = nullptr;
    QLabel* textTransparencyLabel_ = nullptr;
    QSlider* speed_ = nullptr;
    QLabel* speedLabel_ = nullptr;
    QPushButton* colour_ = nullptr;
    QButtonGroup* sources_ = nullptr;
    QButtonGroup* directions_ = nullptr;
    QLabel* fileName_ = nullptr;
    QLabel* fileError_ = nullptr;
    QLabel* imageFileName_ = nullptr;
    QLabel* imageFileError_ = nullptr;
};
