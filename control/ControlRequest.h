// The network control's requests without the network: an HTTP method, path and
// body, or an OSC address and its arguments, read into one command the document
// can carry out, or refused with a status and a reason. Also the checks every
// request passes: the bearer token (compared in constant time) and file names kept
// below the pages folder. Pure functions: the fuzz target feeds them anything.
//
// Threads: any.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>

namespace Control {

// What a request asks for.
enum class Verb {
    State,           // GET /api/state
    PageLoad,        // POST /api/page/load {"file": "..."}
    PageAdd,         // POST /api/page/add {"file": "..."}
    Objects,         // POST /api/objects/{id|group|all}/{play|pause|end|stop|toggle}
    ObjectText,      // PUT /api/objects/{id}/text {"text": "..."}
    ScriptStart,     // POST /api/script/start {"file": "..."}
    ScriptStop,      // POST /api/script/stop
    PluginVariable,  // PUT /api/plugin/variables/{name} {"value": n}
    Output,          // POST /api/output/{on|off}
};

enum class Target { Id, Group, All };
enum class Action { Play, Pause, End, Stop, Toggle };

struct Command {
    Verb verb = Verb::State;
    Target target = Target::All;
    int id = 0;          // Target::Id, ObjectText
    QString group;       // Target::Group
    Action action = Action::Play;
    QString text;        // ObjectText
    QString file;        // PageLoad, PageAdd, ScriptStart: relative to the pages folder
    QString name;        // PluginVariable
    int value = 0;       // PluginVariable
    bool on = false;     // Output
};

// A command, or why not: status 400 (malformed), 404 (no such route), 405 (the
// route exists with another method), 413 (body too large).
struct Parsed {
    bool ok = false;
    Command command;
    int status = 400;
    QString error;
};

// Request bodies above this are refused before they are read.
constexpr qsizetype MaxBodyBytes = 64 * 1024;
// The whole of one request (line, headers, body).
constexpr qsizetype MaxRequestBytes = MaxBodyBytes + 16 * 1024;

// method: "GET", "POST", "PUT"...; path: the URL's decoded path ("/api/...").
Parsed ParseHttp(const QByteArray& method, const QString& path, const QByteArray& body);

// address: "/corvane/objects/3/play", "/corvane/group/Lower third/end",
// "/corvane/all/stop", "/corvane/plugin/var/home_score" (one int or float or
// numeric string argument), "/corvane/output/on", "/corvane/script/stop",
// "/corvane/script/start" and "/corvane/page/load" (one string argument).
Parsed ParseOsc(const QString& address, const QVariantList& arguments);

// The "Authorization" header's value against the token: "Bearer TOKEN", compared
// without an early exit. An empty token lets everything through.
bool Authorized(const QByteArray& token, const QByteArray& authorization);

// The file below the root folder that relative names, or empty when it names none
// there: absolute paths, ".." steps and links leading out are refused.
QString PathBelow(const QString& root, const QString& relative);

// {"error": message}
QByteArray ErrorBody(const QString& message);

QString ActionName(Action action);

}  // namespace Control
