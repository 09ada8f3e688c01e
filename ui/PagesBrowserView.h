// The pages browser's pane: the pages folder as a tree of folders, page files and
// script files, over CPagesBrowserModel, which holds every rule (labels, order,
// filter, hidden entries, commands, renaming). This pane shows the nodes, fills a
// folder when it is first expanded, renames in place, shows the context menus,
// watches the folders through the toolkit's file watcher and starts editor
// instances.
//
// Threads: the user-interface thread.
#pragma once

#include "app/PagesBrowser.h"

#include <QAbstractItemModel>
#include <QFileSystemWatcher>
#include <QTimer>
#include <QTreeView>
#include <functional>

class QMenu;

// The tree's rows: each index points at its node; a refresh of the browser model
// resets this model around it.
class CPagesTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    explicit CPagesTreeModel(CPagesBrowserModel& browser);

    // Around the browser's refresh, which replaces every node.
    void BeginReset() { beginResetModel(); }
    void EndReset() { endResetModel(); }

    const CPagesBrowserNode* Node(const QModelIndex& index) const;
    QModelIndex IndexOf(const CPagesBrowserNode* node) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    CPagesBrowserModel& browser_;
};

class CFileTreeView : public QTreeView {
    Q_OBJECT
public:
    // The browser model outlives the view.
    explicit CFileTreeView(CPagesBrowserModel& browser, QWidget* parent = nullptr);

    CPagesTreeModel& TreeModel() { return model_; }
    // Selects a node and scrolls to it (for the refresh's reselection and tests).
    void SelectNode(const CPagesBrowserNode* node);
    // Runs a command as its menu item would (the model's action, then what the
    // widget has to do: rename, start an editor, open the script editor).
    void RunCommand(int command);
    // The context menu of a node, translated with its own id; null for a folder.
    std::unique_ptr<QMenu> MakeContextMenu(const CPagesBrowserNode* node);
    // The watcher's folders, as set at the last refresh.
    QStringList Watched() const { return watcher_.directories(); }

    // Starts an editor instance (tests record it); QProcess::startDetached otherwise.
    std::function<bool(const EditorLaunch&)> launch;
    // A script with items asked for the script editor.
    std::function<void()> openScriptEditor;
    // Shows a context menu at a screen position; tests look at it instead.
    std::function<void(QMenu& menu, QPoint global)> showMenu;

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Carry(const PagesAction& action);
    void RestoreView();
    void ShowSelection();
    void Watch();

    CPagesBrowserModel& browser_;
    CPagesTreeModel model_;
    QFileSystemWatcher watcher_;
    QTimer check_;
    bool restoring_ = false;  // set while the view takes the model's state after a refresh
};
