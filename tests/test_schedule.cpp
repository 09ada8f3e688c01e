// The automation schedule: the entries in the settings store, the per-second time
// check (weekdays, once-only dates, midnight, clock steps), the trigger texts of
// the automation list and the hotkey and button lookups.
#include "base/Settings.h"
#include "script/ScriptSchedule.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

using Schedule::ClockSecond;
using Schedule::TriggerIcon;

constexpr int Monday = 1 << 0, Tuesday = 1 << 1, Wednesday = 1 << 2, Friday = 1 << 4, Sunday = 1 << 6;

int At(int h, int m, int s) { return h * 3600 + m * 60 + s; }

CFrameScriptSchedule Daily(int h, int m, int s, int weekdays, const QString& file = QStringLiteral("/s/a.script")) {
    CFrameScriptSchedule e;
    e.File = file;
    e.PlayOnTime = 1;
    e.Weekdays = weekdays;
    e.Hour = int16_t(h);
    e.Minute = int16_t(m);
    e.Second = int16_t(s);
    return e;
}

CFrameScriptSchedule Once(int h, int m, int s, QDate date) {
    CFrameScriptSchedule e = Daily(h, m, s, 0);
    e.PlayOnce = 1;
    e.Year = int16_t(date.year());
    e.Month = int16_t(date.month());
    e.Day = int16_t(date.day());
    return e;
}

// 2026-12-07 is a Monday.
const QDate Mon(2026, 12, 7);

// ---------------------------------------------------------------------------------
// Trigger texts

struct TriggerCase {
    const char* name;
    CFrameScriptSchedule entry;
    int index;
    bool useRemote;
    const char* text;
    TriggerIcon icon;
};

CFrameScriptSchedule With(CFrameScriptSchedule e, int hotkey, int remote) {
    e.Hotkey = hotkey;
    e.Remote = remote;
    return e;
}

TEST(ScheduleTrigger, TextsAndIcons) {
    CFrameScriptSchedule none;
    none.File = QStringLiteral("/s/x.script");
    CFrameScriptSchedule startupEmpty;
    const TriggerCase cases[] = {
        {"startup with file", none, 0, true, "on startup", TriggerIcon::Startup},
        {"startup without file", startupEmpty, 0, true, "on startup", TriggerIcon::None},
        {"startup ignores triggers", With(Daily(7, 30, 0, 31), 4, 2), 0, true, "on startup", TriggerIcon::Startup},
        {"daily weekdays", Daily(7, 30, 0, 0b0011111), 1, true, "[07:30:00][12345--]", TriggerIcon::Time},
        {"daily every day", Daily(23, 59, 59, 127), 1, true, "[23:59:59][1234567]", TriggerIcon::Time},
        {"daily no day", Daily(0, 0, 0, 0), 1, true, "[00:00:00][-------]", TriggerIcon::Time},
        {"daily odd days", Daily(1, 2, 3, Tuesday | Sunday), 2, true, "[01:02:03][-2----7]", TriggerIcon::Time},
        {"once with hotkey", With(Once(18, 0, 0, QDate(2019, 12, 24)), 4, 0), 1, true,
         "[18:00:00][24.12.2019], [Ctrl+3]", TriggerIcon::Time},
        {"hotkey Alt+0", With(none, 11, 0), 1, true, "[Alt+0]", TriggerIcon::HotkeyOrButton},
        {"hotkey Ctrl+0", With(none, 1, 0), 1, true, "[Ctrl+0]", TriggerIcon::HotkeyOrButton},
        {"hotkey Alt+9", With(none, 20, 0), 1, true, "[Alt+9]", TriggerIcon::HotkeyOrButton},
        {"button", With(none, 0, 4), 1, true, "[Button #4]", TriggerIcon::HotkeyOrButton},
        {"button hidden without remote", With(none, 0, 4), 1, false, "", TriggerIcon::None},
        {"hotkey and button", With(none, 11, 16), 3, true, "[Alt+0], [Button #16]", TriggerIcon::HotkeyOrButton},
        {"time, hotkey, button", With(Daily(7, 30, 0, 1), 10, 1), 1, true, "[07:30:00][1------], [Ctrl+9], [Button #1]",
         TriggerIcon::Time},
        {"time, button without remote", With(Daily(7, 30, 0, 1), 0, 1), 1, false, "[07:30:00][1------]",
         TriggerIcon::Time},
        {"nothing", none, 1, true, "", TriggerIcon::None},
    };
    for (const TriggerCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Schedule::TriggerText t = Schedule::Trigger(c.entry, c.index, c.useRemote);
        EXPECT_EQ(t.text.toStdString(), c.text);
        EXPECT_EQ(int(t.icon), int(c.icon));
    }
}

