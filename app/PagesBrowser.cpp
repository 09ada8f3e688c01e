#include "app/PagesBrowser.h"

#include "base/Debug.h"
#include "base/Translate.h"
#include "script/FrameScript.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>

namespace {
const QLatin1String ScriptExtension(".script");

// Entries the tree never shows: dot files and folders (the hidden entries of this
// platform) and anything that is neither a folder nor a regular file.
bool Hidden(const QFileInfo& info) { return info.isHidden() || info.fileName().startsWith(QLatin1Char('.')); }

QFileInfoList Entries(const QString& folder) {
    return QDir(folder).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                                      QDir::NoSort);
}

bool LessByName(const std::unique_ptr<CPagesBrowserNode>& a, const std::unique_ptr<CPagesBrowserNode>& b) {
    return a->displayName.compare(b->displayName, Qt::CaseInsensitive) < 0;
}

bool MatchesPiece(const QString& name, const QString& piece) {
    const QRegularExpression pattern(
        QRegularExpression::wildcardToRegularExpression(piece, QRegularExpression::UnanchoredWildcardConversion),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpression anchored(QRegularExpression::anchoredPattern(pattern.pattern()), pattern.patternOptions());
    return anchored.match(name).hasMatch();
}

void RenameBelow(CPagesBrowserNode& node, const QString& oldPath, const QString& newPath) {
    for (auto& child : node.children) {
        child->path = newPath + child->path.mid(oldPath.size());
        RenameBelow(*child, oldPath, newPath);
    }
}

void WalkFolders(const QString& folder, QStringList& out) {
    out.push_back(folder);
    for (const QFileInfo& info : Entries(folder))
        if (info.isDir() && !info.isSymLink() && !Hidden(info)) WalkFolders(info.filePath(), out);
}
}  // namespace

bool CPagesBrowserNode::IsScript() const {
    return kind == KindFile && displayName.endsWith(ScriptExtension, Qt::CaseInsensitive);
}

int CPagesBrowserNode::Row() const {
    if (!parent) return 0;
    for (size_t i = 0; i < parent->children.size(); ++i)
        if (parent->children[i].get() == this) return int(i);
    return 0;
}

CPagesBrowserModel::CPagesBrowserModel(CMainDoc& document, CSettingsStore& store, CThumbnailsModel* previews,
                                       QString program)
    : document_(document), store_(store), previews_(previews), program_(std::move(program)),
      filter_(SplitFilter(QLatin1String(DefaultFilter))), root_node_(std::make_unique<CPagesBrowserNode>()) {
    SetRootFolder(PagesFolder(store_));
}

QStringList CPagesBrowserModel::SplitFilter(const QString& text) {
    QStringList pieces;
    for (const QString& piece : text.split(QRegularExpression(QStringLiteral("[,;]")))) {
        const QString trimmed = piece.trimmed();
        if (!trimmed.isEmpty()) pieces.push_back(trimmed);
    }
    return pieces;
}

void CPagesBrowserModel::SetRootFolder(const QString& folder) {
    root_ = folder;
    while (root_.size() > 1 && (root_.endsWith(QLatin1Char('/')) || root_.endsWith(QLatin1Char('\\')))) root_.chop(1);
    Refresh();
}

void CPagesBrowserModel::ReloadSettings() { SetRootFolder(PagesFolder(store_)); }

void CPagesBrowserModel::SetFilter(const QString& text) {
    filter_ = SplitFilter(text);
    Refresh();
}

void CPagesBrowserModel::FillNode(CPagesBrowserNode* folder) {
    if (!folder || !folder->IsFolder() || folder->filled) return;
    folder->filled = true;
    const QFileInfoList entries = Entries(folder->path);
    std::vector<std::unique_ptr<CPagesBrowserNode>> folders, files;
    for (const QFileInfo& info : entries) {
        if (!info.isDir() || Hidden(info)) continue;
        auto node = std::make_unique<CPagesBrowserNode>();
        node->path = info.filePath();
        node->displayName = node->label = info.fileName();
        node->kind = CPagesBrowserNode::KindFolder;
        node->parent = folder;
        folders.push_back(std::move(node));
    }
    // Piece by piece, so a file two pieces match is listed twice.
    for (const QString& piece : filter_) {
        for (const QFileInfo& info : entries) {
            if (info.isDir() || !info.isFile() || Hidden(info) || !MatchesPiece(info.fileName(), piece)) continue;
            auto node = std::make_unique<CPagesBrowserNode>();
            node->path = info.filePath();
            node->displayName = info.fileName();
            node->label = ScriptFile::NameWithoutFolderAndExtension(info.fileName());
            node->hidesExtension = node->label != node->displayName;
            node->kind = CPagesBrowserNode::KindFile;
            node->parent = folder;
            files.push_back(std::move(node));
        }
    }
    std::stable_sort(folders.begin(), folders.end(), LessByName);
    std::stable_sort(files.begin(), files.end(), LessByName);
    folder->children = std::move(folders);
    for (auto& file : files) folder->children.push_back(std::move(file));
}

