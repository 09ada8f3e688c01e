// The switcher's remote-buttons client: the datagram rules on their own, then the
// client against a local stand-in switcher on 127.0.0.1.
#include "remote/RemoteButtons.h"
#include "remote/SwitcherPeer.h"
#include "tests/RemoteTestSupport.h"

#include <QJsonArray>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace RemoteButtons;
using RemoteTest::WaitUntil;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes AllLamps(std::initializer_list<int> on) {
    Bytes bytes{0x00, 0x02};
    for (int i = 0; i < LampCount; ++i) {
        bool lit = false;
        for (int k : on) lit = lit || k == i;
        bytes.push_back(uint8_t((lit ? 0x10 : 0x00) | i));
    }
    return bytes;
}

struct Event {
    bool pressed;
    int index;
    bool operator==(const Event&) const = default;
};

TEST(SwitcherDatagram, ButtonChangesBecomeEventsInAscendingOrderAndOnlyChangesCount) {
    struct Step {
        Bytes datagram;
        DatagramResult result;
        std::vector<Event> events;
        uint16_t maskAfter;
    };
    const std::vector<Step> steps = {
        {{0x00, 0x01, 0x00, 0x05}, DatagramResult::Handled, {{true, 0}, {true, 2}}, 0x0005},
        {{0x00, 0x01, 0x00, 0x05}, DatagramResult::Handled, {}, 0x0005},
        {{0x00, 0x01, 0x00, 0x04}, DatagramResult::Handled, {{false, 0}}, 0x0004},
        {{0x00, 0x01, 0x80}, DatagramResult::Ignored, {}, 0x0004},                     // too short
        {{0x00, 0x02, 0x00, 0x00}, DatagramResult::Ignored, {}, 0x0004},               // another type
        {{0x01, 0x01, 0x00, 0x00}, DatagramResult::Ignored, {}, 0x0004},               // type 257
        {{0x00, 0x01, 0x00, 0x00, 0x00}, DatagramResult::ReceiveError, {}, 0x0004},    // tail does not fit
        {{}, DatagramResult::Ignored, {}, 0x0004},
        {{0x00, 0x01, 0x80, 0x01}, DatagramResult::Handled, {{true, 0}, {false, 2}, {true, 15}}, 0x8001},
    };
    uint16_t last = 0;
    for (size_t k = 0; k < steps.size(); ++k) {
        std::array<ButtonEvent, LampCount> events;
        int count = -1;
        EXPECT_EQ(HandleDatagram(steps[k].datagram.data(), steps[k].datagram.size(), last, events, count), steps[k].result)
            << "step " << k;
        std::vector<Event> got;
        for (int i = 0; i < count; ++i) got.push_back({events[size_t(i)].pressed, events[size_t(i)].index});
        EXPECT_EQ(got, steps[k].events) << "step " << k;
        EXPECT_EQ(last, steps[k].maskAfter) << "step " << k;
    }
}

TEST(SwitcherDatagram, ALongDatagramIsAnErrorWithoutReadingPastTheFourBytesKept) {
    // Only four bytes are kept of a longer datagram; the handler must not look further.
    const uint8_t kept[4] = {0x00, 0x01, 0x00, 0x01};
    uint16_t last = 0;
    std::array<ButtonEvent, LampCount> events;
    int count = 0;
    EXPECT_EQ(HandleDatagram(kept, 1000, last, events, count), DatagramResult::ReceiveError);
    EXPECT_EQ(last, 0);
    EXPECT_EQ(count, 0);
}

TEST(SwitcherLamps, TheMessageCarriesAllLampsOrTheMarkedOnesAndClearsTheMarks) {
    std::array<uint8_t, LampCount> lamps{};
    lamps[0] = 1 | ChangedMark;
    lamps[3] = 1 | ChangedMark;
    std::array<uint8_t, MaxLampMessageSize> message;
    size_t length = BuildLampMessage(lamps, true, message);
    EXPECT_EQ(Bytes(message.begin(), message.begin() + long(length)),
              (Bytes{0x00, 0x02, 0x10, 0x01, 0x02, 0x13, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F}));
    EXPECT_EQ(lamps[0], 1);
    EXPECT_EQ(lamps[3], 1);

    length = BuildLampMessage(lamps, false, message);
    EXPECT_EQ(Bytes(message.begin(), message.begin() + long(length)), (Bytes{0x00, 0x02}));

    lamps[5] = 1 | ChangedMark;
    lamps[9] = 0 | ChangedMark;
    length = BuildLampMessage(lamps, false, message);
    EXPECT_EQ(Bytes(message.begin(), message.begin() + long(length)), (Bytes{0x00, 0x02, 0x15, 0x09}));
    // A value wider than the wire's four bits keeps its lamp index intact.
    lamps[2] = 0x7F | ChangedMark;
    length = BuildLampMessage(lamps, false, message);
    EXPECT_EQ(Bytes(message.begin(), message.begin() + long(length)), (Bytes{0x00, 0x02, 0xF2}));
}

