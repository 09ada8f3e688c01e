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
#include <utility>

namespace {

constexpr const char* CountProperty = "corvaneRequestBytes";
// After a refused request: how much more is read and dropped, and for how long.
constexpr qint64 DrainBytes = 1024 * 1024;
// Connections open at once (HTTP and event sockets), and what an event client may
// leave unread before it is dropped.
constexpr int MaxConnections = 64;
constexpr qint64 MaxUnsentEventBytes = 1024 * 1024;
// OSC datagrams read in one turn of the event loop; the rest wait for the next.
constexpr int OscDatagramsPerTurn = 64;
// Event clients send nothing worth keeping: a message or frame above this closes them.
constexpr qint64 MaxClientMessageBytes = 4096;
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
                                                          {401, "Unauthorized"}, {403, "Forbidden"}, {404, "Not Found"},
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
        // Beyond the cap a connection is closed at once: a flood of idle
        // connections must not take the descriptors the page files need.
        if (open_ >= MaxConnections) {
            socket->abort();
            socket->deleteLater();
            return;
        }
        ++open_;
        connect(socket, &QObject::destroyed, this, [this] { --open_; });
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
            // The HTTP server's read transaction would keep what is dropped: it ends.
            if (socket->isTransactionStarted()) socket->commitTransaction();
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

private:
    int open_ = 0;  // sockets made and not yet destroyed (user-interface thread)
};

class CControlHttp : public QAbstractHttpServer {
public:
    explicit CControlHttp(CControlServer& owner) : owner_(owner) {}

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override {
        socket->setProperty(CountProperty, qint64(0));
        // An upgrade is taken (nothing written) and goes on to the WebSocket
        // handshake; the socket's path, origin and token are checked once it is open.
        if (request.value("upgrade").compare("websocket", Qt::CaseInsensitive) == 0 &&
            request.value("connection").toLower().contains("upgrade"))
            return true;
        const ControlReply reply = owner_.Answer(MethodName(request.method()), request.url().path(), request.body(),
                                                 request.value("authorization"), request.value("origin"));
        WriteJson(socket, reply.status, QJsonDocument(reply.body).toJson(QJsonDocument::Compact));
        if (reply.status == 413) socket->disconnectFromHost();  // as its answer says
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
    // Taken out first: an abort reports the disconnection at once, and its handler
    // would change the list being walked.
    const std::vector<QWebSocket*> clients = std::exchange(clients_, {});
    for (QWebSocket* client : clients) {
        client->disconnect(this);
        client->abort();
    }
    http_.reset();
}

bool CControlServer::Start(QString* error) {
    // Without a token anyone who can reach the port could drive the output: only
    // this machine may, then.
    if (options_.token.isEmpty() && !options_.bind.isLoopback()) {
        if (error) *error = QStringLiteral("binding to %1 needs a token (\"Control/Token\")").arg(options_.bind.toString());
        return false;
    }
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
                                    const QByteArray& authorization, const QByteArray& origin) {
    // Without a token, a web page the operator happens to open could send requests
    // to this machine's port: requests from a browser page (they carry an Origin)
    // are refused then. With a token a page cannot send it without being told it.
    if (options_.token.isEmpty() && !origin.isEmpty())
        return {403, QJsonDocument::fromJson(Control::ErrorBody(QStringLiteral("requests from web pages need a token"))).object()};
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
        if (options_.token.isEmpty() && !socket->origin().isEmpty()) {
            socket->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("requests from web pages need a token"));
            continue;
        }
        if (!Control::Authorized(options_.token, authorization)) {
            socket->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("a valid bearer token is required"));
            continue;
        }
        socket->setMaxAllowedIncomingMessageSize(MaxClientMessageBytes);
        socket->setMaxAllowedIncomingFrameSize(MaxClientMessageBytes);
        QWebSocket* client = socket.release();
        client->setParent(this);
        clients_.push_back(client);
        connect(client, &QWebSocket::disconnected, this, [this, client] {
            clients_.erase(std::remove(clients_.begin(), clients_.end(), client), clients_.end());
            client->deleteLater();
        });
        // Clients only listen: what they send is small and dropped.
        client->setReadBufferSize(MaxClientMessageBytes);
    }
}

void CControlServer::Broadcast(const QJsonObject& event) {
    if (clients_.empty()) return;
    const QString text = QString::fromUtf8(QJsonDocument(event).toJson(QJsonDocument::Compact));
    // A client that reads nothing is closed rather than left to grow its buffer.
    for (QWebSocket* client : std::vector<QWebSocket*>(clients_)) {
        if (client->bytesToWrite() > MaxUnsentEventBytes) {
            client->abort();
            continue;
        }
        client->sendTextMessage(text);
    }
}

void CControlServer::ReadOsc() {
    for (int read = 0; osc_->hasPendingDatagrams(); ++read) {
        if (read == OscDatagramsPerTurn) {
            // A flood waits for the next turn, so the tick and the window keep theirs.
            QTimer::singleShot(0, this, [this] { ReadOsc(); });
            return;
        }
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
