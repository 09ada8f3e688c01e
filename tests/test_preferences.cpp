// The preferences and the set-up wizard without widgets: the range test pattern's
// geometry, the fields from and to the settings with their clamps and the
// address, the mode that may not change under a page with objects, the display
// list, and the wizard's ends (settings written, first start cleared, messages).
#include "app/EditorShell.h"
#include "app/Preferences.h"
#include "app/SetupWizard.h"
#include "core/VideoModes.h"
#include "output/DisplayConfiguration.h"
#include "output/OutputSession.h"
#include "remote/SwitcherPeer.h"
#include "tests/RecordingPresenter.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class QuietHost : public IDocumentHost {
public:
    void UpdateViews(int) override {}
};

class PreferencesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        store = std::make_unique<CSettingsStore>(dir.filePath(QStringLiteral("Corvane.ini")));
        CTranslate::Global().Clear();
        CTranslate::Global().SelectLanguage(0);
    }
    QTemporaryDir dir;
    std::unique_ptr<CSettingsStore> store;
    QuietHost host;
    CMainDoc doc{host, 1};
    RecordingPresenter presenter;
    const std::vector<OutputDisplayEntry> displays{{QString(), QStringLiteral("Auto")},
                                                   {QStringLiteral("HDMI-1"), QStringLiteral("1. Card - Monitor A")},
                                                   {QStringLiteral("DP-2"), QStringLiteral("2. Card - Monitor B")}};
};

// ---------------------------------------------------------------------------------
// The range test pattern

struct PatternCase {
    int mode;
    int barWidth;
    int blockBottom;  // the opaque block spans 32 .. blockBottom
    int rowsTop;      // the first of the four rows
    int rowHeight;
};

TEST(RangeTestPattern, BarsBlocksAndRowsFollowTheRenderSize) {
    const PatternCase cases[] = {
        {1, 228, 524, 556, 123},  // 1920 x 1080
        {5, 148, 344, 376, 78},   // 1280 x 720
        {10, 78, 228, 260, 49},   // 720 x 488
    };
    for (const PatternCase& c : cases) {
        SCOPED_TRACE(VideoModes::Name(c.mode).toStdString());
        const auto blocks = RangeTestPattern::Blocks(VideoModes::RenderWidth(c.mode), VideoModes::RenderHeight(c.mode));
        ASSERT_EQ(blocks.size(), 40u);
        for (int bar = 0; bar < 8; ++bar) {
            const int left = 32 + bar * c.barWidth;
            const uint32_t colour = RangeTestPattern::BarColours[bar];
            const auto& block = blocks[size_t(bar * 5)];
            EXPECT_EQ(block.rect, (CRect{left, 32, left + c.barWidth, c.blockBottom})) << "bar " << bar;
            EXPECT_EQ(block.backColor, 0xFF000000u | colour);
            const int opacities[4] = {0, 16, 32, 48};
            for (int row = 0; row < 4; ++row) {
                const auto& stripe = blocks[size_t(bar * 5 + 1 + row)];
                const int top = c.rowsTop + row * c.rowHeight;
                EXPECT_EQ(stripe.rect, (CRect{left, top, left + c.barWidth, top + c.rowHeight}))
                    << "bar " << bar << " row " << row;
                EXPECT_EQ(stripe.backColor, (uint32_t(opacities[row]) << 24) | colour);
            }
        }
    }
    // Left to right: white, yellow, cyan, green, magenta, red, blue, black, red in
    // the low byte.
    EXPECT_EQ(RangeTestPattern::BarColours[1], 0x00FFFFu);  // yellow: red and green
    EXPECT_EQ(RangeTestPattern::BarColours[5], 0x0000FFu);  // red
    EXPECT_EQ(RangeTestPattern::BarColours[6], 0xFF0000u);  // blue
}

