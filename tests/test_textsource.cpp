// Where an object's text comes from: the timer and clock formatters, the CSV line
// parser, text, RTF and CSV files as sources, change detection, values put into
// the rich-text template, CSV rows loaded for rendering, the default template and
// the text thread's source step.
#include "playback/TextMovement.h"
#include "playback/TextSource.h"
#include "base/NonStdioFile.h"
#include "tests/RtfRoundTrip.h"
#include "tests/TextRendererFixture.h"

#include <QDate>
#include <QFile>
#include <QFont>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

QString Repeat(const QString& s, int n) { return s.repeated(n); }

// The plain text an RTF reads back as, through a control of its own.
QString PlainOf(const QByteArray& rtf) {
    CRichEditExCtrl control(1, false);
    control.StreamIn(rtf);
    return control.PlainText();
}

// The text a source gives for rendering, through the control of its movement.
QString Loaded(CFrame& frame) {
    CRichEditExCtrl& control = TextSource::ControlFor(frame, TextRenderer());
    if (!TextSource::LoadTextToRender(frame, control)) return QStringLiteral("<none>");
    return control.PlainText();
}

QTextCharFormat FormatAt(CRichEditExCtrl& control, int i) {
    QTextCursor cursor(&control.document);
    cursor.setPosition(i + 1);
    return cursor.charFormat();
}

// The default template's fixed parts, byte for byte.
const QByteArray TemplateHead =
    "{\\rtf1\\ansi\\ansicpg1251\\deff0\\deflang1049{\\fonttbl{\\f0\\fnil\\fcharset0 Arial;}"
    "{\\f1\\fnil\\fcharset204{\\*\\fname Arial;}Arial CYR;}}\r\n"
    "{\\colortbl ;\\red255\\green255\\blue255;}\r\n"
    "\\viewkind4\\uc1\\pard\\cf1\\lang1033\\b\\fs56 ";
const QByteArray TemplateTail = "\\lang1049\\f1\\par\r\n}\r\n";

constexpr std::time_t Stamp0 = 1700000000;

class TextSourceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QString Write(const QString& name, const QByteArray& bytes) {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        EXPECT_EQ(file.write(bytes), bytes.size());
        return path;
    }

    static void SetWriteTime(const QString& path, std::time_t seconds, long nanos) {
        const timespec times[2] = {{seconds, nanos}, {seconds, nanos}};
        ASSERT_EQ(utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    }

    static long StoredNanos(const QString& path) {
        struct stat info {};
        return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mtim.tv_nsec : -1;
    }

    QTemporaryDir dir;
};

// ---------------------------------------------------------------------------------
// Timer text

struct TimerCase {
    const char* format;
    int start, stop, direction;
    bool playing;
    int clockMs, micros;
    const char* expected;
};

TEST(TimerText, CountsUpAndDownByItsRules) {
    const TimerCase cases[] = {
        // Counting down a minute: the next whole second is shown.
        {"%M:%S", 60, 0, 1, false, 0, 0, "01:00"},
        {"%M:%S", 60, 0, 1, true, 400, 0, "01:00"},
        {"%M:%S", 60, 0, 1, true, 1000, 0, "00:59"},
        {"%s.%d", 60, 0, 1, true, 400, 0, "59.6"},
        {"%S", 60, 0, 1, true, 400, 0, "00"},
        // Without seconds shown, minutes round up; without minutes, hours do.
        {"%H:%M", 3630, 0, 1, false, 0, 0, "01:01"},
        {"%H", 3630, 0, 1, false, 0, 0, "02"},
        {"%H:%M", 3599, 0, 1, false, 0, 0, "01:00"},
        {"%n", 3630, 0, 1, false, 0, 0, "61"},
        // The stop value holds a countdown; the µs lift it to the next second.
        {"%s", 60, 10, 1, true, 55000, 0, "10"},
        {"%s", 60, 10, 1, true, 50000, 0, "10"},
        {"%s", 60, 10, 1, true, 49500, 250, "11"},
        {"%s", 0, 0, 1, true, 0, 500, "0"},
        // Counting up: the stop value caps it, 0 means no stop.
        {"%H:%M:%S", 0, 10, 0, true, 10500, 0, "00:00:10"},
        {"%H:%M:%S.%m", 0, 0, 0, true, 3723004, 500, "01:02:03.004"},
        {"%s|%h|%d|%m", 0, 0, 0, true, 1234, 0, "1|23|2|234"},
        {"%s.%m", 0, 10, 0, true, 9999, 999, "9.999"},
        {"%s", 5, 0, 0, false, 9999, 0, "5"},
        {"%n:%S %H", 3725, 0, 0, false, 0, 0, "62:05 01"},
        {"Left %s s", 7, 0, 0, false, 0, 0, "Left 7 s"},
    };
    for (const TimerCase& c : cases)
        EXPECT_EQ(TextSource::TimerText(QString::fromLatin1(c.format), c.start, c.stop, c.direction, c.playing,
                                        c.clockMs, c.micros),
                  QString::fromLatin1(c.expected))
            << c.format << " start " << c.start << " stop " << c.stop << " dir " << c.direction << " clock "
            << c.clockMs << "." << c.micros;
}

// ---------------------------------------------------------------------------------
// Clock text

TEST(ClockText, FormatsWithinOneHundredTwentySevenCharacters) {
    std::tm t{};
    t.tm_year = 124;
    t.tm_mon = 1;
    t.tm_mday = 29;
    t.tm_hour = 7;
    t.tm_min = 5;
    t.tm_sec = 9;
    t.tm_wday = 4;
    t.tm_yday = 59;
    const QString face = U("\xF0\x9F\x98\x80");  // one character outside the BMP: two UTF-16 units
    const struct {
        QString format, expected;
    } cases[] = {
        {QStringLiteral("%Y-%m-%d %H:%M:%S"), QStringLiteral("2024-02-29 07:05:09")},
        {QStringLiteral("%j|%%"), QStringLiteral("060|%")},
        {U("\xCE\xA9 %H"), U("\xCE\xA9 07")},
        {QString(), QString()},
        {Repeat(QStringLiteral("x"), 127), Repeat(QStringLiteral("x"), 127)},
        {Repeat(QStringLiteral("x"), 128), QString()},
        {Repeat(QStringLiteral("%Y"), 31) + QStringLiteral("abc"), Repeat(QStringLiteral("2024"), 31) + QStringLiteral("abc")},
        {Repeat(QStringLiteral("%Y"), 32), QString()},
        {Repeat(face, 63) + QStringLiteral("x"), Repeat(face, 63) + QStringLiteral("x")},
        {Repeat(face, 64), QString()},
    };
    for (const auto& c : cases) EXPECT_EQ(TextSource::ClockText(c.format, t), c.expected) << c.format.toStdString();
}

