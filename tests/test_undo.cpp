#include "core/FrameUndo.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace {

class UndoTest : public ::testing::Test {
protected:
    CFrame* AddObject(CRect rect = {32, 32, 288, 160}) {
        auto object = std::make_unique<CFrame>();
        object->Rect = rect;
        CFrame* raw = object.get();
        EXPECT_EQ(page.Add(object), 1);
        return raw;
    }

    // The document's order for adding: into the page first, then recorded.
    CFrame* AddRecorded(CRect rect = {32, 32, 288, 160}) {
        CFrame* object = AddObject(rect);
        undo.RecordUndo(ObjectAdded, object, true);
        return object;
    }

    // The document's order for deleting: recorded first, then removed.
    void DeleteRecorded(CFrame* object) {
        undo.RecordUndo(ObjectDeleted, object, true);
        page.Remove(object);
    }

    std::vector<int> LiveIds() {
        CPageSnapshot snapshot(page);
        std::vector<int> ids;
        for (CFrame* object : snapshot.list) ids.push_back(object->Id);
        return ids;
    }

    CFrameSet page;
    CFrameUndo undo{page};
};

// Every field a property edit may change, as text, in a fixed order.
QStringList EditableProperties(const CFrame& f) {
    auto n = [](qint64 v) { return QString::number(v); };
    return {n(f.Locked),           n(f.Movement),       n(f.Speed),          n(f.Loop),
            n(f.ShowWhileTextMoves), n(f.Reverse),      n(f.StartFromEdge),  n(f.BackColor),
            n(f.TextOpacity),      n(f.DropShadow),     n(f.LoopAnimation),  n(f.MaintainLink),
            f.ImageFileName,       n(f.TextSource),     f.FileName,          n(f.Encoding),
            n(f.FirstLineIsHeader), f.ClockFormat,      n(f.MonitorFileChanges), n(f.Separator),
            f.TimerFormat,         n(f.TimerStart),     n(f.TimerStop),      n(f.TimerDirection),
            n(f.BarGraph),         n(f.ShowFor),        n(f.ShowIndefinitely), n(f.StartDelay),
            n(f.InEffect),         n(f.InEffectDuration), n(f.FadeIn),       n(f.OutEffect),
            n(f.OutEffectDuration), n(f.FadeOut),       n(f.Repeat),         n(f.SwitcherButton),
            f.Group,               n(f.Hotkey)};
}

// Seeds 1 and 2 give every editable field a different value.
void SetEditableProperties(CFrame& f, int s) {
    const int odd = s % 2;
    f.Locked = odd;
    f.Movement = s;
    f.Speed = 10 + s;
    f.Loop = s;
    f.ShowWhileTextMoves = odd;
    f.Reverse = odd;
    f.StartFromEdge = odd;
    f.BackColor = 0x10000000u * uint32_t(s) + uint32_t(s);
    f.TextOpacity = 100 + s;
    f.DropShadow = odd;
    f.LoopAnimation = odd;
    f.MaintainLink = odd;
    f.ImageFileName = QStringLiteral("/pictures/logo%1.png").arg(s);
    f.TextSource = s;
    f.FileName = QStringLiteral("/text/source%1.txt").arg(s);
    f.Encoding = s;
    f.FirstLineIsHeader = odd;
    f.ClockFormat = QStringLiteral("clock %1").arg(s);
    f.MonitorFileChanges = odd;
    f.Separator = s;
    f.TimerFormat = QStringLiteral("timer %1").arg(s);
    f.TimerStart = 10 * s;
    f.TimerStop = 1000 * s;
    f.TimerDirection = odd;
    f.BarGraph = odd;
    f.ShowFor = 1000 * s;
    f.ShowIndefinitely = odd;
    f.StartDelay = 100 * s;
    f.InEffect = s;
    f.InEffectDuration = 200 * s;
    f.FadeIn = odd;
    f.OutEffect = s + 2;
    f.OutEffectDuration = 300 * s;
    f.FadeOut = odd;
    f.Repeat = odd;
    f.SwitcherButton = s;
    f.Group = QStringLiteral("group %1").arg(s);
    f.Hotkey = 'A' + s;
}

