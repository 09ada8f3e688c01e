// One output frame of a playing object: where it is in its timeline and how it
// looks now.
//
// Threads: PresentFrame, PrepareBackgroundTexture and CreateTexture run on the
// render thread (the only thread that uses the texture device), with the object's
// Busy word held (CFrame::BeginPresent). They never read or stat a file: a linked
// picture's new frames come from the text thread (Import.h). The text thread's side
// is TextMovement.h.
#pragma once

#include "core/Frame.h"
#include "media/Texture.h"

// What an object draws in one output frame; all zero when nothing is drawn.
struct FramePresentation {
    CTexture* Background = nullptr;
    CTexture* Text = nullptr;
    float Dest[4] = {};              // left, top, right, bottom in output pixels
    float BackgroundWindow[4] = {};  // u0, v0, u1, v1
    float TextWindow[4] = {};
    int Alpha = 0;                   // 0..255, for both textures
};

// The phase PresentFrame found the object in (for tools and diagnostics).
enum class TimelinePhase { Waiting, Delay, In, Shown, Out, Finished };
const char* PhaseName(TimelinePhase phase);

// Presents the object for one output frame, elapsedMicros after the previous one:
// fills record and advances the clock. False when the object has finished or
// failed (the caller then stops it), true otherwise. phase, when given, receives the phase.
bool PresentFrame(CFrame& frame, FramePresentation& record, ITextureDevice& device, int elapsedMicros,
                 TimelinePhase* phase = nullptr);

// A display texture of exactly width x height, or null (logged).
TextureHandle CreateTexture(ITextureDevice& device, int width, int height);

// Makes BackgroundTexture show what the object's background is at this moment.
// True when ready, false on failure.
bool PrepareBackgroundTexture(CFrame& frame, ITextureDevice& device);
