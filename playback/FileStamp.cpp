#include "playback/FileStamp.h"

#include <QDateTime>
#include <QFile>
#include <sys/stat.h>

bool FileStamp(const QString& path, FileStampValue& stamp) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    stamp.nanos = int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    const QDateTime written = QDateTime::fromMSecsSinceEpoch(stamp.nanos / 1000000, Qt::UTC);
    const QDate d = written.date();
    const QTime t = written.time();
    stamp.time = {uint16_t(d.year()), uint16_t(d.month()), uint16_t(d.dayOfWeek() % 7), uint16_t(d.day()),
                  uint16_t(t.hour()), uint16_t(t.minute()), uint16_t(t.second()), uint16_t(t.msec())};
    stamp.size = int(uint32_t(uint64_t(info.st_size) & 0xFFFFFFFFu));
    return true;
}
