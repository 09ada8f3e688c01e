#include "ui/ThumbnailView.h"

#include <QFileInfo>
#include <QPainter>

CThumbnailView::CThumbnailView(CThumbnailsModel& thumbnails, QWidget* parent)
    : QWidget(parent), thumbnails_(thumbnails) {
    setObjectName(QStringLiteral("thumbnailPane"));
    setMinimumHeight(0);
    thumbnails_.PreviewChanged = [this] {
        Follow();
        update();
    };
    connect(&watcher_, &QFileSystemWatcher::fileChanged, this, [this](const QString& path) {
        // Saved again (or replaced by a rename): show what the file holds now.
        if (path == thumbnails_.PreviewPath() && QFileInfo::exists(path)) thumbnails_.ShowPreview(path);
        else if (path == thumbnails_.PreviewPath()) thumbnails_.ClearPreview();
    });
}

void CThumbnailView::Follow() {
    if (!watcher_.files().isEmpty()) watcher_.removePaths(watcher_.files());
    if (thumbnails_.HasPreview() && QFileInfo::exists(thumbnails_.PreviewPath()))
        watcher_.addPath(thumbnails_.PreviewPath());
}

QRect CThumbnailView::PictureRect() const {
    if (!thumbnails_.HasPreview()) return {};
    const CPicture& picture = thumbnails_.Preview();
    QSize size(picture.width, picture.height);
    size.scale(rect().size() - QSize(8, 8), Qt::KeepAspectRatio);
    return QRect(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
}

void CThumbnailView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    if (!thumbnails_.HasPreview()) return;
    const CPicture& picture = thumbnails_.Preview();
    // Made from the canvas's composition (its background included): opaque, blue,
    // green, red in memory as the toolkit's 32-bit format has them.
    const QImage image(picture.data.get(), picture.width, picture.height, picture.width * 4, QImage::Format_RGB32);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRect target = PictureRect();
    painter.drawImage(target, image);
}
