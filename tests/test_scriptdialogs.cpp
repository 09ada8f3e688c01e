// The script editor's and the automation editor's dialogs, driven through their
// controls as the operator drives them: the script editor adds, edits, reorders
// and saves a script that cvtool reads back, and shows the message of what it
// refuses without changing anything; the automation editor writes the schedule
// the settings give back, keeps the document's schedule when the store refuses,
// and releases the global hotkeys while it is open. Both translate their
// controls by id when they open.
#include "ui/AutomationDialog.h"
#include "ui/ScriptEditorDialog.h"

#include "app/MainDoc.h"
#include "base/Settings.h"
#include "remote/GlobalHotkeys.h"
#include "tests/RecordingPresenter.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <optional>

namespace {

using Kind = ScriptActionType;

struct QuietHost : IDocumentHost {
    void UpdateViews(int) override {}
};

template <class T>
T* Control(QWidget& dialog, int id) {
    T* control = dialog.findChild<T*>(QStringLiteral("ctl_%1").arg(id));
    EXPECT_NE(control, nullptr) << "control " << id;
    return control;
}

void Click(QWidget& dialog, int id) {
    QPushButton* button = Control<QPushButton>(dialog, id);
    ASSERT_NE(button, nullptr);
    ASSERT_TRUE(button->isEnabled()) << "button " << id;
    QTest::mouseClick(button, Qt::LeftButton);
}

QStringList Column(QTreeWidget* list, int column) {
    QStringList texts;
    for (int row = 0; row < list->topLevelItemCount(); ++row) texts << list->topLevelItem(row)->text(column);
    return texts;
}

int CurrentRow(QTreeWidget* list) {
    const QList<QTreeWidgetItem*> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->indexOfTopLevelItem(selected.front());
}

void SelectRow(QTreeWidget* list, int row) {
    QTreeWidgetItem* item = list->topLevelItem(row);
    ASSERT_NE(item, nullptr);
    const QRect rect = list->visualItemRect(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    ASSERT_EQ(CurrentRow(list), row);
}

struct Shown {
    int exitCode;
    QJsonObject json;
    QByteArray err;
};

// cvtool script show FILE, as the operator would run it.
Shown CvtoolShow(const QString& path) {
    QProcess process;
    process.start(QStringLiteral(CVTOOL_PATH), {QStringLiteral("script"), QStringLiteral("show"), path});
    process.waitForFinished(60000);
    return {process.exitCode(), QJsonDocument::fromJson(process.readAllStandardOutput()).object(),
            process.readAllStandardError()};
}

class Dialogs : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        store.emplace(dir.filePath(QStringLiteral("settings/Corvane.ini")));
        ASSERT_TRUE(store->SetText(Settings::RootFolder, dir.path()));
        presenter.answer = IdYes;
    }
    QString Path(const QString& name) const { return dir.filePath(name); }
    QString Put(const QString& name, const QByteArray& bytes) {
        QDir().mkpath(QFileInfo(Path(name)).absolutePath());
        QFile file(Path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return Path(name);
    }

    // The action editors the test fills, in the order they open.
    std::deque<std::function<void(QDialog&)>> fills;
    int RunNext(QDialog& dialog) {
        if (fills.empty()) {
            ADD_FAILURE() << "an unexpected dialog: " << dialog.objectName().toStdString();
            return QDialog::Rejected;
        }
        const auto fill = std::move(fills.front());
        fills.pop_front();
        fill(dialog);
        return dialog.result();
    }

    void Editor(CDlgScriptEditor& dialog) {
        dialog.showMenu = [this](QMenu& menu, const QPoint&) -> QAction* {
            menuTexts.clear();
            for (QAction* action : menu.actions()) menuTexts << action->text();
            for (QAction* action : menu.actions())
                if (action->data().toInt() == int(nextKind)) return action;
            return nullptr;
        };
        dialog.runDialog = [this](QDialog& d) { return RunNext(d); };
        dialog.chooseScriptToSave = [this](const QString&, const QString&, const QString&) { return answer; };
        dialog.chooseScriptToOpen = [this](const QString&, const QString&) { return answer; };
        dialog.choosePageFile = [this](const QString&, const QString&) { return answer; };
        Show(dialog);
    }
    // Shown, so the list has its geometry for clicks.
    static void Show(QDialog& dialog) {
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    }
    void Add(CDlgScriptEditor& dialog, Kind kind) {
        nextKind = kind;
        Click(dialog, CDlgScriptEditor::ButtonAdd);
    }

    QTemporaryDir dir;
    std::optional<CSettingsStore> store;
    RecordingPresenter presenter;
    QuietHost host;
    CMainDoc doc{host, 0};
    Kind nextKind = Kind::PlayObjects;
    QStringList menuTexts;
    QString answer;
};

// ---------------------------------------------------------------------------------
// The script editor

TEST_F(Dialogs, TheScriptEditorBuildsAScriptThatCvtoolReadsBack) {
    const QString page = Put(QStringLiteral("Pages/Opening.corvane"), "a page");
    CDlgScriptEditor dialog(doc, *store);
    Editor(dialog);
    auto* list = Control<QTreeWidget>(dialog, CDlgScriptEditor::ListActions);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Script Editor"));
    EXPECT_FALSE(Control<QPushButton>(dialog, CDlgScriptEditor::ButtonSave)->isEnabled()) << "nothing to save yet";
    EXPECT_FALSE(Control<QPushButton>(dialog, CDlgScriptEditor::ButtonEdit)->isEnabled());

    // Play the group " News " (kept without the spaces).
    fills.push_back([](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("Script action"));
        EXPECT_EQ(Control<QLabel>(d, CDlgScriptAction::LabelActionName)->text(), QStringLiteral("Play objects"));
        auto* text = Control<QLineEdit>(d, CDlgScriptAction::EditGroup);
        EXPECT_FALSE(text->isEnabled()) << "all objects at first";
        QTest::mouseClick(Control<QRadioButton>(d, CDlgScriptAction::RadioGroup), Qt::LeftButton);
        EXPECT_TRUE(text->isEnabled());
        text->setText(QStringLiteral(" News "));
        d.accept();
    });
    Add(dialog, Kind::PlayObjects);
    EXPECT_EQ(menuTexts, (QStringList{"Load page file", "Add objects from page file", "Play objects", "Pause objects",
                                      "End objects", "Stop objects", "Delete objects", "Wait untill objects end",
                                      "Wait for a period of time", "Wait until specified time"}));
    // A pause of 30 seconds.
    fills.push_back([](QDialog& d) {
        auto* seconds = Control<QLineEdit>(d, CDlgScriptPause::EditSeconds);
        EXPECT_EQ(seconds->text(), QStringLiteral("10"));
        seconds->selectAll();
        QTest::keyClicks(seconds, QStringLiteral("3x0"));  // the letter does not get in
        EXPECT_EQ(seconds->text(), QStringLiteral("30"));
        d.accept();
    });
    Add(dialog, Kind::WaitPeriod);
    // Until 07:30:15.
    fills.push_back([](QDialog& d) {
        auto* time = Control<QTimeEdit>(d, CDlgScriptWaitUntil::TimeWaitUntil);
        EXPECT_EQ(time->time(), QTime(12, 0, 0));
        EXPECT_EQ(time->displayFormat(), QStringLiteral("HH:mm:ss"));
        time->setTime(QTime(7, 30, 15));
        d.accept();
    });
    Add(dialog, Kind::WaitUntilTime);
    // The page, chosen in the page files' chooser.
    answer = page;
    Add(dialog, Kind::LoadPage);
    EXPECT_TRUE(fills.empty());