TEST_F(UndoTest, EmptyHistoryUndoAndRedoReturnNothingAndChangeNothing) {
    CFrame* a = AddObject();
    CFrame* b = AddObject();
    const auto ids = LiveIds();
    const CRect rect = b->Rect;

    // A consumed entry first, so that Applied has to be cleared again.
    undo.RecordUndo(GeometryChanged, a, true);
    undo.Undo();
    ASSERT_TRUE(undo.Applied);
    undo.ClearHistory();

    EXPECT_EQ(undo.Undo(), nullptr);
    EXPECT_FALSE(undo.Applied);
    EXPECT_EQ(undo.Redo(), nullptr);
    EXPECT_FALSE(undo.Applied);
    EXPECT_TRUE(undo.UndoStack.empty());
    EXPECT_TRUE(undo.RedoStack.empty());
    EXPECT_FALSE(undo.CanUndo());
    EXPECT_FALSE(undo.CanRedo());
    EXPECT_EQ(LiveIds(), ids);
    EXPECT_EQ(b->Rect, rect);
}

TEST_F(UndoTest, EntriesHoldIdPreviousIdAndEitherRectOrAPrivateSnapshot) {
    struct Case {
        int type;
        bool snapshot;
    };
    const Case cases[] = {
        {ObjectDeleted, true}, {ObjectAdded, false}, {GeometryChanged, false},
        {TextChanged, true},   {PropertiesChanged, true},
    };
    CFrame* below = AddObject();
    CFrame* object = AddObject({10, 20, 110, 220});
    AddObject();
    object->RichText = "{\\rtf1 words}";
    for (const Case& c : cases) {
        for (bool onRedo : {false, true}) {
            SCOPED_TRACE(testing::Message() << "type " << c.type << (onRedo ? " redo" : " undo"));
            CFrameUndoEntry* entry =
                onRedo ? undo.RecordRedo(c.type, object) : undo.RecordUndo(c.type, object, false);
            auto& stack = onRedo ? undo.RedoStack : undo.UndoStack;
            ASSERT_NE(entry, nullptr);
            EXPECT_EQ(stack.back().get(), entry);
            EXPECT_EQ(entry->Type, c.type);
            EXPECT_EQ(entry->ObjectId, object->Id);
            EXPECT_EQ(entry->PreviousId, below->Id);
            if (c.snapshot) {
                ASSERT_NE(entry->Snapshot, nullptr);
                EXPECT_NE(entry->Snapshot.get(), object);
                EXPECT_EQ(entry->Snapshot->Id, object->Id);
                EXPECT_EQ(entry->Snapshot->RichText, object->RichText);
                EXPECT_EQ(entry->Rect, CRect{});
            } else {
                EXPECT_EQ(entry->Snapshot, nullptr);
                EXPECT_EQ(entry->Rect, object->Rect);
            }
        }
    }
    EXPECT_EQ(undo.UndoStack.size(), std::size(cases));
    EXPECT_EQ(undo.RedoStack.size(), std::size(cases));
}

TEST_F(UndoTest, PreviousIdIsZeroAtTheBottomAndOffThePage) {
    CFrame* bottom = AddObject();
    AddObject();
    CFrame loose;
    EXPECT_EQ(undo.RecordUndo(GeometryChanged, bottom, true)->PreviousId, 0);
    EXPECT_EQ(undo.RecordUndo(TextChanged, &loose, true)->PreviousId, 0);
    EXPECT_EQ(undo.RecordUndo(TextChanged, &loose, true)->ObjectId, loose.Id);
}

TEST_F(UndoTest, RecordingNoObjectMakesNoEntryAndKeepsRedo) {
    CFrame* a = AddObject();
    undo.RecordRedo(GeometryChanged, a);
    EXPECT_EQ(undo.RecordUndo(GeometryChanged, nullptr, true), nullptr);
    EXPECT_EQ(undo.RecordRedo(GeometryChanged, nullptr), nullptr);
    EXPECT_TRUE(undo.UndoStack.empty());
    EXPECT_EQ(undo.RedoStack.size(), 1u);
}