TEST(SwitcherAddress, TheSettingHoldsTheFirstPartInItsLowByte) {
    EXPECT_EQ(FromDotted(QStringLiteral("127.0.0.1")), 0x0100007Fu);
    EXPECT_EQ(FromDotted(QStringLiteral("192.168.1.20")), 0x1401A8C0u);
    EXPECT_EQ(ToDotted(0x1401A8C0u), QStringLiteral("192.168.1.20"));
    for (const char* bad : {"", "1.2.3", "1.2.3.256", "a.b.c.d", "1.2.3.4.5"})
        EXPECT_EQ(FromDotted(QString::fromLatin1(bad)), 0u) << bad;
}

// The client against the stand-in switcher. Short waits keep keep-alives and
// reconnections quick; the tests only wait for what must come.
class SwitcherLink : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(peer.Open(0)) << qPrintable(peer.Error());
        timing.port = peer.Port();
        timing.waitMs = 100;
        timing.endPauseMs = 10;
    }

    void Start() {
        client = std::make_unique<CRemoteButtonsInterface>(
            FromDotted(QStringLiteral("127.0.0.1")),
            CRemoteButtonsInterface::ButtonTarget(&receiver, [this](bool pressed, int index) { events.push_back({pressed, index}); }),
            timing, log.Sink());
    }

    // The next datagram that is not a keep-alive.
    Bytes NextLamps() {
        Bytes datagram;
        while (peer.Receive(datagram, 20000))
            if (datagram.size() != 2) return datagram;
        return {};
    }

    bool WaitEvents(size_t count) { return WaitUntil([&] { return events.size() >= count; }); }

    CSwitcherPeer peer;
    Timing timing;
    QObject receiver;
    std::vector<Event> events;
    RemoteTest::LogLines log;
    std::unique_ptr<CRemoteButtonsInterface> client;
};

TEST_F(SwitcherLink, TheFirstMessageCarriesAllSixteenLampsThenOnlyChangesAreSent) {
    Start();
    Bytes first;
    ASSERT_TRUE(peer.Receive(first, 20000));
    EXPECT_EQ(first, AllLamps({}));

    std::array<uint8_t, LampCount> lamps{};
    client->SetButtonLamps(lamps);  // the same values: nothing to send
    lamps[5] = 1;
    client->SetButtonLamps(lamps);
    EXPECT_EQ(NextLamps(), (Bytes{0x00, 0x02, 0x15}));
    lamps[5] = 0;
    lamps[0] = 1;
    client->SetButtonLamps(lamps);
    EXPECT_EQ(NextLamps(), (Bytes{0x00, 0x02, 0x10, 0x05}));
}

TEST_F(SwitcherLink, WhileNothingChangesKeepAlivesGoOut) {
    Start();
    Bytes datagram;
    ASSERT_TRUE(peer.Receive(datagram, 20000));
    ASSERT_EQ(datagram.size(), 18u);
    ASSERT_TRUE(peer.Receive(datagram, 20000));
    EXPECT_EQ(datagram, (Bytes{0x00, 0x02}));
    ASSERT_TRUE(peer.Receive(datagram, 20000));
    EXPECT_EQ(datagram, (Bytes{0x00, 0x02}));
}

TEST_F(SwitcherLink, ButtonPressesArriveOnTheReceiversThreadInAscendingOrder) {
    Start();
    Bytes datagram;
    ASSERT_TRUE(peer.Receive(datagram, 20000));
    ASSERT_TRUE(peer.SendButtons(0x0005));
    ASSERT_TRUE(WaitEvents(2));
    EXPECT_EQ(events, (std::vector<Event>{{true, 0}, {true, 2}}));

    ASSERT_TRUE(peer.SendButtons(0x0005));  // the same mask again: nothing
    ASSERT_TRUE(peer.SendRaw({0x00, 0x01, 0x00}));  // too short: nothing
    ASSERT_TRUE(peer.SendRaw({0x00, 0x02, 0xFF, 0xFF}));  // another type: nothing
    ASSERT_TRUE(peer.SendButtons(0x0004));
    ASSERT_TRUE(WaitEvents(3));
    ASSERT_TRUE(peer.SendButtons(0xC004));
    ASSERT_TRUE(WaitEvents(5));
    EXPECT_EQ(events, (std::vector<Event>{{true, 0}, {true, 2}, {false, 0}, {true, 14}, {true, 15}}));
}

