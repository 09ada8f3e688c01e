// The script editor and the automation editor without their widgets: the rows
// they show, which commands apply, what each command does to the document's
// script or schedule and to the settings, the questions before changes are
// dropped, the messages of refused files, and the action and entry editors.
#include "app/AutomationEditor.h"
#include "app/MainDoc.h"
#include "app/ScriptEditor.h"
#include "base/Settings.h"
#include "tests/RecordingPresenter.h"
#include "tests/TempFolderFixture.h"

#include <gtest/gtest.h>

#include <QDir>

#include <optional>
#include <vector>

// Shown by the test framework when items or entries differ.
void PrintTo(const CFrameScriptItem& item, std::ostream* os) {
    *os << "{" << int(item.type) << ", \"" << item.sdata.toStdString() << "\", " << item.idata << "}";
}

namespace {

using Kind = ScriptActionType;

CFrameScriptItem A(Kind kind, const QString& sdata = QString(), int32_t idata = 0) {
    return CFrameScriptItem(kind, sdata, idata);
}

struct QuietHost : IDocumentHost {
    void UpdateViews(int) override {}
    void ScriptStatus(int state, const QString& name, int, int) override {
        statuses.push_back(state);
        lastName = name;
    }
    Schedule::ClockSecond LocalClock() override { return {QDate(2026, 12, 7), 8 * 3600}; }
    std::vector<int> statuses;
    QString lastName;
};

const QString ModifiedQuestion = QStringLiteral("Warning: script was modified!\nAre you sure you want to continue?");
QString OpenFailed(const QString& path) { return QStringLiteral("Error: File open failed!\n\n") + path; }
QString SaveFailed(const QString& path) { return QStringLiteral("Error: File save failed!\n\n") + path; }

// The document, a settings store whose pages folder is the test's folder, and the
// answers the editors' hooks give.
class EditorFixture : public TempFolderFixture {
protected:
    void SetUp() override {
        TempFolderFixture::SetUp();
        store.emplace(Path(QStringLiteral("settings/Corvane.ini")));
        ASSERT_TRUE(store->SetText(Settings::RootFolder, dir.path()));
        presenter.answer = IdYes;
    }
    QString ScriptFile(const QString& name, std::initializer_list<CFrameScriptItem> items) {
        CFrameScript script;
        for (const CFrameScriptItem& item : items) script.Append(std::make_unique<CFrameScriptItem>(item));
        const QString path = Path(name);
        EXPECT_TRUE(script.SaveFile(path)) << script.LastError().toStdString();
        return path;
    }

    RecordingPresenter presenter;
    QuietHost host;
    CMainDoc doc{host, 0};
    std::optional<CSettingsStore> store;
};

// ---------------------------------------------------------------------------------
// The script editor

class ScriptEditorModel : public EditorFixture {
protected:
    void SetUp() override {
        EditorFixture::SetUp();
        editor.emplace(doc, *store, Hooks());
    }
    CScriptEditorModel::Hooks Hooks() {
        CScriptEditorModel::Hooks hooks;
        hooks.chooseScriptToOpen = [this](const QString& folder, const QString& filter) {
            asked.push_back({QStringLiteral("open"), folder, filter});
            return answer;
        };
        hooks.chooseScriptToSave = [this](const QString& proposed, const QString& folder, const QString& filter) {
            asked.push_back({QStringLiteral("save"), folder, filter, proposed});
            return answer;
        };
        hooks.choosePageFile = [this](const QString& current, const QString& filter) {
            asked.push_back({QStringLiteral("page"), current, filter});
            return answer;
        };
        hooks.editAction = [this](CFrameScriptItem& item) {
            edited.push_back(item);
            if (!confirm) return false;
            if (item.type == Kind::WaitPeriod) item.idata = 25;
            if (item.HasGroup()) item.sdata = QStringLiteral("News");
            return true;
        };
        return hooks;
    }
    void Script(std::initializer_list<CFrameScriptItem> items, bool loop = false) {
        doc.Script.Clear();
        for (const CFrameScriptItem& item : items) doc.Script.Append(std::make_unique<CFrameScriptItem>(item));
        doc.Script.SetLoop(loop);
    }
    std::vector<CFrameScriptItem> Items() const {
        std::vector<CFrameScriptItem> items;
        for (int k = 0; k < doc.Script.Count(); ++k) items.push_back(*doc.Script.Item(k));
        return items;
    }
    // Makes the script modified through the editor (a move down and back up).
    void MakeModified() {
        ASSERT_GE(doc.Script.Count(), 2);
        editor->Select(0);
        ASSERT_TRUE(editor->MoveDown());
        ASSERT_TRUE(editor->MoveUp());
        ASSERT_TRUE(editor->Modified());
    }

