// The progress window of long imports: "Please wait..." with one progress bar. It
// is modeless for the import's loop, which keeps running on the user-interface
// thread, while the main window takes no input; closing it, its Cancel button or
// Esc cancel the import at the loop's next check.
//
// Threads: the user-interface thread.
#pragma once

#include <QDialog>

class QProgressBar;

class CDlgProgress : public QDialog {
    Q_OBJECT
public:
    static constexpr unsigned DialogId = 305;
    static constexpr int ControlProgress = 1000;

    CDlgProgress(int range, QWidget* parent);

    void SetPosition(int position);
    int Position() const;
    int Range() const;
    // The operator asked to stop (pending events are handled first).
    bool Cancelled();

    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QProgressBar* bar_ = nullptr;
    bool cancelled_ = false;
};
