// The client of a network video switcher's remote buttons: a worker thread
// exchanges UDP datagrams with the switcher, turns changes of its button mask into
// button events for the user-interface thread and sends the lamp states that the
// user-interface thread sets.
//
// Wire format (16-bit fields big-endian):
//   lamps, to the switcher:  00 02, then 0 to 16 bytes (value << 4) | index, ascending;
//                            00 02 alone is the keep-alive
//   buttons, from it:        00 01, then the 16-bit mask (bit i: button i held down)
#pragma once

#include "remote/RemoteEvents.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

namespace RemoteButtons {

constexpr uint16_t DefaultPort = 9020;
constexpr int LampCount = 16;
constexpr uint16_t TypeButtons = 1;
constexpr uint16_t TypeLamps = 2;
// The most the client reads of a datagram; a longer one is a receive error.
constexpr size_t ButtonMessageSize = 4;
constexpr size_t MaxLampMessageSize = 2 + LampCount;
// Lamp byte: bits 0-6 the value, bit 7 the changed mark (changed, not yet sent).
constexpr uint8_t ChangedMark = 0x80;
constexpr uint8_t ValueBits = 0x7F;

struct ButtonEvent {
    bool pressed = false;
    int index = 0;  // 0-15
};

enum class DatagramResult {
    Ignored,       // shorter than a button message, or another type: nothing changes
    ReceiveError,  // longer than a button message: its tail does not fit
    Handled,       // a button mask; the events are its changes against the last mask
};

// One received datagram. received is its full length as the socket reported it;
// data holds its first min(received, 4) bytes and nothing beyond them is read.
// On Handled, lastButtons becomes the datagram's mask and events[0..count) are the
// buttons whose bit changed, in ascending order. Pure: no socket, no thread.
DatagramResult HandleDatagram(const uint8_t* data, size_t received, uint16_t& lastButtons,
                              std::array<ButtonEvent, LampCount>& events, int& count);

// The lamp message from the stored lamps: every lamp when sendAll is set, else the
// lamps with the changed mark; the marks of the lamps taken are cleared. Returns
// the message length (2 when no lamp was taken).
size_t BuildLampMessage(std::array<uint8_t, LampCount>& lamps, bool sendAll,
                        std::array<uint8_t, MaxLampMessageSize>& message);

// The IPv4 address of the setting "RemoteIP" (first part of the dotted address in
// the low byte) as dotted text, and back; FromDotted returns 0 for anything else.
QString ToDotted(uint32_t address);
uint32_t FromDotted(const QString& text);

// Timing of the worker; the defaults are the product's, tests shorten them.
struct Timing {
    uint16_t port = DefaultPort;
    int waitMs = 5000;      // the longest wait: a keep-alive (or a reconnection) follows each one that times out
    int endPauseMs = 100;   // pause before the socket closes at the end
    int joinWaitMs = 1000;  // how long destruction waits before it says the worker is late
};

}  // namespace RemoteButtons

class CRemoteButtonsInterface {
public:
    // (pressed, button index 0-15), on the receiver's thread, in the order the
    // worker found them (ascending within one datagram).
    using ButtonTarget = Remote::EventTarget<bool, int>;

    // address: as the setting "RemoteIP" stores it. Starts the worker; does not
    // wait for the network. Without a connected target, events are dropped but the
    // button state is still tracked. User-interface thread.
    CRemoteButtonsInterface(uint32_t address, ButtonTarget target, RemoteButtons::Timing timing = {},
                            Remote::LogSink log = Remote::DefaultLog());
    // Sends all lamps off when connected, then ends the worker (waits for it; every
    // wait of the worker is bounded, so this cannot hang on the network).
    // User-interface thread.
    ~CRemoteButtonsInterface();

    CRemoteButtonsInterface(const CRemoteButtonsInterface&) = delete;
    CRemoteButtonsInterface& operator=(const CRemoteButtonsInterface&) = delete;

    // Lamp i takes lamps[i] (0 off, 1 on; bits 0-6 count); only changed lamps are
    // sent. User-interface thread (any thread is safe).
    void SetButtonLamps(const std::array<uint8_t, RemoteButtons::LampCount>& lamps);

private:
    void MainThread();
    void SetWake();
    void ClearWake();
    void LogError(int error);

    const uint32_t address_;
    const ButtonTarget target_;
    const RemoteButtons::Timing timing_;
    const Remote::LogSink log_;

    // Written by the worker only.
    uint16_t lastButtons_ = 0;

    std::mutex lock_;  // guards lamps_ and running_
    // Written by SetButtonLamps (marks set) and the worker (marks cleared, all off at the end), under lock_.
    std::array<uint8_t, RemoteButtons::LampCount> lamps_{};
    // Cleared once by the destructor, under lock_; read by the worker under lock_.
    bool running_ = true;

    // The wake event: an eventfd, readable while set. Written by both threads
    // (the kernel object is its own guard); the descriptor is fixed for the life of the object.
    int wake_ = -1;

    // Set by the worker as it leaves; the destructor waits on it up to joinWaitMs.
    std::mutex endLock_;  // guards ended_
    std::condition_variable endSignal_;
    bool ended_ = false;

    std::thread thread_;
};
