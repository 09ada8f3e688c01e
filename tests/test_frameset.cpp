// The page: snapshots with deferred destruction, the order of its objects, the
// object limit, lookups, and the playback commands for many objects.
#include "core/FrameSet.h"
#include "playback/PlayCommand.h"
#include "playback/TextMovement.h"
#include "tests/TextRendererFixture.h"
#include "playback/Timeline.h"
#include "media/MemoryTexture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace {

// A play command as every input gives it; 1 when it changed anything.
int Command(CFrameSet& page, PlayCommand command, const CommandTarget& target) {
    return ApplyCommand(page, command, target).Changed() ? 1 : 0;
}

// An object that lets a test see when the page destroys it: the page holds the only
// strong reference to the token, the test a weak one.
class TrackedFrame : public CFrame {
public:
    explicit TrackedFrame(std::shared_ptr<int> token) : token_(std::move(token)) {}

private:
    std::shared_ptr<int> token_;
};

class FrameSetTest : public ::testing::Test {
protected:
    // Declared before the page: the page (and its objects' textures) goes first.
    CMemoryTextureDevice device;
    CFrameSet page;

    CFrame* AddObject(const QString& group = {}, int hotkey = 0) {
        auto object = std::make_unique<CFrame>();
        object->Group = group;
        object->Hotkey = hotkey;
        object->FramePeriod = 20000;
        CFrame* raw = object.get();
        EXPECT_EQ(page.Add(object), 1);
        return raw;
    }

    // Adds an object whose destruction the returned marker reports.
    CFrame* AddTracked(std::weak_ptr<int>& marker) {
        auto token = std::make_shared<int>(0);
        marker = token;
        std::unique_ptr<CFrame> object = std::make_unique<TrackedFrame>(std::move(token));
        CFrame* raw = object.get();
        EXPECT_EQ(page.Add(object), 1);
        return raw;
    }

    std::vector<CFrame*> Live() {
        CPageSnapshot snapshot(page);
        return snapshot.list;
    }

    std::vector<int> LiveIds() {
        std::vector<int> ids;
        for (CFrame* object : Live()) ids.push_back(object->Id);
        return ids;
    }

    // One output frame of the render engine for the object: creates its
    // background texture on the memory device.
    void Present(CFrame* object) {
        InvokeRender(*object, TextRenderer());
        if (!object->BeginPresent()) return;
        FramePresentation record;
        const int result = PresentFrame(*object, record, device, 20000);
        object->EndPresent();
        if (!result) object->Stop();
    }

    void PresentAll() {
        for (CFrame* object : Live()) Present(object);
    }

    static bool Playing(const CFrame* object) { return object->Playing.load() != 0; }
    static bool Paused(const CFrame* object) { return object->Paused.load() != 0; }
};

// ---------------------------------------------------------------------------
// Snapshots and deferred removal

TEST_F(FrameSetTest, RemovedObjectStaysInHeldSnapshotAndLeavesTheNext) {
    std::weak_ptr<int> marker;
    CFrame* a = AddObject();
    CFrame* b = AddTracked(marker);
    CFrame* c = AddObject();

    std::vector<CFrame*> held;
    ASSERT_EQ(page.BeginSnapshot(held), 3);
    page.Remove(b);

    EXPECT_EQ(held, (std::vector<CFrame*>{a, b, c}));
    EXPECT_FALSE(marker.expired());
    EXPECT_EQ(b->Deleted, 1);

    std::vector<CFrame*> next;
    EXPECT_EQ(page.BeginSnapshot(next), 2);
    EXPECT_EQ(next, (std::vector<CFrame*>{a, c}));
    page.EndSnapshot();
    EXPECT_FALSE(marker.expired()) << "the first snapshot still holds the object";

    page.EndSnapshot();
    EXPECT_TRUE(marker.expired()) << "the last snapshot has ended";
    EXPECT_EQ(Live(), (std::vector<CFrame*>{a, c}));
}

TEST_F(FrameSetTest, NestedSnapshotsEndingInEitherOrderDestroyAtTheLast) {
    std::weak_ptr<int> marker;
    AddObject();
    CFrame* b = AddTracked(marker);

    std::vector<CFrame*> outer;
    std::vector<CFrame*> inner;
    page.BeginSnapshot(outer);
    page.Remove(b);
    page.BeginSnapshot(inner);
    page.EndSnapshot();  // the outer one, in time order
    EXPECT_FALSE(marker.expired());
    EXPECT_EQ(page.LiveCount(), 1);  // a third, short snapshot: still not the last
    EXPECT_FALSE(marker.expired());
    page.EndSnapshot();
    EXPECT_TRUE(marker.expired());
}

TEST_F(FrameSetTest, RemovedWithoutSnapshotIsDestroyedByTheNextWalk) {
    std::weak_ptr<int> marker;
    CFrame* a = AddTracked(marker);
    page.Remove(a);
    // Marked at once; the page compacts at the end of the next walk over it.
    EXPECT_EQ(a->Deleted, 1);
    EXPECT_EQ(page.LiveCount(), 0);
    EXPECT_TRUE(marker.expired());
}

