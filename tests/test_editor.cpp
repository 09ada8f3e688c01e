// The editor's window and its shell: the close question, the application hotkeys,
// the script pane, the tick, the layout and canvas keys of each instance kind, the
// language menu, and the instance rule of the real executable. Windows are shown
// on the X server of DISPLAY (Xvfb in the test command); assertions read the
// document and the settings, never pixels.
#include "app/EditorShell.h"
#include "app/MainApp.h"
#include "app/PreviewPane.h"
#include "remote/GlobalHotkeys.h"
#include "output/RenderWindow.h"
#include "remote/RemoteButtons.h"
#include "remote/SwitcherPeer.h"
#include "tests/TemporaryUserFolders.h"
#include "ui/Commands.h"
#include "ui/FormatBar.h"
#include "ui/InPlaceEditor.h"
#include "ui/MainFrame.h"
#include "ui/MainView.h"
#include "ui/PreferencesDialog.h"
#include "ui/SetupWizard.h"
#include "ui/ScriptEditorDialog.h"
#include "ui/AutomationDialog.h"
#include "ui/PluginPanel.h"
#include "ui/ProgressDialog.h"
#include "ui/ParagraphDialog.h"
#include "ui/PropertiesView.h"
#include "ui/NavigatorView.h"
#include "ui/PagesBrowserView.h"
#include "ui/ThumbnailView.h"
#include "ui/PreviewView.h"

#include <QApplication>
#include <QComboBox>
#include <QTreeWidget>
#include <QImage>
#include <QTemporaryDir>
#include <QTimer>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QContextMenuEvent>
#include <QJsonArray>
#include <QJsonObject>
#include <QMenuBar>
#include <QProcess>
#include <QSplitter>
#include <QWindow>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <deque>
#include <gtest/gtest.h>

namespace {

// Answers the questions in turn and keeps every text shown.
class AnsweringPresenter : public IMessagePresenter {
public:
    AnsweringPresenter() { previous_ = CTranslate::Global().SetPresenter(this); }
    ~AnsweringPresenter() override { CTranslate::Global().SetPresenter(previous_); }
    int Show(const QString& text, unsigned) override {
        texts.push_back(text);
        if (answers.empty()) return IdOk;
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::deque<int> answers;
    std::vector<QString> texts;

private:
    IMessagePresenter* previous_ = nullptr;
};

class EditorWindow : public TemporaryUserFolders {
protected:
    EditorWindow() : TemporaryUserFolders(true) {}
    void SetUp() override {
        TemporaryUserFolders::SetUp();
        store = std::make_unique<CSettingsStore>(config_ + QStringLiteral("/Corvane.ini"));
        // A first start would open the setup wizard at the first tick; the tests of
        // it ask for that themselves.
        store->Set(Settings::FirstTimeSetup, 0);
        CTranslate::Global().Clear();
        CTranslate::Global().SelectLanguage(0);
    }
    void TearDown() override {
        frame.reset();
        store.reset();
        CTranslate::Global().Clear();
        TemporaryUserFolders::TearDown();
    }
    CMainFrame& Make(InstanceKind kind, RemoteButtons::Timing timing = {}) {
        frame = std::make_unique<CMainFrame>(kind, *store, nullptr, timing);
        frame->View().TickTimer().stop();  // the tests tick by hand unless they say otherwise
        return *frame;
    }
    // An object with a hotkey on a page whose output is "on" (as an engine sets it).
    CFrame* AddObject(int hotkey) {
        CMainDoc& doc = frame->Document();
        doc.AddSimpleObject();
        doc.Selected->Hotkey = hotkey;
        return doc.Selected;
    }
    static bool Plays(const CFrame* object) { return object->Playing.load() != 0; }
    static bool Ends(const CFrame* object) { return object->Ending.load() != 0; }