TEST(RangeTestPattern, BuildPutsTheBlocksOnThePageAsSolidObjects) {
    CFrameSet page;
    auto stale = std::make_unique<CFrame>();
    ASSERT_TRUE(page.Add(stale));
    ASSERT_TRUE(RangeTestPattern::Build(page, 5));
    std::vector<CFrame*> objects;
    const int count = page.BeginSnapshot(objects);
    const auto blocks = RangeTestPattern::Blocks(1280, 720);
    ASSERT_EQ(count, 40) << "the object there before is gone";
    for (int k = 0; k < count; ++k) {
        EXPECT_EQ(objects[size_t(k)]->Rect, blocks[size_t(k)].rect) << k;
        EXPECT_EQ(objects[size_t(k)]->BackColor, blocks[size_t(k)].backColor) << k;
        EXPECT_EQ(objects[size_t(k)]->Kind, KindSimple);
        EXPECT_TRUE(objects[size_t(k)]->RichText.isEmpty());
        EXPECT_EQ(objects[size_t(k)]->FramePeriod, VideoModes::FramePeriod(5));
        EXPECT_EQ(objects[size_t(k)]->ShowIndefinitely, 1);
    }
    page.EndSnapshot();
}

// ---------------------------------------------------------------------------------
// Preferences

TEST_F(PreferencesTest, FieldsComeFromTheStoreAndOkWritesThemBack) {
    store->Set(Settings::Auto, 1);
    store->Set(Settings::FullHDMIRange, 0);
    store->SetText(Settings::DisplayAdapter, QStringLiteral("DP-2"));
    store->SetText(Settings::RootFolder, QStringLiteral("/pages/"));
    store->Set(Settings::DefaultTreeAction, 3);
    store->Set(Settings::SnapToGrid, 1);
    store->Set(Settings::GridStep, 12);
    store->Set(Settings::Background, 1);
    store->Set(Settings::BackgroundColor, 0x123456);
    store->Set(Settings::MarginH, 5);
    store->Set(Settings::UseRemote, 1);
    store->Set(Settings::RemoteIP, 167880896);
    CPreferencesModel model(doc, *store, InstanceKind::Main, displays);
    EXPECT_TRUE(model.Auto);
    EXPECT_FALSE(model.FullHdmiRange);
    EXPECT_EQ(model.DisplayIndex, 2);
    EXPECT_EQ(model.RootFolder, QStringLiteral("/pages/"));
    EXPECT_EQ(model.DefaultTreeAction, 3);
    EXPECT_TRUE(model.SnapToGrid);
    EXPECT_EQ(model.GridStep, QStringLiteral("12"));
    EXPECT_TRUE(model.ColourShown());
    EXPECT_EQ(model.BackgroundColor, 0x123456u);
    EXPECT_EQ(model.MarginH, QStringLiteral("5"));
    EXPECT_TRUE(model.UseRemote);
    EXPECT_EQ(model.RemoteAddress, QStringLiteral("192.168.1.10"));

    model.Auto = false;
    model.NoRestoreDisplays = true;
    model.AlternativeSync = true;
    model.FullHdmiRange = true;
    model.DisplayIndex = 1;
    model.ChooseRootFolder(QStringLiteral("/srv/corvane/pages"));
    model.DefaultTreeAction = 4;
    model.LargeToolbar = true;
    model.SnapToGrid = false;
    model.Background = 0;
    model.MarginV = QStringLiteral("7");
    model.RemoteAddress = QStringLiteral("10.0.0.2");
    int written = 0, remote = 0, canvas = 0;
    model.Ok();  // no hooks: nothing to call
    CPreferencesModel again(doc, *store, InstanceKind::Main, displays,
                            {nullptr, [&] { ++canvas; }, [&] { ++remote; }, [&] { ++written; }});
    EXPECT_FALSE(again.Auto);
    EXPECT_TRUE(again.NoRestoreDisplays);
    EXPECT_TRUE(again.AlternativeSync);
    EXPECT_TRUE(again.FullHdmiRange);
    EXPECT_EQ(store->GetText(Settings::DisplayAdapter), QStringLiteral("HDMI-1"));
    EXPECT_EQ(store->GetText(Settings::RootFolder), QStringLiteral("/srv/corvane/pages/"));
    EXPECT_EQ(store->Get(Settings::DefaultTreeAction), 4);
    EXPECT_EQ(store->Get(Settings::LargeToolbar), 1);
    EXPECT_EQ(store->Get(Settings::SnapToGrid, InstanceKind::Main), 0);
    EXPECT_EQ(store->Get(Settings::Background), 0);
    EXPECT_EQ(store->Get(Settings::MarginV), 7);
    EXPECT_EQ(store->Get(Settings::RemoteIP), 0x0200000A);
    EXPECT_EQ(store->Get(Settings::UseRemote), 1);

    // Unchanged remote values: the switcher stays; the canvas and the pages pane
    // reload every time.
    again.Ok();
    EXPECT_EQ(remote, 0);
    EXPECT_EQ(written, 1);
    EXPECT_EQ(canvas, 1);
    again.UseRemote = false;
    again.Ok();
    EXPECT_EQ(remote, 1);
    EXPECT_EQ(store->Get(Settings::UseRemote), 0);
    // "Auto" selected again gives the empty device name.
    again.DisplayIndex = 0;
    again.Ok();
    EXPECT_EQ(store->GetText(Settings::DisplayAdapter), QString());
}

