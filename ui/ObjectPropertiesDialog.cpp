#include "ui/ObjectPropertiesDialog.h"

#include "app/SafeEdit.h"
#include "base/Translate.h"
#include "ui/PropertiesView.h"
#include "ui/SafeLineEdit.h"
#include "ui/TranslateWidgets.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTime>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace {

// Category string ids, the grid's group boxes here.
constexpr unsigned CategoryObject = 11100;
constexpr unsigned CategoryBackground = 11103;
constexpr unsigned CategoryText = 11104;
constexpr unsigned CategorySource = 11105;
constexpr unsigned CategoryPresentation = 11106;
constexpr unsigned CategoryRemote = 11107;
constexpr unsigned CategoryFirst = 11100;

// Radio buttons and statics the model numbers.
constexpr int StaticBackgroundType = 1057;
constexpr int CheckTransparent = 1059;
constexpr int SliderBackTransparency = 1006;
constexpr int SliderTextTransparency = 1008;
constexpr int LabelBackTransparency = 1010;
constexpr int LabelTextTransparency = 1012;
constexpr int SliderSpeed = 1020;
constexpr int FirstSourceRadio = 1030;  // ... 1035
constexpr int DirectionRadios[2] = {1067, 1068};
constexpr int StaticFileName = 1044;
constexpr int StaticFileError = 1050;
constexpr int StaticImageFileName = 1071;
constexpr int StaticImageFileError = 1073;

QString Text(unsigned id) { return CTranslate::Global().LoadText(id); }

QString RowName(const CObjectPropertiesModel& grid, int row) {
    const PropertyRow* r = grid.Row(row);
    return r ? r->name : QString();
}

QStringList Choices(const CObjectPropertiesModel& grid, int row) {
    const PropertyRow* r = grid.Row(row);
    return r ? r->choices : QStringList();
}

}  // namespace

CDlgFrameProps::CDlgFrameProps(CMainDoc& document, CObjectPropertiesModel& grid, IPropertiesHost& host,
                               IMessagePresenter* presenter, QWidget* parent)
    : QDialog(parent), grid_(grid), model_(document, grid, host), presenter_(presenter) {
    chooseColour = PropertyColours::Choose;
    setWindowTitle(Text(CategoryObject));
    Build();
    TranslateWidgets::TranslateWindow(DialogId, this);
}

void CDlgFrameProps::Tag(QWidget* widget, int id) {
    widget->setObjectName(QStringLiteral("ctl_%1").arg(id));
    widget->setProperty(TranslateWidgets::ControlIdProperty, unsigned(id));
}

QLabel* CDlgFrameProps::LabelFor(QWidget* control, int id, int row) {
    auto* label = new QLabel(RowName(grid_, row), this);
    Tag(label, id + LabelOffset);
    label->setBuddy(control);
    if (row) rowOf_.push_back({label, row});
    return label;
}

