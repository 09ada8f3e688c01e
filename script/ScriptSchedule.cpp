#include "script/ScriptSchedule.h"

#include "base/Settings.h"
#include "base/Translate.h"

#include <array>

namespace {

constexpr unsigned StartupTextId = 10655;
constexpr unsigned ButtonNameId = 10651;
constexpr unsigned ButtonNoneId = 10650;
constexpr unsigned HotkeyNoneId = 12200;

constexpr int HotkeyCount = 20;
constexpr int ButtonCount = 16;

QString SectionOf(int index) { return QStringLiteral("Item_%1").arg(index); }

// The integer keys of an entry, in the order they are stored, with the range a
// stored value must be in to be taken.
struct IntField {
    const char* key;
    int minimum, maximum;
    int32_t CFrameScriptSchedule::* wide;
    int16_t CFrameScriptSchedule::* narrow;

    int Get(const CFrameScriptSchedule& entry) const { return wide ? entry.*wide : entry.*narrow; }
    void Set(CFrameScriptSchedule& entry, int value) const {
        if (wide)
            entry.*wide = value;
        else
            entry.*narrow = int16_t(value);
    }
};

using E = CFrameScriptSchedule;
const std::array<IntField, 12> IntFields{{
    {"Hotkey", 0, HotkeyCount, &E::Hotkey, nullptr},
    {"Global", 0, 1, &E::Global, nullptr},
    {"Remote", 0, ButtonCount, &E::Remote, nullptr},
    {"PlayOnTime", 0, 1, &E::PlayOnTime, nullptr},
    {"PlayOnce", 0, 1, &E::PlayOnce, nullptr},
    {"Weekdays", 0, E::AllWeekdays, &E::Weekdays, nullptr},
    {"Hour", 0, 23, nullptr, &E::Hour},
    {"Minute", 0, 59, nullptr, &E::Minute},
    {"Second", 0, 59, nullptr, &E::Second},
    // A year is written with four digits in the list.
    {"Year", 0, 9999, nullptr, &E::Year},
    {"Month", 0, 12, nullptr, &E::Month},
    {"Day", 0, 31, nullptr, &E::Day},
}};

}  // namespace

CFrameScriptSchedule CFrameScriptSchedule::Created(const QString& file, const QDate& date, int secondsOfDay) {
    CFrameScriptSchedule entry;
    entry.File = file;
    entry.Year = int16_t(date.year());
    entry.Month = int16_t(date.month());
    entry.Day = int16_t(date.day());
    entry.Hour = int16_t(secondsOfDay / 3600);
    entry.Minute = int16_t(secondsOfDay / 60 % 60);
    entry.Second = int16_t(secondsOfDay % 60);
    return entry;
}

bool CFrameScriptSchedule::DueAt(const QDate& date, int secondsOfDay) const {
    if (!PlayOnTime || TimeOfDay() != secondsOfDay || !date.isValid()) return false;
    if (PlayOnce) return Year == date.year() && Month == date.month() && Day == date.day();
    // dayOfWeek(): 1 Monday ... 7 Sunday, the order of the bits.
    return (Weekdays >> (date.dayOfWeek() - 1)) & 1;
}