TEST_F(PreferencesTest, GridSizeAndMarginsAreClampedOnOk) {
    struct Case {
        const char* grid;
        int storedGrid;
        const char* margin;
        int storedMargin;
    };
    const Case cases[] = {{"1", 2, "55", 40}, {"70", 50, "40", 40}, {"", 2, "", 0},
                          {"9", 9, "3", 3},   {"99999999999", 50, "99999999999", 40}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.grid);
        CPreferencesModel model(doc, *store, InstanceKind::Main, displays);
        model.GridStep = QString::fromLatin1(c.grid);
        model.MarginH = QString::fromLatin1(c.margin);
        model.MarginV = QString::fromLatin1(c.margin);
        model.Ok();
        EXPECT_EQ(store->Get(Settings::GridStep, InstanceKind::Main), c.storedGrid);
        EXPECT_EQ(store->Get(Settings::MarginH), c.storedMargin);
        EXPECT_EQ(store->Get(Settings::MarginV), c.storedMargin);
        EXPECT_EQ(model.GridStep, QString::number(c.storedGrid)) << "the field shows what was stored";
    }
}

TEST_F(PreferencesTest, TheSwitcherAddressNeedsAllFourParts) {
    EXPECT_EQ(CPreferencesModel::AddressValue(QStringLiteral("192.168.1.10")), 167880896);
    EXPECT_EQ(CPreferencesModel::AddressValue(QStringLiteral("192.168..10")), 0);
    EXPECT_EQ(CPreferencesModel::AddressValue(QStringLiteral("...")), 0);
    EXPECT_EQ(CPreferencesModel::AddressValue(QStringLiteral("192.168.1.300")), 0);
    EXPECT_EQ(CPreferencesModel::AddressValue(QStringLiteral("192.168.001.010")), 167880896);

    store->Set(Settings::RemoteIP, 167880896);
    CPreferencesModel model(doc, *store, InstanceKind::Main, displays);
    EXPECT_FALSE(model.UseRemote);
    EXPECT_FALSE(model.RemoteAddressShown());
    model.UseRemote = true;
    EXPECT_TRUE(model.RemoteAddressShown());
    model.RemoteAddress = QStringLiteral("192.168..10");
    model.Ok();
    EXPECT_EQ(store->Get(Settings::UseRemote), 0) << "a blank part switches the switcher off";
    EXPECT_EQ(store->Get(Settings::RemoteIP), 167880896) << "the stored address stays";
    EXPECT_FALSE(model.UseRemote);
}