TEST_F(UndoTest, DeleteMiddleOfThreeThenUndoAndRedo) {
    CFrame* a = AddObject();
    CFrame* b = AddObject({40, 50, 140, 150});
    CFrame* c = AddObject();
    const int idA = a->Id, idB = b->Id, idC = c->Id;
    b->RichText = "{\\rtf1 middle}";
    DeleteRecorded(b);
    ASSERT_EQ(LiveIds(), (std::vector<int>{idA, idC}));

    CFrame* restored = undo.Undo();
    ASSERT_NE(restored, nullptr);
    EXPECT_TRUE(undo.Applied);
    EXPECT_EQ(restored->Id, idB);
    EXPECT_EQ(page.FindById(idB), restored);
    EXPECT_EQ(restored->Rect, (CRect{40, 50, 140, 150}));
    EXPECT_EQ(restored->RichText, QByteArray("{\\rtf1 middle}"));
    EXPECT_EQ(LiveIds(), (std::vector<int>{idA, idB, idC}));
    EXPECT_TRUE(undo.UndoStack.empty());
    ASSERT_EQ(undo.RedoStack.size(), 1u);
    EXPECT_EQ(undo.RedoStack.back()->Type, ObjectAdded);
    EXPECT_EQ(undo.RedoStack.back()->ObjectId, idB);

    EXPECT_EQ(undo.Redo(), nullptr);
    EXPECT_TRUE(undo.Applied);
    EXPECT_EQ(LiveIds(), (std::vector<int>{idA, idC}));
    EXPECT_TRUE(undo.RedoStack.empty());
    ASSERT_EQ(undo.UndoStack.size(), 1u);
    EXPECT_EQ(undo.UndoStack.back()->Type, ObjectDeleted);

    // The history goes round again with the same Id and place.
    restored = undo.Undo();
    ASSERT_NE(restored, nullptr);
    EXPECT_EQ(restored->Id, idB);
    EXPECT_EQ(LiveIds(), (std::vector<int>{idA, idB, idC}));
}

TEST_F(UndoTest, DeletedBottomObjectComesBackAtTheBottom) {
    CFrame* a = AddObject();
    CFrame* b = AddObject();
    CFrame* c = AddObject();
    const int idA = a->Id, idB = b->Id, idC = c->Id;
    DeleteRecorded(a);
    EXPECT_EQ(undo.UndoStack.back()->PreviousId, 0);
    CFrame* restored = undo.Undo();
    ASSERT_NE(restored, nullptr);
    EXPECT_EQ(restored->Id, idA);
    EXPECT_EQ(LiveIds(), (std::vector<int>{idA, idB, idC}));
}

TEST_F(UndoTest, TwoDeletionsDownwardsComeBackInTheirOrder) {
    CFrame* a = AddObject();
    CFrame* b = AddObject();
    CFrame* c = AddObject();
    CFrame* d = AddObject();
    const int idA = a->Id, idB = b->Id, idC = c->Id, idD = d->Id;
    DeleteRecorded(c);
    DeleteRecorded(b);
    ASSERT_EQ(LiveIds(), (std::vector<int>{idA, idD}));

    CFrame* first = undo.Undo();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->Id, idB);
    EXPECT_EQ(LiveIds(), (std::vector<int>{idA, idB, idD}));

    CFrame* second = undo.Undo();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->Id, idC);
    EXPECT_EQ(LiveIds(), (std::vector<int>{idA, idB, idC, idD}));
}

TEST_F(UndoTest, DeletedObjectWhoseLowerNeighbourIsGoneComesBackOnTop) {
    CFrame* a = AddObject();
    CFrame* b = AddObject();
    CFrame* c = AddObject();
    const int idB = b->Id, idC = c->Id;
    DeleteRecorded(b);
    page.Remove(a);  // a removal that keeps no history, as a script's
    CFrame* restored = undo.Undo();
    ASSERT_NE(restored, nullptr);
    EXPECT_EQ(LiveIds(), (std::vector<int>{idC, idB}));
}