void CDlgFrameProps::Build() {
    const auto groupBox = [this](unsigned category) {
        auto* box = new QGroupBox(Text(category), this);
        Tag(box, FirstGroupBox + int(category - CategoryFirst));
        return box;
    };
    const auto form = [](QGroupBox* box) {
        auto* layout = new QFormLayout(box);
        layout->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
        return layout;
    };
    const auto check = [this](QFormLayout* layout, int id, int row, int CObjectPropertyValues::*field) {
        auto* box = new QCheckBox(RowName(grid_, row), this);
        Tag(box, id);
        connect(box, &QCheckBox::toggled, this, &CDlgFrameProps::Changed);
        layout->addRow(box);
        checks_.push_back({box, row, field});
        rowOf_.push_back({box, row});
        return box;
    };
    const auto list = [this](QFormLayout* layout, int id, int row, int CObjectPropertyValues::*field) {
        auto* box = new QComboBox(this);
        Tag(box, id);
        box->addItems(Choices(grid_, row));
        box->setMaxVisibleItems(16);
        connect(box, &QComboBox::currentIndexChanged, this, &CDlgFrameProps::Changed);
        layout->addRow(LabelFor(box, id, row), box);
        lists_.push_back({box, row, field});
        rowOf_.push_back({box, row});
        return box;
    };
    const auto textList = [this](QFormLayout* layout, int id, int row, QString CObjectPropertyValues::*field) {
        auto* box = new QComboBox(this);
        Tag(box, id);
        box->setEditable(true);
        box->setInsertPolicy(QComboBox::NoInsert);
        box->addItems(Choices(grid_, row));
        connect(box, &QComboBox::editTextChanged, this, &CDlgFrameProps::Changed);
        layout->addRow(LabelFor(box, id, row), box);
        textLists_.push_back({box, row, field});
        rowOf_.push_back({box, row});
        return box;
    };
    const auto time = [this](QFormLayout* layout, int id, int row, int CObjectPropertyValues::*field) {
        auto* edit = new QTimeEdit(this);
        Tag(edit, id);
        edit->setDisplayFormat(QStringLiteral("HH:mm:ss"));
        connect(edit, &QTimeEdit::timeChanged, this, &CDlgFrameProps::Changed);
        layout->addRow(LabelFor(edit, id, row), edit);
        times_.push_back({edit, row, field});
        rowOf_.push_back({edit, row});
    };
    const auto duration = [this](QFormLayout* layout, int id, int row, QString CObjectPropertiesDialogModel::*field) {
        auto* edit = new CSafeLineEdit(SafeEdit::DigitsAndSeparators, this);
        Tag(edit, id);
        connect(edit, &QLineEdit::textChanged, this, &CDlgFrameProps::Changed);
        layout->addRow(LabelFor(edit, id, row), edit);
        durations_.push_back({edit, row, field});
        rowOf_.push_back({edit, row});
    };
    const auto slider = [this](int id, int row, int minimum, int maximum) {
        auto* bar = new QSlider(Qt::Horizontal, this);
        Tag(bar, id);
        bar->setRange(minimum, maximum);
        bar->setPageStep(qMax(1, (maximum - minimum) / 10));
        connect(bar, &QSlider::valueChanged, this, &CDlgFrameProps::Changed);
        rowOf_.push_back({bar, row});
        return bar;
    };
    const auto valueLabel = [this](int id, int row) {
        auto* label = new QLabel(this);
        Tag(label, id);
        label->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("100")) + 4);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        rowOf_.push_back({label, row});
        return label;
    };
    const auto sliderRow = [](QSlider* bar, QLabel* value) {
        auto* row = new QHBoxLayout;
        row->addWidget(bar, 1);
        if (value) row->addWidget(value);
        return row;
    };
    const auto fileStatics = [this](QFormLayout* layout, int nameId, int errorId, int row, QLabel*& name,
                                    QLabel*& error) {
        name = new QLabel(this);
        Tag(name, nameId);
        name->setTextInteractionFlags(Qt::TextSelectableByMouse);
        name->setWordWrap(true);
        error = new QLabel(QStringLiteral("File access error!"), this);
        Tag(error, errorId);
        QPalette palette = error->palette();
        palette.setColor(QPalette::WindowText, Qt::red);
        error->setPalette(palette);
        layout->addRow(LabelFor(name, nameId, row), name);
        layout->addRow(QString(), error);
        rowOf_.push_back({name, row});
    };

    // Object
    QGroupBox* objectBox = groupBox(CategoryObject);
    QFormLayout* object = form(objectBox);
    check(object, CheckLock, RowLock, &CObjectPropertyValues::Locked);
    textList(object, CObjectPropertiesDialogModel::GroupList, RowGroup, &CObjectPropertyValues::Group);
    list(object, ListHotkey, RowHotkey, &CObjectPropertyValues::Hotkey);
    QGroupBox* remoteBox = nullptr;
    if (grid_.Row(RowSwitcherButton)) {
        remoteBox = groupBox(CategoryRemote);
        list(form(remoteBox), ListSwitcherButton, RowSwitcherButton, &CObjectPropertyValues::SwitcherButton);
    }

    // Background
    QGroupBox* backgroundBox = groupBox(CategoryBackground);
    QFormLayout* background = form(backgroundBox);
    backgroundType_ = new QLabel(this);
    Tag(backgroundType_, StaticBackgroundType);
    background->addRow(LabelFor(backgroundType_, StaticBackgroundType, RowType), backgroundType_);
    colour_ = new QPushButton(this);
    Tag(colour_, ButtonColour);
    const PropertyRow* colourRow = grid_.Row(RowColor);
    colour_->setText(colourRow ? colourRow->buttonText : QString());
    connect(colour_, &QPushButton::clicked, this, &CDlgFrameProps::ChooseColour);
    background->addRow(LabelFor(colour_, ButtonColour, RowColor), colour_);
    rowOf_.push_back({colour_, RowColor});
    transparent_ = new QCheckBox(QStringLiteral("Transparent"), this);
    Tag(transparent_, CheckTransparent);
    connect(transparent_, &QCheckBox::toggled, this, &CDlgFrameProps::Changed);
    background->addRow(transparent_);
    rowOf_.push_back({transparent_, RowBackTransparency});
    backTransparency_ = slider(SliderBackTransparency, RowBackTransparency, 0, 100);
    backTransparencyLabel_ = valueLabel(LabelBackTransparency, RowBackTransparency);
    background->addRow(LabelFor(backTransparency_, SliderBackTransparency, RowBackTransparency),
                       sliderRow(backTransparency_, backTransparencyLabel_));
    check(background, CheckLoopAnimation, RowLoopAnimation, &CObjectPropertyValues::LoopAnimation);
    check(background, CheckMaintainLink, RowMaintainLink, &CObjectPropertyValues::MaintainLink);
    fileStatics(background, StaticImageFileName, StaticImageFileError, RowImageFileName, imageFileName_,
                imageFileError_);

    // Text
    QGroupBox* textBox = groupBox(CategoryText);
    QFormLayout* text = form(textBox);
    textTransparency_ = slider(SliderTextTransparency, RowTextTransparency, 0, 100);
    textTransparencyLabel_ = valueLabel(LabelTextTransparency, RowTextTransparency);
    text->addRow(LabelFor(textTransparency_, SliderTextTransparency, RowTextTransparency),
                 sliderRow(textTransparency_, textTransparencyLabel_));
    list(text, ListDropShadow, RowDropShadow, &CObjectPropertyValues::DropShadow);
    list(text, ListMovement, RowMovement, &CObjectPropertyValues::Movement);
    const PropertyRow* speedRow = grid_.Row(RowSpeed);
    speed_ = slider(SliderSpeed, RowSpeed, speedRow ? speedRow->minimum : 1, speedRow ? speedRow->maximum : 40);
    speedLabel_ = valueLabel(LabelSpeed, RowSpeed);
    text->addRow(LabelFor(speed_, SliderSpeed, RowSpeed), sliderRow(speed_, speedLabel_));
    check(text, CheckLoop, RowLoop, &CObjectPropertyValues::Loop);
    check(text, CheckStartFromEdge, RowStartFromEdge, &CObjectPropertyValues::StartFromEdge);
    check(text, CheckReverse, RowReverse, &CObjectPropertyValues::Reverse);

    // Text source
    QGroupBox* sourceBox = groupBox(CategorySource);
    QFormLayout* source = form(sourceBox);
    sources_ = new QButtonGroup(this);
    auto* sourceRadios = new QGridLayout;
    const QStringList sourceNames = Choices(grid_, RowTextSource);
    for (int s = 0; s < sourceNames.size(); ++s) {
        auto* radio = new QRadioButton(sourceNames[s], this);
        Tag(radio, FirstSourceRadio + s);
        sources_->addButton(radio, s);
        sourceRadios->addWidget(radio, s / 2, s % 2);
    }
    source->addRow(sourceRadios);
    connect(sources_, &QButtonGroup::idClicked, this, [this](int chosen) {
        if (loading_) return;
        FromControls();
        model_.ChooseTextSource(chosen);  // a cancelled file dialog leaves the source
        ToControls();
    });
    fileStatics(source, StaticFileName, StaticFileError, RowFileName, fileName_, fileError_);
    textList(source, ListClockFormat, RowClockFormat, &CObjectPropertyValues::ClockFormat);
    list(source, ListEncoding, RowEncoding, &CObjectPropertyValues::Encoding);
    check(source, CheckMonitorFileChanges, RowMonitorFileChanges, &CObjectPropertyValues::MonitorFileChanges);
    check(source, CheckFirstLineIsHeader, RowFirstLineIsHeader, &CObjectPropertyValues::FirstLineIsHeader);
    list(source, ListSeparator, RowSeparator, &CObjectPropertyValues::Separator);
    check(source, CheckBarGraph, RowBarGraph, &CObjectPropertyValues::BarGraph);
    textList(source, ListTimerFormat, RowTimerFormat, &CObjectPropertyValues::TimerFormat);
    directions_ = new QButtonGroup(this);
    auto* directionRadios = new QHBoxLayout;
    const QStringList directionNames = Choices(grid_, RowTimerDirection);
    for (int d = 0; d < directionNames.size() && d < 2; ++d) {
        auto* radio = new QRadioButton(directionNames[d], this);
        Tag(radio, DirectionRadios[d]);
        directions_->addButton(radio, d);
        directionRadios->addWidget(radio);
        rowOf_.push_back({radio, RowTimerDirection});
    }
    directionRadios->addStretch(1);
    auto* directionLabel = new QLabel(RowName(grid_, RowTimerDirection), this);
    Tag(directionLabel, DirectionRadios[0] + LabelOffset);
    rowOf_.push_back({directionLabel, RowTimerDirection});
    source->addRow(directionLabel, directionRadios);
    connect(directions_, &QButtonGroup::idClicked, this, [this](int chosen) {
        if (loading_) return;
        FromControls();
        model_.ChooseTimerDirection(chosen);
        ToControls();
    });
    time(source, TimeTimerStart, RowTimerStart, &CObjectPropertyValues::TimerStart);
    time(source, TimeTimerStop, RowTimerStop, &CObjectPropertyValues::TimerStop);

    // Presentation
    QGroupBox* presentationBox = groupBox(CategoryPresentation);
    QFormLayout* presentation = form(presentationBox);
    duration(presentation, CObjectPropertiesDialogModel::EditStartDelay, RowStartDelay,
             &CObjectPropertiesDialogModel::StartDelay);
    list(presentation, ListInEffect, RowInEffect, &CObjectPropertyValues::InEffect);
    duration(presentation, CObjectPropertiesDialogModel::EditInEffectDuration, RowInEffectDuration,
             &CObjectPropertiesDialogModel::InEffectDuration);
    check(presentation, CheckFadeIn, RowFadeIn, &CObjectPropertyValues::FadeIn);
    duration(presentation, CObjectPropertiesDialogModel::EditShowFor, RowShowFor, &CObjectPropertiesDialogModel::ShowFor);
    check(presentation, CheckShowIndefinitely, RowShowIndefinitely, &CObjectPropertyValues::ShowIndefinitely);
    check(presentation, CheckShowWhileTextMoves, RowShowWhileTextMoves, &CObjectPropertyValues::ShowWhileTextMoves);
    list(presentation, ListOutEffect, RowOutEffect, &CObjectPropertyValues::OutEffect);
    duration(presentation, CObjectPropertiesDialogModel::EditOutEffectDuration, RowOutEffectDuration,
             &CObjectPropertiesDialogModel::OutEffectDuration);
    check(presentation, CheckFadeOut, RowFadeOut, &CObjectPropertyValues::FadeOut);
    check(presentation, CheckRepeat, RowRepeat, &CObjectPropertyValues::Repeat);

    auto* columns = new QGridLayout;
    auto* left = new QVBoxLayout;
    left->addWidget(objectBox);
    if (remoteBox) left->addWidget(remoteBox);
    left->addWidget(backgroundBox);
    left->addWidget(textBox);
    left->addStretch(1);
    auto* right = new QVBoxLayout;
    right->addWidget(sourceBox);
    right->addWidget(presentationBox);
    right->addStretch(1);
    columns->addLayout(left, 0, 0);
    columns->addLayout(right, 0, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CDlgFrameProps::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CDlgFrameProps::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns);
    layout->addWidget(buttons);
}