    EXPECT_EQ(Column(list, 0), (QStringList{" 1. Play objects group: News", " 2. Wait 30 seconds",
                                            " 3. Wait until 07:30:15", " 4. Load page file: Opening"}));
    EXPECT_EQ(Column(list, 1), (QStringList{"", "", "0:30", ""}));
    EXPECT_EQ(CurrentRow(list), 3) << "the new action is selected";
    EXPECT_FALSE(Control<QPushButton>(dialog, CDlgScriptEditor::ButtonDown)->isEnabled());

    // The page to the top: the selection follows it.
    for (int k = 0; k < 3; ++k) Click(dialog, CDlgScriptEditor::ButtonUp);
    EXPECT_EQ(CurrentRow(list), 0);
    EXPECT_FALSE(Control<QPushButton>(dialog, CDlgScriptEditor::ButtonUp)->isEnabled());
    EXPECT_EQ(Column(list, 0).front(), QStringLiteral(" 1. Load page file: Opening"));
    Click(dialog, CDlgScriptEditor::ButtonDown);
    Click(dialog, CDlgScriptEditor::ButtonUp);

    // The pause becomes 45 seconds (a double click is Edit).
    fills.push_back([](QDialog& d) {
        auto* seconds = Control<QLineEdit>(d, CDlgScriptPause::EditSeconds);
        EXPECT_EQ(seconds->text(), QStringLiteral("30"));
        seconds->setText(QStringLiteral("45"));
        d.accept();
    });
    const QRect pauseRow = list->visualItemRect(list->topLevelItem(2));
    // A double click is a click and then the second press.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, pauseRow.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, pauseRow.center());
    EXPECT_TRUE(fills.empty());
    EXPECT_EQ(list->topLevelItem(2)->text(0), QStringLiteral(" 3. Wait 45 seconds"));

