#include "core/FrameSet.h"

#include <algorithm>

namespace {
// Play and End on behalf of a page command, which reports whether anything changed
// (Play and End themselves report only what their own callers need).
struct PlayState {
    int playing, paused, endTime, ending, clock;
    explicit PlayState(const CFrame& f)
        : playing(f.Playing.load()), paused(f.Paused.load()), endTime(f.EndTime), ending(f.Ending), clock(f.Clock) {}
    bool operator==(const PlayState&) const = default;
};
int Played(CFrame* object) {
    const PlayState before(*object);
    object->Play();
    return before == PlayState(*object) ? 0 : 1;
}
int Ended(CFrame* object) {
    const PlayState before(*object);
    object->End();
    return before == PlayState(*object) ? 0 : 1;
}
}  // namespace

CFrameSet::CFrameSet() = default;

CFrameSet::~CFrameSet() {
    std::vector<CFrame*> list;
    BeginSnapshot(list);
    StopObjects(list);
    EndSnapshot();
}

int CFrameSet::BeginSnapshot(std::vector<CFrame*>& list) {
    list.clear();
    std::lock_guard guard(PageLock);
    ++SnapshotDepth;
    RemovalPending = 0;
    list.reserve(Objects.size());
    for (const auto& object : Objects) {
        if (object->Deleted) {
            RemovalPending = 1;
            continue;
        }
        list.push_back(object.get());
    }
    return int(list.size());
}

void CFrameSet::EndSnapshot() {
    std::vector<std::unique_ptr<CFrame>> doomed;
    {
        std::lock_guard guard(PageLock);
        if (SnapshotDepth <= 0) return;
        if (--SnapshotDepth == 0 && RemovalPending) {
            auto firstDeleted = std::stable_partition(Objects.begin(), Objects.end(),
                                                      [](const auto& object) { return !object->Deleted; });
            std::move(firstDeleted, Objects.end(), std::back_inserter(doomed));
            Objects.erase(firstDeleted, Objects.end());
            RemovalPending = 0;
        }
    }
    // Destroyed outside the lock: a destructor may wait for the render thread.
}

int CFrameSet::Add(std::unique_ptr<CFrame>& object) {
    CPageSnapshot snapshot(*this);
    if (snapshot.list.size() >= size_t(MaxObjects)) return 0;
    std::lock_guard guard(PageLock);
    Objects.push_back(std::move(object));
    return 1;
}

int CFrameSet::InsertAbove(std::unique_ptr<CFrame>& object, int idBelow) {
    CPageSnapshot snapshot(*this);
    if (snapshot.list.size() >= size_t(MaxObjects)) return 0;
    std::lock_guard guard(PageLock);
    auto at = Objects.end();
    if (idBelow == 0) {
        at = Objects.begin();
    } else {
        auto below = std::find_if(Objects.begin(), Objects.end(),
                                  [&](const auto& o) { return !o->Deleted && o->Id == idBelow; });
        if (below != Objects.end()) at = below + 1;
    }
    Objects.insert(at, std::move(object));
    return 1;
}

int CFrameSet::Move(CFrame* object, bool up) {
    CPageSnapshot snapshot(*this);
    std::lock_guard guard(PageLock);
    auto it = std::find_if(Objects.begin(), Objects.end(), [&](const auto& o) { return o.get() == object; });
    if (it == Objects.end() || object->Deleted) return 0;
    // The neighbour is the next live object: one waiting for removal is no longer
    // part of the order the operator sees.
    if (up) {
        auto other = std::find_if(it + 1, Objects.end(), [](const auto& o) { return !o->Deleted; });
        if (other == Objects.end()) return 0;
        std::iter_swap(it, other);
    } else {
        auto other = std::find_if(std::make_reverse_iterator(it), Objects.rend(), [](const auto& o) { return !o->Deleted; });
        if (other == Objects.rend()) return 0;
        std::iter_swap(it, other);
    }
    return 1;
}

void CFrameSet::Remove(CFrame* object) {
    if (!object) return;
    object->Stop();
    std::lock_guard guard(PageLock);
    object->Deleted = 1;
    RemovalPending = 1;
}

void CFrameSet::RemoveAll() {
    StopAll();
    CPageSnapshot snapshot(*this);
    std::lock_guard guard(PageLock);
    for (CFrame* object : snapshot.list) object->Deleted = 1;
    if (!snapshot.list.empty()) RemovalPending = 1;
}

CFrame* CFrameSet::FindById(int id) {
    CPageSnapshot snapshot(*this);
    for (CFrame* object : snapshot.list)
        if (object->Id == id) return object;
    return nullptr;
}

QStringList CFrameSet::GroupNames() {
    CPageSnapshot snapshot(*this);
    QStringList names;
    for (CFrame* object : snapshot.list)
        if (!object->Group.isEmpty() && !names.contains(object->Group)) names << object->Group;
    return names;
}

