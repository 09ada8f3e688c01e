// The output display's configuration on recorded display answers: which display
// is the output, how it is switched into the video mode and back.
#include "output/DisplayConfiguration.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

DisplayDevice Device(const char* name, bool connected, bool attached, bool primary, int x,
                     DisplayModeInfo current, std::vector<DisplayModeInfo> modes) {
    DisplayDevice d;
    d.name = QString::fromLatin1(name);
    d.description = d.name;
    d.monitor = QStringLiteral("Monitor ") + d.name;
    d.connected = connected;
    d.attached = attached;
    d.primary = primary;
    d.x = x;
    d.current = attached ? current : DisplayModeInfo{};
    d.modes = std::move(modes);
    return d;
}

const DisplayModeInfo Hd50{1920, 1080, 50, false}, Hd25i{1920, 1080, 25, true}, Hd25{1920, 1080, 25, false},
    Hd60{1920, 1080, 60, false}, Hd720p50{1280, 720, 50, false}, Desk{1280, 1024, 60, false};

// Displays that do what they are told, as a driver would, unless told to refuse.
class FakeDisplays : public IDisplaySystem {
public:
    std::vector<DisplayDevice> devices;
    bool refuseInterlaced = false;
    bool refuseAll = false;
    double deliveredRefresh = 0;  // a driver that picks another rate
    std::vector<QString> calls;

    bool Enumerate(std::vector<DisplayDevice>& out) override {
        out = devices;
        return true;
    }
    int SetMode(const QString& output, const DisplayModeInfo& mode, int x, int y) override {
        calls.push_back(QStringLiteral("set %1 %2x%3@%4%5 at %6,%7")
                            .arg(output)
                            .arg(mode.width)
                            .arg(mode.height)
                            .arg(mode.refresh)
                            .arg(mode.interlaced ? "i" : "")
                            .arg(x)
                            .arg(y));
        if (refuseAll || (refuseInterlaced && mode.interlaced)) return BadMode;
        for (DisplayDevice& d : devices) {
            if (d.name != output) continue;
            if (std::find(d.modes.begin(), d.modes.end(), mode) == d.modes.end()) return BadMode;
            d.attached = true;
            d.x = x;
            d.y = y;
            d.current = mode;
            if (deliveredRefresh) d.current.refresh = deliveredRefresh;
            return Ok;
        }
        return Failed;
    }
    int Detach(const QString& output) override {
        calls.push_back(QStringLiteral("detach %1").arg(output));
        for (DisplayDevice& d : devices)
            if (d.name == output) d.attached = false;
        return Ok;
    }
};

FakeDisplays TwoOutputs() {
    FakeDisplays f;
    f.devices = {Device("DUMMY0", true, true, true, 0, Desk, {Desk, Hd50}),
                 Device("DUMMY1", true, false, false, 0, {}, {Hd25i, Hd25, Hd50, Hd60, Hd720p50}),
                 Device("DUMMY2", false, false, false, 0, {}, {Hd50}),
                 Device("DUMMY3", true, false, false, 0, {}, {Hd720p50})};
    return f;
}

const DebugWindowSettings NoWindow{};

}  // namespace

TEST(Displays, EnumerationFindsThePrimaryAndTheCandidatesForASize) {
    FakeDisplays f = TwoOutputs();
    const CDisplayConfiguration hd(f, 1920, 1080);
    EXPECT_EQ(hd.primaryDevice, "DUMMY0");
    EXPECT_EQ(hd.primaryMonitor, "Monitor DUMMY0");
    EXPECT_EQ(hd.candidateDevices, QStringList{"DUMMY1"});  // DUMMY2 has no monitor, DUMMY3 no such mode
    const CDisplayConfiguration any(f, 0, 0);
    EXPECT_EQ(any.candidateDevices, (QStringList{"DUMMY1", "DUMMY3"}));
    EXPECT_EQ(any.candidateMonitors, (QStringList{"Monitor DUMMY1", "Monitor DUMMY3"}));
    EXPECT_FALSE(any.cloneMode);
    // A second display showing the primary's picture at its place is a clone.
    f.devices[1].attached = true;
    f.devices[1].current = Hd50;
    EXPECT_TRUE(CDisplayConfiguration(f, 0, 0).cloneMode);
    // Without a primary marked, the first display on the desktop is the primary.
    f.devices[0].primary = false;
    EXPECT_EQ(CDisplayConfiguration(f, 0, 0).primaryDevice, "DUMMY0");
}

