// The document: its object commands, page loading, reset, undo and redo commands,
// seen through a recording host and a recording message presenter; and the
// placement rule the canvas and cloning share.
#include "app/MainDoc.h"
#include "base/Translate.h"
#include "core/PageFile.h"
#include "core/Placement.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

const QString TooManyText =
    QStringLiteral("Error: Too many objects!\n\nPlease delete some objects if you want to add more.");
const QString DeleteQuestion = QStringLiteral("Are you sure want to delete selected object?");

// Mode 0: a 1920 x 1080 page with a 20000 µs frame period.
constexpr int Mode = 0;
constexpr int PageW = 1920;
constexpr int PageH = 1080;
constexpr int ModeFramePeriod = 20000;

class RecordingPresenter : public IMessagePresenter {
public:
    struct Message {
        QString text;
        unsigned flags;
    };
    RecordingPresenter() { previous_ = CTranslate::Global().SetPresenter(this); }
    ~RecordingPresenter() override { CTranslate::Global().SetPresenter(previous_); }
    int Show(const QString& text, unsigned flags) override {
        messages.push_back({text, flags});
        return answer;
    }

    int answer = IdYes;
    std::vector<Message> messages;

private:
    IMessagePresenter* previous_ = nullptr;
};

class FakeHost : public IDocumentHost {
public:
    void UpdateViews(int kind) override { updates.push_back(kind); }
    void SelectionChanged(CFrame* object) override { selections.push_back(object); }
    PlacementRule Placement(int pageWidth, int pageHeight) const override {
        return PlacementRule{pageWidth, pageHeight, snap, gridStep};
    }
    void Forget() {
        updates.clear();
        selections.clear();
    }

    bool snap = false;
    int gridStep = 8;
    std::vector<int> updates;
    std::vector<CFrame*> selections;
};

// Playback state of one object, for before/after comparisons.
struct PlayState {
    int playing = 0;
    int paused = 0;
    int ending = 0;
    bool operator==(const PlayState&) const = default;
};

PlayState StateOf(const CFrame* object) {
    return {object->Playing.load(), object->Paused.load(), object->Ending};
}

std::vector<CFrame*> LiveObjects(CFrameSet& page) {
    CPageSnapshot snapshot(page);
    return snapshot.list;
}

std::vector<int> LiveIds(CFrameSet& page) {
    std::vector<int> ids;
    for (CFrame* object : LiveObjects(page)) ids.push_back(object->Id);
    return ids;
}

std::vector<CRect> LiveRects(CFrameSet& page) {
    std::vector<CRect> rects;
    for (CFrame* object : LiveObjects(page)) rects.push_back(object->Rect);
    return rects;
}

QStringList LiveGroups(CFrameSet& page) {
    QStringList groups;
    for (CFrame* object : LiveObjects(page)) groups << object->Group;
    return groups;
}

class DocumentTest : public ::testing::Test {
protected:
    // An object put straight onto the page (no command, no history).
    CFrame* Put(CRect rect, const QString& group = QString(), int locked = 0) {
        auto object = std::make_unique<CFrame>();
        object->Rect = rect;
        object->Group = group;
        object->Locked = locked;
        CFrame* raw = object.get();
        EXPECT_EQ(doc.Page.Add(object), 1);
        return raw;
    }

    // Puts plain objects until the page holds count live objects.
    void FillTo(int count) {
        while (doc.Page.LiveCount() < count) Put({0, 0, 16, 16});
    }

    // Writes a page file holding objects with these rectangles and groups.
    QString WritePageFile(const QString& name, const std::vector<CRect>& rects,
                          const QStringList& groups = {}) {
        std::vector<std::unique_ptr<CFrame>> owned;
        std::vector<const CFrame*> list;
        for (size_t i = 0; i < rects.size(); ++i) {
            owned.push_back(std::make_unique<CFrame>());
            owned.back()->Rect = rects[i];
            if (int(i) < groups.size()) owned.back()->Group = groups[int(i)];
            list.push_back(owned.back().get());
        }
        const QString path = dir.filePath(name);
        EXPECT_TRUE(PageFile::WritePage(path, Mode, 96, list, nullptr));
        return path;
    }

    void ExpectReset() {
        EXPECT_EQ(doc.Selected, nullptr);
        EXPECT_EQ(doc.SelectedNumber, 0);
        EXPECT_TRUE(doc.Undo.UndoStack.empty());
        EXPECT_TRUE(doc.Undo.RedoStack.empty());
        EXPECT_EQ(doc.Clipboard, nullptr);
        EXPECT_TRUE(doc.PathName.isEmpty());
        EXPECT_EQ(doc.Title, QStringLiteral("Untitled"));
        EXPECT_FALSE(doc.Modified);
        ASSERT_FALSE(host.updates.empty());
        EXPECT_EQ(host.updates.back(), UpdateGeneral);
    }

    QTemporaryDir dir;
    RecordingPresenter presenter;
    FakeHost host;
    CMainDoc doc{host, Mode};
};

// ---------------------------------------------------------------------------------
// A new document

TEST_F(DocumentTest, StartsEmptyUntitledAndUnmodified) {
    EXPECT_EQ(doc.Page.LiveCount(), 0);
    EXPECT_EQ(doc.Selected, nullptr);
    EXPECT_EQ(doc.SelectedNumber, 0);
    EXPECT_EQ(doc.Clipboard, nullptr);
    EXPECT_EQ(doc.Title, QStringLiteral("Untitled"));
    EXPECT_FALSE(doc.Modified);
    EXPECT_FALSE(doc.Undo.CanUndo());
    EXPECT_EQ(doc.PageWidth(), PageW);
    EXPECT_EQ(doc.PageHeight(), PageH);
}

// ---------------------------------------------------------------------------------
// Add simple object

TEST_F(DocumentTest, AddSimpleObjectAddsSelectsRecordsAndModifies) {
    doc.AddSimpleObject();
    const auto live = LiveObjects(doc.Page);
    ASSERT_EQ(live.size(), 1u);
    CFrame* added = live[0];
    EXPECT_EQ(added->Rect, (CRect{32, 32, 288, 160}));
    EXPECT_EQ(added->FramePeriod, ModeFramePeriod);
    EXPECT_EQ(doc.Selected, added);
    EXPECT_EQ(doc.SelectedNumber, 1);
    ASSERT_FALSE(host.selections.empty());
    EXPECT_EQ(host.selections.back(), added);
    EXPECT_FALSE(host.updates.empty());
    EXPECT_TRUE(doc.Modified);
    ASSERT_EQ(doc.Undo.UndoStack.size(), 1u);
    EXPECT_EQ(doc.Undo.UndoStack[0]->Type, ObjectAdded);
    EXPECT_EQ(doc.Undo.UndoStack[0]->ObjectId, added->Id);
    EXPECT_TRUE(presenter.messages.empty());

    doc.AddSimpleObject();
    const auto two = LiveObjects(doc.Page);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[0], added);
    EXPECT_NE(two[1]->Id, added->Id);
    EXPECT_EQ(doc.Selected, two[1]);
    EXPECT_EQ(doc.SelectedNumber, 2);
}