TEST(ScheduleTrigger, HotkeyAndButtonNames) {
    const std::pair<int, const char*> hotkeys[] = {{0, "None"},   {1, "Ctrl+0"}, {4, "Ctrl+3"}, {10, "Ctrl+9"},
                                                   {11, "Alt+0"}, {20, "Alt+9"}, {21, ""},      {-1, ""}};
    for (const auto& [index, name] : hotkeys) EXPECT_EQ(Schedule::HotkeyName(index).toStdString(), name) << index;
    const std::pair<int, const char*> buttons[] = {
        {0, "None"}, {1, "Button #1"}, {16, "Button #16"}, {17, ""}, {-3, ""}};
    for (const auto& [number, name] : buttons) EXPECT_EQ(Schedule::ButtonName(number).toStdString(), name) << number;
}

// ---------------------------------------------------------------------------------
// Lookups

TEST(ScheduleLookup, FirstEntryFromOneUpwards) {
    CFrameScriptScheduleArray entries(5);
    entries[0].Hotkey = 3;  // the start-up entry never answers a trigger
    entries[0].Remote = 2;
    entries[2].Hotkey = 3;
    entries[2].Global = 1;
    entries[3].Hotkey = 3;
    entries[4].Remote = 2;
    entries[1].Remote = 7;
    const std::tuple<int, int, int> cases[] = {
        // hotkey, expected for hotkey, button expected for the same number used as button
        {3, 2, -1}, {2, -1, 4}, {7, -1, 1}, {0, -1, -1}, {5, -1, -1},
    };
    for (const auto& [value, hotkeyEntry, buttonEntry] : cases) {
        EXPECT_EQ(Schedule::EntryForHotkey(entries, value), hotkeyEntry) << value;
        EXPECT_EQ(Schedule::EntryForButton(entries, value), buttonEntry) << value;
    }
    EXPECT_EQ(Schedule::EntryForHotkey(CFrameScriptScheduleArray(1), 0), -1);
}

// ---------------------------------------------------------------------------------
// Time check

std::vector<int> Due(const CFrameScriptScheduleArray& entries, std::optional<ClockSecond> examined, ClockSecond now) {
    return Schedule::CheckTime(entries, examined, now).due;
}

using DueList = std::vector<int>;

