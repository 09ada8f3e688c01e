// The initial setup wizard (caption string 10652) over CSetupWizardModel: page 1
// (dialog 106) chooses the mode and the output display, Next starts the test
// output with the range pattern; page 2 (dialog 307) switches the running test's
// range, Back stops it. Finish stores the choice and switches the output on
// (through the model's hooks); Cancel at a first start says how to run the wizard
// later. The title bar's close and the Enter and Esc keys do nothing. Each control
// is named "ctl_<id>" and each page is translated by its dialog id as it is built.
//
// The main window renews the document first (CSetupWizardModel::RenewDocument)
// and opens the wizard only when that succeeded.
//
// Threads: the user-interface thread.
#pragma once

#include "app/SetupWizard.h"

#include <QWizard>

class QCheckBox;
class QComboBox;
class QLabel;

class CFirstSetupWizard : public QWizard {
public:
    enum PageId : int { ReadyPage = 0, DonePage = 1 };

    // hooks: what Finish does beyond the settings (the canvas's mode, the pages
    // pane, the output) and, for tests, the test output. displays: the output
    // display list; empty to enumerate the X server's displays now.
    CFirstSetupWizard(CMainDoc& document, CSettingsStore& settings, InstanceKind kind,
                      CSetupWizardModel::Hooks hooks = {}, std::vector<OutputDisplayEntry> displays = {},
                      QWidget* parent = nullptr);
    ~CFirstSetupWizard() override;

    CSetupWizardModel& Model() { return model_; }

    bool validateCurrentPage() override;
    void accept() override;
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QWizardPage* BuildReadyPage();
    QWizardPage* BuildDonePage();
    void Tag(QWidget* widget, int id);

    CSetupWizardModel model_;
    QComboBox* mode_ = nullptr;
    QComboBox* display_ = nullptr;
    QCheckBox* fullRange_ = nullptr;
    bool closing_ = false;
};