    struct Asked {
        QString what, where, filter, proposed = QString();
        bool operator==(const Asked&) const = default;
    };
    std::vector<Asked> asked;
    std::vector<CFrameScriptItem> edited;
    QString answer;
    bool confirm = true;
    std::optional<CScriptEditorModel> editor;
};

TEST_F(ScriptEditorModel, RowsNumberTheActionsAndShowTheTotalOfThePausesWhereItChanges) {
    Script({A(Kind::WaitPeriod, QString(), 10),
            A(Kind::PlayObjects),
            A(Kind::WaitPeriod, QString(), 3600),
            A(Kind::EndObjects, QStringLiteral("News")),
            A(Kind::LoadPage, QStringLiteral("/shows/Pages/Opening.corvane")),
            A(Kind::WaitUntilTime, QString(), 7 * 3600 + 5)});
    const std::vector<CScriptEditorModel::Row> rows = editor->Rows();
    ASSERT_EQ(rows.size(), 6u);
    const char* actions[] = {" 1. Wait 10 seconds", " 2. Play all objects", " 3. Wait 3600 seconds",
                             " 4. End objects group: News", " 5. Load page file: Opening", " 6. Wait until 07:00:05"};
    const char* times[] = {"", "0:10", "", "1:00:10", "", ""};
    const Kind kinds[] = {Kind::WaitPeriod, Kind::PlayObjects, Kind::WaitPeriod, Kind::EndObjects, Kind::LoadPage,
                          Kind::WaitUntilTime};
    for (size_t k = 0; k < rows.size(); ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(rows[k].action, QString::fromUtf8(actions[k]));
        EXPECT_EQ(rows[k].time, QString::fromUtf8(times[k]));
        EXPECT_EQ(rows[k].kind, kinds[k]);
    }
    EXPECT_EQ(CScriptEditorModel(doc, *store, {}).Rows().size(), 6u) << "the document's script, not a copy";
    EXPECT_EQ(ScriptEditorTexts::Headers(), (QStringList{"Action", "Time"}));
}

TEST_F(ScriptEditorModel, TheTitleNamesTheScriptFileWhenThereIsOne) {
    EXPECT_EQ(editor->Title(), QStringLiteral("Script Editor"));
    const QString path = ScriptFile(QStringLiteral("Evening News.script"), {A(Kind::PlayObjects)});
    ASSERT_TRUE(doc.Script.LoadFile(path));
    EXPECT_EQ(editor->Title(), QStringLiteral("Script Editor - Evening News"));
}

TEST_F(ScriptEditorModel, EnablingFollowsTheSelection) {
    struct Case {
        int count, selected;
        bool edit, up, down, save;
    };
    const Case cases[] = {
        {0, -1, false, false, false, false}, {1, -1, false, false, false, true}, {1, 0, true, false, false, true},
        {3, 0, true, false, true, true},     {3, 1, true, true, true, true},     {3, 2, true, true, false, true},
        {3, 3, false, false, false, true},  // outside the list: no selection
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.count << " items, row " << c.selected);
        doc.Script.Clear();
        for (int k = 0; k < c.count; ++k) doc.Script.Append(CFrameScriptItem::Added(Kind::PlayObjects));
        editor->Select(c.selected);
        EXPECT_EQ(editor->CanEdit(), c.edit);
        EXPECT_EQ(editor->CanDelete(), c.edit);
        EXPECT_EQ(editor->CanMoveUp(), c.up);
        EXPECT_EQ(editor->CanMoveDown(), c.down);
        EXPECT_EQ(editor->CanSave(), c.save);
        // What is not enabled does nothing.
        const std::vector<CFrameScriptItem> before = Items();
        if (!c.edit) {
            EXPECT_FALSE(editor->Delete());
        }
        if (!c.up) {
            EXPECT_FALSE(editor->MoveUp());
        }
        if (!c.down) {
            EXPECT_FALSE(editor->MoveDown());
        }
        if (!c.save) {
            EXPECT_FALSE(editor->Save());
        }
        EXPECT_EQ(Items(), before);
    }
    EXPECT_TRUE(asked.empty()) << "Save without actions asks nothing";
}

TEST_F(ScriptEditorModel, AddOpensTheKindsEditorWithItsDefaultsAndKeepsOnlyWhatWasConfirmed) {
    struct Case {
        Kind kind;
        int32_t idataGiven;  // what the action editor starts from
        CFrameScriptItem kept;
    };
    const Case cases[] = {
        {Kind::PlayObjects, 0, A(Kind::PlayObjects, QStringLiteral("News"))},
        {Kind::PauseObjects, 0, A(Kind::PauseObjects, QStringLiteral("News"))},
        {Kind::EndObjects, 0, A(Kind::EndObjects, QStringLiteral("News"))},
        {Kind::StopObjects, 0, A(Kind::StopObjects, QStringLiteral("News"))},
        {Kind::DeleteObjects, 0, A(Kind::DeleteObjects, QStringLiteral("News"))},
        {Kind::WaitObjectsEnd, 0, A(Kind::WaitObjectsEnd, QStringLiteral("News"))},
        {Kind::WaitPeriod, 10, A(Kind::WaitPeriod, QString(), 25)},
        {Kind::WaitUntilTime, 43200, A(Kind::WaitUntilTime, QString(), 43200)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.kind));
        doc.Script.Clear();
        doc.Script.Append(CFrameScriptItem::Added(Kind::StopObjects));
        edited.clear();
        confirm = false;
        EXPECT_FALSE(editor->Add(c.kind));
        ASSERT_EQ(edited.size(), 1u);
        EXPECT_EQ(edited[0], CFrameScriptItem(c.kind, QString(), c.idataGiven));
        EXPECT_EQ(doc.Script.Count(), 1) << "a cancelled editor adds nothing";
        EXPECT_FALSE(editor->Modified());

        confirm = true;
        ASSERT_TRUE(editor->Add(c.kind));
        ASSERT_EQ(doc.Script.Count(), 2);
        EXPECT_EQ(*doc.Script.Item(1), c.kept);
        EXPECT_EQ(editor->Selected(), 1) << "the new action is selected";
        EXPECT_TRUE(editor->Modified());
        ASSERT_TRUE(editor->Clear());
    }
}

