#include "playback/Import.h"

#include "base/CodePage.h"
#include "base/Debug.h"
#include "playback/FileStamp.h"
#include "base/NonStdioFile.h"
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
// Undecodable frames in a row after which a video counts as ended.
constexpr int MaxMissingFrames = 250;


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
    if (const int result = picture.LoadFromFile(path, true, -1)) {
        outcome.failure = result;
        outcome.failedPath = path;
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
        if (const int result = next.LoadFromFile(path, true, i)) {
            outcome.failure = result;
            outcome.failedPath = path;
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
        if (const int result = picture.LoadFromFile(entry.path, true, -1)) {
            outcome.failure = result;
            outcome.failedPath = entry.path;
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
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    QStringDecoder ansi(CodePage::Name(CNonStdioFile::AnsiCodePage()).constData());
    while (!file.atEnd()) {
        QByteArray bytes = file.readLine();
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

VideoResult ImportVideo(ImportedFrames& target, const QString& path, int maxWidth, int maxHeight,
                        const std::function<bool(int)>& progress, bool& truncated) {
    truncated = false;
    CAviReader reader;
    if (!reader.Open(path)) return VideoResult::OpenFailed;
    if (!reader.ReadStreamInfo()) return VideoResult::DecodingFailed;
    if (reader.Width < MinSide || reader.Height < MinSide) return VideoResult::TooSmall;
    if (reader.Width > maxWidth || reader.Height > maxHeight) return VideoResult::TooLarge;
    if (reader.Length == 0 || reader.Rate == 0) return VideoResult::DecodingFailed;
    if (!reader.OpenDecoder()) return VideoResult::DecodingFailed;
    const int delay = int(uint32_t(reader.Scale * 1000u) / reader.Rate);
    CPicture picture;
    if (!picture.Resize(reader.Width, reader.Height)) return VideoResult::DecodingFailed;
    const int bits = reader.BitCount();
    const size_t stride = ((size_t(reader.Width) * size_t(bits) + 31) / 32) * 4;
    // The length comes from the file: a stream that stops delivering frames ends the
    // import instead of being asked for billions that are not there.
    const uint32_t length = std::min<uint32_t>(reader.Length, uint32_t(std::numeric_limits<int>::max()));
    int missing = 0;
    for (uint32_t i = 0; i < length; ++i) {
        const uint8_t* bitmap = reader.GetFrame(int(i));
        if (!bitmap) {
            if (reader.AtEnd() || ++missing > MaxMissingFrames) break;
            continue;  // a frame that cannot be decoded is left out
        }
        missing = 0;
        const uint8_t* rows = bitmap + 40;
        for (int y = 0; y < reader.Height; ++y) {
            const uint8_t* source = rows + size_t(reader.Height - 1 - y) * stride;
            uint8_t* row = picture.Pixel(0, y);
            if (bits == 32) {
                std::memcpy(row, source, size_t(reader.Width) * 4);
            } else {
                for (int x = 0; x < reader.Width; ++x) {
                    row[x * 4] = source[x * 3];
                    row[x * 4 + 1] = source[x * 3 + 1];
                    row[x * 4 + 2] = source[x * 3 + 2];
                    row[x * 4 + 3] = 255;
                }
            }
        }
        if (!AddFrame(target, picture, delay, maxWidth, maxHeight)) {
            truncated = true;
            break;
        }
        if (progress && !progress(int(i))) return VideoResult::Cancelled;
    }
    return VideoResult::Ok;
}

int ImportFile(ImportedFrames& target, const QString& path, int maxWidth, int maxHeight, int defaultDelay,
               const std::function<bool()>& carryOn) {
    ImportOutcome outcome;
    const ImportProgress watch{[](int) {}, [&carryOn](int) { return carryOn(); }, [] {}};
    const ImportProgress* progress = carryOn ? &watch : nullptr;
    const QString extension = Extension(path);
    if (extension == QLatin1String("txt")) {
        QStringList lines;
        if (!ReadImageList(path, lines)) return 0;
        return ImportEntries(target, lines, QFileInfo(path).absolutePath(), defaultDelay, maxWidth, maxHeight, outcome,
                             progress);
    }
    if (extension == QLatin1String("avi")) {
        bool truncated = false;
        int frames = 0;
        ImportVideo(target, path, maxWidth, maxHeight, [&](int) { return ++frames, !carryOn || carryOn(); },
                    truncated);
        return frames;
    }
    return ImportPictureFrames(target, path, maxWidth, maxHeight, outcome, progress);
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

