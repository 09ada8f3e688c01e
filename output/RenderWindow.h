// The full-screen output window and the presentation target that draws into a
// window (the output's, or a preview pane's): an OpenGL 3.3 context on the window,
// swap interval 1, and pacing of its own where presentation does not wait for the
// display.
//
// Threads: CRenderWindow and CWindowTarget are made and destroyed on the
// user-interface thread; the target's MakeCurrent, Present and DoneCurrent run on
// the render thread; the lost word is written by the user-interface thread (screen
// signals) and read by the render thread.
#pragma once

#include "output/DisplayConfiguration.h"
#include "render/Render.h"

#include <QWindow>
#include <atomic>
#include <functional>
#include <memory>

class QOpenGLContext;
class QScreen;

// A frameless, always-on-top window with no taskbar entry over the output
// rectangle, that keeps the pointer off itself.
class CRenderWindow : public QWindow {
public:
    // Placed on its screen and geometry before it is shown: without a window
    // manager a full-screen request alone gives no window at all.
    CRenderWindow(const OutputRect& rect, QScreen* screen);
    const OutputRect rect;

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
};

// Holds presentation to the output's frame period when the display does not (a
// virtual X server, a driver or compositor that ignores the swap interval), and
// counts the frames that came late.
class CFramePacer {
public:
    // The clock and the sleep are the real ones unless a test gives its own.
    explicit CFramePacer(int periodMicros, std::function<int64_t()> now = nullptr,
                         std::function<void(int64_t)> sleepUntil = nullptr);
    // Called right after each present; may sleep until the frame's time.
    void AfterPresent();
    std::atomic<int> lateFrames{0};         // intervals over 1.5 periods
    std::atomic<int> longestMicros{0};      // the longest interval
    std::atomic<int> paced{0};              // presents that returned early and were held
    // Presents per second from the first present to the last.
    double Rate() const;

private:
    int periodMicros_;
    std::function<int64_t()> now_;
    std::function<void(int64_t)> sleepUntil_;
    int64_t last_ = 0;                      // render thread: the last present
    int64_t due_ = 0;                       // render thread: when the next one is due
    std::atomic<int64_t> first_{0}, latest_{0};
    std::atomic<int> presents_{0};
};

class CWindowTarget : public IPresentTarget {
public:
    // alternativeSync: swap interval 1 alone; otherwise a glFinish after each swap
    // as well. periodMicros: the output's frame period (0: no pacing).
    CWindowTarget(QWindow& window, bool alternativeSync, int periodMicros);
    ~CWindowTarget() override;

    RenderStatus MakeCurrent(std::string& failure) override;
    void DoneCurrent() override;
    // The window's size now: a preview pane may be resized while it plays.
    int Width() const override { return width_.load(); }
    int Height() const override { return height_.load(); }
    unsigned Framebuffer() override;
    bool FlipY() const override { return true; }
    // A window's back buffer is undefined after a swap (drivers that offer to
    // keep it do not always manage to): the engine keeps the output and copies it.
    bool KeepsFrame() const override { return false; }
    bool Present() override;

    CFramePacer pacer;
    // Set when the window's screen went away or changed its mode under the engine.
    std::atomic<bool> lost{false};

    // Before the application object: the OpenGL driver is kept loaded for the
    // process's life.
    static void KeepDriverLoaded();

private:
    QWindow& window_;
    bool alternativeSync_;
    // Written by the user-interface thread when the window is resized, read by
    // the render thread.
    std::atomic<int> width_, height_;
    std::unique_ptr<QOpenGLContext> context_;  // made and used on the render thread
    QMetaObject::Connection removed_, changed_, widthChanged_, heightChanged_;
};
