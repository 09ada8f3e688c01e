#include "ui/PreferencesDialog.h"

#include "app/SafeEdit.h"
#include "base/Translate.h"
#include "core/VideoModes.h"
#include "ui/PropertiesView.h"
#include "ui/SafeLineEdit.h"
#include "ui/TranslateWidgets.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>

namespace {

// Group boxes, numbered after the controls.
constexpr int GroupOutput = 1050;
constexpr int GroupPages = 1051;
constexpr int GroupCanvas = 1052;
constexpr int GroupSwitcher = 1053;

QString FolderBrowser(const QString& start, QWidget* parent) {
    return QFileDialog::getExistingDirectory(parent, QString(), start, QFileDialog::ShowDirsOnly);
}

}  // namespace

CDlgPreferences::CDlgPreferences(CMainDoc& document, CSettingsStore& settings, InstanceKind kind,
                                 CPreferencesModel::Hooks hooks, std::vector<OutputDisplayEntry> displays,
                                 QWidget* parent)
    : QDialog(parent),
      model_(document, settings, kind, displays.empty() ? OutputDisplayEntries() : std::move(displays),
             std::move(hooks)) {
    chooseFolder = FolderBrowser;
    chooseColour = PropertyColours::Choose;
    setWindowTitle(QStringLiteral("Preferences"));
    Build();
    ToControls();
    TranslateWidgets::TranslateWindow(DialogId, this);
}

void CDlgPreferences::Tag(QWidget* widget, int id) {
    widget->setObjectName(QStringLiteral("ctl_%1").arg(id));
    widget->setProperty(TranslateWidgets::ControlIdProperty, unsigned(id));
}

QLabel* CDlgPreferences::Label(const QString& text, int controlId) {
    auto* label = new QLabel(text, this);
    Tag(label, controlId + CPreferencesModel::LabelOffset);
    return label;
}

