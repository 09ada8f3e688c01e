#include "playback/PlayCommand.h"

#include <algorithm>

namespace {

// Play and End report only what their own callers need; a command reports every
// object whose play state it moved.
struct PlayState {
    int playing, paused, endTime, ending, clock;
    explicit PlayState(const CFrame& f)
        : playing(f.Playing.load()), paused(f.Paused.load()), endTime(f.EndTime), ending(f.Ending), clock(f.Clock) {}
    bool operator==(const PlayState&) const = default;
};

template <typename Operation>
bool Moved(CFrame* object, Operation operation) {
    const PlayState before(*object);
    operation(*object);
    return !(before == PlayState(*object));
}

// The target's objects in the order the command reaches them.
std::vector<CFrame*> Resolve(const std::vector<CFrame*>& live, const CommandTarget& target) {
    using Kind = CommandTarget::Kind;
    std::vector<CFrame*> objects;
    switch (target.kind) {
    case Kind::Object:
    case Kind::ObjectAndGroup:
        // An object that left the page (or never was on it) is not played.
        if (!target.object || std::find(live.begin(), live.end(), target.object) == live.end()) break;
        objects.push_back(target.object);
        if (target.kind == Kind::ObjectAndGroup && !target.object->Group.isEmpty())
            for (CFrame* object : live)
                if (object != target.object && object->Group == target.object->Group) objects.push_back(object);
        break;
    case Kind::Group:
        if (target.group.isEmpty()) break;
        for (CFrame* object : live)
            if (object->Group == target.group) objects.push_back(object);
        break;
    case Kind::Hotkey:
        if (target.hotkey == 0) break;
        for (CFrame* object : live)
            if (object->Hotkey == target.hotkey) objects.push_back(object);
        break;
    case Kind::SwitcherButton:
        if (target.hotkey == 0) break;
        for (CFrame* object : live)
            if (object->SwitcherButton == target.hotkey) objects.push_back(object);
        break;
    case Kind::All:
        for (CFrame* object : live)
            if (std::find(target.except.begin(), target.except.end(), object) == target.except.end())
                objects.push_back(object);
        break;
    case Kind::Selection:
        break;
    }
    return objects;
}

}  // namespace

CommandResult ApplyCommand(CFrameSet& page, PlayCommand command, const CommandTarget& target) {
    CommandResult result;
    if (!page.OutputOn.load()) return result;
    CPageSnapshot snapshot(page);
    const std::vector<CFrame*> objects = Resolve(snapshot.list, target);
    if (objects.empty()) return result;
    result.reached = true;

    if (command == PlayCommand::Toggle) {
        const bool named = target.kind == CommandTarget::Kind::Object || target.kind == CommandTarget::Kind::ObjectAndGroup;
        const bool playing = named ? objects.front()->Playing.load() != 0
                                   : std::any_of(objects.begin(), objects.end(),
                                                 [](const CFrame* o) { return o->Playing.load() != 0; });
        command = playing ? PlayCommand::End : PlayCommand::Play;
    }
    result.applied = command;
    switch (command) {
    case PlayCommand::Play:
        for (CFrame* object : objects)
            if (Moved(object, [](CFrame& f) { f.Play(); })) result.changed.push_back(object);
        break;
    case PlayCommand::End:
        for (CFrame* object : objects)
            if (Moved(object, [](CFrame& f) { f.End(); })) result.changed.push_back(object);
        break;
    case PlayCommand::PauseResume:
        for (CFrame* object : objects) {
            if (!object->Playing.load()) continue;
            object->TogglePause();
            result.changed.push_back(object);
        }
        break;
    case PlayCommand::Stop:
        result.changed = CFrameSet::StopObjects(objects);
        break;
    case PlayCommand::Toggle:
        break;  // resolved above
    }
    return result;
}
