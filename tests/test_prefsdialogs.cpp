// The preferences dialog and the initial setup wizard as widgets: the locked mode
// under a page with objects, what OK writes, the rows of each instance kind, the
// translation by control id; the wizard's test output (in the debug window on the
// X server of DISPLAY) playing the range pattern, its range switch, Back, Finish
// and Cancel. Assertions read the settings, the pages and the widgets, never pixels.
#include "app/SetupWizard.h"
#include "core/VideoModes.h"
#include "output/OutputSession.h"
#include "output/RenderWindow.h"
#include "tests/RecordingPresenter.h"
#include "ui/PreferencesDialog.h"
#include "ui/SetupWizard.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class QuietHost : public IDocumentHost {
public:
    void UpdateViews(int) override {}
};

template <typename T>
T* Control(QWidget& dialog, int id) {
    return dialog.findChild<T*>(QStringLiteral("ctl_%1").arg(id));
}

class PrefsDialogs : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        store = std::make_unique<CSettingsStore>(dir.filePath(QStringLiteral("Corvane.ini")));
        CTranslate::Global().Clear();
        CTranslate::Global().SelectLanguage(0);
    }
    void TearDown() override { CTranslate::Global().Clear(); }

    QTemporaryDir dir;
    std::unique_ptr<CSettingsStore> store;
    QuietHost host;
    CMainDoc doc{host, 1};
    RecordingPresenter presenter;
    const std::vector<OutputDisplayEntry> displays{{QString(), QStringLiteral("Auto")},
                                                   {QStringLiteral("HDMI-1"), QStringLiteral("1. Card - Monitor")}};
};

using M = CPreferencesModel;

TEST_F(PrefsDialogs, PreferencesRefuseAModeChangeWhileThePageHoldsObjects) {
    doc.AddSimpleObject();
    doc.Modified = false;
    CDlgPreferences dialog(doc, *store, InstanceKind::Main, {}, displays);
    dialog.show();
    auto* mode = Control<QComboBox>(dialog, M::ListMode);
    ASSERT_NE(mode, nullptr);
    EXPECT_FALSE(mode->isEnabled());
    EXPECT_FALSE(Control<QCheckBox>(dialog, M::CheckFullRange)->isEnabled());
    EXPECT_FALSE(Control<QCheckBox>(dialog, M::CheckAlternativeSync)->isEnabled());
    EXPECT_TRUE(Control<QCheckBox>(dialog, M::CheckAuto)->isEnabled());
    auto* note = Control<QLabel>(dialog, M::StaticModeNote);
    ASSERT_NE(note, nullptr);
    EXPECT_TRUE(note->isVisible());
    EXPECT_EQ(note->text(), QStringLiteral("Turn off HDMI/preview output and clear current page to change mode!"));
    EXPECT_FALSE(Control<QComboBox>(dialog, M::ListDisplay)->isVisible());

    // A list moved behind the lock's back changes nothing on OK.
    mode->setCurrentIndex(VideoModes::ListPosition(5));
    Control<QCheckBox>(dialog, M::CheckAuto)->setChecked(true);
    dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(doc.ModeIndex, 1);
    EXPECT_EQ(store->Get(Settings::Mode), 1);
    EXPECT_EQ(store->Get(Settings::Auto), 1) << "the other rows are written";
}

