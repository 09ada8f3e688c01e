// The object navigator's model without a widget: headers and widths, rows with
// their numbers, groups, captions and state icons, the selection following the
// document and the document following the navigator, the double click, Space and
// the context menu through the document's one command path.
#include "app/Navigator.h"
#include "app/PreviewPane.h"
#include "base/Translate.h"
#include "core/VideoModes.h"
#include "playback/TextMovement.h"
#include "text/RichEdit.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <memory>
#include <vector>

namespace {

class DocHost : public IDocumentHost {
public:
    void UpdateViews(int kind) override { updates.push_back(kind); }
    void SelectionChanged(CFrame* object) override { selections.push_back(object); }
    std::vector<int> updates;
    std::vector<CFrame*> selections;
};

class Navigator : public ::testing::Test {
protected:
    void TearDown() override {
        // Objects must not be left playing when the page goes.
        doc.Page.OutputOn = 1;
        doc.Page.StopAll();
        doc.Page.OutputOn = 0;
    }
    CFrame* AddObject(const char* group = "") {
        auto object = std::make_unique<CFrame>();
        object->Rect = {0, 0, 100, 50};
        object->Group = QString::fromUtf8(group);
        CFrame* added = object.get();
        EXPECT_TRUE(doc.Page.Add(object));
        return added;
    }

    DocHost host;
    CMainDoc doc{host, 0};
    CObjectNavigatorModel navigator{doc};
};

TEST_F(Navigator, HeadersAndColumnWidths) {
    const struct {
        int column;
        const char* header;
        int width;  // the default
    } cases[] = {{0, "#", 40}, {1, "Group", 96}, {2, "Text", 128}, {3, " ", 32}, {4, " ", 32}};
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    CSettingsStore store(dir.filePath("navigator.ini"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.column);
        EXPECT_EQ(CObjectNavigatorModel::HeaderText(c.column), QString::fromUtf8(c.header));
        EXPECT_EQ(CObjectNavigatorModel::ColumnWidth(store, c.column), c.width);
        // Only positive widths are kept.
        EXPECT_TRUE(CObjectNavigatorModel::SaveColumnWidth(store, c.column, 0));
        EXPECT_EQ(CObjectNavigatorModel::ColumnWidth(store, c.column), c.width);
        EXPECT_TRUE(CObjectNavigatorModel::SaveColumnWidth(store, c.column, 70 + c.column));
        EXPECT_EQ(CObjectNavigatorModel::ColumnWidth(store, c.column), 70 + c.column);
    }
    EXPECT_EQ(store.GetInt("ObjectsListView", "ColWidth2", 0), 72);
    EXPECT_EQ(CObjectNavigatorModel::HeaderText(5), QString());
    // A language change asks for the headers again; other updates do not.
    EXPECT_TRUE(navigator.Update(UpdateLanguage).headersChanged);
    EXPECT_FALSE(navigator.Update(UpdateGeneral).headersChanged);
}

TEST_F(Navigator, RowsFollowThePageInOrder) {
    EXPECT_EQ(navigator.Count(), 0);
    EXPECT_FALSE(navigator.Update(UpdateGeneral).countChanged);  // an empty page stays empty
    EXPECT_EQ(navigator.Count(), 0);
    EXPECT_EQ(navigator.Text(0, 0), QString());

    CFrame* a = AddObject("Score");
    CFrame* b = AddObject("");
    EXPECT_TRUE(navigator.Update(UpdateGeneral).countChanged);
    ASSERT_EQ(navigator.Count(), 2);
    EXPECT_FALSE(navigator.Update(UpdateGeneral).countChanged);
    EXPECT_EQ(navigator.Text(0, 0), QStringLiteral("1"));
    EXPECT_EQ(navigator.Text(1, 0), QStringLiteral("2"));
    EXPECT_EQ(navigator.Text(0, 1), QStringLiteral("Score"));
    EXPECT_EQ(navigator.Text(1, 1), QString());

    // Moving an object up changes the order of the rows.
    doc.Page.Move(a, true);
    navigator.Update(UpdateGeneral);
    EXPECT_EQ(navigator.Text(0, 1), QString());
    EXPECT_EQ(navigator.Text(1, 1), QStringLiteral("Score"));

    // Growing and shrinking.
    for (int i = 0; i < 10; ++i) AddObject("Clock");
    EXPECT_TRUE(navigator.Update(UpdateGeneral).countChanged);
    EXPECT_EQ(navigator.Count(), 12);
    EXPECT_EQ(navigator.Text(11, 0), QStringLiteral("12"));
    doc.DeleteObjects(QStringLiteral("Clock"));
    EXPECT_TRUE(navigator.Update(UpdateGeneral).countChanged);
    EXPECT_EQ(navigator.Count(), 2);
    EXPECT_EQ(navigator.Text(2, 1), QString());  // beyond the rows: nothing
    (void)b;
}

TEST_F(Navigator, StateIcons) {
    const struct {
        int playing, paused, locked;
        int playIcon, lockIcon;
    } cases[] = {
        {0, 0, 0, 0, 0},   {1, 0, 0, 408, 0},   {1, 1, 0, 409, 0},  {0, 1, 0, 0, 0},
        {0, 0, 1, 0, 407}, {1, 0, 1, 408, 407}, {1, 1, 1, 409, 407},
    };
    CFrame* a = AddObject();
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.playing << c.paused << c.locked);
        a->Playing = c.playing;
        a->Paused = c.paused;
        a->Locked = c.locked;
        navigator.Update(UpdateRedraw);
        EXPECT_EQ(navigator.Item(0).playing, c.playing != 0);
        EXPECT_EQ(navigator.Item(0).paused, c.paused != 0);
        EXPECT_EQ(navigator.Item(0).locked, c.locked != 0);
        EXPECT_EQ(navigator.Icon(0, 3), c.playIcon);
        EXPECT_EQ(navigator.Icon(0, 4), c.lockIcon);
        for (int column : {0, 1, 2}) EXPECT_EQ(navigator.Icon(0, column), 0);
        EXPECT_EQ(navigator.Text(0, 3), QString());
        EXPECT_EQ(navigator.Text(0, 4), QString());
    }
    a->Playing = 0;
    a->Paused = 0;
}

