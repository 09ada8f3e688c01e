// The page: its objects bottom to top, shared by the user-interface thread and the
// render engine's threads. Every walk over the page works on a snapshot; an object
// removed while snapshots are in use is destroyed when the last one ends.
//
// Threads: snapshots may be taken on any thread. Changes of the list (Add,
// InsertAbove, Move, Remove...) and StopAll run on the user-interface thread
// (StopAll also on the render thread as the engine stops). PageLock is held only for the short bookkeeping, never
// while an object is played, rendered or written.
#pragma once

#include "core/Frame.h"

#include <QStringList>
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

class CFrameSet {
public:
    static constexpr int MaxObjects = 256;

    CFrameSet();
    ~CFrameSet();
    CFrameSet(const CFrameSet&) = delete;
    CFrameSet& operator=(const CFrameSet&) = delete;

    // Snapshots: BeginSnapshot fills list with the live objects, bottom to top, and
    // returns their number; every BeginSnapshot is paired with one EndSnapshot.
    int BeginSnapshot(std::vector<CFrame*>& list);
    void EndSnapshot();

    // Changing the list. Add and InsertAbove take the object when they return true;
    // on false (256 live objects) the object stays with the caller.
    bool Add(std::unique_ptr<CFrame>& object);
    bool InsertAbove(std::unique_ptr<CFrame>& object, int idBelow);
    bool Move(CFrame* object, bool up);
    void Remove(CFrame* object);
    void RemoveAll();

    CFrame* FindById(int id);
    QStringList GroupNames();
    int LiveCount();
    // 1-based number of the object among the live objects from the bottom; 0 if absent.
    int NumberOf(const CFrame* object);

    // Stops every playing object at once (the engine's stop, removing every
    // object); true when it stopped any. Does nothing while the output is off. Commands
    // go through the playback layer's ApplyCommand.
    bool StopAll();
    // Stops the playing objects of the list: Playing and Paused first, then each
    // object's textures once the render thread has let go of it. Returns the
    // objects this call turned off.
    static std::vector<CFrame*> StopObjects(const std::vector<CFrame*>& list);

    // 1 while the render engine's render thread runs: written by that thread (on once
    // its set-up succeeded, before the engine's constructor returns; off as it
    // stops; a tool that plays without an engine sets
    // it itself), read by every command.
    std::atomic<int> OutputOn{0};

private:
    std::mutex PageLock;  // guards Objects, SnapshotDepth, RemovalPending
    std::vector<std::unique_ptr<CFrame>> Objects;
    int SnapshotDepth = 0;
    int RemovalPending = 0;
};

// A snapshot for the length of a scope.
class CPageSnapshot {
public:
    explicit CPageSnapshot(CFrameSet& page) : page_(page) { page_.BeginSnapshot(list); }
    ~CPageSnapshot() { page_.EndSnapshot(); }
    CPageSnapshot(const CPageSnapshot&) = delete;
    CPageSnapshot& operator=(const CPageSnapshot&) = delete;

    std::vector<CFrame*> list;

private:
    CFrameSet& page_;
};
