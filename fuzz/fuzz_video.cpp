// The video importer against arbitrary files: whatever FFmpeg makes of the bytes,
// an import either gives frames within the limits with sound delays, or no frames
// and a reason; never a crash, a hang or an allocation past the limits.
#include "fuzz/FuzzScratch.h"
#include "playback/Import.h"

#include <QFile>

#include <cstdint>
#include <cstdlib>

extern "C" {
#include <libavutil/log.h>
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    av_log_set_level(AV_LOG_QUIET);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Small limits keep an iteration short; larger videos are scaled down to them.
    constexpr int MaxWidth = 96, MaxHeight = 64;
    static const FuzzScratch scratch("fuzz_video");
    static const QString path = scratch.Path("input.avi");
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
            std::abort();
    }
    ImportedFrames frames;
    bool truncated = false;
    VideoReport report;
    const VideoResult result = ImportVideo(frames, path, MaxWidth, MaxHeight, {}, truncated, &report);
    const auto check = [](bool condition) {
        if (!condition) std::abort();
    };
    if (result == VideoResult::Ok) {
        check(!frames.Frames.empty());
        check(frames.PictureWidth >= 1 && frames.PictureWidth <= MaxWidth);
        check(frames.PictureHeight >= 1 && frames.PictureHeight <= MaxHeight);
        check(report.decoded > 0);
        for (const CFrameBackground& frame : frames.Frames) {
            check(frame.Delay >= 0);
            check(frame.Picture.width == frames.PictureWidth && frame.Picture.height == frames.PictureHeight);
        }
    } else {
        check(frames.Frames.empty() || result == VideoResult::Cancelled);
    }
    return 0;
}