TEST_F(Navigator, CaptionsComeFromTheStillText) {
    const struct {
        const char* text;
        const char* caption;
    } cases[] = {
        {"Short", "Short"},
        {"ABCDEFGHIJKLMNOPQRST", "ABCDEFGHIJKLMNOPQRST"},         // exactly 20: whole
        {"ABCDEFGHIJKLMNOPQRSTU", "ABCDEFGHIJKLMNOPQRST..."},     // 21: cut
        {"Home 2 : 1 Away, second half", "Home 2 : 1 Away, sec..."},
    };
    CRichEditTextRenderer renderer(1011);
    CFrame* a = AddObject();
    a->Rect = {0, 0, 1200, 80};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        a->RichText = QByteArray("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\fs40 ") + c.text + "}";
        a->EditorTextValid = 0;
        ASSERT_NE(GetEditorText(*a, renderer), nullptr);
        navigator.Update(UpdateCaptions);
        EXPECT_EQ(navigator.Text(0, 2), QString::fromUtf8(c.caption));
        EXPECT_EQ(navigator.Item(0).caption, QString::fromUtf8(c.caption));
    }
}

TEST_F(Navigator, SelectionFollowsTheDocument) {
    CFrame* a = AddObject();
    CFrame* b = AddObject();
    CFrame* c = AddObject();
    navigator.Update(UpdateGeneral);
    EXPECT_EQ(navigator.SelectedRow(), -1);

    const struct {
        CFrame* select;
        int row;
    } cases[] = {{b, 1}, {c, 2}, {a, 0}, {nullptr, -1}, {c, 2}};
    for (const auto& s : cases) {
        SCOPED_TRACE(s.row);
        doc.Select(s.select);
        EXPECT_TRUE(navigator.Update(UpdateGeneral).selectionChanged);
        EXPECT_EQ(navigator.SelectedRow(), s.row);
        EXPECT_FALSE(navigator.Update(UpdateGeneral).selectionChanged);  // already selected
    }

    // Deleting the selected object clears the navigator's selection.
    doc.Select(c);
    navigator.Update(UpdateGeneral);
    doc.DeleteObjects(QString());  // every object, the selection too
    const auto change = navigator.Update(UpdateGeneral);
    EXPECT_TRUE(change.selectionChanged);
    EXPECT_TRUE(change.countChanged);
    EXPECT_EQ(navigator.SelectedRow(), -1);
    EXPECT_EQ(navigator.Count(), 0);
}

