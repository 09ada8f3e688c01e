// Global hotkeys on the X server of DISPLAY (Xvfb in the test run), pressed with
// xdotool as another application would see them.
#include "app/MainDoc.h"
#include "remote/GlobalHotkeys.h"
#include "tests/RemoteTestSupport.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

using RemoteTest::WaitUntil;

namespace {

TEST(HotkeyIndex, CtrlDigitsThenAltDigits) {
    struct Case {
        int index;
        bool valid;
        unsigned modifiers;
        uint32_t keysym;
    };
    const Case cases[] = {
        {0, false, 0, 0},
        {1, true, CGlobalHotkeys::ModControl, '0'},
        {3, true, CGlobalHotkeys::ModControl, '2'},
        {10, true, CGlobalHotkeys::ModControl, '9'},
        {11, true, CGlobalHotkeys::ModAlt, '0'},
        {12, true, CGlobalHotkeys::ModAlt, '1'},
        {20, true, CGlobalHotkeys::ModAlt, '9'},
        {21, false, 0, 0},
        {-1, false, 0, 0},
    };
    for (const Case& c : cases) {
        unsigned modifiers = 0;
        uint32_t keysym = 0;
        EXPECT_EQ(CGlobalHotkeys::Combination(c.index, modifiers, keysym), c.valid) << c.index;
        if (!c.valid) continue;
        EXPECT_EQ(modifiers, c.modifiers) << c.index;
        EXPECT_EQ(keysym, c.keysym) << c.index;
    }
}

class GlobalHotkeys : public ::testing::Test {
protected:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("DISPLAY")) GTEST_SKIP() << "no X display (DISPLAY is not set)";
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) GTEST_SKIP() << "xdotool is not installed";
        // Xvfb resets itself when its last client leaves (the previous test's) and
        // refuses connections meanwhile: try again for a while.
        for (int attempt = 0; attempt < 100; ++attempt) {
            hotkeys = std::make_unique<CGlobalHotkeys>(
                CGlobalHotkeys::HotkeyTarget(&receiver, [this](int id) { pressed.push_back(id); }), log.Sink());
            if (hotkeys->IsAvailable()) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        if (!hotkeys->IsAvailable()) GTEST_SKIP() << "the X display " << qgetenv("DISPLAY").constData() << " cannot be opened: " << qPrintable(log.Lines().join(u'\n'));
    }

    static bool Press(const char* keys) {
        return QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), QString::fromLatin1(keys)}) == 0;
    }

    QObject receiver;
    std::vector<int> pressed;
    RemoteTest::LogLines log;
    std::unique_ptr<CGlobalHotkeys> hotkeys;
};