    // Enter on the list is Edit too (cancelled here: nothing changes).
    fills.push_back([](QDialog& d) {
        EXPECT_EQ(Control<QLineEdit>(d, CDlgScriptPause::EditSeconds)->text(), QStringLiteral("45"));
        d.reject();
    });
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_TRUE(fills.empty());
    EXPECT_EQ(list->topLevelItem(2)->text(0), QStringLiteral(" 3. Wait 45 seconds"));

    // A stop, added and deleted again with the Delete key.
    fills.push_back([](QDialog& d) { d.accept(); });
    Add(dialog, Kind::StopObjects);
    ASSERT_EQ(list->topLevelItemCount(), 5);
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(list->topLevelItemCount(), 4);
    EXPECT_EQ(CurrentRow(list), 3) << "on the new last row";

    auto* loop = Control<QCheckBox>(dialog, CDlgScriptEditor::CheckLoop);
    QTest::mouseClick(loop, Qt::LeftButton, {}, QPoint(loop->height() / 2, loop->height() / 2));  // on its box
    EXPECT_TRUE(doc.Script.Loop());

    answer = Path(QStringLiteral("Show"));
    Click(dialog, CDlgScriptEditor::ButtonSave);
    EXPECT_TRUE(presenter.texts.empty());
    const QString saved = Path(QStringLiteral("Show.script"));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Script Editor - Show"));
    EXPECT_FALSE(dialog.Model().Modified());

    const Shown shown = CvtoolShow(saved);
    ASSERT_EQ(shown.exitCode, 0) << shown.err.toStdString();
    EXPECT_EQ(shown.json.value(QStringLiteral("name")).toString(), QStringLiteral("Show"));
    EXPECT_TRUE(shown.json.value(QStringLiteral("loop")).toBool());
    const QJsonArray items = shown.json.value(QStringLiteral("items")).toArray();
    ASSERT_EQ(items.size(), 4);
    const struct {
        int type;
        QString sdata;
        int idata;
    } expected[] = {{0, page, 0}, {2, QStringLiteral("News"), 0}, {8, QString(), 45}, {9, QString(), 7 * 3600 + 30 * 60 + 15}};
    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        const QJsonObject item = items[k].toObject();
        EXPECT_EQ(item.value(QStringLiteral("type")).toInt(), expected[k].type);
        EXPECT_EQ(item.value(QStringLiteral("sdata")).toString(), expected[k].sdata);
        EXPECT_EQ(item.value(QStringLiteral("idata")).toInt(), expected[k].idata);
        EXPECT_EQ(item.value(QStringLiteral("text")).toString(), Column(list, 0)[k].mid(4)) << "as the list shows it";
    }
}