void CPagesBrowserModel::Fill(const CPagesBrowserNode* folder) { FillNode(Mutable(folder)); }

void CPagesBrowserModel::SetExpanded(const CPagesBrowserNode* folder, bool expanded) {
    if (!folder || !folder->IsFolder()) return;
    if (expanded) Fill(folder);
    Mutable(folder)->expanded = expanded;
}

CPagesBrowserNode* CPagesBrowserModel::FindNode(const QString& path) {
    const QString clean = QDir::cleanPath(path);
    const QString root = QDir::cleanPath(root_);
    if (root.isEmpty()) return nullptr;
    if (clean == root) return root_node_.get();
    const QString prefix = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');  // "/" is its own
    if (!clean.startsWith(prefix)) return nullptr;
    CPagesBrowserNode* node = root_node_.get();
    for (const QString& part : clean.mid(prefix.size()).split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        FillNode(node);
        CPagesBrowserNode* next = nullptr;
        for (auto& child : node->children)
            if (child->displayName == part) {
                next = child.get();
                break;
            }
        if (!next) return nullptr;
        node = next;
    }
    return node;
}

const CPagesBrowserNode* CPagesBrowserModel::Find(const QString& path) { return FindNode(path); }

void CPagesBrowserModel::CollectExpanded(const CPagesBrowserNode* node, QStringList& out) const {
    for (const auto& child : node->children) {
        if (!child->IsFolder() || !child->expanded) continue;
        out.push_back(child->path);
        CollectExpanded(child.get(), out);
    }
}

void CPagesBrowserModel::Refresh() {
    ready_ = false;
    const QString selectedPath = selected_ && selected_ != root_node_.get() ? selected_->path : QString();
    QStringList expanded;
    CollectExpanded(root_node_.get(), expanded);  // parents come before their children

    if (BeginReset) BeginReset();
    selected_ = nullptr;
    root_node_ = std::make_unique<CPagesBrowserNode>();
    root_node_->path = root_;
    root_node_->displayName = root_node_->label = QFileInfo(root_).fileName();
    root_node_->expanded = true;
    if (!root_.isEmpty() && QFileInfo(root_).isDir()) {
        FillNode(root_node_.get());
        for (const QString& path : expanded)
            if (CPagesBrowserNode* node = FindNode(path); node && node->IsFolder()) {
                FillNode(node);
                node->expanded = true;
            }
    } else {
        root_node_->filled = true;  // no folder: an empty tree
    }
    CPagesBrowserNode* reselect = selectedPath.isEmpty() ? nullptr : FindNode(selectedPath);
    if (EndReset) EndReset();
    if (reselect) Select(reselect);
    ready_ = true;
}

bool CPagesBrowserModel::Check(bool windowBusy) {
    if (!changePending_ || windowBusy) return false;
    CDebug::Log(3, "CFileTreeView::Check(): refresh");
    changePending_ = false;
    // The widget's watcher is set up again on the folders read now.
    CDebug::Log(2, "CFileTreeView::CancelChangeNotifications()");
    Refresh();
    CDebug::Log(2, "CFileTreeView::SetupChangeNotifications() = %d", int(WatchedFolders().size()));
    return true;
}

QStringList CPagesBrowserModel::WatchedFolders() const {
    QStringList folders;
    if (!root_.isEmpty() && QFileInfo(root_).isDir()) WalkFolders(root_, folders);
    return folders;
}

void CPagesBrowserModel::Select(const CPagesBrowserNode* node) {
    selected_ = node;
    if (!ready_ || !previews_) return;
    if (node && node->kind == CPagesBrowserNode::KindFile && !node->IsScript() && QFileInfo(node->path).isFile())
        previews_->ShowPreview(node->path);
    else
        previews_->ClearPreview();
}

void CPagesBrowserModel::ChoosePath(const CPagesBrowserNode* node) {
    selectedPath_ = node->path;
    selectedIsScript_ = node->IsScript();
}

int CPagesBrowserModel::DefaultPageCommand() const {
    switch (store_.Get(Settings::DefaultTreeAction)) {
    case 0: return PagesCommand::Load;
    case 1: return PagesCommand::Add;
    case 2: return PagesCommand::LoadAndPlay;
    case 3: return PagesCommand::AddAndPlay;
    case 4: return PagesCommand::Edit;
    default: return 0;
    }
}

