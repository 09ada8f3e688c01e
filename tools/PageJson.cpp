#include "tools/PageJson.h"
#include "base/SafeFile.h"

#include "core/VideoModes.h"
#include "playback/Import.h"

#include <QDir>
#include <cstring>
#include <QFile>
#include <QJsonArray>

namespace {

QString Latin1(const QByteArray& bytes) { return QString::fromLatin1(bytes); }

struct Failure {
    QString message;
};

[[noreturn]] void Fail(const QString& message) { throw Failure{message}; }

long long Integer(const QJsonValue& value, const QString& what, long long min, long long max) {
    if (!value.isDouble()) Fail(QStringLiteral("%1: a number is expected").arg(what));
    const double d = value.toDouble();
    if (d != double((long long)d)) Fail(QStringLiteral("%1: an integer is expected").arg(what));
    const long long v = (long long)d;
    if (v < min || v > max) Fail(QStringLiteral("%1: %2 is outside %3..%4").arg(what).arg(v).arg(min).arg(max));
    return v;
}

QString Text(const QJsonValue& value, const QString& what) {
    if (!value.isString()) Fail(QStringLiteral("%1: a string is expected").arg(what));
    return value.toString();
}

// "#AARRGGBB" to a colour word with red in the low byte and the opacity on top.
uint32_t Colour(const QJsonValue& value, const QString& what) {
    const QString text = Text(value, what);
    bool ok = false;
    const uint32_t argb = text.size() == 9 && text.startsWith(u'#') ? text.mid(1).toUInt(&ok, 16) : 0;
    if (!ok) Fail(QStringLiteral("%1: \"#AARRGGBB\" is expected").arg(what));
    return (argb & 0xFF000000u) | ((argb & 0xFF) << 16) | (argb & 0xFF00) | ((argb >> 16) & 0xFF);
}

// A picture of w x h from "fill" or "raw" (BGRA rows top first).
CPicture Pixels(const QJsonObject& entry, int w, int h, const QString& baseFolder, const QString& what) {
    CPicture picture;
    if (!picture.Resize(w, h)) Fail(QStringLiteral("%1: invalid size").arg(what));
    if (entry.contains(QLatin1String("fill")) == entry.contains(QLatin1String("raw")))
        Fail(QStringLiteral("%1: give exactly one of \"fill\" and \"raw\"").arg(what));
    if (entry.contains(QLatin1String("fill"))) {
        picture.Fill(Colour(entry.value(QLatin1String("fill")), what + QLatin1String(".fill")));
        return picture;
    }
    const QString path = PageJson::ResolvePath(Text(entry.value(QLatin1String("raw")), what + QLatin1String(".raw")), baseFolder);
    if (path.isEmpty()) Fail(what + QLatin1String(".raw: no file named"));
    QByteArray bytes;
    const qint64 needed = qint64(picture.ByteCount());
    if (const FileRefusal refusal = SafeFile::ReadAll(path, needed, bytes); refusal == FileRefusal::TooLarge) {
        Fail(QStringLiteral("%1: %2 holds more than the %3 bytes %4 x %5 BGRA needs").arg(what, path).arg(needed).arg(w).arg(h));
    } else if (refusal != FileRefusal::None) {
        Fail(QStringLiteral("%1: cannot read %2: %3").arg(what, path, QString::fromUtf8(FileRefusalText(refusal))));
    }
    if (bytes.size() != needed)
        Fail(QStringLiteral("%1: %2 holds %3 bytes, %4 x %5 BGRA needs %6")
                 .arg(what, path).arg(bytes.size()).arg(w).arg(h).arg(needed));
    std::memcpy(picture.data.get(), bytes.constData(), size_t(needed));
    return picture;
}

std::unique_ptr<CFrame> BuildObject(const QJsonObject& entry, int modeIndex, const QString& baseFolder,
                                    const QString& pageFolder, const QString& what) {
    static const QStringList known = [] {
        QStringList names{"BackColor", "Rect", "FileName", "ClockFormat", "TimerFormat", "Group", "ImageFileName",
                          "RichText", "Frames"};
        for (const auto& f : PageFile::RecordFields) names << QString::fromLatin1(f.name);
        return names;
    }();
    for (auto it = entry.begin(); it != entry.end(); ++it)
        if (!known.contains(it.key())) Fail(QStringLiteral("%1: unknown field \"%2\"").arg(what, it.key()));

    auto frame = std::make_unique<CFrame>();
    frame->FramePeriod = VideoModes::FramePeriod(modeIndex);
    for (const auto& f : PageFile::RecordFields) {
        const QString name = QString::fromLatin1(f.name);
        if (entry.contains(name)) (*frame).*f.field = int(Integer(entry.value(name), what + u'.' + name, f.min, f.max));
    }
    if (entry.contains(QLatin1String("BackColor"))) {
        const QJsonValue v = entry.value(QLatin1String("BackColor"));
        frame->BackColor = v.isString() ? Colour(v, what + QLatin1String(".BackColor"))
                                        : uint32_t(Integer(v, what + QLatin1String(".BackColor"), 0, 0xFFFFFFFFll));
    }
    const int width = VideoModes::RenderWidth(modeIndex), height = VideoModes::RenderHeight(modeIndex);
    if (entry.contains(QLatin1String("Rect"))) {
        const QJsonArray r = entry.value(QLatin1String("Rect")).toArray();
        if (r.size() != 4) Fail(what + QLatin1String(".Rect: [left, top, right, bottom] is expected"));
        CRect rect{int(Integer(r[0], what + QLatin1String(".Rect left"), 0, width - 1)),
                   int(Integer(r[1], what + QLatin1String(".Rect top"), 0, height - 1)),
                   int(Integer(r[2], what + QLatin1String(".Rect right"), 1, width)),
                   int(Integer(r[3], what + QLatin1String(".Rect bottom"), 1, height))};
        if (rect.right <= rect.left || rect.bottom <= rect.top)
            Fail(what + QLatin1String(".Rect: right and bottom must lie beyond left and top"));
        frame->Rect = rect;
    }
    const auto text = [&](const char* name, QString& field, bool path) {
        const QString key = QString::fromLatin1(name);
        if (!entry.contains(key)) return;
        field = Text(entry.value(key), what + u'.' + key);
        if (path) field = PageJson::ResolvePath(field, pageFolder);
    };
    text("FileName", frame->FileName, true);
    text("ClockFormat", frame->ClockFormat, false);
    text("TimerFormat", frame->TimerFormat, false);
    text("Group", frame->Group, false);
    text("ImageFileName", frame->ImageFileName, true);
    if (entry.contains(QLatin1String("RichText"))) {
        const QString rtf = Text(entry.value(QLatin1String("RichText")), what + QLatin1String(".RichText"));
        for (QChar c : rtf)
            if (c.unicode() > 0xFF) Fail(what + QLatin1String(".RichText: 8-bit RTF holds only characters up to U+00FF"));
        frame->RichText = rtf.toLatin1();
    }
    const QJsonValue framesValue = entry.value(QLatin1String("Frames"));
    if (!framesValue.isUndefined() && !framesValue.isArray())
        Fail(what + QLatin1String(".Frames: an array of frames is expected"));
    const QJsonArray frames = framesValue.toArray();
    if (frames.size() > PageFile::MaxFrames)
        Fail(QStringLiteral("%1.Frames: at most %2 frames").arg(what).arg(PageFile::MaxFrames));
    ImportedFrames built;
    const int maxWidth = std::min(PageFile::MaxFrameSide, VideoModes::RenderWidth(modeIndex));
    const int maxHeight = std::min(PageFile::MaxFrameSide, VideoModes::RenderHeight(modeIndex));
    for (qsizetype k = 0; k < frames.size(); ++k) {
        const QString where = QStringLiteral("%1.Frames[%2]").arg(what).arg(k);
        if (!frames[k].isObject()) Fail(where + QLatin1String(": an object is expected"));
        const QJsonObject f = frames[k].toObject();
        if (f.contains(QLatin1String("file"))) {
            // A picture, animation, image list or video, imported as the editor does
            // (without the questions: a numbered sequence is one picture).
            const QString path = PageJson::ResolvePath(Text(f.value(QLatin1String("file")), where + QLatin1String(".file")), baseFolder);
            if (path.isEmpty()) Fail(where + QLatin1String(".file: no file named"));
            QString error;
            const size_t before = built.Frames.size();
            const int taken = ImportFile(built, path, maxWidth, maxHeight, VideoModes::FramePeriod(modeIndex) / 1000, {},
                                         &error);
            if (!error.isEmpty()) Fail(QStringLiteral("%1: %2").arg(where, error));
            if (!taken) Fail(QStringLiteral("%1: %2 gave no frames").arg(where, path));
            // A "delay" holds each of the file's frames that long (an image sequence
            // drawn for another rate).
            if (f.contains(QLatin1String("delay"))) {
                const int delay =
                    int(Integer(f.value(QLatin1String("delay")), where + QLatin1String(".delay"), 0, INT32_MAX));
                for (size_t n = before; n < built.Frames.size(); ++n)
                    built.Frames[n].Delay = delay;
            }
            continue;
        }
        // No larger than the output: the page reader refuses larger frames.
        const int w = int(Integer(f.value(QLatin1String("width")), where + QLatin1String(".width"), 1, maxWidth));
        const int h = int(Integer(f.value(QLatin1String("height")), where + QLatin1String(".height"), 1, maxHeight));
        if (!built.Frames.empty() && (w != built.PictureWidth || h != built.PictureHeight))
            Fail(where + QLatin1String(": every frame has the first frame's size"));
        CFrameBackground background;
        if (f.contains(QLatin1String("delay")))
            background.Delay = int(Integer(f.value(QLatin1String("delay")), where + QLatin1String(".delay"), 0, INT32_MAX));
        background.Picture.Compress(Pixels(f, w, h, baseFolder, where));
        if (built.Frames.size() >= size_t(PageFile::MaxFrames))
            Fail(QStringLiteral("%1.Frames: at most %2 frames").arg(what).arg(PageFile::MaxFrames));
        built.PictureWidth = w;
        built.PictureHeight = h;
        built.Frames.push_back(std::move(background));
    }
    frame->PictureWidth = built.PictureWidth;
    frame->PictureHeight = built.PictureHeight;
    frame->Frames = std::move(built.Frames);
    return frame;
}

}  // namespace

