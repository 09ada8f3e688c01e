#include "ui/AutomationDialog.h"

#include "ui/PropertiesView.h"
#include "ui/ScriptEditorDialog.h"
#include "ui/TranslateWidgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QTimeEdit>
#include <QTreeWidget>
#include <QVBoxLayout>

using ScriptDialogs::Tag;

namespace {

QPushButton* Button(QWidget* parent, const QString& text, int id) {
    auto* button = new QPushButton(text, parent);
    Tag(button, id);
    button->setAutoDefault(false);
    return button;
}

}  // namespace

// ---------------------------------------------------------------------------------
// The editor

CDlgAutomationEditor::CDlgAutomationEditor(CMainDoc& document, CSettingsStore& settings, CGlobalHotkeys* hotkeys,
                                           QWidget* parent, IMessagePresenter* presenter)
    : QDialog(parent),
      model_(document, settings, hotkeys,
             CAutomationEditorModel::Hooks{
                 [this](const QString& start, const QString& filter) {
                     return chooseScript ? chooseScript(start, filter) : QString();
                 },
                 [this](CAutomationEntryModel& entry) {
                     CDlgAutomationItem dialog(entry, this);
                     const int result = runDialog ? runDialog(dialog) : dialog.exec();
                     return result == QDialog::Accepted;
                 },
                 {}},
             presenter) {
    chooseScript = [this](const QString& start, const QString& filter) {
        return QFileDialog::getOpenFileName(this, QString(), start, PropertiesFileDialog::QtFilter(filter));
    };
    runDialog = [](QDialog& dialog) { return dialog.exec(); };

    setObjectName(QStringLiteral("automationEditor"));
    setWindowTitle(QStringLiteral("Automation"));
    model_.Open();
    Build();
    TranslateWidgets::TranslateWindow(DialogId, this);
    Refresh();
}

void CDlgAutomationEditor::Build() {
    list_ = new QTreeWidget(this);
    Tag(list_, ListScripts);
    list_->setColumnCount(2);
    list_->setHeaderLabels(CAutomationEditorModel::Headers());
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setAllColumnsShowFocus(true);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->header()->setStretchLastSection(true);
    list_->setColumnWidth(0, 300);
    list_->setMinimumSize(520, 240);

    auto* add = Button(this, QStringLiteral("&Add"), ButtonAdd);
    edit_ = Button(this, QStringLiteral("&Edit"), ButtonEdit);
    delete_ = Button(this, QStringLiteral("&Delete"), ButtonDelete);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(add);
    buttons->addWidget(edit_);
    buttons->addWidget(delete_);
    buttons->addStretch(1);

    auto* middle = new QHBoxLayout;
    middle->addWidget(list_, 1);
    middle->addLayout(buttons);

    auto* label = new QLabel(QStringLiteral("Scripts"), this);
    Tag(label, LabelScripts);
    label->setBuddy(list_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addLayout(middle, 1);
    layout->addWidget(ScriptDialogs::OkCancel(this));

    connect(add, &QPushButton::clicked, this, [this] { Run(&CAutomationEditorModel::Add); });
    connect(edit_, &QPushButton::clicked, this, [this] { Run(&CAutomationEditorModel::Edit); });
    connect(delete_, &QPushButton::clicked, this, [this] { Run(&CAutomationEditorModel::Delete); });
    connect(list_, &QTreeWidget::itemSelectionChanged, this, &CDlgAutomationEditor::OnSelectionChanged);
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { Run(&CAutomationEditorModel::Edit); });
}

void CDlgAutomationEditor::Run(bool (CAutomationEditorModel::*command)()) {
    (model_.*command)();
    Refresh();
}

void CDlgAutomationEditor::Refresh() {
    refreshing_ = true;
    list_->clear();
    QTreeWidgetItem* selected = nullptr;
    int row = 0;
    for (const CAutomationEditorModel::Row& shown : model_.Rows()) {
        auto* item = new QTreeWidgetItem(list_, {shown.trigger, shown.script});
        item->setIcon(0, TriggerIcon(shown.icon));
        if (row++ == model_.Selected()) selected = item;
    }
    if (selected) {
        list_->setCurrentItem(selected);
        selected->setSelected(true);
        list_->scrollToItem(selected);
    } else {
        list_->clearSelection();
        list_->setCurrentItem(nullptr);
    }
    refreshing_ = false;
    UpdateEnabled();
}

