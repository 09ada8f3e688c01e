#include "ui/SafeLineEdit.h"

#include "app/SafeEdit.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QValidator>

namespace {

class CSafeValidator : public QValidator {
public:
    CSafeValidator(QString set, QObject* parent) : QValidator(parent), set_(std::move(set)) {}
    State validate(QString& input, int&) const override {
        for (const QChar c : input)
            if (!SafeEdit::Takes(c, set_)) return Invalid;
        return Acceptable;
    }

private:
    QString set_;
};

}  // namespace

CSafeLineEdit::CSafeLineEdit(const QString& set, QWidget* parent) : QLineEdit(parent), set_(set) {
    setValidator(new CSafeValidator(set, this));
}

void CSafeLineEdit::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Paste)) {
        insert(SafeEdit::Paste(QApplication::clipboard()->text().toLocal8Bit(), set_));
        return;
    }
    QLineEdit::keyPressEvent(event);
}
