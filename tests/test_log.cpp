// The diagnostic log: levels, the exact bytes of a line (byte-order mark, UTF-16LE,
// time prefix, CR LF), printf-style messages and their 511-character limit, a file
// deleted or kept, the pending list of 100 lines while the file cannot be opened or
// another writer holds it, concurrent callers, the level and path fixed at the first
// call, and the process-wide log's file in the documents folder.
#include "tests/FileSizeLimit.h"
#include "tests/TemporaryUserFolders.h"
#include "base/Debug.h"
#include "base/Settings.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// ---------------------------------------------------------------------------------
// Helpers

// UTF-16 little-endian bytes of a text, written out unit by unit.
QByteArray Utf16Le(const QString& text) {
    QByteArray out;
    for (QChar c : text) {
        out.append(char(c.unicode() & 0xFF));
        out.append(char(c.unicode() >> 8));
    }
    return out;
}

const QByteArray kBom("\xFF\xFE", 2);

QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// The lines of a log file: checks the single byte-order mark at the start, decodes
// UTF-16LE and splits at CR LF; the file must end with CR LF.
QStringList LogLines(const QByteArray& bytes) {
    EXPECT_TRUE(bytes.startsWith(kBom));
    EXPECT_EQ(bytes.size() % 2, 0);
    QString text;
    for (qsizetype k = 2; k + 1 < bytes.size(); k += 2)
        text.append(QChar(char16_t(uchar(bytes[k]) | uchar(bytes[k + 1]) << 8)));
    EXPECT_FALSE(text.contains(QChar(0xFEFF))) << "a second byte-order mark";
    EXPECT_TRUE(text.isEmpty() || text.endsWith(QStringLiteral("\r\n")));
    QStringList lines = text.split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    return lines;
}

// The message part of a line, after "dd.mm.yyyy hh:mm:ss.mmm - ".
QString MessageOf(const QString& line) {
    static const QRegularExpression prefix(
        QStringLiteral("^\\d\\d\\.\\d\\d\\.\\d\\d\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d - "));
    const QRegularExpressionMatch m = prefix.match(line);
    EXPECT_TRUE(m.hasMatch()) << line.toStdString();
    return m.hasMatch() ? line.mid(m.capturedLength()) : QString();
}

QStringList Messages(const QByteArray& bytes) {
    QStringList out;
    for (const QString& line : LogLines(bytes)) out << MessageOf(line);
    return out;
}

const QDateTime kTime(QDate(2019, 3, 7), QTime(14, 5, 9, 42));
const char* const kPrefix = "07.03.2019 14:05:09.042 - ";

// A log whose level, path and clock the test controls. The sources count how often
// they are asked.
class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        path_ = dir_.filePath(QStringLiteral("corvane.log"));
    }

    std::unique_ptr<CDebug> MakeLog() {
        return std::make_unique<CDebug>(CDebug::Sources{
            [this] {
                ++levelCalls_;
                return level_.load();
            },
            [this] {
                ++pathCalls_;
                return path_;
            },
            [this] { return stepping_ ? kTime.addMSecs(ticks_++) : time_; },
        });
    }

    QByteArray File() const { return ReadBytes(path_); }

    QTemporaryDir dir_;
    std::atomic<int> level_{3};
    QString path_;
    QDateTime time_ = kTime;
    bool stepping_ = false;  // each reading of the clock is one millisecond later
    std::atomic<qint64> ticks_{0};
    std::atomic<int> levelCalls_{0};
    std::atomic<int> pathCalls_{0};
};

// ---------------------------------------------------------------------------------
// Levels

struct LevelCase {
    int configured;
    std::vector<int> written;  // of the lines logged at levels 1, 2 and 3
};

