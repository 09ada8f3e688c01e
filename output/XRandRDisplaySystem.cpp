#include "output/XRandRDisplaySystem.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace {

// X errors of our own requests are answers, not reasons to end the program.
int ErrorCount = 0;  // written by the handler on the calling thread (one caller at a time)
int CountError(Display*, XErrorEvent*) {
    ++ErrorCount;
    return 0;
}

// Installs the counting handler for one exchange with the server.
class ErrorTrap {
public:
    explicit ErrorTrap(Display* display) : display_(display), previous_(XSetErrorHandler(CountError)) {
        ErrorCount = 0;
    }
    ~ErrorTrap() { XSetErrorHandler(previous_); }
    bool Failed() {
        XSync(display_, False);
        return ErrorCount != 0;
    }

private:
    Display* display_;
    int (*previous_)(Display*, XErrorEvent*);
};

struct ResourcesDeleter {
    void operator()(XRRScreenResources* r) const { XRRFreeScreenResources(r); }
};
struct OutputDeleter {
    void operator()(XRROutputInfo* o) const { XRRFreeOutputInfo(o); }
};
struct CrtcDeleter {
    void operator()(XRRCrtcInfo* c) const { XRRFreeCrtcInfo(c); }
};
using Resources = std::unique_ptr<XRRScreenResources, ResourcesDeleter>;
using OutputInfo = std::unique_ptr<XRROutputInfo, OutputDeleter>;
using CrtcInfo = std::unique_ptr<XRRCrtcInfo, CrtcDeleter>;

const XRRModeInfo* ModeById(const XRRScreenResources* resources, RRMode id) {
    for (int k = 0; k < resources->nmode; ++k)
        if (resources->modes[k].id == id) return &resources->modes[k];
    return nullptr;
}

// Frames per second: an interlaced mode's total lines hold both fields.
DisplayModeInfo InfoOf(const XRRModeInfo& m) {
    DisplayModeInfo info;
    info.width = int(m.width);
    info.height = int(m.height);
    info.interlaced = (m.modeFlags & RR_Interlace) != 0;
    double lines = double(m.vTotal);
    if (m.modeFlags & RR_DoubleScan) lines *= 2;
    info.refresh = m.hTotal && lines ? double(m.dotClock) / (double(m.hTotal) * lines) : 0.0;
    return info;
}

// The monitor's name from its EDID (descriptor tag 0xFC), when the output has one.
QString MonitorName(Display* display, RROutput output) {
    const Atom edidAtom = XInternAtom(display, "EDID", True);
    if (edidAtom == None) return {};
    unsigned char* data = nullptr;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    if (XRRGetOutputProperty(display, output, edidAtom, 0, 128, False, False, AnyPropertyType, &type, &format, &count,
                             &after, &data) != Success || !data)
        return {};
    QString name;
    for (unsigned long d = 54; d + 18 <= count && d < 126; d += 18) {
        if (data[d] == 0 && data[d + 1] == 0 && data[d + 3] == 0xFC) {
            name = QString::fromLatin1(reinterpret_cast<const char*>(data + d + 5), 13).trimmed();
            break;
        }
    }
    XFree(data);
    return name;
}

// Whether the CRTC drives other outputs besides this one.
bool SharedCrtc(Display* display, XRRScreenResources* resources, RRCrtc crtc) {
    const CrtcInfo info(XRRGetCrtcInfo(display, resources, crtc));
    return info && info->noutput > 1;
}

// Takes the output out of a CRTC that drives other outputs as well, which go on
// showing what they showed.
bool LeaveSharedCrtc(Display* display, XRRScreenResources* resources, RRCrtc crtc, RROutput output) {
    const CrtcInfo info(XRRGetCrtcInfo(display, resources, crtc));
    if (!info) return false;
    std::vector<RROutput> others;
    for (int k = 0; k < info->noutput; ++k)
        if (info->outputs[k] != output) others.push_back(info->outputs[k]);
    return XRRSetCrtcConfig(display, resources, crtc, CurrentTime, info->x, info->y, info->mode, info->rotation,
                            others.data(), int(others.size())) == RRSetConfigSuccess;
}

}  // namespace

