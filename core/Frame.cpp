#include "core/Frame.h"

#include "render/Texture.h"

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
