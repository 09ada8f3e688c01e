// One on-screen object of a page: its stored properties, its content (rich text and
// picture or animation frames) and the run-time state of its playback.
//
// Threads: the user-interface thread owns the stored properties and content and
// changes them only while the object is not playing. While the object plays, the
// render thread and the text thread read the stored fields and own the run-time
// state; the words that both of them (or the user-interface thread) touch are
// atomics, and each says who writes it.
#pragma once

#include "media/Picture.h"
#include "media/Texture.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

// Left, top, right, bottom in output pixels; right and bottom are exclusive.
struct CRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const CRect&) const = default;
};

enum ObjectKind : int { KindSimple = 0, KindPicture = 1 };
enum Movement : int { MovementFixed = 0, MovementHorizontal = 1, MovementVertical = 2 };
enum TextSourceKind : int {
    SourceObjectText = 0,
    SourceClock = 1,
    SourceTextFile = 2,
    SourceRtfFile = 3,
    SourceCsvFile = 4,
    SourceTimer = 5,
};

// Calendar time as eight 16-bit words: year, month, day of week, day, hour, minute,
// second, millisecond.
using CalendarTime = std::array<uint16_t, 8>;

// One frame of a picture or animation.
class CFrameBackground {
public:
    static constexpr int MaxFrames = 1000;  // frames an object holds at most

    CFrameBackground() = default;
    CFrameBackground(const CFrameBackground&) = default;
    CFrameBackground& operator=(const CFrameBackground&) = default;
    CFrameBackground(CFrameBackground&&) noexcept = default;
    CFrameBackground& operator=(CFrameBackground&&) noexcept = default;
    virtual ~CFrameBackground() = default;

    CCompressedPicture Picture;
    int Delay = 20;  // ms the frame is shown
};

// The parsed table of a CSV text source.
class CFrameSourceData {
public:
    virtual ~CFrameSourceData() = default;

    QStringList Placeholders;        // "%1%"... or "%Header%"...
    std::vector<QStringList> Rows;   // data lines split into fields
    int CurrentRow = 0;              // row shown next
};

// Run-time state a higher layer keeps with the object (the text source's template,
// read once per play run); the record only holds it and drops it with itself.
class CFrameTextCache {
public:
    virtual ~CFrameTextCache() = default;
};

class CFrame {
public:
    // Defaults, no content, no textures, a new Id.
    CFrame();
    // Clone: a new Id and every property and content, but neither the lock nor the
    // link to an image file; run-time state as constructed.
    CFrame(const CFrame& other);
    CFrame& operator=(const CFrame&) = delete;
    virtual ~CFrame();

    // A copy for the undo history: a clone that also keeps Locked, MaintainLink and
    // ImageFileName, and the Id of this object.
    std::unique_ptr<CFrame> Snapshot() const;

    // Copies the properties that a property edit can change (not Kind, Rect,
    // pictures or rich text) from another object.
    void CopyProperties(const CFrame& from);

    // The grid's "Transparency" percentage for an opacity, and back.
    static int OpacityToPercent(int opacity);
    static int PercentToOpacity(int percent);

    // The process-wide id counter's next value (for tests and diagnostics).
    static int PeekNextId();

    // Playing the object. Play, End, Stop and TogglePause run on whichever thread a
    // command arrives on (the user-interface thread); PresentFrame (playback layer)
    // on the render thread.
    int Play();          // 1 if the object started
    int End();           // 1 if it resumed a paused object to play it out
    int Stop();          // 1 if the object was playing
    void TogglePause();  // only while playing
    // Waits until the render thread has let go of the object, then releases both
    // display textures (Stop does this after clearing Playing).
    void ReleaseTextures();
    // Timeline values back to their start (at play and at each repetition).
    void ResetTimeline();

    // The render thread's hold on a playing object for one output frame: Busy is
    // set before Playing is checked, so Stop either sees Busy or the render thread
    // sees the object stopped. BeginPresent returns false (and holds nothing) when
    // the object is not playing.
    bool BeginPresent();
    void EndPresent();

    // Identity and geometry.
    int Deleted = 0;     // written by the user-interface thread under the page lock
    int FramePeriod = 0; // µs per output frame of the page's video mode
    int Id = 0;
    int Kind = KindSimple;
    CRect Rect;
    int Locked = 0;

    // Text and movement.
    int Movement = MovementFixed;
    int Speed = 10;
    int Loop = 1;
    int ShowWhileTextMoves = 0;
    int Reverse = 0;
    int StartFromEdge = 0;
    uint32_t BackColor = 0x1A000000;  // red in the low byte, opacity in the top byte
    int TextOpacity = 255;
    int DropShadow = 0;

    // Picture and animation. A linked object's re-import on the render thread puts
    // new frames in place under FramesLock; readers on other threads take it too.
    int PictureWidth = 0;
    int PictureHeight = 0;
    std::vector<CFrameBackground> Frames;
    int LoopAnimation = 1;
    int MaintainLink = 0;
    QString ImageFileName;

    // Rich text (8-bit RTF).
    QByteArray RichText;

    // Text source.
    int TextSource = SourceObjectText;
    QString FileName;
    int Encoding = 0;
    int FirstLineIsHeader = 0;
    QString ClockFormat = QStringLiteral("%H:%M");
    int MonitorFileChanges = 0;
    int Separator = 0;
    QString TimerFormat = QStringLiteral("%H:%M:%S");
    int TimerStart = 0;
    int TimerStop = 3600;
    int TimerDirection = 0;
    int BarGraph = 0;

