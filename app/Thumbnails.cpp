#include "app/Thumbnails.h"

#include "core/PageFile.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace {
// The entries the pages tree hides: dot files and folders, and anything that is
// neither a readable folder nor a regular file.
QFileInfoList VisibleEntries(const QString& folder) {
    return QDir(folder).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::NoSort);
}

bool Hidden(const QFileInfo& info) { return info.isHidden() || info.fileName().startsWith(QLatin1Char('.')); }
}  // namespace

bool CThumbnailsModel::IsPageFile(const QString& path) {
    return path.endsWith(QLatin1String(PageExtension), Qt::CaseInsensitive);
}

void CThumbnailsModel::SetFolder(const QString& folder) {
    folder_ = folder.isEmpty() ? QString() : QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    Rescan();
}

void CThumbnailsModel::Collect(const QString& folder, std::vector<CThumbnail>& out, QStringList& folders) const {
    folders.push_back(folder);
    for (const QFileInfo& info : VisibleEntries(folder)) {
        if (Hidden(info)) continue;
        if (info.isDir()) {
            if (!info.isSymLink()) Collect(info.filePath(), out, folders);  // a link could loop
        } else if (info.isFile() && IsPageFile(info.fileName())) {
            out.push_back(Read(info.filePath()));
        }
    }
}

CThumbnail CThumbnailsModel::Read(const QString& path) const {
    CThumbnail item;
    item.path = path;
    QString relative = QDir(folder_).relativeFilePath(path);
    relative.chop(int(qstrlen(PageExtension)));
    item.name = relative;
    if (!PageFile::ReadPreview(path, item.preview)) item.preview.Clear();
    return item;
}

void CThumbnailsModel::Rescan() {
    items_.clear();
    folders_.clear();
    if (folder_.isEmpty() || !QFileInfo(folder_).isDir()) return;
    Collect(folder_, items_, folders_);
    std::stable_sort(items_.begin(), items_.end(), [](const CThumbnail& a, const CThumbnail& b) {
        return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
    });
}

int CThumbnailsModel::RowOf(const QString& path) const {
    for (int i = 0; i < Count(); ++i)
        if (items_[i].path == path) return i;
    return -1;
}

bool CThumbnailsModel::FileChanged(const QString& path) {
    // The pane's own picture follows its file too.
    if (!previewPath_.isEmpty() && path == previewPath_) ShowPreview(path);
    const int row = RowOf(path);
    const QFileInfo info(path);
    if (row >= 0) {
        if (!info.isFile()) {
            items_.erase(items_.begin() + row);
            return true;
        }
        items_[row] = Read(path);
        return true;
    }
    // A new file: only one below the folder whose folders are all listed.
    if (!info.isFile() || !IsPageFile(path) || Hidden(info) || !folders_.contains(info.absolutePath()))
        return false;
    CThumbnail item = Read(path);
    const auto at = std::upper_bound(items_.begin(), items_.end(), item, [](const CThumbnail& a, const CThumbnail& b) {
        return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
    });
    items_.insert(at, std::move(item));
    return true;
}

bool CThumbnailsModel::FolderChanged(const QString& folder) {
    (void)folder;  // an entry may have moved between folders: list them all again
    std::vector<QString> before;
    for (const CThumbnail& item : items_) before.push_back(item.path);
    Rescan();
    if (before.size() != items_.size()) return true;
    for (size_t i = 0; i < before.size(); ++i)
        if (before[i] != items_[i].path) return true;
    return false;
}

QStringList CThumbnailsModel::WatchedPaths() const {
    QStringList paths = folders_;
    for (const CThumbnail& item : items_) paths.push_back(item.path);
    return paths;
}

void CThumbnailsModel::ShowPreview(const QString& pageFile) {
    previewPath_ = pageFile;
    if (!PageFile::ReadPreview(pageFile, preview_)) preview_.Clear();
    if (PreviewChanged) PreviewChanged();
}

void CThumbnailsModel::ClearPreview() {
    const bool had = !previewPath_.isEmpty() || !preview_.IsEmpty();
    previewPath_.clear();
    preview_.Clear();
    if (had && PreviewChanged) PreviewChanged();
}
