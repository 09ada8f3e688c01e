// The live output as an operator runs it (cvtool output): frame pacing on a server
// that ignores the swap interval, and on two outputs the window's place and the
// end of the output when its display goes away.
#include "output/RenderWindow.h"
#include "output/XRandRDisplaySystem.h"
#include "tests/XorgDummy.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

struct Outcome {
    int exitCode = -1;
    QJsonObject result;
    QByteArray err;
};

// A small page: a background and a crawl as wide as asked.
QString MakePage(QTemporaryDir& dir, int mode, int crawlWidth = 720) {
    QFile json(dir.filePath("page.json"));
    EXPECT_TRUE(json.open(QIODevice::WriteOnly));
    json.write(QStringLiteral(R"({"objects":[{"Rect":[20,20,300,80],"BackColor":"#C0204080"},
        {"Rect":[0,400,%1,460],"Movement":1,"Speed":20,"BackColor":"#80000000",
         "RichText":"{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\b\\fs48 Paced crawl +++ news of the day +++ \\par}"}]})")
                   .arg(crawlWidth)
                   .toUtf8());
    json.close();
    const QString page = dir.filePath("page.corvane");
    QProcess build;
    build.start(CVTOOL_PATH, {"build", dir.filePath("page.json"), page, "--mode", QString::number(mode)});
    EXPECT_TRUE(build.waitForFinished(60000));
    EXPECT_EQ(build.exitCode(), 0) << build.readAllStandardError().constData();
    return page;
}

// Settings of the run's own: the debug window, or the real output display; the log
// at level 2 (in the run's own home), which says when the engine runs.
void WriteSettings(QTemporaryDir& dir, bool window) {
    QDir().mkpath(dir.filePath("config/Norvik"));
    QDir().mkpath(dir.filePath("home/Documents"));
    QFile ini(dir.filePath("config/Norvik/Corvane.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(window ? "[Debug]\nLog=2\nWindow=1\n" : "[Debug]\nLog=2\n");
}

QProcess* StartOutput(QTemporaryDir& dir, const QString& page, const QString& display, int mode, double seconds,
                      const QStringList& extra = {}) {
    auto* process = new QProcess;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DISPLAY", display);
    environment.insert("XDG_CONFIG_HOME", dir.filePath("config"));
    environment.insert("HOME", dir.filePath("home"));
    environment.remove("QT_QPA_PLATFORM");
    process->setProcessEnvironment(environment);
    process->start(CVTOOL_PATH, QStringList{"output", page, "--mode", QString::number(mode), "--seconds",
                                            QString::number(seconds)} + extra);
    return process;
}

// Waits until the output's render thread runs (its log says so), however long a
// busy machine takes to get there; false if the run ended first.
bool WaitUntilOnAir(QTemporaryDir& dir, QProcess* process) {
    QFile log(dir.filePath("home/Documents/cvtool.log"));
    QElapsedTimer waited;
    waited.start();
    while (process->state() != QProcess::NotRunning && waited.elapsed() < 120000) {
        if (log.exists() && log.open(QIODevice::ReadOnly)) {
            const QByteArray bytes = log.readAll();
            log.close();
            const QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()), bytes.size() / 2);
            if (text.contains(QStringLiteral("CRender::RenderThread() started"))) return true;
        }
        process->waitForFinished(50);
    }
    return false;
}

Outcome Finish(QProcess* process) {
    Outcome run;
    EXPECT_TRUE(process->waitForFinished(60000));
    run.exitCode = process->exitCode();
    run.err = process->readAllStandardError();
    const QList<QByteArray> lines = process->readAllStandardOutput().trimmed().split('\n');
    run.result = QJsonDocument::fromJson(lines.first()).object();
    delete process;
    return run;
}