bool CDlgFrameProps::Open() {
    if (!model_.Open()) return false;
    // The group list is the page's groups as the grid has them now.
    grid_.Refresh();
    for (const TextList& t : textLists_) {
        if (t.row != RowGroup) continue;
        const QSignalBlocker block(t.box);
        t.box->clear();
        t.box->addItems(Choices(grid_, RowGroup));
    }
    ToControls();
    return true;
}

void CDlgFrameProps::ToControls() {
    loading_ = true;
    const CObjectPropertyValues& v = model_.Values;
    for (const Check& c : checks_) {
        const QSignalBlocker block(c.box);
        c.box->setChecked(v.*c.field != 0);
    }
    for (const List& l : lists_) {
        const QSignalBlocker block(l.box);
        l.box->setCurrentIndex(v.*l.field >= 0 && v.*l.field < l.box->count() ? v.*l.field : -1);
    }
    for (const TextList& t : textLists_) {
        const QSignalBlocker block(t.box);
        t.box->setEditText(v.*t.field);
    }
    for (const Time& t : times_) {
        const QSignalBlocker block(t.edit);
        t.edit->setTime(QTime(0, 0).addSecs(v.*t.field));
    }
    for (const Duration& d : durations_) {
        const QSignalBlocker block(d.edit);
        d.edit->setText(model_.*d.field);
    }
    {
        const QSignalBlocker a(transparent_), b(backTransparency_), c(textTransparency_), d(speed_);
        transparent_->setChecked(model_.Transparent);
        backTransparency_->setValue(model_.BackTransparency);
        textTransparency_->setValue(model_.TextTransparency);
        speed_->setValue(v.Speed);
    }
    backTransparencyLabel_->setText(CObjectPropertiesDialogModel::TrackbarLabel(model_.BackTransparency));
    textTransparencyLabel_->setText(CObjectPropertiesDialogModel::TrackbarLabel(model_.TextTransparency));
    speedLabel_->setText(QString::number(v.Speed));
    if (QAbstractButton* radio = sources_->button(v.TextSource)) {
        const QSignalBlocker block(sources_);
        radio->setChecked(true);
    }
    if (QAbstractButton* radio = directions_->button(v.TimerDirection)) {
        const QSignalBlocker block(directions_);
        radio->setChecked(true);
    }
    backgroundType_->setText(model_.BackgroundType);
    fileName_->setText(v.FileName);
    fileError_->setVisible(model_.TextFileError);
    imageFileName_->setText(v.ImageFileName);
    imageFileError_->setVisible(model_.ImageFileError);
    QPixmap swatch(16, 16);
    swatch.fill(PropertyColours::ToQColor(v.BackColor));
    {
        QPainter painter(&swatch);
        painter.setPen(Qt::darkGray);
        painter.drawRect(0, 0, 15, 15);
    }
    colour_->setIcon(swatch);
    loading_ = false;
    UpdateEnabled();
}

