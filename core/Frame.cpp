#include "core/Frame.h"

#include "media/Texture.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace {
// Ids are unique within the run; objects may be constructed on the user-interface
// thread and (for snapshots) elsewhere, so the counter is atomic.
std::atomic<int> NextId{1};
}  // namespace

CFrame::CFrame() : Id(NextId.fetch_add(1)) {}

CFrame::CFrame(const CFrame& other) : Id(NextId.fetch_add(1)) {
    FramePeriod = other.FramePeriod;
    Kind = other.Kind;
    Rect = other.Rect;
    CopyProperties(other);
    // A clone is a new, independent object: it must not inherit the lock or the
    // link that ties the original to its image file.
    Locked = 0;
    MaintainLink = 0;
    ImageFileName.clear();
    CopyContent(other);
}

CFrame::~CFrame() {
    // A playing object is stopped first, so the render thread has let go of it
    // before its textures and pictures go.
    Stop();
}

void CFrame::CopyContent(const CFrame& other) {
    // A linked object may be re-importing on the render thread.
    std::lock_guard guard(other.FramesLock);
    PictureWidth = other.PictureWidth;
    PictureHeight = other.PictureHeight;
    Frames = other.Frames;
    RichText = other.RichText;
    // QByteArray shares until written; a clone must own its bytes outright.
    RichText.detach();
}

std::unique_ptr<CFrame> CFrame::Snapshot() const {
    auto copy = std::make_unique<CFrame>(*this);
    copy->Locked = Locked;
    copy->MaintainLink = MaintainLink;
    copy->ImageFileName = ImageFileName;
    copy->Id = Id;
    return copy;
}

void CFrame::CopyProperties(const CFrame& from) {
    Locked = from.Locked;
    Movement = from.Movement;
    Speed = from.Speed;
    Loop = from.Loop;
    ShowWhileTextMoves = from.ShowWhileTextMoves;
    Reverse = from.Reverse;
    StartFromEdge = from.StartFromEdge;
    BackColor = from.BackColor;
    TextOpacity = from.TextOpacity;
    DropShadow = from.DropShadow;
    LoopAnimation = from.LoopAnimation;
    MaintainLink = from.MaintainLink;
    ImageFileName = from.ImageFileName;

    TextSource = from.TextSource;
    FileName = from.FileName;
    Encoding = from.Encoding;
    FirstLineIsHeader = from.FirstLineIsHeader;
    ClockFormat = from.ClockFormat;
    MonitorFileChanges = from.MonitorFileChanges;
    Separator = from.Separator;
    TimerFormat = from.TimerFormat;
    TimerStart = from.TimerStart;
    TimerStop = from.TimerStop;
    TimerDirection = from.TimerDirection;
    BarGraph = from.BarGraph;

    ShowFor = from.ShowFor;
    ShowIndefinitely = from.ShowIndefinitely;
    StartDelay = from.StartDelay;
    InEffect = from.InEffect;
    InEffectDuration = from.InEffectDuration;
    FadeIn = from.FadeIn;
    OutEffect = from.OutEffect;
    OutEffectDuration = from.OutEffectDuration;
    FadeOut = from.FadeOut;
    Repeat = from.Repeat;

    SwitcherButton = from.SwitcherButton;
    Group = from.Group;
    Hotkey = from.Hotkey;
}

int CFrame::OpacityToPercent(int opacity) {
    if (opacity >= 255) return 0;
    if (opacity <= 0) return 100;
    return (255 - opacity) * 100 / 255;
}

int CFrame::PercentToOpacity(int percent) {
    if (percent < 0) percent = 0;
    if (percent > 100) percent = 100;
    // The rounding term alone would turn 0 % into 254: an opaque colour must stay
    // opaque when the operator confirms 0 % in the grid.
    if (percent == 0) return 255;
    return 255 - (percent == 100 ? 255 : (percent * 255 + 128) / 100);
}

int CFrame::PeekNextId() { return NextId.load(); }

// Stopping and pausing need nothing of playback: removing or deleting an object
// stops it in this layer.
//
// Threads: Stop runs on the command thread, on the render thread (an object that
// finished; every object as the engine stops) and in the destructor (on whichever
// thread ends the last snapshot of a removed object, which is stopped already);
// ReleaseTextures on the thread that stops. TogglePause runs on the command thread,
// BeginPresent and EndPresent on the render thread.
bool CFrame::Stop() { return StopIf(false, 0, true); }

bool CFrame::StopRun(int run) { return StopIf(true, run, false); }

bool CFrame::StopIf(bool onlyRun, int run, bool waitForText) {
    // Only the caller that turns Playing off stops the object: the render thread
    // stopping a finished object and a command stopping it at once release its
    // textures once, not twice.
    Stopping.fetch_add(1);
    if ((onlyRun && Run.load() != run) || !Playing.exchange(0)) {
        Stopping.fetch_sub(1);
        // Stopped already (by the render thread, which does not wait for a text
        // step): a caller about to edit the object still must not run under one.
        if (waitForText) WaitForText();
        return false;
    }
    Paused.exchange(0);
    ReleaseTextures(waitForText);
    Stopping.fetch_sub(1);
    return true;
}

void CFrame::ReleaseTextures(bool waitForText) {
    // The render thread may be drawing the object this very frame: its textures go
    // only once it has let go.
    const auto pause = std::chrono::milliseconds(std::max(1, FramePeriod / 500));
    while (Busy.load()) std::this_thread::sleep_for(pause);
    BackgroundTexture.reset();
    TextTexture.reset();
    // Nor may the text thread still be reading the object when the caller goes on
    // to edit it (a text step lasts at most one strip's rasterising).
    if (waitForText) WaitForText();
}

void CFrame::WaitForText() {
    while (TextBusy.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void CFrame::TogglePause() {
    if (!Playing.load()) return;
    Paused.fetch_xor(1);
}

bool CFrame::BeginPresent() {
    Busy.exchange(1);
    if (Playing.load()) return true;
    Busy.exchange(0);
    return false;
}

void CFrame::EndPresent() { Busy.exchange(0); }