TEST_F(UndoTest, AddedObjectUndoneAndRedoneComesBackOnTopWithItsId) {
    CFrame* a = AddObject();
    CFrame* b = AddObject();
    const int idA = a->Id, idB = b->Id;
    CFrame* added = AddRecorded({5, 6, 70, 80});
    const int idAdded = added->Id;
    ASSERT_EQ(undo.UndoStack.back()->Rect, (CRect{5, 6, 70, 80}));

    EXPECT_EQ(undo.Undo(), nullptr);
    EXPECT_TRUE(undo.Applied);
    EXPECT_EQ(LiveIds(), (std::vector<int>{idA, idB}));
    ASSERT_EQ(undo.RedoStack.size(), 1u);
    EXPECT_EQ(undo.RedoStack.back()->Type, ObjectDeleted);
    EXPECT_EQ(undo.RedoStack.back()->PreviousId, idB);

    CFrame* back = undo.Redo();
    ASSERT_NE(back, nullptr);
    EXPECT_TRUE(undo.Applied);
    EXPECT_EQ(back->Id, idAdded);
    EXPECT_EQ(back->Rect, (CRect{5, 6, 70, 80}));
    EXPECT_EQ(LiveIds(), (std::vector<int>{idA, idB, idAdded}));
    ASSERT_EQ(undo.UndoStack.size(), 1u);
    EXPECT_EQ(undo.UndoStack.back()->Type, ObjectAdded);
}

TEST_F(UndoTest, GeometryUndoAndRedoSwapRectanglesAndInvalidateEditorPictures) {
    CFrame* object = AddObject({0, 0, 100, 50});
    undo.RecordUndo(GeometryChanged, object, true);
    object->Rect = {30, 40, 130, 90};
    object->EditorBackgroundValid = 1;
    object->EditorTextValid = 1;

    EXPECT_EQ(undo.Undo(), object);
    EXPECT_EQ(object->Rect, (CRect{0, 0, 100, 50}));
    EXPECT_EQ(object->EditorBackgroundValid, 0);
    EXPECT_EQ(object->EditorTextValid, 0);
    ASSERT_EQ(undo.RedoStack.size(), 1u);
    EXPECT_EQ(undo.RedoStack.back()->Rect, (CRect{30, 40, 130, 90}));

    object->EditorBackgroundValid = 1;
    object->EditorTextValid = 1;
    EXPECT_EQ(undo.Redo(), object);
    EXPECT_EQ(object->Rect, (CRect{30, 40, 130, 90}));
    EXPECT_EQ(object->EditorBackgroundValid, 0);
    EXPECT_EQ(object->EditorTextValid, 0);
    EXPECT_EQ(undo.UndoStack.size(), 1u);
    EXPECT_TRUE(undo.RedoStack.empty());
}

TEST_F(UndoTest, RedoKeepsTheRestOfTheRedoHistory) {
    CFrame* object = AddObject({0, 0, 10, 10});
    for (int left : {1, 2}) {
        undo.RecordUndo(GeometryChanged, object, true);
        object->Rect.left = left;
    }
    undo.Undo();
    undo.Undo();
    ASSERT_EQ(object->Rect.left, 0);
    undo.Redo();
    EXPECT_EQ(object->Rect.left, 1);
    EXPECT_EQ(undo.UndoStack.size(), 1u);
    EXPECT_EQ(undo.RedoStack.size(), 1u);
    undo.Redo();
    EXPECT_EQ(object->Rect.left, 2);
    EXPECT_EQ(undo.UndoStack.size(), 2u);
    EXPECT_TRUE(undo.RedoStack.empty());
}

TEST_F(UndoTest, TextUndoAndRedoRestoreRichText) {
    struct Case {
        QByteArray before;
        QByteArray after;
    };
    const Case cases[] = {
        {"{\\rtf1 old}", "{\\rtf1 new}"},
        {QByteArray(), "{\\rtf1 typed into an empty object}"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.before.constData());
        CFrame* object = AddObject();
        object->RichText = c.before;
        undo.RecordUndo(TextChanged, object, true);
        object->RichText = c.after;
        object->EditorBackgroundValid = 1;
        object->EditorTextValid = 1;

        EXPECT_EQ(undo.Undo(), object);
        EXPECT_EQ(object->RichText, c.before);
        EXPECT_EQ(object->EditorBackgroundValid, 0);
        EXPECT_EQ(object->EditorTextValid, 0);

        EXPECT_EQ(undo.Redo(), object);
        EXPECT_EQ(object->RichText, c.after);
    }
}

