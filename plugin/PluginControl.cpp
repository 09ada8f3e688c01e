#include "plugin/PluginControl.h"

#include "base/Debug.h"

#include <algorithm>

namespace {

// Selectors are combo boxes; every other element is a static control and can be
// triggered by its keys.
bool IsStaticKind(const CPluginUITemplateElement& e) { return e.type >= ElementStatic && e.type <= ElementPage; }

}  // namespace

void CPluginControl::Start() {
    plugin_.DeleteAllFiles();
    plugin_.LoadState();
    plugin_.WriteAllFiles();
}

void CPluginControl::DoAction(int elementIndex) {
    const auto& elements = plugin_.Elements();
    if (elementIndex < 0 || size_t(elementIndex) >= elements.size()) return;
    const CPluginUITemplateElement& e = *elements[size_t(elementIndex)];
    if (e.type == ElementButton && e.variable) {
        CPluginVariable& variable = *e.variable;
        host_.ButtonPressed(elementIndex);
        switch (e.action) {
        case ActionInc:
            if (variable.value < variable.maximum) variable.SetValue(variable.value + 1);
            break;
        case ActionDec:
            if (variable.minimum < variable.value) variable.SetValue(variable.value - 1);
            break;
        case ActionReset:
            if (variable.value != 0) variable.SetValue(0);
            break;
        default:
            break;
        }
        host_.RefreshVariables(variable.id);
    } else if (e.type == ElementButton && e.action == ActionDataEditor) {
        host_.RunDataEditor();
        host_.RefreshElements();
        host_.RefreshVariables(QString());
    } else if (e.type == ElementPage && e.page) {
        const bool playing = e.page->playing != 0;
        if (!playing && (e.action == ActionToggle || e.action == ActionShow)) ShowPage(e.page->id, true);
        else if (playing && (e.action == ActionToggle || e.action == ActionHide)) HidePage(e.page->id, true);
    }
}

void CPluginControl::ShowPage(const QString& id, bool withHooks) {
    const CPluginPage* page = plugin_.FindPage(id);
    if (!page) return;
    if (withHooks) {
        for (const QString& other : page->beforeHide) HidePage(other, false);
        for (const QString& other : page->beforeShow) ShowPage(other, false);
    }
    host_.ShowPage(page->index);
}

void CPluginControl::HidePage(const QString& id, bool withHooks) {
    const CPluginPage* page = plugin_.FindPage(id);
    if (!page) return;
    host_.HidePage(page->index);
    if (withHooks) {
        for (const QString& other : page->afterHide) HidePage(other, false);
        for (const QString& other : page->afterShow)
            if (const CPluginPage* shown = plugin_.FindPage(other)) host_.ShowPage(shown->index);
    }
}

void CPluginControl::OnPlaybackStatus(int pageIndex, int playing) {
    const auto& pages = plugin_.Pages();
    if (pageIndex < 0 || size_t(pageIndex) >= pages.size()) return;
    CDebug::Log(3, "CDlgPlugin::OnPlaybackStatus(%d) = %d", pageIndex, playing);
    CPluginPage& page = *pages[size_t(pageIndex)];
    page.playing = playing != 0 ? 1 : 0;
    const auto& elements = plugin_.Elements();
    for (size_t k = 0; k < elements.size(); ++k) {
        const CPluginUITemplateElement& e = *elements[k];
        if (e.type != ElementPage || e.page != &page || e.action != ActionToggle) continue;
        host_.SetElementActive(int(k), page.playing != 0);
        if (e.keypadKey > 0)
            host_.SetKeyLight(e.keypadKey - 1, page.playing ? KeyLightAssignedPlaying : KeyLightAssigned);
    }
}

void CPluginControl::OnKeypadKey(int key, int pressed) {
    CDebug::Log(3, "CDlgPlugin::OnXKControllerKey(%d, %d)", key, pressed);
    if (pressed != 1) return;
    for (int k : ElementsForKeypadKey(key)) DoAction(k);
}

void CPluginControl::OnFunctionKey(int number) {
    if (number < 1 || number > 12) return;
    for (int k : ElementsForHotkey(number)) DoAction(k);
}

bool CPluginControl::SelectItem(CPluginSelector& selector, int item) {
    if (item < 0 || item >= selector.items.size() || !selector.table || item == selector.selection) return false;
    selector.selection = item;
    selector.WriteFiles();
    plugin_.SaveState();
    return true;
}

void CPluginControl::SetText(CPluginData& item, const QString& text) {
    item.value = text;
    item.WriteFiles();
    plugin_.SaveState();
}

int32_t CPluginControl::ChooseFile(CPluginData& item, const QString& path) {
    const int32_t loaded = item.Load(path);
    item.value = path;
    plugin_.RefreshSelectors(item.id);
    item.WriteFiles();
    plugin_.SaveState();
    return loaded;
}

QList<int> CPluginControl::ElementsForHotkey(int number) const {
    QList<int> found;
    const auto& elements = plugin_.Elements();
    for (size_t k = 0; k < elements.size(); ++k)
        if (IsStaticKind(*elements[k]) && elements[k]->hotkey == number) found.append(int(k));
    return found;
}

QList<int> CPluginControl::ElementsForKeypadKey(int key) const {
    QList<int> found;
    const auto& elements = plugin_.Elements();
    for (size_t k = 0; k < elements.size(); ++k)
        if (IsStaticKind(*elements[k]) && elements[k]->keypadKey > 0 && elements[k]->keypadKey - 1 == key)
            found.append(int(k));
    return found;
}

QList<int> CPluginControl::AssignedKeypadKeys() const {
    QList<int> keys;
    for (const auto& e : plugin_.Elements())
        if (IsStaticKind(*e) && e->keypadKey > 0 && !keys.contains(e->keypadKey - 1)) keys.append(e->keypadKey - 1);
    std::sort(keys.begin(), keys.end());
    return keys;
}