TEST_F(Navigator, TheDocumentFollowsTheNavigator) {
    CFrame* a = AddObject();
    CFrame* b = AddObject();
    navigator.Update(UpdateGeneral);
    const struct {
        int row;
        CFrame* selected;
        int shown;
    } cases[] = {{1, b, 1}, {0, a, 0}, {-1, nullptr, -1}, {1, b, 1}, {7, nullptr, -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.row);
        host.selections.clear();
        navigator.SelectRow(c.row);
        EXPECT_EQ(doc.Selected, c.selected);
        EXPECT_EQ(doc.SelectedNumber, c.selected ? c.row + 1 : 0);
        EXPECT_EQ(navigator.SelectedRow(), c.shown);
        ASSERT_EQ(host.selections.size(), 1u);  // the canvas hears of it
        EXPECT_EQ(host.selections[0], c.selected);
        // The refresh that follows agrees.
        EXPECT_FALSE(navigator.Update(UpdateGeneral).selectionChanged);
    }
    // Selecting the row already selected tells nobody again.
    navigator.SelectRow(1);
    host.selections.clear();
    navigator.SelectRow(1);
    EXPECT_TRUE(host.selections.empty());
}

TEST_F(Navigator, DoubleClickTogglesTheSelectionAndItsGroup) {
    CFrame* a = AddObject("Score");
    CFrame* b = AddObject("Score");
    CFrame* other = AddObject("Clock");
    navigator.Update(UpdateGeneral);

    // Nothing selected, or the output off: nothing plays.
    doc.Page.OutputOn = 1;
    EXPECT_FALSE(navigator.DoubleClick());
    doc.Page.OutputOn = 0;
    navigator.SelectRow(0);
    EXPECT_FALSE(navigator.DoubleClick());
    EXPECT_EQ(a->Playing.load(), 0);

    doc.Page.OutputOn = 1;
    EXPECT_TRUE(navigator.DoubleClick());
    EXPECT_EQ(a->Playing.load(), 1);
    EXPECT_EQ(b->Playing.load(), 1);
    EXPECT_EQ(other->Playing.load(), 0);
    navigator.Update(UpdateRedraw);
    EXPECT_EQ(navigator.Icon(0, 3), CObjectNavigatorModel::IconPlaying);
    EXPECT_EQ(navigator.Icon(1, 3), CObjectNavigatorModel::IconPlaying);
    EXPECT_EQ(navigator.Icon(2, 3), 0);

    // Again: the playing selection goes out with its group.
    EXPECT_EQ(a->Ending.load(), 0);
    EXPECT_TRUE(navigator.DoubleClick());
    EXPECT_EQ(a->Ending.load(), 1);
    EXPECT_EQ(b->Ending.load(), 1);
    EXPECT_EQ(other->Ending.load(), 0);
}

