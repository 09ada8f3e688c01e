#include "playback/Import.h"

#include "base/CodePage.h"
#include "base/Debug.h"
#include "playback/FileStamp.h"
#include "base/NonStdioFile.h"
#include "base/SafeFile.h"
#include "media/AviReader.h"
#include "playback/Timeline.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

constexpr int MinSide = 16;
constexpr int AutomaticMaxWidth = 1920;
constexpr int AutomaticMaxHeight = 1080;
// Calls in a row that gave no frame after which a video counts as ended.
constexpr int MaxMissingFrames = 250;
// An image list longer than this is no list of pictures.
constexpr qint64 MaxImageListBytes = 16ll * 1024 * 1024;

// The extensions the image codecs read.
const char* const PictureExtensions[] = {"bmp", "dib", "gif", "jpg", "jpeg", "jpe", "png", "tga"};
// Containers offered in the editor's file filter; any other FFmpeg opens imports too.
const char* const VideoExtensions[] = {"avi", "mov", "mp4", "m4v", "mkv", "webm", "mxf", "mpg", "mpeg", "ts", "ogv", "wmv", "flv"};


bool SameCode(const CCompressedPicture& a, const CCompressedPicture& b) {
    return a.width == b.width && a.height == b.height && a.compressedSize == b.compressedSize &&
           a.StoredByteCount() == b.StoredByteCount() &&
           std::memcmp(a.data.get(), b.data.get(), a.StoredByteCount()) == 0;
}

QString Extension(const QString& path) { return QFileInfo(path).suffix().toLower(); }

}  // namespace

int AddDelays(int a, int b) { return int(std::clamp<int64_t>(int64_t(a) + b, 0, std::numeric_limits<int>::max())); }

int ImportPictureFrames(ImportedFrames& target, const QString& path, int maxWidth, int maxHeight,
                        ImportOutcome& outcome, const ImportProgress* progress) {
    CPicture picture;
    if (const int result = picture.LoadFromFile(path, true, -1, &outcome.reason)) {
        outcome.failure = result;
        outcome.failedPath = path;
        CDebug::Log(1, "Import: %s: %s", path, outcome.reason);
        return 0;
    }
    if (picture.width > maxWidth || picture.height > maxHeight) outcome.tooLarge = true;
    if (!AddFrame(target, picture, picture.frameDelay, maxWidth, maxHeight)) {
        outcome.truncated = true;
        return 0;
    }
    int taken = 1;
    if (picture.frameCount <= 1) return taken;
    if (progress) progress->open(picture.frameCount);
    for (int i = 1; i < picture.frameCount; ++i) {
        if (i >= CFrameBackground::MaxFrames) {  // the decoder gives no frame beyond
            outcome.truncated = true;
            break;
        }
        if (progress && !progress->step(i)) {
            outcome.cancelled = true;
            break;
        }
        CPicture next;
        if (const int result = next.LoadFromFile(path, true, i, &outcome.reason)) {
            outcome.failure = result;
            outcome.failedPath = path;
            CDebug::Log(1, "Import: %s, frame %d: %s", path, i, outcome.reason);
            break;
        }
        if (!AddFrame(target, next, next.frameDelay, maxWidth, maxHeight)) {
            outcome.truncated = true;
            break;
        }
        ++taken;
    }
    if (progress) progress->close();
    return taken;
}

int ImportEntries(ImportedFrames& target, const QStringList& lines, const QString& folder, int defaultDelay,
                  int maxWidth, int maxHeight, ImportOutcome& outcome, const ImportProgress* progress) {
    if (progress) progress->open(int(lines.size()));
    int taken = 0;
    for (const QString& line : lines) {
        const ImageListEntry entry = ParseImageListLine(line, folder, defaultDelay);
        if (entry.skip) continue;
        CPicture picture;
        if (const int result = picture.LoadFromFile(entry.path, true, -1, &outcome.reason)) {
            outcome.failure = result;
            outcome.failedPath = entry.path;
            CDebug::Log(1, "Import: %s: %s", entry.path, outcome.reason);
            break;
        }
        if (picture.width > maxWidth || picture.height > maxHeight) outcome.tooLarge = true;
        if (!AddFrame(target, picture, entry.delay, maxWidth, maxHeight)) {
            outcome.truncated = true;
            break;
        }
        ++taken;
        if (progress && !progress->step(taken)) {
            outcome.cancelled = true;
            break;
        }
    }
    if (progress) progress->close();
    return taken;
}

