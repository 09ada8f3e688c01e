#include "tests/FileSizeLimit.h"
#include "base/SafeFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

namespace {

class SafeFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString Path(const QString& name) const { return dir.filePath(name); }
    QString Put(const QString& name, const QByteArray& bytes) {
        QFile file(Path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    }
    QByteArray Contents(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
    }
    QStringList Files() const { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System); }

    QTemporaryDir dir;
};

TEST_F(SafeFileTest, ReadAllTakesRegularFilesWithinTheCapOnly) {
    Put(QStringLiteral("ten"), QByteArray("0123456789"));
    Put(QStringLiteral("empty"), QByteArray());
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(Path(QStringLiteral("fifo"))).constData(), 0600), 0);
    struct Case {
        QString path;
        qint64 cap;
        FileRefusal expected;
        QByteArray bytes;
    };
    const Case cases[] = {
        {Path(QStringLiteral("ten")), 10, FileRefusal::None, "0123456789"},
        {Path(QStringLiteral("ten")), 9, FileRefusal::TooLarge, {}},
        {Path(QStringLiteral("empty")), 0, FileRefusal::None, {}},
        {Path(QStringLiteral("missing")), 10, FileRefusal::OpenFailed, {}},
        {QString(), 10, FileRefusal::OpenFailed, {}},
        {Path(QStringLiteral("folder")), 10, FileRefusal::NotRegularFile, {}},
        // Neither blocks nor reads until memory runs out.
        {Path(QStringLiteral("fifo")), 10, FileRefusal::NotRegularFile, {}},
        {QStringLiteral("/dev/zero"), 1 << 20, FileRefusal::NotRegularFile, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        QByteArray out("stale");
        EXPECT_EQ(SafeFile::ReadAll(c.path, c.cap, out), c.expected);
        EXPECT_EQ(out, c.bytes);
    }
}

TEST_F(SafeFileTest, ReplacementIsAllOrNothingWhereverTheDiskFills) {
    const QString path = Put(QStringLiteral("settings.ini"), QByteArray("old contents"));
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0640), 0);
    const QByteArray replacement(20000, 'n');
    for (const rlim_t room : {rlim_t(19999), rlim_t(16384), rlim_t(4096), rlim_t(1)}) {
        SCOPED_TRACE(room);
        {
            FileSizeLimit limit(room);
            ASSERT_TRUE(limit.Active());
            EXPECT_EQ(SafeFile::WriteAll(path, replacement), FileRefusal::WriteFailed);
        }
        EXPECT_EQ(Contents(path), QByteArray("old contents"));
        EXPECT_EQ(Files(), QStringList{QStringLiteral("settings.ini")});
    }
    EXPECT_EQ(SafeFile::WriteAll(path, replacement), FileRefusal::None);
    EXPECT_EQ(Contents(path), replacement);
    EXPECT_EQ(QFileInfo(path).permissions() & 0x0777, QFileDevice::Permissions(0x0640));
    EXPECT_EQ(Files(), QStringList{QStringLiteral("settings.ini")});
}

TEST_F(SafeFileTest, ReplacementRefusesWhatIsNotARegularFileAndFollowsLinks) {
    ASSERT_EQ(::mkfifo(QFile::encodeName(Path(QStringLiteral("fifo"))).constData(), 0600), 0);
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    for (const QString& path : {Path(QStringLiteral("fifo")), Path(QStringLiteral("folder")), QStringLiteral("/dev/null")}) {
        SCOPED_TRACE(path.toStdString());
        EXPECT_EQ(SafeFile::WriteAll(path, "x"), FileRefusal::NotRegularFile);
    }
    EXPECT_EQ(SafeFile::WriteAll(Path(QStringLiteral("missing/file")), "x"), FileRefusal::OpenFailed);
    struct stat info {};
    ASSERT_EQ(::stat("/dev/null", &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode));

    // Through a link the linked file is replaced and the link stays a link.
    const QString real = Put(QStringLiteral("real.txt"), "old");
    ASSERT_TRUE(QFile::link(real, Path(QStringLiteral("link.txt"))));
    EXPECT_EQ(SafeFile::WriteAll(Path(QStringLiteral("link.txt")), "new"), FileRefusal::None);
    EXPECT_EQ(Contents(real), QByteArray("new"));
    EXPECT_TRUE(QFileInfo(Path(QStringLiteral("link.txt"))).isSymLink());
}

TEST_F(SafeFileTest, AFailedWriteThroughTheDeviceFailsTheCommit) {
    const QString path = Put(QStringLiteral("page"), "old");
    CAtomicFile file(path);
    ASSERT_EQ(file.Open(), FileRefusal::None);
    {
        FileSizeLimit limit(2);
        EXPECT_FALSE(file.Write("abcdef", 6));
    }
    EXPECT_FALSE(file.Write("g", 1));  // the failure sticks
    EXPECT_EQ(file.Commit(), FileRefusal::WriteFailed);
    EXPECT_EQ(Contents(path), QByteArray("old"));
    // An uncommitted file is discarded with its writer.
    {
        CAtomicFile abandoned(path);
        ASSERT_EQ(abandoned.Open(), FileRefusal::None);
        abandoned.Write("new", 3);
    }
    EXPECT_EQ(Contents(path), QByteArray("old"));
    EXPECT_EQ(Files(), QStringList{QStringLiteral("page")});
}

}  // namespace
