#include "core/FrameSet.h"

#include <algorithm>

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

bool CFrameSet::Add(std::unique_ptr<CFrame>& object) {
    CPageSnapshot snapshot(*this);
    if (snapshot.list.size() >= size_t(MaxObjects)) return false;
    std::lock_guard guard(PageLock);
    Objects.push_back(std::move(object));
    return true;
}

bool CFrameSet::InsertAbove(std::unique_ptr<CFrame>& object, int idBelow) {
    CPageSnapshot snapshot(*this);
    if (snapshot.list.size() >= size_t(MaxObjects)) return false;
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
    return true;
}

bool CFrameSet::Move(CFrame* object, bool up) {
    CPageSnapshot snapshot(*this);
    std::lock_guard guard(PageLock);
    auto it = std::find_if(Objects.begin(), Objects.end(), [&](const auto& o) { return o.get() == object; });
    if (it == Objects.end() || object->Deleted) return false;
    // The neighbour is the next live object: one waiting for removal is no longer
    // part of the order the operator sees.
    if (up) {
        auto other = std::find_if(it + 1, Objects.end(), [](const auto& o) { return !o->Deleted; });
        if (other == Objects.end()) return false;
        std::iter_swap(it, other);
    } else {
        auto other = std::find_if(std::make_reverse_iterator(it), Objects.rend(), [](const auto& o) { return !o->Deleted; });
        if (other == Objects.rend()) return false;
        std::iter_swap(it, other);
    }
    return true;
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

std::vector<CFrame*> CFrameSet::StopObjects(const std::vector<CFrame*>& list) {
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
            object->WaitForText();  // stopped by the render thread, maybe under a text step
            continue;
        }
        object->Paused.exchange(0);
        stopped.push_back(object);
    }
    for (CFrame* object : stopped) {
        object->ReleaseTextures();
        object->Stopping.fetch_sub(1);
    }
    return stopped;
}

bool CFrameSet::StopAll() {
    if (!OutputOn.load()) return false;
    CPageSnapshot snapshot(*this);
    return !StopObjects(snapshot.list).empty();
}