TEST_F(FrameSetTest, UnpairedEndSnapshotIsHarmless) {
    std::weak_ptr<int> marker;
    CFrame* a = AddTracked(marker);
    std::vector<CFrame*> held;
    page.BeginSnapshot(held);
    page.EndSnapshot();
    page.EndSnapshot();  // one too many: the depth stays at 0

    // A later snapshot still protects what it holds.
    page.BeginSnapshot(held);
    page.Remove(a);
    EXPECT_EQ(page.LiveCount(), 0);
    EXPECT_FALSE(marker.expired());
    page.EndSnapshot();
    EXPECT_TRUE(marker.expired());
}

TEST_F(FrameSetTest, RemoveStopsTheObjectAndReleasesItsTexturesAtOnce) {
    page.OutputOn = 1;
    CFrame* a = AddObject();
    ASSERT_EQ(a->Play(), 1);
    Present(a);
    ASSERT_EQ(device.Live.load(), 1);

    std::vector<CFrame*> held;
    page.BeginSnapshot(held);
    page.Remove(a);
    EXPECT_FALSE(Playing(a));
    EXPECT_EQ(device.Live.load(), 0);
    page.EndSnapshot();
}

TEST_F(FrameSetTest, RemoveAllStopsEverythingAndDefersDestruction) {
    page.OutputOn = 1;
    std::weak_ptr<int> first;
    std::weak_ptr<int> second;
    CFrame* a = AddTracked(first);
    CFrame* b = AddTracked(second);
    a->Play();
    b->Play();
    b->TogglePause();
    PresentAll();
    ASSERT_EQ(device.Live.load(), 2);

    std::vector<CFrame*> held;
    page.BeginSnapshot(held);
    page.RemoveAll();
    EXPECT_FALSE(Playing(a));
    EXPECT_FALSE(Playing(b));
    EXPECT_FALSE(Paused(b));
    EXPECT_EQ(device.Live.load(), 0);
    EXPECT_EQ(a->Deleted, 1);
    EXPECT_EQ(b->Deleted, 1);
    EXPECT_FALSE(first.expired());
    EXPECT_FALSE(second.expired());
    page.EndSnapshot();
    EXPECT_TRUE(first.expired());
    EXPECT_TRUE(second.expired());
    EXPECT_EQ(page.LiveCount(), 0);
}

// ---------------------------------------------------------------------------
// Order of the objects

TEST_F(FrameSetTest, AddAppendsAtTheTop) {
    CFrame* a = AddObject();
    CFrame* b = AddObject();
    CFrame* c = AddObject();
    EXPECT_EQ(Live(), (std::vector<CFrame*>{a, b, c}));
}

