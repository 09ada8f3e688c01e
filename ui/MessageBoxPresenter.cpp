#include "ui/MessageBoxPresenter.h"

#include <QMessageBox>

int CMessageBoxPresenter::Show(const QString& text, unsigned flags) {
    QMessageBox box(parent_);
    box.setWindowTitle(CTranslate::Global().LoadText(57344));
    box.setText(text);
    switch (flags & 0xF0) {
    case MbIconError: box.setIcon(QMessageBox::Critical); break;
    case MbIconQuestion: box.setIcon(QMessageBox::Question); break;
    case MbIconWarning: box.setIcon(QMessageBox::Warning); break;
    case MbIconInformation: box.setIcon(QMessageBox::Information); break;
    default: break;
    }
    switch (flags & 0x0F) {
    case MbOkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case MbYesNoCancel: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel); break;
    case MbYesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    default: box.setStandardButtons(QMessageBox::Ok); break;
    }
    switch (box.exec()) {
    case QMessageBox::Yes: return IdYes;
    case QMessageBox::No: return IdNo;
    case QMessageBox::Cancel: return IdCancel;
    default: return IdOk;
    }
}