void CDlgPreferences::Build() {
    using M = CPreferencesModel;
    const auto check = [this](const QString& text, int id) {
        auto* box = new QCheckBox(text, this);
        Tag(box, id);
        return box;
    };
    const auto digits = [this](int id, int width) {
        auto* edit = new CSafeLineEdit(SafeEdit::Digits, this);
        Tag(edit, id);
        edit->setMaxLength(width);
        edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(QString(width + 2, QLatin1Char('0'))));
        return edit;
    };
    const auto group = [this](const QString& title, int id) {
        auto* box = new QGroupBox(title, this);
        Tag(box, id);
        return box;
    };

    // The output.
    QGroupBox* outputBox = group(QStringLiteral("HDMI output"), GroupOutput);
    auto* output = new QFormLayout(outputBox);
    output->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    mode_ = new QComboBox(this);
    Tag(mode_, M::ListMode);
    for (int position = 0; position < VideoModes::Count; ++position)
        mode_->addItem(VideoModes::Name(VideoModes::IndexFromListPosition(position)));
    output->addRow(Label(QStringLiteral("Mode"), M::ListMode), mode_);
    display_ = new QComboBox(this);
    Tag(display_, M::ListDisplay);
    for (const OutputDisplayEntry& entry : model_.Displays()) display_->addItem(entry.text);
    displayLabel_ = Label(QStringLiteral("HDMI connection"), M::ListDisplay);
    output->addRow(displayLabel_, display_);
    modeNote_ = new QLabel(PreferenceTexts::ModeLockedNote(), this);
    Tag(modeNote_, M::StaticModeNote);
    modeNote_->setWordWrap(true);
    QPalette red = modeNote_->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    modeNote_->setPalette(red);
    output->addRow(modeNote_);
    fullRange_ = check(QStringLiteral("HDMI output is full range RGB (0 - 255)"), M::CheckFullRange);
    alternativeSync_ = check(QStringLiteral("Use alternative vertical sync method"), M::CheckAlternativeSync);
    auto_ = check(QStringLiteral("Switch HDMI output on on startup"), M::CheckAuto);
    noRestore_ = check(QStringLiteral("Do not restore monitor configuration on exit"), M::CheckNoRestore);
    for (QCheckBox* box : {fullRange_, alternativeSync_, auto_, noRestore_}) output->addRow(box);
    // Never shown: the keyer's threshold stays where the keyer has it.
    lumaKey_ = new QSlider(Qt::Horizontal, this);
    Tag(lumaKey_, M::SliderLumaKey);
    lumaKey_->hide();
    outputRows_.push_back(outputBox);

    // Pages.
    QGroupBox* pagesBox = group(QStringLiteral("Pages"), GroupPages);
    auto* pages = new QFormLayout(pagesBox);
    pages->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    rootFolder_ = new QLineEdit(this);
    Tag(rootFolder_, M::EditRootFolder);
    rootFolder_->setReadOnly(true);
    rootFolder_->setMinimumWidth(rootFolder_->fontMetrics().horizontalAdvance(QString(36, QLatin1Char('x'))));
    browse_ = new QPushButton(QStringLiteral("..."), this);
    Tag(browse_, M::ButtonBrowse);
    browse_->setFixedWidth(browse_->fontMetrics().horizontalAdvance(QStringLiteral("....")) + 16);
    connect(browse_, &QPushButton::clicked, this, &CDlgPreferences::ChooseFolder);
    auto* folderRow = new QWidget(this);
    auto* folderLayout = new QHBoxLayout(folderRow);
    folderLayout->setContentsMargins(0, 0, 0, 0);
    folderLayout->addWidget(rootFolder_, 1);
    folderLayout->addWidget(browse_);
    rootFolderLabel_ = Label(QStringLiteral("Pages folder"), M::EditRootFolder);
    pages->addRow(rootFolderLabel_, folderRow);
    treeAction_ = new QComboBox(this);
    Tag(treeAction_, M::ListTreeAction);
    TranslateWidgets::FillComboBox(PreferenceTexts::FirstTreeActionId, treeAction_, PreferenceTexts::TreeActionCount);
    pages->addRow(Label(QStringLiteral("Pages pane default action"), M::ListTreeAction), treeAction_);
    largeToolbar_ = check(QStringLiteral("Use large icons in toolbars (requires restart)"), M::CheckLargeToolbar);
    pages->addRow(largeToolbar_);

    // The canvas.
    QGroupBox* canvasBox = group(QStringLiteral("Editor"), GroupCanvas);
    auto* canvas = new QFormLayout(canvasBox);
    snap_ = check(QStringLiteral("Snap objects to grid"), M::CheckSnap);
    gridStep_ = digits(M::EditGridStep, 2);
    gridStepLabel_ = Label(QStringLiteral("grid size (2 - 50 pixels)"), M::EditGridStep);
    auto* snapRow = new QHBoxLayout;
    snapRow->addWidget(snap_);
    snapRow->addSpacing(12);
    snapRow->addWidget(gridStepLabel_);
    snapRow->addWidget(gridStep_);
    snapRow->addStretch(1);
    canvas->addRow(snapRow);
    connect(snap_, &QCheckBox::toggled, this, [this] { UpdateShown(); });
    background_ = new QButtonGroup(this);
    auto* checkered = new QRadioButton(QStringLiteral("Checkered background"), this);
    Tag(checkered, M::RadioCheckered);
    auto* solid = new QRadioButton(QStringLiteral("Solid background"), this);
    Tag(solid, M::RadioSolid);
    background_->addButton(checkered, 0);
    background_->addButton(solid, 1);
    colour_ = new QPushButton(this);
    Tag(colour_, M::ButtonColour);
    colour_->setFixedSize(48, colour_->sizeHint().height());
    connect(colour_, &QPushButton::clicked, this, &CDlgPreferences::ChooseColour);
    connect(background_, &QButtonGroup::idToggled, this, [this] { UpdateShown(); });
    auto* backgroundRow = new QHBoxLayout;
    backgroundRow->addWidget(checkered);
    backgroundRow->addSpacing(12);
    backgroundRow->addWidget(solid);
    backgroundRow->addWidget(colour_);
    backgroundRow->addStretch(1);
    canvas->addRow(backgroundRow);
    marginH_ = digits(M::EditMarginH, 3);
    marginV_ = digits(M::EditMarginV, 3);
    canvas->addRow(Label(QStringLiteral("Horizontal safety margin (%)"), M::EditMarginH), marginH_);
    canvas->addRow(Label(QStringLiteral("Vertical safety margin (%)"), M::EditMarginV), marginV_);

    // The switcher.
    QGroupBox* switcherBox = group(QStringLiteral("Switcher"), GroupSwitcher);
    auto* switcher = new QHBoxLayout(switcherBox);
    useRemote_ = check(QStringLiteral("Switcher remote control IP address"), M::CheckUseRemote);
    remoteAddress_ = new CSafeLineEdit(QStringLiteral("0123456789."), this);
    Tag(remoteAddress_, M::EditRemoteIP);
    remoteAddress_->setMaxLength(15);
    remoteAddress_->setFixedWidth(remoteAddress_->fontMetrics().horizontalAdvance(QStringLiteral("000.000.000.0000")));
    switcher->addWidget(useRemote_);
    switcher->addWidget(remoteAddress_);
    switcher->addStretch(1);
    connect(useRemote_, &QCheckBox::toggled, this, [this] { UpdateShown(); });
    outputRows_.push_back(switcherBox);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("ctl_1"));
    buttons->button(QDialogButtonBox::Ok)->setProperty(TranslateWidgets::ControlIdProperty, 1u);
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("ctl_2"));
    buttons->button(QDialogButtonBox::Cancel)->setProperty(TranslateWidgets::ControlIdProperty, 2u);
    connect(buttons, &QDialogButtonBox::accepted, this, &CDlgPreferences::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CDlgPreferences::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(outputBox);
    layout->addWidget(pagesBox);
    layout->addWidget(canvasBox);
    layout->addWidget(switcherBox);
    layout->addStretch(1);
    layout->addWidget(buttons);

    // In an editor instance the pages folder is the main instance's too.
    if (!model_.OutputRowsShown()) {
        rootFolderLabel_->hide();
        folderRow->hide();
    }
}

