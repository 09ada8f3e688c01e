#include "control/ControlServer.h"

#include "control/Osc.h"

#include <QAbstractHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonDocument>
#include <QNetworkDatagram>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>
#include <QUrlQuery>
#include <QWebSocket>

#include <algorithm>

namespace {

constexpr const char* CountProperty = "corvaneRequestBytes";
// After a refused request: how much more is read and dropped, and for how long.
constexpr qint64 DrainBytes = 16 * 1024 * 1024;
constexpr int DrainMilliseconds = 2000;

QByteArray MethodName(QHttpServerRequest::Method method) {
    switch (method) {
    case QHttpServerRequest::Method::Get: return "GET";
    case QHttpServerRequest::Method::Put: return "PUT";
    case QHttpServerRequest::Method::Post: return "POST";
    case QHttpServerRequest::Method::Delete: return "DELETE";
    case QHttpServerRequest::Method::Head: return "HEAD";
    case QHttpServerRequest::Method::Options: return "OPTIONS";
    case QHttpServerRequest::Method::Patch: return "PATCH";
    default: return "OTHER";
    }
}

void WriteJson(QTcpSocket* socket, int status, const QByteArray& body) {
    static const std::pair<int, const char*> reasons[] = {{200, "OK"},          {400, "Bad Request"},
                                                          {401, "Unauthorized"}, {404, "Not Found"},
                                                          {405, "Method Not Allowed"}, {409, "Conflict"},
                                                          {413, "Payload Too Large"}, {500, "Internal Server Error"}};
    const char* reason = "Error";
    for (const auto& [code, text] : reasons)
        if (code == status) reason = text;
    QByteArray response = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\n";
    response += "Content-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n";
    if (status == 413) response += "Connection: close\r\n";
    response += "\r\n" + body;
    socket->write(response);
}

}  // namespace

