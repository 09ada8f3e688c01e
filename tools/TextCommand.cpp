#include "tools/TextCommand.h"

#include "core/PageFile.h"
#include "core/VideoModes.h"
#include "playback/TextMovement.h"
#include "playback/TextSource.h"
#include "tools/PictureFile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

namespace {

// The source's value as plain text (or, for a CSV file, its rows).
QJsonValue SourceValue(CFrame& frame, CRichEditTextRenderer& renderer) {
    switch (frame.TextSource) {
    case SourceClock:
    case SourceTimer: return frame.LastValue;
    case SourceTextFile: {
        if (frame.BarGraph) return frame.BarValue.load();
        QString joined;
        TextSource::ReadTextFile(frame, joined);
        return joined;
    }
    case SourceCsvFile: {
        QJsonArray rows;
        for (const QStringList& row : frame.Table.Rows) rows.append(QJsonArray::fromStringList(row));
        return rows;
    }
    default: {
        CRichEditExCtrl& control = *renderer.multiLine;
        control.StreamIn(frame.TextSource == SourceRtfFile ? frame.SourceRichText : frame.RichText);
        return control.PlainText();
    }
    }
}

}  // namespace

int TextCommand(const QStringList& arguments, int mode) {
    QStringList args = arguments;
    int number = 0, atMs = -1;
    bool still = false;
    QString out;
    for (qsizetype k = 0; k < args.size();) {
        const QString& a = args[k];
        bool ok = true;
        if (a == QLatin1String("--still")) {
            still = true;
            args.remove(k);
        } else if ((a == QLatin1String("--object") || a == QLatin1String("--at-ms") || a == QLatin1String("--out")) &&
                   k + 1 < args.size()) {
            if (a == QLatin1String("--object")) number = args[k + 1].toInt(&ok);
            else if (a == QLatin1String("--at-ms")) atMs = args[k + 1].toInt(&ok);
            else out = args[k + 1];
            if (!ok || (a == QLatin1String("--at-ms") && atMs < 0)) {
                std::fprintf(stderr, "cvtool text: %s takes a number\n", qPrintable(a));
                return 2;
            }
            args.remove(k, 2);
        } else {
            ++k;
        }
    }
    if (args.size() != 1 || number < 1) {
        std::fprintf(stderr, "usage: cvtool text PAGE --object N [--still] [--at-ms T] [--out FILE.png] [--mode N]\n");
        return 2;
    }
    std::vector<std::unique_ptr<CFrame>> objects;
    if (!PageFile::ReadPage(args[0], mode, 96, objects)) return 1;
    if (number > int(objects.size())) {
        std::fprintf(stderr, "cvtool text: the page has %d objects\n", int(objects.size()));
        return 2;
    }
    CFrame& frame = *objects[size_t(number - 1)];
    frame.FramePeriod = VideoModes::FramePeriod(mode);
    SizeTextTexture(frame);
    frame.EdgeLeadDone = (frame.Movement != MovementFixed && frame.StartFromEdge) ? 0 : 1;
    // The timer reads as it would after T ms of playing.
    if (atMs >= 0) {
        frame.Playing = 1;
        frame.Clock = atMs;
    }
    CRichEditTextRenderer renderer;
    const int sourceOk = TextSource::InitSource(frame, renderer);
    frame.Playing = 0;
    QJsonObject result{{"object", number}, {"source", frame.TextSource}, {"sourceOk", sourceOk != 0}};
    if (!sourceOk) {
        std::fprintf(stderr, "cvtool text: the object's source cannot be read: %s\n", qPrintable(frame.FileName));
        std::fputs(QJsonDocument(result).toJson(QJsonDocument::Compact).constData(), stdout);
        std::fputc('\n', stdout);
        return 1;
    }
    result.insert("value", SourceValue(frame, renderer));
    CPicture picture;
    int next = 0;
    const RasteriseResult r = RasteriseFrame(frame, picture, next, renderer, still);
    result.insert("done", r.done != 0);
    result.insert("usedWidth", r.usedWidth);
    result.insert("usedHeight", r.usedHeight);
    result.insert("nextChar", next);
    result.insert("characters", r.characters);
    result.insert("width", picture.width);
    result.insert("height", picture.height);
    if (!out.isEmpty()) {
        if (!r.done) {
            std::fprintf(stderr, "cvtool text: no text to write\n");
            return 1;
        }
        if (!SavePng(picture, out)) {
            std::fprintf(stderr, "cvtool text: cannot write %s\n", qPrintable(out));
            return 1;
        }
    }
    std::fputs(QJsonDocument(result).toJson(QJsonDocument::Compact).constData(), stdout);
    std::fputc('\n', stdout);
    return 0;
}