// The engine's phase times as cvtool output prints them: every phase, each with
// its minimum, mean and maximum in order. They are this machine's times: printed,
// not held to any figure.
void ExpectPhases(const QJsonObject& result) {
    const QJsonObject phases = result.value("phases").toObject();
    const QStringList names{"collect", "damage", "upload", "compose", "output", "present"};
    EXPECT_EQ(phases.size(), names.size()) << QJsonDocument(phases).toJson().constData();
    double longest = 0;
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        ASSERT_TRUE(phases.value(name).isObject());
        const QJsonObject t = phases.value(name).toObject();
        for (const char* key : {"minMs", "meanMs", "maxMs"}) {
            EXPECT_TRUE(t.value(key).isDouble()) << key;
        }
        const double min = t.value("minMs").toDouble(), mean = t.value("meanMs").toDouble(),
                     max = t.value("maxMs").toDouble();
        EXPECT_GE(min, 0.0);
        EXPECT_LE(min, mean);
        EXPECT_LE(mean, max);
        longest = std::max(longest, max);
        std::printf("%-8s min %.3f  mean %.3f  max %.3f ms\n", qPrintable(name), min, mean, max);
    }
    // The runs play frames: figures of nothing but zeros were never measured.
    EXPECT_GT(longest, 0.0);
}

}  // namespace

// The pacer on a virtual clock: a server that returns from every swap at once,
// and a display that waits for its vertical blank.
TEST(FramePacer, HoldsAServerThatDoesNotWaitToOneSteadyCadence) {
    int64_t t = 1000;
    CFramePacer pacer(20000, [&] { return t; }, [&](int64_t until) { t = std::max(t, until) + 80; });  // wakes late
    constexpr int frames = 30000;  // ten minutes at 50 Hz
    for (int k = 0; k < frames; ++k) {
        t += 3000;  // drawing; the swap returns at once
        pacer.AfterPresent();
    }
    // The wake-ups' lateness does not add up: 50 frames a second, not 49.8.
    EXPECT_NEAR(pacer.Rate(), 50.0, 0.001);
    EXPECT_EQ(pacer.paced.load(), frames - 1);
    EXPECT_EQ(pacer.lateFrames.load(), 0);
    // A wake-up 50 ms late (the system stalled): the frames after it keep their
    // period instead of following each other at once to catch up.
    int64_t stall = 50000;
    CFramePacer stalled(20000, [&] { return t; }, [&](int64_t until) {
        t = std::max(t, until) + stall;
        stall = 80;
    });
    std::vector<int64_t> presents;
    for (int k = 0; k < 10; ++k) {
        t += 3000;
        stalled.AfterPresent();
        presents.push_back(t);
    }
    for (size_t k = 2; k < presents.size(); ++k) EXPECT_GE(presents[k] - presents[k - 1], 19000) << k;
}

TEST(FramePacer, NeverHoldsADisplayThatWaits) {
    // Displays whose real rate is a little off the nominal one, for an hour: the
    // display sets the time, and holding frames on a clock of its own would drift
    // against the blanks until each frame missed one.
    for (const int blank : {19990, 20000, 20010}) {
        int64_t t = 1000;
        CFramePacer pacer(20000, [&] { return t; }, [&](int64_t until) { t = std::max(t, until); });
        for (int k = 0; k < 180000; ++k) {
            t += 2000;                             // drawing
            t = (t / blank + 1) * blank;           // the swap returns at the next blank
            pacer.AfterPresent();
        }
        EXPECT_EQ(pacer.paced.load(), 0) << blank;
        EXPECT_EQ(pacer.lateFrames.load(), 0) << blank;
        EXPECT_NEAR(pacer.Rate(), 1e6 / blank, 0.001) << blank;
    }
}

TEST(LiveOutput, WindowModePlaysAFullHdCrawlPaced) {
    const QString display = QString::fromLocal8Bit(qgetenv("DISPLAY"));
    if (display.isEmpty()) GTEST_SKIP() << "no X server (the test command runs this under Xvfb)";
    QTemporaryDir dir;
    WriteSettings(dir, true);
    const QString page = MakePage(dir, 1, 1920);  // 1080p50 with a crawl across the picture
    const Outcome run = Finish(StartOutput(dir, page, display, 1, 10));
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_EQ(run.result.value("status").toInt(), 0);
    // Xvfb returns from a swap at once: the pacer holds the frames (its logic is
    // tested above on a virtual clock). The rate, the late frames and the longest
    // interval depend on the machine's load: reported, not asserted.
    EXPECT_GT(run.result.value("frames").toInt(), 0);
    std::printf("hz: %.2f, late frames: %d, longest interval %.1f ms, paced %d\n", run.result.value("hz").toDouble(),
                run.result.value("lateFrames").toInt(), run.result.value("longestIntervalMs").toDouble(),
                run.result.value("paced").toInt());
    ExpectPhases(run.result);
}