TEST_F(PreferencesTest, TheModeChangesOnlyWithoutEngineObjectsOrChanges) {
    int modeHook = 0;
    const auto make = [&] {
        return std::make_unique<CPreferencesModel>(doc, *store, InstanceKind::Main, displays,
                                                   CPreferencesModel::Hooks{[&] { ++modeHook; }, {}, {}, {}});
    };
    // An object on the page: the list is locked, the note replaces the display row.
    doc.AddSimpleObject();
    doc.Modified = false;
    auto model = make();
    EXPECT_FALSE(model->ModeChangeAllowed());
    EXPECT_TRUE(model->ModeNoteShown());
    EXPECT_FALSE(model->DisplayRowShown());
    EXPECT_FALSE(model->ChooseMode(5));
    EXPECT_EQ(model->Mode, 1);
    model->Mode = 5;  // even a field set behind the list's back
    model->Ok();
    EXPECT_EQ(doc.ModeIndex, 1);
    EXPECT_EQ(store->Get(Settings::Mode), 1);
    EXPECT_EQ(modeHook, 0);

    // A modified empty page, and an engine running: still locked.
    doc.NewPage();
    doc.Modified = true;
    EXPECT_FALSE(make()->ModeChangeAllowed());
    doc.Modified = false;
    doc.Page.OutputOn.store(1);
    EXPECT_FALSE(make()->ModeChangeAllowed());
    doc.Page.OutputOn.store(0);

    model = make();
    EXPECT_TRUE(model->ModeChangeAllowed());
    EXPECT_TRUE(model->DisplayRowShown());
    EXPECT_FALSE(model->ModeNoteShown());
    EXPECT_TRUE(model->ChooseMode(5));
    EXPECT_FALSE(model->ChooseMode(13));
    model->Ok();
    EXPECT_EQ(doc.ModeIndex, 5);
    EXPECT_EQ(doc.PageWidth(), 1280);
    EXPECT_EQ(store->Get(Settings::Mode), 5);
    EXPECT_EQ(modeHook, 1);
}

TEST_F(PreferencesTest, AnEditorInstanceWritesOnlyItsCanvasKeys) {
    store->Set(Settings::UseRemote, 1);
    store->Set(Settings::RemoteIP, 167880896);
    int written = 0;
    CPreferencesModel model(doc, *store, InstanceKind::Editor, displays, {{}, {}, {}, [&] { ++written; }});
    EXPECT_FALSE(model.OutputRowsShown());
    EXPECT_FALSE(model.ModeNoteShown());
    EXPECT_FALSE(model.DisplayRowShown());
    EXPECT_FALSE(model.UseRemote) << "the box opens ticked only in the main instance";
    model.SnapToGrid = true;
    model.GridStep = QStringLiteral("1");
    model.Auto = true;
    model.DefaultTreeAction = 2;
    model.ChooseMode(6);
    model.Ok();
    EXPECT_EQ(store->GetInt(QStringLiteral("View"), QStringLiteral("SnapToGrid"), -1), 1);
    EXPECT_EQ(store->GetInt(QStringLiteral("View"), QStringLiteral("GridStep"), -1), 2);
    EXPECT_FALSE(store->Contains(QStringLiteral("ViewEdit"), QStringLiteral("SnapToGrid")));
    EXPECT_TRUE(store->Keys(QStringLiteral("Preferences")).isEmpty()) << "the document's keys are left alone";
    EXPECT_EQ(store->Get(Settings::UseRemote), 1);
    EXPECT_EQ(doc.ModeIndex, 1);
    EXPECT_EQ(written, 0);
}

// Two displays beside the primary, one of which cannot show 1920 x 1080.
class RecordedDisplays : public IDisplaySystem {
public:
    bool Enumerate(std::vector<DisplayDevice>& devices) override {
        DisplayDevice primary{QStringLiteral("eDP-1"), QStringLiteral("Intel"), QStringLiteral("Panel"), true, true,
                              true, 0, 0, {1920, 1080, 60, false}, {{1920, 1080, 60, false}}};
        DisplayDevice hdmi{QStringLiteral("HDMI-1"), QStringLiteral("Intel"), QStringLiteral("Switcher"), true,
                           false, false, 0, 0, {}, {{1280, 720, 60, false}, {1920, 1080, 50, false}}};
        DisplayDevice small{QStringLiteral("VGA-1"), QStringLiteral("Intel"), QStringLiteral("Old"), true,
                            false, false, 0, 0, {}, {{1024, 768, 60, false}}};
        DisplayDevice dark{QStringLiteral("DP-1"), QStringLiteral("Intel"), QString(), false, false, false, 0, 0, {}, {}};
        devices = {primary, hdmi, small, dark};
        return true;
    }
    int SetMode(const QString&, const DisplayModeInfo&, int, int) override { return Failed; }
    int Detach(const QString&) override { return Failed; }
};