TEST_F(ScriptEditorModel, ThePageActionsTakeAnExistingPageFileByItsFullPath) {
    const QString page = Put(QStringLiteral("Pages/Opening.corvane"), "page");
    for (const Kind kind : {Kind::LoadPage, Kind::AddObjects}) {
        SCOPED_TRACE(int(kind));
        doc.Script.Clear();
        asked.clear();
        presenter.texts.clear();

        answer.clear();  // cancelled
        EXPECT_FALSE(editor->Add(kind));
        answer = Path(QStringLiteral("Pages/Missing.corvane"));
        EXPECT_FALSE(editor->Add(kind));
        EXPECT_EQ(presenter.texts, std::vector<QString>{OpenFailed(answer)});
        EXPECT_EQ(doc.Script.Count(), 0);
        EXPECT_TRUE(edited.empty()) << "the page actions have no dialog of their own";

        answer = dir.path() + QStringLiteral("/Pages/../Pages/Opening.corvane");
        ASSERT_TRUE(editor->Add(kind));
        EXPECT_EQ(*doc.Script.Item(0), CFrameScriptItem(kind, page));
        ASSERT_EQ(asked.size(), 3u);
        EXPECT_EQ(asked[0], (Asked{QStringLiteral("page"), QString(), QStringLiteral("Page files (*.corvane)|*.corvane|")}));

        // Edit starts the chooser at the page the action has.
        answer.clear();
        editor->Select(0);
        EXPECT_FALSE(editor->Edit());
        EXPECT_EQ(asked.back().where, page);
        EXPECT_EQ(*doc.Script.Item(0), CFrameScriptItem(kind, page));
    }
}

TEST_F(ScriptEditorModel, EditChangesTheSelectedActionOnlyWhenConfirmed) {
    Script({A(Kind::PlayObjects), A(Kind::WaitPeriod, QString(), 5)});
    editor->Select(1);
    confirm = false;
    EXPECT_FALSE(editor->Edit());
    EXPECT_FALSE(editor->Modified());
    EXPECT_EQ(*doc.Script.Item(1), CFrameScriptItem(Kind::WaitPeriod, {}, 5));
    confirm = true;
    EXPECT_TRUE(editor->Edit());
    EXPECT_TRUE(editor->Modified());
    EXPECT_EQ(*doc.Script.Item(1), CFrameScriptItem(Kind::WaitPeriod, {}, 25));
    EXPECT_EQ(edited.back(), CFrameScriptItem(Kind::WaitPeriod, {}, 5)) << "the editor starts from the action";
}

TEST_F(ScriptEditorModel, DeleteKeepsTheSelectionAtItsPlaceOrOnTheNewLastRow) {
    struct Case {
        int count, selected, after;
    };
    const Case cases[] = {{3, 0, 0}, {3, 1, 1}, {3, 2, 1}, {1, 0, -1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.count << " items, row " << c.selected);
        doc.Script.Clear();
        for (int k = 0; k < c.count; ++k)
            doc.Script.Append(std::make_unique<CFrameScriptItem>(Kind::WaitPeriod, QString(), k + 1));
        editor->Select(c.selected);
        ASSERT_TRUE(editor->Delete());
        EXPECT_EQ(editor->Selected(), c.after);
        ASSERT_EQ(doc.Script.Count(), c.count - 1);
        for (int k = 0; k < doc.Script.Count(); ++k)
            EXPECT_NE(doc.Script.Item(k)->idata, c.selected + 1) << "the selected action went";
        EXPECT_TRUE(editor->Modified());
        ASSERT_TRUE(editor->Clear());
    }
}

TEST_F(ScriptEditorModel, UpAndDownSwapWithTheNeighbourAndTheSelectionFollows) {
    const CFrameScriptItem a(Kind::PlayObjects), b(Kind::WaitPeriod, {}, 3), c(Kind::EndObjects);
    Script({a, b, c});
    editor->Select(0);
    ASSERT_TRUE(editor->MoveDown());
    EXPECT_EQ(Items(), (std::vector<CFrameScriptItem>{b, a, c}));
    EXPECT_EQ(editor->Selected(), 1);
    ASSERT_TRUE(editor->MoveDown());
    EXPECT_EQ(Items(), (std::vector<CFrameScriptItem>{b, c, a}));
    EXPECT_EQ(editor->Selected(), 2);
    ASSERT_TRUE(editor->MoveUp());
    ASSERT_TRUE(editor->MoveUp());
    EXPECT_EQ(Items(), (std::vector<CFrameScriptItem>{a, b, c}));
    EXPECT_EQ(editor->Selected(), 0);
    EXPECT_TRUE(editor->Modified());
}