CXRandRDisplaySystem::CXRandRDisplaySystem(const QString& displayName) {
    const QByteArray name = displayName.toLocal8Bit();
    display_ = XOpenDisplay(displayName.isEmpty() ? nullptr : name.constData());
    if (!display_) return;
    int eventBase = 0, errorBase = 0;
    if (!XRRQueryExtension(display_, &eventBase, &errorBase)) {
        XCloseDisplay(display_);
        display_ = nullptr;
        return;
    }
    root_ = DefaultRootWindow(display_);
}

CXRandRDisplaySystem::~CXRandRDisplaySystem() {
    if (display_) XCloseDisplay(display_);
}

bool CXRandRDisplaySystem::Enumerate(std::vector<DisplayDevice>& devices) {
    devices.clear();
    if (!display_) return false;
    ErrorTrap trap(display_);
    // Probing (not the server's cached answer): a monitor plugged in since shows.
    const Resources resources(XRRGetScreenResources(display_, root_));
    if (!resources) return false;
    const RROutput primary = XRRGetOutputPrimary(display_, root_);
    for (int k = 0; k < resources->noutput; ++k) {
        const RROutput id = resources->outputs[k];
        const OutputInfo info(XRRGetOutputInfo(display_, resources.get(), id));
        if (!info) continue;
        DisplayDevice d;
        d.name = QString::fromLocal8Bit(info->name, info->nameLen);
        d.description = d.name;
        d.connected = info->connection == RR_Connected;
        d.primary = id == primary;
        d.monitor = MonitorName(display_, id);
        if (d.monitor.isEmpty()) d.monitor = d.name;
        for (int m = 0; m < info->nmode; ++m)
            if (const XRRModeInfo* mode = ModeById(resources.get(), info->modes[m])) d.modes.push_back(InfoOf(*mode));
        if (info->crtc) {
            const CrtcInfo crtc(XRRGetCrtcInfo(display_, resources.get(), info->crtc));
            if (crtc && crtc->mode != None) {
                d.attached = true;
                d.x = crtc->x;
                d.y = crtc->y;
                if (const XRRModeInfo* mode = ModeById(resources.get(), crtc->mode)) d.current = InfoOf(*mode);
            }
        }
        devices.push_back(d);
    }
    // An output that went away while it was read is simply not listed; the list
    // itself stands.
    trap.Failed();
    return true;
}

bool CXRandRDisplaySystem::FitScreen(unsigned long changedCrtc, int x, int y, int width, int height) {
    const Resources resources(XRRGetScreenResourcesCurrent(display_, root_));
    if (!resources) return false;
    int right = width > 0 ? x + width : 0, bottom = height > 0 ? y + height : 0;
    for (int k = 0; k < resources->ncrtc; ++k) {
        if (resources->crtcs[k] == changedCrtc) continue;
        const CrtcInfo crtc(XRRGetCrtcInfo(display_, resources.get(), resources->crtcs[k]));
        if (!crtc || crtc->mode == None) continue;
        right = std::max(right, crtc->x + int(crtc->width));
        bottom = std::max(bottom, crtc->y + int(crtc->height));
    }
    int minWidth = 0, minHeight = 0, maxWidth = 0, maxHeight = 0;
    XRRGetScreenSizeRange(display_, root_, &minWidth, &minHeight, &maxWidth, &maxHeight);
    right = std::clamp(right, minWidth, maxWidth);
    bottom = std::clamp(bottom, minHeight, maxHeight);
    // The root window has the screen's size now (Xlib's own figures are those of
    // the connection's start).
    Window root = 0;
    int gx = 0, gy = 0;
    unsigned screenWidth = 0, screenHeight = 0, border = 0, depth = 0;
    if (!XGetGeometry(display_, root_, &root, &gx, &gy, &screenWidth, &screenHeight, &border, &depth)) return false;
    if (right == int(screenWidth) && bottom == int(screenHeight)) return true;
    // Millimetres at 96 pixels per inch.
    XRRSetScreenSize(display_, root_, right, bottom, int(std::lround(right * 25.4 / 96.0)),
                     int(std::lround(bottom * 25.4 / 96.0)));
    return true;
}

