#include "playback/TextMovement.h"

#include "base/Debug.h"
#include "playback/Import.h"
#include "playback/TextSource.h"
#include "playback/Timeline.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int MaxTextureSide = 2048;

bool Moves(const CFrame& frame) { return frame.Movement == MovementHorizontal || frame.Movement == MovementVertical; }

// The texture's pixels while locked; unlocked when the guard goes.
struct LockedTexture {
    CTexture& texture;
    uint8_t* bits = nullptr;
    int pitch = 0;
    uint8_t* Row(int y) { return bits + size_t(y) * size_t(pitch); }
};

// n columns of the chunk from column from to texture column to; the rows below the
// chunk become transparent.
void CopyColumns(LockedTexture& t, const CPicture& chunk, int chunkRows, int from, int to, int n) {
    for (int y = 0; y < t.texture.height; ++y) {
        uint8_t* d = t.Row(y) + size_t(to) * 4;
        if (y < chunkRows) std::memcpy(d, chunk.Pixel(from, y), size_t(n) * 4);
        else std::memset(d, 0, size_t(n) * 4);
    }
}

// n rows of the chunk from row from to texture row to; the columns right of the
// chunk become transparent.
void CopyRowsInto(LockedTexture& t, const CPicture& chunk, int chunkColumns, int from, int to, int n) {
    const int columns = std::min(chunkColumns, t.texture.width);
    for (int k = 0; k < n; ++k) {
        uint8_t* d = t.Row(to + k);
        std::memcpy(d, chunk.Pixel(0, from + k), size_t(columns) * 4);
        std::memset(d + size_t(columns) * 4, 0, size_t(t.texture.width - columns) * 4);
    }
}

void ClearColumns(LockedTexture& t, int to, int n) {
    for (int y = 0; y < t.texture.height; ++y) std::memset(t.Row(y) + size_t(to) * 4, 0, size_t(n) * 4);
}

void ClearRows(LockedTexture& t, int to, int n) {
    for (int k = 0; k < n; ++k) std::memset(t.Row(to + k), 0, size_t(t.texture.width) * 4);
}

void CopyFixed(CFrame& frame, LockedTexture& t) {
    const CPicture& chunk = frame.ChunkPicture;
    const int w = std::clamp(std::min(frame.Chunk[2], chunk.width), 0, t.texture.width);
    const int h = std::clamp(std::min(frame.Chunk[3], chunk.height), 0, t.texture.height);
    for (int y = 0; y < t.texture.height; ++y) {
        uint8_t* d = t.Row(y);
        std::memset(d, 0, size_t(t.texture.width) * 4);
        if (y < h) std::memcpy(d, chunk.Pixel(0, y), size_t(w) * 4);
    }
    frame.Copied = 1;
    frame.NoMoreText = 1;
    frame.ChunkPending = 0;
}

// Feeds the pending chunk into the ring as far as there is room (a scroll along
// x, a roll along y).
void CopyMoving(CFrame& frame, LockedTexture& t) {
    const bool across = frame.Movement == MovementHorizontal;
    const int size = across ? t.texture.width : t.texture.height;
    const int extent = across ? frame.Rect.Width() : frame.Rect.Height();
    int& write = across ? frame.Ring[0] : frame.Ring[1];
    const int read = across ? frame.Ring[2] : frame.Ring[3];
    const CPicture& chunk = frame.ChunkPicture;
    // The chunk's length along the movement and its breadth across it.
    const int length = std::min(across ? frame.Chunk[2] : frame.Chunk[3], across ? chunk.width : chunk.height);
    const int breadth = std::min(across ? frame.Chunk[3] : frame.Chunk[2], across ? chunk.height : chunk.width);
    int& position = across ? frame.Chunk[0] : frame.Chunk[1];

    while (frame.ChunkPending.load()) {
        const int room = size + frame.Scrolled - frame.Copied;
        if (room <= 0) break;
        if (across)
            CDebug::Log(3, "CFrame::PrepareTextTexture(%08X): on display: %d, copied: %d", &frame, frame.Scrolled,
                        frame.Copied);
        const int span = write < read ? read - write : size - write;
        const int n = std::min({span, length - position, room});
        if (n > 0) {
            const int from = frame.Reverse ? length - position - n : position;
            const int to = frame.Reverse ? size - write - n : write;
            if (across) {
                CopyColumns(t, chunk, breadth, from, to, n);
            } else {
                CopyRowsInto(t, chunk, breadth, from, to, n);
                if (!frame.Reverse)
                    CDebug::Log(3, "CFrame::PrepareTextTexture(%08X): copied: %d lines from %d-%d to %d-%d", &frame, n,
                                from, from + n, to, to + n);
            }
            frame.Copied += n;
            position += n;
            write = (write + n) % size;
        }
        if (position < length) {
            if (n <= 0) break;
            continue;
        }
        // The chunk is used up.
        if (!frame.NoMoreText.load()) {
            frame.ChunkPending = 0;
            break;
        }
        if (!frame.Loop) {
            // Even a short text fills the object's length.
            if (frame.Copied < extent) {
                const int pad = std::min(extent - frame.Copied, size - write);
                const int to = frame.Reverse ? size - write - pad : write;
                if (across) ClearColumns(t, to, pad);
                else ClearRows(t, to, pad);
                write = (write + pad) % size;
                frame.Copied += pad;
            }
            frame.ChunkPending = 0;
            break;
        }
        const bool sameChunk = frame.ChunksRendered.load() == 1 &&
                               (frame.TextSource == SourceObjectText || frame.TextSource == SourceClock);
        if (sameChunk) {
            position = 0;  // again from its start; ChunkPending stays set
            if (length <= 0) {
                frame.ChunkPending = 0;
                break;
            }
            continue;
        }
        if (frame.SourceReady.load()) {
            frame.RecheckDue = 1;
            frame.NoMoreText = 0;
            frame.NextChar = 0;
        }
        frame.ChunkPending = 0;
        break;
    }
}

}  // namespace

