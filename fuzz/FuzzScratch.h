// A scratch folder for fuzz targets whose readers take a path: in memory when
// /dev/shm is there, so an iteration costs no disk. Removed with the object.
#pragma once

#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

class FuzzScratch {
public:
    explicit FuzzScratch(const char* target)
        : dir_((QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? QStringLiteral("/dev/shm") : QDir::tempPath()) +
               u'/' + QString::fromLatin1(target) + QStringLiteral("-XXXXXX")) {
        if (!dir_.isValid()) {
            std::fprintf(stderr, "%s: cannot create a scratch folder\n", target);
            std::abort();
        }
    }
    QString Path(const char* name) const { return dir_.filePath(QString::fromLatin1(name)); }

private:
    QTemporaryDir dir_;
};