TEST_F(PrefsDialogs, PreferencesWriteTheirSettingsOnOkAndNothingOnCancel) {
    int modeChanged = 0, canvas = 0, remote = 0;
    const M::Hooks hooks{[&] { ++modeChanged; }, [&] { ++canvas; }, [&] { ++remote; }, {}};
    {
        CDlgPreferences cancelled(doc, *store, InstanceKind::Main, hooks, displays);
        Control<QLineEdit>(cancelled, M::EditMarginH)->setText(QStringLiteral("12"));
        cancelled.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->click();
        EXPECT_TRUE(store->Sections().isEmpty()) << "Cancel changes nothing";
    }

    CDlgPreferences dialog(doc, *store, InstanceKind::Main, hooks, displays);
    dialog.chooseFolder = [](const QString&, QWidget*) { return QStringLiteral("/tmp/chosen"); };
    dialog.chooseColour = [](const QColor&, QWidget*) { return std::optional<QColor>(QColor(0x10, 0x20, 0x30)); };
    dialog.show();
    auto* mode = Control<QComboBox>(dialog, M::ListMode);
    EXPECT_TRUE(mode->isEnabled());
    EXPECT_FALSE(Control<QLabel>(dialog, M::StaticModeNote)->isVisible());
    EXPECT_TRUE(Control<QComboBox>(dialog, M::ListDisplay)->isVisible());
    EXPECT_EQ(mode->currentText(), VideoModes::Name(1));

    // Fields shown only with their boxes.
    auto* snap = Control<QCheckBox>(dialog, M::CheckSnap);
    auto* grid = Control<QLineEdit>(dialog, M::EditGridStep);
    EXPECT_FALSE(grid->isVisible());
    snap->setChecked(true);
    EXPECT_TRUE(grid->isVisible());
    auto* colour = Control<QPushButton>(dialog, M::ButtonColour);
    EXPECT_FALSE(colour->isVisible());
    Control<QRadioButton>(dialog, M::RadioSolid)->setChecked(true);
    EXPECT_TRUE(colour->isVisible());
    colour->click();
    auto* address = Control<QLineEdit>(dialog, M::EditRemoteIP);
    EXPECT_FALSE(address->isVisible());
    Control<QCheckBox>(dialog, M::CheckUseRemote)->setChecked(true);
    EXPECT_TRUE(address->isVisible());
    EXPECT_FALSE(Control<QWidget>(dialog, M::SliderLumaKey)->isVisible());

    mode->setCurrentIndex(VideoModes::ListPosition(5));
    Control<QComboBox>(dialog, M::ListDisplay)->setCurrentIndex(1);
    Control<QCheckBox>(dialog, M::CheckFullRange)->setChecked(false);
    Control<QPushButton>(dialog, M::ButtonBrowse)->click();
    EXPECT_EQ(Control<QLineEdit>(dialog, M::EditRootFolder)->text(), QStringLiteral("/tmp/chosen/"));
    Control<QComboBox>(dialog, M::ListTreeAction)->setCurrentIndex(2);
    EXPECT_EQ(Control<QComboBox>(dialog, M::ListTreeAction)->currentText(), QStringLiteral("Load page file and play it"));
    grid->clear();
    QTest::keyClicks(grid, QStringLiteral("7x0"));  // digits only
    EXPECT_EQ(grid->text(), QStringLiteral("70"));
    Control<QLineEdit>(dialog, M::EditMarginH)->setText(QStringLiteral("55"));
    Control<QLineEdit>(dialog, M::EditMarginV)->setText(QStringLiteral("4"));
    address->setText(QStringLiteral("192.168.1.10"));
    dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();

    EXPECT_EQ(doc.ModeIndex, 5);
    EXPECT_EQ(store->Get(Settings::Mode), 5);
    EXPECT_EQ(store->GetText(Settings::DisplayAdapter), QStringLiteral("HDMI-1"));
    EXPECT_EQ(store->Get(Settings::FullHDMIRange), 0);
    EXPECT_EQ(store->GetText(Settings::RootFolder), QStringLiteral("/tmp/chosen/"));
    EXPECT_EQ(store->Get(Settings::DefaultTreeAction), 2);
    EXPECT_EQ(store->Get(Settings::SnapToGrid, InstanceKind::Main), 1);
    EXPECT_EQ(store->Get(Settings::GridStep, InstanceKind::Main), 50);
    EXPECT_EQ(store->Get(Settings::Background), 1);
    EXPECT_EQ(store->Get(Settings::BackgroundColor), 0x302010);
    EXPECT_EQ(store->Get(Settings::MarginH), 40);
    EXPECT_EQ(store->Get(Settings::MarginV), 4);
    EXPECT_EQ(store->Get(Settings::UseRemote), 1);
    EXPECT_EQ(store->Get(Settings::RemoteIP), 167880896);
    EXPECT_EQ(modeChanged, 1);
    EXPECT_EQ(canvas, 1);
    EXPECT_EQ(remote, 1);
}