TEST_F(DocumentTest, UndoOfAnAddedObjectRemovesItAndSelectsNothing) {
    doc.AddSimpleObject();
    const int firstId = doc.Selected->Id;
    doc.AddSimpleObject();
    doc.Modified = false;
    host.Forget();

    doc.DoUndo();
    EXPECT_EQ(LiveIds(doc.Page), std::vector<int>{firstId});
    EXPECT_EQ(doc.Selected, nullptr);
    EXPECT_EQ(doc.SelectedNumber, 0);
    ASSERT_FALSE(host.selections.empty());
    EXPECT_EQ(host.selections.back(), nullptr);
    EXPECT_TRUE(doc.Modified);
    EXPECT_EQ(doc.Undo.UndoStack.size(), 1u);
    EXPECT_EQ(doc.Undo.RedoStack.size(), 1u);
}

// ---------------------------------------------------------------------------------
// The 256-object limit

struct FullPageCase {
    const char* name;
    void (CMainDoc::*command)();
};

class FullPageTest : public DocumentTest, public ::testing::WithParamInterface<FullPageCase> {};

TEST_P(FullPageTest, ShowsTooManyObjectsOnceAndChangesNothing) {
    FillTo(CFrameSet::MaxObjects - 1);
    doc.AddSimpleObject();  // the 256th, selected and recorded
    ASSERT_EQ(doc.Page.LiveCount(), CFrameSet::MaxObjects);
    CFrame* selected = doc.Selected;
    ASSERT_NE(selected, nullptr);
    const auto ids = LiveIds(doc.Page);
    const size_t undoCount = doc.Undo.UndoStack.size();
    doc.Modified = false;
    host.Forget();

    (doc.*GetParam().command)();

    ASSERT_EQ(presenter.messages.size(), 1u);
    EXPECT_EQ(presenter.messages[0].text, TooManyText);
    EXPECT_TRUE(presenter.messages[0].flags & MbIconError);
    EXPECT_EQ(LiveIds(doc.Page), ids);
    EXPECT_EQ(doc.Selected, selected);
    EXPECT_EQ(doc.SelectedNumber, CFrameSet::MaxObjects);
    EXPECT_EQ(doc.Undo.UndoStack.size(), undoCount);
    EXPECT_FALSE(doc.Modified);
    EXPECT_TRUE(host.selections.empty());
    EXPECT_TRUE(host.updates.empty());
}