TEST_F(UndoTest, PropertyUndoRestoresEveryEditablePropertyAndNothingElse) {
    CFrame* object = AddObject({1, 2, 3, 4});
    object->RichText = "{\\rtf1 kept}";
    SetEditableProperties(*object, 1);
    const QStringList before = EditableProperties(*object);
    undo.RecordUndo(PropertiesChanged, object, true);

    SetEditableProperties(*object, 2);
    const QStringList after = EditableProperties(*object);
    ASSERT_EQ(before.size(), after.size());
    for (qsizetype i = 0; i < before.size(); ++i) ASSERT_NE(before[i], after[i]) << "field " << i;
    // Changed by other means since; a property undo must leave them alone.
    object->Rect = {5, 6, 7, 8};
    object->RichText = "{\\rtf1 edited}";
    object->Kind = KindPicture;
    object->EditorBackgroundValid = 1;
    object->EditorTextValid = 1;

    EXPECT_EQ(undo.Undo(), object);
    EXPECT_EQ(EditableProperties(*object), before);
    EXPECT_EQ(object->Locked, 1);
    EXPECT_EQ(object->MaintainLink, 1);
    EXPECT_EQ(object->ImageFileName, QStringLiteral("/pictures/logo1.png"));
    EXPECT_EQ(object->Rect, (CRect{5, 6, 7, 8}));
    EXPECT_EQ(object->RichText, QByteArray("{\\rtf1 edited}"));
    EXPECT_EQ(object->Kind, KindPicture);
    EXPECT_EQ(object->EditorBackgroundValid, 0);
    EXPECT_EQ(object->EditorTextValid, 0);

    EXPECT_EQ(undo.Redo(), object);
    EXPECT_EQ(EditableProperties(*object), after);
}

TEST_F(UndoTest, RestoringAPlayingObjectStopsItOnlyWhileTheOutputIsOn) {
    struct Case {
        int type;
        int outputOn;
    };
    const Case cases[] = {
        {GeometryChanged, 1}, {TextChanged, 1}, {PropertiesChanged, 1},
        {GeometryChanged, 0}, {TextChanged, 0}, {PropertiesChanged, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " output " << c.outputOn);
        CFrame* object = AddObject();
        page.OutputOn = c.outputOn;
        ASSERT_EQ(object->Play(), 1);
        undo.RecordUndo(c.type, object, true);
        object->Rect.left = 9;
        object->Speed = 99;
        EXPECT_EQ(undo.Undo(), object);
        EXPECT_EQ(object->Playing.load(), c.outputOn ? 0 : 1);
        object->Stop();
    }
}

TEST_F(UndoTest, EntryWhoseObjectIsGoneIsConsumedWithoutEffect) {
    const int types[] = {ObjectAdded, GeometryChanged, TextChanged, PropertiesChanged};
    CFrame* other = AddObject({0, 0, 20, 20});
    other->RichText = "{\\rtf1 other}";
    for (int type : types) {
        for (bool onRedo : {false, true}) {
            SCOPED_TRACE(testing::Message() << "type " << type << (onRedo ? " redo" : " undo"));
            CFrame* object = AddObject({40, 40, 90, 90});
            if (onRedo)
                undo.RecordRedo(type, object);
            else
                undo.RecordUndo(type, object, true);
            page.Remove(object);
            const auto ids = LiveIds();

            EXPECT_EQ(onRedo ? undo.Redo() : undo.Undo(), nullptr);
            EXPECT_TRUE(undo.Applied);
            EXPECT_TRUE(undo.UndoStack.empty());
            EXPECT_TRUE(undo.RedoStack.empty());
            EXPECT_EQ(LiveIds(), ids);
            EXPECT_EQ(other->Rect, (CRect{0, 0, 20, 20}));
            EXPECT_EQ(other->RichText, QByteArray("{\\rtf1 other}"));
        }
    }
}