TEST(LiveOutput, PreviewPlaysInAWindowOfItsOwn) {
    const QString display = QString::fromLocal8Bit(qgetenv("DISPLAY"));
    if (display.isEmpty()) GTEST_SKIP() << "no X server (the test command runs this under Xvfb)";
    QTemporaryDir dir;
    WriteSettings(dir, false);  // no display is switched for a preview
    const QString page = MakePage(dir, 8);
    const Outcome run = Finish(StartOutput(dir, page, display, 8, 2, {"--preview"}));
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_EQ(run.result.value("status").toInt(), 0);
    EXPECT_GT(run.result.value("frames").toInt(), 0);  // how many depends on the machine's load
    ExpectPhases(run.result);
}

// Xorg with the dummy driver and DUMMY1 ready to be the output display.
std::unique_ptr<CXorgDummy> TwoOutputServer() {
    auto server = std::make_unique<CXorgDummy>(QString::fromLocal8Bit(qgetenv("CORVANE_TEST_DATA")) + "/xorg-dummy.conf");
    if (server->Display().isEmpty()) return server;
    const QStringList modes[] = {
        {"1920x1080_50", "148.5", "1920", "2448", "2492", "2640", "1080", "1084", "1089", "1125", "+hsync", "+vsync"},
        {"1280x720_50", "74.25", "1280", "1720", "1760", "1980", "720", "725", "730", "750", "+hsync", "+vsync"}};
    for (const QStringList& mode : modes) {
        EXPECT_TRUE(server->Xrandr(QStringList{"--newmode"} + mode));
        EXPECT_TRUE(server->Xrandr({"--addmode", "DUMMY1", mode.first()}));
    }
    EXPECT_TRUE(server->Xrandr({"--output", "DUMMY1", "--mode", "1920x1080_50", "--right-of", "DUMMY0"}));
    EXPECT_TRUE(server->Xrandr({"--output", "DUMMY1", "--off"}));
    return server;
}

TEST(LiveOutput, FullHdCrawlPlaysOnTheOutputDisplayAndGivesItBack) {
    const auto server = TwoOutputServer();
    if (server->Display().isEmpty()) GTEST_SKIP() << server->Reason().toStdString();
    QTemporaryDir dir;
    WriteSettings(dir, false);
    const QString page = MakePage(dir, 1, 1920);  // 1080p50, a crawl across the picture
    const Outcome run = Finish(StartOutput(dir, page, server->Display(), 1, 10));
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_EQ(run.result.value("status").toInt(), 0);
    // The real-time figures depend on the machine's load: reported, not asserted.
    EXPECT_GT(run.result.value("frames").toInt(), 0);
    std::printf("hz: %.2f, frames: %d, late frames: %d, longest interval %.1f ms\n", run.result.value("hz").toDouble(),
                run.result.value("frames").toInt(), run.result.value("lateFrames").toInt(),
                run.result.value("longestIntervalMs").toDouble());
    ExpectPhases(run.result);
    // The display is given back.
    CXRandRDisplaySystem displays(server->Display());
    std::vector<DisplayDevice> devices;
    ASSERT_TRUE(displays.Enumerate(devices));
    const auto output = std::find_if(devices.begin(), devices.end(), [](const DisplayDevice& d) { return d.name == "DUMMY1"; });
    ASSERT_NE(output, devices.end());
    EXPECT_FALSE(output->attached);
}