namespace PageJson {

QString ResolvePath(const QString& path, const QString& folder) {
    if (path.isEmpty() || QDir::isAbsolutePath(path)) return path;
    return QDir::cleanPath(QDir(folder).absoluteFilePath(path));
}

QJsonObject Describe(const PageHeader& header, const std::vector<std::unique_ptr<CFrame>>& objects) {
    QJsonObject h;
    h.insert(QLatin1String("magic"), QString::fromLatin1(header.magic, 4));
    h.insert(QLatin1String("version"), qint64(header.version));
    h.insert(QLatin1String("legacyHd"), header.legacyHd);
    h.insert(QLatin1String("objectCount"), header.objectCount);
    h.insert(QLatin1String("dpi"), header.dpi);
    h.insert(QLatin1String("width"), header.width);
    h.insert(QLatin1String("height"), header.height);
    h.insert(QLatin1String("previewWidth"), header.previewWidth);
    h.insert(QLatin1String("previewHeight"), header.previewHeight);
    h.insert(QLatin1String("previewOffset"), header.previewOffset);

    QJsonArray list;
    for (const auto& frame : objects) {
        QJsonObject o;
        for (const auto& f : PageFile::RecordFields) o.insert(QString::fromLatin1(f.name), frame.get()->*f.field);
        o.insert(QLatin1String("BackColor"), qint64(frame->BackColor));
        o.insert(QLatin1String("Rect"), QJsonArray{frame->Rect.left, frame->Rect.top, frame->Rect.right, frame->Rect.bottom});
        o.insert(QLatin1String("FileName"), frame->FileName);
        o.insert(QLatin1String("ClockFormat"), frame->ClockFormat);
        o.insert(QLatin1String("TimerFormat"), frame->TimerFormat);
        o.insert(QLatin1String("Group"), frame->Group);
        o.insert(QLatin1String("ImageFileName"), frame->ImageFileName);
        o.insert(QLatin1String("RichText"), Latin1(frame->RichText));
        QJsonArray frames;
        for (const CFrameBackground& b : frame->Frames)
            frames.append(QJsonObject{{QLatin1String("width"), b.Picture.width},
                                      {QLatin1String("height"), b.Picture.height},
                                      {QLatin1String("delay"), b.Delay},
                                      {QLatin1String("dataSize"), b.Picture.compressedSize}});
        o.insert(QLatin1String("Frames"), frames);
        list.append(o);
    }
    return QJsonObject{{QLatin1String("header"), h}, {QLatin1String("objects"), list}};
}

bool Build(const QJsonObject& description, int modeIndex, const QString& baseFolder, const QString& pageFolder,
           BuiltPage& page, QString& error) {
    try {
        if (VideoModes::RenderWidth(modeIndex) == 0) Fail(QStringLiteral("mode %1 is not a video mode").arg(modeIndex));
        BuiltPage built;
        const QJsonValue objects = description.value(QLatin1String("objects"));
        if (!objects.isArray()) Fail(QStringLiteral("\"objects\": an array is expected"));
        const QJsonArray list = objects.toArray();
        if (list.size() > PageFile::MaxObjects)
            Fail(QStringLiteral("\"objects\": at most %1 objects").arg(PageFile::MaxObjects));
        for (qsizetype k = 0; k < list.size(); ++k) {
            const QString what = QStringLiteral("objects[%1]").arg(k);
            if (!list[k].isObject()) Fail(what + QLatin1String(": an object is expected"));
            built.objects.push_back(BuildObject(list[k].toObject(), modeIndex, baseFolder, pageFolder, what));
        }
        if (description.contains(QLatin1String("canvas"))) {
            built.canvas = Pixels(description.value(QLatin1String("canvas")).toObject(), VideoModes::RenderWidth(modeIndex),
                                  VideoModes::RenderHeight(modeIndex), baseFolder, QStringLiteral("canvas"));
        }
        page = std::move(built);
        return true;
    } catch (const Failure& failure) {
        error = failure.message;
        return false;
    }
}

}  // namespace PageJson