TEST_F(Dialogs, TheScriptEditorSaysWhatItRefusesAndChangesNothing) {
    doc.Script.Append(std::make_unique<CFrameScriptItem>(Kind::PlayObjects));
    doc.Script.Append(std::make_unique<CFrameScriptItem>(Kind::WaitPeriod, QString(), 5));
    CDlgScriptEditor dialog(doc, *store);
    Editor(dialog);
    auto* list = Control<QTreeWidget>(dialog, CDlgScriptEditor::ListActions);
    const QStringList rows = Column(list, 0);

    // A pause of 0 seconds is not taken: the action stays as it was.
    SelectRow(list, 1);
    fills.push_back([](QDialog& d) {
        Control<QLineEdit>(d, CDlgScriptPause::EditSeconds)->setText(QStringLiteral("0"));
        d.accept();
        EXPECT_EQ(d.result(), QDialog::Rejected);
    });
    Click(dialog, CDlgScriptEditor::ButtonEdit);
    EXPECT_EQ(doc.Script.Item(1)->idata, 5);
    EXPECT_FALSE(dialog.Model().Modified());
    // ... nor added.
    fills.push_back([](QDialog& d) {
        Control<QLineEdit>(d, CDlgScriptPause::EditSeconds)->clear();
        d.accept();
    });
    Add(dialog, Kind::WaitPeriod);
    EXPECT_EQ(Column(list, 0), rows);

    // A page file that is not there.
    answer = Path(QStringLiteral("Pages/Missing.corvane"));
    Add(dialog, Kind::AddObjects);
    EXPECT_EQ(presenter.texts, std::vector<QString>{QStringLiteral("Error: File open failed!\n\n") + answer});
    EXPECT_EQ(Column(list, 0), rows);

    // A save where no file can be written.
    presenter.texts.clear();
    answer = Path(QStringLiteral("no such folder/Run.script"));
    Click(dialog, CDlgScriptEditor::ButtonSave);
    EXPECT_EQ(presenter.texts, std::vector<QString>{QStringLiteral("Error: File save failed!\n\n") + answer});
    EXPECT_FALSE(QFile::exists(answer));
    EXPECT_TRUE(doc.Script.FileName().isEmpty());
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Script Editor"));
    EXPECT_EQ(Column(list, 0), rows);

    // Modified, and the operator answers No: the dialog stays, and so does the script.
    SelectRow(list, 0);
    Click(dialog, CDlgScriptEditor::ButtonDown);
    presenter.texts.clear();
    presenter.answer = IdNo;
    Click(dialog, CDlgScriptEditor::ButtonClose);
    EXPECT_TRUE(dialog.isVisible());
    Click(dialog, CDlgScriptEditor::ButtonClear);
    Click(dialog, CDlgScriptEditor::ButtonLoad);
    EXPECT_EQ(presenter.texts,
              std::vector<QString>(3, QStringLiteral("Warning: script was modified!\nAre you sure you want to continue?")));
    EXPECT_EQ(doc.Script.Count(), 2);
    EXPECT_EQ(doc.Script.Item(0)->type, Kind::WaitPeriod);

    // Yes closes it.
    presenter.answer = IdYes;
    Click(dialog, CDlgScriptEditor::ButtonClose);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

TEST_F(Dialogs, TheScriptEditorLoadsAScriptAndSaysWhenAFileIsNoScript) {
    CFrameScript script;
    script.Append(std::make_unique<CFrameScriptItem>(Kind::WaitPeriod, QString(), 90));
    script.Append(std::make_unique<CFrameScriptItem>(Kind::EndObjects));
    const QString good = Path(QStringLiteral("Late.script"));
    ASSERT_TRUE(script.SaveFile(good));
    CDlgScriptEditor dialog(doc, *store);
    Editor(dialog);
    auto* list = Control<QTreeWidget>(dialog, CDlgScriptEditor::ListActions);

    answer = good;
    Click(dialog, CDlgScriptEditor::ButtonLoad);
    EXPECT_EQ(Column(list, 0), (QStringList{" 1. Wait 90 seconds", " 2. End all objects"}));
    EXPECT_EQ(Column(list, 1), (QStringList{"", "1:30"}));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Script Editor - Late"));
    EXPECT_TRUE(presenter.texts.empty());

    answer = Put(QStringLiteral("Notes.script"), "these are notes");
    Click(dialog, CDlgScriptEditor::ButtonLoad);
    EXPECT_EQ(presenter.texts, std::vector<QString>{QStringLiteral("Error: File open failed!\n\n") + answer});
    EXPECT_EQ(list->topLevelItemCount(), 0) << "a failed load leaves the script empty";
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Script Editor"));
}

// ---------------------------------------------------------------------------------
// Translation when a dialog opens

QByteArray Pack(const QByteArray& entries) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?><language_pack><translations>"
           "<translation name=\"Deutsch\" id=\"1031\"><resources>" +
           entries + "</resources></translation></translations></language_pack>";
}

