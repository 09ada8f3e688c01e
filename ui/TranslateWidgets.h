// Translating dialogs, menus and combo boxes through the current language.
// Widgets carry the ids the language pack refers to as dynamic properties:
// a control its "controlId", a menu action its "commandId".
//
// Threads: the user-interface thread.
#pragma once

class QComboBox;
class QMenu;
class QWidget;

namespace TranslateWidgets {

constexpr const char* ControlIdProperty = "controlId";
constexpr const char* CommandIdProperty = "commandId";

// Sets the window's caption and the text of every descendant that carries a
// control id, where the current translation has a text for them.
void TranslateWindow(unsigned dialogId, QWidget* window);

// Translates the menu's items, depth first; the caller sets the popup counter to 0
// first (CTranslate::Global().PopupCounter).
void TranslateMenu(unsigned menuId, QMenu* menu);

// Adds LoadText(firstId + k) for k = 0 .. count - 1 as the box's items.
void FillComboBox(unsigned firstId, QComboBox* box, int count);

}  // namespace TranslateWidgets