TEST_F(SwitcherLink, ADatagramTooLongIsAReceiveErrorAndTheClientConnectsAgainWithAllLamps) {
    Start();
    Bytes datagram;
    ASSERT_TRUE(peer.Receive(datagram, 20000));
    std::array<uint8_t, LampCount> lamps{};
    lamps[7] = 1;
    client->SetButtonLamps(lamps);
    ASSERT_EQ(NextLamps(), (Bytes{0x00, 0x02, 0x17}));

    ASSERT_TRUE(peer.SendRaw({0x00, 0x01, 0x00, 0x01, 0x00}));
    EXPECT_EQ(NextLamps(), AllLamps({7}));
    EXPECT_TRUE(log.Contains(QStringLiteral("1 CRemoteButtonsInterface::MainThread(): WSAGetLastError() = 90")))
        << qPrintable(log.Lines().join(u'\n'));
    // The oversized datagram gave no event, and the link works again.
    ASSERT_TRUE(peer.SendButtons(0x0002));
    ASSERT_TRUE(WaitEvents(1));
    EXPECT_EQ(events, (std::vector<Event>{{true, 1}}));
}

TEST_F(SwitcherLink, WhenTheSwitcherGoesAwayAndComesBackTheLampsAreSentAgain) {
    Start();
    Bytes datagram;
    ASSERT_TRUE(peer.Receive(datagram, 20000));
    std::array<uint8_t, LampCount> lamps{};
    lamps[0] = 1;
    lamps[3] = 1;
    client->SetButtonLamps(lamps);
    ASSERT_EQ(NextLamps(), (Bytes{0x00, 0x02, 0x10, 0x13}));

    const uint16_t port = peer.Port();
    peer.Close();
    // The next keep-alive finds nobody: the refusal comes back as a receive error.
    ASSERT_TRUE(WaitUntil([&] {
        return log.Lines().filter(QStringLiteral("CRemoteButtonsInterface::MainThread(): WSAGetLastError() = ")).size() > 0;
    })) << "the client never noticed the switcher was gone";
    ASSERT_TRUE(peer.Open(port)) << qPrintable(peer.Error());
    EXPECT_EQ(NextLamps(), AllLamps({0, 3}));
}

TEST_F(SwitcherLink, ClosingTheClientSendsAllLampsOffLast) {
    Start();
    Bytes datagram;
    ASSERT_TRUE(peer.Receive(datagram, 20000));
    std::array<uint8_t, LampCount> lamps{};
    lamps[1] = 1;
    lamps[15] = 1;
    client->SetButtonLamps(lamps);
    ASSERT_EQ(NextLamps(), (Bytes{0x00, 0x02, 0x11, 0x1F}));
    client.reset();
    Bytes last;
    while (peer.Receive(datagram, 0)) last = datagram;
    EXPECT_EQ(last, AllLamps({}));
}

TEST_F(SwitcherLink, WithoutAReceiverButtonEventsAreDroppedQuietly) {
    client = std::make_unique<CRemoteButtonsInterface>(FromDotted(QStringLiteral("127.0.0.1")),
                                                       CRemoteButtonsInterface::ButtonTarget(), timing, log.Sink());
    Bytes datagram;
    ASSERT_TRUE(peer.Receive(datagram, 20000));
    ASSERT_TRUE(peer.SendButtons(0xFFFF));
    // Still alive and talking after the press.
    std::array<uint8_t, LampCount> lamps{};
    lamps[4] = 1;
    client->SetButtonLamps(lamps);
    EXPECT_EQ(NextLamps(), (Bytes{0x00, 0x02, 0x14}));
}

TEST(SwitcherPeerDescription, LampDatagramsAreDescribedAsJson) {
    QJsonObject lamps = CSwitcherPeer::DescribeDatagram({0x00, 0x02, 0x13, 0x04});
    EXPECT_EQ(lamps.value(QStringLiteral("bytes")).toString(), QStringLiteral("00021304"));
    const QJsonArray list = lamps.value(QStringLiteral("lamps")).toArray();
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list[0].toObject().value(QStringLiteral("index")).toInt(), 3);
    EXPECT_EQ(list[0].toObject().value(QStringLiteral("value")).toInt(), 1);
    EXPECT_EQ(list[1].toObject().value(QStringLiteral("value")).toInt(), 0);
    EXPECT_TRUE(CSwitcherPeer::DescribeDatagram({0x00, 0x02}).value(QStringLiteral("lamps")).toArray().isEmpty());
    for (const Bytes& bad : {Bytes{0x00}, Bytes{0x00, 0x01, 0x00, 0x01}, Bytes(19, 0x00)}) {
        Bytes datagram = bad;
        if (datagram.size() == 19) datagram[1] = 0x02;
        EXPECT_TRUE(CSwitcherPeer::DescribeDatagram(datagram).contains(QStringLiteral("error")));
    }
}

}  // namespace
