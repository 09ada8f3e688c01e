// The 24-key backlit USB keypad of the plug-in panel: key presses become key
// events for the panel, and each key's backlight shows the state the panel wants.
// The device is reached through a transport (hidapi in the product, a fake in
// tests) that offers the five operations the controller needs.
#pragma once

#include "remote/RemoteEvents.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace XKeys {

constexpr uint16_t VendorId = 0x05F3;
constexpr uint16_t UsagePage = 0x0C;
constexpr std::array<uint16_t, 4> ProductIds = {0x0403, 0x0404, 0x0405, 0x04E1};
constexpr int KeyCount = 24;
constexpr int Rows = 6;
// Output reports are always this long, zero but for the bytes named; byte 0 is the report id 0.
constexpr size_t OutputReportSize = 80;
// Input reports carry the report id in byte 0 and the key columns in bytes 3 to 6:
// a shorter report cannot hold them and is ignored.
constexpr size_t MinInputReportSize = 7;
constexpr size_t MaxInputReportSize = OutputReportSize;
// The result code of a report that says the device went away.
constexpr int DeviceError = 307;

// Wanted light of a key.
enum KeyLight : int {
    LightOff = 1,
    LightSecondBank = 2,
    LightAssigned = 3,
    LightAssignedPlaying = 4,
};

// The keypad's own number of key k (column k div 6, row k mod 6).
constexpr int KeypadNumber(int key) { return 8 * (key / Rows) + key % Rows; }

bool IsKnownProduct(uint16_t productId);

struct KeyEvent {
    int key = 0;      // 0-23
    int pressed = 0;  // 1 pressed, 0 released
};

// One input report: every key whose bit differs from keyStates gives an event
// (ascending keys) and keyStates follows the report. A report shorter than
// MinInputReportSize or longer than MaxInputReportSize changes nothing; nothing
// past length is read. Pure: no device, no thread. Returns the event count.
int HandleReport(const uint8_t* report, size_t length, std::array<bool, KeyCount>& keyStates,
                 std::array<KeyEvent, KeyCount>& events);

// The two backlight reports for key (bytes 1 to 3 matter): second bank first, then first bank.
void BacklightReports(int key, int wanted, std::array<uint8_t, OutputReportSize>& secondBank,
                      std::array<uint8_t, OutputReportSize>& firstBank);
// The backlight intensity report written when a keypad opens.
std::array<uint8_t, OutputReportSize> IntensityReport();

}  // namespace XKeys

// A listed device of the vendor.
struct XKDeviceRecord {
    uint16_t productId = 0;
    uint16_t usage = 0;
    uint16_t usagePage = 0;
    int handle = 0;  // the transport's handle of the device
};

// Keypad access. Results: 0 success, anything else failure. The data callback gets
// (report, length, device handle, error); error 307 says the device went away.
class IXKTransport {
public:
    using DataCallback = std::function<void(const uint8_t* report, size_t length, int handle, int error)>;

    virtual ~IXKTransport() = default;
    // Whether the transport can work at all (its library initialised).
    virtual bool Load() = 0;
    virtual int Enumerate(uint16_t vendorId, std::vector<XKDeviceRecord>& devices) = 0;
    virtual int Setup(int handle) = 0;
    virtual int Write(int handle, const std::array<uint8_t, XKeys::OutputReportSize>& report) = 0;
    // From now on, calls back with each input report on a thread of the transport's.
    virtual int SetDataCallback(int handle, DataCallback callback) = 0;
    // Ends the callbacks for handle and closes it. May be called from inside the
    // callback (the device error); then it returns without waiting for the callback.
    virtual void CloseInterface(int handle) = 0;
};

// The hidapi transport (hidraw): one reader thread per open device.
std::unique_ptr<IXKTransport> MakeHidXKTransport();

class CXKController {
public:
    // (key 0-23, 1 pressed or 0 released) on the panel's thread.
    using KeyTarget = Remote::EventTarget<int, int>;

    // Loads the transport, sets every wanted light off and opens the first
    // matching keypad. User-interface thread.
    CXKController(std::unique_ptr<IXKTransport> transport, KeyTarget panel, Remote::LogSink log = Remote::DefaultLog());
    // Every light off, then the keypad closed. User-interface thread.
    ~CXKController();

    CXKController(const CXKController&) = delete;
    CXKController& operator=(const CXKController&) = delete;

    // Opens the first matching keypad; the panel's timer calls it while IsOpen() is
    // false, so a keypad plugged in later is picked up. User-interface thread.
    void Open();
    void Close();
    bool IsOpen() const;
    bool IsAvailable() const { return available_; }

    // The panel sets wanted lights (KeyLight), then writes the changed ones with
    // UpdateBacklights. User-interface thread.
    void SetKeyLight(int key, int wanted);
    void UpdateBacklights();

    // The transport's data callback; any thread (public for the fuzz target and tests).
    void HandleDataEvent(const uint8_t* report, size_t length, int handle, int error);

private:
    void Log(int level, const QString& line) const;

    std::unique_ptr<IXKTransport> transport_;  // released first by the destructor, which ends its reader threads
    const KeyTarget panel_;
    const Remote::LogSink log_;
    bool available_ = false;  // written by the constructor only

    mutable std::mutex lock_;  // guards everything below; never held while the transport closes a device
    // Written by the user-interface thread (Open, Close) and the callback's thread (device error), under lock_.
    bool open_ = false;
    int handle_ = 0;
    bool deviceError_ = false;
    // Written by the callback's thread, under lock_. Kept when the keypad closes.
    std::array<bool, XKeys::KeyCount> keyStates_{};
    // Written by the user-interface thread, under lock_.
    std::array<int, XKeys::KeyCount> lightsWanted_{};
    // Written by UpdateBacklights, and cleared (0) by Close and by the device error, under lock_.
    std::array<int, XKeys::KeyCount> lightsSent_{};
};
