#include "ui/ScriptEditorDialog.h"

#include "app/SafeEdit.h"
#include "base/Translate.h"
#include "ui/NavigatorView.h"
#include "ui/PropertiesView.h"
#include "ui/SafeLineEdit.h"
#include "ui/TranslateWidgets.h"

#include <QAction>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QTimeEdit>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <memory>

namespace ScriptDialogs {

void Tag(QWidget* widget, int id) {
    widget->setObjectName(QStringLiteral("ctl_%1").arg(id));
    widget->setProperty(TranslateWidgets::ControlIdProperty, unsigned(id));
}

QWidget* OkCancel(QDialog* dialog) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    Tag(buttons->button(QDialogButtonBox::Ok), 1);
    Tag(buttons->button(QDialogButtonBox::Cancel), 2);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

}  // namespace ScriptDialogs

using ScriptDialogs::Tag;

namespace {

QPushButton* Button(QWidget* parent, const QString& text, int id) {
    auto* button = new QPushButton(text, parent);
    Tag(button, id);
    // Enter belongs to the list (Edit), never to a default button.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

QLabel* Label(QWidget* parent, const QString& text, int id) {
    auto* label = new QLabel(text, parent);
    Tag(label, id);
    return label;
}

QString QtFilter(const QString& filter) { return PropertiesFileDialog::QtFilter(filter); }

}  // namespace

// ---------------------------------------------------------------------------------
// The editor

CDlgScriptEditor::CDlgScriptEditor(CMainDoc& document, CSettingsStore& settings, QWidget* parent,
                                   IMessagePresenter* presenter)
    : QDialog(parent),
      model_(document, settings,
             CScriptEditorModel::Hooks{
                 [this](const QString& folder, const QString& filter) {
                     return chooseScriptToOpen ? chooseScriptToOpen(folder, filter) : QString();
                 },
                 [this](const QString& proposed, const QString& folder, const QString& filter) {
                     return chooseScriptToSave ? chooseScriptToSave(proposed, folder, filter) : QString();
                 },
                 [this](const QString& current, const QString& filter) {
                     return choosePageFile ? choosePageFile(current, filter) : QString();
                 },
                 [this](CFrameScriptItem& item) { return RunActionEditor(item); }},
             presenter) {
    chooseScriptToOpen = [this](const QString& folder, const QString& filter) {
        return QFileDialog::getOpenFileName(this, QString(), folder, QtFilter(filter));
    };
    chooseScriptToSave = [this](const QString& proposed, const QString& folder, const QString& filter) {
        QFileDialog dialog(this, QString(), proposed.isEmpty() ? folder : proposed, QtFilter(filter));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setDefaultSuffix(ScriptEditorTexts::ScriptExtension.mid(1));
        return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
    };
    choosePageFile = [this](const QString& current, const QString& filter) {
        return QFileDialog::getOpenFileName(this, QString(), current, QtFilter(filter));
    };
    showMenu = [](QMenu& menu, const QPoint& global) { return menu.exec(global); };
    runDialog = [](QDialog& dialog) { return dialog.exec(); };

    setObjectName(QStringLiteral("scriptEditor"));
    Build();
    TranslateWidgets::TranslateWindow(DialogId, this);
    Refresh();
}

void CDlgScriptEditor::Build() {
    auto* clear = Button(this, QStringLiteral("&Clear"), ButtonClear);
    auto* load = Button(this, QStringLiteral("&Load"), ButtonLoad);
    save_ = Button(this, QStringLiteral("&Save"), ButtonSave);
    auto* close = Button(this, QStringLiteral("Cl&ose"), ButtonClose);
    add_ = Button(this, QStringLiteral("&Add"), ButtonAdd);
    edit_ = Button(this, QStringLiteral("&Edit"), ButtonEdit);
    delete_ = Button(this, QStringLiteral("&Delete"), ButtonDelete);
    up_ = Button(this, QStringLiteral("&Up"), ButtonUp);
    down_ = Button(this, QStringLiteral("Do&wn"), ButtonDown);
    loop_ = new QCheckBox(QStringLiteral("Loop"), this);
    Tag(loop_, CheckLoop);

    list_ = new QTreeWidget(this);
    Tag(list_, ListActions);
    list_->setColumnCount(2);
    list_->setHeaderLabels(ScriptEditorTexts::Headers());
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setAllColumnsShowFocus(true);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->header()->setStretchLastSection(false);
    list_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    list_->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    list_->setMinimumSize(440, 280);
    list_->installEventFilter(this);

    auto* files = new QHBoxLayout;
    files->addWidget(clear);
    files->addWidget(load);
    files->addWidget(save_);
    files->addStretch(1);
    files->addWidget(close);

    auto* actions = new QVBoxLayout;
    actions->addWidget(add_);
    actions->addWidget(edit_);
    actions->addWidget(delete_);
    actions->addSpacing(12);
    actions->addWidget(up_);
    actions->addWidget(down_);
    actions->addStretch(1);

    auto* middle = new QHBoxLayout;
    middle->addWidget(list_, 1);
    middle->addLayout(actions);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(files);
    layout->addSpacing(4);
    auto* label = Label(this, QStringLiteral("Actions"), LabelActions);
    label->setBuddy(list_);
    layout->addWidget(label);
    layout->addLayout(middle, 1);
    layout->addWidget(loop_);

    connect(clear, &QPushButton::clicked, this, [this] { Run(&CScriptEditorModel::Clear); });
    connect(load, &QPushButton::clicked, this, [this] { Run(&CScriptEditorModel::Load); });
    connect(save_, &QPushButton::clicked, this, [this] { Run(&CScriptEditorModel::Save); });
    connect(close, &QPushButton::clicked, this, &CDlgScriptEditor::reject);
    connect(add_, &QPushButton::clicked, this, &CDlgScriptEditor::OnAdd);
    connect(edit_, &QPushButton::clicked, this, [this] { Run(&CScriptEditorModel::Edit); });
    connect(delete_, &QPushButton::clicked, this, [this] { Run(&CScriptEditorModel::Delete); });
    connect(up_, &QPushButton::clicked, this, [this] { Run(&CScriptEditorModel::MoveUp); });
    connect(down_, &QPushButton::clicked, this, [this] { Run(&CScriptEditorModel::MoveDown); });
    connect(loop_, &QCheckBox::toggled, this, [this](bool checked) {
        if (refreshing_) return;
        model_.SetLoop(checked);
        UpdateEnabled();
    });
    connect(list_, &QTreeWidget::itemSelectionChanged, this, &CDlgScriptEditor::OnSelectionChanged);
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { Run(&CScriptEditorModel::Edit); });
}