TEST(Displays, OutputIsChosenByNameWithTheDefaults) {
    struct Case {
        const char* setting;
        const char* output;
    } cases[] = {{"", "DUMMY1"}, {"DUMMY1", "DUMMY1"}, {"HDMI-9", "DUMMY1"}, {"DUMMY3", "DUMMY1"}};
    for (const Case& c : cases) {
        FakeDisplays f = TwoOutputs();
        CMultiMonitor monitor(f, QString::fromLatin1(c.setting), 1920, 1080, 50, true, NoWindow);
        EXPECT_EQ(monitor.outputDevice, QString::fromLatin1(c.output)) << c.setting;
        EXPECT_EQ(monitor.primaryDevice, "DUMMY0");
    }
    // No candidate at all: the first other display with a monitor is tried.
    FakeDisplays f = TwoOutputs();
    f.devices[1].connected = false;
    CMultiMonitor monitor(f, QString(), 1920, 1080, 50, true, NoWindow);
    EXPECT_EQ(monitor.outputDevice, "DUMMY3");
    EXPECT_FALSE(monitor.configured);  // it has no 1920 x 1080
}

TEST(Displays, SwitchesTheOutputRightOfThePrimaryAndBackOff) {
    FakeDisplays f = TwoOutputs();
    {
        CMultiMonitor monitor(f, QString(), 1920, 1080, 50, false, NoWindow);
        EXPECT_TRUE(monitor.configured);
        EXPECT_EQ(monitor.outputRect, (OutputRect{1280, 0, 3200, 1080}));
        EXPECT_EQ(f.calls, (std::vector<QString>{"set DUMMY1 1920x1080@50 at 1280,0"}));
    }
    EXPECT_EQ(f.calls.back(), "detach DUMMY1");  // restored when the engine goes
    EXPECT_FALSE(f.devices[1].attached);
}

TEST(Displays, InterlacedModeRefusedGetsAProgressiveSecondTry) {
    FakeDisplays f = TwoOutputs();
    f.refuseInterlaced = true;
    CMultiMonitor monitor(f, QString(), 1920, 1080, 25, true, NoWindow);
    EXPECT_TRUE(monitor.configured);
    EXPECT_EQ(f.calls, (std::vector<QString>{"set DUMMY1 1920x1080@25i at 1280,0", "set DUMMY1 1920x1080@25 at 1280,0"}));
    // A refused progressive mode fails at once.
    FakeDisplays g = TwoOutputs();
    g.refuseAll = true;
    CMultiMonitor refused(g, QString(), 1920, 1080, 50, false, NoWindow);
    EXPECT_FALSE(refused.configured);
    EXPECT_EQ(g.calls.size(), 1u);
}

TEST(Displays, CloneOfThePrimaryIsLiftedOrTakenAsTheOutput) {
    // The second display shows the primary's picture and has no mode of the size:
    // it is placed right of the primary in its own mode, then tried as the output.
    FakeDisplays f = TwoOutputs();
    f.devices[1] = Device("DUMMY1", true, true, false, 0, Desk, {Desk});
    f.devices[3].connected = false;
    CMultiMonitor lifted(f, QString(), 1920, 1080, 50, false, NoWindow);
    EXPECT_EQ(lifted.outputDevice, "DUMMY1");
    EXPECT_FALSE(lifted.configured);
    EXPECT_EQ(f.calls, (std::vector<QString>{"set DUMMY1 1280x1024@60 at 1280,0", "set DUMMY1 1920x1080@50 at 1280,0"}));
    EXPECT_EQ(f.devices[1].x, 1280);
    // A clone that has the mode is a candidate: it goes right of the primary in it.
    FakeDisplays g = TwoOutputs();
    g.devices[1].attached = true;
    g.devices[1].current = Desk;
    g.devices[1].modes.push_back(Desk);
    CMultiMonitor taken(g, QString(), 1920, 1080, 50, true, NoWindow);
    EXPECT_TRUE(taken.configured);
    EXPECT_EQ(g.calls, (std::vector<QString>{"set DUMMY1 1920x1080@50 at 1280,0"}));
    EXPECT_EQ(g.devices[0].x, 0);  // the primary stays where it was
    // Even in the mode already, a clone is moved: the output window would cover
    // the primary display.
    FakeDisplays h = TwoOutputs();
    h.devices[1].attached = true;
    h.devices[1].current = Hd50;
    CMultiMonitor moved(h, QString(), 1920, 1080, 50, true, NoWindow);
    EXPECT_TRUE(moved.configured);
    EXPECT_EQ(h.calls, (std::vector<QString>{"set DUMMY1 1920x1080@50 at 1280,0"}));
    EXPECT_EQ(moved.outputRect, (OutputRect{1280, 0, 3200, 1080}));
}

