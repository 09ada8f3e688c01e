#include "app/AutomationEditor.h"

#include "app/MainDoc.h"
#include "app/ScriptEditor.h"
#include "base/Settings.h"
#include "base/Translate.h"
#include "script/FrameScript.h"

#include <QDateTime>
#include <algorithm>
#include <QDir>
#include <QFileInfo>

using namespace AutomationIds;

namespace {

CTranslate& Translate() { return CTranslate::Global(); }

// The first year the date picker offers; an entry dated before it shows today.
constexpr int FirstPickerYear = 1900;

}  // namespace

// ---------------------------------------------------------------------------------
// The entry editor

CAutomationEntryModel::CAutomationEntryModel(const CFrameScriptSchedule& entry, bool useRemote, const QDate& today)
    : Title(Translate().FormatText(EntryTitle, {ScriptFile::NameWithoutFolderAndExtension(entry.File)})),
      PlayOnTime(entry.PlayOnTime != 0),
      Time(entry.Hour, entry.Minute, entry.Second),
      PlayOnce(entry.PlayOnce != 0),
      Date(entry.Year, entry.Month, entry.Day),
      Weekdays(entry.Weekdays & CFrameScriptSchedule::AllWeekdays),
      PlayOnHotkey(entry.Hotkey != 0),
      HotkeyPosition(entry.Hotkey >= 1 && entry.Hotkey <= HotkeyCount ? entry.Hotkey - 1 : 0),
      Global(entry.Global != 0),
      PlayOnButton(entry.Remote != 0),
      ButtonPosition(entry.Remote >= 1 && entry.Remote <= ButtonCount ? entry.Remote - 1 : 0),
      useRemote_(useRemote) {
    if (!Time.isValid()) Time = QTime(0, 0, 0);
    if (!Date.isValid() || Date.year() < FirstPickerYear) Date = today;
}

QStringList CAutomationEntryModel::HotkeyNames() {
    QStringList names;
    for (int hotkey = 1; hotkey <= HotkeyCount; ++hotkey) names << Schedule::HotkeyName(hotkey);
    return names;
}

QStringList CAutomationEntryModel::ButtonNames() {
    QStringList names;
    for (int button = 1; button <= ButtonCount; ++button) names << Schedule::ButtonName(button);
    return names;
}

void CAutomationEntryModel::Ok(CFrameScriptSchedule& entry) const {
    entry.PlayOnTime = PlayOnTime ? 1 : 0;
    entry.Hour = int16_t(Time.hour());
    entry.Minute = int16_t(Time.minute());
    entry.Second = int16_t(Time.second());
    entry.PlayOnce = PlayOnce ? 1 : 0;
    entry.Year = int16_t(Date.year());
    entry.Month = int16_t(Date.month());
    entry.Day = int16_t(Date.day());
    entry.Weekdays = Weekdays & CFrameScriptSchedule::AllWeekdays;
    entry.Hotkey = PlayOnHotkey ? std::clamp(HotkeyPosition, 0, HotkeyCount - 1) + 1 : 0;
    entry.Global = Global ? 1 : 0;
    if (useRemote_) entry.Remote = PlayOnButton ? std::clamp(ButtonPosition, 0, ButtonCount - 1) + 1 : 0;
}

// ---------------------------------------------------------------------------------
// The editor

CAutomationEditorModel::CAutomationEditorModel(CMainDoc& document, CSettingsStore& settings, CGlobalHotkeys* hotkeys,
                                               Hooks hooks, IMessagePresenter* presenter)
    : document_(document),
      settings_(settings),
      hotkeys_(hotkeys),
      hooks_(std::move(hooks)),
      presenter_(presenter),
      entries_(document.Automation) {}

CAutomationEditorModel::~CAutomationEditorModel() {
    if (open_) Cancel();
}

void CAutomationEditorModel::Open() {
    entries_ = document_.Automation;
    if (entries_.empty()) entries_.push_back(CFrameScriptSchedule{});  // the start-up row is always there
    selected_ = -1;
    if (hotkeys_) document_.AutomationUnregisterGlobalHotkeys(*hotkeys_);
    open_ = true;
}