TEST_F(ScriptEditorModel, LoopSetsTheFlagAndMarksOnlyAScriptWithActionsModified) {
    editor->SetLoop(true);
    EXPECT_TRUE(doc.Script.Loop());
    EXPECT_FALSE(editor->Modified()) << "an empty script has nothing to lose";
    Script({A(Kind::PlayObjects)});
    editor->SetLoop(false);
    EXPECT_FALSE(editor->Modified()) << "no change";
    editor->SetLoop(true);
    EXPECT_TRUE(doc.Script.Loop());
    EXPECT_TRUE(editor->Modified());
}

TEST_F(ScriptEditorModel, ClearAsksFirstWhenModifiedAndNoKeepsEverything) {
    Script({A(Kind::PlayObjects), A(Kind::EndObjects)}, true);
    MakeModified();
    presenter.answer = IdNo;
    EXPECT_FALSE(editor->Clear());
    EXPECT_EQ(presenter.texts, std::vector<QString>{ModifiedQuestion});
    EXPECT_EQ(doc.Script.Count(), 2);
    EXPECT_TRUE(editor->Modified());
    EXPECT_FALSE(editor->MayClose());

    presenter.answer = IdYes;
    EXPECT_TRUE(editor->Clear());
    EXPECT_EQ(doc.Script.Count(), 0);
    EXPECT_FALSE(doc.Script.Loop());
    EXPECT_EQ(editor->Selected(), -1);
    EXPECT_FALSE(editor->Modified());
    presenter.texts.clear();
    EXPECT_TRUE(editor->Clear()) << "not modified: no question";
    EXPECT_TRUE(editor->MayClose());
    EXPECT_TRUE(presenter.texts.empty());
}

TEST_F(ScriptEditorModel, LoadReplacesTheScriptOrSaysTheFileCouldNotBeOpened) {
    const QString good = ScriptFile(QStringLiteral("Good.script"), {A(Kind::WaitPeriod, QString(), 7)});
    Script({A(Kind::PlayObjects), A(Kind::EndObjects)});
    MakeModified();

    // No: nothing is asked for and nothing changes.
    presenter.answer = IdNo;
    EXPECT_FALSE(editor->Load());
    EXPECT_TRUE(asked.empty());
    EXPECT_TRUE(editor->Modified());

    // Yes, then the chooser is cancelled: the changes were given up all the same.
    presenter.answer = IdYes;
    EXPECT_FALSE(editor->Load());
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], (Asked{QStringLiteral("open"), dir.path(), QStringLiteral("Script files (*.script)|*.script|")}));
    EXPECT_FALSE(editor->Modified());
    EXPECT_EQ(doc.Script.Count(), 2);

    answer = good;
    editor->Select(1);
    EXPECT_TRUE(editor->Load());
    EXPECT_EQ(Items(), std::vector<CFrameScriptItem>{CFrameScriptItem(Kind::WaitPeriod, {}, 7)});
    EXPECT_EQ(doc.Script.FileName(), good);
    EXPECT_EQ(editor->Selected(), -1);
    EXPECT_EQ(editor->Title(), QStringLiteral("Script Editor - Good"));
    EXPECT_EQ(host.lastName, QStringLiteral("Good")) << "the status line follows";

    presenter.texts.clear();
    answer = Put(QStringLiteral("Broken.script"), "<script><item type=\"2\"");
    EXPECT_FALSE(editor->Load());
    EXPECT_EQ(presenter.texts, std::vector<QString>{OpenFailed(answer)});
    EXPECT_EQ(doc.Script.Count(), 0);
    EXPECT_TRUE(doc.Script.FileName().isEmpty());
    EXPECT_EQ(editor->Title(), QStringLiteral("Script Editor"));
    EXPECT_FALSE(editor->Modified());
}

TEST_F(ScriptEditorModel, SaveWritesTheFileTheChooserNamesAndKeepsTheScriptWhenItCannot) {
    Script({A(Kind::PlayObjects, QStringLiteral("News")), A(Kind::WaitPeriod, QString(), 30)}, true);
    MakeModified();

    answer = Path(QStringLiteral("missing folder/Run.script"));
    EXPECT_FALSE(editor->Save());
    EXPECT_EQ(presenter.texts, std::vector<QString>{SaveFailed(answer)});
    EXPECT_TRUE(editor->Modified());
    EXPECT_TRUE(doc.Script.FileName().isEmpty());
    EXPECT_EQ(asked.back(), (Asked{QStringLiteral("save"), dir.path(), QStringLiteral("Script files (*.script)|*.script|"),
                                  QString()}));

    answer = Path(QStringLiteral("Run"));  // the default extension is added
    ASSERT_TRUE(editor->Save());
    const QString saved = Path(QStringLiteral("Run.script"));
    EXPECT_EQ(doc.Script.FileName(), saved);
    EXPECT_FALSE(editor->Modified());
    EXPECT_EQ(editor->Title(), QStringLiteral("Script Editor - Run"));
    CFrameScript back;
    ASSERT_TRUE(back.LoadFile(saved));
    EXPECT_TRUE(back.SameContent(doc.Script));

    answer.clear();
    EXPECT_FALSE(editor->Save());
    EXPECT_EQ(asked.back().proposed, saved) << "the script's file is proposed";
}

