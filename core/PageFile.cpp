#include "core/PageFile.h"

#include "base/Translate.h"
#include "core/Frame.h"
#include "core/UniFile.h"
#include "core/VideoModes.h"

#include <QFileInfo>
#include <QtEndian>
#include <algorithm>
#include <cstring>

namespace {

int32_t GetInt(const uint8_t* block, int offset) { return qFromLittleEndian<int32_t>(block + offset); }
void PutInt(uint8_t* block, int offset, int32_t value) { qToLittleEndian<int32_t>(value, block + offset); }

QString PageFolder(const QString& pageFilePath) {
    QString folder = QFileInfo(pageFilePath).absolutePath();
    if (!folder.endsWith(u'/')) folder += u'/';
    return folder;
}

void EncodeHeader(const PageHeader& h, uint8_t* block) {
    std::memset(block, 0, PageFile::HeaderSize);
    std::memcpy(block, h.magic, 4);
    qToLittleEndian<uint32_t>(h.version, block + 4);
    PutInt(block, 8, h.legacyHd);
    PutInt(block, 12, h.objectCount);
    PutInt(block, 16, h.dpi);
    PutInt(block, 20, h.width);
    PutInt(block, 24, h.height);
    PutInt(block, 28, h.previewWidth);
    PutInt(block, 32, h.previewHeight);
    PutInt(block, 36, h.previewOffset);
}

void DecodeHeader(const uint8_t* block, PageHeader& h) {
    std::memcpy(h.magic, block, 4);
    h.version = qFromLittleEndian<uint32_t>(block + 4);
    h.legacyHd = GetInt(block, 8);
    h.objectCount = GetInt(block, 12);
    h.dpi = GetInt(block, 16);
    h.width = GetInt(block, 20);
    h.height = GetInt(block, 24);
    h.previewWidth = GetInt(block, 28);
    h.previewHeight = GetInt(block, 32);
    h.previewOffset = GetInt(block, 36);
}

// Steps shared by the page and preview readers: header read and checked.
bool ReadCheckedHeader(CUniFile& file, PageHeader& header) {
    uint8_t block[PageFile::HeaderSize];
    if (!file.ReadBytes(block, sizeof block)) return false;
    DecodeHeader(block, header);
    if (std::memcmp(header.magic, "CVPF", 4) != 0) {
        file.Status = StatusCorrupt;
        return false;
    }
    if (header.version > 1) {
        file.Status = StatusUnknownVersion;
        return false;
    }
    // A negative count is as corrupt as one above the limit.
    if (header.objectCount > PageFile::MaxObjects || header.objectCount < 0) {
        file.Status = StatusCorrupt;
        return false;
    }
    return true;
}

constexpr int MaxTimerSeconds = 86399;
// Far beyond any output, near enough to zero that widths and heights cannot overflow.
constexpr int MaxEdge = 1 << 20;
constexpr int OffBackColor = 24, OffRect = 80, OffStringCount = 96, OffRichTextLength = 100,
              OffFrameCount = 104, OffTimerStart = 132, OffTimerStopFlag = 160, OffTimerStop = 164;

// maxWidth x maxHeight: the page's output. Nothing this system writes is larger (the
// importer fits pictures to the output), so a larger frame is a damaged file, and
// one that would take its size in texture memory on every play.
bool ReadFrame(CUniFile& file, CFrame& frame, bool keep, int maxWidth, int maxHeight) {
    uint8_t header[PageFile::FrameHeaderSize];
    if (!file.ReadBytes(header, sizeof header)) return false;
    const int32_t width = GetInt(header, 0), height = GetInt(header, 4), delay = GetInt(header, 8);
    const int32_t compressedFlag = GetInt(header, 12), dataSize = GetInt(header, 16);
    if (width <= 0 || height <= 0 || width > std::min(maxWidth, PageFile::MaxFrameSide) ||
        height > std::min(maxHeight, PageFile::MaxFrameSide)) {
        file.Status = StatusCorrupt;
        return false;
    }
    const int64_t rawSize = int64_t(width) * height * 4;
    const int64_t stored = !compressedFlag || dataSize == -1 ? rawSize : dataSize;
    if ((compressedFlag && dataSize < -1) || stored > file.Remaining()) {
        file.Status = StatusCorrupt;
        return false;
    }
    if (!keep) return file.Skip(stored);  // beyond the frame limit: pass over it

    if (frame.Frames.empty()) {
        frame.PictureWidth = width;
        frame.PictureHeight = height;
    } else if (width != frame.PictureWidth || height != frame.PictureHeight) {
        // Every frame of an object has the first frame's size; the engine relies on it.
        file.Status = StatusCorrupt;
        return false;
    }
    CFrameBackground background;
    if (compressedFlag) {
        if (!background.Picture.Allocate(width, height, dataSize) ||
            !file.ReadBytes(background.Picture.data.get(), stored))
            return file.Status = StatusCorrupt, false;
    } else {
        CPicture raw;
        if (!raw.Resize(width, height) || !file.ReadBytes(raw.data.get(), rawSize))
            return file.Status = StatusCorrupt, false;
        background.Picture.Compress(raw);
    }
    background.Delay = std::max(delay, 0);  // a negative hold would run the animation backwards in time
    frame.Frames.push_back(std::move(background));
    return true;
}

bool ReadObject(CUniFile& file, const QString& path, CFrame& frame, int maxWidth, int maxHeight) {
    uint8_t record[PageFile::RecordSize];
    const bool ok = [&] {
        if (!file.ReadBytes(record, sizeof record)) return false;
        // A value outside its field's range keeps the default: no stored value may
        // drive the timeline into overflow or name an effect that does not exist.
        // Switches (0..1) read any non-zero value as on.
        const auto take = [&](const PageFile::StoredField& f, int32_t value) {
            if (f.field != &CFrame::Kind && f.min == 0 && f.max == 1) value = value != 0 ? 1 : 0;
            if (f.field == &CFrame::Kind || (value >= f.min && value <= f.max)) frame.*f.field = value;
        };
        for (const auto& f : PageFile::RecordFields)
            if (!f.timer) take(f, GetInt(record, f.offset));
        frame.BackColor = qFromLittleEndian<uint32_t>(record + OffBackColor);

        // Older writers kept one timer value at the start offset; which end it was
        // depends on the count direction.
        const int32_t timerValue = std::clamp(GetInt(record, OffTimerStart), 0, MaxTimerSeconds);
        if (GetInt(record, OffTimerStopFlag) != 0) {
            frame.TimerStart = timerValue;
            frame.TimerStop = std::clamp(GetInt(record, OffTimerStop), 0, MaxTimerSeconds);
        } else if (frame.TimerDirection != 0) {
            frame.TimerStart = timerValue;
            frame.TimerStop = 0;
        } else {
            frame.TimerStart = 0;
            frame.TimerStop = timerValue;
        }
        const auto edge = [&](int offset) { return std::clamp(GetInt(record, offset), -MaxEdge, MaxEdge); };
        frame.Rect = {edge(OffRect), edge(OffRect + 4), edge(OffRect + 8), edge(OffRect + 12)};
        // Edges stored the wrong way round would draw the object mirrored outside
        // its place; the rectangle they span is what was meant.
        if (frame.Rect.right < frame.Rect.left) std::swap(frame.Rect.left, frame.Rect.right);
        if (frame.Rect.bottom < frame.Rect.top) std::swap(frame.Rect.top, frame.Rect.bottom);

        const int32_t stringCount = GetInt(record, OffStringCount);
        const int32_t richTextLength = GetInt(record, OffRichTextLength);
        const int32_t frameCount = GetInt(record, OffFrameCount);
        if (stringCount < 0 || richTextLength < 0 || frameCount < 0) {
            file.Status = StatusCorrupt;
            return false;
        }
        for (int32_t k = 0; k < stringCount; ++k) {
            QString text;
            if (!file.ReadString(text)) return false;
            switch (k) {
            case 0: frame.FileName = PageFile::FromStoredPath(text, path); break;
            case 1: frame.ClockFormat = text; break;
            case 2: frame.TimerFormat = text; break;
            case 3: frame.Group = text; break;
            case 4: frame.ImageFileName = PageFile::FromStoredPath(text, path); break;
            default: break;
            }
        }
        if (richTextLength > 0) {
            if (richTextLength > file.Remaining()) {
                file.Status = StatusCorrupt;
                return false;
            }
            frame.RichText.resize(richTextLength);
            if (!file.ReadBytes(frame.RichText.data(), richTextLength)) return false;
        }
        for (int32_t k = 0; k < frameCount; ++k)
            if (!ReadFrame(file, frame, frame.Frames.size() < size_t(PageFile::MaxFrames), maxWidth, maxHeight))
                return false;
        return true;
    }();
    frame.EditorBackgroundValid = 0;
    frame.EditorTextValid = 0;
    return ok;
}

void WriteObject(CUniFile& file, const QString& path, const CFrame& frame) {
    uint8_t record[PageFile::RecordSize] = {};
    for (const auto& f : PageFile::RecordFields) PutInt(record, f.offset, frame.*f.field);
    qToLittleEndian<uint32_t>(frame.BackColor, record + OffBackColor);
    PutInt(record, OffRect, frame.Rect.left);
    PutInt(record, OffRect + 4, frame.Rect.top);
    PutInt(record, OffRect + 8, frame.Rect.right);
    PutInt(record, OffRect + 12, frame.Rect.bottom);
    PutInt(record, OffStringCount, 5);
    PutInt(record, OffRichTextLength, int32_t(frame.RichText.size()));
    const bool writeFrames = !frame.MaintainLink;
    PutInt(record, OffFrameCount, writeFrames ? int32_t(frame.Frames.size()) : 0);
    PutInt(record, OffTimerStopFlag, 1);
    file.WriteBytes(record, sizeof record);

    file.WriteString(PageFile::ToStoredPath(frame.FileName, path));
    file.WriteString(frame.ClockFormat);
    file.WriteString(frame.TimerFormat);
    file.WriteString(frame.Group);
    file.WriteString(PageFile::ToStoredPath(frame.ImageFileName, path));
    file.WriteBytes(frame.RichText.constData(), frame.RichText.size());
    if (!writeFrames) return;
    for (const CFrameBackground& background : frame.Frames) {
        const CCompressedPicture& picture = background.Picture;
        uint8_t header[PageFile::FrameHeaderSize] = {};
        PutInt(header, 0, picture.width);
        PutInt(header, 4, picture.height);
        PutInt(header, 8, background.Delay);
        PutInt(header, 12, 1);
        PutInt(header, 16, picture.compressedSize);
        file.WriteBytes(header, sizeof header);
        file.WriteBytes(picture.data.get(), int64_t(picture.StoredByteCount()));
        if (file.Status != StatusOk) return;
    }
}

unsigned DpiName(int dpi) {
    switch (dpi) {
    case 96: return 32921;
    case 120: return 32922;
    case 144: return 32923;
    default: return 0;
    }
}

}  // namespace