TEST(LiveOutput, ModeChangedUnderTheOutputEndsIt) {
    const auto server = TwoOutputServer();
    if (server->Display().isEmpty()) GTEST_SKIP() << server->Reason().toStdString();
    QTemporaryDir dir;
    WriteSettings(dir, false);
    const QString page = MakePage(dir, 1);
    QProcess* output = StartOutput(dir, page, server->Display(), 1, 60);
    EXPECT_TRUE(WaitUntilOnAir(dir, output));
    ASSERT_TRUE(server->Xrandr({"--output", "DUMMY1", "--mode", "1280x720_50"}));
    const Outcome run = Finish(output);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.result.value("status").toInt(), 5) << run.err.constData();
}

TEST(LiveOutput, WindowCoversTheOutputDisplayAndItsLossEndsTheOutput) {
    const auto owned = TwoOutputServer();
    CXorgDummy& server = *owned;
    if (server.Display().isEmpty()) GTEST_SKIP() << server.Reason().toStdString();
    QTemporaryDir dir;
    WriteSettings(dir, false);
    const QString page = MakePage(dir, 1);  // 1080p50
    QProcess* output = StartOutput(dir, page, server.Display(), 1, 60);
    EXPECT_TRUE(WaitUntilOnAir(dir, output));
    // The window is on DUMMY1, right of DUMMY0's 1280 pixels.
    QString geometry;
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 60000 && !geometry.contains("Geometry")) {
        QProcess xdotool;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DISPLAY", server.Display());
        xdotool.setProcessEnvironment(environment);
        xdotool.start("xdotool", {"search", "--name", "^HDMI$", "getwindowgeometry"});
        xdotool.waitForFinished(5000);
        geometry = QString::fromLocal8Bit(xdotool.readAllStandardOutput());
        if (!geometry.contains("Geometry")) QThread::msleep(200);
    }
    EXPECT_TRUE(geometry.contains("Position: 1280,0")) << geometry.toStdString();
    EXPECT_TRUE(geometry.contains("Geometry: 1920x1080")) << geometry.toStdString();
    // Someone switches the display off under the running output.
    ASSERT_TRUE(server.Xrandr({"--output", "DUMMY1", "--off"}));
    const Outcome run = Finish(output);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.result.value("status").toInt(), 5);
    EXPECT_TRUE(run.err.contains("Video mode has changed unexpectedly")) << run.err.constData();
}

#include "output/PowerGuard.h"

#include <X11/Xlib.h>
#include <X11/extensions/dpms.h>
#include <X11/extensions/scrnsaver.h>

TEST(PowerGuard, DisplayPowerSavingIsOffWhileOnAirAndBackAfter) {
    const QString display = QString::fromLocal8Bit(qgetenv("DISPLAY"));
    if (display.isEmpty()) GTEST_SKIP() << "no X server (the test command runs this under Xvfb)";
    Display* x = XOpenDisplay(nullptr);
    ASSERT_NE(x, nullptr);
    int event = 0, error = 0;
    if (XScreenSaverQueryExtension(x, &event, &error)) {
        CPowerGuard guard;
        EXPECT_TRUE(guard.screenSaverSuspended);
    }
    if (!DPMSQueryExtension(x, &event, &error) || !DPMSCapable(x)) {
        XCloseDisplay(x);
        GTEST_SKIP() << "the X server has no DPMS";
    }
    DPMSEnable(x);
    XSync(x, False);
    const auto enabled = [&] {
        CARD16 level = 0;
        BOOL on = False;
        DPMSInfo(x, &level, &on);
        return on == True;
    };
    ASSERT_TRUE(enabled());
    {
        CPowerGuard guard;
        EXPECT_TRUE(guard.dpmsWasEnabled);
        EXPECT_FALSE(enabled());
    }
    EXPECT_TRUE(enabled());
    // Left as found: off stays off.
    DPMSDisable(x);
    XSync(x, False);
    {
        CPowerGuard guard;
        EXPECT_FALSE(guard.dpmsWasEnabled);
    }
    EXPECT_FALSE(enabled());
    XCloseDisplay(x);
}