    std::unique_ptr<CSettingsStore> store;
    std::unique_ptr<CMainFrame> frame;
    AnsweringPresenter presenter;
};

}  // namespace

TEST(EditorShellTexts, TitlesStatesScriptPaneAndHotkeyCommands) {
    CTranslate::Global().Clear();
    CTranslate::Global().SelectLanguage(0);
    EXPECT_EQ(Shell::WindowTitle(InstanceKind::Main, QStringLiteral("Untitled")), QStringLiteral("Corvane - Untitled"));
    EXPECT_EQ(Shell::WindowTitle(InstanceKind::Editor, QStringLiteral("news.corvane")),
              QStringLiteral("Corvane Editor - news.corvane"));

    const struct {
        int state;
        const char* text;
    } states[] = {{0, "Idle"}, {1, "HDMI output is on"}, {2, "Edit mode"}, {3, "Preview mode"}, {7, "Idle"}};
    for (const auto& s : states) EXPECT_EQ(Shell::ApplicationStateText(s.state), QString::fromUtf8(s.text)) << s.state;

    EXPECT_EQ(Shell::ScriptStatusText(0, QStringLiteral("show"), 1, 3), QString());
    EXPECT_EQ(Shell::ScriptStatusText(1, QStringLiteral("show"), 1, 3), QStringLiteral("script [show] loaded"));
    EXPECT_EQ(Shell::ScriptStatusText(2, QStringLiteral("show"), 2, 3),
              QStringLiteral("script [show] playing, step: 2 of 3"));

    const struct {
        unsigned command;
        int hotkey;
    } keys[] = {{32949, 0}, {32950, 1}, {32959, 10}, {32960, 11}, {32969, 20}, {32970, 0}};
    for (const auto& k : keys) {
        EXPECT_EQ(Shell::HotkeyForCommand(k.command), k.hotkey) << k.command;
        if (k.hotkey) {
            EXPECT_EQ(Shell::CommandForHotkey(k.hotkey), k.command);
        }
    }
    EXPECT_EQ(Shell::CommandForHotkey(0), 0u);
    EXPECT_EQ(Shell::CommandForHotkey(21), 0u);

}

TEST_F(EditorWindow, ClosingAModifiedPageAsksAndDoesWhatTheAnswerSays) {
    CMainFrame& window = Make(InstanceKind::Main);
    window.show();
    CMainDoc& doc = window.Document();

    // Nothing changed: no question.
    EXPECT_TRUE(window.close());
    EXPECT_TRUE(presenter.texts.empty());

    // Cancel keeps the window and the changes; the question names the page.
    window.show();
    doc.AddSimpleObject();
    ASSERT_TRUE(doc.Modified);
    presenter.answers = {IdCancel};
    EXPECT_FALSE(window.close());
    ASSERT_EQ(presenter.texts.size(), 1u);
    EXPECT_EQ(presenter.texts[0], QStringLiteral("Save changes to 'Untitled'?"));
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(doc.Modified);
    EXPECT_EQ(doc.Page.LiveCount(), 1);

    // Yes on a page without a file asks for one; no name given keeps the window.
    presenter.answers = {IdYes};
    int asked = 0;
    window.ChooseSavePath = [&asked] {
        ++asked;
        return QString();
    };
    EXPECT_FALSE(window.close());
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(doc.Modified);

    // Yes with a name saves the page, then the window closes.
    const QString path = dir_.filePath(QStringLiteral("lower third.corvane"));
    window.ChooseSavePath = [path] { return path; };
    presenter.answers = {IdYes};
    EXPECT_TRUE(window.close());
    EXPECT_FALSE(doc.Modified);
    EXPECT_TRUE(QFileInfo::exists(path));

    // The question names a saved page by its file name without folder and extension.
    window.show();
    doc.AddSimpleObject();
    presenter.answers = {IdNo};
    EXPECT_TRUE(window.close());
    EXPECT_EQ(presenter.texts.back(), QStringLiteral("Save changes to 'lower third'?"));
    EXPECT_TRUE(doc.Modified);  // No leaves the page unsaved
    EXPECT_EQ(doc.Page.LiveCount(), 2);
    CMainDoc reread(window, 0);
    ASSERT_TRUE(reread.Open(path));
    EXPECT_EQ(reread.Page.LiveCount(), 1);  // the file holds what Yes saved
}

TEST_F(EditorWindow, NewAndOpenAskFirstAndCancelKeepsThePage) {
    CMainFrame& window = Make(InstanceKind::Main);
    CMainDoc& doc = window.Document();
    doc.AddSimpleObject();
    presenter.answers = {IdCancel};
    window.OnCommand(Commands::FileNew);
    EXPECT_EQ(doc.Page.LiveCount(), 1);
    presenter.answers = {IdNo};
    window.OnCommand(Commands::FileNew);
    EXPECT_EQ(doc.Page.LiveCount(), 0);
    EXPECT_FALSE(doc.Modified);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Corvane - Untitled"));

    // Yes saves first, under the name asked for (with the page files' extension).
    doc.AddSimpleObject();
    const QString name = dir_.filePath(QStringLiteral("first"));
    window.ChooseSavePath = [name] { return name; };
    presenter.answers = {IdYes};
    window.OnCommand(Commands::FileNew);
    EXPECT_EQ(doc.Page.LiveCount(), 0);
    CMainDoc reread(window, 0);
    ASSERT_TRUE(reread.Open(name + QStringLiteral(".corvane")));
    EXPECT_EQ(reread.Page.LiveCount(), 1);

    // Open takes the page chosen, and shows it in the title.
    window.ChooseOpenPath = [name] { return name + QStringLiteral(".corvane"); };
    window.OnCommand(Commands::FileOpen);
    EXPECT_EQ(doc.Page.LiveCount(), 1);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Corvane - first.corvane"));
    EXPECT_EQ(presenter.texts.size(), 3u);  // the three questions, no error
}

TEST_F(EditorWindow, ApplicationHotkeysToggleTheirObjects) {
    CMainFrame& window = Make(InstanceKind::Main);
    CMainDoc& doc = window.Document();
    CFrame* ctrl2 = AddObject(3);    // Ctrl+2
    CFrame* alt5 = AddObject(16);    // Alt+5
    CFrame* other = AddObject(4);    // Ctrl+3
    doc.Page.OutputOn.store(1);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    QTest::keyClick(&window, Qt::Key_2, Qt::ControlModifier);
    EXPECT_TRUE(Plays(ctrl2));
    EXPECT_FALSE(Plays(alt5));
    EXPECT_FALSE(Plays(other));
    QTest::keyClick(&window, Qt::Key_5, Qt::AltModifier);
    EXPECT_TRUE(Plays(alt5));
    EXPECT_FALSE(Ends(ctrl2));
    QTest::keyClick(&window, Qt::Key_2, Qt::ControlModifier);
    EXPECT_TRUE(Ends(ctrl2));  // the second press ends it (through its out effect)
    EXPECT_TRUE(Plays(alt5));
    EXPECT_FALSE(Ends(alt5));
    EXPECT_FALSE(Plays(other));

    doc.Command(PlayCommand::Stop, CommandTarget::Every());
    ASSERT_FALSE(Plays(ctrl2));
    doc.Page.OutputOn.store(0);
    // With the output off a hotkey moves nothing.
    QTest::keyClick(&window, Qt::Key_2, Qt::ControlModifier);
    EXPECT_FALSE(Plays(ctrl2));
    doc.Modified = false;
}

TEST_F(EditorWindow, TheTickRunsTheScriptAndThePaneFollowsIt) {
    CMainFrame& window = Make(InstanceKind::Main);
    CMainDoc& doc = window.Document();
    EXPECT_TRUE(doc.MainInstance);
    CFrame* object = AddObject(0);
    const QString page = dir_.filePath(QStringLiteral("page.corvane"));
    ASSERT_TRUE(doc.Save(page));  // a script runs only on a saved page
    doc.Page.OutputOn.store(1);

    CFrameScript script;
    script.Append(std::make_unique<CFrameScriptItem>(ScriptActionType::PlayObjects));
    script.Append(std::make_unique<CFrameScriptItem>(ScriptActionType::WaitObjectsEnd));
    const QString path = dir_.filePath(QStringLiteral("opening.script"));
    ASSERT_TRUE(script.SaveFile(path));
    window.ChooseScriptPath = [path] { return path; };
    EXPECT_EQ(window.ScriptStatusText(), QString());

    window.OnCommand(Commands::ScriptPlay);
    ASSERT_TRUE(doc.ScriptRunning());
    EXPECT_EQ(window.ScriptStatusText(), QStringLiteral("script [opening] playing, step: 1 of 2"));
    EXPECT_FALSE(Plays(object));

    // The view's own timer: the first tick is the start-up's, the next ones run
    // the script: it plays the object and waits for it.
    window.View().TickTimer().start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Plays(object); }, 5000));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return window.ScriptStatusText() == QStringLiteral("script [opening] playing, step: 2 of 2"); }, 5000));
    EXPECT_GE(window.View().Shell().Ticks(), 2);

    window.OnCommand(Commands::ScriptStop);
    EXPECT_FALSE(doc.ScriptRunning());
    EXPECT_EQ(window.ScriptStatusText(), QStringLiteral("script [opening] loaded"));
    window.View().TickTimer().stop();
    doc.Command(PlayCommand::Stop, CommandTarget::Every());
    doc.Page.OutputOn.store(0);
}