// ---------------------------------------------------------------------------------
// The action editors

TEST(ScriptActionEditors, TheObjectActionNamesItsKindAndTakesTheGroupWithoutSpaces) {
    const char* names[] = {"Play objects", "Pause objects", "End objects", "Stop objects", "Delete objects",
                           "Wait untill objects end"};
    for (int kind = 2; kind <= 7; ++kind)
        EXPECT_EQ(CScriptActionModel(CFrameScriptItem(Kind(kind))).ActionName, QString::fromUtf8(names[kind - 2]));

    CFrameScriptItem item(Kind::PlayObjects);
    CScriptActionModel all(item);
    EXPECT_FALSE(all.ApplyToGroup);
    EXPECT_FALSE(all.GroupEnabled());
    all.ChooseGroup();
    all.Group = QStringLiteral("  Lower thirds \t");
    all.Ok(item);
    EXPECT_EQ(item.sdata, QStringLiteral("Lower thirds"));

    CScriptActionModel group(item);
    EXPECT_TRUE(group.ApplyToGroup);
    EXPECT_TRUE(group.GroupEnabled());
    EXPECT_EQ(group.Group, QStringLiteral("Lower thirds"));
    group.ChooseAllObjects();
    EXPECT_TRUE(group.Group.isEmpty());
    EXPECT_FALSE(group.GroupEnabled());
    group.Ok(item);
    EXPECT_TRUE(item.sdata.isEmpty()) << "all objects";

    CScriptActionModel spaces(CFrameScriptItem(Kind::EndObjects, QStringLiteral("+News")));
    spaces.Group = QStringLiteral("   ");
    spaces.Ok(item);
    EXPECT_TRUE(item.sdata.isEmpty()) << "only spaces: all objects";
}

TEST(ScriptActionEditors, ThePauseTakesOnlyWholeSecondsAboveZero) {
    struct Case {
        const char* typed;
        bool taken;
        int32_t idata;
    };
    const Case cases[] = {{"10", true, 10},    {"007", true, 7},        {"999999999", true, 999999999},
                          {"0", false, 42},    {"000", false, 42},      {"", false, 42},
                          {"1234567890", false, 42}, {"12a", false, 42}, {"-5", false, 42}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        CFrameScriptItem item(Kind::WaitPeriod, {}, 42);
        CScriptPauseModel pause(item);
        EXPECT_EQ(pause.Seconds, QStringLiteral("42"));
        pause.Seconds = QString::fromUtf8(c.typed);
        EXPECT_EQ(pause.Ok(item), c.taken);
        EXPECT_EQ(item.idata, c.idata);
    }
}

TEST(ScriptActionEditors, TheWaitUntilShowsAndTakesATimeOfDay) {
    struct Case {
        int32_t idata;
        QTime shown;
    };
    const Case cases[] = {{43200, QTime(12, 0, 0)}, {0, QTime(0, 0, 0)}, {86399, QTime(23, 59, 59)},
                          {27015, QTime(7, 30, 15)}, {90000, QTime(1, 0, 0)}, {-60, QTime(23, 59, 0)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.idata);
        CFrameScriptItem item(Kind::WaitUntilTime, {}, c.idata);
        CScriptWaitUntilModel wait(item);
        EXPECT_EQ(wait.Time, c.shown);
        wait.Time = QTime(18, 45, 30);
        wait.Ok(item);
        EXPECT_EQ(item.idata, 18 * 3600 + 45 * 60 + 30);
    }
}

TEST(ScriptActionEditors, TheAddMenuNamesTheTenKinds) {
    QStringList texts;
    for (int kind = 0; kind < ScriptActionTypeCount; ++kind) texts << ScriptEditorTexts::MenuText(Kind(kind));
    EXPECT_EQ(texts, (QStringList{"Load page file", "Add objects from page file", "Play objects", "Pause objects",
                                  "End objects", "Stop objects", "Delete objects", "Wait untill objects end",
                                  "Wait for a period of time", "Wait until specified time"}));
}

// ---------------------------------------------------------------------------------
// The automation editor

CFrameScriptSchedule Entry(const QString& file, int hotkey = 0, int remote = 0) {
    CFrameScriptSchedule entry;
    entry.File = file;
    entry.Hotkey = hotkey;
    entry.Remote = remote;
    return entry;
}