TEST_F(GlobalHotkeys, AGrabbedCombinationIsReportedWithItsIdentifier) {
    ASSERT_TRUE(hotkeys->RegisterAutomationHotkey(4, 12));  // Alt+1
    ASSERT_TRUE(hotkeys->Register(7, CGlobalHotkeys::ModControl, '3'));
    EXPECT_TRUE(log.Contains(QStringLiteral("2 CMainDoc::AutomationRegisterGlobalHotkeys(4, 12) = 1")));
    ASSERT_TRUE(Press("alt+1"));
    ASSERT_TRUE(WaitUntil([&] { return pressed.size() >= 1; }));
    ASSERT_TRUE(Press("ctrl+3"));
    ASSERT_TRUE(WaitUntil([&] { return pressed.size() >= 2; }));
    // A combination nobody grabbed, then the first again: only the grabbed one counts.
    ASSERT_TRUE(Press("ctrl+4"));
    ASSERT_TRUE(Press("alt+1"));
    ASSERT_TRUE(WaitUntil([&] { return pressed.size() >= 3; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(pressed, (std::vector<int>{4, 7, 4}));
}

TEST_F(GlobalHotkeys, ACombinationAnotherClientHoldsIsRefusedAndLogged) {
    ASSERT_TRUE(hotkeys->Register(1, CGlobalHotkeys::ModControl, '5'));
    RemoteTest::LogLines otherLog;
    QObject otherReceiver;
    std::vector<int> otherPressed;
    CGlobalHotkeys other(CGlobalHotkeys::HotkeyTarget(&otherReceiver, [&](int id) { otherPressed.push_back(id); }),
                         otherLog.Sink());
    ASSERT_TRUE(other.IsAvailable());
    EXPECT_FALSE(other.RegisterAutomationHotkey(2, 6));  // Ctrl+5, held by the first client
    EXPECT_TRUE(otherLog.Contains(QStringLiteral("2 CMainDoc::AutomationRegisterGlobalHotkeys(2, 6) = 0")))
        << qPrintable(otherLog.Lines().join(u'\n'));
    // The refused registration left the first client's grab alone.
    ASSERT_TRUE(Press("ctrl+5"));
    ASSERT_TRUE(WaitUntil([&] { return pressed.size() >= 1; }));
    EXPECT_EQ(pressed, (std::vector<int>{1}));

    // Once released, the other client gets it.
    EXPECT_TRUE(hotkeys->Unregister(1));
    EXPECT_FALSE(hotkeys->Unregister(1));
    ASSERT_TRUE(other.RegisterAutomationHotkey(2, 6));
    ASSERT_TRUE(Press("ctrl+5"));
    ASSERT_TRUE(WaitUntil([&] { return otherPressed.size() >= 1; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(otherPressed, (std::vector<int>{2}));
    EXPECT_EQ(pressed, (std::vector<int>{1}));
}

TEST_F(GlobalHotkeys, TheGrabHoldsWithCapsLockOn) {
    ASSERT_TRUE(hotkeys->Register(3, CGlobalHotkeys::ModAlt, '9'));
    ASSERT_TRUE(Press("Caps_Lock"));
    const bool pressedWithLock = Press("alt+9");
    ASSERT_TRUE(Press("Caps_Lock"));
    ASSERT_TRUE(pressedWithLock);
    ASSERT_TRUE(WaitUntil([&] { return pressed.size() >= 1; }));
    EXPECT_EQ(pressed, (std::vector<int>{3}));
}

TEST_F(GlobalHotkeys, AHeldCombinationCountsOnceWhateverTheServerRepeats) {
    ASSERT_TRUE(hotkeys->Register(5, CGlobalHotkeys::ModControl, '7'));
    ASSERT_TRUE(hotkeys->Register(6, CGlobalHotkeys::ModControl, '8'));
    ASSERT_EQ(QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("keydown"), QStringLiteral("ctrl+7")}), 0);
    ASSERT_TRUE(WaitUntil([&] { return pressed.size() >= 1; }));
    // Held past the server's repeat delay (660 ms by default): its repeats would
    // arrive as further presses.
    WaitUntil([] { return false; }, 1500);
    ASSERT_EQ(QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("keyup"), QStringLiteral("ctrl+7")}), 0);
    ASSERT_TRUE(Press("ctrl+8"));  // everything before this press has been read once it arrives
    ASSERT_TRUE(WaitUntil([&] { return !pressed.empty() && pressed.back() == 6; }));
    EXPECT_EQ(pressed, (std::vector<int>{5, 6}));
}

// The document's registration: only entries marked Global are grabbed, and a press
// in another application starts the entry's script.
TEST_F(GlobalHotkeys, TheDocumentRegistersItsGlobalEntriesAndTheirPressStartsTheScript) {
    struct Host : IDocumentHost {
        void UpdateViews(int) override {}
    } host;
    CMainDoc doc(host, 0);
    doc.Page.OutputOn = 1;
    QTemporaryDir dir;
    CFrameScript script;
    script.Append(std::make_unique<CFrameScriptItem>(ScriptActionType::WaitPeriod, QString(), 60));
    const QString file = dir.filePath(QStringLiteral("opening.script"));
    ASSERT_TRUE(script.SaveFile(file));
    CFrameScriptSchedule global, local;
    global.File = local.File = file;
    global.Hotkey = 16;  // Alt+5
    global.Global = 1;
    local.Hotkey = 17;  // Alt+6, inside the application only
    doc.Automation = {CFrameScriptSchedule{}, local, global};
    // This fixture's receiver collects the presses; the document's takes them to the entry.
    QObject receiver;
    std::vector<int> entries;
    CGlobalHotkeys documentKeys(CGlobalHotkeys::HotkeyTarget(&receiver,
                                                             [&](int id) {
                                                                 entries.push_back(id);
                                                                 doc.GlobalHotkeyEvent(id);
                                                             }),
                                log.Sink());
    ASSERT_TRUE(documentKeys.IsAvailable());
    hotkeys.reset();  // the fixture's connection is not needed
    doc.AutomationRegisterGlobalHotkeys(documentKeys);
    EXPECT_TRUE(log.Contains(QStringLiteral("2 CMainDoc::AutomationRegisterGlobalHotkeys(2, 16) = 1")));
    EXPECT_FALSE(log.Contains(QStringLiteral("2 CMainDoc::AutomationRegisterGlobalHotkeys(1, 17) = 1")));

    ASSERT_TRUE(documentKeys.Register(100, CGlobalHotkeys::ModControl, '9'));  // a marker: presses before it have arrived
    ASSERT_TRUE(Press("alt+6"));
    ASSERT_TRUE(Press("alt+5"));
    ASSERT_TRUE(Press("ctrl+9"));
    ASSERT_TRUE(WaitUntil([&] { return !entries.empty() && entries.back() == 100; }));
    EXPECT_EQ(entries, (std::vector<int>{2, 100}));
    EXPECT_TRUE(doc.ScriptRunning());
    EXPECT_EQ(doc.Script.DisplayName(), QStringLiteral("opening"));

    doc.ScriptStop();
    doc.AutomationUnregisterGlobalHotkeys(documentKeys);
    ASSERT_TRUE(Press("alt+5"));
    ASSERT_TRUE(Press("ctrl+9"));
    ASSERT_TRUE(WaitUntil([&] { return entries.size() >= 3; }));
    EXPECT_EQ(entries, (std::vector<int>{2, 100, 100})) << "released while the automation editor is open";
    EXPECT_FALSE(doc.ScriptRunning());
}

TEST(GlobalHotkeysWithoutDisplay, AnUnreachableDisplayLeavesThemOffAndRefusesRegistrations) {
    RemoteTest::LogLines log;
    CGlobalHotkeys hotkeys(CGlobalHotkeys::HotkeyTarget(), log.Sink(), ":4093");
    EXPECT_FALSE(hotkeys.IsAvailable());
    EXPECT_FALSE(hotkeys.Register(1, CGlobalHotkeys::ModControl, '1'));
    EXPECT_FALSE(hotkeys.RegisterAutomationHotkey(1, 2));
    EXPECT_TRUE(log.Contains(QStringLiteral("2 CMainDoc::AutomationRegisterGlobalHotkeys(1, 2) = 0")));
}

}  // namespace