TEST_F(UndoTest, LaterEntriesFindAnObjectPutBackByUndo) {
    CFrame* object = AddObject({0, 0, 10, 10});
    const int id = object->Id;
    undo.RecordUndo(GeometryChanged, object, true);
    object->Rect = {50, 50, 60, 60};
    DeleteRecorded(object);

    CFrame* restored = undo.Undo();
    ASSERT_NE(restored, nullptr);
    EXPECT_EQ(restored->Rect, (CRect{50, 50, 60, 60}));
    EXPECT_EQ(undo.Undo(), restored);
    EXPECT_EQ(restored->Rect, (CRect{0, 0, 10, 10}));
    EXPECT_EQ(restored->Id, id);
}

TEST_F(UndoTest, OnlyTheLatestHundredEditsCanBeUndone) {
    CFrame* object = AddObject({0, 0, 200, 200});
    for (int i = 0; i <= CFrameUndo::MaxEntries; ++i) {
        undo.RecordUndo(GeometryChanged, object, true);
        object->Rect.left = i + 1;
    }
    ASSERT_EQ(undo.UndoStack.size(), size_t(CFrameUndo::MaxEntries));
    EXPECT_EQ(undo.UndoStack.front()->Rect.left, 1);

    for (int i = 0; i < CFrameUndo::MaxEntries; ++i) {
        EXPECT_EQ(undo.Undo(), object);
        EXPECT_TRUE(undo.Applied);
    }
    EXPECT_EQ(object->Rect.left, 1);
    EXPECT_EQ(undo.Undo(), nullptr);
    EXPECT_FALSE(undo.Applied);
    EXPECT_EQ(object->Rect.left, 1);
    EXPECT_EQ(undo.RedoStack.size(), size_t(CFrameUndo::MaxEntries));
}

TEST_F(UndoTest, RedoStackKeepsTheLatestHundredToo) {
    CFrame* object = AddObject({0, 0, 200, 200});
    for (int i = 0; i <= CFrameUndo::MaxEntries; ++i) {
        object->Rect.left = i;
        undo.RecordRedo(GeometryChanged, object);
    }
    ASSERT_EQ(undo.RedoStack.size(), size_t(CFrameUndo::MaxEntries));
    EXPECT_EQ(undo.RedoStack.front()->Rect.left, 1);
    EXPECT_EQ(undo.RedoStack.back()->Rect.left, CFrameUndo::MaxEntries);
}

TEST_F(UndoTest, NewEditEmptiesRedoUnlessAskedNotTo) {
    struct Case {
        bool clearRedo;
        size_t redoLeft;
    };
    const Case cases[] = {{true, 0}, {false, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.clearRedo);
        undo.ClearHistory();
        CFrame* object = AddObject();
        for (int i = 0; i < 3; ++i) {
            undo.RecordUndo(GeometryChanged, object, true);
            object->Rect.top = i + 1;
        }
        undo.Undo();
        undo.Undo();
        ASSERT_TRUE(undo.CanRedo());
        undo.RecordUndo(PropertiesChanged, object, c.clearRedo);
        EXPECT_EQ(undo.RedoStack.size(), c.redoLeft);
        EXPECT_EQ(undo.CanRedo(), c.redoLeft != 0);
        EXPECT_EQ(undo.UndoStack.size(), 2u);
    }
}

TEST_F(UndoTest, DropLastUndoRemovesOnlyTheNewestEntry) {
    CFrame* object = AddObject({0, 0, 10, 10});
    undo.RecordUndo(GeometryChanged, object, true);
    CFrameUndoEntry* first = undo.UndoStack.back().get();
    object->Rect = {1, 1, 11, 11};
    undo.RecordRedo(TextChanged, object);
    // A drag released where it started: recorded, then dropped.
    undo.RecordUndo(GeometryChanged, object, false);
    undo.DropLastUndo();

    ASSERT_EQ(undo.UndoStack.size(), 1u);
    EXPECT_EQ(undo.UndoStack.back().get(), first);
    EXPECT_EQ(undo.RedoStack.size(), 1u);
    EXPECT_EQ(undo.Undo(), object);
    EXPECT_EQ(object->Rect, (CRect{0, 0, 10, 10}));

    undo.ClearHistory();
    undo.DropLastUndo();
    EXPECT_TRUE(undo.UndoStack.empty());
}

