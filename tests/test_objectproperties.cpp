// The property grid's model without a widget: the categories and rows in their
// order with their editors, the values as text both ways, which rows apply, the
// refusals that leave the object as it was, the side effects of an edit (a clock
// stops the movement, the timer direction swaps start and stop, a source file is
// chosen, "Show indefinitely" comes back on) and the one undo entry each applied
// edit leaves; the character rule of the restricted edit fields; the properties
// and paragraph dialogs' fields and OK.
#include "app/ObjectProperties.h"
#include "app/ObjectPropertiesDialog.h"
#include "app/SafeEdit.h"

#include "tests/RecordingPresenter.h"

#include <gtest/gtest.h>


#include <functional>
#include <vector>

namespace {

class DocHost : public IDocumentHost {
public:
    void UpdateViews(int) override {}
};

class PropsHost : public IPropertiesHost {
public:
    struct Update {
        int kind;
        CRect rect;
    };
    void UpdateViews(int kind, const CRect* rect) override { updates.push_back({kind, rect ? *rect : CRect{-1, -1, -1, -1}}); }
    QString ChooseFile(const QString& filter) override {
        filters.push_back(filter);
        return chosen;
    }
    std::vector<Update> updates;
    std::vector<QString> filters;
    QString chosen;
};

using Preparation = std::function<void(CFrame&)>;

class Properties : public ::testing::Test {
protected:
    void SetUp() override {
        doc.AddSimpleObject();
        object = doc.Selected;
        ASSERT_NE(object, nullptr);
        object->RichText = "{\\rtf1 text}";  // an object with text of its own: no template is made
        doc.Modified = false;
        doc.Undo.ClearHistory();
        model.Rebuild(true);
    }
    // Prepares the object as a case needs it, as the grid sees it afterwards.
    void Prepare(const Preparation& setup) {
        if (setup) setup(*object);
        model.Refresh();
    }

