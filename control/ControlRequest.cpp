#include "control/ControlRequest.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <cmath>
#include <limits>
#include <optional>

namespace Control {
namespace {

Parsed Refuse(int status, const QString& error) {
    Parsed parsed;
    parsed.status = status;
    parsed.error = error;
    return parsed;
}

Parsed Accept(const Command& command) {
    Parsed parsed;
    parsed.ok = true;
    parsed.status = 200;
    parsed.command = command;
    return parsed;
}

std::optional<Action> ActionOf(const QString& word) {
    if (word == QLatin1String("play")) return Action::Play;
    if (word == QLatin1String("pause")) return Action::Pause;
    if (word == QLatin1String("end")) return Action::End;
    if (word == QLatin1String("stop")) return Action::Stop;
    if (word == QLatin1String("toggle")) return Action::Toggle;
    return std::nullopt;
}

// An object id: decimal digits only, 1 to the largest int.
std::optional<int> IdOf(const QString& text) {
    if (text.isEmpty() || text.size() > 10) return std::nullopt;
    for (QChar c : text)
        if (c < u'0' || c > u'9') return std::nullopt;
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok);
    if (!ok || value < 1 || value > std::numeric_limits<int>::max()) return std::nullopt;
    return int(value);
}

// The body as a JSON object; an empty body is an empty object.
std::optional<QJsonObject> BodyObject(const QByteArray& body, QString& error) {
    if (body.trimmed().isEmpty()) return QJsonObject();
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        error = QStringLiteral("the body is not a JSON object");
        return std::nullopt;
    }
    return document.object();
}

std::optional<QString> StringField(const QJsonObject& object, const char* name, QString& error) {
    const QJsonValue value = object.value(QLatin1String(name));
    if (!value.isString() || value.toString().isEmpty()) {
        error = QStringLiteral("\"%1\" must be a non-empty string").arg(QLatin1String(name));
        return std::nullopt;
    }
    return value.toString();
}

// A whole number within int, from JSON, OSC or text.
std::optional<int> WholeNumber(const QVariant& value) {
    bool ok = false;
    double number = 0;
    if (value.typeId() == QMetaType::QString) number = value.toString().trimmed().toDouble(&ok);
    else if (value.canConvert<double>()) number = value.toDouble(&ok);
    if (!ok || !std::isfinite(number) || number != std::floor(number) || number < std::numeric_limits<int>::min() ||
        number > std::numeric_limits<int>::max())
        return std::nullopt;
    return int(number);
}

Parsed ObjectsCommand(const QStringList& parts, qsizetype at, bool osc) {
    // {id}/{action}, group/{name}/{action}, all/{action}
    Command command;
    command.verb = Verb::Objects;
    const qsizetype left = parts.size() - at;
    if (left == 2 && parts[at] == QLatin1String("all")) {
        command.target = Target::All;
    } else if (left == 3 && parts[at] == QLatin1String("group") && !parts[at + 1].isEmpty()) {
        command.target = Target::Group;
        command.group = parts[at + 1];
    } else if (left == 2) {
        const std::optional<int> id = IdOf(parts[at]);
        if (!id) return Refuse(osc ? 400 : 404, QStringLiteral("\"%1\" is no object id").arg(parts[at]));
        command.target = Target::Id;
        command.id = *id;
    } else {
        return Refuse(404, QStringLiteral("no such objects path"));
    }
    const std::optional<Action> action = ActionOf(parts.last());
    if (!action) return Refuse(404, QStringLiteral("\"%1\" is no action (play, pause, end, stop, toggle)").arg(parts.last()));
    command.action = *action;
    return Accept(command);
}

}  // namespace

