#include "remote/GlobalHotkeys.h"

#include "base/Translate.h"

#include <xcb/xcb.h>
#include <xcb/xproto.h>

#include <cstdlib>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

constexpr uint32_t KeysymDigit0 = 0x30;
constexpr uint32_t KeysymNumLock = 0xFF7F;

}  // namespace

bool CGlobalHotkeys::Combination(int hotkeyIndex, unsigned& modifiers, uint32_t& keysym) {
    if (hotkeyIndex >= 1 && hotkeyIndex <= 10) {
        modifiers = ModControl;
        keysym = KeysymDigit0 + uint32_t(hotkeyIndex - 1);
        return true;
    }
    if (hotkeyIndex >= 11 && hotkeyIndex <= 20) {
        modifiers = ModAlt;
        keysym = KeysymDigit0 + uint32_t(hotkeyIndex - 11);
        return true;
    }
    return false;
}

CGlobalHotkeys::CGlobalHotkeys(HotkeyTarget target, Remote::LogSink log, const char* display)
    : target_(std::move(target)), log_(std::move(log)) {
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(display, &screenNumber);
    if (const int error = xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        if (log_)
            log_(2, FormatString(QStringLiteral("CGlobalHotkeys::CGlobalHotkeys(): no X display (connection error %d); "
                                                "global hotkeys are off"),
                                 {error}));
        return;
    }
    const xcb_setup_t* setup = xcb_get_setup(connection);
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
    for (int k = 0; k < screenNumber && screens.rem; ++k) xcb_screen_next(&screens);
    if (!screens.rem) {
        xcb_disconnect(connection);
        return;
    }
    root_ = screens.data->root;
    minKeycode_ = setup->min_keycode;

    const uint8_t count = uint8_t(setup->max_keycode - setup->min_keycode + 1);
    if (xcb_get_keyboard_mapping_reply_t* map = xcb_get_keyboard_mapping_reply(
            connection, xcb_get_keyboard_mapping(connection, setup->min_keycode, count), nullptr)) {
        keysymsPerKeycode_ = map->keysyms_per_keycode;
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map);
        keysyms_.assign(syms, syms + xcb_get_keyboard_mapping_keysyms_length(map));
        std::free(map);
    }
    connection_ = connection;
    // The modifier bit that Num Lock's key sets: its grabs are made with and without it.
    const uint8_t numLockKey = Keycode(KeysymNumLock);
    if (xcb_get_modifier_mapping_reply_t* modifiers =
            xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr)) {
        const xcb_keycode_t* keys = xcb_get_modifier_mapping_keycodes(modifiers);
        const int perModifier = modifiers->keycodes_per_modifier;
        for (int modifier = 0; modifier < 8 && numLockKey; ++modifier)
            for (int k = 0; k < perModifier; ++k)
                if (keys[modifier * perModifier + k] == numLockKey) numLock_ = 1u << modifier;
        std::free(modifiers);
    }
    wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    thread_ = std::thread([this] { EventThread(); });
}

CGlobalHotkeys::~CGlobalHotkeys() {
    if (!connection_) return;
    if (wake_ >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(wake_, &one, sizeof one);
    }
    // The event thread waits at most a second at a time, so this returns without the wake event too.
    if (thread_.joinable()) thread_.join();
    UnregisterAll();
    xcb_disconnect(connection_);
    if (wake_ >= 0) ::close(wake_);
}

uint8_t CGlobalHotkeys::Keycode(uint32_t keysym) const {
    if (keysymsPerKeycode_ <= 0) return 0;
    // The unshifted column first, then the others (digits are shifted on some layouts).
    for (int column = 0; column < keysymsPerKeycode_; ++column)
        for (size_t k = 0; k * size_t(keysymsPerKeycode_) + size_t(column) < keysyms_.size(); ++k)
            if (keysyms_[k * size_t(keysymsPerKeycode_) + size_t(column)] == keysym) return uint8_t(minKeycode_ + k);
    return 0;
}

std::vector<unsigned> CGlobalHotkeys::LockVariants() const {
    // Without a Num Lock modifier the variants with it are the same grabs.
    if (numLock_ == 0) return {0, XCB_MOD_MASK_LOCK};
    return {0, numLock_, XCB_MOD_MASK_LOCK, numLock_ | XCB_MOD_MASK_LOCK};
}