class AutomationEditorModel : public EditorFixture {
protected:
    void SetUp() override {
        EditorFixture::SetUp();
        news = ScriptFile(QStringLiteral("News.script"), {A(Kind::PlayObjects)});
        opening = ScriptFile(QStringLiteral("Opening.script"), {A(Kind::PlayObjects)});
        doc.Automation = {Entry(opening), Entry(news, 4)};
    }
    void Open() {
        editor.emplace(doc, *store, nullptr, Hooks());
        editor->Open();
    }
    CAutomationEditorModel::Hooks Hooks() {
        CAutomationEditorModel::Hooks hooks;
        hooks.chooseScript = [this](const QString& start, const QString& filter) {
            starts.push_back(start);
            EXPECT_EQ(filter, QStringLiteral("Script files (*.script)|*.script|"));
            return answer;
        };
        hooks.editEntry = [this](CAutomationEntryModel& entry) {
            shown.push_back(entry.Title);
            if (confirm) confirm(entry);
            return bool(confirm);
        };
        hooks.clock = [] { return Schedule::ClockSecond{QDate(2026, 12, 9), 14 * 3600 + 5 * 60 + 6}; };
        return hooks;
    }
    CFrameScriptScheduleArray Stored() const { return Schedule::Load(*store, QDate(2000, 1, 1), 0); }

    QString news, opening, answer;
    std::vector<QString> starts, shown;
    std::function<void(CAutomationEntryModel&)> confirm;
    std::optional<CAutomationEditorModel> editor;
};

TEST_F(AutomationEditorModel, RowsShowTheTriggerAndTheScriptsName) {
    CFrameScriptSchedule timed = Entry(news, 0, 3);
    timed.PlayOnTime = 1;
    timed.Hour = 7;
    timed.Minute = 30;
    timed.Weekdays = 0b0011111;
    doc.Automation = {Entry(QString()), timed, Entry(opening, 12, 4)};
    Open();
    const std::vector<CAutomationEditorModel::Row> rows = editor->Rows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].trigger, QStringLiteral("on startup"));
    EXPECT_EQ(rows[0].icon, Schedule::TriggerIcon::None);
    EXPECT_EQ(rows[0].script, QString());
    EXPECT_EQ(rows[1].trigger, QStringLiteral("[07:30:00][12345--]")) << "no button without the switcher";
    EXPECT_EQ(rows[1].script, QStringLiteral("News"));
    EXPECT_EQ(rows[2].trigger, QStringLiteral("[Alt+1]"));
    EXPECT_EQ(rows[2].icon, Schedule::TriggerIcon::HotkeyOrButton);

    ASSERT_TRUE(store->Set(Settings::UseRemote, 1));
    EXPECT_EQ(editor->Rows()[1].trigger, QStringLiteral("[07:30:00][12345--], [Button #3]"));
    EXPECT_EQ(editor->Rows()[2].trigger, QStringLiteral("[Alt+1], [Button #4]"));
    EXPECT_EQ(CAutomationEditorModel::Headers(), (QStringList{"Trigger", "Script file"}));
}

TEST_F(AutomationEditorModel, AStoreWithoutScheduleShowsOneStartupRowWithoutScript) {
    doc.AutomationLoad(*store);
    Open();
    ASSERT_EQ(editor->Rows().size(), 1u);
    EXPECT_EQ(editor->Rows()[0].trigger, QStringLiteral("on startup"));
    EXPECT_EQ(editor->Rows()[0].icon, Schedule::TriggerIcon::None);
}

TEST_F(AutomationEditorModel, AddTakesAnExistingScriptThroughTheEntryEditor) {
    Open();
    answer.clear();
    EXPECT_FALSE(editor->Add());
    EXPECT_EQ(starts, std::vector<QString>{dir.path()}) << "starting in the pages folder";
    EXPECT_TRUE(shown.empty());

    // A file that is not there is refused with the open message.
    answer = Path(QStringLiteral("Gone.script"));
    EXPECT_FALSE(editor->Add());
    EXPECT_EQ(presenter.texts, std::vector<QString>{OpenFailed(answer)});
    EXPECT_TRUE(shown.empty());

    // Cancelled in the entry editor: dropped.
    answer = news;
    EXPECT_FALSE(editor->Add());
    EXPECT_EQ(shown, std::vector<QString>{QStringLiteral("Start conditions for script News")});
    EXPECT_EQ(editor->Entries().size(), 2u);

    // Confirmed as it came: the new entry's defaults.
    confirm = [](CAutomationEntryModel&) {};
    ASSERT_TRUE(editor->Add());
    ASSERT_EQ(editor->Entries().size(), 3u);
    EXPECT_EQ(editor->Selected(), 2);
    CFrameScriptSchedule expected = CFrameScriptSchedule::Created(news, QDate(2026, 12, 9), 14 * 3600 + 5 * 60 + 6);
    EXPECT_EQ(editor->Entries()[2], expected);
    EXPECT_EQ(expected.Weekdays, 127);
    EXPECT_EQ(doc.Automation.size(), 2u) << "the document keeps its schedule until OK";
}