TEST_F(LogTest, ALineIsWrittenOnlyWhenItsLevelIsWithinTheConfiguredLevel) {
    const LevelCase cases[] = {
        {1, {1}}, {2, {1, 2}}, {3, {1, 2, 3}}, {4, {1, 2, 3}}, {99, {1, 2, 3}},
    };
    for (const LevelCase& c : cases) {
        SCOPED_TRACE(c.configured);
        QFile::remove(path_);
        level_ = c.configured;
        auto log = MakeLog();
        for (int level : {3, 1, 2, 3, 2, 1}) log->Write(level, "level %d", {level});
        QStringList expected;
        for (int level : {3, 1, 2, 3, 2, 1})
            if (std::find(c.written.begin(), c.written.end(), level) != c.written.end())
                expected << QStringLiteral("level %1").arg(level);
        EXPECT_EQ(Messages(File()), expected);
        EXPECT_EQ(log->PendingCount(), 0);
    }
}

TEST_F(LogTest, LevelZeroOrBelowWritesNothingAndCreatesNoFile) {
    for (int configured : {0, -1}) {
        SCOPED_TRACE(configured);
        level_ = configured;
        pathCalls_ = 0;
        auto log = MakeLog();
        for (int level : {1, 2, 3}) log->Write(level, "CMainFrame::OnCreate() build: [%s]", {"Oct  9 2019"});
        EXPECT_FALSE(QFileInfo::exists(path_));
        EXPECT_EQ(log->PendingCount(), 0);
        EXPECT_EQ(pathCalls_.load(), 0) << "no file path is built while logging is off";
        EXPECT_TRUE(log->FilePath().isEmpty());
    }
}

// ---------------------------------------------------------------------------------
// The bytes of a line

TEST_F(LogTest, TheFirstLineStartsTheFileWithAByteOrderMarkThenUtf16LeTextAndCrLf) {
    auto log = MakeLog();
    log->Write(1, "CRender::RenderFrame(): FAILED = %08X", {0x8876086Cu});
    const QByteArray expected =
        QByteArray("\xFF\xFE"
                   "0\x00"
                   "7\x00"
                   ".\x00"
                   "0\x00"
                   "3\x00"
                   ".\x00",
                   14) +
        Utf16Le(QStringLiteral("2019 14:05:09.042 - CRender::RenderFrame(): FAILED = 8876086C")) +
        QByteArray("\r\x00\n\x00", 4);
    EXPECT_EQ(File().toHex(' '), expected.toHex(' '));
}

TEST_F(LogTest, FurtherLinesAreAppendedWithoutASecondByteOrderMark) {
    auto log = MakeLog();
    log->Write(2, "CFrameScript::LoadFile(%s) = %d", {"/srv/pages/show.xml", 1});
    time_ = QDateTime(QDate(2019, 3, 7), QTime(14, 5, 10, 5));
    log->Write(1, "CMainFrame::OnDestroy()", {});
    EXPECT_EQ(File(), kBom +
                          Utf16Le(QStringLiteral("07.03.2019 14:05:09.042 - CFrameScript::LoadFile(/srv/pages/show.xml) = 1\r\n"
                                                 "07.03.2019 14:05:10.005 - CMainFrame::OnDestroy()\r\n")));
}

struct ClockCase {
    QDateTime time;
    const char* prefix;
};

TEST_F(LogTest, ThePrefixIsDayMonthYearHourMinuteSecondMillisecondZeroPadded) {
    const ClockCase cases[] = {
        {QDateTime(QDate(2019, 3, 7), QTime(14, 5, 9, 42)), "07.03.2019 14:05:09.042 - "},
        {QDateTime(QDate(2024, 12, 31), QTime(23, 59, 59, 999)), "31.12.2024 23:59:59.999 - "},
        {QDateTime(QDate(2001, 1, 1), QTime(0, 0, 0, 0)), "01.01.2001 00:00:00.000 - "},
        {QDateTime(QDate(2020, 2, 29), QTime(9, 8, 7, 6)), "29.02.2020 09:08:07.006 - "},
        {QDateTime(QDate(999, 10, 5), QTime(12, 30, 0, 100)), "05.10.0999 12:30:00.100 - "},
    };
    auto log = MakeLog();
    QStringList expected;
    for (const ClockCase& c : cases) {
        time_ = c.time;
        log->Write(1, "tick", {});
        expected << QString::fromLatin1(c.prefix) + QStringLiteral("tick");
    }
    EXPECT_EQ(LogLines(File()), expected);
}

