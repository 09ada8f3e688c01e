#include "ui/ProgressDialog.h"

#include "ui/TranslateWidgets.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

CDlgProgress::CDlgProgress(int range, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("progressDialog"));
    setWindowTitle(QStringLiteral("Please wait..."));
    setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(this);
    bar_ = new QProgressBar(this);
    bar_->setObjectName(QStringLiteral("ctl_%1").arg(ControlProgress));
    bar_->setRange(0, std::max(range, 0));
    bar_->setValue(0);
    bar_->setMinimumWidth(320);
    layout->addWidget(bar_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &CDlgProgress::reject);
    layout->addWidget(buttons);
    TranslateWidgets::TranslateWindow(DialogId, this);
}

void CDlgProgress::SetPosition(int position) { bar_->setValue(std::clamp(position, 0, bar_->maximum())); }

int CDlgProgress::Position() const { return bar_->value(); }

int CDlgProgress::Range() const { return bar_->maximum(); }

bool CDlgProgress::Cancelled() {
    // The import's loop holds the thread: the window's close, its button and Esc
    // arrive as events handled here.
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return cancelled_;
}

void CDlgProgress::reject() {
    // Stays open until the import has stopped and closes it.
    cancelled_ = true;
}

void CDlgProgress::closeEvent(QCloseEvent* event) {
    cancelled_ = true;
    event->ignore();
}