void SizeTextTexture(CFrame& frame) {
    const int w = frame.Rect.Width(), h = frame.Rect.Height();
    switch (frame.Movement) {
    case MovementHorizontal:
        frame.TextureWidth = std::min(w + w / 2, MaxTextureSide);
        frame.TextureHeight = h;
        frame.Lead = (frame.TextureWidth - w) / 2;
        break;
    case MovementVertical:
        frame.TextureWidth = w;
        frame.TextureHeight = std::min(h + h / 2, MaxTextureSide);
        frame.Lead = (frame.TextureHeight - h) / 2;
        break;
    default:
        frame.TextureWidth = w;
        frame.TextureHeight = h;
        frame.Lead = 0;
        break;
    }
}

RasteriseObject RasteriseObjectOf(const CFrame& frame) {
    RasteriseObject object;
    object.left = frame.Rect.left;
    object.top = frame.Rect.top;
    object.right = frame.Rect.right;
    object.bottom = frame.Rect.bottom;
    object.movement = frame.Movement;
    object.reverse = frame.Reverse;
    object.textOpacity = frame.TextOpacity;
    return object;
}

RasteriseResult RasteriseFrame(CFrame& frame, CPicture& picture, int& start, CRichEditTextRenderer& renderer,
                               bool still) {
    RasteriseObject object = RasteriseObjectOf(frame);
    object.leadInPending = Moves(frame) && frame.StartFromEdge && !frame.EdgeLeadDone;
    return Rasterise(picture, start, object, renderer, still,
                     [&frame](CRichEditExCtrl& control) { return TextSource::LoadTextToRender(frame, control); });
}

const CPicture* GetEditorText(CFrame& frame, CRichEditTextRenderer& renderer) {
    if (!frame.EditorTextValid.load() && !frame.Playing.load()) {
        frame.EditorText.Clear();
        if (TextSource::InitSource(frame, renderer)) {
            frame.TextError.exchange(0);
            int start = 0;
            if (!RasteriseFrame(frame, frame.EditorText, start, renderer, true).done) frame.EditorText.Clear();
            constexpr int CaptionLength = 20;
            const QString text = TextSource::ControlFor(frame, renderer).PlainText();
            frame.Caption = text.size() > CaptionLength ? text.left(CaptionLength) + QStringLiteral("...") : text;
        } else {
            frame.TextError.exchange(1);
            frame.Caption.clear();
        }
        frame.EditorTextValid = 1;
    }
    if (!frame.EditorTextValid.load() || frame.EditorText.IsEmpty()) return nullptr;
    return &frame.EditorText;
}

bool InvokeRender(CFrame& frame, CRichEditTextRenderer& renderer) {
    frame.TextBusy = 1;
    if (!frame.Playing.load()) {
        frame.TextBusy = 0;
        return false;
    }
    // A linked picture's re-import: file work, which the render thread never does.
    bool work = ReimportStep(frame);
    if (frame.ChunkPending.load()) {
        frame.TextBusy = 0;
        return work;
    }
    work |= TextSource::SourceStep(frame, renderer);

    if (frame.SourceReady.load() && !frame.NoMoreText.load() && !frame.ChunkPending.load()) {
        const int generation = frame.TextGeneration.load();
        int start = frame.NextChar.load();
        const RasteriseResult r = RasteriseFrame(frame, frame.ChunkPicture, start, renderer, false);
        std::lock_guard guard(frame.TextLock);
        if (generation == frame.TextGeneration.load()) {
            // Published in this order: the render thread takes ChunksRendered, then
            // TextPresent, then ChunkPending as its signals.
            const bool first = frame.ChunksRendered.load() == 0;
            if (r.done) {
                frame.Chunk = {0, 0, r.usedWidth, r.usedHeight};
                // A crawl longer than one strip goes on from where the strip ended,
                // as a roll does.
                int noMore = !(Moves(frame) && start < r.characters);
                int next = start;
                if (noMore && frame.TextSource == SourceCsvFile) {
                    ++frame.Table.CurrentRow;
                    if (frame.Table.CurrentRow < int(frame.Table.Rows.size())) {
                        noMore = 0;
                        next = 0;
                    }
                }
                if (r.leadInDone) frame.EdgeLeadDone = 1;
                frame.NoMoreText = noMore;
                frame.NextChar = next;
                if (first) frame.TextPresent = 1;
                frame.ChunkPending = 1;
            } else {
                frame.NoMoreText = 1;
                if (first) frame.TextPresent = 0;
            }
            const int count = frame.ChunksRendered.fetch_add(1) + 1;
            CDebug::Log(3, "CFrame::InvokeRender(%08X): rendered chunk %d (no more: %d), %d x %d", &frame, count,
                        frame.NoMoreText.load(), r.usedWidth, r.usedHeight);
        }
        work = true;
    }
    frame.TextBusy = 0;
    return work;
}