TEST_F(EditorWindow, TheFirstTickOfAnEditorInstanceRunsNoStartUpWork) {
    for (InstanceKind kind : {InstanceKind::Main, InstanceKind::Editor}) {
        CMainFrame& window = Make(kind);
        EXPECT_EQ(window.Document().MainInstance, kind == InstanceKind::Main);
        window.View().Shell().Tick();
        // Global hotkeys are the main instance's alone.
        EXPECT_EQ(window.View().Shell().GlobalHotkeys() != nullptr, kind == InstanceKind::Main);
        EXPECT_EQ(window.ApplicationState(), kind == InstanceKind::Main ? Shell::StateIdle : Shell::StateEditMode);
        EXPECT_EQ(window.ApplicationStateText(),
                  QString::fromUtf8(kind == InstanceKind::Main ? "Idle" : "Edit mode"));
        EXPECT_EQ(window.windowTitle(), QString::fromUtf8(kind == InstanceKind::Main ? "Corvane - Untitled"
                                                                                     : "Corvane Editor - Untitled"));
        frame.reset();
    }
}

TEST_F(EditorWindow, EachInstanceKindKeepsItsOwnLayoutAndCanvasKeys) {
    const struct {
        InstanceKind kind;
        const char* layout;
        const char* canvas;
        QSize stored, resized;
    } kinds[] = {{InstanceKind::Main, "Layout", "ViewEdit", {900, 600}, {1000, 700}},
                 {InstanceKind::Editor, "LayoutEdit", "View", {800, 500}, {700, 400}}};
    for (const auto& k : kinds) {
        const QString layout = QString::fromUtf8(k.layout);
        store->WriteInt(layout, QStringLiteral("Left"), 40);
        store->WriteInt(layout, QStringLiteral("Top"), 30);
        store->WriteInt(layout, QStringLiteral("Width"), k.stored.width());
        store->WriteInt(layout, QStringLiteral("Height"), k.stored.height());
        store->WriteInt(layout, QStringLiteral("Maximize"), 0);
        store->WriteInt(QString::fromUtf8(k.canvas), QStringLiteral("ZoomFactor"), 5);  // 25 %
    }
    for (const auto& k : kinds) {
        const QString layout = QString::fromUtf8(k.layout), canvas = QString::fromUtf8(k.canvas);
        CMainFrame& window = Make(k.kind);
        EXPECT_EQ(window.geometry().size(), k.stored) << k.layout;
        EXPECT_EQ(window.View().ZoomIndex(), 5);
        EXPECT_FALSE(window.Action(Commands::ZoomOut)->isEnabled());
        window.OnCommand(Commands::ZoomIn);
        window.OnCommand(Commands::SnapToGrid);
        EXPECT_EQ(store->GetInt(canvas, QStringLiteral("ZoomFactor"), -1), 4) << k.canvas;
        EXPECT_EQ(store->GetInt(canvas, QStringLiteral("SnapToGrid"), -1), 1) << k.canvas;
        EXPECT_TRUE(window.Action(Commands::SnapToGrid)->isChecked());
        EXPECT_TRUE(window.Action(Commands::ZoomOut)->isEnabled());
        window.show();
        window.resize(k.resized);
        ASSERT_TRUE(window.close());
        EXPECT_EQ(store->GetInt(layout, QStringLiteral("Width"), -1), k.resized.width()) << k.layout;
        EXPECT_EQ(store->GetInt(layout, QStringLiteral("Height"), -1), k.resized.height()) << k.layout;
        EXPECT_EQ(store->GetInt(layout, QStringLiteral("Maximize"), -1), 0) << k.layout;
        frame.reset();
    }
    // The editor instance's start read its own section, not the main instance's
    // layout that was written just before.
    EXPECT_EQ(store->GetInt(QStringLiteral("Layout"), QStringLiteral("Width"), -1), 1000);
}

TEST_F(EditorWindow, TheLanguageMenuTranslatesTheMenusAndRemembersTheChoice) {
    const QByteArray pack = R"(<?xml version="1.0" encoding="UTF-8"?>
<language_pack><translations>
  <translation name="Deutsch" id="1031"><resources>
    <string id="48010000">&amp;Datei</string>
    <string id="48038016">Am &amp;Raster ausrichten</string>
    <string id="C000800D">Alle Objekte abspielen\nAlle abspielen</string>
  </resources></translation>
</translations></language_pack>)";
    ASSERT_TRUE(CTranslate::Global().LoadLanguagePackData(pack));
    CMainFrame& window = Make(InstanceKind::Main);
    ASSERT_NE(window.Action(Commands::LanguageFirst + 1), nullptr);
    EXPECT_EQ(window.Action(Commands::LanguageFirst + 1)->text(), QStringLiteral("Deutsch"));
    EXPECT_TRUE(window.Action(Commands::LanguageFirst)->isChecked());
    EXPECT_EQ(window.menuBar()->actions().at(0)->text(), QStringLiteral("&File"));

    window.OnCommand(Commands::LanguageFirst + 1);
    EXPECT_EQ(store->GetInt(QStringLiteral("Language"), QStringLiteral("ID"), -5), 1);
    EXPECT_EQ(window.menuBar()->actions().at(0)->text(), QStringLiteral("&Datei"));
    // The third submenu holds the snap command: its key counts the submenus before it.
    EXPECT_EQ(window.Action(Commands::SnapToGrid)->text(), QStringLiteral("Am &Raster ausrichten"));
    EXPECT_EQ(window.Action(Commands::PlayAll)->statusTip(), QStringLiteral("Alle Objekte abspielen"));
    EXPECT_TRUE(window.Action(Commands::LanguageFirst + 1)->isChecked());

    window.OnCommand(Commands::LanguageFirst);
    EXPECT_EQ(window.menuBar()->actions().at(0)->text(), QStringLiteral("&File"));
    EXPECT_EQ(store->GetInt(QStringLiteral("Language"), QStringLiteral("ID"), -5), 0);
}