TEST(Displays, AfterCheckAndAlreadyInTheMode) {
    // A driver that shows another rate than asked fails the after-check.
    FakeDisplays f = TwoOutputs();
    f.deliveredRefresh = 60;
    EXPECT_FALSE(CMultiMonitor(f, QString(), 1920, 1080, 50, true, NoWindow).configured);
    // A display already in the mode is only located.
    FakeDisplays g = TwoOutputs();
    g.devices[1].attached = true;
    g.devices[1].x = 1280;
    g.devices[1].current = Hd50;
    CMultiMonitor monitor(g, QString(), 1920, 1080, 50, true, NoWindow);
    EXPECT_TRUE(monitor.configured);
    EXPECT_TRUE(g.calls.empty());
    EXPECT_EQ(monitor.outputRect, (OutputRect{1280, 0, 3200, 1080}));
}

TEST(Displays, NoRestoreLeavesTheOutputInTheMode) {
    FakeDisplays f = TwoOutputs();
    { CMultiMonitor monitor(f, QString(), 1280, 720, 50, true, NoWindow); }
    EXPECT_TRUE(f.devices[1].attached);
    EXPECT_EQ(f.calls.size(), 1u);
}

TEST(Displays, DebugWindowTouchesNoDisplay) {
    FakeDisplays f = TwoOutputs();
    f.devices[0].x = 100;
    DebugWindowSettings window;
    window.window = true;
    {
        CMultiMonitor monitor(f, QString(), 1920, 1080, 25, false, window);
        EXPECT_TRUE(monitor.configured);
        EXPECT_EQ(monitor.outputRect, (OutputRect{100, 0, 580, 270}));  // a quarter, at the primary's top left
    }
    window.width = 640;
    window.height = 360;
    CMultiMonitor sized(f, QString(), 1920, 1080, 25, false, window);
    EXPECT_EQ(sized.outputRect, (OutputRect{100, 0, 740, 360}));
    EXPECT_TRUE(f.calls.empty());
}

// The same logic against a real X server with two outputs.

#include "output/XRandRDisplaySystem.h"
#include "tests/XorgDummy.h"

namespace {

class RealDisplays : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        server = new CXorgDummy(QString::fromLocal8Bit(qgetenv("CORVANE_TEST_DATA")) + "/xorg-dummy.conf");
        if (server->Display().isEmpty()) return;
        // The video modes' display modes, given to DUMMY1, which shows a monitor
        // once it has been on the desktop.
        const QStringList modes[] = {
            {"1920x1080i_25", "74.25", "1920", "2448", "2492", "2640", "1080", "1084", "1094", "1125", "+hsync", "+vsync",
             "Interlace"},
            {"1920x1080_25", "74.25", "1920", "2448", "2492", "2640", "1080", "1084", "1089", "1125", "+hsync", "+vsync"},
            {"1920x1080_50", "148.5", "1920", "2448", "2492", "2640", "1080", "1084", "1089", "1125", "+hsync", "+vsync"},
            {"1280x720_50", "74.25", "1280", "1720", "1760", "1980", "720", "725", "730", "750", "+hsync", "+vsync"}};
        for (const QStringList& mode : modes) {
            server->Xrandr(QStringList{"--newmode"} + mode);
            server->Xrandr({"--addmode", "DUMMY1", mode.first()});
        }
        server->Xrandr({"--output", "DUMMY1", "--mode", "1280x720_50", "--right-of", "DUMMY0"});
        server->Xrandr({"--output", "DUMMY1", "--off"});
    }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }
    void SetUp() override {
        if (server->Display().isEmpty()) GTEST_SKIP() << server->Reason().toStdString();
        system = std::make_unique<CXRandRDisplaySystem>(server->Display());
        ASSERT_TRUE(system->Connected());
    }
    const DisplayDevice* Find(const QString& name) {
        devices.clear();
        system->Enumerate(devices);
        for (const DisplayDevice& d : devices)
            if (d.name == name) return &d;
        return nullptr;
    }

    static CXorgDummy* server;
    std::unique_ptr<CXRandRDisplaySystem> system;
    std::vector<DisplayDevice> devices;
};
CXorgDummy* RealDisplays::server = nullptr;

}  // namespace

