#include "ui/PagesBrowserView.h"

#include "base/Debug.h"
#include "base/Translate.h"
#include "ui/TranslateWidgets.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QProcess>

// ---------------------------------------------------------------- the tree's rows

CPagesTreeModel::CPagesTreeModel(CPagesBrowserModel& browser) : browser_(browser) {}

const CPagesBrowserNode* CPagesTreeModel::Node(const QModelIndex& index) const {
    return index.isValid() ? static_cast<const CPagesBrowserNode*>(index.internalPointer()) : &browser_.Root();
}

QModelIndex CPagesTreeModel::IndexOf(const CPagesBrowserNode* node) const {
    if (!node || node == &browser_.Root() || !node->parent) return {};
    return createIndex(node->Row(), 0, const_cast<CPagesBrowserNode*>(node));
}

QModelIndex CPagesTreeModel::index(int row, int column, const QModelIndex& parent) const {
    const CPagesBrowserNode* node = Node(parent);
    if (column != 0 || row < 0 || !node->filled || row >= int(node->children.size())) return {};
    return createIndex(row, 0, node->children[size_t(row)].get());
}

QModelIndex CPagesTreeModel::parent(const QModelIndex& child) const {
    return child.isValid() ? IndexOf(Node(child)->parent) : QModelIndex();
}

int CPagesTreeModel::rowCount(const QModelIndex& parent) const {
    const CPagesBrowserNode* node = Node(parent);
    return node->filled ? int(node->children.size()) : 0;
}

int CPagesTreeModel::columnCount(const QModelIndex&) const { return 1; }

bool CPagesTreeModel::hasChildren(const QModelIndex& parent) const {
    const CPagesBrowserNode* node = Node(parent);
    // An unread folder may hold something: it gets its expander until it is read.
    return node->IsFolder() && (!node->filled || !node->children.empty());
}

bool CPagesTreeModel::canFetchMore(const QModelIndex& parent) const {
    const CPagesBrowserNode* node = Node(parent);
    return node->IsFolder() && !node->filled;
}

void CPagesTreeModel::fetchMore(const QModelIndex& parent) {
    const CPagesBrowserNode* node = Node(parent);
    if (node->filled) return;
    browser_.Fill(node);
    if (node->children.empty()) return;
    // The rows exist once filled; the view hears of them as an insertion.
    beginInsertRows(parent, 0, int(node->children.size()) - 1);
    endInsertRows();
}

QVariant CPagesTreeModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const CPagesBrowserNode* node = Node(index);
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole: return node->label;
    case Qt::ToolTipRole: return node->path;
    case Qt::DecorationRole: {
        static const QFileIconProvider icons;
        return node->IsFolder() ? icons.icon(QFileIconProvider::Folder) : icons.icon(QFileInfo(node->path));
    }
    default: return {};
    }
}

bool CPagesTreeModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !index.isValid()) return false;
    // The browser refuses clashes and impossible names with its message, keeping the old label.
    return browser_.Rename(Node(index), value.toString());
}

Qt::ItemFlags CPagesTreeModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

// ---------------------------------------------------------------- the pane

CFileTreeView::CFileTreeView(CPagesBrowserModel& browser, QWidget* parent)
    : QTreeView(parent), browser_(browser), model_(browser) {
    setObjectName(QStringLiteral("pagesBrowser"));
    setModel(&model_);
    setHeaderHidden(true);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    // Renaming starts from the menu, F2 or a slow second click, never from a double click.
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);

    browser_.BeginReset = [this] {
        restoring_ = true;
        model_.BeginReset();
    };
    browser_.EndReset = [this] {
        model_.EndReset();
        RestoreView();
        // The browser selects the remembered item once its refresh is over.
        QTimer::singleShot(0, this, [this] { ShowSelection(); });
    };
    browser_.LabelChanged = [this](const CPagesBrowserNode* node) {
        const QModelIndex at = model_.IndexOf(node);
        emit model_.dataChanged(at, at);
    };
    connect(this, &QTreeView::expanded, this, [this](const QModelIndex& index) {
        if (!restoring_) browser_.SetExpanded(model_.Node(index), true);
    });
    connect(this, &QTreeView::collapsed, this, [this](const QModelIndex& index) {
        if (!restoring_) browser_.SetExpanded(model_.Node(index), false);
    });
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
        if (!restoring_) browser_.Select(current.isValid() ? model_.Node(current) : nullptr);
    });
    connect(this, &QTreeView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid()) Carry(browser_.DoubleClick(model_.Node(index)));
    });
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { browser_.NotifyChanged(); });
    // Changes are taken at the next tick when the window is free, so a refresh never
    // pulls the tree away under a dialog or a drag.
    check_.setInterval(200);
    connect(&check_, &QTimer::timeout, this, [this] {
        const bool busy = QApplication::activeModalWidget() != nullptr || QApplication::mouseButtons() != Qt::NoButton;
        if (browser_.Check(busy)) Watch();
    });
    check_.start();
    browser_.Refresh();
    Watch();
}