TEST_F(PreferencesTest, TheDisplayListOffersAutoAndEveryDisplayThatShowsFullHd) {
    RecordedDisplays system;
    const auto entries = OutputDisplayEntries(system);
    const std::vector<OutputDisplayEntry> expected{{QString(), QStringLiteral("Auto")},
                                                   {QStringLiteral("HDMI-1"), QStringLiteral("1. Intel - Switcher")}};
    EXPECT_EQ(entries, expected);
    store->SetText(Settings::DisplayAdapter, QStringLiteral("VGA-1"));
    EXPECT_EQ(CPreferencesModel(doc, *store, InstanceKind::Main, entries).DisplayIndex, 0)
        << "a device not listed selects Auto";
    store->SetText(Settings::DisplayAdapter, QStringLiteral("HDMI-1"));
    EXPECT_EQ(CPreferencesModel(doc, *store, InstanceKind::Main, entries).DisplayIndex, 1);
}

TEST_F(PreferencesTest, ANewSwitcherAddressRestartsTheShellsSwitcherClient) {
    CSwitcherPeer peer;
    ASSERT_TRUE(peer.Open(0)) << qPrintable(peer.Error());
    CEditorShell::Hooks shellHooks;
    shellHooks.switcherTiming.port = peer.Port();
    shellHooks.switcherTiming.waitMs = 100;
    shellHooks.switcherTiming.endPauseMs = 10;
    CEditorShell shell(doc, InstanceKind::Main, *store, nullptr, shellHooks);
    EXPECT_EQ(shell.Switcher(), nullptr) << "no address stored";
    const CPreferencesModel::Hooks hooks{{}, {}, [&] { shell.RestartSwitcher(); }, {}};

    CPreferencesModel on(doc, *store, InstanceKind::Main, displays, hooks);
    on.UseRemote = true;
    on.RemoteAddress = QStringLiteral("127.0.0.1");
    on.Ok();
    const CRemoteButtonsInterface* first = shell.Switcher();
    EXPECT_NE(first, nullptr);

    CPreferencesModel off(doc, *store, InstanceKind::Main, displays, hooks);
    EXPECT_TRUE(off.UseRemote);
    off.UseRemote = false;
    off.Ok();
    EXPECT_EQ(shell.Switcher(), nullptr);
}

// ---------------------------------------------------------------------------------
// The wizard's ends

TEST_F(PreferencesTest, FinishStoresTheChoiceClearsTheFirstStartAndStartsTheOutput) {
    for (InstanceKind kind : {InstanceKind::Main, InstanceKind::Editor}) {
        SCOPED_TRACE(kind == InstanceKind::Main ? "main" : "editor");
        store->Set(Settings::FirstTimeSetup, 1);
        store->Set(Settings::Mode, 1);
        store->Set(Settings::FullHDMIRange, 1);
        doc.ModeIndex = 1;
        int started = 0, modeChanged = 0, written = 0;
        CSetupWizardModel wizard(doc, *store, kind, displays,
                                 {[&] { ++modeChanged; }, [&] { ++written; }, [&] { ++started; }, {}});
        EXPECT_EQ(wizard.Mode, 1);
        EXPECT_TRUE(wizard.FullHdmiRange);
        EXPECT_EQ(wizard.CurrentPage(), 0);
        wizard.Mode = 6;
        wizard.DisplayIndex = 2;
        wizard.SetFullRange(false);  // no engine yet: only the field
        wizard.Finish();
        EXPECT_EQ(doc.ModeIndex, 6);
        EXPECT_EQ(store->Get(Settings::Mode), 6);
        EXPECT_EQ(store->GetText(Settings::DisplayAdapter), QStringLiteral("DP-2"));
        EXPECT_EQ(store->Get(Settings::FullHDMIRange), 0);
        EXPECT_EQ(store->Get(Settings::FirstTimeSetup), 0);
        EXPECT_TRUE(store->Contains(QStringLiteral("View"), QStringLiteral("FirstTimeSetup")));
        EXPECT_EQ(modeChanged, 1);
        EXPECT_EQ(written, 1);
        EXPECT_EQ(started, kind == InstanceKind::Main ? 1 : 0);
        EXPECT_TRUE(presenter.texts.empty());
    }
}