    // Editor pictures (not stored). The pictures belong to the user-interface thread;
    // the valid flags are also cleared by a re-import on the render thread.
    std::atomic<int> EditorBackgroundValid{0};
    CPicture EditorBackground;
    std::atomic<int> EditorTextValid{0};
    CPicture EditorText;

    // Presentation.
    int ShowFor = 0;
    int ShowIndefinitely = 1;
    int StartDelay = 0;
    int InEffect = 0;
    int InEffectDuration = 0;
    int FadeIn = 0;
    int OutEffect = 0;
    int OutEffectDuration = 0;
    int FadeOut = 0;
    int Repeat = 0;

    // Remote control and grouping.
    int SwitcherButton = 0;
    QString Group;
    int Hotkey = 0;

    // Run-time state, never stored; reset whenever the object starts playing.
    // Plain fields below are written by Play (on the command thread) before Playing
    // publishes them, and from then on only by the render thread (clock, phase,
    // animation and texture fields) or the text thread (text source and movement
    // fields), until Stop has cleared Playing and waited for Busy. The words both
    // threads use are atomics and say who writes them; a rendered chunk passes from
    // the text thread to the render thread through ChunkPending.
    std::atomic<int> Playing{0};   // written by the user-interface thread (play, stop) and the render thread (finish)
    std::atomic<int> Paused{0};    // written by the user-interface thread
    std::atomic<int> Busy{0};      // written by the render thread while it presents the object
    std::atomic<int> Stopping{0};  // set by Stop until the textures are released; Play waits for it
    // EndTime, Clock and Ending: written by the render thread (PresentFrame, at each
    // repetition and every frame) and by End and Play on the user-interface thread
    // while the object plays, with no lock; atomic words so each read sees a whole
    // value (the render thread takes End's values at its next frame).
    std::atomic<int> EndTime{0};
    std::atomic<int> Clock{0};     // ms since the object started playing
    int ClockMicros = 0;           // µs not yet added to Clock, 0..999
    int MoveAccumulator = 0;
    int AnimationFrame = -1;
    int AnimationFrameStart = 0;
    std::atomic<int> Ending{0};    // set by End, cleared by the render thread when the object finishes
    std::atomic<int> BarValue{0};         // written by the text thread, read by the render thread
    std::atomic<int> SourceReady{0};      // written by the text thread, cleared by play
    std::atomic<int> TextError{0};        // written by the text thread
    QByteArray SourceRichText;    // the RTF file's bytes, that source's template
    // The text source's parsed template: the text thread's while the object plays,
    // the user-interface thread's (still pictures, the tool) while it does not. Play
    // drops it on the command thread once TextBusy is clear, before Playing publishes
    // the new run, so each run reads its template afresh.
    std::unique_ptr<CFrameTextCache> TextCache;
    CFrameSourceData Table;
    CalendarTime SourceFileTime{};
    int64_t SourceFileNanos = 0;   // the same stamp to the nanosecond: a rewrite within a second still shows
    QString LastValue;
    std::atomic<int> RecheckDue{0};       // set by the render thread, cleared by the text thread
    std::atomic<int> RecheckCountdown{0}; // decremented by the render thread, reloaded by the text thread
    int Scrolled = 0;
    int Copied = 0;
    std::atomic<int> TextPresent{0};      // written by the text thread; reset by play and at each repetition
    int DisplayStarted = 0;
    int TextureWidth = 0;
    int TextureHeight = 0;
    int Lead = 0;
    std::array<int, 4> Ring{};     // write x, write y, read x, read y
    std::array<int, 4> Chunk{};    // copy x, copy y, width, height of ChunkPicture
    CPicture ChunkPicture;
    std::atomic<int> ChunkPending{0};    // set by the text thread, cleared by the render thread
    // The text's read position: written by the text thread while no chunk is pending,
    // by the render thread while one is (the ChunkPending hand-over orders them), and
    // reset at each repetition under TextLock.
    std::atomic<int> NoMoreText{0};
    std::atomic<int> NextChar{0};
    std::atomic<int> ChunksRendered{0};  // incremented by the text thread
    std::atomic<int> EdgeLeadDone{0};     // text thread; reset at each repetition under TextLock
    // Set by the text thread while it works on the object; Play waits for it so that
    // a new run never starts under a text step of the old one.
    std::atomic<int> TextBusy{0};
    // Taken by the text thread while it publishes a chunk and by a repetition's reset
    // of the text fields (render thread), never while rasterising; TextGeneration
    // counts those resets so a chunk rendered for an earlier pass is dropped.
    std::mutex TextLock;
    std::atomic<int> TextGeneration{0};
    std::atomic<int> BackgroundError{0}; // written by the render thread on a failed re-import
    CalendarTime ImageFileTime{};
    int ImageFileSize = 0;
    TextureHandle BackgroundTexture;  // created by the render thread; released by Stop once Busy is clear
    TextureHandle TextTexture;        // created by the render thread; released by Stop once Busy is clear
    CPicture FrameScratch;
    QString Caption;
    // Held by an import while it puts new frames in place, and by the editor while it
    // reads the frames of a playing object (whose imports run on the render thread).
    mutable std::mutex FramesLock;

private:
    void CopyContent(const CFrame& other);
};