TEST_F(RealDisplays, CandidatesAndTheChoiceByName) {
    const CDisplayConfiguration displays(*system, 1920, 1080);
    EXPECT_EQ(displays.primaryDevice, "DUMMY0");
    EXPECT_EQ(displays.candidateDevices, QStringList{"DUMMY1"});
    CMultiMonitor named(*system, "DUMMY1", 1280, 720, 50, false, NoWindow);
    EXPECT_EQ(named.outputDevice, "DUMMY1");
    EXPECT_TRUE(named.configured);
}

TEST_F(RealDisplays, SwitchesIntoEachModeRightOfThePrimaryAndDetaches) {
    struct Case {
        int width, height, refresh;
    } cases[] = {{1920, 1080, 25}, {1920, 1080, 50}, {1280, 720, 50}};
    for (const Case& c : cases) {
        {
            CMultiMonitor monitor(*system, QString(), c.width, c.height, c.refresh, false, NoWindow);
            ASSERT_TRUE(monitor.configured) << c.width << "x" << c.height << "@" << c.refresh;
            EXPECT_EQ(monitor.outputRect, (OutputRect{1280, 0, 1280 + c.width, c.height}));
            const DisplayDevice* output = Find("DUMMY1");
            ASSERT_NE(output, nullptr);
            EXPECT_TRUE(output->attached);
            EXPECT_EQ(output->current.width, c.width);
            EXPECT_EQ(std::lround(output->current.refresh), c.refresh);
        }
        const DisplayDevice* detached = Find("DUMMY1");
        ASSERT_NE(detached, nullptr);
        EXPECT_FALSE(detached->attached) << "restored after " << c.width << "x" << c.height;
    }
}

TEST_F(RealDisplays, NoRestoreLeavesTheOutputOn) {
    { CMultiMonitor monitor(*system, QString(), 1280, 720, 50, true, NoWindow); }
    const DisplayDevice* output = Find("DUMMY1");
    ASSERT_NE(output, nullptr);
    EXPECT_TRUE(output->attached);
    EXPECT_EQ(system->Detach("DUMMY1"), IDisplaySystem::Ok);
    EXPECT_FALSE(Find("DUMMY1")->attached);
}

TEST_F(RealDisplays, CloneOfThePrimaryIsLiftedOrTakenAsTheOutput) {
    const auto clone = [&](const char* mode) {
        ASSERT_TRUE(server->Xrandr({"--output", "DUMMY1", "--mode", mode, "--same-as", "DUMMY0"}));
        const DisplayDevice* d = Find("DUMMY1");
        ASSERT_TRUE(d && d->attached && d->x == 0 && d->y == 0);
        EXPECT_TRUE(CDisplayConfiguration(*system, 0, 0).cloneMode);
    };
    const auto primaryUntouched = [&] {
        const DisplayDevice* primary = Find("DUMMY0");
        ASSERT_NE(primary, nullptr);
        EXPECT_TRUE(primary->attached && primary->x == 0 && primary->y == 0);
        EXPECT_EQ(primary->current.width, 1280);
        EXPECT_EQ(primary->current.height, 1024);
    };
    // A size no display offers: the clone is lifted, then the output fails.
    clone("1280x720_50");
    {
        CMultiMonitor monitor(*system, QString(), 720, 488, 60, false, NoWindow);
        EXPECT_FALSE(monitor.configured);
    }
    const DisplayDevice* lifted = Find("DUMMY1");
    ASSERT_NE(lifted, nullptr);
    EXPECT_TRUE(lifted->attached);
    EXPECT_EQ(lifted->x, 1280);
    primaryUntouched();
    // A clone that offers the mode becomes the output right of the primary, even
    // when it already shows that mode.
    for (const char* mode : {"1280x720_50", "1920x1080_50"}) {
        clone(mode);
        {
            CMultiMonitor monitor(*system, QString(), 1920, 1080, 50, false, NoWindow);
            ASSERT_TRUE(monitor.configured) << mode;
            EXPECT_EQ(monitor.outputRect, (OutputRect{1280, 0, 3200, 1080})) << mode;
            primaryUntouched();
        }
        EXPECT_FALSE(Find("DUMMY1")->attached);
        primaryUntouched();
    }
}

TEST_F(RealDisplays, ModeTheOutputDoesNotOfferFails) {
    // Neither interlaced nor, at the second try, progressive.
    CMultiMonitor monitor(*system, QString(), 1920, 1080, 24, false, NoWindow);
    EXPECT_FALSE(monitor.configured);
    EXPECT_FALSE(Find("DUMMY1")->attached);
}