TEST_F(FrameSetTest, InsertAbovePlacesByIdBottomOrTop) {
    CFrame* a = AddObject();
    CFrame* b = AddObject();

    // Where each new object goes: above made[above], or kBottom (id 0), or kUnknown
    // (an id no object has); then the expected order as indices into made[], where
    // a and b are 0 and 1 and each inserted object takes the next index.
    constexpr int kBottom = -1;
    constexpr int kUnknown = -2;
    struct Row {
        const char* what;
        int above;
        std::vector<int> expectOrder;
    };
    std::vector<CFrame*> made{a, b};
    const Row rows[] = {
        {"id 0: bottom", kBottom, {2, 0, 1}},
        {"above a", 0, {2, 0, 3, 1}},
        {"unknown id: top", kUnknown, {2, 0, 3, 1, 4}},
        {"above the top object", 4, {2, 0, 3, 1, 4, 5}},
        {"above the bottom object", 2, {2, 6, 0, 3, 1, 4, 5}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        auto object = std::make_unique<CFrame>();
        CFrame* raw = object.get();
        int id = 0;
        if (row.above == kUnknown)
            id = CFrame::PeekNextId() + 1000;
        else if (row.above != kBottom)
            id = made[size_t(row.above)]->Id;
        ASSERT_EQ(page.InsertAbove(object, id), 1);
        EXPECT_EQ(object, nullptr) << "the page took the object";
        made.push_back(raw);
        std::vector<CFrame*> expected;
        for (int index : row.expectOrder) expected.push_back(made[size_t(index)]);
        EXPECT_EQ(Live(), expected);
    }
}

TEST_F(FrameSetTest, MoveSwapsWithNeighboursButNotPastTheEnds) {
    CFrame* a = AddObject();
    CFrame* b = AddObject();
    CFrame* c = AddObject();

    EXPECT_EQ(page.Move(a, false), 0) << "bottom object down";
    EXPECT_EQ(page.Move(c, true), 0) << "top object up";
    EXPECT_EQ(Live(), (std::vector<CFrame*>{a, b, c}));

    EXPECT_EQ(page.Move(a, true), 1);
    EXPECT_EQ(Live(), (std::vector<CFrame*>{b, a, c}));
    EXPECT_EQ(page.Move(a, true), 1);
    EXPECT_EQ(Live(), (std::vector<CFrame*>{b, c, a}));
    EXPECT_EQ(page.Move(a, true), 0);
    EXPECT_EQ(page.Move(c, false), 1);
    EXPECT_EQ(Live(), (std::vector<CFrame*>{c, b, a}));

    CFrame stranger;
    EXPECT_EQ(page.Move(&stranger, true), 0);
    EXPECT_EQ(page.Move(nullptr, false), 0);
    EXPECT_EQ(Live(), (std::vector<CFrame*>{c, b, a}));
}

// ---------------------------------------------------------------------------
// The limit of 256 live objects

TEST_F(FrameSetTest, AddAndInsertAboveRefuseThe257thObject) {
    for (int i = 0; i < CFrameSet::MaxObjects; ++i) {
        auto object = std::make_unique<CFrame>();
        ASSERT_EQ(page.Add(object), 1) << i;
    }
    ASSERT_EQ(page.LiveCount(), 256);
    const std::vector<CFrame*> before = Live();

    auto extra = std::make_unique<CFrame>();
    CFrame* raw = extra.get();
    EXPECT_EQ(page.Add(extra), 0);
    EXPECT_EQ(extra.get(), raw) << "a refused object stays with the caller";
    EXPECT_EQ(page.InsertAbove(extra, 0), 0);
    EXPECT_EQ(extra.get(), raw);
    EXPECT_EQ(page.InsertAbove(extra, before[10]->Id), 0);
    EXPECT_EQ(extra.get(), raw);
    EXPECT_EQ(Live(), before);

    // One removed (even while still held by a snapshot) makes room again.
    std::vector<CFrame*> held;
    page.BeginSnapshot(held);
    page.Remove(before[100]);
    EXPECT_EQ(page.Add(extra), 1);
    EXPECT_EQ(extra, nullptr);
    auto another = std::make_unique<CFrame>();
    EXPECT_EQ(page.InsertAbove(another, 0), 0);
    EXPECT_NE(another, nullptr);
    page.EndSnapshot();
    EXPECT_EQ(page.LiveCount(), 256);
    EXPECT_EQ(Live().back(), raw);
}

TEST_F(FrameSetTest, PlaybackCommandsCopeWithAFullPage) {
    page.OutputOn = 1;
    for (int i = 0; i < CFrameSet::MaxObjects; ++i) AddObject(i % 2 ? QStringLiteral("G") : QString(), 7);
    EXPECT_EQ(Command(page, PlayCommand::Play, CommandTarget::Every()), 1);
    for (CFrame* object : Live()) EXPECT_TRUE(Playing(object));
    PresentAll();
    EXPECT_EQ(device.Live.load(), 256);
    EXPECT_EQ(Command(page, PlayCommand::PauseResume, CommandTarget::Every()), 1);
    EXPECT_EQ(Command(page, PlayCommand::Stop, CommandTarget::NamedGroup(QStringLiteral("G"))), 1);
    EXPECT_EQ(device.Live.load(), 128);
    EXPECT_EQ(Command(page, PlayCommand::Toggle, CommandTarget::OfHotkey(7)), 1);
    EXPECT_EQ(page.StopAll(), 1);
    EXPECT_EQ(device.Live.load(), 0);
    page.RemoveAll();
    EXPECT_EQ(page.LiveCount(), 0);
}

// ---------------------------------------------------------------------------
// Lookups

TEST_F(FrameSetTest, FindByIdFindsLiveObjectsOnly) {
    CFrame* a = AddObject();
    CFrame* b = AddObject();
    EXPECT_EQ(page.FindById(a->Id), a);
    EXPECT_EQ(page.FindById(b->Id), b);
    EXPECT_EQ(page.FindById(CFrame::PeekNextId() + 5), nullptr);

    std::vector<CFrame*> held;
    page.BeginSnapshot(held);
    const int id = b->Id;
    page.Remove(b);
    EXPECT_EQ(page.FindById(id), nullptr) << "a removed object still held by a snapshot is not found";
    EXPECT_EQ(page.FindById(a->Id), a);
    page.EndSnapshot();
}

TEST_F(FrameSetTest, GroupNamesDistinctExactInOrderOfFirstUse) {
    const QString groups[] = {QString(), QStringLiteral("News"), QStringLiteral("news"), QStringLiteral("Sport"),
                              QStringLiteral("News"), QString(), QStringLiteral("News "), QStringLiteral("Sport"),
                              QStringLiteral("Gone")};
    std::vector<CFrame*> objects;
    for (const QString& group : groups) objects.push_back(AddObject(group));
    page.Remove(objects.back());  // the only member of "Gone"
    EXPECT_EQ(page.GroupNames(),
              (QStringList{QStringLiteral("News"), QStringLiteral("news"), QStringLiteral("Sport"),
                           QStringLiteral("News ")}));

    // The order follows the objects: moving "Sport"'s first member to the bottom
    // moves the name to the front.
    EXPECT_EQ(page.Move(objects[3], false), 1);
    EXPECT_EQ(page.Move(objects[3], false), 1);
    EXPECT_EQ(page.Move(objects[3], false), 1);
    EXPECT_EQ(page.GroupNames(),
              (QStringList{QStringLiteral("Sport"), QStringLiteral("News"), QStringLiteral("news"),
                           QStringLiteral("News ")}));
}

TEST_F(FrameSetTest, GroupNamesOfAnEmptyPage) {
    EXPECT_TRUE(page.GroupNames().isEmpty());
    AddObject();
    EXPECT_TRUE(page.GroupNames().isEmpty());
}

TEST_F(FrameSetTest, NumberOfCountsLiveObjectsFromTheBottom) {
    CFrame* a = AddObject();
    CFrame* b = AddObject();
    CFrame* c = AddObject();
    EXPECT_EQ(page.NumberOf(a), 1);
    EXPECT_EQ(page.NumberOf(b), 2);
    EXPECT_EQ(page.NumberOf(c), 3);

    std::vector<CFrame*> held;
    page.BeginSnapshot(held);
    page.Remove(a);
    EXPECT_EQ(page.NumberOf(a), 0);
    EXPECT_EQ(page.NumberOf(b), 1);
    EXPECT_EQ(page.NumberOf(c), 2);
    page.EndSnapshot();

    CFrame stranger;
    EXPECT_EQ(page.NumberOf(&stranger), 0);
    EXPECT_EQ(page.NumberOf(nullptr), 0);
}

// ---------------------------------------------------------------------------
// Playback commands while the output is off

TEST_F(FrameSetTest, OutputOffCommandsStartNothing) {
    ASSERT_EQ(page.OutputOn.load(), 0);
    CFrame* a = AddObject(QStringLiteral("G"), 3);
    CFrame* b = AddObject(QStringLiteral("G"), 3);

    EXPECT_EQ(Command(page, PlayCommand::Play, CommandTarget::Every()), 0);
    EXPECT_EQ(Command(page, PlayCommand::Play, CommandTarget::Every({a})), 0);
    EXPECT_EQ(Command(page, PlayCommand::Play, CommandTarget::NamedGroup(QStringLiteral("G"))), 0);
    EXPECT_EQ(Command(page, PlayCommand::Toggle, CommandTarget::WithGroup(a)), 0);
    EXPECT_EQ(Command(page, PlayCommand::Toggle, CommandTarget::OfHotkey(3)), 0);
    EXPECT_FALSE(Playing(a));
    EXPECT_FALSE(Playing(b));
}

TEST_F(FrameSetTest, OutputOffCommandsLeavePlayingObjectsAlone) {
    page.OutputOn = 1;
    CFrame* a = AddObject(QStringLiteral("G"), 3);
    CFrame* b = AddObject(QStringLiteral("G"), 3);
    CFrame* c = AddObject();
    ASSERT_EQ(Command(page, PlayCommand::Play, CommandTarget::Every()), 1);
    b->TogglePause();
    PresentAll();
    ASSERT_EQ(device.Live.load(), 3);
    page.OutputOn = 0;

    struct Case {
        const char* name;
        int (*run)(CFrameSet&, CFrame*);
    };
    const Case commands[] = {
        {"PlayAll", [](CFrameSet& p, CFrame*) { return Command(p, PlayCommand::Play, CommandTarget::Every()); }},
        {"PlayAllExcept", [](CFrameSet& p, CFrame* o) { return Command(p, PlayCommand::Play, CommandTarget::Every({o})); }},
        {"PauseAll", [](CFrameSet& p, CFrame*) { return Command(p, PlayCommand::PauseResume, CommandTarget::Every()); }},
        {"EndAll", [](CFrameSet& p, CFrame*) { return Command(p, PlayCommand::End, CommandTarget::Every()); }},
        {"StopAll", [](CFrameSet& p, CFrame*) { return int(p.StopAll()); }},
        {"PlayGroup", [](CFrameSet& p, CFrame*) { return Command(p, PlayCommand::Play, CommandTarget::NamedGroup(QStringLiteral("G"))); }},
        {"PauseGroup", [](CFrameSet& p, CFrame*) { return Command(p, PlayCommand::PauseResume, CommandTarget::NamedGroup(QStringLiteral("G"))); }},
        {"EndGroup", [](CFrameSet& p, CFrame*) { return Command(p, PlayCommand::End, CommandTarget::NamedGroup(QStringLiteral("G"))); }},
        {"StopGroup", [](CFrameSet& p, CFrame*) { return Command(p, PlayCommand::Stop, CommandTarget::NamedGroup(QStringLiteral("G"))); }},
        {"TogglePlay", [](CFrameSet& p, CFrame* o) { return Command(p, PlayCommand::Toggle, CommandTarget::WithGroup(o)); }},
        {"ToggleHotkey", [](CFrameSet& p, CFrame*) { return Command(p, PlayCommand::Toggle, CommandTarget::OfHotkey(3)); }},
    };
    for (const Case& command : commands) {
        SCOPED_TRACE(command.name);
        EXPECT_EQ(command.run(page, a), 0);
        for (CFrame* object : {a, b, c}) {
            EXPECT_TRUE(Playing(object));
            EXPECT_EQ(Paused(object), object == b);
            EXPECT_EQ(object->Ending, 0);
            EXPECT_EQ(object->EndTime, 0);  // shown indefinitely, never ended
        }
        EXPECT_EQ(device.Live.load(), 3);
    }
}

// ---------------------------------------------------------------------------
// Playback commands with the output on

class FrameSetPlayTest : public FrameSetTest {
protected:
    void SetUp() override { page.OutputOn = 1; }
};

TEST_F(FrameSetPlayTest, PlayAllStartsEveryObject) {
    CFrame* a = AddObject();
    CFrame* b = AddObject();
    EXPECT_EQ(Command(page, PlayCommand::Play, CommandTarget::Every()), 1);
    EXPECT_TRUE(Playing(a));
    EXPECT_TRUE(Playing(b));
    EXPECT_EQ(Command(page, PlayCommand::Play, CommandTarget::Every()), 0) << "both already play and do not repeat: nothing changes";
    EXPECT_TRUE(Playing(a));
    EXPECT_TRUE(Playing(b));
}

TEST_F(FrameSetPlayTest, PlayAllSkipsRemovedObjects) {
    CFrame* a = AddObject();
    CFrame* b = AddObject();
    std::vector<CFrame*> held;
    page.BeginSnapshot(held);
    page.Remove(b);
    Command(page, PlayCommand::Play, CommandTarget::Every());
    EXPECT_TRUE(Playing(a));
    EXPECT_FALSE(Playing(b));
    page.EndSnapshot();
}

TEST_F(FrameSetPlayTest, PlayAllExceptLeavesTheListedObjects) {
    CFrame* a = AddObject();
    CFrame* b = AddObject();
    CFrame* c = AddObject();
    EXPECT_EQ(Command(page, PlayCommand::Play, CommandTarget::Every({a, c})), 1);
    EXPECT_FALSE(Playing(a));
    EXPECT_TRUE(Playing(b));
    EXPECT_FALSE(Playing(c));
    EXPECT_EQ(Command(page, PlayCommand::Play, CommandTarget::Every({a, b, c})), 0);
    EXPECT_FALSE(Playing(a));
    EXPECT_FALSE(Playing(c));
}

TEST_F(FrameSetPlayTest, PauseAllTogglesEachPlayingObject) {
    CFrame* running = AddObject();
    CFrame* paused = AddObject();
    CFrame* stopped = AddObject();
    running->Play();
    paused->Play();
    paused->TogglePause();

    EXPECT_EQ(Command(page, PlayCommand::PauseResume, CommandTarget::Every()), 1);
    EXPECT_TRUE(Paused(running));
    EXPECT_FALSE(Paused(paused));
    EXPECT_TRUE(Playing(paused));
    EXPECT_FALSE(Paused(stopped));
    EXPECT_FALSE(Playing(stopped));

    EXPECT_EQ(Command(page, PlayCommand::PauseResume, CommandTarget::Every()), 1);
    EXPECT_FALSE(Paused(running));
    EXPECT_TRUE(Paused(paused));
    EXPECT_FALSE(Paused(stopped));
}

TEST_F(FrameSetPlayTest, PauseAllWithNothingPlayingChangesNothing) {
    CFrame* a = AddObject();
    EXPECT_EQ(Command(page, PlayCommand::PauseResume, CommandTarget::Every()), 0);
    EXPECT_FALSE(Paused(a));
}

TEST_F(FrameSetPlayTest, EndAllPlaysEveryPlayingObjectOut) {
    CFrame* a = AddObject();
    CFrame* b = AddObject();
    CFrame* idle = AddObject();
    for (CFrame* object : {a, b}) {
        object->OutEffectDuration = 300;
        object->Play();
    }
    b->TogglePause();

    Command(page, PlayCommand::End, CommandTarget::Every());
    for (CFrame* object : {a, b}) {
        EXPECT_EQ(object->Ending, 1);
        EXPECT_EQ(object->EndTime, 300);
        EXPECT_FALSE(Paused(object)) << "a paused object resumes to play out";
        EXPECT_TRUE(Playing(object));
    }
    EXPECT_EQ(idle->Ending, 0);
    EXPECT_EQ(idle->EndTime, 0);
    EXPECT_FALSE(Playing(idle));
}

TEST_F(FrameSetPlayTest, StopAllStopsAndReleasesTextures) {
    CFrame* a = AddObject();
    CFrame* b = AddObject();
    CFrame* c = AddObject();
    Command(page, PlayCommand::Play, CommandTarget::Every());
    b->TogglePause();
    PresentAll();
    ASSERT_EQ(device.Live.load(), 3);
    ASSERT_NE(a->BackgroundTexture, nullptr);

    EXPECT_EQ(page.StopAll(), 1);
    for (CFrame* object : {a, b, c}) {
        EXPECT_FALSE(Playing(object));
        EXPECT_FALSE(Paused(object));
        EXPECT_EQ(object->BackgroundTexture, nullptr);
        EXPECT_EQ(object->TextTexture, nullptr);
    }
    EXPECT_EQ(device.Live.load(), 0);
    EXPECT_EQ(page.StopAll(), 0) << "nothing plays any more";
}

// Whoever turns Playing off releases the textures: an object another thread is
// already stopping (Playing cleared, textures not yet released) is left to it, so
// no texture is released twice.
TEST_F(FrameSetPlayTest, StopAllLeavesAnObjectBeingStoppedElsewhereToThatThread) {
    CFrame* a = AddObject();
    CFrame* b = AddObject();
    a->Play();
    b->Play();
    Present(a);
    Present(b);
    ASSERT_EQ(device.Live.load(), 2);
    a->Playing.exchange(0);  // another thread's Stop, between its exchange and its release
    EXPECT_EQ(page.StopAll(), 1);
    EXPECT_EQ(b->BackgroundTexture, nullptr);
    EXPECT_NE(a->BackgroundTexture, nullptr);
    a->ReleaseTextures();  // that thread finishes its Stop
    EXPECT_EQ(device.Live.load(), 0);
}

// The render thread stops an object that finished only if the run it presented
// still plays: a Stop and a Play given between its frame and its stop keep the
// new run.
TEST_F(FrameSetPlayTest, RenderSideStopLeavesANewRunAlone) {
    CFrame* a = AddObject();
    ASSERT_TRUE(a->Play());
    ASSERT_TRUE(a->BeginPresent());
    const int presented = a->Run.load();
    a->EndPresent();
    ASSERT_TRUE(a->Stop());
    ASSERT_TRUE(a->Play());
    EXPECT_FALSE(a->StopRun(presented));
    EXPECT_TRUE(Playing(a));
    EXPECT_EQ(a->Stopping.load(), 0);
    EXPECT_TRUE(a->StopRun(a->Run.load()));
    EXPECT_FALSE(Playing(a));
}

// The render thread never waits for the text thread: its stop of an object that
// finished goes through while a text step of that object (a long rasterising) is
// still under way; the next Play is the one that waits for the step.
TEST_F(FrameSetPlayTest, RenderSideStopDoesNotWaitForTheTextThread) {
    CFrame* a = AddObject();
    ASSERT_TRUE(a->Play());
    Present(a);
    ASSERT_NE(a->BackgroundTexture, nullptr);
    a->TextBusy = 1;  // the text thread is in the middle of a step
    std::atomic<bool> stopped{false};
    std::thread render([&] {
        a->StopRun(a->Run.load());
        stopped = true;
    });
    // Waited for generously, so that a stop that waits for the step is seen as one
    // rather than hanging the suite.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!stopped.load() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(stopped.load()) << "the render thread's stop waited for the text step";
    a->TextBusy = 0;  // the step ends
    render.join();
    EXPECT_FALSE(Playing(a));
    EXPECT_EQ(a->BackgroundTexture, nullptr);
    EXPECT_EQ(device.Live.load(), 0);
}

// But a Stop from the command thread that comes after such a stop still returns
// only once the step has ended: the caller goes on to edit the object.
TEST_F(FrameSetPlayTest, ACommandStopAfterTheRenderSideStopWaitsForTheTextStep) {
    for (const bool batched : {false, true}) {
        SCOPED_TRACE(batched ? "StopObjects" : "Stop");
        CFrame* a = AddObject();
        ASSERT_TRUE(a->Play());
        a->TextBusy = 1;  // the text thread is in the middle of a step
        ASSERT_TRUE(a->StopRun(a->Run.load()));
        std::atomic<bool> stepEnded{false}, endedBeforeReturn{false};
        std::thread command([&] {
            if (batched) page.StopObjects({a});
            else a->Stop();
            endedBeforeReturn = stepEnded.load();
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        stepEnded = true;
        a->TextBusy = 0;  // the step ends
        command.join();
        EXPECT_TRUE(endedBeforeReturn.load()) << "the stop returned under the text step";
    }
}

// Every command reports the objects it changed, in the order it reached them: the
// named object first, then its group from the bottom up.
TEST_F(FrameSetPlayTest, CommandsReturnTheObjectsTheyChanged) {
    CFrame* a = AddObject(QStringLiteral("G"), 1);
    CFrame* b = AddObject();
    CFrame* c = AddObject(QStringLiteral("G"), 1);
    CFrame* removed = AddObject(QStringLiteral("G"));
    page.Remove(removed);
    for (CFrame* object : {a, c}) object->OutEffectDuration = 1000;  // going out for a while
    struct Step {
        PlayCommand command;
        CommandTarget target;
        std::vector<CFrame*> changed;
    };
    const Step steps[] = {
        {PlayCommand::Play, CommandTarget::WithGroup(c), {c, a}},
        {PlayCommand::Play, CommandTarget::WithGroup(c), {}},  // already playing, no repeat
        {PlayCommand::Play, CommandTarget::Every({a}), {b}},
        {PlayCommand::PauseResume, CommandTarget::One(b), {b}},
        {PlayCommand::Toggle, CommandTarget::OfHotkey(1), {a, c}},  // some play: those end
        {PlayCommand::End, CommandTarget::NamedGroup(QStringLiteral("G")), {}},  // already going out
        {PlayCommand::Stop, CommandTarget::Every(), {a, b, c}},
        {PlayCommand::Toggle, CommandTarget::One(b), {b}},  // stopped: it plays
        {PlayCommand::Play, CommandTarget::One(removed), {}},  // off the page (compared, never read)
        {PlayCommand::Stop, CommandTarget::Selected(), {}},  // the document resolves it
        {PlayCommand::Stop, CommandTarget::NamedGroup(QString()), {}},
        {PlayCommand::Stop, CommandTarget::OfHotkey(0), {}},
    };
    int k = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE(k++);
        EXPECT_EQ(ApplyCommand(page, step.command, step.target).changed, step.changed);
        PresentAll();
    }
}

TEST_F(FrameSetPlayTest, GroupCommandsReachExactNameMembersOnly) {
    CFrame* m1 = AddObject(QStringLiteral("News"));
    CFrame* m2 = AddObject(QStringLiteral("News"));
    CFrame* lower = AddObject(QStringLiteral("news"));
    CFrame* spaced = AddObject(QStringLiteral("News "));
    CFrame* none = AddObject();
    const std::vector<CFrame*> outsiders{lower, spaced, none};
    const CommandTarget news = CommandTarget::NamedGroup(QStringLiteral("News"));

    EXPECT_EQ(Command(page, PlayCommand::Play, news), 1);
    EXPECT_TRUE(Playing(m1));
    EXPECT_TRUE(Playing(m2));
    for (CFrame* object : outsiders) EXPECT_FALSE(Playing(object));

    for (CFrame* object : outsiders) object->Play();
    PresentAll();
    ASSERT_EQ(device.Live.load(), 5);

    EXPECT_EQ(Command(page, PlayCommand::PauseResume, news), 1);
    EXPECT_TRUE(Paused(m1));
    EXPECT_TRUE(Paused(m2));
    for (CFrame* object : outsiders) EXPECT_FALSE(Paused(object));

    Command(page, PlayCommand::End, news);
    EXPECT_EQ(m1->Ending, 1);
    EXPECT_EQ(m2->Ending, 1);
    EXPECT_FALSE(Paused(m1)) << "ending resumes a paused member";
    for (CFrame* object : outsiders) EXPECT_EQ(object->Ending, 0);

    EXPECT_EQ(Command(page, PlayCommand::Stop, news), 1);
    EXPECT_FALSE(Playing(m1));
    EXPECT_FALSE(Playing(m2));
    EXPECT_EQ(m1->BackgroundTexture, nullptr);
    EXPECT_EQ(m2->BackgroundTexture, nullptr);
    for (CFrame* object : outsiders) EXPECT_TRUE(Playing(object));
    EXPECT_EQ(device.Live.load(), 3);
}

TEST_F(FrameSetPlayTest, GroupCommandsWithEmptyOrUnknownNameDoNothing) {
    CFrame* a = AddObject();
    CFrame* b = AddObject(QStringLiteral("G"));
    for (const QString& name : {QString(), QStringLiteral("Nobody"), QStringLiteral("g")}) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_EQ(Command(page, PlayCommand::Play, CommandTarget::NamedGroup(name)), 0);
        EXPECT_FALSE(Playing(a));
        EXPECT_FALSE(Playing(b));
    }
    a->Play();
    b->Play();
    for (const QString& name : {QString(), QStringLiteral("Nobody"), QStringLiteral("g")}) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_EQ(Command(page, PlayCommand::PauseResume, CommandTarget::NamedGroup(name)), 0);
        EXPECT_EQ(Command(page, PlayCommand::End, CommandTarget::NamedGroup(name)), 0);
        EXPECT_EQ(Command(page, PlayCommand::Stop, CommandTarget::NamedGroup(name)), 0);
        for (CFrame* object : {a, b}) {
            EXPECT_TRUE(Playing(object));
            EXPECT_FALSE(Paused(object));
            EXPECT_EQ(object->Ending, 0);
        }
    }
}