TEST(ScheduleTime, WeekdaysAndOnceOnlyDates) {
    CFrameScriptScheduleArray entries{
        CFrameScriptSchedule{},                       // start-up: never due by time
        Daily(8, 0, 0, Monday | Wednesday),           // 1
        Once(8, 0, 0, Mon.addDays(1)),                // 2: Tuesday only
        Daily(9, 0, 0, 0),                            // 3: no weekday: never
        Daily(10, 0, 0, Sunday),                      // 4
    };
    CFrameScriptSchedule offTime = Daily(11, 0, 0, 127);
    offTime.PlayOnTime = 0;  // has a time, but no time trigger
    entries.push_back(offTime);
    entries[0].PlayOnTime = 1;  // even so the start-up entry is skipped
    entries[0].Weekdays = 127;
    entries[0].Hour = 10;

    struct Case {
        const char* name;
        QDate date;
        int second;
        DueList due;
    } cases[] = {
        {"monday 8:00", Mon, At(8, 0, 0), {1}},
        {"monday 8:00:01", Mon, At(8, 0, 1), {}},
        {"monday 7:59:59", Mon, At(7, 59, 59), {}},
        {"tuesday 8:00: once", Mon.addDays(1), At(8, 0, 0), {2}},
        {"wednesday 8:00", Mon.addDays(2), At(8, 0, 0), {1}},
        {"once entry a week later", Mon.addDays(8), At(8, 0, 0), {}},
        {"a year later (a Wednesday): daily only", Mon.addDays(1).addYears(1), At(8, 0, 0), {1}},
        {"no weekday never", Mon, At(9, 0, 0), {}},
        {"sunday 10:00", Mon.addDays(6), At(10, 0, 0), {4}},
        {"saturday 10:00", Mon.addDays(5), At(10, 0, 0), {}},
        {"untimed entry", Mon, At(11, 0, 0), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Due(entries, std::nullopt, {c.date, c.second}), c.due);
        // The same second reached from the second before.
        EXPECT_EQ(Due(entries, ClockSecond::FromSerial(ClockSecond{c.date, c.second}.Serial() - 1), {c.date, c.second}),
                  c.due);
    }
}

TEST(ScheduleTime, OnceOnlyFiresOnceAndStaysInTheList) {
    const CFrameScriptScheduleArray entries{CFrameScriptSchedule{}, Once(12, 0, 0, Mon)};
    std::optional<ClockSecond> examined;
    int fired = 0;
    // Two days, tick by tick around noon each day.
    for (int day = 0; day < 2; ++day)
        for (int s = At(11, 59, 50); s <= At(12, 0, 10); ++s) {
            const Schedule::TimeCheck check = Schedule::CheckTime(entries, examined, {Mon.addDays(day), s});
            fired += int(check.due.size());
            examined = check.examined;
        }
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(entries.size(), 2u);
}

TEST(ScheduleTime, OnlyTheFirstEntryDueInASecondFires) {
    const CFrameScriptScheduleArray entries{CFrameScriptSchedule{}, Daily(6, 0, 0, 0), Daily(6, 0, 0, 127),
                                            Daily(6, 0, 0, 127), Once(6, 0, 0, Mon)};
    EXPECT_EQ(Due(entries, std::nullopt, {Mon, At(6, 0, 0)}), DueList{2});
}

TEST(ScheduleTime, SameSecondIsExaminedOnce) {
    const CFrameScriptScheduleArray entries{CFrameScriptSchedule{}, Daily(6, 0, 0, 127)};
    const ClockSecond now{Mon, At(6, 0, 0)};
    const Schedule::TimeCheck first = Schedule::CheckTime(entries, std::nullopt, now);
    EXPECT_EQ(first.due, DueList{1});
    ASSERT_TRUE(first.examined);
    EXPECT_EQ(*first.examined, now);
    const Schedule::TimeCheck again = Schedule::CheckTime(entries, first.examined, now);
    EXPECT_TRUE(again.due.empty());
    EXPECT_EQ(again.examined, first.examined);
}

TEST(ScheduleTime, AcrossMidnight) {
    const QDate sun = Mon.addDays(-1);
    const CFrameScriptScheduleArray entries{CFrameScriptSchedule{}, Daily(23, 59, 59, Sunday),
                                            Daily(0, 0, 0, Monday), Daily(0, 0, 0, Sunday), Once(0, 0, 1, Mon)};
    struct Case {
        const char* name;
        ClockSecond examined, now;
        DueList due;
    } cases[] = {
        {"sunday's last second", {sun, At(23, 59, 58)}, {sun, At(23, 59, 59)}, {1}},
        {"monday's first second", {sun, At(23, 59, 59)}, {Mon, 0}, {2}},
        {"a step over midnight fires both sides", {sun, At(23, 59, 58)}, {Mon, 1}, {1, 2, 4}},
        {"year end", {QDate(2026, 12, 31), At(23, 59, 59)}, {QDate(2027, 1, 1), 0}, {}},  // a Friday
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Due(entries, c.examined, c.now), c.due);
    }
}