TEST_F(EditorWindow, FormatCommandsActOnTheTextEditedInPlaceAndUndoStaysInTheEditor) {
    CMainFrame& window = Make(InstanceKind::Editor);
    window.show();
    CMainDoc& doc = window.Document();
    CFrame* object = AddObject(0);
    object->RichText = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}\\pard\\f0\\fs56 Score\\par}";
    // Closed: the format commands are disabled and the toolbar's boxes empty.
    EXPECT_FALSE(window.Action(Commands::FormatBold)->isEnabled());
    EXPECT_FALSE(window.FormatBar().FontSizes()->isEnabled());

    window.OnCommand(Commands::EditText);
    CInPlaceEditor* editor = window.View().Editor();
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(window.Action(Commands::FormatBold)->isEnabled());
    EXPECT_EQ(window.FormatBar().FontSizes()->currentText(), QStringLiteral("28"));
    editor->selectAll();
    window.OnCommand(Commands::FormatBold);
    EXPECT_TRUE(window.Action(Commands::FormatBold)->isChecked());
    window.ChooseColour = [](const QColor&) { return QColor(255, 200, 0); };
    window.OnCommand(Commands::FormatTextColour);
    EXPECT_FALSE(editor->textCursor().hasSelection()) << "the selection collapses after a colour";
    editor->selectAll();
    window.FormatBar().FontSizes()->setEditText(QStringLiteral("40"));
    window.FormatBar().sizePicked(QStringLiteral("40"));
    EXPECT_EQ(window.FormatBar().FontSizes()->currentText(), QStringLiteral("40"));
    // Undo in the Edit menu is the editor's while it is open.
    window.OnCommand(Commands::EditUndo);
    EXPECT_EQ(window.FormatBar().FontSizes()->currentText(), QStringLiteral("28"));
    editor->selectAll();
    window.OnCommand(Commands::AlignCenter);
    EXPECT_TRUE(window.Action(Commands::AlignCenter)->isChecked());
    EXPECT_FALSE(window.Action(Commands::AlignLeft)->isChecked());

    const size_t entries = doc.Undo.UndoStack.size();
    QTest::keyClick(editor, Qt::Key_Escape);
    EXPECT_EQ(window.View().Editor(), nullptr);
    for (const char* part : {"\\b", "\\qc", "\\red255\\green200\\blue0", "\\fs56"})
        EXPECT_TRUE(object->RichText.contains(part)) << part << " in " << object->RichText.constData();
    EXPECT_EQ(doc.Undo.UndoStack.size(), entries + 1);
    EXPECT_FALSE(window.Action(Commands::FormatBold)->isEnabled());
    window.OnCommand(Commands::EditUndo);
    EXPECT_TRUE(object->RichText.contains("\\fs56 Score")) << "the page's undo puts the old text back";
    EXPECT_FALSE(object->RichText.contains("\\qc"));
}

TEST_F(EditorWindow, ContextMenusCarryTheirCommandsStatesAndTranslations) {
    const QByteArray pack = R"(<?xml version="1.0" encoding="UTF-8"?>
<language_pack><translations>
  <translation name="Deutsch" id="1031"><resources>
    <string id="4CB08017">&amp;Text bearbeiten</string>
  </resources></translation>
</translations></language_pack>)";
    ASSERT_TRUE(CTranslate::Global().LoadLanguagePackData(pack));
    CMainFrame& window = Make(InstanceKind::Main);
    window.OnCommand(Commands::LanguageFirst + 1);
    auto ids = [](QMenu& menu) {
        std::vector<unsigned> result;
        for (QAction* action : menu.actions())
            if (!action->isSeparator()) result.push_back(action->property("commandId").toUInt());
        return result;
    };
    std::unique_ptr<QMenu> page = window.MakeContextMenu(Commands::PageMenu);
    EXPECT_EQ(ids(*page).front(), Commands::EditPaste);
    EXPECT_FALSE(page->actions().front()->isEnabled()) << "nothing to paste yet";

    AddObject(0);
    std::unique_ptr<QMenu> object = window.MakeContextMenu(Commands::ObjectMenu);
    ASSERT_FALSE(object->actions().empty());
    EXPECT_EQ(ids(*object).front(), Commands::EditText);
    EXPECT_EQ(object->actions().front()->text(), QStringLiteral("&Text bearbeiten"))
        << "translated with the context menu's own id";
    EXPECT_EQ(window.Action(Commands::EditText)->text(), QStringLiteral("&Edit text")) << "the main menu keeps its own";
    object->actions().front()->trigger();
    EXPECT_TRUE(window.View().Canvas().Editing());
    std::unique_ptr<QMenu> editing = window.MakeContextMenu(Commands::EditingMenu);
    EXPECT_EQ(ids(*editing).front(), Commands::EditUndo);
    window.View().Canvas().EndEdit();
}

TEST_F(EditorWindow, TheFirstTickRegistersTheGlobalHotkeysOfTheMainInstance) {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) GTEST_SKIP() << "needs an X server";
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) GTEST_SKIP() << "needs xdotool";
    CMainFrame& window = Make(InstanceKind::Main);
    CMainDoc& doc = window.Document();
    AddObject(0);
    ASSERT_TRUE(doc.Save(dir_.filePath(QStringLiteral("page.corvane"))));
    doc.Page.OutputOn.store(1);  // a script runs only while the output is on

    CFrameScript script;
    script.Append(std::make_unique<CFrameScriptItem>(ScriptActionType::WaitPeriod, QString(), 600));
    const QString path = dir_.filePath(QStringLiteral("headline.script"));
    ASSERT_TRUE(script.SaveFile(path));
    CFrameScriptSchedule entry;
    entry.File = path;
    entry.Hotkey = 13;  // Alt+2
    entry.Global = 1;
    doc.Automation.push_back(entry);

    window.View().Shell().Tick();
    ASSERT_NE(window.View().Shell().GlobalHotkeys(), nullptr);
    ASSERT_TRUE(window.View().Shell().GlobalHotkeys()->IsAvailable());
    // Pressed on the X server (whichever window has the focus): the entry's script starts.
    EXPECT_EQ(QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("alt+2")}), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return doc.ScriptRunning(); }, 20000));
    EXPECT_EQ(doc.Script.FileName(), path);
    doc.ScriptStop();
    doc.Page.OutputOn.store(0);
}