// Counts what each connection sends before the HTTP server reads it, so a request
// larger than the bound is answered 413 and the connection closed before it fills
// memory. The count starts again with each request answered.
class CBoundedTcpServer : public QTcpServer {
public:
    using QTcpServer::QTcpServer;

protected:
    void incomingConnection(qintptr descriptor) override {
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        // Connected before the HTTP server's own reader, so it runs first.
        connect(socket, &QTcpSocket::readyRead, socket, [socket] {
            const qint64 total = socket->property(CountProperty).toLongLong() + socket->bytesAvailable();
            socket->setProperty(CountProperty, total);
            if (total <= Control::MaxRequestBytes) return;
            // The HTTP server reads no more of it (its other handlers stay: they free
            // what it keeps for the connection when it closes).
            QObject::disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
            WriteJson(socket, 413, Control::ErrorBody(QStringLiteral("the request is larger than %1 bytes")
                                                          .arg(Control::MaxRequestBytes)));
            // The rest is read and dropped for a while, so the client, still sending,
            // gets to read the answer instead of a reset connection; then it closes.
            socket->readAll();
            connect(socket, &QTcpSocket::readyRead, socket, [socket] {
                const qint64 drained = socket->property(CountProperty).toLongLong() + socket->readAll().size();
                socket->setProperty(CountProperty, drained);
                if (drained > DrainBytes) socket->abort();
            });
            QTimer::singleShot(DrainMilliseconds, socket, [socket] { socket->disconnectFromHost(); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        });
        addPendingConnection(socket);
    }
};

class CControlHttp : public QAbstractHttpServer {
public:
    explicit CControlHttp(CControlServer& owner) : owner_(owner) {}

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override {
        socket->setProperty(CountProperty, qint64(0));
        // An upgrade is taken (nothing written) and goes on to the WebSocket
        // handshake; the socket's path and token are checked once it is open.
        if (request.value("upgrade").compare("websocket", Qt::CaseInsensitive) == 0) return true;
        const ControlReply reply = owner_.Answer(MethodName(request.method()), request.url().path(), request.body(),
                                                 request.value("authorization"));
        WriteJson(socket, reply.status, QJsonDocument(reply.body).toJson(QJsonDocument::Compact));
        return true;
    }
    void missingHandler(const QHttpServerRequest&, QTcpSocket* socket) override {
        WriteJson(socket, 404, Control::ErrorBody(QStringLiteral("no such route")));
    }

private:
    CControlServer& owner_;
};

CControlServer::CControlServer(ControlOptions options, Executor execute, QObject* parent)
    : QObject(parent), options_(std::move(options)), execute_(std::move(execute)) {}

CControlServer::~CControlServer() {
    for (QWebSocket* client : clients_) client->abort();
    http_.reset();
}

bool CControlServer::Start(QString* error) {
    http_ = std::make_unique<CControlHttp>(*this);
    tcp_ = new CBoundedTcpServer(this);
    if (!tcp_->listen(options_.bind, options_.port)) {
        if (error) *error = QStringLiteral("HTTP %1:%2: %3").arg(options_.bind.toString()).arg(options_.port).arg(tcp_->errorString());
        return false;
    }
    port_ = tcp_->serverPort();
    http_->bind(tcp_);
    connect(http_.get(), &QAbstractHttpServer::newWebSocketConnection, this, [this] { AcceptWebSockets(); });
    if (options_.osc) {
        osc_ = new QUdpSocket(this);
        if (!osc_->bind(options_.bind, options_.oscPort)) {
            if (error) *error = QStringLiteral("OSC %1:%2: %3").arg(options_.bind.toString()).arg(options_.oscPort).arg(osc_->errorString());
            return false;
        }
        oscPort_ = osc_->localPort();
        connect(osc_, &QUdpSocket::readyRead, this, [this] { ReadOsc(); });
    }
    return true;
}

ControlReply CControlServer::Answer(const QByteArray& method, const QString& path, const QByteArray& body,
                                    const QByteArray& authorization) {
    if (!Control::Authorized(options_.token, authorization))
        return {401, QJsonDocument::fromJson(Control::ErrorBody(QStringLiteral("a valid bearer token is required"))).object()};
    const Control::Parsed parsed = Control::ParseHttp(method, path, body);
    if (!parsed.ok) return {parsed.status, QJsonDocument::fromJson(Control::ErrorBody(parsed.error)).object()};
    return execute_(parsed.command);
}

void CControlServer::AcceptWebSockets() {
    while (http_->hasPendingWebSocketConnections()) {
        std::unique_ptr<QWebSocket> socket = http_->nextPendingWebSocketConnection();
        if (!socket) continue;
        // The events are the only socket; the token holds here too (header or ?token=).
        const QNetworkRequest request = socket->request();
        QByteArray authorization = request.rawHeader("Authorization");
        const QString queryToken = QUrlQuery(socket->requestUrl()).queryItemValue(QStringLiteral("token"));
        if (authorization.isEmpty() && !queryToken.isEmpty()) authorization = "Bearer " + queryToken.toUtf8();
        if (socket->requestUrl().path() != QLatin1String("/api/events")) {
            socket->close(QWebSocketProtocol::CloseCodeBadOperation, QStringLiteral("no such route"));
            continue;
        }
        if (!Control::Authorized(options_.token, authorization)) {
            socket->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("a valid bearer token is required"));
            continue;
        }
        QWebSocket* client = socket.release();
        client->setParent(this);
        clients_.push_back(client);
        connect(client, &QWebSocket::disconnected, this, [this, client] {
            clients_.erase(std::remove(clients_.begin(), clients_.end(), client), clients_.end());
            client->deleteLater();
        });
        // Clients only listen: what they send is dropped unread.
        client->setReadBufferSize(4096);
    }
}

void CControlServer::Broadcast(const QJsonObject& event) {
    if (clients_.empty()) return;
    const QString text = QString::fromUtf8(QJsonDocument(event).toJson(QJsonDocument::Compact));
    for (QWebSocket* client : clients_) client->sendTextMessage(text);
}

void CControlServer::ReadOsc() {
    while (osc_->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = osc_->receiveDatagram(65536);
        const std::optional<Control::OscMessage> message = Control::DecodeOsc(datagram.data());
        if (!message) continue;
        // OSC has no answers and no headers: with a token set, the first argument
        // must be it.
        QVariantList arguments = message->arguments;
        if (!options_.token.isEmpty()) {
            if (arguments.isEmpty() ||
                !Control::Authorized(options_.token, "Bearer " + arguments.first().toString().toUtf8()))
                continue;
            arguments.removeFirst();
        }
        const Control::Parsed parsed = Control::ParseOsc(message->address, arguments);
        if (parsed.ok) execute_(parsed.command);
    }
}