namespace PageFile {

const StoredField RecordFields[] = {
    {"Kind", 0, &CFrame::Kind, 0, 1},
    {"Locked", 4, &CFrame::Locked, 0, 1},
    {"Movement", 8, &CFrame::Movement, 0, 2},
    {"Speed", 12, &CFrame::Speed, 1, 40},
    {"Loop", 16, &CFrame::Loop, 0, 1},
    {"ShowWhileTextMoves", 20, &CFrame::ShowWhileTextMoves, 0, 1},
    {"TextOpacity", 28, &CFrame::TextOpacity, 0, 255},
    {"TextSource", 32, &CFrame::TextSource, 0, 5},
    {"Encoding", 36, &CFrame::Encoding, 0, 4},
    {"FirstLineIsHeader", 40, &CFrame::FirstLineIsHeader, 0, 1},
    {"ShowFor", 44, &CFrame::ShowFor, 0, MaxDuration},
    {"StartDelay", 48, &CFrame::StartDelay, 0, MaxDuration},
    {"InEffect", 52, &CFrame::InEffect, 0, 30},
    {"InEffectDuration", 56, &CFrame::InEffectDuration, 0, MaxDuration},
    {"FadeIn", 60, &CFrame::FadeIn, 0, 1},
    {"OutEffect", 64, &CFrame::OutEffect, 0, 30},
    {"OutEffectDuration", 68, &CFrame::OutEffectDuration, 0, MaxDuration},
    {"FadeOut", 72, &CFrame::FadeOut, 0, 1},
    {"Repeat", 76, &CFrame::Repeat, 0, 1},
    {"MonitorFileChanges", 108, &CFrame::MonitorFileChanges, 0, 1},
    {"ShowIndefinitely", 112, &CFrame::ShowIndefinitely, 0, 1},
    {"Separator", 116, &CFrame::Separator, 0, 1},
    {"LoopAnimation", 120, &CFrame::LoopAnimation, 0, 1},
    {"SwitcherButton", 124, &CFrame::SwitcherButton, 0, 16},
    {"Reverse", 128, &CFrame::Reverse, 0, 1},
    {"TimerStart", 132, &CFrame::TimerStart, 0, 86399, true},
    {"TimerDirection", 136, &CFrame::TimerDirection, 0, 1},
    {"StartFromEdge", 140, &CFrame::StartFromEdge, 0, 1},
    {"BarGraph", 144, &CFrame::BarGraph, 0, 1},
    {"Hotkey", 148, &CFrame::Hotkey, 0, 20},
    {"MaintainLink", 152, &CFrame::MaintainLink, 0, 1},
    {"DropShadow", 156, &CFrame::DropShadow, 0, 4},
    {"TimerStop", 164, &CFrame::TimerStop, 0, 86399, true},
};

QString ToStoredPath(const QString& path, const QString& pageFilePath) {
    if (path.isEmpty()) return path;
    const QString folder = PageFolder(pageFilePath);
    // Linux file names are case-sensitive: a folder that matches only without regard
    // to case is a different folder, so the comparison keeps case.
    if (path.size() > folder.size() && path.startsWith(folder)) return u'+' + path.mid(folder.size());
    return path;
}

QString FromStoredPath(const QString& stored, const QString& pageFilePath) {
    if (!stored.startsWith(u'+')) return stored;
    QString rest = stored.mid(1);
    rest.replace(u'\\', u'/');  // pages made on Windows
    return PageFolder(pageFilePath) + rest;
}

CPicture MakePreview(const CPicture& canvas) {
    CPicture preview(canvas);
    while (preview.width > PreviewMaxWidth) preview.Halve();
    return preview;
}

bool ReadHeader(const QString& path, PageHeader& header) {
    CUniFile file;
    uint8_t block[HeaderSize];
    if (!file.OpenRead(path) || !file.ReadBytes(block, sizeof block)) return false;
    DecodeHeader(block, header);
    return true;
}

bool ReadPage(const QString& path, int modeIndex, int desktopDpi, std::vector<std::unique_ptr<CFrame>>& objects) {
    objects.clear();
    CTranslate& translate = CTranslate::Global();
    CUniFile file;
    file.Status = StatusOpenFailed;
    PageHeader header;
    if (file.OpenRead(path) && ReadCheckedHeader(file, header)) {
        int width = header.width, height = header.height;
        if (width == 0 && height == 0) {
            width = header.legacyHd == 1 ? 1920 : 720;
            height = header.legacyHd == 1 ? 1080 : 576;
        }
        if (height == 480 || height == 486 || height == 488) height = 488;
        // A size that is no mode's at all is damage, not a page made for another mode.
        bool someMode = false;
        for (int m = 0; m < VideoModes::Count; ++m)
            someMode = someMode || (width == VideoModes::RenderWidth(m) && height == VideoModes::RenderHeight(m));
        if (!someMode) {
            translate.MessageBoxFormat(10313, MbIconError, {path});
            return false;
        }
        if (width != VideoModes::RenderWidth(modeIndex) || height != VideoModes::RenderHeight(modeIndex)) {
            translate.MessageBoxFormat(10315, MbIconError, {width, height, path});
            return false;
        }
        const int dpi = header.dpi == 0 ? 96 : header.dpi;
        if (dpi != desktopDpi) {
            const unsigned nameId = DpiName(dpi);
            translate.MessageBoxFormat(10213, MbIconWarning,
                                       {nameId ? translate.LoadText(nameId) : QString(), dpi});
        }
        const int framePeriod = VideoModes::FramePeriod(modeIndex);
        int64_t pictureBytes = 0;
        for (int k = 0; k < header.objectCount; ++k) {
            auto frame = std::make_unique<CFrame>();
            if (!ReadObject(file, path, *frame, width, height)) break;
            // Each picture object takes its picture's size in texture memory while it
            // plays; a page beyond the budget is refused whole rather than half shown.
            if (!frame->Frames.empty()) pictureBytes += int64_t(frame->PictureWidth) * frame->PictureHeight * 4;
            if (pictureBytes > PageFile::MaxPictureBytes) {
                objects.clear();
                translate.MessageBoxFormat(10316, MbIconError, {int(PageFile::MaxPictureBytes >> 20), path});
                return false;
            }
            if (frame->Kind != KindSimple && frame->Kind != KindPicture) continue;
            frame->FramePeriod = framePeriod;
            if (objects.size() >= size_t(MaxObjects)) break;
            objects.push_back(std::move(frame));
        }
    }
    if (file.Status == StatusOk) return true;
    objects.clear();
    translate.MessageBoxFormat(10310 + file.Status, MbIconError, {path});
    return false;
}

bool WritePage(const QString& path, int modeIndex, int desktopDpi, const std::vector<const CFrame*>& objects,
               const CPicture* canvas) {
    CUniFile file;
    file.Status = StatusOpenFailed;
    if (file.OpenWrite(path)) {
        PageHeader header;
        header.objectCount = int32_t(objects.size());
        header.dpi = desktopDpi;
        header.width = VideoModes::RenderWidth(modeIndex);
        header.height = VideoModes::RenderHeight(modeIndex);
        uint8_t block[HeaderSize];
        EncodeHeader(header, block);
        file.WriteBytes(block, sizeof block);
        for (const CFrame* frame : objects) {
            if (file.Status != StatusOk) break;
            WriteObject(file, path, *frame);
        }
        if (file.Status == StatusOk && canvas && !canvas->IsEmpty()) {
            const CPicture preview = MakePreview(*canvas);
            header.previewWidth = preview.width;
            header.previewHeight = preview.height;
            header.previewOffset = int32_t(file.Position());
            file.WriteBytes(preview.data.get(), int64_t(preview.ByteCount()));
            EncodeHeader(header, block);
            if (file.Seek(0)) file.WriteBytes(block, sizeof block);
        }
        file.Commit();
    }
    if (file.Status == StatusOk) return true;
    CTranslate::Global().MessageBoxFormat(10310 + file.Status, MbIconError, {path});
    return false;
}

bool ReadPreview(const QString& path, CPicture& preview) {
    CUniFile file;
    file.Status = StatusOpenFailed;
    PageHeader header;
    const bool ok = [&] {
        if (!file.OpenRead(path) || !ReadCheckedHeader(file, header)) return false;
        if (header.previewWidth <= 0 || header.previewHeight <= 0 || header.previewOffset <= 0 ||
            !CPicture::IsValidSize(header.previewWidth, header.previewHeight))
            return false;
        const int64_t bytes = int64_t(header.previewWidth) * header.previewHeight * 4;
        if (header.previewOffset > file.Length() || bytes > file.Length() - header.previewOffset) return false;
        if ((preview.width != header.previewWidth || preview.height != header.previewHeight) &&
            !preview.Resize(header.previewWidth, header.previewHeight))
            return false;
        return file.Seek(header.previewOffset) && file.ReadBytes(preview.data.get(), bytes);
    }();
    if (!ok) preview.Clear();
    return ok;
}

}  // namespace PageFile
