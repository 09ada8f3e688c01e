#include "playback/Timeline.h"

#include "base/Debug.h"
#include "playback/Effects.h"
#include "playback/TextMovement.h"

#include <algorithm>

const char* PhaseName(TimelinePhase phase) {
    switch (phase) {
    case TimelinePhase::Waiting: return "waiting";
    case TimelinePhase::Delay: return "delay";
    case TimelinePhase::In: return "in";
    case TimelinePhase::Shown: return "shown";
    case TimelinePhase::Out: return "out";
    case TimelinePhase::Finished: return "finished";
    }
    return "";
}

namespace {

void AdvanceClock(CFrame& frame, int elapsedMicros) {
    if (frame.Paused.load()) return;
    frame.Clock += elapsedMicros / 1000;
    frame.ClockMicros += elapsedMicros % 1000;
    if (frame.ClockMicros >= 1000) {
        frame.Clock += 1;
        frame.ClockMicros -= 1000;
    }
}

// Enough text is in the text texture to start showing the object.
bool DisplayCanStart(const CFrame& frame) {
    switch (frame.Movement) {
    case MovementHorizontal:
        return frame.Copied >= frame.Rect.Width() + (frame.NoMoreText ? 0 : frame.Lead);
    case MovementVertical:
        return frame.Copied >= frame.Rect.Height() + (frame.NoMoreText ? 0 : frame.Lead);
    default:
        return frame.Copied > 0;
    }
}

}  // namespace

bool PresentFrame(CFrame& frame, FramePresentation& record, ITextureDevice& device, int elapsedMicros,
                 TimelinePhase* phase) {
    TimelinePhase reached = TimelinePhase::Waiting;
    if (phase) *phase = TimelinePhase::Finished;

    // 1. End of a repetition. The clock and the end time are read once for the frame:
    // a command (End, Play) may write them meanwhile, and the phase and its progress
    // must agree with each other.
    int clock = frame.Clock.load();
    int endTime = frame.EndTime.load();
    if (endTime != 0 && clock >= endTime) {
        if (!frame.Repeat || frame.Ending) {
            frame.Ending = 0;
            return false;
        }
        frame.ResetTimeline();
        clock = 0;
        endTime = frame.EndTime.load();
        if (frame.SourceReady.load()) frame.RecheckDue = 1;
        if (frame.Kind == KindPicture && frame.Frames.size() > 1) frame.AnimationFrame = -1;
        // Whether the linked file changed is the text thread's to find out (a stat and
        // perhaps a whole decode); the old frames play on until it hands new ones over.
        if (frame.Kind == KindPicture && frame.MaintainLink) frame.ImageRecheckDue.store(1);
        frame.TextTexture.reset();
    }

    // 2.-3. Background, then an empty record.
    if (!PrepareBackgroundTexture(frame, device)) return false;
    record = FramePresentation{};

    // 4. No text yet: nothing drawn, the clock stands.
    if (frame.ChunksRendered.load() == 0) {
        if (phase) *phase = TimelinePhase::Waiting;
        return true;
    }

    // 5. Waiting text into the text texture.
    if (frame.TextPresent) {
        if (!PrepareTextTexture(frame, device)) return false;
    }

    if (clock < frame.StartDelay) {
        reached = TimelinePhase::Delay;  // 6. nothing drawn, the clock runs
    } else {
        // 7. Display start: moving text needs the object's length of text first.
        if (frame.TextPresent && !frame.DisplayStarted) {
            if (!DisplayCanStart(frame)) {
                if (phase) *phase = TimelinePhase::Waiting;
                return true;
            }
            frame.DisplayStarted = 1;
            CDebug::Log(3, "CFrame::PresentFrame(%08X): start display", &frame);
        }

        // 8. Phase and progress.
        const int t = clock - frame.StartDelay;
        const bool bar = frame.ShowsBar();
        int effect = 0;
        bool fade = false;
        float progress = 1.0f;
        if (t < frame.InEffectDuration) {
            reached = TimelinePhase::In;
            effect = frame.InEffect;
            fade = frame.FadeIn;
            progress = float(t) / float(frame.InEffectDuration);
        } else if (endTime != 0 && endTime - clock < frame.OutEffectDuration) {
            reached = TimelinePhase::Out;
            effect = bar ? frame.InEffect : frame.OutEffect;
            fade = frame.FadeOut;
            progress = float(endTime - clock) / float(frame.OutEffectDuration);
        } else {
            reached = TimelinePhase::Shown;
            if (bar) effect = BarGraphShownEffect(frame.InEffect, frame.Rect);
        }
        // A bar covers its share of the object (none before the file gave a value);
        // a fade follows the effect's progress alone, so a short bar still fades in
        // to full opacity.
        const float share = bar ? std::clamp(float(frame.BarValue.load() - 1) / 100.0f, 0.0f, 1.0f) : 1.0f;

        // 9.-11. Geometry, alpha and textures.
        const EffectGeometry geometry = ComputeEffect(effect, progress * share, frame.Rect);
        std::copy(std::begin(geometry.Dest), std::end(geometry.Dest), record.Dest);
        std::copy(std::begin(geometry.Window), std::end(geometry.Window), record.BackgroundWindow);
        record.Alpha = fade ? int(progress * 255.0f) : 255;
        const bool invisibleColour = frame.Kind == KindSimple && (frame.BackColor >> 24) == 0;
        if (!invisibleColour && record.Alpha != 0) record.Background = frame.BackgroundTexture.get();
        if (frame.TextPresent) {
            std::copy(std::begin(record.BackgroundWindow), std::end(record.BackgroundWindow), record.TextWindow);
            if (record.Alpha != 0) record.Text = frame.TextTexture.get();
            MoveText(frame, record, elapsedMicros);
        }
    }

    // 12. The clock.
    AdvanceClock(frame, elapsedMicros);
    if (phase) *phase = reached;
    return true;
}