TEST(ScheduleTime, ClockSteps) {
    const CFrameScriptScheduleArray entries{CFrameScriptSchedule{}, Daily(7, 0, 0, 127), Daily(7, 0, 2, 127)};
    const int seven = At(7, 0, 0);
    struct Case {
        const char* name;
        int examined, now;
        DueList due;
        int examinedAfter;
    } cases[] = {
        {"tick one second on", seven - 1, seven, {1}, seven},
        {"late tick passes over the due second", seven - 1, seven + 1, {1}, seven + 1},
        {"step forwards within catch-up", seven - 2, seven + 3, {1, 2}, seven + 3},
        {"step forwards of exactly catch-up", seven - 1, seven - 1 + Schedule::CatchUpSeconds, {1, 2},
         seven - 1 + Schedule::CatchUpSeconds},
        {"step forwards beyond catch-up misses", seven - 10, seven + 10, {}, seven + 10},
        {"long step forwards lands on the due second", seven - 600, seven, {1}, seven},
        {"step back across a due second", seven + 5, seven - 1, {}, seven + 5},
        {"step back onto a due second", seven + 5, seven, {}, seven + 5},
        {"step back onto the second last examined", seven, seven, {}, seven},
        {"summer time ends (an hour back)", seven + 1800, seven - 1800, {}, seven + 1800},
        {"clock set back by a day", seven + 86400, seven, {1}, seven},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const qint64 base = ClockSecond{Mon, 0}.Serial();
        const Schedule::TimeCheck check = Schedule::CheckTime(entries, ClockSecond::FromSerial(base + c.examined),
                                                              ClockSecond::FromSerial(base + c.now));
        EXPECT_EQ(check.due, c.due);
        ASSERT_TRUE(check.examined);
        EXPECT_EQ(check.examined->Serial() - base, c.examinedAfter);
    }
}

TEST(ScheduleTime, ClockPutBackDoesNotFireTwice) {
    // Ticks run through 07:00:00, the clock goes back a minute, ticks run on.
    const CFrameScriptScheduleArray entries{CFrameScriptSchedule{}, Daily(7, 0, 0, 127)};
    std::optional<ClockSecond> examined;
    int fired = 0;
    auto tick = [&](int s) {
        const Schedule::TimeCheck check = Schedule::CheckTime(entries, examined, {Mon, s});
        fired += int(check.due.size());
        examined = check.examined;
    };
    for (int s = At(6, 59, 50); s <= At(7, 0, 30); ++s) tick(s);
    for (int s = At(6, 59, 30); s <= At(7, 1, 0); ++s) tick(s);
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(examined->secondsOfDay, At(7, 1, 0));
}

TEST(ScheduleTime, NextDue) {
    // Now: Monday 2026-12-07 12:00:00.
    const ClockSecond now{Mon, At(12, 0, 0)};
    struct Case {
        const char* name;
        CFrameScriptSchedule entry;
        std::optional<ClockSecond> due;
    };
    CFrameScriptSchedule noTime = Daily(13, 0, 0, 127);
    noTime.PlayOnTime = 0;
    CFrameScriptSchedule badDate = Once(13, 0, 0, Mon);
    badDate.Month = 13;
    const Case cases[] = {
        {"later today", Daily(13, 0, 0, 127), ClockSecond{Mon, At(13, 0, 0)}},
        {"this very second", Daily(12, 0, 0, Monday), ClockSecond{Mon, At(12, 0, 0)}},
        {"passed today: tomorrow", Daily(11, 0, 0, 127), ClockSecond{Mon.addDays(1), At(11, 0, 0)}},
        {"next Friday", Daily(9, 0, 0, Friday), ClockSecond{Mon.addDays(4), At(9, 0, 0)}},
        {"passed today, only Mondays: next week", Daily(11, 0, 0, Monday), ClockSecond{Mon.addDays(7), At(11, 0, 0)}},
        {"no weekday", Daily(13, 0, 0, 0), std::nullopt},
        {"no time trigger", noTime, std::nullopt},
        {"once, later", Once(8, 0, 0, Mon.addDays(30)), ClockSecond{Mon.addDays(30), At(8, 0, 0)}},
        {"once, passed", Once(11, 59, 59, Mon), std::nullopt},
        {"once, not a date", badDate, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Schedule::NextDue(c.entry, now), c.due);
    }
}