INSTANTIATE_TEST_SUITE_P(Commands, FullPageTest,
                         ::testing::Values(FullPageCase{"AddSimpleObject", &CMainDoc::AddSimpleObject},
                                           FullPageCase{"Clone", &CMainDoc::Clone}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DocumentTest, AddObjectOnAFullPageReturnsFalseAndChangesNothing) {
    FillTo(CFrameSet::MaxObjects);
    const auto ids = LiveIds(doc.Page);
    auto object = std::make_unique<CFrame>();
    EXPECT_FALSE(doc.AddObject(std::move(object)));
    EXPECT_EQ(LiveIds(doc.Page), ids);
    EXPECT_EQ(doc.Selected, nullptr);
    EXPECT_TRUE(doc.Undo.UndoStack.empty());
    EXPECT_FALSE(doc.Modified);
}

TEST_F(DocumentTest, PasteOnAFullPageChangesNothingAndShowsNothing) {
    CFrame* source = Put({10, 10, 50, 50});
    doc.Select(source);
    doc.Copy();
    ASSERT_NE(doc.Clipboard, nullptr);
    FillTo(CFrameSet::MaxObjects);
    const auto ids = LiveIds(doc.Page);
    host.Forget();

    doc.Paste();

    EXPECT_EQ(LiveIds(doc.Page), ids);
    EXPECT_EQ(doc.Selected, source);
    EXPECT_EQ(doc.SelectedNumber, 1);
    EXPECT_TRUE(presenter.messages.empty());
    EXPECT_TRUE(host.selections.empty());
    EXPECT_TRUE(host.updates.empty());
    EXPECT_NE(doc.Clipboard, nullptr);
    EXPECT_FALSE(doc.Modified);
}

// ---------------------------------------------------------------------------------
// Clone

struct CloneCase {
    const char* name;
    CRect original;
    bool snap;
    int gridStep;
    CRect expected;
};

class ClonePlacementTest : public DocumentTest, public ::testing::WithParamInterface<CloneCase> {};

TEST_P(ClonePlacementTest, PlacesTheCopy) {
    const CloneCase& c = GetParam();
    host.snap = c.snap;
    host.gridStep = c.gridStep;
    CFrame* original = Put(c.original);
    doc.Select(original);

    doc.Clone();

    const auto live = LiveObjects(doc.Page);
    ASSERT_EQ(live.size(), 2u);
    EXPECT_EQ(live[0], original);
    EXPECT_EQ(original->Rect, c.original);
    EXPECT_EQ(live[1]->Rect, c.expected);
    EXPECT_EQ(doc.Selected, live[1]);
    EXPECT_EQ(doc.SelectedNumber, 2);
}

INSTANTIATE_TEST_SUITE_P(
    Rule, ClonePlacementTest,
    ::testing::Values(
        CloneCase{"FitsMovesRightAndDown", {100, 100, 300, 200}, false, 8, {116, 116, 316, 216}},
        CloneCase{"JustFitsAtTheCorner", {100, 100, PageW - 16, PageH - 16}, false, 8,
                  {116, 116, PageW, PageH}},
        CloneCase{"AtTheRightEdgeMovesLeft", {1620, 100, PageW, 200}, false, 8, {1604, 116, 1904, 216}},
        CloneCase{"AtTheBottomEdgeMovesUp", {100, 980, 300, PageH}, false, 8, {116, 964, 316, 1064}},
        CloneCase{"FullWidthStaysHorizontally", {0, 100, PageW, 200}, false, 8, {0, 116, PageW, 216}},
        CloneCase{"FullHeightStaysVertically", {100, 0, 200, PageH}, false, 8, {116, 0, 216, PageH}},
        CloneCase{"SmallAtTheLeftEdgeMovesRight", {0, 0, 16, 16}, false, 8, {16, 16, 32, 32}},
        // Moved to 117,115,317,219, then snapped to 8: 120,112,320,216.
        CloneCase{"SnappedToGrid8", {101, 99, 301, 203}, true, 8, {120, 112, 320, 216}},
        // Moved to 119,116,216,166, then snapped to 10: 120,120,220,170.
        CloneCase{"SnappedToGrid10", {103, 100, 200, 150}, true, 10, {120, 120, 220, 170}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DocumentTest, CloneIsANewUnlockedUnlinkedObjectRecordedAsAdded) {
    CFrame* original = Put({100, 100, 300, 200}, QStringLiteral("Lower"), 1);
    original->MaintainLink = 1;
    original->ImageFileName = QStringLiteral("/tmp/picture.png");
    original->Hotkey = 3;
    doc.Select(original);
    host.Forget();

    doc.Clone();

    CFrame* clone = doc.Selected;
    ASSERT_NE(clone, nullptr);
    ASSERT_NE(clone, original);
    EXPECT_NE(clone->Id, original->Id);
    EXPECT_EQ(clone->Locked, 0);
    EXPECT_EQ(clone->MaintainLink, 0);
    EXPECT_TRUE(clone->ImageFileName.isEmpty());
    EXPECT_EQ(clone->Group, QStringLiteral("Lower"));
    EXPECT_EQ(clone->Hotkey, 3);
    EXPECT_EQ(clone->FramePeriod, ModeFramePeriod);
    EXPECT_EQ(original->Locked, 1);
    EXPECT_EQ(original->MaintainLink, 1);
    ASSERT_EQ(doc.Undo.UndoStack.size(), 1u);
    EXPECT_EQ(doc.Undo.UndoStack[0]->Type, ObjectAdded);
    EXPECT_EQ(doc.Undo.UndoStack[0]->ObjectId, clone->Id);
    EXPECT_TRUE(doc.Modified);
    ASSERT_FALSE(host.selections.empty());
    EXPECT_EQ(host.selections.back(), clone);
    EXPECT_TRUE(presenter.messages.empty());
}

TEST_F(DocumentTest, CloneWithoutSelectionDoesNothing) {
    Put({100, 100, 300, 200});
    const auto ids = LiveIds(doc.Page);
    doc.Clone();
    EXPECT_EQ(LiveIds(doc.Page), ids);
    EXPECT_TRUE(doc.Undo.UndoStack.empty());
    EXPECT_FALSE(doc.Modified);
    EXPECT_TRUE(presenter.messages.empty());
}

// ---------------------------------------------------------------------------------
// Cut, copy, paste

TEST_F(DocumentTest, CutMovesACopyToTheClipboardAndUndoPutsItBack) {
    CFrame* bottom = Put({0, 0, 100, 100});
    CFrame* middle = Put({200, 210, 400, 300}, QStringLiteral("Middle"));
    CFrame* top = Put({500, 500, 600, 600});
    const int middleId = middle->Id;
    doc.Select(middle);
    host.Forget();

    doc.Cut();

    ASSERT_NE(doc.Clipboard, nullptr);
    EXPECT_EQ(doc.Clipboard->Rect, (CRect{200, 210, 400, 300}));
    EXPECT_EQ(doc.Clipboard->Group, QStringLiteral("Middle"));
    EXPECT_EQ(LiveObjects(doc.Page), (std::vector<CFrame*>{bottom, top}));
    EXPECT_EQ(doc.Selected, nullptr);
    EXPECT_EQ(doc.SelectedNumber, 0);
    ASSERT_FALSE(host.selections.empty());
    EXPECT_EQ(host.selections.back(), nullptr);
    EXPECT_TRUE(doc.Modified);
    ASSERT_EQ(doc.Undo.UndoStack.size(), 1u);
    EXPECT_EQ(doc.Undo.UndoStack[0]->Type, ObjectDeleted);
    EXPECT_EQ(doc.Undo.UndoStack[0]->ObjectId, middleId);

    doc.DoUndo();

    const auto live = LiveObjects(doc.Page);
    ASSERT_EQ(live.size(), 3u);
    EXPECT_EQ(live[0], bottom);
    EXPECT_EQ(live[2], top);
    EXPECT_EQ(live[1]->Id, middleId);
    EXPECT_EQ(live[1]->Rect, (CRect{200, 210, 400, 300}));
    EXPECT_EQ(doc.Selected, live[1]);
    EXPECT_EQ(doc.SelectedNumber, 2);
    EXPECT_NE(doc.Clipboard, nullptr);
}

TEST_F(DocumentTest, CutReplacesTheFormerClipboard) {
    CFrame* first = Put({0, 0, 100, 100});
    CFrame* second = Put({300, 300, 400, 400});
    doc.Select(first);
    doc.Copy();
    ASSERT_NE(doc.Clipboard, nullptr);
    EXPECT_EQ(doc.Clipboard->Rect, first->Rect);
    doc.Select(second);
    doc.Cut();
    ASSERT_NE(doc.Clipboard, nullptr);
    EXPECT_EQ(doc.Clipboard->Rect, (CRect{300, 300, 400, 400}));
}

TEST_F(DocumentTest, CutWithoutSelectionDoesNothing) {
    Put({0, 0, 100, 100});
    doc.Cut();
    EXPECT_EQ(doc.Page.LiveCount(), 1);
    EXPECT_EQ(doc.Clipboard, nullptr);
    EXPECT_TRUE(doc.Undo.UndoStack.empty());
    EXPECT_FALSE(doc.Modified);
}

TEST_F(DocumentTest, PasteAddsACopyOnTopWithoutHistoryAndMarksThePageModified) {
    CFrame* source = Put({40, 50, 140, 150}, QStringLiteral("G"));
    Put({0, 0, 10, 10});
    doc.Select(source);
    doc.Copy();
    ASSERT_NE(doc.Clipboard, nullptr);
    EXPECT_EQ(doc.Page.LiveCount(), 2);  // copying adds nothing
    host.Forget();

    doc.Paste();

    auto live = LiveObjects(doc.Page);
    ASSERT_EQ(live.size(), 3u);
    CFrame* pasted = live[2];
    EXPECT_NE(pasted, source);
    EXPECT_NE(pasted->Id, source->Id);
    EXPECT_EQ(pasted->Rect, (CRect{40, 50, 140, 150}));
    EXPECT_EQ(pasted->Group, QStringLiteral("G"));
    EXPECT_EQ(pasted->FramePeriod, ModeFramePeriod);
    EXPECT_EQ(doc.Selected, pasted);
    EXPECT_EQ(doc.SelectedNumber, 3);
    ASSERT_FALSE(host.selections.empty());
    EXPECT_EQ(host.selections.back(), pasted);
    EXPECT_TRUE(doc.Undo.UndoStack.empty());
    EXPECT_TRUE(doc.Modified) << "closing must offer to save the pasted object";

    doc.Paste();  // the clipboard stays for further pastes
    live = LiveObjects(doc.Page);
    ASSERT_EQ(live.size(), 4u);
    EXPECT_NE(live[3]->Id, pasted->Id);
    EXPECT_EQ(doc.Selected, live[3]);
    EXPECT_EQ(doc.SelectedNumber, 4);
}

TEST_F(DocumentTest, CopyWithoutSelectionEmptiesTheClipboard) {
    CFrame* source = Put({40, 50, 140, 150});
    doc.Select(source);
    doc.Copy();
    ASSERT_NE(doc.Clipboard, nullptr);
    doc.Select(nullptr);
    doc.Copy();
    EXPECT_EQ(doc.Clipboard, nullptr);
    doc.Paste();
    EXPECT_EQ(doc.Page.LiveCount(), 1);
    EXPECT_EQ(doc.Selected, nullptr);
}

// ---------------------------------------------------------------------------------
// Delete

TEST_F(DocumentTest, DeleteAnsweredNoChangesNothing) {
    CFrame* object = Put({0, 0, 100, 100});
    doc.Select(object);
    presenter.answer = IdNo;
    host.Forget();

    doc.Delete();

    ASSERT_EQ(presenter.messages.size(), 1u);
    EXPECT_EQ(presenter.messages[0].text, DeleteQuestion);
    EXPECT_EQ(presenter.messages[0].flags & 0x0F, unsigned(MbYesNo));
    EXPECT_EQ(LiveObjects(doc.Page), std::vector<CFrame*>{object});
    EXPECT_EQ(doc.Selected, object);
    EXPECT_EQ(doc.SelectedNumber, 1);
    EXPECT_TRUE(doc.Undo.UndoStack.empty());
    EXPECT_FALSE(doc.Modified);
    EXPECT_TRUE(host.selections.empty());
}

TEST_F(DocumentTest, DeleteAnsweredYesRemovesAndRecords) {
    CFrame* below = Put({0, 0, 100, 100});
    CFrame* object = Put({200, 200, 300, 300});
    const int id = object->Id;
    doc.Select(object);
    presenter.answer = IdYes;

    doc.Delete();

    ASSERT_EQ(presenter.messages.size(), 1u);
    EXPECT_EQ(presenter.messages[0].text, DeleteQuestion);
    EXPECT_EQ(LiveObjects(doc.Page), std::vector<CFrame*>{below});
    EXPECT_EQ(doc.Selected, nullptr);
    EXPECT_EQ(doc.SelectedNumber, 0);
    EXPECT_TRUE(doc.Modified);
    ASSERT_EQ(doc.Undo.UndoStack.size(), 1u);
    EXPECT_EQ(doc.Undo.UndoStack[0]->Type, ObjectDeleted);
    EXPECT_EQ(doc.Undo.UndoStack[0]->ObjectId, id);
    EXPECT_EQ(doc.Undo.UndoStack[0]->PreviousId, below->Id);
}

TEST_F(DocumentTest, DeleteWithoutSelectionAsksNothing) {
    Put({0, 0, 100, 100});
    doc.Delete();
    EXPECT_TRUE(presenter.messages.empty());
    EXPECT_EQ(doc.Page.LiveCount(), 1);
    EXPECT_FALSE(doc.Modified);
}

// ---------------------------------------------------------------------------------
// Move up and down, lock

TEST_F(DocumentTest, MoveUpAndDownReorderAndRecount) {
    CFrame* a = Put({0, 0, 10, 10});
    CFrame* b = Put({0, 0, 20, 20});
    CFrame* c = Put({0, 0, 30, 30});

    doc.Select(a);
    host.Forget();
    doc.MoveDown();  // already at the bottom
    EXPECT_EQ(LiveObjects(doc.Page), (std::vector<CFrame*>{a, b, c}));
    EXPECT_EQ(doc.SelectedNumber, 1);
    EXPECT_FALSE(doc.Modified);
    EXPECT_TRUE(host.updates.empty());

    doc.MoveUp();
    EXPECT_EQ(LiveObjects(doc.Page), (std::vector<CFrame*>{b, a, c}));
    EXPECT_EQ(doc.Selected, a);
    EXPECT_EQ(doc.SelectedNumber, 2);
    EXPECT_TRUE(doc.Modified);
    EXPECT_FALSE(host.updates.empty());

    doc.MoveUp();
    EXPECT_EQ(LiveObjects(doc.Page), (std::vector<CFrame*>{b, c, a}));
    EXPECT_EQ(doc.SelectedNumber, 3);

    doc.Modified = false;
    host.Forget();
    doc.MoveUp();  // already at the top
    EXPECT_EQ(LiveObjects(doc.Page), (std::vector<CFrame*>{b, c, a}));
    EXPECT_EQ(doc.SelectedNumber, 3);
    EXPECT_FALSE(doc.Modified);
    EXPECT_TRUE(host.updates.empty());

    doc.MoveDown();
    EXPECT_EQ(LiveObjects(doc.Page), (std::vector<CFrame*>{b, a, c}));
    EXPECT_EQ(doc.SelectedNumber, 2);
    EXPECT_TRUE(doc.Modified);

    EXPECT_TRUE(doc.Undo.UndoStack.empty());  // reordering makes no history
}

TEST_F(DocumentTest, MoveWithoutSelectionDoesNothing) {
    CFrame* a = Put({0, 0, 10, 10});
    CFrame* b = Put({0, 0, 20, 20});
    doc.MoveUp();
    doc.MoveDown();
    EXPECT_EQ(LiveObjects(doc.Page), (std::vector<CFrame*>{a, b}));
    EXPECT_FALSE(doc.Modified);
}

TEST_F(DocumentTest, LockToggles) {
    CFrame* object = Put({0, 0, 10, 10});
    doc.Lock();  // no selection
    EXPECT_EQ(object->Locked, 0);
    EXPECT_FALSE(doc.Modified);

    doc.Select(object);
    host.Forget();
    doc.Lock();
    EXPECT_EQ(object->Locked, 1);
    EXPECT_TRUE(doc.Modified);
    EXPECT_FALSE(host.updates.empty());
    doc.Modified = false;
    doc.Lock();
    EXPECT_EQ(object->Locked, 0);
    EXPECT_TRUE(doc.Modified);
    EXPECT_TRUE(doc.Undo.UndoStack.empty());
}

// ---------------------------------------------------------------------------------
// Playback of the selected object and its group

class ObjectPlaybackTest : public DocumentTest {
protected:
    void SetUp() override {
        selected = Put({0, 0, 100, 100}, QStringLiteral("News"));
        member = Put({0, 100, 100, 200}, QStringLiteral("News"));
        otherCase = Put({0, 200, 100, 300}, QStringLiteral("news"));
        ungrouped = Put({0, 300, 100, 400});
        doc.Select(selected);
    }

    std::vector<PlayState> States() {
        return {StateOf(selected), StateOf(member), StateOf(otherCase), StateOf(ungrouped)};
    }

    void PlayAllDirectly() {
        doc.Page.OutputOn = 1;
        for (CFrame* object : {selected, member, otherCase, ungrouped}) object->Play();
    }

    CFrame* selected = nullptr;
    CFrame* member = nullptr;
    CFrame* otherCase = nullptr;
    CFrame* ungrouped = nullptr;
};

struct PlaybackCommand {
    const char* name;
    PlayCommand command;
    CommandTarget target;
};

// The selection's commands first, then the whole page's.
const PlaybackCommand ObjectCommands[] = {
    {"play selection", PlayCommand::Play, CommandTarget::Selected()},
    {"pause selection", PlayCommand::PauseResume, CommandTarget::Selected()},
    {"end selection", PlayCommand::End, CommandTarget::Selected()},
    {"stop selection", PlayCommand::Stop, CommandTarget::Selected()},
    {"toggle selection", PlayCommand::Toggle, CommandTarget::Selected()},
    {"play all", PlayCommand::Play, CommandTarget::Every()},
    {"pause all", PlayCommand::PauseResume, CommandTarget::Every()},
    {"end all", PlayCommand::End, CommandTarget::Every()},
    {"stop all", PlayCommand::Stop, CommandTarget::Every()},
};

TEST_F(ObjectPlaybackTest, OutputOffChangesNothingOnStoppedObjects) {
    for (const PlaybackCommand& c : ObjectCommands) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(doc.Command(c.command, c.target).Changed());
        EXPECT_EQ(States(), std::vector<PlayState>(4, PlayState{}));
    }
    EXPECT_TRUE(presenter.messages.empty());
}

TEST_F(ObjectPlaybackTest, OutputOffChangesNothingOnPlayingObjects) {
    PlayAllDirectly();
    member->TogglePause();
    doc.Page.OutputOn = 0;
    const auto before = States();
    ASSERT_EQ(before[0], (PlayState{1, 0, 0}));
    ASSERT_EQ(before[1], (PlayState{1, 1, 0}));
    for (const PlaybackCommand& c : ObjectCommands) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(doc.Command(c.command, c.target).Changed());
        EXPECT_EQ(States(), before);
    }
}

TEST_F(ObjectPlaybackTest, PlayObjectPlaysTheSelectedObjectAndItsGroup) {
    doc.Page.OutputOn = 1;
    doc.Command(PlayCommand::Play, CommandTarget::Selected());
    EXPECT_EQ(StateOf(selected), (PlayState{1, 0, 0}));
    EXPECT_EQ(StateOf(member), (PlayState{1, 0, 0}));
    EXPECT_EQ(StateOf(otherCase), PlayState{});
    EXPECT_EQ(StateOf(ungrouped), PlayState{});
}

TEST_F(ObjectPlaybackTest, PauseObjectTogglesTheSelectedObjectAndItsGroup) {
    PlayAllDirectly();
    doc.Command(PlayCommand::PauseResume, CommandTarget::Selected());
    EXPECT_EQ(StateOf(selected), (PlayState{1, 1, 0}));
    EXPECT_EQ(StateOf(member), (PlayState{1, 1, 0}));
    EXPECT_EQ(StateOf(otherCase), (PlayState{1, 0, 0}));
    EXPECT_EQ(StateOf(ungrouped), (PlayState{1, 0, 0}));
    doc.Command(PlayCommand::PauseResume, CommandTarget::Selected());
    EXPECT_EQ(StateOf(selected), (PlayState{1, 0, 0}));
    EXPECT_EQ(StateOf(member), (PlayState{1, 0, 0}));
}

TEST_F(ObjectPlaybackTest, PauseObjectLeavesAStoppedSelectionStopped) {
    doc.Page.OutputOn = 1;
    member->Play();
    doc.Command(PlayCommand::PauseResume, CommandTarget::Selected());
    EXPECT_EQ(StateOf(selected), PlayState{});
    EXPECT_EQ(StateOf(member), (PlayState{1, 1, 0}));
}

TEST_F(ObjectPlaybackTest, EndObjectEndsTheSelectedObjectAndItsGroup) {
    PlayAllDirectly();
    doc.Command(PlayCommand::End, CommandTarget::Selected());
    EXPECT_EQ(StateOf(selected), (PlayState{1, 0, 1}));
    EXPECT_EQ(StateOf(member), (PlayState{1, 0, 1}));
    EXPECT_EQ(StateOf(otherCase), (PlayState{1, 0, 0}));
    EXPECT_EQ(StateOf(ungrouped), (PlayState{1, 0, 0}));
}

TEST_F(ObjectPlaybackTest, StopObjectStopsTheSelectedObjectAndItsGroup) {
    PlayAllDirectly();
    doc.Command(PlayCommand::Stop, CommandTarget::Selected());
    EXPECT_EQ(StateOf(selected), PlayState{});
    EXPECT_EQ(StateOf(member), PlayState{});
    EXPECT_EQ(StateOf(otherCase), (PlayState{1, 0, 0}));
    EXPECT_EQ(StateOf(ungrouped), (PlayState{1, 0, 0}));
}

TEST_F(ObjectPlaybackTest, UngroupedSelectionAffectsOnlyItself) {
    doc.Select(ungrouped);
    doc.Page.OutputOn = 1;
    doc.Command(PlayCommand::Play, CommandTarget::Selected());
    EXPECT_EQ(States(), (std::vector<PlayState>{{}, {}, {}, {1, 0, 0}}));
    doc.Command(PlayCommand::Stop, CommandTarget::Selected());
    EXPECT_EQ(States(), std::vector<PlayState>(4, PlayState{}));
}

TEST_F(ObjectPlaybackTest, ObjectCommandsWithoutSelectionDoNothing) {
    PlayAllDirectly();
    doc.Select(nullptr);
    const auto before = States();
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(ObjectCommands[i].name);
        EXPECT_FALSE(doc.Command(ObjectCommands[i].command, ObjectCommands[i].target).Changed());
        EXPECT_EQ(States(), before);
    }
}