TEST_F(EditorWindow, SwitcherButtonsToggleTheirObjectsAndLightTheirLamps) {
    CSwitcherPeer peer;
    ASSERT_TRUE(peer.Open(0)) << qPrintable(peer.Error());
    RemoteButtons::Timing timing;
    timing.port = peer.Port();
    timing.waitMs = 100;
    timing.endPauseMs = 10;
    store->Set(Settings::UseRemote, 1);
    store->Set(Settings::RemoteIP, int(RemoteButtons::FromDotted(QStringLiteral("127.0.0.1"))));

    // An editor instance has no switcher client.
    EXPECT_EQ(Make(InstanceKind::Editor, timing).View().Shell().Switcher(), nullptr);
    frame.reset();

    CMainFrame& window = Make(InstanceKind::Main, timing);
    ASSERT_NE(window.View().Shell().Switcher(), nullptr);
    CMainDoc& doc = window.Document();
    doc.AddSimpleObject();
    CFrame* object = doc.Selected;
    object->SwitcherButton = 3;
    doc.Page.OutputOn.store(1);

    std::vector<uint8_t> datagram;
    ASSERT_TRUE(peer.Receive(datagram, 20000));  // the client's first word makes it the peer's client
    auto nextLamps = [&] {
        QJsonArray lamps;
        while (lamps.isEmpty() && peer.Receive(datagram, 20000))
            lamps = CSwitcherPeer::DescribeDatagram(datagram).value(QStringLiteral("lamps")).toArray();
        return lamps;
    };
    auto lampValue = [](const QJsonArray& lamps, int index) {
        for (const QJsonValue& lamp : lamps)
            if (lamp[QStringLiteral("index")].toInt() == index) return lamp[QStringLiteral("value")].toInt();
        return -1;
    };
    // Button index 2 is button number 3.
    ASSERT_TRUE(peer.SendButtons(1u << 2));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Plays(object); }, 20000));
    EXPECT_EQ(lampValue(nextLamps(), 2), 1);
    // A release does nothing; the next press ends the object.
    ASSERT_TRUE(peer.SendButtons(0));
    ASSERT_TRUE(peer.SendButtons(1u << 2));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Ends(object); }, 20000));
    doc.Command(PlayCommand::Stop, CommandTarget::Every());
    doc.Page.OutputOn.store(0);
    window.UpdateViews(UpdateRedraw);
    EXPECT_EQ(lampValue(nextLamps(), 2), 0);
}

TEST_F(EditorWindow, TheHdmiOutputCommandRunsTheEngineInTheOutputWindow) {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) GTEST_SKIP() << "needs an X server";
    CMainFrame& window = Make(InstanceKind::Main);
    CMainDoc& doc = window.Document();
    // Xvfb has no second display: the output cannot start, and says why.
    CSettingsStore::Global().Set(Settings::DebugWindow, 0);
    window.OnCommand(Commands::HdmiOutput);
    EXPECT_FALSE(window.View().Shell().OutputRunning());
    EXPECT_EQ(doc.Page.OutputOn.load(), 0);
    EXPECT_EQ(window.ApplicationState(), Shell::StateIdle);
    ASSERT_EQ(presenter.texts.size(), 1u);
    EXPECT_TRUE(presenter.texts[0].startsWith(QStringLiteral("Error: Failed to configure HDMI output!")))
        << qPrintable(presenter.texts[0]);
    presenter.texts.clear();

    // The debug window stands in for the output display.
    CSettingsStore::Global().Set(Settings::DebugWindow, 1);
    CFrame* object = AddObject(2);  // Ctrl+1
    window.OnCommand(Commands::HdmiOutput);
    ASSERT_TRUE(window.View().Shell().OutputRunning()) << (presenter.texts.empty() ? "" : qPrintable(presenter.texts.back()));
    EXPECT_EQ(doc.Page.OutputOn.load(), 1);
    EXPECT_EQ(window.ApplicationState(), Shell::StateOutputOn);
    EXPECT_EQ(window.ApplicationStateText(), QStringLiteral("HDMI output is on"));
    EXPECT_TRUE(window.Action(Commands::HdmiOutput)->isChecked());
    window.OnCommand(Shell::CommandForHotkey(2));
    EXPECT_TRUE(Plays(object));
    // Later ticks look at the engine's status: a running engine stays.
    window.View().Shell().Tick();
    window.View().Shell().Tick();
    EXPECT_TRUE(window.View().Shell().OutputRunning());

    window.OnCommand(Commands::HdmiOutput);
    EXPECT_FALSE(window.View().Shell().OutputRunning());
    EXPECT_EQ(doc.Page.OutputOn.load(), 0);
    EXPECT_FALSE(Plays(object));  // the engine's end stops what played
    EXPECT_EQ(window.ApplicationState(), Shell::StateIdle);
    EXPECT_FALSE(window.Action(Commands::HdmiOutput)->isChecked());
    EXPECT_TRUE(presenter.texts.empty());
    doc.Modified = false;

    // "Auto" switches the output on at the first tick of a main instance only.
    store->Set(Settings::Auto, 1);
    store->Set(Settings::FirstTimeSetup, 0);
    for (InstanceKind kind : {InstanceKind::Editor, InstanceKind::Main}) {
        CMainFrame& started = Make(kind);
        started.View().Shell().Tick();
        EXPECT_EQ(started.View().Shell().OutputRunning(), kind == InstanceKind::Main);
        frame.reset();
    }
    CSettingsStore::Global().Set(Settings::DebugWindow, 0);
}