void CDlgPreferences::ToControls() {
    loading_ = true;
    mode_->setCurrentIndex(VideoModes::ListPosition(model_.Mode));
    display_->setCurrentIndex(model_.DisplayIndex);
    fullRange_->setChecked(model_.FullHdmiRange);
    alternativeSync_->setChecked(model_.AlternativeSync);
    auto_->setChecked(model_.Auto);
    noRestore_->setChecked(model_.NoRestoreDisplays);
    rootFolder_->setText(model_.RootFolder);
    treeAction_->setCurrentIndex(model_.DefaultTreeAction);
    largeToolbar_->setChecked(model_.LargeToolbar);
    snap_->setChecked(model_.SnapToGrid);
    gridStep_->setText(model_.GridStep);
    background_->button(model_.Background)->setChecked(true);
    marginH_->setText(model_.MarginH);
    marginV_->setText(model_.MarginV);
    useRemote_->setChecked(model_.UseRemote);
    remoteAddress_->setText(model_.RemoteAddress);
    ShowColour();
    loading_ = false;
    UpdateShown();
}

void CDlgPreferences::FromControls() {
    model_.ChooseMode(VideoModes::IndexFromListPosition(mode_->currentIndex()));
    if (model_.DisplayRowShown()) model_.DisplayIndex = std::max(0, display_->currentIndex());
    model_.FullHdmiRange = fullRange_->isChecked();
    model_.AlternativeSync = alternativeSync_->isChecked();
    model_.Auto = auto_->isChecked();
    model_.NoRestoreDisplays = noRestore_->isChecked();
    model_.DefaultTreeAction = std::max(0, treeAction_->currentIndex());
    model_.LargeToolbar = largeToolbar_->isChecked();
    model_.SnapToGrid = snap_->isChecked();
    model_.GridStep = gridStep_->text();
    model_.Background = background_->checkedId() == 1 ? 1 : 0;
    model_.MarginH = marginH_->text();
    model_.MarginV = marginV_->text();
    model_.UseRemote = useRemote_->isChecked();
    model_.RemoteAddress = remoteAddress_->text();
}

void CDlgPreferences::UpdateShown() {
    if (loading_) return;
    const bool main = model_.OutputRowsShown();
    const bool allowed = model_.ModeChangeAllowed();
    for (QWidget* row : outputRows_) row->setVisible(main);
    mode_->setEnabled(allowed);
    fullRange_->setEnabled(allowed);
    alternativeSync_->setEnabled(allowed);
    displayLabel_->setVisible(model_.DisplayRowShown());
    display_->setVisible(model_.DisplayRowShown());
    modeNote_->setVisible(model_.ModeNoteShown());
    const bool snapping = snap_->isChecked();
    gridStep_->setVisible(snapping);
    gridStepLabel_->setVisible(snapping);
    colour_->setVisible(background_->checkedId() == 1);
    remoteAddress_->setVisible(useRemote_->isChecked());
}

void CDlgPreferences::ShowColour() {
    QPixmap swatch(colour_->width() - 16, qMax(8, colour_->height() - 14));
    swatch.fill(PropertyColours::ToQColor(model_.BackgroundColor));
    colour_->setIcon(swatch);
    colour_->setIconSize(swatch.size());
}

void CDlgPreferences::ChooseFolder() {
    if (!chooseFolder) return;
    const QString chosen = chooseFolder(model_.RootFolder, this);
    if (chosen.isEmpty()) return;
    model_.ChooseRootFolder(chosen);
    rootFolder_->setText(model_.RootFolder);
}

void CDlgPreferences::ChooseColour() {
    if (!chooseColour) return;
    const std::optional<QColor> chosen = chooseColour(PropertyColours::ToQColor(model_.BackgroundColor), this);
    if (!chosen) return;
    model_.BackgroundColor = PropertyColours::FromQColor(*chosen);
    ShowColour();
}

void CDlgPreferences::accept() {
    FromControls();
    model_.Ok();
    QDialog::accept();
}
