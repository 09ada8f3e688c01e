#include "tools/ControlCommand.h"

#include "base/CommandLine.h"
#include "tools/PageCommands.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>
#include <QUrl>
#include <QWebSocket>

#include <cstdio>

namespace {

constexpr int TimeoutMilliseconds = 10000;

int Usage() {
    std::fprintf(stderr,
                 "usage: cvtool control URL [--token T] VERB ...\n"
                 "  state | play|pause|end|stop|toggle ID|all|group NAME | text ID TEXT\n"
                 "  load FILE | add FILE | script start FILE | script stop | var NAME VALUE\n"
                 "  output on|off | events [--seconds S]\n"
                 "  URL: http://HOST:PORT (the server's \"Port\", 9030 by default)\n");
    return 2;
}


QByteArray Json(const QJsonObject& object) { return QJsonDocument(object).toJson(QJsonDocument::Compact); }

int Events(const QUrl& base, const QString& token, double seconds) {
    QUrl url = base;
    url.setScheme(base.scheme() == QLatin1String("https") ? QStringLiteral("wss") : QStringLiteral("ws"));
    url.setPath(QStringLiteral("/api/events"));
    QWebSocket socket;
    QNetworkRequest request(url);
    if (!token.isEmpty()) request.setRawHeader("Authorization", "Bearer " + token.toUtf8());
    QObject::connect(&socket, &QWebSocket::textMessageReceived,
                     [](const QString& text) { PrintLine(QJsonDocument::fromJson(text.toUtf8()).object()); });
    QEventLoop loop;
    QObject::connect(&socket, &QWebSocket::disconnected, &loop, &QEventLoop::quit);
    if (seconds > 0) QTimer::singleShot(int(seconds * 1000), &loop, &QEventLoop::quit);
    socket.open(request);
    loop.exec();
    // Still open when the time was up: a normal end. Closed by the server (a
    // refused token) or never opened: say why.
    if (socket.state() == QAbstractSocket::ConnectedState) {
        socket.close();
        return 0;
    }
    std::fprintf(stderr, "cvtool control: the event socket closed: %s\n",
                 qPrintable(socket.closeReason().isEmpty() ? socket.errorString() : socket.closeReason()));
    return 1;
}

}  // namespace

int ControlCommand(const QStringList& arguments) {
    QStringList args = arguments;
    const QString token = CommandLine::TakeOption(args, QStringLiteral("--token"));
    const QString secondsText = CommandLine::TakeOption(args, QStringLiteral("--seconds"));
    if (args.size() < 2) return Usage();
    const QUrl base(args.takeFirst());
    if (!base.isValid() || base.host().isEmpty()) return Usage();
    const QString verb = args.takeFirst();

    if (verb == QLatin1String("events")) return args.isEmpty() ? Events(base, token, secondsText.toDouble()) : Usage();

    QByteArray method = "POST";
    QString path;
    QByteArray body;
    static const QStringList actions{QStringLiteral("play"), QStringLiteral("pause"), QStringLiteral("end"),
                                     QStringLiteral("stop"), QStringLiteral("toggle")};
    if (verb == QLatin1String("state") && args.isEmpty()) {
        method = "GET";
        path = QStringLiteral("/api/state");
    } else if (actions.contains(verb) && args.size() == 2 && args[0] == QLatin1String("group")) {
        path = QStringLiteral("/api/objects/group/%1/%2").arg(QString::fromUtf8(QUrl::toPercentEncoding(args[1])), verb);
    } else if (actions.contains(verb) && args.size() == 1) {
        path = QStringLiteral("/api/objects/%1/%2").arg(args[0], verb);
    } else if (verb == QLatin1String("text") && args.size() == 2) {
        method = "PUT";
        path = QStringLiteral("/api/objects/%1/text").arg(args[0]);
        body = Json({{QStringLiteral("text"), args[1]}});
    } else if ((verb == QLatin1String("load") || verb == QLatin1String("add")) && args.size() == 1) {
        path = QStringLiteral("/api/page/%1").arg(verb);
        body = Json({{QStringLiteral("file"), args[0]}});
    } else if (verb == QLatin1String("script") && args.size() == 2 && args[0] == QLatin1String("start")) {
        path = QStringLiteral("/api/script/start");
        body = Json({{QStringLiteral("file"), args[1]}});
    } else if (verb == QLatin1String("script") && args.size() == 1 && args[0] == QLatin1String("stop")) {
        path = QStringLiteral("/api/script/stop");
    } else if (verb == QLatin1String("var") && args.size() == 2) {
        bool ok = false;
        const int value = args[1].toInt(&ok);
        if (!ok) return Usage();
        method = "PUT";
        path = QStringLiteral("/api/plugin/variables/%1").arg(QString::fromUtf8(QUrl::toPercentEncoding(args[0])));
        body = Json({{QStringLiteral("value"), value}});
    } else if (verb == QLatin1String("output") && args.size() == 1 &&
               (args[0] == QLatin1String("on") || args[0] == QLatin1String("off"))) {
        path = QStringLiteral("/api/output/%1").arg(args[0]);
    } else {
        return Usage();
    }

    QUrl url = base;
    url.setPath(path, QUrl::TolerantMode);
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    if (!token.isEmpty()) request.setRawHeader("Authorization", "Bearer " + token.toUtf8());
    QNetworkAccessManager network;
    QNetworkReply* reply = network.sendCustomRequest(request, method, body);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(TimeoutMilliseconds, &loop, &QEventLoop::quit);
    loop.exec();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status == 0) {
        std::fprintf(stderr, "cvtool control: no answer from %s: %s\n", qPrintable(url.toString()),
                     qPrintable(reply->isFinished() ? reply->errorString() : QStringLiteral("timed out")));
        return 1;
    }
    PrintLine(QJsonDocument::fromJson(reply->readAll()).object());
    return status >= 200 && status < 300 ? 0 : 1;
}