#ifdef CORVANE_EXECUTABLE
TEST_F(EditorWindow, ThePreviewRunsTheEngineInThePaneAboveTheCanvas) {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) GTEST_SKIP() << "needs an X server";
    store->Set(Settings::PreviewHeight, 240, InstanceKind::Main);
    CMainFrame& window = Make(InstanceKind::Main);
    window.resize(1200, 900);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    CPreView& pane = window.PreviewPane();
    EXPECT_EQ(pane.height(), 240) << "the stored pane height";
    EXPECT_FALSE(pane.WindowShown());

    window.OnCommand(Commands::Preview);
    ASSERT_TRUE(window.View().Shell().PreviewRunning());
    EXPECT_EQ(window.ApplicationState(), Shell::StatePreview);
    EXPECT_EQ(window.ApplicationStateText(), QStringLiteral("Preview mode"));
    EXPECT_TRUE(window.Action(Commands::Preview)->isChecked());
    EXPECT_FALSE(window.Action(Commands::HdmiOutput)->isChecked());
    EXPECT_TRUE(pane.WindowShown());
    EXPECT_EQ(pane.ChildRect(), PreviewChildRect(pane.size(), window.Document().ModeIndex));
    // The pane follows its split: the window keeps the page's shape in it.
    auto* split = qobject_cast<QSplitter*>(pane.parentWidget());
    ASSERT_NE(split, nullptr);
    split->setSizes({400, 400});
    EXPECT_EQ(pane.ChildRect(), PreviewChildRect(pane.size(), window.Document().ModeIndex));

    window.OnCommand(Commands::Preview);
    EXPECT_FALSE(window.View().Shell().OutputRunning());
    EXPECT_FALSE(pane.WindowShown()) << "the pane shows its background again";
    EXPECT_EQ(window.ApplicationState(), Shell::StateIdle);
    EXPECT_FALSE(window.Action(Commands::Preview)->isChecked());
    window.close();
    EXPECT_EQ(store->Get(Settings::PreviewHeight, InstanceKind::Main), 400) << "the height is kept on closing";
}

TEST_F(EditorWindow, TheNavigatorSwitchSwapsTheLeftPaneAndKeepsTheThumbnailRow) {
    store->Set(Settings::ThumbHeight, 180, InstanceKind::Main);
    CMainFrame& window = Make(InstanceKind::Main);
    window.resize(1200, 900);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_TRUE(window.PagesBrowser().isVisible());
    EXPECT_FALSE(window.Navigator().isVisible());
    EXPECT_EQ(window.ThumbnailPane().height(), 180);

    CFrame* object = AddObject(0);
    window.OnCommand(Commands::ObjectNavigator);
    EXPECT_TRUE(window.NavigatorShown());
    EXPECT_TRUE(window.Action(Commands::ObjectNavigator)->isChecked());
    EXPECT_TRUE(window.Navigator().isVisible());
    EXPECT_FALSE(window.ThumbnailPane().isVisible()) << "the thumbnail row collapses";
    ASSERT_EQ(window.Navigator().model()->rowCount(), 1);
    EXPECT_EQ(window.Navigator().currentIndex().row(), 0) << "the canvas's selection";
    // Its object menu is the canvas's.
    std::vector<int> shown;
    window.ShowMenu = [&shown](QMenu& menu, QPoint) { shown.push_back(menu.property("menuId").toInt()); };
    QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(5, 5));
    QCoreApplication::sendEvent(window.Navigator().viewport(), &event);
    EXPECT_EQ(shown, std::vector<int>{Commands::ObjectMenu});
    window.Document().Select(nullptr);
    window.UpdateAllViews(UpdateGeneral, nullptr);
    EXPECT_FALSE(window.Navigator().currentIndex().isValid()) << "the navigator follows the document";

    window.OnCommand(Commands::ObjectNavigator);
    EXPECT_FALSE(window.NavigatorShown());
    EXPECT_TRUE(window.PagesBrowser().isVisible());
    EXPECT_TRUE(window.ThumbnailPane().isVisible());
    EXPECT_EQ(window.ThumbnailPane().height(), 180) << "back at its stored height";
    (void)object;
    window.Document().Modified = false;
}

TEST_F(EditorWindow, TheGridFollowsTheSelectionAndTheDialogsApplyThroughTheWindow) {
    CMainFrame& window = Make(InstanceKind::Main);
    window.show();
    CMainDoc& doc = window.Document();
    CFrame* object = AddObject(0);
    object->RichText = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\pard\\f0\\fs56 One\\par}";
    EXPECT_EQ(window.Properties().Model().Value(RowX), QStringLiteral("32")) << "the new object's values";
    object->Rect = {100, 50, 356, 178};
    window.UpdateAllViews(UpdateGeneral, nullptr);
    EXPECT_EQ(window.Properties().Model().Value(RowX), QStringLiteral("100"));
    doc.Select(nullptr);
    EXPECT_FALSE(window.Properties().Model().HasObject());
    doc.Select(object);
    ASSERT_TRUE(window.Properties().Model().HasObject());

    // The object properties dialog: OK with a new start delay, one undo entry.
    window.RunDialog = [](QDialog& dialog) {
        auto* delay = dialog.findChild<QLineEdit*>(QStringLiteral("ctl_%1").arg(CObjectPropertiesDialogModel::EditStartDelay));
        EXPECT_NE(delay, nullptr);
        if (delay) delay->setText(QStringLiteral("1.5"));
        dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        return dialog.result();
    };
    const size_t entries = doc.Undo.UndoStack.size();
    window.OnCommand(Commands::ObjectProperties);
    EXPECT_EQ(object->StartDelay, 1500);
    EXPECT_EQ(doc.Undo.UndoStack.size(), entries + 1);
    EXPECT_EQ(window.Properties().Model().Value(RowStartDelay), QStringLiteral("1.500")) << "the grid shows it";

    // The paragraph dialog acts on the text edited in place.
    window.OnCommand(Commands::EditText);
    ASSERT_NE(window.View().Editor(), nullptr);
    window.View().Editor()->selectAll();
    window.RunDialog = [](QDialog& dialog) {
        auto* left = dialog.findChild<QLineEdit*>(QStringLiteral("ctl_%1").arg(CParagraphDialogModel::EditLeft));
        EXPECT_NE(left, nullptr);
        if (left) left->setText(QStringLiteral("20"));
        dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        return dialog.result();
    };
    window.OnCommand(Commands::ParagraphProperties);
    QTest::keyClick(window.View().Editor(), Qt::Key_Escape);
    EXPECT_TRUE(object->RichText.contains("\\li300")) << "20 pixels are 300 twips: " << object->RichText.constData();
    doc.Modified = false;
}