TEST_F(FrameSetPlayTest, GroupCommandWithoutExceptionReachesAllMembers) {
    CFrame* a = AddObject(QStringLiteral("G"));
    CFrame* b = AddObject(QStringLiteral("G"));
    EXPECT_EQ(Command(page, PlayCommand::Play, CommandTarget::NamedGroup(QStringLiteral("G"))), 1);
    EXPECT_TRUE(Playing(a));
    EXPECT_TRUE(Playing(b));
}

TEST_F(FrameSetPlayTest, TogglePlayStartsAndEndsTheObjectWithItsGroup) {
    CFrame* a = AddObject(QStringLiteral("G"));
    CFrame* member = AddObject(QStringLiteral("G"));
    CFrame* other = AddObject(QStringLiteral("H"));

    EXPECT_EQ(Command(page, PlayCommand::Toggle, CommandTarget::WithGroup(a)), 1);
    EXPECT_TRUE(Playing(a));
    EXPECT_TRUE(Playing(member));
    EXPECT_FALSE(Playing(other));

    Command(page, PlayCommand::Toggle, CommandTarget::WithGroup(a));
    EXPECT_EQ(a->Ending, 1);
    EXPECT_EQ(member->Ending, 1);
    EXPECT_TRUE(Playing(a)) << "ended, not stopped: it plays out";
    EXPECT_FALSE(Playing(other));
    EXPECT_EQ(other->Ending, 0);
}

