#include "tools/SwitcherPeerCommand.h"

#include "remote/RemoteButtons.h"
#include "remote/SwitcherPeer.h"
#include "tools/PageCommands.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <cstdio>
#include <poll.h>
#include <unistd.h>

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: cvtool switcher-peer [--port P]\n"
                 "  P: the UDP port on 127.0.0.1 (default %d; 0 picks a free one)\n"
                 "  standard input, one command a line:\n"
                 "    N          press and release button N (1-16)\n"
                 "    down N     hold button N down;  up N: release it\n"
                 "    mask M     send the button mask M as it is (decimal or 0x hexadecimal)\n"
                 "    quit       end (as does the end of standard input)\n",
                 int(RemoteButtons::DefaultPort));
    return 2;
}

bool ButtonNumber(const QString& text, int& index) {
    bool ok = false;
    const int number = text.toInt(&ok);
    if (!ok || number < 1 || number > RemoteButtons::LampCount) return false;
    index = number - 1;
    return true;
}

class Peer {
public:
    explicit Peer(CSwitcherPeer& peer) : peer_(peer) {}

    // One line of standard input; false on "quit".
    bool Command(const QString& line) {
        const QStringList words = line.simplified().split(u' ', Qt::SkipEmptyParts);
        if (words.isEmpty()) return true;
        int index = 0;
        if (words.size() == 1 && words[0] == QLatin1String("quit")) return false;
        if (words.size() == 1 && ButtonNumber(words[0], index)) {
            if (Send(uint16_t(held_ | (1u << index)))) Send(held_);
        } else if (words.size() == 2 && words[0] == QLatin1String("down") && ButtonNumber(words[1], index)) {
            held_ = uint16_t(held_ | (1u << index));
            Send(held_);
        } else if (words.size() == 2 && words[0] == QLatin1String("up") && ButtonNumber(words[1], index)) {
            held_ = uint16_t(held_ & ~(1u << index));
            Send(held_);
        } else if (words.size() == 2 && words[0] == QLatin1String("mask")) {
            bool ok = false;
            const uint mask = words[1].toUInt(&ok, 0);
            if (!ok || mask > 0xFFFF) {
                std::fprintf(stderr, "cvtool switcher-peer: a mask is a number from 0 to 0xFFFF, not \"%s\"\n",
                             qUtf8Printable(words[1]));
                return true;
            }
            held_ = uint16_t(mask);
            Send(held_);
        } else {
            std::fprintf(stderr,
                         "cvtool switcher-peer: \"%s\" is not a command (N or down N or up N with N from 1 to 16, "
                         "mask M, quit)\n",
                         qUtf8Printable(line.trimmed()));
        }
        return true;
    }

private:
    bool Send(uint16_t mask) {
        if (!peer_.HasClient()) {
            std::fprintf(stderr, "cvtool switcher-peer: no client has sent anything yet, so there is nobody to send to\n");
            return false;
        }
        if (!peer_.SendButtons(mask)) {
            std::fprintf(stderr, "cvtool switcher-peer: the button message could not be sent\n");
            return false;
        }
        PrintLine(QJsonObject{{QStringLiteral("sent"), QStringLiteral("0001%1").arg(mask, 4, 16, QLatin1Char('0')).toUpper()},
                              {QStringLiteral("mask"), int(mask)}});
        return true;
    }

    CSwitcherPeer& peer_;
    uint16_t held_ = 0;
};

}  // namespace

int SwitcherPeerCommand(const QStringList& arguments) {
    QStringList args = arguments;
    int port = RemoteButtons::DefaultPort;
    if (const qsizetype k = args.indexOf(QStringLiteral("--port")); k >= 0) {
        bool ok = false;
        port = k + 1 < args.size() ? args[k + 1].toInt(&ok) : -1;
        if (!ok || port < 0 || port > 65535) {
            std::fprintf(stderr, "cvtool switcher-peer: --port takes a port number 0..65535\n");
            return 2;
        }
        args.remove(k, 2);
    }
    if (!args.isEmpty()) return Usage();

    CSwitcherPeer peer;
    if (!peer.Open(uint16_t(port))) {
        std::fprintf(stderr, "cvtool switcher-peer: %s\n", qUtf8Printable(peer.Error()));
        return 1;
    }
    PrintLine(QJsonObject{{QStringLiteral("port"), int(peer.Port())}});
    Peer commands(peer);
    QByteArray pending;
    bool input = true;
    for (;;) {
        pollfd waits[2] = {{peer.Descriptor(), POLLIN, 0}, {input ? STDIN_FILENO : -1, POLLIN, 0}};
        if (::poll(waits, 2, -1) < 0) {
            if (errno == EINTR) continue;
            std::perror("cvtool switcher-peer: poll");
            return 1;
        }
        if (waits[0].revents) {
            std::vector<uint8_t> datagram;
            if (peer.Receive(datagram, 0)) PrintLine(CSwitcherPeer::DescribeDatagram(datagram));
        }
        if (!waits[1].revents) continue;
        char buffer[4096];
        const ssize_t read = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (read < 0 && errno == EINTR) continue;
        if (read <= 0) {
            // The end of the input: a last line without its newline still counts.
            if (!pending.isEmpty()) commands.Command(QString::fromUtf8(pending));
            return 0;
        }
        pending.append(buffer, read);
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(pending.left(end));
            pending.remove(0, end + 1);
            if (!commands.Command(line)) return 0;
        }
    }
}