struct FormatCase {
    const char* format;
    std::vector<FormatArg> args;
    QString message;
};

TEST_F(LogTest, MessagesAreFormattedPrintfStyle) {
    const FormatCase cases[] = {
        {"CFrame::PresentFrame(%08X): start display", {0x1A2Bu}, QStringLiteral("CFrame::PresentFrame(00001A2B): start display")},
        {"CRender::RenderFrame(): FAILED = %08X", {int(0x88760868)}, QStringLiteral("CRender::RenderFrame(): FAILED = 88760868")},
        {"CRender::RenderFrame(): FAILED = %08X", {-1}, QStringLiteral("CRender::RenderFrame(): FAILED = FFFFFFFF")},
        {"CDlgPlugin::OnPlaybackStatus(%d) = %d", {3, -1}, QStringLiteral("CDlgPlugin::OnPlaybackStatus(3) = -1")},
        {"CFrameScript::LoadFile(%s) = %d", {QStringLiteral("/tmp/Zürich €.xml"), 0},
         QStringLiteral("CFrameScript::LoadFile(/tmp/Zürich €.xml) = 0")},
        {"render size: %d x %d", {28800, 16200}, QStringLiteral("render size: 28800 x 16200")},
        {"%s|%5d|%-4s|%x|%u", {"a", 42, "b", 255, 7u}, QStringLiteral("a|   42|b   |ff|7")},
        {"100%% done", {}, QStringLiteral("100% done")},
        {"no arguments", {}, QStringLiteral("no arguments")},
        {"%s", {QString::fromUcs4(U"clapper \U0001F3AC")}, QString::fromUcs4(U"clapper \U0001F3AC")},
    };
    auto log = MakeLog();
    QByteArray expected = kBom;
    for (const FormatCase& c : cases) {
        SCOPED_TRACE(c.format);
        // Written through the same argument list a caller's call builds.
        switch (c.args.size()) {
        case 0: log->Write(1, c.format, {}); break;
        case 1: log->Write(1, c.format, {c.args[0]}); break;
        case 2: log->Write(1, c.format, {c.args[0], c.args[1]}); break;
        default: log->Write(1, c.format, {c.args[0], c.args[1], c.args[2], c.args[3], c.args[4]}); break;
        }
        expected += Utf16Le(QString::fromLatin1(kPrefix) + c.message + QStringLiteral("\r\n"));
        EXPECT_EQ(File(), expected);
    }
}

struct LengthCase {
    int length;     // of the formatted message
    int kept;       // characters written
};

TEST_F(LogTest, AMessageLongerThan511CharactersIsCutTo511) {
    const LengthCase cases[] = {{0, 0}, {510, 510}, {511, 511}, {512, 511}, {600, 511}, {5000, 511}};
    for (const LengthCase& c : cases) {
        SCOPED_TRACE(c.length);
        QFile::remove(path_);
        auto log = MakeLog();
        QString message;
        for (int k = 0; k < c.length; ++k) message.append(QChar(u'a' + k % 26));
        // Once as the format itself, once as an argument.
        log->Write(1, message.toLatin1().constData(), {});
        log->Write(1, "%s", {message});
        log->Write(1, "[%s]", {message});
        const QStringList lines = LogLines(File());
        ASSERT_EQ(lines.size(), 3);
        EXPECT_EQ(MessageOf(lines[0]), message.left(c.kept));
        EXPECT_EQ(MessageOf(lines[1]), message.left(c.kept));
        EXPECT_EQ(MessageOf(lines[2]), (u'[' + message + u']').left(511));
    }
}