// ---------------------------------------------------------------------------------
// Settings

class ScheduleSettings : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    QString Path() const { return dir_.filePath(QStringLiteral("Corvane.ini")); }
    void Put(const QByteArray& bytes) {
        QFile f(Path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }
    QTemporaryDir dir_;
};

TEST_F(ScheduleSettings, RoundTrip) {
    CFrameScriptScheduleArray saved{CFrameScriptSchedule::Created(QStringLiteral("/pages/start.script"), Mon, 0),
                                    Daily(7, 30, 0, 0b0011111, QStringLiteral("/pages/morning news.script")),
                                    With(Once(18, 0, 0, QDate(2019, 12, 24)), 4, 0),
                                    With(CFrameScriptSchedule{}, 20, 16)};
    saved[2].Global = 1;
    saved[3].File = QStringLiteral("/pages/Überblick.script");
    CSettingsStore store(Path());
    QString error;
    ASSERT_TRUE(Schedule::Save(store, saved, &error)) << error.toStdString();
    EXPECT_EQ(store.GetInt(QStringLiteral("ScriptAction"), QStringLiteral("Total"), -1), 4);
    EXPECT_EQ(store.Keys(QStringLiteral("Item_1")),
              (QStringList{"File", "Hotkey", "Global", "Remote", "PlayOnTime", "PlayOnce", "Weekdays", "Hour",
                           "Minute", "Second", "Year", "Month", "Day"}));
    QStringList problems;
    const CFrameScriptScheduleArray loaded = Schedule::Load(CSettingsStore(Path()), Mon.addDays(3), 5, &problems);
    EXPECT_EQ(loaded, saved);
    EXPECT_TRUE(problems.isEmpty()) << problems.join(u'\n').toStdString();

    // A shorter list leaves the old sections, but Total bounds reading.
    ASSERT_TRUE(Schedule::Save(store, {saved[0], saved[1]}, &error)) << error.toStdString();
    EXPECT_TRUE(store.Sections().contains(QStringLiteral("Item_3")));
    EXPECT_EQ(Schedule::Load(store, Mon, 0), (CFrameScriptScheduleArray{saved[0], saved[1]}));
}

TEST_F(ScheduleSettings, NoTotalGivesOneStartupEntry) {
    Put("[Preferences]\nMode=1\n[Item_0]\nFile=/x.script\n");
    const CFrameScriptScheduleArray loaded = Schedule::Load(CSettingsStore(Path()), QDate(2026, 3, 4), At(9, 8, 7));
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0], CFrameScriptSchedule::Created(QString(), QDate(2026, 3, 4), At(9, 8, 7)));
    EXPECT_EQ(loaded[0].Weekdays, 127);
    EXPECT_EQ(loaded[0].Hour, 9);
    EXPECT_EQ(loaded[0].Second, 7);
    EXPECT_EQ(Schedule::Trigger(loaded[0], 0, true).icon, TriggerIcon::None);
}