    RecordingPresenter presenter;
    DocHost docHost;
    CMainDoc doc{docHost, 0};
    PropsHost host;
    CObjectPropertiesModel model{doc, host};
    CFrame* object = nullptr;
};

void Horizontal(CFrame& o) { o.Movement = MovementHorizontal; }
void TimerSource(CFrame& o) { o.TextSource = SourceTimer; }
void TextFileSource(CFrame& o) { o.TextSource = SourceTextFile; }
void CsvSource(CFrame& o) { o.TextSource = SourceCsvFile; }
void PictureOf(int frames, CFrame& o) {
    o.Kind = KindPicture;
    o.Frames.resize(size_t(frames));
}

// ---------------------------------------------------------------------------------
// Layout

TEST_F(Properties, CategoriesAndRowsComeInTheirOrderWithTheirEditorsAndNames) {
    using E = PropertyEditor;
    struct Expected {
        unsigned category;
        int number;
        E editor;
        const char* name;
    };
    const std::vector<Expected> expected = {
        {11100, 1, E::ReadOnly, "#"},
        {11100, 38, E::Bool, "Lock"},
        {11100, 41, E::EditableList, "Group"},
        {11100, 42, E::List, "Hotkey"},
        {11101, 3, E::ReadOnly, "X"},
        {11101, 4, E::ReadOnly, "Y"},
        {11102, 5, E::ReadOnly, "Width"},
        {11102, 6, E::ReadOnly, "Height"},
        {11103, 2, E::ReadOnly, "Type"},
        {11103, 7, E::Colour, "Color"},
        {11103, 8, E::Integer, "Transparency"},
        {11103, 36, E::Bool, "Loop animation"},
        {11103, 43, E::Bool, "Maintain link to image file"},
        {11103, 44, E::File, "Image file name"},
        {11104, 9, E::Integer, "Transparency"},
        {11104, 45, E::List, "Drop shadow"},
        {11104, 10, E::List, "Movement"},
        {11104, 11, E::Integer, "Speed"},
        {11104, 12, E::Bool, "Loop"},
        {11104, 39, E::Bool, "Start from edge"},
        {11104, 13, E::Bool, "Reverse"},
        {11105, 14, E::List, "Text source"},
        {11105, 15, E::EditableList, "Clock format"},
        {11105, 17, E::List, "Encoding"},
        {11105, 18, E::Bool, "Monitor file changes"},
        {11105, 19, E::Bool, "First line is header"},
        {11105, 20, E::List, "Separator"},
        {11105, 21, E::EditableList, "Timer format"},
        {11105, 22, E::List, "Timer count direction"},
        {11105, 23, E::Time, "Timer start"},
        {11105, 46, E::Time, "Timer stop"},
        {11105, 16, E::File, "File name"},
        {11105, 40, E::Bool, "Bar graph"},
        {11106, 24, E::Seconds, "Start delay"},
        {11106, 25, E::List, "In effect"},
        {11106, 26, E::Seconds, "In effect duration"},
        {11106, 27, E::Bool, "Fade in"},
        {11106, 28, E::Seconds, "Show for"},
        {11106, 29, E::Bool, "Show indefinitely"},
        {11106, 30, E::Bool, "Show while text moves"},
        {11106, 31, E::List, "Out effect"},
        {11106, 32, E::Seconds, "Out effect duration"},
        {11106, 33, E::Bool, "Fade out"},
        {11106, 34, E::Bool, "Repeat"},
        {11107, 35, E::List, "Switcher button"},
    };
    const std::vector<QString> categoryNames = {"Object properties", "Position", "Size", "Background",
                                                "Text", "Text source", "Presentation", "Remote control"};
    std::vector<Expected> shown;
    std::vector<QString> names;
    for (const PropertyCategory& category : model.Categories()) {
        names.push_back(category.name);
        for (int number : category.rows) {
            const PropertyRow* row = model.Row(number);
            ASSERT_NE(row, nullptr) << number;
            EXPECT_EQ(row->category, category.id) << number;
            shown.push_back({category.id, number, row->editor, nullptr});
            ASSERT_LT(shown.size(), expected.size() + 1);
            EXPECT_EQ(row->name, QString::fromUtf8(expected[shown.size() - 1].name)) << number;
        }
    }
    EXPECT_EQ(names, categoryNames);
    ASSERT_EQ(shown.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(shown[i].category, expected[i].category) << i;
        EXPECT_EQ(shown[i].number, expected[i].number) << i;
        EXPECT_EQ(shown[i].editor, expected[i].editor) << expected[i].name;
    }
    EXPECT_EQ(model.Row(1)->description, "All objects are numbered bottom-to-top");
    EXPECT_EQ(CObjectPropertiesModel::HeaderText(0), "Property");
    EXPECT_EQ(CObjectPropertiesModel::HeaderText(1), "Value");

    // Without the switcher's remote control the last category is not there.
    model.Rebuild(false);
    ASSERT_EQ(model.Categories().size(), 7u);
    EXPECT_EQ(model.Categories().back().id, 11106u);
    EXPECT_EQ(model.Row(RowSwitcherButton), nullptr);
}

TEST_F(Properties, RowsCarryTheirChoicesLimitsAndCharacterSets) {
    EXPECT_EQ(model.Row(RowHotkey)->choices.size(), 21);
    EXPECT_EQ(model.Row(RowHotkey)->choices.front(), "None");
    EXPECT_EQ(model.Row(RowHotkey)->choices[1], "Ctrl+0");
    EXPECT_EQ(model.Row(RowHotkey)->choices.back(), "Alt+9");
    EXPECT_EQ(model.Row(RowSwitcherButton)->choices.size(), 17);
    EXPECT_EQ(model.Row(RowSwitcherButton)->choices.back(), "Button #16");
    EXPECT_EQ(model.Row(RowInEffect)->choices.size(), 31);
    EXPECT_EQ(model.Row(RowInEffect)->choices.back(), "Reveal from Center to corners");
    EXPECT_EQ(model.Row(RowOutEffect)->choices.back(), "Hide to Center from corners");
    EXPECT_EQ(model.Row(RowTextSource)->choices,
              (QStringList{"Object text", "Clock", "Text file", "RTF file", "CSV file", "Timer"}));
    EXPECT_EQ(model.Row(RowEncoding)->choices,
              (QStringList{"Auto", "ANSI/OEM", "UNICODE", "UNICODE Big-Endian", "UTF-8"}));
    EXPECT_EQ(model.Row(RowDropShadow)->choices, (QStringList{"None", "Outline", "Low", "Medium", "High"}));
    EXPECT_EQ(model.Row(RowSeparator)->choices, (QStringList{";", ","}));
    EXPECT_EQ(model.Row(RowTimerDirection)->choices, (QStringList{"Up", "Down"}));
    EXPECT_EQ(model.Row(RowClockFormat)->choices,
              (QStringList{"%H:%M", "%H:%M:%S", "%H:%M %p", "%c", "%x", "%X"}));
    EXPECT_EQ(model.Row(RowTimerFormat)->choices, (QStringList{"%H:%M:%S", "%n:%S", "%s.%d", "%s.%h", "%s.%m"}));
    EXPECT_EQ(model.Row(RowLock)->choices, (QStringList{"Yes", "No"}));
    EXPECT_EQ(model.Row(RowSpeed)->minimum, 1);
    EXPECT_EQ(model.Row(RowSpeed)->maximum, 40);
    EXPECT_EQ(model.Row(RowBackTransparency)->maximum, 100);
    EXPECT_EQ(model.Row(RowSpeed)->characters, "0123456789");
    EXPECT_EQ(model.Row(RowShowFor)->characters, "0123456789.,");
    EXPECT_EQ(model.Row(RowTimerStart)->mask, "__:__:__");
    EXPECT_EQ(model.Row(RowColor)->buttonText, "more...");
    EXPECT_TRUE(model.Row(RowImageFileName)->filter.startsWith("Pictures, animations, image lists ("));

    // The group list is the page's groups; the file filter follows the source.
    object->Group = "Sport";
    Prepare(CsvSource);
    EXPECT_EQ(model.Row(RowGroup)->choices, QStringList{"Sport"});
    EXPECT_EQ(model.Row(RowFileName)->filter, "CSV files|*.csv||");
}

// ---------------------------------------------------------------------------------
// Values shown

TEST_F(Properties, AFreshObjectShowsItsValuesAsText) {
    object->Rect = {10, 20, 110, 70};
    model.Refresh();
    const std::vector<std::pair<int, QString>> shown = {
        {RowNumber, "1"}, {RowX, "10"}, {RowY, "20"}, {RowWidth, "100"}, {RowHeight, "50"},
        {RowType, "Solid"}, {RowColor, "#000000"}, {RowBackTransparency, "89"}, {RowTextTransparency, "0"},
        {RowMovement, "Fixed"}, {RowSpeed, "10"}, {RowLoop, "Yes"}, {RowReverse, "No"},
        {RowTextSource, "Object text"}, {RowClockFormat, "%H:%M"}, {RowTimerStart, "00:00:00"},
        {RowTimerStop, "01:00:00"}, {RowStartDelay, ""}, {RowShowIndefinitely, "Yes"}, {RowInEffect, "Simple cut"},
        {RowHotkey, "None"}, {RowSwitcherButton, "None"}, {RowDropShadow, "None"}, {RowEncoding, "Auto"},
        {RowGroup, ""}, {RowLock, "No"},
    };
    for (const auto& [row, text] : shown) EXPECT_EQ(model.Value(row), text) << row;
    EXPECT_EQ(model.ChoiceIndex(RowMovement), 0);
    EXPECT_EQ(model.ChoiceIndex(RowLoop), 0);  // "Yes" first
    EXPECT_EQ(model.ChoiceIndex(RowSpeed), -1);

    PictureOf(1, *object);
    model.Refresh();
    EXPECT_EQ(model.Value(RowType), "Picture");
    PictureOf(3, *object);
    model.Refresh();
    EXPECT_EQ(model.Value(RowType), "Animation");
}

TEST_F(Properties, WithoutASelectionNoRowHasAValueOrApplies) {
    doc.Select(nullptr);
    model.Refresh();
    EXPECT_FALSE(model.HasObject());
    for (const PropertyCategory& category : model.Categories())
        for (int number : category.rows) {
            EXPECT_TRUE(model.Value(number).isEmpty()) << number;
            EXPECT_FALSE(model.Enabled(number)) << number;
        }
    EXPECT_EQ(model.Edit(RowSpeed, "20"), PropertyEdit::Refused);
    EXPECT_TRUE(host.updates.empty());
}

TEST(PropertyText, ConversionsBothWays) {
    struct Duration {
        int ms;
        const char* shown;
    };
    for (const Duration& c : std::vector<Duration>{{0, ""}, {2000, "2"}, {1500, "1.500"}, {1, "0.001"}, {61001, "61.001"}})
        EXPECT_EQ(PropertyText::Duration(c.ms), c.shown) << c.ms;
    struct Typed {
        const char* text;
        std::optional<int> ms;
    };
    for (const Typed& c : std::vector<Typed>{{"", 0},          {"2", 2000},       {"1.5", 1500},   {"1,5", 1500},
                                              {"1.001", 1001}, {"0.0009", 0},     {".25", 250},    {"3.", 3000},
                                              {"1.2.3", {}},   {"1,2.3", {}},     {".", {}},       {"1 s", {}},
                                              {"-1", {}},      {"2147483.647", 2147483647},         {"2147484", {}}})
        EXPECT_EQ(PropertyText::ParseDuration(c.text), c.ms) << c.text;

    EXPECT_EQ(PropertyText::Time(86399), "23:59:59");
    EXPECT_EQ(PropertyText::Time(3723), "01:02:03");
    EXPECT_EQ(PropertyText::ParseTime("23:59:59"), 86399);
    EXPECT_EQ(PropertyText::ParseTime("00:00:00"), 0);
    for (const char* bad : {"24:00:00", "23:60:00", "23:59:60", "1:00:00", "01:00:0", "01:00:000", "__:__:__",
                            "01-00-00", "0a:00:00", ""})
        EXPECT_EQ(PropertyText::ParseTime(bad), std::nullopt) << bad;

    EXPECT_EQ(PropertyText::Colour(0x1A0080FFu), "#ff8000");  // red in the low byte
    EXPECT_EQ(PropertyText::ParseColour("#FF8000"), 0x0080FFu);
    for (const char* bad : {"ff8000", "#ff80", "#ff80001", "#gg8000", "red"})
        EXPECT_EQ(PropertyText::ParseColour(bad), std::nullopt) << bad;

    EXPECT_EQ(PropertyText::ParseInteger("40", 1, 40), 40);
    for (const char* bad : {"", "0", "41", "4 0", "+4", "1234567890"})
        EXPECT_EQ(PropertyText::ParseInteger(bad, 1, 40), std::nullopt) << bad;
    EXPECT_EQ(PropertyText::SourceFileFilter(SourceTextFile), "TXT files|*.txt||");
    EXPECT_EQ(PropertyText::SourceFileFilter(SourceRtfFile), "RTF files|*.rtf||");
    EXPECT_TRUE(PropertyText::SourceFileFilter(SourceClock).isEmpty());
}

TEST(SafeEdit, TypingAndPastingKeepToTheSet) {
    EXPECT_TRUE(SafeEdit::Takes(u'7', SafeEdit::Digits));
    EXPECT_FALSE(SafeEdit::Takes(u'.', SafeEdit::Digits));
    EXPECT_TRUE(SafeEdit::Takes(u',', SafeEdit::DigitsAndSeparators));
    EXPECT_FALSE(SafeEdit::Takes(u'a', SafeEdit::DigitsAndSeparators));
    EXPECT_TRUE(SafeEdit::Takes(QChar(8), SafeEdit::Digits));  // backspace and other control characters pass
    EXPECT_FALSE(SafeEdit::Takes(u' ', SafeEdit::Digits));
    EXPECT_EQ(SafeEdit::Paste("12.5s7", SafeEdit::DigitsAndSeparators), "12.5");
    EXPECT_EQ(SafeEdit::Paste("12.5", SafeEdit::Digits), "12");
    EXPECT_EQ(SafeEdit::Paste("x12", SafeEdit::Digits), "");
}

// ---------------------------------------------------------------------------------
// Applying edits

struct EditCase {
    const char* what;
    Preparation setup;
    int row;
    QString typed;
    QString shownAfter;
    std::function<bool(const CFrame&)> stored;
};

TEST_F(Properties, EachRowTakesItsTextStoresItAndUndoPutsTheObjectBack) {
    const std::vector<EditCase> cases = {
        {"background transparency 50", {}, RowBackTransparency, "50", "50", [](const CFrame& o) { return o.BackColor == 0x7F000000u; }},
        {"background transparency 100", {}, RowBackTransparency, "100", "100", [](const CFrame& o) { return o.BackColor == 0u; }},
        {"background transparency 0", {}, RowBackTransparency, "0", "0", [](const CFrame& o) { return o.BackColor == 0xFF000000u; }},
        {"text transparency 50", {}, RowTextTransparency, "50", "50", [](const CFrame& o) { return o.TextOpacity == 127; }},
        {"colour keeps the opacity", {}, RowColor, "#ff8000", "#ff8000", [](const CFrame& o) { return o.BackColor == 0x1A0080FFu; }},
        {"speed", Horizontal, RowSpeed, "40", "40", [](const CFrame& o) { return o.Speed == 40; }},
        {"start delay with fraction", {}, RowStartDelay, "1.5", "1.500", [](const CFrame& o) { return o.StartDelay == 1500; }},
        {"start delay whole", {}, RowStartDelay, "2", "2", [](const CFrame& o) { return o.StartDelay == 2000; }},
        {"comma as decimal mark", {}, RowOutEffectDuration, "0,25", "0.250", [](const CFrame& o) { return o.OutEffectDuration == 250; }},
        {"empty duration is 0", [](CFrame& o) { o.InEffectDuration = 700; }, RowInEffectDuration, "", "", [](const CFrame& o) { return o.InEffectDuration == 0; }},
        {"show for", [](CFrame& o) { o.ShowIndefinitely = 0, o.ShowFor = 1000; }, RowShowFor, "10", "10", [](const CFrame& o) { return o.ShowFor == 10000 && !o.ShowIndefinitely; }},
        {"timer start", TimerSource, RowTimerStart, "23:59:59", "23:59:59", [](const CFrame& o) { return o.TimerStart == 86399; }},
        {"timer stop", TimerSource, RowTimerStop, "00:00:30", "00:00:30", [](const CFrame& o) { return o.TimerStop == 30; }},
        {"group trimmed", {}, RowGroup, "  News \t", "News", [](const CFrame& o) { return o.Group == "News"; }},
        {"hotkey", {}, RowHotkey, "Ctrl+2", "Ctrl+2", [](const CFrame& o) { return o.Hotkey == 3; }},
        {"switcher button", {}, RowSwitcherButton, "Button #4", "Button #4", [](const CFrame& o) { return o.SwitcherButton == 4; }},
        {"drop shadow", {}, RowDropShadow, "Medium", "Medium", [](const CFrame& o) { return o.DropShadow == 3; }},
        {"in effect", {}, RowInEffect, "Slide from Left side", "Slide from Left side", [](const CFrame& o) { return o.InEffect == 1; }},
        {"out effect", {}, RowOutEffect, "Hide to Center from corners", "Hide to Center from corners", [](const CFrame& o) { return o.OutEffect == 30; }},
        {"encoding", TextFileSource, RowEncoding, "UTF-8", "UTF-8", [](const CFrame& o) { return o.Encoding == 4; }},
        {"separator", CsvSource, RowSeparator, ",", ",", [](const CFrame& o) { return o.Separator == 1; }},
        {"lock", {}, RowLock, "Yes", "Yes", [](const CFrame& o) { return o.Locked == 1; }},
        {"loop off", Horizontal, RowLoop, "No", "No", [](const CFrame& o) { return o.Loop == 0; }},
        {"clock format", [](CFrame& o) { o.TextSource = SourceClock; }, RowClockFormat, "%H.%M", "%H.%M", [](const CFrame& o) { return o.ClockFormat == "%H.%M"; }},
        {"timer format", TimerSource, RowTimerFormat, "%s.%d", "%s.%d", [](const CFrame& o) { return o.TimerFormat == "%s.%d"; }},
        {"movement", {}, RowMovement, "Vertical roll", "Vertical roll", [](const CFrame& o) { return o.Movement == MovementVertical; }},
        {"image link off", [](CFrame& o) { PictureOf(1, o), o.ImageFileName = "/p/a.png", o.MaintainLink = 1; }, RowMaintainLink, "No", "No",
         [](const CFrame& o) { return o.MaintainLink == 0 && o.ImageFileName == "/p/a.png"; }},
        {"image file name", [](CFrame& o) { PictureOf(1, o), o.ImageFileName = "/p/a.png", o.MaintainLink = 1; }, RowImageFileName, "/p/b.png", "/p/b.png",
         [](const CFrame& o) { return o.ImageFileName == "/p/b.png"; }},
    };
    for (const EditCase& c : cases) {
        SCOPED_TRACE(c.what);
        Prepare(c.setup);
        const CObjectPropertyValues before = CObjectPropertyValues::Of(*object);
        object->EditorTextValid = 1;
        object->EditorBackgroundValid = 1;
        doc.Modified = false;
        host.updates.clear();
        const size_t entries = doc.Undo.UndoStack.size();

        ASSERT_EQ(model.Edit(c.row, c.typed), PropertyEdit::Applied);
        EXPECT_TRUE(c.stored(*object));
        EXPECT_EQ(model.Value(c.row), c.shownAfter);
        EXPECT_TRUE(doc.Modified);
        EXPECT_EQ(object->EditorTextValid, 0);
        EXPECT_EQ(object->EditorBackgroundValid, 0);
        ASSERT_EQ(host.updates.size(), 1u);
        EXPECT_EQ(host.updates[0].kind, UpdateGeneral);
        EXPECT_EQ(host.updates[0].rect, object->Rect);
        ASSERT_EQ(doc.Undo.UndoStack.size(), entries + 1);
        EXPECT_EQ(doc.Undo.UndoStack.back()->Type, PropertiesChanged);

        // Typing the shown value again changes nothing.
        EXPECT_EQ(model.Edit(c.row, model.Value(c.row)), PropertyEdit::Unchanged);
        EXPECT_EQ(doc.Undo.UndoStack.size(), entries + 1);

        doc.DoUndo();
        EXPECT_EQ(CObjectPropertyValues::Of(*object), before);
        model.Refresh();
        // Each case starts from a default object again.
        CObjectPropertyValues::Of(CFrame()).WriteTo(*object);
        object->Kind = KindSimple;
        object->Frames.clear();
    }
    EXPECT_TRUE(presenter.texts.empty());
}

struct RefusalCase {
    const char* what;
    Preparation setup;
    int row;
    QString typed;
};

TEST_F(Properties, InvalidValuesAreRefusedAndLeaveTheObjectAsItWas) {
    const std::vector<RefusalCase> cases = {
        {"background transparency 101", {}, RowBackTransparency, "101"},
        {"text transparency 101", {}, RowTextTransparency, "101"},
        {"transparency not a number", {}, RowTextTransparency, "5%"},
        {"transparency empty", {}, RowBackTransparency, ""},
        {"speed 0", Horizontal, RowSpeed, "0"},
        {"speed 41", Horizontal, RowSpeed, "41"},
        {"timer start 24:00:00", TimerSource, RowTimerStart, "24:00:00"},
        {"timer stop half typed", TimerSource, RowTimerStop, "12:3_:__"},
        {"duration with two marks", {}, RowStartDelay, "1.2.3"},
        {"duration with letters", {}, RowShowFor, "3s"},
        {"colour by name", {}, RowColor, "red"},
        {"not a movement", {}, RowMovement, "Sideways"},
        {"not a bool", {}, RowRepeat, "Maybe"},
        {"not a hotkey", {}, RowHotkey, "Ctrl+A"},
        {"read-only row", {}, RowX, "5"},
        {"speed of a fixed object (disabled)", {}, RowSpeed, "20"},
        {"clock format of object text (disabled)", {}, RowClockFormat, "%H"},
        {"colour of a picture (disabled)", [](CFrame& o) { PictureOf(1, o); }, RowColor, "#ffffff"},
        {"no such row", {}, 37, "1"},
    };
    for (const RefusalCase& c : cases) {
        SCOPED_TRACE(c.what);
        Prepare(c.setup);
        const CObjectPropertyValues before = CObjectPropertyValues::Of(*object);
        const QString shown = model.Value(c.row);
        doc.Modified = false;
        host.updates.clear();

        EXPECT_EQ(model.Edit(c.row, c.typed), PropertyEdit::Refused);
        EXPECT_EQ(CObjectPropertyValues::Of(*object), before);
        EXPECT_EQ(model.Value(c.row), shown) << "the previous value is back in the row";
        EXPECT_FALSE(doc.Modified);
        EXPECT_TRUE(doc.Undo.UndoStack.empty());
        EXPECT_TRUE(host.updates.empty());

        CObjectPropertyValues::Of(CFrame()).WriteTo(*object);
        object->Kind = KindSimple;
        object->Frames.clear();
    }
    EXPECT_EQ(model.EditChoice(RowMovement, 3), PropertyEdit::Refused);
    // The grid puts the old value back without a message.
    EXPECT_TRUE(presenter.texts.empty());
}

// ---------------------------------------------------------------------------------
// Which rows apply

struct EnabledCase {
    const char* what;
    Preparation setup;
    std::vector<int> enabled;
    std::vector<int> disabled;
};

TEST_F(Properties, RowsApplyOnlyWhereTheOtherValuesMakeThemMeaningful) {
    const std::vector<EnabledCase> cases = {
        {"fixed solid object text", {},
         {RowColor, RowBackTransparency, RowMovement, RowShowFor, RowShowIndefinitely, RowTextTransparency, RowLock},
         {RowSpeed, RowLoop, RowReverse, RowStartFromEdge, RowShowWhileTextMoves, RowLoopAnimation, RowMaintainLink,
          RowImageFileName, RowClockFormat, RowFileName, RowEncoding, RowMonitorFileChanges, RowFirstLineIsHeader,
          RowSeparator, RowBarGraph, RowTimerFormat, RowTimerDirection, RowTimerStart, RowTimerStop}},
        {"moving", Horizontal,
         {RowSpeed, RowLoop, RowReverse, RowStartFromEdge, RowShowWhileTextMoves, RowShowFor, RowShowIndefinitely}, {}},
        {"moving while the text moves", [](CFrame& o) { o.Movement = MovementVertical, o.ShowWhileTextMoves = 1; },
         {RowSpeed}, {RowShowFor, RowShowIndefinitely}},
        {"fixed, flag left on", [](CFrame& o) { o.ShowWhileTextMoves = 1; }, {RowShowFor, RowShowIndefinitely},
         {RowShowWhileTextMoves}},
        {"picture", [](CFrame& o) { PictureOf(1, o); }, {}, {RowColor, RowBackTransparency, RowLoopAnimation, RowMaintainLink}},
        {"animation", [](CFrame& o) { PictureOf(2, o); }, {RowLoopAnimation}, {RowMaintainLink}},
        {"picture with a file", [](CFrame& o) { PictureOf(1, o), o.ImageFileName = "/a.png"; }, {RowMaintainLink},
         {RowImageFileName}},
        {"linked picture", [](CFrame& o) { PictureOf(1, o), o.ImageFileName = "/a.png", o.MaintainLink = 1; },
         {RowMaintainLink, RowImageFileName}, {}},
        {"clock", [](CFrame& o) { o.TextSource = SourceClock; }, {RowClockFormat}, {RowMovement, RowFileName, RowTimerStart}},
        {"timer", TimerSource, {RowTimerFormat, RowTimerDirection, RowTimerStart, RowTimerStop},
         {RowMovement, RowClockFormat}},
        {"text file", TextFileSource, {RowFileName, RowEncoding, RowMonitorFileChanges, RowBarGraph, RowMovement},
         {RowFirstLineIsHeader, RowSeparator}},
        {"crawling text file", [](CFrame& o) { o.TextSource = SourceTextFile, o.Movement = MovementHorizontal; },
         {RowFileName}, {RowMonitorFileChanges}},
        {"RTF file", [](CFrame& o) { o.TextSource = SourceRtfFile; }, {RowFileName, RowMonitorFileChanges},
         {RowEncoding, RowBarGraph}},
        {"CSV file", CsvSource, {RowFileName, RowEncoding, RowFirstLineIsHeader, RowSeparator},
         {RowMonitorFileChanges, RowBarGraph}},
    };
    for (const EnabledCase& c : cases) {
        SCOPED_TRACE(c.what);
        Prepare(c.setup);
        for (int row : c.enabled) EXPECT_TRUE(model.Enabled(row)) << row;
        for (int row : c.disabled) EXPECT_FALSE(model.Enabled(row)) << row;
        CObjectPropertyValues::Of(CFrame()).WriteTo(*object);
        object->Kind = KindSimple;
        object->Frames.clear();
    }
}

TEST_F(Properties, ATransparencyLeftAsShownKeepsTheOpacityItCameFrom) {
    // Opacity 26 shows as 89 %, and 89 % would store 27.
    ASSERT_EQ(object->BackColor, 0x1A000000u);
    ASSERT_EQ(model.Value(RowBackTransparency), "89");
    EXPECT_EQ(model.Edit(RowBackTransparency, "89"), PropertyEdit::Unchanged);
    ASSERT_EQ(model.Edit(RowFadeOut, "Yes"), PropertyEdit::Applied);
    EXPECT_EQ(object->BackColor, 0x1A000000u);
    object->TextOpacity = 200;  // shows 21 %, which would store 201
    model.Refresh();
    EXPECT_EQ(model.Edit(RowTextTransparency, model.Value(RowTextTransparency)), PropertyEdit::Unchanged);
    EXPECT_EQ(object->TextOpacity, 200);
    EXPECT_EQ(PropertyText::OpacityFor(21, 200), 200);
    EXPECT_EQ(PropertyText::OpacityFor(22, 200), CFrame::PercentToOpacity(22));
}

TEST_F(Properties, AnEditReevaluatesWhichRowsApply) {
    ASSERT_FALSE(model.Enabled(RowSpeed));
    ASSERT_EQ(model.Edit(RowMovement, "Horizontal scroll"), PropertyEdit::Applied);
    EXPECT_TRUE(model.Enabled(RowSpeed));
    ASSERT_EQ(model.Edit(RowShowWhileTextMoves, "Yes"), PropertyEdit::Applied);
    EXPECT_FALSE(model.Enabled(RowShowFor));
}

// ---------------------------------------------------------------------------------
// Side effects

TEST_F(Properties, AClockOrTimerSourceStopsTheMovement) {
    for (const char* source : {"Clock", "Timer"}) {
        SCOPED_TRACE(source);
        Prepare(Horizontal);
        ASSERT_EQ(model.Edit(RowTextSource, source), PropertyEdit::Applied);
        EXPECT_EQ(object->Movement, MovementFixed);
        EXPECT_EQ(model.Value(RowMovement), "Fixed");
        EXPECT_FALSE(model.Enabled(RowMovement));
        EXPECT_TRUE(host.filters.empty()) << "no file to choose";
        doc.DoUndo();  // one entry puts back both the source and the movement
        EXPECT_EQ(object->TextSource, SourceObjectText);
        EXPECT_EQ(object->Movement, MovementHorizontal);
    }
}

TEST_F(Properties, ChoosingAFileSourceAsksForTheFileAndCancellingGoesBack) {
    Prepare(Horizontal);
    host.chosen.clear();  // the dialog is cancelled
    EXPECT_EQ(model.Edit(RowTextSource, "CSV file"), PropertyEdit::Cancelled);
    EXPECT_EQ(host.filters, std::vector<QString>{"CSV files|*.csv||"});
    EXPECT_EQ(object->TextSource, SourceObjectText);
    EXPECT_EQ(model.Value(RowTextSource), "Object text");
    EXPECT_TRUE(doc.Undo.UndoStack.empty());
    EXPECT_FALSE(doc.Modified);

    host.chosen = "/data/news.txt";
    EXPECT_EQ(model.Edit(RowTextSource, "Text file"), PropertyEdit::Applied);
    EXPECT_EQ(host.filters.back(), "TXT files|*.txt||");
    EXPECT_EQ(object->TextSource, SourceTextFile);
    EXPECT_EQ(object->FileName, "/data/news.txt");
    EXPECT_EQ(model.Value(RowFileName), "/data/news.txt");
    EXPECT_EQ(object->Movement, MovementHorizontal) << "a file may crawl";

    // Choosing the source it already has asks nothing.
    host.filters.clear();
    EXPECT_EQ(model.Edit(RowTextSource, "Text file"), PropertyEdit::Unchanged);
    EXPECT_TRUE(host.filters.empty());
}

TEST_F(Properties, TheTimerDirectionSwapsStartAndStop) {
    Prepare([](CFrame& o) { o.TextSource = SourceTimer, o.TimerStart = 10, o.TimerStop = 3600; });
    ASSERT_EQ(model.Edit(RowTimerDirection, "Down"), PropertyEdit::Applied);
    EXPECT_EQ(object->TimerDirection, 1);
    EXPECT_EQ(object->TimerStart, 3600);
    EXPECT_EQ(object->TimerStop, 10);
    EXPECT_EQ(model.Value(RowTimerStart), "01:00:00");
    EXPECT_EQ(model.Value(RowTimerStop), "00:00:10");
    doc.DoUndo();
    EXPECT_EQ(object->TimerStart, 10);
    EXPECT_EQ(object->TimerStop, 3600);
}

TEST_F(Properties, ShowIndefinitelyComesBackOnWithoutAShowTime) {
    ASSERT_EQ(object->ShowFor, 0);
    EXPECT_EQ(model.Edit(RowShowIndefinitely, "No"), PropertyEdit::Applied);
    EXPECT_EQ(object->ShowIndefinitely, 1);
    EXPECT_EQ(model.Value(RowShowIndefinitely), "Yes");

    Prepare([](CFrame& o) { o.ShowFor = 4000; });
    EXPECT_EQ(model.Edit(RowShowIndefinitely, "No"), PropertyEdit::Applied);
    EXPECT_EQ(object->ShowIndefinitely, 0);
    // Emptying the show time switches it on again.
    EXPECT_EQ(model.Edit(RowShowFor, ""), PropertyEdit::Applied);
    EXPECT_EQ(object->ShowFor, 0);
    EXPECT_EQ(object->ShowIndefinitely, 1);
}

TEST_F(Properties, AValueSourceWithoutTextGetsItsTemplate) {
    object->RichText.clear();
    model.Refresh();
    ASSERT_EQ(model.Edit(RowTextSource, "Clock"), PropertyEdit::Applied);
    EXPECT_FALSE(object->RichText.isEmpty());
    EXPECT_TRUE(object->RichText.contains("%1%"));
    // Text of its own is kept.
    const QByteArray own = "{\\rtf1 own}";
    object->RichText = own;
    ASSERT_EQ(model.Edit(RowTextSource, "Timer"), PropertyEdit::Applied);
    EXPECT_EQ(object->RichText, own);
    // Object text gets none.
    object->RichText.clear();
    ASSERT_EQ(model.Edit(RowTextSource, "Object text"), PropertyEdit::Applied);
    EXPECT_TRUE(object->RichText.isEmpty());
}

TEST_F(Properties, APlayingObjectStopsAndARunningScriptStops) {
    doc.Page.OutputOn = 1;
    ASSERT_TRUE(object->Play());
    doc.Script.Append(std::make_unique<CFrameScriptItem>(ScriptActionType::WaitPeriod, QString(), 60));
    doc.Modified = false;
    doc.ScriptStart();
    ASSERT_TRUE(doc.ScriptRunning());

    ASSERT_EQ(model.Edit(RowFadeIn, "Yes"), PropertyEdit::Applied);
    EXPECT_EQ(object->Playing.load(), 0);
    EXPECT_FALSE(doc.ScriptRunning());
    doc.Page.OutputOn = 0;
}

TEST_F(Properties, TheDialogsValuesApplyInOneStep) {
    object->Locked = 1;
    object->MaintainLink = 1;
    object->ImageFileName = "/p/a.png";
    model.Refresh();
    const CObjectPropertyValues before = CObjectPropertyValues::Of(*object);
    CObjectPropertyValues values = before;
    values.Locked = 0;
    values.Speed = 33;
    values.Group = "Titles";
    values.InEffect = 5;
    values.ImageFileName.clear();
    ASSERT_TRUE(model.Apply(values));
    EXPECT_EQ(CObjectPropertyValues::Of(*object), values);
    EXPECT_EQ(doc.Undo.UndoStack.size(), 1u);
    EXPECT_EQ(model.Value(RowGroup), "Titles");
    EXPECT_FALSE(model.Apply(values)) << "nothing differs";
    EXPECT_EQ(doc.Undo.UndoStack.size(), 1u);

    doc.DoUndo();
    EXPECT_EQ(CObjectPropertyValues::Of(*object), before) << "lock, link and file name included";
    doc.DoRedo();
    EXPECT_EQ(CObjectPropertyValues::Of(*object), values);
}

}  // namespace

