// The output display: found among the system's displays, switched into the video
// mode right of the primary display when the output goes on, detached again when
// it goes off.
//
// Threads: the user-interface thread (the render engine is created and destroyed
// there); a display system is not shared between threads.
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

struct DisplayModeInfo {
    int width = 0;
    int height = 0;
    double refresh = 0;  // Hz (fields per second for an interlaced mode)
    bool interlaced = false;
    bool operator==(const DisplayModeInfo&) const = default;
};

// One display device: an output of the X screen.
struct DisplayDevice {
    QString name;         // the output's name ("HDMI-1", "DUMMY1")
    QString description;  // what drives it
    QString monitor;      // the monitor's name (from its EDID), or the output's name
    bool connected = false;
    bool attached = false;  // part of the desktop (it has a mode)
    bool primary = false;
    int x = 0, y = 0;       // desktop rectangle when attached
    DisplayModeInfo current;
    std::vector<DisplayModeInfo> modes;
};

// What the display configuration is made of; the X implementation talks to the X
// server, tests give recorded answers.
class IDisplaySystem {
public:
    enum Result : int { Ok = 0, Failed = -1, BadMode = -2 };
    virtual ~IDisplaySystem() = default;
    virtual bool Enumerate(std::vector<DisplayDevice>& devices) = 0;
    // Shows the output in the mode with its top left corner at (x, y), growing the
    // desktop as needed; an output that shares the primary's picture source gets
    // one of its own, and the primary keeps showing what it showed.
    virtual int SetMode(const QString& output, const DisplayModeInfo& mode, int x, int y) = 0;
    // Takes the output off the desktop (and nothing else with it).
    virtual int Detach(const QString& output) = 0;
};

// One look at the displays for a requested size (0: any).
class CDisplayConfiguration {
public:
    CDisplayConfiguration(IDisplaySystem& system, int width, int height);
    virtual ~CDisplayConfiguration() = default;

    QString primaryDevice;
    QString primaryDescription;
    QString primaryMonitor;
    QStringList candidateDevices;
    QStringList candidateDescriptions;
    QStringList candidateMonitors;
    bool cloneMode = false;  // another display shows the primary's picture
};

// Left, top, right, bottom in desktop pixels.
struct OutputRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool IsEmpty() const { return right <= left || bottom <= top; }
    bool operator==(const OutputRect&) const = default;
};

// The debug window that stands in for the output display (settings Debug/Window,
// Width and Height).
struct DebugWindowSettings {
    bool window = false;
    int width = 0;   // 0: the display width / 4
    int height = 0;  // 0: the display height / 4
    static DebugWindowSettings FromSettings();
};

class CMultiMonitor {
public:
    // deviceName: the setting "DisplayAdapter" (empty: automatic).
    CMultiMonitor(IDisplaySystem& system, const QString& deviceName, int width, int height, int refresh,
                  bool restoreDisabled, DebugWindowSettings debug = DebugWindowSettings::FromSettings());
    virtual ~CMultiMonitor();
    CMultiMonitor(const CMultiMonitor&) = delete;
    CMultiMonitor& operator=(const CMultiMonitor&) = delete;

    // True when the output display is in the mode (on) or off the desktop (off).
    bool SetDisplayConfiguration(bool on, int width, int height, int refresh);

    // Lifts clone mode: every display showing the primary display's picture is
    // placed right of it in its own mode. A display system result (0: done).
    static int ExtendDesktop(IDisplaySystem& system);

    bool restoreDisabled = false;
    bool configured = false;
    QString primaryDevice;
    QString outputDevice;
    OutputRect outputRect;

private:
    IDisplaySystem& system_;
    DebugWindowSettings debug_;
};
