// One on-screen object of a page: its stored properties, its content (rich text and
// picture or animation frames) and the run-time state of its playback.
//
// Threads: the user-interface thread owns the stored properties and content and
// changes them only while the object is not playing. While the object plays, the
// render thread and the text thread read the stored fields and own the run-time
// state, grouped below by the thread that writes it: command words, the render
// thread's, the text thread's, and the hand-over words between the two, each with
// who writes it, who reads it and what guards it.
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

    // Playing the object. Play, End and TogglePause run on the command thread (the
    // user-interface thread, where every input's command arrives). Stop runs there
    // and on the render thread, which stops an object that finished and, as the engine
    // stops, every object; the render thread ends the pass of a crawl whose text has
    // passed with PlayOutPass. Play, End, PlayOut and PlayOutPass belong to the
    // playback layer (FramePlay.cpp), as does PresentFrame, the render thread's step.
    bool Play();         // true if the object started
    bool End();          // true if it resumed a paused object to play it out
    // End's part that ends the timeline for good (no repetition follows), without
    // resuming a pause; false when the object is already going out.
    bool PlayOut();
    // The out effect at the end of one pass: as PlayOut, but Repeat still starts
    // the object again afterwards.
    bool PlayOutPass();
    // The bar graph applies to a text file's value alone: the flag stays stored when
    // the source changes, and means nothing for any other source.
    bool ShowsBar() const { return BarGraph != 0 && TextSource == SourceTextFile; }
    bool Stop();         // true if the object was playing
    // The render thread's stop of an object that finished: stops it only while the
    // run it presented (Run, read while it held Busy) is still the one playing, so a
    // Stop and a new Play that fall between its frame and this call keep the new run.
    bool StopRun(int run);
    void TogglePause();  // only while playing
    // Waits until the render thread has let go of the object, then releases both
    // display textures, and then (waitForText) for the text thread (Stop does this,
    // on its thread, after clearing Playing). The render thread's StopRun does not
    // wait for the text thread, whose step may be long: the output must not stand
    // still meanwhile, and the next Play waits for that step anyway.
    void ReleaseTextures(bool waitForText = true);
    // Returns once the text thread does not work on the object (it may start again
    // only while the object plays).
    void WaitForText();
    // Timeline values back to their start: by Play, and by the render thread at each
    // repetition.
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

    // Picture and animation. While the object plays, the render thread puts a linked
    // file's re-imported frames in place under FramesLock; readers on other threads
    // take it too.
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
    // EditorBackgroundValid is also cleared under FramesLock when re-imported frames
    // are put in place (on the render thread while the object plays).
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

    // Run-time state, never stored; reset whenever the object starts playing. Play
    // (command thread) writes all of it before Playing publishes it, once a Stop in
    // progress and the text thread have let go. While the object plays, each field
    // is written by the thread its group names; a word two threads write says how.

    // Command words. Play, End, TogglePause and Stop write them on the command thread,
    // Stop also on the render thread; all threads read them. Atomics, no lock.
    std::atomic<int> Playing{0};   // set by Play; cleared by Stop's exchange, whose winner alone releases the textures
    std::atomic<int> Paused{0};    // toggled by the command thread; cleared by Play, End, and Stop after Playing
    std::atomic<int> Stopping{0};  // Stops in progress, counted in and out by each Stop; Play waits for 0
    // Counted up by each Play that starts a run, before it waits for Stopping; a
    // StopRun counts itself into Stopping before it compares, so either it sees the
    // new run, or the new run waits for it and is not yet published.
    std::atomic<int> Run{0};
    // The timeline's end: the render thread's words (PresentFrame reads them once per
    // frame, advances Clock, resets all three at a repetition; PlayOutPass), which End
    // and Play also write from the command thread while the object plays, no lock:
    // the render thread takes a command's values at its next frame. An End that meets
    // a repetition's reset may lose its EndTime there; Ending stays, and the object
    // finishes at the end of that repetition.
    std::atomic<int> EndTime{0};   // Clock at which the object has gone out; 0 while none is set
    std::atomic<int> Clock{0};     // ms since the object started playing
    // Set by End (PlayOut): no repetition follows. Cleared by Play, also by a Play
    // that starts the next repetition, and by the render thread at the finish.
    std::atomic<int> Ending{0};

    // Render thread: PresentFrame, with Busy held. Stop releases the textures once
    // Busy is clear.
    std::atomic<int> Busy{0};         // render thread, while it presents the object; Stop waits for it
    std::atomic<int> ClockMicros{0};  // µs not yet added to Clock, 0..999; the text thread reads it for a timer's text
    int MoveAccumulator = 0;
    int AnimationFrame = -1;
    int AnimationFrameStart = 0;  // the shown frame's start in the animation's own time (ms, within the loop)
    int Scrolled = 0;
    int Copied = 0;
    int DisplayStarted = 0;
    TextureHandle BackgroundTexture;
    TextureHandle TextTexture;
    CPicture FrameScratch;
    // Set by Play (SizeTextTexture) alone; read by the render and the text thread.
    int TextureWidth = 0;
    int TextureHeight = 0;
    int Lead = 0;

    // Text thread: InvokeRender, with TextBusy held. Play and a Stop from the command
    // thread wait for TextBusy (also when the render thread stopped the object first,
    // without waiting), so a new run or an edit never starts under a text step.
    std::atomic<int> TextBusy{0};     // text thread, while it works on the object
    std::atomic<int> SourceReady{0};  // text thread; cleared by Play; read by the render thread
    std::atomic<int> TextError{0};    // text thread; read by End
    std::atomic<int> BarValue{0};     // text thread; read by the render thread
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
    // The linked file's stamp at its last import: the text thread's while the object
    // plays (ReimportStep), the command thread's otherwise (Play, the editor's picture).
    CalendarTime ImageFileTime{};
    int ImageFileSize = 0;

    // Hand-over words between the text thread and the render thread.
    // TextLock: held by the text thread while it publishes a chunk and by ResetTimeline
    // (the render thread at a repetition, Play), never while rasterising.
    std::mutex TextLock;
    std::atomic<int> TextGeneration{0};  // counted up by ResetTimeline under TextLock: older chunks are dropped
    // A chunk: the text thread fills these only while ChunkPending is clear, the render
    // thread reads them (and moves Chunk's copy position) only while it is set.
    std::atomic<int> ChunkPending{0};  // set by the text thread under TextLock, cleared by the render thread
    std::array<int, 4> Chunk{};        // copy x, copy y, width, height of ChunkPicture
    CPicture ChunkPicture;
    // The render thread's signals, published by the text thread under TextLock in this
    // order before ChunkPending, reset by ResetTimeline under TextLock.
    std::atomic<int> ChunksRendered{0};
    std::atomic<int> TextPresent{0};
    std::atomic<int> EdgeLeadDone{0};  // text thread's, written under TextLock; reset by ResetTimeline under it
    // The text's read position: the text thread's while no chunk is pending, the render
    // thread's while one is (a looping text starts again); reset under TextLock.
    std::atomic<int> NoMoreText{0};
    std::atomic<int> NextChar{0};
    // Write x, write y, read x, read y of the text texture's ring: set up by the text
    // thread while ChunksRendered is 0 (the render thread leaves it alone until the first
    // chunk), moved by the render thread alone from then on.
    std::array<int, 4> Ring{};
    std::atomic<int> RecheckDue{0};        // raised by the render thread, cleared by the text thread as it checks
    std::atomic<int> RecheckCountdown{0};  // counted down by the render thread, reloaded by the text thread
    // A linked file's re-import (ReimportStep, TakeReimportedFrames): the text thread
    // fills ReimportedFrames only while FramesPending is clear (and frees there what the
    // last swap gave back), the render thread swaps them with Frames only while it is set.
    std::atomic<int> ImageRecheckDue{0};  // raised by the render thread at a repetition, cleared by the text thread
    std::atomic<int> FramesPending{0};    // set by the text thread, cleared after the swap by the render thread or Play
    std::vector<CFrameBackground> ReimportedFrames;
    int ReimportedWidth = 0;
    int ReimportedHeight = 0;
    // Frames, PictureWidth and PictureHeight of a playing object: the render thread
    // writes them under it (try_lock, never waiting), other threads read under it.
    mutable std::mutex FramesLock;
    // Play writes it; while the object plays only the render thread does (reset at a
    // repetition, set when there is no frame to show). End reads it.
    std::atomic<int> BackgroundError{0};

    QString Caption;  // not used by playback

private:
    void CopyContent(const CFrame& other);
    bool StopIf(bool onlyRun, int run, bool waitForText);
    bool GoOut(bool forGood);
};