namespace Schedule {

CFrameScriptScheduleArray Load(const CSettingsStore& store, const QDate& date, int secondsOfDay,
                               QStringList* problems) {
    CFrameScriptScheduleArray entries;
    const int total = store.Get(Settings::ScriptActionTotal);
    // A section that is not there reads as all defaults: looking at the list once
    // spares a read of the file per key for a large stored count.
    const QStringList sections = store.Sections();
    for (int i = 0; i < total; ++i) {
        CFrameScriptSchedule entry;
        entry.Weekdays = 0;  // a missing key reads as 0, weekdays too
        const QString section = SectionOf(i);
        if (sections.contains(section)) {
            entry.File = store.GetString(section, QStringLiteral("File"), QString());
            for (const IntField& field : IntFields) {
                const int value = store.GetInt(section, QString::fromLatin1(field.key), 0);
                if (value < field.minimum || value > field.maximum) {
                    if (problems)
                        problems->append(QStringLiteral("%1: %2 = %3 is outside %4..%5; read as 0")
                                             .arg(section, QString::fromLatin1(field.key))
                                             .arg(value)
                                             .arg(field.minimum)
                                             .arg(field.maximum));
                    continue;
                }
                field.Set(entry, value);
            }
        }
        entries.push_back(std::move(entry));
    }
    if (entries.empty()) entries.push_back(CFrameScriptSchedule::Created(QString(), date, secondsOfDay));
    return entries;
}

bool Save(CSettingsStore& store, const CFrameScriptScheduleArray& entries, QString* error) {
    auto refused = [&](const QString& section, const QString& key) {
        if (error) *error = QStringLiteral("the settings store %1 refused %2/%3").arg(store.Path(), section, key);
        return false;
    };
    if (!store.Set(Settings::ScriptActionTotal, int(entries.size())))
        return refused(QStringLiteral("ScriptAction"), QStringLiteral("Total"));
    for (size_t i = 0; i < entries.size(); ++i) {
        const CFrameScriptSchedule& entry = entries[i];
        const QString section = SectionOf(int(i));
        if (!store.WriteString(section, QStringLiteral("File"), entry.File))
            return refused(section, QStringLiteral("File"));
        for (const IntField& field : IntFields) {
            const QString key = QString::fromLatin1(field.key);
            if (!store.WriteInt(section, key, field.Get(entry))) return refused(section, key);
        }
    }
    return true;
}

ClockSecond ClockSecond::FromSerial(qint64 serial) {
    return {QDate::fromJulianDay(serial / 86400), int(serial % 86400)};
}

TimeCheck CheckTime(const CFrameScriptScheduleArray& entries, const std::optional<ClockSecond>& examined,
                    const ClockSecond& now) {
    TimeCheck result;
    const qint64 current = now.Serial();
    qint64 first = current;  // the first second to examine
    if (examined) {
        const qint64 last = examined->Serial();
        const qint64 step = current - last;
        if (step <= 0 && step >= -ReplayGuardSeconds) {
            result.examined = examined;  // already examined, or put back a little
            return result;
        }
        if (step > 0 && step <= CatchUpSeconds) first = last + 1;
    }
    for (qint64 serial = first; serial <= current; ++serial) {
        const ClockSecond second = ClockSecond::FromSerial(serial);
        for (size_t i = 1; i < entries.size(); ++i) {
            if (entries[i].DueAt(second.date, second.secondsOfDay)) {
                result.due.push_back(int(i));
                break;
            }
        }
    }
    result.examined = now;
    return result;
}

std::optional<ClockSecond> NextDue(const CFrameScriptSchedule& entry, const ClockSecond& now) {
    if (!entry.PlayOnTime || !now.date.isValid()) return std::nullopt;
    const int time = entry.TimeOfDay();
    // A daily entry is due within a week if at all; a once-only one today or on its
    // date, which is a day of no week in particular.
    if (entry.PlayOnce) {
        const QDate date(entry.Year, entry.Month, entry.Day);
        if (!date.isValid()) return std::nullopt;
        const ClockSecond due{date, time};
        if (due.Serial() < now.Serial()) return std::nullopt;
        return due;
    }
    for (int day = 0; day <= 7; ++day) {
        const ClockSecond due{now.date.addDays(day), time};
        if (due.Serial() >= now.Serial() && entry.DueAt(due.date, time)) return due;
    }
    return std::nullopt;
}

namespace {
int FirstEntry(const CFrameScriptScheduleArray& entries, int value, int32_t CFrameScriptSchedule::* field) {
    if (value == 0) return -1;
    for (size_t i = 1; i < entries.size(); ++i)
        if (entries[i].*field == value) return int(i);
    return -1;
}
}  // namespace

int EntryForHotkey(const CFrameScriptScheduleArray& entries, int hotkey) {
    return FirstEntry(entries, hotkey, &CFrameScriptSchedule::Hotkey);
}

int EntryForButton(const CFrameScriptScheduleArray& entries, int button) {
    return FirstEntry(entries, button, &CFrameScriptSchedule::Remote);
}

QString HotkeyName(int hotkey) {
    if (hotkey == 0) return CTranslate::Global().LoadText(HotkeyNoneId);
    if (hotkey < 1 || hotkey > HotkeyCount) return QString();
    const bool ctrl = hotkey <= 10;
    return FormatString(QStringLiteral("%s+%d"),
                        {ctrl ? QStringLiteral("Ctrl") : QStringLiteral("Alt"), (hotkey - 1) % 10});
}

QString ButtonName(int button) {
    if (button == 0) return CTranslate::Global().LoadText(ButtonNoneId);
    if (button < 1 || button > ButtonCount) return QString();
    return CTranslate::Global().FormatText(ButtonNameId, {button});
}

TriggerText Trigger(const CFrameScriptSchedule& entry, int index, bool useRemote) {
    TriggerText result;
    if (index == 0) {
        result.text = CTranslate::Global().LoadText(StartupTextId);
        result.icon = entry.File.isEmpty() ? TriggerIcon::None : TriggerIcon::Startup;
        return result;
    }
    if (entry.PlayOnTime) {
        result.text = FormatString(QStringLiteral("[%02d:%02d:%02d]"), {entry.Hour, entry.Minute, entry.Second});
        if (entry.PlayOnce) {
            result.text += FormatString(QStringLiteral("[%02d.%02d.%04d]"), {entry.Day, entry.Month, entry.Year});
        } else {
            QString days = QStringLiteral("[");
            for (int bit = 0; bit < 7; ++bit)
                days += (entry.Weekdays >> bit) & 1 ? QChar(u'1' + bit) : QChar(u'-');
            result.text += days + QLatin1Char(']');
        }
        result.icon = TriggerIcon::Time;
    }
    auto append = [&result](const QString& name) {
        if (result.text.isEmpty())
            result.icon = TriggerIcon::HotkeyOrButton;
        else
            result.text += QStringLiteral(", ");
        result.text += QLatin1Char('[') + name + QLatin1Char(']');
    };
    if (entry.Hotkey != 0) append(HotkeyName(entry.Hotkey));
    if (useRemote && entry.Remote != 0) append(ButtonName(entry.Remote));
    return result;
}

}  // namespace Schedule