TEST_F(PrefsDialogs, AnEditorInstanceHidesTheOutputRowsAndTheDialogIsTranslatedById) {
    const QByteArray pack = R"(<?xml version="1.0" encoding="UTF-8"?>
<language_pack><translations>
  <translation name="Deutsch" id="1031"><resources>
    <string id="81320000">Einstellungen</string>
    <string id="813203F3">Objekte am Raster ausrichten</string>
    <string id="806A044C">Hardware anschliessen</string>
    <string id="813303EB">Voller RGB-Bereich</string>
  </resources></translation>
</translations></language_pack>)";
    ASSERT_TRUE(CTranslate::Global().LoadLanguagePackData(pack));
    CTranslate::Global().SelectLanguage(1);
    CDlgPreferences dialog(doc, *store, InstanceKind::Editor, {}, displays);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Einstellungen"));
    EXPECT_EQ(Control<QCheckBox>(dialog, M::CheckSnap)->text(), QStringLiteral("Objekte am Raster ausrichten"));
    EXPECT_EQ(Control<QCheckBox>(dialog, M::CheckLargeToolbar)->text(),
              QStringLiteral("Use large icons in toolbars (requires restart)"))
        << "no text in the pack: the English stays";
    for (int id : {int(M::ListMode), int(M::CheckAuto), int(M::CheckNoRestore), int(M::CheckFullRange),
                   int(M::CheckAlternativeSync), int(M::EditRootFolder), int(M::CheckUseRemote),
                   int(M::StaticModeNote)})
        EXPECT_FALSE(Control<QWidget>(dialog, id)->isVisible()) << id;
    EXPECT_TRUE(Control<QWidget>(dialog, M::ListTreeAction)->isVisible());

    CFirstSetupWizard wizard(doc, *store, InstanceKind::Main, {}, displays);
    EXPECT_EQ(Control<QLabel>(wizard, CSetupWizardModel::StaticReadyText)->text(),
              QStringLiteral("Hardware anschliessen"));
    EXPECT_EQ(Control<QCheckBox>(wizard, CSetupWizardModel::CheckFullRange)->text(),
              QStringLiteral("Voller RGB-Bereich"));
    CTranslate::Global().SelectLanguage(0);
}

// ---------------------------------------------------------------------------------
// The wizard

TEST_F(PrefsDialogs, TheWizardIgnoresCloseAndKeysAndCancelAtFirstStartSaysSo) {
    CFirstSetupWizard wizard(doc, *store, InstanceKind::Main, {}, displays);
    wizard.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&wizard));
    EXPECT_EQ(wizard.windowTitle(), QStringLiteral("Initial setup wizard"));
    EXPECT_FALSE(wizard.close());
    QTest::keyClick(&wizard, Qt::Key_Escape);
    QTest::keyClick(&wizard, Qt::Key_Return);
    EXPECT_TRUE(wizard.isVisible());
    EXPECT_EQ(wizard.currentId(), CFirstSetupWizard::ReadyPage);
    EXPECT_TRUE(presenter.texts.empty());

    wizard.button(QWizard::CancelButton)->click();
    EXPECT_FALSE(wizard.isVisible());
    EXPECT_EQ(wizard.result(), QDialog::Rejected);
    ASSERT_EQ(presenter.texts.size(), 1u);
    EXPECT_EQ(presenter.texts[0],
              QStringLiteral("You have canceled Initial setup wizard.\n\nIf you want to run it later, please select\n"
                             "'Settings - Run initial setup wizard' command from the main menu."));
    EXPECT_EQ(store->Get(Settings::FirstTimeSetup), 0);

    CFirstSetupWizard later(doc, *store, InstanceKind::Main, {}, displays);
    later.show();
    later.button(QWizard::CancelButton)->click();
    EXPECT_EQ(presenter.texts.size(), 1u) << "only a first start is told";
}

TEST_F(PrefsDialogs, NextThatCannotStartTheOutputStaysOnTheFirstPage) {
    CSetupWizardModel::Hooks hooks;
    hooks.testOutput = [](CFrameSet&, int, const QString&, bool) { return std::unique_ptr<COutputSession>(); };
    CFirstSetupWizard wizard(doc, *store, InstanceKind::Main, hooks, displays);
    wizard.show();
    wizard.button(QWizard::NextButton)->click();
    EXPECT_EQ(wizard.currentId(), CFirstSetupWizard::ReadyPage);
    ASSERT_EQ(presenter.texts.size(), 1u);
    EXPECT_TRUE(presenter.texts[0].startsWith(QStringLiteral("Error: Failed to configure HDMI output!")));
    EXPECT_EQ(wizard.Model().TestPage().LiveCount(), 40) << "the pattern was built for the engine";
}

