#include "app/SetupWizard.h"

#include "app/EditorShell.h"
#include "base/Debug.h"
#include "core/VideoModes.h"
#include "output/OutputSession.h"
#include "playback/PlayCommand.h"

#include <algorithm>
#include <utility>

namespace RangeTestPattern {

namespace {
constexpr int Edge = 32;     // left and top edge of the pattern
constexpr int Spacing = 96;  // the edges and the gap between block and rows, together
constexpr int RowsGap = 64;  // from the top edge to the first row, below the block
}  // namespace

std::vector<Block> Blocks(int renderWidth, int renderHeight) {
    const int barWidth = (renderWidth - Spacing) / BarCount;
    const int blockHeight = (renderHeight - Spacing) / 2;
    const int rowHeight = blockHeight / 4;
    std::vector<Block> blocks;
    blocks.reserve(ObjectCount);
    for (int bar = 0; bar < BarCount; ++bar) {
        const int left = Edge + bar * barWidth;
        const int right = left + barWidth;
        blocks.push_back({CRect{left, Edge, right, Edge + blockHeight}, (255u << 24) | BarColours[bar]});
        for (int row = 1; row < RowsPerBar; ++row) {
            const int top = blockHeight + RowsGap + (row - 1) * rowHeight;
            blocks.push_back({CRect{left, top, right, top + rowHeight},
                              (uint32_t(RowOpacities[row]) << 24) | BarColours[bar]});
        }
    }
    return blocks;
}

bool Build(CFrameSet& page, int mode) {
    page.RemoveAll();
    for (const Block& block : Blocks(VideoModes::RenderWidth(mode), VideoModes::RenderHeight(mode))) {
        auto object = std::make_unique<CFrame>();
        object->Rect = block.rect;
        object->BackColor = block.backColor;
        object->FramePeriod = VideoModes::FramePeriod(mode);
        if (!page.Add(object)) {
            page.RemoveAll();
            return false;
        }
    }
    return true;
}

}  // namespace RangeTestPattern

CSetupWizardModel::CSetupWizardModel(CMainDoc& document, CSettingsStore& settings, InstanceKind kind,
                                     std::vector<OutputDisplayEntry> displays, Hooks hooks)
    : document_(document), settings_(settings), kind_(kind), displays_(std::move(displays)), hooks_(std::move(hooks)) {
    if (displays_.empty() || !displays_.front().deviceName.isEmpty())
        displays_.insert(displays_.begin(), {QString(), CTranslate::Global().LoadText(PreferenceTexts::AutoId)});
    Mode = std::clamp(settings_.Get(Settings::Mode), 0, VideoModes::Count - 1);
    const QString device = settings_.GetText(Settings::DisplayAdapter);
    for (size_t k = 1; k < displays_.size(); ++k)
        if (!device.isEmpty() && displays_[k].deviceName == device) DisplayIndex = int(k);
    FullHdmiRange = settings_.Get(Settings::FullHDMIRange) != 0;
}

CSetupWizardModel::~CSetupWizardModel() { StopTest(); }

bool CSetupWizardModel::RenewDocument(CMainDoc& document, CEditorShell& shell,
                                      const std::function<QString()>& chooseSavePath) {
    if (!shell.SaveModified(chooseSavePath)) return false;
    document.NewPage();
    return !document.Modified;
}

CRender* CSetupWizardModel::TestEngine() { return output_ ? output_->Engine() : nullptr; }

void CSetupWizardModel::StopTest() {
    // The engine stops the objects it played as it goes.
    output_.reset();
}

bool CSetupWizardModel::Next() {
    StopTest();
    testPage_.RemoveAll();
    page_ = 0;
    if (!RangeTestPattern::Build(testPage_, Mode)) return false;
    const QString device = displays_[size_t(std::clamp(DisplayIndex, 0, int(displays_.size()) - 1))].deviceName;
    if (hooks_.testOutput) {
        output_ = hooks_.testOutput(testPage_, Mode, device, FullHdmiRange);
    } else {
        RenderOptions options = RenderOptions::FromSettings(Mode);
        options.fullHdmiRange = FullHdmiRange;
        OutputDisplayChoice display;
        display.deviceName = device;
        display.noRestore = false;
        display.alternativeSync = false;
        output_ = std::make_unique<COutputSession>(testPage_, Mode, std::move(options), display);
    }
    const RenderStatus status = output_ ? output_->Status() : RenderStatus::DisplayNotConfigured;
    if (status != RenderStatus::Ok) {
        StopTest();
        CDebug::Log(1, "CSetupWizardModel::Next(): test output failed, status %d", int(status));
        CTranslate::Global().MessageBoxText(EngineStatusId + unsigned(int(status)), MbOk | MbIconError);
        return false;
    }
    ApplyCommand(testPage_, PlayCommand::Play, CommandTarget::Every());
    page_ = 1;
    return true;
}

void CSetupWizardModel::Back() {
    StopTest();
    page_ = 0;
}

void CSetupWizardModel::SetFullRange(bool full) {
    FullHdmiRange = full;
    if (CRender* engine = TestEngine()) engine->fullHdmiRange.exchange(full ? 1 : 0);
}

void CSetupWizardModel::ClearFirstTimeSetup() {
    if (settings_.Get(Settings::FirstTimeSetup) != 0) settings_.Set(Settings::FirstTimeSetup, 0);
}

void CSetupWizardModel::Finish() {
    StopTest();
    const bool modeChanged = Mode != document_.ModeIndex;
    document_.ModeIndex = Mode;
    const QString device = displays_[size_t(std::clamp(DisplayIndex, 0, int(displays_.size()) - 1))].deviceName;
    settings_.Set(Settings::Mode, Mode);
    settings_.SetText(Settings::DisplayAdapter, device);
    settings_.Set(Settings::FullHDMIRange, FullHdmiRange ? 1 : 0);
    ClearFirstTimeSetup();
    if (hooks_.settingsWritten) hooks_.settingsWritten();
    if (modeChanged && hooks_.modeChanged) hooks_.modeChanged();
    if (kind_ == InstanceKind::Main && hooks_.startOutput) hooks_.startOutput();
}

void CSetupWizardModel::Cancel() {
    StopTest();
    page_ = 0;
    if (settings_.Get(Settings::FirstTimeSetup) != 0) {
        CTranslate::Global().MessageBoxText(CancelledId, MbOk | MbIconWarning);
        ClearFirstTimeSetup();
    }
}
