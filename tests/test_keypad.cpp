// The keypad controller through a fake transport that speaks the keypad's reports:
// which devices it opens, the reports it writes, the key events it posts.
#include "remote/XKController.h"
#include "tests/RemoteTestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

using namespace XKeys;
using RemoteTest::WaitUntil;

namespace {

// What the fake saw, in order: "setup H", "write H bb cc dd" (bytes 1 to 3),
// "callback H", "close H".
struct FakeState {
    bool loads = true;
    int enumerateResult = 0;
    std::vector<XKDeviceRecord> devices;
    std::map<int, int> setupResults, writeResults, callbackResults;  // by handle; absent: 0
    std::vector<std::string> calls;
    std::map<int, IXKTransport::DataCallback> callbacks;  // open devices with a callback
    int extraBytes = 0;  // a write whose bytes past 3 are not zero counts here
};

class FakeTransport : public IXKTransport {
public:
    explicit FakeTransport(FakeState& state) : state_(state) {}
    bool Load() override { return state_.loads; }
    int Enumerate(uint16_t vendorId, std::vector<XKDeviceRecord>& devices) override {
        if (vendorId != VendorId) return 1;
        devices = state_.devices;
        return state_.enumerateResult;
    }
    int Setup(int handle) override {
        state_.calls.push_back("setup " + std::to_string(handle));
        return Result(state_.setupResults, handle);
    }
    int Write(int handle, const std::array<uint8_t, OutputReportSize>& report) override {
        char line[64];
        std::snprintf(line, sizeof line, "write %d %02X %02X %02X", handle, report[1], report[2], report[3]);
        state_.calls.push_back(line);
        for (size_t k = 4; k < report.size(); ++k) state_.extraBytes += report[k] != 0;
        state_.extraBytes += report[0] != 0;
        return Result(state_.writeResults, handle);
    }
    int SetDataCallback(int handle, DataCallback callback) override {
        state_.calls.push_back("callback " + std::to_string(handle));
        const int result = Result(state_.callbackResults, handle);
        if (result == 0) state_.callbacks[handle] = std::move(callback);
        return result;
    }
    void CloseInterface(int handle) override {
        state_.calls.push_back("close " + std::to_string(handle));
        state_.callbacks.erase(handle);
    }

private:
    static int Result(const std::map<int, int>& results, int handle) {
        const auto found = results.find(handle);
        return found == results.end() ? 0 : found->second;
    }
    FakeState& state_;
};

struct Key {
    int key, pressed;
    bool operator==(const Key&) const = default;
};

// A report of the keypad: report id, two bytes, then the four key columns.
std::vector<uint8_t> Report(uint8_t c0, uint8_t c1 = 0, uint8_t c2 = 0, uint8_t c3 = 0) {
    std::vector<uint8_t> report(33, 0);
    report[3] = c0;
    report[4] = c1;
    report[5] = c2;
    report[6] = c3;
    return report;
}

TEST(KeypadReports, KeyBitsBecomeEventsAgainstTheLastState) {
    struct Step {
        std::vector<uint8_t> report;
        std::vector<Key> events;
    };
    const std::vector<Step> steps = {
        {Report(0x00), {}},
        {Report(0x01), {{0, 1}}},
        {Report(0x00), {{0, 0}}},
        {Report(0x00, 0x20), {{11, 1}}},                      // column 1, row 5
        {Report(0x40, 0x20), {}},                             // bit 6 is no key
        {Report(0x21, 0x00, 0x00, 0x3F), {{0, 1}, {5, 1}, {11, 0}, {18, 1}, {19, 1}, {20, 1}, {21, 1}, {22, 1}, {23, 1}}},
        {std::vector<uint8_t>(6, 0xFF), {}},                  // too short for the key columns
        {std::vector<uint8_t>(81, 0x00), {}},                 // longer than any report
        {{}, {}},
    };
    std::array<bool, KeyCount> states{};
    for (size_t k = 0; k < steps.size(); ++k) {
        std::array<KeyEvent, KeyCount> events;
        const int count = HandleReport(steps[k].report.data(), steps[k].report.size(), states, events);
        std::vector<Key> got;
        for (int i = 0; i < count; ++i) got.push_back({events[size_t(i)].key, events[size_t(i)].pressed});
        EXPECT_EQ(got, steps[k].events) << "step " << k;
    }
    EXPECT_EQ(KeypadNumber(11), 13);
    EXPECT_EQ(KeypadNumber(7), 9);
    EXPECT_EQ(KeypadNumber(23), 29);
}

TEST(KeypadReports, EachWantedLightGivesItsTwoBacklightReports) {
    struct Case {
        int key, wanted;
        uint8_t second[3], first[3];
    };
    const Case cases[] = {
        {7, LightAssignedPlaying, {0xB5, 0x29, 0x02}, {0xB5, 0x09, 0x01}},
        {7, LightAssigned, {0xB5, 0x29, 0x00}, {0xB5, 0x09, 0x01}},
        {0, LightSecondBank, {0xB5, 0x20, 0x01}, {0xB5, 0x00, 0x00}},
        {23, LightOff, {0xB5, 0x3D, 0x00}, {0xB5, 0x1D, 0x00}},
    };
    for (const Case& c : cases) {
        std::array<uint8_t, OutputReportSize> second, first;
        BacklightReports(c.key, c.wanted, second, first);
        for (int b = 0; b < 3; ++b) {
            EXPECT_EQ(second[size_t(b + 1)], c.second[b]) << "key " << c.key << " wanted " << c.wanted;
            EXPECT_EQ(first[size_t(b + 1)], c.first[b]) << "key " << c.key << " wanted " << c.wanted;
        }
        EXPECT_EQ(second[0], 0);
        EXPECT_EQ(first[4], 0);
    }
    const auto intensity = IntensityReport();
    EXPECT_EQ(intensity[1], 0xBB);
    EXPECT_EQ(intensity[2], 200);
    EXPECT_EQ(intensity[3], 200);
}

class Keypad : public ::testing::Test {
protected:
    void SetUp() override {
        state.devices = {
            {0x0405, 1, 0x01, 10},   // the keypad's other interface
            {0x0999, 1, 0x0C, 11},   // another product of the vendor
            {0x0403, 1, 0x0C, 12},   // refuses the setup
            {0x04E1, 1, 0x0C, 13},   // the keypad
            {0x0404, 1, 0x0C, 14},   // a second keypad, never reached
        };
        state.setupResults[12] = 5;
    }

