// The object navigator's pane: the page's objects, bottom to top, with number,
// group, caption and their lock and play states, over CObjectNavigatorModel, which
// holds every rule (rows, selection both ways, double click, Space, context menu).
//
// Threads: the user-interface thread.
#pragma once

#include "app/Navigator.h"

#include <QAbstractTableModel>
#include <QTreeView>
#include <functional>

class CObjectsTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit CObjectsTableModel(CObjectNavigatorModel& navigator);
    // After the navigator's Update: the rows (their count, or all texts and icons).
    void Refresh(const CObjectNavigatorModel::Change& change);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The state icons, drawn (a desktop need not have an icon theme).
    static QIcon IconFor(int icon);

private:
    CObjectNavigatorModel& navigator_;
};

class CObjectsListView : public QTreeView {
    Q_OBJECT
public:
    // The store keeps the column widths; the navigator outlives the view.
    CObjectsListView(CObjectNavigatorModel& navigator, CSettingsStore& store, QWidget* parent = nullptr);

    // Every document update.
    void DocumentUpdated(int kind);

    // The object menu (203) to show at a screen position.
    std::function<void(int menu, QPoint global)> contextMenu;
    // A play state changed from the list (double click, Space).
    std::function<void()> playChanged;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void ShowSelection();

    CObjectNavigatorModel& navigator_;
    CSettingsStore& store_;
    CObjectsTableModel model_;
    bool following_ = false;  // set while the list shows the document's selection
};
