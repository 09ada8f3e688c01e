// "cvtool switcher-peer" and "cvtool switcher" as an integrator runs them: the real
// client against the tool's stand-in switcher, and the tool's client against ours.
#include "remote/RemoteButtons.h"
#include "remote/SwitcherPeer.h"
#include "tests/RemoteTestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
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

// The page plays; a press on the switcher toggles the objects bound to the button
// and the lamps follow them; the switcher sees every lamp off when the tool ends.
TEST(CvtoolSwitcher, PressesPlayTheButtonsObjectsAndTheLampsFollow) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile description(dir.filePath(QStringLiteral("p.json")));
    ASSERT_TRUE(description.open(QIODevice::WriteOnly));
    description.write(R"({"objects":[
        {"Rect":[10,10,200,60],"BackColor":"#FF2040A0","ShowIndefinitely":1,"SwitcherButton":2},
        {"Rect":[10,100,200,160],"BackColor":"#FF808080","ShowIndefinitely":1,"SwitcherButton":5}]})");
    description.close();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
    const QString page = dir.filePath(QStringLiteral("p.corvane"));
    QProcess build;
    build.setProcessEnvironment(environment);
    build.start(QStringLiteral(CVTOOL_PATH), {QStringLiteral("build"), description.fileName(), page, QStringLiteral("--mode"), QStringLiteral("8")});
    ASSERT_TRUE(build.waitForFinished(60000));
    ASSERT_EQ(build.exitCode(), 0) << build.readAllStandardError().constData();

    CSwitcherPeer peer;
    ASSERT_TRUE(peer.Open(0)) << qPrintable(peer.Error());
    QProcess tool;
    tool.setProcessEnvironment(environment);
    tool.start(QStringLiteral(CVTOOL_PATH), {QStringLiteral("switcher"), page, QStringLiteral("--mode"), QStringLiteral("8"),
                                             QStringLiteral("--ip"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"),
                                             QString::number(peer.Port())});
    ASSERT_TRUE(tool.waitForStarted());
    // Datagrams until one satisfies wanted (keep-alives and others pass by).
    const auto nextDatagram = [&](const std::function<bool(const std::vector<uint8_t>&)>& wanted) {
        std::vector<uint8_t> datagram;
        for (int k = 0; k < 60; ++k)
            if (peer.Receive(datagram, 1000) && wanted(datagram)) return datagram;
        return std::vector<uint8_t>{};
    };
    const std::vector<uint8_t> allOff{0, 2, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    ASSERT_EQ(nextDatagram([](const auto& d) { return d.size() > 2; }), allOff) << "first all lamps, all off";

    ASSERT_TRUE(peer.SendButtons(0x0002));  // button 2 (index 1) down: its object plays
    ASSERT_TRUE(peer.SendButtons(0x0000));
    EXPECT_EQ(nextDatagram([](const auto& d) { return d.size() > 2; }), (std::vector<uint8_t>{0, 2, 0x11}));
    ASSERT_TRUE(peer.SendButtons(0x0010));  // button 5: the second object as well
    EXPECT_EQ(nextDatagram([](const auto& d) { return d.size() > 2; }), (std::vector<uint8_t>{0, 2, 0x14}));

    tool.terminate();  // as an operator's Ctrl+C
    EXPECT_EQ(nextDatagram([](const auto& d) { return d.size() == 18; }),
              (std::vector<uint8_t>{0, 2, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}))
        << "every lamp off as the tool ends";
    ASSERT_TRUE(tool.waitForFinished(60000));
    EXPECT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().constData();
    const QByteArray out = tool.readAllStandardOutput();
    EXPECT_TRUE(out.contains(R"({"button":2,"pressed":true})")) << out.constData();
    EXPECT_TRUE(out.contains(R"({"lamps":[0,1,0,0,1,0,0,0,0,0,0,0,0,0,0,0]})")) << out.constData();
}

TEST(CvtoolSwitcher, AWrongCommandLineIsRefused) {
    for (const QStringList& args : {QStringList{QStringLiteral("p.corvane")},
                                    QStringList{QStringLiteral("p.corvane"), QStringLiteral("--ip"), QStringLiteral("300.1.1.1")},
                                    QStringList{QStringLiteral("p.corvane"), QStringLiteral("--ip"), QStringLiteral("10.0.0.1"),
                                                QStringLiteral("--port"), QStringLiteral("0")}}) {
        QProcess tool;
        tool.start(QStringLiteral(CVTOOL_PATH), QStringList{QStringLiteral("switcher")} + args);
        ASSERT_TRUE(tool.waitForFinished(20000));
        EXPECT_EQ(tool.exitCode(), 2) << qPrintable(args.join(u' '));
        EXPECT_FALSE(tool.readAllStandardError().isEmpty());
    }
}

}  // namespace