QByteArray Entry(quint32 key, const char* text) {
    return "<string id=\"" + QByteArray::number(key, 16).toUpper() + "\">" + text + "</string>";
}

TEST_F(Dialogs, TheDialogsTranslateTheirControlsByIdWhenTheyOpen) {
    CTranslate& translate = CTranslate::Global();
    ASSERT_TRUE(translate.LoadLanguagePackData(Pack(
        Entry(CTranslate::ControlKey(308, CDlgScriptEditor::ButtonAdd), "&amp;Hinzufügen") +
        Entry(CTranslate::ControlKey(308, CDlgScriptEditor::CheckLoop), "Schleife") +
        Entry(CTranslate::StringKey(10224), "Skript-Editor") +
        Entry(CTranslate::DialogKey(310), "Skriptpause") + Entry(CTranslate::ControlKey(310, 1000), "Warten") +
        Entry(CTranslate::DialogKey(311), "Automatisierung") +
        Entry(CTranslate::ControlKey(311, CDlgAutomationEditor::ButtonDelete), "&amp;Löschen") +
        Entry(CTranslate::ControlKey(1172, CDlgAutomationItem::CheckGlobal), "Globaler Hotkey"))));
    translate.SelectLanguage(1);
    struct English {
        ~English() { CTranslate::Global().Clear(); }
    } english;

    CDlgScriptEditor editor(doc, *store);
    EXPECT_EQ(editor.windowTitle(), QStringLiteral("Skript-Editor"));
    EXPECT_EQ(Control<QPushButton>(editor, CDlgScriptEditor::ButtonAdd)->text(), QStringLiteral("&Hinzufügen"));
    EXPECT_EQ(Control<QCheckBox>(editor, CDlgScriptEditor::CheckLoop)->text(), QStringLiteral("Schleife"));
    EXPECT_EQ(Control<QPushButton>(editor, CDlgScriptEditor::ButtonEdit)->text(), QStringLiteral("&Edit"))
        << "no text in the pack: English";

    CFrameScriptItem pause(Kind::WaitPeriod, QString(), 10);
    CDlgScriptPause pauseDialog(pause);
    EXPECT_EQ(pauseDialog.windowTitle(), QStringLiteral("Skriptpause"));
    EXPECT_EQ(Control<QLabel>(pauseDialog, CDlgScriptPause::LabelWait)->text(), QStringLiteral("Warten"));

    CDlgAutomationEditor automation(doc, *store, nullptr);
    EXPECT_EQ(automation.windowTitle(), QStringLiteral("Automatisierung"));
    EXPECT_EQ(Control<QPushButton>(automation, CDlgAutomationEditor::ButtonDelete)->text(), QStringLiteral("&Löschen"));
    CAutomationEntryModel entry(CFrameScriptSchedule{}, false, QDate(2026, 12, 7));
    CDlgAutomationItem item(entry);
    EXPECT_EQ(Control<QCheckBox>(item, CDlgAutomationItem::CheckGlobal)->text(), QStringLiteral("Globaler Hotkey"));
    automation.reject();
}