void CDlgFrameProps::FromControls() {
    CObjectPropertyValues& v = model_.Values;
    for (const Check& c : checks_) v.*c.field = c.box->isChecked() ? 1 : 0;
    for (const List& l : lists_)
        if (l.box->currentIndex() >= 0) v.*l.field = l.box->currentIndex();
    for (const TextList& t : textLists_) v.*t.field = t.box->currentText();
    for (const Time& t : times_) v.*t.field = QTime(0, 0).secsTo(t.edit->time());
    for (const Duration& d : durations_) model_.*d.field = d.edit->text();
    model_.Transparent = transparent_->isChecked();
    model_.BackTransparency = backTransparency_->value();
    model_.TextTransparency = textTransparency_->value();
    v.Speed = speed_->value();
}

void CDlgFrameProps::UpdateEnabled() {
    for (const auto& [control, row] : rowOf_) control->setEnabled(model_.Enabled(row));
    // A transparent background has no transparency to set.
    const bool back = model_.Enabled(RowBackTransparency) && !transparent_->isChecked();
    backTransparency_->setEnabled(back);
    backTransparencyLabel_->setEnabled(back);
}

void CDlgFrameProps::Changed() {
    if (loading_) return;
    FromControls();
    backTransparencyLabel_->setText(CObjectPropertiesDialogModel::TrackbarLabel(model_.BackTransparency));
    textTransparencyLabel_->setText(CObjectPropertiesDialogModel::TrackbarLabel(model_.TextTransparency));
    speedLabel_->setText(QString::number(model_.Values.Speed));
    UpdateEnabled();
}

