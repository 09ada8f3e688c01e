// The keypad's input reports against arbitrary input. Bytes 0 to 2 are the keys
// held before (24 bits, key k in bit k), byte 3 the result code that comes with
// the report; the rest is the report (an exactly sized copy, so any read past its
// end is seen). The report rule must
//  - change nothing for a report shorter than the key columns or longer than any report;
//  - otherwise give one event per key whose bit changed, ascending, and leave the
//    key states equal to the report's bits.
// The controller, open on a stand-in transport, takes the same report through its
// data callback: the device error closes it, anything else leaves it open.
#include "remote/XKController.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

using namespace XKeys;

class OneKeypad : public IXKTransport {
public:
    bool Load() override { return true; }
    int Enumerate(uint16_t, std::vector<XKDeviceRecord>& devices) override {
        devices = {{0x0405, 1, UsagePage, 1}};
        return 0;
    }
    int Setup(int) override { return 0; }
    int Write(int, const std::array<uint8_t, OutputReportSize>&) override { return 0; }
    int SetDataCallback(int, DataCallback) override { return 0; }
    void CloseInterface(int) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const uint32_t held = uint32_t(data[0]) | uint32_t(data[1]) << 8 | uint32_t(data[2]) << 16;
    const int error = data[3] == 0xFF ? DeviceError : data[3];
    const size_t length = size - 4;
    std::unique_ptr<uint8_t[]> report(new uint8_t[length ? length : 1]);
    if (length) std::memcpy(report.get(), data + 4, length);

    std::array<bool, KeyCount> states;
    for (int k = 0; k < KeyCount; ++k) states[size_t(k)] = (held >> k) & 1;
    const std::array<bool, KeyCount> before = states;
    std::array<KeyEvent, KeyCount> events;
    const int count = HandleReport(report.get(), length, states, events);
    Check(count >= 0 && count <= KeyCount);
    if (length < MinInputReportSize || length > MaxInputReportSize) {
        Check(count == 0 && states == before);
    } else {
        int changed = 0;
        for (int k = 0; k < KeyCount; ++k) {
            const bool bit = (report[size_t(3 + k / Rows)] >> (k % Rows)) & 1;
            Check(states[size_t(k)] == bit);
            changed += bit != before[size_t(k)];
        }
        Check(count == changed);
        for (int k = 0; k < count; ++k) {
            Check(events[size_t(k)].pressed == (states[size_t(events[size_t(k)].key)] ? 1 : 0));
            if (k > 0) Check(events[size_t(k - 1)].key < events[size_t(k)].key);
        }
    }

    CXKController controller(std::make_unique<OneKeypad>(), CXKController::KeyTarget(), Remote::LogSink());
    Check(controller.IsOpen());
    controller.HandleDataEvent(report.get(), length, 1, error);
    Check(controller.IsOpen() == (error != DeviceError));
    return 0;
}
