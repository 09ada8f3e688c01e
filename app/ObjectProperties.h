// The object property grid without its widget: the categories and rows of the
// selected object's settings in their order, each row's editor kind, choices and
// limits, its value as text both ways, which rows apply (are enabled) given the
// other values, and the edit that validates one row and applies the object's
// values at once with one undo entry. The tree view that shows it maps its
// delegates to these calls and displays what they leave; it holds no rule of its
// own. The values an edit can change travel as CObjectPropertyValues, which the
// properties dialog applies in one step the same way.
//
// Threads: the user-interface thread (the document's).
#pragma once

#include "app/MainDoc.h"

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

// Rows by number; the number also picks the row's name (string 10799 + number) and
// description (10899 + number).
enum PropertyRowNumber : int {
    RowNumber = 1,
    RowType = 2,
    RowX = 3,
    RowY = 4,
    RowWidth = 5,
    RowHeight = 6,
    RowColor = 7,
    RowBackTransparency = 8,
    RowTextTransparency = 9,
    RowMovement = 10,
    RowSpeed = 11,
    RowLoop = 12,
    RowReverse = 13,
    RowTextSource = 14,
    RowClockFormat = 15,
    RowFileName = 16,
    RowEncoding = 17,
    RowMonitorFileChanges = 18,
    RowFirstLineIsHeader = 19,
    RowSeparator = 20,
    RowTimerFormat = 21,
    RowTimerDirection = 22,
    RowTimerStart = 23,
    RowStartDelay = 24,
    RowInEffect = 25,
    RowInEffectDuration = 26,
    RowFadeIn = 27,
    RowShowFor = 28,
    RowShowIndefinitely = 29,
    RowShowWhileTextMoves = 30,
    RowOutEffect = 31,
    RowOutEffectDuration = 32,
    RowFadeOut = 33,
    RowRepeat = 34,
    RowSwitcherButton = 35,
    RowLoopAnimation = 36,
    RowLock = 38,
    RowStartFromEdge = 39,
    RowBarGraph = 40,
    RowGroup = 41,
    RowHotkey = 42,
    RowMaintainLink = 43,
    RowImageFileName = 44,
    RowDropShadow = 45,
    RowTimerStop = 46,
    RowNumberLimit = 47,  // above the highest row number
};

// How a row's value is edited.
enum class PropertyEditor {
    ReadOnly,      // shown only
    Bool,          // "Yes" or "No"
    Integer,       // digits only, Minimum to Maximum
    List,          // one of Choices
    EditableList,  // Choices offered, any text taken
    Colour,        // "#rrggbb" (red first), with a "more..." button for the colour dialog
    File,          // a path, with a file dialog of Filter
    Time,          // masked "__:__:__": hours, minutes, seconds
    Seconds,       // digits with "." and ",": seconds with fractions; empty for 0
};

struct PropertyRow {
    int number = 0;
    unsigned category = 0;  // the category's string id
    PropertyEditor editor = PropertyEditor::ReadOnly;
    QString name;
    QString description;
    QStringList choices;  // List and EditableList, in index order
    int minimum = 0;      // Integer
    int maximum = 0;
    QString characters;   // what typing may enter (SafeEdit's set); empty: anything
    QString mask;         // Time: "__:__:__"
    QString filter;       // File: the file dialog's filter, "Description|patterns||"
    QString buttonText;   // Colour: "more..."
};

struct PropertyCategory {
    unsigned id = 0;  // string id of its name
    QString name;
    std::vector<int> rows;  // row numbers in their order
};

// The fields of an object that a property edit changes (the ones the undo of a
// property change puts back).
struct CObjectPropertyValues {
    int Locked = 0;
    int Movement = 0;
    int Speed = 10;
    int Loop = 1;
    int ShowWhileTextMoves = 0;
    int Reverse = 0;
    int StartFromEdge = 0;
    uint32_t BackColor = 0;
    int TextOpacity = 255;
    int DropShadow = 0;
    int LoopAnimation = 1;
    int MaintainLink = 0;
    QString ImageFileName;
    int TextSource = 0;
    QString FileName;
    int Encoding = 0;
    int FirstLineIsHeader = 0;
    QString ClockFormat;
    int MonitorFileChanges = 0;
    int Separator = 0;
    QString TimerFormat;
    int TimerStart = 0;
    int TimerStop = 0;
    int TimerDirection = 0;
    int BarGraph = 0;
    int ShowFor = 0;
    int ShowIndefinitely = 1;
    int StartDelay = 0;
    int InEffect = 0;
    int InEffectDuration = 0;
    int FadeIn = 0;
    int OutEffect = 0;
    int OutEffectDuration = 0;
    int FadeOut = 0;
    int Repeat = 0;
    int SwitcherButton = 0;
    QString Group;
    int Hotkey = 0;

    static CObjectPropertyValues Of(const CFrame& object);
    void WriteTo(CFrame& object) const;
    bool operator==(const CObjectPropertyValues&) const = default;
};