Parsed ParseHttp(const QByteArray& method, const QString& path, const QByteArray& body) {
    if (body.size() > MaxBodyBytes) return Refuse(413, QStringLiteral("the body is larger than %1 bytes").arg(MaxBodyBytes));
    QStringList parts = path.split(u'/');
    // "/api/x/" and "/api/x" alike; an empty step in between is no route.
    if (!parts.isEmpty() && parts.first().isEmpty()) parts.removeFirst();
    if (!parts.isEmpty() && parts.last().isEmpty()) parts.removeLast();
    if (parts.size() < 2 || parts[0] != QLatin1String("api")) return Refuse(404, QStringLiteral("no such route"));
    for (const QString& part : parts)
        if (part.isEmpty()) return Refuse(404, QStringLiteral("no such route"));
    const bool get = method == "GET", post = method == "POST", put = method == "PUT";
    const QString& area = parts[1];
    QString error;
    Command command;

    if (area == QLatin1String("state") && parts.size() == 2) {
        if (!get) return Refuse(405, QStringLiteral("use GET"));
        command.verb = Verb::State;
        return Accept(command);
    }
    if (area == QLatin1String("page") && parts.size() == 3 &&
        (parts[2] == QLatin1String("load") || parts[2] == QLatin1String("add"))) {
        if (!post) return Refuse(405, QStringLiteral("use POST"));
        const std::optional<QJsonObject> object = BodyObject(body, error);
        if (!object) return Refuse(400, error);
        const std::optional<QString> file = StringField(*object, "file", error);
        if (!file) return Refuse(400, error);
        command.verb = parts[2] == QLatin1String("load") ? Verb::PageLoad : Verb::PageAdd;
        command.file = *file;
        return Accept(command);
    }
    if (area == QLatin1String("objects")) {
        if (parts.size() == 4 && parts[3] == QLatin1String("text")) {
            if (!put) return Refuse(405, QStringLiteral("use PUT"));
            const std::optional<int> id = IdOf(parts[2]);
            if (!id) return Refuse(404, QStringLiteral("\"%1\" is no object id").arg(parts[2]));
            const std::optional<QJsonObject> object = BodyObject(body, error);
            if (!object) return Refuse(400, error);
            const QJsonValue text = object->value(QLatin1String("text"));
            if (!text.isString()) return Refuse(400, QStringLiteral("\"text\" must be a string"));
            command.verb = Verb::ObjectText;
            command.id = *id;
            command.text = text.toString();
            return Accept(command);
        }
        if (!post) return Refuse(405, QStringLiteral("use POST"));
        return ObjectsCommand(parts, 2, false);
    }
    if (area == QLatin1String("script") && parts.size() == 3) {
        if (!post) return Refuse(405, QStringLiteral("use POST"));
        if (parts[2] == QLatin1String("stop")) {
            command.verb = Verb::ScriptStop;
            return Accept(command);
        }
        if (parts[2] == QLatin1String("start")) {
            const std::optional<QJsonObject> object = BodyObject(body, error);
            if (!object) return Refuse(400, error);
            const std::optional<QString> file = StringField(*object, "file", error);
            if (!file) return Refuse(400, error);
            command.verb = Verb::ScriptStart;
            command.file = *file;
            return Accept(command);
        }
        return Refuse(404, QStringLiteral("no such route"));
    }
    if (area == QLatin1String("plugin") && parts.size() == 4 && parts[2] == QLatin1String("variables")) {
        if (!put) return Refuse(405, QStringLiteral("use PUT"));
        const std::optional<QJsonObject> object = BodyObject(body, error);
        if (!object) return Refuse(400, error);
        const std::optional<int> value = WholeNumber(object->value(QLatin1String("value")).toVariant());
        if (!value) return Refuse(400, QStringLiteral("\"value\" must be a whole number"));
        command.verb = Verb::PluginVariable;
        command.name = parts[3];
        command.value = *value;
        return Accept(command);
    }
    if (area == QLatin1String("output") && parts.size() == 3 &&
        (parts[2] == QLatin1String("on") || parts[2] == QLatin1String("off"))) {
        if (!post) return Refuse(405, QStringLiteral("use POST"));
        command.verb = Verb::Output;
        command.on = parts[2] == QLatin1String("on");
        return Accept(command);
    }
    return Refuse(404, QStringLiteral("no such route"));
}

