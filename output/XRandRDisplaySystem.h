// The displays of an X server through XRandR: outputs are the display devices,
// their CRTCs place them on the desktop.
//
// Threads: one thread at a time (the user-interface thread); the X connection is
// this object's own.
#pragma once

#include "output/DisplayConfiguration.h"

class CXRandRDisplaySystem : public IDisplaySystem {
public:
    // Connects to displayName (empty: $DISPLAY).
    explicit CXRandRDisplaySystem(const QString& displayName = QString());
    ~CXRandRDisplaySystem() override;
    CXRandRDisplaySystem(const CXRandRDisplaySystem&) = delete;
    CXRandRDisplaySystem& operator=(const CXRandRDisplaySystem&) = delete;

    bool Connected() const { return display_ != nullptr; }

    bool Enumerate(std::vector<DisplayDevice>& devices) override;
    int SetMode(const QString& output, const DisplayModeInfo& mode, int x, int y) override;
    int Detach(const QString& output) override;

private:
    // Resizes the screen to hold every CRTC's picture (with one CRTC changed).
    bool FitScreen(unsigned long changedCrtc, int x, int y, int width, int height);

    struct _XDisplay* display_ = nullptr;
    unsigned long root_ = 0;
};