TEST_F(LogTest, EveryArgumentKindReachesTheLine) {
    auto log = MakeLog();
    const QString text = QStringLiteral("qstring");
    const unsigned code = 0xDEADBEEFu;
    const long long big = 1234567890123LL;
    log->Write(1, "%s %s %08X %d %.2f %lld", {"chars", text, code, -5, 2.5, big});
    EXPECT_EQ(Messages(File()), QStringList{QStringLiteral("chars qstring DEADBEEF -5 2.50 1234567890123")});
}

// ---------------------------------------------------------------------------------
// The file on disk

TEST_F(LogTest, AFileDeletedWhileRunningIsRecreatedWithANewByteOrderMark) {
    auto log = MakeLog();
    log->Write(1, "first", {});
    ASSERT_TRUE(QFile::remove(path_));
    log->Write(1, "second", {});
    log->Write(1, "third", {});
    EXPECT_EQ(File(), kBom + Utf16Le(QString::fromLatin1(kPrefix) + QStringLiteral("second\r\n") +
                                     QString::fromLatin1(kPrefix) + QStringLiteral("third\r\n")));
}

TEST_F(LogTest, AnExistingFileIsKeptAndAppendedTo) {
    const QByteArray old = kBom + Utf16Le(QStringLiteral("06.03.2019 08:00:00.000 - earlier run\r\n"));
    WriteBytes(path_, old);
    auto log = MakeLog();
    log->Write(2, "this run", {});
    EXPECT_EQ(File(), old + Utf16Le(QString::fromLatin1(kPrefix) + QStringLiteral("this run\r\n")));
}

TEST_F(LogTest, AnExistingFileWithoutAByteOrderMarkGetsNoneInserted) {
    const QByteArray old = Utf16Le(QStringLiteral("foreign\r\n"));
    WriteBytes(path_, old);
    auto log = MakeLog();
    log->Write(1, "line", {});
    EXPECT_EQ(File(), old + Utf16Le(QString::fromLatin1(kPrefix) + QStringLiteral("line\r\n")));
}

TEST_F(LogTest, AnExistingEmptyFileStartsWithAByteOrderMark) {
    WriteBytes(path_, QByteArray());
    auto log = MakeLog();
    log->Write(1, "line", {});
    EXPECT_EQ(File(), kBom + Utf16Le(QString::fromLatin1(kPrefix) + QStringLiteral("line\r\n")));
}

TEST_F(LogTest, TheFileIsNotHeldBetweenLines) {
    auto log = MakeLog();
    log->Write(1, "one", {});
    const int fd = ::open(QFile::encodeName(path_).constData(), O_RDWR);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0) << "the log still holds the file";
    ::close(fd);
    log->Write(1, "two", {});
    EXPECT_EQ(Messages(File()), (QStringList{QStringLiteral("one"), QStringLiteral("two")}));
}

// ---------------------------------------------------------------------------------
// The pending list

TEST_F(LogTest, LinesLoggedWhileTheFileCannotBeOpenedAreWrittenFirstUpTo100) {
    const QString folder = dir_.filePath(QStringLiteral("not yet"));
    path_ = folder + QStringLiteral("/corvane.log");
    stepping_ = true;
    auto log = MakeLog();
    for (int k = 0; k < 150; ++k) log->Write(1, "line %d", {k});
    EXPECT_EQ(log->PendingCount(), 100);
    EXPECT_FALSE(QFileInfo::exists(path_));

    ASSERT_TRUE(QDir().mkpath(folder));
    log->Write(1, "next", {});
    EXPECT_EQ(log->PendingCount(), 0);

    const QStringList lines = LogLines(File());
    ASSERT_EQ(lines.size(), 101);
    for (int k = 0; k < 100; ++k) {
        // Each pending line keeps the time at which it was logged.
        const QString stamp = kTime.addMSecs(k).toString(QStringLiteral("dd.MM.yyyy hh:mm:ss.zzz"));
        EXPECT_EQ(lines[k], stamp + QStringLiteral(" - line %1").arg(k));
    }
    EXPECT_EQ(lines[100], kTime.addMSecs(150).toString(QStringLiteral("dd.MM.yyyy hh:mm:ss.zzz")) + QStringLiteral(" - next"));

    log->Write(1, "after", {});
    EXPECT_EQ(LogLines(File()).size(), 102) << "the dropped lines do not come back";
}