TEST_F(ObjectPlaybackTest, AllCommandsActOnEveryObject) {
    doc.Page.OutputOn = 1;
    doc.Command(PlayCommand::Play, CommandTarget::Every());
    EXPECT_EQ(States(), std::vector<PlayState>(4, PlayState{1, 0, 0}));
    doc.Command(PlayCommand::PauseResume, CommandTarget::Every());
    EXPECT_EQ(States(), std::vector<PlayState>(4, PlayState{1, 1, 0}));
    doc.Command(PlayCommand::PauseResume, CommandTarget::Every());
    EXPECT_EQ(States(), std::vector<PlayState>(4, PlayState{1, 0, 0}));
    doc.Command(PlayCommand::End, CommandTarget::Every());
    EXPECT_EQ(States(), std::vector<PlayState>(4, PlayState{1, 0, 1}));
    doc.Command(PlayCommand::Stop, CommandTarget::Every());
    for (CFrame* object : {selected, member, otherCase, ungrouped}) EXPECT_EQ(object->Playing.load(), 0);
}

TEST_F(ObjectPlaybackTest, TogglePlayStartsAndEndsTheGroup) {
    doc.Page.OutputOn = 1;
    doc.Command(PlayCommand::Toggle, CommandTarget::WithGroup(selected));
    EXPECT_EQ(States(), (std::vector<PlayState>{{1, 0, 0}, {1, 0, 0}, {}, {}}));
    doc.Command(PlayCommand::Toggle, CommandTarget::WithGroup(selected));
    EXPECT_EQ(States(), (std::vector<PlayState>{{1, 0, 1}, {1, 0, 1}, {}, {}}));
}

