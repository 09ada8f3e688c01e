// Page files (".corvane"): a 256-byte header, one block per object (record, counted
// strings, rich text, frames) and an optional preview picture.
//
// Threads: the user-interface thread (or the command-line tool's main thread).
// Messages go to the user through CTranslate's presenter.
#pragma once

#include "core/Frame.h"
#include "media/Picture.h"

#include <QString>
#include <climits>
#include <cstdint>
#include <memory>
#include <vector>

struct PageHeader {
    char magic[4] = {'C', 'V', 'P', 'F'};
    uint32_t version = 1;
    int32_t legacyHd = 0;
    int32_t objectCount = 0;
    int32_t dpi = 96;
    int32_t width = 0;
    int32_t height = 0;
    int32_t previewWidth = 0;
    int32_t previewHeight = 0;
    int32_t previewOffset = 0;
};

namespace PageFile {

constexpr int HeaderSize = 256;
constexpr int RecordSize = 512;
constexpr int FrameHeaderSize = 64;
constexpr int MaxObjects = 256;
constexpr int MaxFrames = 1000;
// No stored frame can be wider or taller than the largest texture the engine draws.
constexpr int MaxFrameSide = 2048;
// The texture memory the pictures of one page may take while they play (width x
// height x 4 bytes per picture object): 129 full-screen pictures at 1920 x 1080.
constexpr int64_t MaxPictureBytes = 1ll << 30;
constexpr int PreviewMaxWidth = 480;
// Longest time a stored duration or delay may give, in ms (about a week): three of
// them added still fit in 32 bits.
constexpr int MaxDuration = 600000000;

// The 32-bit fields of the object record besides BackColor and Rect: name, byte
// offset, member and the range an editor or tool may set. The two timer fields
// are read by a rule of their own (older files kept one timer value).
struct StoredField {
    const char* name;
    int offset;
    int CFrame::*field;
    int min;
    int max;
    bool timer = false;
};
extern const StoredField RecordFields[33];

// Reads a page for the video mode modeIndex on a desktop of desktopDpi logical pixels
// per inch. On success objects holds the page's objects, bottom to top. On failure
// objects is empty and exactly one message has been shown (the DPI warning may come
// before either outcome).
bool ReadPage(const QString& path, int modeIndex, int desktopDpi, std::vector<std::unique_ptr<CFrame>>& objects);

// Writes objects (bottom to top) for modeIndex. When canvas is given (the page at the
// mode's output size) a preview picture, halved down to 480 pixels wide or less, is
// written too. The file on disk is replaced only when every write succeeded. On
// failure one message has been shown.
bool WritePage(const QString& path, int modeIndex, int desktopDpi, const std::vector<const CFrame*>& objects,
               const CPicture* canvas);

// Reads only the preview picture; shows no message. Returns false (preview emptied)
// when the file has none or cannot be read.
bool ReadPreview(const QString& path, CPicture& preview);

// Reads the 256-byte header as stored (no checks beyond its length); for tools.
bool ReadHeader(const QString& path, PageHeader& header);

// The stored path form: a path below the page file's folder becomes "+" and the rest.
QString ToStoredPath(const QString& path, const QString& pageFilePath);
QString FromStoredPath(const QString& stored, const QString& pageFilePath);

// The picture the preview is made of, halved until it is at most 480 pixels wide.
CPicture MakePreview(const CPicture& canvas);

}  // namespace PageFile
