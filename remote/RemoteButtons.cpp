#include "remote/RemoteButtons.h"

#include "base/Translate.h"

#include <QStringList>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace RemoteButtons {

DatagramResult HandleDatagram(const uint8_t* data, size_t received, uint16_t& lastButtons,
                              std::array<ButtonEvent, LampCount>& events, int& count) {
    count = 0;
    if (received > ButtonMessageSize) return DatagramResult::ReceiveError;
    if (received < ButtonMessageSize) return DatagramResult::Ignored;
    const uint16_t type = uint16_t((data[0] << 8) | data[1]);
    if (type != TypeButtons) return DatagramResult::Ignored;
    const uint16_t mask = uint16_t((data[2] << 8) | data[3]);
    const uint16_t changed = mask ^ lastButtons;
    for (int i = 0; i < LampCount; ++i)
        if (changed & (1u << i)) events[size_t(count++)] = ButtonEvent{(mask & (1u << i)) != 0, i};
    lastButtons = mask;
    return DatagramResult::Handled;
}

size_t BuildLampMessage(std::array<uint8_t, LampCount>& lamps, bool sendAll,
                        std::array<uint8_t, MaxLampMessageSize>& message) {
    message[0] = uint8_t(TypeLamps >> 8);
    message[1] = uint8_t(TypeLamps & 0xFF);
    size_t length = 2;
    for (int i = 0; i < LampCount; ++i) {
        uint8_t& lamp = lamps[size_t(i)];
        if (!sendAll && !(lamp & ChangedMark)) continue;
        lamp &= ValueBits;
        // The wire has four bits for the value; the product only uses 0 and 1.
        message[length++] = uint8_t(((lamp & 0x0F) << 4) | i);
    }
    return length;
}

QString ToDotted(uint32_t address) {
    return QStringLiteral("%1.%2.%3.%4")
        .arg(address & 0xFF)
        .arg((address >> 8) & 0xFF)
        .arg((address >> 16) & 0xFF)
        .arg((address >> 24) & 0xFF);
}

uint32_t FromDotted(const QString& text) {
    const QStringList parts = text.trimmed().split(u'.');
    if (parts.size() != 4) return 0;
    uint32_t address = 0;
    for (int k = 0; k < 4; ++k) {
        bool ok = false;
        const uint part = parts[k].toUInt(&ok);
        if (!ok || part > 255) return 0;
        address |= uint32_t(part) << (8 * k);
    }
    return address;
}

}  // namespace RemoteButtons

using namespace RemoteButtons;

CRemoteButtonsInterface::CRemoteButtonsInterface(uint32_t address, ButtonTarget target, Timing timing,
                                                 Remote::LogSink log)
    : address_(address), target_(std::move(target)), timing_(timing), log_(std::move(log)) {
    // Without the wake event the worker still ends: its waits are bounded.
    wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    thread_ = std::thread([this] { MainThread(); });
}

CRemoteButtonsInterface::~CRemoteButtonsInterface() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        running_ = false;
        SetWake();
    }
    {
        std::unique_lock<std::mutex> guard(endLock_);
        if (!endSignal_.wait_for(guard, std::chrono::milliseconds(timing_.joinWaitMs), [this] { return ended_; }) && log_)
            log_(1, FormatString(QStringLiteral("CRemoteButtonsInterface::~CRemoteButtonsInterface(): the worker has not "
                                                "ended after %d ms; waiting for it"),
                                 {timing_.joinWaitMs}));
    }
    // Every wait of the worker is bounded and its socket never blocks, so this returns.
    thread_.join();
    if (wake_ >= 0) ::close(wake_);
}

void CRemoteButtonsInterface::SetButtonLamps(const std::array<uint8_t, LampCount>& lamps) {
    std::lock_guard<std::mutex> guard(lock_);
    bool changed = false;
    for (size_t i = 0; i < lamps.size(); ++i) {
        if ((lamps[i] & ValueBits) == (lamps_[i] & ValueBits)) continue;
        lamps_[i] = uint8_t((lamps[i] & ValueBits) | ChangedMark);
        changed = true;
    }
    if (changed) SetWake();
}

void CRemoteButtonsInterface::SetWake() {
    if (wake_ < 0) return;
    const uint64_t one = 1;
    // A full counter is still set, which is all the worker asks.
    [[maybe_unused]] const ssize_t written = ::write(wake_, &one, sizeof one);
}

