// "cvtool switcher-peer" as an integrator runs it, with the real client talking to it.
#include "remote/RemoteButtons.h"
#include "tests/RemoteTestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <gtest/gtest.h>

#include <functional>
#include <vector>

using RemoteTest::WaitUntil;

namespace {

// The next line of the tool's output that satisfies wanted (an empty object when
// the tool ends or nothing comes for a long while).
QJsonObject NextLine(QProcess& tool, const std::function<bool(const QJsonObject&)>& wanted) {
    for (int idle = 0; idle < 200;) {
        if (!tool.canReadLine()) {
            if (!tool.waitForReadyRead(100)) ++idle;
            continue;
        }
        const QJsonObject line = QJsonDocument::fromJson(tool.readLine()).object();
        if (wanted(line)) return line;
    }
    return {};
}

TEST(CvtoolSwitcherPeer, PrintsTheLampsItReceivesAndSendsTheButtonsTyped) {
    QProcess tool;
    tool.start(QStringLiteral(CVTOOL_PATH), {QStringLiteral("switcher-peer"), QStringLiteral("--port"), QStringLiteral("0")});
    ASSERT_TRUE(tool.waitForStarted());
    const int port = NextLine(tool, [](const QJsonObject& line) { return line.contains(QStringLiteral("port")); })
                         .value(QStringLiteral("port"))
                         .toInt();
    ASSERT_GT(port, 0);

    QObject receiver;
    std::vector<std::pair<bool, int>> events;
    RemoteTest::LogLines log;
    RemoteButtons::Timing timing;
    timing.port = uint16_t(port);
    timing.waitMs = 100;
    timing.endPauseMs = 10;
    auto client = std::make_unique<CRemoteButtonsInterface>(
        RemoteButtons::FromDotted(QStringLiteral("127.0.0.1")),
        CRemoteButtonsInterface::ButtonTarget(&receiver, [&](bool pressed, int index) { events.push_back({pressed, index}); }),
        timing, log.Sink());
    const auto lampLines = [](const QJsonObject& line) { return !line.value(QStringLiteral("lamps")).toArray().isEmpty(); };
    const QJsonObject first = NextLine(tool, lampLines);
    EXPECT_EQ(first.value(QStringLiteral("bytes")).toString(), QStringLiteral("0002000102030405060708090a0b0c0d0e0f"));
    EXPECT_EQ(first.value(QStringLiteral("lamps")).toArray().size(), 16);

    tool.write("3\n");
    ASSERT_TRUE(WaitUntil([&] { return events.size() >= 2; }));
    EXPECT_EQ(events, (std::vector<std::pair<bool, int>>{{true, 2}, {false, 2}}));
    const auto sentLines = [](const QJsonObject& line) { return line.contains(QStringLiteral("sent")); };
    EXPECT_EQ(NextLine(tool, sentLines).value(QStringLiteral("sent")).toString(), QStringLiteral("00010004"));
    EXPECT_EQ(NextLine(tool, sentLines).value(QStringLiteral("mask")).toInt(), 0);

    tool.write("17\ndown 16\nmask 0x8001\n");
    ASSERT_TRUE(WaitUntil([&] { return events.size() >= 4; }));
    EXPECT_EQ(events[2], std::make_pair(true, 15));
    EXPECT_EQ(events[3], std::make_pair(true, 0));

    std::array<uint8_t, RemoteButtons::LampCount> lamps{};
    lamps[4] = 1;
    client->SetButtonLamps(lamps);
    const QJsonArray changed = NextLine(tool, lampLines).value(QStringLiteral("lamps")).toArray();
    ASSERT_EQ(changed.size(), 1);
    EXPECT_EQ(changed[0].toObject(), (QJsonObject{{QStringLiteral("index"), 4}, {QStringLiteral("value"), 1}}));

    client.reset();
    tool.closeWriteChannel();
    ASSERT_TRUE(tool.waitForFinished(20000));
    EXPECT_EQ(tool.exitCode(), 0);
    EXPECT_TRUE(tool.readAllStandardError().contains("\"17\" is not a command"));
}

TEST(CvtoolSwitcherPeer, AWrongCommandLineIsRefused) {
    for (const QStringList& args : {QStringList{QStringLiteral("--port"), QStringLiteral("70000")},
                                    QStringList{QStringLiteral("--port")}, QStringList{QStringLiteral("extra")}}) {
        QProcess tool;
        tool.start(QStringLiteral(CVTOOL_PATH), QStringList{QStringLiteral("switcher-peer")} + args);
        ASSERT_TRUE(tool.waitForFinished(20000));
        EXPECT_EQ(tool.exitCode(), 2) << qPrintable(args.join(u' '));
        EXPECT_FALSE(tool.readAllStandardError().isEmpty());
    }
}

}  // namespace
