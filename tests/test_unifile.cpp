// CUniFile: counted strings byte for byte, the sticky status code and the
// temporary-file save that replaces the target only on success.
#include "tests/FileSizeLimit.h"
#include "core/UniFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <cstring>
#include <functional>
#include <sys/resource.h>

namespace {

QByteArray Bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values) out.append(char(v));
    return out;
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}


class UniFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString Path(const QString& name) const { return dir.filePath(name); }
    QString Put(const QString& name, const QByteArray& bytes) {
        const QString path = Path(name);
        WriteAll(path, bytes);
        return path;
    }
    QTemporaryDir dir;
};

// Writes through a fresh CUniFile and commits; returns the bytes that reached disk.
QByteArray WrittenBytes(const QString& path, const std::function<void(CUniFile&)>& write) {
    CUniFile file;
    file.Status = StatusOpenFailed;
    if (!file.OpenWrite(path)) return QByteArray("open failed");
    write(file);
    EXPECT_EQ(file.Status, StatusOk);
    EXPECT_TRUE(file.Commit());
    file.Close();
    return ReadAll(path);
}

TEST_F(UniFileTest, CountedStringGoldenBytes) {
    struct Case {
        QString text;
        QByteArray bytes;
    };
    const Case cases[] = {
        {QStringLiteral("abc"), Bytes({0x03, 0, 0, 0, 0x61, 0, 0x62, 0, 0x63, 0})},
        {QString(), Bytes({0, 0, 0, 0})},
        // Code units little-endian, no byte-order mark, no terminator.
        {QString::fromUtf16(u"\u00E9\u20AC"), Bytes({0x02, 0, 0, 0, 0xE9, 0x00, 0xAC, 0x20})},
        // A NUL unit is part of the string; the count, not the NUL, ends it.
        {QString::fromUtf16(u"a\0b", 3), Bytes({0x03, 0, 0, 0, 0x61, 0, 0, 0, 0x62, 0})},
        // A character outside the basic plane is two code units.
        {QString::fromUtf16(u"\U0001F600"), Bytes({0x02, 0, 0, 0, 0x3D, 0xD8, 0x00, 0xDE})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        const QString path = Path(QStringLiteral("string.bin"));
        EXPECT_EQ(WrittenBytes(path, [&](CUniFile& f) { EXPECT_TRUE(f.WriteString(c.text)); }), c.bytes);

        CUniFile in;
        ASSERT_TRUE(in.OpenRead(path));
        QString read = QStringLiteral("previous");
        EXPECT_TRUE(in.ReadString(read));
        EXPECT_EQ(read, c.text);
        EXPECT_EQ(read.size(), c.text.size());
        EXPECT_EQ(in.Position(), c.bytes.size());
        EXPECT_EQ(in.Status, StatusOk);
    }
}

TEST_F(UniFileTest, ReadsSeveralStringsInSequence) {
    const QString path = Put(QStringLiteral("strings.bin"),
                             Bytes({0x01, 0, 0, 0, 0x41, 0, 0, 0, 0, 0, 0x02, 0, 0, 0, 0x42, 0, 0x43, 0}));
    CUniFile file;
    ASSERT_TRUE(file.OpenRead(path));
    QString a, b, c;
    EXPECT_TRUE(file.ReadString(a));
    EXPECT_TRUE(file.ReadString(b));
    EXPECT_TRUE(file.ReadString(c));
    EXPECT_EQ(a, QStringLiteral("A"));
    EXPECT_TRUE(b.isEmpty());
    EXPECT_EQ(c, QStringLiteral("BC"));
    EXPECT_EQ(file.Remaining(), 0);
}

TEST_F(UniFileTest, OpenMovesStatusFromOpenFailedToOk) {
    const QString path = Put(QStringLiteral("data.bin"), QByteArray("12345678"));
    CUniFile file;
    EXPECT_EQ(file.Status, StatusOpenFailed);
    ASSERT_TRUE(file.OpenRead(path));
    EXPECT_EQ(file.Status, StatusOk);
    EXPECT_EQ(file.Length(), 8);
    EXPECT_EQ(file.Position(), 0);
    EXPECT_EQ(file.Remaining(), 8);
}

TEST_F(UniFileTest, OpenOfMissingFileKeepsOpenFailed) {
    CUniFile file;
    file.Status = StatusOpenFailed;
    EXPECT_FALSE(file.OpenRead(Path(QStringLiteral("missing.bin"))));
    EXPECT_EQ(file.Status, StatusOpenFailed);
    char buffer[4] = {1, 2, 3, 4};
    EXPECT_FALSE(file.ReadBytes(buffer, 4));
    EXPECT_FALSE(file.WriteBytes(buffer, 4));
    QString text;
    EXPECT_FALSE(file.ReadString(text));
    EXPECT_EQ(file.Status, StatusOpenFailed);
    EXPECT_EQ(buffer[0], 1);
}

TEST_F(UniFileTest, OpenWriteInMissingFolderFails) {
    CUniFile file;
    file.Status = StatusOpenFailed;
    EXPECT_FALSE(file.OpenWrite(Path(QStringLiteral("no/such/folder/page.corvane"))));
    EXPECT_EQ(file.Status, StatusOpenFailed);
    EXPECT_FALSE(QFile::exists(Path(QStringLiteral("no"))));
}

TEST_F(UniFileTest, ZeroByteTransfersSucceedEvenAtEnd) {
    const QString path = Put(QStringLiteral("data.bin"), QByteArray("ab"));
    CUniFile file;
    ASSERT_TRUE(file.OpenRead(path));
    char buffer[2];
    ASSERT_TRUE(file.ReadBytes(buffer, 2));
    EXPECT_TRUE(file.ReadBytes(buffer, 0));
    EXPECT_EQ(file.Status, StatusOk);
    EXPECT_FALSE(file.ReadBytes(buffer, 1));
    EXPECT_EQ(file.Status, StatusCorrupt);
}

TEST_F(UniFileTest, ShortReadIsCorruptAndSticky) {
    const QString path = Put(QStringLiteral("short.bin"), QByteArray("abcdef"));
    CUniFile file;
    ASSERT_TRUE(file.OpenRead(path));
    char buffer[8] = {};
    EXPECT_FALSE(file.ReadBytes(buffer, 8));
    EXPECT_EQ(file.Status, StatusCorrupt);
    const int64_t position = file.Position();

    // Nothing works any more, and nothing touches the file or the buffers.
    char probe[2] = {'x', 'y'};
    EXPECT_FALSE(file.Seek(0));
    EXPECT_FALSE(file.ReadBytes(probe, 1));
    EXPECT_EQ(probe[0], 'x');
    QString text = QStringLiteral("kept");
    EXPECT_FALSE(file.ReadString(text));
    EXPECT_EQ(text, QStringLiteral("kept"));
    EXPECT_FALSE(file.WriteBytes(probe, 2));
    EXPECT_FALSE(file.WriteString(QStringLiteral("z")));
    EXPECT_FALSE(file.Skip(0));
    EXPECT_EQ(file.Position(), position);
    EXPECT_EQ(file.Status, StatusCorrupt);
    file.Close();
    EXPECT_EQ(ReadAll(path), QByteArray("abcdef"));
}

TEST_F(UniFileTest, FailureInTheMiddleStopsLaterReadsWithoutMovingOn) {
    // A string claiming 100 units with only 6 bytes behind its count.
    const QString path = Put(QStringLiteral("string.bin"), Bytes({100, 0, 0, 0, 'a', 0, 'b', 0, 'c', 0}));
    CUniFile file;
    ASSERT_TRUE(file.OpenRead(path));
    QString text;
    EXPECT_FALSE(file.ReadString(text));
    EXPECT_EQ(file.Status, StatusCorrupt);
    const int64_t position = file.Position();
    char probe[2] = {'x', 'y'};
    EXPECT_FALSE(file.ReadBytes(probe, 2));
    EXPECT_EQ(probe[0], 'x');
    EXPECT_EQ(file.Position(), position);
}

TEST_F(UniFileTest, BadStringCountsAreCorrupt) {
    struct Case {
        const char* name;
        QByteArray bytes;
    };
    const Case cases[] = {
        {"negative count", Bytes({0xFF, 0xFF, 0xFF, 0xFF, 'a', 0})},
        {"most negative count", Bytes({0, 0, 0, 0x80, 'a', 0})},
        {"count beyond the file", Bytes({0x02, 0, 0, 0, 'a', 0})},
        {"huge count", Bytes({0xFF, 0xFF, 0xFF, 0x7F, 'a', 0})},
        {"truncated count", Bytes({0x01, 0, 0})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = Put(QStringLiteral("bad.bin"), c.bytes);
        CUniFile file;
        ASSERT_TRUE(file.OpenRead(path));
        QString text;
        EXPECT_FALSE(file.ReadString(text));
        EXPECT_EQ(file.Status, StatusCorrupt);
        QString after = QStringLiteral("unchanged");
        EXPECT_FALSE(file.ReadString(after));
        EXPECT_EQ(after, QStringLiteral("unchanged"));
    }
}

TEST_F(UniFileTest, SkipStaysInsideTheFile) {
    const QString path = Put(QStringLiteral("data.bin"), QByteArray("0123456789"));
    {
        CUniFile file;
        ASSERT_TRUE(file.OpenRead(path));
        EXPECT_TRUE(file.Skip(4));
        char c = 0;
        ASSERT_TRUE(file.ReadBytes(&c, 1));
        EXPECT_EQ(c, '4');
        EXPECT_TRUE(file.Skip(5));
        EXPECT_EQ(file.Remaining(), 0);
        EXPECT_EQ(file.Status, StatusOk);
    }
    for (int64_t n : {int64_t(11), int64_t(-1), int64_t(1) << 40}) {
        SCOPED_TRACE(n);
        CUniFile file;
        ASSERT_TRUE(file.OpenRead(path));
        EXPECT_FALSE(file.Skip(n));
        EXPECT_EQ(file.Status, StatusCorrupt);
    }
}

TEST_F(UniFileTest, SeekAndPosition) {
    const QString path = Put(QStringLiteral("data.bin"), QByteArray("0123456789"));
    CUniFile file;
    ASSERT_TRUE(file.OpenRead(path));
    ASSERT_TRUE(file.Seek(7));
    EXPECT_EQ(file.Position(), 7);
    EXPECT_EQ(file.Remaining(), 3);
    char buffer[3];
    ASSERT_TRUE(file.ReadBytes(buffer, 3));
    EXPECT_EQ(std::memcmp(buffer, "789", 3), 0);
}

TEST_F(UniFileTest, WrittenFileReplacesTargetOnlyOnCommit) {
    const QString path = Put(QStringLiteral("page.corvane"), QByteArray("old page"));
    {
        CUniFile file;
        file.Status = StatusOpenFailed;
        ASSERT_TRUE(file.OpenWrite(path));
        EXPECT_EQ(file.Status, StatusOk);
        ASSERT_TRUE(file.WriteBytes("new page, longer", 16));
        // Until the commit the target keeps its old content.
        EXPECT_EQ(ReadAll(path), QByteArray("old page"));
        ASSERT_TRUE(file.Commit());
    }
    EXPECT_EQ(ReadAll(path), QByteArray("new page, longer"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("page.corvane")});
}

TEST_F(UniFileTest, UncommittedWriteLeavesTargetAndNoTemporaryFile) {
    const QString path = Put(QStringLiteral("page.corvane"), QByteArray("old page"));
    {
        CUniFile file;
        file.Status = StatusOpenFailed;
        ASSERT_TRUE(file.OpenWrite(path));
        ASSERT_TRUE(file.WriteBytes("partial", 7));
        file.Close();
    }
    EXPECT_EQ(ReadAll(path), QByteArray("old page"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("page.corvane")});
}

TEST_F(UniFileTest, StatusSetByCallerStopsWritesAndCommit) {
    const QString path = Put(QStringLiteral("page.corvane"), QByteArray("old page"));
    {
        CUniFile file;
        file.Status = StatusOpenFailed;
        ASSERT_TRUE(file.OpenWrite(path));
        ASSERT_TRUE(file.WriteBytes("abc", 3));
        file.Status = StatusCorrupt;
        EXPECT_FALSE(file.WriteBytes("def", 3));
        EXPECT_FALSE(file.WriteString(QStringLiteral("x")));
        EXPECT_FALSE(file.Commit());
        EXPECT_EQ(file.Status, StatusCorrupt);
    }
    EXPECT_EQ(ReadAll(path), QByteArray("old page"));
}

TEST_F(UniFileTest, WriteErrorIsStickyAndKeepsTarget) {
    const QString path = Put(QStringLiteral("page.corvane"), QByteArray("old page"));
    const QByteArray block(64 * 1024, 'x');
    {
        FileSizeLimit limit(4096);
        ASSERT_TRUE(limit.Active());
        CUniFile file;
        file.Status = StatusOpenFailed;
        ASSERT_TRUE(file.OpenWrite(path));
        // The platform may report the error at the write or only when the file is
        // flushed; either way it ends as StatusWriteFailed and nothing is replaced.
        const bool written = file.WriteBytes(block.constData(), block.size());
        if (!written) {
            EXPECT_EQ(file.Status, StatusWriteFailed);
            EXPECT_FALSE(file.WriteBytes("abc", 3));
            EXPECT_FALSE(file.WriteString(QStringLiteral("abc")));
        }
        EXPECT_FALSE(file.Commit());
        EXPECT_EQ(file.Status, StatusWriteFailed);
    }
    EXPECT_EQ(ReadAll(path), QByteArray("old page"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("page.corvane")});
}

}  // namespace