TEST_F(FrameSetPlayTest, TogglePlayOnObjectWithoutGroup) {
    CFrame* a = AddObject();
    CFrame* b = AddObject();
    EXPECT_EQ(Command(page, PlayCommand::Toggle, CommandTarget::WithGroup(a)), 1);
    EXPECT_TRUE(Playing(a));
    EXPECT_FALSE(Playing(b));
    EXPECT_EQ(Command(page, PlayCommand::Toggle, CommandTarget::WithGroup(nullptr)), 0);
}

TEST_F(FrameSetPlayTest, ToggleHotkeyEndsPlayingThenStartsAll) {
    CFrame* x = AddObject({}, 5);
    CFrame* y = AddObject({}, 5);
    CFrame* other = AddObject({}, 6);
    x->Play();

    EXPECT_EQ(Command(page, PlayCommand::Toggle, CommandTarget::OfHotkey(5)), 1);
    EXPECT_EQ(x->Ending, 1);
    EXPECT_FALSE(Playing(y)) << "the other object of the key is not started";
    EXPECT_FALSE(Playing(other));

    // x has no out effect: it finishes at the first output frame whose clock is at
    // least 1 ms, its second.
    Present(x);
    EXPECT_TRUE(Playing(x));
    Present(x);
    ASSERT_FALSE(Playing(x));

    EXPECT_EQ(Command(page, PlayCommand::Toggle, CommandTarget::OfHotkey(5)), 1);
    EXPECT_TRUE(Playing(x));
    EXPECT_TRUE(Playing(y));
    EXPECT_FALSE(Playing(other));
}

