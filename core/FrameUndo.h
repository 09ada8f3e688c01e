// The document's history of page edits, undone and redone one entry at a time.
//
// Entries name their object by Id, never by pointer: the object may have been
// removed and put back (as a different CFrame with the same Id) since the entry was
// made. What an entry needs to restore it holds as a private snapshot.
//
// Threads: the user-interface thread only. Finding objects and computing
// PreviousId go through page snapshots, and inserting and removing through the
// page's own operations, so the render engine's threads may walk the page
// meanwhile.
#pragma once

#include "core/Frame.h"
#include "core/FrameSet.h"

#include <memory>
#include <vector>

enum UndoType : int {
    ObjectDeleted = 0,
    ObjectAdded = 1,
    GeometryChanged = 2,
    TextChanged = 3,
    PropertiesChanged = 4,
};

class CFrameUndoEntry {
public:
    CFrameUndoEntry() = default;
    CFrameUndoEntry(const CFrameUndoEntry&) = delete;
    CFrameUndoEntry& operator=(const CFrameUndoEntry&) = delete;
    virtual ~CFrameUndoEntry();

    int Type = ObjectDeleted;
    // ObjectDeleted, TextChanged, PropertiesChanged: the object as it was, with its
    // Id. Empty once undoing a deletion has handed it to the page.
    std::unique_ptr<CFrame> Snapshot;
    // ObjectAdded, GeometryChanged: the object's rectangle as it was.
    CRect Rect;
    int ObjectId = 0;
    // The live object just below when the entry was made; 0 at the bottom or when
    // the object was not on the page.
    int PreviousId = 0;
};

class CFrameUndo {
public:
    static constexpr int MaxEntries = 100;

    explicit CFrameUndo(CFrameSet& page);
    CFrameUndo(const CFrameUndo&) = delete;
    CFrameUndo& operator=(const CFrameUndo&) = delete;
    virtual ~CFrameUndo();

    // Appends an entry for the object (none for a null object) and returns it; the
    // oldest entry falls off a full stack. Editing commands pass clearRedo = true so
    // that a new edit ends the redo history.
    CFrameUndoEntry* RecordUndo(int type, CFrame* object, bool clearRedo);
    CFrameUndoEntry* RecordRedo(int type, CFrame* object);
    // For an edit that was recorded and then turned out to change nothing.
    void DropLastUndo();

    // Apply the last entry of the undo or redo stack and record its inverse on the
    // other one. Return the object to select, or nullptr (empty stack, an undone
    // addition, an entry whose object is gone, or a full page).
    CFrame* Undo();
    CFrame* Redo();
    void ClearHistory();

    bool CanUndo() const { return !UndoStack.empty(); }
    bool CanRedo() const { return !RedoStack.empty(); }

    // Set by every Undo and Redo: true when an entry was consumed, and so the
    // document counts as modified (also for an entry whose object was gone); false
    // when the stack was empty, or when a deleted object could not be put back
    // because the page was full, in which case the entry stays where it was so it
    // can be applied once there is room.
    bool Applied = false;

    // Oldest first; the last element is applied next.
    std::vector<std::unique_ptr<CFrameUndoEntry>> UndoStack;
    std::vector<std::unique_ptr<CFrameUndoEntry>> RedoStack;

private:
    std::unique_ptr<CFrameUndoEntry> MakeEntry(int type, CFrame* object);
    static CFrameUndoEntry* Push(std::vector<std::unique_ptr<CFrameUndoEntry>>& stack,
                                 std::unique_ptr<CFrameUndoEntry> entry);
    int PreviousIdOf(const CFrame* object);
    CFrame* Apply(std::vector<std::unique_ptr<CFrameUndoEntry>>& from,
                  std::vector<std::unique_ptr<CFrameUndoEntry>>& inverseTo);
    // Geometry, text and property entries: the object to select, or nullptr when
    // it is gone.
    CFrame* Restore(CFrameUndoEntry& entry, std::vector<std::unique_ptr<CFrameUndoEntry>>& inverseTo);

    CFrameSet& page_;
};