int CFrameSet::LiveCount() {
    CPageSnapshot snapshot(*this);
    return int(snapshot.list.size());
}

int CFrameSet::NumberOf(const CFrame* object) {
    CPageSnapshot snapshot(*this);
    auto it = std::find(snapshot.list.begin(), snapshot.list.end(), object);
    return it == snapshot.list.end() ? 0 : int(it - snapshot.list.begin()) + 1;
}

int CFrameSet::PlayAll() { return PlayAllExcept({}); }

int CFrameSet::PlayAllExcept(const std::vector<CFrame*>& except) {
    if (!OutputOn.load()) return 0;
    CPageSnapshot snapshot(*this);
    int changed = 0;
    for (CFrame* object : snapshot.list)
        if (std::find(except.begin(), except.end(), object) == except.end()) changed |= Played(object);
    return changed;
}

int CFrameSet::PauseAll() {
    if (!OutputOn.load()) return 0;
    CPageSnapshot snapshot(*this);
    int changed = 0;
    for (CFrame* object : snapshot.list) {
        if (!object->Playing.load()) continue;
        object->TogglePause();
        changed = 1;
    }
    return changed;
}

int CFrameSet::EndAll() {
    if (!OutputOn.load()) return 0;
    CPageSnapshot snapshot(*this);
    int changed = 0;
    for (CFrame* object : snapshot.list) changed |= Ended(object);
    return changed;
}

int CFrameSet::StopObjects(const std::vector<CFrame*>& list) {
    // Only the objects this call turned off: one that is not playing holds no
    // textures, or is being stopped by another thread (the render thread, when it
    // finishes) that releases them itself.
    // Stopping is raised first, as Stop does, so a Play on another thread waits
    // until the textures are gone instead of starting under the release.
    std::vector<CFrame*> stopped;
    for (CFrame* object : list) {
        object->Stopping.fetch_add(1);
        if (!object->Playing.exchange(0)) {
            object->Stopping.fetch_sub(1);
            continue;
        }
        object->Paused.exchange(0);
        stopped.push_back(object);
    }
    for (CFrame* object : stopped) {
        object->ReleaseTextures();
        object->Stopping.fetch_sub(1);
    }
    return stopped.empty() ? 0 : 1;
}

int CFrameSet::StopAll() {
    if (!OutputOn.load()) return 0;
    CPageSnapshot snapshot(*this);
    return StopObjects(snapshot.list);
}

int CFrameSet::PlayGroup(const QString& name, const CFrame* except) {
    if (!OutputOn.load() || name.isEmpty()) return 0;
    CPageSnapshot snapshot(*this);
    int changed = 0;
    for (CFrame* object : snapshot.list)
        if (object != except && object->Group == name) changed |= Played(object);
    return changed;
}

int CFrameSet::PauseGroup(const QString& name, const CFrame* except) {
    if (!OutputOn.load() || name.isEmpty()) return 0;
    CPageSnapshot snapshot(*this);
    int changed = 0;
    for (CFrame* object : snapshot.list) {
        if (object == except || object->Group != name || !object->Playing.load()) continue;
        object->TogglePause();
        changed = 1;
    }
    return changed;
}

int CFrameSet::EndGroup(const QString& name, const CFrame* except) {
    if (!OutputOn.load() || name.isEmpty()) return 0;
    CPageSnapshot snapshot(*this);
    int changed = 0;
    for (CFrame* object : snapshot.list)
        if (object != except && object->Group == name) changed |= Ended(object);
    return changed;
}

int CFrameSet::StopGroup(const QString& name, const CFrame* except) {
    if (!OutputOn.load() || name.isEmpty()) return 0;
    CPageSnapshot snapshot(*this);
    std::vector<CFrame*> members;
    for (CFrame* object : snapshot.list)
        if (object != except && object->Group == name) members.push_back(object);
    return StopObjects(members);
}

int CFrameSet::TogglePlay(CFrame* object) {
    if (!OutputOn.load() || !object) return 0;
    if (object->Playing.load()) {
        const int ended = Ended(object);
        return ended | EndGroup(object->Group, object);
    }
    const int played = Played(object);
    return played | PlayGroup(object->Group, object);
}

int CFrameSet::ToggleHotkey(int key) {
    if (!OutputOn.load() || key == 0) return 0;
    CPageSnapshot snapshot(*this);
    std::vector<CFrame*> keyed;
    bool anyPlaying = false;
    for (CFrame* object : snapshot.list) {
        if (object->Hotkey != key) continue;
        keyed.push_back(object);
        anyPlaying = anyPlaying || object->Playing.load();
    }
    int changed = 0;
    for (CFrame* object : keyed) {
        if (anyPlaying && object->Playing.load()) {
            changed |= Ended(object);
        } else if (!anyPlaying) {
            changed |= Played(object);
        }
    }
    return changed;
}