void CDlgFrameProps::ChooseColour() {
    if (!chooseColour) return;
    FromControls();
    const std::optional<QColor> chosen = chooseColour(PropertyColours::ToQColor(model_.Values.BackColor), this);
    if (!chosen || !chosen->isValid()) return;
    model_.Values.BackColor = (model_.Values.BackColor & 0xFF000000u) | PropertyColours::FromQColor(*chosen);
    ToControls();
}

void CDlgFrameProps::accept() {
    FromControls();
    const int invalid = model_.Ok();
    if (invalid == 0) {
        QDialog::accept();
        return;
    }
    // The dialog stays open on the field it refused, with what the field takes.
    QWidget* field = findChild<QWidget*>(QStringLiteral("ctl_%1").arg(invalid));
    if (field) {
        field->setFocus();
        if (auto* edit = qobject_cast<QLineEdit*>(field)) edit->selectAll();
    }
    int row = 0;
    for (const auto& [control, number] : rowOf_)
        if (control == field) row = number;
    const PropertyRow* property = grid_.Row(row);
    if (!property) return;
    QString typed;
    if (auto* edit = qobject_cast<QLineEdit*>(field)) typed = edit->text();
    else if (auto* box = qobject_cast<QComboBox*>(field)) typed = box->currentText();
    const QString message = PropertyMessages::Refusal(*property, typed);
    if (presenter_) presenter_->Show(message, MbOk | MbIconWarning);
    else CTranslate::Global().MessageBox(message, MbOk | MbIconWarning);
}
