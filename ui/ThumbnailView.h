// The thumbnail pane: the preview picture stored in the page file chosen in the
// pages browser, as large as the pane allows at its shape. The picture is the
// thumbnails model's; the pane repaints when it changes and reads it again when
// the file is rewritten.
//
// Threads: the user-interface thread.
#pragma once

#include "app/Thumbnails.h"

#include <QFileSystemWatcher>
#include <QWidget>

class CThumbnailView : public QWidget {
    Q_OBJECT
public:
    // The model outlives the pane.
    explicit CThumbnailView(CThumbnailsModel& thumbnails, QWidget* parent = nullptr);

    // Where the picture is drawn (empty without one).
    QRect PictureRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Follow();

    CThumbnailsModel& thumbnails_;
    QFileSystemWatcher watcher_;  // the shown page file, for rewrites
};