// ---------------------------------------------------------------------------------
// The automation editor

TEST_F(Dialogs, TheAutomationEditorWritesTheScheduleTheSettingsGiveBack) {
    CFrameScript script;
    script.Append(std::make_unique<CFrameScriptItem>(Kind::PlayObjects));
    const QString morning = Path(QStringLiteral("Morning News.script"));
    ASSERT_TRUE(script.SaveFile(morning));
    doc.AutomationLoad(*store);  // nothing stored: one start-up row without a script
    ASSERT_EQ(doc.Automation.size(), 1u);

    CDlgAutomationEditor dialog(doc, *store, nullptr);
    dialog.chooseScript = [&](const QString&, const QString&) { return morning; };
    dialog.runDialog = [this](QDialog& d) { return RunNext(d); };
    auto* list = Control<QTreeWidget>(dialog, CDlgAutomationEditor::ListScripts);
    Show(dialog);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Automation"));
    EXPECT_EQ(Column(list, 0), QStringList{"on startup"});
    EXPECT_FALSE(Control<QPushButton>(dialog, CDlgAutomationEditor::ButtonEdit)->isEnabled());

    // Weekdays at 07:30:00 and on Ctrl+3, system-wide.
    fills.push_back([](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("Start conditions for script Morning News"));
        auto* time = Control<QTimeEdit>(d, CDlgAutomationItem::TimeStart);
        EXPECT_TRUE(time->isHidden()) << "shown only with the time ticked";
        EXPECT_TRUE(Control<QCheckBox>(d, CDlgAutomationItem::CheckPlayOnButton)->isHidden())
            << "no switcher in use";
        Control<QCheckBox>(d, CDlgAutomationItem::CheckPlayOnTime)->setChecked(true);
        EXPECT_FALSE(time->isHidden());
        time->setTime(QTime(7, 30, 0));
        Control<QRadioButton>(d, CDlgAutomationItem::RadioDaily)->setChecked(true);
        EXPECT_TRUE(Control<QDateEdit>(d, CDlgAutomationItem::DateOnce)->isHidden());
        Control<QCheckBox>(d, CDlgAutomationItem::CheckMonday + 5)->setChecked(false);  // Saturday
        Control<QCheckBox>(d, CDlgAutomationItem::CheckMonday + 6)->setChecked(false);  // Sunday
        auto* global = Control<QCheckBox>(d, CDlgAutomationItem::CheckGlobal);
        EXPECT_TRUE(global->isHidden());
        Control<QCheckBox>(d, CDlgAutomationItem::CheckPlayOnHotkey)->setChecked(true);
        EXPECT_FALSE(global->isHidden());
        auto* hotkey = Control<QComboBox>(d, CDlgAutomationItem::ListHotkey);
        EXPECT_EQ(hotkey->count(), 20);
        hotkey->setCurrentIndex(3);  // Ctrl+3
        global->setChecked(true);
        d.accept();
    });
    Click(dialog, CDlgAutomationEditor::ButtonAdd);
    EXPECT_TRUE(fills.empty());
    EXPECT_EQ(Column(list, 0), (QStringList{"on startup", "[07:30:00][12345--], [Ctrl+3]"}));
    EXPECT_EQ(Column(list, 1), (QStringList{"", "Morning News"}));
    EXPECT_EQ(CurrentRow(list), 1);

    // The start-up row takes the same script (a double click is Edit).
    const QRect startup = list->visualItemRect(list->topLevelItem(0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, startup.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, startup.center());
    EXPECT_EQ(Column(list, 1), (QStringList{"Morning News", "Morning News"}));
    EXPECT_EQ(doc.Automation.size(), 1u) << "nothing reaches the document before OK";

    Click(dialog, 1);  // OK
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(presenter.texts.empty());
    const CFrameScriptScheduleArray stored = Schedule::Load(*store, QDate(2000, 1, 1), 0);
    EXPECT_EQ(stored, doc.Automation);
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0].File, morning);
    EXPECT_EQ(stored[1].File, morning);
    EXPECT_EQ(stored[1].PlayOnTime, 1);
    EXPECT_EQ(stored[1].PlayOnce, 0);
    EXPECT_EQ(stored[1].TimeOfDay(), 7 * 3600 + 30 * 60);
    EXPECT_EQ(stored[1].Weekdays, 0b0011111);
    EXPECT_EQ(stored[1].Hotkey, 4);
    EXPECT_EQ(stored[1].Global, 1);
    EXPECT_EQ(stored[1].Remote, 0);
}

