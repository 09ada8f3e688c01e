// The document's "Add picture/animation": the interactive import.
#include "app/MainDoc.h"
#include "output/VideoModes.h"
#include "playback/Import.h"

#include <QFileInfo>

CFrame* CMainDoc::AddPictureObject() {
    if (PageFull()) return nullptr;
    CTranslate& translate = CTranslate::Global();
    const QString patterns = QStringLiteral("*.tga;*.bmp;*.png;*.jpg;*.gif;*.txt;*.avi");
    const QString filter = FormatString(QStringLiteral("%s (%s)|%s||"), {translate.LoadText(10210), patterns, patterns});
    const QString path = host_.ChooseImportFile(filter);
    if (path.isEmpty()) return nullptr;
    return ImportPictureObject(path);
}

CFrame* CMainDoc::ImportPictureObject(const QString& path) {
    CTranslate& translate = CTranslate::Global();
    const int W = PageWidth(), H = PageHeight();
    ImportedFrames imported;
    bool tooLarge = false, truncated = false, cancelled = false;
    const auto checkSize = [&](const CPicture& picture) {
        if (picture.width > W || picture.height > H) tooLarge = true;
    };
    const QString extension = QFileInfo(path).suffix().toLower();
    QStringList entries;
    bool fromEntries = false;

    if (extension == QLatin1String("txt")) {
        if (!ReadImageList(path, entries)) {
            translate.MessageBoxFormat(10361, MbIconError, {path});
            return nullptr;
        }
        fromEntries = true;
    } else if (extension == QLatin1String("avi")) {
        host_.ProgressOpen(CFrameBackground::MaxFrames);
        const VideoResult result = ImportVideo(imported, path, W, H, [&](int index) {
            host_.ProgressSet(index);
            return !host_.ProgressCancelled();
        }, truncated);
        host_.ProgressClose();
        switch (result) {
        case VideoResult::OpenFailed: translate.MessageBoxFormat(10361, MbIconError, {path}); return nullptr;
        case VideoResult::TooSmall: translate.MessageBoxText(10204, MbIconError); return nullptr;
        case VideoResult::TooLarge: translate.MessageBoxText(10205, MbIconError); return nullptr;
        case VideoResult::DecodingFailed: translate.MessageBoxText(10206, MbIconError); return nullptr;
        case VideoResult::Cancelled: cancelled = true; break;
        case VideoResult::Ok: break;
        }
    } else {
        const QStringList sequence = NumberedSequence(path);
        if (sequence.size() >= 2 &&
            translate.MessageBoxFormat(10656, MbYesNo | MbIconQuestion, {int(sequence.size())}) == IdYes) {
            entries = sequence;
            fromEntries = true;
        } else {
            // A single picture, or every frame of an animated GIF.
            CPicture picture;
            const int result = picture.LoadFromFile(path, true, -1);
            if (result != 0) {
                translate.MessageBoxFormat(10360 + unsigned(result), MbIconError, {path});
                return nullptr;
            }
            checkSize(picture);
            int failed = 0;
            if (AddFrame(imported, picture, picture.frameDelay, W, H) && picture.frameCount > 1) {
                host_.ProgressOpen(picture.frameCount);
                for (int i = 1; i < picture.frameCount; ++i) {
                    if (i >= CFrameBackground::MaxFrames) {  // the decoder gives no frame beyond
                        truncated = true;
                        break;
                    }
                    host_.ProgressSet(i);
                    if (host_.ProgressCancelled()) {
                        cancelled = true;
                        break;
                    }
                    CPicture next;
                    failed = next.LoadFromFile(path, true, i);
                    if (failed) break;
                    if (!AddFrame(imported, next, next.frameDelay, W, H)) {
                        truncated = true;
                        break;
                    }
                }
                host_.ProgressClose();
            }
            if (failed) translate.MessageBoxFormat(10360 + unsigned(failed), MbIconError, {path});
        }
    }

    if (fromEntries) {
        const QString folder = QFileInfo(path).absolutePath();
        const int defaultDelay = VideoModes::FramePeriod(ModeIndex) / 1000;
        host_.ProgressOpen(int(entries.size()));
        int loaded = 0;
        for (const QString& line : entries) {
            const ImageListEntry entry = ParseImageListLine(line, folder, defaultDelay);
            if (entry.skip) continue;
            CPicture picture;
            const int result = picture.LoadFromFile(entry.path, true, -1);
            if (result != 0) {
                translate.MessageBoxFormat(10360 + unsigned(result), MbIconError, {entry.path});
                break;
            }
            checkSize(picture);
            if (!AddFrame(imported, picture, entry.delay, W, H)) {
                truncated = true;
                break;
            }
            host_.ProgressSet(++loaded);
            if (host_.ProgressCancelled()) {
                cancelled = true;
                break;
            }
        }
        host_.ProgressClose();
    }

    if (imported.Frames.empty() || cancelled) return nullptr;
    auto object = std::make_unique<CFrame>();
    object->Kind = KindPicture;
    object->ImageFileName = QFileInfo(path).absoluteFilePath();
    object->BackColor = 0xFF000000;
    object->PictureWidth = imported.PictureWidth;
    object->PictureHeight = imported.PictureHeight;
    object->Frames = std::move(imported.Frames);
    CRect rect{32, 32, 32 + std::min(object->PictureWidth, W), 32 + std::min(object->PictureHeight, H)};
    const int dx = std::max(0, rect.right - W), dy = std::max(0, rect.bottom - H);
    object->Rect = {rect.left - dx, rect.top - dy, rect.right - dx, rect.bottom - dy};
    CFrame* added = object.get();
    if (!AddObject(std::move(object))) return nullptr;
    if (added->Frames.size() > 1) {
        int total = 0;
        for (const CFrameBackground& frame : added->Frames) total = AddDelays(total, frame.Delay);
        added->ShowFor = total;
    }
    if (tooLarge) translate.MessageBoxText(10207, MbIconWarning);
    if (truncated) translate.MessageBoxText(10208, MbIconWarning);
    return added;
}