    void Start() {
        controller = std::make_unique<CXKController>(
            std::make_unique<FakeTransport>(state),
            CXKController::KeyTarget(&panel, [this](int key, int pressed) { keys.push_back({key, pressed}); }), log.Sink());
    }

    void Deliver(int handle, const std::vector<uint8_t>& report, int error = 0) {
        ASSERT_TRUE(state.callbacks.count(handle)) << "no callback for " << handle;
        const auto callback = state.callbacks[handle];
        callback(report.data(), report.size(), handle, error);
    }

    // The writes among the calls from index from on.
    std::vector<std::string> Writes(size_t from = 0) const {
        std::vector<std::string> writes;
        for (size_t k = from; k < state.calls.size(); ++k)
            if (state.calls[k].rfind("write", 0) == 0) writes.push_back(state.calls[k]);
        return writes;
    }

    FakeState state;
    QObject panel;
    std::vector<Key> keys;
    RemoteTest::LogLines log;
    std::unique_ptr<CXKController> controller;
};

TEST_F(Keypad, OpensTheFirstMatchingKeypadThatAcceptsSetupIntensityAndCallback) {
    Start();
    ASSERT_TRUE(controller->IsOpen());
    ASSERT_GE(state.calls.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(state.calls.begin(), state.calls.begin() + 4),
              (std::vector<std::string>{"setup 12", "setup 13", "write 13 BB C8 C8", "callback 13"}));
    // Every light is written once after opening (all off), second bank first.
    const auto writes = Writes(3);
    ASSERT_EQ(writes.size(), 48u);
    EXPECT_EQ(writes[0], "write 13 B5 20 00");
    EXPECT_EQ(writes[1], "write 13 B5 00 00");
    EXPECT_EQ(writes[47], "write 13 B5 1D 00");
    EXPECT_EQ(state.extraBytes, 0);
    const QStringList lines = log.Lines();
    EXPECT_EQ(lines.mid(0, 7), (QStringList{"2 CXKController::CXKController()",
                                            "2 CXKController::CXKController(): LoadLibrary() = 00000001",
                                            "2 CXKController::CXKController(): initialized = 1",
                                            "2 CXKController::Open(): SetupInterfaceEx() = 5",
                                            "2 CXKController::Open(): SetupInterfaceEx() = 0",
                                            "2 CXKController::Open(): WriteData() = 0",
                                            "2 CXKController::Open(): SetDataCallback() = 0"}));
}

TEST_F(Keypad, ADeviceThatRefusesTheIntensityOrTheCallbackIsClosedAndTheNextTried) {
    state.writeResults[13] = 1;
    state.callbackResults[14] = 1;
    state.devices.push_back({0x0405, 1, 0x0C, 15});
    Start();
    ASSERT_TRUE(controller->IsOpen());
    EXPECT_EQ(std::vector<std::string>(state.calls.begin(), state.calls.begin() + 11),
              (std::vector<std::string>{"setup 12", "setup 13", "write 13 BB C8 C8", "close 13", "setup 14",
                                        "write 14 BB C8 C8", "callback 14", "close 14", "setup 15", "write 15 BB C8 C8",
                                        "callback 15"}));
}

TEST_F(Keypad, WithoutADeviceOrTransportTheKeypadStaysClosedAndTheTimerTriesAgain) {
    state.devices.clear();
    Start();
    EXPECT_FALSE(controller->IsOpen());
    EXPECT_TRUE(state.calls.empty());
    state.devices = {{0x0403, 1, 0x0C, 20}};
    controller->Open();  // the panel's timer
    EXPECT_TRUE(controller->IsOpen());

    FakeState unloaded;
    unloaded.loads = false;
    unloaded.devices = state.devices;
    RemoteTest::LogLines unloadedLog;
    {
        CXKController none(std::make_unique<FakeTransport>(unloaded), CXKController::KeyTarget(), unloadedLog.Sink());
        EXPECT_FALSE(none.IsAvailable());
        none.Open();
        const uint8_t report[7] = {0, 0, 0, 1, 0, 0, 0};
        none.HandleDataEvent(report, sizeof report, 20, 0);
    }
    EXPECT_TRUE(unloaded.calls.empty());
    EXPECT_TRUE(unloadedLog.Contains(QStringLiteral("2 CXKController::CXKController(): initialized = 0")));
}

TEST_F(Keypad, KeyReportsArePostedToThePanelInOrder) {
    Start();
    Deliver(13, Report(0x00));
    Deliver(13, Report(0x01));
    Deliver(13, Report(0x00));
    Deliver(13, Report(0x00, 0x20));
    Deliver(13, std::vector<uint8_t>(5, 0xFF));  // too short: ignored
    ASSERT_TRUE(WaitUntil([&] { return keys.size() >= 3; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(keys, (std::vector<Key>{{0, 1}, {0, 0}, {11, 1}}));
    EXPECT_TRUE(log.Contains(QStringLiteral("3 CXKController::HandleDataEvent(13, 0)")));
}

TEST_F(Keypad, AReportFromAnotherDeviceIsNotThePanels) {
    Start();
    const auto callback = state.callbacks[13];
    const auto report = Report(0x3F);
    callback(report.data(), report.size(), 14, 0);
    callback(report.data(), report.size(), 14, DeviceError);
    QCoreApplication::processEvents();
    EXPECT_TRUE(keys.empty());
    EXPECT_TRUE(controller->IsOpen());
}

TEST_F(Keypad, WantedLightsAreWrittenOnlyWhenTheyChange) {
    Start();
    controller->SetKeyLight(7, LightAssignedPlaying);
    controller->SetKeyLight(24, LightAssigned);  // no such key
    controller->SetKeyLight(-1, LightAssigned);
    size_t mark = state.calls.size();
    controller->UpdateBacklights();
    EXPECT_EQ(Writes(mark), (std::vector<std::string>{"write 13 B5 29 02", "write 13 B5 09 01"}));
    mark = state.calls.size();
    controller->UpdateBacklights();
    EXPECT_TRUE(Writes(mark).empty());
}

TEST_F(Keypad, ClosingAndReopeningWritesEveryLightAgain) {
    Start();
    controller->SetKeyLight(2, LightAssigned);
    controller->UpdateBacklights();
    controller->Close();
    EXPECT_FALSE(controller->IsOpen());
    EXPECT_EQ(state.calls.back(), "close 13");
    EXPECT_TRUE(log.Contains(QStringLiteral("2 CXKController::Close()")));
    size_t mark = state.calls.size();
    controller->UpdateBacklights();  // closed: nothing
    EXPECT_TRUE(Writes(mark).empty());
    controller->Open();
    const auto writes = Writes(mark);
    ASSERT_EQ(writes.size(), 1u + 48u);
    EXPECT_EQ(writes[0], "write 13 BB C8 C8");
    EXPECT_EQ(writes[5], "write 13 B5 22 00");
    EXPECT_EQ(writes[6], "write 13 B5 02 01");
}

TEST_F(Keypad, ADeviceErrorClosesTheKeypadAndStopsLightWritesUntilItOpensAgain) {
    Start();
    Deliver(13, Report(0x01));
    Deliver(13, {}, DeviceError);
    EXPECT_FALSE(controller->IsOpen());
    EXPECT_EQ(state.calls.back(), "close 13");
    size_t mark = state.calls.size();
    controller->SetKeyLight(0, LightAssigned);
    controller->UpdateBacklights();
    EXPECT_TRUE(Writes(mark).empty());
    // Reports after the error are not the panel's.
    const auto late = Report(0x00);
    controller->HandleDataEvent(late.data(), late.size(), 13, 0);

    controller->Open();  // the panel's timer
    ASSERT_TRUE(controller->IsOpen());
    EXPECT_EQ(Writes(mark).size(), 1u + 48u);
    // Key states survive the close: the key still held gives no second press.
    Deliver(13, Report(0x01));
    Deliver(13, Report(0x00));
    ASSERT_TRUE(WaitUntil([&] { return keys.size() >= 2; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(keys, (std::vector<Key>{{0, 1}, {0, 0}}));
}

TEST_F(Keypad, DestroyingTheControllerSwitchesEveryLightOffBeforeClosing) {
    Start();
    controller->SetKeyLight(7, LightAssignedPlaying);
    controller->SetKeyLight(8, LightSecondBank);
    controller->UpdateBacklights();
    const size_t mark = state.calls.size();
    controller.reset();
    std::vector<std::string> tail(state.calls.begin() + long(mark), state.calls.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"write 13 B5 29 00", "write 13 B5 09 00", "write 13 B5 2A 00",
                                              "write 13 B5 0A 00", "close 13"}));
    EXPECT_TRUE(log.Contains(QStringLiteral("2 CXKController::~CXKController()")));
}

}  // namespace

namespace {

TEST(KeypadHidapi, WithoutAKeypadAttachedTheControllerStaysClosedAndSaysWhy) {
    {
        const auto probe = MakeHidXKTransport();
        std::vector<XKDeviceRecord> devices;
        if (!probe->Load() || probe->Enumerate(VendorId, devices) != 0) GTEST_SKIP() << "hidapi does not work here";
        for (const XKDeviceRecord& device : devices)
            if (device.usagePage == UsagePage && IsKnownProduct(device.productId))
                GTEST_SKIP() << "a keypad is attached";
    }
    RemoteTest::LogLines log;
    CXKController controller(MakeHidXKTransport(), CXKController::KeyTarget(), log.Sink());
    ASSERT_TRUE(controller.IsAvailable());
    EXPECT_FALSE(controller.IsOpen());
    controller.Open();
    EXPECT_FALSE(controller.IsOpen());
    EXPECT_TRUE(log.Contains(QStringLiteral("2 CXKController::CXKController(): initialized = 1")));
}

}  // namespace