int AddFrame(ImportedFrames& target, const CPicture& picture, int delay, int maxWidth, int maxHeight) {
    if (target.Frames.size() >= size_t(CFrameBackground::MaxFrames)) return 0;
    if (target.Frames.empty()) {
        target.PictureWidth = std::max(MinSide, std::min(picture.width, maxWidth));
        target.PictureHeight = std::max(MinSide, std::min(picture.height, maxHeight));
    }
    CFrameBackground frame;
    frame.Delay = delay;
    const bool exact = picture.width == target.PictureWidth && picture.height == target.PictureHeight;
    if (exact) {
        frame.Picture.Compress(picture);
    } else {
        // The top-left part of the picture at the object's size; where the picture
        // is smaller, the rest stays transparent. Never read past its own rows.
        CPicture sized;
        if (!sized.Resize(target.PictureWidth, target.PictureHeight)) return 0;
        sized.Fill(0x00000000);
        CPicture::Blit(sized, picture, 0, 0, target.PictureWidth, target.PictureHeight, 0, 0, 0);
        frame.Picture.Compress(sized);
    }
    if (exact && !target.Frames.empty() && SameCode(target.Frames.back().Picture, frame.Picture)) {
        target.Frames.back().Delay = AddDelays(target.Frames.back().Delay, delay);
        return 1;
    }
    target.Frames.push_back(std::move(frame));
    return 1;
}