TEST_F(PrefsDialogs, TheWizardPlaysThePatternSwitchesTheRangeAndFinishWritesTheSettings) {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) GTEST_SKIP() << "needs an X server";
    int started = 0, modeChanged = 0;
    CFirstSetupWizard wizard(doc, *store, InstanceKind::Main,
                             {[&] { ++modeChanged; }, {}, [&] { ++started; }, {}}, displays);
    wizard.show();
    auto* mode = Control<QComboBox>(wizard, CSetupWizardModel::ListMode);
    mode->setCurrentIndex(VideoModes::ListPosition(5));
    wizard.button(QWizard::NextButton)->click();
    ASSERT_EQ(wizard.currentId(), CFirstSetupWizard::DonePage)
        << (presenter.texts.empty() ? "" : qPrintable(presenter.texts.back()));
    CRender* engine = wizard.Model().TestEngine();
    ASSERT_NE(engine, nullptr);
    EXPECT_EQ(engine->fullHdmiRange.load(), 1);

    // The pattern for 1280 x 720, every object playing on the wizard's own page.
    std::vector<CFrame*> objects;
    const int count = wizard.Model().TestPage().BeginSnapshot(objects);
    const auto blocks = RangeTestPattern::Blocks(1280, 720);
    ASSERT_EQ(count, 40);
    for (int k = 0; k < count; ++k) {
        EXPECT_EQ(objects[size_t(k)]->Rect, blocks[size_t(k)].rect) << k;
        EXPECT_EQ(objects[size_t(k)]->BackColor, blocks[size_t(k)].backColor) << k;
        EXPECT_EQ(objects[size_t(k)]->Playing.load(), 1) << k;
    }
    wizard.Model().TestPage().EndSnapshot();
    EXPECT_EQ(doc.Page.LiveCount(), 0);

    // The range box reaches the running engine.
    auto* range = Control<QCheckBox>(wizard, CSetupWizardModel::CheckFullRange);
    ASSERT_TRUE(range->isVisible());
    range->setChecked(false);
    EXPECT_EQ(engine->fullHdmiRange.load(), 0);
    const int frames = engine->framesRendered.load();
    QTRY_VERIFY_WITH_TIMEOUT(engine->framesRendered.load() > frames, 10000);
    EXPECT_EQ(engine->status.load(), RenderStatus::Ok);

    // Back stops the test; Next starts it again with the range chosen.
    wizard.back();
    EXPECT_EQ(wizard.currentId(), CFirstSetupWizard::ReadyPage);
    EXPECT_EQ(wizard.Model().TestOutput(), nullptr);
    wizard.button(QWizard::NextButton)->click();
    ASSERT_EQ(wizard.currentId(), CFirstSetupWizard::DonePage);
    ASSERT_NE(wizard.Model().TestEngine(), nullptr);
    EXPECT_EQ(wizard.Model().TestEngine()->fullHdmiRange.load(), 0);

    wizard.button(QWizard::FinishButton)->click();
    EXPECT_EQ(wizard.result(), QDialog::Accepted);
    EXPECT_EQ(wizard.Model().TestOutput(), nullptr);
    EXPECT_EQ(doc.ModeIndex, 5);
    EXPECT_EQ(store->Get(Settings::Mode), 5);
    EXPECT_EQ(store->Get(Settings::FullHDMIRange), 0);
    EXPECT_EQ(store->GetText(Settings::DisplayAdapter), QString());
    EXPECT_EQ(store->Get(Settings::FirstTimeSetup), 0);
    EXPECT_EQ(started, 1);
    EXPECT_EQ(modeChanged, 1);
    EXPECT_TRUE(presenter.texts.empty());
}

}  // namespace

int main(int argc, char** argv) {
    const bool display = !qEnvironmentVariableIsEmpty("DISPLAY");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || display)
        qputenv("QT_QPA_PLATFORM", display ? "xcb" : "offscreen");
    // The output reads its debug window from the process's store: a temporary one,
    // with the window standing in for the output display.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    CSettingsStore::Global().Set(Settings::DebugWindow, 1);
    CWindowTarget::KeepDriverLoaded();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
