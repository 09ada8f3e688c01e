// The script runner in the document, on a virtual clock: which actions run at which
// tick, what they do to the page, when the script stops, and what the status line
// is told.
#include "app/MainDoc.h"
#include "base/Settings.h"
#include "base/Translate.h"
#include "tests/RecordingPresenter.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <memory>
#include <vector>

namespace {

struct Status {
    int state, step, count;
    bool operator==(const Status&) const = default;
};

class VirtualHost : public IDocumentHost {
public:
    void UpdateViews(int) override {}
    bool ModalDialogOpen() override { return modal; }
    void ScriptStatus(int state, const QString& name, int step, int count) override {
        statuses.push_back({state, step, count});
        lastName = name;
    }
    uint32_t MillisecondTicks() override { return ticks; }
    Schedule::ClockSecond LocalClock() override { return {date, secondOfDay}; }

    bool modal = false;
    uint32_t ticks = 0xFFFFF000u;  // near the wrap: waits must not care
    QDate date{2026, 12, 7};  // a Monday
    int secondOfDay = 12 * 3600;
    std::vector<Status> statuses;
    QString lastName;
};

using Kind = ScriptActionType;

class ScriptRunner : public ::testing::Test {
public:
    void SetUp() override {
        doc.Page.OutputOn = 1;
        for (const char* group : {"News", "news", ""}) {
            auto object = std::make_unique<CFrame>();
            object->Group = QString::fromUtf8(group);
            object->ShowIndefinitely = 1;
            objects.push_back(object.get());
            ASSERT_TRUE(doc.AddObject(std::move(object)));
        }
        doc.Modified = false;
    }
    void Script(std::initializer_list<CFrameScriptItem> items, bool loop = false) {
        doc.Script.Clear();
        for (const CFrameScriptItem& item : items) doc.Script.Append(std::make_unique<CFrameScriptItem>(item));
        doc.Script.SetLoop(loop);
    }
    // One 200 ms tick of the editor's timer.
    void Tick() {
        host.ticks += 200;
        doc.ScriptProcessing();
    }
    std::vector<int> Playing() const {
        std::vector<int> playing;
        for (const CFrame* object : objects) playing.push_back(object->Playing.load());
        return playing;
    }