// Holds an exclusive flock on a file through a descriptor of its own.
struct DescriptorLock {
    explicit DescriptorLock(const QString& path) {
        fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT, 0644);
        locked = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    }
    void Release() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
    ~DescriptorLock() { Release(); }
    int fd = -1;
    bool locked = false;
};

TEST_F(LogTest, WhileAnotherDescriptorLocksTheFileLinesPendAndFollowOnceItIsReleased) {
    auto log = MakeLog();
    log->Write(1, "before", {});
    const QByteArray before = File();
    {
        DescriptorLock other(path_);
        ASSERT_TRUE(other.locked);
        for (int k = 0; k < 3; ++k) log->Write(1, "held %d", {k});
        EXPECT_EQ(log->PendingCount(), 3);
        EXPECT_EQ(File(), before);
    }
    log->Write(1, "released", {});
    EXPECT_EQ(log->PendingCount(), 0);
    EXPECT_EQ(Messages(File()), (QStringList{QStringLiteral("before"), QStringLiteral("held 0"), QStringLiteral("held 1"),
                                             QStringLiteral("held 2"), QStringLiteral("released")}));
}

TEST_F(LogTest, WhileAnotherProcessLocksTheFileLinesPendAndFollowOnceItIsReleased) {
    auto log = MakeLog();
    log->Write(1, "before", {});
    int toChild[2], toParent[2];
    ASSERT_EQ(::pipe(toChild), 0);
    ASSERT_EQ(::pipe(toParent), 0);
    const QByteArray file = QFile::encodeName(path_);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // The child takes the lock, says so, and keeps it until told to go.
        const int fd = ::open(file.constData(), O_RDWR);
        const char ok = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 'L' : 'E';
        if (::write(toParent[1], &ok, 1) != 1) ::_exit(2);
        char go;
        if (::read(toChild[0], &go, 1) != 1) ::_exit(3);
        ::_exit(0);
    }
    ::close(toChild[0]);
    ::close(toParent[1]);
    char state = 0;
    ASSERT_EQ(::read(toParent[0], &state, 1), 1);
    EXPECT_EQ(state, 'L');

    log->Write(1, "held %d", {1});
    log->Write(2, "held %d", {2});
    EXPECT_EQ(log->PendingCount(), 2);
    EXPECT_EQ(Messages(File()), QStringList{QStringLiteral("before")});

    ASSERT_EQ(::write(toChild[1], "g", 1), 1);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ::close(toChild[1]);
    ::close(toParent[0]);

    log->Write(1, "released", {});
    EXPECT_EQ(log->PendingCount(), 0);
    EXPECT_EQ(Messages(File()), (QStringList{QStringLiteral("before"), QStringLiteral("held 1"), QStringLiteral("held 2"),
                                             QStringLiteral("released")}));
}

struct UnusablePathCase {
    const char* name;
    std::function<QString(const QTemporaryDir&)> path;
};

TEST_F(LogTest, APathThatCanNeverBeOpenedKeepsAtMost100LinesPendingWithoutFailing) {
    const UnusablePathCase cases[] = {
        {"no documents folder (empty path)", [](const QTemporaryDir&) { return QString(); }},
        {"the path is a folder", [](const QTemporaryDir& d) { return d.path(); }},
        {"a parent is a plain file",
         [](const QTemporaryDir& d) {
             WriteBytes(d.filePath(QStringLiteral("plain")), "x");
             return d.filePath(QStringLiteral("plain/corvane.log"));
         }},
    };
    for (const UnusablePathCase& c : cases) {
        SCOPED_TRACE(c.name);
        path_ = c.path(dir_);
        auto log = MakeLog();
        for (int k = 0; k < 99; ++k) log->Write(1 + k % 3, "line %d", {k});
        EXPECT_EQ(log->PendingCount(), 99);
        for (int k = 99; k < 250; ++k) log->Write(1 + k % 3, "line %d", {k});
        EXPECT_EQ(log->PendingCount(), 100);
        EXPECT_EQ(log->FilePath(), path_);
    }
}

