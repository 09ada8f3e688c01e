// Starting and ending an object: the object's play operations that need the
// playback layer (the text texture's size, a linked picture's import). Stopping and
// pausing belong to the record itself (core/Frame.cpp): removing an object must
// stop it without playback.
//
// Threads: Play and End run on the command thread (the user-interface thread, where
// every input's command arrives). PlayOut runs there as part of End; PlayOutPass on
// the render thread when a crawl's text has passed; ResetTimeline in Play and on the
// render thread at each repetition.
#include "base/Debug.h"
#include "core/Frame.h"
#include "playback/Import.h"
#include "playback/TextMovement.h"

#include <algorithm>
#include <chrono>
#include <thread>

void CFrame::ResetTimeline() {
    EndTime = ((Movement != MovementFixed && ShowWhileTextMoves) || ShowIndefinitely) ? 0 : ShowFor;
    Clock = 0;
    ClockMicros = 0;
    MoveAccumulator = 0;
    AnimationFrameStart = 0;
    Scrolled = 0;
    Copied = 0;
    DisplayStarted = 0;
    BackgroundError.exchange(0);
    std::lock_guard guard(TextLock);
    TextPresent = 0;
    NoMoreText = 0;
    NextChar = 0;
    ChunkPending.exchange(0);
    ChunksRendered.exchange(0);
    EdgeLeadDone = (Movement != MovementFixed && StartFromEdge) ? 0 : 1;
    TextGeneration.fetch_add(1);
}

bool CFrame::Play() {
    if (Playing.load()) {
        if (Paused.load()) {
            Paused.exchange(0);
        } else if (Repeat) {
            // The current repetition ends at the next frame whose clock is at least
            // 1 ms, and the next one begins at once, also during an out effect End
            // started. Ending is cleared first: the render thread reads EndTime
            // before Ending, so it never meets the new end with the old Ending.
            Ending = 0;
            EndTime = 1;
        }
        return false;
    }
    // A new run, counted before the wait below: a render-side stop of the run that
    // ended either sees it and leaves the object alone, or is waited for here.
    Run.fetch_add(1);
    // A Stop on another thread may still be releasing this object's textures.
    const auto pause = std::chrono::milliseconds(std::max(1, FramePeriod / 500));
    while (Stopping.load()) std::this_thread::sleep_for(pause);
    // Nor may the text thread still be working on the run that ended (a text step
    // lasts at most one strip's rasterising).
    while (TextBusy.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ResetTimeline();
    // An object ended and then cut before it finished must repeat again when it is
    // played anew.
    Ending = 0;
    SizeTextTexture(*this);
    CDebug::Log(3, "CFrame::Play(%08X), rect: %d:%d - %d:%d (%dx%d), text: %dx%d, move: %d", this, Rect.left, Rect.top,
                Rect.right, Rect.bottom, Rect.Width(), Rect.Height(), TextureWidth, TextureHeight, Lead);
    AnimationFrame = -1;
    // Frames the text thread imported after the last run's render thread stopped
    // taking them: the file's stamp is already theirs.
    TakeReimportedFrames(*this, true);
    ImageRecheckDue.exchange(0);
    InitBackground(*this);
    // A picture with nothing to show (its link gave no frames) never shows; End sends
    // it off at once.
    if (Kind == KindPicture && Frames.empty()) BackgroundError.exchange(1);
    SourceReady.exchange(0);
    RecheckDue = 0;
    RecheckCountdown.exchange(0);
    LastValue.clear();
    // The text thread is off the object (TextBusy clear, Playing not yet set): the
    // run's first source step reads the template afresh.
    TextCache.reset();
    // Busy is left to the render thread: clearing it here could hide a frame the
    // render thread is presenting from a Stop that must wait for it.
    Paused.exchange(0);
    Playing.exchange(1);
    return true;
}

bool CFrame::PlayOut() { return GoOut(true); }

bool CFrame::PlayOutPass() { return GoOut(false); }

bool CFrame::GoOut(bool forGood) {
    if (EndTime != 0 && EndTime - Clock <= OutEffectDuration) return false;  // already going out
    // Before EndTime, which the render thread reads first.
    if (forGood) Ending = 1;
    // An object still waiting or coming in finishes its in effect first.
    EndTime = std::max(StartDelay + InEffectDuration, Clock.load()) + OutEffectDuration;
    if (EndTime == 0) EndTime = 1;
    // One that never showed because its source or picture failed goes at once.
    if ((TextError.load() || BackgroundError.load()) && Clock == 0) Clock = EndTime + 1;
    return true;
}

bool CFrame::End() {
    if (!Playing.load()) return false;
    if (!PlayOut()) return false;
    if (Paused.load()) {
        Paused.exchange(0);
        return true;
    }
    return false;
}