bool PrepareTextTexture(CFrame& frame, ITextureDevice& device) {
    if (!frame.TextTexture) {
        frame.TextTexture = CreateTexture(device, frame.TextureWidth, frame.TextureHeight);
        if (!frame.TextTexture) return false;
    }
    if (!frame.ChunkPending.load()) return true;
    const bool moves = Moves(frame);
    const int size = frame.Movement == MovementVertical ? frame.TextureHeight : frame.TextureWidth;
    if (frame.Copied > 0 && moves && size + frame.Scrolled - frame.Copied < frame.Lead) return true;

    TextureResult result = TextureResult::Ok;
    LockedTexture t{*frame.TextTexture};
    t.bits = frame.TextTexture->Lock(t.pitch, result);
    if (!t.bits) {
        CDebug::Log(1, "CFrame::PrepareTextTexture(): CTexture::Lock() = %08X (%s)", unsigned(result),
                    TextureResultName(result));
        return false;
    }
    if (moves) CopyMoving(frame, t);
    else CopyFixed(frame, t);
    result = frame.TextTexture->Unlock();
    if (result != TextureResult::Ok) {
        CDebug::Log(1, "CFrame::PrepareTextTexture(): CTexture::Unlock() = %08X (%s)", unsigned(result),
                    TextureResultName(result));
        return false;
    }
    return true;
}

void MoveText(CFrame& frame, FramePresentation& record, int elapsedMicros) {
    if (!Moves(frame)) return;
    const bool across = frame.Movement == MovementHorizontal;
    const int extent = across ? frame.Rect.Width() : frame.Rect.Height();
    const int size = across ? frame.TextureWidth : frame.TextureHeight;
    if (size <= 0) return;

    if (!frame.Paused.load()) {
        const int period = std::max(1, frame.FramePeriod);
        int frames = elapsedMicros / period;
        if (elapsedMicros % period >= period / 2) ++frames;
        frames = std::max(1, frames);
        int pixels = 0;
        if (frame.Speed >= 10) {
            pixels = frames * (frame.Speed - 9);
        } else {
            const int step = 11 - std::max(1, frame.Speed);
            frame.MoveAccumulator += frames;
            pixels = frame.MoveAccumulator / step;
            frame.MoveAccumulator %= step;
        }
        if (pixels > 0) {
            if (frame.Copied - frame.Scrolled - pixels >= extent) {
                if (frame.Scrolled == 0)
                    CDebug::Log(3, "CFrame::PresentFrame(%08X): start moving, copied: %d", &frame, frame.Copied);
                frame.Scrolled += pixels;
                int& read = across ? frame.Ring[2] : frame.Ring[3];
                read = (read + pixels) % size;
                // A text that loops for days: whole turns of the ring are taken off
                // both counts, which keeps their difference and the position in it.
                if (frame.Scrolled >= (1 << 30)) {
                    const int turns = frame.Scrolled / size * size;
                    frame.Scrolled -= turns;
                    frame.Copied -= turns;
                }
            } else if (frame.ShowWhileTextMoves && frame.NoMoreText.load() && frame.EndTime == 0) {
                // The text has passed: the object plays out, and Repeat says whether
                // it starts again.
                frame.PlayOutPass();
            }
        }
    }

    // The effect's window mapped onto the extent of the ring from x on.
    const int u = size;
    int x = frame.Scrolled % u;
    if (frame.Reverse) x = ((2 * u - extent - x) % u + u) % u;
    const float d = 1.0f / float(u);
    const float k = float(extent) * d;
    const int lo = across ? 0 : 1, hi = across ? 2 : 3;
    record.TextWindow[lo] = k * record.BackgroundWindow[lo] + d * float(x);
    record.TextWindow[hi] = d * float(extent + x) - k * (1.0f - record.BackgroundWindow[hi]);
}