void CDlgScriptEditor::Run(bool (CScriptEditorModel::*command)()) {
    (model_.*command)();
    Refresh();
}

void CDlgScriptEditor::Refresh() {
    refreshing_ = true;
    list_->clear();
    QTreeWidgetItem* selected = nullptr;
    int row = 0;
    for (const CScriptEditorModel::Row& shown : model_.Rows()) {
        auto* item = new QTreeWidgetItem(list_, {shown.action, shown.time});
        item->setIcon(0, KindIcon(shown.kind));
        if (row++ == model_.Selected()) selected = item;
    }
    if (selected) {
        list_->setCurrentItem(selected);
        selected->setSelected(true);
        list_->scrollToItem(selected);
        list_->setFocus();
    } else {
        list_->clearSelection();
        list_->setCurrentItem(nullptr);
    }
    loop_->setChecked(model_.Loop());
    setWindowTitle(model_.Title());
    refreshing_ = false;
    UpdateEnabled();
}

void CDlgScriptEditor::UpdateEnabled() {
    edit_->setEnabled(model_.CanEdit());
    delete_->setEnabled(model_.CanDelete());
    up_->setEnabled(model_.CanMoveUp());
    down_->setEnabled(model_.CanMoveDown());
    save_->setEnabled(model_.CanSave());
}

void CDlgScriptEditor::OnSelectionChanged() {
    if (refreshing_) return;
    const QList<QTreeWidgetItem*> items = list_->selectedItems();
    model_.Select(items.isEmpty() ? -1 : list_->indexOfTopLevelItem(items.front()));
    UpdateEnabled();
}

void CDlgScriptEditor::OnAdd() {
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("addActionMenu"));
    for (int kind = 0; kind < ScriptActionTypeCount; ++kind) {
        QAction* action =
            menu.addAction(KindIcon(ScriptActionType(kind)), ScriptEditorTexts::MenuText(ScriptActionType(kind)));
        action->setData(kind);
    }
    const QAction* chosen = showMenu ? showMenu(menu, add_->mapToGlobal(add_->rect().topRight())) : nullptr;
    if (!chosen) return;
    model_.Add(ScriptActionType(chosen->data().toInt()));
    Refresh();
}

bool CDlgScriptEditor::RunActionEditor(CFrameScriptItem& item) {
    std::unique_ptr<QDialog> dialog;
    if (item.type == ScriptActionType::WaitPeriod)
        dialog = std::make_unique<CDlgScriptPause>(item, this);
    else if (item.type == ScriptActionType::WaitUntilTime)
        dialog = std::make_unique<CDlgScriptWaitUntil>(item, this);
    else if (item.HasGroup())
        dialog = std::make_unique<CDlgScriptAction>(item, this);
    else
        return false;
    const int result = runDialog ? runDialog(*dialog) : dialog->exec();
    return result == QDialog::Accepted;
}

