#include "ui/NavigatorView.h"

#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>

// ---------------------------------------------------------------- rows

CObjectsTableModel::CObjectsTableModel(CObjectNavigatorModel& navigator) : navigator_(navigator) {}

void CObjectsTableModel::Refresh(const CObjectNavigatorModel::Change& change) {
    if (change.countChanged) {
        beginResetModel();
        endResetModel();
        return;
    }
    if (change.headersChanged) emit headerDataChanged(Qt::Horizontal, 0, CObjectNavigatorModel::ColumnCount - 1);
    if (navigator_.Count() > 0)
        emit dataChanged(index(0, 0), index(navigator_.Count() - 1, CObjectNavigatorModel::ColumnCount - 1));
}

int CObjectsTableModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : navigator_.Count(); }

int CObjectsTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : CObjectNavigatorModel::ColumnCount;
}

QVariant CObjectsTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    if (role == Qt::DisplayRole) return navigator_.Text(index.row(), index.column());
    if (role == Qt::DecorationRole) {
        const int icon = navigator_.Icon(index.row(), index.column());
        return icon ? QVariant(IconFor(icon)) : QVariant();
    }
    return {};
}

QVariant CObjectsTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    return CObjectNavigatorModel::HeaderText(section);
}

QIcon CObjectsTableModel::IconFor(int icon) {
    constexpr int size = 16;
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    switch (icon) {
    case CObjectNavigatorModel::IconLocked: {
        const QColor ink = QGuiApplication::palette().color(QPalette::WindowText);
        painter.setPen(QPen(ink, 2));
        painter.drawArc(QRect(4, 1, 8, 9), 0, 180 * 16);
        painter.drawLine(4, 5, 4, 8);
        painter.drawLine(12, 5, 12, 8);
        painter.fillRect(QRect(2, 7, 12, 8), QColor(200, 160, 40));
        break;
    }
    case CObjectNavigatorModel::IconPlaying: {
        QPainterPath play;
        play.moveTo(3, 2);
        play.lineTo(14, 8);
        play.lineTo(3, 14);
        play.closeSubpath();
        painter.fillPath(play, QColor(0, 170, 0));
        break;
    }
    case CObjectNavigatorModel::IconPaused:
        painter.fillRect(QRect(3, 2, 4, 12), QColor(210, 170, 0));
        painter.fillRect(QRect(9, 2, 4, 12), QColor(210, 170, 0));
        break;
    default: break;
    }
    return QIcon(pixmap);
}

// ---------------------------------------------------------------- the pane

CObjectsListView::CObjectsListView(CObjectNavigatorModel& navigator, CSettingsStore& store, QWidget* parent)
    : QTreeView(parent), navigator_(navigator), store_(store), model_(navigator) {
    setObjectName(QStringLiteral("objectNavigator"));
    setModel(&model_);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (int column = 0; column < CObjectNavigatorModel::ColumnCount; ++column)
        setColumnWidth(column, CObjectNavigatorModel::ColumnWidth(store_, column));
    connect(header(), &QHeaderView::sectionResized, this, [this](int column, int, int width) {
        CObjectNavigatorModel::SaveColumnWidth(store_, column, width);
    });
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex& current) {
        if (!following_) navigator_.SelectRow(current.isValid() ? current.row() : -1);
    });
    connect(this, &QTreeView::doubleClicked, this, [this] {
        if (navigator_.DoubleClick() && playChanged) playChanged();
    });
    DocumentUpdated(0);
}

void CObjectsListView::DocumentUpdated(int kind) {
    const CObjectNavigatorModel::Change change = navigator_.Update(kind);
    following_ = true;
    model_.Refresh(change);
    following_ = false;
    ShowSelection();
}

void CObjectsListView::ShowSelection() {
    const int row = navigator_.SelectedRow();
    const QModelIndex current = currentIndex();
    if ((row < 0 && !current.isValid()) || (current.isValid() && current.row() == row)) return;
    following_ = true;
    if (row < 0) {
        selectionModel()->clear();
    } else {
        const QModelIndex at = model_.index(row, 0);
        selectionModel()->setCurrentIndex(at, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        scrollTo(at);
    }
    following_ = false;
}

void CObjectsListView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        event->accept();
        if (navigator_.Space() && playChanged) playChanged();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void CObjectsListView::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
    if (event->reason() == QContextMenuEvent::Mouse) {
        const QModelIndex at = indexAt(event->pos());
        if (at.isValid() && at != currentIndex()) setCurrentIndex(at);
    }
    const int menu = navigator_.ContextMenu();
    if (menu && contextMenu) contextMenu(menu, event->globalPos());
}
