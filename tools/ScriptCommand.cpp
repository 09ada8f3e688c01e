#include "tools/ScriptCommand.h"

#include "base/SafeFile.h"
#include "base/Settings.h"
#include "script/FrameScript.h"
#include "script/ScriptSchedule.h"
#include "tools/PageJson.h"

#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

namespace {

int Show(const QString& path) {
    CFrameScript script;
    if (!script.LoadFile(QFileInfo(path).absoluteFilePath())) {
        std::fprintf(stderr, "cvtool: %s: %s\n", qUtf8Printable(path), qUtf8Printable(script.LastError()));
        return 1;
    }
    const QStringList times = script.TimeColumn();
    QJsonArray items;
    for (int k = 0; k < script.Count(); ++k) {
        const CFrameScriptItem& item = *script.Item(k);
        items.append(QJsonObject{{QStringLiteral("type"), int(item.type)},
                                 {QStringLiteral("sdata"), item.sdata},
                                 {QStringLiteral("idata"), int(item.idata)},
                                 {QStringLiteral("text"), item.ListText()},
                                 {QStringLiteral("time"), k < times.size() ? times[k] : QString()}});
    }
    const QJsonObject shown{{QStringLiteral("name"), script.DisplayName()},
                            {QStringLiteral("loop"), script.Loop()},
                            {QStringLiteral("items"), items}};
    std::printf("%s", QJsonDocument(shown).toJson(QJsonDocument::Indented).constData());
    return 0;
}

int Fail(const QString& what) {
    std::fprintf(stderr, "cvtool: %s\n", qUtf8Printable(what));
    return 1;
}

int Write(const QString& specPath, const QString& out) {
    QByteArray bytes;
    if (const FileRefusal refusal = SafeFile::ReadAll(specPath, CFrameScript::MaxFileBytes, bytes);
        refusal != FileRefusal::None)
        return Fail(QStringLiteral("cannot read %1: %2").arg(specPath, QString::fromUtf8(FileRefusalText(refusal))));
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (document.isNull())
        return Fail(QStringLiteral("%1: invalid JSON (%2 at byte %3)").arg(specPath, error.errorString()).arg(error.offset));
    if (!document.isObject())
        return Fail(QStringLiteral("%1: the description must be a JSON object {\"loop\": ..., \"items\": [...]}").arg(specPath));
    const QJsonObject spec = document.object();
    const QJsonValue items = spec.value(QStringLiteral("items"));
    if (!items.isArray()) return Fail(QStringLiteral("%1: \"items\": an array is expected").arg(specPath));
    const QString outPath = QFileInfo(out).absoluteFilePath();
    const QString folder = QFileInfo(specPath).absolutePath();
    CFrameScript script;
    script.SetLoop(spec.value(QStringLiteral("loop")).toBool());
    const QJsonArray list = items.toArray();
    for (qsizetype k = 0; k < list.size(); ++k) {
        const QString where = QStringLiteral("%1: items[%2]").arg(specPath).arg(k);
        if (!list[k].isObject()) return Fail(where + QStringLiteral(": an object is expected"));
        const QJsonObject o = list[k].toObject();
        const QJsonValue type = o.value(QStringLiteral("type"));
        if (!type.isDouble() || type.toDouble() != double(type.toInt()) || type.toInt() < 0 ||
            type.toInt() >= ScriptActionTypeCount)
            return Fail(where + QStringLiteral(".type: an action kind 0 to %1 is expected").arg(ScriptActionTypeCount - 1));
        auto item = CFrameScriptItem::Added(ScriptActionType(type.toInt()));
        if (o.contains(QStringLiteral("sdata"))) {
            if (!o.value(QStringLiteral("sdata")).isString()) return Fail(where + QStringLiteral(".sdata: a text is expected"));
            item->sdata = o.value(QStringLiteral("sdata")).toString();
            // A page named relative to the description, as "build" resolves pictures.
            if (item->HasPagePath()) item->sdata = PageJson::ResolvePath(item->sdata, folder);
        }
        if (o.contains(QStringLiteral("idata"))) {
            const QJsonValue v = o.value(QStringLiteral("idata"));
            if (!v.isDouble() || v.toDouble() != double(v.toInt()) || v.toInt() < 0)
                return Fail(where + QStringLiteral(".idata: a whole number of seconds is expected"));
            item->idata = v.toInt();
        }
        script.Append(std::move(item));
    }
    if (!script.SaveFile(outPath)) return Fail(QStringLiteral("%1: %2").arg(out, script.LastError()));
    return 0;
}

QString ClockText(const Schedule::ClockSecond& when) {
    return QDateTime(when.date, QTime(0, 0).addSecs(when.secondsOfDay)).toString(Qt::ISODate);
}

}  // namespace

int ScheduleCommand(const QStringList& arguments) {
    QStringList args = arguments;
    QDateTime now = QDateTime::currentDateTime();
    if (const qsizetype at = args.indexOf(QStringLiteral("--now")); at >= 0) {
        if (at + 1 >= args.size()) return Fail(QStringLiteral("--now needs a local time YYYY-MM-DDTHH:MM:SS"));
        now = QDateTime::fromString(args[at + 1], Qt::ISODate);
        if (!now.isValid()) return Fail(QStringLiteral("--now %1: not a local time YYYY-MM-DDTHH:MM:SS").arg(args[at + 1]));
        args.remove(at, 2);
    }
    if (!args.isEmpty()) {
        std::fprintf(stderr, "usage: cvtool schedule [--now YYYY-MM-DDTHH:MM:SS]\n");
        return 2;
    }
    CSettingsStore& store = CSettingsStore::Global();
    const Schedule::ClockSecond clock{now.date(), now.time().msecsSinceStartOfDay() / 1000};
    QStringList problems;
    const CFrameScriptScheduleArray entries = Schedule::Load(store, clock.date, clock.secondsOfDay, &problems);
    for (const QString& problem : problems)
        std::fprintf(stderr, "cvtool: warning: %s: %s\n", qUtf8Printable(store.Path()), qUtf8Printable(problem));
    const bool useRemote = store.Get(Settings::UseRemote) != 0;
    QJsonArray shown;
    for (size_t i = 0; i < entries.size(); ++i) {
        const CFrameScriptSchedule& entry = entries[i];
        const std::optional<Schedule::ClockSecond> next = i == 0 ? std::nullopt : Schedule::NextDue(entry, clock);
        shown.append(QJsonObject{{QStringLiteral("index"), int(i)},
                                 {QStringLiteral("trigger"), Schedule::Trigger(entry, int(i), useRemote).text},
                                 {QStringLiteral("script"), ScriptFile::NameWithoutFolderAndExtension(entry.File)},
                                 {QStringLiteral("file"), entry.File},
                                 {QStringLiteral("global"), entry.Hotkey != 0 && entry.Global != 0},
                                 {QStringLiteral("next"), next ? QJsonValue(ClockText(*next)) : QJsonValue()}});
    }
    std::printf("%s", QJsonDocument(shown).toJson(QJsonDocument::Indented).constData());
    return 0;
}

int ScriptCommand(const QStringList& args) {
    if (args.size() == 2 && args[0] == QLatin1String("show")) return Show(args[1]);
    if (args.size() == 3 && args[0] == QLatin1String("write")) return Write(args[1], args[2]);
    std::fprintf(stderr, "usage: cvtool script show FILE | cvtool script write SPEC.json OUT\n");
    return 2;
}
