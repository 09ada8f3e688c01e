#include "remote/XKController.h"

#include "base/Translate.h"

#include <algorithm>

namespace XKeys {

bool IsKnownProduct(uint16_t productId) {
    return std::find(ProductIds.begin(), ProductIds.end(), productId) != ProductIds.end();
}

int HandleReport(const uint8_t* report, size_t length, std::array<bool, KeyCount>& keyStates,
                 std::array<KeyEvent, KeyCount>& events) {
    if (report == nullptr || length < MinInputReportSize || length > MaxInputReportSize) return 0;
    int count = 0;
    for (int k = 0; k < KeyCount; ++k) {
        const bool held = (report[3 + k / Rows] >> (k % Rows)) & 1;
        if (held == keyStates[size_t(k)]) continue;
        keyStates[size_t(k)] = held;
        events[size_t(count++)] = KeyEvent{k, held ? 1 : 0};
    }
    return count;
}

void BacklightReports(int key, int wanted, std::array<uint8_t, OutputReportSize>& secondBank,
                      std::array<uint8_t, OutputReportSize>& firstBank) {
    secondBank.fill(0);
    firstBank.fill(0);
    const int number = KeypadNumber(key);
    secondBank[1] = 0xB5;
    secondBank[2] = uint8_t(number + 32);
    secondBank[3] = wanted == LightSecondBank ? 1 : wanted == LightAssignedPlaying ? 2 : 0;
    firstBank[1] = 0xB5;
    firstBank[2] = uint8_t(number);
    firstBank[3] = wanted == LightAssigned || wanted == LightAssignedPlaying ? 1 : 0;
}

std::array<uint8_t, OutputReportSize> IntensityReport() {
    std::array<uint8_t, OutputReportSize> report{};
    report[1] = 0xBB;
    report[2] = 200;
    report[3] = 200;
    return report;
}

}  // namespace XKeys

using namespace XKeys;

CXKController::CXKController(std::unique_ptr<IXKTransport> transport, KeyTarget panel, Remote::LogSink log)
    : transport_(std::move(transport)), panel_(std::move(panel)), log_(std::move(log)) {
    Log(2, QStringLiteral("CXKController::CXKController()"));
    const bool loaded = transport_ && transport_->Load();
    // The transport stands where the keypad library was loaded: 1 when it initialised.
    Log(2, FormatString(QStringLiteral("CXKController::CXKController(): LoadLibrary() = %08X"), {loaded ? 1 : 0}));
    available_ = loaded;
    Log(2, FormatString(QStringLiteral("CXKController::CXKController(): initialized = %d"), {available_ ? 1 : 0}));
    {
        std::lock_guard<std::mutex> guard(lock_);
        lightsWanted_.fill(LightOff);
    }
    Open();
}

CXKController::~CXKController() {
    Log(2, QStringLiteral("CXKController::~CXKController()"));
    {
        std::lock_guard<std::mutex> guard(lock_);
        lightsWanted_.fill(LightOff);
    }
    UpdateBacklights();
    if (available_) Close();
    // Ends every reader thread while the members its callback touches still live.
    transport_.reset();
}

void CXKController::Log(int level, const QString& line) const {
    if (log_) log_(level, line);
}

bool CXKController::IsOpen() const {
    std::lock_guard<std::mutex> guard(lock_);
    return open_;
}

void CXKController::Open() {
    if (!available_) return;
    Close();
    {
        std::lock_guard<std::mutex> guard(lock_);
        deviceError_ = false;
    }
    std::vector<XKDeviceRecord> devices;
    if (const int result = transport_->Enumerate(VendorId, devices); result != 0) {
        Log(2, FormatString(QStringLiteral("CXKController::Open(): EnumeratePIE() = %d"), {result}));
        return;
    }
    bool found = false;
    int handle = 0;
    for (const XKDeviceRecord& device : devices) {
        if (device.usagePage != UsagePage || !IsKnownProduct(device.productId)) continue;
        int result = transport_->Setup(device.handle);
        Log(2, FormatString(QStringLiteral("CXKController::Open(): SetupInterfaceEx() = %d"), {result}));
        if (result != 0) continue;
        result = transport_->Write(device.handle, IntensityReport());
        Log(2, FormatString(QStringLiteral("CXKController::Open(): WriteData() = %d"), {result}));
        if (result == 0) {
            result = transport_->SetDataCallback(device.handle, [this](const uint8_t* report, size_t length, int from, int error) {
                HandleDataEvent(report, length, from, error);
            });
            Log(2, FormatString(QStringLiteral("CXKController::Open(): SetDataCallback() = %d"), {result}));
            if (result == 0) {
                found = true;
                handle = device.handle;
                break;
            }
        }
        transport_->CloseInterface(device.handle);
    }
    if (!found) return;
    {
        std::lock_guard<std::mutex> guard(lock_);
        handle_ = handle;
        open_ = true;
    }
    UpdateBacklights();
}

void CXKController::Close() {
    bool wasOpen;
    int handle;
    {
        std::lock_guard<std::mutex> guard(lock_);
        wasOpen = open_;
        handle = handle_;
        open_ = false;
        lightsSent_.fill(0);
    }
    if (!wasOpen) return;
    Log(2, QStringLiteral("CXKController::Close()"));
    // Outside the lock: closing waits for the reader, whose callback takes it.
    transport_->CloseInterface(handle);
}

void CXKController::SetKeyLight(int key, int wanted) {
    if (key < 0 || key >= KeyCount) return;
    std::lock_guard<std::mutex> guard(lock_);
    lightsWanted_[size_t(key)] = wanted;
}

void CXKController::UpdateBacklights() {
    std::lock_guard<std::mutex> guard(lock_);
    if (!open_ || deviceError_) return;
    std::array<uint8_t, OutputReportSize> second, first;
    for (int k = 0; k < KeyCount; ++k) {
        const int wanted = lightsWanted_[size_t(k)];
        if (wanted == lightsSent_[size_t(k)]) continue;
        BacklightReports(k, wanted, second, first);
        // Not examined: a keypad that went away reports it through the callback.
        transport_->Write(handle_, second);
        transport_->Write(handle_, first);
        lightsSent_[size_t(k)] = wanted;
    }
}

void CXKController::HandleDataEvent(const uint8_t* report, size_t length, int handle, int error) {
    Log(3, FormatString(QStringLiteral("CXKController::HandleDataEvent(%d, %d)"), {handle, error}));
    if (!available_) return;
    std::array<KeyEvent, KeyCount> events;
    int count = 0;
    bool closeNow = false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        // Reports of a device other than the open keypad are not the panel's.
        if (!open_ || handle != handle_) return;
        if (error == DeviceError) {
            deviceError_ = true;
            open_ = false;
            lightsSent_.fill(0);
            closeNow = true;
        } else {
            count = HandleReport(report, length, keyStates_, events);
        }
    }
    if (closeNow) {
        Log(2, QStringLiteral("CXKController::Close()"));
        transport_->CloseInterface(handle);
        return;
    }
    for (int k = 0; k < count; ++k) panel_.Post(events[size_t(k)].key, events[size_t(k)].pressed);
}