bool CAutomationEditorModel::Ok() {
    const CPresenterScope scope(presenter_);
    CFrameScriptScheduleArray previous = std::move(document_.Automation);
    document_.Automation = entries_;
    if (!document_.AutomationSave(settings_)) {
        document_.Automation = std::move(previous);
        return false;
    }
    if (hotkeys_) document_.AutomationRegisterGlobalHotkeys(*hotkeys_);
    open_ = false;
    return true;
}

void CAutomationEditorModel::Cancel() {
    if (hotkeys_) document_.AutomationRegisterGlobalHotkeys(*hotkeys_);
    open_ = false;
}

bool CAutomationEditorModel::UseRemote() const { return settings_.Get(Settings::UseRemote) != 0; }

QStringList CAutomationEditorModel::Headers() {
    return {Translate().LoadText(ColumnTrigger), Translate().LoadText(ColumnScript)};
}

std::vector<CAutomationEditorModel::Row> CAutomationEditorModel::Rows() const {
    const bool useRemote = UseRemote();
    std::vector<Row> rows;
    rows.reserve(entries_.size());
    for (size_t i = 0; i < entries_.size(); ++i) {
        const Schedule::TriggerText trigger = Schedule::Trigger(entries_[i], int(i), useRemote);
        rows.push_back({trigger.text, ScriptFile::NameWithoutFolderAndExtension(entries_[i].File), trigger.icon});
    }
    return rows;
}

void CAutomationEditorModel::Select(int row) { selected_ = row >= 0 && row < int(entries_.size()) ? row : -1; }

Schedule::ClockSecond CAutomationEditorModel::Now() const {
    if (hooks_.clock) return hooks_.clock();
    const QDateTime now = QDateTime::currentDateTime();
    return {now.date(), now.time().msecsSinceStartOfDay() / 1000};
}

QString CAutomationEditorModel::ChooseScript(const QString& start) {
    const QString path = hooks_.chooseScript ? hooks_.chooseScript(start, ScriptEditorTexts::ScriptFilter()) : QString();
    if (path.isEmpty()) return QString();
    const QFileInfo file(path);
    if (!file.isFile()) {
        // The platform's chooser lets only existing files through; a path from
        // anywhere else is said, not stored.
        Translate().MessageBoxFormat(OpenFailed, MbOk | MbIconError, {path});
        return QString();
    }
    return QDir::cleanPath(file.absoluteFilePath());
}

bool CAutomationEditorModel::Add() {
    const CPresenterScope scope(presenter_);
    const QString file = ChooseScript(PagesFolder(settings_));
    if (file.isEmpty()) return false;
    const Schedule::ClockSecond now = Now();
    CFrameScriptSchedule entry = CFrameScriptSchedule::Created(file, now.date, now.secondsOfDay);
    CAutomationEntryModel editor(entry, UseRemote(), now.date);
    if (!hooks_.editEntry || !hooks_.editEntry(editor)) return false;
    editor.Ok(entry);
    entries_.push_back(std::move(entry));
    selected_ = int(entries_.size()) - 1;
    return true;
}

bool CAutomationEditorModel::Edit() {
    if (!CanEdit()) return false;
    const CPresenterScope scope(presenter_);
    CFrameScriptSchedule& entry = entries_[size_t(selected_)];
    if (selected_ == 0) {
        const QString file = ChooseScript(entry.File.isEmpty() ? PagesFolder(settings_) : entry.File);
        if (file.isEmpty()) return false;
        entry.File = file;
        return true;
    }
    CAutomationEntryModel editor(entry, UseRemote(), Now().date);
    if (!hooks_.editEntry || !hooks_.editEntry(editor)) return false;
    editor.Ok(entry);
    return true;
}

bool CAutomationEditorModel::Delete() {
    if (!CanDelete()) return false;
    if (selected_ == 0) {
        entries_[0].File.clear();
        return true;
    }
    entries_.erase(entries_.begin() + selected_);
    if (selected_ >= int(entries_.size())) selected_ = int(entries_.size()) - 1;
    return true;
}