TEST_F(Navigator, SpacePausesAndTheMenuStopsTheScript) {
    CFrame* a = AddObject("Score");
    CFrame* b = AddObject("Score");
    CFrame* other = AddObject("Clock");
    navigator.Update(UpdateGeneral);
    EXPECT_FALSE(navigator.Space());  // no selection
    navigator.SelectRow(0);
    EXPECT_FALSE(navigator.Space());  // the output is off
    doc.Page.OutputOn = 1;
    EXPECT_FALSE(navigator.Space());  // not playing
    doc.Command(PlayCommand::Play, CommandTarget::Every());
    EXPECT_TRUE(navigator.Space());
    EXPECT_EQ(a->Paused.load(), 1);
    EXPECT_EQ(b->Paused.load(), 1);
    EXPECT_EQ(other->Paused.load(), 0);
    navigator.Update(UpdateRedraw);
    EXPECT_EQ(navigator.Icon(0, 3), CObjectNavigatorModel::IconPaused);
    EXPECT_EQ(navigator.Icon(2, 3), CObjectNavigatorModel::IconPlaying);
    EXPECT_TRUE(navigator.Space());
    EXPECT_EQ(a->Paused.load(), 0);
    EXPECT_EQ(b->Paused.load(), 0);

    // The context menu: none without a selection; with one, a running script stops.
    navigator.SelectRow(-1);
    EXPECT_EQ(navigator.ContextMenu(), 0);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString page = dir.filePath("p.corvane");
    ASSERT_TRUE(doc.Save(page));  // a saved page lets the script run
    auto wait = std::make_unique<CFrameScriptItem>();
    wait->type = ScriptActionType::WaitPeriod;
    wait->idata = 60;
    doc.Script.Append(std::move(wait));
    doc.ScriptStart();
    ASSERT_TRUE(doc.ScriptRunning());
    navigator.SelectRow(0);
    EXPECT_EQ(navigator.ContextMenu(), CObjectNavigatorModel::ObjectMenu);
    EXPECT_FALSE(doc.ScriptRunning());
}

// ---------------------------------------------------------------------------------
// The navigator switch

TEST(NavigatorSwitchTest, CollapsesAndRestoresTheThumbnailRowPerInstanceKind) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    CSettingsStore store(dir.filePath("layout.ini"));
    const struct {
        InstanceKind kind;
        const char* section;
    } kinds[] = {{InstanceKind::Main, "Layout"}, {InstanceKind::Editor, "LayoutEdit"}};
    for (const auto& k : kinds) {
        SCOPED_TRACE(k.section);
        // Before anything was stored, the browser comes back at 150.
        NavigatorSwitch back = SwitchNavigator(true, 0, store, k.kind);
        EXPECT_FALSE(back.navigatorShown);
        EXPECT_EQ(back.thumbIdealHeight, 150);
        EXPECT_EQ(back.thumbMinimumHeight, 100);

        const NavigatorSwitch to = SwitchNavigator(false, 222, store, k.kind);
        EXPECT_TRUE(to.navigatorShown);
        EXPECT_EQ(to.thumbIdealHeight, 0);
        EXPECT_EQ(to.thumbMinimumHeight, 3000);
        EXPECT_EQ(store.GetInt(k.section, "ThumbHeight", -1), 222);

        back = SwitchNavigator(true, 0, store, k.kind);
        EXPECT_FALSE(back.navigatorShown);
        EXPECT_EQ(back.thumbIdealHeight, 222);
        EXPECT_EQ(back.thumbMinimumHeight, 100);
    }
}

// ---------------------------------------------------------------------------------
// The preview pane's child window

TEST(PreviewPane, SizeFollowsThePageShapeCentred) {
    const struct {
        int mode;
        int w, h;        // the pane
        QRect expected;  // the child
    } cases[] = {
        {8, 400, 400, QRect(0, 50, 400, 300)},     // 576i50: 4:3
        {9, 400, 400, QRect(0, 50, 400, 300)},     // 576p50
        {8, 50, 400, QRect(0, 162, 100, 75)},      // narrower than 100: as if 100
        {8, 50, 50, QRect(0, 12, 100, 75)},        // both below 100
        {10, 400, 400, QRect(0, 47, 400, 305)},    // 480i60
        {1, 800, 600, QRect(0, 75, 800, 450)},     // 1080p50: 16:9
        {1, 800, 300, QRect(133, 0, 533, 299)},    // limited by the height
        {5, 1280, 720, QRect(0, 0, 1280, 720)},    // 720p50 exactly
        {1, 0, 300, QRect()},                      // nothing to do
        {1, 300, 0, QRect()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.mode << ' ' << c.w << 'x' << c.h);
        EXPECT_EQ(PreviewChildRect(QSize(c.w, c.h), c.mode), c.expected);
    }
    EXPECT_EQ(PreviewPixelAspect(8), 0.9375);
    EXPECT_EQ(PreviewPixelAspect(11), 1.125);
    EXPECT_EQ(PreviewPixelAspect(12), 1.0);
}

}  // namespace
