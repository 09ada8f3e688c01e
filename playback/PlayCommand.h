// The one way a play command reaches the objects of a page: a command (play,
// pause or resume, end, stop, toggle) and a target (one object, an object and its
// group, a group by name, the objects of a hotkey, every object), applied here
// and nowhere else, so that the editor, scripts, switcher buttons, keypad,
// hotkeys, plug-ins and the command-line tool all behave alike.
//
// Threads: the thread that gives commands: the user-interface thread, or the
// tool's play-out loop (which may run it on the render thread between frames).
// Never the text thread: a Play or a Stop waits for the text thread to let go of
// an object.
#pragma once

#include "core/FrameSet.h"

#include <QString>
#include <vector>

enum class PlayCommand {
    Play,         // starts the objects; a paused one resumes, a repeating one starts its next repetition
    PauseResume,  // pauses the playing objects, or resumes the paused ones
    End,          // plays them out through their out effects
    Stop,         // cuts them at once
    Toggle,       // ends them when they play, plays them when they do not
};

struct CommandTarget {
    enum class Kind {
        Object,          // the object alone
        ObjectAndGroup,  // the object, then the other objects of its group
        Group,           // every object of a named group
        Hotkey,          // every object with that hotkey
        SwitcherButton,  // every object bound to that switcher button (1-16)
        All,             // every object of the page, but those in Except
        Selection,       // the editor's selected object and its group: resolved by the document
    };
    Kind kind = Kind::All;
    CFrame* object = nullptr;
    QString group;
    int hotkey = 0;
    std::vector<CFrame*> except;  // for All: objects left as they are

    static CommandTarget One(CFrame* object) { return {Kind::Object, object, {}, 0, {}}; }
    static CommandTarget WithGroup(CFrame* object) { return {Kind::ObjectAndGroup, object, {}, 0, {}}; }
    static CommandTarget NamedGroup(const QString& name) { return {Kind::Group, nullptr, name, 0, {}}; }
    static CommandTarget OfHotkey(int key) { return {Kind::Hotkey, nullptr, {}, key, {}}; }
    // hotkey holds the button number: one field for the one number a target names.
    static CommandTarget OfButton(int number) { return {Kind::SwitcherButton, nullptr, {}, number, {}}; }
    static CommandTarget Every(std::vector<CFrame*> except = {}) { return {Kind::All, nullptr, {}, 0, std::move(except)}; }
    static CommandTarget Selected() { return {Kind::Selection, nullptr, {}, 0, {}}; }
};

// What a command changed: the objects whose play state it changed, in the order
// it reached them.
struct CommandResult {
    std::vector<CFrame*> changed;
    // What was applied: a Toggle becomes End when it found an object playing and
    // Play otherwise, decided in the same snapshot it acted on. Unchanged when the
    // target named nothing or the output was off.
    PlayCommand applied = PlayCommand::Play;
    bool reached = false;  // the target named at least one object on the page
    bool Changed() const { return !changed.empty(); }
};

// Applies the command to the target's objects. Nothing happens while the page's
// output is off, for a target that names nothing (no object, an empty group name,
// hotkey or button 0) or for a Selection (the document resolves it first). Toggle decides
// on the named object for Object and ObjectAndGroup, and on whether any of the
// objects plays for the others.
CommandResult ApplyCommand(CFrameSet& page, PlayCommand command, const CommandTarget& target);
