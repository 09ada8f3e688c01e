// The "Paragraph formatting" dialog (dialog 303): alignment, line spacing, indents
// and spacing in pixels, laid out from CParagraphDialogModel's fields. It takes the
// selection's format and hands back the format to set; it knows no editor, so the
// caller reads the selection's format before and sets the result after. An empty
// field leaves its attribute as it is; a field that is not a whole number of
// pixels is reported and the dialog stays open on it. Controls are named
// "ctl_<id>" and carry their id for the translation.
//
// Threads: the user-interface thread.
#pragma once

#include "app/ObjectPropertiesDialog.h"

#include <QDialog>
#include <optional>

class IMessagePresenter;
class QComboBox;
class QLineEdit;

class CDlgParaFmt : public QDialog {
public:
    static constexpr unsigned DialogId = 303;
    enum Control : int {
        ListAlignment = 1001,
        ListLineSpacing = 1007,
        GroupIndents = 1240,
        GroupSpacing = 1241,
        // A control's label has the control's id plus this.
        LabelOffset = 1000,
    };

    // The editor's twips per pixel across and down; presenter: where a refused
    // field is reported, null for the installed one.
    CDlgParaFmt(double twipsPerPixelX, double twipsPerPixelY, IMessagePresenter* presenter = nullptr,
                QWidget* parent = nullptr);

    // The fields from the selection's format (mixed attributes show empty).
    void Fill(const CParagraphFormat& current);
    // After OK: the format to set (attributes without a value are left as they are);
    // nothing before OK or after Cancel.
    const std::optional<CParagraphFormat>& Format() const { return result_; }

    CParagraphDialogModel& Model() { return model_; }

    void accept() override;

private:
    QLineEdit* AddEdit(class QFormLayout* layout, int id, const QString& label);

    CParagraphDialogModel model_;
    IMessagePresenter* presenter_;
    CParagraphFormat current_;
    std::optional<CParagraphFormat> result_;
    QComboBox* alignment_ = nullptr;
    QComboBox* lineSpacing_ = nullptr;
    QLineEdit* firstLine_ = nullptr;
    QLineEdit* left_ = nullptr;
    QLineEdit* right_ = nullptr;
    QLineEdit* top_ = nullptr;
    QLineEdit* bottom_ = nullptr;
};