TEST_F(FrameSetPlayTest, ToggleHotkeyWithUnusedKeyDoesNothing) {
    CFrame* a = AddObject({}, 5);
    EXPECT_EQ(Command(page, PlayCommand::Toggle, CommandTarget::OfHotkey(9)), 0);
    EXPECT_FALSE(Playing(a));
}

TEST_F(FrameSetPlayTest, ToggleHotkeyIgnoresRemovedObjects) {
    CFrame* a = AddObject({}, 5);
    CFrame* b = AddObject({}, 5);
    std::vector<CFrame*> held;
    page.BeginSnapshot(held);
    page.Remove(b);
    EXPECT_EQ(Command(page, PlayCommand::Toggle, CommandTarget::OfHotkey(5)), 1);
    EXPECT_TRUE(Playing(a));
    EXPECT_FALSE(Playing(b));
    page.EndSnapshot();
}

// "Each returns 1 when it changed anything."
TEST_F(FrameSetPlayTest, CommandsReportAChange) {
    CFrame* a = AddObject(QStringLiteral("G"));
    CFrame* b = AddObject(QStringLiteral("G"));
    a->Play();
    b->Play();
    EXPECT_EQ(Command(page, PlayCommand::End, CommandTarget::Every()), 1) << "two playing objects were ended";
    EXPECT_EQ(Command(page, PlayCommand::End, CommandTarget::Every()), 0) << "both are already going out";

    CFrame* c = AddObject(QStringLiteral("H"));
    CFrame* d = AddObject(QStringLiteral("H"));
    c->Play();
    d->Play();
    EXPECT_EQ(Command(page, PlayCommand::End, CommandTarget::NamedGroup(QStringLiteral("H"))), 1) << "two members were ended";

    CFrame* e = AddObject();
    e->Play();
    EXPECT_EQ(Command(page, PlayCommand::Toggle, CommandTarget::WithGroup(e)), 1) << "a playing object was ended";
    EXPECT_EQ(e->Ending, 1);

    CFrame* f = AddObject();
    f->Play();
    f->TogglePause();
    EXPECT_EQ(Command(page, PlayCommand::Play, CommandTarget::Every({a, b, c, d, e})), 1) << "a paused object was resumed";
    EXPECT_FALSE(Paused(f));
}