Parsed ParseOsc(const QString& address, const QVariantList& arguments) {
    QStringList parts = address.split(u'/');
    if (parts.size() < 3 || !parts[0].isEmpty() || parts[1] != QLatin1String("corvane"))
        return Refuse(404, QStringLiteral("addresses begin with /corvane/"));
    parts.removeFirst();  // the empty piece before the first "/"
    Command command;
    const QString& area = parts[1];
    auto text = [&](QString& out) {
        if (arguments.size() != 1 || arguments[0].typeId() != QMetaType::QString || arguments[0].toString().isEmpty())
            return false;
        out = arguments[0].toString();
        return true;
    };
    if ((area == QLatin1String("objects") && parts.size() == 4) ||
        (area == QLatin1String("group") && parts.size() == 4) || (area == QLatin1String("all") && parts.size() == 3)) {
        // "/corvane/objects/3/play" is the HTTP path's "3/play"; the others match it.
        const qsizetype at = area == QLatin1String("objects") ? 2 : 1;
        return ObjectsCommand(parts, at, true);
    }
    if (area == QLatin1String("plugin") && parts.size() == 4 && parts[2] == QLatin1String("var") && !parts[3].isEmpty()) {
        if (arguments.size() != 1) return Refuse(400, QStringLiteral("one value is expected"));
        const std::optional<int> value = WholeNumber(arguments[0]);
        if (!value) return Refuse(400, QStringLiteral("the value must be a whole number"));
        command.verb = Verb::PluginVariable;
        command.name = parts[3];
        command.value = *value;
        return Accept(command);
    }
    if (area == QLatin1String("output") && parts.size() == 3 &&
        (parts[2] == QLatin1String("on") || parts[2] == QLatin1String("off"))) {
        command.verb = Verb::Output;
        command.on = parts[2] == QLatin1String("on");
        return Accept(command);
    }
    if (area == QLatin1String("script") && parts.size() == 3 && parts[2] == QLatin1String("stop")) {
        command.verb = Verb::ScriptStop;
        return Accept(command);
    }
    if (area == QLatin1String("script") && parts.size() == 3 && parts[2] == QLatin1String("start")) {
        if (!text(command.file)) return Refuse(400, QStringLiteral("the script file is expected as a string"));
        command.verb = Verb::ScriptStart;
        return Accept(command);
    }
    if (area == QLatin1String("page") && parts.size() == 3 &&
        (parts[2] == QLatin1String("load") || parts[2] == QLatin1String("add"))) {
        if (!text(command.file)) return Refuse(400, QStringLiteral("the page file is expected as a string"));
        command.verb = parts[2] == QLatin1String("load") ? Verb::PageLoad : Verb::PageAdd;
        return Accept(command);
    }
    return Refuse(404, QStringLiteral("no such address"));
}

bool Authorized(const QByteArray& token, const QByteArray& authorization) {
    if (token.isEmpty()) return true;
    const QByteArray expected = "Bearer " + token;
    // Every byte is looked at whatever differs, so the time taken tells nothing of
    // how much of a guess was right.
    unsigned difference = unsigned(expected.size() ^ authorization.size());
    for (qsizetype k = 0; k < expected.size(); ++k) {
        const char given = k < authorization.size() ? authorization[k] : char(0);
        difference |= unsigned(uint8_t(expected[k]) ^ uint8_t(given));
    }
    return difference == 0;
}

QString PathBelow(const QString& root, const QString& relative) {
    if (root.isEmpty() || relative.isEmpty() || relative.contains(QChar(0))) return QString();
    if (QDir::isAbsolutePath(relative) || relative.startsWith(u'~')) return QString();
    for (const QString& step : relative.split(u'/'))
        if (step == QLatin1String("..")) return QString();
    const QString base = QFileInfo(root).canonicalFilePath();
    if (base.isEmpty()) return QString();
    const QString joined = QDir::cleanPath(base + u'/' + relative);
    if (!joined.startsWith(base + u'/')) return QString();
    // A link below the folder may lead out of it: what it names must be below too.
    const QFileInfo info(joined);
    if (!info.exists()) return joined;  // the caller says it is missing
    const QString real = info.canonicalFilePath();
    return real.startsWith(base + u'/') ? real : QString();
}

QByteArray ErrorBody(const QString& message) {
    return QJsonDocument(QJsonObject{{QStringLiteral("error"), message}}).toJson(QJsonDocument::Compact);
}

QString ActionName(Action action) {
    switch (action) {
    case Action::Play: return QStringLiteral("play");
    case Action::Pause: return QStringLiteral("pause");
    case Action::End: return QStringLiteral("end");
    case Action::Stop: return QStringLiteral("stop");
    case Action::Toggle: return QStringLiteral("toggle");
    }
    return QString();
}

}  // namespace Control