TEST_F(ScheduleSettings, MissingKeysReadAsZero) {
    Put("[ScriptAction]\nTotal=3\n[Item_0]\nFile=/a.script\n[Item_1]\nPlayOnTime=1\nHour=6\n");
    const CFrameScriptScheduleArray loaded = Schedule::Load(CSettingsStore(Path()), Mon, 0);
    ASSERT_EQ(loaded.size(), 3u);
    EXPECT_EQ(loaded[0].File, QStringLiteral("/a.script"));
    EXPECT_EQ(loaded[0].Weekdays, 0);
    EXPECT_EQ(loaded[0].Year, 0);
    EXPECT_EQ(loaded[1].PlayOnTime, 1);
    EXPECT_EQ(loaded[1].Hour, 6);
    EXPECT_EQ(loaded[1].Weekdays, 0);  // no weekday selected: never fires
    EXPECT_EQ(Schedule::Trigger(loaded[1], 1, true).text, QStringLiteral("[06:00:00][-------]"));
    EXPECT_TRUE(Due(loaded, std::nullopt, {Mon, At(6, 0, 0)}).empty());
    CFrameScriptSchedule empty;
    empty.Weekdays = 0;
    EXPECT_EQ(loaded[2], empty);  // a section that is not there at all
}

TEST_F(ScheduleSettings, ValuesOutsideTheirRangeReadAsZeroAndAreNamed) {
    Put("[ScriptAction]\nTotal=2\n[Item_1]\nFile=/b.script\nHotkey=21\nRemote=-1\nPlayOnTime=1\nWeekdays=200\n"
        "Hour=24\nMinute=30\nSecond=60\nMonth=13\nDay=5\nYear=70000\nGlobal=1\n");
    QStringList problems;
    const CFrameScriptScheduleArray loaded = Schedule::Load(CSettingsStore(Path()), Mon, 0, &problems);
    ASSERT_EQ(loaded.size(), 2u);
    const CFrameScriptSchedule& e = loaded[1];
    EXPECT_EQ(e.File, QStringLiteral("/b.script"));
    EXPECT_EQ(e.Hotkey, 0);
    EXPECT_EQ(e.Remote, 0);
    EXPECT_EQ(e.Weekdays, 0);
    EXPECT_EQ(e.Hour, 0);
    EXPECT_EQ(e.Minute, 30);
    EXPECT_EQ(e.Second, 0);
    EXPECT_EQ(e.Month, 0);
    EXPECT_EQ(e.Day, 5);
    EXPECT_EQ(e.Year, 0);
    EXPECT_EQ(e.Global, 1);
    EXPECT_EQ(e.PlayOnTime, 1);
    ASSERT_EQ(problems.size(), 7) << problems.join(u'\n').toStdString();
    EXPECT_EQ(problems[0], QStringLiteral("Item_1: Hotkey = 21 is outside 0..20; read as 0"));
    for (const char* key : {"Remote", "Weekdays", "Hour", "Second", "Year", "Month"})
        EXPECT_TRUE(problems.join(u'\n').contains(QStringLiteral("Item_1: %1 = ").arg(QLatin1String(key)))) << key;
}

TEST_F(ScheduleSettings, BadTotalReadsAsNone) {
    for (const char* total : {"-3", "abc", "100001"}) {
        SCOPED_TRACE(total);
        Put(QByteArray("[ScriptAction]\nTotal=") + total + "\n[Item_0]\nFile=/a.script\n");
        const CFrameScriptScheduleArray loaded = Schedule::Load(CSettingsStore(Path()), Mon, 0);
        ASSERT_EQ(loaded.size(), 1u);
        EXPECT_TRUE(loaded[0].File.isEmpty());
    }
}

TEST_F(ScheduleSettings, RefusedWriteIsReported) {
    ASSERT_TRUE(QDir().mkpath(Path()));  // a folder where the file should be
    CSettingsStore store(Path());
    QString error;
    EXPECT_FALSE(Schedule::Save(store, {CFrameScriptSchedule{}}, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("ScriptAction/Total"))) << error.toStdString();
}

}  // namespace
