#include "remote/SwitcherPeer.h"

#include "remote/RemoteButtons.h"

#include <QJsonArray>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

CSwitcherPeer::~CSwitcherPeer() { Close(); }

bool CSwitcherPeer::Open(uint16_t port) {
    Close();
    error_.clear();
    socket_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (socket_ < 0) {
        error_ = QStringLiteral("cannot create a UDP socket: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(socket_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        error_ = QStringLiteral("cannot bind 127.0.0.1:%1: %2").arg(port).arg(QString::fromLocal8Bit(std::strerror(errno)));
        Close();
        return false;
    }
    socklen_t length = sizeof local;
    ::getsockname(socket_, reinterpret_cast<sockaddr*>(&local), &length);
    port_ = ntohs(local.sin_port);
    return true;
}

void CSwitcherPeer::Close() {
    if (socket_ >= 0) ::close(socket_);
    socket_ = -1;
    port_ = 0;
    hasClient_ = false;
}

bool CSwitcherPeer::Receive(std::vector<uint8_t>& datagram, int timeoutMs) {
    datagram.clear();
    if (socket_ < 0) return false;
    pollfd wait{socket_, POLLIN, 0};
    if (::poll(&wait, 1, timeoutMs) <= 0) return false;
    // Larger than any datagram of the protocol, so an oversized one is seen whole enough.
    uint8_t buffer[512];
    sockaddr_in from{};
    socklen_t length = sizeof from;
    const ssize_t received = ::recvfrom(socket_, buffer, sizeof buffer, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), &length);
    if (received < 0) return false;
    datagram.assign(buffer, buffer + received);
    hasClient_ = true;
    clientAddress_ = from.sin_addr.s_addr;
    clientPort_ = from.sin_port;
    return true;
}

bool CSwitcherPeer::SendButtons(uint16_t mask) {
    return SendRaw({0, uint8_t(RemoteButtons::TypeButtons), uint8_t(mask >> 8), uint8_t(mask & 0xFF)});
}

bool CSwitcherPeer::SendRaw(const std::vector<uint8_t>& bytes) {
    if (socket_ < 0 || !hasClient_) return false;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = clientPort_;
    to.sin_addr.s_addr = clientAddress_;
    return ::sendto(socket_, bytes.data(), bytes.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&to), sizeof to) ==
           ssize_t(bytes.size());
}

QJsonObject CSwitcherPeer::DescribeDatagram(const std::vector<uint8_t>& datagram) {
    QJsonObject description;
    description.insert(QStringLiteral("bytes"),
                       QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(datagram.data()), qsizetype(datagram.size())).toHex()));
    if (datagram.size() < 2) {
        description.insert(QStringLiteral("error"), QStringLiteral("shorter than a message type"));
        return description;
    }
    const int type = (datagram[0] << 8) | datagram[1];
    description.insert(QStringLiteral("type"), type);
    if (type != RemoteButtons::TypeLamps) {
        description.insert(QStringLiteral("error"), QStringLiteral("not a lamp message"));
        return description;
    }
    if (datagram.size() > RemoteButtons::MaxLampMessageSize) {
        description.insert(QStringLiteral("error"), QStringLiteral("more than 16 lamps"));
        return description;
    }
    QJsonArray lamps;
    for (size_t k = 2; k < datagram.size(); ++k)
        lamps.append(QJsonObject{{QStringLiteral("index"), datagram[k] & 0x0F}, {QStringLiteral("value"), datagram[k] >> 4}});
    description.insert(QStringLiteral("lamps"), lamps);
    return description;
}