TEST_F(UndoTest, ClearHistoryEmptiesBothStacks) {
    CFrame* object = AddObject();
    undo.RecordUndo(GeometryChanged, object, true);
    undo.RecordUndo(ObjectDeleted, object, true);
    undo.RecordRedo(TextChanged, object);
    undo.ClearHistory();
    EXPECT_FALSE(undo.CanUndo());
    EXPECT_FALSE(undo.CanRedo());
    object->Rect.left = 77;
    EXPECT_EQ(undo.Undo(), nullptr);
    EXPECT_EQ(undo.Redo(), nullptr);
    EXPECT_EQ(object->Rect.left, 77);
    EXPECT_EQ(LiveIds(), std::vector<int>{object->Id});
}

TEST_F(UndoTest, UndoingADeletionOnAFullPageKeepsTheEntryUntilThereIsRoom) {
    CFrame* deleted = AddObject();
    const int id = deleted->Id;
    DeleteRecorded(deleted);
    std::vector<CFrame*> fillers;
    for (int i = 0; i < CFrameSet::MaxObjects; ++i) fillers.push_back(AddObject());
    // A full redo stack would lose its oldest entry to any inverse pushed on it.
    for (int i = 0; i < CFrameUndo::MaxEntries; ++i) undo.RecordRedo(GeometryChanged, fillers[0]);
    CFrameUndoEntry* kept = undo.UndoStack.back().get();
    CFrameUndoEntry* oldestRedo = undo.RedoStack.front().get();

    EXPECT_EQ(undo.Undo(), nullptr);
    EXPECT_FALSE(undo.Applied);
    ASSERT_EQ(undo.UndoStack.size(), 1u);
    EXPECT_EQ(undo.UndoStack.back().get(), kept);
    ASSERT_NE(kept->Snapshot, nullptr);
    EXPECT_EQ(kept->Snapshot->Id, id);
    EXPECT_EQ(undo.RedoStack.size(), size_t(CFrameUndo::MaxEntries));
    EXPECT_EQ(undo.RedoStack.front().get(), oldestRedo);
    EXPECT_EQ(page.LiveCount(), CFrameSet::MaxObjects);
    EXPECT_EQ(page.FindById(id), nullptr);

    page.Remove(fillers.back());
    CFrame* restored = undo.Undo();
    ASSERT_NE(restored, nullptr);
    EXPECT_TRUE(undo.Applied);
    EXPECT_EQ(restored->Id, id);
    EXPECT_EQ(page.FindById(id), restored);
    EXPECT_EQ(LiveIds().front(), id);
    EXPECT_TRUE(undo.UndoStack.empty());
    EXPECT_EQ(undo.RedoStack.back()->Type, ObjectAdded);
}

TEST_F(UndoTest, RedoingAnAdditionOnAFullPageKeepsTheEntryUntilThereIsRoom) {
    CFrame* added = AddRecorded();
    const int id = added->Id;
    ASSERT_EQ(undo.Undo(), nullptr);
    std::vector<CFrame*> fillers;
    for (int i = 0; i < CFrameSet::MaxObjects; ++i) fillers.push_back(AddObject());
    CFrameUndoEntry* kept = undo.RedoStack.back().get();

    EXPECT_EQ(undo.Redo(), nullptr);
    EXPECT_FALSE(undo.Applied);
    ASSERT_EQ(undo.RedoStack.size(), 1u);
    EXPECT_EQ(undo.RedoStack.back().get(), kept);
    ASSERT_NE(kept->Snapshot, nullptr);
    EXPECT_EQ(kept->Snapshot->Id, id);
    EXPECT_TRUE(undo.UndoStack.empty());
    EXPECT_EQ(page.FindById(id), nullptr);

    page.Remove(fillers.front());
    CFrame* back = undo.Redo();
    ASSERT_NE(back, nullptr);
    EXPECT_TRUE(undo.Applied);
    EXPECT_EQ(back->Id, id);
    EXPECT_EQ(page.FindById(id), back);
    EXPECT_TRUE(undo.RedoStack.empty());
    ASSERT_EQ(undo.UndoStack.size(), 1u);
    EXPECT_EQ(undo.UndoStack.back()->Type, ObjectAdded);
}

}  // namespace
