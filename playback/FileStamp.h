// The last-write stamp of a linked file, by which a changed file is noticed.
//
// Threads: any.
#pragma once

#include "core/Frame.h"

#include <QString>
#include <cstdint>

struct FileStampValue {
    CalendarTime time{};  // UTC, to the millisecond
    int size = 0;         // low 32 bits of the size
    int64_t nanos = 0;    // nanoseconds since the epoch: two writes within one millisecond differ
};

// False when the path names no readable regular file.
bool FileStamp(const QString& path, FileStampValue& stamp);
