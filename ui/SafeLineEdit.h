// A line edit that takes only a set of characters (SafeEdit's rule: typing passes
// a character of the set, a paste keeps what comes before the first character
// outside it). It applies the rule and holds none of its own.
//
// Threads: the user-interface thread.
#pragma once

#include <QLineEdit>

class CSafeLineEdit : public QLineEdit {
public:
    // set: SafeEdit::Digits, SafeEdit::DigitsAndSeparators or the like.
    CSafeLineEdit(const QString& set, QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QString set_;
};