void CFileTreeView::RestoreView() {
    // The view collapsed everything with the reset: open again what the browser
    // kept open.
    restoring_ = true;
    std::function<void(const CPagesBrowserNode&)> open = [&](const CPagesBrowserNode& node) {
        for (const auto& child : node.children) {
            if (!child->IsFolder() || !child->expanded) continue;
            setExpanded(model_.IndexOf(child.get()), true);
            open(*child);
        }
    };
    open(browser_.Root());
    restoring_ = false;
}

void CFileTreeView::SelectNode(const CPagesBrowserNode* node) {
    const QModelIndex at = model_.IndexOf(node);
    if (!at.isValid()) return;
    setCurrentIndex(at);
    scrollTo(at);
}

void CFileTreeView::Watch() {
    if (!watcher_.directories().isEmpty()) watcher_.removePaths(watcher_.directories());
    const QStringList folders = browser_.WatchedFolders();
    if (!folders.isEmpty()) watcher_.addPaths(folders);
}

void CFileTreeView::ShowSelection() {
    restoring_ = true;
    if (const CPagesBrowserNode* selected = browser_.Selected()) SelectNode(selected);
    restoring_ = false;
}

void CFileTreeView::Carry(const PagesAction& action) {
    if (action.startRename) {
        if (const QModelIndex at = model_.IndexOf(browser_.Selected()); at.isValid()) edit(at);
        return;
    }
    if (action.launch) {
        const bool started = launch ? launch(action.editor)
                                    : QProcess::startDetached(action.editor.program, action.editor.arguments);
        if (!started)
            CDebug::Log(1, "CFileTreeView: could not start %s", qUtf8Printable(action.editor.program));
    }
    if (action.openScriptEditor && openScriptEditor) openScriptEditor();
}

void CFileTreeView::RunCommand(int command) { Carry(browser_.Execute(command)); }

std::unique_ptr<QMenu> CFileTreeView::MakeContextMenu(const CPagesBrowserNode* node) {
    const PagesMenu spec = browser_.ContextMenu(node);
    if (spec.menuId == 0) return nullptr;
    auto menu = std::make_unique<QMenu>(this);
    menu->setProperty("menuId", spec.menuId);
    for (const PagesMenu::Item& item : spec.items) {
        QAction* action = menu->addAction(item.text);
        action->setProperty(TranslateWidgets::CommandIdProperty, unsigned(item.command));
        const int command = item.command;
        connect(action, &QAction::triggered, this, [this, command] { RunCommand(command); });
        if (item.command == spec.defaultCommand) {
            QFont bold = action->font();
            bold.setBold(true);
            action->setFont(bold);
            menu->setDefaultAction(action);
        }
    }
    CTranslate::Global().PopupCounter = 0;
    TranslateWidgets::TranslateMenu(unsigned(spec.menuId), menu.get());
    return menu;
}

void CFileTreeView::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
    // The item under the cursor is selected first.
    const QModelIndex at = event->reason() == QContextMenuEvent::Mouse ? indexAt(event->pos()) : currentIndex();
    if (!at.isValid()) return;
    if (at != currentIndex()) setCurrentIndex(at);
    std::unique_ptr<QMenu> menu = MakeContextMenu(model_.Node(at));
    if (!menu) return;
    const QPoint global =
        event->reason() == QContextMenuEvent::Mouse ? event->globalPos() : viewport()->mapToGlobal(visualRect(at).center());
    if (showMenu) showMenu(*menu, global);
    else menu->exec(global);
}

void CFileTreeView::keyPressEvent(QKeyEvent* event) {
    // Enter does what the double click does.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && state() != EditingState &&
        currentIndex().isValid()) {
        event->accept();
        Carry(browser_.DoubleClick(model_.Node(currentIndex())));
        return;
    }
    QTreeView::keyPressEvent(event);
}