TEST_F(AutomationEditorModel, EditOfTheStartupRowChoosesAnotherScript) {
    Open();
    editor->Select(0);
    answer = news;
    ASSERT_TRUE(editor->Edit());
    EXPECT_EQ(starts, std::vector<QString>{opening}) << "starting at the current file";
    EXPECT_EQ(editor->Entries()[0].File, news);
    EXPECT_TRUE(shown.empty()) << "the start-up entry has no entry editor";

    // Deleted: the row stays without a file; Edit then starts in the pages folder.
    ASSERT_TRUE(editor->Delete());
    EXPECT_EQ(editor->Entries().size(), 2u);
    EXPECT_TRUE(editor->Entries()[0].File.isEmpty());
    EXPECT_EQ(editor->Selected(), 0);
    answer.clear();
    EXPECT_FALSE(editor->Edit());
    EXPECT_EQ(starts.back(), dir.path());
}

TEST_F(AutomationEditorModel, EditOfATriggerRowGoesThroughTheEntryEditorAndDeleteRemovesIt) {
    doc.Automation.push_back(Entry(opening, 2));
    Open();
    editor->Select(1);
    confirm = [](CAutomationEntryModel& entry) {
        EXPECT_TRUE(entry.PlayOnHotkey);
        EXPECT_EQ(entry.HotkeyPosition, 3);  // Ctrl+3
        entry.HotkeyPosition = 12;           // Alt+2
        entry.Global = true;
    };
    ASSERT_TRUE(editor->Edit());
    EXPECT_EQ(editor->Entries()[1].Hotkey, 13);
    EXPECT_EQ(editor->Entries()[1].Global, 1);

    editor->Select(2);
    ASSERT_TRUE(editor->Delete());
    EXPECT_EQ(editor->Entries().size(), 2u);
    EXPECT_EQ(editor->Selected(), 1) << "on the new last row";
    ASSERT_TRUE(editor->Delete());
    EXPECT_EQ(editor->Entries().size(), 1u);
    EXPECT_EQ(editor->Selected(), 0);
    editor->Select(-1);
    EXPECT_FALSE(editor->Edit());
    EXPECT_FALSE(editor->Delete());
}

TEST_F(AutomationEditorModel, OkPutsTheCopyInPlaceAndWritesItToTheSettings) {
    Open();
    answer = news;
    confirm = [](CAutomationEntryModel& entry) {
        entry.PlayOnTime = true;
        entry.Time = QTime(18, 0, 0);
        entry.PlayOnce = true;
        entry.Date = QDate(2027, 1, 2);
    };
    ASSERT_TRUE(editor->Add());
    ASSERT_TRUE(editor->Ok());
    EXPECT_FALSE(editor->IsOpen());
    EXPECT_EQ(doc.Automation, editor->Entries());
    EXPECT_EQ(Stored(), editor->Entries());
    EXPECT_EQ(Stored()[2].Hour, 18);
    EXPECT_EQ(Stored()[2].Year, 2027);
}

TEST_F(AutomationEditorModel, CancelLeavesTheDocumentAndTheSettingsAsTheyWere) {
    const CFrameScriptScheduleArray before = doc.Automation;
    Open();
    editor->Select(1);
    ASSERT_TRUE(editor->Delete());
    editor->Cancel();
    EXPECT_EQ(doc.Automation, before);
    EXPECT_FALSE(store->Contains(QStringLiteral("ScriptAction"), QStringLiteral("Total")));
}

TEST_F(AutomationEditorModel, ARefusedSettingsWriteKeepsTheDocumentsScheduleAndTheEditorOpen) {
    const QString folder = Path(QStringLiteral("store-is-a-folder"));
    ASSERT_TRUE(QDir().mkpath(folder));
    CSettingsStore refusing(folder);
    const CFrameScriptScheduleArray before = doc.Automation;
    editor.emplace(doc, refusing, nullptr, Hooks());
    editor->Open();
    editor->Select(1);
    ASSERT_TRUE(editor->Delete());
    EXPECT_FALSE(editor->Ok());
    EXPECT_EQ(presenter.texts, std::vector<QString>{SaveFailed(folder)});
    EXPECT_EQ(doc.Automation, before);
    EXPECT_TRUE(editor->IsOpen());
    EXPECT_EQ(editor->Entries().size(), 1u) << "the operator's changes are still there to cancel or retry";
}

// ---------------------------------------------------------------------------------
// The entry editor

