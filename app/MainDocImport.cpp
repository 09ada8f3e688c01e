// The document's "Add picture/animation": the interactive import.
#include "app/MainDoc.h"
#include "core/VideoModes.h"
#include "playback/Import.h"

#include <QFileInfo>

CFrame* CMainDoc::AddPictureObject() {
    if (PageFull()) return nullptr;
    CTranslate& translate = CTranslate::Global();
    const QString patterns = ImportPatterns();
    const QString filter = FormatString(QStringLiteral("%s (%s)|%s||"), {translate.LoadText(10210), patterns, patterns});
    const QString path = host_.ChooseImportFile(filter);
    if (path.isEmpty()) return nullptr;
    return ImportPictureObject(path);
}

CFrame* CMainDoc::ImportPictureObject(const QString& path) {
    CTranslate& translate = CTranslate::Global();
    const int W = PageWidth(), H = PageHeight();
    ImportedFrames imported;
    ImportOutcome outcome;
    const ImportProgress progress{[&](int range) { host_.ProgressOpen(range); },
                                  [&](int position) {
                                      host_.ProgressSet(position);
                                      return !host_.ProgressCancelled();
                                  },
                                  [&] { host_.ProgressClose(); }};
    const ImportKind kind = KindOfImport(path);
    bool asPicture = kind == ImportKind::Picture;
    bool list = kind == ImportKind::ImageList;
    VideoReport video;

    if (kind == ImportKind::ImageList) {
        QStringList lines;
        if (!ReadImageList(path, lines)) {
            translate.MessageBoxFormat(10361, MbIconError, {path});
            return nullptr;
        }
        ImportEntries(imported, lines, QFileInfo(path).absolutePath(), VideoModes::FramePeriod(ModeIndex) / 1000, W, H,
                      outcome, &progress);
    } else if (kind == ImportKind::Video) {
        host_.ProgressOpen(CFrameBackground::MaxFrames);
        const VideoResult result = ImportVideo(imported, path, W, H, progress.step, outcome.truncated, &video);
        host_.ProgressClose();
        switch (result) {
        case VideoResult::OpenFailed:
            // Not a container FFmpeg knows: perhaps a picture under another name,
            // whose own reader then says what is wrong with it.
            asPicture = true;
            break;
        case VideoResult::TooSmall: translate.MessageBoxText(10204, MbIconError); return nullptr;
        case VideoResult::TooLarge: translate.MessageBoxText(10205, MbIconError); return nullptr;
        case VideoResult::DecodingFailed: translate.MessageBoxText(10206, MbIconError); return nullptr;
        case VideoResult::Cancelled: outcome.cancelled = true; break;
        case VideoResult::Ok: break;
        }
    }
    if (asPicture) {
        const QStringList sequence = NumberedSequence(path);
        if (sequence.size() >= 2 &&
            translate.MessageBoxFormat(10656, MbYesNo | MbIconQuestion, {int(sequence.size())}) == IdYes) {
            list = true;
            ImportEntries(imported, sequence, QFileInfo(path).absolutePath(), VideoModes::FramePeriod(ModeIndex) / 1000,
                          W, H, outcome, &progress);
        } else {
            // A single picture, or every frame of an animated GIF.
            ImportPictureFrames(imported, path, W, H, outcome, &progress);
        }
    }
    if (outcome.failure) {
        // The path with the reader's reason: a missing file, a picture too large,
        // an unsupported variant are told apart. A list or sequence with a picture
        // missing is not the animation asked for and adds nothing; an animation
        // damaged after its first frames keeps them.
        const QString shown = outcome.reason.isEmpty() ? outcome.failedPath
                                                       : outcome.failedPath + QStringLiteral("\n(") + outcome.reason + u')';
        translate.MessageBoxFormat(outcome.failure == 1 ? 10361 : 10362, MbIconError, {shown});
        if (list) return nullptr;
    }

    if (imported.Frames.empty() || outcome.cancelled) return nullptr;
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
    if (video.scaled) translate.MessageBoxFormat(10216, MbIconWarning, {video.outWidth, video.outHeight});
    if (video.Partial()) translate.MessageBoxFormat(10215, MbIconWarning, {path, video.decoded});
    if (outcome.tooLarge) translate.MessageBoxText(10207, MbIconWarning);
    if (outcome.truncated) translate.MessageBoxText(10208, MbIconWarning);
    return added;
}

