// The panel's actions on a running plug-in, seen through a host that records what
// it is asked to do: buttons, page elements and their hooks, status reports, keys,
// selector changes and the data editor's edits.
#include "plugin/PluginControl.h"
#include "tests/PluginFixture.h"

namespace {

class RecordingHost : public IPluginHost {
public:
    void ShowPage(int index) override { calls << QStringLiteral("show %1").arg(index); }
    void HidePage(int index) override { calls << QStringLiteral("hide %1").arg(index); }
    void ButtonPressed(int element) override { calls << QStringLiteral("flash %1").arg(element); }
    void RunDataEditor() override { calls << QStringLiteral("editor"); }
    void RefreshVariables(const QString& id) override { calls << QStringLiteral("variables '%1'").arg(id); }
    void RefreshElements() override { calls << QStringLiteral("elements"); }
    void SetElementActive(int element, bool active) override {
        calls << QStringLiteral("active %1 %2").arg(element).arg(active ? 1 : 0);
    }
    void SetKeyLight(int key, int state) override { calls << QStringLiteral("light %1 %2").arg(key).arg(state); }
    QStringList Take() { return std::exchange(calls, QStringList()); }

    QStringList calls;
};

class PluginControl : public PluginFixture {
protected:
    void SetUp() override {
        PluginFixture::SetUp();
        ASSERT_TRUE(Define(R"(<data><text id="title"/><table id="players"/><image id="logo" type="png"/></data>
          <variables><var id="score" min="-1" max="2"/></variables>
          <selectors><selector id="scorer" table="players"/></selectors>
          <pages>
            <page id="home"/>
            <page id="away">
              <before_hide><page id="home"/><page id="missing"/></before_hide>
              <before_show><page id="clock"/><page id="away"/></before_show>
              <after_hide><page id="clock"/></after_hide>
              <after_show><page id="home"/><page id="missing"/></after_show>
            </page>
            <page id="clock"/>
          </pages>
          <ui>
            <button id="score" action="inc" hotkey="5"/>
            <button id="score" action="dec" remote_button="2"/>
            <button id="score" action="reset" hotkey="5" remote_button="2"/>
            <button id="int_data"/>
            <page id="away" remote_button="7"/>
            <page id="away" action="show" remote_button="8"/>
            <page id="away" action="hide" hotkey="12"/>
            <page id="nothing"/>
            <button id="nothing" action="inc"/>
            <var id="score" hotkey="5"/>
            <selector id="scorer"/>
            <page id="home" remote_button="7"/>
          </ui>)"));
        plugin.fileObserver = [this](const QString& path, bool written) {
            files << (written ? QStringLiteral("+") : QStringLiteral("-")) + QFileInfo(path).fileName();
        };
    }
    CPluginVariable& Score() { return *plugin.FindVariable(QStringLiteral("score")); }
    CPluginPage& Page(const char* id) { return *plugin.FindPage(QString::fromUtf8(id)); }

    RecordingHost host;
    CPluginControl control{plugin, host};
    QStringList files;
};

TEST_F(PluginControl, ButtonsChangeTheirVariableWithinItsRange) {
    const struct {
        int start;
        int element;
        int value;
        bool written;
    } cases[] = {
        {0, 0, 1, true},  {2, 0, 2, false},  // at the maximum: a flash, nothing written
        {0, 1, -1, true}, {-1, 1, -1, false},
        {2, 2, 0, true},  {0, 2, 0, false},
        {5, 0, 5, false}, {5, 1, 4, true},   // outside the range: only the way back in
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "element " << c.element << " from " << c.start);
        Score().value = c.start;
        files.clear();
        control.DoAction(c.element);
        EXPECT_EQ(Score().value, c.value);
        EXPECT_EQ(host.Take(), (QStringList{QStringLiteral("flash %1").arg(c.element), QStringLiteral("variables 'score'")}));
        if (c.written) {
            EXPECT_EQ(files, (QStringList{QStringLiteral("+var.score.txt"), QStringLiteral("+Match.state")}));
            EXPECT_EQ(File(QStringLiteral("var.score.txt")), Utf16(QString::number(c.value)));
        } else {
            EXPECT_TRUE(files.isEmpty());
        }
    }
}

TEST_F(PluginControl, DataEditorButtonAndElementsWithoutReferences) {
    control.DoAction(3);
    EXPECT_EQ(host.Take(), (QStringList{QStringLiteral("editor"), QStringLiteral("elements"), QStringLiteral("variables ''")}));
    for (int element : {7, 8, 9, 10, -1, 12, 1000}) {
        control.DoAction(element);
        EXPECT_TRUE(host.Take().isEmpty()) << element;
    }
    EXPECT_TRUE(files.isEmpty());
}

TEST_F(PluginControl, PageElementsFollowThePlayingFlag) {
    const struct {
        int element;
        int playing;
        QStringList calls;
    } cases[] = {
        // Toggle, not playing: before-hide (missing ids skipped), before-show (itself
        // included), then the page.
        {4, 0, {"hide 0", "show 2", "show 1", "show 1"}},
        // Toggle, playing: the page, after-hide, after-show.
        {4, 1, {"hide 1", "hide 2", "show 0"}},
        {5, 0, {"hide 0", "show 2", "show 1", "show 1"}},
        {5, 1, {}},
        {6, 0, {}},
        {6, 1, {"hide 1", "hide 2", "show 0"}},
        {11, 0, {"show 0"}},  // no hooks
        {11, 1, {"hide 0"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "element " << c.element << " playing " << c.playing);
        for (const auto& page : plugin.Pages()) page->playing = c.playing;
        control.DoAction(c.element);
        EXPECT_EQ(host.Take(), c.calls);
    }
    // The flag changes only by status reports, never by the action itself.
    EXPECT_EQ(Page("away").playing, 1);
}

TEST_F(PluginControl, ShowAndHideWithoutHooksAndOfUnknownPages) {
    control.ShowPage(QStringLiteral("away"), false);
    control.HidePage(QStringLiteral("away"), false);
    control.ShowPage(QStringLiteral("missing"), true);
    control.HidePage(QStringLiteral("missing"), true);
    EXPECT_EQ(host.Take(), (QStringList{QStringLiteral("show 1"), QStringLiteral("hide 1")}));
}

TEST_F(PluginControl, StatusReportsLightOnlyToggleElementsOfThatPage) {
    control.OnPlaybackStatus(1, 1);
    EXPECT_EQ(Page("away").playing, 1);
    EXPECT_EQ(host.Take(), (QStringList{QStringLiteral("active 4 1"), QStringLiteral("light 6 4")}));
    control.OnPlaybackStatus(1, 0);
    EXPECT_EQ(host.Take(), (QStringList{QStringLiteral("active 4 0"), QStringLiteral("light 6 3")}));
    control.OnPlaybackStatus(0, 7);
    EXPECT_EQ(Page("home").playing, 1);
    EXPECT_EQ(host.Take(), (QStringList{QStringLiteral("active 11 1"), QStringLiteral("light 6 4")}));
    control.OnPlaybackStatus(2, 1);  // no element shows the clock
    EXPECT_EQ(Page("clock").playing, 1);
    control.OnPlaybackStatus(3, 1);
    control.OnPlaybackStatus(-1, 1);
    EXPECT_TRUE(host.Take().isEmpty());
}

TEST_F(PluginControl, KeysActOnEveryElementTheyAreAssignedTo) {
    EXPECT_EQ(control.ElementsForHotkey(5), (QList<int>{0, 2}));  // a var element takes no hotkey
    EXPECT_EQ(control.ElementsForHotkey(12), QList<int>{6});
    EXPECT_EQ(control.ElementsForKeypadKey(1), (QList<int>{1, 2}));
    EXPECT_EQ(control.ElementsForKeypadKey(6), (QList<int>{4, 11}));
    EXPECT_TRUE(control.ElementsForKeypadKey(-1).isEmpty());
    EXPECT_TRUE(control.ElementsForKeypadKey(0).isEmpty());
    EXPECT_EQ(control.AssignedKeypadKeys(), (QList<int>{1, 6, 7}));

    Score().value = 1;
    control.OnFunctionKey(5);  // increment to the maximum, then reset
    EXPECT_EQ(Score().value, 0);
    EXPECT_EQ(host.Take(), (QStringList{QStringLiteral("flash 0"), QStringLiteral("variables 'score'"),
                                        QStringLiteral("flash 2"), QStringLiteral("variables 'score'")}));
    control.OnFunctionKey(0);
    control.OnFunctionKey(13);
    EXPECT_TRUE(host.Take().isEmpty());

    control.OnKeypadKey(1, 0);  // releases do nothing
    EXPECT_TRUE(host.Take().isEmpty());
    Score().value = 2;
    control.OnKeypadKey(1, 1);
    EXPECT_EQ(Score().value, 0);  // decrement, then reset
    control.OnKeypadKey(6, 1);
    EXPECT_EQ(host.Take().mid(4), (QStringList{QStringLiteral("hide 0"), QStringLiteral("show 2"), QStringLiteral("show 1"),
                                               QStringLiteral("show 1"), QStringLiteral("show 0")}));
}

TEST_F(PluginControl, SelectorChangesWriteOnlyRealChanges) {
    CPluginSelector& scorer = *plugin.FindSelector(QStringLiteral("scorer"));
    EXPECT_FALSE(control.SelectItem(scorer, 1));  // no table yet
    CPluginData& players = *plugin.FindData(QStringLiteral("players"));
    EXPECT_EQ(control.ChooseFile(players, Put(QStringLiteral("squad.csv"), "Ann;1\nBob;2\n")), 1);
    EXPECT_EQ(scorer.items, (QStringList{QStringLiteral("Ann"), QStringLiteral("Bob")}));
    files.clear();
    EXPECT_FALSE(control.SelectItem(scorer, 0));  // the row it already has
    EXPECT_FALSE(control.SelectItem(scorer, 2));
    EXPECT_FALSE(control.SelectItem(scorer, -1));
    EXPECT_TRUE(files.isEmpty());
    EXPECT_TRUE(control.SelectItem(scorer, 1));
    EXPECT_EQ(scorer.selection, 1);
    EXPECT_EQ(files, (QStringList{QStringLiteral("+selector.scorer.1.txt"), QStringLiteral("+selector.scorer.2.txt"),
                                  QStringLiteral("+Match.state")}));
    EXPECT_EQ(File(QStringLiteral("selector.scorer.2.txt")), Utf16(QStringLiteral("2")));
    EXPECT_TRUE(File(QStringLiteral("Match.state")).contains("<selector id=\"scorer\" value=\"1\" />"));
}

TEST_F(PluginControl, DataEditorEdits) {
    CPluginData& title = *plugin.FindData(QStringLiteral("title"));
    control.SetText(title, QStringLiteral("Final"));
    EXPECT_EQ(files, (QStringList{QStringLiteral("+text.title.txt"), QStringLiteral("+Match.state")}));
    EXPECT_EQ(File(QStringLiteral("text.title.txt")), Utf16(QStringLiteral("Final")));

    // A missing picture is kept as the value, not valid, and nothing is copied.
    CPluginData& logo = *plugin.FindData(QStringLiteral("logo"));
    files.clear();
    EXPECT_EQ(control.ChooseFile(logo, Path(QStringLiteral("gone.png"))), 0);
    EXPECT_EQ(logo.value, Path(QStringLiteral("gone.png")));
    EXPECT_EQ(logo.valid, 0);
    EXPECT_EQ(files, QStringList{QStringLiteral("+Match.state")});

    // A table that does not load keeps its path too; its selector empties.
    CPluginData& players = *plugin.FindData(QStringLiteral("players"));
    ASSERT_EQ(control.ChooseFile(players, Put(QStringLiteral("squad.csv"), "Ann\n")), 1);
    EXPECT_EQ(control.ChooseFile(players, Put(QStringLiteral("empty.csv"), "")), 0);
    EXPECT_EQ(players.value, Path(QStringLiteral("empty.csv")));
    EXPECT_TRUE(plugin.FindSelector(QStringLiteral("scorer"))->items.isEmpty());
}

TEST_F(PluginControl, StartRestoresTheSavedValues) {
    Put(QStringLiteral("var.score.txt"), "stale");
    Put(QStringLiteral("Match.state"), "<state><var id=\"score\" value=\"2\"/></state>");
    control.Start();
    EXPECT_EQ(Score().value, 2);
    EXPECT_EQ(File(QStringLiteral("var.score.txt")), Utf16(QStringLiteral("2")));
    EXPECT_EQ(files.first(), QStringLiteral("-var.score.txt"));
}

}  // namespace