TEST(AutomationEntryEditor, ShowsWhatTheTicksAndRadioButtonsAllow) {
    struct Case {
        bool time, once, hotkey, remote, button;
        bool timeShown, dateShown, weekdaysShown, hotkeyListShown, buttonShown, buttonListShown;
    };
    const Case cases[] = {
        {false, false, false, false, false, false, false, false, false, false, false},
        {true, false, false, false, false, true, false, true, false, false, false},
        {true, true, false, false, false, true, true, false, false, false, false},
        {false, true, true, false, true, false, false, false, true, false, false},
        {false, false, false, true, false, false, false, false, false, true, false},
        {false, false, false, true, true, false, false, false, false, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.time << c.once << c.hotkey << c.remote << c.button);
        CAutomationEntryModel entry(CFrameScriptSchedule{}, c.remote, QDate(2026, 12, 7));
        entry.PlayOnTime = c.time;
        entry.PlayOnce = c.once;
        entry.PlayOnHotkey = c.hotkey;
        entry.PlayOnButton = c.button;
        EXPECT_EQ(entry.TimeShown(), c.timeShown);
        EXPECT_EQ(entry.DateShown(), c.dateShown);
        EXPECT_EQ(entry.WeekdaysShown(), c.weekdaysShown);
        EXPECT_EQ(entry.HotkeyListShown(), c.hotkeyListShown);
        EXPECT_EQ(entry.GlobalShown(), c.hotkeyListShown);
        EXPECT_EQ(entry.ButtonShown(), c.buttonShown);
        EXPECT_EQ(entry.ButtonListShown(), c.buttonListShown);
    }
}

TEST(AutomationEntryEditor, OpensOnTheEntrysValuesAndWritesEveryFieldBack) {
    CFrameScriptSchedule stored;
    stored.File = QStringLiteral("/shows/Late Show.script");
    stored.PlayOnTime = 1;
    stored.Hour = 22;
    stored.Minute = 15;
    stored.Second = 9;
    stored.Weekdays = 0b1000001;
    stored.Year = 2026;
    stored.Month = 2;
    stored.Day = 28;
    stored.Hotkey = 20;
    stored.Remote = 16;

    CAutomationEntryModel entry(stored, true, QDate(2026, 12, 7));
    EXPECT_EQ(entry.Title, QStringLiteral("Start conditions for script Late Show"));
    EXPECT_TRUE(entry.PlayOnTime);
    EXPECT_EQ(entry.Time, QTime(22, 15, 9));
    EXPECT_FALSE(entry.PlayOnce);
    EXPECT_EQ(entry.Date, QDate(2026, 2, 28));
    EXPECT_EQ(entry.Weekdays, 0b1000001);
    EXPECT_TRUE(entry.PlayOnHotkey);
    EXPECT_EQ(entry.HotkeyPosition, 19);
    EXPECT_TRUE(entry.PlayOnButton);
    EXPECT_EQ(entry.ButtonPosition, 15);
    EXPECT_EQ(CAutomationEntryModel::HotkeyNames().size(), 20);
    EXPECT_EQ(CAutomationEntryModel::HotkeyNames().front(), QStringLiteral("Ctrl+0"));
    EXPECT_EQ(CAutomationEntryModel::HotkeyNames().back(), QStringLiteral("Alt+9"));
    EXPECT_EQ(CAutomationEntryModel::ButtonNames().size(), 16);
    EXPECT_EQ(CAutomationEntryModel::ButtonNames().back(), QStringLiteral("Button #16"));

    // Unticked, the hidden fields are still written: the date of a daily entry,
    // the weekdays of a once-only one.
    entry.PlayOnTime = false;
    entry.Date = QDate(2030, 6, 1);
    entry.Weekdays = 0b0000110;
    entry.PlayOnHotkey = false;
    entry.Global = true;
    entry.PlayOnButton = false;
    CFrameScriptSchedule written = stored;
    entry.Ok(written);
    EXPECT_EQ(written.PlayOnTime, 0);
    EXPECT_EQ(written.Hour, 22);
    EXPECT_EQ(written.Year, 2030);
    EXPECT_EQ(written.Month, 6);
    EXPECT_EQ(written.Day, 1);
    EXPECT_EQ(written.Weekdays, 0b0000110);
    EXPECT_EQ(written.Hotkey, 0);
    EXPECT_EQ(written.Global, 1);
    EXPECT_EQ(written.Remote, 0);
    EXPECT_EQ(written.File, stored.File);
}

TEST(AutomationEntryEditor, WithoutTheSwitcherTheButtonKeepsItsValue) {
    CFrameScriptSchedule stored;
    stored.Remote = 5;
    CAutomationEntryModel entry(stored, false, QDate(2026, 12, 7));
    EXPECT_FALSE(entry.ButtonShown());
    entry.PlayOnButton = false;
    CFrameScriptSchedule written = stored;
    entry.Ok(written);
    EXPECT_EQ(written.Remote, 5);
}

TEST(AutomationEntryEditor, ADateThatIsNoCalendarDateShowsToday) {
    struct Case {
        int year, month, day;
        QDate shown;
    };
    const QDate today(2026, 12, 7);
    const Case cases[] = {{0, 0, 0, today},          {2026, 2, 30, today},        {1899, 12, 31, today},
                          {2026, 13, 1, today},      {1900, 1, 1, QDate(1900, 1, 1)}, {2024, 2, 29, QDate(2024, 2, 29)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.year << "-" << c.month << "-" << c.day);
        CFrameScriptSchedule stored;
        stored.Year = int16_t(c.year);
        stored.Month = int16_t(c.month);
        stored.Day = int16_t(c.day);
        EXPECT_EQ(CAutomationEntryModel(stored, false, today).Date, c.shown);
    }
}

}  // namespace