// The conversions between values and their text, shared by the grid and the dialog.
namespace PropertyText {
// Durations in ms: "" for 0, "%d" seconds when whole, else "%.3f".
QString Duration(int milliseconds);
// Typed seconds ("1.5", "1,5", "2", "" for 0) to ms, the digits beyond the
// millisecond dropped; nothing for other characters, two separators or a value
// beyond an int of milliseconds.
std::optional<int> ParseDuration(const QString& text);
// The opacity a transparency percentage stores, given the opacity now: the
// percentage does not tell every opacity apart (26 shows as 89 %, which stores 27),
// so the percentage the opacity already shows keeps it as it is.
int OpacityFor(int percent, int opacity);
// Seconds of the day as "%02d:%02d:%02d".
QString Time(int seconds);
// Exactly "hh:mm:ss" with hours up to 23, minutes and seconds up to 59.
std::optional<int> ParseTime(const QString& text);
// The colour of a colour word (red in the low byte) as "#rrggbb", and back
// (without the opacity byte).
QString Colour(uint32_t colour);
std::optional<uint32_t> ParseColour(const QString& text);
// Digits only, within minimum..maximum.
std::optional<int> ParseInteger(const QString& text, int minimum, int maximum);
// The file dialog filter of a file-fed text source ("TXT files|*.txt||"...), empty
// for the others.
QString SourceFileFilter(int textSource);
// The background type: "Solid", "Picture" or "Animation".
QString BackgroundType(const CFrame& object);
}  // namespace PropertyText

// What the grid needs from the window around it.
class IPropertiesHost {
public:
    virtual ~IPropertiesHost() = default;
    // Update every view of the document with the kind (DocumentUpdate) and, where
    // given, the page rectangle that changed.
    virtual void UpdateViews(int kind, const CRect* rect) = 0;
    // An existing file chosen in a file dialog with filter; empty when cancelled.
    virtual QString ChooseFile(const QString& filter) {
        (void)filter;
        return QString();
    }
};

// The rules the grid and the properties dialog share.
namespace PropertyRules {
// Whether the row applies to the object with these values.
bool Applies(int number, const CFrame& object, const CObjectPropertyValues& v);
}  // namespace PropertyRules

enum class PropertyEdit {
    Applied,    // the object took the values
    Unchanged,  // the value was the current one: nothing happened
    Refused,    // invalid value, a read-only or disabled row, or no object: the row shows the old value again
    Cancelled,  // the file dialog of a text source was cancelled: the choice went back
};

namespace PropertyRules {
// Another text source for the values: a file-fed one asks the host for its file
// (Cancelled, values untouched, when none is chosen); a clock or a timer makes the
// movement "Fixed". Applied when it was taken, Unchanged for the same source.
PropertyEdit ChooseTextSource(int source, CObjectPropertyValues& v, IPropertiesHost& host);
// Another timer count direction swaps the timer's start and stop.
void ChooseTimerDirection(int direction, CObjectPropertyValues& v);
}  // namespace PropertyRules

class CObjectPropertiesModel {
public:
    CObjectPropertiesModel(CMainDoc& document, IPropertiesHost& host);
    CObjectPropertiesModel(const CObjectPropertiesModel&) = delete;
    CObjectPropertiesModel& operator=(const CObjectPropertiesModel&) = delete;

    // The categories and rows in their translated texts (when the pane is made and
    // when the language changes). The "Remote control" category is there only
    // while the switcher's remote control is in use. Refreshes the values.
    void Rebuild(bool remoteInUse);
    // "Property" (column 0) and "Value" (column 1).
    static QString HeaderText(int column);

    const std::vector<PropertyCategory>& Categories() const { return categories_; }
    // The row, or null for a number that is not one of the grid's.
    const PropertyRow* Row(int number) const;

    // The selected object's values into the rows, and which rows apply (on every
    // document update). With no selection there are no values and no row applies.
    void Refresh();
    bool HasObject() const { return object_ != nullptr; }
    QString Value(int number) const;
    // The index of the value among the row's choices; -1 when none (or no list).
    int ChoiceIndex(int number) const;
    bool Enabled(int number) const;

    // An edit of one row, with the text the editor produced (for lists, one of the
    // choices). Afterwards the rows show the object's values again, so a refused
    // value is replaced by the previous one and a side effect on other rows (a
    // clock turns the movement "Fixed"; the timer direction swaps start and stop;
    // a duration in canonical form) shows at once.
    PropertyEdit Edit(int number, const QString& text);
    PropertyEdit EditChoice(int number, int index);

    // Applies a whole set of values to the selected object in one step (one undo
    // entry); false when there is no selection or nothing differs.
    bool Apply(const CObjectPropertyValues& values);

private:
    void FillChoices();
    PropertyRow& Add(unsigned category, int number, PropertyEditor editor);
    QString TextOf(int number) const;
    bool SetValue(int number, const QString& text, CObjectPropertyValues& v, PropertyEdit& outcome);

    CMainDoc& document_;
    IPropertiesHost& host_;
    std::vector<PropertyCategory> categories_;
    std::vector<PropertyRow> rows_;
    std::array<int, RowNumberLimit> index_{};  // row number -> index in rows_ + 1; 0 for none
    CFrame* object_ = nullptr;                 // the object the values are of
    CObjectPropertyValues values_;
    std::array<QString, RowNumberLimit> texts_;
    std::array<bool, RowNumberLimit> enabled_{};
};