    RecordingPresenter presenter;
    VirtualHost host;
    CMainDoc doc{host, 0};
    std::vector<CFrame*> objects;  // groups "News", "news", none
};

CFrameScriptItem Act(Kind kind, const char* group = "", int seconds = 0) {
    return CFrameScriptItem(kind, QString::fromUtf8(group), seconds);
}

TEST_F(ScriptRunner, ANonLoopingScriptWithoutWaitsCompletesInOneTick) {
    Script({Act(Kind::PlayObjects), Act(Kind::EndObjects)});
    doc.ScriptStart();
    ASSERT_TRUE(doc.ScriptRunning());
    Tick();
    EXPECT_FALSE(doc.ScriptRunning());
    EXPECT_EQ(Playing(), (std::vector<int>{1, 1, 1}));
    for (const CFrame* object : objects) EXPECT_TRUE(object->Ending) << "ended with its out effect";
    EXPECT_EQ(host.statuses.back(), (Status{1, 2, 2}));  // loaded again
}

TEST_F(ScriptRunner, ALoopWithoutAWaitEndsAtTheAdvanceLimit) {
    Script({Act(Kind::PlayObjects, "News"), Act(Kind::StopObjects, "News")}, true);
    doc.ScriptStart();
    host.statuses.clear();
    Tick();
    // play, stop, play: then the limit.
    EXPECT_FALSE(doc.ScriptRunning());
    EXPECT_EQ(host.statuses, (std::vector<Status>{{2, 2, 2}, {2, 1, 2}, {1, 1, 2}}));
    EXPECT_EQ(Playing(), (std::vector<int>{1, 0, 0}));
}

TEST_F(ScriptRunner, ALoopWithWaitsCyclesAndShowsItsStep) {
    Script({Act(Kind::PlayObjects), Act(Kind::WaitPeriod, "", 5), Act(Kind::EndObjects), Act(Kind::WaitPeriod, "", 5)},
           true);
    doc.ScriptStart();
    Tick();
    EXPECT_EQ(doc.ScriptStep(), 1);
    EXPECT_EQ(host.statuses.back(), (Status{2, 2, 4}));
    for (int k = 0; k < 24; ++k) Tick();  // 4.8 s after the play
    EXPECT_EQ(doc.ScriptStep(), 1);
    Tick();  // 5 s: end, then the second wait
    EXPECT_EQ(doc.ScriptStep(), 3);
    for (int k = 0; k < 24; ++k) Tick();
    EXPECT_EQ(doc.ScriptStep(), 3);
    Tick();
    EXPECT_EQ(doc.ScriptStep(), 1) << "the loop went round: play, then the first wait";
    for (int k = 0; k < 500; ++k) Tick();
    EXPECT_TRUE(doc.ScriptRunning());
}

TEST_F(ScriptRunner, WaitsThatHaveNothingToWaitForCompleteAtOnce) {
    Script({Act(Kind::WaitPeriod, "", 0), Act(Kind::WaitObjectsEnd, "nobody"), Act(Kind::PlayObjects, "news")});
    doc.ScriptStart();
    Tick();
    EXPECT_FALSE(doc.ScriptRunning());
    EXPECT_EQ(Playing(), (std::vector<int>{0, 1, 0})) << "groups are compared exactly";
}

TEST_F(ScriptRunner, WaitObjectsEndHoldsUntilTheGroupHasStopped) {
    Script({Act(Kind::PlayObjects, "News"), Act(Kind::WaitObjectsEnd, "News"), Act(Kind::PlayObjects, "news")});
    doc.ScriptStart();
    for (int k = 0; k < 5; ++k) Tick();
    EXPECT_EQ(doc.ScriptStep(), 1);
    EXPECT_EQ(Playing(), (std::vector<int>{1, 0, 0}));
    objects[0]->Stop();  // as the render thread does when the object has finished
    Tick();
    EXPECT_FALSE(doc.ScriptRunning());
    EXPECT_EQ(Playing(), (std::vector<int>{0, 1, 0}));
}

TEST_F(ScriptRunner, WaitUntilTimeMatchesItsSecondOrOneALateTickPassedOver) {
    struct Case {
        const char* what;
        int due;                   // seconds since midnight
        std::vector<int> seconds;  // the time of day at each tick
        int completesAtTick;       // -1: still waiting after the last
    };
    const int noon = 12 * 3600 + 30;
    const Case cases[] = {
        {"the exact second", noon, {noon - 2, noon - 1, noon}, 2},
        {"a tick held back over the second", noon, {noon - 2, noon + 3}, 1},
        {"started after the time: tomorrow", noon, {noon + 1, noon + 2, noon + 60}, -1},
        {"a clock set back over the second", noon, {noon + 5, noon - 3, noon - 1}, -1},
        {"midnight passed over", 0, {86398, 86399, 1}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Script({Act(Kind::WaitUntilTime, "", c.due)});
        host.secondOfDay = c.seconds.front();
        doc.ScriptStart();
        int completed = -1;
        for (size_t k = 0; k < c.seconds.size(); ++k) {
            host.secondOfDay = c.seconds[k];
            Tick();
            if (!doc.ScriptRunning()) {
                completed = int(k);
                break;
            }
        }
        doc.ScriptStop();
        EXPECT_EQ(completed, c.completesAtTick);
    }
}

TEST_F(ScriptRunner, TheRunConditionsGuardStartAndEveryTick) {
    Script({Act(Kind::WaitPeriod, "", 60)});
    doc.Modified = true;
    doc.ScriptStart();
    EXPECT_FALSE(doc.ScriptRunning());
    EXPECT_EQ(host.statuses.back().state, 1) << "refused: still loaded";
    doc.Modified = false;
    doc.Page.OutputOn = 0;
    doc.ScriptStart();
    EXPECT_FALSE(doc.ScriptRunning());
    doc.Page.OutputOn = 1;

    struct Breaker {
        const char* what;
        void (*apply)(ScriptRunner&);
    };
    const Breaker breakers[] = {
        {"an edit", [](ScriptRunner& t) { t.doc.Modified = true; }},
        {"the output switched off", [](ScriptRunner& t) { t.doc.Page.OutputOn = 0; }},
        {"a modal dialog", [](ScriptRunner& t) { t.host.modal = true; }},
    };
    for (const Breaker& b : breakers) {
        SCOPED_TRACE(b.what);
        doc.Modified = false;
        doc.Page.OutputOn = 1;
        host.modal = false;
        doc.ScriptStart();
        ASSERT_TRUE(doc.ScriptRunning());
        Tick();
        EXPECT_TRUE(doc.ScriptRunning());
        b.apply(*this);
        Tick();
        EXPECT_FALSE(doc.ScriptRunning()) << "stopped, not paused";
    }
}

TEST_F(ScriptRunner, OperatorActionsStopARunningScript) {
    Script({Act(Kind::WaitPeriod, "", 60)});
    doc.ScriptStart();
    ASSERT_TRUE(doc.ScriptRunning());
    doc.NewPage();
    EXPECT_FALSE(doc.ScriptRunning());
}

TEST_F(ScriptRunner, ScriptsLoadPagesAndAFailedScriptLoadSaysSo) {
    QTemporaryDir dir;
    const QString page = dir.filePath(QStringLiteral("next.corvane"));
    ASSERT_TRUE(doc.Save(page));  // three objects
    doc.DeleteObjects(QString());
    ASSERT_EQ(doc.Page.LiveCount(), 0);

    CFrameScript written;
    written.Append(std::make_unique<CFrameScriptItem>(Kind::LoadPage, page));
    written.Append(std::make_unique<CFrameScriptItem>(Kind::PlayObjects, QStringLiteral("News")));
    const QString path = dir.filePath(QStringLiteral("show.script"));
    ASSERT_TRUE(written.SaveFile(path));
    doc.ScriptLoad(path, true);
    EXPECT_EQ(host.lastName, QStringLiteral("show"));
    ASSERT_TRUE(doc.ScriptRunning());
    Tick();
    EXPECT_FALSE(doc.ScriptRunning());
    ASSERT_EQ(doc.Page.LiveCount(), 3);
    CPageSnapshot snapshot(doc.Page);
    EXPECT_EQ(snapshot.list[0]->Playing.load(), 1);
    EXPECT_EQ(snapshot.list[1]->Playing.load(), 0);

    doc.ScriptLoad(dir.filePath(QStringLiteral("missing.script")), true);
    ASSERT_EQ(presenter.texts.size(), 1u);
    EXPECT_EQ(presenter.texts[0], QStringLiteral("Error: File open failed!\n\n") + dir.filePath(QStringLiteral("missing.script")));
    EXPECT_FALSE(doc.ScriptRunning());
    EXPECT_EQ(doc.Script.Count(), 0);
    EXPECT_EQ(host.statuses.back().state, 0);
}

// The automation schedule on the same virtual clock: the time check of the main
// instance and the start of an entry's script.
class Automation : public ScriptRunner {
public:
    void SetUp() override {
        ScriptRunner::SetUp();
        ASSERT_TRUE(dir.isValid());
        doc.MainInstance = true;
    }
    // A script file that plays group (one action, so it completes at once).
    QString ScriptFile(const char* name, const char* group) {
        CFrameScript written;
        written.Append(std::make_unique<CFrameScriptItem>(Kind::PlayObjects, QString::fromUtf8(group)));
        written.Append(std::make_unique<CFrameScriptItem>(Kind::WaitPeriod, QString(), 600));
        const QString path = dir.filePath(QString::fromUtf8(name));
        EXPECT_TRUE(written.SaveFile(path));
        return path;
    }
    static CFrameScriptSchedule At(const QString& file, int secondOfDay, int weekdays = 127) {
        CFrameScriptSchedule entry = CFrameScriptSchedule::Created(file, QDate(2026, 12, 7), secondOfDay);
        entry.PlayOnTime = 1;
        entry.Weekdays = weekdays;
        return entry;
    }
    // Ticks of 200 ms through whole seconds of the day, from..to inclusive.
    void TicksThrough(int from, int to) {
        for (int s = from; s <= to; ++s) {
            host.secondOfDay = s;
            for (int k = 0; k < 5; ++k) Tick();
        }
    }
    QTemporaryDir dir;
};

TEST_F(Automation, TheTimeCheckStartsTheFirstEntryDueAndOnlyInTheMainInstance) {
    const int due = 12 * 3600 + 30;
    doc.Automation = {CFrameScriptSchedule{}, At(ScriptFile("news.script", "News"), due),
                      At(ScriptFile("all.script", ""), due)};
    TicksThrough(due - 3, due - 1);
    EXPECT_FALSE(doc.ScriptRunning());
    EXPECT_EQ(Playing(), (std::vector<int>{0, 0, 0}));
    TicksThrough(due, due + 2);
    ASSERT_TRUE(doc.ScriptRunning()) << "waits in its second action";
    EXPECT_EQ(host.lastName, QStringLiteral("news"));
    EXPECT_EQ(Playing(), (std::vector<int>{1, 0, 0})) << "the second entry due in the same second is skipped";

    doc.ScriptStop();
    doc.Command(PlayCommand::Stop, CommandTarget::Every());
    doc.MainInstance = false;
    host.date = host.date.addDays(1);
    TicksThrough(due - 1, due + 1);
    EXPECT_FALSE(doc.ScriptRunning()) << "an editor instance never checks the time";
    EXPECT_EQ(Playing(), (std::vector<int>{0, 0, 0}));
}

TEST_F(Automation, AnEntryDueWhileTheRunConditionsFailIsNotRetried) {
    const int due = 12 * 3600 + 10;
    doc.Automation = {CFrameScriptSchedule{}, At(ScriptFile("news.script", "News"), due)};
    host.modal = true;
    TicksThrough(due - 1, due);
    host.modal = false;
    TicksThrough(due + 1, due + 5);
    EXPECT_FALSE(doc.ScriptRunning());
    EXPECT_EQ(doc.Script.Count(), 0) << "nothing was loaded";
}

TEST_F(Automation, StartScriptLoadsTheEntrysFileOrDoesNothing) {
    doc.Automation = {CFrameScriptSchedule{}, At(ScriptFile("news.script", "News"), 0)};
    doc.Automation[0].File = ScriptFile("all.script", "");

    doc.AutomationStartScript(2);  // no such entry
    doc.AutomationStartScript(-1);
    EXPECT_EQ(doc.Script.Count(), 0);

    doc.Modified = true;  // the page must be saved first
    doc.AutomationStartScript(1);
    EXPECT_EQ(doc.Script.Count(), 0);
    doc.Modified = false;

    doc.AutomationStartScript(0);  // the start-up entry
    EXPECT_TRUE(doc.ScriptRunning());
    EXPECT_EQ(host.lastName, QStringLiteral("all"));
    Tick();
    EXPECT_EQ(Playing(), (std::vector<int>{1, 1, 1}));

    // Another entry replaces the running script.
    doc.AutomationStartScript(1);
    EXPECT_EQ(host.lastName, QStringLiteral("news"));
    EXPECT_TRUE(doc.ScriptRunning());

    // A file that is gone: the script is left empty and stopped, and no message box
    // interrupts an unattended channel.
    doc.Automation[1].File = dir.filePath(QStringLiteral("gone.script"));
    doc.AutomationStartScript(1);
    EXPECT_FALSE(doc.ScriptRunning());
    EXPECT_EQ(doc.Script.Count(), 0);
    EXPECT_TRUE(presenter.texts.empty());
}

TEST_F(Automation, LoadAndSaveGoThroughTheStore) {
    CSettingsStore store(dir.filePath(QStringLiteral("Corvane.ini")));
    doc.AutomationLoad(store);
    ASSERT_EQ(doc.Automation.size(), 1u) << "an empty store gives the start-up entry";
    EXPECT_EQ(doc.Automation[0].Weekdays, 127);
    EXPECT_EQ(doc.Automation[0].Hour, 12);
    doc.Automation.push_back(At(QStringLiteral("/s/a.script"), 7 * 3600 + 30 * 60, 0x1F));
    ASSERT_TRUE(doc.AutomationSave(store));
    CMainDoc other(host, 0);
    other.AutomationLoad(store);
    EXPECT_EQ(other.Automation, doc.Automation);
}

// Hotkeys and switcher buttons: objects first, the automation entry when no object
// took the key or none of the button's objects was playing.
TEST_F(Automation, HotkeysToggleTheirObjectsOrStartTheirEntry) {
    objects[0]->Hotkey = 3;
    objects[1]->Hotkey = 3;
    doc.Automation = {CFrameScriptSchedule{}, At(ScriptFile("six.script", ""), 0, 0)};
    doc.Automation[1].Hotkey = 6;

    doc.Command(PlayCommand::Play, CommandTarget::One(objects[0]));
    doc.HotkeyCommand(3);  // one of the two plays: it ends, the other stays
    EXPECT_TRUE(objects[0]->Ending);
    EXPECT_EQ(objects[1]->Playing.load(), 0);
    doc.Command(PlayCommand::Stop, CommandTarget::One(objects[0]));
    doc.HotkeyCommand(3);  // none plays: both start
    EXPECT_EQ(Playing(), (std::vector<int>{1, 1, 0}));
    EXPECT_EQ(doc.Script.Count(), 0) << "the key was taken by objects";

    doc.HotkeyCommand(6);  // no object has it: its entry starts
    ASSERT_TRUE(doc.ScriptRunning());
    EXPECT_EQ(host.lastName, QStringLiteral("six"));
    doc.HotkeyCommand(3);  // objects toggled while a script runs: the operator took over
    EXPECT_FALSE(doc.ScriptRunning());
    EXPECT_TRUE(objects[0]->Ending && objects[1]->Ending);
}

TEST_F(Automation, SwitcherButtonsToggleTheirObjectsAndStartTheirEntryWhenNoneWasPlaying) {
    objects[2]->SwitcherButton = 4;
    doc.Automation = {CFrameScriptSchedule{}, At(ScriptFile("four.script", "News"), 0, 0)};
    doc.Automation[1].Remote = 4;

    doc.SwitcherButtonEvent(false, 3);  // a release
    EXPECT_EQ(Playing(), (std::vector<int>{0, 0, 0}));
    EXPECT_FALSE(doc.ScriptRunning());

    doc.SwitcherButtonEvent(true, 3);  // button 4: the idle object starts, and the entry too
    EXPECT_EQ(objects[2]->Playing.load(), 1);
    ASSERT_TRUE(doc.ScriptRunning());
    Tick();
    EXPECT_EQ(Playing(), (std::vector<int>{1, 0, 1}));
    EXPECT_EQ(doc.ButtonLamps(), (std::array<uint8_t, 16>{0, 0, 0, 1}));

    doc.SwitcherButtonEvent(true, 3);  // now it plays: it ends; the entry stays put, the script goes on
    EXPECT_TRUE(objects[2]->Ending);
    EXPECT_TRUE(doc.ScriptRunning());

    doc.ScriptStop();
    doc.Command(PlayCommand::Stop, CommandTarget::Every());
    EXPECT_EQ(doc.ButtonLamps(), (std::array<uint8_t, 16>{}));
    doc.Page.OutputOn = 0;  // presses do nothing at all while the output is off
    doc.SwitcherButtonEvent(true, 3);
    doc.Page.OutputOn = 1;
    EXPECT_EQ(Playing(), (std::vector<int>{0, 0, 0}));
    EXPECT_FALSE(doc.ScriptRunning());
    doc.SwitcherButtonEvent(true, 16);  // no such button
    EXPECT_FALSE(doc.ScriptRunning());
}

}  // namespace
