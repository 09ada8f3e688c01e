#include "ui/ParagraphDialog.h"

#include "base/Translate.h"
#include "ui/TranslateWidgets.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {

constexpr unsigned PixelsRefusal = 12706;

void Tag(QWidget* widget, int id) {
    widget->setObjectName(QStringLiteral("ctl_%1").arg(id));
    widget->setProperty(TranslateWidgets::ControlIdProperty, unsigned(id));
}

QLabel* Label(const QString& text, int id, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    Tag(label, id);
    label->setBuddy(buddy);
    return label;
}

}  // namespace

CDlgParaFmt::CDlgParaFmt(double twipsPerPixelX, double twipsPerPixelY, IMessagePresenter* presenter, QWidget* parent)
    : QDialog(parent), model_(twipsPerPixelX, twipsPerPixelY), presenter_(presenter) {
    setWindowTitle(QStringLiteral("Paragraph formatting"));

    auto* general = new QFormLayout;
    alignment_ = new QComboBox(this);
    Tag(alignment_, ListAlignment);
    alignment_->addItems(CParagraphDialogModel::AlignmentChoices());
    general->addRow(Label(QStringLiteral("&Alignment:"), ListAlignment + LabelOffset, alignment_, this), alignment_);
    lineSpacing_ = new QComboBox(this);
    Tag(lineSpacing_, ListLineSpacing);
    lineSpacing_->addItems(CParagraphDialogModel::LineSpacingChoices());
    general->addRow(Label(QStringLiteral("Line &spacing:"), ListLineSpacing + LabelOffset, lineSpacing_, this),
                    lineSpacing_);

    auto* indents = new QGroupBox(QStringLiteral("Indents (pixels)"), this);
    Tag(indents, GroupIndents);
    auto* indentForm = new QFormLayout(indents);
    firstLine_ = AddEdit(indentForm, CParagraphDialogModel::EditFirstLine, QStringLiteral("&First line:"));
    left_ = AddEdit(indentForm, CParagraphDialogModel::EditLeft, QStringLiteral("&Left:"));
    right_ = AddEdit(indentForm, CParagraphDialogModel::EditRight, QStringLiteral("&Right:"));

    auto* spacing = new QGroupBox(QStringLiteral("Spacing (pixels)"), this);
    Tag(spacing, GroupSpacing);
    auto* spacingForm = new QFormLayout(spacing);
    top_ = AddEdit(spacingForm, CParagraphDialogModel::EditTop, QStringLiteral("&Top:"));
    bottom_ = AddEdit(spacingForm, CParagraphDialogModel::EditBottom, QStringLiteral("&Bottom:"));

    auto* groups = new QHBoxLayout;
    groups->addWidget(indents);
    groups->addWidget(spacing);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CDlgParaFmt::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CDlgParaFmt::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(general);
    layout->addLayout(groups);
    layout->addWidget(buttons);
    TranslateWidgets::TranslateWindow(DialogId, this);
    Fill(CParagraphFormat());  // nothing known until the caller fills it
}

QLineEdit* CDlgParaFmt::AddEdit(QFormLayout* layout, int id, const QString& label) {
    auto* edit = new QLineEdit(this);
    Tag(edit, id);
    layout->addRow(Label(label, id + LabelOffset, edit, this), edit);
    return edit;
}

void CDlgParaFmt::Fill(const CParagraphFormat& current) {
    current_ = current;
    result_.reset();
    model_.Fill(current);
    alignment_->setCurrentIndex(model_.Alignment);
    lineSpacing_->setCurrentIndex(model_.LineSpacing);
    firstLine_->setText(model_.FirstLine);
    left_->setText(model_.Left);
    right_->setText(model_.Right);
    top_->setText(model_.Top);
    bottom_->setText(model_.Bottom);
}

void CDlgParaFmt::accept() {
    model_.Alignment = alignment_->currentIndex();
    model_.LineSpacing = lineSpacing_->currentIndex();
    model_.FirstLine = firstLine_->text();
    model_.Left = left_->text();
    model_.Right = right_->text();
    model_.Top = top_->text();
    model_.Bottom = bottom_->text();
    const CParagraphDialogModel::Result result = model_.Ok(current_);
    if (result.invalidControl == 0) {
        result_ = result.format;
        QDialog::accept();
        return;
    }
    // The dialog stays open on the field it refused.
    auto* field = findChild<QLineEdit*>(QStringLiteral("ctl_%1").arg(result.invalidControl));
    auto* label = findChild<QLabel*>(QStringLiteral("ctl_%1").arg(result.invalidControl + LabelOffset));
    if (field) {
        field->setFocus();
        field->selectAll();
    }
    QString name = label ? label->text() : QString();
    name.remove(u'&');
    if (name.endsWith(u':')) name.chop(1);
    const QString message = CTranslate::Global().FormatText(PixelsRefusal, {name});
    if (presenter_) presenter_->Show(message, MbOk | MbIconWarning);
    else CTranslate::Global().MessageBox(message, MbOk | MbIconWarning);
}