TEST_F(FrameSetPlayTest, RemoveAllEmptiesThePage) {
    CFrame* a = AddObject();
    AddObject();
    Command(page, PlayCommand::Play, CommandTarget::Every());
    PresentAll();
    ASSERT_EQ(device.Live.load(), 2);
    {
        CPageSnapshot held(page);  // keeps a to look at
        page.RemoveAll();
        EXPECT_FALSE(Playing(a));
    }
    EXPECT_EQ(device.Live.load(), 0);
    EXPECT_EQ(page.LiveCount(), 0);
    EXPECT_TRUE(page.GroupNames().isEmpty());

    // The page is usable afterwards.
    CFrame* b = AddObject();
    EXPECT_EQ(Live(), (std::vector<CFrame*>{b}));
}

}  // namespace

// The order the operator sees is the order of live objects: an object waiting for
// removal under a held snapshot is not a neighbour to swap with.
TEST(FrameSetMove, SkipsObjectsWaitingForRemoval) {
    CFrameSet page;
    std::vector<CFrame*> made;
    for (int k = 0; k < 3; ++k) {
        auto object = std::make_unique<CFrame>();
        made.push_back(object.get());
        ASSERT_EQ(page.Add(object), 1);
    }
    std::vector<CFrame*> held;
    page.BeginSnapshot(held);
    page.Remove(made[1]);
    EXPECT_EQ(page.Move(made[0], true), 1);
    EXPECT_EQ(page.NumberOf(made[0]), 2);
    EXPECT_EQ(page.NumberOf(made[2]), 1);
    EXPECT_EQ(page.Move(made[0], true), 0) << "already the top live object";
    EXPECT_EQ(page.Move(made[1], false), 0) << "a removed object does not move";
    page.EndSnapshot();
}

// Ended, then cut before it finished: played again, it repeats as before.
TEST(FramePlay, PlayClearsAnEarlierEnd) {
    CFrame frame;
    frame.Repeat = 1;
    frame.Play();
    frame.End();
    ASSERT_EQ(frame.Ending, 1);
    frame.Stop();
    frame.Play();
    EXPECT_EQ(frame.Ending, 0);
}