int CXRandRDisplaySystem::SetMode(const QString& outputName, const DisplayModeInfo& mode, int x, int y) {
    if (!display_) return Failed;
    ErrorTrap trap(display_);
    const Resources resources(XRRGetScreenResourcesCurrent(display_, root_));
    if (!resources) return Failed;
    for (int k = 0; k < resources->noutput; ++k) {
        RROutput id = resources->outputs[k];
        const OutputInfo info(XRRGetOutputInfo(display_, resources.get(), id));
        if (!info || QString::fromLocal8Bit(info->name, info->nameLen) != outputName) continue;
        RRMode chosen = None;
        for (int m = 0; m < info->nmode && chosen == None; ++m) {
            const XRRModeInfo* candidate = ModeById(resources.get(), info->modes[m]);
            if (!candidate) continue;
            const DisplayModeInfo offered = InfoOf(*candidate);
            if (offered.width == mode.width && offered.height == mode.height && offered.interlaced == mode.interlaced &&
                std::fabs(offered.refresh - mode.refresh) < 0.5)
                chosen = candidate->id;
        }
        if (chosen == None) return BadMode;
        RRCrtc crtc = info->crtc;
        // An output that shares the primary's CRTC (a clone) gets one of its own:
        // moving the shared one would move the primary too. The primary itself
        // moves with its clones, and a clone with no free CRTC stays where it is.
        if (crtc != None && id != XRRGetOutputPrimary(display_, root_) && SharedCrtc(display_, resources.get(), crtc)) {
            RRCrtc free = None;
            for (int c = 0; c < info->ncrtc && free == None; ++c) {
                const CrtcInfo candidate(XRRGetCrtcInfo(display_, resources.get(), info->crtcs[c]));
                if (candidate && candidate->noutput == 0) free = info->crtcs[c];
            }
            if (free == None || !LeaveSharedCrtc(display_, resources.get(), crtc, id)) return Failed;
            crtc = free;
        }
        for (int c = 0; c < info->ncrtc && crtc == None; ++c) {
            const CrtcInfo free(XRRGetCrtcInfo(display_, resources.get(), info->crtcs[c]));
            if (free && free->noutput == 0) crtc = info->crtcs[c];
        }
        if (crtc == None) return Failed;
        FitScreen(crtc, x, y, mode.width, mode.height);
        const Status status =
            XRRSetCrtcConfig(display_, resources.get(), crtc, CurrentTime, x, y, chosen, RR_Rotate_0, &id, 1);
        if (trap.Failed() || status != RRSetConfigSuccess) return Failed;
        FitScreen(crtc, x, y, mode.width, mode.height);  // shrink what the old place left
        return trap.Failed() ? Failed : Ok;
    }
    return Failed;
}

int CXRandRDisplaySystem::Detach(const QString& outputName) {
    if (!display_) return Failed;
    ErrorTrap trap(display_);
    const Resources resources(XRRGetScreenResourcesCurrent(display_, root_));
    if (!resources) return Failed;
    for (int k = 0; k < resources->noutput; ++k) {
        const OutputInfo info(XRRGetOutputInfo(display_, resources.get(), resources->outputs[k]));
        if (!info || QString::fromLocal8Bit(info->name, info->nameLen) != outputName) continue;
        if (info->crtc == None) return Ok;  // not on the desktop
        // Off the desktop alone: the outputs it shares a CRTC with go on.
        if (SharedCrtc(display_, resources.get(), info->crtc))
            return LeaveSharedCrtc(display_, resources.get(), info->crtc, resources->outputs[k]) && !trap.Failed()
                       ? Ok
                       : Failed;
        const Status status =
            XRRSetCrtcConfig(display_, resources.get(), info->crtc, CurrentTime, 0, 0, None, RR_Rotate_0, nullptr, 0);
        if (trap.Failed() || status != RRSetConfigSuccess) return Failed;
        FitScreen(info->crtc, 0, 0, 0, 0);
        return trap.Failed() ? Failed : Ok;
    }
    return Failed;
}