TEST_F(PreferencesTest, TheWizardOpensOnlyOnARenewedDocument) {
    CEditorShell shell(doc, InstanceKind::Main, *store, nullptr, {});
    doc.AddSimpleObject();
    ASSERT_TRUE(doc.Modified);
    presenter.answer = IdCancel;
    EXPECT_FALSE(CSetupWizardModel::RenewDocument(doc, shell, {}));
    EXPECT_EQ(doc.Page.LiveCount(), 1) << "the page stays when the question is cancelled";
    ASSERT_EQ(presenter.texts.size(), 1u);
    EXPECT_EQ(presenter.texts[0], QStringLiteral("Save changes to 'Untitled'?"));
    presenter.answer = IdNo;
    EXPECT_TRUE(CSetupWizardModel::RenewDocument(doc, shell, {}));
    EXPECT_EQ(doc.Page.LiveCount(), 0);
    EXPECT_FALSE(doc.Modified);
    presenter.texts.clear();
    EXPECT_TRUE(CSetupWizardModel::RenewDocument(doc, shell, {}));
    EXPECT_TRUE(presenter.texts.empty()) << "an unmodified page is renewed without a question";
}

TEST_F(PreferencesTest, CancelAtTheFirstStartSaysHowToRunItLaterOnce) {
    CSetupWizardModel first(doc, *store, InstanceKind::Main, displays);
    first.Cancel();
    ASSERT_EQ(presenter.texts.size(), 1u);
    EXPECT_EQ(presenter.texts[0],
              QStringLiteral("You have canceled Initial setup wizard.\n\nIf you want to run it later, please select\n"
                             "'Settings - Run initial setup wizard' command from the main menu."));
    EXPECT_EQ(store->Get(Settings::FirstTimeSetup), 0);
    EXPECT_FALSE(store->Contains(QStringLiteral("Preferences"), QStringLiteral("Mode")));

    CSetupWizardModel later(doc, *store, InstanceKind::Main, displays);
    later.Cancel();
    EXPECT_EQ(presenter.texts.size(), 1u) << "from the menu, cancelling says nothing";
}

TEST_F(PreferencesTest, ATestOutputThatFailsIsReportedAndThePageStays) {
    int asked = 0;
    QString device;
    bool range = true;
    CSetupWizardModel wizard(doc, *store, InstanceKind::Main, displays,
                             {{}, {}, {}, [&](CFrameSet& page, int mode, const QString& name, bool full) {
                                  ++asked;
                                  device = name;
                                  range = full;
                                  EXPECT_EQ(page.LiveCount(), 40) << "the pattern is built first";
                                  EXPECT_EQ(mode, 7);
                                  return std::unique_ptr<COutputSession>();
                              }});
    wizard.Mode = 7;
    wizard.DisplayIndex = 1;
    wizard.FullHdmiRange = false;
    EXPECT_FALSE(wizard.Next());
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(device, QStringLiteral("HDMI-1"));
    EXPECT_FALSE(range);
    EXPECT_EQ(wizard.CurrentPage(), 0);
    EXPECT_EQ(wizard.TestOutput(), nullptr);
    ASSERT_EQ(presenter.texts.size(), 1u);
    EXPECT_TRUE(presenter.texts[0].startsWith(QStringLiteral("Error: Failed to configure HDMI output!")));
    EXPECT_EQ(doc.Page.LiveCount(), 0) << "the document's page is not the wizard's";
    // Next may be tried again.
    EXPECT_FALSE(wizard.Next());
    EXPECT_EQ(asked, 2);
}

}  // namespace
