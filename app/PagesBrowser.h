// The pages browser without its widget: the folder tree below the pages folder
// with the page and script files in it, labels, filter, order and the hidden-entry
// rule; renaming in place; the context menus; and the commands a file gets, carried
// out on the document. The tree widget shows the items (a QAbstractItemModel over
// the nodes below), forwards its events and starts the editor instance the model
// describes; it holds no rule of its own.
//
// Threads: the user-interface thread.
#pragma once

#include "app/MainDoc.h"
#include "app/Thumbnails.h"
#include "base/Settings.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

// The commands of the pages browser.
namespace PagesCommand {
constexpr int Load = 32842;         // load the page file as the current page
constexpr int Add = 32843;          // add its objects to the current page
constexpr int Edit = 32844;         // a page in an editor instance; a script in the script editor
constexpr int Rename = 32853;       // rename the selected item in place
constexpr int LoadAndPlay = 32855;  // load and play a page; load and start a script
constexpr int AddAndPlay = 32856;   // add a page's objects and play them
}  // namespace PagesCommand

// How to start an editor instance on a page file; the widget hands it to QProcess.
struct EditorLaunch {
    QString program;
    QStringList arguments;
};

// One item of the tree. Nodes live until the next refresh; a widget that keeps
// pointers to them resets its model around Refresh().
struct CPagesBrowserNode {
    static constexpr int KindFile = 5;
    static constexpr int KindFolder = 6;

    QString path;         // full path
    QString displayName;  // the file or folder name with its extension
    QString label;        // what the tree shows: a file's name without its extension
    int kind = KindFolder;
    bool hidesExtension = false;  // the label leaves out the extension
    bool filled = false;          // a folder's children were read
    bool expanded = false;
    CPagesBrowserNode* parent = nullptr;
    std::vector<std::unique_ptr<CPagesBrowserNode>> children;

    bool IsFolder() const { return kind == KindFolder; }
    bool IsScript() const;
    int Row() const;  // among its parent's children
};

// A context menu: its id (205 for a page, 206 for a script, 0 for none), the
// commands with their built-in texts in order, and the default item.
struct PagesMenu {
    struct Item {
        int command;
        QString text;
    };
    int menuId = 0;
    std::vector<Item> items;
    int defaultCommand = 0;
};

// What a command did.
struct PagesAction {
    int command = 0;                  // the command carried out, 0 for none
    bool done = false;                // the document took the file (read, loaded, started)
    bool openScriptEditor = false;    // Edit of a script with at least one item: open the script editor
    bool startRename = false;         // Rename: open the label editor on the selected item
    bool launch = false;              // Edit of a page: start editor (below)
    EditorLaunch editor;
};

class CPagesBrowserModel {
public:
    static constexpr const char* DefaultFilter = "*.corvane;*.script";
    static constexpr int PageMenu = 205;
    static constexpr int ScriptMenu = 206;

    // The document receives the commands; the store gives the pages folder and the
    // default action; previews (may be null) shows the preview of the selected page;
    // program is the application to start editor instances of.
    CPagesBrowserModel(CMainDoc& document, CSettingsStore& store, CThumbnailsModel* previews, QString program);
    CPagesBrowserModel(const CPagesBrowserModel&) = delete;
    CPagesBrowserModel& operator=(const CPagesBrowserModel&) = delete;

    // Around every change of the tree's structure (refresh, folder filling), so the
    // widget can reset or insert rows; and a label that changed (rename).
    std::function<void()> BeginReset;
    std::function<void()> EndReset;
    std::function<void(const CPagesBrowserNode*)> LabelChanged;

    // The root folder (a trailing separator removed) and the filter; both refresh.
    void SetRootFolder(const QString& folder);
    const QString& RootFolder() const { return root_; }
    // The pages folder of the settings again (after the preferences were saved).
    void ReloadSettings();
    void SetFilter(const QString& text);
    const QStringList& Filter() const { return filter_; }
    // Filter text split at "," and ";", pieces trimmed, empty ones dropped.
    static QStringList SplitFilter(const QString& text);

    // The tree. The root node stands for the root folder itself and is not shown.
    const CPagesBrowserNode& Root() const { return *root_node_; }
    // Reads a folder's entries the first time it is shown or expanded.
    void Fill(const CPagesBrowserNode* folder);
    void SetExpanded(const CPagesBrowserNode* folder, bool expanded);
    // The node of a path (folders on the way are filled), or null.
    const CPagesBrowserNode* Find(const QString& path);

    // Reads the tree again, keeping the selection (and the folders that were open)
    // where they still exist.
    void Refresh();
    // Something below the root changed (the widget's watcher): the tree is read again
    // at the next Check.
    void NotifyChanged() { changePending_ = true; }
    // The 200 ms tick: refreshes when a change was reported and the window is free
    // (no dialog open, no mouse button pressed). True when it refreshed: the widget
    // then watches WatchedFolders() anew.
    bool Check(bool windowBusy);
    // The folders the widget's watcher is to watch: the root and every folder below
    // it that the tree would show (none when the root does not exist).
    QStringList WatchedFolders() const;

    // Selection. A page file's stored preview is shown (none for scripts, folders and
    // missing files, and none during a refresh).
    void Select(const CPagesBrowserNode* node);
    const CPagesBrowserNode* Selected() const { return selected_; }
    // The path and kind of the file the commands act on.
    const QString& SelectedPath() const { return selectedPath_; }
    bool SelectedIsScript() const { return selectedIsScript_; }

    // A double click: a file without children gets its default action (a script is
    // loaded and started; a page gets the command of "DefaultTreeAction").
    PagesAction DoubleClick(const CPagesBrowserNode* node);
    // The default command of a page (32842, 32843, 32855, 32856, 32844; 0 none).
    int DefaultPageCommand() const;
    // A right click: the item is selected; a file gets its menu, a folder none.
    PagesMenu ContextMenu(const CPagesBrowserNode* node);
    // A command on the selected file (from the menu or the double click).
    PagesAction Execute(int command);
    // The editor instance for a page file: the program with "/edit" and the path.
    EditorLaunch EditorCommand(const QString& pageFile) const;

    // Renames an item in place to a new label (a file keeps its hidden extension).
    // An empty or unchanged label is a cancellation. A clash with an existing name or
    // a name that cannot be a file name is refused with a message; so is a failure
    // of the file system. True when the item was renamed.
    bool Rename(const CPagesBrowserNode* node, const QString& label);

private:
    CPagesBrowserNode* Mutable(const CPagesBrowserNode* node) const { return const_cast<CPagesBrowserNode*>(node); }
    void FillNode(CPagesBrowserNode* folder);
    CPagesBrowserNode* FindNode(const QString& path);
    void ChoosePath(const CPagesBrowserNode* node);
    void CollectExpanded(const CPagesBrowserNode* node, QStringList& out) const;

    CMainDoc& document_;
    CSettingsStore& store_;
    CThumbnailsModel* previews_;
    QString program_;

    QString root_;
    QStringList filter_;
    std::unique_ptr<CPagesBrowserNode> root_node_;
    const CPagesBrowserNode* selected_ = nullptr;
    QString selectedPath_;
    bool selectedIsScript_ = false;
    bool ready_ = true;  // cleared while the tree is read again
    bool changePending_ = false;
};
