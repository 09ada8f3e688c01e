// Shows the application's messages as Qt message boxes.
//
// Threads: the user-interface thread.
#pragma once

#include "base/Translate.h"

class QWidget;

class CMessageBoxPresenter : public IMessagePresenter {
public:
    // parent: the window the boxes are modal to (may be null).
    explicit CMessageBoxPresenter(QWidget* parent = nullptr) : parent_(parent) {}

    int Show(const QString& text, unsigned flags) override;

private:
    QWidget* parent_;
};