bool CDlgScriptEditor::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            Run(&CScriptEditorModel::Edit);
            return true;
        }
        if (key == Qt::Key_Delete) {
            Run(&CScriptEditorModel::Delete);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CDlgScriptEditor::reject() {
    if (!model_.MayClose()) return;
    QDialog::reject();
}

void CDlgScriptEditor::done(int result) {
    model_.Closed();
    QDialog::done(result);
}

QIcon CDlgScriptEditor::KindIcon(ScriptActionType kind) {
    // Play and pause look as they do in the object navigator.
    if (kind == ScriptActionType::PlayObjects) return CObjectsTableModel::IconFor(CObjectNavigatorModel::IconPlaying);
    if (kind == ScriptActionType::PauseObjects) return CObjectsTableModel::IconFor(CObjectNavigatorModel::IconPaused);
    constexpr int size = 16;
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    // Outlines in the desktop's text colour, so they show on light and dark themes.
    const QColor ink = QGuiApplication::palette().color(QPalette::WindowText);
    const auto page = [&](const QColor& fill) {
        QPainterPath sheet;
        sheet.moveTo(3.5, 1.5);
        sheet.lineTo(10.5, 1.5);
        sheet.lineTo(13.5, 4.5);
        sheet.lineTo(13.5, 14.5);
        sheet.lineTo(3.5, 14.5);
        sheet.closeSubpath();
        painter.fillPath(sheet, fill);
        painter.setPen(QPen(ink, 1));
        painter.drawPath(sheet);
    };
    const auto clock = [&](const QColor& hands) {
        painter.setPen(QPen(ink, 1.2));
        painter.setBrush(QColor(255, 255, 255));
        painter.drawEllipse(QRectF(1.5, 1.5, 13, 13));
        painter.setPen(QPen(hands, 1.6, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(8, 8), QPointF(8, 4));
        painter.drawLine(QPointF(8, 8), QPointF(11, 9.5));
    };
    switch (kind) {
    case ScriptActionType::LoadPage: page(QColor(225, 235, 250)); break;
    case ScriptActionType::AddObjects:
        page(QColor(225, 235, 250));
        painter.setPen(QPen(QColor(0, 150, 0), 2.2));
        painter.drawLine(QPointF(8.5, 6), QPointF(8.5, 12));
        painter.drawLine(QPointF(5.5, 9), QPointF(11.5, 9));
        break;
    case ScriptActionType::PlayObjects:
    case ScriptActionType::PauseObjects: break;  // the navigator's, above
    case ScriptActionType::EndObjects: {
        // Play fading to its end.
        QLinearGradient fade(2, 0, 12, 0);
        fade.setColorAt(0, QColor(0, 170, 0));
        fade.setColorAt(1, QColor(0, 170, 0, 40));
        QPainterPath play;
        play.moveTo(2, 2);
        play.lineTo(11, 8);
        play.lineTo(2, 14);
        play.closeSubpath();
        painter.fillPath(play, fade);
        painter.fillRect(QRect(12, 2, 2, 12), ink);
        break;
    }
    case ScriptActionType::StopObjects: painter.fillRect(QRect(3, 3, 10, 10), QColor(200, 30, 30)); break;
    case ScriptActionType::DeleteObjects:
        painter.setPen(QPen(QColor(200, 30, 30), 2.6, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
        painter.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
        break;
    case ScriptActionType::WaitObjectsEnd: {
        // An hourglass.
        QPainterPath glass;
        glass.moveTo(3.5, 1.5);
        glass.lineTo(12.5, 1.5);
        glass.lineTo(8, 8);
        glass.lineTo(12.5, 14.5);
        glass.lineTo(3.5, 14.5);
        glass.lineTo(8, 8);
        glass.closeSubpath();
        painter.fillPath(glass, QColor(230, 200, 120));
        painter.setPen(QPen(ink, 1));
        painter.drawPath(glass);
        break;
    }
    case ScriptActionType::WaitPeriod: clock(ink); break;
    case ScriptActionType::WaitUntilTime:
        clock(QColor(200, 30, 30));
        painter.setPen(QPen(ink, 1.4));
        painter.drawLine(QPointF(2, 4), QPointF(4, 2));
        painter.drawLine(QPointF(14, 4), QPointF(12, 2));
        break;
    }
    painter.end();
    return QIcon(pixmap);
}

// ---------------------------------------------------------------------------------
// The object actions

CDlgScriptAction::CDlgScriptAction(CFrameScriptItem& item, QWidget* parent)
    : QDialog(parent), item_(item), model_(item) {
    setWindowTitle(QStringLiteral("Script action"));
    setObjectName(QStringLiteral("scriptAction"));
    auto* name = Label(this, model_.ActionName, LabelActionName);
    QFont bold = name->font();
    bold.setBold(true);
    name->setFont(bold);
    all_ = new QRadioButton(QStringLiteral("Apply to all objects"), this);
    Tag(all_, RadioAllObjects);
    group_ = new QRadioButton(QStringLiteral("Apply to group"), this);
    Tag(group_, RadioGroup);
    text_ = new QLineEdit(model_.Group, this);
    Tag(text_, EditGroup);
    text_->setMinimumWidth(200);

    auto* layout = new QGridLayout(this);
    layout->addWidget(Label(this, QStringLiteral("Action"), LabelAction), 0, 0);
    layout->addWidget(name, 0, 1);
    layout->addWidget(all_, 1, 0, 1, 2);
    layout->addWidget(group_, 2, 0);
    layout->addWidget(text_, 2, 1);
    layout->setRowMinimumHeight(3, 8);
    layout->addWidget(ScriptDialogs::OkCancel(this), 4, 0, 1, 2);
    layout->setColumnStretch(1, 1);

    (model_.ApplyToGroup ? group_ : all_)->setChecked(true);
    text_->setEnabled(model_.GroupEnabled());
    connect(all_, &QRadioButton::toggled, this, [this](bool checked) {
        if (checked) {
            model_.ChooseAllObjects();
            text_->clear();
        } else {
            model_.ChooseGroup();
        }
        text_->setEnabled(model_.GroupEnabled());
        if (model_.GroupEnabled()) text_->setFocus();
    });
    TranslateWidgets::TranslateWindow(DialogId, this);
}

void CDlgScriptAction::accept() {
    model_.Group = text_->text();
    model_.ApplyToGroup = group_->isChecked();
    if (!model_.ApplyToGroup) model_.ChooseAllObjects();
    model_.Ok(item_);
    QDialog::accept();
}

// ---------------------------------------------------------------------------------
// The pause

CDlgScriptPause::CDlgScriptPause(CFrameScriptItem& item, QWidget* parent)
    : QDialog(parent), item_(item), model_(item) {
    setWindowTitle(QStringLiteral("Script pause"));
    setObjectName(QStringLiteral("scriptPause"));
    seconds_ = new CSafeLineEdit(SafeEdit::Digits, this);
    Tag(seconds_, EditSeconds);
    seconds_->setMaxLength(CScriptPauseModel::MaxDigits);
    seconds_->setText(model_.Seconds);
    seconds_->setAlignment(Qt::AlignRight);
    seconds_->setFixedWidth(seconds_->fontMetrics().horizontalAdvance(QStringLiteral("0000000000")) + 12);
    seconds_->selectAll();

    auto* row = new QHBoxLayout;
    row->addWidget(Label(this, QStringLiteral("Wait"), LabelWait));
    row->addWidget(seconds_);
    row->addWidget(Label(this, QStringLiteral("sec."), LabelSeconds));
    row->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addSpacing(8);
    layout->addWidget(ScriptDialogs::OkCancel(this));
    setMinimumWidth(260);
    TranslateWidgets::TranslateWindow(DialogId, this);
}

void CDlgScriptPause::accept() {
    model_.Seconds = seconds_->text();
    if (model_.Ok(item_))
        QDialog::accept();
    else
        QDialog::reject();  // no pause of 0 seconds: the action stays as it was
}

// ---------------------------------------------------------------------------------
// The wait until a time of day

CDlgScriptWaitUntil::CDlgScriptWaitUntil(CFrameScriptItem& item, QWidget* parent)
    : QDialog(parent), item_(item), model_(item) {
    setWindowTitle(QStringLiteral("Script wait"));
    setObjectName(QStringLiteral("scriptWaitUntil"));
    time_ = new QTimeEdit(this);
    Tag(time_, TimeWaitUntil);
    time_->setDisplayFormat(CScriptWaitUntilModel::DisplayFormat);
    time_->setTime(model_.Time);

    auto* row = new QHBoxLayout;
    row->addWidget(Label(this, QStringLiteral("Wait until"), LabelWaitUntil));
    row->addWidget(time_);
    row->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addSpacing(8);
    layout->addWidget(ScriptDialogs::OkCancel(this));
    setMinimumWidth(260);
    TranslateWidgets::TranslateWindow(DialogId, this);
}

void CDlgScriptWaitUntil::accept() {
    model_.Time = time_->time();
    model_.Ok(item_);
    QDialog::accept();
}