// ---------------------------------------------------------------------------------
// Loading and adding page files

TEST_F(DocumentTest, LoadPageFileReplacingAllReplacesEveryObject) {
    const QString path = WritePageFile("page.corvane", {{10, 10, 110, 110}, {20, 20, 120, 120}});
    doc.Page.OutputOn = 1;
    CFrame* playing = Put({0, 0, 50, 50});
    playing->Play();
    Put({0, 0, 60, 60}, QString(), 1);
    Put({0, 0, 70, 70});
    std::vector<CFrame*> kept{playing};

    ASSERT_TRUE(doc.LoadPageFile(path, true, &kept));

    EXPECT_TRUE(kept.empty());
    EXPECT_EQ(LiveRects(doc.Page), (std::vector<CRect>{{10, 10, 110, 110}, {20, 20, 120, 120}}));
    for (CFrame* object : LiveObjects(doc.Page)) {
        EXPECT_EQ(object->Playing.load(), 0);
        EXPECT_EQ(object->FramePeriod, ModeFramePeriod);
    }
    EXPECT_TRUE(presenter.messages.empty());
}

TEST_F(DocumentTest, LoadPageFileAddingKeepsPlayingAndLockedObjects) {
    const QString path = WritePageFile("page.corvane", {{10, 10, 110, 110}, {20, 20, 120, 120}});
    doc.Page.OutputOn = 1;
    CFrame* playing = Put({0, 0, 50, 50});
    playing->Play();
    CFrame* locked = Put({0, 0, 60, 60}, QString(), 1);
    Put({0, 0, 70, 70});
    std::vector<CFrame*> kept;

    ASSERT_TRUE(doc.LoadPageFile(path, false, &kept));

    EXPECT_EQ(kept, (std::vector<CFrame*>{playing, locked}));
    const auto live = LiveObjects(doc.Page);
    ASSERT_EQ(live.size(), 4u);
    EXPECT_EQ(live[0], playing);
    EXPECT_EQ(live[1], locked);
    EXPECT_EQ(live[2]->Rect, (CRect{10, 10, 110, 110}));
    EXPECT_EQ(live[3]->Rect, (CRect{20, 20, 120, 120}));
    EXPECT_EQ(playing->Playing.load(), 1);
    EXPECT_EQ(locked->Locked, 1);
    EXPECT_EQ(live[2]->Playing.load(), 0);
}

