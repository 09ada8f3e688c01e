// What the operator's panel does to a running plug-in, without the panel: the
// actions of buttons and page elements, the hooks of pages, selector changes, the
// data editor's edits, the page status reports and the keys that trigger elements.
// Everything that needs the document or the panel's controls (playing or ending a
// page's objects, a control's flash and colours, the keypad's lights, the data
// editor's dialog) is reported to the host, in the order it happens.
//
// Threads: the user-interface thread only.
#pragma once

#include "plugin/Plugin.h"

#include <QList>
#include <QString>

// Keypad light states the panel gives its keys.
enum PluginKeyLight : int {
    KeyLightAssigned = 3,
    KeyLightAssignedPlaying = 4,
};

// The panel and the document as the plug-in sees them.
class IPluginHost {
public:
    virtual ~IPluginHost() = default;
    // Page commands (show: play every object of the page; hide: end them), queued:
    // carried out after the current action returns, in the order given.
    virtual void ShowPage(int pageIndex) = 0;
    virtual void HidePage(int pageIndex) = 0;
    // A button bound to a variable was pressed: its control becomes active (the
    // flash) and is redrawn at once.
    virtual void ButtonPressed(int elementIndex) { (void)elementIndex; }
    // The data editor, run modally; the controller refreshes the panel afterwards.
    virtual void RunDataEditor() {}
    // Every variable control of id (all of them when id is empty) shows its value.
    virtual void RefreshVariables(const QString& id) { (void)id; }
    // Text controls, selector controls and key lights show the plug-in's values.
    virtual void RefreshElements() {}
    // A page element with ActionToggle shows its page on air (active) or not.
    virtual void SetElementActive(int elementIndex, bool active) { (void)elementIndex, (void)active; }
    // A keypad key's light (key from 0, a PluginKeyLight).
    virtual void SetKeyLight(int key, int state) { (void)key, (void)state; }
};

class CPluginControl {
public:
    CPluginControl(CPlugin& plugin, IPluginHost& host) : plugin_(plugin), host_(host) {}

    // The plug-in's start once its pages are loaded: stale files deleted, the saved
    // values read back, every file written again.
    void Start();

    // A click on the element at index, its function key or its keypad key. Elements
    // whose reference is null, and index out of range, do nothing.
    void DoAction(int elementIndex);

    // Shows the page id; with hooks its before-hide pages are hidden and its
    // before-show pages shown first. Nothing for an id that names no page.
    void ShowPage(const QString& id, bool withHooks);
    // Hides the page id; with hooks its after-hide pages are hidden and its
    // after-show pages shown after it.
    void HidePage(const QString& id, bool withHooks);

    // The document's status report for the page at pageIndex; ignored outside the
    // pages. Toggle elements of the page and their keys follow it.
    void OnPlaybackStatus(int pageIndex, int playing);
    // A keypad key (from 0) pressed (1) or released (0): a press acts on every
    // element with that key.
    void OnKeypadKey(int key, int pressed);
    // Function key F1 to F12 (1 to 12): acts on every element with that hotkey.
    void OnFunctionKey(int number);

    // The operator picked item of the selector: when it is an item, the selector
    // has a table and it differs from the selection, the selection changes and is
    // written and saved. True when it changed.
    bool SelectItem(CPluginSelector& selector, int item);
    // The data editor's edit of a text item: the text, its file and the state.
    void SetText(CPluginData& item, const QString& text);
    // The data editor's choice of a file for a table or image item: loaded, kept as
    // the value whether it loaded or not, selectors over it rebuilt, its files and
    // the state written. Returns the load result (0: show the open error).
    int32_t ChooseFile(CPluginData& item, const QString& path);

    // Indexes of the static-kind elements (every type but selectors) with hotkey
    // number, or with keypad key (from 0), in panel order.
    QList<int> ElementsForHotkey(int number) const;
    QList<int> ElementsForKeypadKey(int key) const;
    // The keypad keys (from 0) assigned to static-kind elements, ascending, once each.
    QList<int> AssignedKeypadKeys() const;

private:
    CPlugin& plugin_;
    IPluginHost& host_;
};
