// The editor's main window: title, menus and toolbar with the document's commands,
// the application hotkeys, the status bar, the window layout kept in the settings,
// and the question about unsaved changes when it closes. It hosts the document
// (IDocumentHost) and the editor view in its middle.
//
// Threads: the user-interface thread.
#pragma once

#include "app/MainDoc.h"
#include "app/Navigator.h"
#include "app/ObjectProperties.h"
#include "app/PagesBrowser.h"
#include "app/Thumbnails.h"
#include "base/Settings.h"
#include "remote/RemoteButtons.h"
#include "remote/XKController.h"

#include <QMainWindow>
#include <functional>
#include <map>
#include <memory>

class CDlgPlugin;
class CDlgProgress;
class CFileTreeView;
class CFormatBar;
class CMainView;
class CObjectsListView;
class CPreView;
class CPropertiesView;
class CThumbnailView;
class QDialog;
class QStackedWidget;
class QSplitter;
class QAction;
class QLabel;
class QMenu;
class QToolBar;

class CMainFrame : public QMainWindow, public IDocumentHost, public IPropertiesHost {
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
    // Where the property grid's source rows ask for a file; tests answer without a dialog.
    std::function<QString(const QString& filter)> ChooseSourceFile;
    // Where "Add picture/animation" asks for the file; tests answer without a dialog.
    std::function<QString()> ChooseImportPath;
    // Where the sport command asks for the plug-in's definition; and the keypad
    // transport its panel opens (the hidapi one unless a test gives another).
    std::function<QString()> ChoosePluginPath;
    std::function<std::unique_ptr<IXKTransport>()> MakeKeypadTransport;
    // The sport plug-in's panel while it is open.
    CDlgPlugin* PluginPanel() const { return pluginPanel_; }
    // Runs a modal dialog (the object properties, the paragraph format); tests
    // fill and accept it instead. Returns the dialog's result.
    std::function<int(QDialog& dialog)> RunDialog;
    // The colour dialog of the text and background colour commands, opened at the
    // selection's colour; an invalid colour means cancelled.
    std::function<QColor(const QColor&)> ChooseColour;
    // Shows a context menu at a screen position; tests look at it instead.
    std::function<void(QMenu& menu, QPoint global)> ShowMenu;

    // The context menu of the canvas (202, 203, 204) with its items' states,
    // translated with its own menu id. The caller owns it.
    std::unique_ptr<QMenu> MakeContextMenu(unsigned menuId);
    CFormatBar& FormatBar() const { return *formatBar_; }
    CPreView& PreviewPane() const { return *preview_; }
    CFileTreeView& PagesBrowser() const { return *browserView_; }
    CPagesBrowserModel& PagesBrowserModel() const { return *browser_; }
    CObjectsListView& Navigator() const { return *navigatorView_; }
    CThumbnailView& ThumbnailPane() const { return *thumbnailView_; }
    CPropertiesView& Properties() const { return *properties_; }
    bool NavigatorShown() const { return navigatorShown_; }

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
    void ProgressOpen(int range) override;
    void ProgressSet(int position) override;
    bool ProgressCancelled() override;
    void ProgressClose() override;
    // The import's progress window while one is open.
    CDlgProgress* Progress() const { return progress_.get(); }
    bool ModalDialogOpen() override;
    void ScriptStatus(int state, const QString& name, int step, int count) override;
    // IPropertiesHost.
    void UpdateViews(int kind, const CRect* rect) override { UpdateAllViews(kind, rect); }
    QString ChooseFile(const QString& filter) override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildMenus();
    void BuildToolBar();
    void BuildFormatBar();
    // The panes around the canvas: pages browser or navigator over the thumbnail on
    // the left, the preview above the canvas in the middle.
    void BuildPanes();
    void SwitchNavigatorPane();
    void ShowContextMenu(unsigned menuId, QPoint global);
    int Run(QDialog& dialog);
    void OpenObjectProperties();
    void OpenParagraphProperties();
    void LaunchPlugin();
    void OpenScriptEditor();
    void OpenAutomationEditor();
    void OpenPreferences();
    // The initial setup wizard (firstStart: from the first tick).
    void RunSetupWizard();
    // After the mode or the canvas keys changed: the canvas reads them again.
    void CanvasSettingsChanged();
    bool RemoteInUse() const;
    // The format commands on the in-place editor's selection; false when no
    // text is edited.
    bool FormatCommand(unsigned commandId);
    void UpdateFormatStates();
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
    CFormatBar* formatBar_ = nullptr;
    // The panes around the canvas and their models (the models outlive the panes:
    // the destructor takes the panes first).
    std::unique_ptr<CThumbnailsModel> thumbnails_;
    std::unique_ptr<CPagesBrowserModel> browser_;
    std::unique_ptr<CObjectNavigatorModel> navigator_;
    QSplitter* outer_ = nullptr;
    QSplitter* left_ = nullptr;
    QStackedWidget* leftTop_ = nullptr;
    CFileTreeView* browserView_ = nullptr;
    CObjectsListView* navigatorView_ = nullptr;
    CThumbnailView* thumbnailView_ = nullptr;
    QSplitter* middle_ = nullptr;
    CPreView* preview_ = nullptr;
    CPropertiesView* properties_ = nullptr;
    bool navigatorShown_ = false;
    std::unique_ptr<CDlgProgress> progress_;
    CDlgPlugin* pluginPanel_ = nullptr;  // the modal panel's, while it runs
    std::map<unsigned, QString> commandTexts_;  // each command's untranslated menu text
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
