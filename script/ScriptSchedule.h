// The automation schedule: which script file starts when (at start-up, at a time
// of day on chosen weekdays or on one date, on a hotkey, on a switcher button),
// its entries in the settings store, the per-second time check, the trigger texts
// of the automation list and the lookups of the hotkey and button handlers.
//
// Everything here is a plain model: starting a script is the document's job, which
// it does with the indexes these functions return.
//
// Threads: the user-interface thread only; nothing here is shared.
#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

class CSettingsStore;

// One entry. Entry 0 of a schedule is the start-up entry (only File counts).
struct CFrameScriptSchedule {
    QString File;             // full path of the script file; empty: no script
    int32_t Hotkey = 0;       // 0 none, 1-10 Ctrl+0..Ctrl+9, 11-20 Alt+0..Alt+9
    int32_t Global = 0;       // the hotkey is registered system-wide
    int32_t Remote = 0;       // 0 none, 1-16 switcher button number
    int32_t PlayOnTime = 0;   // the entry has a time trigger
    int32_t PlayOnce = 0;     // on the date below only; otherwise daily on Weekdays
    int32_t Weekdays = AllWeekdays;  // bit 0 Monday ... bit 6 Sunday
    // The trigger time; the date counts only with PlayOnce.
    int16_t Year = 0, Month = 0, Day = 0;
    int16_t Hour = 0, Minute = 0, Second = 0;

    static constexpr int32_t AllWeekdays = 127;

    // A new entry as the editor adds it: file, every weekday, and the trigger time
    // set to the local date and second of day given.
    static CFrameScriptSchedule Created(const QString& file, const QDate& date, int secondsOfDay);

    int TimeOfDay() const { return Hour * 3600 + Minute * 60 + Second; }
    // Whether the time trigger is due at this second of this date.
    bool DueAt(const QDate& date, int secondsOfDay) const;

    bool operator==(const CFrameScriptSchedule&) const = default;
};

// Ordered; owns its entries. Never empty once loaded.
using CFrameScriptScheduleArray = std::vector<CFrameScriptSchedule>;

namespace Schedule {

// Reads the schedule: "Total" in "ScriptAction", then each entry's keys from
// "Item_<index>". A missing key reads as 0 (so an entry without keys has no
// weekday and a zero date); a stored value outside its field's range reads as 0 as
// well, and problems (when given) gets a line naming the section, key and value.
// An empty result gets one start-up entry with no file, dated date/secondsOfDay.
CFrameScriptScheduleArray Load(const CSettingsStore& store, const QDate& date, int secondsOfDay,
                               QStringList* problems = nullptr);

// Writes "Total" and every entry's section, keys in the stored order. Sections of
// entries beyond the count stay in the store (Total bounds reading). False, with
// error set, when the store refuses a write; what was written before stays.
bool Save(CSettingsStore& store, const CFrameScriptScheduleArray& entries, QString* error = nullptr);

// A moment of the local wall clock: the date and the second of that day. It is
// deliberately naive (no time zone), so a clock put back (also at the end of
// summer time) shows as a step backwards.
struct ClockSecond {
    QDate date;
    int secondsOfDay = 0;  // 0..86399

    qint64 Serial() const { return date.toJulianDay() * 86400 + secondsOfDay; }
    static ClockSecond FromSerial(qint64 serial);
    bool operator==(const ClockSecond&) const = default;
};

// What one time check found.
struct TimeCheck {
    // The entries to start, in time order: for each second examined, the first
    // entry from index 1 upwards due in it (a later entry due in the same second
    // is skipped).
    std::vector<int> due;
    // The latest second examined so far: the caller passes it as `examined` to
    // the next check.
    std::optional<ClockSecond> examined;
};

// A clock step forwards of at most this many seconds has its passed-over seconds
// examined too (a timer tick late by a second, a small correction of the clock).
// A longer step examines only the new second: the seconds in between are missed.
constexpr int CatchUpSeconds = 5;
// A clock step backwards of at most this many seconds (a correction, the end of
// summer time) examines nothing until the clock is past the latest second already
// examined, so no entry fires twice. A longer step is taken as the clock being
// set anew: the new second is examined and becomes the latest.
constexpr int ReplayGuardSeconds = 2 * 3600;

// The check run at every tick. examined: the latest second examined so far
// (nothing at the first tick, which examines now). Pure: same inputs, same result.
TimeCheck CheckTime(const CFrameScriptScheduleArray& entries, const std::optional<ClockSecond>& examined,
                    const ClockSecond& now);

// The next second at or after now at which entry's time trigger is due; nothing
// when it has no time trigger, no weekday, or its one date has passed.
std::optional<ClockSecond> NextDue(const CFrameScriptSchedule& entry, const ClockSecond& now);

// The first entry from index 1 upwards with this hotkey (1..20) or switcher button
// (1..16); -1 when none does or the value is 0.
int EntryForHotkey(const CFrameScriptScheduleArray& entries, int hotkey);
int EntryForButton(const CFrameScriptScheduleArray& entries, int button);

// Names of a hotkey index (0 "None", "Ctrl+0" ... "Alt+9") and of a switcher
// button number (0 "None", "Button #1" ...). Empty outside the ranges.
QString HotkeyName(int hotkey);
QString ButtonName(int button);

enum class TriggerIcon { None, Startup, Time, HotkeyOrButton };

struct TriggerText {
    QString text;
    TriggerIcon icon = TriggerIcon::None;
};

// The "Trigger" column of the automation list for entry index; useRemote is the
// "UseRemote" setting (button assignments are shown only with it).
TriggerText Trigger(const CFrameScriptSchedule& entry, int index, bool useRemote);

}  // namespace Schedule
