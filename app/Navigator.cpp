#include "app/Navigator.h"

#include "base/Translate.h"

#include <algorithm>

namespace {
const SettingKey* const WidthKeys[CObjectNavigatorModel::ColumnCount] = {
    &Settings::ColWidth0, &Settings::ColWidth1, &Settings::ColWidth2, &Settings::ColWidth3, &Settings::ColWidth4};

bool ValidColumn(int column) { return column >= 0 && column < CObjectNavigatorModel::ColumnCount; }
}  // namespace

NavigatorSwitch SwitchNavigator(bool shown, int thumbRowHeight, CSettingsStore& store, InstanceKind kind) {
    NavigatorSwitch result;
    result.navigatorShown = !shown;
    if (result.navigatorShown) {
        store.Set(Settings::ThumbHeight, std::max(thumbRowHeight, 0), kind);
        result.thumbIdealHeight = 0;
        result.thumbMinimumHeight = 3000;  // collapsed, whatever the splitter would allow
    } else {
        result.thumbIdealHeight = std::max(store.Get(Settings::ThumbHeight, kind), 0);
        result.thumbMinimumHeight = 100;
    }
    return result;
}

CObjectNavigatorModel::CObjectNavigatorModel(CMainDoc& document) : document_(document) {}

QString CObjectNavigatorModel::HeaderText(int column) {
    if (!ValidColumn(column)) return QString();
    return CTranslate::Global().LoadText(FirstHeaderText + unsigned(column));
}

int CObjectNavigatorModel::ColumnWidth(const CSettingsStore& store, int column) {
    return ValidColumn(column) ? store.Get(*WidthKeys[column]) : 0;
}

bool CObjectNavigatorModel::SaveColumnWidth(CSettingsStore& store, int column, int width) {
    if (!ValidColumn(column) || width <= 0) return true;  // nothing to keep
    return store.Set(*WidthKeys[column], width);
}

CObjectNavigatorModel::Change CObjectNavigatorModel::Update(int kind) {
    Change change;
    int selected = -1;
    int count = 0;
    {
        CPageSnapshot snapshot(document_.Page);
        count = int(snapshot.list.size());
        if (int(items_.size()) < count) items_.resize(count);
        for (int i = 0; i < count; ++i) {
            const CFrame* object = snapshot.list[i];
            CObjectItem& item = items_[i];
            item.group = object->Group;
            item.caption = object->Caption;
            item.playing = object->Playing.load() != 0;
            item.paused = object->Paused.load() != 0;
            item.locked = object->Locked != 0;
            if (object == document_.Selected) selected = i;
        }
    }
    change.countChanged = count != count_;
    count_ = count;
    change.selectionChanged = selected != selectedRow_;
    selectedRow_ = selected;
    change.headersChanged = kind == UpdateLanguage;
    return change;
}

const CObjectItem& CObjectNavigatorModel::Item(int row) const {
    static const CObjectItem none;
    return row >= 0 && row < count_ ? items_[row] : none;
}

QString CObjectNavigatorModel::Text(int row, int column) const {
    if (row < 0 || row >= count_) return QString();
    switch (column) {
    case 0: return FormatString(QStringLiteral("%d"), {row + 1});
    case 1: return items_[row].group;
    case 2: return items_[row].caption;
    default: return QString();
    }
}

int CObjectNavigatorModel::Icon(int row, int column) const {
    if (row < 0 || row >= count_) return 0;
    const CObjectItem& item = items_[row];
    if (column == 3) return item.playing ? (item.paused ? IconPaused : IconPlaying) : 0;
    if (column == 4) return item.locked ? IconLocked : 0;
    return 0;
}

void CObjectNavigatorModel::SelectRow(int row) {
    CFrame* object = nullptr;
    if (row >= 0) {
        CPageSnapshot snapshot(document_.Page);
        if (row < int(snapshot.list.size())) object = snapshot.list[row];
    }
    selectedRow_ = object ? row : -1;
    if (object != document_.Selected) document_.Select(object);
}

bool CObjectNavigatorModel::DoubleClick() {
    if (!document_.Selected) return false;
    // The document's one command path resolves the selection to the object and its
    // group and does nothing while the output is off.
    return document_.Command(PlayCommand::Toggle, CommandTarget::Selected()).Changed();
}

bool CObjectNavigatorModel::Space() {
    CFrame* object = document_.Selected;
    if (!object || !document_.Page.OutputOn.load() || !object->Playing.load()) return false;
    return document_.Command(PlayCommand::PauseResume, CommandTarget::Selected()).Changed();
}

int CObjectNavigatorModel::ContextMenu() {
    if (!document_.Selected) return 0;
    document_.ScriptStop();
    return ObjectMenu;
}
