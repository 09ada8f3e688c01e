// The object navigator without its widget: one row per object of the page, bottom
// to top, with its number, group, caption and play and lock state; the selection
// kept in step with the document both ways; the double click, the Space key and
// the context menu. The list widget asks it for texts and icons and forwards its
// events; it holds no rule of its own.
//
// Threads: the user-interface thread. The play words are read from the page's
// snapshot; the render thread may change them between two refreshes, which is why
// the rows are copies refreshed on every document update.
#pragma once

#include "app/MainDoc.h"
#include "base/Settings.h"

#include <QString>
#include <vector>

// One row of the navigator, copied from its object at the last refresh.
struct CObjectItem {
    QString group;
    QString caption;  // set when the editor draws the object's still text
    bool playing = false;
    bool paused = false;
    bool locked = false;
};

// The navigator switch of the View menu (command 32883): the left pane's upper row
// shows either the pages browser or the object navigator; the thumbnail row below
// it collapses while the navigator is shown and comes back at its stored height.
struct NavigatorSwitch {
    static constexpr int Command = 32883;
    bool navigatorShown = false;  // also the menu item's check mark
    int thumbIdealHeight = 0;     // the thumbnail row after the switch
    int thumbMinimumHeight = 0;
};
// Flips shown; the thumbnail row's current height is kept as "ThumbHeight" (of the
// instance kind's layout section) when the navigator comes, and read back when
// the pages browser returns.
NavigatorSwitch SwitchNavigator(bool shown, int thumbRowHeight, CSettingsStore& store, InstanceKind kind);

class CObjectNavigatorModel {
public:
    static constexpr int ColumnCount = 5;
    static constexpr unsigned FirstHeaderText = 12580;  // "#", "Group", "Text", " ", " "
    // Icons (resource numbers) of the state columns.
    static constexpr int IconLocked = 407;
    static constexpr int IconPlaying = 408;
    static constexpr int IconPaused = 409;  // playing and paused
    static constexpr int ObjectMenu = 203;

    explicit CObjectNavigatorModel(CMainDoc& document);
    CObjectNavigatorModel(const CObjectNavigatorModel&) = delete;
    CObjectNavigatorModel& operator=(const CObjectNavigatorModel&) = delete;

    // Column headers, through the language pack.
    static QString HeaderText(int column);
    // Column widths from the section "ObjectsListView" ("ColWidth0" ... "ColWidth4");
    // saving keeps only positive widths. False when the store refused the write.
    static int ColumnWidth(const CSettingsStore& store, int column);
    static bool SaveColumnWidth(CSettingsStore& store, int column, int width);

    // What a refresh changed, so the widget does no more than it must.
    struct Change {
        bool countChanged = false;      // set the list's item count again
        bool selectionChanged = false;  // select SelectedRow() (or none)
        bool headersChanged = false;    // a language change: headers again
    };
    // Every document update (DocumentUpdate kinds): copies the page into the rows
    // and follows the document's selection; all rows are to be redrawn.
    Change Update(int kind);

    int Count() const { return count_; }
    // Row from 0; an item that is out of range is empty.
    const CObjectItem& Item(int row) const;
    // The text of a cell: the number from 1 ("%d"), the group, the caption; the
    // icon columns have none.
    QString Text(int row, int column) const;
    // The icon of a cell (407, 408, 409), or 0.
    int Icon(int row, int column) const;
    // The row the navigator shows selected, -1 for none.
    int SelectedRow() const { return selectedRow_; }

    // The user selected a row (-1: cleared): the document selects that object.
    void SelectRow(int row);
    // A double click anywhere in the list: plays or ends the selected object with
    // its group while the output runs. True when a play state changed.
    bool DoubleClick();
    // Space: pauses or resumes the selected playing object and its group, as on the
    // canvas. False when there was nothing to do.
    bool Space();
    // The right button or the menu key: with an object selected, a running script
    // stops and the object menu's id is returned; 0 (no menu) otherwise.
    int ContextMenu();

private:
    CMainDoc& document_;
    std::vector<CObjectItem> items_;  // grows to the largest page seen, reused
    int count_ = 0;
    int selectedRow_ = -1;
};
