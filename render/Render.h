// The play-out engine: a render thread that composes the playing objects of the
// page into a 2048 x 2048 render texture and converts it for the output once per
// frame (again only where the picture changed since the last frame), and a text
// thread that keeps the objects' text ahead of it.
//
// Threads: construct and destroy on the user-interface thread (the constructor
// waits for the render thread to set up OpenGL and reports the outcome in status);
// fullHdmiRange and stop may be written, the counts and Statistics read, from any
// thread. The render thread is the only thread that calls OpenGL: it creates the
// context's resources, draws, presents, and deletes textures released elsewhere.
// Each frame runs in phases (FramePhase), each timed on the render thread.
#pragma once

#include "core/FrameSet.h"
#include "playback/Timeline.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class QThread;

// Why the engine is not, or no longer, running. The numbers are fixed: cvtool
// prints them as "status", and the operator's message for a status is string
// 10320 + status.
enum class RenderStatus : int {
    Ok = 0,
    DisplayNotConfigured = 1,  // the output display could not be put into the video mode
    NoOpenGL33 = 2,            // no OpenGL 3.3 (library, display or context)
    ContextNotCurrent = 3,     // the context could not be made current
    SetUpFailed = 4,           // a capability missing, or a texture, framebuffer or program not made
    OutputLost = 5,            // the target could not present: its display went away or changed mode
    Stopped = 6,               // the frames ended on request (stop, or beforeFrame said so)
};

// The steps of one frame on the render thread, in the order they run.
enum class FramePhase : int {
    Collect,  // the playing objects presented, as quads (not the text work tools do in between)
    Damage,   // where the frame differs from the last one
    Upload,   // pixels written into the drawn textures, and the quads' vertices
    Compose,  // the quads into the render texture
    Output,   // the render texture converted (packed or plain) into the target
    Present,  // the target shows the frame (a window waits there for the display or its pacer)
};
constexpr int FramePhaseCount = 6;
// "collect", "damage", "upload", "compose", "output", "present": as the log and
// cvtool name them.
const char* FramePhaseName(FramePhase phase);

// How long a phase took per frame, over the frames timed.
struct FramePhaseTimes {
    double minMs = 0;
    double meanMs = 0;
    double maxMs = 0;
};

struct RenderStatistics {
    int frames = 0;  // frames presented; each is timed in every phase
    std::array<FramePhaseTimes, FramePhaseCount> phases{};
    const FramePhaseTimes& operator[](FramePhase phase) const { return phases[size_t(phase)]; }
};

// Microseconds from a steady clock; only differences are used.
class CHiResTimer {
public:
    CHiResTimer();
    virtual ~CHiResTimer() = default;
    virtual int64_t Micros();
};

// A clock that stands still until it is set: frames of exactly one period for
// tools and tests. Set by the thread that drives the frames, read by the render thread.
class CVirtualTimer : public CHiResTimer {
public:
    int64_t Micros() override { return now.load(); }
    std::atomic<int64_t> now{1};
};

// Where frames go. The render thread makes the target's context current, draws
// the output into Framebuffer() and calls Present once per frame.
class IPresentTarget {
public:
    virtual ~IPresentTarget() = default;
    // Render thread. Creates (if needed) and makes current an OpenGL 3.3 core
    // context; a status and a log line on failure.
    virtual RenderStatus MakeCurrent(std::string& failure) = 0;
    virtual void DoneCurrent() = 0;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    // The framebuffer the output pass draws into (0: the window's own).
    virtual unsigned Framebuffer() = 0;
    // True for a window, which shows its framebuffer's first row at the bottom.
    virtual bool FlipY() const { return false; }
    // True when presented; false stops the engine with status OutputLost (the
    // output is gone).
    virtual bool Present() = 0;
    // True when the framebuffer still holds the last frame at the next one (an
    // offscreen framebuffer); a window's back buffer is undefined after a swap, so
    // the engine keeps the output in a framebuffer of its own and copies it over.
    virtual bool KeepsFrame() const { return true; }
    // The framebuffer that holds the frame last presented, for reading it back.
    virtual unsigned ShownFramebuffer() { return Framebuffer(); }
};

// An OpenGL context on Mesa's surfaceless EGL platform and a framebuffer of the
// given size: rendering with no display at all (tools, tests, benchmarks).
class COffscreenTarget : public IPresentTarget {
public:
    COffscreenTarget(int width, int height);
    ~COffscreenTarget() override;
    RenderStatus MakeCurrent(std::string& failure) override;
    void DoneCurrent() override;
    int Width() const override { return width_; }
    int Height() const override { return height_; }
    unsigned Framebuffer() override { return framebuffer_; }
    bool Present() override;
    bool KeepsFrame() const override { return !discardsFrame; }
    unsigned ShownFramebuffer() override { return discardsFrame ? shownFramebuffer_ : framebuffer_; }

    // For tests: fail context creation with this status.
    RenderStatus failWith = RenderStatus::Ok;
    // For tests: behave as a window's back buffer, whose content is undefined
    // after a present; the frame presented is kept aside for reading and the
    // framebuffer filled with a colour no frame has.
    bool discardsFrame = false;

private:
    void Destroy();
    int width_, height_;
    void* display_ = nullptr;  // EGLDisplay
    void* context_ = nullptr;  // EGLContext
    unsigned framebuffer_ = 0, colour_ = 0;
    unsigned shownFramebuffer_ = 0, shownColour_ = 0;
};