TEST_F(DocumentTest, LoadPageFileResetsTheDocument) {
    const QString path = WritePageFile("page.corvane", {{10, 10, 110, 110}});
    doc.AddSimpleObject();
    doc.Copy();
    doc.DoUndo();
    doc.AddSimpleObject();
    ASSERT_NE(doc.Clipboard, nullptr);
    ASSERT_FALSE(doc.Undo.UndoStack.empty());
    doc.PathName = QStringLiteral("/somewhere/else.corvane");
    doc.Title = QStringLiteral("else.corvane");
    host.Forget();

    ASSERT_TRUE(doc.LoadPageFile(path, false));

    ExpectReset();
    EXPECT_EQ(LiveRects(doc.Page), (std::vector<CRect>{{10, 10, 110, 110}}));
}

TEST_F(DocumentTest, LoadPageFileDropsObjectsBeyondTheLimit) {
    const QString path = WritePageFile("page.corvane", {{10, 10, 110, 110}, {20, 20, 120, 120}});
    for (int i = 0; i < CFrameSet::MaxObjects - 1; ++i) Put({0, 0, 16, 16}, QString(), 1);
    std::vector<CFrame*> kept;

    ASSERT_TRUE(doc.LoadPageFile(path, false, &kept));

    EXPECT_EQ(kept.size(), size_t(CFrameSet::MaxObjects - 1));
    const auto live = LiveObjects(doc.Page);
    ASSERT_EQ(live.size(), size_t(CFrameSet::MaxObjects));
    EXPECT_EQ(live.back()->Rect, (CRect{10, 10, 110, 110}));
    EXPECT_TRUE(presenter.messages.empty());
}

TEST_F(DocumentTest, LoadPageFileThatCannotBeReadChangesNothing) {
    CFrame* object = Put({0, 0, 50, 50});
    doc.AddSimpleObject();
    CFrame* added = doc.Selected;
    doc.Copy();
    const auto ids = LiveIds(doc.Page);
    doc.Title = QStringLiteral("mine.corvane");
    doc.PathName = dir.filePath("mine.corvane");
    std::vector<CFrame*> kept{object};
    host.Forget();

    EXPECT_FALSE(doc.LoadPageFile(dir.filePath("missing.corvane"), false, &kept));

    EXPECT_EQ(presenter.messages.size(), 1u);
    EXPECT_EQ(LiveIds(doc.Page), ids);
    EXPECT_EQ(doc.Selected, added);
    EXPECT_EQ(doc.SelectedNumber, 2);
    EXPECT_EQ(doc.Undo.UndoStack.size(), 1u);
    EXPECT_NE(doc.Clipboard, nullptr);
    EXPECT_TRUE(doc.Modified);
    EXPECT_EQ(doc.Title, QStringLiteral("mine.corvane"));
    EXPECT_EQ(doc.PathName, dir.filePath("mine.corvane"));
    EXPECT_TRUE(host.selections.empty());
    EXPECT_TRUE(host.updates.empty());
}

TEST_F(DocumentTest, AddPageFileAndPlayPlaysOnlyTheAddedObjects) {
    const QString path = WritePageFile("page.corvane", {{10, 10, 110, 110}, {20, 20, 120, 120}});
    doc.Page.OutputOn = 1;
    CFrame* paused = Put({0, 0, 50, 50});
    paused->Play();
    paused->TogglePause();
    CFrame* locked = Put({0, 0, 60, 60}, QString(), 1);

    ASSERT_TRUE(doc.AddPageFileAndPlay(path));

    const auto live = LiveObjects(doc.Page);
    ASSERT_EQ(live.size(), 4u);
    EXPECT_EQ(StateOf(paused), (PlayState{1, 1, 0}));  // kept, not played again
    EXPECT_EQ(StateOf(locked), PlayState{});
    EXPECT_EQ(live[2]->Playing.load(), 1);
    EXPECT_EQ(live[3]->Playing.load(), 1);
}

TEST_F(DocumentTest, AddPageFileAndPlayWithOutputOffPlaysNothing) {
    const QString path = WritePageFile("page.corvane", {{10, 10, 110, 110}});
    ASSERT_TRUE(doc.AddPageFileAndPlay(path));
    const auto live = LiveObjects(doc.Page);
    ASSERT_EQ(live.size(), 1u);
    EXPECT_EQ(live[0]->Playing.load(), 0);
}

TEST_F(DocumentTest, LoadPageFileAndPlayOpensAndPlaysEverything) {
    const QString path = WritePageFile("show.corvane", {{10, 10, 110, 110}, {20, 20, 120, 120}});
    Put({0, 0, 50, 50});
    doc.Page.OutputOn = 1;

    ASSERT_TRUE(doc.LoadPageFileAndPlay(path));

    EXPECT_EQ(LiveRects(doc.Page), (std::vector<CRect>{{10, 10, 110, 110}, {20, 20, 120, 120}}));
    for (CFrame* object : LiveObjects(doc.Page)) EXPECT_EQ(object->Playing.load(), 1);
    EXPECT_EQ(doc.PathName, path);
    EXPECT_EQ(doc.Title, QStringLiteral("show.corvane"));
    EXPECT_FALSE(doc.Modified);
}

// ---------------------------------------------------------------------------------
// Open, save, new page

TEST_F(DocumentTest, OpenReadsWhatSaveWrote) {
    doc.AddSimpleObject();
    doc.Selected->Group = QStringLiteral("Lower third");
    doc.Selected->Hotkey = 5;
    doc.AddSimpleObject();
    doc.Selected->Rect = {400, 300, 900, 500};
    doc.Selected->BackColor = 0x80FF0000u;
    doc.Selected->ShowFor = 4000;
    doc.Selected->ShowIndefinitely = 0;
    const QString path = dir.filePath("round.corvane");

    ASSERT_TRUE(doc.Save(path));
    EXPECT_FALSE(doc.Modified);
    EXPECT_EQ(doc.PathName, path);
    EXPECT_EQ(doc.Title, QStringLiteral("round.corvane"));
    EXPECT_EQ(doc.Undo.UndoStack.size(), 2u);  // saving keeps the history

    FakeHost otherHost;
    CMainDoc other(otherHost, Mode);
    other.AddSimpleObject();  // replaced by the opened page
    ASSERT_TRUE(other.Open(path));

    const auto live = LiveObjects(other.Page);
    ASSERT_EQ(live.size(), 2u);
    EXPECT_EQ(live[0]->Rect, (CRect{32, 32, 288, 160}));
    EXPECT_EQ(live[0]->Group, QStringLiteral("Lower third"));
    EXPECT_EQ(live[0]->Hotkey, 5);
    EXPECT_EQ(live[1]->Rect, (CRect{400, 300, 900, 500}));
    EXPECT_EQ(live[1]->BackColor, 0x80FF0000u);
    EXPECT_EQ(live[1]->ShowFor, 4000);
    EXPECT_EQ(live[1]->ShowIndefinitely, 0);
    EXPECT_EQ(live[1]->FramePeriod, ModeFramePeriod);
    EXPECT_EQ(other.Selected, nullptr);
    EXPECT_EQ(other.SelectedNumber, 0);
    EXPECT_TRUE(other.Undo.UndoStack.empty());
    EXPECT_FALSE(other.Modified);
    EXPECT_EQ(other.PathName, path);
    EXPECT_EQ(other.Title, QStringLiteral("round.corvane"));
    EXPECT_TRUE(presenter.messages.empty());
}