void CDlgAutomationEditor::UpdateEnabled() {
    edit_->setEnabled(model_.CanEdit());
    delete_->setEnabled(model_.CanDelete());
}

void CDlgAutomationEditor::OnSelectionChanged() {
    if (refreshing_) return;
    const QList<QTreeWidgetItem*> items = list_->selectedItems();
    model_.Select(items.isEmpty() ? -1 : list_->indexOfTopLevelItem(items.front()));
    UpdateEnabled();
}

void CDlgAutomationEditor::accept() {
    if (!model_.Ok()) return;  // the store refused: said, and the operator may cancel
    QDialog::accept();
}

void CDlgAutomationEditor::reject() {
    model_.Cancel();
    QDialog::reject();
}

QIcon CDlgAutomationEditor::TriggerIcon(Schedule::TriggerIcon icon) {
    constexpr int size = 16;
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor ink = QGuiApplication::palette().color(QPalette::WindowText);
    switch (icon) {
    case Schedule::TriggerIcon::None:
        // A hollow ring: no trigger (or no start-up script).
        painter.setPen(QPen(QColor(150, 150, 150), 1.5));
        painter.drawEllipse(QRectF(3.5, 3.5, 9, 9));
        break;
    case Schedule::TriggerIcon::Startup: {
        // A power symbol.
        painter.setPen(QPen(QColor(0, 150, 0), 2, Qt::SolidLine, Qt::RoundCap));
        painter.drawArc(QRectF(2.5, 3, 11, 11), 120 * 16, 300 * 16);
        painter.drawLine(QPointF(8, 1.5), QPointF(8, 7.5));
        break;
    }
    case Schedule::TriggerIcon::Time:
        painter.setPen(QPen(ink, 1.2));
        painter.setBrush(QColor(255, 255, 255));
        painter.drawEllipse(QRectF(1.5, 1.5, 13, 13));
        painter.setPen(QPen(QColor(30, 80, 200), 1.6, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(8, 8), QPointF(8, 4));
        painter.drawLine(QPointF(8, 8), QPointF(11, 9.5));
        break;
    case Schedule::TriggerIcon::HotkeyOrButton: {
        // A key cap.
        painter.setPen(QPen(ink, 1));
        painter.setBrush(QColor(235, 235, 235));
        painter.drawRoundedRect(QRectF(1.5, 2.5, 13, 11), 2.5, 2.5);
        painter.setBrush(QColor(250, 250, 250));
        painter.drawRoundedRect(QRectF(3.5, 3.5, 9, 7), 1.5, 1.5);
        break;
    }
    }
    painter.end();
    return QIcon(pixmap);
}

// ---------------------------------------------------------------------------------
// The entry editor

CDlgAutomationItem::CDlgAutomationItem(CAutomationEntryModel& model, QWidget* parent)
    : QDialog(parent), model_(model) {
    setObjectName(QStringLiteral("automationItem"));
    const auto check = [this](const char* text, int id) {
        auto* box = new QCheckBox(QString::fromUtf8(text), this);
        Tag(box, id);
        return box;
    };
    const auto radio = [this](const char* text, int id) {
        auto* button = new QRadioButton(QString::fromUtf8(text), this);
        Tag(button, id);
        return button;
    };

    playOnTime_ = check("Play on specific time", CheckPlayOnTime);
    startTime_ = new QLabel(QStringLiteral("Start time"), this);
    Tag(startTime_, LabelStartTime);
    time_ = new QTimeEdit(this);
    Tag(time_, TimeStart);
    time_->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    startTime_->setBuddy(time_);
    once_ = radio("Only once on", RadioOnce);
    date_ = new QDateEdit(this);
    Tag(date_, DateOnce);
    date_->setCalendarPopup(true);
    date_->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    date_->setDateRange(QDate(1900, 1, 1), QDate(9999, 12, 31));
    daily_ = radio("Daily", RadioDaily);
    const char* dayNames[] = {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"};
    for (int day = 0; day < 7; ++day) days_[size_t(day)] = check(dayNames[day], CheckMonday + day);
    playOnHotkey_ = check("Play on hotkey", CheckPlayOnHotkey);
    hotkey_ = new QComboBox(this);
    Tag(hotkey_, ListHotkey);
    hotkey_->addItems(CAutomationEntryModel::HotkeyNames());
    hotkey_->setMaxVisibleItems(20);
    global_ = check("Global hotkey", CheckGlobal);
    playOnButton_ = check("Play on switcher button press", CheckPlayOnButton);
    button_ = new QComboBox(this);
    Tag(button_, ListButton);
    button_->addItems(CAutomationEntryModel::ButtonNames());
    button_->setMaxVisibleItems(16);

    // The time trigger, indented under its check box.
    auto* timeBox = new QGridLayout;
    timeBox->setContentsMargins(24, 0, 0, 0);
    timeBox->addWidget(startTime_, 0, 0);
    timeBox->addWidget(time_, 0, 1, Qt::AlignLeft);
    timeBox->addWidget(once_, 1, 0);
    timeBox->addWidget(date_, 1, 1, Qt::AlignLeft);
    timeBox->addWidget(daily_, 2, 0, 1, 2);
    auto* daysBox = new QGridLayout;
    daysBox->setContentsMargins(24, 0, 0, 0);
    for (int day = 0; day < 7; ++day) daysBox->addWidget(days_[size_t(day)], day / 4, day % 4);
    timeBox->addLayout(daysBox, 3, 0, 1, 2);
    timeBox->setColumnStretch(1, 1);

    auto* hotkeyRow = new QHBoxLayout;
    hotkeyRow->addWidget(playOnHotkey_);
    hotkeyRow->addWidget(hotkey_);
    hotkeyRow->addStretch(1);
    auto* globalRow = new QHBoxLayout;
    globalRow->setContentsMargins(24, 0, 0, 0);
    globalRow->addWidget(global_);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(playOnButton_);
    buttonRow->addWidget(button_);
    buttonRow->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);  // follows what is shown
    layout->addWidget(playOnTime_);
    layout->addLayout(timeBox);
    layout->addSpacing(8);
    layout->addLayout(hotkeyRow);
    layout->addLayout(globalRow);
    layout->addSpacing(8);
    layout->addLayout(buttonRow);
    layout->addSpacing(8);
    layout->addWidget(ScriptDialogs::OkCancel(this));

    // The entry's values.
    playOnTime_->setChecked(model_.PlayOnTime);
    time_->setTime(model_.Time);
    (model_.PlayOnce ? once_ : daily_)->setChecked(true);
    date_->setDate(model_.Date);
    for (int day = 0; day < 7; ++day) days_[size_t(day)]->setChecked((model_.Weekdays >> day) & 1);
    playOnHotkey_->setChecked(model_.PlayOnHotkey);
    hotkey_->setCurrentIndex(model_.HotkeyPosition);
    global_->setChecked(model_.Global);
    playOnButton_->setChecked(model_.PlayOnButton);
    button_->setCurrentIndex(model_.ButtonPosition);

    for (QAbstractButton* box : {static_cast<QAbstractButton*>(playOnTime_), static_cast<QAbstractButton*>(once_),
                                 static_cast<QAbstractButton*>(playOnHotkey_),
                                 static_cast<QAbstractButton*>(playOnButton_)})
        connect(box, &QAbstractButton::toggled, this, &CDlgAutomationItem::UpdateShown);

    TranslateWidgets::TranslateWindow(DialogId, this);
    setWindowTitle(model_.Title);
    UpdateShown();
}

void CDlgAutomationItem::FromControls() {
    model_.PlayOnTime = playOnTime_->isChecked();
    model_.Time = time_->time();
    model_.PlayOnce = once_->isChecked();
    model_.Date = date_->date();
    model_.Weekdays = 0;
    for (int day = 0; day < 7; ++day)
        if (days_[size_t(day)]->isChecked()) model_.Weekdays |= 1 << day;
    model_.PlayOnHotkey = playOnHotkey_->isChecked();
    model_.HotkeyPosition = hotkey_->currentIndex();
    model_.Global = global_->isChecked();
    model_.PlayOnButton = playOnButton_->isChecked();
    model_.ButtonPosition = button_->currentIndex();
}

void CDlgAutomationItem::UpdateShown() {
    FromControls();
    startTime_->setVisible(model_.TimeShown());
    time_->setVisible(model_.TimeShown());
    once_->setVisible(model_.TimeShown());
    daily_->setVisible(model_.TimeShown());
    date_->setVisible(model_.DateShown());
    for (QCheckBox* day : days_) day->setVisible(model_.WeekdaysShown());
    hotkey_->setVisible(model_.HotkeyListShown());
    global_->setVisible(model_.GlobalShown());
    playOnButton_->setVisible(model_.ButtonShown());
    button_->setVisible(model_.ButtonListShown());
}

void CDlgAutomationItem::accept() {
    FromControls();
    QDialog::accept();
}