TEST_F(EditorWindow, ALongImportShowsItsProgressAndItsCancelAddsNothing) {
    QTemporaryDir pictures;
    ASSERT_TRUE(pictures.isValid());
    for (int k = 1; k <= 40; ++k) {
        QImage frame(64, 48, QImage::Format_ARGB32);
        frame.fill(QColor(k * 6, 100, 200));
        ASSERT_TRUE(frame.save(pictures.filePath(QStringLiteral("logo%1.png").arg(k, 3, 10, QLatin1Char('0')))));
    }
    CMainFrame& window = Make(InstanceKind::Main);
    window.show();
    CMainDoc& doc = window.Document();
    window.ChooseImportPath = [&] { return pictures.filePath(QStringLiteral("logo001.png")); };

    // Cancelled from the progress window as soon as it shows: nothing is added.
    int seenRange = 0;
    QTimer cancel;
    cancel.setInterval(0);
    QObject::connect(&cancel, &QTimer::timeout, [&] {
        if (CDlgProgress* progress = window.Progress()) {
            seenRange = progress->Range();
            progress->reject();
        }
    });
    cancel.start();
    presenter.answers = {IdYes};  // "Import 40 animation frames?"
    window.OnCommand(Commands::AddPictureObject);
    cancel.stop();
    ASSERT_FALSE(presenter.texts.empty());
    EXPECT_EQ(presenter.texts[0], QStringLiteral("Import 40 animation frames?"));
    EXPECT_EQ(seenRange, 40) << "one step per picture of the sequence";
    EXPECT_EQ(doc.Page.LiveCount(), 0);
    EXPECT_EQ(window.Progress(), nullptr) << "the window closes with the import";

    // Left alone, the whole sequence becomes one animation.
    presenter.answers = {IdYes};
    window.OnCommand(Commands::AddPictureObject);
    ASSERT_EQ(doc.Page.LiveCount(), 1);
    ASSERT_NE(doc.Selected, nullptr);
    EXPECT_EQ(doc.Selected->Frames.size(), 40u);
    EXPECT_EQ(window.Progress(), nullptr);
    doc.Modified = false;
}

TEST_F(EditorWindow, TheSportPanelIsLaidOutFromItsDefinitionAndDrivesThePlugin) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    {
        QFile definition(folder.filePath(QStringLiteral("Match.plugin")));
        ASSERT_TRUE(definition.open(QIODevice::WriteOnly));
        definition.write(R"(<?xml version="1.0" encoding="utf-8"?>
<config>
  <data><text id="home" name="Home team"/></data>
  <variables><var id="homescore" min="0" max="2"/></variables>
  <pages><page id="bug" name="Score bug"/></pages>
  <ui width="300" height="120">
    <text id="home" x="10" y="8" width="200" height="24"/>
    <var id="homescore" x="10" y="36" width="60" height="30" fontsize="16"/>
    <button id="homescore" action="inc" content="+1" x="80" y="36" width="60" height="30" hotkey="2"
            inactive="404040" active="00C000"/>
    <page id="bug" content="Bug" x="150" y="36" width="80" height="30" inactive="202020" active="00C000"/>
    <button id="int_data" content="Data..." x="10" y="76" width="100" height="30"/>
  </ui>
</config>
)");
    }
    {
        // The page file the plug-in's page loads: one object.
        CMainFrame& maker = Make(InstanceKind::Editor);
        maker.Document().AddSimpleObject();
        ASSERT_TRUE(maker.Document().Save(folder.filePath(QStringLiteral("bug.corvane"))));
        frame.reset();
    }
    store->Set(Settings::PluginSupport, 1);
    CMainFrame& window = Make(InstanceKind::Main);
    CMainDoc& doc = window.Document();
    ASSERT_NE(window.Action(Commands::PluginLaunch), nullptr) << "the command exists with plug-in support";
    doc.Page.OutputOn.store(1);
    window.ChoosePluginPath = [&] { return folder.filePath(QStringLiteral("Match.plugin")); };
    window.MakeKeypadTransport = [] { return std::unique_ptr<IXKTransport>(); };

    bool ran = false;
    window.RunDialog = [&](QDialog& dialog) {
        auto* panel = qobject_cast<CDlgPlugin*>(&dialog);
        EXPECT_NE(panel, nullptr);
        if (!panel) return 0;
        ran = true;
        EXPECT_EQ(window.PluginPanel(), panel);
        EXPECT_EQ(panel->windowTitle(), QStringLiteral("Sport Control Center"));
        EXPECT_EQ(doc.Page.LiveCount(), 1) << "the plug-in's page was loaded";
        // Element 2 is the +1 button, 1 the score, 3 the page, at their places.
        CPluginUIStatic* plus = panel->Static(2);
        CPluginUIStatic* score = panel->Static(1);
        CPluginUIStatic* bug = panel->Static(3);
        EXPECT_TRUE(plus && score && bug);
        if (!plus || !score || !bug) return 0;
        EXPECT_EQ(plus->objectName(), QStringLiteral("ctl_2003"));
        EXPECT_EQ(plus->geometry().topLeft(), QPoint(80, 36) * panel->screen()->logicalDotsPerInchX() / 96);
        EXPECT_EQ(score->text(), QStringLiteral("0"));
        QTest::mouseClick(plus, Qt::LeftButton);
        EXPECT_EQ(score->text(), QStringLiteral("1"));
        EXPECT_TRUE(plus->Active()) << "the button flashes";
        EXPECT_EQ(plus->Background(), QColor(0, 0xC0, 0));
        QTest::keyClick(panel, Qt::Key_F2);
        EXPECT_EQ(score->text(), QStringLiteral("2")) << "F2 is the button's hotkey";
        QTest::keyClick(panel, Qt::Key_F2);
        EXPECT_EQ(score->text(), QStringLiteral("2")) << "at its maximum";
        EXPECT_TRUE(QTest::qWaitFor([&] { return !plus->Active(); }, 5000)) << "the flash ends at a tick";
        QSignalSpy ended(panel, &QDialog::finished);
        QTest::keyClick(panel, Qt::Key_Escape);
        QTest::keyClick(panel, Qt::Key_Return);
        EXPECT_EQ(ended.count(), 0) << "Esc and Enter do not end the panel";
        // The page element shows the page: its objects play once the queue runs.
        QTest::mouseClick(bug, Qt::LeftButton);
        QCoreApplication::processEvents();
        CPageSnapshot snapshot(doc.Page);
        EXPECT_TRUE(!snapshot.list.empty() && snapshot.list[0]->Playing.load());
        panel->OnPlaybackStatus(0, 1);
        EXPECT_TRUE(bug->Active()) << "a toggling page element is lit while its page plays";
        EXPECT_EQ(bug->Background(), QColor(0, 0xC0, 0));
        // The data editor edits the team's name.
        panel->editText = [](const CPluginData&) { return std::optional<QString>(QStringLiteral("Rovers")); };
        panel->runDataEditor = [](QDialog& editor) {
            auto* data = qobject_cast<CDlgPluginDataEditor*>(&editor);
            ASSERT_NE(data, nullptr);
            EXPECT_EQ(data->List().topLevelItemCount(), 1);
            data->EditRow(0);
            EXPECT_EQ(data->List().topLevelItem(0)->text(2), QStringLiteral("Rovers"));
        };
        QTest::mouseClick(panel->Static(4), Qt::LeftButton);
        EXPECT_EQ(panel->Static(0)->text(), QStringLiteral("Rovers")) << "the panel shows the new text";
        return 0;
    };
    window.OnCommand(Commands::PluginLaunch);
    EXPECT_TRUE(ran);
    EXPECT_EQ(window.PluginPanel(), nullptr);
    EXPECT_EQ(doc.Plugin, nullptr) << "closing the panel ends the plug-in";
    EXPECT_EQ(doc.Page.LiveCount(), 0) << "and starts a new page";
    QFile state(folder.filePath(QStringLiteral("Match.state")));
    ASSERT_TRUE(state.open(QIODevice::ReadOnly)) << "the values were kept";
    const QByteArray saved = state.readAll();
    EXPECT_TRUE(saved.contains("Rovers") || QString::fromUtf16(reinterpret_cast<const char16_t*>(saved.constData()), saved.size() / 2).contains("Rovers"));
    doc.Page.OutputOn.store(0);
}