ImageListEntry ParseImageListLine(const QString& line, const QString& listFolder, int defaultDelay) {
    ImageListEntry entry;
    const qsizetype semicolon = line.indexOf(u';');
    entry.path = semicolon < 0 ? line : line.left(semicolon);
    entry.delay = defaultDelay;
    if (semicolon >= 0) {
        // The integer at the start of the rest (white space, sign, digits), as atoi
        // reads it, but saturating instead of overflowing.
        const QByteArray rest = line.mid(semicolon + 1).toLatin1();
        const long long parsed = std::strtoll(rest.constData(), nullptr, 10);
        const int value = int(std::clamp<long long>(parsed, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
        if (value > 0) entry.delay = value;
    }
    const QFileInfo info(entry.path);
    if (info.fileName().isEmpty() || info.suffix().isEmpty()) {
        entry.skip = true;
        return entry;
    }
    // A bare file name is looked for beside the list. Joined by hand: QDir would
    // take a name starting with ":" for a resource path and leave it alone.
    if (!entry.path.contains(u'/') && !entry.path.contains(u'\\') && !listFolder.isEmpty())
        entry.path = (listFolder.endsWith(u'/') ? listFolder : listFolder + u'/') + entry.path;
    return entry;
}

bool ReadImageList(const QString& path, QStringList& lines) {
    lines.clear();
    QByteArray all;
    if (const FileRefusal refusal = SafeFile::ReadAll(path, MaxImageListBytes, all); refusal != FileRefusal::None) {
        CDebug::Log(1, "Import: %s: %s", path, FileRefusalText(refusal));
        return false;
    }
    QStringDecoder ansi(CodePage::Name(CNonStdioFile::AnsiCodePage()).constData());
    qsizetype from = 0;
    while (from < all.size()) {
        qsizetype to = all.indexOf('\n', from);
        to = to < 0 ? all.size() : to + 1;
        QByteArray bytes = all.mid(from, to - from);
        from = to;
        while (bytes.endsWith('\n') || bytes.endsWith('\r')) bytes.chop(1);
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString line = utf8.decode(bytes);
        if (utf8.hasError()) {
            ansi.resetState();
            line = ansi.isValid() ? ansi.decode(bytes) : QString::fromLatin1(bytes);
        }
        lines << line;
    }
    return true;
}

QStringList NumberedSequence(const QString& path) {
    const QFileInfo info(path);
    static const QRegularExpression trailingDigits(QStringLiteral("^(.*?)(\\d+)$"));
    const QRegularExpressionMatch match = trailingDigits.match(info.completeBaseName());
    if (!match.hasMatch()) return {};
    const QString prefix = match.captured(1);
    const int width = int(match.captured(2).size());
    bool ok = false;
    long long n = match.captured(2).toLongLong(&ok);
    if (!ok) return {};
    const QString suffix = info.suffix().isEmpty() ? QString() : u'.' + info.suffix();
    QStringList files;
    const QDir folder = info.dir();
    // The run is bounded by what exists; the frame limit caps it anyway.
    for (int k = 0; k <= CFrameBackground::MaxFrames * 10; ++k, ++n) {
        const QString name = prefix + QStringLiteral("%1").arg(n, width, 10, QLatin1Char('0')) + suffix;
        const QString candidate = folder.filePath(name);
        if (!QFileInfo::exists(candidate)) break;
        files << candidate;
    }
    return files;
}

ImportKind KindOfImport(const QString& path) {
    const QString extension = Extension(path);
    if (extension == QLatin1String("txt")) return ImportKind::ImageList;
    for (const char* picture : PictureExtensions)
        if (extension == QLatin1String(picture)) return ImportKind::Picture;
    return ImportKind::Video;
}

QString ImportPatterns() {
    QStringList patterns;
    for (const char* picture : PictureExtensions) patterns << QStringLiteral("*.%1").arg(QLatin1String(picture));
    patterns << QStringLiteral("*.txt");
    for (const char* video : VideoExtensions) patterns << QStringLiteral("*.%1").arg(QLatin1String(video));
    return patterns.join(u';');
}

namespace {

// A bitmap of the reader (bottom-up rows, 24 or 32 bits) into picture (top-down,
// 32 bits). Returns the OR of the alpha bytes (255 for 24 bits).
uint8_t TakeVideoFrame(CPicture& picture, const uint8_t* bitmap, int width, int height, int bits) {
    const size_t stride = ((size_t(width) * size_t(bits) + 31) / 32) * 4;
    const uint8_t* rows = bitmap + 40;
    uint8_t alpha = bits == 32 ? 0 : 255;
    for (int y = 0; y < height; ++y) {
        const uint8_t* source = rows + size_t(height - 1 - y) * stride;
        uint8_t* row = picture.Pixel(0, y);
        if (bits == 32) {
            std::memcpy(row, source, size_t(width) * 4);
            for (int x = 0; x < width; ++x) alpha |= source[x * 4 + 3];
        } else {
            for (int x = 0; x < width; ++x) {
                row[x * 4] = source[x * 3];
                row[x * 4 + 1] = source[x * 3 + 1];
                row[x * 4 + 2] = source[x * 3 + 2];
                row[x * 4 + 3] = 255;
            }
        }
    }
    return alpha;
}

// The largest size within maxWidth x maxHeight with the aspect of width x height.
void FitInside(int width, int height, int maxWidth, int maxHeight, int& w, int& h) {
    if (int64_t(width) * maxHeight <= int64_t(height) * maxWidth) {
        h = maxHeight;
        w = int(std::max<int64_t>(1, (int64_t(width) * maxHeight + height / 2) / height));
    } else {
        w = maxWidth;
        h = int(std::max<int64_t>(1, (int64_t(height) * maxWidth + width / 2) / width));
    }
    w = std::min(w, maxWidth);
    h = std::min(h, maxHeight);
}

}  // namespace

VideoResult ImportVideo(ImportedFrames& target, const QString& path, int maxWidth, int maxHeight,
                        const std::function<bool(int)>& progress, bool& truncated, VideoReport* report) {
    VideoReport local;
    VideoReport& r = report ? *report : local;
    r = VideoReport{};
    truncated = false;
    CAviReader reader;
    if (!reader.Open(path)) {
        CDebug::Log(1, "ImportVideo: %s: %s", path, reader.OpenError());
        return VideoResult::OpenFailed;
    }
    if (!reader.ReadStreamInfo()) {
        CDebug::Log(1, "ImportVideo: %s: no video stream", path);
        return VideoResult::DecodingFailed;
    }
    r.expected = int(std::min<uint32_t>(reader.Length, uint32_t(std::numeric_limits<int>::max())));
    if (reader.Width < MinSide || reader.Height < MinSide) return VideoResult::TooSmall;
    int width = reader.Width, height = reader.Height;
    if (width > maxWidth || height > maxHeight) {
        // Shown whole rather than refused: the frame is scaled down, keeping its aspect.
        FitInside(reader.Width, reader.Height, maxWidth, maxHeight, width, height);
        if (width < MinSide || height < MinSide) return VideoResult::TooLarge;
        reader.SetOutputSize(width, height);
        r.scaled = true;
        CDebug::Log(1, "ImportVideo: %s: %d x %d is larger than %d x %d, scaled down to %d x %d", path, reader.Width,
                    reader.Height, maxWidth, maxHeight, width, height);
    }
    r.outWidth = width;
    r.outHeight = height;
    if (!reader.OpenDecoder()) {
        CDebug::Log(1, "ImportVideo: %s: no decoder for the video stream", path);
        return VideoResult::DecodingFailed;
    }
    CPicture picture, held;
    if (!picture.Resize(width, height) || !held.Resize(width, height)) return VideoResult::DecodingFailed;
    const int bits = reader.BitCount();
    const size_t firstAdded = target.Frames.size();
    // A frame goes in once the next one's start is known: its delay runs up to it.
    bool holding = false;
    int64_t heldStart = 0, lastEnd = 0, lastInterval = 0;
    uint8_t alphaSeen = 0;
    int missing = 0;
    const auto addHeld = [&](int64_t until) {
        const int delay = int(std::clamp<int64_t>(until - heldStart, 0, std::numeric_limits<int>::max()));
        return AddFrame(target, held, delay, maxWidth, maxHeight) != 0;
    };
    bool cancelled = false;
    while (!reader.AtEnd()) {
        const uint8_t* bitmap = reader.NextFrame();
        if (!bitmap) {
            if (reader.AtEnd() || ++missing > MaxMissingFrames) break;
            continue;
        }
        missing = 0;
        int64_t start = 0, end = 0;
        if (!reader.DeliveredTimes(start, end)) {
            // No timestamps: the frame's place in the stream at its nominal rate.
            const int64_t index = std::max<int64_t>(0, reader.DeliveredIndex());
            const int64_t scale = reader.Scale ? reader.Scale : 1, rate = reader.Rate ? reader.Rate : 25;
            start = (index * scale * 1000 + rate - 1) / rate;
            end = ((index + 1) * scale * 1000 + rate - 1) / rate;
        }
        if (holding) start = std::max(start, heldStart);  // timestamps that go back do not reorder frames
        alphaSeen |= TakeVideoFrame(picture, bitmap, width, height, bits);
        if (holding && !addHeld(start)) {
            truncated = true;
            holding = false;
            break;
        }
        if (holding) lastInterval = start - heldStart;
        std::swap(picture, held);
        holding = true;
        heldStart = start;
        lastEnd = std::max(end, start);
        ++r.decoded;
        if (progress && !progress(r.decoded - 1)) {
            cancelled = true;
            break;
        }
    }
    // The last frame lasts as long as the stream says; where the container keeps
    // no duration, FFmpeg's guess is a tick of the time base (1 ms in Matroska),
    // and the frame lasts as long as the one before it. A cancelled import keeps
    // what it had when it gave way.
    if (holding && lastEnd - heldStart <= 1) lastEnd = heldStart + std::max<int64_t>(lastInterval, lastEnd - heldStart);
    if (holding && !addHeld(lastEnd)) truncated = true;
    r.undecodable = reader.DecodeErrors();
    if (!truncated && !cancelled && r.expected > 0) {
        // The stream gave out before the frames the container counted (an
        // estimate from the duration and a guessed rate proves nothing).
        const int64_t last = reader.DeliveredIndex() + 1;
        r.endedEarly = reader.AtEnd() && reader.LengthExact() && last < int64_t(r.expected);
    }
    if (cancelled) return VideoResult::Cancelled;
    if (r.decoded == 0) {
        CDebug::Log(1, "ImportVideo: %s: no frame could be decoded (%d decoding errors)", path, r.undecodable);
        return VideoResult::DecodingFailed;
    }
    if (bits == 32 && alphaSeen == 0) {
        // Alpha zero in every frame: a 32-bit file that means to be opaque, as
        // such files commonly do (the image codecs read them the same way).
        CPicture frame;
        for (size_t k = firstAdded; k < target.Frames.size(); ++k) {
            if (!target.Frames[k].Picture.Decompress(frame)) continue;
            for (int y = 0; y < std::min(frame.height, height); ++y)
                for (int x = 0; x < std::min(frame.width, width); ++x) frame.Pixel(x, y)[3] = 255;
            target.Frames[k].Picture.Compress(frame);
        }
    }
    if (r.Partial())
        CDebug::Log(1, "ImportVideo: %s: damaged: %d frames decoded of %d, %d decoding errors%s; the last good frame is held over the rest",
                    path, r.decoded, r.expected, r.undecodable, r.endedEarly ? ", the file ends early" : "");
    return VideoResult::Ok;
}

int ImportFile(ImportedFrames& target, const QString& path, int maxWidth, int maxHeight, int defaultDelay,
               const std::function<bool()>& carryOn, QString* error) {
    ImportOutcome outcome;
    const ImportProgress watch{[](int) {}, [&carryOn](int) { return carryOn(); }, [] {}};
    const ImportProgress* progress = carryOn ? &watch : nullptr;
    const auto said = [&](int taken) {
        if (error && outcome.failure)
            *error = QStringLiteral("%1: %2").arg(outcome.failedPath,
                                                  outcome.reason.isEmpty() ? QStringLiteral("cannot be read") : outcome.reason);
        return taken;
    };
    if (error) error->clear();
    const ImportKind kind = KindOfImport(path);
    if (kind == ImportKind::ImageList) {
        QStringList lines;
        if (!ReadImageList(path, lines)) {
            if (error) *error = path + QStringLiteral(": the list cannot be read");
            return 0;
        }
        return said(ImportEntries(target, lines, QFileInfo(path).absolutePath(), defaultDelay, maxWidth, maxHeight,
                                  outcome, progress));
    }
    if (kind == ImportKind::Video) {
        bool truncated = false;
        VideoReport report;
        const VideoResult result = ImportVideo(target, path, maxWidth, maxHeight,
                                               [&](int) { return !carryOn || carryOn(); }, truncated, &report);
        if (result != VideoResult::OpenFailed) {
            if (error && result != VideoResult::Ok && result != VideoResult::Cancelled)
                *error = path + (result == VideoResult::TooSmall ? QStringLiteral(": the video is too small")
                                 : result == VideoResult::TooLarge ? QStringLiteral(": the video is too large")
                                                                   : QStringLiteral(": no frame of the video could be decoded"));
            return report.decoded;
        }
        // Not a container FFmpeg knows: perhaps a picture under another name.
    }
    return said(ImportPictureFrames(target, path, maxWidth, maxHeight, outcome, progress));
}

bool ImageFileChanged(const CFrame& frame) {
    if (!frame.MaintainLink) return false;
    FileStampValue stamp;
    if (!FileStamp(frame.ImageFileName, stamp)) return true;
    return stamp.size != frame.ImageFileSize || stamp.time != frame.ImageFileTime;
}

namespace {

// The linked file's frames as they are now. Its stamp is taken before it is read:
// a write during the import then shows as a change at the next check instead of
// being taken for what was imported.
struct LinkedFile {
    ImportedFrames imported;
    FileStampValue stamp;
    bool stamped = false;
};

void ReadLinkedFile(const CFrame& frame, LinkedFile& file, const std::function<bool()>& carryOn) {
    const QString path = frame.ImageFileName;
    file.stamped = FileStamp(path, file.stamp);
    ImportFile(file.imported, path, AutomaticMaxWidth, AutomaticMaxHeight, frame.FramePeriod / 1000, carryOn);
}

void KeepImageStamp(CFrame& frame, const LinkedFile& file) {
    frame.ImageFileTime = file.stamped ? file.stamp.time : CalendarTime{};
    frame.ImageFileSize = file.stamped ? file.stamp.size : 0;
}

// The frames in place of the object's, which go back in frames; the size stays
// until a frame is added. FramesLock held.
void SwapFrames(CFrame& frame, std::vector<CFrameBackground>& frames, int width, int height) {
    frame.Frames.swap(frames);
    if (!frame.Frames.empty()) {
        frame.PictureWidth = width;
        frame.PictureHeight = height;
    }
    frame.EditorBackgroundValid = 0;
}

}  // namespace

bool InitBackground(CFrame& frame) {
    if (!frame.MaintainLink || !ImageFileChanged(frame)) return true;
    CDebug::Log(2, "CFrame::InitBackground(): changed");
    frame.AnimationFrame = -1;
    LinkedFile file;
    ReadLinkedFile(frame, file, {});
    {
        // The old frames go even when the import gave none.
        std::lock_guard guard(frame.FramesLock);
        SwapFrames(frame, file.imported.Frames, file.imported.PictureWidth, file.imported.PictureHeight);
    }
    frame.BackgroundTexture.reset();
    KeepImageStamp(frame, file);
    const bool result = !frame.Frames.empty();
    CDebug::Log(2, "CFrame::InitBackground() = %d", int(result));
    return result;
}

bool ReimportStep(CFrame& frame) {
    if (frame.FramesPending.load()) return false;  // the render thread has not taken the last ones yet
    // What the last hand-over replaced is freed here rather than on the render thread.
    if (!frame.ReimportedFrames.empty()) std::vector<CFrameBackground>().swap(frame.ReimportedFrames);
    if (!frame.ImageRecheckDue.exchange(0) || frame.Kind != KindPicture || !frame.MaintainLink) return false;
    if (!ImageFileChanged(frame)) return false;
    CDebug::Log(2, "CFrame::ReimportStep(%08X): changed", &frame);
    LinkedFile file;
    // A Stop waits for the text thread: a long video gives way at its next frame.
    ReadLinkedFile(frame, file, [&frame] { return frame.Playing.load() != 0; });
    // Stopped meanwhile: the next Play looks at the file again.
    if (!frame.Playing.load()) return false;
    frame.ReimportedFrames = std::move(file.imported.Frames);
    frame.ReimportedWidth = file.imported.PictureWidth;
    frame.ReimportedHeight = file.imported.PictureHeight;
    KeepImageStamp(frame, file);
    CDebug::Log(2, "CFrame::ReimportStep(%08X): %d frames", &frame, int(frame.ReimportedFrames.size()));
    frame.FramesPending.store(1);
    return true;
}

bool TakeReimportedFrames(CFrame& frame, bool wait) {
    if (!frame.FramesPending.load()) return true;
    // The editor may be reading the frames of this very object: the render thread
    // shows the old ones one frame longer rather than wait for it.
    std::unique_lock guard(frame.FramesLock, std::defer_lock);
    if (wait) guard.lock();
    else if (!guard.try_lock()) return false;
    // A swap: the old frames are freed by the text thread, not here.
    SwapFrames(frame, frame.ReimportedFrames, frame.ReimportedWidth, frame.ReimportedHeight);
    guard.unlock();
    frame.BackgroundTexture.reset();
    frame.AnimationFrame = -1;
    frame.FramesPending.store(0);
    return true;
}

const CPicture& GetEditorBackground(CFrame& frame) {
    if (frame.EditorBackgroundValid) return frame.EditorBackground;
    const int width = std::max(0, frame.Rect.Width()), height = std::max(0, frame.Rect.Height());
    if (frame.EditorBackground.width != width || frame.EditorBackground.height != height)
        frame.EditorBackground.Resize(width, height);
    if (frame.Kind != KindPicture) {
        frame.EditorBackground.Fill(frame.BackColor);
        frame.EditorBackgroundValid = 1;
    } else {
        // A playing object's imports and its error belong to its playback.
        const bool playing = frame.Playing.load();
        const int imported = playing ? 1 : InitBackground(frame);
        if (!playing) frame.BackgroundError.exchange(imported ? 0 : 1);
        std::lock_guard guard(frame.FramesLock);
        if (!imported || frame.Frames.empty()) {
            frame.EditorBackground.Fill(0xFF000000);
        } else {
            CPicture middle;
            frame.Frames[frame.Frames.size() / 2].Picture.Decompress(middle);
            if (middle.width == width && middle.height == height) {
                frame.EditorBackground = middle;
            } else {
                CPicture::ScaleInto(frame.EditorBackground, middle, width, height);
            }
        }
        // Marked valid under the lock: frames handed over meanwhile on the render
        // thread clear the mark after this, not before it.
        frame.EditorBackgroundValid = 1;
    }
    return frame.EditorBackground;
}