bool CGlobalHotkeys::Grab(unsigned modifiers, uint8_t keycode) {
    xcb_void_cookie_t cookies[4];
    int made = 0;
    for (unsigned variant : LockVariants()) {
        cookies[made++] = xcb_grab_key_checked(connection_, 1, root_, uint16_t(modifiers | variant), keycode,
                                               XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    }
    bool granted = true;
    for (int k = 0; k < made; ++k) {
        // A grab another client holds comes back as BadAccess; any error refuses it.
        if (xcb_generic_error_t* error = xcb_request_check(connection_, cookies[k])) {
            granted = false;
            std::free(error);
        }
    }
    // Ungrabbing a variant that was never ours leaves the other client's grab alone.
    if (!granted) Ungrab(modifiers, keycode);
    return granted;
}

void CGlobalHotkeys::Ungrab(unsigned modifiers, uint8_t keycode) {
    for (unsigned variant : LockVariants()) xcb_ungrab_key(connection_, keycode, root_, uint16_t(modifiers | variant));
    xcb_flush(connection_);
}

bool CGlobalHotkeys::Register(int id, unsigned modifiers, uint32_t keysym) {
    if (!connection_) return false;
    Unregister(id);
    // A connection the server dropped answers every request without an error.
    if (xcb_connection_has_error(connection_)) return false;
    const uint8_t keycode = Keycode(keysym);
    if (keycode == 0 || !Grab(modifiers, keycode)) return false;
    std::lock_guard<std::mutex> guard(lock_);
    grabs_[id] = {modifiers, keycode};
    return true;
}

bool CGlobalHotkeys::Unregister(int id) {
    if (!connection_) return false;
    Grabbed grab;
    {
        std::lock_guard<std::mutex> guard(lock_);
        const auto found = grabs_.find(id);
        if (found == grabs_.end()) return false;
        grab = found->second;
        grabs_.erase(found);
    }
    Ungrab(grab.modifiers, grab.keycode);
    return true;
}

void CGlobalHotkeys::UnregisterAll() {
    std::map<int, Grabbed> all;
    {
        std::lock_guard<std::mutex> guard(lock_);
        all.swap(grabs_);
    }
    if (!connection_) return;
    for (const auto& [id, grab] : all) Ungrab(grab.modifiers, grab.keycode);
}

bool CGlobalHotkeys::RegisterAutomationHotkey(int entry, int hotkeyIndex) {
    unsigned modifiers = 0;
    uint32_t keysym = 0;
    const bool registered = Combination(hotkeyIndex, modifiers, keysym) && Register(entry, modifiers, keysym);
    if (log_)
        log_(2, FormatString(QStringLiteral("CMainDoc::AutomationRegisterGlobalHotkeys(%d, %d) = %d"),
                             {entry, hotkeyIndex, registered ? 1 : 0}));
    return registered;
}

void CGlobalHotkeys::EventThread() {
    const int descriptor = xcb_get_file_descriptor(connection_);
    const unsigned ignored = numLock_ | XCB_MOD_MASK_LOCK;
    for (;;) {
        pollfd waits[2] = {{wake_, POLLIN, 0}, {descriptor, POLLIN, 0}};
        const int ready = ::poll(waits, 2, 1000);
        if (waits[0].revents) return;
        if (xcb_connection_has_error(connection_)) return;  // the X server went away: nothing more comes
        if (ready <= 0) continue;
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
            const uint8_t type = event->response_type & 0x7F;
            if (type == XCB_KEY_PRESS || type == XCB_KEY_RELEASE) {
                const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event);
                if (type == XCB_KEY_RELEASE) {
                    lastRelease_[key->detail] = key->time;
                } else {
                    // The server repeats a held key as a release and a press with the
                    // same time stamp; such a press is no new one.
                    const auto released = lastRelease_.find(key->detail);
                    const bool repeat = released != lastRelease_.end() && released->second == key->time;
                    if (!repeat) {
                        const unsigned modifiers = key->state & ~ignored & 0xFF;
                        int id = 0;
                        bool found = false;
                        {
                            std::lock_guard<std::mutex> guard(lock_);
                            for (const auto& [candidate, grab] : grabs_)
                                if (grab.keycode == key->detail && grab.modifiers == modifiers) {
                                    id = candidate;
                                    found = true;
                                    break;
                                }
                        }
                        if (found) target_.Post(id);
                    }
                }
            }
            std::free(event);
        }
    }
}
