// The switcher client's datagram rules against arbitrary input. Bytes 0 and 1 are
// the last button mask (big-endian); the rest is a received datagram, of which only
// the first four bytes are kept (an exactly sized copy, so any read further is
// seen) while its full length is reported. The handler must
//  - accept exactly the 4-byte messages of type 1, call longer ones receive errors
//    and leave the mask alone otherwise;
//  - give one event per changed bit, ascending, each saying the bit's new state.
// The same input's first 16 bytes, taken as stored lamps, must build a lamp message
// of at most 18 bytes with ascending lamp indexes and no changed mark left behind.
#include "remote/RemoteButtons.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

using namespace RemoteButtons;

void CheckDatagram(uint16_t last, const uint8_t* datagram, size_t size) {
    const size_t kept = std::min(size, ButtonMessageSize);
    std::unique_ptr<uint8_t[]> copy(new uint8_t[kept ? kept : 1]);
    if (kept) std::memcpy(copy.get(), datagram, kept);
    uint16_t mask = last;
    std::array<ButtonEvent, LampCount> events;
    int count = -1;
    const DatagramResult result = HandleDatagram(copy.get(), size, mask, events, count);
    Check(count >= 0 && count <= LampCount);
    if (size > ButtonMessageSize) {
        Check(result == DatagramResult::ReceiveError);
    } else if (size == ButtonMessageSize && datagram[0] == 0 && datagram[1] == TypeButtons) {
        Check(result == DatagramResult::Handled);
        Check(mask == uint16_t((datagram[2] << 8) | datagram[3]));
    } else {
        Check(result == DatagramResult::Ignored);
    }
    if (result != DatagramResult::Handled) {
        Check(mask == last && count == 0);
        return;
    }
    const uint16_t changed = mask ^ last;
    Check(count == __builtin_popcount(changed));
    for (int k = 0; k < count; ++k) {
        const ButtonEvent& event = events[size_t(k)];
        Check(event.index >= 0 && event.index < LampCount);
        Check(changed & (1u << event.index));
        Check(event.pressed == ((mask >> event.index) & 1));
        if (k > 0) Check(events[size_t(k - 1)].index < event.index);
    }
}

void CheckLamps(const uint8_t* data, size_t size) {
    std::array<uint8_t, LampCount> lamps{};
    std::memcpy(lamps.data(), data, std::min(size, lamps.size()));
    const std::array<uint8_t, LampCount> before = lamps;
    std::array<uint8_t, MaxLampMessageSize> message;
    const bool sendAll = size % 2 == 1;
    const size_t length = BuildLampMessage(lamps, sendAll, message);
    Check(length >= 2 && length <= MaxLampMessageSize);
    Check(message[0] == 0 && message[1] == TypeLamps);
    size_t marked = 0;
    for (size_t i = 0; i < lamps.size(); ++i) {
        Check(!(lamps[i] & ChangedMark));
        Check((lamps[i] & ValueBits) == (before[i] & ValueBits));
        marked += (before[i] & ChangedMark) != 0;
    }
    Check(length - 2 == (sendAll ? size_t(LampCount) : marked));
    for (size_t k = 3; k < length; ++k) Check((message[k - 1] & 0x0F) < (message[k] & 0x0F));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    CheckDatagram(uint16_t((data[0] << 8) | data[1]), data + 2, size - 2);
    CheckLamps(data, size);
    return 0;
}
