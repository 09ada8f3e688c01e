// Text in motion: the text thread renders the text in chunks, the render thread
// copies them into the object's text texture, used as a ring, and moves the
// visible window along it.
//
// Threads: InvokeRender on the text thread; PrepareTextTexture and MoveText on the
// render thread with the object's Busy word held; SizeTextTexture wherever Play runs.
#pragma once

#include "core/Frame.h"
#include "media/Texture.h"
#include "text/RichEdit.h"

struct FramePresentation;

// TextureWidth, TextureHeight and Lead for the object's movement.
void SizeTextTexture(CFrame& frame);

// The text thread's call for one playing object: a linked picture's re-import
// (ReimportStep), the source step, then the next chunk. True when it did work.
bool InvokeRender(CFrame& frame, CRichEditTextRenderer& renderer);

// The object's geometry and movement as the rasteriser takes them (without the
// lead-in, which depends on the run).
RasteriseObject RasteriseObjectOf(const CFrame& frame);
// Rasterises the object's text: the editor's still picture (still) or a playback
// strip from character start (advanced). The object's lead-in is not touched.
RasteriseResult RasteriseFrame(CFrame& frame, CPicture& picture, int& start, CRichEditTextRenderer& renderer,
                               bool still);

// The editor's still picture of the object's text (EditorText, made again when
// EditorTextValid is clear), or null when there is no text to show: an empty text,
// a source that cannot be read (TextError is set then) or a playing object whose
// picture was never made (its source belongs to the text thread until it stops).
// Sets Caption from the text. The user-interface thread, with its own renderer.
const CPicture* GetEditorText(CFrame& frame, CRichEditTextRenderer& renderer);

// Copies waiting chunks into the text texture; false on failure.
bool PrepareTextTexture(CFrame& frame, ITextureDevice& device);

// Moves a scroll or roll by the frames elapsed and maps the effect's window onto the
// visible part of the ring.
void MoveText(CFrame& frame, FramePresentation& record, int elapsedMicros);
