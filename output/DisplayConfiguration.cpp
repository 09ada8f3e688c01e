#include "output/DisplayConfiguration.h"

#include "base/Debug.h"
#include "base/Settings.h"

#include <algorithm>
#include <cmath>

namespace {

// State words as the log shows them: 1 on the desktop, 4 the primary display.
constexpr uint32_t AttachedBit = 0x1, PrimaryBit = 0x4;

bool Offers(const DisplayDevice& device, int width, int height) {
    return std::any_of(device.modes.begin(), device.modes.end(), [&](const DisplayModeInfo& m) {
        return (width == 0 || m.width == width) && (height == 0 || m.height == height);
    });
}

// The primary display: the one the system marks, or else the first one on the
// desktop (an X server need not name a primary output).
const DisplayDevice* PrimaryOf(const std::vector<DisplayDevice>& devices) {
    for (const DisplayDevice& d : devices)
        if (d.connected && d.attached && d.primary) return &d;
    for (const DisplayDevice& d : devices)
        if (d.connected && d.attached) return &d;
    return nullptr;
}

const DisplayDevice* Named(const std::vector<DisplayDevice>& devices, const QString& name) {
    for (const DisplayDevice& d : devices)
        if (d.name == name) return &d;
    return nullptr;
}

}  // namespace

int CMultiMonitor::ExtendDesktop(IDisplaySystem& system) {
    std::vector<DisplayDevice> devices;
    if (!system.Enumerate(devices)) return IDisplaySystem::Failed;
    const DisplayDevice* primary = PrimaryOf(devices);
    if (!primary) return IDisplaySystem::Failed;
    // Each display that shows the primary's picture gets a place of its own, one
    // after the other right of the primary, in the mode it has.
    int result = IDisplaySystem::Ok;
    int x = primary->x + primary->current.width;
    for (const DisplayDevice& d : devices) {
        if (&d == primary || !d.connected || !d.attached || d.x != primary->x || d.y != primary->y) continue;
        const int placed = system.SetMode(d.name, d.current, x, primary->y);
        if (placed != IDisplaySystem::Ok) result = placed;
        else x += d.current.width;
    }
    return result;
}

CDisplayConfiguration::CDisplayConfiguration(IDisplaySystem& system, int width, int height) {
    CDebug::Log(2, "CDisplayConfiguration::CDisplayConfiguration()");
    std::vector<DisplayDevice> devices;
    if (!system.Enumerate(devices)) return;
    const DisplayDevice* primary = PrimaryOf(devices);
    for (size_t k = 0; k < devices.size(); ++k) {
        const DisplayDevice& d = devices[k];
        const uint32_t state = (d.attached ? AttachedBit : 0) | (&d == primary ? PrimaryBit : 0);
        CDebug::Log(2, "CDisplayConfiguration::CDisplayConfiguration(): %d = [%s] [%s] [%08X]", int(k), d.name,
                    d.description, state);
        if (!d.connected) continue;  // no monitor
        CDebug::Log(2, "CDisplayConfiguration::CDisplayConfiguration(): + [%s] [%s] [%08X]", d.monitor, d.name, state);
        if (&d == primary) {
            primaryDevice = d.name;
            primaryDescription = d.description;
            primaryMonitor = d.monitor;
            continue;
        }
        // Another display showing the primary's picture at its place is a clone.
        if (primary && d.attached && d.x == primary->x && d.y == primary->y) cloneMode = true;
        if (Offers(d, width, height)) {
            candidateDevices.append(d.name);
            candidateDescriptions.append(d.description);
            candidateMonitors.append(d.monitor);
        }
    }
}

DebugWindowSettings DebugWindowSettings::FromSettings() {
    const CSettingsStore& settings = CSettingsStore::Global();
    DebugWindowSettings s;
    s.window = settings.Get(Settings::DebugWindow) != 0;
    s.width = settings.Get(Settings::DebugWidth);
    s.height = settings.Get(Settings::DebugHeight);
    return s;
}

CMultiMonitor::CMultiMonitor(IDisplaySystem& system, const QString& deviceName, int width, int height, int refresh,
                             bool noRestore, DebugWindowSettings debug)
    : restoreDisabled(noRestore), system_(system), debug_(debug) {
    const CDisplayConfiguration displays(system, width, height);
    if (!displays.primaryDevice.isEmpty() && !displays.candidateDevices.isEmpty()) {
        if (deviceName.isEmpty()) outputDevice = displays.candidateDevices.first();
        else if (displays.candidateDevices.contains(deviceName)) outputDevice = deviceName;
        primaryDevice = displays.primaryDevice;
    } else if (displays.cloneMode) {
        CDebug::Log(2, "CMultiMonitor::CMultiMonitor(): trying to disable clone mode...");
        CDebug::Log(2, "CMultiMonitor::CMultiMonitor(): ExtendDesktop() = %08X", ExtendDesktop(system));
    }
    // The defaults: the primary display, and the first other display with a monitor.
    std::vector<DisplayDevice> devices;
    system.Enumerate(devices);
    if (primaryDevice.isEmpty()) {
        if (const DisplayDevice* primary = PrimaryOf(devices)) primaryDevice = primary->name;
    }
    if (outputDevice.isEmpty()) {
        for (const DisplayDevice& d : devices)
            if (d.connected && d.name != primaryDevice) {
                outputDevice = d.name;
                break;
            }
    }
    CDebug::Log(2, "CMultiMonitor::CMultiMonitor(): secondary display adapter: [%s]", outputDevice);
    configured = SetDisplayConfiguration(true, width, height, refresh);
}

