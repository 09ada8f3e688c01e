// The editor's main window: title, menus and toolbar with the document's commands,
// the application hotkeys, the status bar, the window layout kept in the settings,
// and the question about unsaved changes when it closes. It hosts the document
// (IDocumentHost) and the editor view in its middle.
//
// Threads: the user-interface thread.
#pragma once

#include "app/MainDoc.h"
#include "base/Settings.h"
#include "remote/RemoteButtons.h"

#include <QMainWindow>
#include <functional>
#include <map>
#include <memory>

class CMainView;
class QAction;
class QLabel;
class QMenu;
class QToolBar;

class CMainFrame : public QMainWindow, public IDocumentHost {
    Q_OBJECT
public:
    // Makes the document (video mode from the settings), reads its automation
    // schedule, builds the window from the layout keys of the instance's section and
    // the view. Not shown yet: ShowAsStored does that.
    // switcherTiming: the switcher client's port and waits (tests shorten them).
    CMainFrame(InstanceKind kind, CSettingsStore& settings, QWidget* parent = nullptr,
               RemoteButtons::Timing switcherTiming = {});
    ~CMainFrame() override;

    // Shows the window, maximized when "Maximize" says so.
    void ShowAsStored();

    CMainDoc& Document() { return *doc_; }
    CMainView& View() { return *view_; }
    InstanceKind Kind() const { return kind_; }

    // The action of a command id (menus, toolbar, hotkeys), or null.
    QAction* Action(unsigned commandId) const;
    // Runs a command as its menu item or key would.
    void OnCommand(unsigned commandId);

    // The status bar's panes as shown.
    QString ScriptStatusText() const;
    QString ApplicationStateText() const;
    int ApplicationState() const { return appState_; }

    // Where Save As and the save on close ask for a file name; tests answer
    // without a dialog. Empty means cancelled.
    std::function<QString()> ChooseSavePath;
    std::function<QString()> ChooseOpenPath;
    std::function<QString()> ChooseScriptPath;

    // The main menu as built (its submenus in order), for the translation test.
    QMenu* MainMenu() const { return mainMenu_; }

    // IDocumentHost.
    void UpdateViews(int kind) override;
    void SelectionChanged(CFrame* object) override;
    const CPicture* CanvasPicture() override;
    // Every view of the document: the title, the canvas (the rectangle that changed,
    // or all), the status bar and the commands' states.
    void UpdateAllViews(int kind, const CRect* rect);
    PlacementRule Placement(int pageWidth, int pageHeight) const override;
    QString ChooseImportFile(const QString& filter) override;
    bool ModalDialogOpen() override;
    void ScriptStatus(int state, const QString& name, int step, int count) override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildMenus();
    void BuildToolBar();
    void BuildStatusBar();
    void BuildHotkeys();
    QAction* MakeAction(unsigned commandId, const QString& text, bool checkable = false);
    void UpdateCommandStates();
    void UpdateTitle();
    void SetApplicationState(int state);
    void RestoreLayout();
    void SaveLayout();
    // The file name for Save As (".corvane" added when missing); empty: cancelled.
    QString AskSavePath();
    bool SaveAs();
    void SelectLanguage(int index);

    const InstanceKind kind_;
    CSettingsStore& settings_;
    std::unique_ptr<CMainDoc> doc_;
    CMainView* view_ = nullptr;
    QMenu* mainMenu_ = nullptr;
    QToolBar* toolBar_ = nullptr;
    std::map<unsigned, QAction*> actions_;   // menu and toolbar commands (rebuilt with the menus)
    std::map<unsigned, QAction*> hotkeys_;   // the twenty application hotkeys
    QLabel* scriptIcon_ = nullptr;
    QLabel* scriptText_ = nullptr;
    QLabel* objectText_ = nullptr;
    QLabel* stateIcon_ = nullptr;
    int scriptState_ = -1;
    QString scriptName_;
    int scriptStep_ = 0, scriptCount_ = 0;
    int appState_ = -1;
    bool maximize_ = true;
};