struct RenderOptions {
    int renderWidth = 1920;   // the picture composed (the video mode's render size)
    int renderHeight = 1080;
    bool preview = false;     // a preview shows the composed picture scaled into the target
    bool noYCbCrA = false;    // full-screen without the keyer packing
    bool fullHdmiRange = true;
    uint32_t backColor = 0;   // ARGB: clear colour of the render texture
    int scale = 1;            // full-screen: the render texture shown at 1/scale
    // Every frame composed and converted whole, not only where something changed
    // (tests compare the two).
    bool redrawAll = false;

    // Tools and tests: the render thread runs the text thread's passes until they
    // are idle before each frame (no text thread), so frames never depend on timing.
    bool synchronousText = false;
    // Called on the render thread before each frame with its index; false ends the
    // rendering (status Stopped, as a stop on request).
    std::function<bool(int frame)> beforeFrame;
    // Called on the render thread for every object presented.
    std::function<void(int frame, CFrame& object, const FramePresentation& record, TimelinePhase phase, bool alive)>
        presented;
    // Called on the render thread after each present, with the context current:
    // may read the render texture or the target's framebuffer.
    std::function<void(int frame, class CRender& engine)> afterFrame;

    // The options the settings give for a video mode: render size; "NoYCbCrA",
    // "BackColor" and "Scale" of section Debug; "FullHDMIRange" of Preferences.
    static RenderOptions FromSettings(int mode);
};

class CRender {
public:
    // Takes the target; the timer may be a virtual one (tools and tests).
    CRender(CFrameSet& page, RenderOptions options, std::unique_ptr<IPresentTarget> target,
            std::unique_ptr<CHiResTimer> timer = nullptr);
    virtual ~CRender();
    CRender(const CRender&) = delete;
    CRender& operator=(const CRender&) = delete;

    // Set once by construction or by the render thread when it fails or stops.
    std::atomic<RenderStatus> status{RenderStatus::Ok};
    // Written by any thread (the set-up wizard's range switch); read every frame.
    std::atomic<int> fullHdmiRange{1};
    std::atomic<int> stop{0};

    // Statistics (render thread writes, others read).
    std::atomic<int> framesRendered{0};
    std::atomic<int> vertexUploads{0};
    std::atomic<int> textureUploads{0};  // textures whose written pixels went to OpenGL

    // Any thread: the phases' times over the frames presented so far. The render
    // thread hands a copy over after each frame (or at the next one when a reader
    // holds the copy just then) and once more when it stops, before it sets the
    // status: after the stop they cover every frame, and frames equals
    // framesRendered.
    RenderStatistics Statistics() const;

    // Render thread, inside afterFrame: the composed picture (premultiplied RGBA,
    // top row first) and the output as presented (RGBA).
    void ReadComposed(std::vector<uint8_t>& rgba, int& width, int& height);
    void ReadOutput(std::vector<uint8_t>& rgba, int& width, int& height);

    // Nice values while the engine runs: time-critical drawing, text above normal.
    static constexpr int RenderThreadNice = -15;
    static constexpr int TextThreadNice = -5;

    static constexpr int RenderTextureSide = 2048;
    static constexpr int MaxQuads = 512;

private:
    struct GL;         // the OpenGL objects, owned by the render thread
    struct FrameWork;  // what one frame hands from phase to phase
    class PhaseClock;

    void RenderThread();
    void TextThread();
    // One frame, phase by phase; false when the target could not present it.
    bool RenderFrame(int frame);
    int CollectQuads(int frame, PhaseClock& clock);
    void FindDamage(int frame, FrameWork& work);
    void Upload(const FrameWork& work);
    void Compose(int frame, const FrameWork& work);
    void ConvertOutput(const FrameWork& work);
    bool Present();
    // The frame's phase times into the run's, and a copy for other threads.
    void CountTimes(const FrameWork& work);
    void PublishStatistics(bool wait);
    RenderStatus InitGL(std::string& failure);
    void WarmUp();
    // The output program (plain, or packed for the keyer) with its uniforms and
    // blending, for a target of width x height and an output quad of quadW x quadH.
    void UseOutputProgram(bool plain, int width, int height, float quadW, float quadH, bool fullRange);
    void ReleaseGL();
    // Starts one of the engine's threads as a Qt thread: the text documents and the
    // output's context are Qt objects, which start timers and expect an event
    // dispatcher of their thread (a thread Qt only adopts has none, and each timer
    // asked for is a warning on standard error).
    std::unique_ptr<QThread> StartThread(void (CRender::*body)());
    // Waits for a thread that was told to stop: two seconds for its done word, then
    // for as long as its last step takes.
    void Finish(std::unique_ptr<QThread>& thread, std::atomic<bool>& done);

    CFrameSet& page_;
    RenderOptions options_;
    std::unique_ptr<IPresentTarget> target_;
    std::unique_ptr<CHiResTimer> timer_;
    std::unique_ptr<GL> gl_;
    int64_t lastFrameTime_ = 0;

    std::unique_ptr<QThread> renderThread_, textThread_;
    std::atomic<bool> renderDone_{false}, textDone_{false};
    // The constructor waits here for the render thread's set-up.
    std::mutex startLock_;
    std::condition_variable started_;
    bool startReported_ = false;  // guarded by startLock_
    // The render thread's copy of its statistics for other threads: written by the
    // render thread, copied out by Statistics(); held only for the copy.
    mutable std::mutex statisticsLock_;
    RenderStatistics published_;  // guarded by statisticsLock_
};
