// Pictures and animations into objects: the frame store shared by every import,
// image lists, numbered sequences, videos, and the automatic re-import of a linked
// file.
//
// Threads: a linked file is imported on the command thread when the object starts
// playing (Play) or the editor wants its picture, and while it plays on the text
// thread (ReimportStep, at the repetition after the file changed); the render
// thread never reads or stats a file, it only takes the finished frames
// (TakeReimportedFrames). The editor's picture of a playing object never imports;
// it reads the frames under FramesLock, which is held only to put finished frames
// in place.
#pragma once

#include "core/Frame.h"

#include <QString>
#include <functional>
#include <vector>

// Frames being built, before they go into an object.
struct ImportedFrames {
    int PictureWidth = 0;
    int PictureHeight = 0;
    std::vector<CFrameBackground> Frames;
};

// Adds picture with delay: 1 when added or merged into an identical last frame, 0
// when 1000 frames are held. The first frame fixes the size (at least 16, at most
// maxWidth x maxHeight); other sizes are cut or padded (transparent) to it.
// Delays of merged frames and totals saturate at the largest int.
int AddFrame(ImportedFrames& target, const CPicture& picture, int delay, int maxWidth, int maxHeight);

// One entry of an image list: a picture path and its delay.
struct ImageListEntry {
    QString path;   // resolved against the list's folder when it has no folder
    int delay = 0;  // ms
    bool skip = false;  // no file name or no extension
};
// Parses one line (without its line end). defaultDelay applies without a positive delay.
ImageListEntry ParseImageListLine(const QString& line, const QString& listFolder, int defaultDelay);
// The lines of a list file: UTF-8 where a line is valid UTF-8, else the ANSI code
// page. False when the file cannot be opened.
bool ReadImageList(const QString& path, QStringList& lines);

// Files of a numbered sequence that starts with path ("name007.png", "name008.png"
// ...): path itself first; empty when the name has no trailing digits.
QStringList NumberedSequence(const QString& path);

// What a picture or list import met, for the messages of the interactive import.
struct ImportOutcome {
    int failure = 0;         // load result of the picture that failed (0: none)
    QString failedPath;      // that picture
    QString reason;          // the decoder's words for the failure
    bool tooLarge = false;   // a picture was larger than the maximum and was cropped
    bool truncated = false;  // the frame limit cut the import short
    bool cancelled = false;  // the user cancelled
};

// The progress window of a long import: opened with a range, then told each
// position; step returns false when the user cancelled. Absent: no progress shown.
struct ImportProgress {
    std::function<void(int)> open;
    std::function<bool(int)> step;
    std::function<void()> close;
};

// Every frame of a picture file (all of an animated GIF), stopping at the first
// frame that fails to load or does not fit the frame limit. Returns the frames taken.
int ImportPictureFrames(ImportedFrames& target, const QString& path, int maxWidth, int maxHeight,
                        ImportOutcome& outcome, const ImportProgress* progress = nullptr);
// The pictures of image-list lines (or the files of a numbered sequence), stopping
// at the first that fails to load or does not fit. Returns the pictures taken.
int ImportEntries(ImportedFrames& target, const QStringList& lines, const QString& folder, int defaultDelay,
                  int maxWidth, int maxHeight, ImportOutcome& outcome, const ImportProgress* progress = nullptr);

// Why a video gave no frames.
enum class VideoResult { Ok, OpenFailed, TooSmall, TooLarge, DecodingFailed, Cancelled };

// What a video import met besides its frames, for the warnings of the interactive
// import (the log has it too).
struct VideoReport {
    int decoded = 0;         // frames taken from the stream
    int expected = 0;        // the container's frame count (0: unknown)
    int undecodable = 0;     // packets or frames that failed to decode
    bool endedEarly = false; // the stream ended before the frames the container announced
    bool scaled = false;     // larger than the maximum: scaled down to outWidth x outHeight
    int outWidth = 0, outHeight = 0;
    // Some frames could not be read: the picture of the last good one was held over them.
    bool Partial() const { return decoded > 0 && (undecodable > 0 || endedEarly); }
};

// Decodes every frame of a video into target (limits 16 .. max; a larger video is
// scaled down to fit, keeping its aspect), calling progress after each added frame
// with its index; progress returns false to cancel. Each frame's delay runs from
// its own start time to the next frame's, in whole ms rounded so that their sum
// follows the stream's exact times (variable timestamps, dropped frames and frames
// that fail to decode keep the last good picture up until the next). truncated is
// set when the 1000-frame limit cut the video. A 32-bit video whose alpha is zero in
// every frame is taken as opaque. DecodingFailed when no frame decoded.
VideoResult ImportVideo(ImportedFrames& target, const QString& path, int maxWidth, int maxHeight,
                        const std::function<bool(int)>& progress, bool& truncated, VideoReport* report = nullptr);

// How a file is imported, by its name: an image list (".txt"), a picture (the image
// codecs' extensions) or anything else, which is tried as a video (every container
// FFmpeg opens) and read as a picture when FFmpeg does not recognise it.
enum class ImportKind { ImageList, Picture, Video };
ImportKind KindOfImport(const QString& path);

// The editor's file filter patterns of every importable file (";"-separated).
QString ImportPatterns();

// Every frame a file gives without asking anything: an image list (".txt"), a
// video (any container FFmpeg opens) or a picture (every frame of an animated GIF); a numbered sequence
// is not looked for. Frames up to maxWidth x maxHeight; defaultDelay for list
// entries without one. Returns the number of pictures taken (added or merged).
// carryOn, when given, is asked between frames; false ends the import there.
// error, when given, receives what went wrong (empty when nothing did): a picture
// that failed to load, even after others were taken, or a video that gave nothing.
int ImportFile(ImportedFrames& target, const QString& path, int maxWidth, int maxHeight, int defaultDelay,
               const std::function<bool()>& carryOn = {}, QString* error = nullptr);

// The linked file has another size or last-write time than at its last automatic
// import, or cannot be read.
bool ImageFileChanged(const CFrame& frame);
// Imports the linked file again when it changed and puts its frames in place at
// once (command thread, object not playing); true when nothing was needed or the
// import gave frames.
bool InitBackground(CFrame& frame);

// The text thread's step for a playing linked picture: when a repetition asked for
// it (ImageRecheckDue) and the file changed, imports it into ReimportedFrames and
// raises FramesPending; an import that gives nothing is handed over as no frames.
// Ends early, handing nothing over, when the object stops meanwhile. True when it
// handed frames over.
bool ReimportStep(CFrame& frame);
// Puts handed-over frames in place of the object's frames and drops the texture
// made of the old ones: on the render thread, which never waits for FramesLock
// (false: the lock was busy, try again at a later frame), and in Play before it
// compares the file's stamp (wait: true). True when nothing was pending.
bool TakeReimportedFrames(CFrame& frame, bool wait);

// The object's background at object size, as the editor's canvas shows it.
const CPicture& GetEditorBackground(CFrame& frame);


// a + b for delays, saturating instead of wrapping.
int AddDelays(int a, int b);
