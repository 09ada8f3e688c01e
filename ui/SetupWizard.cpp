#include "ui/SetupWizard.h"

#include "base/Translate.h"
#include "core/VideoModes.h"
#include "ui/TranslateWidgets.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>
#include <QWizardPage>

namespace {

QLabel* Paragraph(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    return label;
}

}  // namespace

CFirstSetupWizard::CFirstSetupWizard(CMainDoc& document, CSettingsStore& settings, InstanceKind kind,
                                     CSetupWizardModel::Hooks hooks, std::vector<OutputDisplayEntry> displays,
                                     QWidget* parent)
    : QWizard(parent),
      model_(document, settings, kind, displays.empty() ? OutputDisplayEntries() : std::move(displays),
             std::move(hooks)) {
    setWindowTitle(CTranslate::Global().LoadText(CSetupWizardModel::TitleId));
    setWizardStyle(QWizard::ClassicStyle);
    setOptions(QWizard::NoBackButtonOnStartPage | QWizard::NoDefaultButton);
    // No close button in the title bar: the wizard ends by Finish or Cancel.
    setWindowFlags((windowFlags() | Qt::CustomizeWindowHint) & ~Qt::WindowCloseButtonHint);
    setPage(ReadyPage, BuildReadyPage());
    setPage(DonePage, BuildDonePage());
    setStartId(ReadyPage);
    // Back from page 2 deletes the test output.
    connect(this, &QWizard::currentIdChanged, this, [this](int id) {
        if (id == ReadyPage && model_.CurrentPage() == 1) model_.Back();
    });
    setMinimumWidth(560);
}

CFirstSetupWizard::~CFirstSetupWizard() = default;

void CFirstSetupWizard::Tag(QWidget* widget, int id) {
    widget->setObjectName(QStringLiteral("ctl_%1").arg(id));
    widget->setProperty(TranslateWidgets::ControlIdProperty, unsigned(id));
}

QWizardPage* CFirstSetupWizard::BuildReadyPage() {
    using M = CSetupWizardModel;
    auto* page = new QWizardPage(this);
    page->setObjectName(QStringLiteral("page_%1").arg(M::ReadyPageId));
    auto* layout = new QVBoxLayout(page);
    QLabel* intro = Paragraph(QStringLiteral("Connect appropriate hardware to your PC HDMI output. If your PC has "
                                             "several video outputs, choose one from the 'HDMI connection' list. "
                                             "Select desired video mode and click <Next> to continue."),
                              page);
    intro->setTextFormat(Qt::PlainText);
    Tag(intro, M::StaticReadyText);
    layout->addWidget(intro);
    layout->addSpacing(8);

    auto* form = new QFormLayout;
    mode_ = new QComboBox(page);
    Tag(mode_, M::ListMode);
    for (int position = 0; position < VideoModes::Count; ++position)
        mode_->addItem(VideoModes::Name(VideoModes::IndexFromListPosition(position)));
    mode_->setCurrentIndex(VideoModes::ListPosition(model_.Mode));
    auto* modeLabel = new QLabel(QStringLiteral("Mode"), page);
    Tag(modeLabel, M::ListMode + CPreferencesModel::LabelOffset);
    form->addRow(modeLabel, mode_);
    display_ = new QComboBox(page);
    Tag(display_, M::ListDisplay);
    for (const OutputDisplayEntry& entry : model_.Displays()) display_->addItem(entry.text);
    display_->setCurrentIndex(model_.DisplayIndex);
    auto* displayLabel = new QLabel(QStringLiteral("HDMI connection"), page);
    Tag(displayLabel, M::ListDisplay + CPreferencesModel::LabelOffset);
    form->addRow(displayLabel, display_);
    layout->addLayout(form);
    layout->addSpacing(8);

    QLabel* hint = Paragraph(QStringLiteral("If the output display is not in the list, connect it, turn it on and "
                                            "make it part of the desktop (extended, not mirrored) in the system's "
                                            "display settings, then run this wizard again."),
                             page);
    Tag(hint, M::StaticDisplayHint);
    layout->addWidget(hint);
    layout->addStretch(1);
    TranslateWidgets::TranslateWindow(M::ReadyPageId, page);
    return page;
}

QWizardPage* CFirstSetupWizard::BuildDonePage() {
    using M = CSetupWizardModel;
    auto* page = new QWizardPage(this);
    page->setObjectName(QStringLiteral("page_%1").arg(M::DonePageId));
    page->setFinalPage(true);
    auto* layout = new QVBoxLayout(page);
    const auto paragraph = [&](const QString& text, int id) {
        QLabel* label = Paragraph(text, page);
        label->setTextFormat(Qt::PlainText);
        Tag(label, id);
        layout->addWidget(label);
        return label;
    };
    QLabel* done = paragraph(
        QStringLiteral("HDMI output was successfully activated!\nYou should now see the color bars displayed."),
        M::StaticDoneText);
    QFont bold = done->font();
    bold.setBold(true);
    done->setFont(bold);
    paragraph(QStringLiteral("The bars are white, yellow, cyan, green, magenta, red, blue and black, from left to "
                             "right. Below each bar are four stripes of its colour, the first fully transparent and "
                             "the other three faint, so three stripes should be visible."),
              M::StaticBarsText);
    paragraph(QStringLiteral("Seeing four or two stripes instead of three? Change RGB range mode to match your video "
                             "adapter settings:"),
              M::StaticRangeText);
    fullRange_ = new QCheckBox(QStringLiteral("HDMI output is full range RGB (0 - 255)"), page);
    Tag(fullRange_, M::CheckFullRange);
    fullRange_->setChecked(model_.FullHdmiRange);
    connect(fullRange_, &QCheckBox::toggled, this, [this](bool on) { model_.SetFullRange(on); });
    layout->addWidget(fullRange_);
    paragraph(QStringLiteral("If the bars' edges are cut off, the display enlarges the picture: turn overscan off in "
                             "the display's menu or in the video adapter's settings."),
              M::StaticOverscanText);
    paragraph(QStringLiteral("If you can see the picture clearly, click <Finish> to close this wizard. Or click "
                             "<Back> to try different video mode."),
              M::StaticFinishText);
    layout->addStretch(1);
    TranslateWidgets::TranslateWindow(M::DonePageId, page);
    return page;
}

bool CFirstSetupWizard::validateCurrentPage() {
    if (currentId() != ReadyPage) return true;
    model_.Mode = VideoModes::IndexFromListPosition(mode_->currentIndex());
    model_.DisplayIndex = std::max(0, display_->currentIndex());
    const bool running = model_.Next();
    if (running) fullRange_->setChecked(model_.FullHdmiRange);
    return running;
}

void CFirstSetupWizard::accept() {
    if (closing_) return;
    closing_ = true;
    model_.Finish();
    QWizard::accept();
}

void CFirstSetupWizard::reject() {
    if (closing_) return;
    closing_ = true;
    model_.Cancel();
    QWizard::reject();
}

void CFirstSetupWizard::closeEvent(QCloseEvent* event) {
    // Only Finish and Cancel end the wizard.
    if (!closing_) event->ignore();
}

void CFirstSetupWizard::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        event->accept();
        return;
    default:
        QWizard::keyPressEvent(event);
    }
}