TEST_F(Dialogs, TheAutomationEditorKeepsTheScheduleWhenTheStoreRefuses) {
    CFrameScriptSchedule trigger;
    trigger.File = Path(QStringLiteral("a.script"));
    trigger.Hotkey = 2;
    doc.Automation = {CFrameScriptSchedule{}, trigger};
    const CFrameScriptScheduleArray before = doc.Automation;
    const QString folder = Path(QStringLiteral("store"));
    ASSERT_TRUE(QDir().mkpath(folder));
    CSettingsStore refusing(folder);  // a folder where the file should be

    CDlgAutomationEditor dialog(doc, refusing, nullptr);
    auto* list = Control<QTreeWidget>(dialog, CDlgAutomationEditor::ListScripts);
    Show(dialog);
    SelectRow(list, 1);
    Click(dialog, CDlgAutomationEditor::ButtonDelete);
    EXPECT_EQ(list->topLevelItemCount(), 1);
    Click(dialog, 1);  // OK
    EXPECT_EQ(presenter.texts, std::vector<QString>{QStringLiteral("Error: File save failed!\n\n") + folder});
    EXPECT_TRUE(dialog.isVisible()) << "still open: the operator may cancel";
    EXPECT_EQ(doc.Automation, before);
    Click(dialog, 2);  // Cancel
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(doc.Automation, before);
}

TEST_F(Dialogs, TheAutomationEditorReleasesTheGlobalHotkeysWhileItIsOpen) {
    QObject receiver;
    CGlobalHotkeys hotkeys(CGlobalHotkeys::HotkeyTarget(&receiver, [](int) {}), [](int, const QString&) {});
    if (!hotkeys.IsAvailable()) GTEST_SKIP() << "needs an X server";
    CFrameScriptSchedule global;
    global.File = Path(QStringLiteral("a.script"));
    global.Hotkey = 19;  // Alt+8
    global.Global = 1;
    doc.Automation = {CFrameScriptSchedule{}, global};
    doc.AutomationRegisterGlobalHotkeys(hotkeys);
    if (!hotkeys.Unregister(1)) GTEST_SKIP() << "another client of the X server holds Alt+8";
    doc.AutomationRegisterGlobalHotkeys(hotkeys);

    for (const int button : {1, 2}) {  // OK, then Cancel
        SCOPED_TRACE(button);
        CDlgAutomationEditor dialog(doc, *store, &hotkeys);
        EXPECT_FALSE(hotkeys.Unregister(1)) << "released while the editor is open";
        Click(dialog, button);
        EXPECT_TRUE(hotkeys.Unregister(1)) << "registered again when it closes";
        doc.AutomationRegisterGlobalHotkeys(hotkeys);
    }
    hotkeys.UnregisterAll();
}