void CRemoteButtonsInterface::ClearWake() {
    if (wake_ < 0) return;
    uint64_t value = 0;
    [[maybe_unused]] const ssize_t read = ::read(wake_, &value, sizeof value);
}

void CRemoteButtonsInterface::LogError(int error) {
    if (log_) log_(1, FormatString(QStringLiteral("CRemoteButtonsInterface::MainThread(): WSAGetLastError() = %d"), {error}));
}

void CRemoteButtonsInterface::MainThread() {
    int socket = -1;
    bool skipConnect = false, sendAll = true, idle = false, stopping = false;
    bool fromWake = false;  // a wake while running continues at the connection step, past the end check

    const auto closeSocket = [&socket] {
        if (socket >= 0) ::close(socket);
        socket = -1;
    };
    const auto fail = [&](int error) {
        closeSocket();
        skipConnect = true;
        LogError(error);
    };

    sockaddr_in switcher{};
    switcher.sin_family = AF_INET;
    switcher.sin_port = htons(timing_.port);
    // The setting holds the first part of the dotted address in its low byte: the
    // bytes in memory order, whatever the host's order.
    const uint8_t parts[4] = {uint8_t(address_), uint8_t(address_ >> 8), uint8_t(address_ >> 16), uint8_t(address_ >> 24)};
    std::memcpy(&switcher.sin_addr.s_addr, parts, 4);

    for (;;) {
        if (!fromWake) {
            bool running;
            {
                std::lock_guard<std::mutex> guard(lock_);
                running = running_;
            }
            if (!running && !stopping) break;
        }
        fromWake = false;

        bool connected = true;
        if (socket < 0) {
            connected = false;
            if (skipConnect) {
                skipConnect = false;
            } else if ((socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)) >= 0) {
                if (::connect(socket, reinterpret_cast<const sockaddr*>(&switcher), sizeof switcher) != 0) {
                    fail(errno);
                } else {
                    sendAll = true;
                    connected = true;
                }
            }
        }

        if (connected) {
            std::array<uint8_t, MaxLampMessageSize> message;
            size_t length;
            {
                std::lock_guard<std::mutex> guard(lock_);
                length = BuildLampMessage(lamps_, sendAll, message);
            }
            if (length > 2 || idle) {
                const ssize_t sent = ::send(socket, message.data(), length, MSG_NOSIGNAL);
                if (sent <= 0) fail(sent == 0 ? 0 : errno);
            }
            if (stopping) break;
            sendAll = false;
        }

        idle = false;
        pollfd waits[2] = {{wake_, POLLIN, 0}, {socket, POLLIN, 0}};
        const int ready = ::poll(waits, socket >= 0 ? 2 : 1, timing_.waitMs);
        if (ready == 0) {
            idle = true;
            continue;
        }
        if (ready < 0) continue;  // a signal: the loop checks everything again

        if (socket >= 0 && waits[1].revents != 0) {
            // A pending network error shows as POLLERR; the receive reports it.
            uint8_t datagram[ButtonMessageSize];
            const ssize_t received = ::recv(socket, datagram, sizeof datagram, MSG_TRUNC);
            if (received < 0) {
                if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) fail(errno);
                continue;
            }
            std::array<ButtonEvent, LampCount> events;
            int count = 0;
            const DatagramResult result = HandleDatagram(datagram, size_t(received), lastButtons_, events, count);
            if (result == DatagramResult::ReceiveError) {
                fail(EMSGSIZE);
                continue;
            }
            for (int k = 0; k < count; ++k) target_.Post(events[size_t(k)].pressed, events[size_t(k)].index);
            continue;
        }

        if (wake_ >= 0 && waits[0].revents != 0) {
            ClearWake();
            bool running;
            {
                std::lock_guard<std::mutex> guard(lock_);
                running = running_;
                if (!running && socket >= 0) lamps_.fill(0);
            }
            if (running) {
                fromWake = true;
                continue;
            }
            if (socket < 0) continue;
            stopping = true;
            sendAll = true;
        }
    }

    std::this_thread::sleep_for(std::chrono::milliseconds(timing_.endPauseMs));
    closeSocket();
    {
        std::lock_guard<std::mutex> guard(endLock_);
        ended_ = true;
    }
    endSignal_.notify_all();
}