// ---------------------------------------------------------------------------------
// The first call decides

TEST_F(LogTest, TheLevelAndThePathAreDecidedAtTheFirstCallOnly) {
    level_ = 1;
    auto log = MakeLog();
    EXPECT_EQ(levelCalls_.load(), 0) << "nothing is read before the first call";
    log->Write(1, "first", {});
    const QString firstPath = path_;

    level_ = 3;
    path_ = dir_.filePath(QStringLiteral("other.log"));
    log->Write(3, "detail", {});
    log->Write(2, "lifecycle", {});
    log->Write(1, "failure", {});

    EXPECT_EQ(ReadBytes(firstPath), kBom + Utf16Le(QString::fromLatin1(kPrefix) + QStringLiteral("first\r\n") +
                                                   QString::fromLatin1(kPrefix) + QStringLiteral("failure\r\n")));
    EXPECT_FALSE(QFileInfo::exists(path_));
    EXPECT_EQ(log->FilePath(), firstPath);
    EXPECT_EQ(levelCalls_.load(), 1);
    EXPECT_EQ(pathCalls_.load(), 1);
}

TEST_F(LogTest, LoggingOffAtTheFirstCallStaysOffWhenTheLevelChangesLater) {
    level_ = 0;
    auto log = MakeLog();
    log->Write(1, "first", {});
    level_ = 3;
    log->Write(1, "later", {});
    log->Write(3, "later detail", {});
    EXPECT_FALSE(QFileInfo::exists(path_));
    EXPECT_EQ(levelCalls_.load(), 1);
    EXPECT_EQ(pathCalls_.load(), 0);
}

TEST_F(LogTest, AFirstCallAboveTheLevelStillDecidesTheLevel) {
    level_ = 1;
    auto log = MakeLog();
    log->Write(3, "too detailed", {});
    level_ = 3;
    log->Write(3, "still too detailed", {});
    log->Write(1, "written", {});
    EXPECT_EQ(Messages(File()), QStringList{QStringLiteral("written")});
    EXPECT_EQ(levelCalls_.load(), 1);
}

// ---------------------------------------------------------------------------------
// Concurrent callers

class LogThreadsTest : public LogTest, public ::testing::WithParamInterface<int> {};

TEST_P(LogThreadsTest, ConcurrentCallersProduceCompleteLinesEachExactlyOnceInCallOrder) {
    const int threads = GetParam();
    const int perThread = 150;
    stepping_ = true;
    auto log = MakeLog();
    std::atomic<bool> go{false};
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            // Lines of different lengths per thread, so a torn line cannot pass as whole.
            const QString filler(t * 37 % 300, QChar(u'A' + t));
            while (!go.load()) std::this_thread::yield();
            for (int k = 0; k < perThread; ++k) log->Write(1 + (k + t) % 2, "thread %d line %d %s", {t, k, filler});
        });
    }
    go = true;
    for (std::thread& w : workers) w.join();

    const QStringList lines = LogLines(File());
    ASSERT_EQ(lines.size(), threads * perThread);
    static const QRegularExpression shape(QStringLiteral(
        "^(\\d\\d\\.\\d\\d\\.\\d\\d\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d) - thread (\\d+) line (\\d+) ([A-Z]*)$"));
    std::map<int, int> nextLine;  // per thread, the line number expected next
    std::set<std::pair<int, int>> seen;
    QString previousStamp;
    for (const QString& line : lines) {
        const QRegularExpressionMatch m = shape.match(line);
        ASSERT_TRUE(m.hasMatch()) << line.toStdString();
        const int t = m.captured(2).toInt();
        const int k = m.captured(3).toInt();
        ASSERT_GE(t, 0);
        ASSERT_LT(t, threads);
        EXPECT_EQ(m.captured(4), QString(t * 37 % 300, QChar(u'A' + t)));
        EXPECT_TRUE(seen.insert({t, k}).second) << "twice: " << line.toStdString();
        EXPECT_EQ(k, nextLine[t]) << "out of order: " << line.toStdString();
        nextLine[t] = k + 1;
        // The clock is read in the order the lines reach the file.
        EXPECT_LT(previousStamp, m.captured(1));
        previousStamp = m.captured(1);
    }
    EXPECT_EQ(seen.size(), size_t(threads * perThread));
    EXPECT_EQ(log->PendingCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Threads, LogThreadsTest, ::testing::Values(2, 8));