PagesAction CPagesBrowserModel::DoubleClick(const CPagesBrowserNode* node) {
    if (!node || node->kind != CPagesBrowserNode::KindFile) return {};  // folders open and close
    if (node != selected_) Select(node);
    ChoosePath(node);
    return Execute(selectedIsScript_ ? PagesCommand::LoadAndPlay : DefaultPageCommand());
}

PagesMenu CPagesBrowserModel::ContextMenu(const CPagesBrowserNode* node) {
    if (node != selected_) Select(node);
    PagesMenu menu;
    if (!node || node->kind != CPagesBrowserNode::KindFile) return menu;
    ChoosePath(node);
    using namespace PagesCommand;
    if (selectedIsScript_) {
        menu.menuId = ScriptMenu;
        menu.items = {{LoadAndPlay, QStringLiteral("Load and &play")},
                      {Edit, QStringLiteral("&Open in editor")},
                      {PagesCommand::Rename, QStringLiteral("&Rename")}};
        menu.defaultCommand = LoadAndPlay;
    } else {
        menu.menuId = PageMenu;
        menu.items = {{Load, QStringLiteral("&Load")},
                      {Add, QStringLiteral("&Add to current page")},
                      {LoadAndPlay, QStringLiteral("Load and &play")},
                      {AddAndPlay, QStringLiteral("A&dd and play")},
                      {Edit, QStringLiteral("&Open in editor")},
                      {PagesCommand::Rename, QStringLiteral("&Rename")}};
        menu.defaultCommand = DefaultPageCommand();
    }
    return menu;
}

EditorLaunch CPagesBrowserModel::EditorCommand(const QString& pageFile) const {
    return {program_, {QStringLiteral("/edit"), pageFile}};
}

PagesAction CPagesBrowserModel::Execute(int command) {
    using namespace PagesCommand;
    PagesAction action;
    if (command == PagesCommand::Rename) {
        if (selected_ && selected_ != root_node_.get()) {
            action.command = command;
            action.startRename = true;
        }
        return action;
    }
    if (selectedPath_.isEmpty()) return action;
    const QString path = selectedPath_;
    if (selectedIsScript_) {
        if (command != LoadAndPlay && command != Edit) return action;  // a script is not a page
        action.command = command;
        // Loading a script replaces the running one, which stops first.
        document_.ScriptLoad(path, command == LoadAndPlay);
        action.done = document_.Script.Count() > 0;
        action.openScriptEditor = command == Edit && document_.Script.Count() > 0;
        return action;
    }
    if (command != Edit) document_.ScriptStop();  // an operator action comes first
    switch (command) {
    case Load: action.done = document_.LoadPageFile(path, true); break;
    case Add: action.done = document_.LoadPageFile(path, false); break;
    case LoadAndPlay: action.done = document_.LoadPageFileAndPlay(path); break;
    case AddAndPlay: action.done = document_.AddPageFileAndPlay(path); break;
    case Edit:
        action.launch = true;
        action.editor = EditorCommand(path);
        action.done = true;
        break;
    default: return action;
    }
    action.command = command;
    return action;
}

bool CPagesBrowserModel::Rename(const CPagesBrowserNode* item, const QString& label) {
    CPagesBrowserNode* node = Mutable(item);
    if (!node || node == root_node_.get() || label.isEmpty() || label == node->label) return false;
    CTranslate& translate = CTranslate::Global();
    if (label == QLatin1String(".") || label == QLatin1String("..") || label.contains(QLatin1Char('/')) ||
        label.contains(QChar(0))) {
        translate.MessageBox(FormatString(QStringLiteral("Cannot rename \"%s\": \"%s\" is not a valid name."),
                                          {node->displayName, label}),
                             MbIconError);
        return false;
    }
    const QString extension = node->hidesExtension ? node->displayName.mid(node->label.size()) : QString();
    const QString newName = label + extension;
    const QString folder = QFileInfo(node->path).path();
    const QString target = folder + QLatin1Char('/') + newName;
    const QFileInfo targetInfo(target);
    if (targetInfo.exists() || targetInfo.isSymLink()) {
        translate.MessageBox(
            FormatString(QStringLiteral("Cannot rename \"%s\": \"%s\" already exists."), {node->displayName, newName}),
            MbIconError);
        return false;
    }
    if (!QDir().rename(node->path, target)) {
        translate.MessageBox(
            FormatString(QStringLiteral("Cannot rename \"%s\" to \"%s\"."), {node->displayName, newName}), MbIconError);
        return false;
    }
    const QString oldPath = node->path;
    node->path = target;
    node->displayName = newName;
    node->label = node->hidesExtension ? label : newName;
    RenameBelow(*node, oldPath, target);
    if (selectedPath_ == oldPath) selectedPath_ = target;
    if (LabelChanged) LabelChanged(node);
    return true;
}
