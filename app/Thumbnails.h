// The thumbnails of the pages folder without their widget: every page file below
// the folder with the preview picture stored in it (read from the file's preview
// alone, never the whole page), and the one preview the thumbnail pane shows for
// the page chosen in the pages browser. The widget watches the folders and files
// WatchedPaths() names (QFileSystemWatcher) and passes its reports on.
//
// Threads: the user-interface thread.
#pragma once

#include "media/Picture.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

struct CThumbnail {
    QString path;      // full path of the page file
    QString name;      // below the folder, without the extension: "News/Opening"
    CPicture preview;  // empty when the file stores none or cannot be read
    bool HasPreview() const { return !preview.IsEmpty(); }
};

class CThumbnailsModel {
public:
    static constexpr const char* PageExtension = ".corvane";

    CThumbnailsModel() = default;
    CThumbnailsModel(const CThumbnailsModel&) = delete;
    CThumbnailsModel& operator=(const CThumbnailsModel&) = delete;

    // Lists the folder's page files again from scratch (an empty or missing folder
    // gives an empty list).
    void SetFolder(const QString& folder);
    const QString& Folder() const { return folder_; }
    void Rescan();

    int Count() const { return int(items_.size()); }
    const CThumbnail& At(int row) const { return items_[row]; }
    // The row of a page file, -1 when it is not listed.
    int RowOf(const QString& path) const;

    // The watcher's reports. A file changed (written, created, removed or renamed
    // away): its entry is read again, added or dropped. A folder changed (an entry
    // came or went): the list is made again. True when the list changed.
    bool FileChanged(const QString& path);
    bool FolderChanged(const QString& folder);
    // The folders (to hear of new and removed entries) and the listed files (to hear
    // of writes) for the watcher.
    QStringList WatchedPaths() const;

    // The thumbnail pane: the stored preview of one page file, or none.
    void ShowPreview(const QString& pageFile);
    void ClearPreview();
    const CPicture& Preview() const { return preview_; }
    bool HasPreview() const { return !preview_.IsEmpty(); }
    const QString& PreviewPath() const { return previewPath_; }
    // Called whenever the pane's picture changed (repaint it).
    std::function<void()> PreviewChanged;

    // Whether a path names a page file (by its extension, without regard to case).
    static bool IsPageFile(const QString& path);

private:
    void Collect(const QString& folder, std::vector<CThumbnail>& out, QStringList& folders) const;
    CThumbnail Read(const QString& path) const;

    QString folder_;
    std::vector<CThumbnail> items_;  // by name, without regard to case
    QStringList folders_;            // the folder and its visible subfolders
    CPicture preview_;
    QString previewPath_;
};
