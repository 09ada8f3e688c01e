// System-wide key combinations: grabbed on the X server's root window, so they
// reach the program while another application has the focus. A press is posted to
// the receiver with the identifier it was registered under; auto-repeat is dropped.
// Its own connection to the X server and a thread that reads its events, so it
// works whatever platform the toolkit runs on.
#pragma once

#include "remote/RemoteEvents.h"

#include <cstdint>
#include <map>
#include <vector>
#include <mutex>
#include <thread>

struct xcb_connection_t;

class CGlobalHotkeys {
public:
    // (identifier) on the receiver's thread.
    using HotkeyTarget = Remote::EventTarget<int>;

    // Modifier bits (the X server's).
    static constexpr unsigned ModControl = 1u << 2;
    static constexpr unsigned ModAlt = 1u << 3;

    // Hotkey index 1-10: Ctrl with the digit index - 1; 11-20: Alt with the digit
    // index - 11 (the main keyboard's digit keys). False for any other index.
    static bool Combination(int hotkeyIndex, unsigned& modifiers, uint32_t& keysym);

    // display: the X display name (null: $DISPLAY). Without a display the object is
    // unavailable and every registration fails. User-interface thread.
    explicit CGlobalHotkeys(HotkeyTarget target, Remote::LogSink log = Remote::DefaultLog(), const char* display = nullptr);
    ~CGlobalHotkeys();

    CGlobalHotkeys(const CGlobalHotkeys&) = delete;
    CGlobalHotkeys& operator=(const CGlobalHotkeys&) = delete;

    bool IsAvailable() const { return connection_ != nullptr; }

    // Grabs modifiers + the key of keysym, also with Num Lock and Caps Lock on, as id.
    // False when the key is unknown or the X server refuses a grab (another client
    // holds the combination: BadAccess); then nothing stays grabbed. A new
    // registration under an id in use replaces the old one. User-interface thread.
    bool Register(int id, unsigned modifiers, uint32_t keysym);
    // Releases id; false when it was not registered. User-interface thread.
    bool Unregister(int id);
    void UnregisterAll();

    // The automation entry's registration: hotkey index (1-20) as entry, logged at
    // level 2 as "CMainDoc::AutomationRegisterGlobalHotkeys(%d, %d) = %d" with the
    // entry, the index and 1 or 0. User-interface thread.
    bool RegisterAutomationHotkey(int entry, int hotkeyIndex);

private:
    struct Grabbed {
        unsigned modifiers = 0;
        uint8_t keycode = 0;
    };

    uint8_t Keycode(uint32_t keysym) const;
    // The lock states a combination is grabbed in: none, Num Lock, Caps Lock, both.
    std::vector<unsigned> LockVariants() const;
    bool Grab(unsigned modifiers, uint8_t keycode);
    void Ungrab(unsigned modifiers, uint8_t keycode);
    void EventThread();

    const HotkeyTarget target_;
    const Remote::LogSink log_;

    // Fixed after construction; xcb serialises the calls of both threads itself.
    xcb_connection_t* connection_ = nullptr;
    uint32_t root_ = 0;
    unsigned numLock_ = 0;  // the modifier bit Num Lock sets (0 when it has none)
    uint8_t minKeycode_ = 0;
    int keysymsPerKeycode_ = 0;
    std::vector<uint32_t> keysyms_;  // the keyboard map, from minKeycode_

    std::mutex lock_;  // guards grabs_
    // Written by the user-interface thread, read by the event thread, under lock_.
    std::map<int, Grabbed> grabs_;

    // The event thread's alone (auto-repeat detection).
    std::map<uint8_t, uint32_t> lastRelease_;  // keycode -> time of its last release

    int wake_ = -1;  // eventfd that ends the event thread; fixed after construction
    std::thread thread_;
};