TEST_F(DocumentTest, OpenThatCannotBeReadChangesNothing) {
    doc.AddSimpleObject();
    CFrame* selected = doc.Selected;
    const auto ids = LiveIds(doc.Page);
    host.Forget();

    EXPECT_FALSE(doc.Open(dir.filePath("missing.corvane")));

    EXPECT_EQ(presenter.messages.size(), 1u);
    EXPECT_EQ(LiveIds(doc.Page), ids);
    EXPECT_EQ(doc.Selected, selected);
    EXPECT_EQ(doc.Undo.UndoStack.size(), 1u);
    EXPECT_TRUE(doc.Modified);
    EXPECT_EQ(doc.Title, QStringLiteral("Untitled"));
    EXPECT_TRUE(host.selections.empty());
}

TEST_F(DocumentTest, NewPageEmptiesThePageAndHistory) {
    doc.AddSimpleObject();
    doc.AddSimpleObject();
    ASSERT_TRUE(doc.Save(dir.filePath("before.corvane")));
    doc.Lock();
    ASSERT_TRUE(doc.Modified);
    host.Forget();

    doc.NewPage();

    EXPECT_EQ(doc.Page.LiveCount(), 0);
    EXPECT_EQ(doc.Selected, nullptr);
    EXPECT_EQ(doc.SelectedNumber, 0);
    EXPECT_TRUE(doc.Undo.UndoStack.empty());
    EXPECT_TRUE(doc.Undo.RedoStack.empty());
    EXPECT_TRUE(doc.PathName.isEmpty());
    EXPECT_EQ(doc.Title, QStringLiteral("Untitled"));
    EXPECT_FALSE(doc.Modified);
    ASSERT_FALSE(host.selections.empty());
    EXPECT_EQ(host.selections.back(), nullptr);
    EXPECT_FALSE(host.updates.empty());
}

// ---------------------------------------------------------------------------------
// Deleting objects from scripts, reset

TEST_F(DocumentTest, DeleteObjectsOfAGroupMatchesTheExactName) {
    Put({0, 0, 10, 10}, QStringLiteral("Lower"));
    Put({0, 0, 20, 20}, QStringLiteral("lower"));
    CFrame* playingMember = Put({0, 0, 30, 30}, QStringLiteral("Lower"));
    Put({0, 0, 40, 40});
    Put({0, 0, 50, 50}, QStringLiteral("Lower "));
    doc.Page.OutputOn = 1;
    playingMember->Play();
    doc.Select(playingMember);
    doc.Lock();
    doc.Copy();
    host.Forget();

    {
        CPageSnapshot held(doc.Page);  // keeps the removed objects alive to look at
        doc.DeleteObjects(QStringLiteral("Lower"));
        EXPECT_EQ(playingMember->Playing.load(), 0);
        EXPECT_EQ(playingMember->Deleted, 1);
    }

    EXPECT_EQ(LiveGroups(doc.Page), (QStringList{QStringLiteral("lower"), QString(), QStringLiteral("Lower ")}));
    ExpectReset();
    EXPECT_TRUE(presenter.messages.empty());
}

TEST_F(DocumentTest, DeleteObjectsOfAGroupNobodyHasRemovesNothing) {
    Put({0, 0, 10, 10}, QStringLiteral("Lower"));
    Put({0, 0, 20, 20});
    const auto ids = LiveIds(doc.Page);
    doc.DeleteObjects(QStringLiteral("Nobody"));
    EXPECT_EQ(LiveIds(doc.Page), ids);
    EXPECT_TRUE(presenter.messages.empty());
}

TEST_F(DocumentTest, DeleteObjectsWithoutAGroupRemovesEverything) {
    Put({0, 0, 10, 10}, QStringLiteral("Lower"));
    Put({0, 0, 20, 20});
    doc.DeleteObjects(QString());
    EXPECT_EQ(doc.Page.LiveCount(), 0);
    ExpectReset();
}

TEST_F(DocumentTest, ResetForgetsSelectionHistoryClipboardAndPath) {
    doc.AddSimpleObject();
    doc.Copy();
    doc.AddSimpleObject();
    doc.DoUndo();
    ASSERT_TRUE(doc.Save(dir.filePath("saved.corvane")));
    doc.AddSimpleObject();
    ASSERT_TRUE(doc.Modified);
    ASSERT_FALSE(doc.Undo.UndoStack.empty());
    const auto ids = LiveIds(doc.Page);
    host.Forget();

    doc.Reset();

    ExpectReset();
    ASSERT_FALSE(host.selections.empty());
    EXPECT_EQ(host.selections.back(), nullptr);
    EXPECT_EQ(LiveIds(doc.Page), ids);  // the objects stay
}

// ---------------------------------------------------------------------------------
// Undo and redo commands

TEST_F(DocumentTest, UndoWithAnEmptyHistoryClearsTheSelectionOnly) {
    CFrame* object = Put({0, 0, 10, 10});
    doc.Select(object);
    host.Forget();

    doc.DoUndo();

    EXPECT_EQ(doc.Selected, nullptr);
    EXPECT_EQ(doc.SelectedNumber, 0);
    ASSERT_FALSE(host.selections.empty());
    EXPECT_EQ(host.selections.back(), nullptr);
    EXPECT_EQ(LiveObjects(doc.Page), std::vector<CFrame*>{object});
    EXPECT_FALSE(doc.Modified);

    doc.Select(object);
    doc.DoRedo();
    EXPECT_EQ(doc.Selected, nullptr);
    EXPECT_FALSE(doc.Modified);
}

TEST_F(DocumentTest, UndoAndRedoOfADeletionSelectWhatTheyReturn) {
    CFrame* bottom = Put({0, 0, 10, 10});
    CFrame* middle = Put({0, 0, 20, 20});
    CFrame* top = Put({0, 0, 30, 30});
    const int middleId = middle->Id;
    doc.Select(middle);
    doc.Delete();
    ASSERT_EQ(doc.Page.LiveCount(), 2);
    doc.Modified = false;
    host.Forget();

    doc.DoUndo();
    auto live = LiveObjects(doc.Page);
    ASSERT_EQ(live.size(), 3u);
    EXPECT_EQ(live[0], bottom);
    EXPECT_EQ(live[1]->Id, middleId);
    EXPECT_EQ(live[2], top);
    EXPECT_EQ(doc.Selected, live[1]);
    EXPECT_EQ(doc.SelectedNumber, 2);
    ASSERT_FALSE(host.selections.empty());
    EXPECT_EQ(host.selections.back(), live[1]);
    EXPECT_FALSE(host.updates.empty());
    EXPECT_TRUE(doc.Modified);

    doc.DoRedo();
    EXPECT_EQ(LiveObjects(doc.Page), (std::vector<CFrame*>{bottom, top}));
    EXPECT_EQ(doc.Selected, nullptr);
    EXPECT_EQ(doc.SelectedNumber, 0);
}

