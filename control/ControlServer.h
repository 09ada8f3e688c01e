// The network control server: HTTP with JSON, a WebSocket of events at
// /api/events, and OSC over UDP, all on the user-interface thread's event loop.
// It knows nothing of the document: each request that passes the checks (token,
// size, syntax) becomes a Control::Command handed to the executor, whose reply
// goes back as JSON; the owner pushes events to the WebSocket clients.
//
// Threads: the user-interface thread (construction, Start, Broadcast, and the
// executor's calls all happen there).
#pragma once

#include "control/ControlRequest.h"

#include <QHostAddress>
#include <QJsonObject>
#include <QObject>
#include <functional>
#include <memory>
#include <vector>

class QUdpSocket;
class QWebSocket;
class CControlHttp;
class CBoundedTcpServer;

struct ControlOptions {
    QHostAddress bind = QHostAddress::LocalHost;  // another address needs a token
    quint16 port = 9030;    // 0: any free port (tests)
    QByteArray token;       // empty: no token asked for
    quint16 oscPort = 0;    // 0: no OSC
    bool osc = false;       // listen for OSC (on oscPort, 0 meaning any free port)
};

struct ControlReply {
    int status = 200;
    QJsonObject body;
};

class CControlServer : public QObject {
    Q_OBJECT
public:
    using Executor = std::function<ControlReply(const Control::Command& command)>;

    CControlServer(ControlOptions options, Executor execute, QObject* parent = nullptr);
    ~CControlServer() override;

    // Listens; false with the reason when a port cannot be had.
    bool Start(QString* error = nullptr);
    quint16 Port() const { return port_; }
    quint16 OscPort() const { return oscPort_; }

    // Sends the event to every connected /api/events client, as one JSON text message.
    void Broadcast(const QJsonObject& event);
    int EventClients() const { return int(clients_.size()); }

    // A request as the HTTP side answers it (status and JSON body); public for the
    // server's own use and for tests of the routing without sockets.
    // origin: the request's Origin header (a browser page's), empty otherwise.
    ControlReply Answer(const QByteArray& method, const QString& path, const QByteArray& body,
                        const QByteArray& authorization, const QByteArray& origin = {});

private:
    void AcceptWebSockets();
    void ReadOsc();

    ControlOptions options_;
    Executor execute_;
    std::unique_ptr<CControlHttp> http_;
    CBoundedTcpServer* tcp_ = nullptr;  // owned by http_'s binding (a child of this)
    QUdpSocket* osc_ = nullptr;         // child of this
    std::vector<QWebSocket*> clients_;  // children of this
    quint16 port_ = 0;
    quint16 oscPort_ = 0;
};