CMultiMonitor::~CMultiMonitor() {
    if (configured && !restoreDisabled) SetDisplayConfiguration(false, 0, 0, 0);
}

bool CMultiMonitor::SetDisplayConfiguration(bool on, int width, int height, int refresh) {
    CDebug::Log(2, "CMultiMonitor::SetDisplayConfiguration(%d, %dx%dx%d)", int(on), width, height, refresh);
    std::vector<DisplayDevice> devices;
    const bool listed = system_.Enumerate(devices);
    const DisplayDevice* primary = listed ? Named(devices, primaryDevice) : nullptr;

    // 1. The debug window stands in for the output display.
    if (debug_.window) {
        if (on) {
            const int left = primary ? primary->x : 0, top = primary ? primary->y : 0;
            outputRect = {left, top, left + (debug_.width > 0 ? debug_.width : width / 4),
                          top + (debug_.height > 0 ? debug_.height : height / 4)};
            configured = true;
        }
        return true;
    }
    // 2. The primary display's mode.
    if (!primary || !primary->attached) {
        CDebug::Log(1, "CMultiMonitor::SetDisplayConfiguration(): Enumerate() found no primary display on the desktop");
        return false;
    }
    const DisplayDevice* output = Named(devices, outputDevice);
    const auto sameRate = [](double a, int b) { return int(std::lround(a)) == b; };
    // 3. Already in the mode: only the monitor is looked for. Not when it shows the
    // primary's picture: the output window would cover the operator's screen.
    const bool clone = output && output->attached && output->x == primary->x && output->y == primary->y;
    const bool already = on && output && output->attached && !clone && output->current.width == width &&
                         output->current.height == height && sameRate(output->current.refresh, refresh);
    if (!already) {
        // 4. (1) The primary display at the desktop's origin.
        if (primary->x != 0 || primary->y != 0) {
            const int result = system_.SetMode(primary->name, primary->current, 0, 0);
            if (result != IDisplaySystem::Ok) {
                CDebug::Log(1, "CMultiMonitor::SetDisplayConfiguration(): SetMode(%s) = %08X", primary->name, result);
                return false;
            }
        }
        // 5. (2) The output display right of it, or off the desktop.
        int result = IDisplaySystem::Failed;
        if (!output) {
            result = IDisplaySystem::Failed;
        } else if (on) {
            DisplayModeInfo mode{width, height, double(refresh), refresh < 50};
            result = system_.SetMode(outputDevice, mode, primary->current.width, 0);
            if (result == IDisplaySystem::BadMode && refresh < 50) {
                CDebug::Log(2, "CMultiMonitor::SetDisplayConfiguration(): second chance try");
                mode.interlaced = false;
                result = system_.SetMode(outputDevice, mode, primary->current.width, 0);
            }
        } else {
            result = system_.Detach(outputDevice);
        }
        if (result != IDisplaySystem::Ok) {
            CDebug::Log(1, "CMultiMonitor::SetDisplayConfiguration(): %s(%s) = %08X", on ? "SetMode" : "Detach",
                        outputDevice, result);
            return false;
        }
        // 7. Off: done.
        if (!on) return true;
        devices.clear();
        if (!system_.Enumerate(devices)) return false;
        output = Named(devices, outputDevice);
    }
    // 9. After-check: the mode the output really shows.
    if (output && output->attached) {
        CDebug::Log(2, "CMultiMonitor::SetDisplayConfiguration() aftercheck: %dx%dx%d", output->current.width,
                    output->current.height, int(std::lround(output->current.refresh)));
        if (output->current.width != width || output->current.height != height ||
            !sameRate(output->current.refresh, refresh))
            return false;
    }
    // 10. The output's rectangle on the desktop.
    outputRect = {};
    for (const DisplayDevice& d : devices) {
        if (!d.attached) continue;
        const OutputRect r{d.x, d.y, d.x + d.current.width, d.y + d.current.height};
        CDebug::Log(2, "CMultiMonitor::SetDisplayConfiguration(): on the desktop: [%s] [%d %d %d %d]", d.name, r.left,
                    r.top, r.right, r.bottom);
        if (d.name == outputDevice) {
            outputRect = r;
            break;
        }
    }
    if (outputRect.IsEmpty()) {
        CDebug::Log(1, "CMultiMonitor::SetDisplayConfiguration(): Enumerate() shows the output display off the desktop");
        return false;
    }
    configured = true;
    return true;
}