TEST_F(DocumentTest, RedoOfAnUndoneAdditionBringsItBackSelectedOnTop) {
    Put({0, 0, 10, 10});
    doc.AddSimpleObject();
    const int id = doc.Selected->Id;
    doc.DoUndo();
    ASSERT_EQ(doc.Selected, nullptr);

    doc.DoRedo();

    const auto live = LiveObjects(doc.Page);
    ASSERT_EQ(live.size(), 2u);
    EXPECT_EQ(live[1]->Id, id);
    EXPECT_EQ(live[1]->Rect, (CRect{32, 32, 288, 160}));
    EXPECT_EQ(doc.Selected, live[1]);
    EXPECT_EQ(doc.SelectedNumber, 2);
}

TEST_F(DocumentTest, UndoOfADeletionOnAFullPageSelectsNothing) {
    CFrame* object = Put({0, 0, 10, 10});
    doc.Select(object);
    doc.Copy();
    doc.Delete();
    for (int i = 0; i < CFrameSet::MaxObjects; ++i) doc.Paste();
    ASSERT_EQ(doc.Page.LiveCount(), CFrameSet::MaxObjects);
    const auto ids = LiveIds(doc.Page);

    doc.DoUndo();

    EXPECT_EQ(doc.Selected, nullptr);
    EXPECT_EQ(doc.SelectedNumber, 0);
    EXPECT_EQ(LiveIds(doc.Page), ids);
    EXPECT_EQ(presenter.messages.size(), 1u);  // only the delete question
}

// ---------------------------------------------------------------------------------
// Placement rule

struct PlaceCase {
    const char* name;
    CRect rect;
    PlacementRule rule;
    bool keepWidth;
    bool keepHeight;
    CRect expected;
};

class PlaceRectTest : public ::testing::TestWithParam<PlaceCase> {};

TEST_P(PlaceRectTest, Places) {
    const PlaceCase& c = GetParam();
    EXPECT_EQ(PlaceRect(c.rect, c.rule, c.keepWidth, c.keepHeight), c.expected);
}

constexpr PlacementRule Free{PageW, PageH, false, 8};
constexpr PlacementRule Grid8{PageW, PageH, true, 8};

INSTANTIATE_TEST_SUITE_P(
    Rule, PlaceRectTest,
    ::testing::Values(
        PlaceCase{"InsideUnchanged", {13, 27, 301, 405}, Free, true, true, {13, 27, 301, 405}},
        PlaceCase{"SnapOffIgnoresTheStep", {12, 13, 99, 101}, Free, false, false, {12, 13, 99, 101}},
        // 12 -> 8 (r 4 is not above 4), 13 -> 16, 100 -> 96, 101 -> 104.
        PlaceCase{"Snap8", {12, 13, 100, 101}, Grid8, false, false, {8, 16, 96, 104}},
        PlaceCase{"Snap8OnTheGridStays", {8, 16, 96, 104}, Grid8, true, true, {8, 16, 96, 104}},
        // Step 5 (half 2): 7 -> 5, 8 -> 10, 22 -> 20, 23 -> 25.
        PlaceCase{"Snap5", {7, 8, 22, 23}, PlacementRule{PageW, PageH, true, 5}, false, false, {5, 10, 20, 25}},
        // Step 2 (half 1): 3 -> 2 (r 1 is not above 1).
        PlaceCase{"Snap2", {3, 5, 7, 9}, PlacementRule{PageW, PageH, true, 2}, false, false, {2, 4, 6, 8}},
        // A negative edge keeps its remainder's sign: -13 -> -8 (r -5), -3 -> 0 (r -3);
        // then the shift back inside moves the far edges by 8 and 0.
        PlaceCase{"SnapNegativeThenShiftBack", {-13, -3, 48, 40}, Grid8, true, true, {0, 0, 56, 40}},
        PlaceCase{"SnapNegativeThenClip", {-13, -3, 48, 40}, Grid8, false, false, {0, 0, 48, 40}},
        PlaceCase{"PastLeftKeepWidth", {-50, 10, 100, 60}, Free, true, true, {0, 10, 150, 60}},
        PlaceCase{"PastLeftResize", {-50, 10, 100, 60}, Free, false, false, {0, 10, 100, 60}},
        PlaceCase{"PastTopKeepHeight", {10, -30, 60, 100}, Free, true, true, {10, 0, 60, 130}},
        PlaceCase{"PastTopResize", {10, -30, 60, 100}, Free, false, false, {10, 0, 60, 100}},
        PlaceCase{"PastRightKeepWidth", {1800, 0, 2000, 100}, Free, true, true, {1720, 0, PageW, 100}},
        PlaceCase{"PastRightResize", {1800, 0, 2000, 100}, Free, false, false, {1800, 0, PageW, 100}},
        PlaceCase{"PastBottomKeepHeight", {0, 1000, 100, 1100}, Free, true, true, {0, 980, 100, PageH}},
        PlaceCase{"PastBottomResize", {0, 1000, 100, 1100}, Free, false, false, {0, 1000, 100, PageH}},
        PlaceCase{"KeepWidthOnlyHorizontal", {-50, -20, 100, 60}, Free, true, false, {0, 0, 150, 60}},
        PlaceCase{"KeepHeightOnlyVertical", {-50, -20, 100, 60}, Free, false, true, {0, 0, 100, 80}},
        // 1917 -> 1920, 2005 -> 2008, then pushed back to end at the right edge.
        PlaceCase{"SnapThenShiftBackRight", {1917, 0, 2005, 64}, Grid8, true, true, {1832, 0, PageW, 64}},
        PlaceCase{"SmallPage", {100, 100, 500, 400}, PlacementRule{720, 576, false, 8}, true, true,
                  {100, 100, 500, 400}},
        PlaceCase{"SmallPagePastCorner", {600, 500, 800, 600}, PlacementRule{720, 576, false, 8}, true, true,
                  {520, 476, 720, 576}}),
    [](const auto& info) { return std::string(info.param.name); });

struct OffsetCase {
    const char* name;
    CRect rect;
    int pageWidth;
    int pageHeight;
    int dx;
    int dy;
};

class CloneOffsetTest : public ::testing::TestWithParam<OffsetCase> {};

TEST_P(CloneOffsetTest, Offsets) {
    const OffsetCase& c = GetParam();
    int dx = 99, dy = 99;
    CloneOffset(c.rect, c.pageWidth, c.pageHeight, dx, dy);
    EXPECT_EQ(dx, c.dx);
    EXPECT_EQ(dy, c.dy);
}

INSTANTIATE_TEST_SUITE_P(
    Rule, CloneOffsetTest,
    ::testing::Values(OffsetCase{"Fits", {100, 100, 300, 200}, PageW, PageH, 16, 16},
                      OffsetCase{"JustFits", {0, 0, PageW - 16, PageH - 16}, PageW, PageH, 16, 16},
                      OffsetCase{"OnePixelTooFar", {0, 0, PageW - 15, PageH - 15}, PageW, PageH, -16, -16},
                      OffsetCase{"AtTheEdges", {0, 0, PageW, PageH}, PageW, PageH, -16, -16},
                      OffsetCase{"OnlyRightTooFar", {0, 0, PageW, 100}, PageW, PageH, -16, 16},
                      // A page narrower than right + 16, right edge below 17: no move.
                      OffsetCase{"NarrowPageSmallObject", {0, 0, 16, 16}, 24, 24, 0, 0},
                      OffsetCase{"NarrowPageRightAt17", {1, 1, 17, 17}, 30, 30, -16, -16},
                      OffsetCase{"PageOfRightPlus16", {0, 0, 16, 16}, 32, 32, 16, 16}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