// ---------------------------------------------------------------------------------
// The dialogs

namespace {

class PropertiesDialog : public Properties {
protected:
    CObjectPropertiesDialogModel dialog{doc, model, host};
};

TEST_F(PropertiesDialog, OpensOnTheSelectionAndShowsItsFields) {
    object->ShowFor = 2500;
    object->ShowIndefinitely = 0;
    object->TextSource = SourceTextFile;
    object->FileName = "/no/such/file.txt";
    ASSERT_TRUE(dialog.Open());
    EXPECT_EQ(dialog.BackgroundType, "Solid");
    EXPECT_EQ(dialog.BackTransparency, 89);
    EXPECT_FALSE(dialog.Transparent);
    EXPECT_EQ(dialog.TextTransparency, 0);
    EXPECT_EQ(dialog.ShowFor, "2.500");
    EXPECT_EQ(dialog.StartDelay, "");
    EXPECT_TRUE(dialog.TextFileError);
    EXPECT_FALSE(dialog.ImageFileError);
    EXPECT_TRUE(dialog.Enabled(RowEncoding));
    EXPECT_FALSE(dialog.Enabled(RowTimerStart));

    doc.Select(nullptr);
    EXPECT_FALSE(dialog.Open());
}

TEST_F(PropertiesDialog, OpeningStopsARunningScript) {
    doc.Page.OutputOn = 1;
    doc.Script.Append(std::make_unique<CFrameScriptItem>(ScriptActionType::WaitPeriod, QString(), 60));
    doc.ScriptStart();
    ASSERT_TRUE(doc.ScriptRunning());
    ASSERT_TRUE(dialog.Open());
    EXPECT_FALSE(doc.ScriptRunning());
    doc.Page.OutputOn = 0;
}

TEST_F(PropertiesDialog, OkRefusesAnInvalidFieldAndOtherwiseAppliesEverythingInOneStep) {
    ASSERT_TRUE(dialog.Open());
    const CObjectPropertyValues before = CObjectPropertyValues::Of(*object);
    dialog.Values.FadeIn = 1;
    dialog.ShowFor = "1.2.3";
    EXPECT_EQ(dialog.Ok(), CObjectPropertiesDialogModel::EditShowFor);
    EXPECT_EQ(CObjectPropertyValues::Of(*object), before);
    EXPECT_TRUE(doc.Undo.UndoStack.empty());

    dialog.ShowFor = "3";
    dialog.Values.ShowIndefinitely = 0;
    dialog.StartDelay = "0,5";
    dialog.Transparent = true;
    dialog.TextTransparency = 50;
    dialog.Values.Group = " Score ";
    EXPECT_EQ(dialog.ChooseTextSource(SourceTimer), PropertyEdit::Applied);
    dialog.ChooseTimerDirection(1);
    EXPECT_EQ(dialog.Ok(), 0);
    EXPECT_EQ(object->FadeIn, 1);
    EXPECT_EQ(object->ShowFor, 3000);
    EXPECT_EQ(object->ShowIndefinitely, 0);
    EXPECT_EQ(object->StartDelay, 500);
    EXPECT_EQ(object->BackColor >> 24, 0u);
    EXPECT_EQ(object->TextOpacity, 127);
    EXPECT_EQ(object->Group, "Score");
    EXPECT_EQ(object->TextSource, SourceTimer);
    EXPECT_EQ(object->TimerStart, 3600);  // swapped with the stop
    EXPECT_EQ(object->TimerStop, 0);
    ASSERT_EQ(doc.Undo.UndoStack.size(), 1u);
    EXPECT_TRUE(doc.Modified);
    doc.DoUndo();
    EXPECT_EQ(CObjectPropertyValues::Of(*object), before);
}

TEST_F(PropertiesDialog, CancellingTheSourceFileKeepsTheSource) {
    ASSERT_TRUE(dialog.Open());
    EXPECT_EQ(dialog.ChooseTextSource(SourceRtfFile), PropertyEdit::Cancelled);
    EXPECT_EQ(dialog.Values.TextSource, SourceObjectText);
    EXPECT_EQ(host.filters, std::vector<QString>{"RTF files|*.rtf||"});
    EXPECT_EQ(dialog.Ok(), 0);
    EXPECT_TRUE(doc.Undo.UndoStack.empty()) << "nothing changed";
}

TEST(ParagraphDialog, PixelsAndTwipsBothWays) {
    CParagraphDialogModel dialog(12.0, 15.0);  // 120 pixels per inch across, 96 down
    CParagraphFormat format;
    format.alignment = 2;
    format.lineSpacing = 30;
    format.offset = -120;      // first line 10 px in from the others
    format.startIndent = 360;  // following lines at 20 px
    format.rightIndent = 66;   // 5.5 px: rounds to 6
    format.spaceBefore = 45;
    dialog.Fill(format);
    EXPECT_EQ(dialog.Alignment, 2);
    EXPECT_EQ(dialog.LineSpacing, 1);
    EXPECT_EQ(dialog.FirstLine, "10");
    EXPECT_EQ(dialog.Left, "20");
    EXPECT_EQ(dialog.Right, "6");
    EXPECT_EQ(dialog.Top, "3");
    EXPECT_EQ(dialog.Bottom, "") << "mixed across the selection";
    EXPECT_EQ(CParagraphDialogModel::AlignmentChoices(), (QStringList{"Left", "Right", "Center"}));
    EXPECT_EQ(CParagraphDialogModel::LineSpacingChoices(), (QStringList{"Single", "One-and-a-half", "Double"}));

    // Only the left edge changes: the first line stays 10 px in from it.
    dialog.Left = "30";
    dialog.Right = "";
    dialog.Top = "";
    dialog.LineSpacing = 2;
    CParagraphDialogModel::Result result = dialog.Ok(format);
    EXPECT_EQ(result.invalidControl, 0);
    EXPECT_EQ(result.format.offset, -120);
    EXPECT_EQ(result.format.startIndent, 480);
    EXPECT_EQ(result.format.lineSpacing, 40);
    EXPECT_EQ(result.format.alignment, 2);
    EXPECT_FALSE(result.format.rightIndent.has_value()) << "an empty field leaves its attribute";
    EXPECT_FALSE(result.format.spaceBefore.has_value());

    dialog.Bottom = "4";
    EXPECT_EQ(dialog.Ok(format).format.spaceAfter, 60);
    dialog.Top = "2x";
    EXPECT_EQ(dialog.Ok(format).invalidControl, CParagraphDialogModel::EditTop);
}

}  // namespace
