// A stand-in for the switcher's end of the remote-buttons link, on the local
// machine: it receives the lamp datagrams a client sends and sends it button masks.
// For tests and for integrators (cvtool switcher-peer); it is no switcher.
//
// Threads: one object belongs to one thread; nothing here starts a thread.
#pragma once

#include <QJsonObject>
#include <QString>

#include <cstdint>
#include <vector>

class CSwitcherPeer {
public:
    CSwitcherPeer() = default;
    ~CSwitcherPeer();
    CSwitcherPeer(const CSwitcherPeer&) = delete;
    CSwitcherPeer& operator=(const CSwitcherPeer&) = delete;

    // Binds 127.0.0.1:port (0: any free port). Closes what was open first. On
    // failure, Error() says why.
    bool Open(uint16_t port);
    void Close();
    bool IsOpen() const { return socket_ >= 0; }
    uint16_t Port() const { return port_; }
    // The socket, for a caller that waits on several descriptors.
    int Descriptor() const { return socket_; }
    const QString& Error() const { return error_; }

    // Waits up to timeoutMs for one datagram and returns its bytes; false on
    // timeout or error. The sender becomes the peer's client.
    bool Receive(std::vector<uint8_t>& datagram, int timeoutMs);
    // Whether a client has sent anything yet (buttons go to it).
    bool HasClient() const { return hasClient_; }

    // A button message with mask (bit i: button i held down), to the client.
    bool SendButtons(uint16_t mask);
    // Any bytes, to the client (malformed datagrams for tests).
    bool SendRaw(const std::vector<uint8_t>& bytes);

    // A lamp datagram as JSON: {"bytes": "0002...", "type": 2, "lamps": [{"index", "value"}...]}
    // ("lamps" empty for a keep-alive; "error" instead of "lamps" for anything that
    // is not a lamp message).
    static QJsonObject DescribeDatagram(const std::vector<uint8_t>& datagram);

private:
    int socket_ = -1;
    uint16_t port_ = 0;
    bool hasClient_ = false;
    uint32_t clientAddress_ = 0;  // network order
    uint16_t clientPort_ = 0;     // network order
    QString error_;
};
