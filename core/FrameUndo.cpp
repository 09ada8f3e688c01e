#include "core/FrameUndo.h"

#include <algorithm>

CFrameUndoEntry::~CFrameUndoEntry() = default;

CFrameUndo::CFrameUndo(CFrameSet& page) : page_(page) {}

CFrameUndo::~CFrameUndo() = default;

int CFrameUndo::PreviousIdOf(const CFrame* object) {
    CPageSnapshot snapshot(page_);
    const auto& list = snapshot.list;
    auto it = std::find(list.begin(), list.end(), object);
    if (it == list.end() || it == list.begin()) return 0;
    return (*(it - 1))->Id;
}

std::unique_ptr<CFrameUndoEntry> CFrameUndo::MakeEntry(int type, CFrame* object) {
    auto entry = std::make_unique<CFrameUndoEntry>();
    entry->Type = type;
    entry->ObjectId = object->Id;
    entry->PreviousId = PreviousIdOf(object);
    if (type == ObjectAdded || type == GeometryChanged)
        entry->Rect = object->Rect;
    else
        entry->Snapshot = object->Snapshot();
    return entry;
}

CFrameUndoEntry* CFrameUndo::Push(std::vector<std::unique_ptr<CFrameUndoEntry>>& stack,
                                  std::unique_ptr<CFrameUndoEntry> entry) {
    if (stack.size() >= size_t(MaxEntries)) stack.erase(stack.begin());
    stack.push_back(std::move(entry));
    return stack.back().get();
}

CFrameUndoEntry* CFrameUndo::RecordUndo(int type, CFrame* object, bool clearRedo) {
    if (!object) return nullptr;
    if (clearRedo) RedoStack.clear();
    return Push(UndoStack, MakeEntry(type, object));
}

CFrameUndoEntry* CFrameUndo::RecordRedo(int type, CFrame* object) {
    if (!object) return nullptr;
    return Push(RedoStack, MakeEntry(type, object));
}

void CFrameUndo::DropLastUndo() {
    if (!UndoStack.empty()) UndoStack.pop_back();
}

void CFrameUndo::ClearHistory() {
    UndoStack.clear();
    RedoStack.clear();
}

CFrame* CFrameUndo::Undo() { return Apply(UndoStack, RedoStack); }

CFrame* CFrameUndo::Redo() { return Apply(RedoStack, UndoStack); }

CFrame* CFrameUndo::Apply(std::vector<std::unique_ptr<CFrameUndoEntry>>& from,
                          std::vector<std::unique_ptr<CFrameUndoEntry>>& inverseTo) {
    Applied = false;
    if (from.empty()) return nullptr;
    CFrameUndoEntry& entry = *from.back();
    CFrame* result = nullptr;

    switch (entry.Type) {
    case ObjectDeleted: {
        if (!entry.Snapshot) break;
        // The inverse is pushed only once the page has taken the snapshot: on a full
        // page the entry must stay as it is, and pushing and then dropping an inverse
        // could already have pushed the oldest entry off the other stack.
        auto inverse = MakeEntry(ObjectAdded, entry.Snapshot.get());
        CFrame* restored = entry.Snapshot.get();
        if (!page_.InsertAbove(entry.Snapshot, entry.PreviousId)) return nullptr;
        Push(inverseTo, std::move(inverse));
        result = restored;
        break;
    }
    case ObjectAdded:
        if (CFrame* object = page_.FindById(entry.ObjectId)) {
            Push(inverseTo, MakeEntry(ObjectDeleted, object));
            page_.Remove(object);
        }
        break;
    case GeometryChanged:
    case TextChanged:
    case PropertiesChanged:
        result = Restore(entry, inverseTo);
        break;
    default:
        break;
    }

    from.pop_back();
    Applied = true;
    return result;
}

CFrame* CFrameUndo::Restore(CFrameUndoEntry& entry, std::vector<std::unique_ptr<CFrameUndoEntry>>& inverseTo) {
    CFrame* object = page_.FindById(entry.ObjectId);
    if (!object) return nullptr;
    // The render thread must never meet a playing object whose rectangle, text or
    // settings change under it.
    if (page_.OutputOn.load()) object->Stop();
    Push(inverseTo, MakeEntry(entry.Type, object));
    if (entry.Type == GeometryChanged) {
        object->Rect = entry.Rect;
    } else if (entry.Type == TextChanged) {
        object->RichText = entry.Snapshot ? entry.Snapshot->RichText : QByteArray();
    } else if (entry.Snapshot) {
        object->CopyProperties(*entry.Snapshot);
    }
    object->EditorBackgroundValid = 0;
    object->EditorTextValid = 0;
    return object;
}