// ---------------------------------------------------------------------------------
// Pictures of the dialogs, for whoever works on their layout: with
// CORVANE_DIALOG_SHOTS set to a folder, each dialog is drawn into a PNG there.

TEST_F(Dialogs, PicturesWhenAsked) {
    const QString folder = qEnvironmentVariable("CORVANE_DIALOG_SHOTS");
    if (folder.isEmpty()) GTEST_SKIP() << "CORVANE_DIALOG_SHOTS not set";
    doc.Script.Append(std::make_unique<CFrameScriptItem>(Kind::LoadPage, QStringLiteral("/shows/Pages/Opening.corvane")));
    doc.Script.Append(std::make_unique<CFrameScriptItem>(Kind::PlayObjects));
    doc.Script.Append(std::make_unique<CFrameScriptItem>(Kind::WaitPeriod, QString(), 10));
    doc.Script.Append(std::make_unique<CFrameScriptItem>(Kind::PauseObjects, QStringLiteral("News")));
    doc.Script.Append(std::make_unique<CFrameScriptItem>(Kind::EndObjects));
    doc.Script.Append(std::make_unique<CFrameScriptItem>(Kind::StopObjects));
    doc.Script.Append(std::make_unique<CFrameScriptItem>(Kind::WaitPeriod, QString(), 3600));
    doc.Script.Append(std::make_unique<CFrameScriptItem>(Kind::DeleteObjects));
    doc.Script.Append(std::make_unique<CFrameScriptItem>(Kind::WaitObjectsEnd, QStringLiteral("News")));
    doc.Script.Append(std::make_unique<CFrameScriptItem>(Kind::WaitUntilTime, QString(), 43200));
    doc.Script.Append(std::make_unique<CFrameScriptItem>(Kind::AddObjects, QStringLiteral("/shows/Logo.corvane")));
    const auto shoot = [&](QWidget& widget, const char* name) {
        widget.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
        EXPECT_TRUE(widget.grab().save(folder + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png")));
    };
    CDlgScriptEditor editor(doc, *store);
    Show(editor);
    SelectRow(Control<QTreeWidget>(editor, CDlgScriptEditor::ListActions), 3);
    shoot(editor, "script-editor");
    CFrameScriptItem group(Kind::PauseObjects, QStringLiteral("News"));
    CDlgScriptAction action(group);
    shoot(action, "script-action");
    CFrameScriptItem pause(Kind::WaitPeriod, QString(), 10);
    CDlgScriptPause pauseDialog(pause);
    shoot(pauseDialog, "script-pause");
    CFrameScriptItem until(Kind::WaitUntilTime, QString(), 43200);
    CDlgScriptWaitUntil untilDialog(until);
    shoot(untilDialog, "script-wait");

    ASSERT_TRUE(store->Set(Settings::UseRemote, 1));
    CFrameScriptSchedule timed = CFrameScriptSchedule::Created(QStringLiteral("/shows/Morning.script"), QDate(2026, 12, 7), 0);
    timed.PlayOnTime = 1;
    timed.Hour = 7;
    timed.Minute = 30;
    timed.Weekdays = 0b0011111;
    timed.Hotkey = 4;
    CFrameScriptSchedule keyed;
    keyed.File = QStringLiteral("/shows/Goal.script");
    keyed.Hotkey = 11;
    keyed.Remote = 4;
    doc.Automation = {CFrameScriptSchedule{}, timed, keyed};
    CDlgAutomationEditor automation(doc, *store, nullptr);
    shoot(automation, "automation");
    CAutomationEntryModel entry(timed, true, QDate(2026, 12, 7));
    CDlgAutomationItem item(entry);
    shoot(item, "automation-item");
    automation.reject();
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