TEST_F(EditorWindow, AFirstStartRunsTheSetupWizardInsteadOfTheStartUpWorkAndTheMenusOpenTheDialogs) {
    store->Set(Settings::FirstTimeSetup, 1);
    store->Set(Settings::Auto, 1);
    CMainFrame& window = Make(InstanceKind::Main);
    std::vector<QString> opened;
    window.RunDialog = [&](QDialog& dialog) {
        opened.push_back(dynamic_cast<CFirstSetupWizard*>(&dialog)      ? QStringLiteral("CFirstSetupWizard")
                         : dynamic_cast<CDlgPreferences*>(&dialog)      ? QStringLiteral("CDlgPreferences")
                         : dynamic_cast<CDlgScriptEditor*>(&dialog)     ? QStringLiteral("CDlgScriptEditor")
                         : dynamic_cast<CDlgAutomationEditor*>(&dialog) ? QStringLiteral("CDlgAutomationEditor")
                                                                        : QStringLiteral("other"));
        return int(QDialog::Rejected);
    };
    window.View().Shell().Tick();
    QCoreApplication::processEvents();
    EXPECT_EQ(opened, std::vector<QString>{QStringLiteral("CFirstSetupWizard")});
    EXPECT_FALSE(window.View().Shell().OutputRunning()) << "no start-up output while the wizard asks";
    EXPECT_EQ(window.View().Shell().GlobalHotkeys(), nullptr);

    opened.clear();
    window.OnCommand(Commands::Preferences);
    window.OnCommand(Commands::SetupWizard);
    window.OnCommand(Commands::ScriptEditor);
    window.OnCommand(Commands::AutomationEditor);
    EXPECT_EQ(opened, (std::vector<QString>{QStringLiteral("CDlgPreferences"), QStringLiteral("CFirstSetupWizard"),
                                            QStringLiteral("CDlgScriptEditor"), QStringLiteral("CDlgAutomationEditor")}));
    EXPECT_TRUE(window.Action(Commands::SetupWizard)->isEnabled());
}

TEST_F(EditorWindow, ASecondMainInstanceEndsQuietlyWhileEditorInstancesStart) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) GTEST_SKIP() << "needs an X server";
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString runtime = dir_.filePath(QStringLiteral("runtime"));
    ASSERT_TRUE(QDir().mkpath(runtime));
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    auto start = [&](QProcess& process, const QStringList& arguments) {
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(CORVANE_EXECUTABLE), arguments);
        return process.waitForStarted(10000);
    };

    QProcess main;
    ASSERT_TRUE(start(main, {}));
    const QString lock = runtime + QStringLiteral("/Norvik_Corvane.lock");
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(lock); }, 30000));

    QProcess second;
    ASSERT_TRUE(start(second, {}));
    ASSERT_TRUE(second.waitForFinished(60000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(second.readAllStandardOutput(), QByteArray());
    EXPECT_EQ(main.state(), QProcess::Running);

    // An editor instance starts beside it (and here writes its picture and ends).
    const QString picture = dir_.filePath(QStringLiteral("editor.png"));
    QProcess editor;
    ASSERT_TRUE(start(editor, {QStringLiteral("/edit"), QStringLiteral("--grab"), picture}));
    ASSERT_TRUE(editor.waitForFinished(60000));
    EXPECT_EQ(editor.exitCode(), 0) << editor.readAllStandardError().toStdString();
    EXPECT_TRUE(QFileInfo(picture).size() > 0);
    EXPECT_EQ(main.state(), QProcess::Running);

    main.terminate();
    ASSERT_TRUE(main.waitForFinished(30000));
}
#endif

int main(int argc, char** argv) {
    const bool display = !qEnvironmentVariableIsEmpty("DISPLAY");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || display) qputenv("QT_QPA_PLATFORM", display ? "xcb" : "offscreen");
    // The process's own settings store (the output reads the user's store), never
    // the user's.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    (void)CSettingsStore::Global();
    // The OpenGL driver the output loads stays until exit, as in the product.
    CWindowTarget::KeepDriverLoaded();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