// ---------------------------------------------------------------------------------
// CSV lines

TEST(CsvLine, SplitsQuotedAndUnquotedFields) {
    const struct {
        const char* line;
        char separator;
        std::vector<const char*> fields;
    } cases[] = {
        {R"(a;"b;c";"d""e")", ';', {"a", "b;c", "d\"e"}},
        {"x;", ';', {"x", ""}},
        {"", ';', {""}},
        {";", ';', {"", ""}},
        {R"("a")", ';', {"a"}},
        {R"("a)", ';', {"a"}},
        {R"("a"b;c)", ';', {"ab;c"}},
        {R"("";x)", ';', {"", "x"}},
        {R"("""")", ';', {"\"\""}},
        {R"("x"";y)", ';', {"x\"", "y"}},
        {R"("a";)", ';', {"a", ""}},
        {R"(a"b;c)", ';', {"a\"b", "c"}},
        {R"( "a";b)", ';', {" \"a\"", "b"}},
        {R"(a,"b,c";d)", ',', {"a", "b,c;d"}},
        {"a;b,c", ',', {"a;b", "c"}},
    };
    for (const auto& c : cases) {
        QStringList expected;
        for (const char* f : c.fields) expected.append(QString::fromLatin1(f));
        EXPECT_EQ(TextSource::ParseCsvLine(QString::fromLatin1(c.line), QChar::fromLatin1(c.separator)), expected)
            << c.line;
    }
}

// ---------------------------------------------------------------------------------
// Bar value

TEST(BarValue, LeadingIntegerClampedPlusOne) {
    const struct {
        const char* text;
        int expected;
    } cases[] = {
        {"42", 43}, {"-5", 1}, {"250", 101}, {"abc", 1}, {"", 1}, {"0", 1}, {"100", 101}, {"99", 100},
        {"7 apples", 8}, {"3.9", 4}, {"12\r\n50", 13}, {"99999999999999999999", 101}, {"-99999999999999999999", 1},
    };
    for (const auto& c : cases) EXPECT_EQ(TextSource::BarValueOf(QString::fromLatin1(c.text)), c.expected) << c.text;
}

// ---------------------------------------------------------------------------------
// Putting a value into the template

TEST(PutValue, ReplacesTheFirstPlaceholderOrEverything) {
    const struct {
        const char* rich;
        const char* value;
        const char* expected;
    } cases[] = {
        {"{\\rtf1 A %1% B %1%}", "x", "A x B %1%"},
        {"{\\rtf1 nothing to fill}", "12:34", "12:34"},
        {"{\\rtf1 line one\\par line two}", "v", "v"},
        {"{\\rtf1 %1%}", "", ""},
        // What rich text cannot hold stays out; line ends become paragraphs.
        {"{\\rtf1 [%1%]}", "a\x01" "b\tc\r\nd\re", "[ab\tc\nd\ne]"},
    };
    for (const auto& c : cases) {
        CRichEditExCtrl control(1, false);
        control.StreamIn(QByteArray(c.rich));
        TextSource::PutValue(control, QString::fromLatin1(c.value));
        EXPECT_EQ(control.PlainText(), QString::fromLatin1(c.expected)) << c.rich;
    }
}

TEST(PutValue, KeepsTheFormattingAtThePlaceholder) {
    const QByteArray rich = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\fs20 Now {\\b\\fs56 %1%} ok}";
    CRichEditExCtrl control(1, false);
    control.StreamIn(rich);
    TextSource::PutValue(control, QStringLiteral("12:34"));
    ASSERT_EQ(control.PlainText(), QStringLiteral("Now 12:34 ok"));
    for (int i = 4; i < 9; ++i) {
        EXPECT_EQ(FormatAt(control, i).fontWeight(), QFont::Bold) << i;
        EXPECT_DOUBLE_EQ(FormatAt(control, i).fontPointSize(), 28.0) << i;
    }
    EXPECT_NE(FormatAt(control, 0).fontWeight(), QFont::Bold);
    EXPECT_DOUBLE_EQ(FormatAt(control, 0).fontPointSize(), 10.0);
    EXPECT_NE(FormatAt(control, 10).fontWeight(), QFont::Bold);
}

TEST(PutValue, DefaultTemplateTakesCyrillicValuesBoldAt28Points) {
    CFrame frame;
    frame.TextSource = SourceClock;
    const QString value = U("\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 12:34");  // "Привет 12:34"
    CRichEditExCtrl control(1, false);
    control.StreamIn(TextSource::DefaultTemplate(frame));
    TextSource::PutValue(control, value);
    EXPECT_EQ(control.PlainText(), value + u'\n');
    for (int i : {0, int(value.size()) - 1}) {
        EXPECT_EQ(FormatAt(control, i).fontWeight(), QFont::Bold) << i;
        EXPECT_DOUBLE_EQ(FormatAt(control, i).fontPointSize(), 28.0) << i;
    }
}

TEST(PutValue, ControlFollowsTheMovement) {
    CFrame frame;
    for (int movement : {MovementFixed, MovementHorizontal, MovementVertical}) {
        frame.Movement = movement;
        CRichEditExCtrl& control = TextSource::ControlFor(frame, TextRenderer());
        EXPECT_EQ(&control, movement == MovementHorizontal ? TextRenderer().singleLine.get()
                                                           : TextRenderer().multiLine.get())
            << movement;
    }
}

// ---------------------------------------------------------------------------------
// Reading the sources

TEST_F(TextSourceTest, TextFileLinesJoinByMovementInItsEncoding) {
    const QByteArray lines = "a\r\nb\nc";
    const QByteArray umlauts = "Gr\xC3\xBC\xC3\x9F" "e";
    const struct {
        QByteArray bytes;
        int encoding, movement;
        QString expected;
    } cases[] = {
        {lines, Utf8, MovementFixed, QStringLiteral("a\r\nb\r\nc")},
        {lines, Utf8, MovementHorizontal, QStringLiteral("abc")},
        {lines, Utf8, MovementVertical, QStringLiteral("a\r\nb\r\nc")},
        {QByteArray(), Utf8, MovementFixed, QString()},
        {umlauts, Utf8, MovementFixed, U("Gr\xC3\xBC\xC3\x9F" "e")},
        {umlauts, AnsiOem, MovementFixed, U("Gr\xC3\x83\xC2\xBC\xC3\x83\xC5\xB8" "e")},  // read as windows-1252
    };
    CFrame frame;
    frame.FileName = Write(QStringLiteral("lines.txt"), QByteArray());
    for (const auto& c : cases) {
        Write(QStringLiteral("lines.txt"), c.bytes);
        frame.Encoding = c.encoding;
        frame.Movement = c.movement;
        QString joined = QStringLiteral("stale");
        ASSERT_TRUE(TextSource::ReadTextFile(frame, joined));
        EXPECT_EQ(joined, c.expected) << c.bytes.toStdString() << " encoding " << c.encoding << " movement "
                                      << c.movement;
    }
    frame.FileName = dir.filePath(QStringLiteral("missing.txt"));
    QString joined;
    EXPECT_FALSE(TextSource::ReadTextFile(frame, joined));
}

TEST_F(TextSourceTest, TextFileFillsTheTemplateAndKeepsItsStamp) {
    CFrame frame;
    frame.TextSource = SourceTextFile;
    frame.Encoding = Utf8;
    frame.RichText = "{\\rtf1 News: %1%}";
    frame.FileName = Write(QStringLiteral("news.txt"), "one\r\ntwo");
    SetWriteTime(frame.FileName, Stamp0, 123456789);

    ASSERT_EQ(TextSource::InitSource(frame, TextRenderer()), 1);
    EXPECT_EQ(Loaded(frame), QStringLiteral("News: one\ntwo"));
    EXPECT_EQ(frame.SourceFileNanos, int64_t(Stamp0) * 1000000000 + 123456789);
    const CalendarTime expected{2023, 11, 2, 14, 22, 13, 20, 123};  // 2023-11-14 22:13:20.123 UTC, a Tuesday
    EXPECT_EQ(frame.SourceFileTime, expected);

    frame.Movement = MovementHorizontal;
    ASSERT_EQ(TextSource::InitSource(frame, TextRenderer()), 1);
    EXPECT_EQ(Loaded(frame), QStringLiteral("News: onetwo"));

    Write(QStringLiteral("news.txt"), QByteArray());
    ASSERT_EQ(TextSource::InitSource(frame, TextRenderer()), 1);
    EXPECT_EQ(Loaded(frame), QStringLiteral("News: "));

    frame.FileName = dir.filePath(QStringLiteral("missing.txt"));
    EXPECT_EQ(TextSource::InitSource(frame, TextRenderer()), 0);
}

TEST_F(TextSourceTest, BarGraphTakesTheFilesLeadingNumber) {
    CFrame frame;
    frame.TextSource = SourceTextFile;
    frame.BarGraph = 1;
    frame.RichText = "{\\rtf1 %1%}";
    frame.FileName = Write(QStringLiteral("bar.txt"), "42\r\n7");
    ASSERT_EQ(TextSource::InitSource(frame, TextRenderer()), 1);
    EXPECT_EQ(frame.BarValue.load(), 43);
    Write(QStringLiteral("bar.txt"), "250");
    ASSERT_EQ(TextSource::InitSource(frame, TextRenderer()), 1);
    EXPECT_EQ(frame.BarValue.load(), 101);
}

TEST_F(TextSourceTest, RtfFileIsTakenWholeWhenLongerThanSevenBytes) {
    CFrame frame;
    frame.TextSource = SourceRtfFile;
    frame.FileName = Write(QStringLiteral("short.rtf"), "{\\rtf1}");
    EXPECT_EQ(TextSource::InitSource(frame, TextRenderer()), 0);

    const QByteArray content("{\\rtf1 x}\r\n\0tail\xFF", 17);
    frame.FileName = Write(QStringLiteral("whole.rtf"), content);
    SetWriteTime(frame.FileName, Stamp0, 5);
    ASSERT_EQ(TextSource::InitSource(frame, TextRenderer()), 1);
    EXPECT_EQ(frame.SourceRichText, content);
    EXPECT_EQ(frame.SourceFileNanos, int64_t(Stamp0) * 1000000000 + 5);

    frame.FileName = Write(QStringLiteral("eight.rtf"), "{\\rtf1 }");
    ASSERT_EQ(TextSource::InitSource(frame, TextRenderer()), 1);
    EXPECT_EQ(frame.SourceRichText, QByteArray("{\\rtf1 }"));

    frame.FileName = dir.filePath(QStringLiteral("missing.rtf"));
    EXPECT_EQ(TextSource::InitSource(frame, TextRenderer()), 0);
}

TEST_F(TextSourceTest, CsvFileBuildsPlaceholdersAndRows) {
    const QByteArray table = "Name;City\r\nBob;Paris\r\n\"Al;ice\";\"Rome\"\r\n";
    const struct {
        QByteArray bytes;
        int separator, header, result;
        QStringList placeholders;
        std::vector<QStringList> rows;
    } cases[] = {
        {table, 0, 1, 1, {"%Name%", "%City%"}, {{"Bob", "Paris"}, {"Al;ice", "Rome"}}},
        {table, 0, 0, 1, {"%1%", "%2%"}, {{"Name", "City"}, {"Bob", "Paris"}, {"Al;ice", "Rome"}}},
        {"a,b;c\nd", 1, 0, 1, {"%1%", "%2%"}, {{"a", "b;c"}, {"d"}}},
        {"Title", 0, 1, 1, {"%Title%"}, {}},
        {QByteArray(), 0, 1, 0, {}, {}},
        {QByteArray(), 0, 0, 1, {}, {}},
    };
    for (const auto& c : cases) {
        CFrame frame;
        frame.TextSource = SourceCsvFile;
        frame.Encoding = Utf8;
        frame.Separator = c.separator;
        frame.FirstLineIsHeader = c.header;
        frame.Table.Placeholders = {QStringLiteral("%old%")};
        frame.Table.Rows = {{QStringLiteral("old")}};
        frame.FileName = Write(QStringLiteral("table.csv"), c.bytes);
        SCOPED_TRACE(c.bytes.toStdString() + " header " + std::to_string(c.header));
        ASSERT_EQ(TextSource::InitSource(frame, TextRenderer()), c.result);
        if (!c.result) continue;
        EXPECT_EQ(frame.Table.Placeholders, c.placeholders);
        EXPECT_EQ(frame.Table.Rows, c.rows);
    }
    CFrame frame;
    frame.TextSource = SourceCsvFile;
    frame.FileName = dir.filePath(QStringLiteral("missing.csv"));
    EXPECT_EQ(TextSource::InitSource(frame, TextRenderer()), 0);
}

TEST(TextSource, ClockPutsTheTimeIntoTheTemplate) {
    CFrame frame;
    frame.TextSource = SourceClock;
    frame.ClockFormat = QStringLiteral("%Y");
    frame.RichText = "{\\rtf1 Year %1%}";
    const QString before = QString::number(QDate::currentDate().year());
    ASSERT_EQ(TextSource::InitSource(frame, TextRenderer()), 1);
    const QString after = QString::number(QDate::currentDate().year());
    EXPECT_TRUE(frame.LastValue == before || frame.LastValue == after) << frame.LastValue.toStdString();
    EXPECT_EQ(Loaded(frame), QStringLiteral("Year ") + frame.LastValue);
    EXPECT_EQ(TextSource::IsSourceChanged(frame), 0);

    // A template without a placeholder gives way to the clock text.
    frame.RichText = "{\\rtf1 no placeholder}";
    ASSERT_EQ(TextSource::InitSource(frame, TextRenderer()), 1);
    EXPECT_EQ(Loaded(frame), frame.LastValue);

    frame.LastValue = QStringLiteral("1999");
    EXPECT_EQ(TextSource::IsSourceChanged(frame), 1);
}

TEST(TextSource, TimerFollowsThePlayState) {
    CFrame frame;
    frame.TextSource = SourceTimer;
    frame.TimerFormat = QStringLiteral("%M:%S");
    frame.TimerStart = 90;
    frame.TimerStop = 0;
    frame.TimerDirection = 1;
    frame.RichText = "{\\rtf1 T %1%}";
    ASSERT_EQ(TextSource::InitSource(frame, TextRenderer()), 1);
    EXPECT_EQ(frame.LastValue, QStringLiteral("01:30"));
    EXPECT_EQ(Loaded(frame), QStringLiteral("T 01:30"));
    EXPECT_EQ(TextSource::IsSourceChanged(frame), 0);

    frame.Playing = 1;
    frame.Clock = 30500;
    EXPECT_EQ(TextSource::IsSourceChanged(frame), 1);
    ASSERT_EQ(TextSource::InitSource(frame, TextRenderer()), 1);
    EXPECT_EQ(frame.LastValue, QStringLiteral("01:00"));
    frame.Clock = 30900;
    frame.ClockMicros = 999;
    EXPECT_EQ(TextSource::IsSourceChanged(frame), 0);
    frame.Clock = 31000;
    frame.ClockMicros = 0;
    EXPECT_EQ(TextSource::IsSourceChanged(frame), 1);
}

TEST(TextSource, ObjectTextNeverChanges) {
    CFrame frame;
    frame.RichText = "{\\rtf1 own}";
    EXPECT_EQ(TextSource::InitSource(frame, TextRenderer()), 1);
    EXPECT_EQ(TextSource::IsSourceChanged(frame), 0);
}

// ---------------------------------------------------------------------------------
// Change detection of files

TEST_F(TextSourceTest, FileChangeIsSeenToTheNanosecond) {
    const struct {
        int source;
        QByteArray before, after;
    } cases[] = {
        {SourceTextFile, "abc", "xyz"},
        {SourceRtfFile, "{\\rtf1 aaa}", "{\\rtf1 bbb}"},
        {SourceCsvFile, "a;b\r\n1;2", "c;d\r\n3;4"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        CFrame frame;
        frame.TextSource = c.source;
        frame.FileName = Write(QStringLiteral("watched"), c.before);
        SetWriteTime(frame.FileName, Stamp0, 100);
        if (StoredNanos(frame.FileName) != 100) GTEST_SKIP() << "the file system keeps no nanoseconds";
        ASSERT_EQ(TextSource::InitSource(frame, TextRenderer()), 1);
        EXPECT_EQ(TextSource::IsSourceChanged(frame), 0);

        // Rewritten within the same millisecond at the same size.
        Write(QStringLiteral("watched"), c.after);
        SetWriteTime(frame.FileName, Stamp0, 200);
        EXPECT_EQ(TextSource::IsSourceChanged(frame), 1);
        ASSERT_EQ(TextSource::InitSource(frame, TextRenderer()), 1);
        EXPECT_EQ(TextSource::IsSourceChanged(frame), 0);

        ASSERT_TRUE(QFile::remove(frame.FileName));
        EXPECT_EQ(TextSource::IsSourceChanged(frame), 1);
    }
}

// ---------------------------------------------------------------------------------
// CSV rows loaded for rendering

TEST(CsvRow, PlaceholdersTakeTheRowsFields) {
    const struct {
        const char* rich;
        QStringList placeholders, row;
        const char* expected;
    } cases[] = {
        {"{\\rtf1 %1% - %2%}", {"%1%", "%2%"}, {"a", "b"}, "a - b"},
        {"{\\rtf1 %1% - %2%}", {"%1%", "%2%"}, {"a"}, "a - "},
        {"{\\rtf1 %1%/%1%/%1%}", {"%1%"}, {"x"}, "x/x/x"},
        {"{\\rtf1 %City%: %Name%}", {"%Name%", "%City%"}, {"Bob", "Paris"}, "Paris: Bob"},
        // A field holding its own placeholder is put in once per occurrence.
        {"{\\rtf1 %1%!%1%}", {"%1%"}, {"<%1%>"}, "<%1%>!<%1%>"},
        {"{\\rtf1 %1%}", {"%1%"}, {"%1%%1%"}, "%1%%1%"},
        // No placeholder: the fields joined, or a single space when they are empty.
        {"{\\rtf1 Hello}", {"%1%", "%2%"}, {"a", "b"}, "ab"},
        {"{\\rtf1 Hello}", {"%1%", "%2%"}, {"", ""}, " "},
        {"{\\rtf1 [%1%]}", {"%1%"}, {""}, " "},
        {"{\\rtf1 [%1%]}", {"%1%"}, {}, " "},
        // Placeholders are found whatever their case, side by side, with '%' in their name.
        {"{\\rtf1 %NAME%, %name%}", {"%Name%"}, {"Bob"}, "Bob, Bob"},
        {"{\\rtf1 %1%%2%%1%}", {"%1%", "%2%"}, {"a", "b"}, "aba"},
        {"{\\rtf1 %50%% off %Cut%}", {"%50%%", "%Cut%"}, {"Half", "now"}, "Half off now"},
        {"{\\rtf1 100% %1% %}", {"%1%"}, {"sure"}, "100% sure %"},
        {"{\\rtf1 %a%b%}", {"%a%", "%b%"}, {"1", "2"}, "1b%"},  // the first found takes its '%'
        {"{\\rtf1 %%}", {"%%"}, {"empty name"}, "empty name"},
        // A value is put in as it is: one holding another column's placeholder stays so.
        {"{\\rtf1 %1% %2%}", {"%1%", "%2%"}, {"%2%", "b"}, "%2% b"},
        // Paragraphs of the template stay; on one line (a crawl) they are spaces.
        {"{\\rtf1 %1%\\par %2%}", {"%1%", "%2%"}, {"a", "b"}, "a\nb"},
    };
    for (const auto& c : cases) {
        for (const bool singleLine : {false, true}) {
            CFrame frame;
            frame.TextSource = SourceCsvFile;
            frame.RichText = c.rich;
            frame.Table.Placeholders = c.placeholders;
            frame.Table.Rows = {c.row};
            CRichEditExCtrl control(1, singleLine);
            ASSERT_TRUE(TextSource::LoadTextToRender(frame, control)) << c.rich;
            QString expected = QString::fromLatin1(c.expected);
            if (singleLine) expected.replace(u'\n', u' ');
            EXPECT_EQ(control.PlainText(), expected)
                << c.rich << " / " << c.row.join(u'|').toStdString() << (singleLine ? " on one line" : "");
        }
    }
}

TEST(CsvRow, ValuesTakeTheFormatOfTheirPlaceholderAndManyColumnsGoInAtOnce) {
    CFrame frame;
    frame.TextSource = SourceCsvFile;
    frame.RichText = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\fs20 {\\b %1%} and {\\i %2%}\\par}";
    frame.Table.Placeholders = {QStringLiteral("%1%"), QStringLiteral("%2%")};
    frame.Table.Rows = {{QStringLiteral("bold"), QStringLiteral("italic")}};
    CRichEditExCtrl control(1, false);
    ASSERT_TRUE(TextSource::LoadTextToRender(frame, control));
    ASSERT_EQ(control.PlainText(), QStringLiteral("bold and italic\n"));
    EXPECT_TRUE(FormatAt(control, 0).fontWeight() >= QFont::Bold);
    EXPECT_TRUE(FormatAt(control, 3).fontWeight() >= QFont::Bold);
    EXPECT_FALSE(FormatAt(control, 5).fontWeight() >= QFont::Bold);
    EXPECT_TRUE(FormatAt(control, 9).fontItalic());
    EXPECT_TRUE(FormatAt(control, 14).fontItalic());
    EXPECT_DOUBLE_EQ(FormatAt(control, 14).fontPointSize(), 10.0);

    // A row of thousands of columns, every one named in the template.
    frame.Table.Placeholders.clear();
    QStringList row;
    QString expected;
    for (int k = 0; k < 3000; ++k) {
        frame.Table.Placeholders.append(QStringLiteral("%%1%").arg(k + 1));
        row.append(QStringLiteral("v%1").arg(k));
        expected += (k ? QStringLiteral(" ") : QString()) + row.back();
    }
    frame.Table.Rows = {row};
    frame.RichText = "{\\rtf1 " + frame.Table.Placeholders.join(u' ').toLatin1() + "}";
    ASSERT_TRUE(TextSource::LoadTextToRender(frame, control));
    EXPECT_EQ(control.PlainText(), expected);
}

TEST(CsvRow, CurrentRowPicksTheRowAndEndsPastTheLast) {
    CFrame frame;
    frame.TextSource = SourceCsvFile;
    frame.RichText = "{\\rtf1 %1%}";
    frame.Table.Placeholders = {QStringLiteral("%1%")};
    frame.Table.Rows = {{QStringLiteral("first")}, {QStringLiteral("second")}};
    CRichEditExCtrl control(1, false);
    frame.Table.CurrentRow = 1;
    ASSERT_TRUE(TextSource::LoadTextToRender(frame, control));
    EXPECT_EQ(control.PlainText(), QStringLiteral("second"));
    frame.Table.CurrentRow = 2;
    EXPECT_FALSE(TextSource::LoadTextToRender(frame, control));
}

// ---------------------------------------------------------------------------------
// Default template

TEST(DefaultTemplate, OnlyForEmptyTextOfValueSources) {
    ASSERT_EQ(TemplateHead.size(), 209);
    ASSERT_EQ(TemplateTail.size(), 21);
    const struct {
        int source;
        bool made;
    } cases[] = {{SourceObjectText, false}, {SourceClock, true},  {SourceTextFile, true},
                 {SourceRtfFile, false},    {SourceTimer, true}};
    for (const auto& c : cases) {
        CFrame frame;
        frame.TextSource = c.source;
        EXPECT_EQ(TextSource::DefaultTemplate(frame), c.made ? TemplateHead + "%1%" + TemplateTail : QByteArray())
            << c.source;
        frame.RichText = "{\\rtf1 own}";
        EXPECT_TRUE(TextSource::DefaultTemplate(frame).isEmpty()) << c.source;
    }
}

TEST_F(TextSourceTest, DefaultTemplateForCsvNamesTheFirstLinesPlaceholders) {
    const struct {
        QByteArray firstLines;
        int header, separator;
        QString placeholders;
        QByteArray written;  // empty: only checked by reading it back
    } cases[] = {
        {"a;b;c\r\n1;2;3", 0, 0, QStringLiteral("%1% %2% %3%"), "%1% %2% %3%"},
        {"Name,Age\r\nBob,3", 1, 1, QStringLiteral("%Name% %Age%"), "%Name% %Age%"},
        {"Name;\xD0\x93\xD0\xBE\xD1\x80\xD0\xBE\xD0\xB4", 1, 0, U("%Name% %\xD0\x93\xD0\xBE\xD1\x80\xD0\xBE\xD0\xB4%"),
         "%Name% %\\u1043?\\u1086?\\u1088?\\u1086?\\u1076?%"},
        {"{x};a\\b", 1, 0, QStringLiteral("%{x}% %a\\b%"), QByteArray()},
        {"\xE2\x82\xAC\xE4\xB8\xAD", 1, 0, U("%\xE2\x82\xAC\xE4\xB8\xAD%"), "%\\u8364?\\u20013?%"},
        {QByteArray(), 1, 0, QStringLiteral("%1%"), "%1%"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.firstLines.toStdString());
        CFrame frame;
        frame.TextSource = SourceCsvFile;
        frame.Encoding = Utf8;
        frame.FirstLineIsHeader = c.header;
        frame.Separator = c.separator;
        frame.FileName = Write(QStringLiteral("first.csv"), c.firstLines);
        const QByteArray made = TextSource::DefaultTemplate(frame);
        ASSERT_TRUE(made.startsWith(TemplateHead));
        ASSERT_TRUE(made.endsWith(TemplateTail));
        if (!c.written.isEmpty()) {
            EXPECT_EQ(made.mid(TemplateHead.size(), made.size() - TemplateHead.size() - TemplateTail.size()), c.written);
        }
        EXPECT_EQ(PlainOf(made), c.placeholders + u'\n');
    }
    CFrame frame;
    frame.TextSource = SourceCsvFile;
    frame.FileName = dir.filePath(QStringLiteral("missing.csv"));
    EXPECT_EQ(TextSource::DefaultTemplate(frame), TemplateHead + "%1%" + TemplateTail);
}

// ---------------------------------------------------------------------------------
// The text thread's source step

constexpr int Period50 = 20000;

TEST_F(TextSourceTest, SourceStepRetriesAFailedSourceAfterASecond) {
    CFrame frame;
    frame.FramePeriod = Period50;
    frame.TextSource = SourceTextFile;
    frame.RichText = "{\\rtf1 %1%}";
    frame.FileName = dir.filePath(QStringLiteral("later.txt"));
    frame.RecheckDue = 1;
    frame.NoMoreText = 1;
    frame.NextChar = 9;
    EXPECT_EQ(TextSource::SourceStep(frame, TextRenderer()), 0);
    EXPECT_EQ(frame.SourceReady.load(), 0);
    EXPECT_EQ(frame.TextError.load(), 1);
    EXPECT_EQ(frame.RecheckCountdown.load(), 50);
    EXPECT_EQ(frame.RecheckDue.load(), 0);

    Write(QStringLiteral("later.txt"), "here");
    EXPECT_EQ(TextSource::SourceStep(frame, TextRenderer()), 1);
    EXPECT_EQ(frame.SourceReady.load(), 1);
    EXPECT_EQ(frame.TextError.load(), 0);
    EXPECT_EQ(frame.NoMoreText.load(), 0);
    EXPECT_EQ(frame.NextChar.load(), 0);
    EXPECT_EQ(Loaded(frame), QStringLiteral("here"));
}

TEST_F(TextSourceTest, SourceStepSchedulesTheNextTestBySource) {
    const QString text = Write(QStringLiteral("s.txt"), "t");
    const QString rtf = Write(QStringLiteral("s.rtf"), "{\\rtf1 text}");
    const QString csv = Write(QStringLiteral("s.csv"), "a;b");
    const struct {
        int source;
        QString file;
        int movement, monitor, countdown;
    } cases[] = {
        {SourceObjectText, QString(), MovementFixed, 1, 0},
        {SourceClock, QString(), MovementFixed, 0, 5},
        {SourceTimer, QString(), MovementHorizontal, 0, 1},
        {SourceTextFile, text, MovementFixed, 1, 50},
        {SourceTextFile, text, MovementHorizontal, 1, 0},
        {SourceTextFile, text, MovementFixed, 0, 0},
        {SourceRtfFile, rtf, MovementFixed, 1, 50},
        {SourceRtfFile, rtf, MovementVertical, 1, 0},
        {SourceCsvFile, csv, MovementFixed, 1, 0},
    };
    for (const auto& c : cases) {
        CFrame frame;
        frame.FramePeriod = Period50;
        frame.TextSource = c.source;
        frame.FileName = c.file;
        frame.Movement = c.movement;
        frame.MonitorFileChanges = c.monitor;
        frame.RecheckCountdown = 777;
        frame.RecheckDue = 1;
        EXPECT_EQ(TextSource::SourceStep(frame, TextRenderer()), 1) << c.source;
        EXPECT_EQ(frame.SourceReady.load(), 1) << c.source;
        EXPECT_EQ(frame.RecheckDue.load(), 0) << c.source;
        EXPECT_EQ(frame.RecheckCountdown.load(), c.countdown)
            << "source " << c.source << " movement " << c.movement << " monitor " << c.monitor;
    }
}

TEST(TextSource, SourceStepResetsTheRingUnlessMovingTextHasChunks) {
    const struct {
        int chunks, movement;
        bool reset;
    } cases[] = {{0, MovementHorizontal, true}, {3, MovementFixed, true}, {3, MovementHorizontal, false},
                 {3, MovementVertical, false}};
    for (const auto& c : cases) {
        CFrame frame;
        frame.FramePeriod = Period50;
        frame.Movement = c.movement;
        frame.ChunksRendered = c.chunks;
        frame.TextureWidth = 640;
        frame.TextureHeight = 80;
        frame.Ring = {1, 2, 3, 4};
        TextSource::SourceStep(frame, TextRenderer());
        const std::array<int, 4> expected = c.reset ? std::array<int, 4>{0, 0, 640, 80} : std::array<int, 4>{1, 2, 3, 4};
        EXPECT_EQ(frame.Ring, expected) << c.chunks << " chunks, movement " << c.movement;
    }
}

TEST_F(TextSourceTest, SourceStepRereadsOnlyADueChangedFile) {
    CFrame frame;
    frame.FramePeriod = Period50;
    frame.TextSource = SourceTextFile;
    frame.MonitorFileChanges = 1;
    frame.RichText = "{\\rtf1 %1%}";
    frame.FileName = Write(QStringLiteral("live.txt"), "first");
    SetWriteTime(frame.FileName, Stamp0, 0);
    ASSERT_EQ(TextSource::SourceStep(frame, TextRenderer()), 1);
    ASSERT_EQ(Loaded(frame), QStringLiteral("first"));

    // Due, unchanged: the text stays where it is and the next test is scheduled.
    frame.NextChar = 5;
    frame.RecheckCountdown = 0;
    frame.RecheckDue = 1;
    TextSource::SourceStep(frame, TextRenderer());
    EXPECT_EQ(frame.SourceReady.load(), 1);
    EXPECT_EQ(frame.NextChar.load(), 5);
    EXPECT_EQ(frame.RecheckDue.load(), 0);
    EXPECT_EQ(frame.RecheckCountdown.load(), 50);

    // Changed but not due: nothing happens yet.
    Write(QStringLiteral("live.txt"), "second");
    SetWriteTime(frame.FileName, Stamp0 + 1, 0);
    EXPECT_EQ(TextSource::SourceStep(frame, TextRenderer()), 0);
    EXPECT_EQ(Loaded(frame), QStringLiteral("first"));
    EXPECT_EQ(frame.NextChar.load(), 5);

    // Changed and due: read again from the first character.
    frame.RecheckDue = 1;
    EXPECT_EQ(TextSource::SourceStep(frame, TextRenderer()), 1);
    EXPECT_EQ(Loaded(frame), QStringLiteral("second"));
    EXPECT_EQ(frame.NextChar.load(), 0);
    EXPECT_EQ(frame.SourceReady.load(), 1);
}

TEST_F(TextSourceTest, SourceStepStartsATableOverPastItsLastRow) {
    CFrame frame;
    frame.FramePeriod = Period50;
    frame.TextSource = SourceCsvFile;
    frame.FileName = Write(QStringLiteral("rows.csv"), "a\r\nb");
    ASSERT_EQ(TextSource::SourceStep(frame, TextRenderer()), 1);
    ASSERT_EQ(frame.Table.Rows.size(), 2u);
    for (const auto& [row, after] : {std::pair{1, 1}, std::pair{2, 0}}) {
        frame.Table.CurrentRow = row;
        frame.RecheckDue = 1;
        TextSource::SourceStep(frame, TextRenderer());
        EXPECT_EQ(frame.Table.CurrentRow, after) << row;
    }
}

// ---------------------------------------------------------------------------------
// The kept template: the same picture as the RTF round trip, read once per run

// The visible formatting of a document, run by run and paragraph by paragraph, so
// two documents compare by what they show (not by how Qt cut them into fragments).
// A paragraph's own character format shows only where the paragraph has no text (it
// gives the empty line its height) and is not the last one (the break every RTF
// ends with, which is never drawn); elsewhere the RTF round trip left it to
// whatever the writer had written last, which shows nowhere.
std::string Described(const QTextDocument& document) {
    std::string out;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const QTextBlockFormat b = block.blockFormat();
        const bool markShows = block.length() <= 1 && block.next().isValid();
        const QTextCharFormat m = markShows ? block.charFormat() : QTextCharFormat();
        out += QStringLiteral("[para align %1 margins %2 %3 %4 %5 indent %6 line %7/%8 mark %9 %10]\n")
                   .arg(int(b.alignment()))
                   .arg(b.leftMargin())
                   .arg(b.rightMargin())
                   .arg(b.topMargin())
                   .arg(b.bottomMargin())
                   .arg(b.textIndent())
                   .arg(b.lineHeight())
                   .arg(b.lineHeightType())
                   .arg(m.fontPointSize())
                   .arg(m.fontFamilies().toStringList().join(u','))
                   .toStdString();
        QString last;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            const QString look =
                QStringLiteral("{%1 %2pt w%3 i%4 u%5 s%6 fg %7 bg %8 va %9 up %10}")
                    .arg(f.fontFamilies().toStringList().join(u','))
                    .arg(f.fontPointSize())
                    .arg(f.fontWeight())
                    .arg(int(f.fontItalic()))
                    .arg(int(f.fontUnderline()))
                    .arg(int(f.fontStrikeOut()))
                    .arg(f.foreground().color().name(QColor::HexArgb))
                    .arg(f.background().style() == Qt::NoBrush ? QStringLiteral("none")
                                                               : f.background().color().name(QColor::HexArgb))
                    .arg(int(f.verticalAlignment()))
                    .arg(f.baselineOffset());
            if (look != last) out += look.toStdString();
            last = look;
            out += it.fragment().text().toStdString();
        }
        out += '\n';
    }
    return out;
}

struct Drawn {
    RasteriseResult r;
    int next = 0;
    CPicture picture;
    std::string document;
};


// Draws with a loader (a still picture or the first strip) and keeps the document
// the loader gave.
Drawn Draw(const CFrame& frame, bool still, const TextLoader& load) {
    Drawn d;
    d.r = Rasterise(d.picture, d.next, RasteriseObjectOf(frame), TextRenderer(), still, [&](CRichEditExCtrl& c) {
        const bool loaded = load(c);
        d.document = Described(c.document);
        return loaded;
    });
    return d;
}

void ExpectSamePicture(const Drawn& kept, const Drawn& reference) {
    EXPECT_EQ(kept.document, reference.document);
    EXPECT_EQ(kept.r.done, reference.r.done);
    EXPECT_EQ(kept.r.characters, reference.r.characters);
    EXPECT_EQ(kept.r.usedWidth, reference.r.usedWidth);
    EXPECT_EQ(kept.r.usedHeight, reference.r.usedHeight);
    EXPECT_EQ(kept.next, reference.next);
    ASSERT_EQ(kept.picture.width, reference.picture.width);
    ASSERT_EQ(kept.picture.height, reference.picture.height);
    int differing = 0;
    for (int y = 0; y < kept.picture.height; ++y)
        differing += std::memcmp(kept.picture.Pixel(0, y), reference.picture.Pixel(0, y),
                                 size_t(kept.picture.width) * 4) != 0;
    EXPECT_EQ(differing, 0) << "rows differing";
    EXPECT_TRUE(reference.r.done) << "nothing drawn to compare";
}

QByteArray Template(const QByteArray& body,
               const QByteArray& colours = "\\red255\\green0\\blue0;\\red0\\green160\\blue255;") {
    return "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fnil\\fcharset0 Arial;}{\\f1\\fnil Times New Roman;}}"
           "{\\colortbl ;" + colours + "}\\fs40 " + body + "\\par}";
}

TEST_F(TextSourceTest, KeptTemplateDrawsAsTheRtfRoundTripDid) {
    const QByteArray cyrillic = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 12:34";  // "Привет 12:34"
    const struct {
        const char* name;
        QByteArray rich;  // empty: the default template
        int source;       // a timer shows its format's text; a text file its lines
        QByteArray value; // UTF-8
        int movement;
    } cases[] = {
        {"plain", Template("Time %1%"), SourceTimer, "12:34", MovementFixed},
        {"bold", Template("\\b\\fs56 %1%\\b0  h"), SourceTimer, "12:34", MovementFixed},
        {"coloured", Template("Score {\\cf1\\i %1%} {\\cf2\\ul pts}"), SourceTimer, "3:1", MovementFixed},
        {"highlighted, raised, struck", Template("{\\highlight2\\up6 %1%}{\\strike  x}{\\f1\\sub  y}"), SourceTimer, "42",
         MovementFixed},
        {"two placeholders", Template("A {\\b %1%} B {\\cf1 %1%}"), SourceTimer, "x", MovementFixed},
        {"placeholder absent", Template("{\\i no} {\\cf1 placeholder}\\par line two"), SourceTimer, "7", MovementFixed},
        {"default template, Cyrillic value", QByteArray(), SourceTimer, cyrillic, MovementFixed},
        {"Cyrillic in a Cyrillic font",
         "{\\rtf1\\ansi\\ansicpg1251\\deff0{\\fonttbl{\\f0\\fnil\\fcharset204 Arial CYR;}}\\fs40 %1%\\par}", SourceTimer,
         cyrillic, MovementFixed},
        {"tab and control characters", Template("[%1%]"), SourceTimer, "a\tb\x07" "c", MovementFixed},
        {"lines into paragraphs", Template("\\qc\\li300\\sb100\\sl360\\slmult1 News: {\\b %1%} end\\par\\pard tail"),
         SourceTextFile, "one\r\ntwo\r\n\r\nthree", MovementFixed},
        {"lines into one crawl line", Template("News: {\\b %1%} end\\par second"), SourceTextFile, "one\r\ntwo",
         MovementHorizontal},
        {"lines rolling", Template("{\\cf2 %1%}\\par\\par tail"), SourceTextFile, "one\r\ntwo\r\nthree", MovementVertical},
        {"crawl of a clock", Template("{\\b %1%}"), SourceTimer, "23:59:59", MovementHorizontal},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CFrame frame;
        frame.Rect = {100, 50, 100 + 360, 50 + 140};
        frame.Movement = c.movement;
        frame.TextSource = c.source;
        frame.RichText = c.rich.isEmpty() ? TextSource::DefaultTemplate(frame) : c.rich;
        const QString value = QString::fromUtf8(c.value);
        if (c.source == SourceTimer) {
            frame.TimerFormat = value;
        } else {
            frame.Encoding = Utf8;
            frame.FileName = Write(QStringLiteral("value.txt"), c.value);
        }
        ASSERT_EQ(TextSource::InitSource(frame, TextRenderer()), 1);
        QString put = value;
        if (c.source == SourceTextFile) {
            ASSERT_TRUE(TextSource::ReadTextFile(frame, put));
        }
        for (bool still : {true, false}) {
            SCOPED_TRACE(still ? "still" : "strip");
            // Put in and drawn twice: the second time from the kept template alone.
            for (int tick = 0; tick < 2; ++tick) {
                const Drawn kept = Draw(frame, still, [&](CRichEditExCtrl& control) {
                    return TextSource::LoadTextToRender(frame, control);
                });
                const QByteArray rtf =
                    PutValueThroughRtf(frame.RichText, put, TextSource::ControlFor(frame, TextRenderer()));
                const Drawn reference =
                    Draw(frame, still, [&](CRichEditExCtrl& control) { return control.StreamIn(rtf) == 1; });
                ExpectSamePicture(kept, reference);
            }
        }
        EXPECT_EQ(TextSource::TemplateOf(frame).reads, 1);
    }
}

TEST_F(TextSourceTest, KeptTemplateGivesCsvRowsAsAFreshReadDid) {
    const struct {
        const char* name;
        QByteArray table;
        QByteArray rich;  // empty: the default template of the table's placeholders
        int movement;
    } cases[] = {
        {"headers", "Name;Score\r\nAnna;3\r\nBen;12\r\n;\r\n", Template("{\\b %Name%}: {\\cf1 %Score%} %name%"),
         MovementFixed},
        {"numbered, no placeholder in the text", "a;b\r\nc;d\r\n", Template("{\\cf2 Nothing here}\\par at all"),
         MovementFixed},
        {"Cyrillic header, default template", "\xD0\x93\xD0\xBE\xD1\x80\xD0\xBE\xD0\xB4\r\n\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0\r\nRome\r\n",
         QByteArray(), MovementHorizontal},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CFrame frame;
        frame.Rect = {0, 0, 420, 120};
        frame.Movement = c.movement;
        frame.TextSource = SourceCsvFile;
        frame.Encoding = Utf8;
        frame.FirstLineIsHeader = c.table.startsWith("a;") ? 0 : 1;
        frame.FileName = Write(QStringLiteral("rows.csv"), c.table);
        frame.RichText = c.rich.isEmpty() ? TextSource::DefaultTemplate(frame) : c.rich;
        ASSERT_EQ(TextSource::InitSource(frame, TextRenderer()), 1);
        ASSERT_GE(frame.Table.Rows.size(), 2u);
        const auto load = [&](CRichEditExCtrl& control) { return TextSource::LoadTextToRender(frame, control); };
        for (int row = 0; row < int(frame.Table.Rows.size()); ++row) {
            SCOPED_TRACE(row);
            frame.Table.CurrentRow = row;
            const Drawn kept = Draw(frame, false, load);
            // The template read afresh for this row alone, as every row was before.
            std::unique_ptr<CFrameTextCache> keptTemplate = std::move(frame.TextCache);
            const Drawn fresh = Draw(frame, false, load);
            frame.TextCache = std::move(keptTemplate);
            ExpectSamePicture(kept, fresh);
        }
        EXPECT_EQ(TextSource::TemplateOf(frame).reads, 1);
    }
}

TEST_F(TextSourceTest, TemplateIsReadOncePerRunAndAgainWhenItChanges) {
    CFrame frame;
    frame.FramePeriod = Period50;
    frame.Rect = {0, 0, 300, 60};
    frame.TextSource = SourceTimer;
    frame.TimerFormat = QStringLiteral("%M:%S");
    frame.TimerStart = 0;
    frame.TimerStop = 0;
    frame.RichText = Template("T {\\b %1%}");
    frame.Playing = 1;  // the timer counts while playing; nothing else of playing is needed here
    const auto tick = [&](int clockMs) {
        frame.Clock = clockMs;
        frame.RecheckDue = 1;
        TextSource::SourceStep(frame, TextRenderer());
        return Loaded(frame);
    };
    EXPECT_EQ(tick(0), QStringLiteral("T 00:00\n"));
    const CFrameTextCache* first = frame.TextCache.get();
    for (int second = 1; second <= 5; ++second)
        EXPECT_EQ(tick(second * 1000), QStringLiteral("T 00:0%1\n").arg(second));
    EXPECT_EQ(TextSource::TemplateOf(frame).reads, 1);
    EXPECT_EQ(frame.TextCache.get(), first);

    // The object's rich text changed: the next value goes into the new template.
    frame.RichText = Template("Left %1% s");
    EXPECT_EQ(tick(6000), QStringLiteral("Left 00:06 s\n"));
    EXPECT_EQ(TextSource::TemplateOf(frame).reads, 2);
    // Another control kind (a crawl is one line): read for it.
    frame.Movement = MovementHorizontal;
    EXPECT_EQ(tick(7000), QStringLiteral("Left 00:07 s"));
    EXPECT_EQ(TextSource::TemplateOf(frame).reads, 3);
    frame.Playing = 0;

    // A new run reads its template afresh.
    frame.Play();
    EXPECT_EQ(frame.TextCache.get(), nullptr);
    TextSource::SourceStep(frame, TextRenderer());
    EXPECT_EQ(Loaded(frame), QStringLiteral("Left 00:00 s"));
    EXPECT_EQ(TextSource::TemplateOf(frame).reads, 1);
    frame.Stop();
}

TEST_F(TextSourceTest, RewrittenRtfFileIsReadAgainOnlyWhenItsBytesChange) {
    CFrame frame;
    frame.FramePeriod = Period50;
    frame.TextSource = SourceRtfFile;
    frame.MonitorFileChanges = 1;
    frame.FileName = Write(QStringLiteral("live.rtf"), Template("first {\\b edition}"));
    SetWriteTime(frame.FileName, Stamp0, 0);
    const auto step = [&] {
        frame.RecheckDue = 1;
        TextSource::SourceStep(frame, TextRenderer());
        return Loaded(frame);
    };
    EXPECT_EQ(step(), QStringLiteral("first edition\n"));
    EXPECT_EQ(step(), QStringLiteral("first edition\n"));
    EXPECT_EQ(TextSource::TemplateOf(frame).reads, 1);

    Write(QStringLiteral("live.rtf"), Template("second {\\b edition}"));
    SetWriteTime(frame.FileName, Stamp0 + 1, 0);
    EXPECT_EQ(step(), QStringLiteral("second edition\n"));
    EXPECT_EQ(TextSource::TemplateOf(frame).reads, 2);

    // Touched but the same: the file is read again, its template is not.
    SetWriteTime(frame.FileName, Stamp0 + 2, 0);
    EXPECT_EQ(step(), QStringLiteral("second edition\n"));
    EXPECT_EQ(frame.SourceFileTime[6], 22);  // the new stamp was taken
    EXPECT_EQ(TextSource::TemplateOf(frame).reads, 2);
}

}  // namespace