// ---------------------------------------------------------------------------------
// The process-wide log

class GlobalLogTest : public TemporaryUserFolders {
protected:
    GlobalLogTest() : TemporaryUserFolders(true) {}
};

// The process-wide log is decided once per process, so this is its only test.
TEST_F(GlobalLogTest, TheProcessLogUsesTheStoredLevelAndTheDocumentsFolderWithTheProgramName) {
    CSettingsStore store(config_ + QStringLiteral("/Norvik/Corvane.ini"));
    ASSERT_TRUE(store.Set(Settings::DebugLog, 2));
    ASSERT_EQ(CSettingsStore::DefaultPath(), store.Path());

    CDebug::Log(1, "CMainFrame::OnCreate() build: [%s]", "Oct  9 2019");
    CDebug::Log(3, "CFrame::Play(%08X)", 0x10u);
    CDebug::Log(2, "CMainDoc::ScriptStart()");

    const QString expected = home_ + QStringLiteral("/Documents/") +
                             QString::fromLocal8Bit(program_invocation_short_name) + QStringLiteral(".log");
    EXPECT_EQ(CDebug::Global().FilePath(), expected);
    const QStringList lines = LogLines(ReadBytes(expected));
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(MessageOf(lines[0]), QStringLiteral("CMainFrame::OnCreate() build: [Oct  9 2019]"));
    EXPECT_EQ(MessageOf(lines[1]), QStringLiteral("CMainDoc::ScriptStart()"));
}

}  // namespace

namespace {

// A full disk leaves no half line in the log: the lines wait and follow once there
// is room, complete and in order.
TEST_F(LogTest, OnAFullDiskLinesWaitWholeAndFollowWhenThereIsRoom) {
    auto log = MakeLog();
    log->Write(1, "first", {});
    const qint64 size = QFileInfo(path_).size();
    {
        FileSizeLimit limit(rlim_t(size + 10));  // room for part of a line only
        ASSERT_TRUE(limit.Active());
        log->Write(1, "second line, longer than the room left", {});
        log->Write(1, "third", {});
        EXPECT_EQ(log->PendingCount(), 2);
        EXPECT_EQ(QFileInfo(path_).size(), size);
    }
    log->Write(1, "fourth", {});
    EXPECT_EQ(log->PendingCount(), 0);
    const QStringList lines = LogLines(File());
    ASSERT_EQ(lines.size(), 4);
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral(" - second line, longer than the room left")));
    EXPECT_TRUE(lines[3].endsWith(QStringLiteral(" - fourth")));
}

// A pipe named as the log would block whoever logs; it is not written.
TEST_F(LogTest, APipeNamedAsTheLogIsNotWritten) {
    ASSERT_EQ(::mkfifo(QFile::encodeName(path_).constData(), 0600), 0);
    const int reader = ::open(QFile::encodeName(path_).constData(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    auto log = MakeLog();
    log->Write(1, "line", {});
    EXPECT_EQ(log->PendingCount(), 1);
    char byte;
    EXPECT_LE(::read(reader, &byte, 1), 0);
    ::close(reader);
}

}  // namespace
